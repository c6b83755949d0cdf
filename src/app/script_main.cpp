// klinediag-script [--workdir DIR] [--demo] [--trace FILE] [--replay TRACE] [SCRIPT]
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

#include "harness/script_runner.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
  // The output is a byte-exact contract: no CR is put before each LF.
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  kd::harness::RunOptions options;
  std::string script;
  std::string workdir;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--workdir" && i + 1 < argc) {
      workdir = argv[++i];
    } else if (arg == "--trace" && i + 1 < argc) {
      options.tracePath = argv[++i];
    } else if (arg == "--replay" && i + 1 < argc) {
      // Named, like the script, relative to where the harness was started.
      options.replayPath = std::filesystem::absolute(argv[++i]).string();
    } else if (arg == "--adapter" && i + 1 < argc) {
      const auto kind = kd::link::AdapterByName(argv[++i]);
      if (!kind || !kd::link::AdapterAvailable(*kind)) {
        std::cerr << "klinediag-script: unknown adapter " << argv[i] << '\n';
        return 2;
      }
      options.adapter = *kind;
      options.adapterGiven = true;
    } else if (arg == "--elm-clone" && i + 1 < argc) {
      if (std::string_view(argv[++i]) != "v1.5") {
        std::cerr << "klinediag-script: --elm-clone expects v1.5\n";
        return 2;
      }
      options.elmClone = true;
    } else if (arg == "--obd-bus" && i + 1 < argc) {
      const std::string_view bus = argv[++i];
      if (bus == "can11") {
        options.obdBus = kd::sim::ObdBus::Can11;
      } else if (bus == "can29") {
        options.obdBus = kd::sim::ObdBus::Can29;
      } else {
        std::cerr << "klinediag-script: --obd-bus expects can11 or can29\n";
        return 2;
      }
    } else if (arg == "--demo") {
      options.demo = true;
    } else if (arg == "--version") {
      std::cout << "klinediag-script " KLINEDIAG_VERSION "\n";
      return 0;
    } else if (arg == "--help" || arg == "-h") {
      std::cout
          << "usage: klinediag-script [--workdir DIR] [--demo] [--trace FILE] [--adapter KIND]\n"
             "                        [--elm-clone v1.5] [--obd-bus can11|can29]\n"
             "                        [--replay TRACE] [SCRIPT]\n"
             "       klinediag-script --version\n"
             "Runs the main window on a scripted port (or the simulator with --demo, or\n"
             "the recorded reads of TRACE, one tick of it a firing, with --replay),\n"
             "driven by SCRIPT or standard input, and prints what it shows.\n"
             "--adapter KIND puts that adapter's driver between the program and the port\n"
             "(adapter: the K-line adapter, the default; kline: a plain K-line cable;\n"
             "elm327: an ELM327, with --demo the simulated one, a v1.5 clone with\n"
             "--elm-clone v1.5; --obd-bus can11|can29: the simulated car's generic OBD\n"
             "answers only on CAN with 11- or 29-bit identifiers).\n";
      return 0;
    } else if (script.empty() && !arg.starts_with("--")) {
      script = arg;
    } else {
      std::cerr << "klinediag-script: unknown argument " << arg << '\n';
      return 2;
    }
  }
  std::ifstream file;
  if (!script.empty()) {
    file.open(script);
    if (!file) {
      std::cerr << "klinediag-script: cannot read " << script << '\n';
      return 2;
    }
  }
  // The script is named relative to where the harness was started, not to its working folder.
  if (!workdir.empty()) {
    std::error_code ec;
    std::filesystem::current_path(workdir, ec);
    if (ec) {
      std::cerr << "klinediag-script: cannot enter " << workdir << ": " << ec.message() << '\n';
      return 2;
    }
  }
  kd::harness::ScriptRunner runner(script.empty() ? std::cin : file, std::cout, options);
  return runner.Run();
}
