// Loading and dumping the host part of a fixture. The only translation unit
// of the embedded host that uses the JSON library.
#include <algorithm>
#include <nlohmann/json.hpp>
#include <set>

#include "components/json_stream.h"
#include "components/variant_json.h"
#include "host/embedded_host.h"
#include "host/host_objects.h"
#include "platform/automation_error.h"
#include "platform/text_case.h"
#include "sqlite/transaction.h"

namespace velklk {

using host::FieldDef;
using host::FieldType;
using host::HostCore;
using host::TableDef;
using json = nlohmann::json;
using sqlite::QuoteIdentifier;

namespace {

[[noreturn]] void Bad(const std::string& where, const std::string& what) {
  throw FixtureError(where + ": " + what);
}

void OnlyKeys(const json& object, const std::string& where,
              std::initializer_list<const char*> keys) {
  for (const auto& item : object.items()) {
    bool known = false;
    for (const char* k : keys) known = known || item.key() == k;
    if (!known) Bad(where + "." + item.key(), "unknown entry");
  }
}

const json& Object(const json& value, const std::string& where) {
  if (!value.is_object()) Bad(where, "must be an object");
  return value;
}

const json& Array(const json& value, const std::string& where) {
  if (!value.is_array()) Bad(where, "must be an array");
  return value;
}

std::string String(const json& value, const std::string& where) {
  if (!value.is_string()) Bad(where, "must be a text");
  return value.get<std::string>();
}

Variant ToVariant(const json& value, const std::string& where) {
  switch (value.type()) {
    case json::value_t::null:
      return Variant();
    case json::value_t::string:
      return Variant(value.get<std::string>());
    case json::value_t::boolean:
      return Variant(value.get<bool>());
    case json::value_t::number_integer:
    case json::value_t::number_unsigned:
      return Variant(static_cast<long long>(value.get<std::int64_t>()));
    case json::value_t::number_float:
      return Variant(value.get<double>());
    case json::value_t::array: {
      VariantList list;
      for (std::size_t i = 0; i < value.size(); ++i) {
        const auto& e = value[i];
        if (e.is_string())
          list.emplace_back(e.get<std::string>());
        else if (e.is_number() || e.is_boolean())
          list.emplace_back(ToVariant(e, where).ToText());
        else
          Bad(where + "[" + std::to_string(i) + "]", "list entries must be texts");
      }
      return Variant(std::move(list));
    }
    default:
      Bad(where, "unsupported value");
  }
}

json FromVariant(const Variant& value) {
  // A fixture's lists are lists of texts.
  if (value.GetKind() == Variant::Kind::List) {
    json list = json::array();
    for (const auto& e : value.ToList()) list.push_back(e.ToText());
    return list;
  }
  return VariantToJson<json>(value, [](const Variant& v) {
    auto link = v.As<HostLink>();
    return link ? json(link->Target()) : json(nullptr);
  });
}

FieldDef ParseFieldDef(const std::string& name, const json& def, const std::string& where) {
  Object(def, where);
  OnlyKeys(def, where, {"type", "size", "default"});
  FieldDef f;
  f.name = name;
  const std::string typeName = def.contains("type") ? String(def["type"], where + ".type") : "text";
  auto type = host::ParseFieldType(typeName);
  if (!type) Bad(where + ".type", "unknown field type '" + typeName + "'");
  f.type = *type;
  if (f.type == FieldType::Text) {
    if (!def.contains("size") || !def["size"].is_number_integer())
      Bad(where + ".size", "a text field needs an integer size");
    f.size = def["size"].get<int>();
  } else if (def.contains("size")) {
    Bad(where + ".size", "only text fields have a size");
  }
  if (def.contains("default")) f.defaultValue = String(def["default"], where + ".default");
  return f;
}

json FieldDefJson(const FieldDef& f) {
  json j = {{"type", std::string(host::FieldTypeName(f.type))}};
  if (f.type == FieldType::Text) j["size"] = f.size;
  if (!f.defaultValue.empty()) j["default"] = f.defaultValue;
  return j;
}

bool SameField(const FieldDef& a, const FieldDef& b) {
  return a.name == b.name && a.type == b.type && a.size == b.size &&
         a.defaultValue == b.defaultValue;
}

host::Schema ApplySchemaChanges(const json& changes) {
  host::Schema schema = host::Schema::Default();
  Object(changes, "host.schema");
  for (const auto& item : changes.items()) {
    const std::string where = "host.schema." + item.key();
    const json& def = Object(item.value(), where);
    OnlyKeys(def, where, {"remove", "master", "drop", "add", "indexes"});
    auto existing = schema.Find(item.key());
    if (def.contains("remove")) {
      if (!def["remove"].is_boolean()) Bad(where + ".remove", "must be true or false");
      if (def["remove"].get<bool>()) {
        if (!existing) Bad(where, "unknown table");
        std::erase(schema.tables, existing);
        continue;
      }
    }
    auto table = existing ? std::make_shared<TableDef>(*existing) : std::make_shared<TableDef>();
    if (!existing) {
      table->name = item.key();
      table->fields.push_back(FieldDef{"ID", FieldType::Text, 10, {}});
    }
    if (def.contains("master")) table->master = String(def["master"], where + ".master");
    if (def.contains("drop")) {
      const json& drop = Array(def["drop"], where + ".drop");
      for (std::size_t i = 0; i < drop.size(); ++i) {
        const std::string name = String(drop[i], where + ".drop[" + std::to_string(i) + "]");
        const int index = table->FieldIndex(name);
        if (index < 0)
          Bad(where + ".drop[" + std::to_string(i) + "]", "unknown field '" + name + "'");
        table->fields.erase(table->fields.begin() + index);
        std::erase_if(table->indexes, [&](const host::IndexDef& ix) {
          for (const auto& f : ix.fields)
            if (SameIdentifier(f, name)) return true;
          return false;
        });
      }
    }
    if (def.contains("add")) {
      const json& add = Object(def["add"], where + ".add");
      for (const auto& field : add.items()) {
        FieldDef f = ParseFieldDef(field.key(), field.value(), where + ".add." + field.key());
        const int index = table->FieldIndex(f.name);
        if (index >= 0)
          table->fields[static_cast<std::size_t>(index)] = f;
        else
          table->fields.push_back(f);
      }
    }
    if (!existing && table->FieldIndex("ModifiziertAm") < 0)
      table->fields.push_back(FieldDef{"ModifiziertAm", FieldType::Date, 0, {}});
    if (def.contains("indexes")) {
      const json& indexes = Object(def["indexes"], where + ".indexes");
      table->indexes.clear();
      for (const auto& ix : indexes.items()) {
        host::IndexDef def{ix.key(), {}};
        const json& fields = Array(ix.value(), where + ".indexes." + ix.key());
        for (const auto& f : fields)
          def.fields.push_back(String(f, where + ".indexes." + ix.key()));
        table->indexes.push_back(std::move(def));
      }
    }
    if (existing)
      std::replace(schema.tables.begin(), schema.tables.end(), existing,
                   std::shared_ptr<const TableDef>(table));
    else
      schema.tables.push_back(table);
  }
  try {
    schema.Validate();
  } catch (const std::invalid_argument& e) {
    Bad("host.schema", e.what());
  }
  return schema;
}

// The stored form of a fixture value for a field; raises FixtureError.
void BindFixtureValue(sqlite::Statement& st, int index, const FieldDef& f, const json& value,
                      const std::string& where) {
  switch (f.type) {
    case FieldType::Text:
    case FieldType::Memo: {
      std::string text;
      if (value.is_string())
        text = value.get<std::string>();
      else if (value.is_number() || value.is_boolean())
        text = ToVariant(value, where).ToText();
      else if (!value.is_null())
        Bad(where, "must be a text");
      if (f.type == FieldType::Text && host::CharCount(text) > static_cast<std::size_t>(f.size))
        Bad(where, "longer than the field's " + std::to_string(f.size) + " characters");
      st.Bind(index, text);
      return;
    }
    case FieldType::Integer:
      if (!value.is_number_integer()) Bad(where, "must be an integer");
      st.Bind(index, value.get<std::int64_t>());
      return;
    case FieldType::Number:
      if (!value.is_number()) Bad(where, "must be a number");
      st.Bind(index, value.get<double>());
      return;
    case FieldType::Boolean:
      if (!value.is_boolean()) Bad(where, "must be true or false");
      st.Bind(index, static_cast<std::int64_t>(value.get<bool>() ? 1 : 0));
      return;
    case FieldType::Date: {
      if (value.is_null() || (value.is_string() && value.get<std::string>().empty())) {
        st.BindNull(index);
        return;
      }
      if (!value.is_string()) Bad(where, "must be a date text \"yyyy-MM-dd hh:mm:ss\"");
      auto d = AutoDate::Parse(value.get<std::string>());
      if (!d)
        Bad(where, "'" + value.get<std::string>() + "' is not a date \"yyyy-MM-dd hh:mm:ss\"");
      st.Bind(index, d->Value());
      return;
    }
    case FieldType::Link: {
      std::string text = value.is_null() ? std::string() : String(value, where);
      if (!text.empty() && !host::IsWebAddress(text))
        Bad(where, "'" + text + "' is not a web address");
      st.Bind(index, text);
      return;
    }
  }
}

class Loader {
 public:
  Loader(HostCore& core, AutoDate now) : core_(core), now_(now) {}

