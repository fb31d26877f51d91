#include "dialogs/termin_type_select.h"

#include "platform/automation_error.h"
#include "platform/host.h"
#include "session/access.h"
#include "session/helpers.h"

namespace velklk {

void TerminTypeSelectDialog::init(const std::string& name) {
  entries_.clear();
  selected_ = -1;
  try {
    const Variant value = Db().GlobalValue(name);
    if (!value.IsList()) {
      throw AutomationError(err::kTypeMismatchRt, "frmOLTerminTypeSelect",
                            "Die globale Variable '" + name + "' enthält keine Liste.");
    }
    std::vector<std::string> entries;
    for (const Variant& entry : value.ToList()) entries.push_back(entry.ToText());
    entries_ = std::move(entries);
    if (!entries_.empty()) selected_ = 0;
  } catch (const AutomationError& e) {
    ReportError("frmOLTerminTypeSelect", ".init", e);
  }
}

std::string TerminTypeSelectDialog::SelectedText() const {
  if (selected_ < 0 || static_cast<std::size_t>(selected_) >= entries_.size()) return {};
  return entries_[static_cast<std::size_t>(selected_)];
}

std::string TerminTypeSelectDialog::Caption() const { return Msg(901); }

std::vector<DialogText> TerminTypeSelectDialog::Texts() const {
  return {{"lblHeader", Msg(902)}, {"lblDo", Msg(903)}};
}

std::vector<DialogButtonInfo> TerminTypeSelectDialog::Buttons() const {
  return {{DialogButton::Ok, "cmdOK", Msg(904), true}};
}

void TerminTypeSelectDialog::SelectEntry(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= entries_.size()) {
    RaiseDialogAction(*this, "the list has no entry " + std::to_string(index));
  }
  selected_ = index;
}

void TerminTypeSelectDialog::Press(DialogButton button) {
  if (!open_) RaiseDialogAction(*this, "the dialog is closed");
  if (button == DialogButton::Ok) {
    ok_ = true;
  } else if (button != DialogButton::Close) {
    RaiseDialogAction(*this, std::string("the dialog has no button ") + DialogButtonName(button));
  }
  open_ = false;
  closedBy_ = button;
}

std::unique_ptr<TerminTypeSelectDialog> CreateFrmOLTerminTypeSelect() {
  return std::make_unique<TerminTypeSelectDialog>();
}

}  // namespace velklk
