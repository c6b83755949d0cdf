#include "obd/obd_tables.h"

#include <algorithm>
#include <string>

#include "faults/dtc_catalogue.h"
#include "text/number_format.h"

namespace kd::obd {

namespace {

// A unit of a single blank stands for none.
constexpr std::string_view kNoUnit = " ";

ObdPidRow Bit(std::int32_t id, std::string_view name, std::int32_t byte, std::int32_t bit) {
  ObdPidRow r;
  r.name = name;
  r.unit = kNoUnit;
  r.kind = 'B';
  r.identifier = id;
  r.byte = byte;
  r.bitOrDecimals = bit;
  return r;
}

ObdPidRow Hex(std::int32_t id, std::string_view name, std::int32_t byte) {
  ObdPidRow r;
  r.name = name;
  r.unit = kNoUnit;
  r.kind = 'H';
  r.identifier = id;
  r.byte = byte;
  return r;
}

ObdPidRow Count(std::int32_t id, std::string_view name, std::int32_t byte, float mask) {
  ObdPidRow r;
  r.name = name;
  r.unit = kNoUnit;
  r.kind = 'C';
  r.identifier = id;
  r.byte = byte;
  r.factor = mask;
  return r;
}

ObdPidRow Phys(std::int32_t id, std::string_view name, std::string_view unit, std::int32_t byte,
               std::int32_t width, std::int32_t decimals, float factor, float offset) {
  ObdPidRow r;
  r.name = name;
  r.unit = unit;
  r.kind = 'P';
  r.identifier = id;
  r.byte = byte;
  r.width = width;
  r.bitOrDecimals = decimals;
  r.factor = factor;
  r.offset = offset;
  return r;
}

// The fuel-trim and oxygen-sensor rows: a percentage of trim kept as a fraction around zero.
constexpr float kTrim = 0.00390625f;
constexpr float kO2Volts = 0.0048828125f;

// Rows shared by modes 01 and 02 from PID 03 on; `at` is the first data byte (5 or 6).
void AddCommonRows(ObdTable& t, std::int32_t at) {
  t.push_back(Bit(0x03, "Open loop.", at, 0));
  t.push_back(Bit(0x03, "Closed loop.", at, 1));
  t.push_back(Bit(0x03, "Open loop due.", at, 2));
  t.push_back(Bit(0x03, "Open loop due.", at, 3));
  t.push_back(Bit(0x03, "Closed loop, but fault.", at, 4));
  t.push_back(Phys(0x04, "Calculated load value", "%", at, 1, 0, 0.390625f, 0));
  t.push_back(Phys(0x05, "Т.ОХЛ.Ж°С", "Град.С", at, 1, 0, 1, -40));
  t.push_back(Phys(0x06, "КОР.ВР.ВП1", kNoUnit, at, 1, 2, kTrim, -0.5f));
  t.push_back(Phys(0x07, "КОР.ВР.ВП2", kNoUnit, at, 1, 2, kTrim, -0.5f));
  t.push_back(Phys(0x08, "КОР.ВР.ВП3", kNoUnit, at, 1, 2, kTrim, -0.5f));
  t.push_back(Phys(0x09, "КОР.ВР.ВП4", kNoUnit, at, 1, 2, kTrim, -0.5f));
  t.push_back(Phys(0x0A, "ДАВЛ.ВПР", "kPa", at, 1, 0, 3, 0));
  t.push_back(Phys(0x0B, "ДАВЛ.ВПУСКА", "kPa", at, 1, 0, 1, 0));
  t.push_back(Phys(0x0C, "ОБ.ДВ.,/мин", "Об/мин", at, 2, 1, 0.25f, 0));
  t.push_back(Phys(0x0D, "СК.АВТ,км/ч", "Км/Ч", at, 1, 0, 1, 0));
}

ObdTable BuildMode1() {
  ObdTable t;
  t.reserve(kMode1Rows);
  t.push_back(Hex(0x00, "PIDs supported", 5));
  t.push_back(Count(0x01, "КОЛ.ОШИБОК", 5, 127));
  t.push_back(Bit(0x01, "MIL  ON", 5, 7));
  t.push_back(Bit(0x01, "Misfire monit", 6, 0));
  t.push_back(Bit(0x01, "Fuel system mon", 6, 1));
  t.push_back(Bit(0x01, "Comp.component mon", 6, 2));
  t.push_back(Bit(0x01, "Catalyst monit", 7, 0));
  t.push_back(Bit(0x01, "Heated catalyst mon", 7, 1));
  t.push_back(Bit(0x01, "Evaporative system.", 7, 2));
  t.push_back(Bit(0x01, "Secondary air system", 7, 3));
  t.push_back(Bit(0x01, "A/C system refrigerant", 7, 4));
  t.push_back(Bit(0x01, "Oxygen sensor mon.", 7, 5));
  t.push_back(Bit(0x01, "Oxygen sensor heater.", 7, 6));
  t.push_back(Bit(0x01, "EGR system mon.", 7, 7));
  t.push_back(Bit(0x01, "Misfire monitoring.", 6, 4));
  t.push_back(Bit(0x01, "Fuel system monitoring.", 6, 5));
  t.push_back(Bit(0x01, "Comprehensive component.", 6, 6));
  t.push_back(Bit(0x01, "Catalyst monitoring stat", 8, 0));
  t.push_back(Bit(0x01, "Heated catalyst mon.", 8, 1));
  t.push_back(Bit(0x01, "Evaporative system mon.", 8, 2));
  t.push_back(Bit(0x01, "Secondary air system mon. ", 8, 3));
  t.push_back(Bit(0x01, "A/C system refrigerant", 8, 4));
  t.push_back(Bit(0x01, "Oxygen sensor monitoring. ", 8, 5));
  t.push_back(Bit(0x01, "Oxygen sensor heater mon. ", 8, 6));
  t.push_back(Bit(0x01, "EGR system monitoring.", 8, 7));
  AddCommonRows(t, 5);
  t.push_back(Phys(0x0E, "УОЗ, п.к.в.", "Град.п.к.в.", 5, 1, 1, 0.5f, 0));
  t.push_back(Phys(0x0F, "Т.ВОЗД.°С ", "Град.С", 5, 1, 0, 1, -40));
  t.push_back(Phys(0x10, "МАС.РВ,г/сек", "г/сек", 5, 2, 1, 0.01f, 0));
  t.push_back(Phys(0x11, "ПОЛ.ДР.З.%", "%", 5, 1, 0, 0.390625f, 0));
  t.push_back(Bit(0x12, "upstream", 5, 0));
  t.push_back(Bit(0x12, "downstream", 5, 1));
  t.push_back(Bit(0x12, "atmosphere", 5, 2));
  static constexpr std::string_view kSensors[] = {
      "Bank 1-Sensor 1", "Bank 1-Sensor 2", "Bank 1-Sensor 3", "Bank 1-Sensor 4",
      "Bank 2-Sensor 1", "Bank 2-Sensor 2", "Bank 2-Sensor 3", "Bank 2-Sensor 4"};
  for (std::int32_t i = 0; i < 8; ++i) t.push_back(Bit(0x13, kSensors[i], 5, i));
  static constexpr std::string_view kVolts[] = {"НАПР,Д.О2 11", "НАПР,Д.О2 12", "НАПР,Д.О2 13",
                                                "НАПР,Д.О2 14", "НАПР,Д.О2 21", "НАПР,Д.О2 22",
                                                "НАПР,Д.О2 23", "НАПР,Д.О2 24"};
  static constexpr std::string_view kTrims[] = {"КОР.ВР.ВП 11", "КОР.ВР.ВП 12", "КОР.ВР.ВП 13",
                                                "КОР.ВР.ВП 14", "КОР.ВР.ВП 21", "КОР.ВР.ВП 22",
                                                "КОР.ВР.ВП 23", "КОР.ВР.ВП 24"};
  for (std::int32_t i = 0; i < 8; ++i) {
    t.push_back(Phys(0x14 + i, kVolts[i], "Вольт", 5, 1, 2, kO2Volts, 0));
    t.push_back(Phys(0x14 + i, kTrims[i], kNoUnit, 6, 1, 2, kTrim, -0.5f));
  }
  t.push_back(Phys(0x1C, "vehicle is designed", kNoUnit, 5, 1, 0, 1, 0));
  t.push_back(Bit(0x1E, "PTO active", 5, 0));
  t.push_back(Hex(0x20, "PIDs supported", 5));
  return t;
}

ObdTable BuildMode2() {
  ObdTable t;
  t.reserve(kMode2Rows);
  t.push_back(Hex(0x00, "PIDs supported", 6));
  t.push_back(Hex(0x02, "TroubleCode", 6));
  AddCommonRows(t, 6);
  return t;
}

ObdTable BuildMode5() {
  ObdTable t;
  t.reserve(kMode5Rows);
  t.push_back(Hex(0x00, "TestIDs supported", 6));
  const struct {
    std::string_view name;
    float factor;
  } tests[] = {
      {"Rich to lean", 0.005f},    {"Lean to rich", 0.005f},      {"Low.time", 0.005f},
      {"High.time", 0.005f},       {"Rich to lean.time", 0.004f}, {"Lean to rich.time", 0.004f},
      {"Minimum voltage", 0.005f}, {"Maximum voltage", 0.005f},   {"Time transitions", 0.004f}};
  for (std::int32_t i = 0; i < 9; ++i)
    t.push_back(Phys(i + 1, tests[i].name, kNoUnit, 6, 1, 2, tests[i].factor, 0));
  return t;
}

// Table fields come from the tables and reply bytes from the line: neither indexes anything
// unchecked.
std::uint8_t ReplyByte(const link::ReplyCopy& reply, std::int32_t index) {
  return index < 0 ? 0 : link::At(reply, static_cast<std::size_t>(index));
}

std::string HexId(std::uint32_t id) {
  return text::Hex2(id);
}

std::string Formatted(float value, std::int32_t decimals) {
  return text::FormatNumber(static_cast<double>(value), text::DecimalsPattern(decimals));
}

}  // namespace

bool Marks(const SupportBitmap& bitmap, unsigned identifier) {
  if (identifier < 1 || identifier > 32) return false;
  const unsigned n = identifier - 1;
  return (bitmap[n / 8] >> (7 - n % 8)) & 1;
}

SupportBitmap BitmapAt(const link::ReplyCopy& reply, std::size_t from) {
  return {link::At(reply, from), link::At(reply, from + 1), link::At(reply, from + 2),
          link::At(reply, from + 3)};
}

void SetHeaders(view::Grid& grid, std::initializer_list<const char*> headers) {
  int col = 0;
  for (const char* h : headers) grid.SetCell(col++, 0, h);
}

ObdTable Mode1Table() {
  return BuildMode1();
}
ObdTable Mode2Table() {
  return BuildMode2();
}
ObdTable Mode5Table() {
  return BuildMode5();
}

void ListSupported(const SupportBitmap& bitmap, ObdTable& table, view::Grid& grid, Layout layout) {
  // A row that a new bitmap no longer lists keeps its active flag but loses its line, which now
  // belongs to another row: its values would stand beside that row's name. For the same reason a
  // line that changes rows starts without the value the previous one left in it; a row listed
  // again on its own line keeps its value.
  const auto listed = std::count_if(table.begin(), table.end(), [&](const ObdPidRow& row) {
    return row.identifier > 0 && Marks(bitmap, static_cast<unsigned>(row.identifier));
  });
  if (listed == 0) return;
  // The grid takes its final size at once: shrinking it row by row on the way would drop the
  // values of lines that the same rows take again.
  grid.SetSize(grid.ColCount(), static_cast<int>(listed) + 1);
  std::vector<std::int32_t> before;
  for (ObdPidRow& row : table) {
    before.push_back(row.gridLine);
    row.gridLine = 0;
  }
  int lines = 0;
  for (unsigned n = 1; n <= 32; ++n) {
    if (!Marks(bitmap, n)) continue;
    for (std::size_t i = 0; i < table.size(); ++i) {
      ObdPidRow& row = table[i];
      if (row.identifier != static_cast<std::int32_t>(n)) continue;
      ++lines;
      const bool moved = before[i] != lines;
      if (layout == Layout::Parameter) {
        grid.SetCell(3, lines, std::string(row.name));
        grid.SetCell(0, lines, HexId(n));
        // The first letter is a Latin capital A, as the window has always shown it.
        grid.SetCell(1, lines, "Aкт.");
        grid.SetCell(2, lines, "Вкл.");
        // Only the current-data grid has the unit column.
        grid.SetCell(5, lines, std::string(row.unit));
        if (moved) grid.SetCell(4, lines, {});
        row.active = 1;
        row.shown = 1;
      } else {
        grid.SetCell(1, lines, std::string(row.name));
        grid.SetCell(0, lines, HexId(n));
        if (moved)
          for (int col = 2; col < grid.ColCount(); ++col) grid.SetCell(col, lines, {});
      }
      row.gridLine = lines;
    }
  }
}

std::uint8_t NextSupportedId(const SupportBitmap& bitmap, std::uint8_t last, std::uint8_t mode,
                             std::uint8_t& sensor) {
  for (unsigned n = 1; n <= 32; ++n) {
    if (n <= last || !Marks(bitmap, n)) continue;
    if (n != 0x20) return static_cast<std::uint8_t>(n);
    break;
  }
  if (mode == 0x05) sensor = sensor == 1 ? 2 : 1;
  return 1;
}

void DecodeObdParams(const link::ReplyCopy& reply, std::uint8_t identifier, ObdTable& table,
                     view::Grid& grid) {
  for (ObdPidRow& row : table) {
    if (!row.active || row.identifier != identifier || row.gridLine <= 0) continue;
    std::string shown;
    switch (row.kind) {
      case 'B':
        row.bitState = (ReplyByte(reply, row.byte) >> (row.bitOrDecimals & 7)) & 1;
        shown = row.bitState ? "ДА" : "НЕТ";
        break;
      case 'C':
        row.value = static_cast<float>(ReplyByte(reply, row.byte) & static_cast<int>(row.factor));
        shown = Formatted(row.value, row.bitOrDecimals);
        break;
      case 'H':
        row.value =
            static_cast<float>(ReplyByte(reply, row.byte) * 256 + ReplyByte(reply, row.byte + 1));
        shown = text::Hex4(row.value);
        break;
      case 'P': {
        const int raw = row.width == 2
                            ? ReplyByte(reply, row.byte) * 256 + ReplyByte(reply, row.byte + 1)
                            : ReplyByte(reply, row.byte);
        row.value = static_cast<float>(raw) * row.factor + row.offset;
        shown = Formatted(row.value, row.bitOrDecimals);
        break;
      }
      default:
        shown = text::Hex4(row.value);
        break;
    }
    grid.SetCell(4, row.gridLine, std::move(shown));
  }
}

void DecodeO2Test(const link::ReplyCopy& reply, std::uint8_t identifier, std::uint8_t sensor,
                  ObdTable& table, view::Grid& grid) {
  // Format byte 84: the test value alone, without limits.
  const bool limits = link::At(reply, 0) != 0x84;
  for (ObdPidRow& row : table) {
    // A test never listed has no line of its own; line 0 is the header.
    if (row.identifier != identifier || row.gridLine <= 0) continue;
    if (row.kind == 'H') {
      row.value = static_cast<float>(ReplyByte(reply, 6) * 256 + ReplyByte(reply, 7));
      grid.SetCell(2, row.gridLine, text::Hex4(row.value));
    } else if (row.kind == 'P') {
      const auto scaled = [&](std::int32_t at) {
        return text::FormatNumber(
            static_cast<double>(static_cast<float>(ReplyByte(reply, at)) * row.factor + row.offset),
            "###0.##");
      };
      row.value = static_cast<float>(ReplyByte(reply, 6)) * row.factor + row.offset;
      const bool first = sensor == 1;
      grid.SetCell(first ? 2 : 3, row.gridLine, scaled(6));
      if (limits) {
        grid.SetCell(first ? 4 : 6, row.gridLine, scaled(7));
        grid.SetCell(first ? 5 : 7, row.gridLine, scaled(8));
      }
    }
  }
}

bool ShownCodes::Contains(std::uint32_t code) const {
  return std::find(codes.begin(), codes.begin() + std::min<std::size_t>(count, kCapacity), code) !=
         codes.begin() + std::min<std::size_t>(count, kCapacity);
}

bool ShownCodes::Add(std::uint32_t code) {
  if (count >= kCapacity) return false;
  codes[count++] = code;
  return true;
}

void ShowNewCodes(const link::ReplyCopy& reply, std::size_t from, int count, ShownCodes& shown,
                  view::Memo& memo) {
  for (int i = 0; i < count; ++i) {
    const std::size_t at = from + 2 * static_cast<std::size_t>(i);
    const std::uint32_t code = link::At(reply, at) * 256u + link::At(reply, at + 1);
    if (code == 0 || shown.Contains(code) || !shown.Add(code)) continue;
    for (const faults::DtcEntry* row : faults::FindObdDtcRows(code)) memo.Add(row->Utf8Text());
  }
}

}  // namespace kd::obd
