// Feeds arbitrary lines to the command reader of `velklk session`. A line
// must read into a command or raise an automation error 0x80070057; the
// reader for real windows refuses whatever the console's reader refuses and
// reads the rest alike; a command written back as JSON reads the same. The
// Outlook commands then run as the session runs them, in a unit of work on a
// profile in memory that is rolled back afterwards: they end in the item
// written or an error, and the rollback leaves the profile as it was.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "platform/automation_error.h"
#include "platform/outlook.h"
#include "profile/profile.h"
#include "session_command.h"

using namespace velklk;
using velklk::cli::ParseSessionCommand;
using velklk::cli::SessionCommand;
using Json = nlohmann::json;

namespace {

constexpr const char* kFixture = R"json({
  "now": "2026-12-06 10:00:00",
  "outlook": {"running": true, "version": "16.0.0.0", "stores": [
    {"name": "anna@example.com", "folders": [
      {"name": "Kontakte", "type": 2, "items": [
        {"class": "contact", "FirstName": "Eva", "LastName": "Berg",
         "userProperties": {"velSearch": "0000000002Ansprechpartner"}}]},
      {"name": "Kalender", "type": 1}, {"name": "Aufgaben", "type": 3}]}]}})json";

[[noreturn]] void Fault(const std::string& what) {
  std::fprintf(stderr, "fuzz_session_command: %s\n", what.c_str());
  __builtin_trap();
}

struct Desk {
  std::unique_ptr<Profile> profile = Profile::InMemory();
  std::string base;
  Desk() {
    profile->LoadFixture(kFixture);
    base = profile->DumpFixture();
  }
};

Desk& TheDesk() {
  static Desk desk;
  return desk;
}

std::optional<SessionCommand> Read(const std::string& line, bool windows) {
  try {
    return ParseSessionCommand(line, windows);
  } catch (const AutomationError& e) {
    if (e.Number() != err::kInvalidArg) Fault("a command was refused with " + e.NumberText());
    return std::nullopt;
  }
}

bool Same(const SessionCommand& a, const SessionCommand& b) {
  return a.kind == b.kind && a.call == b.call && a.answers == b.answers && a.dialogs == b.dialogs &&
         a.current == b.current && a.user == b.user && a.now == b.now && a.active == b.active &&
         a.action == b.action && a.folder == b.folder && a.find == b.find &&
         a.properties == b.properties && a.store == b.store && a.time.Format() == b.time.Format();
}

// The command as a session line.
std::string Written(const SessionCommand& c) {
  Json line = Json::object();
  if (!c.answers.empty()) line["answers"] = c.answers;
  if (!c.dialogs.empty()) line["dialogs"] = c.dialogs;
  switch (c.kind) {
    case SessionCommand::Kind::Call:
      line["call"] = c.call;
      if (!c.current.empty()) line["current"] = c.current;
      if (c.user) line["user"] = *c.user;
      if (c.now) line["now"] = *c.now;
      if (c.active) line["active"] = *c.active;
      break;
    case SessionCommand::Kind::Outlook:
      line["outlook"] = c.action;
      line["folder"] = c.folder;
      if (c.action == "add") line["item"] = c.properties;
      if (c.action == "change") line["set"] = c.properties;
      if (c.action != "add") line["find"] = c.find;
      break;
    case SessionCommand::Kind::SendReceive:
      line["sendReceive"] = c.store ? Json(*c.store) : Json(nullptr);
      break;
    case SessionCommand::Kind::Dump:
      line["dump"] = true;
      break;
    case SessionCommand::Kind::Now:
      line["now"] = c.time.Format();
      break;
  }
  return line.dump();
}

// Runs an Outlook command as the session does, then rolls it back.
void RunOutlook(const SessionCommand& command) {
  Desk& desk = TheDesk();
  Profile& profile = *desk.profile;
  profile.Begin();
  try {
    auto& outlook = profile.Outlook();
    if (command.action == "add") {
      outlook.AddItemAsUser(command.folder, command.properties);
    } else {
      auto item = outlook.FindFolder(command.folder)->Items()->Find(command.find);
      if (item && command.action == "change") {
        outlook.ApplyJson(*item, command.properties);
        item->Save();
      } else if (item) {
        item->Delete();
      }
    }
  } catch (const AutomationError&) {
  } catch (const Json::exception&) {
    // The session reports these as a malformed command.
  }
  profile.Rollback();
  if (profile.DumpFixture() != desk.base) Fault("a rolled-back command changed the profile");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  const auto console = Read(line, false);
  const auto windows = Read(line, true);
  if (!console) {
    if (windows) Fault("the windows' reader took a command the console's refused");
    return 0;
  }
  if (windows && !Same(*console, *windows)) Fault("the two readers read a command differently");
  if (console->kind == SessionCommand::Kind::Call && console->call.size() < 2)
    Fault("a call without class or member");
  const std::string written = Written(*console);
  const auto again = Read(written, false);
  if (!again || !Same(*console, *again))
    Fault("the command written back reads differently: " + written);
  if (console->kind == SessionCommand::Kind::Outlook) RunOutlook(*console);
  return 0;
}
