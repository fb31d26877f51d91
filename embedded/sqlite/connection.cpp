#include "sqlite/connection.h"

#include <sqlite3.h>

#include <utility>

#include "sqlite/log_vfs.h"
#include "sqlite/transaction.h"

namespace velklk::sqlite {
namespace {

[[noreturn]] void Fail(sqlite3* db, int code, std::string_view what) {
  std::string message(what);
  message += ": ";
  message += db ? sqlite3_errmsg(db) : sqlite3_errstr(code);
  throw SqliteError(code, message);
}

}  // namespace

bool SqliteError::IsConstraint() const { return (code_ & 0xFF) == SQLITE_CONSTRAINT; }

Connection::Connection(sqlite3* db, std::string path) : db_(db), path_(std::move(path)) {}

std::shared_ptr<Connection> Connection::Open(const std::string& path, Journal journal,
                                             Durability durability, LogWrites logWrites) {
  sqlite3* db = nullptr;
  const char* vfs =
      journal == Journal::Wal && logWrites == LogWrites::Combined ? CombinedLogVfs() : nullptr;
  const int rc = sqlite3_open_v2(
      path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, vfs);
  if (rc != SQLITE_OK) {
    std::string message =
        "cannot open database '" + path + "': " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
    sqlite3_close(db);
    throw SqliteError(rc, message);
  }
  sqlite3_extended_result_codes(db, 1);
  sqlite3_busy_timeout(db, 5000);
  auto connection = std::shared_ptr<Connection>(new Connection(db, path));
  connection->Exec("PRAGMA foreign_keys=ON");
  if (journal == Journal::Rollback) {
    connection->Exec("PRAGMA journal_mode=DELETE");
  } else {
    // A database in memory keeps its journal in memory and says so; a file
    // that cannot take the log (no shared memory on its file system) says
    // "delete", and then a commit would not be what the caller asked for.
    std::string got;
    {
      auto mode = connection->Prepare("PRAGMA journal_mode=WAL");
      if (mode.Step()) got = mode.Text(0);
    }
    if (got != "wal" && got != "memory") {
      throw SqliteError(SQLITE_CANTOPEN, "cannot open database '" + path +
                                             "' with a write-ahead log (journal mode " +
                                             (got.empty() ? "unknown" : got) + ")");
    }
  }
  // FULL syncs every commit; NORMAL syncs the write-ahead log only at its
  // checkpoints (a rollback journal is synced less, never skipped).
  connection->Exec(durability == Durability::PowerLoss ? "PRAGMA synchronous=FULL"
                                                       : "PRAGMA synchronous=NORMAL");
  // A bulk command's unit of work writes more pages than SQLite's default
  // cache of 2 MB holds, which then spills them into the log before the
  // commit and reads them back: an import of 10,000 contacts took 1.7 times
  // as long. The cache (64 MB at most) grows only as far as it is used.
  connection->Exec("PRAGMA cache_size=-65536");
  // A statement that deletes many rows inside a transaction keeps a journal
  // of its own; in a file, each such statement created, wrote and removed
  // a temporary file.
  connection->Exec("PRAGMA temp_store=MEMORY");
  // Each checkpoint syncs the log and the database once and writes every
  // page the log holds: with one every 1,000 pages (SQLite's default) a
  // session of per-record calls checkpointed every hundred calls, writing
  // the same journal and index pages again each time.
  if (journal == Journal::Wal) connection->Exec("PRAGMA wal_autocheckpoint=10000");
  return connection;
}

Connection::~Connection() {
  unit_.reset();  // an unfinished unit is rolled back
  controls_.clear();
  sqlite3_close_v2(db_);
}

void Connection::Control(const std::string& sql) {
  auto found = controls_.find(sql);
  if (found == controls_.end())
    found = controls_.emplace(sql, std::make_unique<Statement>(Prepare(sql))).first;
  Statement& st = *found->second;
  try {
    st.Run();
  } catch (const SqliteError&) {
    st.Reset();
    throw;
  }
}

void Connection::Attach(const std::string& path, const std::string& schema) {
  Statement st = Prepare("ATTACH DATABASE ?1 AS " + QuoteIdentifier(schema));
  st.Bind(1, path).Run();
  Exec("PRAGMA " + QuoteIdentifier(schema) + ".journal_mode=DELETE");
}

void Connection::Detach(const std::string& schema) {
  Exec("DETACH DATABASE " + QuoteIdentifier(schema));
}

void Connection::Exec(std::string_view sql) {
  std::string text(sql);
  char* error = nullptr;
  const int rc = sqlite3_exec(db_, text.c_str(), nullptr, nullptr, &error);
  if (rc != SQLITE_OK) {
    std::string message = error ? error : sqlite3_errstr(rc);
    sqlite3_free(error);
    throw SqliteError(rc, message);
  }
}

Statement Connection::Prepare(std::string_view sql) {
  sqlite3_stmt* stmt = nullptr;
  const int rc = sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &stmt, nullptr);
  if (rc != SQLITE_OK) Fail(db_, rc, "prepare");
  return Statement(db_, stmt);
}

