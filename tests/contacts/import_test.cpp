// Import of contacts entered in Outlook, favourite marks and the clearing of
// links, driven through the public classes on the embedded platforms.
#include <gtest/gtest.h>

#include "desk.h"
#include "platform/outlook.h"
#include "platform/user_interface.h"

namespace velklk::test {
namespace {

// Host with one company address (ANNA's favourite) exported to ANNA's
// Outlook, plus the test's Outlook items (JSON array elements, comma first).
std::string Fixture(const std::string& items, const std::string& hostExtra = "",
                    const std::string& settings = "") {
  return R"({"host": {
      "users": [ {"name": "ANNA", "settings": {
          "PREXOLContactPath": "anna@velmora.example\\Kontakte",
          "PREXOLCalPath": "anna@velmora.example\\Kalender",
          "PREXOLTaskPath": "anna@velmora.example\\Aufgaben" )" +
         settings + R"(}},
        {"name": "BEN", "settings": {
          "PREXOLContactPath": "ben@velmora.example\\Kontakte",
          "PREXOLCalPath": "ben@velmora.example\\Kalender",
          "PREXOLTaskPath": "ben@velmora.example\\Aufgaben" }} ],
      "tables": {
        "Adressen": [ {"ID": "0000000001", "An": "Firma", "Name": "Muster GmbH", "ModifiziertAm": "2026-12-01 09:00:00"} ],
        "Adressmerkmale": [ {"@master": "0000000001", "Merkmal": "OutlookFavorit", "Wert": "ANNA"} ]
        )" +
         hostExtra + R"(}},
    "outlook": {"stores": [ {"name": "anna@velmora.example", "folders": [
      {"name": "Kontakte", "type": 2, "items": [
        {"class": "contact", "CompanyName": "Muster GmbH", "LastName": "Muster GmbH",
         "LastModificationTime": "2026-12-01 09:00:00",
         "userProperties": {"velSearch": "0000000001Adressen", "velTable": "Adressen", "velID": "0000000001", "velKontaktTyp": "Firma"}}
        )" +
         items + R"(], "folders": []},
      {"name": "Kalender", "type": 1, "items": [], "folders": []},
      {"name": "Aufgaben", "type": 3, "items": [], "folders": []} ]} ]}})";
}

TEST(ContactImport, NewCompanyPrivatePersonAndContactPersonOfKnownCompany) {
  Desk desk(Fixture(R"(,
      {"class": "contact", "CompanyName": "Nordlicht AG", "BusinessAddressCity": "Hamburg", "BusinessTelephoneNumber": "040 9"},
      {"class": "contact", "FirstName": "Eva", "LastName": "Sommer", "Title": "Frau Dr.", "HomeAddressCity": "Kiel", "BusinessAddressCity": "Hamburg", "Email1Address": "eva@sommer.example"},
      {"class": "contact", "FirstName": "Jonas", "LastName": "Weber", "CompanyName": "Muster GmbH", "JobTitle": "Technik", "BusinessTelephoneNumber": "040 2", "Birthday": "1980-05-04 00:00:00"},
      {"class": "contact", "FirstName": "Nur", "BusinessAddressCity": "Nirgendwo"},
      {"class": "distlist", "Subject": "Verteiler"} )"));
  EXPECT_TRUE(desk.SyncContacts2VEL());
  EXPECT_EQ(desk.Count("Adressen"), 3);
  EXPECT_EQ(desk.Count("Ansprechpartner"), 1);

  auto company = desk.Find(R"([CompanyName] = "Nordlicht AG")");
  ASSERT_TRUE(company);
  EXPECT_EQ(desk.UserProp(*company, "velKontaktTyp"), "Firma");
  const std::string companyKey = desk.UserProp(*company, "velSearch");
  ASSERT_EQ(companyKey.size(), std::string("0000000002Adressen").size());
  const std::string companyId = companyKey.substr(0, 10);
  EXPECT_EQ(desk.UserProp(*company, "velID"), companyId);
  EXPECT_EQ(desk.UserProp(*company, "velTable"), "Adressen");
  EXPECT_EQ(desk.Field("Adressen", companyId, "Name"), "Nordlicht AG");
  EXPECT_EQ(desk.Field("Adressen", companyId, "Ort"), "Hamburg");
  EXPECT_EQ(desk.Field("Adressen", companyId, "Telefon1"), "040 9");
  EXPECT_EQ(desk.Field("Adressen", companyId, "Land"), "DE");
  EXPECT_TRUE(desk.SyncLogHas(companyKey));
  EXPECT_EQ(desk.Marks("Adressen", companyId), std::vector<std::string>{"ANNA"});

  auto eva = desk.Find(R"([LastName] = "Sommer")");
  ASSERT_TRUE(eva);
  EXPECT_EQ(desk.UserProp(*eva, "velKontaktTyp"), "Privatperson");
  const std::string evaId = desk.UserProp(*eva, "velID");
  EXPECT_EQ(desk.Field("Adressen", evaId, "An"), "Frau");
  EXPECT_EQ(desk.Field("Adressen", evaId, "Titel"), "Dr.");
  EXPECT_EQ(desk.Field("Adressen", evaId, "Vorname"), "Eva");
  EXPECT_EQ(desk.Field("Adressen", evaId, "Ort"), "Kiel");
  EXPECT_EQ(desk.Field("Adressen", evaId, "Email"), "eva@sommer.example");

  auto jonas = desk.Find(R"([LastName] = "Weber")");
  ASSERT_TRUE(jonas);
  EXPECT_EQ(desk.UserProp(*jonas, "velKontaktTyp"), "Ansprechpartner");
  EXPECT_EQ(desk.UserProp(*jonas, "velTable"), "Ansprechpartner");
  const std::string jonasId = desk.UserProp(*jonas, "velID");
  EXPECT_EQ(desk.UserProp(*jonas, "velSearch"), jonasId + "Ansprechpartner");
  EXPECT_EQ(desk.Field("Ansprechpartner", jonasId, "Name"), "Weber");
  EXPECT_EQ(desk.Field("Ansprechpartner", jonasId, "Funktion"), "Technik");
  EXPECT_EQ(desk.Field("Ansprechpartner", jonasId, "Telefon"), "040 2");
  // Unknown first name: no salutation from the gender component.
  EXPECT_EQ(desk.Field("Ansprechpartner", jonasId, "FrauHerr"), "Herr");
  EXPECT_EQ(desk.Field("Ansprechpartner", jonasId, "Geburtstag").substr(0, 10), "1980-05-04");
  EXPECT_TRUE(desk.SyncLogHas(jonasId + "Ansprechpartner"));
  EXPECT_EQ(desk.Marks("Ansprechpartner", jonasId), std::vector<std::string>{"ANNA"});

  // A first name alone is neither classified nor imported.
  auto nameless = desk.Find(R"([FirstName] = "Nur")");
  ASSERT_TRUE(nameless);
  EXPECT_EQ(desk.UserProp(*nameless, "velSearch"), "<none>");
  EXPECT_TRUE(desk.Messages().empty());
}

TEST(ContactImport, TwoPersonsOfOneNewCompany) {
  Desk desk(Fixture(R"(,
      {"class": "contact", "FirstName": "Lena", "LastName": "Hoffmann", "CompanyName": "Müller \"Backstube\" GmbH", "BusinessAddressCity": "Bremen"},
      {"class": "contact", "FirstName": "Xqzt", "CompanyName": "Müller \"Backstube\" GmbH"} )"));
  EXPECT_TRUE(desk.SyncContacts2VEL());
  // One company contact was made for both, and imported as an address.
  int companies = 0;
  for (const auto& item : desk.AllContacts())
    if (desk.Get(*item, "CompanyName") == "Müller \"Backstube\" GmbH" &&
        desk.UserProp(*item, "velKontaktTyp") == "Firma")
      ++companies;
  EXPECT_EQ(companies, 1);
  EXPECT_EQ(desk.Count("Adressen"), 2);
  EXPECT_EQ(desk.Count("Ansprechpartner"), 2);
  auto company = desk.Find(R"([FileAs] = "Müller ""Backstube"" GmbH")");
  ASSERT_TRUE(company);
  const std::string companyId = desk.UserProp(*company, "velID");
  EXPECT_EQ(desk.Field("Adressen", companyId, "Name"), "Müller \"Backstube\" GmbH");
  EXPECT_EQ(desk.Field("Adressen", companyId, "Ort"), "Bremen");

  // A person with a first name only takes it as last name.
  auto second = desk.Find(R"([LastName] = "Xqzt")");
  ASSERT_TRUE(second);
  EXPECT_EQ(desk.Get(*second, "FirstName"), "");
  const std::string secondId = desk.UserProp(*second, "velID");
  EXPECT_EQ(desk.Field("Ansprechpartner", secondId, "Name"), "Xqzt");
  EXPECT_EQ(desk.Field("Ansprechpartner", secondId, "FrauHerr"), "???");
  // Both persons hang under the new company.
  EXPECT_NE(desk.Dump("Ansprechpartner").find("\"@master\":\"" + companyId + "\""),
            std::string::npos);
  EXPECT_EQ(desk.Dump("Ansprechpartner").find("\"@master\":\"0000000001\""), std::string::npos);
}

TEST(ContactImport, CompanyContactIsMadeEvenWhenACopiedValueIsRefused) {
  Desk desk(R"({"outlook": {"refusedValues": {"Profession": ["###"]}, "stores": [ {"name": "anna@velmora.example", "folders": [
        {"name": "Kontakte", "type": 2, "items": [
          {"class": "contact", "FirstName": "Ida", "LastName": "Kern", "CompanyName": "Kern KG", "Profession": "###", "BusinessAddressCity": "Kiel"} ], "folders": []},
        {"name": "Kalender", "type": 1, "items": [], "folders": []},
        {"name": "Aufgaben", "type": 3, "items": [], "folders": []} ]} ]}})");
  EXPECT_TRUE(desk.SyncContacts2VEL());
  EXPECT_TRUE(desk.Messages().empty());
  auto company = desk.Find(R"([FileAs] = "Kern KG")");
  ASSERT_TRUE(company);
  EXPECT_EQ(desk.Get(*company, "BusinessAddressCity"), "Kiel");
  EXPECT_EQ(desk.Get(*company, "Profession"), "");
  const std::string companyId = desk.UserProp(*company, "velID");
  EXPECT_EQ(desk.Field("Adressen", companyId, "Name"), "Kern KG");
  auto person = desk.Find(R"([LastName] = "Kern")");
  ASSERT_TRUE(person);
  const std::string personId = desk.UserProp(*person, "velID");
  EXPECT_EQ(desk.UserProp(*person, "velSearch"), personId + "Ansprechpartner");
  EXPECT_EQ(desk.Field("Ansprechpartner", personId, "Vorname"), "Ida");
}

