#include "sim/kwp_unit.h"

#include "sim/line_frames.h"

namespace kd::sim {

Bytes KwpUnit::Hear(const Heard& heard, const Shaping& shaping) {
  if (heard.mode != LineMode::Kwp) return {};
  const auto frame = ParseKwpFrame(heard.frame);
  if (!frame || frame->service.empty() || frame->target != address_) return {};
  const std::uint8_t sid = frame->service[0];
  std::optional<Bytes> answer;
  if (shaping.negativeCode)
    answer = Refuse(sid, *shaping.negativeCode);
  else
    answer = Answer(frame->service, heard.nowMs);
  if (!answer) return {};
  Bytes line;
  for (int i = 0; i < shaping.pendingCount; ++i) {
    const Bytes pending = BuildKwpFrame(frame->source, address_, {0x7F, sid, 0x78}, false);
    line.insert(line.end(), pending.begin(), pending.end());
  }
  // Answers go back to whichever tester asked, with the unit as source.
  const Bytes reply = BuildKwpFrame(frame->source, address_, *answer, false, shaping.checksumSkew);
  line.insert(line.end(), reply.begin(), reply.end());
  return line;
}

}  // namespace kd::sim
