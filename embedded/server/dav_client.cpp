#include "server/dav_client.h"

#include <arpa/inet.h>
#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>

namespace velklk::server {
namespace {

using Kind = DavError::Kind;

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string XmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// A parsed URL (libcurl's URL API), freed on scope exit.
class Url {
 public:
  Url() : url_(curl_url()) {}
  ~Url() { curl_url_cleanup(url_); }
  Url(const Url&) = delete;
  Url& operator=(const Url&) = delete;
  bool Set(const std::string& text) {
    return curl_url_set(url_, CURLUPART_URL, text.c_str(), 0) == CURLUE_OK;
  }
  void Clear(CURLUPart part) { curl_url_set(url_, part, nullptr, 0); }
  // The part, or nothing when the URL lacks it.
  std::optional<std::string> Get(CURLUPart part, unsigned flags = 0) const {
    char* value = nullptr;
    if (curl_url_get(url_, part, &value, flags) != CURLUE_OK) return std::nullopt;
    std::string text = value;
    curl_free(value);
    return text;
  }

 private:
  CURLU* url_;
};

bool IsLoopback(std::string host) {
  if (host.size() > 2 && host.front() == '[' && host.back() == ']')
    host = host.substr(1, host.size() - 2);
  if (Lower(host) == "localhost") return true;
  in_addr v4{};
  if (inet_pton(AF_INET, host.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
  in6_addr v6{};
  if (inet_pton(AF_INET6, host.c_str(), &v6) == 1) return IN6_IS_ADDR_LOOPBACK(&v6);
  return false;
}

bool IsRedirect(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// What a request writes into while it runs.
struct Sink {
  HttpAnswer* answer;
  std::size_t maxBody;
  std::size_t headerBytes = 0;
  bool tooLarge = false;
};

constexpr std::size_t kMaxHeaderBytes = 256 * 1024;

std::size_t WriteBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto* sink = static_cast<Sink*>(user);
  const std::size_t n = size * count;
  if (sink->answer->body.size() + n > sink->maxBody) {
    sink->tooLarge = true;
    return 0;  // ends the transfer with CURLE_WRITE_ERROR
  }
  sink->answer->body.append(data, n);
  return n;
}

std::size_t WriteHeader(char* data, std::size_t size, std::size_t count, void* user) {
  auto* sink = static_cast<Sink*>(user);
  const std::size_t n = size * count;
  sink->headerBytes += n;
  if (sink->headerBytes > kMaxHeaderBytes) {
    sink->tooLarge = true;
    return 0;
  }
  std::string_view line(data, n);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  // A new status line (after "100 Continue") starts the headers anew.
  if (line.substr(0, 5) == "HTTP/") {
    sink->answer->headers.clear();
    return n;
  }
  const auto colon = line.find(':');
  if (colon == std::string_view::npos) return n;
  std::string_view value = line.substr(colon + 1);
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
  sink->answer->headers.emplace_back(Lower(std::string(line.substr(0, colon))), std::string(value));
  return n;
}

bool IsTlsFailure(CURLcode code) {
  switch (code) {
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_USE_SSL_FAILED:
      return true;
    default:
      return false;
  }
}

std::string PropfindBody(const std::vector<XmlName>& properties) {
  std::string body = R"(<?xml version="1.0" encoding="utf-8"?><d:propfind xmlns:d="DAV:"><d:prop>)";
  for (const auto& p : properties)
    body += "<x:" + p.local + " xmlns:x=\"" + XmlEscape(p.ns) + "\"/>";
  return body + "</d:prop></d:propfind>";
}

std::string EtagOf(const DavResponse& response) {
  const XmlElement* etag = response.Property(kDavNs, "getetag");
  if (etag == nullptr) return {};
  std::string text = etag->text;
  const auto first = text.find_first_not_of(" \t\r\n");
  const auto last = text.find_last_not_of(" \t\r\n");
  return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

std::string ConditionHeader(const Precondition& condition) {
  switch (condition.kind) {
    case Precondition::Kind::IfMatch:
      return "If-Match: " + condition.etag;
    case Precondition::Kind::IfNoneMatch:
      return "If-None-Match: *";
    case Precondition::Kind::None:
      break;
  }
  return {};
}

}  // namespace

std::string HttpAnswer::Header(const std::string& lowerName) const {
  for (const auto& [name, value] : headers)
    if (name == lowerName) return value;
  return {};
}

void RaiseForStatus(const HttpAnswer& answer, const std::string& what) {
  const int s = answer.status;
  const std::string code = " (HTTP " + std::to_string(s) + ")";
  if (s == 401)
    throw DavError(Kind::Unauthorized, s,
                   what + ": the server refused the user name or password" + code);
  if ((s == 403 || s == 409) && NamesPrecondition(answer.body, kDavNs, "valid-sync-token"))
    throw DavError(Kind::InvalidSyncToken, s,
                   what + ": the server no longer knows the sync token" + code);
  if (s == 403)
    throw DavError(Kind::Forbidden, s, what + ": the account has no rights for this" + code);
  if (s == 404) throw DavError(Kind::NotFound, s, what + ": not found" + code);
  if (s == 405 || s == 501)
    throw DavError(Kind::NotDav, s, what + ": the server does not speak WebDAV there" + code);
  if (s == 412)
    throw DavError(Kind::PreconditionFailed, s,
                   what + ": the resource changed on the server meanwhile" + code);
  if (s >= 500 && s < 600) throw DavError(Kind::Server, s, what + ": the server failed" + code);
  if (IsRedirect(s)) throw DavError(Kind::Http, s, what + ": a redirect without a target" + code);
  throw DavError(Kind::Http, s, what + ": unexpected answer" + code);
}

struct DavClient::Handle {
  CURL* curl = nullptr;
  char error[CURL_ERROR_SIZE] = {};
  ~Handle() {
    if (curl != nullptr) curl_easy_cleanup(curl);
  }
};

DavClient::DavClient(DavSettings settings)
    : settings_(std::move(settings)), handle_(std::make_unique<Handle>()) {
  GlobalInit();
  handle_->curl = curl_easy_init();
  if (handle_->curl == nullptr)
    throw DavError(Kind::Connection, 0, "cannot set up an HTTP connection handle");
}

DavClient::~DavClient() = default;

void DavClient::CheckUrl(const std::string& url) {
  Url parsed;
  if (!parsed.Set(url)) throw DavError(Kind::Refused, 0, "'" + url + "' is not a URL");
  const std::string scheme = Lower(parsed.Get(CURLUPART_SCHEME).value_or(""));
  if (scheme != "http" && scheme != "https")
    throw DavError(Kind::Refused, 0, "'" + url + "': only http and https URLs are served");
  if (parsed.Get(CURLUPART_USER) || parsed.Get(CURLUPART_PASSWORD))
    throw DavError(Kind::Refused, 0,
                   "'" + url + "' holds a user name or password: give them apart, not in the URL");
  if (scheme == "http" && !IsLoopback(parsed.Get(CURLUPART_HOST).value_or("")))
    throw DavError(Kind::Refused, 0,
                   "'" + url +
                       "': plain http is refused (the password and the contacts would travel "
                       "unencrypted); use https, or http only to this machine (127.0.0.1, ::1, "
                       "localhost)");
}

std::string DavClient::Resolve(const std::string& base, const std::string& href) {
  Url url;
  if (!url.Set(base) || !url.Set(href))
    throw DavError(Kind::BadAnswer, 0,
                   "cannot read the href '" + href + "' against '" + base + "'");
  return url.Get(CURLUPART_URL).value_or(href);
}

std::string DavClient::PathKey(const std::string& base, const std::string& href) {
  Url url;
  if (!url.Set(base) || !url.Set(href))
    throw DavError(Kind::BadAnswer, 0,
                   "cannot read the href '" + href + "' against '" + base + "'");
  std::string path = url.Get(CURLUPART_PATH, CURLU_URLDECODE).value_or("/");
  while (!path.empty() && path.back() == '/') path.pop_back();
  return path;
}

HttpAnswer DavClient::SendOnce(const std::string& method, const std::string& url,
                               const std::vector<std::string>& headers, const std::string& body) {
  CURL* curl = handle_->curl;
  // A reset keeps the open connections: the next request may reuse one.
  curl_easy_reset(curl);
  HttpAnswer answer;
  Sink sink{&answer, settings_.maxResponseBytes};
  handle_->error[0] = '\0';
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, handle_->error);
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, settings_.connectTimeoutMs);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, settings_.totalTimeoutMs);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, std::max(1L, settings_.stallTimeoutMs / 1000));
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!settings_.caFile.empty()) curl_easy_setopt(curl, CURLOPT_CAINFO, settings_.caFile.c_str());
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "velKLK");
  curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE,
                   static_cast<curl_off_t>(settings_.maxResponseBytes));
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, WriteHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &sink);
  if (!settings_.user.empty()) {
    curl_easy_setopt(curl, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
    curl_easy_setopt(curl, CURLOPT_USERNAME, settings_.user.c_str());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, settings_.password.c_str());
  }
  if (method == "GET") {
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
  } else {
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.c_str());
    if (!body.empty() || method == "PUT") {
      curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
      curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    }
  }
  curl_slist* list = nullptr;
  // No "100 Continue" round trip before a body.
  list = curl_slist_append(list, "Expect:");
  for (const auto& header : headers) list = curl_slist_append(list, header.c_str());
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);

  ++requests_;
  const CURLcode code = curl_easy_perform(curl);
  curl_slist_free_all(list);
  const std::string detail = handle_->error[0] != '\0' ? handle_->error : curl_easy_strerror(code);
  const std::string what = method + " " + url;
  if (sink.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
    throw DavError(Kind::TooLarge, 0,
                   what + ": the answer is larger than " +
                       std::to_string(settings_.maxResponseBytes >> 20) + " MB");
  }
  switch (code) {
    case CURLE_OK:
      break;
    case CURLE_OPERATION_TIMEDOUT:
      throw DavError(Kind::Timeout, 0, what + ": no answer in time (" + detail + ")");
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
      throw DavError(Kind::Connection, 0, what + ": cannot connect (" + detail + ")");
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE:
      throw DavError(Kind::Connection, 0, what + ": the connection dropped (" + detail + ")");
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
      throw DavError(Kind::Refused, 0, what + ": " + detail);
    default:
      if (IsTlsFailure(code)) throw DavError(Kind::Tls, 0, what + ": TLS failure (" + detail + ")");
      throw DavError(Kind::Connection, 0, what + ": " + detail);
  }
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  answer.status = static_cast<int>(status);
  answer.url = url;
  if (IsRedirect(answer.status)) {
    char* target = nullptr;
    curl_easy_getinfo(curl, CURLINFO_REDIRECT_URL, &target);
    // libcurl writes the credentials of the request into the target: they
    // are no part of it (and must not reach a message).
    Url parsed;
    if (target != nullptr && parsed.Set(target)) {
      parsed.Clear(CURLUPART_USER);
      parsed.Clear(CURLUPART_PASSWORD);
      answer.redirect = parsed.Get(CURLUPART_URL).value_or("");
    }
  }
  return answer;
}

