// The small components the system creates: the XML document of the user
// table settings, the file system of the log, the error-text component and
// the gender component.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/export.h"

namespace velklk {

class VELKLK_API XmlNode {
 public:
  virtual ~XmlNode() = default;
  virtual std::string NodeName() const = 0;
  // The first child element of that name, or nothing.
  virtual std::shared_ptr<XmlNode> SelectSingleNode(const std::string& name) const = 0;
  virtual int ChildCount() const = 0;
  virtual std::shared_ptr<XmlNode> Child(int index) const = 0;  // 0-based
  // Nothing when the attribute is missing; an empty text when it is empty.
  virtual std::optional<std::string> Attribute(const std::string& name) const = 0;
};

class VELKLK_API XmlDocument {
 public:
  virtual ~XmlDocument() = default;
  // False when the text is not well-formed XML.
  virtual bool LoadXml(const std::string& text) = 0;
  virtual std::shared_ptr<XmlNode> DocumentElement() const = 0;
  // The child element of that name at the top of the document, that is the
  // document element when the names agree, or nothing; nothing before a
  // successful load.
  virtual std::shared_ptr<XmlNode> SelectSingleNode(const std::string& name) const {
    auto root = DocumentElement();
    return root && root->NodeName() == name ? root : nullptr;
  }
};

class VELKLK_API XmlFactory {
 public:
  virtual ~XmlFactory() = default;
  virtual std::unique_ptr<XmlDocument> CreateDocument() = 0;
};

// File services of the log. Paths are UTF-8; text written to files is
// converted to the Windows-1252 code page, characters it lacks become "?".
class VELKLK_API FileSystem {
 public:
  virtual ~FileSystem() = default;
  virtual bool FolderExists(const std::string& path) const = 0;
  virtual bool FileExists(const std::string& path) const = 0;
  // Raises an automation error when the folder cannot be created.
  virtual void CreateFolder(const std::string& path) = 0;
  // Appends the line and CR LF, opening and closing the file for this one
  // line. Raises an automation error when the file cannot be written.
  virtual void AppendLine(const std::string& path, const std::string& utf8Line) = 0;
};

// Turns an error number into a readable text.
class VELKLK_API ErrorTextComponent {
 public:
  virtual ~ErrorTextComponent() = default;
  // Empty when the number is unknown.
  virtual std::string ErrorText(unsigned long number, const std::string& language) const = 0;
};

// "Gender.Application": a first name to 1 or 2 (female), 9 (unknown), any
// other value male.
class VELKLK_API GenderComponent {
 public:
  virtual ~GenderComponent() = default;
  virtual int GetGender(const std::string& firstName) = 0;
};

class VELKLK_API GenderFactory {
 public:
  virtual ~GenderFactory() = default;
  // Raises an automation error when the component is not installed.
  virtual std::unique_ptr<GenderComponent> Create() = 0;
};

}  // namespace velklk
