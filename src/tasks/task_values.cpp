// The values of a task on both sides: status and effort conversions, dates
// and their no-date value, and the messages about values that cannot cross.
#include <cmath>
#include <cstdint>
#include <limits>

#include "diagnostics/text_helpers.h"
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

int VelStatusToOutlookStatus(long long status, bool& velStatus1) {
  velStatus1 = status == 1;
  switch (status) {
    case 2:
      return 1;  // in progress
    case 3:
      return 3;  // waiting
    case 4:
      return 4;  // deferred
    case 5:
      return 2;  // completed
    default:
      return 0;  // not started
  }
}

int OutlookStatusToVelStatus(long long status, bool velStatus1) {
  switch (status) {
    case 0:
      return velStatus1 ? 1 : 0;
    case 1:
      return 2;
    case 2:
      return 5;
    case 3:
      return 3;
    case 4:
      return 4;
    default:
      return 0;
  }
}

long long HoursToMinutes(double hours) {
  const double whole = std::floor(hours);
  // The fraction's minutes are floored too; a hair added first keeps a
  // fraction written in decimals (1.15 hours) from losing a minute to its
  // binary representation.
  const double minutes = std::floor((hours - whole) * 60.0 + 1e-9);
  return static_cast<long long>(whole) * 60 + static_cast<long long>(minutes);
}

