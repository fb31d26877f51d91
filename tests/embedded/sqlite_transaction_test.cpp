// The one transaction type: nesting, rollback unless committed, and a commit
// that fails leaving nothing open and nothing written.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>

#include "sqlite/connection.h"
#include "sqlite/transaction.h"

namespace velklk::sqlite {
namespace {

TEST(SqliteTransaction, NestsRollsBackUnlessCommittedAndAFailedCommitLeavesNothing) {
  const auto path = std::filesystem::temp_directory_path() /
                    ("velklk-transaction-" + std::to_string(::getpid()) + ".db");
  std::filesystem::remove(path);
  auto db = Connection::Open(path.string());
  db->Exec("PRAGMA busy_timeout = 0; CREATE TABLE t(x)");
  auto count = [&] {
    auto st = db->Prepare("SELECT count(*) FROM t");
    st.Step();
    return st.Int(0);
  };
  {
    Transaction outer(*db, Transaction::Locking::Immediate);
    db->Exec("INSERT INTO t VALUES(1)");
    {
      Transaction dropped(*db);  // a savepoint: rolled back alone
      db->Exec("INSERT INTO t VALUES(2)");
    }
    Transaction kept(*db);
    db->Exec("INSERT INTO t VALUES(3)");
    kept.Commit();
    outer.Commit();
  }
  EXPECT_EQ(count(), 2);
  {
    Transaction dropped(*db);
    db->Exec("INSERT INTO t VALUES(4)");
  }
  EXPECT_EQ(count(), 2);

  // Another connection reading keeps the commit from taking the file.
  auto other = Connection::Open(path.string());
  auto reading = other->Prepare("SELECT x FROM t");
  ASSERT_TRUE(reading.Step());
  {
    Transaction blocked(*db);
    db->Exec("INSERT INTO t VALUES(5)");
    EXPECT_THROW(blocked.Commit(), SqliteError);
    EXPECT_FALSE(db->InTransaction());
    EXPECT_THROW(blocked.Commit(), std::logic_error);  // the work is gone, not done
  }
  reading.Reset();
  EXPECT_EQ(count(), 2);

  // A write kept for the commit goes in with it; when it fails, the commit
  // fails the same way; a rollback drops it.
  EXPECT_EQ(db->BeforeCommit([] {}), 0u);  // no transaction: write at once
  {
    Transaction unit(*db);
    EXPECT_NE(db->BeforeCommit([&] { db->Exec("INSERT INTO t VALUES(6)"); }), 0u);
    unit.Commit();
  }
  EXPECT_EQ(count(), 3);
  {
    Transaction unit(*db);
    db->Exec("INSERT INTO t VALUES(7)");
    db->BeforeCommit([] { throw std::runtime_error("kept write refused"); });
    EXPECT_THROW(unit.Commit(), std::runtime_error);
    EXPECT_FALSE(db->InTransaction());
  }
  {
    Transaction unit(*db);
    db->BeforeCommit([&] { db->Exec("INSERT INTO t VALUES(8)"); });
    unit.Rollback();
  }
  Transaction next(*db);
  next.Commit();
  EXPECT_EQ(count(), 3);
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace velklk::sqlite
