// Outlook side of the start-up: attachment to the running Outlook, the
// version check and the contacts, calendar and tasks folders named by the
// user's settings.
#include "diagnostics/error_report.h"
#include "diagnostics/text_helpers.h"
#include "platform/host.h"
#include "platform/outlook.h"
#include "platform/text_case.h"
#include "resources/catalogue.h"
#include "session/helpers.h"
#include "session/link_properties.h"
#include "session/shared_state.h"
#include "session/startup.h"
#include "session/trace.h"

namespace velklk {
namespace {

constexpr const char* kModule = "modAppSync";
// Outlook 2007 is the oldest release the add-in works with.
constexpr int kMinimumOutlookVersion = 12;

void LogInitOutlook(const std::string& info) {
  WriteLog(kModule, "InitOutlook", kLogIntermediate, info, "", "");
}

void ShowSettingMissing(int number) {
  ShowMessage(Msg(number), kMsgTitle, MsgButtons::Ok, MsgIcon::Exclamation);
}

// A stored setting of the current user, empty when missing.
std::string PathSetting(const char* key) {
  auto user = Need(State().mDB, kModule).CurrentUser();
  auto store = Need(user, kModule).Settings();
  if (!Need(store, kModule).Exists(key)) return {};
  return store->Value(key).ToText();
}

// A contacts or tasks path: store and folder, optionally a subfolder.
// Any other number of names raises "not found".
std::shared_ptr<OlFolder> ResolveFolderPath(const std::vector<std::string>& names) {
  if (names.size() != 2 && names.size() != 3) {
    throw AutomationError(err::kOlNotFound, kModule,
                          "Der Ordnerpfad muss aus zwei oder drei Namen bestehen.");
  }
  OlNameSpace& ns = Need(State().mOlNameSpace, kModule);
  std::shared_ptr<OlFolder> folder = Need(ns.Folders(), kModule).Item(names[0]);
  for (std::size_t i = 1; i < names.size(); ++i) {
    folder = Need(Need(folder, kModule).Folders(), kModule).Item(names[i]);
  }
  return folder;
}

bool VersionAccepted() {
  const std::string version = Need(State().mOlApp, kModule).Version();
  if (OutlookMajorVersion(version) < kMinimumOutlookVersion) {
    ShowSettingMissing(3611);
    return false;
  }
  return true;
}

void ShowFolderNotFound(int labelNumber, MsgButtons buttons) {
  ShowMessage(FormatText(Msg(3603), {Msg(labelNumber)}), Msg(3604), buttons, MsgIcon::Exclamation);
}

}  // namespace

int OutlookMajorVersion(const std::string& version) {
  const std::string major = version.substr(0, version.find('.'));
  return static_cast<int>(LeadingNumber(major));
}

bool GetOutlookApplication() {
  SharedState& s = State();
  std::shared_ptr<OlApplication> app;
  bool attached = s.services.outlook != nullptr &&
                  IgnoreError([&] { app = s.services.outlook->GetRunningOutlook(); }) && app;
  if (!attached) {
    ShowMessage(Msg(3605), kMsgTitle, MsgButtons::Ok, MsgIcon::None);
    return false;
  }
  s.mOlApp = app;
  return true;
}

std::string GetContactPathSetting() { return PathSetting(setting::kContactPath); }
std::string GetCalPathSetting() { return PathSetting(setting::kCalPath); }
std::string GetTaskPathSetting() { return PathSetting(setting::kTaskPath); }

bool InitOutlook() {
  WriteLog(kModule, "InitOutlook", kLogEntry, "", "", "");
  SharedState& s = State();
  bool result = false;
  // The message number of the phase, named in the "folder not found" message.
  int phaseLabel = 0;
  try {
    if (!GetOutlookApplication()) return false;

    LogInitOutlook("' Namespace-Objekt etc.");
    s.mOlNameSpace = s.mOlApp->GetNamespace("MAPI");
    LogInitOutlook(std::string("' Namespace-Objekt etc.: ") +
                   (s.mOlNameSpace ? "mOlNameSpace Is Not Nothing" : "mOlNameSpace Is Nothing"));
    LogInitOutlook("' Namespace-Objekt etc.: mOlApp.Version: " + s.mOlApp->Version());
    if (!VersionAccepted()) return false;

    // Contacts.
    phaseLabel = 3607;
    LogInitOutlook("' Kontakte initialisieren: sErrMessagePart: " + Msg(phaseLabel));
    s.sContactPath = GetContactPathSetting();
    LogInitOutlook("' Kontakte initialisieren: sContactPath: " + s.sContactPath);
    if (s.sContactPath.empty()) {
      ShowSettingMissing(3601);
      return false;
    }
    const auto contactNames = Split(s.sContactPath, '\\');
    LogInitOutlook("' Kontakte initialisieren: UBound(asPath): " +
                   std::to_string(static_cast<long>(contactNames.size()) - 1));
    s.mOlContactFolder = ResolveFolderPath(contactNames);
    CheckFolderProps(s.mOlContactFolder);
    LogInitOutlook(std::string("' Kontakte initialisieren: mOlitems: ") + NothingText(s.mOlitems));
    s.mOlitems = Need(s.mOlContactFolder, kModule).Items();

    // Calendar.
    phaseLabel = 3608;
    s.sCalPath = GetCalPathSetting();
    LogInitOutlook("' Kalender initialisieren: sCalPatt: " + s.sCalPath);
    if (s.sCalPath.empty()) {
      ShowSettingMissing(3602);
      return false;
    }
    LogInitOutlook("SetDictionaryCalFolders: before");
    SetDictionaryCalFolders();
    LogInitOutlook("SetDictionaryCalFolders: after");
    s.sCalPath = s.sCalPath.substr(0, s.sCalPath.find(';'));
    LogInitOutlook(
        "Set mOlCalFolder = GetSharedDefaultCalendarFolder(a_strEMailAddress:...: before");
    s.mOlCalFolder =
        GetSubCalendarFolder(Need(s.mOlNameSpace, kModule).Folders(), Split(s.sCalPath, '\\'), 0);
    if (!s.mOlCalFolder) {
      ShowMessage("'" + s.sCalPath + "' ist ein ungültiges Verzeichnis!",
                  std::string(kModule) + ".InitOutlook", MsgButtons::Ok, MsgIcon::Critical);
    }
    LogInitOutlook("Set mOlCalFolder = GetSubCalendarFolder(a_strEMailAddress:...: after");
    if (!s.mOlCalFolder) return false;
    LogInitOutlook("CheckFolderProps: before");
    CheckFolderProps(s.mOlCalFolder);
    LogInitOutlook("CheckFolderProps: after");

    // Tasks.
    LogInitOutlook("' Aufgaben initialisieren");
    phaseLabel = 3610;
    s.sTaskPath = GetTaskPathSetting();
    if (s.sTaskPath.empty()) {
      ShowSettingMissing(3609);
      return false;
    }
    s.mOlTaskFolder = ResolveFolderPath(Split(s.sTaskPath, '\\'));
    LogInitOutlook("' CheckFolderProps mOlTaskFolder: before");
    CheckFolderProps(s.mOlTaskFolder);
    LogInitOutlook("' CheckFolderProps mOlTaskFolder: after");

    result = true;
    WriteLog(kModule, "InitOutlook", kLogLeave, "", "", "True");
  } catch (const AutomationError& e) {
    WriteLog(kModule, "InitOutlook", kLogErrHandler, e.Description(), "", "");
    if (e.Number() != err::kOlNotFound) {
      throw AutomationError(e.Number(), kModule, e.Description());
    }
    // Before the first phase there is no label to name.
    ShowMessage(FormatText(Msg(3603), {phaseLabel ? Msg(phaseLabel) : std::string()}), Msg(3604),
                MsgButtons::OkCancel, MsgIcon::Exclamation);
    return false;
  }
  return result;
}

std::string CalendarPathEntry(const std::vector<std::string>& entries, const std::string& email) {
  if (email.empty()) return {};
  // The address must be followed by "\", so that a shorter address never
  // takes the entry of a longer one that starts with it.
  const std::string prefix = FoldCase(email + "\\");
  for (const auto& candidate : entries) {
    if (FoldCase(candidate).starts_with(prefix)) return candidate;
  }
  return {};
}

void SetDictionaryCalFolders() {
  SharedState& s = State();
  s.CalendarFolders.clear();
  s.CalendarUsers.clear();
  s.CalendarOrder.clear();
  const auto entries = Split(GetCalPathSetting(), ';');
  HostDatabase& db = Need(s.mDB, "Appointment");
  const int userCount = db.UserCount();
  for (int i = 0; i < userCount; ++i) {
    auto user = db.UserAt(i);
    if (!user || !user->PropertyExists("EMail")) continue;
    const std::string email = user->Property("EMail").ToText();
    if (email.empty()) continue;
    const std::string entry = CalendarPathEntry(entries, email);
    if (entry.empty()) continue;
    auto folder =
        GetSubCalendarFolder(Need(s.mOlNameSpace, "Appointment").Folders(), Split(entry, '\\'), 0);
    if (!folder) {
      ShowMessage("'" + entry + "' ist ein ungültiges Verzeichnis!", "Appointment.InitOutlook",
                  MsgButtons::Ok, MsgIcon::Critical);
      // A calendar that does not exist is left out of the map, so that no
      // caller walks a folder that is not there.
      continue;
    }
    if (s.CalendarFolders.count(email) == 0) {
      s.CalendarFolders[email] = folder;
      s.CalendarUsers[email] = user->Name();
      s.CalendarOrder.push_back(email);
    }
  }
}

bool IsValidContactPath() {
  SharedState& s = State();
  try {
    s.sContactPath = GetContactPathSetting();
    if (s.sContactPath.empty()) {
      ShowSettingMissing(3601);
      return false;
    }
    s.mOlContactFolder = ResolveFolderPath(Split(s.sContactPath, '\\'));
    return true;
  } catch (const AutomationError& e) {
    if (e.Number() == err::kOlNotFound) {
      ShowFolderNotFound(3607, MsgButtons::Ok);
    } else {
      ReportError(kModule, ".IsValidContactPath", e);
    }
    return false;
  }
}

bool IsValidTaskPath() {
  SharedState& s = State();
  try {
    s.sTaskPath = GetTaskPathSetting();
    if (s.sTaskPath.empty()) {
      ShowSettingMissing(3609);
      return false;
    }
    s.mOlTaskFolder = ResolveFolderPath(Split(s.sTaskPath, '\\'));
    return true;
  } catch (const AutomationError& e) {
    if (e.Number() == err::kOlNotFound) {
      ShowFolderNotFound(3610, MsgButtons::Ok);
    } else {
      ReportError(kModule, ".IsValidTaskPath", e);
    }
    return false;
  }
}

bool IsValidAppointmentPath() {
  SharedState& s = State();
  try {
    s.sCalPath = GetCalPathSetting();
    if (s.sCalPath.empty()) {
      ShowSettingMissing(3602);
      return false;
    }
    return true;
  } catch (const AutomationError& e) {
    if (e.Number() == err::kOlNotFound) {
      ShowFolderNotFound(3608, MsgButtons::Ok);
    } else {
      ReportError(kModule, ".IsValidAppointmentPath", e);
    }
    return false;
  }
}

}  // namespace velklk
