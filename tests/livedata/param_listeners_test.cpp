// What the parameter page tells its listeners and its actuator control, and when.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalogue/param_tables.h"
#include "livedata/param_page.h"

namespace kd::livedata {
namespace {

struct Heard : ParamListener {
  std::vector<std::string> log;
  std::string name;
  explicit Heard(std::string n) : name(std::move(n)) {}
  void Decoded(const DecodedReply& d) override {
    log.push_back(name + (d.shown ? " shown " : " unshown ") + std::to_string(d.reply[4]) + " " +
                  std::to_string(d.params.size()));
  }
};

struct Actuators : actuators::ActuatorControl {
  std::vector<std::string>& log;
  bool panel = false;
  explicit Actuators(std::vector<std::string>& l) : log(l) {}
  void AfterDataReply(link::ExchangeBuffer& b) override {
    log.push_back("after data");
    b.transmitFrame[3] = 0x30;
  }
  void Reply(const link::ReplyCopy&) override { log.push_back("reply"); }
  bool PanelVisible() const override { return panel; }
  void PacedRequest(link::ExchangeBuffer& b) override {
    log.push_back("paced");
    b.transmitFrame[0] = 'w';
  }
};

struct Fixture {
  std::uint32_t type;
  std::vector<catalogue::ParamRecord> params;
  view::Grid grid{"StringGrid1"};
  view::StatusBar status{"StatusBar1", {200, 70, 70, 70}};
  std::uint8_t pageTickCount = 0;
  ParamPage page{type, params, grid, status, pageTickCount};
  link::ExchangeBuffer buffer;

  explicit Fixture(std::uint32_t t) : type(t) {
    const auto rows = catalogue::BuiltInParams(t);
    params.assign(rows.begin(), rows.end());
    grid.SetSize(4, 2);
  }
  void Feed(std::initializer_list<std::uint8_t> bytes) {
    link::ReplyCopy reply{};
    std::copy(bytes.begin(), bytes.end(), reply.begin());
    page.Step(reply, buffer);
  }
};

TEST(ParamListeners, EveryListenerHearsEveryReplyInOrderUntilRemoved) {
  Fixture f(1);
  Heard a("a"), b("b");
  std::vector<std::string> log;
  f.page.AddListener(a);
  f.page.AddListener(b);
  auto control = std::make_unique<Actuators>(log);
  f.page.SetActuators(std::move(control));
  f.Feed({0x80, 0xF1, 0x10, 0x22, 0x61, 0x01});  // data reply, long form
  f.Feed({0x82, 0xF1, 0x10, 0x7E, 0x01});        // TesterPresent answer
  EXPECT_EQ(a.log, (std::vector<std::string>{"a shown 97 25", "a unshown 1 25"}));
  EXPECT_EQ(b.log, (std::vector<std::string>{"b shown 97 25", "b unshown 1 25"}));
  // The actuator control may replace the page's request after a data reply, and sees every
  // reply; listeners hear the reply after the request was written.
  EXPECT_EQ(log, (std::vector<std::string>{"after data", "reply", "reply"}));
  EXPECT_EQ(f.buffer.transmitFrame[3], 0x21) << "no data reply: the page's own request";
  f.page.RemoveListener(a);
  f.Feed({0x80, 0xF1, 0x10, 0x22, 0x61, 0x01});
  EXPECT_EQ(a.log.size(), 2u);
  EXPECT_EQ(b.log.size(), 3u);
  EXPECT_EQ(f.buffer.transmitFrame[3], 0x30);
}

TEST(ParamListeners, CountedFamiliesShowFromTheSecondReplyAndPaceActuatorRequests) {
  Fixture f(4);
  Heard a("a");
  std::vector<std::string> log;
  f.page.AddListener(a);
  auto control = std::make_unique<Actuators>(log);
  Actuators& actuators = *control;
  f.page.SetActuators(std::move(control));
  f.Feed({1, 2, 3, 4, 5});
  f.Feed({1, 2, 3, 4, 5});
  EXPECT_EQ(a.log, (std::vector<std::string>{"a unshown 5 25", "a shown 5 25"}));
  EXPECT_TRUE(log.empty()) << "the panel is down";
  actuators.panel = true;
  f.Feed({});
  EXPECT_EQ(log, std::vector<std::string>{"paced"});
  EXPECT_EQ(f.pageTickCount, 0);
  EXPECT_EQ(f.buffer.transmitFrame[0], 'w');
  f.Feed({});
  f.Feed({});
  EXPECT_EQ(log.size(), 1u) << "one actuator request every third reply";
  f.Feed({});
  EXPECT_EQ(log.size(), 2u);
}

TEST(ParamListeners, AnUnknownTypeDecodesNothingAndTellsNoOne) {
  Fixture f(12);
  Heard a("a");
  f.page.AddListener(a);
  f.Feed({0x80, 0xF1, 0x10, 0x22, 0x61, 0x01});
  EXPECT_TRUE(a.log.empty());
}

}  // namespace
}  // namespace kd::livedata
