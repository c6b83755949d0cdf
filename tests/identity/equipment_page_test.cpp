// The equipment memo: rewritten by the equipment bytes, appended to by the immobilizer and the
// serial-number blocks, and quiet while the controller repeats itself.
#include <gtest/gtest.h>

#include "identity_fixture.h"

namespace kd::identity::test {
namespace {

using Lines = std::vector<std::string>;

const char* const kO2 = "Датчик кислорода.                  ";
const char* const kEgr = "Клапан рециркуляции ОГ.            ";

TEST(EquipmentPage, January41ShowsTheSimplifiedListFromTheSecondTick) {
  Pages p(4);
  EXPECT_EQ(p.Equipment({0x05}), (Bytes{'a', 0x0C}));
  EXPECT_TRUE(p.Memo().empty()) << "the first answer after a page change is the old page's";
  EXPECT_EQ(p.pageTickCount, 1);
  EXPECT_EQ(p.Equipment({0x05}), (Bytes{'a', 0x0C}));
  const Lines expected = {" ",
                          kO2,
                          kEgr,
                          "",
                          "",
                          "Для данного типа контроллеров ",
                          "комплектация выводится в упрощенном виде"};
  EXPECT_EQ(p.Memo(), expected);
  const auto revision = p.comp.Revision();
  p.Equipment({0x05});
  EXPECT_EQ(p.comp.Revision(), revision) << "the same byte changes nothing";
  p.Equipment({0x00});
  EXPECT_EQ(p.Memo(), (Lines{" ", "", "", "Для данного типа контроллеров ",
                             "комплектация выводится в упрощенном виде"}));
}

TEST(EquipmentPage, EmurListsItsMotorAndSensorsFromTheDataRecord) {
  Pages p(11);
  Bytes record(40, 0);
  record[3] = 0x61;
  record[29] = 0x17;
  EXPECT_EQ(p.Equipment(record), (Bytes{0x21, 0x01}));
  EXPECT_EQ(p.Memo(),
            (Lines{" ", "Датчик положения рулевого вала.", "Датчик температуры радиатора ЭБУ."}))
      << "bits 0..1 at 3: no motor line";
  record[29] = 0x69;
  p.Equipment(record);
  EXPECT_EQ(p.Memo(), (Lines{" ", "Двигатель постоянного тока, индукторный. ",
                             "Датчик положения ротора электродвигателя.", "Датчик момента.",
                             "Присутствует механический редуктор."}));
  record[30] = 0x01;
  record[29] = 0x02;
  p.Equipment(record);
  EXPECT_EQ(p.Memo(), (Lines{" ", "Двигатель постоянного тока, синхронный.  "}))
      << "the second byte counts as a change";
  const auto revision = p.comp.Revision();
  record[3] = 0x7E;
  record[29] = 0x00;
  EXPECT_EQ(p.Equipment(record), (Bytes{0x21, 0x01})) << "whatever the reply";
  EXPECT_EQ(p.comp.Revision(), revision);
}

TEST(EquipmentPage, Kwp2000EquipmentBytesListEveryEntryInBitOrder) {
  Pages p(1);
  p.Equipment(Long({0x61, 0x02, 0x05, 0xC0}));
  EXPECT_EQ(p.Memo(), (Lines{" ", kO2, kEgr, "Разрешен асинхронный впрыск при ускорении.",
                             "Разрешено управление длиной впускной трубы."}));
  p.Equipment(Long({0x61, 0x02, 0x05, 0xC0}));
  EXPECT_EQ(p.Memo().size(), 5u);
  // Without the length byte the record is not the equipment record.
  p.Equipment(Short({0x61, 0x02, 0x01, 0x00}));
  EXPECT_EQ(p.Memo().size(), 5u);
  p.Equipment(Long({0x61, 0x02, 0xFF, 0xFF}));
  ASSERT_EQ(p.Memo().size(), 17u);
  EXPECT_EQ(p.Memo()[11], "Разрешена асинхронная подача топлива при пуске.");
  EXPECT_EQ(p.Memo()[16], "Разрешено управление длиной впускной трубы.");
}

TEST(EquipmentPage, ImmobilizerLinesFollowTheType) {
  Pages m10(8);
  m10.Equipment(Short({0x61, 0xA0, 0x12, 0x34, 0x22, 0x00}));
  EXPECT_EQ(m10.Memo(),
            (Lines{"", "Статус алгоритма иммобилизации ЭБУ:", "Контроллер и иммобилизатор обучены.",
                   "Контроллер не заблокирован.", "Процедура обхода,Контроллер заблокирован.",
                   "Пароль обхода не запрограммирован,обход запрещен.",
                   "Линия связи с иммобилизатором исправна.", "Быстрый старт запрещен.",
                   "Статус иммобилизатора  22", "Код красного ключа   1234"}));
  const auto revision = m10.comp.Revision();
  m10.Equipment(Short({0x61, 0xA0, 0x12, 0x34, 0x22, 0x99}));
  EXPECT_EQ(m10.comp.Revision(), revision) << "only the three status bytes count";

  Pages m797(6);
  m797.Equipment(Short({0x61, 0xA0, 0xAB, 0x0C, 0x15}));
  EXPECT_EQ(m797.Memo(),
            (Lines{"", "Статус алгоритма иммобилизации ЭБУ:", "ECU не обучен.", "ECU locked.",
                   "Start engine after successful use of bypass possible.",
                   "Bypass password not programmed.",
                   "ECU locked because of communication problems.", "quick start not allowed.",
                   "Статус иммобилизатора  15", "Код красного ключа   AB0C"}));
  Pages j72(9);
  j72.Equipment(Short({0x61, 0xA0, 0x01, 0x10, 0x00, 0x00}));
  EXPECT_EQ(j72.Memo(), (Lines{"", "Статус алгоритма иммобилизации ЭБУ:",
                               "Иммобилизатором запуск двигателя разрешен.",
                               "Иммобилизатор и контроллер обучены.", "01", "10", "0000"}));
  j72.Equipment(Short({0x61, 0xA0, 0x01, 0xA0, 0xBE, 0xEF}));
  EXPECT_EQ(j72.Memo().size(), 13u) << "appended after what the memo holds";
  const Lines memo = j72.Memo();
  EXPECT_EQ(Lines(memo.begin() + 7, memo.end()),
            (Lines{"", "Статус алгоритма иммобилизации ЭБУ:", "Ошибка связи с иммобилизатором.",
                   "01", "A0", "BEEF"}));
  Pages fresh(2);
  fresh.Equipment(Short({0x61, 0xA0, 0x01, 0x00, 0x00}));
  EXPECT_TRUE(fresh.Memo().empty()) << "the same as the initial detectors";
}

TEST(EquipmentPage, SerialNumbersAreAppendedOnceEachTimeTheyChange) {
  Pages p(2);
  p.Equipment(Short(Concat({0x61, 0xA1}, "0735512")));
  p.Equipment(Short(Concat({0x61, 0xA1}, "0735512")));
  p.Equipment(Short(Concat({0x61, 0xA2}, "2112-03")));
  p.Equipment(Short(Concat({0x61, 0xA3}, "21.01.2005")));
  p.Equipment(Short(Concat({0x61, 0xA3}, "21.01.2005")));
  EXPECT_EQ(p.Memo(), (Lines{"", "Серийный номер кузова:", "0735512", "",
                             "Серийный номер двигателя:", "2112-03", "",
                             "Дата изготовления автомобиля:", "21.01.2005"}));
  EXPECT_EQ(p.identifiers.bodyNumber, "0735512");
  // A shorter number ends with its zero, and then compares equal to itself.
  p.Equipment(Short({0x61, 0xA1, '1', '2', 0, 0, 0, 0, 0}));
  p.Equipment(Short({0x61, 0xA1, '1', '2', 0, 0, 0, 0, 0}));
  EXPECT_EQ(p.Memo().size(), 12u);
  EXPECT_EQ(p.Memo().back(), "12");
  EXPECT_EQ(p.identifiers.bodyNumber, std::string("12\0"
                                                  "5512",
                                                  7));
  // The equipment bytes clear the memo, blocks included.
  p.Equipment(Long({0x61, 0x02, 0x01, 0x00}));
  EXPECT_EQ(p.Memo(), (Lines{" ", kO2}));
}

TEST(EquipmentPage, TypesWithoutEquipmentRecordsDecodeNothing) {
  for (std::uint32_t type : {3u, 5u, 7u, 10u}) {
    Pages p(type);
    EXPECT_EQ(p.Equipment(Long({0x61, 0x02, 0xFF, 0xFF})), Bytes{}) << type;
    if (type == 3 || type == 7)
      EXPECT_EQ(p.Memo(), (Lines{kNoEquipment})) << type;
    else
      EXPECT_TRUE(p.Memo().empty()) << type;
    EXPECT_EQ(p.requestStep, 0) << "no rotation, " << type;
  }
}

TEST(EquipmentPage, Kwp2000RotationAsksForEachRecordInTurn) {
  Pages p(8);
  p.buffer.transmitFrame[4] = 0x77;
  const Bytes kAsked[] = {{0x02}, {0xA0}, {0xA1}, {0xA2}, {0xA3}};
  EXPECT_EQ(p.Equipment(Short({0x7E})), Bytes{}) << "step 0 leaves the engine's request";
  EXPECT_EQ(p.requestStep, 1);
  for (const Bytes& id : kAsked) EXPECT_EQ(p.Equipment(Short({0x7E})), (Bytes{0x21, id[0]}));
  EXPECT_EQ(p.requestStep, 6);
  EXPECT_EQ(p.Equipment(Short({0x7E})), Bytes{});
  EXPECT_EQ(p.requestStep, 1);
}

}  // namespace
}  // namespace kd::identity::test
