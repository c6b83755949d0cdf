// The APS-6 immobilizer window (TForm8): identification and manufacturer data, the DTCSTAT bytes
// with codes 6001..6020, the STAT0 flags, the key in the lock, and one chosen input or output,
// which it can switch.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "link/exchange_buffer.h"
#include "link/port.h"
#include "view/form.h"

namespace kd::immo {

struct Aps6Io {
  const char* shortName;
  const char* longName;
  std::uint8_t id;
  bool output;
  const char* stateOff;
  const char* stateOn;
};

inline constexpr std::size_t kAps6IoCount = 15;
extern const Aps6Io kAps6Io[kAps6IoCount];
// The row of an identifier; nothing for one the table lacks.
const Aps6Io* FindAps6Io(std::uint8_t id);

// Decoders of the unit's replies, as lines of the memos they fill.
std::string Aps6Identification(const link::ReplyCopy& reply);
std::string Aps6ManufacturerInfo(const link::ReplyCopy& reply);
struct Aps6ErrorLines {
  std::vector<std::string> stored;   // Memo1
  std::vector<std::string> current;  // Memo7
};
Aps6ErrorLines Aps6Errors(const link::ReplyCopy& reply);
std::vector<std::string> Aps6Stat0(std::uint8_t stat0);
std::vector<std::string> Aps6KeyData(const link::ReplyCopy& reply);

class Aps6Form : public view::Form {
 public:
  explicit Aps6Form(link::PortHandle& port);
  // An exchange still in flight for the window is dropped with it.
  ~Aps6Form() override;

  view::Timer* LinkTimer() override { return &timer1_; }
  view::Timer& Timer1() { return timer1_; }
  link::ExchangeBuffer& Buffer() { return *buffer_; }
  std::uint16_t KeyPassword() const { return keyPassword_; }
  std::uint32_t Aps6Command() const { return aps6Command_; }

  void Step(link::ExchangeBuffer& buffer);

 private:
  const Aps6Io& Chosen() const;
  // Button1 switches only the state the unit reported for the item now chosen.
  bool MaySwitch() const;
  std::vector<std::uint8_t> IoRequest();
  void Tick();

  link::PortHandle& port_;
  std::unique_ptr<link::ExchangeBuffer> buffer_ = std::make_unique<link::ExchangeBuffer>();
  std::uint32_t aps6Command_ = 0;
  std::uint8_t ioState_ = 0;
  // The identifier the last state reply was for; 0 before any.
  std::uint8_t ioStateId_ = 0;
  std::uint16_t keyPassword_ = 0;

  view::Memo& memo1_;
  view::Memo& memo2_;
  view::Memo& memo3_;
  view::Memo& memo4_;
  view::Memo& memo5_;
  view::Memo& memo6_;
  view::Memo& memo7_;
  view::ComboBox& comboBox1_;
  view::Label& label8_;
  view::Button& button1_;
  view::StatusBar& statusBar1_;
  view::Timer& timer1_;
};

}  // namespace kd::immo
