// The error reporter: shows an unexpected error in a message box
// ("Fehler in <source>", "Fehler &H<number> in <error source>" and the text of
// the error-text component).
#pragma once

#include <string>

#include "platform/automation_error.h"

namespace velklk {

class ErrorTextComponent;
class UserInterface;

class CAddonError {
 public:
  CAddonError(ErrorTextComponent* errorText, UserInterface* ui, std::string language);
  // Shows `error` under the place `sSource` ("modAppSync.InitTables").
  // Raises when the error-text component fails.
  void ShowErrText(const std::string& sSource, const AutomationError& error);

 private:
  ErrorTextComponent* errorText_;
  UserInterface* ui_;
  std::string language_;
};

}  // namespace velklk
