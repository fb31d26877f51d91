// Host side of the start-up: application and database handles, the host
// tables, the settings and the global variables of the shared state.
#include <set>

#include "diagnostics/error_report.h"
#include "diagnostics/text_helpers.h"
#include "platform/host.h"
#include "platform/text_case.h"
#include "session/access.h"
#include "session/helpers.h"
#include "session/shared_state.h"
#include "session/startup.h"
#include "session/trace.h"

namespace velklk {
namespace {

constexpr const char* kModule = "modAppSync";
// Attribute bit of the host database that forbids a separate working object.
constexpr std::uint32_t kNoWorkingDatabase = 0x10000u;

bool ReadBoolSetting(const char* key, const char* defaultValue) {
  return ToBoolean(Variant(ReadPrivateSetting(key, defaultValue)));
}

// Sets `flag` when the global variable names a field of the table; never
// clears it.
void CheckFieldVariable(HostDatabase& db, const std::string& variable, const std::string& tableName,
                        bool& flag) {
  if (!db.GlobalExists(variable)) return;
  Variant value = db.GlobalValue(variable);
  if (value.ToText().empty()) return;
  if (FieldExists(tableName, value)) flag = true;
}

}  // namespace

bool InitVelData(const std::shared_ptr<HostApplication>& oApp, bool bWorkDatabase) {
  WriteLog(kModule, "InitVelData", kLogEntry, "Input-parameter: oApp|InitVelData",
           std::string(NothingText(oApp)) + "|" + BoolText(bWorkDatabase), "", oApp);
  SharedState& s = State();
  bool result = false;
  try {
    if (!s.mAPP) s.mAPP = oApp;
    if (!s.mAppDB) s.mAppDB = Need(s.mAPP, kModule).Database();
    s.nIdLength = Need(s.mAppDB, kModule).Table("Adressen")->Field("ID")->Size();
    if (bWorkDatabase) {
      // A host that cannot give a second object leaves the shared one in use.
      IgnoreError([&] {
        if ((s.mAppDB->AttributeFlags() & kNoWorkingDatabase) == 0) {
          auto working = s.mAppDB->OpenWorkingDatabase(0);
          if (working) s.mDB = working;
        }
      });
    }
    if (!s.mDB) s.mDB = s.mAppDB;
    result = true;
    WriteLog(kModule, "InitVelData", kLogLeave, "", "", "True");
  } catch (const AutomationError& e) {
    WriteLog(kModule, "InitVelData", kLogErrHandler, e.Description(), "", "");
    ReportError(kModule, ".InitVelData", e);
  }
  return result;
}

bool InitDatabase(const std::shared_ptr<HostDatabase>& pobjDB) {
  SharedState& s = State();
  bool result = false;
  try {
    if (!s.mAppDB) s.mAppDB = pobjDB;
    s.nIdLength = Need(s.mAppDB, kModule).Table("Adressen")->Field("ID")->Size();
    if (!s.mDB) s.mDB = s.mAppDB;
    result = true;
  } catch (const AutomationError& e) {
    ReportError(kModule, ".InitDatabase", e);
  }
  return result;
}

std::string ReadPrivateSetting(const std::string& key, const std::string& defaultValue) {
  std::shared_ptr<HostSettings> store;
  std::string shortKey;
  try {
    auto user = Need(State().mDB, "GlobalDef").CurrentUser();
    store = Need(user, "GlobalDef").Settings();
    Need(store, "GlobalDef");
    shortKey = key.substr(0, 30);
  } catch (const AutomationError& e) {
    throw AutomationError(e.Number(), "GlobalDef.ReadPrivateSetting", e.Description());
  }
  // From here on a failing store reads as a missing key.
  bool exists = false;
  IgnoreError([&] { exists = store->Exists(shortKey); });
  if (exists) {
    std::string value;
    IgnoreError([&] { value = store->Value(shortKey).ToText(); });
    return value;
  }
  return defaultValue;
}

bool TableAdressIsMaster(const std::string& sTable) {
  if (sTable.empty()) return false;
  try {
    HostDatabase& db = Need(State().mDB, kModule);
    auto table = db.Table(sTable);
    std::set<std::string> seen;
    while (Need(table, kModule).HasMaster()) {
      // A master chain that comes back to a table it passed is a broken
      // schema; without this guard the walk would never end.
      if (!seen.insert(table->Name()).second) {
        throw AutomationError(err::kInvalidProcedureCall, kModule,
                              "Master-Tabellen bilden einen Kreis: " + table->Name());
      }
      auto master = table->Master();
      table = db.Table(Need(master, kModule).Name());
    }
    return SameIdentifier(table->Name(), "Adressen");
  } catch (const AutomationError& e) {
    ReportError(kModule, ".TableAdressIsMaster", e);
    return false;
  }
}

bool InitTables() {
  WriteLog(kModule, "InitTables", kLogEntry, "", "", "");
  SharedState& s = State();
  bool result = false;
  try {
    s.bAdressIsMaster = TableAdressIsMaster(s.sActivityTable);

    HostDatabase& db = Need(s.mDB, kModule);
    const std::string activityTable = s.sActivityTable.empty() ? "Aktivitaeten" : s.sActivityTable;
    s.mTblAdressen = db.Table("Adressen");
    s.mTblAnsprechpartner = db.Table("Ansprechpartner");
    s.mTblAdressmerkmale = db.Table("Adressmerkmale");
    s.mTblAnsprechpartnerMerkmale = db.Table("AnsprechpartnerMerkmale");
    s.mTblVorgaenge = db.Table("Vorgaenge");
    s.mTblAktivitaeten = db.Table(activityTable);
    s.mTblTermine = db.Table("calA_Termine");
    s.mTblTeilnehmer = db.Table("calA_Teilnehmer");
    s.mTblSyncLog = db.Table("TBKLK_SyncLog");
    s.mTblTasks = db.Table("WRTM_Tasks");

    s.bImportPrivateContacts = ReadBoolSetting(setting::kImportPrivateContacts, "False");
    s.bDeleteActivities = ReadBoolSetting(setting::kDeleteActivities, "False");
    s.bDeleteTasks = ReadBoolSetting(setting::kDeleteTasks, "False");
    s.bImportTasks = ReadBoolSetting(setting::kImportTasks, "False");
    s.bImportPrivateTasks = ReadBoolSetting(setting::kImportPrivateTasks, "False");
    s.bExportContactBirthdate = ReadBoolSetting(setting::kExportContactBirthdate, "True");
    s.bExportNoAddressLink = ReadBoolSetting(setting::kExportNoAddressLink, "False");

    if (FieldExists("Ansprechpartner", Variant("Email2"))) s.bAPEmail2 = true;
    if (FieldExists("Ansprechpartner", Variant("Strasse")) &&
        FieldExists("Ansprechpartner", Variant("PLZ")) &&
        FieldExists("Ansprechpartner", Variant("Ort")) &&
        FieldExists("Ansprechpartner", Variant("Land"))) {
      s.bAPPrivatAdresse = true;
    }

    s.sAktivitaetenBetreff =
        ReadPrivateSetting(setting::kAktivitaetenBetreff, setting::kDefaultAktivitaetenBetreff);
    s.sVorgang = ReadPrivateSetting(setting::kVorgang, setting::kDefaultVorgang);

    s.sMerkmalgruppe = db.GlobalExists("TBKLK_g_Merkmalgruppe")
                           ? db.GlobalValue("TBKLK_g_Merkmalgruppe").ToText()
                           : std::string("Kestrelink");
    CheckFieldVariable(db, "TBKLK_g_AdressenFeld1", "Adressen", s.bAdressenFeld1);
    CheckFieldVariable(db, "TBKLK_g_AdressenFeld2", "Adressen", s.bAdressenFeld2);
    CheckFieldVariable(db, "TBKLK_g_AdressenFeld3", "Adressen", s.bAdressenFeld3);
    CheckFieldVariable(db, "TBKLK_g_AnsprechpartnerFeld1", "Ansprechpartner",
                       s.bAnsprechpartnerFeld1);
    CheckFieldVariable(db, "TBKLK_g_AnsprechpartnerFeld2", "Ansprechpartner",
                       s.bAnsprechpartnerFeld2);
    CheckFieldVariable(db, "TBKLK_g_AnsprechpartnerFeld3", "Ansprechpartner",
                       s.bAnsprechpartnerFeld3);
    CheckFieldVariable(db, "TBKLK_g_AktivitaetenFeld1", s.mTblAktivitaeten->Name(),
                       s.bAktivitaetenFeld1);

    result = true;
    WriteLog(kModule, "InitTables", kLogLeave, "", "", "True");
  } catch (const AutomationError& e) {
    WriteLog(kModule, "InitTables", kLogErrHandler, e.Description(), "", "");
    ReportError(kModule, ".InitTables", e);
  }
  return result;
}

}  // namespace velklk
