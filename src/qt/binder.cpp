#include "qt/binder.h"

#include <QAbstractButton>
#include <QAction>
#include <QActionGroup>
#include <QButtonGroup>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineEdit>
#include <QLineSeries>
#include <QListWidget>
#include <QMessageBox>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QToolBar>
#include <QValueAxis>
#include <algorithm>
#include <optional>
#include <set>

namespace kd::qt {

namespace binding {

// Which pairing of a model and a widget a binding is.
enum class Kind {
  Label,
  ButtonWidget,
  ButtonAction,
  CheckBoxWidget,
  CheckBoxAction,
  MenuAction,
  Edit,
  List,
  CheckList,
  MemoText,
  Combo,
  Grid,
  Status,
  Pages,
  Chart,
  GroupBox,
  Panel,
};

}  // namespace binding

using binding::Kind;

struct Binder::Binding {
  view::Control* control = nullptr;
  QPointer<QObject> object;
  Kind kind = Kind::Label;
  std::uint64_t seen = 0;  // revisions start at 1, so 0 forces a copy
  std::vector<QPointer<QLabel>> panels;
  int rowAtPress = -2;
};

struct Binder::TimerBinding {
  view::Timer* model;
  QTimer* timer;
};

namespace {

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

template <class W>
W* As(QObject* o) {
  return qobject_cast<W*>(o);
}

// The pairing a model and a widget form, if the binder knows it. Derived models first: a
// CheckListBox is a ListBox, a Button is a Label.
std::optional<Kind> KindOf(view::Control& c, QObject* o) {
  const auto when = [](bool fits, Kind k) { return fits ? std::optional<Kind>(k) : std::nullopt; };
  const bool button = As<QAbstractButton>(o) != nullptr;
  const bool action = As<QAction>(o) != nullptr;
  if (dynamic_cast<view::CheckListBox*>(&c)) return when(As<QListWidget>(o), Kind::CheckList);
  if (dynamic_cast<view::ComboBox*>(&c)) return when(As<QComboBox>(o), Kind::Combo);
  if (dynamic_cast<view::Memo*>(&c)) {
    if (As<QPlainTextEdit>(o)) return Kind::MemoText;
    return when(As<QListWidget>(o), Kind::List);
  }
  if (dynamic_cast<view::ListBox*>(&c)) return when(As<QListWidget>(o), Kind::List);
  if (dynamic_cast<view::Button*>(&c)) {
    if (button) return Kind::ButtonWidget;
    return when(action, Kind::ButtonAction);
  }
  if (dynamic_cast<view::CheckBox*>(&c)) {
    if (button) return Kind::CheckBoxWidget;
    return when(action, Kind::CheckBoxAction);
  }
  if (dynamic_cast<view::MenuItem*>(&c)) return when(action, Kind::MenuAction);
  if (dynamic_cast<view::Label*>(&c)) return when(As<QLabel>(o), Kind::Label);
  if (dynamic_cast<view::Edit*>(&c)) return when(As<QLineEdit>(o), Kind::Edit);
  if (dynamic_cast<view::Grid*>(&c)) return when(As<QTableWidget>(o), Kind::Grid);
  if (dynamic_cast<view::StatusBar*>(&c)) return when(As<QStatusBar>(o), Kind::Status);
  if (dynamic_cast<view::PageControl*>(&c)) return when(As<QTabWidget>(o), Kind::Pages);
  if (dynamic_cast<view::Chart*>(&c)) return when(As<QChartView>(o), Kind::Chart);
  if (dynamic_cast<view::GroupBox*>(&c)) return when(As<QGroupBox>(o), Kind::GroupBox);
  if (dynamic_cast<view::Panel*>(&c)) return when(As<QFrame>(o), Kind::Panel);
  return std::nullopt;
}

// A widget placed in a tool bar is shown and hidden through the tool bar's action for it.
void SetShown(QWidget* w, bool visible) {
  if (auto* bar = As<QToolBar>(w->parentWidget())) {
    for (QAction* a : bar->actions())
      if (bar->widgetForAction(a) == w) {
        a->setVisible(visible);
        return;
      }
  }
  if (w->isHidden() == visible) w->setVisible(visible);
}

// "нет связи с 14:03:27": since when a stale value has not been confirmed, with the control's
// own hint under it.
QString StaleTip(const view::Control& c) {
  if (!c.Stale()) return Q(c.Hint());
  QString tip = QStringLiteral("нет связи с ") + Q(c.StaleSince());
  if (!c.Hint().empty()) tip += QLatin1Char('\n') + Q(c.Hint());
  return tip;
}

// A stale value is drawn in the colour of disabled text, while the control stays usable
// (scrolling, selecting, its tooltip). The palette it had is kept to return to.
void ShowStale(const view::Control& c, QWidget* w) {
  const char* kStaleProperty = "kdStale";
  const char* kPaletteProperty = "kdPalette";
  if (w->property(kStaleProperty).toBool() == c.Stale()) return;
  w->setProperty(kStaleProperty, c.Stale());
  if (!c.Stale()) {
    w->setPalette(w->property(kPaletteProperty).value<QPalette>());
    return;
  }
  w->setProperty(kPaletteProperty, QVariant::fromValue(w->palette()));
  QPalette p = w->palette();
  for (const auto role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText}) {
    const QColor grey = p.color(QPalette::Disabled, role);
    p.setColor(QPalette::Active, role, grey);
    p.setColor(QPalette::Inactive, role, grey);
  }
  w->setPalette(p);
}

void CopyCommon(const view::Control& c, QObject* o) {
  if (auto* a = As<QAction>(o)) {
    a->setVisible(c.Visible());
    a->setEnabled(c.Enabled());
    a->setToolTip(Q(c.Hint()));
  } else if (auto* w = As<QWidget>(o)) {
    SetShown(w, c.Visible());
    w->setEnabled(c.Enabled());
    w->setToolTip(StaleTip(c));
    ShowStale(c, w);
  }
}

bool KeepsSkinText(const QObject* o) {
  return o->property(kSkinTextProperty).toBool();
}

QStringList Texts(const std::vector<std::string>& items) {
  QStringList out;
  out.reserve(static_cast<qsizetype>(items.size()));
  for (const auto& s : items) out << Q(s);
  return out;
}

// Rebuilds the rows only when their texts differ, so scrolling and the current row survive the
// copies that happen after every tick.
void CopyRows(QListWidget* w, const std::vector<std::string>& items) {
  const QStringList want = Texts(items);
  bool same = w->count() == want.size();
  for (int i = 0; same && i < w->count(); ++i) same = w->item(i)->text() == want[i];
  if (same) return;
  w->clear();
  w->addItems(want);
}

void CopySelection(QListWidget* w, int selected) {
  if (w->currentRow() != selected) w->setCurrentRow(selected);
}

void CopyList(const view::ListBox& m, QListWidget* w) {
  CopyRows(w, m.Items());
  CopySelection(w, m.Selected());
}

void CopyCheckList(const view::CheckListBox& m, QListWidget* w) {
  CopyRows(w, m.Items());
  for (int i = 0; i < w->count(); ++i) {
    QListWidgetItem* item = w->item(i);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    const Qt::CheckState state = m.IsChecked(i) ? Qt::Checked : Qt::Unchecked;
    // A row without any check state shows no box at all, even an unchecked one.
    if (!item->data(Qt::CheckStateRole).isValid() || item->checkState() != state)
      item->setCheckState(state);
  }
  CopySelection(w, m.Selected());
}

void CopyMemo(const view::Memo& m, QPlainTextEdit* w) {
  const QString text = Texts(m.Items()).join(QLatin1Char('\n'));
  if (w->toPlainText() != text) w->setPlainText(text);
}

void CopyCombo(const view::ComboBox& m, QComboBox* w) {
  const QStringList want = Texts(m.Items());
  bool same = w->count() == want.size();
  for (int i = 0; same && i < w->count(); ++i) same = w->itemText(i) == want[i];
  if (!same) {
    w->clear();
    w->addItems(want);
  }
  if (w->currentIndex() != m.Selected()) w->setCurrentIndex(m.Selected());
}

void CopyButton(const view::Button& m, QAbstractButton* w) {
  if (!KeepsSkinText(w)) w->setText(Q(m.Caption()));
  // A focused push button of a dialog is default while it has the focus, as Enter on it presses
  // it; only the model's own choice is taken back.
  if (auto* push = As<QPushButton>(w)) {
    if (m.Default() && !push->isDefault()) push->setDefault(true);
    if (!m.Default() && push->isDefault() && !push->hasFocus()) push->setDefault(false);
  }
  // A plain button the program holds down still shows pressed, as a tool bar shows it.
  const bool checkable = m.Checkable() || m.Down();
  if (checkable) w->setCheckable(true);
  w->setChecked(m.Down());
  if (!checkable) w->setCheckable(false);
}

void CopyButtonAction(const view::Button& m, QAction* a) {
  if (!KeepsSkinText(a)) a->setText(Q(m.Caption()));
  const bool checkable = m.Checkable() || m.Down();
  if (checkable) a->setCheckable(true);
  a->setChecked(m.Down());
  if (!checkable) a->setCheckable(false);
}

void CopyMenuItem(const view::MenuItem& m, QAction* a) {
  if (!m.IsSeparator() && !KeepsSkinText(a)) a->setText(Q(m.Caption()));
  if (m.Checkable() || m.RadioGroup() != 0 || m.Checked()) a->setCheckable(true);
  if (a->isCheckable()) a->setChecked(m.Checked());
}

void CopyGrid(view::Grid& m, QTableWidget* w) {
  if (w->columnCount() != m.ColCount()) w->setColumnCount(m.ColCount());
  if (w->rowCount() != m.RowCount()) w->setRowCount(m.RowCount());
  const QPalette palette = w->palette();
  for (int r = 0; r < m.RowCount(); ++r) {
    const bool fixed = r < m.FixedRows();
    for (int c = 0; c < m.ColCount(); ++c) {
      QTableWidgetItem* item = w->item(r, c);
      if (!item) {
        item = new QTableWidgetItem;
        w->setItem(r, c, item);
      }
      const QString text = Q(m.Cell(c, r));
      if (item->text() != text) item->setText(text);
      // The view asks the cell for its tooltip, not the table: a stale cell says since when.
      if (!fixed) {
        const QVariant tip = m.Stale() ? QVariant(StaleTip(m)) : QVariant();
        if (item->data(Qt::ToolTipRole) != tip) item->setData(Qt::ToolTipRole, tip);
      }
      // Fixed rows are headings: they cannot be selected, and look like a header.
      const Qt::ItemFlags flags =
          fixed ? Qt::NoItemFlags : (Qt::ItemIsEnabled | Qt::ItemIsSelectable);
      if (item->flags() != flags) {
        item->setFlags(flags);
        if (fixed) {
          item->setBackground(palette.button());
          item->setForeground(palette.buttonText());
        } else {
          item->setData(Qt::BackgroundRole, {});
          item->setData(Qt::ForegroundRole, {});
        }
      }
    }
  }
  const auto& widths = m.ColWidths();
  for (int c = 0; c < m.ColCount() && c < static_cast<int>(widths.size()); ++c)
    if (w->columnWidth(c) != widths[c]) w->setColumnWidth(c, widths[c]);
  if (!m.FontName().empty()) {
    QFont font(Q(m.FontName()));
    if (m.FontSize() > 0) font.setPointSize(m.FontSize());
    if (w->font() != font) w->setFont(font);
  }
  if (m.Row() >= m.FixedRows() && m.Row() < m.RowCount() && m.Col() < m.ColCount()) {
    if (w->currentRow() != m.Row() || w->currentColumn() != m.Col())
      w->setCurrentCell(m.Row(), m.Col());
  }
}

// The tab of model page `index`: the tab whose page carries the page's name, else by position.
int TabOf(const view::PageControl& m, const QTabWidget* w, int index) {
  if (index < 0 || index >= static_cast<int>(m.Pages().size())) return -1;
  const QString name = Q(m.Pages()[index].name);
  for (int t = 0; t < w->count(); ++t)
    if (w->widget(t)->objectName() == name) return t;
  return index < w->count() ? index : -1;
}

int PageOf(const view::PageControl& m, const QTabWidget* w, int tab) {
  if (tab < 0 || tab >= w->count()) return -1;
  const int byName = m.IndexOf(w->widget(tab)->objectName().toStdString());
  return byName >= 0 ? byName : tab;
}

void CopyPages(const view::PageControl& m, QTabWidget* w) {
  for (int i = 0; i < static_cast<int>(m.Pages().size()); ++i) {
    const int t = TabOf(m, w, i);
    if (t >= 0 && w->tabText(t) != Q(m.Pages()[i].caption))
      w->setTabText(t, Q(m.Pages()[i].caption));
  }
  const int active = TabOf(m, w, m.ActiveIndex());
  if (active >= 0 && w->currentIndex() != active) w->setCurrentIndex(active);
}

// Rebuilt only when series come or go or the axes change; otherwise each series gets its points
// replaced in one call from a buffer the view keeps, so a refresh allocates nothing per point.
void CopyChart(const view::Chart& m, QChartView* v) {
  QChart* chart = v->chart();
  chart->setAnimationOptions(QChart::NoAnimation);
  const auto layout = static_cast<qulonglong>(m.LayoutRevision());
  const qsizetype wanted = static_cast<qsizetype>(m.Series().size()) + (m.HasCursor() ? 1 : 0);
  const bool rebuild =
      v->property("kdChartLayout").toULongLong() != layout || chart->series().size() != wanted;
  bool labelled = false;
  for (const auto& s : m.Series())
    for (const auto& p : s.points) labelled = labelled || (!p.label.empty() && p.label != " ");
  if (rebuild && m.HasCursor()) {
    // Axes taken out of a chart that had several of them leave their labels drawn behind; a
    // chart with a cursor (the viewer's, rebuilt on every tick of a box) starts afresh instead.
    QChart* old = v->chart();
    v->setChart(new QChart);
    delete old;
    chart = v->chart();
    chart->setAnimationOptions(QChart::NoAnimation);
  }
  if (rebuild || labelled) {
    v->setProperty("kdChartLayout", layout);
    chart->removeAllSeries();
    for (QAbstractAxis* axis : chart->axes()) {
      chart->removeAxis(axis);
      delete axis;
    }
    chart->setTitle(Q(m.Title()));
    QAbstractAxis* x = nullptr;
    if (labelled) {
      // Point labels name x positions, as the chart shows them under the axis.
      auto* axis = new QCategoryAxis;
      axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
      axis->setStartValue(m.XMin());
      std::set<std::string> used;
      for (const auto& s : m.Series())
        for (const auto& p : s.points)
          if (!p.label.empty() && p.label != " " && used.insert(p.label).second)
            axis->append(Q(p.label), p.x);
      x = axis;
    } else {
      auto* axis = new QValueAxis;
      if (m.XStep() > 0)
        axis->setTickCount(static_cast<int>((m.XMax() - m.XMin()) / m.XStep()) + 1);
      axis->setLabelsVisible(m.AxisLabels());
      x = axis;
    }
    x->setRange(m.XMin(), m.XMax());
    chart->addAxis(x, Qt::AlignBottom);
    // The shared value axis only where a series uses it: series on scales of their own bring
    // theirs, one to the left, the next to the right.
    bool sharedUsed = m.Series().empty();
    for (const auto& s : m.Series()) sharedUsed = sharedUsed || !s.OwnScale();
    QValueAxis* y = nullptr;
    if (sharedUsed) {
      y = new QValueAxis;
      y->setRange(m.YMin(), m.YMax());
      if (m.YStep() > 0) y->setTickCount(static_cast<int>((m.YMax() - m.YMin()) / m.YStep()) + 1);
      y->setLabelsVisible(m.AxisLabels());
      chart->addAxis(y, Qt::AlignLeft);
    }
    QValueAxis* cursorScale = y;
    int own = 0;
    for (const auto& s : m.Series()) {
      auto* line = new QLineSeries;
      line->setName(Q(s.title));
      chart->addSeries(line);
      // The theme gives the series its colour as it is added; only the width is the chart's.
      QPen pen = line->pen();
      pen.setWidth(2);
      line->setPen(pen);
      line->attachAxis(x);
      if (s.OwnScale()) {
        auto* scale = new QValueAxis;
        scale->setRange(s.scaleMin, s.scaleMax);
        scale->setLabelsColor(pen.color());
        scale->setLinePenColor(pen.color());
        scale->setGridLineVisible(false);
        chart->addAxis(scale, own++ % 2 == 0 ? Qt::AlignLeft : Qt::AlignRight);
        line->attachAxis(scale);
        if (!cursorScale) cursorScale = scale;
      } else {
        line->attachAxis(y);
      }
    }
    if (m.HasCursor() && cursorScale) {
      auto* cursor = new QLineSeries;
      chart->addSeries(cursor);
      QPen pen(Qt::red);
      pen.setWidth(1);
      cursor->setPen(pen);
      cursor->attachAxis(x);
      cursor->attachAxis(cursorScale);
      cursor->setProperty("kdLow", cursorScale->min());
      cursor->setProperty("kdHigh", cursorScale->max());
      for (QLegendMarker* marker : chart->legend()->markers(cursor)) marker->setVisible(false);
    }
  }
  static QList<QPointF> points;
  const auto series = chart->series();
  for (qsizetype i = 0; i < series.size() && i < static_cast<qsizetype>(m.Series().size()); ++i) {
    points.resize(0);
    points.reserve(static_cast<qsizetype>(view::Chart::kPointsReserve));
    for (const auto& p : m.Series()[static_cast<std::size_t>(i)].points) points.append({p.x, p.y});
    static_cast<QLineSeries*>(series[i])->replace(points);
  }
  if (m.HasCursor() && series.size() == wanted) {
    QAbstractSeries* cursor = series.back();
    const double low = cursor->property("kdLow").toDouble();
    const double high = cursor->property("kdHigh").toDouble();
    static_cast<QLineSeries*>(cursor)->replace(
        QList<QPointF>{{m.CursorX(), low}, {m.CursorX(), high}});
  }
}

}  // namespace

