// Random replies of every type on the parameter page with the actuator panel open, recording on,
// the chart panel and the graph window fed, and random clicks in between: requests keep the
// shapes of their family, a value command never stays pending after a data reply that consumed
// its row, series never grow past their window, and under the sanitizers nothing is read or
// written outside its buffer.
#include <gtest/gtest.h>

#include <random>

#include "actuators/actuator_panel.h"
#include "catalogue/ecu_catalogue.h"
#include "catalogue/param_tables.h"
#include "livedata/charts.h"
#include "livedata/param_page.h"
#include "livedata/recording.h"
#include "support/null_host.h"

namespace kd::livedata {
namespace {

using Rng = std::mt19937;

int Pick(Rng& rng, int n) {
  return static_cast<int>(rng() % static_cast<unsigned>(n));
}

link::ReplyCopy RandomReply(Rng& rng) {
  link::ReplyCopy r{};
  for (auto& b : r) b = static_cast<std::uint8_t>(rng());
  switch (Pick(rng, 4)) {
    case 0:  // a data record, long header
      r[0] = 0x80, r[1] = 0xF1, r[4] = 0x61, r[5] = 0x01;
      break;
    case 1:  // a data record, short header
      r[1] = 0xF1, r[3] = 0x61, r[4] = 0x01;
      break;
    case 2:  // an actuator state
      r[1] = 0xF1, r[3] = 0x70;
      break;
    default:
      break;
  }
  return r;
}

TEST(ParamPanelRandom, EveryTypeWithThePanelOpenOnRandomReplies) {
  Rng rng(20240101);
  for (std::uint32_t type = catalogue::kFirstType; type <= catalogue::kLastType; ++type) {
    view::Form form("TForm1");
    auto& grid = form.Add<view::Grid>("StringGrid1");
    auto& status = form.Add<view::StatusBar>("StatusBar1", std::vector<int>{200, 70, 70, 70});
    std::uint32_t ecuType = type;
    std::uint32_t pending = 0;
    std::uint8_t pageTicks = 0;
    const auto table = catalogue::BuiltInParams(type);
    std::vector<catalogue::ParamRecord> params(table.begin(), table.end());
    int row = 0;
    for (auto& r : params) {
      r.shown = Pick(rng, 2) == 0 ? 1 : 0;
      if (r.shown) r.gridRow = ++row;
    }
    grid.SetSize(4, row + 1);
    ParamPage page(ecuType, params, grid, status, pageTicks);
    Recorder recorder(form, ecuType);
    MainChart chart(form, grid, params);
    auto owned = std::make_unique<actuators::ActuatorPanel>(form, ecuType, pending);
    actuators::ActuatorPanel& panel = *owned;
    page.SetActuators(std::move(owned));
    page.AddListener(recorder);
    page.AddListener(chart);
    testing::NullHost host;
    GraphWindow window(params, host);
    page.AddListener(window);
    panel.TypeApplied();
    form.FindAs<view::Button>("Button1")->Click();
    recorder.StartRecording();
    for (int r = 1; r <= row; ++r) chart.CellSelected(3, r);
    chart.ShowPanel();
    const auto rows = static_cast<int>(actuators::ActuatorTable(type).size());
    const bool kwp = catalogue::Lookup(type).family == catalogue::LinkFamily::Kwp2000;

    for (int i = 0; i < 3000; ++i) {
      switch (Pick(rng, 12)) {
        case 0:
          form.FindAs<view::ComboBox>("ControlBox")->Select(Pick(rng, rows + 2) - 1);
          form.FindAs<view::ComboBox>("ControlBox")->OnChange();
          break;
        case 1:
          form.FindAs<view::Button>("ControlButton")->Click();
          break;
        case 2:
          form.FindAs<view::Button>(Pick(rng, 2) ? "BitPlus" : "BitMinus")->Click();
          break;
        case 3:
          if (Pick(rng, 10) == 0) form.FindAs<view::Button>("Button1")->Click();
          break;
        case 4:
          pending = static_cast<std::uint32_t>(Pick(rng, 5));
          break;
        default:
          break;
      }
      link::ExchangeBuffer buffer{};
      link::ReplyCopy reply = RandomReply(rng);
      const std::uint32_t pendingBefore = pending;
      const int selected = form.FindAs<view::ComboBox>("ControlBox")->Selected();
      const int last = panel.LastActuator();
      page.Step(reply, buffer);
      if (kwp) {
        ASSERT_TRUE(buffer.dataLength >= 2 && buffer.dataLength <= 5) << type;
        if (buffer.transmitFrame[3] == 0x30) {
          ASSERT_TRUE(buffer.dataLength == 3 || buffer.dataLength == 4 || buffer.dataLength == 5);
        }
        if (IsDataReply(reply) && panel.PanelVisible() && pendingBefore == 3 && selected == last) {
          ASSERT_EQ(pending, 0u) << "a value command stayed pending on type " << type;
        }
      }
      for (const auto& s : chart.Chart1().Series()) ASSERT_LE(s.points.size(), kChartWindow);
      ASSERT_LE(recorder.Buffer().RecordFill(), kRecordLimit + kLargestFrame);
    }
    // Whatever was recorded can be written and summarised.
    const std::string data = DataFileBody(type, params, recorder.Buffer());
    const std::string stats = StatisticsFile(type, params, recorder.Buffer());
    EXPECT_FALSE(data.empty());
    EXPECT_FALSE(stats.empty());
    if (!kwp) {
      EXPECT_EQ(recorder.Buffer().RecordFill(), 0) << "escaped and GM types keep no frames";
    }
  }
}

}  // namespace
}  // namespace kd::livedata
