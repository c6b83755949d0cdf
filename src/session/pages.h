// The main window's pages: one table that the session engine, the main form, its menu and the
// skin all read, and the interface through which the engine and the form reach a page. A new
// page is its own folder's object plus one row here.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>
#include <vector>

#include "catalogue/ecu_catalogue.h"
#include "link/exchange_buffer.h"
#include "view/controls.h"

namespace kd::session {

// The pages of the main window, in tab order.
enum class Page { Params, Faults, Idents, Equipment, Adc, Fuel, Knock, Misfire, Trip };
inline constexpr std::size_t kPageCount = 9;

// Link families as bits of a set.
inline constexpr unsigned kKwpFamily = 1;
inline constexpr unsigned kEscapedFamily = 2;
inline constexpr unsigned kGmFamily = 4;

struct PageInfo {
  Page id;
  std::string_view tab;  // the page's name in PageControl1
  std::string_view caption;
  // Its item of the "Индицировать" menu.
  std::string_view menuItem;
  std::string_view menuCaption;
  std::string_view shortcut;
  // Clicking the page's tab moves the menu's check to this item too.
  bool menuFollowsTab;
  // The link families whose ticks hand the reply to the page on screen.
  unsigned families;

  bool RunsOn(catalogue::LinkFamily family) const;
};

// Rows in tab order: the row of a page is at index Page.
const std::array<PageInfo, kPageCount>& MainPages();
const PageInfo& PageInfoOf(Page page);
// The tabs of PageControl1, from the table.
std::vector<view::Page> MainTabs();

// A page of the main window as the engine and the form see it; everything it does not need
// stays a no-op.
class PageStep {
 public:
  virtual ~PageStep() = default;
  // A configuration was applied: the controller type in force may have changed.
  virtual void TypeApplied() {}
  // The user brought the page on screen.
  virtual void Shown() {}
  // The reply while the page is on screen, on the ticks of the families its row names. A KWP2000
  // step writes the service at TransmitFrame[3] on and sets DataLength to its count; an
  // escaped-frame step writes the message from byte 0; a GM step writes the complete frame.
  // Writing nothing lets the engine's request go.
  virtual void Step(link::ReplyCopy& /*reply*/, link::ExchangeBuffer& /*buffer*/) {}
  // Whether the page has anything to read from the controller type in force. A page that has
  // not says "Не поддерживается." in its view, and the engine keeps the link going for it with
  // the type's default request, so the link status stays true.
  virtual bool Serves() const { return true; }
  // The link was lost long enough for another car to stand at the cable: what was read of the
  // previous one is forgotten, so that no report of the next carries it.
  virtual void NewCar() {}
  // The request that keeps an escaped-frame or GM link answering while the page on screen
  // sends none: only the parameter page has one, its data request, which every such controller
  // answers.
  virtual void KeepAlive(link::ExchangeBuffer& /*buffer*/) {}
};

}  // namespace kd::session
