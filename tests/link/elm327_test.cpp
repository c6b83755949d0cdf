// The ELM327 driver's translation both ways: enveloped frames into AT commands and request text,
// the chip's answer text (whole, in pieces, with error words) back into the bytes the K-line
// adapter would give.
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "link/elm327_adapter.h"
#include "link/elm327_text.h"

namespace kd::link {
namespace {

using elm::Bytes;

Bytes Envelope(const Bytes& frame, std::uint8_t bits = 0) {
  Bytes out{0x55, 0x56, 0x57, 0xAA, static_cast<std::uint8_t>((frame.size() + 5) | bits)};
  out.insert(out.end(), frame.begin(), frame.end());
  return out;
}

Bytes Kwp(std::uint8_t format, std::uint8_t target, const Bytes& service) {
  Bytes f{static_cast<std::uint8_t>(format | service.size()), target, 0xF1};
  f.insert(f.end(), service.begin(), service.end());
  std::uint8_t sum = 0;
  for (auto b : f) sum = static_cast<std::uint8_t>(sum + b);
  f.push_back(sum);
  return f;
}

// ---- The envelope read, the commands built ----

TEST(ElmText, EveryEnvelopeFormTurnsIntoProtocolHeaderAndService) {
  const Bytes tester = Kwp(0x80, 0x10, {0x3E, 0x01});
  auto out = elm::ReadEnvelope(Envelope(tester).data(), tester.size() + 5);
  ASSERT_TRUE(out);
  EXPECT_EQ(out->ask, elm::Ask::Frame);
  EXPECT_EQ(out->protocol, 5);
  EXPECT_EQ(elm::HeaderCommand(out->header), "AT SH 81 10 F1");
  EXPECT_EQ(elm::ServiceText(out->service), "3E 01");
  EXPECT_EQ(out->frame, tester);

  // Bit 7 on a StartCommunication: the fast init. On anything else it asks for nothing more.
  const Bytes start = Kwp(0x80, 0x11, {0x81});
  out = elm::ReadEnvelope(Envelope(start, 0x80).data(), start.size() + 5);
  ASSERT_TRUE(out);
  EXPECT_EQ(out->ask, elm::Ask::FastInit);
  EXPECT_EQ(elm::HeaderCommand(out->header), "AT SH 81 11 F1");
  out = elm::ReadEnvelope(Envelope(tester, 0x80).data(), tester.size() + 5);
  ASSERT_TRUE(out);
  EXPECT_EQ(out->ask, elm::Ask::Frame);

  // The EOBD window's functional frames keep their addressing mode.
  const Bytes obd = Kwp(0xC0, 0x33, {0x01, 0x00});
  out = elm::ReadEnvelope(Envelope(obd).data(), obd.size() + 5);
  ASSERT_TRUE(out);
  EXPECT_EQ(elm::HeaderCommand(out->header), "AT SH C1 33 F1");

  // The long form (length byte): the service still comes out whole.
  Bytes longForm{0x80, 0x10, 0xF1, 0x02, 0x21, 0x01, 0x00};
  out = elm::ReadEnvelope(Envelope(longForm).data(), longForm.size() + 5);
  ASSERT_TRUE(out);
  EXPECT_EQ(elm::ServiceText(out->service), "21 01");

  // The ISO 9141 window: its header, its init packet (bit 6).
  const Bytes iso{0x68, 0x6A, 0xF1, 0x01, 0x00, 0xC4};
  out = elm::ReadEnvelope(Envelope(iso).data(), iso.size() + 5);
  ASSERT_TRUE(out);
  EXPECT_EQ(out->protocol, 3);
  EXPECT_EQ(elm::HeaderCommand(out->header), "AT SH 68 6A F1");
  EXPECT_EQ(elm::ServiceText(out->service), "01 00");
  const Bytes init{0x55, 0x56, 0x57, 0xAA, 0x46, 0xF7};
  out = elm::ReadEnvelope(init.data(), init.size());
  ASSERT_TRUE(out);
  EXPECT_EQ(out->ask, elm::Ask::SlowInit);
}

TEST(ElmText, WhatIsNoWholeEnvelopedFrameIsRefused) {
  const Bytes tester = Kwp(0x80, 0x10, {0x3E, 0x01});
  Bytes bad = Envelope(tester);
  bad[4] = static_cast<std::uint8_t>(bad[4] + 1);
  EXPECT_FALSE(elm::ReadEnvelope(bad.data(), bad.size())) << "count off by one";
  bad = Envelope(tester);
  bad[0] = 0x54;
  EXPECT_FALSE(elm::ReadEnvelope(bad.data(), bad.size())) << "no envelope";
  EXPECT_FALSE(elm::ReadEnvelope(tester.data(), tester.size())) << "a bare frame";
  Bytes shortFrame = Kwp(0x80, 0x10, {0x3E, 0x01});
  shortFrame[0] = 0x85;  // says five service bytes, carries two
  bad = Envelope(shortFrame);
  EXPECT_FALSE(elm::ReadEnvelope(bad.data(), bad.size()));
  const Bytes noAddress = Kwp(0x00, 0x10, {0x3E});
  bad = Envelope(noAddress);
  EXPECT_FALSE(elm::ReadEnvelope(bad.data(), bad.size()));
}

TEST(ElmText, TimeoutFollowsP2MaxAndTheKeepAliveFollowsTheTarget) {
  EXPECT_EQ(elm::TimeoutCommand(50), "AT ST 0D");
  EXPECT_EQ(elm::TimeoutCommand(0), "AT ST 01");
  EXPECT_EQ(elm::TimeoutCommand(2000), "AT ST FF") << "the chip waits 1020 ms at the most";
  EXPECT_EQ(elm::P2MaxOf({0x83, 0x03, 0x00, 0x50, 0x01, 0x14, 0x00}), 2000);
  EXPECT_EQ(elm::P2MaxOf({0xC3, 0x02, 0x00, 0x02, 0x01, 0x14, 0x00}), 50);
  EXPECT_FALSE(elm::P2MaxOf({0x83, 0x03, 0x00, 0xF5}));
  EXPECT_FALSE(elm::P2MaxOf({0x21, 0x01, 0x00, 0x50}));
  const std::uint8_t emur[3] = {0x81, 0x60, 0xF1};
  EXPECT_EQ(elm::WakeupCommand(emur), "AT WM 82 60 F1 3E 01");
  const std::uint8_t iso[3] = {0x68, 0x6A, 0xF1};
  EXPECT_EQ(elm::WakeupCommand(iso), "AT WM 68 6A F1 01 00");
}

// ---- The answer read ----

TEST(ElmText, MultiLineAnswersSpacedOrNotAndEveryErrorWord) {
  auto a = elm::ParseAnswer("83 F1 10 C1 EF 8F C3\r8A F1 10 61 01 00 00 00 00 00 00 00 00 6E\r\r");
  ASSERT_EQ(a.messages.size(), 2u);
  EXPECT_EQ(a.messages[0], (Bytes{0x83, 0xF1, 0x10, 0xC1, 0xEF, 0x8F, 0xC3}));
  EXPECT_EQ(a.condition, elm::Condition::Ok);
  a = elm::ParseAnswer("SEARCHING...\r\n4100BE1FB810\r\n");
  EXPECT_TRUE(a.searching);
  ASSERT_EQ(a.messages.size(), 1u);
  EXPECT_EQ(a.messages[0].size(), 6u);
  a = elm::ParseAnswer("BUS INIT: ...OK\r82 F1 10 7E 01 02\r");
  EXPECT_TRUE(a.busInitOk);
  EXPECT_EQ(a.messages.size(), 1u);

  const std::pair<const char*, elm::Condition> words[] = {
      {"NO DATA", elm::Condition::NoData},
      {"BUS INIT: ...ERROR", elm::Condition::BusInit},
      {"SEARCHING...\rUNABLE TO CONNECT", elm::Condition::UnableToConnect},
      {"BUFFER FULL", elm::Condition::BufferFull},
      {"STOPPED", elm::Condition::Stopped},
      {"?", elm::Condition::Refused},
      {"BUS ERROR", elm::Condition::BusError},
      {"CAN ERROR", elm::Condition::BusError},
      {"ERR94", elm::Condition::BusError},
      {"82 F1 10 7E 01 03 <DATA ERROR", elm::Condition::DataError},
  };
  for (const auto& [text, condition] : words) {
    a = elm::ParseAnswer(text);
    EXPECT_EQ(a.condition, condition) << text;
    EXPECT_FALSE(elm::ConditionText(condition).empty());
  }
  // A flagged line keeps its bytes: the session checks the checksum itself.
  a = elm::ParseAnswer("82 F1 10 7E 01 03 <DATA ERROR");
  ASSERT_EQ(a.messages.size(), 1u);
  EXPECT_EQ(a.messages[0].back(), 0x03);
  EXPECT_EQ(elm::ConditionText(elm::Condition::NoData), "Нет ответа от контроллера.");
  EXPECT_EQ(elm::ConditionText(elm::Condition::BusInit), "Ошибка инициализации шины.");
  // Text lines of AT answers stay text.
  a = elm::ParseAnswer("ELM327 v1.5\r");
  ASSERT_EQ(a.text.size(), 1u);
  EXPECT_EQ(a.text[0], "ELM327 v1.5");
  EXPECT_TRUE(a.messages.empty());
}

TEST(ElmText, ThePromptIsFoundWhateverPiecesTheBytesComeIn) {
  const std::string whole = "82 F1 10 7E 01 02\r\r>";
  for (std::size_t cut = 1; cut < whole.size(); ++cut) {
    elm::PromptCollector c;
    EXPECT_FALSE(c.Feed(reinterpret_cast<const std::uint8_t*>(whole.data()), cut)) << cut;
    EXPECT_TRUE(
        c.Feed(reinterpret_cast<const std::uint8_t*>(whole.data()) + cut, whole.size() - cut));
    EXPECT_EQ(c.Take(), "82 F1 10 7E 01 02\r\r");
  }
  // Bytes behind a prompt belong to the next answer.
  elm::PromptCollector c;
  const std::string two = "OK\r\r>NO DATA\r\r>";
  EXPECT_TRUE(c.Feed(reinterpret_cast<const std::uint8_t*>(two.data()), two.size()));
  EXPECT_EQ(c.Take(), "OK\r\r");
  EXPECT_TRUE(c.Complete());
  EXPECT_EQ(c.Take(), "NO DATA\r\r");
  EXPECT_FALSE(c.Complete());
  // A chip that talks without end does not grow the buffer.
  const std::string noise(elm::PromptCollector::kLimit * 2, 'A');
  c.Feed(reinterpret_cast<const std::uint8_t*>(noise.data()), noise.size());
  EXPECT_TRUE(c.Overflowed());
  EXPECT_EQ(c.Take().size(), elm::PromptCollector::kLimit);
}

TEST(ElmText, LineBytesAreTheEchoThenTheReplyFrames) {
  const Bytes tester = Kwp(0x80, 0x10, {0x3E, 0x01});
  const auto out = elm::ReadEnvelope(Envelope(tester).data(), tester.size() + 5);
  ASSERT_TRUE(out);
  Bytes expected = tester;
  const Bytes reply{0x82, 0xF1, 0x10, 0x7E, 0x01, 0x02};
  expected.insert(expected.end(), reply.begin(), reply.end());
  EXPECT_EQ(elm::LineBytes(*out, elm::ParseAnswer("82 F1 10 7E 01 02\r")), expected);
  EXPECT_EQ(elm::LineBytes(*out, elm::ParseAnswer("NO DATA\r")), tester) << "the echo alone";
  EXPECT_TRUE(elm::LineBytes(*out, elm::ParseAnswer("?\r")).empty()) << "nothing was sent";

  const Bytes init{0x55, 0x56, 0x57, 0xAA, 0x46, 0xF7};
  const auto slow = elm::ReadEnvelope(init.data(), init.size());
  ASSERT_TRUE(slow);
  EXPECT_EQ(elm::LineBytes(*slow, elm::ParseAnswer("BUS INIT: ...OK\r")), (Bytes{0xF7, 0xCC}));
  EXPECT_TRUE(elm::LineBytes(*slow, elm::ParseAnswer("BUS INIT: ...ERROR\r")).empty());
}

// ---- The driver on a chip the test plays ----

// Plays an ELM327: each line the driver writes gets the answer the test gave for it (or for
// the command's first word), followed by the prompt; every read advances the clock.
class PlayedChip : public SerialPort {
 public:
  std::map<std::string, std::string> answers;  // command as written -> answer text
  std::function<std::string(const std::string&)> fallback;
  std::vector<std::string> lines;
  int rate = 38400;
  int applied = 0;
  ManualLineClock clock;
  std::size_t piece = 3;  // bytes per read: answers arrive in pieces
  bool opens = true;

