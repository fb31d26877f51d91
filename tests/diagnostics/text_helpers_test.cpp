// The shared text and look-up helpers.
#include "diagnostics/text_helpers.h"

#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include "session/access.h"
#include "support/desk.h"

namespace velklk::test {
namespace {

TEST(TextHelpers, DecodeEscapesReplacesTheFiveSequencesCaseSensitively) {
  EXPECT_EQ(DecodeEscapes("a/nb"), "a\r\nb");
  EXPECT_EQ(DecodeEscapes("a/Nb"), "a/Nb");
  EXPECT_EQ(DecodeEscapes("/c/l/t/q"), "\r\n\t\"");
  EXPECT_EQ(DecodeEscapes("x/n/ny"), "x\r\n\r\ny");
  EXPECT_EQ(DecodeEscapes("//nn"), "/\r\nn");
  EXPECT_EQ(DecodeEscapes("Pfad a/b/c"), "Pfad a/b\r");
  EXPECT_EQ(DecodeEscapes(""), "");
}

TEST(TextHelpers, FormatTextFillsPlaceholdersInOrderThenBreaksLines) {
  EXPECT_EQ(FormatText("Ordner für %s", {"Kontakte"}), "Ordner für Kontakte");
  EXPECT_EQ(FormatText("%s und %s/n%s", {"a", "b"}), "a und b\r\n%s");  // surplus "%s" stays
  EXPECT_EQ(FormatText("nur %s", {"a", "b", "c"}), "nur a");            // surplus values ignored
  EXPECT_EQ(FormatText("kein Platzhalter/n", {}), "kein Platzhalter\r\n");
  EXPECT_EQ(FormatText("%s%s", {"x", "y"}), "xy");
  // Values are inserted as they are: neither filled again nor broken.
  EXPECT_EQ(FormatText("%s: %s", {"100%s", "b"}), "100%s: b");
  EXPECT_EQ(FormatText("Ordner %s/nfehlt", {"Kontakte/neu"}), "Ordner Kontakte/neu\r\nfehlt");
}

RC_GTEST_PROP(TextHelpers, FormatTextInsertsEveryValueVerbatim, (std::string a, std::string b)) {
  RC_ASSERT(FormatText("[%s|%s]", {a, b}) == "[" + a + "|" + b + "]");
}

TEST(TextHelpers, ToBooleanIsTrueOnlyForMinusOneAndTheTrueWords) {
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

TEST(TextHelpers, QuotingAndSplitting) {
  EXPECT_EQ(QuoteLiteral("a\"b"), "\"a\"\"b\"");
  EXPECT_EQ(QuoteLiteral(""), "\"\"");
  EXPECT_EQ(VelSearchFilter("0000000001Adressen"), "[velSearch] = \"0000000001Adressen\"");
  EXPECT_EQ(Split("", ';'), std::vector<std::string>{""});
  EXPECT_EQ(Split("a;;b;", ';'), (std::vector<std::string>{"a", "", "b", ""}));
}

TEST(GetSubCalendarFolder, SearchesTheNamedPathDepthFirst) {
  Desk desk(R"({"folders": {"anna@example.com\\Kalender": {"folders": [
      {"name": "Privat", "type": 1}, {"name": "Team", "type": 1, "folders": [
        {"name": "Archiv", "type": 1}]}]}}})");
  auto stores = desk.outlook().Application()->GetNamespace("MAPI")->Folders();
  const auto path = [&](const std::vector<std::string>& names, int level = 0) {
    auto folder = GetSubCalendarFolder(stores, names, level);
    return folder ? folder->FolderPath() : std::string("<none>");
  };
  EXPECT_EQ(path({"anna@example.com", "Kalender"}), "\\\\anna@example.com\\Kalender");
  EXPECT_EQ(path({"anna@example.com", "Kalender", "Team", "Archiv"}),
            "\\\\anna@example.com\\Kalender\\Team\\Archiv");
  EXPECT_EQ(path({"anna@example.com", "Kalender", "Privat2"}), "<none>");
  EXPECT_EQ(path({"anna@example.com", "kalender"}), "<none>");  // names compared exactly
  // Levels outside the name list and missing collections find nothing.
  EXPECT_EQ(path({}), "<none>");
  EXPECT_EQ(path({"anna@example.com"}, 1), "<none>");
  EXPECT_EQ(path({"anna@example.com"}, -1), "<none>");
  EXPECT_EQ(GetSubCalendarFolder(nullptr, {"anna@example.com"}, 0), nullptr);
}

