// Cost per record of the contact commands on the embedded platforms, beside
// the bare host and Outlook store work the same records need. The per-record
// time must stay flat from 1,000 to 10,000 records.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstring>
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

using bench::BaseFixture;

using bench::AddressFixture;

// N new contacts entered in Outlook: private persons and companies.
nlohmann::json NewContactsFixture(int n) {
  nlohmann::json doc = BaseFixture();
  auto& items = doc["outlook"]["stores"][0]["folders"][0]["items"];
  for (int i = 1; i <= n; ++i) {
    nlohmann::json c = {{"class", "contact"},
                        {"BusinessAddressCity", "Hamburg"},
                        {"BusinessTelephoneNumber", "040 " + std::to_string(i)},
                        {"Email1Address", "c" + std::to_string(i) + "@example.com"}};
    if (i % 2)
      c["CompanyName"] = "Firma " + std::to_string(i);
    else {
      c["FirstName"] = "Eva";
      c["LastName"] = "Sommer " + std::to_string(i);
    }
    items.push_back(c);
  }
  return doc;
}

struct Desk {
  std::unique_ptr<Profile> profile = Profile::InMemory();
  RecordingUserInterface ui;
  explicit Desk(const nlohmann::json& fixture) {
    profile->LoadFixture(fixture.dump());
    ResetState(profile->Services(&ui, "de"));
  }
  ~Desk() {
    ResetState(PlatformServices{});
    profile.reset();
  }
  std::shared_ptr<HostApplication> App() { return profile->Host().Application(); }
};

// Tears the profile down while the timer is paused.
void Discard(Desk& desk) {
  ResetState(PlatformServices{});
  desk.profile.reset();
}

void ExportAll(Desk& desk, CSync& sync, int n, benchmark::State& state) {
  auto app = desk.App();
  std::string table = "Adressen";
  for (int i = 1; i <= n; ++i) {
    std::string id = Id(i);
    desk.profile->Begin();
    const bool ok = sync.AddressOrContactSync2OL(app, id, table);
    desk.profile->Commit();
    if (!ok) state.SkipWithError("export failed");
  }
}

// First export of N addresses, one command per address in one process.
void BM_AddressOrContactSync2OL_FirstExport(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    Desk desk(AddressFixture(n));
    CSync sync;
    state.ResumeTiming();
    ExportAll(desk, sync, n, state);
    state.PauseTiming();
    Discard(desk);
    state.ResumeTiming();
  }
  state.counters["per_record"] = bench::PerRecord(static_cast<double>(n));
}

// The same N addresses again, nothing changed on either side.
void BM_AddressOrContactSync2OL_NoChange(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    Desk desk(AddressFixture(n));
    CSync sync;
    ExportAll(desk, sync, n, state);
    desk.profile->Clock().AdvanceSeconds(5);
    state.ResumeTiming();
    ExportAll(desk, sync, n, state);
    state.PauseTiming();
    Discard(desk);
    state.ResumeTiming();
  }
  state.counters["per_record"] = bench::PerRecord(static_cast<double>(n));
}

// The bare work of an export: per record, seek the address, read its
// fields, add and fill an Outlook contact, save it, look it up by key, and
// add a sync-log record.
void BM_BareExportWork(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    Desk desk(AddressFixture(n));
    auto db = desk.profile->Host().Database();
    auto addresses = db->Table("Adressen");
    auto log = db->Table("TBKLK_SyncLog");
    auto folder = desk.profile->Outlook().FindFolder("anna@velmora.example\\Kontakte");
    folder->UserDefinedProperties()->Add("velSearch", OlUserPropertyType::Text);
    auto items = folder->Items();
    state.ResumeTiming();
    for (int i = 1; i <= n; ++i) {
      desk.profile->Begin();
      const std::string key = Id(i) + "Adressen";
      addresses->SelectIndex("ID");
      addresses->Seek(Id(i));
      auto contact = items->Add();
      for (const char* f : {"Name", "Strasse", "PLZ", "Ort", "Land", "Telefon1", "Email"})
        contact->Set("Body", addresses->Field(f)->Value());
      contact->UserProperties()->Add("velSearch", OlUserPropertyType::Text)->SetValue(Variant(key));
      contact->Save();
      benchmark::DoNotOptimize(items->Find("[velSearch] = \"" + key + "\""));
      log->NewRecord();
      log->Field("velUser")->SetValue(Variant("ANNA"));
      log->Field("velSearch")->SetValue(Variant(key));
      log->SaveNew();
      desk.profile->Commit();
    }
    state.PauseTiming();
    Discard(desk);
    state.ResumeTiming();
  }
  state.counters["per_record"] = bench::PerRecord(static_cast<double>(n));
}

