// The host and Outlook start-up steps and the setting reader.
#pragma once

#include <memory>
#include <string>

namespace velklk {

class HostApplication;
class HostDatabase;
class OlItem;
class OlFolder;

bool InitVelData(const std::shared_ptr<HostApplication>& oApp, bool bWorkDatabase);
bool InitDatabase(const std::shared_ptr<HostDatabase>& pobjDB);
bool InitTables();
bool InitOutlook();
bool NoOldEntries();
bool TableAdressIsMaster(const std::string& sTable);
// The current user's private setting (key cut to 30 characters), else the
// default.
std::string ReadPrivateSetting(const std::string& key, const std::string& defaultValue);

// Link properties of folders and items.
bool CheckFolderProps(const std::shared_ptr<OlFolder>& FolderToCheck);
bool ConfigContactItem(OlItem& item);
bool ConfigAppointmentItem(OlItem& item);
bool ConfigTaskItem(OlItem& item);
void ClassifyContact(OlItem& contact);

}  // namespace velklk
