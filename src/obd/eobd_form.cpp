#include "obd/eobd_form.h"

#include <algorithm>
#include <initializer_list>
#include <string>

#include "link/kwp.h"
#include "link/obd_protocol.h"
#include "obd/obd_port.h"
#include "text/cp1251.h"
#include "text/number_format.h"

namespace kd::obd {

namespace {

const std::vector<view::Page> kPages = {
    {"TabSheet1", "MODE 1"},   {"TabSheet2", "MODE 2"}, {"TabSheet3", "MODE 3+4"},
    {"TabSheet4", "MODE 5+6"}, {"TabSheet6", "MODE 7"}, {"TabSheet7", "MODE 8"},
    {"TabSheet8", "MODE 9"},
};

constexpr std::uint8_t kLastFrame = 19;

// Bytes up to the first zero, as the window shows identifiers the controller sent.
template <std::size_t N>
std::string UpToZero(const std::array<std::uint8_t, N>& bytes) {
  const auto end = std::find(bytes.begin(), bytes.end(), 0);
  return text::Cp1251ToUtf8(std::string(bytes.begin(), end));
}

}  // namespace

EobdForm::EobdForm(link::PortHandle& port, EobdShared& shared)
    : view::Form("TEOBD"),
      port_(port),
      shared_(shared),
      statusBar1_(Add<view::StatusBar>("StatusBar1", std::vector<int>{80, 200, 50})),
      pageControl1_(Add<view::PageControl>("PageControl1", kPages)),
      stringGrid1_(Add<view::Grid>("StringGrid1")),
      stringGrid2_(Add<view::Grid>("StringGrid2")),
      button1_(Add<view::Button>("Button1")),
      memo1_(Add<view::Memo>("Memo1")),
      button2_(Add<view::Button>("Button2")),
      stringGrid3_(Add<view::Grid>("StringGrid3")),
      stringGrid5_(Add<view::Grid>("StringGrid5")),
      memo2_(Add<view::Memo>("Memo2")),
      stringGrid4_(Add<view::Grid>("StringGrid4")),
      timer1_(Add<view::Timer>("Timer1", kInterval)),
      obdProtocol_(Add<view::Label>("ObdProtocol")),
      mode5Support_(Add<view::Label>("Mode5Support")) {
  SetCaption("EOBD");
  BuildControls();
}

void EobdForm::BuildControls() {
  static constexpr const char* kHeadings[] = {
      "Request current Powertrain Diagnostic Data",
      "Request Powertrain Freeze Frame Data",
      "Request Emission-related Powertrain Diagnostic",
      "Request Oxygen Sensor Monitoring Test Results",
      "On-Board Monitoring Test Results for NonContinously Monitored Systems",
      "On-Board Monitoring Test Results for Continously Monitored Systems",
      "Request Control of On-Board System, Test or Component",
      "Request Vehicle Information",
  };
  for (int i = 0; i < 8; ++i)
    Add<view::Label>("StaticText" + std::to_string(i + 1)).SetCaption(kHeadings[i]);

  stringGrid1_.SetSize(6, 16);
  SetHeaders(stringGrid1_, {"№ PID", "Активн.", "Вывод", "Расшифровка", "Параметр", "Размерность"});
  stringGrid2_.SetSize(5, 16);
  SetHeaders(stringGrid2_, {"№ PID", "Активн.", "Вывод", "Расшифровка", "Параметр"});
  // Sensor 2's limits get columns of their own behind sensor 1's, headed like them.
  stringGrid3_.SetSize(8, 16);
  SetHeaders(stringGrid3_, {"№ TEST", "Расшифровка", "Sensor 1", "Sensor 2", "Minimum", "Maximum",
                            "Minimum", "Maximum"});
  stringGrid5_.SetSize(6, 3);
  stringGrid4_.SetSize(2, 4);
  SetHeaders(stringGrid4_, {"Параметр", "Содержимое контроллера"});
  stringGrid4_.SetCell(0, 1, "Vehicle Identification Number");
  stringGrid4_.SetCell(0, 2, "Calibration ID");
  stringGrid4_.SetCell(0, 3, "Calibration Verification Number");
  // Wide enough for the longest names and values of the tables.
  stringGrid1_.ColWidths() = {55, 60, 50, 230, 100, 120};
  stringGrid2_.ColWidths() = {55, 60, 50, 230, 100};
  stringGrid3_.ColWidths() = {65, 150, 70, 70, 70, 70, 70, 70};
  stringGrid5_.ColWidths() = {65, 150, 70, 70, 70, 70};
  stringGrid4_.ColWidths() = {240, 420};

  statusBar1_.SetText(0, PortText(port_.openPortNumber));
  button1_.SetCaption("Frame:" + text::FormatNumber(shared_.frameNumber, "###0."));
  button1_.OnClick = [this] { FrameButtonClick(); };
  button2_.SetCaption("Сбр.ОШИБОК");
  button2_.OnClick = [this] { shared_.clearRequest = 1; };
  timer1_.OnTimer = [this] { PollTick(); };
  for (view::Control* c :
       std::initializer_list<view::Control*>{&stringGrid1_, &stringGrid2_, &stringGrid3_,
                                             &stringGrid4_, &stringGrid5_, &memo1_, &memo2_})
    Values().Watch(*c);

  // A new window looks for the car's protocol afresh.
  port_.port.WithStack([](link::SerialPort& stack) {
    if (auto* reporter = link::ObdProtocolOf(stack)) reporter->ForgetObdProtocol();
  });
  mode5Support_.SetCaption("Не поддерживается.");
  ShowProtocol();
}

// The reporter is the driver's, where the port's stack lives: asked there, shown here.
void EobdForm::ShowProtocol() {
  bool reported = false;
  bool onCan = false;
  std::string name;
  port_.port.WithStack([&](link::SerialPort& stack) {
    if (const auto* reporter = link::ObdProtocolOf(stack)) {
      reported = true;
      name = reporter->ObdProtocolName();
      onCan = reporter->OnCan();
    }
  });
  obdProtocol_.SetVisible(reported);
  obdProtocol_.SetCaption(name);
  mode5Support_.SetVisible(onCan);
}

void EobdForm::FrameButtonClick() {
  shared_.frameNumber = shared_.frameNumber >= kLastFrame ? 0 : shared_.frameNumber + 1;
  button1_.SetCaption("Frame:" + text::FormatNumber(shared_.frameNumber, "###0."));
}

void EobdForm::PollTick() {
  link::RunTick(
      port_, *buffer_, [this](std::size_t) { return Step(); },
      [this](link::WriteOutcome outcome) {
        ShowPacketWrite(outcome, statusBar1_);
        ShowProtocol();
      });
}

link::OutgoingFrame EobdForm::Step() {
  link::ExchangeBuffer& b = *buffer_;
  ObdStep();
  // The adapter envelope in front of the frame; the frame's length stays in DataLength, since
  // the next reply stands behind its echo.
  const std::size_t frameLength = b.dataLength;
  std::copy_backward(b.transmitFrame, b.transmitFrame + frameLength,
                     b.transmitFrame + frameLength + 5);
  std::copy(std::begin(link::kEnvelope), std::end(link::kEnvelope), b.transmitFrame);
  std::uint8_t count = static_cast<std::uint8_t>(frameLength + 5);
  if (b.transmitFrame[8] == kStartCommunication) count |= 0x80;
  b.transmitFrame[4] = count;
  return Packet(b, frameLength + 5);
}

void EobdForm::Frame(const std::vector<std::uint8_t>& request) {
  link::ExchangeBuffer& b = *buffer_;
  const auto n = static_cast<std::uint8_t>(request.size());
  b.transmitFrame[0] = static_cast<std::uint8_t>(kFunctionalFormat + n);
  b.transmitFrame[1] = kObdFunctionalAddress;
  b.transmitFrame[2] = link::kTesterAddress;
  std::copy(request.begin(), request.end(), b.transmitFrame + 3);
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i < 3u + n; ++i) sum = link::Add8(sum, b.transmitFrame[i]);
  b.transmitFrame[3 + n] = sum;
  b.dataLength = static_cast<std::uint8_t>(n + 4);
}

