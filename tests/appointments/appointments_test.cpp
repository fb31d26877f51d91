// The appointment synchronisation driven through the public classes on the
// embedded host and Outlook: re-synchronisation by CSync.AppSync2OL (also of
// a participant's copy), the CAppointment commands with the calendar
// listener, and the import by CSync.SyncAppointments2VEL.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "desk.h"
#include "platform/host.h"
#include "platform/outlook.h"
#include "session/access.h"

namespace velklk::test {
namespace {

constexpr const char* kAnna = "anna@example.com\\Kalender";
constexpr const char* kBen = "ben@example.com\\Kalender";
constexpr const char* kKey = "0000000004Aktivitaeten";

// Activity 4 of ANNA: from 10:00 for an hour, a reminder of 2.5 minutes,
// for the contact person Eva Berg.
std::string Fixture(const std::string& more = "{}") {
  nlohmann::json doc = nlohmann::json::parse(StandardFixture(R"({"host": {"tables": {
      "Aktivitaeten": [ {"ID": "0000000004", "@master": "0000000003", "Betreff": "Termin",
        "Datum": "2026-12-08 10:00:00", "Dauer": 0.041666666666666664,
        "Voralarm": 0.001736111111111111, "Empfaenger": "Eva Berg", "Verantwortlich": "ANNA",
        "ModifiziertAm": "2026-12-06 09:00:00"} ] }}})"));
  doc.merge_patch(nlohmann::json::parse(more));
  return doc.dump();
}

void Now(Desk& d, const std::string& when) { d.profile().Clock().Set(*AutoDate::Parse(when)); }

bool AppSync(Desk& d, const std::string& id = "0000000004",
             const std::string& table = "Aktivitaeten",
             const std::string& activity = "0000000004") {
  return d.Call("velKLK.CSync", "AppSync2OL", {id, table, activity, "Aktivitaeten", ""}).True();
}

// The appointment of a calendar with that key (a plain walk, no filter).
std::shared_ptr<OlItem> Appt(Desk& d, const std::string& calendar, const std::string& key) {
  auto items = d.outlook().FindFolder(calendar)->Items();
  for (int i = 1; i <= items->Count(); ++i) {
    if (UserProp(*items->Item(i), "velSearch") == key) return items->Item(i);
  }
  return nullptr;
}

std::string Get(const std::shared_ptr<OlItem>& item, const char* property) {
  return item ? item->Get(property).ToText() : "<none>";
}

void Change(Desk& d, const std::shared_ptr<OlItem>& item, const std::string& json) {
  d.outlook().ApplyJson(*item, nlohmann::json::parse(json));
  item->Save();
}

// A host table on a database object of its own (cursors apart from the
// add-in's), positioned by Seek when an ID is given.
struct Table {
  std::shared_ptr<HostDatabase> db;
  std::shared_ptr<HostTable> t;
  Table(Desk& d, const std::string& name, const std::string& id = "")
      : db(d.host().Database()->OpenWorkingDatabase(0)), t(db->Table(name)) {
    t->SelectIndex(name == "TBKLK_SyncLog" ? "SyncSearch" : "ID");
    if (!id.empty() && !t->Seek(id)) t.reset();
  }
};

std::string Field(Desk& d, const std::string& table, const std::string& id, const char* field) {
  Table r(d, table, id);
  return r.t ? r.t->Field(field)->Value().ToText() : "<none>";
}

void Edit(Desk& d, const std::string& table, const std::string& id, const char* field,
          const Variant& value) {
  Table r(d, table, id);
  ASSERT_TRUE(r.t && r.t->BeginEdit());
  r.t->Field(field)->SetValue(value);
  r.t->StoreEdited();
}

int Rows(Desk& d, const std::string& table) {
  return static_cast<int>(Table(d, table).t->SelectRows({"ID"}, "").size());
}

bool Logged(Desk& d, const std::string& key) {
  return Table(d, "TBKLK_SyncLog", "ANNA" + key).t != nullptr;
}