HttpAnswer DavClient::Send(const std::string& method, const std::string& url,
                           const std::vector<std::string>& headers, const std::string& body) {
  std::vector<std::string> visited;
  std::string current = url;
  for (int redirects = 0;; ++redirects) {
    CheckUrl(current);
    visited.push_back(current);
    HttpAnswer answer = SendOnce(method, current, headers, body);
    if (!IsRedirect(answer.status) || answer.redirect.empty()) return answer;
    if (std::find(visited.begin(), visited.end(), answer.redirect) != visited.end()) {
      throw DavError(Kind::RedirectLoop, answer.status,
                     method + " " + url + ": the server redirects in a loop (back to " +
                         answer.redirect + ")");
    }
    if (redirects >= settings_.maxRedirects) {
      throw DavError(Kind::RedirectLoop, answer.status,
                     method + " " + url + ": more than " + std::to_string(settings_.maxRedirects) +
                         " redirects");
    }
    current = answer.redirect;
  }
}

Multistatus DavClient::ExpectMultistatus(const HttpAnswer& answer, const std::string& what) {
  if (answer.status == 207) {
    try {
      Multistatus ms = ParseMultistatus(answer.body);
      ms.url = answer.url;
      return ms;
    } catch (const DavError& e) {
      throw DavError(e.GetKind(), 207, what + ": " + e.what());
    }
  }
  if (answer.status >= 200 && answer.status < 300) {
    throw DavError(Kind::NotDav, answer.status,
                   what + ": the server answered " + std::to_string(answer.status) +
                       " instead of a WebDAV multistatus: no CardDAV/CalDAV server there");
  }
  RaiseForStatus(answer, what);
}

