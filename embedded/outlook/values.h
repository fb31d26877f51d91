// Typed property values of the embedded Outlook store and the table of the
// standard properties each item kind has.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/auto_date.h"
#include "platform/outlook.h"
#include "platform/variant.h"

namespace velklk::outlook {

enum class ValueType : std::uint8_t { Text, Bool, Integer, Double, Date };

// One stored value; the alternative always matches the property's ValueType.
using PropValue = std::variant<std::string, bool, std::int64_t, double, AutoDate>;

ValueType TypeOf(const PropValue& value);
// True for an automation date value of a day in the years 100 to 9999, which
// is what a date property holds.
bool IsCalendarDate(double value);
Variant ToVariant(const PropValue& value);
// Text form used for refused-value checks and diagnostics.
std::string ValueText(const PropValue& value);

// Converts a value handed in through the object model to a property's type,
// the way a late-bound property assignment coerces it; raises a type
// mismatch for a value of the wrong kind.
PropValue CoerceValue(const Variant& value, ValueType type, const std::string& property);

enum class ItemKind : std::uint8_t { Mail, Appointment, Contact, Task, DistList };

int ClassOf(ItemKind kind);
std::optional<ItemKind> KindOfClass(int olClass);
std::optional<ItemKind> KindOfItemType(OlItemType type);
// "mail", "appointment", "contact", "task", "distlist".
const char* KindName(ItemKind kind);
std::optional<ItemKind> KindFromName(std::string_view name);
std::string MessageClassOf(ItemKind kind);

// How a standard property is held.
enum class PropRole : std::uint8_t {
  Stored,    // an ordinary read/write value
  Derived,   // computed from others unless set explicitly (FileAs, FullName, Duration)
  ReadOnly,  // kept by the store (Class, EntryID, LastModificationTime, ...)
};

struct PropertyDef {
  std::string name;
  ValueType type;
  PropValue defaultValue;
  PropRole role;
  std::uint32_t kinds;  // bit set of ItemKind
};

// The identifiers of the properties with rules of their own.
namespace prop {
extern const int kClass, kEntryId, kMessageClass, kLastModificationTime, kCreationTime;
extern const int kFileAs, kFullName, kFirstName, kMiddleName, kLastName, kSuffix, kCompanyName;
extern const int kDuration, kStart, kEnd, kMemberCount;
}  // namespace prop

const std::vector<PropertyDef>& AllProperties();
const PropertyDef& Property(int id);
// Lookup of a standard property name (of any kind) without regard to ASCII
// case.
std::optional<int> FindProperty(std::string_view name);
bool KindHas(ItemKind kind, int id);
// The standard properties of a kind in table order.
const std::vector<int>& PropertiesOf(ItemKind kind);

}  // namespace velklk::outlook
