#include "view/stale_marks.h"

#include <cstdio>

namespace kd::view {

std::string ClockText(const LocalTime& t) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.hour % 100, t.minute % 100, t.second % 100);
  return text;
}

void StaleMarks::Lost() {
  const std::string since = clock_ ? ClockText(clock_()) : std::string();
  for (Control* c : controls_) c->SetStale(true, since);
}

void StaleMarks::Refreshed() {
  for (Control* c : controls_) c->SetStale(false);
}

}  // namespace kd::view
