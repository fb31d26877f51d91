#include "platform/variant.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

#include <fmt/format.h>

#include "platform/automation_error.h"

namespace velklk {
namespace {

[[noreturn]] void TypeMismatch(const Variant& v, const char* target) {
  throw AutomationError(err::kTypeMismatchRt, "Variant",
                        fmt::format("Type mismatch: {} cannot be read as {}", v.KindName(), target));
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::string FormatDouble(double d) {
  if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 1e15)
    return fmt::format("{}", static_cast<long long>(d));
  return fmt::format("{}", d);
}

}  // namespace

double LeadingNumber(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
  std::size_t start = pos;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) ++pos;
  bool digits = false;
  while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) {
    ++pos;
    digits = true;
  }
  if (pos < text.size() && text[pos] == '.') {
    ++pos;
    while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) {
      ++pos;
      digits = true;
    }
  }
  if (!digits) return 0.0;
  std::string number(text.substr(start, pos - start));
  return std::strtod(number.c_str(), nullptr);
}

bool Variant::IsNumeric() const {
  switch (GetKind()) {
    case Kind::Bool:
    case Kind::Integer:
    case Kind::Double:
    case Kind::Date:
      return true;
    case Kind::Text: {
      const auto& s = std::get<std::string>(value_);
      char* end = nullptr;
      if (s.empty()) return false;
      std::strtod(s.c_str(), &end);
      while (end && *end == ' ') ++end;
      return end && *end == '\0';
    }
    default:
      return false;
  }
}

std::string Variant::ToText() const {
  switch (GetKind()) {
    case Kind::Empty:
    case Kind::Null:
      return {};
    case Kind::Text:
      return std::get<std::string>(value_);
    case Kind::Bool:
      return std::get<bool>(value_) ? "True" : "False";
    case Kind::Integer:
      return std::to_string(std::get<std::int64_t>(value_));
    case Kind::Double:
      return FormatDouble(std::get<double>(value_));
    case Kind::Date:
      return std::get<AutoDate>(value_).Format();
    case Kind::Object:
    case Kind::List:
      break;
  }
  TypeMismatch(*this, "text");
}

double Variant::ToDouble() const {
  switch (GetKind()) {
    case Kind::Empty:
    case Kind::Null:
      return 0.0;
    case Kind::Text:
      return LeadingNumber(std::get<std::string>(value_));
    case Kind::Bool:
      return std::get<bool>(value_) ? -1.0 : 0.0;
    case Kind::Integer:
      return static_cast<double>(std::get<std::int64_t>(value_));
    case Kind::Double:
      return std::get<double>(value_);
    case Kind::Date:
      return std::get<AutoDate>(value_).Value();
    case Kind::Object:
    case Kind::List:
      break;
  }
  TypeMismatch(*this, "number");
}

std::int64_t Variant::ToLong() const {
  if (GetKind() == Kind::Integer) return std::get<std::int64_t>(value_);
  const double d = ToDouble();
  if (!std::isfinite(d) || std::fabs(d) > 9.2e18) TypeMismatch(*this, "integer");
  return static_cast<std::int64_t>(std::nearbyint(d));  // banker's rounding by default
}

bool Variant::ToBool() const {
  if (GetKind() == Kind::Bool) return std::get<bool>(value_);
  if (GetKind() == Kind::Text) {
    const auto& s = std::get<std::string>(value_);
    if (EqualsNoCase(s, "true")) return true;
    if (EqualsNoCase(s, "false")) return false;
  }
  return ToDouble() != 0.0;
}

AutoDate Variant::ToDate() const {
  switch (GetKind()) {
    case Kind::Date:
      return std::get<AutoDate>(value_);
    case Kind::Integer:
    case Kind::Double:
      return AutoDate(ToDouble());
    case Kind::Text:
      if (auto d = ParseShortDate(std::get<std::string>(value_))) return *d;
      break;
    default:
      break;
  }
  TypeMismatch(*this, "date");
}

std::shared_ptr<AutomationObject> Variant::ToObject() const {
  if (GetKind() == Kind::Object) return std::get<std::shared_ptr<AutomationObject>>(value_);
  if (GetKind() == Kind::Empty) return nullptr;
  TypeMismatch(*this, "object");
}

const VariantList& Variant::ToList() const {
  if (GetKind() == Kind::List) return std::get<VariantList>(value_);
  TypeMismatch(*this, "list");
}

std::string Variant::KindName() const {
  static const char* const kNames[] = {"Empty", "Null",   "Text",   "Boolean", "Integer",
                                       "Double", "Date", "Object", "List"};
  return kNames[value_.index()];
}

}  // namespace velklk
