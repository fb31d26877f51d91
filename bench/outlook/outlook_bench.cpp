// The embedded Outlook store's costs: an indexed velSearch find against a
// full scan of the same folder, loading profiles of 10,000 and 100,000
// items with the memory the loaded store takes per item (beside bare SQLite
// holding the same rows in memory), and the commit cost of saves in the rollback journal (which
// lets one transaction span the CRM database and the profile) against WAL.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "outlook/embedded_outlook.h"
#include "platform/clock.h"
#include "sqlite/connection.h"

namespace velklk {
namespace {

struct BenchProfile {
  explicit BenchProfile(const std::string& tag) {
    dir = std::filesystem::temp_directory_path() /
          ("velklk-outlook-bench-" + std::to_string(::getpid()) + "-" + tag);
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
  }
  ~BenchProfile() { std::filesystem::remove_all(dir); }
  std::shared_ptr<sqlite::Connection> Connect() const {
    auto db = sqlite::Connection::Open((dir / "crm.db").string());
    db->Attach((dir / "outlook.db").string(), "outlook");
    return db;
  }
  std::filesystem::path dir;
};

// Resident memory of the process now, in bytes (freed heap given back first).
double RssNow() {
  malloc_trim(0);
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE));
}

// Peak resident memory of the process so far, in MB.
double PeakRssMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

SettableClock g_clock(AutoDate::FromParts(2026, 12, 6, 10, 0, 0));

nlohmann::json Contacts(int count) {
  nlohmann::json items = nlohmann::json::array();
  for (int i = 0; i < count; ++i) {
    const std::string id = std::to_string(1000000000 + i);
    items.push_back({{"class", "contact"},
                     {"LastName", "Name" + std::to_string(i)},
                     {"FirstName", "Vorname"},
                     {"BusinessAddressCity", "Stuttgart"},
                     {"Email1Address", "n" + std::to_string(i) + "@example.com"},
                     {"userProperties",
                      {{"velSearch", id + "Adressen"}, {"velTable", "Adressen"}, {"velID", id}}}});
  }
  return {{"stores",
           {{{"name", "anna@example.com"},
             {"folders",
              {{{"name", "Kontakte"},
                {"type", 2},
                {"userPropertyDefinitions",
                 {{"velSearch", "text"}, {"velTable", "text"}, {"velID", "text"}}},
                {"items", items}}}}}}}};
}

struct Loaded {
  explicit Loaded(int count) : profile("find" + std::to_string(count)) {
    db = profile.Connect();
    outlook = EmbeddedOutlook::Open(db, "outlook", &g_clock, "de");
    outlook->LoadFixture(Contacts(count), g_clock.Now());
    items = outlook->FindFolder("anna@example.com\\Kontakte")->Items();
  }
  BenchProfile profile;
  std::shared_ptr<sqlite::Connection> db;
  std::shared_ptr<EmbeddedOutlook> outlook;
  std::shared_ptr<OlItems> items;
};

Loaded& Hundred() {
  static Loaded loaded(100000);
  return loaded;
}

void BM_FindVelSearchIndexed(benchmark::State& state) {
  auto& l = Hundred();
  int i = 0;
  for (auto _ : state) {
    const std::string key = std::to_string(1000000000 + (i++ * 7919) % 100000) + "Adressen";
    benchmark::DoNotOptimize(l.items->Find("[velSearch] = \"" + key + "\""));
  }
}
BENCHMARK(BM_FindVelSearchIndexed);

// The same lookup on velID under a double Not, which no index serves: every
// find scans the folder.
void BM_FindVelIdFullScan(benchmark::State& state) {
  auto& l = Hundred();
  int i = 0;
  for (auto _ : state) {
    const std::string key = std::to_string(1000000000 + (i++ * 7919) % 100000);
    benchmark::DoNotOptimize(l.items->Find("Not (Not ([velID] = \"" + key + "\"))"));
  }
}
BENCHMARK(BM_FindVelIdFullScan)->Unit(benchmark::kMillisecond);

