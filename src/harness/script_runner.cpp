#include "harness/script_runner.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "catalogue/ecu_catalogue.h"
#include "sim/elm327_sim.h"
#include "sim/simulated_cable.h"
#include "sim/simulated_port.h"
#include "ui/demo_start.h"
#include "ui/main_form.h"

namespace kd::harness {

namespace {

struct ScriptError {
  std::string reason;
};

std::vector<std::string> Split(const std::string& line) {
  std::istringstream s(line);
  std::vector<std::string> words;
  for (std::string w; s >> w;) words.push_back(w);
  return words;
}

int ParseInt(const std::string& word) {
  try {
    std::size_t used = 0;
    const int v = std::stoi(word, &used);
    if (used == word.size()) return v;
  } catch (const std::exception&) {
  }
  throw ScriptError{"not a number: " + word};
}

std::uint8_t ParseHexByte(const std::string& word) {
  auto digit = [&](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    throw ScriptError{"malformed byte: " + word};
  };
  if (word.size() != 2) throw ScriptError{"malformed byte: " + word};
  return static_cast<std::uint8_t>(digit(word[0]) * 16 + digit(word[1]));
}

const char* Flag(bool b) { return b ? "1" : "0"; }

const char* IconName(view::MessageIcon icon) {
  switch (icon) {
    case view::MessageIcon::Error: return "error";
    case view::MessageIcon::Warning: return "warning";
    case view::MessageIcon::Information: return "information";
    case view::MessageIcon::Question: return "question";
    case view::MessageIcon::None: break;
  }
  return "none";
}

// Two decimals with a point, whatever the locale says; a value that rounds to zero prints as
// 0.00, not -0.00.
std::string TwoDecimals(double value) {
  char buf[64];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 2);
  if (ec != std::errc()) return "?";
  std::string out(buf, end);
  if (out == "-0.00") out = "0.00";
  return out;
}

// Controls that can hold the keyboard focus, and so take a key.
bool TakesFocus(const view::Control& c) {
  return dynamic_cast<const view::Button*>(&c) || dynamic_cast<const view::CheckBox*>(&c) ||
         dynamic_cast<const view::Edit*>(&c) || dynamic_cast<const view::ListBox*>(&c) ||
         dynamic_cast<const view::Grid*>(&c) || dynamic_cast<const view::PageControl*>(&c);
}

}  // namespace

namespace {

// port present PATH "DESCRIPTION" ["MANUFACTURER"] [sn SERIAL] [by-id LINK]
ui::SerialDevice ParseDevice(const std::string& line) {
  std::istringstream in(line);
  std::string word;
  in >> word >> word;  // port present
  ui::SerialDevice d;
  in >> d.path;
  std::vector<std::string> quoted;
  while (in >> std::ws && in.peek() == '"') {
    in.get();
    std::string text;
    std::getline(in, text, '"');
    quoted.push_back(text);
  }
  if (!quoted.empty()) d.description = quoted[0];
  if (quoted.size() > 1) d.manufacturer = quoted[1];
  while (in >> word) {
    std::string value;
    if (!(in >> value)) throw ScriptError{"port present: " + word + " without a value"};
    if (word == "sn")
      d.serialNumber = value;
    else if (word == "by-id")
      d.byId = value;
    else
      throw ScriptError{"port present: unknown field " + word};
  }
  // USB bridges name their device ttyUSB or ttyACM and carry a serial number or a by-id link.
  d.usb = d.path.find("ttyUSB") != std::string::npos ||
          d.path.find("ttyACM") != std::string::npos || !d.serialNumber.empty() || !d.byId.empty();
  return d;
}

}  // namespace

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      default: out += c;
    }
  }
  return out;
}

std::string HexBytes(const std::vector<std::uint8_t>& bytes) { return ui::TraceHex(bytes); }

