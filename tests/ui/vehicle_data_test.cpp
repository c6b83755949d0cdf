// The vehicle-data dialog and the save flow every report shares, driven through the main window
// as the technician uses it; the files written are compared with files written by hand.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "link/fake_port.h"
#include "support/temp_folder.h"
#include "text/cp1251.h"
#include "ui/main_form.h"
#include "ui/report_header.h"

namespace kd::ui {
namespace {

class TestHost : public view::Host {
 public:
  std::function<void(view::Form&)> onModal;
  std::vector<std::string> shown;
  bool closedByControl = false;
  std::vector<view::FileDialogRequest> saves;
  std::optional<std::string> saveAnswer;
  std::vector<std::string> messages;
  view::MessageIcon lastIcon = view::MessageIcon::None;
  std::vector<std::string> written;

  void ShowModal(view::Form& form) override {
    shown.push_back(form.Name());
    closedByControl = false;
    form.RequestClose = [this] { closedByControl = true; };
    if (onModal) onModal(form);
  }
  std::optional<std::string> OpenFileDialog(const view::FileDialogRequest&) override { return {}; }
  std::optional<std::string> SaveFileDialog(const view::FileDialogRequest& r) override {
    saves.push_back(r);
    return saveAnswer;
  }
  std::optional<view::FontChoice> FontDialog(const view::FontChoice&) override { return {}; }
  void MessageBox(const std::string& caption, const std::string& text,
                  view::MessageIcon icon) override {
    messages.push_back(caption + " | " + text);
    lastIcon = icon;
  }
  view::LocalTime Now() override { return {2024, 3, 5, 9, 7, 41, 0}; }
  void FileWritten(const std::string& path) override { written.push_back(path); }
};

std::string Bytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::string DataFile(const char* name) {
  return Bytes(std::filesystem::path(KD_UI_DATA) / name);
}

struct Saving : ::testing::Test {
  testing::TempFolder dir{testing::TempFolder::Enter};
  testing::FakePort port;
  TestHost host;
  MainForm form{port, host};

