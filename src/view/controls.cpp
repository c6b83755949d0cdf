#include "view/controls.h"

#include <algorithm>

namespace kd::view {

namespace {
const std::string kEmpty;
}

void Button::Click() {
  if (!Enabled()) return;
  if (checkable_) SetDown(!down_);
  if (OnClick) OnClick();
}

void CheckBox::Click() {
  if (!Enabled()) return;
  SetChecked(!checked_);
  if (OnClick) OnClick();
}

void ListBox::SetItems(std::vector<std::string> items) {
  items_ = std::move(items);
  if (selected_ >= Count()) selected_ = -1;
  Touch();
}

void ListBox::Add(std::string item) {
  items_.push_back(std::move(item));
  Touch();
}

void ListBox::Select(int index) {
  if (index < -1 || index >= Count()) index = -1;
  Assign(selected_, index);
}

void CheckListBox::SetItems(std::vector<std::string> items) {
  checked_.assign(items.size(), false);
  ListBox::SetItems(std::move(items));
}

void CheckListBox::Add(std::string item) {
  checked_.push_back(false);
  ListBox::Add(std::move(item));
}

bool CheckListBox::IsChecked(int index) const {
  return index >= 0 && index < static_cast<int>(checked_.size()) && checked_[index];
}

void CheckListBox::SetChecked(int index, bool checked) {
  if (index < 0 || index >= static_cast<int>(checked_.size()) || checked_[index] == checked) return;
  checked_[index] = checked;
  Touch();
}

void Grid::SetSize(int cols, int rows) {
  cols = std::max(cols, 0);
  rows = std::max(rows, 0);
  if (cols == cols_ && rows == rows_) return;
  std::vector<std::string> cells(static_cast<std::size_t>(cols) * rows);
  for (int r = 0; r < std::min(rows, rows_); ++r)
    for (int c = 0; c < std::min(cols, cols_); ++c)
      cells[static_cast<std::size_t>(r) * cols + c] =
          std::move(cells_[static_cast<std::size_t>(r) * cols_ + c]);
  cells_ = std::move(cells);
  cols_ = cols;
  rows_ = rows;
  colWidths_.resize(cols, 64);
  Touch();
}

const std::string& Grid::Cell(int col, int row) const {
  if (col < 0 || row < 0 || col >= cols_ || row >= rows_) return kEmpty;
  return cells_[static_cast<std::size_t>(row) * cols_ + col];
}

void Grid::SetCell(int col, int row, std::string text) {
  if (col < 0 || row < 0 || col >= cols_ || row >= rows_) return;
  Assign(cells_[static_cast<std::size_t>(row) * cols_ + col], std::move(text));
}

void Grid::SelectCell(int col, int row) {
  if (col < 0 || row < 0 || col >= cols_ || row >= rows_) return;
  col_ = col;
  row_ = row;
  Touch();
  if (OnSelectCell) OnSelectCell(col, row);
}

void Grid::ClickCell(int col, int row) {
  if (col < 0 || row < 0 || col >= cols_ || row >= rows_) return;
  if (col != col_ || row != row_) SelectCell(col, row);
  if (OnClickCell) OnClickCell(col, row);
}

void Grid::SetFont(std::string name, int size) {
  fontName_ = std::move(name);
  fontSize_ = size;
  Touch();
}

int StatusBar::Width(int panel) const {
  return panel >= 0 && panel < static_cast<int>(widths_.size()) ? widths_[panel] : 0;
}

const std::string& StatusBar::Text(int panel) const {
  return panel >= 0 && panel < PanelCount() ? texts_[panel] : kEmpty;
}

void StatusBar::SetText(int panel, std::string text) {
  if (panel < 0 || panel >= PanelCount()) return;
  if (OnText) OnText(panel, text);
  Assign(texts_[panel], std::move(text));
}

int PageControl::IndexOf(const std::string& pageName) const {
  for (std::size_t i = 0; i < pages_.size(); ++i)
    if (pages_[i].name == pageName) return static_cast<int>(i);
  return -1;
}

void PageControl::SetActive(int index) {
  if (index < 0 || index >= static_cast<int>(pages_.size())) return;
  Assign(active_, index);
}

void PageControl::ClickTab(int index) {
  if (index < 0 || index >= static_cast<int>(pages_.size()) || !Enabled() || index == active_)
    return;
  SetActive(index);
  if (OnChange) OnChange();
}

void Chart::SetAxes(double xMin, double xMax, double yMin, double yMax) {
  xMin_ = xMin;
  xMax_ = xMax;
  yMin_ = yMin;
  yMax_ = yMax;
  Touch();
}

std::size_t Chart::AddSeries(std::string title, std::vector<ChartPoint> first) {
  series_.push_back({std::move(title), std::move(first)});
  Touch();
  ++layoutRevision_;
  return series_.size() - 1;
}

void Chart::RemoveSeries(std::size_t index) {
  if (index >= series_.size()) return;
  series_.erase(series_.begin() + static_cast<std::ptrdiff_t>(index));
  Touch();
  ++layoutRevision_;
}

void Chart::AddOrScroll(std::size_t series, double y, std::size_t window) {
  if (series >= series_.size() || window == 0) return;
  auto& points = series_[series].points;
  if (points.size() < window) {
    const double x = points.empty() ? 0 : points.back().x + 1;
    points.push_back({x, y, {}});
  } else {
    // In place: a scrolling series allocates nothing.
    for (std::size_t i = 0; i + 1 < points.size(); ++i) points[i].y = points[i + 1].y;
    points.back().y = y;
  }
  Touch();
}

void Chart::ResetSeries(std::size_t series, std::vector<ChartPoint> first) {
  if (series >= series_.size()) return;
  series_[series].points = std::move(first);
  Touch();
}

}  // namespace kd::view
