#include "text/number_format.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <clocale>
#include <cmath>
#include <limits>

namespace kd::text {

namespace {

// A double carries fifteen trustworthy significant digits. Rounding to them first, and only then
// half away from zero at the last placeholder, is what makes 2.675 show as "2.68" and 0.005 as
// "0.01", the way a person reading the pattern expects, instead of the "2.67" that the binary
// value 2.67499999... would give when rounded directly.
constexpr int kSignificant = 15;

// Past this many integer digits the trailing ones are noise from the conversion, and a column
// of a few characters cannot hold them anyway; such values switch to the exponent form.
constexpr int kFixedExponentLimit = 18;

// |value| as d.dddd x 10^exponent. An empty digit string is zero.
struct Decimal {
  std::string digits;
  int exponent = 0;
  bool negative = false;
};

Decimal Decompose(double value) {
  Decimal d;
  d.negative = std::signbit(value);
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                    std::chars_format::scientific, kSignificant - 1);
  const std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
  // "d.dddddddddddddde+XX"
  const std::size_t e = text.find('e');
  d.digits += text[0];
  d.digits += text.substr(2, e - 2);
  int exponent = 0;
  for (std::size_t i = e + 2; i < text.size(); ++i) exponent = exponent * 10 + (text[i] - '0');
  d.exponent = text[e + 1] == '-' ? -exponent : exponent;
  if (d.digits.find_first_not_of('0') == std::string::npos) d = Decimal{};
  return d;
}

// Keeps the digits down to 10^-decimals, rounding half away from zero on the decimal digits.
void RoundTo(Decimal& d, int decimals) {
  const int keep = d.exponent + 1 + decimals;
  if (d.digits.empty() || keep >= static_cast<int>(d.digits.size())) return;
  if (keep < 0) {
    d = Decimal{};
    return;
  }
  const bool up = d.digits[static_cast<std::size_t>(keep)] >= '5';
  d.digits.resize(static_cast<std::size_t>(keep));
  if (up) {
    int i = keep - 1;
    for (; i >= 0 && d.digits[static_cast<std::size_t>(i)] == '9'; --i) {
      d.digits[static_cast<std::size_t>(i)] = '0';
    }
    if (i < 0) {
      d.digits.insert(d.digits.begin(), '1');
      ++d.exponent;
    } else {
      ++d.digits[static_cast<std::size_t>(i)];
    }
  }
  if (d.digits.find_first_not_of('0') == std::string::npos) d = Decimal{};
}

char DigitAt(const Decimal& d, int power) {
  const int index = d.exponent - power;
  if (index < 0 || index >= static_cast<int>(d.digits.size())) return '0';
  return d.digits[static_cast<std::size_t>(index)];
}

struct Layout {
  int min_integer = 0;   // integer digits always shown, from the first '0' to the point
  int max_decimals = 0;  // placeholders after the point
  int min_decimals = 0;  // up to the last '0' after the point
};

std::string Fixed(const Decimal& d, const Layout& layout, char separator) {
  std::string out;
  if (d.negative) out += '-';  // zero never keeps its sign, see Decompose and RoundTo
  const int integer_digits = d.digits.empty() ? 0 : std::max(d.exponent + 1, 0);
  out.append(static_cast<std::size_t>(std::max(layout.min_integer - integer_digits, 0)), '0');
  for (int power = integer_digits - 1; power >= 0; --power) out += DigitAt(d, power);
  std::string fraction;
  for (int power = -1; power >= -layout.max_decimals; --power) fraction += DigitAt(d, power);
  while (static_cast<int>(fraction.size()) > layout.min_decimals && fraction.back() == '0') {
    fraction.pop_back();
  }
  if (!fraction.empty()) {
    out += separator;
    out += fraction;
  }
  return out;
}

std::string Scientific(const Decimal& d, char separator) {
  std::string out;
  if (d.negative) out += '-';
  std::string_view digits = d.digits;
  digits = digits.substr(0, digits.find_last_not_of('0') + 1);
  out += digits[0];
  if (digits.size() > 1) {
    out += separator;
    out += digits.substr(1);
  }
  out += 'E';
  out += std::to_string(d.exponent);
  return out;
}

// The form an empty pattern asks for: all significant digits, the exponent only where the
// plain form would run long.
std::string General(const Decimal& d, char separator) {
  if (d.digits.empty()) return "0";
  if (d.exponent < -4 || d.exponent >= kSignificant) return Scientific(d, separator);
  const auto last = static_cast<int>(d.digits.find_last_not_of('0'));
  Layout layout;
  layout.min_integer = 1;
  layout.max_decimals = std::max(last - d.exponent, 0);
  return Fixed(d, layout, separator);
}

// Zero means "not read yet": a NUL separator would cut every C string it landed in.
std::atomic<char> g_separator{'\0'};

char LocaleSeparator() {
  const std::lconv* conv = std::localeconv();
  if (conv == nullptr || conv->decimal_point == nullptr) return '.';
  const char* point = conv->decimal_point;
  // A separator that takes more than one byte (a few Arabic-script locales) cannot be held in a
  // char; the plain point is the least surprising stand-in.
  const auto first = static_cast<unsigned char>(point[0]);
  if (first == 0 || first >= 0x80 || point[1] != '\0') return '.';
  return point[0];
}

std::int64_t TruncateClamped(double value) {
  if (std::isnan(value)) return 0;
  // 2^63 is exact in a double; converting anything at or beyond it would be undefined.
  constexpr double kLimit = 9223372036854775808.0;
  if (value >= kLimit) return std::numeric_limits<std::int64_t>::max();
  if (value <= -kLimit) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(value);
}

// Negative values show as two's complement, 32-bit like IntToHex of an Integer
// (-1 -> "FFFFFFFF"), or 64-bit when the value does not fit in 32 bits, so that no value is
// silently altered. Doubles beyond the 64-bit range clamp to its ends; NaN shows as zero.
std::string Hex(double value, std::size_t width) {
  const std::int64_t n = TruncateClamped(value);
  std::uint64_t bits = 0;
  if (n >= 0) {
    bits = static_cast<std::uint64_t>(n);
  } else if (n >= std::numeric_limits<std::int32_t>::min()) {
    bits = static_cast<std::uint32_t>(static_cast<std::int32_t>(n));
  } else {
    bits = static_cast<std::uint64_t>(n);
  }
  char buffer[16];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, bits, 16);
  std::string digits(buffer, result.ptr);
  for (char& c : digits) {
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
  }
  if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
  return digits;
}

}  // namespace

