// Task synchronisation: the workers the public classes call.
#pragma once

namespace velklk {

// Writes the host task of the shared state (sOLID in sOlTable) to Outlook.
bool TaskSyncVelToOl();
// Imports the open Outlook tasks into the host.
bool TaskSyncOlToVel();
// Writes the task the host's task manager names (sOLID) to Outlook.
bool CreateTaskFromTM();

}  // namespace velklk
