// The times beside the recorded frames: calendar arithmetic across month, year and leap-day
// ends, ISO 8601 text, and stamps that never lie before the start.
#include "livedata/frame_times.h"

#include <gtest/gtest.h>

namespace kd::livedata {
namespace {

view::LocalTime At(int y, int mo, int d, int h, int mi, int s, int ms) {
  return {y, mo, d, h, mi, s, ms};
}

TEST(FrameTimesTest, CalendarCountsAcrossMonthYearAndLeapDay) {
  EXPECT_EQ(MillisecondsOf(At(1970, 1, 1, 0, 0, 0, 0)), 0);
  EXPECT_EQ(MillisecondsOf(At(2024, 1, 1, 0, 0, 0, 0)), 1704067200000LL);
  // 2024 is a leap year, 2100 is not, 2000 is.
  EXPECT_EQ(
      MillisecondsOf(At(2024, 3, 1, 0, 0, 0, 0)) - MillisecondsOf(At(2024, 2, 28, 0, 0, 0, 0)),
      2 * 86400000LL);
  EXPECT_EQ(
      MillisecondsOf(At(2100, 3, 1, 0, 0, 0, 0)) - MillisecondsOf(At(2100, 2, 28, 0, 0, 0, 0)),
      86400000LL);
  EXPECT_EQ(
      MillisecondsOf(At(2000, 3, 1, 0, 0, 0, 0)) - MillisecondsOf(At(2000, 2, 28, 0, 0, 0, 0)),
      2 * 86400000LL);
  EXPECT_EQ(MillisecondsOf(At(2025, 1, 1, 0, 0, 0, 0)) -
                MillisecondsOf(At(2024, 12, 31, 23, 59, 59, 700)),
            300);
  for (const auto& t : {At(2024, 2, 29, 23, 59, 59, 999), At(1999, 12, 31, 0, 0, 0, 1),
                        At(2038, 1, 19, 3, 14, 8, 250), At(1969, 12, 31, 23, 59, 59, 999)}) {
    const view::LocalTime back = LocalTimeAt(MillisecondsOf(t));
    EXPECT_EQ(IsoDateTime(back), IsoDateTime(t));
  }
  EXPECT_EQ(IsoDateTime(At(2024, 3, 5, 9, 7, 0, 30)), "2024-03-05T09:07:00.030");
}

TEST(FrameTimesTest, StampsCountFromTheStartAndNeverGoBack) {
  FrameTimes times;
  times.Start(At(2024, 12, 31, 23, 59, 59, 900));
  times.Stamp(At(2024, 12, 31, 23, 59, 59, 900));
  times.Stamp(At(2025, 1, 1, 0, 0, 0, 200));
  times.Stamp(At(2024, 12, 31, 23, 0, 0, 0));  // the clock was set back
  ASSERT_EQ(times.Count(), 3u);
  EXPECT_EQ(times.SinceStart(0), 0);
  EXPECT_EQ(times.SinceStart(1), 300);
  EXPECT_EQ(times.SinceStart(2), 0);
  EXPECT_EQ(IsoDateTime(times.At(1)), "2025-01-01T00:00:00.200");
  // A frame without a stamp of its own is a tick after the last stamped one.
  EXPECT_EQ(times.SinceStart(4), 600);
  times.Start(At(2024, 1, 1, 12, 0, 0, 0));
  EXPECT_EQ(times.Count(), 0u);
  EXPECT_EQ(times.SinceStart(0), 0);
  EXPECT_EQ(times.SinceStart(2), 600);
}

}  // namespace
}  // namespace kd::livedata
