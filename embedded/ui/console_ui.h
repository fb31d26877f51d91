// The user interface of the velklk command: every message box, item display,
// dialog and explorer window becomes one JSON object on one line of the
// output stream, in the order they happen. Message boxes take their answers
// from a list; when it runs out, the box's default button answers and the
// line says so ("answered":"default"). Dialogs take their user's actions
// from the dialog answers (ui/dialog_answers.h), one answer per dialog; when
// they run out, the dialog is closed with its close box and its closing line
// says "answered":"default". The progress of long runs is shown as the
// command asks (ShowProgress).
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "platform/export.h"
#include "platform/user_interface.h"
#include "ui/answers.h"
#include "ui/dialog_answers.h"
#include "ui/progress_limiter.h"

namespace velklk {

class VELKLK_API ConsoleUserInterface final : public UserInterface {
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
  void Progress(const std::string& task, long done, long total) override;
  void ProgressEnd() override;

  // How progress is shown: not at all (the default); as one line on a
  // terminal (`terminal`, standard error), redrawn at most ten times a
  // second with count, total and rate and ended when the run ends; or as
  // {"event":"progress","done":n,"total":m} lines on the output, at most once
  // a second. Runs shorter than the first interval show nothing.
  enum class ProgressStyle { None, TerminalLine, JsonLines };
  void ShowProgress(ProgressStyle style, std::ostream* terminal = nullptr);
  // The clock of those limits (a test sets its own).
  void SetProgressClock(ProgressLimiter::Clock clock) { limiter_.SetClock(std::move(clock)); }

  // Replace the answers still to come (a session command brings its own);
  // raise as the constructor and ParseDialogAnswer do.
  void SetAnswers(const std::vector<std::string>& answers);
  void SetDialogAnswers(const std::vector<std::string>& answers);

 private:
  void WriteLine(const std::string& line);

  std::ostream& out_;
  ScriptedAnswers answers_;
  ScriptedDialogs dialogs_;
  ProgressStyle progressStyle_ = ProgressStyle::None;
  std::ostream* terminal_ = nullptr;
  ProgressLimiter limiter_{std::chrono::seconds(1), std::chrono::seconds(1)};
  long lastDone_ = 0, lastTotal_ = 0;
  std::string lastTask_;
};

}  // namespace velklk
