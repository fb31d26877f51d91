// The recording user interface of the tests: what it records and how it
// answers.
#include "ui/recording_ui.h"

#include <gtest/gtest.h>

#include "support/desk.h"

namespace velklk::test {
namespace {

class CountingDialog final : public ModalDialog {
 public:
  std::string Name() const override { return "frmTerminTypConfig"; }
  void Run(UserInterface&) override { ++runs; }
  int runs = 0;
};

TEST(RecordingUi, RecordsEveryEventAndAnswersFromTheScript) {
  RecordingUserInterface ui({MsgAnswer::No});
  MessageBoxRequest box;
  box.text = "Jetzt Termine (aus Velmora) löschen?";
  box.buttons = MsgButtons::YesNo;
  box.defaultButton = 1;
  EXPECT_EQ(ui.MessageBox(box), MsgAnswer::No);
  EXPECT_EQ(ui.MessageBox(box), MsgAnswer::Yes);  // script ran out: default button 1
  ui.AddAnswer(MsgAnswer::Cancel);
  EXPECT_THROW(ui.MessageBox(box), AutomationError);  // Cancel is no button of Yes/No
  ui.DoEvents();
  ui.DoEvents();

  Desk desk(R"({"folders": {"anna@example.com\\Kontakte": {"items": [
      {"class": "contact", "LastName": "Berg", "FirstName": "Anna"}]}}})");
  auto item = desk.Items()[0];
  ui.DisplayItem(item, true);
  CountingDialog dialog;
  ui.ShowDialog(dialog);
  ui.SetDialogHandler([](ModalDialog& shown, UserInterface& host) {
    MessageBoxRequest inner;
    inner.text = shown.Name();
    host.MessageBox(inner);
  });
  ui.ShowDialog(dialog);
  ui.ShowExplorer("\\\\anna\\Kontakte", 1);

  const auto& events = ui.Events();
  ASSERT_EQ(events.size(), 7u);
  EXPECT_EQ(events[0].kind, UiEvent::Kind::MessageBox);
  EXPECT_FALSE(events[0].answeredByDefault);
  EXPECT_TRUE(events[1].answeredByDefault);
  EXPECT_EQ(events[1].answer, MsgAnswer::Yes);
  EXPECT_EQ(events[2].kind, UiEvent::Kind::Display);
  EXPECT_EQ(events[2].item, item);
  EXPECT_EQ(events[2].summary.className, "contact");
  EXPECT_EQ(events[2].summary.fileAs, "Berg, Anna");
  EXPECT_FALSE(events[2].summary.velSearch.has_value());
  EXPECT_TRUE(events[2].modal);
  EXPECT_EQ(events[3].dialogName, "frmTerminTypConfig");
  EXPECT_EQ(dialog.runs, 1);  // the handler replaced the second run
  EXPECT_EQ(events[4].kind, UiEvent::Kind::Dialog);
  EXPECT_EQ(events[5].box.text, "frmTerminTypConfig");
  EXPECT_EQ(events[6].folderPath, "\\\\anna\\Kontakte");
  EXPECT_EQ(events[6].windowState, 1);
  EXPECT_EQ(ui.DoEventsCount(), 2);
  EXPECT_EQ(ui.MessageBoxes().size(), 3u);

  ui.Clear();
  EXPECT_TRUE(ui.Events().empty());
}

}  // namespace
}  // namespace velklk::test
