// The main window's first form: the controller-type controls and what a switch changes.
#include <gtest/gtest.h>

#include "harness/scripted_port.h"
#include "link/fake_port.h"
#include "ui/main_form.h"

namespace kd::ui {
namespace {

class NoHost : public view::Host {
 public:
  void ShowModal(view::Form&) override {}
  std::optional<std::string> OpenFileDialog(const view::FileDialogRequest&) override { return {}; }
  std::optional<std::string> SaveFileDialog(const view::FileDialogRequest&) override { return {}; }
  std::optional<view::FontChoice> FontDialog(const view::FontChoice&) override { return {}; }
  void MessageBox(const std::string&, const std::string&, view::MessageIcon) override {}
  view::LocalTime Now() override { return {}; }
};

struct Fixture : ::testing::Test {
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
