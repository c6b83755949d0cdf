// The SAUO climate-control window (TSAUO): fault codes with the ISO 14230 status of the chosen
// one, identification, the table of inputs, outputs and measured values, and output commands.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "link/exchange_buffer.h"
#include "link/port.h"
#include "view/form.h"

namespace kd::climate {

inline constexpr std::uint8_t kSauoAddress = 0xB1;
inline constexpr std::uint8_t kSauoTester = 0xF1;

struct SauoCode {
  std::uint16_t code;
  const char* text;
};
inline constexpr std::size_t kSauoCodeCount = 30;
extern const SauoCode kSauoCodes[kSauoCodeCount];

// The list line of a code: its text, blank-padded to 58 characters as the unit's table stores
// it, or the code in four hexadecimal digits.
std::string SauoCodeLine(std::uint16_t code);
// The four lines describing a status byte.
std::vector<std::string> SauoStatusLines(std::uint8_t status);
// The codes a fault-code reply carries: no more than it announces, and no more than its own
// length and the reply copy hold.
std::size_t SauoCarriedCodes(const link::ReplyCopy& reply);
std::vector<std::string> SauoIdentification(const link::ReplyCopy& reply);

// The frame the list was last built from: format byte, addresses and data, without checksum. A
// short frame has at most 63 data bytes.
inline constexpr std::size_t kLastDtcFrameSize = 66;

class SauoForm : public view::Form {
 public:
  // `sauoCommand` is the process's: a command clicked just before the window closed is sent by
  // the first tick of its next opening.
  SauoForm(link::PortHandle& port, std::uint32_t& sauoCommand);
  // An exchange still in flight for the window is dropped with it.
  ~SauoForm() override;

  view::Timer* LinkTimer() override { return &timer1_; }
  view::Timer& Timer1() { return timer1_; }
  link::ExchangeBuffer& Buffer() { return *buffer_; }

  void Step(link::ExchangeBuffer& buffer);

 private:
  void DecodeCodes(const link::ReplyCopy& reply);
  void DecodeParameters(const link::ReplyCopy& reply);
  void Tick();

  link::PortHandle& port_;
  std::uint32_t& sauoCommand_;
  std::unique_ptr<link::ExchangeBuffer> buffer_ = std::make_unique<link::ExchangeBuffer>();
  std::array<std::uint8_t, kLastDtcFrameSize> lastDtcFrame_{};
  // Byte 5 of the last parameter reply: the output states the commands switch over.
  std::uint8_t outputs_ = 0;

  view::ListBox& listBox1_;
  view::Memo& memo1_;
  view::Memo& memo2_;
  view::Grid& stringGrid1_;
  view::Timer& timer1_;
};

}  // namespace kd::climate
