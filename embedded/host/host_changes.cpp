#include "host/host_changes.h"

#include "changes/change_observer.h"
#include "host/host_objects.h"

namespace velklk::host {
namespace {

using Kind = ChangeRecord::Kind;

// A value a new record holds without anyone having set it.
bool IsBlank(const Variant& v) {
  switch (v.GetKind()) {
    case Variant::Kind::Empty:
    case Variant::Kind::Null:
      return true;
    case Variant::Kind::Text:
      return v.ToText().empty();
    case Variant::Kind::Bool:
      return !v.ToBool();
    case Variant::Kind::Integer:
    case Variant::Kind::Double:
      return v.ToDouble() == 0;
    case Variant::Kind::Date:
      return v.ToDate().Value() == 0;
    default:
      return false;
  }
}

std::string IdOf(const TableDef& table, const std::vector<Variant>& values) {
  const int id = table.FieldIndex("ID");
  return id < 0 ? std::string() : values[static_cast<std::size_t>(id)].ToText();
}

ChangeRecord Record(Kind kind, std::string container, std::string key) {
  ChangeRecord change;
  change.half = ChangeRecord::Half::Host;
  change.kind = kind;
  change.container = std::move(container);
  change.key = std::move(key);
  return change;
}

}  // namespace

void NoteCreated(HostCore& core, const TableDef& table, const std::vector<Variant>& values) {
  ChangeObserver* observer = core.Observer();
  if (observer == nullptr) return;
  ChangeRecord change = Record(Kind::Created, table.name, IdOf(table, values));
  if (observer->KeepsValues()) {
    for (std::size_t i = 0; i < table.fields.size(); ++i)
      if (!IsBlank(values[i]))
        change.fields.push_back({table.fields[i].name, Variant(), values[i]});
  }
  observer->Record(change);
}

void NoteEdited(HostCore& core, const TableDef& table, const std::vector<Variant>& before,
                const std::vector<Variant>& after, const std::vector<bool>& written) {
  ChangeObserver* observer = core.Observer();
  if (observer == nullptr) return;
  ChangeRecord change = Record(Kind::Changed, table.name, IdOf(table, before));
  for (std::size_t i = 0; i < table.fields.size(); ++i)
    if (written[i] && !SameValue(before[i], after[i]))
      change.fields.push_back({table.fields[i].name, before[i], after[i]});
  if (!change.fields.empty()) observer->Record(change);
}

void NoteDeleting(HostCore& core, const TableDef& table, std::int64_t row) {
  ChangeObserver* observer = core.Observer();
  if (observer == nullptr) return;
  std::string sql = "SELECT 0, 0, 0";
  for (const auto& f : table.fields) sql += ", " + sqlite::QuoteIdentifier(f.name);
  sql += " FROM main." + sqlite::QuoteIdentifier(table.name) + " WHERE " + kRowColumn + " = ?1";
  StatementUse use(core.Cached(sql));
  use->Bind(1, row);
  if (!Step(*use)) return;
  std::vector<Variant> values;
  for (std::size_t i = 0; i < table.fields.size(); ++i)
    values.push_back(TableImpl::ColumnValue(table.fields[i], *use, static_cast<int>(i) + 3));
  ChangeRecord change = Record(Kind::Deleted, table.name, IdOf(table, values));
  if (observer->KeepsValues()) {
    for (std::size_t i = 0; i < table.fields.size(); ++i)
      if (!IsBlank(values[i]))
        change.fields.push_back({table.fields[i].name, values[i], Variant()});
  }
  observer->Record(change);
}

void NoteTenants(HostCore& core, const TableDef& table, const std::string& id,
                 const std::string& before, const std::string& after) {
  ChangeObserver* observer = core.Observer();
  if (observer == nullptr || before == after) return;
  ChangeRecord change = Record(Kind::Changed, table.name, id);
  change.fields.push_back({"@tenants", Variant(before), Variant(after)});
  observer->Record(change);
}

ValueNote::ValueNote(HostCore& core, std::string user, std::string key)
    : core_(core), user_(std::move(user)), key_(std::move(key)) {
  if (core_.Observer() == nullptr) return;
  auto& st =
      user_.empty()
          ? core_.Cached("SELECT kind, value FROM main._vk_globals WHERE name = ?1")
          : core_.Cached("SELECT kind, value FROM main._vk_settings WHERE key = ?1 AND user = ?2");
  StatementUse use(st);
  use->Bind(1, key_);
  if (!user_.empty()) use->Bind(2, user_);
  if (Step(*use)) {
    existed_ = true;
    before_ = HostCore::DecodeValue(use->Text(0), use->Text(1));
  }
}

void ValueNote::Written(const Variant& after) { Written(after, false); }

void ValueNote::Written(const Variant& after, bool removed) {
  ChangeObserver* observer = core_.Observer();
  if (observer == nullptr) return;
  const Kind kind = !existed_ ? Kind::Created : removed ? Kind::Deleted : Kind::Changed;
  if (kind == Kind::Changed && SameValue(before_, after)) return;
  ChangeRecord change = Record(kind, user_.empty() ? "(globals)" : "(settings)",
                               user_.empty() ? key_ : user_ + "\\" + key_);
  change.fields.push_back({"value", before_, after});
  observer->Record(change);
}

}  // namespace velklk::host
