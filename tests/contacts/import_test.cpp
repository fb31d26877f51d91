// Import of contacts entered in Outlook, favourite marks and the clearing of
// links, driven through the public classes on the embedded platforms.
#include <gtest/gtest.h>

#include "support/desk.h"

namespace velklk::test {
namespace {

// Company address "0000000001" (ANNA's favourite) exported to ANNA's
// Outlook, followed there by the test's items (array elements, comma first).
std::string Fixture(const std::string& items) {
  return R"({"host": {"tables": {
      "Adressen": [ {"ID": "0000000001", "An": "Firma", "Name": "Muster GmbH", "ModifiziertAm": "2026-12-01 09:00:00"} ],
      "Adressmerkmale": [ {"@master": "0000000001", "Merkmal": "OutlookFavorit", "Wert": "ANNA"} ]}},
    "folders": {"anna@example.com\\Kontakte": {"items": [
      {"class": "contact", "CompanyName": "Muster GmbH", "LastName": "Muster GmbH",
       "LastModificationTime": "2026-12-01 09:00:00",
       "userProperties": {"velSearch": "0000000001Adressen", "velTable": "Adressen", "velID": "0000000001", "velKontaktTyp": "Firma"}}
      )" +
         items + "]}}}";
}

// Golden lines of an imported contact: its link properties, the record they
// lead to, its favourite marks and whether the sync log has it.
std::vector<std::string> Imported(Desk& desk, const std::shared_ptr<OlItem>& contact) {
  if (!contact) return {"<no contact>"};
  std::vector<std::string> lines{"== " + contact->Get("FileAs").ToText()};
  for (const auto& line : desk.ItemLines(*contact))
    if (line.rfind("user.", 0) == 0) lines.push_back(line);
  const std::string table = Desk::UserProp(*contact, "velTable");
  const std::string id = Desk::UserProp(*contact, "velID");
  for (const auto& line : desk.RecordLines(table, id)) lines.push_back(line);
  std::string marks = "marks:";
  for (const auto& mark : desk.Marks(table, id)) marks += " " + mark;
  lines.push_back(marks);
  lines.push_back(std::string("sync log: ") + (desk.SyncLogHas(id + table) ? "yes" : "no"));
  return lines;
}

std::vector<std::string> Imported(Desk& desk, const std::vector<std::string>& filters) {
  std::vector<std::string> lines;
  for (const auto& filter : filters) {
    const auto more = Imported(desk, desk.Find(filter));
    lines.insert(lines.end(), more.begin(), more.end());
  }
  return lines;
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
  // Jonas has an unknown first name: no salutation from the gender component.
  ExpectGolden("contacts/golden/import_three_kinds.txt",
               Imported(desk, {R"([CompanyName] = "Nordlicht AG")", R"([LastName] = "Sommer")",
                               R"([LastName] = "Weber")"}));
  // A first name alone is neither classified nor imported.
  EXPECT_EQ(Desk::UserProp(*desk.Find(R"([FirstName] = "Nur")"), "velSearch"), "<none>");
  EXPECT_TRUE(desk.Boxes().empty());
}

TEST(ContactImport, TwoPersonsOfOneNewCompany) {
  Desk desk(Fixture(R"(,
      {"class": "contact", "FirstName": "Lena", "LastName": "Hoffmann", "CompanyName": "Müller \"Backstube\" GmbH", "BusinessAddressCity": "Bremen"},
      {"class": "contact", "FirstName": "Xqzt", "CompanyName": "Müller \"Backstube\" GmbH"} )"));
  EXPECT_TRUE(desk.SyncContacts2VEL());
  // One company contact was made for both and imported as an address; both
  // persons hang under it. A person with a first name only takes it as last
  // name.
  int companies = 0;
  for (const auto& item : desk.Items())
    if (item->Get("CompanyName").ToText() == "Müller \"Backstube\" GmbH" &&
        Desk::UserProp(*item, "velKontaktTyp") == "Firma")
      ++companies;
  EXPECT_EQ(companies, 1);
  EXPECT_EQ(desk.Count("Adressen"), 2);
  EXPECT_EQ(desk.Count("Ansprechpartner"), 2);
  ExpectGolden("contacts/golden/import_one_new_company.txt",
               Imported(desk, {R"([FileAs] = "Müller ""Backstube"" GmbH")",
                               R"([LastName] = "Hoffmann")", R"([LastName] = "Xqzt")"}));
  EXPECT_EQ(desk.Find(R"([LastName] = "Xqzt")")->Get("FirstName").ToText(), "");
}

TEST(ContactImport, CompanyContactIsMadeEvenWhenACopiedValueIsRefused) {
  Desk desk(R"({"outlook": {"refusedValues": {"Profession": ["###"]}},
      "folders": {"anna@example.com\\Kontakte": {"items": [
          {"class": "contact", "FirstName": "Ida", "LastName": "Kern", "CompanyName": "Kern KG", "Profession": "###", "BusinessAddressCity": "Kiel"} ]}}})");
  EXPECT_TRUE(desk.SyncContacts2VEL());
  EXPECT_TRUE(desk.Boxes().empty());
  auto company = desk.Find(R"([FileAs] = "Kern KG")");
  ASSERT_TRUE(company);
  EXPECT_EQ(company->Get("BusinessAddressCity").ToText(), "Kiel");
  EXPECT_EQ(company->Get("Profession").ToText(), "");
  ExpectGolden("contacts/golden/import_refused_copy.txt",
               Imported(desk, {R"([FileAs] = "Kern KG")", R"([LastName] = "Kern")"}));
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
  EXPECT_EQ(Desk::UserProp(*desk.Find(R"([LastName] = "Privat")"), "velKontaktTyp"), "<none>");
  EXPECT_EQ(Desk::UserProp(*desk.Find(R"([CompanyName] = "Privat AG")"), "velSearch"), "<none>");

  Desk allowed(Fixture(items));
  allowed.SetSetting("TBKLK_ImportPrivateContacts", "wahr");
  EXPECT_TRUE(allowed.SyncContacts2VEL());
  EXPECT_EQ(allowed.Count("Adressen"), 4);
}

TEST(ContactImport, StaleLinksAreRemovedAndARunWithoutNewContactsImportsNothing) {
  // Address 2 exists but is no longer ANNA's favourite; address 3 is gone;
  // a private contact with a gone record stays; a contact of an unknown
  // table is left alone; a classified private contact waits.
  Desk desk({Fixture(R"(,
      {"class": "contact", "CompanyName": "Alt AG", "LastName": "Alt AG",
       "userProperties": {"velSearch": "0000000002Adressen", "velKontaktTyp": "Firma"}},
      {"class": "contact", "CompanyName": "Weg AG", "LastName": "Weg AG",
       "userProperties": {"velSearch": "0000000003Adressen", "velKontaktTyp": "Firma"}},
      {"class": "contact", "LastName": "Heimlich", "Sensitivity": 2,
       "userProperties": {"velSearch": "0000000004Adressen", "velKontaktTyp": "Privatperson"}},
      {"class": "contact", "LastName": "Fremd",
       "userProperties": {"velSearch": "0000000005Projekte", "velKontaktTyp": "Privatperson"}},
      {"class": "contact", "LastName": "Wartet", "Sensitivity": 2,
       "userProperties": {"velKontaktTyp": "Privatperson"}} )"),
             R"({"host": {"tables": {
      "TBKLK_SyncLog": [ {"velUser": "ANNA", "velTable": "Adressen", "velID": "0000000002", "velSearch": "0000000002Adressen"},
                         {"velUser": "ANNA", "velTable": "Adressen", "velID": "0000000003", "velSearch": "0000000003Adressen"},
                         {"velUser": "BEN", "velTable": "Adressen", "velID": "0000000002", "velSearch": "0000000002Adressen"} ],
      "Adressen": [ {"ID": "0000000001", "An": "Firma", "Name": "Muster GmbH"}, {"ID": "0000000002", "An": "Firma", "Name": "Alt AG"} ]}}})"});
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
  EXPECT_EQ(Desk::UserProp(*desk.Find(R"([LastName] = "Wartet")"), "velSearch"), "<none>");
}