  void Load(const json& h) {
    Object(h, "host");
    OnlyKeys(h, "host",
             {"currentUser", "flags", "users", "globals", "schema", "tables", "refuse",
              "refuseValues", "raise"});
    core_.InstallSchema(h.contains("schema") ? ApplySchemaChanges(h["schema"])
                                             : host::Schema::Default());
    LoadUsers(h);
    if (h.contains("flags")) {
      if (!h["flags"].is_number_unsigned() || h["flags"].get<std::uint64_t>() > 0xFFFFFFFFu)
        Bad("host.flags", "must be a 32-bit unsigned number");
      core_.SetFlags(h["flags"].get<std::uint32_t>());
    }
    if (h.contains("globals")) {
      const json& globals = Object(h["globals"], "host.globals");
      auto st = core_.Conn().Prepare("INSERT INTO main._vk_globals VALUES(?1, ?2, ?3)");
      for (const auto& g : globals.items()) {
        const std::string where = "host.globals." + g.key();
        if (g.key().empty()) Bad(where, "empty name");
        const auto [kind, text] = HostCore::EncodeValue(ToVariant(g.value(), where));
        st.Bind(1, g.key()).Bind(2, kind).Bind(3, text);
        RunUnique(st, where);
      }
    }
    if (h.contains("tables")) LoadTables(Object(h["tables"], "host.tables"));
    if (h.contains("refuse")) LoadRefusals(Object(h["refuse"], "host.refuse"));
    if (h.contains("refuseValues")) {
      for (const auto& item : Object(h["refuseValues"], "host.refuseValues").items()) {
        const std::string where = "host.refuseValues." + item.key();
        const std::size_t dot = item.key().find('.');
        if (dot == std::string::npos) Bad(where, "key must be Table.Field");
        auto table = core_.GetSchema().Find(item.key().substr(0, dot));
        if (!table) Bad(where, "unknown table");
        const FieldDef* field = table->FindField(item.key().substr(dot + 1));
        if (!field) Bad(where, "unknown field");
        for (const auto& v : Array(item.value(), where))
          core_.AddRefusedValue(
              table->name, field->name,
              v.is_string() ? v.get<std::string>() : ToVariant(v, where).ToText());
      }
    }
    if (h.contains("raise")) {
      for (const auto& item : Object(h["raise"], "host.raise").items()) {
        const std::string where = "host.raise." + item.key();
        if (item.key().find('.') == std::string::npos) Bad(where, "key must be Scope.Operation");
        std::uint32_t number = 0;
        if (item.value().is_number_integer()) {
          const std::int64_t n = item.value().get<std::int64_t>();
          if (n < 0 || n > 0xFFFFFFFFll) Bad(where, "not a 32-bit error number");
          number = static_cast<std::uint32_t>(n);
        } else {
          // Hexadecimal with "0x" (as dump writes it) or decimal.
          const std::string text = String(item.value(), where);
          const bool hex = text.starts_with("0x") || text.starts_with("0X");
          const auto n = host::ParseNumber<std::uint32_t>(
              std::string_view(text).substr(hex ? 2 : 0), hex ? 16 : 10);
          if (!n) Bad(where, "'" + text + "' is not an error number");
          number = *n;
        }
        core_.AddInjectedError(item.key(), number);
      }
    }
    core_.AdvanceIdsPastStored();
  }

