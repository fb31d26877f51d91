// The path users run: the built velklk command as a subprocess on a profile
// on disk, beside the in-process work of the same command on the same
// profile and the bare SQLite work of the same rows, in the same run.
//
//   Session/*      N late-bound AddressOrContactSync2OL calls on N addresses:
//                  a `velklk session` (one command per line), the library's
//                  loop (without and with the journal entry and before-images
//                  velklk keeps), and bare SQLite doing one unit per call.
//   Contacts/*, Appointments/*, Tasks/*
//                  one `velklk call velKLK.CSync SyncContacts2VEL` (and the
//                  appointment and task imports) over N new Outlook items, the
//                  same command in-process on the same profile (its opening
//                  is not timed, see open_ms), a dry run of it through velklk,
//                  and bare SQLite doing the rows of the import.
//   Profile/*      on a profile of N Outlook contacts: a call that does next
//                  to nothing (the opening of the profile), `velklk dump` of
//                  it and `velklk load` of that dump into a new folder.
//
// Each velklk run reports its wall time and its peak memory (maxrss_MB, the
// child's ru_maxrss). The in-process and bare sides include folding their
// log into the database, which velklk does when it closes the profile; bare
// SQLite writes its log with SQLite's own two calls per page. Before each
// measurement the page cache's dirty pages (a profile just copied) are
// written, so that no side's first sync pays for them. N is 1,000 and
// 10,000 (dump and load: 10,000); VELKLK_BENCH_LARGE=1 adds 100,000. The
// profiles live in VELKLK_BENCH_DIR (default: the temporary folder), removed
// at the end unless VELKLK_BENCH_KEEP=1 (to profile velklk on them);
// VELKLK_CLI names another velklk than the one built beside this benchmark.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "addin/public_classes.h"
#include "addin/type_library.h"
#include "changes/call_journal.h"
#include "changes/row_images.h"
#include "profile/profile.h"
#include "session/shared_state.h"
#include "sqlite/connection.h"
#include "support/address_export.h"
#include "support/bench_support.h"
#include "ui/recording_ui.h"

extern char** environ;

namespace velklk {
namespace {

namespace fs = std::filesystem;
using bench::Id;
using Clock = std::chrono::steady_clock;

fs::path BenchRoot() {
  static const fs::path root = [] {
    const char* base = std::getenv("VELKLK_BENCH_DIR");
    fs::path dir = (base != nullptr && *base != '\0') ? fs::path(base) : fs::temp_directory_path();
    dir /= "velklk-cli-bench-" + std::to_string(::getpid());
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
  }();
  return root;
}

std::string Velklk() {
  const char* path = std::getenv("VELKLK_CLI");
  return (path != nullptr && *path != '\0') ? path : VELKLK_CLI_PATH;
}

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

struct ChildRun {
  double seconds = 0;
  double maxRssMb = 0;
  bool ok = false;
};

// Runs `argv` with standard input from `in` and standard output to `out`;
// its wall time and peak memory.
ChildRun Spawn(std::vector<std::string> all, const std::string& in, const std::string& out) {
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  ChildRun run;
  const auto start = Clock::now();
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return run;
  int status = 0;
  struct rusage usage {};
  if (::wait4(pid, &status, 0, &usage) != pid) return run;
  run.seconds = Seconds(start);
  run.maxRssMb = static_cast<double>(usage.ru_maxrss) / 1024.0;
  run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return run;
}

// A child's peak memory counts what its parent held when it was made, so
// the runs start from a small process forked before the benchmarks fill
// this one: it takes requests (the arguments, input and output, each ended
// by a zero byte, then an empty one) on a pipe and answers each with its
// ChildRun.
struct Spawner {
  int requests = -1, answers = -1;

  void Start() {
    int toChild[2], toParent[2];
    if (::pipe(toChild) != 0 || ::pipe(toParent) != 0) return;
    if (::fork() == 0) {
      ::close(toChild[1]);
      ::close(toParent[0]);
      Serve(toChild[0], toParent[1]);
      ::_exit(0);
    }
    ::close(toChild[0]);
    ::close(toParent[1]);
    requests = toChild[1];
    answers = toParent[0];
  }

