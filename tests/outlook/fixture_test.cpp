// The Outlook half of the fixture format: dump and load give the same state
// back, bad fixtures are refused whole, damaged profiles are reported.
#include <fstream>
#include <sstream>

#include "outlook_test_support.h"

namespace velklk {
namespace {

using nlohmann::json;
using test::ErrorOf;
using test::Fixture;
using test::Store;
using test::TempProfile;

TEST(OutlookFixture, DumpThenLoadGivesTheSameStateBack) {
  TempProfile profile;
  Store store(profile);
  store.Load(Fixture("full"));
  const json first = store.outlook->DumpFixture();

  // Loading the dump into a new profile and dumping again changes nothing.
  TempProfile other;
  Store copy(other);
  copy.Load(first);
  EXPECT_EQ(copy.outlook->DumpFixture(), first);
  // Handles into the replaced profile no longer write anywhere.
  auto oldFolder = store.outlook->FindFolder("anna@example.com\\Kalender");
  store.Load(json::parse(R"({"stores": [{"name": "anna@example.com"}]})"));
  EXPECT_EQ(ErrorOf([&] { oldFolder->Items()->Add()->Save(); }), err::kOlNotFound);
  EXPECT_EQ(ErrorOf([&] { oldFolder->Folders()->Add("X", OlItemType::Task); }), err::kOlNotFound);
  // The reloaded derived values still follow their sources.
  auto c = copy.outlook->FindFolder("anna@example.com\\Kontakte")->Items()->Item(1);
  c->Set("FirstName", "Moritz");
  EXPECT_EQ(c->Get("FileAs").ToText(), "Muster, Moritz");
  auto visitItem = copy.outlook->FindFolder("anna@example.com\\Kalender")->Items()->Item(1);
  EXPECT_EQ(visitItem->Links()->Item(1)->Item()->EntryId(), "C1");
  // Values entered as JSON name the properties Outlook has.
  EXPECT_NE(ErrorOf([&] { copy.outlook->ApplyJson(*visitItem, json::parse(R"({"Nope": 1})")); }),
            0u);
}

json ReadGolden(const std::string& name) {
  std::ifstream in(std::string(VELKLK_SOURCE_DIR) + "/tests/outlook/golden/" + name);
  std::stringstream text;
  text << in.rdbuf();
  return json::parse(text.str());
}

// The dump format other tools and fixtures rely on, property by property.
TEST(OutlookFixture, DumpMatchesTheGoldenFile) {
  TempProfile profile;
  Store store(profile);
  store.Load(ReadGolden("small_profile.json"));
  const json dump = store.outlook->DumpFixture();
  EXPECT_EQ(dump, ReadGolden("small_profile.dump.json")) << dump.dump(2);
}

TEST(OutlookFixture, BadFixturesAreRefusedWholeNamingTheEntry) {
  TempProfile profile;
  Store store(profile);
  store.Load(Fixture("full"));
  const json before = store.outlook->DumpFixture();
  // Each case of fixtures/bad.json: a fixture and what its error mentions.
  for (const auto& bad : Fixture("bad")) {
    SCOPED_TRACE(bad["fixture"].dump());
    try {
      store.Load(bad["fixture"]);
      ADD_FAILURE() << "accepted";
    } catch (const AutomationError& e) {
      EXPECT_NE(e.Description().find(bad["mention"].get<std::string>()), std::string::npos)
          << e.Description();
    }
    EXPECT_EQ(store.outlook->DumpFixture(), before);
  }
  // And nothing of a refused fixture reached the database either.
  Store reopened(profile);
  EXPECT_EQ(reopened.outlook->DumpFixture(), before);
}

// Other users' mailboxes on the mail server resolve as recipients and open
// as shared folders, but are not in the profile's folder tree; they stay so
// when the profile is opened again, and a profile from before them opens
// with its stores as they were.
TEST(OutlookFixture, OtherUsersMailboxesResolveAndOpenWithoutBeingStores) {
  TempProfile profile;
  Store(profile).Load(Fixture("full"));
  Store store(profile);
  auto ns = store.outlook->Application()->GetNamespace("MAPI");
  EXPECT_EQ(ns->Folders()->Count(), 1);
  EXPECT_EQ(ErrorOf([&] { ns->Folders()->Item("ben@example.com"); }), err::kOlNotFound);
  EXPECT_FALSE(ns->CreateRecipient("carl@example.com")->Resolve());
  auto ben = ns->CreateRecipient("BEN@example.com");
  ASSERT_TRUE(ben->Resolve());
  auto calendar = ns->GetSharedDefaultFolder(ben, kOlFolderCalendar);
  EXPECT_EQ(calendar->FolderPath(), "\\\\ben@example.com\\Kalender");
  EXPECT_EQ(ErrorOf([&] { ns->GetSharedDefaultFolder(ben, 13); }), err::kOlNotFound);
  auto fair = calendar->Items()->Item(1);
  EXPECT_EQ(fair->Links()->Item(1)->Item()->EntryId(), "C1");
  fair->Set("Subject", "Messe Hannover");
  fair->Save();
  store.outlook->Reload();  // handles stay attached
  EXPECT_EQ(calendar->Items()->Item(1)->Get("Subject").ToText(), "Messe Hannover");
  EXPECT_EQ(
      Store(profile).outlook->DumpFixture()["mailboxes"][0]["folders"][0]["items"][0]["Subject"],
      "Messe Hannover");

  store.db->Exec("DROP TABLE outlook.mailboxes");
  Store earlier(profile);
  EXPECT_EQ(earlier.outlook->Application()->GetNamespace("MAPI")->Folders()->Count(), 2);
  EXPECT_EQ(earlier.outlook->DumpFixture()["mailboxes"], json::array());
}

TEST(OutlookFixture, ADamagedProfileIsReportedNotTrusted) {
  TempProfile profile;
  {
    Store store(profile);
    store.Load(Fixture("full"));
  }
  for (const char* damage : {"UPDATE outlook.items SET data = x'5301' WHERE id = 1",
                             "UPDATE outlook.items SET data = x'55035a5a5a0900' WHERE id = 1",
                             "UPDATE outlook.items SET data = x'51' WHERE id = 1",
                             "UPDATE outlook.items SET class = 99 WHERE id = 1",
                             "UPDATE outlook.items SET folder = 999 WHERE id = 1",
                             "UPDATE outlook.folders SET parent = 999 WHERE id = 2",
                             "INSERT INTO outlook.mailboxes VALUES(2)"}) {
    SCOPED_TRACE(damage);
    TempProfile copy;
    std::filesystem::copy_file(profile.OutlookDb(), copy.OutlookDb());
    auto db = sqlite::Connection::Open(copy.CrmDb());
    db->Attach(copy.OutlookDb(), "outlook");
    db->Exec(damage);
    SettableClock clock(AutoDate::FromParts(2026, 12, 6));
    EXPECT_EQ(ErrorOf([&] { EmbeddedOutlook::Open(db, "outlook", &clock, "de"); }), err::kFail);
  }
}

}  // namespace
}  // namespace velklk
