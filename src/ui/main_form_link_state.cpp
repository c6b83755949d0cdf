// What the main window makes of the link beyond the status line: values the controller no longer
// confirms look stale, and after a long silence the next answer is taken for another car.
#include <algorithm>

#include "ui/main_form.h"

namespace kd::ui {

namespace {

// By page, in tab order: the controls that show what the controller sent.
const std::array<std::vector<const char*>, session::kPageCount> kValueControls = {{
    {"StringGrid1", "Curent"},
    {"StoryErrorList", "Status", "CurError", "FreezeListBox"},
    {"StringGrid4"},
    {"Comp"},
    {"StringGrid2"},
    {"StringGrid3"},
    {"StringGrid6"},
    {"StringGrid5"},
    {"StringGrid7"},
}};

}  // namespace

void MainForm::WatchValues() {
  for (std::size_t page = 0; page < kValueControls.size(); ++page) {
    view::StaleMarks& marks = pageValues_[page];
    for (const char* name : kValueControls[page])
      if (view::Control* c = Find(name)) marks.Watch(*c);
    marks.SetClock([this] { return host_.Now(); });
  }
}

void MainForm::FollowLink(session::Page page) {
  if (!session_.answered) {
    silentTicks_ = std::min(silentTicks_ + 1, kNewCarTicks);
    for (view::StaleMarks& marks : pageValues_) marks.Lost();
    return;
  }
  if (silentTicks_ >= kNewCarTicks) NewCar();
  silentTicks_ = 0;
  // Only a reply the page took refreshes what the page shows; a session reply on the way back
  // (StartCommunication, timing) does not.
  // A page that serves nothing of this type shows no value of it to doubt.
  const session::PageStep* shown = PageObject(page);
  if (session_.pageReplied || (shown && !shown->Serves()))
    pageValues_[static_cast<std::size_t>(page)].Refreshed();
}

void MainForm::NewCar() {
  for (auto& page : pages_)
    if (page) page->NewCar();
}

}  // namespace kd::ui
