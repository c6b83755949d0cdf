#include "adaptation/fuel_cells_page.h"

#include "adaptation/grid_text.h"
#include "catalogue/ecu_catalogue.h"
#include "link/kwp.h"
#include "text/cp1251.h"
#include "text/number_format.h"

namespace kd::adaptation {

namespace {

using catalogue::AdaptationFamily;

constexpr const char* kLoads16[] = {"30",  "58",  "86",  "114", "142", "170", "198", "226",
                                    "254", "282", "310", "338", "366", "394", "422", "450"};
constexpr const char* kSpeeds16[] = {"600",  "720",  "840",  "990",  "1170", "1380",
                                     "1650", "1950", "2310", "2730", "3210", "3840",
                                     "4530", "5370", "6360", "7500"};
constexpr const char* kLoads8[] = {"30", "86", "142", "198", "254", "310", "366", "422"};
constexpr const char* kSpeeds8[] = {"800", "920", "1120", "1440", "1840", "2400", "3080", "4000"};
constexpr const char* kPurgeRow = "Адс.";
constexpr const char* kCorner = "/Адс.";
constexpr int kCellWidth = 34;
// M10's nine columns have the room for the three decimals its pattern shows.
constexpr int kM10CellWidth = 48;

// Labels of both halves: loads across row 0, speeds down column 0, the purge row between.
template <std::size_t L, std::size_t S>
void Lay(view::Grid& grid, const char* const (&loads)[L], const char* const (&speeds)[S],
         int width) {
  constexpr int half = static_cast<int>(S);
  grid.SetSize(static_cast<int>(L) + 1, 2 * half + 2);
  grid.ColWidths().assign(L + 1, width);
  grid.SetCell(0, 0, kCorner);
  for (std::size_t c = 0; c < L; ++c) grid.SetCell(static_cast<int>(c) + 1, 0, loads[c]);
  for (int i = 0; i < half; ++i) {
    grid.SetCell(0, 1 + i, speeds[i]);
    grid.SetCell(0, half + 2 + i, speeds[i]);
  }
  grid.SetCell(0, half + 1, kPurgeRow);
}

void ReadMemory(link::ExchangeBuffer& buffer, std::uint16_t address) {
  link::WriteKwpService(buffer, {0x23, 0x00, static_cast<std::uint8_t>(address >> 8),
                                 static_cast<std::uint8_t>(address), kFuelBlockSize});
}

}  // namespace

FuelCellsPageStep::FuelCellsPageStep(view::Form& form, const std::uint32_t& ecuType)
    : ecuType_(ecuType),
      grid_(form.Add<view::Grid>("StringGrid3")),
      button2_(form.Add<view::Button>("Button2")) {
  grid_.SetSize(17, 34);
  grid_.ColWidths().assign(17, kCellWidth);
  button2_.SetCaption(kSaveCaption);
  button2_.OnClick = [this] {
    if (OnSave) OnSave();
  };
}

void FuelCellsPageStep::TypeApplied() {
  switch (catalogue::Lookup(ecuType_).adaptation) {
    case AdaptationFamily::January5:
      Lay(grid_, kLoads16, kSpeeds16, kCellWidth);
      break;
    case AdaptationFamily::M10:
      Lay(grid_, kLoads8, kSpeeds8, kM10CellWidth);
      break;
    case AdaptationFamily::Mp70:
    case AdaptationFamily::M797:
    case AdaptationFamily::None:
      // These controllers keep no cells the page can read.
      grid_.SetSize(2, 2);
      grid_.ColWidths() = {186, kCellWidth};
      grid_.SetCell(0, 0, "");
      grid_.SetCell(1, 0, "");
      grid_.SetCell(0, 1, kNotSupported);
      break;
  }
  ClearValues(grid_);
  button2_.SetEnabled(Serves());
}

bool FuelCellsPageStep::Serves() const {
  const AdaptationFamily family = catalogue::Lookup(ecuType_).adaptation;
  return family == AdaptationFamily::January5 || family == AdaptationFamily::M10;
}

void FuelCellsPageStep::Step(link::ReplyCopy& reply, link::ExchangeBuffer& buffer) {
  switch (catalogue::Lookup(ecuType_).adaptation) {
    case AdaptationFamily::January5:
      JanuaryStep(reply, buffer);
      break;
    case AdaptationFamily::M10:
      M10Step(reply, buffer);
      break;
    default:
      // No request of its own: the engine's keeps the session alive, where a frame without a
      // service would not.
      break;
  }
}

// Block k (1..32) lies at FD00 + 16(k-1): blocks 1..16 fill the columns of the first half,
// 17..32 those of the second. After block 32 the controller is asked for FF00 once more; that
// answer, or any answer that is no memory, starts the sweep again.
void FuelCellsPageStep::JanuaryStep(const link::ReplyCopy& reply, link::ExchangeBuffer& buffer) {
  ReadMemory(buffer, address_);
  const bool memory = reply[4] == 0x63;
  if (!memory || block_ == 0 || block_ > kFuelBlockCount) {
    RestartSweep(buffer);
    return;
  }
  const int col = block_ <= 16 ? block_ : block_ - 16;
  const int firstRow = block_ <= 16 ? 1 : 18;
  for (int i = 0; i < kFuelBlockSize; ++i)
    grid_.SetCell(col, firstRow + i, text::FormatNumber(reply[5 + i] / 256.0 + 0.5, "#0.##"));
  address_ = static_cast<std::uint16_t>(kFuelSweepStart + kFuelBlockSize * block_);
  ReadMemory(buffer, address_);
  block_ = link::Add8(block_, 1);
}

// The request that goes out with the restart asks for block 1 itself, so that the answer taken
// for block 1 is never another block's.
void FuelCellsPageStep::RestartSweep(link::ExchangeBuffer& buffer) {
  address_ = kFuelSweepStart;
  block_ = 1;
  ReadMemory(buffer, address_);
}

// The two records alternate: 21 21 fills the first half and asks for 21 22, which fills the
// second and leaves the request at 21 21.
void FuelCellsPageStep::M10Step(const link::ReplyCopy& reply, link::ExchangeBuffer& buffer) {
  link::WriteKwpService(buffer, {0x21, 0x21});
  if (reply[4] != 0x61 || (reply[5] != 0x21 && reply[5] != 0x22)) return;
  const int firstRow = reply[5] == 0x21 ? 1 : 10;
  for (int i = 0; i < 8; ++i)
    for (int j = 0; j < 8; ++j) {
      const double value = Word16(reply, 6 + 2 * (8 * i + j)) / 8192.0;
      grid_.SetCell(j + 1, firstRow + i, text::FormatNumber(value, "#0.###"));
    }
  if (reply[5] == 0x21) link::WriteKwpService(buffer, {0x21, 0x22});
}

std::string FuelCellsPageStep::ReportBody() const {
  std::string out = text::Utf8ToCp1251("\r\nЯчейки самообучения по датчику кислорода.\r\n");
  if (catalogue::Lookup(ecuType_).adaptation == AdaptationFamily::M10)
    AppendGridRows(out, grid_, 18, 9);
  else
    AppendGridRows(out, grid_, 34, 17);
  return out;
}

}  // namespace kd::adaptation
