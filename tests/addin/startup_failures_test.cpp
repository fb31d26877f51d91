// The start-up chain driven through the public classes on a desk in memory:
// every failure of the Outlook attachment shows its message and the call ends
// False; the reuse of a successful start-up by CSync.
#include <gtest/gtest.h>

#include "addin/public_classes.h"
#include "support/desk.h"

namespace velklk::test {
namespace {

constexpr const char* kOutlookFalse = "Calling modAppSync.InitOutlook returns: False!";

struct FailureCase {
  const char* name;
  const char* patch;        // merge patch of the base fixture
  const char* contactPath;  // replaces the setting; nullptr keeps it, "" removes it
  const char* calPath;
  const char* taskPath;
};

// Each failure shows its message (the golden file holds the boxes of each
// case) and the call ends False; the public method names the step that
// failed; the quiet methods end False without their own box. A calendar
// entry of the current user that does not resolve is also reported while
// the calendar map is built.
TEST(StartupFailures, EachShowsItsMessageAndTheCallEndsFalse) {
  const std::vector<FailureCase> cases = {
      {"not running", R"({"outlook":{"running":false}})", nullptr, nullptr, nullptr},
      {"version 11", R"({"outlook":{"version":"11.0.0.8217"}})", nullptr, nullptr, nullptr},
      {"no contact path", "{}", "", nullptr, nullptr},
      {"empty contact path", "{}", "-", nullptr, nullptr},
      {"no calendar path", "{}", nullptr, "", nullptr},
      {"no task path", "{}", nullptr, nullptr, ""},
      {"contact path of one name", "{}", "anna@example.com", nullptr, nullptr},
      {"contact path of four names", "{}", "anna@example.com\\Kontakte\\A\\B", nullptr, nullptr},
      {"contact folder missing", "{}", "anna@example.com\\Adressbuch", nullptr, nullptr},
      {"task path of one name", "{}", nullptr, nullptr, "anna@example.com"},
      {"task path of four names", "{}", nullptr, nullptr, "anna@example.com\\Aufgaben\\A\\B"},
      {"calendar path not found", "{}", nullptr, "anna@example.com\\kalender", nullptr},
  };
  std::vector<std::string> lines;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Desk desk({kSampleRecords, c.patch});
    auto set = [&](const char* key, const char* value) {
      if (value == nullptr) return;
      if (std::string(value).empty()) {
        desk.RemoveSetting(key);
      } else {
        desk.SetSetting(key, std::string(value) == "-" ? "" : value);
      }
    };
    set("PREXOLContactPath", c.contactPath);
    set("PREXOLCalPath", c.calPath);
    set("PREXOLTaskPath", c.taskPath);

    auto outcome = desk.Call("velKLK.CSync", "AddressOrContactSync2OL", {"0000000001", "Adressen"});
    ASSERT_FALSE(outcome.Failed()) << outcome.error->Description();
    EXPECT_EQ(outcome.value, Variant(false));
    EXPECT_EQ(desk.BoxTexts().back(), kOutlookFalse);
    lines.push_back(std::string("== ") + c.name);
    for (const auto& line : desk.BoxLines()) lines.push_back(line);

    desk.ui().Clear();
    auto quiet = desk.Call("velKLK.CSync", "SyncContacts2VEL");
    ASSERT_FALSE(quiet.Failed());
    EXPECT_EQ(quiet.value, Variant(false));
    lines.push_back("-- SyncContacts2VEL");
    for (const auto& line : desk.BoxLines()) lines.push_back(line);
  }
  ExpectGolden("addin/golden/startup_failures.txt", lines);
}

TEST(StartupFailures, WithoutAnApplicationObjectInitVelDataFails) {
  Desk desk(kSampleRecords);
  auto menue = desk.Create("velKLK.CMenue");
  std::vector<Variant> nothing{Variant()};
  EXPECT_TRUE(Invoke(*menue, "UpdateAdresse", nothing).IsEmpty());
  const auto boxes = desk.Boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].title, "Fehler in modAppSync.InitVelData");
  EXPECT_EQ(boxes[0].text.rfind("Fehler &H5B in modAppSync\r\n", 0), 0u) << boxes[0].text;
  EXPECT_EQ(boxes[1].text, "Calling modAppSync.InitVelData(oApp, False) returns: False!");
  EXPECT_EQ(boxes[1].title, "CMenue.UpdateAdresse");

  auto sync = desk.Create("velKLK.CSync");
  desk.ui().Clear();
  std::vector<Variant> args{Variant(), Variant("0000000001"), Variant("Adressen")};
  EXPECT_EQ(Invoke(*sync, "AddressOrContactSync2OL", args), Variant(false));
  ASSERT_EQ(desk.Boxes().size(), 2u);
  EXPECT_EQ(desk.Boxes()[1].text, "Calling modAppSync.InitVelData(oApp, True) returns: False!");
}

