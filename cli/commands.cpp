// The commands of velklk: profiles, fixtures, the type library, calls of the
// public classes and the session that keeps the add-in loaded.
#include "commands.h"

#include <fmt/format.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <sstream>
#include <tuple>

#include "addin/type_library.h"
#include "changes/call_journal.h"
#include "changes/row_images.h"
#include "components/variant_json.h"
#include "heap.h"
#include "outlook/server_store.h"
#include "output_line.h"
#include "platform/automation_error.h"
#include "platform/host.h"
#include "platform/text_case.h"
#include "profile/profile.h"
#include "report.h"
#include "resources/catalogue.h"
#include "send_receive.h"
#include "session/shared_state.h"
#include "session_command.h"
#include "sqlite/transaction.h"
#include "ui/console_ui.h"
#include "windows.h"

extern const char kVelklkDemoFixture[];
extern const std::size_t kVelklkDemoFixture_size;

namespace velklk::cli {
namespace {

using Json = nlohmann::json;
// Output lines keep their keys in the order written ("event" first).
using Out = nlohmann::ordered_json;

void PrintErrorEvent(const AutomationError& e) {
  PrintLine(Out{{"event", "error"},
                {"number", e.NumberText()},
                {"source", e.Source()},
                {"description", e.Description()}});
}

// The error of a unit of work that could not be committed (and was rolled
// back).
AutomationError SaveFailure(const std::exception& e) {
  const auto* automation = dynamic_cast<const AutomationError*>(&e);
  return AutomationError(automation != nullptr ? automation->Number() : err::kFail, "velklk",
                         std::string("the changes could not be saved and were undone: ") +
                             (automation != nullptr ? automation->Description() : e.what()));
}

int Fail(const std::string& message) {
  std::cerr << "velklk: " << message << "\n";
  return kExitError;
}

Out ValueToJson(const Variant& value) {
  return VariantToJson<Out>(value, [](const Variant& v) -> Out {
    auto object = v.ToObject();
    if (!object) return nullptr;
    if (std::dynamic_pointer_cast<HostApplication>(object)) return "<HostApplication>";
    if (std::dynamic_pointer_cast<HostDatabase>(object)) return "<HostDatabase>";
    return "<Object>";
  });
}

std::string Language(const std::string& requested) {
  return requested.empty() ? SystemLanguage() : requested;
}

// Applies the host settings of one call: user, clock, positioned tables,
// active table. Raises UsageError for a value the profile does not know.
void PrepareHost(Profile& profile, const std::optional<std::string>& user,
                 const std::optional<std::string>& now, const std::vector<std::string>& current,
                 const std::optional<std::string>& active) {
  if (now) {
    auto parsed = AutoDate::Parse(*now);
    if (!parsed) throw UsageError("--now: expected \"yyyy-MM-dd hh:mm:ss\", got '" + *now + "'");
    profile.Clock().Set(*parsed);
  }
  try {
    if (user) profile.Host().SetCurrentUser(*user);
    for (const auto& entry : current) {
      const auto equals = entry.find('=');
      if (equals == std::string::npos || equals == 0 || equals + 1 == entry.size()) {
        throw UsageError("--current: expected TABLE=ID, got '" + entry + "'");
      }
      profile.Host().PositionTable(entry.substr(0, equals), entry.substr(equals + 1));
    }
    if (active) profile.Host().SetActiveTable(*active);
  } catch (const std::invalid_argument& e) {
    throw UsageError(e.what());
  } catch (const AutomationError& e) {
    throw UsageError(e.Description());
  }
}

// Commits a command's unit of work. A command whose work cannot be saved has
// not happened: it must not be reported as done, so the failure to save
// becomes its error (an error it raised before is printed first) and its
// report counts no change.
void CommitReported(ProfileUnitOfWork& work, CommandReport& report,
                    std::optional<AutomationError>& error) {
  try {
    work.Commit();
  } catch (const std::exception& e) {
    if (error) PrintErrorEvent(*error);
    error = SaveFailure(e);
    report.Undone();
  }
}

// A command's last lines before its result: the changes of a dry run (then
// undone) and the report.
void PrintReport(CommandReport& report) {
  if (report.DryRun()) report.UndoDryRun(std::cout);
  PrintLine(report.Line());
}

// Invokes one member and prints its last lines: the changes of a dry run,
// the report, and the result or the error. True when no error reached the
// host. The call goes into the profile's journal: a real call inside its
// unit of work, with the before-images of what it changed, so that the
// entry is there exactly when the work is.
bool InvokeAndReport(Profile& profile, CommandReport& report, DispatchObject& object,
                     const std::string& progid, const std::string& member,
                     const std::vector<std::string>& texts) {
  std::vector<Variant> args;
  Variant result;
  std::optional<AutomationError> error;
  std::string name = progid + "." + member;
  auto outcome = [&]() -> Out {
    return error ? Out{{"error", error->NumberText()}} : ValueToJson(result);
  };
  {
    // One unit of work, committed whatever the call did.
    ProfileUnitOfWork work(profile);
    try {
      const MemberInfo& info = FindMember(object, member);
      name = progid + "." + info.name;
      args =
          ArgumentsFromTexts(info, profile.Host().Application(), profile.Host().Database(), texts);
      result = Invoke(object, info.dispid, args);
    } catch (const AutomationError& e) {
      error = e;
    }
    if (!report.DryRun()) report.Journal(name, outcome());
    CommitReported(work, report, error);
  }
  PrintReport(report);
  // A dry run's entry, and that of a call whose work was undone with its
  // entry, come after the rollback.
  if (report.DryRun() || report.WasUndone()) report.Journal(name, outcome());
  if (error) {
    PrintErrorEvent(*error);
    std::cerr << "velklk: error " << error->NumberText() << " in " << error->Source() << ": "
              << error->Description() << "\n";
    return false;
  }
  Out line{{"event", "result"}, {"value", ValueToJson(result)}, {"args", Out::array()}};
  for (const auto& arg : args) line["args"].push_back(ValueToJson(arg));
  PrintLine(line);
  return true;
}

// The heap a command on a profile is expected to fill, per byte of its
// files: its model takes about eight, a bulk command on all of it as much
// again and more (what is not used is never touched).
constexpr std::uintmax_t kHeapPerProfileByte = 32;

// The size of the files in a folder (not below it).
std::uintmax_t FolderBytes(const std::string& directory) {
  std::uintmax_t total = 0;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
    std::error_code sizeError;
    if (entry.is_regular_file(sizeError)) {
      const auto size = entry.file_size(sizeError);
      if (!sizeError) total += size;
    }
  }
  return total;
}

}  // namespace

