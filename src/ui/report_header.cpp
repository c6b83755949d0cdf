#include "ui/report_header.h"

#include "fileio/atomic_file.h"
#include "text/cp1251.h"
#include "text/number_format.h"

namespace kd::ui {

namespace {

std::string Two(int v) {
  return text::FormatNumber(v, "00");
}

}  // namespace

std::string ReportHeader(const VehicleData& data, const view::LocalTime& now) {
  std::string out;
  const auto put = [&](std::string_view utf8) { out += text::Utf8ToCp1251(utf8); };
  put("Дата  записи: ");
  out += Two(now.day) + "." + Two(now.month) + "." + text::FormatNumber(now.year, "0000") + "\r\n";
  put("Время записи: ");
  out += Two(now.hour) + "." + Two(now.minute) + "\r\n";
  if (!data.identifiersRead) return out;
  put("Идентификаторы контроллера: \r\n");
  put(" VIN: ");
  out += data.vin;
  put("\r\n Блок №: ");
  out += data.controllerNumber;
  put("\r\n Ид.ПЗУ: ");
  out += data.romId;
  put("\r\n УСЛОВН.№: ");
  out += data.conditionalNumber;
  put("\r\n Гос.   №: ");
  out += data.registrationNumber;
  put("\r\n Пробег  : ");
  out += text::FormatNumber(data.mileage, "####0");
  return out;
}

void WriteReportHeader(std::ostream& file, const VehicleData& data, const view::LocalTime& now) {
  const std::string header = ReportHeader(data, now);
  file.write(header.data(), static_cast<std::streamsize>(header.size()));
}

void ReportCannotCreate(view::Host& host) {
  host.MessageBox("Ошибка!", "Немогу создать файл!!!", view::MessageIcon::Error);
}

bool SaveReport(view::Host& host, VehicleData& data, const ReportDialog& dialog,
                const std::function<void(std::ostream&)>& writeBody) {
  AskVehicleData(host, data);
  const std::string mask = "*." + dialog.extension;
  const auto path = host.SaveFileDialog({dialog.title, dialog.extension, mask, ".", mask});
  if (!path) return false;
  const view::LocalTime now = host.Now();
  const bool written = fileio::WriteAtomically(*path, [&](std::ostream& file) {
    if (dialog.header) WriteReportHeader(file, data, now);
    if (writeBody) writeBody(file);
  });
  if (!written) {
    ReportCannotCreate(host);
    return false;
  }
  host.FileWritten(*path);
  return true;
}

}  // namespace kd::ui
