#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <iomanip>
#include <limits>
#include <string>
#include <vector>

#include "support/comma_locale.h"
#include "text/cp1251.h"
#include "text/number_format.h"

namespace kd::text {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(Cp1251, EveryAssignedByteSurvivesARoundTripBothWays) {
  std::string bytes;
  for (int b = 0; b < 256; ++b) {
    if (b == 0x98) continue;
    const std::string one(1, static_cast<char>(b));
    EXPECT_EQ(Utf8ToCp1251(Cp1251ToUtf8(one)), one) << "byte 0x" << std::hex << b;
    EXPECT_NE(Cp1251ToUtf8(one), "\uFFFD") << "byte 0x" << std::hex << b;
    bytes += one;
  }
  const std::string utf8 = Cp1251ToUtf8(bytes);
  EXPECT_EQ(Utf8ToCp1251(utf8), bytes);
  EXPECT_EQ(Cp1251ToUtf8(Utf8ToCp1251(utf8)), utf8);
}

TEST(Cp1251, BytesMapToTheirCodePoints) {
  // The expected texts are the compiler's UTF-8 for each code point.
  const std::pair<unsigned char, const char*> cases[] = {
      {0x41, "A"},      {0x7F, "\x7F"},   {0x80, "\u0402"}, {0x82, "\u201A"}, {0x88, "\u20AC"},
      {0x96, "\u2013"}, {0x98, "\uFFFD"}, {0x99, "\u2122"}, {0x9F, "\u045F"}, {0xA0, "\u00A0"},
      {0xA5, "\u0490"}, {0xA8, "\u0401"}, {0xAD, "\u00AD"}, {0xB4, "\u0491"}, {0xB8, "\u0451"},
      {0xB9, "\u2116"}, {0xBF, "\u0457"}, {0xC0, "\u0410"}, {0xDF, "\u042F"}, {0xFF, "\u044F"},
  };
  for (const auto& [byte, utf8] : cases) {
    EXPECT_EQ(Cp1251ToUtf8(std::string(1, static_cast<char>(byte))), utf8)
        << "byte 0x" << std::hex << int{byte};
  }
  EXPECT_EQ(Utf8ToCp1251("Обороты №2 Ёё"), "\xCE\xE1\xEE\xF0\xEE\xF2\xFB \xB9\x32 \xA8\xB8");
}

TEST(Cp1251, UnmappableAndMalformedInputBecomesQuestionMarks) {
  // clang-format off
  const std::pair<std::string, std::string> cases[] = {
      {"\u4E2D", "?"},              {"\U0001F600", "?"},           // CJK; emoji, one character
      {"\u00E9", "?"},              {"\uFFFD", "?"},               // é; never back to 0x98
      {"\x80", "?"},                {"A\xD0", "A?"},               // stray; truncated at the end
      {"\xE2\x84\x42", "?B"},       {"\xC0\xAF", "??"},            // truncated; overlong
      {"\xE0\x80\xAF", "???"},      {"\xED\xA0\x80", "???"},       // overlong; surrogate
      {"\xF4\x90\x80\x80", "????"}, {"\xF5\x80\x80\x80", "????"},  // beyond U+10FFFF
      {"\xFF\xD0\x96", "?\xC6"},
  };
  // clang-format on
  for (const auto& [utf8, expected] : cases) EXPECT_EQ(Utf8ToCp1251(utf8), expected) << utf8;
}

class NumberFormat : public ::testing::Test {
 protected:
  void SetUp() override { SetDecimalSeparator('.'); }
  void TearDown() override { ResetDecimalSeparator(); }

