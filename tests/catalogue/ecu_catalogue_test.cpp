#include <gtest/gtest.h>

#include "catalogue/ecu_catalogue.h"

namespace kd::catalogue {
namespace {

TEST(Catalogue, ConstantsAndNamesOfEveryType) {
  struct Row {
    std::uint32_t code;
    const char* status;
    const char* file;
    LinkFamily family;
    int params, frame, faults, actuators, adc;
  } rows[] = {
      {1, "M154", "M154def.cfg", LinkFamily::Kwp2000, 25, 37, 50, 10, 10},
      {2, "M154N-J5", "M154Ndef.cfg", LinkFamily::Kwp2000, 32, 39, 66, 13, 10},
      {3, "MP70", "MP70def.cfg", LinkFamily::Kwp2000, 33, 42, 88, 13, 6},
      {4, "Jan4", "J4def.cfg", LinkFamily::Escaped, 25, 25, 32, 8, 10},
      {5, "GM ISFI-2S", "GMdef.cfg", LinkFamily::Gm, 32, 32, 56, 14, 1},
      {6, "M797", "M797def.cfg", LinkFamily::Kwp2000, 68, 76, 96, 20, 12},
      {7, "MP70_E3", "MP70_E3.cfg", LinkFamily::Kwp2000, 99, 92, 88, 13, 11},
      {8, "M10", "M10def.cfg", LinkFamily::Kwp2000, 56, 102, 114, 20, 18},
      {9, "J-7.2", "J72Ndef.cfg", LinkFamily::Kwp2000, 34, 41, 66, 14, 11},
      {10, "Mikas", "Mikas.cfg", LinkFamily::Escaped, 25, 25, 148, 8, 10},
      {11, "ЭМУР", "EMUR.cfg", LinkFamily::Kwp2000, 22, 32, 38, 1, 1},
  };
  for (const auto& r : rows) {
    const EcuInfo& e = Lookup(r.code);
    EXPECT_EQ(e.code, r.code);
    EXPECT_EQ(e.statusText, r.status);
    EXPECT_EQ(e.defaultConfigFile, r.file);
    EXPECT_EQ(e.family, r.family);
    EXPECT_EQ(e.paramCount, r.params);
    EXPECT_EQ(e.frameSize, r.frame);
    EXPECT_EQ(e.faultTableSize, r.faults);
    EXPECT_EQ(e.actuatorCount, r.actuators);
    EXPECT_EQ(e.adcChannelCount, r.adc);
    EXPECT_LE(e.paramCount, kMaxParams);
  }
}

TEST(Catalogue, UnknownCodesAnswerWithTypeOne) {
  for (std::uint32_t code : {0u, 12u, 255u, 0xFFFFFFFFu}) {
    EXPECT_FALSE(IsKnownType(code));
    EXPECT_EQ(Lookup(code).code, 1u);
  }
}

}  // namespace
}  // namespace kd::catalogue