std::string StatusPanelName(const std::string& statusBarName, int index) {
  return statusBarName + ".Panel" + std::to_string(index);
}

namespace {

// Every binder alive, oldest first: a link event belongs to no widget, and every window may show
// what it changed.
std::vector<Binder*>& LiveBinders() {
  static std::vector<Binder*> binders;
  return binders;
}

}  // namespace

Binder::Binder(view::Form& form, QWidget* root) : QObject(root), form_(form), root_(root) {
  LiveBinders().push_back(this);
  errorSink_ = [this](const std::string& message) {
    QMessageBox::critical(root_ ? root_->window() : nullptr,
                          QGuiApplication::applicationDisplayName(), Q(message));
  };
  // Pairs first, binding after: binding a status bar makes Qt rebuild (delete) its layouts.
  std::vector<std::pair<view::Control*, QObject*>> pairs;
  const QList<QObject*> objects = root ? root->findChildren<QObject*>() : QList<QObject*>();
  for (QObject* o : objects) {
    if (o->objectName().isEmpty()) continue;
    view::Control* c = form.Find(o->objectName().toStdString());
    if (!c) continue;
    if (KindOf(*c, o))
      pairs.emplace_back(c, o);
    else if (!dynamic_cast<view::Timer*>(c))
      qWarning("klinediag: %s cannot show control %s", o->metaObject()->className(),
               c->Name().c_str());
  }
  for (auto [c, o] : pairs) Bind(*c, o);
  // Escape goes to the form's cancel button wherever the focus is; a form without one leaves
  // the key to the window (a dialog closes as by its close box).
  if (root) {
    escape_ = new QShortcut(QKeySequence(Qt::Key_Escape), root);
    escape_->setContext(Qt::WindowShortcut);
    connect(escape_, &QShortcut::activated, this,
            [this] { Guard([this] { form_.PressKey(nullptr, view::Key::Escape); }); });
  }
  for (view::Control* c : form.Controls()) {
    auto* model = dynamic_cast<view::Timer*>(c);
    if (!model) continue;
    auto* timer = new QTimer(this);
    timer->setObjectName(Q(model->Name()));
    timers_.push_back(std::make_unique<TimerBinding>(TimerBinding{model, timer}));
    TimerBinding* t = timers_.back().get();
    connect(timer, &QTimer::timeout, this, [this, t] { Fire(*t); });
  }
  Refresh();
}

