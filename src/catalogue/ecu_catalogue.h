// The eleven controller types of the main window: what each is called, its own configuration
// file, its link family and the sizes of its built-in tables.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace kd::catalogue {

enum class LinkFamily { Kwp2000, Escaped, Gm };

struct EcuInfo {
  std::uint32_t code;
  std::string_view menuItem;      // control name under Typeblock1
  std::string_view menuCaption;
  std::string_view toolButton;    // control name on ToolBar1
  std::string_view toolHint;      // empty where the button has none
  std::string_view statusText;
  std::string_view defaultConfigFile;
  LinkFamily family;
  std::int32_t paramCount;
  std::int32_t frameSize;
  std::int32_t faultTableSize;
  std::int32_t actuatorCount;
  std::int32_t adcChannelCount;
};

inline constexpr std::uint32_t kFirstType = 1;
inline constexpr std::uint32_t kLastType = 11;
inline constexpr std::int32_t kMaxParams = 100;

bool IsKnownType(std::uint32_t code);
// Codes outside 1..11 answer with type 1's entry.
const EcuInfo& Lookup(std::uint32_t code);

// Entries in code order (index = code - 1).
const std::array<EcuInfo, 11>& AllTypes();
// The order of the tool bar's controller buttons and of the Typeblock1 menu items.
const std::array<std::uint32_t, 11>& ToolbarOrder();

}  // namespace kd::catalogue
