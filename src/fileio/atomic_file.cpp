#include "fileio/atomic_file.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <random>
#include <streambuf>
#include <system_error>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kd::fileio {

namespace fs = std::filesystem;

namespace {

constexpr int kNameAttempts = 100;
constexpr std::size_t kRandomLength = 6;

// The few calls that differ between the platforms.
#ifdef _WIN32
long CurrentPid() { return static_cast<long>(_getpid()); }
int OpenExclusive(const fs::path& p) {
  int fd = -1;
  _wsopen_s(&fd, p.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _SH_DENYRW,
            _S_IREAD | _S_IWRITE);
  return fd;
}
long WriteSome(int fd, const char* data, std::size_t n) {
  return _write(fd, data, static_cast<unsigned>(std::min<std::size_t>(n, 1u << 30)));
}
bool SyncFile(int fd) { return _commit(fd) == 0; }
bool CloseFile(int fd) { return _close(fd) == 0; }
void KeepModeOf(int, const fs::path&) {}
bool Replace(const fs::path& from, const fs::path& to) {
  return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}
void SyncFolder(const fs::path&) {}
bool ProcessRuns(long pid) {
  HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
  if (!h) return GetLastError() != ERROR_INVALID_PARAMETER;
  DWORD code = 0;
  const bool running = GetExitCodeProcess(h, &code) && code == STILL_ACTIVE;
  CloseHandle(h);
  return running;
}
#else
long CurrentPid() { return static_cast<long>(::getpid()); }
int OpenExclusive(const fs::path& p) {
  return ::open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}
long WriteSome(int fd, const char* data, std::size_t n) { return ::write(fd, data, n); }
bool SyncFile(int fd) { return ::fsync(fd) == 0; }
bool CloseFile(int fd) { return ::close(fd) == 0; }
// A file the user made read-only, or readable by others, stays so when it is replaced.
void KeepModeOf(int fd, const fs::path& target) {
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::fchmod(fd, st.st_mode & 07777);
}
bool Replace(const fs::path& from, const fs::path& to) {
  return ::rename(from.c_str(), to.c_str()) == 0;
}
// The rename itself is durable only once the folder's entry is on the disk. Some file systems
// cannot sync a folder; the file is in place by then either way.
void SyncFolder(const fs::path& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}
bool ProcessRuns(long pid) {
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}
#endif

// Writes straight into the descriptor, so a big report never has to be held in memory whole.
class FileBuffer : public std::streambuf {
 public:
  explicit FileBuffer(int fd) : fd_(fd) { setp(buffer_, buffer_ + sizeof buffer_); }
  bool Failed() const { return failed_; }

