// The main window (TForm1) as a form object: status line, timer, the controller-type controls and
// the link it owns. No toolkit here; a skin shows it and the harness drives it.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "catalogue/ecu_catalogue.h"
#include "link/exchange_buffer.h"
#include "link/port.h"
#include "session/session_step.h"
#include "view/form.h"
#include "view/host.h"

namespace kd::ui {

class MainForm : public view::Form {
 public:
  MainForm(link::SerialPort& port, view::Host& host);

  // Start-up as the program does it: the type's catalogue, then the port.
  void Start();

  void SelectEcuType(std::uint32_t code);

  std::uint32_t EcuType() const { return ecuType_; }
  int PortNumber() const { return portNumber_; }
  const catalogue::EcuInfo& Constants() const { return catalogue::Lookup(ecuType_); }
  session::Page ActivePage() const { return activePage_; }

  view::Timer& Timer1() { return timer1_; }
  view::StatusBar& StatusBar1() { return statusBar1_; }
  view::MenuItem& Typeblock1() { return typeblock1_; }
  // Controller buttons in tool-bar order.
  const std::array<view::Button*, 11>& TypeButtons() const { return typeButtons_; }

  link::ExchangeBuffer& Buffer() { return *buffer_; }
  link::PortHandle& Port() { return portHandle_; }
  session::SessionState& Session() { return session_; }

  view::Timer* LinkTimer() override { return &timer1_; }

 private:
  void ApplyCatalogue();
  void MarkType();
  void Tick();

  view::Host& host_;
  link::PortHandle portHandle_;
  std::unique_ptr<link::ExchangeBuffer> buffer_ = std::make_unique<link::ExchangeBuffer>();
  session::SessionState session_;
  session::PageSteps pages_{};
  session::Page activePage_ = session::Page::Params;

  std::uint32_t ecuType_ = 1;
  int portNumber_ = 2;

  view::Timer& timer1_;
  view::StatusBar& statusBar1_;
  view::MenuItem& typeblock1_;
  std::array<view::Button*, 11> typeButtons_{};
  std::array<view::MenuItem*, 11> typeMenuItems_{};
};

}  // namespace kd::ui
