// The embedded Outlook store's costs: an indexed velSearch find against a
// full scan of the same folder, loading profiles of 10,000 and 100,000
// items, and the commit cost of saves in the rollback journal (which lets
// one transaction span the CRM database and the profile) against WAL.
#include <benchmark/benchmark.h>
#include <unistd.h>

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

// The same lookup on velID, which has no index: every find scans the folder.
void BM_FindVelIdFullScan(benchmark::State& state) {
  auto& l = Hundred();
  int i = 0;
  for (auto _ : state) {
    const std::string key = std::to_string(1000000000 + (i++ * 7919) % 100000);
    benchmark::DoNotOptimize(l.items->Find("[velID] = \"" + key + "\""));
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
}
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
