// Appointments through the public classes on the embedded platforms:
// AppSync2OL, the CAppointment commands with the listener, the import.
#include <gtest/gtest.h>

#include "fixtures.h"
#include "platform/host.h"
#include "platform/outlook.h"
#include "session/access.h"

namespace velklk::test {
namespace {

constexpr const char* kAnna = "anna@example.com\\Kalender";
constexpr const char* kBen = "ben@example.com\\Kalender";
constexpr const char* kContacts = "anna@example.com\\Kontakte";
constexpr const char* kKey = "0000000004Aktivitaeten";

// AppSync2OL for the record `id` of `table` that stands for `activity` of
// the activity table or the calendar-entry table.
bool AppSync(Desk& d, const std::string& id = "0000000004",
             const std::string& table = "Aktivitaeten", const std::string& activity = "0000000004",
             const std::string& activityTable = "Aktivitaeten") {
  return d.Call("velKLK.CSync", "AppSync2OL", {id, table, activity, activityTable, ""}).True();
}

// The item of a folder with that key (a plain walk: a filter needs the
// folder's definition of velSearch).
std::shared_ptr<OlItem> Appt(Desk& d, const std::string& calendar, const std::string& key) {
  auto items = d.outlook().FindFolder(calendar)->Items();
  for (int i = 1; i <= items->Count(); ++i) {
    if (UserProp(*items->Item(i), "velSearch") == key) return items->Item(i);
  }
  return nullptr;
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

bool Logged(Desk& d, const std::string& key) {
  return Table(d, "TBKLK_SyncLog", "ANNA" + key).t != nullptr;
}

TEST(AppointmentResync, ExportThenTheNewerSideWinsOutsideFiveSecondsAndAcrossMidnight) {
  Desk d(Fixture());
  d.SetNow("2026-12-06 10:00:00");
  ASSERT_TRUE(AppSync(d));
  auto a = Appt(d, kAnna, kKey);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->Get("Start").ToText(), "2026-12-08 10:00:00");
  EXPECT_EQ(a->Get("End").ToText(), "2026-12-08 11:00:00");
  EXPECT_EQ(a->Get("ReminderMinutesBeforeStart").ToText(), "2");  // 2.5 to the even neighbour
  EXPECT_TRUE(Logged(d, kKey));
  // The contact person named in "Empfaenger" and its address are in Outlook.
  EXPECT_TRUE(Appt(d, kContacts, "0000000002Ansprechpartner") &&
              Appt(d, kContacts, "0000000001Adressen"));

  d.SetNow("2026-12-06 10:00:05");  // the host 5 seconds later: in step
  Edit(d, "Aktivitaeten", "0000000004", "Betreff", Variant("A"));
  ASSERT_TRUE(AppSync(d));
  EXPECT_EQ(a->Get("Subject").ToText(), "Termin");
  d.SetNow("2026-12-06 10:00:06");  // 6 seconds: the host wins
  Edit(d, "Aktivitaeten", "0000000004", "Betreff", Variant("B"));
  ASSERT_TRUE(AppSync(d));
  EXPECT_EQ(a->Get("Subject").ToText(), "B");

  d.SetNow("2026-12-06 23:59:58");  // Outlook before midnight, the host after it
  d.Edit(*a, R"({"Subject": "Outlook"})");
  d.SetNow("2026-12-07 00:00:03");
  Edit(d, "Aktivitaeten", "0000000004", "Betreff", Variant("Host"));
  ASSERT_TRUE(AppSync(d));
  EXPECT_EQ(a->Get("Subject").ToText(), "Host");

  d.SetNow("2026-12-08 08:00:00");  // Outlook a day later: the activity follows
  d.Edit(*a, R"({"Subject": "X|Verschoben", "Start": "2026-12-09 10:00:00",
                   "End": "2026-12-09 12:00:00"})");
  ASSERT_TRUE(AppSync(d));
  EXPECT_EQ(Field(d, "Aktivitaeten", "0000000004", "Betreff"), "Verschoben");
  EXPECT_EQ(Field(d, "Aktivitaeten", "0000000004", "DatumBis"), "2026-12-09 12:00:00");
  EXPECT_TRUE(d.BoxTexts().empty());
}

TEST(AppointmentResync, AllDayOnlyOnReSyncAndOutlookDeletions) {
  Desk d(Fixture(R"({"host": {"tables": {"Aktivitaeten": [ {"ID": "0000000004",
      "@master": "0000000003", "Betreff": "Messe", "Datum": "2026-12-08 00:00:00",
      "DatumBis": "2026-12-09 00:00:00", "Verantwortlich": "ANNA"} ]}}})"));
  ASSERT_TRUE(AppSync(d));
  auto a = Appt(d, kAnna, kKey);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->Get("AllDayEvent").ToText(), "False");
  d.SetNow("2026-12-06 11:00:00");
  Edit(d, "Aktivitaeten", "0000000004", "Memo", Variant("Stand"));
  ASSERT_TRUE(AppSync(d));
  EXPECT_EQ(a->Get("AllDayEvent").ToText(), "True");

  // Deleted in Outlook: the activity stays and nothing comes back ...
  a->Delete();
  EXPECT_TRUE(AppSync(d));
  EXPECT_FALSE(Appt(d, kAnna, kKey));
  EXPECT_EQ(Field(d, "Aktivitaeten", "0000000004", "Betreff"), "Messe");
  EXPECT_TRUE(Logged(d, kKey));
  // ... unless deleted activities are to go as well.
  d.SetSetting("TBKLK_DeleteActivities", "wahr");
  EXPECT_TRUE(AppSync(d));
  EXPECT_EQ(d.Count("Aktivitaeten"), 0);
  EXPECT_FALSE(Logged(d, kKey));
  EXPECT_TRUE(d.BoxTexts().empty());
}

