// What the adaptation pages share: reading the controller's little-endian numbers out of a reply
// without trusting its length, and writing a grid into a report.
#pragma once

#include <cstdint>
#include <string>

#include "link/exchange_buffer.h"
#include "view/controls.h"

namespace kd::adaptation {

inline constexpr const char* kNotSupported = "Не поддерживается.";
inline constexpr const char* kSaveCaption = "Сохранить данные";

inline std::uint32_t Word16(const link::ReplyCopy& reply, std::size_t at) {
  return link::At(reply, at) | static_cast<std::uint32_t>(link::At(reply, at + 1)) << 8;
}
inline std::uint32_t Word32(const link::ReplyCopy& reply, std::size_t at) {
  return Word16(reply, at) | Word16(reply, at + 2) << 16;
}

// Windows-1251 rows of the grid's first `rows` rows and `cols` columns: every cell followed by a
// tab, every row by CR LF. Cells outside the grid are written empty.
void AppendGridRows(std::string& out, const view::Grid& grid, int rows, int cols);

// Empties the cells right of column 0 and below row 0: what a controller of another type
// reported is no value of this one.
void ClearValues(view::Grid& grid);

}  // namespace kd::adaptation
