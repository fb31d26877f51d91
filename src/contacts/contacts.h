// Contact synchronisation: the workers the public classes call and the
// building blocks the appointment and task synchronisation reuse.
#pragma once

#include <memory>
#include <string>

namespace velklk {

class HostTable;
class OlItem;

// Workers of the public classes.
void Update1ContactSilent(bool pAdresse);
bool AddressSyncVelToOl();
void SyncNewOLContacts();
bool ClearVelsearchInContacts();

// Building blocks.
// The Outlook contact of the current activity's partner (the contact person
// named in "Empfaenger", else the address), made a favourite and put into
// Outlook first; nothing when that fails. With pbRecipientOptional an
// activity table without the field "Empfaenger" counts as one with an empty
// value (otherwise the missing field is an error).
std::shared_ptr<OlItem> MakeContactAvailable(bool pbRecipientOptional = false);
bool MakeNewOlContact(const std::string& sVelSearch);
// Brings an exported contact and its host record in step (the newer side
// wins); always answers False.
bool UpdateContact(const std::string& sVelSearch);
// 1 when the contact is newer, 2 when the host record is newer, 0 when they
// are in step (within one calendar day and 10 seconds).
int CompareModified(HostTable& table, OlItem& contact);
// True when the contact person's address changed more than 10 seconds (or a
// calendar day) after the person.
bool AddressNewerThanPerson(HostTable& table);
bool IsContactInOl(const std::string& psvelSearch);
bool CreateSyncLog(const std::string& psvelSearch);
bool DeleteSyncLog(const std::string& psvelSearch);
// True while the key's host record exists and is an Outlook favourite of the
// current user.
bool IsValidContactInOL(const std::string& key);
bool IsVelOutlookFavorit(HostTable& table);
bool MakeVelOutlookFavorit(HostTable& table);
bool DeleteVelOutlookFavorit(HostTable& pTable);

// Import of new Outlook contacts.
void PrepareNewContact(std::shared_ptr<OlItem>& contact);
bool SaveNewContactAsAnsprechpartner(OlItem& contact);

}  // namespace velklk
