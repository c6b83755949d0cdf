// How a window's tick reaches the port when the port must not be waited on where the tick runs.
// Without an exchanger (the harness, the demo, the fuzzers) a tick reads, steps and writes before
// it returns; with one (the Qt program, whose port lives on a thread of its own) the read window
// and the write run elsewhere and the step and the outcome follow on the tick's own thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "link/fast_read.h"

namespace kd::link {

enum class WriteOutcome { Written, Delayed, DelayedFailed, Failed };

// What a tick writes once its step ran. `waitPending`: a pending write is waited for (the
// bounded wait); without it only a write the driver took at once counts, and a pending one
// ends as Failed.
struct OutgoingFrame {
  std::vector<std::uint8_t> bytes;
  bool waitPending = true;
};

class Exchanger {
 public:
  using Stepped = std::function<OutgoingFrame(std::span<const std::uint8_t> read)>;
  using Written = std::function<void(WriteOutcome)>;
  virtual ~Exchanger() = default;

  // One exchange for `owner`: the read window (up to `readLimit` bytes), `stepped` with what
  // came, the write of what it returned, `written` with the outcome. `stepped` and `written`
  // run on the caller's thread, never while another exchange's are due. False, and nothing is
  // done, while an earlier exchange is still in flight: ticks never overlap.
  virtual bool Start(const void* owner, std::size_t readLimit, Stepped stepped,
                     Written written) = 0;
  // The same, with the read window replaced by a fast read of the reply to the write that ended
  // the last exchange: `stepped` follows as soon as the reply is whole and its P3min has passed.
  // A reply that is late or cannot be read fast ends the exchange without a call: what came of
  // it is kept for the next read window, which a normal tick opens. False where there is none.
  virtual bool StartFast(const void* owner, const FastRead& fast, Stepped stepped,
                         Written written) {
    (void)owner, (void)fast, (void)stepped, (void)written;
    return false;
  }
  // `owner` goes away: what is still due to it is never called.
  virtual void Forget(const void* owner) = 0;
};

}  // namespace kd::link
