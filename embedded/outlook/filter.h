// Outlook's restriction syntax: "[Property] op value" conditions joined by
// And / Or / Not with parentheses. The parser and evaluator know nothing of
// the store: binding asks the caller for each property's type, matching asks
// it for each property's value.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "outlook/values.h"

namespace velklk::outlook {

// The error Outlook raises for a condition it cannot parse or bind.
inline constexpr std::uint32_t kFilterError = 0x80020009u;

enum class CompareOp : std::uint8_t { Eq, Ne, Lt, Gt, Le, Ge };

struct FilterNode {
  enum class Kind : std::uint8_t { Compare, And, Or, Not };
  Kind kind = Kind::Compare;
  // Compare: the property name, the operator and the value as written
  // (quoted text with doubled quotes undone, or a bare word or number).
  std::string property;
  CompareOp op = CompareOp::Eq;
  std::string value;
  bool quoted = false;
  std::vector<FilterNode> children;
};

// Parses a filter; raises AutomationError kFilterError for malformed text.
FilterNode ParseFilter(std::string_view text);

struct BoundProperty {
  int id;          // the caller's handle, passed back when matching
  ValueType type;  // how the property's values compare
};
// Returns nothing for a name the caller does not know (which is an error).
using PropertyBinder = std::function<std::optional<BoundProperty>(const std::string& name)>;
// The item's value of a property, or nullptr when the item lacks it.
using ValueSource = std::function<const PropValue*(int id)>;

class BoundFilter {
 public:
  // Binds each condition to its property and converts the written value to
  // the property's type (dates as short dates, "dd.MM.yyyy" or "dd/MM/yyyy",
  // optionally with a time); raises kFilterError on failure.
  static BoundFilter Bind(const FilterNode& root, const PropertyBinder& binder);

  bool Matches(const ValueSource& source) const;

  // A text equality "[P] = value" that must hold for any match (the whole
  // filter, or one operand of a top-level And) on a property id for which
  // `usable` answers true: the property and the folded value to look up.
  struct Equality {
    int id;
    std::string folded;
  };
  std::optional<Equality> RequiredEquality(const std::function<bool(int)>& usable) const;

  // Bounds on a date property that must hold for any match (conditions of
  // the whole filter, or operands of a top-level And) on a property for
  // which `usable` answers true: seconds on the linear time scale, inclusive,
  // a missing bound open. The bounds are generous (a day wider on each
  // side); the caller still applies the filter to every item inside them.
  struct Range {
    int id;
    std::optional<long long> low, high;
  };
  std::optional<Range> RequiredRange(const std::function<bool(int)>& usable) const;

  // The same for a text property: the folded values that any match lies
  // between (inclusive, a missing bound open), from the equalities and
  // orderings of the whole filter or of the operands of a top-level And.
  struct TextRange {
    int id;
    std::optional<std::string> low, high;
  };
  std::optional<TextRange> RequiredTextRange(const std::function<bool(int)>& usable) const;

  struct Node;

 private:
  std::shared_ptr<const Node> root_;
};

}  // namespace velklk::outlook
