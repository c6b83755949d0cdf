#include "ui/main_form.h"

#include <cstdio>
#include <filesystem>
#include <sstream>

#include "adaptation/fuel_cells_page.h"
#include "adaptation/knock_cells_page.h"
#include "adaptation/misfire_page.h"
#include "adaptation/trip_page.h"
#include "fileio/atomic_file.h"
#include "identity/adc_page_step.h"
#include "identity/equipment_page_step.h"
#include "identity/ident_page_step.h"
#include "link/kwp.h"
#include "livedata/param_page.h"
#include "ui/report_header.h"

namespace kd::ui {

namespace {

template <class P, class... Args>
P& Place(MainForm::PageList& pages, session::Page id, Args&&... args) {
  auto& slot = pages[static_cast<std::size_t>(id)];
  slot = std::make_unique<P>(std::forward<Args>(args)...);
  return static_cast<P&>(*slot);
}

}  // namespace

MainForm::MainForm(link::SerialPort& port, view::Host& host)
    : view::Form("TForm1"),
      host_(host),
      portHandle_(port),
      timer1_(Add<view::Timer>("Timer1", 300)),
      statusBar1_(Add<view::StatusBar>("StatusBar1", std::vector<int>{200, 70, 70, 70})),
      typeblock1_(Add<view::MenuItem>("Typeblock1", "Тип контроллера")),
      pageControl1_(Add<view::PageControl>("PageControl1", session::MainTabs())),
      checkParamList_(Add<view::CheckListBox>("CheckParamList")),
      stringGrid1_(Add<view::Grid>("StringGrid1")),
      settings_(
          (std::filesystem::path(WorkingDirectory()) / fileio::SettingsFile::kFileName).string()) {
  SetCaption("klinediag");
  BuildPages();
  BuildShell();
  BuildConfigControls();
  BuildParamPage();
  WatchValues();
  BuildRecordingTools();
  stringGrid1_.SetHint("Параметры");
  stringGrid1_.OnSelectCell = [this](int, int row) {
    for (const auto& r : params_)
      if (r.shown == 1 && r.gridRow == row)
        stringGrid1_.SetHint(catalogue::FieldUtf8(r.description));
  };
  // Only a click marks a chart cell: passing over it with the keyboard must not.
  stringGrid1_.OnClickCell = [this](int col, int row) { mainChart_->CellSelected(col, row); };
  buffer_->dataLength = 0;
  timer1_.OnTimer = [this] { Tick(); };
}

// A page without an object shows its tab only.
void MainForm::BuildPages() {
  using session::Page;
  Place<livedata::ParamPage>(pages_, Page::Params, ecuType_, params_, stringGrid1_, statusBar1_,
                             session_.pageTickCount);
  auto& fault =
      Place<faults::FaultPage>(pages_, Page::Faults, *this, ecuType_, dtcInfoMode_, session_);
  fault.OnSave = [this, &fault] {
    SaveReport(host_, vehicleData_, {"Запись информациии о ошибках.", "err"},
               [&fault](std::ostream& file) { faults::WriteFaultReport(file, fault.Report()); });
  };
  Place<identity::IdentPageStep>(
      pages_, Page::Idents, *this, host_, ecuType_, session_,
      identity::VehicleIdentifiers{vehicleData_.vin, vehicleData_.controllerNumber,
                                   vehicleData_.romId, vehicleData_.identifiersRead},
      identifiers_);
  Place<identity::EquipmentPageStep>(pages_, Page::Equipment, *this, ecuType_, session_,
                                     identifiers_);
  Place<identity::AdcPageStep>(pages_, Page::Adc, *this, ecuType_);
  auto& fuel = Place<adaptation::FuelCellsPageStep>(pages_, Page::Fuel, *this, ecuType_);
  fuel.OnSave = [this, &fuel] {
    SaveAdaptationReport({kConfigSaveTitle, "ram"}, [&fuel] { return fuel.ReportBody(); });
  };
  auto& knock = Place<adaptation::KnockCellsPageStep>(pages_, Page::Knock, *this, ecuType_);
  knock.OnSave = [this, &knock] {
    SaveAdaptationReport({kConfigSaveTitle, "uoz"}, [&knock] { return knock.ReportBody(); });
  };
  Place<adaptation::MisfirePageStep>(pages_, Page::Misfire, *this, ecuType_);
  auto& trip =
      Place<adaptation::TripPageStep>(pages_, Page::Trip, *this, vehicleData_.vin, &ecuType_);
  trip.OnSave = [this, &trip] {
    SaveAdaptationReport({"Запись путевых данных.", "txt"}, [&trip] { return trip.ReportBody(); });
  };
}

// The body is taken as the file is written: the grid as it stands once the dialogs are closed.
void MainForm::SaveAdaptationReport(const ReportDialog& dialog,
                                    const std::function<std::string()>& body) {
  SaveReport(host_, vehicleData_, dialog, [&body](std::ostream& file) {
    const std::string bytes = body();
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  });
}

void MainForm::Start() {
  ecuType_ = 1;
  portNumber_ = 2;
  configDir_ = WorkingDirectory();
  configName_ = "default.cfg";
  // A save killed half-way (a power cut, a kill) left its temporary file here.
  fileio::RemoveLeftovers(configDir_);
  MarkType();
  LoadConfiguration();
}

bool MainForm::Close() {
  configName_ = "default.cfg";
  SaveConfiguration();
  configName_ = std::string(Constants().defaultConfigFile);
  SaveConfiguration();
  return true;
}

void MainForm::SelectEcuType(std::uint32_t code) {
  configName_ = std::string(Constants().defaultConfigFile);
  SaveConfiguration();
  ecuType_ = code;
  MarkType();
  configName_ = std::string(Constants().defaultConfigFile);
  LoadConfiguration();
  SayWhatElmCannotReach();
}

void MainForm::ApplyCatalogue() {
  statusBar1_.SetText(2, std::string(Constants().statusText));
  for (auto& page : pages_)
    if (page) page->TypeApplied();
  actuatorPanel_->TypeApplied();
  recorder_->TypeApplied();
  if (auto* newDat1 = FindAs<view::MenuItem>("NewDAT1")) {
    newDat1->SetEnabled(recorder_->NewWrite().Enabled());
    newDat1->SetHint(recorder_->NewWrite().Hint());
  }
  UpdateExportCsv();
  if (OnTypeApplied) OnTypeApplied(ecuType_);
}

void MainForm::MarkType() {
  const auto& order = catalogue::ToolbarOrder();
  for (std::size_t i = 0; i < order.size(); ++i) {
    typeButtons_[i]->SetDown(order[i] == ecuType_);
    typeMenuItems_[i]->SetChecked(order[i] == ecuType_);
  }
}

namespace {

std::string TraceTime(const view::LocalTime& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.year, t.month, t.day,
                t.hour, t.minute, t.second, t.millisecond);
  return text;
}

void TraceBytes(std::ostream& out, std::span<const std::uint8_t> bytes) {
  char hex[4];
  for (std::uint8_t b : bytes) {
    std::snprintf(hex, sizeof hex, " %02X", b);
    out << hex;
  }
}

}  // namespace