void BM_OpenProfile(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  BenchProfile profile("open" + std::to_string(count));
  {
    auto db = profile.Connect();
    EmbeddedOutlook::Open(db, "outlook", &g_clock, "de")
        ->LoadFixture(Contacts(count), g_clock.Now());
  }
  for (auto _ : state) {
    auto db = profile.Connect();
    auto outlook = EmbeddedOutlook::Open(db, "outlook", &g_clock, "de");
    benchmark::DoNotOptimize(outlook);
  }
  // The whole profile is held in memory while the store is open.
  const double before = RssNow();
  auto db = profile.Connect();
  auto outlook = EmbeddedOutlook::Open(db, "outlook", &g_clock, "de");
  outlook->FindFolder("anna@example.com\\Kontakte")->Items()->Find("[velSearch] = \"x\"");
  state.counters["bytes_per_item"] = (RssNow() - before) / count;
  state.counters["peak_rss_MB"] = PeakRssMb();
}

// Bare SQLite holding the same item rows (an entry ID, two time stamps and
// the stored values) in an in-memory database with its key index: the
// memory per row.
void BM_BareSqliteMemory(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  for (auto _ : state) {
    const double before = RssNow();
    sqlite3* db = nullptr;
    sqlite3_open(":memory:", &db);
    sqlite3_exec(db,
                 "CREATE TABLE items(id INTEGER PRIMARY KEY, folder INTEGER, class INTEGER, "
                 "entry_id TEXT, created REAL, modified REAL, data BLOB); "
                 "CREATE INDEX k ON items(entry_id); BEGIN",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO items VALUES(?1, 1, 40, ?2, 46362.4, 46362.4, ?3)", -1,
                       &insert, nullptr);
    const std::string blob(160, 'x');
    for (int i = 0; i < count; ++i) {
      char entryId[48];
      std::snprintf(entryId, sizeof entryId, "00000000A71C6B19E4D3425F%016X", i);
      sqlite3_bind_int(insert, 1, i + 1);
      sqlite3_bind_text(insert, 2, entryId, -1, SQLITE_TRANSIENT);
      sqlite3_bind_blob(insert, 3, blob.data(), static_cast<int>(blob.size()), SQLITE_STATIC);
      sqlite3_step(insert);
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    state.counters["bytes_per_item"] = (RssNow() - before) / count;
    sqlite3_close(db);
  }
  state.counters["peak_rss_MB"] = PeakRssMb();
}
BENCHMARK(BM_BareSqliteMemory)->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenProfile)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// One save per commit: the cost the synchronisation pays per item when each
// save is its own transaction, in the rollback journal and in WAL mode.
void SaveEach(benchmark::State& state, bool wal, bool oneTransaction) {
  BenchProfile profile(std::string("save") + (wal ? "wal" : "del") + (oneTransaction ? "1" : "n"));
  auto db = profile.Connect();
  if (wal) db->Exec("PRAGMA outlook.journal_mode=WAL");
  auto outlook = EmbeddedOutlook::Open(db, "outlook", &g_clock, "de");
  outlook->LoadFixture(Contacts(10), g_clock.Now());
  auto items = outlook->FindFolder("anna@example.com\\Kontakte")->Items();
  if (oneTransaction) db->Begin();
  int i = 0;
  for (auto _ : state) {
    auto item = items->Item(1 + (i++ % 10));
    item->Set("Body", std::to_string(i));
    item->Save();
  }
  if (oneTransaction) db->Commit();
}
void BM_SaveCommitEachRollbackJournal(benchmark::State& s) { SaveEach(s, false, false); }
void BM_SaveCommitEachWal(benchmark::State& s) { SaveEach(s, true, false); }
void BM_SaveInOneTransaction(benchmark::State& s) { SaveEach(s, false, true); }
BENCHMARK(BM_SaveCommitEachRollbackJournal)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SaveCommitEachWal)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SaveInOneTransaction)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace velklk

BENCHMARK_MAIN();
