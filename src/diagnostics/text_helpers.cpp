#include "diagnostics/text_helpers.h"

#include "addin/shared_state.h"
#include "platform/automation_error.h"
#include "platform/outlook.h"
#include "platform/text_case.h"

namespace velklk {
namespace {

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  std::size_t pos = 0;
  while ((pos = text.find(from, pos)) != std::string::npos) {
    text.replace(pos, from.size(), to);
    pos += to.size();
  }
}

[[noreturn]] void RaiseNothing(const char* source, const char* what) {
  throw AutomationError(
      err::kObjectVariableNotSet, source,
      std::string("Object variable or With block variable not set (") + what + ")");
}

}  // namespace

std::string DecodeEscapes(const std::string& text) {
  std::string result = text;
  ReplaceAll(result, "/n", "\r\n");
  ReplaceAll(result, "/c", "\r");
  ReplaceAll(result, "/l", "\n");
  ReplaceAll(result, "/t", "\t");
  ReplaceAll(result, "/q", "\"");
  return result;
}

std::string FormatText(const std::string& text, const std::vector<std::string>& values) {
  // The template's "/n" become line breaks; the inserted values are taken as
  // they are. A value that itself holds "%s" or "/n" (a folder or file name)
  // is neither filled by the next value nor broken into lines.
  std::string result;
  std::size_t pos = 0;
  auto appendTemplate = [&result](std::string part) {
    ReplaceAll(part, "/n", "\r\n");
    result += part;
  };
  for (const std::string& value : values) {
    const std::size_t found = text.find("%s", pos);
    if (found == std::string::npos) break;
    appendTemplate(text.substr(pos, found - pos));
    result += value;
    pos = found + 2;
  }
  appendTemplate(text.substr(pos));
  return result;
}

bool ToBoolean(const Variant& value) {
  const std::string text = value.ToText();
  if (LeadingNumber(text) == -1.0) return true;
  std::string lower;
  lower.reserve(text.size());
  for (char c : text) lower += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return lower == "true" || lower == "t" || lower == "wahr" || lower == "w";
}

std::shared_ptr<OlFolder> GetSubCalendarFolder(const std::shared_ptr<OlFolders>& folders,
                                               const std::vector<std::string>& names, int level) {
  // A level outside the name list has nothing to match.
  if (!folders || level < 0 || static_cast<std::size_t>(level) >= names.size()) return nullptr;
  const std::string& name = names[static_cast<std::size_t>(level)];
  const bool last = static_cast<std::size_t>(level) + 1 == names.size();
  const int count = folders->Count();
  for (int i = 1; i <= count; ++i) {
    std::shared_ptr<OlFolder> folder = folders->Item(i);
    if (!folder || folder->Name() != name) continue;
    if (last) return folder;
    if (auto found = GetSubCalendarFolder(folder->Folders(), names, level + 1)) return found;
  }
  return nullptr;
}

std::shared_ptr<OlItem> FindContactByVelSearch(const std::string& key) {
  std::shared_ptr<OlItems> items = State().mOlitems;
  if (!items) RaiseNothing("Tools", "contact items");
  // Only contacts count: a distribution list that carries the key is skipped.
  for (auto item = items->Find(VelSearchFilter(key)); item; item = items->FindNext()) {
    if (item->Class() == olclass::kContact) return item;
  }
  return nullptr;
}

bool FieldExists(const std::string& tableName, const Variant& fieldName) {
  std::shared_ptr<HostDatabase> db = State().mDB;
  if (!db) RaiseNothing("Tools", "database");
  std::shared_ptr<HostTable> table = db->Table(tableName);
  if (!table) RaiseNothing("Tools", "table");
  const std::string wanted = UpperCase(fieldName.ToText());
  const int count = table->FieldCount();
  for (int i = 0; i < count; ++i) {
    auto field = table->Field(i);
    if (field && UpperCase(field->Name()) == wanted) return true;
  }
  return false;
}

std::string QuoteLiteral(const std::string& value) {
  std::string quoted = value;
  ReplaceAll(quoted, "\"", "\"\"");
  return "\"" + quoted + "\"";
}

std::string VelSearchFilter(const std::string& key) { return "[velSearch] = " + QuoteLiteral(key); }

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (true) {
    const std::size_t found = text.find(separator, start);
    if (found == std::string::npos) {
      parts.push_back(text.substr(start));
      return parts;
    }
    parts.push_back(text.substr(start, found - start));
    start = found + 1;
  }
}

}  // namespace velklk
