// The write-ahead log's frames written together: what a commit guarantees
// must not change. Other connections see each commit as soon as it
// returned, the log left by a crash recovers every commit (its frames and
// checksums are whole, also where SQLite rewrote them), and a write the
// file refuses fails its commit and nothing before it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "sqlite/connection.h"
#include "sqlite/transaction.h"

namespace velklk::sqlite {
namespace {

namespace fs = std::filesystem;

class LogWrites : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("velklk-log-writes-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::shared_ptr<Connection> Writer() {
    auto db = Connection::Open((dir_ / "crm.db").string(), Journal::Wal, Durability::ProcessKill);
    // The log keeps every commit until the test looks at it.
    db->Exec("PRAGMA wal_autocheckpoint=0");
    db->Exec("CREATE TABLE IF NOT EXISTS t(id INTEGER PRIMARY KEY, v BLOB)");
    return db;
  }
  // Rows and the sum of their sizes, read through SQLite's own file layer.
  static std::string Contents(const fs::path& file) {
    sqlite3* db = nullptr;
    std::string out = "cannot open";
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
      sqlite3_stmt* st = nullptr;
      sqlite3_prepare_v2(db,
                         "SELECT count(*) || ' rows, ' || total(length(v)) || ' bytes, ' || "
                         "(SELECT integrity_check FROM pragma_integrity_check) FROM t",
                         -1, &st, nullptr);
      out = st && sqlite3_step(st) == SQLITE_ROW
                ? reinterpret_cast<const char*>(sqlite3_column_text(st, 0))
                : sqlite3_errmsg(db);
      sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return out;
  }
  static void Insert(Connection& db, int rows, int size) {
    Transaction work(db, Transaction::Locking::Immediate);
    auto st = db.Prepare("INSERT INTO t(v) VALUES(zeroblob(?1))");
    for (int i = 0; i < rows; ++i) {
      st.Bind(1, size).Run();
      st.Reset();
    }
    work.Commit();
  }
  fs::path dir_;
};

TEST_F(LogWrites, EveryCommitIsSeenAtOnceAndRecoversFromTheLogAfterACrash) {
  auto db = Writer();
  Insert(*db, 1, 10);  // a commit of one page
  EXPECT_EQ(Contents(dir_ / "crm.db"), "1 rows, 10.0 bytes, ok");
  Insert(*db, 400, 3000);  // frames of more than one write
  EXPECT_EQ(Contents(dir_ / "crm.db"), "401 rows, 1200010.0 bytes, ok");
  {
    // A cache too small for the transaction: its pages go to the log before
    // the commit and some are written again, whose checksums SQLite then
    // rewrites in the file.
    db->Exec("PRAGMA cache_size=8");
    Transaction work(*db, Transaction::Locking::Immediate);
    db->Exec(
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300) "
        "INSERT INTO t(v) SELECT zeroblob(500) FROM n");
    db->Exec("UPDATE t SET v = zeroblob(20)");
    work.Commit();
  }
  EXPECT_EQ(Contents(dir_ / "crm.db"), "701 rows, 14020.0 bytes, ok");

  // The files as a crash leaves them (the database never checkpointed, the
  // log's index gone): opening them recovers every commit from the log.
  const fs::path copy = dir_ / "copy";
  fs::create_directories(copy);
  fs::copy_file(dir_ / "crm.db", copy / "crm.db");
  fs::copy_file(dir_ / "crm.db-wal", copy / "crm.db-wal");
  EXPECT_GT(fs::file_size(copy / "crm.db-wal"), 1'000'000u);
  EXPECT_EQ(Contents(copy / "crm.db"), "701 rows, 14020.0 bytes, ok");
}

TEST_F(LogWrites, AWriteTheFileRefusesFailsItsCommitAndNothingBefore) {
  {
    auto db = Writer();
    Insert(*db, 10, 100);
  }
  // In a child, whose files may grow only a little: what it cannot write
  // must fail the commit, small or large, and leave the earlier ones.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    int failed = 0;
    auto db = Writer();
    Insert(*db, 1, 10);
    const auto log = fs::file_size(dir_ / "crm.db-wal");
    rlimit limit{static_cast<rlim_t>(log + 100), static_cast<rlim_t>(log + 100)};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    for (int size : {10, 100'000}) {
      try {
        Insert(*db, 2, size);
        failed |= 1;  // reported as saved
      } catch (const SqliteError&) {
      }
      if (db->InTransaction()) failed |= 2;
    }
    ::_exit(failed);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: a refused commit was reported; 2: left open";
  EXPECT_EQ(Contents(dir_ / "crm.db"), "11 rows, 1010.0 bytes, ok");
  auto db = Writer();
  Insert(*db, 1, 10);
  EXPECT_EQ(Contents(dir_ / "crm.db"), "12 rows, 1020.0 bytes, ok");
}

}  // namespace
}  // namespace velklk::sqlite
