#include "server/accounts.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/text_case.h"
#include "sqlite/connection.h"
#include "sqlite/transaction.h"

namespace velklk::server {
namespace {

constexpr std::size_t kMaxPasswordFile = 4096;

constexpr const char* kSchema = R"(
CREATE TABLE IF NOT EXISTS main._vk_server_accounts(
  store TEXT PRIMARY KEY,
  url TEXT NOT NULL,
  user TEXT NOT NULL,
  password_source TEXT NOT NULL CHECK(password_source IN ('file', 'env')),
  password_name TEXT NOT NULL,
  ca_file TEXT NOT NULL DEFAULT '',
  time_zone TEXT NOT NULL DEFAULT '',
  principal TEXT NOT NULL DEFAULT '');
CREATE TABLE IF NOT EXISTS main._vk_server_folders(
  id INTEGER PRIMARY KEY,
  store TEXT NOT NULL,
  folder TEXT NOT NULL UNIQUE,
  kind TEXT NOT NULL CHECK(kind IN ('contacts', 'calendar', 'tasks')),
  collection TEXT NOT NULL,
  sync_token TEXT NOT NULL DEFAULT '',
  read_only INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS main._vk_server_items(
  folder INTEGER NOT NULL,
  entry_id TEXT NOT NULL,
  href TEXT NOT NULL,
  uid TEXT NOT NULL,
  etag TEXT NOT NULL DEFAULT '',
  revision INTEGER NOT NULL DEFAULT 0,
  content_hash TEXT NOT NULL DEFAULT '',
  sequence INTEGER NOT NULL DEFAULT 0,
  PRIMARY KEY(folder, entry_id),
  UNIQUE(folder, href));
)";

bool TableExists(sqlite::Connection& db, const char* name) {
  auto st = db.Prepare("SELECT 1 FROM main.sqlite_master WHERE type = 'table' AND name = ?1");
  return st.Bind(1, name).Step();
}

std::string FileMode(mode_t mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
  return text;
}

std::string ReadPasswordFile(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0)
    throw AccountError("cannot read the password file '" + path + "': " + std::strerror(errno));
  if (!S_ISREG(info.st_mode))
    throw AccountError("the password file '" + path + "' is not a regular file");
  if ((info.st_mode & (S_IRGRP | S_IWGRP | S_IROTH | S_IWOTH)) != 0) {
    throw AccountError("the password file '" + path + "' can be read or written by others (mode " +
                       FileMode(info.st_mode) + "): make it its owner's alone (chmod 600)");
  }
  if (info.st_size > static_cast<off_t>(kMaxPasswordFile))
    throw AccountError("the password file '" + path +
                       "' is larger than 4 KB: it holds no password");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw AccountError("cannot read the password file '" + path + "'");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto end = text.find_first_of("\r\n");
  if (end != std::string::npos) text.resize(end);
  if (text.empty()) throw AccountError("the password file '" + path + "' is empty");
  return text;
}

Account ReadAccount(sqlite::Statement& st) {
  Account account;
  account.store = st.Text(0);
  account.url = st.Text(1);
  account.user = st.Text(2);
  account.password.kind =
      st.Text(3) == "env" ? PasswordSource::Kind::Environment : PasswordSource::Kind::File;
  account.password.name = st.Text(4);
  account.caFile = st.Text(5);
  account.timeZone = st.Text(6);
  account.principal = st.Text(7);
  return account;
}

}  // namespace

std::string ReadPassword(const PasswordSource& source) {
  if (source.kind == PasswordSource::Kind::File) return ReadPasswordFile(source.name);
  const char* value = std::getenv(source.name.c_str());
  if (value == nullptr || *value == '\0')
    throw AccountError("the environment variable " + source.name +
                       " that holds the password is not set");
  return value;
}

bool AccountStore::HasTables() const { return TableExists(db_, "_vk_server_accounts"); }

void AccountStore::Upgrade() const {
  auto version = db_.Prepare("SELECT value FROM main._vk_profile WHERE key = 'server schema'");
  if (!version.Step()) return;
  const int found = std::atoi(version.Text(0).c_str());
  if (found > kSchemaVersion) {
    throw AccountError("the profile's server accounts are of a newer release (version " +
                       version.Text(0) + "); this program knows version " +
                       std::to_string(kSchemaVersion));
  }
  if (found >= kSchemaVersion) return;
  // Version 1 knew no read-only folders and no SEQUENCE of calendar objects.
  sqlite::Transaction change(db_, sqlite::Transaction::Locking::Immediate);
  db_.Exec(
      "ALTER TABLE main._vk_server_folders ADD COLUMN read_only INTEGER NOT NULL DEFAULT 0;"
      "ALTER TABLE main._vk_server_items ADD COLUMN sequence INTEGER NOT NULL DEFAULT 0;");
  db_.Prepare("UPDATE main._vk_profile SET value = ?1 WHERE key = 'server schema'")
      .Bind(1, std::to_string(kSchemaVersion))
      .Run();
  change.Commit();
}

