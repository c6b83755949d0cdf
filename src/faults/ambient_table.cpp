#include "faults/ambient_table.h"

#include <utility>
#include <vector>

#include "catalogue/ecu_catalogue.h"
#include "text/cp1251.h"

namespace kd::faults {

namespace {

struct Row {
  const char* name;
  std::uint8_t width;
  std::uint8_t decimals;
  float factor;
  float offset;
  const char* description;
};

// Columns: name, width, decimals, factor, offset, description. Names keep their blanks: the
// values line up behind them on screen.
// clang-format off
// Type 6, M7.9.7: one-byte values.
constexpr Row kM797[] = {
    /* 0 */ {"NMOT  = ", 1, 0, 40, 0, "Обороты двигателя."},
    /* 1 */ {"WDKBA= ", 1, 0, 0.390625f, 0, "Датчик положения дросселя."},
    /* 2 */ {"TMOT  = ", 1, 0, 0.75f, -48, "Датчик температуры охлаждающей жидкости."},
    /* 3 */ {"TANS  = ", 1, 0, 0.75f, -48, "Датчик температуры впускного воздуха."},
    /* 4 */ {"ML     = ", 1, 1, 4, 0, "Нагрузка на двигатель."},
    /* 5 */ {"RINV  = ", 1, 0, 64, 0, "Сопротивление датчика О2_1."},
    /* 6 */ {"RINH  = ", 1, 0, 64, 0, "Сопротивление датчика О2_2."},
    /* 7 */ {"UB     = ", 1, 1, 0.073675f, 0, "Напряжение датчика кислорода."},
    /* 8 */ {"TABGM = ", 1, 0, 5, -50, "Температура газов (модель)."},
    /* 9 */ {"TKATM = ", 1, 0, 5, -50, "Температура нейтрализатора."},
    /* 10 */ {"VFZG  = ", 1, 0, 1, 0, "Скорость автомобиля."},
    /* 11 */ {"FRA   = ", 1, 2, 0.0078125f, 0, " КОЭФФ."},
    /* 12 */ {"RL     = ", 1, 1, 0.75f, 0, " ."},
};

// Type 8, M10: two-byte values, low byte first. 0.0048875855 is 5/1023.
constexpr Row kM10[] = {
    /* 0 */ {"pUACC    = ", 2, 1, 0.00390625f, 0, "Напряжение бортовой сети автомобиля."},
    /* 1 */ {"pGBCFUEL = ", 2, 0, 0.0625f, 0, "Результирующее цикловое наполнение для цикловой подачи топлива."},
    /* 2 */ {"pTIMAFTST= ", 2, 0, 1, 0, "Счетчик времени работы двигателя после пуска."},
    /* 3 */ {"pFREQ    = ", 2, 0, 0.5f, 0, "Частота вращения коленчатого вала."},
    /* 4 */ {"pCOOLT   = ", 2, 0, 0.0078125f, 0, "Температура охлаждающей жидкости."},
    /* 5 */ {"pVHSPEED = ", 2, 0, 1, 0, "Скорость автомобиля."},
    /* 6 */ {"pTHR     = ", 2, 0, 0.0078125f, 0, "Положение дроссельной заслонки."},
    /* 7 */ {"pCOLTMOD = ", 2, 1, 0.0078125f, -40, "Модельная температура охлаждающей жидкости."},
    /* 8 */ {"pULAMUP  = ", 2, 0, 0.0048875855f, 0, "Напряжение АЦП лямбда-зонда до нейтрализатора."},
    /* 9 */ {"pULAMDWN = ", 2, 0, 0.0048875855f, 0, "Напряжение АЦП лямбда-зонда после нейтрализатора."},
};

// Type 11, EMUR: record k is reply byte 10+k of the related information, shown raw. The unit's
// catalogue row names no record, so the view shows all six for every code; the names are the
// view's own labels, longer than the 24 characters the engine controllers' names keep to.
constexpr Row kEmur[] = {
    /* 0 */ {"Усилие с датчика момента    = ", 1, 0, 1, 0, ""},
    /* 1 */ {"Скорость автомобиля         = ", 1, 0, 1, 0, ""},
    /* 2 */ {"Частота вращения двигателя  = ", 1, 0, 1, 0, ""},
    /* 3 */ {"Общее количество возникнов. = ", 1, 0, 1, 0, ""},
    /* 4 */ {"Время до выключения зажиган.= ", 1, 0, 1, 0, ""},
    /* 5 */ {"Количество Д.циклов с мом.взн.= ", 1, 0, 1, 0, ""},
};
// clang-format on

std::vector<AmbientRecord> Build(std::span<const Row> rows) {
  std::vector<AmbientRecord> records;
  records.reserve(rows.size());
  for (const Row& row : rows) {
    AmbientRecord r;
    r.name = text::Utf8ToCp1251(row.name);
    r.width = row.width;
    r.decimals = row.decimals;
    r.factor = row.factor;
    r.offset = row.offset;
    r.description = text::Utf8ToCp1251(row.description);
    records.push_back(std::move(r));
  }
  return records;
}

const std::vector<AmbientRecord>& Table(std::uint32_t ecuType) {
  switch (ecuType) {
    case catalogue::EcuCode::M797: {
      static const auto t = Build(kM797);
      return t;
    }
    case catalogue::EcuCode::M10: {
      static const auto t = Build(kM10);
      return t;
    }
    case catalogue::EcuCode::EMUR: {
      static const auto t = Build(kEmur);
      return t;
    }
    default: {
      static const std::vector<AmbientRecord> none;
      return none;
    }
  }
}

}  // namespace

std::string AmbientRecord::Utf8Name() const {
  return text::Cp1251ToUtf8(name);
}

std::string AmbientRecord::Utf8Description() const {
  return text::Cp1251ToUtf8(description);
}

std::span<const AmbientRecord> AmbientTable(std::uint32_t ecuType) {
  return Table(ecuType);
}

const AmbientRecord* AmbientAt(std::uint32_t ecuType, std::uint32_t index) {
  const auto& t = Table(ecuType);
  return index < t.size() ? &t[index] : nullptr;
}

AmbientPair RelatedValues(std::uint32_t ecuType, const DtcEntry& entry) {
  return {AmbientAt(ecuType, entry.ambient1), AmbientAt(ecuType, entry.ambient2)};
}

}  // namespace kd::faults
