// The main window (TForm1) as a form object: status line, timer, the controller-type controls and
// the link it owns. No toolkit here; a skin shows it and the harness drives it.
#pragma once

#include <array>
#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "actuators/actuator_panel.h"
#include "catalogue/ecu_catalogue.h"
#include "catalogue/param_record.h"
#include "faults/fault_page.h"
#include "fileio/settings_file.h"
#include "identity/ident_page_step.h"
#include "link/adapter.h"
#include "link/exchange_buffer.h"
#include "link/port.h"
#include "livedata/charts.h"
#include "livedata/recording.h"
#include "obd/obd_state.h"
#include "session/pages.h"
#include "session/session_step.h"
#include "ui/port_devices.h"
#include "ui/report_header.h"
#include "ui/session_trace.h"
#include "ui/vehicle_data.h"
#include "view/form.h"
#include "view/host.h"
#include "view/stale_marks.h"

namespace kd::link {
class Elm327Adapter;
}

namespace kd::ui {

// The full path of the current directory ("." when it cannot be had).
std::string WorkingDirectory();

// About two seconds of silence: long enough to unplug the cable and plug it into another car,
// longer than the tick or two a live link may miss.
inline constexpr int kNewCarTicks = 7;

class MainForm : public view::Form {
 public:
  using PageList = std::array<std::unique_ptr<session::PageStep>, session::kPageCount>;
  MainForm(link::SerialPort& port, view::Host& host);
  ~MainForm() override;

  // Start-up as the program does it: the start-up configuration, which ends by opening the port.
  void Start();
  // The close box, Exit1 and ToolButton11: the list is stored twice, into "default.cfg" and into
  // the type's own file.
  bool Close() override;

  void SelectEcuType(std::uint32_t code);
  // Appends one line per tick (and per port opening) to `path`; false when it cannot be opened.
  bool StartTrace(const std::string& path);
  // Called whenever a configuration has been applied with the type in force (the demo's
  // simulator follows the program's type this way).
  std::function<void(std::uint32_t ecuType)> OnTypeApplied;
  // Called as a side window opens, before it is shown (the demo fits the simulated car with the
  // unit the window talks to).
  std::function<void(const view::Form& window)> OnSideWindow;
  void LoadConfiguration();
  void SaveConfiguration();
  void RefreshParamGrid();

  const std::string& ConfigName() const { return configName_; }
  // Always a full path: the folder the program started in, or the folder of the last
  // configuration read. A report's or a configuration's dialog may move the working directory
  // elsewhere; "default.cfg" and the types' files stay here all the same.
  const std::string& ConfigDir() const { return configDir_; }
  // ConfigName as the file it names: a dialog's choice is a full path already, the fixed names
  // lie in ConfigDir.
  std::string ConfigPath() const;
  // The program's own settings ("klinediag.ini" in the folder the program started in), read when
  // the window is created, before anything opens the port.
  fileio::SettingsFile& Settings() { return settings_; }

  // What the host knows of the machine's serial devices: the port dialog names the device behind
  // each number and assigns them (kept in Settings()). Without it the dialog shows numbers only.
  void SetDeviceWorld(DeviceWorld world);
  PortAssignments* Ports() { return ports_.get(); }
  // The adapter layer the port runs through, so that the port dialog can change the kind; a kind
  // given on the command line holds for this run instead of the one kept in the settings.
  void SetAdapterPort(link::AdapterPort* port,
                      std::optional<link::AdapterKind> forced = std::nullopt);
  link::AdapterKind Adapter() const;
  // Keeps the kind in the settings; it is in force from the next opening of the port.
  void ChooseAdapter(link::AdapterKind kind);
  // Fast poll (Опции → "Быстрый опрос"): on the parameter page of a KWP2000 type the next
  // request follows the whole reply as soon as the line allows, where the port has an exchanger
  // that reads fast; the screen, the charts and the recording keep the tick's refresh. Kept in
  // the settings; `--fast-poll` switches it on for one run without keeping it.
  bool FastPoll() const;
  void SetFastPoll(bool on, bool keep);
  // "Проверка адаптера…": the checks, one line each, as the dialog lists them.
  std::vector<std::string> AdapterChecks();
  const std::vector<catalogue::ParamRecord>& Params() const { return params_; }
  std::uint32_t DtcInfoMode() const { return dtcInfoMode_; }