 protected:
  int_type overflow(int_type ch) override {
    if (!Drain()) return traits_type::eof();
    if (!traits_type::eq_int_type(ch, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(ch);
      pbump(1);
    }
    return traits_type::not_eof(ch);
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    if (n < static_cast<std::streamsize>(sizeof buffer_))
      return std::streambuf::xsputn(s, n);
    if (!Drain() || !WriteAll(s, static_cast<std::size_t>(n))) return 0;
    return n;
  }
  int sync() override { return Drain() ? 0 : -1; }

 private:
  bool Drain() {
    const bool ok = WriteAll(pbase(), static_cast<std::size_t>(pptr() - pbase()));
    setp(buffer_, buffer_ + sizeof buffer_);
    return ok;
  }
  bool WriteAll(const char* data, std::size_t n) {
    while (n > 0 && !failed_) {
      const long done = WriteSome(fd_, data, n);
      if (done < 0 && errno == EINTR) continue;
      if (done <= 0) {
        failed_ = true;
        break;
      }
      data += done;
      n -= static_cast<std::size_t>(done);
    }
    return !failed_;
  }

  int fd_;
  bool failed_ = false;
  char buffer_[64 * 1024];
};

std::string RandomPart() {
  static std::mt19937_64 rng = [] {
    std::random_device device;
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    return std::mt19937_64(device() ^ static_cast<std::uint64_t>(now) ^
                           static_cast<std::uint64_t>(CurrentPid()) << 32);
  }();
  static constexpr char kChars[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::string out;
  for (std::size_t i = 0; i < kRandomLength; ++i) out += kChars[rng() % (sizeof kChars - 1)];
  return out;
}

// Removes what killed processes left of their saves of `target`; live writers keep theirs.
void SweepLeftovers(const fs::path& folder, const std::string& target) {
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    long pid = 0;
    const std::string name = it->path().filename().string();
    if (!IsTemporaryOf(name, target, pid) || pid == CurrentPid() || ProcessRuns(pid)) continue;
    std::error_code ignored;
    fs::remove(it->path(), ignored);
  }
}

bool IsAlnum(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

bool IsTemporaryOf(const std::string& name, const std::string& target, long& pid) {
  const std::string head = "." + target + ".";
  const std::string tail = ".tmp";
  if (name.size() < head.size() + tail.size() + 2 + kRandomLength ||
      name.compare(0, head.size(), head) != 0 ||
      name.compare(name.size() - tail.size(), tail.size(), tail) != 0)
    return false;
  const std::string middle = name.substr(head.size(), name.size() - head.size() - tail.size());
  const auto dot = middle.find('.');
  if (dot == 0 || dot == std::string::npos || middle.size() - dot - 1 != kRandomLength) return false;
  long value = 0;
  for (std::size_t i = 0; i < dot; ++i) {
    if (middle[i] < '0' || middle[i] > '9' || value > 100000000) return false;
    value = value * 10 + (middle[i] - '0');
  }
  for (std::size_t i = dot + 1; i < middle.size(); ++i)
    if (!IsAlnum(middle[i])) return false;
  pid = value;
  return true;
}

bool IsTemporary(const std::string& name, long& pid) {
  // ".NAME.PID.RANDOM.tmp": the target is what stands before the process number.
  if (name.size() < 2 || name[0] != '.') return false;
  const auto tail = name.size() >= 4 ? name.rfind('.', name.size() - 5) : std::string::npos;
  if (tail == std::string::npos || tail == 0) return false;
  const auto pidDot = name.rfind('.', tail - 1);
  if (pidDot == std::string::npos || pidDot < 2) return false;
  return IsTemporaryOf(name, name.substr(1, pidDot - 1), pid);
}

int RemoveLeftovers(const std::string& folder) {
  int removed = 0;
  std::error_code ec;
  for (fs::directory_iterator it(folder.empty() ? fs::path(".") : fs::path(folder), ec), end;
       !ec && it != end; it.increment(ec)) {
    long pid = 0;
    const std::string name = it->path().filename().string();
    if (!IsTemporary(name, pid) || pid == CurrentPid() || ProcessRuns(pid)) continue;
    std::error_code ignored;
    if (it->is_regular_file(ignored) && fs::remove(it->path(), ignored)) ++removed;
  }
  return removed;
}

// Asked at every write, not once: whatever set the signal back to its default since (a library,
// a child's set-up) would otherwise turn the next big save into the end of the program. A
// handler someone installed stays theirs.
void KeepRunningPastFileSizeLimit() {
#ifndef _WIN32
  struct sigaction current {};
  if (::sigaction(SIGXFSZ, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
    ::signal(SIGXFSZ, SIG_IGN);
#endif
}

bool WriteAtomically(const std::string& path, const std::function<void(std::ostream&)>& writeBody) {
  if (path.empty()) return false;
  KeepRunningPastFileSizeLimit();
  const fs::path target(path);
  const std::string name = target.filename().string();
  if (name.empty() || name == "." || name == "..") return false;
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");

  fs::path temp;
  int fd = -1;
  for (int attempt = 0; attempt < kNameAttempts && fd < 0; ++attempt) {
    temp = folder / ("." + name + "." + std::to_string(CurrentPid()) + "." + RandomPart() + ".tmp");
    fd = OpenExclusive(temp);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;
  KeepModeOf(fd, target);

  bool ok = false;
  bool closed = false;
  try {
    FileBuffer buffer(fd);
    std::ostream out(&buffer);
    if (writeBody) writeBody(out);
    out.flush();
    ok = out.good() && !buffer.Failed() && SyncFile(fd);
    closed = true;
    ok = CloseFile(fd) && ok;
    ok = ok && Replace(temp, target);
  } catch (...) {
    if (!closed) CloseFile(fd);
    std::error_code ignored;
    fs::remove(temp, ignored);
    throw;
  }
  if (!ok) {
    std::error_code ignored;
    fs::remove(temp, ignored);
    return false;
  }
  SyncFolder(folder);
  SweepLeftovers(folder, name);
  return true;
}

bool WriteAtomically(const std::string& path, std::span<const std::uint8_t> bytes) {
  return WriteAtomically(path, [bytes](std::ostream& out) {
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  });
}

}  // namespace kd::fileio
