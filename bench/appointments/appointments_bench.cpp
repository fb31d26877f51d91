// Cost per appointment of the appointment commands on the embedded
// platforms, beside the bare Outlook store and SQLite work the same records
// need, in the same run. The import walks 5 calendars holding appointments
// spread over one year, half of them entered in Outlook (new) and half
// linked to activities; the per-appointment time must stay flat from 1,000
// to 10,000 appointments.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "addin/public_classes.h"
#include "platform/host.h"
#include "platform/outlook.h"
#include "profile/profile.h"
#include "session/shared_state.h"
#include "support/bench_support.h"
#include "ui/recording_ui.h"

namespace velklk {
namespace {

using bench::Id;
using bench::kCalendars;
using bench::Mailbox;
using bench::Start;
using bench::ImportFixture;

struct Desk {
  std::unique_ptr<Profile> profile = Profile::InMemory();
  RecordingUserInterface ui;
  explicit Desk(const nlohmann::json& fixture) {
    profile->LoadFixture(fixture.dump());
    ResetState(profile->Services(&ui, "de"));
  }
  ~Desk() { Discard(); }
  void Discard() {
    ResetState(PlatformServices{});
    profile.reset();
  }
  std::shared_ptr<HostApplication> App() { return profile->Host().Application(); }
};

void PerAppointment(benchmark::State& state, int n) {
  state.counters["per_appointment"] = bench::PerRecord(static_cast<double>(n));
}

// SyncAppointments2VEL over the whole year: half the appointments become
// calendar entries, half are checked against their activities.
void BM_SyncAppointments2VEL(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const nlohmann::json fixture = ImportFixture(n);
  for (auto _ : state) {
    state.PauseTiming();
    Desk desk(fixture);
    CSync sync;
    auto app = desk.App();
    AutoDate from = *AutoDate::Parse("2026-01-01");
    AutoDate to = *AutoDate::Parse("2026-12-31");
    bool activities = true, entries = true;
    state.ResumeTiming();
    desk.profile->Begin();
    const bool ok = sync.SyncAppointments2VEL(app, from, to, activities, entries);
    desk.profile->Commit();
    state.PauseTiming();
    if (!ok || !desk.ui.MessageBoxes().empty()) state.SkipWithError("import failed");
    desk.Discard();
    state.ResumeTiming();
  }
  PerAppointment(state, n);
}

// The bare store and host work of the same import: per calendar the same
// date-range find; per new appointment a calendar entry, its link written
// back and a sync-log record; per linked one the look-up of its activity.
void BM_BareImportWork(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const nlohmann::json fixture = ImportFixture(n);
  for (auto _ : state) {
    state.PauseTiming();
    Desk desk(fixture);
    auto db = desk.profile->Host().Database();
    auto entries = db->Table("calA_Termine");
    auto activities = db->Table("Aktivitaeten");
    auto log = db->Table("TBKLK_SyncLog");
    state.ResumeTiming();
    desk.profile->Begin();
    for (int c = 0; c < kCalendars; ++c) {
      auto items = desk.profile->Outlook().FindFolder(Mailbox(c) + "\\Kalender")->Items();
      for (auto item = items->Find("[Start] >= \"01.01.2026\" and [Start] <= \"31.12.2026\""); item;
           item = items->FindNext()) {
        auto props = item->UserProperties();
        if (auto link = props->Find("velID")) {
          activities->SelectIndex("ID");
          benchmark::DoNotOptimize(activities->Seek(link->Value().ToText()));
          continue;
        }
        entries->NewRecord();
        entries->Field("Betreff")->SetValue(item->Get("Subject"));
        entries->Field("Datum")->SetValue(item->Get("Start"));
        entries->Field("DatumBis")->SetValue(item->Get("End"));
        entries->SaveNew();
        const std::string key = entries->Field("ID")->Value().ToText() + "calA_Termine";
        props->Add("velSearch", OlUserPropertyType::Text)->SetValue(Variant(key));
        item->Save();
        log->NewRecord();
        log->Field("velUser")->SetValue(Variant("U0"));
        log->Field("velSearch")->SetValue(Variant(key));
        log->SaveNew();
      }
    }
    desk.profile->Commit();
    state.PauseTiming();
    desk.Discard();
    state.ResumeTiming();
  }
  PerAppointment(state, n);
}

// The bare SQLite work of the same records: per new appointment one row of
// a calendar-entry table and one sync-log row under an indexed key, per
// linked one a look-up by its key.
void BM_BareSqlite(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    auto db = sqlite::Connection::Open(":memory:");
    db->Exec(
        "CREATE TABLE entry(id TEXT, betreff TEXT, datum REAL, bis REAL);"
        "CREATE UNIQUE INDEX entry_id ON entry(id);"
        "CREATE TABLE log(k TEXT); CREATE INDEX log_k ON log(k)");
    {
      auto insert = db->Prepare("INSERT INTO entry VALUES(?1, 'Termin', 46000.5, 46000.6)");
      auto logInsert = db->Prepare("INSERT INTO log VALUES(?1)");
      auto select = db->Prepare("SELECT * FROM entry WHERE id = ?1");
      state.ResumeTiming();
      db->Exec("BEGIN");
      for (int i = 0; i < n; ++i) {
        const std::string id = Id(100 + i);
        if (i % 2) {
          benchmark::DoNotOptimize(select.Bind(1, id).Step());
          select.Reset();
        } else {
          insert.Bind(1, id).Run();
          logInsert.Bind(1, "U0" + id + "calA_Termine").Run();
        }
      }
      db->Exec("COMMIT");
      state.PauseTiming();
    }
    db.reset();
    state.ResumeTiming();
  }
  PerAppointment(state, n);
}

// N activities of one user exported one call each in one session (the
// object keeps its start-up), then the same calls again with nothing changed.
nlohmann::json ExportFixture(int n) {
  nlohmann::json doc = ImportFixture(0);
  for (int i = 0; i < n; ++i) {
    doc["host"]["tables"]["Aktivitaeten"].push_back({{"ID", Id(100 + i)},
                                                     {"@master", "0000000002"},
                                                     {"Betreff", "Termin " + std::to_string(i)},
                                                     {"Datum", Start(i)},
                                                     {"Dauer", 0.0416666},
                                                     {"Verantwortlich", "U0"}});
  }
  return doc;
}

void AppSyncAll(Desk& desk, CSync& sync, int n, benchmark::State& state) {
  auto app = desk.App();
  std::string table = "Aktivitaeten", expression;
  for (int i = 0; i < n; ++i) {
    std::string id = Id(100 + i), activityId = id, activityTable = table;
    desk.profile->Begin();
    const bool ok = sync.AppSync2OL(app, id, table, activityId, activityTable, expression);
    desk.profile->Commit();
    if (!ok) state.SkipWithError("AppSync2OL failed");
  }
}

void BM_AppSync2OL_FirstExport(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const nlohmann::json fixture = ExportFixture(n);
  for (auto _ : state) {
    state.PauseTiming();
    Desk desk(fixture);
    CSync sync;
    state.ResumeTiming();
    AppSyncAll(desk, sync, n, state);
    state.PauseTiming();
    desk.Discard();
    state.ResumeTiming();
  }
  PerAppointment(state, n);
}

void BM_AppSync2OL_NoChange(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const nlohmann::json fixture = ExportFixture(n);
  for (auto _ : state) {
    state.PauseTiming();
    Desk desk(fixture);
    CSync sync;
    AppSyncAll(desk, sync, n, state);
    state.ResumeTiming();
    AppSyncAll(desk, sync, n, state);
    state.PauseTiming();
    desk.Discard();
    state.ResumeTiming();
  }
  PerAppointment(state, n);
}

#define VELKLK_SIZES(bm) \
  BENCHMARK(bm)->Arg(1000)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond)
VELKLK_SIZES(BM_SyncAppointments2VEL);
VELKLK_SIZES(BM_BareImportWork);
VELKLK_SIZES(BM_BareSqlite);
VELKLK_SIZES(BM_AppSync2OL_FirstExport);
VELKLK_SIZES(BM_AppSync2OL_NoChange);

}  // namespace
}  // namespace velklk

BENCHMARK_MAIN();