TEST(ContactImport, PrivateContactsStayOutUnlessConfigured) {
  const std::string items = R"(,
      {"class": "contact", "FirstName": "Geheim", "LastName": "Privat", "Sensitivity": 2},
      {"class": "contact", "CompanyName": "Privat AG", "Sensitivity": 2,
       "userProperties": {"velKontaktTyp": "Firma"}},
      {"class": "contact", "LastName": "Offen"} )";
  Desk desk(Fixture(items));
  EXPECT_TRUE(desk.SyncContacts2VEL());
  // Only the normal contact; the private ones stay unlinked, even the one
  // that already carries a kind.
  EXPECT_EQ(desk.Count("Adressen"), 2);
  EXPECT_EQ(desk.UserProp(*desk.Find(R"([LastName] = "Privat")"), "velKontaktTyp"), "<none>");
  EXPECT_EQ(desk.UserProp(*desk.Find(R"([CompanyName] = "Privat AG")"), "velSearch"), "<none>");

  Desk allowed(Fixture(items, "", R"(, "TBKLK_ImportPrivateContacts": "wahr")"));
  EXPECT_TRUE(allowed.SyncContacts2VEL());
  EXPECT_EQ(allowed.Count("Adressen"), 4);
}

TEST(ContactImport, StaleLinksAreRemovedAndARunWithoutNewContactsImportsNothing) {
  // Address 2 exists but is no longer ANNA's favourite; address 3 is gone;
  // a private contact with a gone record stays; a contact of an unknown
  // table is left alone; a classified private contact waits.
  Desk desk(Fixture(
      R"(,
      {"class": "contact", "CompanyName": "Alt AG", "LastName": "Alt AG",
       "userProperties": {"velSearch": "0000000002Adressen", "velKontaktTyp": "Firma"}},
      {"class": "contact", "CompanyName": "Weg AG", "LastName": "Weg AG",
       "userProperties": {"velSearch": "0000000003Adressen", "velKontaktTyp": "Firma"}},
      {"class": "contact", "LastName": "Heimlich", "Sensitivity": 2,
       "userProperties": {"velSearch": "0000000004Adressen", "velKontaktTyp": "Privatperson"}},
      {"class": "contact", "LastName": "Fremd",
       "userProperties": {"velSearch": "0000000005Projekte", "velKontaktTyp": "Privatperson"}},
      {"class": "contact", "LastName": "Wartet", "Sensitivity": 2,
       "userProperties": {"velKontaktTyp": "Privatperson"}} )",
      R"(, "TBKLK_SyncLog": [ {"velUser": "ANNA", "velTable": "Adressen", "velID": "0000000002", "velSearch": "0000000002Adressen"},
                               {"velUser": "ANNA", "velTable": "Adressen", "velID": "0000000003", "velSearch": "0000000003Adressen"},
                               {"velUser": "BEN", "velTable": "Adressen", "velID": "0000000002", "velSearch": "0000000002Adressen"} ])"
      R"(, "Adressen": [ {"ID": "0000000001", "An": "Firma", "Name": "Muster GmbH"}, {"ID": "0000000002", "An": "Firma", "Name": "Alt AG"} ])"));
  EXPECT_TRUE(desk.SyncContacts2VEL());
  EXPECT_FALSE(desk.ContactOf("0000000002Adressen"));
  EXPECT_FALSE(desk.ContactOf("0000000003Adressen"));
  EXPECT_TRUE(desk.ContactOf("0000000001Adressen"));
  EXPECT_TRUE(desk.ContactOf("0000000004Adressen"));
  EXPECT_TRUE(desk.ContactOf("0000000005Projekte"));
  EXPECT_FALSE(desk.SyncLogHas("0000000002Adressen"));
  EXPECT_FALSE(desk.SyncLogHas("0000000003Adressen"));
  EXPECT_TRUE(desk.SyncLogHas("0000000002Adressen", "BEN"));
  // No new contact: the waiting one is not imported.
  EXPECT_EQ(desk.Count("Adressen"), 2);
  EXPECT_EQ(desk.UserProp(*desk.Find(R"([LastName] = "Wartet")"), "velSearch"), "<none>");
}

