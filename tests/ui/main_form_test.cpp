// The main window's first form: the controller-type controls and what a switch changes.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <random>
#include <set>

#include "support/null_host.h"
#include "support/temp_folder.h"
#include "catalogue/config_file.h"
#include "catalogue/param_tables.h"

#include "harness/scripted_port.h"
#include "link/fake_port.h"
#include "ui/main_form.h"

namespace kd::ui {
namespace {

using NoHost = kd::testing::NullHost;

// Runs each case in a folder of its own, as the program runs in its start folder.
class InFolder : public ::testing::Test {
 protected:
  static void Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  testing::TempFolder folder_{testing::TempFolder::Enter};
};

struct Fixture : InFolder {
  testing::FakePort port;
  NoHost host;
  MainForm form{port, host};
  void SetUp() override { form.Start(); }

  std::vector<std::string> Marks() {
    std::vector<std::string> down;
    for (const auto* b : form.TypeButtons())
      if (b->Down()) down.push_back(b->Name());
    for (const auto* m : form.Typeblock1().Items())
      if (m->Checked()) down.push_back(m->Name());
    return down;
  }
};

TEST_F(Fixture, ToolBarAndMenuCarryTheTypesInTheirOrder) {
  const char* buttons[] = {"ButtonM154", "ButtonM154N", "ButtonJ72", "ButtonMP70", "ButtonMP70_E3",
                           "ButtonJ4", "ButtonGM", "ButtonM797", "ButtonM10", "ButtonMikas",
                           "ButtonEMUR"};
  const char* items[] = {"MenuM154", "MenuM154N", "MenuJ72", "MenuMP70", "MenuMP70_E3", "MenuJ4",
                         "MenuGM", "MenuM797", "MenuM10", "MenuMikas", "menuEMUR"};
  for (std::size_t i = 0; i < 11; ++i) {
    EXPECT_EQ(form.TypeButtons()[i]->Name(), buttons[i]);
    EXPECT_EQ(form.TypeButtons()[i]->Checkable(), i < 8) << buttons[i];
    EXPECT_EQ(form.Typeblock1().Items()[i]->Name(), items[i]);
  }
  EXPECT_EQ(form.FindAs<view::Button>("ButtonMP70_E3")->Hint(), "Контроллер МР70-ЕВРО3");
  EXPECT_EQ(form.FindAs<view::MenuItem>("MenuM10")->Caption(), "M 10 -ECU");
  EXPECT_EQ(Marks(), (std::vector<std::string>{"ButtonM154", "MenuM154"}));
}

TEST_F(Fixture, SwitchMarksExactlyTheNewTypeAndReopensThePort) {
  port.calls.clear();
  form.FindAs<view::Button>("ButtonGM")->Click();
  EXPECT_EQ(form.EcuType(), 5u);
  EXPECT_EQ(Marks(), (std::vector<std::string>{"ButtonGM", "MenuGM"}));
  EXPECT_EQ(form.StatusBar1().Text(2), "GM ISFI-2S");
  EXPECT_EQ(port.applied, (link::LineSettings{8192, 'n', 8, 1}));
  EXPECT_EQ(port.calls.front(), "close");

  // A second click on a two-state button that is down must not leave it up.
  form.FindAs<view::Button>("ButtonJ4")->Click();
  form.FindAs<view::Button>("ButtonJ4")->Click();
  EXPECT_EQ(Marks(), (std::vector<std::string>{"ButtonJ4", "MenuJ4"}));

  form.FindAs<view::MenuItem>("menuEMUR")->Click();
  EXPECT_EQ(form.StatusBar1().Text(2), "ЭМУР");
  EXPECT_EQ(Marks(), (std::vector<std::string>{"ButtonEMUR", "menuEMUR"}));
}

TEST_F(Fixture, MikasOnlyThroughItsButton) {
  form.FindAs<view::MenuItem>("MenuMikas")->Click();
  EXPECT_EQ(form.EcuType(), 1u);
  form.FindAs<view::Button>("ButtonMikas")->Click();
  EXPECT_EQ(form.EcuType(), 10u);
  EXPECT_EQ(port.applied, (link::LineSettings{9600, 'n', 8, 1}));
}

TEST_F(Fixture, SwitchWithoutAPortStillSwitchesTheType) {
  port.openSucceeds = false;
  form.FindAs<view::Button>("ButtonM10")->Click();
  EXPECT_EQ(form.EcuType(), 8u);
  EXPECT_EQ(form.StatusBar1().Text(2), "M10");
  EXPECT_EQ(form.StatusBar1().Text(0), "Error init port.");
}

}  // namespace
}  // namespace kd::ui

