#include <algorithm>
#include <cmath>

#include "host/host_changes.h"
#include "host/host_objects.h"
#include "platform/automation_error.h"
#include "platform/text_case.h"

namespace velklk::host {

using sqlite::QuoteIdentifier;

bool IsWebAddress(const std::string& text) {
  const std::string lower = IdentifierKey(text);
  for (const char* prefix : {"http://", "https://", "ftp://", "mailto:", "www."}) {
    const std::string p(prefix);
    if (lower.rfind(p, 0) == 0 && lower.size() > p.size()) {
      for (unsigned char c : text)
        if (c <= ' ') return false;
      return true;
    }
  }
  return false;
}

// ---- FieldImpl ----

std::shared_ptr<TableImpl> FieldImpl::Table() const {
  auto table = table_.lock();
  if (!table)
    throw AutomationError(err::kObjectVariableNotSet, "Velmora.Field", "the table object is gone");
  return table;
}
std::string FieldImpl::Name() const { return Table()->Def().fields[index_].name; }
int FieldImpl::Size() const { return Table()->Def().fields[index_].size; }
Variant FieldImpl::Value() const { return Table()->FieldValueAt(index_); }
void FieldImpl::SetValue(const Variant& value) { Table()->SetFieldValueAt(index_, value); }

// ---- TableImpl ----

namespace {

Variant EmptyValueOf(const FieldDef& field) {
  switch (field.type) {
    case FieldType::Text:
    case FieldType::Memo:
      return Variant(std::string());
    case FieldType::Integer:
      return Variant(0LL);
    case FieldType::Number:
      return Variant(0.0);
    case FieldType::Boolean:
      return Variant(false);
    case FieldType::Date:
      return Variant(AutoDate(0.0));
    case FieldType::Link:
      return Variant();
  }
  return Variant();
}

void BindField(sqlite::Statement& st, int index, const FieldDef& field, const Variant& value) {
  switch (field.type) {
    case FieldType::Text:
    case FieldType::Memo:
      st.Bind(index, value.ToText());
      return;
    case FieldType::Link: {
      auto link = value.IsObject() ? value.As<HostLink>() : nullptr;
      st.Bind(index, link ? link->Target() : std::string());
      return;
    }
    case FieldType::Integer:
    case FieldType::Boolean:
      st.Bind(index,
              static_cast<std::int64_t>(field.type == FieldType::Boolean ? (value.ToBool() ? 1 : 0)
                                                                         : value.ToLong()));
      return;
    case FieldType::Number:
      st.Bind(index, value.ToDouble());
      return;
    case FieldType::Date: {
      const double d = value.ToDouble();
      if (d == 0.0)
        st.BindNull(index);
      else
        st.Bind(index, d);
      return;
    }
  }
}

// True when binding the value stores what the column's default stores
// (see the column definitions of HostCore).
bool IsColumnDefault(const FieldDef& field, const Variant& value) {
  switch (field.type) {
    case FieldType::Text:
    case FieldType::Memo:
      return value.IsText() && value.ToText().empty();
    case FieldType::Link:
      return value.IsEmpty();
    case FieldType::Integer:
    case FieldType::Boolean:
      return (value.GetKind() == Variant::Kind::Integer && value.ToLong() == 0) ||
             (value.GetKind() == Variant::Kind::Bool && !value.ToBool());
    case FieldType::Number:
    case FieldType::Date:
      // A date of 0 is stored as NULL, the column's default; a number 0 as
      // 0 (but not -0).
      return value.GetKind() ==
                 (field.type == FieldType::Date ? Variant::Kind::Date : Variant::Kind::Double) &&
             value.ToDouble() == 0.0 && !std::signbit(value.ToDouble());
  }
  return false;
}

bool IsMaintainedField(const std::string& name) {
  return SameIdentifier(name, "ID") || SameIdentifier(name, "ModifiziertAm");
}

}  // namespace

Variant TableImpl::ColumnValue(const FieldDef& field, sqlite::Statement& st, int column) {
  switch (field.type) {
    case FieldType::Text:
    case FieldType::Memo:
      return Variant(st.IsNull(column) ? std::string() : st.Text(column));
    case FieldType::Link: {
      const std::string target = st.IsNull(column) ? std::string() : st.Text(column);
      if (target.empty()) return Variant();
      return Variant(std::shared_ptr<AutomationObject>(std::make_shared<LinkImpl>(target)));
    }
    case FieldType::Integer:
      return Variant(static_cast<long long>(st.Int(column)));
    case FieldType::Number:
      return Variant(st.Double(column));
    case FieldType::Boolean:
      return Variant(st.Int(column) != 0);
    case FieldType::Date:
      return Variant(AutoDate(st.IsNull(column) ? 0.0 : st.Double(column)));
  }
  return Variant();
}

TableImpl::TableImpl(std::shared_ptr<HostCore> core, std::weak_ptr<DatabaseImpl> db,
                     std::shared_ptr<const TableDef> def)
    : core_(std::move(core)),
      db_(std::move(db)),
      def_(std::move(def)),
      quotedName_("main." + QuoteIdentifier(def_->name)) {
  fields_.resize(def_->fields.size());
  texts_ = core_->TextsOf(def_);
  if (texts_->load.empty()) {
    HostCore::TableTexts& t = *texts_;
    t.selectList = std::string(kRowColumn) + ", " + kMasterColumn + ", " + kTenantsColumn;
    for (const auto& f : def_->fields) t.selectList += ", " + QuoteIdentifier(f.name);
    t.load = "SELECT " + t.selectList + " FROM " + quotedName_ + " WHERE " + kRowColumn + " = ?1";
    t.first = "SELECT " + std::string(kRowColumn) + " FROM " + quotedName_ +
              (def_->master.empty() ? "" : std::string(" WHERE ") + kMasterColumn + " = ?1") +
              " ORDER BY " + kRowColumn + " LIMIT 1";
    t.insert = "INSERT INTO " + quotedName_ + "(" + kMasterColumn + ", " + kTenantsColumn;
  }
  PrepareSeekSql();
  if (def_->master.empty()) {
    row_ = FirstRow(0);
  } else {
    masterRow_ = -1;  // not yet following a master record
  }
}

void TableImpl::Fail(std::uint32_t number, const std::string& what) const {
  throw AutomationError(number, "Velmora.Table", "Table '" + def_->name + "': " + what);
}

std::shared_ptr<DatabaseImpl> TableImpl::Db() const {
  auto db = db_.lock();
  if (!db) Fail(err::kObjectVariableNotSet, "the database object is gone");
  return db;
}

std::shared_ptr<TableImpl> TableImpl::MasterTable() const {
  return Db()->TableObject(def_->master);
}

const std::string& TableImpl::SelectList() const { return texts_->selectList; }

std::int64_t TableImpl::FirstRow(std::int64_t masterRow) const {
  StatementUse use(core_->Cached(texts_->first));
  if (!def_->master.empty()) use->Bind(1, masterRow);
  return Step(*use) ? use->Int(0) : 0;
}

void TableImpl::SetPosition(std::int64_t row, std::int64_t masterRow) const {
  row_ = row;
  masterRow_ = masterRow;
  loaded_ = false;
}

void TableImpl::Sync() const {
  if (def_->master.empty() || mode_ != Mode::None) return;
  const std::int64_t m = MasterTable()->CurrentRow();
  if (m != masterRow_) SetPosition(m ? FirstRow(m) : 0, m);
}

std::int64_t TableImpl::CurrentRow() const {
  Sync();
  return row_;
}

void TableImpl::LoadCurrent() const {
  Sync();
  if (loaded_ || row_ == 0) return;
  StatementUse use(core_->Cached(texts_->load));
  use->Bind(1, row_);
  if (!Step(*use)) {  // removed through another database object
    row_ = 0;
    return;
  }
  FillFrom(*use);
}

void TableImpl::FillFrom(sqlite::Statement& st) const {
  row_ = st.Int(0);
  recordMaster_ = st.IsNull(1) ? 0 : st.Int(1);
  tenants_ = st.Text(2);
  values_.clear();
  values_.reserve(def_->fields.size());
  for (std::size_t i = 0; i < def_->fields.size(); ++i)
    values_.push_back(ColumnValue(def_->fields[i], st, static_cast<int>(i) + 3));
  loaded_ = true;
}

std::shared_ptr<HostField> TableImpl::Field(int index) const {
  core_->CheckInjected(def_->name, "Field");
  if (index < 0 || index >= FieldCount())
    throw AutomationError(err::kSubscriptOutOfRange, "Velmora.Table",
                          "Table '" + def_->name + "': no field at index " + std::to_string(index));
  auto& slot = fields_[static_cast<std::size_t>(index)];
  if (!slot)
    slot =
        std::make_shared<FieldImpl>(std::const_pointer_cast<TableImpl>(shared_from_this()), index);
  return slot;
}

std::shared_ptr<HostField> TableImpl::Field(const std::string& name) const {
  const int index = def_->FieldIndex(name);
  if (index < 0)
    throw AutomationError(err::kInvalidArg, "Velmora.Table",
                          "Table '" + def_->name + "' has no field '" + name + "'");
  return Field(index);
}

bool TableImpl::FieldExists(const std::string& name) const { return def_->FieldIndex(name) >= 0; }

Variant TableImpl::FieldValueAt(int index) const {
  Check("Value");
  const auto i = static_cast<std::size_t>(index);
  currentField_ = def_->fields[i].name;
  if (mode_ != Mode::None) return buffer_[i];
  LoadCurrent();
  if (row_ == 0) Fail(err::kFail, "no current record (at end)");
  return values_[i];
}

void TableImpl::SetFieldValueAt(int index, const Variant& value) {
  Check("SetValue");
  const auto i = static_cast<std::size_t>(index);
  const FieldDef& field = def_->fields[i];
  currentField_ = field.name;
  if (mode_ == Mode::None)
    Fail(err::kFail, "field '" + field.name + "' written while no record is added or edited");
  if (IsMaintainedField(field.name))
    Fail(err::kPermissionDenied, "field '" + field.name + "' is maintained by the host");
  Variant stored;
  switch (field.type) {
    case FieldType::Text:
      stored = Variant(CutChars(value.ToText(), static_cast<std::size_t>(field.size)));
      break;
    case FieldType::Memo:
      stored = Variant(value.ToText());
      break;
    case FieldType::Integer:
      stored = Variant(static_cast<long long>(value.ToLong()));
      break;
    case FieldType::Number:
      stored = Variant(value.ToDouble());
      break;
    case FieldType::Boolean:
      stored = Variant(value.ToBool());
      break;
    case FieldType::Date:
      if (value.IsEmpty() || value.IsNull() || (value.IsText() && value.ToText().empty()))
        stored = Variant(AutoDate(0.0));
      else
        stored = Variant(value.ToDate());
      break;
    case FieldType::Link:
      if (value.IsObject()) {
        auto link = value.As<HostLink>();
        if (!link) Fail(err::kTypeMismatch, "field '" + field.name + "' takes a link object");
        stored =
            Variant(std::shared_ptr<AutomationObject>(std::make_shared<LinkImpl>(link->Target())));
      } else if (value.IsEmpty() || value.IsNull() || value.ToText().empty()) {
        stored = Variant();
      } else if (IsWebAddress(value.ToText())) {
        stored =
            Variant(std::shared_ptr<AutomationObject>(std::make_shared<LinkImpl>(value.ToText())));
      } else {
        Fail(err::kTypeMismatch,
             "field '" + field.name + "' takes a web address, not '" + value.ToText() + "'");
      }
      break;
  }
  if (core_->RefusesValue(def_->name, field.name,
                          stored.IsObject() ? stored.As<HostLink>()->Target() : stored.ToText()))
    Fail(err::kInvalidArg, "field '" + field.name + "' refuses the value '" + value.ToText() + "'");
  buffer_[i] = std::move(stored);
  dirty_[i] = true;
}

bool TableImpl::AtEnd() const {
  Check("AtEnd");
  if (mode_ == Mode::Add) return false;
  LoadCurrent();
  return row_ == 0;
}

void TableImpl::RequireNotEditing(const char* operation) const {
  if (mode_ != Mode::None)
    Fail(err::kFail, std::string(operation) + " while a record is being " +
                         (mode_ == Mode::Add ? "added" : "edited"));
}

bool TableImpl::MoveFirst() {
  Check("MoveFirst");
  RequireNotEditing("MoveFirst");
  Sync();
  SetPosition(FirstRow(masterRow_), masterRow_);
  return row_ != 0;
}

bool TableImpl::Move(long count) {
  Check("Move");
  RequireNotEditing("Move");
  Sync();
  if (row_ == 0) return false;
  if (count == 0) {
    loaded_ = false;
    LoadCurrent();
    return row_ != 0;
  }
  const bool detail = !def_->master.empty();
  const bool forward = count > 0;
  const std::string sql = "SELECT " + std::string(kRowColumn) + " FROM " + quotedName_ + " WHERE " +
                          kRowColumn + (forward ? " > ?1" : " < ?1") +
                          (detail ? std::string(" AND ") + kMasterColumn + " = ?3" : "") +
                          " ORDER BY " + kRowColumn + (forward ? "" : " DESC") +
                          " LIMIT 1 OFFSET ?2";
  auto& st = core_->Cached(sql);
  StatementUse use(st);
  use->Bind(1, row_);
  use->Bind(2, static_cast<std::int64_t>(forward ? count - 1 : -(count + 1)));
  if (detail) use->Bind(3, masterRow_);
  SetPosition(Step(*use) ? use->Int(0) : 0, masterRow_);
  return row_ != 0;
}

std::shared_ptr<HostTable> TableImpl::Master() {
  Check("Master");
  if (def_->master.empty()) Fail(err::kFail, "has no master table");
  auto master = MasterTable();
  LoadCurrent();
  if (row_ != 0 && recordMaster_ != 0 && master->CurrentRow() != recordMaster_)
    master->PositionOnRow(recordMaster_);
  return master;
}

bool TableImpl::PositionOnRow(std::int64_t row) {
  auto& st = core_->Cached("SELECT " + std::string(kMasterColumn) + " FROM " + quotedName_ +
                           " WHERE " + kRowColumn + " = ?1");
  std::int64_t master = 0;
  {
    StatementUse use(st);
    use->Bind(1, row);
    if (!Step(*use)) return false;
    master = use->IsNull(0) ? 0 : use->Int(0);
  }
  if (!def_->master.empty()) {
    auto masterTable = MasterTable();
    if (masterTable->mode_ != Mode::None)
      masterTable->Fail(err::kFail, "positioning a detail record while its master is edited");
    masterTable->PositionOnRow(master);
  }
  SetPosition(row, master);
  return true;
}

std::string TableImpl::SelectIndex(const std::string& indexName) {
  Check("SelectIndex");
  std::string previous = index_;
  if (SameIdentifier(indexName, "ID")) {
    index_ = "ID";
  } else if (const IndexDef* index = def_->FindIndex(indexName)) {
    index_ = index->name;
  } else {
    Fail(err::kInvalidArg, "has no index '" + indexName + "'");
  }
  PrepareSeekSql();
  return previous;
}

void TableImpl::PrepareSeekSql() {
  std::string& sql = texts_->seek[IdentifierKey(index_)];
  if (sql.empty()) {
    std::string key = "\"ID\"";
    if (!SameIdentifier(index_, "ID")) {
      key.clear();
      for (const auto& f : def_->FindIndex(index_)->fields)
        key += (key.empty() ? "" : " || ") + QuoteIdentifier(def_->FindField(f)->name);
      key = "(" + key + ")";
    }
    sql = "SELECT " + SelectList() + " FROM " + quotedName_ + " WHERE " + key + " = ?1 ORDER BY " +
          kRowColumn + " LIMIT 1";
  }
  seekSql_ = &sql;
}

bool TableImpl::Seek(const std::string& value) {
  Check("Seek");
  RequireNotEditing("Seek");
  // One query finds the record and reads it.
  std::int64_t master = 0;
  bool found = false;
  {
    StatementUse use(core_->Cached(*seekSql_));
    use->Bind(1, value);
    if (Step(*use)) {
      found = true;
      master = use->IsNull(1) ? 0 : use->Int(1);
      FillFrom(*use);
    }
  }
  if (found) {
    const std::int64_t row = row_;
    if (!def_->master.empty()) {
      auto masterTable = MasterTable();
      if (masterTable->mode_ != Mode::None)
        masterTable->Fail(err::kFail, "positioning a detail record while its master is edited");
      masterTable->PositionOnRow(master);
    }
    row_ = row;
    masterRow_ = master;
    return true;
  }
  Sync();
  SetPosition(0, masterRow_);
  return false;
}

bool TableImpl::RecordRefuses(const std::string& op) const {
  LoadCurrent();
  if (row_ == 0) return false;
  return core_->Refuses(def_->name,
                        values_[0 + static_cast<std::size_t>(def_->FieldIndex("ID"))].ToText(), op);
}

std::string TableImpl::CurrentId() const {
  LoadCurrent();
  if (row_ == 0) return {};
  return values_[static_cast<std::size_t>(def_->FieldIndex("ID"))].ToText();
}

bool TableImpl::MayAdd() const {
  Check("MayAdd");
  if (core_->Refuses(def_->name, "", "add")) return false;
  if (!def_->master.empty()) {
    auto master = MasterTable();
    if (master->CurrentRow() == 0) return false;
    if (master->RecordRefuses("add")) return false;
  }
  return true;
}

void TableImpl::NewRecord() {
  Check("NewRecord");
  RequireNotEditing("NewRecord");
  if (!MayAdd()) Fail(err::kPermissionDenied, "adding a record is not permitted");
  newMaster_ = def_->master.empty() ? 0 : MasterTable()->CurrentRow();
  Sync();
  buffer_.clear();
  for (const auto& f : def_->fields) {
    if (f.defaultValue.empty()) {
      buffer_.push_back(EmptyValueOf(f));
    } else if (f.defaultValue == "@user") {
      buffer_.push_back(Variant(core_->CurrentUser()));
    } else {
      buffer_.push_back(EmptyValueOf(f));
      mode_ = Mode::Add;  // lets the default go through the field's conversion
      dirty_.assign(def_->fields.size(), false);
      try {
        SetFieldValueAt(static_cast<int>(buffer_.size() - 1), Variant(f.defaultValue));
      } catch (const std::exception&) {
        mode_ = Mode::None;
        throw;
      }
    }
  }
  dirty_.assign(def_->fields.size(), false);
  mode_ = Mode::Add;
}

void TableImpl::SaveNew() {
  Check("SaveNew");
  if (mode_ != Mode::Add) Fail(err::kFail, "SaveNew without a new record");
  const int idIndex = def_->FieldIndex("ID");
  const int modIndex = def_->FieldIndex("ModifiziertAm");
  buffer_[static_cast<std::size_t>(idIndex)] = Variant(core_->NextId(*def_));
  if (modIndex >= 0) buffer_[static_cast<std::size_t>(modIndex)] = Variant(core_->Now());
  {
    // Fields that hold their column's default are left to it: the row is
    // the same, and a wide table with few fields filled inserts faster.
    std::vector<std::size_t> written;
    std::string shape(def_->fields.size(), '0');
    for (std::size_t i = 0; i < def_->fields.size(); ++i) {
      if (IsColumnDefault(def_->fields[i], buffer_[i])) continue;
      written.push_back(i);
      shape[i] = '1';
    }
    std::string& sql = texts_->inserts[shape];
    if (sql.empty()) {
      sql = texts_->insert;
      for (std::size_t i : written) sql += ", " + QuoteIdentifier(def_->fields[i].name);
      sql += ") VALUES(?1, ?2";
      for (std::size_t k = 0; k < written.size(); ++k) sql += ", ?" + std::to_string(k + 3);
      sql += ")";
    }
    StatementUse use(core_->Cached(sql));
    if (newMaster_ != 0)
      use->Bind(1, newMaster_);
    else
      use->BindNull(1);
    use->Bind(2, std::string());
    for (std::size_t k = 0; k < written.size(); ++k)
      BindField(*use, static_cast<int>(k) + 3, def_->fields[written[k]], buffer_[written[k]]);
    Step(*use);
  }
  NoteCreated(*core_, *def_, buffer_);
  const std::int64_t row = core_->Conn().LastInsertRowId();
  mode_ = Mode::None;
  // The new record is current, read as it was written: the buffer holds the
  // stored values already (a number that is not a number is stored as NULL
  // and read back differently: that record is read again).
  bool exact = true;
  for (std::size_t i = 0; i < def_->fields.size(); ++i)
    if ((def_->fields[i].type == FieldType::Number || def_->fields[i].type == FieldType::Date) &&
        std::isnan(buffer_[i].ToDouble()))
      exact = false;
  if (!exact) {
    buffer_.clear();
    if (!PositionOnRow(row)) SetPosition(0, masterRow_);
    return;
  }
  if (!def_->master.empty()) {
    auto masterTable = MasterTable();
    if (masterTable->mode_ != Mode::None)
      masterTable->Fail(err::kFail, "positioning a detail record while its master is edited");
    masterTable->PositionOnRow(newMaster_);
  }
  SetPosition(row, newMaster_);
  values_ = std::move(buffer_);
  buffer_.clear();
  tenants_.clear();
  recordMaster_ = newMaster_;
  loaded_ = true;
}

bool TableImpl::MayEdit() const {
  Check("MayEdit");
  if (mode_ == Mode::Add) return false;
  LoadCurrent();
  if (row_ == 0) return false;
  return !core_->Refuses(def_->name, "", "edit") && !RecordRefuses("edit");
}

bool TableImpl::BeginEdit() {
  Check("BeginEdit");
  if (mode_ == Mode::Edit) return true;
  if (!MayEdit()) return false;
  LoadCurrent();
  buffer_ = values_;
  dirty_.assign(def_->fields.size(), false);
  mode_ = Mode::Edit;
  return true;
}

void TableImpl::StoreEdited() {
  Check("StoreEdited");
  if (mode_ != Mode::Edit) Fail(err::kFail, "StoreEdited without BeginEdit");
  const int modIndex = def_->FieldIndex("ModifiziertAm");
  if (modIndex >= 0) {
    buffer_[static_cast<std::size_t>(modIndex)] = Variant(core_->Now());
    dirty_[static_cast<std::size_t>(modIndex)] = true;
  }
  std::string sets;
  std::vector<std::size_t> written;
  for (std::size_t i = 0; i < def_->fields.size(); ++i) {
    if (!dirty_[i]) continue;
    written.push_back(i);
    sets += (sets.empty() ? "" : ", ") + QuoteIdentifier(def_->fields[i].name) + " = ?" +
            std::to_string(written.size() + 1);
  }
  if (!written.empty()) {
    auto& st =
        core_->Cached("UPDATE " + quotedName_ + " SET " + sets + " WHERE " + kRowColumn + " = ?1");
    StatementUse use(st);
    use->Bind(1, row_);
    for (std::size_t k = 0; k < written.size(); ++k)
      BindField(*use, static_cast<int>(k) + 2, def_->fields[written[k]], buffer_[written[k]]);
    Step(*use);
  }
  const bool stored = written.empty() || core_->Conn().Changes() > 0;
  if (stored) NoteEdited(*core_, *def_, values_, buffer_, dirty_);
  mode_ = Mode::None;
  buffer_.clear();
  loaded_ = false;
  if (!stored) Fail(err::kFail, "the record being edited no longer exists");
}

void TableImpl::Cancel() {
  Check("Cancel");
  mode_ = Mode::None;
  buffer_.clear();
  loaded_ = false;
}

bool TableImpl::MayDelete() const {
  Check("MayDelete");
  if (mode_ != Mode::None) return false;
  LoadCurrent();
  if (row_ == 0) return false;
  return !core_->Refuses(def_->name, "", "delete") && !RecordRefuses("delete");
}

namespace {

// Removes a record and, first, every detail record hanging under it, so no
// detail is left without its master.
void DeleteCascade(HostCore& core, const TableDef& table, std::int64_t row) {
  for (const auto& detail : core.GetSchema().tables) {
    if (!SameIdentifier(detail->master, table.name)) continue;
    std::vector<std::int64_t> rows;
    {
      auto& st = core.Cached("SELECT " + std::string(kRowColumn) + " FROM main." +
                             QuoteIdentifier(detail->name) + " WHERE " + kMasterColumn + " = ?1");
      StatementUse use(st);
      use->Bind(1, row);
      while (Step(*use)) rows.push_back(use->Int(0));
    }
    for (auto r : rows) DeleteCascade(core, *detail, r);
  }
  NoteDeleting(core, table, row);
  auto& st = core.Cached("DELETE FROM main." + QuoteIdentifier(table.name) + " WHERE " +
                         kRowColumn + " = ?1");
  StatementUse use(st);
  use->Bind(1, row);
  Step(*use);
}

}  // namespace

void TableImpl::DeleteCurrent() {
  Check("DeleteCurrent");
  RequireNotEditing("DeleteCurrent");
  LoadCurrent();
  if (row_ == 0) Fail(err::kFail, "no current record to delete");
  if (core_->Refuses(def_->name, "", "delete") || RecordRefuses("delete"))
    Fail(err::kPermissionDenied, "deleting record '" + CurrentId() + "' is not permitted");
  const std::int64_t deleted = row_;
  DeleteCascade(*core_, *def_, deleted);
  // Continue on the next record of the same range, or at end.
  SetPosition(deleted, masterRow_);
  if (!Move(1)) SetPosition(0, masterRow_);
}

std::string TableImpl::RecordReference() const {
  Check("RecordReference");
  LoadCurrent();
  if (row_ == 0) Fail(err::kFail, "no current record");
  return def_->name + ":" + std::to_string(row_);
}

bool TableImpl::GoToReference(const std::string& reference) {
  Check("GoToReference");
  RequireNotEditing("GoToReference");
  const std::size_t colon = reference.rfind(':');
  if (colon == std::string::npos || !SameIdentifier(reference.substr(0, colon), def_->name))
    return false;
  const std::string_view digits = std::string_view(reference).substr(colon + 1);
  const auto row = ParseNumber<std::int64_t>(digits);
  if (!row || *row < 0) return false;
  return PositionOnRow(*row);
}

void TableImpl::CopyTenantsFrom(HostTable& master) {
  Check("CopyTenantsFrom");
  LoadCurrent();
  if (row_ == 0) Fail(err::kFail, "no current record to assign tenants to");
  const std::string joined = JoinTenants(master.Tenants());
  auto& st = core_->Cached("UPDATE " + quotedName_ + " SET " + kTenantsColumn + " = ?1 WHERE " +
                           kRowColumn + " = ?2");
  StatementUse use(st);
  use->Bind(1, joined).Bind(2, row_);
  Step(*use);
  NoteTenants(*core_, *def_, CurrentId(), tenants_, joined);
  loaded_ = false;
}

std::vector<std::string> TableImpl::Tenants() const {
  Check("Tenants");
  LoadCurrent();
  if (row_ == 0) Fail(err::kFail, "no current record");
  return SplitTenants(tenants_);
}

std::vector<std::vector<Variant>> TableImpl::SelectRows(const std::vector<std::string>& columns,
                                                        const std::string& condition) {
  Check("SelectRows");
  auto db = Db();
  std::vector<CompiledExpression> columnExprs;
  for (const auto& c : columns) columnExprs.push_back(CompiledExpression::Compile(c));
  std::optional<CompiledExpression> where;
  if (!condition.empty()) where = CompiledExpression::Compile(condition);

  // Read the rows first: evaluation may use other statements of the cache.
  std::vector<std::vector<Variant>> rows;
  {
    auto& st = core_->Cached("SELECT " + SelectList() + " FROM " + quotedName_ + " ORDER BY " +
                             kRowColumn);
    StatementUse use(st);
    while (Step(*use)) {
      std::vector<Variant> row;
      row.reserve(def_->fields.size());
      for (std::size_t i = 0; i < def_->fields.size(); ++i)
        row.push_back(ColumnValue(def_->fields[i], *use, static_cast<int>(i) + 3));
      rows.push_back(std::move(row));
    }
  }
  std::vector<std::vector<Variant>> result;
  for (const auto& row : rows) {
    RecordContext context(*db, *this, &row);
    if (where && !where->Evaluate(context).ToBool()) continue;
    std::vector<Variant> out;
    for (const auto& e : columnExprs) out.push_back(e.Evaluate(context));
    result.push_back(std::move(out));
  }
  return result;
}

void TableImpl::SetLookupOption1(bool on, int option) {
  Check("SetLookupOption1");
  lookup1_ = on && option == kHostOptionOn;
}

void TableImpl::SetLookupOption2(bool on, int option) {
  Check("SetLookupOption2");
  lookup2_ = on && option == kHostOptionOn;
}

}  // namespace velklk::host
