// The session trace (docs/trace.md) in both directions: the file the ticks are written to, which
// never gives up on a failed write, and the reader and player that run a recorded trace through
// the main window again, in the harness and in the program alike.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "link/serial_port.h"

namespace kd::ui {

class MainForm;

// Shown once when the trace stops being written, and once when it is written again.
inline constexpr const char* kTraceFailed = "Ошибка записи трассы.";
inline constexpr const char* kTraceWrittenAgain = "Трасса снова записывается.";

// Appends the trace's lines to its file. Each append opens the file again, so a folder removed
// and made again, or a disk that has room again, is written to at the next tick; lines that
// could not be written wait (up to a bound) and go out first. A failed append leaves the file as
// long as it was before it, so no torn line stays behind.
class TraceFile {
 public:
  static constexpr std::size_t kWaitingLimit = 1 << 20;

  explicit TraceFile(std::string path) : path_(std::move(path)) {}
  const std::string& Path() const { return path_; }
  // Whether the file can be appended to now (the start-up check).
  bool Writable() const;
  // True when the text and everything waiting went out.
  bool Append(const std::string& text);
  bool Failing() const { return failing_; }

 private:
  bool Flush();

  std::string path_;
  std::string waiting_;
  bool failing_ = false;
};

// One tick of a trace: "DATE TIME type N page NAME rx HEX… | tx HEX… | STATUS".
struct TraceTick {
  int line = 0;  // in the file, from 1
  std::uint32_t type = 0;
  std::string page;
  std::vector<std::uint8_t> rx;
  std::vector<std::uint8_t> tx;
};

// The tick a line records; nothing for lines that hold none (comments, port openings). A line
// that starts as a tick and breaks off puts the reason into `error`.
std::optional<TraceTick> ParseTraceLine(const std::string& line, int number, std::string& error);

// Puts the main window on the tick's type and page, as a user would: the type's tool button, the
// page's tab.
void ShowTraceTick(MainForm& form, const TraceTick& tick);
// Bytes as the trace and the harness print them: " XX" each, upper case.
std::string TraceHex(const std::vector<std::uint8_t>& bytes);
// The two lines a replayed tick whose write differs from the recorded one adds to a report.
void ReportDifferingWrite(std::ostream& out, int line, const std::vector<std::uint8_t>& written,
                          const std::vector<std::uint8_t>& recorded);

// The port of a replay: each read gives what the trace recorded for the tick, writes go nowhere
// but are kept for the comparison.
class ReplayPort : public link::SerialPort {
 public:
  void Queue(const std::vector<std::uint8_t>& bytes) { rx_.assign(bytes.begin(), bytes.end()); }
  std::vector<std::uint8_t> TakeWritten();

  bool Open(int) override { return open_ = true; }
  bool IsOpen() const override { return open_; }
  bool Close() override {
    open_ = false;
    return true;
  }
  bool ApplyLineSettings(const link::LineSettings&) override { return open_; }
  void SetReadTimeout(int) override {}
  void RaiseDtr() override {}
  void RaiseRts() override {}
  std::size_t Read(std::uint8_t* buffer, std::size_t maxBytes) override;
  link::WriteStatus Write(const std::uint8_t* data, std::size_t count) override;
  bool WaitPendingWrite(int) override { return true; }

 private:
  bool open_ = false;
  std::deque<std::uint8_t> rx_;
  std::vector<std::uint8_t> written_;
};

inline constexpr const char* kReplayEnded = "Воспроизведение окончено.";

// `klinediag --replay TRACE`: every firing of the main window's timer takes the next tick of the
// trace (its type, page and reads), runs the window's own tick on them and compares what it
// wrote with the record. The status line counts the lines; at the end the timer stops and the
// differing writes are reported as the harness's `replay` reports them, on `report`.
class TraceReplay {
 public:
  // False, with the reason in `error`, when the file cannot be read or holds a broken line.
  bool Load(const std::string& path, std::string& error);
  // Wraps the form's timer handler; the form must run on `port`.
  void Attach(MainForm& form, ReplayPort& port, std::ostream& report);

  bool Ended() const { return ended_; }
  int Ticks() const { return ticks_; }
  int Differing() const { return differing_; }

 private:
  void Step(MainForm& form, ReplayPort& port, std::ostream& report);
  void End(MainForm& form, std::ostream& report);

  std::vector<TraceTick> plan_;
  int lines_ = 0;
  std::size_t next_ = 0;
  int ticks_ = 0;
  int differing_ = 0;
  bool ended_ = false;
};

}  // namespace kd::ui
