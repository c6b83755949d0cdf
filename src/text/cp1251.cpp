#include "text/cp1251.h"

#include <array>
#include <cstdint>

namespace kd::text {

namespace {

// The upper half of the code page; the lower half is ASCII. Zero marks 0x98, the one byte the
// code page leaves unassigned, so that the reverse search can never answer with it.
constexpr std::array<char16_t, 128> kUpperHalf = {
    // 0x80
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  //
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  //
    // 0x90
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  //
    0x0000, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  //
    // 0xA0
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  //
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  //
    // 0xB0
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  //
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  //
    // 0xC0..0xFF: А..я in alphabetical order, without Ё/ё
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,  //
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,  //
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,  //
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,  //
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,  //
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,  //
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,  //
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,  //
};

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t cp) {
  // The code page reaches no further than the BMP, so three bytes always suffice.
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

char ToCp1251(char32_t cp) {
  if (cp < 0x80) return static_cast<char>(cp);
  // Almost every non-ASCII character in our texts is a plain Cyrillic letter; spare them the
  // search through the punctuation half.
  if (cp >= 0x0410 && cp <= 0x044F) return static_cast<char>(0xC0 + (cp - 0x0410));
  for (std::size_t i = 0; i < 0x40; ++i) {
    if (kUpperHalf[i] != 0 && kUpperHalf[i] == cp) return static_cast<char>(0x80 + i);
  }
  return '?';
}

}  // namespace

std::string Cp1251ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    const auto b = static_cast<std::uint8_t>(c);
    if (b < 0x80) {
      out += c;
      continue;
    }
    const char16_t unit = kUpperHalf[b - 0x80];
    AppendUtf8(out, unit == 0 ? kReplacement : char32_t{unit});
  }
  return out;
}

std::string Utf8ToCp1251(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    const auto lead = static_cast<std::uint8_t>(utf8[i]);
    if (lead < 0x80) {
      out += utf8[i++];
      continue;
    }
    // The bounds on the second byte exclude overlong forms, surrogates and code points past
    // U+10FFFF, so a decoded value is always a real character.
    std::size_t length = 0;
    char32_t cp = 0;
    std::uint8_t low = 0x80;
    std::uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      cp = lead & 0x0F;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      cp = lead & 0x07;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      out += '?';
      ++i;
      continue;
    }
    std::size_t taken = 1;
    for (; taken < length && i + taken < utf8.size(); ++taken) {
      const auto next = static_cast<std::uint8_t>(utf8[i + taken]);
      if (next < low || next > high) break;
      cp = (cp << 6) | (next & 0x3F);
      low = 0x80;
      high = 0xBF;
    }
    if (taken < length) {
      // One '?' for the broken prefix, then resume at the byte that broke it: a truncated
      // sequence must not swallow the character after it.
      out += '?';
      i += taken;
      continue;
    }
    out += ToCp1251(cp);
    i += length;
  }
  return out;
}

}  // namespace kd::text