  std::uint32_t EcuType() const { return ecuType_; }
  int PortNumber() const { return portNumber_; }
  const catalogue::EcuInfo& Constants() const { return catalogue::Lookup(ecuType_); }
  session::Page ActivePage() const {
    return static_cast<session::Page>(pageControl1_.ActiveIndex());
  }
  // The object of a page; nullptr for a page that has none yet.
  session::PageStep* PageObject(session::Page page) const {
    return pages_[static_cast<std::size_t>(page)].get();
  }

  view::Timer& Timer1() { return timer1_; }
  view::StatusBar& StatusBar1() { return statusBar1_; }
  view::MenuItem& Typeblock1() { return typeblock1_; }
  // Controller buttons in tool-bar order.
  const std::array<view::Button*, 11>& TypeButtons() const { return typeButtons_; }
  // Every tool button, left to right, and the menus of the menu bar.
  const std::vector<view::Button*>& ToolBar() const { return toolBar_; }
  const std::vector<view::MenuItem*>& MainMenu() const { return mainMenu_; }

  link::ExchangeBuffer& Buffer() { return *buffer_; }
  link::PortHandle& Port() { return portHandle_; }
  session::SessionState& Session() { return session_; }

  view::Timer* LinkTimer() override { return &timer1_; }
  view::PageControl& PageControl1() { return pageControl1_; }
  view::CheckListBox& CheckParamList() { return checkParamList_; }
  view::Grid& StringGrid1() { return stringGrid1_; }
  faults::FaultPage& Faults() {
    return static_cast<faults::FaultPage&>(*PageObject(session::Page::Faults));
  }
  // Filled by the identifiers page; the report header and the vehicle-data dialog read it.
  VehicleData& Vehicle() { return vehicleData_; }
  // The page on screen as "Печать" prints it.
  view::PrintDocument PageDocument();
  // The heading of the user guide's section about the page on screen.
  std::string_view HelpSection() const;
  // What the identifiers page keeps beside the vehicle data, for writing back.
  const identity::Identifiers& Identifiers() const { return identifiers_; }

 private:
  void BuildShell();
  view::Button& ToolButton(const char* name, const char* hint, bool separatorAfter = false);
  view::MenuItem& MenuEntry(view::MenuItem& menu, std::string_view name, std::string_view caption,
                            std::string_view shortcut = "", int radioGroup = 0);
  void BuildConfigControls();
  // Every page object, each in its place of the page table.
  void BuildPages();
  // The shared save flow for a page whose report body is one string.
  void SaveAdaptationReport(const ReportDialog& dialog, const std::function<std::string()>& body);
  // The parameter page with its recording, charts and actuator panel.
  void BuildParamPage();
  void SaveRecording();
  void SaveStatistics();
  // The chart panel in place of the grid's neighbours, or back.
  void SetChartView(bool shown);
  void OpenGraphWindow();
  // ToolButton7 and ToolButton12: the EOBD and ISO 9141 windows.
  void BuildSideWindows();
  void ApplyCatalogue();
  void MarkType();
  void PageChangedByTab();
  void ChoosePageByMenu(int page);
  // Puts the radio check of the "Индицировать" menu on the page's item.
  void CheckIndicator(int page);
  // Drops the pending command and tells the page it is on screen.
  void PageChanged(int page);
  void ChoosePort();
  void ShowSideWindow(view::Form& window);
  void Tick();
  // One exchange of the main window: a tick's, or with `fast` the fast read's that follows one.
  void Exchange(const std::optional<link::FastRead>& fast);
  // After an exchange's outcome: the timing followed, and the next exchange at once when fast
  // poll may run.
  void FastPollNext(std::span<const std::uint8_t> read, std::span<const std::uint8_t> written);
  static std::int64_t SteadyUs();
  // The link's outcome of the tick just run, as the status line says it: values that the
  // controller no longer confirms are marked, and a long enough silence makes the next answer
  // another car's.
  void FollowLink(session::Page page);
  // Which controls of each page show what a controller sent.
  void WatchValues();
  void NewCar();
  void NewConfiguration();
  void OpenConfigDialog();
  void SaveConfigDialog();
  void SetAllShown(bool shown);

