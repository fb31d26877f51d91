// Calls per second of a host session on a profile on disk: one late-bound
// AddressOrContactSync2OL per address, each call its own unit of work
// committed before the next, as the velklk session runs them. Beside it, in
// the same run, bare SQLite doing a comparable unit per call (look up the
// address, write the Outlook item, look it up by key, add a sync-log
// record) with the same journal and durability, and with the two files and
// the rollback journal a profile used to have. The session also runs as
// velklk runs it, each call keeping its journal entry and the before-images
// of what it changed (for an undo) in its unit of work.
//
// The profiles live in VELKLK_BENCH_DIR (default: the temporary folder),
// which must be on the disk being measured. Arguments: addresses (= calls),
// durability (0 "process", 1 "power").
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "addin/type_library.h"
#include "changes/call_journal.h"
#include "changes/row_images.h"
#include "profile/profile.h"
#include "session/shared_state.h"
#include "sqlite/connection.h"
#include "support/address_export.h"
#include "support/bench_support.h"
#include "ui/recording_ui.h"

namespace velklk {
namespace {

namespace fs = std::filesystem;

using bench::Id;

fs::path BenchFolder(const std::string& name) {
  const char* base = std::getenv("VELKLK_BENCH_DIR");
  fs::path dir = (base != nullptr && *base != '\0') ? fs::path(base) : fs::temp_directory_path();
  dir /= "velklk-session-bench-" + std::to_string(::getpid()) + "-" + name;
  fs::remove_all(dir);
  return dir;
}

sqlite::Durability DurabilityOf(const benchmark::State& state) {
  return state.range(1) == 0 ? sqlite::Durability::ProcessKill : sqlite::Durability::PowerLoss;
}

// N addresses, every one ANNA's favourite.
std::string AddressFixture(int n) { return bench::AddressFixture(n).dump(); }

void CallsPerSecond(benchmark::State& state) {
  state.counters["calls_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// The session: N late-bound calls, one unit of work each, on disk; with
// `journal`, each call also writes its journal entry and before-images.
void SessionCalls(benchmark::State& state, bool journal) {
  const int n = static_cast<int>(state.range(0));
  const fs::path dir = BenchFolder("profile");
  RecordingUserInterface ui;
  {
    auto profile = Profile::Create(dir.string(), AddressFixture(n), DurabilityOf(state));
    ResetState(profile->Services(&ui, "de"));
    auto exporter = std::make_unique<bench::AddressExport>(*profile);
    int i = 0;
    for (auto _ : state) {
      if (!exporter->Call(++i, journal)) state.SkipWithError("export failed");
    }
    exporter.reset();
    ResetState(PlatformServices{});
  }
  CallsPerSecond(state);
  fs::remove_all(dir);
}

void BM_SessionAddressOrContactSync2OL(benchmark::State& state) { SessionCalls(state, false); }
void BM_SessionWithJournalAndUndoImages(benchmark::State& state) { SessionCalls(state, true); }

// Bare SQLite: per call one transaction that looks the address up, writes an
// Outlook item of the size the export writes, finds it by its key and adds a
// sync-log record. `twoFiles`: the Outlook tables in an attached second
// file with the rollback journal, the layout profiles used to have.
void BareCalls(benchmark::State& state, bool twoFiles) {
  const int n = static_cast<int>(state.range(0));
  const fs::path dir = BenchFolder(twoFiles ? "bare-two-files" : "bare");
  fs::create_directories(dir);
  {
    std::shared_ptr<sqlite::Connection> db;
    std::string ol = "main.ol_";
    if (twoFiles) {
      db = sqlite::Connection::Open((dir / "crm.db").string(), sqlite::Journal::Rollback,
                                    DurabilityOf(state));
      db->Attach((dir / "outlook.db").string(), "outlook");
      ol = "outlook.";
    } else {
      db = sqlite::Connection::Open((dir / "crm.db").string(), sqlite::Journal::Wal,
                                    DurabilityOf(state), sqlite::LogWrites::Plain);
    }
    bench::BareSessionUnit unit(*db, n, ol + "items");
    int i = 0;
    for (auto _ : state) unit.Call(++i);
  }
  CallsPerSecond(state);
  fs::remove_all(dir);
}

void BM_BareSqliteOneFile(benchmark::State& state) { BareCalls(state, false); }
void BM_BareSqliteTwoFilesRollbackJournal(benchmark::State& state) { BareCalls(state, true); }

// Every call once: the iterations are the addresses. Durability "power"
// syncs the disk per call, so it runs on the smaller profile only; the
// two-file layout syncs several times per call and runs 200 calls.
#define VELKLK_SESSION_BENCH(function, addresses, durability, calls) \
  BENCHMARK(function)                                                \
      ->Args({addresses, durability})                                \
      ->Iterations(calls)                                            \
      ->Unit(benchmark::kMicrosecond)                                \
      ->UseRealTime()
VELKLK_SESSION_BENCH(BM_SessionAddressOrContactSync2OL, 1000, 0, 1000);
VELKLK_SESSION_BENCH(BM_SessionWithJournalAndUndoImages, 1000, 0, 1000);
VELKLK_SESSION_BENCH(BM_BareSqliteOneFile, 1000, 0, 1000);
VELKLK_SESSION_BENCH(BM_SessionAddressOrContactSync2OL, 10000, 0, 10000);
VELKLK_SESSION_BENCH(BM_BareSqliteOneFile, 10000, 0, 10000);
VELKLK_SESSION_BENCH(BM_SessionAddressOrContactSync2OL, 1000, 1, 1000);
VELKLK_SESSION_BENCH(BM_BareSqliteOneFile, 1000, 1, 1000);
VELKLK_SESSION_BENCH(BM_BareSqliteTwoFilesRollbackJournal, 1000, 0, 200);
VELKLK_SESSION_BENCH(BM_BareSqliteTwoFilesRollbackJournal, 1000, 1, 200);

}  // namespace
}  // namespace velklk

BENCHMARK_MAIN();
