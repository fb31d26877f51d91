// WebDAV XML read by namespace URI. Servers choose their own prefixes (one
// writes <D:href>, another <href xmlns="DAV:">, a third <ns0:href>), so an
// element is known by its namespace URI and local name only.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velklk::server {

inline constexpr std::string_view kDavNs = "DAV:";
inline constexpr std::string_view kCardDavNs = "urn:ietf:params:xml:ns:carddav";
inline constexpr std::string_view kCalDavNs = "urn:ietf:params:xml:ns:caldav";
inline constexpr std::string_view kCalendarServerNs = "http://calendarserver.org/ns/";

struct XmlName {
  std::string ns;     // the namespace URI ("" when the element has none)
  std::string local;  // the name without prefix
  bool Is(std::string_view n, std::string_view l) const { return ns == n && local == l; }
  bool operator==(const XmlName&) const = default;
};

// An element with its namespace resolved; nothing of the prefixes is kept.
struct XmlElement {
  XmlName name;
  // The character data (text and CDATA) directly inside the element, joined.
  std::string text;
  // Attributes by local name (their prefixes dropped).
  std::vector<std::pair<std::string, std::string>> attributes;
  std::vector<XmlElement> children;

  // The first child of that name, or null.
  const XmlElement* Child(std::string_view ns, std::string_view local) const;
  std::vector<const XmlElement*> Children(std::string_view ns, std::string_view local) const;
  std::string Attribute(std::string_view local) const;  // "" when missing
  // The texts of the DAV:href children, white space trimmed.
  std::vector<std::string> Hrefs() const;
};

// Parses an XML document into its root element. Raises DavError (BadAnswer)
// for text that is not well-formed XML, a prefix that is not declared, or
// nesting deeper than 64 levels. Only the five predefined entities are
// expanded: a document type cannot make the text grow.
XmlElement ParseXml(std::string_view text);

// One DAV:response of a multistatus answer.
struct DavResponse {
  std::string href;  // as the server wrote it (trimmed)
  // The response's own status (a member removed since a sync token answers
  // 404 this way); 0 when the response carries property statuses instead.
  int status = 0;
  std::vector<XmlElement> properties;  // the properties found (status 2xx)
  std::vector<XmlName> missing;        // asked for, not given (another status)

  const XmlElement* Property(std::string_view ns, std::string_view local) const;
};

struct Multistatus {
  std::string url;  // the URL that answered, for resolving relative hrefs
  std::vector<DavResponse> responses;
  std::string syncToken;  // of a sync-collection report; "" otherwise
};

// Parses a DAV:multistatus body. Raises DavError (BadAnswer) when the text is
// not XML or its root is not DAV:multistatus, or a response lacks its href.
Multistatus ParseMultistatus(std::string_view body);

// The status of "HTTP/1.1 404 Not Found"; 0 when it cannot be read.
int ParseStatusLine(std::string_view line);

// True when the body is a DAV:error naming that precondition (for example
// "valid-sync-token"); false for anything else, XML or not.
bool NamesPrecondition(std::string_view body, std::string_view ns, std::string_view local);

}  // namespace velklk::server
