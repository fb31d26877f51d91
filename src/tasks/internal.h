// Pieces the task procedures share across their files: the tables and
// folders they work on, the field conversions in both directions, and the
// messages about values that cannot cross.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/auto_date.h"
#include "platform/variant.h"

namespace velklk {
class HostTable;
class OlItem;
class OlItems;
}  // namespace velklk

namespace velklk::tasks {

inline constexpr const char* kModule = "modTaskSync";
inline constexpr long long kDone = 5;
inline constexpr long long kOlCompleted = 2;
// Tolerance of the modification-time rule for tasks.
inline constexpr long long kToleranceSeconds = 5;

// The task table "WRTM_Tasks" of the shared state (error 91 without it).
HostTable& TaskTable();
// Points mOlitems at the items of the tasks folder, or of the contacts
// folder, and returns them.
std::shared_ptr<OlItems> PointAtTaskItems();
std::shared_ptr<OlItems> PointAtContactItems();
// True when the Outlook version text sorts before "15.": only those
// versions keep contact links on tasks.
bool OutlookKeepsTaskLinks();
// True when the name is the task table's.
bool IsTaskTable(const std::string& name);
// The current record's "Status" when it is a whole number from 0 to 5.
bool ValidStatus(const Variant& status, long long& value);
bool IsDone(HostTable& record);

// A yes/no user property (velStatus1).
bool YesNoProp(OlItem& item, const char* name);
void SetYesNoProp(OlItem& item, const char* name, bool value);

// A host date as Outlook takes it: the no-date value for an empty or zero
// date; `valid` is false (and the no-date value given) for a value that is
// not a date from 1900 to 4500.
AutoDate ExportDate(const Variant& hostDate, bool& valid);
// A host effort in hours as Outlook's minutes; `valid` is false (and 0
// given) for a value that is not a number or does not fit.
long long ExportMinutes(const Variant& hours, bool& valid);
// True for an Outlook date that is the no-date value or lies from 1900 to
// 4500.
bool IsCarriedDate(AutoDate outlookDate);

// The completion values the export writes for a host Status and
// DoneInPercent.
struct Completion {
  bool complete = false;
  long long olStatus = 0;
  bool velStatus1 = false;
  long long percent = 0;
  bool statusValid = true;
};
Completion ExportCompletion(const Variant& status, const Variant& doneInPercent);
// Marks the Outlook task completed on that date (not saved).
void CompleteOutlookTask(OlItem& task, AutoDate completedOn);

// Host values into an Outlook task (dates, texts, importance, completion,
// reminder, effort); a host value Outlook cannot take is reported and the
// neutral Outlook value written instead.
void WriteHostValues(OlItem& task, HostTable& record);

// velGroupName, velTable, velID and velSearch of the current task record.
void WriteLinkProperties(OlItem& task, HostTable& record);
// True when the host does not let the current record be edited.
bool RefusesEdit(HostTable& record);

// The messages about values that cannot cross: a host field of a task
// record, an Outlook property of a task.
void ShowInvalidHostValue(const std::string& id, const std::string& field);
void ShowInvalidOutlookValue(OlItem& task, const std::string& property);
// Shows the subjects of Outlook tasks whose host record was refused.
void ShowRefusedTasks(const std::vector<std::string>& subjects);

}  // namespace velklk::tasks
