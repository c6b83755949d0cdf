// When each recorded frame arrived. The recording's files keep no time of their own (other tools
// read them as they are), so the times live beside the frames: the wall-clock start of the
// recording and, per stored frame, the milliseconds since then, read from the program's clock.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "view/host.h"

namespace kd::livedata {

// Milliseconds of a local date-time counted from 1970-01-01 00:00:00.000 of the same clock: a
// plain calendar count, so the difference of two readings is their distance whatever the zone.
std::int64_t MillisecondsOf(const view::LocalTime& t);
// The date-time `ms` milliseconds after 1970-01-01 00:00:00.000, the inverse of MillisecondsOf.
view::LocalTime LocalTimeAt(std::int64_t ms);
// ISO 8601 without a zone, to the millisecond: "2024-01-01T12:00:00.300".
std::string IsoDateTime(const view::LocalTime& t);

class FrameTimes {
 public:
  // A new recording starts at `now`, with no frames.
  void Start(const view::LocalTime& now);
  // A frame was stored at `now`. A clock set back gives 0 rather than a time before the start.
  void Stamp(const view::LocalTime& now);

  const view::LocalTime& StartTime() const { return start_; }
  std::size_t Count() const { return ms_.size(); }
  // Milliseconds since the start of frame `index`; a frame without a stamp of its own (none
  // should exist) is taken as one tick of 300 ms after the one before.
  std::int64_t SinceStart(std::size_t index) const;
  // The wall-clock time of frame `index`.
  view::LocalTime At(std::size_t index) const;

 private:
  view::LocalTime start_;
  std::int64_t startMs_ = MillisecondsOf(view::LocalTime{});
  std::vector<std::int64_t> ms_;
};

}  // namespace kd::livedata
