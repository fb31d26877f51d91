// A JSON document written exactly as nlohmann::json::dump(2) writes it,
// whose long lists are produced one element at a time while it is written:
// the document holds a small stand-in for each such list (List), so that a
// dump of a large profile never holds all of its records at once.
#pragma once

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
  void Write(std::ostream& out, const nlohmann::json& document) const {
    std::string text;
    Write(out, text, document, 0);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
  }

 private:
  // The text is gathered and handed to the stream in pieces of this size.
  static constexpr std::size_t kPiece = 1 << 16;

  static bool HoldsList(const nlohmann::json& value) {
    if (value.is_binary()) return true;
    if (!value.is_structured()) return false;
    for (const auto& element : value)
      if (HoldsList(element)) return true;
    return false;
  }

  static void Indent(std::string& text, int level) {
    text.append(static_cast<std::size_t>(2 * level), ' ');
  }

  // A value without lists, as dump(2) writes it at `level`: its lines after
  // the first indented by the level (texts hold no raw line break).
  static void AppendIndented(std::string& text, const std::string& value, int level) {
    std::size_t from = 0;
    for (std::size_t at = value.find('\n'); at != std::string::npos; at = value.find('\n', from)) {
      text.append(value, from, at + 1 - from);
      Indent(text, level);
      from = at + 1;
    }
    text.append(value, from, std::string::npos);
  }

  void Write(std::ostream& out, std::string& text, const nlohmann::json& value, int level) const {
    if (text.size() >= kPiece) {
      out.write(text.data(), static_cast<std::streamsize>(text.size()));
      text.clear();
    }
    if (value.is_binary()) {
      WriteList(out, text, lists_.at(value.get_binary().subtype()), level);
    } else if (!HoldsList(value)) {
      AppendIndented(text, value.dump(2), level);
    } else if (value.is_object()) {
      text += "{\n";
      bool first = true;
      for (const auto& [key, member] : value.items()) {
        if (!first) text += ",\n";
        first = false;
        Indent(text, level + 1);
        text += nlohmann::json(key).dump();
        text += ": ";
        Write(out, text, member, level + 1);
      }
      text += "\n";
      Indent(text, level);
      text += "}";
    } else {
      text += "[\n";
      bool first = true;
      for (const auto& element : value) {
        if (!first) text += ",\n";
        first = false;
        Indent(text, level + 1);
        Write(out, text, element, level + 1);
      }
      text += "\n";
      Indent(text, level);
      text += "]";
    }
  }

  void WriteList(std::ostream& out, std::string& text, const Elements& elements, int level) const {
    bool any = false;
    elements([&](const nlohmann::json& element) {
      text += any ? ",\n" : "[\n";
      any = true;
      Indent(text, level + 1);
      Write(out, text, element, level + 1);
    });
    if (!any) {
      text += "[]";
      return;
    }
    text += "\n";
    Indent(text, level);
    text += "]";
  }

  std::vector<Elements> lists_;
};

}  // namespace velklk
