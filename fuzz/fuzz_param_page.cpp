// The parameter page of any type on any reply, with the actuator panel open on any row and any
// pending command, recording on and both charts fed: the session engine hands it the bytes as
// they come off the line.
#include <cstring>
#include <memory>

#include "actuators/actuator_panel.h"
#include "catalogue/param_tables.h"
#include "livedata/charts.h"
#include "livedata/param_page.h"
#include "livedata/recording.h"
#include "session/session_step.h"

namespace {

struct NoHost : kd::view::Host {
  void ShowModal(kd::view::Form&) override {}
  std::optional<std::string> OpenFileDialog(const kd::view::FileDialogRequest&) override {
    return {};
  }
  std::optional<std::string> SaveFileDialog(const kd::view::FileDialogRequest&) override {
    return {};
  }
  std::optional<kd::view::FontChoice> FontDialog(const kd::view::FontChoice&) override {
    return {};
  }
  void MessageBox(const std::string&, const std::string&, kd::view::MessageIcon) override {}
  kd::view::LocalTime Now() override { return {}; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kd;
  if (size < 5) return 0;
  const std::uint32_t type = data[0] % 12 + 1;
  view::Form form("TForm1");
  auto& grid = form.Add<view::Grid>("StringGrid1");
  auto& status = form.Add<view::StatusBar>("StatusBar1", std::vector<int>{200, 70, 70, 70});
  std::uint32_t ecuType = type;
  session::SessionState state;
  const auto table = catalogue::BuiltInParams(type);
  std::vector<catalogue::ParamRecord> params(table.begin(), table.end());
  int row = 0;
  for (std::size_t i = 0; i < params.size(); ++i) {
    params[i].shown = (data[1] >> (i % 8)) & 1;
    if (params[i].shown) params[i].gridRow = ++row;
  }
  grid.SetSize(4, row + 1);
  auto page =
      std::make_unique<livedata::ParamPage>(ecuType, params, grid, status, state.pageTickCount);
  livedata::Recorder recorder(form, ecuType);
  livedata::MainChart chart(form, grid, params);
  auto panel = std::make_unique<actuators::ActuatorPanel>(form, ecuType, state.pendingCommand);
  actuators::ActuatorPanel& actuators = *panel;
  page->SetActuators(std::move(panel));
  page->AddListener(recorder);
  page->AddListener(chart);
  NoHost host;
  livedata::GraphWindow window(params, host);
  page->AddListener(window);
  actuators.TypeApplied();
  form.FindAs<view::Button>("Button1")->Click();
  auto& box = *form.FindAs<view::ComboBox>("ControlBox");
  box.Select(data[2] % 24 - 2);
  if (box.OnChange) box.OnChange();
  recorder.StartRecording();
  for (int r = 1; r <= row; ++r) chart.CellSelected(3, r);
  chart.ShowPanel();

  // Each chunk of the rest is one tick: a command, then the reply bytes.
  for (std::size_t at = 3; at + 1 < size;) {
    state.pendingCommand = data[at] % 5;
    const std::size_t n = std::min<std::size_t>(size - at - 1, 64);
    link::ExchangeBuffer buffer;
    buffer.dataLength = static_cast<std::uint8_t>(n);
    std::memcpy(buffer.receiveArea, data + at + 1, n);
    session::SessionStep(buffer, {ecuType, session::Page::Params, state, status, page.get()});
    at += 1 + n;
  }
  (void)livedata::DataFileBody(type, params, recorder.Buffer());
  (void)livedata::StatisticsFile(type, params, recorder.Buffer());
  return 0;
}
