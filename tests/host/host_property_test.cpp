// Properties of the embedded host that must hold for any input.
#include <gtest/gtest.h>
#include <rapidcheck.h>
#include <rapidcheck/gtest.h>

#include <set>

#include "host_test_support.h"

namespace velklk::test {
namespace {

using nlohmann::json;

// Any text written as a literal (quotes doubled) evaluates to itself.
RC_GTEST_PROP(HostProperties, TextLiteralsEvaluateToThemselves, (const std::string& text)) {
  static HostUnderTest h(json::parse(R"({"tables": {"Adressen": [{"Name": "X"}]}})"));
  std::string literal = "\"";
  for (char c : text) literal += (c == '"') ? std::string("\"\"") : std::string(1, c);
  literal += "\"";
  const Variant value = h.db->Compile(literal)->Evaluate(*h.Table("Adressen"));
  RC_ASSERT(value == Variant(text));
}

// Compiling arbitrary text either works or raises an automation error.
RC_GTEST_PROP(HostProperties, CompilingNeverFailsOtherwise, (const std::string& text)) {
  static HostUnderTest h;
  try {
    h.db->Compile(text);
  } catch (const AutomationError& e) {
    RC_ASSERT(e.Number() == err::kFail || e.Number() == err::kUnknownName);
  }
}

// Whatever the key size, new keys have exactly that size and never repeat.
RC_GTEST_PROP(HostProperties, NewKeysHaveTheKeySizeAndAreUnique, ()) {
  const int size = *rc::gen::inRange(3, 13);
  const int count = *rc::gen::inRange(1, 40);
  json f;
  f["schema"]["calA_Termine"]["add"]["ID"] = {{"type", "text"}, {"size", size}};
  f["tables"]["calA_Termine"] =
      json::array({{{"ID", std::string(static_cast<std::size_t>(size), '0').replace(0, 1, "1")}}});
  HostUnderTest h(f);
  auto t = h.Table("calA_Termine");
  std::set<std::string> keys{h.Text(*t, "ID")};
  for (int i = 0; i < count; ++i) {
    t->NewRecord();
    t->SaveNew();
    const std::string id = h.Text(*t, "ID");
    RC_ASSERT(id.size() == static_cast<std::size_t>(size));
    RC_ASSERT(keys.insert(id).second);
  }
}

// A text field keeps at most its size in characters, also for umlauts.
RC_GTEST_PROP(HostProperties, TextsAreCutToTheFieldSizeInCharacters, ()) {
  static HostUnderTest h;
  const auto pieces = *rc::gen::container<std::vector<std::string>>(
      rc::gen::element<std::string>("a", "ä", "ß", "€", " "));
  std::string text;
  for (const auto& p : pieces) text += p;
  auto t = h.Table("Adressen");
  t->NewRecord();
  t->Field("Land")->SetValue(text);  // size 3
  const std::string stored = t->Field("Land")->Value().ToText();
  t->Cancel();
  RC_ASSERT(host::CharCount(stored) == std::min<std::size_t>(3, pieces.size()));
  RC_ASSERT(text.rfind(stored, 0) == 0);
}

}  // namespace
}  // namespace velklk::test
