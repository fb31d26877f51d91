// Finding an account's address books and calendars from one URL, as the
// standards say: the current user's principal (RFC 5397) from the URL given,
// else from the server's well-known address (RFC 6764); the principal's
// address-book home (RFC 6352) and calendar home (RFC 4791); the
// collections in them.
#pragma once

#include <string>
#include <vector>

#include "server/dav_client.h"

namespace velklk::server {

struct DavCollection {
  std::string url;          // absolute, as the server lists it
  std::string displayName;  // "" when the collection has none
  // Calendars: the kinds of item it takes ("VEVENT", "VTODO"); empty when
  // the server does not say (then it takes every kind).
  std::vector<std::string> components;
  // Whether the account may write into it (DAV:current-user-privilege-set;
  // true when the server does not say).
  bool writable = true;
};

struct DavAccount {
  std::string principalUrl;
  std::vector<std::string> addressBookHomes, calendarHomes;
  std::vector<DavCollection> addressBooks, calendars;  // in the server's order
  std::vector<std::string> homeMembers;                // every member URL of the homes, of any kind
};

// Raises DavError: Unauthorized for a wrong password, NotDav when neither
// the URL nor the server's well-known address answers as a CardDAV/CalDAV
// server, and what the requests raise.
DavAccount Discover(DavClient& client, const std::string& url);

// The calendars of another user, from that user's principal: its calendar
// home and the calendars in it. Raises DavError as the requests do (a
// principal the account may not read: Forbidden or NotFound).
DavAccount DiscoverCalendarsOf(DavClient& client, const std::string& principalUrl);

// Whether a calendar takes a component ("VEVENT", "VTODO").
bool Takes(const DavCollection& calendar, const std::string& component);

// The address book of `account` whose display name or last path segment is
// `name` (compared without regard to case); the first one when `name` is
// empty. Null when there is none.
const DavCollection* ChooseAddressBook(const DavAccount& account, const std::string& name);

// A URL for a new collection in `home` that none of `taken` has, its last
// segment made from `name` ("Kontakte" gives ".../kontakte/", then
// ".../kontakte-2/").
std::string NewCollectionUrl(const std::string& home, const std::string& name,
                             const std::vector<std::string>& taken);

}  // namespace velklk::server
