#include "session_command.h"

#include "platform/automation_error.h"
#include "ui/answers.h"
#include "ui/dialog_answers.h"

namespace velklk::cli {
namespace {

// The line as written: a dialog answer's actions are taken in the order of
// its keys.
using Json = nlohmann::ordered_json;
constexpr const char* kSource = "velklk.session";
// Far more than any command needs. Copying and writing a JSON value recurse
// once per level, so a line nested a million levels deep would overflow the
// stack.
constexpr int kMaxNesting = 64;

[[noreturn]] void Bad(const std::string& what) {
  throw AutomationError(err::kInvalidArg, kSource, what);
}

std::vector<std::string> Texts(const Json& value, const char* what) {
  std::vector<std::string> texts;
  if (value.is_null()) return texts;
  if (!value.is_array()) Bad(std::string(what) + ": expected a list of texts");
  for (const auto& element : value) {
    if (!element.is_string()) Bad(std::string(what) + ": expected a list of texts");
    texts.push_back(element.get<std::string>());
  }
  return texts;
}

std::optional<std::string> OptionalText(const Json& command, const char* key) {
  const auto found = command.find(key);
  if (found == command.end() || found->is_null()) return std::nullopt;
  if (!found->is_string()) Bad(std::string(key) + ": expected a text");
  return found->get<std::string>();
}

std::vector<std::string> OptionalTexts(const Json& command, const char* key) {
  const auto found = command.find(key);
  return found == command.end() ? std::vector<std::string>{} : Texts(*found, key);
}

// A command's own message-box and dialog answers. The console takes them
// only when every one of them reads.
void ReadAnswers(const Json& command, bool windows, SessionCommand& out) {
  const bool hasDialogs = command.contains("dialogs");
  if (windows && (command.contains("answers") || hasDialogs))
    Bad("answers and dialogs answer the console; with --ui qt the user answers");
  out.answers = OptionalTexts(command, "answers");
  ScriptedAnswers::FromTexts(out.answers);
  if (!hasDialogs) return;
  const Json& dialogs = command["dialogs"];
  if (!dialogs.is_array()) Bad("dialogs: expected a list of answer objects");
  for (const auto& answer : dialogs) {
    if (answer.is_string()) {
      out.dialogs.push_back(answer.get<std::string>());
    } else if (answer.is_object()) {
      out.dialogs.push_back(answer.dump());
    } else {
      Bad("dialogs: expected a list of answer objects");
    }
  }
  ScriptedDialogs::FromTexts(out.dialogs);
}

bool ReadDryRun(const Json& command) {
  const auto found = command.find("dryRun");
  if (found == command.end()) return false;
  if (!found->is_boolean()) Bad("dryRun: expected true or false");
  return found->get<bool>();
}

void ReadCall(const Json& command, bool windows, SessionCommand& out) {
  out.call = Texts(command["call"], "call");
  if (out.call.size() < 2) Bad("call: expected [PROGID, MEMBER, ARG...]");
  ReadAnswers(command, windows, out);
  out.current = OptionalTexts(command, "current");
  out.user = OptionalText(command, "user");
  out.now = OptionalText(command, "now");
  out.active = OptionalText(command, "active");
}

void ReadItemFilter(const Json& command, SessionCommand& out) {
  const auto folder = OptionalText(command, "folder");
  const auto find = OptionalText(command, "find");
  if (!folder || !find) Bad("outlook: expected \"folder\" and \"find\"");
  out.folder = *folder;
  out.find = *find;
}

void ReadOutlook(const Json& command, SessionCommand& out) {
  out.action = OptionalText(command, "outlook").value_or("");
  if (out.action == "add") {
    const auto folder = OptionalText(command, "folder");
    const auto item = command.find("item");
    if (!folder || item == command.end() || !item->is_object())
      Bad("outlook add: expected \"folder\" and an \"item\" object");
    out.folder = *folder;
    out.properties = nlohmann::json(*item);
  } else if (out.action == "change") {
    const auto set = command.find("set");
    if (set == command.end() || !set->is_object()) Bad("outlook change: expected a \"set\" object");
    out.properties = nlohmann::json(*set);
    ReadItemFilter(command, out);
  } else if (out.action == "delete") {
    ReadItemFilter(command, out);
  } else {
    Bad("outlook: expected \"add\", \"change\" or \"delete\"");
  }
}

// True when the text nests arrays and objects deeper than kMaxNesting
// (brackets inside strings do not count).
bool NestsTooDeep(const std::string& text) {
  int depth = 0;
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kMaxNesting) return true;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return false;
}

}  // namespace

SessionCommand ParseSessionCommand(const std::string& line, bool windows) {
  if (NestsTooDeep(line))
    Bad("a command nests deeper than " + std::to_string(kMaxNesting) + " levels");
  Json command;
  try {
    command = Json::parse(line);
  } catch (const Json::exception& e) {  // a syntax error or a number out of range
    Bad(std::string("not a JSON command: ") + e.what());
  }
  if (!command.is_object()) Bad("a command is a JSON object");
  SessionCommand out;
  if (command.contains("call")) {
    out.kind = SessionCommand::Kind::Call;
    ReadCall(command, windows, out);
    out.dryRun = ReadDryRun(command);
  } else if (command.contains("outlook")) {
    out.kind = SessionCommand::Kind::Outlook;
    // The calendar listener may show boxes while the user's change is saved.
    ReadAnswers(command, windows, out);
    ReadOutlook(command, out);
    out.dryRun = ReadDryRun(command);
  } else if (command.contains("sendReceive")) {
    out.kind = SessionCommand::Kind::SendReceive;
    const Json& value = command["sendReceive"];
    if (!value.is_null() && !value.is_string()) Bad("sendReceive: expected a store name or null");
    if (value.is_string()) out.store = value.get<std::string>();
  } else if (command.contains("dump")) {
    out.kind = SessionCommand::Kind::Dump;
  } else if (command.contains("now")) {
    out.kind = SessionCommand::Kind::Now;
    const Json& value = command["now"];
    const auto parsed =
        value.is_string() ? AutoDate::Parse(value.get<std::string>()) : std::nullopt;
    if (!parsed) Bad("now: expected \"yyyy-MM-dd hh:mm:ss\"");
    out.time = *parsed;
  } else {
    Bad("unknown command (expected call, outlook, sendReceive, now or dump)");
  }
  return out;
}

}  // namespace velklk::cli
