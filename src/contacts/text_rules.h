// Pure text rules of the contact mapping: the salutation and title tables,
// the country-code rule, the company-name split and the link-key layout.
// Nothing here touches the host or Outlook.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "diagnostics/text_helpers.h"
#include "platform/text_case.h"

namespace velklk::contacts {

// Salutation of an address from an Outlook title ("Herrn", "Frau", "Mrs",
// "Mr", "Familie", "Eheleute"), empty when no word matches.
std::string AddressSalutationFromTitle(std::string_view title);
// Salutation of a contact person ("Herr", "Frau", "Mrs", "Mr"), empty when no
// word matches.
std::string PersonSalutationFromTitle(std::string_view title);
// Academic title from an Outlook title, empty when none matches.
std::string AcademicTitleFromTitle(std::string_view title);

// Host country code of an Outlook country: "DE" for "D" (spaces ignored), an
// empty country or one beginning with "Deu"; otherwise its first three
// characters.
std::string CountryCode(std::string_view country);

// The host name fields of a company name as Outlook shows it. A field left
// unset is not written.
struct CompanyNameParts {
  std::optional<std::string> name;
  std::optional<std::string> zusatz;
  std::optional<std::string> vorname;
};
CompanyNameParts SplitCompanyName(std::string_view companyName);

// The company name the export writes for Name, Zusatz and Vorname.
std::string JoinCompanyName(std::string_view name, std::string_view zusatz,
                            std::string_view vorname);

// True when the key denotes an address: "Adress" occurs at its second
// character or later.
bool IsAddressKey(std::string_view key);

}  // namespace velklk::contacts
