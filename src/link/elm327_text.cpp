#include "link/elm327_text.h"

#include <algorithm>
#include <cstdio>

namespace kd::link::elm {

namespace {

constexpr std::uint8_t kEnvelope[4] = {0x55, 0x56, 0x57, 0xAA};
constexpr std::uint8_t kFastInitBit = 0x80;
constexpr std::uint8_t kSlowInitBit = 0x40;
constexpr std::uint8_t kIsoHeader = 0x68;
constexpr std::uint8_t kObdAddress = 0x33;

std::string Hex2(std::uint8_t b) {
  char buf[3];
  std::snprintf(buf, sizeof buf, "%02X", b);
  return buf;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string Trim(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return std::string(s.substr(b, e - b));
}

bool StartsWith(const std::string& s, std::string_view p) {
  return s.size() >= p.size() && s.compare(0, p.size(), p) == 0;
}

// The bytes of a line of hexadecimal pairs, spaced or not; nothing for any other line.
std::optional<Bytes> LineOfBytes(const std::string& line) {
  std::string digits;
  for (char c : line) {
    if (c == ' ') continue;
    if (HexDigit(c) < 0) return std::nullopt;
    digits.push_back(c);
  }
  if (digits.empty() || digits.size() % 2 != 0) return std::nullopt;
  Bytes out;
  for (std::size_t i = 0; i < digits.size(); i += 2)
    out.push_back(static_cast<std::uint8_t>(HexDigit(digits[i]) * 16 + HexDigit(digits[i + 1])));
  return out;
}

}  // namespace

std::optional<Outgoing> ReadEnvelope(const std::uint8_t* data, std::size_t count) {
  if (count < 6 || !std::equal(kEnvelope, kEnvelope + 4, data)) return std::nullopt;
  const std::uint8_t c = data[4];
  Outgoing out;
  out.frame.assign(data + 5, data + count);
  if ((c & kSlowInitBit) && (c & 0x3F) == count) {
    out.ask = Ask::SlowInit;
    out.protocol = kIso9141;
    out.header[0] = kIsoHeader;
    out.header[1] = 0x6A;
    out.header[2] = 0xF1;
    return out;
  }
  if ((c & 0x7F) != count) return std::nullopt;
  const Bytes& f = out.frame;
  if (f.size() < 5) return std::nullopt;
  if (f[0] == kIsoHeader) {
    out.protocol = kIso9141;
    std::copy(f.begin(), f.begin() + 3, out.header);
    out.service.assign(f.begin() + 3, f.end() - 1);
    return out;
  }
  if ((f[0] & 0xC0) == 0) return std::nullopt;  // no addresses: nothing the chip can send
  std::size_t header = 3;
  std::size_t length = f[0] & 0x3F;
  if (length == 0) {
    header = 4;
    length = f[3];
  }
  if (length == 0 || f.size() != header + length + 1) return std::nullopt;
  out.protocol = kIso14230Fast;
  out.header[0] = static_cast<std::uint8_t>((f[0] & 0xC0) | 0x01);
  out.header[1] = f[1];
  out.header[2] = f[2];
  out.service.assign(f.begin() + static_cast<std::ptrdiff_t>(header), f.end() - 1);
  if ((c & kFastInitBit) && !out.service.empty() && out.service[0] == 0x81) out.ask = Ask::FastInit;
  return out;
}

std::string HeaderCommand(const std::uint8_t header[3]) {
  return "AT SH " + Hex2(header[0]) + " " + Hex2(header[1]) + " " + Hex2(header[2]);
}

std::string ServiceText(const Bytes& service) {
  std::string out;
  for (std::uint8_t b : service) {
    if (!out.empty()) out += ' ';
    out += Hex2(b);
  }
  return out;
}

std::string TimeoutCommand(int p2maxMs) {
  const int units = std::clamp((p2maxMs + 3) / 4, 1, 0xFF);
  return "AT ST " + Hex2(static_cast<std::uint8_t>(units));
}

std::optional<int> P2MaxOf(const Bytes& service) {
  // 83 03 p2min p2max p3min p3max p4min (set), C3 02 ... (the values in force): P2max in 25 ms.
  if (service.size() < 4) return std::nullopt;
  if (service[0] != 0x83 && service[0] != 0xC3) return std::nullopt;
  if (service[1] != 0x02 && service[1] != 0x03) return std::nullopt;
  const int p2max = service[3];
  if (p2max == 0 || p2max > 0xF0) return std::nullopt;
  return p2max * 25;
}

std::string WakeupCommand(const std::uint8_t header[3]) {
  if (header[0] == kIsoHeader)
    return "AT WM " + Hex2(header[0]) + " " + Hex2(header[1]) + " " + Hex2(header[2]) + " 01 00";
  const std::uint8_t format = static_cast<std::uint8_t>((header[0] & 0xC0) | 0x02);
  return "AT WM " + Hex2(format) + " " + Hex2(header[1]) + " " + Hex2(header[2]) + " 3E 01";
}

std::string ConditionText(Condition c) {
  switch (c) {
    case Condition::Ok:
      return {};
    case Condition::NoData:
      return "Нет ответа от контроллера.";
    case Condition::BusInit:
      return "Ошибка инициализации шины.";
    case Condition::UnableToConnect:
      return "Протокол контроллера не найден.";
    case Condition::BufferFull:
      return "Переполнение буфера адаптера.";
    case Condition::DataError:
      return "Ошибка данных в ответе.";
    case Condition::Stopped:
      return "Адаптер прервал ответ.";
    case Condition::Refused:
      return "Адаптер не принял команду.";
    case Condition::BusError:
      return "Ошибка шины.";
    case Condition::NoPrompt:
      return "Адаптер ELM327 не отвечает.";
    case Condition::TooLong:
      return "Запрос слишком длинный для ELM327.";
    case Condition::Unsupported:
      return "Этот контроллер не работает через ELM327.";
  }
  return {};
}

Answer ParseAnswer(std::string_view text) {
  Answer a;
  std::size_t at = 0;
  while (at <= text.size()) {
    std::size_t end = text.find_first_of("\r\n", at);
    if (end == std::string_view::npos) end = text.size();
    const std::string line = Trim(text.substr(at, end - at));
    at = end + 1;
    if (line.empty()) continue;
    std::string body = line;
    bool flagged = false;
    if (const auto p = body.find("<DATA ERROR"); p != std::string::npos) {
      flagged = true;
      body = Trim(std::string_view(body).substr(0, p));
    }
    if (flagged) a.condition = Condition::DataError;
    if (body.empty()) continue;
    if (const auto bytes = LineOfBytes(body)) {
      a.messages.push_back(*bytes);
      continue;
    }
    if (flagged) continue;
    if (body == "SEARCHING..." || body == "SEARCHING") {
      a.searching = true;
    } else if (StartsWith(body, "BUS INIT")) {
      if (body.find("ERROR") != std::string::npos)
        a.condition = Condition::BusInit;
      else if (body.find("OK") != std::string::npos)
        a.busInitOk = true;
    } else if (body == "NO DATA") {
      if (a.condition == Condition::Ok) a.condition = Condition::NoData;
    } else if (body == "UNABLE TO CONNECT") {
      a.condition = Condition::UnableToConnect;
    } else if (body == "BUFFER FULL") {
      a.condition = Condition::BufferFull;
    } else if (body == "DATA ERROR") {
      a.condition = Condition::DataError;
    } else if (body == "STOPPED") {
      a.condition = Condition::Stopped;
    } else if (body == "?") {
      a.condition = Condition::Refused;
    } else if (body == "BUS ERROR" || body == "BUS BUSY" || body == "FB ERROR" ||
               body == "CAN ERROR" || body == "LV RESET" || StartsWith(body, "ERR")) {
      a.condition = Condition::BusError;
    } else {
      a.text.push_back(body);
    }
  }
  return a;
}

bool PromptCollector::Feed(const std::uint8_t* data, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const char c = static_cast<char>(data[i]);
    std::string& into = complete_ ? after_ : text_;
    if (!complete_ && c == '>') {
      complete_ = true;
      continue;
    }
    if (c == '\0') continue;  // some chips send a zero byte before the prompt
    if (into.size() < kLimit)
      into.push_back(c);
    else
      overflowed_ = true;
  }
  return complete_;
}

std::string PromptCollector::Take() {
  std::string out = std::move(text_);
  text_.clear();
  complete_ = false;
  overflowed_ = false;
  // What came behind the prompt starts the next answer.
  const std::string rest = std::move(after_);
  after_.clear();
  Feed(reinterpret_cast<const std::uint8_t*>(rest.data()), rest.size());
  return out;
}

void PromptCollector::Clear() {
  text_.clear();
  after_.clear();
  complete_ = false;
  overflowed_ = false;
}

Bytes LineBytes(const Outgoing& out, const Answer& answer) {
  if (out.ask == Ask::SlowInit) {
    if (!answer.busInitOk || out.frame.empty()) return {};
    return {out.frame[0], static_cast<std::uint8_t>(~kObdAddress)};
  }
  if (answer.condition == Condition::Refused) return {};
  Bytes bytes = out.frame;
  for (const Bytes& m : answer.messages) bytes.insert(bytes.end(), m.begin(), m.end());
  return bytes;
}

}  // namespace kd::link::elm

