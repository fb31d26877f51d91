// The state the add-in's public classes share within one thread: host and
// Outlook handles, open tables, call parameters and settings. One object per
// thread, reached through State(); a test or a host process installs a fresh
// one with ResetState().
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/host.h"
#include "platform/outlook.h"
#include "platform/services.h"

namespace velklk {

class CAddonError;

struct SharedState {
  // Platform services of this thread (Outlook attachment, user interface,
  // file system, clock, components, language).
  PlatformServices services;

  // Host objects.
  std::shared_ptr<HostApplication> mAPP;
  std::shared_ptr<HostDatabase> mAppDB;
  std::shared_ptr<HostDatabase> mDB;
  int nIdLength = 0;
  std::shared_ptr<CAddonError> mErr;

  // Host tables, opened by InitTables.
  std::shared_ptr<HostTable> mTblAdressen;
  std::shared_ptr<HostTable> mTblAnsprechpartner;
  std::shared_ptr<HostTable> mTblAdressmerkmale;
  std::shared_ptr<HostTable> mTblAnsprechpartnerMerkmale;
  std::shared_ptr<HostTable> mTblVorgaenge;
  std::shared_ptr<HostTable> mTblAktivitaeten;
  std::shared_ptr<HostTable> mTblTermine;
  std::shared_ptr<HostTable> mTblTeilnehmer;
  std::shared_ptr<HostTable> mTblSyncLog;
  std::shared_ptr<HostTable> mTblTasks;

  // Call parameters.
  std::string sOLID;
  std::string sOlTable;
  std::string sActivityID;
  std::string sActivityTable;
  std::string sSubjectExpression;
  bool bResponsibleGroup = false;
  bool bImportAktivitaeten = false;
  bool bImportCalaTermine = false;

  // Outlook objects and paths.
  std::shared_ptr<OlApplication> mOlApp;
  std::shared_ptr<OlNameSpace> mOlNameSpace;
  std::string sContactPath;
  std::string sCalPath;
  std::string sTaskPath;
  std::shared_ptr<OlFolder> mOlContactFolder;
  std::shared_ptr<OlItems> mOlitems;
  std::shared_ptr<OlFolder> mOlCalFolder;
  std::shared_ptr<OlFolder> mOlTaskFolder;
  // The Outlook contact the task being exported is linked to, or nothing.
  std::shared_ptr<OlItem> mOlTaskContact;
  // Calendar map: e-mail address (as written in the path list) to its
  // calendar folder, and to the host user name.
  std::map<std::string, std::shared_ptr<OlFolder>> CalendarFolders;
  std::map<std::string, std::string> CalendarUsers;
  // The keys of CalendarFolders in the order they were added (the order in
  // which the calendars are walked).
  std::vector<std::string> CalendarOrder;

  // Settings read by InitTables.
  bool bImportPrivateContacts = false;
  bool bDeleteActivities = false;
  bool bDeleteTasks = false;
  bool bImportTasks = false;
  bool bImportPrivateTasks = false;
  bool bExportContactBirthdate = true;
  bool bExportNoAddressLink = false;
  std::string sAktivitaetenBetreff = "\"\"";
  std::string sVorgang = "Nur Outlook";
  std::string sMerkmalgruppe = "Kestrelink";

  // Field flags: start False, only ever set to True.
  bool bAdressenFeld1 = false;
  bool bAdressenFeld2 = false;
  bool bAdressenFeld3 = false;
  bool bAnsprechpartnerFeld1 = false;
  bool bAnsprechpartnerFeld2 = false;
  bool bAnsprechpartnerFeld3 = false;
  bool bAktivitaetenFeld1 = false;
  // Table-shape flags.
  bool bAPEmail2 = false;
  bool bAPPrivatAdresse = false;
  bool bAdressIsMaster = false;

  // The appointment commands and the calendar listener: whether the next
  // appointment added to the calendar becomes a host activity, the process
  // record it is filed under, its type, the Outlook contact it is linked to,
  // and the listener bound to the calendar (the calendar's items hold it only
  // weakly).
  bool ListenerArmed = false;
  std::string PendingProcessRef;
  std::string PendingProcessTable;
  std::string PendingAppointmentType = "Termin";
  std::shared_ptr<OlItem> PendingContact;
  std::shared_ptr<OlItemsListener> Listener;

  // Deletions the user refused at the guard against mass deletion
  // (session/delete_guard.h) since the host last took them: an Outlook
  // folder or host table, how many would have gone, of how many.
  struct RefusedDeletion {
    bool outlook = false;
    std::string container;
    long count = 0;
    long total = 0;
  };
  std::vector<RefusedDeletion> DeletionsRefused;
};

// The state of the calling thread (created empty on first use).
SharedState& State();
// Replaces the calling thread's state by an empty one with these services.
SharedState& ResetState(const PlatformServices& services);

}  // namespace velklk
