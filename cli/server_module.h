// The server side of velklk as the command sees it: the accounts of the
// profile's mailbox stores and the send/receive pass. It brings libcurl and
// libical with it, so it is a module of its own (velklk-server.so, see
// modules.h), loaded the first time a command needs it.
//
// The module keeps its own copy of the code it shares with the command, but
// none of the command's state: what belongs to the add-in's shared state
// (the deletion guard, the deletions the user refused) comes through
// PassHooks, and everything else through the objects handed in.
#pragma once

#include <functional>

#include "commands.h"
#include "send_receive.h"  // PassOutcome, PassPhase; Profile, UserInterface

namespace velklk::cli {

// What a pass asks of the command's process.
struct PassHooks {
  // Whether `count` items of the folder (its path) may be deleted: the
  // add-in's deletion guard, which may ask the user.
  std::function<bool(const std::string& folder, long count)> mayDelete;
  // The deletions the user refused since the last call, taken out of the
  // add-in's state: {"folder", "count", "total"} each.
  std::function<nlohmann::ordered_json()> takeRefused;
};

class ServerModule {
 public:
  // velklk account add|list|remove on an open profile: the lines of the
  // command on standard output. Raise what goes wrong.
  virtual void AccountAdd(Profile& profile, const AccountAddOptions& options) = 0;
  virtual void AccountList(Profile& profile) = 0;
  virtual void AccountRemove(Profile& profile, const std::string& store) = 0;
  // One pass (see RunPass in send_receive.h).
  virtual PassOutcome RunPass(Profile& profile, UserInterface& ui,
                              const std::optional<std::string>& store, PassPhase phase,
                              const PassHooks& hooks) = 0;

 protected:
  ~ServerModule() = default;  // the module's own, for the life of the process
};

// The module's entry point: its one object.
using ServerModuleEntry = ServerModule* (*)();
inline constexpr const char* kServerModuleFile = "velklk-server.so";
inline constexpr const char* kServerModuleEntry = "velklk_server_module";

}  // namespace velklk::cli
