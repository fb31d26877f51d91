// The user interface with real windows (Qt 6 Widgets): message boxes are
// QMessageBox windows with the icon, buttons and default button asked for,
// Qt's own texts (standard buttons) in the language of the message catalogue;
// dialogs are windows that render any DialogModel (a tree with check boxes
// where the dialog has them, a list, a text field, buttons with access keys)
// and pass the user's clicks and keys to the model as its actions. This
// header needs no Qt headers.
#pragma once

#include <memory>
#include <string>

#include "platform/user_interface.h"
#include "ui/progress_limiter.h"

namespace velklk {

// Why no window can be opened in this process, empty when one can. Decided
// without creating the application object in this process: a missing
// display is told from the environment, and a display or platform that does
// not work is tried by a short-lived child process (Qt ends a process that
// cannot reach its display).
std::string WindowProblem();

class QtUserInterface final : public UserInterface {
 public:
  // Uses the process's application object, or creates one (and destroys it
  // again with this object). Call WindowProblem() first: without a working
  // display Qt ends the process here. `language` is the message catalogue's
  // ("de" or "en", also 1031 or 2057): Qt's translations of that language
  // (Debian's qt6-translations-l10n) are installed for the life of this
  // object, so that standard buttons read "Ja", "Nein", "Abbrechen".
  explicit QtUserInterface(const std::string& language);
  ~QtUserInterface() override;
  // Why Qt's own texts stay English, empty when they are in the language
  // asked for (the translation file is missing or cannot be read).
  std::string TranslationProblem() const;
  QtUserInterface(const QtUserInterface&) = delete;
  QtUserInterface& operator=(const QtUserInterface&) = delete;

  MsgAnswer MessageBox(const MessageBoxRequest& request) override;
  void DoEvents() override;
  // Shows the item's kind, subject or filing name and link key in a window
  // (modal: until the user closes it). Raises error 91 for nothing.
  void DisplayItem(const std::shared_ptr<OlItem>& item, bool modal) override;
  // Shows the dialog modally until its model is closed. An error that an
  // action of the model raised closes the dialog (with its close box) and
  // goes on to the caller.
  void ShowDialog(DialogModel& dialog) override;
  // A window for the explorer of the folder, in the window state asked for.
  void ShowExplorer(const std::string& folderPath, int windowState) override;
  // A progress window (QProgressDialog, object name "progress", without a
  // cancel button) once a run has gone on for half a second, updated at most
  // ten times a second; closed when the run ends.
  void Progress(const std::string& task, long done, long total) override;
  void ProgressEnd() override;
  // The clock of that limit (a test sets its own).
  void SetProgressClock(ProgressLimiter::Clock clock);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace velklk
