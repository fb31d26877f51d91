#include "changes/call_journal.h"

#include "sqlite/connection.h"
#include "sqlite/transaction.h"

namespace velklk {

void CallJournal::Append(const nlohmann::ordered_json& entry) {
  sqlite::Transaction write(connection_, sqlite::Transaction::Locking::Immediate);
  connection_.Exec(
      "CREATE TABLE IF NOT EXISTS main._vk_journal(seq INTEGER PRIMARY KEY, entry TEXT NOT NULL)");
  connection_.Prepare("INSERT INTO main._vk_journal(entry) VALUES(?1)")
      .Bind(1, entry.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace))
      .Run();
  connection_.Prepare("DELETE FROM main._vk_journal WHERE seq <= ?1")
      .Bind(1, connection_.LastInsertRowId() - kCapacity)
      .Run();
  write.Commit();
}

std::vector<nlohmann::ordered_json> CallJournal::Last(int count) const {
  std::vector<nlohmann::ordered_json> entries;
  {
    auto exists = connection_.Prepare(
        "SELECT 1 FROM main.sqlite_master WHERE type = 'table' AND name = '_vk_journal'");
    if (!exists.Step() || count <= 0) return entries;
  }
  auto st = connection_.Prepare(
      "SELECT entry FROM (SELECT seq, entry FROM main._vk_journal ORDER BY seq DESC LIMIT ?1) "
      "ORDER BY seq");
  st.Bind(1, count);
  while (st.Step()) {
    entries.push_back(nlohmann::ordered_json::parse(st.Text(0), nullptr, false));
    if (entries.back().is_discarded()) entries.back() = nullptr;
  }
  return entries;
}

}  // namespace velklk
