// Plain-data models of the controls a window shows. Every piece of protocol and page logic reads
// and writes these and nothing else; a skin (Qt, the harness) mirrors them and feeds their events.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace kd::view {

using Event = std::function<void()>;

// Each setter that changes what would be seen bumps the revision, so a skin copies only models
// whose revision moved since it last looked.
class Control {
 public:
  explicit Control(std::string name) : name_(std::move(name)) {}
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;
  virtual ~Control() = default;

  const std::string& Name() const { return name_; }
  std::uint64_t Revision() const { return revision_; }

  bool Visible() const { return visible_; }
  void SetVisible(bool v) { Assign(visible_, v); }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool e) { Assign(enabled_, e); }
  const std::string& Hint() const { return hint_; }
  void SetHint(std::string h) { Assign(hint_, std::move(h)); }
  // Place and size in pixels for the few controls whose geometry follows the program's state
  // (the fault page moves CurError by controller type); 0 leaves the size to the skin.
  int Left() const { return left_; }
  void SetLeft(int l) { Assign(left_, l); }
  int Width() const { return width_; }
  void SetWidth(int w) { Assign(width_, w); }
  int Height() const { return height_; }
  void SetHeight(int h) { Assign(height_, h); }
  // A value the controller sent and the link no longer confirms. `since` ("HH:MM:SS") is when
  // the first reply went missing; it stays as it was while the control remains stale.
  bool Stale() const { return stale_; }
  const std::string& StaleSince() const { return staleSince_; }
  void SetStale(bool stale, const std::string& since = {}) {
    if (stale == stale_) return;
    stale_ = stale;
    staleSince_ = stale ? since : std::string();
    Touch();
  }

 protected:
  void Touch() { ++revision_; }
  template <class T>
  void Assign(T& field, T value) {
    if (field == value) return;
    field = std::move(value);
    Touch();
  }

 private:
  std::string name_;
  std::uint64_t revision_ = 1;
  bool visible_ = true;
  bool enabled_ = true;
  std::string hint_;
  int left_ = 0;
  int width_ = 0;
  int height_ = 0;
  bool stale_ = false;
  std::string staleSince_;
};

class Label : public Control {
 public:
  using Control::Control;
  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string c) { Assign(caption_, std::move(c)); }
  // Empty and 0: the form's font.
  const std::string& FontName() const { return fontName_; }
  int FontSize() const { return fontSize_; }
  void SetFont(std::string name, int size) {
    Assign(fontName_, std::move(name));
    Assign(fontSize_, size);
  }

 private:
  std::string caption_;
  std::string fontName_;
  int fontSize_ = 0;
};

// Buttons and tool buttons. A two-state (check) button keeps `Down`.
class Button : public Label {
 public:
  using Label::Label;
  bool Checkable() const { return checkable_; }
  void SetCheckable(bool c) { Assign(checkable_, c); }
  bool Down() const { return down_; }
  void SetDown(bool d) { Assign(down_, d); }
  // Separators in a tool bar are laid out by the skin; the model only remembers where they stand.
  bool SeparatorAfter() const { return separatorAfter_; }
  void SetSeparatorAfter(bool s) { Assign(separatorAfter_, s); }
  // The button a dialog's Enter key presses when the focus is on no other button.
  bool Default() const { return default_; }
  void SetDefault(bool d) { Assign(default_, d); }
  // The button a dialog's Escape key presses, wherever the focus is.
  bool Cancel() const { return cancel_; }
  void SetCancel(bool c) { Assign(cancel_, c); }
  // The user's click: a two-state button flips before its handler runs, as a tool bar does.
  void Click();
  Event OnClick;

 private:
  bool default_ = false;
  bool cancel_ = false;
  bool checkable_ = false;
  bool down_ = false;
  bool separatorAfter_ = false;
};

// A container with a caption of its own. A panel shows its caption where no child covers it.
class Panel : public Control {
 public:
  using Control::Control;
  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string c) { Assign(caption_, std::move(c)); }
  Event OnDblClick;

 private:
  std::string caption_;
};

// A framed panel whose caption is the frame's title.
class GroupBox : public Panel {
 public:
  using Panel::Panel;
};

class CheckBox : public Label {
 public:
  using Label::Label;
  bool Checked() const { return checked_; }
  void SetChecked(bool c) { Assign(checked_, c); }
  // The user's click flips the box, then the handler runs.
  virtual void Click();
  Event OnClick;

 private:
  bool checked_ = false;
};

// A radio button checks itself on a click; its form unchecks the others of its group.
class RadioButton : public CheckBox {
 public:
  using CheckBox::CheckBox;
  void Click() override {
    if (!Enabled()) return;
    SetChecked(true);
    if (OnClick) OnClick();
  }
};

