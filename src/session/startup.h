// The host and Outlook start-up steps and the setting readers. Every
// procedure runs against the calling thread's shared state (State()).
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace velklk {

class HostApplication;
class HostDatabase;
class OlItem;
class OlFolder;

// --- Host side ---------------------------------------------------------
// Keeps the host application and its database in the shared state; with
// bWorkDatabase a separate working database object is opened when the host
// allows it. False after an error (already shown to the user).
bool InitVelData(const std::shared_ptr<HostApplication>& oApp, bool bWorkDatabase);
// The same from a database object alone (no application object).
bool InitDatabase(const std::shared_ptr<HostDatabase>& pobjDB);
// Opens the host tables of the shared state and reads the settings and
// global variables. False after an error (shown through the error reporter).
bool InitTables();
// True when the master chain of the table ends at "Adressen".
bool TableAdressIsMaster(const std::string& sTable);
// The current user's private setting (key cut to 30 characters), else the
// default. Raises when the settings store cannot be reached.
std::string ReadPrivateSetting(const std::string& key, const std::string& defaultValue);

// Setting keys and defaults read by the start-up.
namespace setting {
inline constexpr const char* kImportPrivateContacts = "TBKLK_ImportPrivateContacts";
inline constexpr const char* kDeleteActivities = "TBKLK_DeleteActivities";
inline constexpr const char* kDeleteTasks = "TBKLK_DeleteTasks";
inline constexpr const char* kImportTasks = "TBKLK_ImportTasks";
inline constexpr const char* kImportPrivateTasks = "TBKLK_ImportPrivateTasks";
inline constexpr const char* kExportContactBirthdate = "TBKLK_ExportContactBirthdate";
inline constexpr const char* kExportNoAddressLink = "TBKLK_ExportNoAddressLink";
inline constexpr const char* kAktivitaetenBetreff = "TBKLK_AktivitaetenBetreff";
inline constexpr const char* kVorgang = "TBKLK_Vorgang";
inline constexpr const char* kInfoTerminAnlage = "TBKLK_InfoTerminAnlage";
inline constexpr const char* kUserTableSettings = "TBKLK_UserTableSettings";
inline constexpr const char* kImportStandardtyp = "TBKLK_ImportStandardtyp";
inline constexpr const char* kImportBlacklist = "TBKLK_ImportBlacklist";
inline constexpr const char* kContactPath = "PREXOLContactPath";
inline constexpr const char* kCalPath = "PREXOLCalPath";
inline constexpr const char* kTaskPath = "PREXOLTaskPath";
inline constexpr const char* kLogLevel = "TSKLK_LogLevel";
// Defaults of the keys above that have one.
inline constexpr const char* kDefaultAktivitaetenBetreff = "\"\"";
inline constexpr const char* kDefaultVorgang = "Nur Outlook";
inline constexpr const char* kDefaultImportStandardtyp = "Termin";
}  // namespace setting

// --- Outlook side ------------------------------------------------------
// Attaches to the running Outlook (never starts it); shows "start Outlook
// first" and returns False when it is not running.
bool GetOutlookApplication();
// Attaches to Outlook, checks its version and resolves the contacts,
// calendar and tasks folders. False after a message; an error other than
// "folder not found" is raised again with the source "modAppSync".
bool InitOutlook();
// The stored folder settings, empty when missing.
std::string GetContactPathSetting();
std::string GetCalPathSetting();
std::string GetTaskPathSetting();
// Re-read a folder setting after the folder dialog; False after a message.
bool IsValidContactPath();
bool IsValidAppointmentPath();
bool IsValidTaskPath();
// The calendar map (CalendarFolders, CalendarUsers) from the calendar path
// list and the host users' "EMail".
void SetDictionaryCalFolders();
// The entry of the calendar path list (split at ";") that belongs to the
// e-mail address: the first that begins with the address and "\", compared
// without regard to case; empty when there is none.
std::string CalendarPathEntry(const std::vector<std::string>& entries, const std::string& email);
// The major version of an Outlook version text ("16.0.0.0" gives 16).
int OutlookMajorVersion(const std::string& version);

}  // namespace velklk
