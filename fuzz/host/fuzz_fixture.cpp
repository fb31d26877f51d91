// Feeds arbitrary text to the fixture loader of a profile (host and Outlook
// halves in one document). A fixture is taken whole or refused whole: a
// refused one raises FixtureError and leaves the profile's dump as it was; a
// taken one dumps to a document that loads again and dumps the same.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "host/embedded_host.h"
#include "profile/profile.h"

using namespace velklk;

namespace {

// The profile every input starts from: two users with settings and a global,
// an address with a contact person, a mailbox with a contact in it.
constexpr const char* kBase = R"json({
  "now": "2026-12-06 10:00:00",
  "host": {
    "currentUser": "ANNA",
    "users": [
      {"name": "ANNA", "name2": "Anna Berg", "properties": {"EMail": "anna@example.com"},
       "settings": {"PREXOLContactPath": "anna@example.com\\Kontakte"}},
      {"name": "BEN", "groups": ["Vertrieb"]}],
    "globals": {"TBKLK_g_Merkmalgruppe": "Kestrelink"},
    "tables": {
      "Adressen": [{"ID": "0000000001", "An": "Firma", "Name": "Muster GmbH"}],
      "Ansprechpartner": [{"ID": "0000000002", "@master": "0000000001", "Name": "Berg"}]}},
  "outlook": {
    "running": true, "version": "16.0.0.0",
    "stores": [{"name": "anna@example.com", "folders": [
      {"name": "Kontakte", "type": 2, "items": [{"entryId": "E1", "FullName": "Eva Berg"}]},
      {"name": "Kalender", "type": 1}]}]}})json";

struct Desk {
  std::unique_ptr<Profile> profile = Profile::InMemory();
  std::string base;
  Desk() {
    profile->LoadFixture(kBase);
    base = profile->DumpFixture();
  }
};

Desk& TheDesk() {
  static Desk desk;
  return desk;
}

[[noreturn]] void Fault(const std::string& what) {
  std::fprintf(stderr, "fuzz_fixture: %s\n", what.c_str());
  __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  Desk& desk = TheDesk();
  Profile& profile = *desk.profile;
  // Text that is not JSON is refused before the stores are touched; the
  // fuzzer writes much of it, so it skips the dumps that compare the stores.
  if (!nlohmann::json::accept(text)) {
    try {
      profile.LoadFixture(text);
    } catch (const FixtureError&) {
      return 0;
    }
    Fault("a fixture that is not JSON was taken");
  }
  try {
    profile.LoadFixture(text);
  } catch (const FixtureError&) {
    if (profile.DumpFixture() != desk.base) Fault("a refused fixture changed the profile");
    return 0;
  }
  const std::string dump = profile.DumpFixture();
  try {
    profile.LoadFixture(dump);
  } catch (const FixtureError& e) {
    Fault(std::string("the dump of a loaded fixture does not load: ") + e.what() + "\n" + dump);
  }
  const std::string again = profile.DumpFixture();
  if (again != dump) Fault("a dump loaded and dumped again differs:\n" + dump + "\n---\n" + again);
  profile.LoadFixture(kBase);
  if (profile.DumpFixture() != desk.base)
    Fault("the base fixture no longer dumps the same:\n" + desk.base + "\n---\n" +
          profile.DumpFixture());
  return 0;
}