TEST(AppointmentResync, ExportThenTheNewerSideWinsOutsideFiveSecondsAndAcrossMidnight) {
  Desk d(Fixture());
  Now(d, "2026-12-06 10:00:00");
  ASSERT_TRUE(AppSync(d));
  auto a = Appt(d, kAnna, kKey);
  EXPECT_EQ(Get(a, "Start"), "2026-12-08 10:00:00");
  EXPECT_EQ(Get(a, "End"), "2026-12-08 11:00:00");
  EXPECT_EQ(Get(a, "ReminderMinutesBeforeStart"), "2");  // 2.5 to the even neighbour
  EXPECT_EQ(Get(a, "ReminderSet"), "True");
  EXPECT_TRUE(Logged(d, kKey));
  // The contact person named in "Empfaenger" and its address are in Outlook.
  auto contacts = d.outlook().FindFolder("anna@example.com\\Kontakte")->Items();
  EXPECT_TRUE(contacts->Find("[velSearch] = \"0000000002Ansprechpartner\""));
  EXPECT_TRUE(contacts->Find("[velSearch] = \"0000000001Adressen\""));

  Now(d, "2026-12-06 10:00:05");  // the host 5 seconds later: in step
  Edit(d, "Aktivitaeten", "0000000004", "Betreff", Variant("A"));
  ASSERT_TRUE(AppSync(d));
  EXPECT_EQ(Get(a, "Subject"), "Termin");
  Now(d, "2026-12-06 10:00:06");  // 6 seconds: the host wins
  Edit(d, "Aktivitaeten", "0000000004", "Betreff", Variant("B"));
  ASSERT_TRUE(AppSync(d));
  EXPECT_EQ(Get(a, "Subject"), "B");

  Now(d, "2026-12-06 23:59:58");  // Outlook before midnight, the host after it
  Change(d, a, R"({"Subject": "Outlook"})");
  Now(d, "2026-12-07 00:00:03");
  Edit(d, "Aktivitaeten", "0000000004", "Betreff", Variant("Host"));
  ASSERT_TRUE(AppSync(d));
  EXPECT_EQ(Get(a, "Subject"), "Host");

  Now(d, "2026-12-08 08:00:00");  // Outlook a day later: the activity follows
  Change(d, a, R"({"Subject": "X|Verschoben", "Start": "2026-12-09 10:00:00",
                   "End": "2026-12-09 12:00:00", "ReminderSet": false})");
  ASSERT_TRUE(AppSync(d));
  EXPECT_EQ(Field(d, "Aktivitaeten", "0000000004", "Betreff"), "Verschoben");
  EXPECT_EQ(Field(d, "Aktivitaeten", "0000000004", "DatumBis"), "2026-12-09 12:00:00");
  EXPECT_EQ(Field(d, "Aktivitaeten", "0000000004", "Erledigt"), "True");
  EXPECT_TRUE(d.BoxTexts().empty());
}

TEST(AppointmentResync, AllDayOnlyOnReSyncAndOutlookDeletions) {
  Desk d(Fixture(R"({"host": {"tables": {"Aktivitaeten": [ {"ID": "0000000004",
      "@master": "0000000003", "Betreff": "Messe", "Datum": "2026-12-08 00:00:00",
      "DatumBis": "2026-12-09 00:00:00", "Verantwortlich": "ANNA"} ]}}})"));
  ASSERT_TRUE(AppSync(d));
  auto a = Appt(d, kAnna, kKey);
  EXPECT_EQ(Get(a, "AllDayEvent"), "False");
  Now(d, "2026-12-06 11:00:00");
  Edit(d, "Aktivitaeten", "0000000004", "Memo", Variant("Stand"));
  ASSERT_TRUE(AppSync(d));
  EXPECT_EQ(Get(a, "AllDayEvent"), "True");

  // Deleted in Outlook: the activity stays and nothing comes back ...
  a->Delete();
  EXPECT_TRUE(AppSync(d));
  EXPECT_FALSE(Appt(d, kAnna, kKey));
  EXPECT_EQ(Field(d, "Aktivitaeten", "0000000004", "Betreff"), "Messe");
  EXPECT_TRUE(Logged(d, kKey));
  // ... unless deleted activities are to go as well.
  d.SetSetting("TBKLK_DeleteActivities", "wahr");
  EXPECT_TRUE(AppSync(d));
  EXPECT_EQ(Rows(d, "Aktivitaeten"), 0);
  EXPECT_FALSE(Logged(d, kKey));
  EXPECT_TRUE(d.BoxTexts().empty());
}