TEST(AppointmentResync, ParticipantCopyFollowsItsActivityOnly) {
  Desk d(Fixture(kParticipants));
  const char* key = "0000000007calA_Teilnehmer";
  ASSERT_TRUE(AppSync(d, "0000000007", "calA_Teilnehmer"));
  auto copy = Appt(d, kAnna, key);
  ASSERT_TRUE(copy);
  EXPECT_EQ(copy->Get("Subject").ToText(), "Termin");
  // The other activity 0000000007 and its address are left alone.
  EXPECT_EQ(Field(d, "Aktivitaeten", "0000000007", "ModifiziertAm"), "2026-12-01 09:00:00");
  EXPECT_EQ(d.Count("Adressmerkmale"), 1);
  EXPECT_FALSE(Appt(d, kBen, "0000000007Aktivitaeten"));
  EXPECT_FALSE(Appt(d, kContacts, "0000000008Adressen"));

  d.SetNow("2026-12-07 10:00:00");  // the copy changed later in Outlook: rewritten
  d.Edit(*copy, R"({"Subject": "Meins"})");
  ASSERT_TRUE(AppSync(d, "0000000007", "calA_Teilnehmer"));
  EXPECT_EQ(copy->Get("Subject").ToText(), "Termin");

  copy->Delete();  // deleted in Outlook: only the participant record goes
  ASSERT_TRUE(AppSync(d, "0000000007", "calA_Teilnehmer"));
  EXPECT_EQ(d.Count("calA_Teilnehmer"), 0);
  EXPECT_FALSE(Logged(d, key));
  EXPECT_EQ(d.Count("Aktivitaeten"), 2);
  EXPECT_TRUE(d.BoxTexts().empty());
}

