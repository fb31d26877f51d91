#include "outlook/task_rules.h"

namespace velklk::outlook {
namespace {

constexpr std::int64_t kCompleted = 2;
constexpr std::int64_t kNotStarted = 0;
constexpr std::int64_t kInProgress = 1;

struct TaskIds {
  int status, percent, complete, dateCompleted;
};

const TaskIds& Ids() {
  static const TaskIds ids{*FindProperty("Status"), *FindProperty("PercentComplete"),
                           *FindProperty("Complete"), *FindProperty("DateCompleted")};
  return ids;
}

// Stores a value, dropping it when it is the property's default (as Set does).
void Put(ItemData& data, int id, PropValue value) {
  if (value == Property(id).defaultValue) {
    data.Erase(id);
  } else {
    data.Put(id, std::move(value));
  }
}

template <typename T>
T Read(const ItemData& data, int id) {
  const PropValue* v = data.Find(id);
  return std::get<T>(v ? *v : Property(id).defaultValue);
}

void Complete(ItemData& data, AutoDate completedOn) {
  const TaskIds& t = Ids();
  Put(data, t.status, kCompleted);
  Put(data, t.percent, std::int64_t{100});
  Put(data, t.complete, true);
  Put(data, t.dateCompleted, completedOn);
}

// Leaves the completed state: the completion date goes, and 100 percent
// cannot stay.
void Reopen(ItemData& data, std::int64_t status, std::int64_t percent) {
  const TaskIds& t = Ids();
  Put(data, t.status, status);
  Put(data, t.percent, percent >= 100 ? 0 : percent);
  Put(data, t.complete, false);
  Put(data, t.dateCompleted, kNoDate);
}

}  // namespace

bool ApplyTaskCompletion(ItemData& data, int id, const PropValue& value, AutoDate today) {
  const TaskIds& t = Ids();
  if (id != t.status && id != t.percent && id != t.complete && id != t.dateCompleted) return false;
  const bool wasComplete = Read<std::int64_t>(data, t.status) == kCompleted;
  // A task completed again keeps the date it was completed on.
  const AutoDate completedOn = wasComplete && !Read<AutoDate>(data, t.dateCompleted).IsNoDate()
                                   ? Read<AutoDate>(data, t.dateCompleted)
                                   : today.DateOnly();
  if (id == t.status) {
    const std::int64_t status = std::get<std::int64_t>(value);
    if (status == kCompleted) {
      Complete(data, completedOn);
    } else if (wasComplete) {
      Reopen(data, status, Read<std::int64_t>(data, t.percent));
    } else {
      Put(data, t.status, status);
    }
  } else if (id == t.percent) {
    const std::int64_t percent = std::get<std::int64_t>(value);
    if (percent == 100) {
      Complete(data, completedOn);
    } else if (wasComplete) {
      Reopen(data, percent > 0 ? kInProgress : kNotStarted, percent);
    } else {
      Put(data, t.percent, percent);
    }
  } else if (id == t.complete) {
    if (std::get<bool>(value)) {
      Complete(data, completedOn);
    } else if (wasComplete) {
      Reopen(data, kNotStarted, 0);
    }
  } else {
    const AutoDate date = std::get<AutoDate>(value);
    if (!date.IsNoDate()) {
      Complete(data, date);
    } else if (wasComplete) {
      Reopen(data, kNotStarted, 0);
    }
  }
  return true;
}

}  // namespace velklk::outlook
