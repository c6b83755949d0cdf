// The traits against the type lists the controllers are documented with: a wrong row would make
// one controller behave like another.
#include <gtest/gtest.h>

#include <set>

#include "catalogue/ecu_catalogue.h"

namespace kd::catalogue {
namespace {

using Types = std::set<std::uint32_t>;

template <class Pred>
Types Having(Pred pred) {
  Types out;
  for (const EcuInfo& e : AllTypes())
    if (pred(e)) out.insert(e.code);
  return out;
}

TEST(Traits, SessionTraitsFollowTheDocumentedTypeLists) {
  EXPECT_EQ(Having([](auto& e) { return e.defaultRequest == DefaultRequest::TesterPresent; }),
            (Types{1, 2, 9}));
  EXPECT_EQ(Having([](auto& e) { return e.marksStartCommunication; }), (Types{3, 6, 7, 8, 11}));
  EXPECT_EQ(Having([](auto& e) { return e.timingAfterStart; }), (Types{3, 6, 7}));
  EXPECT_EQ(Having([](auto& e) { return e.bareTesterPresent; }), (Types{11}));
  EXPECT_EQ(Having([](auto& e) { return e.kwpTarget == 0x11; }), (Types{3, 7}));
  EXPECT_EQ(Having([](auto& e) { return e.kwpAltTarget != 0; }), (Types{11}));
  EXPECT_EQ(Lookup(EcuCode::EMUR).kwpTarget, 0x30);
  EXPECT_EQ(Lookup(EcuCode::EMUR).kwpAltTarget, 0x60);
  EXPECT_EQ(Having([](auto& e) { return e.lineMode == "115200,n,8,2"; }),
            (Types{1, 2, 3, 6, 7, 8, 9, 11}));
  EXPECT_EQ(Having([](auto& e) { return e.lineMode == "9600,n,8,1"; }), (Types{4, 10}));
  EXPECT_EQ(Having([](auto& e) { return e.lineMode == "8192,n,8,1"; }), (Types{5}));
}

TEST(Traits, DataAndPageTraitsFollowTheDocumentedTypeLists) {
  EXPECT_EQ(Having([](auto& e) { return e.family == LinkFamily::Kwp2000 && e.highByteFirst; }),
            (Types{3, 6, 7}));
  EXPECT_EQ(Having([](auto& e) { return e.dataLengthNamesType; }), (Types{1, 2, 9}));
  // The length byte the program recognises these three by: 0x22, 0x24, 0x26.
  EXPECT_EQ(Lookup(EcuCode::M154).frameSize - 3, 0x22);
  EXPECT_EQ(Lookup(EcuCode::Jan51).frameSize - 3, 0x24);
  EXPECT_EQ(Lookup(EcuCode::Jan72).frameSize - 3, 0x26);
  EXPECT_EQ(Having([](auto& e) { return e.faultDetail >= FaultDetailLevel::Related; }),
            (Types{3, 6, 7, 8, 11}));
  EXPECT_EQ(Having([](auto& e) { return e.faultDetail >= FaultDetailLevel::RelatedStatus; }),
            (Types{3, 6, 7, 8}));
  EXPECT_EQ(Having([](auto& e) { return e.faultDetail == FaultDetailLevel::Full; }), (Types{6, 8}));
  EXPECT_EQ(Having([](auto& e) { return e.faultDetail == FaultDetailLevel::None; }), (Types{10}));
  EXPECT_EQ(Having([](auto& e) { return e.equipment == EquipmentKind::Absent; }), (Types{3, 7}));
  EXPECT_EQ(Having([](auto& e) { return e.equipment == EquipmentKind::Records; }),
            (Types{1, 2, 6, 8, 9}));
  EXPECT_EQ(Having([](auto& e) { return e.ident == IdentFamily::None; }), (Types{5, 10}));
  EXPECT_EQ(Having([](auto& e) { return e.adc == AdcFamily::None; }), (Types{5, 10, 11}));
  EXPECT_EQ(Having([](auto& e) { return e.adaptation == AdaptationFamily::None; }),
            (Types{1, 4, 5, 10, 11}));
  EXPECT_EQ(Having([](auto& e) { return e.actuators == ActuatorFamily::Mp70Routines; }),
            (Types{3, 7}));
  EXPECT_EQ(Having([](auto& e) { return !e.menuItemSelects; }), (Types{10}));
}

}  // namespace
}  // namespace kd::catalogue
