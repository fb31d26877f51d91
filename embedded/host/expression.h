// The embedded host's expression language: text literals in double quotes (a
// quote inside written twice), numbers, field references (Field and
// Table->Field), function calls, "=" and "<>" comparisons, And, Or and
// parentheses. The evaluator knows nothing of the store: the caller hands it
// a context that resolves fields and host functions.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/variant.h"

namespace velklk::host {

class ExpressionContext {
 public:
  virtual ~ExpressionContext() = default;
  // table is empty for a bare field reference (the record being evaluated).
  virtual Variant FieldValue(const std::string& table, const std::string& field) = 0;
  // name is one of the known functions, args already checked for count.
  virtual Variant CallFunction(const std::string& name, const std::vector<Variant>& args) = 0;
};

struct ExprNode;

class CompiledExpression {
 public:
  // Raises AutomationError for a syntax error (err::kFail) or an unknown
  // function or a wrong argument count (err::kUnknownName).
  static CompiledExpression Compile(const std::string& text);
  Variant Evaluate(ExpressionContext& context) const;
  const std::string& Text() const { return text_; }

  // The text with every text literal emptied, and the literals' values in
  // order into `literals`. Texts of one shape parse alike, so a text built
  // from data (a literal per record) need not be parsed again: see
  // WithLiterals.
  static std::string Shape(const std::string& text, std::vector<Variant>& literals);
  // This expression for another text of the same shape.
  CompiledExpression WithLiterals(const std::string& text, std::vector<Variant> literals) const;

 private:
  std::string text_;
  std::shared_ptr<const ExprNode> root_;
  std::vector<Variant> literals_;  // the text literals, in the order they appear
};

// The functions the language knows, with their canonical spelling.
struct FunctionInfo {
  const char* name;
  int argCount;
};
const std::vector<FunctionInfo>& KnownFunctions();

// The check behind EMailSyntaxGueltig: one "@", a non-empty local part, a
// domain with a dot, no blanks, no empty labels.
bool IsValidEmailSyntax(const std::string& address);

// Comparison used by "=": numbers and dates by value, everything else by text
// without regard to case (Unicode, one character at a time).
bool ValuesEqual(const Variant& a, const Variant& b);

}  // namespace velklk::host