namespace tasks {
namespace {

const AutoDate kFirstDate = AutoDate::FromParts(1900, 1, 1);
const AutoDate kAfterLastDate = AutoDate::FromParts(4501, 1, 1);

bool InCarriedRange(AutoDate d) { return d >= kFirstDate && d < kAfterLastDate; }

// The Outlook property and the host field each host value goes to.
void SetDate(OlItem& task, const char* property, HostTable& record, const char* field,
             const std::string& id) {
  bool valid = true;
  const AutoDate date = ExportDate(record.Field(field)->Value(), valid);
  if (!valid) ShowInvalidHostValue(id, field);
  task.Set(property, Variant(date));
}

}  // namespace

HostTable& TaskTable() { return Need(State().mTblTasks, kModule); }

std::shared_ptr<OlItems> PointAtTaskItems() {
  SharedState& s = State();
  s.mOlitems = Need(s.mOlTaskFolder, kModule).Items();
  return Held(s.mOlitems, kModule);
}

std::shared_ptr<OlItems> PointAtContactItems() {
  SharedState& s = State();
  s.mOlitems = Need(s.mOlContactFolder, kModule).Items();
  return Held(s.mOlitems, kModule);
}

bool OutlookKeepsTaskLinks() {
  return IdentifierKey(Need(State().mOlApp, kModule).Version()) < "15.";
}

bool IsTaskTable(const std::string& name) { return SameIdentifier(name, TaskTable().Name()); }

bool ValidStatus(const Variant& status, long long& value) {
  value = 0;
  if (status.IsEmpty() || status.IsNull()) return true;
  if (!status.IsNumeric()) return false;
  const double d = status.ToDouble();
  if (d != std::floor(d) || d < 0 || d > 5) return false;
  value = static_cast<long long>(d);
  return true;
}

bool IsDone(HostTable& record) {
  long long status = 0;
  return ValidStatus(record.Field("Status")->Value(), status) && status == kDone;
}

bool YesNoProp(OlItem& item, const char* name) {
  auto props = item.UserProperties();
  auto prop = props ? props->Find(name) : nullptr;
  if (!prop) return false;
  const Variant v = prop->Value();
  return !v.IsObject() && !v.IsList() && v.ToBool();
}

void SetYesNoProp(OlItem& item, const char* name, bool value) {
  auto props = Held(item.UserProperties(), kModule);
  auto prop = props->Find(name);
  if (!prop) prop = props->Add(name, OlUserPropertyType::YesNo);
  Need(prop, kModule).SetValue(Variant(value));
}

AutoDate ExportDate(const Variant& hostDate, bool& valid) {
  valid = true;
  if (hostDate.IsEmpty() || hostDate.IsNull() || (hostDate.IsText() && hostDate.ToText().empty()))
    return kNoDate;
  AutoDate date;
  if (!IgnoreError([&] { date = hostDate.ToDate(); })) {
    valid = false;
    return kNoDate;
  }
  if (date.Value() == 0.0) return kNoDate;
  if (!InCarriedRange(date)) {
    valid = false;
    return kNoDate;
  }
  return date;
}

long long ExportMinutes(const Variant& hours, bool& valid) {
  valid = true;
  if (hours.IsEmpty() || hours.IsNull() || (hours.IsText() && Trim(hours.ToText()).empty()))
    return 0;
  const double h = hours.IsNumeric() ? hours.ToDouble() : std::nan("");
  // Outlook keeps the total work in a 32-bit number of minutes.
  constexpr double kLimit = std::numeric_limits<std::int32_t>::max() / 60.0;
  if (!std::isfinite(h) || std::fabs(h) >= kLimit) {
    valid = false;
    return 0;
  }
  return HoursToMinutes(h);
}

bool IsCarriedDate(AutoDate outlookDate) {
  return outlookDate.IsNoDate() || InCarriedRange(outlookDate);
}

Completion ExportCompletion(const Variant& status, const Variant& doneInPercent) {
  Completion c;
  long long hostStatus = 0;
  c.statusValid = ValidStatus(status, hostStatus);
  const long long percent = doneInPercent.ToLong();
  // A task done in the host, or done to the last percent, is completed in
  // Outlook.
  c.complete = percent == 100 || hostStatus == kDone;
  if (c.complete) {
    c.olStatus = kOlCompleted;
    c.percent = 100;
  } else {
    c.olStatus = VelStatusToOutlookStatus(hostStatus, c.velStatus1);
    c.percent = percent;
  }
  return c;
}

void CompleteOutlookTask(OlItem& task, AutoDate completedOn) {
  task.Set("PercentComplete", Variant(100));
  task.Set("Status", Variant(static_cast<int>(kOlCompleted)));
  task.Set("DateCompleted", Variant(completedOn));
}

void WriteHostValues(OlItem& task, HostTable& record) {
  const std::string id = FieldText(record, "ID");
  SetDate(task, "StartDate", record, "StartDate", id);
  SetDate(task, "DueDate", record, "EndDate", id);
  task.Set("Subject", Variant(FieldText(record, "Subject")));
  task.Set("Body", Variant(FieldText(record, "Description")));
  task.Set("Importance", Variant(record.Field("Importance")->Value().ToLong()));

  const Completion c =
      ExportCompletion(record.Field("Status")->Value(), record.Field("DoneInPercent")->Value());
  if (!c.statusValid) ShowInvalidHostValue(id, "Status");
  if (c.complete) {
    task.Set("PercentComplete", Variant(100));
    task.Set("Status", Variant(c.olStatus));
  } else {
    task.Set("Status", Variant(c.olStatus));
    task.Set("PercentComplete", Variant(c.percent));
  }
  SetYesNoProp(task, linkprop::kVelStatus1, c.velStatus1);

  SetDate(task, "ReminderTime", record, "RemindTime", id);
  task.Set("ReminderSet", Variant(record.Field("Remind")->Value().ToBool()));
  bool valid = true;
  const long long minutes = ExportMinutes(record.Field("Duration")->Value(), valid);
  if (!valid) ShowInvalidHostValue(id, "Duration");
  task.Set("TotalWork", Variant(minutes));
}

void ShowInvalidHostValue(const std::string& id, const std::string& field) {
  ShowMessage("Die Aufgabe (ID)=  '" + id + "'  enthält einen ungültigen Wert im Feld '" + field +
                  "'\r\nÄndern Sie bitte den ungültigen Wert nach Beenden der Synchronisation!",
              kMsgTitle, MsgButtons::Ok, MsgIcon::Exclamation);
}

void ShowInvalidOutlookValue(OlItem& task, const std::string& property) {
  ShowMessage("Die Outlook-Aufgabe '" + Prop(task, "Subject") +
                  "' enthält einen ungültigen Wert im Feld '" + property +
                  "'\r\nÄndern Sie bitte den ungültigen Wert nach Beenden der Synchronisation!",
              kMsgTitle, MsgButtons::Ok, MsgIcon::Exclamation);
}

void ShowRefusedTasks(const std::vector<std::string>& subjects) {
  constexpr std::size_t kListed = 20;
  std::string text =
      "Velmora hat die Datensätze folgender Outlook-Aufgaben nicht angenommen; ihre Werte aus "
      "Outlook wurden nicht übernommen:";
  for (std::size_t i = 0; i < subjects.size() && i < kListed; ++i) text += "\r\n- " + subjects[i];
  if (subjects.size() > kListed)
    text += "\r\n(und " + std::to_string(subjects.size() - kListed) + " weitere)";
  ShowMessage(text, kMsgTitle, MsgButtons::Ok, MsgIcon::Exclamation);
}

}  // namespace tasks
}  // namespace velklk
