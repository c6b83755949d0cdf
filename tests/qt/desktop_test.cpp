// The desktop pieces of the skin: the guide's window at a page's section, the page printed to PDF,
// the first window's tool bar on a laptop screen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QTimer>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTextTable>
#include <QToolBar>
#include <QToolButton>

#include "qt/desktop.h"
#include "qt/help_window.h"
#include "qt/main_window.h"
#include "qt/qt_host.h"
#include "qt/window_settings.h"
#include "sim/simulated_port.h"
#include "ui/demo_start.h"
#include "ui/main_form.h"

namespace kd::qt {
namespace {

class InTemporaryDirectory {
 public:
  InTemporaryDirectory() : previous_(QDir::currentPath()) { QDir::setCurrent(dir_.path()); }
  ~InTemporaryDirectory() { QDir::setCurrent(previous_); }
  QString Path() const { return dir_.path(); }

 private:
  QTemporaryDir dir_;
  QString previous_;
};

// The demo's main window, its dialogs answered by nobody.
class DemoWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    host_.SetUnattended(true);
    form_.OnTypeApplied = [this](std::uint32_t type) { port_.SetEcuType(type); };
    ui::StartDemo(form_);
    window_ = std::make_unique<MainWindow>(form_);
    host_.SetParentWidget(window_.get());
  }
  void ShowPage(const char* tab, int ticks) {
    const int index = form_.PageControl1().IndexOf(tab);
    window_->Bindings().Forward(form_.PageControl1(),
                                [&] { form_.PageControl1().ClickTab(index); });
    for (int i = 0; i < ticks; ++i) window_->Bindings().Tick(form_.Timer1().Name());
  }

  InTemporaryDirectory dir_;
  sim::SimulatedPort port_;
  QtHost host_;
  ui::MainForm form_{port_, host_};
  std::unique_ptr<MainWindow> window_;
};

TEST(HelpWindowTest, OpensTheRenderedGuideAtTheSectionWithItsPictures) {
  HelpWindow help;
  help.resize(800, 600);
  help.show();
  ASSERT_TRUE(help.Load(UserGuidePath())) << UserGuidePath().toStdString();
  QTextDocument* doc = help.Browser()->document();
  // Rendered, not shown as source: no Markdown heading marks are left in the text.
  EXPECT_FALSE(doc->toPlainText().contains("## Fault codes"));
  // Its pictures are found beside it.
  const QVariant picture =
      doc->resource(QTextDocument::ImageResource, QUrl("screenshots/m797-faults.png"));
  EXPECT_TRUE(picture.isValid());
  // Wider than the window as taken, it is fitted to the view's width.
  ASSERT_TRUE(picture.canConvert<QImage>());
  const QImage taken(QFileInfo(UserGuidePath()).dir().filePath("screenshots/m797-faults.png"));
  ASSERT_GT(taken.width(), help.Browser()->viewport()->width());
  EXPECT_LE(picture.value<QImage>().width(), help.Browser()->viewport()->width());
  EXPECT_GT(picture.value<QImage>().width(), help.Browser()->viewport()->width() / 2);

  ASSERT_TRUE(help.OpenAt("Fault codes"));
  EXPECT_EQ(help.Browser()->textCursor().block().text(), "Fault codes");
  // The heading stands at the top of the view: the text there is the heading's.
  const QTextBlock top = help.Browser()->cursorForPosition(QPoint(10, 10)).block();
  EXPECT_EQ(top.text(), "Fault codes");
  EXPECT_GT(help.Browser()->verticalScrollBar()->value(), 0);

  ASSERT_TRUE(help.OpenAt("Connecting"));
  EXPECT_EQ(help.Browser()->cursorForPosition(QPoint(10, 10)).block().text(), "Connecting");
  EXPECT_FALSE(help.OpenAt("No such heading"));
  EXPECT_EQ(help.Section(), "Connecting");
}

