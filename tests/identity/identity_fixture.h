// The three identity pages on a form of their own, with the main window's fields they share, fed
// replies as the engine hands them over.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "identity/adc_page_step.h"
#include "identity/equipment_page_step.h"
#include "identity/ident_page_step.h"
#include "support/frames.h"
#include "support/null_host.h"
#include "text/number_format.h"

namespace kd::identity::test {

using testing::Bytes;

// A host whose modal dialogs are handled by the test, and whose message boxes are noted.
struct DialogHost : testing::NullHost {
  std::function<void(view::Form&)> onModal;
  std::vector<std::string> messages;
  void ShowModal(view::Form& form) override {
    if (onModal) onModal(form);
  }
  void MessageBox(const std::string& caption, const std::string& text, view::MessageIcon) override {
    messages.push_back(caption + " | " + text);
  }
};

// Answers the value dialog: types `value` and presses OK, or Cancel when `accept` is false.
inline std::function<void(view::Form&)> Answer(std::string value, bool accept = true) {
  return [value, accept](view::Form& form) {
    form.FindAs<view::Edit>("Edit1")->SetText(value);
    form.FindAs<view::Button>(accept ? "OKBtn" : "CancelBtn")->Click();
  };
}

struct Pages {
  view::Form form{"TForm1"};
  DialogHost host;
  std::uint32_t type;
  session::SessionState session;
  std::uint32_t& pendingCommand = session.pendingCommand;
  std::uint8_t& requestStep = session.requestStep;
  std::uint8_t& pageTickCount = session.pageTickCount;
  std::string vin = std::string(19, ' ');
  std::string controllerNumber = std::string(16, ' ');
  std::string romId = std::string(8, ' ');
  bool identifiersRead = false;
  Identifiers identifiers;
  IdentPageStep ident{
      form, host, type, session, {vin, controllerNumber, romId, identifiersRead}, identifiers};
  EquipmentPageStep equipment{form, type, session, identifiers};
  view::Memo& comp = equipment.Comp();
  AdcPageStep adc{form, type};
  link::ExchangeBuffer buffer;

  explicit Pages(std::uint32_t t) : type(t) {
    text::SetDecimalSeparator('.');
    Apply(t);
  }
  void Apply(std::uint32_t t) {
    type = t;
    ident.TypeApplied();
    adc.TypeApplied();
  }

  static link::ReplyCopy Reply(const Bytes& bytes) {
    link::ReplyCopy reply{};
    std::copy_n(bytes.begin(), std::min(bytes.size(), reply.size()), reply.begin());
    return reply;
  }
  template <class Page>
  Bytes Feed(Page& page, const Bytes& bytes, bool escaped = false) {
    link::ReplyCopy reply = Reply(bytes);
    buffer.dataLength = 0xEE;
    std::fill(std::begin(buffer.transmitFrame), std::end(buffer.transmitFrame), 0);
    page.Step(reply, buffer);
    if (buffer.dataLength == 0xEE) return {};
    const std::size_t from = escaped ? 0 : 3;
    return Bytes(buffer.transmitFrame + from, buffer.transmitFrame + from + buffer.dataLength);
  }
  Bytes Ident(const Bytes& b) { return Feed(ident, b, type == 4); }
  Bytes Equipment(const Bytes& b) { return Feed(equipment, b, type == 4); }
  Bytes Adc(const Bytes& b) { return Feed(adc, b, type == 4); }

  std::string Cell(int col, int row) { return ident.StringGrid4().Cell(col, row); }
  std::string AdcCell(int col, int row) { return adc.StringGrid2().Cell(col, row); }
  std::vector<std::string> Memo() const { return comp.Items(); }
  void DoubleClick(int row) {
    ident.StringGrid4().SelectCell(1, row);
    ident.StringGrid4().OnDblClick();
  }
};

// A KWP2000 reply as the engine's ReplyCopy holds it: format byte, F1, sender, service bytes.
inline Bytes Short(const Bytes& service, std::uint8_t from = 0x10) {
  return testing::KwpReply(from, service);
}
inline Bytes Long(const Bytes& service, std::uint8_t from = 0x10) {
  return testing::KwpReply(from, service, testing::Header::Long);
}
inline Bytes Concat(Bytes a, const std::string& text) {
  a.insert(a.end(), text.begin(), text.end());
  return a;
}

}  // namespace kd::identity::test
