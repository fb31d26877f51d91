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

// The first folder of a kind below the store, depth first.
std::shared_ptr<OlFolder> FirstOfKind(OlFolder& parent, OlItemType type) {
  auto folders = parent.Folders();
  for (int i = 1; i <= folders->Count(); ++i) {
    auto folder = folders->Item(i);
    if (folder->DefaultItemType() == type) return folder;
    if (auto below = FirstOfKind(*folder, type)) return below;
  }
  return nullptr;
}

std::string LowerText(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The last segment of a collection's path.
std::string LastSegment(const std::string& url) {
  const std::string path = DavClient::PathKey(url, url);
  return path.substr(path.rfind('/') + 1);
}

// A folder that wants a calendar: the store's calendar folder, each
// calendar below it, its tasks folder.
struct CalendarWant {
  std::shared_ptr<OlFolder> folder;
  std::string kind;       // "calendar" or "tasks"
  std::string component;  // "VEVENT" or "VTODO"
  bool byNameOnly = false;  // a subfolder takes only a calendar of its name
  std::string url;          // the chosen calendar
};

// Chooses (and with `create` makes) the calendars of a store's folders:
// every folder's calendar of its own name first, so that no other folder
// takes it; then for the calendar and the tasks folder a calendar of their
// kind alone, then one for both kinds; the tasks folder may share the
// calendar folder's calendar when that one takes tasks too.
class CalendarBinder {
 public:
  CalendarBinder(DavClient& client, const DavAccount& found, const AccountStore& accounts,
                 bool create)
      : client_(client), found_(found), accounts_(accounts), create_(create) {}

  void Bind(std::vector<CalendarWant>& wants, Account& account, std::vector<NotBound>& notBound) {
    for (auto& want : wants) {
      const std::string name = LowerText(want.folder->Name());
      for (const auto& c : found_.calendars)
        if (Usable(c, want.component) &&
            (LowerText(c.displayName) == name || LowerText(LastSegment(c.url)) == name)) {
          Take(want, c.url);
          break;
        }
    }
    for (auto& want : wants) {
      if (!want.url.empty() || want.byNameOnly) continue;
      for (int pass = 0; want.url.empty() && pass < 2; ++pass)
        for (const auto& c : found_.calendars)
          if (Usable(c, want.component) && (pass == 1 || c.components.size() == 1)) {
            Take(want, c.url);
            break;
          }
    }
    const std::string calendarUrl = wants.empty() || wants.front().kind != "calendar"
                                        ? std::string()
                                        : wants.front().url;
    for (auto& want : wants) {
      if (!want.url.empty()) continue;
      if (want.kind == "tasks" && !calendarUrl.empty() && Takes(calendarUrl, want.component)) {
        want.url = calendarUrl;
      } else if (!create_) {
        notBound.push_back({PathOf(*want.folder),
                            "the account has no " +
                                std::string(want.kind == "tasks" ? "task list" : "calendar") +
                                " '" + want.folder->Name() + "' (--create makes one)"});
      } else if (found_.calendarHomes.empty()) {
        notBound.push_back({PathOf(*want.folder),
                            "the account names no calendar home: no calendar can be made"});
      } else {
        std::vector<std::string> taken = found_.homeMembers;
        taken.insert(taken.end(), made_.begin(), made_.end());
        const std::string url =
            NewCollectionUrl(found_.calendarHomes.front(), want.folder->Name(), taken);
        client_.MakeCalendar(url, want.folder->Name(), {want.component});
        made_.push_back(url);
        want.url = url;
      }
    }
    for (const auto& want : wants)
      if (!want.url.empty())
        account.folders.push_back({PathOf(*want.folder), want.kind, want.url, "", false});
  }

 private:
  void Take(CalendarWant& want, const std::string& url) {
    want.url = url;
    used_.push_back(DavClient::PathKey(url, url));
  }
  bool Usable(const DavCollection& c, const std::string& component) const {
    if (!server::Takes(c, component) || !c.writable) return false;
    const std::string key = DavClient::PathKey(c.url, c.url);
    for (const auto& u : used_)
      if (u == key) return false;
    return !accounts_.StoreBoundTo(c.url);
  }
  bool Takes(const std::string& url, const std::string& component) const {
    for (const auto& c : found_.calendars)
      if (DavClient::PathKey(c.url, c.url) == DavClient::PathKey(url, url))
        return server::Takes(c, component);
    return false;  // one this command made: for its own kind alone
  }

  DavClient& client_;
  const DavAccount& found_;
  const AccountStore& accounts_;
  bool create_;
  std::vector<std::string> used_, made_;
};

// A mailbox name as one segment of a URL path: letters, digits, "-._~@"
// as they are, every other byte percent-encoded; "" for a name that would
// name no segment ("", ".", "..").
std::string PathSegment(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return "";
  std::string out;
  for (unsigned char c : name) {
    if (std::isalnum(c) != 0 && c < 0x80) {
      out += static_cast<char>(c);
    } else if (c == '-' || c == '.' || c == '_' || c == '~' || c == '@') {
      out += static_cast<char>(c);
    } else {
      static const char* const kHex = "0123456789ABCDEF";
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

// The principal of another user: beside the account's own, named by the
// mailbox's address, else by its part before "@".
std::vector<std::string> OtherPrincipals(const std::string& own, const std::string& mailbox) {
  std::string base = own;
  while (!base.empty() && base.back() == '/') base.pop_back();
  base = base.substr(0, base.rfind('/') + 1);
  std::vector<std::string> out;
  std::vector<std::string> names{mailbox};
  if (auto at = mailbox.find('@'); at != std::string::npos && at > 0)
    names.push_back(mailbox.substr(0, at));
  for (const auto& name : names)
    if (const std::string segment = PathSegment(name); !segment.empty())
      out.push_back(DavClient::Resolve(base, segment + "/"));
  return out;
}

// Binds another user's calendar folder (as GetSharedDefaultFolder opens
// it) to that user's calendar for events when the account may read it.
void BindOtherCalendar(DavClient& client, OlApplication& outlook, const AccountStore& accounts,
                       const std::string& ownPrincipal, const std::string& mailbox,
                       Account& account, std::vector<NotBound>& notBound) {
  std::shared_ptr<OlFolder> folder;
  try {
    auto ns = outlook.GetNamespace("MAPI");
    folder = ns->GetSharedDefaultFolder(ns->CreateRecipient(mailbox), kOlFolderCalendar);
  } catch (const std::exception&) {
    return;  // a mailbox without a calendar
  }
  if (!folder) return;
  std::string reason = "the account may not read a calendar of " + mailbox + " on the server";
  for (const auto& principal : OtherPrincipals(ownPrincipal, mailbox)) {
    DavAccount other;
    try {
      other = DiscoverCalendarsOf(client, principal);
    } catch (const DavError& e) {
      using K = DavError::Kind;
      if (e.GetKind() == K::Forbidden || e.GetKind() == K::NotFound || e.GetKind() == K::Http ||
          e.GetKind() == K::NotDav)
        continue;
      throw;
    }
    const DavCollection* chosen = nullptr;
    for (const auto& c : other.calendars) {
      if (!Takes(c, "VEVENT") || accounts.StoreBoundTo(c.url)) continue;
      const bool named = LowerText(c.displayName) == LowerText(folder->Name()) ||
                         LowerText(LastSegment(c.url)) == LowerText(folder->Name());
      if (named) {
        chosen = &c;
        break;
      }
      if (chosen == nullptr) chosen = &c;
    }
    if (chosen == nullptr) {
      reason = "the account finds no calendar for events of " + mailbox + " on the server";
      continue;
    }
    account.folders.push_back({PathOf(*folder), "calendar", chosen->url, "", !chosen->writable});
    return;
  }
  notBound.push_back({PathOf(*folder), reason});
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

AddedAccount AddAccount(sqlite::Connection& db, OlApplication& outlook,
                        const AccountRequest& request, DavSettings settings,
                        const std::function<void(const Account&)>& alsoWrite) {
  // Everything that needs no server first: a refusal costs no request.
  DavClient::CheckUrl(request.url);
  auto store = FindStore(outlook, request.store);
  AccountStore accounts(db);
  if (auto bound = accounts.Find(store->Name()))
    throw AccountError("the store '" + bound->store + "' is bound to " + bound->url +
                       " already (velklk account remove first)");
  auto contacts = FirstOfKind(*store, OlItemType::Contact);
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
  account.folders.push_back({PathOf(*contacts), "contacts", collection, "", false});

  AddedAccount added;
  std::vector<CalendarWant> wants;
  if (auto calendar = FirstOfKind(*store, OlItemType::Appointment)) {
    wants.push_back({calendar, "calendar", "VEVENT", false, ""});
    std::function<void(OlFolder&)> below = [&](OlFolder& parent) {
      auto subfolders = parent.Folders();
      for (int i = 1; i <= subfolders->Count(); ++i) {
        auto sub = subfolders->Item(i);
        if (sub->DefaultItemType() != OlItemType::Appointment) continue;
        wants.push_back({sub, "calendar", "VEVENT", true, ""});
        below(*sub);
      }
    };
    below(*calendar);
  }
  if (auto tasks = FirstOfKind(*store, OlItemType::Task))
    wants.push_back({tasks, "tasks", "VTODO", false, ""});
  CalendarBinder(client, found, accounts, request.create).Bind(wants, account, added.notBound);
  for (const auto& mailbox : request.otherMailboxes)
    BindOtherCalendar(client, outlook, accounts, found.principalUrl, mailbox, account,
                      added.notBound);

  sqlite::Transaction work(db, sqlite::Transaction::Locking::Immediate);
  accounts.EnsureSchema();
  accounts.Add(account);
  if (alsoWrite) alsoWrite(account);
  work.Commit();
  added.account = std::move(account);
  return added;
}

}  // namespace velklk::server
