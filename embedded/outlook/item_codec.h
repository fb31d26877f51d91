// The values of one Outlook item and their stored form: the bytes of the
// "data" column of the profile's items table.
//
// The stored form is a sequence of entries, each a tag byte followed by its
// fields:
//   'S' a standard property: its name, a value
//   'U' a user property: its name, its type byte (1 text, 6 yes/no), a value
//   'L' a link to a contact: the contact's entry ID, its name
//   'K' the kept server text (only when there is one)
// A name or text is a length (unsigned LEB128) and that many bytes; a value
// is a ValueType byte and then a text, one byte 0/1 (Boolean), or eight
// bytes in the machine's order (integer, double, date as its automation
// date value).
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "outlook/values.h"
#include "platform/outlook.h"

namespace velklk::outlook {

struct UserProp {
  std::string name;
  OlUserPropertyType type;
  PropValue value;  // text or Boolean, after the type
};

struct LinkRef {
  std::string entryId;  // the linked contact
  std::string name;     // its name when the link was made
};

// The values of one item: the standard properties that differ from their
// defaults (sorted by id), its user properties and its links.
struct ItemData {
  std::vector<std::pair<int, PropValue>> props;
  std::vector<UserProp> user;
  std::vector<LinkRef> links;
  // What the item's copy on a server holds beyond its Outlook values, kept
  // to be written back unchanged. Opaque to the store: the server codecs
  // (server/contact_codec.h) write and read it; the object model, fixtures
  // and dumps do not show it.
  std::string serverKept;

  const PropValue* Find(int id) const;
  void Put(int id, PropValue value);
  void Erase(int id);
  // By name; the exact spelling first, then without regard to case.
  UserProp* FindUser(std::string_view name);
  const UserProp* FindUser(std::string_view name) const;
};

std::string EncodeItem(const ItemData& data);

// Raises the error of a profile whose stored form cannot be read.
[[noreturn]] void RaiseDamagedProfile(const std::string& what);

// Reads the stored form back. A standard property this release does not
// have, or holds with another type, or keeps itself (read-only), is dropped.
// Raises AutomationError (0x80004005, "The Outlook profile is damaged: ...")
// for bytes that are not a stored form: cut short, an unknown tag or type, a
// number that is not finite, a date outside the calendar (IsCalendarDate).
ItemData DecodeItem(std::string_view blob);

}  // namespace velklk::outlook
