#include "platform/variant.h"

#include <fmt/format.h>

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "platform/automation_error.h"
#include "platform/text_case.h"

namespace velklk {
namespace {

[[noreturn]] void TypeMismatch(const Variant& v, const char* target) {
  throw AutomationError(
      err::kTypeMismatchRt, "Variant",
      fmt::format("Type mismatch: {} cannot be read as {}", v.KindName(), target));
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
  const bool negative = pos < text.size() && text[pos] == '-';
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) ++pos;
  const std::size_t start = pos;
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
  // Read with the point as decimal separator whatever the process locale.
  double value = 0.0;
  std::from_chars(text.data() + start, text.data() + pos, value, std::chars_format::fixed);
  return negative ? -value : value;
}

bool Variant::IsNumeric() const {
  switch (GetKind()) {
    case Kind::Bool:
    case Kind::Integer:
    case Kind::Double:
    case Kind::Date:
      return true;
    case Kind::Text: {
      // A decimal number with the point as separator, blanks around it and
      // an optional sign and exponent, whatever the process locale.
      std::string_view s = std::get<std::string>(value_);
      while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
      while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
      if (!s.empty() && (s.front() == '+' || s.front() == '-')) s.remove_prefix(1);
      if (s.empty() || !(std::isdigit(static_cast<unsigned char>(s.front())) || s.front() == '.'))
        return false;
      double value = 0.0;
      const auto parsed = std::from_chars(s.data(), s.data() + s.size(), value);
      return parsed.ec == std::errc() && parsed.ptr == s.data() + s.size();
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
    if (SameIdentifier(s, "true")) return true;
    if (SameIdentifier(s, "false")) return false;
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
  static const char* const kNames[] = {"Empty",  "Null", "Text",   "Boolean", "Integer",
                                       "Double", "Date", "Object", "List"};
  return kNames[value_.index()];
}

}  // namespace velklk