ScriptRunner::ScriptRunner(std::istream& in, std::ostream& out, RunOptions options)
    : in_(in), out_(out), options_(options) {
  std::error_code ec;
  startDir_ = std::filesystem::current_path(ec).string();
  if (options_.demo) simulated_ = std::make_unique<sim::SimulatedPort>();
  if (!options_.replayPath.empty()) {
    replayPort_ = std::make_unique<ui::ReplayPort>();
    replay_.Load(options_.replayPath, replayError_);
  }
  link::SerialPort* device = &scripted_;
  if (simulated_) device = simulated_.get();
  if (replayPort_) device = replayPort_.get();
  if (simulated_ && options_.adapter == link::AdapterKind::KLineCable) {
    cableLine_ = std::make_unique<sim::SimulatedCable>(
        static_cast<sim::SimulatedPort&>(*simulated_), lineClock_);
    device = cableLine_.get();
  }
  if (simulated_ && options_.adapter == link::AdapterKind::Elm327) {
    sim::ElmOptions elm;
    if (options_.elmClone) elm.clone = sim::ElmClone::V15;
    elm.obdBus = options_.obdBus;
    elmChip_ =
        std::make_unique<sim::Elm327Sim>(static_cast<sim::SimulatedPort&>(*simulated_), elm);
    device = elmChip_.get();
  }
  adapter_ = std::make_unique<link::AdapterPort>(*device, options_.adapter, lineClock_);
  tap_ = std::make_unique<TapPort>(*adapter_);
  CreateMain();
}

void ScriptRunner::CreateMain() {
  main_ = std::make_unique<ui::MainForm>(*tap_, *this);
  // The demo's simulated hardware is fixed at start, as in the program.
  main_->SetAdapterPort(adapter_.get(), options_.adapterGiven || options_.demo
                                            ? std::optional(options_.adapter)
                                            : std::nullopt);
  // The machine's devices are the ones the script declared; a number's own device follows
  // Linux naming: the USB adapter when declared, else the on-board port.
  main_->SetDeviceWorld({[this] { return devices_; },
                         [this](int n) {
                           const std::string usb = "/dev/ttyUSB" + std::to_string(n - 1);
                           for (const auto& d : devices_)
                             if (d.path == usb) return usb;
                           return "/dev/ttyS" + std::to_string(n - 1);
                         },
                         nullptr});
  main_->RequestClose = [this] { CloseTop(); };
  stack_.push_back(main_.get());
  traceFailed_ = !options_.tracePath.empty() && !main_->StartTrace(options_.tracePath);
  // A restarted program goes on with the trace where the last one left it.
  if (replayPort_ && replayError_.empty()) replay_.Attach(*main_, *replayPort_, out_);
  if (simulated_) {
    // The simulated car follows the program's controller type, as the demo does.
    auto* sim = static_cast<sim::SimulatedPort*>(simulated_.get());
    main_->OnTypeApplied = [sim](std::uint32_t type) { sim->SetEcuType(type); };
    main_->OnSideWindow = [sim](const view::Form& window) {
      sim::FitForWindow(sim->Immobilizer(), window.Name());
    };
  }
}

void ScriptRunner::StartOnce() {
  if (started_) return;
  started_ = true;
  if (options_.demo)
    ui::StartDemo(*main_);
  else
    main_->Start();
}

ScriptRunner::~ScriptRunner() = default;

int ScriptRunner::Run() {
  // A run asked to leave a trace must not look like one that did.
  if (traceFailed_) {
    out_ << "error 0: cannot write the trace " << options_.tracePath << '\n';
    return 2;
  }
  if (!replayError_.empty()) {
    out_ << "error 0: replay: " << replayError_ << '\n';
    return 2;
  }
  try {
    Loop(nullptr);
    StartOnce();
  } catch (const ScriptError& e) {
    out_ << "error " << lineNumber_ << ": " << e.reason << '\n';
    out_.flush();
    return 2;
  }
  return 0;
}

void ScriptRunner::Fail(const std::string& reason) const { throw ScriptError{reason}; }