TEST(AppointmentResync, CalendarEntriesCarrySensitivityNoReminderAndTheParticipantsType) {
  Desk d(Fixture(R"({"host": {"tables": {"calA_Termine": [
      {"ID": "0000000006", "Typ": "Privat", "Betreff": "Zahnarzt", "Datum": "2026-12-09 08:00:00",
       "DatumBis": "2026-12-09 09:00:00", "Vertraulich": true, "Verantwortlich": "ANNA",
       "ModifiziertAm": "2026-12-06 09:00:00"},
      {"ID": "0000000009", "Typ": "Besuch", "Betreff": "Werkstatt", "Datum": "2026-12-10 08:00:00",
       "DatumBis": "2026-12-10 09:00:00", "Verantwortlich": "BEN"} ],
    "calA_Teilnehmer": [ {"ID": "0000000007", "MasterTable": "calA_Termine",
       "MasterID": "0000000009", "User": "ANNA"} ]}}})"));
  const auto sync = [&](const char* id, const char* table, const char* entry) {
    return AppSync(d, id, table, entry, "calA_Termine");
  };
  const char* key = "0000000006calA_Termine";
  ASSERT_TRUE(sync("0000000006", "calA_Termine", "0000000006"));
  auto a = Appt(d, kAnna, key);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->Get("Subject").ToText() + "|" + a->Get("Sensitivity").ToText() + "|" +
                a->Get("ReminderMinutesBeforeStart").ToText() + "|" + a->Get("End").ToText(),
            "Zahnarzt|2|0|2026-12-09 09:00:00");
  EXPECT_TRUE(Logged(d, key));
  d.SetNow("2026-12-07 10:00:00");  // Outlook newer
  d.Edit(*a, R"({"Subject": "X|Kontrolle", "Sensitivity": 0})");
  ASSERT_TRUE(sync("0000000006", "calA_Termine", "0000000006"));
  EXPECT_EQ(Field(d, "calA_Termine", "0000000006", "Betreff") + "|" +
                Field(d, "calA_Termine", "0000000006", "Vertraulich"),
            "Kontrolle|False");
  d.SetNow("2026-12-08 10:00:00");  // the host newer
  Edit(d, "calA_Termine", "0000000006", "Vertraulich", Variant(true));
  ASSERT_TRUE(sync("0000000006", "calA_Termine", "0000000006"));
  EXPECT_EQ(a->Get("Sensitivity").ToText() + "|" + a->Get("Subject").ToText(), "2|Kontrolle");
  // A participant's copy, made in the responsible user's calendar, shows the
  // type once it is rewritten from its entry.
  ASSERT_TRUE(sync("0000000007", "calA_Teilnehmer", "0000000009"));
  auto copy = Appt(d, kBen, "0000000007calA_Teilnehmer");
  ASSERT_TRUE(copy);
  EXPECT_EQ(copy->Get("Subject").ToText(), "Werkstatt");
  d.Edit(*copy, R"({"Subject": "Meins"})");
  ASSERT_TRUE(sync("0000000007", "calA_Teilnehmer", "0000000009"));
  EXPECT_EQ(copy->Get("Subject").ToText(), "Besuch|Werkstatt");
  EXPECT_TRUE(d.BoxTexts().empty());
}

TEST(AppointmentResync, OfflineOutlookWritesNothingUntilItIsOnline) {
  Desk d(Fixture());
  ASSERT_TRUE(d.Call("velKLK.CSync", "SyncContacts2VEL").True());  // folder definitions exist
  d.outlook().SetOffline(true);
  EXPECT_FALSE(AppSync(d));
  EXPECT_FALSE(Appt(d, kAnna, kKey));
  EXPECT_FALSE(Logged(d, kKey));
  EXPECT_TRUE(!d.BoxTexts().empty() && d.BoxTexts().back().find("(online)") != std::string::npos);
  d.outlook().SetOffline(false);
  EXPECT_TRUE(AppSync(d));
  EXPECT_TRUE(Appt(d, kAnna, kKey));
}

