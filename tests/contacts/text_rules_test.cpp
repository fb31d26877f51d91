// The pure text rules of the contact mapping: salutation and title tables,
// country codes, the company-name split and its inverse, character-based
// cutting of UTF-8 texts.
#include "contacts/text_rules.h"

#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

namespace velklk::contacts {
namespace {

// The tables themselves show in the export and import tests; here the
// rules around them: first match, letter case, the edges of the split.
TEST(TextRules, SalutationAndTitleTakeTheFirstMatchInAnyCase) {
  EXPECT_EQ(AddressSalutationFromTitle("herrn"), "Herrn");
  EXPECT_EQ(AddressSalutationFromTitle("Frau und Herr"), "Herrn");  // "Herr" wins
  EXPECT_EQ(AddressSalutationFromTitle("MR"), "Mr");
  EXPECT_EQ(AddressSalutationFromTitle("Dr."), "");
  EXPECT_EQ(PersonSalutationFromTitle("Familie"), "");  // no family for a person
  EXPECT_EQ(PersonSalutationFromTitle("frau"), "Frau");
  EXPECT_EQ(AcademicTitleFromTitle("dipl. kfm."), "Dipl. Kfm.");
  EXPECT_EQ(AcademicTitleFromTitle("Herr"), "");
}

TEST(TextRules, CountryCodesAndCompanyNameEdges) {
  EXPECT_EQ(CountryCode(""), "DE");
  EXPECT_EQ(CountryCode("   "), "   ");  // blanks alone are not an empty country
  EXPECT_EQ(CountryCode("     "), "   ");
  EXPECT_EQ(CountryCode("deutschland"), "deu");  // "Deu" is compared with its letter case
  EXPECT_EQ(CountryCode("CH"), "CH");

  auto p = SplitCompanyName("A|B");
  EXPECT_EQ(p.zusatz, "B");
  EXPECT_FALSE(p.vorname.has_value());
  // Umlauts count as one character each.
  p = SplitCompanyName("Müller Bäckerei und Konditorei Süd GmbH");
  EXPECT_EQ(*p.name, "Müller Bäckerei und Konditorei");
  // A Zusatz longer than 30 characters is cut.
  p = SplitCompanyName("Werk " + std::string(40, 'x'));
  EXPECT_EQ(p.name, "Werk");
  EXPECT_EQ(p.zusatz, std::string(30, 'x'));
  EXPECT_EQ(JoinCompanyName("A", "B", ""), "A B");
  EXPECT_EQ(JoinCompanyName("A", "", ""), "A");
}

TEST(TextRules, CharacterCuttingAndCase) {
  EXPECT_EQ(CharCount("Grüße"), 5u);
  EXPECT_EQ(LeftChars("Grüße", 3), "Grü");
  EXPECT_EQ(MidChars("0000000001Adressen", 10), "Adressen");
  EXPECT_EQ(MidChars("0000000001Ansprechpartner", 10, 4), "Ansp");
  EXPECT_TRUE(EqualsNoCase("ÄRGER", "ärger"));
  EXPECT_FALSE(EqualsNoCase("Straße", "STRASSE"));
  EXPECT_TRUE(ContainsNoCase("Sehr geehrter HERR", "herr"));
  EXPECT_EQ(UpperCase("müller"), "MÜLLER");
  // Bytes that are not UTF-8 pass through unchanged.
  EXPECT_EQ(FoldCase(std::string("A\xff")), std::string("a\xff"));
  EXPECT_EQ(CharCount(std::string("\x80\x80x")), 3u);
  EXPECT_TRUE(IsAddressKey("0000000001Adressen"));
  EXPECT_FALSE(IsAddressKey("0000000002Ansprechpartner"));
  EXPECT_FALSE(IsAddressKey("Adressen"));
}

// Any company name the export writes comes back as the same three fields,
// as long as the fields themselves hold no "|".
RC_GTEST_PROP(TextRulesProperty, CompanyNameWithFirstNameRoundTrips,
              (std::string name, std::string zusatz, std::string vorname)) {
  RC_PRE(name.find('|') == std::string::npos && zusatz.find('|') == std::string::npos &&
         vorname.find('|') == std::string::npos && !vorname.empty());
  const auto parts = SplitCompanyName(JoinCompanyName(name, zusatz, vorname));
  RC_ASSERT(parts.name == name);
  RC_ASSERT(parts.zusatz == zusatz);
  RC_ASSERT(parts.vorname == vorname);
}

// Whatever the input, the split never writes more than the host's widths
// allow for the 37-character rule and never loses the text before the cut.
RC_GTEST_PROP(TextRulesProperty, SplitWithoutBarKeepsAPrefix, (std::string c)) {
  RC_PRE(c.find('|') == std::string::npos);
  const auto parts = SplitCompanyName(c);
  RC_ASSERT(parts.name.has_value());
  RC_ASSERT(!parts.vorname.has_value());
  RC_ASSERT(c.rfind(*parts.name, 0) == 0);
  if (parts.zusatz) RC_ASSERT(CharCount(*parts.zusatz) <= 30u);
  if (CharCount(c) < 37) RC_ASSERT(*parts.name == c);
}

}  // namespace
}  // namespace velklk::contacts