// Import of N new Outlook contacts in one command.
void BM_SyncContacts2VEL(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    Desk desk(NewContactsFixture(n));
    CSync sync;
    auto app = desk.App();
    state.ResumeTiming();
    desk.profile->Begin();
    sync.SyncContacts2VEL(app);
    desk.profile->Commit();
    state.PauseTiming();
    if (!desk.ui.MessageBoxes().empty()) state.SkipWithError("import showed a message");
    Discard(desk);
    state.ResumeTiming();
  }
  state.counters["per_record"] = bench::PerRecord(static_cast<double>(n));
}

// The bare work of an import: per contact, read it, add a host address and
// a sync-log record, and write the link back onto the contact.
void BM_BareImportWork(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    Desk desk(NewContactsFixture(n));
    auto db = desk.profile->Host().Database();
    auto addresses = db->Table("Adressen");
    auto log = db->Table("TBKLK_SyncLog");
    auto items = desk.profile->Outlook().FindFolder("anna@velmora.example\\Kontakte")->Items();
    state.ResumeTiming();
    desk.profile->Begin();
    for (int i = 1; i <= items->Count(); ++i) {
      auto contact = items->Item(i);
      addresses->NewRecord();
      for (const char* p : {"CompanyName", "LastName", "BusinessAddressCity",
                            "BusinessTelephoneNumber", "Email1Address"})
        addresses->Field("Name")->SetValue(contact->Get(p));
      addresses->SaveNew();
      const std::string key = addresses->Field("ID")->Value().ToText() + "Adressen";
      log->NewRecord();
      log->Field("velUser")->SetValue(Variant("ANNA"));
      log->Field("velSearch")->SetValue(Variant(key));
      log->SaveNew();
      contact->UserProperties()->Add("velSearch", OlUserPropertyType::Text)->SetValue(Variant(key));
      contact->Save();
    }
    desk.profile->Commit();
    state.PauseTiming();
    Discard(desk);
    state.ResumeTiming();
  }
  state.counters["per_record"] = bench::PerRecord(static_cast<double>(n));
}

// The bare SQLite work of one record of either direction: insert a row of
// a dozen text columns under an indexed key, then look it up by that key.
void BM_BareSqlite(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  bench::BareSqliteRows(state, n, "Adressen", "Muster Maschinenbau GmbH");
  state.counters["per_record"] = bench::PerRecord(static_cast<double>(n));
}

// Bare SQLite doing the rows of the bare store work above, in tables shaped
// like the host's and the Outlook store's: the address table (its text
// columns, a unique index on ID), the sync log (its two indexes) and the
// items table (a row per item with its data, and an index
// on the key a lookup by velSearch needs).
struct BareRows {
  sqlite3* db = nullptr;
  sqlite3_stmt* insertAddress = nullptr;
  sqlite3_stmt* seekAddress = nullptr;
  sqlite3_stmt* insertLog = nullptr;
  sqlite3_stmt* insertItem = nullptr;
  sqlite3_stmt* readItem = nullptr;
  sqlite3_stmt* updateItem = nullptr;
  sqlite3_stmt* findItem = nullptr;
  sqlite3_stmt* begin = nullptr;
  sqlite3_stmt* commit = nullptr;

  static constexpr const char* kAddressColumns =
      "ID, An, Titel, Vorname, Name, Zusatz, Strasse, haus_zimmer, PLZ, Ort, Land, Email, Email2, "
      "Telefon1, Telefon2, Telefax, TelefonMobil, URL, Referenz, Memo";

