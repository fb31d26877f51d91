// Cost per task of the task commands on the embedded platforms, beside the
// bare host and Outlook store work the same tasks need and bare SQLite. The
// per-task time must stay flat from 1,000 to 10,000 tasks.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

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

constexpr const char* kFolder = "anna@velmora.example\\Aufgaben";

using bench::Id;
using bench::NewTasksFixture;

nlohmann::json BaseFixture() {
  return nlohmann::json::parse(R"({
    "now": "2026-12-06 12:00:00",
    "host": {"currentUser": "ANNA", "users": [ {"name": "ANNA", "settings": {
        "PREXOLContactPath": "anna@velmora.example\\Kontakte",
        "PREXOLCalPath": "anna@velmora.example\\Kalender",
        "PREXOLTaskPath": "anna@velmora.example\\Aufgaben",
        "TBKLK_ImportTasks": "True"}} ], "tables": {"WRTM_Tasks": [], "TBKLK_SyncLog": []}},
    "outlook": {"stores": [ {"name": "anna@velmora.example", "folders": [
        {"name": "Kontakte", "type": 2, "items": [], "folders": []},
        {"name": "Kalender", "type": 1, "items": [], "folders": []},
        {"name": "Aufgaben", "type": 3, "items": [], "folders": [],
         "userPropertyDefinitions": {"velTable": "text", "velID": "text", "velSearch": "text",
                                     "velStatus1": "yesno", "velGroupName": "text"}} ]} ]}})");
}

nlohmann::json& TaskItems(nlohmann::json& doc) {
  return doc["outlook"]["stores"][0]["folders"][2]["items"];
}

nlohmann::json HostTask(int i) {
  return {{"ID", Id(i)},
          {"Responsible", "ANNA"},
          {"CreatedBy", "ANNA"},
          {"Subject", "Aufgabe " + std::to_string(i)},
          {"Description", "Notiz"},
          {"Status", 2},
          {"DoneInPercent", 50},
          {"Duration", 1.5},
          {"StartDate", "2026-12-07 00:00:00"},
          {"EndDate", "2026-12-11 00:00:00"},
          {"ModifiziertAm", "2026-12-06 09:00:00"}};
}

// N host tasks done in the host at 11:00, each with its open Outlook task
// saved at 10:00 and its sync-log entry.
nlohmann::json CompletedFixture(int n) {
  nlohmann::json doc = BaseFixture();
  auto& tasks = doc["host"]["tables"]["WRTM_Tasks"];
  auto& log = doc["host"]["tables"]["TBKLK_SyncLog"];
  for (int i = 1; i <= n; ++i) {
    nlohmann::json t = HostTask(i);
    t["Status"] = 5;
    t["ModifiziertAm"] = "2026-12-06 11:00:00";
    tasks.push_back(t);
    log.push_back({{"velUser", "ANNA"}, {"velTable", "WRTM_Tasks"}, {"velSearch", Id(i)}});
    TaskItems(doc).push_back({{"class", "task"},
                              {"Subject", t["Subject"]},
                              {"PercentComplete", 50},
                              {"Status", 1},
                              {"LastModificationTime", "2026-12-06 10:00:00"},
                              {"userProperties",
                               {{"velTable", "WRTM_Tasks"},
                                {"velID", Id(i)},
                                {"velSearch", Id(i) + "WRTM_Tasks"},
                                {"velStatus1", false}}}});
  }
  return doc;
}

nlohmann::json HostTasksFixture(int n) {
  nlohmann::json doc = BaseFixture();
  for (int i = 1; i <= n; ++i) doc["host"]["tables"]["WRTM_Tasks"].push_back(HostTask(i));
  return doc;
}

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

void PerTask(benchmark::State& state, int n) {
  state.counters["per_task"] = bench::PerRecord(static_cast<double>(n));
}

