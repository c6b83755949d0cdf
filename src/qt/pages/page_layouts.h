// Layouts of the main window's pages, one file each. A layout places the widgets of the page's
// controls by name; a name the form does not have gives no widget, so a layout places what
// exists. A page without a layout shows an empty tab.
#pragma once

#include <QWidget>
#include <functional>

#include "session/pages.h"

namespace kd::qt {

// The widget for the form's control of that name, or nullptr.
using MakeWidget = std::function<QWidget*(const char* name, QWidget* parent)>;
using PageLayout = void (*)(const MakeWidget& make, QWidget* page);

void LayOutParamPage(const MakeWidget& make, QWidget* page);
void LayOutFaultPage(const MakeWidget& make, QWidget* page);
void LayOutIdentPage(const MakeWidget& make, QWidget* page);
void LayOutEquipmentPage(const MakeWidget& make, QWidget* page);
void LayOutAdcPage(const MakeWidget& make, QWidget* page);
void LayOutFuelPage(const MakeWidget& make, QWidget* page);
void LayOutKnockPage(const MakeWidget& make, QWidget* page);
void LayOutMisfirePage(const MakeWidget& make, QWidget* page);
void LayOutTripPage(const MakeWidget& make, QWidget* page);

// nullptr for a page that has no layout yet.
PageLayout LayoutOf(session::Page page);

}  // namespace kd::qt
