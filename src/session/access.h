// Accessors over the shared state that the workers share: the host tables and
// Outlook objects the start-up opened (error 91 when it has not), field and
// property reads as text, user properties, host expressions, link keys and
// the lookups of items and fields.
#pragma once

#include <memory>
#include <string>

#include "platform/host.h"
#include "platform/outlook.h"

namespace velklk {

// The objects of the shared state; each raises error 91 when the start-up
// has not provided it.
HostDatabase& Db();
HostTable& Adressen();
HostTable& Ansprechpartner();
HostTable& SyncLog();
OlItems& ContactItems();
// The current host user's name.
std::string CurrentUserName();
// The size of the host's record IDs (the "ID" field of "Adressen").
int IdLength();

// A host field's value as text (a link or another object reads as empty).
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

// The ID part (the first IdLength() characters) of a link key, and the table
// part after it.
std::string KeyId(const std::string& key);
std::string KeyTable(const std::string& key);

// The first item of that class (olclass::...) whose velSearch equals the key,
// found with the quoted filter of VelSearchFilter; nothing when none.
std::shared_ptr<OlItem> FindItemByVelSearch(OlItems& items, const std::string& key, int itemClass);
// The first contact of the shared state's mOlitems whose velSearch equals the
// key, or nothing; distribution lists carrying the key are skipped.
std::shared_ptr<OlItem> FindContactByVelSearch(const std::string& key);
// True when the table of mDB has a field of that name (case ignored).
bool FieldExists(const std::string& tableName, const Variant& fieldName);

}  // namespace velklk
