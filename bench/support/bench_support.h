// What the benchmarks share: record keys, the desk of the user ANNA with her
// three folders, addresses that are her favourites, and the counter of the
// time per record.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "sqlite/connection.h"
#include "sqlite/transaction.h"

namespace velklk::bench {

// A host record key: ten digits.
inline std::string Id(int n) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%010d", n);
  return buf;
}

// ANNA, current user, with her contacts, calendar and tasks folders set and
// empty, at 2026-12-06 10:00.
inline nlohmann::json BaseFixture() {
  return nlohmann::json::parse(R"({
    "now": "2026-12-06 10:00:00",
    "host": {"currentUser": "ANNA", "users": [ {"name": "ANNA", "settings": {
        "PREXOLContactPath": "anna@velmora.example\\Kontakte",
        "PREXOLCalPath": "anna@velmora.example\\Kalender",
        "PREXOLTaskPath": "anna@velmora.example\\Aufgaben"}} ], "tables": {}},
    "outlook": {"stores": [ {"name": "anna@velmora.example", "folders": [
        {"name": "Kontakte", "type": 2, "items": [], "folders": []},
        {"name": "Kalender", "type": 1, "items": [], "folders": []},
        {"name": "Aufgaben", "type": 3, "items": [], "folders": []} ]} ]}})");
}

// The base fixture with N addresses, every one ANNA's favourite; half
// companies, half persons.
inline nlohmann::json AddressFixture(int n) {
  nlohmann::json doc = BaseFixture();
  auto& addresses = doc["host"]["tables"]["Adressen"];
  auto& marks = doc["host"]["tables"]["Adressmerkmale"];
  for (int i = 1; i <= n; ++i) {
    nlohmann::json a = {{"ID", Id(i)},
                        {"Name", "Muster " + std::to_string(i)},
                        {"Strasse", "Weg " + std::to_string(i)},
                        {"haus_zimmer", "Raum 1"},
                        {"PLZ", "20457"},
                        {"Ort", "Hamburg"},
                        {"Land", "DE"},
                        {"Telefon1", "040 " + std::to_string(i)},
                        {"Email", "info" + std::to_string(i) + "@muster.example"},
                        {"ModifiziertAm", "2026-12-01 09:00:00"}};
    if (i % 2) {
      a["An"] = "Firma";
      a["Zusatz"] = "GmbH";
    } else {
      a["An"] = "Herrn";
      a["Vorname"] = "Max";
    }
    addresses.push_back(a);
    marks.push_back({{"@master", Id(i)}, {"Merkmal", "OutlookFavorit"}, {"Wert", "ANNA"}});
  }
  return doc;
}