 private:
  void RunUnique(sqlite::Statement& st, const std::string& where) {
    try {
      st.Run();
    } catch (const sqlite::SqliteError& e) {
      st.Reset();
      if (e.IsConstraint()) Bad(where, "given twice");
      throw;
    }
  }

  void LoadUsers(const json& h) {
    std::string first;
    if (h.contains("users")) {
      const json& users = Array(h["users"], "host.users");
      auto insUser = core_.Conn().Prepare("INSERT INTO main._vk_users VALUES(?1, ?2)");
      auto insProp = core_.Conn().Prepare("INSERT INTO main._vk_user_props VALUES(?1, ?2, ?3, ?4)");
      auto insGroup = core_.Conn().Prepare("INSERT OR IGNORE INTO main._vk_groups VALUES(?1)");
      auto insMember = core_.Conn().Prepare("INSERT INTO main._vk_group_members VALUES(?1, ?2)");
      auto insSetting =
          core_.Conn().Prepare("INSERT INTO main._vk_settings VALUES(?1, ?2, ?3, ?4)");
      for (std::size_t i = 0; i < users.size(); ++i) {
        const std::string where = "host.users[" + std::to_string(i) + "]";
        const json& u = Object(users[i], where);
        OnlyKeys(u, where, {"name", "name2", "properties", "groups", "settings"});
        if (!u.contains("name")) Bad(where + ".name", "missing");
        const std::string name = String(u["name"], where + ".name");
        if (name.empty()) Bad(where + ".name", "empty");
        if (first.empty()) first = name;
        insUser.Bind(1, name).Bind(2,
                                   u.contains("name2") ? String(u["name2"], where + ".name2") : "");
        RunUnique(insUser, where + ".name");
        if (u.contains("properties"))
          for (const auto& p : Object(u["properties"], where + ".properties").items()) {
            const auto [kind, text] = HostCore::EncodeValue(ToVariant(p.value(), where));
            insProp.Bind(1, name).Bind(2, p.key()).Bind(3, kind).Bind(4, text);
            RunUnique(insProp, where + ".properties." + p.key());
          }
        if (u.contains("groups")) {
          const json& groups = Array(u["groups"], where + ".groups");
          for (std::size_t g = 0; g < groups.size(); ++g) {
            const std::string gw = where + ".groups[" + std::to_string(g) + "]";
            const std::string group = String(groups[g], gw);
            if (group.empty()) Bad(gw, "empty group name");
            insGroup.Bind(1, group).Run();
            insMember.Bind(1, group).Bind(2, name);
            RunUnique(insMember, gw);
          }
        }
        if (u.contains("settings"))
          for (const auto& s : Object(u["settings"], where + ".settings").items()) {
            const std::string sw = where + ".settings." + s.key();
            if (s.key().empty()) Bad(sw, "empty key");
            const auto [kind, text] = HostCore::EncodeValue(ToVariant(s.value(), sw));
            insSetting.Bind(1, name).Bind(2, s.key()).Bind(3, kind).Bind(4, text);
            RunUnique(insSetting, sw);
          }
      }
    }
    if (first.empty()) {
      core_.Conn().Exec("INSERT INTO main._vk_users VALUES('ADMIN', 'Administrator')");
      first = "ADMIN";
    }
    std::string current = first;
    if (h.contains("currentUser")) {
      current = String(h["currentUser"], "host.currentUser");
      auto st = core_.Conn().Prepare("SELECT name FROM main._vk_users WHERE name = ?1");
      st.Bind(1, current);
      if (!st.Step()) Bad("host.currentUser", "no user '" + current + "'");
      current = st.Text(0);
    }
    core_.StoreCurrentUser(current);
  }

