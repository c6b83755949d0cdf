// What the generic OBD windows keep for the life of the program, across closing and opening them
// again: the supported-identifier bitmaps, the tables' run-time fields, the freeze-frame (and
// oxygen-sensor) number and the pending clear. The main window owns one of each and hands it to
// every window it opens.
#pragma once

#include <cstdint>

#include "obd/obd_tables.h"

namespace kd::obd {

struct EobdShared {
  SupportBitmap mode1Bitmap{};
  SupportBitmap mode2Bitmap{};
  SupportBitmap mode5Bitmap{};
  ObdTable mode1 = Mode1Table();
  ObdTable mode2 = Mode2Table();
  ObdTable mode5 = Mode5Table();
  // The freeze frame asked for in mode 02 and, on the mode 05 page, the oxygen sensor: one number
  // serves both, so a visit to either page moves it for the other.
  std::uint8_t frameNumber = 0;
  std::uint32_t clearRequest = 0;
};

struct Iso9141Shared {
  SupportBitmap mode1Bitmap{};
  SupportBitmap mode2Bitmap{};
  ObdTable mode1 = Mode1Table();
  ObdTable mode2 = Mode2Table();
  // Nothing changes it: mode 02 always asks for frame 0.
  std::uint8_t frameNumber = 0;
  std::uint32_t clearRequest = 0;
};

}  // namespace kd::obd
