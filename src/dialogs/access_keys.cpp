#include "dialogs/access_keys.h"

#include <cctype>
#include <set>

namespace velklk {

std::vector<std::string> WithAccessKeys(const std::vector<std::string>& captions) {
  std::set<char> taken;
  std::vector<std::string> result;
  result.reserve(captions.size());
  for (const std::string& caption : captions) {
    std::string marked;
    bool placed = false;
    for (char c : caption) {
      const auto u = static_cast<unsigned char>(c);
      if (!placed && u < 0x80 && std::isalnum(u) != 0 &&
          taken.insert(static_cast<char>(std::tolower(u))).second) {
        marked += '&';
        placed = true;
      }
      marked += c;
      if (c == '&') marked += '&';
    }
    result.push_back(std::move(marked));
  }
  return result;
}

std::string WithoutAccessKey(const std::string& caption) {
  std::string text;
  for (std::size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] != '&') {
      text += caption[i];
    } else if (i + 1 < caption.size() && caption[i + 1] == '&') {
      text += '&';
      ++i;
    }
  }
  return text;
}

int AccessKeyPosition(const std::string& caption) {
  std::size_t shown = 0;
  for (std::size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] != '&') {
      ++shown;
    } else if (i + 1 < caption.size() && caption[i + 1] == '&') {
      ++shown;
      ++i;
    } else if (i + 1 < caption.size()) {
      return static_cast<int>(shown);
    }
  }
  return -1;
}

}  // namespace velklk
