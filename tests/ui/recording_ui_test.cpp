// The recording user interface of the tests: how it answers and what it
// keeps.
#include "ui/recording_ui.h"

#include <gtest/gtest.h>

#include "support/desk.h"

namespace velklk::test {
namespace {

TEST(RecordingUi, AnswersFromTheScriptThenTheDefaultAndRecordsInOrder) {
  Desk desk(R"({"folders": {"anna@example.com\\Kontakte": {"items": [
      {"class": "contact", "LastName": "Berg", "FirstName": "Anna"}]}}})");
  RecordingUserInterface ui({MsgAnswer::No});
  MessageBoxRequest box;
  box.buttons = MsgButtons::YesNo;
  EXPECT_EQ(ui.MessageBox(box), MsgAnswer::No);
  EXPECT_EQ(ui.MessageBox(box), MsgAnswer::Yes);  // script ran out: default button 1
  ui.AddAnswer(MsgAnswer::Cancel);
  EXPECT_NE(ErrorOf([&] { ui.MessageBox(box); }), 0u);  // Cancel is no button of Yes/No
  ui.DoEvents();
  ui.DoEvents();

  ui.DisplayItem(desk.Items()[0], true);

  const auto& events = ui.Events();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_TRUE(events[1].answeredByDefault);
  EXPECT_EQ(events[2].summary.fileAs, "Berg, Anna");
  EXPECT_EQ(ui.DoEventsCount(), 2);
  ui.Clear();
  EXPECT_TRUE(ui.Events().empty());
}

}  // namespace
}  // namespace velklk::test
