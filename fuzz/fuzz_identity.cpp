// The identifiers, equipment and ADC pages of every type, driven by whole ticks: the port hands
// the input's bytes to each read, the session engine finds the reply and runs the page, and the
// value dialog is confirmed now and then with a value taken from the input.
#include <algorithm>
#include <cstring>
#include <string>

#include "identity/adc_page_step.h"
#include "identity/equipment_page_step.h"
#include "identity/ident_page_step.h"
#include "link/port.h"
#include "session/session_step.h"

namespace {

using namespace kd;

// Each read gives the next slice of the input; writes go nowhere.
class FeedPort : public link::SerialPort {
 public:
  FeedPort(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool Open(int) override { return true; }
  bool IsOpen() const override { return true; }
  bool Close() override { return true; }
  bool ApplyLineSettings(const link::LineSettings&) override { return true; }
  void SetReadTimeout(int) override {}
  void RaiseDtr() override {}
  void RaiseRts() override {}
  std::size_t Read(std::uint8_t* buffer, std::size_t maxBytes) override {
    const std::size_t n = std::min({maxBytes, size_ - at_, std::size_t{60}});
    std::memcpy(buffer, data_ + at_, n);
    at_ += n;
    return n;
  }
  link::WriteStatus Write(const std::uint8_t*, std::size_t) override {
    return link::WriteStatus::Written;
  }
  bool WaitPendingWrite(int) override { return true; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

// OK with the typed value, or Cancel, as the input says.
class FuzzHost : public view::Host {
 public:
  std::string typed;
  bool accept = true;
  void ShowModal(view::Form& form) override {
    if (auto* edit = form.FindAs<view::Edit>("Edit1")) edit->SetText(typed);
    if (auto* b = form.FindAs<view::Button>(accept ? "OKBtn" : "CancelBtn")) b->Click();
  }
  std::optional<std::string> OpenFileDialog(const view::FileDialogRequest&) override { return {}; }
  std::optional<std::string> SaveFileDialog(const view::FileDialogRequest&) override { return {}; }
  std::optional<view::FontChoice> FontDialog(const view::FontChoice&) override { return {}; }
  void MessageBox(const std::string&, const std::string&, view::MessageIcon) override {}
  view::LocalTime Now() override { return {}; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  std::uint32_t type = data[0] % 13;
  FeedPort port(data + 4, size - 4);
  link::PortHandle handle(port);
  FuzzHost host;
  host.typed.assign(reinterpret_cast<const char*>(data + 4),
                    std::min<std::size_t>(size - 4, data[3] % 24));
  host.accept = (data[3] & 0x80) == 0;

  view::Form form("TForm1");
  view::StatusBar& status =
      form.Add<view::StatusBar>("StatusBar1", std::vector<int>{200, 70, 70, 70});
  session::SessionState state;
  std::string vin(19, ' '), controllerNumber(16, ' '), romId(8, ' ');
  bool identifiersRead = false;
  identity::Identifiers identifiers;
  identity::IdentPageStep ident(form, host, type, state,
                                {vin, controllerNumber, romId, identifiersRead}, identifiers);
  identity::EquipmentPageStep equipment(form, type, state, identifiers);
  identity::AdcPageStep adc(form, type);
  session::PageStep* pages[] = {&ident, &equipment, &adc};
  const session::Page ids[] = {session::Page::Idents, session::Page::Equipment, session::Page::Adc};
  for (session::PageStep* p : pages) p->TypeApplied();

  link::ExchangeBuffer buffer;
  buffer.dataLength = data[2];
  const std::size_t which = data[1] % 3;
  for (int tick = 0; tick < 12; ++tick) {
    if (tick == 4 && (data[1] & 0x10)) {
      ident.StringGrid4().SelectCell(1, data[2] % 11);
      ident.StringGrid4().OnDblClick();
    }
    if (tick == 8 && (data[1] & 0x20)) {
      // Another controller: the pages take its layout, the shared fields stay.
      type = data[2] % 13;
      for (session::PageStep* p : pages) p->TypeApplied();
    }
    const catalogue::EcuInfo& info = catalogue::Lookup(type);
    link::PollTick(
        handle, buffer, info.marksStartCommunication,
        [&](link::ExchangeBuffer& b) {
          session::SessionStep(b, {type, ids[which], state, status, pages[which]});
        },
        status);
  }
  return 0;
}
