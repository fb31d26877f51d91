#include "outlook/model.h"

#include <fmt/format.h>
#include <sqlite3.h>

#include <algorithm>
#include <limits>
#include <optional>
#include <set>

#include "outlook/fold.h"
#include "outlook/item_changes.h"
#include "platform/automation_error.h"
#include "platform/text_case.h"
#include "sqlite/connection.h"
#include "sqlite/transaction.h"

namespace velklk::outlook {

std::shared_ptr<OlItem> MakeItem(const std::shared_ptr<Model>& model,
                                 const std::shared_ptr<Record>& record);

namespace {

constexpr int kUserBase = 1 << 20;

template <typename Fn>
auto Guarded(Fn&& fn) -> decltype(fn()) {
  try {
    return fn();
  } catch (const sqlite::SqliteError& e) {
    throw AutomationError(err::kFail, "Outlook",
                          std::string("The Outlook profile could not be written: ") + e.what());
  }
}

std::string DeriveFileAs(const ItemData& data) {
  auto text = [&](int id) -> std::string {
    const PropValue* v = data.Find(id);
    return v ? std::get<std::string>(*v) : std::string();
  };
  const std::string last = text(prop::kLastName), first = text(prop::kFirstName);
  if (!last.empty() && !first.empty()) return last + ", " + first;
  if (!last.empty()) return last;
  if (!first.empty()) return first;
  return text(prop::kCompanyName);
}

std::string DeriveFullName(const ItemData& data) {
  std::string out;
  for (int id : {prop::kFirstName, prop::kMiddleName, prop::kLastName, prop::kSuffix}) {
    const PropValue* v = data.Find(id);
    if (!v || std::get<std::string>(*v).empty()) continue;
    if (!out.empty()) out.push_back(' ');
    out += std::get<std::string>(*v);
  }
  return out;
}

// Leaves a kept statement clean for its next use, also after a failure.
struct StatementReset {
  sqlite::Statement& st;
  ~StatementReset() { st.Reset(); }
};

// The key of a text property's ordered index: a standard property by its id,
// a user property by the name the folder defines it with.
std::string TextIndexKey(const Folder& folder, int id) {
  if (id >= kUserBase) return "u:" + folder.defs[static_cast<std::size_t>(id - kUserBase)].name;
  return "s:" + std::to_string(id);
}

// The folded text an item holds under an index key, as a find compares it;
// nothing when the item holds no text there.
std::optional<std::string> IndexedText(const Record& record, std::string_view key) {
  if (key.starts_with("u:")) {
    const UserProp* u = record.saved.FindUser(key.substr(2));
    if (!u || TypeOf(u->value) != ValueType::Text) return std::nullopt;
    return FullCaseFold(std::get<std::string>(u->value));
  }
  const int id = std::stoi(std::string(key.substr(2)));
  if (!KindHas(record.kind, id)) return std::nullopt;
  const PropValue value = Model::Value(record, record.saved, id);
  if (TypeOf(value) != ValueType::Text) return std::nullopt;
  return FullCaseFold(std::get<std::string>(value));
}

}  // namespace

ItemData& Record::Edit() {
  if (!draft) draft = std::make_unique<ItemData>(saved);
  return *draft;
}

std::string Folder::Path() const {
  std::vector<const Folder*> chain;
  for (const Folder* f = this; f; f = f->parent) chain.push_back(f);
  std::string path;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    path += (it == chain.rbegin()) ? "\\\\" : "\\";
    path += (*it)->name;
  }
  return path;
}

const UserDef* Folder::FindDef(std::string_view name) const {
  for (const auto& d : defs)
    if (d.name == name) return &d;
  for (const auto& d : defs)
    if (SameIdentifier(d.name, name)) return &d;
  return nullptr;
}

// ---------------------------------------------------------------- Model

Model::Model(std::shared_ptr<sqlite::Connection> db, std::string schema, const Clock* clock,
             std::string language, std::string tablePrefix)
    : db_(std::move(db)),
      schema_(std::move(schema)),
      tablePrefix_(std::move(tablePrefix)),
      clock_(clock ? clock : &systemClock_),
      language_(std::move(language)),
      insertItemSql_("INSERT INTO " + Table("items") +
                     "(folder, class, entry_id, created, modified, data, id) "
                     "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)"),
      updateItemSql_("UPDATE " + Table("items") +
                     " SET folder = ?1, class = ?2, entry_id = ?3, created = ?4, modified = ?5, "
                     "data = ?6 WHERE id = ?7") {}

Model::~Model() = default;

std::string Model::Table(const char* name) const {
  return sqlite::QuoteIdentifier(schema_) + "." + sqlite::QuoteIdentifier(tablePrefix_ + name);
}

sqlite::Statement& Model::Cached(const std::string& sql) {
  auto it = statements_.find(sql);
  if (it != statements_.end()) return *it->second;
  auto st = std::make_unique<sqlite::Statement>(db_->Prepare(sql));
  return *statements_.emplace(sql, std::move(st)).first->second;
}

void Model::CreateTables() {
  Guarded([&] {
    sqlite::Transaction change(*db_);
    db_->Exec("CREATE TABLE IF NOT EXISTS " + Table("settings") +
              "(key TEXT PRIMARY KEY, value TEXT NOT NULL)");
    db_->Exec("CREATE TABLE IF NOT EXISTS " + Table("refused_values") +
              "(property TEXT NOT NULL, value TEXT NOT NULL)");
    db_->Exec(
        "CREATE TABLE IF NOT EXISTS " + Table("folders") +
        "(id INTEGER PRIMARY KEY, parent INTEGER, name TEXT NOT NULL, type INTEGER NOT NULL)");
    db_->Exec("CREATE TABLE IF NOT EXISTS " + Table("folder_properties") +
              "(id INTEGER PRIMARY KEY, folder INTEGER NOT NULL, name TEXT NOT NULL, "
              "type INTEGER NOT NULL)");
    db_->Exec("CREATE TABLE IF NOT EXISTS " + Table("items") +
              "(id INTEGER PRIMARY KEY, folder INTEGER NOT NULL, class INTEGER NOT NULL, "
              "entry_id TEXT NOT NULL, created REAL NOT NULL, modified REAL NOT NULL, "
              "data BLOB NOT NULL)");
    // The top-level folders that are other users' mailboxes rather than
    // stores of the profile (a profile without the table has none).
    db_->Exec("CREATE TABLE IF NOT EXISTS " + Table("mailboxes") + "(folder INTEGER PRIMARY KEY)");
    // The next entry ID's number, so that no entry ID comes back after its
    // item was deleted (links, sync logs and servers keep them). A profile
    // made before the table starts above the entry IDs it holds.
    db_->Exec("CREATE TABLE IF NOT EXISTS " + Table("entry_ids") + "(next INTEGER NOT NULL)");
    db_->Exec("INSERT INTO " + Table("entry_ids") + "(next) SELECT 1 WHERE NOT EXISTS (SELECT 1 FROM " +
              Table("entry_ids") + ")");
    change.Commit();
  });
}

