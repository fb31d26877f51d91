// The JSON lines of the console user interface, as the velklk command prints
// them: one object per event, keys in a fixed order.
#include "ui/console_ui.h"

#include <gtest/gtest.h>

#include <sstream>

#include "support/desk.h"

namespace velklk::test {
namespace {

MessageBoxRequest Box(std::string text, std::string title, MsgButtons buttons, MsgIcon icon,
                      int defaultButton = 1) {
  MessageBoxRequest box;
  box.text = std::move(text);
  box.title = std::move(title);
  box.buttons = buttons;
  box.icon = icon;
  box.defaultButton = defaultButton;
  return box;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(ConsoleUi, MessageBoxesPrintOneLineEachAndTakeAnswersInOrder) {
  std::ostringstream out;
  ConsoleUserInterface ui(out, {"yes", "cancel"});
  EXPECT_EQ(ui.MessageBox(Box("Jetzt Kontakte löschen?/n", "Velmora Kestrelink", MsgButtons::YesNo,
                              MsgIcon::Exclamation, 2)),
            MsgAnswer::Yes);
  EXPECT_EQ(ui.MessageBox(
                Box("Zeile 1\r\nZeile \"2\"", "Titel", MsgButtons::OkCancel, MsgIcon::Question)),
            MsgAnswer::Cancel);
  const auto lines = Lines(out.str());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0],
            "{\"event\":\"msgbox\",\"title\":\"Velmora Kestrelink\",\"text\":\"Jetzt Kontakte "
            "löschen?/n\",\"icon\":\"exclamation\",\"buttons\":\"yesno\",\"default\":2,"
            "\"answer\":\"yes\"}");
  EXPECT_EQ(lines[1],
            "{\"event\":\"msgbox\",\"title\":\"Titel\",\"text\":\"Zeile 1\\r\\nZeile \\\"2\\\"\","
            "\"icon\":\"question\",\"buttons\":\"okcancel\",\"default\":1,\"answer\":\"cancel\"}");
}

TEST(ConsoleUi, RunningOutOfAnswersTakesTheDefaultButtonAndSaysSo) {
  std::ostringstream out;
  ConsoleUserInterface ui(out, {});
  EXPECT_EQ(ui.MessageBox(Box("a", "t", MsgButtons::YesNo, MsgIcon::Exclamation, 2)),
            MsgAnswer::No);
  EXPECT_EQ(ui.MessageBox(Box("b", "t", MsgButtons::OkCancel, MsgIcon::None, 1)), MsgAnswer::Ok);
  // A box with only OK has no second button: its default is the first.
  EXPECT_EQ(ui.MessageBox(Box("c", "t", MsgButtons::Ok, MsgIcon::Critical, 2)), MsgAnswer::Ok);
  const auto lines = Lines(out.str());
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0],
            "{\"event\":\"msgbox\",\"title\":\"t\",\"text\":\"a\",\"icon\":\"exclamation\","
            "\"buttons\":\"yesno\",\"default\":2,\"answer\":\"no\",\"answered\":\"default\"}");
  EXPECT_EQ(lines[1],
            "{\"event\":\"msgbox\",\"title\":\"t\",\"text\":\"b\",\"icon\":\"none\","
            "\"buttons\":\"okcancel\",\"default\":1,\"answer\":\"ok\",\"answered\":\"default\"}");
  EXPECT_EQ(lines[2],
            "{\"event\":\"msgbox\",\"title\":\"t\",\"text\":\"c\",\"icon\":\"critical\","
            "\"buttons\":\"ok\",\"default\":1,\"answer\":\"ok\",\"answered\":\"default\"}");
}

