// Display of numbers by pattern: "0" a digit always shown, "#" a digit shown only when
// significant, "." the locale's decimal separator; the value is rounded to the last placeholder.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kd::text {

std::string FormatNumber(double value, std::string_view pattern);

// The decimal separator patterns print. Starts as the system locale's, read on first use (so
// after the program has chosen its locale); tests fix it. Setting '\0' returns to the locale's.
char DecimalSeparator();
void SetDecimalSeparator(char separator);
// Forgets a fixed separator; the next use reads the current locale again.
void ResetDecimalSeparator();

// The pattern a parameter's Decimals selects: "###0." (0), "###0.#" (1), "###0.##" (any other).
std::string_view DecimalsPattern(std::int32_t decimals);

// FormatNumber(value, DecimalsPattern(decimals)) appended to `out` without building strings of its
// own: the report writers format tens of thousands of values in one go.
void AppendDecimals(std::string& out, double value, std::int32_t decimals);

// Upper-case hexadecimal with leading zeros, of the value truncated toward zero.
std::string Hex2(double value);
std::string Hex4(double value);

}  // namespace kd::text
