#include "host/expression.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "host/schema.h"
#include "platform/automation_error.h"
#include "platform/text_case.h"

namespace velklk::host {

struct ExprNode {
  enum class Kind { Literal, Field, Call, Equal, NotEqual, And, Or };
  Kind kind = Kind::Literal;
  Variant literal;
  std::string table, name;  // field reference or function name
  std::vector<std::shared_ptr<const ExprNode>> children;
  int height = 1;  // levels of the tree from this node down
  int slot = -1;   // a text literal: its place among the expression's literals
};

const std::vector<FunctionInfo>& KnownFunctions() {
  static const std::vector<FunctionInfo> functions = {
      {"NamePerson", 0},         {"Name", 0},          {"Telefon1", 0},
      {"Telefon2", 0},           {"Telefax", 0},       {"EMail2", 0},
      {"TelefonPerson", 0},      {"TelefaxPerson", 0}, {"EMailPerson", 0},
      {"EMailSyntaxGueltig", 1}, {"DocLinkName", 2}};
  return functions;
}

namespace {

using NodePtr = std::shared_ptr<const ExprNode>;

// Parsing, evaluating and freeing an expression recurse once per level of
// parentheses, calls, comparisons and And/Or terms: an expression read from
// the host's settings may use this many, never enough to exhaust the stack.
constexpr int kMaxNesting = 256;

[[noreturn]] void SyntaxError(const std::string& text, std::size_t pos, const std::string& what) {
  throw AutomationError(err::kFail, "Velmora.Expression",
                        "Syntax error in expression '" + text + "' at position " +
                            std::to_string(pos + 1) + ": " + what);
}

bool IsIdentStart(unsigned char c) { return std::isalpha(c) || c == '_' || c >= 0x80; }
bool IsIdentChar(unsigned char c) { return std::isalnum(c) || c == '_' || c >= 0x80; }

// Reads the text literal whose opening quote is at `pos` ("" is one quote)
// and moves `pos` past its closing quote; nothing when it is unterminated.
// The parser and the shape of a text read literals alike with it.
std::optional<std::string> ReadTextLiteral(const std::string& text, std::size_t& pos) {
  std::string value;
  for (++pos; pos < text.size(); ++pos) {
    if (text[pos] != '"') {
      value += text[pos];
    } else if (pos + 1 < text.size() && text[pos + 1] == '"') {
      value += '"';
      ++pos;
    } else {
      ++pos;
      return value;
    }
  }
  return std::nullopt;
}

class Parser {
 public:
  explicit Parser(const std::string& text, std::vector<Variant>& literals)
      : text_(text), literals_(literals) {}

  NodePtr ParseAll() {
    SkipBlanks();
    if (pos_ == text_.size()) SyntaxError(text_, pos_, "empty expression");
    NodePtr root = ParseOr();
    SkipBlanks();
    if (pos_ != text_.size()) SyntaxError(text_, pos_, "unexpected text");
    return root;
  }

 private:
  void SkipBlanks() {
    while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
  }

  // Matches a keyword (And, Or) as a whole word without regard to case.
  bool Keyword(std::string_view word) {
    SkipBlanks();
    if (text_.size() - pos_ < word.size()) return false;
    if (!SameIdentifier(std::string_view(text_).substr(pos_, word.size()), word)) return false;
    const std::size_t end = pos_ + word.size();
    if (end < text_.size() && IsIdentChar(static_cast<unsigned char>(text_[end]))) return false;
    pos_ = end;
    return true;
  }

  bool Symbol(std::string_view symbol) {
    SkipBlanks();
    if (std::string_view(text_).substr(pos_, symbol.size()) != symbol) return false;
    pos_ += symbol.size();
    return true;
  }

  // A node over its children; raises when the tree grows too high.
  NodePtr Parent(std::shared_ptr<ExprNode> node) const {
    for (const auto& child : node->children)
      node->height = std::max(node->height, child->height + 1);
    if (node->height > kMaxNesting)
      SyntaxError(text_, pos_, "more than " + std::to_string(kMaxNesting) + " levels");
    return node;
  }

  NodePtr Binary(ExprNode::Kind kind, NodePtr left, NodePtr right) const {
    auto node = std::make_shared<ExprNode>();
    node->kind = kind;
    node->children = {std::move(left), std::move(right)};
    return Parent(std::move(node));
  }

