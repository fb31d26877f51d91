// Feeds arbitrary dialog answers (one JSON answer per line, as --dialog and a
// session's "dialogs" give them) to the answer reader and plays what reads
// against small dialogs: a folder tree with check boxes and a list with a
// text field, opened one after the other while answers remain. Reading must
// end in answers or an automation error 0x80070057; playing must hand the
// dialog only nodes and entries it has, stop at the action that closes it,
// and leave no dialog open, whether the answers ran out, closed it or were
// refused.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "platform/automation_error.h"
#include "platform/dialog.h"
#include "ui/dialog_answers.h"

using namespace velklk;

namespace {

[[noreturn]] void Fault(const std::string& what) {
  std::fprintf(stderr, "fuzz_dialog_answers: %s\n", what.c_str());
  __builtin_trap();
}

// The behaviour both dialogs share: buttons, the close box, and a check that
// the player never acts on a closed dialog.
class SmallDialog : public DialogModel {
 public:
  std::string Caption() const override { return Name(); }
  std::vector<DialogText> Texts() const override { return {{"lblHeader", Name()}}; }
  std::vector<DialogButtonInfo> Buttons() const override {
    std::vector<DialogButtonInfo> buttons;
    for (DialogButton id : buttons_)
      buttons.push_back(
          {id, std::string("cmd") + DialogButtonName(id), DialogButtonName(id), Enabled(id)});
    return buttons;
  }
  void Press(DialogButton button) override {
    Open();
    if (button != DialogButton::Close) {
      bool has = false;
      for (DialogButton id : buttons_) has = has || id == button;
      if (!has || !Enabled(button))
        RaiseDialogAction(*this, std::string("no button ") + DialogButtonName(button));
      if (!Closes(button)) return;
    }
    open_ = false;
    closedBy_ = button;
  }
  bool IsOpen() const override { return open_; }
  DialogButton ClosedBy() const override { return closedBy_; }

 protected:
  explicit SmallDialog(std::vector<DialogButton> buttons) : buttons_(std::move(buttons)) {}
  void Open() const {
    if (!open_) Fault(Name() + ": an action reached a closed dialog");
  }
  static void InRange(int index, std::size_t size, const std::string& what) {
    if (index < 0 || static_cast<std::size_t>(index) >= size)
      Fault("the player named " + what + " " + std::to_string(index) + " of " +
            std::to_string(size));
  }
  virtual bool Enabled(DialogButton) const { return true; }
  virtual bool Closes(DialogButton button) const { return button != DialogButton::New; }

 private:
  std::vector<DialogButton> buttons_;
  bool open_ = true;
  DialogButton closedBy_ = DialogButton::Close;
};

// A folder picker: OK needs a selected node; checking a node unchecks the
// other nodes of its mailbox.
class TreeDialog final : public SmallDialog {
 public:
  TreeDialog() : SmallDialog({DialogButton::Ok, DialogButton::Delete, DialogButton::Cancel}) {
    // Two nodes of one path: the first of them is the one an answer names.
    for (const auto& [text, parent] : {std::pair<const char*, int>{"anna@example.com", -1},
                                       {"Kontakte", 0},
                                       {"Privat", 1},
                                       {"Kalender", 0},
                                       {"ben@example.com", -1},
                                       {"Kalender", 4},
                                       {"Kalender", 4}})
      AddNode(text, parent);
  }
  std::string Name() const override { return "frmTree"; }
  bool HasTree() const override { return true; }
  std::vector<DialogNode> Nodes() const override { return nodes_; }
  bool Checkable() const override { return true; }
  int SelectedNode() const override { return selected_; }
  void SelectNode(int index) override {
    Open();
    InRange(index, nodes_.size(), "node");
    selected_ = index;
  }
  void CheckNode(int index, bool checked) override {
    Open();
    InRange(index, nodes_.size(), "node");
    if (nodes_[static_cast<std::size_t>(index)].parent < 0)
      RaiseDialogAction(*this, "a mailbox has no check box");
    if (checked)
      for (std::size_t i = 0; i < nodes_.size(); ++i)
        if (Mailbox(static_cast<int>(i)) == Mailbox(index)) nodes_[i].checked = false;
    nodes_[static_cast<std::size_t>(index)].checked = checked;
  }

