#include "faults/fault_report.h"

#include "text/cp1251.h"
#include "text/number_format.h"

namespace kd::faults {

namespace {

bool Bit(std::uint8_t byte, int bit) {
  return (byte >> bit) & 1;
}

// The report file is Windows-1251; the texts below are written here in UTF-8.
void Put(std::string& out, std::string_view utf8) {
  out += text::Utf8ToCp1251(utf8);
}

// A slot laid out as the M7.9.7 related-information reply from its service identifier on:
// byte 4 the status byte, bytes 5 to 11 the reply's bytes 8 to 14.
void PutScannedDecode(std::string& out, const DtcScanSlot& slot) {
  switch (slot[4] & 3) {
    case 3:
      Put(out, "Ошибка активна в момент запроса.\n");
      break;
    case 2:
      Put(out, "Ошибка не активна в момент запроса.\n");
      break;
    default:
      Put(out, "Проверка не закончена. \n");
      break;
  }
  static const char* const kType[8] = {"'max error' текущее состояние. \n",
                                       "'min error' текущее состояние. \n",
                                       "'signal error' текущее состояние. \n",
                                       "'not plausible' текущее состояние. \n",
                                       "'max error'. \n",
                                       "'min error'. \n",
                                       "'signal error'. \n",
                                       "'not plausible'. \n"};
  for (int bit = 0; bit < 8; ++bit)
    if (Bit(slot[5], bit)) Put(out, kType[bit]);
  static const char* const kState[8] = {"Подтвержденная ошибка. \n",
                                        "FLC достигал нулевого значения. \n",
                                        nullptr,
                                        "Лампа MIL включена. \n",
                                        "Лампа MIL мигает. \n",
                                        "Ошибка фиксируется многократно. \n",
                                        nullptr,
                                        nullptr};
  for (int bit = 0; bit < 8; ++bit)
    if (kState[bit] && Bit(slot[6], bit)) Put(out, kState[bit]);
  const auto counter = [&](const char* label, double value, const char* pattern) {
    out += label;
    out += text::FormatNumber(value, pattern);
    out += "\r\n";
  };
  counter("FLC MIL-on debouncing     =  ", slot[7], "##0.");
  counter("TSF fault-time in this cycle= ", slot[8] * 0.2, "##0.0");
  counter("HLC MIL-off debouncing    =  ", slot[9], "##0.");
  counter("DLC delete counter        =  ", slot[10], "##0.");
  counter("HZ frequency counter      =  ", slot[11], "##0.");
}

void PutLines(std::string& out, const std::vector<std::string>& lines) {
  for (const auto& line : lines) {
    out += line;
    out += "\r\n";
  }
}

}  // namespace

std::string FaultReportBody(const FaultReport& report) {
  std::string out;
  // The headings end in bare LF and bare CR bytes, as the files have always had them.
  Put(out, "\n\nКоды неисправности контроллера.\n\n");
  Put(out, "Сохраненные ошибки.\r\r");
  if (report.scanned) {
    for (const auto& row : report.rows) {
      out += "\r\n";
      out += row.text;
      out += "\r\n";
      PutScannedDecode(out, row.slot);
    }
    return out;
  }
  for (const auto& row : report.rows) {
    out += row.text;
    out += "\r\n";
  }
  if (report.freezeVisible) {
    Put(out, "\r\nИнформация о ошибке.\r\n");
    PutLines(out, report.freezeLines);
    if (report.curErrorVisible) {
      out += "\r\nAmbent conditions.\r\n";
      PutLines(out, report.curErrorLines);
    }
  } else if (report.curErrorVisible) {
    Put(out, "\r\nТекущие ошибки.\r\n");
    PutLines(out, report.curErrorLines);
  }
  return out;
}

void WriteFaultReport(std::ostream& file, const FaultReport& report) {
  const std::string body = FaultReportBody(report);
  file.write(body.data(), static_cast<std::streamsize>(body.size()));
}

}  // namespace kd::faults
