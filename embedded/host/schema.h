// The schema description of the embedded CRM database: which tables exist,
// their fields with type and size, their indexes and their master table.
// Table layouts are data: the default description below is what a new
// database gets, and a fixture (or a test) may drop, add or resize fields and
// add tables of its own.
#pragma once

#include <charconv>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>
#include <vector>

#include "platform/export.h"

namespace velklk::host {

enum class FieldType { Text, Memo, Integer, Number, Boolean, Date, Link };

// "text", "memo", "integer", "number", "boolean", "date", "link".
VELKLK_API std::string_view FieldTypeName(FieldType type);
VELKLK_API std::optional<FieldType> ParseFieldType(std::string_view name);

struct VELKLK_API FieldDef {
  std::string name;
  FieldType type = FieldType::Text;
  // Characters for text fields; 0 for every other type.
  int size = 0;
  // Value a new record starts with; "@user" stands for the current user's
  // name. Empty: the type's empty value.
  std::string defaultValue;
};

// An index whose key is the listed fields' texts written directly one after
// the other ("SyncSearch" = velUser followed by velSearch).
struct VELKLK_API IndexDef {
  std::string name;
  std::vector<std::string> fields;
};

struct VELKLK_API TableDef {
  std::string name;
  // Name of the master table; empty for a stand-alone table.
  std::string master;
  std::vector<FieldDef> fields;
  // Besides the implicit index "ID".
  std::vector<IndexDef> indexes;

  // Position of the field (names compared without regard to case), or -1.
  int FieldIndex(std::string_view fieldName) const;
  const FieldDef* FindField(std::string_view fieldName) const;
  const IndexDef* FindIndex(std::string_view indexName) const;
};

struct VELKLK_API Schema {
  std::vector<std::shared_ptr<const TableDef>> tables;

  // Table by name without regard to case; nothing when unknown.
  std::shared_ptr<const TableDef> Find(std::string_view tableName) const;
  // Tables with every master before its details.
  std::vector<std::shared_ptr<const TableDef>> MastersFirst() const;
  // Raises std::invalid_argument naming the offending table or field when a
  // table lacks a text "ID", a master is unknown or cyclic, a name repeats or
  // an index names a missing field.
  void Validate() const;

  // The shipped layout of the CRM database.
  static Schema Default();
};

// The whole text as a number (std::from_chars: digits with an optional
// leading "-", for a double also a point and an exponent); nothing for any
// other text, blanks and "+" included, or a number the type cannot hold.
template <typename T>
std::optional<T> ParseNumber(std::string_view text, int base = 10) {
  T value{};
  const char* const end = text.data() + text.size();
  std::from_chars_result result;
  if constexpr (std::is_floating_point_v<T>) {
    (void)base;
    result = std::from_chars(text.data(), end, value);
  } else {
    result = std::from_chars(text.data(), end, value, base);
  }
  if (result.ec != std::errc() || result.ptr != end) return std::nullopt;
  return value;
}

// Number of characters (UTF-8 code points) of a text, and the text cut to at
// most that many characters.
VELKLK_API std::size_t CharCount(std::string_view text);
VELKLK_API std::string CutChars(std::string_view text, std::size_t maxChars);

}  // namespace velklk::host
