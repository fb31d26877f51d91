// Cost per record of the contact commands on the embedded platforms, beside
// the bare host and Outlook store work the same records need. The per-record
// time must stay flat from 1,000 to 10,000 records.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "addin/public_classes.h"
#include "platform/host.h"
#include "platform/outlook.h"
#include "profile/profile.h"
#include "session/shared_state.h"
#include "sqlite/connection.h"
#include "support/bench_support.h"
#include "ui/recording_ui.h"

namespace velklk {
namespace {

using bench::Id;

using bench::BaseFixture;

using bench::AddressFixture;

using bench::NewContactsFixture;

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
  std::shared_ptr<sqlite::Connection> db;
  sqlite::Statement insertAddress, seekAddress, insertLog, insertItem, readItem, updateItem,
      findItem, begin, commit;

  static constexpr const char* kAddressColumns =
      "ID, An, Titel, Vorname, Name, Zusatz, Strasse, haus_zimmer, PLZ, Ort, Land, Email, Email2, "
      "Telefon1, Telefon2, Telefax, TelefonMobil, URL, Referenz, Memo";

  static std::shared_ptr<sqlite::Connection> Created(std::shared_ptr<sqlite::Connection> db) {
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
    db->Exec(ddl);
    return db;
  }

  BareRows()
      : db(Created(sqlite::Connection::Open(":memory:"))),
        insertAddress(db->Prepare("INSERT INTO a(ID, Name, Strasse, PLZ, Ort, Telefon1, Email, "
                                  "ModifiziertAm) VALUES(?1, ?2, ?2, ?2, ?2, ?2, ?2, 46000)")),
        seekAddress(db->Prepare("SELECT * FROM a WHERE ID = ?1")),
        insertLog(db->Prepare("INSERT INTO l(ID, velUser, velSearch, ModifiziertAm) "
                              "VALUES(?1, 'ANNA', ?2, 46000)")),
        insertItem(db->Prepare("INSERT INTO i(folder, class, entry_id, created, modified, data, "
                               "k) VALUES(1, 40, ?1, 46000, 46000, ?2, ?3)")),
        readItem(db->Prepare("SELECT data FROM i WHERE id = ?1")),
        updateItem(db->Prepare("UPDATE i SET data = ?2, k = ?3, modified = 46000 WHERE id = ?1")),
        findItem(db->Prepare("SELECT id FROM i WHERE k = ?1")),
        begin(db->Prepare("BEGIN IMMEDIATE")),
        commit(db->Prepare("COMMIT")) {}

  void AddAddress(const std::string& id, const std::string& text) {
    insertAddress.Bind(1, id).Bind(2, text).Run();
  }
  void AddLog(const std::string& id, const std::string& key) {
    insertLog.Bind(1, id).Bind(2, key).Run();
  }
  void AddItem(const std::string& entry, const std::string& data, const std::string& key) {
    insertItem.Bind(1, entry).BindBlob(2, data.data(), static_cast<int>(data.size()));
    if (key.empty())
      insertItem.BindNull(3);
    else
      insertItem.Bind(3, key);
    insertItem.Run();
  }
};

// An item's data as the bare rows store it: its properties, about the size
// of an item of the store.
std::string BareItemData(int i) {
  return "Firma " + std::to_string(i) + "|Hamburg|040 " + std::to_string(i) + "|c" +
         std::to_string(i) + "@example.com|" + std::string(96, 'x');
}

// Times `work` on fresh bare rows that `fill` prepared untimed.
template <typename Fill, typename Work>
void TimeBareRows(benchmark::State& state, const Fill& fill, const Work& work) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    auto rows = std::make_unique<BareRows>();
    rows->db->Exec("BEGIN");
    for (int i = 1; i <= n; ++i) fill(*rows, i);
    rows->db->Exec("COMMIT");
    state.ResumeTiming();
    work(*rows, n);
    state.PauseTiming();
    rows.reset();
    state.ResumeTiming();
  }
  state.counters["per_record"] = bench::PerRecord(static_cast<double>(n));
}

// The rows of BM_BareImportWork: per contact, read its row, insert an
// address and a sync-log record, and write the contact's row back with its
// key; one transaction.
void BM_BareSqliteImportRows(benchmark::State& state) {
  TimeBareRows(
      state, [](BareRows& rows, int i) { rows.AddItem(Id(i), BareItemData(i), ""); },
      [](BareRows& rows, int n) {
        rows.db->Exec("BEGIN");
        for (int i = 1; i <= n; ++i) {
          std::string data;
          if (rows.readItem.Bind(1, i).Step()) data = rows.readItem.Text(0);
          rows.readItem.Reset();
          const std::string id = Id(n + i);
          const std::string key = id + "Adressen";
          rows.AddAddress(id, data.substr(0, 24));
          rows.AddLog(Id(2 * n + i), key);
          data += key;
          rows.updateItem.Bind(1, i)
              .BindBlob(2, data.data(), static_cast<int>(data.size()))
              .Bind(3, key)
              .Run();
        }
        rows.db->Exec("COMMIT");
      });
}

// The rows of BM_BareExportWork: per address, in a transaction of its own,
// seek and read it, insert a contact row under its key, look the contact
// up by that key, and insert a sync-log record.
void BM_BareSqliteExportRows(benchmark::State& state) {
  TimeBareRows(
      state, [](BareRows& rows, int i) { rows.AddAddress(Id(i), "Muster " + std::to_string(i)); },
      [](BareRows& rows, int n) {
        for (int i = 1; i <= n; ++i) {
          rows.begin.Run();
          const std::string id = Id(i);
          const std::string key = id + "Adressen";
          std::string data;
          // The seven fields the bare store work reads.
          if (rows.seekAddress.Bind(1, id).Step())
            for (int c = 4; c < 11; ++c) data += rows.seekAddress.Text(c);
          rows.seekAddress.Reset();
          rows.AddItem(Id(n + i), data + BareItemData(i), key);
          benchmark::DoNotOptimize(rows.findItem.Bind(1, key).Step());
          rows.findItem.Reset();
          rows.AddLog(Id(2 * n + i), key);
          rows.commit.Run();
        }
      });
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
    auto db = sqlite::Connection::Open(":memory:");
    {
      std::vector<sqlite::Statement> finds;
      db->Exec("BEGIN");
      for (const char* table : {"a", "l", "c"}) {
        db->Exec(std::string("CREATE TABLE ") + table + "(k TEXT PRIMARY KEY, v TEXT)");
        auto fill = db->Prepare(std::string("INSERT INTO ") + table + " VALUES(?1, ?1)");
        for (int i = 1; i <= n; ++i) fill.Bind(1, Id(i) + "Adressen").Run();
        finds.push_back(db->Prepare(std::string("SELECT v FROM ") + table + " WHERE k = ?1"));
      }
      db->Exec("COMMIT");
      state.ResumeTiming();
      for (int c = 0; c < kCalls; ++c) {
        const std::string key = Id(1 + static_cast<int>((c * 7919LL) % n)) + "Adressen";
        db->Exec("BEGIN");
        for (auto& find : finds) {
          benchmark::DoNotOptimize(find.Bind(1, key).Step());
          find.Reset();
        }
        db->Exec("COMMIT");
      }
      state.PauseTiming();
    }
    db.reset();
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
