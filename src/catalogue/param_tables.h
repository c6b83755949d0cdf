// The built-in parameter list of every controller type: what its data reply carries, where, and
// how to scale it. Static; the program copies records out and never writes them back.
#pragma once

#include <cstdint>
#include <span>

#include "catalogue/param_record.h"

namespace kd::catalogue {

// ParamCount records of the type's table, in list order (type 1's for a code outside 1..11).
std::span<const ParamRecord> BuiltInParams(std::uint32_t ecuType);

}  // namespace kd::catalogue
