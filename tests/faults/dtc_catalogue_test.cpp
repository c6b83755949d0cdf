// The fault-code catalogues: read against the controllers' own rows, and checked for what a
// hand-kept table gets wrong (a code that does not match its text, a row that lost its padding,
// an ambient index past its table, a placeholder that moved a bit position).
#include "faults/dtc_catalogue.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "catalogue/ecu_catalogue.h"
#include "faults/ambient_table.h"
#include "text/cp1251.h"

namespace kd::faults {
namespace {

constexpr std::uint32_t kCatalogueTypes[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 11};

std::size_t Width(std::uint32_t type) {
  return type == 4 || type == 5 ? 56 : 58;
}

std::string Padded(const std::string& utf8, std::size_t width) {
  std::string s = utf8;
  s.resize(width - text::Utf8ToCp1251(utf8).size() + utf8.size(), ' ');
  return s;
}

std::string Where(std::uint32_t type, std::size_t row) {
  return "type " + std::to_string(type) + " row " + std::to_string(row);
}

bool IsPlaceholder(const DtcEntry& e, std::uint32_t type) {
  return e.Utf8Text() == Padded("Не используется в данном проекте.", Width(type));
}

// Decodes the letter-and-four-digit name at the start of a text the way SAE J2012 packs it into
// two bytes: letter in bits 15-14, first digit in 13-12, three hex digits below.
std::uint32_t SaeCodeOfName(const std::string& cp1251) {
  // Most EMUR rows spell the C in Cyrillic (0xD1 in Windows-1251).
  const char letter = cp1251[0] == '\xD1' ? 'C' : cp1251[0];
  const auto bits = static_cast<std::uint32_t>(std::string_view("PCBU").find(letter));
  return bits << 14 | static_cast<std::uint32_t>(std::stoul(cp1251.substr(1, 4), nullptr, 16));
}

TEST(DtcCatalogue, EveryTypeHasItsCataloguedSizeAndSharesWhereTheDocumentSays) {
  for (const std::uint32_t type : kCatalogueTypes) {
    EXPECT_EQ(DtcCatalogue(type).size(),
              static_cast<std::size_t>(catalogue::Lookup(type).faultTableSize))
        << "type " << type;
  }
  EXPECT_TRUE(DtcCatalogue(10).empty());

  EXPECT_EQ(DtcCatalogue(2).data(), DtcCatalogue(9).data());
  EXPECT_EQ(DtcCatalogue(3).data(), DtcCatalogue(7).data());
  std::set<const DtcEntry*> distinct;
  for (const std::uint32_t type : {1u, 2u, 3u, 4u, 5u, 6u, 8u, 11u}) {
    distinct.insert(DtcCatalogue(type).data());
  }
  EXPECT_EQ(distinct.size(), 8u);

  for (const std::uint32_t code : {0u, 12u, 0xFFFFFFFFu}) {
    EXPECT_EQ(DtcCatalogue(code).data(), DtcCatalogue(1).data()) << "code " << code;
  }
}

TEST(DtcCatalogue, TextsArePaddedToTheTableWidthUnlessTheyAreLonger) {
  // Rows whose own text is longer than the table's width; nothing else may exceed it.
  const std::set<std::pair<std::uint32_t, std::size_t>> longer = {
      {4, 21},  {5, 0},   {11, 4},  {11, 5},  {11, 6},  {11, 8},  {11, 9}, {11, 11},
      {11, 12}, {11, 13}, {11, 14}, {11, 15}, {11, 34}, {11, 35}, {11, 36}};
  for (const std::uint32_t type : kCatalogueTypes) {
    const auto rows = DtcCatalogue(type);
    for (std::size_t k = 0; k < rows.size(); ++k) {
      const std::string& t = rows[k].text;
      if (type == 6 && k >= 85) continue;  // the empty rows, checked below
      ASSERT_FALSE(t.empty()) << Where(type, k);
      if (longer.count({type, k})) {
        EXPECT_GT(t.size(), Width(type)) << Where(type, k);
        EXPECT_NE(t.back(), ' ') << Where(type, k);
      } else {
        EXPECT_EQ(t.size(), Width(type)) << Where(type, k);
      }
    }
  }

  // The tabs stand inside the text, ahead of the padding.
  EXPECT_EQ(DtcRowAt(4, 10)->Utf8Text(),
            Padded("25 - Низкий уровень датчика температуры воздуха.\t", 56));
  EXPECT_EQ(DtcRowAt(4, 18)->Utf8Text(),
            Padded("25 - Выcокий уровень датчика температуры воздуха.\t", 56));
}

TEST(DtcCatalogue, PlaceholdersHoldTheirBitPositionsAndM797EndsInElevenEmptyRows) {
  const std::pair<std::uint32_t, std::set<std::size_t>> placeholders[] = {
      {1, {1, 3, 26}}, {2, {1, 26}}, {3, {}}, {4, {1, 3, 26}}, {6, {}}, {8, {}}, {11, {}}};
  for (const auto& [type, rows] : placeholders) {
    const auto table = DtcCatalogue(type);
    for (std::size_t k = 0; k < table.size(); ++k) {
      EXPECT_EQ(IsPlaceholder(table[k], type), rows.count(k) == 1) << Where(type, k);
      if (rows.count(k)) {
        EXPECT_EQ(table[k].code, 0u) << Where(type, k);
      }
    }
  }

  const std::set<std::size_t> gmFaults = {0,  1,  4,  5,  6,  7,  13, 15, 19, 20, 26,
                                          27, 28, 29, 30, 33, 35, 37, 38, 44, 55};
  const auto gm = DtcCatalogue(5);
  for (std::size_t k = 0; k < gm.size(); ++k) {
    EXPECT_EQ(IsPlaceholder(gm[k], 5), gmFaults.count(k) == 0) << Where(5, k);
    EXPECT_EQ(gm[k].code, 0u) << Where(5, k);
  }

  const auto m797 = DtcCatalogue(6);
  for (std::size_t k = 85; k < 96; ++k) {
    EXPECT_TRUE(m797[k].text.empty()) << Where(6, k);
    EXPECT_EQ(m797[k].code, 0u);
    EXPECT_EQ(m797[k].ambient1 | m797[k].ambient2 | m797[k].ambient3, 0u) << Where(6, k);
  }
  EXPECT_FALSE(m797[84].text.empty());
}

struct Spot {
  std::uint32_t type;
  std::size_t row;
  std::uint32_t code;
  std::uint32_t ambient1;
  std::uint32_t ambient2;
  const char* text;  // nullptr where the document gives only the code
};

TEST(DtcCatalogue, RowsAsTheDocumentListsThem) {
  const Spot spots[] = {
      {1, 0, 0x0335, 0, 0, nullptr},
      {1, 6, 0x1621, 0, 0, "1621 - Ошибка ОЗУ"},
      {1, 7, 0x1620, 0, 0, "1620 - Ошибка ПЗУ"},
      {1, 10, 0x0112, 0, 0, "0112 - Датчик темп.впуск.воздуха, низкий ур.вых.сигнала."},
      {1, 25, 0x0601, 0, 0, "0601 - Нет связи с иммобилизатором"},
      {1, 28, 0x0171, 0, 0, nullptr},
      {1, 29, 0x0172, 0, 0, nullptr},
      {1, 49, 0x1602, 0, 0, nullptr},
      {2, 3, 0x0135, 0, 0, "0135 - Oшибка нагревателя датчика кислорода"},
      {2, 6, 0x0603, 0, 0, "0603 - Ошибка ОЗУ"},
      {2, 7, 0x0601, 0, 0, "0601 - Ошибка ПЗУ"},
      {2, 10, 0x0112, 0, 0, "0112 - Низкий уровень датчика температуры воздуха."},
      {2, 25, 0x1600, 0, 0, "1600 - Нет связи с иммобилизатором"},
      {2, 28, 0x0172, 0, 0, nullptr},
      {2, 29, 0x0171, 0, 0, nullptr},
      {2, 49, 0x0336, 0, 0, nullptr},
      {2, 65, 0x1602, 0, 0, nullptr},
      {3, 0, 0x0102, 0, 0, nullptr},
      {3, 41, 0x0335, 0, 0, nullptr},
      {3, 54, 0x0560, 0, 0, nullptr},
      {3, 87, 0x1689, 0, 0, nullptr},
      {4, 0, 0x0335, 0, 0, "19 - Ошибка датчика синхронизации КВ"},
      {4, 2, 0x1603, 0, 0, "53 - Ошибка EEPROM"},
      {4, 15, 0x0327, 0, 0, "00 - Низкий уровень шума двигателя"},
      {4, 21, 0x0123, 0, 0, "21 - Высокий уровень сигнала с датчика положения дросселя"},
      {4, 25, 0x1600, 0, 0, "61 - Нет связи с иммобилизатором"},
      {4, 31, 0x0505, 0, 0, "35 - Ошибка регулятора холостого хода"},
      {5, 0, 0, 0, 0, "21 - Высокий уровень сигнала с датчика положения дросселя"},
      {5, 19, 0, 0, 0, "35 - Ошибка регулятора холостого хода."},
      {5, 29, 0, 0, 0, "42 - Неисправность системы зажигания."},
      {5, 55, 0, 0, 0, "66 - Ошибка сброса блока управления"},
      {6, 0, 0x0102, 0, 1, nullptr},
      {6, 14, 0x0135, 8, 5, nullptr},
      {6, 46, 0x0422, 11, 9, nullptr},
      {6, 59, 0x0560, 0, 2, nullptr},
      {6, 84, 0x1689, 10, 10, nullptr},
      {8, 0, 0x0101, 6, 3, nullptr},
      {8, 17, 0x0135, 8, 0, nullptr},
      {8, 43, 0x0300, 3, 1, nullptr},
      {8, 102, 0x1570, 4, 0, nullptr},
      {8, 113, 0x2304, 1, 3, nullptr},
      {11, 0, 0x5011, 0, 0, "C1011 -Датчик оборотов, нет сигнала или выход за диапазон."},
      {11, 15, 0x5045, 0, 0, "С1045 -Датчик положения ротора двигателя, отсутствие питания"},
      {11, 37, 0x5079, 0, 0, "С1079 -Блок управления, ошибка драйвера силовых ключей."},
  };
  for (const Spot& s : spots) {
    const DtcEntry* e = DtcRowAt(s.type, s.row);
    ASSERT_NE(e, nullptr) << Where(s.type, s.row);
    EXPECT_EQ(e->code, s.code) << Where(s.type, s.row);
    EXPECT_EQ(e->ambient1, s.ambient1) << Where(s.type, s.row);
    EXPECT_EQ(e->ambient2, s.ambient2) << Where(s.type, s.row);
    if (s.text != nullptr) {
      const std::string cp = text::Utf8ToCp1251(s.text);
      const std::string expected =
          cp.size() >= Width(s.type) ? std::string(s.text) : Padded(s.text, Width(s.type));
      EXPECT_EQ(e->Utf8Text(), expected) << Where(s.type, s.row);
    }
  }

  // Held as Windows-1251, and the letters that only look alike stay what they are.
  EXPECT_EQ(DtcRowAt(1, 6)->text.substr(0, 9), "1621 - \xCE\xF8");
  EXPECT_EQ(DtcRowAt(2, 3)->text[7], 'O');
  EXPECT_EQ(DtcRowAt(11, 0)->text[0], 'C');
  EXPECT_EQ(DtcRowAt(11, 1)->text[0], '\xD1');
  EXPECT_EQ(DtcRowAt(11, 2)->text[0], 'C');
  EXPECT_EQ(DtcRowAt(4, 18)->text[7], 'c');  // "Выcокий" with a Latin c
}

TEST(DtcCatalogue, CodesFollowTheSaeLayoutOfTheirText) {
  for (const std::uint32_t type : {1u, 2u, 3u, 6u, 8u}) {
    const auto rows = DtcCatalogue(type);
    for (std::size_t k = 0; k < rows.size(); ++k) {
      if (rows[k].text.empty() || IsPlaceholder(rows[k], type)) continue;
      EXPECT_EQ(rows[k].code, SaeCodeOfName("P" + rows[k].text.substr(0, 4))) << Where(type, k);
      EXPECT_EQ(rows[k].text.substr(4, 3), " - ") << Where(type, k);
    }
  }
  for (const auto& e : DtcCatalogue(11)) {
    EXPECT_EQ(e.code >> 14, 1u) << e.Utf8Text();
    EXPECT_EQ(e.code, SaeCodeOfName(e.text)) << e.Utf8Text();
  }
  // January 4.1 numbers its faults its own way; the code is the P-code it stands for.
  for (const auto& e : DtcCatalogue(4)) EXPECT_EQ(e.code >> 14, 0u) << e.Utf8Text();
  EXPECT_EQ(SaeCodeOfName("P0335"), 0x0335u);
  EXPECT_EQ(SaeCodeOfName("C1011"), 0x5011u);
}

TEST(DtcCatalogue, LookupByCodeFindsEveryRowInTableOrder) {
  const auto emur = FindDtcRows(11, 0x5045);
  ASSERT_EQ(emur.size(), 1u);
  EXPECT_EQ(emur[0], &DtcCatalogue(11)[15]);
  const auto c1043 = FindDtcRows(11, 0x5043);
  ASSERT_EQ(c1043.size(), 1u);
  EXPECT_EQ(c1043[0]->text.substr(0, 6), text::Utf8ToCp1251("С1043 "));

  // Code 0 is what placeholder rows carry: each gives a row of its own.
  const std::pair<std::uint32_t, std::vector<std::size_t>> zeros[] = {
      {1, {1, 3, 26}}, {4, {1, 3, 10, 18, 26}}, {6, {85, 86, 87, 88, 89, 90, 91, 92, 93, 94, 95}}};
  for (const auto& [type, rows] : zeros) {
    const auto found = FindDtcRows(type, 0);
    ASSERT_EQ(found.size(), rows.size()) << "type " << type;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      EXPECT_EQ(found[i], &DtcCatalogue(type)[rows[i]]) << "type " << type;
    }
    EXPECT_EQ(FirstDtcRow(type, 0), &DtcCatalogue(type)[rows[0]]);
  }

