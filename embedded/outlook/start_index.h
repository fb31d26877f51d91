// A folder's appointments ordered by their start, so that a find over a date
// range visits the appointments of that range instead of the whole folder.
// Internal to the embedded Outlook store.
#pragma once

#include <map>
#include <optional>
#include <vector>

namespace velklk::outlook {

struct Record;

class StartIndex {
 public:
  // `start` is the start in seconds on the linear time scale.
  void Add(long long start, Record* record);
  void Remove(long long start, Record* record);
  void Clear() { byStart_.clear(); }
  // The records whose start lies within the bounds (inclusive; a missing
  // bound is open), in the folder's order.
  std::vector<Record*> InRange(std::optional<long long> low, std::optional<long long> high) const;

 private:
  std::multimap<long long, Record*> byStart_;
};

}  // namespace velklk::outlook
