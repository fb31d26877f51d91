// The user-facing services of the system: message boxes, the pass of pending
// events, modal item display and modal dialogs (platform/dialog.h).
#pragma once

#include <memory>
#include <string>

#include "platform/export.h"

namespace velklk {

class DialogModel;
class OlItem;

enum class MsgButtons { Ok, OkCancel, YesNo };
enum class MsgIcon { None, Critical, Exclamation, Information, Question };
enum class MsgAnswer { Ok, Cancel, Yes, No };

struct VELKLK_API MessageBoxRequest {
  std::string text;
  std::string title;
  MsgButtons buttons = MsgButtons::Ok;
  MsgIcon icon = MsgIcon::None;
  int defaultButton = 1;  // 1 or 2
};

class VELKLK_API UserInterface {
 public:
  virtual ~UserInterface() = default;
  virtual MsgAnswer MessageBox(const MessageBoxRequest& request) = 0;
  // Lets the host process pending window messages and events once.
  virtual void DoEvents() = 0;
  virtual void DisplayItem(const std::shared_ptr<OlItem>& item, bool modal) = 0;
  // Shows the dialog modally: renders it and feeds it the user's actions
  // until it is closed.
  virtual void ShowDialog(DialogModel& dialog) = 0;
  // An explorer window shown for a folder path, with its window state.
  virtual void ShowExplorer(const std::string& folderPath, int windowState) = 0;
  // Progress of a long run: `done` of `total` steps of the work `task`
  // names (the total may grow while the run goes on). Called once per step,
  // so an interface that shows it limits how often it does; by default
  // nothing is shown.
  virtual void Progress(const std::string& task, long done, long total) {
    (void)task, (void)done, (void)total;
  }
  // The long run ended (also when it failed).
  virtual void ProgressEnd() {}
};

VELKLK_API const char* ButtonsName(MsgButtons buttons);  // "ok", "okcancel", "yesno"
VELKLK_API const char* IconName(MsgIcon icon);           // "none", "critical", ...
VELKLK_API const char* AnswerName(MsgAnswer answer);     // "ok", "cancel", "yes", "no"
// The answer of a button position (1 or 2) of a button set.
VELKLK_API MsgAnswer ButtonAnswer(MsgButtons buttons, int position);

}  // namespace velklk
