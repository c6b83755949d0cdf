// One parameter definition, byte for byte as it stands in memory, in the built-in tables and in
// configuration files. Texts are Windows-1251, NUL-terminated.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "text/cp1251.h"

namespace kd::catalogue {

static_assert(std::endian::native == std::endian::little,
              "records are read and written as they lie in memory, little-endian");

struct ParamRecord {
  char name[25] = {};
  char unit[15] = {};
  char kind = 0;  // 'B', 'C', 'D', 'H', 'P', 'S'; 0 in an empty record
  std::uint8_t reserved41[3] = {};
  std::int32_t width = 0;  // only 2 is a 16-bit value
  float chartMax = 0;
  float chartMin = 0;
  float scale = 0;   // exactly -1 marks reciprocal decoding
  float offset = 0;  // in reciprocal decoding the numerator
  std::int32_t decimals = 0;
  std::int32_t dataOffset = 0;  // escaped-frame types: low byte is the request code
  std::int32_t gridRow = 0;
  std::int32_t bit = 0;  // 'B': bit number; 'D': position of the low byte
  float value = 0;
  std::uint8_t bitState = 0;
  std::uint8_t reserved85[3] = {};
  float chartPercent = 0;
  std::uint8_t shown = 0;
  std::uint8_t onChart = 0;
  char description[255] = {};
  std::uint8_t reserved349[3] = {};
};

static_assert(sizeof(ParamRecord) == 352);
static_assert(offsetof(ParamRecord, unit) == 25);
static_assert(offsetof(ParamRecord, kind) == 40);
static_assert(offsetof(ParamRecord, width) == 44);
static_assert(offsetof(ParamRecord, chartMax) == 48);
static_assert(offsetof(ParamRecord, chartMin) == 52);
static_assert(offsetof(ParamRecord, scale) == 56);
static_assert(offsetof(ParamRecord, offset) == 60);
static_assert(offsetof(ParamRecord, decimals) == 64);
static_assert(offsetof(ParamRecord, dataOffset) == 68);
static_assert(offsetof(ParamRecord, gridRow) == 72);
static_assert(offsetof(ParamRecord, bit) == 76);
static_assert(offsetof(ParamRecord, value) == 80);
static_assert(offsetof(ParamRecord, bitState) == 84);
static_assert(offsetof(ParamRecord, chartPercent) == 88);
static_assert(offsetof(ParamRecord, shown) == 92);
static_assert(offsetof(ParamRecord, onChart) == 93);
static_assert(offsetof(ParamRecord, description) == 94);

// A text field up to its terminator; a field without one ends at its size.
template <std::size_t N>
std::string_view FieldText(const char (&field)[N]) {
  std::size_t n = 0;
  while (n < N && field[n] != 0) ++n;
  return {field, n};
}

// A text field as the user interface shows it.
template <std::size_t N>
std::string FieldUtf8(const char (&field)[N]) {
  return text::Cp1251ToUtf8(FieldText(field));
}

// Copies Windows-1251 bytes into a field, cut so that the terminator always fits.
template <std::size_t N>
void SetFieldText(char (&field)[N], std::string_view cp1251) {
  std::size_t n = 0;
  for (; n < N - 1 && n < cp1251.size(); ++n) field[n] = cp1251[n];
  for (; n < N; ++n) field[n] = 0;
}

}  // namespace kd::catalogue
