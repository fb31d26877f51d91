// The error reporter: the message box an unexpected error produces.
#include "diagnostics/error_report.h"
#include "session/helpers.h"

#include <gtest/gtest.h>

#include "components/error_text.h"
#include "session/shared_state.h"
#include "ui/recording_ui.h"

namespace velklk {
namespace {

class FailingErrorText final : public ErrorTextComponent {
 public:
  std::string ErrorText(unsigned long, const std::string&) const override {
    throw AutomationError(0x800706BAu, "ErrorText", "The RPC server is unavailable");
  }
};

TEST(ErrorReport, Error91FromInitTablesShowsTitleNumberSourceAndText) {
  TableErrorText texts;
  RecordingUserInterface ui;
  ResetState({}).mErr = std::make_shared<CAddonError>(&texts, &ui, "de");
  ReportError("modAppSync", ".InitTables",
              AutomationError(91, "modAppSync", "Object variable not set"));
  ReportError("CSync", "AddressOrContactSync2OL",
              AutomationError(err::kOlNotFound, "Microsoft Outlook", "not found"));
  const auto boxes = ui.MessageBoxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].title, "Fehler in modAppSync.InitTables");
  EXPECT_EQ(boxes[0].text, "Fehler &H5B in modAppSync\r\n" + texts.ErrorText(91, "de"));
  EXPECT_EQ(boxes[0].icon, MsgIcon::Exclamation);
  EXPECT_EQ(boxes[0].buttons, MsgButtons::Ok);
  EXPECT_EQ(boxes[1].title, "Fehler in CSync.AddressOrContactSync2OL");
  EXPECT_EQ(boxes[1].text.rfind("Fehler &H8004010F in Microsoft Outlook\r\n", 0), 0u);
  ResetState({});
}

TEST(ErrorReport, EnglishTextsComeFromTheComponentUnderAGermanFrame) {
  TableErrorText texts;
  RecordingUserInterface ui;
  CAddonError reporter(&texts, &ui, "en");
  reporter.ShowErrText("Appointment.ReadXmlIntoCollections", AutomationError(13, "velKLK", "x"));
  EXPECT_EQ(ui.MessageBoxes().at(0).text, "Fehler &HD in velKLK\r\nType mismatch");
  // An unknown number still shows the frame with an empty text.
  reporter.ShowErrText("m.p", AutomationError(0x12345u, "src", "x"));
  EXPECT_EQ(ui.MessageBoxes().at(1).text, "Fehler &H12345 in src\r\n");
}

TEST(ErrorReport, FailuresOfTheReporterReachTheCaller) {
  RecordingUserInterface ui;
  ResetState({});
  try {
    ReportError("modAppSync", ".InitTables", AutomationError(5, "x", "y"));
    FAIL() << "reported without a reporter";
  } catch (const AutomationError& error) {
    EXPECT_EQ(error.Number(), 91u);
  }
  FailingErrorText failing;
  State().mErr = std::make_shared<CAddonError>(&failing, &ui, "de");
  try {
    ReportError("modAppSync", ".InitTables", AutomationError(5, "x", "y"));
    FAIL();
  } catch (const AutomationError& error) {
    EXPECT_EQ(error.Number(), 0x800706BAu);  // replaces the reported error
  }
  EXPECT_TRUE(ui.Events().empty());
  State().mErr = std::make_shared<CAddonError>(nullptr, &ui, "de");
  EXPECT_THROW(ReportError("m", ".p", AutomationError(5, "x", "y")), AutomationError);
  ResetState({});
}

}  // namespace
}  // namespace velklk