Binder::~Binder() {
  auto& all = LiveBinders();
  all.erase(std::remove(all.begin(), all.end(), this), all.end());
}

bool Binder::RunLinkEvent(const std::function<void()>& event) {
  auto& all = LiveBinders();
  if (all.empty()) {
    event();
    return true;
  }
  const bool ran = all.back()->Run(event);
  // A binder may go while another refreshes (a window closed by what was copied): walk a copy.
  std::vector<Binder*> binders = all;
  for (Binder* b : binders)
    if (std::find(all.begin(), all.end(), b) != all.end()) b->Refresh();
  return ran;
}

void Binder::Bind(view::Control& control, QObject* object) {
  const Kind kind = *KindOf(control, object);
  auto owned = std::make_unique<Binding>();
  owned->control = &control;
  owned->object = object;
  owned->kind = kind;
  bindings_.push_back(std::move(owned));
  Binding& b = *bindings_.back();
  if (kind == Kind::Label) As<QLabel>(object)->setTextFormat(Qt::PlainText);
  if (kind == Kind::Status) {
    auto* bar = As<QStatusBar>(object);
    auto& model = static_cast<view::StatusBar&>(control);
    for (int i = 0; i < model.PanelCount(); ++i) {
      auto* panel = new QLabel(bar);
      panel->setObjectName(Q(StatusPanelName(model.Name(), i)));
      panel->setTextFormat(Qt::PlainText);
      panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
      // The model's widths are minimums: a longer text widens its panel instead of being cut,
      // and the last panel takes the rest of the line.
      panel->setMinimumWidth(model.Width(i));
      const bool last = i + 1 == model.PanelCount();
      bar->addWidget(panel, last ? 1 : 0);
      b.panels.emplace_back(panel);
    }
  }
  if (kind == Kind::Grid) {
    auto* t = As<QTableWidget>(object);
    t->horizontalHeader()->hide();
    t->verticalHeader()->hide();
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionMode(QAbstractItemView::SingleSelection);
  }
  if (kind == Kind::MenuAction) {
    const auto& item = static_cast<view::MenuItem&>(control);
    if (!item.Shortcut().empty())
      As<QAction>(object)->setShortcut(QKeySequence::fromString(Q(item.Shortcut())));
  }
  Connect(b);
}