class MenuItem : public Label {
 public:
  MenuItem(std::string name, std::string caption, std::string shortcut = {}, int radioGroup = 0)
      : Label(std::move(name)), shortcut_(std::move(shortcut)), radioGroup_(radioGroup) {
    SetCaption(std::move(caption));
  }
  const std::string& Shortcut() const { return shortcut_; }
  // Items of one non-zero group show their check as a radio mark.
  int RadioGroup() const { return radioGroup_; }
  bool Checked() const { return checked_; }
  void SetChecked(bool c) { Assign(checked_, c); }
  // An on/off item shows its box unchecked too, so that it reads as a switch.
  bool Checkable() const { return checkable_; }
  void SetCheckable(bool c) { Assign(checkable_, c); }
  bool IsSeparator() const { return Caption() == "-"; }
  std::vector<MenuItem*>& Items() { return items_; }
  const std::vector<MenuItem*>& Items() const { return items_; }
  void Click() {
    if (Enabled() && OnClick) OnClick();
  }
  Event OnClick;

 private:
  std::string shortcut_;
  int radioGroup_;
  bool checked_ = false;
  bool checkable_ = false;
  std::vector<MenuItem*> items_;
};

class Edit : public Control {
 public:
  using Control::Control;
  const std::string& Text() const { return text_; }
  void SetText(std::string t) { Assign(text_, std::move(t)); }
  // An input mask in the toolkit's notation ("!99999;1;_") and the most characters the user may
  // type; empty and 0 for a free edit. The skin restricts typing; the form still checks the text.
  const std::string& EditMask() const { return editMask_; }
  void SetEditMask(std::string m) { Assign(editMask_, std::move(m)); }
  int MaxLength() const { return maxLength_; }
  void SetMaxLength(int n) { Assign(maxLength_, n); }
  // Called after the user (not the program) changed the text.
  Event OnChange;

 private:
  std::string text_;
  std::string editMask_;
  int maxLength_ = 0;
};

class ListBox : public Control {
 public:
  using Control::Control;
  const std::vector<std::string>& Items() const { return items_; }
  void SetItems(std::vector<std::string> items);
  void Clear() { SetItems({}); }
  void Add(std::string item);
  int Count() const { return static_cast<int>(items_.size()); }
  int Selected() const { return selected_; }
  void Select(int index);
  Event OnClick;
  Event OnDblClick;

 private:
  std::vector<std::string> items_;
  int selected_ = -1;
};

// Multi-line text box.
class Memo : public ListBox {
 public:
  using ListBox::ListBox;
};

class ComboBox : public ListBox {
 public:
  using ListBox::ListBox;
  Event OnChange;
};

class CheckListBox : public ListBox {
 public:
  using ListBox::ListBox;
  void SetItems(std::vector<std::string> items);
  void Add(std::string item);
  bool IsChecked(int index) const;
  void SetChecked(int index, bool checked);
  // Raised after the user toggled an entry's box; the index is the toggled entry.
  std::function<void(int)> OnClickCheck;

 private:
  std::vector<bool> checked_;
};

class Grid : public Control {
 public:
  using Control::Control;
  int RowCount() const { return rows_; }
  int ColCount() const { return cols_; }
  void SetSize(int cols, int rows);
  // Cells outside the grid read as empty and ignore writes, like any other untrusted index.
  const std::string& Cell(int col, int row) const;
  void SetCell(int col, int row, std::string text);
  int FixedRows() const { return fixedRows_; }
  void SetFixedRows(int n) { Assign(fixedRows_, n); }
  int Col() const { return col_; }
  int Row() const { return row_; }
  void SelectCell(int col, int row);
  // The user's click on a cell, or Space or Enter on the current one: the cell becomes current,
  // then OnClickCell runs. Moving the current cell with the keyboard is SelectCell alone.
  void ClickCell(int col, int row);
  std::vector<int>& ColWidths() { return colWidths_; }
  const std::string& FontName() const { return fontName_; }
  int FontSize() const { return fontSize_; }
  void SetFont(std::string name, int size);
  std::function<void(int col, int row)> OnSelectCell;
  std::function<void(int col, int row)> OnClickCell;
  Event OnDblClick;

 private:
  int rows_ = 0;
  int cols_ = 0;
  int fixedRows_ = 1;
  int col_ = 0;
  int row_ = 0;
  std::vector<std::string> cells_;
  std::vector<int> colWidths_;
  std::string fontName_;
  int fontSize_ = 0;
};

