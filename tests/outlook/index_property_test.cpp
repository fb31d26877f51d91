// Property: after any sequence of adds, key changes and deletions, an
// equality find on velSearch or FileAs and a range find on a text property
// (answered from the indexes) walk exactly the items a scan finds (the same
// condition under a double Not, which the indexes do not serve), with the
// value in double or in single quotation marks.
#include <gtest/gtest.h>
#include <rapidcheck.h>
#include <rapidcheck/gtest.h>

#include <vector>

#include "outlook_test_support.h"

namespace velklk {
namespace {

using test::Store;

// A text literal in the given quotation mark, the mark doubled inside.
std::string Quoted(const std::string& text, char mark) {
  std::string out(1, mark);
  for (char c : text) {
    out.push_back(c);
    if (c == mark) out.push_back(c);
  }
  return out + mark;
}

std::vector<std::string> Walk(OlItems& items, const std::string& filter) {
  std::vector<std::string> ids;
  for (auto item = items.Find(filter); item; item = items.FindNext())
    ids.push_back(item->EntryId());
  return ids;
}

RC_GTEST_PROP(OutlookIndex, IndexedFindsEqualScans, ()) {
  Store store(Store::InMemory{});
  store.Load(nlohmann::json::parse(R"({"stores": [{"name": "a", "folders": [
      {"name": "K", "type": 2, "userPropertyDefinitions": {"velSearch": "text"}}]}]})"));
  auto items = store.outlook->FindFolder("a\\K")->Items();
  const std::vector<std::string> keys = {"1Adressen", "1adressen", "2Adressen", "",
                                         "Straße",    "STRASSE",   "{0A1B}",    "O'Neil",
                                         "o'NEIL",    "\"Mai\"'"};
  const std::vector<std::string> ranges = {"[velSearch] > \"{\"",
                                           "[velSearch] >= \"1ADRESSEN\" And [velSearch] < '2'",
                                           "[LastName] <= 'straße'",
                                           "[LastName] = \"STRASSE\"",
                                           "[velSearch] > '2' And [velSearch] < \"1\"",
                                           "[LastName] = 'o''neil'",
                                           "[LastName] >= '\"' And [LastName] < \"\"\"Mai\"\"'\""};
  // The range indexes exist from the start and must follow every change.
  for (const auto& condition : ranges) RC_ASSERT(Walk(*items, condition).empty());
  const auto steps = *rc::gen::container<std::vector<std::tuple<int, int, int>>>(
      rc::gen::tuple(rc::gen::inRange(0, 3), rc::gen::inRange(0, 10), rc::gen::inRange(0, 10)));
  for (const auto& [action, key, name] : steps) {
    if (action == 0 || items->Count() == 0) {
      auto c = items->Add();
      c->Set("LastName", keys[static_cast<std::size_t>(name)]);
      if (key != 3)
        c->UserProperties()
            ->Add("velSearch", OlUserPropertyType::Text)
            ->SetValue(keys[static_cast<std::size_t>(key)]);
      c->Save();
    } else if (action == 1) {
      auto c = items->Item(1 + (key * 7 + name) % items->Count());
      c->Set("LastName", keys[static_cast<std::size_t>(name)]);
      auto p = c->UserProperties()->Find("velSearch");
      if (!p) p = c->UserProperties()->Add("velSearch", OlUserPropertyType::Text);
      p->SetValue(keys[static_cast<std::size_t>(key)]);
      c->Save();
    } else {
      items->Item(1 + (key * 7 + name) % items->Count())->Delete();
    }
  }
  for (const auto& key : keys) {
    for (const std::string property : {"velSearch", "FileAs"}) {
      const std::string condition = "[" + property + "] = " + Quoted(key, '"');
      const auto found = Walk(*items, condition);
      RC_ASSERT(found == Walk(*items, "Not (Not (" + condition + "))"));
      RC_ASSERT(found == Walk(*items, "[" + property + "] = " + Quoted(key, '\'')));
    }
  }
  for (const auto& condition : ranges)
    RC_ASSERT(Walk(*items, condition) == Walk(*items, "Not (Not (" + condition + "))"));
}

}  // namespace
}  // namespace velklk
