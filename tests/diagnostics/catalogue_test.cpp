// The message catalogue: both languages complete, texts exactly as shipped,
// the language choice.
#include "resources/catalogue.h"
#include "session/helpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <initializer_list>
#include <optional>

#include "platform/automation_error.h"
#include "session/shared_state.h"

namespace velklk {
namespace {

// Every number the system shows, plus the block names.
const std::vector<int> kShown = {
    101,  102,  103,  104,  105,  106,  107,  201,  202,  203,  204,  205,  206,  207,  301,  302,
    303,  304,  305,  306,  307,  901,  902,  903,  904,  1401, 1402, 1403, 1404, 1405, 1409, 1410,
    3101, 3102, 3104, 3105, 3106, 3108, 3109, 3120, 3121, 3302, 3446, 3447, 3448, 3449, 3468, 3469,
    3601, 3602, 3603, 3604, 3605, 3607, 3608, 3609, 3610, 3611, 3851, 3901, 3902, 3903};
const std::vector<int> kBlocks = {100, 200, 300, 900, 1400, 3100, 3300, 3400, 3600, 3850, 3900};

TEST(Catalogue, BothLanguagesHoldTheSameCompleteSetOfNumbers) {
  const auto de = CatalogueNumbers("de");
  EXPECT_EQ(de, CatalogueNumbers("en"));
  EXPECT_EQ(de, CatalogueNumbers("1031"));
  EXPECT_EQ(CatalogueNumbers("en"), CatalogueNumbers("2057"));
  std::vector<int> expected = kShown;
  expected.insert(expected.end(), kBlocks.begin(), kBlocks.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(de, expected);
  for (int number : de) {
    EXPECT_FALSE(CatalogueText(number, "de").empty()) << number;
    EXPECT_FALSE(CatalogueText(number, "en").empty()) << number;
  }
}

TEST(Catalogue, TextsStandExactlyAsShipped) {
  EXPECT_EQ(CatalogueText(3302, "de"),
            "Fehler bei Anlage der benutzerdefinierten Felder: config.OlUserProps Nr. ");
  EXPECT_EQ(CatalogueText(3302, "en"),
            "Error in creating customized fields: config.OlUserProps Nr. ");
  EXPECT_EQ(CatalogueText(103, "de"),
            "Wählen Sie bitte den Ordner aus, in den Velmora Kontakte exportieren, bzw. aus dem  "
            "Velmora Kontakte importieren soll !");
  EXPECT_EQ(CatalogueText(1403, "de"),
            "Bitte legen Sie dieEinträge der Lookup -Tabelle  'TBKLK_lt_AktivitaetentypTermin' "
            "fest.");
  EXPECT_EQ(CatalogueText(3603, "de"),
            "Der in Velmora gespeicherte Ordner für %s konnte in Outlook nicht gefunden werden./n"
            "Bitte überprüfen Sie die Konfigurationseinstellungen!");
  EXPECT_EQ(CatalogueText(3603, "en"),
            "The folder for %s stored in Velmora could not be found in Outlook./nPlease check "
            "configuration settings!");
  const std::string warning = CatalogueText(3468, "de");
  EXPECT_EQ(warning.rfind("/nA C H T U N G/n/nSofern", 0), 0u);
  EXPECT_NE(warning.find("(oder diese gelöscht sind)\"/n- das Entstehen"), std::string::npos);
  const std::string end = "/n/nMöchten Sie fortfahren?";
  ASSERT_GT(warning.size(), end.size());
  EXPECT_EQ(warning.substr(warning.size() - end.size()), end);
  EXPECT_EQ(CatalogueText(3609, "de").back(), 'n');  // no final full stop
  for (int number : {3101, 3102, 3105}) {
    EXPECT_EQ(CatalogueText(number, "de"), "Kontakt konnte nicht erstellt werden");
    EXPECT_EQ(CatalogueText(number, "en"), "Contact could not be created");
  }
  EXPECT_EQ(CatalogueText(1409, "de"), CatalogueText(1410, "de"));
  EXPECT_EQ(CatalogueText(3607, "en"), "contacts");
  EXPECT_EQ(CatalogueText(3121, "en"), "Microsoft XML is not registered on this computer!");
}

TEST(Catalogue, UnknownNumbersAndLanguagesAreErrors) {
  try {
    CatalogueText(3103, "de");
    FAIL();
  } catch (const AutomationError& error) {
    EXPECT_EQ(error.Number(), 326u);
    EXPECT_NE(error.Description().find("3103"), std::string::npos);
  }
  EXPECT_THROW(CatalogueText(101, "fr"), AutomationError);
  EXPECT_THROW(CatalogueText(-1, "en"), AutomationError);
}

TEST(Catalogue, MsgUsesTheLanguageOfTheSharedState) {
  PlatformServices services;
  services.language = "en";
  ResetState(services);
  EXPECT_EQ(Msg(3605), "Please start Outlook first!");
  State().services.language = "de";
  EXPECT_EQ(Msg(3605), "Starten Sie bitte zuerst Outlook!");
  ResetState({});
}

class Environment {
 public:
  Environment(std::initializer_list<std::pair<const char*, const char*>> values) {
    for (const char* name : {"VELKLK_LANG", "LC_ALL", "LC_MESSAGES", "LANG"}) {
      const char* old = std::getenv(name);
      saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
      ::unsetenv(name);
    }
    for (auto& [name, value] : values) ::setenv(name, value, 1);
  }
  Environment(const Environment&) = delete;
  Environment& operator=(const Environment&) = delete;
  ~Environment() {
    for (auto& [name, value] : saved_) {
      if (value) {
        ::setenv(name, value->c_str(), 1);
      } else {
        ::unsetenv(name);
      }
    }
  }

 private:
  std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

TEST(Catalogue, LanguageComesFromTheLocaleWithAnOverride) {
  {
    Environment env({});
    EXPECT_EQ(SystemLanguage(), "de");
  }
  {
    Environment env({{"LANG", "en_GB.UTF-8"}});
    EXPECT_EQ(SystemLanguage(), "en");
  }
  {
    Environment env({{"LANG", "en_GB.UTF-8"}, {"LC_ALL", "de_DE.UTF-8"}});
    EXPECT_EQ(SystemLanguage(), "de");
  }
  {
    Environment env({{"LC_MESSAGES", "en_US"}, {"LANG", "de_AT"}});
    EXPECT_EQ(SystemLanguage(), "en");
  }
  {
    Environment env({{"LANG", "fr_FR.UTF-8"}});
    EXPECT_EQ(SystemLanguage(), "de");
  }
  {
    Environment env({{"LANG", "de_DE"}, {"VELKLK_LANG", "en"}});
    EXPECT_EQ(SystemLanguage(), "en");
  }
  {
    Environment env({{"LANG", "en_GB"}, {"VELKLK_LANG", "xx"}});  // an unknown override counts not
    EXPECT_EQ(SystemLanguage(), "en");
  }
}

}  // namespace
}  // namespace velklk
