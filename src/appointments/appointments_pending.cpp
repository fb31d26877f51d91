// Appointment synchronisation is not built yet: every entry point says so.
#include "appointments/appointments.h"
#include "platform/automation_error.h"

namespace velklk {
namespace {
[[noreturn]] void Pending(const char* what) { RaiseNotImplemented("Appointment", what); }
}  // namespace

void CreateAppointmentFromActivity(bool&) { Pending("CreateAppointmentFromActivity"); }
void FindAppointmentOfActivity() { Pending("FindAppointmentOfActivity"); }
void NewOutlookAppointment2(const std::shared_ptr<HostTable>&) {
  Pending("NewOutlookAppointment2");
}
bool SyncNewOLAppointments(AutoDate, AutoDate) { Pending("SyncNewOLAppointments"); }

}  // namespace velklk
