// The gender component: a first name to a gender code from a list of names
// (the list of this folder is compiled in; another can be loaded from a file).
// Codes: 1 female, 2 mostly female, 3 male, 4 mostly male, 9 unknown.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "platform/components.h"

namespace velklk {

class NameListGender final : public GenderComponent {
 public:
  // Lines "name<TAB>code"; empty lines and lines starting with "#" are
  // skipped. Raises AutomationError 0x80004005 naming the first bad line.
  explicit NameListGender(const std::string& list);
  // The list compiled into the library.
  static const std::string& BuiltInList();

  // Case is ignored, surrounding blanks too. A name the list lacks is tried by
  // its first part ("Hans-Peter", "Anna Lena"); unknown names give 9.
  int GetGender(const std::string& firstName) override;

 private:
  using Codes = std::map<std::string, int>;
  explicit NameListGender(std::shared_ptr<const Codes> codes) : codes_(std::move(codes)) {}
  static Codes Parse(const std::string& list);
  friend class NameListGenderFactory;
  // Shared: every component of the built-in list reads the one parsed copy.
  std::shared_ptr<const Codes> codes_;
};

class NameListGenderFactory final : public GenderFactory {
 public:
  // `absent`: the component is not installed, and Create raises 0x80040154.
  explicit NameListGenderFactory(bool absent = false) : absent_(absent) {}
  // A factory whose components use the name list in that file (UTF-8); Create
  // raises 0x80040154 when it cannot be read.
  static NameListGenderFactory FromFile(std::string path);

  std::unique_ptr<GenderComponent> Create() override;

 private:
  bool absent_ = false;
  std::string path_;
};

}  // namespace velklk
