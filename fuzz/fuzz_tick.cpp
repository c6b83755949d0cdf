// Whole ticks of the main window as the timer runs them: PollTick on a port whose reads come from
// the input, the session engine of any type, and the step of whichever page is on screen, while
// the input also clicks controls, switches pages and types, and fails writes. What a port reads is
// either raw input or the simulator's honest answer with input bytes flipped into it, so the
// decoders get past checksums and session openings to the replies that carry data.
//
// A page joins by one entry in kPageSetups.
#include <array>
#include <functional>
#include <memory>
#include <sstream>
#include <vector>

#include "actuators/actuator_panel.h"
#include "adaptation/fuel_cells_page.h"
#include "adaptation/knock_cells_page.h"
#include "adaptation/misfire_page.h"
#include "adaptation/trip_page.h"
#include "catalogue/param_tables.h"
#include "faults/fault_page.h"
#include "faults/fault_report.h"
#include "identity/adc_page_step.h"
#include "identity/equipment_page_step.h"
#include "identity/ident_page_step.h"
#include "link/port.h"
#include "livedata/charts.h"
#include "livedata/param_page.h"
#include "livedata/recording.h"
#include "session/session_step.h"
#include "sim/simulated_port.h"
#include "view/form.h"

namespace {

using namespace kd;

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool Empty() const { return size_ == 0; }
  std::uint8_t Next() {
    if (size_ == 0) return 0;
    --size_;
    return *data_++;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
};

// The simulator behind the adapter; the input decides what each read delivers instead and how
// each write ends.
class FuzzPort : public link::SerialPort {
 public:
  sim::SimulatedPort sim;
  bool rawRead = false;
  std::vector<std::uint8_t> raw;
  // Each pair flips bits of the simulator's answer: position (modulo its length), mask.
  std::vector<std::pair<std::uint8_t, std::uint8_t>> flips;
  std::size_t cut = link::kReadLimit;
  link::WriteStatus writeStatus = link::WriteStatus::Written;
  bool pendingCompletes = true;
  bool openFails = false;

  bool Open(int portNumber) override { return !openFails && sim.Open(portNumber); }
  bool IsOpen() const override { return sim.IsOpen(); }
  bool Close() override { return sim.Close(); }
  bool ApplyLineSettings(const link::LineSettings& s) override { return sim.ApplyLineSettings(s); }
  void SetReadTimeout(int ms) override { sim.SetReadTimeout(ms); }
  void RaiseDtr() override {}
  void RaiseRts() override {}
  std::size_t Read(std::uint8_t* buffer, std::size_t maxBytes) override {
    if (rawRead) {
      const std::size_t n = std::min(raw.size(), maxBytes);
      std::copy_n(raw.begin(), n, buffer);
      return n;
    }
    const std::size_t n = std::min(sim.Read(buffer, maxBytes), cut);
    if (n != 0)
      for (const auto& [at, mask] : flips) buffer[at % n] ^= mask;
    return n;
  }
  link::WriteStatus Write(const std::uint8_t* data, std::size_t count) override {
    // An unplugged simulator fails every write, as the adapter it plays would.
    if (sim.Write(data, count) == link::WriteStatus::Failed) return link::WriteStatus::Failed;
    return writeStatus;
  }
  bool WaitPendingWrite(int) override { return pendingCompletes; }

  // A fault of the simulator that lasts `ticks` reads, so that no input leaves the adapter
  // unplugged for good by chance.
  void SetFault(sim::Fault fault, int parameter, int ticks) {
    sim.SetFault(fault, parameter);
    faultTicks[static_cast<std::size_t>(fault)] = ticks + 1;
  }
  void AgeFaults() {
    for (std::size_t f = 0; f < faultTicks.size(); ++f)
      if (faultTicks[f] > 0 && --faultTicks[f] == 0) sim.ClearFault(static_cast<sim::Fault>(f));
  }

