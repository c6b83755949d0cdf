// The recording of a drive: raw data replies of a KWP2000 controller kept back to back, and the
// two files made from them by decoding every frame again with the list in force: the table of
// values (".dat") and the minimum, average and maximum of each shown parameter (".srd").
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "catalogue/param_record.h"
#include "livedata/frame_times.h"
#include "livedata/param_listener.h"
#include "view/form.h"

namespace kd::livedata {

// Room for 65,000 bytes and one more frame of the largest FrameSize: the last frame that starts
// at or below the limit always fits.
inline constexpr std::int32_t kRecordLimit = 65000;
inline constexpr std::int32_t kLargestFrame = 102;

inline constexpr const char* kRecordIdle = "Процент зап.";
inline constexpr const char* kRecordFull = "100% зап./перезапись";
inline constexpr const char* kRecordEnded = "Запись окончена";
inline constexpr const char* kRecordEndedHint =
    "Тип контроллера сменился: запись окончена, её кадры сохраняются со списком прежнего типа.";
inline constexpr const char* kNoRecordingHint =
    "Ответы этого контроллера не записываются: запись возможна только с контроллерами KWP2000.";

class RecordBuffer {
 public:
  enum class Appended { Stored, Full, Ignored };

  // RecordFill 0, Recording on.
  void Start();
  void Stop() { recording_ = false; }
  bool Recording() const { return recording_; }
  std::int32_t RecordFill() const { return recordFill_; }

  // `frame` starts at position 0 of the reply; FrameSize bytes of it are kept (what lies past its
  // end reads as 0). A frame whose position 0 is 0 is no reply and is not kept; past the limit
  // the recording ends instead of wrapping around.
  Appended AppendFrame(std::span<const std::uint8_t> frame, std::int32_t frameSize);

  std::int32_t FrameCount(std::int32_t frameSize) const {
    return frameSize > 0 ? recordFill_ / frameSize : 0;
  }
  std::span<const std::uint8_t> Frame(std::int32_t index, std::int32_t frameSize) const;

 private:
  std::vector<std::uint8_t> bytes_ = std::vector<std::uint8_t>(kRecordLimit + kLargestFrame);
  std::int32_t recordFill_ = 0;
  bool recording_ = false;
};

// "56% заполнено": the share of the limit in whole percent.
std::string FillText(std::int32_t recordFill);

// The body of the data file behind the report header, in Windows-1251: the title, the names of
// the shown parameters, one line of values per frame. Decoding leaves the last frame's values in
// the records, as a live reply would.
std::string DataFileBody(std::uint32_t ecuType, std::span<catalogue::ParamRecord> params,
                         const RecordBuffer& record);

// The whole statistics file (it has no report header), in Windows-1251: one line per record of
// the list, an empty one for a record not shown.
std::string StatisticsFile(std::uint32_t ecuType, std::span<catalogue::ParamRecord> params,
                           const RecordBuffer& record);

// The recording controls of the parameter page; as a listener of the page it keeps the data
// replies of a KWP2000 controller while recording is on. Only data replies are kept: the answers
// to TesterPresent or to actuator requests would be rows of garbage in the file and in the
// averages.
class Recorder : public ParamListener {
 public:
  Recorder(view::Form& form, const std::uint32_t& ecuType);

  RecordBuffer& Buffer() { return buffer_; }
  const RecordBuffer& Buffer() const { return buffer_; }
  view::Button& NewWrite() { return newWrite_; }
  view::Button& EndWrite() { return endWrite_; }
  view::Button& SredWrite() { return sredWrite_; }
  view::Label& WriteStatus() { return writeStatus_; }

  // "Начать запись".
  void StartRecording();
  void Decoded(const DecodedReply& decoded) override;

  // Types whose replies are never kept (escaped and GM frames) get no recording to start.
  static bool Records(std::uint32_t ecuType);
  // Around a configuration being applied: the list in force before it, then the type after it.
  // A recording that holds frames of another type ends there and keeps that type and its list,
  // so its files decode every frame as it was recorded; one that holds none goes on.
  void BeforeConfiguration(std::span<const catalogue::ParamRecord> params);
  void TypeApplied();
  // The type and the list the recorded frames are decoded with: the recording's own after a type
  // change, else the ones in force.
  std::uint32_t RecordedType() const { return kept_ ? recordedType_ : ecuType_; }
  std::span<catalogue::ParamRecord> RecordedList(std::span<catalogue::ParamRecord> inForce) {
    return kept_ ? std::span<catalogue::ParamRecord>(keptList_) : inForce;
  }
  // The clock the frames are stamped with (the host's); without one every stamp is the same.
  void SetClock(std::function<view::LocalTime()> clock) { clock_ = std::move(clock); }
  // When each stored frame arrived, index for index with the buffer's frames.
  const FrameTimes& Times() const { return times_; }

 private:
  view::LocalTime Now() const { return clock_ ? clock_() : view::LocalTime{}; }

  std::function<view::LocalTime()> clock_;
  FrameTimes times_;
  const std::uint32_t& ecuType_;
  std::uint32_t recordedType_ = 0;
  bool kept_ = false;
  std::vector<catalogue::ParamRecord> keptList_;
  std::vector<catalogue::ParamRecord> listBefore_;
  RecordBuffer buffer_;
  view::Button& newWrite_;
  view::Button& endWrite_;
  view::Button& sredWrite_;
  view::Label& writeStatus_;
};

}  // namespace kd::livedata
