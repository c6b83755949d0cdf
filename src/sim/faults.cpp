#include "sim/faults.h"

namespace kd::sim {

namespace {

constexpr std::pair<Fault, std::string_view> kNames[] = {
    {Fault::Silence, "silence"},          {Fault::Garbage, "garbage"},
    {Fault::BadChecksum, "bad-checksum"}, {Fault::Negative, "negative"},
    {Fault::ResponsePending, "pending"},  {Fault::LateReply, "late"},
    {Fault::Unplugged, "unplugged"},
};

}  // namespace

std::string_view FaultName(Fault f) {
  for (const auto& [fault, name] : kNames)
    if (fault == f) return name;
  return {};
}

std::optional<Fault> FaultByName(std::string_view name) {
  for (const auto& [fault, n] : kNames)
    if (n == name) return fault;
  return std::nullopt;
}

}  // namespace kd::sim