namespace {

constexpr std::string_view kEntryIdPrefix = "00000000A71C6B19E4D3425F";

// The number of an entry ID this store made; 0 for another one.
std::int64_t EntryNumber(std::string_view entryId) {
  if (entryId.size() != kEntryIdPrefix.size() + 16 || !entryId.starts_with(kEntryIdPrefix)) return 0;
  std::int64_t n = 0;
  for (char c : entryId.substr(kEntryIdPrefix.size())) {
    const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (digit < 0 || n > (std::numeric_limits<std::int64_t>::max() >> 4) - 1) return 0;
    n = n * 16 + digit;
  }
  return n;
}

}  // namespace

std::string Model::NewEntryId() {
  for (std::int64_t n = std::max(nextEntryNumber_, nextRowId_);; ++n) {
    std::string id = fmt::format("{}{:016X}", kEntryIdPrefix, n);
    if (!byEntryId_.count(id)) return id;
  }
}

void Model::UseEntryId(const std::string& entryId, bool persist) {
  const std::int64_t n = EntryNumber(entryId);
  if (n <= 0) return;
  if (persist) {
    auto& st = Cached("UPDATE " + Table("entry_ids") + " SET next = max(next, ?1)");
    StatementReset reset{st};
    st.Bind(1, n + 1).Run();
  } else {
    nextEntryNumber_ = std::max(nextEntryNumber_, n + 1);
  }
}

void Model::WriteItem(const Record& record, const ItemData& data, bool added) {
  // A saved item is updated in place: replacing its row would delete and
  // insert it again.
  auto& st = Cached(added ? insertItemSql_ : updateItemSql_);
  StatementReset reset{st};
  const std::string blob = EncodeItem(data);
  st.Bind(1, record.folder->id)
      .Bind(2, ClassOf(record.kind))
      .Bind(3, record.entryId)
      .Bind(4, record.created.Value())
      .Bind(5, record.modified.Value())
      .BindBlob(6, blob.data(), static_cast<int>(blob.size()))
      .Bind(7, record.rowId)
      .Run();
  if (!added && db_->Changes() != 1)
    throw sqlite::SqliteError(SQLITE_NOTFOUND, "the item's row is missing");
  if (added) UseEntryId(record.entryId, true);
}

void Model::WriteSwitches(const Switches& s) {
  db_->Exec("DELETE FROM " + Table("settings"));
  db_->Exec("DELETE FROM " + Table("refused_values"));
  auto put = db_->Prepare("INSERT INTO " + Table("settings") + "(key, value) VALUES(?1, ?2)");
  auto one = [&](const char* key, const std::string& value) {
    put.Bind(1, key).Bind(2, value).Run();
    put.Reset();
  };
  one("running", s.running ? "1" : "0");
  one("version", s.version);
  one("offline", s.offline ? "1" : "0");
  auto refuse =
      db_->Prepare("INSERT INTO " + Table("refused_values") + "(property, value) VALUES(?1, ?2)");
  for (const auto& [property, values] : s.refused)
    for (const auto& v : values) {
      refuse.Bind(1, property).Bind(2, v).Run();
      refuse.Reset();
    }
}

void Model::WriteFolderTree(const Folder& folder) {
  auto st = db_->Prepare("INSERT INTO " + Table("folders") +
                         "(id, parent, name, type) VALUES(?1, ?2, ?3, ?4)");
  st.Bind(1, folder.id);
  if (folder.parent) {
    st.Bind(2, folder.parent->id);
  } else {
    st.BindNull(2);
  }
  st.Bind(3, folder.name).Bind(4, static_cast<int>(folder.type)).Run();
  auto def = db_->Prepare("INSERT INTO " + Table("folder_properties") +
                          "(folder, name, type) VALUES(?1, ?2, ?3)");
  for (const auto& d : folder.defs) {
    def.Bind(1, folder.id).Bind(2, d.name).Bind(3, static_cast<int>(d.type)).Run();
    def.Reset();
  }
  for (const auto& child : folder.children) WriteFolderTree(*child);
}

void Model::WriteMailbox(const Folder& mailbox) {
  auto st = db_->Prepare("INSERT INTO " + Table("mailboxes") + "(folder) VALUES(?1)");
  st.Bind(1, mailbox.id).Run();
}

