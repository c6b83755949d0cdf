#include "identity/adc_page_step.h"

#include <string>

#include "catalogue/ecu_catalogue.h"
#include "identity/adc_channels.h"
#include "identity/identity_text.h"
#include "link/kwp.h"
#include "text/number_format.h"

namespace kd::identity {

namespace {

using link::ReplyCopy;

int Count(std::uint32_t type) {
  return static_cast<int>(AdcChannels(type).size());
}

std::string Binary(std::uint8_t v) {
  std::string bits(8, '0');
  for (int i = 0; i < 8; ++i)
    if (v >> (7 - i) & 1) bits[static_cast<std::size_t>(i)] = '1';
  return bits;
}

}  // namespace

AdcPageStep::AdcPageStep(view::Form& form, const std::uint32_t& ecuType)
    : ecuType_(ecuType), grid_(form.Add<view::Grid>("StringGrid2")) {
  grid_.SetSize(4, 2);
  grid_.ColWidths() = {234, 72, 98, 33};
  grid_.OnSelectCell = [this](int, int row) {
    const auto channels = AdcChannels(ecuType_);
    if (row >= 1 && row <= static_cast<int>(channels.size()))
      grid_.SetHint(ChannelHintText(channels[static_cast<std::size_t>(row - 1)]));
  };
}

void AdcPageStep::TypeApplied() {
  // Values of another controller would stand beside this one's channel names, for good on the
  // types whose page reads none.
  if (appliedType_ != ecuType_) {
    for (int r = 1; r < grid_.RowCount(); ++r) {
      grid_.SetCell(1, r, "");
      grid_.SetCell(2, r, "");
    }
  }
  appliedType_ = ecuType_;
  // The types without channels have the page's own words for it in their list.
  const auto channels = AdcChannels(ecuType_);
  grid_.SetSize(4, static_cast<int>(channels.size()) + 1);
  grid_.SetCell(0, 0, "Наименование");
  grid_.SetCell(1, 0, "Значение");
  grid_.SetCell(2, 0, "Двоич. знач.");
  for (std::size_t i = 0; i < channels.size(); ++i)
    grid_.SetCell(0, static_cast<int>(i) + 1, ChannelNameText(channels[i]));
  // A list of real channel names that is never read says so beside them; a one-line list says
  // it in its own words.
  if (!Serves() && channels.size() > 1) grid_.SetCell(1, 1, kNotSupported);
}

bool AdcPageStep::Serves() const {
  return catalogue::Lookup(ecuType_).adc != catalogue::AdcFamily::None;
}

void AdcPageStep::Step(ReplyCopy& reply, link::ExchangeBuffer& buffer) {
  using catalogue::AdcFamily;
  switch (catalogue::Lookup(ecuType_).adc) {
    case AdcFamily::January5:
      LocalRecordStep(reply, buffer);
      break;
    case AdcFamily::Mp70Memory:
      MemorySweepStep(reply, buffer);
      break;
    case AdcFamily::January41:
      January41Step(reply, buffer);
      break;
    case AdcFamily::M797M10:
      ScaledRecordStep(reply, buffer);
      break;
    case AdcFamily::None:
      break;
  }
}

void AdcPageStep::LocalRecordStep(const ReplyCopy& r, link::ExchangeBuffer& buffer) {
  link::WriteKwpService(buffer, {0x21, 0x03});
  if (r[4] != 0x61 || r[5] != 0x03) return;
  // Every channel by its row: the table's own position and scale are not used here.
  const int count = Count(ecuType_);
  for (int b = 0; b < count; ++b) {
    const std::uint8_t v = link::At(r, 6 + static_cast<std::size_t>(b));
    if (b <= 5) {
      grid_.SetCell(1, b + 1, text::FormatNumber(v * 5.0 / 256, "###0.00") + "B");
    } else {
      grid_.SetCell(1, b + 1, text::FormatNumber(v, "###0"));
      grid_.SetCell(2, b + 1, Binary(v));
    }
  }
}

void AdcPageStep::MemorySweepStep(const ReplyCopy& r, link::ExchangeBuffer& buffer) {
  const auto channels = AdcChannels(ecuType_);
  const std::int32_t count = static_cast<std::int32_t>(channels.size());
  // A step left over from a type with more channels starts the sweep again.
  if (adcStep_ < 0 || adcStep_ >= count) adcStep_ = 0;
  const std::int32_t prev = adcStep_ == 0 ? count - 1 : adcStep_ - 1;
  link::WriteKwpService(
      buffer, {0x23, 0x40, 0x00, channels[static_cast<std::size_t>(adcStep_)].channelPos, 0x01});
  // The answer is the one to the previous tick's request.
  if (r[3] == 0x63) grid_.SetCell(1, prev + 1, text::FormatNumber(r[4], "###0"));
  if (++adcStep_ == count) adcStep_ = 0;
}

void AdcPageStep::January41Step(const ReplyCopy& r, link::ExchangeBuffer& buffer) {
  for (int i = 0; i < 10; ++i) {
    const std::uint8_t v = r[static_cast<std::size_t>(i)];
    std::string shown;
    if (i < 4)
      shown = text::FormatNumber(v, "###0");
    else if (i == 5)
      shown = text::FormatNumber(v * 0.1, "###0.#");
    else
      shown = text::FormatNumber(v * 5.0 / 256, "###0.#");
    grid_.SetCell(1, i + 1, shown);
  }
  const auto channels = AdcChannels(ecuType_);
  buffer.transmitFrame[0] = 'a';
  for (std::size_t i = 0; i < channels.size(); ++i)
    link::Put(buffer.transmitFrame, 1 + i, channels[i].channelPos);
  buffer.dataLength = static_cast<std::uint8_t>(1 + channels.size());
}

void AdcPageStep::ScaledRecordStep(const ReplyCopy& r, link::ExchangeBuffer& buffer) {
  link::WriteKwpService(buffer, {0x21, 0x03});
  if (r[3] != 0x61 || r[4] != 0x03) return;
  const bool highFirst = catalogue::Lookup(ecuType_).highByteFirst;
  const auto channels = AdcChannels(ecuType_);
  for (std::size_t i = 0; i < channels.size(); ++i) {
    const AdcChannel& c = channels[i];
    const std::size_t p = c.channelPos;
    const std::uint8_t b0 = link::At(r, 5 + p);
    const std::uint8_t b1 = link::At(r, 6 + p);
    const int row = static_cast<int>(i) + 1;
    if (c.channelWidth == 1) {
      grid_.SetCell(1, row,
                    text::FormatNumber(b0 * double{c.channelScale} + c.channelOffset, "###0.##"));
    } else {
      const int raw = highFirst ? b0 * 256 + b1 : b1 * 256 + b0;
      grid_.SetCell(1, row,
                    text::FormatNumber(raw * double{c.channelScale} + c.channelOffset, "####0.##"));
    }
  }
}

}  // namespace kd::identity
