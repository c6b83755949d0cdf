#include "livedata/frame_times.h"

#include <algorithm>
#include <cstdio>

namespace kd::livedata {

namespace {

constexpr std::int64_t kTickMs = 300;
constexpr std::int64_t kDayMs = 24LL * 3600 * 1000;

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's days_from_civil).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2));
}

}  // namespace

std::int64_t MillisecondsOf(const view::LocalTime& t) {
  const unsigned month = static_cast<unsigned>(std::clamp(t.month, 1, 12));
  const unsigned day = static_cast<unsigned>(std::clamp(t.day, 1, 31));
  const std::int64_t year = std::clamp(t.year, -100000, 100000);
  return DaysFromCivil(year, month, day) * kDayMs +
         ((static_cast<std::int64_t>(t.hour) * 60 + t.minute) * 60 + t.second) * 1000 +
         t.millisecond;
}

view::LocalTime LocalTimeAt(std::int64_t ms) {
  std::int64_t days = ms / kDayMs;
  std::int64_t rest = ms % kDayMs;
  if (rest < 0) {
    rest += kDayMs;
    --days;
  }
  view::LocalTime t;
  CivilFromDays(days, t.year, t.month, t.day);
  t.millisecond = static_cast<int>(rest % 1000);
  rest /= 1000;
  t.second = static_cast<int>(rest % 60);
  rest /= 60;
  t.minute = static_cast<int>(rest % 60);
  t.hour = static_cast<int>(rest / 60);
  return t;
}

std::string IsoDateTime(const view::LocalTime& t) {
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", t.year, t.month, t.day,
                t.hour, t.minute, t.second, t.millisecond);
  return text;
}

void FrameTimes::Start(const view::LocalTime& now) {
  start_ = now;
  startMs_ = MillisecondsOf(now);
  ms_.clear();
}

void FrameTimes::Stamp(const view::LocalTime& now) {
  ms_.push_back(std::max<std::int64_t>(0, MillisecondsOf(now) - startMs_));
}

std::int64_t FrameTimes::SinceStart(std::size_t index) const {
  if (index < ms_.size()) return ms_[index];
  const std::int64_t last = ms_.empty() ? -kTickMs : ms_.back();
  const std::int64_t missing = static_cast<std::int64_t>(index - ms_.size()) + 1;
  return std::max<std::int64_t>(0, last + missing * kTickMs);
}

view::LocalTime FrameTimes::At(std::size_t index) const {
  return LocalTimeAt(startMs_ + SinceStart(index));
}

}  // namespace kd::livedata
