// klinediag-script: drives the main window exactly as the program starts it, on a scripted port
// and a fixed clock, one command a line, and prints what a technician would see.
#pragma once

#include <istream>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "harness/scripted_port.h"
#include "link/adapter.h"
#include "link/serial_port.h"
#include "sim/elm327_sim.h"
#include "ui/port_devices.h"
#include "ui/session_trace.h"
#include "view/form.h"
#include "view/host.h"

namespace kd::ui {
class MainForm;
}

namespace kd::harness {

struct RunOptions {
  // Run against the in-process simulator instead of the scripted port.
  bool demo = false;
  // Append the session trace here.
  std::string tracePath;
  // Run the program's own replay of this trace: the port gives the recorded reads, tick by tick.
  std::string replayPath;
  // The driver between the program and the scripted port (or the simulator).
  link::AdapterKind adapter = link::AdapterKind::KLineAdapter;
  // Whether --adapter named it; otherwise the kind kept in the program's settings holds.
  bool adapterGiven = false;
  // With --demo and the ELM327: the simulated chip is a v1.5 clone.
  bool elmClone = false;
  // With --demo and the ELM327: the car's generic OBD side answers only on this bus.
  sim::ObdBus obdBus = sim::ObdBus::KLine;
};

class ScriptRunner : public view::Host {
 public:
  ScriptRunner(std::istream& in, std::ostream& out, RunOptions options = {});
  ~ScriptRunner() override;

  // Runs the script to its end; returns the process exit status (0, or 2 after an error).
  int Run();

  // view::Host
  void ShowModal(view::Form& form) override;
  std::optional<std::string> OpenFileDialog(const view::FileDialogRequest& request) override;
  std::optional<std::string> SaveFileDialog(const view::FileDialogRequest& request) override;
  std::optional<view::FontChoice> FontDialog(const view::FontChoice& current) override;
  void MessageBox(const std::string& caption, const std::string& text, view::MessageIcon icon) override;
  view::LocalTime Now() override { return clock_; }
  // Prints `file PATH written`, the path relative to the folder the harness started in.
  void FileWritten(const std::string& path) override;
  void ShowHelp(const std::string& section) override;
  void Print(const view::PrintDocument& document) override;
  void PrintSetup() override;

 private:
  struct Answer {
    enum Kind { File, Ok, Cancel } kind;
    std::string path;
  };

  // Reads and runs commands until `until` is no longer on the stack or the input ends.
  void Loop(const view::Form* until);
  void StartOnce();
  // Makes the main window on the port and wires it to the harness (and the simulator).
  void CreateMain();
  void Restart();
  void Execute(const std::string& line);
  void Tick(int count);
  void CloseTop();
  void Replay(const std::string& path);
  void Show(const std::string& name);
  void ShowPoints(const std::string& name);
  // A file dialog's set-up, printed while `verbose on`; then the queued answer.
  std::optional<std::string> FileDialog(const char* kind, const view::FileDialogRequest& request);
  // The file's size and its bytes, 16 a line; at most `limit` of them.
  void ShowFile(const std::string& path, std::size_t limit);
  // A text file line by line (UTF-8 as it stands), each line with its end escaped.
  void ShowText(const std::string& path);
  view::Form& Top() const { return *stack_.back(); }
  view::Control& Control(const std::string& name) const;
  // A control of the form on top, or FORM.NAME: control NAME of any open form.
  view::Control& Shown(const std::string& name) const;
  std::optional<Answer> TakeAnswer();
  [[noreturn]] void Fail(const std::string& reason) const;

  std::istream& in_;
  std::ostream& out_;
  RunOptions options_;
  ScriptedPort scripted_;
  std::unique_ptr<link::SerialPort> simulated_;
  std::unique_ptr<ui::ReplayPort> replayPort_;
  ui::TraceReplay replay_;
  std::string replayError_;
  // The line's time under the drivers: it moves only when they wait, so runs repeat exactly.
  link::ManualLineClock lineClock_;
  // With --demo and the cable: the simulated car on a plain K-line.
  std::unique_ptr<link::SerialPort> cableLine_;
  // The simulated ELM327 in front of the simulator, when the demo runs through one.
  std::unique_ptr<link::SerialPort> elmChip_;
  std::unique_ptr<link::AdapterPort> adapter_;
  // Serial devices the script declared present (`port present`).
  std::vector<ui::SerialDevice> devices_;
  std::unique_ptr<TapPort> tap_;
  std::unique_ptr<ui::MainForm> main_;
  std::vector<view::Form*> stack_;
  std::vector<Answer> answers_;
  view::LocalTime clock_;
  std::string startDir_;
  int lineNumber_ = 0;
  bool finished_ = false;
  bool started_ = false;
  bool verbose_ = false;
  bool traceFailed_ = false;
};

// Text as the harness prints it: tab, CR and LF written as \t, \r and \n.
std::string Escape(const std::string& text);
std::string HexBytes(const std::vector<std::uint8_t>& bytes);

}  // namespace kd::harness
