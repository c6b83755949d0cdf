// klinediag-sim: the simulated adapter and controller served on a pseudo-terminal, so that the
// program's real serial-port path can be driven end to end without a car.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sim/elm327_sim.h"
#include "sim/pty_server.h"
#include "sim/simulated_port.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;

extern "C" void OnStopSignal(int) {
  stopRequested = 1;
}

constexpr const char* kHelp =
    R"(Usage: klinediag-sim --pty [--adapter KIND] [--ecu TYPE] [--fault NAME[=VALUE]]...
                     [--ignore-line-settings] [--pace] [--pace-bytes]
                     [--elm-clone v1.5]
                     [--elm-rate BAUD] [--obd-bus can11|can29]

Serves a simulated K-line adapter with one controller behind it on a pseudo-terminal. The slave's
path is printed on standard output as a single line; open it from the program as the serial port
(for klinediag: --port N=PATH). Runs until SIGTERM or SIGINT.

  --pty                   serve a pseudo-terminal (the only mode, and required)
  --adapter KIND          what the program finds on the terminal (default adapter):
                            adapter  the K-line adapter: enveloped frames at 115200 8N2
                            kline    a plain K-line cable: the program drives the line at
                                     10,400 baud itself; every byte comes back as its echo,
                                     a zero byte at 360 baud is the fast-initialisation pulse,
                                     the line set to 5 baud is the 5-baud address 0x33
                            elm327   an ELM327: AT commands and requests as text, answers as
                                     text ended by ">", at 38400 8N1 unless --elm-rate
  --ecu TYPE              the controller, as the main window numbers the types (default 1):
                            1 M1.5.4        2 January 5.1    3 MP7.0         4 January 4.1
                            5 GM ISFI-2S    6 M7.9.7         7 MP7.0 Euro-3  8 M10
                            9 January 7.2  10 Mikas 7.2     11 EMUR
  --fault NAME[=VALUE]    switch a fault on for the whole run; may be repeated:
                            silence          the controller does not answer (the echo still comes)
                            garbage[=N]      N random bytes instead of each answer (default 12)
                            bad-checksum     every answer's checksum is one off
                            negative[=CODE]  every KWP2000 request refused: 7F SID CODE
                                             (default 0x22 conditionsNotCorrect)
                            pending[=N]      N answers 7F SID 78 in front of each KWP2000 answer
                                             (default 1)
                            late             each answer comes about 450 ms after the request,
                                             past the program's read window
                            unplugged[=S]    the adapter is not there: nothing comes back;
                                             with S, it is plugged in S seconds after start
                          VALUE is decimal or 0x-prefixed hexadecimal.
  --ignore-line-settings  do not read the line settings the program gave the terminal: take
                          every write as if made at the settings the controller needs
  --pace                  keep the K-line's time for enveloped frames: the request's and
                          the answer's bytes take 10 bits each at 10,400 baud (P4min between
                          the request's bytes), the answer comes P2min after the request, and
                          a request that starts before P3min after the last answer is not
                          answered (its echo still comes); P2min, P3min and P4min as
                          AccessTimingParameters set them, else the ISO 14230 defaults
                          (25, 55 and 5 ms); a write ends with its envelope's count.
                          With --adapter elm327 the chip's answer to a request line comes
                          when its K-line would have carried the frame (header, data,
                          checksum, P4min apart, P3min after the last answer) and the
                          controller's reply P2min later; its AT commands at once
  --pace-bytes            --pace, and each byte of the echo and the answer is handed on
                          when its last bit is in, as a low-latency USB adapter does,
                          instead of each in one piece (not with --adapter elm327)
  --version               print the version and exit
  --elm-clone v1.5        the ELM327 is a v1.5 clone: "?" to AT FI, AT SI, AT KW and AT AL,
                          the bus started by the first request, long requests cut
  --elm-rate BAUD         the rate the ELM327 talks at (default 38400)
  --obd-bus can11|can29   the car's generic OBD side answers only on CAN (ISO 15765-4, 500
                          kbit/s, 11- or 29-bit identifiers; ELM protocol 6 or 7) with two units,
                          the engine controller at 7E8 / 18 DA F1 10 and a second at 7E9 /
                          18 DA F1 18; the K-line initialisations at address 33 fail
  --help                  this text

The adapter answers at 115200 8N2 (enveloped frames), 9600 8N1 and 8192 8N1 (bare frames); at
any other setting the program's bytes come back as nothing at all.
)";

int Fail(const std::string& message) {
  std::cerr << "klinediag-sim: " << message << "\n(--help lists the options)\n";
  return 2;
}