// One import command over N new Outlook tasks.
void BM_SyncTasks2VEL_ImportNew(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    Desk desk(NewTasksFixture(n));
    CSync sync;
    auto app = desk.App();
    bool group = false;
    state.ResumeTiming();
    desk.profile->Begin();
    if (!sync.SyncTasks2VEL(app, group)) state.SkipWithError("import failed");
    desk.profile->Commit();
    state.PauseTiming();
    if (!desk.ui.MessageBoxes().empty()) state.SkipWithError("import showed a message");
    desk.Discard();
    state.ResumeTiming();
  }
  PerTask(state, n);
}

// One import command mirroring N completions made in the host.
void BM_SyncTasks2VEL_MirrorCompletions(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    Desk desk(CompletedFixture(n));
    CSync sync;
    auto app = desk.App();
    bool group = false;
    state.ResumeTiming();
    desk.profile->Begin();
    if (!sync.SyncTasks2VEL(app, group)) state.SkipWithError("import failed");
    desk.profile->Commit();
    state.PauseTiming();
    auto last = desk.profile->Outlook().FindFolder(kFolder)->Items()->Item(n);
    if (last->Get("PercentComplete").ToLong() != 100) state.SkipWithError("not mirrored");
    desk.Discard();
    state.ResumeTiming();
  }
  PerTask(state, n);
}

// N single-task commands in one session, each its own unit of work.
void BM_TaskSync2OL_PerCall(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    Desk desk(HostTasksFixture(n));
    CSync sync;
    auto app = desk.App();
    std::string table = "WRTM_Tasks";
    bool group = false;
    state.ResumeTiming();
    for (int i = 1; i <= n; ++i) {
      std::string id = Id(i);
      desk.profile->Begin();
      const bool ok = sync.TaskSync2OL(app, id, table, group);
      desk.profile->Commit();
      if (!ok) state.SkipWithError("export failed");
    }
    state.PauseTiming();
    desk.Discard();
    state.ResumeTiming();
  }
  PerTask(state, n);
}

// The bare store work of one imported task: read the Outlook task, add a
// host task and a sync-log record, write the link onto the Outlook task and
// save it.
void BM_BareStoreWork(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    Desk desk(NewTasksFixture(n));
    auto db = desk.profile->Host().Database();
    auto tasks = db->Table("WRTM_Tasks");
    auto log = db->Table("TBKLK_SyncLog");
    auto items = desk.profile->Outlook().FindFolder(kFolder)->Items();
    state.ResumeTiming();
    desk.profile->Begin();
    for (int i = 1; i <= n; ++i) {
      auto task = items->Item(i);
      tasks->NewRecord();
      for (const char* p : {"Subject", "Body", "DueDate", "TotalWork", "PercentComplete", "Status"})
        tasks->Field("Description")->SetValue(task->Get(p));
      tasks->SaveNew();
      const std::string id = tasks->Field("ID")->Value().ToText();
      log->NewRecord();
      log->Field("velUser")->SetValue(Variant("ANNA"));
      log->Field("velSearch")->SetValue(Variant(id));
      log->SaveNew();
      for (const char* p : {"velTable", "velID", "velSearch"})
        task->UserProperties()->Add(p, OlUserPropertyType::Text)->SetValue(Variant(id));
      task->Save();
    }
    desk.profile->Commit();
    state.PauseTiming();
    desk.Discard();
    state.ResumeTiming();
  }
  PerTask(state, n);
}

// The bare SQLite work of one task: insert a row of a dozen columns under an
// indexed key, then look it up by that key.
void BM_BareSqlite(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  bench::BareSqliteRows(state, n, "WRTM_Tasks", "Angebot nachfassen");
  PerTask(state, n);
}

#define VELKLK_TASK_BENCH(name) \
  BENCHMARK(name)->Arg(1000)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond)
VELKLK_TASK_BENCH(BM_SyncTasks2VEL_ImportNew);
VELKLK_TASK_BENCH(BM_SyncTasks2VEL_MirrorCompletions);
VELKLK_TASK_BENCH(BM_TaskSync2OL_PerCall);
VELKLK_TASK_BENCH(BM_BareStoreWork);
VELKLK_TASK_BENCH(BM_BareSqlite);

}  // namespace
}  // namespace velklk

BENCHMARK_MAIN();
