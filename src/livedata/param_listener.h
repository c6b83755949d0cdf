// Consumers of the parameter page's decoded replies (the recorder, the statistics, the charts,
// the graph window) listen to the page instead of taking a slot on it: a new consumer is a new
// listener.
#pragma once

#include <span>

#include "catalogue/ecu_catalogue.h"
#include "catalogue/param_record.h"
#include "link/exchange_buffer.h"

namespace kd::livedata {

struct DecodedReply {
  const link::ReplyCopy& reply;
  std::span<const catalogue::ParamRecord> params;
  catalogue::LinkFamily family;
  // The values went onto the grid: a KWP2000 data reply, or an escaped or GM reply past the
  // first after a page change.
  bool shown;
};

class ParamListener {
 public:
  virtual ~ParamListener() = default;
  // Once per reply the page handled, after its request for the next tick was written.
  virtual void Decoded(const DecodedReply& decoded) = 0;
};

}  // namespace kd::livedata