namespace kd::ui {
namespace {

TEST_F(InFolder, DamagedStartUpFilesAlwaysGiveAFullList) {
  std::mt19937 rng(100);
  for (int round = 0; round < 300; ++round) {
    std::vector<std::uint8_t> bytes(rng() % 40000);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
    if (bytes.size() >= 8 && rng() % 2) {
      // A plausible header over random records.
      bytes[0] = static_cast<std::uint8_t>(rng() % 13);
      bytes[1] = bytes[2] = bytes[3] = 0;
      bytes[6] = static_cast<std::uint8_t>(rng() % 120);
      bytes[7] = 0;
    }
    Write("default.cfg", bytes);
    testing::FakePort port;
    NoHost host;
    MainForm form(port, host);
    form.Start();
    const auto expected = static_cast<std::size_t>(form.Constants().paramCount);
    ASSERT_EQ(form.Params().size(), expected) << round;
    ASSERT_EQ(static_cast<std::size_t>(form.CheckParamList().Count()), expected);
    ASSERT_LE(static_cast<std::size_t>(form.StringGrid1().RowCount()), expected + 1);
    for (const auto& r : form.Params()) {
      ASSERT_LE(r.shown, 1);
      ASSERT_EQ(r.onChart, 0);
    }
  }
}

TEST_F(InFolder, ShortFileKeepsItsRecordsAndTakesTheRestBuiltIn) {
  catalogue::ParamRecord first = catalogue::BuiltInParams(6)[0];
  catalogue::SetFieldText(first.name, "FIRST");
  first.shown = 1;
  Write("default.cfg", catalogue::EncodeConfiguration(6, 4, std::span(&first, 1)));
  testing::FakePort port;
  NoHost host;
  MainForm form(port, host);
  form.Start();
  EXPECT_EQ(form.EcuType(), 6u);
  EXPECT_EQ(form.PortNumber(), 4);
  ASSERT_EQ(form.Params().size(), 68u);
  EXPECT_EQ(catalogue::FieldText(form.Params()[0].name), "FIRST");
  EXPECT_EQ(std::memcmp(&form.Params()[1], &catalogue::BuiltInParams(6)[1], 352), 0);
  EXPECT_EQ(form.StringGrid1().RowCount(), 2);
  EXPECT_EQ(form.StringGrid1().Cell(0, 1), "FIRST");
  EXPECT_EQ(port.calls[0], "open 4");
}

TEST_F(InFolder, SavedListOfEveryTypeReadsBackWithTicksTypeAndTexts) {
  testing::FakePort port;
  NoHost host;
  MainForm form(port, host);
  form.Start();
  for (std::uint32_t type = 1; type <= 11; ++type) {
    form.SelectEcuType(type);
    const int count = form.CheckParamList().Count();
    for (int i = 0; i < count; i += 3) {
      form.CheckParamList().SetChecked(i, true);
      form.CheckParamList().OnClickCheck(i);
    }
    const auto before = form.Params();
    form.Close();  // default.cfg and the type's own file

    MainForm again(port, host);
    again.Start();
    ASSERT_EQ(again.EcuType(), type);
    ASSERT_EQ(again.Params().size(), before.size());
    for (std::size_t i = 0; i < before.size(); ++i) {
      EXPECT_EQ(again.Params()[i].shown, i % 3 == 0 ? 1 : 0) << type << ' ' << i;
      EXPECT_EQ(catalogue::FieldText(again.Params()[i].name), catalogue::FieldText(before[i].name));
      EXPECT_EQ(catalogue::FieldText(again.Params()[i].description),
                catalogue::FieldText(before[i].description));
      EXPECT_EQ(again.CheckParamList().IsChecked(static_cast<int>(i)), i % 3 == 0);
    }
  }
}

}  // namespace
}  // namespace kd::ui