  BareRows() {
    sqlite3_open(":memory:", &db);
    std::string ddl = std::string("CREATE TABLE a(_row INTEGER PRIMARY KEY, _master INTEGER, ") +
                      "_tenants TEXT NOT NULL DEFAULT '', ModifiziertAm REAL";
    for (const char* c = kAddressColumns; *c;) {
      const char* end = std::strchr(c, ',');
      const std::string name = end ? std::string(c, end) : std::string(c);
      ddl += ", " + name + " TEXT NOT NULL DEFAULT ''";
      c = end ? end + 2 : c + name.size();
    }
    ddl +=
        "); CREATE UNIQUE INDEX a_id ON a(ID);"
        "CREATE TABLE l(_row INTEGER PRIMARY KEY, _master INTEGER, _tenants TEXT NOT NULL "
        "DEFAULT '', ID TEXT NOT NULL, velUser TEXT NOT NULL, velTable TEXT NOT NULL DEFAULT "
        "'', velID TEXT NOT NULL DEFAULT '', velSearch TEXT NOT NULL, ModifiziertAm REAL);"
        "CREATE UNIQUE INDEX l_id ON l(ID);"
        "CREATE INDEX l_search ON l(velUser || velSearch);"
        "CREATE TABLE i(id INTEGER PRIMARY KEY, folder INTEGER NOT NULL, class INTEGER NOT "
        "NULL, entry_id TEXT NOT NULL, created REAL NOT NULL, modified REAL NOT NULL, data "
        "BLOB NOT NULL, k TEXT); CREATE INDEX i_k ON i(k);";
    sqlite3_exec(db, ddl.c_str(), nullptr, nullptr, nullptr);
    Prepare(&insertAddress,
            "INSERT INTO a(ID, Name, Strasse, PLZ, Ort, Telefon1, Email, ModifiziertAm) "
            "VALUES(?1, ?2, ?2, ?2, ?2, ?2, ?2, 46000)");
    Prepare(&seekAddress, "SELECT * FROM a WHERE ID = ?1");
    Prepare(&insertLog,
            "INSERT INTO l(ID, velUser, velSearch, ModifiziertAm) VALUES(?1, 'ANNA', ?2, 46000)");
    Prepare(&insertItem,
            "INSERT INTO i(folder, class, entry_id, created, modified, data, k) "
            "VALUES(1, 40, ?1, 46000, 46000, ?2, ?3)");
    Prepare(&readItem, "SELECT data FROM i WHERE id = ?1");
    Prepare(&updateItem, "UPDATE i SET data = ?2, k = ?3, modified = 46000 WHERE id = ?1");
    Prepare(&findItem, "SELECT id FROM i WHERE k = ?1");
    Prepare(&begin, "BEGIN IMMEDIATE");
    Prepare(&commit, "COMMIT");
  }
  ~BareRows() {
    for (auto* st : {insertAddress, seekAddress, insertLog, insertItem, readItem, updateItem,
                     findItem, begin, commit})
      sqlite3_finalize(st);
    sqlite3_close(db);
  }
  BareRows(const BareRows&) = delete;
  BareRows& operator=(const BareRows&) = delete;

