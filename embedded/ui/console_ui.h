// The user interface of the velklk command: every message box, item display,
// dialog and explorer window becomes one JSON object on one line of the
// output stream, in the order they happen. Message boxes take their answers
// from a list; when it runs out, the box's default button answers and the
// line says so ("answered":"default"). Dialogs take their user's actions
// from the dialog answers (ui/dialog_answers.h), one answer per dialog; when
// they run out, the dialog is closed with its close box and its closing line
// says "answered":"default".
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "platform/user_interface.h"
#include "ui/answers.h"
#include "ui/dialog_answers.h"

namespace velklk {

class ConsoleUserInterface final : public UserInterface {
 public:
  // `out` must outlive the object. Raises AutomationError 0x80070057 for an
  // answer text other than "ok", "cancel", "yes" or "no".
  ConsoleUserInterface(std::ostream& out, const std::vector<std::string>& answers);

  // Raises AutomationError 0x80070057 when the next answer of the list is not
  // one of the box's buttons; the box is not printed then.
  MsgAnswer MessageBox(const MessageBoxRequest& request) override;
  void DoEvents() override {}
  // Raises error 91 for nothing.
  void DisplayItem(const std::shared_ptr<OlItem>& item, bool modal) override;
  // Prints the dialog's opening line, plays it with the dialog answers, and
  // prints its closing line (also when an answer was refused: the dialog is
  // closed with its close box and the error goes on to the caller).
  void ShowDialog(DialogModel& dialog) override;
  void ShowExplorer(const std::string& folderPath, int windowState) override;

  // Replace the answers still to come (a session command brings its own);
  // raise as the constructor and ParseDialogAnswer do.
  void SetAnswers(const std::vector<std::string>& answers);
  void SetDialogAnswers(const std::vector<std::string>& answers);

 private:
  void WriteLine(const std::string& line);

  std::ostream& out_;
  ScriptedAnswers answers_;
  ScriptedDialogs dialogs_;
};

}  // namespace velklk
