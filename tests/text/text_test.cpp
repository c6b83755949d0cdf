#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <iomanip>
#include <limits>
#include <string>

#include "text/cp1251.h"
#include "text/number_format.h"

namespace kd::text {
namespace {

// Written apart from the converter so that the two cannot share a mistake.
std::string Utf8(char32_t cp) {
  std::string out;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
  return out;
}

TEST(Cp1251, EveryAssignedByteSurvivesARoundTripBothWays) {
  std::string bytes;
  for (int b = 0; b < 256; ++b) {
    if (b == 0x98) continue;
    const std::string one(1, static_cast<char>(b));
    const std::string utf8 = Cp1251ToUtf8(one);
    EXPECT_EQ(Utf8ToCp1251(utf8), one) << "byte 0x" << std::hex << b;
    EXPECT_NE(utf8, Utf8(0xFFFD)) << "byte 0x" << std::hex << b;
    bytes += one;
  }
  const std::string utf8 = Cp1251ToUtf8(bytes);
  EXPECT_EQ(Utf8ToCp1251(utf8), bytes);
  EXPECT_EQ(Cp1251ToUtf8(Utf8ToCp1251(utf8)), utf8);
}

TEST(Cp1251, BytesMapToTheirCodePoints) {
  const struct {
    unsigned char byte;
    char32_t cp;
  } cases[] = {
      {0x00, 0x0000}, {0x41, 0x0041}, {0x7F, 0x007F}, {0x80, 0x0402}, {0x81, 0x0403},
      {0x82, 0x201A}, {0x88, 0x20AC}, {0x96, 0x2013}, {0x97, 0x2014}, {0x98, 0xFFFD},
      {0x99, 0x2122}, {0x9F, 0x045F}, {0xA0, 0x00A0}, {0xA5, 0x0490}, {0xA8, 0x0401},
      {0xAD, 0x00AD}, {0xB0, 0x00B0}, {0xB4, 0x0491}, {0xB8, 0x0451}, {0xB9, 0x2116},
      {0xBF, 0x0457}, {0xC0, 0x0410}, {0xDF, 0x042F}, {0xE0, 0x0430}, {0xFF, 0x044F},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Cp1251ToUtf8(std::string(1, static_cast<char>(c.byte))), Utf8(c.cp))
        << "byte 0x" << std::hex << int{c.byte};
  }
  EXPECT_EQ(Utf8ToCp1251("Обороты, об/мин №2 Ёё"),
            "\xCE\xE1\xEE\xF0\xEE\xF2\xFB, \xEE\xE1/\xEC\xE8\xED \xB9" "2 \xA8\xB8");
}

TEST(Cp1251, UnmappableAndMalformedInputBecomesQuestionMarks) {
  const struct {
    std::string utf8;
    std::string expected;
  } cases[] = {
      {Utf8(0x4E2D), "?"},               // CJK, not in the code page
      {Utf8(0x1F600), "?"},              // four bytes, one character
      {Utf8(0x00E9), "?"},               // Latin-1 letter the code page lacks
      {Utf8(0xFFFD), "?"},               // never back to the unassigned 0x98
      {"\x80", "?"},                     // lone continuation byte
      {"A\xD0", "A?"},                   // truncated at the end
      {"\xE2\x84" "B", "?B"},            // truncated, next character kept
      {"\xC0\xAF", "??"},                // overlong '/'
      {"\xE0\x80\xAF", "???"},           // overlong, three bytes
      {"\xED\xA0\x80", "???"},           // surrogate
      {"\xF4\x90\x80\x80", "????"},      // beyond U+10FFFF
      {"\xF5\x80\x80\x80", "????"},      // lead byte that could only start beyond it
      {"\xFF" "\xD0\x96", "?\xC6"},      // invalid lead, then a good letter
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8ToCp1251(c.utf8), c.expected) << c.utf8;
}

class NumberFormat : public ::testing::Test {
 protected:
  void SetUp() override { SetDecimalSeparator('.'); }
  void TearDown() override { ResetDecimalSeparator(); }
};

struct Case {
  double value;
  const char* pattern;
  const char* expected;
};

void ExpectAll(std::initializer_list<Case> cases) {
  for (const auto& c : cases) {
    EXPECT_EQ(FormatNumber(c.value, c.pattern), c.expected)
        << c.pattern << " of " << std::setprecision(17) << c.value;
  }
}

TEST_F(NumberFormat, EachPatternShowsItsDigits) {
  ExpectAll({
      {12.3, "###0.##", "12.3"},    {12.0, "###0.##", "12"},     {0.5, "###0.##", "0.5"},
      {12.34, "###0.#", "12.3"},    {12.0, "###0.#", "12"},      {12.6, "###0.", "13"},
      {12.4, "0.", "12"},           {0.4, "0.", "0"},            {5, "00", "05"},
      {123, "00", "123"},           {0, "00", "00"},             {7, "0000", "0007"},
      {12345, "0000", "12345"},     {42.7, "####0", "43"},       {0.2, "####0", "0"},
      {3.14159, "##0.##", "3.14"},  {1234.5, "##0.##", "1234.5"}, {0.0, "###0.##", "0"},
      {12.5, "0.00", "12.50"},      {1, "0.0#", "1.0"},          {1.25, "0.0#", "1.25"},
  });
}

TEST_F(NumberFormat, RoundsHalfAwayFromZeroOnTheDecimalDigits) {
  ExpectAll({
      {0.005, "###0.##", "0.01"},   {0.00499, "###0.##", "0"},    {2.675, "###0.##", "2.68"},
      {1.005, "###0.##", "1.01"},   {12.345, "##0.##", "12.35"},  {0.125, "###0.##", "0.13"},
      {1.45, "###0.#", "1.5"},      {0.05, "###0.#", "0.1"},      {2.5, "###0.", "3"},
      {3.5, "0.", "4"},             {0.5, "00", "01"},            {9.995, "###0.##", "10"},
      {99.95, "###0.#", "100"},     {999.5, "0000", "1000"},      {1e-300, "###0.##", "0"},
      {std::numeric_limits<double>::denorm_min(), "0.", "0"},
      {1.0000000000000002, "###0.##", "1"},
  });
}

TEST_F(NumberFormat, NegativesCarryAMinusUnlessTheyRoundToZero) {
  ExpectAll({
      {-1.5, "###0.#", "-1.5"},     {-5, "00", "-05"},            {-2.5, "###0.", "-3"},
      {-0.005, "###0.##", "-0.01"}, {-0.001, "###0.##", "0"},     {-0.4, "0.", "0"},
      {-0.0, "0000", "0000"},       {-1234.567, "##0.##", "-1234.57"},
  });
}

TEST_F(NumberFormat, CommaSeparatorAppearsOnlyWithDecimals) {
  SetDecimalSeparator(',');
  ExpectAll({
      {12.5, "###0.##", "12,5"},    {12.5, "###0.", "13"},        {-0.25, "##0.##", "-0,25"},
      {7, "0000", "0007"},          {1.5e20, "###0.##", "1,5E20"},
  });
}

TEST_F(NumberFormat, LargeValuesKeepEveryIntegerDigitThenTakeAnExponent) {
  ExpectAll({
      {123456789, "00", "123456789"},
      {123456789012.345, "###0.##", "123456789012.35"},
      {1e17, "###0.##", "100000000000000000"},
      {1e18, "###0.##", "1E18"},
      {-2.5e20, "00", "-2.5E20"},
      {std::numeric_limits<double>::max(), "0", "1.79769313486232E308"},
  });
}

TEST_F(NumberFormat, NonFiniteValuesPrintAWord) {
  ExpectAll({
      {std::numeric_limits<double>::quiet_NaN(), "###0.##", "NAN"},
      {std::numeric_limits<double>::infinity(), "00", "INF"},
      {-std::numeric_limits<double>::infinity(), "0.", "-INF"},
  });
}

TEST_F(NumberFormat, EmptyPatternAndTextAroundPlaceholders) {
  ExpectAll({
      {0.1, "", "0.1"},             {-12.5, "", "-12.5"},         {0, "", "0"},
      {1e20, "", "1E20"},           {1.5e-7, "", "1.5E-7"},       {0.0001, "", "0.0001"},
      {-5, "t=00 C", "t=-05 C"},    {5, "n/a", "n/a"},
  });
}

TEST_F(NumberFormat, DecimalsSelectThePrecisionShown) {
  EXPECT_EQ(FormatNumber(12.345, DecimalsPattern(0)), "12");
  EXPECT_EQ(FormatNumber(12.345, DecimalsPattern(1)), "12.3");
  EXPECT_EQ(FormatNumber(12.345, DecimalsPattern(2)), "12.35");
  EXPECT_EQ(FormatNumber(12.345, DecimalsPattern(5)), "12.35");
  EXPECT_EQ(FormatNumber(12.345, DecimalsPattern(-1)), "12.35");
}

TEST(DecimalSeparatorSource, FixedSeparatorOverridesTheLocaleUntilReset) {
  ASSERT_NE(std::setlocale(LC_NUMERIC, "C"), nullptr);
  ResetDecimalSeparator();
  EXPECT_EQ(DecimalSeparator(), '.');
  SetDecimalSeparator(',');
  EXPECT_EQ(FormatNumber(0.5, "0.0"), "0,5");
  SetDecimalSeparator('\0');
  EXPECT_EQ(DecimalSeparator(), '.');
}

TEST(DecimalSeparatorSource, CommaLocaleIsReadOnFirstUseAfterReset) {
  ASSERT_NE(std::setlocale(LC_NUMERIC, "C"), nullptr);
  ResetDecimalSeparator();
  EXPECT_EQ(DecimalSeparator(), '.');
  bool found = false;
  for (const char* name : {"ru_RU.UTF-8", "ru_RU.utf8", "de_DE.UTF-8", "de_DE.utf8"}) {
    found = found || std::setlocale(LC_NUMERIC, name) != nullptr;
  }
  if (found) {
    EXPECT_EQ(DecimalSeparator(), '.') << "read once, not on every call";
    ResetDecimalSeparator();
    EXPECT_EQ(DecimalSeparator(), ',');
    EXPECT_EQ(FormatNumber(1.25, "0.00"), "1,25");
  }
  std::setlocale(LC_NUMERIC, "C");
  ResetDecimalSeparator();
  if (!found) GTEST_SKIP() << "no locale with a decimal comma installed";
}

TEST(Hex, PadsToWidthAndTruncatesTowardZero) {
  const struct {
    double value;
    const char* hex2;
    const char* hex4;
  } cases[] = {
      {0, "00", "0000"},
      {10, "0A", "000A"},
      {255, "FF", "00FF"},
      {0x1AB, "1AB", "01AB"},
      {0xBEEF, "BEEF", "BEEF"},
      {0x12345, "12345", "12345"},
      {15.99, "0F", "000F"},
      {-0.99, "00", "0000"},
      {-1, "FFFFFFFF", "FFFFFFFF"},
      {-255.5, "FFFFFF01", "FFFFFF01"},
      {-2147483648.0, "80000000", "80000000"},
      {-2147483649.0, "FFFFFFFF7FFFFFFF", "FFFFFFFF7FFFFFFF"},
      {9223372036854774784.0, "7FFFFFFFFFFFFC00", "7FFFFFFFFFFFFC00"},
      {1e30, "7FFFFFFFFFFFFFFF", "7FFFFFFFFFFFFFFF"},
      {-9223372036854777856.0, "8000000000000000", "8000000000000000"},
      {-1e30, "8000000000000000", "8000000000000000"},
      {std::numeric_limits<double>::infinity(), "7FFFFFFFFFFFFFFF", "7FFFFFFFFFFFFFFF"},
      {std::numeric_limits<double>::quiet_NaN(), "00", "0000"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Hex2(c.value), c.hex2) << std::setprecision(17) << c.value;
    EXPECT_EQ(Hex4(c.value), c.hex4) << std::setprecision(17) << c.value;
  }
}

}  // namespace
}  // namespace kd::text