void Binder::Connect(Binding& b) {
  QObject* o = b.object;
  view::Control& c = *b.control;
  auto forward = [this, &c](std::function<void()> event) { Forward(c, event); };
  switch (b.kind) {
    case Kind::Label:
    case Kind::MemoText:
    case Kind::Status:
    case Kind::Chart:
    case Kind::GroupBox:
      break;
    case Kind::Panel:
      panels_[o] = &static_cast<view::Panel&>(c);
      o->installEventFilter(this);
      break;
    case Kind::ButtonWidget: {
      auto& m = static_cast<view::Button&>(c);
      connect(As<QAbstractButton>(o), &QAbstractButton::clicked, this,
              [forward, &m] { forward([&m] { m.Click(); }); });
      break;
    }
    case Kind::ButtonAction: {
      auto& m = static_cast<view::Button&>(c);
      connect(As<QAction>(o), &QAction::triggered, this,
              [forward, &m] { forward([&m] { m.Click(); }); });
      break;
    }
    case Kind::CheckBoxWidget: {
      auto& m = static_cast<view::CheckBox&>(c);
      connect(As<QAbstractButton>(o), &QAbstractButton::clicked, this,
              [forward, &m] { forward([&m] { m.Click(); }); });
      break;
    }
    case Kind::CheckBoxAction: {
      auto& m = static_cast<view::CheckBox&>(c);
      connect(As<QAction>(o), &QAction::triggered, this,
              [forward, &m] { forward([&m] { m.Click(); }); });
      break;
    }
    case Kind::MenuAction: {
      auto& m = static_cast<view::MenuItem&>(c);
      connect(As<QAction>(o), &QAction::triggered, this,
              [forward, &m] { forward([&m] { m.Click(); }); });
      break;
    }
    case Kind::Edit: {
      auto& m = static_cast<view::Edit&>(c);
      // textEdited, not textChanged: the model's OnChange is for the user's typing only.
      connect(As<QLineEdit>(o), &QLineEdit::textEdited, this, [forward, &m](const QString& text) {
        forward([&m, t = text.toStdString()] {
          m.SetText(t);
          if (m.OnChange) m.OnChange();
        });
      });
      break;
    }
    case Kind::List:
    case Kind::CheckList: {
      auto& m = static_cast<view::ListBox&>(c);
      auto* w = As<QListWidget>(o);
      connect(w, &QListWidget::currentRowChanged, this, [forward, &m](int row) {
        forward([&m, row] {
          m.Select(row);
          if (m.OnClick) m.OnClick();
        });
      });
      // A click on the row that is already selected changes nothing in Qt, yet it is a click.
      listViewports_[w->viewport()] = &b;
      w->viewport()->installEventFilter(this);
      connect(w, &QListWidget::itemClicked, this, [forward, &m, &b, w](QListWidgetItem* item) {
        const int row = w->row(item);
        if (row != b.rowAtPress || row != m.Selected()) return;
        forward([&m] {
          if (m.OnClick) m.OnClick();
        });
      });
      connect(w, &QListWidget::itemDoubleClicked, this, [forward, &m] {
        forward([&m] {
          if (m.OnDblClick) m.OnDblClick();
        });
      });
      if (b.kind == Kind::CheckList) {
        auto& checks = static_cast<view::CheckListBox&>(c);
        connect(w, &QListWidget::itemChanged, this,
                [this, forward, &checks, w](QListWidgetItem* item) {
                  if (syncing_) return;
                  const int row = w->row(item);
                  const bool checked = item->checkState() == Qt::Checked;
                  if (checked == checks.IsChecked(row)) return;
                  forward([&checks, row, checked] {
                    checks.SetChecked(row, checked);
                    if (checks.OnClickCheck) checks.OnClickCheck(row);
                  });
                });
      }
      break;
    }
    case Kind::Combo: {
      auto& m = static_cast<view::ComboBox&>(c);
      connect(As<QComboBox>(o), &QComboBox::activated, this, [forward, &m](int index) {
        forward([&m, index] {
          m.Select(index);
          if (m.OnChange) m.OnChange();
        });
      });
      break;
    }
    case Kind::Grid: {
      auto& m = static_cast<view::Grid&>(c);
      auto* w = As<QTableWidget>(o);
      connect(w, &QTableWidget::currentCellChanged, this,
              [forward, &m](int row, int col, int, int) {
                if (row < 0 || col < 0) return;
                forward([&m, row, col] { m.SelectCell(col, row); });
              });
      connect(w, &QTableWidget::cellClicked, this, [forward, &m](int row, int col) {
        // A heading is no cell to click, as it is none to select.
        if (row < m.FixedRows()) return;
        forward([&m, row, col] { m.ClickCell(col, row); });
      });
      grids_[w] = &m;
      w->installEventFilter(this);
      connect(w, &QTableWidget::cellDoubleClicked, this, [forward, &m] {
        forward([&m] {
          if (m.OnDblClick) m.OnDblClick();
        });
      });
      break;
    }
    case Kind::Pages: {
      auto& m = static_cast<view::PageControl&>(c);
      auto* w = As<QTabWidget>(o);
      connect(w, &QTabWidget::currentChanged, this, [forward, &m, w](int tab) {
        const int page = PageOf(m, w, tab);
        if (page < 0) return;
        forward([&m, page] { m.ClickTab(page); });
      });
      break;
    }
  }
}

