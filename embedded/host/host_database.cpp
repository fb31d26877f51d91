#include <sqlite3.h>

#include "host/host_changes.h"
#include "host/host_objects.h"
#include "platform/automation_error.h"
#include "platform/text_case.h"

namespace velklk::host {

namespace {

[[noreturn]] void Raise(std::uint32_t number, const std::string& source, const std::string& what) {
  throw AutomationError(number, "Velmora." + source, what);
}

}  // namespace

// ---- DatabaseImpl ----

std::shared_ptr<TableImpl> DatabaseImpl::TableObject(const std::string& name) {
  const std::string key = IdentifierKey(name);
  auto it = tables_.find(key);
  if (it != tables_.end()) return it->second;
  auto def = core_->GetSchema().Find(name);
  if (!def) Raise(err::kInvalidArg, "Database", "Table '" + name + "' does not exist");
  auto table = std::make_shared<TableImpl>(core_, weak_from_this(), def);
  tables_.emplace(key, table);
  return table;
}

std::shared_ptr<HostTable> DatabaseImpl::Table(const std::string& name) {
  core_->CheckInjected("Database", "Table");
  return TableObject(name);
}

std::string DatabaseImpl::FilePath() const {
  core_->CheckInjected("Database", "FilePath");
  const char* path = sqlite3_db_filename(core_->Conn().Handle(), "main");
  return path ? path : "";
}

std::uint32_t DatabaseImpl::AttributeFlags() const {
  core_->CheckInjected("Database", "AttributeFlags");
  return core_->Flags();
}

std::shared_ptr<HostDatabase> DatabaseImpl::OpenWorkingDatabase(int argument) {
  core_->CheckInjected("Database", "OpenWorkingDatabase");
  if (argument != 0) Raise(err::kInvalidArg, "Database", "working database: argument must be 0");
  return std::make_shared<DatabaseImpl>(core_);
}

int DatabaseImpl::UserCount() const {
  core_->CheckInjected("Database", "UserCount");
  if (auto count = core_->LookupUserCount()) return *count;
  auto& st = core_->Cached("SELECT count(*) FROM main._vk_users");
  StatementUse use(st);
  Step(*use);
  return static_cast<int>(use->Int(0));
}

std::shared_ptr<HostUser> DatabaseImpl::UserAt(int index) {
  core_->CheckInjected("Database", "UserAt");
  if (auto user = core_->LookupUserAt(index)) {
    if (!*user)
      Raise(err::kSubscriptOutOfRange, "Database", "no user at index " + std::to_string(index));
    return std::make_shared<UserImpl>(core_, (*user)->name, (*user)->name2);
  }
  auto& st =
      core_->Cached("SELECT name, name2 FROM main._vk_users ORDER BY rowid LIMIT 1 OFFSET ?1");
  StatementUse use(st);
  use->Bind(1, index);
  if (index < 0 || !Step(*use))
    Raise(err::kSubscriptOutOfRange, "Database", "no user at index " + std::to_string(index));
  return std::make_shared<UserImpl>(core_, use->Text(0), use->Text(1));
}

std::shared_ptr<HostUser> DatabaseImpl::User(const std::string& name) {
  core_->CheckInjected("Database", "User");
  if (auto user = core_->LookupUser(name))
    return *user ? std::make_shared<UserImpl>(core_, (*user)->name, (*user)->name2) : nullptr;
  auto& st = core_->Cached("SELECT name, name2 FROM main._vk_users WHERE name = ?1");
  StatementUse use(st);
  use->Bind(1, name);
  if (!Step(*use)) return nullptr;
  return std::make_shared<UserImpl>(core_, use->Text(0), use->Text(1));
}

std::shared_ptr<HostUser> DatabaseImpl::CurrentUser() {
  core_->CheckInjected("Database", "CurrentUser");
  auto user = User(core_->CurrentUser());
  if (!user) Raise(err::kFail, "Database", "no current user '" + core_->CurrentUser() + "'");
  return user;
}

std::shared_ptr<HostUserGroup> DatabaseImpl::UserGroup(const std::string& name) {
  core_->CheckInjected("Database", "UserGroup");
  auto& st = core_->Cached("SELECT name FROM main._vk_groups WHERE name = ?1");
  StatementUse use(st);
  use->Bind(1, name);
  if (!Step(*use)) return nullptr;
  return std::make_shared<UserGroupImpl>(core_, use->Text(0));
}

bool DatabaseImpl::GlobalExists(const std::string& name) const {
  core_->CheckInjected("Database", "GlobalExists");
  if (auto global = core_->LookupGlobal(name)) return *global != nullptr;
  auto& st = core_->Cached("SELECT 1 FROM main._vk_globals WHERE name = ?1");
  StatementUse use(st);
  use->Bind(1, name);
  return Step(*use);
}

Variant DatabaseImpl::GlobalValue(const std::string& name) const {
  core_->CheckInjected("Database", "GlobalValue");
  if (auto global = core_->LookupGlobal(name)) {
    if (!*global)
      Raise(err::kInvalidArg, "Database", "global variable '" + name + "' does not exist");
    return HostCore::DecodeValue((*global)->kind, (*global)->text);
  }
  auto& st = core_->Cached("SELECT kind, value FROM main._vk_globals WHERE name = ?1");
  StatementUse use(st);
  use->Bind(1, name);
  if (!Step(*use))
    Raise(err::kInvalidArg, "Database", "global variable '" + name + "' does not exist");
  return HostCore::DecodeValue(use->Text(0), use->Text(1));
}

void DatabaseImpl::SetGlobalValue(const std::string& name, const Variant& value) {
  core_->CheckInjected("Database", "SetGlobalValue");
  core_->DirectoryChanged();
  ValueNote note(*core_, "", name);
  const auto [kind, text] = HostCore::EncodeValue(value);
  auto& st = core_->Cached("UPDATE main._vk_globals SET kind = ?2, value = ?3 WHERE name = ?1");
  StatementUse use(st);
  use->Bind(1, name).Bind(2, kind).Bind(3, text);
  Step(*use);
  if (core_->Conn().Changes() == 0)
    Raise(err::kInvalidArg, "Database", "global variable '" + name + "' does not exist");
  note.Written(value);
}

void DatabaseImpl::AddGlobal(const std::string& name, const Variant& value) {
  core_->CheckInjected("Database", "AddGlobal");
  if (name.empty()) Raise(err::kInvalidArg, "Database", "global variable without a name");
  if (GlobalExists(name))
    Raise(err::kInvalidArg, "Database", "global variable '" + name + "' exists already");
  ValueNote note(*core_, "", name);
  const auto [kind, text] = HostCore::EncodeValue(value);
  core_->DirectoryChanged();
  auto& st = core_->Cached("INSERT INTO main._vk_globals VALUES(?1, ?2, ?3)");
  StatementUse use(st);
  use->Bind(1, name).Bind(2, kind).Bind(3, text);
  Step(*use);
  note.Written(value);
}

std::vector<std::string> DatabaseImpl::GlobalNames() const {
  core_->CheckInjected("Database", "GlobalNames");
  std::vector<std::string> names;
  auto& st = core_->Cached("SELECT name FROM main._vk_globals ORDER BY rowid");
  StatementUse use(st);
  while (Step(*use)) names.push_back(use->Text(0));
  return names;
}

std::shared_ptr<HostExpression> DatabaseImpl::Compile(const std::string& text) {
  core_->CheckInjected("Database", "Compile");
  return std::make_shared<ExpressionImpl>(weak_from_this(), core_->Compiled(text));
}

std::shared_ptr<HostLink> DatabaseImpl::MakeLink(const std::string& address) {
  core_->CheckInjected("Database", "MakeLink");
  if (!IsWebAddress(address)) return nullptr;
  return std::make_shared<LinkImpl>(address);
}

// ---- users, groups, settings ----

bool UserImpl::PropertyExists(const std::string& name) const {
  core_->CheckInjected("User", "PropertyExists");
  if (auto property = core_->LookupUserProperty(name_, name)) return *property != nullptr;
  auto& st = core_->Cached("SELECT 1 FROM main._vk_user_props WHERE user = ?1 AND name = ?2");
  StatementUse use(st);
  use->Bind(1, name_).Bind(2, name);
  return Step(*use);
}

Variant UserImpl::Property(const std::string& name) const {
  core_->CheckInjected("User", "Property");
  if (auto property = core_->LookupUserProperty(name_, name)) {
    if (!*property)
      Raise(err::kInvalidArg, "User", "user '" + name_ + "' has no property '" + name + "'");
    return HostCore::DecodeValue((*property)->kind, (*property)->text);
  }
  auto& st =
      core_->Cached("SELECT kind, value FROM main._vk_user_props WHERE user = ?1 AND name = ?2");
  StatementUse use(st);
  use->Bind(1, name_).Bind(2, name);
  if (!Step(*use))
    Raise(err::kInvalidArg, "User", "user '" + name_ + "' has no property '" + name + "'");
  return HostCore::DecodeValue(use->Text(0), use->Text(1));
}

std::shared_ptr<HostSettings> UserImpl::Settings() {
  core_->CheckInjected("User", "Settings");
  return std::make_shared<SettingsImpl>(core_, name_);
}

bool UserGroupImpl::HasMember(const std::string& userName) const {
  core_->CheckInjected("User", "HasMember");
  auto& st = core_->Cached("SELECT 1 FROM main._vk_group_members WHERE grp = ?1 AND user = ?2");
  StatementUse use(st);
  use->Bind(1, name_).Bind(2, userName);
  return Step(*use);
}

bool SettingsImpl::Exists(const std::string& key) const {
  core_->CheckInjected("Settings", "Exists");
  if (auto setting = core_->LookupSetting(user_, key)) return *setting != nullptr;
  auto& st = core_->Cached("SELECT 1 FROM main._vk_settings WHERE user = ?1 AND key = ?2");
  StatementUse use(st);
  use->Bind(1, user_).Bind(2, key);
  return Step(*use);
}

Variant SettingsImpl::Value(const std::string& key) const {
  core_->CheckInjected("Settings", "Value");
  if (auto setting = core_->LookupSetting(user_, key)) {
    if (!*setting) Raise(err::kInvalidArg, "Settings", "setting '" + key + "' does not exist");
    return HostCore::DecodeValue((*setting)->kind, (*setting)->text);
  }
  auto& st =
      core_->Cached("SELECT kind, value FROM main._vk_settings WHERE user = ?1 AND key = ?2");
  StatementUse use(st);
  use->Bind(1, user_).Bind(2, key);
  if (!Step(*use)) Raise(err::kInvalidArg, "Settings", "setting '" + key + "' does not exist");
  return HostCore::DecodeValue(use->Text(0), use->Text(1));
}

void SettingsImpl::SetValue(const std::string& key, const Variant& value) {
  core_->CheckInjected("Settings", "SetValue");
  core_->DirectoryChanged();
  ValueNote note(*core_, user_, key);
  const auto [kind, text] = HostCore::EncodeValue(value);
  auto& st = core_->Cached(
      "UPDATE main._vk_settings SET kind = ?3, value = ?4 WHERE user = ?1 AND key = ?2");
  StatementUse use(st);
  use->Bind(1, user_).Bind(2, key).Bind(3, kind).Bind(4, text);
  Step(*use);
  if (core_->Conn().Changes() == 0)
    Raise(err::kInvalidArg, "Settings", "setting '" + key + "' does not exist");
  note.Written(value);
}

void SettingsImpl::Add(const std::string& key, const Variant& value) {
  core_->CheckInjected("Settings", "Add");
  if (key.empty()) Raise(err::kInvalidArg, "Settings", "setting without a name");
  if (Exists(key)) Raise(err::kInvalidArg, "Settings", "setting '" + key + "' exists already");
  ValueNote note(*core_, user_, key);
  const auto [kind, text] = HostCore::EncodeValue(value);
  core_->DirectoryChanged();
  auto& st = core_->Cached("INSERT INTO main._vk_settings VALUES(?1, ?2, ?3, ?4)");
  StatementUse use(st);
  use->Bind(1, user_).Bind(2, key).Bind(3, kind).Bind(4, text);
  Step(*use);
  note.Written(value);
}

void SettingsImpl::Remove(const std::string& key) {
  core_->CheckInjected("Settings", "Remove");
  core_->DirectoryChanged();
  ValueNote note(*core_, user_, key);
  auto& st = core_->Cached("DELETE FROM main._vk_settings WHERE user = ?1 AND key = ?2");
  StatementUse use(st);
  use->Bind(1, user_).Bind(2, key);
  Step(*use);
  if (core_->Conn().Changes() == 0)
    Raise(err::kInvalidArg, "Settings", "setting '" + key + "' does not exist");
  note.Removed();
}

int SettingsImpl::Count() const {
  core_->CheckInjected("Settings", "Count");
  auto& st = core_->Cached("SELECT count(*) FROM main._vk_settings WHERE user = ?1");
  StatementUse use(st);
  use->Bind(1, user_);
  Step(*use);
  return static_cast<int>(use->Int(0));
}

std::string SettingsImpl::NameAt(int index) const {
  core_->CheckInjected("Settings", "NameAt");
  auto& st = core_->Cached(
      "SELECT key FROM main._vk_settings WHERE user = ?1 ORDER BY rowid LIMIT 1 OFFSET ?2");
  StatementUse use(st);
  use->Bind(1, user_).Bind(2, index);
  if (index < 0 || !Step(*use))
    Raise(err::kSubscriptOutOfRange, "Settings", "no setting at index " + std::to_string(index));
  return use->Text(0);
}

// ---- expressions ----

Variant ExpressionImpl::Evaluate(HostTable& table) {
  auto* impl = dynamic_cast<TableImpl*>(&table);
  if (!impl) Raise(err::kInvalidArg, "Expression", "not a table of this host");
  // References to other tables read the cursors of the database object the
  // table belongs to.
  auto db = impl->OwnerDb();
  db->Core().CheckInjected("Database", "Evaluate");
  RecordContext context(*db, *impl);
  return expr_.Evaluate(context);
}

Variant RecordContext::FieldValue(const std::string& table, const std::string& field) {
  if (table.empty() || SameIdentifier(table, table_.Name())) {
    const int index = table_.Def().FieldIndex(field);
    if (index < 0)
      Raise(err::kUnknownName, "Expression",
            "Table '" + table_.Name() + "' has no field '" + field + "'");
    if (row_) return (*row_)[static_cast<std::size_t>(index)];
    return table_.FieldValueAt(index);
  }
  auto other = db_.TableObject(table);
  const int index = other->Def().FieldIndex(field);
  if (index < 0)
    Raise(err::kUnknownName, "Expression",
          "Table '" + other->Name() + "' has no field '" + field + "'");
  if (!other->HasRecord()) return Variant(std::string());
  return other->FieldValueAt(index);
}

// The text of a field of the current record of a table, "" when the table has
// no such field or no current record.
std::string RecordContext::Text(const std::string& table, const std::string& field) {
  auto def = db_.Core().GetSchema().Find(table);
  if (!def || def->FieldIndex(field) < 0) return {};
  if (!row_ || !SameIdentifier(table, table_.Name())) {
    if (!db_.TableObject(table)->HasRecord()) return {};
  }
  const Variant v = FieldValue(table, field);
  if (v.IsObject()) return {};
  return v.ToText();
}

Variant RecordContext::CallFunction(const std::string& name, const std::vector<Variant>& args) {
  auto trimJoin = [](const std::string& a, const std::string& b) {
    if (a.empty()) return b;
    if (b.empty()) return a;
    return a + " " + b;
  };
  if (name == "NamePerson")
    return Variant(trimJoin(Text("Ansprechpartner", "Vorname"), Text("Ansprechpartner", "Name")));
  if (name == "Name") return Variant(Text("Adressen", "Name"));
  if (name == "Telefon1") return Variant(Text("Adressen", "Telefon1"));
  if (name == "Telefon2") return Variant(Text("Adressen", "Telefon2"));
  if (name == "Telefax") return Variant(Text("Adressen", "Telefax"));
  if (name == "EMail2") return Variant(Text("Adressen", "Email2"));
  if (name == "TelefonPerson") return Variant(Text("Ansprechpartner", "Telefon"));
  if (name == "TelefaxPerson") return Variant(Text("Ansprechpartner", "Telefax"));
  if (name == "EMailPerson") return Variant(Text("Ansprechpartner", "Email"));
  if (name == "EMailSyntaxGueltig") return Variant(IsValidEmailSyntax(args.at(0).ToText()));
  if (name == "DocLinkName") {
    const std::string table = args.at(0).ToText();
    const std::string field = args.at(1).ToText();
    auto def = db_.Core().GetSchema().Find(table);
    if (!def)
      Raise(err::kInvalidArg, "Expression", "DocLinkName: table '" + table + "' does not exist");
    const FieldDef* f = def->FindField(field);
    if (!f || f->type != FieldType::Link)
      Raise(err::kInvalidArg, "Expression",
            "DocLinkName: '" + table + "->" + field + "' is not a link field");
    if (!row_ || !SameIdentifier(table, table_.Name())) {
      if (!db_.TableObject(table)->HasRecord()) return Variant(std::string());
    }
    const Variant v = FieldValue(table, field);
    auto link = v.IsObject() ? v.As<HostLink>() : nullptr;
    return Variant(link ? link->DisplayText() : std::string());
  }
  Raise(err::kUnknownName, "Expression", "Unknown function '" + name + "'");
}

// ---- application ----

std::shared_ptr<HostDatabase> ApplicationImpl::Database() {
  db_->Core().CheckInjected("Application", "Database");
  return db_;
}

std::shared_ptr<HostTable> ApplicationImpl::ActiveTable() {
  db_->Core().CheckInjected("Application", "ActiveTable");
  return active_;
}

void ApplicationImpl::SetActiveTable(const std::shared_ptr<HostTable>& table) {
  db_->Core().CheckInjected("Application", "SetActiveTable");
  active_ = table;
}

}  // namespace velklk::host