TEST(ContactImport, ContactPersonWhoseCompanyHasNoAddressLinkStaysUnlinked) {
  Desk desk(Fixture(R"(,
      {"class": "contact", "CompanyName": "Lose GmbH", "LastName": "Lose GmbH", "userProperties": {"velKontaktTyp": "Firma", "velTable": "Projekte", "velID": "0000000009", "velSearch": "0000000009Projekte"}},
      {"class": "contact", "FirstName": "Ida", "LastName": "Lose", "CompanyName": "Lose GmbH"} )"));
  EXPECT_TRUE(desk.SyncContacts2VEL());
  EXPECT_EQ(desk.Count("Ansprechpartner"), 0);
  EXPECT_EQ(Desk::UserProp(*desk.Find(R"([LastName] = "Lose")"), "velSearch"), "<none>");
}

TEST(ContactImport, ConfiguredFieldsTakeTheirValueOrAQuestionMark) {
  Desk desk(R"({"host": {"globals": {"TBKLK_g_Merkmalgruppe": "Eigene Gruppe",
                  "TBKLK_g_AdressenFeld1": "Referenz",
                  "TBKLK_g_AdressenFeld2": "Telefon2", "TBKLK_g_AdressenWert2": "aus Outlook",
                  "TBKLK_g_AdressenFeld3": "GibtEsNicht", "TBKLK_g_AdressenWert3": "x"}},
      "folders": {"anna@example.com\\Kontakte": {"items": [
          {"class": "contact", "LastName": "Neu", "Business2TelephoneNumber": "040 5"} ]}}})");
  EXPECT_TRUE(desk.SyncContacts2VEL());
  auto c = desk.Find(R"([LastName] = "Neu")");
  ASSERT_TRUE(c);
  const std::string id = Desk::UserProp(*c, "velID");
  EXPECT_EQ(desk.Field("Adressen", id, "Referenz"), "?");
  EXPECT_EQ(desk.Field("Adressen", id, "Telefon2"), "aus Outlook");
  desk.Position("Adressen", id);
  auto marks = desk.host().Database()->Table("Adressmerkmale");
  ASSERT_TRUE(marks->MoveFirst());
  EXPECT_EQ(marks->Field("Gruppe")->Value().ToText(), "Eigene Gruppe");
  EXPECT_TRUE(desk.Boxes().empty());
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
  // Only a private street: town, postal code and country come from the
  // address; the export reads "geboren" when the table has it.
  ExpectGolden("contacts/golden/person_with_private_street.txt", desk.ItemLines(*person));
  EXPECT_EQ(desk.Marks("Ansprechpartner", "0000000011"), std::vector<std::string>{"ANNA"});
  // The person's address followed.
  EXPECT_TRUE(desk.ContactOf("0000000001Adressen"));
  EXPECT_EQ(desk.Marks("Adressen", "0000000001"), std::vector<std::string>{"ANNA"});
  EXPECT_TRUE(desk.SyncLogHas("0000000011Ansprechpartner"));

  // No contact person current: a message, then the address is handled.
  desk.ui().Clear();
  desk.Position("Adressen", "0000000002");
  desk.UpdateAnsprechpartner("");
  const auto boxes = desk.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Keine Ansprechpartner ausgewählt!");
  EXPECT_EQ(boxes[0].title, "Ansprechpartner abgleichen");
  EXPECT_TRUE(desk.ContactOf("0000000002Adressen"));
}

