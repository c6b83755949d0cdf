// Configuration files as a damaged disk may hold them, and the records they bring decoded
// against any reply: positions, widths and bit numbers from a file are never trusted. The same
// bytes read as the program's settings file must give settings that write back as they read.
#include <cstring>
#include <vector>

#include "catalogue/config_file.h"
#include "fileio/settings_file.h"
#include "livedata/param_page.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kd;
  const auto settings = fileio::SettingsFile::Parse({reinterpret_cast<const char*>(data), size});
  if (fileio::SettingsFile::Parse(fileio::SettingsFile::Serialize(settings)) != settings)
    __builtin_trap();
  auto config = catalogue::DecodeConfiguration({data, size});
  if (!config) return 0;
  std::vector<catalogue::ParamRecord> params = config->records;
  if (params.size() > 100) params.resize(100);
  link::ReplyCopy reply{};
  std::memcpy(reply.data(), data, std::min(size, reply.size()));
  view::Grid grid("StringGrid1");
  grid.SetSize(4, 8);
  view::StatusBar status("StatusBar1", {200, 70, 70, 70});
  std::uint8_t pageTickCount = 1;
  for (std::uint32_t type : {1u, 3u, 4u, 5u, config->ecuType}) {
    livedata::ParamPage page(type, params, grid, status, pageTickCount);
    link::ExchangeBuffer buffer;
    page.Step(reply, buffer);
    for (const auto& r : params) (void)livedata::ValueText(r, "CDPS");
  }
  (void)catalogue::EncodeConfiguration(config->ecuType, config->portNumber, params);
  return 0;
}