namespace kd::link::elm {

namespace {

Condition WordCondition(const std::string& body) {
  if (StartsWith(body, "BUS INIT") && body.find("ERROR") != std::string::npos)
    return Condition::BusInit;
  if (body == "NO DATA") return Condition::NoData;
  if (body == "UNABLE TO CONNECT") return Condition::UnableToConnect;
  if (body == "BUFFER FULL") return Condition::BufferFull;
  if (body == "DATA ERROR" || body.find("<DATA ERROR") != std::string::npos ||
      body.find("<RX ERROR") != std::string::npos)
    return Condition::DataError;
  if (body == "STOPPED") return Condition::Stopped;
  if (body == "?") return Condition::Refused;
  if (body == "BUS ERROR" || body == "BUS BUSY" || body == "FB ERROR" || body == "CAN ERROR" ||
      body == "LV RESET" || StartsWith(body, "ERR"))
    return Condition::BusError;
  return Condition::Ok;
}

std::string HexDigitsOnly(const std::string& s, bool& clean) {
  std::string out;
  clean = true;
  for (char c : s) {
    if (c == ' ') continue;
    if (HexDigit(c) < 0) clean = false;
    out.push_back(c);
  }
  return out;
}

Bytes PairsOf(std::string_view digits) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
    out.push_back(static_cast<std::uint8_t>(HexDigit(digits[i]) * 16 + HexDigit(digits[i + 1])));
  return out;
}

}  // namespace

