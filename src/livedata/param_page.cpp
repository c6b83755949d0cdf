#include "livedata/param_page.h"

#include <cmath>
#include <cstdlib>

#include "catalogue/ecu_catalogue.h"
#include "link/gm.h"
#include "link/kwp.h"
#include "text/number_format.h"

namespace kd::livedata {

namespace {

using catalogue::ParamRecord;
using link::ReplyCopy;

// Bytes of the reply counted from a base; positions come from tables and files and are never
// trusted, so anything outside the copy reads as 0.
class Positions {
 public:
  Positions(std::span<const std::uint8_t> reply, std::size_t base) : reply_(reply), base_(base) {}
  int b(std::int64_t i) const {
    const std::int64_t at = static_cast<std::int64_t>(base_) + i;
    return at < 0 || at >= static_cast<std::int64_t>(reply_.size())
               ? 0
               : reply_[static_cast<std::size_t>(at)];
  }
  int s(std::int64_t i) const { return static_cast<std::int8_t>(b(i)); }
  int LowFirst(std::int64_t k) const { return b(k) + 256 * b(k + 1); }
  int HighFirst(std::int64_t k) const { return b(k) * 256 + b(k + 1); }

 private:
  std::span<const std::uint8_t> reply_;
  std::size_t base_;
};

int BitOf(int byte, std::int32_t bit) {
  return bit >= 0 && bit < 8 ? (byte >> bit) & 1 : 0;
}

std::int16_t Signed16(int raw) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(raw));
}

void SetChartPercent(ParamRecord& r) {
  // A record whose range is empty would divide by zero; it has no place on a chart.
  const float range = r.chartMax - r.chartMin;
  r.chartPercent = range != 0 ? r.value * 100 / range : 0;
}

void DecodeKwp(std::uint32_t ecuType, std::span<const std::uint8_t> reply, std::size_t base,
               std::span<ParamRecord> params) {
  const Positions p(reply, base);
  const bool highFirst = catalogue::Lookup(ecuType).highByteFirst;
  for (ParamRecord& r : params) {
    const std::int64_t k = r.dataOffset;
    const bool reciprocal = r.scale == -1.0f && p.LowFirst(k) != 0;
    switch (r.kind) {
      case 'B':
        r.bitState = static_cast<std::uint8_t>(BitOf(p.b(k), r.bit));
        break;
      case 'C':
        r.value = static_cast<float>(p.s(k)) / 256;
        break;
      case 'D':
        r.value = static_cast<float>(p.b(k) * 256 + p.b(r.bit)) * r.scale + r.offset;
        break;
      case 'H':
        r.value = static_cast<float>(p.LowFirst(k));
        break;
      case 'P':
        if (reciprocal) {
          r.value = r.width == 2 ? r.offset / static_cast<float>(p.b(k + 1) * 256 + p.b(k))
                                 : static_cast<float>(p.b(k)) * r.offset;
        } else {
          const int raw = r.width == 2 ? (highFirst ? p.HighFirst(k) : p.LowFirst(k)) : p.b(k);
          r.value = static_cast<float>(raw) * r.scale + r.offset;
        }
        SetChartPercent(r);
        break;
      case 'S': {
        const int divisor = p.b(k + 1) * 256 + p.b(k) - 32768;
        // Bytes 00 80 would divide by zero: such a value is read by the plain formula instead,
        // as kind 'P' does when its divisor is zero.
        if (reciprocal && (r.width != 2 || divisor != 0)) {
          r.value = r.width == 2 ? r.offset / static_cast<float>(divisor)
                                 : static_cast<float>(p.s(k)) * r.offset;
        } else {
          const int raw =
              r.width == 2 ? Signed16(highFirst ? p.HighFirst(k) : p.LowFirst(k)) : p.s(k);
          r.value = static_cast<float>(raw) * r.scale + r.offset;
        }
        SetChartPercent(r);
        break;
      }
      default:
        break;
    }
  }
}

void DecodeGm(const ReplyCopy& reply, std::span<ParamRecord> params) {
  const Positions p(reply, 2);
  for (ParamRecord& r : params) {
    const std::int64_t k = r.dataOffset;
    switch (r.kind) {
      case 'B':
        r.bitState = static_cast<std::uint8_t>(BitOf(p.b(k), r.bit));
        break;
      case 'C':
        r.value = std::abs(static_cast<float>(p.b(k) - 128) / 256) - 0.5f;
        break;
      case 'H':
        r.value = static_cast<float>(p.HighFirst(k));
        break;
      case 'P':
        if (r.scale == -1.0f && p.HighFirst(k) != 0) {
          r.value = r.width == 2 ? r.offset / static_cast<float>(p.HighFirst(k))
                                 : static_cast<float>(p.b(k)) * r.offset;
        } else {
          const int raw = r.width == 2 ? p.HighFirst(k) : p.b(k);
          r.value = static_cast<float>(raw) * r.scale + r.offset;
        }
        SetChartPercent(r);
        break;
      default:
        break;
    }
  }
}

