// Appointment synchronisation: the workers the public classes call.
#pragma once

#include <memory>

#include "platform/auto_date.h"

namespace velklk {

class HostTable;

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
