#include "outlook/filter.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "outlook/fold.h"
#include "platform/automation_error.h"
#include "platform/text_case.h"

namespace velklk::outlook {
namespace {

constexpr int kMaxDepth = 64;

// A number as a condition writes it: digits with a point or a comma, an
// optional sign and exponent, blanks around it.
std::optional<double> Number(std::string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  std::string s(text);
  const bool negative = s.starts_with('-');
  if (negative || s.starts_with('+')) s.erase(0, 1);
  // Digits first: from_chars would also take "inf", "nan" and a sign.
  if (s.empty() || !(std::isdigit(static_cast<unsigned char>(s[0])) || s[0] == '.' || s[0] == ','))
    return std::nullopt;
  for (char& c : s)
    if (c == ',') c = '.';
  double value = 0.0;
  const char* const end = s.data() + s.size();
  const auto [stop, error] = std::from_chars(s.data(), end, value);
  if (error != std::errc() || stop != end) return std::nullopt;
  return negative ? -value : value;
}

[[noreturn]] void Fail(std::string_view text, std::size_t at, const std::string& why) {
  std::string rest(text.substr(std::min(at, text.size()), 40));
  throw AutomationError(
      kFilterError, "Outlook",
      "Cannot parse condition. " + why +
          (rest.empty() ? std::string(" at the end.") : " Error at \"" + rest + "\"."));
}

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  FilterNode Parse() {
    SkipBlanks();
    if (pos_ >= text_.size()) Fail(text_, pos_, "The condition is empty.");
    FilterNode node = ParseOr(0);
    SkipBlanks();
    if (pos_ != text_.size()) Fail(text_, pos_, "Unexpected text.");
    return node;
  }

 private:
  void SkipBlanks() {
    while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
  }

  // A keyword (And/Or/Not in any case) standing as a whole word here.
  bool Keyword(std::string_view word) {
    SkipBlanks();
    if (text_.size() - pos_ < word.size()) return false;
    if (!SameIdentifier(text_.substr(pos_, word.size()), word)) return false;
    const std::size_t end = pos_ + word.size();
    if (end < text_.size()) {
      const unsigned char next = static_cast<unsigned char>(text_[end]);
      if (std::isalnum(next) || next == '_') return false;
    }
    pos_ = end;
    return true;
  }

  FilterNode ParseOr(int depth) {
    FilterNode first = ParseAnd(depth);
    if (!Keyword("or")) return first;
    FilterNode node;
    node.kind = FilterNode::Kind::Or;
    node.children.push_back(std::move(first));
    do node.children.push_back(ParseAnd(depth));
    while (Keyword("or"));
    return node;
  }

  FilterNode ParseAnd(int depth) {
    FilterNode first = ParseNot(depth);
    if (!Keyword("and")) return first;
    FilterNode node;
    node.kind = FilterNode::Kind::And;
    node.children.push_back(std::move(first));
    do node.children.push_back(ParseNot(depth));
    while (Keyword("and"));
    return node;
  }

  FilterNode ParseNot(int depth) {
    if (depth > kMaxDepth) Fail(text_, pos_, "The condition is nested too deeply.");
    if (Keyword("not")) {
      FilterNode node;
      node.kind = FilterNode::Kind::Not;
      node.children.push_back(ParseNot(depth + 1));
      return node;
    }
    return ParsePrimary(depth);
  }

  FilterNode ParsePrimary(int depth) {
    SkipBlanks();
    if (pos_ >= text_.size()) Fail(text_, pos_, "A condition is missing.");
    if (text_[pos_] == '(') {
      ++pos_;
      FilterNode inner = ParseOr(depth + 1);
      SkipBlanks();
      if (pos_ >= text_.size() || text_[pos_] != ')') Fail(text_, pos_, "A \")\" is missing.");
      ++pos_;
      return inner;
    }
    if (text_[pos_] != '[') Fail(text_, pos_, "A property in brackets is expected.");
    const std::size_t close = text_.find(']', pos_ + 1);
    if (close == std::string_view::npos) Fail(text_, pos_, "A \"]\" is missing.");
    FilterNode node;
    node.property = std::string(text_.substr(pos_ + 1, close - pos_ - 1));
    while (!node.property.empty() && node.property.back() == ' ') node.property.pop_back();
    while (!node.property.empty() && node.property.front() == ' ') node.property.erase(0, 1);
    if (node.property.empty()) Fail(text_, pos_, "The property name is empty.");
    pos_ = close + 1;
    node.op = ParseOperator();
    ParseValue(node);
    return node;
  }

  CompareOp ParseOperator() {
    SkipBlanks();
    const std::string_view rest = text_.substr(pos_);
    auto take = [&](std::size_t n, CompareOp op) {
      pos_ += n;
      return op;
    };
    if (rest.starts_with("<>")) return take(2, CompareOp::Ne);
    if (rest.starts_with("<=")) return take(2, CompareOp::Le);
    if (rest.starts_with(">=")) return take(2, CompareOp::Ge);
    if (rest.starts_with("=")) return take(1, CompareOp::Eq);
    if (rest.starts_with("<")) return take(1, CompareOp::Lt);
    if (rest.starts_with(">")) return take(1, CompareOp::Gt);
    Fail(text_, pos_, "An operator is expected.");
  }

