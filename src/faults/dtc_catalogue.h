// The fault-code catalogue of every controller type: the line of text shown for each code and, on
// M7.9.7 and M10, which related values the detail view shows with it. Static; built on first use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kd::faults {

struct DtcEntry {
  // Windows-1251, as the fault report writes it: the code, " - ", a description, padded with
  // blanks to the table's width (58, or 56 on January 4.1 and GM). A longer text stands unpadded;
  // the empty rows at the end of M7.9.7 have no text at all.
  std::string text;
  // SAE J2012 layout: P0335 is 0x0335, C1011 is 0x5011. 0 in placeholder and empty rows and in
  // the position-keyed rows that carry no P-code.
  std::uint32_t code = 0;
  // Indices into the type's AmbientTable (M7.9.7 and M10 only, else 0).
  std::uint32_t ambient1 = 0;
  std::uint32_t ambient2 = 0;
  // 2 in every M10 row (the run-time counter); nothing reads it, it is kept for the layout.
  std::uint32_t ambient3 = 0;

  std::string Utf8Text() const;
};

// Blank-padded widths of the texts.
inline constexpr std::size_t kDtcTextWidth = 58;
inline constexpr std::size_t kDtcTextWidthJanuary41Gm = 56;

// The placeholder rows' text before padding, in UTF-8.
inline constexpr const char* kUnusedDtcText = "Не используется в данном проекте.";

// The type's rows in table order, FaultTableSize of them. Types 2 and 9 share one table, as do 3
// and 7; a code outside 1..11 gets type 1's. Mikas 7.2 (type 10) has no catalogue: the fault
// page does nothing for it, so the span is empty whatever its FaultTableSize says.
std::span<const DtcEntry> DtcCatalogue(std::uint32_t ecuType);

// Every row carrying the code, in table order. The stored-codes list shows each of them, so a code
// carried by two rows becomes two lines, and code 0 finds every placeholder row.
std::vector<const DtcEntry*> FindDtcRows(std::uint32_t ecuType, std::uint32_t code);

// The first row carrying the code, nullptr when none: the related-information views take their
// value definitions from this row only.
const DtcEntry* FirstDtcRow(std::uint32_t ecuType, std::uint32_t code);

// Row k of a position-keyed table (bit k of a fault map, or the k-th per-fault counter); nullptr
// past the end, since bit maps read from a reply can be longer than the table.
const DtcEntry* DtcRowAt(std::uint32_t ecuType, std::size_t position);

// The generic OBD windows show codes in the M10 wording, whatever controller type is chosen.
inline constexpr std::uint32_t kObdCatalogueType = 8;
std::vector<const DtcEntry*> FindObdDtcRows(std::uint32_t code);

}  // namespace kd::faults
