// January 4.1 (escaped frames at 9600) and GM ISFI-2S (8192), from the frame layouts; what
// their values read is checked with every type's in records_test.
#include "catalogue/param_tables.h"
#include "sim_fixture.h"

namespace kd::sim::test {
namespace {

struct Families : SimFixture {
  // Values and checksum of the answer to 'a' and the codes; they sum to zero.
  Bytes Ask(const Bytes& codes, bool* sawEscape = nullptr) {
    Bytes message{0x61};
    message.insert(message.end(), codes.begin(), codes.end());
    const Bytes body = Unstuff(Bare(EscapedFrame(message)), sawEscape);
    EXPECT_EQ(Sum8(body), 0);
    return body;
  }
  static Bytes Codes(std::uint32_t type) {
    Bytes codes;
    for (const auto& r : catalogue::BuiltInParams(type))
      codes.push_back(static_cast<std::uint8_t>(r.dataOffset));
    return codes;
  }
};

TEST_F(Families, EveryEscapedAnswerOfADriveIsStuffedAndTerminated) {
  Connect(4, kEscapedLine);
  std::size_t width = 1;
  for (const auto& r : catalogue::BuiltInParams(4)) width += r.width == 2 ? 2 : 1;
  bool escaped = false;
  for (nowMs = 0; nowMs < 240000; nowMs += 700)
    ASSERT_EQ(Ask(Codes(4), &escaped).size(), width) << nowMs;
  EXPECT_TRUE(escaped) << "a drive should produce a 0x40 or 0x0D value somewhere";
}

TEST_F(Families, EscapedRequestsThatDoNotSumToZeroOrAreUnknownAreIgnored) {
  Connect(4, kEscapedLine);
  Bytes line = EscapedFrame({0x61, 0x24});
  line[2] = static_cast<std::uint8_t>(line[2] + 1);
  EXPECT_TRUE(Bare(line).empty());
  EXPECT_TRUE(Bare(EscapedFrame({0x7A, 0x24})).empty());
}

TEST_F(Families, GmAnswersOnlyWellFormedDataRequests) {
  Connect(5, kGmLine);
  const Bytes r = Bare(kGmRequest);
  ASSERT_GE(r.size(), 4u);
  EXPECT_EQ(r[0], 0xF4);
  EXPECT_EQ(r.size(), r[1] - 0x55u + 3) << "address, length, mode and data, checksum";
  // A bad sum, an unknown mode, another address, another message.
  for (const Bytes& q : {Bytes{0xF4, 0x57, 0x01, 0x00, 0xB5}, Bytes{0xF4, 0x56, 0x0B, 0xAB},
                         Bytes{0xF5, 0x57, 0x01, 0x00, 0xB3}, Bytes{0xF4, 0x57, 0x01, 0x01, 0xB3}})
    EXPECT_TRUE(Bare(q).empty()) << int(q[2]);
}

}  // namespace
}  // namespace kd::sim::test
