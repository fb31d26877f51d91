// A host task and its Outlook task brought in step: the newer side is
// copied over the older one.
#include "contacts/contacts.h"
#include "platform/host.h"
#include "platform/outlook.h"
#include "platform/text_case.h"
#include "session/access.h"
#include "session/helpers.h"
#include "session/link_properties.h"
#include "session/shared_state.h"
#include "tasks/internal.h"
#include "tasks/tasks.h"

namespace velklk {

using namespace tasks;

namespace {

bool SameSecond(AutoDate a, AutoDate b) { return a.Seconds() == b.Seconds(); }

// What becomes of a host date field from its Outlook date: kept when the
// Outlook date is what the export writes for the field as it stands (or a
// date the host cannot carry, which is shown), else cleared for the no-date
// value or set.
struct DateTake {
  enum { Keep, Clear, Set } action = Keep;
  AutoDate date;
};

DateTake TakeDate(OlItem& task, const char* property, HostTable& record, const char* field) {
  DateTake take;
  take.date = task.Get(property).ToDate();
  bool valid = true;
  if (SameSecond(ExportDate(record.Field(field)->Value(), valid), take.date)) return take;
  if (take.date.IsNoDate()) {
    take.action = DateTake::Clear;
  } else if (!IsCarriedDate(take.date)) {
    ShowInvalidOutlookValue(task, property);
  } else {
    take.action = DateTake::Set;
  }
  return take;
}

void Apply(HostTable& record, const char* field, const DateTake& take) {
  if (take.action == DateTake::Clear) SetField(record, field, Variant(0));
  if (take.action == DateTake::Set) SetField(record, field, Variant(take.date));
}

}  // namespace

namespace tasks {

bool RefusesEdit(HostTable& record) {
  bool mayEdit = true;
  IgnoreError([&] { mayEdit = record.MayEdit(); });
  return !mayEdit;
}

}  // namespace tasks

int CompareTaskModified(HostTable& table, OlItem& task) {
  const AutoDate hostTime = table.Field("ModifiziertAm")->Value().ToDate();
  const AutoDate olTime = task.Get("LastModificationTime").ToDate();
  return CompareModifiedTimes(hostTime, olTime, kToleranceSeconds);
}

bool SyncTask(OlItem& task) {
  try {
    HostTable& record = TaskTable();
    const int r = CompareTaskModified(record, task);
    if (r == 1) {
      const std::optional<bool> taken = SyncVelTask(task);
      if (!taken && RefusesEdit(record)) {
        ShowMessage("Die Aufgabe (ID)=  '" + FieldText(record, "ID") +
                        "'  darf in Velmora nicht geändert werden.\r\nDie Änderungen aus Outlook "
                        "wurden nicht übernommen.",
                    kMsgTitle, MsgButtons::Ok, MsgIcon::Exclamation);
      }
      // Nothing written counts as failure.
      return taken.value_or(false);
    }
    if (r == 2) return SyncOLTask(task);
    return true;
  } catch (const AutomationError& e) {
    ReportError(kModule, ".SyncTask", e);
    return false;
  }
}

bool SyncOLTask(OlItem& task) {
  try {
    SharedState& s = State();
    HostTable& record = TaskTable();
    if (!ConfigTaskItem(task)) return false;
    WriteHostValues(task, record);
    if (s.mOlTaskContact && OutlookKeepsTaskLinks()) {
      auto links = Held(task.Links(), kModule);
      for (int i = links->Count(); i > 0; --i) links->Remove(1);
      links->Add(s.mOlTaskContact);
    }
    WriteLinkProperties(task, record);
    EditRecord(record, [] {});
    task.Save();
    return true;
  } catch (const AutomationError& e) {
    ReportError(kModule, ".SyncOLTask", e);
    return false;
  }
}

std::optional<bool> SyncVelTask(OlItem& task) {
  try {
    HostTable& record = TaskTable();
    if (RefusesEdit(record)) return std::nullopt;

    // Where the export could not carry the host value (a status 1 or one
    // outside 0 to 5, an effort of 0.999 hours or one that is not a number,
    // a date Outlook cannot hold), an Outlook value equal to what the export
    // wrote for it is the export's echo: the host keeps its own value. Every
    // other value is taken as Outlook has it.
    const DateTake start = TakeDate(task, "StartDate", record, "StartDate");
    const DateTake due = TakeDate(task, "DueDate", record, "EndDate");
    const DateTake remind = TakeDate(task, "ReminderTime", record, "RemindTime");
    const std::string subject = Prop(task, "Subject");
    const std::string body = Prop(task, "Body");
    const long long importance = task.Get("Importance").ToLong();
    const bool reminderSet = task.Get("ReminderSet").ToBool();
    const long long minutes = task.Get("TotalWork").ToLong();
    const long long olStatus = task.Get("Status").ToLong();
    const bool velStatus1 = YesNoProp(task, linkprop::kVelStatus1);
    const long long percent = task.Get("PercentComplete").ToLong();
    const std::string user = UpperCase(CurrentUserName());

    const Completion exported =
        ExportCompletion(record.Field("Status")->Value(), record.Field("DoneInPercent")->Value());
    // A task done in the host is not reopened by an Outlook task that never
    // showed the completion: the host keeps it done and Outlook follows.
    const bool keepDone = IsDone(record) && olStatus != kOlCompleted;
    long long hostStatus = 0;
    const bool lossyStatus =
        !exported.complete &&
        (!ValidStatus(record.Field("Status")->Value(), hostStatus) || hostStatus == 1);
    const bool statusEcho =
        lossyStatus && olStatus == exported.olStatus && velStatus1 == exported.velStatus1;
    const bool takeStatus = !keepDone && !statusEcho;
    const bool takePercent = !keepDone;
    bool valid = true;
    const bool takeMinutes = minutes != ExportMinutes(record.Field("Duration")->Value(), valid);
    const long long version = record.Field("Version")->Value().ToLong();
    const AutoDate hostModified = record.Field("ModifiziertAm")->Value().ToDate();

    const bool written = EditRecord(record, [&] {
      Apply(record, "StartDate", start);
      Apply(record, "EndDate", due);
      if (subject != FieldText(record, "Subject")) SetField(record, "Subject", Variant(subject));
      if (body != FieldText(record, "Description")) SetField(record, "Description", Variant(body));
      if (importance != record.Field("Importance")->Value().ToLong())
        SetField(record, "Importance", Variant(importance));
      if (takeStatus) {
        SetField(record, "Status", Variant(OutlookStatusToVelStatus(olStatus, velStatus1)));
        if (olStatus == kOlCompleted) SetField(record, "DoneBy", Variant(user));
      }
      if (takePercent && percent != record.Field("DoneInPercent")->Value().ToLong())
        SetField(record, "DoneInPercent", Variant(percent));
      Apply(record, "RemindTime", remind);
      if (reminderSet != record.Field("Remind")->Value().ToBool())
        SetField(record, "Remind", Variant(reminderSet));
      if (takeMinutes) SetField(record, "Duration", Variant(static_cast<double>(minutes) / 60.0));
      SetField(record, "Version", Variant(version + 1));
    });
    if (!written) return std::nullopt;
    if (keepDone) CompleteOutlookTask(task, hostModified);
    task.Save();
    return true;
  } catch (const AutomationError& e) {
    ReportError(kModule, ".SyncVelTask", e);
    return std::nullopt;
  }
}

}  // namespace velklk
