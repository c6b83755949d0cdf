// Live values as line charts: the chart panel of the parameter page, which plots every marked
// parameter, and the graph window with six of them in large print. Both plot a value as the
// share of its parameter's range, so parameters of any unit share the scale 0..100, and show
// the last 101 replies.
#pragma once

#include <array>
#include <optional>
#include <vector>

#include "catalogue/param_record.h"
#include "livedata/param_listener.h"
#include "view/form.h"
#include "view/host.h"

namespace kd::livedata {

inline constexpr std::size_t kChartWindow = 101;
inline constexpr const char* kMarked = "Выбрано";

// (Value − ChartMin) × 100 / (ChartMax − ChartMin); nothing for an empty range.
std::optional<double> ChartY(const catalogue::ParamRecord& r);

// One point 0 labelled " ": what a series starts with.
std::vector<view::ChartPoint> FirstPoint();

// Chart1 on Panel1 of the parameter page, and the marks of column 3 of the grid.
class MainChart : public ParamListener {
 public:
  MainChart(view::Form& form, view::Grid& grid, std::vector<catalogue::ParamRecord>& params);

  view::Panel& Panel1() { return panel1_; }
  view::Chart& Chart1() { return chart1_; }
  bool PanelVisible() const { return panel1_.Visible(); }

  // A cell of StringGrid1 was selected: column 3 marks or unmarks the shown parameter of the
  // row while the panel is hidden.
  void CellSelected(int col, int row);
  void ShowPanel() { panel1_.SetVisible(true); }
  // Every series starts again from its single point.
  void HidePanel();
  // A new list starts unmarked: the series of the old one go with it.
  void ListApplied();
  // Column 3 of the rows RefreshParamGrid has just filled: a mark follows its parameter.
  void MarksFollowRows();

  void UpdateMainChart();
  void Decoded(const DecodedReply& decoded) override;

 private:
  view::Panel& panel1_;
  view::Chart& chart1_;
  view::Grid& grid_;
  std::vector<catalogue::ParamRecord>& params_;
  // Series index of each list position; -1 while unmarked.
  std::vector<int> seriesOf_;
};

// TForm9: built anew each time it is opened, from the marks of that moment.
class GraphWindow : public view::Form, public ParamListener {
 public:
  static constexpr std::size_t kSlots = 6;

  GraphWindow(const std::vector<catalogue::ParamRecord>& params, view::Host& host);

  void UpdateGraphWindow();
  void Decoded(const DecodedReply& decoded) override;

 private:
  const std::vector<catalogue::ParamRecord>& params_;
  view::Host& host_;
  view::Panel& panel1_;
  std::array<view::GroupBox*, kSlots> boxes_{};
  std::array<view::Label*, kSlots> values_{};
  std::array<view::Label*, kSlots> names_{};
  view::Panel& panel2_;
  view::Chart& chart1_;
  // The list position each slot plots: a slot shows only its own parameter.
  std::vector<std::size_t> slotParam_;
};

}  // namespace kd::livedata
