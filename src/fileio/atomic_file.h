// Every file the program writes (configurations, reports) goes out through here: a temporary
// file beside the target takes the bytes, is flushed to the disk and then renamed over the
// target, so that a full disk, a pulled USB stick or a killed process leaves either the old file
// or the complete new one, never a torn mixture.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <span>
#include <string>

namespace kd::fileio {

// `writeBody` streams the file's content; a stream that goes bad fails the save. On failure the
// temporary file is removed and an existing target is left as it was.
//
// Temporary files are named ".NAME.PID.RANDOM.tmp" in the target's folder: unique, created
// exclusively and never reused, so a write cannot land in another one's leftovers. A temporary
// file that a killed process left behind is removed by the next save of the same target once its
// process no longer runs.
bool WriteAtomically(const std::string& path, const std::function<void(std::ostream&)>& writeBody);
bool WriteAtomically(const std::string& path, std::span<const std::uint8_t> bytes);

// Whether `name` (a bare file name) is a temporary file of this writer for the target `target`
// (also a bare name); `pid` receives the process that made it.
bool IsTemporaryOf(const std::string& name, const std::string& target, long& pid);

// Whether `name` is a temporary file of this writer for any target; `pid` receives the process.
bool IsTemporary(const std::string& name, long& pid);

// Removes the temporary files in `folder` whose processes no longer run, whatever their target:
// a save killed half-way leaves one behind, and the next start in that folder clears it.
// Returns how many were removed.
int RemoveLeftovers(const std::string& folder);

// A write past the process's file-size limit (ulimit -f) must fail as a full disk does, not end
// the program by SIGXFSZ. Every writer calls this before writing; a handler of the program's own
// is left in place.
void KeepRunningPastFileSizeLimit();

}  // namespace kd::fileio