  static void Serve(int in, int out) {
    std::vector<std::string> words;
    std::string word;
    char c;
    while (::read(in, &c, 1) == 1) {
      if (c != '\0') {
        word += c;
        continue;
      }
      if (!word.empty()) {
        words.push_back(std::move(word));
        word.clear();
        continue;
      }
      // in, out, then the arguments
      const std::string input = words.at(0), output = words.at(1);
      words.erase(words.begin(), words.begin() + 2);
      const ChildRun run = Spawn(words, input, output);
      words.clear();
      if (::write(out, &run, sizeof run) != static_cast<ssize_t>(sizeof run)) return;
    }
  }

  ChildRun Run(const std::vector<std::string>& argv, const std::string& in,
               const std::string& out) const {
    std::string request = in + '\0' + out + '\0';
    for (const auto& a : argv) request += a + '\0';
    request += '\0';
    ChildRun run;
    if (::write(requests, request.data(), request.size()) != static_cast<ssize_t>(request.size()) ||
        ::read(answers, &run, sizeof run) != static_cast<ssize_t>(sizeof run))
      return ChildRun{};
    return run;
  }
};

Spawner g_spawner;

// Writes what earlier steps left dirty in the page cache (a profile just
// copied, a fixture) before a measurement starts: otherwise the first sync
// of whichever side is measured next pays for it, which is not its work.
void Settle() { ::sync(); }

// Folds the log into the database, as velklk does when it closes the
// profile: each side's time includes writing its rows to the database.
void Fold(sqlite::Connection& db) { db.Exec("PRAGMA main.wal_checkpoint(PASSIVE)"); }

// Runs velklk with `args`, standard input from `in` and standard output to
// `out` (files); its wall time and peak memory.
ChildRun RunVelklk(const std::vector<std::string>& args, const std::string& in = "/dev/null",
                   const std::string& out = "/dev/null") {
  std::vector<std::string> all{Velklk()};
  all.insert(all.end(), args.begin(), args.end());
  Settle();
  return g_spawner.Run(all, in, out);
}

// ---------------------------------------------------------------- fixtures

// The same Outlook items as the in-process benchmarks.
nlohmann::json ContactsFixture(int n) { return bench::NewContactsFixture(n); }
nlohmann::json AppointmentsFixture(int n) { return bench::ImportFixture(n); }
// N tasks entered in Outlook, imported by the user.
nlohmann::json TasksFixture(int n) {
  nlohmann::json doc = bench::NewTasksFixture(n);
  doc["host"]["users"][0]["settings"]["TBKLK_ImportTasks"] = "True";
  return doc;
}

// A profile made from a fixture once per name, copied for every run (the
// commands change it).
fs::path FreshProfile(const std::string& name, const std::function<nlohmann::json()>& fixture) {
  static std::map<std::string, fs::path> made;
  auto found = made.find(name);
  if (found == made.end()) {
    const fs::path dir = BenchRoot() / ("template-" + name);
    Profile::Create(dir.string(), fixture().dump());
    found = made.emplace(name, dir).first;
  }
  const fs::path copy = BenchRoot() / ("run-" + name);
  fs::remove_all(copy);
  fs::copy(found->second, copy, fs::copy_options::recursive);
  Settle();
  return copy;
}

void PerItem(benchmark::State& state, int n) {
  state.counters["per_item"] = bench::PerRecord(static_cast<double>(n));
}

void Report(benchmark::State& state, const ChildRun& run) {
  if (!run.ok) state.SkipWithError("velklk failed");
  state.SetIterationTime(run.seconds);
  state.counters["maxrss_MB"] = run.maxRssMb;
}

// A new database for bare SQLite's side, on disk in the profile's journal
// mode and durability, alone in `dir`.
std::shared_ptr<sqlite::Connection> BareDatabase(const fs::path& dir) {
  fs::remove_all(dir);
  fs::create_directories(dir);
  return sqlite::Connection::Open((dir / "crm.db").string(), sqlite::Journal::Wal,
                                  sqlite::Durability::ProcessKill, sqlite::LogWrites::Plain);
}

// ---------------------------------------------------------------- bulk commands

struct Bulk {
  std::string name;  // Contacts, Appointments, Tasks
  std::function<nlohmann::json(int)> fixture;
  std::vector<std::string> call;  // member and arguments
};

const std::vector<Bulk>& Bulks() {
  static const std::vector<Bulk> bulks{
      {"Contacts", ContactsFixture, {"SyncContacts2VEL"}},
      {"Appointments",
       AppointmentsFixture,
       {"SyncAppointments2VEL", "2026-01-01", "2026-12-31", "True", "True"}},
      {"Tasks", TasksFixture, {"SyncTasks2VEL", "False"}}};
  return bulks;
}

void BulkVelklk(benchmark::State& state, const Bulk& bulk, bool dryRun) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    const fs::path dir =
        FreshProfile(bulk.name + std::to_string(n), [&] { return bulk.fixture(n); });
    std::vector<std::string> args{"-p", dir.string(), "call"};
    if (dryRun) args.push_back("--dry-run");
    args.push_back("velKLK.CSync");
    args.insert(args.end(), bulk.call.begin(), bulk.call.end());
    Report(state, RunVelklk(args));
  }
  PerItem(state, n);
}

