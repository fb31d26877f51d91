// The shared text and look-up helpers.
#include "diagnostics/text_helpers.h"
#include "session/access.h"

#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include "diagnostics/fakes.h"
#include "session/shared_state.h"

namespace velklk {
namespace {

using testing::FakeFolder;
using testing::FakeFolders;
using testing::FakeItem;
using testing::FakeItems;

TEST(DecodeEscapes, ReplacesTheFiveSequencesCaseSensitively) {
  EXPECT_EQ(DecodeEscapes("a/nb"), "a\r\nb");
  EXPECT_EQ(DecodeEscapes("a/Nb"), "a/Nb");
  EXPECT_EQ(DecodeEscapes("/c/l/t/q"), "\r\n\t\"");
  EXPECT_EQ(DecodeEscapes("x/n/ny"), "x\r\n\r\ny");
  EXPECT_EQ(DecodeEscapes("//nn"), "/\r\nn");
  EXPECT_EQ(DecodeEscapes("Pfad a/b/c"), "Pfad a/b\r");
  EXPECT_EQ(DecodeEscapes(""), "");
}

TEST(FormatText, FillsPlaceholdersInOrderThenBreaksLines) {
  EXPECT_EQ(FormatText("Ordner für %s", {"Kontakte"}), "Ordner für Kontakte");
  EXPECT_EQ(FormatText("%s und %s/n%s", {"a", "b"}), "a und b\r\n%s");  // surplus "%s" stays
  EXPECT_EQ(FormatText("nur %s", {"a", "b", "c"}), "nur a");            // surplus values ignored
  EXPECT_EQ(FormatText("kein Platzhalter/n", {}), "kein Platzhalter\r\n");
  EXPECT_EQ(FormatText("%s%s", {"x", "y"}), "xy");
  // Values are inserted as they are: neither filled again nor broken.
  EXPECT_EQ(FormatText("%s: %s", {"100%s", "b"}), "100%s: b");
  EXPECT_EQ(FormatText("Ordner %s/nfehlt", {"Kontakte/neu"}), "Ordner Kontakte/neu\r\nfehlt");
}

RC_GTEST_PROP(FormatText, EveryValueAppearsVerbatim, (std::string a, std::string b)) {
  RC_ASSERT(FormatText("[%s|%s]", {a, b}) == "[" + a + "|" + b + "]");
}

TEST(ToBoolean, TrueOnlyForMinusOneAndTheTrueWords) {
  for (const Variant& yes : {Variant("-1"), Variant("True"), Variant("TRUE"), Variant("t"),
                             Variant("T"), Variant("wahr"), Variant("WaHr"), Variant("w"),
                             Variant(" -1"), Variant("-1abc"), Variant(-1), Variant(true)}) {
    EXPECT_TRUE(ToBoolean(yes)) << yes.ToText();
  }
  for (const Variant& no :
       {Variant("0"), Variant("1"), Variant("False"), Variant(""), Variant(), Variant("yes"),
        Variant("true "), Variant("-2"), Variant(1), Variant(false), Variant::Null()}) {
    EXPECT_FALSE(ToBoolean(no)) << no.ToText();
  }
}

TEST(GetSubCalendarFolder, SearchesDepthFirstAndTriesTwinsInOrder) {
  auto top = std::make_shared<FakeFolders>();
  auto store = std::make_shared<FakeFolder>("anna@example.com");
  top->folders.push_back(store);
  auto firstTwin = store->Add("Kalender");
  auto secondTwin = store->Add("Kalender");
  firstTwin->Add("Privat");
  auto wanted = secondTwin->Add("Team");
  auto deep = firstTwin->Add("Team");
  deep->Add("Archiv");

  EXPECT_EQ(GetSubCalendarFolder(top, {"anna@example.com", "Kalender", "Team"}, 0), deep);
  EXPECT_EQ(GetSubCalendarFolder(top, {"anna@example.com", "Kalender"}, 0), firstTwin);
  EXPECT_EQ(GetSubCalendarFolder(top, {"anna@example.com", "Kalender", "Team", "Archiv"}, 0),
            deep->children->folders[0]);
  // The first twin has no "Privat2"; neither has the second: nothing.
  EXPECT_EQ(GetSubCalendarFolder(top, {"anna@example.com", "Kalender", "Privat2"}, 0), nullptr);
  // Only the second twin has "Team" after removing it from the first.
  firstTwin->children->folders.pop_back();
  EXPECT_EQ(GetSubCalendarFolder(top, {"anna@example.com", "Kalender", "Team"}, 0), wanted);
  EXPECT_EQ(GetSubCalendarFolder(top, {"anna@example.com", "kalender"}, 0), nullptr);
  EXPECT_EQ(GetSubCalendarFolder(store->children, {"x", "Kalender"}, 1), firstTwin);
  // Levels outside the name list and missing collections find nothing.
  EXPECT_EQ(GetSubCalendarFolder(top, {}, 0), nullptr);
  EXPECT_EQ(GetSubCalendarFolder(top, {"anna@example.com"}, 1), nullptr);
  EXPECT_EQ(GetSubCalendarFolder(top, {"anna@example.com"}, -1), nullptr);
  EXPECT_EQ(GetSubCalendarFolder(nullptr, {"anna@example.com"}, 0), nullptr);
}

TEST(FindContactByVelSearch, FindsTheFirstContactWithExactlyThatKey) {
  auto items = std::make_shared<FakeItems>();
  auto list = FakeItem::Contact("Liste", "0000000001Adressen");
  list->itemClass = olclass::kDistList;
  auto muster = FakeItem::Contact("Muster", "0000000001Adressen");
  auto twin = FakeItem::Contact("Muster 2", "0000000001Adressen");
  auto quoted = FakeItem::Contact("Quote", "12\"34Adressen");
  items->items = {list, muster, twin, quoted};
  ResetState({}).mOlitems = items;

  EXPECT_EQ(FindContactByVelSearch("0000000001Adressen"), muster);
  EXPECT_EQ(items->filters.back(), "[velSearch] = \"0000000001Adressen\"");
  EXPECT_EQ(FindContactByVelSearch("0000000002Adressen"), nullptr);
  // A quote in the key is part of the key, not the end of the filter.
  EXPECT_EQ(FindContactByVelSearch("12\"34Adressen"), quoted);
  EXPECT_EQ(items->filters.back(), "[velSearch] = \"12\"\"34Adressen\"");
  EXPECT_EQ(FindContactByVelSearch("x\" OR [velSearch] > \""), nullptr);

  State().mOlitems = nullptr;
  EXPECT_THROW(FindContactByVelSearch("k"), AutomationError);
  ResetState({});
}

RC_GTEST_PROP(FindContactByVelSearch, AnyKeySurvivesTheFilter, (std::string key)) {
  auto items = std::make_shared<FakeItems>();
  auto other = FakeItem::Contact("other", key + "x");
  auto wanted = FakeItem::Contact("wanted", "");
  wanted->userProperties->Add("velSearch", OlUserPropertyType::Text)->SetValue(key);
  items->items = {other, wanted};
  ResetState({}).mOlitems = items;
  RC_ASSERT(FindContactByVelSearch(key) == std::shared_ptr<OlItem>(wanted));
  ResetState({});
}

TEST(FieldExists, ComparesNamesWithoutRegardToCase) {
  auto db = std::make_shared<testing::FakeDatabase>();
  db->tables["Adressen"] = std::make_shared<testing::FakeTable>(
      "Adressen", std::vector<std::string>{"ID", "Name", "TelefonMobil", "Straße"});
  ResetState({}).mDB = db;
  EXPECT_TRUE(FieldExists("Adressen", Variant("telefonmobil")));
  EXPECT_TRUE(FieldExists("Adressen", Variant("ID")));
  EXPECT_TRUE(FieldExists("Adressen", Variant("STRAßE")));
  EXPECT_FALSE(FieldExists("Adressen", Variant("STRASSE")));  // "ß" is not "SS"
  EXPECT_FALSE(FieldExists("Adressen", Variant("haus_zimmer")));
  EXPECT_FALSE(FieldExists("Adressen", Variant("")));
  EXPECT_THROW(FieldExists("Nirgends", Variant("ID")), AutomationError);
  State().mDB = nullptr;
  EXPECT_THROW(FieldExists("Adressen", Variant("ID")), AutomationError);
  ResetState({});
}

TEST(TextHelpers, QuotingAndSplitting) {
  EXPECT_EQ(QuoteLiteral("abc"), "\"abc\"");
  EXPECT_EQ(QuoteLiteral("a\"b"), "\"a\"\"b\"");
  EXPECT_EQ(QuoteLiteral(""), "\"\"");
  EXPECT_EQ(VelSearchFilter("0000000001Adressen"), "[velSearch] = \"0000000001Adressen\"");
  EXPECT_EQ(Split("", ';'), std::vector<std::string>{""});
  EXPECT_EQ(Split("a;;b;", ';'), (std::vector<std::string>{"a", "", "b", ""}));
  EXPECT_EQ(Split("abc", ';'), std::vector<std::string>{"abc"});
}

}  // namespace
}  // namespace velklk