 private:
  std::array<int, sim::kFaultCount> faultTicks{};
};

// A dialog (the identifiers page's value dialog) is confirmed with the value the input typed, or
// cancelled; file dialogs and message boxes come to nothing.
class FuzzHost : public view::Host {
 public:
  std::string typed;
  bool accept = true;
  void ShowModal(view::Form& form) override {
    if (auto* edit = form.FindAs<view::Edit>("Edit1")) edit->SetText(typed);
    if (auto* b = form.FindAs<view::Button>(accept ? "OKBtn" : "CancelBtn")) b->Click();
  }
  std::optional<std::string> OpenFileDialog(const view::FileDialogRequest&) override { return {}; }
  std::optional<std::string> SaveFileDialog(const view::FileDialogRequest&) override { return {}; }
  std::optional<view::FontChoice> FontDialog(const view::FontChoice&) override { return {}; }
  void MessageBox(const std::string&, const std::string&, view::MessageIcon) override {}
  view::LocalTime Now() override { return {}; }
};

// The main window's share of a tick, without its files and dialogs: the fields the pages keep
// references to, the form their controls live on, and the link.
struct Rig {
  view::Form form{"TForm1"};
  view::StatusBar& status =
      form.Add<view::StatusBar>("StatusBar1", std::vector<int>{200, 70, 70, 70});
  view::Grid& grid = form.Add<view::Grid>("StringGrid1");
  std::uint32_t ecuType = 1;
  std::vector<catalogue::ParamRecord> params;
  std::uint8_t shownPattern = 0xFF;
  session::SessionState session;
  std::uint32_t dtcInfoMode = 0;
  session::Page page = session::Page::Params;
  std::array<std::unique_ptr<session::PageStep>, session::kPageCount> steps;
  // What a page writes from its state (its report).
  std::vector<std::function<void()>> atEnd;
  FuzzHost host;
  std::string vin = std::string(19, ' ');
  std::string controllerNumber = std::string(16, ' ');
  std::string romId = std::string(8, ' ');
  bool identifiersRead = false;
  identity::Identifiers identifiers;
  FuzzPort port;
  link::PortHandle handle{port};
  std::unique_ptr<link::ExchangeBuffer> buffer = std::make_unique<link::ExchangeBuffer>();

  template <class T>
  T& Install(session::Page at, std::unique_ptr<T> step) {
    T& ref = *step;
    steps[static_cast<std::size_t>(at)] = std::move(step);
    return ref;
  }

  // A type chosen as the main window applies it: its built-in list (the input picks the shown
  // records), its layout on every page, the simulator following, and the port reopened.
  void ApplyType(std::uint32_t type) {
    ecuType = type;
    const auto builtIn = catalogue::BuiltInParams(type);
    params.assign(builtIn.begin(), builtIn.end());
    int row = 0;
    for (std::size_t i = 0; i < params.size(); ++i) {
      params[i].shown = (shownPattern >> (i % 8)) & 1;
      params[i].gridRow = params[i].shown ? ++row : 0;
    }
    grid.SetSize(4, row + 1);
    for (auto& step : steps)
      if (step) step->TypeApplied();
    port.sim.SetEcuType(type);
    link::OpenPort(handle, 2, type, status);
  }

  void Tick() {
    port.AgeFaults();
    const session::Page shown = page;
    link::PollTick(
        handle, *buffer, catalogue::Lookup(ecuType).marksStartCommunication,
        [this, shown](link::ExchangeBuffer& b) {
          session::SessionStep(
              b, {ecuType, shown, session, status, steps[static_cast<std::size_t>(shown)].get(),
                  steps[static_cast<std::size_t>(session::Page::Params)].get()});
        },
        status);
  }

