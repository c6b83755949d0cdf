// The harness on forms the program does not open yet: panels and group boxes, a status bar
// without panels, chart points, dialog keys and what verbose prints for each dialog and icon.
#include "harness/script_runner.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <clocale>
#include <filesystem>
#include <sstream>

#include "support/comma_locale.h"
#include "view/form.h"

namespace kd::harness {
namespace {

// A side window with one control of each kind the later windows bring.
class SideForm : public view::Form {
 public:
  SideForm() : Form("TSide") {
    SetCaption("Графическое окно переменных!");
    auto& panel = Add<view::Panel>("Panel1");
    panel.SetCaption("Извините, графика не работает!");
    group = &Add<view::GroupBox>("GroupBox2");
    group->SetCaption("Переменная 2");
    group->SetVisible(false);
    Add<view::Edit>("Edit1");
    Add<view::Memo>("Memo1");
    ok = &Add<view::Button>("BitBtn1");
    ok->SetCaption("Ок");
    ok->SetDefault(true);
    ok->OnClick = [this] {
      ++oks;
      CloseByControl();
    };
    cancel = &Add<view::Button>("BitBtn2");
    cancel->SetCaption("Отмена");
    cancel->SetCancel(true);
    cancel->OnClick = [this] {
      ++cancels;
      CloseByControl();
    };
    Add<view::StatusBar>("StatusBar1", std::vector<int>{})
        .SetText(0, "Error write port by delayed.");
    chart = &Add<view::Chart>("Chart1");
    // 90 on a -40..150 scale, a value a hair under zero, and a series not yet fed.
    chart->SetSeries({{"ОБОРОТЫ", {{0, 0, " "}, {1, 90 * 100.0 / 190, ""}, {2, -0.001, ""}}},
                      {"Т.ОЖ", {}},
                      {"ДЗ", {{0, 1234.5, " "}, {1, -7.125, ""}}}});
  }
  view::GroupBox* group = nullptr;
  view::Button* ok = nullptr;
  view::Button* cancel = nullptr;
  view::Chart* chart = nullptr;
  int oks = 0;
  int cancels = 0;
};

// The runner starts the main window, which reads and writes its configuration in the working
// folder: each case gets a folder of its own.
class Harness : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = std::filesystem::current_path();
    dir_ = std::filesystem::temp_directory_path() /
           ("kd_harness_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
    std::filesystem::current_path(dir_);
  }
  void TearDown() override {
    std::filesystem::current_path(old_);
    std::filesystem::remove_all(dir_);
  }
  std::filesystem::path old_, dir_;
};

TEST_F(Harness, ShowsPanelsGroupBoxesSimpleStatusBarsAndChartPoints) {
  // A decimal comma in the C library must not reach the points.
  kd::testing::CommaLocale locale;
  const bool comma =
      locale.Built() && std::setlocale(LC_NUMERIC, kd::testing::CommaLocale::kName) != nullptr;
  EXPECT_EQ(comma, locale.Built()) << "built, but the C library does not load it from LOCPATH";
  std::istringstream script(
      "show form\n"
      "show Panel1\n"
      "show state Panel1\n"
      "show GroupBox2\n"
      "show state GroupBox2\n"
      "show state TSide.Chart1\n"
      "show StatusBar1\n"
      "show points Chart1\n"
      "show points TSide.Chart1\n"
      "show TForm1.Timer1\n"
      "close\n");
  std::ostringstream out;
  ScriptRunner runner(script, out);
  SideForm form;
  runner.ShowModal(form);
  std::setlocale(LC_NUMERIC, "C");
  EXPECT_EQ(out.str(),
            "dialog TSide\n"
            "form TSide caption \"Графическое окно переменных!\"\n"
            "Panel1 \"Извините, графика не работает!\" visible 1 enabled 1\n"
            "Panel1 visible 1 enabled 1\n"
            "GroupBox2 \"Переменная 2\" visible 0 enabled 1\n"
            "GroupBox2 visible 0 enabled 1\n"
            "TSide.Chart1 visible 1 enabled 1\n"
            "StatusBar1 0: Error write port by delayed.\n"
            "Chart1 0: 0.00 47.37 0.00\n"
            "Chart1 1:\n"
            "Chart1 2: 1234.50 -7.12\n"
            "TSide.Chart1 0: 0.00 47.37 0.00\n"
            "TSide.Chart1 1:\n"
            "TSide.Chart1 2: 1234.50 -7.12\n"
            "TForm1.Timer1 interval 300 enabled 1\n"
            "closed TSide\n")
      << (comma ? "with a comma locale" : "without a comma locale: " + locale.WhyNot());
}

TEST_F(Harness, EnterAndEscapeGoToTheDefaultAndCancelButtons) {
  std::istringstream script(
      // Enter in an edit: the default button.
      "key Edit1 enter\n"
      // Escape in an edit: the cancel button.
      "key Edit1 escape\n"
      // Enter on a button is that button's, even on the cancel button.
      "key BitBtn2 enter\n"
      // Enter in a multi-line text stays there; Escape with the cancel button disabled and Enter
      // with the default button hidden do nothing.
      "key Memo1 enter\n"
      "key Edit1 escape\n"
      "key Edit1 enter\n"
      "show form\n"
      "close\n");
  std::ostringstream out;
  ScriptRunner runner(script, out);
  SideForm first, second, third, fourth;
  runner.ShowModal(first);
  runner.ShowModal(second);
  runner.ShowModal(third);
  fourth.cancel->SetEnabled(false);
  fourth.ok->SetVisible(false);
  runner.ShowModal(fourth);
  EXPECT_EQ(first.oks, 1);
  EXPECT_EQ(first.cancels, 0);
  EXPECT_EQ(second.oks, 0);
  EXPECT_EQ(second.cancels, 1);
  EXPECT_EQ(third.oks, 0);
  EXPECT_EQ(third.cancels, 1);
  EXPECT_EQ(fourth.oks + fourth.cancels, 0);
  EXPECT_EQ(out.str(),
            "dialog TSide\nclosed TSide\n"
            "dialog TSide\nclosed TSide\n"
            "dialog TSide\nclosed TSide\n"
            "dialog TSide\nform TSide caption \"Графическое окно переменных!\"\nclosed TSide\n");
}

TEST_F(Harness, VerbosePrintsEveryFileDialogsSetUpAndEveryIcon) {
  std::istringstream script(
      "answer file out.srd\n"
      "answer cancel\n"
      "verbose on\n"
      "close\n"
      "verbose off\n"
      "close\n");
  std::ostringstream out;
  ScriptRunner runner(script, out);
  SideForm on, off;
  runner.ShowModal(on);
  const auto saved =
      runner.SaveFileDialog({"Запись\tстатистики.", "srd", "Статистика|*.srd", ".", "*.srd"});
  EXPECT_FALSE(runner.OpenFileDialog({"OpenCFG", "CFG", "*.cfg", "", "*.cfg"}));
  runner.MessageBox("Запись статистики.", "Нет данных", view::MessageIcon::None);
  runner.MessageBox("Ошибка!", "Немогу создать файл!!!", view::MessageIcon::Error);
  runner.MessageBox("a", "b", view::MessageIcon::Warning);
  runner.MessageBox("a", "b", view::MessageIcon::Information);
  runner.MessageBox("a", "b", view::MessageIcon::Question);
  runner.ShowModal(off);
  runner.MessageBox("a", "b", view::MessageIcon::Question);
  EXPECT_FALSE(runner.SaveFileDialog({"t", "e", "f", ".", "n"}));
  ASSERT_TRUE(saved);
  EXPECT_EQ(std::filesystem::path(*saved).filename(), "out.srd");
  EXPECT_EQ(out.str(),
            "dialog TSide\nclosed TSide\n"
            "filedialog save \"Запись\\tстатистики.\" ext \"srd\" filter \"Статистика|*.srd\" "
            "folder \".\" name \"*.srd\"\n"
            "filedialog open \"OpenCFG\" ext \"CFG\" filter \"*.cfg\" folder \"\" name \"*.cfg\"\n"
            "msgbox Запись статистики. | Нет данных\nmsgicon none\n"
            "msgbox Ошибка! | Немогу создать файл!!!\nmsgicon error\n"
            "msgbox a | b\nmsgicon warning\n"
            "msgbox a | b\nmsgicon information\n"
            "msgbox a | b\nmsgicon question\n"
            "dialog TSide\nclosed TSide\n"
            "msgbox a | b\n");
}

}  // namespace
}  // namespace kd::harness
