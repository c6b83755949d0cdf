#include "ui/demo_start.h"

#include <filesystem>
#include <system_error>

namespace kd::ui {

void StartDemo(MainForm& form) {
  form.Start();
  std::error_code ec;
  if (std::filesystem::exists(form.ConfigName(), ec) || ec) return;
  // As the technician would: "Выбрать ВСЕ". The list then goes into "default.cfg" at the exit,
  // and the next start keeps whatever was chosen.
  if (auto* selectAll = form.FindAs<view::Button>("Button6")) selectAll->Click();
}

}  // namespace kd::ui
