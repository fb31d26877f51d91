// The configuration dialogs: the three Outlook folder pickers and the list of
// appointment types. Each lives for one call: created, initialised, shown
// modally through the user interface, released.
#pragma once

#include <memory>

#include "platform/dialog.h"

namespace velklk {

// A folder picker; init(true) makes it read and write the current user's
// setting.
class FolderDialog : public DialogModel {
 public:
  virtual void init(bool bUser) = 0;
};

// The contacts folder picker (named for historical reasons).
std::unique_ptr<FolderDialog> CreateFrmAppointmentPath();
// The calendar folders picker (one calendar per mailbox).
std::unique_ptr<FolderDialog> CreateFrmCalPath();
// The tasks folder picker.
std::unique_ptr<FolderDialog> CreateFrmTaskPath();

// The editor of the appointment-type list.
class AppointmentTypeConfigDialog : public DialogModel {
 public:
  virtual void init() = 0;
};
std::unique_ptr<AppointmentTypeConfigDialog> CreateFrmTerminTypConfig();

}  // namespace velklk
