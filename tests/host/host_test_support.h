// Builds an embedded host from a small JSON fixture for the host tests.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "host/embedded_host.h"
#include "support/helpers.h"

namespace velklk::test {

// A fixture of this suite's fixtures/ folder.
inline nlohmann::json Fixture(const std::string& name) {
  std::ifstream in(std::string(VELKLK_SOURCE_DIR) + "/tests/host/fixtures/" + name + ".json");
  return nlohmann::json::parse(in);
}

inline AutoDate At(const char* text) { return *AutoDate::Parse(text); }

struct HostUnderTest {
  explicit HostUnderTest(const nlohmann::json& hostPart = nlohmann::json::object(),
                         const std::string& path = ":memory:")
      : clock(At("2026-12-06 10:00:00")) {
    host = EmbeddedHost::OpenFile(path, &clock);
    host->LoadFixture(hostPart, clock.Now());
    db = host->Database();
  }
  std::shared_ptr<HostTable> Table(const std::string& name) { return db->Table(name); }
  std::string Text(HostTable& t, const std::string& field) {
    return t.Field(field)->Value().ToText();
  }

  SettableClock clock;
  std::shared_ptr<EmbeddedHost> host;
  std::shared_ptr<HostDatabase> db;
};

}  // namespace velklk::test
