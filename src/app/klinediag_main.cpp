// klinediag [--demo] [--port N=DEVICE]... [--screenshot FILE]
#include <QApplication>
#include <QCommandLineParser>
#include <QPixmap>
#include <QStringList>
#include <cstdio>
#include <memory>

#include "qt/main_window.h"
#include "qt/qt_host.h"
#include "qt/qt_serial_port.h"
#include "sim/simulated_port.h"
#include "ui/main_form.h"

namespace {

// Ticks a screenshot waits for: enough for the session to open and the first data to arrive.
constexpr int kScreenshotTicks = 5;
constexpr QSize kScreenshotSize{1280, 800};

constexpr const char* kUsage =
    "usage: klinediag [--demo] [--port N=DEVICE]... [--screenshot FILE]\n"
    "K-line diagnostic scanner-tester for engine controllers.\n"
    "  --demo             run against the built-in simulated adapter and controllers\n"
    "  --port N=DEVICE    open DEVICE for port number N (1..8); may be repeated\n"
    "                     (default: COMn on Windows; /dev/ttyUSB(N-1) if present,\n"
    "                     else /dev/ttyS(N-1) on Linux)\n"
    "  --screenshot FILE  run a few timer ticks, save the main window (1280x800) as\n"
    "                     PNG to FILE and exit\n"
    "  -h, --help         show this text\n";

int Fail(const QString& message) {
  std::fprintf(stderr, "klinediag: %s\n", qPrintable(message));
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  QCommandLineParser parser;
  const QCommandLineOption help(QStringList{"h", "help"});
  const QCommandLineOption demo("demo");
  const QCommandLineOption port("port", {}, "N=DEVICE");
  const QCommandLineOption screenshot("screenshot", {}, "FILE");
  parser.addOption(help);
  parser.addOption(demo);
  parser.addOption(port);
  parser.addOption(screenshot);
  // Parsed before any QApplication exists, so that --help and usage errors need no display.
  QStringList args;
  for (int i = 0; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
  if (!parser.parse(args)) return Fail(parser.errorText());
  if (parser.isSet(help)) {
    std::fputs(kUsage, stdout);
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
  QApplication app(argc, argv);
  QApplication::setApplicationName("klinediag");

  std::unique_ptr<kd::link::SerialPort> serial;
  if (parser.isSet(demo))
    serial = std::make_unique<kd::sim::SimulatedPort>();
  else
    serial = std::make_unique<kd::qt::QtSerialPort>(std::move(map));

  kd::qt::QtHost host;
  kd::ui::MainForm form(*serial, host);
  form.Start();
  kd::qt::MainWindow window(form);
  host.SetParentWidget(&window);

  if (parser.isSet(screenshot)) {
    window.setFixedSize(kScreenshotSize);
    window.show();
    for (int i = 0; i < kScreenshotTicks; ++i) {
      QApplication::processEvents();
      window.Bindings().Tick(form.Timer1().Name());
    }
    QApplication::processEvents();
    const QString file = parser.value(screenshot);
    if (!window.grab().save(file, "PNG")) return Fail("cannot write " + file);
    return 0;
  }

  window.showMaximized();
  return QApplication::exec();
}
