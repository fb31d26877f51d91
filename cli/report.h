// The report of every call and session command, the dry run, and the
// journal of the calls of a profile (velklk report).
#pragma once

#include <chrono>
#include <iosfwd>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "changes/change_log.h"

namespace velklk {
class FileSystem;
class Profile;
class Variant;
}  // namespace velklk

namespace velklk::cli {

class CommandReport {
 public:
  // Starts to observe the writes of the profile's host and Outlook store,
  // and the time. A dry run opens a transaction of its own first (the
  // command's unit of work becomes part of it) and keeps the lines of the
  // diagnostic log out of its file: they would tell of changes that are
  // undone. A real command that goes into the journal (`journaled`) also
  // keeps the before-images of what it writes, for an undo.
  CommandReport(Profile& profile, bool dryRun, bool journaled = true);
  // Stops observing; a dry run not undone yet is undone here.
  ~CommandReport();
  CommandReport(const CommandReport&) = delete;
  CommandReport& operator=(const CommandReport&) = delete;

  bool DryRun() const { return dryRun_; }
  // A dry run: writes the "changes" line of what the command wrote to `out`
  // (one record at a time, never whole in memory); then all of it is rolled
  // back and the profile reads its state back.
  void UndoDryRun(std::ostream& out);
  // The command's work could not be saved and was undone: nothing changed
  // (and the journal entry written with the work is gone as well).
  void Undone();
  bool WasUndone() const { return undone_; }
  // The "report" line: the counts per host table and Outlook folder, the
  // deletions the user refused at the guard, and the milliseconds taken.
  // Takes the refusals out of the add-in's shared state.
  nlohmann::ordered_json Line();
  // Adds a call to the profile's journal: its member, the user, the counts,
  // and its result (a JSON value, or {"error": number}). A real call does so
  // inside its unit of work, before the commit, with the before-images of
  // what it changed; a dry run (and a call whose work could not be saved)
  // after its end, without images. A journal that cannot be written is told
  // on standard error; the call stays as it was.
  void Journal(const std::string& member, const nlohmann::ordered_json& result);

 private:
  struct DryRunState;
  Profile& profile_;
  bool dryRun_;
  ChangeLog log_;
  std::chrono::steady_clock::time_point start_;
  std::optional<long long> ms_;
  nlohmann::ordered_json refused_ = nlohmann::ordered_json::array();
  std::unique_ptr<DryRunState> dry_;
  bool capturing_ = false;
  bool undone_ = false;
};

}  // namespace velklk::cli
