// The port selection dialog (TForm6) and the About box (TForm2).
#pragma once

#include <array>

#include "view/form.h"

namespace kd::ui {

class PortDialog : public view::Form {
 public:
  PortDialog();
  // Checks the button of `portNumber`; RadioButton1 for a number outside 2..8.
  void Preset(int portNumber);
  // The number of the first checked button, or `fallback` when none is.
  int Chosen(int fallback) const;

 private:
  std::array<view::RadioButton*, 8> radios_{};
};

class AboutBox : public view::Form {
 public:
  AboutBox();
};

}  // namespace kd::ui