Multistatus DavClient::Propfind(const std::string& url, int depth,
                                const std::vector<XmlName>& properties) {
  const HttpAnswer answer =
      Send("PROPFIND", url,
           {"Depth: " + std::to_string(depth), "Content-Type: application/xml; charset=utf-8"},
           PropfindBody(properties));
  return ExpectMultistatus(answer, "PROPFIND " + url);
}

SyncChanges DavClient::SyncCollection(const std::string& collectionUrl, const std::string& token) {
  const std::string body =
      R"(<?xml version="1.0" encoding="utf-8"?><d:sync-collection xmlns:d="DAV:">)" +
      (token.empty() ? std::string("<d:sync-token/>")
                     : "<d:sync-token>" + XmlEscape(token) + "</d:sync-token>") +
      "<d:sync-level>1</d:sync-level><d:prop><d:getetag/></d:prop></d:sync-collection>";
  const HttpAnswer answer = Send(
      "REPORT", collectionUrl, {"Depth: 0", "Content-Type: application/xml; charset=utf-8"}, body);
  const Multistatus ms = ExpectMultistatus(answer, "REPORT sync-collection " + collectionUrl);
  SyncChanges changes;
  changes.token = ms.syncToken;
  const std::string self = PathKey(collectionUrl, collectionUrl);
  for (const auto& response : ms.responses) {
    if (PathKey(collectionUrl, response.href) == self) {
      if (response.status == 507) changes.truncated = true;
      continue;
    }
    if (response.status == 404) {
      changes.removed.push_back(response.href);
    } else if (const std::string etag = EtagOf(response); !etag.empty()) {
      changes.changed.emplace_back(response.href, etag);
    }
  }
  if (changes.token.empty()) {
    throw DavError(Kind::BadAnswer, 207,
                   "REPORT sync-collection " + collectionUrl + ": the answer has no sync token");
  }
  return changes;
}

