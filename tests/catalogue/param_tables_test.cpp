// The built-in parameter tables: read against the controllers' documented rows, and checked for
// the mistakes a hand-kept table invites (a position outside the reply, two values on one byte, a
// text that no longer fits its field).
#include "catalogue/param_tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "catalogue/ecu_catalogue.h"
#include "text/cp1251.h"

namespace kd::catalogue {
namespace {

template <std::size_t N>
std::string Utf8(const char (&field)[N]) {
  return text::Cp1251ToUtf8(FieldText(field));
}

std::string Where(std::uint32_t type, std::size_t row) {
  return "type " + std::to_string(type) + " row " + std::to_string(row);
}

bool IsEmpty(const ParamRecord& r) {
  const ParamRecord empty{};
  return std::memcmp(&r, &empty, sizeof r) == 0;
}

// Positions a record claims in a position-addressed reply: the bytes its value occupies, and for
// kind 'D' the separate low byte.
std::vector<int> Claimed(const ParamRecord& r) {
  std::vector<int> bytes{r.dataOffset};
  int length = r.width;
  if (r.kind == 'H' || r.kind == 'D' || r.scale == -1.0f) length = std::max(length, 2);
  if (r.kind == 'D') {
    bytes.push_back(r.bit);
  } else {
    for (int i = 1; i < length; ++i) bytes.push_back(r.dataOffset + i);
  }
  return bytes;
}

TEST(BuiltInParams, EveryTypeHasItsCataloguedLengthAndUnknownCodesGetType1s) {
  const std::pair<std::uint32_t, std::size_t> counts[] = {
      {1, 25}, {2, 32}, {9, 34}, {3, 33},  {7, 99},  {4, 25},
      {5, 32}, {6, 68}, {8, 56}, {10, 25}, {11, 22},
  };
  for (const auto& [type, count] : counts) {
    EXPECT_EQ(BuiltInParams(type).size(), count) << "type " << type;
    EXPECT_EQ(BuiltInParams(type).size(), static_cast<std::size_t>(Lookup(type).paramCount))
        << "type " << type;
  }
  for (const std::uint32_t code : {0u, 12u, 0xFFFFFFFFu}) {
    EXPECT_EQ(BuiltInParams(code).data(), BuiltInParams(1).data()) << "code " << code;
    EXPECT_EQ(BuiltInParams(code).size(), 25u) << "code " << code;
  }
  // Built once: the list is copied out of the same records every time.
  EXPECT_EQ(BuiltInParams(7).data(), BuiltInParams(7).data());
}

struct Expected {
  std::uint32_t type;
  std::size_t row;
  const char* name;
  const char* unit;
  char kind;
  std::int32_t width, dataOffset, bit;
  float scale, offset;
  std::int32_t decimals;
  float chartMin, chartMax;
  const char* description;
};

TEST(BuiltInParams, RowsReadAsDocumented) {
  // clang-format off
  const Expected rows[] = {
      {1, 7, "К.КОР.СО", " ", 'C', 1, 12, 0, 0.00390625f, -0.5f, 2, -1, 1, "Коэффициент коррекции выбросов СО."},
      {1, 16, "БОРТ.НАП,B", "Вольт", 'P', 1, 21, 0, 0.05f, 5.2f, 1, 0, 30, "Напряжение в бортовой сети."},
      {1, 20, "ЦИК.РВ,мг/т", "мг/т", 'P', 2, 27, 0, 0.1666667f, 0, 1, 0, 600, "Поцикловой расход воздуха."},
      {1, 23, "КО.СУМ.ПЗУ", " ", 'H', 2, 33, 0, 1, 0, 0, 0, 65535, "Контрольная сумма Постоянного Запоминающего Устройства."},
      {2, 16, "ЖЕЛ.ПОЛ.РХХ", "Шагов", 'P', 1, 16, 0, 1, 0, 0, 0, 255, "Желаемое положение регулятора  холостого хода."},
      {2, 23, "НАПР,Д.О2 B", "Вольт", 'P', 1, 23, 0, 0.004882812f, 0, 2, 0, 2, "Напряжение на датчике кислорода."},
      {9, 32, "КОЛ-ВО ОШИБОК", "", 'P', 1, 38, 0, 1, 0, 0, 0, 100, "Количество неисправностей."},
      {9, 33, "Т.ВОЗД.°С Я-7", "Град.С", 'P', 1, 37, 0, 1, -40, 0, -40, 150, "Температура впускного воздуха. "},
      {3, 4, "УОЗ, п.к.в.", "Град.п.к.в.", 'P', 1, 14, 0, -0.75f, 108, 0, 0, 60, "Угол опережения зажигания."},
      {3, 27, "НАГРЕВАТ. О2", " ", 'B', 1, 38, 6, 1, 0, 0, 0, 1, "Признак включения нагревателя датчика кислорода."},
      {4, 7, "БОРТ.НАП,B", "Вольт", 'P', 1, 40, 0, 0.8f, 5.6f, 1, 0, 30, "Напряжение в бортовой сети."},
      {4, 24, "ОБН.ДЕТОНАЦ.", " ", 'B', 1, 70, 5, 1, 0, 0, 0, 1, "Признак обнаружения детонации."},
      {10, 0, "BITSTP ", " ", 'B', 1, 7, 5, 1, 0, 0, 0, 1, "Признак остановки двигателя\tЕСТЬ/НЕТ"},
      {10, 22, "FREQD ", " ", 'P', 1, 49, 0, 0.00390625f, -0.5f, 2, 0, 2, "Частота вращения коленчатого вала с точностью до единиц\tоб/м"},
      {10, 24, "FSM\t", " ", 'P', 1, 49, 0, 0.00390625f, -0.5f, 2, 0, 2, "Фактическое положение шагового мотора\t%"},
      {5, 12, "ОБ.ДВ.,/мин", "Об/мин", 'P', 2, 23, 0, -1, 3932160, 0, 0, 8000, "Обороты двигателя (Об/Мин)."},
      {5, 14, "НАП,Д.О2 B", "В", 'P', 1, 26, 0, 0.004427129f, 0, 2, 0, 1.5f, "Сигнал датчика кислорода в вольтах."},
      {5, 27, "Возд./Топл.", " ", 'P', 2, 41, 0, -1, 1638.4f, 2, 0, 20, "Соотношение Воздух/Топливо"},
      {11, 12, "КОЛ-ВО ОШ. (NDTS)", "шт", 'P', 1, 26, 0, 1, 0, 0, 0, 255, "(NDTS) Количество обраруженных кодов неисправностей."},
      {11, 21, "КО.СУМ.ЕЕПРОМ(EECS)", " ", 'H', 2, 32, 0, 1, 0, 0, 0, 65535, "Контрольная сумма ЕЕПРОМ."},
      {7, 12, "ИНТЕГР.РХХ(NV)", "кг/ч", 'D', 2, 23, 92, 0.00390625f, -128, 0, 0, 255, "Множитель регулятора холостого хода."},
      {7, 18, "КОР.ВР.ВП(FR)", " ", 'D', 2, 29, 39, 3.051851e-5f, 0, 2, 0, 2, "Коррекция длительности впрыска по сигналу с датчика кислорода."},
      {7, 54, "КОР.ВР.ВП(TEUKG)", " ", 'S', 2, 70, 0, 0.256f, 0, 2, -2, 2, "Фактор коррекции смеси на переходном режиме."},
      {7, 98, "ФЛАГ (B_ZADRE4)", " ", 'B', 1, 2, 0, 1, 0, 0, 0, 1, "Адаптация зубчатого колеса выполнена для диапазона оборотов 4."},
      {6, 9, "УОЗ, п.к.в.", "Град.п.к.в.", 'S', 1, 13, 0, 0.75f, 0, 1, 0, 60, "(Zwout) Угол опережения зажигания."},
      {6, 43, "Д.НЕРОВН.ДОР.", "bsmw", 'P', 2, 73, 0, 0.0001907378f, -6.25f, 2, -2, 2, "(bsmw) Сигнал с датчика неровной дороги."},
      {6, 67, "ГОТОВНОСТЬ О2_2.", "B_SBBHK", 'B', 1, 67, 3, 1, 0, 0, 0, 1, "Признак готовности датчика кислорода после нейтрализатора."},
      {8, 15, "КОЛИЧ.ТОПЛ,(pGTINT)", "г", 'S', 4, 33, 0, 0.0001220703f, 0, 1, 0, 600, "(pGTINT)Количество израсходованного топлива после запуска двигателя."},
      {8, 40, "РЕЖИМ.(pMODE)", " ", 'P', 1, 75, 0, 1, 0, 0, 0, 1, "(pMODE) Режим работы двиг.(0- стоп, 1- прокрутка и пуск,2-ОМЧВ, 3-частичные нагрузки,4-режим полной мощности."},
      {8, 55, "pDUPLMDIAGC", "мCeк ", 'S', 2, 98, 0, 0.0004882812f, 0, 1, 0, 25, "(pDUPLMDIAGC) Коэффициент превышения базового периода Л-регулятора."},
  };
  // clang-format on
  for (const Expected& e : rows) {
    const ParamRecord& r = BuiltInParams(e.type)[e.row];
    SCOPED_TRACE(Where(e.type, e.row));
    EXPECT_EQ(Utf8(r.name), e.name);
    EXPECT_EQ(Utf8(r.unit), e.unit);
    EXPECT_EQ(r.kind, e.kind);
    EXPECT_EQ(r.width, e.width);
    EXPECT_EQ(r.dataOffset, e.dataOffset);
    EXPECT_EQ(r.bit, e.bit);
    EXPECT_EQ(r.scale, e.scale);
    EXPECT_EQ(r.offset, e.offset);
    EXPECT_EQ(r.decimals, e.decimals);
    EXPECT_EQ(r.chartMin, e.chartMin);
    EXPECT_EQ(r.chartMax, e.chartMax);
    EXPECT_EQ(Utf8(r.description), e.description);
  }
}

TEST(BuiltInParams, TextsAreStoredAsWindows1251) {
  EXPECT_EQ(FieldText(BuiltInParams(1)[6].name), "\xD2.\xCE\xD5\xCB.\xC6\xB0\xD1");  // Т.ОХЛ.Ж°С
  EXPECT_EQ(FieldText(BuiltInParams(8)[32].name),
            "\xD0\xC5\xCB\xC5 \xC2\xC5\xCD\xD2 \xB9"
            "1");  // РЕЛЕ ВЕНТ №1
  EXPECT_EQ(FieldText(BuiltInParams(10)[2].name), "COEF1\t");
}

TEST(BuiltInParams, EveryTextFitsItsField) {
  // A text that fills its field to the last byte before the terminator may have been cut. These
  // are the only ones allowed to; the M10 name is one character longer than the field can hold.
  const std::map<std::pair<std::uint32_t, std::size_t>, std::string> fullNames = {
      {{8, 19}, "РАЗНИЦА ВОЗД.(pAARSMERR)"}, {{8, 20}, "РАЗН.ВОЗД.(pAIRAARFRTSH)"},
      {{8, 44}, "КОРРЕК.УОЗ,(pUOZPRREGCOR"}, {{8, 47}, "МОЩН.НАГР.2(pDWNLSENPOW)"},
      {{8, 52}, "КОЛ-ВО ОШ.(pDTCB5ERRORS)"},
  };
  for (std::uint32_t type = kFirstType; type <= kLastType; ++type) {
    const auto table = BuiltInParams(type);
    for (std::size_t i = 0; i < table.size(); ++i) {
      const ParamRecord& r = table[i];
      SCOPED_TRACE(Where(type, i));
      const auto full = fullNames.find({type, i});
      if (full != fullNames.end()) {
        EXPECT_EQ(Utf8(r.name), full->second);
      } else {
        EXPECT_LT(FieldText(r.name).size(), sizeof r.name - 1);
      }
      EXPECT_LT(FieldText(r.unit).size(), sizeof r.unit - 1);
      EXPECT_LT(FieldText(r.description).size(), sizeof r.description - 1);
      // '?' is what the conversion leaves for a character the code page lacks; no text has one.
      for (const std::string_view t :
           {FieldText(r.name), FieldText(r.unit), FieldText(r.description)}) {
        EXPECT_EQ(t.find('?'), std::string_view::npos) << t;
      }
    }
  }
}

TEST(BuiltInParams, KindsAndWidthsAreOnesTheDecodersRead) {
  for (std::uint32_t type = kFirstType; type <= kLastType; ++type) {
    const LinkFamily family = Lookup(type).family;
    // GM and the escaped-frame decoders have no signed and no split 16-bit reading.
    const std::string kinds = family == LinkFamily::Kwp2000 ? "BCDHPS" : "BCHP";
    const auto table = BuiltInParams(type);
    for (std::size_t i = 0; i < table.size(); ++i) {
      const ParamRecord& r = table[i];
      SCOPED_TRACE(Where(type, i));
      EXPECT_EQ(r.shown, 0);
      EXPECT_EQ(r.onChart, 0);
      if (IsEmpty(r)) {
        EXPECT_EQ(type, 3u);
        continue;
      }
      ASSERT_NE(r.kind, 0);
      EXPECT_NE(kinds.find(r.kind), std::string::npos) << r.kind;
      if (r.kind == 'B') {
        EXPECT_EQ(r.width, 1);
        EXPECT_GE(r.bit, 0);
        EXPECT_LE(r.bit, 7);
      }
      if (r.kind == 'H' || r.kind == 'D') {
        EXPECT_EQ(r.width, 2);
      }
      if (r.kind == 'P' || r.kind == 'S') {
        EXPECT_TRUE(r.width == 1 || r.width == 2 || r.width == 4) << r.width;
      }
      EXPECT_LT(r.chartMin, r.chartMax);
    }
  }
}

TEST(BuiltInParams, EveryRecordStaysInsideItsReplyAndOffItsNeighbours) {
  // Positions count from the byte in front of the service identifier (from the mode byte on GM),
  // and a recorded frame keeps FrameSize bytes from there. Two documented rows read just past it.
  const std::map<std::pair<std::uint32_t, std::size_t>, int> pastTheFrame = {
      {{7, 12}, 92},   // the low byte of the idle regulator's integrator
      {{11, 21}, 33},  // the EEPROM checksum
  };
  for (std::uint32_t type = kFirstType; type <= kLastType; ++type) {
    const EcuInfo& info = Lookup(type);
    const auto table = BuiltInParams(type);
    std::map<int, std::size_t> valueBytes;  // byte -> row whose value it carries
    std::vector<std::pair<int, std::size_t>> flagBytes;
    for (std::size_t i = 0; i < table.size(); ++i) {
      const ParamRecord& r = table[i];
      if (IsEmpty(r)) continue;
      SCOPED_TRACE(Where(type, i));
      if (info.family == LinkFamily::Escaped) {
        // There DataOffset is the one-byte request code of the value.
        EXPECT_GE(r.dataOffset, 1);
        EXPECT_LE(r.dataOffset, 0xFF);
        continue;
      }
      const std::vector<int> bytes = Claimed(r);
      int last = *std::max_element(bytes.begin(), bytes.end());
      int first = *std::min_element(bytes.begin(), bytes.end());
      if (info.family == LinkFamily::Kwp2000) {
        // Flags may sit in the local identifier byte; values start with the data.
        EXPECT_GE(first, r.kind == 'B' ? 2 : 3);
        const auto past = pastTheFrame.find({type, i});
        EXPECT_LE(last, past != pastTheFrame.end() ? past->second : info.frameSize - 1);
      } else {
        // A GM frame carries at most 170 mode and data bytes (length byte 0x55 + n).
        EXPECT_GE(first, 1);
        EXPECT_LT(last, 170);
      }
      if (r.kind == 'B') {
        flagBytes.emplace_back(r.dataOffset, i);
        continue;
      }
      for (const int b : bytes) {
        const auto [it, fresh] = valueBytes.emplace(b, i);
        EXPECT_TRUE(fresh) << "byte " << b << " also carries row " << it->second;
      }
    }
    for (const auto& [b, row] : flagBytes) {
      const auto it = valueBytes.find(b);
      if (it != valueBytes.end()) {
        ADD_FAILURE() << Where(type, row) << ": flag byte " << b << " carries row " << it->second;
      }
    }
  }
}

TEST(BuiltInParams, ListsBuiltOnOthersKeepToThem) {
  const auto j51 = BuiltInParams(2);
  const auto j72 = BuiltInParams(9);
  for (std::size_t i = 0; i < j51.size(); ++i) {
    EXPECT_EQ(std::memcmp(&j51[i], &j72[i], sizeof(ParamRecord)), 0) << "row " << i;
  }

  const auto mp70 = BuiltInParams(3);
  EXPECT_FALSE(IsEmpty(mp70[27]));
  for (std::size_t i = 28; i < 33; ++i) EXPECT_TRUE(IsEmpty(mp70[i])) << "row " << i;

  // The Euro-3 list reads type 3's values where type 3 reads them, some as split 16-bit values.
  const auto euro3 = BuiltInParams(7);
  for (std::size_t i = 0; i < 22; ++i) {
    EXPECT_EQ(euro3[i].dataOffset, mp70[i].dataOffset) << "row " << i;
  }
  for (std::size_t i = 91; i < 99; ++i) {
    EXPECT_EQ(euro3[i].kind, 'B') << "row " << i;
    EXPECT_EQ(euro3[i].dataOffset, 2) << "row " << i;
    EXPECT_EQ(euro3[i].bit, 0) << "row " << i;
  }

  // Mikas: two flags asked for with code 7, every other row with code 49 and scaled alike.
  const auto mikas = BuiltInParams(10);
  for (std::size_t i = 0; i < mikas.size(); ++i) {
    SCOPED_TRACE(Where(10, i));
    if (i < 2) {
      EXPECT_EQ(mikas[i].kind, 'B');
      EXPECT_EQ(mikas[i].dataOffset, 7);
    } else {
      EXPECT_EQ(mikas[i].kind, 'P');
      EXPECT_EQ(mikas[i].dataOffset, 49);
      EXPECT_EQ(mikas[i].scale, 1.0f / 256);
      EXPECT_EQ(mikas[i].offset, -0.5f);
    }
  }
}

}  // namespace
}  // namespace kd::catalogue
