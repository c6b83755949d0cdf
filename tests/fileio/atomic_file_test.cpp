// The writer every configuration and report goes through: whatever fails, and whenever the
// process dies, the target holds its old content or the complete new one, and no temporary file
// outlives the save that made it.
#include "fileio/atomic_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <process.h>
#include <windows.h>
// After windows.h, whose types it uses.
#include <tlhelp32.h>
#else
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace kd::fileio {
namespace {

namespace fs = std::filesystem;

// What a process is to the writer: the pid in its temporary names.
#ifdef _WIN32
long OwnPid() {
  return static_cast<long>(::_getpid());
}
// Another process that runs: the service control manager, there on Windows and under Wine for as
// long as the session lasts (a program started from Linux under Wine has no Windows parent).
long LivePid() {
  long found = 0;
  const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32First(snapshot, &entry); more && found == 0;
       more = ::Process32Next(snapshot, &entry))
    if (::_stricmp(entry.szExeFile, "services.exe") == 0)
      found = static_cast<long>(entry.th32ProcessID);
  ::CloseHandle(snapshot);
  return found;
}
// A process that has ended: this program again, running no test.
long DeadPid() {
  char self[MAX_PATH];
  ::GetModuleFileNameA(nullptr, self, MAX_PATH);
  const intptr_t handle = ::_spawnl(_P_NOWAIT, self, self, "--gtest_filter=-*", nullptr);
  if (handle == -1) return 0;
  const long pid = static_cast<long>(::GetProcessId(reinterpret_cast<HANDLE>(handle)));
  int status = 0;
  ::_cwait(&status, handle, 0);
  return pid;
}
#else
long OwnPid() {
  return static_cast<long>(::getpid());
}
long LivePid() {
  return static_cast<long>(::getppid());
}
long DeadPid() {
  const pid_t dead = ::fork();
  if (dead == 0) ::_exit(0);
  ::waitpid(dead, nullptr, 0);
  return static_cast<long>(dead);
}
#endif

class AtomicFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("kd_atomic_" + std::to_string(OwnPid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(dir_);
  }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  static bool Put(const std::string& path, const std::string& content) {
    return WriteAtomically(path, [&](std::ostream& out) { out << content; });
  }
  // Every name in the folder but the ones given.
  std::vector<std::string> Others(std::initializer_list<std::string> known) const {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir_)) {
      const std::string name = e.path().filename().string();
      if (std::find(known.begin(), known.end(), name) == known.end()) out.push_back(name);
    }
    return out;
  }

  fs::path dir_;
};

#ifndef _WIN32
// Runs `body` in a child process and returns its exit status, or 128 + the signal that ended it.
template <class Body>
int InChild(Body body) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    int status = 99;
    try {
      status = body();
    } catch (...) {
    }
    ::_exit(status);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}
#endif

TEST_F(AtomicFile, ReplacesTheContentAndKeepsTheFilesMode) {
  const std::string path = Path("x.cfg");
  ASSERT_TRUE(Put(path, "first"));
  EXPECT_EQ(Read(path), "first");
#ifndef _WIN32
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
#endif
  const std::vector<std::uint8_t> bytes = {0, 1, 2, 0xFF};
  ASSERT_TRUE(WriteAtomically(path, bytes));
  EXPECT_EQ(Read(path), std::string("\0\1\2\xFF", 4));
#ifndef _WIN32
  // The mode the user gave the file survives the replacement.
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
#endif
  // A body far bigger than the writer's buffer, in pieces of every size.
  std::string big;
  std::mt19937 rng(7);
  while (big.size() < 300000) big.append(rng() % 100000, static_cast<char>('a' + rng() % 26));
  ASSERT_TRUE(WriteAtomically(path, [&](std::ostream& out) {
    for (std::size_t at = 0; at < big.size();) {
      const std::size_t n = std::min<std::size_t>(big.size() - at, 1 + rng() % 70000);
      if (n == 1) out.put(big[at]);
      else out.write(big.data() + at, static_cast<std::streamsize>(n));
      at += n;
    }
  }));
  EXPECT_EQ(Read(path), big);
  // A relative name lies in the working directory.
  const fs::path old = fs::current_path();
  fs::current_path(dir_);
  EXPECT_TRUE(Put("rel.txt", "r"));
  fs::current_path(old);
  EXPECT_EQ(Read(Path("rel.txt")), "r");
  EXPECT_EQ(Others({"x.cfg", "rel.txt"}), std::vector<std::string>{});
}

