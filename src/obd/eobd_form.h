// The EOBD window (TEOBD): generic OBD services of ISO 15031-5 in ISO 14230 frames with
// functional addressing, over the port the main window opened. It owns its exchange buffer, its
// timer, its pages and its request cycle; what must outlive it is in EobdShared.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "link/exchange_buffer.h"
#include "link/port.h"
#include "obd/obd_state.h"
#include "obd/obd_tables.h"
#include "view/form.h"

namespace kd::obd {

// The functional OBD address and the format byte of a functionally addressed request.
inline constexpr std::uint8_t kObdFunctionalAddress = 0x33;
inline constexpr std::uint8_t kFunctionalFormat = 0xC0;
inline constexpr std::uint8_t kStartCommunication = 0x81;

class EobdForm : public view::Form {
 public:
  static constexpr int kInterval = 300;
  static constexpr std::size_t kVinLength = 17;
  static constexpr std::size_t kVinMessages = 5;
  static constexpr std::size_t kCalibrationLength = 44;
  static constexpr std::size_t kCalibrationMessages = 11;

  EobdForm(link::PortHandle& port, EobdShared& shared);
  // An exchange still in flight for the window is dropped with it.
  ~EobdForm() override;

  view::Timer* LinkTimer() override { return &timer1_; }
  // One poll: read what arrived, let the page on screen act on it, send the next request.
  void PollTick();

  link::ExchangeBuffer& Buffer() { return *buffer_; }
  const ShownCodes& CodesMode3() const { return codes3_; }
  const ShownCodes& CodesMode7() const { return codes7_; }

 private:
  // Decodes the reply in the ReceiveArea and frames the next request.
  link::OutgoingFrame Step();
  enum class Page { Mode1, Mode2, Mode34, Mode56, Mode7, Mode8, Mode9 };

  void BuildControls();
  // Decodes the reply for the page on screen and leaves the next request framed (without the
  // adapter envelope) at the start of the TransmitFrame.
  void ObdStep();
  void Frame(const std::vector<std::uint8_t>& request);
  void ReadVin(const link::ReplyCopy& reply);
  void ReadCalibration(const link::ReplyCopy& reply);
  void FrameButtonClick();
  void ShowProtocol();

  link::PortHandle& port_;
  EobdShared& shared_;
  std::unique_ptr<link::ExchangeBuffer> buffer_ = std::make_unique<link::ExchangeBuffer>();
  ShownCodes codes3_;
  ShownCodes codes7_;
  std::array<std::uint8_t, kVinLength> vin_{};
  std::array<std::uint8_t, kCalibrationLength + 1> calibration_{};
  std::uint8_t vinMessages_ = 0;
  std::uint8_t calibrationMessages_ = 0;
  std::uint16_t verificationNumber_ = 0;

  view::StatusBar& statusBar1_;
  view::PageControl& pageControl1_;
  view::Grid& stringGrid1_;
  view::Grid& stringGrid2_;
  view::Button& button1_;
  view::Memo& memo1_;
  view::Button& button2_;
  view::Grid& stringGrid3_;
  view::Grid& stringGrid5_;
  view::Memo& memo2_;
  view::Grid& stringGrid4_;
  view::Timer& timer1_;
  // Through an adapter that finds the protocol itself: which one it found, and on CAN, that
  // mode 05 does not exist there.
  view::Label& obdProtocol_;
  view::Label& mode5Support_;
};

}  // namespace kd::obd