// Contacts with these velSearch keys, a distribution list with the first key
// in front of them.
std::string Contacts(const std::vector<std::string>& keys) {
  std::string items =
      R"({"class": "distlist", "DLName": "Liste", "userProperties": {"velSearch": ")" +
      keys.front() + R"("}})";
  for (std::size_t i = 0; i < keys.size(); ++i)
    items += R"(, {"class": "contact", "LastName": "C)" + std::to_string(i) +
             R"(", "userProperties": {"velSearch": ")" + keys[i] + R"("}})";
  return R"({"folders": {"anna@example.com\\Kontakte": {
      "userPropertyDefinitions": {"velSearch": "text"}, "items": [)" +
         items + "]}}}";
}

TEST(FindContactByVelSearch, FindsTheFirstContactWithExactlyThatKey) {
  Desk desk(Contacts({"0000000001Adressen", "0000000001Adressen", "12\\\"34Adressen"}));
  desk.state().mOlitems = desk.Folder()->Items();
  const auto name = [](const std::shared_ptr<OlItem>& item) {
    return item ? item->Get("LastName").ToText() : std::string("<none>");
  };
  EXPECT_EQ(name(FindContactByVelSearch("0000000001Adressen")), "C0");
  EXPECT_EQ(name(FindContactByVelSearch("0000000002Adressen")), "<none>");
  // A quote in the key is part of the key (any key: the property below).
  EXPECT_EQ(name(FindContactByVelSearch("x\" OR [velSearch] > \"")), "<none>");
  desk.state().mOlitems = nullptr;
  EXPECT_NE(ErrorOf([] { FindContactByVelSearch("k"); }), 0u);
}

RC_GTEST_PROP(FindContactByVelSearch, AnyKeySurvivesTheFilter, ()) {
  const std::string key = *rc::gen::container<std::string>(
      rc::gen::oneOf(rc::gen::inRange<char>(' ', '~'), rc::gen::element('"', '\\', '[', ']')));
  Desk desk;
  desk.Folder()->UserDefinedProperties()->Add("velSearch", OlUserPropertyType::Text);
  auto items = desk.Folder()->Items();
  for (const std::string& k : {key + "x", key}) {
    auto c = items->Add(OlItemType::Contact);
    c->Set("LastName", k == key ? "wanted" : "other");
    c->UserProperties()->Add("velSearch", OlUserPropertyType::Text)->SetValue(k);
    c->Save();
  }
  desk.state().mOlitems = items;
  auto found = FindContactByVelSearch(key);
  RC_ASSERT(found != nullptr);
  RC_ASSERT(found->Get("LastName").ToText() == "wanted");
}

TEST(FieldExists, ComparesNamesWithoutRegardToCase) {
  Desk desk(
      R"({"host": {"schema": {"Adressen": {"add": {"Maße": {"type": "text", "size": 40}}}}}})");
  desk.state().mDB = desk.host().Database();
  EXPECT_TRUE(FieldExists("Adressen", Variant("telefonmobil")));
  EXPECT_TRUE(FieldExists("Adressen", Variant("ID")));
  EXPECT_TRUE(FieldExists("Adressen", Variant("MAßE")));
  EXPECT_FALSE(FieldExists("Adressen", Variant("MASSE")));  // "ß" is not "SS"
  EXPECT_FALSE(FieldExists("Adressen", Variant("Farbe")));
  EXPECT_FALSE(FieldExists("Adressen", Variant("")));
  EXPECT_NE(ErrorOf([] { FieldExists("Nirgends", Variant("ID")); }), 0u);
  desk.state().mDB = nullptr;
  EXPECT_NE(ErrorOf([] { FieldExists("Adressen", Variant("ID")); }), 0u);
}

}  // namespace
}  // namespace velklk::test
