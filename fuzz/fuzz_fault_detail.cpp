// The fault page's decoders on any reply: the detail of every type in every mode, each family's
// decoder on its own, the status byte, the catalogue look-ups a reply's code and position drive,
// and the report that carries the decoded lines.
#include <algorithm>
#include <cstring>

#include "faults/ambient_table.h"
#include "faults/dtc_catalogue.h"
#include "faults/fault_detail.h"
#include "faults/fault_report.h"
#include "text/cp1251.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kd;
  if (size < 1) return 0;
  const std::uint8_t selector = data[0];
  link::ReplyCopy reply{};
  std::memcpy(reply.data(), data + 1, std::min(size - 1, reply.size()));

  faults::FaultReport report;
  report.scanned = selector & 1;
  report.freezeVisible = selector & 2;
  report.curErrorVisible = selector & 4;
  const auto keep = [&report](const faults::DetailLines& lines) {
    for (const auto& l : lines.curError) report.curErrorLines.push_back(text::Utf8ToCp1251(l));
    for (const auto& l : lines.freeze) report.freezeLines.push_back(text::Utf8ToCp1251(l));
  };
  keep(faults::DecodeM10Related(reply));
  keep(faults::DecodeM797Related(reply));
  keep(faults::DecodeMp70Related(reply));
  keep(faults::DecodeEmurRelated(reply));
  keep(faults::DecodeFreezeFrame(reply));
  for (const auto& l : faults::StatusDecodeLines(selector))
    report.freezeLines.push_back(text::Utf8ToCp1251(l));

  const std::uint32_t code = reply[0] * 256u + reply[1];
  for (std::uint32_t type = 0; type <= 12; ++type) {
    for (std::uint32_t mode = 0; mode <= 4; ++mode)
      if (auto detail = faults::DecodeFaultDetail(type, mode, reply)) keep(detail->lines);
    for (const faults::DtcEntry* e : faults::FindDtcRows(type, code)) {
      faults::FaultReport::Row row{e->text, {}};
      std::copy_n(reply.begin() + 3, row.slot.size(), row.slot.begin());
      report.rows.push_back(std::move(row));
      (void)faults::RelatedValues(type, *e);
    }
    if (const faults::DtcEntry* e = faults::DtcRowAt(type, selector)) (void)e->Utf8Text();
    if (const faults::AmbientRecord* a = faults::AmbientAt(type, reply[2])) (void)a->Utf8Name();
  }
  (void)faults::FaultReportBody(report);
  return 0;
}
