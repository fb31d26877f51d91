// The configuration dialogs: the three Outlook folder pickers and the editor
// of the appointment-type list. Each lives for one call: created (which
// loads it: captions from the catalogue, the folder tree from Outlook),
// initialised, shown modally through the user interface, released. The
// dialogs are models (platform/dialog.h); a view renders them.
#pragma once

#include <memory>

#include "platform/dialog.h"

namespace velklk {

// A folder picker over the shared state's Outlook name space and host
// database. init(true) reads the current user's setting and marks it in the
// tree; OK stores the choice in that setting, "Eintrag löschen" removes it.
class FolderDialog : public DialogModel {
 public:
  // Only the current user's settings are kept (bUser true); init(false)
  // raises "not implemented".
  virtual void init(bool bUser) = 0;
};

// The contacts folder picker (named for historical reasons): a contacts
// folder of a store, or one folder below it. Stores "PREXOLContactPath".
std::unique_ptr<FolderDialog> CreateFrmAppointmentPath();
// The calendar picker: one calendar per mailbox, the stores' calendars and
// the shared calendars of the other host users. Stores "PREXOLCalPath".
std::unique_ptr<FolderDialog> CreateFrmCalPath();
// The tasks folder picker. Stores "PREXOLTaskPath".
std::unique_ptr<FolderDialog> CreateFrmTaskPath();

// The editor of the appointment-type list, the host global variable
// "TBKLK_lt_AktivitaetentypTermin".
class AppointmentTypeConfigDialog : public DialogModel {
 public:
  // Creates the variable with the default list when it is missing, then
  // shows its entries. Errors are reported under "frmTerminTypConfig.Init".
  virtual void init() = 0;
};
std::unique_ptr<AppointmentTypeConfigDialog> CreateFrmTerminTypConfig();

// The name of the appointment-type list variable.
inline constexpr const char* kAppointmentTypeList = "TBKLK_lt_AktivitaetentypTermin";

}  // namespace velklk