  // OpenPort with the type's line settings and the chosen port, noted in the trace; an opening
  // that fails says why in a message box.
  void ReopenPort();
  void ShowAdapterTest();
  // The ELM327 as the adapter: its driver (none with another adapter), whether it is chosen, the
  // message box for a controller it cannot reach, and what an exchange through it ended with.
  static link::Elm327Adapter* Elm(link::SerialPort& stack);
  bool ElmChosen();
  void SayWhatElmCannotReach();
  void WatchElm();
  void WatchElm(link::SerialPort& stack);
  void ShowElmOutcome();
  // An "open" line of the trace: the port as OpenPort last set it up, and whether it is open.
  void TraceOpening(bool opened);
  // Appends to the trace; the first failure of a run of them is shown, and so is the recovery.
  void TraceLine(const std::string& line);

  // "Экспорт CSV…" and "Открыть запись…" of the file menu.
  void BuildRecordingTools();
  // The CSV export is there while the recording holds a frame.
  void UpdateExportCsv();
  view::MenuItem* exportCsv1_ = nullptr;

  view::Host& host_;
  std::unique_ptr<TraceFile> trace_;
  bool reopenMissTraced_ = false;
  link::PortHandle portHandle_;
  std::unique_ptr<link::ExchangeBuffer> buffer_ = std::make_unique<link::ExchangeBuffer>();
  session::SessionState session_;
  PageList pages_;
  std::uint32_t dtcInfoMode_ = 0;
  // Commands of the immobilizer and climate windows; they outlive the windows.
  std::uint32_t immoCommand_ = 0;
  std::uint32_t sauoCommand_ = 0;

  std::uint32_t ecuType_ = 1;
  int portNumber_ = 2;
  std::string configName_ = "default.cfg";
  std::string configDir_ = WorkingDirectory();
  bool dirFromDialog_ = false;
  std::vector<catalogue::ParamRecord> params_;

  view::Timer& timer1_;
  link::Elm327Adapter* watchedElm_ = nullptr;
  std::string elmRefusal_;
  view::StatusBar& statusBar1_;
  view::MenuItem& typeblock1_;
  view::PageControl& pageControl1_;
  view::CheckListBox& checkParamList_;
  view::Grid& stringGrid1_;
  fileio::SettingsFile settings_;
  std::unique_ptr<PortAssignments> ports_;
  link::AdapterPort* adapterPort_ = nullptr;
  std::optional<bool> forcedFastPoll_;
  view::MenuItem* fastPoll1_ = nullptr;
  link::TimingFollower lineTiming_;
  // When the parameter page last showed a reply, on the steady clock (µs).
  std::int64_t lastShownUs_ = 0;
  std::optional<link::AdapterKind> forcedAdapter_;
  std::array<view::Button*, 11> typeButtons_{};
  std::vector<view::Button*> toolBar_;
  std::vector<view::MenuItem*> mainMenu_;
  std::array<view::MenuItem*, session::kPageCount> indicatorItems_{};
  std::vector<view::Button*> sideWindowButtons_;
  // The side window open now, whose ticks the trace writes as its own.
  view::Form* sideWindow_ = nullptr;
  std::array<view::MenuItem*, 11> typeMenuItems_{};
  VehicleData vehicleData_;
  identity::Identifiers identifiers_;
  // Kept for the program's life, across openings of the OBD windows.
  obd::EobdShared eobdShared_;
  obd::Iso9141Shared iso9141Shared_;
  std::unique_ptr<livedata::Recorder> recorder_;
  std::unique_ptr<livedata::MainChart> mainChart_;
  actuators::ActuatorPanel* actuatorPanel_ = nullptr;
  view::Button* graphButton_ = nullptr;
  view::MenuItem* n6_ = nullptr;
  std::array<view::StaleMarks, session::kPageCount> pageValues_;
  // Ticks in a row without a reply; from kNewCarTicks on, the next reply starts a new car.
  int silentTicks_ = 0;

 public:
  livedata::Recorder& Recorder() { return *recorder_; }
  view::Host& Host() { return host_; }
  // "Экспорт CSV…": the recording, with the time of every frame, as a CSV file.
  void ExportCsv();
  // "Открыть запись…" without its dialog: the viewer on the recording in `path`.
  void OpenRecording(const std::string& path);
  livedata::MainChart& MainChart() { return *mainChart_; }
  actuators::ActuatorPanel& Actuators() { return *actuatorPanel_; }
};

}  // namespace kd::ui
