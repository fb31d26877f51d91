// Stores and seeks per second of the embedded host, against raw SQLite doing
// the same inserts and indexed lookups on a table of the same shape, in the
// same run. Each store runs inside one unit of work, as the add-in's public
// calls wrap theirs.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "host/embedded_host.h"

namespace {

using velklk::EmbeddedHost;
using velklk::SettableClock;

constexpr int kRecords = 10000;

std::string TempPath(const char* name) {
  return (std::filesystem::temp_directory_path() /
          (std::string("velklk_bench_") + name + "_" + std::to_string(::getpid()) + ".db"))
      .string();
}

std::string Key(int i) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%010d", i);
  return buffer;
}

SettableClock& Clock() {
  static SettableClock clock(*velklk::AutoDate::Parse("2026-12-06 10:00:00"));
  return clock;
}

void StoreSyncLog(velklk::HostTable& log, int i) {
  log.NewRecord();
  log.Field("velUser")->SetValue("ANNA");
  log.Field("velTable")->SetValue("Adressen");
  log.Field("velID")->SetValue(Key(i));
  log.Field("velSearch")->SetValue(Key(i) + "Adressen");
  log.SaveNew();
}

// A host file with kRecords sync-log entries.
std::shared_ptr<EmbeddedHost> FilledHost(const std::string& path) {
  std::filesystem::remove(path);
  auto host = EmbeddedHost::OpenFile(path, &Clock());
  auto log = host->Database()->Table("TBKLK_SyncLog");
  host->Begin();
  for (int i = 1; i <= kRecords; ++i) StoreSyncLog(*log, i);
  host->Commit();
  return host;
}

void HostStores(benchmark::State& state) {
  const std::string path = TempPath("host_store");
  std::filesystem::remove(path);
  auto host = EmbeddedHost::OpenFile(path, &Clock());
  auto log = host->Database()->Table("TBKLK_SyncLog");
  int i = 0;
  host->Begin();
  for (auto _ : state) StoreSyncLog(*log, ++i);
  host->Commit();
  state.SetItemsProcessed(state.iterations());
  host.reset();
  std::filesystem::remove(path);
}
BENCHMARK(HostStores);

// Raw SQLite: one table with the same columns and indexes.
sqlite3* RawDatabase(const std::string& path) {
  std::filesystem::remove(path);
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  sqlite3_exec(db,
               "PRAGMA journal_mode=DELETE; PRAGMA synchronous=FULL;"
               "CREATE TABLE log(row INTEGER PRIMARY KEY, master INTEGER, tenants TEXT NOT NULL "
               "DEFAULT '', ID TEXT NOT NULL, velUser TEXT NOT NULL, velTable TEXT NOT NULL, "
               "velID TEXT NOT NULL, velSearch TEXT NOT NULL, ModifiziertAm REAL);"
               "CREATE UNIQUE INDEX log_id ON log(ID);"
               "CREATE INDEX log_master ON log(master, row);"
               "CREATE INDEX log_sync ON log((velUser || velSearch));",
               nullptr, nullptr, nullptr);
  return db;
}

void RawInsert(sqlite3_stmt* st, int i) {
  const std::string key = Key(i);
  const std::string search = key + "Adressen";
  sqlite3_bind_null(st, 1);
  sqlite3_bind_text(st, 2, key.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(st, 3, "ANNA", -1, SQLITE_STATIC);
  sqlite3_bind_text(st, 4, "Adressen", -1, SQLITE_STATIC);
  sqlite3_bind_text(st, 5, key.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(st, 6, search.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_double(st, 7, 46362.0);
  sqlite3_step(st);
  sqlite3_reset(st);
}

sqlite3_stmt* RawInsertStatement(sqlite3* db) {
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db,
                     "INSERT INTO log(master, ID, velUser, velTable, velID, velSearch, "
                     "ModifiziertAm) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)",
                     -1, &st, nullptr);
  return st;
}

void RawSqliteStores(benchmark::State& state) {
  const std::string path = TempPath("raw_store");
  sqlite3* db = RawDatabase(path);
  sqlite3_stmt* st = RawInsertStatement(db);
  int i = 0;
  sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  for (auto _ : state) RawInsert(st, ++i);
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  state.SetItemsProcessed(state.iterations());
  sqlite3_finalize(st);
  sqlite3_close(db);
  std::filesystem::remove(path);
}
BENCHMARK(RawSqliteStores);

void HostSeeks(benchmark::State& state, const char* index) {
  const std::string path = TempPath("host_seek");
  auto host = FilledHost(path);
  auto log = host->Database()->Table("TBKLK_SyncLog");
  log->SelectIndex(index);
  const bool bySync = std::string(index) == "SyncSearch";
  unsigned i = 0;
  benchmark::IterationCount found = 0;
  for (auto _ : state) {
    const int n = static_cast<int>((i++ * 7919u) % kRecords) + 1;
    const std::string key = bySync ? "ANNA" + Key(n) + "Adressen" : Key(n);
    found += log->Seek(key);
    benchmark::DoNotOptimize(log->Field("velSearch")->Value());
  }
  if (found != state.iterations()) state.SkipWithError("a seek missed");
  state.SetItemsProcessed(state.iterations());
  host.reset();
  std::filesystem::remove(path);
}
BENCHMARK_CAPTURE(HostSeeks, ID, "ID");
BENCHMARK_CAPTURE(HostSeeks, SyncSearch, "SyncSearch");

void RawSqliteSeeks(benchmark::State& state, bool bySync) {
  const std::string path = TempPath("raw_seek");
  sqlite3* db = RawDatabase(path);
  sqlite3_stmt* ins = RawInsertStatement(db);
  sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  for (int i = 1; i <= kRecords; ++i) RawInsert(ins, i);
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_finalize(ins);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db,
                     bySync ? "SELECT row, velSearch FROM log WHERE (velUser || velSearch) = ?1 "
                              "ORDER BY row LIMIT 1"
                            : "SELECT row, velSearch FROM log WHERE ID = ?1 ORDER BY row LIMIT 1",
                     -1, &st, nullptr);
  unsigned i = 0;
  benchmark::IterationCount found = 0;
  for (auto _ : state) {
    const int n = static_cast<int>((i++ * 7919u) % kRecords) + 1;
    const std::string key = bySync ? "ANNA" + Key(n) + "Adressen" : Key(n);
    sqlite3_bind_text(st, 1, key.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(st) == SQLITE_ROW) {
      ++found;
      benchmark::DoNotOptimize(sqlite3_column_text(st, 1));
    }
    sqlite3_reset(st);
  }
  if (found != state.iterations()) state.SkipWithError("a seek missed");
  state.SetItemsProcessed(state.iterations());
  sqlite3_finalize(st);
  sqlite3_close(db);
  std::filesystem::remove(path);
}
BENCHMARK_CAPTURE(RawSqliteSeeks, ID, false);
BENCHMARK_CAPTURE(RawSqliteSeeks, SyncSearch, true);

}  // namespace

BENCHMARK_MAIN();
