// The recording viewer (TRecordView): a recording read back from its file, as a table of frames,
// a chart of the parameters the technician ticks (seconds across, each series on a scale of its
// own) and a cursor that steps frame by frame or plays at 1x, 4x or 16x the recorded pace, with
// the values at the cursor beside it.
#pragma once

#include <string>
#include <vector>

#include "livedata/recording_file.h"
#include "view/form.h"

namespace kd::livedata {

inline constexpr int kPlayIntervalMs = 100;

class RecordView : public view::Form {
 public:
  // `title` names the file in the caption.
  RecordView(RecordingFile file, const std::string& title);

  // The player's timer, while it plays: the harness's tick and the skin fire it.
  view::Timer* LinkTimer() override { return &timer1_; }

  const RecordingFile& File() const { return file_; }
  // Whether column `index` holds numbers only, so that ticking it draws a line.
  bool Chartable(int index) const {
    return index >= 0 && static_cast<std::size_t>(index) < chartable_.size() && chartable_[index];
  }
  // The frame under the cursor, -1 when the file has none.
  int Cursor() const { return cursor_; }
  void MoveCursor(int frame);
  bool Playing() const { return timer1_.Enabled(); }
  void Play();
  void Pause();
  // 1, 4 or 16.
  int Speed() const;

 private:
  void BuildGrid();
  void RebuildChart();
  void ShowCursor();
  void PlayTick();

  RecordingFile file_;
  // Per column: whether every value it holds is a number that can be charted.
  std::vector<bool> chartable_;
  int cursor_ = -1;
  // Playing: the recorded second the player started from and the milliseconds played since.
  double playFrom_ = 0;
  double playedMs_ = 0;
  bool selecting_ = false;

  view::Label& messageLabel_;
  view::Grid& stringGrid1_;
  view::CheckListBox& checkParamList_;
  view::Chart& chart1_;
  view::Button& firstButton_;
  view::Button& prevButton_;
  view::Button& playButton_;
  view::Button& nextButton_;
  view::Button& lastButton_;
  view::ComboBox& speedBox_;
  view::Label& cursorLabel_;
  view::Grid& valueGrid_;
  view::Button& closeButton_;
  view::Timer& timer1_;
};

}  // namespace kd::livedata
