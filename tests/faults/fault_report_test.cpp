// Fault report bodies the scenarios do not write, against files written by hand: an empty list in
// each variant, and the scan decode of a slot that nothing was stored in.
#include "faults/fault_report.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "faults/dtc_catalogue.h"
#include "text/cp1251.h"

namespace kd::faults {
namespace {

std::string DataFile(const std::string& name) {
  std::ifstream in(std::string(KD_FAULTS_DATA) + "/" + name, std::ios::binary);
  EXPECT_TRUE(in) << name;
  return {std::istreambuf_iterator<char>(in), {}};
}

TEST(FaultReport, AnEmptyListLeavesOnlyTheHeadingsAndTheShownSections) {
  FaultReport report;
  report.scanned = true;
  report.freezeVisible = true;
  report.freezeLines = {"ignored"};
  EXPECT_EQ(FaultReportBody(report), DataFile("headings_only.err")) << "the scan writes rows only";
  report.scanned = false;
  report.freezeVisible = false;
  EXPECT_EQ(FaultReportBody(report), DataFile("headings_only.err"));
  report.freezeVisible = true;
  report.freezeLines = {text::Utf8ToCp1251("Флаги статуса петли упр. A/F :"),
                        text::Utf8ToCp1251("Реальная скорость автомобиля = 0")};
  report.curErrorVisible = false;
  report.curErrorLines = {"not written"};
  EXPECT_EQ(FaultReportBody(report), DataFile("freeze_only.err"));
}

TEST(FaultReport, ARowWithoutStoredDataGetsTheDecodeOfAnEmptySlot) {
  FaultReport report;
  report.scanned = true;
  report.rows.push_back({FirstDtcRow(6, 0x0102)->text, {}});
  std::ostringstream file;
  WriteFaultReport(file, report);
  EXPECT_EQ(file.str(), DataFile("scanned_zero_slot.err"));
}

}  // namespace
}  // namespace kd::faults
