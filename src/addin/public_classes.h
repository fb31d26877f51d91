// The three public classes the host creates: CSync (synchronisation and
// configuration commands), CMenue (update the Outlook contact of the current
// address or contact person) and CAppointment (appointment commands for the
// current activity). Every parameter is passed by reference, as the host
// passes it; creating an instance installs a new error reporter in the
// shared state, destroying one removes it.
#pragma once

#include <memory>
#include <string>

#include "platform/auto_date.h"
#include "platform/export.h"
#include "platform/variant.h"

namespace velklk {

class HostApplication;
class HostDatabase;

// Installs a new error reporter on construction, removes it on destruction.
class VELKLK_API PublicObject : public AutomationObject {
 public:
  PublicObject();
  ~PublicObject() override;
  PublicObject(const PublicObject&) = delete;
  PublicObject& operator=(const PublicObject&) = delete;
};

class VELKLK_API CMenue : public PublicObject {
 public:
  void UpdateAdresse(std::shared_ptr<HostApplication>& oApp);
  void UpdateAnsprechpartner(std::shared_ptr<HostApplication>& oApp);
};

class VELKLK_API CAppointment : public PublicObject {
 public:
  void NewOutlookAppointment(std::shared_ptr<HostApplication>& oApp);
  void FindOutlookAppointment(std::shared_ptr<HostApplication>& oApp);
  void CreateOutlookAppointment(std::shared_ptr<HostApplication>& oApp);
};

class VELKLK_API CSync : public PublicObject {
 public:
  bool SelectOlContactPath(std::shared_ptr<HostApplication>& oApp);
  bool SelectOLAppointmentPath(std::shared_ptr<HostApplication>& oApp);
  bool SelectOlTaskPath(std::shared_ptr<HostApplication>& oApp);
  void ConfigAppintmentTypes(std::shared_ptr<HostApplication>& oApp);
  bool ClearContactsVelSearch(std::shared_ptr<HostApplication>& oApp);
  bool AppSync2OL(std::shared_ptr<HostApplication>& oApp, std::string& sOLID, std::string& sOlTable,
                  std::string& sActivityID, std::string& sActivityTable,
                  std::string& sSubjectExpression);
  bool AddressOrContactSync2OL(std::shared_ptr<HostApplication>& oApp, std::string& sOLID,
                               std::string& sOlTable);
  bool TaskSync2OL(std::shared_ptr<HostApplication>& oApp, std::string& sOLID,
                   std::string& sOlTable, bool& pbResponsibleGroup);
  bool SyncContacts2VEL(std::shared_ptr<HostApplication>& oApp);
  bool SyncAppointments2VEL(std::shared_ptr<HostApplication>& oApp, AutoDate& dStartFrom,
                            AutoDate& dStartTo, bool& bImportAktivitaeten,
                            bool& bImportCalaTermine);
  bool SyncTasks2VEL(std::shared_ptr<HostApplication>& oApp, bool& pbResponsibleGroup);
  bool CreateOutlookTask(std::shared_ptr<HostDatabase>& pobjDB, std::string& psID);

  // The table for which this object's last full start-up succeeded.
  const std::string& LastInitTable() const { return mLastInitTable; }

 private:
  std::string mLastInitTable;
};

// The folder-choice commands behind the CSync Select members: attach to
// Outlook, show the folder dialog, check the stored setting again.
VELKLK_API bool SelectOutlookContactPath();
VELKLK_API bool SelectOutlookAppointmentPath();
VELKLK_API bool SelectOutlookTaskPath();

}  // namespace velklk
