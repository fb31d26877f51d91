// Export of addresses to Outlook and the update in both directions, driven
// through the public classes on the embedded host and Outlook.
#include <gtest/gtest.h>

#include "support/desk.h"

namespace velklk::test {
namespace {

const char* kKey = "0000000001Adressen";

// Address "0000000001", ANNA's favourite, with these fields.
std::string Address(const std::string& fields, const std::string& stamp = "2026-12-01 09:00:00") {
  return R"({"host": {"tables": {"Adressen": [ {"ID": "0000000001", "ModifiziertAm": ")" + stamp +
         R"(", )" + fields +
         R"(} ], "Adressmerkmale": [ {"@master": "0000000001", "Gruppe": "Kestrelink", "Merkmal": "OutlookFavorit", "Wert": "ANNA"} ]}}})";
}

// The user edits the contact ten minutes later; the address is synchronised
// ten minutes after that.
void Back(Desk& desk, OlItem& contact, const std::string& json) {
  desk.profile().Clock().AdvanceSeconds(600);
  desk.Edit(contact, json);
  desk.profile().Clock().AdvanceSeconds(600);
  ASSERT_TRUE(desk.AddressOrContactSync2OL("0000000001", "Adressen"));
}

std::string Field(Desk& desk, const std::string& field) {
  return desk.Field("Adressen", "0000000001", field);
}

