#include "qt/window_settings.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace kd::qt {

namespace {

constexpr const char* kMainGeometry = "window.main.geometry";
constexpr const char* kMainMaximized = "window.main.maximized";
constexpr int kFirstHeight = 800;
constexpr int kFirstWidth = 1280;
// The frame and the tool bar's own margins beside its buttons.
constexpr int kToolBarSlack = 24;
constexpr int kLargest = 16384;

std::string SideKey(const std::string& formName, const char* what) {
  return "window." + formName + "." + what;
}

}  // namespace

QRect AvailableArea(const QWidget* widget) {
  const QScreen* screen = widget ? widget->screen() : QGuiApplication::primaryScreen();
  return screen ? screen->availableGeometry() : QRect();
}

QRect FirstWindowGeometry(const QRect& available, QSize toolBarHint) {
  const int width =
      std::min(available.width(), std::max(kFirstWidth, toolBarHint.width() + kToolBarSlack));
  const int height = std::min(available.height(), kFirstHeight);
  QRect r(0, 0, width, height);
  r.moveCenter(available.center());
  return r;
}

bool PlaceMainWindow(QWidget& window, const fileio::SettingsFile& settings, const QRect& available,
                     QSize toolBarHint) {
  if (auto stored = settings.Get(kMainGeometry)) {
    // restoreGeometry keeps the window on a screen that is there now.
    const QByteArray bytes = QByteArray::fromBase64(QByteArray::fromStdString(*stored));
    if (!bytes.isEmpty() && window.restoreGeometry(bytes))
      return settings.GetBool(kMainMaximized, false);
  }
  window.setGeometry(FirstWindowGeometry(available, toolBarHint));
  return true;
}

void StoreMainWindow(const QWidget& window, fileio::SettingsFile& settings) {
  settings.Set(kMainGeometry, window.saveGeometry().toBase64().toStdString());
  settings.SetBool(kMainMaximized, window.isMaximized());
}

void PlaceSideWindow(QWidget& window, const std::string& formName,
                     const fileio::SettingsFile& settings, const QRect& available) {
  const int width = settings.GetInt(SideKey(formName, "width"), 0, 0, kLargest);
  const int height = settings.GetInt(SideKey(formName, "height"), 0, 0, kLargest);
  if (width == 0 || height == 0) return;
  const QSize least = window.minimumSizeHint().expandedTo(window.minimumSize());
  if (width < least.width() || height < least.height()) return;
  if (!available.isEmpty() && (width > available.width() || height > available.height())) return;
  window.resize(width, height);
}

void StoreSideWindow(const QWidget& window, const std::string& formName,
                     fileio::SettingsFile& settings) {
  settings.SetInt(SideKey(formName, "width"), window.width());
  settings.SetInt(SideKey(formName, "height"), window.height());
}

}  // namespace kd::qt
