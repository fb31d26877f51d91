// The message catalogue: both languages complete, the language choice.
#include "resources/catalogue.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#include "support/helpers.h"

namespace velklk::test {
namespace {

TEST(Catalogue, BothLanguagesHoldTheSameNumbersEachWithAText) {
  const auto de = CatalogueNumbers("de");
  EXPECT_GT(de.size(), 60u);
  EXPECT_EQ(de, CatalogueNumbers("en"));
  EXPECT_EQ(de, CatalogueNumbers("1031"));
  EXPECT_EQ(de, CatalogueNumbers("2057"));
  for (int number : de) {
    EXPECT_FALSE(CatalogueText(number, "de").empty()) << number;
    EXPECT_FALSE(CatalogueText(number, "en").empty()) << number;
  }
}

TEST(Catalogue, UnknownNumbersAndLanguagesAreErrors) {
  try {
    CatalogueText(3103, "de");
    FAIL();
  } catch (const AutomationError& error) {
    EXPECT_EQ(error.Number(), 326u);
    EXPECT_NE(error.Description().find("3103"), std::string::npos);
  }
  EXPECT_NE(ErrorOf([] { CatalogueText(101, "fr"); }), 0u);
  EXPECT_NE(ErrorOf([] { CatalogueText(-1, "en"); }), 0u);
}

// SystemLanguage() with only these of its variables set; the environment is
// restored afterwards.
std::string LanguageWith(std::initializer_list<std::pair<const char*, const char*>> values) {
  std::vector<std::pair<const char*, std::optional<std::string>>> saved;
  for (const char* name : {"VELKLK_LANG", "LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* old = std::getenv(name);
    saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    ::unsetenv(name);
  }
  for (auto& [name, value] : values) ::setenv(name, value, 1);
  const std::string language = SystemLanguage();
  for (auto& [name, value] : saved) {
    if (value)
      ::setenv(name, value->c_str(), 1);
    else
      ::unsetenv(name);
  }
  return language;
}

TEST(Catalogue, LanguageComesFromTheLocaleWithAnOverride) {
  EXPECT_EQ(LanguageWith({}), "de");
  EXPECT_EQ(LanguageWith({{"LANG", "en_GB.UTF-8"}}), "en");
  EXPECT_EQ(LanguageWith({{"LANG", "en_GB.UTF-8"}, {"LC_ALL", "de_DE.UTF-8"}}), "de");
  EXPECT_EQ(LanguageWith({{"LC_MESSAGES", "en_US"}, {"LANG", "de_AT"}}), "en");
  EXPECT_EQ(LanguageWith({{"LANG", "fr_FR.UTF-8"}}), "de");
  EXPECT_EQ(LanguageWith({{"LANG", "de_DE"}, {"VELKLK_LANG", "en"}}), "en");
  // An unknown override counts not.
  EXPECT_EQ(LanguageWith({{"LANG", "en_GB"}, {"VELKLK_LANG", "xx"}}), "en");
}

}  // namespace
}  // namespace velklk::test
