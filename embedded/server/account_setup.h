// Adding a server account to a profile: everything `velklk account add`
// does between reading its options and printing its lines.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "server/accounts.h"
#include "server/dav_client.h"

namespace velklk {
class OlApplication;
}
namespace velklk::sqlite {
class Connection;
}

namespace velklk::server {

struct AccountRequest {
  std::string store;  // a mailbox store of the profile
  std::string url;
  std::string user;
  PasswordSource password;
  std::string caFile;       // "" for the system's store
  std::string timeZone;     // an IANA name, "" for none
  std::string addressBook;  // display name or last URL segment; "" for the first one
  bool create = false;      // make the collections that are missing
  // Other users' mailboxes on the mail server (their names, the owners'
  // e-mail addresses): their calendars are bound when the account may read
  // them.
  std::vector<std::string> otherMailboxes;
};

// A folder that was not bound, and why.
struct NotBound {
  std::string folder;  // "store\folder" as `find` takes it
  std::string reason;
};

struct AddedAccount {
  Account account;
  std::vector<NotBound> notBound;
};

// Binds the store's contacts folder to an address book of the account, its
// calendar folder (and each of its subfolders) to a calendar that takes
// events, its tasks folder to one that takes tasks (the calendar folder's
// when the server has one calendar for both), and the calendars of the
// other users' mailboxes that the account may read (received only when it
// may not write them); records all in the profile, in one transaction of
// `db` after every request to the server succeeded, with `alsoWrite` in it.
// A collection is chosen by its display name or last path segment equal to
// the folder's name, else the first of its kind not bound yet; `create`
// makes the missing ones (MKCOL, MKCALENDAR). A calendar or task folder
// without a collection is left unbound with its reason; an address book is
// required. Before any request it refuses (raising
// AccountError) a store the profile does not have or that is bound already,
// a store without a contacts folder, a URL the client refuses, a password
// it cannot read (a password file others can read included), a CA file it
// cannot read and an unknown time zone. A server that refuses the
// credentials, is no CardDAV server, redirects in a loop or fails raises
// DavError. Whatever fails, the profile is as it was. `settings` gives the
// timeouts and bounds (its user, password and CA file are set here).
AddedAccount AddAccount(sqlite::Connection& db, OlApplication& outlook,
                        const AccountRequest& request, DavSettings settings = {},
                        const std::function<void(const Account&)>& alsoWrite = {});

}  // namespace velklk::server
