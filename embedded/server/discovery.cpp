#include "server/discovery.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <set>

namespace velklk::server {
namespace {

using Kind = DavError::Kind;

XmlName Dav(const char* local) { return {std::string(kDavNs), local}; }
XmlName CardDav(const char* local) { return {std::string(kCardDavNs), local}; }
XmlName CalDav(const char* local) { return {std::string(kCalDavNs), local}; }

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// The first href inside a property such as DAV:current-user-principal,
// resolved against the URL that answered; "" when there is none.
std::string HrefProperty(const Multistatus& ms, std::string_view ns, std::string_view local) {
  for (const auto& response : ms.responses) {
    if (const XmlElement* p = response.Property(ns, local)) {
      const auto hrefs = p->Hrefs();
      if (!hrefs.empty()) return DavClient::Resolve(ms.url, hrefs.front());
    }
  }
  return {};
}

std::vector<std::string> HrefsProperty(const Multistatus& ms, std::string_view ns,
                                       std::string_view local) {
  std::vector<std::string> urls;
  for (const auto& response : ms.responses)
    if (const XmlElement* p = response.Property(ns, local))
      for (const auto& href : p->Hrefs()) urls.push_back(DavClient::Resolve(ms.url, href));
  return urls;
}

// The principal named by the URL; "" when it answers as WebDAV but names
// none. Raises DavError when it does not answer as WebDAV.
std::string PrincipalAt(DavClient& client, const std::string& url) {
  const Multistatus ms = client.Propfind(url, 0, {Dav("current-user-principal")});
  return HrefProperty(ms, kDavNs, "current-user-principal");
}

// An answer that says "no WebDAV here" may still come from a server that
// has its entry elsewhere; any other failure (a wrong password, a server out
// of reach, a redirect loop) is the answer.
bool IsAboutTheAccount(const DavError& e) {
  switch (e.GetKind()) {
    case Kind::NotDav:
    case Kind::NotFound:
    case Kind::Http:
    case Kind::BadAnswer:
      return false;
    default:
      return true;
  }
}

std::string FindPrincipal(DavClient& client, const std::string& url) {
  std::optional<DavError> first;
  try {
    if (std::string principal = PrincipalAt(client, url); !principal.empty()) return principal;
  } catch (const DavError& e) {
    if (IsAboutTheAccount(e)) throw;
    first = e;
  }
  const std::string wellKnown = DavClient::Resolve(url, "/.well-known/carddav");
  try {
    if (std::string principal = PrincipalAt(client, wellKnown); !principal.empty())
      return principal;
  } catch (const DavError& e) {
    if (IsAboutTheAccount(e)) throw;
    if (first)
      throw DavError(Kind::NotDav, first->Status(),
                     std::string(first->what()) + "; the server's " + wellKnown +
                         " is no CardDAV entry either");
    throw;
  }
  // A server without current-user-principal: the URL that answered as
  // WebDAV is the principal.
  return first ? wellKnown : url;
}

// Whether a DAV:current-user-privilege-set (RFC 3744) lets the user write;
// true when the server does not say.
bool Writable(const DavResponse& response) {
  const XmlElement* set = response.Property(kDavNs, "current-user-privilege-set");
  if (set == nullptr) return true;
  for (const XmlElement* privilege : set->Children(kDavNs, "privilege"))
    for (const char* name : {"all", "write", "write-content", "bind"})
      if (privilege->Child(kDavNs, name) != nullptr) return true;
  return false;
}

// The collections of a home, into `account`.
void ListHome(DavClient& client, const std::string& home, std::set<std::string>& seen,
              DavAccount& account) {
  const Multistatus listing =
      client.Propfind(home, 1,
                      {Dav("resourcetype"), Dav("displayname"),
                       CalDav("supported-calendar-component-set"),
                       Dav("current-user-privilege-set")});
  const std::string homeKey = DavClient::PathKey(listing.url, home);
  for (const auto& response : listing.responses) {
    const std::string key = DavClient::PathKey(listing.url, response.href);
    if (key == homeKey || !seen.insert(key).second) continue;
    DavCollection collection;
    collection.url = DavClient::Resolve(listing.url, response.href);
    account.homeMembers.push_back(collection.url);
    if (const XmlElement* name = response.Property(kDavNs, "displayname"))
      collection.displayName = name->text;
    collection.writable = Writable(response);
    const XmlElement* type = response.Property(kDavNs, "resourcetype");
    if (type == nullptr) continue;
    if (type->Child(kCardDavNs, "addressbook") != nullptr) {
      account.addressBooks.push_back(collection);
    } else if (type->Child(kCalDavNs, "calendar") != nullptr) {
      if (const XmlElement* set = response.Property(kCalDavNs, "supported-calendar-component-set"))
        for (const XmlElement* comp : set->Children(kCalDavNs, "comp"))
          collection.components.push_back(comp->Attribute("name"));
      account.calendars.push_back(collection);
    }
  }
}

}  // namespace

DavAccount Discover(DavClient& client, const std::string& url) {
  DavAccount account;
  account.principalUrl = FindPrincipal(client, url);
  const Multistatus principal = client.Propfind(
      account.principalUrl, 0, {CardDav("addressbook-home-set"), CalDav("calendar-home-set")});
  account.addressBookHomes = HrefsProperty(principal, kCardDavNs, "addressbook-home-set");
  account.calendarHomes = HrefsProperty(principal, kCalDavNs, "calendar-home-set");
  if (account.addressBookHomes.empty() && account.calendarHomes.empty()) {
    throw DavError(Kind::NotDav, 207,
                   "PROPFIND " + account.principalUrl +
                       ": the account names no address-book home and no calendar home: no "
                       "CardDAV/CalDAV account there");
  }
  // Homes are often one collection for both kinds: list each once.
  std::vector<std::string> homes = account.addressBookHomes;
  for (const auto& home : account.calendarHomes)
    if (std::find(homes.begin(), homes.end(), home) == homes.end()) homes.push_back(home);
  std::set<std::string> seen;
  for (const auto& home : homes) ListHome(client, home, seen, account);
  return account;
}

DavAccount DiscoverCalendarsOf(DavClient& client, const std::string& principalUrl) {
  DavAccount other;
  other.principalUrl = principalUrl;
  const Multistatus principal = client.Propfind(principalUrl, 0, {CalDav("calendar-home-set")});
  other.calendarHomes = HrefsProperty(principal, kCalDavNs, "calendar-home-set");
  std::set<std::string> seen;
  for (const auto& home : other.calendarHomes) ListHome(client, home, seen, other);
  other.addressBooks.clear();
  return other;
}

bool Takes(const DavCollection& calendar, const std::string& component) {
  return calendar.components.empty() ||
         std::find(calendar.components.begin(), calendar.components.end(), component) !=
             calendar.components.end();
}

const DavCollection* ChooseAddressBook(const DavAccount& account, const std::string& name) {
  if (name.empty()) return account.addressBooks.empty() ? nullptr : &account.addressBooks.front();
  const std::string wanted = Lower(name);
  for (const auto& book : account.addressBooks) {
    const std::string path = DavClient::PathKey(book.url, book.url);
    const std::string segment = path.substr(path.rfind('/') + 1);
    if (Lower(book.displayName) == wanted || Lower(segment) == wanted) return &book;
  }
  return nullptr;
}

std::string NewCollectionUrl(const std::string& home, const std::string& name,
                             const std::vector<std::string>& taken) {
  // Letters and digits of the name in lower case, other characters as "-".
  std::string slug;
  for (unsigned char c : name) {
    if (std::isalnum(c) != 0 && c < 0x80) {
      slug += static_cast<char>(std::tolower(c));
    } else if (!slug.empty() && slug.back() != '-') {
      slug += '-';
    }
  }
  while (!slug.empty() && slug.back() == '-') slug.pop_back();
  if (slug.empty()) slug = "contacts";
  std::set<std::string> keys;
  for (const auto& url : taken) keys.insert(Lower(DavClient::PathKey(home, url)));
  std::string base = home;
  if (base.empty() || base.back() != '/') base += '/';
  for (int n = 1;; ++n) {
    const std::string segment = n == 1 ? slug : slug + "-" + std::to_string(n);
    const std::string candidate = DavClient::Resolve(base, segment + "/");
    if (!keys.count(Lower(DavClient::PathKey(home, candidate)))) return candidate;
  }
}

}  // namespace velklk::server
