// The ELM327 driver on whatever a chip could print: the answer parser and prompt search on the
// raw input, then the whole driver (open, set-up, requests of every envelope form, reads) on a
// chip whose every answer is the next piece of the input.
#include <cstring>
#include <deque>
#include <string_view>

#include "link/elm327_adapter.h"
#include "link/elm327_text.h"

namespace {

class FuzzChip : public kd::link::SerialPort {
 public:
  FuzzChip(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  kd::link::ManualLineClock clock;
  // Until the driver is set up the chip is a plain one, so that the requests reach the input.
  bool canned = true;
  bool Open(int) override { return open_ = true; }
  bool IsOpen() const override { return open_; }
  bool Close() override {
    open_ = false;
    return true;
  }
  bool ApplyLineSettings(const kd::link::LineSettings&) override { return true; }
  void SetReadTimeout(int) override {}
  void RaiseDtr() override {}
  void RaiseRts() override {}
  std::size_t Read(std::uint8_t* buffer, std::size_t maxBytes) override {
    clock.Advance(7000);
    if (canned) {
      std::size_t n = 0;
      for (; n < maxBytes && !reply_.empty(); ++n) {
        buffer[n] = static_cast<std::uint8_t>(reply_.front());
        reply_.pop_front();
      }
      return n;
    }
    if (at_ >= size_) return 0;
    // The first input byte of each read says how many follow in it.
    const std::size_t n = std::min<std::size_t>({maxBytes, data_[at_], size_ - at_ - 1});
    std::memcpy(buffer, data_ + at_ + 1, n);
    at_ += n + 1;
    return n;
  }
  kd::link::WriteStatus Write(const std::uint8_t*, std::size_t) override {
    if (canned) {
      const std::string_view text = "ELM327 v2.2\r\r>";
      reply_.insert(reply_.end(), text.begin(), text.end());
    }
    return kd::link::WriteStatus::Written;
  }
  bool WaitPendingWrite(int) override { return true; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
  bool open_ = false;
  std::deque<char> reply_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kd::link;
  const auto answer = elm::ParseAnswer(std::string_view(reinterpret_cast<const char*>(data), size));
  (void)answer;
  elm::PromptCollector collector;
  collector.Feed(data, size);
  (void)collector.Take();
  (void)elm::ReadEnvelope(data, size);

  FuzzChip chip(data, size);
  Elm327Adapter adapter(chip, chip.clock);
  adapter.Open(2);
  chip.canned = false;
  const std::uint8_t frames[][12] = {
      {0x55, 0x56, 0x57, 0xAA, 0x0A, 0x81, 0x10, 0xF1, 0x81, 0x03},
      {0x55, 0x56, 0x57, 0xAA, 0x0B, 0x82, 0x10, 0xF1, 0x21, 0x01, 0xA5},
      {0x55, 0x56, 0x57, 0xAA, 0x46, 0xF7},
      {0x55, 0x56, 0x57, 0xAA, 0x0B, 0x68, 0x6A, 0xF1, 0x01, 0x00, 0xC4},
  };
  const std::size_t lengths[] = {10, 11, 6, 11};
  std::uint8_t buffer[256];
  for (int round = 0; round < 3; ++round) {
    for (std::size_t i = 0; i < 4; ++i) {
      adapter.Write(frames[i], lengths[i]);
      adapter.Read(buffer, 200);
    }
  }
  (void)adapter.Check();
  return 0;
}