void Model::Load() {
  State state;
  Guarded([&] {
    std::set<std::int64_t> mailboxIds;
    auto mailboxes = db_->Prepare("SELECT folder FROM " + Table("mailboxes"));
    while (mailboxes.Step()) mailboxIds.insert(mailboxes.Int(0));
    auto settings = db_->Prepare("SELECT key, value FROM " + Table("settings"));
    while (settings.Step()) {
      const std::string key = settings.Text(0), value = settings.Text(1);
      if (key == "running") state.switches.running = value != "0";
      if (key == "version") state.switches.version = value;
      if (key == "offline") state.switches.offline = value == "1";
    }
    auto refused =
        db_->Prepare("SELECT property, value FROM " + Table("refused_values") + " ORDER BY rowid");
    while (refused.Step()) state.switches.refused[refused.Text(0)].push_back(refused.Text(1));

    std::unordered_map<std::int64_t, Folder*> folders;
    auto fs =
        db_->Prepare("SELECT id, parent, name, type FROM " + Table("folders") + " ORDER BY id");
    while (fs.Step()) {
      auto folder = std::make_unique<Folder>();
      folder->id = fs.Int(0);
      folder->name = fs.Text(2);
      const auto type = fs.Int(3);
      if (type < 0 || type > 7)
        RaiseDamagedProfile("folder " + folder->name + " has an unknown type");
      folder->type = static_cast<OlItemType>(type);
      Folder* raw = folder.get();
      if (fs.IsNull(1)) {
        (mailboxIds.count(raw->id) ? state.mailboxes : state.stores).push_back(std::move(folder));
      } else {
        auto parent = folders.find(fs.Int(1));
        if (parent == folders.end()) RaiseDamagedProfile("folder " + raw->name + " has no parent");
        raw->parent = parent->second;
        parent->second->children.push_back(std::move(folder));
      }
      folders[raw->id] = raw;
    }
    for (std::int64_t id : mailboxIds) {
      auto f = folders.find(id);
      if (f == folders.end() || f->second->parent)
        RaiseDamagedProfile(fmt::format("mailbox {} is not a top-level folder", id));
    }
    auto defs = db_->Prepare("SELECT folder, name, type FROM " + Table("folder_properties") +
                             " ORDER BY id");
    while (defs.Step()) {
      auto f = folders.find(defs.Int(0));
      if (f == folders.end()) RaiseDamagedProfile("a property definition belongs to no folder");
      const auto type = defs.Int(2);
      if (type != static_cast<int>(OlUserPropertyType::Text) &&
          type != static_cast<int>(OlUserPropertyType::YesNo))
        RaiseDamagedProfile("a property definition has an unknown type");
      f->second->defs.push_back(UserDef{defs.Text(1), static_cast<OlUserPropertyType>(type)});
    }
    if (HasTrackingTables()) {
      auto tracked = db_->Prepare("SELECT folder, revision FROM " + Table("tracked_folders"));
      while (tracked.Step()) {
        auto f = folders.find(tracked.Int(0));
        if (f == folders.end()) continue;  // a folder of a replaced state
        f->second->tracked = true;
        f->second->revision = tracked.Int(1);
      }
    }
    if (HasTable("read_only_folders")) {
      auto readOnly = db_->Prepare("SELECT folder FROM " + Table("read_only_folders"));
      while (readOnly.Step())
        if (auto f = folders.find(readOnly.Int(0)); f != folders.end()) f->second->readOnly = true;
    }
    auto items = db_->Prepare("SELECT id, folder, class, entry_id, created, modified, data FROM " +
                              Table("items") + " ORDER BY id");
    while (items.Step()) {
      auto record = std::make_shared<Record>();
      record->rowId = items.Int(0);
      auto f = folders.find(items.Int(1));
      if (f == folders.end())
        RaiseDamagedProfile(fmt::format("item {} belongs to no folder", record->rowId));
      record->folder = f->second;
      auto kind = KindOfClass(static_cast<int>(items.Int(2)));
      if (!kind) RaiseDamagedProfile(fmt::format("item {} has an unknown class", record->rowId));
      record->kind = *kind;
      record->entryId = items.Text(3);
      if (!IsCalendarDate(items.Double(4)) || !IsCalendarDate(items.Double(5)))
        RaiseDamagedProfile(
            fmt::format("item {} has a time stamp outside the calendar", record->rowId));
      record->created = AutoDate(items.Double(4));
      record->modified = AutoDate(items.Double(5));
      const std::string blob = items.Text(6);
      record->saved = DecodeItem(blob);
      state.records.push_back(std::move(record));
    }
    state.nextEntryNumber = ReadNextEntryNumber();
  });
  Install(std::move(state), true);
}

std::int64_t Model::ReadNextEntryNumber() {
  std::int64_t next = 1;
  auto counter = db_->Prepare("SELECT max(next) FROM " + Table("entry_ids"));
  if (counter.Step() && !counter.IsNull(0)) next = std::max(next, counter.Int(0));
  // Deleted items a server has not been told of yet keep their entry IDs.
  if (HasTrackingTables()) {
    auto gone = db_->Prepare("SELECT entry_id FROM " + Table("revisions") + " WHERE deleted <> 0");
    while (gone.Step()) next = std::max(next, EntryNumber(gone.Text(0)) + 1);
  }
  return next;
}

void Model::Install(State state, bool keepIdentity) {
  // On a reload, folders and items that are still there keep their objects,
  // so that handles and listeners held by callers stay attached.
  std::unordered_map<std::int64_t, std::unique_ptr<Folder>> oldFolders;
  std::function<void(std::unique_ptr<Folder>&)> detach = [&](std::unique_ptr<Folder>& f) {
    for (auto& c : f->children) detach(c);
    f->children.clear();
    f->items.clear();
    f->velSearchIndex.clear();
    f->fileAsIndex.clear();
    f->startIndex.Clear();
    f->textIndexes.clear();
    const std::int64_t id = f->id;
    oldFolders[id] = std::move(f);
  };
  for (auto& store : stores_) detach(store);
  for (auto& mailbox : mailboxes_) detach(mailbox);
  stores_.clear();
  mailboxes_.clear();

  std::unordered_map<Folder*, Folder*> replacement;
  std::function<std::unique_ptr<Folder>(std::unique_ptr<Folder>, Folder*)> adopt =
      [&](std::unique_ptr<Folder> fresh, Folder* parent) {
        std::unique_ptr<Folder> target = std::move(fresh);
        if (auto old = oldFolders.find(target->id); keepIdentity && old != oldFolders.end()) {
          std::unique_ptr<Folder> kept = std::move(old->second);
          oldFolders.erase(old);
          kept->name = std::move(target->name);
          kept->type = target->type;
          kept->defs = std::move(target->defs);
          kept->tracked = target->tracked;
          kept->revision = target->revision;
          kept->readOnly = target->readOnly;
          kept->children = std::move(target->children);
          replacement[target.get()] = kept.get();
          target = std::move(kept);
        }
        target->parent = parent;
        for (auto& child : target->children) child = adopt(std::move(child), target.get());
        return target;
      };
  for (auto& store : state.stores) stores_.push_back(adopt(std::move(store), nullptr));
  for (auto& mailbox : state.mailboxes) mailboxes_.push_back(adopt(std::move(mailbox), nullptr));
  for (auto& [id, folder] : oldFolders) {
    folder->retired = true;
    retired_.push_back(std::move(folder));
  }

  auto oldRecords = std::move(byEntryId_);
  byEntryId_.clear();
  switches_ = std::move(state.switches);
  nextRowId_ = 1;
  nextFolderId_ = 1;
  std::function<void(Folder&)> walk = [&](Folder& f) {
    nextFolderId_ = std::max(nextFolderId_, f.id + 1);
    for (auto& c : f.children) walk(*c);
  };
  for (auto& s : stores_) walk(*s);
  for (auto& m : mailboxes_) walk(*m);
  for (auto record : state.records) {
    if (auto r = replacement.find(record->folder); r != replacement.end())
      record->folder = r->second;
    if (auto old = oldRecords.find(record->entryId);
        keepIdentity && old != oldRecords.end() && old->second->rowId == record->rowId) {
      Record& kept = *old->second;
      kept.kind = record->kind;
      kept.folder = record->folder;
      kept.created = record->created;
      kept.modified = record->modified;
      kept.saved = std::move(record->saved);
      kept.draft.reset();
      kept.deleted = false;
      record = old->second;
      oldRecords.erase(old);
    }
    nextRowId_ = std::max(nextRowId_, record->rowId + 1);
    record->folder->items.push_back(record);
    byEntryId_[record->entryId] = record;
    Index(*record, true);
  }
  nextEntryNumber_ = state.nextEntryNumber;
  for (const auto& [id, record] : byEntryId_) UseEntryId(id, false);
  for (auto& [id, record] : oldRecords) {
    record->deleted = true;
    record->draft.reset();
  }
  if (!keepIdentity) activeExplorer.reset();
}