  // The user's hand on any control of the window: buttons, check boxes, list rows, grid cells.
  void Poke(std::uint8_t which, std::uint8_t arg) {
    const auto& controls = form.Controls();
    view::Control* c = controls[which % controls.size()];
    if (auto* button = dynamic_cast<view::Button*>(c)) {
      button->Click();
    } else if (auto* box = dynamic_cast<view::CheckBox*>(c)) {
      box->Click();
    } else if (auto* list = dynamic_cast<view::ListBox*>(c)) {
      list->Select(static_cast<int>(arg % (list->Count() + 1)) - 1);
      if (list->OnClick) list->OnClick();
    } else if (auto* g = dynamic_cast<view::Grid*>(c)) {
      if (arg & 0x04)
        g->ClickCell(arg % 4, arg / 4);
      else
        g->SelectCell(arg % 4, arg / 4);
      // A double click opens what the grid opens (the identifiers page's value dialog).
      if ((arg & 0x03) == 0x03 && g->OnDblClick) {
        host.typed.assign(static_cast<std::size_t>(arg % 23), static_cast<char>('0' + arg % 10));
        host.accept = (arg & 0x40) == 0;
        g->OnDblClick();
      }
    }
  }

  // A tab click starts the page's count again and drops a command left for the old page; the
  // menu drops it only when the page changes.
  void ShowPage(std::uint8_t b) {
    const auto next = static_cast<session::Page>(b % session::kPageCount);
    if (b & 0x80) session.pageTickCount = 0;
    if (b & 0x80 || next != page) session.pendingCommand = 0;
    page = next;
    if (auto& step = steps[static_cast<std::size_t>(page)]) step->Shown();
  }
};

// The parameter page as the main window has it: the actuator panel open, recording on, every
// shown numeric parameter on the chart panel, and the graph window fed.
class ParamsWithPanel : public livedata::ParamPage {
 public:
  explicit ParamsWithPanel(Rig& r)
      : livedata::ParamPage(r.ecuType, r.params, r.grid, r.status, r.session.pageTickCount),
        recorder_(r.form, r.ecuType),
        chart_(r.form, r.grid, r.params),
        window_(r.params, host_),
        type_(r.ecuType),
        list_(r.params) {
    auto panel =
        std::make_unique<actuators::ActuatorPanel>(r.form, r.ecuType, r.session.pendingCommand);
    panel_ = panel.get();
    SetActuators(std::move(panel));
    AddListener(recorder_);
    AddListener(chart_);
    AddListener(window_);
    r.form.FindAs<view::Button>("Button1")->Click();
    recorder_.StartRecording();
    chart_.ShowPanel();
  }
  void TypeApplied() override {
    panel_->TypeApplied();
    chart_.ListApplied();
    chart_.HidePanel();
    for (const auto& p : list_)
      if (p.shown == 1) chart_.CellSelected(3, p.gridRow);
    chart_.ShowPanel();
    // Whatever was recorded under the old type is written under the new one.
    (void)livedata::DataFileBody(type_, list_, recorder_.Buffer());
    (void)livedata::StatisticsFile(type_, list_, recorder_.Buffer());
  }