void AccountStore::EnsureSchema() {
  sqlite::Transaction change(db_, sqlite::Transaction::Locking::Immediate);
  db_.Exec("CREATE TABLE IF NOT EXISTS main._vk_profile(key TEXT PRIMARY KEY, value TEXT)");
  auto version = db_.Prepare("SELECT value FROM main._vk_profile WHERE key = 'server schema'");
  if (version.Step()) {
    Upgrade();
  } else {
    db_.Exec(kSchema);
    db_.Prepare("INSERT INTO main._vk_profile(key, value) VALUES('server schema', ?1)")
        .Bind(1, std::to_string(kSchemaVersion))
        .Run();
  }
  change.Commit();
}

std::vector<Account> AccountStore::List() const {
  std::vector<Account> accounts;
  if (!HasTables()) return accounts;
  Upgrade();
  auto st = db_.Prepare(
      "SELECT store, url, user, password_source, password_name, ca_file, time_zone, principal "
      "FROM main._vk_server_accounts ORDER BY store");
  while (st.Step()) accounts.push_back(ReadAccount(st));
  auto folders = db_.Prepare(
      "SELECT folder, kind, collection, sync_token, read_only FROM main._vk_server_folders "
      "WHERE store = ?1 ORDER BY id");
  for (auto& account : accounts) {
    folders.Bind(1, account.store);
    while (folders.Step())
      account.folders.push_back({folders.Text(0), folders.Text(1), folders.Text(2),
                                 folders.Text(3), folders.Int(4) != 0});
    folders.Reset();
  }
  return accounts;
}

std::optional<Account> AccountStore::Find(const std::string& store) const {
  for (auto& account : List())
    if (EqualsNoCase(account.store, store)) return account;
  return std::nullopt;
}

std::optional<std::string> AccountStore::StoreBoundTo(const std::string& collection) const {
  if (!HasTables()) return std::nullopt;
  auto st = db_.Prepare("SELECT store FROM main._vk_server_folders WHERE collection = ?1");
  st.Bind(1, collection);
  if (!st.Step()) return std::nullopt;
  return st.Text(0);
}

void AccountStore::Add(const Account& account) {
  if (Find(account.store)) throw AccountError("the store '" + account.store + "' is bound already");
  sqlite::Transaction change(db_, sqlite::Transaction::Locking::Immediate);
  db_.Prepare(
         "INSERT INTO main._vk_server_accounts(store, url, user, password_source, password_name, "
         "ca_file, time_zone, principal) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)")
      .Bind(1, account.store)
      .Bind(2, account.url)
      .Bind(3, account.user)
      .Bind(4, account.password.kind == PasswordSource::Kind::Environment ? "env" : "file")
      .Bind(5, account.password.name)
      .Bind(6, account.caFile)
      .Bind(7, account.timeZone)
      .Bind(8, account.principal)
      .Run();
  auto folder = db_.Prepare(
      "INSERT INTO main._vk_server_folders(store, folder, kind, collection, sync_token, "
      "read_only) VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
  for (const auto& f : account.folders) {
    folder.Bind(1, account.store)
        .Bind(2, f.folder)
        .Bind(3, f.kind)
        .Bind(4, f.collection)
        .Bind(5, f.syncToken)
        .Bind(6, f.readOnly ? 1 : 0)
        .Run();
    folder.Reset();
  }
  change.Commit();
}

bool AccountStore::Remove(const std::string& store) {
  const auto account = Find(store);
  if (!account) return false;
  sqlite::Transaction change(db_, sqlite::Transaction::Locking::Immediate);
  db_.Prepare(
         "DELETE FROM main._vk_server_items WHERE folder IN "
         "(SELECT id FROM main._vk_server_folders WHERE store = ?1)")
      .Bind(1, account->store)
      .Run();
  db_.Prepare("DELETE FROM main._vk_server_folders WHERE store = ?1").Bind(1, account->store).Run();
  db_.Prepare("DELETE FROM main._vk_server_accounts WHERE store = ?1")
      .Bind(1, account->store)
      .Run();
  change.Commit();
  return true;
}

}  // namespace velklk::server