TEST(AppointmentCommands, CreateWritesIntoTheResponsibleUsersCalendar) {
  // ANNA's calendar list has a shorter address before BEN's entry in other
  // letter case; the host shows a calendar entry of BEN (while the activity
  // table stands on ANNA's own activity) and a recurring appointment of
  // activity 4 exists.
  Desk d(Fixture(R"({"host": {"users": [
      {"name": "ANNA", "name2": "Anna Berg", "properties": {"EMail": "anna@example.com"}, "settings": {
        "PREXOLContactPath": "anna@example.com\\Kontakte", "PREXOLTaskPath": "anna@example.com\\Aufgaben",
        "PREXOLCalPath": "anna@example.com\\Kalender;ben@example.co\\Kalender;Ben@Example.com\\Kalender",
        "TBKLK_InfoTerminAnlage": "wahr", "TBKLK_UserTableSettings": "<TBKLK><Tables>"}},
      {"name": "BEN", "properties": {"EMail": "ben@example.com"}} ],
    "tables": {"calA_Termine": [ {"ID": "0000000006", "Betreff": "Abnahme",
      "Datum": "2026-12-10 09:00:00", "DatumBis": "2026-12-10 10:00:00", "Verantwortlich": "BEN"} ]}},
    "outlook": {"stores": [ {"name": "anna@example.com", "folders": [ {"name": "Kontakte", "type": 2},
        {"name": "Kalender", "type": 1, "items": [ {"Subject": "Serie", "RecurrenceState": 1,
          "userProperties": {"velSearch": "0000000004Aktivitaeten"}} ]}, {"name": "Aufgaben", "type": 3} ]},
      {"name": "Ben@Example.com", "folders": [ {"name": "Kalender", "type": 1} ]} ]}})"));
  d.host().SetActiveTable("calA_Termine");
  d.host().PositionTable("calA_Termine", "0000000006");
  d.host().PositionTable("Aktivitaeten", "0000000004");
  auto app = d.Create("velKLK.CAppointment");
  ASSERT_FALSE(d.Call(*app, "CreateOutlookAppointment").Failed());
  EXPECT_EQ(d.Count("calA_Teilnehmer"), 1);
  EXPECT_EQ(Field(d, "calA_Teilnehmer", "0000000007", "MasterTable"), "calA_Termine");  // new key
  EXPECT_EQ(Field(d, "calA_Teilnehmer", "0000000007", "User"), "ANNA");
  auto a = Appt(d, "Ben@Example.com\\Kalender", "0000000007calA_Teilnehmer");
  ASSERT_TRUE(a);
  EXPECT_EQ(a->Get("Subject").ToText(), "Abnahme");
  ASSERT_EQ(d.BoxTexts().size(), 2u);  // the broken settings document, then "created"
  EXPECT_NE(d.BoxTexts()[0].find("TBKLK_UserTableSettings"), std::string::npos);
  EXPECT_EQ(d.BoxTexts()[1], "Termin wurde in Outlook angelegt");

  ASSERT_FALSE(d.Call(*app, "CreateOutlookAppointment").Failed());
  EXPECT_EQ(d.Count("calA_Teilnehmer"), 1);
  EXPECT_EQ(d.BoxTexts().back(), "Termin wurde in Outlook geändert");

  // ANNA's own activity: its recurring appointment is left as it is.
  d.host().SetActiveTable("Aktivitaeten");
  ASSERT_FALSE(d.Call(*app, "CreateOutlookAppointment").Failed());
  EXPECT_EQ(Appt(d, kAnna, kKey)->Get("Subject").ToText(), "Serie");
}

