// Appointment synchronisation: the workers the public classes call and the
// building blocks they share. Every procedure runs against the calling
// thread's shared state (State()).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/auto_date.h"

namespace velklk {

class HostTable;
class OlItem;
class OlItems;

// --- Workers of the public classes -------------------------------------------
// Brings the appointment of the shared state's activity (sActivityID in
// sActivityTable, standing for sOLID in sOlTable) in step with the host,
// making the activity's contact available in Outlook first.
bool AppSyncVelToOl();
// Writes or rewrites the Outlook appointment of the activity table's current
// record in its responsible user's calendar.
void CreateAppointmentFromActivity(bool& bShowMsg);
// Shows the Outlook appointment of the current activity and listens for its
// changes.
void FindAppointmentOfActivity();
// Prepares a new appointment for the address or contact person the table
// shows: contact, process record, listener, type choice, calendar window.
void NewOutlookAppointment2(const std::shared_ptr<HostTable>& pTable);
// Imports the Outlook appointments that start inside the range from every
// calendar of the calendar map and removes those whose record is gone.
// False when an error ended the run.
bool SyncNewOLAppointments(AutoDate dStartFrom, AutoDate dStartTo);

// --- Building blocks ------------------------------------------------------------
// The ID of the current user's participant record for the table's current
// record, "" when there is none (or after a reported error).
std::string GetTeilnehmerID(HostTable& pTable);
// The subject expression of the user table settings for that table name
// (exact name), "" when there is none.
std::string GetSubjectExpression(const std::string& sTableName);
// Reads the user table settings document into three parallel lists (names,
// conditions, subjects; appended). False when the setting is empty, the XML
// document cannot be created or read, or an entry is incomplete (each with
// its message).
bool ReadXmlIntoCollections(std::vector<std::string>& names, std::vector<std::string>& conditions,
                            std::vector<std::string>& subjects);
// The first appointment of the items whose velSearch equals the key, or
// nothing. A calendar without the link property definitions gets them
// first, so that it can be searched.
std::shared_ptr<OlItem> FindAppointmentByVelSearch(OlItems& items, const std::string& key);
// True when the host global variable can be read and holds a list.
bool LookupTableHasEntries(const std::string& name);
// Opens the calendar in use (mOlCalFolder) in a new, maximised explorer.
void ShowCalendarExplorer();

// The appointment re-synchronisation of one record (uses the shared
// state's call parameters); pContact is the activity's Outlook contact or
// nothing.
bool CreateOrSyncAppointment(const std::shared_ptr<OlItem>& pContact);

// What the import learns about an appointment's link to its host record.
enum class ActivityLink {
  Exists,   // the record (and, for a participant, its activity) is there
  Gone,     // the record was ours and is gone: the appointment may go too
  Unknown,  // no table of that name, a record this database never exported,
            // or a failed lookup: the appointment is left alone
};
// With `orphanParticipant`, a participant record whose activity is gone is
// left for the caller to delete: its ID goes there (else it is deleted here).
// With `unknownLinks`, a table or record this database does not know is
// noted there for one message of the caller (else it is shown at once).
ActivityLink IsStillVelActivity(OlItem& appointment, std::string* orphanParticipant = nullptr,
                                std::vector<std::string>* unknownLinks = nullptr);

}  // namespace velklk
