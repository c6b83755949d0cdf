#include "obd/iso9141_form.h"

#include <algorithm>
#include <initializer_list>
#include <string>

#include "link/kwp.h"
#include "obd/obd_port.h"

namespace kd::obd {

namespace {

const std::vector<view::Page> kPages = {{"TabSheet1", "MODE 1"},
                                        {"TabSheet2", "MODE 2"},
                                        {"TabSheet3", "MODE 3+4"},
                                        {"TabSheet4", "MODE 7"}};

constexpr int kLinkPanel = 2;
constexpr std::uint8_t kInitPacket[] = {0x55, 0x56, 0x57, 0xAA, 0x46, kKeyComplement};

}  // namespace

Iso9141Form::Iso9141Form(link::PortHandle& port, Iso9141Shared& shared)
    : view::Form("TIso_9141"),
      port_(port),
      shared_(shared),
      statusBar1_(Add<view::StatusBar>("StatusBar1", std::vector<int>{80, 200, 150})),
      pageControl1_(Add<view::PageControl>("PageControl1", kPages)),
      stringGrid1_(Add<view::Grid>("StringGrid1")),
      stringGrid2_(Add<view::Grid>("StringGrid2")),
      memo1_(Add<view::Memo>("Memo1")),
      button1_(Add<view::Button>("Button1")),
      memo2_(Add<view::Memo>("Memo2")),
      timer1_(Add<view::Timer>("Timer1", kFirstInterval)) {
  SetCaption("ISO_9141");
  static constexpr const char* kHeadings[] = {
      "Request current Powertrain Diagnostic Data", "Request Powertrain Freeze Frame Data",
      "Request Emission-related Powertrain Diagnostic",
      "On-Board Monitoring Test Results for Continously Monitored Systems"};
  for (int i = 0; i < 4; ++i)
    Add<view::Label>("StaticText" + std::to_string(i + 1)).SetCaption(kHeadings[i]);
  stringGrid1_.SetSize(6, 16);
  SetHeaders(stringGrid1_, {"№ PID", "Активн.", "Вывод", "Расшифровка", "Параметр", "Размерность"});
  stringGrid2_.SetSize(5, 16);
  SetHeaders(stringGrid2_, {"№ PID", "Активн.", "Вывод", "Расшифровка", "Параметр"});
  stringGrid1_.ColWidths() = {55, 60, 50, 230, 100, 120};
  stringGrid2_.ColWidths() = {55, 60, 50, 230, 100};
  button1_.SetCaption("Clear Error");
  button1_.OnClick = [this] { shared_.clearRequest = 1; };
  statusBar1_.SetText(0, PortText(port_.openPortNumber));
  timer1_.OnTimer = [this] { PollTick(); };
  for (view::Control* c :
       std::initializer_list<view::Control*>{&stringGrid1_, &stringGrid2_, &memo1_, &memo2_})
    Values().Watch(*c);
}

int Iso9141Form::ReplyOffset() const {
  const link::ExchangeBuffer& b = *buffer_;
  const int written = b.dataLength;
  if (b.receiveArea[0] == kKeyComplement) return written >= 4 ? written - 4 : -1;
  if (b.receiveArea[2] == kAddressComplement) return 9;
  return written >= 5 ? written - 5 : -1;
}

bool Iso9141Form::InitAnswered() const {
  return buffer_->receiveArea[0] == kKeyComplement || buffer_->receiveArea[2] == kAddressComplement;
}

link::ReplyCopy Iso9141Form::TakeReply() const {
  link::ReplyCopy reply{};
  const int offset = ReplyOffset();
  if (offset < 0) return reply;
  for (std::size_t i = 0; i < reply.size(); ++i)
    reply[i] = link::At(buffer_->receiveArea, static_cast<std::size_t>(offset) + i);
  return reply;
}

void Iso9141Form::PollTick() {
  link::RunTick(
      port_, *buffer_, [this](std::size_t) { return Step(); },
      [this](link::WriteOutcome outcome) { ShowPacketWrite(outcome, statusBar1_); });
}

link::OutgoingFrame Iso9141Form::Step() {
  link::ExchangeBuffer& b = *buffer_;
  // The echo of the window's own request is no sign of the controller: only a reply behind it
  // (or the answer to the initialisation) is.
  const link::ReplyCopy reply = TakeReply();
  const bool answered =
      LastWasInit() ? InitAnswered() : (reply[0] | reply[1] | reply[2] | reply[3]) != 0;
  statusBar1_.SetText(kLinkPanel, answered ? link::kDataReceived : link::kNoLink);
  Values().Answered(answered);

  ObdStep();

  const std::size_t n = b.dataLength;
  const std::size_t frameLength = 3 + n;
  std::copy_backward(b.transmitFrame, b.transmitFrame + frameLength,
                     b.transmitFrame + frameLength + 5);
  std::uint8_t sum = 0;
  for (std::size_t i = 5; i < 5 + frameLength; ++i) sum = link::Add8(sum, b.transmitFrame[i]);
  b.transmitFrame[5 + frameLength] = sum;
  std::copy(std::begin(link::kEnvelope), std::end(link::kEnvelope), b.transmitFrame);
  b.transmitFrame[4] = static_cast<std::uint8_t>(n + 9);
  b.dataLength = static_cast<std::uint8_t>(n + 9);
  timer1_.SetInterval(kInterval);
  if (b.transmitFrame[8] == kInitMarker) {
    std::copy(std::begin(kInitPacket), std::end(kInitPacket), b.transmitFrame);
    b.dataLength = sizeof kInitPacket;
    timer1_.SetInterval(kAfterInit);
  }
  return Packet(b, b.dataLength);
}

void Iso9141Form::Leave(const std::vector<std::uint8_t>& request) {
  link::ExchangeBuffer& b = *buffer_;
  b.transmitFrame[0] = kIso9141Header;
  b.transmitFrame[1] = kIso9141Target;
  b.transmitFrame[2] = link::kTesterAddress;
  std::copy(request.begin(), request.end(), b.transmitFrame + 3);
  b.dataLength = static_cast<std::uint8_t>(request.size());
}

void Iso9141Form::ObdStep() {
  link::ExchangeBuffer& b = *buffer_;
  const link::ReplyCopy reply = TakeReply();
  std::uint8_t sid = reply[3];
  if (sid == 0x7F) sid = reply[4];
  const bool afterInit = LastWasInit();
  // A line whose controller never answered the initialisation is initialised again.
  if (afterInit && InitAnswered()) sid = 0xC1;
  const bool askedCount = !afterInit && b.transmitFrame[8] == 0x01 && b.transmitFrame[9] == 0x01;

  std::vector<std::uint8_t> request = {kInitMarker};
  const std::uint8_t id = reply[4];
  std::uint8_t noSensor = 0;
  switch (static_cast<Page>(pageControl1_.ActiveIndex())) {
    case Page::Mode1:
      if (sid == 0xC1) {
        request = {0x01, 0x00};
      } else if (sid == 0x41) {
        if (id == 0) {
          shared_.mode1Bitmap = BitmapAt(reply, 5);
          ListSupported(shared_.mode1Bitmap, shared_.mode1, stringGrid1_, Layout::Parameter);
        } else {
          DecodeObdParams(reply, id, shared_.mode1, stringGrid1_);
        }
        request = {0x01, NextSupportedId(shared_.mode1Bitmap, id, 0x01, noSensor)};
      }
      break;
    case Page::Mode2:
      if (sid == 0xC1) {
        request = {0x02, 0x00, shared_.frameNumber};
      } else if (sid == 0x42) {
        if (id == 0) {
          shared_.mode2Bitmap = BitmapAt(reply, 6);
          ListSupported(shared_.mode2Bitmap, shared_.mode2, stringGrid2_, Layout::Parameter);
        } else {
          DecodeObdParams(reply, id, shared_.mode2, stringGrid2_);
        }
        request = {0x02, NextSupportedId(shared_.mode2Bitmap, id, 0x02, noSensor),
                   shared_.frameNumber};
      }
      break;
    case Page::Mode34: {
      bool polled = false;
      if (sid == 0xC1) {
        request = {0x03};
        polled = true;
      } else if (sid == 0x41 && askedCount && id == 0x01) {
        // Only the answer to the window's own 01 01 carries the count; a mode 01 reply left over
        // from another page would give a wrong one.
        troubleCodeCount_ = reply[5] & 0x7F;
        request = {0x03};
        polled = true;
      }
      if (polled && troubleCodeCount_ == 0) request = {0x01, 0x01};
      if (sid == 0x43 || sid == 0x44) {
        request = {0x01, 0x01};
        if (sid == 0x43) ShowNewCodes(reply, 4, 3, codes3_, memo1_);
        if (shared_.clearRequest == 1) {
          request = {0x04};
          memo1_.Clear();
          codes3_.Clear();
          shared_.clearRequest = 0;
        }
      }
      break;
    }
    case Page::Mode7:
      if (sid == 0xC1 || sid == 0x47) request = {0x07};
      if (sid == 0x47) {
        ShowNewCodes(reply, 4, 3, codes7_, memo2_);
        ShowNewCodes(reply, 15, 3, codes7_, memo2_);
      }
      break;
  }
  Leave(request);
}

Iso9141Form::~Iso9141Form() {
  link::ForgetTicks(port_, *buffer_);
}

}  // namespace kd::obd
