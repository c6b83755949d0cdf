// The detail decoders where the scenarios do not reach: an M7.9.7 code without a catalogue row,
// and which decoder a reply reaches at all.
#include "faults/fault_detail.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kd::faults {
namespace {

using Lines = std::vector<std::string>;

link::ReplyCopy Reply(std::initializer_list<std::pair<std::size_t, std::uint8_t>> bytes) {
  link::ReplyCopy r{};
  for (auto [at, value] : bytes) r[at] = value;
  return r;
}

TEST(FaultDetail, M797WithoutARowShowsOnlyTheRunTimes) {
  auto r = Reply({{3, 0x57},
                  {4, 1},
                  {5, 0x7E},
                  {6, 0x7E},
                  {7, 0x01},
                  {15, 0x10},
                  {16, 0x20},
                  {18, 0x05},
                  {19, 0x01},
                  {20, 0xFF},
                  {21, 0xFF},
                  {25, 0xFF},
                  {26, 0xFF},
                  {30, 0xFF},
                  {31, 0xFF}});
  const DetailLines d = DecodeM797Related(r);
  EXPECT_EQ(d.curError, (Lines{"runing time1 =261"}));
  ASSERT_FALSE(d.freeze.empty());
  EXPECT_EQ(d.freeze[0], "Проверка не закончена.") << "status 01 counts as not finished";
}

TEST(FaultDetail, EachReplyReachesOnlyItsDecoder) {
  const auto related = Reply({{3, 0x57}, {4, 1}});
  const auto freeze = Reply({{3, 0x52}});
  for (std::uint32_t type : {3u, 6u, 7u, 8u, 11u}) {
    EXPECT_TRUE(DecodeFaultDetail(type, 1, related).has_value()) << type;
    EXPECT_FALSE(DecodeFaultDetail(type, 0, related).has_value()) << type;
    EXPECT_FALSE(DecodeFaultDetail(type, 2, related).has_value()) << type;
    EXPECT_FALSE(DecodeFaultDetail(type, 3, related).has_value()) << "the scan only stores";
    EXPECT_EQ(DecodeFaultDetail(type, 2, freeze).has_value(), type != 11) << type;
    EXPECT_FALSE(DecodeFaultDetail(type, 1, freeze).has_value()) << type;
  }
  for (std::uint32_t type : {1u, 2u, 4u, 5u, 9u, 10u, 12u}) {
    EXPECT_FALSE(DecodeFaultDetail(type, 1, related).has_value()) << type;
    EXPECT_FALSE(DecodeFaultDetail(type, 2, freeze).has_value()) << type;
  }
  auto two = related;
  two[4] = 2;
  EXPECT_FALSE(DecodeFaultDetail(8, 1, two).has_value()) << "M10 decodes one code only";
  EXPECT_TRUE(DecodeFaultDetail(6, 1, two).has_value());
  EXPECT_TRUE(DecodeFaultDetail(6, 1, related)->related);
  EXPECT_FALSE(DecodeFaultDetail(6, 2, freeze)->related);
}

}  // namespace
}  // namespace kd::faults