std::string FormatNumber(double value, std::string_view pattern) {
  const char separator = DecimalSeparator();
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";

  Decimal d = Decompose(value);
  if (pattern.empty()) return General(d, separator);

  const std::size_t first = pattern.find_first_of("0#.");
  if (first == std::string_view::npos) return std::string(pattern);  // nothing but text
  const std::size_t last = pattern.find_last_of("0#.");
  const std::string_view prefix = pattern.substr(0, first);
  const std::string_view suffix = pattern.substr(last + 1);

  Layout layout;
  bool after_point = false;
  bool required = false;  // a '0' has been seen in the integer part
  for (const char c : pattern.substr(first, last - first + 1)) {
    if (c == '.') {
      after_point = true;  // later points are ignored, as FormatFloat ignores them
    } else if (c == '0' || c == '#') {
      if (after_point) {
        ++layout.max_decimals;
        if (c == '0') layout.min_decimals = layout.max_decimals;
      } else {
        required = required || c == '0';
        if (required) ++layout.min_integer;
      }
    }
    // Anything else between the placeholders has no place in the number and is dropped.
  }

  std::string body;
  if (!d.digits.empty() && d.exponent >= kFixedExponentLimit) {
    body = Scientific(d, separator);
  } else {
    RoundTo(d, layout.max_decimals);
    body = Fixed(d, layout, separator);
  }
  // The minus stays with the digits, after any leading text, where a reader looks for it.
  return std::string(prefix) + body + std::string(suffix);
}