TEST_F(DemoWindow, HelpOpensAtTheSectionOfEveryPage) {
  window_->resize(1200, 700);
  window_->show();
  for (const auto& page : form_.PageControl1().Pages()) {
    ShowPage(page.name.c_str(), 0);
    auto* button = form_.FindAs<view::Button>("ToolButton9");
    window_->Bindings().Forward(*button, [button] { button->Click(); });
    auto* help = static_cast<HelpWindow*>(host_.HelpWindowShown());
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(help->Section().toStdString(), form_.HelpSection()) << page.name;
    EXPECT_EQ(help->Browser()->textCursor().block().text().toStdString(), form_.HelpSection());
  }
}

TEST_F(DemoWindow, FaultPagePrintsToPdfAsItsReport) {
  ShowPage("TabSheet2", 12);
  const auto& shown = form_.FindAs<view::ListBox>("StoryErrorList")->Items();
  ASSERT_FALSE(shown.empty());
  const std::string code = shown.front().substr(0, 4);

  const QString pdf = dir_.Path() + "/faults.pdf";
  ASSERT_TRUE(PrintToPdf(form_.PageDocument(), pdf));
  QProcess text;
  text.start("pdftotext", {"-layout", pdf, "-"});
  ASSERT_TRUE(text.waitForFinished(30000));
  ASSERT_EQ(text.exitCode(), 0);
  const QString printed = QString::fromUtf8(text.readAllStandardOutput());
  EXPECT_TRUE(printed.contains("Ошибки")) << printed.toStdString();
  EXPECT_TRUE(printed.contains("Дата  записи: 01.01.2024") || printed.contains("Дата записи:"))
      << printed.toStdString();
  EXPECT_TRUE(printed.contains("Коды неисправности контроллера.")) << printed.toStdString();
  EXPECT_TRUE(printed.contains(QString::fromStdString(code))) << printed.toStdString();
}

TEST_F(DemoWindow, ParameterPagePrintsItsTable) {
  ShowPage("TabSheet1", 6);
  const view::PrintDocument doc = form_.PageDocument();
  ASSERT_GT(doc.table.size(), 1u);
  EXPECT_EQ(doc.headingRows, 1);
  const auto text = PrintTextDocument(doc);
  QTextTable* table = nullptr;
  for (QTextFrame* frame : text->rootFrame()->childFrames())
    if ((table = qobject_cast<QTextTable*>(frame))) break;
  ASSERT_NE(table, nullptr);
  ASSERT_EQ(table->rows(), static_cast<int>(doc.table.size()));
  ASSERT_EQ(table->columns(), static_cast<int>(doc.table[0].size()));
  // The heading row stands out; the values are the grid's.
  const QTextTableCell heading = table->cellAt(0, 0);
  EXPECT_GT(heading.firstCursorPosition().charFormat().fontWeight(), QFont::Normal);
  QTextCursor value = table->cellAt(1, 1).firstCursorPosition();
  value.setPosition(table->cellAt(1, 1).lastPosition(), QTextCursor::KeepAnchor);
  EXPECT_EQ(value.selectedText().toStdString(), doc.table[1][1]);
}

}  // namespace
}  // namespace kd::qt

