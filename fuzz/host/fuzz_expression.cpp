// Feeds arbitrary text to the host's expression language as the add-in hands
// it over (a subject expression, a selection condition): it must compile or
// raise an automation error, and what compiles must evaluate or raise one.
// An expression evaluated on a table's current record must give what the
// same expression gives as a column of a row scan restricted to that record.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "platform/automation_error.h"
#include "platform/host.h"
#include "profile/profile.h"

using namespace velklk;

namespace {

// Two addresses, the first with every field the functions read; two contact
// persons, the first with a link field.
constexpr const char* kFixture = R"json({
  "now": "2026-12-06 10:00:00",
  "host": {"tables": {
    "Adressen": [
      {"ID": "0000000001", "Name": "Muster GmbH", "Telefon1": "0711 1", "Telefon2": "0711 2",
       "Telefax": "0711 9", "Email2": "info@muster.example", "URL": "http://muster.example",
       "ModifiziertAm": "2026-12-01 09:00:00"},
      {"ID": "0000000002", "Name": "Leer"}],
    "Ansprechpartner": [
      {"ID": "0000000011", "@master": "0000000001", "Vorname": "Eva", "Name": "Klein",
       "Telefon": "0711 15", "Email": "eva@muster.example", "InfoObject": "https://eva.example"},
      {"ID": "0000000012", "@master": "0000000002", "Name": "Gross"}]}}})json";

struct Desk {
  std::unique_ptr<Profile> profile = Profile::InMemory();
  std::shared_ptr<HostDatabase> db;
  Desk() {
    profile->LoadFixture(kFixture);
    db = profile->Host().Database();
  }
};

Desk& TheDesk() {
  static Desk desk;
  return desk;
}

// Values compare by kind and text; a link by its target (each read makes a
// new link object).
bool Same(const Variant& a, const Variant& b) {
  if (a.GetKind() != b.GetKind()) return false;
  if (a.IsObject()) {
    auto la = a.As<HostLink>(), lb = b.As<HostLink>();
    return la && lb && la->Target() == lb->Target();
  }
  return a == b;
}

[[noreturn]] void Fault(const std::string& what) {
  std::fprintf(stderr, "fuzz_expression: %s\n", what.c_str());
  __builtin_trap();
}

void CheckOn(HostExpression& expression, const std::string& text, const std::string& tableName,
             const std::string& id) {
  Desk& desk = TheDesk();
  auto table = desk.db->Table(tableName);
  if (!table->Seek(id)) Fault("the record " + id + " of " + tableName + " is gone");
  std::optional<Variant> direct;
  std::string directError;
  try {
    direct = expression.Evaluate(*table);
  } catch (const AutomationError& e) {
    directError = e.Description();
  }
  std::optional<Variant> scanned;
  try {
    const auto rows = table->SelectRows({text}, "ID = \"" + id + "\"");
    if (rows.size() != 1 || rows[0].size() != 1) Fault("the scan did not find its one record");
    scanned = rows[0][0];
  } catch (const AutomationError&) {
  }
  if (direct.has_value() != scanned.has_value())
    Fault("'" + text + "' on " + tableName + ": " + (direct ? "evaluates" : directError) +
          " on the record but " + (scanned ? "evaluates" : "raises") + " in the scan");
  if (direct && !Same(*direct, *scanned))
    Fault("'" + text + "' on " + tableName + ": '" + direct->ToText() + "' on the record, '" +
          scanned->ToText() + "' in the scan");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  Desk& desk = TheDesk();
  std::shared_ptr<HostExpression> expression;
  try {
    expression = desk.db->Compile(text);
  } catch (const AutomationError&) {
    return 0;
  }
  CheckOn(*expression, text, "Ansprechpartner", "0000000011");
  CheckOn(*expression, text, "Adressen", "0000000002");
  return 0;
}
