#include "livedata/recording_file.h"

#include <charconv>

#include "text/cp1251.h"

namespace kd::livedata {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kDatTitle = "Параметры контроллера.";
constexpr std::size_t kMaxNumberText = 40;

std::string StoppedAt(std::size_t line, const std::string& reason) {
  return "Чтение остановлено на строке " + std::to_string(line) + ": " + reason + ".";
}

std::string Trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return std::string(s);
}

// Decimal text with a point or a comma, an optional minus and nothing else.
std::optional<double> Decimal(std::string_view s) {
  if (s.empty() || s.size() > kMaxNumberText) return std::nullopt;
  std::string plain(s);
  std::size_t digits = 0, points = 0;
  for (std::size_t i = 0; i < plain.size(); ++i) {
    char& c = plain[i];
    if (c >= '0' && c <= '9')
      ++digits;
    else if (c == '.' || c == ',') {
      c = '.';
      ++points;
    } else if (!(c == '-' && i == 0)) {
      return std::nullopt;
    }
  }
  if (digits == 0 || points > 1) return std::nullopt;
  double value = 0;
  const auto [end, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
  if (ec != std::errc() || end != plain.data() + plain.size()) return std::nullopt;
  return value;
}

// Lines with their ends: `ended` is false for a last line that stops without one.
struct Line {
  std::string_view text;
  bool ended;
};

std::vector<Line> SplitLines(std::string_view s) {
  std::vector<Line> lines;
  while (!s.empty()) {
    const auto lf = s.find('\n');
    if (lf == std::string_view::npos) {
      lines.push_back({s, false});
      break;
    }
    std::string_view line = s.substr(0, lf);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back({line, true});
    s.remove_prefix(lf + 1);
  }
  return lines;
}

std::vector<std::string_view> Fields(std::string_view line, char separator) {
  std::vector<std::string_view> out;
  for (;;) {
    const auto at = line.find(separator);
    out.push_back(line.substr(0, at));
    if (at == std::string_view::npos) break;
    line.remove_prefix(at + 1);
  }
  return out;
}

RecordingFile ReadDat(std::string_view bytes) {
  RecordingFile file;
  file.kind = RecordingFile::Kind::Dat;
  const std::string utf8 = text::Cp1251ToUtf8(bytes);
  const std::vector<Line> lines = SplitLines(utf8);
  std::size_t at = 0;
  while (at < lines.size() && Trimmed(lines[at].text) != kDatTitle) ++at;
  if (at == lines.size()) {
    file.problem = "Это не запись данных: в файле нет строки «" + std::string(kDatTitle) + "».";
    return file;
  }
  ++at;
  if (at == lines.size()) return file;
  // The names, each followed by a tab.
  {
    const Line& names = lines[at];
    if (!names.ended) {
      file.problem = StoppedAt(at + 1, "строка названий оборвана");
      return file;
    }
    auto fields = Fields(names.text, '\t');
    if (!fields.empty() && fields.back().empty()) fields.pop_back();
    if (fields.size() > kMaxRecordingColumns) {
      file.problem = StoppedAt(at + 1, "слишком много параметров");
      return file;
    }
    for (std::string_view name : fields) file.columns.push_back({Trimmed(name), {}});
    ++at;
  }
  const std::size_t count = file.columns.size();
  for (; at < lines.size(); ++at) {
    const Line& line = lines[at];
    if (!line.ended) {
      file.problem = StoppedAt(at + 1, "строка оборвана");
      return file;
    }
    auto fields = Fields(line.text, '\t');
    // Every value is followed by a tab, so a whole line ends with an empty piece.
    const bool whole =
        count == 0 ? line.text.empty() : fields.size() == count + 1 && fields.back().empty();
    if (!whole) {
      // A blank line at the very end is what some editors leave; it holds nothing to show.
      if (line.text.empty() && at + 1 == lines.size()) break;
      const std::size_t values =
          line.text.empty() ? 0 : fields.size() - (fields.back().empty() ? 1 : 0);
      file.problem = StoppedAt(at + 1, "в строке " + std::to_string(values) + " значений вместо " +
                                           std::to_string(count));
      return file;
    }
    if (file.rows.size() == kMaxRecordingRows ||
        (file.rows.size() + 1) * (count + 1) > kMaxRecordingCells) {
      file.problem = StoppedAt(at + 1, "кадров больше, чем окно показывает");
      return file;
    }
    RecordingRow row;
    row.seconds = static_cast<double>(file.rows.size()) * kDatFrameSeconds;
    for (std::size_t i = 0; i < count; ++i) row.texts.push_back(Trimmed(fields[i]));
    file.rows.push_back(std::move(row));
  }
  return file;
}

// One record of the CSV file, RFC 4180 with ";" between the fields.
struct CsvRecord {
  std::vector<std::string> fields;
  std::size_t line = 0;  // where it starts, from 1
  bool ended = false;    // closed by a line end
  bool unclosedQuote = false;
};

class CsvReader {
 public:
  explicit CsvReader(std::string_view s) : s_(s) {}
  bool AtEnd() const { return at_ >= s_.size(); }

  CsvRecord Next() {
    CsvRecord r;
    r.line = line_;
    std::string field;
    bool quoted = false, inQuotes = false;
    while (at_ < s_.size()) {
      const char c = s_[at_++];
      if (inQuotes) {
        if (c == '"') {
          if (at_ < s_.size() && s_[at_] == '"') {
            field += '"';
            ++at_;
          } else {
            inQuotes = false;
          }
        } else {
          if (c == '\n') ++line_;
          field += c;
        }
        continue;
      }
      if (c == '"' && !quoted && field.empty()) {
        quoted = inQuotes = true;
      } else if (c == ';') {
        r.fields.push_back(std::move(field));
        field.clear();
        quoted = false;
      } else if (c == '\r' && at_ < s_.size() && s_[at_] == '\n') {
        // CR LF ends the record; the LF is taken below.
      } else if (c == '\n') {
        ++line_;
        r.ended = true;
        break;
      } else {
        field += c;
      }
    }
    r.unclosedQuote = inQuotes;
    r.fields.push_back(std::move(field));
    return r;
  }

 private:
  std::string_view s_;
  std::size_t at_ = 0;
  std::size_t line_ = 1;
};

RecordingFile ReadCsv(std::string_view s) {
  RecordingFile file;
  file.kind = RecordingFile::Kind::Csv;
  CsvReader reader(s);
  const CsvRecord head = reader.Next();
  if (!head.ended || head.unclosedQuote || head.fields.size() < 2) {
    file.problem = StoppedAt(1, "нет строки заголовков");
    return file;
  }
  if (head.fields.size() - 2 > kMaxRecordingColumns) {
    file.problem = StoppedAt(1, "слишком много параметров");
    return file;
  }
  for (std::size_t i = 2; i < head.fields.size(); ++i) {
    const std::string& heading = head.fields[i];
    const auto comma = heading.rfind(", ");
    if (comma == std::string::npos)
      file.columns.push_back({Trimmed(heading), {}});
    else
      file.columns.push_back(
          {Trimmed(heading.substr(0, comma)), Trimmed(heading.substr(comma + 2))});
  }
  double last = 0;
  while (!reader.AtEnd()) {
    const CsvRecord r = reader.Next();
    if (r.unclosedQuote) {
      file.problem = StoppedAt(r.line, "кавычки не закрыты");
      return file;
    }
    if (!r.ended) {
      file.problem = StoppedAt(r.line, "строка оборвана");
      return file;
    }
    if (r.fields.size() == 1 && r.fields[0].empty() && reader.AtEnd()) break;
    if (r.fields.size() != head.fields.size()) {
      file.problem = StoppedAt(r.line, "в строке " + std::to_string(r.fields.size()) +
                                           " полей вместо " + std::to_string(head.fields.size()));
      return file;
    }
    const auto seconds = Decimal(r.fields[1]);
    if (!seconds || *seconds < 0 || *seconds < last) {
      file.problem = StoppedAt(r.line, "время «" + r.fields[1] + "» не следует за предыдущим");
      return file;
    }
    if (file.rows.size() == kMaxRecordingRows ||
        (file.rows.size() + 1) * head.fields.size() > kMaxRecordingCells) {
      file.problem = StoppedAt(r.line, "кадров больше, чем окно показывает");
      return file;
    }
    last = *seconds;
    RecordingRow row;
    row.seconds = *seconds;
    row.dateTime = r.fields[0];
    row.texts.assign(r.fields.begin() + 2, r.fields.end());
    file.rows.push_back(std::move(row));
  }
  return file;
}

}  // namespace

std::optional<double> RecordingValue(std::string_view text) {
  if (text == "ДА") return 1.0;
  if (text == "НЕТ") return 0.0;
  return Decimal(text);
}

RecordingFile ReadRecording(std::string_view bytes) {
  if (bytes.substr(0, kBom.size()) == kBom) return ReadCsv(bytes.substr(kBom.size()));
  // A spreadsheet that saved the file again may have dropped the mark.
  if (bytes.starts_with("Дата и время;")) return ReadCsv(bytes);
  return ReadDat(bytes);
}

}  // namespace kd::livedata