void Model::Replace(State state) {
  // Ids in the order of the state: folders depth-first, items as listed.
  std::int64_t folderId = 1;
  std::function<void(Folder&, Folder*)> number = [&](Folder& f, Folder* parent) {
    f.id = folderId++;
    f.parent = parent;
    for (auto& c : f.children) number(*c, &f);
  };
  for (auto& s : state.stores) number(*s, nullptr);
  for (auto& m : state.mailboxes) number(*m, nullptr);
  std::set<std::string> used;
  for (const auto& r : state.records)
    if (!r->entryId.empty() && !used.insert(r->entryId).second)
      throw AutomationError(err::kInvalidArg, "Outlook",
                            "Two items have the same entry ID " + r->entryId + ".");
  // Items without an entry ID get new ones, above every one handed out
  // before in the profile.
  const std::int64_t base = ReadNextEntryNumber() - 1;
  std::int64_t rowId = 1;
  for (auto& r : state.records) {
    r->rowId = rowId++;
    if (r->entryId.empty()) {
      do r->entryId = fmt::format("{}{:016X}", kEntryIdPrefix, base + r->rowId + salt_++);
      while (!used.insert(r->entryId).second);
    }
  }
  Guarded([&] {
    sqlite::Transaction change(*db_);
    for (const char* t : {"items", "folder_properties", "mailboxes", "folders"})
      db_->Exec(std::string("DELETE FROM ") + Table(t));
    // A new state starts without server revisions: its folders are new.
    if (HasTrackingTables())
      for (const char* t : {"tracked_folders", "revisions"})
        db_->Exec(std::string("DELETE FROM ") + Table(t));
    if (HasTable("read_only_folders")) db_->Exec("DELETE FROM " + Table("read_only_folders"));
    WriteSwitches(state.switches);
    for (const auto& s : state.stores) WriteFolderTree(*s);
    for (const auto& m : state.mailboxes) {
      WriteFolderTree(*m);
      WriteMailbox(*m);
    }
    for (const auto& r : state.records) WriteItem(*r, r->saved, true);
    state.nextEntryNumber = ReadNextEntryNumber();
    change.Commit();
  });
  Install(std::move(state), false);
}

// ---------------------------------------------------------------- server side

bool Model::HasTrackingTables() { return HasTable("revisions"); }

bool Model::HasTable(const std::string& name) {
  auto& st = Cached("SELECT 1 FROM " + sqlite::QuoteIdentifier(schema_) +
                    ".sqlite_master WHERE type = 'table' AND name = ?1");
  StatementReset reset{st};
  return st.Bind(1, tablePrefix_ + name).Step();
}

void Model::CheckWritable(const Folder& folder) {
  if (folder.readOnly)
    throw AutomationError(err::kOlNoAccess, "Outlook",
                          "You don't have appropriate permission to perform this operation.");
}

void Model::SetReadOnly(Folder* folder, bool readOnly) {
  CheckFolder(*folder);
  if (folder->readOnly == readOnly) return;
  Guarded([&] {
    db_->Exec("CREATE TABLE IF NOT EXISTS " + Table("read_only_folders") +
              "(folder INTEGER PRIMARY KEY)");
    auto st = db_->Prepare(readOnly ? "INSERT OR REPLACE INTO " + Table("read_only_folders") +
                                          "(folder) VALUES(?1)"
                                    : "DELETE FROM " + Table("read_only_folders") +
                                          " WHERE folder = ?1");
    st.Bind(1, folder->id).Run();
  });
  folder->readOnly = readOnly;
}

std::int64_t Model::WriteRevision(const Folder& folder, const std::string& entryId, bool deleted) {
  const std::int64_t revision = folder.revision + 1;
  auto& put = Cached("INSERT OR REPLACE INTO " + Table("revisions") +
                     "(entry_id, folder, revision, deleted) VALUES(?1, ?2, ?3, ?4)");
  {
    StatementReset reset{put};
    put.Bind(1, entryId).Bind(2, folder.id).Bind(3, revision).Bind(4, deleted ? 1 : 0).Run();
  }
  auto& count = Cached("UPDATE " + Table("tracked_folders") + " SET revision = ?1 WHERE folder = ?2");
  StatementReset reset{count};
  count.Bind(1, revision).Bind(2, folder.id).Run();
  return revision;
}