TEST(LinkClearing, AnswerNoChangesNothingAnswerYesClearsKeysAndLog) {
  const std::string fixture = Fixture(R"(,
      {"class": "contact", "LastName": "Ohne"},
      {"class": "contact", "LastName": "Leer", "userProperties": {"velSearch": ""}} )");
  const std::string log = R"({"host": {"tables": {"TBKLK_SyncLog": [
      {"velUser": "ANNA", "velTable": "Adressen", "velID": "0000000001", "velSearch": "0000000001Adressen"} ]}}})";
  {
    Desk desk({fixture, log});
    desk.Answer({MsgAnswer::No});
    EXPECT_FALSE(desk.Call("velKLK.CSync", "ClearContactsVelSearch").True());
    const auto boxes = desk.BoxLines();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].rfind("Alle Kontakte auf 'Nicht importiert' setzen | exclamation | yesno | "
                             "2 | \\r\\nA C H T U N G\\r\\n",
                             0),
              0u)
        << boxes[0];
    EXPECT_TRUE(desk.ContactOf("0000000001Adressen"));
    EXPECT_TRUE(desk.SyncLogHas("0000000001Adressen"));
  }
  Desk desk({fixture, log});
  desk.Answer({MsgAnswer::Yes});
  EXPECT_TRUE(desk.Call("velKLK.CSync", "ClearContactsVelSearch").True());
  EXPECT_FALSE(desk.ContactOf("0000000001Adressen"));
  EXPECT_FALSE(desk.SyncLogHas("0000000001Adressen"));
  auto company = desk.Find(R"([LastName] = "Muster GmbH")");
  ASSERT_TRUE(company);
  EXPECT_EQ(Desk::UserProp(*company, "velSearch"), "<none>");
  EXPECT_EQ(Desk::UserProp(*company, "velKontaktTyp"), "Firma");
  EXPECT_EQ(Desk::UserProp(*company, "velID"), "0000000001");
  EXPECT_EQ(Desk::UserProp(*desk.Find(R"([LastName] = "Leer")"), "velSearch"), "");
  // The next import makes new addresses of the cleared contact and of the
  // unlinked ones.
  EXPECT_TRUE(desk.SyncContacts2VEL());
  EXPECT_EQ(desk.Count("Adressen"), 4);
  EXPECT_NE(Desk::UserProp(*company, "velSearch"), "0000000001Adressen");
}

// Positions beyond 32,767 are reached: the last contact of a large folder
// loses its link like the first.
TEST(LinkClearing, FolderLargerThanASixteenBitCounter) {
  std::string items;
  for (int i = 0; i < 32800; ++i) items += R"(,{"class": "contact", "LastName": "x"})";
  items +=
      R"(,{"class": "contact", "LastName": "Letzter", "userProperties": {"velSearch": "0000000099Adressen"}})";
  Desk desk(Fixture(items));
  desk.Answer({MsgAnswer::Yes});
  EXPECT_TRUE(desk.Call("velKLK.CSync", "ClearContactsVelSearch").True());
  EXPECT_FALSE(desk.ContactOf("0000000099Adressen"));
  EXPECT_FALSE(desk.ContactOf("0000000001Adressen"));
}

}  // namespace
}  // namespace velklk::test