  void ParseValue(FilterNode& node) {
    SkipBlanks();
    if (pos_ >= text_.size()) Fail(text_, pos_, "A value is missing.");
    // A text in double or single quotation marks; the mark that opened it,
    // doubled, stands for itself, the other one needs no escaping.
    if (const char mark = text_[pos_]; mark == '"' || mark == '\'') {
      ++pos_;
      std::string value;
      for (;;) {
        if (pos_ >= text_.size()) Fail(text_, pos_, "A closing quotation mark is missing.");
        const char c = text_[pos_++];
        if (c == mark) {
          if (pos_ < text_.size() && text_[pos_] == mark) {
            value.push_back(mark);
            ++pos_;
            continue;
          }
          break;
        }
        value.push_back(c);
      }
      node.value = std::move(value);
      node.quoted = true;
      return;
    }
    const std::size_t start = pos_;
    while (pos_ < text_.size()) {
      const unsigned char c = static_cast<unsigned char>(text_[pos_]);
      if (!(std::isalnum(c) || c == '.' || c == ',' || c == '-' || c == '+')) break;
      ++pos_;
    }
    if (pos_ == start) Fail(text_, pos_, "A value is expected.");
    node.value = std::string(text_.substr(start, pos_ - start));
    node.quoted = false;
    const bool word = SameIdentifier(node.value, "True") || SameIdentifier(node.value, "False");
    if (!word && !Number(node.value))
      Fail(text_, start, "A text value must be enclosed in quotation marks.");
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

bool HasTimePart(std::string_view text) {
  std::size_t b = 0;
  while (b < text.size() && text[b] == ' ') ++b;
  return text.find(':', b) != std::string_view::npos;
}

template <typename T>
bool Apply(CompareOp op, const T& a, const T& b) {
  switch (op) {
    case CompareOp::Eq:
      return a == b;
    case CompareOp::Ne:
      return a != b;
    case CompareOp::Lt:
      return a < b;
    case CompareOp::Gt:
      return a > b;
    case CompareOp::Le:
      return a <= b;
    case CompareOp::Ge:
      return a >= b;
  }
  return false;
}

}  // namespace

struct BoundFilter::Node {
  FilterNode::Kind kind = FilterNode::Kind::Compare;
  int id = 0;
  ValueType type = ValueType::Text;
  CompareOp op = CompareOp::Eq;
  std::string text;       // folded text operand
  double number = 0.0;    // numbers, Booleans (0/1)
  long long when = 0;     // dates: day number or seconds
  bool dateOnly = false;  // compare dates by calendar day
  std::vector<Node> children;
};

namespace {

BoundFilter::Node BindNode(const FilterNode& in, const PropertyBinder& binder) {
  BoundFilter::Node out;
  out.kind = in.kind;
  if (in.kind != FilterNode::Kind::Compare) {
    out.children.reserve(in.children.size());
    for (const FilterNode& child : in.children) out.children.push_back(BindNode(child, binder));
    return out;
  }
  auto bound = binder(in.property);
  if (!bound)
    throw AutomationError(kFilterError, "Outlook",
                          "The property \"" + in.property + "\" in the condition is not valid.");
  out.id = bound->id;
  out.type = bound->type;
  out.op = in.op;
  auto invalid = [&]() -> AutomationError {
    return AutomationError(
        kFilterError, "Outlook",
        "The value \"" + in.value + "\" in the condition on \"" + in.property + "\" is not valid.");
  };
  switch (bound->type) {
    case ValueType::Text:
      out.text = FullCaseFold(in.value);
      break;
    case ValueType::Bool:
      if (SameIdentifier(in.value, "True") || SameIdentifier(in.value, "Yes") ||
          SameIdentifier(in.value, "Ja")) {
        out.number = 1;
      } else if (SameIdentifier(in.value, "False") || SameIdentifier(in.value, "No") ||
                 SameIdentifier(in.value, "Nein")) {
        out.number = 0;
      } else if (auto n = Number(in.value)) {
        out.number = *n != 0.0 ? 1 : 0;
      } else {
        throw invalid();
      }
      break;
    case ValueType::Integer:
    case ValueType::Double:
      if (auto n = Number(in.value)) {
        out.number = *n;
      } else {
        throw invalid();
      }
      break;
    case ValueType::Date: {
      auto date = ParseShortDate(in.value);
      if (!date) throw invalid();
      out.dateOnly = !HasTimePart(in.value);
      out.when = out.dateOnly ? date->Day() : date->Seconds();
      break;
    }
  }
  return out;
}

bool Eval(const BoundFilter::Node& node, const ValueSource& source) {
  using K = FilterNode::Kind;
  switch (node.kind) {
    case K::And:
      for (const auto& c : node.children)
        if (!Eval(c, source)) return false;
      return true;
    case K::Or:
      for (const auto& c : node.children)
        if (Eval(c, source)) return true;
      return false;
    case K::Not:
      return !Eval(node.children.front(), source);
    case K::Compare:
      break;
  }
  const PropValue* value = source(node.id);
  if (!value) return false;  // an item without the property never satisfies a comparison
  switch (TypeOf(*value)) {
    case ValueType::Text: {
      if (node.type != ValueType::Text) return false;
      return Apply(node.op, FullCaseFold(std::get<std::string>(*value)), node.text);
    }
    case ValueType::Bool:
      if (node.type == ValueType::Text || node.type == ValueType::Date) return false;
      return Apply(node.op, std::get<bool>(*value) ? 1.0 : 0.0, node.number);
    case ValueType::Integer:
      if (node.type == ValueType::Text || node.type == ValueType::Date) return false;
      return Apply(node.op, static_cast<double>(std::get<std::int64_t>(*value)), node.number);
    case ValueType::Double:
      if (node.type == ValueType::Text || node.type == ValueType::Date) return false;
      return Apply(node.op, std::get<double>(*value), node.number);
    case ValueType::Date: {
      if (node.type != ValueType::Date) return false;
      const AutoDate d = std::get<AutoDate>(*value);
      return Apply(node.op, node.dateOnly ? d.Day() : d.Seconds(), node.when);
    }
  }
  return false;
}

}  // namespace

FilterNode ParseFilter(std::string_view text) { return Parser(text).Parse(); }

BoundFilter BoundFilter::Bind(const FilterNode& root, const PropertyBinder& binder) {
  BoundFilter filter;
  filter.root_ = std::make_shared<const Node>(BindNode(root, binder));
  return filter;
}

bool BoundFilter::Matches(const ValueSource& source) const { return Eval(*root_, source); }

std::optional<BoundFilter::Equality> BoundFilter::RequiredEquality(
    const std::function<bool(int)>& usable) const {
  auto check = [&](const Node& n) -> std::optional<Equality> {
    if (n.kind == FilterNode::Kind::Compare && n.op == CompareOp::Eq && n.type == ValueType::Text &&
        usable(n.id))
      return Equality{n.id, n.text};
    return std::nullopt;
  };
  if (auto e = check(*root_)) return e;
  if (root_->kind == FilterNode::Kind::And)
    for (const Node& child : root_->children)
      if (auto e = check(child)) return e;
  return std::nullopt;
}

std::optional<BoundFilter::Range> BoundFilter::RequiredRange(
    const std::function<bool(int)>& usable) const {
  constexpr long long kDay = 86400;
  std::vector<const Node*> conditions;
  if (root_->kind == FilterNode::Kind::And) {
    for (const Node& child : root_->children) conditions.push_back(&child);
  } else {
    conditions.push_back(root_.get());
  }
  std::optional<Range> range;
  for (const Node* n : conditions) {
    if (n->kind != FilterNode::Kind::Compare || n->type != ValueType::Date ||
        n->op == CompareOp::Ne)
      continue;
    if (range ? n->id != range->id : !usable(n->id)) continue;
    if (!range) range = Range{n->id, std::nullopt, std::nullopt};
    // A calendar-day comparison covers its whole day; a day more on each
    // side keeps any rounding of the stored values inside the bounds.
    const long long first = n->dateOnly ? n->when * kDay : n->when;
    const long long last = n->dateOnly ? n->when * kDay + kDay - 1 : n->when;
    const bool lower = n->op == CompareOp::Gt || n->op == CompareOp::Ge || n->op == CompareOp::Eq;
    const bool upper = n->op == CompareOp::Lt || n->op == CompareOp::Le || n->op == CompareOp::Eq;
    if (lower) range->low = std::max(range->low.value_or(first - kDay), first - kDay);
    if (upper) range->high = std::min(range->high.value_or(last + kDay), last + kDay);
  }
  return range;
}

std::optional<BoundFilter::TextRange> BoundFilter::RequiredTextRange(
    const std::function<bool(int)>& usable) const {
  std::vector<const Node*> conditions;
  if (root_->kind == FilterNode::Kind::And) {
    for (const Node& child : root_->children) conditions.push_back(&child);
  } else {
    conditions.push_back(root_.get());
  }
  std::optional<TextRange> range;
  for (const Node* n : conditions) {
    if (n->kind != FilterNode::Kind::Compare || n->type != ValueType::Text ||
        n->op == CompareOp::Ne)
      continue;
    if (range ? n->id != range->id : !usable(n->id)) continue;
    if (!range) range = TextRange{n->id, std::nullopt, std::nullopt};
    const bool lower = n->op == CompareOp::Gt || n->op == CompareOp::Ge || n->op == CompareOp::Eq;
    const bool upper = n->op == CompareOp::Lt || n->op == CompareOp::Le || n->op == CompareOp::Eq;
    if (lower && (!range->low || *range->low < n->text)) range->low = n->text;
    if (upper && (!range->high || n->text < *range->high)) range->high = n->text;
  }
  return range;
}

}  // namespace velklk::outlook
