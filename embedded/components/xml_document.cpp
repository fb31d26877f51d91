#include "components/xml_document.h"

#include <algorithm>
#include <pugixml.hpp>
#include <string_view>
#include <vector>

#include "platform/automation_error.h"

namespace velklk {
namespace {

// Nodes share the document they belong to, so a node stays valid after its
// document object is gone or has loaded another text.
class PugiNode final : public XmlNode {
 public:
  PugiNode(std::shared_ptr<const pugi::xml_document> document, pugi::xml_node node)
      : document_(std::move(document)), node_(node) {}

  std::string NodeName() const override {
    switch (node_.type()) {
      case pugi::node_element:
      case pugi::node_pi:
        return node_.name();
      case pugi::node_pcdata:
        return "#text";
      case pugi::node_cdata:
        return "#cdata-section";
      case pugi::node_comment:
        return "#comment";
      case pugi::node_document:
        return "#document";
      case pugi::node_declaration:
        return "xml";
      case pugi::node_doctype:
        return node_.value();
      case pugi::node_null:
        break;
    }
    return {};
  }

  std::shared_ptr<XmlNode> SelectSingleNode(const std::string& name) const override {
    return Wrap(document_, node_.child(name.c_str()));
  }

  int ChildCount() const override { return static_cast<int>(Children().size()); }

  std::shared_ptr<XmlNode> Child(int index) const override {
    const auto& children = Children();
    if (index < 0 || static_cast<std::size_t>(index) >= children.size()) return nullptr;
    return Wrap(document_, children[static_cast<std::size_t>(index)]);
  }

  std::optional<std::string> Attribute(const std::string& name) const override {
    const pugi::xml_attribute attribute = node_.attribute(name.c_str());
    if (!attribute) return std::nullopt;
    return std::string(attribute.value());
  }

  static std::shared_ptr<XmlNode> Wrap(const std::shared_ptr<const pugi::xml_document>& document,
                                       pugi::xml_node node) {
    if (!node) return nullptr;
    return std::make_shared<PugiNode>(document, node);
  }

 private:
  // Index access walks the sibling list once and keeps it.
  const std::vector<pugi::xml_node>& Children() const {
    if (!childrenRead_) {
      for (pugi::xml_node child : node_.children()) children_.push_back(child);
      childrenRead_ = true;
    }
    return children_;
  }

  std::shared_ptr<const pugi::xml_document> document_;
  pugi::xml_node node_;
  mutable bool childrenRead_ = false;
  mutable std::vector<pugi::xml_node> children_;
};

// Checks pugixml leaves to the caller: a document has exactly one element and
// no text at its top, and no element names an attribute twice.
bool WellFormed(const pugi::xml_document& document) {
  int elements = 0;
  for (pugi::xml_node child : document.children()) {
    if (child.type() == pugi::node_element) ++elements;
    if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) return false;
  }
  if (elements != 1) return false;
  std::vector<pugi::xml_node> pending{document.document_element()};
  while (!pending.empty()) {
    const pugi::xml_node node = pending.back();
    pending.pop_back();
    std::vector<std::string_view> names;
    for (pugi::xml_attribute a : node.attributes()) names.emplace_back(a.name());
    std::sort(names.begin(), names.end());
    if (std::adjacent_find(names.begin(), names.end()) != names.end()) return false;
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
      if (child.type() == pugi::node_element) pending.push_back(child);
    }
  }
  return true;
}

class PugiDocument final : public XmlDocument {
 public:
  bool LoadXml(const std::string& text) override {
    auto document = std::make_shared<pugi::xml_document>();
    const unsigned options = pugi::parse_default | pugi::parse_comments | pugi::parse_pi |
                             pugi::parse_declaration | pugi::parse_doctype |
                             pugi::parse_fragment;  // keeps text at the top to refuse it
    const pugi::xml_parse_result result =
        document->load_buffer(text.data(), text.size(), options, pugi::encoding_utf8);
    if (!result || !WellFormed(*document)) {
      document_.reset();
      return false;
    }
    document_ = std::move(document);
    return true;
  }

  std::shared_ptr<XmlNode> DocumentElement() const override {
    if (!document_) return nullptr;
    return PugiNode::Wrap(document_, document_->document_element());
  }

  std::shared_ptr<XmlNode> SelectSingleNode(const std::string& name) const override {
    if (!document_) return nullptr;
    return PugiNode::Wrap(document_, document_->child(name.c_str()));
  }

 private:
  std::shared_ptr<const pugi::xml_document> document_;
};

}  // namespace

std::unique_ptr<XmlDocument> PugiXmlFactory::CreateDocument() {
  return std::make_unique<PugiDocument>();
}

std::unique_ptr<XmlDocument> MissingXmlFactory::CreateDocument() {
  throw AutomationError(err::kClassNotRegistered, "XmlFactory",
                        "Class not registered: the XML parser is not installed");
}

}  // namespace velklk
