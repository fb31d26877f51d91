#include "sqlite/transaction.h"

#include <stdexcept>

namespace velklk::sqlite {

Transaction::Transaction(Connection& db, Locking locking) : db_(db) {
  if (!db_.InTransaction()) {
    db_.Control(locking == Locking::Immediate ? "BEGIN IMMEDIATE" : "BEGIN");
    db_.savepoints_ = 0;
    db_.openNumber_ = ++db_.lastNumber_;
    db_.beforeCommit_.clear();
  } else {
    // Savepoints nest, so the depth names one uniquely among the open ones
    // (and the few names keep their statements prepared).
    savepoint_ = "velklk_" + std::to_string(db_.savepoints_ + 1);
    db_.Control("SAVEPOINT " + savepoint_);
    ++db_.savepoints_;
  }
}

Transaction::~Transaction() { Rollback(); }

void Transaction::Commit() {
  if (state_ == State::Committed) return;
  if (state_ == State::RolledBack)
    throw std::logic_error("commit of a transaction that was rolled back");
  if (savepoint_.empty()) {
    // Writes kept in memory go in now; when one fails, so does the commit.
    const auto writes = std::move(db_.beforeCommit_);
    db_.beforeCommit_.clear();
    try {
      for (const auto& write : writes) write();
    } catch (const std::exception&) {
      Rollback();
      throw;
    }
  }
  try {
    db_.Control(savepoint_.empty() ? "COMMIT" : "RELEASE " + savepoint_);
  } catch (const SqliteError&) {
    Rollback();
    throw;
  }
  state_ = State::Committed;
  if (!savepoint_.empty())
    --db_.savepoints_;
  else
    db_.openNumber_ = 0;
}

void Transaction::Rollback() noexcept {
  if (state_ != State::Open) return;
  state_ = State::RolledBack;
  if (!savepoint_.empty() && db_.savepoints_ > 0) --db_.savepoints_;
  if (savepoint_.empty()) {
    db_.openNumber_ = 0;
    db_.beforeCommit_.clear();
  }
  // A failed statement or commit may have ended the whole transaction
  // already; then there is nothing left to undo.
  if (!db_.InTransaction()) return;
  try {
    db_.Exec(savepoint_.empty() ? "ROLLBACK"
                                : "ROLLBACK TO " + savepoint_ + "; RELEASE " + savepoint_);
  } catch (const SqliteError&) {
    // The database ends the transaction itself (or rolls the journal back
    // when it is next opened); nothing more can be done here.
  }
}

}  // namespace velklk::sqlite
