#include "server/account_setup.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "platform/outlook.h"
#include "platform/text_case.h"
#include "server/discovery.h"
#include "sqlite/connection.h"
#include "sqlite/transaction.h"

namespace velklk::server {
namespace {

namespace fs = std::filesystem;

std::string Absolute(const std::string& path) {
  std::error_code error;
  const fs::path absolute = fs::absolute(path, error);
  return error ? path : absolute.lexically_normal().string();
}

// A folder path as `find` takes it: "store\folder" without the leading "\\".
std::string PathOf(OlFolder& folder) {
  std::string path = folder.FolderPath();
  while (!path.empty() && path.front() == '\\') path.erase(0, 1);
  return path;
}

// The first contacts folder below the store, depth first.
std::shared_ptr<OlFolder> FirstContacts(OlFolder& parent) {
  auto folders = parent.Folders();
  for (int i = 1; i <= folders->Count(); ++i) {
    auto folder = folders->Item(i);
    if (folder->DefaultItemType() == OlItemType::Contact) return folder;
    if (auto below = FirstContacts(*folder)) return below;
  }
  return nullptr;
}

std::shared_ptr<OlFolder> FindStore(OlApplication& outlook, const std::string& name) {
  auto stores = outlook.GetNamespace("MAPI")->Folders();
  for (int i = 1; i <= stores->Count(); ++i) {
    auto store = stores->Item(i);
    if (EqualsNoCase(store->Name(), name)) return store;
  }
  std::string known;
  for (int i = 1; i <= stores->Count(); ++i)
    known += (known.empty() ? "" : ", ") + stores->Item(i)->Name();
  throw AccountError("the profile has no mailbox store '" + name +
                     "' (its stores: " + (known.empty() ? "none" : known) + ")");
}

void CheckTimeZone(const std::string& zone) {
  if (zone.empty()) return;
  bool plain = zone.front() != '/' && zone.find("..") == std::string::npos;
  for (unsigned char c : zone)
    if (std::isalnum(c) == 0 && c != '/' && c != '_' && c != '-' && c != '+') plain = false;
  const char* dir = std::getenv("TZDIR");
  const fs::path file =
      fs::path(dir != nullptr && *dir != '\0' ? dir : "/usr/share/zoneinfo") / zone;
  std::error_code error;
  if (!plain || !fs::is_regular_file(file, error))
    throw AccountError("--time-zone: '" + zone +
                       "' is no known time zone (an IANA name such as Europe/Berlin)");
}

void CheckCaFile(const std::string& path) {
  if (path.empty()) return;
  std::error_code error;
  if (!fs::is_regular_file(path, error) || ::access(path.c_str(), R_OK) != 0)
    throw AccountError("cannot read the CA file '" + path + "'");
}

std::string AddressBookNames(const DavAccount& account) {
  std::string names;
  for (const auto& book : account.addressBooks)
    names += (names.empty() ? "" : ", ") + (book.displayName.empty() ? book.url : book.displayName);
  return names;
}

}  // namespace

Account AddAccount(sqlite::Connection& db, OlApplication& outlook, const AccountRequest& request,
                   DavSettings settings) {
  // Everything that needs no server first: a refusal costs no request.
  DavClient::CheckUrl(request.url);
  auto store = FindStore(outlook, request.store);
  AccountStore accounts(db);
  if (auto bound = accounts.Find(store->Name()))
    throw AccountError("the store '" + bound->store + "' is bound to " + bound->url +
                       " already (velklk account remove first)");
  auto contacts = FirstContacts(*store);
  if (!contacts) throw AccountError("the store '" + store->Name() + "' has no contacts folder");
  Account account;
  account.store = store->Name();
  account.url = request.url;
  account.user = request.user;
  account.password = request.password;
  if (account.password.kind == PasswordSource::Kind::File)
    account.password.name = Absolute(account.password.name);
  account.caFile = request.caFile.empty() ? std::string() : Absolute(request.caFile);
  account.timeZone = request.timeZone;
  CheckCaFile(account.caFile);
  CheckTimeZone(account.timeZone);
  settings.user = account.user;
  settings.password = ReadPassword(account.password);
  settings.caFile = account.caFile;

  DavClient client(settings);
  const DavAccount found = Discover(client, request.url);
  account.principal = found.principalUrl;
  std::string collection;
  if (const DavCollection* book = ChooseAddressBook(found, request.addressBook)) {
    collection = book->url;
  } else if (!request.create) {
    if (found.addressBooks.empty())
      throw AccountError("the account has no address book (--create makes one)");
    throw AccountError("the account has no address book '" + request.addressBook + "' (it has " +
                       AddressBookNames(found) + "; --create makes one)");
  } else if (found.addressBookHomes.empty()) {
    throw AccountError("the account names no address-book home: no address book can be made");
  } else {
    const std::string name = request.addressBook.empty() ? contacts->Name() : request.addressBook;
    collection = NewCollectionUrl(found.addressBookHomes.front(), name, found.homeMembers);
    client.MakeAddressBook(collection, name);
  }
  if (auto other = accounts.StoreBoundTo(collection))
    throw AccountError("the address book " + collection + " is bound to the store '" + *other +
                       "' already");
  account.folders.push_back({PathOf(*contacts), "contacts", collection, ""});

  sqlite::Transaction work(db, sqlite::Transaction::Locking::Immediate);
  accounts.EnsureSchema();
  accounts.Add(account);
  work.Commit();
  return account;
}

}  // namespace velklk::server
