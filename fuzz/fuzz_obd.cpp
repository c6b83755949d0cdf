// Both generic OBD windows ticking on whatever the port delivers: the input is cut into reads,
// with page switches and button clicks between them, and every tick runs the window's whole
// cycle (reply location, step, framing, write).
#include <cstring>
#include <deque>

#include "link/port.h"
#include "obd/eobd_form.h"
#include "obd/iso9141_form.h"

namespace {

class FuzzPort : public kd::link::SerialPort {
 public:
  std::deque<std::uint8_t> incoming;
  kd::link::WriteStatus writeResult = kd::link::WriteStatus::Written;
  bool Open(int) override { return true; }
  bool IsOpen() const override { return true; }
  bool Close() override { return true; }
  bool ApplyLineSettings(const kd::link::LineSettings&) override { return true; }
  void SetReadTimeout(int) override {}
  void RaiseDtr() override {}
  void RaiseRts() override {}
  std::size_t Read(std::uint8_t* buffer, std::size_t maxBytes) override {
    std::size_t n = 0;
    for (; n < maxBytes && !incoming.empty(); ++n) {
      buffer[n] = incoming.front();
      incoming.pop_front();
    }
    return n;
  }
  kd::link::WriteStatus Write(const std::uint8_t*, std::size_t) override { return writeResult; }
  bool WaitPendingWrite(int) override { return false; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kd;
  FuzzPort port;
  link::PortHandle handle(port);
  handle.openPortNumber = size > 0 ? data[0] % 10 : 0;
  obd::EobdShared eobdShared;
  obd::Iso9141Shared isoShared;
  obd::EobdForm eobd(handle, eobdShared);
  obd::Iso9141Form iso(handle, isoShared);
  std::size_t at = 1;
  // Each step: a control byte, a length byte, then that many bytes for the next read.
  while (at + 2 <= size) {
    const std::uint8_t control = data[at];
    const std::size_t length = std::min<std::size_t>(data[at + 1], size - at - 2);
    at += 2;
    port.incoming.assign(data + at, data + at + length);
    at += length;
    port.writeResult = static_cast<link::WriteStatus>(control >> 6 == 3 ? 2 : control >> 6);
    const bool onIso = control & 1;
    view::Form& form = onIso ? static_cast<view::Form&>(iso) : eobd;
    if (control & 2) {
      auto* pages = form.FindAs<view::PageControl>("PageControl1");
      pages->ClickTab((control >> 2) % static_cast<int>(pages->Pages().size()));
    }
    if (control & 0x20) form.FindAs<view::Button>("Button1")->Click();
    if (!onIso && (control & 0x10)) form.FindAs<view::Button>("Button2")->Click();
    form.LinkTimer()->Fire();
  }
  return 0;
}