namespace kd::ui {
namespace {

class ClockHost : public testing::NullHost {
 public:
  view::LocalTime Now() override { return now; }
  view::LocalTime now;
};

// An adapter pulled out and plugged back: the trace shows, with their times, the first attempt
// that found it gone and the one that opened it again, among the ticks; a later loss again.
TEST_F(InFolder, TraceShowsEveryReopenOfALostPort) {
  testing::FakePort port;
  ClockHost host;
  MainForm form{port, host};
  ASSERT_TRUE(form.StartTrace("session.trace"));
  form.Start();
  auto tickAt = [&](int second, int ms) {
    host.now.second = second;
    host.now.millisecond = ms;
    form.Timer1().Fire();
  };
  tickAt(0, 300);
  port.reopenAttempts = {false, false, false, true};
  tickAt(0, 600);
  tickAt(0, 900);
  tickAt(1, 200);
  tickAt(1, 500);
  tickAt(1, 800);
  port.reopenAttempts = {false, true};
  tickAt(2, 100);
  tickAt(2, 400);

  std::ifstream in("session.trace");
  std::vector<std::string> opens;
  int ticks = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.find(" open ") != std::string::npos) opens.push_back(line);
    if (line.find(" type 1 page TabSheet1 ") != std::string::npos) ++ticks;
  }
  EXPECT_EQ(ticks, 8);
  EXPECT_EQ(opens, (std::vector<std::string>{
                       "2024-01-01 12:00:00.000 open Com:2 115200,n,8,2 ok",
                       "2024-01-01 12:00:00.600 open Com:2 115200,n,8,2 failed",
                       "2024-01-01 12:00:01.500 open Com:2 115200,n,8,2 ok",
                       "2024-01-01 12:00:02.100 open Com:2 115200,n,8,2 failed",
                       "2024-01-01 12:00:02.400 open Com:2 115200,n,8,2 ok",
                   }));
}

TEST_F(Fixture, ListEntryShowsItsDescriptionAsHint) {
  form.CheckParamList().Select(9);
  form.CheckParamList().OnClick();
  EXPECT_EQ(form.CheckParamList().Hint(), "Скорость вращения двигателя.");
}

}  // namespace
}  // namespace kd::ui

#include "ui/dialogs.h"

