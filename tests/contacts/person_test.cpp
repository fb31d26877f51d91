// Contact persons: both mapping directions through the update commands, the
// address-newer rule, the refused-value message and the hand-over of an
// activity's partner.
#include <gtest/gtest.h>

#include "desk.h"
#include "platform/user_interface.h"

namespace velklk::test {
namespace {

const char* kPersonKey = "0000000011Ansprechpartner";

std::string PersonFixture(const std::string& person, const std::string& extraHost = "",
                          const std::string& extraTop = "") {
  return R"({"host": {)" + extraHost + R"("tables": {
      "Adressen": [ {"ID": "0000000001", "An": "Firma", "Name": "Muster", "Zusatz": "AG", "Ort": "Hamburg", "PLZ": "20457", "Land": "DE",
                     "Telefon1": "040 0", "ModifiziertAm": "2026-12-01 09:00:00"} ],
      "Ansprechpartner": [ {"ID": "0000000011", "@master": "0000000001", "ModifiziertAm": "2026-12-01 09:00:00", )" +
         person + R"(} ]}})" + extraTop + "}";
}

TEST(ContactPerson, WayBackSalutationTitleMailAndBirthday) {
  Desk desk(PersonFixture(
      R"("FrauHerr": "Frau", "Vorname": "Eva", "Name": "Schneider", "Email": "eva@muster.example", "geboren": "1970-01-02", "Geburtstag": "1971-03-04")"));
  desk.UpdateAnsprechpartner("0000000011");
  auto c = desk.ContactOf(kPersonKey);
  ASSERT_TRUE(c);
  EXPECT_EQ(desk.Get(*c, "Title"), "Frau");
  EXPECT_EQ(desk.Get(*c, "Gender"), "1");
  EXPECT_EQ(desk.Get(*c, "CompanyName"), "Muster AG");
  EXPECT_EQ(desk.Get(*c, "BusinessAddressCity"), "Hamburg");
  EXPECT_EQ(desk.Get(*c, "Birthday").substr(0, 10), "1970-01-02");
  // A person without private address gets no home address.
  EXPECT_EQ(desk.Get(*c, "HomeAddressCity"), "");
  EXPECT_NE(desk.Get(*c, "SelectedMailingAddress"), "1");

  desk.SetNow("2026-12-06 11:00:00");
  desk.Edit(
      *c,
      R"({"Title": "Herr Prof. Dr.", "Email1Address": "/o=Velmora/cn=eva", "Email3Address": "eva@privat.example",
                    "Birthday": "1969-12-24 00:00:00", "HomeAddressStreet": "Gartenweg 2", "HomeAddressCity": "Kiel", "HomeAddressCountry": "Dänemark"})");
  desk.SetNow("2026-12-06 11:30:00");
  desk.UpdateAnsprechpartner("0000000011");
  EXPECT_EQ(desk.Field("Ansprechpartner", "0000000011", "FrauHerr"), "Herr");
  EXPECT_EQ(desk.Field("Ansprechpartner", "0000000011", "Titel"), "Prof. Dr.");
  EXPECT_EQ(desk.Field("Ansprechpartner", "0000000011", "Email"), "eva@muster.example");
  EXPECT_EQ(desk.Field("Ansprechpartner", "0000000011", "EMailPrivat"), "eva@privat.example");
  // The import writes "Geburtstag" when both exist.
  EXPECT_EQ(desk.Field("Ansprechpartner", "0000000011", "Geburtstag").substr(0, 10), "1969-12-24");
  EXPECT_EQ(desk.Field("Ansprechpartner", "0000000011", "geboren").substr(0, 10), "1970-01-02");
  EXPECT_EQ(desk.Field("Ansprechpartner", "0000000011", "Strasse"), "Gartenweg 2");
  EXPECT_EQ(desk.Field("Ansprechpartner", "0000000011", "Ort"), "Kiel");
  EXPECT_EQ(desk.Field("Ansprechpartner", "0000000011", "Land"), "Dän");

  // No salutation word and a name the gender component does not know: "???",
  // and the next export carries it into the title.
  desk.SetNow("2026-12-06 12:00:00");
  desk.Edit(*c, R"({"Title": "", "FirstName": "Xqzt"})");
  desk.SetNow("2026-12-06 12:30:00");
  desk.UpdateAnsprechpartner("0000000011");
  EXPECT_EQ(desk.Field("Ansprechpartner", "0000000011", "FrauHerr"), "???");
  desk.SetNow("2026-12-06 13:00:00");
  desk.EditRecord("Ansprechpartner", "0000000011", R"({"Abteilung": "Einkauf"})");
  desk.SetNow("2026-12-06 13:30:00");
  desk.UpdateAnsprechpartner("0000000011");
  EXPECT_EQ(desk.Get(*c, "Title"), "???");
  EXPECT_EQ(desk.Get(*c, "Department"), "Einkauf");
}

TEST(ContactPerson, BirthdayExportSwitchAndMissingEmail2) {
  Desk desk(PersonFixture(
      R"("FrauHerr": "Herr", "Vorname": "Jonas", "Name": "Weber", "Geburtstag": "1980-05-04")",
      R"("schema": {"Ansprechpartner": {"drop": ["Email2", "geboren"]}}, "users": [ {"name": "ANNA", "settings": {
                               "PREXOLContactPath": "anna@velmora.example\\Kontakte", "PREXOLCalPath": "anna@velmora.example\\Kalender",
                               "PREXOLTaskPath": "anna@velmora.example\\Aufgaben", "TBKLK_ExportContactBirthdate": "False"}} ], )"));
  desk.UpdateAnsprechpartner("0000000011");
  auto c = desk.ContactOf(kPersonKey);
  ASSERT_TRUE(c);
  EXPECT_NE(desk.Get(*c, "Birthday").substr(0, 4), "1980");
  // An Outlook contact without birthday does not clear the host's.
  desk.SetNow("2026-12-06 11:00:00");
  desk.Edit(*c, R"({"Email2Address": "zwei@muster.example", "JobTitle": "Technik"})");
  desk.SetNow("2026-12-06 11:30:00");
  desk.UpdateAnsprechpartner("0000000011");
  EXPECT_EQ(desk.Field("Ansprechpartner", "0000000011", "Geburtstag").substr(0, 10), "1980-05-04");
  EXPECT_EQ(desk.Field("Ansprechpartner", "0000000011", "Funktion"), "Technik");
  EXPECT_TRUE(desk.Messages().empty());
  // With the switch off, an Outlook birthday still reaches the host.
  desk.SetNow("2026-12-06 12:00:00");
  desk.Edit(*c, R"({"Birthday": "1981-06-07 00:00:00"})");
  desk.SetNow("2026-12-06 12:30:00");
  desk.UpdateAnsprechpartner("0000000011");
  EXPECT_EQ(desk.Field("Ansprechpartner", "0000000011", "Geburtstag").substr(0, 10), "1981-06-07");
}

