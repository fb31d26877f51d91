// The appointment-type choice shown before a new appointment is entered in
// Outlook: the entries of a list-valued host global variable, the first one
// selected. OK takes the selected entry; closing the window any other way
// leaves the choice undone, and the caller keeps its default type.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/dialog.h"

namespace velklk {

class TerminTypeSelectDialog final : public DialogModel {
 public:
  // Fills the list from the global variable of that name and selects the
  // first entry. A variable that is missing or holds no list is reported
  // through the error reporter and leaves the list empty.
  void init(const std::string& name);
  // True once OK was pressed.
  bool OK() const { return ok_; }
  // The text of the selected entry, empty when none is selected.
  std::string SelectedText() const;

  std::string Name() const override { return "frmOLTerminTypeSelect"; }
  std::string Caption() const override;
  std::vector<DialogText> Texts() const override;
  std::vector<DialogButtonInfo> Buttons() const override;
  bool HasList() const override { return true; }
  std::vector<std::string> Entries() const override { return entries_; }
  int SelectedEntry() const override { return selected_; }
  void SelectEntry(int index) override;
  void Press(DialogButton button) override;
  bool IsOpen() const override { return open_; }
  DialogButton ClosedBy() const override { return closedBy_; }

 private:
  std::vector<std::string> entries_;
  int selected_ = -1;
  bool ok_ = false;
  bool open_ = true;
  DialogButton closedBy_ = DialogButton::Close;
};

std::unique_ptr<TerminTypeSelectDialog> CreateFrmOLTerminTypeSelect();

}  // namespace velklk
