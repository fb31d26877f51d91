#include "changes/call_journal.h"

#include <cstdlib>
#include <stdexcept>

#include "sqlite/connection.h"
#include "sqlite/transaction.h"

namespace velklk {
namespace {

using Json = nlohmann::ordered_json;

constexpr std::uint64_t kDefaultImageLimit = 32ull * 1024 * 1024;

// The images of an entry sit beside it; the index on their sizes lets the
// bound be checked without reading the images.
constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS main._vk_journal(seq INTEGER PRIMARY KEY, entry TEXT NOT NULL);"
    "CREATE TABLE IF NOT EXISTS main._vk_undo(entry INTEGER PRIMARY KEY, size INTEGER NOT NULL, "
    "undone_by INTEGER, images BLOB NOT NULL);"
    "CREATE INDEX IF NOT EXISTS main._vk_undo_size ON _vk_undo(size);";

// Entries past the bound are dropped in batches, every kDropEvery entries,
// so that a call's commit does not also rewrite the pages of the oldest
// entry and its images each time; until then readers pass over them.
constexpr std::int64_t kDropEvery = 50;

// The columns Last and Find read: number, entry, images kept, undone by,
// of the entries within the bound. A journal written before entries kept
// images has no table of them yet.
std::string Select(bool images) {
  const std::string within = " WHERE j.seq > (SELECT max(seq) FROM main._vk_journal) - " +
                             std::to_string(CallJournal::kCapacity);
  return (images
              ? "SELECT j.seq, j.entry, u.entry IS NOT NULL, u.undone_by FROM main._vk_journal j "
                "LEFT JOIN main._vk_undo u ON u.entry = j.seq"
              : "SELECT j.seq, j.entry, 0, NULL FROM main._vk_journal j") +
         within;
}

}  // namespace

CallJournal::CallJournal(sqlite::Connection& connection) : connection_(connection) {}

CallJournal::~CallJournal() = default;

std::uint64_t CallJournal::ImageLimit() {
  const char* value = std::getenv("VELKLK_UNDO_LIMIT");
  if (value == nullptr || *value == '\0') return kDefaultImageLimit;
  const std::string text = value;
  if (text.size() > 15 || text.find_first_not_of("0123456789") != std::string::npos)
    throw std::runtime_error("VELKLK_UNDO_LIMIT: expected a number of bytes, got '" + text + "'");
  return std::stoull(text);
}

int CallJournal::Tables() const {
  auto st = connection_.Prepare(
      "SELECT count(*) FROM main.sqlite_master WHERE type = 'table' AND "
      "name IN ('_vk_journal', '_vk_undo')");
  return st.Step() ? static_cast<int>(st.Int(0)) : 0;
}

sqlite::Statement& CallJournal::Cached(const char* sql) {
  auto it = statements_.find(sql);
  if (it == statements_.end())
    it = statements_.emplace(sql, std::make_unique<sqlite::Statement>(connection_.Prepare(sql)))
             .first;
  return *it->second;
}

std::int64_t CallJournal::Append(const Json& entry, const std::string* images,
                                 std::uint64_t limit) {
  return Write(entry, images, limit, false);
}

std::int64_t CallJournal::AppendDropped(const Json& entry) {
  return Write(entry, nullptr, 0, true);
}

std::int64_t CallJournal::Write(const Json& entry, const std::string* images, std::uint64_t limit,
                                bool dropped) {
  sqlite::Transaction write(connection_, sqlite::Transaction::Locking::Immediate);
  if (!ready_ && Tables() != 2) connection_.Exec(kSchema);
  ready_ = true;
  const bool keep = images != nullptr && images->size() <= limit;
  const std::string text = [&] {
    if (images == nullptr && !dropped)
      return entry.dump(-1, ' ', false, Json::error_handler_t::replace);
    Json copy = entry;
    copy["images"] = keep ? "kept" : "dropped";
    return copy.dump(-1, ' ', false, Json::error_handler_t::replace);
  }();
  // A kept statement is reset after each use, also when it fails.
  auto run = [](sqlite::Statement& st, auto&& bind) {
    struct Reset {
      sqlite::Statement& st;
      ~Reset() { st.Reset(); }
    } reset{st};
    bind(st);
    return st.Step() ? st.Double(0) : 0.0;
  };
  run(Cached("INSERT INTO main._vk_journal(entry) VALUES(?1)"),
      [&](sqlite::Statement& st) { st.Bind(1, text); });
  const std::int64_t number = connection_.LastInsertRowId();
  if (number % kDropEvery == 0) {
    for (const char* drop : {"DELETE FROM main._vk_journal WHERE seq <= ?1",
                             "DELETE FROM main._vk_undo WHERE entry <= ?1"})
      run(Cached(drop), [&](sqlite::Statement& st) { st.Bind(1, number - kCapacity); });
  }
  if (keep) {
    run(Cached("INSERT INTO main._vk_undo(entry, size, images) VALUES(?1, ?2, ?3)"),
        [&](sqlite::Statement& st) {
          st.Bind(1, number)
              .Bind(2, static_cast<std::int64_t>(images->size()))
              .BindKeptBlob(3, images->data(), static_cast<int>(images->size()));
        });
    // The newest images stay; older ones go once all of them exceed the bound.
    // Each entry keeps one image at most, so the oldest entry with images
    // and the largest image bound their total without adding all sizes up
    // (two lookups in the indexes instead of a pass over every entry).
    const double bound = run(Cached("SELECT (?1 - (SELECT min(entry) FROM main._vk_undo) + 1.0) * "
                                    "(SELECT max(size) FROM main._vk_undo)"),
                             [&](sqlite::Statement& st) { st.Bind(1, number); });
    const double total =
        bound <= static_cast<double>(limit)
            ? 0.0
            : run(Cached("SELECT total(size) FROM main._vk_undo"), [](sqlite::Statement&) {});
    if (total > static_cast<double>(limit)) {
      run(Cached("DELETE FROM main._vk_undo WHERE entry IN (SELECT entry FROM (SELECT entry, "
                 "sum(size) OVER (ORDER BY entry DESC) AS running FROM main._vk_undo) "
                 "WHERE running > ?1)"),
          [&](sqlite::Statement& st) { st.Bind(1, static_cast<std::int64_t>(limit)); });
    }
  }
  write.Commit();
  return number;
}

Json CallJournal::Read(std::int64_t number, const std::string& text, bool imagesKept,
                       std::optional<std::int64_t> undoneBy) const {
  Json out{{"entry", number}};
  Json parsed = Json::parse(text, nullptr, false);
  if (!parsed.is_object()) return out;
  for (auto& [key, value] : parsed.items()) out[key] = std::move(value);
  if (out.value("images", "") == "kept" && !imagesKept) out["images"] = "dropped";
  if (undoneBy) out["undoneBy"] = *undoneBy;
  return out;
}

std::vector<Json> CallJournal::Last(int count) const {
  std::vector<Json> entries;
  const int tables = Tables();
  if (count <= 0 || tables == 0) return entries;
  auto st = connection_.Prepare("SELECT * FROM (" + Select(tables == 2) +
                                " ORDER BY j.seq DESC LIMIT ?1) ORDER BY 1");
  st.Bind(1, count);
  while (st.Step()) {
    std::optional<std::int64_t> undoneBy;
    if (!st.IsNull(3)) undoneBy = st.Int(3);
    entries.push_back(Read(st.Int(0), st.Text(1), st.Int(2) != 0, undoneBy));
  }
  return entries;
}

std::optional<CallJournal::Stored> CallJournal::Find(std::int64_t number) const {
  const int tables = Tables();
  if (tables == 0) return std::nullopt;
  auto st = connection_.Prepare(Select(tables == 2) + " AND j.seq = ?1");
  st.Bind(1, number);
  if (!st.Step()) return std::nullopt;
  Stored stored;
  if (!st.IsNull(3)) stored.undoneBy = st.Int(3);
  stored.entry = Read(st.Int(0), st.Text(1), st.Int(2) != 0, stored.undoneBy);
  if (st.Int(2) != 0) {
    auto images = connection_.Prepare("SELECT images FROM main._vk_undo WHERE entry = ?1");
    images.Bind(1, number);
    if (images.Step()) stored.images = images.Text(0);
  }
  return stored;
}

std::optional<std::int64_t> CallJournal::LastUndoable() const {
  const int tables = Tables();
  if (tables == 0) return std::nullopt;
  auto st = connection_.Prepare(Select(tables == 2) + " ORDER BY j.seq DESC");
  while (st.Step()) {
    if (!st.IsNull(3)) continue;  // undone
    const Json parsed = Json::parse(st.Text(1), nullptr, false);
    // A pass that received nothing changed nothing here.
    if (parsed.is_object() && (parsed.value("dryRun", false) || ReceivedNothing(parsed))) continue;
    return st.Int(0);
  }
  return std::nullopt;
}

bool CallJournal::ReceivedNothing(const Json& entry) {
  if (!IsPass(entry)) return false;
  const auto folders = entry.find("outlook");
  if (folders == entry.end() || !folders->is_object()) return true;
  for (const auto& [folder, result] : folders->items()) {
    if (!result.is_object() || !result.contains("received") || !result["received"].is_object())
      continue;
    for (const auto& [what, count] : result["received"].items())
      if (!count.is_number_integer() || count.get<long long>() != 0) return false;
  }
  return true;
}

bool CallJournal::IsPass(const Json& entry) {
  if (!entry.is_object() || !entry.contains("member") || !entry["member"].is_string()) return false;
  return entry["member"].get<std::string>().starts_with("send-receive");
}

void CallJournal::SetUndoneBy(std::int64_t number, std::optional<std::int64_t> by) {
  auto st = connection_.Prepare("UPDATE main._vk_undo SET undone_by = ?2 WHERE entry = ?1");
  st.Bind(1, number);
  if (by) {
    st.Bind(2, *by);
  } else {
    st.BindNull(2);
  }
  st.Run();
}

}  // namespace velklk
