// The restriction engine as the synchronisation uses it: operators, case,
// missing and undefined properties, dates, quotes and malformed filters,
// evaluated by the store on real items.
#include "outlook/filter.h"

#include <vector>

#include "outlook_test_support.h"

namespace velklk {
namespace {

using nlohmann::json;
using test::ErrorOf;
using test::Fixture;
using test::Store;
using test::TempProfile;

class FilterTest : public ::testing::Test {
 protected:
  void SetUp() override { store_.Load(Fixture("filter")); }

  // The subjects (or FileAs) of every match, in folder order.
  std::vector<std::string> Walk(const std::string& folder, const std::string& filter) {
    auto items = store_.outlook->FindFolder("anna@example.com\\" + folder)->Items();
    std::vector<std::string> out;
    for (auto item = items->Find(filter); item; item = items->FindNext())
      out.push_back(item->Class() == olclass::kContact ? item->Get("FileAs").ToText()
                                                       : item->Get("Subject").ToText());
    return out;
  }
  std::vector<std::string> Tasks(const std::string& filter) { return Walk("Aufgaben", filter); }

  TempProfile profile_;
  Store store_{profile_};
};

using V = std::vector<std::string>;

TEST_F(FilterTest, EachOperatorOnNumbersAndTexts) {
  EXPECT_EQ(Tasks("[PercentComplete] = 50"), V({"angebot"}));
  EXPECT_EQ(Tasks("[PercentComplete] <> 50"), V({"Angebot", "Rechnung \"Mai\"", "Straße"}));
  EXPECT_EQ(Tasks("[PercentComplete] < 100"), V({"Angebot", "angebot", "Straße"}));
  EXPECT_EQ(Tasks("[PercentComplete] > 50"), V({"Rechnung \"Mai\"", "Straße"}));
  EXPECT_EQ(Tasks("[PercentComplete] <= 50"), V({"Angebot", "angebot"}));
  EXPECT_EQ(Tasks("[PercentComplete] >= 99"), V({"Rechnung \"Mai\"", "Straße"}));
  // A quoted number compares as a number on a numeric property ("100" < "99" as texts).
  EXPECT_EQ(Tasks("[PercentComplete] < \"100\""), V({"Angebot", "angebot", "Straße"}));
  EXPECT_EQ(Tasks("[Subject] > \"R\""), V({"Rechnung \"Mai\"", "Straße"}));
  EXPECT_EQ(Tasks("[Subject] <= \"angebot\""), V({"Angebot", "angebot"}));
}

TEST_F(FilterTest, TextsAndKeywordsIgnoreCase) {
  EXPECT_EQ(Tasks("[Subject] = \"ANGEBOT\""), V({"Angebot", "angebot"}));
  EXPECT_EQ(Tasks("[Subject] = \"STRASSE\""), V({"Straße"}));
  EXPECT_EQ(Tasks("[subject] = \"angebot\" AND [PercentComplete] = 0"), V({"Angebot"}));
  EXPECT_EQ(Tasks("[PercentComplete] = 0 oR [PercentComplete] = 100"),
            V({"Angebot", "Rechnung \"Mai\""}));
  EXPECT_EQ(Tasks("nOt ([PercentComplete] < 100)"), V({"Rechnung \"Mai\""}));
  // And binds closer than Or; Not closer than And.
  EXPECT_EQ(Tasks("[PercentComplete] = 0 Or [PercentComplete] = 50 And [Subject] = \"x\""),
            V({"Angebot"}));
  EXPECT_EQ(Tasks("Not [PercentComplete] = 0 And [PercentComplete] < 99"), V({"angebot"}));
  // Equality on velSearch goes through the index and still ignores case.
  EXPECT_EQ(Tasks("[velSearch] = \"2TASKS\""), V({"angebot"}));
  EXPECT_EQ(Tasks("[velSearch] = \"2Tasks\" and [PercentComplete] = 0"), V());
}

TEST_F(FilterTest, ItemsWithoutThePropertyNeverSatisfyAComparison) {
  EXPECT_EQ(Tasks("[PercentComplete] < 100 And [velGroupName] > \"0\""), V({"Angebot"}));
  EXPECT_EQ(Tasks("[PercentComplete] < 100 And Not ([velGroupName] > \"0\")"),
            V({"angebot", "Straße"}));
  EXPECT_EQ(Tasks("[velGroupName] <> \"Vertrieb\""), V({"angebot", "Straße"}));
  EXPECT_EQ(Tasks("[velStatus1] = True"), V({"Angebot"}));
  EXPECT_EQ(Tasks("[velStatus1] = \"False\""), V({"angebot"}));
  // Old-release markers: "{" itself does not match, "{old}" does.
  EXPECT_EQ(Walk("Kontakte", "[velACOID] > \"{\""), V({"Acme GmbH"}));
  // A distribution list has no FileAs and so never matches on it.
  EXPECT_EQ(Walk("Kontakte", "[FileAs] = \"Muster, Max\""), V({"Muster, Max"}));
  EXPECT_EQ(Walk("Kontakte", "[FileAs] <> \"x\""), V({"Muster, Max", "Acme GmbH"}));
}

TEST_F(FilterTest, UserPropertiesTheFolderDoesNotDefineCannotBeFiltered) {
  EXPECT_EQ(ErrorOf([&] { Tasks("[velOnlyOnItem] = \"x\""); }), outlook::kFilterError);
  EXPECT_EQ(ErrorOf([&] { Tasks("[NoSuchProperty] = 1"); }), outlook::kFilterError);
  // Once the folder defines it, the item that has it matches.
  store_.outlook->FindFolder("anna@example.com\\Aufgaben")
      ->UserDefinedProperties()
      ->Add("velOnlyOnItem", OlUserPropertyType::Text);
  EXPECT_EQ(Tasks("[velOnlyOnItem] = \"x\""), V({"Straße"}));
  // A value of the wrong kind for the property is refused as well.
  EXPECT_EQ(ErrorOf([&] { Tasks("[PercentComplete] = \"viel\""); }), outlook::kFilterError);
  EXPECT_EQ(ErrorOf([&] { Tasks("[DueDate] > \"gestern\""); }), outlook::kFilterError);
}

TEST_F(FilterTest, DatesAreShortDatesComparedOnTheirValue) {
  EXPECT_EQ(Tasks("[DueDate] = \"01.12.2026\""), V({"Angebot"}));
  EXPECT_EQ(Tasks("[DueDate] > \"01.12.2026\""), V({"Rechnung \"Mai\""}));
  EXPECT_EQ(Tasks("[DueDate] < \"2.12.2026\""), V({"Angebot"}));
  // With a time the comparison is to the second.
  EXPECT_EQ(Tasks("[DueDate] > \"01.12.2026 09:00\""), V({"Angebot", "Rechnung \"Mai\""}));
  EXPECT_EQ(Tasks("[DueDate] > \"01.12.2026 10:00\""), V({"Rechnung \"Mai\""}));
  // The English short date reads the same; unset dates (4501) never match.
  EXPECT_EQ(Tasks("[DueDate] < \"31/12/2030\""), V({"Angebot", "Rechnung \"Mai\""}));
  EXPECT_EQ(Tasks("Not ([DueDate] < \"31/12/2030\")"), V({"angebot", "Straße"}));
  EXPECT_EQ(Walk("Kontakte", "[Birthday] = \"17.05.1970\""), V({"Muster, Max"}));
  EXPECT_EQ(Walk("Kontakte", "[Birthday] > \"01.01.1900\""), V({"Muster, Max"}));
}

TEST_F(FilterTest, QuotedValuesKeepTheirText) {
  EXPECT_EQ(Tasks("[Subject] = \"Rechnung \"\"Mai\"\"\""), V({"Rechnung \"Mai\""}));
  EXPECT_EQ(Tasks("[Subject] = \"Angebot And [x] = 1\""), V());
  EXPECT_EQ(Tasks("  ( [Subject]=\"angebot\" )  and([PercentComplete]>=50)"), V({"angebot"}));
  // Single quotation marks take the same values; each kind stands inside the other.
  EXPECT_EQ(Tasks("[Subject] = 'Rechnung \"Mai\"'"), V({"Rechnung \"Mai\""}));
  EXPECT_EQ(Tasks("[Subject] = 'ANGEBOT' And [PercentComplete] < '50'"), V({"Angebot"}));
  EXPECT_EQ(Tasks("[Subject] = 'Angebot'' Or [x] = ''1' Or [Subject] = \"Angebot'\""), V());
  EXPECT_EQ(Tasks("[DueDate] < '31/12/2030' And [velStatus1] = 'True'"), V({"Angebot"}));
}

TEST_F(FilterTest, MalformedFiltersRaiseAnAutomationError) {
  for (const char* bad : {"",
                          "   ",
                          "[Subject]",
                          "[Subject] =",
                          "[Subject] = angebot",
                          "[Subject] == \"a\"",
                          "[Subject] = \"a",
                          "[Subject] = 'a",
                          "[Subject] = 'a\"",
                          "[Subject] = \"a'",
                          "[Subject] = 'a'' And [Body] = 'b",
                          "[Subject = \"a\"",
                          "[] = \"a\"",
                          "([Subject] = \"a\"",
                          "[Subject] = \"a\")",
                          "[Subject] = \"a\" And",
                          "And [Subject] = \"a\"",
                          "[Subject] = \"a\" [Body] = \"b\"",
                          "Not",
                          "[PercentComplete] = 1e",
                          "@SQL=\"x\" = 1",
                          "[Subject] ! \"a\"",
                          "[PercentComplete] = inf"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(ErrorOf([&] { Tasks(bad); }), outlook::kFilterError);
  }
  std::string deep(500, '(');
  EXPECT_EQ(ErrorOf([&] { Tasks(deep + "[Subject] = \"a\"" + std::string(500, ')')); }),
            outlook::kFilterError);
  std::string nots;
  for (int i = 0; i < 500; ++i) nots += "Not ";
  EXPECT_EQ(ErrorOf([&] { Tasks(nots + "[Subject] = \"a\""); }), outlook::kFilterError);
}

}  // namespace
}  // namespace velklk
