// The link properties that tie Outlook items to host records: their
// definitions on folders and items, the contact type of new contacts, and the
// removal of items written by the older release. Every procedure runs
// against the calling thread's shared state (State()).
#pragma once

#include <memory>

namespace velklk {

class OlFolder;
class OlItem;

bool CheckFolderProps(const std::shared_ptr<OlFolder>& FolderToCheck);
bool ConfigContactItem(OlItem& item);
bool ConfigAppointmentItem(OlItem& item);
bool ConfigTaskItem(OlItem& item);
void ClassifyContact(OlItem& contact);
// True when no item of the older release exists; asks to delete them.
bool NoOldEntries();
void DeleteOldContacts();
void DeleteOldAppointments();
void DeleteOldTasks();

// Names of the link properties.
namespace linkprop {
inline constexpr const char* kVelTable = "velTable";
inline constexpr const char* kVelID = "velID";
inline constexpr const char* kVelSearch = "velSearch";
inline constexpr const char* kVelKontaktTyp = "velKontaktTyp";
inline constexpr const char* kVelACOID = "velACOID";
inline constexpr const char* kVelStatus1 = "velStatus1";
inline constexpr const char* kVelGroupName = "velGroupName";
inline constexpr const char* kVelModifiziertAm = "velModifiziertAm";
}  // namespace linkprop

}  // namespace velklk