// Whatever makes a save fail leaves the file that was there and no temporary file beside it.
TEST_F(AtomicFile, AFailedSaveKeepsTheOldFileAndLeavesNoTemporary) {
  const std::string path = Path("report.err");
  ASSERT_TRUE(Put(path, "old report"));

  // The body's stream went bad (a writer that gave up half way).
  EXPECT_FALSE(WriteAtomically(path, [](std::ostream& out) {
    out << "half";
    out.setstate(std::ios::badbit);
  }));
  // The body threw: the exception goes on, the temporary file does not stay.
  EXPECT_THROW(WriteAtomically(path,
                               [](std::ostream& out) {
                                 out << "half";
                                 throw std::runtime_error("body failed");
                               }),
               std::runtime_error);
  // The target is a folder.
  fs::create_directory(dir_ / "taken.err");
  EXPECT_FALSE(Put(Path("taken.err"), "x"));
  EXPECT_TRUE(fs::is_directory(dir_ / "taken.err"));
  // The folder does not exist, or the name is no file name.
  EXPECT_FALSE(Put(Path("none/x.err"), "x"));
  EXPECT_FALSE(Put(Path("x.err/"), "x"));
  EXPECT_FALSE(Put("", "x"));
  EXPECT_EQ(Read(path), "old report");
  EXPECT_EQ(Others({"report.err", "taken.err"}), std::vector<std::string>{});

#ifndef _WIN32
  // The disk fills up mid-write: a file-size limit makes the writes fail as ENOSPC would.
  const int full = InChild([&] {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{100000, 100000};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 3;
    return WriteAtomically(path, [](std::ostream& out) {
      for (int i = 0; i < 1000; ++i) out << std::string(1000, 'z');
    }) ? 1 : 0;
  });
  EXPECT_EQ(full, 0);
  EXPECT_EQ(Read(path), "old report");
  EXPECT_EQ(Others({"report.err", "taken.err"}), std::vector<std::string>{});
#endif
}

#ifndef _WIN32
TEST_F(AtomicFile, AFolderThatCannotBeWrittenKeepsItsFile) {
  const std::string path = Path("default.cfg");
  ASSERT_TRUE(Put(path, "kept"));
  ASSERT_EQ(::chmod(dir_.c_str(), 0555), 0);
  // Root writes anywhere; the attempt is made as nobody then.
  const int status = InChild([&] {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return 3;
    return Put(path, "new") ? 1 : 0;
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(Read(path), "kept");
  EXPECT_EQ(Others({"default.cfg"}), std::vector<std::string>{});
}

// Killed in the middle of a save, the process leaves the old file intact and its temporary file
// behind; the next save of the same file, by any process, clears that away.
TEST_F(AtomicFile, AProcessKilledMidSaveLeavesTheOldFileAndItsLeftoverIsSweptLater) {
  const std::string path = Path("M10def.cfg");
  ASSERT_TRUE(Put(path, "old"));
  const std::string chunk(64 * 1024, 'n');
  const int status = InChild([&] {
    WriteAtomically(path, [&](std::ostream& out) {
      for (int i = 0; i < 64; ++i) {
        out << chunk;
        if (i == 32) ::raise(SIGKILL);
      }
    });
    return 0;
  });
  ASSERT_EQ(status, 128 + SIGKILL);
  EXPECT_EQ(Read(path), "old");
  const auto left = Others({"M10def.cfg"});
  ASSERT_EQ(left.size(), 1u);
  long pid = 0;
  EXPECT_TRUE(IsTemporaryOf(left[0], "M10def.cfg", pid)) << left[0];
  EXPECT_NE(pid, OwnPid());
  EXPECT_GT(fs::file_size(dir_ / left[0]), 0u) << "the child had written into it";

  // A save of another file leaves it; a save of this one removes it, the process being gone.
  ASSERT_TRUE(Put(Path("other.cfg"), "o"));
  EXPECT_TRUE(fs::exists(dir_ / left[0]));
  ASSERT_TRUE(Put(path, "new"));
  EXPECT_EQ(Read(path), "new");
  EXPECT_EQ(Others({"M10def.cfg", "other.cfg"}), std::vector<std::string>{});
}

#endif

// A temporary file of a process that still runs is its save in progress: it is left alone; a
// dead one's goes.
TEST_F(AtomicFile, ALiveWritersTemporaryFileIsLeftAlone) {
  const std::string path = Path("default.cfg");
  const long live = LivePid();
  ASSERT_NE(live, 0);
  const std::string theirs =
      "." + std::string("default.cfg") + "." + std::to_string(live) + ".Ab12Cd.tmp";
  std::ofstream(Path(theirs)) << "in progress";
  const long dead = DeadPid();
  ASSERT_NE(dead, 0);
  const std::string gone =
      "." + std::string("default.cfg") + "." + std::to_string(dead) + ".Ab12Cd.tmp";
  std::ofstream(Path(gone)) << "left by a dead writer";
  ASSERT_TRUE(Put(path, "mine"));
  EXPECT_TRUE(fs::exists(dir_ / theirs));
  EXPECT_FALSE(fs::exists(dir_ / gone));
}

#ifndef _WIN32
// Killed at any moment, again and again: the file is always one of the complete versions.
TEST_F(AtomicFile, KilledAtRandomMomentsTheFileIsAlwaysOneCompleteVersion) {
  const std::string path = Path("data.dat");
  auto version = [](char c) { return std::string(1 << 20, c) + "end"; };
  ASSERT_TRUE(Put(path, version('0')));
  std::mt19937 rng(2024);
  for (int round = 0; round < 12; ++round) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      for (char c = 'a';; c = c == 'z' ? 'a' : static_cast<char>(c + 1)) Put(path, version(c));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(rng() % 40));
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    const std::string content = Read(path);
    ASSERT_EQ(content.size(), version('0').size()) << "round " << round;
    EXPECT_EQ(content, version(content[0])) << "round " << round;
  }
  // Whatever the rounds left behind goes with the next save.
  ASSERT_TRUE(Put(path, "last"));
  EXPECT_EQ(Others({"data.dat"}), std::vector<std::string>{});
}