void Model::Track(Folder* folder) {
  CheckFolder(*folder);
  if (folder->tracked) return;
  std::int64_t revision = folder->revision;
  Guarded([&] {
    sqlite::Transaction change(*db_);
    db_->Exec("CREATE TABLE IF NOT EXISTS " + Table("tracked_folders") +
              "(folder INTEGER PRIMARY KEY, revision INTEGER NOT NULL)");
    db_->Exec("CREATE TABLE IF NOT EXISTS " + Table("revisions") +
              "(entry_id TEXT PRIMARY KEY, folder INTEGER NOT NULL, revision INTEGER NOT NULL, "
              "deleted INTEGER NOT NULL)");
    db_->Exec("CREATE INDEX IF NOT EXISTS " + sqlite::QuoteIdentifier(schema_) + "." +
              sqlite::QuoteIdentifier(tablePrefix_ + "revisions_by_folder") + " ON " +
              sqlite::QuoteIdentifier(tablePrefix_ + "revisions") + "(folder, revision)");
    auto row = db_->Prepare("INSERT OR REPLACE INTO " + Table("tracked_folders") +
                            "(folder, revision) VALUES(?1, ?2)");
    row.Bind(1, folder->id).Bind(2, revision).Run();
    // Every item there now counts as changed: the server has none of them yet.
    auto put = db_->Prepare("INSERT OR REPLACE INTO " + Table("revisions") +
                            "(entry_id, folder, revision, deleted) VALUES(?1, ?2, ?3, 0)");
    for (const auto& record : folder->items) {
      put.Bind(1, record->entryId).Bind(2, folder->id).Bind(3, ++revision).Run();
      put.Reset();
    }
    auto count = db_->Prepare("UPDATE " + Table("tracked_folders") +
                              " SET revision = ?1 WHERE folder = ?2");
    count.Bind(1, revision).Bind(2, folder->id).Run();
    change.Commit();
  });
  folder->tracked = true;
  folder->revision = revision;
}

std::vector<Model::Revision> Model::RevisionsAbove(const Folder* folder, std::int64_t mark) {
  std::vector<Revision> out;
  if (!folder->tracked) return out;
  Guarded([&] {
    auto& st = Cached("SELECT entry_id, revision, deleted FROM " + Table("revisions") +
                      " WHERE folder = ?1 AND revision > ?2 ORDER BY revision");
    StatementReset reset{st};
    st.Bind(1, folder->id).Bind(2, mark);
    while (st.Step()) out.push_back(Revision{st.Text(0), st.Int(1), st.Int(2) != 0});
  });
  return out;
}

std::optional<Model::Revision> Model::RevisionOf(const std::string& entryId) {
  std::optional<Revision> out;
  if (!HasTrackingTables()) return out;
  Guarded([&] {
    auto& st = Cached("SELECT revision, deleted FROM " + Table("revisions") + " WHERE entry_id = ?1");
    StatementReset reset{st};
    if (st.Bind(1, entryId).Step()) out = Revision{entryId, st.Int(0), st.Int(1) != 0};
  });
  return out;
}

std::shared_ptr<Record> Model::ApplyReceived(
    Folder* folder, const std::string& entryId, ItemData data, AutoDate modified,
    const std::function<void(const std::string&, std::int64_t)>& alsoWrite) {
  CheckFolder(*folder);
  if (!folder->tracked)
    throw AutomationError(err::kFail, "Outlook", "The folder " + folder->name + " is not bound.");
  std::shared_ptr<Record> record = entryId.empty() ? nullptr : RecordByEntryId(entryId);
  if (record && record->folder != folder)
    throw AutomationError(err::kFail, "Outlook",
                          "The item " + entryId + " is in another folder than " + folder->name + ".");
  const bool added = !record;
  if (added) {
    const auto kind = KindOfItemType(folder->type);
    if (!kind) throw AutomationError(err::kFail, "Outlook", "The folder " + folder->name + " holds no items.");
    record = NewRecord(folder, *kind);
  }
  Record staged;
  staged.folder = folder;
  staged.kind = record->kind;
  staged.rowId = added ? nextRowId_ : record->rowId;
  staged.entryId = !added ? record->entryId : entryId.empty() ? NewEntryId() : entryId;
  staged.modified = modified;
  staged.created = added ? modified : record->created;
  // Received user properties the folder does not define yet are defined,
  // as the add-in's own UserProperties.Add does.
  std::vector<UserDef> missing;
  for (const auto& u : data.user)
    if (!folder->FindDef(u.name)) missing.push_back(UserDef{u.name, u.type});
  std::int64_t revision = 0;
  Guarded([&] {
    sqlite::Transaction change(*db_);
    if (!missing.empty()) {
      auto def = db_->Prepare("INSERT INTO " + Table("folder_properties") +
                              "(folder, name, type) VALUES(?1, ?2, ?3)");
      for (const auto& d : missing) {
        def.Bind(1, folder->id).Bind(2, d.name).Bind(3, static_cast<int>(d.type)).Run();
        def.Reset();
      }
    }
    WriteItem(staged, data, added);
    revision = WriteRevision(*folder, staged.entryId, false);
    alsoWrite(staged.entryId, revision);
    change.Commit();
  });
  folder->revision = revision;
  for (const auto& d : missing) {
    folder->defs.push_back(d);
    if (observer) NoteDefinition(*observer, *folder, d.name, d.type, true);
  }
  if (observer) NoteSaved(*observer, *record, staged, data, added);
  std::optional<IndexKeys> before;
  if (!added) before = KeysOf(*record);
  record->rowId = staged.rowId;
  record->entryId = staged.entryId;
  record->modified = staged.modified;
  record->created = staged.created;
  record->saved = std::move(data);
  record->draft.reset();
  if (added) {
    ++nextRowId_;
    UseEntryId(record->entryId, false);
    folder->items.push_back(record);
    byEntryId_[record->entryId] = record;
  }
  Apply(*record, KeysOf(*record), true, before ? &*before : nullptr);
  FireSaved(record, added);
  return record;
}

