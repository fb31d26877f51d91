// Builds an embedded host from a small JSON fixture for the host tests.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "host/embedded_host.h"
#include "platform/automation_error.h"

namespace velklk::testing {

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

// The number of the automation error a call raises, 0 when it raises none.
template <typename Call>
std::uint32_t ErrorOf(Call&& call) {
  try {
    call();
  } catch (const AutomationError& e) {
    return e.Number();
  }
  return 0;
}

}  // namespace velklk::testing