TEST(ContactExport, CompanyWithThreeNameLinesRoundTrips) {
  Desk desk(Address(
      R"("An": "Firma", "Name": "A", "Zusatz": "B", "Vorname": "C", "Strasse": "Hafenstraße 12", "PLZ": "20457", "Ort": "Hamburg", "Land": "D", "Telefon1": "040 1", "URL": "http://a.example", "Referenz": "Messe", "Memo": "Notiz")"));
  ASSERT_TRUE(desk.AddressOrContactSync2OL("0000000001", "Adressen"));
  auto c = desk.ContactOf(kKey);
  ASSERT_TRUE(c);
  ExpectGolden("contacts/golden/company_three_lines.txt", desk.ItemLines(*c));
  EXPECT_TRUE(desk.SyncLogHas(kKey));
  EXPECT_TRUE(desk.Boxes().empty());

  // The user changes only the telephone number: the three name lines stay.
  Back(desk, *c, R"({"BusinessTelephoneNumber": "040 2"})");
  ExpectGolden("contacts/golden/company_three_lines_back.txt",
               desk.RecordLines("Adressen", "0000000001"));
  // A changed company name goes back into the three lines.
  Back(desk, *c, R"({"CompanyName": "X|Y|Z"})");
  EXPECT_EQ(Field(desk, "Name") + Field(desk, "Zusatz") + Field(desk, "Vorname"), "XYZ");
}

TEST(ContactExport, CompanyNameGoesOutWholeAndTheStreetJoinedAndBack) {
  Desk desk(Address(
      R"("An": "Firma", "Name": "Nordlicht Logistik", "Zusatz": "AG", "Strasse": "Kaiserkai 1", "haus_zimmer": "Raum 4")"));
  ASSERT_TRUE(desk.AddressOrContactSync2OL("0000000001", "Adressen"));
  auto c = desk.ContactOf(kKey);
  ASSERT_TRUE(c);
  EXPECT_EQ(c->Get("CompanyName").ToText(), "Nordlicht Logistik AG");
  EXPECT_EQ(c->Get("BusinessAddressStreet").ToText(), "Kaiserkai 1 | Raum 4");
  // Unchanged fields surviving the way back: the round trip property test.
  // A street changed in Outlook in the same form goes back into both fields.
  Back(desk, *c, R"({"BusinessAddressStreet": "Sandtorkai 7 | Raum 9"})");
  EXPECT_EQ(Field(desk, "Strasse"), "Sandtorkai 7");
  EXPECT_EQ(Field(desk, "haus_zimmer"), "Raum 9");

  // A street without house or room goes out alone.
  Desk plain(Address(R"("An": "Firma", "Name": "Muster", "Strasse": "Lindenweg 3")"));
  ASSERT_TRUE(plain.AddressOrContactSync2OL("0000000001", "Adressen"));
  EXPECT_EQ(plain.ContactOf(kKey)->Get("BusinessAddressStreet").ToText(), "Lindenweg 3");
}

TEST(ContactExport, PrivatePersonSalutationTitleAndGender) {
  Desk desk(Address(
      R"("An": "Herrn", "Titel": "Dr.", "Vorname": "Max", "Name": "Muster", "Strasse": "Lindenweg 3", "Ort": "München", "PLZ": "80331", "Land": "AT", "URL": "http://max.example", "TelefonMobil": "0170 1", "Email": "max@example.com")"));
  ASSERT_TRUE(desk.AddressOrContactSync2OL("0000000001", "Adressen"));
  auto c = desk.ContactOf(kKey);
  ASSERT_TRUE(c);
  ExpectGolden("contacts/golden/private_person.txt", desk.ItemLines(*c));

  // Back from Outlook: the salutation and title tables.
  Back(desk, *c, R"({"Title": "Frau Prof. Dr."})");
  EXPECT_EQ(Field(desk, "An") + "|" + Field(desk, "Titel") + "|" + Field(desk, "Land"),
            "Frau|Prof. Dr.|AT");
  // No salutation word: the gender component decides by the first name.
  Back(desk, *c, R"({"Title": "Professor", "FirstName": "Agnes"})");
  EXPECT_EQ(Field(desk, "An") + "|" + Field(desk, "Titel") + "|" + Field(desk, "Vorname"),
            "Frau|Prof.|Agnes");
  // An unknown name leaves the salutation empty.
  Back(desk, *c, R"({"Title": "", "FirstName": "Xqzt"})");
  EXPECT_EQ(Field(desk, "An") + "|" + Field(desk, "Titel"), "|");
}

TEST(ContactExport, TitleOfQuestionMarksAndPersonOrCompanyRules) {
  // "???" counts as no title; "Herr" without n with a first name is a
  // person; an empty "An" with a first name and a Zusatz is a company, and
  // so is "Familie" without a first name.
  const std::vector<std::pair<std::string, std::string>> cases = {
      {R"("An": "Herr", "Titel": "???", "Vorname": "Max", "Name": "Muster")", "Privatperson/Herr"},
      {R"("An": "", "Vorname": "C", "Name": "A", "Zusatz": "B")", "Firma/"},
      {R"("An": "Familie", "Name": "Muster")", "Firma/Familie"},
  };
  for (const auto& [fields, expected] : cases) {
    SCOPED_TRACE(fields);
    Desk desk(Address(fields));
    ASSERT_TRUE(desk.AddressOrContactSync2OL("0000000001", "Adressen"));
    auto c = desk.ContactOf(kKey);
    ASSERT_TRUE(c);
    EXPECT_EQ(Desk::UserProp(*c, "velKontaktTyp") + "/" + c->Get("Title").ToText(), expected);
  }
}

TEST(ContactExport, WayBackNameSplitHomeValuesCountryAndMail) {
  Desk desk(Address(
      R"("An": "Firma", "Name": "Muster", "Email": "info@muster.example", "Ort": "Hamburg")"));
  ASSERT_TRUE(desk.AddressOrContactSync2OL("0000000001", "Adressen"));
  auto c = desk.ContactOf(kKey);
  ASSERT_TRUE(c);
  // 37 characters or more with a long last word: split at the last blank.
  Back(desk, *c, R"({"CompanyName": "Mueller Backwaren und Konditorei Suedstadt"})");
  EXPECT_EQ(Field(desk, "Name"), "Mueller Backwaren und Konditorei");
  EXPECT_EQ(Field(desk, "Zusatz"), "Suedstadt");
  // A short last word: the first 30 characters, Zusatz untouched.
  Back(desk, *c, R"({"CompanyName": "Mueller Backwaren und Konditorei Sued GmbH"})");
  EXPECT_EQ(Field(desk, "Name"), "Mueller Backwaren und Konditor");
  EXPECT_EQ(Field(desk, "Zusatz"), "Suedstadt");
  // 36 characters: whole.
  Back(desk, *c, R"({"CompanyName": "Mueller Backwaren und Konditorei Ost"})");
  EXPECT_EQ(Field(desk, "Name"), "Mueller Backwaren und Konditorei Ost");

  // A company ignores the home values.
  Back(
      desk, *c,
      R"({"BusinessAddressCity": "Kiel", "HomeAddressCity": "Lübeck", "HomeTelephoneNumber": "0451"})");
  EXPECT_EQ(Field(desk, "Ort"), "Kiel");
  EXPECT_EQ(Field(desk, "Telefon1"), "");

  // Country codes.
  for (const auto& [country, code] : std::vector<std::pair<std::string, std::string>>{
           {" D ", "DE"}, {"Deutschland", "DE"}, {"Österreich", "Öst"}}) {
    Back(desk, *c, R"({"BusinessAddressCountry": ")" + country + R"("})");
    EXPECT_EQ(Field(desk, "Land"), code) << country;
  }

  // An Exchange address beginning with "/" leaves "Email" alone; an address
  // the host rejects clears it. A quote cannot end the literal of the e-mail
  // check and smuggle in a condition that makes any text valid.
  for (const auto& [mail, stored] : std::vector<std::pair<std::string, std::string>>{
           {"/o=Velmora/cn=Recipients/cn=info", "info@muster.example"},
           {"kein-mail", ""},
           {R"(x@y.de\") Or (\"1\"=\"1)", ""},
           {"neu@muster.example", "neu@muster.example"}}) {
    Back(desk, *c, R"({"Email1Address": ")" + mail + R"("})");
    EXPECT_EQ(Field(desk, "Email"), stored) << mail;
  }
}

TEST(ContactExport, PrivateContactTakesHomeValues) {
  Desk desk(Address(
      R"("An": "Frau", "Vorname": "Eva", "Name": "Muster", "Ort": "Hamburg", "Memo": "alt")"));
  ASSERT_TRUE(desk.AddressOrContactSync2OL("0000000001", "Adressen"));
  Back(
      desk, *desk.ContactOf(kKey),
      R"({"BusinessAddressCity": "Kiel", "HomeAddressCity": "Lübeck", "HomeAddressCountry": "CH", "HomeTelephoneNumber": "0451 1", "BusinessTelephoneNumber": "0431 1", "Body": ""})");
  EXPECT_EQ(Field(desk, "Ort"), "Lübeck");
  EXPECT_EQ(Field(desk, "Land"), "CH");
  EXPECT_EQ(Field(desk, "Telefon1"), "0451 1");
  EXPECT_EQ(Field(desk, "Memo"), "alt");  // an empty Body leaves the notes alone
}

// An exported contact of address "0000000001" as Outlook holds it.
std::string Exported(const std::string& properties) {
  return R"({"folders": {"anna@example.com\\Kontakte": {"items": [ {"class": "contact", "CompanyName": "Muster", "LastName": "Muster", )" +
         properties +
         R"(, "userProperties": {"velSearch": "0000000001Adressen", "velTable": "Adressen", "velID": "0000000001", "velKontaktTyp": "Firma"}} ]}}})";
}

TEST(ContactExport, TableWithoutOptionalFields) {
  Desk desk(
      {Address(R"("An": "Firma", "Name": "Muster", "Strasse": "Weg 1")"),
       R"({"host": {"schema": {"Adressen": {"drop": ["haus_zimmer", "TelefonMobil"]}}}})",
       Exported(
           R"("MobileTelephoneNumber": "0170 9", "LastModificationTime": "2026-12-01 08:00:00")")});
  // The host record is newer: the contact is rewritten, the mobile number
  // the host has no field for stays as it is.
  ASSERT_TRUE(desk.AddressOrContactSync2OL("0000000001", "Adressen"));
  auto c = desk.ContactOf(kKey);
  ASSERT_TRUE(c);
  EXPECT_EQ(c->Get("BusinessAddressStreet").ToText(), "Weg 1");
  EXPECT_EQ(c->Get("MobileTelephoneNumber").ToText(), "0170 9");
  // And back: nothing is written into fields the table lacks.
  Back(desk, *c,
       R"({"BusinessAddressStreet": "Weg 2 | Raum 1", "MobileTelephoneNumber": "0170 8"})");
  EXPECT_EQ(Field(desk, "Strasse"), "Weg 2 | Raum 1");
  EXPECT_TRUE(desk.Boxes().empty());
}

// Which side the update wrote when the record was stamped `hostStamp` and
// the contact `outlookStamp`: "none", "outlook" (host written from Outlook)
// or "host" (contact rewritten from the host).
std::string ConflictOutcome(const std::string& hostStamp, const std::string& outlookStamp) {
  Desk desk({R"({"now": "2026-12-07 12:00:00"})",
             Address(R"("An": "Firma", "Name": "Muster", "Telefon1": "HOST")", hostStamp),
             Exported(R"("BusinessTelephoneNumber": "OUTLOOK", "LastModificationTime": ")" +
                      outlookStamp + "\"")});
  if (!desk.AddressOrContactSync2OL("0000000001", "Adressen")) return "failed";
  const std::string host = Field(desk, "Telefon1");
  const std::string outlook = desk.ContactOf(kKey)->Get("BusinessTelephoneNumber").ToText();
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

  // An unknown ID shows a message.
  desk.ui().Clear();
  EXPECT_FALSE(desk.AddressOrContactSync2OL("0000000099", "Adressen"));
  EXPECT_EQ(desk.BoxTexts(), std::vector<std::string>{"Datensatz wurde nicht gefunden!"});
}

TEST(ContactExport, RefusedValuesAreReportedPerFieldAndTheContactIsStillMade) {
  Desk desk(
      {Address(
           R"("An": "Firma", "Name": "Muster", "Referenz": "###", "Ort": "???", "Memo": "Notiz")"),
       R"({"outlook": {"refusedValues": {"ReferredBy": ["###"], "BusinessAddressCity": ["???"]}}})"});
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
  EXPECT_EQ(c->Get("Body").ToText(), "Notiz");
  EXPECT_EQ(c->Get("ReferredBy").ToText(), "");
  EXPECT_TRUE(desk.SyncLogHas(kKey));
}

}  // namespace
}  // namespace velklk::test
