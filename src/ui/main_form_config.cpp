// The parameter list and its configuration files.
#include <filesystem>
#include <system_error>

#include "catalogue/config_file.h"
#include "catalogue/param_tables.h"
#include "ui/main_form.h"
#include "ui/report_header.h"

namespace kd::ui {

namespace {

void ChangeDirectory(const std::string& dir) {
  std::error_code ec;
  std::filesystem::current_path(dir, ec);
}

}  // namespace

std::string WorkingDirectory() {
  std::error_code ec;
  auto cwd = std::filesystem::current_path(ec);
  return ec ? std::string(".") : cwd.string();
}

std::string MainForm::ConfigPath() const {
  const std::filesystem::path name(configName_);
  if (name.is_absolute()) return configName_;
  return (std::filesystem::path(configDir_) / name).string();
}

void MainForm::BuildConfigControls() {
  auto& selectAll = Add<view::Button>("Button6");
  selectAll.SetCaption("Выбрать ВСЕ");
  selectAll.OnClick = [this] { SetAllShown(true); };
  auto& clearAll = Add<view::Button>("Button7");
  clearAll.SetCaption("Убрать ВСЕ");
  clearAll.OnClick = [this] { SetAllShown(false); };

  checkParamList_.OnClick = [this] {
    const int i = checkParamList_.Selected();
    if (i >= 0 && i < static_cast<int>(params_.size()))
      checkParamList_.SetHint(catalogue::FieldUtf8(params_[i].description));
  };
  checkParamList_.OnClickCheck = [this](int i) {
    if (i < 0 || i >= static_cast<int>(params_.size())) return;
    params_[i].shown = checkParamList_.IsChecked(i) ? 1 : 0;
    RefreshParamGrid();
  };
  stringGrid1_.SetSize(4, 1);
  stringGrid1_.ColWidths() = {260, 110, 120, 60};
}

void MainForm::SetAllShown(bool shown) {
  for (std::size_t i = 0; i < params_.size(); ++i) {
    params_[i].shown = shown ? 1 : 0;
    checkParamList_.SetChecked(static_cast<int>(i), shown);
  }
  RefreshParamGrid();
}

void MainForm::NewConfiguration() {
  configName_ = " ";
  LoadConfiguration();
}

void MainForm::OpenConfigDialog() {
  dirFromDialog_ = true;
  const auto path = host_.OpenFileDialog({"OpenCFG", "CFG", "*.cfg", "", "*.cfg"});
  if (!path) return;
  configName_ = *path;
  LoadConfiguration();
}

void MainForm::SaveConfigDialog() {
  dirFromDialog_ = true;
  const auto path = host_.SaveFileDialog({"Запись конфигурации.", "CFG", "*.cfg", ".", "*.cfg"});
  if (!path) return;
  configName_ = *path;
  SaveConfiguration();
}

void MainForm::LoadConfiguration() {
  recorder_->BeforeConfiguration(params_);
  std::optional<catalogue::Configuration> stored;
  const std::string path = ConfigPath();
  if (auto bytes = catalogue::ReadFileBytes(path)) stored = catalogue::DecodeConfiguration(*bytes);

  if (stored) {
    // The folder of the file read, which after the open dialog is the folder it made current.
    std::error_code ec;
    const auto full = std::filesystem::absolute(path, ec);
    if (!ec) configDir_ = full.lexically_normal().parent_path().string();
    ecuType_ = stored->ecuType;
    portNumber_ = stored->portNumber;
  }
  // The list always holds the type's ParamCount records: what the file has of them, the rest
  // (a short or damaged file) from the built-in table, unticked.
  const auto builtIn = catalogue::BuiltInParams(ecuType_);
  const std::size_t count = builtIn.size();
  params_.assign(builtIn.begin(), builtIn.end());
  std::vector<std::string> names;
  for (std::size_t i = 0; i < count; ++i) {
    catalogue::ParamRecord& r = params_[i];
    if (stored && i < stored->records.size()) r = stored->records[i];
    r.shown = r.shown == 1 ? 1 : 0;
    r.onChart = 0;
    names.push_back(catalogue::FieldUtf8(r.name));
  }
  mainChart_->ListApplied();
  checkParamList_.SetItems(std::move(names));
  for (std::size_t i = 0; i < count; ++i)
    checkParamList_.SetChecked(static_cast<int>(i), params_[i].shown == 1);

  if (stored) {
    RefreshParamGrid();
    MarkType();
  } else {
    stringGrid1_.SetSize(4, 1);
  }
  const char* header[] = {"Наименование переменной", "Значение", "Размерность", "Граф.р."};
  for (int c = 0; c < 4; ++c) stringGrid1_.SetCell(c, 0, header[c]);
  ApplyCatalogue();
  ReopenPort();
}

void MainForm::SaveConfiguration() {
  if (dirFromDialog_)
    dirFromDialog_ = false;
  else
    ChangeDirectory(configDir_);
  if (!catalogue::WriteConfigurationFile(ConfigPath(), ecuType_,
                                         static_cast<std::uint16_t>(portNumber_), params_))
    ReportCannotCreate(host_);
}

void MainForm::RefreshParamGrid() {
  int k = 0;
  for (auto& r : params_) {
    if (r.shown != 1) continue;
    ++k;
    stringGrid1_.SetSize(4, std::max(stringGrid1_.RowCount(), k + 1));
    stringGrid1_.SetCell(0, k, catalogue::FieldUtf8(r.name));
    // A row that now holds another parameter must not show the old one's value until the next
    // reply fills it.
    stringGrid1_.SetCell(1, k, "");
    stringGrid1_.SetCell(2, k, catalogue::FieldUtf8(r.unit));
    r.gridRow = k;
  }
  stringGrid1_.SetSize(4, k + 1);
  mainChart_->MarksFollowRows();
}

}  // namespace kd::ui
