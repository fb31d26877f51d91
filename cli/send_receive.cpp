#include "send_receive.h"

#include <chrono>
#include <iostream>

#include "changes/call_journal.h"
#include "changes/row_images.h"
#include "commands.h"
#include "platform/automation_error.h"
#include "platform/user_interface.h"
#include "profile/profile.h"
#include "server/accounts.h"
#include "session/delete_guard.h"
#include "session/shared_state.h"

namespace velklk::cli {
namespace {

using Out = nlohmann::ordered_json;

}  // namespace

PassOutcome RunPass(Profile& profile, UserInterface& ui, const std::optional<std::string>& store,
                    server::PassOptions::Phase phase) {
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
  options.phase = phase;
  options.now = profile.Clock().Now();
  options.progress = [&](long done, long total) { ui.Progress("Send/receive", done, total); };
  options.mayDelete = [&](const std::string& folder, long count) {
    SharedState& state = State();
    auto saved = state.mDB;
    if (!state.mDB) state.mDB = profile.Host().Database();
    bool allowed = false;
    try {
      allowed = MayDeleteFromFolder(*profile.Outlook().FindFolder(folder), count);
    } catch (...) {
      state.mDB = saved;
      throw;
    }
    state.mDB = saved;
    return allowed;
  };

  server::SyncEngine engine(profile.Connection(), profile.Outlook(),
                            [&] { profile.ReloadState(); });
  // The before-images of what the pass receives, kept with its journal
  // entry so that `undo` can take it back (the next pass then sends the
  // items as they were). The engine's own bookkeeping is not captured.
  RowCapture& capture = profile.Capture();
  capture.Start();
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
  try {
    images = capture.Finish();
  } catch (const std::exception& e) {
    std::cerr << "velklk: the pass cannot be undone: " << e.what() << "\n";
  }
  ui.ProgressEnd();
  const long long ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
          .count();
  Out refused = Out::array();
  auto& refusals = State().DeletionsRefused;
  for (const auto& r : refusals)
    refused.push_back(Out{{"folder", r.container}, {"count", r.count}, {"total", r.total}});
  refusals.clear();

  outcome.ok = ok;
  outcome.error = firstError;
  outcome.report = Out{{"event", "report"}, {"outlook", folders}};
  if (!refused.empty()) outcome.report["refused"] = refused;
  outcome.report["ms"] = ms;

  const char* member = phase == server::PassOptions::Phase::Receive ? "send-receive (receive)"
                       : phase == server::PassOptions::Phase::Send  ? "send-receive (send)"
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
    CallJournal(profile.Connection())
        .Append(entry, received && images ? &*images : nullptr, CallJournal::ImageLimit());
  } catch (const std::exception& e) {
    std::cerr << "velklk: the pass could not be added to the journal: " << e.what() << "\n";
  }
  return outcome;
}

}  // namespace velklk::cli