  // The same code reads differently on different controllers.
  EXPECT_EQ(FindDtcRows(1, 0x0112).at(0)->Utf8Text(),
            Padded("0112 - Датчик темп.впуск.воздуха, низкий ур.вых.сигнала.", 58));
  EXPECT_EQ(FindDtcRows(9, 0x0112).at(0)->Utf8Text(),
            Padded("0112 - Низкий уровень датчика температуры воздуха.", 58));

  EXPECT_TRUE(FindDtcRows(8, 0x5011).empty());
  EXPECT_EQ(FirstDtcRow(8, 0x0999), nullptr);
  EXPECT_TRUE(FindDtcRows(10, 0).empty());
  EXPECT_EQ(FirstDtcRow(12, 0x1620), &DtcCatalogue(1)[7]);
  EXPECT_EQ(FirstDtcRow(7, 0x1689), &DtcCatalogue(3)[87]);
}

TEST(DtcCatalogue, LookupByPositionStopsAtTheEndOfTheTable) {
  EXPECT_EQ(DtcRowAt(5, 55), &DtcCatalogue(5)[55]);
  EXPECT_EQ(DtcRowAt(5, 56), nullptr);
  EXPECT_EQ(DtcRowAt(4, 31)->code, 0x0505u);
  EXPECT_EQ(DtcRowAt(4, 32), nullptr);
  EXPECT_EQ(DtcRowAt(9, 65), DtcRowAt(2, 65));
  EXPECT_EQ(DtcRowAt(1, 50), nullptr);
  EXPECT_EQ(DtcRowAt(10, 0), nullptr);
}

TEST(DtcCatalogue, ObdWindowsUseTheM10Wording) {
  const auto rows = FindObdDtcRows(0x0101);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], &DtcCatalogue(8)[0]);
  EXPECT_EQ(FindObdDtcRows(0x2304).at(0), &DtcCatalogue(8)[113]);
  EXPECT_TRUE(FindObdDtcRows(0x1621).empty());  // only M1.5.4 carries it
}