  struct Case {
    double value;
    const char* pattern;
    const char* expected;
  };
  static void ExpectAll(std::initializer_list<Case> cases) {
    for (const auto& c : cases) {
      EXPECT_EQ(FormatNumber(c.value, c.pattern), c.expected)
          << c.pattern << " of " << std::setprecision(17) << c.value;
    }
  }
};

TEST_F(NumberFormat, EachPatternShowsItsDigits) {
  // clang-format off
  ExpectAll({{12.3, "###0.##", "12.3"},     {12.0, "###0.##", "12"},    {0.5, "###0.##", "0.5"},
             {12.34, "###0.#", "12.3"},    {12.0, "###0.#", "12"},     {12.6, "###0.", "13"},
             {12.4, "0.", "12"},           {0.4, "0.", "0"},           {5, "00", "05"},
             {123, "00", "123"},           {0, "00", "00"},            {7, "0000", "0007"},
             {12345, "0000", "12345"},     {42.7, "####0", "43"},      {0.2, "####0", "0"},
             {3.14159, "##0.##", "3.14"},  {1234.5, "##0.##", "1234.5"},
             {12.5, "0.00", "12.50"},      {1, "0.0#", "1.0"},         {-5, "t=00 C", "t=-05 C"}});
  // clang-format on
}

TEST_F(NumberFormat, RoundsHalfAwayFromZeroOnTheDecimalDigits) {
  // clang-format off
  ExpectAll({{0.005, "###0.##", "0.01"},    {0.00499, "###0.##", "0"},  {2.675, "###0.##", "2.68"},
             {1.005, "###0.##", "1.01"},    {12.345, "##0.##", "12.35"}, {0.125, "###0.##", "0.13"},
             {1.45, "###0.#", "1.5"},       {2.5, "###0.", "3"},        {0.5, "00", "01"},
             {9.995, "###0.##", "10"},      {99.95, "###0.#", "100"},   {999.5, "0000", "1000"},
             {1e-300, "###0.##", "0"},      {1.0000000000000002, "###0.##", "1"}});
  // clang-format on
}

TEST_F(NumberFormat, NegativesCarryAMinusUnlessTheyRoundToZero) {
  // clang-format off
  ExpectAll({{-1.5, "###0.#", "-1.5"},     {-5, "00", "-05"},          {-2.5, "###0.", "-3"},
             {-0.005, "###0.##", "-0.01"}, {-0.001, "###0.##", "0"},   {-0.4, "0.", "0"},
             {-0.0, "0000", "0000"},       {-1234.567, "##0.##", "-1234.57"}});
  // clang-format on
}

TEST_F(NumberFormat, CommaSeparatorAppearsOnlyWithDecimals) {
  // clang-format off
  SetDecimalSeparator(',');
  ExpectAll({{12.5, "###0.##", "12,5"},     {12.5, "###0.", "13"},      {-0.25, "##0.##", "-0,25"},
             {7, "0000", "0007"},           {1.5e20, "###0.##", "1,5E20"}, {0.5, "", "0,5"}});
  // clang-format on
}

TEST_F(NumberFormat, HugeAndNonFiniteValuesStaySane) {
  // clang-format off
  ExpectAll({{123456789012.345, "###0.##", "123456789012.35"},
             {1e17, "###0.##", "100000000000000000"},  {1e18, "###0.##", "1E18"},
             {-2.5e20, "00", "-2.5E20"},
             {std::numeric_limits<double>::max(), "0", "1.79769313486232E308"},
             {kNaN, "###0.##", "NAN"},     {kInf, "00", "INF"},        {-kInf, "0.", "-INF"}});
  // clang-format on
}

TEST_F(NumberFormat, EmptyPatternShowsEverySignificantDigit) {
  // clang-format off
  ExpectAll({{0.1, "", "0.1"},              {-12.5, "", "-12.5"},       {0, "", "0"},
             {1e20, "", "1E20"},           {1.5e-7, "", "1.5E-7"},     {0.0001, "", "0.0001"},
             {5, "n/a", "n/a"}});
  // clang-format on
}

TEST_F(NumberFormat, DecimalsSelectThePrecisionShown) {
  const std::pair<int, const char*> cases[] = {
      {0, "12"}, {1, "12.3"}, {2, "12.35"}, {5, "12.35"}, {-1, "12.35"}};
  for (const auto& [decimals, expected] : cases) {
    EXPECT_EQ(FormatNumber(12.345, DecimalsPattern(decimals)), expected) << decimals;
  }
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
  kd::testing::CommaLocale locale;
  if (!locale.Built()) GTEST_SKIP() << locale.WhyNot();
  // The separator is process-wide: whatever fails below, the next test starts from the point.
  struct Restore {
    ~Restore() {
      std::setlocale(LC_NUMERIC, "C");
      ResetDecimalSeparator();
    }
  } restore;
  ASSERT_NE(std::setlocale(LC_NUMERIC, "C"), nullptr);
  ResetDecimalSeparator();
  EXPECT_EQ(DecimalSeparator(), '.');
  ASSERT_NE(std::setlocale(LC_NUMERIC, kd::testing::CommaLocale::kName), nullptr)
      << "built, but the C library does not load it from LOCPATH";
  EXPECT_EQ(DecimalSeparator(), '.') << "read once, not on every call";
  ResetDecimalSeparator();
  EXPECT_EQ(DecimalSeparator(), ',');
  EXPECT_EQ(FormatNumber(1.25, "0.00"), "1,25");
  EXPECT_EQ(FormatNumber(-0.5, "###0.##"), "-0,5");
  EXPECT_EQ(FormatNumber(7, "###0.##"), "7") << "no separator without decimals";
  std::string file;
  AppendDecimals(file, 12.345, 1);
  EXPECT_EQ(file, "12,3") << "the report files write what the grid shows";
}

TEST(Hex, PadsToWidthAndTruncatesTowardZero) {
  // clang-format off
  const std::tuple<double, const char*, const char*> padded[] = {
      {0, "00", "0000"},      {10, "0A", "000A"},      {255, "FF", "00FF"},
      {15.99, "0F", "000F"},  {-0.99, "00", "0000"},   {0x1AB, "1AB", "01AB"},
      {kNaN, "00", "0000"},
  };
  // clang-format on
  for (const auto& [value, hex2, hex4] : padded) {
    EXPECT_EQ(Hex2(value), hex2) << value;
    EXPECT_EQ(Hex4(value), hex4) << value;
  }
  // Wide enough for both widths: negatives in two's complement, doubles clamped to 64 bits.
  // clang-format off
  const std::pair<double, const char*> wide[] = {
      {0xBEEF, "BEEF"},                 {0x12345, "12345"},                  {-1, "FFFFFFFF"},
      {-255.5, "FFFFFF01"},             {-2147483648.0, "80000000"},
      {-2147483649.0, "FFFFFFFF7FFFFFFF"}, {9223372036854774784.0, "7FFFFFFFFFFFFC00"},
      {9223372036854775808.0, "7FFFFFFFFFFFFFFF"}, {kInf, "7FFFFFFFFFFFFFFF"},
      {-9223372036854777856.0, "8000000000000000"}, {-1e30, "8000000000000000"},
  };
  // clang-format on
  for (const auto& [value, hex] : wide) {
    EXPECT_EQ(Hex2(value), hex) << std::setprecision(17) << value;
    EXPECT_EQ(Hex4(value), hex) << std::setprecision(17) << value;
  }
}

// The report writers' formatter must agree with FormatNumber on every value, or the files
// would differ from the grid.
TEST_F(NumberFormat, AppendDecimalsAgreesWithTheDecimalsPatterns) {
  std::uint64_t seed = 88172645463325252ull;
  const auto next = [&] {
    seed ^= seed << 13;
    seed ^= seed >> 7;
    seed ^= seed << 17;
    return seed;
  };
  std::vector<double> values = {0,     -0.0, 0.005, -0.005, 2.675,  9.995, 99.95,
                                0.049, 1e17, 1e18,  -1e19,  1.5e-7, 65535, -32768 * 0.0078125,
                                kNaN,  kInf, -kInf};
  for (int i = 0; i < 20000; ++i) {
    const double mantissa = static_cast<double>(next() % 2000001) / 1000 - 1000;
    const int exponent = static_cast<int>(next() % 9) - 4;
    values.push_back(mantissa * std::pow(10.0, exponent));
    values.push_back(static_cast<float>(static_cast<std::int16_t>(next() & 0xFFFF)) * 0.0078125f);
  }
  for (const char separator : {'.', ','}) {
    SetDecimalSeparator(separator);
    for (const double v : values)
      for (const int decimals : {0, 1, 2, 7}) {
        std::string out = "x";
        AppendDecimals(out, v, decimals);
        ASSERT_EQ(out, "x" + FormatNumber(v, DecimalsPattern(decimals))) << v << ' ' << decimals;
      }
  }
}

}  // namespace
}  // namespace kd::text
