#include "session/trace.h"

#include "platform/components.h"
#include "platform/host.h"
#include "session/shared_state.h"

namespace velklk {

void WriteLog(const std::string& component, const std::string& subroutine, int infoType,
              const std::string& info, const std::string& inputValues,
              const std::string& outputValues, const std::shared_ptr<HostApplication>& app) {
  const SharedState& state = State();
  LogTarget target;
  target.app = app ? app.get() : state.mAPP.get();
  target.fileSystem = state.services.fileSystem;
  target.clock = state.services.clock;
  WriteLogLine(target, component, subroutine, infoType, info, inputValues, outputValues);
}

void LogEntry(const std::string& component, const std::string& subroutine, const std::string& info,
              const std::string& input) {
  WriteLog(component, subroutine, kLogEntry, info, input, "");
}

void LogLeave(const std::string& component, const std::string& subroutine,
              const std::string& output) {
  WriteLog(component, subroutine, kLogLeave, "", "", output);
}

void LogErr(const std::string& component, const std::string& subroutine,
            const AutomationError& error) {
  WriteLog(component, subroutine, kLogErrHandler, error.Description(), "", "");
}

}  // namespace velklk