void ScriptRunner::Loop(const view::Form* until) {
  std::string line;
  while (std::getline(in_, line)) {
    ++lineNumber_;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (const auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
    Execute(line);
    if (until && std::find(stack_.begin(), stack_.end(), until) == stack_.end()) return;
  }
}

view::Control& ScriptRunner::Control(const std::string& name) const {
  if (view::Control* c = Top().Find(name)) return *c;
  Fail("unknown control " + name + " on " + Top().Name());
}

view::Control& ScriptRunner::Shown(const std::string& name) const {
  if (view::Control* c = Top().Find(name)) return *c;
  const auto dot = name.find('.');
  if (dot == std::string::npos) Fail("unknown control " + name + " on " + Top().Name());
  const std::string formName = name.substr(0, dot), controlName = name.substr(dot + 1);
  for (auto it = stack_.rbegin(); it != stack_.rend(); ++it) {
    if ((*it)->Name() != formName) continue;
    if (view::Control* c = (*it)->Find(controlName)) return *c;
    Fail("unknown control " + controlName + " on " + formName);
  }
  Fail("no open form " + formName);
}

void ScriptRunner::Execute(const std::string& line) {
  const auto words = Split(line);
  if (words.empty()) return;
  const std::string& cmd = words[0];
  // Once the main window has closed, only the files it left behind can still be looked at.
  if (finished_ && !(cmd == "show" && words.size() >= 3 &&
                     (words[1] == "file" || words[1] == "head" || words[1] == "text")))
    Fail("the program has ended");
  // The port, the clock, the queued answers and bytes describe the world the program starts
  // in; any other command starts it first.
  if (cmd != "port" && cmd != "clock" && cmd != "answer" && cmd != "rx" && cmd != "verbose")
    StartOnce();
  auto need = [&](std::size_t n) {
    if (words.size() < n + 1) Fail(cmd + ": missing argument");
  };

  if (cmd == "rx") {
    if (options_.demo) Fail("rx: the simulator supplies the bytes in --demo");
    if (replayPort_) Fail("rx: the trace supplies the bytes in --replay");
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 1; i < words.size(); ++i) bytes.push_back(ParseHexByte(words[i]));
    scripted_.Queue(bytes);
  } else if (cmd == "tick") {
    Tick(words.size() > 1 ? ParseInt(words[1]) : 1);
  } else if (cmd == "click") {
    need(1);
    view::Control& c = Control(words[1]);
    if (auto* b = dynamic_cast<view::Button*>(&c)) b->Click();
    else if (auto* m = dynamic_cast<view::MenuItem*>(&c)) m->Click();
    else if (auto* x = dynamic_cast<view::CheckBox*>(&c)) x->Click();
    else Fail(words[1] + " cannot be clicked");
  } else if (cmd == "tab") {
    need(1);
    for (view::Control* c : Top().Controls())
      if (auto* pc = dynamic_cast<view::PageControl*>(c); pc && pc->IndexOf(words[1]) >= 0) {
        pc->ClickTab(pc->IndexOf(words[1]));
        return;
      }
    Fail("unknown page " + words[1]);
  } else if (cmd == "check") {
    need(3);
    auto* list = dynamic_cast<view::CheckListBox*>(&Control(words[1]));
    if (!list) Fail(words[1] + " is not a check list");
    const int index = ParseInt(words[2]);
    if (index < 0 || index >= list->Count()) Fail("no entry " + words[2] + " in " + words[1]);
    if (words[3] != "0" && words[3] != "1") Fail("check: expected 0 or 1");
    list->SetChecked(index, words[3] == "1");
    if (list->OnClickCheck) list->OnClickCheck(index);
  } else if (cmd == "select") {
    need(2);
    auto* list = dynamic_cast<view::ListBox*>(&Control(words[1]));
    if (!list) Fail(words[1] + " is not a list");
    const int index = ParseInt(words[2]);
    if (index < -1 || index >= list->Count()) Fail("no entry " + words[2] + " in " + words[1]);
    list->Select(index);
    if (auto* combo = dynamic_cast<view::ComboBox*>(list)) {
      if (combo->OnChange) combo->OnChange();
    } else if (list->OnClick) {
      list->OnClick();
    }
  } else if (cmd == "cell" || cmd == "dblclick") {
    need(1);
    view::Control& c = Control(words[1]);
    if (auto* grid = dynamic_cast<view::Grid*>(&c)) {
      if (cmd == "cell") need(3);
      if (words.size() >= 4) {
        const int col = ParseInt(words[2]), row = ParseInt(words[3]);
        if (col < 0 || row < 0 || col >= grid->ColCount() || row >= grid->RowCount())
          Fail("no cell " + words[2] + " " + words[3] + " in " + words[1]);
        // A cell named is a cell clicked, as the mouse selects it.
        grid->SelectCell(col, row);
        if (cmd == "cell" && grid->OnClickCell) grid->OnClickCell(col, row);
      }
      if (cmd == "dblclick" && grid->OnDblClick) grid->OnDblClick();
    } else if (auto* list = dynamic_cast<view::ListBox*>(&c); list && cmd == "dblclick") {
      if (list->OnDblClick) list->OnDblClick();
    } else if (auto* panel = dynamic_cast<view::Panel*>(&c); panel && cmd == "dblclick") {
      if (panel->OnDblClick) panel->OnDblClick();
    } else {
      Fail(words[1] + " is not a grid");
    }
  } else if (cmd == "type") {
    need(1);
    auto* edit = dynamic_cast<view::Edit*>(&Control(words[1]));
    if (!edit) Fail(words[1] + " is not an edit");
    const auto at = line.find(words[1], line.find("type") + 4) + words[1].size();
    std::string text = at < line.size() ? line.substr(at + 1) : std::string();
    edit->SetText(text);
    if (edit->OnChange) edit->OnChange();
  } else if (cmd == "answer") {
    need(1);
    if (words[1] == "file") {
      need(2);
      answers_.push_back({Answer::File, line.substr(line.find(words[2], line.find("file") + 4))});
    } else if (words[1] == "ok") {
      answers_.push_back({Answer::Ok, {}});
    } else if (words[1] == "cancel") {
      answers_.push_back({Answer::Cancel, {}});
    } else {
      Fail("answer: expected file, ok or cancel");
    }
  } else if (cmd == "key") {
    need(2);
    view::Control& c = Control(words[1]);
    if (words[2] != "enter" && words[2] != "escape") Fail("key: expected enter or escape");
    if (!TakesFocus(c) || !c.Visible() || !c.Enabled()) Fail(words[1] + " cannot have the focus");
    // Held before the key: its button may close the form and change what is on top.
    view::Form& form = Top();
    form.PressKey(&c, words[2] == "enter" ? view::Key::Enter : view::Key::Escape);
  } else if (cmd == "verbose") {
    need(1);
    if (words[1] != "on" && words[1] != "off") Fail("verbose: expected on or off");
    verbose_ = words[1] == "on";
  } else if (cmd == "close") {
    CloseTop();
  } else if (cmd == "restart") {
    Restart();
  } else if (cmd == "replay") {
    need(1);
    if (options_.demo || replayPort_)
      Fail("replay: the recorded reads replace the simulator, run without --demo or --replay");
    Replay(line.substr(line.find(words[1], 6)));
  } else if (cmd == "clock") {
    need(2);
    view::LocalTime t;
    int sec = 0;
    if (std::sscanf(words[1].c_str(), "%d-%d-%d", &t.year, &t.month, &t.day) != 3 ||
        (std::sscanf(words[2].c_str(), "%d:%d:%d", &t.hour, &t.minute, &sec) < 2))
      Fail("clock: expected YYYY-MM-DD HH:MM[:SS[.mmm]]");
    t.second = sec;
    // Milliseconds, for the times of recorded frames: exactly three digits after the point.
    if (const auto point = words[2].find('.'); point != std::string::npos) {
      const std::string ms = words[2].substr(point + 1);
      if (ms.size() != 3 || ms.find_first_not_of("0123456789") != std::string::npos)
        Fail("clock: expected YYYY-MM-DD HH:MM[:SS[.mmm]]");
      t.millisecond = std::stoi(ms);
    }
    clock_ = t;
  } else if (cmd == "port") {
    need(1);
    if (options_.demo) Fail("port: the simulator's port is not scripted");
    if (replayPort_) Fail("port: the trace's port is not scripted");
    const std::string& what = words[1];
    if (what == "ok") scripted_.SetMode(ScriptedPort::Mode::Ok);
    else if (what == "open-fails") {
      scripted_.SetMode(ScriptedPort::Mode::OpenFails);
      link::OpenError reason = link::OpenError::Other;
      if (words.size() > 2) {
        if (words[2] == "missing")
          reason = link::OpenError::Missing;
        else if (words[2] == "permission")
          reason = link::OpenError::Permission;
        else if (words[2] == "busy")
          reason = link::OpenError::Busy;
        else
          Fail("port open-fails: expected missing, permission or busy");
      }
      scripted_.SetOpenError(reason);
    } else if (what == "present") {
      need(2);
      devices_.push_back(ParseDevice(line));
    } else if (what == "absent") {
      need(2);
      std::erase_if(devices_, [&](const ui::SerialDevice& d) { return d.path == words[2]; });
    }
    else if (what == "write-fails") scripted_.SetMode(ScriptedPort::Mode::WriteFails);
    else if (what == "write-pending") scripted_.SetMode(ScriptedPort::Mode::WritePending);
    else if (what == "write-stuck") scripted_.SetMode(ScriptedPort::Mode::WriteStuck);
    else if (what == "echo") {
      need(2);
      if (words[2] != "on" && words[2] != "off") Fail("port echo: expected on or off");
      scripted_.SetEcho(words[2] == "on");
    } else {
      Fail("port: unknown mode " + what);
    }
  } else if (cmd == "show" && words.size() >= 3 && (words[1] == "file" || words[1] == "head")) {
    ShowFile(line.substr(line.find(words[2], line.find(words[1], 4) + words[1].size())),
             words[1] == "head" ? 64 : SIZE_MAX);
  } else if (cmd == "show" && words.size() >= 3 && words[1] == "text") {
    ShowText(line.substr(line.find(words[2], line.find("text", 4) + 4)));
  } else if (cmd == "show" && words.size() >= 3 && words[1] == "hint") {
    out_ << words[2] << " hint \"" << Escape(Shown(words[2]).Hint()) << "\"\n";
  } else if (cmd == "show" && words.size() >= 3 && words[1] == "state") {
    const view::Control& c = Shown(words[2]);
    out_ << words[2] << " visible " << Flag(c.Visible()) << " enabled " << Flag(c.Enabled()) << '\n';
  } else if (cmd == "show" && words.size() >= 3 && words[1] == "stale") {
    out_ << words[2] << " stale " << Flag(Shown(words[2]).Stale()) << '\n';
  } else if (cmd == "show" && words.size() >= 3 && words[1] == "points") {
    ShowPoints(words[2]);
  } else if (cmd == "show" && words.size() == 2 && words[1] == "form") {
    out_ << "form " << Top().Name() << " caption \"" << Escape(Top().Caption()) << "\"\n";
  } else if (cmd == "show") {
    need(1);
    Show(words[1]);
  } else {
    Fail("unknown command " + cmd);
  }
}

