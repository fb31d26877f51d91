#include "ui/dialog_answers.h"

#include <nlohmann/json.hpp>

#include "platform/automation_error.h"

namespace velklk {
namespace {

using Json = nlohmann::ordered_json;
constexpr const char* kSource = "velKLK.UserInterface";

[[noreturn]] void Bad(const std::string& what) {
  throw AutomationError(err::kInvalidArg, kSource, "Dialog answer: " + what);
}

std::string Text(const Json& value, const std::string& where) {
  if (!value.is_string()) Bad(where + " must be a text");
  return value.get<std::string>();
}

DialogButton Button(const Json& value, const std::string& where) {
  const std::string name = Text(value, where);
  auto button = ParseDialogButton(name);
  if (!button) {
    Bad(where + ": unknown button '" + name +
        "' (ok, delete, cancel, save, exit, new, edit or close)");
  }
  return *button;
}

void AddPaths(const Json& value, DialogAction::Kind kind, const std::string& where,
              DialogAnswer& answer) {
  if (!value.is_array()) Bad(where + " must be a list of paths");
  for (std::size_t i = 0; i < value.size(); ++i) {
    answer.actions.push_back({kind, Text(value[i], where + "[" + std::to_string(i) + "]"), {}});
  }
}

void AddSteps(const Json& value, DialogAnswer& answer) {
  if (!value.is_array()) Bad("\"steps\" must be a list");
  for (std::size_t i = 0; i < value.size(); ++i) {
    const std::string where = "steps[" + std::to_string(i) + "]";
    const Json& step = value[i];
    if (!step.is_object() || step.size() != 1) Bad(where + " must be an object with one key");
    const auto first = step.begin();
    const std::string& key = first.key();
    const Json& arg = first.value();
    if (key == "select") {
      answer.actions.push_back({DialogAction::Kind::Select, Text(arg, where + ".select"), {}});
    } else if (key == "text") {
      answer.actions.push_back({DialogAction::Kind::Text, Text(arg, where + ".text"), {}});
    } else if (key == "press") {
      answer.actions.push_back({DialogAction::Kind::Press, {}, Button(arg, where + ".press")});
    } else {
      Bad(where + ": unknown action '" + key + "' (select, text or press)");
    }
  }
}

int NodeByPath(const DialogModel& dialog, const std::vector<DialogNode>& nodes,
               const std::string& path) {
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    if (nodes[i].path == path) return static_cast<int>(i);
  }
  RaiseDialogAction(dialog, "no node '" + path + "'");
}

void Apply(DialogModel& dialog, const DialogAction& action) {
  switch (action.kind) {
    case DialogAction::Kind::Select: {
      if (!dialog.HasList()) {
        dialog.SelectNode(NodeByPath(dialog, dialog.Nodes(), action.text));
        return;
      }
      const auto entries = dialog.Entries();
      for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i] == action.text) {
          dialog.SelectEntry(static_cast<int>(i));
          return;
        }
      }
      RaiseDialogAction(dialog, "no entry '" + action.text + "'");
    }
    case DialogAction::Kind::Check:
    case DialogAction::Kind::Uncheck:
      dialog.CheckNode(NodeByPath(dialog, dialog.Nodes(), action.text),
                       action.kind == DialogAction::Kind::Check);
      return;
    case DialogAction::Kind::Text:
      dialog.SetText(action.text);
      return;
    case DialogAction::Kind::Press:
      dialog.Press(action.button);
      return;
  }
}

void CloseBox(DialogModel& dialog) {
  dialog.Press(DialogButton::Close);
  if (dialog.IsOpen()) RaiseDialogAction(dialog, "the close box did not close the dialog");
}

}  // namespace

DialogAnswer ParseDialogAnswer(const std::string& json) {
  Json parsed;
  try {
    parsed = Json::parse(json);
  } catch (const Json::exception& e) {
    Bad(std::string("not JSON: ") + e.what());
  }
  if (!parsed.is_object()) Bad("must be a JSON object");
  DialogAnswer answer;
  for (const auto& [key, value] : parsed.items()) {
    if (key == "select") {
      answer.actions.push_back({DialogAction::Kind::Select, Text(value, "\"select\""), {}});
    } else if (key == "check") {
      AddPaths(value, DialogAction::Kind::Check, "\"check\"", answer);
    } else if (key == "uncheck") {
      AddPaths(value, DialogAction::Kind::Uncheck, "\"uncheck\"", answer);
    } else if (key == "steps") {
      AddSteps(value, answer);
    } else if (key == "press") {
      answer.actions.push_back({DialogAction::Kind::Press, {}, Button(value, "\"press\"")});
    } else {
      Bad("unknown key '" + key + "' (select, check, uncheck, steps or press)");
    }
  }
  return answer;
}

DialogSnapshot SnapshotOf(const DialogModel& dialog) {
  DialogSnapshot snapshot;
  if (dialog.HasList()) {
    const auto entries = dialog.Entries();
    const int selected = dialog.SelectedEntry();
    if (selected >= 0 && static_cast<std::size_t>(selected) < entries.size()) {
      snapshot.selected = entries[static_cast<std::size_t>(selected)];
      snapshot.hasSelection = true;
    }
    return snapshot;
  }
  const auto nodes = dialog.Nodes();
  const int selected = dialog.SelectedNode();
  if (selected >= 0 && static_cast<std::size_t>(selected) < nodes.size()) {
    snapshot.selected = nodes[static_cast<std::size_t>(selected)].path;
    snapshot.hasSelection = true;
  }
  for (const DialogNode& node : nodes) {
    if (node.checked) snapshot.checked.push_back(node.path);
  }
  return snapshot;
}

ScriptedDialogs ScriptedDialogs::FromTexts(const std::vector<std::string>& texts) {
  ScriptedDialogs dialogs;
  for (const std::string& text : texts) dialogs.Add(ParseDialogAnswer(text));
  return dialogs;
}

bool ScriptedDialogs::Play(DialogModel& dialog) {
  while (dialog.IsOpen()) {
    if (answers_.empty()) {
      CloseBox(dialog);
      return true;
    }
    const DialogAnswer answer = std::move(answers_.front());
    answers_.pop_front();
    try {
      for (const DialogAction& action : answer.actions) {
        if (!dialog.IsOpen()) break;
        Apply(dialog, action);
      }
    } catch (const AutomationError&) {
      if (dialog.IsOpen()) IgnoreError([&] { CloseBox(dialog); });
      throw;
    }
  }
  return false;
}

}  // namespace velklk
