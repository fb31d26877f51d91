// Contact synchronisation is not built yet: every entry point says so.
#include "contacts/contacts.h"

#include "platform/automation_error.h"

namespace velklk {
namespace {
[[noreturn]] void Pending(const char* what) { RaiseNotImplemented("ContactUtils", what); }
}  // namespace

void Update1ContactSilent(bool) { Pending("Update1ContactSilent"); }
bool AddressSyncVelToOl() { Pending("AddressSyncVelToOl"); }
bool AppSyncVelToOl() { Pending("AppSyncVelToOl"); }
void SyncNewOLContacts() { Pending("SyncNewOLContacts"); }
bool ClearVelsearchInContacts() { Pending("ClearVelsearchInContacts"); }
std::shared_ptr<OlItem> MakeContactAvailable() { Pending("MakeContactAvailable"); }
bool MakeNewOlContact(const std::string&) { Pending("MakeNewOlContact"); }
bool IsContactInOl(const std::string&) { Pending("IsContactInOl"); }
bool CreateSyncLog(const std::string&) { Pending("CreateSyncLog"); }
bool DeleteSyncLog(const std::string&) { Pending("DeleteSyncLog"); }
bool IsVelOutlookFavorit(HostTable&) { Pending("IsVelOutlookFavorit"); }
bool MakeVelOutlookFavorit(HostTable&) { Pending("MakeVelOutlookFavorit"); }
bool DeleteVelOutlookFavorit(HostTable&) { Pending("DeleteVelOutlookFavorit"); }

}  // namespace velklk
