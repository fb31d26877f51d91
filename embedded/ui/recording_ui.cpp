#include "ui/recording_ui.h"

#include "platform/automation_error.h"

namespace velklk {

MsgAnswer RecordingUserInterface::MessageBox(const MessageBoxRequest& request) {
  const ScriptedAnswers::Taken taken = answers_.Take(request);
  UiEvent event;
  event.kind = UiEvent::Kind::MessageBox;
  event.box = request;
  event.answer = taken.answer;
  event.answeredByDefault = taken.byDefault;
  events_.push_back(std::move(event));
  return taken.answer;
}

void RecordingUserInterface::DisplayItem(const std::shared_ptr<OlItem>& item, bool modal) {
  if (!item) {
    throw AutomationError(err::kObjectVariableNotSet, "velKLK.UserInterface",
                          "Object variable or With block variable not set (item to display)");
  }
  UiEvent event;
  event.kind = UiEvent::Kind::Display;
  event.item = item;
  event.summary = SummarizeItem(*item);
  event.modal = modal;
  events_.push_back(std::move(event));
}

void RecordingUserInterface::ShowDialog(DialogModel& dialog) {
  UiEvent opened;
  opened.kind = UiEvent::Kind::Dialog;
  opened.dialogName = dialog.Name();
  if (dialog.HasList()) {
    opened.dialogEntries = dialog.Entries();
  } else {
    opened.dialogNodes = dialog.Nodes();
  }
  events_.push_back(std::move(opened));
  const std::size_t index = events_.size() - 1;
  bool byDefault = false;
  if (dialogHandler_) {
    dialogHandler_(dialog);
    if (dialog.IsOpen()) {
      throw AutomationError(err::kFail, "velKLK.UserInterface",
                            "The dialog handler left " + dialog.Name() + " open");
    }
  } else {
    byDefault = dialogs_.Play(dialog);
  }
  UiEvent& event = events_[index];
  event.dialogClosedBy = dialog.ClosedBy();
  event.dialogClosedByDefault = byDefault;
  event.dialogClosed = SnapshotOf(dialog);
}

void RecordingUserInterface::ShowExplorer(const std::string& folderPath, int windowState) {
  UiEvent event;
  event.kind = UiEvent::Kind::Explorer;
  event.folderPath = folderPath;
  event.windowState = windowState;
  events_.push_back(std::move(event));
}

std::vector<MessageBoxRequest> RecordingUserInterface::MessageBoxes() const {
  std::vector<MessageBoxRequest> boxes;
  for (const UiEvent& event : events_) {
    if (event.kind == UiEvent::Kind::MessageBox) boxes.push_back(event.box);
  }
  return boxes;
}

}  // namespace velklk
