// The one way to write a transaction on a connection: whole or nothing for
// the work done while the object lives.
#pragma once

#include <string>

#include "platform/export.h"
#include "sqlite/connection.h"

namespace velklk::sqlite {

// Opens on construction: a transaction when none is open on the connection,
// else a savepoint inside the open one. Transactions nest; end them in the
// reverse order of opening.
//
// How an outermost transaction locks: Immediate takes the write lock at once
// (waiting up to the busy timeout for another writer), for a unit of work
// that is going to write; Deferred takes it at the first write, for a change
// that may write nothing (its commit then needs no lock, so a reader in
// another process does not make it fail).
//
// Commit() makes the work part of the enclosing transaction (a savepoint) or
// durable (the outermost transaction). When a commit fails (another process
// holds the database longer than the busy timeout, the disk is full), the
// work is rolled back, the transaction is closed and the SqliteError (or
// the error of a write kept for the commit, Connection::BeforeCommit) is
// raised: after a failed Commit nothing of the work stays, and a caller
// that reports success must have seen Commit return.
//
// The destructor rolls back what was neither committed nor rolled back
// (also while an exception passes) and never raises. The same holds for
// Rollback(): when SQLite has already ended the transaction itself (which a
// failed statement can do), there is nothing left to undo.
class VELKLK_API Transaction {
 public:
  enum class Locking { Deferred, Immediate };
  explicit Transaction(Connection& db, Locking locking = Locking::Deferred);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  // Commits; a second Commit does nothing, a Commit after Rollback raises
  // std::logic_error (the work is gone).
  void Commit();
  void Rollback() noexcept;
  // True until Commit or Rollback ended it.
  bool IsOpen() const { return state_ == State::Open; }

 private:
  enum class State { Open, Committed, RolledBack };
  Connection& db_;
  std::string savepoint_;  // empty for the outermost transaction
  State state_ = State::Open;
};

}  // namespace velklk::sqlite