// A participant record "0000000007" of ANNA for activity 4, and an unrelated
// activity with the same ID under another address.
TEST(AppointmentResync, ParticipantCopyFollowsItsActivityOnly) {
  Desk d(Fixture(R"({"host": {"tables": {
      "Adressen": [ {"ID": "0000000001", "Name": "Muster GmbH"}, {"ID": "0000000008", "Name": "Fremd"} ],
      "Vorgaenge": [ {"ID": "0000000003", "@master": "0000000001"}, {"ID": "0000000009", "@master": "0000000008"} ],
      "Aktivitaeten": [ {"ID": "0000000004", "@master": "0000000003", "Betreff": "Termin",
          "Datum": "2026-12-08 10:00:00", "Verantwortlich": "ANNA"},
        {"ID": "0000000007", "@master": "0000000009", "Betreff": "Fremd",
          "Datum": "2026-12-09 10:00:00", "Verantwortlich": "BEN", "ModifiziertAm": "2026-12-01 09:00:00"} ],
      "calA_Teilnehmer": [ {"ID": "0000000007", "MasterTable": "Aktivitaeten",
          "MasterID": "0000000004", "User": "ANNA"} ] }}})"));
  const char* key = "0000000007calA_Teilnehmer";
  ASSERT_TRUE(AppSync(d, "0000000007", "calA_Teilnehmer"));
  auto copy = Appt(d, kAnna, key);
  EXPECT_EQ(Get(copy, "Subject"), "Termin");
  // The other activity 0000000007 and its address are left alone.
  EXPECT_EQ(Field(d, "Aktivitaeten", "0000000007", "ModifiziertAm"), "2026-12-01 09:00:00");
  EXPECT_EQ(Rows(d, "Adressmerkmale"), 1);
  EXPECT_FALSE(Appt(d, kBen, "0000000007Aktivitaeten"));
  EXPECT_FALSE(d.outlook()
                   .FindFolder("anna@example.com\\Kontakte")
                   ->Items()
                   ->Find("[velSearch] = \"0000000008Adressen\""));

  Now(d, "2026-12-07 10:00:00");  // the copy changed later in Outlook: rewritten
  Change(d, copy, R"({"Subject": "Meins"})");
  ASSERT_TRUE(AppSync(d, "0000000007", "calA_Teilnehmer"));
  EXPECT_EQ(Get(copy, "Subject"), "Termin");
  EXPECT_EQ(Field(d, "Aktivitaeten", "0000000004", "Betreff"), "Termin");

  copy->Delete();  // deleted in Outlook: only the participant record goes
  ASSERT_TRUE(AppSync(d, "0000000007", "calA_Teilnehmer"));
  EXPECT_EQ(Rows(d, "calA_Teilnehmer"), 0);
  EXPECT_FALSE(Logged(d, key));
  EXPECT_EQ(Rows(d, "Aktivitaeten"), 2);
  EXPECT_TRUE(d.BoxTexts().empty());
}

TEST(AppointmentResync, OfflineOutlookWritesNothingUntilItIsOnline) {
  Desk d(Fixture());
  ASSERT_TRUE(d.Call("velKLK.CSync", "SyncContacts2VEL").True());  // folder definitions exist
  d.outlook().SetOffline(true);
  EXPECT_FALSE(AppSync(d));
  EXPECT_FALSE(Appt(d, kAnna, kKey));
  EXPECT_FALSE(Logged(d, kKey));
  ASSERT_FALSE(d.BoxTexts().empty());
  EXPECT_NE(d.BoxTexts().back().find("(online)"), std::string::npos);
  d.outlook().SetOffline(false);
  EXPECT_TRUE(AppSync(d));
  EXPECT_TRUE(Appt(d, kAnna, kKey));
}

}  // namespace
}  // namespace velklk::test
