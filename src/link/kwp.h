// KWP2000 (ISO 14230) requests inside the adapter envelope, and reply validation.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>

#include "catalogue/ecu_catalogue.h"

#include "link/exchange_buffer.h"
#include "view/controls.h"

namespace kd::link {

inline constexpr std::uint8_t kTesterAddress = 0xF1;
inline constexpr std::uint8_t kEnvelope[4] = {0x55, 0x56, 0x57, 0xAA};

// The address the main window sends the type's requests to.
std::uint8_t KwpTarget(const catalogue::EcuInfo& ecu, bool altAddress);
// Whether a reply's source address is one of the main window's controllers.
bool IsControllerAddress(std::uint8_t address);

// A page's request: the service and its parameters from TransmitFrame[3] on, DataLength their
// count. Target and source stay as the engine set them.
void WriteKwpService(ExchangeBuffer& buffer, std::span<const std::uint8_t> service);
inline void WriteKwpService(ExchangeBuffer& buffer, std::initializer_list<std::uint8_t> service) {
  WriteKwpService(buffer, std::span<const std::uint8_t>(service.begin(), service.size()));
}

// Turns the service and parameters at TransmitFrame[3..] (DataLength = their count) into the
// envelope and frame; DataLength becomes the count to write minus 4.
void FrameKwpRequest(ExchangeBuffer& buffer);

// Shows "Данные получены." or "Ошибка контрольной суммы." in the fourth status field.
void ValidateKwpReply(const ReplyCopy& reply, view::StatusBar& status);

inline constexpr int kLinkStatusPanel = 3;
inline constexpr const char* kDataReceived = "Данные получены.";
inline constexpr const char* kChecksumError = "Ошибка контрольной суммы.";
inline constexpr const char* kNoLink = "Связь отсутствует.";

}  // namespace kd::link
