// A locale with a decimal comma on any machine, without root: Russian is compiled from the C
// library's locale sources (Debian's "locales" package, which scripts/bootstrap installs) into a
// folder of the test's own, and LOCPATH points the C library there. Machines rarely have a comma
// locale generated, so a test that only looked for an installed one would never run.
//
//   CommaLocale locale;
//   if (!locale.Built()) GTEST_SKIP() << locale.WhyNot();
//   ASSERT_NE(std::setlocale(LC_NUMERIC, CommaLocale::kName), nullptr);
//
// Building is skipped, saying why, only where it cannot be done: no localedef, or no Russian
// locale source. Where both are present a build that fails is a test failure.
#pragma once

#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_folder.h"

#ifndef _WIN32
extern char** environ;
#endif

namespace kd::testing {

class CommaLocale {
 public:
  static constexpr const char* kName = "ru_RU.UTF-8";

#ifdef _WIN32
  // The C library's locale compiler is glibc's; Windows' C runtime has no LOCPATH to point.
  CommaLocale() : whyNot_("no localedef on Windows: the locale is compiled by glibc's tools") {}
  ~CommaLocale() {
    std::setlocale(LC_ALL, "C");
  }
#else
  CommaLocale() {
    if (const char* old = std::getenv("LOCPATH")) oldLocpath_ = old;
    const std::string localedef = FindOnPath("localedef");
    if (localedef.empty()) {
      whyNot_ = "no localedef on PATH: the C library's locale compiler is not installed";
      return;
    }
    const std::filesystem::path sources = SourceFolder();
    if (!std::filesystem::exists(sources / "locales" / "ru_RU")) {
      whyNot_ = "no Russian locale source " + (sources / "locales" / "ru_RU").string() +
                ": install the locales package (scripts/bootstrap does)";
      return;
    }
    const std::filesystem::path log = folder_ / "localedef.log";
    const std::string output = (folder_ / kName).string();
    const int status = Run({localedef, "-i", "ru_RU", "-f", "UTF-8", output}, log);
    if (status != 0) {
      std::ifstream in(log);
      std::stringstream text;
      text << in.rdbuf();
      ADD_FAILURE() << "localedef -i ru_RU -f UTF-8 " << output << " ended with status " << status
                    << ":\n"
                    << text.str();
      return;
    }
    ::setenv("LOCPATH", folder_.Path().c_str(), 1);
    built_ = true;
  }

  ~CommaLocale() {
    std::setlocale(LC_ALL, "C");
    if (oldLocpath_)
      ::setenv("LOCPATH", oldLocpath_->c_str(), 1);
    else
      ::unsetenv("LOCPATH");
  }
#endif

  CommaLocale(const CommaLocale&) = delete;
  CommaLocale& operator=(const CommaLocale&) = delete;

  bool Built() const { return built_; }
  const std::string& WhyNot() const { return whyNot_; }

 private:
#ifndef _WIN32
  static std::string FindOnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
      const std::filesystem::path candidate =
          std::filesystem::path(dir.empty() ? "." : dir) / program;
      if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
    }
    return {};
  }

  // localedef looks for its sources in I18NPATH first, then in the C library's own folder.
  static std::filesystem::path SourceFolder() {
    if (const char* i18n = std::getenv("I18NPATH"); i18n && *i18n) {
      std::stringstream dirs(i18n);
      std::string dir;
      while (std::getline(dirs, dir, ':'))
        if (std::filesystem::exists(std::filesystem::path(dir) / "locales" / "ru_RU")) return dir;
    }
    return "/usr/share/i18n";
  }

  // The exit status of ARGS, its output into LOG; -1 when it could not be started or was killed.
  static int Run(const std::vector<std::string>& args, const std::filesystem::path& log) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
      if (errno != EINTR) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  TempFolder folder_;
#endif
  std::optional<std::string> oldLocpath_;
  std::string whyNot_;
  bool built_ = false;
};

}  // namespace kd::testing
