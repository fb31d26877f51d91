// The diagnostic log: one CSV line per call in "Logs/velKLK.log" beside the
// host database, written only while the current host user's setting
// "TSKLK_LogLevel" is "debug".
#pragma once

#include <string>

namespace velklk {

class Clock;
class FileSystem;
class HostApplication;

enum LogInfoType : int { kLogEntry = 0, kLogIntermediate = 1, kLogErrHandler = 2, kLogLeave = 3 };

// Where a line goes and when it is written.
struct LogTarget {
  // The host application whose database locates the log and whose current
  // user's setting decides the level; nothing writes nothing.
  HostApplication* app = nullptr;
  FileSystem* fileSystem = nullptr;
  // The time stamp's clock; the machine's clock when nothing.
  const Clock* clock = nullptr;
};

// Writes one line. Failures (settings store, folder, file) raise an
// AutomationError to the caller.
void WriteLogLine(const LogTarget& target, const std::string& component,
                  const std::string& subroutine, int infoType, const std::string& info,
                  const std::string& inputValues, const std::string& outputValues);

// "Not Nothing" or "Nothing".
template <typename T>
const char* NothingText(const T& object) {
  return object ? "Not Nothing" : "Nothing";
}
inline const char* BoolText(bool b) { return b ? "True" : "False"; }

}  // namespace velklk