std::int64_t Connection::LastInsertRowId() const { return sqlite3_last_insert_rowid(db_); }

int Connection::Changes() const { return sqlite3_changes(db_); }

void Connection::Begin() {
  if (unitDepth_ == 0)
    unit_ = std::make_unique<Transaction>(*this, Transaction::Locking::Immediate);
  ++unitDepth_;
}

void Connection::Commit() {
  if (unitDepth_ == 0) return;
  if (--unitDepth_ > 0) return;
  const auto unit = std::move(unit_);
  unit->Commit();
}

void Connection::Rollback() {
  unitDepth_ = 0;
  unit_.reset();
}

bool Connection::InTransaction() const { return sqlite3_get_autocommit(db_) == 0; }

std::uint64_t Connection::BeforeCommit(std::function<void()> write) {
  if (openNumber_ == 0 || !InTransaction()) return 0;
  beforeCommit_.push_back(std::move(write));
  return openNumber_;
}

Statement::Statement(Statement&& other) noexcept
    : db_(other.db_), stmt_(std::exchange(other.stmt_, nullptr)) {}

Statement& Statement::operator=(Statement&& other) noexcept {
  if (this != &other) {
    sqlite3_finalize(stmt_);
    db_ = other.db_;
    stmt_ = std::exchange(other.stmt_, nullptr);
  }
  return *this;
}

Statement::~Statement() { sqlite3_finalize(stmt_); }

Statement& Statement::BindNull(int index) {
  if (const int rc = sqlite3_bind_null(stmt_, index); rc != SQLITE_OK) Fail(db_, rc, "bind");
  return *this;
}

Statement& Statement::Bind(int index, std::int64_t value) {
  if (const int rc = sqlite3_bind_int64(stmt_, index, value); rc != SQLITE_OK)
    Fail(db_, rc, "bind");
  return *this;
}

Statement& Statement::Bind(int index, double value) {
  if (const int rc = sqlite3_bind_double(stmt_, index, value); rc != SQLITE_OK)
    Fail(db_, rc, "bind");
  return *this;
}

Statement& Statement::Bind(int index, std::string_view value) {
  if (const int rc = sqlite3_bind_text(stmt_, index, value.data(), static_cast<int>(value.size()),
                                       SQLITE_TRANSIENT);
      rc != SQLITE_OK)
    Fail(db_, rc, "bind");
  return *this;
}

Statement& Statement::BindBlob(int index, const void* data, int size) {
  if (const int rc = sqlite3_bind_blob(stmt_, index, data, size, SQLITE_TRANSIENT); rc != SQLITE_OK)
    Fail(db_, rc, "bind");
  return *this;
}

Statement& Statement::BindKeptBlob(int index, const void* data, int size) {
  if (const int rc = sqlite3_bind_blob(stmt_, index, data, size, SQLITE_STATIC); rc != SQLITE_OK)
    Fail(db_, rc, "bind");
  return *this;
}

bool Statement::Step() {
  const int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  Fail(db_, rc, "step");
}

void Statement::Run() {
  while (Step()) {
  }
  Reset();
}

void Statement::Reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

int Statement::ColumnCount() const { return sqlite3_column_count(stmt_); }
bool Statement::IsNull(int column) const {
  return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}
int Statement::ColumnType(int column) const { return sqlite3_column_type(stmt_, column); }
std::int64_t Statement::Int(int column) const { return sqlite3_column_int64(stmt_, column); }
double Statement::Double(int column) const { return sqlite3_column_double(stmt_, column); }
std::string Statement::Text(int column) const {
  const auto* text = sqlite3_column_text(stmt_, column);
  if (!text) return {};
  return std::string(reinterpret_cast<const char*>(text),
                     static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)));
}
std::string_view Statement::Bytes(int column) const {
  const void* bytes = sqlite3_column_type(stmt_, column) == SQLITE_BLOB
                          ? sqlite3_column_blob(stmt_, column)
                          : static_cast<const void*>(sqlite3_column_text(stmt_, column));
  if (bytes == nullptr) return {};
  return {static_cast<const char*>(bytes),
          static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column))};
}
std::string_view Statement::ColumnNameView(int column) const {
  const char* name = sqlite3_column_name(stmt_, column);
  return name ? std::string_view(name) : std::string_view();
}
std::string Statement::ColumnName(int column) const {
  const char* name = sqlite3_column_name(stmt_, column);
  return name ? name : "";
}

std::string QuoteIdentifier(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

}  // namespace velklk::sqlite
