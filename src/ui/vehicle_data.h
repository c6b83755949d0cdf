// The vehicle data that reports carry once the controller's identification has been read, and the
// dialog (TForm10) in which the technician adds what only he knows before a report is saved.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "view/form.h"
#include "view/host.h"

namespace kd::ui {

inline constexpr std::size_t kVinLength = 19;
inline constexpr std::size_t kControllerNumberLength = 16;
inline constexpr std::size_t kRomIdLength = 8;
inline constexpr std::size_t kConditionalNumberLength = 8;
inline constexpr std::size_t kRegistrationNumberLength = 8;
inline constexpr std::uint32_t kMaxMileage = 99999;

// Texts are Windows-1251 bytes, as the reports write them.
struct VehicleData {
  std::string vin = std::string(kVinLength, ' ');
  std::string controllerNumber = std::string(kControllerNumberLength, ' ');
  std::string romId = std::string(kRomIdLength, ' ');
  std::string conditionalNumber = std::string(kConditionalNumberLength, ' ');
  std::string registrationNumber = std::string(kRegistrationNumberLength, ' ');
  std::uint32_t mileage = 0;
  // Set by the identifiers page when it stores the identifiers; nothing resets it.
  bool identifiersRead = false;

  // What the identifiers page keeps from the controller's identification reply: the VIN is
  // blank-padded or cut to its 19 characters, the others cut to their lengths.
  void StoreIdentifiers(std::string_view vinBytes, std::string_view controllerNumberBytes,
                        std::string_view romIdBytes);
};

// The mileage typed into MaskEdit1, or nothing when the field holds no whole number 0..99999.
// Blanks and the mask's '_' around the digits are what the mask leaves; they are not part of it.
std::optional<std::uint32_t> ParseMileage(std::string_view text);

inline constexpr const char* kMileageNotANumber = "Пробег должен быть целым числом от 0 до 99999.";

class VehicleDataDialog : public view::Form {
 public:
  VehicleDataDialog(VehicleData& data, view::Host& host);

 private:
  void Accept();

  VehicleData& data_;
  view::Host& host_;
  view::Edit* edit4_ = nullptr;
  view::Edit* edit5_ = nullptr;
  view::Edit* maskEdit1_ = nullptr;
};

// The first step of every report's save: the dialog, when the identifiers have been read.
void AskVehicleData(view::Host& host, VehicleData& data);

}  // namespace kd::ui
