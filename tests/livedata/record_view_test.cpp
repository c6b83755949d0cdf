// The viewer as a technician uses it: stepping, playing at the recorded pace and faster, the
// values at the cursor, and a chart whose series each keep a scale of their own.
#include "livedata/record_view.h"

#include <gtest/gtest.h>

#include <string>

#include "text/number_format.h"

namespace kd::livedata {
namespace {

class RecordViewTest : public ::testing::Test {
 protected:
  void SetUp() override { text::SetDecimalSeparator('.'); }
  void TearDown() override { text::ResetDecimalSeparator(); }
};

// Frames at 0, 0.5, 1.0, 3.0 and 3.2 s: uneven, as a slow controller gives them.
RecordingFile FiveFrames() {
  RecordingFile f;
  f.kind = RecordingFile::Kind::Csv;
  f.columns = {{"ОБ.ДВ.", "об/мин"}, {"ХХ", ""}, {"КОД", ""}};
  const double seconds[] = {0, 0.5, 1.0, 3.0, 3.2};
  const char* rpm[] = {"800", "850", "2000", "3100,5", "900"};
  const char* idle[] = {"ДА", "ДА", "НЕТ", "НЕТ", "ДА"};
  for (int i = 0; i < 5; ++i)
    f.rows.push_back({seconds[i],
                      "2024-03-05T09:07:0" + std::to_string(i) + ".000",
                      {rpm[i], idle[i], "00A" + std::to_string(i)}});
  return f;
}

int PlayUntilStopped(RecordView& view, int limit = 1000) {
  int ticks = 0;
  while (view.Playing() && ticks < limit) {
    view.LinkTimer()->Fire();
    ++ticks;
  }
  return ticks;
}

TEST_F(RecordViewTest, CursorStepsAndShowsTheFramesValues) {
  RecordView view(FiveFrames(), "drive.csv");
  EXPECT_EQ(view.Caption(), "Просмотр записи: drive.csv");
  EXPECT_EQ(view.Cursor(), 0);
  auto& label = *view.FindAs<view::Label>("CursorLabel");
  auto& values = *view.FindAs<view::Grid>("ValueGrid");
  EXPECT_FALSE(view.FindAs<view::Button>("PrevButton")->Enabled());
  view.FindAs<view::Button>("NextButton")->Click();
  view.FindAs<view::Button>("NextButton")->Click();
  EXPECT_EQ(view.Cursor(), 2);
  EXPECT_EQ(label.Caption(), "Кадр 3 из 5, 1.000 с, 2024-03-05T09:07:02.000");
  EXPECT_EQ(values.Cell(0, 1), "ОБ.ДВ., об/мин");
  EXPECT_EQ(values.Cell(1, 1), "2000");
  EXPECT_EQ(values.Cell(1, 2), "НЕТ");
  EXPECT_EQ(view.FindAs<view::Grid>("StringGrid1")->Row(), 3);
  view.FindAs<view::Button>("LastButton")->Click();
  EXPECT_EQ(view.Cursor(), 4);
  EXPECT_FALSE(view.FindAs<view::Button>("NextButton")->Enabled());
  // Choosing a row of the table puts the cursor there.
  view.FindAs<view::Grid>("StringGrid1")->SelectCell(0, 2);
  EXPECT_EQ(view.Cursor(), 1);
  EXPECT_EQ(values.Cell(1, 1), "850");
}

TEST_F(RecordViewTest, PlayingKeepsTheRecordedPaceAtEachSpeed) {
  RecordView view(FiveFrames(), "drive.csv");
  view.FindAs<view::Button>("PlayButton")->Click();
  ASSERT_TRUE(view.Playing());
  EXPECT_EQ(view.FindAs<view::Button>("PlayButton")->Caption(), "Пауза");
  // At 1x the frame of 0.5 s shows after five ticks of 100 ms, not before.
  for (int i = 0; i < 4; ++i) view.LinkTimer()->Fire();
  EXPECT_EQ(view.Cursor(), 0);
  view.LinkTimer()->Fire();
  EXPECT_EQ(view.Cursor(), 1);
  // The whole 3.2 s take 32 ticks at 1x; the player stops on the last frame.
  EXPECT_EQ(PlayUntilStopped(view) + 5, 32);
  EXPECT_EQ(view.Cursor(), 4);
  EXPECT_EQ(view.FindAs<view::Button>("PlayButton")->Caption(), "Пуск");

  // From the end it starts over; 4x and 16x take a quarter and a sixteenth of the ticks.
  auto& speed = *view.FindAs<view::ComboBox>("SpeedBox");
  speed.Select(1);
  speed.OnChange();
  EXPECT_EQ(view.Speed(), 4);
  view.FindAs<view::Button>("PlayButton")->Click();
  EXPECT_EQ(view.Cursor(), 0);
  EXPECT_EQ(PlayUntilStopped(view), 8);
  speed.Select(2);
  speed.OnChange();
  view.FindAs<view::Button>("PlayButton")->Click();
  EXPECT_EQ(PlayUntilStopped(view), 2);

  // Pause holds the cursor where it is.
  speed.Select(0);
  speed.OnChange();
  view.FindAs<view::Button>("PlayButton")->Click();
  for (int i = 0; i < 10; ++i) view.LinkTimer()->Fire();
  view.FindAs<view::Button>("PlayButton")->Click();
  EXPECT_FALSE(view.Playing());
  EXPECT_EQ(view.Cursor(), 2);
}

TEST_F(RecordViewTest, TickedNumbersAreChartedOnTheirOwnScale) {
  RecordView view(FiveFrames(), "drive.csv");
  auto& list = *view.FindAs<view::CheckListBox>("CheckParamList");
  auto& chart = *view.FindAs<view::Chart>("Chart1");
  ASSERT_EQ(list.Count(), 3);
  EXPECT_TRUE(view.Chartable(0));
  EXPECT_TRUE(view.Chartable(1));
  EXPECT_FALSE(view.Chartable(2));
  for (int i : {0, 1, 2}) {
    list.SetChecked(i, true);
    list.OnClickCheck(i);
  }
  EXPECT_FALSE(list.IsChecked(2)) << "a column of codes has nothing to draw";
  ASSERT_EQ(chart.Series().size(), 2u);
  const auto& rpm = chart.Series()[0];
  EXPECT_EQ(rpm.title, "ОБ.ДВ., об/мин");
  EXPECT_DOUBLE_EQ(rpm.scaleMin, 800);
  EXPECT_DOUBLE_EQ(rpm.scaleMax, 3100.5);
  ASSERT_EQ(rpm.points.size(), 5u);
  EXPECT_DOUBLE_EQ(rpm.points[3].x, 3.0);
  EXPECT_DOUBLE_EQ(rpm.points[3].y, 3100.5);
  EXPECT_DOUBLE_EQ(chart.Series()[1].scaleMin, 0);
  EXPECT_DOUBLE_EQ(chart.Series()[1].scaleMax, 1);
  EXPECT_DOUBLE_EQ(chart.XMax(), 3.2);
  view.FindAs<view::Button>("LastButton")->Click();
  EXPECT_DOUBLE_EQ(chart.CursorX(), 3.2);
  list.SetChecked(0, false);
  list.OnClickCheck(0);
  EXPECT_EQ(chart.Series().size(), 1u);
}

TEST_F(RecordViewTest, EmptyOrDamagedFileShowsWhatItHasAndWhy) {
  RecordingFile file;
  file.problem = "Это не запись данных: в файле нет строки «Параметры контроллера.».";
  RecordView view(std::move(file), "x.dat");
  EXPECT_EQ(view.Cursor(), -1);
  EXPECT_EQ(view.FindAs<view::Label>("MessageLabel")->Caption(),
            "Кадров: 0. Это не запись данных: в файле нет строки «Параметры контроллера.».");
  EXPECT_EQ(view.FindAs<view::Label>("CursorLabel")->Caption(), "Кадров нет");
  view.FindAs<view::Button>("PlayButton")->Click();
  EXPECT_FALSE(view.Playing());
  view.FindAs<view::Button>("NextButton")->Click();
  EXPECT_EQ(view.Cursor(), -1);
}

}  // namespace
}  // namespace kd::livedata
