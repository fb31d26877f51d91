// The value types every subsystem relies on: automation dates, variants and
// automation errors.
#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include "platform/auto_date.h"
#include "platform/automation_error.h"
#include "platform/text_case.h"
#include "platform/variant.h"

namespace velklk {
namespace {

TEST(AutoDate, ValuesFormatsParsingAndDifferences) {
  EXPECT_EQ(AutoDate::FromParts(1899, 12, 30).Value(), 0.0);
  EXPECT_EQ(AutoDate::FromParts(1900, 1, 1).Value(), 2.0);
  EXPECT_EQ(AutoDate::FromParts(4501, 1, 1).Value(), kNoDateValue);
  EXPECT_TRUE(kNoDate.IsNoDate());
  EXPECT_EQ(AutoDate::FromParts(2026, 12, 6, 10, 0, 0).Format(), "2026-12-06 10:00:00");
  EXPECT_EQ(AutoDate(-1.25).Format(), "1899-12-29 06:00:00");
  EXPECT_EQ(ShortDate(AutoDate::FromParts(2026, 12, 1), "de"), "01.12.2026");
  EXPECT_EQ(ShortDate(AutoDate::FromParts(2026, 12, 1), "en"), "01/12/2026");

  EXPECT_EQ(AutoDate::Parse("2026-12-06 10:11:12")->Format(), "2026-12-06 10:11:12");
  EXPECT_EQ(AutoDate::Parse("2026-12-06")->Format(), "2026-12-06 00:00:00");
  for (const char* bad : {"", "2026-02-30", "2026-12-06 24:00:00", "06.12.2026x", "2026-1-6",
                          "2026-12-06 10:11", "abc"})
    EXPECT_FALSE(AutoDate::Parse(bad).has_value()) << bad;
  EXPECT_EQ(ParseShortDate("1.12.2026")->FormatDate(), "2026-12-01");
  EXPECT_EQ(ParseShortDate("31/12/2026")->FormatDate(), "2026-12-31");
  EXPECT_FALSE(ParseShortDate("31.02.2026").has_value());

  // Differences count calendar days and seconds.
  const AutoDate lateEvening = AutoDate::FromParts(2026, 12, 6, 23, 59, 55);
  const AutoDate afterMidnight = AutoDate::FromParts(2026, 12, 7, 0, 0, 4);
  EXPECT_EQ(DayDiff(lateEvening, afterMidnight), 1);
  EXPECT_EQ(SecondDiff(lateEvening, afterMidnight), 9);
  EXPECT_EQ(DayDiff(afterMidnight, lateEvening), -1);
  const AutoDate morning = AutoDate::FromParts(2026, 12, 6, 0, 0, 1);
  EXPECT_EQ(DayDiff(morning, lateEvening), 0);
}

RC_GTEST_PROP(AutoDate, SecondsRoundTripThroughTheDoubleForm, ()) {
  // Any second from the year 100 to the year 9999, the range of text dates.
  const long long s = *rc::gen::inRange(-56'700'000'000LL, 252'000'000'000LL);
  const AutoDate d = AutoDate::FromSeconds(s);
  RC_ASSERT(d.Seconds() == s);
  const auto parsed = AutoDate::Parse(d.Format());
  RC_ASSERT(parsed.has_value());
  RC_ASSERT(parsed->Seconds() == s);
}

TEST(Variant, ConversionsFollowTheAutomationRules) {
  EXPECT_EQ(Variant(true).ToText(), "True");
  EXPECT_EQ(Variant(false).ToText(), "False");
  EXPECT_EQ(Variant("12abc").ToLong(), 12);
  EXPECT_EQ(Variant("abc").ToLong(), 0);
  EXPECT_EQ(Variant(" -3.5x").ToDouble(), -3.5);
  EXPECT_EQ(Variant(true).ToLong(), -1);
  EXPECT_TRUE(Variant("TRUE").ToBool());
  EXPECT_FALSE(Variant("0").ToBool());
  EXPECT_TRUE(Variant("-1").ToBool());
  EXPECT_EQ(Variant(2.5).ToText(), "2.5");
  EXPECT_EQ(Variant(3.0).ToText(), "3");
  EXPECT_EQ(Variant().ToText(), "");
  EXPECT_EQ(Variant::Null().ToText(), "");
  EXPECT_EQ(Variant("2026-12-06").ToDate(), AutoDate::FromParts(2026, 12, 6));
  EXPECT_TRUE(Variant(VariantList{Variant("Termin"), Variant("Besuch")}).IsList());
  try {
    (void)Variant(VariantList{}).ToText();
    FAIL() << "a list has no text";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.Number(), err::kTypeMismatchRt);
  }
  EXPECT_THROW((void)Variant("no date").ToDate(), AutomationError);
}

TEST(AutomationError, NumbersAndTheIgnoringHelper) {
  const AutomationError e(err::kOlNotFound, "Outlook", "not found");
  EXPECT_EQ(e.NumberText(), "0x8004010F");
  EXPECT_EQ(e.HexText(), "8004010F");
  EXPECT_EQ(AutomationError(91, "x", "y").NumberText(), "91");
  int steps = 0;
  EXPECT_FALSE(IgnoreError([&] {
    ++steps;
    throw e;
  }));
  EXPECT_TRUE(IgnoreError([&] { ++steps; }));
  EXPECT_EQ(steps, 2);
  // Other exceptions are not swallowed.
  EXPECT_THROW(IgnoreError([] { throw std::runtime_error("x"); }), std::runtime_error);
}

TEST(TextCase, OneCharacterAtATime) {
  EXPECT_TRUE(EqualsNoCase("Müller", "MÜLLER"));
  EXPECT_FALSE(EqualsNoCase("Straße", "STRASSE"));  // "ß" is not two letters
  EXPECT_EQ(UpperCase("straße"), "STRAßE");
  EXPECT_EQ(LowerCase("ÄRGER"), "ärger");
  const std::string broken = "a\xFF\xC3" "b";  // not UTF-8: bytes kept as they are
  EXPECT_EQ(UpperCase(broken), "A\xFF\xC3" "B");
}

}  // namespace
}  // namespace velklk
