// The eleven controller types of the main window: what each is called, its own configuration
// file, its link family, the sizes of its built-in tables, and every way it behaves differently
// from the others as a named trait. Code outside this table reads traits; it never compares type
// codes, so a new type is one row here (and its tables).
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace kd::catalogue {

enum class LinkFamily { Kwp2000, Escaped, Gm };

// The codes as configuration files store them. Unscoped so that switches over a stored code
// can name them; write them qualified (`EcuCode::M797`).
enum EcuCode : std::uint32_t {
  M154 = 1,
  Jan51 = 2,
  MP70 = 3,
  Jan41 = 4,
  GM = 5,
  M797 = 6,
  MP70E3 = 7,
  M10 = 8,
  Jan72 = 9,
  Mikas = 10,
  EMUR = 11,
};

// What the KWP2000 session engine sends when nothing else is asked for.
enum class DefaultRequest { TesterPresent, StartCommunication };

// How much the fault page shows about a stored code; each level adds to the one before.
enum class FaultDetailLevel {
  None,           // no fault page (Mikas)
  Codes,          // stored codes only, and the present-fault map
  Related,        // a status byte with every code, related information on request
  RelatedStatus,  // and the status button, the freeze frame, no present-fault map
  Full,           // and the freeze-frame button
};

// Layout of the related-information reply (service 17), by controller family.
enum class RelatedLayout { None, Mp70, M797, M10, Emur };

// The equipment page: what it asks for and how the answers are laid out.
enum class EquipmentKind {
  None,       // no request or decoding of its own
  Absent,     // only the "no equipment" text
  Records,    // local identifiers 02 and A0..A3 in rotation
  Emur,       // equipment bits of the data record
  January41,  // one escaped-frame cell
};
// Wording of the immobilizer status block of the equipment page.
enum class ImmoStatusLayout { Common, M797, M10 };

// The identifiers page's rotation and field layout.
enum class IdentFamily { None, January5, Mp70, M797M10, Emur, January41 };
// How the ADC page gets its channels.
enum class AdcFamily { None, January5, Mp70Memory, January41, M797M10 };
// Layout and requests of the fuel and knock cells and the misfire counters.
enum class AdaptationFamily { None, January5, Mp70, M797, M10 };
// How an actuator is switched.
enum class ActuatorFamily { IoControl, Mp70Routines, Escaped, Gm };

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

  // Line settings behind "COMn:" in the mode text.
  std::string_view lineMode;
  // False where the type is chosen by its tool button only.
  bool menuItemSelects = true;

  // KWP2000 session.
  std::uint8_t kwpTarget = 0x10;
  // Non-zero: after eight silent ticks the requests go to this address instead, and back.
  std::uint8_t kwpAltTarget = 0;
  DefaultRequest defaultRequest = DefaultRequest::StartCommunication;
  // StartCommunication goes out with bit 7 set in the envelope's count byte (the adapter's
  // fast-init), written without waiting for a pending write.
  bool marksStartCommunication = false;
  // A positive StartCommunication is followed by AccessTimingParameters instead of the page.
  bool timingAfterStart = false;
  // After a refused StartCommunication: TesterPresent without parameter to the own address,
  // instead of 3E 01 to 0x10.
  bool bareTesterPresent = false;

  // Live data: two-byte values high byte first.
  bool highByteFirst = false;
  // The data reply carries its length at byte 3, FrameSize - 3, and the type is recognised by it.
  bool dataLengthNamesType = false;

  // Pages.
  FaultDetailLevel faultDetail = FaultDetailLevel::Codes;
  RelatedLayout related = RelatedLayout::None;
  EquipmentKind equipment = EquipmentKind::None;
  ImmoStatusLayout immoStatus = ImmoStatusLayout::Common;
  IdentFamily ident = IdentFamily::None;
  AdcFamily adc = AdcFamily::None;
  AdaptationFamily adaptation = AdaptationFamily::None;
  ActuatorFamily actuators = ActuatorFamily::IoControl;
  // What an on/off actuator request sends for "on".
  std::uint8_t actuatorOnValue = 0x01;
  // A state reply whose option byte is 1 carries the current value alone.
  bool actuatorCurrentOnlyReply = false;
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