  bool Open(int) override { return open_ = opens; }
  bool IsOpen() const override { return open_; }
  bool Close() override {
    open_ = false;
    return true;
  }
  bool ApplyLineSettings(const LineSettings& s) override {
    applied = s.baud;
    return true;
  }
  void SetReadTimeout(int) override {}
  void RaiseDtr() override {}
  void RaiseRts() override {}
  std::size_t Read(std::uint8_t* buffer, std::size_t maxBytes) override {
    clock.Advance(5000);
    std::size_t n = 0;
    while (n < maxBytes && n < piece && !out_.empty()) {
      buffer[n++] = out_.front();
      out_.pop_front();
    }
    return n;
  }
  WriteStatus Write(const std::uint8_t* data, std::size_t count) override {
    if (applied != rate) return WriteStatus::Written;
    for (std::size_t i = 0; i < count; ++i) {
      if (data[i] != '\r') {
        line_.push_back(static_cast<char>(data[i]));
        continue;
      }
      lines.push_back(line_);
      std::string answer;
      if (auto it = answers.find(line_); it != answers.end())
        answer = it->second;
      else if (fallback)
        answer = fallback(line_);
      else
        answer = line_.rfind("AT", 0) == 0 ? "OK" : "NO DATA";
      line_.clear();
      const std::string text = answer + "\r\r>";
      out_.insert(out_.end(), text.begin(), text.end());
    }
    return WriteStatus::Written;
  }
  bool WaitPendingWrite(int) override { return true; }

