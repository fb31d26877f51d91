// Source of "now" for every store and save; tests and the command set it.
#pragma once

#include "platform/auto_date.h"
#include "platform/export.h"

namespace velklk {

class VELKLK_API Clock {
 public:
  virtual ~Clock() = default;
  // The local date and time.
  virtual AutoDate Now() const = 0;
};

// The machine's local time.
class VELKLK_API SystemClock final : public Clock {
 public:
  AutoDate Now() const override;
};

// A clock that stands where it is set.
class VELKLK_API SettableClock final : public Clock {
 public:
  explicit SettableClock(AutoDate now) : now_(now) {}
  AutoDate Now() const override { return now_; }
  void Set(AutoDate now) { now_ = now; }
  void AdvanceSeconds(long long seconds) { now_ = AutoDate::FromSeconds(now_.Seconds() + seconds); }

 private:
  AutoDate now_;
};

}  // namespace velklk
