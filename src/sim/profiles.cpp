#include "sim/profiles.h"

#include "catalogue/ecu_catalogue.h"

namespace kd::sim {

namespace {

using catalogue::EcuCode;

const SimProfile& Profile(std::uint32_t type) {
  // Bit map per equipment entry: 0..7 in the first byte, 8..15 in the second. M7.9.7 and M10
  // report the red key's code and a status byte; the others two status bytes.
  static const SimProfile kJanuary5{.addresses = {0x10},
                                    .testerPresentOpens = true,
                                    .presentMapInRecord = true,
                                    .equipmentRecords = true,
                                    .equipment = {0x8B, 0x12},
                                    .immobilizer = {0x01, 0x10, 0x00, 0x00}};
  static const SimProfile kM154 = [] {
    SimProfile p = kJanuary5;
    p.equipment = {0x88, 0x10};
    return p;
  }();
  static const SimProfile kMp70{.addresses = {0x11},
                                .highByteFirst = true,
                                .freezeFrames = true,
                                .actuatorRoutines = true};
  static const SimProfile kM797{.addresses = {0x10},
                                .highByteFirst = true,
                                .freezeFrames = true,
                                .equipmentRecords = true,
                                .equipment = {0xBB, 0x1A},
                                .immobilizer = {0x12, 0x34, 0x22, 0x00},
                                .secondFan = true,
                                .currentOnlyState = true};
  static const SimProfile kM10 = [] {
    SimProfile p = kM797;
    p.highByteFirst = false;
    p.currentOnlyState = false;
    return p;
  }();
  // EMUR's equipment bits are read with the service identifier at byte 3: a short header.
  static const SimProfile kEmur{.addresses = {0x30, 0x60}, .dataLongForm = false};
  static const SimProfile kJanuary41{
      .equipmentCell = 0x0C, .equipmentCellValue = 0x1B, .faultCells = true, .faultRows = 32};
  static const SimProfile kMikas{};
  static const SimProfile kGm{.faultRows = 56};
  switch (type) {
    case EcuCode::Jan51:
    case EcuCode::Jan72:
      return kJanuary5;
    case EcuCode::MP70:
    case EcuCode::MP70E3:
      return kMp70;
    case EcuCode::Jan41:
      return kJanuary41;
    case EcuCode::GM:
      return kGm;
    case EcuCode::M797:
      return kM797;
    case EcuCode::M10:
      return kM10;
    case EcuCode::Mikas:
      return kMikas;
    case EcuCode::EMUR:
      return kEmur;
    default:
      return kM154;
  }
}

}  // namespace

const SimProfile& SimProfileOf(std::uint32_t type) {
  return Profile(type);
}

}  // namespace kd::sim
