// velklk-server.so: the server side of velklk (server_module.h), the
// accounts of the profile's mailbox stores on CardDAV/CalDAV servers and the
// send/receive pass.
#include "server_module.h"

#include <chrono>
#include <stdexcept>

#include "changes/call_journal.h"
#include "changes/row_images.h"
#include "module_version.h"
#include "outlook/embedded_outlook.h"
#include "outlook/model.h"
#include "outlook/server_store.h"
#include "output_line.h"
#include "platform/automation_error.h"
#include "platform/user_interface.h"
#include "profile/profile.h"
#include "server/account_setup.h"
#include "server/accounts.h"
#include "server/sync_engine.h"
#include "sqlite/transaction.h"

namespace velklk::cli {
namespace {

using Out = nlohmann::ordered_json;

server::PassOptions::Phase EnginePhase(PassPhase phase) {
  switch (phase) {
    case PassPhase::Receive:
      return server::PassOptions::Phase::Receive;
    case PassPhase::Send:
      return server::PassOptions::Phase::Send;
    case PassPhase::Both:
      break;
  }
  return server::PassOptions::Phase::Both;
}

class ServerSide final : public ServerModule {
 public:
  void AccountAdd(Profile& profile, const AccountAddOptions& options) override;
  void AccountList(Profile& profile) override;
  void AccountRemove(Profile& profile, const std::string& store) override;
  PassOutcome RunPass(Profile& profile, UserInterface& ui, const std::optional<std::string>& store,
                      PassPhase phase, const PassHooks& hooks) override;
};

void ServerSide::AccountAdd(Profile& profile, const AccountAddOptions& options) {
  server::AccountRequest request;
  request.store = options.store;
  request.url = options.url;
  request.user = options.user;
  if (!options.passwordFile.empty()) {
    request.password = {server::PasswordSource::Kind::File, options.passwordFile};
  } else {
    request.password = {server::PasswordSource::Kind::Environment, options.passwordEnv};
  }
  request.caFile = options.caFile;
  request.timeZone = options.timeZone;
  request.addressBook = options.addressBook;
  request.create = options.create;
  for (const auto& mailbox : profile.Outlook().GetModel()->Mailboxes())
    request.otherMailboxes.push_back(mailbox->name);
  // A calendar the account may only read makes its folder read-only at once.
  const server::AddedAccount added = server::AddAccount(
      profile.Connection(), *profile.Outlook().Application(), request, {},
      [&](const server::Account& account) {
        for (const auto& folder : account.folders)
          if (folder.readOnly)
            outlook::ServerStore(profile.Outlook(), folder.folder).SetReadOnly(true);
      });
  for (const auto& folder : added.account.folders) {
    Out line{{"event", "bound"}, {"folder", folder.folder}, {"collection", folder.collection}};
    if (folder.readOnly) line["readOnly"] = true;
    PrintLine(line);
  }
  for (const auto& folder : added.notBound)
    PrintLine(Out{{"event", "not bound"}, {"folder", folder.folder}, {"reason", folder.reason}});
}

void ServerSide::AccountList(Profile& profile) {
  for (const auto& account : server::AccountStore(profile.Connection()).List()) {
    Out line{{"store", account.store}, {"url", account.url}, {"user", account.user}};
    if (account.password.kind == server::PasswordSource::Kind::File) {
      line["passwordFile"] = account.password.name;
    } else {
      line["passwordEnv"] = account.password.name;
    }
    if (!account.caFile.empty()) line["caFile"] = account.caFile;
    if (!account.timeZone.empty()) line["timeZone"] = account.timeZone;
    line["folders"] = Out::array();
    for (const auto& folder : account.folders) {
      Out entry{
          {"folder", folder.folder}, {"kind", folder.kind}, {"collection", folder.collection}};
      if (folder.readOnly) entry["readOnly"] = true;
      line["folders"].push_back(entry);
    }
    PrintLine(line);
  }
}

void ServerSide::AccountRemove(Profile& profile, const std::string& store) {
  server::AccountStore accounts(profile.Connection());
  const auto account = accounts.Find(store);
  const std::string none = "the store '" + store + "' has no account";
  if (!account) throw std::runtime_error(none);
  {
    // An unbound folder is the profile's own again: writable.
    sqlite::Transaction change(profile.Connection(), sqlite::Transaction::Locking::Immediate);
    if (!accounts.Remove(store)) throw std::runtime_error(none);
    for (const auto& folder : account->folders) {
      if (!folder.readOnly) continue;
      try {
        outlook::ServerStore(profile.Outlook(), folder.folder).SetReadOnly(false);
      } catch (const AutomationError&) {
        // The folder is gone from the profile.
      }
    }
    change.Commit();
  }
  for (const auto& folder : account->folders) {
    PrintLine(
        Out{{"event", "unbound"}, {"folder", folder.folder}, {"collection", folder.collection}});
  }
}

PassOutcome ServerSide::RunPass(Profile& profile, UserInterface& ui,
                                const std::optional<std::string>& store, PassPhase phase,
                                const PassHooks& hooks) {
  const auto start = std::chrono::steady_clock::now();
  server::AccountStore accounts(profile.Connection());
  std::vector<server::Account> chosen;
  if (store) {
    auto account = accounts.Find(*store);
    if (!account) throw UsageError("send-receive: the store '" + *store + "' has no account");
    chosen.push_back(std::move(*account));
  } else {
    chosen = accounts.List();
  }
  PassOutcome outcome;
  if (chosen.empty()) {
    outcome.error = "the profile has no server account (add one with velklk account add)";
    return outcome;
  }

  server::PassOptions options;
  options.phase = EnginePhase(phase);
  options.now = profile.Clock().Now();
  options.progress = [&](long done, long total) { ui.Progress("Send/receive", done, total); };
  options.mayDelete = hooks.mayDelete;

  server::SyncEngine engine(profile.Connection(), profile.Outlook(),
                            [&] { profile.ReloadState(); });
  // The before-images of what the pass receives, kept with its journal
  // entry so that `undo` can take it back (the next pass then sends the
  // items as they were). The engine's own bookkeeping is not captured.
  RowCapture& capture = profile.Capture();
  capture.Start(CallJournal::ImageLimit());
  struct StopCapture {
    RowCapture& capture;
    ~StopCapture() {
      if (capture.Started()) capture.Stop();
    }
  } stopCapture{capture};
  bool received = false;
  Out folders = Out::object();
  Out conflicts = Out::array();
  bool ok = true;
  std::string firstError;
  for (const auto& account : chosen) {
    std::vector<server::FolderPassResult> results;
    try {
      results = engine.Run(account, options);
    } catch (const std::exception& e) {
      // The password could not be read: nothing of this account ran.
      ok = false;
      if (firstError.empty()) firstError = account.store + ": " + e.what();
      for (const auto& f : account.folders) {
        server::FolderPassResult failed;
        failed.folder = f.folder;
        failed.error = e.what();
        folders[f.folder] = failed.Json();
      }
      continue;
    }
    outcome.requests += engine.Requests();
    if (results.empty()) outcome.started = true;  // no folder of a kind built yet: nothing to do
    for (const auto& r : results) {
      folders[r.folder] = r.Json();
      received = received || r.received.created + r.received.changed + r.received.deleted > 0;
      for (const auto& c : r.conflictEntries) conflicts.push_back(c);
      if (r.error) {
        ok = false;
        if (firstError.empty()) firstError = r.folder + ": " + *r.error;
      }
      if (r.reached) outcome.started = true;
    }
  }
  std::optional<std::string> images;
  bool imagesFailed = false;
  try {
    images = capture.Finish();
  } catch (const std::exception& e) {
    imagesFailed = true;
    std::cerr << "velklk: the pass cannot be undone: " << e.what() << "\n";
  }
  ui.ProgressEnd();
  const long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - start)
                           .count();
  const Out refused = hooks.takeRefused();

