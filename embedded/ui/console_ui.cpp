#include "ui/console_ui.h"

#include <fmt/format.h>

#include <nlohmann/json.hpp>
#include <ostream>

#include "platform/automation_error.h"
#include "ui/item_summary.h"

namespace velklk {
namespace {

// Keys stay in the order written; texts that are not valid UTF-8 (item data
// can hold anything) are printed with replacement characters, not refused.
using Json = nlohmann::ordered_json;

std::string Dump(const Json& json) {
  return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace

ConsoleUserInterface::ConsoleUserInterface(std::ostream& out,
                                           const std::vector<std::string>& answers)
    : out_(out), answers_(ScriptedAnswers::FromTexts(answers)) {}

void ConsoleUserInterface::SetAnswers(const std::vector<std::string>& answers) {
  answers_ = ScriptedAnswers::FromTexts(answers);
}

void ConsoleUserInterface::WriteLine(const std::string& line) {
  out_ << line << '\n';
  out_.flush();
}

MsgAnswer ConsoleUserInterface::MessageBox(const MessageBoxRequest& request) {
  const ScriptedAnswers::Taken taken = answers_.Take(request);
  Json line;
  line["event"] = "msgbox";
  line["title"] = request.title;
  line["text"] = request.text;
  line["icon"] = IconName(request.icon);
  line["buttons"] = ButtonsName(request.buttons);
  line["default"] = DefaultPosition(request);
  line["answer"] = AnswerName(taken.answer);
  if (taken.byDefault) line["answered"] = "default";
  WriteLine(Dump(line));
  return taken.answer;
}

void ConsoleUserInterface::DisplayItem(const std::shared_ptr<OlItem>& item, bool modal) {
  if (!item) {
    throw AutomationError(err::kObjectVariableNotSet, "velKLK.UserInterface",
                          "Object variable or With block variable not set (item to display)");
  }
  const ItemSummary summary = SummarizeItem(*item);
  Json described;
  described["class"] = summary.className;
  if (summary.subject) described["Subject"] = *summary.subject;
  if (summary.fileAs) described["FileAs"] = *summary.fileAs;
  if (summary.velSearch) described["velSearch"] = *summary.velSearch;
  Json line;
  line["event"] = "display";
  line["item"] = std::move(described);
  line["modal"] = modal;
  WriteLine(Dump(line));
}

void ConsoleUserInterface::SetDialogAnswers(const std::vector<std::string>& answers) {
  dialogs_ = ScriptedDialogs::FromTexts(answers);
}

void ConsoleUserInterface::ShowDialog(DialogModel& dialog) {
  Json open;
  open["event"] = "dialog";
  open["name"] = dialog.Name();
  open["caption"] = dialog.Caption();
  if (dialog.HasList()) {
    open["entries"] = dialog.Entries();
  } else {
    const auto nodes = dialog.Nodes();
    const int selected = dialog.SelectedNode();
    Json list = Json::array();
    for (std::size_t i = 0; i < nodes.size(); ++i) {
      Json node;
      node["path"] = nodes[i].path;
      node["bold"] = nodes[i].bold;
      node["checked"] = nodes[i].checked;
      node["selected"] = static_cast<int>(i) == selected;
      list.push_back(std::move(node));
    }
    open["nodes"] = std::move(list);
  }
  WriteLine(Dump(open));

  bool byDefault = false;
  const auto closingLine = [&] {
    const DialogSnapshot snapshot = SnapshotOf(dialog);
    Json closed;
    closed["event"] = "dialog-closed";
    closed["name"] = dialog.Name();
    closed["button"] = DialogButtonName(dialog.ClosedBy());
    closed["selected"] = snapshot.hasSelection ? Json(snapshot.selected) : Json(nullptr);
    if (dialog.HasList()) {
      closed["entries"] = dialog.Entries();
    } else {
      closed["checked"] = snapshot.checked;
    }
    if (byDefault) closed["answered"] = "default";
    WriteLine(Dump(closed));
  };
  try {
    byDefault = dialogs_.Play(dialog);
  } catch (const AutomationError&) {
    if (!dialog.IsOpen()) closingLine();
    throw;
  }
  closingLine();
}

void ConsoleUserInterface::ShowProgress(ProgressStyle style, std::ostream* terminal) {
  progressStyle_ =
      terminal != nullptr || style != ProgressStyle::TerminalLine ? style : ProgressStyle::None;
  terminal_ = terminal;
  if (style == ProgressStyle::TerminalLine) {
    limiter_ = ProgressLimiter(std::chrono::milliseconds(500), std::chrono::milliseconds(100));
  } else {
    limiter_ = ProgressLimiter(std::chrono::seconds(1), std::chrono::seconds(1));
  }
}

void ConsoleUserInterface::Progress(const std::string& task, long done, long total) {
  if (progressStyle_ == ProgressStyle::None) return;
  lastDone_ = done;
  lastTotal_ = total;
  if (!limiter_.Due()) return;
  if (progressStyle_ == ProgressStyle::JsonLines) {
    Json line;
    line["event"] = "progress";
    line["done"] = done;
    line["total"] = total;
    WriteLine(Dump(line));
    return;
  }
  lastTask_ = task;
  const double seconds = limiter_.SecondsShown();
  *terminal_ << fmt::format("\r{}: {} / {} ({}%), {:.0f}/s\x1b[K", task, done, total,
                            total > 0 ? done * 100 / total : 0,
                            seconds > 0 ? static_cast<double>(done) / seconds : 0.0)
             << std::flush;
}

void ConsoleUserInterface::ProgressEnd() {
  if (progressStyle_ == ProgressStyle::TerminalLine && limiter_.Shown()) {
    *terminal_ << fmt::format("\r{}: {} / {}\x1b[K\n", lastTask_, lastDone_, lastTotal_)
               << std::flush;
  }
  limiter_.End();
}

void ConsoleUserInterface::ShowExplorer(const std::string& folderPath, int windowState) {
  Json line;
  line["event"] = "explorer";
  line["folder"] = folderPath;
  line["windowState"] = windowState;
  WriteLine(Dump(line));
}

}  // namespace velklk
