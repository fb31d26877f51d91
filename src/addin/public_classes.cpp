#include "addin/public_classes.h"

#include "appointments/appointments.h"
#include "contacts/contacts.h"
#include "diagnostics/error_report.h"
#include "dialogs/dialogs.h"
#include "platform/host.h"
#include "platform/outlook.h"
#include "resources/catalogue.h"
#include "session/helpers.h"
#include "session/link_properties.h"
#include "session/shared_state.h"
#include "session/startup.h"
#include "session/trace.h"
#include "tasks/tasks.h"

namespace velklk {
namespace {

constexpr const char* kVelDataFalse = "Calling modAppSync.InitVelData(oApp, False) returns: False!";
constexpr const char* kVelDataTrue = "Calling modAppSync.InitVelData(oApp, True) returns: False!";
constexpr const char* kOutlookFalse = "Calling modAppSync.InitOutlook returns: False!";
constexpr const char* kTablesFalse = "Calling modAppSync.InitTables returns: False!";
constexpr const char* kOldEntriesFalse = "Calling modAppSync.NoOldEntries returns: False!";
constexpr const char* kNoActiveTable = "mAPP.ActiveTable Is Nothing!";
constexpr const char* kActivities = "Aktivitaeten";
constexpr const char* kTasksTable = "WRTM_Tasks";

// The start-up of the traced methods: each step that fails is shown in a box
// titled with the class and method and traced as an intermediate line.
class LoggedStartup {
 public:
  LoggedStartup(const char* component, const char* method)
      : component_(component), method_(method) {}

  void Entry(const std::shared_ptr<HostApplication>& oApp, const std::string& info,
             const std::string& inputValues) const {
    WriteLog(component_, method_, kLogEntry, info, inputValues, "", oApp);
  }
  void Leave(const std::string& outputValues) const {
    WriteLog(component_, method_, kLogLeave, "", "", outputValues);
  }
  void Trace(const std::string& info) const {
    WriteLog(component_, method_, kLogIntermediate, info, "", "");
  }

  bool Step(bool ok, const char* failureText) const {
    if (ok) return true;
    ShowMessage(failureText, component_ + "." + method_, MsgButtons::Ok, MsgIcon::Critical);
    Trace(failureText);
    return false;
  }

  bool VelData(const std::shared_ptr<HostApplication>& oApp, bool bWorkDatabase) const {
    return Step(InitVelData(oApp, bWorkDatabase), bWorkDatabase ? kVelDataTrue : kVelDataFalse);
  }
  // InitOutlook, InitTables and NoOldEntries, stopping at the first failure.
  bool Rest() const {
    return Step(InitOutlook(), kOutlookFalse) && Step(InitTables(), kTablesFalse) &&
           Step(NoOldEntries(), kOldEntriesFalse);
  }

