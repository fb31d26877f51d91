// The dialog answers of a scripted user: one answer per dialog shown, each a
// JSON object of actions taken in the order written:
//   "select": a node's full path (tree) or an entry's text (list);
//   "check" / "uncheck": lists of full paths, applied one by one through the
//     dialog's check rules;
//   "steps": a list of {"select": TEXT}, {"text": TEXT} or {"press": BUTTON};
//   "press": the button that ends the answer ("ok", "delete", "cancel",
//     "save", "exit", "new", "edit" or "close").
// A dialog still open after an answer takes the next one; when the answers
// run out, it is closed with its close box.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/dialog.h"
#include "platform/export.h"

namespace velklk {

struct VELKLK_API DialogAction {
  enum class Kind { Select, Check, Uncheck, Text, Press };
  Kind kind = Kind::Press;
  std::string text;  // a path, an entry or the typed text
  DialogButton button = DialogButton::Close;
};

struct VELKLK_API DialogAnswer {
  std::vector<DialogAction> actions;
};

// Parses one answer; raises AutomationError 0x80070057 naming what is wrong
// (not JSON, not an object, an unknown key or button, a value of the wrong
// kind).
VELKLK_API DialogAnswer ParseDialogAnswer(const std::string& json);

// What the dialog looks like now, as the console prints it.
struct VELKLK_API DialogSnapshot {
  std::string selected;  // the selected node's path or entry's text
  bool hasSelection = false;
  std::vector<std::string> checked;  // paths of the checked nodes
};
VELKLK_API DialogSnapshot SnapshotOf(const DialogModel& dialog);

class VELKLK_API ScriptedDialogs {
 public:
  ScriptedDialogs() = default;
  // Raises as ParseDialogAnswer does.
  static ScriptedDialogs FromTexts(const std::vector<std::string>& texts);

  void Add(DialogAnswer answer) { answers_.push_back(std::move(answer)); }
  std::size_t Remaining() const { return answers_.size(); }

  // Plays the dialog until it is closed. True when the answers ran out and
  // the close box closed it. An action the dialog refuses raises; the dialog
  // is closed with its close box first, so that no dialog is left open.
  bool Play(DialogModel& dialog);

 private:
  std::deque<DialogAnswer> answers_;
};

}  // namespace velklk
