#include "addin/addin_util.h"

namespace velklk {

void RaiseObjectNotSet(const std::string& source) {
  throw AutomationError(err::kObjectVariableNotSet, source,
                        "Objektvariable oder With-Blockvariable nicht festgelegt");
}

MsgAnswer ShowMessage(const std::string& text, const std::string& title, MsgButtons buttons,
                      MsgIcon icon, int defaultButton) {
  UserInterface* ui = State().services.ui;
  if (ui == nullptr) RaiseObjectNotSet("velKLK");
  MessageBoxRequest request;
  request.text = text;
  request.title = title;
  request.buttons = buttons;
  request.icon = icon;
  request.defaultButton = defaultButton;
  return ui->MessageBox(request);
}

}  // namespace velklk