 private:
  struct NoHost : view::Host {
    void ShowModal(view::Form&) override {}
    std::optional<std::string> OpenFileDialog(const view::FileDialogRequest&) override {
      return {};
    }
    std::optional<std::string> SaveFileDialog(const view::FileDialogRequest&) override {
      return {};
    }
    std::optional<view::FontChoice> FontDialog(const view::FontChoice&) override { return {}; }
    void MessageBox(const std::string&, const std::string&, view::MessageIcon) override {}
    view::LocalTime Now() override { return {}; }
  } host_;
  livedata::Recorder recorder_;
  livedata::MainChart chart_;
  livedata::GraphWindow window_;
  const std::uint32_t& type_;
  std::vector<catalogue::ParamRecord>& list_;
  actuators::ActuatorPanel* panel_ = nullptr;
};

// What the main window builds for each page, one entry a page.
const std::function<void(Rig&)> kPageSetups[] = {
    [](Rig& r) { r.Install(session::Page::Params, std::make_unique<ParamsWithPanel>(r)); },
    [](Rig& r) {
      auto& page = r.Install(
          session::Page::Faults,
          std::make_unique<faults::FaultPage>(r.form, r.ecuType, r.dtcInfoMode, r.session));
      r.atEnd.push_back([&page] {
        std::ostringstream out;
        faults::WriteFaultReport(out, page.Report());
      });
    },
    [](Rig& r) {
      r.Install(session::Page::Idents, std::make_unique<identity::IdentPageStep>(
                                           r.form, r.host, r.ecuType, r.session,
                                           identity::VehicleIdentifiers{r.vin, r.controllerNumber,
                                                                        r.romId, r.identifiersRead},
                                           r.identifiers));
    },
    [](Rig& r) {
      r.Install(session::Page::Equipment, std::make_unique<identity::EquipmentPageStep>(
                                              r.form, r.ecuType, r.session, r.identifiers));
    },
    [](Rig& r) {
      r.Install(session::Page::Adc, std::make_unique<identity::AdcPageStep>(r.form, r.ecuType));
    },
    [](Rig& r) {
      auto& page = r.Install(session::Page::Fuel,
                             std::make_unique<adaptation::FuelCellsPageStep>(r.form, r.ecuType));
      r.atEnd.push_back([&page] { (void)page.ReportBody(); });
    },
    [](Rig& r) {
      auto& page = r.Install(session::Page::Knock,
                             std::make_unique<adaptation::KnockCellsPageStep>(r.form, r.ecuType));
      r.atEnd.push_back([&page] { (void)page.ReportBody(); });
    },
    [](Rig& r) {
      r.Install(session::Page::Misfire,
                std::make_unique<adaptation::MisfirePageStep>(r.form, r.ecuType));
    },
    [](Rig& r) {
      auto& page =
          r.Install(session::Page::Trip,
                    std::make_unique<adaptation::TripPageStep>(r.form, r.vin, &r.ecuType));
      r.atEnd.push_back([&page] { (void)page.ReportBody(); });
    },
};

constexpr int kMaxSteps = 200;
constexpr std::uint32_t kTypeCodes = 13;  // 1..11 and a code on either side of them

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  Rig rig;
  for (const auto& setup : kPageSetups) setup(rig);
  rig.shownPattern = in.Next();
  rig.ApplyType(in.Next() % kTypeCodes);
  rig.ShowPage(in.Next());

  for (int step = 0; step < kMaxSteps && !in.Empty(); ++step) {
    const std::uint8_t op = in.Next();
    switch (op & 7) {
      case 0:
      case 1:
      case 2:
      case 3: {
        // The simulator's answer, half the time as it is, else with up to three bytes flipped,
        // perhaps cut short.
        FuzzPort& port = rig.port;
        port.rawRead = false;
        port.flips.clear();
        const int flips = op >> 5;
        for (int k = flips < 4 ? flips : 0; k > 0; --k) {
          const std::uint8_t at = in.Next();
          port.flips.emplace_back(at, in.Next());
        }
        port.cut = (op & 0x18) == 0x18 ? in.Next() : link::kReadLimit;
        port.writeStatus = link::WriteStatus::Written;
        rig.Tick();
        break;
      }
      case 4: {
        // Raw bytes, and a write that may fail or hang.
        FuzzPort& port = rig.port;
        port.rawRead = true;
        port.raw.resize(in.Next());
        for (auto& b : port.raw) b = in.Next();
        const std::uint8_t w = op >> 3;
        port.writeStatus = w % 3 == 0   ? link::WriteStatus::Written
                           : w % 3 == 1 ? link::WriteStatus::Pending
                                        : link::WriteStatus::Failed;
        port.pendingCompletes = (w & 4) != 0;
        rig.Tick();
        break;
      }
      case 5:
        rig.ShowPage(in.Next());
        break;
      case 6: {
        const std::uint8_t which = in.Next();
        rig.Poke(which, in.Next());
        break;
      }
      case 7: {
        const std::uint8_t b = in.Next();
        if (b < 0x80) {
          rig.port.openFails = (op >> 3) == 0x0B;
          rig.ApplyType(b % kTypeCodes);
        } else {
          rig.port.SetFault(static_cast<sim::Fault>(b % sim::kFaultCount), in.Next(),
                            (op >> 3) & 7);
        }
        break;
      }
    }
  }
  for (auto& end : rig.atEnd) end();
  return 0;
}