TEST(ContactImport, ContactPersonWhoseCompanyHasNoAddressLinkStaysUnlinked) {
  Desk desk(Fixture(R"(,
      {"class": "contact", "CompanyName": "Lose GmbH", "LastName": "Lose GmbH", "userProperties": {"velKontaktTyp": "Firma", "velTable": "Projekte", "velID": "0000000009", "velSearch": "0000000009Projekte"}},
      {"class": "contact", "FirstName": "Ida", "LastName": "Lose", "CompanyName": "Lose GmbH"} )"));
  EXPECT_TRUE(desk.SyncContacts2VEL());
  EXPECT_EQ(desk.Count("Ansprechpartner"), 0);
  EXPECT_EQ(desk.UserProp(*desk.Find(R"([LastName] = "Lose")"), "velSearch"), "<none>");
}

TEST(Favourites, MarksArePerUserAndLetterCaseIsIgnored) {
  Desk desk(R"({"host": {"tables": {
      "Adressen": [ {"ID": "0000000001", "An": "Firma", "Name": "Muster"} ],
      "Adressmerkmale": [ {"@master": "0000000001", "Merkmal": "outlookFAVORIT", "Wert": "anna"},
                          {"@master": "0000000001", "Merkmal": "OutlookFavorit", "Wert": "BEN"} ]}}})");
  // ANNA's mark in other letter case counts: the contact is exported and no
  // second mark is made.
  desk.UpdateAdresse("0000000001");
  EXPECT_TRUE(desk.ContactOf("0000000001Adressen"));
  EXPECT_EQ(desk.Marks("Adressen", "0000000001"), (std::vector<std::string>{"anna", "BEN"}));
  desk.ContactOf("0000000001Adressen")->Delete();
  // Deleted by ANNA: her mark goes, BEN's stays.
  EXPECT_TRUE(desk.AddressOrContactSync2OL("0000000001", "Adressen"));
  EXPECT_EQ(desk.Marks("Adressen", "0000000001"), std::vector<std::string>{"BEN"});
}

