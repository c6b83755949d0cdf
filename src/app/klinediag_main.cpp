// klinediag [--demo | --replay TRACE] [--port N=DEVICE]... [--adapter KIND] [--trace FILE]
//           [--screenshot FILE.png|DIR]
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QIcon>
#include <QLocale>
#include <QPixmap>
#include <QPointer>
#include <QStringList>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "catalogue/ecu_catalogue.h"
#include "link/adapter.h"
#include "qt/binder.h"
#include "qt/desktop.h"
#include "qt/graph_window.h"
#include "qt/main_window.h"
#include "qt/obd_windows.h"
#include "qt/pages/value_dialog.h"
#include "qt/port_dialog.h"
#include "qt/port_worker.h"
#include "qt/qt_host.h"
#include "qt/qt_serial_port.h"
#include "qt/record_view.h"
#include "qt/screenshots.h"
#include "qt/serial_devices.h"
#include "qt/side_dialogs.h"
#include "qt/window_settings.h"
#include "sim/elm327_sim.h"
#include "sim/simulated_cable.h"
#include "sim/simulated_port.h"
#include "ui/demo_start.h"
#include "ui/main_form.h"
#include "ui/session_trace.h"

namespace {

// Ticks a screenshot waits for: enough for the session to open and the first data to arrive.
constexpr int kScreenshotTicks = 5;
// The identifiers page asks one identifier a tick: both columns are full after a rotation.
constexpr int kIdentScreenshotTicks = 18;
constexpr QSize kScreenshotSize{1280, 800};
constexpr int kSideWindowTicks = 25;
constexpr QSize kSideWindowSize{800, 600};
// Replies recorded for the viewer's picture: 18 s of a drive.
constexpr int kRecordViewTicks = 60;

constexpr const char* kUsage =
    "usage: klinediag [--demo | --replay TRACE] [--port N=DEVICE]... [--adapter KIND]\n"
    "                 [--trace FILE] [--screenshot FILE.png|DIR]\n"
    "K-line diagnostic scanner-tester for engine controllers.\n"
    "  --demo             run against the built-in simulated adapter and controllers\n"
    "  --replay TRACE     run on a recorded session trace instead of a port: each tick\n"
    "                     reads what the trace recorded, with its type and page;\n"
    "                     writes that differ from the record are listed at the end\n"
    "  --port N=DEVICE    open DEVICE for port number N (1..8); may be repeated\n"
    "                     (default: COMn on Windows; /dev/ttyUSB(N-1) if present,\n"
    "                     else /dev/ttyS(N-1) on Linux)\n"
    "  --trace FILE       append every tick's reads and writes to FILE\n"
    "  --adapter KIND     what hangs on the port: adapter (the K-line adapter),\n"
    "                     kline (a plain K-line cable) or elm327 (an ELM327 or a\n"
    "                     clone); default: the kind chosen\n"
    "                     last in the port dialog, else adapter\n"
    "  --fast-poll        this run polls the parameter page of a KWP2000 controller as\n"
    "                     fast as the K-line allows (Опции → Быстрый опрос)\n"
    "  --open WINDOW      open a side window right after start, as its tool button does:\n"
    "                     eobd, iso9141, aps4, aps6 or sauo\n"
    "  --ecu TYPE         switch to controller type TYPE (1..11) after start-up\n"
    "  --run-for SECONDS  close the window (storing the configuration) after SECONDS\n"
    "                     (up to 604800); message boxes then go to standard error\n"
    "  --screenshot FILE.png\n"
    "                     run a few timer ticks, save the main window (1280x800) as\n"
    "                     PNG to FILE and exit\n"
    "  --screenshot DIR   the same for every page, one PNG per page in DIR, and for\n"
    "                     every page of the side windows\n"
    "                     (with --demo, every parameter is shown)\n"
    "  --screenshot-ticks N\n"
    "                     timer ticks before each picture (default 5; a January\n"
    "                     fuel sweep takes 33)\n"
    "  --version          print the version and exit\n"
    "  -h, --help         show this text\n";

// The longest --run-for: a week of unattended logging is plenty, and its milliseconds still fit
// the timer.
constexpr double kMaxRunSeconds = 7 * 24 * 3600;

// Plain decimal seconds only: no sign, exponent, hexadecimal, "inf" or "nan", so that whatever is
// accepted is a finite time that ends.
std::optional<int> RunMilliseconds(const QString& text) {
  const std::string s = text.toStdString();
  int digits = 0, points = 0;
  for (char c : s) {
    if (c >= '0' && c <= '9')
      ++digits;
    else if (c == '.')
      ++points;
    else
      return std::nullopt;
  }
  if (digits == 0 || points > 1 || digits > 12) return std::nullopt;
  const double seconds = std::strtod(s.c_str(), nullptr);
  if (!(seconds > 0) || seconds > kMaxRunSeconds) return std::nullopt;
  return std::max(1, static_cast<int>(std::lround(seconds * 1000)));
}

// The kinds --adapter takes, for its error message.
QString AdapterNames() {
  QStringList names;
  for (const auto& info : kd::link::Adapters())
    if (kd::link::AdapterAvailable(info.kind))
      names << QString::fromUtf8(info.name.data(), static_cast<int>(info.name.size()));
  return names.join(", ");
}

int Fail(const QString& message) {
  std::fprintf(stderr, "klinediag: %s\n", qPrintable(message));
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  QCommandLineParser parser;
  const QCommandLineOption help(QStringList{"h", "help"});
  const QCommandLineOption version("version");
  const QCommandLineOption demo("demo");
  const QCommandLineOption port("port", {}, "N=DEVICE");
  const QCommandLineOption screenshot("screenshot", {}, "FILE");
  const QCommandLineOption trace("trace", {}, "FILE");
  const QCommandLineOption ecu("ecu", {}, "TYPE");
  const QCommandLineOption runFor("run-for", {}, "SECONDS");
  const QCommandLineOption screenshotTicks("screenshot-ticks", {}, "N");
  const QCommandLineOption replay("replay", {}, "TRACE");
  const QCommandLineOption adapter("adapter", {}, "KIND");
  const QCommandLineOption openWindow("open", {}, "WINDOW");
  const QCommandLineOption fastPoll("fast-poll");
  parser.addOption(help);
  parser.addOption(version);
  parser.addOption(demo);
  parser.addOption(port);
  parser.addOption(screenshot);
  parser.addOption(trace);
  parser.addOption(ecu);
  parser.addOption(runFor);
  parser.addOption(screenshotTicks);
  parser.addOption(replay);
  parser.addOption(adapter);
  parser.addOption(openWindow);
  parser.addOption(fastPoll);
  // Parsed before any QApplication exists, so that --help and usage errors need no display.
  QStringList args;
  for (int i = 0; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
  if (!parser.parse(args)) return Fail(parser.errorText());
  if (parser.isSet(help)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (parser.isSet(version)) {
    std::fputs("klinediag " KLINEDIAG_VERSION "\n", stdout);
    return 0;
  }
  if (!parser.positionalArguments().isEmpty())
    return Fail("unexpected argument " + parser.positionalArguments().constFirst());

  kd::qt::PortMap map;
  for (const QString& entry : parser.values(port)) {
    auto parsed = kd::qt::ParsePortOverride(entry.toStdString());
    if (!parsed) return Fail("--port expects N=DEVICE with N in 1..8, got \"" + entry + "\"");
    map.Override(parsed->first, parsed->second);
  }
  std::optional<kd::link::AdapterKind> adapterKind;
  if (parser.isSet(adapter)) {
    adapterKind = kd::link::AdapterByName(parser.value(adapter).toStdString());
    if (!adapterKind || !kd::link::AdapterAvailable(*adapterKind))
      return Fail("--adapter expects " + AdapterNames() + ", got \"" + parser.value(adapter) +
                  "\"");
  }
  // The side windows by the names --open takes, and the tool buttons that open them.
  static const std::map<QString, const char*> kSideButtons = {{"eobd", "ToolButton7"},
                                                              {"iso9141", "ToolButton12"},
                                                              {"aps4", "ButtonImmo"},
                                                              {"aps6", "ToolButton13"},
                                                              {"sauo", "SAUOButton"}};
  const char* openButton = nullptr;
  if (parser.isSet(openWindow)) {
    const auto it = kSideButtons.find(parser.value(openWindow));
    if (it == kSideButtons.end())
      return Fail("--open expects eobd, iso9141, aps4, aps6 or sauo, got \"" +
                  parser.value(openWindow) + "\"");
    openButton = it->second;
  }
  unsigned ecuType = 0;
  if (parser.isSet(ecu)) {
    bool ok = false;
    ecuType = parser.value(ecu).toUInt(&ok);
    if (!ok || !kd::catalogue::IsKnownType(ecuType)) return Fail("--ecu expects a type 1..11");
  }
  std::optional<int> runMs;
  if (parser.isSet(runFor)) {
    runMs = RunMilliseconds(parser.value(runFor));
    if (!runMs)
      return Fail(QString("--run-for expects seconds, more than 0 and at most %1, got \"%2\"")
                      .arg(kMaxRunSeconds)
                      .arg(parser.value(runFor)));
  }
  if (parser.isSet(replay) && parser.isSet(demo))
    return Fail("--replay and --demo both say where the bytes come from; give one");
  kd::ui::TraceReplay player;
  if (parser.isSet(replay)) {
    std::string error;
    if (!player.Load(parser.value(replay).toStdString(), error))
      return Fail("--replay: " + QString::fromStdString(error));
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName("klinediag");
  QApplication::setApplicationVersion(KLINEDIAG_VERSION);
  // The menu entry's name, so that the desktop shows the entry's icon for the window.
  QGuiApplication::setDesktopFileName("org.klinediag.klinediag");
  QApplication::setWindowIcon(QIcon::fromTheme("org.klinediag.klinediag"));
  kd::qt::InstallQtTranslations(app, QLocale::system());

  // The demo's simulator and a replay answer at once and stay on the GUI thread, as in the
  // harness; a real device lives with its driver on the port worker's thread, where read windows,
  // writes and a driver's waits for the line never hold the window.
  const auto kind = adapterKind.value_or(kd::link::AdapterKind::KLineAdapter);
  std::unique_ptr<kd::link::SerialPort> serial;
  kd::ui::ReplayPort* replayPort = nullptr;
  std::unique_ptr<kd::link::SerialPort> cableLine;
  std::unique_ptr<kd::link::AdapterPort> demoPort;
  std::unique_ptr<kd::qt::PortWorker> worker;
  kd::link::AdapterPort* adapterPort = nullptr;
  kd::qt::PortMap* ports = nullptr;
  if (parser.isSet(demo)) {
    serial = std::make_unique<kd::sim::SimulatedPort>();
    // The demo on a cable: the simulated car behind a plain K-line, on the real clock.
    if (kind == kd::link::AdapterKind::KLineCable)
      cableLine = std::make_unique<kd::sim::SimulatedCable>(
          static_cast<kd::sim::SimulatedPort&>(*serial), kd::link::SystemLineClock());
    // The demo through an ELM327: the simulated chip in front of the simulated car.
    if (kind == kd::link::AdapterKind::Elm327)
      cableLine =
          std::make_unique<kd::sim::Elm327Sim>(static_cast<kd::sim::SimulatedPort&>(*serial));
    demoPort = std::make_unique<kd::link::AdapterPort>(cableLine ? *cableLine : *serial, kind);
    adapterPort = demoPort.get();
  } else if (parser.isSet(replay)) {
    auto recorded = std::make_unique<kd::ui::ReplayPort>();
    replayPort = recorded.get();
    serial = std::move(recorded);
  } else {
    worker = std::make_unique<kd::qt::PortWorker>([&map, kind] {
      return std::make_unique<kd::qt::DeviceWithAdapter>(
          std::make_unique<kd::qt::QtSerialPort>(std::move(map)), kind);
    });
    worker->SetDispatcher(&kd::qt::Binder::RunLinkEvent);
    // Pictures are taken after ticks driven by hand: each waits for its exchange's outcome.
    kd::qt::Binder::SetTickSettler([w = worker.get()] {
      QElapsedTimer waited;
      waited.start();
      while (w->InFlight() && waited.elapsed() < 5000) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
      }
    });
    // Found once; the adapter kind is an atomic the port dialog may set from here, and the map's
    // entries are fixed: the map is asked on the worker only while an opening holds this thread.
    worker->WithStack([&](kd::link::SerialPort& stack) {
      auto& device = dynamic_cast<kd::qt::DeviceWithAdapter&>(stack);
      adapterPort = &device;
      if (auto* qtPort = dynamic_cast<kd::qt::QtSerialPort*>(&device.Device()))
        ports = &qtPort->Map();
    });
  }

  kd::qt::QtHost host;
  kd::qt::RegisterSideDialogs(host);
  kd::qt::RegisterObdWindows(host);
  host.RegisterDialog("TOKBottomDlg", kd::qt::MakeValueDialog);
  host.RegisterDialog("TForm6", kd::qt::MakePortDialog);
  host.RegisterDialog("TAdapterTest", kd::qt::MakeAdapterTestDialog);
  host.SetUnattended(runMs || parser.isSet(screenshot));
  host.RegisterDialog("TForm9", kd::qt::MakeGraphWindow);
  host.RegisterDialog("TRecordView", kd::qt::MakeRecordView);
  // A replay runs on the bytes the program itself read and wrote: no driver stands between.
  kd::link::SerialPort& linkPort =
      replayPort ? static_cast<kd::link::SerialPort&>(*replayPort)
                 : (worker ? static_cast<kd::link::SerialPort&>(*worker)
                           : static_cast<kd::link::SerialPort&>(*adapterPort));
  kd::ui::MainForm form(linkPort, host);
  form.Port().exchanger = worker.get();
  if (parser.isSet(fastPoll)) form.SetFastPoll(true, false);
  if (replayPort) {
    player.Attach(form, *replayPort, std::cout);
  } else {
    // The demo's simulated hardware is fixed at start: its kind holds whatever the settings keep.
    form.SetAdapterPort(adapterPort, parser.isSet(demo) ? std::optional(kind) : adapterKind);
    if (parser.isSet(demo)) {
      // The demo's adapter answers on every number; the machine's own devices are listed beside it.
      form.SetDeviceWorld({[] {
                             auto present = kd::qt::PresentDevices();
                             present.push_back({"demo", "Симулятор K-line", "klinediag --demo", "",
                                                "", false});
                             return present;
                           },
                           [](int) { return std::string("demo"); }, nullptr});
    } else if (ports) {
      form.SetDeviceWorld({kd::qt::PresentDevices, [ports](int n) { return ports->Platform(n); },
                           [ports](int n) { return ports->Forced(n); }});
      worker->WithStack([ports, &form](kd::link::SerialPort&) {
        ports->SetResolver([&form](int n) { return form.Ports()->DeviceOf(n); });
      });
    }
  }
  if (parser.isSet(demo)) {
    auto* simulator = static_cast<kd::sim::SimulatedPort*>(serial.get());
    form.OnTypeApplied = [simulator](std::uint32_t type) { simulator->SetEcuType(type); };
    form.OnSideWindow = [simulator](const kd::view::Form& window) {
      kd::sim::FitForWindow(simulator->Immobilizer(), window.Name());
    };
  }
  if (parser.isSet(trace) && !form.StartTrace(parser.value(trace).toStdString()))
    return Fail("cannot write the trace " + parser.value(trace));
  if (parser.isSet(demo))
    kd::ui::StartDemo(form);
  else
    form.Start();
  if (ecuType != 0) form.SelectEcuType(ecuType);
  kd::qt::MainWindow window(form);
  host.SetParentWidget(&window);

  int pictureTicks = kScreenshotTicks;
  if (parser.isSet(screenshotTicks)) {
    bool ok = false;
    pictureTicks = parser.value(screenshotTicks).toInt(&ok);
    if (!ok || pictureTicks < 1 || pictureTicks > 1000)
      return Fail("--screenshot-ticks expects 1..1000");
  }
  if (parser.isSet(screenshot)) {
    window.setFixedSize(kScreenshotSize);
    window.show();
    auto settle = [&](int ticks) {
      for (int i = 0; i < ticks; ++i) {
        QApplication::processEvents();
        window.Bindings().Tick(form.Timer1().Name());
      }
      QApplication::processEvents();
    };
    const QString target = parser.value(screenshot);
    if (target.endsWith(".png", Qt::CaseInsensitive)) {
      settle(pictureTicks);
      if (!window.grab().save(target, "PNG")) return Fail("cannot write " + target);
      return 0;
    }
    if (!QDir().mkpath(target)) return Fail("cannot create " + target);
    // A demo picture of the parameter page is worth more with every value on it.
    if (parser.isSet(demo))
      window.Bindings().Forward(form.StringGrid1(), [&] {
        if (auto* all = form.FindAs<kd::view::Button>("Button6")) all->Click();
      });
    const auto& pages = form.PageControl1().Pages();
    for (std::size_t i = 0; i < pages.size(); ++i) {
      window.Bindings().Forward(form.PageControl1(),
                                [&] { form.PageControl1().ClickTab(static_cast<int>(i)); });
      settle(pages[i].name == "TabSheet3" ? std::max(pictureTicks, kIdentScreenshotTicks)
                                          : pictureTicks);
      const QString file = QDir(target).filePath(
          QString("%1-%2.png").arg(i + 1).arg(QString::fromStdString(pages[i].name)));
      if (!window.grab().save(file, "PNG")) return Fail("cannot write " + file);
    }
    // The side windows, each opened from its button as the technician does, run for a full
    // request cycle of their unit before the picture.
    struct Side {
      const char* button;
      const char* file;
      int ticks;
      const char* list;     // a list whose first line is chosen, so that its detail shows
      const char* button2;  // a button clicked half-way, for what only a command shows
    };
    const Side sides[] = {{"ButtonImmo", "aps4.png", 12, nullptr, "Button4"},
                          {"ToolButton13", "aps6.png", 10, nullptr, nullptr},
                          {"SAUOButton", "sauo.png", 10, "ListBox1", nullptr}};
    for (const Side& side : sides) {
      QString failed;
      QTimer::singleShot(0, &window, [&] {
        QPointer<kd::qt::FormDialog> dialog =
            dynamic_cast<kd::qt::FormDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->Bindings()) {
          failed = "no window opened by " + QString(side.button);
          return;
        }
        kd::view::Form& shown = dialog->Bindings()->BoundForm();
        for (int i = 0; i < side.ticks; ++i) {
          if (i == side.ticks / 2 && side.list)
            if (auto* list = shown.FindAs<kd::view::ListBox>(side.list))
              dialog->Bindings()->Forward(*list, [list] { list->Select(0); });
          if (i == side.ticks / 2 && side.button2)
            if (auto* b = shown.FindAs<kd::view::Button>(side.button2))
              dialog->Bindings()->Forward(*b, [b] { b->Click(); });
          dialog->Bindings()->Tick("Timer1");
          QApplication::processEvents();
        }
        const QString file = QDir(target).filePath(side.file);
        if (!dialog->grab().save(file, "PNG")) failed = "cannot write " + file;
        dialog->close();
      });
      auto* button = form.FindAs<kd::view::Button>(side.button);
      window.Bindings().Forward(*button, [button] { button->Click(); });
      if (!failed.isEmpty()) return Fail(failed);
    }
    // The OBD windows, one picture per page.
    const struct {
      const char* button;
      const char* prefix;
    } obdWindows[] = {{"ToolButton7", "eobd"}, {"ToolButton12", "iso9141"}};
    for (const auto& side : obdWindows) {
      auto* opener = form.FindAs<kd::view::Button>(side.button);
      if (opener && opener->Enabled() &&
          !kd::qt::ShootSideWindow(*opener, window.Bindings(), window, target, side.prefix,
                                   kSideWindowTicks, kSideWindowSize))
        return Fail(QString("cannot write the pictures of ") + side.button);
    }
    // The port dialog, with the device behind each number, and the adapter check's list.
    const auto shootDialog = [&](const char* name, const std::function<void()>& open) {
      QString failed;
      QTimer::singleShot(0, &window, [&] {
        QPointer<kd::qt::FormDialog> dialog =
            dynamic_cast<kd::qt::FormDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
          failed = QString("no dialog opened for ") + name;
          return;
        }
        QApplication::processEvents();
        const QString file = QDir(target).filePath(name);
        if (!dialog->grab().save(file, "PNG")) failed = "cannot write " + file;
        dialog->close();
      });
      open();
      return failed;
    };
    auto* comButton = form.FindAs<kd::view::Button>("ComButton");
    if (const QString failed = shootDialog(
            "port-dialog.png",
            [&] { window.Bindings().Forward(*comButton, [comButton] { comButton->Click(); }); });
        !failed.isEmpty())
      return Fail(failed);
    if (auto* adapterTest = form.FindAs<kd::view::MenuItem>("AdapterTest1"))
      if (const QString failed = shootDialog(
              "adapter-check.png",
              [&] {
                window.Bindings().Forward(*adapterTest, [adapterTest] { adapterTest->Click(); });
              });
          !failed.isEmpty())
        return Fail(failed);
    // The identifiers page's value dialog, opened on the VIN with a new value typed, and left
    // with Cancel so that nothing is written.
    const int identTab = form.PageControl1().IndexOf("TabSheet3");
    window.Bindings().Forward(form.PageControl1(), [&] { form.PageControl1().ClickTab(identTab); });
    QString failed;
    QTimer::singleShot(0, &window, [&] {
      QPointer<kd::qt::FormDialog> dialog =
          dynamic_cast<kd::qt::FormDialog*>(QApplication::activeModalWidget());
      if (!dialog || !dialog->Bindings()) {
        failed = "no value dialog opened";
        return;
      }
      kd::view::Form& shown = dialog->Bindings()->BoundForm();
      if (auto* edit = shown.FindAs<kd::view::Edit>("Edit1"))
        dialog->Bindings()->Forward(*edit, [edit] { edit->SetText("XTA21124079999999"); });
      QApplication::processEvents();
      const QString file = QDir(target).filePath("value-dialog.png");
      if (!dialog->grab().save(file, "PNG")) failed = "cannot write " + file;
      if (auto* cancel = shown.FindAs<kd::view::Button>("CancelBtn"))
        dialog->Bindings()->Forward(*cancel, [cancel] { cancel->Click(); });
      dialog->close();
    });
    if (auto* grid = form.FindAs<kd::view::Grid>("StringGrid4"))
      window.Bindings().Forward(*grid, [grid] {
        grid->SelectCell(1, 0);
        if (grid->OnDblClick) grid->OnDblClick();
      });
    if (!failed.isEmpty()) return Fail(failed);
    // The recording viewer, on a short drive of the demo's car.
    if (parser.isSet(demo)) {
      const QString viewer = kd::qt::ShootRecordView(form, window.Bindings(), window, target,
                                                     kRecordViewTicks, kSideWindowSize * 3 / 2);
      if (!viewer.isEmpty()) return Fail(viewer);
    }
    if (!kd::qt::ShootHelpAndPrint(window, host, target))
      return Fail("cannot write the pictures of the help window and the print preview");
    return 0;
  }

  if (runMs)
    QTimer::singleShot(*runMs, &window, [&window] {
      // A side window open from --open or a click ends first; the main window closes once its
      // modal loop has returned.
      if (QWidget* modal = QApplication::activeModalWidget()) {
        modal->close();
        QTimer::singleShot(0, &window, [&window] { window.close(); });
        return;
      }
      window.close();
    });
  host.SetSettings(&form.Settings());
  const QWidget* toolBar = window.findChild<QWidget*>("ToolBar1");
  const QSize toolBarHint = toolBar ? toolBar->sizeHint() : QSize();
  if (kd::qt::PlaceMainWindow(window, form.Settings(), kd::qt::AvailableArea(&window), toolBarHint))
    window.showMaximized();
  else
    window.show();
  if (openButton)
    QTimer::singleShot(0, &window, [&window, &form, openButton] {
      if (auto* button = form.FindAs<kd::view::Button>(openButton); button && button->Enabled())
        window.Bindings().Forward(*button, [button] { button->Click(); });
    });
  return QApplication::exec();
}