std::unique_ptr<Profile> OpenProfile(const std::string& directory) {
  if (!Profile::Exists(directory)) {
    throw UsageError("'" + directory +
                     "' holds no profile (create one with velklk init or velklk load)");
  }
  PrepareHeap(FolderBytes(directory) * kHeapPerProfileByte);
  return Profile::Open(directory);
}

int Init(const std::string& directory) {
  if (Profile::Exists(directory)) return Fail("'" + directory + "' already holds a profile");
  try {
    Profile::Create(directory, std::string(kVelklkDemoFixture, kVelklkDemoFixture_size));
  } catch (const std::exception& e) {
    return Fail(std::string("cannot create the demo profile: ") + e.what());
  }
  return kExitOk;
}

int Load(const std::string& directory, const std::string& fixturePath) {
  std::ifstream file(fixturePath, std::ios::binary);
  if (!file) return Fail("cannot read the fixture '" + fixturePath + "'");
  std::error_code error;
  if (std::filesystem::exists(directory, error) &&
      !std::filesystem::is_directory(directory, error)) {
    throw UsageError("'" + directory + "' is a file, not a profile folder");
  }
  try {
    // A folder without a profile becomes one.
    // The fixture is read as it is parsed (a large one is never whole in
    // memory).
    if (Profile::Exists(directory)) {
      Profile::Open(directory)->LoadFixture(file);
    } else {
      Profile::Create(directory, file);
    }
  } catch (const FixtureError& e) {
    return Fail(std::string("fixture rejected: ") + e.what());
  } catch (const AutomationError& e) {
    return Fail("fixture rejected: " + e.Description());
  } catch (const std::exception& e) {
    return Fail(e.what());
  }
  return kExitOk;
}

int Dump(const std::string& directory, bool host, bool outlook) {
  try {
    auto profile = OpenProfile(directory);
    profile->DumpFixture(std::cout, host, outlook);
    std::cout << "\n";
  } catch (const UsageError&) {
    throw;
  } catch (const AutomationError& e) {
    return Fail(e.Description());
  } catch (const std::exception& e) {
    return Fail(e.what());
  }
  return kExitOk;
}

