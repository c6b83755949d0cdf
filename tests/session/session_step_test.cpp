// What the engine decides that a scenario cannot see: commands it drops, pages it hands replies
// to, and the families for which it prepares nothing.
#include <gtest/gtest.h>

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
  view::Memo comp{"Comp"};
  SessionState state;
  Recorder recorder;
  PageSteps pages{};
  link::ExchangeBuffer buffer;

  void Run(std::uint32_t type, Page page) {
    pages.fill(nullptr);
    pages[static_cast<std::size_t>(page)] = &recorder;
    SessionStep(buffer, {type, page, state, status, pages, &comp});
  }
};

TEST(SessionStep, ResetIsDroppedWhereTheFamilyHasNoResetRequest) {
  for (std::uint32_t type : {4u, 5u, 10u}) {
    Engine e;
    e.state.pendingCommand = 2;
    e.Run(type, Page::Params);
    EXPECT_EQ(e.state.pendingCommand, 2u) << "only the fault page consumes it";
    e.Run(type, Page::Faults);
    EXPECT_EQ(e.state.pendingCommand, 0u) << type;
    EXPECT_EQ(e.buffer.dataLength, kNothingToSend) << "no request goes out for it";
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
  e.pages.fill(nullptr);
  e.pages[0] = &asks;
  SessionStep(e.buffer, {4, Page::Params, e.state, e.status, e.pages, &e.comp});
  EXPECT_EQ(e.buffer.dataLength, 0);  // 4 bytes: 61 0C 93 0D
  EXPECT_EQ(e.buffer.transmitFrame[2], 0x93);
  EXPECT_EQ(e.buffer.transmitFrame[3], 0x0D);
}

TEST(SessionStep, EquipmentPageOfTypesWithoutEquipment) {
  for (std::uint32_t type : {3u, 7u}) {
    Engine e;
    const std::uint8_t reply[] = {0x81, 0xF1, 0x11, 0x7E, 0x01};
    std::copy(std::begin(reply), std::end(reply), e.buffer.receiveArea + 5);
    e.buffer.dataLength = 10;
    e.Run(type, Page::Equipment);
    EXPECT_EQ(e.recorder.calls, 0);
    ASSERT_EQ(e.comp.Count(), 1);
    EXPECT_EQ(e.comp.Items()[0], "Комплектация для выбранного блока отсутствует");
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