MultigetResult DavClient::Multiget(const std::string& collectionUrl,
                                   const std::vector<std::string>& hrefs, bool calendar,
                                   std::size_t pageSize) {
  const std::string report = calendar ? "calendar-multiget" : "addressbook-multiget";
  const std::string dataName = calendar ? "calendar-data" : "address-data";
  const std::string_view ns = calendar ? kCalDavNs : kCardDavNs;
  MultigetResult result;
  pageSize = std::max<std::size_t>(pageSize, 1);
  for (std::size_t start = 0; start < hrefs.size(); start += pageSize) {
    const std::size_t end = std::min(hrefs.size(), start + pageSize);
    std::string body = R"(<?xml version="1.0" encoding="utf-8"?><c:)" + report +
                       R"( xmlns:d="DAV:" xmlns:c=")" + std::string(ns) +
                       R"("><d:prop><d:getetag/><c:)" + dataName + "/></d:prop>";
    // The hrefs asked for, by the key their answers are matched with.
    std::map<std::string, std::string> asked;
    for (std::size_t i = start; i < end; ++i) {
      body += "<d:href>" + XmlEscape(hrefs[i]) + "</d:href>";
      asked.emplace(PathKey(collectionUrl, hrefs[i]), hrefs[i]);
    }
    body += "</c:" + report + ">";
    const HttpAnswer answer =
        Send("REPORT", collectionUrl, {"Depth: 1", "Content-Type: application/xml; charset=utf-8"},
             body);
    const Multistatus ms = ExpectMultistatus(answer, "REPORT " + report + " " + collectionUrl);
    for (const auto& response : ms.responses) {
      const auto found = asked.find(PathKey(collectionUrl, response.href));
      if (found == asked.end()) continue;  // not asked for: ignored
      const XmlElement* data = response.Property(ns, dataName);
      if (data == nullptr || (response.status != 0 && response.status != 200)) continue;
      result.found.push_back({found->second, EtagOf(response), data->text});
      asked.erase(found);
    }
    for (const auto& [key, href] : asked) result.missing.push_back(href);
  }
  return result;
}

