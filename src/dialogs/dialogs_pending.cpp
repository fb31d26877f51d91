// The dialogs are not built yet: creating one says so.
#include "dialogs/dialogs.h"
#include "platform/automation_error.h"

namespace velklk {
namespace {
[[noreturn]] void Pending(const char* what) { RaiseNotImplemented("Dialogs", what); }
}  // namespace

std::unique_ptr<FolderDialog> CreateFrmAppointmentPath() { Pending("frmAppointmentPath"); }
std::unique_ptr<FolderDialog> CreateFrmCalPath() { Pending("frmCalPath"); }
std::unique_ptr<FolderDialog> CreateFrmTaskPath() { Pending("frmTaskPath"); }
std::unique_ptr<AppointmentTypeConfigDialog> CreateFrmTerminTypConfig() {
  Pending("frmTerminTypConfig");
}

}  // namespace velklk
