// What a controller recorded with a stored fault code: the status byte spelled out, the related
// information of each controller family (service 17, reply 57) and the freeze frame (service 12,
// reply 52). Pure decoders: each turns a reply into the lines the fault page shows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/exchange_buffer.h"

namespace kd::faults {

// The status byte of ISO 14230 (statusOfDTC) as the lines the status view shows, in order:
// fault symptom, test state, storage state (no line for 00), warning lamp. Units word the lamp-off
// line their own way.
std::vector<std::string> StatusDecodeLines(
    std::uint8_t status, std::string_view lampOff = "Выбранная ошибка на лампу не влияет.");

// Lines for CurError and for FreezeListBox, UTF-8.
struct DetailLines {
  std::vector<std::string> curError;
  std::vector<std::string> freeze;
};

DetailLines DecodeM10Related(const link::ReplyCopy& reply);
DetailLines DecodeM797Related(const link::ReplyCopy& reply);
DetailLines DecodeMp70Related(const link::ReplyCopy& reply);
DetailLines DecodeEmurRelated(const link::ReplyCopy& reply);
DetailLines DecodeFreezeFrame(const link::ReplyCopy& reply);

struct FaultDetail {
  DetailLines lines;
  // Related information makes StatusLabel visible; a freeze frame leaves it as it is.
  bool related = false;
};

// The decoder that the reply, the controller type and DtcInfoMode call for, or nothing when
// none does (the views then keep what they show): related information in mode 1, the freeze
// frame in mode 2, and an M10 reply only when it carries exactly one code.
std::optional<FaultDetail> DecodeFaultDetail(std::uint32_t ecuType, std::uint32_t dtcInfoMode,
                                             const link::ReplyCopy& reply);

}  // namespace kd::faults
