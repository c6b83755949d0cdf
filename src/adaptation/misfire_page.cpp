#include "adaptation/misfire_page.h"

#include "adaptation/grid_text.h"
#include "adaptation/misfire_params.h"
#include "link/kwp.h"

namespace kd::adaptation {

MisfirePageStep::MisfirePageStep(view::Form& form, const std::uint32_t& ecuType)
    : ecuType_(ecuType), grid_(form.Add<view::Grid>("StringGrid5")) {
  grid_.SetSize(3, 2);
  grid_.ColWidths() = {156, 113, 408};
}

void MisfirePageStep::TypeApplied() {
  const auto list = MisfireParamList(ecuType_);
  entries_.assign(list.begin(), list.end());
  grid_.SetSize(3, entries_.empty() ? 2 : static_cast<int>(entries_.size()) + 1);
  grid_.ColWidths() = {156, 113, 408};
  grid_.SetCell(0, 0, "Наим.переменной");
  grid_.SetCell(1, 0, "Знач.dec");
  grid_.SetCell(2, 0, "Коментарий");
  if (entries_.empty()) {
    grid_.SetCell(0, 1, kNotSupported);
    grid_.SetCell(1, 1, {});
    grid_.SetCell(2, 1, {});
    return;
  }
  for (std::size_t n = 0; n < entries_.size(); ++n) {
    const int row = static_cast<int>(n) + 1;
    grid_.SetCell(0, row, catalogue::FieldUtf8(entries_[n].name));
    grid_.SetCell(1, row, {});
    grid_.SetCell(2, row, catalogue::FieldUtf8(entries_[n].description));
  }
}

bool MisfirePageStep::Serves() const {
  return !entries_.empty();
}

void MisfirePageStep::Step(link::ReplyCopy& reply, link::ExchangeBuffer& buffer) {
  if (reply[4] == 0x61 && reply[5] == 0x04) {
    for (std::size_t n = 0; n < entries_.size(); ++n)
      if (DecodeMisfireEntry(entries_[n], reply))
        grid_.SetCell(1, static_cast<int>(n) + 1, MisfireValueText(entries_[n]));
  }
  link::WriteKwpService(buffer, {0x21, 0x04});
}

}  // namespace kd::adaptation
