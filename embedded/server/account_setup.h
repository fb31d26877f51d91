// Adding a server account to a profile: everything `velklk account add`
// does between reading its options and printing its lines.
#pragma once

#include <string>

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
  bool create = false;      // make the address book when it is missing
};

// Binds the store's contacts folder to an address book of the account and
// records both in the profile, in one transaction of `db` after every
// request to the server succeeded. Before any request it refuses (raising
// AccountError) a store the profile does not have or that is bound already,
// a store without a contacts folder, a URL the client refuses, a password
// it cannot read (a password file others can read included), a CA file it
// cannot read and an unknown time zone. A server that refuses the
// credentials, is no CardDAV server, redirects in a loop or fails raises
// DavError. Whatever fails, the profile is as it was. `settings` gives the
// timeouts and bounds (its user, password and CA file are set here).
//
// Calendars and task lists are not bound yet: binding them comes with the
// calendar codec.
Account AddAccount(sqlite::Connection& db, OlApplication& outlook, const AccountRequest& request,
                   DavSettings settings = {});

}  // namespace velklk::server
