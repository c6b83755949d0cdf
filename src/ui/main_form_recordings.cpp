// What the main window does with a recording after the drive: the CSV export with the time of
// every frame, and the viewer that opens a data file or a CSV export again.
#include <algorithm>
#include <fstream>
#include <iterator>

#include "fileio/atomic_file.h"
#include "livedata/csv_export.h"
#include "livedata/record_view.h"
#include "livedata/recording_file.h"
#include "ui/main_form.h"
#include "ui/report_header.h"

namespace kd::ui {

namespace {

// Larger files are read up to here; the viewer says where it stopped.
constexpr std::streamsize kOpenLimit = 64 << 20;

}  // namespace

void MainForm::BuildRecordingTools() {
  recorder_->SetClock([this] { return host_.Now(); });
  auto* file1 = FindAs<view::MenuItem>("File1");
  auto& items = file1->Items();
  auto after = std::find_if(items.begin(), items.end(),
                            [](const view::MenuItem* i) { return i->Name() == "SaveDAT1"; });
  if (after != items.end()) ++after;
  exportCsv1_ = &Add<view::MenuItem>("ExportCsv1", "Экспорт CSV…");
  auto& open = Add<view::MenuItem>("OpenRecording1", "Открыть запись…");
  after = items.insert(after, exportCsv1_);
  items.insert(after + 1, &open);
  exportCsv1_->OnClick = [this] { ExportCsv(); };
  open.OnClick = [this] {
    const auto path = host_.OpenFileDialog(
        {"Открыть запись.", "dat", "Записи (*.dat *.csv)|*.dat;*.csv", ".", ""});
    if (path) OpenRecording(*path);
  };
  // A new recording starts empty: nothing to export until its first frame.
  for (const char* name : {"New_write", "NewDAT1"}) {
    view::Control* c = Find(name);
    auto wrap = [this](view::Event& event) {
      event = [this, start = event] {
        if (start) start();
        UpdateExportCsv();
      };
    };
    if (auto* b = dynamic_cast<view::Button*>(c)) wrap(b->OnClick);
    if (auto* m = dynamic_cast<view::MenuItem*>(c)) wrap(m->OnClick);
  }
  UpdateExportCsv();
}

void MainForm::UpdateExportCsv() {
  if (exportCsv1_)
    exportCsv1_->SetEnabled(
        recorder_->Buffer().FrameCount(catalogue::Lookup(recorder_->RecordedType()).frameSize) > 0);
}

void MainForm::ExportCsv() {
  const livedata::RecordBuffer& record = recorder_->Buffer();
  // A recording that a type change ended keeps its own type and list: its frames are decoded as
  // they were recorded, never with the list in force now.
  const std::uint32_t type = recorder_->RecordedType();
  if (record.FrameCount(catalogue::Lookup(type).frameSize) == 0) return;
  const auto path = host_.SaveFileDialog({"Экспорт CSV.", "csv", "*.csv", ".", "*.csv"});
  if (!path) return;
  const bool written = fileio::WriteAtomically(*path, [&](std::ostream& file) {
    const std::string body = livedata::CsvFile(type, recorder_->RecordedList(params_), record, recorder_->Times());
    file.write(body.data(), static_cast<std::streamsize>(body.size()));
  });
  if (!written) {
    ReportCannotCreate(host_);
    return;
  }
  host_.FileWritten(*path);
}

void MainForm::OpenRecording(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    host_.MessageBox("Ошибка!", "Немогу открыть файл!!!", view::MessageIcon::Error);
    return;
  }
  in.seekg(0, std::ios::end);
  const std::streamsize size = std::min<std::streamsize>(in.tellg(), kOpenLimit);
  in.seekg(0);
  std::string bytes(static_cast<std::size_t>(std::max<std::streamsize>(size, 0)), '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  const auto slash = path.find_last_of("/\\");
  livedata::RecordView view(livedata::ReadRecording(bytes),
                            slash == std::string::npos ? path : path.substr(slash + 1));
  host_.ShowModal(view);
}

}  // namespace kd::ui
