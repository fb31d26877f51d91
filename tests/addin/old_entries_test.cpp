// The link properties of folders and items and the removal of items written
// by the older release, on a desk in memory.
#include <gtest/gtest.h>

#include <algorithm>

#include "session/link_properties.h"
#include "session/startup.h"
#include "platform/outlook.h"
#include "support/desk.h"

namespace velklk::test {
namespace {

const std::string k3901 =
    "In Outlook existieren Kontakte aus Velmora, die mit einer älteren Version von Kestrelink "
    "erstellt wurden. Um die neuen Funktionalitäten von Kestrelink nutzen zu können, müssen diese "
    "Kontakte gelöscht werden. Starten Sie nach dem Löschen die Synchronisation, um Ihre Kontakte "
    "wieder nach Outlook zu übertragen!\r\n\r\nJetzt Kontakte (aus Velmora) löschen?";
constexpr const char* kNoOldEntriesFalse = "Calling modAppSync.NoOldEntries returns: False!";

// The sample records with the given items in ANNA's three folders.
std::string WithItems(const std::string& contacts, const std::string& appointments,
                      const std::string& tasks) {
  return R"({"folders": {"anna@example.com\\Kontakte": {"items": [)" + contacts +
         R"(]}, "anna@example.com\\Kalender": {"items": [)" + appointments +
         R"(]}, "anna@example.com\\Aufgaben": {"items": [)" + tasks + "]}}}";
}

std::string OldContacts(int count) {
  std::string items;
  for (int i = 0; i < count; ++i) {
    if (!items.empty()) items += ",";
    items += R"({"class":"contact","LastName":"Alt)" + std::to_string(i) +
             R"(","userProperties":{"velACOID":"{)" + std::to_string(i) + R"(}"}})";
  }
  return items;
}

std::vector<std::string> Definitions(Desk& desk, const std::string& folder) {
  std::vector<std::string> names;
  auto defs = desk.Folder(folder)->UserDefinedProperties();
  for (int i = 1; i <= defs->Count(); ++i) names.push_back(defs->Item(i)->Name());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(OldEntries, NoAnswerLeavesTheOldContactsAndStopsTheCall) {
  // A value of exactly "{" is not above "{" and does not count as old.
  Desk desk(
      {kSampleRecords,
       WithItems(OldContacts(3) +
                     R"(,{"class":"contact","LastName":"Neu","userProperties":{"velACOID":"{"}})",
                 "", "")});
  desk.Answer({MsgAnswer::No});
  auto outcome = desk.Call("velKLK.CSync", "AddressOrContactSync2OL", {"0000000001", "Adressen"});
  ASSERT_FALSE(outcome.Failed()) << outcome.error->Description();
  EXPECT_EQ(outcome.value, Variant(false));
  ExpectGolden("addin/golden/old_contacts_no.txt", desk.BoxLines());
  EXPECT_EQ(desk.Items("Kontakte").size(), 4u);

  // Every later start-up asks again.
  desk.ui().Clear();
  desk.Call("velKLK.CSync", "AddressOrContactSync2OL", {"0000000001", "Adressen"});
  ASSERT_FALSE(desk.Boxes().empty());
  EXPECT_EQ(desk.Boxes()[0].text, k3901);
}

TEST(OldEntries, YesDeletesThemAllButTheCommandMustBeStartedAgain) {
  Desk desk({kSampleRecords, WithItems(OldContacts(23), "", "")});
  desk.Answer({MsgAnswer::Yes});
  auto outcome = desk.Call("velKLK.CSync", "AddressOrContactSync2OL", {"0000000001", "Adressen"});
  ASSERT_FALSE(outcome.Failed());
  EXPECT_EQ(outcome.value, Variant(false));
  EXPECT_EQ(desk.BoxTexts(), (std::vector<std::string>{k3901, kNoOldEntriesFalse}));
  EXPECT_EQ(desk.Items("Kontakte").size(), 0u);
  // The host's messages were serviced after the 10th and the 20th deletion.
  EXPECT_EQ(desk.ui().DoEventsCount(), 2);

  desk.ui().Clear();
  auto again = desk.Call("velKLK.CSync", "AddressOrContactSync2OL", {"0000000001", "Adressen"});
  EXPECT_EQ(again.value, Variant(true));
  EXPECT_TRUE(desk.Boxes().empty());
}

TEST(OldEntries, CalendarAndTasksAreCheckedAfterTheContacts) {
  Desk desk({kSampleRecords,
             WithItems("",
                       R"({"class":"appointment","Subject":"Alt","Start":"2026-12-01 10:00:00",
          "End":"2026-12-01 11:00:00","BillingInformation":"{4711Aktivitaeten}"})",
                       R"({"class":"task","Subject":"Alt","BillingInformation":"{12WRTM_Tasks}"},
         {"class":"task","Subject":"Neu","BillingInformation":"Kunde 12"})")});
  desk.Answer({MsgAnswer::No, MsgAnswer::Yes});
  auto outcome = desk.Call("velKLK.CSync", "SyncContacts2VEL");
  ASSERT_FALSE(outcome.Failed());
  EXPECT_EQ(outcome.value, Variant(false));
  const auto boxes = desk.BoxTexts();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].rfind("In Outlook existieren Kalendereinträge aus Velmora", 0), 0u);
  EXPECT_NE(boxes[0].find("\r\n\r\nJetzt Termine (aus Velmora) löschen?"), std::string::npos);
  EXPECT_EQ(boxes[1].rfind("In Outlook existieren Aufgaben aus Velmora", 0), 0u);
  EXPECT_EQ(desk.Items("Kalender").size(), 1u);
  EXPECT_EQ(desk.Items("Aufgaben").size(), 1u);  // only the new task is left
}

