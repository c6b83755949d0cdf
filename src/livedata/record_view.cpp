#include "livedata/record_view.h"

#include <algorithm>
#include <cmath>

#include "text/number_format.h"

namespace kd::livedata {

namespace {

constexpr int kSpeeds[] = {1, 4, 16};

std::string Heading(const RecordingColumn& c) {
  return c.unit.empty() ? c.name : c.name + ", " + c.unit;
}

std::string SecondsText(double seconds) {
  return text::FormatNumber(seconds, "0.000");
}

}  // namespace

RecordView::RecordView(RecordingFile file, const std::string& title)
    : view::Form("TRecordView"),
      file_(std::move(file)),
      messageLabel_(Add<view::Label>("MessageLabel")),
      stringGrid1_(Add<view::Grid>("StringGrid1")),
      checkParamList_(Add<view::CheckListBox>("CheckParamList")),
      chart1_(Add<view::Chart>("Chart1")),
      firstButton_(Add<view::Button>("FirstButton")),
      prevButton_(Add<view::Button>("PrevButton")),
      playButton_(Add<view::Button>("PlayButton")),
      nextButton_(Add<view::Button>("NextButton")),
      lastButton_(Add<view::Button>("LastButton")),
      speedBox_(Add<view::ComboBox>("SpeedBox")),
      cursorLabel_(Add<view::Label>("CursorLabel")),
      valueGrid_(Add<view::Grid>("ValueGrid")),
      closeButton_(Add<view::Button>("CloseButton")),
      timer1_(Add<view::Timer>("Timer1", kPlayIntervalMs)) {
  SetCaption("Просмотр записи: " + title);
  const std::string count = "Кадров: " + std::to_string(file_.rows.size()) + ".";
  messageLabel_.SetCaption(file_.problem.empty() ? count : count + " " + file_.problem);

  chartable_.assign(file_.columns.size(), !file_.rows.empty());
  for (const RecordingRow& row : file_.rows)
    for (std::size_t c = 0; c < chartable_.size(); ++c)
      if (chartable_[c] && (c >= row.texts.size() || !RecordingValue(row.texts[c])))
        chartable_[c] = false;

  std::vector<std::string> names;
  for (const RecordingColumn& c : file_.columns) names.push_back(Heading(c));
  checkParamList_.SetItems(names);
  checkParamList_.SetHint("Отмеченные параметры идут на график");
  checkParamList_.OnClickCheck = [this](int index) {
    // Only numbers can be drawn: the box of a column of texts does not stay ticked.
    if (index >= 0 && static_cast<std::size_t>(index) < chartable_.size() && !chartable_[index])
      checkParamList_.SetChecked(index, false);
    RebuildChart();
  };

  chart1_.SetTitle("Параметры записи");
  chart1_.SetGrid(0, 0, true);
  RebuildChart();

  firstButton_.SetCaption("|<");
  firstButton_.SetHint("Первый кадр");
  prevButton_.SetCaption("<");
  prevButton_.SetHint("Предыдущий кадр");
  playButton_.SetCaption("Пуск");
  playButton_.SetHint("Воспроизвести запись");
  nextButton_.SetCaption(">");
  nextButton_.SetHint("Следующий кадр");
  lastButton_.SetCaption(">|");
  lastButton_.SetHint("Последний кадр");
  firstButton_.OnClick = [this] { MoveCursor(0); };
  prevButton_.OnClick = [this] { MoveCursor(cursor_ - 1); };
  nextButton_.OnClick = [this] { MoveCursor(cursor_ + 1); };
  lastButton_.OnClick = [this] { MoveCursor(static_cast<int>(file_.rows.size()) - 1); };
  playButton_.OnClick = [this] {
    if (Playing())
      Pause();
    else
      Play();
  };
  speedBox_.SetItems({"1×", "4×", "16×"});
  speedBox_.Select(0);
  speedBox_.SetHint("Скорость воспроизведения");
  speedBox_.OnChange = [this] {
    // The pace changes from here on, not for what was already played.
    if (cursor_ >= 0) playFrom_ = file_.rows[static_cast<std::size_t>(cursor_)].seconds;
    playedMs_ = 0;
  };
  closeButton_.SetCaption("Закрыть");
  closeButton_.SetCancel(true);
  closeButton_.OnClick = [this] { CloseByControl(); };

  timer1_.SetEnabled(false);
  timer1_.OnTimer = [this] { PlayTick(); };

  BuildGrid();
  valueGrid_.SetSize(2, static_cast<int>(file_.columns.size()) + 1);
  valueGrid_.ColWidths() = {170, 90};
  valueGrid_.SetCell(0, 0, "Параметр");
  valueGrid_.SetCell(1, 0, "Значение");
  for (std::size_t c = 0; c < file_.columns.size(); ++c)
    valueGrid_.SetCell(0, static_cast<int>(c) + 1, Heading(file_.columns[c]));
  MoveCursor(0);
  if (file_.rows.empty()) ShowCursor();
}

void RecordView::BuildGrid() {
  const int cols = 2 + static_cast<int>(file_.columns.size());
  // One empty row under the headings when there is no frame: a table keeps its fixed row.
  stringGrid1_.SetSize(cols, std::max<int>(2, static_cast<int>(file_.rows.size()) + 1));
  stringGrid1_.SetCell(0, 0, "Кадр");
  stringGrid1_.SetCell(1, 0, "Время, с");
  for (std::size_t c = 0; c < file_.columns.size(); ++c)
    stringGrid1_.SetCell(static_cast<int>(c) + 2, 0, Heading(file_.columns[c]));
  for (std::size_t r = 0; r < file_.rows.size(); ++r) {
    const int row = static_cast<int>(r) + 1;
    const RecordingRow& frame = file_.rows[r];
    stringGrid1_.SetCell(0, row, std::to_string(r + 1));
    stringGrid1_.SetCell(1, row, SecondsText(frame.seconds));
    for (std::size_t c = 0; c < frame.texts.size() && c < file_.columns.size(); ++c)
      stringGrid1_.SetCell(static_cast<int>(c) + 2, row, frame.texts[c]);
  }
  stringGrid1_.OnSelectCell = [this](int, int row) {
    if (!selecting_) MoveCursor(row - 1);
  };
}

void RecordView::RebuildChart() {
  const double last = file_.rows.empty() ? 0 : file_.rows.back().seconds;
  chart1_.SetAxes(0, std::max(last, kDatFrameSeconds), 0, 1);
  std::vector<view::ChartSeries> series;
  for (std::size_t c = 0; c < file_.columns.size(); ++c) {
    if (!checkParamList_.IsChecked(static_cast<int>(c)) || !chartable_[c]) continue;
    view::ChartSeries s;
    s.title = Heading(file_.columns[c]);
    double lo = 0, hi = 0;
    for (std::size_t r = 0; r < file_.rows.size(); ++r) {
      const double v = RecordingValue(file_.rows[r].texts[c]).value_or(0);
      if (r == 0 || v < lo) lo = v;
      if (r == 0 || v > hi) hi = v;
      s.points.push_back({file_.rows[r].seconds, v, {}});
    }
    // A flat line still needs a scale around it.
    if (!(hi > lo)) {
      const double margin = std::max(1.0, std::fabs(lo) * 0.1);
      lo -= margin;
      hi += margin;
    }
    s.scaleMin = lo;
    s.scaleMax = hi;
    series.push_back(std::move(s));
  }
  chart1_.SetSeries(std::move(series));
}

void RecordView::MoveCursor(int frame) {
  if (file_.rows.empty()) return;
  cursor_ = std::clamp(frame, 0, static_cast<int>(file_.rows.size()) - 1);
  ShowCursor();
}

void RecordView::ShowCursor() {
  const int total = static_cast<int>(file_.rows.size());
  firstButton_.SetEnabled(cursor_ > 0);
  prevButton_.SetEnabled(cursor_ > 0);
  nextButton_.SetEnabled(cursor_ >= 0 && cursor_ + 1 < total);
  lastButton_.SetEnabled(cursor_ >= 0 && cursor_ + 1 < total);
  playButton_.SetEnabled(total > 1);
  if (cursor_ < 0) {
    cursorLabel_.SetCaption("Кадров нет");
    return;
  }
  const RecordingRow& row = file_.rows[static_cast<std::size_t>(cursor_)];
  std::string caption = "Кадр " + std::to_string(cursor_ + 1) + " из " + std::to_string(total) +
                        ", " + SecondsText(row.seconds) + " с";
  if (!row.dateTime.empty()) caption += ", " + row.dateTime;
  cursorLabel_.SetCaption(caption);
  for (std::size_t c = 0; c < file_.columns.size(); ++c)
    valueGrid_.SetCell(1, static_cast<int>(c) + 1, c < row.texts.size() ? row.texts[c] : "");
  chart1_.SetCursor(row.seconds);
  selecting_ = true;
  stringGrid1_.SelectCell(std::max(0, stringGrid1_.Col()), cursor_ + 1);
  selecting_ = false;
}

int RecordView::Speed() const {
  const int i = speedBox_.Selected();
  return i >= 0 && i < 3 ? kSpeeds[i] : 1;
}

void RecordView::Play() {
  if (file_.rows.size() < 2) return;
  // From the end, playing starts over.
  if (cursor_ + 1 >= static_cast<int>(file_.rows.size())) MoveCursor(0);
  playFrom_ = file_.rows[static_cast<std::size_t>(cursor_)].seconds;
  playedMs_ = 0;
  playButton_.SetCaption("Пауза");
  timer1_.SetEnabled(true);
}

void RecordView::Pause() {
  playButton_.SetCaption("Пуск");
  timer1_.SetEnabled(false);
}

void RecordView::PlayTick() {
  if (cursor_ < 0) return Pause();
  playedMs_ += static_cast<double>(kPlayIntervalMs) * Speed();
  // A thousandth of a millisecond of slack: a frame due exactly now is shown now.
  const double now = playFrom_ + playedMs_ / 1000 + 1e-6;
  int frame = cursor_;
  const int last = static_cast<int>(file_.rows.size()) - 1;
  while (frame < last && file_.rows[static_cast<std::size_t>(frame) + 1].seconds <= now) ++frame;
  if (frame != cursor_) MoveCursor(frame);
  if (cursor_ >= last) Pause();
}

}  // namespace kd::livedata
