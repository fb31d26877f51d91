// Feeds arbitrary text to the restriction parser and, when it parses, binds
// and evaluates it against a small set of typed values: any input must end in
// a result or an automation error, never a crash.
#include <cstddef>
#include <cstdint>
#include <string>

#include "outlook/filter.h"
#include "platform/automation_error.h"

using namespace velklk;
using namespace velklk::outlook;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    const FilterNode root = ParseFilter(text);
    const BoundFilter filter =
        BoundFilter::Bind(root, [](const std::string& name) -> std::optional<BoundProperty> {
          if (name.empty()) return std::nullopt;
          switch (static_cast<unsigned char>(name[0]) % 6) {
            case 0:
              return BoundProperty{0, ValueType::Text};
            case 1:
              return BoundProperty{1, ValueType::Bool};
            case 2:
              return BoundProperty{2, ValueType::Integer};
            case 3:
              return BoundProperty{3, ValueType::Double};
            case 4:
              return BoundProperty{4, ValueType::Date};
            default:
              return std::nullopt;
          }
        });
    static const PropValue values[] = {std::string("Straße"), true, std::int64_t{42}, 2.5,
                                       AutoDate::FromParts(2026, 12, 1, 9, 30, 0)};
    filter.Matches([](int id) -> const PropValue* { return id % 2 ? &values[id] : nullptr; });
    filter.Matches([](int id) -> const PropValue* { return &values[id]; });
  } catch (const AutomationError&) {
  }
  return 0;
}
