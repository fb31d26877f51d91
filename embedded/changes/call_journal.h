// The journal of the calls made on a profile: one JSON entry per call (time,
// user, member, counts, result), kept in the CRM database's table
// "_vk_journal" beside the host's own tables. It is bounded: it keeps the
// last kCapacity entries, and each new entry pushes the oldest out. Loading
// a fixture leaves it as it is; dumps do not show it.
#pragma once

#include <nlohmann/json.hpp>
#include <vector>

namespace velklk::sqlite {
class Connection;
}

namespace velklk {

class CallJournal {
 public:
  static constexpr int kCapacity = 200;

  explicit CallJournal(sqlite::Connection& connection) : connection_(connection) {}
  // Appends an entry in a transaction of its own (or inside the open one)
  // and drops what falls out of the journal. Raises sqlite::SqliteError when
  // the database cannot be written.
  void Append(const nlohmann::ordered_json& entry);
  // The last `count` entries, oldest first; none when the profile has no
  // journal yet. An entry that is not valid JSON reads as null.
  std::vector<nlohmann::ordered_json> Last(int count) const;

 private:
  sqlite::Connection& connection_;
};

}  // namespace velklk