TEST(ContactPerson, AddressChangedLaterRewritesThePersonsContact) {
  Desk desk(PersonFixture(R"("FrauHerr": "Frau", "Vorname": "Eva", "Name": "Schneider")"));
  desk.UpdateAnsprechpartner("0000000011");
  auto c = desk.ContactOf(kPersonKey);
  ASSERT_TRUE(c);
  ASSERT_EQ(desk.Get(*c, "CompanyName"), "Muster AG");
  // Person and contact in step; the address is renamed an hour later.
  desk.SetNow("2026-12-06 11:00:00");
  desk.EditRecord("Adressen", "0000000001", R"({"Name": "Muster Neu"})");
  desk.SetNow("2026-12-06 11:30:00");
  EXPECT_TRUE(desk.AddressOrContactSync2OL("0000000011", "Ansprechpartner"));
  EXPECT_EQ(desk.Get(*c, "CompanyName"), "Muster Neu AG");
  // The person's contact written at 12:00:00; the address changed only 8
  // seconds after the person: nothing to do. 12 seconds: rewritten.
  desk.SetNow("2026-12-06 11:59:00");
  desk.EditRecord("Ansprechpartner", "0000000011", R"({"Abteilung": "Vertrieb"})");
  desk.SetNow("2026-12-06 12:00:00");
  EXPECT_TRUE(desk.AddressOrContactSync2OL("0000000011", "Ansprechpartner"));
  EXPECT_EQ(desk.Get(*c, "Department"), "Vertrieb");
  desk.SetNow("2026-12-06 12:00:08");
  desk.EditRecord("Adressen", "0000000001", R"({"Ort": "Kiel"})");
  desk.SetNow("2026-12-06 12:00:30");
  EXPECT_TRUE(desk.AddressOrContactSync2OL("0000000011", "Ansprechpartner"));
  EXPECT_EQ(desk.Get(*c, "BusinessAddressCity"), "Hamburg");
  desk.SetNow("2026-12-06 12:00:12");
  desk.EditRecord("Adressen", "0000000001", R"({"Ort": "Lübeck"})");
  desk.SetNow("2026-12-06 12:00:40");
  EXPECT_TRUE(desk.AddressOrContactSync2OL("0000000011", "Ansprechpartner"));
  EXPECT_EQ(desk.Get(*c, "BusinessAddressCity"), "Lübeck");
}