std::string ObdProtocolName(int protocol) {
  switch (protocol) {
    case kIso9141:
      return "ISO 9141-2";
    case kIso14230Fast:
      return "ISO 14230-4 (KWP2000)";
    case kCan11At500:
      return "ISO 15765-4 CAN, 11 бит, 500 кбит/с";
    case kCan29At500:
      return "ISO 15765-4 CAN, 29 бит, 500 кбит/с";
    case kCan11At250:
      return "ISO 15765-4 CAN, 11 бит, 250 кбит/с";
    case kCan29At250:
      return "ISO 15765-4 CAN, 29 бит, 250 кбит/с";
    default:
      return {};
  }
}

CanAnswer ParseCanAnswer(std::string_view text) {
  CanAnswer a;
  struct Assembly {
    std::uint32_t id;
    Bytes payload;
    std::size_t expected;
    bool done;
  };
  std::vector<Assembly> units;
  const auto unit = [&](std::uint32_t id) -> Assembly& {
    for (Assembly& u : units)
      if (u.id == id && !u.done) return u;
    units.push_back({id, {}, 0, false});
    return units.back();
  };
  // Without identifiers: a numbered message in progress.
  Assembly* numbered = nullptr;

  std::size_t at = 0;
  while (at <= text.size()) {
    std::size_t end = text.find_first_of("\r\n", at);
    if (end == std::string_view::npos) end = text.size();
    const std::string line = Trim(text.substr(at, end - at));
    at = end + 1;
    if (line.empty()) continue;
    if (line == "SEARCHING..." || line == "SEARCHING") {
      a.searching = true;
      continue;
    }
    std::string body = line;
    if (const auto p = body.find('<'); p != std::string::npos) {
      a.condition = Condition::DataError;
      body = Trim(std::string_view(body).substr(0, p));
    }
    // "0: 49 02 01 ..." of a message without identifiers.
    if (const auto colon = body.find(':'); colon != std::string::npos) {
      bool clean = false;
      const std::string index = HexDigitsOnly(body.substr(0, colon), clean);
      const std::string digits = HexDigitsOnly(body.substr(colon + 1), clean);
      if (!numbered || index.empty() || !clean || digits.size() % 2 != 0) continue;
      const Bytes part = PairsOf(digits);
      for (std::uint8_t b : part)
        if (numbered->payload.size() < numbered->expected) numbered->payload.push_back(b);
      if (numbered->payload.size() >= numbered->expected) {
        numbered->done = true;
        numbered = nullptr;
      }
      continue;
    }
    bool clean = false;
    const std::string digits = HexDigitsOnly(body, clean);
    if (!clean || digits.empty()) {
      const Condition c = WordCondition(body);
      if (c != Condition::Ok) a.condition = c;
      continue;
    }
    if (digits.size() == 3 && body.find(' ') == std::string::npos) {
      // The byte count in front of numbered lines.
      units.push_back({0, {}, static_cast<std::size_t>(std::stoul(digits, nullptr, 16)), false});
      numbered = &units.back();
      continue;
    }
    // An even count of digits is a 29-bit identifier (OBD answers come with priority 18) or,
    // from a chip without headers, the data of a single frame (which starts with SID + 40).
    const bool wide =
        digits.size() % 2 == 0 && digits.size() >= 10 && digits.compare(0, 2, "18") == 0;
    if (digits.size() % 2 == 0 && !wide) {
      units.push_back({0, PairsOf(digits), 0, true});
      continue;
    }
    const std::size_t idDigits = digits.size() % 2 == 1 ? 3 : 8;
    if (digits.size() < idDigits + 2) continue;
    const std::uint32_t id =
        static_cast<std::uint32_t>(std::stoul(digits.substr(0, idDigits), nullptr, 16));
    const Bytes frame = PairsOf(std::string_view(digits).substr(idDigits));
    if (frame.empty()) continue;
    const std::uint8_t pci = frame[0];
    Assembly& u = unit(id);
    switch (pci >> 4) {
      case 0: {  // single frame
        const std::size_t len = std::min<std::size_t>(pci & 0x0F, frame.size() - 1);
        u.payload.assign(frame.begin() + 1, frame.begin() + 1 + static_cast<std::ptrdiff_t>(len));
        u.done = true;
        break;
      }
      case 1: {  // first frame
        if (frame.size() < 2) break;
        u.expected = static_cast<std::size_t>(((pci & 0x0F) << 8) | frame[1]);
        u.payload.assign(frame.begin() + 2, frame.end());
        if (u.payload.size() >= u.expected) {
          u.payload.resize(u.expected);
          u.done = true;
        }
        break;
      }
      case 2: {                      // consecutive frame
        if (u.expected == 0) break;  // no first frame before it
        for (std::size_t i = 1; i < frame.size() && u.payload.size() < u.expected; ++i)
          u.payload.push_back(frame[i]);
        if (u.payload.size() >= u.expected) u.done = true;
        break;
      }
      default:
        break;  // flow control and the like: nothing of the answer
    }
  }
  for (Assembly& u : units)
    if (u.done && !u.payload.empty()) a.messages.push_back({u.id, std::move(u.payload)});
  if (!a.messages.empty() && a.condition == Condition::NoData) a.condition = Condition::Ok;
  return a;
}

