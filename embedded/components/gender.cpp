#include "components/gender.h"

#include <charconv>
#include <fstream>
#include <sstream>

#include "platform/automation_error.h"
#include "platform/text_case.h"

extern const char kVelklkGenderNames[];
extern const std::size_t kVelklkGenderNames_size;

namespace velklk {
namespace {

constexpr int kUnknown = 9;

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

}  // namespace

NameListGender::NameListGender(const std::string& list)
    : codes_(std::make_shared<const Codes>(Parse(list))) {}

NameListGender::Codes NameListGender::Parse(const std::string& list) {
  Codes codes;
  std::istringstream lines(list);
  std::string line;
  int lineNumber = 0;
  while (std::getline(lines, line)) {
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (Trim(line).empty() || line.front() == '#') continue;
    const auto tab = line.find('\t');
    const std::string name = tab == std::string::npos ? std::string() : Trim(line.substr(0, tab));
    const std::string code = tab == std::string::npos ? std::string() : Trim(line.substr(tab + 1));
    unsigned gender = 0;
    const char* const end = code.data() + code.size();
    const auto [stop, error] = std::from_chars(code.data(), end, gender);
    if (name.empty() || code.empty() || error != std::errc() || stop != end || gender > 999) {
      throw AutomationError(err::kFail, "Gender.Application",
                            "Bad line " + std::to_string(lineNumber) + " in the name list");
    }
    codes[LowerCase(name)] = static_cast<int>(gender);
  }
  return codes;
}

const std::string& NameListGender::BuiltInList() {
  static const std::string list(kVelklkGenderNames, kVelklkGenderNames_size);
  return list;
}

int NameListGender::GetGender(const std::string& firstName) {
  const std::string name = LowerCase(Trim(firstName));
  if (name.empty()) return kUnknown;
  if (auto found = codes_->find(name); found != codes_->end()) return found->second;
  const auto cut = name.find_first_of(" -");
  if (cut != std::string::npos && cut > 0) {
    if (auto found = codes_->find(name.substr(0, cut)); found != codes_->end())
      return found->second;
  }
  return kUnknown;
}

NameListGenderFactory NameListGenderFactory::FromFile(std::string path) {
  NameListGenderFactory factory;
  factory.path_ = std::move(path);
  return factory;
}

std::unique_ptr<GenderComponent> NameListGenderFactory::Create() {
  if (absent_) {
    throw AutomationError(err::kClassNotRegistered, "Gender.Application",
                          "Class not registered: the gender component is not installed");
  }
  if (path_.empty()) {
    // The built-in list never changes: it is parsed once.
    static const auto builtIn = std::make_shared<const NameListGender::Codes>(
        NameListGender::Parse(NameListGender::BuiltInList()));
    return std::unique_ptr<NameListGender>(new NameListGender(builtIn));
  }
  std::ifstream file(path_, std::ios::binary);
  std::ostringstream contents;
  if (!file || !(contents << file.rdbuf())) {
    throw AutomationError(err::kClassNotRegistered, "Gender.Application",
                          "The gender component cannot read its name list '" + path_ + "'");
  }
  return std::make_unique<NameListGender>(contents.str());
}

}  // namespace velklk