  void Prepare(sqlite3_stmt** st, const char* sql) { sqlite3_prepare_v2(db, sql, -1, st, nullptr); }
  static void Run(sqlite3_stmt* st) {
    while (sqlite3_step(st) == SQLITE_ROW) {
    }
    sqlite3_reset(st);
  }
  void Exec(const char* sql) { sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }
  void AddAddress(const std::string& id, const std::string& text) {
    sqlite3_bind_text(insertAddress, 1, id.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(insertAddress, 2, text.c_str(), -1, SQLITE_TRANSIENT);
    Run(insertAddress);
  }
  void AddLog(const std::string& id, const std::string& key) {
    sqlite3_bind_text(insertLog, 1, id.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(insertLog, 2, key.c_str(), -1, SQLITE_TRANSIENT);
    Run(insertLog);
  }
  void AddItem(const std::string& entry, const std::string& data, const char* key) {
    sqlite3_bind_text(insertItem, 1, entry.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_blob(insertItem, 2, data.data(), static_cast<int>(data.size()), SQLITE_TRANSIENT);
    if (key)
      sqlite3_bind_text(insertItem, 3, key, -1, SQLITE_TRANSIENT);
    else
      sqlite3_bind_null(insertItem, 3);
    Run(insertItem);
  }
};

// An item's data as the bare rows store it: its properties, about the size
// of an item of the store.
std::string BareItemData(int i) {
  return "Firma " + std::to_string(i) + "|Hamburg|040 " + std::to_string(i) + "|c" +
         std::to_string(i) + "@example.com|" + std::string(96, 'x');
}

// The rows of BM_BareImportWork: per contact, read its row, insert an
// address and a sync-log record, and write the contact's row back with its
// key; one transaction.
void BM_BareSqliteImportRows(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    auto rows = std::make_unique<BareRows>();
    rows->Exec("BEGIN");
    for (int i = 1; i <= n; ++i) rows->AddItem(Id(i), BareItemData(i), nullptr);
    rows->Exec("COMMIT");
    state.ResumeTiming();
    rows->Exec("BEGIN");
    for (int i = 1; i <= n; ++i) {
      sqlite3_bind_int64(rows->readItem, 1, i);
      std::string data;
      if (sqlite3_step(rows->readItem) == SQLITE_ROW)
        data.assign(static_cast<const char*>(sqlite3_column_blob(rows->readItem, 0)),
                    static_cast<std::size_t>(sqlite3_column_bytes(rows->readItem, 0)));
      sqlite3_reset(rows->readItem);
      const std::string id = Id(n + i);
      const std::string key = id + "Adressen";
      rows->AddAddress(id, data.substr(0, 24));
      rows->AddLog(Id(2 * n + i), key);
      data += key;
      sqlite3_bind_int64(rows->updateItem, 1, i);
      sqlite3_bind_blob(rows->updateItem, 2, data.data(), static_cast<int>(data.size()),
                        SQLITE_TRANSIENT);
      sqlite3_bind_text(rows->updateItem, 3, key.c_str(), -1, SQLITE_TRANSIENT);
      BareRows::Run(rows->updateItem);
    }
    rows->Exec("COMMIT");
    state.PauseTiming();
    rows.reset();
    state.ResumeTiming();
  }
  state.counters["per_record"] = bench::PerRecord(static_cast<double>(n));
}

// The rows of BM_BareExportWork: per address, in a transaction of its own,
// seek and read it, insert a contact row under its key, look the contact
// up by that key, and insert a sync-log record.
void BM_BareSqliteExportRows(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    auto rows = std::make_unique<BareRows>();
    rows->Exec("BEGIN");
    for (int i = 1; i <= n; ++i) rows->AddAddress(Id(i), "Muster " + std::to_string(i));
    rows->Exec("COMMIT");
    state.ResumeTiming();
    for (int i = 1; i <= n; ++i) {
      BareRows::Run(rows->begin);
      const std::string id = Id(i);
      const std::string key = id + "Adressen";
      sqlite3_bind_text(rows->seekAddress, 1, id.c_str(), -1, SQLITE_TRANSIENT);
      std::string data;
      // The seven fields the bare store work reads.
      if (sqlite3_step(rows->seekAddress) == SQLITE_ROW)
        for (int c = 4; c < 11; ++c)
          if (const auto* text = sqlite3_column_text(rows->seekAddress, c))
            data += reinterpret_cast<const char*>(text);
      sqlite3_reset(rows->seekAddress);
      rows->AddItem(Id(n + i), data + BareItemData(i), key.c_str());
      sqlite3_bind_text(rows->findItem, 1, key.c_str(), -1, SQLITE_TRANSIENT);
      benchmark::DoNotOptimize(sqlite3_step(rows->findItem));
      sqlite3_reset(rows->findItem);
      rows->AddLog(Id(2 * n + i), key);
      BareRows::Run(rows->commit);
    }
    state.PauseTiming();
    rows.reset();
    state.ResumeTiming();
  }
  state.counters["per_record"] = bench::PerRecord(static_cast<double>(n));
}

// Peak resident memory of the process so far, in MB.
double PeakRssMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

constexpr int kCalls = 1000;

// One command of a running host process on a profile whose N addresses are
// all in Outlook already: the start-up chain (NoOldEntries' searches
// included), the lookups on both sides and the comparison, nothing to
// write. The cost per call must not grow with N.
void BM_PerCall(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    Desk desk(AddressFixture(n));
    CSync sync;
    ExportAll(desk, sync, n, state);
    desk.profile->Clock().AdvanceSeconds(5);
    auto app = desk.App();
    std::string table = "Adressen";
    state.ResumeTiming();
    for (int c = 0; c < kCalls; ++c) {
      std::string id = Id(1 + static_cast<int>((c * 7919LL) % n));
      // A new object per call, as a host script creates it: the whole
      // start-up chain runs every time.
      CSync fresh;
      desk.profile->Begin();
      const bool ok = fresh.AddressOrContactSync2OL(app, id, table);
      desk.profile->Commit();
      if (!ok) state.SkipWithError("call failed");
    }
    state.PauseTiming();
    state.counters["peak_rss_MB"] = PeakRssMb();
    Discard(desk);
    state.ResumeTiming();
  }
  state.counters["per_call"] = bench::PerRecord(kCalls);
}

