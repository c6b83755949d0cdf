// Fast poll: the main window's next exchange follows the last one's outcome at once, with a read
// that ends when the reply is whole, while the parameter page of a KWP2000 type is on screen.
#include <chrono>

#include "ui/main_form.h"

namespace kd::ui {

namespace {

constexpr const char* kFastPollKey = "link.fastPoll";

}  // namespace

std::int64_t MainForm::SteadyUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool MainForm::FastPoll() const {
  return forcedFastPoll_.value_or(settings_.GetBool(kFastPollKey, false));
}

void MainForm::SetFastPoll(bool on, bool keep) {
  if (keep) {
    forcedFastPoll_.reset();
    settings_.SetBool(kFastPollKey, on);
  } else {
    forcedFastPoll_ = on;
  }
  if (fastPoll1_) fastPoll1_->SetChecked(FastPoll());
}

void MainForm::FastPollNext(std::span<const std::uint8_t> read,
                            std::span<const std::uint8_t> written) {
  lineTiming_.Exchange(read, written);
  // A stopped timer (a side window, a message box) stops fast poll with it.
  if (!FastPoll() || !portHandle_.exchanger || !timer1_.Enabled()) return;
  if (ActivePage() != session::Page::Params || Constants().family != catalogue::LinkFamily::Kwp2000)
    return;
  if (const auto fast = link::FastRead::For(written, lineTiming_.Timing())) Exchange(fast);
}

}  // namespace kd::ui
