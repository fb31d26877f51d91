// Export of addresses and contact persons to Outlook and the update in both
// directions, driven through the public classes on the embedded host and
// Outlook.
#include <gtest/gtest.h>

#include "desk.h"
#include "platform/outlook.h"

namespace velklk::test {
namespace {

// A record of "Adressen" with ANNA's favourite mark.
std::string Address(const std::string& fields, const std::string& extraTables = "",
                    const std::string& extraTop = "") {
  return R"({"host": {"tables": {"Adressen": [ {"ID": "0000000001", "ModifiziertAm": "2026-12-01 09:00:00", )" +
         fields +
         R"(} ], "Adressmerkmale": [ {"@master": "0000000001", "Gruppe": "Kestrelink", "Merkmal": "OutlookFavorit", "Wert": "ANNA"} ])" +
         extraTables + "}}" + extraTop + "}";
}

const char* kKey = "0000000001Adressen";

TEST(ContactExport, CompanyWithThreeNameLinesRoundTrips) {
  Desk desk(Address(
      R"("An": "Firma", "Name": "A", "Zusatz": "B", "Vorname": "C", "Strasse": "Hafenstraße 12", "PLZ": "20457", "Ort": "Hamburg", "Land": "D", "Telefon1": "040 1", "URL": "http://a.example", "Referenz": "Messe", "Memo": "Notiz")"));
  ASSERT_TRUE(desk.AddressOrContactSync2OL("0000000001", "Adressen"));
  auto c = desk.ContactOf(kKey);
  ASSERT_TRUE(c);
  EXPECT_EQ(desk.Get(*c, "CompanyName"), "A|B|C");
  EXPECT_EQ(desk.Get(*c, "LastName"), "A|B|C");
  EXPECT_EQ(desk.Get(*c, "Title"), "Firma");
  EXPECT_EQ(desk.Get(*c, "Gender"), "0");
  EXPECT_EQ(desk.Get(*c, "BusinessAddressStreet"), "Hafenstraße 12");
  EXPECT_EQ(desk.Get(*c, "BusinessAddressCountry"), "D");
  EXPECT_EQ(desk.Get(*c, "BusinessTelephoneNumber"), "040 1");
  EXPECT_EQ(desk.Get(*c, "BusinessHomePage"), "http://a.example");
  EXPECT_EQ(desk.Get(*c, "ReferredBy"), "Messe");
  EXPECT_EQ(desk.Get(*c, "Body"), "Notiz");
  EXPECT_EQ(desk.UserProp(*c, "velKontaktTyp"), "Firma");
  EXPECT_EQ(desk.UserProp(*c, "velTable"), "Adressen");
  EXPECT_EQ(desk.UserProp(*c, "velID"), "0000000001");
  EXPECT_TRUE(desk.SyncLogHas(kKey));
  EXPECT_TRUE(desk.Messages().empty());

  // The user changes only the telephone number: the three name lines stay.
  desk.SetNow("2026-12-06 11:00:00");
  desk.Edit(*c, R"({"BusinessTelephoneNumber": "040 2"})");
  desk.SetNow("2026-12-06 11:05:00");
  ASSERT_TRUE(desk.AddressOrContactSync2OL("0000000001", "Adressen"));
  EXPECT_EQ(desk.Field("Adressen", "0000000001", "Telefon1"), "040 2");
  EXPECT_EQ(desk.Field("Adressen", "0000000001", "Name"), "A");
  EXPECT_EQ(desk.Field("Adressen", "0000000001", "Zusatz"), "B");
  EXPECT_EQ(desk.Field("Adressen", "0000000001", "Vorname"), "C");
  EXPECT_EQ(desk.Field("Adressen", "0000000001", "Land"), "DE");
  EXPECT_EQ(desk.Field("Adressen", "0000000001", "An"), "Firma");

  // A changed company name goes back into the three lines.
  desk.SetNow("2026-12-06 12:00:00");
  desk.Edit(*c, R"({"CompanyName": "X|Y|Z"})");
  desk.SetNow("2026-12-06 12:05:00");
  ASSERT_TRUE(desk.AddressOrContactSync2OL("0000000001", "Adressen"));
  EXPECT_EQ(desk.Field("Adressen", "0000000001", "Name"), "X");
  EXPECT_EQ(desk.Field("Adressen", "0000000001", "Zusatz"), "Y");
  EXPECT_EQ(desk.Field("Adressen", "0000000001", "Vorname"), "Z");
}

TEST(ContactExport, CompanyNameAndZusatzAndStreetSurviveRoundTrips) {
  Desk desk(Address(
      R"("An": "Firma", "Name": "Nordlicht Logistik", "Zusatz": "AG", "Strasse": "Kaiserkai 1", "haus_zimmer": "Raum 4")"));
  ASSERT_TRUE(desk.AddressOrContactSync2OL("0000000001", "Adressen"));
  auto c = desk.ContactOf(kKey);
  ASSERT_TRUE(c);
  EXPECT_EQ(desk.Get(*c, "CompanyName"), "Nordlicht Logistik AG");
  EXPECT_EQ(desk.Get(*c, "BusinessAddressStreet"), "Kaiserkai 1 | Raum 4");

  for (int round = 0; round < 3; ++round) {
    desk.SetNow("2026-12-06 1" + std::to_string(round + 1) + ":00:00");
    desk.Edit(*c, R"({"Body": "Runde )" + std::to_string(round) + R"("})");
    desk.SetNow("2026-12-06 1" + std::to_string(round + 1) + ":30:00");
    ASSERT_TRUE(desk.AddressOrContactSync2OL("0000000001", "Adressen"));
  }
  EXPECT_EQ(desk.Field("Adressen", "0000000001", "Memo"), "Runde 2");
  EXPECT_EQ(desk.Field("Adressen", "0000000001", "Name"), "Nordlicht Logistik");
  EXPECT_EQ(desk.Field("Adressen", "0000000001", "Zusatz"), "AG");
  EXPECT_EQ(desk.Field("Adressen", "0000000001", "Strasse"), "Kaiserkai 1");
  EXPECT_EQ(desk.Field("Adressen", "0000000001", "haus_zimmer"), "Raum 4");

  // A street changed in Outlook in the same form goes back into both fields.
  desk.SetNow("2026-12-06 15:00:00");
  desk.Edit(*c, R"({"BusinessAddressStreet": "Sandtorkai 7 | Raum 9"})");
  desk.SetNow("2026-12-06 15:30:00");
  ASSERT_TRUE(desk.AddressOrContactSync2OL("0000000001", "Adressen"));
  EXPECT_EQ(desk.Field("Adressen", "0000000001", "Strasse"), "Sandtorkai 7");
  EXPECT_EQ(desk.Field("Adressen", "0000000001", "haus_zimmer"), "Raum 9");
}

TEST(ContactExport, StreetWithoutHouseOrRoomGoesOutAlone) {
  Desk desk(Address(R"("An": "Firma", "Name": "Muster", "Strasse": "Lindenweg 3")"));
  ASSERT_TRUE(desk.AddressOrContactSync2OL("0000000001", "Adressen"));
  EXPECT_EQ(desk.Get(*desk.ContactOf(kKey), "BusinessAddressStreet"), "Lindenweg 3");
}

TEST(ContactExport, PrivatePersonSalutationTitleAndGender) {
  Desk desk(Address(
      R"("An": "Herrn", "Titel": "Dr.", "Vorname": "Max", "Name": "Muster", "Strasse": "Lindenweg 3", "Ort": "München", "PLZ": "80331", "Land": "AT", "URL": "http://max.example", "TelefonMobil": "0170 1", "Email": "max@example.com")"));
  ASSERT_TRUE(desk.AddressOrContactSync2OL("0000000001", "Adressen"));
  auto c = desk.ContactOf(kKey);
  ASSERT_TRUE(c);
  EXPECT_EQ(desk.Get(*c, "Title"), "Herr Dr.");
  EXPECT_EQ(desk.Get(*c, "Gender"), "2");
  EXPECT_EQ(desk.Get(*c, "FirstName"), "Max");
  EXPECT_EQ(desk.Get(*c, "LastName"), "Muster");
  EXPECT_EQ(desk.Get(*c, "CompanyName"), "");
  EXPECT_EQ(desk.Get(*c, "BusinessAddressCity"), "München");
  EXPECT_EQ(desk.Get(*c, "PersonalHomePage"), "http://max.example");
  EXPECT_EQ(desk.Get(*c, "BusinessHomePage"), "");
  EXPECT_EQ(desk.Get(*c, "MobileTelephoneNumber"), "0170 1");
  EXPECT_EQ(desk.Get(*c, "Email1Address"), "max@example.com");
  EXPECT_EQ(desk.Get(*c, "Email1AddressType"), "SMTP");
  EXPECT_EQ(desk.UserProp(*c, "velKontaktTyp"), "Privatperson");

  // Back from Outlook: the salutation and title tables.
  desk.SetNow("2026-12-06 11:00:00");
  desk.Edit(*c, R"({"Title": "Frau Prof. Dr."})");
  desk.SetNow("2026-12-06 11:30:00");
  ASSERT_TRUE(desk.AddressOrContactSync2OL("0000000001", "Adressen"));
  EXPECT_EQ(desk.Field("Adressen", "0000000001", "An"), "Frau");
  EXPECT_EQ(desk.Field("Adressen", "0000000001", "Titel"), "Prof. Dr.");
  EXPECT_EQ(desk.Field("Adressen", "0000000001", "Land"), "AT");

  // No salutation word: the gender component decides by the first name.
  desk.SetNow("2026-12-06 12:00:00");
  desk.Edit(*c, R"({"Title": "Professor", "FirstName": "Agnes"})");
  desk.SetNow("2026-12-06 12:30:00");
  ASSERT_TRUE(desk.AddressOrContactSync2OL("0000000001", "Adressen"));
  EXPECT_EQ(desk.Field("Adressen", "0000000001", "An"), "Frau");
  EXPECT_EQ(desk.Field("Adressen", "0000000001", "Titel"), "Prof.");
  EXPECT_EQ(desk.Field("Adressen", "0000000001", "Vorname"), "Agnes");

  // An unknown name leaves the salutation empty.
  desk.SetNow("2026-12-06 13:00:00");
  desk.Edit(*c, R"({"Title": "", "FirstName": "Xqzt"})");
  desk.SetNow("2026-12-06 13:30:00");
  ASSERT_TRUE(desk.AddressOrContactSync2OL("0000000001", "Adressen"));
  EXPECT_EQ(desk.Field("Adressen", "0000000001", "An"), "");
  EXPECT_EQ(desk.Field("Adressen", "0000000001", "Titel"), "");
}

TEST(ContactExport, TitleOfQuestionMarksAndPersonOrCompanyRules) {
  // "???" counts as no title; "Herr" without n with a first name is a person.
  Desk desk(Address(R"("An": "Herr", "Titel": "???", "Vorname": "Max", "Name": "Muster")",
                    R"(, "Ansprechpartner": [])"));
  ASSERT_TRUE(desk.AddressOrContactSync2OL("0000000001", "Adressen"));
  auto c = desk.ContactOf(kKey);
  EXPECT_EQ(desk.Get(*c, "Title"), "Herr");
  EXPECT_EQ(desk.UserProp(*c, "velKontaktTyp"), "Privatperson");

  // An empty "An" with a first name and a Zusatz is a company.
  Desk company(Address(R"("An": "", "Vorname": "C", "Name": "A", "Zusatz": "B")"));
  ASSERT_TRUE(company.AddressOrContactSync2OL("0000000001", "Adressen"));
  EXPECT_EQ(company.UserProp(*company.ContactOf(kKey), "velKontaktTyp"), "Firma");
  // "Familie" without a first name is a company.
  Desk family(Address(R"("An": "Familie", "Name": "Muster")"));
  ASSERT_TRUE(family.AddressOrContactSync2OL("0000000001", "Adressen"));
  auto f = family.ContactOf(kKey);
  EXPECT_EQ(family.UserProp(*f, "velKontaktTyp"), "Firma");
  EXPECT_EQ(family.Get(*f, "Title"), "Familie");
}

TEST(ContactExport, WayBackNameSplitHomeValuesCountryAndMail) {
  Desk desk(Address(
      R"("An": "Firma", "Name": "Muster", "Email": "info@muster.example", "Ort": "Hamburg")"));
  ASSERT_TRUE(desk.AddressOrContactSync2OL("0000000001", "Adressen"));
  auto c = desk.ContactOf(kKey);
  ASSERT_TRUE(c);
  const auto back = [&](const std::string& json) {
    static int minute = 0;
    ++minute;
    desk.SetNow("2026-12-06 11:" + std::string(minute < 10 ? "0" : "") + std::to_string(minute) +
                ":00");
    desk.Edit(*c, json);
    desk.SetNow("2026-12-06 11:" + std::string(minute < 10 ? "0" : "") + std::to_string(minute) +
                ":30");
    ASSERT_TRUE(desk.AddressOrContactSync2OL("0000000001", "Adressen"));
  };
  // 37 characters or more with a long last word: split at the last blank.
  back(R"({"CompanyName": "Mueller Backwaren und Konditorei Suedstadt"})");
  EXPECT_EQ(desk.Field("Adressen", "0000000001", "Name"), "Mueller Backwaren und Konditorei");
  EXPECT_EQ(desk.Field("Adressen", "0000000001", "Zusatz"), "Suedstadt");
  // A short last word: the first 30 characters, Zusatz untouched.
  back(R"({"CompanyName": "Mueller Backwaren und Konditorei Sued GmbH"})");
  EXPECT_EQ(desk.Field("Adressen", "0000000001", "Name"), "Mueller Backwaren und Konditor");
  EXPECT_EQ(desk.Field("Adressen", "0000000001", "Zusatz"), "Suedstadt");
  // 36 characters: whole.
  back(R"({"CompanyName": "Mueller Backwaren und Konditorei Ost"})");
  EXPECT_EQ(desk.Field("Adressen", "0000000001", "Name"), "Mueller Backwaren und Konditorei Ost");

  // A company ignores the home values.
  back(
      R"({"BusinessAddressCity": "Kiel", "HomeAddressCity": "Lübeck", "HomeTelephoneNumber": "0451"})");
  EXPECT_EQ(desk.Field("Adressen", "0000000001", "Ort"), "Kiel");
  EXPECT_EQ(desk.Field("Adressen", "0000000001", "Telefon1"), "");

  // Country codes.
  back(R"({"BusinessAddressCountry": " D "})");
  EXPECT_EQ(desk.Field("Adressen", "0000000001", "Land"), "DE");
  back(R"({"BusinessAddressCountry": "Deutschland"})");
  EXPECT_EQ(desk.Field("Adressen", "0000000001", "Land"), "DE");
  back(R"({"BusinessAddressCountry": "Österreich"})");
  EXPECT_EQ(desk.Field("Adressen", "0000000001", "Land"), "Öst");

  // An Exchange address beginning with "/" leaves "Email" alone; an address
  // the host rejects clears it.
  back(R"({"Email1Address": "/o=Velmora/cn=Recipients/cn=info"})");
  EXPECT_EQ(desk.Field("Adressen", "0000000001", "Email"), "info@muster.example");
  back(R"({"Email1Address": "kein-mail"})");
  EXPECT_EQ(desk.Field("Adressen", "0000000001", "Email"), "");
  // A quote cannot end the literal of the e-mail check and smuggle in a
  // condition that makes any text valid.
  back(R"({"Email1Address": "x@y.de\") Or (\"1\"=\"1"})");
  EXPECT_EQ(desk.Field("Adressen", "0000000001", "Email"), "");
  back(R"({"Email1Address": "neu@muster.example"})");
  EXPECT_EQ(desk.Field("Adressen", "0000000001", "Email"), "neu@muster.example");
}

TEST(ContactExport, PrivateContactTakesHomeValues) {
  Desk desk(Address(
      R"("An": "Frau", "Vorname": "Eva", "Name": "Muster", "Ort": "Hamburg", "Memo": "alt")"));
  ASSERT_TRUE(desk.AddressOrContactSync2OL("0000000001", "Adressen"));
  auto c = desk.ContactOf(kKey);
  desk.SetNow("2026-12-06 11:00:00");
  desk.Edit(
      *c,
      R"({"BusinessAddressCity": "Kiel", "HomeAddressCity": "Lübeck", "HomeAddressCountry": "CH", "HomeTelephoneNumber": "0451 1", "BusinessTelephoneNumber": "0431 1", "Body": ""})");
  desk.SetNow("2026-12-06 11:30:00");
  ASSERT_TRUE(desk.AddressOrContactSync2OL("0000000001", "Adressen"));
  EXPECT_EQ(desk.Field("Adressen", "0000000001", "Ort"), "Lübeck");
  EXPECT_EQ(desk.Field("Adressen", "0000000001", "Land"), "CH");
  EXPECT_EQ(desk.Field("Adressen", "0000000001", "Telefon1"), "0451 1");
  // An empty Body leaves the notes alone.
  EXPECT_EQ(desk.Field("Adressen", "0000000001", "Memo"), "alt");
}

TEST(ContactExport, TableWithoutOptionalFields) {
  Desk desk(R"({"host": {"schema": {"Adressen": {"drop": ["haus_zimmer", "TelefonMobil"]}},
      "tables": {"Adressen": [ {"ID": "0000000001", "An": "Firma", "Name": "Muster", "Strasse": "Weg 1"} ],
                 "Adressmerkmale": [ {"@master": "0000000001", "Merkmal": "OutlookFavorit", "Wert": "ANNA"} ]}},
      "outlook": {"stores": [ {"name": "anna@velmora.example", "folders": [
          {"name": "Kontakte", "type": 2, "items": [
             {"class": "contact", "CompanyName": "Muster", "LastName": "Muster", "MobileTelephoneNumber": "0170 9",
              "LastModificationTime": "2026-12-01 08:00:00",
              "userProperties": {"velSearch": "0000000001Adressen", "velTable": "Adressen", "velID": "0000000001", "velKontaktTyp": "Firma"}} ], "folders": []},
          {"name": "Kalender", "type": 1, "items": [], "folders": []},
          {"name": "Aufgaben", "type": 3, "items": [], "folders": []} ]} ]}})");
  // The host record is newer: the contact is rewritten, the mobile number
  // the host has no field for stays as it is.
  ASSERT_TRUE(desk.AddressOrContactSync2OL("0000000001", "Adressen"));
  auto c = desk.ContactOf(kKey);
  ASSERT_TRUE(c);
  EXPECT_EQ(desk.Get(*c, "BusinessAddressStreet"), "Weg 1");
  EXPECT_EQ(desk.Get(*c, "MobileTelephoneNumber"), "0170 9");
  // And back: nothing is written into fields the table lacks.
  desk.SetNow("2026-12-06 11:00:00");
  desk.Edit(*c,
            R"({"BusinessAddressStreet": "Weg 2 | Raum 1", "MobileTelephoneNumber": "0170 8"})");
  desk.SetNow("2026-12-06 11:30:00");
  ASSERT_TRUE(desk.AddressOrContactSync2OL("0000000001", "Adressen"));
  EXPECT_EQ(desk.Field("Adressen", "0000000001", "Strasse"), "Weg 2 | Raum 1");
  EXPECT_TRUE(desk.Messages().empty());
}

// An exported contact and its record, stamped as given; the host has
// "HOST" as telephone number, the contact "OUTLOOK".
Desk ConflictDesk(const std::string& hostStamp, const std::string& outlookStamp) {
  return Desk(R"({"now": "2026-12-07 12:00:00", "host": {"tables": {
      "Adressen": [ {"ID": "0000000001", "An": "Firma", "Name": "Muster", "Telefon1": "HOST", "ModifiziertAm": ")" +
              hostStamp + R"("} ],
      "Adressmerkmale": [ {"@master": "0000000001", "Merkmal": "OutlookFavorit", "Wert": "ANNA"} ]}},
      "outlook": {"stores": [ {"name": "anna@velmora.example", "folders": [
          {"name": "Kontakte", "type": 2, "items": [
             {"class": "contact", "CompanyName": "Muster", "LastName": "Muster", "BusinessTelephoneNumber": "OUTLOOK",
              "LastModificationTime": ")" +
              outlookStamp + R"(",
              "userProperties": {"velSearch": "0000000001Adressen", "velTable": "Adressen", "velID": "0000000001", "velKontaktTyp": "Firma"}} ], "folders": []},
          {"name": "Kalender", "type": 1, "items": [], "folders": []},
          {"name": "Aufgaben", "type": 3, "items": [], "folders": []} ]} ]}})");
}

