// The fault report (.err): the stored codes with either the related information the scan
// collected for each of them or the page's two detail views as they stand.
#pragma once

#include <array>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace kd::faults {

inline constexpr std::size_t kDtcScanSlotCount = 10;
// A related-information reply from its service identifier 57 on.
inline constexpr std::size_t kDtcScanSlotSize = 32;
using DtcScanSlot = std::array<std::uint8_t, kDtcScanSlotSize>;

// Texts are Windows-1251, as the file holds them.
struct FaultReport {
  struct Row {
    std::string text;
    // What the scan stored for this row's code; all zeros when it stored nothing for it.
    DtcScanSlot slot{};
  };
  std::vector<Row> rows;
  // CheckBox1 "Сохр. со сканированием".
  bool scanned = false;
  bool freezeVisible = false;
  std::vector<std::string> freezeLines;
  bool curErrorVisible = false;
  std::vector<std::string> curErrorLines;
};

// The report's body, which follows the common report header directly.
std::string FaultReportBody(const FaultReport& report);
void WriteFaultReport(std::ostream& file, const FaultReport& report);

}  // namespace kd::faults
