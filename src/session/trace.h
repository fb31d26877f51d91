// The diagnostic log as the add-in's procedures write it: the shared state's
// host application, file system and clock decide where and when a line goes.
#pragma once

#include <memory>
#include <string>

#include "diagnostics/log.h"
#include "platform/automation_error.h"

namespace velklk {

// Writes one line. Uses `app`, or the shared state's mAPP when `app` is
// nothing; writes nothing when both are nothing. Failures (settings store,
// folder, file) raise an AutomationError to the caller.
void WriteLog(const std::string& component, const std::string& subroutine, int infoType,
              const std::string& info, const std::string& inputValues,
              const std::string& outputValues,
              const std::shared_ptr<HostApplication>& app = nullptr);

// The entry, leave and error-handler lines of a procedure.
void LogEntry(const std::string& component, const std::string& subroutine, const std::string& info,
              const std::string& input);
void LogLeave(const std::string& component, const std::string& subroutine,
              const std::string& output);
void LogErr(const std::string& component, const std::string& subroutine,
            const AutomationError& error);

}  // namespace velklk
