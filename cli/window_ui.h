// The user interface with real windows for `velklk --ui qt`.
#pragma once

#include <memory>
#include <string>

#include "platform/user_interface.h"

namespace velklk::cli {

// The windows of this process. Raises UsageError (one line, exit status 2)
// when no window can be opened here (no display, a display that does not
// answer) or when this velklk was built without windows; the check happens
// before Qt is started, so Qt never ends the process itself. Qt's own texts
// (standard buttons) follow the catalogue `language`; when Qt's translations
// of it are missing, a warning goes to standard error and they stay English.
std::unique_ptr<UserInterface> OpenWindows(const std::string& language);

}  // namespace velklk::cli