// The program ends as by its close box and starts again in the folder it first started in, on
// the same port and clock: what it keeps across starts is what it wrote into that folder.
void ScriptRunner::Restart() {
  StartOnce();
  if (stack_.size() != 1) Fail("restart: close the side windows first");
  if (!main_->Close()) Fail("restart: the main window refused to close");
  out_ << "closed " << main_->Name() << '\n';
  tap_->Close();
  std::error_code ec;
  std::filesystem::current_path(startDir_, ec);
  if (ec) Fail("restart: cannot enter " + startDir_);
  stack_.clear();
  main_.reset();
  CreateMain();
  if (traceFailed_) Fail("restart: cannot write the trace " + options_.tracePath);
  started_ = false;
  StartOnce();
}

void ScriptRunner::CloseTop() {
  view::Form& top = Top();
  if (!top.Close()) return;
  out_ << "closed " << top.Name() << '\n';
  stack_.pop_back();
  if (stack_.empty()) finished_ = true;
}

// A trace line: "DATE TIME type N page NAME rx HEX… | tx HEX… | STATUS". Other lines (comments,
// port openings) carry nothing to replay.
void ScriptRunner::Replay(const std::string& path) {
  std::ifstream in(path);
  if (!in) Fail("replay: cannot read " + path);
  // The recorded reads already hold the adapter's echo, and nothing else may be waiting.
  scripted_.Clear();
  const bool echo = scripted_.Echo();
  scripted_.SetEcho(false);
  int ticks = 0, differing = 0, number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    std::string error;
    const auto tick = ui::ParseTraceLine(line, number, error);
    // The messages the harness always gave: a bad byte as any command's, a bad line as replay's.
    if (!error.empty()) Fail(error.starts_with("malformed byte") ? error : "replay: " + error);
    if (!tick) continue;
    const std::vector<std::uint8_t>& rx = tick->rx;
    const std::vector<std::uint8_t>& expected = tick->tx;
    ui::ShowTraceTick(*main_, *tick);
    scripted_.Queue(rx);
    tap_->TakeWritten();
    main_->Timer1().Fire();
    const auto written = tap_->TakeWritten();
    ++ticks;
    if (written != expected) {
      ++differing;
      ui::ReportDifferingWrite(out_, number, written, expected);
    }
  }
  scripted_.SetEcho(echo);
  out_ << "replay " << ticks << " ticks, " << differing << " differ\n";
}

