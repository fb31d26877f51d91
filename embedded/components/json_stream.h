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
    Serializer serializer(nlohmann::detail::output_adapter<char>(text), ' ',
                          nlohmann::json::error_handler_t::strict);
    Write(out, text, serializer, document, 0);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
  }

 private:
  // The text is gathered and handed to the stream in pieces of this size.
  static constexpr std::size_t kPiece = 1 << 16;
  // What dump() writes with: it takes the indentation a value starts at, so
  // a value is written in place without being indented afterwards.
  using Serializer = nlohmann::detail::serializer<nlohmann::json>;

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

  // A value at `level`: as dump(2) writes it, its lines after the first
  // indented by the level, with its lists in place.
  void Write(std::ostream& out, std::string& text, Serializer& serializer,
             const nlohmann::json& value, int level) const {
    if (text.size() >= kPiece) {
      out.write(text.data(), static_cast<std::streamsize>(text.size()));
      text.clear();
    }
    if (value.is_binary()) {
      WriteList(out, text, serializer, lists_.at(value.get_binary().subtype()), level);
    } else if (!HoldsList(value)) {
      serializer.dump(value, true, false, 2, static_cast<unsigned>(2 * level));
    } else if (value.is_object()) {
      text += "{\n";
      bool first = true;
      for (const auto& [key, member] : value.items()) {
        if (!first) text += ",\n";
        first = false;
        Indent(text, level + 1);
        text += nlohmann::json(key).dump();
        text += ": ";
        Write(out, text, serializer, member, level + 1);
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
        Write(out, text, serializer, element, level + 1);
      }
      text += "\n";
      Indent(text, level);
      text += "]";
    }
  }

  void WriteList(std::ostream& out, std::string& text, Serializer& serializer,
                 const Elements& elements, int level) const {
    bool any = false;
    elements([&](const nlohmann::json& element) {
      text += any ? ",\n" : "[\n";
      any = true;
      Indent(text, level + 1);
      Write(out, text, serializer, element, level + 1);
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
