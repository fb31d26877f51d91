// The user interface with real windows for `velklk --ui qt`: the windows
// module (velklk-windows.so, Qt 6 Widgets), loaded only when a command asks
// for windows (modules.h).
#pragma once

#include <memory>
#include <string>

#include "platform/user_interface.h"

namespace velklk::cli {

// The windows of this process. Raises UsageError (one line, exit status 2)
// when no window can be opened here (no display, a display that does not
// answer) or when this velklk was built or installed without windows; the
// check happens before Qt is started, so Qt never ends the process itself.
// Qt's own texts (standard buttons) follow the catalogue `language`; when
// Qt's translations of it are missing, a warning goes to standard error and
// they stay English.
std::unique_ptr<UserInterface> OpenWindows(const std::string& language);

// The windows module's entry point: OpenWindows as the module has it (the
// caller owns the object).
using WindowsModuleEntry = UserInterface* (*)(const std::string& language);
inline constexpr const char* kWindowsModuleFile = "velklk-windows.so";
inline constexpr const char* kWindowsModuleEntry = "velklk_open_windows";

}  // namespace velklk::cli
