#include "livedata/charts.h"

#include <cmath>
#include <string>

#include "text/number_format.h"

namespace kd::livedata {

using catalogue::ParamRecord;

std::optional<double> ChartY(const ParamRecord& r) {
  const double range = static_cast<double>(r.chartMax) - r.chartMin;
  if (range == 0 || !std::isfinite(range)) return std::nullopt;
  return (static_cast<double>(r.value) - r.chartMin) * 100 / range;
}

std::vector<view::ChartPoint> FirstPoint() {
  return {{0, 0, " "}};
}

MainChart::MainChart(view::Form& form, view::Grid& grid, std::vector<ParamRecord>& params)
    : panel1_(form.Add<view::Panel>("Panel1")),
      chart1_(form.Add<view::Chart>("Chart1")),
      grid_(grid),
      params_(params) {
  panel1_.SetCaption("Извините, графика не работает!");
  panel1_.SetVisible(false);
  chart1_.SetTitle("Графические параметры");
  chart1_.SetAxes(0, 100, -1, 100);
  chart1_.SetGrid(10, 20, false);
}

void MainChart::CellSelected(int col, int row) {
  if (col != 3 || PanelVisible()) return;
  seriesOf_.resize(params_.size(), -1);
  for (std::size_t i = 0; i < params_.size(); ++i) {
    ParamRecord& r = params_[i];
    if (r.shown != 1 || r.gridRow != row) continue;
    if (r.onChart == 1) {
      r.onChart = 0;
      grid_.SetCell(3, row, " ");
      if (seriesOf_[i] >= 0) {
        const int gone = seriesOf_[i];
        chart1_.RemoveSeries(static_cast<std::size_t>(gone));
        seriesOf_[i] = -1;
        for (int& s : seriesOf_)
          if (s > gone) --s;
      }
    } else if (r.kind == 'P' || r.kind == 'S') {
      r.onChart = 1;
      grid_.SetCell(3, row, kMarked);
      seriesOf_[i] =
          static_cast<int>(chart1_.AddSeries(catalogue::FieldUtf8(r.name), FirstPoint()));
    }
    return;
  }
}

void MainChart::HidePanel() {
  panel1_.SetVisible(false);
  for (std::size_t s = 0; s < chart1_.Series().size(); ++s) chart1_.ResetSeries(s, FirstPoint());
}

void MainChart::ListApplied() {
  chart1_.SetSeries({});
  seriesOf_.assign(params_.size(), -1);
}

void MainChart::MarksFollowRows() {
  for (int row = 1; row < grid_.RowCount(); ++row)
    if (grid_.Cell(3, row) == kMarked) grid_.SetCell(3, row, " ");
  for (const ParamRecord& r : params_)
    if (r.shown == 1 && r.onChart == 1) grid_.SetCell(3, r.gridRow, kMarked);
}

void MainChart::UpdateMainChart() {
  seriesOf_.resize(params_.size(), -1);
  for (std::size_t i = 0; i < params_.size(); ++i) {
    const ParamRecord& r = params_[i];
    if (r.onChart != 1 || r.shown != 1 || seriesOf_[i] < 0) continue;
    if (const auto y = ChartY(r))
      chart1_.AddOrScroll(static_cast<std::size_t>(seriesOf_[i]), *y, kChartWindow);
  }
}

void MainChart::Decoded(const DecodedReply& decoded) {
  // Only values that reached the grid are plotted: the records decoded from any other reply
  // (a TesterPresent or actuator answer) hold no measurement.
  if (decoded.shown && PanelVisible()) UpdateMainChart();
}

GraphWindow::GraphWindow(const std::vector<ParamRecord>& params, view::Host& host)
    : view::Form("TForm9"),
      params_(params),
      host_(host),
      panel1_(Add<view::Panel>("Panel1")),
      panel2_([this]() -> view::Panel& {
        for (std::size_t i = 0; i < kSlots; ++i) {
          const std::string n = std::to_string(i + 1);
          boxes_[i] = &Add<view::GroupBox>("GroupBox" + n);
          boxes_[i]->SetCaption("Переменная " + n);
          boxes_[i]->SetVisible(i == 0);
          values_[i] = &Add<view::Label>("Label" + std::to_string(2 * i + 1));
          names_[i] = &Add<view::Label>("Label" + std::to_string(2 * i + 2));
        }
        return Add<view::Panel>("Panel2");
      }()),
      chart1_(Add<view::Chart>("Chart1")) {
  SetCaption("Графическое окно переменных!");
  chart1_.SetTitle("Графическое представление переменных");
  chart1_.SetAxes(0, 100, 0, 100);
  chart1_.SetGrid(20, 10, true);
  for (view::Label* value : values_) value->SetFont("", 24);
  for (std::size_t i = 0; i < params_.size() && slotParam_.size() < kSlots; ++i) {
    const ParamRecord& r = params_[i];
    if (r.onChart != 1) continue;
    const std::size_t slot = slotParam_.size();
    slotParam_.push_back(i);
    chart1_.AddSeries(catalogue::FieldUtf8(r.name), FirstPoint());
    boxes_[slot]->SetVisible(true);
    values_[slot]->SetCaption(text::FormatNumber(r.value, "##0.##"));
    names_[slot]->SetCaption(catalogue::FieldUtf8(r.name));
  }
  panel1_.OnDblClick = [this] {
    if (auto font = host_.FontDialog({values_[0]->FontName(), values_[0]->FontSize()}))
      values_[0]->SetFont(font->name, font->size);
  };
}

void GraphWindow::UpdateGraphWindow() {
  for (std::size_t slot = 0; slot < slotParam_.size(); ++slot) {
    if (slotParam_[slot] >= params_.size()) continue;
    const ParamRecord& r = params_[slotParam_[slot]];
    // A parameter taken off the list is not decoded: its slot keeps its last value.
    if (r.shown != 1) continue;
    if (const auto y = ChartY(r)) chart1_.AddOrScroll(slot, *y, kChartWindow);
    values_[slot]->SetCaption(text::FormatNumber(r.value, "###0.##"));
  }
}

void GraphWindow::Decoded(const DecodedReply& decoded) {
  if (decoded.shown) UpdateGraphWindow();
}

}  // namespace kd::livedata
