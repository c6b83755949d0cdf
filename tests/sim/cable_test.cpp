// The cable driver against the simulated car on a plain K-line, in process and on a clock that
// moves only when waited on: what the core reads must be what the K-line adapter gives.
#include "catalogue/ecu_catalogue.h"
#include "link/kline_cable.h"
#include "sim/simulated_cable.h"
#include "sim_fixture.h"

namespace kd::sim::test {
namespace {

class Cable : public ::testing::Test {
 protected:
  void Connect(std::uint32_t type, const link::LineSettings& settings) {
    car.SetEcuType(type);
    ASSERT_TRUE(driver.Open(2));
    ASSERT_TRUE(driver.ApplyLineSettings(settings));
    driver.SetReadTimeout(100);
    clock.Advance(500000);
  }
  // One tick's worth: write, wait the rest of the 300 ms, read up to 200 bytes.
  Bytes Exchange(const Bytes& written) {
    EXPECT_EQ(driver.Write(written.data(), written.size()), link::WriteStatus::Written);
    clock.Advance(200000);
    Bytes in(200);
    in.resize(driver.Read(in.data(), in.size()));
    return in;
  }
  // What follows the echo; a failure when the echo is not in front.
  Bytes Reply(const Bytes& read, const Bytes& echo) {
    if (read.size() < echo.size() || !std::equal(echo.begin(), echo.end(), read.begin())) {
      ADD_FAILURE() << "no echo in front";
      return {};
    }
    return Bytes(read.begin() + static_cast<std::ptrdiff_t>(echo.size()), read.end());
  }

  link::ManualLineClock clock;
  SimulatedPort car;
  SimulatedCable line{car, clock};
  link::KLineCable driver{line, clock};
};

TEST_F(Cable, EveryKwpTypeOpensItsSessionAsBehindTheAdapter) {
  for (std::uint32_t type : {1u, 2u, 3u, 6u, 7u, 8u, 9u, 11u}) {
    SCOPED_TRACE(type);
    Connect(type, kKwpLine);
    const bool wakes = catalogue::Lookup(type).marksStartCommunication;
    const Bytes start = KwpRequest(Target(type), {0x81});
    const Bytes reply = Reply(Exchange(Envelope(start, wakes ? 0x80 : 0)), start);
    ASSERT_GE(reply.size(), 4u);
    EXPECT_EQ(reply[1], 0xF1);
    EXPECT_EQ(reply[3], 0xC1);
    // The reply validates: the sum of the bytes before the checksum.
    EXPECT_EQ(Sum8(reply, 0, reply.size() - 1), reply.back());
    EXPECT_EQ(driver.LastEcho(), link::KLineCable::Echo::Ok);
    driver.Close();
  }
}

TEST_F(Cable, ASleepingControllerWakesOnlyBehindTheFastInitialisation) {
  Connect(6, kKwpLine);
  const Bytes start = KwpRequest(0x10, {0x81});
  EXPECT_EQ(Exchange(Envelope(start)), start);  // the echo alone
  const Bytes reply = Reply(Exchange(Envelope(start, 0x80)), start);
  ASSERT_GE(reply.size(), 4u);
  EXPECT_EQ(reply[3], 0xC1);
}

TEST_F(Cable, Iso9141LineIsInitialisedAtFiveBaud) {
  Connect(8, kKwpLine);
  EXPECT_EQ(Exchange({0x55, 0x56, 0x57, 0xAA, 0x46, 0xF7}), (Bytes{0xF7, 0xCC}));
  // And the unit then answers its requests, 01 00 here.
  const Bytes request = {0x68, 0x6A, 0xF1, 0x01, 0x00, 0xC4};
  const Bytes reply = Reply(Exchange(Envelope(request)), request);
  ASSERT_GE(reply.size(), 5u);
  EXPECT_EQ(reply[3], 0x41);
}

TEST_F(Cable, EscapedAndGmFramesAsTheyAre) {
  Connect(5, kGmLine);
  const Bytes gm = Reply(Exchange(kGmRequest), kGmRequest);
  ASSERT_GE(gm.size(), 3u);
  EXPECT_EQ(gm[0], 0xF4);
  Connect(4, kEscapedLine);
  const Bytes request = EscapedFrame({0x61, 0x0C});
  const Bytes escaped = Reply(Exchange(request), request);
  ASSERT_FALSE(escaped.empty());
  EXPECT_EQ(escaped.back(), 0x0D);
}

TEST_F(Cable, UnpluggedNothingComesBack) {
  Connect(1, kKwpLine);
  car.SetFault(Fault::Unplugged);
  EXPECT_TRUE(Exchange(Envelope(KwpRequest(0x10, {0x3E, 0x01}))).empty());
  EXPECT_EQ(driver.LastEcho(), link::KLineCable::Echo::Missing);
}

}  // namespace
}  // namespace kd::sim::test