void EobdForm::ObdStep() {
  link::ExchangeBuffer& b = *buffer_;
  link::ReplyCopy reply{};
  for (std::size_t i = 0; i < reply.size(); ++i)
    reply[i] = link::At(b.receiveArea, b.dataLength + i);

  // The window has no link status of its own; the tester's address in the reply is the sign.
  Values().Answered(reply[1] == link::kTesterAddress);
  std::uint8_t sid = reply[3];
  const bool negative = sid == 0x7F;
  if (negative) sid = reply[4];
  // What went out last is still behind the envelope in the TransmitFrame.
  const std::uint8_t lastSid = b.transmitFrame[8];
  // StartCommunication is answered only on a fast-init line, so its answer is not looked at;
  // a refusal, though, means there is no session to go on with.
  if (lastSid == kStartCommunication && !negative) sid = 0xC1;

  std::vector<std::uint8_t> request = {kStartCommunication};
  const std::uint8_t id = reply[4];
  std::uint8_t& frame = shared_.frameNumber;
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
        request = {0x02, 0x00, frame};
      } else if (sid == 0x42) {
        if (id == 0) {
          shared_.mode2Bitmap = BitmapAt(reply, 6);
          ListSupported(shared_.mode2Bitmap, shared_.mode2, stringGrid2_, Layout::Parameter);
        } else {
          DecodeObdParams(reply, id, shared_.mode2, stringGrid2_);
        }
        request = {0x02, NextSupportedId(shared_.mode2Bitmap, id, 0x02, noSensor), frame};
      }
      break;
    case Page::Mode34:
      if (sid == 0xC1) {
        request = {0x03};
      } else if (sid == 0x43 || sid == 0x44) {
        request = {0x03};
        // The answer to a clear carries no codes: its checksum would read as one.
        if (sid == 0x43) ShowNewCodes(reply, 4, 3, codes3_, memo1_);
        if (shared_.clearRequest == 1) {
          request = {0x04};
          memo1_.Clear();
          codes3_.Clear();
          shared_.clearRequest = 0;
        }
      }
      break;
    case Page::Mode56:
      if (sid == 0xC1) {
        request = {0x05, 0x00, 0x01};
        frame = 1;
      } else if (sid == 0x45) {
        if (id == 0) {
          shared_.mode5Bitmap = BitmapAt(reply, 6);
          ListSupported(shared_.mode5Bitmap, shared_.mode5, stringGrid3_, Layout::Test);
        } else {
          DecodeO2Test(reply, id, frame, shared_.mode5, stringGrid3_);
        }
        const std::uint8_t next = NextSupportedId(shared_.mode5Bitmap, id, 0x05, frame);
        request = {0x05, next, frame};
      }
      break;
    case Page::Mode7:
      if (sid == 0xC1 || sid == 0x47) request = {0x07};
      if (sid == 0x47) ShowNewCodes(reply, 4, 3, codes7_, memo2_);
      break;
    case Page::Mode8:
      break;
    case Page::Mode9:
      if (sid == 0xC1) {
        request = {0x09, 0x00};
      } else if (sid == 0x49) {
        switch (id) {
          case 0x00:
            request = {0x09, 0x01};
            break;
          case 0x01:
            vinMessages_ = reply[5];
            request = {0x09, 0x02};
            break;
          case 0x02:
            ReadVin(reply);
            request = {0x09, 0x03};
            break;
          case 0x03:
            calibrationMessages_ = reply[5];
            request = {0x09, 0x04};
            break;
          case 0x04:
            ReadCalibration(reply);
            request = {0x09, 0x05};
            break;
          case 0x05:
            request = {0x09, 0x06};
            break;
          case 0x06:
            verificationNumber_ = static_cast<std::uint16_t>(reply[6] + 256 * reply[7]);
            stringGrid4_.SetCell(1, 3, text::Hex4(verificationNumber_));
            request = {0x09, 0x01};
            break;
          default:
            break;
        }
      }
      break;
  }
  Frame(request);
}