int Find(const std::string& directory, const std::string& folderPath, const std::string& filter) {
  try {
    auto profile = OpenProfile(directory);
    auto folder = profile->Outlook().FindFolder(folderPath);
    auto items = folder->Items();
    for (auto item = items->Find(filter); item; item = items->FindNext()) {
      std::cout << profile->Outlook().ItemToJson(*item).dump(-1, ' ', false,
                                                             Json::error_handler_t::replace)
                << "\n";
    }
  } catch (const UsageError&) {
    throw;
  } catch (const AutomationError& e) {
    return Fail(e.Description() + " (" + e.NumberText() + ")");
  } catch (const std::exception& e) {
    return Fail(e.what());
  }
  return kExitOk;
}

int TypeLib() {
  const TypeLibraryInfo& lib = TypeLibrary();
  Out doc;
  doc["name"] = lib.name;
  doc["libid"] = lib.libid;
  doc["lcid"] = fmt::format("0x{:X}", lib.lcid);
  doc["version"] = std::to_string(lib.majorVersion) + "." + std::to_string(lib.minorVersion);
  doc["imports"] = lib.imports;
  doc["interfaces"] = Out::array();
  for (const auto& itf : lib.interfaces) {
    Out entry{{"name", itf.name},
              {"iid", itf.iid},
              {"base", "IDispatch"},
              {"flags", {"dual", "hidden", "nonextensible", "oleautomation"}},
              {"members", Out::array()}};
    for (const auto& member : itf.members) {
      Out m{{"name", member.name},
            {"dispid", fmt::format("0x{:08X}", static_cast<unsigned>(member.dispid))},
            {"params", Out::array()}};
      for (const auto& param : member.params) {
        m["params"].push_back(
            Out{{"name", param.name}, {"type", ParamKindName(param.kind)}, {"byref", true}});
      }
      m["result"] = member.returnsBoolean ? Out("Boolean") : Out(nullptr);
      entry["members"].push_back(m);
    }
    doc["interfaces"].push_back(entry);
  }
  doc["classes"] = Out::array();
  for (const auto& c : lib.classes) {
    doc["classes"].push_back(Out{{"name", c.name},
                                 {"progid", c.progid},
                                 {"clsid", c.clsid},
                                 {"defaultInterface", c.defaultInterface->name},
                                 {"creatable", true}});
  }
  std::cout << doc.dump(2) << "\n";
  return kExitOk;
}

// The profile and console of a call or session, with the add-in's state set
// up for them. Nothing (after printing the error) when the profile cannot be
// opened; UsageError for bad options.
struct Desk {
  std::unique_ptr<Profile> profile;
  std::unique_ptr<ConsoleUserInterface> ui;
  std::unique_ptr<UserInterface> windows;  // --ui qt: used instead of the console
};

std::optional<Desk> OpenDesk(const CallOptions& options, bool session) {
  Desk desk;
  try {
    desk.profile = OpenProfile(options.profile);
  } catch (const UsageError&) {
    throw;
  } catch (const std::exception& e) {
    Fail(e.what());
    return std::nullopt;
  }
  try {
    desk.ui = std::make_unique<ConsoleUserInterface>(std::cout, options.answers);
  } catch (const AutomationError& e) {
    throw UsageError("--answer: " + e.Description());
  }
  try {
    desk.ui->SetDialogAnswers(options.dialogs);
  } catch (const AutomationError& e) {
    throw UsageError{"--dialog: " + e.Description()};
  }
  // Progress of long runs: a line on a terminal, else progress events among
  // the output's lines (always in a session, whose reader is a program).
  if (!session && ::isatty(STDERR_FILENO) != 0) {
    desk.ui->ShowProgress(ConsoleUserInterface::ProgressStyle::TerminalLine, &std::cerr);
  } else {
    desk.ui->ShowProgress(ConsoleUserInterface::ProgressStyle::JsonLines);
  }
  UserInterface* ui = desk.ui.get();
  if (options.ui == "qt") {
    if (!options.answers.empty() || !options.dialogs.empty()) {
      throw UsageError{"--answer and --dialog answer the console; with --ui qt the user answers"};
    }
    desk.windows = OpenWindows(Language(options.language));
    ui = desk.windows.get();
  }
  ResetState(desk.profile->Services(ui, Language(options.language)));
  PrepareHost(*desk.profile, options.user, options.now, options.current, options.active);
  return desk;
}

