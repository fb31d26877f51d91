// A JSON document written exactly as nlohmann::json::dump(2) writes it,
// whose long lists are produced one element at a time while it is written:
// the document holds a small stand-in for each such list (List), so that a
// dump of a large profile never holds all of its records at once.
#pragma once

#include <algorithm>
#include <functional>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace velklk {

class StreamedJson {
 public:
  using Emit = std::function<void(const nlohmann::json&)>;
  using Elements = std::function<void(const Emit&)>;

  // A value standing for a list in the document: `elements` hands its
  // elements, in order, to the function it gets, when the list is written.
  // It must stay valid until Write has returned.
  nlohmann::json List(Elements elements) {
    lists_.push_back(std::move(elements));
    return nlohmann::json::binary({}, static_cast<std::uint64_t>(lists_.size() - 1));
  }

  // Writes `document` as dump(2) would, with its lists in place (no
  // newline after it). Raises what dump raises (text that is not UTF-8).
  void Write(std::ostream& out, const nlohmann::json& document) const { Write(out, document, 0); }

 private:
  static bool HoldsList(const nlohmann::json& value) {
    if (value.is_binary()) return true;
    if (!value.is_structured()) return false;
    for (const auto& element : value)
      if (HoldsList(element)) return true;
    return false;
  }

  static void Indent(std::ostream& out, int level) {
    static const std::string spaces(256, ' ');
    for (int n = 2 * level; n > 0; n -= static_cast<int>(spaces.size()))
      out.write(spaces.data(), std::min<long>(n, static_cast<long>(spaces.size())));
  }

  // A value without lists, as dump(2) writes it at `level`: its lines after
  // the first indented by the level (texts hold no raw line break).
  static void WriteIndented(std::ostream& out, const std::string& text, int level) {
    std::size_t from = 0;
    for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', from)) {
      out.write(text.data() + from, static_cast<std::streamsize>(at + 1 - from));
      Indent(out, level);
      from = at + 1;
    }
    out.write(text.data() + from, static_cast<std::streamsize>(text.size() - from));
  }

  void Write(std::ostream& out, const nlohmann::json& value, int level) const {
    if (value.is_binary()) {
      WriteList(out, lists_.at(value.get_binary().subtype()), level);
    } else if (!HoldsList(value)) {
      WriteIndented(out, value.dump(2), level);
    } else if (value.is_object()) {
      out << "{\n";
      bool first = true;
      for (const auto& [key, member] : value.items()) {
        if (!first) out << ",\n";
        first = false;
        Indent(out, level + 1);
        out << nlohmann::json(key).dump() << ": ";
        Write(out, member, level + 1);
      }
      out << "\n";
      Indent(out, level);
      out << "}";
    } else {
      out << "[\n";
      bool first = true;
      for (const auto& element : value) {
        if (!first) out << ",\n";
        first = false;
        Indent(out, level + 1);
        Write(out, element, level + 1);
      }
      out << "\n";
      Indent(out, level);
      out << "]";
    }
  }

  void WriteList(std::ostream& out, const Elements& elements, int level) const {
    bool any = false;
    elements([&](const nlohmann::json& element) {
      out << (any ? ",\n" : "[\n");
      any = true;
      Indent(out, level + 1);
      Write(out, element, level + 1);
    });
    if (!any) {
      out << "[]";
      return;
    }
    out << "\n";
    Indent(out, level);
    out << "]";
  }

  std::vector<Elements> lists_;
};

}  // namespace velklk
