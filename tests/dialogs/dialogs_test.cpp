// The configuration dialogs driven as the host drives them (late-bound CSync
// calls, dialog answers on the recording interface) and as a user drives the
// velklk command: what the pickers offer and store, what the start-up then
// finds, the check rules of the calendar picker, the list editor's steps, and
// every refused input and fault with the settings it must leave alone.
#include "dialogs/dialogs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "dialog_fixture.h"
#include "dialogs/access_keys.h"
#include "dialogs/xp_frame.h"
#include "resources/catalogue.h"
#include "session/startup.h"
#include "support/velklk_command.h"

namespace velklk::test {
namespace {

std::string Setting(Desk& desk, const std::string& key) {
  auto settings = desk.host().Database()->CurrentUser()->Settings();
  return settings->Exists(key) ? settings->Value(key).ToText() : "<none>";
}

std::vector<std::string> Paths(const std::vector<DialogNode>& nodes, bool checkedOnly = false) {
  std::vector<std::string> paths;
  for (const auto& node : nodes) {
    if (!checkedOnly || node.checked) paths.push_back(node.path + (node.bold ? " (bold)" : ""));
  }
  return paths;
}

// The dialog events the call showed.
std::vector<UiEvent> Dialogs(Desk& desk) {
  std::vector<UiEvent> dialogs;
  for (const auto& event : desk.ui().Events()) {
    if (event.kind == UiEvent::Kind::Dialog) dialogs.push_back(event);
  }
  return dialogs;
}

// A picker as the Select commands open it, on the desk's state.
std::unique_ptr<FolderDialog> Open(Desk& desk, std::unique_ptr<FolderDialog> (*create)()) {
  EXPECT_TRUE(InitVelData(desk.host().Application(), false));
  desk.state().mOlNameSpace = desk.outlook().Application()->GetNamespace("MAPI");
  return create();
}

struct Picker {
  const char* member;
  const char* key;
  const char* refuse;  // an answer whose OK names no folder
  const char* choose;  // an answer that chooses `stored`
  const char* stored;
  int noFolder;  // the dialog's "please select" message
  int missing;   // the start-up's "folder not given" message
};

const Picker kPickers[] = {
    {"SelectOlContactPath", "PREXOLContactPath", R"({"select":"anna@example.com","press":"ok"})",
     R"({"select":"anna@example.com\\Kontakte\\Privat","press":"ok"})",
     "anna@example.com\\Kontakte\\Privat", 107, 3601},
    {"SelectOLAppointmentPath", "PREXOLCalPath",
     R"({"uncheck":["anna@example.com","ben@example.com"],"press":"ok"})",
     R"({"check":["anna@example.com\\Kalender\\Team"],"press":"ok"})",
     "anna@example.com\\Kalender\\Team", 207, 3602},
    {"SelectOlTaskPath", "PREXOLTaskPath", R"({"select":"anna@example.com","press":"ok"})",
     R"({"select":"anna@example.com\\Aufgaben\\Projekt","press":"ok"})",
     "anna@example.com\\Aufgaben\\Projekt", 307, 3609},
};

TEST(FolderPickers, TheChoiceIsStoredFoundAtStartupAndDeletingItBringsBackTheMessage) {
  for (const Picker& p : kPickers) {
    SCOPED_TRACE(p.member);
    Desk desk(DialogFixture());
    desk.ui().AddDialogAnswer(p.refuse);
    desk.ui().AddDialogAnswer(p.choose);
    auto outcome = desk.Call("velKLK.CSync", p.member);
    EXPECT_TRUE(outcome.True());
    EXPECT_EQ(desk.BoxTexts(), std::vector<std::string>{CatalogueText(p.noFolder, "de")});
    EXPECT_EQ(desk.Boxes()[0].icon, MsgIcon::Information);
    EXPECT_EQ(Setting(desk, p.key), p.stored);

    ASSERT_TRUE(InitOutlook());
    EXPECT_EQ(desk.state().mOlContactFolder->Name() + desk.state().mOlCalFolder->Name() +
                  desk.state().mOlTaskFolder->Name(),
              std::string(p.missing == 3601 ? "Privat" : "Kontakte") +
                  (p.missing == 3602 ? "Team" : "Kalender") +
                  (p.missing == 3609 ? "Projekt" : "Aufgaben"));

    // Cancel keeps, "Eintrag löschen" removes the setting; then the command
    // and every start-up stop with the "not given" message.
    desk.ui().Clear();
    desk.ui().AddDialogAnswer(R"({"press":"cancel"})");
    EXPECT_TRUE(desk.Call("velKLK.CSync", p.member).True());
    desk.ui().AddDialogAnswer(R"({"press":"delete"})");
    EXPECT_FALSE(desk.Call("velKLK.CSync", p.member).True());
    EXPECT_EQ(Setting(desk, p.key), "<none>");
    EXPECT_FALSE(InitOutlook());
    EXPECT_EQ(desk.BoxTexts(), std::vector<std::string>(2, CatalogueText(p.missing, "de")));
  }
}

TEST(FolderPickers, TreesOfferTheirKindAndSelectTheStoredPath) {
  Desk desk(DialogFixture());
  desk.SetSetting("PREXOLTaskPath", "anna@example.com\\Aufgaben\\Ablage");
  desk.Call("velKLK.CSync", "SelectOlTaskPath");
  desk.Call("velKLK.CSync", "SelectOLAppointmentPath");
  const auto dialogs = Dialogs(desk);
  ASSERT_EQ(dialogs.size(), 2u);
  // Folders of other kinds are left out with their subfolders; below a task
  // folder every direct subfolder is offered, nothing deeper.
  EXPECT_EQ(Paths(dialogs[0].dialogNodes),
            (std::vector<std::string>{"anna@example.com", "anna@example.com\\Aufgaben (bold)",
                                      "anna@example.com\\Aufgaben\\Projekt",
                                      "anna@example.com\\Aufgaben\\Ablage", "ben@example.com",
                                      "dora@example.com"}));
  EXPECT_EQ(dialogs[0].dialogClosed.selected, "anna@example.com\\Aufgaben\\Ablage");
  // Calendars at any depth; Ben's shared calendar under his address; Carl's
  // address does not resolve and Dora has no calendar to share.
  EXPECT_EQ(Paths(dialogs[1].dialogNodes),
            (std::vector<std::string>{"anna@example.com", "anna@example.com\\Kalender (bold)",
                                      "anna@example.com\\Kalender\\Team (bold)", "ben@example.com",
                                      "ben@example.com\\Kalender (bold)",
                                      "ben@example.com\\Urlaub (bold)", "dora@example.com",
                                      "ben@example.com", "ben@example.com\\Kalender (bold)"}));
  // The stored calendars are checked with their mailboxes, once each.
  EXPECT_EQ(Paths(dialogs[1].dialogNodes, true),
            (std::vector<std::string>{"anna@example.com", "anna@example.com\\Kalender (bold)",
                                      "ben@example.com", "ben@example.com\\Kalender (bold)"}));
  EXPECT_TRUE(desk.Boxes().empty());
}

TEST(FolderPickers, NoDialogBeforeOutlook12AndTheStoredPathMatchesInItsOwnCase) {
  Desk desk(DialogFixture());
  desk.outlook().SetVersion("11.0.0.0");
  for (const Picker& p : kPickers) EXPECT_FALSE(desk.Call("velKLK.CSync", p.member).True());
  EXPECT_TRUE(Dialogs(desk).empty());
  EXPECT_EQ(desk.BoxTexts(), std::vector<std::string>(3, CatalogueText(3611, "de")));
  // A stored path in other letter case selects no node; the setting stays.
  desk.outlook().SetVersion("16.0.0.0");
  desk.SetSetting("PREXOLTaskPath", "anna@example.com\\aufgaben\\ablage");
  desk.ui().AddDialogAnswer(R"({"press":"cancel"})");
  desk.Call("velKLK.CSync", "SelectOlTaskPath");
  ASSERT_EQ(Dialogs(desk).size(), 1u);
  EXPECT_FALSE(Dialogs(desk)[0].dialogClosed.hasSelection);
  EXPECT_EQ(Setting(desk, "PREXOLTaskPath"), "anna@example.com\\aufgaben\\ablage");
}

TEST(CalendarPicker, CheckRulesKeepOneCalendarPerMailbox) {
  Desk desk(DialogFixture());
  auto sync = desk.Create("velKLK.CSync");
  auto dialog = Open(desk, &CreateFrmCalPath);
  const auto checked = [&] { return Paths(dialog->Nodes(), true); };
  // 0 anna, 1 Kalender, 2 Team, 3 ben, 4 Kalender, 5 Urlaub, 6 dora,
  // 7 ben (shared), 8 Kalender
  dialog->CheckNode(2, true);  // a second calendar of Anna's replaces the first
  dialog->CheckNode(5, true);  // and one of Ben's
  EXPECT_EQ(checked(),
            (std::vector<std::string>{"anna@example.com", "anna@example.com\\Kalender\\Team (bold)",
                                      "ben@example.com", "ben@example.com\\Urlaub (bold)"}));
  dialog->CheckNode(5, false);  // a calendar unchecked takes its mailbox along
  dialog->CheckNode(3, true);   // a mailbox of two calendars: only the mailbox
  dialog->CheckNode(6, true);   // a mailbox without calendars cannot be checked
  dialog->CheckNode(0, false);  // a mailbox unchecked takes its calendars along
  EXPECT_EQ(checked(), std::vector<std::string>{"ben@example.com"});
  dialog->CheckNode(7, true);  // a mailbox of one calendar checks it
  dialog->CheckNode(0, true);
  EXPECT_EQ(checked(),
            (std::vector<std::string>{"anna@example.com", "anna@example.com\\Kalender (bold)",
                                      "ben@example.com", "ben@example.com",
                                      "ben@example.com\\Kalender (bold)"}));
  dialog->Press(DialogButton::Ok);  // Ben's mailbox without a calendar adds nothing
  EXPECT_EQ(Setting(desk, "PREXOLCalPath"), "anna@example.com\\Kalender;ben@example.com\\Kalender");
  EXPECT_THROW(dialog->CheckNode(99, true), AutomationError);
}

TEST(CalendarPicker, StoredCalendarsThatAreGoneAreNamedOnceAndDroppedOnlyByOk) {
  Desk desk(DialogFixture());
  const std::string stored =
      "anna@example.com\\Kalender;anna@example.com\\Kalender\\Team;;weg@example.com\\Kalender;"
      "ben@example.com";
  desk.SetSetting("PREXOLCalPath", stored);
  desk.ui().AddDialogAnswer(R"({"press":"cancel"})");
  desk.ui().AddDialogAnswer(R"({"press":"ok"})");
  desk.Call("velKLK.CSync", "SelectOLAppointmentPath");
  EXPECT_EQ(Setting(desk, "PREXOLCalPath"), stored);  // cancelled: nothing lost
  desk.Call("velKLK.CSync", "SelectOLAppointmentPath");
  // A second calendar of one mailbox, a calendar that is gone, a store.
  const std::string gone =
      "Folgende Ordner sind nicht mehr gültig:\r\n\r\nanna@example.com\\Kalender\\Team\r\n"
      "weg@example.com\\Kalender\r\nben@example.com";
  EXPECT_EQ(desk.BoxTexts(), std::vector<std::string>(2, gone));
  EXPECT_EQ(desk.Boxes()[0].title, "");
  EXPECT_EQ(desk.Boxes()[0].icon, MsgIcon::Exclamation);
  EXPECT_EQ(Setting(desk, "PREXOLCalPath"), "anna@example.com\\Kalender");
}

TEST(FolderPickers, FaultsAreReportedAndLeaveTheSettingAlone) {
  Desk desk(DialogFixture());
  // A stored folder that is gone: nothing is selected, and OK without a
  // selection asks for a folder; cancelled, the setting stays and the check
  // names the phase.
  desk.SetSetting("PREXOLContactPath", "anna@example.com\\Weg");
  desk.ui().AddDialogAnswer(R"({"press":"ok"})");
  desk.ui().AddDialogAnswer(R"({"press":"cancel"})");
  EXPECT_FALSE(desk.Call("velKLK.CSync", "SelectOlContactPath").True());
  EXPECT_FALSE(Dialogs(desk)[0].dialogClosed.hasSelection);
  EXPECT_EQ(Setting(desk, "PREXOLContactPath"), "anna@example.com\\Weg");
  ASSERT_EQ(desk.BoxTexts().size(), 2u);
  EXPECT_EQ(desk.BoxTexts()[0], "Wählen Sie bitte einen KONTAKT-Ordner aus!");
  EXPECT_NE(desk.BoxTexts()[1].find("Ordner für Kontakte konnte"), std::string::npos);

  // The host refuses the write: reported, the dialog stays open, the
  // setting keeps its value.
  desk.ui().Clear();
  desk.host().RaiseOn("Settings.SetValue", 70);
  desk.ui().AddDialogAnswer(R"({"select":"anna@example.com\\Aufgaben\\Projekt","press":"ok"})");
  desk.ui().AddDialogAnswer(R"({"press":"cancel"})");
  EXPECT_TRUE(desk.Call("velKLK.CSync", "SelectOlTaskPath").True());
  EXPECT_EQ(desk.Boxes().at(0).title, "Fehler in frmTaskPath.cmdOK_Click");
  EXPECT_EQ(Dialogs(desk)[0].dialogClosedBy, DialogButton::Cancel);
  EXPECT_EQ(Setting(desk, "PREXOLTaskPath"), "anna@example.com\\Aufgaben");

  // Only the current user's settings are kept; an unknown button is refused.
  auto dialog = Open(desk, &CreateFrmTaskPath);
  EXPECT_THROW(dialog->init(false), AutomationError);
  EXPECT_THROW(dialog->Press(DialogButton::Save), AutomationError);
  EXPECT_THROW(dialog->Resize(800, 600), AutomationError);
}

TEST(CalendarPicker, ResizingGrowsTheTreeAndKeepsTheRestAtTheEdges) {
  Desk desk(DialogFixture());
  auto dialog = Open(desk, &CreateFrmCalPath);
  const DialogLayout before = dialog->Layout();
  dialog->Resize(before.width + 100, before.height + 50);
  const DialogLayout after = dialog->Layout();
  ASSERT_TRUE(after.resizable);
  for (std::size_t i = 0; i < after.places.size(); ++i) {
    const DialogRect& a = before.places[i].rect;
    const DialogRect& b = after.places[i].rect;
    if (after.places[i].control == DialogPlace::Control::Tree) {
      EXPECT_EQ(b, (DialogRect{a.left, a.top, a.width + 100, a.height + 50}));
    } else if (after.places[i].name != "lblFolder") {  // the label stays at the top
      EXPECT_EQ(b, (DialogRect{a.left + 100, a.top + 50, a.width, a.height})) << i;
    }
  }
  dialog->Resize(10, 10);  // never smaller than designed
  EXPECT_EQ(dialog->Layout().places[1].rect, before.places[1].rect);
}

TEST(AppointmentTypes, TheListEditorsStepsAndWhatSaveStores) {
  Desk desk(DialogFixture());
  auto db = desk.host().Database();
  // First start: the default list is created even when the user leaves.
  desk.ui().AddDialogAnswer(R"({"press":"exit"})");
  desk.Call("velKLK.CSync", "ConfigAppintmentTypes");
  EXPECT_EQ(Dialogs(desk)[0].dialogEntries,
            (std::vector<std::string>{"Termin", "Termin beim Kunden", "Termin im Büro"}));
  ASSERT_TRUE(db->GlobalExists(kAppointmentTypeList));

  desk.ui().Clear();
  desk.ui().AddDialogAnswer(R"({"steps":[
      {"text":"   "},{"press":"new"},
      {"select":"Termin beim Kunden"},{"text":" Besuch "},{"press":"edit"},
      {"text":"Termin"},{"press":"new"},
      {"select":"Termin im Büro"},{"press":"delete"},
      {"select":"Termin"},{"text":"\t"},{"press":"edit"}],
    "press":"save"})");
  desk.Call("velKLK.CSync", "ConfigAppintmentTypes");
  EXPECT_EQ(desk.BoxTexts(), (std::vector<std::string>{"Eingabe darf nicht leer sein",
                                                       "Eingabe darf nicht leer sein"}));
  const VariantList saved{Variant("Termin"), Variant("Besuch"), Variant("Termin")};
  EXPECT_EQ(db->GlobalValue(kAppointmentTypeList), Variant(saved));

