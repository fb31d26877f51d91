#include "diagnostics/error_report.h"

#include "platform/components.h"
#include "platform/user_interface.h"

namespace velklk {

CAddonError::CAddonError(ErrorTextComponent* errorText, UserInterface* ui, std::string language)
    : errorText_(errorText), ui_(ui), language_(std::move(language)) {}

void CAddonError::ShowErrText(const std::string& sSource, const AutomationError& error) {
  // No handler here: a failure of the error-text component or the message box
  // replaces the reported error and goes to the caller.
  if (errorText_ == nullptr) {
    throw AutomationError(err::kClassNotRegistered, "CAddonError",
                          "The error-text component is not available");
  }
  if (ui_ == nullptr) {
    throw AutomationError(err::kObjectVariableNotSet, "CAddonError",
                          "No user interface to show the error on");
  }
  const std::string text = errorText_->ErrorText(error.Number(), language_);
  MessageBoxRequest box;
  box.title = "Fehler in " + sSource;
  box.text = "Fehler &H" + error.HexText() + " in " + error.Source() + "\r\n" + text;
  box.buttons = MsgButtons::Ok;
  box.icon = MsgIcon::Exclamation;
  ui_->MessageBox(box);
}

}  // namespace velklk
