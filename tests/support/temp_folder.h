// A folder of its own for each test, removed with everything in it when the test ends. The
// program writes its configuration files into the folder it runs in, so a test that starts the
// main form enters the folder for its lifetime and the start folder is restored afterwards.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <system_error>

#include <unistd.h>

namespace kd::testing {

class TempFolder {
 public:
  enum Mode { Stay, Enter };

  explicit TempFolder(Mode mode = Stay) {
    path_ = std::filesystem::temp_directory_path() / UniqueName();
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
    if (mode == Enter) {
      previous_ = std::filesystem::current_path();
      std::filesystem::current_path(path_);
    }
  }
  ~TempFolder() {
    std::error_code ignored;
    if (!previous_.empty()) std::filesystem::current_path(previous_, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  std::filesystem::path operator/(const std::filesystem::path& name) const { return path_ / name; }

 private:
  // Process, test and a running number: parallel test programs and several folders in one test
  // never meet. Parameterised names carry '/', which would make a subfolder.
  static std::string UniqueName() {
    static std::atomic<int> counter{0};
    std::string test = "none";
    if (const auto* info = ::testing::UnitTest::GetInstance()->current_test_info())
      test = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : test)
      if (c == '/' || c == '\\') c = '_';
    return "kd_" + std::to_string(::getpid()) + "_" + std::to_string(counter++) + "_" + test;
  }

  std::filesystem::path path_;
  std::filesystem::path previous_;
};

}  // namespace kd::testing