TEST(StartupFailures, OutlookIsNeverStartedAndTheFailureIsTraced) {
  Desk desk({kSampleRecords, R"({"outlook":{"running":false}})"});
  auto outcome = desk.Call("velKLK.CMenue", "UpdateAdresse");
  ASSERT_FALSE(outcome.Failed());
  EXPECT_TRUE(outcome.value.IsEmpty());
  EXPECT_FALSE(desk.outlook().Running());
  const auto lines = desk.LogLines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines.front(), "CMenue, UpdateAdresse, Entry, Input-parameter: oApp, Not Nothing, ");
  EXPECT_EQ(lines.back(),
            std::string("CMenue, UpdateAdresse, Intermediate, ") + kOutlookFalse + ", , ");
  // A method that stops in its start-up writes no Leave line.
  for (const auto& line : lines) {
    EXPECT_EQ(line.find("UpdateAdresse, Leave"), std::string::npos) << line;
  }
}

TEST(StartupFailures, InitOutlookTracesItsPhases) {
  Desk desk(kSampleRecords);
  auto outcome = desk.Call("velKLK.CSync", "AddressOrContactSync2OL", {"0000000001", "Adressen"});
  ASSERT_FALSE(outcome.Failed()) << outcome.error->Description();
  std::vector<std::string> outlookLines;
  for (const auto& line : desk.LogLines())
    if (line.rfind("modAppSync, InitOutlook, ", 0) == 0) outlookLines.push_back(line);
  ExpectGolden("addin/golden/init_outlook_trace.txt", outlookLines);

  SharedState& s = desk.state();
  EXPECT_EQ(s.sCalPath, "anna@example.com\\Kalender");  // cut to its first entry
  ASSERT_TRUE(s.mOlCalFolder);
  EXPECT_EQ(s.mOlCalFolder->FolderPath(), "\\\\anna@example.com\\Kalender");
  EXPECT_EQ(s.mOlTaskFolder->Name(), "Aufgaben");
  // The calendar map holds every user with an entry, in the users' order.
  EXPECT_EQ(s.CalendarOrder, (std::vector<std::string>{"anna@example.com", "ben@example.com"}));
  EXPECT_EQ(s.CalendarUsers["ben@example.com"], "BEN");
  EXPECT_EQ(s.CalendarFolders["ben@example.com"]->FolderPath(), "\\\\ben@example.com\\Kalender");
}

TEST(StartupFailures, ACalendarEntryThatDoesNotResolveIsReportedAndLeftOut) {
  Desk desk(kSampleRecords);
  desk.SetSetting("PREXOLCalPath", "anna@example.com\\Kalender;BEN@example.com\\Termine");
  auto outcome = desk.Call("velKLK.CSync", "AddressOrContactSync2OL", {"0000000001", "Adressen"});
  ASSERT_FALSE(outcome.Failed());
  ASSERT_GE(desk.Boxes().size(), 1u);
  EXPECT_EQ(desk.Boxes()[0].text, "'BEN@example.com\\Termine' ist ein ungültiges Verzeichnis!");
  EXPECT_EQ(desk.Boxes()[0].title, "Appointment.InitOutlook");
  EXPECT_EQ(desk.state().CalendarFolders.count("ben@example.com"), 0u);
  EXPECT_EQ(desk.state().CalendarOrder, (std::vector<std::string>{"anna@example.com"}));
}