  // A record as the fixture gives it: a record packed while the document was
  // parsed (CBOR in a binary value, see EmbeddedHost::PackRecord) is
  // unpacked into `held`.
  static const json& Unpacked(const json& element, json& held) {
    if (!element.is_binary()) return element;
    held = json::from_cbor(element.get_binary());
    return held;
  }

  void LoadTables(const json& tables) {
    const auto& schema = core_.GetSchema();
    for (const auto& item : tables.items()) {
      if (!schema.Find(item.key())) Bad("host.tables." + item.key(), "unknown table");
      Array(item.value(), "host.tables." + item.key());
    }
    // Keys the fixture gives are taken; new keys start after the highest.
    long long highest = 0;
    for (const auto& item : tables.items())
      for (const auto& element : item.value()) {
        json held;
        const json& record = Unpacked(element, held);
        if (record.is_object() && record.contains("ID") && record["ID"].is_string()) {
          // At most 18 digits, so that the next key still fits.
          const auto& id = record["ID"].get_ref<const std::string&>();
          const auto n = id.size() <= 18 ? host::ParseNumber<long long>(id) : std::nullopt;
          if (n && *n > 0) highest = std::max(highest, *n);
        }
      }
    core_.SetNextId(highest + 1);

    for (const auto& table : schema.MastersFirst()) {
      for (const auto& item : tables.items())
        if (SameIdentifier(item.key(), table->name))
          LoadRecords(*table, item.value(), "host.tables." + item.key());
    }
  }

