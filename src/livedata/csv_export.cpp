#include "livedata/csv_export.h"

#include <cmath>
#include <vector>

#include "catalogue/ecu_catalogue.h"
#include "livedata/param_page.h"
#include "text/number_format.h"

namespace kd::livedata {

namespace {

using catalogue::ParamRecord;

bool IsNumberKind(char kind) {
  return kind == 'C' || kind == 'D' || kind == 'P' || kind == 'S';
}

std::string Heading(const ParamRecord& r) {
  std::string name = catalogue::FieldUtf8(r.name);
  std::string unit = catalogue::FieldUtf8(r.unit);
  while (!unit.empty() && unit.back() == ' ') unit.pop_back();
  while (!unit.empty() && unit.front() == ' ') unit.erase(unit.begin());
  while (!name.empty() && name.back() == ' ') name.pop_back();
  return unit.empty() ? name : name + ", " + unit;
}

// Seconds to the millisecond with the comma: "12,300".
std::string Seconds(std::int64_t ms) {
  std::string out = std::to_string(ms / 1000) + ",";
  const auto frac = std::to_string(1000 + ms % 1000);
  return out + frac.substr(1);
}

}  // namespace

std::string CsvField(std::string_view utf8) {
  const bool quote = utf8.find_first_of("\";\r\n") != std::string_view::npos ||
                     (!utf8.empty() && (utf8.front() == ' ' || utf8.back() == ' '));
  if (!quote) return std::string(utf8);
  std::string out = "\"";
  for (char c : utf8) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + '"';
}

std::string CsvNumber(double value, std::int32_t decimals) {
  std::string out;
  text::AppendDecimals(out, value, decimals);
  // Whatever separator the locale gives the screen, the file has the comma.
  for (char& c : out)
    if (c != '-' && (c < '0' || c > '9')) c = ',';
  return out;
}

std::string CsvFile(std::uint32_t ecuType, std::span<ParamRecord> params,
                    const RecordBuffer& record, const FrameTimes& times) {
  std::string out(kCsvBom);
  out += CsvField(kCsvDateHeading);
  out += kCsvSeparator;
  out += CsvField(kCsvSecondsHeading);
  std::vector<const ParamRecord*> shown;
  for (const ParamRecord& r : params) {
    if (r.shown != 1) continue;
    shown.push_back(&r);
    out += kCsvSeparator;
    out += CsvField(Heading(r));
  }
  out += "\r\n";
  const std::int32_t frameSize = catalogue::Lookup(ecuType).frameSize;
  const std::int32_t frames = record.FrameCount(frameSize);
  for (std::int32_t f = 0; f < frames; ++f) {
    DecodeKwpFrame(ecuType, record.Frame(f, frameSize), params);
    const auto index = static_cast<std::size_t>(f);
    out += IsoDateTime(times.At(index));
    out += kCsvSeparator;
    out += Seconds(times.SinceStart(index));
    for (const ParamRecord* r : shown) {
      out += kCsvSeparator;
      if (r->kind == 'B')
        out += r->bitState == 1 ? "ДА" : "НЕТ";
      else if (IsNumberKind(r->kind))
        out += CsvNumber(r->value, r->decimals);
      else
        out += text::Hex4(std::trunc(r->value));
    }
    out += "\r\n";
  }
  return out;
}

}  // namespace kd::livedata