void ScriptRunner::Tick(int count) {
  for (int i = 0; i < count; ++i) {
    view::Timer* timer = nullptr;
    for (auto it = stack_.rbegin(); it != stack_.rend() && !timer; ++it)
      if (view::Timer* t = (*it)->LinkTimer(); t && t->Enabled()) timer = t;
    tap_->TakeWritten();
    // The line's time moves with the timer, so that a driver sees the gaps between ticks.
    if (timer) lineClock_.Advance(static_cast<std::int64_t>(timer->Interval()) * 1000);
    if (timer) timer->Fire();
    out_ << "tx" << HexBytes(tap_->TakeWritten()) << '\n';
  }
}

void ScriptRunner::Show(const std::string& name) {
  if (name == "tx") {
    out_ << "tx" << HexBytes(tap_->LastWritten()) << '\n';
    return;
  }
  if (name == "rx") {
    out_ << "rx" << HexBytes(scripted_.Waiting()) << '\n';
    return;
  }
  if (name == "port") {
    const link::LineSettings& s = main_->Port().lineSettings;
    out_ << "port " << (tap_->IsOpen() ? "open" : "closed") << " Com:" << main_->Port().openPortNumber
         << ' ' << s.baud << ',' << s.parity << ',' << s.dataBits << ',' << s.stopBits << '\n';
    return;
  }
  view::Control& c = Shown(name);
  const auto caption = [&](const std::string& text) {
    out_ << name << " \"" << Escape(text) << "\" visible " << Flag(c.Visible()) << " enabled "
         << Flag(c.Enabled());
  };
  if (auto* grid = dynamic_cast<view::Grid*>(&c)) {
    out_ << name << " rows " << grid->RowCount() << " cols " << grid->ColCount() << '\n';
    for (int r = 0; r < grid->RowCount(); ++r) {
      out_ << name << ' ' << r << ':';
      for (int col = 0; col < grid->ColCount(); ++col)
        out_ << (col ? " | " : " ") << Escape(grid->Cell(col, r));
      out_ << '\n';
    }
  } else if (auto* list = dynamic_cast<view::ListBox*>(&c)) {
    auto* checks = dynamic_cast<view::CheckListBox*>(list);
    out_ << name << " count " << list->Count() << " selected " << list->Selected() << '\n';
    for (int i = 0; i < list->Count(); ++i) {
      out_ << name << ' ' << i;
      if (checks) out_ << (checks->IsChecked(i) ? " [x]" : " [ ]");
      out_ << (checks ? " " : ": ") << Escape(list->Items()[i]) << '\n';
    }
  } else if (auto* button = dynamic_cast<view::Button*>(&c)) {
    caption(button->Caption());
    out_ << " checked " << Flag(button->Down()) << '\n';
  } else if (auto* box = dynamic_cast<view::CheckBox*>(&c)) {
    caption(box->Caption());
    out_ << " checked " << Flag(box->Checked()) << '\n';
  } else if (auto* item = dynamic_cast<view::MenuItem*>(&c)) {
    caption(item->Caption());
    out_ << " checked " << Flag(item->Checked()) << '\n';
  } else if (auto* label = dynamic_cast<view::Label*>(&c)) {
    caption(label->Caption());
    out_ << '\n';
  } else if (auto* edit = dynamic_cast<view::Edit*>(&c)) {
    caption(edit->Text());
    out_ << '\n';
  } else if (auto* panel = dynamic_cast<view::Panel*>(&c)) {
    caption(panel->Caption());
    out_ << '\n';
  } else if (auto* status = dynamic_cast<view::StatusBar*>(&c)) {
    for (int i = 0; i < status->PanelCount(); ++i)
      out_ << name << ' ' << i << ": " << Escape(status->Text(i)) << '\n';
  } else if (auto* pages = dynamic_cast<view::PageControl*>(&c)) {
    out_ << name << " active " << pages->ActiveName() << '\n';
  } else if (auto* timer = dynamic_cast<view::Timer*>(&c)) {
    out_ << name << " interval " << timer->Interval() << " enabled " << Flag(timer->Enabled()) << '\n';
  } else if (auto* chart = dynamic_cast<view::Chart*>(&c)) {
    out_ << name << " series " << chart->Series().size() << '\n';
    for (std::size_t i = 0; i < chart->Series().size(); ++i)
      out_ << name << ' ' << i << " \"" << Escape(chart->Series()[i].title) << "\" points "
           << chart->Series()[i].points.size() << '\n';
  } else {
    Fail(name + " cannot be shown");
  }
}