// The bare SQLite lookups of one such call: the address, its sync-log
// record and its contact, each by an indexed key in a table of N rows.
void BM_BareSqliteCall(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    sqlite3* db = nullptr;
    sqlite3_open(":memory:", &db);
    sqlite3_exec(db,
                 "CREATE TABLE a(k TEXT PRIMARY KEY, v TEXT); CREATE TABLE l(k TEXT PRIMARY KEY, "
                 "v TEXT); CREATE TABLE c(k TEXT PRIMARY KEY, v TEXT); BEGIN",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt* fill[3] = {};
    sqlite3_stmt* find[3] = {};
    const char* names[3] = {"a", "l", "c"};
    for (int t = 0; t < 3; ++t) {
      sqlite3_prepare_v2(db, (std::string("INSERT INTO ") + names[t] + " VALUES(?1, ?1)").c_str(),
                         -1, &fill[t], nullptr);
      sqlite3_prepare_v2(db, (std::string("SELECT v FROM ") + names[t] + " WHERE k = ?1").c_str(),
                         -1, &find[t], nullptr);
      for (int i = 1; i <= n; ++i) {
        const std::string key = Id(i) + "Adressen";
        sqlite3_bind_text(fill[t], 1, key.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_step(fill[t]);
        sqlite3_reset(fill[t]);
      }
    }
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    state.ResumeTiming();
    for (int c = 0; c < kCalls; ++c) {
      const std::string key = Id(1 + static_cast<int>((c * 7919LL) % n)) + "Adressen";
      sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
      for (auto* st : find) {
        sqlite3_bind_text(st, 1, key.c_str(), -1, SQLITE_TRANSIENT);
        benchmark::DoNotOptimize(sqlite3_step(st));
        sqlite3_reset(st);
      }
      sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    }
    state.PauseTiming();
    for (int t = 0; t < 3; ++t) {
      sqlite3_finalize(fill[t]);
      sqlite3_finalize(find[t]);
    }
    sqlite3_close(db);
    state.ResumeTiming();
  }
  state.counters["per_call"] = bench::PerRecord(kCalls);
}

BENCHMARK(BM_AddressOrContactSync2OL_FirstExport)
    ->Arg(1000)
    ->Arg(10000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddressOrContactSync2OL_NoChange)
    ->Arg(1000)
    ->Arg(10000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareExportWork)->Arg(1000)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SyncContacts2VEL)->Arg(1000)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareSqlite)->Arg(1000)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareImportWork)->Arg(1000)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareSqliteImportRows)
    ->Arg(1000)
    ->Arg(10000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareSqliteExportRows)
    ->Arg(1000)
    ->Arg(10000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareSqliteCall)->Arg(1000)->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PerCall)->Arg(1000)->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velklk

BENCHMARK_MAIN();