void BulkInProcess(benchmark::State& state, const Bulk& bulk) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    const fs::path dir =
        FreshProfile(bulk.name + std::to_string(n), [&] { return bulk.fixture(n); });
    const auto opening = Clock::now();
    auto profile = Profile::Open(dir.string());
    state.counters["open_ms"] = Seconds(opening) * 1000;
    RecordingUserInterface ui;
    ResetState(profile->Services(&ui, "de"));
    // As velklk calls it: the object made, then the member invoked.
    const auto start = Clock::now();
    std::unique_ptr<DispatchObject> sync;
    {
      ProfileUnitOfWork work(*profile);
      sync = CreateObject("velKLK.CSync");
    }
    const MemberInfo& member = FindMember(*sync, bulk.call[0]);
    std::vector<std::string> texts(bulk.call.begin() + 1, bulk.call.end());
    {
      ProfileUnitOfWork work(*profile);
      auto args = ArgumentsFromTexts(member, profile->Host().Application(),
                                     profile->Host().Database(), texts);
      Invoke(*sync, member.dispid, args);
      work.Commit();
    }
    Fold(profile->Connection());
    state.SetIterationTime(Seconds(start));
    if (!ui.MessageBoxes().empty()) state.SkipWithError("the import showed a message");
    sync.reset();
    ResetState(PlatformServices{});
  }
  PerItem(state, n);
}