 private:
  bool open_ = false;
  std::string line_;
  std::deque<std::uint8_t> out_;
};

struct Driver : ::testing::Test {
  PlayedChip chip;
  Elm327Adapter elm{chip, chip.clock};

  void SetUp() override {
    chip.answers["AT I"] = "ELM327 v2.2";
    chip.answers["AT Z"] = "\rELM327 v2.2";
  }
  void Open() {
    ASSERT_TRUE(elm.Open(2));
    chip.lines.clear();
  }
  // One tick of the session: what the previous request brought, then the next request.
  Bytes Exchange(const Bytes& written) {
    EXPECT_EQ(elm.Write(written.data(), written.size()), WriteStatus::Written);
    Bytes got(256);
    got.resize(elm.Read(got.data(), got.size()));
    return got;
  }
};

TEST_F(Driver, FindsTheChipsRateResetsAndSetsItUp) {
  chip.rate = 115200;
  Open();
  EXPECT_EQ(elm.Rate(), 115200);
  EXPECT_EQ(elm.Chip().version, "ELM327 v2.2");
  EXPECT_FALSE(elm.Chip().knownClone);
  EXPECT_EQ(elm.RequestLimit(), 8u);
  // Opened again, it tries the rate it knows first.
  elm.Close();
  chip.lines.clear();
  ASSERT_TRUE(elm.Open(2));
  ASSERT_FALSE(chip.lines.empty());
  EXPECT_EQ(chip.applied, 115200);
  EXPECT_EQ(chip.lines.front(), "AT I");
  const std::vector<std::string> setup(chip.lines.begin() + 1, chip.lines.begin() + 7);
  EXPECT_EQ(setup, (std::vector<std::string>{"AT Z", "AT E0", "AT L0", "AT S1", "AT H1", "AT AL"}));
  // No chip at all: the open fails and says why.
  chip.rate = 1;
  EXPECT_FALSE(elm.Open(2));
  EXPECT_EQ(elm.LastCondition(), elm::Condition::NoPrompt);
  EXPECT_FALSE(elm.IsOpen());
  // A device that will not open says nothing about a chip: the earlier verdict does not stay.
  chip.opens = false;
  EXPECT_FALSE(elm.Open(2));
  EXPECT_EQ(elm.LastCondition(), elm::Condition::Ok);
}

TEST_F(Driver, AFrameBecomesProtocolHeaderTimeoutKeepAliveAndServiceText) {
  Open();
  chip.answers["3E 01"] = "82 F1 10 7E 01 02";
  const Bytes tester = Kwp(0x80, 0x10, {0x3E, 0x01});
  const Bytes got = Exchange(Envelope(tester));
  EXPECT_EQ(chip.lines, (std::vector<std::string>{"AT SP 5", "AT SH 81 10 F1", "AT ST 0D",
                                                  "AT WM 82 10 F1 3E 01", "3E 01"}));
  Bytes expected = tester;
  for (int b : {0x82, 0xF1, 0x10, 0x7E, 0x01, 0x02})
    expected.push_back(static_cast<std::uint8_t>(b));
  EXPECT_EQ(got, expected);
  // The same target again: only the request goes.
  chip.lines.clear();
  Exchange(Envelope(tester));
  EXPECT_EQ(chip.lines, (std::vector<std::string>{"3E 01"}));
  // Another target: a new header and keep-alive.
  chip.lines.clear();
  Exchange(Envelope(Kwp(0x80, 0x60, {0x3E, 0x01})));
  EXPECT_EQ(chip.lines,
            (std::vector<std::string>{"AT SH 81 60 F1", "AT WM 82 60 F1 3E 01", "3E 01"}));
}

TEST_F(Driver, StartCommunicationWithBit7IsAFastInitAndTheTimingFollowsTheAnswer) {
  Open();
  chip.answers["AT FI"] = "BUS INIT: ...OK";
  chip.answers["81"] = "83 F1 11 C1 EF 8F C4";
  Bytes got = Exchange(Envelope(Kwp(0x80, 0x11, {0x81}), 0x80));
  EXPECT_EQ(chip.lines, (std::vector<std::string>{"AT SP 5", "AT SH 81 11 F1", "AT ST 0D",
                                                  "AT WM 82 11 F1 3E 01", "AT PC", "AT FI", "81"}));
  EXPECT_EQ(got.size(), 5u + 7) << "the C1 answer behind the echo of the 81";
  chip.answers["83 03 00 50 01 14 00"] = "87 F1 11 C3 02 00 50 01 14 00 E5";
  Exchange(Envelope(Kwp(0x80, 0x11, {0x83, 0x03, 0x00, 0x50, 0x01, 0x14, 0x00})));
  chip.lines.clear();
  Exchange(Envelope(Kwp(0x80, 0x11, {0x21, 0x01})));
  EXPECT_EQ(chip.lines.front(), "AT ST FF") << "P2max 2000 ms, as far as the chip can wait";

  // A failed init: the echo alone, and the status says what went wrong.
  chip.answers["AT FI"] = "BUS INIT: ...ERROR";
  const Bytes start = Kwp(0x80, 0x11, {0x81});
  got = Exchange(Envelope(start, 0x80));
  EXPECT_EQ(got, start);
  EXPECT_EQ(elm.LastCondition(), elm::Condition::BusInit);
}

TEST_F(Driver, ACloneThatRefusesFastInitGetsTheBusStartedByTheRequest) {
  chip.answers["AT Z"] = "\rELM327 v1.5";
  chip.answers["AT I"] = "ELM327 v1.5";
  chip.answers["AT AL"] = "?";
  chip.answers["AT FI"] = "?";
  chip.answers["81"] = "BUS INIT: ...OK\r83 F1 10 C1 EF 8F C3";
  Open();
  EXPECT_TRUE(elm.Chip().knownClone);
  EXPECT_EQ(elm.RequestLimit(), 7u);
  const Bytes start = Kwp(0x80, 0x10, {0x81});
  const Bytes got = Exchange(Envelope(start, 0x80));
  EXPECT_EQ(got.size(), start.size() + 7);
  EXPECT_EQ(elm.LastCondition(), elm::Condition::Ok);
  // The second time it does not ask again.
  chip.lines.clear();
  Exchange(Envelope(start, 0x80));
  EXPECT_EQ(chip.lines, (std::vector<std::string>{"AT PC", "81"}));
}

TEST_F(Driver, LongRequestsAndOtherLineSettingsAreRefusedAndNothingIsSent) {
  chip.answers["AT AL"] = "?";
  Open();
  std::string said;
  elm.SetConditionListener([&](elm::Condition, const std::string& text) { said = text; });
  const Bytes write = Kwp(0x80, 0x10, {0x3B, 0x01, 1, 2, 3, 4, 5, 6});
  const Bytes env = Envelope(write);
  EXPECT_EQ(elm.Write(env.data(), env.size()), WriteStatus::Failed);
  EXPECT_TRUE(chip.lines.empty());
  EXPECT_EQ(elm.LastCondition(), elm::Condition::TooLong);
  EXPECT_NE(said.find("8 байт"), std::string::npos) << said;
  EXPECT_NE(said.find("предел 7"), std::string::npos) << said;

  EXPECT_FALSE(elm.ApplyLineSettings({9600, 'n', 8, 1}));
  const Bytes tester = Envelope(Kwp(0x80, 0x10, {0x3E, 0x01}));
  EXPECT_EQ(elm.Write(tester.data(), tester.size()), WriteStatus::Failed);
  EXPECT_EQ(elm.LastCondition(), elm::Condition::Unsupported);
  EXPECT_TRUE(chip.lines.empty());
  EXPECT_TRUE(elm.ApplyLineSettings({115200, 'n', 8, 2}));
  EXPECT_EQ(elm.Write(tester.data(), tester.size()), WriteStatus::Written);
}

TEST_F(Driver, Iso9141InitWithAndWithoutAtSi) {
  Open();
  chip.answers["AT SI"] = "BUS INIT: ...OK";
  const Bytes init{0x55, 0x56, 0x57, 0xAA, 0x46, 0xF7};
  EXPECT_EQ(Exchange(init), (Bytes{0xF7, 0xCC}));
  EXPECT_EQ(chip.lines,
            (std::vector<std::string>{"AT SP 3", "AT SH 68 6A F1", "AT ST 0D",
                                      "AT WM 68 6A F1 01 00", "AT IIA 33", "AT PC", "AT SI"}));
  chip.answers["AT SI"] = "BUS INIT: ...ERROR";
  EXPECT_TRUE(Exchange(init).empty());
  EXPECT_EQ(elm.LastCondition(), elm::Condition::BusInit);
  chip.answers["AT SI"] = "?";
  EXPECT_EQ(Exchange(init), (Bytes{0xF7})) << "the echo; the first request starts the line";
  chip.lines.clear();
  Exchange(init);
  EXPECT_EQ(chip.lines, (std::vector<std::string>{"AT PC"}));
}

TEST_F(Driver, AnAnswerNotCompleteByTheReadComesWithALaterOne) {
  Open();
  chip.answers["3E 01"] = "82 F1 10 7E 01 02";
  chip.piece = 1;
  const Bytes tester = Kwp(0x80, 0x10, {0x3E, 0x01});
  const Bytes env = Envelope(tester);
  ASSERT_EQ(elm.Write(env.data(), env.size()), WriteStatus::Written);
  elm.SetReadTimeout(10);  // two chip reads: not enough for the answer
  Bytes got(256);
  EXPECT_EQ(elm.Read(got.data(), got.size()), 0u);
  elm.SetReadTimeout(1000);
  got.resize(elm.Read(got.data(), got.size()));
  EXPECT_EQ(got.size(), tester.size() + 6);
}

TEST_F(Driver, AdapterCheckListsEveryCommandAndDecidesTheWorkArounds) {
  chip.answers["AT FI"] = "?";
  chip.answers["AT KW"] = "?";
  chip.answers["AT SI"] = "BUS INIT: ...OK";
  Open();
  const auto lines = elm.Check();
  std::map<std::string, bool> seen;
  for (const auto& l : lines) seen[l.command] = l.accepted;
  EXPECT_TRUE(seen.at("AT I"));
  EXPECT_FALSE(seen.at("AT FI"));
  EXPECT_FALSE(seen.at("AT KW"));
  EXPECT_TRUE(seen.at("AT SI"));
  EXPECT_TRUE(seen.at("AT WM 82 10 F1 3E 01"));
  EXPECT_EQ(lines.front().answer, "ELM327 v2.2");
  // The refused fast init is not asked for again.
  chip.lines.clear();
  Exchange(Envelope(Kwp(0x80, 0x10, {0x81}), 0x80));
  EXPECT_EQ(std::count(chip.lines.begin(), chip.lines.end(), "AT FI"), 0);
}

TEST_F(Driver, TheObdSearchGoesOnToCanAfterAnErrorWordAndKeepsWhatItFound) {
  Open();
  chip.answers["AT FI"] = "BUS INIT: ...ERROR";
  std::string protocol;
  chip.fallback = [&](const std::string& line) -> std::string {
    if (line.rfind("AT SP ", 0) == 0) protocol = line.substr(6);
    if (line.rfind("AT", 0) == 0) return "OK";
    if (line != "01 00") return "NO DATA";
    if (protocol == "6") return "CAN ERROR";
    if (protocol == "7") return "SEARCHING...\r18 DA F1 10 06 41 00 BE 3F B8 10 00";
    return "NO DATA";
  };
  const Bytes start{0xC1, 0x33, 0xF1, 0x81, 0x66};
  EXPECT_EQ(Exchange(Envelope(start, 0x80)), start) << "the echo alone";
  EXPECT_EQ(elm.ObdProtocol(), 7);
  EXPECT_EQ(elm.LastCondition(), elm::Condition::Ok);
  const auto sent = [&](const std::string& l) {
    return std::count(chip.lines.begin(), chip.lines.end(), l);
  };
  EXPECT_EQ(sent("AT SP 6"), 1);
  EXPECT_EQ(sent("AT SH 7DF"), 1);
  EXPECT_EQ(sent("AT CP 18"), 1);
  EXPECT_EQ(sent("AT SH DB 33 F1"), 1);
  EXPECT_EQ(sent("AT SP 8"), 0) << "found before it";
  // Later StartCommunications of the window send nothing; its requests go on CAN.
  chip.lines.clear();
  EXPECT_EQ(Exchange(Envelope(start, 0x80)), start);
  EXPECT_TRUE(chip.lines.empty());
  // Nowhere at all: the status says so.
  elm.ForgetObdProtocol();
  chip.fallback = [](const std::string& line) -> std::string {
    return line.rfind("AT", 0) == 0 ? "OK" : "NO DATA";
  };
  Exchange(Envelope(start, 0x80));
  EXPECT_EQ(elm.ObdProtocol(), 0);
  EXPECT_EQ(elm.LastCondition(), elm::Condition::UnableToConnect);
}

}  // namespace
}  // namespace kd::link