  void LoadRecords(const TableDef& table, const json& records, const std::string& base) {
    std::string columns = std::string(host::kMasterColumn) + ", " + host::kTenantsColumn;
    std::string params = "?1, ?2";
    for (std::size_t i = 0; i < table.fields.size(); ++i) {
      columns += ", " + QuoteIdentifier(table.fields[i].name);
      params += ", ?" + std::to_string(i + 3);
    }
    auto insert = core_.Conn().Prepare("INSERT INTO main." + QuoteIdentifier(table.name) + "(" +
                                       columns + ") VALUES(" + params + ")");
    auto exists = core_.Conn().Prepare("SELECT 1 FROM main." + QuoteIdentifier(table.name) +
                                       " WHERE \"ID\" = ?1");
    std::optional<sqlite::Statement> findMaster;
    if (!table.master.empty())
      findMaster.emplace(core_.Conn().Prepare("SELECT " + std::string(host::kRowColumn) +
                                              " FROM main." + QuoteIdentifier(table.master) +
                                              " WHERE \"ID\" = ?1"));
    const int idSize = table.FindField("ID")->size;
    for (std::size_t r = 0; r < records.size(); ++r) {
      const std::string where = base + "[" + std::to_string(r) + "]";
      json held;
      const json& record = Object(Unpacked(records[r], held), where);
      std::vector<const json*> values(table.fields.size(), nullptr);
      for (const auto& field : record.items()) {
        if (field.key() == "@master" || field.key() == "@tenants") continue;
        const int index = table.FieldIndex(field.key());
        if (index < 0) Bad(where + "." + field.key(), "unknown field");
        if (values[static_cast<std::size_t>(index)])
          Bad(where + "." + field.key(), "field given twice");
        values[static_cast<std::size_t>(index)] = &field.value();
      }
      // Master record.
      if (!table.master.empty()) {
        if (!record.contains("@master")) Bad(where, "a record of a detail table needs \"@master\"");
        const std::string masterId = String(record["@master"], where + ".@master");
        findMaster->Bind(1, masterId);
        const bool found = findMaster->Step();
        const std::int64_t masterRow = found ? findMaster->Int(0) : 0;
        findMaster->Reset();
        if (!found)
          Bad(where + ".@master", "no record '" + masterId + "' in '" + table.master + "'");
        insert.Bind(1, masterRow);
      } else {
        if (record.contains("@master"))
          Bad(where + ".@master", "'" + table.name + "' has no master table");
        insert.BindNull(1);
      }
      std::vector<std::string> tenants;
      if (record.contains("@tenants")) {
        const json& list = Array(record["@tenants"], where + ".@tenants");
        for (std::size_t t = 0; t < list.size(); ++t) {
          const std::string tenant =
              String(list[t], where + ".@tenants[" + std::to_string(t) + "]");
          if (tenant.empty() || tenant.find(',') != std::string::npos)
            Bad(where + ".@tenants[" + std::to_string(t) + "]",
                "a tenant name is not empty and has no comma");
          tenants.push_back(tenant);
        }
      }
      insert.Bind(2, host::JoinTenants(tenants));
      for (std::size_t i = 0; i < table.fields.size(); ++i) {
        const FieldDef& f = table.fields[i];
        const int column = static_cast<int>(i) + 3;
        const std::string fw = where + "." + f.name;
        if (SameIdentifier(f.name, "ID")) {
          std::string id;
          if (values[i]) {
            id = String(*values[i], fw);
            if (static_cast<int>(id.size()) != idSize)
              Bad(fw, "'" + id + "' is not " + std::to_string(idSize) + " characters long");
            exists.Bind(1, id);
            const bool dup = exists.Step();
            exists.Reset();
            if (dup) Bad(fw, "'" + id + "' given twice");
          } else {
            id = core_.NextId(table);
          }
          insert.Bind(column, id);
        } else if (values[i]) {
          BindFixtureValue(insert, column, f, *values[i], fw);
        } else if (SameIdentifier(f.name, "ModifiziertAm")) {
          insert.Bind(column, now_.Value());
        } else if (f.type == FieldType::Date) {
          insert.BindNull(column);
        } else if (f.type == FieldType::Integer || f.type == FieldType::Boolean) {
          insert.Bind(column, static_cast<std::int64_t>(0));
        } else if (f.type == FieldType::Number) {
          insert.Bind(column, 0.0);
        } else {
          insert.Bind(column, std::string());
        }
      }
      insert.Run();
    }
  }

