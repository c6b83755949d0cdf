// Where the windows stand and how large they are, kept across starts in the program's settings
// (keys window.*), never in the configuration files.
#pragma once

#include <QRect>
#include <QSize>
#include <string>

#include "fileio/settings_file.h"

class QWidget;

namespace kd::qt {

// The free area of the screen `widget` stands on (the primary screen's without one).
QRect AvailableArea(const QWidget* widget);

// The main window at its first start: wide enough for the whole tool bar where the screen
// allows, as high as the screen's free area allows up to 800, centred on that area.
QRect FirstWindowGeometry(const QRect& available, QSize toolBarHint);

// Puts the main window where the settings last saw it, or at FirstWindowGeometry on the first
// start (or when the stored geometry cannot be read). True when it is to be shown maximized.
bool PlaceMainWindow(QWidget& window, const fileio::SettingsFile& settings, const QRect& available,
                     QSize toolBarHint);
void StoreMainWindow(const QWidget& window, fileio::SettingsFile& settings);

// A side window or dialog of form `formName` takes the size it was last closed with, if any;
// a size below the window's own minimum or beyond `available` is not taken.
void PlaceSideWindow(QWidget& window, const std::string& formName,
                     const fileio::SettingsFile& settings, const QRect& available);
void StoreSideWindow(const QWidget& window, const std::string& formName,
                     fileio::SettingsFile& settings);

}  // namespace kd::qt