void Model::DeleteReceived(const std::shared_ptr<Record>& record,
                           const std::function<void()>& alsoWrite) {
  if (record->deleted || record->IsNew())
    throw AutomationError(err::kOlNotFound, "Outlook", "The item has been moved or deleted.");
  Guarded([&] {
    sqlite::Transaction change(*db_);
    auto& st = Cached("DELETE FROM " + Table("items") + " WHERE id = ?1");
    {
      StatementReset reset{st};
      st.Bind(1, record->rowId).Run();
    }
    if (HasTrackingTables()) {
      auto& forget = Cached("DELETE FROM " + Table("revisions") + " WHERE entry_id = ?1");
      StatementReset reset{forget};
      forget.Bind(1, record->entryId).Run();
    }
    alsoWrite();
    change.Commit();
  });
  if (observer) NoteDeleted(*observer, *record);
  Index(*record, false);
  auto& items = record->folder->items;
  auto it = std::lower_bound(items.begin(), items.end(), record->rowId,
                             [](const auto& r, std::int64_t id) { return r->rowId < id; });
  if (it != items.end() && it->get() == record.get()) items.erase(it);
  byEntryId_.erase(record->entryId);
  record->deleted = true;
  record->draft.reset();
}

void Model::ForgetDeletion(const std::string& entryId) {
  if (!HasTrackingTables()) return;
  Guarded([&] {
    auto& st = Cached("DELETE FROM " + Table("revisions") + " WHERE entry_id = ?1 AND deleted = 1");
    StatementReset reset{st};
    st.Bind(1, entryId).Run();
  });
}

void Model::CountRestored(std::int64_t folderId, const std::string& entryId, bool deleted) {
  Folder* found = nullptr;
  std::function<void(Folder&)> find = [&](Folder& f) {
    if (f.id == folderId) found = &f;
    for (auto& c : f.children)
      if (!found) find(*c);
  };
  for (const auto* list : {&stores_, &mailboxes_})
    for (const auto& top : *list)
      if (!found) find(*top);
  if (!found || !found->tracked) return;
  Guarded([&] { found->revision = WriteRevision(*found, entryId, deleted); });
}

void Model::SetSwitches(const Switches& switches) {
  Guarded([&] {
    sqlite::Transaction change(*db_);
    WriteSwitches(switches);
    change.Commit();
  });
  switches_ = switches;
}

Folder* Model::FindStore(std::string_view name) const {
  for (const auto* list : {&stores_, &mailboxes_})
    for (const auto& s : *list)
      if (s->name == name) return s.get();
  return nullptr;
}

Folder* Model::FolderByPath(const std::string& path) const {
  std::vector<std::string> names;
  std::string current;
  for (char c : path) {
    if (c == '\\') {
      if (!current.empty()) names.push_back(std::move(current));
      current.clear();
    } else {
      current.push_back(c);
    }
  }
  if (!current.empty()) names.push_back(std::move(current));
  Folder* folder = names.empty() ? nullptr : FindStore(names.front());
  for (std::size_t i = 1; folder && i < names.size(); ++i) {
    Folder* next = nullptr;
    for (const auto& child : folder->children)
      if (child->name == names[i]) next = child.get();
    folder = next;
  }
  if (!folder)
    throw AutomationError(err::kOlNotFound, "Outlook",
                          "The folder \"" + path + "\" could not be found.");
  return folder;
}

Folder* Model::ResolveMailbox(std::string_view address) const {
  // The last of the stores that match, else the last of the mailboxes.
  for (const auto* list : {&stores_, &mailboxes_}) {
    Folder* found = nullptr;
    for (const auto& s : *list)
      if (EqualsNoCase(s->name, address)) found = s.get();
    if (found) return found;
  }
  return nullptr;
}

std::shared_ptr<Record> Model::NewRecord(Folder* folder, ItemKind kind) {
  auto record = std::make_shared<Record>();
  record->folder = folder;
  record->kind = kind;
  record->draft = std::make_unique<ItemData>();
  return record;
}

std::shared_ptr<Record> Model::RecordByEntryId(const std::string& entryId) const {
  auto it = byEntryId_.find(entryId);
  return it == byEntryId_.end() ? nullptr : it->second;
}

Model::IndexKeys Model::KeysOf(const Record& record) const {
  IndexKeys keys;
  if (const UserProp* u = record.saved.FindUser("velSearch");
      u && u->type == OlUserPropertyType::Text)
    keys.velSearch = FullCaseFold(std::get<std::string>(u->value));
  if (const PropValue* start = record.saved.Find(prop::kStart);
      start && record.kind == ItemKind::Appointment)
    keys.start = std::get<AutoDate>(*start).Seconds();
  if (record.kind == ItemKind::Contact)
    keys.fileAs = FullCaseFold(std::get<std::string>(Value(record, record.saved, prop::kFileAs)));
  for (const auto& [key, index] : record.folder->textIndexes)
    keys.text.push_back(IndexedText(record, key));
  return keys;
}

void Model::Apply(Record& record, const IndexKeys& keys, bool add, const IndexKeys* before) {
  Folder& f = *record.folder;
  auto byRow = [](const Record* r, std::int64_t id) { return r->rowId < id; };
  auto insert = [&](auto& index, const std::string& key) {
    auto& list = index[key];
    if (list.empty() || list.back()->rowId < record.rowId) {
      list.push_back(&record);
    } else {
      list.insert(std::lower_bound(list.begin(), list.end(), record.rowId, byRow), &record);
    }
  };
  auto remove = [&](auto& index, const std::string& key) {
    auto it = index.find(key);
    if (it == index.end()) return;
    auto& list = it->second;
    auto pos = std::lower_bound(list.begin(), list.end(), record.rowId, byRow);
    if (pos != list.end() && *pos == &record) list.erase(pos);
    if (list.empty()) index.erase(it);
  };
  // One key of one index: with `before`, the old key leaves and the new one
  // comes only when they differ.
  auto update = [&](const auto& key, const auto* old, auto&& put, auto&& take) {
    if (before) {
      if (*old == key) return;
      if (*old) take(**old);
      if (key) put(*key);
    } else if (key) {
      if (add) {
        put(*key);
      } else {
        take(*key);
      }
    }
  };
  update(
      keys.velSearch, before ? &before->velSearch : nullptr,
      [&](const std::string& k) { insert(f.velSearchIndex, k); },
      [&](const std::string& k) { remove(f.velSearchIndex, k); });
  update(
      keys.start, before ? &before->start : nullptr,
      [&](long long s) { f.startIndex.Add(s, &record); },
      [&](long long s) { f.startIndex.Remove(s, &record); });
  update(
      keys.fileAs, before ? &before->fileAs : nullptr,
      [&](const std::string& k) { insert(f.fileAsIndex, k); },
      [&](const std::string& k) { remove(f.fileAsIndex, k); });
  std::size_t i = 0;
  for (auto& [name, index] : f.textIndexes) {
    auto& texts = index;
    update(
        keys.text[i], before ? &before->text[i] : nullptr,
        [&](const std::string& k) { texts.emplace(k, &record); },
        [&](const std::string& k) {
          auto [first, last] = texts.equal_range(k);
          for (auto it = first; it != last; ++it)
            if (it->second == &record) {
              texts.erase(it);
              break;
            }
        });
    ++i;
  }
}

