// A fresh embedded Outlook profile on a temporary database file.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "outlook/embedded_outlook.h"
#include "platform/automation_error.h"
#include "platform/clock.h"
#include "sqlite/connection.h"
#include "support/helpers.h"

namespace velklk::test {

// A fixture of this suite's fixtures/ folder.
inline nlohmann::json Fixture(const std::string& name) {
  std::ifstream in(std::string(VELKLK_SOURCE_DIR) + "/tests/outlook/fixtures/" + name + ".json");
  return nlohmann::json::parse(in);
}

class TempProfile {
 public:
  TempProfile() {
    static int counter = 0;
    dir_ = std::filesystem::temp_directory_path() /
           ("velklk-outlook-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  ~TempProfile() { std::filesystem::remove_all(dir_); }
  std::string OutlookDb() const { return (dir_ / "outlook.db").string(); }
  std::string CrmDb() const { return (dir_ / "crm.db").string(); }

 private:
  std::filesystem::path dir_;
};

struct Store {
  explicit Store(const TempProfile& profile, std::string language = "de",
                 AutoDate now = AutoDate::FromParts(2026, 12, 6, 10, 0, 0))
      : clock(now) {
    db = sqlite::Connection::Open(profile.CrmDb());
    db->Attach(profile.OutlookDb(), "outlook");
    outlook = EmbeddedOutlook::Open(db, "outlook", &clock, std::move(language));
  }
  // A profile in memory only, for tests that make many changes.
  struct InMemory {};
  explicit Store(InMemory) : clock(AutoDate::FromParts(2026, 12, 6, 10, 0, 0)) {
    db = sqlite::Connection::Open(":memory:");
    db->Attach(":memory:", "outlook");
    outlook = EmbeddedOutlook::Open(db, "outlook", &clock, "de");
  }
  void Load(const nlohmann::json& part) { outlook->LoadFixture(part, clock.Now()); }

  SettableClock clock;
  std::shared_ptr<sqlite::Connection> db;
  std::shared_ptr<EmbeddedOutlook> outlook;
};

}  // namespace velklk::test