TEST(Favourites, UpdateCommandsMarkAndCreate) {
  Desk desk(R"({"host": {"tables": {
      "Adressen": [ {"ID": "0000000001", "An": "Firma", "Name": "Muster", "Ort": "Hamburg"},
                    {"ID": "0000000002", "An": "Firma", "Name": "Leer"} ],
      "Ansprechpartner": [ {"ID": "0000000011", "@master": "0000000001", "FrauHerr": "Herrn", "Titel": "Prof. Dr.", "Vorname": "Jonas", "Name": "Weber",
                            "Telefon": "040 2", "Strasse": "Privatweg 1", "geboren": "1970-01-02", "Geburtstag": "1971-03-04"} ]}}})");
  desk.UpdateAnsprechpartner("0000000011");
  auto person = desk.ContactOf("0000000011Ansprechpartner");
  ASSERT_TRUE(person);
  EXPECT_EQ(desk.Get(*person, "Title"), "Herr Prof. Dr.");
  EXPECT_EQ(desk.Get(*person, "Gender"), "2");
  EXPECT_EQ(desk.Get(*person, "CompanyName"), "Muster");
  EXPECT_EQ(desk.Get(*person, "BusinessTelephoneNumber"), "040 2");
  EXPECT_EQ(desk.Get(*person, "HomeAddressStreet"), "Privatweg 1");
  // Only a private street: town, postal code and country from the address.
  EXPECT_EQ(desk.Get(*person, "HomeAddressCity"), "Hamburg");
  EXPECT_EQ(desk.Get(*person, "SelectedMailingAddress"), "1");
  // The export reads "geboren" when the table has it.
  EXPECT_EQ(desk.Get(*person, "Birthday").substr(0, 10), "1970-01-02");
  EXPECT_EQ(desk.UserProp(*person, "velKontaktTyp"), "Ansprechpartner");
  EXPECT_EQ(desk.Marks("Ansprechpartner", "0000000011"), std::vector<std::string>{"ANNA"});
  // The person's address followed.
  EXPECT_TRUE(desk.ContactOf("0000000001Adressen"));
  EXPECT_EQ(desk.Marks("Adressen", "0000000001"), std::vector<std::string>{"ANNA"});
  EXPECT_TRUE(desk.SyncLogHas("0000000011Ansprechpartner"));

  // No contact person current: message 3448, then the address is handled.
  desk.ClearEvents();
  desk.Position("Adressen", "0000000002");
  desk.UpdateAnsprechpartner("");
  const auto boxes = desk.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Keine Ansprechpartner ausgewählt!");
  EXPECT_EQ(boxes[0].title, "Ansprechpartner abgleichen");
  EXPECT_TRUE(desk.ContactOf("0000000002Adressen"));
}