 private:
  void AddNode(const std::string& text, int parent) {
    DialogNode node;
    node.text = text;
    node.parent = parent;
    node.path = parent < 0 ? text : nodes_[static_cast<std::size_t>(parent)].path + "\\" + text;
    nodes_.push_back(std::move(node));
  }
  int Mailbox(int index) const {
    while (nodes_[static_cast<std::size_t>(index)].parent >= 0)
      index = nodes_[static_cast<std::size_t>(index)].parent;
    return index;
  }
  bool Enabled(DialogButton button) const override {
    return button != DialogButton::Ok || selected_ >= 0;
  }

  std::vector<DialogNode> nodes_;
  int selected_ = -1;
};

// A list editor: "new" takes the text field's text as a new entry, "edit"
// renames the selected entry, "delete" removes it; "save" and "exit" close.
class ListDialog final : public SmallDialog {
 public:
  ListDialog()
      : SmallDialog({DialogButton::Save, DialogButton::Exit, DialogButton::New, DialogButton::Edit,
                     DialogButton::Delete}),
        entries_{"Termin", "Telefonat", "Besprechung", "Termin"} {}
  std::string Name() const override { return "frmList"; }
  bool HasList() const override { return true; }
  std::vector<std::string> Entries() const override { return entries_; }
  int SelectedEntry() const override { return selected_; }
  std::optional<std::string> TextField() const override { return text_; }
  void SelectEntry(int index) override {
    Open();
    InRange(index, entries_.size(), "entry");
    selected_ = index;
  }
  void SetText(const std::string& text) override {
    Open();
    text_ = text;
  }
  void Press(DialogButton button) override {
    SmallDialog::Press(button);
    if (!IsOpen()) return;
    if (button == DialogButton::New) entries_.push_back(text_);
  }

 private:
  bool Enabled(DialogButton button) const override {
    return (button != DialogButton::Edit && button != DialogButton::Delete) || selected_ >= 0;
  }
  bool Closes(DialogButton button) const override {
    return button == DialogButton::Save || button == DialogButton::Exit;
  }

  std::vector<std::string> entries_;
  int selected_ = -1;
  std::string text_;
};

void CheckClosed(const DialogModel& dialog, bool ranOut) {
  if (dialog.IsOpen()) Fault(dialog.Name() + " was left open");
  if (ranOut && dialog.ClosedBy() != DialogButton::Close)
    Fault(dialog.Name() + ": the answers ran out, yet it was not closed with the close box");
  const DialogSnapshot snapshot = SnapshotOf(dialog);
  if (snapshot.hasSelection == snapshot.selected.empty() && !dialog.HasList())
    Fault(dialog.Name() + ": a selected node without a path");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> texts;
  for (std::size_t start = 0; start <= input.size() && texts.size() < 16;) {
    std::size_t end = input.find('\n', start);
    if (end == std::string::npos) end = input.size();
    texts.push_back(input.substr(start, end - start));
    start = end + 1;
  }
  ScriptedDialogs dialogs;
  try {
    dialogs = ScriptedDialogs::FromTexts(texts);
  } catch (const AutomationError& e) {
    if (e.Number() != err::kInvalidArg) Fault("an answer was refused with " + e.NumberText());
    return 0;
  }
  if (dialogs.Remaining() != texts.size()) Fault("an answer was lost in reading");
  for (int shown = 0; shown < 32; ++shown) {
    const std::size_t before = dialogs.Remaining();
    TreeDialog tree;
    ListDialog list;
    DialogModel& dialog = shown % 2 ? static_cast<DialogModel&>(list) : tree;
    bool ranOut = false;
    try {
      ranOut = dialogs.Play(dialog);
    } catch (const AutomationError& e) {
      if (e.Number() != err::kInvalidArg) Fault("an action was refused with " + e.NumberText());
    }
    CheckClosed(dialog, ranOut);
    if (before == 0) {
      if (!ranOut) Fault("a dialog without answers was not closed by its close box");
      break;
    }
    if (dialogs.Remaining() >= before) Fault("a dialog took no answer");
  }
  return 0;
}