  outcome.ok = ok;
  outcome.error = firstError;
  outcome.report = Out{{"event", "report"}, {"outlook", folders}};
  if (!refused.empty()) outcome.report["refused"] = refused;
  outcome.report["ms"] = ms;

  const char* member = phase == PassPhase::Receive ? "send-receive (receive)"
                       : phase == PassPhase::Send  ? "send-receive (send)"
                                                   : "send-receive";
  Out entry{{"time", profile.Clock().Now().Format()},
            {"user", profile.Host().CurrentUserName()},
            {"member", member},
            {"host", Out::object()},
            {"outlook", folders}};
  if (!refused.empty()) entry["refused"] = refused;
  if (!conflicts.empty()) entry["conflicts"] = conflicts;
  entry["result"] = ok;
  entry["ms"] = ms;
  try {
    CallJournal journal(profile.Connection());
    if (received && !images && !imagesFailed) {
      journal.AppendDropped(entry);  // larger than the bound
    } else {
      journal.Append(entry, received && images ? &*images : nullptr, CallJournal::ImageLimit());
    }
  } catch (const std::exception& e) {
    std::cerr << "velklk: the pass could not be added to the journal: " << e.what() << "\n";
  }
  return outcome;
}

}  // namespace
}  // namespace velklk::cli

VELKLK_MODULE_VERSION_MARK;

extern "C" __attribute__((visibility("default"))) velklk::cli::ServerModule*
velklk_server_module() {
  static velklk::cli::ServerSide side;
  return &side;
}
