// Task synchronisation is not built yet: every entry point says so.
#include "platform/automation_error.h"
#include "tasks/tasks.h"

namespace velklk {
namespace {
[[noreturn]] void Pending(const char* what) { RaiseNotImplemented("Tasks", what); }
}  // namespace

bool TaskSyncVelToOl() { Pending("TaskSyncVelToOl"); }
bool TaskSyncOlToVel() { Pending("TaskSyncOlToVel"); }
bool CreateTaskFromTM() { Pending("CreateTaskFromTM"); }

}  // namespace velklk
