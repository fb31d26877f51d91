// The parts of velklk that bring large libraries with them live in modules
// beside the command, loaded the first time a command needs them:
//
//   velklk-server.so   accounts and send/receive (server_module.h): libcurl,
//                      libical and what they link
//   velklk-windows.so  the windows of --ui qt (windows.h): Qt 6 Widgets
//
// A command that needs neither starts without mapping and relocating the
// sixty-odd libraries they pull in, which were most of its start-up.
//
// The modules are looked for beside the command (the build folder), then in
// the library folder of the installation (<libdir>/velklk).
#pragma once

#include <string>
#include <vector>

#include "server_module.h"

namespace velklk::cli {

// The server module, loaded on first use. Raises std::runtime_error when it
// cannot be loaded.
ServerModule& ServerSide();

// The folders the modules are looked for in, in order.
std::vector<std::string> ModuleFolders();

}  // namespace velklk::cli