void Binder::Copy(Binding& b) {
  QObject* o = b.object;
  view::Control& c = *b.control;
  CopyCommon(c, o);
  switch (b.kind) {
    case Kind::Label: {
      auto& label = static_cast<view::Label&>(c);
      auto* w = As<QLabel>(o);
      w->setText(Q(label.Caption()));
      if (label.FontSize() > 0 || !label.FontName().empty()) {
        QFont font = w->font();
        if (!label.FontName().empty()) font.setFamily(Q(label.FontName()));
        if (label.FontSize() > 0) font.setPointSize(label.FontSize());
        w->setFont(font);
      }
      break;
    }
    case Kind::ButtonWidget:
      CopyButton(static_cast<view::Button&>(c), As<QAbstractButton>(o));
      break;
    case Kind::ButtonAction:
      CopyButtonAction(static_cast<view::Button&>(c), As<QAction>(o));
      break;
    case Kind::CheckBoxWidget: {
      const auto& m = static_cast<view::CheckBox&>(c);
      auto* w = As<QAbstractButton>(o);
      if (!KeepsSkinText(w)) w->setText(Q(m.Caption()));
      w->setCheckable(true);
      w->setChecked(m.Checked());
      break;
    }
    case Kind::CheckBoxAction: {
      const auto& m = static_cast<view::CheckBox&>(c);
      auto* a = As<QAction>(o);
      if (!KeepsSkinText(a)) a->setText(Q(m.Caption()));
      a->setCheckable(true);
      a->setChecked(m.Checked());
      break;
    }
    case Kind::MenuAction:
      CopyMenuItem(static_cast<view::MenuItem&>(c), As<QAction>(o));
      break;
    case Kind::Edit: {
      auto* w = As<QLineEdit>(o);
      const QString text = Q(static_cast<view::Edit&>(c).Text());
      if (w->text() != text) w->setText(text);
      break;
    }
    case Kind::List:
      CopyList(static_cast<view::ListBox&>(c), As<QListWidget>(o));
      break;
    case Kind::CheckList:
      CopyCheckList(static_cast<view::CheckListBox&>(c), As<QListWidget>(o));
      break;
    case Kind::MemoText:
      CopyMemo(static_cast<view::Memo&>(c), As<QPlainTextEdit>(o));
      break;
    case Kind::Combo:
      CopyCombo(static_cast<view::ComboBox&>(c), As<QComboBox>(o));
      break;
    case Kind::Grid:
      CopyGrid(static_cast<view::Grid&>(c), As<QTableWidget>(o));
      break;
    case Kind::Status: {
      const auto& m = static_cast<view::StatusBar&>(c);
      for (int i = 0; i < static_cast<int>(b.panels.size()); ++i)
        if (b.panels[i]) b.panels[i]->setText(Q(m.Text(i)));
      break;
    }
    case Kind::Pages:
      CopyPages(static_cast<view::PageControl&>(c), As<QTabWidget>(o));
      break;
    case Kind::Chart:
      CopyChart(static_cast<view::Chart&>(c), As<QChartView>(o));
      break;
    case Kind::GroupBox:
      As<QGroupBox>(o)->setTitle(Q(static_cast<view::Panel&>(c).Caption()));
      break;
    case Kind::Panel:
      // A plain frame is a container; only a frame that is a label shows the caption.
      if (auto* label = As<QLabel>(o)) label->setText(Q(static_cast<view::Panel&>(c).Caption()));
      break;
  }
}