TEST(AmbientTable, IndicesOfEveryRowLieInsideTheTypesTable) {
  for (const std::uint32_t type : {6u, 8u}) {
    const auto rows = DtcCatalogue(type);
    for (std::size_t k = 0; k < rows.size(); ++k) {
      const AmbientPair pair = RelatedValues(type, rows[k]);
      EXPECT_NE(pair.first, nullptr) << Where(type, k);
      EXPECT_NE(pair.second, nullptr) << Where(type, k);
      EXPECT_EQ(rows[k].ambient3, type == 8 ? 2u : 0u) << Where(type, k);
    }
  }
  for (const std::uint32_t type : {1u, 2u, 3u, 4u, 5u, 11u}) {
    for (const auto& e : DtcCatalogue(type)) {
      EXPECT_EQ(e.ambient1 | e.ambient2 | e.ambient3, 0u) << "type " << type;
    }
  }
  const AmbientPair p0135 = RelatedValues(8, *FirstDtcRow(8, 0x0135));
  EXPECT_EQ(p0135.first->Utf8Name(), "pULAMUP  = ");
  EXPECT_EQ(p0135.second->Utf8Name(), "pUACC    = ");
  EXPECT_EQ(AmbientAt(6, 13), nullptr);
  EXPECT_EQ(AmbientAt(8, 10), nullptr);
}

