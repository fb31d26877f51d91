// The CRM host's automation interface: application, database, tables, fields,
// users, settings, global variables, expressions and links. The add-in sees
// the host only through these classes. Every operation may raise an
// AutomationError; objects are shared references held as long as needed.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/export.h"
#include "platform/variant.h"

namespace velklk {

class HostDatabase;
class HostTable;

// The option value the host uses for "on" in its option calls.
inline constexpr int kHostOptionOn = 256;

class VELKLK_API HostField {
 public:
  virtual ~HostField() = default;
  virtual std::string Name() const = 0;
  // Size in characters for text fields, 0 where the type has none.
  virtual int Size() const = 0;
  // The value on the table's current record. A link field holds a HostLink
  // object (or empty).
  virtual Variant Value() const = 0;
  // Writes the value into the record being added or edited; raises an error
  // when the table is not in add or edit mode or the value is refused.
  virtual void SetValue(const Variant& value) = 0;
};

// A link object in a link field ("URL", "InfoObject").
class VELKLK_API HostLink : public AutomationObject {
 public:
  virtual std::string Target() const = 0;
  virtual std::string DisplayText() const = 0;
};

class VELKLK_API HostTable {
 public:
  virtual ~HostTable() = default;

  virtual std::string Name() const = 0;
  virtual int FieldCount() const = 0;
  virtual std::shared_ptr<HostField> Field(int index) const = 0;  // 0-based
  // Field names match without regard to case; an unknown name raises.
  virtual std::shared_ptr<HostField> Field(const std::string& name) const = 0;
  virtual bool FieldExists(const std::string& name) const = 0;

  // Navigation over the table, or over the details of the master's current
  // record for a detail table. Each move returns "not at end".
  virtual bool AtEnd() const = 0;
  virtual bool MoveFirst() = 0;
  virtual bool Move(long count) = 0;

  virtual bool HasMaster() const = 0;
  // The master table, positioned on the master record of the current record.
  virtual std::shared_ptr<HostTable> Master() = 0;

  // Selects the index used by Seek: "ID", or "SyncSearch" on the sync log
  // (user followed directly by the key). Returns the previous index name.
  virtual std::string SelectIndex(const std::string& indexName) = 0;
  virtual std::string CurrentIndex() const = 0;
  // Positions on the first record whose index value equals the value.
  virtual bool Seek(const std::string& value) = 0;

  virtual bool MayAdd() const = 0;
  // Starts a new record (from the table's template); fields are written, then
  // SaveNew makes it permanent and current.
  virtual void NewRecord() = 0;
  virtual void SaveNew() = 0;

  // The two record flags that must both be true before fields are written.
  virtual bool MayEdit() const = 0;
  virtual bool BeginEdit() = 0;
  virtual void StoreEdited() = 0;
  // Drops a record being added or edited.
  virtual void Cancel() = 0;

  virtual bool MayDelete() const = 0;
  virtual void DeleteCurrent() = 0;

  // The field last read or written on this table (empty when none).
  virtual std::string CurrentFieldName() const = 0;
  // Record reference of the current record, and going back to it.
  virtual std::string RecordReference() const = 0;
  virtual bool GoToReference(const std::string& reference) = 0;
  // Gives the current record the tenant assignment of the master's current
  // record.
  virtual void CopyTenantsFrom(HostTable& master) = 0;
  virtual std::vector<std::string> Tenants() const = 0;

  // Rows matching the condition, each with the values of the column
  // expressions; empty when none match.
  virtual std::vector<std::vector<Variant>> SelectRows(const std::vector<std::string>& columns,
                                                       const std::string& condition) = 0;

  // The two look-up options (set with kHostOptionOn).
  virtual void SetLookupOption1(bool on, int option) = 0;
  virtual void SetLookupOption2(bool on, int option) = 0;
};

// A compiled host expression, evaluated on a table's current record.
class VELKLK_API HostExpression {
 public:
  virtual ~HostExpression() = default;
  virtual Variant Evaluate(HostTable& table) = 0;
};

// A user's private settings store.
class VELKLK_API HostSettings {
 public:
  virtual ~HostSettings() = default;
  virtual bool Exists(const std::string& key) const = 0;
  virtual Variant Value(const std::string& key) const = 0;
  virtual void SetValue(const std::string& key, const Variant& value) = 0;
  virtual void Add(const std::string& key, const Variant& value) = 0;
  virtual void Remove(const std::string& key) = 0;
  virtual int Count() const = 0;
  virtual std::string NameAt(int index) const = 0;  // 0-based
};

class VELKLK_API HostUser {
 public:
  virtual ~HostUser() = default;
  virtual std::string Name() const = 0;
  virtual std::string Name2() const = 0;
  virtual bool PropertyExists(const std::string& name) const = 0;
  virtual Variant Property(const std::string& name) const = 0;
  virtual std::shared_ptr<HostSettings> Settings() = 0;
};

class VELKLK_API HostUserGroup {
 public:
  virtual ~HostUserGroup() = default;
  virtual std::string Name() const = 0;
  virtual bool HasMember(const std::string& userName) const = 0;
};

class VELKLK_API HostDatabase : public AutomationObject {
 public:
  virtual ~HostDatabase() = default;

  // The table object of that name; the same object for the same name on this
  // database object. Raises for an unknown table.
  virtual std::shared_ptr<HostTable> Table(const std::string& name) = 0;
  virtual std::string FilePath() const = 0;
  virtual std::uint32_t AttributeFlags() const = 0;
  // A separate database object over the same data (argument 0).
  virtual std::shared_ptr<HostDatabase> OpenWorkingDatabase(int argument) = 0;

  virtual int UserCount() const = 0;
  virtual std::shared_ptr<HostUser> UserAt(int index) = 0;  // 0-based
  virtual std::shared_ptr<HostUser> CurrentUser() = 0;
  // Nothing when no user has that name.
  virtual std::shared_ptr<HostUser> User(const std::string& name) = 0;
  // Nothing when no group has that name.
  virtual std::shared_ptr<HostUserGroup> UserGroup(const std::string& name) = 0;

  virtual bool GlobalExists(const std::string& name) const = 0;
  virtual Variant GlobalValue(const std::string& name) const = 0;
  virtual void SetGlobalValue(const std::string& name, const Variant& value) = 0;
  virtual void AddGlobal(const std::string& name, const Variant& value) = 0;
  virtual std::vector<std::string> GlobalNames() const = 0;

  // Raises for a syntax error or an unknown function.
  virtual std::shared_ptr<HostExpression> Compile(const std::string& text) = 0;
  // A link object for a web address, nothing for a text that is not one.
  virtual std::shared_ptr<HostLink> MakeLink(const std::string& address) = 0;
};

class VELKLK_API HostApplication : public AutomationObject {
 public:
  virtual std::shared_ptr<HostDatabase> Database() = 0;
  // The table shown to the user, or nothing.
  virtual std::shared_ptr<HostTable> ActiveTable() = 0;
  virtual void SetActiveTable(const std::shared_ptr<HostTable>& table) = 0;
};

}  // namespace velklk
