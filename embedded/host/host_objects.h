// The embedded host's implementations of the host interface. Internal: the
// public entry point is embedded_host.h.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/expression.h"
#include "host/host_core.h"
#include "platform/host.h"

namespace velklk::host {

class DatabaseImpl;
class TableImpl;

class LinkImpl final : public HostLink {
 public:
  explicit LinkImpl(std::string target) : target_(std::move(target)) {}
  std::string Target() const override { return target_; }
  // The embedded host shows a link by its address.
  std::string DisplayText() const override { return target_; }

 private:
  std::string target_;
};

// "http://", "https://", "ftp://", "mailto:" or "www." followed by an address
// without blanks.
bool IsWebAddress(const std::string& text);

class FieldImpl final : public HostField {
 public:
  FieldImpl(std::weak_ptr<TableImpl> table, int index) : table_(std::move(table)), index_(index) {}
  std::string Name() const override;
  int Size() const override;
  Variant Value() const override;
  void SetValue(const Variant& value) override;

 private:
  std::shared_ptr<TableImpl> Table() const;
  std::weak_ptr<TableImpl> table_;  // the table object keeps its fields
  int index_;
};

class TableImpl final : public HostTable, public std::enable_shared_from_this<TableImpl> {
 public:
  TableImpl(std::shared_ptr<HostCore> core, std::weak_ptr<DatabaseImpl> db,
            std::shared_ptr<const TableDef> def);

  std::string Name() const override { return def_->name; }
  int FieldCount() const override { return static_cast<int>(def_->fields.size()); }
  std::shared_ptr<HostField> Field(int index) const override;
  std::shared_ptr<HostField> Field(const std::string& name) const override;
  bool FieldExists(const std::string& name) const override;

  bool AtEnd() const override;
  bool MoveFirst() override;
  bool Move(long count) override;

  bool HasMaster() const override { return !def_->master.empty(); }
  std::shared_ptr<HostTable> Master() override;

  std::string SelectIndex(const std::string& indexName) override;
  std::string CurrentIndex() const override { return index_; }
  bool Seek(const std::string& value) override;

  bool MayAdd() const override;
  void NewRecord() override;
  void SaveNew() override;
  bool MayEdit() const override;
  bool BeginEdit() override;
  void StoreEdited() override;
  void Cancel() override;
  bool MayDelete() const override;
  void DeleteCurrent() override;

  std::string CurrentFieldName() const override { return currentField_; }
  std::string RecordReference() const override;
  bool GoToReference(const std::string& reference) override;
  void CopyTenantsFrom(HostTable& master) override;
  std::vector<std::string> Tenants() const override;

  std::vector<std::vector<Variant>> SelectRows(const std::vector<std::string>& columns,
                                               const std::string& condition) override;
  void SetLookupOption1(bool on, int option) override;
  void SetLookupOption2(bool on, int option) override;

  // For the fields, the database and the expression context.
  const TableDef& Def() const { return *def_; }
  Variant FieldValueAt(int index) const;
  void SetFieldValueAt(int index, const Variant& value);
  // The row id of the current record, 0 at end (after following the master).
  std::int64_t CurrentRow() const;
  // True while there is a record to read: a current one, or one being added.
  bool HasRecord() const { return mode_ != Mode::None || CurrentRow() != 0; }
  // Positions on a record by row id, making its master record current.
  bool PositionOnRow(std::int64_t row);
  std::string CurrentId() const;
  // The database object this table object belongs to.
  std::shared_ptr<DatabaseImpl> OwnerDb() const { return Db(); }
  // Converts a stored column to the field's value.
  static Variant ColumnValue(const FieldDef& field, sqlite::Statement& st, int column);

 private:
  enum class Mode { None, Add, Edit };
  // A detail table follows its master: when the master's current record is
  // not the one this position belongs to, go to the first detail of the new
  // master record.
  void Sync() const;
  std::shared_ptr<DatabaseImpl> Db() const;
  std::shared_ptr<TableImpl> MasterTable() const;
  void LoadCurrent() const;
  // Takes the record a statement stands on (columns as in SelectList()).
  void FillFrom(sqlite::Statement& st) const;
  void PrepareSeekSql();
  void SetPosition(std::int64_t row, std::int64_t masterRow) const;
  std::int64_t FirstRow(std::int64_t masterRow) const;
  void Check(const char* operation) const { core_->CheckInjected(def_->name, operation); }
  [[noreturn]] void Fail(std::uint32_t number, const std::string& what) const;
  const std::string& SelectList() const;
  bool RecordRefuses(const std::string& op) const;
  void RequireNotEditing(const char* operation) const;

  std::shared_ptr<HostCore> core_;
  std::weak_ptr<DatabaseImpl> db_;
  std::shared_ptr<const TableDef> def_;
  std::string quotedName_;
  // SQL texts built once per layout; the seek text of the index in use.
  std::shared_ptr<HostCore::TableTexts> texts_;
  const std::string* seekSql_ = nullptr;
  mutable std::vector<std::shared_ptr<FieldImpl>> fields_;