// Bare SQLite, on disk in the profile's journal mode: the rows of an import
// of N items in one transaction: per item read its row, insert a host record
// (a dozen text columns, unique key) and a sync-log record (indexed key),
// and write the item's row back with its key.
void BulkBare(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    const fs::path dir = BenchRoot() / "bare-bulk";
    {
      auto db = BareDatabase(dir);
      db->Exec(
          "CREATE TABLE a(_row INTEGER PRIMARY KEY, ID TEXT NOT NULL, An TEXT, Vorname TEXT, "
          "Name TEXT, Zusatz TEXT, Strasse TEXT, PLZ TEXT, Ort TEXT, Land TEXT, Email TEXT, "
          "Telefon1 TEXT, ModifiziertAm REAL); CREATE UNIQUE INDEX a_id ON a(ID);"
          "CREATE TABLE l(_row INTEGER PRIMARY KEY, ID TEXT NOT NULL, velUser TEXT NOT NULL, "
          "velSearch TEXT NOT NULL, ModifiziertAm REAL); CREATE UNIQUE INDEX l_id ON l(ID);"
          "CREATE INDEX l_search ON l(velUser || velSearch);"
          "CREATE TABLE i(id INTEGER PRIMARY KEY, folder INTEGER NOT NULL, entry_id TEXT NOT "
          "NULL, data BLOB NOT NULL, k TEXT); CREATE INDEX i_k ON i(k);");
      {
        sqlite::Transaction fill(*db);
        auto add = db->Prepare("INSERT INTO i(folder, entry_id, data) VALUES(1, ?1, ?2)");
        const std::string blob(300, 'x');
        for (int i = 1; i <= n; ++i)
          add.Bind(1, Id(i)).BindBlob(2, blob.data(), static_cast<int>(blob.size())).Run();
        fill.Commit();
      }
      auto read = db->Prepare("SELECT data FROM i WHERE id = ?1");
      auto record = db->Prepare(
          "INSERT INTO a(ID, An, Vorname, Name, Zusatz, Strasse, PLZ, Ort, Land, Email, Telefon1, "
          "ModifiziertAm) VALUES(?1, 'Firma', '', ?2, '', '', '', 'Hamburg', 'DE', ?2, ?2, 1)");
      auto log = db->Prepare(
          "INSERT INTO l(ID, velUser, velSearch, ModifiziertAm) VALUES(?1, 'ANNA', ?2, 1)");
      auto update = db->Prepare("UPDATE i SET data = ?2, k = ?3 WHERE id = ?1");
      Settle();
      const auto start = Clock::now();
      sqlite::Transaction work(*db, sqlite::Transaction::Locking::Immediate);
      for (int i = 1; i <= n; ++i) {
        std::string data;
        if (read.Bind(1, i).Step()) data = read.Text(0);
        read.Reset();
        const std::string id = Id(n + i);
        const std::string key = id + "Adressen";
        record.Bind(1, id).Bind(2, data.substr(0, 24)).Run();
        log.Bind(1, Id(2 * n + i)).Bind(2, key).Run();
        data += key;
        update.Bind(1, i)
            .BindBlob(2, data.data(), static_cast<int>(data.size()))
            .Bind(3, key)
            .Run();
      }
      work.Commit();
      Fold(*db);
      state.SetIterationTime(Seconds(start));
    }
    fs::remove_all(dir);
  }
  PerItem(state, n);
}

// ---------------------------------------------------------------- session

std::string AddressesName(int n) { return "Addresses" + std::to_string(n); }

void SessionVelklk(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const fs::path input = BenchRoot() / ("session-" + std::to_string(n) + ".jsonl");
  {
    std::ofstream lines(input);
    for (int i = 1; i <= n; ++i)
      lines << R"({"call": ["velKLK.CSync", "AddressOrContactSync2OL", ")" << Id(i)
            << R"(", "Adressen"]})"
            << "\n";
  }
  for (auto _ : state) {
    const fs::path dir = FreshProfile(AddressesName(n), [&] { return bench::AddressFixture(n); });
    Report(state, RunVelklk({"-p", dir.string(), "session"}, input.string()));
  }
  PerItem(state, n);
}

// The library's loop over the same calls on the same profile, one unit of
// work each; `journal`: with the journal entry and before-images as well.
void SessionInProcess(benchmark::State& state, bool journal) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    const fs::path dir = FreshProfile(AddressesName(n), [&] { return bench::AddressFixture(n); });
    auto profile = Profile::Open(dir.string());
    RecordingUserInterface ui;
    ResetState(profile->Services(&ui, "de"));
    auto exporter = std::make_unique<bench::AddressExport>(*profile);
    const auto start = Clock::now();
    for (int i = 1; i <= n; ++i) {
      if (!exporter->Call(i, journal)) state.SkipWithError("export failed");
    }
    Fold(profile->Connection());
    state.SetIterationTime(Seconds(start));
    exporter.reset();
    ResetState(PlatformServices{});
  }
  PerItem(state, n);
}