TEST(AppointmentCommands, StopMessagesSubjectExpressionsAndLinksOnAnOlderOutlook) {
  Desk d(Fixture(R"({"outlook": {"version": "14.0.0.0"}, "host": {"tables": {"Aktivitaeten": [
      {"ID": "0000000004", "@master": "0000000003", "Betreff": "Termin", "Datum": "2026-12-08 10:00:00",
       "Empfaenger": "Eva Berg", "Verantwortlich": "ANNA"},
      {"ID": "0000000010", "@master": "0000000003", "Betreff": "Fremd", "Verantwortlich": "BEN"},
      {"ID": "0000000011", "@master": "0000000003", "Betreff": "Niemand", "Verantwortlich": "NIEMAND"} ]}}})"));
  auto app = d.Create("velKLK.CAppointment");
  const auto on = [&](const char* table, const char* id, const char* member) {
    d.host().SetActiveTable(table);
    d.host().PositionTable(table, id);
    ASSERT_FALSE(d.Call(*app, member).Failed());
  };
  // The contact is gone again when it is fetched: the appointment is written
  // without a link; the empty user table settings are said.
  bool gone = false;
  d.ui().SetDoEventsHandler([&] {
    if (auto c = gone ? nullptr : Appt(d, kContacts, "0000000002Ansprechpartner")) c->Delete();
  });
  on("Aktivitaeten", "0000000004", "CreateOutlookAppointment");
  gone = true;
  auto a = Appt(d, kAnna, kKey);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->Links()->Count(), 0);
  EXPECT_EQ(a->Get("Subject").ToText(), "Termin");
  // Written anew with a settings document: the expression's value, "|",
  // "Betreff"; the contact made again is linked (Outlook before 2013).
  d.SetSetting("TBKLK_UserTableSettings", R"(<TBKLK><Tables><!-- x --><Table Name="aktivitaeten"
      Condition="" Subject="Betreff"/><Table Name="Aktivitaeten" Condition="" Subject="Verantwortlich"/>
      <Table Name="Aktivitaeten" Condition="" Subject="Betreff"/></Tables></TBKLK>)");
  a->Delete();
  on("Aktivitaeten", "0000000004", "CreateOutlookAppointment");
  a = Appt(d, kAnna, kKey);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->Get("Subject").ToText(), "ANNA|Termin");
  EXPECT_EQ(a->Links()->Count(), 1);
  a->Delete();
  on("Aktivitaeten", "0000000004", "FindOutlookAppointment");    // 3104
  on("Aktivitaeten", "0000000010", "FindOutlookAppointment");    // 3108
  on("Aktivitaeten", "0000000011", "CreateOutlookAppointment");  // no e-mail address
  d.SetSetting("PREXOLCalPath", "anna@example.com\\Kalender");
  on("Aktivitaeten", "0000000010", "CreateOutlookAppointment");  // no calendar
  on("Vorgaenge", "0000000003", "NewOutlookAppointment");        // neither table
  EXPECT_EQ(d.BoxTexts(),
            (std::vector<std::string>{
                "Die Konfiguration für die Synchronisation ist unvollständig.",
                "Termin in Outlook nicht gefunden", "Benutzer ist kein Teilnehmer dieses Termins",
                "Keinen E-Mail-Adresse für Benutzer 'NIEMAND' definiert!",
                "Keinen Kalender-Ordner für Benutzer 'BEN' definiert!",
                "Termine werden nur für eine Adresse oder einen Ansprechpartner "
                "angelegt. Wählen Sie bitte eine Adresse oder einen Ansprechpartner "
                "aus!"}));
  EXPECT_EQ(d.Count("calA_Teilnehmer"), 0);
  EXPECT_FALSE(d.outlook().Application()->ActiveExplorer());
  // The listener links the new appointment to the person's contact.
  on("Ansprechpartner", "0000000002", "NewOutlookAppointment");
  auto added = d.outlook().AddItemAsUser(kAnna, nlohmann::json{{"class", "appointment"},
                                                               {"Subject", "Neu"},
                                                               {"Start", "2026-12-10 10:00:00"},
                                                               {"End", "2026-12-10 11:00:00"}});
  EXPECT_EQ(added->Links()->Count(), 1);
  EXPECT_EQ(Field(d, "Aktivitaeten", UserProp(*added, "velID"), "Empfaenger"), "Eva Berg");
}