int Call(const CallOptions& options, const std::string& progid, const std::string& member,
         const std::vector<std::string>& args) {
  // A dry run is undone; what a pass sent to a server cannot be.
  if (options.dryRun && options.sendReceive)
    throw UsageError(
        "--dry-run and --send-receive do not go together: a pass writes to the server");
  auto desk = OpenDesk(options, false);
  if (!desk) return kExitError;
  Profile* const profile = desk->profile.get();

  bool ok = false;
  try {
    if (options.sendReceive) {
      // Receive before the call; a pass that cannot start calls nothing.
      const PassOutcome received = RunPass(*profile, *desk->ui, std::nullopt, PassPhase::Receive);
      if (!received.started) {
        ResetState({});
        return Fail("call --send-receive: " + received.error);
      }
      PrintLine(received.report);
    }
    CommandReport report(*profile, options.dryRun);
    std::unique_ptr<DispatchObject> object;
    {
      ProfileUnitOfWork work(*profile);
      object = CreateObject(progid);
    }
    ok = InvokeAndReport(*profile, report, *object, progid, member, args);
    object.reset();
    if (options.sendReceive) {
      const PassOutcome sent = RunPass(*profile, *desk->ui, std::nullopt, PassPhase::Send);
      PrintLine(sent.report);
      if (!sent.ok) std::cerr << "velklk: send-receive: " << sent.error << "\n";
    }
  } catch (const AutomationError& e) {
    PrintErrorEvent(e);
    std::cerr << "velklk: error " << e.NumberText() << " in " << e.Source() << ": "
              << e.Description() << "\n";
  } catch (const std::exception& e) {
    ResetState({});
    return Fail(e.what());
  }
  ResetState({});
  return ok ? kExitOk : kExitError;
}

namespace {

// One session: the profile, the user interface and the objects the host has
// created stay alive between commands.
class SessionRunner {
 public:
  SessionRunner(Profile& profile, ConsoleUserInterface& ui, bool windows)
      : profile_(profile), ui_(ui), windows_(windows) {}

  void Run(const std::string& lineText) {
    try {
      const SessionCommand command = ParseSessionCommand(lineText, windows_);
      switch (command.kind) {
        case SessionCommand::Kind::Call:
          RunCall(command);
          break;
        case SessionCommand::Kind::Outlook:
          RunOutlookCommand(command);
          break;
        case SessionCommand::Kind::Dump: {
          Out state = Out::parse(profile_.DumpFixture(true, true));
          PrintLine(Out{{"event", "dump"}, {"state", state}});
          break;
        }
        case SessionCommand::Kind::Now:
          profile_.Clock().Set(command.time);
          break;
        case SessionCommand::Kind::SendReceive:
          RunSendReceive(command);
          break;
      }
    } catch (const AutomationError& e) {
      PrintErrorEvent(e);
    } catch (const UsageError& e) {
      PrintErrorEvent(AutomationError(err::kInvalidArg, "velklk.session", e.what()));
    } catch (const Json::exception& e) {
      PrintErrorEvent(AutomationError(err::kInvalidArg, "velklk.session",
                                      std::string("malformed command: ") + e.what()));
    }
  }

 private:
  // An Outlook action as the user takes it, its own unit of work, ended by
  // the changes of a dry run and the report.
  void RunOutlookCommand(const SessionCommand& command) {
    CommandReport report(profile_, command.dryRun, false);
    std::optional<AutomationError> error;
    {
      ProfileUnitOfWork work(profile_);
      try {
        RunOutlook(command);
      } catch (const AutomationError& e) {
        error = e;
      }
      CommitReported(work, report, error);
    }
    PrintReport(report);
    if (error) throw *error;
  }

  // A pass of the bound folders: progress, the report and the result.
  void RunSendReceive(const SessionCommand& command) {
    TakeAnswers(command);
    PrepareHost(profile_, command.user, command.now, command.current, command.active);
    const PassOutcome outcome = RunPass(profile_, ui_, command.store, PassPhase::Both);
    if (!outcome.started)
      throw AutomationError(err::kFail, "velklk.session", "sendReceive: " + outcome.error);
    PrintLine(outcome.report);
    PrintLine(Out{{"event", "result"}, {"value", outcome.ok}});
  }

