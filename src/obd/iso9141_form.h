// The ISO 9141 window (TIso_9141): the generic OBD services of the EOBD window for controllers
// on an ISO 9141-2 line. It differs in the frame header, the line initialisation done by the
// adapter, where the checksum is added and where the reply is found.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "link/exchange_buffer.h"
#include "link/port.h"
#include "obd/obd_state.h"
#include "obd/obd_tables.h"
#include "view/form.h"

namespace kd::obd {

// Header byte and functional target of an ISO 9141-2 request.
inline constexpr std::uint8_t kIso9141Header = 0x68;
inline constexpr std::uint8_t kIso9141Target = 0x6A;
// The request the step leaves when the line must be initialised again.
inline constexpr std::uint8_t kInitMarker = 0x81;
// The complement of key byte 08, sent to close the initialisation, and the controller's
// complement of address 33 that answers it.
inline constexpr std::uint8_t kKeyComplement = 0xF7;
inline constexpr std::uint8_t kAddressComplement = 0xCC;

class Iso9141Form : public view::Form {
 public:
  static constexpr int kFirstInterval = 1000;
  static constexpr int kInterval = 300;
  static constexpr int kAfterInit = 2000;

  Iso9141Form(link::PortHandle& port, Iso9141Shared& shared);
  // An exchange still in flight for the window is dropped with it.
  ~Iso9141Form() override;

  view::Timer* LinkTimer() override { return &timer1_; }
  void PollTick();

  link::ExchangeBuffer& Buffer() { return *buffer_; }
  std::uint32_t TroubleCodeCount() const { return troubleCodeCount_; }

 private:
  // Decodes the reply in the ReceiveArea and frames the next request.
  link::OutgoingFrame Step();
  enum class Page { Mode1, Mode2, Mode34, Mode7 };

  // Where the reply to the packet written last starts in the ReceiveArea; -1 when there is none
  // to look for.
  int ReplyOffset() const;
  bool LastWasInit() const { return buffer_->transmitFrame[5] == kKeyComplement; }
  // The adapter gives back the closing F7 only once the controller sent its key bytes; its other
  // form carries the controller's CC.
  bool InitAnswered() const;
  link::ReplyCopy TakeReply() const;
  void ObdStep();
  // Header, service and parameters; DataLength = their count without the header.
  void Leave(const std::vector<std::uint8_t>& request);

  link::PortHandle& port_;
  Iso9141Shared& shared_;
  std::unique_ptr<link::ExchangeBuffer> buffer_ = std::make_unique<link::ExchangeBuffer>();
  ShownCodes codes3_;
  ShownCodes codes7_;
  std::uint32_t troubleCodeCount_ = 0;

  view::StatusBar& statusBar1_;
  view::PageControl& pageControl1_;
  view::Grid& stringGrid1_;
  view::Grid& stringGrid2_;
  view::Memo& memo1_;
  view::Button& button1_;
  view::Memo& memo2_;
  view::Timer& timer1_;
};

}  // namespace kd::obd