TEST(LinkProperties, TheStartupDefinesThemOnTheThreeFolders) {
  Desk desk({kSampleRecords, R"({"folders": {
    "anna@example.com\\Kontakte": {"userPropertyDefinitions": {"velModifiziertAm": "text"}},
    "anna@example.com\\Kalender": {"userPropertyDefinitions":
        {"velACOID": "text", "velKontaktTyp": "text", "Eigene": "yesno"}}}})"});
  auto outcome = desk.Call("velKLK.CSync", "AddressOrContactSync2OL", {"0000000001", "Adressen"});
  ASSERT_FALSE(outcome.Failed());
  EXPECT_EQ(
      Definitions(desk, "Kontakte"),
      (std::vector<std::string>{"velACOID", "velID", "velKontaktTyp", "velSearch", "velTable"}));
  EXPECT_EQ(Definitions(desk, "Kalender"),
            (std::vector<std::string>{"Eigene", "velID", "velSearch", "velTable"}));
  EXPECT_EQ(
      Definitions(desk, "Aufgaben"),
      (std::vector<std::string>{"velGroupName", "velID", "velSearch", "velStatus1", "velTable"}));
  auto tasks = desk.Folder("Aufgaben")->UserDefinedProperties();
  EXPECT_EQ(tasks->Find("velStatus1")->Type(), OlUserPropertyType::YesNo);
  // The calendar of the second user is in the map but keeps its definitions.
  EXPECT_TRUE(Definitions(desk, "ben@example.com\\Kalender").empty());
}

TEST(LinkProperties, ItemConfigAddsTheMissingPropertiesOnce) {
  Desk desk;
  auto folder = desk.Folder("Kontakte");
  auto contact = folder->Items()->Add(OlItemType::Contact);
  EXPECT_TRUE(ConfigContactItem(*contact));
  auto props = contact->UserProperties();
  ASSERT_EQ(props->Count(), 4);
  EXPECT_EQ(props->Item(4)->Name(), "velKontaktTyp");
  EXPECT_TRUE(ConfigContactItem(*contact));
  EXPECT_EQ(props->Count(), 4);

  auto task = desk.Folder("Aufgaben")->Items()->Add();
  EXPECT_TRUE(ConfigTaskItem(*task));
  ASSERT_EQ(task->UserProperties()->Count(), 5);
  EXPECT_EQ(task->UserProperties()->Find("velStatus1")->Type(), OlUserPropertyType::YesNo);

  auto appointment = desk.Folder("Kalender")->Items()->Add();
  appointment->UserProperties()->Add("velSearch", OlUserPropertyType::Text);
  EXPECT_TRUE(ConfigAppointmentItem(*appointment));
  EXPECT_EQ(appointment->UserProperties()->Count(), 1);  // velSearch there: nothing added
  EXPECT_TRUE(desk.Boxes().empty());
}

TEST(LinkProperties, AnOfflineProfileGetsItsOwnAdvice) {
  Desk desk;
  desk.outlook().SetOffline(true);
  auto contact = desk.Folder("Kontakte")->Items()->Add();
  EXPECT_FALSE(ConfigContactItem(*contact));
  auto task = desk.Folder("Aufgaben")->Items()->Add();
  EXPECT_FALSE(ConfigTaskItem(*task));
  auto appointment = desk.Folder("Kalender")->Items()->Add();
  EXPECT_FALSE(ConfigAppointmentItem(*appointment));
  ExpectGolden("addin/golden/offline_advice.txt", desk.BoxLines());
}

TEST(LinkProperties, ClassifyContactSetsTheContactType) {
  Desk desk;
  auto items = desk.Folder("Kontakte")->Items();
  struct Case {
    const char* last;
    const char* company;
    const char* type;
    const char* lastAfter;
  };
  const std::vector<Case> cases = {
      {"", "Muster GmbH", "Firma", "Muster GmbH"},
      {"Berg", "", "Privatperson", "Berg"},
      {"Berg", "Muster GmbH", "Ansprechpartner", "Berg"},
      {"Muster GmbH", "Muster GmbH", "Firma", "Muster GmbH"},
      {"", "", "", ""},
  };
  int saved = items->Count();
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.last) + "/" + c.company);
    auto contact = items->Add(OlItemType::Contact);
    contact->Set("LastName", Variant(c.last));
    contact->Set("CompanyName", Variant(c.company));
    ClassifyContact(*contact);
    EXPECT_EQ(contact->UserProperties()->Item("velKontaktTyp")->Value(), Variant(c.type));
    EXPECT_EQ(contact->Get("LastName").ToText(), c.lastAfter);
    EXPECT_EQ(items->Count(), ++saved);  // the contact was saved
  }
}

}  // namespace
}  // namespace velklk::test
