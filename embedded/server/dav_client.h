// A small WebDAV client for CardDAV and CalDAV servers on libcurl: one
// connection handle per client (a pass makes one client, so its requests
// reuse the connection where the server keeps it open), requests with
// conditions, PROPFIND, the reports of RFC 6578 (sync-collection) and the
// multiget reports, PUT, DELETE and extended MKCOL.
//
// What the client refuses, before any byte is sent: a URL that is not http
// or https, and plain http to any host but a loopback address (credentials
// and contacts travel only encrypted or inside the machine). HTTPS verifies
// the server's certificate against the system's store, or the CA file of
// the settings. Redirects are followed up to a bound, each new URL checked
// as the first; one that comes back to a URL already asked is a loop.
//
// Every failure raises DavError: the kind tells what happened, the status is
// the HTTP status when the server answered. Answers are untrusted: a body
// above DavSettings::maxResponseBytes is refused, not read on.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "server/dav_error.h"
#include "server/multistatus.h"

namespace velklk::server {

struct DavSettings {
  std::string user;      // empty: no authentication
  std::string password;  // sent with HTTP basic authentication
  std::string caFile;    // empty: the system's certificate store
  long connectTimeoutMs = 15000;
  // A request fails as timed out when no byte moved for this long, and in
  // any case after totalTimeoutMs.
  long stallTimeoutMs = 30000;
  long totalTimeoutMs = 600000;
  int maxRedirects = 5;
  std::size_t maxResponseBytes = std::size_t{64} << 20;
};

struct HttpAnswer {
  int status = 0;
  std::string url;  // the URL that answered (after redirects)
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;  // names in lower case
  std::string redirect;  // a redirect's target as an absolute URL, else ""

  // The value of a header by lower-case name; "" when missing.
  std::string Header(const std::string& lowerName) const;
};

// A condition on a write: none, "the resource is still at this ETag"
// (If-Match) or "no resource is there yet" (If-None-Match: *).
struct Precondition {
  enum class Kind { None, IfMatch, IfNoneMatch };
  Kind kind = Kind::None;
  std::string etag;

  static Precondition Matching(std::string etag) { return {Kind::IfMatch, std::move(etag)}; }
  static Precondition Absent() { return {Kind::IfNoneMatch, "*"}; }
};

// A resource with its content, as a multiget brings it.
struct DavResource {
  std::string href;  // as the server wrote it
  std::string etag;
  std::string data;  // the vCard or iCalendar text
};

struct MultigetResult {
  std::vector<DavResource> found;
  // Hrefs asked for that the server answered with a status (404...) or left
  // out altogether.
  std::vector<std::string> missing;
};

// The changes of a collection since a sync token.
struct SyncChanges {
  std::vector<std::pair<std::string, std::string>> changed;  // href, ETag
  std::vector<std::string> removed;                          // hrefs
  std::string token;                                         // the token to ask from next time
  // The server answered only part of the changes (507 on the collection):
  // ask again from `token` for the rest.
  bool truncated = false;
};

class DavClient {
 public:
  explicit DavClient(DavSettings settings);
  ~DavClient();
  DavClient(const DavClient&) = delete;
  DavClient& operator=(const DavClient&) = delete;

  // Sends one request, following redirects, and returns the answer whatever
  // its status. `headers` are "Name: value" lines. Raises DavError for a URL
  // refused, a transport failure (Connection, Timeout, Tls), a redirect loop
  // and an answer above the size bound.
  HttpAnswer Send(const std::string& method, const std::string& url,
                  const std::vector<std::string>& headers = {}, const std::string& body = "");

  // PROPFIND with Depth 0 or 1 asking for the named properties. Raises
  // DavError for an answer that is not a 207 multistatus (NotDav when the
  // server does not speak WebDAV there).
  Multistatus Propfind(const std::string& url, int depth, const std::vector<XmlName>& properties);

  // The sync-collection report (RFC 6578) from `token` ("" for the initial
  // listing), asking for getetag. Raises DavError InvalidSyncToken when the
  // server no longer accepts the token: the caller then lists in full.
  SyncChanges SyncCollection(const std::string& collectionUrl, const std::string& token);

  // Fetches the resources in pages of `pageSize` hrefs with
  // addressbook-multiget (or calendar-multiget when `calendar`). Hrefs are
  // those of the collection's listing (paths or absolute URLs).
  MultigetResult Multiget(const std::string& collectionUrl, const std::vector<std::string>& hrefs,
                          bool calendar = false, std::size_t pageSize = 100);

  // PUT of a resource under the condition; returns the new ETag, "" when the
  // server did not tell it. Raises DavError PreconditionFailed when the
  // condition does not hold (412).
  std::string Put(const std::string& url, const std::string& body, const std::string& contentType,
                  const Precondition& condition);
  // DELETE under the condition; false when the resource was gone already
  // (404), which counts as done.
  bool Delete(const std::string& url, const Precondition& condition);

  // Creates an address book at `url` (extended MKCOL, RFC 5689) with a
  // display name. Raises DavError when the server refuses it (an existing
  // URL included).
  void MakeAddressBook(const std::string& url, const std::string& displayName);
  // Creates a calendar collection at `url` (MKCALENDAR, RFC 4791) that takes
  // the components named ("VEVENT", "VTODO"). Raises as MakeAddressBook.
  void MakeCalendar(const std::string& url, const std::string& displayName,
                    const std::vector<std::string>& components);

  // An href of an answer as an absolute URL, resolved against `base`.
  static std::string Resolve(const std::string& base, const std::string& href);
  // The decoded path of an href or URL without a trailing "/", for
  // comparing hrefs that servers write differently
  // ("/a%40b/x/" and "http://h/a@b/x" are the same).
  static std::string PathKey(const std::string& base, const std::string& href);
  // Raises DavError Refused for a URL this client does not send to.
  static void CheckUrl(const std::string& url);

  // The requests sent so far (redirects count), for measuring passes.
  int RequestCount() const { return requests_; }

 private:
  // Sends a request that makes a collection ("MKCOL", "MKCALENDAR") and
  // raises for an answer other than 200/201; `what` names it for the user.
  void MakeCollection(const std::string& method, const std::string& url, const std::string& body,
                      const std::string& what);
  struct Handle;
  HttpAnswer SendOnce(const std::string& method, const std::string& url,
                      const std::vector<std::string>& headers, const std::string& body);
  Multistatus ExpectMultistatus(const HttpAnswer& answer, const std::string& what);

  DavSettings settings_;
  std::unique_ptr<Handle> handle_;
  int requests_ = 0;
};

// Raises the DavError that an HTTP status stands for ("what" names the
// request for the message: "PROPFIND http://..."). For a status that is not
// an error it raises Http all the same: callers use it for answers they
// cannot take.
[[noreturn]] void RaiseForStatus(const HttpAnswer& answer, const std::string& what);

}  // namespace velklk::server
