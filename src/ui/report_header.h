// The head every saved text report starts with, and the save flow the report writers share: the
// vehicle-data dialog, the common save dialog, the header, the writer's body.
#pragma once

#include <functional>
#include <ostream>
#include <string>

#include "ui/vehicle_data.h"
#include "view/host.h"

namespace kd::ui {

// Windows-1251 bytes: the date and time lines and, once the identifiers were read, the
// identifiers and vehicle data. It ends without a line end; the body brings its own.
std::string ReportHeader(const VehicleData& data, const view::LocalTime& now);
void WriteReportHeader(std::ostream& file, const VehicleData& data, const view::LocalTime& now);

// The save dialog's own title, the one it has whenever a report does not ask for another.
inline constexpr const char* kConfigSaveTitle = "Запись конфигурации.";

struct ReportDialog {
  std::string title;
  // Without the dot: "err".
  std::string extension;
  // The statistics file goes without the report header.
  bool header = true;
};

// The box every file that cannot be created gets.
void ReportCannotCreate(view::Host& host);

// Asks for the vehicle data (when the identifiers were read), then for the file; a chosen file
// gets the header, stamped with the host's clock once, and the writer's body, streamed through the
// atomic writer. A file that cannot be created or written is reported, and a file of that name
// that was there keeps its content. Returns whether a report was written.
//
// Every file-dialog request carries its own title, so the dialog is back at kConfigSaveTitle
// for the configuration's save without anything left to restore here.
bool SaveReport(view::Host& host, VehicleData& data, const ReportDialog& dialog,
                const std::function<void(std::ostream&)>& writeBody);

}  // namespace kd::ui
