// One line of the command's JSON output, keys in the order written ("event"
// first), texts that are not UTF-8 with U+FFFD. The command's own lines go
// out together when a command is done (a session flushes there, a one-shot
// command at exit); the console flushes progress and the user interface's
// events as they come. Used by the command and by its server module.
#pragma once

#include <iostream>
#include <nlohmann/json.hpp>

namespace velklk::cli {

inline void PrintLine(const nlohmann::ordered_json& line) {
  std::cout << line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
}

}  // namespace velklk::cli