  // The message-box and dialog answers of a command: its own, never what an
  // earlier command left unused.
  void TakeAnswers(const SessionCommand& command) {
    ui_.SetAnswers(command.answers);
    ui_.SetDialogAnswers(command.dialogs);
  }

  void RunCall(const SessionCommand& command) {
    TakeAnswers(command);
    PrepareHost(profile_, command.user, command.now, command.current, command.active);
    CommandReport report(profile_, command.dryRun);
    DispatchObject& object = ObjectFor(command.call[0]);
    InvokeAndReport(profile_, report, object, command.call[0], command.call[1],
                    {command.call.begin() + 2, command.call.end()});
  }

  // The host keeps one object per class for the session, so that a CSync
  // remembers its last start-up between commands.
  DispatchObject& ObjectFor(const std::string& progid) {
    const std::string key = IdentifierKey(progid);
    auto found = objects_.find(key);
    if (found != objects_.end()) return *found->second;
    ProfileUnitOfWork work(profile_);
    auto object = CreateObject(progid);
    DispatchObject& ref = *object;
    objects_.emplace(key, std::move(object));
    return ref;
  }

  std::shared_ptr<OlItem> FindItem(const SessionCommand& command) {
    auto item = profile_.Outlook().FindFolder(command.folder)->Items()->Find(command.find);
    if (!item) {
      throw AutomationError(err::kOlNotFound, "velklk.session",
                            "no item of '" + command.folder + "' matches " + command.find);
    }
    return item;
  }

  void RunOutlook(const SessionCommand& command) {
    // The calendar listener may show boxes while the user's change is saved.
    TakeAnswers(command);
    if (command.action == "add") {
      profile_.Outlook().AddItemAsUser(command.folder, command.properties);
    } else if (command.action == "change") {
      auto item = FindItem(command);
      profile_.Outlook().ApplyJson(*item, command.properties);
      item->Save();
    } else {
      FindItem(command)->Delete();
    }
  }

  Profile& profile_;
  ConsoleUserInterface& ui_;
  bool windows_;
  std::map<std::string, std::unique_ptr<DispatchObject>> objects_;
};

}  // namespace

int SendReceive(const CallOptions& options, const std::optional<std::string>& store) {
  auto desk = OpenDesk(options, false);
  if (!desk) return kExitError;
  int status = kExitOk;
  try {
    const PassOutcome outcome = RunPass(*desk->profile, *desk->ui, store, PassPhase::Both);
    if (!outcome.started) {
      status = Fail("send-receive: " + outcome.error);
    } else {
      PrintLine(outcome.report);
      PrintLine(Out{{"event", "result"}, {"value", outcome.ok}});
      if (!outcome.ok) std::cerr << "velklk: send-receive: " << outcome.error << "\n";
    }
  } catch (const UsageError&) {
    ResetState({});
    throw;
  } catch (const std::exception& e) {
    status = Fail(std::string("send-receive: ") + e.what());
  }
  ResetState({});
  return status;
}

int Session(const CallOptions& options, std::istream& in) {
  auto desk = OpenDesk(options, true);
  if (!desk) return kExitError;
  Profile* const profile = desk->profile.get();
  ConsoleUserInterface* const ui = desk->ui.get();
  {
    SessionRunner runner(*profile, *ui, desk->windows != nullptr);
    std::string line;
    while (std::getline(in, line)) {
      if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
      try {
        runner.Run(line);
      } catch (const std::exception& e) {
        PrintErrorEvent(AutomationError(err::kFail, "velklk.session", e.what()));
      }
      PrintLine(Out{{"event", "done"}});
      std::cout.flush();
    }
  }
  ResetState({});
  return kExitOk;
}

namespace {

// The counts of an entry as its undo changes them: what it created is
// deleted again, what it deleted comes back.
// The counts of an entry with created and deleted swapped; a pass's are
// what it received (what it sent changed nothing here).
Out SwappedCounts(const Out& counts) {
  Out out = Out::object();
  if (!counts.is_object()) return out;
  for (const auto& [name, each] : counts.items()) {
    if (!each.is_object()) continue;
    const Out& c = each.contains("received") ? each["received"] : each;
    if (!c.is_object()) continue;
    Out swapped = c;
    swapped["created"] = c.value("deleted", 0);
    swapped["deleted"] = c.value("created", 0);
    out[name] = std::move(swapped);
  }
  return out;
}

}  // namespace