  void LoadRefusals(const json& refuse) {
    for (const auto& item : refuse.items()) {
      const std::string where = "host.refuse." + item.key();
      const std::size_t colon = item.key().find(':');
      auto table = core_.GetSchema().Find(item.key().substr(0, colon));
      if (!table) Bad(where, "unknown table");
      std::string id;
      if (colon != std::string::npos) {
        id = item.key().substr(colon + 1);
        auto st = core_.Conn().Prepare("SELECT 1 FROM main." + QuoteIdentifier(table->name) +
                                       " WHERE \"ID\" = ?1");
        st.Bind(1, id);
        if (!st.Step()) Bad(where, "no record '" + id + "'");
      }
      for (const auto& op : Array(item.value(), where)) {
        const std::string name = String(op, where);
        if (name != "add" && name != "edit" && name != "delete")
          Bad(where, "'" + name + "' is not one of add, edit, delete");
        core_.AddRefusal(table->name, id, name);
      }
    }
  }

  HostCore& core_;
  AutoDate now_;
};

}  // namespace

void EmbeddedHost::LoadFixture(const nlohmann::json& hostPart, AutoDate now) {
  const std::string user = core_->CurrentUser();
  try {
    sqlite::Transaction load(core_->Conn());
    Loader(*core_, now).Load(hostPart);
    load.Commit();
  } catch (const std::exception& e) {
    // The load is rolled back; the host reads its state back.
    core_->Reload();
    core_->SetCurrentUser(user);
    db_->ForgetTables();
    if (dynamic_cast<const FixtureError*>(&e)) throw;
    if (auto* a = dynamic_cast<const AutomationError*>(&e))
      throw FixtureError("host: " + a->Description());
    throw FixtureError(std::string("host: ") + e.what());
  }
  db_->ForgetTables();
  app_->SetActiveTable(nullptr);
}

nlohmann::json EmbeddedHost::PackRecord(nlohmann::json&& record) {
  if (!record.is_object()) return std::move(record);
  return json::binary(json::to_cbor(record));
}

nlohmann::json EmbeddedHost::DumpFixture(StreamedJson* stream) const {
  auto& conn = core_->Conn();
  const auto& schema = core_->GetSchema();
  json h = json::object();
  {
    auto st = conn.Prepare("SELECT value FROM main._vk_meta WHERE key = 'currentUser'");
    h["currentUser"] = st.Step() ? st.Text(0) : "";
  }
  h["flags"] = core_->Flags();
  json users = json::array();
  {
    auto st = conn.Prepare("SELECT name, name2 FROM main._vk_users ORDER BY rowid");
    auto props = conn.Prepare(
        "SELECT name, kind, value FROM main._vk_user_props WHERE user = ?1 ORDER BY rowid");
    auto groups =
        conn.Prepare("SELECT grp FROM main._vk_group_members WHERE user = ?1 ORDER BY rowid");
    auto settings = conn.Prepare(
        "SELECT key, kind, value FROM main._vk_settings WHERE user = ?1 ORDER BY rowid");
    while (st.Step()) {
      const std::string name = st.Text(0);
      json u = {{"name", name}, {"name2", st.Text(1)}};
      json p = json::object(), g = json::array(), s = json::object();
      props.Bind(1, name);
      while (props.Step())
        p[props.Text(0)] = FromVariant(HostCore::DecodeValue(props.Text(1), props.Text(2)));
      props.Reset();
      groups.Bind(1, name);
      while (groups.Step()) g.push_back(groups.Text(0));
      groups.Reset();
      settings.Bind(1, name);
      while (settings.Step())
        s[settings.Text(0)] =
            FromVariant(HostCore::DecodeValue(settings.Text(1), settings.Text(2)));
      settings.Reset();
      u["properties"] = p;
      u["groups"] = g;
      u["settings"] = s;
      users.push_back(u);
    }
  }
  h["users"] = users;
  json globals = json::object();
  {
    auto st = conn.Prepare("SELECT name, kind, value FROM main._vk_globals ORDER BY rowid");
    while (st.Step())
      globals[st.Text(0)] = FromVariant(HostCore::DecodeValue(st.Text(1), st.Text(2)));
  }
  h["globals"] = globals;

  // The schema as changes against the default layout.
  const host::Schema standard = host::Schema::Default();
  json schemaJson = json::object();
  for (const auto& t : standard.tables)
    if (!schema.Find(t->name)) schemaJson[t->name] = {{"remove", true}};
  for (const auto& t : schema.tables) {
    auto base = standard.Find(t->name);
    json change = json::object();
    json drop = json::array(), add = json::object();
    if (base) {
      for (const auto& f : base->fields)
        if (!t->FindField(f.name)) drop.push_back(f.name);
      if (t->master != base->master) change["master"] = t->master;
    } else {
      change["master"] = t->master;
    }
    for (const auto& f : t->fields) {
      const FieldDef* b = base ? base->FindField(f.name) : nullptr;
      if (!b || !SameField(*b, f)) add[f.name] = FieldDefJson(f);
    }
    bool sameIndexes = base && base->indexes.size() == t->indexes.size();
    for (std::size_t i = 0; sameIndexes && i < t->indexes.size(); ++i)
      sameIndexes = base->indexes[i].name == t->indexes[i].name &&
                    base->indexes[i].fields == t->indexes[i].fields;
    if (!sameIndexes) {
      json ix = json::object();
      for (const auto& index : t->indexes) ix[index.name] = index.fields;
      change["indexes"] = ix;
    }
    if (!drop.empty()) change["drop"] = drop;
    if (!add.empty()) change["add"] = add;
    if (!change.empty()) schemaJson[t->name] = change;
  }
  h["schema"] = schemaJson;

  json tables = json::object();
  for (const auto& table : schema.tables) {
    // The records in the order of their rows, each as the fixture writes it.
    auto records = [this, t = table](const StreamedJson::Emit& emit) {
      auto& conn = core_->Conn();
      std::string list =
          std::string(host::kRowColumn) + ", " + host::kTenantsColumn + ", " +
          (t->master.empty()
               ? std::string("NULL")
               : "(SELECT m.\"ID\" FROM main." + QuoteIdentifier(t->master) + " m WHERE m." +
                     host::kRowColumn + " = d." + host::kMasterColumn + ")");
      for (const auto& f : t->fields) list += ", d." + QuoteIdentifier(f.name);
      auto st = conn.Prepare("SELECT " + list + " FROM main." + QuoteIdentifier(t->name) +
                             " d ORDER BY d." + host::kRowColumn);
      while (st.Step()) {
        json r = json::object();
        if (!t->master.empty()) r["@master"] = st.IsNull(2) ? json(nullptr) : json(st.Text(2));
        const std::vector<std::string> tenants = host::SplitTenants(st.Text(1));
        if (!tenants.empty()) r["@tenants"] = tenants;
        for (std::size_t i = 0; i < t->fields.size(); ++i) {
          const FieldDef& f = t->fields[i];
          const Variant v = host::TableImpl::ColumnValue(f, st, static_cast<int>(i) + 3);
          if (f.type == FieldType::Date)
            r[f.name] = v.ToDate().Value() == 0.0 ? json(nullptr) : json(v.ToDate().Format());
          else if (f.type == FieldType::Link)
            r[f.name] = v.IsObject() ? json(v.As<HostLink>()->Target()) : json("");
          else
            r[f.name] = FromVariant(v);
        }
        emit(r);
      }
    };
    if (stream != nullptr) {
      tables[table->name] = stream->List(records);
    } else {
      json all = json::array();
      records([&all](const json& r) { all.push_back(r); });
      tables[table->name] = std::move(all);
    }
  }
  h["tables"] = tables;

  const auto config = core_->StoredConfiguration();
  json refuse = json::object(), refuseValues = json::object(), raise = json::object();
  for (const auto& [key, ops] : config.refusals) refuse[key] = ops;
  for (const auto& [key, values] : config.refusedValues) refuseValues[key] = values;
  for (const auto& [key, number] : config.injected) raise[key] = FormatErrorNumber(number);
  h["refuse"] = refuse;
  h["refuseValues"] = refuseValues;
  h["raise"] = raise;
  return h;
}

}  // namespace velklk
