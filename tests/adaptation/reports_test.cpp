// The three reports through the main window's save flow, compared byte for byte with files
// written by hand: the vehicle data first once the identifiers were read, the dialogs each report
// asks for, and nothing written where the file cannot be created.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "link/fake_port.h"
#include "support/frames.h"
#include "support/null_host.h"
#include "support/temp_folder.h"
#include "text/number_format.h"
#include "ui/main_form.h"

namespace kd::adaptation::test {
namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class SavingHost : public kd::testing::NullHost {
 public:
  void ShowModal(view::Form& form) override { modals.push_back(form.Name()); }
  std::optional<std::string> SaveFileDialog(const view::FileDialogRequest& r) override {
    dialogs.push_back(r);
    return path;
  }
  void MessageBox(const std::string& caption, const std::string& text,
                  view::MessageIcon icon) override {
    boxes.push_back(caption + " | " + text + (icon == view::MessageIcon::Error ? " (error)" : ""));
  }
  std::optional<std::string> path;
  std::vector<std::string> modals;
  std::vector<view::FileDialogRequest> dialogs;
  std::vector<std::string> boxes;
};

struct Reports : ::testing::Test {
  kd::testing::TempFolder folder{kd::testing::TempFolder::Enter};
  kd::testing::FakePort port;
  SavingHost host;
  ui::MainForm form{port, host};

  void SetUp() override {
    text::SetDecimalSeparator('.');
    form.Start();
  }
  void Identify() {
    ui::VehicleData& v = form.Vehicle();
    v.StoreIdentifiers("XTA21703090778899", "0261208940", "1037395");
    v.conditionalNumber = "12345678";
    v.registrationNumber = "A123BC63";
    v.mileage = 12345;
  }
  void Click(const char* button) { form.FindAs<view::Button>(button)->Click(); }
  void Feed(session::Page page, const kd::testing::Bytes& bytes) {
    link::ReplyCopy reply = kd::testing::AsReply(bytes);
    link::ExchangeBuffer buffer;
    form.PageObject(page)->Step(reply, buffer);
  }
  static std::string Expected(const char* name) {
    return Slurp(std::string(KD_ADAPTATION_DATA) + "/" + name);
  }
};

// M1.5.4 keeps no knock cells: the headings and "Не поддерживается." after the vehicle data.
TEST_F(Reports, KnockReportWithTheVehicleData) {
  Identify();
  host.path = (folder.Path() / "m154.uoz").string();
  Click("Button4");
  EXPECT_EQ(host.modals, (std::vector<std::string>{"TForm10"}));
  ASSERT_EQ(host.dialogs.size(), 1u);
  EXPECT_EQ(host.dialogs[0].title, "Запись конфигурации.");
  EXPECT_EQ(host.dialogs[0].defaultExt, "uoz");
  EXPECT_EQ(host.dialogs[0].filter, "*.uoz");
  EXPECT_EQ(host.dialogs[0].fileName, "*.uoz");
  EXPECT_EQ(host.dialogs[0].initialDir, ".");
  EXPECT_EQ(Slurp(*host.path), Expected("m154_identified.uoz"));
}

// The trip record's VIN reaches the header; the title asked for is the trip data's own, and the
// next dialog is back at the configuration's.
TEST_F(Reports, TripReportWithTheVehicleDataAndTheRecordsVin) {
  form.SelectEcuType(catalogue::EcuCode::Jan72);
  Identify();
  kd::testing::Bytes data(80, 0);
  const std::string vin = "XTA21703090112233";
  std::copy(vin.begin(), vin.end(), data.begin());
  data[41] = 0x10, data[42] = 0x27;
  data[79] = 1;
  kd::testing::Bytes reply = {0x61, 0x05};
  reply.insert(reply.end(), data.begin(), data.end());
  Feed(session::Page::Trip, kd::testing::KwpReply(0x10, reply, kd::testing::Header::Long));
  host.path = (folder.Path() / "trip.txt").string();
  Click("Button5");
  ASSERT_EQ(host.dialogs.size(), 1u);
  EXPECT_EQ(host.dialogs[0].title, "Запись путевых данных.");
  EXPECT_EQ(host.dialogs[0].defaultExt, "txt");
  EXPECT_EQ(host.dialogs[0].filter, "*.txt");
  EXPECT_EQ(Slurp(*host.path), Expected("j72_identified.txt"));
  Click("Button2");
  ASSERT_EQ(host.dialogs.size(), 2u);
  EXPECT_EQ(host.dialogs[1].title, "Запись конфигурации.");
  EXPECT_EQ(host.dialogs[1].defaultExt, "ram");
}

// Before the identifiers are read there is no dialog, and only the date and time head the file.
TEST_F(Reports, FuelReportOfM10WithoutTheVehicleData) {
  form.SelectEcuType(catalogue::EcuCode::M10);
  kd::testing::Bytes reply = {0x61, 0x21};
  reply.resize(2 + 128, 0);
  reply[2] = 0x00, reply[3] = 0x20;
  Feed(session::Page::Fuel, kd::testing::KwpReply(0x10, reply, kd::testing::Header::Long));
  host.path = (folder.Path() / "m10.ram").string();
  Click("Button2");
  EXPECT_TRUE(host.modals.empty());
  EXPECT_EQ(Slurp(*host.path), Expected("m10.ram"));
}

TEST_F(Reports, AFileThatCannotBeCreatedIsReportedAndNothingIsWritten) {
  // A type whose three pages all save: a page that serves nothing has its button off.
  form.SelectEcuType(catalogue::EcuCode::M10);
  for (const char* button : {"Button2", "Button4", "Button5"}) {
    host.boxes.clear();
    host.path = (folder.Path() / "missing" / "report").string();
    Click(button);
    EXPECT_EQ(host.boxes, (std::vector<std::string>{"Ошибка! | Немогу создать файл!!! (error)"}));
    EXPECT_FALSE(std::filesystem::exists(*host.path));
  }
  host.path.reset();
  host.boxes.clear();
  Click("Button5");
  EXPECT_TRUE(host.boxes.empty());
}

}  // namespace
}  // namespace kd::adaptation::test
