// Every type's data, decoded here from the built-in table's columns by the byte layouts, must
// read as a running car: plausible numbers, flags that agree with them, an engine that revs up
// on the drive and a coolant that warms.
#include <cmath>
#include <map>
#include <string>

#include "catalogue/ecu_catalogue.h"
#include "catalogue/param_tables.h"
#include "sim_fixture.h"
#include "text/cp1251.h"

namespace kd::sim::test {
namespace {

using catalogue::LinkFamily;
using catalogue::ParamRecord;

struct Reading {
  std::string name;  // UTF-8
  char kind = 0;
  double value = 0;
  bool flag = false;
};

// Rows read by position: KWP2000 from the byte in front of the service identifier, GM from the
// mode byte; two-byte values high byte first on GM, MP7.0, MP7.0 Euro-3 and M7.9.7.
Reading ByPosition(std::uint32_t type, const ParamRecord& r, const Bytes& reply, std::size_t base) {
  auto u = [&](std::int64_t i) -> int {
    const std::int64_t at = static_cast<std::int64_t>(base) + i;
    return at >= 0 && at < static_cast<std::int64_t>(reply.size())
               ? reply[static_cast<std::size_t>(at)]
               : 0;
  };
  auto s8 = [&](std::int64_t i) { return u(i) >= 128 ? u(i) - 256 : u(i); };
  const bool gm = type == 5, high = gm || type == 3 || type == 6 || type == 7;
  const int k = r.dataOffset;
  const int lo16 = u(k) + 256 * u(k + 1), hi16 = u(k) * 256 + u(k + 1);
  const double scale = r.scale, offset = r.offset;
  Reading x{text::Cp1251ToUtf8(catalogue::FieldText(r.name)), r.kind};
  if (r.kind == 'B') x.flag = (u(k) >> r.bit) & 1;
  if (r.kind == 'C') x.value = gm ? std::abs((u(k) - 128) / 256.0) - 0.5 : s8(k) / 256.0;
  if (r.kind == 'D') x.value = (u(k) * 256 + u(r.bit)) * scale + offset;
  if (r.kind == 'H') x.value = gm ? hi16 : lo16;
  if (r.kind == 'P' || r.kind == 'S') {
    const int period = gm ? hi16 : lo16;
    int raw = r.width == 2 ? (high ? hi16 : lo16) : u(k);
    if (r.kind == 'S') raw = r.width == 2 ? (raw >= 32768 ? raw - 65536 : raw) : s8(k);
    x.value = scale == -1 && period != 0 ? (r.width == 2 ? offset / period : u(k) * offset)
                                         : raw * scale + offset;
  }
  return x;
}

// The data the parameter page gets from a controller of `type` whose engine has run `ms`.
std::vector<Reading> Readings(std::uint32_t type, std::int64_t ms) {
  SimulatedPort port(type);
  port.SetClock([ms] { return ms; });
  port.Open(1);
  const auto family = catalogue::Lookup(type).family;
  port.ApplyLineSettings(family == LinkFamily::Kwp2000 ? kKwpLine
                         : family == LinkFamily::Gm    ? kGmLine
                                                       : kEscapedLine);
  auto exchange = [&](const Bytes& written, std::size_t echo) {
    port.Write(written.data(), written.size());
    Bytes read(256);
    read.resize(port.Read(read.data(), read.size()));
    return Bytes(read.begin() + static_cast<std::ptrdiff_t>(std::min(echo, read.size())),
                 read.end());
  };
  const auto rows = catalogue::BuiltInParams(type);
  std::vector<Reading> out;
  if (family == LinkFamily::Escaped) {
    // Asked for every row in list order; the values come back as wide as each row's kind.
    Bytes message{0x61};
    for (const ParamRecord& r : rows) message.push_back(static_cast<std::uint8_t>(r.dataOffset));
    const Bytes line = EscapedFrame(message);
    const Bytes body = Unstuff(exchange(line, line.size()));
    std::size_t at = 0;
    auto b = [&](std::size_t i) -> int { return i < body.size() ? body[i] : 0; };
    for (const ParamRecord& r : rows) {
      Reading x{text::Cp1251ToUtf8(catalogue::FieldText(r.name)), r.kind};
      const bool wide = r.width == 2 || r.kind == 'H';
      const int raw = wide ? b(at) + 256 * b(at + 1) : b(at);
      if (r.kind == 'B') x.flag = (raw >> r.bit) & 1;
      if (r.kind == 'C') x.value = std::abs(raw / 256.0 - 0.5) - 0.5;
      if (r.kind == 'H' || r.kind == 'P')
        x.value = r.kind == 'H' ? raw : raw * static_cast<double>(r.scale) + r.offset;
      at += wide ? 2 : 1;
      out.push_back(x);
    }
    EXPECT_EQ(at + 1, body.size()) << "values and one checksum byte";
    return out;
  }
  Bytes reply;
  std::size_t base = 2;
  if (family == LinkFamily::Gm) {
    reply = exchange(kGmRequest, kGmRequest.size());
    EXPECT_EQ(Sum8(reply), 0);
  } else {
    const Bytes start = KwpRequest(Target(type), {0x81});
    exchange(Envelope(start, 0x80), start.size());
    const Bytes data = KwpRequest(Target(type), {0x21, 0x01});
    reply = exchange(Envelope(data), data.size());
    EXPECT_EQ(KwpService(reply, Target(type)).at(0), 0x61);
    base = reply.at(0) == 0x80 ? 3 : 2;
  }
  for (const ParamRecord& r : rows) out.push_back(ByPosition(type, r, reply, base));
  return out;
}

bool Starts(const std::string& name, std::string_view prefix) {
  return name.rfind(prefix, 0) == 0;
}

double Value(const std::vector<Reading>& rs, std::initializer_list<std::string_view> prefixes) {
  for (const Reading& r : rs)
    for (std::string_view p : prefixes)
      if (Starts(r.name, p) && r.kind != 'B') return r.value;
  return NAN;
}

// What a running car reads, by the rows' names.
struct Plausible {
  std::string_view prefix;
  double lo, hi;
};
constexpr Plausible kPlausible[] = {
    {"ОБ.ДВ.,", 500, 7000}, {"Т.ОХЛ.Ж", -40, 120},  {"БОРТ.НАП", 11, 15},
    {"ПОЛ.ДР.З.%", 0, 100}, {"ПОЛ.ДР.З.(", 0, 100}, {"СК.АВТ", 0, 250},
    {"ВР.ВПР", 0, 25},      {"УОЗ, п", -10, 60},    {"Т.ВОЗД", -40, 80},
};

struct Records : ::testing::TestWithParam<std::uint32_t> {};

// Through one drive cycle, then warm: numbers in range, an idle flag that is the closed
// throttle, an engine that idles near 900 and revs past 2500. The Mikas table is a stand-in
// that names none of these values.
TEST_P(Records, DecodeThroughTheBuiltInTableAsARunningCarReads) {
  const std::uint32_t type = GetParam();
  std::map<std::string_view, int> seen;
  double lowest = 1e9, highest = 0;
  std::vector<std::int64_t> times{920000, 960000};  // warm: idle and cruise
  for (std::int64_t ms = 0; ms < 120000; ms += 1500) times.push_back(ms);
  for (const std::int64_t ms : times) {
    const auto rs = Readings(type, ms);
    const double throttle = Value(rs, {"ПОЛ.ДР.З.%", "ПОЛ.ДР.З.("});
    for (const Reading& r : rs) {
      if (r.kind == 'B' && (Starts(r.name, "ХОЛОСТОЙ ХОД") || Starts(r.name, "РЕЖИМ ХХ."))) {
        EXPECT_EQ(r.flag, throttle < 0.5) << "idle flag at " << ms;
        ++seen["idle"];
      }
      if (r.kind == 'B' || r.kind == 0) continue;
      EXPECT_TRUE(std::isfinite(r.value)) << r.name;
      for (const Plausible& c : kPlausible) {
        if (!Starts(r.name, c.prefix)) continue;
        ++seen[c.prefix];
        EXPECT_GE(r.value, c.lo) << "type " << type << " " << r.name << " at " << ms;
        EXPECT_LE(r.value, c.hi) << "type " << type << " " << r.name << " at " << ms;
      }
    }
    if (type == 10) continue;
    const double rpm = Value(rs, {"ОБ.ДВ.,"});
    lowest = std::min(lowest, rpm);
    highest = std::max(highest, rpm);
    if (ms < 40000 || ms == 960000) {
      EXPECT_NEAR(rpm, 900, 150) << "idle at " << ms;
    }
    if (type != 11 && (ms == 0 || ms > 900000)) {
      EXPECT_NEAR(Value(rs, {"Т.ОХЛ.Ж"}), ms == 0 ? 20 : 90, 4) << "coolant at " << ms;
    }
  }
  EXPECT_EQ(seen.count("ОБ.ДВ.,") + seen.count("БОРТ.НАП"), type == 10 ? 0u : 2u);
  EXPECT_EQ(seen.count("Т.ОХЛ.Ж"), type == 10 || type == 11 ? 0u : 1u);
  EXPECT_EQ(seen.count("idle"), type == 1 || type == 2 || type == 3 || type == 4 || type == 6 ||
                                    type == 7 || type == 9);
  if (type != 10) {
    EXPECT_LT(lowest, 1000);
    EXPECT_GT(highest, 2500);
  }
}

std::string TypeName(const ::testing::TestParamInfo<std::uint32_t>& test) {
  return "Type" + std::to_string(test.param);
}

INSTANTIATE_TEST_SUITE_P(EveryType, Records, ::testing::Range(1u, 12u), TypeName);

}  // namespace
}  // namespace kd::sim::test