  // Emptied and saved: an empty value; the defaults do not come back.
  desk.ui().Clear();
  desk.ui().AddDialogAnswer(R"({"steps":[{"select":"Termin"},{"press":"delete"},
      {"select":"Besuch"},{"press":"delete"},{"select":"Termin"},{"press":"delete"}],
    "press":"save"})");
  desk.ui().AddDialogAnswer(R"({"steps":[{"text":"Besuch"},{"press":"new"}],"press":"close"})");
  desk.Call("velKLK.CSync", "ConfigAppintmentTypes");
  EXPECT_TRUE(db->GlobalValue(kAppointmentTypeList).IsEmpty());
  desk.Call("velKLK.CSync", "ConfigAppintmentTypes");
  EXPECT_TRUE(Dialogs(desk)[1].dialogEntries.empty());
  EXPECT_TRUE(db->GlobalValue(kAppointmentTypeList).IsEmpty());  // closed: not saved
}

TEST(AppointmentTypes, AValueThatIsNoListIsKeptAndAFailedReadIsNeverSaved) {
  Desk desk(
      R"({"host":{"globals":{"TBKLK_g_Merkmalgruppe":null,"tbklk_lt_aktivitaetentyptermin":"Besuch"}}})");
  auto db = desk.host().Database();
  desk.ui().AddDialogAnswer(R"({"steps":[{"text":"Telefonat"},{"press":"new"}],"press":"save"})");
  desk.Call("velKLK.CSync", "ConfigAppintmentTypes");
  EXPECT_EQ(db->GlobalValue(kAppointmentTypeList),
            Variant(VariantList{Variant("Besuch"), Variant("Telefonat")}));
  EXPECT_EQ(db->GlobalNames().size(), 1u);  // found without regard to case

  desk.host().RaiseOn("Database.GlobalValue", 13);
  desk.ui().Clear();
  desk.ui().AddDialogAnswer(R"({"press":"save"})");
  desk.Call("velKLK.CSync", "ConfigAppintmentTypes");
  ASSERT_EQ(desk.Boxes().size(), 2u);
  EXPECT_EQ(desk.Boxes()[0].title, "Fehler in frmTerminTypConfig.Init");
  // Save stays disabled: the refused press ends the command with a report.
  EXPECT_EQ(desk.Boxes()[1].title, "Fehler in CSync.ConfigAppintmentTypes");
  EXPECT_NE(desk.profile().DumpFixture(true, false).find("Telefonat"), std::string::npos);
}

