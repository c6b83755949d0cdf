// The recording as a CSV file for spreadsheets: one row per stored frame with its date-time and
// its seconds since the start, then the shown parameters decoded as the data file decodes them.
// Written the way a Russian spreadsheet opens it directly: UTF-8 with a byte-order mark, ";"
// between fields, "," as the decimal separator, quotes per RFC 4180, rows ended by CR LF.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "catalogue/param_record.h"
#include "livedata/frame_times.h"
#include "livedata/recording.h"

namespace kd::livedata {

inline constexpr char kCsvSeparator = ';';
inline constexpr std::string_view kCsvBom = "\xEF\xBB\xBF";
inline constexpr const char* kCsvDateHeading = "Дата и время";
inline constexpr const char* kCsvSecondsHeading = "Время, с";

// A field as it stands in the file: quoted, with its quotes doubled, when it holds the
// separator, a quote, CR or LF, or starts or ends with a space a spreadsheet would trim.
std::string CsvField(std::string_view utf8);

// "12,345": a number of a parameter with `decimals`, as the data file rounds it, with the comma.
std::string CsvNumber(double value, std::int32_t decimals);

// The whole file. Decoding leaves the last frame's values in the records, as the data file's
// writer does.
std::string CsvFile(std::uint32_t ecuType, std::span<catalogue::ParamRecord> params,
                    const RecordBuffer& record, const FrameTimes& times);

}  // namespace kd::livedata
