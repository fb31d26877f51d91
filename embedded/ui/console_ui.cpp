#include "ui/console_ui.h"

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

void ConsoleUserInterface::ShowExplorer(const std::string& folderPath, int windowState) {
  Json line;
  line["event"] = "explorer";
  line["folder"] = folderPath;
  line["windowState"] = windowState;
  WriteLine(Dump(line));
}

}  // namespace velklk