// The type choice of a new appointment needs a list with entries: an empty
// list, an empty value or a single text show no dialog and keep "Termin".
TEST(AppointmentTypes, NoChoiceForAnEmptyOrNonListLookupTable) {
  for (const char* value : {"[]", "\"\"", "\"Besuch\""}) {
    SCOPED_TRACE(value);
    Desk desk(
        {kSampleRecords,
         std::string(R"({"host":{"globals":{"TBKLK_lt_AktivitaetentypTermin":)") + value + "}}}"});
    desk.SetActive("Adressen");
    desk.Position("Adressen", "0000000001");
    EXPECT_FALSE(desk.Call("velKLK.CAppointment", "NewOutlookAppointment").Failed());
    EXPECT_TRUE(Dialogs(desk).empty());
    auto item = desk.outlook().AddItemAsUser(
        "anna@example.com\\Kalender",
        nlohmann::json::parse(
            R"({"class":"appointment","Subject":"Neu","Start":"2026-12-10 10:00:00"})"));
    EXPECT_EQ(desk.Field("Aktivitaeten", Desk::UserProp(*item, "velID"), "Typ"), "Termin");
    EXPECT_TRUE(desk.BoxTexts().empty());
  }
}

TEST(XPFrameGeometry, CaptionInsetGapAndAccessKeyByTheme) {
  bool themed = true;
  XPFrame frame("Frame1", true, [&] { return themed; });
  const auto measure = [](const std::string& text) {
    return TextExtent{static_cast<int>(text.size()) * 7, 14};
  };
  frame.SetCaption("&Adresse && Ort");
  XPFrameGeometry g = frame.Geometry(200, 100, measure);
  EXPECT_EQ(g.text, "Adresse & Ort");
  EXPECT_EQ(g.frame, (DialogRect{0, 7, 200, 93}));
  EXPECT_EQ(g.caption, (DialogRect{9, 0, 91, 14}));
  EXPECT_EQ(g.captionBackground, (DialogRect{7, 0, 95, 14}));
  EXPECT_EQ(g.accessKey, -1);
  themed = false;  // classic: inset 4, gap 1, the access key underlined
  g = frame.Geometry(200, 100, measure);
  EXPECT_EQ(g.captionBackground, (DialogRect{3, 0, 93, 14}));
  EXPECT_EQ(g.accessKey, 0);
  EXPECT_FALSE(XPFrame("F", false, [] { return true; }).Themed());  // no image list

  std::vector<std::string> changes;
  frame.OnChanged([&](const std::string& property) { changes.push_back(property); });
  frame.SetCaption("");
  frame.SetEnabled(false);
  g = frame.Geometry(200, 100, measure);
  EXPECT_EQ(g.text, " ");
  EXPECT_EQ(g.captionBackground.width, 0);  // an unbroken frame, half a line down
  EXPECT_EQ(g.frame.top, 7);
  EXPECT_TRUE(g.disabled);
  EXPECT_EQ(changes, (std::vector<std::string>{"Caption", "Enabled"}));
  std::map<std::string, Variant> bag;
  frame.WriteProperties(bag);
  XPFrame read("Frame1", true, nullptr);
  read.ReadProperties(bag);
  EXPECT_EQ(read.Caption() + (read.Enabled() ? "on" : "off"), "off");
  read.ReadProperties({});  // the defaults
  EXPECT_EQ(read.Caption() + (read.Enabled() ? "on" : "off"), "Frame1on");
  EXPECT_EQ(WithAccessKeys({"OK", "Ordner", "R&D", "ÄÖ"}),
            (std::vector<std::string>{"&OK", "O&rdner", "R&&&D", "ÄÖ"}));
}