// A status bar without panel widths is a simple one: a single text across the bar, kept as
// panel 0 so that every reader and writer sees one shape.
class StatusBar : public Control {
 public:
  explicit StatusBar(std::string name, std::vector<int> widths)
      : Control(std::move(name)),
        widths_(std::move(widths)),
        texts_(std::max<std::size_t>(widths_.size(), 1)) {}
  bool Simple() const { return widths_.empty(); }
  int PanelCount() const { return static_cast<int>(texts_.size()); }
  int Width(int panel) const;
  const std::string& Text(int panel) const;
  void SetText(int panel, std::string text);
  // Sees every text as it is set, also those a later text replaces within the same tick.
  std::function<void(int panel, const std::string& text)> OnText;

 private:
  std::vector<int> widths_;
  std::vector<std::string> texts_;
};

struct Page {
  std::string name;
  std::string caption;
};

class PageControl : public Control {
 public:
  PageControl(std::string name, std::vector<Page> pages)
      : Control(std::move(name)), pages_(std::move(pages)) {}
  const std::vector<Page>& Pages() const { return pages_; }
  int ActiveIndex() const { return active_; }
  const std::string& ActiveName() const { return pages_.at(active_).name; }
  int IndexOf(const std::string& pageName) const;
  // The program switching pages (a menu item); it raises no event.
  void SetActive(int index);
  // The user clicking a tab: a page other than the active one becomes active, then OnChange runs.
  void ClickTab(int index);
  Event OnChange;

 private:
  std::vector<Page> pages_;
  int active_ = 0;
};

class Timer : public Control {
 public:
  Timer(std::string name, int intervalMs) : Control(std::move(name)), interval_(intervalMs) {}
  int Interval() const { return interval_; }
  void SetInterval(int ms) { Assign(interval_, ms); }
  Event OnTimer;
  // The timer's owner fires it; a disabled timer does nothing.
  void Fire() {
    if (Enabled() && OnTimer) OnTimer();
  }

 private:
  int interval_;
};

struct ChartPoint {
  double x = 0;
  double y = 0;
  std::string label;
};

struct ChartSeries {
  std::string title;
  std::vector<ChartPoint> points;
  // A value scale of the series' own, for series of different units in one chart; equal bounds
  // (the default) put the series on the chart's shared axes.
  double scaleMin = 0;
  double scaleMax = 0;
  bool OwnScale() const { return scaleMax > scaleMin; }
};

// Line chart with fixed axes; the skin redraws it without animation.
class Chart : public Control {
 public:
  // Enough for a live series' window and its first point: skins reserve this much once.
  static constexpr std::size_t kPointsReserve = 128;
  using Control::Control;
  const std::vector<ChartSeries>& Series() const { return series_; }
  void SetSeries(std::vector<ChartSeries> s) {
    series_ = std::move(s);
    Touch();
    ++layoutRevision_;
  }
  // Moves when series come or go (not when points change): a skin rebuilds its series then, and
  // otherwise only refills the points of the ones it has.
  std::uint64_t LayoutRevision() const { return layoutRevision_; }
  // Index of the new series, holding `first` points.
  std::size_t AddSeries(std::string title, std::vector<ChartPoint> first = {});
  void RemoveSeries(std::size_t index);
  // A live series: at most `window` points are appended, then each new y enters at the end and
  // every y moves one point to the left, the x values staying as they are. Out-of-range series
  // are ignored.
  void AddOrScroll(std::size_t series, double y, std::size_t window);
  void ResetSeries(std::size_t series, std::vector<ChartPoint> first);
  const std::string& Title() const { return title_; }
  void SetTitle(std::string t) { Assign(title_, std::move(t)); }
  // Grid steps of the axes and whether their numbers are shown.
  double XStep() const { return xStep_; }
  double YStep() const { return yStep_; }
  bool AxisLabels() const { return axisLabels_; }
  void SetGrid(double xStep, double yStep, bool axisLabels) {
    Assign(xStep_, xStep);
    Assign(yStep_, yStep);
    Assign(axisLabels_, axisLabels);
  }
  double XMin() const { return xMin_; }
  double XMax() const { return xMax_; }
  double YMin() const { return yMin_; }
  double YMax() const { return yMax_; }
  void SetAxes(double xMin, double xMax, double yMin, double yMax);
  // A vertical line across the plot at x, such as a player's position; none at first.
  bool HasCursor() const { return hasCursor_; }
  double CursorX() const { return cursorX_; }
  void SetCursor(double x) {
    Assign(hasCursor_, true);
    Assign(cursorX_, x);
  }

 private:
  bool hasCursor_ = false;
  double cursorX_ = 0;
  std::vector<ChartSeries> series_;
  double xMin_ = 0, xMax_ = 1, yMin_ = 0, yMax_ = 1;
  std::uint64_t layoutRevision_ = 1;
  std::string title_;
  double xStep_ = 0, yStep_ = 0;
  bool axisLabels_ = true;
};

}  // namespace kd::view
