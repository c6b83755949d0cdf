// "Печать" and "Краткая помощь": the page on screen as a document, and where the guide speaks of
// it.
#include <algorithm>
#include <sstream>

#include "adaptation/fuel_cells_page.h"
#include "adaptation/knock_cells_page.h"
#include "adaptation/trip_page.h"
#include "faults/fault_report.h"
#include "text/cp1251.h"
#include "ui/main_form.h"

namespace kd::ui {

namespace {

// Report bytes (Windows-1251, lines ended by CR LF, LF or CR) as UTF-8 lines; a line end at the
// very end opens no line of its own.
std::vector<std::string> ReportLines(std::string_view bytes) {
  std::vector<std::string> lines;
  const std::string utf8 = text::Cp1251ToUtf8(bytes);
  std::string line;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const char c = utf8[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(std::move(line));
      line.clear();
      if (c == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') ++i;
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(std::move(line));
  return lines;
}

std::vector<std::vector<std::string>> GridRows(const view::Grid& grid) {
  std::vector<std::vector<std::string>> rows;
  for (int r = 0; r < grid.RowCount(); ++r) {
    std::vector<std::string> row;
    for (int c = 0; c < grid.ColCount(); ++c) row.push_back(grid.Cell(c, r));
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace

view::PrintDocument MainForm::PageDocument() {
  using session::Page;
  const Page page = ActivePage();
  view::PrintDocument doc;
  doc.title = std::string(session::MainPages()[static_cast<std::size_t>(page)].caption);
  // What the page's save would write: its header stamped now, then its body. The vehicle-data
  // dialog is not asked: a print shows the data as they stand.
  const std::string header = ReportHeader(vehicleData_, host_.Now());
  std::string body;
  const char* grid = nullptr;
  switch (page) {
    case Page::Faults: {
      std::ostringstream out;
      faults::WriteFaultReport(out, Faults().Report());
      body = out.str();
      break;
    }
    case Page::Fuel:
      body = static_cast<adaptation::FuelCellsPageStep&>(*PageObject(page)).ReportBody();
      break;
    case Page::Knock:
      body = static_cast<adaptation::KnockCellsPageStep&>(*PageObject(page)).ReportBody();
      break;
    case Page::Trip:
      body = static_cast<adaptation::TripPageStep&>(*PageObject(page)).ReportBody();
      break;
    case Page::Params:
      grid = "StringGrid1";
      break;
    case Page::Idents:
      grid = "StringGrid4";
      break;
    case Page::Adc:
      grid = "StringGrid2";
      break;
    case Page::Misfire:
      grid = "StringGrid5";
      break;
    case Page::Equipment:
      break;
  }
  // Split as one text, as the file has them: the body's first line end may close the header's
  // last line.
  doc.header = ReportLines(header);
  doc.lines = ReportLines(header + body);
  doc.lines.erase(doc.lines.begin(),
                  doc.lines.begin() + static_cast<std::ptrdiff_t>(
                                          std::min(doc.header.size(), doc.lines.size())));
  // The equipment page saves nothing; its list is the page.
  if (page == Page::Equipment)
    if (const auto* comp = FindAs<view::Memo>("Comp")) doc.lines = comp->Items();
  if (grid)
    if (const auto* g = FindAs<view::Grid>(grid)) {
      doc.table = GridRows(*g);
      doc.headingRows = g->FixedRows();
    }
  return doc;
}

std::string_view MainForm::HelpSection() const {
  using session::Page;
  switch (ActivePage()) {
    case Page::Params:
      return "Live parameters";
    case Page::Faults:
      return "Fault codes";
    case Page::Idents:
    case Page::Equipment:
    case Page::Adc:
      return "Identifiers, equipment and ADC values";
    case Page::Fuel:
    case Page::Knock:
    case Page::Misfire:
    case Page::Trip:
      return "Adaptation memories, misfire counters and trip data";
  }
  return "User guide";
}

}  // namespace kd::ui