TEST(ConsoleUi, AnswersThatDoNotFitAreClearErrors) {
  EXPECT_THROW(
      {
        std::ostringstream out;
        ConsoleUserInterface ui(out, {"ok", "maybe"});
      },
      AutomationError);

  std::ostringstream out;
  ConsoleUserInterface ui(out, {"YES", "ok", "no"});
  try {
    ui.MessageBox(Box("x", "t", MsgButtons::OkCancel, MsgIcon::None));
    FAIL() << "an answer 'yes' to an OK/Cancel box was accepted";
  } catch (const AutomationError& error) {
    EXPECT_EQ(error.Number(), err::kInvalidArg);
    EXPECT_NE(error.Description().find("okcancel"), std::string::npos);
  }
  EXPECT_EQ(out.str(), "");
  // The refused answer is used up; the next box gets the next answer.
  EXPECT_EQ(ui.MessageBox(Box("y", "t", MsgButtons::Ok, MsgIcon::None)), MsgAnswer::Ok);
  EXPECT_THROW(ui.MessageBox(Box("z", "t", MsgButtons::Ok, MsgIcon::None)), AutomationError);

  ui.SetAnswers({"no"});
  EXPECT_EQ(ui.MessageBox(Box("z", "t", MsgButtons::YesNo, MsgIcon::None)), MsgAnswer::No);
}

TEST(ConsoleUi, TextsThatAreNotUtf8ArePrintedNotRefused) {
  std::ostringstream out;
  ConsoleUserInterface ui(out, {});
  ui.MessageBox(
      Box("Stra\xDF"
          "e",
          "M\xFCller", MsgButtons::Ok, MsgIcon::None));
  const auto lines = Lines(out.str());
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("\"title\":\"M\xEF\xBF\xBDller\""), std::string::npos) << lines[0];
}

class FakeDialog final : public ModalDialog {
 public:
  std::string Name() const override { return "frmCalPath"; }
  void Run(UserInterface& ui) override {
    MessageBoxRequest box;
    box.text = "Wählen Sie bitte einen KALENDER-Ordner aus!";
    box.title = "Velmora Kestrelink";
    box.icon = MsgIcon::Information;
    ui.MessageBox(box);
    ran = true;
  }
  bool ran = false;
};

TEST(ConsoleUi, DisplaysDialogsAndExplorersAreLinesInTheOrderTheyHappen) {
  Desk desk(R"({"folders": {
      "anna@example.com\\Kontakte": {"items": [{"class": "contact", "LastName": "Muster", "Subject": "Muster, Max",
          "FirstName": "Max", "userProperties": {"velSearch": "0000000001Adressen"}}]},
      "anna@example.com\\Kalender": {"items": [{"class": "appointment", "Subject": "Besuch"},
                                                {"class": "appointment", "Subject": "weg"}]}}})");
  std::ostringstream out;
  ConsoleUserInterface ui(out, {"ok"});
  ui.DisplayItem(desk.Items("Kontakte")[0], true);
  ui.DisplayItem(desk.Items("Kalender")[0], false);
  // What cannot be read of an item is left out, not an error.
  auto deleted = desk.Items("Kalender")[1];
  deleted->Delete();
  ui.DisplayItem(deleted, false);
  FakeDialog dialog;
  ui.ShowDialog(dialog);
  EXPECT_TRUE(dialog.ran);
  ui.ShowExplorer("\\\\anna@example.com\\Kalender", 2);
  ui.DoEvents();
  EXPECT_THROW(ui.DisplayItem(nullptr, true), AutomationError);

  const auto lines = Lines(out.str());
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0],
            "{\"event\":\"display\",\"item\":{\"class\":\"contact\",\"Subject\":\"Muster, Max\","
            "\"FileAs\":\"Muster, Max\",\"velSearch\":\"0000000001Adressen\"},\"modal\":true}");
  EXPECT_EQ(lines[1],
            "{\"event\":\"display\",\"item\":{\"class\":\"appointment\",\"Subject\":\"Besuch\"},"
            "\"modal\":false}");
  EXPECT_EQ(lines[2],
            "{\"event\":\"display\",\"item\":{\"class\":\"appointment\"},\"modal\":false}");
  EXPECT_EQ(lines[3], "{\"event\":\"dialog\",\"name\":\"frmCalPath\"}");
  EXPECT_EQ(lines[4],
            "{\"event\":\"msgbox\",\"title\":\"Velmora Kestrelink\",\"text\":\"Wählen Sie bitte "
            "einen KALENDER-Ordner aus!\",\"icon\":\"information\",\"buttons\":\"ok\","
            "\"default\":1,\"answer\":\"ok\"}");
  EXPECT_EQ(lines[5],
            "{\"event\":\"explorer\",\"folder\":\"\\\\\\\\anna@example.com\\\\Kalender\","
            "\"windowState\":2}");
}

}  // namespace
}  // namespace velklk::test