int Undo(const CallOptions& options, std::optional<std::int64_t> number) {
  const auto start = std::chrono::steady_clock::now();
  std::unique_ptr<Profile> profile;
  try {
    profile = OpenProfile(options.profile);
  } catch (const UsageError&) {
    throw;
  } catch (const std::exception& e) {
    return Fail(e.what());
  }
  PrepareHost(*profile, options.user, options.now, options.current, options.active);
  const std::string which = number ? "entry " + std::to_string(*number) : std::string("the entry");
  try {
    const std::uint64_t limit = CallJournal::ImageLimit();
    CallJournal journal(profile->Connection());
    sqlite::Transaction work(profile->Connection(), sqlite::Transaction::Locking::Immediate);
    if (!number) number = journal.LastUndoable();
    if (!number)
      return Fail(
          "nothing to undo: the journal holds no entry that is neither a dry run nor undone");
    const std::string name = "entry " + std::to_string(*number);
    const auto stored = journal.Find(*number);
    if (!stored) return Fail("nothing to undo: the journal has no " + name);
    const Out& entry = stored->entry;
    if (entry.value("dryRun", false)) return Fail(name + " is a dry run: it changed nothing");
    if (stored->undoneBy)
      return Fail(name + " was undone already, by entry " + std::to_string(*stored->undoneBy));
    if (CallJournal::ReceivedNothing(entry))
      return Fail(name + " is a send/receive pass that received nothing: it changed nothing " +
                  "here to undo (what it sent was the calls' work: undo those)");
    if (!stored->images) {
      if (entry.value("images", "") == "dropped")
        return Fail(name + " cannot be undone: its before-images were dropped (a profile keeps " +
                    std::to_string(limit) + " bytes of them)");
      return Fail(name + " cannot be undone: it keeps no before-images");
    }

    RowCapture& capture = profile->Capture();
    capture.Start(limit);
    const RestoreOutcome outcome = Restore(profile->Connection(), *stored->images);
    if (!outcome.Restored()) {
      capture.Stop();
      work.Rollback();
      std::set<std::tuple<bool, std::string, std::string>> told;
      for (const RowName& row : outcome.conflicts) {
        if (!told.emplace(row.outlook, row.container, row.key).second) continue;
        PrintLine(Out{{"event", "conflict"},
                      {row.outlook ? "folder" : "table", row.container},
                      {"key", row.key}});
      }
      PrintLine(Out{{"event", "result"}, {"value", false}});
      return kExitOk;
    }
    // The items it wrote below the store are changes made here: the next
    // pass sends them to the bound folders' servers.
    for (const RestoredItem& item : outcome.items)
      outlook::CountRestored(profile->Outlook(), item.folder, item.entryId, !item.present);
    const std::optional<std::string> images = capture.Finish();
    const Out host = SwappedCounts(entry.value("host", Out::object()));
    const Out outlook = SwappedCounts(entry.value("outlook", Out::object()));
    const long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - start)
                             .count();
    const Out undo{{"time", profile->Clock().Now().Format()},
                   {"user", profile->Host().CurrentUserName()},
                   {"member", "undo"},
                   {"undoes", *number},
                   {"host", host},
                   {"outlook", outlook},
                   {"result", true},
                   {"ms", ms}};
    // Images past the bound are not kept: the undo cannot itself be undone.
    const std::int64_t undoNumber =
        images ? journal.Append(undo, &*images, limit) : journal.AppendDropped(undo);
    journal.SetUndoneBy(*number, undoNumber);
    // Undoing an undo puts the entry it undid back in effect.
    if (entry.contains("undoes") && entry["undoes"].is_number_integer())
      journal.SetUndoneBy(entry["undoes"].get<std::int64_t>(), std::nullopt);
    work.Commit();
    PrintLine(Out{{"event", "report"}, {"host", host}, {"outlook", outlook}, {"ms", ms}});
    PrintLine(Out{{"event", "result"}, {"value", true}});
  } catch (const AutomationError& e) {
    return Fail("cannot undo " + which + ": " + e.Description());
  } catch (const std::exception& e) {
    return Fail("cannot undo " + which + ": " + e.what());
  }
  // The stores read the restored rows back, which rebuilds their indexes.
  try {
    profile->ReloadState();
  } catch (const std::exception& e) {
    return Fail(std::string("the undo is done, but the profile could not be read back: ") +
                e.what());
  }
  return kExitOk;
}

}  // namespace velklk::cli