void ScriptRunner::ShowPoints(const std::string& name) {
  auto* chart = dynamic_cast<view::Chart*>(&Shown(name));
  if (!chart) Fail(name + " is not a chart");
  for (std::size_t i = 0; i < chart->Series().size(); ++i) {
    out_ << name << ' ' << i << ':';
    for (const auto& p : chart->Series()[i].points) out_ << ' ' << TwoDecimals(p.y);
    out_ << '\n';
  }
}

void ScriptRunner::ShowFile(const std::string& path, std::size_t limit) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    out_ << "file " << path << " missing\n";
    return;
  }
  const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
  out_ << "file " << path << " size " << bytes.size() << '\n';
  for (std::size_t at = 0; at < std::min(bytes.size(), limit); at += 16) {
    char offset[32];
    std::snprintf(offset, sizeof offset, "%04zX:", at);
    const auto end =
        bytes.begin() + static_cast<std::ptrdiff_t>(std::min({at + 16, bytes.size(), limit}));
    out_ << offset << HexBytes({bytes.begin() + static_cast<std::ptrdiff_t>(at), end}) << '\n';
  }
}

void ScriptRunner::ShowText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    out_ << "file " << path << " missing\n";
    return;
  }
  std::string bytes((std::istreambuf_iterator<char>(in)), {});
  // The byte-order mark is shown by `show head`; here it would only hide the first heading.
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.erase(0, 3);
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < bytes.size();) {
    const auto lf = bytes.find('\n', at);
    const auto end = lf == std::string::npos ? bytes.size() : lf + 1;
    lines.push_back(bytes.substr(at, end - at));
    at = end;
  }
  out_ << "text " << path << " lines " << lines.size() << '\n';
  for (std::size_t i = 0; i < lines.size(); ++i)
    out_ << "text " << i + 1 << ": " << Escape(lines[i]) << '\n';
}

