#include "outlook/start_index.h"

#include <algorithm>

#include "outlook/model.h"

namespace velklk::outlook {

void StartIndex::Add(long long start, Record* record) { byStart_.emplace(start, record); }

void StartIndex::Remove(long long start, Record* record) {
  auto [first, last] = byStart_.equal_range(start);
  for (auto it = first; it != last; ++it) {
    if (it->second == record) {
      byStart_.erase(it);
      return;
    }
  }
}

std::vector<Record*> StartIndex::InRange(std::optional<long long> low,
                                         std::optional<long long> high) const {
  std::vector<Record*> records;
  if (low && high && *low > *high) return records;
  auto first = low ? byStart_.lower_bound(*low) : byStart_.begin();
  auto last = high ? byStart_.upper_bound(*high) : byStart_.end();
  for (auto it = first; it != last; ++it) records.push_back(it->second);
  std::sort(records.begin(), records.end(),
            [](const Record* a, const Record* b) { return a->rowId < b->rowId; });
  return records;
}

}  // namespace velklk::outlook
