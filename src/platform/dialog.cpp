#include "platform/dialog.h"

#include <array>
#include <utility>

#include "platform/automation_error.h"
#include "platform/text_case.h"

namespace velklk {
namespace {

constexpr std::array<std::pair<DialogButton, const char*>, 8> kButtonNames = {{
    {DialogButton::Ok, "ok"},
    {DialogButton::Delete, "delete"},
    {DialogButton::Cancel, "cancel"},
    {DialogButton::Save, "save"},
    {DialogButton::Exit, "exit"},
    {DialogButton::New, "new"},
    {DialogButton::Edit, "edit"},
    {DialogButton::Close, "close"},
}};

}  // namespace

const char* DialogButtonName(DialogButton button) {
  for (const auto& [id, name] : kButtonNames) {
    if (id == button) return name;
  }
  return "close";
}

std::optional<DialogButton> ParseDialogButton(std::string_view name) {
  for (const auto& [id, text] : kButtonNames) {
    if (SameIdentifier(name, text)) return id;
  }
  return std::nullopt;
}

void RaiseDialogAction(const DialogModel& dialog, const std::string& what) {
  throw AutomationError(err::kInvalidArg, dialog.Name(), dialog.Name() + ": " + what);
}

void DialogModel::SelectNode(int) { RaiseDialogAction(*this, "the dialog has no tree"); }
void DialogModel::CheckNode(int, bool) {
  RaiseDialogAction(*this, "the dialog has no check boxes");
}
void DialogModel::SelectEntry(int) { RaiseDialogAction(*this, "the dialog has no list"); }
void DialogModel::SetText(const std::string&) {
  RaiseDialogAction(*this, "the dialog has no text field");
}
void DialogModel::Resize(int, int) { RaiseDialogAction(*this, "the dialog cannot be resized"); }

}  // namespace velklk
