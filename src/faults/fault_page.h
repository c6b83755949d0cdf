// The fault page of the main window (TabSheet2 "Ошибки"): its controls, their layout by controller
// type, and FaultPageStep, which reads stored and present faults and asks for the detail of the
// selected code. The controls live on the main window's form; this object owns their logic.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "faults/fault_report.h"
#include "link/exchange_buffer.h"
#include "session/pages.h"
#include "session/session_step.h"
#include "view/controls.h"
#include "view/form.h"

namespace kd::faults {

// Format byte, target, source and at most 63 bytes of data.
inline constexpr std::size_t kLastDtcReplySize = 66;

// CurError's place when it stands alone, and the list it moves beside on the types with
// extended fault data.
inline constexpr int kCurErrorWidth = 449;
inline constexpr int kCurErrorHeight = 169;
inline constexpr int kFreezeListWidth = 295;

// ClearResult, after the controller's answer to a clear.
inline constexpr const char* kNotSupported = "Не поддерживается.";
inline constexpr const char* kClearDone = "Ошибки стёрты.";
inline constexpr const char* kClearRefused = "Стирание отклонено: ";
inline constexpr const char* kClearMissing = "Нет ответа на стирание.";

class FaultPage : public session::PageStep {
 public:
  // `dtcInfoMode` and `session` are the main window's: the mode survives a change of type, and
  // PendingCommand and PageTickCount are shared with the engine and the other pages.
  FaultPage(view::Form& form, const std::uint32_t& ecuType, std::uint32_t& dtcInfoMode,
            session::SessionState& session);

  // Then, on KWP2000 controllers, the service commands the buttons left.
  void Step(link::ReplyCopy& reply, link::ExchangeBuffer& buffer) override;
  void TypeApplied() override;
  bool Serves() const override;

  // Visibility of the detail controls and CurError's place for the type in force.
  void ApplyLayout();

  // Button8: the main window runs the report's save flow.
  std::function<void()> OnSave;
  // What the report writes, as the page stands now.
  FaultReport Report() const;

  view::ListBox& StoryErrorList() { return storyErrorList_; }
  view::Memo& Status() { return status_; }
  view::Memo& CurError() { return curError_; }
  view::ListBox& FreezeListBox() { return freezeListBox_; }
  view::Label& LabelErr() { return labelErr_; }
  view::Label& StatusLabel() { return statusLabel_; }
  view::CheckBox& CheckBox1() { return checkBox1_; }
  view::Button& Button8() { return button8_; }
  view::Label& ClearResult() { return clearResult_; }

  int StoredDtcCount() const { return storedDtcCount_; }
  int DtcScanIndex() const { return dtcScanIndex_; }
  const std::array<DtcScanSlot, kDtcScanSlotCount>& DtcScanSlots() const { return slots_; }
  const std::array<std::uint8_t, kLastDtcReplySize>& LastDtcReply() const { return lastDtcReply_; }

 private:
  struct Group {
    std::uint16_t code = 0;
    std::uint8_t status = 0;
  };

  void KwpStep(const link::ReplyCopy& reply, link::ExchangeBuffer& buffer);
  void ServiceCommands(link::ExchangeBuffer& buffer);
  void StoredCodes(const link::ReplyCopy& reply, link::ExchangeBuffer& buffer);
  void RedrawLists(const link::ReplyCopy& reply);
  void PresentFaultMap(const link::ReplyCopy& reply);
  void StoreScan(const link::ReplyCopy& reply);
  void BitMapStep(const link::ReplyCopy& reply, link::ExchangeBuffer& buffer);
  // The group the selected row was listed from; nullptr when no row is selected.
  const Group* SelectedGroup() const;
  void ScanClicked();
  // A clear request went out this tick: ClearResult follows the controller's answer.
  void AwaitClear(std::uint8_t service);

  const std::uint32_t& ecuType_;
  std::uint32_t& dtcInfoMode_;
  session::SessionState& session_;

  view::Label& labelStErr_;
  view::ListBox& storyErrorList_;
  view::Label& stat_;
  view::Memo& status_;
  view::Label& labelErr_;
  view::ListBox& freezeListBox_;
  view::Memo& curError_;
  view::Label& statusLabel_;
  view::Button& buttonStat_;
  view::Button& buttonStatus_;
  view::Button& buttonFreeze_;
  view::CheckBox& checkBox1_;
  view::Button& button8_;
  view::Label& clearResult_;
  std::vector<view::Button*> commandButtons_;

  int storedDtcCount_ = 0;
  int dtcScanIndex_ = 0;
  std::array<DtcScanSlot, kDtcScanSlotCount> slots_{};
  // The code each slot was filled for, so that the report never puts one code's data under
  // another's row.
  std::array<std::optional<std::uint16_t>, kDtcScanSlotCount> slotCodes_{};
  std::array<std::uint8_t, kLastDtcReplySize> lastDtcReply_{};
  // The groups of LastDtcReply that were listed, and for every row of StoryErrorList the group
  // it came from: a code carried by two catalogue rows gives two rows for one group.
  std::vector<Group> groups_;
  std::vector<std::size_t> rowGroup_;
  // The type whose catalogue the lists were drawn with; 0 once the bit-map steps cleared them.
  std::uint32_t listedType_ = 0;
};

}  // namespace kd::faults