// The time per record of an iteration that handles `records` records.
inline benchmark::Counter PerRecord(double records) {
  return benchmark::Counter(
      records, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The bare SQLite work of N records: each inserted as a row of a dozen text
// columns under an indexed key (its ID and `table`), then looked up by that
// key, in one transaction; setting up and closing the database is not timed.
inline void BareSqliteRows(benchmark::State& state, int n, const std::string& table,
                           const char* text) {
  for (auto _ : state) {
    state.PauseTiming();
    auto db = sqlite::Connection::Open(":memory:");
    db->Exec(
        "CREATE TABLE t(k TEXT, a TEXT, b TEXT, c TEXT, d TEXT, e TEXT, f TEXT, g TEXT, h TEXT, "
        "i TEXT, j TEXT, l TEXT); CREATE UNIQUE INDEX tk ON t(k)");
    {
      auto insert = db->Prepare("INSERT INTO t VALUES(?1,?2,?2,?2,?2,?2,?2,?2,?2,?2,?2,?2)");
      auto select = db->Prepare("SELECT * FROM t WHERE k = ?1");
      state.ResumeTiming();
      db->Exec("BEGIN");
      for (int i = 1; i <= n; ++i) {
        const std::string key = Id(i) + table;
        insert.Bind(1, key).Bind(2, text).Run();
        benchmark::DoNotOptimize(select.Bind(1, key).Step());
        select.Reset();
      }
      db->Exec("COMMIT");
      state.PauseTiming();
    }
    db.reset();
    state.ResumeTiming();
  }
}

// Bare SQLite doing what a per-record export call does, one unit per call:
// look the address up, write an Outlook item of the size the export writes,
// find it by its key and add a sync-log record. `items` names the Outlook
// items' table with its schema ("main.ol_items", or one in an attached
// file). The addresses 1..n are there when it is made.
class BareSessionUnit {
 public:
  BareSessionUnit(sqlite::Connection& db, int n, const std::string& items) : db_(db) {
    db_.Exec("CREATE TABLE main.adressen(id TEXT PRIMARY KEY, name TEXT, ort TEXT, modified REAL)");
    db_.Exec(
        "CREATE TABLE main.synclog(rowid_ INTEGER PRIMARY KEY, user TEXT, search TEXT, "
        "modified REAL)");
    db_.Exec("CREATE INDEX main.synclog_search ON synclog(search)");
    db_.Exec("CREATE TABLE " + items +
             "(id INTEGER PRIMARY KEY, folder INTEGER, entry_id TEXT, data BLOB)");
    {
      sqlite::Transaction fill(db_);
      auto add = db_.Prepare("INSERT INTO main.adressen VALUES(?1, ?2, 'Hamburg', 0)");
      for (int i = 1; i <= n; ++i) add.Bind(1, Id(i)).Bind(2, "Muster " + std::to_string(i)).Run();
      fill.Commit();
    }
    seek_.emplace(db_.Prepare("SELECT name, ort FROM main.adressen WHERE id = ?1"));
    item_.emplace(
        db_.Prepare("INSERT INTO " + items + "(folder, entry_id, data) VALUES(1, ?1, ?2)"));
    find_.emplace(db_.Prepare("SELECT id FROM " + items + " WHERE id = ?1"));
    log_.emplace(
        db_.Prepare("INSERT INTO main.synclog(user, search, modified) VALUES('ANNA', ?1, 1)"));
  }

  // The unit of the call on address `i`.
  void Call(int i) {
    sqlite::Transaction call(db_, sqlite::Transaction::Locking::Immediate);
    const std::string id = Id(i);
    seek_->Bind(1, id);
    benchmark::DoNotOptimize(seek_->Step());
    seek_->Reset();
    item_->Bind(1, id).BindBlob(2, blob_.data(), static_cast<int>(blob_.size())).Run();
    find_->Bind(1, db_.LastInsertRowId());
    benchmark::DoNotOptimize(find_->Step());
    find_->Reset();
    log_->Bind(1, id + "Adressen").Run();
    call.Commit();
  }

 private:
  sqlite::Connection& db_;
  std::optional<sqlite::Statement> seek_, item_, find_, log_;
  const std::string blob_ = std::string(1200, 'x');
};

// N new contacts entered in Outlook: private persons and companies.
inline nlohmann::json NewContactsFixture(int n) {
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

// N tasks entered in Outlook.
inline nlohmann::json NewTasksFixture(int n) {
  nlohmann::json doc = BaseFixture();
  auto& items = doc["outlook"]["stores"][0]["folders"][2]["items"];
  for (int i = 1; i <= n; ++i)
    items.push_back({{"class", "task"},
                     {"Subject", "Outlook " + std::to_string(i)},
                     {"Body", "Notiz"},
                     {"TotalWork", 90},
                     {"PercentComplete", 20},
                     {"DueDate", "2026-12-20 00:00:00"}});
  return doc;
}

// Appointments over five calendars, one per user (U0 ... U4).
constexpr int kCalendars = 5;

inline std::string Mailbox(int c) { return "user" + std::to_string(c) + "@velmora.example"; }

// A start in 2026: day and hour spread over the year.
inline std::string Start(int i) {
  const int day = i % 365;
  const int month = 1 + day / 31 % 12;
  char buf[32];
  std::snprintf(buf, sizeof buf, "2026-%02d-%02d %02d:00:00", month, 1 + day % 28, 8 + i % 9);
  return buf;
}

// One address and process, N appointments over 5 calendars (one per user);
// every second one links to an activity of its calendar's user.
inline nlohmann::json ImportFixture(int n) {
  nlohmann::json doc = nlohmann::json::parse(R"({"now": "2026-12-06 10:00:00",
    "host": {"currentUser": "U0", "users": [], "tables": {
      "Adressen": [{"ID": "0000000001", "An": "Firma", "Name": "Muster GmbH"}],
      "Vorgaenge": [{"ID": "0000000002", "@master": "0000000001", "Betreff": "Termine"}],
      "Aktivitaeten": []}},
    "outlook": {"stores": []}})");
  std::string calPath;
  for (int c = 0; c < kCalendars; ++c) calPath += (c ? ";" : "") + Mailbox(c) + "\\Kalender";
  for (int c = 0; c < kCalendars; ++c) {
    doc["host"]["users"].push_back({{"name", "U" + std::to_string(c)},
                                    {"properties", {{"EMail", Mailbox(c)}}},
                                    {"settings",
                                     {{"PREXOLContactPath", Mailbox(0) + "\\Kontakte"},
                                      {"PREXOLCalPath", calPath},
                                      {"PREXOLTaskPath", Mailbox(0) + "\\Aufgaben"}}}});
    nlohmann::json folders =
        nlohmann::json::array({{{"name", "Kalender"},
                                {"type", 1},
                                {"userPropertyDefinitions", {{"velSearch", "text"}}},
                                {"items", nlohmann::json::array()}}});
    if (c == 0) {
      folders.push_back({{"name", "Kontakte"}, {"type", 2}});
      folders.push_back({{"name", "Aufgaben"}, {"type", 3}});
    }
    doc["outlook"]["stores"].push_back({{"name", Mailbox(c)}, {"folders", folders}});
  }
  for (int i = 0; i < n; ++i) {
    const int c = i % kCalendars;
    nlohmann::json item = {{"class", "appointment"},
                           {"Subject", "Termin " + std::to_string(i)},
                           {"Start", Start(i)},
                           {"End", Start(i)},
                           {"LastModificationTime", "2026-12-01 09:00:00"}};
    if (i % 2) {
      const std::string id = Id(100 + i);
      doc["host"]["tables"]["Aktivitaeten"].push_back({{"ID", id},
                                                       {"@master", "0000000002"},
                                                       {"Betreff", "Termin"},
                                                       {"Datum", Start(i)},
                                                       {"Verantwortlich", "U" + std::to_string(c)},
                                                       {"ModifiziertAm", "2026-12-01 09:00:00"}});
      item["userProperties"] = {
          {"velTable", "Aktivitaeten"}, {"velID", id}, {"velSearch", id + "Aktivitaeten"}};
    }
    doc["outlook"]["stores"][c]["folders"][0]["items"].push_back(item);
  }
  return doc;
}

}  // namespace velklk::bench