void Binder::Refresh() {
  syncing_ = true;
  for (auto& b : bindings_) {
    if (!b->object || b->control->Revision() == b->seen) continue;
    Copy(*b);
    b->seen = b->control->Revision();
  }
  syncing_ = false;
  for (auto& t : timers_) Sync(*t);
  if (escape_) {
    bool cancel = false;
    for (view::Control* c : form_.Controls())
      if (auto* b = dynamic_cast<view::Button*>(c); b && b->Cancel()) cancel = true;
    escape_->setEnabled(cancel);
  }
}

void Binder::Sync(TimerBinding& t) {
  const bool run = t.model->Enabled() && t.model->Interval() > 0;
  if (t.model->Interval() > 0 && t.timer->interval() != t.model->Interval())
    t.timer->setInterval(t.model->Interval());
  if (run && !t.timer->isActive()) t.timer->start();
  if (!run && t.timer->isActive()) t.timer->stop();
}

bool Binder::Run(const std::function<void()>& event) {
  std::string failure;
  try {
    event();
  } catch (const std::exception& e) {
    failure = e.what();
  } catch (...) {
    failure = "Unexpected error.";
  }
  if (failure.empty()) return true;
  if (!errorSink_) return false;
  reporting_ = true;
  errorSink_(failure);
  reporting_ = false;
  return false;
}

