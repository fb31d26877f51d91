// Dialogs played with the dialog answers: the console's opening and closing
// lines, a refused press that takes the next answer, the close box when the
// answers run out, and answers that are refused with a clear error.
#include "ui/dialog_answers.h"

#include <gtest/gtest.h>

#include <sstream>

#include "platform/automation_error.h"
#include "ui/console_ui.h"
#include "ui/recording_ui.h"

namespace velklk {
namespace {

// A store with two folders; a root node checked with one child checks that
// child. OK on a store node is refused with a message box.
class TreeDialog final : public DialogModel {
 public:
  explicit TreeDialog(UserInterface& ui) : ui_(ui) {
    nodes_ = {{"anna", "anna", -1, true, false, false},
              {"Kontakte", "anna\\Kontakte", 0, true, true, false},
              {"Privat", "anna\\Kontakte\\Privat", 1, false, false, false}};
  }
  std::string Name() const override { return "frmTest"; }
  std::string Caption() const override { return "Ordner festlegen ..."; }
  std::vector<DialogText> Texts() const override { return {}; }
  std::vector<DialogButtonInfo> Buttons() const override { return {}; }
  std::vector<DialogNode> Nodes() const override { return nodes_; }
  bool Checkable() const override { return true; }
  int SelectedNode() const override { return selected_; }
  void SelectNode(int index) override { selected_ = index; }
  void CheckNode(int index, bool checked) override {
    nodes_[static_cast<std::size_t>(index)].checked = checked;
    if (index == 0 && checked) nodes_[1].checked = true;
  }
  void Press(DialogButton button) override {
    if (button == DialogButton::Ok && nodes_[static_cast<std::size_t>(selected_)].parent < 0) {
      MessageBoxRequest box;
      box.text = "Wählen Sie bitte einen Ordner aus!";
      ui_.MessageBox(box);
      return;
    }
    if (button == DialogButton::Save) RaiseDialogAction(*this, "no button save");
    closedBy_ = button;
    open_ = false;
  }
  bool IsOpen() const override { return open_; }
  DialogButton ClosedBy() const override { return closedBy_; }

 private:
  UserInterface& ui_;
  std::vector<DialogNode> nodes_;
  int selected_ = 0;
  bool open_ = true;
  DialogButton closedBy_ = DialogButton::Close;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(DialogAnswers, ConsolePrintsTheDialogAndPlaysItsAnswersInOrder) {
  std::ostringstream out;
  ConsoleUserInterface ui(out, {});
  // The first answer's OK is refused (a store node); the second answer goes on.
  ui.SetDialogAnswers({R"({"select":"anna","press":"ok"})",
                       R"({"check":["anna"],"select":"anna\\Kontakte","press":"ok"})"});
  TreeDialog dialog(ui);
  ui.ShowDialog(dialog);
  EXPECT_FALSE(dialog.IsOpen());

  TreeDialog second(ui);  // no answers left: closed with its close box
  ui.ShowDialog(second);
  EXPECT_EQ(second.ClosedBy(), DialogButton::Close);

  const auto lines = Lines(out.str());
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0],
            R"({"event":"dialog","name":"frmTest","caption":"Ordner festlegen ...","nodes":[)"
            R"({"path":"anna","bold":false,"checked":false,"selected":true},)"
            R"({"path":"anna\\Kontakte","bold":true,"checked":false,"selected":false},)"
            R"({"path":"anna\\Kontakte\\Privat","bold":false,"checked":false,"selected":false}]})");
  EXPECT_NE(lines[1].find(R"("event":"msgbox")"), std::string::npos) << lines[1];
  EXPECT_EQ(lines[2], R"({"event":"dialog-closed","name":"frmTest","button":"ok",)"
                      R"("selected":"anna\\Kontakte","checked":["anna","anna\\Kontakte"]})");
  EXPECT_EQ(lines[4],
            R"({"event":"dialog-closed","name":"frmTest","button":"close","selected":"anna",)"
            R"("checked":[],"answered":"default"})");
}

TEST(DialogAnswers, BadAnswersAreRefusedWithTheirReason) {
  const auto reason = [](const std::string& json) {
    try {
      ParseDialogAnswer(json);
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.Number(), err::kInvalidArg);
      return e.Description();
    }
    return std::string("accepted");
  };
  EXPECT_NE(reason("{").find("not JSON"), std::string::npos);
  EXPECT_NE(reason("[]").find("object"), std::string::npos);
  EXPECT_NE(reason(R"({"press":"maybe"})").find("unknown button 'maybe'"), std::string::npos);
  EXPECT_NE(reason(R"({"klick":"ok"})").find("unknown key 'klick'"), std::string::npos);
  EXPECT_NE(reason(R"({"check":"anna"})").find("list of paths"), std::string::npos);
  EXPECT_NE(reason(R"({"steps":[{"type":"x"}]})").find("steps[0]"), std::string::npos);
  EXPECT_EQ(reason(R"({"steps":[{"text":"Besuch"},{"press":"NEW"}],"press":"save"})"), "accepted");

  // An answer naming a node the dialog lacks, or a press the dialog refuses
  // with an error: the dialog is closed and the error goes on.
  RecordingUserInterface ui;
  ui.AddDialogAnswer(R"({"select":"bob\\Kontakte","press":"ok"})");
  TreeDialog missing(ui);
  EXPECT_THROW(ui.ShowDialog(missing), AutomationError);
  EXPECT_FALSE(missing.IsOpen());
  ui.AddDialogAnswer(R"({"press":"save"})");
  TreeDialog refused(ui);
  EXPECT_THROW(ui.ShowDialog(refused), AutomationError);
  EXPECT_FALSE(refused.IsOpen());
}

}  // namespace
}  // namespace velklk
