// Appointment synchronisation: the workers the public classes call.
#pragma once

#include <memory>

#include "platform/auto_date.h"

namespace velklk {

class HostTable;

// Brings the appointment of the shared state's activity (sActivityID in
// sActivityTable, standing for sOLID in sOlTable) in step with the host,
// making the activity's contact available in Outlook first.
bool AppSyncVelToOl();
// Writes or rewrites the Outlook appointment of the activity table's current
// record.
void CreateAppointmentFromActivity(bool& bShowMsg);
// Shows the Outlook appointment of the current activity.
void FindAppointmentOfActivity();
// Opens a new Outlook appointment for the current record of the table.
void NewOutlookAppointment2(const std::shared_ptr<HostTable>& pTable);
// Imports the Outlook appointments that start inside the range.
bool SyncNewOLAppointments(AutoDate dStartFrom, AutoDate dStartTo);

}  // namespace velklk