  // Counts one level of parentheses or call arguments while it is parsed.
  class Level {
   public:
    explicit Level(Parser& parser) : parser_(parser) {
      if (++parser_.nesting_ > kMaxNesting)
        SyntaxError(parser_.text_, parser_.pos_,
                    "more than " + std::to_string(kMaxNesting) + " levels");
    }
    ~Level() { --parser_.nesting_; }
    Level(const Level&) = delete;
    Level& operator=(const Level&) = delete;

   private:
    Parser& parser_;
  };

  NodePtr ParseOr() {
    NodePtr left = ParseAnd();
    while (Keyword("Or")) left = Binary(ExprNode::Kind::Or, left, ParseAnd());
    return left;
  }

  NodePtr ParseAnd() {
    NodePtr left = ParseComparison();
    while (Keyword("And")) left = Binary(ExprNode::Kind::And, left, ParseComparison());
    return left;
  }

  NodePtr ParseComparison() {
    NodePtr left = ParsePrimary();
    if (Symbol("<>")) return Binary(ExprNode::Kind::NotEqual, left, ParsePrimary());
    if (Symbol("=")) return Binary(ExprNode::Kind::Equal, left, ParsePrimary());
    return left;
  }

  std::string Identifier() {
    SkipBlanks();
    const std::size_t start = pos_;
    if (pos_ >= text_.size() || !IsIdentStart(static_cast<unsigned char>(text_[pos_])))
      SyntaxError(text_, pos_, "name expected");
    while (pos_ < text_.size() && IsIdentChar(static_cast<unsigned char>(text_[pos_]))) ++pos_;
    return text_.substr(start, pos_ - start);
  }

  // A text literal ("" is one quote) or a number, at pos_. Kept out of
  // ParsePrimary, which recurses once per level: its frame stays small.
  NodePtr ParseText() {
    auto node = std::make_shared<ExprNode>();
    auto value = ReadTextLiteral(text_, pos_);
    if (!value) SyntaxError(text_, text_.size(), "unterminated text literal");
    node->literal = Variant(std::move(*value));
    node->slot = static_cast<int>(literals_.size());
    literals_.push_back(node->literal);
    return node;
  }

  NodePtr ParseNumberLiteral() {
    auto node = std::make_shared<ExprNode>();
    const std::size_t start = pos_;
    while (pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_]))) ++pos_;
    bool isDouble = false;
    if (pos_ + 1 < text_.size() && text_[pos_] == '.' &&
        std::isdigit(static_cast<unsigned char>(text_[pos_ + 1]))) {
      isDouble = true;
      ++pos_;
      while (pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_]))) ++pos_;
    }
    const std::string_view digits = std::string_view(text_).substr(start, pos_ - start);
    // Digits and a point: always a number, a whole one when it fits.
    const auto whole = isDouble ? std::nullopt : ParseNumber<long long>(digits);
    node->literal = whole ? Variant(*whole) : Variant(ParseNumber<double>(digits).value_or(0.0));
    return node;
  }

  NodePtr ParsePrimary() {
    SkipBlanks();
    if (pos_ >= text_.size()) SyntaxError(text_, pos_, "value expected");
    const char c = text_[pos_];
    if (c == '"') return ParseText();
    if (std::isdigit(static_cast<unsigned char>(c))) return ParseNumberLiteral();
    if (c == '(') {
      ++pos_;
      const Level level(*this);
      NodePtr inner = ParseOr();
      if (!Symbol(")")) SyntaxError(text_, pos_, "')' expected");
      return inner;
    }
    const std::size_t namePos = pos_;
    std::string name = Identifier();
    auto node = std::make_shared<ExprNode>();
    if (Symbol("(")) {
      const FunctionInfo* info = nullptr;
      for (const auto& f : KnownFunctions())
        if (SameIdentifier(f.name, name)) info = &f;
      if (!info)
        throw AutomationError(err::kUnknownName, "Velmora.Expression",
                              "Unknown function '" + name + "' in expression '" + text_ + "'");
      node->kind = ExprNode::Kind::Call;
      node->name = info->name;
      if (!Symbol(")")) {
        const Level level(*this);
        do node->children.push_back(ParseOr());
        while (Symbol(","));
        if (!Symbol(")")) SyntaxError(text_, pos_, "')' expected");
      }
      if (static_cast<int>(node->children.size()) != info->argCount)
        throw AutomationError(err::kUnknownName, "Velmora.Expression",
                              "Function '" + std::string(info->name) + "' takes " +
                                  std::to_string(info->argCount) + " argument(s) in expression '" +
                                  text_ + "'");
      return Parent(std::move(node));
    }
    if (SameIdentifier(name, "And") || SameIdentifier(name, "Or"))
      SyntaxError(text_, namePos, "value expected");
    node->kind = ExprNode::Kind::Field;
    if (Symbol("->")) {
      node->table = std::move(name);
      node->name = Identifier();
    } else {
      node->name = std::move(name);
    }
    return node;
  }

  const std::string& text_;
  std::vector<Variant>& literals_;
  std::size_t pos_ = 0;
  int nesting_ = 0;
};

