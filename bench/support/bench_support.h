// What the benchmarks share: record keys, the desk of the user ANNA with her
// three folders, addresses that are her favourites, and the counter of the
// time per record.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "sqlite/connection.h"

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

}  // namespace velklk::bench
