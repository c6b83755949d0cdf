// Replies and request lengths as they could arrive: every decoder and encoder of the link and the
// session engine of every type, and the ticks of the immobilizer and climate windows, on any
// bytes.
#include <cstring>
#include <vector>

#include "climate/sauo_form.h"
#include "immo/aps4_form.h"
#include "immo/aps6_form.h"

#include "link/escaped.h"
#include "link/kline_cable.h"
#include "link/gm.h"
#include "link/kwp.h"
#include "session/session_step.h"

namespace {

// Every read gives the input's bytes; writes go nowhere.
class FeedPort : public kd::link::SerialPort {
 public:
  FeedPort(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool Open(int) override { return true; }
  bool IsOpen() const override { return true; }
  bool Close() override { return true; }
  bool ApplyLineSettings(const kd::link::LineSettings&) override { return true; }
  void SetReadTimeout(int) override {}
  void RaiseDtr() override {}
  void RaiseRts() override {}
  std::size_t Read(std::uint8_t* buffer, std::size_t maxBytes) override {
    const std::size_t n = std::min(maxBytes, size_);
    std::memcpy(buffer, data_, n);
    return n;
  }
  kd::link::WriteStatus Write(const std::uint8_t*, std::size_t) override {
    return kd::link::WriteStatus::Written;
  }
  bool WaitPendingWrite(int) override { return true; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
};

// Each window ticks twice on the input, once from its first state and once behind the echo of
// its own request, with the command the input's first byte clicks.
void SideWindows(const std::uint8_t* data, std::size_t size) {
  using namespace kd;
  FeedPort port(data + 3, size - 3);
  link::PortHandle handle(port);
  std::uint32_t command = data[1] % 6;
  const auto run = [&](view::Form& form, view::Timer& timer, const char* combo) {
    if (combo) {
      auto* box = form.FindAs<view::ComboBox>(combo);
      box->Select(static_cast<int>(data[2] % 16));
      box->OnChange();
    }
    for (int i = 0; i < 2; ++i) timer.Fire();
    if (auto* b = form.FindAs<view::Button>("Button1")) b->Click();
    timer.Fire();
  };
  immo::Aps4Form aps4(handle, command);
  run(aps4, aps4.Timer1(), nullptr);
  immo::Aps6Form aps6(handle);
  run(aps6, aps6.Timer1(), "ComboBox1");
  command = data[1] % 5;
  climate::SauoForm sauo(handle, command);
  sauo.FindAs<view::ListBox>("ListBox1")->Select(data[2] % 21);
  run(sauo, sauo.Timer1(), nullptr);
}

// The cable driver on a line that gives the input back on every read (its echo, its replies and
// its noise at once), with the input's bytes as what the core writes, enveloped or not.
void Cable(const std::uint8_t* data, std::size_t size) {
  using namespace kd;
  FeedPort line(data + 3, size - 3);
  link::ManualLineClock clock;
  link::KLineCable cable(line, clock);
  cable.Open(2);
  const link::LineSettings settings[] = {{115200, 'n', 8, 2}, {9600, 'n', 8, 1}, {8192, 'n', 8, 1}};
  cable.ApplyLineSettings(settings[data[0] % 3]);
  cable.SetReadTimeout(100);
  std::uint8_t in[256];
  cable.Write(data + 3, std::min<std::size_t>(size - 3, 255));
  cable.Read(in, 200);
  std::vector<std::uint8_t> packet = {0x55, 0x56, 0x57, 0xAA, 0};
  packet.insert(packet.end(), data + 3, data + std::min<std::size_t>(size, 60));
  packet[4] = static_cast<std::uint8_t>(packet.size() | (data[1] & 0xC0));
  cable.Write(packet.data(), packet.size());
  cable.Read(in, 200);
  cable.Read(in, 200);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kd;
  if (size < 3) return 0;
  view::StatusBar status("StatusBar1", {200, 70, 70, 70});
  const std::uint32_t type = data[0] % 13;
  const auto page = static_cast<session::Page>(data[1] % session::kPageCount);
  link::ExchangeBuffer buffer;
  buffer.dataLength = data[2];
  const std::size_t n = std::min(size - 3, link::kAreaSize);
  std::memcpy(buffer.receiveArea, data + 3, n);
  std::memcpy(buffer.transmitFrame, data + 3, std::min(size - 3, link::kAreaSize));

  link::ReplyCopy reply{};
  std::memcpy(reply.data(), data + 3, std::min(n, reply.size()));
  link::ValidateKwpReply(reply, status);
  link::ValidateGmReply(reply, status);
  link::ReplyCopy copy = reply;
  link::DecodeEscapedReply(copy, buffer, status);

  session::SessionState state;
  state.pendingCommand = data[1] >> 4;
  session::SessionStep(buffer, {type, page, state, status, nullptr});
  link::ExchangeBuffer again = buffer;
  link::FrameKwpRequest(again);
  again.dataLength = data[2];
  link::EncodeEscapedRequest(again);
  SideWindows(data, size);
  Cable(data, size);
  return 0;
}
