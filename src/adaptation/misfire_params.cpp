#include "adaptation/misfire_params.h"

#include <vector>

#include "adaptation/grid_text.h"
#include "catalogue/ecu_catalogue.h"
#include "text/number_format.h"

namespace kd::adaptation {

namespace {

using catalogue::ParamRecord;

struct Entry {
  const char* name;
  char kind;
  std::int32_t width;
  float scale;
  std::int32_t decimals;
  std::int32_t dataOffset;
  std::int32_t bit;
  const char* description;
};

// The scales the controllers keep as powers of two are written as such, so that a raw value of
// 2^n shows exactly.
constexpr float k2m7 = 0x1p-7f;
constexpr float k2m15 = 0x1p-15f;
constexpr float k2m22 = 0x1p-22f;
constexpr float k2m26 = 0x1p-26f;

// clang-format off
const Entry kBoschEntries[] = {
    {"FESB",      'P', 2, k2m22, 6, 0,  0, "Адаптация неравн. вращения"},
    {"A2ZADZ",    'P', 2, 0.5f,  0, 2,  0, "Счетчик обучения 2-й диап."},
    {"A3ZADZ",    'P', 2, 0.5f,  0, 4,  0, "Счетчик обучения 3-й диап."},
    {"A4ZADZ",    'P', 2, 0.5f,  0, 6,  0, "Счетчик обучения 4-й диап."},
    {"ASXLRN1",   'P', 2, k2m15, 6, 8,  0, "Адаптация неравн.1-й диап."},
    {"ASXLRN2",   'P', 2, k2m15, 6, 10, 0, "Адаптация неравн.2-й диап."},
    {"ASXLRN3",   'P', 2, k2m15, 6, 12, 0, "Адаптация неравн.3-й диап."},
    {"ASXLRN4",   'P', 2, k2m15, 6, 14, 0, "Адаптация неравн.4-й диап."},
    {"JFZKAT3_T", 'P', 2, 1,     0, 16, 0, "Счетчик пропусков 2-й цил."},
    {"JFZKAT2_T", 'P', 2, 1,     0, 18, 0, "Счетчик пропусков 4-й цил."},
    {"JFZKAT1_T", 'P', 2, 1,     0, 20, 0, "Счетчик пропусков 3-й цил."},
    {"JFZKAT0_T", 'P', 2, 1,     0, 22, 0, "Счетчик пропусков 1-й цил."},
    {"FLUSTOP",   'P', 1, 1,     0, 24, 0, "Байт состояния."},
    {"Запрет.Обороты < мин.",  'B', 1, 0, 0, 24, 0, " "},
    {"Запрет.Обороты > макс.", 'B', 1, 0, 0, 24, 1, " "},
    {"Запрет.Приращ.нагр.",    'B', 1, 0, 0, 24, 2, " "},
    {"Запрет.Приращ.обор.",    'B', 1, 0, 0, 24, 3, " "},
    {"Запрет.Нагр.< порога",   'B', 1, 0, 0, 24, 4, " "},
    {"Запрет.Блок.топл.",      'B', 1, 0, 0, 24, 5, " "},
    {"Разреш.распознавания",   'B', 1, 0, 0, 24, 7, " "},
};

const Entry kM10Entries[] = {
    {"pAKFREQM0[0]", 'S', 4, k2m26, 6, 0,  0, "Коэффициент 0 адаптации неравномерной нарезки зубьев КВ для сегмента 0"},
    {"pAKFREQM0[1]", 'S', 4, k2m26, 6, 4,  0, "Коэффициент 0 адаптации неравномерной нарезки зубьев КВ для сегмента 1"},
    {"pAKFREQM1[0]", 'S', 4, k2m26, 6, 8,  0, "Коэффициент 1 адаптации неравномерной нарезки зубьев КВ для сегмента 0."},
    {"pAKFREQM1[1]", 'S', 4, k2m26, 6, 12, 0, "Коэффициент 1 адаптации неравномерной нарезки зубьев КВ для сегмента 1."},
    {"pDISKIRRCREADY[0]", 'B', 1, 0, 0, 16, 0, "Флаг готовности зоны 1"},
    {"pDISKIRRCREADY[1]", 'B', 1, 0, 0, 17, 0, "Флаг готовности зоны 2"},
    {"pDISKIRRCREADY[2]", 'B', 1, 0, 0, 18, 0, "Флаг готовности зоны 3"},
    {"pIRREGCOND",     'B', 1, 0, 0, 19, 0, "Флаг условий для диагностирования пропусков воспламенения"},
    {"pMISFIREFL[0]",  'B', 1, 0, 0, 20, 0, "Флаг пропуска цил.0 (по порядку работы)"},
    {"pMISFIREFL[1]",  'B', 1, 0, 0, 21, 0, "Флаг пропуска цил.1 (по порядку работы)"},
    {"pMISFIREFL[2]",  'B', 1, 0, 0, 22, 0, "Флаг пропуска цил.2 (по порядку работы)"},
    {"pMISFIREFL[3]",  'B', 1, 0, 0, 23, 0, "Флаг пропуска цил.3 (по порядку работы)"},
    {"pMISINJDSBL[0]", 'B', 1, 0, 0, 24, 0, "Флаг блок.топлива в цил.0 (по порядку работы)"},
    {"pMISINJDSBL[1]", 'B', 1, 0, 0, 25, 0, "Флаг блок.топлива в цил.1 (по порядку работы)"},
    {"pMISINJDSBL[2]", 'B', 1, 0, 0, 26, 0, "Флаг блок.топлива в цил.2 (по порядку работы)"},
    {"pMISINJDSBL[3]", 'B', 1, 0, 0, 27, 0, "Флаг блок.топлива в цил.3 (по порядку работы)"},
    {"pMISFCCS",   'P', 2, 1,    0, 28, 0, "Счетчик циклов уровня разрушения нейтр.(общий для всех цилиндров)."},
    {"qMISFPCS",   'P', 2, 1,    0, 30, 0, "База счетчика циклов уровня разрушения нейтр."},
    {"pMISFICS",   'P', 2, k2m7, 0, 32, 0, "Счетчик пропусков уровня разрушения нейтр.(общий для всех цилиндров)."},
    {"pMISFIC[0]", 'P', 2, k2m7, 0, 34, 0, "Счетчик пропусков уровня разрушения нейтр.по цил.0 (по порядку работы)."},
    {"pMISFIC[1]", 'P', 2, k2m7, 0, 36, 0, "Счетчик пропусков уровня разрушения нейтр.по цил.1 (по порядку работы)."},
    {"pMISFIC[2]", 'P', 2, k2m7, 0, 38, 0, "Счетчик пропусков уровня разрушения нейтр.по цил.2 (по порядку работы)."},
    {"pMISFIC[3]", 'P', 2, k2m7, 0, 40, 0, "Счетчик пропусков уровня разрушения нейтр.по цил.3 (по порядку работы)."},
    {"qMISFLCS",   'P', 2, k2m7, 0, 42, 0, "Порог пропусков для определения уровня разрушения нейтр."},
    {"pMISFCES",   'P', 2, 1,    0, 44, 0, "Счетчик циклов уровня нарушения токсичности."},
    {"qMISFPES",   'P', 2, 1,    0, 46, 0, "База счетчика циклов уровня нарушения токсичности."},
    {"pMISFICS",   'P', 2, 1,    0, 48, 0, "Счетчик пропусков уровня нарушения токсичности (общий для всех цилиндров)."},
    {"pMISFIE[0]", 'P', 2, 1,    0, 50, 0, "Счетчик пропусков уровня нарушения токсичности по цил.0 (по порядку работы)."},
    {"pMISFIE[1]", 'P', 2, 1,    0, 52, 0, "Счетчик пропусков уровня нарушения токсичности по цил.1 (по порядку работы)."},
    {"pMISFIE[2]", 'P', 2, 1,    0, 54, 0, "Счетчик пропусков уровня нарушения токсичности по цил.2 (по порядку работы)."},
    {"pMISFIE[3]", 'P', 2, 1,    0, 56, 0, "Счетчик пропусков уровня нарушения токсичности по цил.3 (по порядку работы)."},
    {"qMISFLES",   'P', 2, 1,    0, 58, 0, "Порог пропусков для определения уровня нарушения токсичности."},
    {"pMISFTRIP[0]", 'P', 2, 1,  0, 60, 0, "Счетчик пропусков предыдущей поездки для цилиндра 0 (по порядку работы)."},
    {"pMISFTRIP[1]", 'P', 2, 1,  0, 62, 0, "Счетчик пропусков предыдущей поездки для цилиндра 1 (по порядку работы)."},
    {"pMISFTRIP[2]", 'P', 2, 1,  0, 64, 0, "Счетчик пропусков предыдущей поездки для цилиндра 2 (по порядку работы)."},
    {"pMISFTRIP[3]", 'P', 2, 1,  0, 66, 0, "Счетчик пропусков предыдущей поездки для цилиндра 3 (по порядку работы)."},
    {"",             0,   0, 0,  0, 0,  0, ""},
};
// clang-format on

template <std::size_t N>
std::vector<ParamRecord> Records(const Entry (&entries)[N]) {
  std::vector<ParamRecord> list(N);
  for (std::size_t i = 0; i < N; ++i) {
    const Entry& e = entries[i];
    ParamRecord& r = list[i];
    catalogue::SetFieldText(r.name, text::Utf8ToCp1251(e.name));
    catalogue::SetFieldText(r.description, text::Utf8ToCp1251(e.description));
    r.kind = e.kind;
    r.width = e.width;
    r.scale = e.scale;
    r.decimals = e.decimals;
    r.dataOffset = e.dataOffset;
    r.bit = e.bit;
  }
  return list;
}

std::int64_t SignExtend(std::uint32_t raw, std::int32_t width) {
  switch (width) {
    case 1:
      return static_cast<std::int8_t>(raw);
    case 2:
      return static_cast<std::int16_t>(raw);
    default:
      return static_cast<std::int32_t>(raw);
  }
}

}  // namespace

std::span<const ParamRecord> MisfireParamList(std::uint32_t ecuType) {
  static const std::vector<ParamRecord> kBosch = Records(kBoschEntries);
  static const std::vector<ParamRecord> kM10 = Records(kM10Entries);
  switch (catalogue::Lookup(ecuType).adaptation) {
    case catalogue::AdaptationFamily::January5:
    case catalogue::AdaptationFamily::Mp70:
    case catalogue::AdaptationFamily::M797:
      return kBosch;
    case catalogue::AdaptationFamily::M10:
      return kM10;
    case catalogue::AdaptationFamily::None:
      break;
  }
  return {};
}

bool DecodeMisfireEntry(ParamRecord& entry, const link::ReplyCopy& reply) {
  // Offsets come from the list (or, one day, a file): anything outside the reply reads as 0.
  const std::int64_t at = 6 + static_cast<std::int64_t>(entry.dataOffset);
  if (at < 0) return false;
  const auto p = static_cast<std::size_t>(at);
  if (entry.kind == 'B') {
    const bool inByte = entry.bit >= 0 && entry.bit < 8;
    entry.bitState = inByte ? (link::At(reply, p) >> entry.bit) & 1 : 0;
    return true;
  }
  if (entry.kind != 'H' && entry.kind != 'P' && entry.kind != 'S') return false;
  std::uint32_t raw = 0;
  switch (entry.width) {
    case 1:
      raw = link::At(reply, p);
      break;
    case 2:
      raw = Word16(reply, p);
      break;
    case 4:
      raw = Word32(reply, p);
      break;
    default:
      return false;
  }
  const double value = entry.kind == 'S' ? static_cast<double>(SignExtend(raw, entry.width))
                                         : static_cast<double>(raw);
  entry.value = static_cast<float>(value * entry.scale + entry.offset);
  return true;
}

std::string MisfireValueText(const ParamRecord& entry) {
  if (entry.kind == 'B') return entry.bitState ? "ДА" : "НЕТ";
  const char* pattern = entry.decimals == 0   ? "###0."
                        : entry.decimals == 1 ? "###0.#"
                        : entry.decimals == 6 ? "###0.######"
                                              : "###0.##";
  return text::FormatNumber(entry.value, pattern);
}

}  // namespace kd::adaptation