bool MainForm::StartTrace(const std::string& path) {
  auto file = std::make_unique<TraceFile>(path);
  if (!file->Writable()) return false;
  trace_ = std::move(file);
  TraceLine("# klinediag session trace\n");
  portHandle_.onTick = [this](std::span<const std::uint8_t> read,
                              std::span<const std::uint8_t> written) {
    std::ostringstream line;
    line << TraceTime(host_.Now()) << " type " << ecuType_ << " page " << pageControl1_.ActiveName()
         << " rx";
    TraceBytes(line, read);
    line << " | tx";
    TraceBytes(line, written);
    line << " | " << statusBar1_.Text(link::kLinkStatusPanel) << '\n';
    TraceLine(line.str());
  };
  // A side window's tick: its form's name, its page (if it has pages) and its status line.
  portHandle_.onWindowTick = [this](std::span<const std::uint8_t> read,
                                    std::span<const std::uint8_t> written) {
    if (!sideWindow_) return;
    std::ostringstream line;
    line << TraceTime(host_.Now()) << " window " << sideWindow_->Name() << " page ";
    const auto* pages = sideWindow_->FindAs<view::PageControl>("PageControl1");
    line << (pages ? pages->ActiveName() : std::string("-")) << " rx";
    TraceBytes(line, read);
    line << " | tx";
    TraceBytes(line, written);
    line << " |";
    if (const auto* status = sideWindow_->FindAs<view::StatusBar>("StatusBar1")) {
      const char* between = " ";
      for (int panel = 0; panel < status->PanelCount(); ++panel) {
        if (status->Text(panel).empty()) continue;
        line << between << status->Text(panel);
        between = "; ";
      }
    }
    line << '\n';
    TraceLine(line.str());
  };
  // A driver that does the adapter's work on the PC side shows what it did on the wire.
  portHandle_.port.SetWireListener([this](const link::WireEvent& event) {
    std::ostringstream line;
    line << TraceTime(host_.Now()) << " wire ";
    switch (event.kind) {
      case link::WireEvent::Kind::Sent:
        line << "tx";
        break;
      case link::WireEvent::Kind::Received:
        line << "rx";
        break;
      case link::WireEvent::Kind::FastInit:
        line << "fast-init";
        break;
      case link::WireEvent::Kind::SlowInit:
        line << "5-baud";
        break;
    }
    TraceBytes(line, event.bytes);
    line << '\n';
    TraceLine(line.str());
  });
  // While a lost adapter stays away the port tries again at every tick; the first miss says when
  // it went, the success when it came back.
  portHandle_.port.SetReopenListener([this](bool reopened) {
    if (reopened || !reopenMissTraced_) TraceOpening(reopened);
    reopenMissTraced_ = !reopened;
  });
  return true;
}