// "none", "outlook" (host written from Outlook) or "host" (contact
// rewritten from the host).
std::string ConflictOutcome(const std::string& hostStamp, const std::string& outlookStamp) {
  Desk desk = ConflictDesk(hostStamp, outlookStamp);
  if (!desk.AddressOrContactSync2OL("0000000001", "Adressen")) return "failed";
  const std::string host = desk.Field("Adressen", "0000000001", "Telefon1");
  const std::string outlook = desk.Get(*desk.ContactOf(kKey), "BusinessTelephoneNumber");
  if (host == "HOST" && outlook == "OUTLOOK") return "none";
  if (host == "OUTLOOK" && outlook == "OUTLOOK") return "outlook";
  if (host == "HOST" && outlook == "HOST") return "host";
  return "mixed:" + host + "/" + outlook;
}

TEST(ContactUpdate, ConflictRuleDayThenTenSecondBand) {
  EXPECT_EQ(ConflictOutcome("2026-12-05 10:00:00", "2026-12-05 10:00:09"), "none");
  EXPECT_EQ(ConflictOutcome("2026-12-05 10:00:00", "2026-12-05 10:00:10"), "none");
  EXPECT_EQ(ConflictOutcome("2026-12-05 10:00:00", "2026-12-05 10:00:11"), "outlook");
  EXPECT_EQ(ConflictOutcome("2026-12-05 10:00:11", "2026-12-05 10:00:00"), "host");
  EXPECT_EQ(ConflictOutcome("2026-12-05 10:00:09", "2026-12-05 10:00:00"), "none");
  // Across midnight the calendar day decides, whatever the seconds.
  EXPECT_EQ(ConflictOutcome("2026-12-06 00:00:03", "2026-12-05 23:59:58"), "host");
  EXPECT_EQ(ConflictOutcome("2026-12-05 23:59:58", "2026-12-06 00:00:03"), "outlook");
}

