// The user interface of the tests: records every message box, item display,
// dialog and explorer window in memory and answers message boxes from a
// script (the default button when the script has run out).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/export.h"
#include "platform/user_interface.h"
#include "ui/answers.h"
#include "ui/dialog_answers.h"
#include "ui/item_summary.h"

namespace velklk {

struct VELKLK_API UiEvent {
  enum class Kind { MessageBox, Display, Dialog, Explorer };
  Kind kind = Kind::MessageBox;
  // MessageBox
  MessageBoxRequest box;
  MsgAnswer answer = MsgAnswer::Ok;
  bool answeredByDefault = false;
  // Display
  std::shared_ptr<OlItem> item;
  ItemSummary summary;
  bool modal = false;
  // Dialog: its name, its nodes or entries when it opened, and how it closed.
  std::string dialogName;
  std::vector<DialogNode> dialogNodes;
  std::vector<std::string> dialogEntries;
  DialogButton dialogClosedBy = DialogButton::Close;
  bool dialogClosedByDefault = false;
  DialogSnapshot dialogClosed;
  // Explorer
  std::string folderPath;
  int windowState = 0;
};

class VELKLK_API RecordingUserInterface final : public UserInterface {
 public:
  RecordingUserInterface() = default;
  explicit RecordingUserInterface(std::vector<MsgAnswer> answers) : answers_(std::move(answers)) {}

  // Raises AutomationError 0x80070057 when the next scripted answer is not one
  // of the box's buttons; such a box is not recorded.
  MsgAnswer MessageBox(const MessageBoxRequest& request) override;
  // Counts the passes; a test plays what Outlook does meanwhile in the
  // handler, when one is set.
  void DoEvents() override {
    ++doEvents_;
    if (doEventsHandler_) doEventsHandler_();
  }
  // Raises error 91 for nothing.
  void DisplayItem(const std::shared_ptr<OlItem>& item, bool modal) override;
  // Records the dialog and plays it with the dialog answers, or hands it to
  // the dialog handler when one is set (a test plays the user there; the
  // handler must close the dialog).
  void ShowDialog(DialogModel& dialog) override;
  void ShowExplorer(const std::string& folderPath, int windowState) override;
  // Progress is kept: the last step told and the runs ended.
  void Progress(const std::string& task, long done, long total) override {
    lastDone_ = done;
    lastTotal_ = total;
    if (task != progressTask_) progressTask_ = task;
  }
  void ProgressEnd() override { ++progressEnds_; }

  void AddAnswer(MsgAnswer answer) { answers_.Add(answer); }
  std::size_t RemainingAnswers() const { return answers_.Remaining(); }
  // An answer as ui/dialog_answers.h describes it; raises for a bad one.
  void AddDialogAnswer(const std::string& json) { dialogs_.Add(ParseDialogAnswer(json)); }
  using DialogHandler = std::function<void(DialogModel&)>;
  void SetDialogHandler(DialogHandler handler) { dialogHandler_ = std::move(handler); }
  void SetDoEventsHandler(std::function<void()> handler) { doEventsHandler_ = std::move(handler); }

  const std::vector<UiEvent>& Events() const { return events_; }
  // The message boxes only, in order.
  std::vector<MessageBoxRequest> MessageBoxes() const;
  int DoEventsCount() const { return doEvents_; }
  // The last step told: its work, how many done of how many.
  const std::string& ProgressTask() const { return progressTask_; }
  long ProgressDone() const { return lastDone_; }
  long ProgressTotal() const { return lastTotal_; }
  int ProgressEnds() const { return progressEnds_; }
  void Clear() {
    events_.clear();
    doEvents_ = 0;
    lastDone_ = lastTotal_ = 0;
    progressTask_.clear();
    progressEnds_ = 0;
  }

 private:
  ScriptedAnswers answers_;
  std::function<void()> doEventsHandler_;
  ScriptedDialogs dialogs_;
  std::vector<UiEvent> events_;
  int doEvents_ = 0;
  long lastDone_ = 0, lastTotal_ = 0;
  std::string progressTask_;
  int progressEnds_ = 0;
  DialogHandler dialogHandler_;
};

}  // namespace velklk