std::optional<ScriptRunner::Answer> ScriptRunner::TakeAnswer() {
  if (answers_.empty()) return std::nullopt;
  Answer a = answers_.front();
  answers_.erase(answers_.begin());
  return a;
}

void ScriptRunner::ShowModal(view::Form& form) {
  out_ << "dialog " << form.Name() << '\n';
  form.RequestClose = [this] { CloseTop(); };
  stack_.push_back(&form);
  Loop(&form);
  // The input ended with the dialog still open: close it as the close box would.
  if (!stack_.empty() && stack_.back() == &form) {
    form.Close();
    stack_.pop_back();
    out_ << "closed " << form.Name() << '\n';
  }
}

std::optional<std::string> ScriptRunner::FileDialog(const char* kind,
                                                    const view::FileDialogRequest& request) {
  if (verbose_)
    out_ << "filedialog " << kind << " \"" << Escape(request.title) << "\" ext \""
         << Escape(request.defaultExt) << "\" filter \"" << Escape(request.filter) << "\" folder \""
         << Escape(request.initialDir) << "\" name \"" << Escape(request.fileName) << "\"\n";
  auto a = TakeAnswer();
  if (!a || a->kind != Answer::File) return std::nullopt;
  // As a real dialog: the full path comes back and its folder becomes the working directory.
  std::error_code ec;
  const auto full = std::filesystem::absolute(a->path, ec).lexically_normal();
  if (ec) return a->path;
  std::filesystem::current_path(full.parent_path(), ec);
  return full.string();
}

