// Recordings as a damaged disk, another program or a spreadsheet may leave them: the viewer's
// reader on any bytes (as they are, behind the CSV mark and behind the data file's title), and the
// viewer itself on what was read, stepped, played and charted.
#include <string>

#include "livedata/record_view.h"
#include "livedata/recording_file.h"
#include "text/cp1251.h"

namespace {

void Exercise(kd::livedata::RecordingFile file) {
  using namespace kd;
  livedata::RecordView view(std::move(file), "fuzz");
  auto* list = view.FindAs<view::CheckListBox>("CheckParamList");
  for (int i = 0; i < list->Count() && i < 8; ++i) {
    list->SetChecked(i, true);
    list->OnClickCheck(i);
  }
  view.FindAs<view::Button>("NextButton")->Click();
  view.FindAs<view::Button>("LastButton")->Click();
  view.FindAs<view::Grid>("StringGrid1")->SelectCell(0, 1);
  auto* speed = view.FindAs<view::ComboBox>("SpeedBox");
  speed->Select(2);
  speed->OnChange();
  view.FindAs<view::Button>("PlayButton")->Click();
  for (int i = 0; i < 50 && view.Playing(); ++i) view.LinkTimer()->Fire();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  Exercise(kd::livedata::ReadRecording(bytes));
  Exercise(kd::livedata::ReadRecording("\xEF\xBB\xBF" + std::string(bytes)));
  // Random bytes seldom spell the data file's title: the lines behind it get their turn too.
  static const std::string title = kd::text::Utf8ToCp1251("\r\nПараметры контроллера.\r\n");
  Exercise(kd::livedata::ReadRecording(title + std::string(bytes)));
  return 0;
}