  void SetUp() override { form.Start(); }
  void Save() { form.FindAs<view::Button>("Button8")->Click(); }
  static view::Edit& EditOf(view::Form& dialog, const char* name) {
    return *dialog.FindAs<view::Edit>(name);
  }
  static void Press(view::Form& dialog, const char* name) {
    dialog.FindAs<view::Button>(name)->Click();
  }
};

TEST_F(Saving, WithIdentifiersTheDialogComesFirstAndTheHeaderCarriesEverything) {
  form.Vehicle().StoreIdentifiers("XTA21099012345678", "1234567890123456", "ROM12345");
  host.onModal = [&](view::Form& d) {
    EXPECT_EQ(d.Caption(), "Параметры автомобиля для записи в файл");
    const char* labels[][2] = {
        {"Label1", "VIN:"},     {"Label2", "№ контр:"}, {"Label3", "Ид.ПЗУ:"},
        {"Label4", "Услов №:"}, {"Label5", "Гос. №:"},  {"Label6", "Пробег:"},
        {"BitBtn1", "Ок"},      {"BitBtn2", "Сброс"},   {"BitBtn3", "Отмена"}};
    for (auto& [name, caption] : labels)
      EXPECT_EQ(d.FindAs<view::Label>(name)->Caption(), caption) << name;
    EXPECT_TRUE(d.FindAs<view::Button>("BitBtn1")->Default());
    EXPECT_EQ(EditOf(d, "Edit1").Text(), "XTA21099012345678  ")
        << "the VIN is always 19 characters";
    EXPECT_EQ(EditOf(d, "Edit2").Text(), "1234567890123456");
    EXPECT_EQ(EditOf(d, "Edit3").Text(), "ROM12345");
    EXPECT_EQ(EditOf(d, "Edit4").Text(), "        ");
    EXPECT_EQ(EditOf(d, "MaskEdit1").Text(), "0");
    EXPECT_EQ(EditOf(d, "MaskEdit1").EditMask(), "!99999;1;_");
    EXPECT_EQ(EditOf(d, "MaskEdit1").MaxLength(), 5);
    // The identifiers can be typed over but are not stored.
    EditOf(d, "Edit1").SetText("typed over");
    EditOf(d, "Edit4").SetText("АБВ1234567");
    EditOf(d, "Edit5").SetText("А123ВС77");
    EditOf(d, "MaskEdit1").SetText("12345");
    Press(d, "BitBtn1");
    EXPECT_TRUE(host.closedByControl);
  };
  host.saveAnswer = (dir / "report.err").string();
  Save();
  EXPECT_EQ(host.shown, (std::vector<std::string>{"TForm10"}));
  ASSERT_EQ(host.saves.size(), 1u);
  const auto& r = host.saves[0];
  EXPECT_EQ(r.title, "Запись информациии о ошибках.");
  EXPECT_EQ(r.defaultExt, "err");
  EXPECT_EQ(r.filter, "*.err");
  EXPECT_EQ(r.fileName, "*.err");
  EXPECT_EQ(r.initialDir, ".");
  EXPECT_EQ(Bytes(dir / "report.err"), DataFile("fault_report_identifiers.err"));
  EXPECT_EQ(host.written, (std::vector<std::string>{(dir / "report.err").string()}));
  EXPECT_EQ(form.Vehicle().vin, "XTA21099012345678  ");

  // The same dialog serves the configuration with its own title.
  host.saveAnswer.reset();
  form.FindAs<view::Button>("SaveButton")->Click();
  ASSERT_EQ(host.saves.size(), 2u);
  EXPECT_EQ(host.saves[1].title, kConfigSaveTitle);
}

TEST_F(Saving, AMileageThatIsNoWholeNumberKeepsTheDialogOpenAndTheOldNumber) {
  form.Vehicle().identifiersRead = true;
  form.Vehicle().mileage = 777;
  host.onModal = [&](view::Form& d) {
    EditOf(d, "Edit4").SetText("12");
    for (const char* bad : {"", "12a", "123456", "-5", "1 2"}) {
      host.messages.clear();
      EditOf(d, "MaskEdit1").SetText(bad);
      Press(d, "BitBtn1");
      EXPECT_FALSE(host.closedByControl) << bad;
      EXPECT_EQ(host.messages,
                (std::vector<std::string>{std::string("Ошибка! | ") + kMileageNotANumber}))
          << bad;
      EXPECT_EQ(host.lastIcon, view::MessageIcon::Error);
      EXPECT_EQ(EditOf(d, "MaskEdit1").Text(), bad) << "what was typed stays";
      EXPECT_EQ(form.Vehicle().mileage, 777u) << bad;
    }
    EXPECT_EQ(form.Vehicle().conditionalNumber, "12") << "the texts are taken before the mileage";
    EditOf(d, "MaskEdit1").SetText(" 0042_");
    Press(d, "BitBtn1");
    EXPECT_TRUE(host.closedByControl);
  };
  Save();
  EXPECT_EQ(form.Vehicle().mileage, 42u);
  EXPECT_EQ(ParseMileage("99999"), 99999u);
  EXPECT_EQ(ParseMileage("00000"), 0u);
}

TEST_F(Saving, ResetThenCancelStoresNothing) {
  VehicleData& v = form.Vehicle();
  v.identifiersRead = true;
  v.conditionalNumber = "COND";
  v.registrationNumber = "REG";
  v.mileage = 5;
  host.onModal = [&](view::Form& d) {
    Press(d, "BitBtn2");
    EXPECT_EQ(EditOf(d, "Edit4").Text(), "");
    EXPECT_EQ(EditOf(d, "Edit5").Text(), "");
    EXPECT_EQ(EditOf(d, "MaskEdit1").Text(), "");
    EXPECT_FALSE(host.closedByControl) << "Сброс keeps the dialog open";
    Press(d, "BitBtn3");
    EXPECT_TRUE(host.closedByControl);
  };
  Save();
  EXPECT_EQ(v.conditionalNumber, "COND");
  EXPECT_EQ(v.registrationNumber, "REG");
  EXPECT_EQ(v.mileage, 5u);
  // The dialog came although the file dialog was then cancelled; nothing was written.
  EXPECT_EQ(host.shown.size(), 1u);
  EXPECT_TRUE(host.written.empty());
}

TEST_F(Saving, EnterInAnEditConfirmsAndEscapeIsNotCancel) {
  VehicleData& v = form.Vehicle();
  v.identifiersRead = true;
  host.onModal = [&](view::Form& d) {
    EditOf(d, "Edit5").SetText("А123ВС77");
    // "Отмена" is an ordinary button of this dialog: Escape presses nothing.
    EXPECT_FALSE(d.PressKey(d.Find("Edit5"), view::Key::Escape));
    EXPECT_FALSE(host.closedByControl);
    EXPECT_TRUE(d.PressKey(d.Find("MaskEdit1"), view::Key::Enter));
    EXPECT_TRUE(host.closedByControl);
  };
  Save();
  EXPECT_EQ(v.registrationNumber, text::Utf8ToCp1251("А123ВС77"));
}

TEST_F(Saving, WithoutIdentifiersNoDialogAndTwoHeaderLines) {
  host.saveAnswer = (dir / "plain.err").string();
  Save();
  EXPECT_TRUE(host.shown.empty());
  const std::string file = Bytes(dir / "plain.err");
  const std::string header = DataFile("header_plain.err");
  EXPECT_EQ(file.substr(0, header.size()), header);
  EXPECT_EQ(file[header.size()], '\n') << "the body follows the header directly";
  EXPECT_EQ(ReportHeader({}, {2024, 3, 5, 9, 7, 0, 0}), header);
}

TEST_F(Saving, AFileThatCannotBeCreatedIsReportedAndNothingIsWritten) {
  host.saveAnswer = (dir / "missing" / "x.err").string();
  Save();
  EXPECT_EQ(host.messages, (std::vector<std::string>{"Ошибка! | Немогу создать файл!!!"}));
  EXPECT_EQ(host.lastIcon, view::MessageIcon::Error);
  EXPECT_TRUE(host.written.empty());
  EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
}

TEST(ReportHeader, MileageAndTextsAsStored) {
  VehicleData v;
  v.StoreIdentifiers("SHORT", "12345678901234567890", "ROMIDTOOLONG");
  EXPECT_EQ(v.vin, "SHORT              ");
  EXPECT_EQ(v.controllerNumber, "1234567890123456");
  EXPECT_EQ(v.romId, "ROMIDTOO");
  const std::string header = ReportHeader(v, {2024, 12, 31, 23, 59, 0, 0});
  const std::string tail = text::Utf8ToCp1251(" Пробег  : 0");
  ASSERT_GE(header.size(), tail.size());
  EXPECT_EQ(header.substr(header.size() - tail.size()), tail) << "no line end after the mileage";
  EXPECT_EQ(header.substr(0, 26), text::Utf8ToCp1251("Дата  записи: 31.12.2024\r\n"));
}

}  // namespace
}  // namespace kd::ui
