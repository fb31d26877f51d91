#include "host/host_core.h"

#include <fmt/format.h>
#include <sqlite3.h>

#include <stdexcept>

#include "platform/automation_error.h"
#include "platform/text_case.h"
#include "sqlite/transaction.h"

namespace velklk::host {

std::string JoinTenants(const std::vector<std::string>& tenants) {
  std::string joined;
  for (const std::string& tenant : tenants) joined += (joined.empty() ? "" : ",") + tenant;
  return joined;
}

std::vector<std::string> SplitTenants(const std::string& stored) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start < stored.size()) {
    std::size_t comma = stored.find(',', start);
    if (comma == std::string::npos) comma = stored.size();
    if (comma > start) out.push_back(stored.substr(start, comma - start));
    start = comma + 1;
  }
  return out;
}

using sqlite::QuoteIdentifier;

namespace {

const char* const kMetaDdl = R"sql(
CREATE TABLE IF NOT EXISTS main._vk_meta(key TEXT PRIMARY KEY, value);
CREATE TABLE IF NOT EXISTS main._vk_tables(name TEXT NOT NULL, master TEXT NOT NULL, pos INTEGER);
CREATE TABLE IF NOT EXISTS main._vk_fields(tbl TEXT NOT NULL, name TEXT NOT NULL, type TEXT NOT NULL,
  size INTEGER NOT NULL, def TEXT NOT NULL, pos INTEGER);
CREATE TABLE IF NOT EXISTS main._vk_indexes(tbl TEXT NOT NULL, name TEXT NOT NULL, fields TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS main._vk_users(name TEXT NOT NULL UNIQUE COLLATE NOCASE, name2 TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS main._vk_user_props(user TEXT NOT NULL COLLATE NOCASE,
  name TEXT NOT NULL COLLATE NOCASE, kind TEXT NOT NULL, value TEXT NOT NULL, UNIQUE(user, name));
CREATE TABLE IF NOT EXISTS main._vk_groups(name TEXT NOT NULL UNIQUE COLLATE NOCASE);
CREATE TABLE IF NOT EXISTS main._vk_group_members(grp TEXT NOT NULL COLLATE NOCASE,
  user TEXT NOT NULL COLLATE NOCASE, UNIQUE(grp, user));
CREATE TABLE IF NOT EXISTS main._vk_settings(user TEXT NOT NULL COLLATE NOCASE,
  key TEXT NOT NULL COLLATE NOCASE, kind TEXT NOT NULL, value TEXT NOT NULL, UNIQUE(user, key));
CREATE TABLE IF NOT EXISTS main._vk_globals(name TEXT NOT NULL UNIQUE COLLATE NOCASE,
  kind TEXT NOT NULL, value TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS main._vk_refusals(tbl TEXT NOT NULL, id TEXT NOT NULL, op TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS main._vk_refused_values(tbl TEXT NOT NULL, field TEXT NOT NULL,
  value TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS main._vk_injected(operation TEXT NOT NULL UNIQUE, number INTEGER NOT NULL);
)sql";

std::string ColumnDdl(const FieldDef& f) {
  std::string sql = QuoteIdentifier(f.name);
  switch (f.type) {
    case FieldType::Text:
    case FieldType::Memo:
    case FieldType::Link:
      return sql + " TEXT NOT NULL DEFAULT ''";
    case FieldType::Integer:
    case FieldType::Boolean:
      return sql + " INTEGER NOT NULL DEFAULT 0";
    case FieldType::Number:
      return sql + " REAL NOT NULL DEFAULT 0";
    case FieldType::Date:
      return sql + " REAL";
  }
  return sql;
}

std::string Join(const std::vector<std::string>& parts, const std::string& sep) {
  std::string out;
  for (std::size_t i = 0; i < parts.size(); ++i) out += (i ? sep : "") + parts[i];
  return out;
}

std::vector<std::string> Split(const std::string& text, char sep) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (;;) {
    const std::size_t p = text.find(sep, start);
    out.push_back(text.substr(start, p == std::string::npos ? std::string::npos : p - start));
    if (p == std::string::npos) return out;
    start = p + 1;
  }
}

}  // namespace

HostCore::HostCore(std::shared_ptr<sqlite::Connection> connection, const Clock* clock)
    : connection_(std::move(connection)), clock_(clock) {
  // The key counter's new value, taken while the update writes it.
  sqlite3_create_function(
      connection_->Handle(), "_vk_capture", 1, SQLITE_UTF8 | SQLITE_DIRECTONLY, nullptr,
      [](sqlite3_context* context, int, sqlite3_value** args) {
        capturedId_ = sqlite3_value_int64(args[0]);
        sqlite3_result_value(context, args[0]);
      },
      nullptr, nullptr);
  bool fresh = true;
  {
    auto st = connection_->Prepare(
        "SELECT count(*) FROM main.sqlite_master WHERE type='table' AND name='_vk_fields'");
    if (st.Step()) fresh = st.Int(0) == 0;
  }
  if (fresh) {
    sqlite::Transaction setup(*connection_, sqlite::Transaction::Locking::Immediate);
    InstallSchema(Schema::Default());
    connection_->Exec("INSERT INTO main._vk_users VALUES('ADMIN', 'Administrator')");
    StoreCurrentUser("ADMIN");
    setup.Commit();
  } else {
    LoadState();
  }
}

HostCore::~HostCore() {
  // The transaction may still commit after this object is gone: its keys
  // must be counted in the database by then.
  try {
    SettleKeyCounter();
  } catch (const AutomationError&) {
    // The database refuses writes; the transaction cannot commit either.
  } catch (const sqlite::SqliteError&) {
  }
}

bool Step(sqlite::Statement& st) {
  try {
    return st.Step();
  } catch (const sqlite::SqliteError& e) {
    throw AutomationError(err::kFail, "Velmora.Database", std::string("CRM database: ") + e.what());
  }
}

AutoDate HostCore::Now() const { return clock_ ? clock_->Now() : systemClock_.Now(); }

sqlite::Statement& HostCore::Cached(const std::string& sql) {
  auto it = cache_.find(sql);
  if (it != cache_.end()) return *it->second;
  std::unique_ptr<sqlite::Statement> st;
  try {
    st = std::make_unique<sqlite::Statement>(connection_->Prepare(sql));
  } catch (const sqlite::SqliteError& e) {
    throw AutomationError(err::kFail, "Velmora.Database", std::string("CRM database: ") + e.what());
  }
  return *cache_.emplace(sql, std::move(st)).first->second;
}

std::shared_ptr<HostCore::TableTexts> HostCore::TextsOf(
    const std::shared_ptr<const TableDef>& def) {
  auto& slot = texts_[def.get()];
  if (!slot.second) slot = {def, std::make_shared<TableTexts>()};
  return slot.second;
}

CompiledExpression HostCore::Compiled(const std::string& text) {
  // Kept by shape: a text built from data differs from the last one only in
  // its text literals.
  std::vector<Variant> literals;
  std::string shape = CompiledExpression::Shape(text, literals);
  auto it = compiled_.find(shape);
  if (it != compiled_.end()) return it->second.WithLiterals(text, std::move(literals));
  CompiledExpression expression = CompiledExpression::Compile(text);
  // Shapes built from data would grow the table without end.
  if (compiled_.size() >= 4096) compiled_.clear();
  compiled_.emplace(std::move(shape), expression);
  return expression;
}

void HostCore::CreateMetaTables() { connection_->Exec(kMetaDdl); }

void HostCore::InstallSchema(const Schema& schema) {
  schema.Validate();
  keysOfTransaction_ = 0;
  DirectoryChanged();
  cache_.clear();
  texts_.clear();
  CreateMetaTables();
  // Drop the data tables of the layout in force and of the new one.
  std::set<std::string> drop;
  for (const auto& t : schema_.tables) drop.insert(t->name);
  for (const auto& t : schema.tables) drop.insert(t->name);
  {
    auto st = connection_->Prepare("SELECT name FROM main._vk_tables");
    while (st.Step()) drop.insert(st.Text(0));
  }
  for (const auto& name : drop)
    connection_->Exec("DROP TABLE IF EXISTS main." + QuoteIdentifier(name));
  connection_->Exec(
      "DELETE FROM main._vk_meta; DELETE FROM main._vk_tables; DELETE FROM main._vk_fields;"
      "DELETE FROM main._vk_indexes; DELETE FROM main._vk_users; DELETE FROM main._vk_user_props;"
      "DELETE FROM main._vk_groups; DELETE FROM main._vk_group_members;"
      "DELETE FROM main._vk_settings; DELETE FROM main._vk_globals; DELETE FROM main._vk_refusals;"
      "DELETE FROM main._vk_refused_values; DELETE FROM main._vk_injected;"
      "INSERT INTO main._vk_meta VALUES('nextId', 1), ('currentUser', ''), ('flags', 0);");
  auto insTable = connection_->Prepare("INSERT INTO main._vk_tables VALUES(?1, ?2, ?3)");
  auto insField =
      connection_->Prepare("INSERT INTO main._vk_fields VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
  auto insIndex = connection_->Prepare("INSERT INTO main._vk_indexes VALUES(?1, ?2, ?3)");
  int tablePos = 0;
  for (const auto& t : schema.tables) {
    insTable.Bind(1, t->name).Bind(2, t->master).Bind(3, tablePos++).Run();
    std::string ddl = "CREATE TABLE main." + QuoteIdentifier(t->name) + "(" + kRowColumn +
                      " INTEGER PRIMARY KEY, " + kMasterColumn + " INTEGER, " + kTenantsColumn +
                      " TEXT NOT NULL DEFAULT ''";
    int fieldPos = 0;
    for (const auto& f : t->fields) {
      insField.Bind(1, t->name).Bind(2, f.name).Bind(3, std::string(FieldTypeName(f.type)));
      insField.Bind(4, f.size).Bind(5, f.defaultValue).Bind(6, fieldPos++).Run();
      ddl += ", " + ColumnDdl(f);
    }
    ddl += ")";
    connection_->Exec(ddl);
    const std::string prefix = "_vk_ix_" + t->name + "_";
    connection_->Exec("CREATE UNIQUE INDEX main." + QuoteIdentifier(prefix + "ID") + " ON " +
                      QuoteIdentifier(t->name) + "(\"ID\")");
    // Detail records are found under their master; a table without a master
    // never asks, and its inserts need not keep the index.
    if (!t->master.empty())
      connection_->Exec("CREATE INDEX main." + QuoteIdentifier(prefix + "_master") + " ON " +
                        QuoteIdentifier(t->name) + "(" + kMasterColumn + ", " + kRowColumn + ")");
    for (const auto& index : t->indexes) {
      std::vector<std::string> quoted;
      for (const auto& f : index.fields) quoted.push_back(QuoteIdentifier(t->FindField(f)->name));
      insIndex.Bind(1, t->name).Bind(2, index.name).Bind(3, Join(index.fields, ",")).Run();
      connection_->Exec("CREATE INDEX main." + QuoteIdentifier(prefix + index.name) + " ON " +
                        QuoteIdentifier(t->name) + "((" + Join(quoted, " || ") + "))");
    }
  }
  schema_ = schema;
  currentUser_.clear();
  flags_ = 0;
  refusals_.clear();
  refusedValues_.clear();
  injected_.clear();
}

thread_local long long HostCore::capturedId_ = 0;

unsigned HostCore::CommitCount() const {
  // The pager's data version, which every commit of this connection moves on
  // (and a rollback does not).
  unsigned version = 0;
  sqlite3_file_control(connection_->Handle(), "main", SQLITE_FCNTL_DATA_VERSION, &version);
  return version;
}

void HostCore::DirectoryChanged() {
  directory_ = Directory{};
  if (sqlite3_get_autocommit(connection_->Handle())) return;
  directoryWritten_ = true;
  writtenAtCommit_ = CommitCount();
}

bool HostCore::DirectoryUsable() {
  if (directoryWritten_) {
    // Written in a transaction still open: it may yet be rolled back. (After
    // a rollback, the next commit ends the wait.)
    if (!sqlite3_get_autocommit(connection_->Handle()) && CommitCount() == writtenAtCommit_)
      return false;
    directoryWritten_ = false;
    directory_ = Directory{};
  }
  // Checked already in this transaction, after it began reading: no other
  // connection's commit can show before it ends.
  const std::uint64_t transaction = connection_->TransactionNumber();
  if (transaction != 0 && transaction == checkedInTransaction_ && directoryVersion_ >= 0 &&
      connection_->InTransaction())
    return true;
  if (sqlite3_txn_state(connection_->Handle(), "main") != SQLITE_TXN_NONE &&
      CommitCount() == checkedAtCommit_ && directoryVersion_ >= 0) {
    checkedInTransaction_ = transaction;
    return true;
  }
  std::int64_t version = -1;
  {
    StatementUse use(Cached("PRAGMA main.data_version"));
    if (Step(*use)) version = use->Int(0);
  }
  checkedAtCommit_ = CommitCount();
  checkedInTransaction_ =
      sqlite3_txn_state(connection_->Handle(), "main") != SQLITE_TXN_NONE ? transaction : 0;
  if (version != directoryVersion_) {
    directory_ = Directory{};
    directoryVersion_ = version;
  }
  return true;
}

bool HostCore::ReadUsers() {
  if (!DirectoryUsable()) return false;
  if (directory_.usersRead) return true;
  StatementUse use(Cached("SELECT name, name2 FROM main._vk_users ORDER BY rowid"));
  while (Step(*use)) {
    directory_.byName.emplace(IdentifierKey(use->Text(0)), directory_.users.size());
    directory_.users.push_back(UserEntry{use->Text(0), use->Text(1)});
  }
  directory_.usersRead = true;
  return true;
}

std::optional<const HostCore::UserEntry*> HostCore::LookupUser(const std::string& name) {
  if (!ReadUsers()) return std::nullopt;
  auto it = directory_.byName.find(IdentifierKey(name));
  return it == directory_.byName.end() ? nullptr : &directory_.users[it->second];
}

std::optional<int> HostCore::LookupUserCount() {
  if (!ReadUsers()) return std::nullopt;
  return static_cast<int>(directory_.users.size());
}

std::optional<const HostCore::UserEntry*> HostCore::LookupUserAt(int index) {
  if (!ReadUsers()) return std::nullopt;
  if (index < 0 || static_cast<std::size_t>(index) >= directory_.users.size()) return nullptr;
  return &directory_.users[static_cast<std::size_t>(index)];
}

const HostCore::ValueMap& HostCore::PerUser(std::unordered_map<std::string, ValueMap>& maps,
                                            const char* sql, const std::string& user) {
  auto [it, fresh] = maps.try_emplace(IdentifierKey(user));
  if (fresh) {
    StatementUse use(Cached(sql));
    use->Bind(1, user);
    while (Step(*use))
      it->second.emplace(IdentifierKey(use->Text(0)), StoredValue{use->Text(1), use->Text(2)});
  }
  return it->second;
}

std::optional<const HostCore::StoredValue*> HostCore::LookupUserProperty(const std::string& user,
                                                                         const std::string& name) {
  if (!DirectoryUsable()) return std::nullopt;
  const ValueMap& map =
      PerUser(directory_.properties,
              "SELECT name, kind, value FROM main._vk_user_props WHERE user = ?1", user);
  auto it = map.find(IdentifierKey(name));
  return it == map.end() ? nullptr : &it->second;
}

std::optional<const HostCore::StoredValue*> HostCore::LookupSetting(const std::string& user,
                                                                    const std::string& key) {
  if (!DirectoryUsable()) return std::nullopt;
  const ValueMap& map = PerUser(
      directory_.settings, "SELECT key, kind, value FROM main._vk_settings WHERE user = ?1", user);
  auto it = map.find(IdentifierKey(key));
  return it == map.end() ? nullptr : &it->second;
}

std::optional<const HostCore::StoredValue*> HostCore::LookupGlobal(const std::string& name) {
  if (!DirectoryUsable()) return std::nullopt;
  if (!directory_.globals) {
    ValueMap globals;
    StatementUse use(Cached("SELECT name, kind, value FROM main._vk_globals"));
    while (Step(*use))
      globals.emplace(IdentifierKey(use->Text(0)), StoredValue{use->Text(1), use->Text(2)});
    directory_.globals = std::move(globals);
  }
  auto it = directory_.globals->find(IdentifierKey(name));
  return it == directory_.globals->end() ? nullptr : &it->second;
}

void HostCore::Reload() {
  keysOfTransaction_ = 0;
  DirectoryChanged();
  cache_.clear();
  texts_.clear();
  refusals_.clear();
  refusedValues_.clear();
  injected_.clear();
  LoadState();
}

void HostCore::LoadState() {
  Schema schema;
  {
    auto tables = connection_->Prepare("SELECT name, master FROM main._vk_tables ORDER BY pos");
    auto fields = connection_->Prepare(
        "SELECT name, type, size, def FROM main._vk_fields WHERE tbl = ?1 ORDER BY pos");
    auto indexes = connection_->Prepare("SELECT name, fields FROM main._vk_indexes WHERE tbl = ?1");
    while (tables.Step()) {
      auto t = std::make_shared<TableDef>();
      t->name = tables.Text(0);
      t->master = tables.Text(1);
      fields.Bind(1, t->name);
      while (fields.Step()) {
        auto type = ParseFieldType(fields.Text(1));
        if (!type)
          throw std::runtime_error("CRM database: field '" + fields.Text(0) +
                                   "' has an unknown type '" + fields.Text(1) + "'");
        t->fields.push_back(
            FieldDef{fields.Text(0), *type, static_cast<int>(fields.Int(2)), fields.Text(3)});
      }
      fields.Reset();
      indexes.Bind(1, t->name);
      while (indexes.Step())
        t->indexes.push_back(IndexDef{indexes.Text(0), Split(indexes.Text(1), ',')});
      indexes.Reset();
      schema.tables.push_back(std::move(t));
    }
  }
  schema.Validate();
  schema_ = std::move(schema);
  {
    auto st = connection_->Prepare("SELECT key, value FROM main._vk_meta");
    while (st.Step()) {
      const std::string key = st.Text(0);
      if (key == "currentUser") currentUser_ = st.Text(1);
      if (key == "flags") flags_ = static_cast<std::uint32_t>(st.Int(1));
    }
  }
  {
    auto st = connection_->Prepare("SELECT tbl, id, op FROM main._vk_refusals");
    while (st.Step())
      refusals_.insert(IdentifierKey(st.Text(0) + "|" + st.Text(1) + "|" + st.Text(2)));
  }
  {
    auto st = connection_->Prepare("SELECT tbl, field, value FROM main._vk_refused_values");
    while (st.Step())
      refusedValues_.insert(IdentifierKey(st.Text(0) + "|" + st.Text(1)) + "|" + st.Text(2));
  }
  {
    auto st = connection_->Prepare("SELECT operation, number FROM main._vk_injected");
    while (st.Step()) injected_[IdentifierKey(st.Text(0))] = static_cast<std::uint32_t>(st.Int(1));
  }
}

std::string HostCore::NextId(const TableDef& table) {
  const FieldDef* id = table.FindField("ID");
  const int size = id ? id->size : 10;
  long long next = 0;
  const std::uint64_t transaction = connection_->TransactionNumber();
  if (transaction != 0 && transaction == keysOfTransaction_) {
    next = nextKey_++;
  } else if (transaction != 0) {
    // The first key of this transaction: read the counter and count on in
    // memory; the row is written once, when the transaction commits (the
    // write lock keeps other connections from counting meanwhile).
    {
      StatementUse use(Cached("SELECT value FROM main._vk_meta WHERE key = 'nextId'"));
      if (!Step(*use)) throw AutomationError(err::kFail, "Velmora.Database", "key counter missing");
      nextKey_ = use->Int(0);
    }
    connection_->BeforeCommit([this, alive = std::weak_ptr<int>(alive_), transaction] {
      if (alive.lock() && keysOfTransaction_ == transaction) StoreKeptCounter();
    });
    keysOfTransaction_ = transaction;
    next = nextKey_++;
  } else {
    // One statement counts up and hands the new value to _vk_capture: atomic
    // for other connections, and without the temporary table of RETURNING.
    capturedId_ = 0;
    {
      StatementUse use(
          Cached("UPDATE main._vk_meta SET value = _vk_capture(value + 1) WHERE key = 'nextId'"));
      while (Step(*use)) {
      }
    }
    if (connection_->Changes() == 0)
      throw AutomationError(err::kFail, "Velmora.Database", "key counter missing");
    next = capturedId_ - 1;
  }
  std::string text = fmt::format("{:0{}}", next, size);
  if (static_cast<int>(text.size()) > size)
    throw AutomationError(
        err::kFail, "Velmora.Database",
        "no more keys of size " + std::to_string(size) + " for table '" + table.name + "'");
  return text;
}

void HostCore::StoreKeptCounter() {
  StatementUse use(Cached("UPDATE main._vk_meta SET value = max(value, ?1) WHERE key = 'nextId'"));
  use->Bind(1, static_cast<std::int64_t>(nextKey_));
  while (Step(*use)) {
  }
}

void HostCore::SettleKeyCounter() {
  if (keysOfTransaction_ != 0 && keysOfTransaction_ == connection_->TransactionNumber())
    StoreKeptCounter();
  keysOfTransaction_ = 0;
}

void HostCore::SetNextId(long long next) {
  keysOfTransaction_ = 0;
  auto st = connection_->Prepare("UPDATE main._vk_meta SET value = ?1 WHERE key = 'nextId'");
  st.Bind(1, static_cast<std::int64_t>(next)).Run();
}

void HostCore::AdvanceIdsPastStored() {
  SettleKeyCounter();
  long long highest = 0;
  for (const auto& t : schema_.tables) {
    auto st = connection_->Prepare("SELECT max(CAST(\"ID\" AS INTEGER)) FROM main." +
                                   QuoteIdentifier(t->name) + " WHERE \"ID\" GLOB '[0-9]*'");
    if (st.Step() && !st.IsNull(0)) highest = std::max<long long>(highest, st.Int(0));
  }
  auto st =
      connection_->Prepare("UPDATE main._vk_meta SET value = max(value, ?1) WHERE key = 'nextId'");
  st.Bind(1, static_cast<std::int64_t>(highest + 1)).Run();
}

void HostCore::StoreCurrentUser(const std::string& name) {
  auto st = connection_->Prepare("UPDATE main._vk_meta SET value = ?1 WHERE key = 'currentUser'");
  st.Bind(1, name).Run();
  currentUser_ = name;
}

void HostCore::SetFlags(std::uint32_t flags) {
  auto st = connection_->Prepare("UPDATE main._vk_meta SET value = ?1 WHERE key = 'flags'");
  st.Bind(1, static_cast<std::int64_t>(flags)).Run();
  flags_ = flags;
}

bool HostCore::Refuses(const std::string& table, const std::string& id,
                       const std::string& op) const {
  if (refusals_.empty()) return false;
  return refusals_.count(IdentifierKey(table + "|" + id + "|" + op)) > 0;
}

void HostCore::AddRefusal(const std::string& table, const std::string& id, const std::string& op) {
  auto st = connection_->Prepare("INSERT INTO main._vk_refusals VALUES(?1, ?2, ?3)");
  st.Bind(1, table).Bind(2, id).Bind(3, op).Run();
  refusals_.insert(IdentifierKey(table + "|" + id + "|" + op));
}

bool HostCore::RefusesValue(const std::string& table, const std::string& field,
                            const std::string& value) const {
  if (refusedValues_.empty()) return false;
  return refusedValues_.count(IdentifierKey(table + "|" + field) + "|" + value) > 0;
}

void HostCore::AddRefusedValue(const std::string& table, const std::string& field,
                               const std::string& value) {
  auto st = connection_->Prepare("INSERT INTO main._vk_refused_values VALUES(?1, ?2, ?3)");
  st.Bind(1, table).Bind(2, field).Bind(3, value).Run();
  refusedValues_.insert(IdentifierKey(table + "|" + field) + "|" + value);
}

void HostCore::AddInjectedError(const std::string& operation, std::uint32_t number) {
  auto st = connection_->Prepare("INSERT OR REPLACE INTO main._vk_injected VALUES(?1, ?2)");
  st.Bind(1, operation).Bind(2, static_cast<std::int64_t>(number)).Run();
  injected_[IdentifierKey(operation)] = number;
}

void HostCore::CheckInjectedSlow(const std::string& scope, const char* operation) const {
  const std::string op = IdentifierKey(operation);
  auto it = injected_.find(IdentifierKey(scope) + "." + op);
  if (it == injected_.end() && scope != "Database" && scope != "User" && scope != "Settings" &&
      scope != "Application" && scope != "Field")
    it = injected_.find("table." + op);
  if (it == injected_.end()) return;
  throw AutomationError(it->second, "Velmora." + scope,
                        "Injected failure of " + scope + "." + operation);
}

HostCore::Configuration HostCore::StoredConfiguration() const {
  Configuration c;
  {
    auto st = connection_->Prepare("SELECT tbl, id, op FROM main._vk_refusals ORDER BY rowid");
    while (st.Step()) {
      const std::string id = st.Text(1);
      c.refusals[st.Text(0) + (id.empty() ? "" : ":" + id)].insert(st.Text(2));
    }
  }
  {
    auto st = connection_->Prepare(
        "SELECT tbl, field, value FROM main._vk_refused_values ORDER BY rowid");
    while (st.Step()) c.refusedValues[st.Text(0) + "." + st.Text(1)].insert(st.Text(2));
  }
  {
    auto st =
        connection_->Prepare("SELECT operation, number FROM main._vk_injected ORDER BY rowid");
    while (st.Step()) c.injected[st.Text(0)] = static_cast<std::uint32_t>(st.Int(1));
  }
  return c;
}

std::pair<std::string, std::string> HostCore::EncodeValue(const Variant& value) {
  switch (value.GetKind()) {
    case Variant::Kind::Empty:
    case Variant::Kind::Null:
      return {"e", ""};
    case Variant::Kind::Text:
      return {"t", value.ToText()};
    case Variant::Kind::Bool:
      return {"b", value.ToBool() ? "1" : "0"};
    case Variant::Kind::Integer:
      return {"i", std::to_string(value.ToLong())};
    case Variant::Kind::Double:
      return {"d", fmt::format("{}", value.ToDouble())};
    case Variant::Kind::Date:
      return {"D", value.ToDate().Format()};
    case Variant::Kind::List: {
      // Elements are texts separated by the unit separator, which no setting
      // or list entry contains.
      std::string joined;
      const auto& list = value.ToList();
      for (std::size_t i = 0; i < list.size(); ++i) {
        std::string entry = list[i].ToText();
        if (entry.find('\x1f') != std::string::npos)
          throw AutomationError(err::kInvalidArg, "Velmora.Database",
                                "list entry contains a control character");
        joined += (i ? "\x1f" : "") + entry;
      }
      return {list.empty() ? "L0" : "L", joined};
    }
    case Variant::Kind::Object:
      break;
  }
  throw AutomationError(err::kTypeMismatch, "Velmora.Database", "an object cannot be stored");
}

Variant HostCore::DecodeValue(const std::string& kind, const std::string& text) {
  if (kind == "t") return Variant(text);
  if (kind == "b") return Variant(text == "1");
  // A damaged number reads as its text.
  if (kind == "i") {
    const auto number = ParseNumber<long long>(text);
    return number ? Variant(*number) : Variant(text);
  }
  if (kind == "d") {
    const auto number = ParseNumber<double>(text);
    return number ? Variant(*number) : Variant(text);
  }
  if (kind == "D") {
    if (auto d = AutoDate::Parse(text)) return Variant(*d);
    return Variant(text);
  }
  if (kind == "L0") return Variant(VariantList{});
  if (kind == "L") {
    VariantList list;
    for (auto& entry : Split(text, '\x1f')) list.emplace_back(std::move(entry));
    return Variant(std::move(list));
  }
  return Variant();
}

}  // namespace velklk::host