TEST(AppointmentCommands, ListenerMakesTheNextAppointmentAnActivityOnce) {
  Desk d(Fixture(R"({"host": {"globals": {"TBKLK_lt_AktivitaetentypTermin": ["Termin", "Besuch"]}},
      "outlook": {"stores": [ {"name": "anna@example.com", "folders": [ {"name": "Kontakte", "type": 2},
        {"name": "Kalender", "type": 1, "items": [ {"Subject": "Kopie", "userProperties": {
          "velTable": "calA_Teilnehmer", "velID": "0000000004", "velSearch": "0000000004calA_Teilnehmer"}} ]},
        {"name": "Aufgaben", "type": 3} ]}, {"name": "ben@example.com", "folders": [ {"name": "Kalender", "type": 1} ]} ]}})"));
  d.host().SetActiveTable("Ansprechpartner");
  d.host().PositionTable("Ansprechpartner", "0000000002");
  auto app = d.Create("velKLK.CAppointment");
  // The type choice is closed without OK: still armed, with the type "Termin".
  ASSERT_FALSE(d.Call(*app, "NewOutlookAppointment").Failed());
  ASSERT_TRUE(AppSync(d));  // an exported appointment is no new one
  EXPECT_EQ(d.Count("Aktivitaeten"), 1);
  const auto add = [&](const char* subject) {
    return d.outlook().AddItemAsUser(kAnna, nlohmann::json{{"class", "appointment"},
                                                           {"Subject", subject},
                                                           {"Start", "2026-12-10 00:00:00"},
                                                           {"End", "2026-12-11 00:00:00"},
                                                           {"AllDayEvent", true},
                                                           {"ReminderSet", false}});
  };
  auto first = add("Kunde");
  const std::string id = UserProp(*first, "velID");
  EXPECT_EQ(Field(d, "Aktivitaeten", id, "Typ"), "Termin");
  EXPECT_EQ(Field(d, "Aktivitaeten", id, "Betreff"), "Kunde");
  EXPECT_EQ(Field(d, "Aktivitaeten", id, "Empfaenger"), "Eva Berg");
  EXPECT_EQ(Field(d, "Aktivitaeten", id, "Dauer"), "0.9999");
  EXPECT_EQ(first->Get("Subject").ToText(), "|Kunde");
  EXPECT_TRUE(Logged(d, id + "Aktivitaeten"));
  Table activity(d, "Aktivitaeten", id);
  EXPECT_EQ(activity.t->Master()->Field("Betreff")->Value().ToText(), "Nur Outlook");

  add("Zweiter");  // not armed any more
  EXPECT_EQ(d.Count("Aktivitaeten"), 2);
  d.Edit(*first, R"({"Subject": "|Neu"})");  // busy: the listener's own activity stays
  EXPECT_EQ(Field(d, "Aktivitaeten", id, "Betreff"), "Kunde");

  d.ui().AddDialogAnswer(R"({"select": "Besuch", "press": "ok"})");
  d.host().SetActiveTable("Adressen");  // the listener left the process table active
  ASSERT_FALSE(d.Call(*app, "NewOutlookAppointment").Failed());
  ASSERT_TRUE(d.outlook().Application()->ActiveExplorer());  // the calendar window
  EXPECT_EQ(Field(d, "Aktivitaeten", UserProp(*add("Besuch"), "velID"), "Typ"), "Besuch");
  EXPECT_FALSE(d.outlook().Application()->ActiveExplorer());

  // An opened appointment writes its changes back, a participant's copy not.
  d.host().SetActiveTable("Aktivitaeten");
  d.host().PositionTable("Aktivitaeten", "0000000004");
  ASSERT_FALSE(d.Call(*app, "FindOutlookAppointment").Failed());
  EXPECT_EQ(d.ui().Events().back().kind, UiEvent::Kind::Display);
  d.Edit(*Appt(d, kAnna, "0000000004calA_Teilnehmer"), R"({"Subject": "Fremd"})");
  EXPECT_EQ(Field(d, "Aktivitaeten", "0000000004", "Betreff"), "Termin");
  d.Edit(*Appt(d, kAnna, kKey), R"({"Subject": "X|Geändert"})");
  EXPECT_EQ(Field(d, "Aktivitaeten", "0000000004", "Betreff"), "Geändert");
  EXPECT_TRUE(d.BoxTexts().empty());
}

