#include "contacts/access.h"

#include "contacts/text_rules.h"

namespace velklk::contacts {

HostTable& Adressen() { return Need(State().mTblAdressen, "mTblAdressen"); }
HostTable& Ansprechpartner() { return Need(State().mTblAnsprechpartner, "mTblAnsprechpartner"); }
HostTable& SyncLog() { return Need(State().mTblSyncLog, "mTblSyncLog"); }
OlItems& ContactItems() { return Need(State().mOlitems, "mOlitems"); }
HostDatabase& Db() { return Need(State().mDB, "mDB"); }

UserInterface& Ui() {
  UserInterface* ui = State().services.ui;
  if (!ui)
    throw AutomationError(err::kObjectVariableNotSet, "velKLK", "Object variable not set: ui");
  return *ui;
}

std::string CurrentUserName() {
  auto user = Db().CurrentUser();
  return Need(user, "current user").Name();
}

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
  auto compiled = Db().Compile(expression);
  return Need(compiled, "expression").Evaluate(table);
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
  auto prop = Need(props, "UserProperties").Find(name);
  if (!prop) prop = props->Add(name, OlUserPropertyType::Text);
  Need(prop, "UserProperty").SetValue(Variant(value));
}

std::string KeyId(const std::string& key) {
  return LeftChars(key, static_cast<std::size_t>(std::max(IdLength(), 0)));
}

std::string KeyTable(const std::string& key) {
  return MidChars(key, static_cast<std::size_t>(std::max(IdLength(), 0)));
}

MsgAnswer Message(const std::string& text, const std::string& title, MsgButtons buttons,
                  MsgIcon icon, int defaultButton) {
  MessageBoxRequest request;
  request.text = text;
  request.title = title;
  request.buttons = buttons;
  request.icon = icon;
  request.defaultButton = defaultButton;
  return Ui().MessageBox(request);
}

}  // namespace velklk::contacts
