#include "report.h"

#include <iostream>
#include <set>

#include "changes/call_journal.h"
#include "changes/row_images.h"
#include "commands.h"
#include "platform/automation_error.h"
#include "platform/components.h"
#include "profile/profile.h"
#include "session/shared_state.h"

namespace velklk::cli {
namespace {

using Out = nlohmann::ordered_json;

// The log's file system during a dry run: it reads the real one and keeps
// every line written away from it (a line of a dry run would tell of a
// change that is undone). Folders it was asked to create exist for it.
class DiscardingFileSystem final : public FileSystem {
 public:
  explicit DiscardingFileSystem(FileSystem* real) : real_(real) {}
  bool FolderExists(const std::string& path) const override {
    return made_.count(path) > 0 || (real_ != nullptr && real_->FolderExists(path));
  }
  bool FileExists(const std::string& path) const override {
    return real_ != nullptr && real_->FileExists(path);
  }
  void CreateFolder(const std::string& path) override { made_.insert(path); }
  void AppendLine(const std::string&, const std::string&) override {}

 private:
  FileSystem* real_;
  std::set<std::string> made_;
};

}  // namespace

struct CommandReport::DryRunState {
  FileSystem* realFiles = nullptr;
  std::unique_ptr<DiscardingFileSystem> files;
  bool open = true;
};

CommandReport::CommandReport(Profile& profile, bool dryRun, bool journaled)
    : profile_(profile), dryRun_(dryRun), log_(dryRun), start_(std::chrono::steady_clock::now()) {
  if (!dryRun_ && journaled) {
    // A bad bound stops the command before it runs.
    profile_.Capture().Start(CallJournal::ImageLimit());
    capturing_ = true;
  }
  if (dryRun_) {
    // Every unit of work of the command becomes part of this one.
    profile_.Begin();
    dry_ = std::make_unique<DryRunState>();
    FileSystem*& files = State().services.fileSystem;
    dry_->realFiles = files;
    dry_->files = std::make_unique<DiscardingFileSystem>(files);
    files = dry_->files.get();
  }
  profile_.Host().SetChangeObserver(&log_);
  profile_.Outlook().SetChangeObserver(&log_);
}

CommandReport::~CommandReport() {
  if (capturing_) profile_.Capture().Stop();
  profile_.Host().SetChangeObserver(nullptr);
  profile_.Outlook().SetChangeObserver(nullptr);
  if (dry_ && dry_->open) {
    try {
      profile_.Rollback();
    } catch (const std::exception& e) {
      std::cerr << "velklk: the dry run could not be undone: " << e.what() << "\n";
    }
  }
  if (dry_) State().services.fileSystem = dry_->realFiles;
}

void CommandReport::Undone() {
  log_.Clear();
  undone_ = true;
  if (capturing_) profile_.Capture().Stop();
  capturing_ = false;
}

void CommandReport::UndoDryRun(std::ostream& out) {
  out << "{\"event\":\"changes\",";
  log_.WriteChanges(out);
  out << "}\n" << std::flush;
  if (dry_ && dry_->open) {
    dry_->open = false;
    profile_.Rollback();
  }
}

Out CommandReport::Line() {
  if (!ms_) {
    ms_ = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                start_)
              .count();
  }
  auto& refusals = State().DeletionsRefused;
  for (const auto& r : refusals) {
    refused_.push_back(
        Out{{r.outlook ? "folder" : "table", r.container}, {"count", r.count}, {"total", r.total}});
  }
  refusals.clear();
  Out line{{"event", "report"}};
  if (dryRun_) line["dryRun"] = true;
  Out counts = log_.CountsJson();
  for (auto& [half, part] : counts.items()) line[half] = std::move(part);
  if (!refused_.empty()) line["refused"] = refused_;
  line["ms"] = *ms_;
  return line;
}

void CommandReport::Journal(const std::string& member, const Out& result) {
  const Out report = Line();
  Out entry{{"time", profile_.Clock().Now().Format()},
            {"user", profile_.Host().CurrentUserName()},
            {"member", member}};
  if (dryRun_) entry["dryRun"] = true;
  entry["host"] = report["host"];
  entry["outlook"] = report["outlook"];
  if (report.contains("refused")) entry["refused"] = report["refused"];
  entry["result"] = result;
  entry["ms"] = report["ms"];
  try {
    if (!capturing_) {
      profile_.Journal().Append(entry);
      return;
    }
    capturing_ = false;
    std::optional<std::string> images;
    bool failed = false;
    try {
      images = profile_.Capture().Finish();
    } catch (const std::exception& e) {
      failed = true;
      std::cerr << "velklk: the call cannot be undone: " << e.what() << "\n";
    }
    if (images) {
      profile_.Journal().Append(entry, &*images, CallJournal::ImageLimit());
    } else if (failed) {
      profile_.Journal().Append(entry);
    } else {
      profile_.Journal().AppendDropped(entry);  // larger than the bound
    }
  } catch (const std::exception& e) {
    std::cerr << "velklk: the call could not be added to the journal: " << e.what() << "\n";
  }
}

int Report(const std::string& directory, int count) {
  if (count <= 0) throw UsageError("report: the number of calls must be at least 1");
  if (!Profile::Exists(directory)) {
    throw UsageError("'" + directory +
                     "' holds no profile (create one with velklk init or velklk load)");
  }
  try {
    auto profile = Profile::Open(directory);
    const auto entries = CallJournal(profile->Connection()).Last(count);
    Out summary{{"event", "summary"},
                {"calls", 0},
                {"errors", 0},
                {"dryRuns", 0},
                {"refused", 0},
                {"host", Out::object()},
                {"outlook", Out::object()}};
    for (const auto& entry : entries) {
      std::cout << entry.dump(-1, ' ', false, Out::error_handler_t::replace) << "\n";
      if (!entry.is_object()) continue;
      summary["calls"] = summary["calls"].get<long>() + 1;
      const bool dry = entry.value("dryRun", false);
      if (dry) summary["dryRuns"] = summary["dryRuns"].get<long>() + 1;
      if (entry.contains("result") && entry["result"].is_object() &&
          entry["result"].contains("error"))
        summary["errors"] = summary["errors"].get<long>() + 1;
      if (entry.contains("refused") && entry["refused"].is_array())
        summary["refused"] =
            summary["refused"].get<long>() + static_cast<long>(entry["refused"].size());
      if (dry) continue;  // undone: nothing of it stays
      for (const char* half : {"host", "outlook"}) {
        if (!entry.contains(half) || !entry[half].is_object()) continue;
        for (const auto& [name, counts] : entry[half].items()) {
          if (!counts.is_object()) continue;
          Out& total = summary[half][name];
          for (const char* key : {"created", "changed", "deleted"}) {
            const long n = counts.contains(key) && counts[key].is_number_integer()
                               ? counts[key].get<long>()
                               : 0;
            total[key] = (total.contains(key) ? total[key].get<long>() : 0) + n;
          }
        }
      }
    }
    std::cout << summary.dump() << "\n";
  } catch (const std::exception& e) {
    std::cerr << "velklk: " << e.what() << "\n";
    return kExitError;
  }
  return kExitOk;
}

}  // namespace velklk::cli