std::optional<std::string> ScriptRunner::OpenFileDialog(const view::FileDialogRequest& request) {
  return FileDialog("open", request);
}

std::optional<std::string> ScriptRunner::SaveFileDialog(const view::FileDialogRequest& request) {
  return FileDialog("save", request);
}

void ScriptRunner::FileWritten(const std::string& path) {
  // File dialogs hand back full paths; printed relative, a scenario's output does not depend on
  // where its working folder lies.
  const auto shown = std::filesystem::path(path).lexically_proximate(startDir_);
  out_ << "file " << shown.generic_string() << " written\n";
}

void ScriptRunner::ShowHelp(const std::string& section) {
  out_ << "help \"" << Escape(section) << "\"\n";
}

void ScriptRunner::Print(const view::PrintDocument& document) {
  out_ << "print \"" << Escape(document.title) << "\" header " << document.header.size()
       << " lines " << document.lines.size() << " table " << document.table.size() << '\n';
  for (const auto& line : document.header) out_ << "| " << Escape(line) << '\n';
  for (const auto& line : document.lines) out_ << "| " << Escape(line) << '\n';
  for (const auto& row : document.table) {
    out_ << "||";
    for (const auto& cell : row) out_ << ' ' << Escape(cell) << " |";
    out_ << '\n';
  }
}

void ScriptRunner::PrintSetup() { out_ << "printsetup\n"; }

std::optional<view::FontChoice> ScriptRunner::FontDialog(const view::FontChoice& current) {
  auto a = TakeAnswer();
  if (!a || a->kind == Answer::Cancel) return std::nullopt;
  if (a->kind == Answer::File) return view::FontChoice{a->path, current.size};
  return current;
}

void ScriptRunner::MessageBox(const std::string& caption, const std::string& text,
                              view::MessageIcon icon) {
  out_ << "msgbox " << Escape(caption) << " | " << Escape(text) << '\n';
  if (verbose_) out_ << "msgicon " << IconName(icon) << '\n';
  TakeAnswer();
}

}  // namespace kd::harness
