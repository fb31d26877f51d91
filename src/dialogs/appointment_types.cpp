// frmTerminTypConfig: the editor of the appointment-type list. The list is
// edited in the dialog and written to the host only by "Speichern"; an
// empty list is stored as an empty value.
#include <algorithm>

#include "dialogs/access_keys.h"
#include "dialogs/dialogs.h"
#include "platform/automation_error.h"
#include "platform/host.h"
#include "platform/text_case.h"
#include "session/helpers.h"
#include "session/shared_state.h"

namespace velklk {
namespace {

constexpr const char* kName = "frmTerminTypConfig";

// The list a database starts with.
const std::vector<std::string>& DefaultTypes() {
  static const std::vector<std::string> types = {"Termin", "Termin beim Kunden", "Termin im Büro"};
  return types;
}

// The captions of the three list buttons, which the catalogue does not
// carry: new, edit, delete.
std::vector<std::string> ListButtonCaptions(const std::string& language) {
  if (language == "en") return {"New", "Edit", "Delete"};
  return {"Neu", "Ändern", "Löschen"};
}

// Blanks, tabs and line breaks around an entry do not count.
std::string Trimmed(const std::string& text) {
  constexpr const char* kBlank = " \t\r\n";
  const auto first = text.find_first_not_of(kBlank);
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlank) - first + 1);
}

class TypeListDialog final : public AppointmentTypeConfigDialog {
 public:
  // Form_Load: the texts.
  TypeListDialog() {
    caption_ = Msg(1401);
    header_ = Msg(1402);
    toDo_ = Msg(1403);
    auto captions = ListButtonCaptions(State().services.language);
    captions.push_back(Msg(1404));
    captions.push_back(Msg(1405));
    captions_ = WithAccessKeys(captions);
  }

  std::string Name() const override { return kName; }
  std::string Caption() const override { return caption_; }
  std::vector<DialogText> Texts() const override {
    return {{"lblHeader", header_}, {"lblToDo", toDo_}};
  }
  std::vector<DialogButtonInfo> Buttons() const override {
    const bool selected = selected_ >= 0;
    return {{DialogButton::New, "cmdNew", captions_[0], true},
            {DialogButton::Edit, "cmdEdit", captions_[1], selected},
            {DialogButton::Delete, "cmdDelete", captions_[2], selected},
            {DialogButton::Save, "cmdSave", captions_[3], saveAllowed_},
            {DialogButton::Exit, "cmdExit", captions_[4], true}};
  }
  bool HasList() const override { return true; }
  std::vector<std::string> Entries() const override { return entries_; }
  int SelectedEntry() const override { return selected_; }
  std::optional<std::string> TextField() const override { return txtTyp_; }

  // lstTermin_Click: the entry's text goes into the text field; -1 clears
  // the selection.
  void SelectEntry(int index) override {
    if (index < -1 || index >= static_cast<int>(entries_.size())) {
      RaiseDialogAction(*this, "no entry " + std::to_string(index));
    }
    selected_ = index;
    txtTyp_ = index < 0 ? std::string() : entries_[static_cast<std::size_t>(index)];
  }
  void SetText(const std::string& text) override { txtTyp_ = text; }

  void Press(DialogButton button) override {
    if (!open_) RaiseDialogAction(*this, "the dialog is closed");
    const auto info = Buttons();
    const auto found = std::find_if(info.begin(), info.end(),
                                    [&](const DialogButtonInfo& b) { return b.id == button; });
    if (button != DialogButton::Close && (found == info.end() || !found->enabled)) {
      RaiseDialogAction(*this, std::string("button '") + DialogButtonName(button) +
                                   (found == info.end() ? "' does not exist" : "' is disabled"));
    }
    switch (button) {
      case DialogButton::New:
        cmdNew_Click();
        return;
      case DialogButton::Edit:
        cmdEdit_Click();
        return;
      case DialogButton::Delete:
        entries_.erase(entries_.begin() + selected_);
        SelectEntry(-1);
        return;
      case DialogButton::Save:
        cmdSave_Click();
        return;
      default:  // Exit, Close: the edits are dropped
        Close(button);
        return;
    }
  }
  bool IsOpen() const override { return open_; }
  DialogButton ClosedBy() const override { return closedBy_; }

