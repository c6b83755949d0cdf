// One generic binder between a form's control models and a widget tree laid out by a skin class.
// Widgets are paired with models by objectName == control name; widget signals become the
// model's own calls (Click, Select, SelectCell, ClickTab, ...), and after every forwarded event
// and every timer tick each model whose revision moved is copied onto its widgets. The skin
// classes therefore hold no logic: what is shown is always what the model says.
#pragma once

#include <QObject>
#include <QPointer>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "view/form.h"

class QShortcut;
class QTimer;
class QWidget;

namespace kd::qt {

// Set (to true) on a widget whose text the skin chose itself, such as a tool button's short
// label standing in for an image the model's caption does not describe; the binder leaves that
// text alone.
inline constexpr const char* kSkinTextProperty = "kdSkinText";

// The objectName the binder gives panel `index` of a status bar; tests find panels by it.
std::string StatusPanelName(const std::string& statusBarName, int index);

class Binder : public QObject {
 public:
  using ErrorSink = std::function<void(const std::string& message)>;

  // Binds every named object under `root` (widgets and actions) to the control of that name,
  // starts a QTimer for each Timer model and copies every model once.
  Binder(view::Form& form, QWidget* root);
  ~Binder() override;

  view::Form& BoundForm() const { return form_; }

  // Copies each model whose revision moved since the last look.
  void Refresh();
  // Runs `event` as a user action on `source`: an error escaping it goes to the error sink and
  // the program goes on; then `source` (and whatever Qt toggled along with it) is copied again,
  // since the widget may have changed itself in a way the model refused.
  void Forward(view::Control& source, const std::function<void()>& event);
  // The same for an event that belongs to no control, such as the window's close box.
  void Guard(const std::function<void()>& event);
  // Fires timer model `name` exactly as its QTimer does; false when the form has none. Then
  // `SetTickSettler`'s wait runs: a tick driven by hand (a screenshot) whose exchange runs on
  // the port's thread is over when its outcome came.
  bool Tick(const std::string& name);
  static void SetTickSettler(std::function<void()> settle);
  QTimer* TimerOf(const std::string& name) const;
  // Widgets and actions paired with the control called `name`.
  std::vector<QObject*> ObjectsOf(const std::string& name) const;
  // By default a standard critical message box.
  void SetErrorSink(ErrorSink sink) { errorSink_ = std::move(sink); }
  // Runs `event` that arrived from the port (a tick's step or outcome, after its read window or
  // write ran off the GUI thread) as a timer tick's work is run: guarded by the newest binder
  // (the window on top), then every binder copies what moved. False when it threw.
  static bool RunLinkEvent(const std::function<void()>& event);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Binding;
  struct TimerBinding;

  void Bind(view::Control& control, QObject* object);
  void Connect(Binding& b);
  void Copy(Binding& b);
  void MarkStale(const view::Control& control);
  void MarkStaleObject(QObject* object);
  void Fire(TimerBinding& t);
  void Sync(TimerBinding& t);
  bool Run(const std::function<void()>& event);

  view::Form& form_;
  QPointer<QWidget> root_;
  std::vector<std::unique_ptr<Binding>> bindings_;
  std::vector<std::unique_ptr<TimerBinding>> timers_;
  std::map<QObject*, Binding*> listViewports_;
  // Panels whose double click the form hears.
  std::map<QObject*, view::Panel*> panels_;
  std::map<QObject*, view::Grid*> grids_;
  ErrorSink errorSink_;
  QPointer<QShortcut> escape_;
  bool syncing_ = false;
  bool firing_ = false;
  bool reporting_ = false;
};

}  // namespace kd::qt