const std::multimap<std::string, Record*>& Model::TextIndex(const Folder* folder, int id) const {
  const std::string key = TextIndexKey(*folder, id);
  auto [it, made] = folder->textIndexes.try_emplace(key);
  if (made)
    for (const auto& record : folder->items)
      if (auto text = IndexedText(*record, key)) it->second.emplace(std::move(*text), record.get());
  return it->second;
}

PropValue Model::Value(const Record& record, const ItemData& data, int id) {
  if (id == prop::kClass) return std::int64_t{ClassOf(record.kind)};
  if (id == prop::kEntryId) return record.entryId;
  if (id == prop::kMessageClass) return MessageClassOf(record.kind);
  if (id == prop::kLastModificationTime) return record.modified;
  if (id == prop::kCreationTime) return record.created;
  const PropValue* stored = data.Find(id);
  if (id == prop::kFileAs) {
    if (stored && !std::get<std::string>(*stored).empty()) return *stored;
    return DeriveFileAs(data);
  }
  if (id == prop::kFullName) {
    if (stored && !std::get<std::string>(*stored).empty()) return *stored;
    return DeriveFullName(data);
  }
  if (id == prop::kDuration) {
    const PropValue* s = data.Find(prop::kStart);
    const PropValue* e = data.Find(prop::kEnd);
    if (!s || !e) return std::int64_t{0};
    return static_cast<std::int64_t>(SecondDiff(std::get<AutoDate>(*s), std::get<AutoDate>(*e)) /
                                     60);
  }
  return stored ? *stored : Property(id).defaultValue;
}

void Model::CheckRefused(const std::string& property, const PropValue& value) const {
  for (const auto& [name, values] : switches_.refused) {
    if (!SameIdentifier(name, property)) continue;
    const std::string text = ValueText(value);
    for (const auto& v : values)
      if (v == text)
        throw AutomationError(
            err::kOlRefusedValue, "Outlook",
            "The value \"" + text + "\" is not valid for the property " + property + ".");
  }
}

void Model::SaveItem(const std::shared_ptr<Record>& record) {
  CheckFolder(*record->folder);
  CheckWritable(*record->folder);
  if (record->deleted)
    throw AutomationError(err::kOlNotFound, "Outlook", "The item has been moved or deleted.");
  const bool added = record->IsNew();
  Record staged;
  staged.folder = record->folder;
  staged.kind = record->kind;
  staged.rowId = added ? nextRowId_ : record->rowId;
  staged.entryId = added ? NewEntryId() : record->entryId;
  staged.modified = clock_->Now();
  staged.created = added ? staged.modified : record->created;
  std::int64_t revision = 0;
  Guarded([&] {
    if (!staged.folder->tracked) return WriteItem(staged, record->Current(), added);
    sqlite::Transaction change(*db_);
    WriteItem(staged, record->Current(), added);
    revision = WriteRevision(*staged.folder, staged.entryId, false);
    change.Commit();
  });
  if (revision != 0) staged.folder->revision = revision;
  if (observer) NoteSaved(*observer, *record, staged, record->Current(), added);

  std::optional<IndexKeys> before;
  if (!added) before = KeysOf(*record);
  record->rowId = staged.rowId;
  record->entryId = staged.entryId;
  record->modified = staged.modified;
  record->created = staged.created;
  if (record->draft) record->saved = std::move(*record->draft);
  record->draft.reset();
  if (added) {
    ++nextRowId_;
    UseEntryId(record->entryId, false);
    record->folder->items.push_back(record);
    byEntryId_[record->entryId] = record;
  }
  Apply(*record, KeysOf(*record), true, before ? &*before : nullptr);
  FireSaved(record, added);
}

void Model::DeleteItem(const std::shared_ptr<Record>& record) {
  if (record->deleted)
    throw AutomationError(err::kOlNotFound, "Outlook", "The item has been moved or deleted.");
  CheckWritable(*record->folder);
  if (!record->IsNew()) {
    std::int64_t revision = 0;
    Guarded([&] {
      std::optional<sqlite::Transaction> change;
      if (record->folder->tracked) change.emplace(*db_);
      auto& st = Cached("DELETE FROM " + Table("items") + " WHERE id = ?1");
      StatementReset reset{st};
      st.Bind(1, record->rowId).Run();
      if (change) {
        revision = WriteRevision(*record->folder, record->entryId, true);
        change->Commit();
      }
    });
    if (revision != 0) record->folder->revision = revision;
    if (observer) NoteDeleted(*observer, *record);
    Index(*record, false);
    auto& items = record->folder->items;
    auto it = std::lower_bound(items.begin(), items.end(), record->rowId,
                               [](const auto& r, std::int64_t id) { return r->rowId < id; });
    if (it != items.end() && it->get() == record.get()) items.erase(it);
    byEntryId_.erase(record->entryId);
  }
  record->deleted = true;
  record->draft.reset();
}

void Model::CheckFolder(const Folder& folder) const {
  if (folder.retired)
    throw AutomationError(err::kOlNotFound, "Outlook",
                          "The folder " + folder.name + " no longer exists in the profile.");
}

