// An adaptation page on a form of its own, fed replies as the engine hands them over.
#pragma once

#include <cstdint>
#include <string>

#include "catalogue/ecu_catalogue.h"
#include "link/exchange_buffer.h"
#include "support/frames.h"
#include "text/number_format.h"
#include "view/form.h"

namespace kd::adaptation::test {

using kd::testing::Bytes;
using kd::testing::Header;
using kd::testing::KwpReply;

// What the engine leaves in DataLength when the page writes nothing: its own request's length.
inline constexpr std::uint8_t kUntouched = 0xEE;

template <class P>
struct PageOn {
  view::Form form{"TForm1"};
  std::uint32_t type;
  P page;
  link::ExchangeBuffer buffer;

  explicit PageOn(std::uint32_t t) : type(t), page(form, type) {
    text::SetDecimalSeparator('.');
    page.TypeApplied();
  }
  void Switch(std::uint32_t t) {
    type = t;
    page.TypeApplied();
  }
  void Feed(const Bytes& bytes) {
    link::ReplyCopy reply = kd::testing::AsReply(bytes);
    buffer.dataLength = kUntouched;
    page.Step(reply, buffer);
  }
  // The KWP2000 request the step left: service and parameters; empty when it wrote none.
  Bytes Request() const {
    if (buffer.dataLength == kUntouched) return {};
    return Bytes(buffer.transmitFrame + 3, buffer.transmitFrame + 3 + buffer.dataLength);
  }
};

// A long-form reply of the engine controller: 80 F1 10 L service... sum.
inline Bytes Long(const Bytes& service, std::uint8_t from = 0x10) {
  return KwpReply(from, service, Header::Long);
}

inline Bytes WithData(Bytes head, const Bytes& data) {
  head.insert(head.end(), data.begin(), data.end());
  return head;
}

}  // namespace kd::adaptation::test
