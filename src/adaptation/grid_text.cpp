#include "adaptation/grid_text.h"

#include "text/cp1251.h"

namespace kd::adaptation {

void AppendGridRows(std::string& out, const view::Grid& grid, int rows, int cols) {
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) {
      out += text::Utf8ToCp1251(grid.Cell(c, r));
      out += '\t';
    }
    out += "\r\n";
  }
}

void ClearValues(view::Grid& grid) {
  for (int r = 1; r < grid.RowCount(); ++r)
    for (int c = 1; c < grid.ColCount(); ++c) grid.SetCell(c, r, {});
}

}  // namespace kd::adaptation