std::string DavClient::Put(const std::string& url, const std::string& body,
                           const std::string& contentType, const Precondition& condition) {
  std::vector<std::string> headers{"Content-Type: " + contentType};
  if (condition.kind != Precondition::Kind::None) headers.push_back(ConditionHeader(condition));
  const HttpAnswer answer = Send("PUT", url, headers, body);
  if (answer.status == 200 || answer.status == 201 || answer.status == 204)
    return answer.Header("etag");
  RaiseForStatus(answer, "PUT " + url);
}

bool DavClient::Delete(const std::string& url, const Precondition& condition) {
  std::vector<std::string> headers;
  if (condition.kind != Precondition::Kind::None) headers.push_back(ConditionHeader(condition));
  const HttpAnswer answer = Send("DELETE", url, headers);
  if (answer.status == 200 || answer.status == 202 || answer.status == 204) return true;
  if (answer.status == 404) return false;
  RaiseForStatus(answer, "DELETE " + url);
}

void DavClient::MakeAddressBook(const std::string& url, const std::string& displayName) {
  const std::string body =
      R"(<?xml version="1.0" encoding="utf-8"?><d:mkcol xmlns:d="DAV:" xmlns:c=")" +
      std::string(kCardDavNs) +
      R"("><d:set><d:prop><d:resourcetype><d:collection/><c:addressbook/></d:resourcetype><d:displayname>)" +
      XmlEscape(displayName) + "</d:displayname></d:prop></d:set></d:mkcol>";
  MakeCollection("MKCOL", url, body, "an address book");
}

void DavClient::MakeCalendar(const std::string& url, const std::string& displayName,
                             const std::vector<std::string>& components) {
  std::string set;
  for (const auto& component : components) set += "<c:comp name=\"" + XmlEscape(component) + "\"/>";
  const std::string body =
      R"(<?xml version="1.0" encoding="utf-8"?><c:mkcalendar xmlns:d="DAV:" xmlns:c=")" +
      std::string(kCalDavNs) + R"("><d:set><d:prop><d:displayname>)" + XmlEscape(displayName) +
      "</d:displayname><c:supported-calendar-component-set>" + set +
      "</c:supported-calendar-component-set></d:prop></d:set></c:mkcalendar>";
  MakeCollection("MKCALENDAR", url, body, "a calendar");
}

void DavClient::MakeCollection(const std::string& method, const std::string& url,
                               const std::string& body, const std::string& what) {
  const HttpAnswer answer =
      Send(method, url, {"Content-Type: application/xml; charset=utf-8"}, body);
  if (answer.status == 201 || answer.status == 200) return;
  if (answer.status == 405)
    throw DavError(Kind::Forbidden, 405,
                   method + " " + url + ": the server does not make " + what + " there (HTTP 405)");
  RaiseForStatus(answer, method + " " + url);
}

}  // namespace velklk::server
