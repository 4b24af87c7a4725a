// TDrawPacer: how often a long command (a search, a duplicate scan) brings
// what it shows up to date. Its counters and texts change per folder, file
// or pair, far more often than anyone can read them, and every change shown
// costs a repaint in the program and in the display server. The command asks
// Due() wherever it has something new to show; the answer is yes at the
// first question after Start() and then at most once per interval. The
// command shows its final state once more at its end, whatever Due() says.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>

namespace trawlix {

class TDrawPacer {
 public:
  // Milliseconds from any fixed point on.
  using Clock = std::function<int64_t()>;
  static constexpr int64_t kIntervalMs = 33;  // about 30 pictures a second

  // The clock; the system's monotonic clock unless set (tests step their own).
  void SetClock(Clock clock) { clock_ = std::move(clock); }

  // A command begins: the next Due() is true.
  void Start() { started_ = false; }

  // True when the screen should be brought up to date now; the interval then
  // begins anew.
  bool Due() {
    const int64_t now = clock_ ? clock_() : SystemMs();
    if (started_ && now - last_ < kIntervalMs) return false;
    started_ = true;
    last_ = now;
    return true;
  }

 private:
  static int64_t SystemMs() {
    // The coarse clock costs a few nanoseconds, cheap enough to ask per file;
    // its few milliseconds of resolution do not matter at this interval.
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
  }

  Clock clock_;
  bool started_ = false;
  int64_t last_ = 0;
};

}  // namespace trawlix