class Evaluator {
 public:
  Evaluator(ExpressionContext& context, const std::vector<Variant>& literals)
      : context_(context), literals_(literals) {}
  Variant Eval(const ExprNode& node);

 private:
  ExpressionContext& context_;
  const std::vector<Variant>& literals_;
};

Variant Evaluator::Eval(const ExprNode& node) {
  auto& context = context_;
  switch (node.kind) {
    case ExprNode::Kind::Literal:
      if (node.slot >= 0 && static_cast<std::size_t>(node.slot) < literals_.size())
        return literals_[static_cast<std::size_t>(node.slot)];
      return node.literal;
    case ExprNode::Kind::Field:
      return context.FieldValue(node.table, node.name);
    case ExprNode::Kind::Call: {
      std::vector<Variant> args;
      for (const auto& child : node.children) args.push_back(Eval(*child));
      return context.CallFunction(node.name, args);
    }
    case ExprNode::Kind::Equal:
      return Variant(ValuesEqual(Eval(*node.children[0]), Eval(*node.children[1])));
    case ExprNode::Kind::NotEqual:
      return Variant(!ValuesEqual(Eval(*node.children[0]), Eval(*node.children[1])));
    case ExprNode::Kind::And:
      return Variant(Eval(*node.children[0]).ToBool() && Eval(*node.children[1]).ToBool());
    case ExprNode::Kind::Or:
      return Variant(Eval(*node.children[0]).ToBool() || Eval(*node.children[1]).ToBool());
  }
  return Variant();
}

}  // namespace

bool ValuesEqual(const Variant& a, const Variant& b) {
  auto numeric = [](const Variant& v) {
    const auto k = v.GetKind();
    return k == Variant::Kind::Integer || k == Variant::Kind::Double || k == Variant::Kind::Date ||
           k == Variant::Kind::Bool;
  };
  if (numeric(a) && numeric(b)) return a.ToDouble() == b.ToDouble();
  if (a.IsObject() || b.IsObject() || a.IsList() || b.IsList()) return false;
  return EqualsNoCase(a.ToText(), b.ToText());
}

bool IsValidEmailSyntax(const std::string& address) {
  const std::size_t at = address.find('@');
  if (at == std::string::npos || at == 0 || address.find('@', at + 1) != std::string::npos)
    return false;
  for (unsigned char c : address)
    if (c <= ' ' || c == '"' || c == ',' || c == ';' || c == '<' || c == '>' || c == '(' ||
        c == ')' || c == '[' || c == ']' || c == '\\')
      return false;
  const std::string local = address.substr(0, at);
  const std::string domain = address.substr(at + 1);
  if (local.front() == '.' || local.back() == '.' || local.find("..") != std::string::npos)
    return false;
  const std::size_t dot = domain.rfind('.');
  if (dot == std::string::npos || dot == 0 || dot + 2 > domain.size()) return false;
  if (domain.front() == '.' || domain.front() == '-' || domain.find("..") != std::string::npos)
    return false;
  return true;
}

CompiledExpression CompiledExpression::Compile(const std::string& text) {
  CompiledExpression e;
  e.text_ = text;
  Parser parser(e.text_, e.literals_);
  e.root_ = parser.ParseAll();
  return e;
}

Variant CompiledExpression::Evaluate(ExpressionContext& context) const {
  return Evaluator(context, literals_).Eval(*root_);
}

std::string CompiledExpression::Shape(const std::string& text, std::vector<Variant>& literals) {
  literals.clear();
  std::string shape;
  shape.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    if (text[pos] != '"') {
      shape += text[pos++];
      continue;
    }
    auto value = ReadTextLiteral(text, pos);
    if (!value) {
      // Unterminated: the parser reports it on the text itself.
      literals.clear();
      return text;
    }
    shape += "\"\"";
    literals.emplace_back(std::move(*value));
  }
  return shape;
}

CompiledExpression CompiledExpression::WithLiterals(const std::string& text,
                                                    std::vector<Variant> literals) const {
  CompiledExpression e;
  e.text_ = text;
  e.root_ = root_;
  e.literals_ = std::move(literals);
  return e;
}

}  // namespace velklk::host
