#include "server/multistatus.h"

#include <pugixml.hpp>

#include "server/dav_error.h"

namespace velklk::server {
namespace {

constexpr int kMaxDepth = 64;

[[noreturn]] void Bad(const std::string& what) {
  throw DavError(DavError::Kind::BadAnswer, 0,
                 "the server's answer is not valid WebDAV XML: " + what);
}

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

// The namespace declarations in force, innermost last; "" is the default
// namespace.
using Scope = std::vector<std::pair<std::string, std::string>>;

std::string Lookup(const Scope& scope, std::string_view prefix) {
  for (auto it = scope.rbegin(); it != scope.rend(); ++it)
    if (it->first == prefix) return it->second;
  if (prefix.empty()) return {};
  if (prefix == "xml") return "http://www.w3.org/XML/1998/namespace";
  Bad("the prefix '" + std::string(prefix) + "' is not declared");
}

XmlElement Convert(const pugi::xml_node& node, Scope& scope, int depth) {
  if (depth > kMaxDepth) Bad("elements nest deeper than " + std::to_string(kMaxDepth) + " levels");
  const std::size_t scopeSize = scope.size();
  for (const pugi::xml_attribute& a : node.attributes()) {
    const std::string_view name = a.name();
    if (name == "xmlns") {
      scope.emplace_back("", a.value());
    } else if (name.substr(0, 6) == "xmlns:") {
      scope.emplace_back(std::string(name.substr(6)), a.value());
    }
  }
  XmlElement element;
  const std::string_view qualified = node.name();
  const auto colon = qualified.find(':');
  if (colon == std::string_view::npos) {
    element.name = {Lookup(scope, ""), std::string(qualified)};
  } else {
    element.name = {Lookup(scope, qualified.substr(0, colon)),
                    std::string(qualified.substr(colon + 1))};
  }
  for (const pugi::xml_attribute& a : node.attributes()) {
    const std::string_view name = a.name();
    if (name == "xmlns" || name.substr(0, 6) == "xmlns:") continue;
    const auto c = name.find(':');
    element.attributes.emplace_back(
        std::string(c == std::string_view::npos ? name : name.substr(c + 1)), a.value());
  }
  for (const pugi::xml_node& child : node.children()) {
    switch (child.type()) {
      case pugi::node_element:
        element.children.push_back(Convert(child, scope, depth + 1));
        break;
      case pugi::node_pcdata:
      case pugi::node_cdata:
        element.text += child.value();
        break;
      default:
        break;
    }
  }
  scope.resize(scopeSize);
  return element;
}

}  // namespace

const XmlElement* XmlElement::Child(std::string_view ns, std::string_view local) const {
  for (const auto& child : children)
    if (child.name.Is(ns, local)) return &child;
  return nullptr;
}

std::vector<const XmlElement*> XmlElement::Children(std::string_view ns,
                                                    std::string_view local) const {
  std::vector<const XmlElement*> found;
  for (const auto& child : children)
    if (child.name.Is(ns, local)) found.push_back(&child);
  return found;
}

std::string XmlElement::Attribute(std::string_view local) const {
  for (const auto& [name, value] : attributes)
    if (name == local) return value;
  return {};
}

std::vector<std::string> XmlElement::Hrefs() const {
  std::vector<std::string> hrefs;
  for (const XmlElement* href : Children(kDavNs, "href")) {
    const std::string_view text = Trim(href->text);
    if (!text.empty()) hrefs.emplace_back(text);
  }
  return hrefs;
}

const XmlElement* DavResponse::Property(std::string_view ns, std::string_view local) const {
  for (const auto& p : properties)
    if (p.name.Is(ns, local)) return &p;
  return nullptr;
}

XmlElement ParseXml(std::string_view text) {
  pugi::xml_document document;
  const pugi::xml_parse_result result =
      document.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_auto);
  if (!result) {
    Bad(std::string(result.description()) + " at byte " + std::to_string(result.offset));
  }
  const pugi::xml_node root = document.document_element();
  if (!root) Bad("the document has no element");
  Scope scope;
  return Convert(root, scope, 0);
}

int ParseStatusLine(std::string_view line) {
  line = Trim(line);
  // "HTTP/1.1 200 OK": the three digits after the first space.
  const auto space = line.find(' ');
  if (line.substr(0, 5) != "HTTP/" || space == std::string_view::npos || line.size() < space + 4)
    return 0;
  int status = 0;
  for (std::size_t i = space + 1; i < space + 4; ++i) {
    if (line[i] < '0' || line[i] > '9') return 0;
    status = status * 10 + (line[i] - '0');
  }
  return status;
}

Multistatus ParseMultistatus(std::string_view body) {
  const XmlElement root = ParseXml(body);
  if (!root.name.Is(kDavNs, "multistatus")) {
    Bad("expected a DAV:multistatus, got '" + root.name.local + "' in '" + root.name.ns + "'");
  }
  Multistatus result;
  if (const XmlElement* token = root.Child(kDavNs, "sync-token"))
    result.syncToken = std::string(Trim(token->text));
  for (const XmlElement* response : root.Children(kDavNs, "response")) {
    const std::vector<std::string> hrefs = response->Hrefs();
    if (hrefs.empty()) Bad("a response has no href");
    int status = 0;
    if (const XmlElement* s = response->Child(kDavNs, "status")) status = ParseStatusLine(s->text);
    DavResponse entry;
    entry.href = hrefs.front();
    entry.status = status;
    for (const XmlElement* propstat : response->Children(kDavNs, "propstat")) {
      const XmlElement* prop = propstat->Child(kDavNs, "prop");
      if (prop == nullptr) continue;
      const XmlElement* s = propstat->Child(kDavNs, "status");
      const int propStatus = s != nullptr ? ParseStatusLine(s->text) : 0;
      for (const XmlElement& property : prop->children) {
        if (propStatus >= 200 && propStatus < 300) {
          entry.properties.push_back(property);
        } else {
          entry.missing.push_back(property.name);
        }
      }
    }
    result.responses.push_back(std::move(entry));
    // A response may name several resources with one status.
    for (std::size_t i = 1; i < hrefs.size(); ++i) {
      DavResponse more;
      more.href = hrefs[i];
      more.status = status;
      result.responses.push_back(std::move(more));
    }
  }
  return result;
}

bool NamesPrecondition(std::string_view body, std::string_view ns, std::string_view local) {
  try {
    const XmlElement root = ParseXml(body);
    return root.name.Is(kDavNs, "error") && root.Child(ns, local) != nullptr;
  } catch (const DavError&) {
    return false;
  }
}

}  // namespace velklk::server
