// Opening the port and the poll tick: the order of steps and of the texts they leave.
#include <gtest/gtest.h>

#include "catalogue/ecu_catalogue.h"
#include "link/fake_port.h"
#include "link/port.h"

namespace kd::link {
namespace {

using kd::testing::FakePort;

// Every text the status line took, in order, as "panel:text".
struct Recorder {
  view::StatusBar status{"StatusBar1", {200, 70, 70, 70}};
  std::vector<std::string> texts;
  Recorder() {
    status.OnText = [this](int panel, const std::string& text) {
      texts.push_back(std::to_string(panel) + ":" + text);
    };
  }
};

TEST(LineSettings, ModeTextsOfEachFamilyAndRefusedTexts) {
  EXPECT_EQ(ModeText(1, 2), "COM2:115200,n,8,2");
  EXPECT_EQ(ModeText(4, 4), "COM4:9600,n,8,1");
  EXPECT_EQ(ModeText(10, 1), "COM1:9600,n,8,1");
  EXPECT_EQ(ModeText(5, 8), "COM8:8192,n,8,1");
  EXPECT_EQ(ModeText(11, 3), "COM3:115200,n,8,2");
  EXPECT_FALSE(ModeText(0, 2));
  EXPECT_FALSE(ModeText(12, 2));

  EXPECT_EQ(BuildLineSettings("COM2:115200,n,8,2"), (LineSettings{115200, 'n', 8, 2}));
  EXPECT_EQ(BuildLineSettings("COM1:8192,n,8,1"), (LineSettings{8192, 'n', 8, 1}));
  for (const char* bad : {"", "COM1:", "COM1:abc,n,8,1", "COM1:9600,x,8,1", "COM1:9600,n,9,1",
                          "COM1:9600,n,8,3", "COM1:9600,n,8", "COM1:9600,n,8,1,1", "LPT1:9600,n,8,1"})
    EXPECT_FALSE(BuildLineSettings(bad)) << bad;
}

TEST(OpenPort, StepsRunInOrderAndNoFailureStopsThem) {
  FakePort port;
  PortHandle handle(port);
  view::StatusBar status("StatusBar1", {200, 70, 70, 70});

  OpenPort(handle, 2, 1, status);
  // Nothing open at start-up: nothing is closed.
  EXPECT_EQ(port.calls, (std::vector<std::string>{"open 2", "apply 115200,n,8,2", "timeout 100",
                                                  "dtr", "rts"}));
  EXPECT_EQ(status.Text(kPortPanel), "Com:2");
  EXPECT_EQ(status.Text(kMessagePanel), "");

  port.calls.clear();
  port.closeSucceeds = false;
  port.openSucceeds = false;
  OpenPort(handle, 5, 4, status);
  EXPECT_EQ(port.calls, (std::vector<std::string>{"close", "open 5", "apply 9600,n,8,1",
                                                  "timeout 100", "dtr", "rts"}));
  EXPECT_EQ(status.Text(kPortPanel), "Com:5");
  EXPECT_EQ(status.Text(kMessagePanel), "Error init port.");
  EXPECT_EQ(handle.openPortNumber, 5);
}

TEST(OpenPort, TextsComeInTheOrderOfTheSteps) {
  FakePort port;
  PortHandle handle(port);
  Recorder r;
  OpenPort(handle, 1, 5, r.status);
  EXPECT_EQ(r.texts, std::vector<std::string>{"1:Com:1"});

  r.texts.clear();
  port.closeSucceeds = false;
  port.openSucceeds = false;
  OpenPort(handle, 3, 99, r.status);
  EXPECT_EQ(r.texts, (std::vector<std::string>{"0:Error close port.", "0:Error opening port.",
                                               "1:Com:3", "0:Error init port."}));
  // A type without line settings of its own applies the last ones again, without a DCB error.
  EXPECT_EQ(port.applied, (LineSettings{8192, 'n', 8, 1}));
}

TEST(PollTick, WriteTextsComeBeforeTheTickResult) {
  FakePort port;
  PortHandle handle(port);
  Recorder r;
  ExchangeBuffer buffer;
  auto nothing = [](ExchangeBuffer&) {};
  port.writeResult = WriteStatus::Failed;
  PollTick(handle, buffer, false, nothing, r.status);
  EXPECT_EQ(r.texts, (std::vector<std::string>{"0:Error write port.", "0:Error Message"}));
  r.texts.clear();
  port.writeResult = WriteStatus::Pending;
  PollTick(handle, buffer, false, nothing, r.status);
  EXPECT_EQ(r.texts, (std::vector<std::string>{"0:Error write port by delayed.", "0:Send Message"}));
}

TEST(PollTick, ReadsWritesAndReportsEachWritePath) {
  FakePort port;
  PortHandle handle(port);
  view::StatusBar status("StatusBar1", {200, 70, 70, 70});
  ExchangeBuffer buffer;
  std::fill(std::begin(buffer.receiveArea), std::end(buffer.receiveArea), 0xEE);
  port.incoming = {1, 2, 3};
  bool stepped = false;
  auto step = [&](ExchangeBuffer& b) {
    stepped = true;
    port.incoming = {1, 2, 3};
    EXPECT_EQ(b.receiveArea[2], 3);
    EXPECT_EQ(b.receiveArea[3], 0);    // zeroed before the read
    EXPECT_EQ(b.receiveArea[249], 0);
    EXPECT_EQ(b.receiveArea[250], 0xEE);
    b.transmitFrame[0] = 0xAB;
    b.dataLength = 1;  // five bytes go out
  };
  PollTick(handle, buffer, false, step, status);
  EXPECT_TRUE(stepped);
  EXPECT_EQ(port.lastReadLimit, 200u);
  ASSERT_EQ(port.writes.size(), 1u);
  EXPECT_EQ(port.writes[0].size(), 5u);
  EXPECT_EQ(buffer.dataLength, 5);
  EXPECT_EQ(status.Text(kMessagePanel), "Send Message");

  port.writeResult = WriteStatus::Failed;
  PollTick(handle, buffer, false, step, status);
  EXPECT_EQ(status.Text(kMessagePanel), "Error Message");

  port.writeResult = WriteStatus::Pending;
  port.calls.clear();
  PollTick(handle, buffer, false, step, status);
  EXPECT_EQ(port.calls, std::vector<std::string>{"wait 1000"});
  EXPECT_EQ(status.Text(kMessagePanel), "Send Message");
  port.pendingCompletes = false;
  PollTick(handle, buffer, false, step, status);
  EXPECT_EQ(status.Text(kMessagePanel), "Error Message");
}

TEST(PollTick, StartCommunicationCarriesBit7OnlyForItsTypes) {
  for (std::uint32_t type = 1; type <= 11; ++type) {
    FakePort port;
    PortHandle handle(port);
    view::StatusBar status("StatusBar1", {200, 70, 70, 70});
    ExchangeBuffer buffer;
    auto step = [](ExchangeBuffer& b) {
      const std::uint8_t frame[] = {0x55, 0x56, 0x57, 0xAA, 0x0A, 0x81, 0x11, 0xF1, 0x81, 0x04};
      std::copy(std::begin(frame), std::end(frame), b.transmitFrame);
      b.dataLength = 6;
    };
    PollTick(handle, buffer, catalogue::Lookup(type).marksStartCommunication, step, status);
    const bool marked = type == 3 || type == 6 || type == 7 || type == 8 || type == 11;
    ASSERT_EQ(port.writes.size(), 1u);
    EXPECT_EQ(port.writes[0][4], marked ? 0x8A : 0x0A) << type;
  }
}

TEST(PollTick, MarkedStartCommunicationDoesNotWaitForAPendingWrite) {
  FakePort port;
  PortHandle handle(port);
  view::StatusBar status("StatusBar1", {200, 70, 70, 70});
  ExchangeBuffer buffer;
  port.writeResult = WriteStatus::Pending;
  PollTick(
      handle, buffer, true,
      [](ExchangeBuffer& b) {
        b.transmitFrame[8] = 0x81;
        b.dataLength = 6;
      },
      status);
  EXPECT_TRUE(port.calls.empty());
  EXPECT_EQ(status.Text(kMessagePanel), "Error Message");
}

}  // namespace
}  // namespace kd::link
