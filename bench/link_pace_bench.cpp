// The program's link against the paced simulator, measured as a user feels it: cycles per second
// against what the K-line could carry with the same bytes and timing, and the GUI thread's
// longest stall in each 300 ms tick (a 1 ms probe timer on the GUI thread), on the parameter
// page, the parameter page with its chart, the fault page and with a side window open, beside
// an idle window's (the system's share) and the GUI thread's own CPU time within each stall.
//
// link_pace_bench [--sync | --fast] [--bytes] [--seconds S] [--only VIEW]
//   --sync   the port on the GUI thread, read and write waited for there (the tick before the
//            port worker), for comparison
//   --fast   fast poll on
//   --bytes  the simulator hands each byte on when the line has carried it, as a low-latency USB
//            adapter does, instead of the echo and the reply each in one piece
//   --only   one view of the table below ("side window", say), for a profiler
// The CPU the program takes (the GUI thread and the port worker, not the simulator's thread) is
// measured in runs of their own, without the probe timer.
// Not a test: the figures depend on the machine and its load.
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/kwp.h"
#include "qt/binder.h"
#include "qt/main_window.h"
#include "qt/port_worker.h"
#include "qt/qt_host.h"
#include "qt/qt_serial_port.h"
#include "qt/side_dialogs.h"
#include "sim/pty_server.h"
#include "sim/simulated_port.h"
#include "ui/main_form.h"
#include "view/host.h"

namespace {

using namespace kd;

double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// The program's threads, each by its own clock: the GUI thread (the caller) and the port worker's,
// read on the worker between exchanges. The simulator's thread and Qt's idle helpers are not the
// program's work.
struct ProgramCpu {
  double gui = 0, worker = 0;
};
ProgramCpu ProgramCpuSeconds(qt::PortWorker* worker) {
  ProgramCpu cpu;
  if (worker) worker->WithStack([&](link::SerialPort&) { cpu.worker = ThreadCpuSeconds(); });
  cpu.gui = ThreadCpuSeconds();
  return cpu;
}

// The simulated adapter and controller on a pty, paced, served from a thread of its own.
class PacedSim {
 public:
  PacedSim(std::uint32_t type, bool bytes) : port_(type), server_(port_, Options(bytes)) {
    std::string error;
    if (!server_.Open(error)) {
      std::fprintf(stderr, "link_pace_bench: %s\n", error.c_str());
      std::exit(2);
    }
    thread_ = std::thread([this] {
      while (!stop_) {
        std::lock_guard lock(mutex_);
        // A long wait: the server wakes by itself for the program's bytes and for every byte it
        // has to hand on, so polling it often only takes the program's two cores from it.
        server_.Step(50);
      }
    });
  }
  ~PacedSim() {
    stop_ = true;
    thread_.join();
  }
  const std::string& Path() const { return server_.SlavePath(); }
  sim::KwpController::LineTiming Timing() {
    std::lock_guard lock(mutex_);
    return port_.LineTiming();
  }

