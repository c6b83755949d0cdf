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

}  // namespace
}  // namespace kd::view
