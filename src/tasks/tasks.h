// Task synchronisation: host tasks ("WRTM_Tasks") become Outlook tasks in the
// tasks folder, open Outlook tasks flow back into the host, and a task that
// exists on both sides is brought in step by the newer side. The procedures
// work on the calling thread's shared state (State()) and write no lines to
// the diagnostic log; errors are reported under "modTaskSync.<procedure>".
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace velklk {

class HostTable;
class OlItem;

// --- Workers of the public classes ----------------------------------------
// Brings the host task sOLID in step with Outlook: synchronises its Outlook
// task, creates it when this user never had it, and, when the user deleted
// it in Outlook, creates it again or deletes the host task as the rules say.
bool TaskSyncVelToOl();
// Walks the open Outlook tasks: imports the ones entered in Outlook, mirrors
// completions made in the host, deletes tasks whose host task is gone.
bool TaskSyncOlToVel();
// Exports the task sOLID that the user has in front of him, after checking
// that he is responsible for it and that it is not done.
bool CreateTaskFromTM();

// --- Building blocks ------------------------------------------------------
// Creates the Outlook task of the current record of "WRTM_Tasks" in mOlitems
// (the tasks folder's items), linked to mOlTaskContact where Outlook allows
// links. Nothing is saved when it fails.
bool CreateOLTask();
// Sets mOlTaskContact to the Outlook contact of the current task's linked
// address or contact person, exporting that record (and a contact person's
// address) first when it has no contact yet; mOlitems must be the contacts
// folder's items.
void PrepareTaskContact();
// The first task of mOlitems whose velSearch equals the key, or nothing.
std::shared_ptr<OlItem> FindTaskByVelSearch(const std::string& key);
// Writes the current user's sync-log entry of a task (key: the task ID);
// False when it exists already or the host refuses it.
bool CreateSyncLogTM(const std::string& key);
// Creates the host task of a task entered in Outlook and links the two.
bool CreateVelTask(OlItem& task);

// The newer side wins: Outlook values into the host (SyncVelTask) or host
// values into Outlook (SyncOLTask); False when that failed.
bool SyncTask(OlItem& task);
// 1 when the Outlook task is newer, 2 when the host task is newer, 0 when
// both changed on the same calendar day within 5 seconds.
int CompareTaskModified(HostTable& table, OlItem& task);
// Host values into the existing Outlook task.
bool SyncOLTask(OlItem& task);
// Outlook values into the existing host record: True when written; nothing
// (neither True nor False) when the host refused the record or an error
// ended the procedure, and then nothing was written.
std::optional<bool> SyncVelTask(OlItem& task);

// --- Conversions ------------------------------------------------------------
// The Outlook Status of a host Status, and the velStatus1 flag that keeps
// the host's "1" apart from "0"; a value outside 0..5 gives "not started".
int VelStatusToOutlookStatus(long long status, bool& velStatus1);
int OutlookStatusToVelStatus(long long status, bool velStatus1);
// Outlook's total work in minutes for a host effort in hours: the whole
// hours and the minutes of the fraction, both taken toward minus infinity.
long long HoursToMinutes(double hours);

}  // namespace velklk
