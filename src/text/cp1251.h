// Windows-1251, the code page of every configuration file and report, against the UTF-8 that the
// program holds its texts in.
#pragma once

#include <string>
#include <string_view>

namespace kd::text {

// Every byte value maps to a character; the one unassigned value (0x98) becomes U+FFFD.
std::string Cp1251ToUtf8(std::string_view bytes);
// Characters the code page lacks become '?'; malformed UTF-8 sequences too.
std::string Utf8ToCp1251(std::string_view utf8);

}  // namespace kd::text