std::uint8_t KLineAddressOf(std::uint32_t id) {
  if (id > 0x7FF) return static_cast<std::uint8_t>(id & 0xFF);
  if (id >= 0x7E8 && id <= 0x7EF) return static_cast<std::uint8_t>(0x10 + 8 * (id - 0x7E8));
  return 0x10;
}

Bytes KLineReply(std::uint8_t source, const Bytes& payload) {
  Bytes f;
  if (payload.size() <= 63) {
    f = {static_cast<std::uint8_t>(0x80 | payload.size()), 0xF1, source};
  } else {
    f = {0x80, 0xF1, source, static_cast<std::uint8_t>(std::min<std::size_t>(payload.size(), 255))};
  }
  f.insert(
      f.end(), payload.begin(),
      payload.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(payload.size(), 255)));
  std::uint8_t sum = 0;
  for (std::uint8_t b : f) sum = static_cast<std::uint8_t>(sum + b);
  f.push_back(sum);
  return f;
}

std::optional<Bytes> CanRequestFor(const Bytes& request) {
  if (request.empty() || request[0] == 0x81 || request[0] == 0x05) return std::nullopt;
  if (request[0] == 0x09 && request.size() == 2 &&
      (request[1] == 0x01 || request[1] == 0x03 || request[1] == 0x05))
    return Bytes{0x09, static_cast<std::uint8_t>(request[1] + 1)};
  return request;
}

