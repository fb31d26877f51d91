// A small RAII layer over one SQLite connection, shared by the embedded host
// (schema "main", the CRM database) and the embedded Outlook profile (an
// attached schema), so that one transaction spans both files.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/export.h"

struct sqlite3;
struct sqlite3_stmt;

namespace velklk::sqlite {

// Raised for every SQLite failure; carries SQLite's message.
class VELKLK_API SqliteError : public std::runtime_error {
 public:
  SqliteError(int code, const std::string& message) : std::runtime_error(message), code_(code) {}
  // SQLite's extended result code.
  int Code() const { return code_; }
  // A UNIQUE, NOT NULL, CHECK or foreign-key constraint refused the write.
  bool IsConstraint() const;

 private:
  int code_;
};

class Statement;
class Transaction;

// How a connection keeps its commits. Rollback: the rollback journal, so
// that a transaction over attached databases commits atomically (a journal
// and several syncs per file and commit). Wal: the write-ahead log, atomic
// per database file, one sync per commit; for a connection whose work lives
// in one file.
enum class Journal { Rollback, Wal };
// What a commit survives once it returned. PowerLoss: the commit is synced
// to the disk before it returns. ProcessKill: the commit is in the
// operating system's hands (a killed process loses nothing, a power failure
// may lose the last commits, never half of one); with the write-ahead log a
// commit then needs no sync at all.
enum class Durability { PowerLoss, ProcessKill };
// How a connection with the write-ahead log writes it. Combined: the frames
// of a commit in few system calls (sqlite/log_vfs.h). Plain: SQLite's own
// two calls per page (the benchmarks' bare baseline).
enum class LogWrites { Combined, Plain };

class VELKLK_API Connection : public std::enable_shared_from_this<Connection> {
 public:
  // Opens (creating when missing) a database file; ":memory:" for a private
  // in-memory database. Raises SqliteError when the file cannot be opened or
  // does not take the journal.
  static std::shared_ptr<Connection> Open(const std::string& path,
                                          Journal journal = Journal::Rollback,
                                          Durability durability = Durability::PowerLoss,
                                          LogWrites logWrites = LogWrites::Combined);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Attaches another database file under a schema name (rollback journal).
  void Attach(const std::string& path, const std::string& schema);
  void Detach(const std::string& schema);
  void Exec(std::string_view sql);
  Statement Prepare(std::string_view sql);
  std::int64_t LastInsertRowId() const;
  int Changes() const;

  // A unit of work that spans calls, for a caller that cannot hold a
  // Transaction in one scope: Begin opens a Transaction unless this unit is
  // open already (nested Begins only count), Commit commits it when the
  // outermost Begin ends (with the contract of Transaction::Commit), Rollback
  // undoes the whole unit.
  void Begin();
  void Commit();
  void Rollback();
  // True while a transaction is open on the connection.
  bool InTransaction() const;

  // For a component that keeps a write in memory while a transaction runs
  // (the host's key counter): `write` runs just before the outermost
  // Transaction commits, inside it (a failure rolls the whole transaction
  // back); it is dropped when the transaction is rolled back. Returns the
  // number of that transaction (see TransactionNumber), or 0 when no
  // Transaction is open: then the caller writes at once.
  std::uint64_t BeforeCommit(std::function<void()> write);
  // The number of the outermost Transaction now open (numbers count up and
  // are never reused), 0 when none is.
  std::uint64_t TransactionNumber() const { return openNumber_; }

  sqlite3* Handle() const { return db_; }
  const std::string& Path() const { return path_; }

 private:
  friend class Transaction;
  explicit Connection(sqlite3* db, std::string path);
  // Runs a statement of transaction control (BEGIN, COMMIT, SAVEPOINT...),
  // prepared once per text: every unit of work runs several.
  void Control(const std::string& sql);
  sqlite3* db_;
  std::string path_;
  std::map<std::string, std::unique_ptr<Statement>> controls_;
  int savepoints_ = 0;            // open savepoints; the n-th open one is "velklk_n"
  std::uint64_t openNumber_ = 0;  // of the open outermost Transaction, 0: none
  std::uint64_t lastNumber_ = 0;  // the last number handed out
  std::vector<std::function<void()>> beforeCommit_;
  std::unique_ptr<Transaction> unit_;
  int unitDepth_ = 0;
};

class VELKLK_API Statement {
 public:
  Statement(sqlite3* db, sqlite3_stmt* stmt) : db_(db), stmt_(stmt) {}
  Statement(Statement&& other) noexcept;
  Statement& operator=(Statement&& other) noexcept;
  ~Statement();

  Statement& BindNull(int index);
  Statement& Bind(int index, std::int64_t value);
  Statement& Bind(int index, int value) { return Bind(index, static_cast<std::int64_t>(value)); }
  Statement& Bind(int index, double value);
  Statement& Bind(int index, std::string_view value);
  Statement& Bind(int index, const char* value) { return Bind(index, std::string_view(value)); }
  Statement& Bind(int index, const std::string& value) {
    return Bind(index, std::string_view(value));
  }
  Statement& BindBlob(int index, const void* data, int size);
  // The same without a copy: the caller keeps the bytes as they are until
  // the statement is reset or the value bound again (for large values).
  Statement& BindKeptBlob(int index, const void* data, int size);

  // True while a row is available.
  bool Step();
  // Runs a statement that returns no rows.
  void Run();
  void Reset();

  int ColumnCount() const;
  bool IsNull(int column) const;
  int ColumnType(int column) const;  // SQLITE_INTEGER, SQLITE_FLOAT, SQLITE_TEXT, ...
  std::int64_t Int(int column) const;
  double Double(int column) const;
  std::string Text(int column) const;
  // The bytes of a text or blob value without a copy: valid until the
  // statement steps, resets or reads the column as another type.
  std::string_view Bytes(int column) const;
  std::string ColumnName(int column) const;
  std::string_view ColumnNameView(int column) const;

 private:
  sqlite3* db_;
  sqlite3_stmt* stmt_;
};

// Quotes an identifier for SQL ("name" with inner quotes doubled).
VELKLK_API std::string QuoteIdentifier(std::string_view name);

}  // namespace velklk::sqlite