#endif

TEST(TemporaryName, OnlyTheWritersOwnNamesForThatTarget) {
  long pid = 0;
  EXPECT_TRUE(IsTemporaryOf(".x.cfg.123.aB3xYz.tmp", "x.cfg", pid));
  EXPECT_EQ(pid, 123);
  for (const char* other : {"x.cfg", "x.cfg.tmp", ".x.cfg.tmp", ".x.cfg.123.aB3xY.tmp",
                            ".x.cfg.123.aB3xYzz.tmp", ".x.cfg..aB3xYz.tmp", ".x.cfg.12a.aB3xYz.tmp",
                            ".y.cfg.123.aB3xYz.tmp", ".x.cfg.123.aB-xYz.tmp", ".x.cfg.123.aB3xYz",
                            ".x.cfg.99999999999.aB3xYz.tmp"})
    EXPECT_FALSE(IsTemporaryOf(other, "x.cfg", pid)) << other;
}

}  // namespace
}  // namespace kd::fileio

namespace kd::fileio {
namespace {

#ifndef _WIN32
// A file-size limit the user set (ulimit -f) ends a process that writes past it by SIGXFSZ
// unless the signal is ignored: the save must fail as on a full disk instead, whatever the
// program had done with the signal before.
TEST_F(AtomicFile, AFileSizeLimitFailsTheSaveInsteadOfEndingTheProgram) {
  const std::string path = Path("drive.dat");
  ASSERT_TRUE(Put(path, "old drive"));
  const int status = InChild([&] {
    ::signal(SIGXFSZ, SIG_DFL);
    const rlimit limit{50000, 50000};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 3;
    return WriteAtomically(path,
                           [](std::ostream& out) {
                             for (int i = 0; i < 100; ++i) out << std::string(1000, 'z');
                           })
               ? 1
               : 0;
  });
  EXPECT_EQ(status, 0) << "128 + " << SIGXFSZ << " is the signal's end";
  EXPECT_EQ(Read(path), "old drive");
  EXPECT_EQ(Others({"drive.dat"}), std::vector<std::string>{});
}
#endif

// At start-up every temporary file of a dead process goes, whatever file it was saving; those
// of live processes and files that only look alike stay.
TEST_F(AtomicFile, LeftoversOfDeadProcessesAreRemovedForEveryTarget) {
  const long dead = DeadPid();
  ASSERT_NE(dead, 0);
  const std::string d = std::to_string(dead);
  const std::string live = std::to_string(LivePid());
  const std::vector<std::string> gone = {".default.cfg." + d + ".Ab12Cd.tmp",
                                         ".drive 1.dat." + d + ".zzzzzz.tmp",
                                         "..hidden.csv." + d + ".A1b2C3.tmp"};
  const std::vector<std::string> kept = {
      ".default.cfg." + live + ".Ab12Cd.tmp", ".default.cfg." + d + ".short.tmp",
      "default.cfg." + d + ".Ab12Cd.tmp", ".default.cfg." + d + ".Ab12Cd.tmpx",
      "." + d + ".Ab12Cd.tmp"};
  for (const auto& name : gone) std::ofstream(Path(name)) << "x";
  for (const auto& name : kept) std::ofstream(Path(name)) << "x";
  long pid = 0;
  EXPECT_TRUE(IsTemporary(gone[1], pid));
  EXPECT_EQ(pid, dead);
  EXPECT_EQ(RemoveLeftovers(dir_.string()), 3);
  for (const auto& name : gone) EXPECT_FALSE(fs::exists(dir_ / name)) << name;
  for (const auto& name : kept) EXPECT_TRUE(fs::exists(dir_ / name)) << name;
}

}  // namespace
}  // namespace kd::fileio
