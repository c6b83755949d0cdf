// The generic OBD parameter tables (ISO 15031-5 modes 01, 02 and 05) and the routines both OBD
// windows share: the supported-identifier bitmap turned into grid rows, the next identifier to
// ask for, and a reply decoded into grid text. Nothing here knows how the bytes travel: the
// inputs are reply bytes counted from the reply's format byte, the outputs grid texts and the
// identifier of the next request.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>
#include <vector>

#include "link/exchange_buffer.h"
#include "view/controls.h"

namespace kd::obd {

// The four bytes a reply to identifier 00 carries: identifier n (1..32) is byte (n-1)/8,
// bit 7-(n-1)%8.
using SupportBitmap = std::array<std::uint8_t, 4>;

bool Marks(const SupportBitmap& bitmap, unsigned identifier);
// The bitmap that stands in a reply from byte `from` on.
SupportBitmap BitmapAt(const link::ReplyCopy& reply, std::size_t from);

// Row 0 of a window's grid: its column headings, left to right.
void SetHeaders(view::Grid& grid, std::initializer_list<const char*> headers);

// One row of a parameter table. The first fields are the table's own; the last ones are what a
// window learns at run time and keeps for the life of the program.
struct ObdPidRow {
  // Names as they stand on screen, in UTF-8 (a name that fills its 25 bytes shows the unit's
  // blank behind it).
  std::string_view name;
  std::string_view unit;
  char kind = 'P';  // 'B' bit, 'C' masked count, 'H' raw 16-bit value in hex, 'P' physical value
  std::int32_t width = 1;  // 'P': 2 reads two bytes, high byte first
  float factor = 0;        // 'P': multiplier; 'C': the mask
  float offset = 0;
  std::int32_t gridLine = 0;
  std::int32_t identifier = 0;
  std::int32_t byte = 0;
  std::int32_t bitOrDecimals = 0;
  float value = 0;
  std::uint8_t bitState = 0;
  std::uint8_t active = 0;
  std::uint8_t shown = 0;
};

using ObdTable = std::vector<ObdPidRow>;

inline constexpr std::size_t kMode1Rows = 74;
inline constexpr std::size_t kMode2Rows = 17;
inline constexpr std::size_t kMode5Rows = 10;

// Fresh copies with their run-time fields at zero: each window keeps its own for the program's
// life.
ObdTable Mode1Table();
ObdTable Mode2Table();
ObdTable Mode5Table();

enum class Layout { Parameter, Test };

// Lists the rows of every identifier the bitmap marks, from grid line 1. A bitmap that lists no
// row leaves the grid as it was; otherwise rows it does not list lose their line (they stay
// active, but show nowhere until listed again).
void ListSupported(const SupportBitmap& bitmap, ObdTable& table, view::Grid& grid, Layout layout);

// The identifier to ask for after `last`: the next one the bitmap marks, or 1 when there is none
// or the one found is 20 (the flag of the next range, which is never asked for). On mode 05 the
// wrap also switches the oxygen sensor between 1 and 2.
std::uint8_t NextSupportedId(const SupportBitmap& bitmap, std::uint8_t last, std::uint8_t mode,
                             std::uint8_t& sensor);

// Mode 01 and 02 replies: every active row of the identifier that has a line gets its text in
// column 4.
void DecodeObdParams(const link::ReplyCopy& reply, std::uint8_t identifier, ObdTable& table,
                     view::Grid& grid);

// Mode 05 replies: the test value in the sensor's column ("Sensor 1" 2, "Sensor 2" 3); unless the
// reply carries no limits (format byte 84), the minimum and maximum in columns 4 and 5 for
// sensor 1 and 6 and 7 for sensor 2.
void DecodeO2Test(const link::ReplyCopy& reply, std::uint8_t identifier, std::uint8_t sensor,
                  ObdTable& table, view::Grid& grid);

// The codes a page has shown already, so that each code's text is added once.
struct ShownCodes {
  static constexpr std::size_t kCapacity = 20;
  std::array<std::uint32_t, kCapacity> codes{};
  std::uint32_t count = 0;

  bool Contains(std::uint32_t code) const;
  // False when the list is full: the code is then neither remembered nor shown.
  bool Add(std::uint32_t code);
  void Clear() { *this = ShownCodes{}; }
};

// Reads `count` codes (two bytes each, high byte first) from reply byte `from` on and adds the
// M10 catalogue text of every new one to `memo`. A code without a catalogue row is remembered but
// shows nothing.
void ShowNewCodes(const link::ReplyCopy& reply, std::size_t from, int count, ShownCodes& shown,
                  view::Memo& memo);

}  // namespace kd::obd
