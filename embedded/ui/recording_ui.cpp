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

void RecordingUserInterface::ShowDialog(ModalDialog& dialog) {
  UiEvent event;
  event.kind = UiEvent::Kind::Dialog;
  event.dialogName = dialog.Name();
  events_.push_back(std::move(event));
  if (dialogHandler_) {
    dialogHandler_(dialog, *this);
  } else {
    dialog.Run(*this);
  }
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
