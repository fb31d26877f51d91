// The host side of the start-up (handles, tables, settings, global
// variables), the error reporter's messages and the workers that are not
// built yet, on a desk in memory.
#include <gtest/gtest.h>

#include "components/error_text.h"
#include "platform/host.h"
#include "session/link_properties.h"
#include "session/startup.h"
#include "support/desk.h"

namespace velklk::test {
namespace {

TEST(HostStartup, SettingsAreReadWithTheirDefaults) {
  Desk desk;
  desk.SetSetting("TBKLK_ImportTasks", "wahr");
  desk.SetSetting("TBKLK_ImportPrivateTasks", "1");
  desk.SetSetting("TBKLK_DeleteTasks", "-1");
  desk.SetSetting("TBKLK_ExportContactBirthdate", "False");
  desk.SetSetting("TBKLK_Vorgang", "");
  // Keys are looked up by their first 30 characters.
  desk.SetSetting("TBKLK_ABCDEFGHIJKLMNOPQRSTUVWX", "lang");
  ASSERT_TRUE(InitVelData(desk.host().Application(), false));
  ASSERT_TRUE(InitTables());
  SharedState& s = desk.state();
  EXPECT_TRUE(s.bImportTasks);
  EXPECT_FALSE(s.bImportPrivateTasks);
  EXPECT_TRUE(s.bDeleteTasks);
  EXPECT_FALSE(s.bExportContactBirthdate);
  EXPECT_FALSE(s.bImportPrivateContacts);
  EXPECT_EQ(s.sVorgang, "");  // stored empty: empty, not the default
  EXPECT_EQ(s.sAktivitaetenBetreff, "\"\"");
  EXPECT_EQ(s.sMerkmalgruppe, "Kestrelink");
  EXPECT_EQ(ReadPrivateSetting("TBKLK_ABCDEFGHIJKLMNOPQRSTUVWXYZ", "x"), "lang");
  EXPECT_EQ(ReadPrivateSetting("TBKLK_ImportStandardtyp", "Termin"), "Termin");
  EXPECT_EQ(s.mTblAktivitaeten->Name(), "Aktivitaeten");
  EXPECT_TRUE(s.bAPEmail2);
  EXPECT_TRUE(s.bAPPrivatAdresse);
  EXPECT_FALSE(s.bAdressIsMaster);  // no activity table named
  EXPECT_TRUE(desk.Boxes().empty());
}

TEST(HostStartup, GlobalVariablesNameFieldsAndTheFeatureGroup) {
  Desk desk(R"({"host":{
    "globals":{"TBKLK_g_Merkmalgruppe":"", "TBKLK_g_AdressenFeld1":"referenz",
               "TBKLK_g_AdressenFeld2":"Gibtsnicht", "TBKLK_g_AnsprechpartnerFeld3":"Abteilung",
               "TBKLK_g_AktivitaetenFeld1":"Absender"},
    "schema":{"Ansprechpartner":{"drop":["Email2","Land"]}}}})");
  SharedState& s = desk.state();
  s.sActivityTable = "calA_Termine";
  ASSERT_TRUE(InitVelData(desk.host().Application(), false));
  ASSERT_TRUE(InitTables());
  EXPECT_EQ(s.sMerkmalgruppe, "");
  EXPECT_TRUE(s.bAdressenFeld1);
  EXPECT_FALSE(s.bAdressenFeld2);
  EXPECT_FALSE(s.bAdressenFeld3);
  EXPECT_TRUE(s.bAnsprechpartnerFeld3);
  EXPECT_TRUE(s.bAktivitaetenFeld1);  // "calA_Termine" has the field
  EXPECT_EQ(s.mTblAktivitaeten->Name(), "calA_Termine");
  EXPECT_FALSE(s.bAPEmail2);
  EXPECT_FALSE(s.bAPPrivatAdresse);
  EXPECT_FALSE(s.bAdressIsMaster);

  // Activities hang below processes below addresses.
  s.sActivityTable = "Aktivitaeten";
  ASSERT_TRUE(InitTables());
  EXPECT_TRUE(s.bAdressIsMaster);
  // A field flag once set stays set.
  EXPECT_TRUE(s.bAktivitaetenFeld1);
}

TEST(HostStartup, AMissingTableMakesInitTablesFail) {
  Desk desk;
  desk.state().sActivityTable = "Gibtsnicht";
  ASSERT_TRUE(InitVelData(desk.host().Application(), false));
  auto sync = desk.Create("velKLK.CSync");  // brings the error reporter
  EXPECT_FALSE(InitTables());
  const auto boxes = desk.BoxLines();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].rfind("Fehler in modAppSync.TableAdressIsMaster | ", 0), 0u);
  EXPECT_EQ(boxes[1].rfind("Fehler in modAppSync.InitTables | exclamation | ", 0), 0u);
}

