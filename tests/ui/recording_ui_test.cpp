// The recording user interface of the tests: what it records and how it
// answers.
#include "ui/recording_ui.h"

#include <gtest/gtest.h>

#include "diagnostics/fakes.h"
#include "platform/automation_error.h"

namespace velklk {
namespace {

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

  auto item = testing::FakeItem::Contact("Berg, Anna", "");
  ui.DisplayItem(item, true);
  ui.ShowExplorer("\\\\anna\\Kontakte", 1);

  const auto& events = ui.Events();
  ASSERT_EQ(events.size(), 4u);
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
  EXPECT_EQ(events[3].folderPath, "\\\\anna\\Kontakte");
  EXPECT_EQ(events[3].windowState, 1);
  EXPECT_EQ(ui.DoEventsCount(), 2);
  EXPECT_EQ(ui.MessageBoxes().size(), 2u);

  ui.Clear();
  EXPECT_TRUE(ui.Events().empty());
}

}  // namespace
}  // namespace velklk
