// The XML document component on pugixml.
#pragma once

#include <memory>

#include "platform/components.h"

namespace velklk {

class PugiXmlFactory final : public XmlFactory {
 public:
  std::unique_ptr<XmlDocument> CreateDocument() override;
};

// A factory whose parser is not installed: CreateDocument raises 0x80040154.
class MissingXmlFactory final : public XmlFactory {
 public:
  std::unique_ptr<XmlDocument> CreateDocument() override;
};

}  // namespace velklk
