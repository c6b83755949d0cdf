// The APS-4 immobilizer window (TForm3): identification, the error report, state and learnt keys,
// its codes, the door switch and the key in the lock, and the buzzer, lamp and LED commands.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "link/exchange_buffer.h"
#include "link/port.h"
#include "view/form.h"

namespace kd::immo {

inline constexpr std::uint8_t kImmoAddress = 0xC0;
inline constexpr std::uint8_t kImmoTester = 0xF0;

// Decoders of the unit's replies, as lines of the memo they fill.
std::vector<std::string> Aps4ErrorReport(const link::ReplyCopy& reply);
std::vector<std::string> Aps4StateReport(std::uint8_t state);
// The type of the key in the lock; "Информ.неизв." for a value the unit does not define.
std::string Aps4KeyType(std::uint8_t keyType);

class Aps4Form : public view::Form {
 public:
  // `immoCommand` is the process's: a command clicked just before the window closed is sent by
  // the first tick of its next opening.
  Aps4Form(link::PortHandle& port, std::uint32_t& immoCommand);
  // An exchange still in flight for the window is dropped with it.
  ~Aps4Form() override;

  view::Timer* LinkTimer() override { return &timer1_; }
  view::Timer& Timer1() { return timer1_; }
  link::ExchangeBuffer& Buffer() { return *buffer_; }
  std::uint16_t RedKeyCode() const { return redKeyCode_; }

  // Decodes the reply behind the echo and leaves the next request framed.
  void Step(link::ExchangeBuffer& buffer);

 private:
  view::Memo& AddMemo(const char* label, const char* labelCaption, const char* memo,
                      const char* initial);
  void Tick();

  link::PortHandle& port_;
  std::uint32_t& immoCommand_;
  std::unique_ptr<link::ExchangeBuffer> buffer_ = std::make_unique<link::ExchangeBuffer>();
  std::uint8_t lampState_ = 0;
  std::uint8_t ledState_ = 0;
  std::uint16_t redKeyCode_ = 0;

  view::Memo& memo1_;
  view::Memo& memo2_;
  view::Memo& memo3_;
  view::Memo& memo4_;
  view::Memo& memo5_;
  view::Memo& memo6_;
  view::Memo& memo7_;
  view::Memo& memo8_;
  view::StatusBar& statusBar1_;
  view::Timer& timer1_;
};

}  // namespace kd::immo
