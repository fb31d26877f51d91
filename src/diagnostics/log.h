// The diagnostic log: one CSV line per call in "Logs/velKLK.log" beside the
// host database, written only while the setting "TSKLK_LogLevel" is "debug".
#pragma once

#include <memory>
#include <string>

namespace velklk {

class HostApplication;

enum LogInfoType : int { kLogEntry = 0, kLogIntermediate = 1, kLogErrHandler = 2, kLogLeave = 3 };

// Writes one line. Uses `app`, or the shared state's mAPP when `app` is
// nothing; writes nothing when both are nothing. Failures (settings store,
// folder, file) raise an AutomationError to the caller.
void WriteLog(const std::string& component, const std::string& subroutine, int infoType,
              const std::string& info, const std::string& inputValues,
              const std::string& outputValues,
              const std::shared_ptr<HostApplication>& app = nullptr);

// "Not Nothing" or "Nothing".
template <typename T>
const char* NothingText(const T& object) {
  return object ? "Not Nothing" : "Nothing";
}
inline const char* BoolText(bool b) { return b ? "True" : "False"; }

}  // namespace velklk