bool ParseNumber(std::string_view text, int& out) {
  if (text.empty()) return false;
  const std::string s(text);
  char* end = nullptr;
  const long v = std::strtol(s.c_str(), &end, 0);
  if (*end != '\0' || v < 0 || v > 0xFFFF) return false;
  out = static_cast<int>(v);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  bool pty = false;
  int ecuType = 1;
  kd::sim::PtyOptions options;
  struct Switch {
    kd::sim::Fault fault;
    int value;
  };
  std::vector<Switch> faults;
  bool elm = false;
  kd::sim::ElmOptions elmOptions;

  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    if (arg == "--help" || arg == "-h") {
      std::cout << kHelp;
      return 0;
    } else if (arg == "--version") {
      std::cout << "klinediag-sim " KLINEDIAG_VERSION "\n";
      return 0;
    } else if (arg == "--pty") {
      pty = true;
    } else if (arg == "--pace") {
      options.pace = true;
    } else if (arg == "--pace-bytes") {
      options.pace = true;
      options.paceBytes = true;
    } else if (arg == "--adapter") {
      const char* v = next();
      const std::string_view kind = v ? v : "";
      if (kind == "kline")
        options.cable = true;
      else if (kind == "elm327")
        elm = true;
      else if (kind != "adapter")
        return Fail("--adapter expects adapter, kline or elm327");
    } else if (arg == "--ignore-line-settings") {
      options.followLineSettings = false;
    } else if (arg == "--elm-clone") {
      const char* v = next();
      if (!v || std::string_view(v) != "v1.5") return Fail("--elm-clone expects v1.5");
      elmOptions.clone = kd::sim::ElmClone::V15;
    } else if (arg == "--obd-bus") {
      const char* v = next();
      const std::string_view bus = v ? v : "";
      if (bus == "can11")
        elmOptions.obdBus = kd::sim::ObdBus::Can11;
      else if (bus == "can29")
        elmOptions.obdBus = kd::sim::ObdBus::Can29;
      else
        return Fail("--obd-bus expects can11 or can29");
    } else if (arg == "--elm-rate") {
      const char* v = next();
      int rate = 0;
      if (!v || !ParseNumber(v, rate) || rate <= 0) {
        // ParseNumber stops at 0xFFFF; the chip's rates go further.
        const long big = v ? std::strtol(v, nullptr, 10) : 0;
        if (big != 115200 && big != 230400) return Fail("--elm-rate expects a baud rate");
        rate = static_cast<int>(big);
      }
      elmOptions.baud = rate;
    } else if (arg == "--ecu") {
      const char* v = next();
      if (!v || !ParseNumber(v, ecuType) || ecuType < 1 || ecuType > 11)
        return Fail("--ecu expects a type 1..11");
    } else if (arg == "--fault") {
      const char* v = next();
      if (!v) return Fail("--fault expects NAME[=VALUE]");
      const std::string_view text = v;
      const auto eq = text.find('=');
      const auto fault = kd::sim::FaultByName(text.substr(0, eq));
      if (!fault) return Fail("unknown fault \"" + std::string(text.substr(0, eq)) + "\"");
      int value = 0;
      if (eq != std::string_view::npos && !ParseNumber(text.substr(eq + 1), value))
        return Fail("--fault " + std::string(text) + ": the value must be a number");
      faults.push_back({*fault, value});
    } else {
      return Fail("unknown argument \"" + std::string(arg) + "\"");
    }
  }
  if (!pty) return Fail("nothing to do: --pty is required");
  if (!elm && (elmOptions.obdBus != kd::sim::ObdBus::KLine ||
               elmOptions.clone != kd::sim::ElmClone::Genuine || elmOptions.baud != 38400))
    return Fail("--obd-bus, --elm-clone and --elm-rate need --adapter elm327");
  if (options.pace && options.cable)
    return Fail(
        "--pace keeps the time of the K-line adapter's envelopes and the ELM327's K-line:"
        " not with --adapter kline");
  if (options.pace && elmOptions.obdBus != kd::sim::ObdBus::KLine)
    return Fail("--pace keeps the K-line's time: not with --obd-bus");
  if (options.paceBytes && elm)
    return Fail("--pace-bytes hands on the K-line adapter's bytes: not with --adapter elm327");
  if (options.cable && !options.followLineSettings)
    return Fail("--adapter kline needs the line settings: the cable's signals are its rates");

  kd::sim::SimulatedPort port(static_cast<std::uint32_t>(ecuType));
  for (const Switch& s : faults) {
    if (s.fault == kd::sim::Fault::Unplugged) {
      port.SetFault(s.fault);
      options.replugAfterMs = s.value * 1000;
    } else {
      port.SetFault(s.fault, s.value);
    }
  }

  std::unique_ptr<kd::sim::Elm327Sim> chip;
  if (elm) {
    chip = std::make_unique<kd::sim::Elm327Sim>(port, elmOptions);
    options.front = chip.get();
    options.frontSettings = {elmOptions.baud, 'n', 8, 1};
  }
  kd::sim::PtyServer server(port, options);
  std::string error;
  if (!server.Open(error)) return Fail(error);

  std::signal(SIGTERM, OnStopSignal);
  std::signal(SIGINT, OnStopSignal);
  std::cout << server.SlavePath() << std::endl;

  while (!stopRequested) {
    if (!server.Step(50)) return Fail("the pseudo-terminal failed");
  }
  return 0;
}
