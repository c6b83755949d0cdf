#include "faults/fault_page.h"

#include <algorithm>

#include "catalogue/ecu_catalogue.h"
#include "faults/dtc_catalogue.h"
#include "faults/fault_detail.h"
#include "link/gm.h"
#include "link/kwp.h"
#include "text/cp1251.h"
#include "text/number_format.h"

namespace kd::faults {

namespace {

using link::ExchangeBuffer;
using link::ReplyCopy;

using catalogue::FaultDetailLevel;

FaultDetailLevel DetailOf(std::uint32_t type) {
  return catalogue::Lookup(type).faultDetail;
}

// The controllers that report a status byte with every stored code and give its detail on request.
bool HasExtendedData(std::uint32_t type) {
  return DetailOf(type) >= FaultDetailLevel::Related;
}

bool Bit(std::uint8_t byte, std::size_t bit) {
  return (byte >> bit) & 1;
}

std::string RowText(std::uint32_t type, std::size_t position) {
  const DtcEntry* row = DtcRowAt(type, position);
  return row ? row->Utf8Text() : std::string();
}

}  // namespace

FaultPage::FaultPage(view::Form& form, const std::uint32_t& ecuType, std::uint32_t& dtcInfoMode,
                     session::SessionState& session)
    : ecuType_(ecuType),
      dtcInfoMode_(dtcInfoMode),
      session_(session),
      labelStErr_(form.Add<view::Label>("Label_st_err")),
      storyErrorList_(form.Add<view::ListBox>("StoryErrorList")),
      stat_(form.Add<view::Label>("Stat_")),
      status_(form.Add<view::Memo>("Status")),
      labelErr_(form.Add<view::Label>("Label_Err")),
      freezeListBox_(form.Add<view::ListBox>("FreezeListBox")),
      curError_(form.Add<view::Memo>("CurError")),
      statusLabel_(form.Add<view::Label>("StatusLabel")),
      buttonStat_(form.Add<view::Button>("ButtonStat")),
      buttonStatus_(form.Add<view::Button>("ButtonStatus")),
      buttonFreeze_(form.Add<view::Button>("ButtonFreeze")),
      checkBox1_(form.Add<view::CheckBox>("CheckBox1")),
      button8_(form.Add<view::Button>("Button8")),
      clearResult_(form.Add<view::Label>("ClearResult")) {
  labelStErr_.SetCaption("Сохраненные ошибки");
  stat_.SetCaption("Статус");
  labelErr_.SetCaption("Текущие ошибки");
  statusLabel_.SetCaption("Ambent condition");
  statusLabel_.SetVisible(false);
  freezeListBox_.SetWidth(kFreezeListWidth);
  freezeListBox_.SetHeight(kCurErrorHeight);

  buttonStat_.SetCaption("Инф.о статусе");
  buttonStat_.OnClick = [this] { dtcInfoMode_ = 0; };
  buttonStatus_.SetCaption("Инф.о ошибке");
  buttonStatus_.SetHint("Включение информации сопутсвующей ошибке.");
  buttonStatus_.OnClick = [this] { dtcInfoMode_ = 1; };
  buttonFreeze_.SetCaption("FreezeFrame");
  buttonFreeze_.OnClick = [this] { dtcInfoMode_ = 2; };
  checkBox1_.SetCaption("Сохр. со сканированием");
  checkBox1_.OnClick = [this] { ScanClicked(); };
  button8_.SetCaption("Сохранить");
  button8_.OnClick = [this] {
    if (OnSave) OnSave();
  };

  // The buttons only leave the command; the next positive reply on the page carries it out.
  const struct {
    const char* name;
    const char* caption;
    std::uint32_t code;
  } commands[] = {{"ClearErrorAG", "Сброс ош. AG", 1},
                  {"ClearErrorPG", "Сброс ош.PG", 7},
                  {"ECUReset", "Сброс ECU PO", 2},
                  {"ECUReset_fi", "Сброс ECU FI", 3}};
  for (const auto& c : commands) {
    auto& button = form.Add<view::Button>(c.name);
    button.SetCaption(c.caption);
    const std::uint32_t code = c.code;
    button.OnClick = [this, code] { session_.pendingCommand = code; };
    commandButtons_.push_back(&button);
  }
  ApplyLayout();
}

void FaultPage::TypeApplied() {
  ApplyLayout();
  const bool serves = Serves();
  for (view::Button* b : commandButtons_) b->SetEnabled(serves);
  button8_.SetEnabled(serves);
  clearResult_.SetCaption("");
  if (!serves) {
    storyErrorList_.SetItems({kNotSupported});
    status_.Clear();
    curError_.Clear();
    freezeListBox_.Clear();
    listedType_ = 0;
    rowGroup_.clear();
    groups_.clear();
  } else if (storyErrorList_.Count() == 1 && storyErrorList_.Items()[0] == kNotSupported) {
    storyErrorList_.Clear();
  }
}

// Mikas has no fault catalogue, and a type the catalogue does not know has no page at all.
bool FaultPage::Serves() const {
  return catalogue::IsKnownType(ecuType_) && DetailOf(ecuType_) != FaultDetailLevel::None;
}

void FaultPage::AwaitClear(std::uint8_t service) {
  clearResult_.SetCaption("");
  session::AwaitAnswer(session_, service,
                       [this](session::AnswerOutcome outcome, const std::string& refusal) {
                         switch (outcome) {
                           case session::AnswerOutcome::Accepted:
                             clearResult_.SetCaption(kClearDone);
                             break;
                           case session::AnswerOutcome::Refused:
                             clearResult_.SetCaption(kClearRefused + refusal);
                             break;
                           case session::AnswerOutcome::Missing:
                             clearResult_.SetCaption(kClearMissing);
                             break;
                         }
                       });
}

void FaultPage::ApplyLayout() {
  const FaultDetailLevel level = DetailOf(ecuType_);
  const bool full = level == FaultDetailLevel::Full;
  const bool withStatus = level >= FaultDetailLevel::RelatedStatus;
  const bool extended = level >= FaultDetailLevel::Related;
  freezeListBox_.SetVisible(extended);
  buttonStat_.SetVisible(extended);
  buttonStatus_.SetVisible(withStatus);
  buttonFreeze_.SetVisible(full);
  if (extended) {
    curError_.SetLeft(freezeListBox_.Width() + 5);
    curError_.SetWidth(kCurErrorWidth / 3);
    curError_.SetHeight(freezeListBox_.Height());
  } else {
    curError_.SetLeft(0);
    curError_.SetWidth(kCurErrorWidth);
    curError_.SetHeight(kCurErrorHeight);
  }
}

void FaultPage::ScanClicked() {
  const bool scan = checkBox1_.Checked() && storedDtcCount_ != 0;
  dtcInfoMode_ = scan ? 3 : 0;
  dtcScanIndex_ = 0;
  button8_.SetEnabled(!scan);
}

void FaultPage::Step(ReplyCopy& reply, ExchangeBuffer& buffer) {
  const std::uint32_t type = ecuType_;
  // Mikas has no fault catalogue, and a type the catalogue does not know has no page at all;
  // the service commands still go out or are dropped as for any controller of the family.
  const bool served = catalogue::IsKnownType(type) && DetailOf(type) != FaultDetailLevel::None;
  switch (catalogue::Lookup(type).family) {
    case catalogue::LinkFamily::Kwp2000:
      if (served) KwpStep(reply, buffer);
      ServiceCommands(buffer);
      break;
    case catalogue::LinkFamily::Escaped:
    case catalogue::LinkFamily::Gm:
      if (served) BitMapStep(reply, buffer);
      // These controllers have no reset request: a reset left on the page is dropped.
      if (session_.pendingCommand == 2) session_.pendingCommand = 0;
      break;
  }
}

// The buttons' commands replace whatever the page asked for.
void FaultPage::ServiceCommands(ExchangeBuffer& buffer) {
  switch (session_.pendingCommand) {
    case 1:
      link::WriteKwpService(buffer, {0x14, 0xFF, 0x00});
      AwaitClear(0x14);
      break;
    case 7:
      link::WriteKwpService(buffer, {0x14, 0x00, 0x00});
      AwaitClear(0x14);
      break;
    case 2:
      link::WriteKwpService(buffer, {0x11, 0x01});
      break;
    case 3:
      link::WriteKwpService(buffer, {0x11, 0x90});
      break;
    default:
      return;
  }
  session_.pendingCommand = 0;
}

void FaultPage::KwpStep(const ReplyCopy& reply, ExchangeBuffer& buffer) {
  const std::uint32_t type = ecuType_;
  link::WriteKwpService(buffer, {0x18, 0x00, 0xFF, 0x00});
  // Only the short header carries the length in the format byte; a long-form reply is no
  // stored-codes reply to this page, whatever its byte 3 holds.
  if (reply[3] == 0x58 && reply[0] > 0x80 && reply[0] < 0xC0) StoredCodes(reply, buffer);
  // The present-fault map comes in the long header form: format byte, target, source, length.
  if (reply[4] == 0x61 && reply[5] == 0x01 && DetailOf(type) < FaultDetailLevel::RelatedStatus)
    PresentFaultMap(reply);
  if (auto detail = DecodeFaultDetail(type, dtcInfoMode_, reply)) {
    if (detail->related) statusLabel_.SetVisible(true);
    curError_.SetItems(std::move(detail->lines.curError));
    freezeListBox_.SetItems(std::move(detail->lines.freeze));
  }
  if (reply[3] == 0x57 && dtcInfoMode_ == 3) StoreScan(reply);
}

void FaultPage::RedrawLists(const ReplyCopy& reply) {
  const std::uint32_t type = ecuType_;
  const std::size_t dataLength = static_cast<std::size_t>(reply[0] - 0x80);
  const std::size_t length = dataLength + 3;
  if (listedType_ == type &&
      std::equal(reply.begin(), reply.begin() + length, lastDtcReply_.begin()))
    return;
  std::fill(std::copy(reply.begin(), reply.begin() + length, lastDtcReply_.begin()),
            lastDtcReply_.end(), 0);

  // A count larger than the frame can hold is believed only as far as the frame goes: groups
  // read from beyond it would be the checksum and stale bytes shown as codes.
  const std::size_t fit = dataLength >= 2 ? (dataLength - 2) / 3 : 0;
  const std::size_t n = std::min<std::size_t>(reply[4], fit);
  const int selected = storyErrorList_.Selected();
  groups_.clear();
  rowGroup_.clear();
  std::vector<std::string> rows, statuses;
  for (std::size_t k = 0; k < n; ++k) {
    const std::size_t at = 5 + 3 * k;
    const Group g{static_cast<std::uint16_t>(reply[at] * 256 + reply[at + 1]), reply[at + 2]};
    groups_.push_back(g);
    auto matches = FindDtcRows(type, g.code);
    if (matches.empty()) {
      rows.push_back(text::Hex4(g.code));
      statuses.push_back(text::Hex2(g.status));
      rowGroup_.push_back(k);
    }
    for (const DtcEntry* e : matches) {
      rows.push_back(e->Utf8Text());
      statuses.push_back(text::Hex2(g.status));
      rowGroup_.push_back(k);
    }
  }
  storyErrorList_.Clear();
  status_.Clear();
  storedDtcCount_ = static_cast<int>(n);
  storyErrorList_.SetItems(std::move(rows));
  status_.SetItems(std::move(statuses));
  if (selected >= 0 && storyErrorList_.Count() > selected) storyErrorList_.Select(selected);
  listedType_ = type;
}

const FaultPage::Group* FaultPage::SelectedGroup() const {
  const int row = storyErrorList_.Selected();
  if (row < 0 || static_cast<std::size_t>(row) >= rowGroup_.size()) return nullptr;
  const std::size_t g = rowGroup_[static_cast<std::size_t>(row)];
  return g < groups_.size() ? &groups_[g] : nullptr;
}

void FaultPage::StoredCodes(const ReplyCopy& reply, ExchangeBuffer& buffer) {
  const std::uint32_t type = ecuType_;
  RedrawLists(reply);
  if (!HasExtendedData(type)) {
    buttonStatus_.SetEnabled(false);
    buttonStatus_.SetVisible(false);
    dtcInfoMode_ = 0;
    labelErr_.SetCaption("Текущие ошибки");
    link::WriteKwpService(buffer, {0x21, 0x01});
    return;
  }
  buttonStatus_.SetEnabled(true);
  buttonStatus_.SetVisible(true);
  // With no row selected there is no code to ask about: the stored-codes request stays.
  const Group* selected = SelectedGroup();
  const auto hi = [](const Group& g) { return static_cast<std::uint8_t>(g.code >> 8); };
  const auto lo = [](const Group& g) { return static_cast<std::uint8_t>(g.code & 0xFF); };
  switch (dtcInfoMode_) {
    case 0:
      labelErr_.SetCaption("Расшифровка статуса ошибки");
      break;
    case 1:
      labelErr_.SetCaption("Сопутствующая ошибке информация");
      if (selected) link::WriteKwpService(buffer, {0x17, hi(*selected), lo(*selected)});
      break;
    case 2:
      labelErr_.SetCaption("Информация о FreezeFrameData");
      if (selected) link::WriteKwpService(buffer, {0x12, 0x00, 0x04, hi(*selected), lo(*selected)});
      break;
    case 3: {
      // A list that shrank below the index starts the round again, as the end of a round does.
      ++dtcScanIndex_;
      if (dtcScanIndex_ >= storedDtcCount_) {
        dtcScanIndex_ = 0;
        button8_.SetEnabled(true);
      }
      const auto index = static_cast<std::size_t>(dtcScanIndex_);
      if (index < groups_.size())
        link::WriteKwpService(buffer, {0x17, hi(groups_[index]), lo(groups_[index])});
      break;
    }
    default:
      break;
  }
  if (!selected) {
    freezeListBox_.Clear();
    curError_.Clear();
  } else if (dtcInfoMode_ == 0) {
    freezeListBox_.SetItems(StatusDecodeLines(selected->status));
    curError_.Clear();
  }
}

void FaultPage::PresentFaultMap(const ReplyCopy& reply) {
  std::vector<std::string> lines{" "};
  for (std::size_t k = 0; k < 32; ++k)
    if (Bit(reply[10 + k / 8], k % 8)) lines.push_back(RowText(ecuType_, k));
  curError_.SetItems(std::move(lines));
}

void FaultPage::StoreScan(const ReplyCopy& reply) {
  // A slot is laid out as the M7.9.7 related-information reply; M10's fits when it carries
  // exactly one code.
  const catalogue::RelatedLayout layout = catalogue::Lookup(ecuType_).related;
  if (layout != catalogue::RelatedLayout::M797 &&
      !(layout == catalogue::RelatedLayout::M10 && reply[4] == 1))
    return;
  const auto index = static_cast<std::size_t>(dtcScanIndex_);
  // Codes past the tenth are asked about but have no slot; a reply about another code than the
  // one asked for is kept out of this code's slot.
  if (index >= kDtcScanSlotCount || index >= groups_.size()) return;
  const auto code = static_cast<std::uint16_t>(reply[5] * 256 + reply[6]);
  if (code != groups_[index].code) return;
  std::copy_n(reply.begin() + 3, kDtcScanSlotSize, slots_[index].begin());
  slotCodes_[index] = code;
}

// January 4.1 and GM report their faults as maps of bits keyed by catalogue row; each tick
// draws the views anew from the latest reply.
void FaultPage::BitMapStep(const ReplyCopy& reply, ExchangeBuffer& buffer) {
  const std::uint32_t type = ecuType_;
  const bool gm = catalogue::Lookup(type).family == catalogue::LinkFamily::Gm;
  std::vector<std::string> stored, present{" "};
  if (session_.pageTickCount != 0) {
    if (gm) {
      for (std::size_t k = 0; k < 56; ++k) {
        if (Bit(reply[5 + k / 8], k % 8)) present.push_back(RowText(type, k));
        if (Bit(reply[12 + k / 8], k % 8)) stored.push_back(RowText(type, k));
      }
    } else {
      for (std::size_t k = 0; k < 32; ++k) {
        if (Bit(reply[k / 8], k % 8)) present.push_back(RowText(type, k));
        if (reply[4 + k] > 0x80) stored.push_back(RowText(type, k));
      }
    }
  }
  storyErrorList_.Clear();
  storyErrorList_.SetItems(std::move(stored));
  curError_.SetItems(std::move(present));
  // These rows stand for no stored-codes reply: the next one redraws, whatever it holds.
  rowGroup_.clear();
  listedType_ = 0;
  session_.pageTickCount = link::Add8(session_.pageTickCount, 1);

  const bool clear = session_.pendingCommand == 1;
  if (clear) {
    session_.pendingCommand = 0;
    AwaitClear(gm ? 0x0A : 0x62);
  }
  if (gm) {
    const std::uint8_t data = 0x00;
    if (clear)
      link::WriteGmRequest(buffer, 0x0A, nullptr, 0);
    else
      link::WriteGmRequest(buffer, 0x01, &data, 1);
  } else if (clear) {
    std::fill_n(buffer.transmitFrame, 34, 0);
    buffer.transmitFrame[0] = 0x62;
    buffer.transmitFrame[1] = 0x62;
    buffer.dataLength = 34;
  } else {
    const std::uint8_t request[] = {0x61, 0x08, 0x09, 0x0A, 0x63, 0x62};
    std::copy(std::begin(request), std::end(request), buffer.transmitFrame);
    buffer.dataLength = sizeof request;
  }
}

FaultReport FaultPage::Report() const {
  FaultReport report;
  report.scanned = checkBox1_.Checked();
  const auto& items = storyErrorList_.Items();
  for (std::size_t row = 0; row < items.size(); ++row) {
    FaultReport::Row r{text::Utf8ToCp1251(items[row]), {}};
    if (row < rowGroup_.size()) {
      const std::size_t g = rowGroup_[row];
      if (g < kDtcScanSlotCount && g < groups_.size() && slotCodes_[g] == groups_[g].code)
        r.slot = slots_[g];
    }
    report.rows.push_back(std::move(r));
  }
  report.freezeVisible = freezeListBox_.Visible();
  for (const auto& line : freezeListBox_.Items())
    report.freezeLines.push_back(text::Utf8ToCp1251(line));
  report.curErrorVisible = curError_.Visible();
  for (const auto& line : curError_.Items())
    report.curErrorLines.push_back(text::Utf8ToCp1251(line));
  return report;
}

}  // namespace kd::faults