TEST(ContactPerson, RefusedValueNamesThePersonAndField) {
  Desk desk(PersonFixture(
      R"("FrauHerr": "Herr", "Vorname": "Jonas", "Name": "Weber", "Funktion": "###", "Memo": "Notiz")",
      "", R"(, "outlook": {"refusedValues": {"JobTitle": ["###"]}})"));
  desk.UpdateAnsprechpartner("0000000011");
  const auto boxes = desk.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text,
            "Der Ansprechpartner (ID)=  '0000000011'  enthält einen ungültigen Wert im Feld "
            "'Funktion'\r\n"
            "Ändern Sie bitte den ungültigen Wert nach Beenden der Synchronisation!");
  auto c = desk.ContactOf(kPersonKey);
  ASSERT_TRUE(c);
  EXPECT_EQ(desk.Get(*c, "Body"), "Notiz");
  EXPECT_TRUE(desk.SyncLogHas(kPersonKey));
  // Exported again from a newer record: the refusal passes silently.
  desk.SetNow("2026-12-06 11:00:00");
  desk.EditRecord("Ansprechpartner", "0000000011", R"({"Memo": "Neu"})");
  desk.SetNow("2026-12-06 11:30:00");
  desk.ClearEvents();
  desk.UpdateAnsprechpartner("0000000011");
  EXPECT_TRUE(desk.Messages().empty());
  EXPECT_EQ(desk.Get(*c, "Body"), "Neu");
}

TEST(ContactExport, UpdateCommandWithoutAddressAndRepeatedExport) {
  Desk desk(PersonFixture(R"("Name": "Weber")"));
  desk.UpdateAdresse("0000000001");
  desk.UpdateAdresse("0000000001");
  EXPECT_EQ(desk.SyncLogCount("ANNA"), 1);
  EXPECT_EQ(desk.Marks("Adressen", "0000000001"), std::vector<std::string>{"ANNA"});
  EXPECT_EQ(desk.AllContacts().size(), 1u);
}

TEST(ContactExport, ActivityPartnerIsMadeAvailableBeforeTheAppointmentHandOver) {
  Desk desk(R"({"host": {"tables": {
      "Adressen": [ {"ID": "0000000001", "An": "Firma", "Name": "Muster"} ],
      "Ansprechpartner": [ {"ID": "0000000011", "@master": "0000000001", "FrauHerr": "Herr", "Vorname": "Jonas", "Name": "Weber"},
                           {"ID": "0000000012", "@master": "0000000001", "FrauHerr": "Frau", "Vorname": "Eva", "Name": "Schneider"} ],
      "Vorgaenge": [ {"ID": "0000000021", "@master": "0000000001", "Betreff": "Angebot"} ],
      "Aktivitaeten": [ {"ID": "0000000031", "@master": "0000000021", "Typ": "Termin", "Betreff": "Besprechung",
                         "Datum": "2026-12-08 10:00:00", "DatumBis": "2026-12-08 11:00:00", "Empfaenger": "eva schneider"} ]}}})");
  // The activity has no responsible user with a calendar: the appointment
  // side ends quietly with False.
  EXPECT_FALSE(desk.AppSync2OL("0000000031"));
  // The partner and her address are in Outlook and marked...
  EXPECT_TRUE(desk.ContactOf("0000000012Ansprechpartner"));
  EXPECT_TRUE(desk.ContactOf("0000000001Adressen"));
  EXPECT_FALSE(desk.ContactOf("0000000011Ansprechpartner"));
  EXPECT_EQ(desk.Marks("Ansprechpartner", "0000000012"), std::vector<std::string>{"ANNA"});
  EXPECT_EQ(desk.Marks("Adressen", "0000000001"), std::vector<std::string>{"ANNA"});
  EXPECT_TRUE(desk.SyncLogHas("0000000012Ansprechpartner"));
  EXPECT_TRUE(desk.Messages().empty());
}

}  // namespace
}  // namespace velklk::test
