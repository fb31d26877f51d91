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
bool AppSyncVelToOl();
void SyncNewOLContacts();
bool ClearVelsearchInContacts();

// Building blocks.
std::shared_ptr<OlItem> MakeContactAvailable();
bool MakeNewOlContact(const std::string& sVelSearch);
bool IsContactInOl(const std::string& psvelSearch);
bool CreateSyncLog(const std::string& psvelSearch);
bool DeleteSyncLog(const std::string& psvelSearch);
bool IsVelOutlookFavorit(HostTable& table);
bool MakeVelOutlookFavorit(HostTable& table);
bool DeleteVelOutlookFavorit(HostTable& pTable);

}  // namespace velklk
