#include "catalogue/ecu_catalogue.h"

namespace kd::catalogue {

namespace {

using enum LinkFamily;
using enum DefaultRequest;

constexpr std::string_view kKwpLine = "115200,n,8,2";
constexpr std::string_view kEscapedLine = "9600,n,8,1";
constexpr std::string_view kGmLine = "8192,n,8,1";

// clang-format off
constexpr std::array<EcuInfo, 11> kTypes = {{
    {.code = EcuCode::M154, .menuItem = "MenuM154", .menuCaption = "M1.5.4", .toolButton = "ButtonM154",
     .toolHint = "Контроллер М154, Я-5.1.1", .statusText = "M154", .defaultConfigFile = "M154def.cfg",
     .family = Kwp2000, .paramCount = 25, .frameSize = 37, .faultTableSize = 50, .actuatorCount = 10,
     .adcChannelCount = 10, .lineMode = kKwpLine,
     .defaultRequest = TesterPresent, .dataLengthNamesType = true,
     .equipment = EquipmentKind::Records, .ident = IdentFamily::January5, .adc = AdcFamily::January5},
    {.code = EcuCode::Jan51, .menuItem = "MenuM154N", .menuCaption = "Январь 5.1", .toolButton = "ButtonM154N",
     .toolHint = "Контроллер M154N, Я5.1", .statusText = "M154N-J5", .defaultConfigFile = "M154Ndef.cfg",
     .family = Kwp2000, .paramCount = 32, .frameSize = 39, .faultTableSize = 66, .actuatorCount = 13,
     .adcChannelCount = 10, .lineMode = kKwpLine,
     .defaultRequest = TesterPresent, .dataLengthNamesType = true,
     .equipment = EquipmentKind::Records, .ident = IdentFamily::January5, .adc = AdcFamily::January5,
     .adaptation = AdaptationFamily::January5},
    {.code = EcuCode::MP70, .menuItem = "MenuMP70", .menuCaption = "MP 7.0", .toolButton = "ButtonMP70",
     .toolHint = "Контроллер МР70", .statusText = "MP70", .defaultConfigFile = "MP70def.cfg",
     .family = Kwp2000, .paramCount = 33, .frameSize = 42, .faultTableSize = 88, .actuatorCount = 13,
     .adcChannelCount = 6, .lineMode = kKwpLine,
     .kwpTarget = 0x11, .marksStartCommunication = true, .timingAfterStart = true, .highByteFirst = true,
     .faultDetail = FaultDetailLevel::RelatedStatus, .related = RelatedLayout::Mp70,
     .equipment = EquipmentKind::Absent, .ident = IdentFamily::Mp70, .adc = AdcFamily::Mp70Memory,
     .adaptation = AdaptationFamily::Mp70, .actuators = ActuatorFamily::Mp70Routines},
    {.code = EcuCode::Jan41, .menuItem = "MenuJ4", .menuCaption = "Январь 4.1", .toolButton = "ButtonJ4",
     .toolHint = "Контроллер Январь-4.1", .statusText = "Jan4", .defaultConfigFile = "J4def.cfg",
     .family = Escaped, .paramCount = 25, .frameSize = 25, .faultTableSize = 32, .actuatorCount = 8,
     .adcChannelCount = 10, .lineMode = kEscapedLine,
     .equipment = EquipmentKind::January41, .ident = IdentFamily::January41, .adc = AdcFamily::January41,
     .actuators = ActuatorFamily::Escaped},
    {.code = EcuCode::GM, .menuItem = "MenuGM", .menuCaption = "GM-ISFI-2S", .toolButton = "ButtonGM",
     .toolHint = "Контроллер GM", .statusText = "GM ISFI-2S", .defaultConfigFile = "GMdef.cfg",
     .family = Gm, .paramCount = 32, .frameSize = 32, .faultTableSize = 56, .actuatorCount = 14,
     .adcChannelCount = 1, .lineMode = kGmLine, .highByteFirst = true,
     .actuators = ActuatorFamily::Gm},
    {.code = EcuCode::M797, .menuItem = "MenuM797", .menuCaption = "M7.9.7", .toolButton = "ButtonM797",
     .toolHint = "Контроллер М7.9.7", .statusText = "M797", .defaultConfigFile = "M797def.cfg",
     .family = Kwp2000, .paramCount = 68, .frameSize = 76, .faultTableSize = 96, .actuatorCount = 20,
     .adcChannelCount = 12, .lineMode = kKwpLine,
     .marksStartCommunication = true, .timingAfterStart = true, .highByteFirst = true,
     .faultDetail = FaultDetailLevel::Full, .related = RelatedLayout::M797,
     .equipment = EquipmentKind::Records, .immoStatus = ImmoStatusLayout::M797,
     .ident = IdentFamily::M797M10, .adc = AdcFamily::M797M10, .adaptation = AdaptationFamily::M797,
     .actuatorOnValue = 0xFF, .actuatorCurrentOnlyReply = true},
    {.code = EcuCode::MP70E3, .menuItem = "MenuMP70_E3", .menuCaption = "МР7.0 Евро3", .toolButton = "ButtonMP70_E3",
     .toolHint = "Контроллер МР70-ЕВРО3", .statusText = "MP70_E3", .defaultConfigFile = "MP70_E3.cfg",
     .family = Kwp2000, .paramCount = 99, .frameSize = 92, .faultTableSize = 88, .actuatorCount = 13,
     .adcChannelCount = 11, .lineMode = kKwpLine,
     .kwpTarget = 0x11, .marksStartCommunication = true, .timingAfterStart = true, .highByteFirst = true,
     .faultDetail = FaultDetailLevel::RelatedStatus, .related = RelatedLayout::Mp70,
     .equipment = EquipmentKind::Absent, .ident = IdentFamily::Mp70, .adc = AdcFamily::Mp70Memory,
     .adaptation = AdaptationFamily::Mp70, .actuators = ActuatorFamily::Mp70Routines},
    {.code = EcuCode::M10, .menuItem = "MenuM10", .menuCaption = "M 10 -ECU", .toolButton = "ButtonM10",
     .toolHint = "Контроллер М10", .statusText = "M10", .defaultConfigFile = "M10def.cfg",
     .family = Kwp2000, .paramCount = 56, .frameSize = 102, .faultTableSize = 114, .actuatorCount = 20,
     .adcChannelCount = 18, .lineMode = kKwpLine, .marksStartCommunication = true,
     .faultDetail = FaultDetailLevel::Full, .related = RelatedLayout::M10,
     .equipment = EquipmentKind::Records, .immoStatus = ImmoStatusLayout::M10,
     .ident = IdentFamily::M797M10, .adc = AdcFamily::M797M10, .adaptation = AdaptationFamily::M10},
    {.code = EcuCode::Jan72, .menuItem = "MenuJ72", .menuCaption = "Январь 7.2", .toolButton = "ButtonJ72",
     .toolHint = "Контроллер J7.2", .statusText = "J-7.2", .defaultConfigFile = "J72Ndef.cfg",
     .family = Kwp2000, .paramCount = 34, .frameSize = 41, .faultTableSize = 66, .actuatorCount = 14,
     .adcChannelCount = 11, .lineMode = kKwpLine,
     .defaultRequest = TesterPresent, .dataLengthNamesType = true,
     .equipment = EquipmentKind::Records, .ident = IdentFamily::January5, .adc = AdcFamily::January5,
     .adaptation = AdaptationFamily::January5},
    {.code = EcuCode::Mikas, .menuItem = "MenuMikas", .menuCaption = "Микас-7.2", .toolButton = "ButtonMikas",
     .toolHint = "", .statusText = "Mikas", .defaultConfigFile = "Mikas.cfg",
     .family = Escaped, .paramCount = 25, .frameSize = 25, .faultTableSize = 148, .actuatorCount = 8,
     .adcChannelCount = 10, .lineMode = kEscapedLine, .menuItemSelects = false,
     .faultDetail = FaultDetailLevel::None, .actuators = ActuatorFamily::Escaped},
    {.code = EcuCode::EMUR, .menuItem = "menuEMUR", .menuCaption = "ЭМУР", .toolButton = "ButtonEMUR",
     .toolHint = "", .statusText = "ЭМУР", .defaultConfigFile = "EMUR.cfg",
     .family = Kwp2000, .paramCount = 22, .frameSize = 32, .faultTableSize = 38, .actuatorCount = 1,
     .adcChannelCount = 1, .lineMode = kKwpLine,
     .kwpTarget = 0x30, .kwpAltTarget = 0x60, .marksStartCommunication = true, .bareTesterPresent = true,
     .faultDetail = FaultDetailLevel::Related, .related = RelatedLayout::Emur,
     .equipment = EquipmentKind::Emur, .ident = IdentFamily::Emur},
}};
// clang-format on

constexpr std::array<std::uint32_t, 11> kToolbarOrder = {
    EcuCode::M154, EcuCode::Jan51, EcuCode::Jan72, EcuCode::MP70, EcuCode::MP70E3, EcuCode::Jan41,
    EcuCode::GM,   EcuCode::M797,  EcuCode::M10,   EcuCode::Mikas, EcuCode::EMUR};

constexpr bool InCodeOrder() {
  for (std::size_t i = 0; i < kTypes.size(); ++i)
    if (kTypes[i].code != i + 1) return false;
  return true;
}
static_assert(InCodeOrder());

}  // namespace

bool IsKnownType(std::uint32_t code) { return code >= kFirstType && code <= kLastType; }

const EcuInfo& Lookup(std::uint32_t code) { return kTypes[IsKnownType(code) ? code - 1 : 0]; }

const std::array<EcuInfo, 11>& AllTypes() { return kTypes; }

const std::array<std::uint32_t, 11>& ToolbarOrder() { return kToolbarOrder; }

}  // namespace kd::catalogue
