#include "link/adapter.h"

#include <gtest/gtest.h>

#include "link/fake_port.h"

namespace kd::link {
namespace {

using testing::FakePort;

TEST(AdapterNames, EveryKindHasOneNameAndTheDialogCaption) {
  for (const AdapterInfo& info : Adapters()) {
    EXPECT_EQ(AdapterByName(info.name), info.kind);
    EXPECT_EQ(InfoOf(info.kind).name, info.name);
  }
  EXPECT_EQ(InfoOf(AdapterKind::KLineAdapter).caption, "K-line адаптер");
  EXPECT_EQ(InfoOf(AdapterKind::KLineCable).caption, "K-line кабель");
  EXPECT_EQ(AdapterByName("adapter"), AdapterKind::KLineAdapter);
  EXPECT_FALSE(AdapterByName("Adapter"));
  EXPECT_FALSE(AdapterByName(""));
}

// The Part's adapter takes the envelope itself: every call and byte reaches the device as the
// core made it, and what the device gives back reaches the core unchanged.
TEST(KLineAdapterDriver, HandsEverythingThrough) {
  FakePort device;
  AdapterPort port(device, AdapterKind::KLineAdapter);
  ASSERT_TRUE(port.Open(3));
  EXPECT_TRUE(port.ApplyLineSettings({115200, 'n', 8, 2}));
  port.SetReadTimeout(100);
  port.RaiseDtr();
  port.RaiseRts();
  const std::vector<std::uint8_t> frame = {0x55, 0x56, 0x57, 0xAA, 0x8A,
                                           0x81, 0x11, 0xF1, 0x81, 0x04};
  EXPECT_EQ(port.Write(frame.data(), frame.size()), WriteStatus::Written);
  device.incoming = {0x81, 0x11, 0xF1, 0x81, 0x04, 0x83, 0xF1, 0x11, 0xC1};
  std::uint8_t in[200] = {};
  EXPECT_EQ(port.Read(in, 200), 9u);
  EXPECT_EQ(in[5], 0x83);
  ASSERT_EQ(device.writes.size(), 1u);
  EXPECT_EQ(device.writes[0], frame);
  EXPECT_EQ(device.calls, (std::vector<std::string>{"open 3", "apply 115200,n,8,2", "timeout 100",
                                                    "dtr", "rts"}));
  EXPECT_EQ(device.lastReadLimit, 200u);

  device.writeResult = WriteStatus::Pending;
  device.pendingCompletes = false;
  EXPECT_EQ(port.Write(frame.data(), frame.size()), WriteStatus::Pending);
  EXPECT_FALSE(port.WaitPendingWrite(1000));
}

TEST(AdapterPort, AKindChosenLaterTakesOverAtTheNextOpen) {
  FakePort device;
  AdapterPort port(device, AdapterKind::KLineAdapter);
  ASSERT_TRUE(port.Open(2));
  port.SetKind(AdapterKind::Elm327);
  // Until the port is opened again the driver in use stays.
  EXPECT_EQ(port.Kind(), AdapterKind::KLineAdapter);
  EXPECT_EQ(port.WantedKind(), AdapterKind::Elm327);
  if (!AdapterAvailable(AdapterKind::Elm327)) {
    // A kind the program cannot drive opens nothing, and leaves no device open behind it.
    EXPECT_FALSE(port.Open(2));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(device.IsOpen());
    const std::uint8_t byte = 0x55;
    EXPECT_EQ(port.Write(&byte, 1), WriteStatus::Failed);
    EXPECT_FALSE(port.ApplyLineSettings({115200, 'n', 8, 2}));
  }
  port.SetKind(AdapterKind::KLineAdapter);
  EXPECT_TRUE(port.Open(2));
  EXPECT_EQ(port.Kind(), AdapterKind::KLineAdapter);
}

TEST(AdapterPort, TellsWhyTheDeviceDidNotOpen) {
  struct Refusing : FakePort {
    OpenError LastOpenError() const override { return OpenError::Permission; }
    std::string DeviceName() const override { return "/dev/ttyUSB0"; }
  } device;
  device.openSucceeds = false;
  AdapterPort port(device, AdapterKind::KLineAdapter);
  EXPECT_FALSE(port.Open(1));
  EXPECT_EQ(port.LastOpenError(), OpenError::Permission);
  EXPECT_EQ(port.DeviceName(), "/dev/ttyUSB0");
}

TEST(ManualLineClock, MovesOnlyWhenSlept) {
  ManualLineClock clock;
  EXPECT_EQ(clock.NowUs(), 0);
  clock.SleepMs(25);
  clock.SleepUs(-5);
  EXPECT_EQ(clock.NowUs(), 25000);
}

}  // namespace
}  // namespace kd::link