Folder* Model::AddFolder(Folder* parent, const std::string& name, OlItemType type) {
  if (parent) {
    CheckFolder(*parent);
    CheckWritable(*parent);
  }
  auto folder = std::make_unique<Folder>();
  folder->id = nextFolderId_;
  folder->parent = parent;
  folder->name = name;
  folder->type = type;
  Guarded([&] {
    sqlite::Transaction change(*db_);
    WriteFolderTree(*folder);
    change.Commit();
  });
  ++nextFolderId_;
  Folder* raw = folder.get();
  if (parent) {
    parent->children.push_back(std::move(folder));
  } else {
    stores_.push_back(std::move(folder));
  }
  return raw;
}

void Model::AddDefinition(Folder* folder, const std::string& name, OlUserPropertyType type) {
  CheckFolder(*folder);
  CheckWritable(*folder);
  Guarded([&] {
    auto st = db_->Prepare("INSERT INTO " + Table("folder_properties") +
                           "(folder, name, type) VALUES(?1, ?2, ?3)");
    st.Bind(1, folder->id).Bind(2, name).Bind(3, static_cast<int>(type)).Run();
  });
  folder->defs.push_back(UserDef{name, type});
  if (observer) NoteDefinition(*observer, *folder, name, type, true);
}

void Model::DeleteDefinition(Folder* folder, const std::string& name) {
  CheckFolder(*folder);
  CheckWritable(*folder);
  Guarded([&] {
    auto st = db_->Prepare("DELETE FROM " + Table("folder_properties") +
                           " WHERE folder = ?1 AND name = ?2");
    st.Bind(1, folder->id).Bind(2, name).Run();
  });
  auto& defs = folder->defs;
  for (const UserDef& def : defs)
    if (observer && def.name == name) NoteDefinition(*observer, *folder, name, def.type, false);
  defs.erase(
      std::remove_if(defs.begin(), defs.end(), [&](const UserDef& d) { return d.name == name; }),
      defs.end());
}

BoundFilter Model::BindFilter(const Folder* folder, const std::string& text) const {
  const FilterNode root = ParseFilter(text);
  return BoundFilter::Bind(root, [folder](const std::string& name) -> std::optional<BoundProperty> {
    if (auto id = FindProperty(name)) return BoundProperty{*id, Property(*id).type};
    for (std::size_t i = 0; i < folder->defs.size(); ++i) {
      if (folder->defs[i].name != name) continue;
      return BoundProperty{
          kUserBase + static_cast<int>(i),
          folder->defs[i].type == OlUserPropertyType::Text ? ValueType::Text : ValueType::Bool};
    }
    // A user property can be filtered only when the folder defines it.
    return std::nullopt;
  });
}

std::vector<std::shared_ptr<Record>> Model::Matches(const Folder* folder, const BoundFilter& filter,
                                                    bool firstOnly) const {
  const Record* current = nullptr;
  PropValue scratch;
  const ValueSource source = [&](int id) -> const PropValue* {
    if (id >= kUserBase) {
      const UserDef& def = folder->defs[static_cast<std::size_t>(id - kUserBase)];
      const UserProp* u = current->saved.FindUser(def.name);
      return u ? &u->value : nullptr;
    }
    if (!KindHas(current->kind, id)) return nullptr;
    scratch = Value(*current, current->saved, id);
    // An unset date counts as a missing value.
    if (TypeOf(scratch) == ValueType::Date && std::get<AutoDate>(scratch).IsNoDate())
      return nullptr;
    return &scratch;
  };
  std::vector<std::shared_ptr<Record>> out;
  auto equality = filter.RequiredEquality([&](int id) {
    if (id == prop::kFileAs) return true;
    return id >= kUserBase &&
           folder->defs[static_cast<std::size_t>(id - kUserBase)].name == "velSearch";
  });
  if (equality) {
    const auto& index =
        equality->id == prop::kFileAs ? folder->fileAsIndex : folder->velSearchIndex;
    auto hit = index.find(equality->folded);
    if (hit == index.end()) return out;
    for (const Record* record : hit->second) {
      current = record;
      if (!filter.Matches(source)) continue;
      out.push_back(RecordByEntryId(record->entryId));
      if (firstOnly) break;
    }
    return out;
  }
  // A date range on Start visits only the appointments inside it.
  if (auto range = filter.RequiredRange([](int id) { return id == prop::kStart; })) {
    for (const Record* record : folder->startIndex.InRange(range->low, range->high)) {
      current = record;
      if (!filter.Matches(source)) continue;
      out.push_back(RecordByEntryId(record->entryId));
      if (firstOnly) break;
    }
    return out;
  }
  // So does a text range (the old release's marks are found this way on
  // every call), through the property's ordered index.
  if (auto range = filter.RequiredTextRange([](int) { return true; })) {
    std::vector<Record*> hits;
    if (!(range->low && range->high && *range->high < *range->low)) {
      const auto& index = TextIndex(folder, range->id);
      auto first = range->low ? index.lower_bound(*range->low) : index.begin();
      auto last = range->high ? index.upper_bound(*range->high) : index.end();
      for (auto it = first; it != last; ++it) hits.push_back(it->second);
      std::sort(hits.begin(), hits.end(),
                [](const Record* a, const Record* b) { return a->rowId < b->rowId; });
    }
    for (const Record* record : hits) {
      current = record;
      if (!filter.Matches(source)) continue;
      out.push_back(RecordByEntryId(record->entryId));
      if (firstOnly) break;
    }
    return out;
  }
  for (const auto& record : folder->items) {
    current = record.get();
    if (!filter.Matches(source)) continue;
    out.push_back(record);
    if (firstOnly) break;
  }
  return out;
}

void Model::FireSaved(const std::shared_ptr<Record>& record, bool added) {
  Folder& folder = *record->folder;
  std::vector<std::shared_ptr<OlItemsListener>> live;
  auto& ls = folder.listeners;
  ls.erase(std::remove_if(ls.begin(), ls.end(), [](const auto& w) { return w.expired(); }),
           ls.end());
  for (const auto& w : ls)
    if (auto l = w.lock()) live.push_back(std::move(l));
  for (const auto& listener : live) {
    auto item = MakeItem(shared_from_this(), record);
    // An error in a listener stays with the listener, as in Outlook, where a
    // failing event handler does not undo the user's save.
    IgnoreError([&] {
      if (added) {
        listener->ItemAdd(item);
      } else {
        listener->ItemChange(item);
      }
    });
  }
}

}  // namespace velklk::outlook
