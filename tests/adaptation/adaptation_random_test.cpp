// Random replies through the four pages on every type: whatever arrives, each page asks only
// for what its controller serves, its grid keeps the shape of the type, and its report stays
// the grid's. Under the sanitizers this also proves that no reply reads or writes outside a
// buffer.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "adaptation/fuel_cells_page.h"
#include "adaptation/knock_cells_page.h"
#include "adaptation/misfire_page.h"
#include "adaptation/page_fixture.h"
#include "adaptation/trip_page.h"

namespace kd::adaptation::test {
namespace {

using Rng = std::mt19937;

Bytes RandomReply(Rng& rng) {
  Bytes r(240);
  for (auto& b : r) b = static_cast<std::uint8_t>(rng());
  // Most replies look like the ones the pages wait for, with random contents.
  static const Bytes kHeads[] = {{0x63},       {0x61, 0x04}, {0x61, 0x05},
                                 {0x61, 0x21}, {0x61, 0x22}, {0x61, 0x23},
                                 {0x61, 0x24}, {0x50, 0x83}, {0x7E}};
  const std::size_t pick = rng() % (std::size(kHeads) + 1);
  if (pick < std::size(kHeads)) {
    const Bytes& head = kHeads[pick];
    const std::size_t at = rng() % 2 == 0 ? 4 : 3;
    r[0] = at == 4 ? 0x80 : static_cast<std::uint8_t>(0x80 + rng() % 64);
    r[1] = 0xF1;
    for (std::size_t i = 0; i < head.size(); ++i) r[at + i] = head[i];
  }
  return r;
}

std::set<Bytes> Allowed(std::uint32_t type, int page) {
  const auto family = catalogue::Lookup(type).adaptation;
  using F = catalogue::AdaptationFamily;
  switch (page) {
    case 0: {  // fuel
      if (family == F::M10) return {{0x21, 0x21}, {0x21, 0x22}};
      if (family != F::January5) return {{}};
      std::set<Bytes> reads;
      for (int k = 0; k <= 32; ++k) {
        const int a = 0xFD00 + 16 * k;
        reads.insert(
            {0x23, 0x00, static_cast<std::uint8_t>(a >> 8), static_cast<std::uint8_t>(a), 0x10});
      }
      return reads;
    }
    case 1:  // knock
      if (family == F::January5) return {{0x23, 0x00, 0xF9, 0x00, 0x30}};
      if (family == F::M797) return {{0x10, 0x83}, {0x23, 0x0F, 0x26, 0x6A, 0x50}};
      if (family == F::M10) return {{0x21, 0x23}, {0x21, 0x24}};
      return {{}};
    case 2:
      return {{0x21, 0x04}};
    default:
      return {{0x21, 0x05}};
  }
}

template <class P>
void Drive(P& page, const view::Grid& grid, std::uint32_t type, int which, Rng& rng) {
  const int rows = grid.RowCount();
  const int cols = grid.ColCount();
  const auto allowed = Allowed(type, which);
  link::ExchangeBuffer buffer;
  for (int i = 0; i < 400; ++i) {
    link::ReplyCopy reply = kd::testing::AsReply(RandomReply(rng));
    buffer.dataLength = kUntouched;
    page.Step(reply, buffer);
    const Bytes request =
        buffer.dataLength == kUntouched
            ? Bytes{}
            : Bytes(buffer.transmitFrame + 3, buffer.transmitFrame + 3 + buffer.dataLength);
    ASSERT_TRUE(allowed.contains(request)) << "type " << type << " page " << which;
    ASSERT_EQ(grid.RowCount(), rows);
    ASSERT_EQ(grid.ColCount(), cols);
  }
}

TEST(AdaptationRandom, RandomRepliesThroughEveryPageOfEveryType) {
  Rng rng(20240601);
  for (std::uint32_t type = 0; type <= 12; ++type) {
    PageOn<FuelCellsPageStep> fuel(type);
    Drive(fuel.page, fuel.page.StringGrid3(), type, 0, rng);
    const std::string fuelBody = fuel.page.ReportBody();
    const bool m10 = catalogue::Lookup(type).adaptation == catalogue::AdaptationFamily::M10;
    EXPECT_EQ(std::count(fuelBody.begin(), fuelBody.end(), '\t'), m10 ? 18 * 9 : 34 * 17);

    PageOn<KnockCellsPageStep> knock(type);
    Drive(knock.page, knock.page.StringGrid6(), type, 1, rng);
    const std::string knockBody = knock.page.ReportBody();
    const auto& g = knock.page.StringGrid6();
    EXPECT_EQ(std::count(knockBody.begin(), knockBody.end(), '\n'), g.RowCount() + 2);

    PageOn<MisfirePageStep> misfire(type);
    Drive(misfire.page, misfire.page.StringGrid5(), type, 2, rng);

    view::Form form{"TForm1"};
    std::string vin(19, ' ');
    TripPageStep trip(form, vin);
    trip.TypeApplied();
    Drive(trip, trip.StringGrid7(), type, 3, rng);
    EXPECT_EQ(vin.size(), 19u);
    EXPECT_EQ(vin.find('\0'), std::string::npos);
    // The record's texts are the controller's bytes, line ends included: only the frame of the
    // table is counted.
    const std::string tripBody = trip.ReportBody();
    EXPECT_GE(std::count(tripBody.begin(), tripBody.end(), '\t'), 2 * kTripRows);
    EXPECT_TRUE(tripBody.ends_with("\r\n"));
  }
}

}  // namespace
}  // namespace kd::adaptation::test