 private:
  std::string component_;
  std::string method_;
};

// The handler of the CSync members that have one: an error is reported under
// "CSync" and the member, and the member returns what its result held then
// (False unless the worker had already succeeded).
template <typename Body>
bool Handled(const char* member, Body&& body) {
  bool result = false;
  try {
    body(result);
  } catch (const AutomationError& e) {
    ReportError("CSync", member, e);
  }
  return result;
}

// The quiet chain of the CSync methods after InitVelData.
bool QuietRest() { return InitOutlook() && InitTables() && NoOldEntries(); }

std::string ActiveTableName() {
  auto table = Need(State().mAPP, "CAppointment").ActiveTable();
  return table ? table->Name() : std::string();
}

}  // namespace

PublicObject::PublicObject() {
  SharedState& s = State();
  s.mErr = std::make_shared<CAddonError>(s.services.errorText, s.services.ui, s.services.language);
}

PublicObject::~PublicObject() { State().mErr.reset(); }

// --- CMenue ------------------------------------------------------------------

void CMenue::UpdateAdresse(std::shared_ptr<HostApplication>& oApp) {
  LoggedStartup log("CMenue", "UpdateAdresse");
  log.Entry(oApp, "Input-parameter: oApp", NothingText(oApp));
  State().sActivityTable = kActivities;
  if (!log.VelData(oApp, false) || !log.Rest()) return;
  Update1ContactSilent(true);
  log.Leave("");
}

void CMenue::UpdateAnsprechpartner(std::shared_ptr<HostApplication>& oApp) {
  LoggedStartup log("CMenue", "UpdateAnsprechpartner");
  log.Entry(oApp, "Input-parameter: oApp", NothingText(oApp));
  State().sActivityTable = kActivities;
  if (!log.VelData(oApp, false) || !log.Rest()) return;
  Update1ContactSilent(false);
  Update1ContactSilent(true);
  log.Leave("");
}

// --- CAppointment ------------------------------------------------------------

void CAppointment::NewOutlookAppointment(std::shared_ptr<HostApplication>& oApp) {
  LoggedStartup log("CAppointment", "NewOutlookAppointment");
  log.Entry(oApp, "Input-parameter: oApp", NothingText(oApp));
  State().sActivityTable = kActivities;
  if (!log.VelData(oApp, false) || !log.Rest()) return;
  auto table = Need(State().mAPP, "CAppointment").ActiveTable();
  if (!table) return;
  NewOutlookAppointment2(table);
  log.Leave("");
}

void CAppointment::FindOutlookAppointment(std::shared_ptr<HostApplication>& oApp) {
  LoggedStartup log("CAppointment", "FindOutlookAppointment");
  log.Entry(oApp, "Input-parameter: oApp", NothingText(oApp));
  if (!log.VelData(oApp, false)) return;
  State().sActivityTable = ActiveTableName();
  if (!log.Rest()) return;
  if (!State().mAPP->ActiveTable()) {
    log.Trace(kNoActiveTable);
    return;
  }
  FindAppointmentOfActivity();
  log.Leave("");
}

void CAppointment::CreateOutlookAppointment(std::shared_ptr<HostApplication>& oApp) {
  LoggedStartup log("CAppointment", "CreateOutlookAppointment");
  log.Entry(oApp, "Input-parameter: oApp", NothingText(oApp));
  if (!log.VelData(oApp, false)) return;
  State().sActivityTable = ActiveTableName();
  if (!log.Rest()) return;
  if (!State().mAPP->ActiveTable()) {
    log.Trace(kNoActiveTable);
    return;
  }
  bool bShowMsg = true;
  CreateAppointmentFromActivity(bShowMsg);
  log.Leave("");
}

// --- CSync -------------------------------------------------------------------

bool CSync::SelectOlContactPath(std::shared_ptr<HostApplication>& oApp) {
  return Handled(".SelectOlContactPath", [&](bool& result) {
    if (InitVelData(oApp, false)) result = SelectOutlookContactPath();
  });
}

bool CSync::SelectOLAppointmentPath(std::shared_ptr<HostApplication>& oApp) {
  return Handled(".SelectOLAppointmentPath", [&](bool& result) {
    if (InitVelData(oApp, false)) result = SelectOutlookAppointmentPath();
  });
}

bool CSync::SelectOlTaskPath(std::shared_ptr<HostApplication>& oApp) {
  return Handled(".SelectOlTaskPath", [&](bool& result) {
    if (InitVelData(oApp, false)) result = SelectOutlookTaskPath();
  });
}

void CSync::ConfigAppintmentTypes(std::shared_ptr<HostApplication>& oApp) {
  Handled(".ConfigAppintmentTypes", [&](bool&) {
    if (!InitVelData(oApp, false)) return;
    auto dialog = CreateFrmTerminTypConfig();
    Need(dialog, "CSync").init();
    Ui().ShowDialog(*dialog);
  });
}

bool CSync::ClearContactsVelSearch(std::shared_ptr<HostApplication>& oApp) {
  return Handled(".ClearContactsVelSearch", [&](bool& result) {
    State().sActivityTable = kActivities;
    if (!InitVelData(oApp, false) || !InitOutlook() || !InitTables()) return;
    result = ClearVelsearchInContacts();
  });
}

bool CSync::AppSync2OL(std::shared_ptr<HostApplication>& oApp, std::string& sOLID,
                       std::string& sOlTable, std::string& sActivityID, std::string& sActivityTable,
                       std::string& sSubjectExpression) {
  return Handled(".AppSync2OL", [&](bool& result) {
    SharedState& s = State();
    s.sOLID = sOLID;
    s.sOlTable = sOlTable;
    s.sActivityID = sActivityID;
    s.sActivityTable = sActivityTable;
    s.sSubjectExpression = sSubjectExpression;
    if (sActivityTable == mLastInitTable) {
      result = AppSyncVelToOl();
      return;
    }
    if (!InitVelData(oApp, true) || !QuietRest()) return;
    result = AppSyncVelToOl();
    if (result) mLastInitTable = sActivityTable;
  });
}

bool CSync::AddressOrContactSync2OL(std::shared_ptr<HostApplication>& oApp, std::string& sOLID,
                                    std::string& sOlTable) {
  // No handler: an error reaches the host.
  LoggedStartup log("CSync", "AddressOrContactSync2OL");
  log.Entry(oApp, "Input-parameter: oApp|sOLID|sOlTable",
            std::string(NothingText(oApp)) + "|" + sOLID + "|" + sOlTable);
  SharedState& s = State();
  s.sOLID = sOLID;
  s.sOlTable = sOlTable;
  bool result = false;
  if (sOlTable == mLastInitTable) {
    result = AddressSyncVelToOl();
  } else {
    if (!log.VelData(oApp, true) || !log.Rest()) return false;
    result = AddressSyncVelToOl();
    if (result) mLastInitTable = sOlTable;
  }
  log.Leave(BoolText(result));
  return result;
}

bool CSync::TaskSync2OL(std::shared_ptr<HostApplication>& oApp, std::string& sOLID,
                        std::string& sOlTable, bool& pbResponsibleGroup) {
  // No handler: an error reaches the host.
  SharedState& s = State();
  s.sOLID = sOLID;
  s.sOlTable = sOlTable;
  s.bResponsibleGroup = pbResponsibleGroup;
  if (sOlTable == mLastInitTable) return TaskSyncVelToOl();
  if (!InitVelData(oApp, true) || !QuietRest()) return false;
  const bool result = TaskSyncVelToOl();
  if (result) mLastInitTable = sOlTable;
  return result;
}

bool CSync::SyncContacts2VEL(std::shared_ptr<HostApplication>& oApp) {
  return Handled(".SyncContacts2VEL", [&](bool& result) {
    State().sActivityTable = kActivities;
    if (!InitVelData(oApp, true) || !QuietRest()) return;
    // The import reports its own failures; the command counts as done.
    SyncNewOLContacts();
    result = true;
  });
}

bool CSync::SyncAppointments2VEL(std::shared_ptr<HostApplication>& oApp, AutoDate& dStartFrom,
                                 AutoDate& dStartTo, bool& bImportAktivitaeten,
                                 bool& bImportCalaTermine) {
  return Handled(".SyncAppointments2VEL", [&](bool& result) {
    SharedState& s = State();
    s.sActivityTable = kActivities;
    s.bImportAktivitaeten = bImportAktivitaeten;
    s.bImportCalaTermine = bImportCalaTermine;
    if (!InitVelData(oApp, true) || !QuietRest()) return;
    result = SyncNewOLAppointments(dStartFrom, dStartTo);
  });
}

bool CSync::SyncTasks2VEL(std::shared_ptr<HostApplication>& oApp, bool& pbResponsibleGroup) {
  return Handled(".SyncTasks2VEL", [&](bool& result) {
    SharedState& s = State();
    s.sActivityTable = kActivities;
    s.bResponsibleGroup = pbResponsibleGroup;
    s.sOlTable = kTasksTable;
    if (!InitVelData(oApp, true) || !QuietRest()) return;
    result = TaskSyncOlToVel();
  });
}

bool CSync::CreateOutlookTask(std::shared_ptr<HostDatabase>& pobjDB, std::string& psID) {
  return Handled(".CreateOutlookTask", [&](bool& result) {
    SharedState& s = State();
    s.sActivityTable = kActivities;
    s.sOlTable = kTasksTable;
    s.sOLID = psID;
    if (!InitDatabase(pobjDB) || !QuietRest()) return;
    for (const auto* table : {&s.mTblAdressen, &s.mTblAnsprechpartner, &s.mTblAdressmerkmale,
                              &s.mTblAnsprechpartnerMerkmale}) {
      HostTable& t = Need(*table, "CSync");
      t.SetLookupOption1(true, kHostOptionOn);
      t.SetLookupOption2(true, kHostOptionOn);
    }
    result = CreateTaskFromTM();
  });
}

// --- Folder choice -----------------------------------------------------------

namespace {

bool SelectFolder(const char* procedure, std::unique_ptr<FolderDialog> (*create)(),
                  bool (*check)()) {
  bool result = false;
  try {
    if (!GetOutlookApplication()) return false;
    SharedState& s = State();
    s.mOlNameSpace = s.mOlApp->GetNamespace("MAPI");
    if (OutlookMajorVersion(s.mOlApp->Version()) < 12) {
      ShowMessage(Msg(3611), kMsgTitle, MsgButtons::Ok, MsgIcon::Exclamation);
      return false;
    }
    {
      std::unique_ptr<FolderDialog> dialog = create();
      Need(dialog, "modAppSync").init(true);
      UserInterface* ui = s.services.ui;
      if (ui == nullptr) RaiseObjectNotSet("modAppSync");
      ui->ShowDialog(*dialog);
    }
    result = check();
  } catch (const AutomationError& e) {
    ReportError("modAppSync", procedure, e);
  }
  return result;
}

}  // namespace

bool SelectOutlookContactPath() {
  return SelectFolder(".SelectOutlookContactPath", &CreateFrmAppointmentPath, &IsValidContactPath);
}

bool SelectOutlookAppointmentPath() {
  return SelectFolder(".SelectOutlookAppointmentPath", &CreateFrmCalPath, &IsValidAppointmentPath);
}

bool SelectOutlookTaskPath() {
  return SelectFolder(".SelectOutlookTaskPath", &CreateFrmTaskPath, &IsValidTaskPath);
}

}  // namespace velklk
