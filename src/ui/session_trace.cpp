#include "ui/session_trace.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "catalogue/ecu_catalogue.h"
#include "fileio/atomic_file.h"
#include "link/port.h"
#include "ui/main_form.h"

namespace kd::ui {

namespace {

std::optional<std::uint8_t> HexByte(const std::string& word) {
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  if (word.size() != 2 || digit(word[0]) < 0 || digit(word[1]) < 0) return std::nullopt;
  return static_cast<std::uint8_t>(digit(word[0]) * 16 + digit(word[1]));
}

}  // namespace

std::string TraceHex(const std::vector<std::uint8_t>& bytes) {
  std::string out;
  char buf[4];
  for (std::uint8_t b : bytes) {
    std::snprintf(buf, sizeof buf, " %02X", b);
    out += buf;
  }
  return out;
}

void ReportDifferingWrite(std::ostream& out, int line, const std::vector<std::uint8_t>& written,
                          const std::vector<std::uint8_t>& recorded) {
  out << "replay line " << line << ": tx" << TraceHex(written) << '\n'
      << "replay line " << line << ": recorded tx" << TraceHex(recorded) << '\n';
}

bool TraceFile::Writable() const {
  std::FILE* f = std::fopen(path_.c_str(), "ab");
  if (!f) return false;
  return std::fclose(f) == 0;
}

bool TraceFile::Append(const std::string& text) {
  waiting_ += text;
  // A trace that stays unwritable for long keeps its newest lines: those tell what the car did
  // when the disk came back.
  if (waiting_.size() > kWaitingLimit) {
    const auto cut = waiting_.find('\n', waiting_.size() - kWaitingLimit);
    waiting_.erase(0, cut == std::string::npos ? waiting_.size() - kWaitingLimit : cut + 1);
  }
  failing_ = !Flush();
  return !failing_;
}

bool TraceFile::Flush() {
  fileio::KeepRunningPastFileSizeLimit();
  std::FILE* f = std::fopen(path_.c_str(), "ab");
  if (!f) return false;
  std::error_code ec;
  const auto before = std::filesystem::file_size(path_, ec);
  const bool written =
      std::fwrite(waiting_.data(), 1, waiting_.size(), f) == waiting_.size() && std::fflush(f) == 0;
  const bool closed = std::fclose(f) == 0;
  if (written && closed) {
    waiting_.clear();
    return true;
  }
  // What went out of a failed append is cut off again; it is written whole with the next one.
  if (!ec) std::filesystem::resize_file(path_, before, ec);
  return false;
}

std::optional<TraceTick> ParseTraceLine(const std::string& line, int number, std::string& error) {
  std::istringstream words(line);
  std::string date, time, key;
  TraceTick tick;
  tick.line = number;
  if (!(words >> date >> time >> key) || key != "type") return std::nullopt;
  if (!(words >> tick.type >> key >> tick.page) || key != "page" || !(words >> key) ||
      key != "rx") {
    error = "malformed line " + std::to_string(number);
    return std::nullopt;
  }
  auto* into = &tick.rx;
  int bars = 0;
  for (std::string word; words >> word;) {
    // The link status follows the second bar; it is for the reader.
    if (word == "|" && ++bars == 2) break;
    if (word == "|") continue;
    if (word == "tx") {
      into = &tick.tx;
      continue;
    }
    const auto byte = HexByte(word);
    if (!byte) {
      error = "malformed byte: " + word;
      return std::nullopt;
    }
    into->push_back(*byte);
  }
  return tick;
}

void ShowTraceTick(MainForm& form, const TraceTick& tick) {
  if (form.EcuType() != tick.type && catalogue::IsKnownType(tick.type))
    if (auto* button =
            form.FindAs<view::Button>(std::string(catalogue::Lookup(tick.type).toolButton)))
      button->Click();
  if (const int page = form.PageControl1().IndexOf(tick.page); page >= 0)
    form.PageControl1().ClickTab(page);
}

std::vector<std::uint8_t> ReplayPort::TakeWritten() {
  std::vector<std::uint8_t> out;
  out.swap(written_);
  return out;
}

std::size_t ReplayPort::Read(std::uint8_t* buffer, std::size_t maxBytes) {
  std::size_t n = 0;
  while (n < maxBytes && !rx_.empty()) {
    buffer[n++] = rx_.front();
    rx_.pop_front();
  }
  return n;
}

link::WriteStatus ReplayPort::Write(const std::uint8_t* data, std::size_t count) {
  if (!open_) return link::WriteStatus::Failed;
  written_.insert(written_.end(), data, data + count);
  return link::WriteStatus::Written;
}

bool TraceReplay::Load(const std::string& path, std::string& error) {
  std::ifstream in(path);
  if (!in) {
    error = "cannot read " + path;
    return false;
  }
  plan_.clear();
  lines_ = 0;
  for (std::string line; std::getline(in, line);) {
    ++lines_;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string problem;
    if (auto tick = ParseTraceLine(line, lines_, problem))
      plan_.push_back(std::move(*tick));
    else if (!problem.empty()) {
      error = path + ": " + problem;
      return false;
    }
  }
  return true;
}

void TraceReplay::Attach(MainForm& form, ReplayPort& port, std::ostream& report) {
  auto tick = form.Timer1().OnTimer;
  form.Timer1().OnTimer = [this, &form, &port, &report, tick] {
    if (ended_) return;
    if (next_ >= plan_.size()) return End(form, report);
    const TraceTick& t = plan_[next_++];
    ShowTraceTick(form, t);
    port.Queue(t.rx);
    port.TakeWritten();
    if (tick) tick();
    const auto written = port.TakeWritten();
    ++ticks_;
    if (written != t.tx) {
      ++differing_;
      ReportDifferingWrite(report, t.line, written, t.tx);
    }
    form.StatusBar1().SetText(
        link::kMessagePanel,
        "Воспроизведение: строка " + std::to_string(t.line) + " из " + std::to_string(lines_));
    if (next_ >= plan_.size()) End(form, report);
  };
}

void TraceReplay::End(MainForm& form, std::ostream& report) {
  ended_ = true;
  form.Timer1().SetEnabled(false);
  form.StatusBar1().SetText(link::kMessagePanel, kReplayEnded);
  report << "replay " << ticks_ << " ticks, " << differing_ << " differ\n";
  report.flush();
  form.Host().MessageBox("Воспроизведение",
                         std::string(kReplayEnded) + " Тактов: " + std::to_string(ticks_) +
                             ", записей не как в трассе: " + std::to_string(differing_) + ".",
                         view::MessageIcon::Information);
}

}  // namespace kd::ui