TEST(ContactUpdate, ExportedRecordDeletedInOutlookIsNotRecreatedForThatUser) {
  Desk desk(
      R"({"host": {"tables": {"Adressen": [ {"ID": "0000000001", "An": "Firma", "Name": "Muster"} ],
      "Adressmerkmale": [ {"@master": "0000000001", "Merkmal": "OutlookFavorit", "Wert": "ANNA"},
                          {"@master": "0000000001", "Merkmal": "OutlookFavorit", "Wert": "BEN"} ]}}})");
  ASSERT_TRUE(desk.AddressOrContactSync2OL("0000000001", "Adressen"));
  ASSERT_TRUE(desk.ContactOf(kKey));
  desk.ContactOf(kKey)->Delete();

  // ANNA deleted it: it stays deleted, her mark and log entry go.
  EXPECT_TRUE(desk.AddressOrContactSync2OL("0000000001", "Adressen"));
  EXPECT_FALSE(desk.ContactOf(kKey));
  EXPECT_FALSE(desk.SyncLogHas(kKey));
  EXPECT_EQ(desk.Marks("Adressen", "0000000001"), std::vector<std::string>{"BEN"});

  // BEN never had it: it is created in his Outlook.
  desk.SetUser("BEN");
  EXPECT_TRUE(desk.AddressOrContactSync2OL("0000000001", "Adressen"));
  EXPECT_TRUE(desk.ContactOf(kKey, "BEN"));
  EXPECT_TRUE(desk.SyncLogHas(kKey, "BEN"));
  EXPECT_FALSE(desk.ContactOf(kKey, "ANNA"));
  EXPECT_EQ(desk.Marks("Adressen", "0000000001"), std::vector<std::string>{"BEN"});
}