// Bare SQLite: the unit of each call (bench::BareSessionUnit).
void SessionBare(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    const fs::path dir = BenchRoot() / "bare-session";
    {
      auto db = BareDatabase(dir);
      bench::BareSessionUnit unit(*db, n, "main.items");
      Settle();
      const auto start = Clock::now();
      for (int i = 1; i <= n; ++i) unit.Call(i);
      Fold(*db);
      state.SetIterationTime(Seconds(start));
    }
    fs::remove_all(dir);
  }
  PerItem(state, n);
}

// ---------------------------------------------------------------- profile

std::string ContactsName(int n) { return "Contacts" + std::to_string(n); }

// A call that does next to nothing: what opening the profile costs.
void ProfileCall(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    const fs::path dir = FreshProfile(ContactsName(n), [&] { return ContactsFixture(n); });
    Report(state, RunVelklk({"-p", dir.string(), "call", "velKLK.CSync", "AddressOrContactSync2OL",
                             "9999999999", "Adressen"}));
  }
}

fs::path DumpFile(int n) { return BenchRoot() / ("dump-" + std::to_string(n) + ".json"); }

void ProfileDump(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    const fs::path dir = FreshProfile(ContactsName(n), [&] { return ContactsFixture(n); });
    Report(state, RunVelklk({"-p", dir.string(), "dump"}, "/dev/null", DumpFile(n).string()));
  }
  state.counters["file_MB"] = static_cast<double>(fs::file_size(DumpFile(n))) / (1 << 20);
}

void ProfileLoad(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  if (!fs::exists(DumpFile(n))) {
    const fs::path dir = FreshProfile(ContactsName(n), [&] { return ContactsFixture(n); });
    RunVelklk({"-p", dir.string(), "dump"}, "/dev/null", DumpFile(n).string());
  }
  for (auto _ : state) {
    const fs::path dir = BenchRoot() / "loaded";
    fs::remove_all(dir);
    Report(state, RunVelklk({"-p", dir.string(), "load", DumpFile(n).string()}));
  }
}

// ---------------------------------------------------------------- registration

void Register() {
  std::vector<int> sizes{1000, 10000};
  std::vector<int> profileSizes{10000};
  const char* large = std::getenv("VELKLK_BENCH_LARGE");
  if (large != nullptr && std::string(large) == "1") {
    sizes.push_back(100000);
    profileSizes.push_back(100000);
  }
  auto add = [](const std::string& name, auto function, int n) {
    benchmark::RegisterBenchmark(name.c_str(), function)
        ->Arg(n)
        ->Iterations(1)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
  };
  for (int n : sizes) {
    add("Session/velklk", SessionVelklk, n);
    add(
        "Session/inProcess", [](benchmark::State& s) { SessionInProcess(s, false); }, n);
    add(
        "Session/inProcessJournal", [](benchmark::State& s) { SessionInProcess(s, true); }, n);
    add("Session/bareSqlite", SessionBare, n);
  }
  for (const Bulk& bulk : Bulks()) {
    for (int n : sizes) {
      const Bulk* b = &bulk;
      add(
          bulk.name + "/velklk", [b](benchmark::State& s) { BulkVelklk(s, *b, false); }, n);
      add(
          bulk.name + "/inProcess", [b](benchmark::State& s) { BulkInProcess(s, *b); }, n);
      add(bulk.name + "/bareSqlite", BulkBare, n);
      if (bulk.name == "Contacts")
        add(
            bulk.name + "/velklkDryRun", [b](benchmark::State& s) { BulkVelklk(s, *b, true); }, n);
    }
  }
  for (int n : profileSizes) {
    add("Profile/velklkCall", ProfileCall, n);
    add("Profile/velklkDump", ProfileDump, n);
    add("Profile/velklkLoad", ProfileLoad, n);
  }
}

}  // namespace
}  // namespace velklk

int main(int argc, char** argv) {
  velklk::g_spawner.Start();
  velklk::Register();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  const char* keep = std::getenv("VELKLK_BENCH_KEEP");
  if (keep == nullptr || std::string(keep) != "1") std::filesystem::remove_all(velklk::BenchRoot());
  return 0;
}