Bytes KLineFromCan(const Bytes& request, const std::vector<CanMessage>& messages,
                   std::size_t& codeTurn) {
  Bytes out;
  if (messages.empty() || request.empty()) return out;
  const std::uint8_t sid = request[0];
  // The engine controller: the lowest identifier that answered.
  const CanMessage* first = &messages.front();
  for (const CanMessage& m : messages)
    if (m.id < first->id) first = &m;
  const std::uint8_t source = KLineAddressOf(first->id);
  const auto add = [&out](const Bytes& frame) {
    out.insert(out.end(), frame.begin(), frame.end());
  };

  if ((sid == 0x03 || sid == 0x07) && first->payload[0] == sid + 0x40) {
    std::vector<std::uint16_t> codes;
    for (const CanMessage& m : messages) {
      const Bytes& p = m.payload;
      if (p.empty() || p[0] != sid + 0x40) continue;
      // The count byte first; codes as many as there are whole pairs behind it.
      for (std::size_t i = 2; i + 1 < p.size(); i += 2) {
        const auto code = static_cast<std::uint16_t>((p[i] << 8) | p[i + 1]);
        if (code != 0 && std::find(codes.begin(), codes.end(), code) == codes.end())
          codes.push_back(code);
      }
    }
    const std::size_t groups = std::max<std::size_t>(1, (codes.size() + 2) / 3);
    const std::size_t start = codeTurn % groups;
    codeTurn = start + 1;
    for (std::size_t g = 0; g < groups; ++g) {
      const std::size_t group = (start + g) % groups;
      Bytes m{static_cast<std::uint8_t>(sid + 0x40)};
      for (std::size_t j = 0; j < 3; ++j) {
        const std::size_t k = group * 3 + j;
        const std::uint16_t c = k < codes.size() ? codes[k] : 0;
        m.push_back(static_cast<std::uint8_t>(c >> 8));
        m.push_back(static_cast<std::uint8_t>(c & 0xFF));
      }
      add(KLineReply(source, m));
    }
    return out;
  }

  const Bytes& p = first->payload;
  if (sid == 0x09 && request.size() == 2 && p.size() >= 2 && p[0] == 0x49) {
    const std::uint8_t info = request[1];
    // The items behind the CAN answer's count byte, in the K-line's four-byte messages: the VIN
    // with three zeros in front (its first message carries one character).
    const auto items = [&]() -> Bytes {
      if (p.size() < 3) return {};
      Bytes data(p.begin() + 3, p.end());
      if (p[1] == 0x02) data.insert(data.begin(), 3, 0x00);
      return data;
    };
    if ((info == 0x01 || info == 0x03 || info == 0x05) && p[1] == info + 1) {
      const std::size_t count = (items().size() + 3) / 4;
      add(KLineReply(source, {0x49, info, static_cast<std::uint8_t>(count)}));
      return out;
    }
    if ((info == 0x02 || info == 0x04 || info == 0x06) && p[1] == info) {
      const Bytes data = items();
      for (std::size_t at = 0, n = 1; at < data.size(); at += 4, ++n) {
        Bytes m{0x49, info, static_cast<std::uint8_t>(n)};
        for (std::size_t j = 0; j < 4; ++j) m.push_back(at + j < data.size() ? data[at + j] : 0);
        add(KLineReply(source, m));
      }
      return out;
    }
  }
  add(KLineReply(source, p));
  return out;
}

}  // namespace kd::link::elm
