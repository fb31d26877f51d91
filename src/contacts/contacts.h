// Contact synchronisation: the workers the public classes call and the
// building blocks the appointment and task synchronisation reuse.
#pragma once

#include <memory>
#include <string>

#include "platform/auto_date.h"

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
// The same steps with their errors left to the caller: `made` is False when
// a step failed (favourite mark, contact export); the result is nothing also
// when the contact cannot be found after it was made available.
std::shared_ptr<OlItem> MakeContactAvailableSteps(bool pbRecipientOptional, bool& made);
bool MakeNewOlContact(const std::string& sVelSearch);
// Brings an exported contact and its host record in step (the newer side
// wins); always answers False.
bool UpdateContact(const std::string& sVelSearch);
// 1 when the contact is newer, 2 when the host record is newer, 0 when they
// are in step (within one calendar day and 10 seconds).
int CompareModified(HostTable& table, OlItem& contact);
// The modification-time rule: calendar days first, then seconds with the
// tolerance band. 1 when the Outlook time is newer, 2 when the host time is
// newer, 0 when both lie on the same calendar day within the band.
int CompareModifiedTimes(AutoDate hostTime, AutoDate outlookTime, long long toleranceSeconds);
// True when the contact person's address changed more than 10 seconds (or a
// calendar day) after the person.
bool AddressNewerThanPerson(HostTable& table);
bool IsContactInOl(const std::string& psvelSearch);
bool CreateSyncLog(const std::string& psvelSearch);
bool DeleteSyncLog(const std::string& psvelSearch);
// True when the current user's sync log holds an entry for the key.
bool HasSyncLogEntry(const std::string& key);
// Writes the current user's sync-log entry for the key with the given table
// and ID parts. False when the entry exists already or the host lets no
// record be added; errors go to the caller, a half-written entry is dropped.
bool AddSyncLogEntry(const std::string& key, const std::string& table, const std::string& id);
// Makes sure an Outlook contact with the key exists among mOlitems: when
// there is none, the key's record is exported (MakeNewOlContact) and its
// sync-log entry written. False, after message 3105, when the export fails;
// False without a message when the key's record does not exist.
bool EnsureOlContact(const std::string& key);
// Marks the positioned record as the current user's Outlook favourite unless
// it is one already; False when marking fails.
bool EnsureVelOutlookFavorit(HostTable& table);
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