void DecodeEscaped(const ReplyCopy& reply, std::span<ParamRecord> params) {
  const Positions p(reply, 0);
  std::int64_t at = 0;
  for (ParamRecord& r : params) {
    if (r.shown != 1) continue;
    switch (r.kind) {
      case 'B':
        r.bitState = static_cast<std::uint8_t>(BitOf(p.b(at), r.bit));
        at += 1;
        break;
      case 'C':
        r.value = std::abs(static_cast<float>(p.b(at)) / 256 - 0.5f) - 0.5f;
        at += 1;
        break;
      case 'H':
        r.value = static_cast<float>(p.LowFirst(at));
        at += 2;
        break;
      case 'P': {
        const int raw = r.width == 2 ? p.LowFirst(at) : p.b(at);
        r.value = static_cast<float>(raw) * r.scale + r.offset;
        SetChartPercent(r);
        at += r.width == 2 ? 2 : 1;
        break;
      }
      default:
        break;
    }
  }
}

}  // namespace

void DecodeParamValues(std::uint32_t ecuType, const ReplyCopy& reply,
                       std::span<ParamRecord> params) {
  if (!catalogue::IsKnownType(ecuType)) return;
  switch (catalogue::Lookup(ecuType).family) {
    case catalogue::LinkFamily::Kwp2000:
      DecodeKwp(ecuType, reply, KwpReplyBase(reply), params);
      break;
    case catalogue::LinkFamily::Gm:
      DecodeGm(reply, params);
      break;
    case catalogue::LinkFamily::Escaped:
      DecodeEscaped(reply, params);
      break;
  }
}

std::size_t KwpReplyBase(const ReplyCopy& reply) {
  return reply[0] == 0x80 ? 3 : 2;
}

void DecodeKwpFrame(std::uint32_t ecuType, std::span<const std::uint8_t> frame,
                    std::span<ParamRecord> params) {
  DecodeKwp(ecuType, frame, 0, params);
}

bool IsDataReply(const ReplyCopy& reply) {
  return (reply[3] == 0x61 && reply[4] == 0x01) ||
         (reply[3] != 0x70 && reply[4] == 0x61 && reply[5] == 0x01);
}

std::string ValueText(const ParamRecord& record, std::string_view numberKinds) {
  if (record.kind == 'B') return record.bitState == 1 ? "ДА" : "НЕТ";
  if (record.kind != 0 && numberKinds.find(record.kind) != std::string_view::npos)
    return text::FormatNumber(record.value, text::DecimalsPattern(record.decimals));
  return text::Hex4(std::trunc(record.value));
}

void ParamPage::Step(ReplyCopy& reply, link::ExchangeBuffer& buffer) {
  const std::uint32_t type = ecuType_;
  // No decoder acts on a type the catalogue does not know; its link still runs.
  if (!catalogue::IsKnownType(type)) return;
  DecodeParamValues(type, reply, params_);
  const catalogue::LinkFamily family = catalogue::Lookup(type).family;
  bool shown = false;
  switch (family) {
    case catalogue::LinkFamily::Kwp2000:
      shown = KwpStep(reply, buffer);
      break;
    case catalogue::LinkFamily::Escaped:
    case catalogue::LinkFamily::Gm:
      KeepAlive(buffer);
      shown = CountedStep(buffer);
      break;
  }
  if (quiet_) return;
  const DecodedReply decoded{reply, params_, family, shown};
  for (ParamListener* listener : listeners_) listener->Decoded(decoded);
}

void ParamPage::KeepAlive(link::ExchangeBuffer& buffer) {
  switch (catalogue::Lookup(ecuType_).family) {
    case catalogue::LinkFamily::Escaped: {
      buffer.transmitFrame[0] = 'a';
      std::size_t n = 0;
      for (const ParamRecord& r : params_)
        if (r.shown == 1 && n < link::kAreaSize - 4)
          buffer.transmitFrame[1 + n++] = static_cast<std::uint8_t>(r.dataOffset);
      buffer.dataLength = static_cast<std::uint8_t>(1 + n);
      break;
    }
    case catalogue::LinkFamily::Gm: {
      const std::uint8_t message0 = 0x00;
      link::WriteGmRequest(buffer, 0x01, &message0, 1);
      break;
    }
    case catalogue::LinkFamily::Kwp2000:
      break;
  }
}

bool ParamPage::KwpStep(const ReplyCopy& reply, link::ExchangeBuffer& buffer) {
  link::WriteKwpService(buffer, {0x21, 0x01});
  const bool data = IsDataReply(reply);
  if (data) {
    // These controllers differ by the length of their data record alone.
    const catalogue::EcuInfo& ecu = catalogue::Lookup(ecuType_);
    if (ecu.dataLengthNamesType && reply[3] != ecu.frameSize - 3)
      status_.SetText(link::kLinkStatusPanel, kWrongType);
    if (!quiet_) ShowValues("CDPS");
    actuators_->AfterDataReply(buffer);
  }
  actuators_->Reply(reply);
  return data;
}

// The escaped-frame and GM replies carry no identifier: the first after a page change answers
// the previous page's request and is not shown.
bool ParamPage::CountedStep(link::ExchangeBuffer& buffer) {
  const bool shown = pageTickCount_ != 0;
  if (shown) ShowValues("CP");
  pageTickCount_ = link::Add8(pageTickCount_, 1);
  if (actuators_->PanelVisible() && pageTickCount_ > 2) {
    actuators_->PacedRequest(buffer);
    pageTickCount_ = 0;
  }
  return shown;
}

void ParamPage::ShowValues(std::string_view numberKinds) {
  for (const ParamRecord& r : params_)
    if (r.shown == 1) grid_.SetCell(1, r.gridRow, ValueText(r, numberKinds));
}

}  // namespace kd::livedata
