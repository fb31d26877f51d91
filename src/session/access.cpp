#include "session/access.h"

#include <algorithm>

#include "diagnostics/text_helpers.h"
#include "platform/text_case.h"
#include "session/helpers.h"
#include "session/shared_state.h"

namespace velklk {
namespace {
constexpr const char* kSource = "velKLK";
}  // namespace

HostDatabase& Db() { return Need(State().mDB, kSource); }
HostTable& Adressen() { return Need(State().mTblAdressen, kSource); }
HostTable& Ansprechpartner() { return Need(State().mTblAnsprechpartner, kSource); }
HostTable& SyncLog() { return Need(State().mTblSyncLog, kSource); }
OlItems& ContactItems() { return Need(State().mOlitems, kSource); }

std::string CurrentUserName() { return Need(Db().CurrentUser(), kSource).Name(); }

int IdLength() { return State().nIdLength; }

std::string FieldText(const HostTable& table, const std::string& field) {
  const Variant v = table.Field(field)->Value();
  if (v.IsObject() || v.IsList()) return {};
  return v.ToText();
}

void SetField(HostTable& table, const std::string& field, const Variant& value) {
  table.Field(field)->SetValue(value);
}

Variant Evaluate(HostTable& table, const std::string& expression) {
  return Need(Db().Compile(expression), kSource).Evaluate(table);
}

std::string EvaluateText(HostTable& table, const std::string& expression) {
  const Variant v = Evaluate(table, expression);
  if (v.IsObject() || v.IsList()) return {};
  return v.ToText();
}

std::string Prop(const OlItem& item, const std::string& property) {
  return item.Get(property).ToText();
}

std::string UserProp(OlItem& item, const std::string& name) {
  auto props = item.UserProperties();
  auto prop = props ? props->Find(name) : nullptr;
  if (!prop) return {};
  const Variant v = prop->Value();
  if (v.IsObject() || v.IsList()) return {};
  return v.ToText();
}

bool HasUserProp(OlItem& item, const std::string& name) {
  auto props = item.UserProperties();
  return props && props->Find(name) != nullptr;
}

void SetUserProp(OlItem& item, const std::string& name, const std::string& value) {
  auto props = item.UserProperties();
  auto prop = Need(props, kSource).Find(name);
  if (!prop) prop = props->Add(name, OlUserPropertyType::Text);
  Need(prop, kSource).SetValue(Variant(value));
}

std::string KeyId(const std::string& key) {
  return LeftChars(key, static_cast<std::size_t>(std::max(IdLength(), 0)));
}

std::string KeyTable(const std::string& key) {
  return MidChars(key, static_cast<std::size_t>(std::max(IdLength(), 0)));
}

std::shared_ptr<OlItem> FindItemByVelSearch(OlItems& items, const std::string& key, int itemClass) {
  for (auto item = items.Find(VelSearchFilter(key)); item; item = items.FindNext()) {
    if (item->Class() == itemClass) return item;
  }
  return nullptr;
}

std::shared_ptr<OlItem> FindContactByVelSearch(const std::string& key) {
  return FindItemByVelSearch(Need(State().mOlitems, "Tools"), key, olclass::kContact);
}

bool FieldExists(const std::string& tableName, const Variant& fieldName) {
  HostTable& table = Need(Need(State().mDB, "Tools").Table(tableName), "Tools");
  const std::string wanted = fieldName.ToText();
  const int count = table.FieldCount();
  for (int i = 0; i < count; ++i) {
    auto field = table.Field(i);
    if (field && SameIdentifier(field->Name(), wanted)) return true;
  }
  return false;
}

}  // namespace velklk