TEST(ContactUpdate, UnknownIdShowsMessage) {
  Desk desk(Address(R"("An": "Firma", "Name": "Muster")"));
  EXPECT_FALSE(desk.AddressOrContactSync2OL("0000000099", "Adressen"));
  ASSERT_EQ(desk.Messages().size(), 1u);
  EXPECT_EQ(desk.Messages()[0], "Datensatz wurde nicht gefunden!");
}

TEST(ContactExport, RefusedValuesAreReportedPerFieldAndTheContactIsStillMade) {
  Desk desk(Address(
      R"("An": "Firma", "Name": "Muster", "Referenz": "###", "Ort": "???", "Memo": "Notiz")", "",
      R"(, "outlook": {"refusedValues": {"ReferredBy": ["###"], "BusinessAddressCity": ["???"]}})"));
  ASSERT_TRUE(desk.AddressOrContactSync2OL("0000000001", "Adressen"));
  const auto boxes = desk.Boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text,
            "Die Adresse (ID)=  '0000000001'  enthält einen ungültigen Wert im Feld 'Ort'\r\n"
            "Ändern Sie bitte den ungültigen Wert nach Beenden der Synchronisation!");
  EXPECT_EQ(boxes[0].title, "Velmora Kestrelink");
  EXPECT_EQ(boxes[0].icon, MsgIcon::Exclamation);
  EXPECT_NE(boxes[1].text.find("im Feld 'Referenz'"), std::string::npos);
  auto c = desk.ContactOf(kKey);
  ASSERT_TRUE(c);
  EXPECT_EQ(desk.Get(*c, "Body"), "Notiz");
  EXPECT_EQ(desk.Get(*c, "ReferredBy"), "");
  EXPECT_TRUE(desk.SyncLogHas(kKey));
}

}  // namespace
}  // namespace velklk::test
