// Small accessors over the host and Outlook interfaces that the contact
// procedures share: shared-state objects that must be there, field and
// property reads as text, user properties, host expressions and the
// logging and reporting shape of a procedure.
#pragma once

#include <memory>
#include <string>

#include "addin/shared_state.h"
#include "platform/automation_error.h"
#include "platform/host.h"
#include "platform/outlook.h"
#include "platform/user_interface.h"

namespace velklk::contacts {

// A shared-state object the procedure needs; raises error 91 ("object
// variable not set") when the start-up has not provided it.
template <typename T>
T& Need(const std::shared_ptr<T>& object, const char* what) {
  if (!object)
    throw AutomationError(err::kObjectVariableNotSet, "velKLK",
                          std::string("Object variable not set: ") + what);
  return *object;
}

HostTable& Adressen();
HostTable& Ansprechpartner();
HostTable& SyncLog();
OlItems& ContactItems();
HostDatabase& Db();
UserInterface& Ui();
std::string CurrentUserName();
int IdLength();

// Host field value as text (a link or another object reads as empty).
std::string FieldText(const HostTable& table, const std::string& field);
void SetField(HostTable& table, const std::string& field, const Variant& value);
// A host expression evaluated on the table's current record.
Variant Evaluate(HostTable& table, const std::string& expression);
std::string EvaluateText(HostTable& table, const std::string& expression);

// A standard Outlook property as text.
std::string Prop(const OlItem& item, const std::string& property);
// A user property's value as text; empty when the item has no such property.
std::string UserProp(OlItem& item, const std::string& name);
bool HasUserProp(OlItem& item, const std::string& name);
// Writes a text user property, adding it when the item lacks it.
void SetUserProp(OlItem& item, const std::string& name, const std::string& value);

// The first `nIdLength` characters of a key, and the rest.
std::string KeyId(const std::string& key);
std::string KeyTable(const std::string& key);

// Message box with the standard title unless one is given.
MsgAnswer Message(const std::string& text, const std::string& title, MsgButtons buttons,
                  MsgIcon icon, int defaultButton = 1);
inline constexpr const char* kProductTitle = "Velmora Kestrelink";

}  // namespace velklk::contacts
