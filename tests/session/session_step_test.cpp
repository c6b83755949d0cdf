// What the engine decides that a scenario cannot see: commands it drops, pages it hands replies
// to, and the families for which it prepares nothing.
#include <gtest/gtest.h>

#include <vector>

#include "faults/fault_page.h"
#include "identity/equipment_page_step.h"
#include "session/session_step.h"

namespace kd::session {
namespace {

struct Recorder : PageStep {
  int calls = 0;
  std::uint8_t firstByte = 0;
  void Step(link::ReplyCopy& reply, link::ExchangeBuffer&) override {
    ++calls;
    firstByte = reply[0];
  }
};

struct Engine {
  view::StatusBar status{"StatusBar1", {200, 70, 70, 70}};
  SessionState state;
  Recorder recorder;
  link::ExchangeBuffer buffer;

  void Run(std::uint32_t type, Page page) {
    SessionStep(buffer, {type, page, state, status, &recorder});
  }
};

TEST(SessionStep, ResetIsDroppedWhereTheFamilyHasNoResetRequest) {
  for (std::uint32_t type : {4u, 5u, 10u}) {
    Engine e;
    view::Form form{"TForm1"};
    std::uint32_t mode = 0;
    faults::FaultPage faultPage{form, type, mode, e.state};
    const auto run = [&](Page page) {
      e.buffer = {};
      SessionStep(e.buffer, {type, page, e.state, e.status, &faultPage});
      return std::vector<std::uint8_t>(e.buffer.transmitFrame, e.buffer.transmitFrame + 40);
    };
    const auto plain = run(Page::Faults);
    e.state.pendingCommand = 2;
    e.Run(type, Page::Params);
    EXPECT_EQ(e.state.pendingCommand, 2u) << "only the fault page consumes it";
    EXPECT_EQ(run(Page::Faults), plain) << "no request goes out for it";
    EXPECT_EQ(e.state.pendingCommand, 0u) << type;
    // A clear command belongs to the fault page step of these types, not to the engine.
    e.state.pendingCommand = 1;
    e.Run(type, Page::Faults);
    EXPECT_EQ(e.state.pendingCommand, 1u);
  }
}

TEST(SessionStep, FamiliesWithoutSessionsHandTheirPagesTheRawReply) {
  Engine e;
  e.buffer.receiveArea[0] = 0xF4;
  e.buffer.dataLength = 0;
  e.Run(5, Page::Faults);
  EXPECT_EQ(e.recorder.calls, 1);
  EXPECT_EQ(e.recorder.firstByte, 0xF4);
  // GM pages other than parameters and faults have no step.
  e.Run(5, Page::Idents);
  EXPECT_EQ(e.recorder.calls, 1);
  // January 4.1 serves the identifier, equipment and ADC pages, not the adaptation pages.
  e.Run(4, Page::Adc);
  EXPECT_EQ(e.recorder.calls, 2);
  e.Run(4, Page::Fuel);
  EXPECT_EQ(e.recorder.calls, 2);
}

TEST(SessionStep, PageRequestIsFramedOnce) {
  struct Asks : PageStep {
    void Step(link::ReplyCopy&, link::ExchangeBuffer& b) override {
      b.transmitFrame[0] = 0x61;
      b.transmitFrame[1] = 0x0C;
      b.dataLength = 2;
    }
  } asks;
  Engine e;
  SessionStep(e.buffer, {4, Page::Params, e.state, e.status, &asks});
  EXPECT_EQ(e.buffer.dataLength, 0);  // 4 bytes: 61 0C 93 0D
  EXPECT_EQ(e.buffer.transmitFrame[2], 0x93);
  EXPECT_EQ(e.buffer.transmitFrame[3], 0x0D);
}

TEST(SessionStep, EquipmentPageOfTypesWithoutEquipment) {
  for (std::uint32_t type : {3u, 7u}) {
    Engine e;
    view::Form form{"TForm1"};
    identity::Identifiers identifiers;
    identity::EquipmentPageStep equipment{form, type, e.state, identifiers};
    const std::uint8_t reply[] = {0x81, 0xF1, 0x11, 0x7E, 0x01};
    std::copy(std::begin(reply), std::end(reply), e.buffer.receiveArea + 5);
    e.buffer.dataLength = 10;
    SessionStep(e.buffer, {type, Page::Equipment, e.state, e.status, &equipment});
    ASSERT_EQ(equipment.Comp().Count(), 1);
    EXPECT_EQ(equipment.Comp().Items()[0], "Комплектация для выбранного блока отсутствует");
    EXPECT_EQ(e.buffer.transmitFrame[8], 0x81);
    EXPECT_EQ(e.state.requestStep, 0);
  }
}

TEST(SessionStep, ReplyBeyondTheReceiveAreaReadsAsZero) {
  const auto reply = TakeReply(link::ExchangeBuffer{}, 250);
  for (auto b : reply) ASSERT_EQ(b, 0);
  link::ExchangeBuffer b;
  b.receiveArea[255] = 0x42;
  EXPECT_EQ(TakeReply(b, 255)[0], 0x42);
  EXPECT_EQ(TakeReply(b, 255)[1], 0);
  EXPECT_EQ(TakeReply(b, -5)[0], 0);
}

}  // namespace
}  // namespace kd::session