  // Position: row id (0 = at end), the master row it belongs to, the loaded
  // record (row id, master row id, tenants, then the fields).
  mutable std::int64_t row_ = 0;
  mutable std::int64_t masterRow_ = 0;
  mutable bool loaded_ = false;
  mutable std::vector<Variant> values_;
  mutable std::string tenants_;
  mutable std::int64_t recordMaster_ = 0;

  Mode mode_ = Mode::None;
  std::vector<Variant> buffer_;
  std::vector<bool> dirty_;
  std::int64_t newMaster_ = 0;

  mutable std::string currentField_;
  std::string index_ = "ID";
  bool lookup1_ = false, lookup2_ = false;
};

class SettingsImpl final : public HostSettings {
 public:
  SettingsImpl(std::shared_ptr<HostCore> core, std::string user)
      : core_(std::move(core)), user_(std::move(user)) {}
  bool Exists(const std::string& key) const override;
  Variant Value(const std::string& key) const override;
  void SetValue(const std::string& key, const Variant& value) override;
  void Add(const std::string& key, const Variant& value) override;
  void Remove(const std::string& key) override;
  int Count() const override;
  std::string NameAt(int index) const override;

 private:
  std::shared_ptr<HostCore> core_;
  std::string user_;
};

class UserImpl final : public HostUser {
 public:
  UserImpl(std::shared_ptr<HostCore> core, std::string name, std::string name2)
      : core_(std::move(core)), name_(std::move(name)), name2_(std::move(name2)) {}
  std::string Name() const override { return name_; }
  std::string Name2() const override { return name2_; }
  bool PropertyExists(const std::string& name) const override;
  Variant Property(const std::string& name) const override;
  std::shared_ptr<HostSettings> Settings() override;

 private:
  std::shared_ptr<HostCore> core_;
  std::string name_, name2_;
};

class UserGroupImpl final : public HostUserGroup {
 public:
  UserGroupImpl(std::shared_ptr<HostCore> core, std::string name)
      : core_(std::move(core)), name_(std::move(name)) {}
  std::string Name() const override { return name_; }
  bool HasMember(const std::string& userName) const override;

 private:
  std::shared_ptr<HostCore> core_;
  std::string name_;
};

class DatabaseImpl final : public HostDatabase, public std::enable_shared_from_this<DatabaseImpl> {
 public:
  explicit DatabaseImpl(std::shared_ptr<HostCore> core) : core_(std::move(core)) {}

  std::shared_ptr<HostTable> Table(const std::string& name) override;
  std::string FilePath() const override;
  std::uint32_t AttributeFlags() const override;
  std::shared_ptr<HostDatabase> OpenWorkingDatabase(int argument) override;

  int UserCount() const override;
  std::shared_ptr<HostUser> UserAt(int index) override;
  std::shared_ptr<HostUser> CurrentUser() override;
  std::shared_ptr<HostUser> User(const std::string& name) override;
  std::shared_ptr<HostUserGroup> UserGroup(const std::string& name) override;

  bool GlobalExists(const std::string& name) const override;
  Variant GlobalValue(const std::string& name) const override;
  void SetGlobalValue(const std::string& name, const Variant& value) override;
  void AddGlobal(const std::string& name, const Variant& value) override;
  std::vector<std::string> GlobalNames() const override;

  std::shared_ptr<HostExpression> Compile(const std::string& text) override;
  std::shared_ptr<HostLink> MakeLink(const std::string& address) override;

  std::shared_ptr<TableImpl> TableObject(const std::string& name);
  HostCore& Core() { return *core_; }
  // Forgets the table objects (after the layout changed).
  void ForgetTables() { tables_.clear(); }

 private:
  std::shared_ptr<HostCore> core_;
  std::map<std::string, std::shared_ptr<TableImpl>> tables_;  // lower-case name
};

// Evaluates expressions on a table's current record, or on one row of a
// SelectRows scan.
class RecordContext final : public ExpressionContext {
 public:
  RecordContext(DatabaseImpl& db, TableImpl& table, const std::vector<Variant>* row = nullptr)
      : db_(db), table_(table), row_(row) {}
  Variant FieldValue(const std::string& table, const std::string& field) override;
  Variant CallFunction(const std::string& name, const std::vector<Variant>& args) override;

 private:
  std::string Text(const std::string& table, const std::string& field);
  DatabaseImpl& db_;
  TableImpl& table_;
  const std::vector<Variant>* row_;
};

class ExpressionImpl final : public HostExpression {
 public:
  ExpressionImpl(std::weak_ptr<DatabaseImpl> db, CompiledExpression expr)
      : db_(std::move(db)), expr_(std::move(expr)) {}
  Variant Evaluate(HostTable& table) override;

 private:
  std::weak_ptr<DatabaseImpl> db_;
  CompiledExpression expr_;
};

class ApplicationImpl final : public HostApplication {
 public:
  explicit ApplicationImpl(std::shared_ptr<DatabaseImpl> db) : db_(std::move(db)) {}
  std::shared_ptr<HostDatabase> Database() override;
  std::shared_ptr<HostTable> ActiveTable() override;
  void SetActiveTable(const std::shared_ptr<HostTable>& table) override;

 private:
  std::shared_ptr<DatabaseImpl> db_;
  std::shared_ptr<HostTable> active_;
};

}  // namespace velklk::host
