// The send/receive pass of velklk: `send-receive`, `call --send-receive` and
// the session's {"sendReceive": ...}. The pass itself is in the server
// module (server_module.h), loaded the first time a pass runs.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace velklk {
class Profile;
class UserInterface;
}  // namespace velklk

namespace velklk::cli {

struct PassOutcome {
  // False when the pass could not start (no account, no password, no server
  // reached): `error` says why.
  bool started = false;
  bool ok = false;  // every folder finished
  std::string error;
  nlohmann::ordered_json report;  // the "report" line
  int requests = 0;
};

// Both halves of a pass, or only one: a call with --send-receive receives
// before it and sends after it.
enum class PassPhase { Both, Receive, Send };

// Runs one pass (or one phase) over the bound folders of `store` (of every
// bound store when none), telling its progress through `ui`, and adds it to
// the journal. Raises UsageError for a store that has no account, and
// std::runtime_error when the server module cannot be loaded.
PassOutcome RunPass(Profile& profile, UserInterface& ui, const std::optional<std::string>& store,
                    PassPhase phase);

}  // namespace velklk::cli
