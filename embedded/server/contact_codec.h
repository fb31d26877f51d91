// Outlook contacts as vCards: the mapping between a contact item's values
// (outlook::ItemData, as the store holds and saves them) and vCard text, in
// both directions. docs/server.md ("Contacts as vCard") has the table.
//
// What the mapping does not know (a photo, a nickname, another client's
// X- properties, a fourth e-mail address, ...) is kept on the item in
// ItemData::serverKept and written back unchanged. So is the text of a
// mapped property that carries more than the Outlook values hold (a group,
// an unknown parameter, a TYPE of its own, a third ORG unit): while the
// Outlook values stay as received, the property goes back as received.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "outlook/item_codec.h"
#include "outlook/model.h"

namespace velklk::server {

// The folder's definition of a user property, found without regard to case;
// null when the folder has none. (A folder's `FindDef`.)
using FindUserDef = std::function<const outlook::UserDef*(std::string_view name)>;

struct ReceivedContact {
  // The mapped standard properties, the user properties and the kept text:
  // a new item's values as they are, or what ApplyContact gives an item.
  outlook::ItemData data;
  // The vCard's UID; none when it has no UID (the caller decides).
  std::optional<std::string> uid;
  // REV, when the vCard has one that reads as a time.
  std::optional<std::chrono::sys_seconds> revision;
  // CanonicalText(data).
  std::string canonical;
};

// Reads a vCard 3.0 or 4.0. A received user property takes the case of the
// folder's definition of its name (`defs` may be empty: the name as
// received). Raises VCardError (vcard.h) for text that is not a vCard.
ReceivedContact DecodeContact(std::string_view vcard, const FindUserDef& defs = {});

struct EncodedContact {
  std::string text;       // vCard 3.0
  std::string canonical;  // CanonicalText of the text decoded again
};

// Writes a contact's values as vCard 3.0 with this UID and, when given, REV.
// The user properties whose names are made of letters, digits, '-' and '_'
// go as X-VELKLK-NAME; others stay local (see ApplyContact).
EncodedContact EncodeContact(const outlook::ItemData& item, std::string_view uid,
                             std::optional<std::chrono::sys_seconds> revision = std::nullopt);

// Gives `item` the received values: every mapped standard property is set
// or, when the vCard has none, cleared; the Outlook properties outside the
// mapping (Gender, NickName, e-mail display names, ...) stay as they are.
// The user properties that travel are replaced by the received ones; those
// that cannot travel stay. The kept text is replaced.
void ApplyContact(const outlook::ItemData& received, outlook::ItemData& item);

// The text a content hash is taken of: every mapped value, the user
// properties (names in upper case, since servers may change their case) and
// the kept text, one per line. Equal for a contact and for the same contact
// written and read again.
std::string CanonicalText(const outlook::ItemData& mapped);

// The UID of a contact first sent from this profile: its entry ID when that
// is hexadecimal (as the store makes them), else "X" and the hexadecimal of
// its bytes. Distinct entry IDs give distinct UIDs.
std::string UidOfEntryId(std::string_view entryId);
// The name of its resource in the address book: the UID and ".vcf".
std::string ResourceNameOfEntryId(std::string_view entryId);

}  // namespace velklk::server
