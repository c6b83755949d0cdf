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
  if ((c & kFastInitBit) && !out.service.empty() && out.service[0] == 0x81)
    out.ask = Ask::FastInit;
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
      if (body.find("ERROR") != std::string::npos) a.condition = Condition::BusInit;
      else if (body.find("OK") != std::string::npos) a.busInitOk = true;
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
    if (into.size() < kLimit) into.push_back(c);
    else overflowed_ = true;
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