TEST(HostStartup, Error91FromInitTablesIsShownWithItsPlace) {
  Desk desk;
  auto sync = desk.Create("velKLK.CSync");
  // No InitVelData: there is no database to open the tables from.
  EXPECT_FALSE(InitTables());
  EXPECT_EQ(desk.BoxLines(),
            std::vector<std::string>{"Fehler in modAppSync.InitTables | exclamation | ok | 1 | "
                                     "Fehler &H5B in modAppSync\\r\\n" +
                                     TableErrorText().ErrorText(91, "de")});
  // Without an application object the log writes nothing.
  EXPECT_TRUE(desk.LogLines().empty());

  // Without any instance there is no error reporter: the error reaches the
  // caller.
  sync.reset();
  EXPECT_THROW(InitTables(), AutomationError);
}

TEST(HostStartup, TheFirstApplicationAndDatabaseAreKept) {
  Desk desk;
  auto other = Profile::InMemory();
  SharedState& s = desk.state();
  ASSERT_TRUE(InitVelData(desk.host().Application(), true));
  auto first = s.mAPP;
  auto firstDb = s.mAppDB;
  // A separate working object when the host allows it.
  EXPECT_NE(s.mDB, s.mAppDB);
  ASSERT_TRUE(InitVelData(other->Host().Application(), false));
  EXPECT_EQ(s.mAPP, first);
  EXPECT_EQ(s.mAppDB, firstDb);

  Desk forbidden;
  forbidden.host().SetAttributeFlags(0x10000);
  ASSERT_TRUE(InitVelData(forbidden.host().Application(), true));
  EXPECT_EQ(forbidden.state().mDB, forbidden.state().mAppDB);
}

TEST(Workers, TheAppointmentCommandsNeedAnActiveTable) {
  Desk desk;
  auto find = desk.Call("velKLK.CAppointment", "FindOutlookAppointment");
  ASSERT_FALSE(find.Failed()) << find.error->Description();
  const auto lines = desk.LogLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(),
            "CAppointment, FindOutlookAppointment, Intermediate, mAPP.ActiveTable Is Nothing!, , ");
  EXPECT_TRUE(desk.Boxes().empty());

  // NewOutlookAppointment ends without a word.
  auto fresh = desk.Call("velKLK.CAppointment", "NewOutlookAppointment");
  ASSERT_FALSE(fresh.Failed());
  EXPECT_EQ(desk.LogLines().back().rfind("modAppSync, NoOldEntries, Leave", 0), 0u);
}

TEST(Workers, FolderChoiceNeedsARunningOutlook) {
  Desk desk(R"({"outlook":{"running":false}})");
  auto outcome = desk.Call("velKLK.CSync", "SelectOLAppointmentPath");
  ASSERT_FALSE(outcome.Failed());
  EXPECT_EQ(outcome.value, Variant(false));
  EXPECT_EQ(desk.BoxTexts(), (std::vector<std::string>{"Starten Sie bitte zuerst Outlook!"}));
}

TEST(Workers, TheCheckAfterTheFolderDialogReadsTheSettingAgain) {
  Desk desk;
  ASSERT_TRUE(InitVelData(desk.host().Application(), false));
  desk.state().mOlNameSpace = desk.outlook().Application()->GetNamespace("MAPI");
  EXPECT_TRUE(IsValidContactPath());
  EXPECT_EQ(desk.state().mOlContactFolder->Name(), "Kontakte");
  EXPECT_TRUE(IsValidAppointmentPath());  // the calendar path is not resolved here
  desk.SetSetting("PREXOLCalPath", "gibt\\es\\nicht");
  EXPECT_TRUE(IsValidAppointmentPath());
  desk.SetSetting("PREXOLTaskPath", "anna@example.com\\Fehlt");
  EXPECT_FALSE(IsValidTaskPath());
  desk.RemoveSetting("PREXOLContactPath");
  EXPECT_FALSE(IsValidContactPath());
  const auto boxes = desk.Boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].title, "Einstellungen überprüfen");
  EXPECT_EQ(boxes[0].buttons, MsgButtons::Ok);
  EXPECT_NE(boxes[0].text.find("Ordner für Aufgaben konnte"), std::string::npos);
  EXPECT_EQ(boxes[1].text.rfind("Der Ordner, in dem die Kontakte", 0), 0u);
}

TEST(LateBinding, ArgumentsComeBackAsTheParameterTypes) {
  Desk desk(kSampleRecords);
  auto sync = desk.Create("velKLK.CSync");
  const Variant app(std::shared_ptr<AutomationObject>(desk.host().Application()));
  std::vector<Variant> args{app,       Variant(1),          Variant("Adressen"),
                            Variant(), Variant("Adressen"), Variant(2.5)};
  Invoke(*sync, "AppSync2OL", args);
  ASSERT_EQ(args.size(), 6u);
  EXPECT_TRUE(args[0].As<HostApplication>());
  EXPECT_EQ(args[1], Variant("1"));  // a number passed for a String parameter
  EXPECT_EQ(args[3], Variant(""));
  EXPECT_EQ(args[5], Variant("2.5"));
  EXPECT_EQ(desk.state().sOLID, "1");

  std::vector<Variant> tasks{app, Variant(-1)};
  EXPECT_EQ(Invoke(*sync, 0x6003000A, tasks), Variant(true));
  EXPECT_EQ(tasks[1], Variant(true));  // -1 passed for a Boolean parameter
  EXPECT_TRUE(desk.state().bResponsibleGroup);
}

}  // namespace
}  // namespace velklk::test