namespace kd::ui {
namespace {

TEST_F(Fixture, EveryShellControlStandsWithItsCaptionAndShortcut) {
  const struct {
    const char* name;
    const char* caption;
    const char* shortcut;
  } items[] = {
      {"File1", "&Файл", ""},          {"New1", "Создать Конфиг.", ""},
      {"Open1", "Откр. Конфиг.", ""},  {"Save1", "Сохран.Конфиг.", ""},
      {"NewDAT1", "Новые Данные", ""}, {"SaveDAT1", "Сохран.Данные", ""},
      {"Font_par", "Фонт Параметров", ""}, {"Print1", "Печать", ""},
      {"PrintSetup1", "Настройка печати", ""}, {"Exit1", "В&ыход", ""},
      {"Options1", "Опции", ""},       {"ComPort", "Выбор порта", ""},
      {"N6", "Графич.Режим", ""},      {"Indicator", "Индицировать", ""},
      {"Param_menu", "Параметры ", "Ctrl+F1"}, {"Error_menu", "Ошибки ", "Ctrl+F2"},
      {"Ident_menu", "Идентификаторы", "Ctrl+F3"}, {"Complect_menu", "Комплектация", "Ctrl+F4"},
      {"ADC_menu", "АЦП", "Ctrl+F5"},  {"Memory_menu", "Память Топ.", "Ctrl+F6"},
      {"N3", "Память УОЗ", "Ctrl+F7"}, {"N4", "Пропуски Заж.", "Ctrl+F8"},
      {"N5", "Пар.Экспл.", "Ctrl+F9"}, {"Typeblock1", "Тип контроллера", ""},
      {"MenuMikas", "Микас-7.2", ""},  {"menuEMUR", "ЭМУР", ""},
      {"About1", "О программе...", ""},
  };
  for (const auto& i : items) {
    const auto* item = form.FindAs<view::MenuItem>(i.name);
    ASSERT_NE(item, nullptr) << i.name;
    EXPECT_EQ(item->Caption(), i.caption) << i.name;
    EXPECT_EQ(item->Shortcut(), i.shortcut) << i.name;
  }
  const char* toolBar[] = {"NewButton", "LoadButton", "SaveButton", "ComButton", "ButtonM154",
                           "ButtonM154N", "ButtonJ72", "ButtonMP70", "ButtonMP70_E3", "ButtonJ4",
                           "ButtonGM", "ButtonM797", "ButtonM10", "ButtonMikas", "ButtonEMUR",
                           "ToolButton7", "ToolButton12", "ButtonImmo", "ToolButton13",
                           "SAUOButton", "GraphButton", "ToolButton14", "AboutButton",
                           "ToolButton9", "ToolButton11"};
  const std::set<std::string> separatorAfter = {"SaveButton", "ComButton", "ButtonEMUR",
                                                "ToolButton12", "ToolButton13", "SAUOButton",
                                                "ToolButton14", "ToolButton9"};
  ASSERT_EQ(form.ToolBar().size(), std::size(toolBar));
  for (std::size_t i = 0; i < std::size(toolBar); ++i) {
    EXPECT_EQ(form.ToolBar()[i]->Name(), toolBar[i]);
    EXPECT_EQ(form.ToolBar()[i]->SeparatorAfter(), separatorAfter.count(toolBar[i]) == 1) << toolBar[i];
  }
  EXPECT_TRUE(form.FindAs<view::Button>("GraphButton")->Checkable());
  std::vector<std::string> menuBar;
  for (const auto* m : form.MainMenu()) menuBar.push_back(m->Name());
  EXPECT_EQ(menuBar, (std::vector<std::string>{"File1", "Options1", "Indicator", "Typeblock1", "About1"}));
  const auto& pages = form.PageControl1().Pages();
  const char* tabs[] = {"Переменные", "Ошибки", "Идентификаторы", "Комплектация", "АЦП",
                        "Топливо", "Об.УОЗ", "Пропуски Заж.", "Парам.Экспл."};
  for (std::size_t i = 0; i < pages.size(); ++i) EXPECT_EQ(pages[i].caption, tabs[i]);
  EXPECT_EQ(form.StatusBar1().Width(0), 200);
  EXPECT_EQ(form.StatusBar1().Width(3), 70);
  EXPECT_EQ(form.Timer1().Interval(), 300);
  EXPECT_EQ(form.StringGrid1().Hint(), "Параметры");
}

TEST(Dialogs, PortDialogPresetsAndReadsTheChoice) {
  PortDialog dialog;
  EXPECT_EQ(dialog.Caption(), "Выбор последовательного порта...");
  for (int port : {0, 1, 9, -3}) {
    dialog.Preset(port);
    EXPECT_EQ(dialog.Chosen(7), 1) << port;
  }
  dialog.Preset(8);
  EXPECT_EQ(dialog.Chosen(2), 8);
  dialog.FindAs<view::RadioButton>("RadioButton3")->Click();
  EXPECT_EQ(dialog.Chosen(2), 3);
  EXPECT_FALSE(dialog.FindAs<view::RadioButton>("RadioButton8")->Checked());
  ASSERT_NE(dialog.FindAs<view::GroupBox>("GroupBox1"), nullptr);
  EXPECT_EQ(dialog.FindAs<view::GroupBox>("GroupBox1")->Caption(), "GroupBox1");
  // "Закрыть" is neither default nor cancel: the keys press nothing.
  EXPECT_EQ(dialog.KeyTarget(dialog.Find("RadioButton3"), view::Key::Enter), nullptr);
  EXPECT_EQ(dialog.KeyTarget(dialog.Find("RadioButton3"), view::Key::Escape), nullptr);
  AboutBox about;
  EXPECT_EQ(about.Caption(), "About");
  // The OK button of the About box is its default button, and there is no cancel button.
  EXPECT_EQ(about.KeyTarget(nullptr, view::Key::Enter), about.FindAs<view::Button>("BitBtn1"));
  EXPECT_EQ(about.KeyTarget(nullptr, view::Key::Escape), nullptr);
  EXPECT_NE(about.FindAs<view::Label>("StaticText3")->Caption().find(KLINEDIAG_TEST_VERSION),
            std::string::npos);
}

}  // namespace
}  // namespace kd::ui