void Binder::Forward(view::Control& source, const std::function<void()>& event) {
  // Signals raised by the binder's own copying are not the user's.
  if (syncing_) return;
  Run(event);
  MarkStale(source);
  Refresh();
}

void Binder::Guard(const std::function<void()>& event) {
  if (syncing_) return;
  Run(event);
  Refresh();
}

void Binder::MarkStaleObject(QObject* object) {
  for (auto& b : bindings_)
    if (b->object == object) b->seen = 0;
}

// Qt toggles a clicked check button itself, and an exclusive group unchecks its other members:
// all of them are copied from the models again, whatever the models decided.
void Binder::MarkStale(const view::Control& control) {
  std::vector<QObject*> related;
  for (auto& b : bindings_)
    if (b->control == &control && b->object) related.push_back(b->object);
  for (QObject* o : related) {
    MarkStaleObject(o);
    if (auto* a = As<QAction>(o); a && a->actionGroup())
      for (QAction* other : a->actionGroup()->actions()) MarkStaleObject(other);
    if (auto* button = As<QAbstractButton>(o)) {
      if (button->group())
        for (QAbstractButton* other : button->group()->buttons()) MarkStaleObject(other);
      if (button->autoExclusive() && button->parentWidget())
        for (auto* other :
             button->parentWidget()->findChildren<QAbstractButton*>(Qt::FindDirectChildrenOnly))
          MarkStaleObject(other);
    }
  }
}

