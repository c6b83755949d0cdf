#include "livedata/recording.h"

#include <algorithm>
#include <cmath>

#include "catalogue/ecu_catalogue.h"
#include "livedata/param_page.h"
#include "text/cp1251.h"
#include "text/number_format.h"

namespace kd::livedata {

namespace {

using catalogue::ParamRecord;

bool IsNumberKind(char kind) {
  return kind == 'C' || kind == 'D' || kind == 'P' || kind == 'S';
}

// What the files write for one value, in Windows-1251; the texts of the grid.
void PutValue(std::string& out, const ParamRecord& r, float value, std::uint8_t bitState) {
  static const std::string yes = text::Utf8ToCp1251("ДА");
  static const std::string no = text::Utf8ToCp1251("НЕТ");
  if (r.kind == 'B') {
    out += bitState == 1 ? yes : no;
  } else if (IsNumberKind(r.kind)) {
    text::AppendDecimals(out, value, r.decimals);
  } else {
    out += text::Hex4(std::trunc(value));
  }
}

std::int32_t FrameSizeOf(std::uint32_t ecuType) {
  return catalogue::Lookup(ecuType).frameSize;
}

}  // namespace

void RecordBuffer::Start() {
  recordFill_ = 0;
  recording_ = true;
}

RecordBuffer::Appended RecordBuffer::AppendFrame(std::span<const std::uint8_t> frame,
                                                 std::int32_t frameSize) {
  if (!recording_ || frame.empty() || frame[0] == 0) return Appended::Ignored;
  if (recordFill_ > kRecordLimit) {
    recording_ = false;
    return Appended::Full;
  }
  // A frame size from a damaged table must not write past the buffer.
  if (frameSize <= 0 || frameSize > kLargestFrame) return Appended::Ignored;
  for (std::int32_t i = 0; i < frameSize; ++i)
    bytes_[static_cast<std::size_t>(recordFill_ + i)] =
        static_cast<std::size_t>(i) < frame.size() ? frame[static_cast<std::size_t>(i)] : 0;
  recordFill_ += frameSize;
  return Appended::Stored;
}

std::span<const std::uint8_t> RecordBuffer::Frame(std::int32_t index,
                                                  std::int32_t frameSize) const {
  if (index < 0 || frameSize <= 0 || index >= FrameCount(frameSize)) return {};
  return std::span<const std::uint8_t>(bytes_).subspan(static_cast<std::size_t>(index * frameSize),
                                                       static_cast<std::size_t>(frameSize));
}

std::string FillText(std::int32_t recordFill) {
  return text::FormatNumber(recordFill * 100 / kRecordLimit, "0.") + "% заполнено";
}

std::string DataFileBody(std::uint32_t ecuType, std::span<ParamRecord> params,
                         const RecordBuffer& record) {
  std::string out = text::Utf8ToCp1251("\r\nПараметры контроллера.\r\n");
  std::vector<const ParamRecord*> shown;
  for (const ParamRecord& r : params) {
    if (r.shown != 1) continue;
    shown.push_back(&r);
    out += catalogue::FieldText(r.name);
    out += '\t';
  }
  out += "\r\n";
  const std::int32_t frameSize = FrameSizeOf(ecuType);
  const std::int32_t frames = record.FrameCount(frameSize);
  out.reserve(out.size() + static_cast<std::size_t>(frames) * (shown.size() * 8 + 2));
  for (std::int32_t f = 0; f < frames; ++f) {
    DecodeKwpFrame(ecuType, record.Frame(f, frameSize), params);
    for (const ParamRecord* r : shown) {
      PutValue(out, *r, r->value, r->bitState);
      out += '\t';
    }
    out += "\r\n";
  }
  return out;
}

std::string StatisticsFile(std::uint32_t ecuType, std::span<ParamRecord> params,
                           const RecordBuffer& record) {
  struct Tally {
    double min = 0, max = 0, sum = 0;
  };
  std::vector<Tally> tally(params.size());
  const std::int32_t frameSize = FrameSizeOf(ecuType);
  const std::int32_t frames = record.FrameCount(frameSize);
  // One decoding per frame serves every record. Minimum and maximum start from the first frame,
  // so they are values that were measured.
  for (std::int32_t f = 0; f < frames; ++f) {
    DecodeKwpFrame(ecuType, record.Frame(f, frameSize), params);
    for (std::size_t i = 0; i < params.size(); ++i) {
      const ParamRecord& r = params[i];
      if (r.shown != 1 || !IsNumberKind(r.kind)) continue;
      const double v = r.value;
      Tally& t = tally[i];
      if (f == 0) t.min = t.max = v;
      t.min = std::min(t.min, v);
      t.max = std::max(t.max, v);
      t.sum += v;
    }
  }

  std::string out = text::Utf8ToCp1251(
      "Статистические параметры контроллера.\r\nПараметр\tминимум\tсреднее\tмаксимум.\r\n");
  for (std::size_t i = 0; i < params.size(); ++i) {
    const ParamRecord& r = params[i];
    if (r.shown == 1) {
      out += catalogue::FieldText(r.name);
      out += '\t';
      if (r.kind == 'B') {
        // A flag has no average: its state in the last frame stands in all three columns.
        for (int c = 0; c < 3; ++c) {
          PutValue(out, r, r.value, r.bitState);
          out += '\t';
        }
      } else if (IsNumberKind(r.kind)) {
        const Tally& t = tally[i];
        const double average = frames > 0 ? t.sum / frames : 0;
        text::AppendDecimals(out, t.min, r.decimals);
        out += '\t';
        text::AppendDecimals(out, average, r.decimals);
        out += '\t';
        text::AppendDecimals(out, t.max, r.decimals);
      } else {
        const std::string last = text::Hex4(std::trunc(r.value));
        out += last + '\t' + last + '\t' + last;
      }
    }
    out += "\r\n";
  }
  out += "\r\n";
  return out;
}

Recorder::Recorder(view::Form& form, const std::uint32_t& ecuType)
    : ecuType_(ecuType),
      newWrite_(form.Add<view::Button>("New_write")),
      endWrite_(form.Add<view::Button>("End_write")),
      sredWrite_(form.Add<view::Button>("Sred_write")),
      writeStatus_(form.Add<view::Label>("Write_status")) {
  newWrite_.SetCaption("Начать запись");
  endWrite_.SetCaption("Закончить зап.");
  sredWrite_.SetCaption("Среднее зап.");
  writeStatus_.SetCaption(kRecordIdle);
}

void Recorder::StartRecording() {
  if (!Records(ecuType_)) return;
  writeStatus_.SetCaption(FillText(0));
  writeStatus_.SetHint("");
  buffer_.Start();
  recordedType_ = ecuType_;
  kept_ = false;
  keptList_.clear();
  times_.Start(Now());
}

void Recorder::Decoded(const DecodedReply& decoded) {
  if (decoded.family != catalogue::LinkFamily::Kwp2000 || !decoded.shown) return;
  const auto frame =
      std::span<const std::uint8_t>(decoded.reply).subspan(KwpReplyBase(decoded.reply));
  switch (buffer_.AppendFrame(frame, FrameSizeOf(ecuType_))) {
    case RecordBuffer::Appended::Stored:
      times_.Stamp(Now());
      writeStatus_.SetCaption(FillText(buffer_.RecordFill()));
      break;
    case RecordBuffer::Appended::Full:
      writeStatus_.SetCaption(kRecordFull);
      break;
    case RecordBuffer::Appended::Ignored:
      break;
  }
}

bool Recorder::Records(std::uint32_t ecuType) {
  return catalogue::Lookup(ecuType).family == catalogue::LinkFamily::Kwp2000;
}

void Recorder::BeforeConfiguration(std::span<const catalogue::ParamRecord> params) {
  // The type may already be the next one's here; the list is still the recording's.
  if (kept_ || buffer_.RecordFill() == 0) return;
  listBefore_.assign(params.begin(), params.end());
}

void Recorder::TypeApplied() {
  const bool records = Records(ecuType_);
  newWrite_.SetEnabled(records);
  newWrite_.SetHint(records ? "" : kNoRecordingHint);
  if (!kept_ && buffer_.RecordFill() > 0 && ecuType_ != recordedType_) {
    // Frames of two sizes in one buffer would be one line of garbage in the file.
    buffer_.Stop();
    kept_ = true;
    keptList_ = std::move(listBefore_);
    writeStatus_.SetCaption(kRecordEnded);
    writeStatus_.SetHint(kRecordEndedHint);
  } else if (buffer_.RecordFill() == 0) {
    // Nothing recorded yet: the recording is the new type's from its first frame.
    recordedType_ = ecuType_;
  }
  listBefore_.clear();
}

}  // namespace kd::livedata