void MainForm::TraceLine(const std::string& line) {
  const bool wasFailing = trace_->Failing();
  const bool written = trace_->Append(line);
  if (written == !wasFailing) return;
  // Once when it starts failing and once when it works again: the technician learns that the
  // trace has a gap, and where it ends, without a message every tick.
  const std::string text = written ? kTraceWrittenAgain : kTraceFailed;
  statusBar1_.SetText(link::kMessagePanel, text);
  std::fprintf(stderr, "klinediag: %s %s\n", text.c_str(), trace_->Path().c_str());
  std::fflush(stderr);
}

void MainForm::TraceOpening(bool opened) {
  if (!trace_) return;
  const link::LineSettings& s = portHandle_.lineSettings;
  std::ostringstream line;
  line << TraceTime(host_.Now()) << " open Com:" << portHandle_.openPortNumber << ' ' << s.baud
       << ',' << s.parity << ',' << s.dataBits << ',' << s.stopBits << ' '
       << (opened ? "ok" : "failed") << '\n';
  TraceLine(line.str());
}

MainForm::~MainForm() {
  link::ForgetTicks(portHandle_, *buffer_);
}

void MainForm::Tick() {
  Exchange(std::nullopt);
}

void MainForm::Exchange(const std::optional<link::FastRead>& fast) {
  // Without an exchanger the driver is looked at here; with one it is looked at after each
  // opening and each outcome, when the port's thread is free and nothing waits on it.
  if (!portHandle_.exchanger) WatchElm();
  auto page = std::make_shared<session::Page>(ActivePage());
  link::PollTick(
      portHandle_, *buffer_, Constants().marksStartCommunication,
      [this, page, fastRead = fast.has_value()](link::ExchangeBuffer& buffer) {
        // The page on screen when the reply is handed out: a tab clicked while the read window
        // was open counts as clicked before the tick, as the page's first-reply rule expects.
        *page = ActivePage();
        // Fast poll's replies reach the screen no more often than the tick's would.
        const std::int64_t now = SteadyUs();
        const bool quiet = fastRead && now - lastShownUs_ < std::int64_t{timer1_.Interval()} * 1000;
        auto* params = static_cast<livedata::ParamPage*>(PageObject(session::Page::Params));
        if (params) params->SetQuiet(quiet);
        session::SessionStep(buffer, {ecuType_, *page, session_, statusBar1_, PageObject(*page),
                                      PageObject(session::Page::Params)});
        if (params) params->SetQuiet(false);
        if (!quiet) lastShownUs_ = now;
      },
      statusBar1_,
      [this, page](std::span<const std::uint8_t> read, std::span<const std::uint8_t> written) {
        FollowLink(*page);
        UpdateExportCsv();
        ShowElmOutcome();
        FastPollNext(read, written);
      },
      fast);
}

}  // namespace kd::ui
