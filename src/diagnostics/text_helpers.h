// Small shared text and lookup helpers.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/variant.h"

namespace velklk {

class OlFolder;
class OlFolders;
class OlItem;

// "/n" CR LF, "/c" CR, "/l" LF, "/t" tab, "/q" double quote, in that order.
std::string DecodeEscapes(const std::string& text);
// Replaces the first remaining "%s" by each value in turn, then "/n" by CR LF.
std::string FormatText(const std::string& text, const std::vector<std::string>& values);
// "-1" (as leading number), "true", "t", "wahr", "w" in any case are True.
bool ToBoolean(const Variant& value);
// Depth-first search of a folder path (names compared exactly) from `level`.
std::shared_ptr<OlFolder> GetSubCalendarFolder(const std::shared_ptr<OlFolders>& folders,
                                               const std::vector<std::string>& names,
                                               int level);
// The first contact in the shared state's mOlitems whose velSearch equals the
// key, or nothing.
std::shared_ptr<OlItem> FindContactByVelSearch(const std::string& key);
// True when the host table of mDB has a field of that name (case ignored).
bool FieldExists(const std::string& tableName, const Variant& fieldName);

// A value in double quotes for an Outlook filter or a host expression, with
// every double quote inside written twice.
std::string QuoteLiteral(const std::string& value);
// The filter `[velSearch] = "<key>"` with the key quoted as above.
std::string VelSearchFilter(const std::string& key);

// Splits at every occurrence of the separator (an empty text gives one empty
// element).
std::vector<std::string> Split(const std::string& text, char separator);

}  // namespace velklk
