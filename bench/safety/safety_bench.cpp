// What the progress of a bulk run and the report of a call cost: each bulk
// command on N new Outlook items, run plainly (progress not shown, no
// observer), with progress events written as the velklk command writes them,
// with the report's change log, and with the dry run's change log (values
// kept). The plain run of the same command is the baseline of the others; a
// bare SQLite run of the same number of row writes stands beside them.
// On a loaded machine the times vary by more than the costs measured; the
// instructions of the command alone are steady:
//   valgrind --tool=callgrind --toggle-collect='*CSync::SyncTasks2VEL*'
//     safety_bench --benchmark_filter='BM_SyncTasks2VEL/2000/1/'
// (one command line)
// and the same with the other modes.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>
#include <streambuf>
#include <string>

#include "addin/public_classes.h"
#include "changes/change_log.h"
#include "platform/host.h"
#include "profile/profile.h"
#include "session/shared_state.h"
#include "support/bench_support.h"
#include "ui/console_ui.h"

namespace velklk {
namespace {

enum Mode { kPlain, kProgress, kReport, kDryRunLog };

nlohmann::json BaseFixture() {
  return nlohmann::json::parse(R"({
    "now": "2026-12-06 10:00:00",
    "host": {"currentUser": "ANNA", "users": [ {"name": "ANNA",
        "properties": {"EMail": "anna@velmora.example"}, "settings": {
        "PREXOLContactPath": "anna@velmora.example\\Kontakte",
        "PREXOLCalPath": "anna@velmora.example\\Kalender",
        "PREXOLTaskPath": "anna@velmora.example\\Aufgaben",
        "TBKLK_ImportTasks": "True"}} ], "tables": {
        "Adressen": [{"ID": "0000000001", "An": "Firma", "Name": "Muster GmbH"}],
        "Vorgaenge": [{"ID": "0000000002", "@master": "0000000001", "Betreff": "Termine"}]}},
    "outlook": {"stores": [ {"name": "anna@velmora.example", "folders": [
        {"name": "Kontakte", "type": 2, "items": [], "folders": []},
        {"name": "Kalender", "type": 1, "items": [], "folders": []},
        {"name": "Aufgaben", "type": 3, "items": [], "folders": []} ]} ]}})");
}

// N new items in the folder `folder` (0 contacts, 1 calendar, 2 tasks).
nlohmann::json NewItems(int folder, int n) {
  nlohmann::json doc = BaseFixture();
  auto& items = doc["outlook"]["stores"][0]["folders"][folder]["items"];
  for (int i = 1; i <= n; ++i) {
    const std::string k = std::to_string(i);
    if (folder == 0) {
      items.push_back({{"class", "contact"},
                       {"FirstName", "Eva"},
                       {"LastName", "Sommer " + k},
                       {"Email1Address", "c" + k + "@example.com"}});
    } else if (folder == 1) {
      char start[32];
      std::snprintf(start, sizeof start, "2026-%02d-%02d 10:00:00", 1 + i % 12, 1 + i % 28);
      items.push_back(
          {{"class", "appointment"}, {"Subject", "Termin " + k}, {"Start", start}, {"End", start}});
    } else {
      items.push_back(
          {{"class", "task"}, {"Subject", "Aufgabe " + k}, {"DueDate", "2026-12-20 00:00:00"}});
    }
  }
  return doc;
}

// Output that goes nowhere (the progress lines are made, not kept).
class NullBuffer final : public std::streambuf {
 protected:
  int overflow(int c) override { return c; }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

void Run(benchmark::State& state, int folder) {
  const int n = static_cast<int>(state.range(0));
  const auto mode = static_cast<Mode>(state.range(1));
  const std::string fixture = NewItems(folder, n).dump();
  NullBuffer nothing;
  std::ostream out(&nothing);
  for (auto _ : state) {
    state.PauseTiming();
    auto profile = Profile::InMemory();
    profile->LoadFixture(fixture);
    ConsoleUserInterface ui(out, {});
    if (mode == kProgress) ui.ShowProgress(ConsoleUserInterface::ProgressStyle::JsonLines);
    ResetState(profile->Services(&ui, "de"));
    ChangeLog log(mode == kDryRunLog);
    if (mode == kReport || mode == kDryRunLog) {
      profile->Host().SetChangeObserver(&log);
      profile->Outlook().SetChangeObserver(&log);
    }
    CSync sync;
    auto app = profile->Host().Application();
    bool yes = true, no = false;
    AutoDate from = *AutoDate::Parse("2026-01-01");
    AutoDate to = *AutoDate::Parse("2026-12-31");
    state.ResumeTiming();
    profile->Begin();
    bool ok = false;
    if (folder == 0) ok = sync.SyncContacts2VEL(app);
    if (folder == 1) ok = sync.SyncAppointments2VEL(app, from, to, yes, yes);
    if (folder == 2) ok = sync.SyncTasks2VEL(app, no);
    if (mode != kPlain) benchmark::DoNotOptimize(log.CountsJson());
    profile->Commit();
    state.PauseTiming();
    if (!ok) state.SkipWithError("the command failed");
    profile->Host().SetChangeObserver(nullptr);
    profile->Outlook().SetChangeObserver(nullptr);
    ResetState(PlatformServices{});
    profile.reset();
    state.ResumeTiming();
  }
  state.counters["per_item"] = bench::PerRecord(n);
}

void BM_SyncContacts2VEL(benchmark::State& state) { Run(state, 0); }
void BM_SyncAppointments2VEL(benchmark::State& state) { Run(state, 1); }
void BM_SyncTasks2VEL(benchmark::State& state) { Run(state, 2); }

// The bare SQLite work of as many rows: one insert and one look-up each.
void BM_BareSqlite(benchmark::State& state) {
  bench::BareSqliteRows(state, static_cast<int>(state.range(0)), "Adressen", "Muster GmbH");
}

// Arguments: N items, then the mode (0 plain, 1 progress, 2 report, 3 dry-run log).
void Modes(benchmark::internal::Benchmark* b) {
  for (int mode = kPlain; mode <= kDryRunLog; ++mode) b->Args({2000, mode});
  b->Iterations(2)->Unit(benchmark::kMillisecond);
}

}  // namespace
}  // namespace velklk

BENCHMARK(velklk::BM_SyncContacts2VEL)->Apply(velklk::Modes);
BENCHMARK(velklk::BM_SyncAppointments2VEL)->Apply(velklk::Modes);
BENCHMARK(velklk::BM_SyncTasks2VEL)->Apply(velklk::Modes);
BENCHMARK(velklk::BM_BareSqlite)->Arg(2000)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