// The messages arrive one after the other, 11 bytes each; message 0 carries one character in
// its last data byte, every later one four. A controller announcing more than the 17 characters
// need has the rest ignored.
void EobdForm::ReadVin(const link::ReplyCopy& reply) {
  const std::size_t messages = std::min<std::size_t>(vinMessages_, kVinMessages);
  for (std::size_t k = 0; k < messages; ++k) {
    if (k == 0) {
      vin_[0] = link::At(reply, 9);
      continue;
    }
    for (std::size_t j = 0; j < 4; ++j) vin_[4 * k - 3 + j] = link::At(reply, 11 * k + 6 + j);
  }
  stringGrid4_.SetCell(1, 1, UpToZero(vin_));
}

void EobdForm::ReadCalibration(const link::ReplyCopy& reply) {
  const std::size_t messages = std::min<std::size_t>(calibrationMessages_, kCalibrationMessages);
  for (std::size_t k = 0; k < messages; ++k)
    for (std::size_t j = 0; j < 4; ++j) calibration_[4 * k + j] = link::At(reply, 11 * k + 6 + j);
  stringGrid4_.SetCell(1, 2, UpToZero(calibration_));
}

EobdForm::~EobdForm() {
  link::ForgetTicks(port_, *buffer_);
}

}  // namespace kd::obd