// A dialog answered from the command line; without a display the command
// refuses windows with one line.
TEST(VelklkCommand, DialogAnswersOnTheConsoleAndNoWindowsWithoutADisplay) {
  const std::string profile =
      (std::filesystem::temp_directory_path() / ("velklk-dialogs-" + std::to_string(::getpid())))
          .string();
  std::filesystem::remove_all(profile);
  ASSERT_EQ(Velklk({"init", profile}).status, 0);
  const CommandRun run =
      Velklk({"--dialog", R"({"select":"anna.berg@velmora.example\\Aufgaben","press":"ok"})", "-p",
              profile, "call", "velKLK.CSync", "SelectOlTaskPath"});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find(R"({"event":"dialog-closed","name":"frmTaskPath","button":"ok",)"
                         R"("selected":"anna.berg@velmora.example\\Aufgaben","checked":[]})"),
            std::string::npos)
      << run.out;
#ifdef VELKLK_WITH_QT
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) ::unsetenv(name);
  const std::vector<std::string> windows = {
      "--ui", "qt", "-p", profile, "call", "velKLK.CSync", "SelectOlTaskPath"};
  EXPECT_EQ(Velklk(windows).status, 2);
  const std::string errors = Velklk(windows, "", true).out;
  EXPECT_EQ(errors.rfind("velklk: no display for --ui qt", 0), 0u) << errors;
  EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1);
#endif
  std::filesystem::remove_all(profile);
}

}  // namespace
}  // namespace velklk::test
