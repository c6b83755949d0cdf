// A window as a named registry of its control models: skins and the harness find controls by the
// names the system gives them.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "view/controls.h"
#include "view/stale_marks.h"

namespace kd::view {

// The keys a dialog routes to its buttons.
enum class Key { Enter, Escape };

class Form {
 public:
  explicit Form(std::string name) : name_(std::move(name)) {}
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;
  virtual ~Form() = default;

  const std::string& Name() const { return name_; }
  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string c) { caption_ = std::move(c); }

  Control* Find(const std::string& name) const {
    auto it = byName_.find(name);
    return it == byName_.end() ? nullptr : it->second;
  }
  template <class T>
  T* FindAs(const std::string& name) const {
    return dynamic_cast<T*>(Find(name));
  }
  // Controls in the order they were added: the skin lays them out in this order.
  const std::vector<Control*>& Controls() const { return order_; }

  // The button that takes `key` pressed while `focused` has the focus, as the toolkit routes
  // dialog keys: Enter on a button is that button's, Enter on a multi-line text stays in it,
  // Enter elsewhere goes to the form's default button and Escape anywhere to its cancel button.
  // Nothing when that button is hidden or disabled, or the form has none.
  Button* KeyTarget(Control* focused, Key key) const;
  // Presses `key` on `focused`: clicks the key's button; false when no button took it.
  bool PressKey(Control* focused, Key key);

  // The form's timer, if it owns the link while it is shown.
  virtual Timer* LinkTimer() { return nullptr; }
  // The close box; returns false when the form refuses to close.
  virtual bool Close() { return true; }
  // Set by whoever shows the form: a control of the form (an "Exit" or "Close" button) asks to
  // be closed as by the close box.
  std::function<void()> RequestClose;
  void CloseByControl() {
    if (RequestClose) RequestClose();
  }
  // The controls that show what a unit sent, marked stale while its replies are missing; the
  // window that owns the link says after each tick whether one came.
  StaleMarks& Values() { return values_; }

 public:
  // Creates a control owned by the form and registers it under its name. Public so that a page
  // object can put its controls on the window it belongs to.
  template <class T, class... Args>
  T& Add(Args&&... args) {
    auto owned = std::make_unique<T>(std::forward<Args>(args)...);
    T& ref = *owned;
    byName_[ref.Name()] = &ref;
    order_.push_back(&ref);
    owned_.push_back(std::move(owned));
    return ref;
  }

 private:
  std::string name_;
  std::string caption_;
  std::map<std::string, Control*> byName_;
  std::vector<Control*> order_;
  std::vector<std::unique_ptr<Control>> owned_;
  StaleMarks values_;
};

}  // namespace kd::view
