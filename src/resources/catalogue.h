// The numbered message texts in German (1031) and English (2057), loaded from
// the data files of this folder that are compiled into the library.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velklk {

// "de" or "en": the language of the system locale (LANG, LC_ALL,
// LC_MESSAGES), German unless the locale is English; VELKLK_LANG overrides.
std::string SystemLanguage();

// The raw text of a message (escape sequences not decoded) in a language;
// raises an AutomationError for an unknown number.
std::string CatalogueText(int number, std::string_view language);
// Every number of the catalogue of a language, ascending.
std::vector<int> CatalogueNumbers(std::string_view language);

}  // namespace velklk
