// The identifiers page: each type's rotation and field layout, what is kept for the reports, the
// value dialog and the write it leaves for the next tick.
#include <gtest/gtest.h>

#include "identity_fixture.h"

namespace kd::identity::test {
namespace {

std::string Padded(std::string s, std::size_t n) {
  s.resize(n, ' ');
  return s;
}

// Option 80 of the types with a 19-character VIN: 5A 80, then the eight fields.
Bytes Option80Of19(const std::string& vin) {
  Bytes s{0x5A, 0x80};
  for (const std::string& f :
       {Padded(vin, 19), std::string("CTRL-NUMBER-0016"), std::string("SUPPLIER10"),
        std::string("SOFTWARE10"), std::string("SYSTEM NAME 15C"), std::string("SPARE07"),
        std::string("01.02.2003"), std::string("ROMID-08")})
    s.insert(s.end(), f.begin(), f.end());
  return Long(s);
}

TEST(IdentPage, Kwp2000RotationShowsEachAnswerAndAsksForTheNext) {
  Pages p(1);
  EXPECT_EQ(p.Ident(Short({0x7E})), (Bytes{0x1A, 0x80})) << "any other reply starts over";
  Bytes option80 = Option80Of19("XTA21124070412345");
  option80[4 + 2 + 19 + 16 + 3] = 0;                          // the supplier code ends early
  option80[4 + 2 + 19 + 16 + 10 + 10 + 15 + 7 + 10 + 3] = 0;  // and the ROM id
  EXPECT_EQ(p.Ident(option80), (Bytes{0x21, 0xA1}));
  EXPECT_EQ(p.Cell(1, 0), "XTA21124070412345  ");
  EXPECT_EQ(p.Cell(1, 1), "CTRL-NUMBER-0016");
  EXPECT_EQ(p.Cell(1, 2), "SUP");
  EXPECT_EQ(p.Cell(1, 3), "SOFTWARE10");
  EXPECT_EQ(p.Cell(1, 4), "SYSTEM NAME 15C");
  EXPECT_EQ(p.Cell(1, 5), "SPARE07");
  EXPECT_EQ(p.Cell(1, 6), "01.02.2003");
  EXPECT_EQ(p.Cell(1, 7), "ROM");
  EXPECT_TRUE(p.identifiersRead);
  EXPECT_EQ(p.vin, "XTA21124070412345  ");
  EXPECT_EQ(p.controllerNumber, "CTRL-NUMBER-0016");
  EXPECT_EQ(p.romId, "ROM     ") << "no zero byte reaches a report";
  EXPECT_EQ(p.identifiers.sparePartCode, "SPARE07");

  EXPECT_EQ(p.Ident(Short(Concat({0x61, 0xA1}, "0412345"))), (Bytes{0x21, 0xA2}));
  EXPECT_EQ(p.Ident(Short(Concat({0x61, 0xA2}, "7712345"))), (Bytes{0x21, 0xA3}));
  EXPECT_EQ(p.Ident(Short(Concat({0x61, 0xA3}, "14.06.2007"))), (Bytes{0x1A, 0x90}));
  EXPECT_EQ(p.Cell(1, 8), "0412345");
  EXPECT_EQ(p.Cell(1, 9), "7712345");
  EXPECT_EQ(p.Cell(1, 10), "14.06.2007");
  EXPECT_EQ(p.identifiers.buildDate, "14.06.2007");

  EXPECT_EQ(p.Ident(Short(Concat({0x5A, 0x90}, "XTA00000000000001AB"))), (Bytes{0x1A, 0x91}));
  EXPECT_EQ(p.Cell(2, 0), "XTA00000000000001AB");
  EXPECT_EQ(p.vin, "XTA00000000000001AB");
  const struct {
    std::uint8_t option;
    const char* text;
    int row;
    std::uint8_t next;
  } kRest[] = {{0x91, "0123456789ABCDEF", 1, 0x92}, {0x92, "0123456789", 2, 0x94},
               {0x94, "9876543210", 3, 0x97},       {0x97, "Январь 5.1     ", 4, 0x98},
               {0x98, "1411020", 5, 0x99},          {0x99, "31.12.2005", 6, 0x9A},
               {0x9A, "J5V05L19", 7, 0x80}};
  for (const auto& r : kRest) {
    const std::string bytes = r.option == 0x97 ? "\xDF\xED\xE2\xE0\xF0\xFC 5.1     " : r.text;
    EXPECT_EQ(p.Ident(Short(Concat({0x5A, r.option}, bytes + "TAIL"))), (Bytes{0x1A, r.next}));
    EXPECT_EQ(p.Cell(2, r.row), r.text) << "only the field's characters, from Windows-1251";
  }
  const auto before = p.ident.StringGrid4().Revision();
  EXPECT_EQ(p.Ident(Short({0x61, 0xA4, '1'})), (Bytes{0x1A, 0x80}));
  EXPECT_EQ(p.ident.StringGrid4().Revision(), before) << "an unknown reply shows nothing";
  // Option 80 of these types comes only with a length byte: 80 at byte 5.
  EXPECT_EQ(p.Ident(Short(Concat({0x5A, 0x80}, "XTA"))), (Bytes{0x1A, 0x80}));
}

TEST(IdentPage, SeventeenCharacterVinsBlankTheRestOfTheBuffer) {
  for (std::uint32_t type : {6u, 8u}) {
    Pages p(type);
    p.vin = "OLDCAR00000000000YZ";
    Bytes s{0x5A, 0x80};
    for (const std::string& f :
         {std::string("XTA21700090112233"), std::string("CTRL-NUMBER-0016"),
          std::string("SUPPLIER10"), std::string("SOFTWARE10"), std::string("SYSTEM NAME 15C"),
          std::string("SPARE07"), std::string("01.02.2003"), std::string("ROMID-08")})
      s.insert(s.end(), f.begin(), f.end());
    EXPECT_EQ(p.Ident(Long(s)), (Bytes{0x21, 0xA1})) << type;
    EXPECT_EQ(p.vin, "XTA21700090112233  ") << "nothing of the previous car stays";
    EXPECT_EQ(p.Cell(1, 0), "XTA21700090112233");
    EXPECT_EQ(p.Cell(1, 7), "ROMID-08");
    EXPECT_EQ(p.romId, "ROMID-08");
    p.vin = "OLDCAR00000000000YZ";
    EXPECT_EQ(p.Ident(Short(Concat({0x5A, 0x90}, "XTA21700090112299XX"))), (Bytes{0x1A, 0x91}));
    EXPECT_EQ(p.vin, "XTA21700090112299  ");
    EXPECT_EQ(p.Cell(2, 0), "XTA21700090112299");
    // These take option 80 also without a length byte: 80 at byte 4.
    EXPECT_EQ(p.Ident(Short(Concat({0x5A, 0x80, '.'}, "XTA"))), (Bytes{0x21, 0xA1}));
  }
}

TEST(IdentPage, Mp70ShowsOneRecordAndKeepsNothing) {
  Pages p(3);
  ASSERT_EQ(p.ident.StringGrid4().RowCount(), 8);
  EXPECT_EQ(p.Cell(0, 7), "Идентификатор ПЗУ контроллера");
  Bytes s{0x5A};
  for (const std::string& f :
       {std::string("XTA21120060318874"), std::string("21120-141102"), std::string("0261208386"),
        std::string("1037360621"), std::string("MP7.0H")})
    s.insert(s.end(), f.begin(), f.end());
  s.insert(s.end(), {0x01, 0xAB, 0x00, 0xFF, 'B'});
  p.ident.StringGrid4().SetCell(1, 5, "old");
  EXPECT_EQ(p.Ident(Long(s, 0x11)), (Bytes{0x1A, 0x80}));
  EXPECT_EQ(p.Cell(1, 0), "XTA21120060318874");
  EXPECT_EQ(p.Cell(1, 1), "21120-141102");
  EXPECT_EQ(p.Cell(1, 4), "MP7.0H");
  EXPECT_EQ(p.Cell(1, 5), "");
  EXPECT_EQ(p.Cell(1, 6), " 1ab 0ff");
  EXPECT_EQ(p.Cell(1, 7), "B");
  EXPECT_FALSE(p.identifiersRead);
  EXPECT_EQ(p.vin, std::string(19, ' '));
  EXPECT_EQ(p.Ident(Short({0x7E}, 0x11)), (Bytes{0x1A, 0x80}));
}

TEST(IdentPage, EmurWalksOption80AndItsLocalIdentifiers) {
  Pages p(11);
  ASSERT_EQ(p.ident.StringGrid4().RowCount(), 11);
  Bytes s{0x5A, 0x80};
  for (const std::string& f :
       {std::string("XTA11183070123321"), std::string("11180-3450010-00"),
        std::string("3450010   "), std::string("EMUR1"), std::string("22.08.2006")})
    s.insert(s.end(), f.begin(), f.end());
  p.vin = "OLDCAR00000000000YZ";
  EXPECT_EQ(p.Ident(Short(s, 0x30)), (Bytes{0x21, 0xA3}));
  EXPECT_EQ(p.Cell(1, 0), "XTA11183070123321");
  EXPECT_EQ(p.vin, "XTA11183070123321  ");
  EXPECT_EQ(p.Cell(1, 2), "3450010   ");
  EXPECT_EQ(p.Cell(1, 3), std::string(16, ' '));
  EXPECT_EQ(p.Cell(1, 4), "EMUR1");
  EXPECT_EQ(p.Cell(1, 5), std::string(16, ' '));
  EXPECT_EQ(p.Cell(1, 6), "22.08.2006");
  EXPECT_FALSE(p.identifiersRead);
  EXPECT_EQ(p.Ident(Short(Concat({0x61, 0xA3}, "07.09.2007"), 0x30)), (Bytes{0x21, 0x90}));
  EXPECT_EQ(p.Cell(1, 10), "07.09.2007");
  EXPECT_EQ(p.Ident(Short(Concat({0x61, 0x90}, "XTA11183070123399"), 0x30)), (Bytes{0x21, 0x91}));
  EXPECT_EQ(p.Cell(2, 0), "XTA11183070123399");
  const struct {
    std::uint8_t id;
    const char* text;
    int row;
    Bytes next;
  } kRest[] = {{0x91, "0123456789ABCDEF", 1, {0x21, 0x92}}, {0x92, "0123456789", 2, {0x21, 0x94}},
               {0x94, "9876543210", 3, {0x21, 0x95}},       {0x95, "EMUR1", 4, {0x21, 0x98}},
               {0x98, "3450010", 5, {0x21, 0x99}},          {0x99, "31.12.2005", 6, {0x1A, 0x80}}};
  for (const auto& r : kRest) {
    EXPECT_EQ(p.Ident(Short(Concat({0x61, r.id}, std::string(r.text) + "++"), 0x30)), r.next);
    EXPECT_EQ(p.Cell(2, r.row), r.text);
  }
}

TEST(IdentPage, January41LettersRunOneStepBehindTheirAnswers) {
  Pages p(4);
  ASSERT_EQ(p.ident.StringGrid4().RowCount(), 8);
  EXPECT_EQ(p.Cell(0, 0), "Производитель:");
  EXPECT_EQ(p.Cell(0, 6), "Таблица  калибровок:");
  EXPECT_EQ(p.Ident(Bytes(16, 'z')), Bytes{}) << "step 0 asks for nothing";
  EXPECT_EQ(p.requestStep, 1);
  EXPECT_EQ(p.Ident({}), Bytes{'Q'});
  EXPECT_EQ(p.Cell(1, 3), "");
  EXPECT_EQ(p.Ident(Concat({}, "\xC8\xD2\xDD\xCB\xCC\xC0          \x0D")), Bytes{'R'});
  EXPECT_EQ(p.Cell(1, 0), "ИТЭЛМА          ") << "the answer to Q on the third tick";
  const char* rows[] = {"R-answer", "S-answer", "T-answer", "U-answer", "V-answer", "W-answer"};
  const int rowOf[] = {1, 2, 4, 5, 6, 7};
  const char next[] = {'S', 'T', 'U', 'V', 'W', 'X'};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(p.Ident(Concat({}, rows[i])), Bytes{static_cast<std::uint8_t>(next[i])});
    EXPECT_EQ(p.Cell(1, rowOf[i]), rows[i]);
  }
  EXPECT_EQ(p.requestStep, 1) << "X closes the cycle";
  EXPECT_EQ(p.Ident(Concat({}, "X-answer, longer than sixteen")), Bytes{'Q'});
  EXPECT_EQ(p.Cell(1, 3), "X-answer, longer");
  p.requestStep = 9;
  EXPECT_EQ(p.Ident(Concat({}, "ignored")), Bytes{});
  EXPECT_EQ(p.requestStep, 1);
}

TEST(IdentPage, TypesWithoutIdentifiersDecodeNothing) {
  Pages gm(5);
  ASSERT_EQ(gm.ident.StringGrid4().RowCount(), 1);
  EXPECT_EQ(gm.Cell(0, 0), "Нет информации.");
  Pages mikas(10);
  EXPECT_EQ(mikas.ident.StringGrid4().RowCount(), 8);
  for (Pages* p : {&gm, &mikas}) {
    EXPECT_EQ(p->Ident(Concat({}, "ANSWER")), Bytes{});
    // Mikas keeps the labels and says beside them that nothing is read.
    EXPECT_EQ(p->Cell(1, 0), p == &mikas ? "Не поддерживается." : "");
    EXPECT_EQ(p->requestStep, 0);
  }
}

TEST(IdentPage, ValueDialogLeavesAWriteForTheNextTick) {
  Pages p(1);
  p.vin = "XTA21124070412345  ";
  view::Form* shown = nullptr;
  std::string oldValue;
  p.host.onModal = [&](view::Form& form) {
    shown = &form;
    oldValue = form.FindAs<view::Memo>("Memo1")->Items().at(0);
    EXPECT_EQ(form.Name(), "TOKBottomDlg");
    EXPECT_EQ(form.Caption(), " Модификация параметров");
    EXPECT_EQ(form.FindAs<view::Label>("Label1")->Caption(), "Старое значение:");
    EXPECT_EQ(form.FindAs<view::Label>("Label2")->Caption(), "Новое значение:");
    EXPECT_EQ(form.FindAs<view::Edit>("Edit1")->Hint(), "Введите требуемое значение.");
    EXPECT_EQ(form.FindAs<view::Label>("Label3")->Caption(),
              "Внимание!!! Модификация возможна только при включенном зажигании!!!");
    EXPECT_TRUE(form.FindAs<view::Button>("OKBtn")->Default());
    EXPECT_EQ(form.FindAs<view::Button>("CancelBtn")->Caption(), "Cancel");
    Answer("ABC")(form);
  };
  p.DoubleClick(0);
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(oldValue, "XTA21124070412345  ");
  EXPECT_EQ(p.host.messages, std::vector<std::string>{"OK! | Новое значение принято."});
  EXPECT_EQ(p.pendingCommand, 1u);
  EXPECT_EQ(p.vin, "ABC" + std::string(16, ' '));
  // The answer that tick carries is not decoded; the write replaces the page's request.
  EXPECT_EQ(p.Ident(Option80Of19("XTA99999999999999")),
            Concat({0x3B, 0x90}, "ABC" + std::string(16, ' ')));
  EXPECT_EQ(p.Cell(1, 0), "");
  EXPECT_EQ(p.pendingCommand, 0u);
  EXPECT_EQ(p.Ident(Short({0x7E})), (Bytes{0x1A, 0x80})) << "and the rotation starts over";

  const struct {
    int row;
    const char* typed;
    Bytes request;
    std::uint32_t command;
  } kWrites[] = {{5, "SP1", Concat({0x3B, 0x98}, "SP1    "), 5},
                 {8, "0000001", Concat({0x3B, 0xA1}, "0000001"), 2},
                 {9, "ENGINE-NUMBER", Concat({0x3B, 0xA2}, "ENGINE-"), 3},
                 {10, "01.02.2003 and more", Concat({0x3B, 0xA3}, "01.02.2003"), 4}};
  for (const auto& w : kWrites) {
    p.host.onModal = Answer(w.typed);
    p.DoubleClick(w.row);
    EXPECT_EQ(p.pendingCommand, w.command) << w.row;
    EXPECT_EQ(p.Ident(Short({0x7E})), w.request) << w.row;
  }
  EXPECT_EQ(p.identifiers.engineNumber, "ENGINE-");
  p.host.onModal = Answer("Кириллица");
  p.DoubleClick(0);
  EXPECT_EQ(p.vin.substr(0, 9), "\xCA\xE8\xF0\xE8\xEB\xEB\xE8\xF6\xE0")
      << "written in Windows-1251";
  p.pendingCommand = 0;

  p.host.messages.clear();
  p.host.onModal = Answer("NEW", false);
  p.DoubleClick(8);
  EXPECT_EQ(p.identifiers.bodyNumber, "0000001") << "Cancel changes nothing";
  EXPECT_EQ(p.pendingCommand, 0u);
  EXPECT_TRUE(p.host.messages.empty());
  shown = nullptr;
  p.host.onModal = [&](view::Form& form) { shown = &form; };
  for (int row : {1, 2, 3, 4, 6, 7}) p.DoubleClick(row);
  EXPECT_EQ(shown, nullptr) << "rows that cannot be written open nothing";
}

TEST(IdentPage, WithACommandPendingNoAnswerIsDecodedAndTheCommandGoes) {
  Pages p(9);
  p.pendingCommand = 7;  // left by no button of this page: taken and dropped here
  EXPECT_EQ(p.Ident(Option80Of19("XTA21126080522871")), (Bytes{0x1A, 0x80}));
  EXPECT_EQ(p.pendingCommand, 0u);
  EXPECT_EQ(p.Cell(1, 0), "");
  EXPECT_FALSE(p.identifiersRead);
}

TEST(IdentPage, TypesWithoutWritesLeaveNoCommand) {
  for (std::uint32_t type : {3u, 4u, 5u, 7u, 10u, 11u}) {
    Pages p(type);
    p.host.onModal = Answer("XYZ");
    p.DoubleClick(0);
    EXPECT_EQ(p.host.messages.size(), 1u) << type;
    EXPECT_EQ(p.pendingCommand, 0u) << type;
  }
}

TEST(IdentPage, ANewControllerTypeForgetsThePreviousCarsIdentifiers) {
  Pages p(1);
  p.Ident(Option80Of19("XTA21124070412345"));
  p.Ident(Short(Concat({0x61, 0xA1}, "0412345")));
  ASSERT_TRUE(p.identifiersRead);
  p.Apply(1);
  EXPECT_TRUE(p.identifiersRead) << "the same type keeps them for the report header";
  EXPECT_EQ(p.Cell(1, 0), "XTA21124070412345  ");
  p.Apply(8);
  EXPECT_FALSE(p.identifiersRead);
  EXPECT_EQ(p.vin, std::string(19, ' '));
  EXPECT_EQ(p.controllerNumber, std::string(16, ' '));
  EXPECT_EQ(p.romId, std::string(8, ' '));
  EXPECT_EQ(p.identifiers.bodyNumber, std::string(7, ' '));
  EXPECT_EQ(p.identifiers.sparePartCode, std::string(7, ' '));
  EXPECT_EQ(p.Cell(1, 0), "");
  EXPECT_EQ(p.Cell(1, 8), "");
  EXPECT_EQ(p.Cell(0, 8), "Серийный номер кузова       :");
}

}  // namespace
}  // namespace kd::identity::test
