// The value that crosses the host and Outlook interfaces: empty, null, text,
// Boolean, integer, double, date, object or list (a look-up table's value).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "platform/auto_date.h"
#include "platform/export.h"

namespace velklk {

// Base of every object that can travel inside a Variant (host links, Outlook
// items, ...). Objects are shared references, as automation objects are.
class VELKLK_API AutomationObject {
 public:
  virtual ~AutomationObject() = default;
};

class Variant;
using VariantList = std::vector<Variant>;

struct VELKLK_API EmptyValue {
  friend bool operator==(EmptyValue, EmptyValue) { return true; }
};
struct VELKLK_API NullValue {
  friend bool operator==(NullValue, NullValue) { return true; }
};

class VELKLK_API Variant {
 public:
  enum class Kind { Empty, Null, Text, Bool, Integer, Double, Date, Object, List };

  Variant() = default;
  Variant(EmptyValue) {}
  Variant(NullValue v) : value_(v) {}
  Variant(std::string text) : value_(std::move(text)) {}
  Variant(const char* text) : value_(std::string(text)) {}
  Variant(bool b) : value_(b) {}
  Variant(int i) : value_(static_cast<std::int64_t>(i)) {}
  Variant(long i) : value_(static_cast<std::int64_t>(i)) {}
  Variant(long long i) : value_(static_cast<std::int64_t>(i)) {}
  Variant(double d) : value_(d) {}
  Variant(AutoDate d) : value_(d) {}
  Variant(std::shared_ptr<AutomationObject> o) : value_(std::move(o)) {}
  Variant(VariantList list) : value_(std::move(list)) {}

  static Variant Null() { return Variant(NullValue{}); }

  Kind GetKind() const { return static_cast<Kind>(value_.index()); }
  bool IsEmpty() const { return GetKind() == Kind::Empty; }
  bool IsNull() const { return GetKind() == Kind::Null; }
  bool IsText() const { return GetKind() == Kind::Text; }
  bool IsObject() const { return GetKind() == Kind::Object; }
  bool IsList() const { return GetKind() == Kind::List; }
  bool IsNumeric() const;

  // Text form: Boolean as "True"/"False", dates as "yyyy-MM-dd hh:mm:ss",
  // empty and null as "". An object or a list raises a type mismatch.
  std::string ToText() const;
  // A text read as a number takes its leading number ("12abc" is 12), a
  // non-numeric text reads as 0; True is -1.
  std::int64_t ToLong() const;
  double ToDouble() const;
  // "True"/"False" in any case, otherwise a number other than 0.
  bool ToBool() const;
  // A date, a number (days since 1899-12-30) or a text date; anything else
  // raises a type mismatch.
  AutoDate ToDate() const;
  std::shared_ptr<AutomationObject> ToObject() const;
  const VariantList& ToList() const;

  template <typename T>
  std::shared_ptr<T> As() const {
    return std::dynamic_pointer_cast<T>(ToObject());
  }

  // Short description for diagnostics and dumps.
  std::string KindName() const;

  friend bool operator==(const Variant& a, const Variant& b) { return a.value_ == b.value_; }

 private:
  std::variant<EmptyValue, NullValue, std::string, bool, std::int64_t, double, AutoDate,
               std::shared_ptr<AutomationObject>, VariantList>
      value_;
};

// Leading number of a text, as the host's and Outlook's "Val" reads it.
VELKLK_API double LeadingNumber(std::string_view text);

}  // namespace velklk
