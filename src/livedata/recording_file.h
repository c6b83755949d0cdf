// Reading a recording back for the viewer: a data file (".dat") as this program writes it, or one
// of its CSV exports. Whatever the file holds, it is read as far as it is sound; where reading
// stopped is said in `problem`, and what came before stays usable.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kd::livedata {

// A data file has no times: its frames were taken one tick apart.
inline constexpr double kDatFrameSeconds = 0.3;
// More frames than the largest recording holds many times over would only make the window slow.
inline constexpr std::size_t kMaxRecordingRows = 200000;
inline constexpr std::size_t kMaxRecordingColumns = 400;
// Cells of the frame table, for a file of many columns.
inline constexpr std::size_t kMaxRecordingCells = 2000000;

struct RecordingColumn {
  std::string name;  // UTF-8
  std::string unit;  // empty when the file names none (data files never do)
};

struct RecordingRow {
  double seconds = 0;
  std::string dateTime;            // empty in a data file
  std::vector<std::string> texts;  // one per column, as the file writes them
};

struct RecordingFile {
  enum class Kind { Dat, Csv };
  Kind kind = Kind::Dat;
  std::vector<RecordingColumn> columns;
  std::vector<RecordingRow> rows;
  // Empty when the whole file was read; otherwise what stopped the reading, and where.
  std::string problem;
};

RecordingFile ReadRecording(std::string_view bytes);

// The number a value text stands for: "ДА" 1, "НЕТ" 0, decimals with a point or a comma.
// Nothing for any other text (the four hexadecimal digits of a code, garbage).
std::optional<double> RecordingValue(std::string_view text);

}  // namespace kd::livedata
