// Pictures of a side window's pages for the user guide: the window is opened by its tool button
// as a person opens it, every page is shown in turn after a few of the window's own ticks, and
// the window is closed again.
#pragma once

#include <QSize>
#include <QString>
#include <QWidget>

#include "qt/binder.h"
#include "ui/main_form.h"
#include "view/controls.h"

namespace kd::qt {

// Writes DIR/PREFIX-N-PAGENAME.png for every page of the window `opener` opens. `mainBindings`
// are the main window's (the click goes through them); `parent` is the window the side window is
// modal to. False when a file could not be written or no window opened.
bool ShootSideWindow(view::Button& opener, Binder& mainBindings, QWidget& parent,
                     const QString& dir, const QString& prefix, int ticksPerPage, QSize size);

// Records `ticks` replies of the parameter page, saves them as a data file in a temporary folder
// and writes DIR/record-view.png of the viewer on it, with a few parameters charted and the
// cursor half-way. An empty text when it worked, else what failed.
QString ShootRecordView(ui::MainForm& form, Binder& mainBindings, QWidget& parent,
                        const QString& dir, int ticks, QSize size);

}  // namespace kd::qt
