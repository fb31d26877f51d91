// The modal dialogs of the system as toolkit-neutral models. A dialog model
// holds everything the user sees (caption, texts, a tree or a list, a text
// field, buttons) and every rule of the dialog; a view (the console, a window
// toolkit, a test) only renders the model's state and feeds it the user's
// actions, then renders the state again. An action may show message boxes
// through the user interface and may close the dialog; a view shows the
// dialog until the model says it is closed.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/export.h"

namespace velklk {

// The buttons a dialog may have, and the window's close box.
enum class DialogButton { Ok, Delete, Cancel, Save, Exit, New, Edit, Close };

// "ok", "delete", "cancel", "save", "exit", "new", "edit", "close".
VELKLK_API const char* DialogButtonName(DialogButton button);
// The button of a name (any case), nothing for another text.
VELKLK_API std::optional<DialogButton> ParseDialogButton(std::string_view name);

// A text the dialog shows (a header, a label, an information text).
struct VELKLK_API DialogText {
  std::string name;  // the control's name, for example "lblHeader"
  std::string text;
};

struct VELKLK_API DialogButtonInfo {
  DialogButton id = DialogButton::Ok;
  std::string name;     // the control's name, for example "cmdOK"
  std::string caption;  // with "&" before the access key
  bool enabled = true;
};

// One node of a dialog's tree, in the order of the tree (a parent comes
// before its children).
struct VELKLK_API DialogNode {
  std::string text;
  // The texts of the root, the ancestors and the node joined by "\".
  std::string path;
  int parent = -1;  // index of the parent node, -1 for a root node
  bool expanded = false;
  bool bold = false;
  bool checked = false;
};

// A rectangle in pixels of the dialog's inner area.
struct VELKLK_API DialogRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  friend bool operator==(const DialogRect&, const DialogRect&) = default;
};

// Where one control of the dialog sits.
struct VELKLK_API DialogPlace {
  enum class Control { Text, Button, Tree, List, TextField, Grip };
  Control control = Control::Text;
  // The DialogText or DialogButtonInfo name; empty for the others.
  std::string name;
  DialogRect rect;
};

// A dialog's own arrangement of its controls. Without places the view
// arranges the controls itself.
struct VELKLK_API DialogLayout {
  int width = 0;  // the inner size
  int height = 0;
  // The smallest inner size the window may take (resizable dialogs).
  int minWidth = 0;
  int minHeight = 0;
  bool resizable = false;
  std::vector<DialogPlace> places;
};

class VELKLK_API DialogModel {
 public:
  virtual ~DialogModel() = default;

  virtual std::string Name() const = 0;
  virtual std::string Caption() const = 0;
  virtual std::vector<DialogText> Texts() const = 0;
  virtual std::vector<DialogButtonInfo> Buttons() const = 0;

  // A tree (folder dialogs): its nodes, whether they carry check boxes, and
  // the selected node (-1 for none). Empty for dialogs without a tree;
  // `HasTree` tells a tree that is empty from no tree at all.
  virtual bool HasTree() const { return false; }
  virtual std::vector<DialogNode> Nodes() const { return {}; }
  virtual bool Checkable() const { return false; }
  virtual int SelectedNode() const { return -1; }
  // A list (list dialogs): its entries in order and the selected entry (-1
  // for none). `HasList` tells a list that is empty from no list at all.
  virtual bool HasList() const { return false; }
  virtual std::vector<std::string> Entries() const { return {}; }
  virtual int SelectedEntry() const { return -1; }
  // The text field, nothing for dialogs without one.
  virtual std::optional<std::string> TextField() const { return std::nullopt; }

  // The arrangement of the controls; empty places when the dialog leaves it
  // to the view.
  virtual DialogLayout Layout() const { return {}; }

  // The user's actions. An action on a control the dialog does not have, or
  // on a node or entry that does not exist, raises an automation error
  // (0x80070057); so does a press of a button the dialog lacks or has
  // disabled. Close (the window's close box) is always possible and always
  // closes the dialog.
  virtual void SelectNode(int index);
  // Checks or unchecks a node through the dialog's check rules.
  virtual void CheckNode(int index, bool checked);
  virtual void SelectEntry(int index);
  virtual void SetText(const std::string& text);
  virtual void Press(DialogButton button) = 0;
  // The user gave the window this inner size; a resizable dialog moves and
  // sizes its controls by its rule (Layout() then tells where they are).
  virtual void Resize(int width, int height);

  virtual bool IsOpen() const = 0;
  // The button that closed the dialog (Close for the close box).
  virtual DialogButton ClosedBy() const = 0;
};

// Raises the automation error of an action the dialog does not take.
[[noreturn]] VELKLK_API void RaiseDialogAction(const DialogModel& dialog, const std::string& what);

}  // namespace velklk
