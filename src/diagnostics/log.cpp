#include "diagnostics/log.h"

#include "platform/automation_error.h"
#include "platform/clock.h"
#include "platform/components.h"
#include "platform/host.h"
#include "platform/text_case.h"

namespace velklk {
namespace {

constexpr const char* kLevelKey = "TSKLK_LogLevel";
constexpr const char* kHeader =
    "TimeStamp,VBCompName,SubroutineName,InfoType,Info,InputValues,OutputValues";

const char* InfoTypeText(int infoType) {
  switch (infoType) {
    case kLogEntry:
      return "Entry";
    case kLogIntermediate:
      return "Intermediate";
    case kLogErrHandler:
      return "ErrHandler";
    case kLogLeave:
      return "Leave";
    default:
      return "";
  }
}

[[noreturn]] void RaiseNothing(const std::string& what) {
  throw AutomationError(err::kObjectVariableNotSet, "modLogging",
                        "Object variable or With block variable not set (" + what + ")");
}

// True when the current host user's log level is "debug" (in any case).
bool DebugLevel(HostApplication& app) {
  auto db = app.Database();
  if (!db) RaiseNothing("database");
  auto user = db->CurrentUser();
  if (!user) RaiseNothing("current user");
  auto settings = user->Settings();
  if (!settings) RaiseNothing("settings");
  if (!settings->Exists(kLevelKey)) return false;
  return SameIdentifier(settings->Value(kLevelKey).ToText(), "debug");
}

struct LogPaths {
  std::string folder;
  std::string file;
};

// "Logs" in the folder that holds the database file, and the log file in it.
// The path may use either "/" or "\" as separator; the log paths use the
// same one. A database without a folder in its path (none, or a bare name)
// has no place for a log: writing beside the working directory or at the
// root would scatter logs.
LogPaths LogPathsOf(const std::string& databasePath) {
  const auto slash = databasePath.find_last_of("/\\");
  if (slash == std::string::npos) {
    throw AutomationError(
        76, "modLogging",
        "Path not found: the host database has no folder ('" + databasePath + "')");
  }
  const char separator = databasePath[slash];
  LogPaths paths;
  paths.folder = databasePath.substr(0, slash + 1) + "Logs";
  paths.file = paths.folder + separator + "velKLK.log";
  return paths;
}

}  // namespace

void WriteLogLine(const LogTarget& target, const std::string& component,
                  const std::string& subroutine, int infoType, const std::string& info,
                  const std::string& inputValues, const std::string& outputValues) {
  HostApplication* application = target.app;
  if (application == nullptr) return;
  // The level is read on every call so that a changed setting counts at once;
  // a disabled log costs only this lookup.
  if (!DebugLevel(*application)) return;

  FileSystem* fs = target.fileSystem;
  if (fs == nullptr) {
    throw AutomationError(err::kClassNotRegistered, "modLogging",
                          "No file system is available for the log");
  }
  auto db = application->Database();
  if (!db) RaiseNothing("database");
  const LogPaths paths = LogPathsOf(db->FilePath());
  if (!fs->FolderExists(paths.folder)) fs->CreateFolder(paths.folder);

  const Clock* clock = target.clock;
  const SystemClock systemClock;
  const std::string timeStamp = (clock != nullptr ? clock : &systemClock)->Now().Format();

  std::string line = timeStamp;
  for (const std::string* field : {&component, &subroutine}) line += ", " + *field;
  line += ", ";
  line += InfoTypeText(infoType);
  for (const std::string* field : {&info, &inputValues, &outputValues}) line += ", " + *field;

  if (!fs->FileExists(paths.file)) fs->AppendLine(paths.file, kHeader);
  fs->AppendLine(paths.file, line);
}

}  // namespace velklk
