// The identifiers page (TabSheet3 "Идентификаторы"): a rotation of identification requests, one a
// tick, each answer shown in its cell of StringGrid4 and the report header's share kept in the
// vehicle data; a double click on an editable row writes a new value on the next tick.
#pragma once

#include <cstdint>
#include <string>

#include "link/exchange_buffer.h"
#include "session/pages.h"
#include "session/session_step.h"
#include "view/form.h"
#include "view/host.h"

namespace kd::identity {

inline constexpr std::size_t kVinLength = 19;
inline constexpr std::size_t kControllerNumberLength = 16;
inline constexpr std::size_t kRomIdLength = 8;
inline constexpr std::size_t kSparePartCodeLength = 7;
inline constexpr std::size_t kBodyNumberLength = 7;
inline constexpr std::size_t kEngineNumberLength = 7;
inline constexpr std::size_t kBuildDateLength = 10;

// What the main window keeps of the controller beside the vehicle data: Windows-1251 bytes of
// fixed length, blank-filled at start. The equipment page compares and fills the last three too.
struct Identifiers {
  std::string sparePartCode = std::string(kSparePartCodeLength, ' ');
  std::string bodyNumber = std::string(kBodyNumberLength, ' ');
  std::string engineNumber = std::string(kEngineNumberLength, ' ');
  std::string buildDate = std::string(kBuildDateLength, ' ');
};

// The report header's identifiers, which live in the vehicle data.
struct VehicleIdentifiers {
  std::string& vin;
  std::string& controllerNumber;
  std::string& romId;
  bool& identifiersRead;
};

inline constexpr const char* kValueAccepted = "Новое значение принято.";
// WriteResult, after the controller's answer to a write.
inline constexpr const char* kWriteDone = "Значение записано.";
inline constexpr const char* kWriteRefused = "Запись отклонена: ";
inline constexpr const char* kWriteMissing = "Нет ответа на запись.";

class IdentPageStep : public session::PageStep {
 public:
  // PendingCommand (the writes) and RequestStep (January 4.1's letters) live in `session`.
  IdentPageStep(view::Form& form, view::Host& host, const std::uint32_t& ecuType,
                session::SessionState& session, VehicleIdentifiers vehicle,
                Identifiers& identifiers);

  // Rows and labels of the type in force. A new type is a new car: what was read of the previous
  // one is forgotten, so that no report carries it.
  void TypeApplied() override;
  void Step(link::ReplyCopy& reply, link::ExchangeBuffer& buffer) override;
  bool Serves() const override;
  void NewCar() override { ForgetIdentifiers(); }

  view::Grid& StringGrid4() { return grid_; }
  view::Label& WriteResult() { return writeResult_; }

 private:
  void KwpStep(const link::ReplyCopy& reply, link::ExchangeBuffer& buffer);
  bool KwpRotation(const link::ReplyCopy& reply, link::ExchangeBuffer& buffer);
  void KwpWrite(link::ExchangeBuffer& buffer);
  void Mp70Step(const link::ReplyCopy& reply, link::ExchangeBuffer& buffer);
  void EmurStep(const link::ReplyCopy& reply, link::ExchangeBuffer& buffer);
  void January41Step(const link::ReplyCopy& reply, link::ExchangeBuffer& buffer);
  void ForgetIdentifiers();
  // StringGrid4DblClick.
  void ModifyValue();

  // Copies the text of `n` reply bytes into the first `n` of a buffer and shows it.
  void Take(std::string& target, const link::ReplyCopy& reply, std::size_t from, std::size_t n,
            int col, int row);
  // A VIN of 17 characters is blank-padded to the 19 the buffer holds.
  void TakeVin(const link::ReplyCopy& reply, std::size_t from, std::size_t n, int col, int row);
  void Show(const link::ReplyCopy& reply, std::size_t from, std::size_t n, int col, int row);

  view::Host& host_;
  const std::uint32_t& ecuType_;
  session::SessionState& session_;
  VehicleIdentifiers vehicle_;
  Identifiers& identifiers_;
  view::Grid& grid_;
  view::Label& writeResult_;
  std::uint32_t appliedType_ = 0;
};

}  // namespace kd::identity
