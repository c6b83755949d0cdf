#include "faults/fault_detail.h"

#include "catalogue/ecu_catalogue.h"
#include "faults/ambient_table.h"
#include "faults/dtc_catalogue.h"
#include "text/number_format.h"

namespace kd::faults {

namespace {

using link::ReplyCopy;
using text::FormatNumber;
using text::Hex2;

bool Bit(std::uint8_t byte, int bit) {
  return (byte >> bit) & 1;
}

int LowFirst(const ReplyCopy& r, std::size_t at) {
  return link::At(r, at) + 256 * link::At(r, at + 1);
}

// A group whose first two bytes are FF holds no recording.
bool EmptyGroup(const ReplyCopy& r, std::size_t at) {
  return r[at] == 0xFF && r[at + 1] == 0xFF;
}

std::string ValueLine(const AmbientRecord& record, int raw) {
  const double value =
      raw * static_cast<double>(record.factor) + static_cast<double>(record.offset);
  return record.Utf8Name() + FormatNumber(value, text::DecimalsPattern(record.decimals));
}

// Lines whose bit is set, bit 0 first; a null text is a bit that gives no line.
void AddSetBits(std::vector<std::string>& lines, std::uint8_t byte, const char* const (&texts)[8]) {
  for (int bit = 0; bit < 8; ++bit)
    if (texts[bit] && Bit(byte, bit)) lines.emplace_back(texts[bit]);
}

std::string Counted(const char* label, double value, const char* pattern = "##0.") {
  return label + FormatNumber(value, pattern);
}

}  // namespace

std::vector<std::string> StatusDecodeLines(std::uint8_t status, std::string_view lampOff) {
  std::vector<std::string> lines;
  switch (status & 0x0F) {
    case 0:
      lines.emplace_back("no fault symptom available for this DTC");
      break;
    case 1:
      lines.emplace_back("Ошибка по превышению максим.порога.");
      break;
    case 2:
      lines.emplace_back("Ошибка по превышению миним.порога.");
      break;
    case 4:
      lines.emplace_back("Ошибка по отсутствию сигнала.");
      break;
    case 8:
      lines.emplace_back("Ошибка по неверному сигналу.");
      break;
    default:
      lines.emplace_back("Состояние статуса специфицир.производителем.");
      break;
  }
  lines.emplace_back(Bit(status, 4) ? "Тест для данной ошибки не закончен."
                                    : "Тест закончен или не требуется.");
  switch (status & 0x60) {
    case 0x20:
      lines.emplace_back("Ошибка сохранена, но не активна.");
      break;
    case 0x40:
      lines.emplace_back("Ошибка пропадающая.");
      break;
    case 0x60:
      lines.emplace_back("Ошибка присутствует в момент запроса.");
      break;
    default:
      break;
  }
  if (Bit(status, 7))
    lines.emplace_back("По данной ошибке лампа включена.");
  else
    lines.emplace_back(lampOff);
  return lines;
}

DetailLines DecodeM10Related(const ReplyCopy& r) {
  DetailLines out;
  const std::uint32_t code = r[5] * 256u + r[6];
  // A code the catalogue lacks is shown with the value definitions of the first row.
  const DtcEntry* entry = FirstDtcRow(8, code);
  if (!entry) entry = DtcRowAt(8, 0);
  const AmbientPair values = entry ? RelatedValues(8, *entry) : AmbientPair{};
  for (int g = 0; g < 3; ++g) {
    const std::size_t p = 18 + 6 * static_cast<std::size_t>(g);
    if (EmptyGroup(r, p)) continue;
    if (values.first) out.curError.push_back(ValueLine(*values.first, LowFirst(r, p)));
    if (values.second) out.curError.push_back(ValueLine(*values.second, LowFirst(r, p + 2)));
    out.curError.push_back("run time " + std::to_string(g + 1) + " =" +
                           FormatNumber(LowFirst(r, p + 4), "##0."));
  }

  static const char* const kFlagsA[8] = {
      nullptr,
      nullptr,
      "Бит сохранения кадра параметров.",
      nullptr,
      "Бит тест пройден после удаления данных по команде Clear Diagnostic Information.",
      "Бит сохранения DTC кода и кадра в памяти(DTCStorageState bit 5 status of DTC).",
      "Бит текущего результата диаг. функции(DTCStorageState bit 6 status of DTC).",
      "Бит индикации MIL по данной неисправности."};
  static const char* const kFlagsB[8] = {
      "Бит наличия хотя бы одной неисправности диагностической функции.",
      "Бит определения прохождения ездового цикла.",
      "Бит определения прохождения цикла прогрева ДВС.",
      "Бит теста диагностической функции в ездовом цикле.",
      nullptr,
      nullptr,
      nullptr,
      "Бит устойчивой неисправности."};
  AddSetBits(out.freeze, r[8], kFlagsA);
  AddSetBits(out.freeze, r[9], kFlagsB);
  switch ((r[9] >> 4) & 3) {
    case 1:
      out.freeze.emplace_back("Счетчик циклов до включения MIL = 2");
      break;
    case 2:
      out.freeze.emplace_back("Счетчик циклов до включения MIL = 1");
      break;
    case 3:
      out.freeze.emplace_back("Счетчик циклов до включения MIL = 0");
      break;
    default:
      out.freeze.emplace_back("Счетчик циклов до вкл. MIL = неактивен");
      break;
  }
  out.freeze.push_back(Counted("Счетчик определения устойчивости=", r[10]));
  out.freeze.push_back(Counted(
      Bit(r[8], 2) ? "HealingCounter                = " : "IntermittentCounter           = ",
      r[11]));
  return out;
}

DetailLines DecodeM797Related(const ReplyCopy& r) {
  DetailLines out;
  const std::uint32_t code = r[5] * 256u + r[6];
  // Without a catalogue row there is nothing to name or scale the two values by; the run time
  // needs no definition and is still shown.
  const DtcEntry* entry = FirstDtcRow(6, code);
  const AmbientPair values = entry ? RelatedValues(6, *entry) : AmbientPair{};
  for (int g = 0; g < 4; ++g) {
    const std::size_t p = 15 + 5 * static_cast<std::size_t>(g);
    if (EmptyGroup(r, p)) continue;
    if (values.first) out.curError.push_back(ValueLine(*values.first, r[p]));
    if (values.second) out.curError.push_back(ValueLine(*values.second, r[p + 1]));
    out.curError.push_back("runing time" + std::to_string(g + 1) + " =" +
                           FormatNumber(LowFirst(r, p + 3), "##0."));
  }

  switch (r[7] & 3) {
    case 3:
      out.freeze.emplace_back("Ошибка активна в момент запроса.");
      break;
    case 2:
      out.freeze.emplace_back("Ошибка не активна в момент запроса.");
      break;
    default:
      out.freeze.emplace_back("Проверка не закончена.");
      break;
  }
  static const char* const kType[8] = {"'max error' текущее состояние.",
                                       "'min error' текущее состояние.",
                                       "'signal error' текущее состояние.",
                                       "'not plausible' текущее состояние.",
                                       "'max error'",
                                       "'min error'",
                                       "'signal error'",
                                       "'not plausible'"};
  static const char* const kState[8] = {
      "Подтвержденная ошибка.", "FLC достигал нулевого значения.", nullptr, "Лампа MIL включена.",
      "Лампа MIL мигает.",      "Ошибка фиксируется многократно.", nullptr, nullptr};
  AddSetBits(out.freeze, r[8], kType);
  AddSetBits(out.freeze, r[9], kState);
  out.freeze.push_back(Counted("FLC MIL-on debouncing     = ", r[10]));
  out.freeze.push_back(Counted("TSF fault-time in this cycle=", r[11] * 0.2, "##0.0"));
  out.freeze.push_back(Counted("HLC MIL-off debouncing    = ", r[12]));
  out.freeze.push_back(Counted("DLC delete counter        = ", r[13]));
  out.freeze.push_back(Counted("HZ frequency counter      = ", r[14]));
  return out;
}

DetailLines DecodeMp70Related(const ReplyCopy& r) {
  DetailLines out;
  static const char* const kAmbient[6] = {
      "Ambient cond.1-1=", "Ambient cond.2-1=", "Ambient cond.3-1=",
      "Ambient cond.1-2=", "Ambient cond.2-2=", "Ambient cond.3-2="};
  for (std::size_t i = 0; i < 6; ++i) out.curError.push_back(kAmbient[i] + Hex2(r[14 + i]));

  out.freeze.push_back("Fault type topical        = " + Hex2(r[7]));
  static const char* const kTopical[8] = {"(eAct) error bit",
                                          "(zAct) cycle bit",
                                          "(eKdAct) error bit service",
                                          "(zkdAct) cycle bit service",
                                          nullptr,
                                          nullptr,
                                          nullptr,
                                          nullptr};
  AddSetBits(out.freeze, r[7], kTopical);
  out.freeze.push_back("Fault type debounced (confirmed)= " + Hex2(r[8]));
  static const char* const kDebounced[8] = {
      "maxAct Error is currently of fault type 'max error'",
      "minAct Error is currently of fault type 'min error'",
      "sigAct Error is currently of fault type 'signal error'",
      "nplAct Error is currently of fault type 'not plausible'",
      "maxIni Error was initially of fault type 'max error'",
      "minIni Error was initially of fault type 'min error'",
      "sigIni Error was initially of fault type 'signal error'",
      "nplIni Error was initially of fault type 'not plausible'"};
  AddSetBits(out.freeze, r[8], kDebounced);
  out.freeze.push_back(Counted("FLC MIL-on debouncing     = ", r[9]));
  out.freeze.push_back(Counted("TSF fault-time in this cycle= ", r[10]));
  out.freeze.push_back(Counted("HLC MIL-off debouncing    = ", r[11]));
  out.freeze.push_back(Counted("DLC delete counter        = ", r[12]));
  out.freeze.push_back(Counted("HZ frequency counter      = ", r[13]));
  return out;
}

DetailLines DecodeEmurRelated(const ReplyCopy& r) {
  DetailLines out;
  out.freeze.push_back(Counted("Усилие с датчика момента    = ", r[10]));
  out.freeze.push_back(Counted("Скорость автомобиля         = ", r[11]));
  out.freeze.push_back(Counted("Частота вращения двигателя  = ", r[12]));
  out.freeze.push_back(Counted("Общее количество возникнов. = ", r[13]));
  out.freeze.push_back(Counted("Время до выключения зажиган.= ", r[14]));
  out.freeze.push_back(Counted("Количество Д.циклов с мом.взн.= ", r[15]));
  return out;
}

DetailLines DecodeFreezeFrame(const ReplyCopy& r) {
  DetailLines out;
  out.freeze.emplace_back("Флаги статуса петли упр. A/F :");
  static const char* const kLoop[8] = {"(B_NOLRW)Open loop control: switch-on",
                                       "(B_LR2S)Closed loop with two oxygen sensors",
                                       "(B_NOLRB)Closed loop not activ,out of range",
                                       "(B_NOLRE)System error detected, loop off",
                                       "(B_LRVK)Closed loop with one oxygen sensor",
                                       nullptr,
                                       nullptr,
                                       nullptr};
  AddSetBits(out.freeze, r[5], kLoop);
  out.freeze.push_back(Counted("Нагрузка %                   = ", r[7] * 100.0 / 256, "##0.#"));
  out.freeze.push_back(Counted("Температура двигателя        = ", r[8] - 40, "##0.#"));
  out.freeze.push_back("Выход управления A/F (FRZ_FR)= " + Hex2(r[9]));
  out.freeze.push_back("Фактор адаптации упр.A/F(FRA)= " + Hex2(r[10]));
  out.freeze.push_back(Counted("Обороты двигателя:           = ", r[14] * 40));
  out.freeze.push_back(Counted("Реальная скорость автомобиля = ", r[15]));
  return out;
}

std::optional<FaultDetail> DecodeFaultDetail(std::uint32_t ecuType, std::uint32_t dtcInfoMode,
                                             const ReplyCopy& reply) {
  const catalogue::EcuInfo& ecu = catalogue::Lookup(ecuType);
  if (reply[3] == 0x57 && dtcInfoMode == 1) {
    switch (ecu.related) {
      case catalogue::RelatedLayout::M10:
        if (reply[4] != 1) return std::nullopt;
        return FaultDetail{DecodeM10Related(reply), true};
      case catalogue::RelatedLayout::M797:
        return FaultDetail{DecodeM797Related(reply), true};
      case catalogue::RelatedLayout::Mp70:
        return FaultDetail{DecodeMp70Related(reply), true};
      case catalogue::RelatedLayout::Emur:
        return FaultDetail{DecodeEmurRelated(reply), true};
      case catalogue::RelatedLayout::None:
        return std::nullopt;
    }
  }
  if (reply[3] == 0x52 && dtcInfoMode == 2 &&
      ecu.faultDetail >= catalogue::FaultDetailLevel::RelatedStatus)
    return FaultDetail{DecodeFreezeFrame(reply), false};
  return std::nullopt;
}

}  // namespace kd::faults
