// The server accounts of a profile, kept in its database beside the CRM's
// and the Outlook store's tables:
//
//   "_vk_server_accounts"  one row per bound mailbox store: the server's URL,
//                          the user name, where the password comes from (a
//                          file's path or an environment variable's name,
//                          never the password), the CA file, the time zone
//   "_vk_server_folders"   one row per bound folder: its path, its kind, the
//                          collection's URL, the sync token of the last
//                          pass, whether it is received only (read-only)
//   "_vk_server_items"     the status table of the sync engine: per item of
//                          a bound folder its entry ID, href, UID, the ETag
//                          last seen, the local revision last sent or
//                          received, the hash of the content last agreed
//                          and the SEQUENCE of a calendar object
//
// The tables are made by the first account added (their version is the
// profile key "server schema"), so a profile without accounts has none.
// Loading a fixture and `dump` leave them alone.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace velklk::sqlite {
class Connection;
}

namespace velklk::server {

// An account that cannot be added, found or used as asked: the message says
// why, for the user.
class AccountError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct PasswordSource {
  enum class Kind { File, Environment };
  Kind kind = Kind::File;
  std::string name;  // the file's absolute path, or the variable's name
};

// Reads the password from its source: the first line of the file (without
// its line end), or the variable's value. Raises AccountError when the file
// is missing, not a regular file, readable or writable by its group or by
// others, larger than 4 KB or empty, or when the variable is not set or
// empty.
std::string ReadPassword(const PasswordSource& source);

struct BoundFolder {
  std::string folder;      // "store\folder[\subfolder]"
  std::string kind;        // "contacts", "calendar" or "tasks"
  std::string collection;  // the collection's URL
  std::string syncToken;   // "" before the first pass
  // Another user's calendar the account may read but not write: received
  // only, and the folder refuses changes.
  bool readOnly = false;
};

struct Account {
  std::string store;  // the mailbox store's name as the profile writes it
  std::string url;    // the URL given when the account was added
  std::string user;
  PasswordSource password;
  std::string caFile;    // "" for the system's certificate store
  std::string timeZone;  // "" for TZ, else the system's
  std::string principal;
  std::vector<BoundFolder> folders;
};

class AccountStore {
 public:
  static constexpr int kSchemaVersion = 2;

  explicit AccountStore(sqlite::Connection& db) : db_(db) {}

  // Makes the server tables when the profile has none yet; raises
  // AccountError for tables of a newer version than this program knows.
  // Writes inside the connection's open transaction when there is one.
  void EnsureSchema();
  // Every account, by store name; none when the profile has no tables.
  // Tables of an older version are brought up to this one first.
  std::vector<Account> List() const;
  // The account of a store (its name compared without regard to case).
  std::optional<Account> Find(const std::string& store) const;
  // The store whose folder is bound to the collection, if any.
  std::optional<std::string> StoreBoundTo(const std::string& collection) const;
  // Records an account with its folders. Raises AccountError when the store
  // is bound already. Call EnsureSchema first.
  void Add(const Account& account);
  // Forgets the account of a store with its folders and their status rows;
  // false when the store has no account.
  bool Remove(const std::string& store);

 private:
  bool HasTables() const;
  void Upgrade() const;
  sqlite::Connection& db_;
};

}  // namespace velklk::server
