// The parameter page's companions on the main window: the recording and its two files, the chart
// panel and the graph window, the actuator panel.
#include "livedata/param_page.h"
#include "ui/main_form.h"
#include "ui/report_header.h"

namespace kd::ui {

void MainForm::BuildParamPage() {
  auto& page = static_cast<livedata::ParamPage&>(*PageObject(session::Page::Params));
  recorder_ = std::make_unique<livedata::Recorder>(*this, ecuType_);
  mainChart_ = std::make_unique<livedata::MainChart>(*this, stringGrid1_, params_);
  auto panel = std::make_unique<actuators::ActuatorPanel>(*this, ecuType_, session_.pendingCommand);
  actuatorPanel_ = panel.get();
  page.SetActuators(std::move(panel));
  page.AddListener(*recorder_);
  page.AddListener(*mainChart_);

  auto* newDat1 = FindAs<view::MenuItem>("NewDAT1");
  auto* saveDat1 = FindAs<view::MenuItem>("SaveDAT1");
  recorder_->NewWrite().OnClick = newDat1->OnClick = [this] { recorder_->StartRecording(); };
  recorder_->EndWrite().OnClick = saveDat1->OnClick = [this] { SaveRecording(); };
  recorder_->SredWrite().OnClick = [this] { SaveStatistics(); };

  graphButton_ = FindAs<view::Button>("GraphButton");
  n6_ = FindAs<view::MenuItem>("N6");
  graphButton_->OnClick = [this] { SetChartView(graphButton_->Down()); };
  n6_->OnClick = [this] { SetChartView(!mainChart_->PanelVisible()); };
  FindAs<view::Button>("ToolButton14")->OnClick = [this] { OpenGraphWindow(); };
}

void MainForm::SaveRecording() {
  livedata::RecordBuffer& record = recorder_->Buffer();
  record.Stop();
  SaveReport(host_, vehicleData_, {"Запись данных.", "dat"}, [this, &record](std::ostream& file) {
    const std::string body =
        livedata::DataFileBody(recorder_->RecordedType(), recorder_->RecordedList(params_), record);
    file.write(body.data(), static_cast<std::streamsize>(body.size()));
  });
}

void MainForm::SaveStatistics() {
  livedata::RecordBuffer& record = recorder_->Buffer();
  record.Stop();
  if (record.RecordFill() <= catalogue::Lookup(recorder_->RecordedType()).frameSize) {
    host_.MessageBox("Запись статистики.", "Нет данных", view::MessageIcon::None);
    return;
  }
  SaveReport(host_, vehicleData_, {"Запись статистики.", "srd", false},
             [this, &record](std::ostream& file) {
               const std::string body = livedata::StatisticsFile(
                   recorder_->RecordedType(), recorder_->RecordedList(params_), record);
               file.write(body.data(), static_cast<std::streamsize>(body.size()));
             });
}

void MainForm::SetChartView(bool shown) {
  graphButton_->SetDown(shown);
  n6_->SetChecked(shown);
  if (shown) {
    actuatorPanel_->HideForChart();
    mainChart_->ShowPanel();
    checkParamList_.SetVisible(false);
  } else {
    stringGrid1_.SetVisible(true);
    mainChart_->HidePanel();
    actuatorPanel_->ShowAfterChart();
    checkParamList_.SetVisible(true);
  }
}

void MainForm::OpenGraphWindow() {
  if (ActivePage() != session::Page::Params) return;
  auto& page = static_cast<livedata::ParamPage&>(*PageObject(session::Page::Params));
  livedata::GraphWindow window(params_, host_);
  page.AddListener(window);
  host_.ShowModal(window);
  page.RemoveListener(window);
}

}  // namespace kd::ui
