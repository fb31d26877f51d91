// The JSON lines of the console user interface, as the velklk command prints
// them: one object per event, keys in a fixed order (golden file).
#include "ui/console_ui.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <sstream>

#include "support/desk.h"

namespace velklk::test {
namespace {

MessageBoxRequest Box(std::string text, std::string title, MsgButtons buttons, MsgIcon icon,
                      int defaultButton = 1) {
  return MessageBoxRequest{std::move(text), std::move(title), buttons, icon, defaultButton};
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Answers in order, then the default button (the first for a box with only
// OK); texts that are not UTF-8 printed, not refused; displays and
// explorers in the order they happen; what cannot be read of an item is
// left out (dialogs: dialog_answers_test.cpp).
TEST(ConsoleUi, EveryEventIsOneLineInTheOrderItHappens) {
  Desk desk(R"({"folders": {
      "anna@example.com\\Kontakte": {"items": [{"class": "contact", "LastName": "Muster",
          "FirstName": "Max", "Subject": "Muster, Max",
          "userProperties": {"velSearch": "0000000001Adressen"}}]},
      "anna@example.com\\Kalender": {"items": [{"class": "appointment", "Subject": "Besuch"},
                                                {"class": "appointment", "Subject": "weg"}]}}})");
  std::ostringstream out;
  ConsoleUserInterface ui(out, {"yes", "cancel"});
  EXPECT_EQ(ui.MessageBox(Box("Jetzt Kontakte löschen?/n", "Velmora Kestrelink", MsgButtons::YesNo,
                              MsgIcon::Exclamation, 2)),
            MsgAnswer::Yes);
  EXPECT_EQ(ui.MessageBox(
                Box("Zeile 1\r\nZeile \"2\"", "Titel", MsgButtons::OkCancel, MsgIcon::Question)),
            MsgAnswer::Cancel);
  EXPECT_EQ(ui.MessageBox(Box("a", "t", MsgButtons::YesNo, MsgIcon::Exclamation, 2)),
            MsgAnswer::No);
  EXPECT_EQ(ui.MessageBox(Box("b", "t", MsgButtons::OkCancel, MsgIcon::None, 1)), MsgAnswer::Ok);
  EXPECT_EQ(ui.MessageBox(Box("c", "t", MsgButtons::Ok, MsgIcon::Critical, 2)), MsgAnswer::Ok);
  ui.MessageBox(
      Box("Stra\xDF"
          "e",
          "M\xFCller", MsgButtons::Ok, MsgIcon::None));

  ui.DisplayItem(desk.Items("Kontakte")[0], true);
  ui.DisplayItem(desk.Items("Kalender")[0], false);
  auto deleted = desk.Items("Kalender")[1];
  deleted->Delete();
  ui.DisplayItem(deleted, false);
  ui.ShowExplorer("\\\\anna@example.com\\Kalender", 2);
  ui.DoEvents();
  EXPECT_NE(ErrorOf([&] { ui.DisplayItem(nullptr, true); }), 0u);
  ExpectGolden("ui/golden/console.jsonl", Lines(out.str()));
}

TEST(ConsoleUi, AnswersThatDoNotFitAreClearErrors) {
  std::ostringstream ignored;
  EXPECT_NE(ErrorOf([&] { ConsoleUserInterface ui(ignored, {"ok", "maybe"}); }), 0u);

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
  EXPECT_NE(ErrorOf([&] { ui.MessageBox(Box("z", "t", MsgButtons::Ok, MsgIcon::None)); }), 0u);
  ui.SetAnswers({"no"});
  EXPECT_EQ(ui.MessageBox(Box("z", "t", MsgButtons::YesNo, MsgIcon::None)), MsgAnswer::No);
}

}  // namespace
// Ten seconds of a run of 10,000 steps: JSON events at most once a second,
// the terminal line at most ten times a second and ended with the totals;
// a run shorter than the first interval shows nothing.
TEST(ConsoleUi, ProgressIsShownAtMostAsOftenAsItsStyleAllows) {
  using namespace std::chrono;
  for (const auto style : {ConsoleUserInterface::ProgressStyle::JsonLines,
                           ConsoleUserInterface::ProgressStyle::TerminalLine}) {
    std::ostringstream out, terminal;
    ConsoleUserInterface ui(out, {});
    ui.ShowProgress(style, &terminal);
    steady_clock::time_point now{};
    ui.SetProgressClock([&] { return now; });
    for (long done = 0; done <= 10000; ++done, now += milliseconds(1))
      ui.Progress("Sync", done, 10000);
    ui.ProgressEnd();
    for (long done = 0; done <= 100; ++done, now += milliseconds(1)) ui.Progress("Sync", done, 100);
    ui.ProgressEnd();
    if (style == ConsoleUserInterface::ProgressStyle::JsonLines) {
      const auto lines = Lines(out.str());
      EXPECT_EQ(lines.size(), 10u) << out.str();  // seconds 1 to 10
      EXPECT_EQ(lines.front(), R"({"event":"progress","done":1000,"total":10000})");
      EXPECT_TRUE(terminal.str().empty());
    } else {
      const std::string shown = terminal.str();
      EXPECT_EQ(std::count(shown.begin(), shown.end(), '\r'), 96 + 1) << shown;  // 0.5 s to 10 s
      EXPECT_NE(shown.find("Sync: 600 / 10000 (6%), 1000/s"), std::string::npos) << shown;
      const std::string end = "\rSync: 10000 / 10000\x1b[K\n";
      EXPECT_EQ(shown.substr(shown.size() - end.size()), end);
      EXPECT_TRUE(out.str().empty());
    }
  }
}

}  // namespace velklk::test