  void init() override {
    try {
      HostDatabase& db = Need(State().mDB, kName);
      // The variable's name as the host spells it.
      std::string name;
      for (const auto& candidate : db.GlobalNames()) {
        if (SameIdentifier(candidate, kAppointmentTypeList)) {
          name = candidate;
          break;
        }
      }
      if (name.empty()) {
        VariantList defaults(DefaultTypes().begin(), DefaultTypes().end());
        db.AddGlobal(kAppointmentTypeList, Variant(std::move(defaults)));
        name = kAppointmentTypeList;
      }
      variable_ = name;
      entries_ = EntriesOf(db.GlobalValue(name));
      saveAllowed_ = true;
    } catch (const AutomationError& e) {
      ReportError(kName, ".Init", e);
    }
  }

 private:
  // A list gives its elements; an empty value an empty list (the stored
  // form of one); any other single value is a list of that one entry, so
  // that saving keeps it. A value with no text form (an object, a list in
  // the list) raises: the dialog then keeps "Speichern" disabled and never
  // overwrites it.
  std::vector<std::string> EntriesOf(const Variant& value) const {
    std::vector<std::string> entries;
    if (value.IsList()) {
      for (const Variant& element : value.ToList()) entries.push_back(TextOf(element));
    } else if (!value.IsEmpty() && !value.IsNull()) {
      std::string text = TextOf(value);
      if (!text.empty()) entries.push_back(std::move(text));
    }
    return entries;
  }

  std::string TextOf(const Variant& value) const {
    if (value.IsObject() || value.IsList()) {
      throw AutomationError(err::kTypeMismatchRt, kName,
                            std::string("'") + kAppointmentTypeList +
                                "' is not a list of texts (it holds " + value.KindName() + ")");
    }
    return value.ToText();
  }

  void cmdNew_Click() {
    const std::string text = Trimmed(txtTyp_);
    if (text.empty()) {
      ShowMessage(Msg(1410), kMsgTitle, MsgButtons::Ok, MsgIcon::None);
      return;
    }
    entries_.push_back(text);
    SelectEntry(static_cast<int>(entries_.size()) - 1);
  }

  void cmdEdit_Click() {
    const std::string text = Trimmed(txtTyp_);
    if (text.empty()) {
      ShowMessage(Msg(1409), kMsgTitle, MsgButtons::Ok, MsgIcon::None);
      return;
    }
    entries_[static_cast<std::size_t>(selected_)] = text;
  }

  void cmdSave_Click() {
    try {
      HostDatabase& db = Need(State().mDB, kName);
      if (entries_.empty()) {
        db.SetGlobalValue(variable_, Variant());
      } else {
        db.SetGlobalValue(variable_, Variant(VariantList(entries_.begin(), entries_.end())));
      }
      Close(DialogButton::Save);
    } catch (const AutomationError& e) {
      ReportError(kName, ".cmdSave_Click", e);
    }
  }

  void Close(DialogButton button) {
    open_ = false;
    closedBy_ = button;
  }

  std::string caption_;
  std::string header_;
  std::string toDo_;
  std::vector<std::string> captions_;
  std::string variable_;
  std::vector<std::string> entries_;
  int selected_ = -1;
  std::string txtTyp_;
  // Only a list that init could read is ever written back.
  bool saveAllowed_ = false;
  bool open_ = true;
  DialogButton closedBy_ = DialogButton::Close;
};

}  // namespace

std::unique_ptr<AppointmentTypeConfigDialog> CreateFrmTerminTypConfig() {
  return std::make_unique<TypeListDialog>();
}

}  // namespace velklk
