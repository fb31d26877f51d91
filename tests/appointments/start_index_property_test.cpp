// Property: after any adds, moves and deletions, a find over a range of Start
// (from the index) walks what a scan (under a double Not) walks.
#include <gtest/gtest.h>
#include <rapidcheck.h>
#include <rapidcheck/gtest.h>

#include <vector>

#include "outlook/outlook_test_support.h"

namespace velklk {
namespace {

std::vector<std::string> Walk(OlItems& items, const std::string& filter) {
  std::vector<std::string> ids;
  for (auto item = items.Find(filter); item; item = items.FindNext())
    ids.push_back(item->EntryId());
  return ids;
}

// A moment in the first days of December 2026, to the quarter hour.
AutoDate Moment(int n) {
  return AutoDate::FromSeconds(AutoDate::FromParts(2026, 12, 1).Seconds() + n * 900LL);
}

RC_GTEST_PROP(StartIndex, RangeFindsEqualScans, ()) {
  test::Store store(test::Store::InMemory{});
  store.Load(nlohmann::json::parse(
      R"({"stores": [{"name": "a", "folders": [{"name": "Kalender", "type": 1}]}]})"));
  auto items = store.outlook->FindFolder("a\\Kalender")->Items();
  const auto steps = *rc::gen::container<std::vector<std::pair<int, int>>>(
      rc::gen::pair(rc::gen::inRange(0, 3), rc::gen::inRange(0, 400)));
  for (const auto& [action, n] : steps) {
    if (action == 0 || items->Count() == 0) {
      auto a = items->Add();
      if (n % 7) a->Set("Start", Variant(Moment(n)));  // some without a start
      a->Save();
    } else if (action == 1) {
      auto a = items->Item(1 + n % items->Count());
      a->Set("Start", Variant(Moment(n)));
      a->Save();
    } else {
      items->Item(1 + n % items->Count())->Delete();
    }
  }
  const AutoDate low = Moment(*rc::gen::inRange(0, 400)), high = Moment(*rc::gen::inRange(0, 400));
  const std::string lowWithTime = ShortDate(low, "de") + " " + low.Format().substr(11, 5);
  for (const char* op : {">=", ">", "=", "<"}) {
    for (const auto& lowText : {lowWithTime, ShortDate(low, "de")}) {
      const std::string condition = "[Start] " + std::string(op) + " \"" + lowText +
                                    "\" And [Start] <= \"" + ShortDate(high, "de") + "\"";
      RC_ASSERT(Walk(*items, condition) == Walk(*items, "Not (Not (" + condition + "))"));
    }
  }
}

}  // namespace
}  // namespace velklk