namespace kd::qt {
namespace {

// A 1366x768 laptop less a 40-pixel panel.
const QRect kLaptop(0, 0, 1366, 728);

TEST_F(DemoWindow, FirstWindowShowsTheWholeToolBarOnALaptopScreen) {
  auto* bar = window_->findChild<QToolBar*>("ToolBar1");
  ASSERT_NE(bar, nullptr);
  const QRect first = FirstWindowGeometry(kLaptop, bar->sizeHint());
  EXPECT_TRUE(kLaptop.contains(first));
  window_->setGeometry(first);
  window_->show();
  QApplication::processEvents();
  int buttons = 0;
  for (QToolButton* button : bar->findChildren<QToolButton*>()) {
    if (button->objectName() == "qt_toolbar_ext_button") {
      EXPECT_FALSE(button->isVisible()) << "buttons went behind the tool bar's extension";
      continue;
    }
    ++buttons;
    EXPECT_TRUE(button->isVisible()) << button->objectName().toStdString();
    EXPECT_LE(button->mapTo(window_.get(), QPoint(button->width(), 0)).x(), window_->width())
        << button->objectName().toStdString();
  }
  EXPECT_EQ(buttons, static_cast<int>(form_.ToolBar().size()));
  // Its narrowest size, where the screen leaves it no more, is still the screen's.
  EXPECT_EQ(FirstWindowGeometry(QRect(0, 0, 1024, 600), bar->sizeHint()).size(), QSize(1024, 600));
}

TEST(WindowSettingsTest, MainAndSideWindowsKeepTheirPlaceAcrossStarts) {
  InTemporaryDirectory dir;
  const QString file = dir.Path() + "/klinediag.ini";
  const QRect moved(120, 90, 1010, 640);
  {
    fileio::SettingsFile settings(file.toStdString());
    QWidget main;
    // The first start: no settings yet, shown maximized at a size that fits.
    EXPECT_TRUE(PlaceMainWindow(main, settings, kLaptop, QSize(1220, 35)));
    EXPECT_EQ(main.geometry(), FirstWindowGeometry(kLaptop, QSize(1220, 35)));
    main.setGeometry(moved);
    main.show();
    QApplication::processEvents();
    StoreMainWindow(main, settings);

    QDialog side;
    side.resize(777, 555);
    StoreSideWindow(side, "TForm3", settings);
  }
  {
    // The next start reads the file anew.
    fileio::SettingsFile settings(file.toStdString());
    EXPECT_EQ(settings.KeysWithPrefix("window.").size(), 4u);
    QWidget main;
    EXPECT_FALSE(PlaceMainWindow(main, settings, kLaptop, QSize(1220, 35)));
    EXPECT_EQ(main.geometry().size(), moved.size());
    EXPECT_EQ(main.geometry().topLeft(), moved.topLeft());

    QDialog side;
    side.resize(300, 200);
    PlaceSideWindow(side, "TForm3", settings, kLaptop);
    EXPECT_EQ(side.size(), QSize(777, 555));
    // Another window's size is its own.
    QDialog other;
    other.resize(300, 200);
    PlaceSideWindow(other, "TForm5", settings, kLaptop);
    EXPECT_EQ(other.size(), QSize(300, 200));
    // A size the screen cannot hold is not taken.
    PlaceSideWindow(side, "TForm3", settings, QRect(0, 0, 640, 480));
    EXPECT_EQ(side.size(), QSize(777, 555));
  }
  {
    // A damaged value falls back to the first start's place.
    fileio::SettingsFile settings(file.toStdString());
    settings.Set("window.main.geometry", "not base64 geometry");
    QWidget main;
    EXPECT_TRUE(PlaceMainWindow(main, settings, kLaptop, QSize(1220, 35)));
    EXPECT_EQ(main.geometry(), FirstWindowGeometry(kLaptop, QSize(1220, 35)));
  }
}

TEST_F(DemoWindow, SideWindowsSizeIsKeptThroughTheHost) {
  host_.SetSettings(&form_.Settings());
  host_.SetUnattended(false);
  QSize seen, wanted;
  auto open = [&](bool resize) {
    QTimer::singleShot(0, window_.get(), [&, resize] {
      QWidget* dialog = QApplication::activeModalWidget();
      ASSERT_NE(dialog, nullptr);
      seen = dialog->size();
      if (resize) {
        wanted = dialog->minimumSizeHint().expandedTo(QSize(200, 150)) + QSize(37, 23);
        dialog->resize(wanted);
      }
      dialog->close();
    });
    // The graph window, opened from the parameter page.
    auto* button = form_.FindAs<view::Button>("ToolButton14");
    window_->Bindings().Forward(*button, [button] { button->Click(); });
  };
  window_->show();
  open(true);
  EXPECT_EQ(form_.Settings().GetInt("window.TForm9.width", 0, 0, 10000), wanted.width());
  EXPECT_EQ(form_.Settings().GetInt("window.TForm9.height", 0, 0, 10000), wanted.height());
  open(false);
  EXPECT_EQ(seen, wanted);
}

}  // namespace
}  // namespace kd::qt
