// What skins rely on: revisions move exactly when content changes, untrusted indices are safe,
// and events fire for the user's actions but not for the program's.
#include <gtest/gtest.h>

#include "view/controls.h"
#include "view/form.h"

namespace kd::view {
namespace {

TEST(Revision, MovesOnChangeOnlyAndForEveryKind) {
  Label label("Label1");
  const auto r0 = label.Revision();
  label.SetCaption("Текст");
  EXPECT_GT(label.Revision(), r0);
  const auto r1 = label.Revision();
  label.SetCaption("Текст");
  label.SetVisible(true);
  EXPECT_EQ(label.Revision(), r1);

  Grid grid("StringGrid1");
  grid.SetSize(2, 2);
  auto r = grid.Revision();
  grid.SetCell(1, 1, "x");
  EXPECT_GT(grid.Revision(), r);
  r = grid.Revision();
  grid.SetCell(1, 1, "x");
  EXPECT_EQ(grid.Revision(), r);

  StatusBar status("StatusBar1", {200, 70});
  r = status.Revision();
  status.SetText(1, "Com:2");
  EXPECT_GT(status.Revision(), r);
}

TEST(Grid, OutOfRangeCellsReadEmptyAndIgnoreWrites) {
  Grid grid("StringGrid1");
  grid.SetSize(3, 2);
  grid.SetCell(2, 1, "last");
  grid.SetCell(3, 0, "no");
  grid.SetCell(-1, 0, "no");
  grid.SetCell(0, 2, "no");
  EXPECT_EQ(grid.Cell(2, 1), "last");
  EXPECT_EQ(grid.Cell(3, 0), "");
  EXPECT_EQ(grid.Cell(0, -5), "");
  // Growing keeps the cells that stay; shrinking drops the rest.
  grid.SetSize(4, 3);
  EXPECT_EQ(grid.Cell(2, 1), "last");
  grid.SetSize(2, 1);
  grid.SetSize(3, 2);
  EXPECT_EQ(grid.Cell(2, 1), "");
}

TEST(Lists, SelectionAndChecksFollowTheItems) {
  CheckListBox list("CheckParamList");
  list.SetItems({"a", "b", "c"});
  list.SetChecked(1, true);
  list.SetChecked(7, true);
  EXPECT_TRUE(list.IsChecked(1));
  EXPECT_FALSE(list.IsChecked(7));
  list.Select(2);
  EXPECT_EQ(list.Selected(), 2);
  list.Select(3);
  EXPECT_EQ(list.Selected(), -1);
  list.Select(2);
  list.SetItems({"x"});
  EXPECT_EQ(list.Selected(), -1);
  EXPECT_FALSE(list.IsChecked(0));  // new items start unticked
}

TEST(Events, UserActionsRaiseThemAndDisabledControlsDoNot) {
  int clicks = 0;
  Button check("ButtonM154");
  check.SetCheckable(true);
  check.OnClick = [&] { ++clicks; };
  check.Click();
  EXPECT_EQ(clicks, 1);
  EXPECT_TRUE(check.Down());
  check.SetEnabled(false);
  check.Click();
  EXPECT_EQ(clicks, 1);

  PageControl pages("PageControl1", {{"TabSheet1", "Переменные"}, {"TabSheet2", "Ошибки"}});
  int changes = 0;
  pages.OnChange = [&] { ++changes; };
  pages.SetActive(1);
  EXPECT_EQ(changes, 0);
  pages.ClickTab(0);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(pages.ActiveName(), "TabSheet1");
  pages.ClickTab(5);
  EXPECT_EQ(changes, 1);

  Timer timer("Timer1", 300);
  int fired = 0;
  timer.OnTimer = [&] { ++fired; };
  timer.Fire();
  timer.SetEnabled(false);
  timer.Fire();
  EXPECT_EQ(fired, 1);
}

class TwoControls : public Form {
 public:
  TwoControls() : Form("TFormX") {
    Add<Button>("Button1");
    Add<Label>("Label1");
  }
};

TEST(Form, FindsControlsByNameAndKind) {
  TwoControls form;
  EXPECT_NE(form.FindAs<Button>("Button1"), nullptr);
  EXPECT_EQ(form.FindAs<Button>("Label1"), nullptr);
  EXPECT_EQ(form.Find("Nothing"), nullptr);
  ASSERT_EQ(form.Controls().size(), 2u);
  EXPECT_EQ(form.Controls()[0]->Name(), "Button1");
}

TEST(Containers, PanelsAndGroupBoxesKeepCaptionAndStateWithRevisions) {
  GroupBox group("GroupBox1");
  Panel& asPanel = group;
  auto r = group.Revision();
  asPanel.SetCaption("Переменная 1");
  EXPECT_GT(group.Revision(), r);
  r = group.Revision();
  group.SetCaption("Переменная 1");
  EXPECT_EQ(group.Revision(), r);
  group.SetVisible(false);
  EXPECT_GT(group.Revision(), r);
  EXPECT_FALSE(group.Visible());
  EXPECT_EQ(group.Caption(), "Переменная 1");
}

TEST(StatusBar, OneWithoutPanelsHoldsOneText) {
  StatusBar simple("StatusBar1", {});
  EXPECT_TRUE(simple.Simple());
  ASSERT_EQ(simple.PanelCount(), 1);
  EXPECT_EQ(simple.Width(0), 0);
  std::vector<std::string> seen;
  simple.OnText = [&](int panel, const std::string& text) {
    seen.push_back(std::to_string(panel) + ":" + text);
  };
  simple.SetText(0, "Error write port by delayed.");
  simple.SetText(1, "dropped");
  EXPECT_EQ(simple.Text(0), "Error write port by delayed.");
  EXPECT_EQ(simple.Text(1), "");
  EXPECT_EQ(seen, std::vector<std::string>{"0:Error write port by delayed."});

  StatusBar panels("StatusBar1", {200, 70});
  EXPECT_FALSE(panels.Simple());
  EXPECT_EQ(panels.PanelCount(), 2);
  EXPECT_EQ(panels.Width(1), 70);
  EXPECT_EQ(panels.Width(2), 0);
}

class KeyForm : public Form {
 public:
  KeyForm() : Form("TForm10") {
    edit = &Add<Edit>("Edit4");
    memo = &Add<Memo>("Memo1");
    plain = &Add<Button>("BitBtn2");
    ok = &Add<Button>("BitBtn1");
    ok->SetDefault(true);
    cancel = &Add<Button>("BitBtn3");
    cancel->SetCancel(true);
    for (Button* b : {plain, ok, cancel}) b->OnClick = [this, b] { clicked.push_back(b->Name()); };
  }
  Edit* edit;
  Memo* memo;
  Button* plain;
  Button* ok;
  Button* cancel;
  std::vector<std::string> clicked;
};

TEST(Form, DialogKeysGoToTheFocusedDefaultOrCancelButton) {
  KeyForm form;
  EXPECT_EQ(form.KeyTarget(form.edit, Key::Enter), form.ok);
  EXPECT_EQ(form.KeyTarget(nullptr, Key::Enter), form.ok);
  EXPECT_EQ(form.KeyTarget(form.plain, Key::Enter), form.plain);
  EXPECT_EQ(form.KeyTarget(form.cancel, Key::Enter), form.cancel);
  EXPECT_EQ(form.KeyTarget(form.memo, Key::Enter), nullptr);
  EXPECT_EQ(form.KeyTarget(form.edit, Key::Escape), form.cancel);
  EXPECT_EQ(form.KeyTarget(form.plain, Key::Escape), form.cancel);
  EXPECT_EQ(form.KeyTarget(form.memo, Key::Escape), form.cancel);

  EXPECT_TRUE(form.PressKey(form.edit, Key::Enter));
  EXPECT_TRUE(form.PressKey(form.plain, Key::Escape));
  EXPECT_FALSE(form.PressKey(form.memo, Key::Enter));
  EXPECT_EQ(form.clicked, (std::vector<std::string>{"BitBtn1", "BitBtn3"}));

  // A hidden or disabled key button takes nothing, and no other button stands in for it.
  form.ok->SetVisible(false);
  form.cancel->SetEnabled(false);
  EXPECT_FALSE(form.PressKey(form.edit, Key::Enter));
  EXPECT_FALSE(form.PressKey(form.edit, Key::Escape));
  form.plain->SetEnabled(false);
  EXPECT_FALSE(form.PressKey(form.plain, Key::Enter));
  EXPECT_EQ(form.clicked.size(), 2u);

  TwoControls none;
  EXPECT_FALSE(none.PressKey(none.Find("Label1"), Key::Enter));
  EXPECT_FALSE(none.PressKey(nullptr, Key::Escape));
}

}  // namespace
}  // namespace kd::view
