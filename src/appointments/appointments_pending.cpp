// Appointment synchronisation is not built yet: every entry point says so.
#include "appointments/appointments.h"
#include "contacts/contacts.h"
#include "platform/automation_error.h"
#include "platform/host.h"
#include "session/helpers.h"
#include "session/shared_state.h"

namespace velklk {
namespace {
[[noreturn]] void Pending(const char* what) { RaiseNotImplemented("Appointment", what); }
}  // namespace

bool AppSyncVelToOl() {
  bool result = false;
  try {
    SharedState& s = State();
    HostTable& activity = Need(s.mTblAktivitaeten, "velKLK");
    activity.SelectIndex("ID");
    if (!activity.Seek(s.sOLID)) {
      ShowMessage("Datensatz wurde nicht gefunden!", "", MsgButtons::Ok, MsgIcon::None);
      return false;
    }
    if (s.bAdressIsMaster) MakeContactAvailable();
    // The appointment side of the hand-over is not built yet.
    RaiseNotImplemented("modAppSync", "CreateOrSyncAppointment");
  } catch (const AutomationError& e) {
    ReportError("modAppSync", ".AppSyncVelToOl", e);
  }
  return result;
}

void CreateAppointmentFromActivity(bool&) { Pending("CreateAppointmentFromActivity"); }
void FindAppointmentOfActivity() { Pending("FindAppointmentOfActivity"); }
void NewOutlookAppointment2(const std::shared_ptr<HostTable>&) {
  Pending("NewOutlookAppointment2");
}
bool SyncNewOLAppointments(AutoDate, AutoDate) { Pending("SyncNewOLAppointments"); }

}  // namespace velklk
