// The commands of `velklk session`: one JSON object per line, read into a
// command before anything runs.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "platform/auto_date.h"

namespace velklk::cli {

struct SessionCommand {
  // The command is the first of "call", "outlook", "sendReceive", "dump" and
  // "now" that the object holds.
  enum class Kind { Call, Outlook, SendReceive, Dump, Now };
  Kind kind = Kind::Dump;

  // Call and Outlook: the console's message-box answers and dialog answers
  // (each dialog answer as the JSON text of one answer object, its keys in
  // the order written).
  std::vector<std::string> answers, dialogs;
  // Call and Outlook ("dryRun": true): run, print the changes, undo them.
  bool dryRun = false;

  // Call: [PROGID, MEMBER, ARG...] and the host set-up (--current, --user,
  // --now, --active).
  std::vector<std::string> call, current;
  std::optional<std::string> user, now, active;

  // Outlook: "add", "change" or "delete"; the folder; the item filter
  // (change, delete); the new item (add) or the properties to set (change).
  std::string action;
  std::string folder, find;
  nlohmann::json properties;

  // SendReceive: the store whose folders to pass; none for every bound store.
  std::optional<std::string> store;

  // Now: the time the clock is set to.
  AutoDate time;
};

// Reads one line. Raises AutomationError 0x80070057 (source "velklk.session")
// naming what is wrong: not JSON, nested deeper than 64 levels, not an
// object, no known command, a value of
// the wrong kind, a missing part, an answer or dialog answer the console
// would refuse, and answers at all when the user answers in real windows.
SessionCommand ParseSessionCommand(const std::string& line, bool windows);

}  // namespace velklk::cli
