// Field mapping between host addresses / contact persons and Outlook
// contacts, with the helpers both directions share. The callers position the
// host tables (mTblAdressen, mTblAnsprechpartner), open and store host
// records and save the contact; the mapping itself never creates, finds,
// stores or deletes anything.
#pragma once

#include <functional>
#include <string>

#include "platform/automation_error.h"

namespace velklk {

class HostField;
class HostTable;
class OlItem;

// How a mapping reacts when one of its statements raises: an empty handler
// lets the error end the mapping; a handler either returns (the mapping goes
// on with its next statement) or raises again.
using StepHandler = std::function<void(const AutomationError&)>;

// What the way back from Outlook to the host may rely on.
struct WayBackOptions {
  // The host record already exists and was exported before: a host field is
  // left alone when the Outlook value is exactly what the export writes for
  // the record as it stands, so values the export formats or combines
  // (street with house/room, a company's three name lines, salutation and
  // title, telephone numbers from host functions) survive a round trip.
  bool keepExportedValues = false;
};

// True unless the current address is a person ("An" is "Frau", "Herrn",
// "Mr", "Mrs" or "Eheleute", or "Vorname" is set and "Zusatz" empty).
bool IsCompanyAddress();
// "Name|Zusatz|Vorname" when "Vorname" is set, else "Name Zusatz" trimmed.
std::string CompanyDisplayName();
// Gender and Title from the salutation and title of the current address or
// (bContactPerson) contact person.
void SetContactSalutation(OlItem& contact, bool bContactPerson, const StepHandler& onError = {});
// The address's street (with "haus_zimmer" where the table has it), town,
// postal code and country into the business address.
void WriteBusinessAddress(OlItem& contact, const StepHandler& onError = {});
// Telephone, fax, mobile and e-mail of the current address; every failing
// step is skipped.
void WriteAddressCommunication(OlItem& contact);
// The target of a host link when it is a web address ("http..."), else empty.
std::string LinkTargetUrl(const HostField& field);
// The address when the host's EMailSyntaxGueltig accepts it, else empty.
std::string MakeValidEmailAddress(const std::string& address);
// Writes the contact's home page into the host link field when it differs.
void UpdateHomePageLink(HostTable& table, OlItem& contact);
// 0 for an empty name, 1 female, 3 male, 9 unknown or component absent.
int GetGender(const std::string& firstName);

void MapAddressToContact(OlItem& contact, const StepHandler& onError = {});
void MapContactToAddress(OlItem& contact, const WayBackOptions& options = {});
void MapContactPersonToContact(OlItem& contact, const StepHandler& onError = {});
void MapContactToContactPerson(OlItem& contact, const StepHandler& onError = {},
                               const WayBackOptions& options = {});

// True when both LastName and CompanyName are empty.
bool HasNoName(OlItem& contact);

// What the export writes, for the current records.
std::string ExportedBusinessStreet();
std::string ExportedTitle(bool bContactPerson);

}  // namespace velklk
