// Profiles: folders that keep their state between openings, profiles in
// memory that share nothing, fixtures that load whole or not at all, and the
// unit of work over both databases.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "host/embedded_host.h"
#include "outlook/embedded_outlook.h"
#include "platform/host.h"
#include "sqlite/connection.h"
#include "support/desk.h"

namespace velklk::test {
namespace {

namespace fs = std::filesystem;

std::string UserNames(Profile& profile) {
  auto db = profile.Host().Database();
  std::string names;
  for (int i = 0; i < db->UserCount(); ++i) names += db->UserAt(i)->Name() + ";";
  return names;
}

// The desk's base fixture as a whole document.
std::string BaseFixture() {
  Desk desk;
  return desk.profile().DumpFixture();
}

TEST(Profile, AFolderKeepsItsStateAndItsNow) {
  const fs::path dir = fs::temp_directory_path() / ("velklk-profile-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  EXPECT_FALSE(Profile::Exists(dir.string()));
  {
    auto profile = Profile::Open(dir.string());
    profile->LoadFixture(BaseFixture());
    ProfileUnitOfWork work(*profile);
    auto settings = profile->Host().Database()->CurrentUser()->Settings();
    settings->Add("TBKLK_Vorgang", Variant("Immer"));
  }
  EXPECT_TRUE(Profile::Exists(dir.string()));
  EXPECT_FALSE(fs::exists(dir / "outlook.db"));  // both halves live in crm.db
  {
    auto profile = Profile::Open(dir.string());
    EXPECT_EQ(profile->Clock().Now().Format(), "2026-12-06 10:00:00");
    EXPECT_EQ(UserNames(*profile), "ANNA;BEN;");
    auto settings = profile->Host().Database()->CurrentUser()->Settings();
    EXPECT_EQ(settings->Value("TBKLK_Vorgang").ToText(), "Immer");
    EXPECT_NO_THROW(profile->Outlook().FindFolder("anna@example.com\\Kontakte"));
  }
  fs::remove_all(dir);
  EXPECT_THROW(Profile::Open(dir.string()), std::runtime_error);
}

TEST(Profile, AFolderOfTheEarlierLayoutIsTakenOver) {
  // The earlier layout: the Outlook profile in its own file "outlook.db",
  // attached to the CRM database's connection.
  Desk desk(kSampleRecords);
  ASSERT_EQ(desk.Call("velKLK.CSync", "AddressOrContactSync2OL", {"0000000001", "Adressen"}).value,
            Variant(true));
  const std::string state = desk.profile().DumpFixture();
  const nlohmann::json doc = nlohmann::json::parse(state);
  const fs::path dir = fs::temp_directory_path() / ("velklk-earlier-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  {
    SettableClock clock(*AutoDate::Parse(doc["now"].get<std::string>()));
    auto db = sqlite::Connection::Open((dir / "crm.db").string());
    db->Attach((dir / "outlook.db").string(), "outlook");
    EmbeddedHost::Open(db, &clock)->LoadFixture(doc["host"], clock.Now());
    EmbeddedOutlook::Open(db, "outlook", &clock, "de")->LoadFixture(doc["outlook"], clock.Now());
    db->Exec("CREATE TABLE main._vk_profile(key TEXT PRIMARY KEY, value TEXT)");
    db->Prepare("INSERT INTO main._vk_profile VALUES('now', ?1)")
        .Bind(1, clock.Now().Format())
        .Run();
  }
  EXPECT_EQ(Profile::Open(dir.string())->DumpFixture(), state);
  EXPECT_FALSE(fs::exists(dir / "outlook.db"));
  EXPECT_EQ(Profile::Open(dir.string())->DumpFixture(), state);
  fs::remove_all(dir);
}

TEST(Profile, ABadFixtureLeavesTheProfileAsItWas) {
  auto profile = Profile::InMemory();
  profile->LoadFixture(BaseFixture());
  const std::string before = profile->DumpFixture();
  // The host half is good, the Outlook half is not.
  EXPECT_THROW(
      profile->LoadFixture(R"({"host":{"users":[{"name":"ZOE"}]},"outlook":{"version":17}})"),
      FixtureError);
  EXPECT_THROW(profile->LoadFixture(R"({"now":"gestern"})"), FixtureError);
  EXPECT_THROW(profile->LoadFixture(R"({"nwo":"2026-12-06 10:00:00"})"), FixtureError);
  EXPECT_THROW(profile->LoadFixture("[1, 2"), FixtureError);
  EXPECT_THROW(profile->LoadFixture(R"({"host":{"tables":{"Adressen":[{"Name":1E400}]}}})"),
               FixtureError);
  EXPECT_EQ(profile->DumpFixture(), before);
  EXPECT_EQ(UserNames(*profile), "ANNA;BEN;");
}

TEST(Profile, ADumpWrittenAsItIsReadIsTheDocumentAndLoadsBack) {
  Desk desk(kSampleRecords);
  ASSERT_EQ(desk.Call("velKLK.CSync", "AddressOrContactSync2OL", {"0000000001", "Adressen"}).value,
            Variant(true));
  Profile& profile = desk.profile();
  const nlohmann::json whole{{"now", profile.Clock().Now().Format()},
                             {"host", profile.Host().DumpFixture()},
                             {"outlook", profile.Outlook().DumpFixture()}};
  const std::string state = profile.DumpFixture();
  EXPECT_EQ(state, whole.dump(2));
  // Its items are read while it is parsed; the state is the same.
  auto copy = Profile::InMemory();
  copy->LoadFixture(state);
  EXPECT_EQ(copy->DumpFixture(), state);
  // An item read ahead that is bad is named in its folder.
  try {
    copy->LoadFixture(R"({"outlook":{"stores":[{"name":"s","folders":[{"name":"f","type":2,
        "items":[{"class":"contact","CreationTime":"2026-12-06 10:00:00",
                  "LastModificationTime":"2026-12-06 10:00:00","Colour":"red"}]}]}]}})");
    ADD_FAILURE() << "a bad item was loaded";
  } catch (const FixtureError& e) {
    EXPECT_NE(std::string(e.what()).find("outlook.stores[0] (s).folders[0] (f).items[0]"),
              std::string::npos)
        << e.what();
  }
  EXPECT_EQ(copy->DumpFixture(), state);
}

TEST(Profile, ABadFixtureKeepsTheServicesOfTheAddinWorking) {
  // The add-in holds the profile's services while a fixture fails to load:
  // the Outlook attachment it was given must still be the profile's own.
  Desk desk(kSampleRecords);
  OlAttacher* attacher = desk.state().services.outlook;
  EXPECT_THROW(desk.profile().LoadFixture(R"({"outlook":{"version":17}})"), FixtureError);
  EXPECT_EQ(desk.profile().Services(&desk.ui(), "de").outlook, attacher);
  auto outcome = desk.Call("velKLK.CSync", "AddressOrContactSync2OL", {"0000000001", "Adressen"});
  ASSERT_FALSE(outcome.Failed()) << outcome.error->Description();
  EXPECT_EQ(outcome.value, Variant(true));
}

}  // namespace
}  // namespace velklk::test
