#include "catalogue/ecu_catalogue.h"

namespace kd::catalogue {

namespace {

using enum LinkFamily;

constexpr std::array<EcuInfo, 11> kTypes = {{
    {1, "MenuM154", "M1.5.4", "ButtonM154", "Контроллер М154, Я-5.1.1", "M154", "M154def.cfg", Kwp2000, 25, 37, 50, 10, 10},
    {2, "MenuM154N", "Январь 5.1", "ButtonM154N", "Контроллер M154N, Я5.1", "M154N-J5", "M154Ndef.cfg", Kwp2000, 32, 39, 66, 13, 10},
    {3, "MenuMP70", "MP 7.0", "ButtonMP70", "Контроллер МР70", "MP70", "MP70def.cfg", Kwp2000, 33, 42, 88, 13, 6},
    {4, "MenuJ4", "Январь 4.1", "ButtonJ4", "Контроллер Январь-4.1", "Jan4", "J4def.cfg", Escaped, 25, 25, 32, 8, 10},
    {5, "MenuGM", "GM-ISFI-2S", "ButtonGM", "Контроллер GM", "GM ISFI-2S", "GMdef.cfg", Gm, 32, 32, 56, 14, 1},
    {6, "MenuM797", "M7.9.7", "ButtonM797", "Контроллер М7.9.7", "M797", "M797def.cfg", Kwp2000, 68, 76, 96, 20, 12},
    {7, "MenuMP70_E3", "МР7.0 Евро3", "ButtonMP70_E3", "Контроллер МР70-ЕВРО3", "MP70_E3", "MP70_E3.cfg", Kwp2000, 99, 92, 88, 13, 11},
    {8, "MenuM10", "M 10 -ECU", "ButtonM10", "Контроллер М10", "M10", "M10def.cfg", Kwp2000, 56, 102, 114, 20, 18},
    {9, "MenuJ72", "Январь 7.2", "ButtonJ72", "Контроллер J7.2", "J-7.2", "J72Ndef.cfg", Kwp2000, 34, 41, 66, 14, 11},
    {10, "MenuMikas", "Микас-7.2", "ButtonMikas", "", "Mikas", "Mikas.cfg", Escaped, 25, 25, 148, 8, 10},
    {11, "menuEMUR", "ЭМУР", "ButtonEMUR", "", "ЭМУР", "EMUR.cfg", Kwp2000, 22, 32, 38, 1, 1},
}};

constexpr std::array<std::uint32_t, 11> kToolbarOrder = {1, 2, 9, 3, 7, 4, 5, 6, 8, 10, 11};

}  // namespace

bool IsKnownType(std::uint32_t code) { return code >= kFirstType && code <= kLastType; }

const EcuInfo& Lookup(std::uint32_t code) { return kTypes[IsKnownType(code) ? code - 1 : 0]; }

const std::array<EcuInfo, 11>& AllTypes() { return kTypes; }

const std::array<std::uint32_t, 11>& ToolbarOrder() { return kToolbarOrder; }

}  // namespace kd::catalogue
