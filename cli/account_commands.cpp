// The account commands of velklk: accounts of the profile's mailbox stores on
// CardDAV/CalDAV servers. The work is the server module's (server_module.h).
#include <iostream>

#include "commands.h"
#include "modules.h"
#include "platform/automation_error.h"
#include "profile/profile.h"

namespace velklk::cli {
namespace {

int Fail(const std::string& message) {
  std::cerr << "velklk: " << message << "\n";
  return kExitError;
}

// Runs a command on the profile; its errors become one line on standard
// error and exit status 1 (usage errors pass to the caller).
template <typename Body>
int Guarded(const char* command, Body body) {
  try {
    body();
    return kExitOk;
  } catch (const UsageError&) {
    throw;
  } catch (const AutomationError& e) {
    return Fail(std::string(command) + ": " + e.Description());
  } catch (const std::exception& e) {
    return Fail(std::string(command) + ": " + e.what());
  }
}

}  // namespace

int AccountAdd(const std::string& directory, const AccountAddOptions& options) {
  if (options.passwordFile.empty() == options.passwordEnv.empty())
    throw UsageError(
        "account add: give the password source: --password-file FILE or --password-env VAR");
  return Guarded("account add", [&] { ServerSide().AccountAdd(*OpenProfile(directory), options); });
}

int AccountList(const std::string& directory) {
  return Guarded("account list", [&] { ServerSide().AccountList(*OpenProfile(directory)); });
}

int AccountRemove(const std::string& directory, const std::string& store) {
  return Guarded("account remove",
                 [&] { ServerSide().AccountRemove(*OpenProfile(directory), store); });
}

}  // namespace velklk::cli
