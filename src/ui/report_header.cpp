#include "ui/report_header.h"

#include <fstream>
#include <sstream>

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

bool SaveReport(view::Host& host, VehicleData& data, const ReportDialog& dialog,
                const std::function<void(std::ostream&)>& writeBody) {
  AskVehicleData(host, data);
  const std::string mask = "*." + dialog.extension;
  const auto path = host.SaveFileDialog({dialog.title, dialog.extension, mask, ".", mask});
  if (!path) return false;
  // The whole report is put together first, so that a file that cannot be created gets nothing.
  std::ostringstream content;
  if (dialog.header) WriteReportHeader(content, data, host.Now());
  if (writeBody) writeBody(content);
  std::ofstream file(*path, std::ios::binary | std::ios::trunc);
  if (!file) {
    host.MessageBox("Ошибка!", "Немогу создать файл!!!", view::MessageIcon::Error);
    return false;
  }
  const std::string bytes = content.str();
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  file.close();
  if (!file) {
    host.MessageBox("Ошибка!", "Немогу создать файл!!!", view::MessageIcon::Error);
    return false;
  }
  host.FileWritten(*path);
  return true;
}

}  // namespace kd::ui
