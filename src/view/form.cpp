#include "view/form.h"

namespace kd::view {

Button* Form::KeyTarget(Control* focused, Key key) const {
  if (key == Key::Enter) {
    if (auto* own = dynamic_cast<Button*>(focused))
      return own->Visible() && own->Enabled() ? own : nullptr;
    if (dynamic_cast<Memo*>(focused)) return nullptr;
  }
  for (Control* c : order_) {
    auto* b = dynamic_cast<Button*>(c);
    if (!b || !(key == Key::Enter ? b->Default() : b->Cancel())) continue;
    return b->Visible() && b->Enabled() ? b : nullptr;
  }
  return nullptr;
}

bool Form::PressKey(Control* focused, Key key) {
  Button* target = KeyTarget(focused, key);
  if (!target) return false;
  target->Click();
  return true;
}

}  // namespace kd::view