TEST(LinkClearing, AnswerNoChangesNothingAnswerYesClearsKeysAndLog) {
  const std::string items = R"(,
      {"class": "contact", "LastName": "Ohne"},
      {"class": "contact", "LastName": "Leer", "userProperties": {"velSearch": ""}} )";
  const std::string log =
      R"(, "TBKLK_SyncLog": [ {"velUser": "ANNA", "velTable": "Adressen", "velID": "0000000001", "velSearch": "0000000001Adressen"} ])";
  {
    Desk desk(Fixture(items, log));
    desk.Answer(MsgAnswer::No);
    EXPECT_FALSE(desk.ClearContactsVelSearch());
    const auto boxes = desk.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, "Alle Kontakte auf 'Nicht importiert' setzen");
    EXPECT_EQ(boxes[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(boxes[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(boxes[0].defaultButton, 2);
    EXPECT_EQ(boxes[0].text.rfind("\r\nA C H T U N G\r\n", 0), 0u);
    EXPECT_TRUE(desk.ContactOf("0000000001Adressen"));
    EXPECT_TRUE(desk.SyncLogHas("0000000001Adressen"));
  }
  {
    Desk desk(Fixture(items, log));
    desk.Answer(MsgAnswer::Yes);
    EXPECT_TRUE(desk.ClearContactsVelSearch());
    EXPECT_FALSE(desk.ContactOf("0000000001Adressen"));
    EXPECT_FALSE(desk.SyncLogHas("0000000001Adressen"));
    auto company = desk.Find(R"([LastName] = "Muster GmbH")");
    ASSERT_TRUE(company);
    EXPECT_EQ(desk.UserProp(*company, "velSearch"), "<none>");
    EXPECT_EQ(desk.UserProp(*company, "velKontaktTyp"), "Firma");
    EXPECT_EQ(desk.UserProp(*company, "velID"), "0000000001");
    EXPECT_EQ(desk.UserProp(*desk.Find(R"([LastName] = "Leer")"), "velSearch"), "");
    // The next import makes new addresses of the cleared contact and of the
    // unlinked ones.
    EXPECT_TRUE(desk.SyncContacts2VEL());
    EXPECT_EQ(desk.Count("Adressen"), 4);
    EXPECT_NE(desk.UserProp(*company, "velSearch"), "0000000001Adressen");
  }
}

}  // namespace
}  // namespace velklk::test

