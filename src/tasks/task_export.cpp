// Export of host tasks to Outlook: the task the user has in front of him,
// one task by its ID, the Outlook task itself, its contact and its sync-log
// entry.
#include "contacts/contacts.h"
#include "diagnostics/text_helpers.h"
#include "platform/host.h"
#include "platform/outlook.h"
#include "platform/text_case.h"
#include "session/access.h"
#include "session/delete_guard.h"
#include "session/helpers.h"
#include "session/link_properties.h"
#include "session/shared_state.h"
#include "tasks/internal.h"
#include "tasks/tasks.h"

namespace velklk {

using namespace tasks;

namespace {

constexpr const char* kNotFound = "Datensatz wurde nicht gefunden!";

bool IsResponsible(HostTable& record) {
  const std::string user = CurrentUserName();
  const std::string responsible = FieldText(record, "Responsible");
  if (!responsible.empty()) return EqualsNoCase(user, responsible);
  const std::string group = FieldText(record, "ResponsibleGroup");
  auto userGroup = group.empty() ? nullptr : Db().UserGroup(group);
  return userGroup && userGroup->HasMember(user);
}

// The task's contact made available, then its Outlook task looked up;
// mOlitems is left at the tasks folder's items.
std::shared_ptr<OlItem> PrepareAndFind() {
  SharedState& s = State();
  s.mOlTaskContact.reset();
  PointAtContactItems();
  PrepareTaskContact();
  PointAtTaskItems();
  return FindTaskByVelSearch(s.sOLID + s.sOlTable);
}

void ShowLinkProblem(HostTable& record, const std::string& what) {
  ShowMessage("Die Aufgabe (ID)=  '" + FieldText(record, "ID") + "'  " + what +
                  "\r\nSie wird ohne Kontakt übertragen.",
              kMsgTitle, MsgButtons::Ok, MsgIcon::Exclamation);
}

}  // namespace

namespace tasks {

void WriteLinkProperties(OlItem& task, HostTable& record) {
  const SharedState& s = State();
  SetUserProp(task, linkprop::kVelGroupName, FieldText(record, "ResponsibleGroup"));
  SetUserProp(task, linkprop::kVelTable, s.sOlTable);
  SetUserProp(task, linkprop::kVelID, FieldText(record, "ID"));
  SetUserProp(task, linkprop::kVelSearch, s.sOLID + s.sOlTable);
}

}  // namespace tasks

std::shared_ptr<OlItem> FindTaskByVelSearch(const std::string& key) {
  return FindItemByVelSearch(Need(State().mOlitems, kModule), key, olclass::kTask);
}

bool CreateSyncLogTM(const std::string& key) {
  try {
    return AddSyncLogEntry(key, TaskTable().Name(), "");
  } catch (const AutomationError& e) {
    ReportError(kModule, ".CreateSyncLogTM", e);
    return false;
  }
}

void PrepareTaskContact() {
  try {
    SharedState& s = State();
    HostTable& record = TaskTable();
    const std::string linkedTable = FieldText(record, "LinkedRecordTable");
    if (Trim(linkedTable).empty()) return;
    const bool address = SameIdentifier(linkedTable, "Adressen");
    if (!address && !SameIdentifier(linkedTable, "Ansprechpartner")) {
      ShowLinkProblem(record, "ist mit der unbekannten Tabelle '" + linkedTable + "' verknüpft.");
      return;
    }
    HostTable& linked = address ? Adressen() : Ansprechpartner();
    const std::string linkedId = FieldText(record, "LinkedRecordId");
    // The key carries the table's name as the host writes it: the key the
    // contact export writes, whatever case the task record stored.
    const std::string key = linkedId + linked.Name();
    if (!linkedId.empty()) {
      s.mOlTaskContact = FindContactByVelSearch(key);
      if (s.mOlTaskContact) return;
    }
    linked.SelectIndex("ID");
    if (linkedId.empty() || !linked.Seek(linkedId)) {
      ShowLinkProblem(record, "ist mit einem Datensatz verknüpft, der nicht existiert (" +
                                  linkedTable + ", ID '" + linkedId + "').");
      return;
    }
    if (!EnsureVelOutlookFavorit(linked)) return;
    if (!address) {
      auto company = Held(linked.Master(), kModule);
      const std::string addressKey = FieldText(*company, "ID") + company->Name();
      if (!EnsureVelOutlookFavorit(*company)) return;
      if (!EnsureOlContact(addressKey)) return;
      // Positioning the address moved the contact persons.
      linked.SelectIndex("ID");
      linked.Seek(linkedId);
    }
    if (!EnsureOlContact(key)) return;
    s.mOlTaskContact = FindContactByVelSearch(key);
  } catch (const AutomationError& e) {
    ReportError(kModule, ".PrepareTaskContact", e);
  }
}

bool CreateOLTask() {
  try {
    SharedState& s = State();
    HostTable& record = TaskTable();
    // An unsaved new item is dropped with its handle: a task that fails
    // half-way never reaches the folder.
    auto task = Held(Need(s.mOlitems, kModule).Add(OlItemType::Task), kModule);
    if (!ConfigTaskItem(*task)) return false;
    WriteHostValues(*task, record);
    if (s.mOlTaskContact && OutlookKeepsTaskLinks())
      Held(task->Links(), kModule)->Add(s.mOlTaskContact);
    // The group goes with every task that has one, whatever the caller said:
    // the import tells personal and group tasks apart by it.
    WriteLinkProperties(*task, record);
    EditRecord(record, [] {});
    task->Save();
    return true;
  } catch (const AutomationError& e) {
    ReportError(kModule, ".CreateOLTask", e);
    return false;
  }
}

bool CreateTaskFromTM() {
  bool result = false;
  try {
    SharedState& s = State();
    HostTable& record = TaskTable();
    record.SelectIndex("ID");
    if (!record.Seek(s.sOLID)) {
      ShowMessage(kNotFound, kMsgTitle, MsgButtons::Ok, MsgIcon::Exclamation);
      return false;
    }
    if (!IsResponsible(record)) return false;
    // Done (5) and every status above it are not exported from here; a
    // negative one goes out as "not started" with the invalid-value message.
    const Variant status = record.Field("Status")->Value();
    if (status.IsNumeric() && status.ToDouble() > 4) {
      ShowMessage("Es werden nur Aufgaben übertragen, die noch nicht erledigt sind!", kMsgTitle,
                  MsgButtons::Ok, MsgIcon::Exclamation);
      return false;
    }
    s.bResponsibleGroup = !FieldText(record, "ResponsibleGroup").empty();
    if (auto task = PrepareAndFind()) {
      // The newer side wins, so edits made in Outlook are not overwritten.
      result = SyncTask(*task);
    } else {
      // A task the user had deleted in Outlook keeps its sync-log entry: the
      // export has succeeded when the task is there and the entry too.
      result = CreateOLTask() && (HasSyncLogEntry(s.sOLID) || CreateSyncLogTM(s.sOLID));
    }
  } catch (const AutomationError& e) {
    ReportError(kModule, ".CreateTaskFromTM", e);
  }
  return result;
}

bool TaskSyncVelToOl() {
  bool result = false;
  try {
    SharedState& s = State();
    HostTable& record = TaskTable();
    if (!IsTaskTable(s.sOlTable)) {
      ShowMessage("Die Tabelle '" + s.sOlTable +
                      "' ist keine Aufgabentabelle; Aufgaben werden aus '" + record.Name() +
                      "' übertragen.",
                  kMsgTitle, MsgButtons::Ok, MsgIcon::Exclamation);
      return false;
    }
    record.SelectIndex("ID");
    if (!record.Seek(s.sOLID)) {
      ShowMessage(kNotFound, "", MsgButtons::Ok, MsgIcon::None);
      return false;
    }
    const std::string createdBy = FieldText(record, "CreatedBy");
    // A task of a group stays in the host whatever the caller said: one
    // member removing it from a (perhaps shared) tasks folder does not end
    // it for the others.
    const bool groupTask =
        s.bResponsibleGroup || !Trim(FieldText(record, "ResponsibleGroup")).empty();
    if (auto task = PrepareAndFind()) return result = SyncTask(*task);

    if (!HasSyncLogEntry(s.sOLID)) return result = CreateOLTask() && CreateSyncLogTM(s.sOLID);
    // Exported before and deleted in Outlook since.
    if (!EqualsNoCase(CurrentUserName(), createdBy)) return result = CreateOLTask();
    if (s.bDeleteTasks && !groupTask) {
      if (!record.MayDelete()) {
        ShowMessage("Die Aufgabe (ID)=  '" + FieldText(record, "ID") +
                        "'  wurde in Outlook gelöscht, darf in Velmora aber nicht gelöscht werden.",
                    kMsgTitle, MsgButtons::Ok, MsgIcon::Exclamation);
        return false;
      }
      if (!MayDeleteFromTable(record, 1)) return result = true;
      record.DeleteCurrent();
      DeleteSyncLog(s.sOLID);
    }
    result = true;
  } catch (const AutomationError& e) {
    ReportError(kModule, ".TaskSyncVelToOl", e);
  }
  return result;
}

}  // namespace velklk