TEST(AppointmentImport, NewAppointmentsComeInOrphansGoAndForeignLinksStay) {
  Desk d(Fixture(R"({"host": {"tables": {"TBKLK_SyncLog": [ {"velUser": "ANNA",
      "velTable": "Aktivitaeten", "velID": "0000000099", "velSearch": "0000000099Aktivitaeten"} ]}},
    "outlook": {"version": "14.0.0.0", "stores": [ {"name": "anna@example.com", "folders": [
      {"name": "Kontakte", "type": 2, "items": [ {"class": "contact", "entryId": "C1", "CompanyName": "Muster GmbH",
          "userProperties": {"velSearch": "0000000001Adressen", "velTable": "Adressen", "velID": "0000000001"}},
        {"class": "contact", "entryId": "C2", "LastName": "Weg"} ]},
      {"name": "Kalender", "type": 1, "items": [
        {"Subject": "Privat|Zahnarzt", "Start": "2026-12-09 08:00:00", "End": "2026-12-09 09:00:00", "Sensitivity": 2},
        {"Subject": "MITTAGESSEN mit Tom", "Start": "2026-12-09 12:00:00"},
        {"Subject": "Kundentermin", "Start": "2026-12-10 10:00:00", "links": ["C1"]},
        {"Subject": "Alt", "Start": "2026-12-11 10:00:00", "links": ["C2"]},
        {"Subject": "Waise", "Start": "2026-12-12 10:00:00", "userProperties": {"velTable": "Aktivitaeten",
          "velID": "0000000099", "velSearch": "0000000099Aktivitaeten"}},
        {"Subject": "Unbekannt", "Start": "2026-12-12 11:00:00", "userProperties": {"velTable": "Nope",
          "velID": "1", "velSearch": "1Nope"}},
        {"Subject": "Andere DB", "Start": "2026-12-12 12:00:00", "userProperties": {"velTable": "Aktivitaeten",
          "velID": "0000000098", "velSearch": "0000000098Aktivitaeten"}},
        {"Subject": "Jour fixe", "Start": "2026-12-14 09:00:00", "RecurrenceState": 1},
        {"Subject": "Später", "Start": "2027-01-05 09:00:00"} ]},
      {"name": "Aufgaben", "type": 3} ]},
      {"name": "ben@example.com", "folders": [ {"name": "Kalender", "type": 1, "items": [
        {"Subject": "Werkstatt", "Start": "2026-12-31 23:00:00"} ]} ]} ]}})"));
  d.SetSetting("TBKLK_ImportBlacklist", "foo  mittagessen");
  // A broken link: its contact is deleted.
  d.outlook().FindFolder("anna@example.com\\Kontakte")->Items()->Item(2)->Delete();
  const auto sync = [&](const char* activities, const char* entries) {
    return d
        .Call("velKLK.CSync", "SyncAppointments2VEL",
              {"2026-12-01", "2026-12-31", activities, entries})
        .True();
  };
  // Calendar entries only: the private appointment, the one with the broken
  // link and BEN's; the appointment of the Outlook contact is left alone.
  ASSERT_TRUE(sync("False", "True"));
  EXPECT_EQ(d.Count("calA_Termine"), 3);
  auto anna = d.outlook().FindFolder(kAnna)->Items();
  EXPECT_EQ(UserProp(*anna->Item(3), "velSearch"), "");
  // Activities only: an activity for it.
  ASSERT_TRUE(sync("True", "False"));
  const std::string entry = UserProp(*anna->Item(1), "velID");
  EXPECT_EQ(Field(d, "calA_Termine", entry, "Betreff"), "Zahnarzt");
  EXPECT_EQ(Field(d, "calA_Termine", entry, "Vertraulich"), "True");
  EXPECT_EQ(Field(d, "calA_Termine", entry, "Absender"), "Anna Berg");
  auto ben = d.outlook().FindFolder(kBen)->Items()->Item(1);
  EXPECT_EQ(Field(d, "calA_Termine", UserProp(*ben, "velID"), "Verantwortlich"), "BEN");
  EXPECT_EQ(Field(d, "Aktivitaeten", UserProp(*anna->Item(3), "velID"), "Betreff"), "Kundentermin");
  EXPECT_EQ(d.Count("Aktivitaeten"), 2);
  // The orphan went with its log entry; the unknown table and the record of
  // another database stay, named in one message per run; nothing else was
  // shown.
  EXPECT_FALSE(Appt(d, kAnna, "0000000099Aktivitaeten"));
  EXPECT_FALSE(Logged(d, "0000000099Aktivitaeten"));
  EXPECT_TRUE(Appt(d, kAnna, "1Nope"));
  EXPECT_TRUE(Appt(d, kAnna, "0000000098Aktivitaeten"));
  ASSERT_EQ(d.BoxTexts().size(), 2u);
  for (const std::string& text : d.BoxTexts()) {
    EXPECT_NE(text.find("\r\n- 'Unbekannt': Tabelle 'Nope'"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\n- 'Andere DB': Datensatz '0000000098Aktivitaeten'"),
              std::string::npos);
  }
  EXPECT_EQ(UserProp(*anna->Item(2), "velSearch"), "");

  // A blacklist cleared since filters nothing any more; a refused record is
  // shown and loses nothing.
  d.SetSetting("TBKLK_ImportBlacklist", "");
  d.host().RefuseTable("calA_Termine", "add");
  d.ui().Clear();
  ASSERT_TRUE(sync("True", "True"));
  EXPECT_NE(d.BoxTexts().at(0).find("'MITTAGESSEN mit Tom' wurde nicht übernommen"),
            std::string::npos);
  EXPECT_EQ(UserProp(*anna->Item(2), "velSearch"), "");
}

}  // namespace
}  // namespace velklk::test