TEST(AmbientTable, RecordsAsTheDocumentListsThem) {
  EXPECT_EQ(AmbientTable(6).size(), 13u);
  EXPECT_EQ(AmbientTable(8).size(), 10u);
  EXPECT_EQ(AmbientTable(11).size(), 6u);
  for (const std::uint32_t type : {1u, 2u, 3u, 4u, 5u, 7u, 9u, 10u, 12u}) {
    EXPECT_TRUE(AmbientTable(type).empty()) << "type " << type;
  }
  for (const std::uint32_t type : {6u, 8u, 11u}) {
    for (const auto& r : AmbientTable(type)) {
      EXPECT_EQ(r.width, type == 8 ? 2 : 1) << r.Utf8Name();
      EXPECT_EQ(r.name.substr(r.name.size() - 2), "= ") << r.Utf8Name();
      if (type != 11) {
        EXPECT_LE(r.name.size(), 24u) << r.Utf8Name();
      }
    }
  }

  const AmbientRecord& tmot = AmbientTable(6)[2];
  EXPECT_EQ(tmot.Utf8Name(), "TMOT  = ");
  EXPECT_EQ(tmot.decimals, 0);
  EXPECT_EQ(tmot.factor, 0.75f);
  EXPECT_EQ(tmot.offset, -48.0f);
  EXPECT_EQ(tmot.Utf8Description(), "Датчик температуры охлаждающей жидкости.");
  EXPECT_EQ(AmbientTable(6)[4].Utf8Name(), "ML     = ");
  EXPECT_EQ(AmbientTable(6)[4].decimals, 1);
  EXPECT_DOUBLE_EQ(AmbientTable(6)[7].factor, 0.0736749991774559);
  EXPECT_EQ(AmbientTable(6)[11].decimals, 2);
  EXPECT_EQ(AmbientTable(6)[11].factor, 0.0078125f);
  EXPECT_EQ(AmbientTable(6)[12].Utf8Description(), " .");

  const AmbientRecord& coltmod = AmbientTable(8)[7];
  EXPECT_EQ(coltmod.Utf8Name(), "pCOLTMOD = ");
  EXPECT_EQ(coltmod.decimals, 1);
  EXPECT_EQ(coltmod.offset, -40.0f);
  EXPECT_EQ(AmbientTable(8)[8].factor, 5.0f / 1023.0f);
  EXPECT_EQ(AmbientTable(8)[9].factor, 5.0f / 1023.0f);
  EXPECT_EQ(AmbientTable(8)[2].Utf8Description(), "Счетчик времени работы двигателя после пуска.");

  EXPECT_EQ(AmbientTable(11)[0].Utf8Name(), "Усилие с датчика момента    = ");
  EXPECT_EQ(AmbientTable(11)[5].Utf8Name(), "Количество Д.циклов с мом.взн.= ");
}

}  // namespace
}  // namespace kd::faults