 private:
  static sim::PtyOptions Options(bool bytes) {
    sim::PtyOptions o;
    o.pace = true;
    o.paceBytes = bytes;
    return o;
  }
  sim::SimulatedPort port_;
  sim::PtyServer server_;
  std::mutex mutex_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

struct Figures {
  double cyclesPerSecond = 0;
  double limit = 0;
  double cpuPercent = 0, guiCpuPercent = 0;
  double stallP50 = 0, stallP99 = 0, stallMax = 0;
  // The GUI thread's own CPU time within its longest stall of each tick: what the program did
  // there, as against the time the system gave the thread to others.
  double busyP99 = 0;
};

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const auto i = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
  return v[std::min(i, v.size() - 1)];
}

// Idle: the main window shown and never started, no tick and no port: what the system alone does
// to the probe, the floor under every other row's stalls.
enum class View { Idle, Params, ParamsChart, Faults, SideWindow };

struct Mode {
  bool sync = false, fast = false, bytes = false;
  int seconds = 10;
};

Figures Run(std::uint32_t type, View view, const Mode& mode, bool probing) {
  const bool sync = mode.sync;
  const int seconds = mode.seconds;
  PacedSim sim(type, mode.bytes);
  QTemporaryDir dir;
  const QString previous = QDir::currentPath();
  QDir::setCurrent(dir.path());

  qt::PortMap map;
  map.Override(2, sim.Path());
  std::unique_ptr<link::SerialPort> port;
  qt::PortWorker* worker = nullptr;
  if (sync) {
    port = std::make_unique<qt::QtSerialPort>(map);
  } else {
    auto owned = std::make_unique<qt::PortWorker>(
        [&map] { return std::make_unique<qt::QtSerialPort>(map); });
    owned->SetDispatcher(&qt::Binder::RunLinkEvent);
    worker = owned.get();
    port = std::move(owned);
  }
  qt::QtHost host;
  host.SetUnattended(true);
  qt::RegisterSideDialogs(host);
  ui::MainForm form(*port, host);
  form.Port().exchanger = worker;
  form.SetFastPoll(mode.fast, false);
  if (view != View::Idle) {
    form.Start();
    form.SelectEcuType(type);
  }
  qt::MainWindow window(form);
  host.SetParentWidget(&window);
  window.resize(1280, 800);
  window.show();
  if (auto* all = form.FindAs<view::Button>("Button6"))
    window.Bindings().Forward(*all, [all] { all->Click(); });

  // Data replies and the bytes of the last one (echo and answer).
  int cycles = 0;
  std::size_t lineBytes = 0, requestBytes = 0;
  bool counting = false;
  form.Port().onTick = [&](std::span<const std::uint8_t> read,
                           std::span<const std::uint8_t> written) {
    if (!counting) return;
    if (read.size() > 20) {
      ++cycles;
      lineBytes = read.size();
    }
    if (written.size() > 5) requestBytes = written.size() - 5;
  };

  std::vector<double> stalls;
  double worst = 0, worstBusy = 0;
  std::vector<double> busy;
  double lastCpu = 0;
  QElapsedTimer clock;
  qint64 lastNs = 0;
  QTimer probe;
  probe.setTimerType(Qt::PreciseTimer);
  QObject::connect(&probe, &QTimer::timeout, [&] {
    const qint64 now = clock.nsecsElapsed();
    const double cpu = ThreadCpuSeconds();
    const double gap = (now - lastNs) / 1e6 - 1.0;
    if (lastNs && gap > worst) {
      worst = gap;
      worstBusy = (cpu - lastCpu) * 1e3;
    }
    lastNs = now;
    lastCpu = cpu;
  });
  QTimer window300;
  QObject::connect(&window300, &QTimer::timeout, [&] {
    if (counting) {
      stalls.push_back(std::max(0.0, worst));
      busy.push_back(worstBusy);
    }
    worst = 0;
    worstBusy = 0;
  });

  ProgramCpu cpuSeconds;
  auto measure = [&] {
    // The session opens and the timing is negotiated first.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 3000) QApplication::processEvents(QEventLoop::AllEvents, 10);
    clock.start();
    lastNs = 0;
    if (probing) probe.start(1);
    window300.start(300);
    counting = true;
    const ProgramCpu cpuFrom = ProgramCpuSeconds(worker);
    QElapsedTimer run;
    run.start();
    // Waiting in the event loop itself, as the program does: no polling loop of the bench's own.
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    const ProgramCpu cpuTo = ProgramCpuSeconds(worker);
    cpuSeconds = ProgramCpu{cpuTo.gui - cpuFrom.gui, cpuTo.worker - cpuFrom.worker};
    counting = false;
    probe.stop();
    window300.stop();
  };

  if (view == View::ParamsChart)
    if (auto* chart = form.FindAs<view::Button>("GraphButton"))
      window.Bindings().Forward(*chart, [chart] { chart->Click(); });
  if (view == View::Faults)
    window.Bindings().Forward(form.PageControl1(), [&] {
      form.PageControl1().ClickTab(form.PageControl1().IndexOf("TabSheet2"));
    });
  if (view == View::SideWindow) {
    QTimer::singleShot(0, [&] {
      measure();
      if (auto* dialog = QApplication::activeModalWidget()) dialog->close();
    });
    auto* button = form.FindAs<view::Button>("SAUOButton");
    window.Bindings().Forward(*button, [button] { button->Click(); });
  } else {
    measure();
  }

  Figures f;
  f.cyclesPerSecond = cycles / static_cast<double>(seconds);
  f.cpuPercent = 100 * (cpuSeconds.gui + cpuSeconds.worker) / seconds;
  f.guiCpuPercent = 100 * cpuSeconds.gui / seconds;
  const auto t = sim.Timing();
  if (lineBytes > 0) {
    const double cycleMs = lineBytes * sim::kKLineByteUs / 1000 + t.p2Min + t.p3Min +
                           (requestBytes > 0 ? (requestBytes - 1) * t.p4Min : 0);
    f.limit = 1000 / cycleMs;
  }
  f.stallP50 = Percentile(stalls, 0.5);
  f.stallP99 = Percentile(stalls, 0.99);
  f.stallMax = stalls.empty() ? 0 : *std::max_element(stalls.begin(), stalls.end());
  f.busyP99 = Percentile(busy, 0.99);
  form.Port().onTick = nullptr;
  window.hide();
  QDir::setCurrent(previous);
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  Mode mode;
  std::string only;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--sync") == 0)
      mode.sync = true;
    else if (std::strcmp(argv[i], "--fast") == 0)
      mode.fast = true;
    else if (std::strcmp(argv[i], "--bytes") == 0)
      mode.bytes = true;
    else if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc)
      mode.seconds = std::max(1, std::atoi(argv[++i]));
    else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc)
      only = argv[++i];
    else {
      std::fprintf(stderr,
                   "usage: link_pace_bench [--sync | --fast] [--bytes] [--seconds S] "
                   "[--only VIEW]\n");
      return 2;
    }
  }
  if (mode.sync && mode.fast) {
    std::fprintf(stderr, "link_pace_bench: fast poll needs the port worker\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  std::printf(
      "tick: %s%s, %s, %d s a case\n", mode.sync ? "synchronous (GUI thread)" : "port worker",
      mode.fast ? ", fast poll" : "",
      mode.bytes ? "the line's bytes one by one" : "echo and reply each whole", mode.seconds);
  std::printf("%-5s %-14s %9s %9s %7s %10s %10s %10s %10s\n", "type", "view", "cycles/s", "limit/s",
              "ratio", "stall p50", "stall p99", "stall max", "busy p99");
  struct Case {
    std::uint32_t type;
    View view;
    const char* name;
  };
  const Case cases[] = {{6, View::Idle, "idle window"},
                        {6, View::Params, "parameters"},
                        {8, View::Params, "parameters"},
                        {6, View::ParamsChart, "param+chart"},
                        {6, View::Faults, "faults"},
                        {6, View::SideWindow, "side window"}};
  for (const Case& c : cases) {
    if (!only.empty() && only != c.name) continue;
    const Figures f = Run(c.type, c.view, mode, true);
    std::printf("%-5u %-14s %9.2f %9.2f %6.0f%% %8.2fms %8.2fms %8.2fms %8.2fms\n", c.type, c.name,
                f.cyclesPerSecond, f.limit, f.limit > 0 ? 100 * f.cyclesPerSecond / f.limit : 0,
                f.stallP50, f.stallP99, f.stallMax, f.busyP99);
    std::fflush(stdout);
  }
  for (std::uint32_t type : {6u, 8u}) {
    if (!only.empty() && only != "parameters") break;
    const Figures f = Run(type, View::Params, mode, false);
    std::printf("%-5u %-14s %9.2f cycles/s, CPU %.2f%% of a core, GUI thread %.2f%% (no probe)\n",
                type, "parameters", f.cyclesPerSecond, f.cpuPercent, f.guiCpuPercent);
    std::fflush(stdout);
  }
  return 0;
}