void Binder::Fire(TimerBinding& t) {
  // A tick that opened a nested loop (a dialog, an error box) is not entered again from it.
  if (firing_ || reporting_) return;
  firing_ = true;
  Run([&t] { t.model->Fire(); });
  firing_ = false;
  Refresh();
}

namespace {

std::function<void()>& TickSettler() {
  static std::function<void()> settle;
  return settle;
}

}  // namespace

void Binder::SetTickSettler(std::function<void()> settle) {
  TickSettler() = std::move(settle);
}

bool Binder::Tick(const std::string& name) {
  for (auto& t : timers_)
    if (t->model->Name() == name) {
      Fire(*t);
      if (TickSettler()) TickSettler()();
      return true;
    }
  return false;
}

QTimer* Binder::TimerOf(const std::string& name) const {
  for (const auto& t : timers_)
    if (t->model->Name() == name) return t->timer;
  return nullptr;
}

std::vector<QObject*> Binder::ObjectsOf(const std::string& name) const {
  std::vector<QObject*> out;
  for (const auto& b : bindings_)
    if (b->control->Name() == name && b->object) out.push_back(b->object);
  return out;
}

bool Binder::eventFilter(QObject* watched, QEvent* event) {
  // Space and Enter click the current cell of a grid that reacts to clicks.
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    auto it = grids_.find(watched);
    if (it != grids_.end() && it->second->OnClickCell &&
        (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter)) {
      view::Grid* grid = it->second;
      auto* table = As<QTableWidget>(watched);
      const int row = table->currentRow(), col = table->currentColumn();
      if (row >= 0 && col >= 0) Forward(*grid, [grid, row, col] { grid->ClickCell(col, row); });
      return true;
    }
  }
  if (event->type() == QEvent::MouseButtonPress) {
    if (auto it = listViewports_.find(watched); it != listViewports_.end() && it->second->object)
      it->second->rowAtPress = As<QListWidget>(it->second->object)->currentRow();
  }
  if (event->type() == QEvent::MouseButtonDblClick) {
    if (auto it = panels_.find(watched); it != panels_.end() && it->second->OnDblClick) {
      view::Panel* panel = it->second;
      Forward(*panel, [panel] { panel->OnDblClick(); });
    }
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace kd::qt
