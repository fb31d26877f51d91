// Import from the Outlook tasks folder: tasks entered in Outlook become host
// tasks, completions made in the host reach Outlook, and Outlook tasks whose
// host task is gone are deleted.
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "contacts/contacts.h"
#include "diagnostics/text_helpers.h"
#include "platform/host.h"
#include "platform/outlook.h"
#include "platform/text_case.h"
#include "session/access.h"
#include "session/delete_guard.h"
#include "session/helpers.h"
#include "session/link_properties.h"
#include "session/progress.h"
#include "session/shared_state.h"
#include "tasks/internal.h"
#include "tasks/tasks.h"

namespace velklk {

using namespace tasks;

namespace {

constexpr const char* kGroupFilter = "[PercentComplete] < 100 And [velGroupName] > \"0\"";
constexpr const char* kPersonalFilter = "[PercentComplete] < 100 And Not ([velGroupName] > \"0\")";

enum class Imported { Done, Refused, NoLinkProperties, Failed };

struct LinkedRecord {
  std::string table, id, description;
};

// The address or contact person an Outlook task is linked to, where Outlook
// keeps links and the first link is an exported contact of the contacts
// folder whose record the host has.
std::optional<LinkedRecord> LinkedRecordOf(OlItem& task) {
  if (!OutlookKeepsTaskLinks()) return std::nullopt;
  auto links = Held(task.Links(), kModule);
  if (links->Count() < 1) return std::nullopt;
  // A link whose contact is gone counts as no link, without a word.
  std::shared_ptr<OlItem> contact;
  if (!IgnoreError([&] { contact = Need(links->Item(1), kModule).Item(); }) || !contact ||
      contact->Class() != olclass::kContact)
    return std::nullopt;
  auto folder = contact->Parent();
  if (!folder ||
      !EqualsNoCase(folder->FolderPath(), Need(State().mOlContactFolder, kModule).FolderPath()))
    return std::nullopt;
  if (UserProp(*contact, linkprop::kVelSearch).empty()) return std::nullopt;
  LinkedRecord linked{UserProp(*contact, linkprop::kVelTable), UserProp(*contact, linkprop::kVelID),
                      ""};
  HostTable* table = SameIdentifier(linked.table, "Ansprechpartner") ? &Ansprechpartner()
                     : SameIdentifier(linked.table, "Adressen")      ? &Adressen()
                                                                     : nullptr;
  if (!table) return std::nullopt;
  table->SelectIndex("ID");
  if (!table->Seek(linked.id)) return std::nullopt;
  linked.description = "Adresse: " + TrimRight(EvaluateText(*table, "Name()"));
  if (table == &Ansprechpartner())
    linked.description += ", Ansprechpartner: " + EvaluateText(*table, "NamePerson()");
  return linked;
}

// An Outlook date for the host: 0 for the no-date value, nothing (after a
// message) for a date the host cannot carry.
std::optional<Variant> ImportDate(OlItem& task, const char* property) {
  const AutoDate date = task.Get(property).ToDate();
  if (date.IsNoDate()) return Variant(0);
  if (!IsCarriedDate(date)) {
    ShowInvalidOutlookValue(task, property);
    return std::nullopt;
  }
  return Variant(date);
}

Imported ImportTask(OlItem& task) {
  HostTable& record = TaskTable();
  bool added = false;
  try {
    const SharedState& s = State();
    if (!record.MayAdd()) return Imported::Refused;
    if (!ConfigTaskItem(task)) return Imported::NoLinkProperties;
    const std::string user = UpperCase(CurrentUserName());
    const std::optional<Variant> start = ImportDate(task, "StartDate");
    const std::optional<Variant> due = ImportDate(task, "DueDate");
    const std::optional<Variant> remind = ImportDate(task, "ReminderTime");
    const std::optional<LinkedRecord> linked = LinkedRecordOf(task);
    added = AddRecord(record, [&] {
      SetField(record, "Responsible", Variant(user));
      SetField(record, "CreatedBy", Variant(user));
      SetField(record, "UnRead", Variant(true));
      if (start) SetField(record, "StartDate", *start);
      if (due) SetField(record, "EndDate", *due);
      SetField(record, "Subject", Variant(Prop(task, "Subject")));
      SetField(record, "Description", Variant(Prop(task, "Body")));
      SetField(record, "DoneInPercent", Variant(task.Get("PercentComplete").ToLong()));
      SetField(record, "Importance", Variant(task.Get("Importance").ToLong()));
      SetField(record, "Status",
               Variant(OutlookStatusToVelStatus(task.Get("Status").ToLong(), false)));
      if (remind) SetField(record, "RemindTime", *remind);
      SetField(record, "Remind", Variant(task.Get("ReminderSet").ToBool()));
      SetField(record, "Duration", Variant(task.Get("TotalWork").ToDouble() / 60.0));
      SetField(record, "Version", Variant(0));
      if (linked) {
        SetField(record, "LinkedRecordDescription", Variant(linked->description));
        SetField(record, "LinkedRecordId", Variant(linked->id));
        SetField(record, "LinkedRecordTable", Variant(linked->table));
      }
    });
    if (!added) return Imported::Refused;
    const std::string newId = FieldText(record, "ID");
    SetYesNoProp(task, linkprop::kVelStatus1, false);
    SetUserProp(task, linkprop::kVelTable, s.sOlTable);
    SetUserProp(task, linkprop::kVelID, newId);
    SetUserProp(task, linkprop::kVelSearch, newId + s.sOlTable);
    task.Save();
    added = false;  // linked: the host task stays
    return CreateSyncLogTM(newId) ? Imported::Done : Imported::Failed;
  } catch (const AutomationError& e) {
    // A host task whose Outlook task could not be linked would be imported
    // once more on the next run: it goes again.
    if (added)
      IgnoreError([&] {
        if (record.MayDelete()) record.DeleteCurrent();
      });
    ReportError(kModule, ".CreateVelTask", e);
    return Imported::Failed;
  }
}

// An Outlook task the user entered himself: no link at all, or link
// properties that were added but never filled.
bool IsUnlinked(OlItem& task) {
  return !HasUserProp(task, linkprop::kVelTable) ||
         (UserProp(task, linkprop::kVelID).empty() && UserProp(task, linkprop::kVelSearch).empty());
}

// The link was completed when the task carries the whole key of its host
// task; only such a task may be taken as linked to a host task now gone.
bool LinkCompleted(OlItem& task, const std::string& id) {
  return !id.empty() && SameIdentifier(UserProp(task, linkprop::kVelSearch),
                                       id + UserProp(task, linkprop::kVelTable));
}

// The host task is done: newer Outlook values are taken without reopening
// it, and the Outlook task is completed. False when the host refused the
// record.
bool MirrorCompletion(HostTable& record, OlItem& task) {
  if (CompareTaskModified(record, task) == 1) {
    if (SyncVelTask(task)) return true;
    if (!RefusesEdit(record)) return true;  // an error, reported already
  }
  const bool refused = RefusesEdit(record);
  CompleteOutlookTask(task, record.Field("ModifiziertAm")->Value().ToDate());
  EditRecord(record, [] {});
  task.Save();
  return !refused;
}

}  // namespace

bool CreateVelTask(OlItem& task) { return ImportTask(task) == Imported::Done; }

bool TaskSyncOlToVel() {
  std::vector<std::string> refused;
  try {
    SharedState& s = State();
    HostTable& record = TaskTable();
    record.SelectIndex("ID");
    auto items = PointAtTaskItems();
    // Once Outlook could not take the link properties (offline), the other
    // new tasks wait for the next run instead of failing one by one.
    bool importNew = s.bImportTasks;
    // The open tasks are taken first, so the run knows how many it goes
    // through; the ones whose host task is gone are deleted once all were
    // seen (the guard against mass deletion needs their number first).
    std::vector<std::shared_ptr<OlItem>> open;
    for (auto task = items->Find(s.bResponsibleGroup ? kGroupFilter : kPersonalFilter); task;
         task = items->FindNext())
      open.push_back(std::move(task));
    RunProgress progress(4012, static_cast<long>(open.size()));
    std::vector<std::pair<std::shared_ptr<OlItem>, std::string>> gone;
    std::set<std::string> goneIds;
    for (const auto& task : open) {
      progress.Step();
      if (task->IsDeleted()) continue;
      if (IsUnlinked(*task)) {
        if (!importNew || task->Get("IsRecurring").ToBool()) continue;
        if (task->Get("Sensitivity").ToLong() != kOlNormal && !s.bImportPrivateTasks) continue;
        const Imported imported = ImportTask(*task);
        if (imported == Imported::Refused) refused.push_back(Prop(*task, "Subject"));
        if (imported == Imported::NoLinkProperties) importNew = false;
        continue;
      }
      // A task linked to a record of another table is not ours to judge.
      if (!IsTaskTable(UserProp(*task, linkprop::kVelTable))) continue;
      const std::string id = UserProp(*task, linkprop::kVelID);
      record.SelectIndex("ID");
      if (record.Seek(id)) {
        if (IsDone(record) && !MirrorCompletion(record, *task))
          refused.push_back(Prop(*task, "Subject"));
      } else if (LinkCompleted(*task, id) && !goneIds.count(id) && HasSyncLogEntry(id)) {
        // The host task was deleted; a task this user never had linked, or
        // whose link was never completed, stays.
        gone.emplace_back(task, id);
        goneIds.insert(id);
      }
    }
    if (!gone.empty() &&
        MayDeleteFromFolder(*Held(items->Parent(), kModule), static_cast<long>(gone.size()))) {
      for (const auto& [task, id] : gone) {
        task->Delete();
        DeleteSyncLog(id);
      }
    }
    if (!refused.empty()) ShowRefusedTasks(refused);
    return true;
  } catch (const AutomationError& e) {
    ReportError(kModule, ".TaskSyncOlToVel", e);
    return false;
  }
}

}  // namespace velklk
