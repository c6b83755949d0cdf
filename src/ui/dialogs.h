// The port selection dialog (TForm6) and the About box (TForm2).
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "link/adapter.h"
#include "ui/port_devices.h"
#include "view/form.h"
#include "view/host.h"

namespace kd::ui {

class PortDialog : public view::Form {
 public:
  // Without `ports` the dialog shows its numbers alone; with them, beside each number the
  // device it opens, a button that assigns one (through `host`), and the adapter kind.
  PortDialog(view::Host* host = nullptr, PortAssignments* ports = nullptr,
             link::AdapterKind adapter = link::AdapterKind::KLineAdapter);
  // Checks the button of `portNumber`; RadioButton1 for a number outside 2..8.
  void Preset(int portNumber);
  // The number of the first checked button, or `fallback` when none is.
  int Chosen(int fallback) const;
  link::AdapterKind ChosenAdapter() const;
  // The labels again, after an assignment or a device that came or went.
  void RefreshDevices();

 private:
  void ChooseDevice();

  view::Host* host_;
  PortAssignments* ports_;
  std::array<view::RadioButton*, 8> radios_{};
  std::array<view::Label*, 8> devices_{};
  view::ComboBox* adapterKind_ = nullptr;
  std::vector<link::AdapterKind> kinds_;
};

// "Устройство…": a present device or a typed path for one COM number.
class DeviceDialog : public view::Form {
 public:
  struct Choice {
    enum Kind { Device, Path, Platform } kind;
    int device = -1;  // index into the list given
    std::string path;
  };
  DeviceDialog(int portNumber, const std::vector<SerialDevice>& present);
  // Nothing when the dialog was left without a choice.
  const std::optional<Choice>& Result() const { return result_; }

 private:
  view::ListBox& list_;
  view::Edit& path_;
  std::optional<Choice> result_;
};

class AboutBox : public view::Form {
 public:
  AboutBox();
};

}  // namespace kd::ui
