#include "adaptation/knock_cells_page.h"

#include "adaptation/grid_text.h"
#include "catalogue/ecu_catalogue.h"
#include "link/kwp.h"
#include "text/cp1251.h"
#include "text/number_format.h"

namespace kd::adaptation {

namespace {

using catalogue::AdaptationFamily;

constexpr const char* kSpeeds[] = {"600",  "720",  "840",  "990",  "1170", "1380", "1650", "1950",
                                   "2310", "2730", "3210", "3840", "4530", "5370", "6360", "7500"};
constexpr int kCylinders = 4;

void Zones(view::Grid& grid, int zones) {
  grid.SetSize(5, zones + 1);
  for (int i = 1; i <= zones; ++i) grid.SetCell(0, i, "Корр. УОЗ Зона №" + std::to_string(i));
}

// A memory block of four cylinders, `zones` bytes each, from reply byte 5.
void ShowBlock(view::Grid& grid, const link::ReplyCopy& reply, int zones, double scale) {
  for (int c = 0; c < kCylinders; ++c)
    for (int i = 0; i < zones; ++i)
      grid.SetCell(c + 1, i + 1,
                   text::FormatNumber(link::At(reply, 5 + zones * c + i) * scale, "#0.#"));
}

}  // namespace

KnockCellsPageStep::KnockCellsPageStep(view::Form& form, const std::uint32_t& ecuType)
    : ecuType_(ecuType),
      grid_(form.Add<view::Grid>("StringGrid6")),
      button4_(form.Add<view::Button>("Button4")) {
  grid_.SetSize(5, 2);
  button4_.SetCaption(kSaveCaption);
  button4_.OnClick = [this] {
    if (OnSave) OnSave();
  };
}

void KnockCellsPageStep::TypeApplied() {
  switch (catalogue::Lookup(ecuType_).adaptation) {
    case AdaptationFamily::January5:
      Zones(grid_, 12);
      break;
    case AdaptationFamily::M797:
      Zones(grid_, 20);
      break;
    case AdaptationFamily::M10:
      grid_.SetSize(5, 33);
      for (int i = 0; i < 16; ++i) {
        grid_.SetCell(0, 1 + i, std::string("Шум для ") + kSpeeds[i]);
        grid_.SetCell(0, 17 + i, std::string("Корр. УОЗ для ") + kSpeeds[i]);
      }
      break;
    case AdaptationFamily::Mp70:
    case AdaptationFamily::None:
      grid_.SetSize(5, 2);
      grid_.SetCell(0, 1, kNotSupported);
      break;
  }
  grid_.ColWidths() = {186, 104, 98, 95, 92};
  grid_.SetCell(0, 0, {});
  for (int c = 1; c <= kCylinders; ++c) grid_.SetCell(c, 0, "Цилиндр №" + std::to_string(c));
  ClearValues(grid_);
}

bool KnockCellsPageStep::Serves() const {
  const AdaptationFamily family = catalogue::Lookup(ecuType_).adaptation;
  return family != AdaptationFamily::None && family != AdaptationFamily::Mp70;
}

void KnockCellsPageStep::Step(link::ReplyCopy& reply, link::ExchangeBuffer& buffer) {
  switch (catalogue::Lookup(ecuType_).adaptation) {
    case AdaptationFamily::January5:
      link::WriteKwpService(buffer, {0x23, 0x00, 0xF9, 0x00, 0x30});
      if (reply[4] == 0x63) ShowBlock(grid_, reply, 12, 0.5);
      break;
    case AdaptationFamily::M797:
      M797Step(reply, buffer);
      break;
    case AdaptationFamily::M10:
      M10Step(reply, buffer);
      break;
    default:
      // No request of its own: the engine's keeps the session alive.
      break;
  }
}

// The block can be read only inside the special session, so the page opens it before every
// read: session start, memory read, session start, one request a tick. A refused session is the
// engine's to handle: it reopens communication, and the page asks again once it is back.
void KnockCellsPageStep::M797Step(const link::ReplyCopy& reply, link::ExchangeBuffer& buffer) {
  link::WriteKwpService(buffer, {0x10, 0x83});
  if (reply[3] == 0x50) link::WriteKwpService(buffer, {0x23, 0x0F, 0x26, 0x6A, 0x50});
  if (reply[4] == 0x63 || reply[3] == 0x63) ShowBlock(grid_, reply, 20, 0.75);
}

void KnockCellsPageStep::M10Step(const link::ReplyCopy& reply, link::ExchangeBuffer& buffer) {
  link::WriteKwpService(buffer, {0x21, 0x23});
  if (reply[4] != 0x61) return;
  if (reply[5] == 0x23) {
    link::WriteKwpService(buffer, {0x21, 0x24});
    for (int c = 0; c < kCylinders; ++c)
      for (int i = 0; i < 16; ++i)
        grid_.SetCell(c + 1, i + 1, text::FormatNumber(link::At(reply, 6 + 16 * c + i), "#0.###"));
  } else if (reply[5] == 0x24) {
    for (int c = 0; c < kCylinders; ++c)
      for (int i = 0; i < 16; ++i) {
        const double value = Word16(reply, 6 + 2 * (16 * c + i)) * 6 * 0.125;
        grid_.SetCell(c + 1, i + 17, text::FormatNumber(value, "#0.#"));
      }
  }
}

std::string KnockCellsPageStep::ReportBody() const {
  std::string out = text::Utf8ToCp1251("\r\nЯчейки самообучения УОЗ по датчику детонации.\r\n");
  AppendGridRows(out, grid_, grid_.RowCount(), grid_.ColCount());
  return out;
}

}  // namespace kd::adaptation