TEST(StartupReuse, CSyncSkipsTheStartupForTheTableOfItsLastSuccess) {
  Desk desk(kSampleRecords);
  auto sync = desk.Create("velKLK.CSync");
  auto first = desk.Call(*sync, "AddressOrContactSync2OL", {"0000000001", "Adressen"});
  ASSERT_FALSE(first.Failed()) << first.error->Description();
  ASSERT_EQ(first.value, Variant(true));

  // With Outlook gone, only a call that skips the start-up can succeed.
  desk.outlook().SetRunning(false);
  auto again = desk.Call(*sync, "AddressOrContactSync2OL", {"0000000001", "Adressen"});
  ASSERT_FALSE(again.Failed()) << again.error->Description();
  EXPECT_EQ(again.value, Variant(true));
  EXPECT_TRUE(desk.Boxes().empty());

  // Another table runs the chain again, and it fails now.
  auto person = desk.Call(*sync, "AddressOrContactSync2OL", {"0000000002", "Ansprechpartner"});
  ASSERT_FALSE(person.Failed());
  EXPECT_EQ(person.value, Variant(false));
  ASSERT_EQ(desk.Boxes().size(), 2u);
  EXPECT_EQ(desk.Boxes()[0].text, "Starten Sie bitte zuerst Outlook!");

  // A new object starts without a remembered table.
  auto other = desk.Create("velKLK.CSync");
  desk.ui().Clear();
  auto fresh = desk.Call(*other, "AddressOrContactSync2OL", {"0000000001", "Adressen"});
  EXPECT_EQ(fresh.value, Variant(false));
  EXPECT_EQ(desk.Boxes().size(), 2u);
}

TEST(StartupReuse, TheThreeMethodsShareTheRememberedTableAFailedWorkerSetsNone) {
  Desk desk(kSampleRecords);
  auto sync = desk.Create("velKLK.CSync");
  auto address = desk.Call(*sync, "AddressOrContactSync2OL", {"0000000001", "Adressen"});
  ASSERT_EQ(address.value, Variant(true));
  EXPECT_EQ(dynamic_cast<CSync&>(sync->Object()).LastInitTable(), "Adressen");

  // AppSync2OL keys on its activity table; "Adressen" was initialised last,
  // so it goes straight to its worker even with Outlook gone.
  desk.outlook().SetRunning(false);
  auto app = desk.Call(*sync, "AppSync2OL", {"0000000001", "Adressen", "", "Adressen", ""});
  ASSERT_FALSE(app.Failed());
  for (const auto& text : desk.BoxTexts()) EXPECT_NE(text, "Starten Sie bitte zuerst Outlook!");
  desk.ui().Clear();

  // TaskSync2OL with another table runs the start-up, which fails quietly
  // apart from Outlook's own message.
  auto task = desk.Call(*sync, "TaskSync2OL", {"0000000005", "WRTM_Tasks", "False"});
  ASSERT_FALSE(task.Failed());
  EXPECT_EQ(task.value, Variant(false));
  EXPECT_EQ(desk.BoxTexts(), (std::vector<std::string>{"Starten Sie bitte zuerst Outlook!"}));
  EXPECT_EQ(dynamic_cast<CSync&>(sync->Object()).LastInitTable(), "Adressen");

  // A worker that fails (the address does not exist) remembers nothing.
  desk.outlook().SetRunning(true);
  auto other = desk.Create("velKLK.CSync");
  auto missing = desk.Call(*other, "AddressOrContactSync2OL", {"0000009999", "Adressen"});
  ASSERT_FALSE(missing.Failed()) << missing.error->Description();
  EXPECT_EQ(missing.value, Variant(false));
  EXPECT_EQ(dynamic_cast<CSync&>(other->Object()).LastInitTable(), "");
}

}  // namespace
}  // namespace velklk::test
