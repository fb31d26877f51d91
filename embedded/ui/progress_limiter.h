// How often the progress of a long run is shown: first once the run has
// gone on for a while (short runs show none), then at most once per
// interval. The clock can be set, so a test steps time instead of waiting.
#pragma once

#include <chrono>
#include <functional>

#include "platform/export.h"

namespace velklk {

class VELKLK_API ProgressLimiter {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;
  using Clock = std::function<TimePoint()>;

  ProgressLimiter(std::chrono::milliseconds firstAfter, std::chrono::milliseconds interval)
      : firstAfter_(firstAfter), interval_(interval) {}

  // The clock of the limit; the machine's steady clock by default.
  void SetClock(Clock clock) { clock_ = std::move(clock); }

  // One step of a run: true when it is to be shown now. The first step after
  // End() (or ever) begins a new run.
  bool Due() {
    const TimePoint now = clock_ ? clock_() : std::chrono::steady_clock::now();
    if (!running_) {
      running_ = true;
      shown_ = false;
      start_ = now;
      return false;
    }
    if (now - (shown_ ? last_ : start_) < (shown_ ? interval_ : firstAfter_)) return false;
    shown_ = true;
    last_ = now;
    return true;
  }
  // The run ended.
  void End() { running_ = false; }
  // True when the current run was shown at least once.
  bool Shown() const { return running_ && shown_; }
  // Seconds from the run's beginning to the last time it was shown.
  double SecondsShown() const { return std::chrono::duration<double>(last_ - start_).count(); }

 private:
  std::chrono::milliseconds firstAfter_;
  std::chrono::milliseconds interval_;
  Clock clock_;
  bool running_ = false;
  bool shown_ = false;
  TimePoint start_{};
  TimePoint last_{};
};

}  // namespace velklk