namespace velklk::test {
namespace {

// Positions beyond 32,767 are reached: the last contact of a large folder
// loses its link like the first.
TEST(LinkClearing, FolderLargerThanASixteenBitCounter) {
  std::string items;
  for (int i = 0; i < 32800; ++i) items += R"(,{"class": "contact", "LastName": "x"})";
  items +=
      R"(,{"class": "contact", "LastName": "Letzter", "userProperties": {"velSearch": "0000000099Adressen"}})";
  Desk desk(Fixture(items));
  desk.Answer(MsgAnswer::Yes);
  EXPECT_TRUE(desk.ClearContactsVelSearch());
  EXPECT_FALSE(desk.ContactOf("0000000099Adressen"));
  EXPECT_FALSE(desk.ContactOf("0000000001Adressen"));
}

}  // namespace
}  // namespace velklk::test

namespace velklk::test {
namespace {

TEST(ContactImport, ConfiguredFieldsTakeTheirValueOrAQuestionMark) {
  Desk desk(R"({"host": {"globals": {"TBKLK_g_Merkmalgruppe": "Eigene Gruppe",
                  "TBKLK_g_AdressenFeld1": "Referenz",
                  "TBKLK_g_AdressenFeld2": "Telefon2", "TBKLK_g_AdressenWert2": "aus Outlook",
                  "TBKLK_g_AdressenFeld3": "GibtEsNicht", "TBKLK_g_AdressenWert3": "x"}},
      "outlook": {"stores": [ {"name": "anna@velmora.example", "folders": [
        {"name": "Kontakte", "type": 2, "items": [ {"class": "contact", "LastName": "Neu", "Business2TelephoneNumber": "040 5"} ], "folders": []},
        {"name": "Kalender", "type": 1, "items": [], "folders": []},
        {"name": "Aufgaben", "type": 3, "items": [], "folders": []} ]} ]}})");
  EXPECT_TRUE(desk.SyncContacts2VEL());
  auto c = desk.Find(R"([LastName] = "Neu")");
  ASSERT_TRUE(c);
  const std::string id = desk.UserProp(*c, "velID");
  EXPECT_EQ(desk.Field("Adressen", id, "Referenz"), "?");
  EXPECT_EQ(desk.Field("Adressen", id, "Telefon2"), "aus Outlook");
  EXPECT_NE(desk.Dump("Adressmerkmale").find("\"Gruppe\":\"Eigene Gruppe\""), std::string::npos);
  EXPECT_TRUE(desk.Messages().empty());
}

}  // namespace
}  // namespace velklk::test