char DecimalSeparator() {
  char current = g_separator.load(std::memory_order_relaxed);
  if (current != '\0') return current;
  const char from_locale = LocaleSeparator();
  // A separator fixed meanwhile by another thread wins over the one just read.
  if (g_separator.compare_exchange_strong(current, from_locale, std::memory_order_relaxed)) {
    return from_locale;
  }
  return current;
}

void SetDecimalSeparator(char separator) {
  g_separator.store(separator, std::memory_order_relaxed);
}

void ResetDecimalSeparator() {
  SetDecimalSeparator('\0');
}

std::string_view DecimalsPattern(std::int32_t decimals) {
  if (decimals == 0) return "###0.";
  if (decimals == 1) return "###0.#";
  return "###0.##";
}

void AppendDecimals(std::string& out, double value, std::int32_t decimals) {
  const int maxDecimals = decimals == 0 ? 0 : decimals == 1 ? 1 : 2;
  if (!std::isfinite(value)) {
    out += FormatNumber(value, DecimalsPattern(decimals));
    return;
  }
  // The same steps as Decompose, RoundTo and Fixed, on a digit array on the stack.
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                    std::chars_format::scientific, kSignificant - 1);
  const std::string_view chars(buffer, static_cast<std::size_t>(result.ptr - buffer));
  const std::size_t e = chars.find('e');
  char digits[kSignificant + 1];
  int n = 0;
  digits[n++] = chars[0];
  for (std::size_t i = 2; i < e && n < kSignificant; ++i) digits[n++] = chars[i];
  int exponent = 0;
  for (std::size_t i = e + 2; i < chars.size(); ++i) exponent = exponent * 10 + (chars[i] - '0');
  if (chars[e + 1] == '-') exponent = -exponent;
  const auto allZero = [&] {
    for (int i = 0; i < n; ++i)
      if (digits[i] != '0') return false;
    return true;
  };
  if (allZero()) {
    out += '0';
    return;
  }
  if (exponent >= kFixedExponentLimit) {
    out += FormatNumber(value, DecimalsPattern(decimals));
    return;
  }
  const int keep = exponent + 1 + maxDecimals;
  if (keep < n) {
    if (keep < 0) {
      out += '0';
      return;
    }
    const bool up = digits[keep] >= '5';
    n = keep;
    if (up) {
      int i = n - 1;
      for (; i >= 0 && digits[i] == '9'; --i) digits[i] = '0';
      if (i < 0) {
        for (int j = n; j > 0; --j) digits[j] = digits[j - 1];
        digits[0] = '1';
        ++n;
        ++exponent;
      } else {
        ++digits[i];
      }
    }
    if (allZero()) {
      out += '0';
      return;
    }
  }
  const auto digitAt = [&](int power) {
    const int index = exponent - power;
    return index < 0 || index >= n ? '0' : digits[index];
  };
  if (std::signbit(value)) out += '-';
  const int integerDigits = std::max(exponent + 1, 0);
  if (integerDigits == 0) out += '0';
  for (int power = integerDigits - 1; power >= 0; --power) out += digitAt(power);
  char fraction[2];
  int f = 0;
  for (int power = -1; power >= -maxDecimals; --power) fraction[f++] = digitAt(power);
  while (f > 0 && fraction[f - 1] == '0') --f;
  if (f > 0) {
    out += DecimalSeparator();
    out.append(fraction, static_cast<std::size_t>(f));
  }
}

std::string Hex2(double value) {
  return Hex(value, 2);
}
std::string Hex4(double value) {
  return Hex(value, 4);
}

}  // namespace kd::text
