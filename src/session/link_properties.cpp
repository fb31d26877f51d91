// The link properties that tie Outlook items to host records: their
// definitions on folders and items, the contact type of new contacts, and the
// removal of items written by the older release.
#include "session/link_properties.h"

#include "diagnostics/error_report.h"
#include "diagnostics/text_helpers.h"
#include "platform/outlook.h"
#include "resources/catalogue.h"
#include "session/helpers.h"
#include "session/progress.h"
#include "session/shared_state.h"
#include "session/startup.h"
#include "session/trace.h"

namespace velklk {
namespace {

constexpr const char* kModule = "modAppSync";
constexpr const char* kOldContactFilter = "[velACOID] > \"{\"";
constexpr const char* kOldItemFilter = "[BillingInformation] > \"{\"";

using Type = OlUserPropertyType;

void AddDefinitionIfMissing(OlUserDefinedProperties& defs, const char* name, Type type) {
  if (!defs.Find(name)) defs.Add(name, type);
}

void DeleteDefinitionIfPresent(OlUserDefinedProperties& defs, const char* name) {
  if (auto def = defs.Find(name)) def->Delete();
}

void AddPropertyIfMissing(OlUserProperties& props, const char* name, Type type) {
  if (!props.Find(name)) props.Add(name, type);
}

// The handler of the item Config procedures: an offline profile gets its own
// advice, any other error its number.
bool ShowConfigError(const AutomationError& e, const char* firstLine) {
  std::string text;
  if (e.Number() == err::kOlNetwork) {
    text = std::string(firstLine) +
           "\r\nBitte überprüfen Sie, ob Microsoft Outllook verbunden (online) ist. "
           "Falls keine Verbindung hergestellt werden kann, schalten Sie Outllok in den "
           "Offline-Modus um und wiederholen die Aktion.";
  } else {
    text = Msg(3302) + e.HexText();
  }
  ShowMessage(text, kMsgTitle, MsgButtons::Ok, MsgIcon::Critical);
  return false;
}

// Deletes every item of the folder that matches the filter, letting the host
// breathe after every tenth deletion.
void DeleteMatching(const std::shared_ptr<OlFolder>& folder, const char* filter,
                    const char* procedure) {
  try {
    auto itemsRef = Held(Need(folder, kModule).Items(), kModule);
    OlItems& items = *itemsRef;
    long total = 0;
    for (auto match = items.Find(filter); match; match = items.FindNext()) ++total;
    RunProgress progress(4014, total);
    auto item = items.Find(filter);
    std::int32_t count = 0;
    while (item) {
      progress.Step();
      ++count;
      item->Delete();
      if (count % 10 == 0) {
        if (UserInterface* ui = State().services.ui) ui->DoEvents();
      }
      // An item the store would not delete would be found again forever.
      if (!item->IsDeleted()) {
        throw AutomationError(err::kFail, kModule, "Element konnte nicht gelöscht werden.");
      }
      item = items.Find(filter);
    }
  } catch (const AutomationError& e) {
    ReportError(kModule, procedure, e);
  }
}

// One part of the check for old items: true when the folder has none.
bool OldItemsPartClean(const std::shared_ptr<OlFolder>& folder, const char* filter,
                       int messageNumber, void (*deleteOld)()) {
  auto itemsRef = Held(Need(folder, kModule).Items(), kModule);
  OlItems& items = *itemsRef;
  if (!items.Find(filter)) return true;
  MsgAnswer answer = ShowMessage(DecodeEscapes(Msg(messageNumber)), kMsgTitle, MsgButtons::YesNo,
                                 MsgIcon::Exclamation, 2);
  if (answer == MsgAnswer::Yes) deleteOld();
  return false;
}

}  // namespace

bool CheckFolderProps(const std::shared_ptr<OlFolder>& FolderToCheck) {
  WriteLog(kModule, "CheckFolderProps", kLogEntry, "Input-parameter: FolderToCheck",
           NothingText(FolderToCheck), "");
  OlFolder& folder = Need(FolderToCheck, kModule);
  auto defsRef = Held(folder.UserDefinedProperties(), kModule);
  OlUserDefinedProperties& defs = *defsRef;
  AddDefinitionIfMissing(defs, linkprop::kVelTable, Type::Text);
  AddDefinitionIfMissing(defs, linkprop::kVelID, Type::Text);
  AddDefinitionIfMissing(defs, linkprop::kVelSearch, Type::Text);
  DeleteDefinitionIfPresent(defs, linkprop::kVelModifiziertAm);
  switch (folder.DefaultItemType()) {
    case OlItemType::Contact:
      AddDefinitionIfMissing(defs, linkprop::kVelKontaktTyp, Type::Text);
      AddDefinitionIfMissing(defs, linkprop::kVelACOID, Type::Text);
      break;
    case OlItemType::Appointment:
      DeleteDefinitionIfPresent(defs, linkprop::kVelACOID);
      DeleteDefinitionIfPresent(defs, linkprop::kVelKontaktTyp);
      break;
    case OlItemType::Task:
      AddDefinitionIfMissing(defs, linkprop::kVelStatus1, Type::YesNo);
      AddDefinitionIfMissing(defs, linkprop::kVelGroupName, Type::Text);
      break;
    default:
      break;
  }
  WriteLog(kModule, "CheckFolderProps", kLogLeave, "", "", "");
  return true;
}

namespace {

struct PropertyDefinition {
  const char* name;
  Type type;
};

// Adds the link properties to an appointment or task that has no velSearch
// yet; a failure is shown with the item's own first line.
bool AddLinkProperties(OlItem& item, std::initializer_list<PropertyDefinition> definitions,
                       const char* failureLine) {
  try {
    auto propsRef = Held(item.UserProperties(), "Config");
    OlUserProperties& props = *propsRef;
    if (!props.Find(linkprop::kVelSearch)) {
      for (const PropertyDefinition& d : definitions) props.Add(d.name, d.type);
    }
    return true;
  } catch (const AutomationError& e) {
    return ShowConfigError(e, failureLine);
  }
}

}  // namespace

bool ConfigAppointmentItem(OlItem& item) {
  return AddLinkProperties(item,
                           {{linkprop::kVelTable, Type::Text},
                            {linkprop::kVelID, Type::Text},
                            {linkprop::kVelSearch, Type::Text}},
                           "Kalendereintrag konnte nicht erstellt werden.");
}

bool ConfigTaskItem(OlItem& item) {
  return AddLinkProperties(item,
                           {{linkprop::kVelTable, Type::Text},
                            {linkprop::kVelID, Type::Text},
                            {linkprop::kVelSearch, Type::Text},
                            {linkprop::kVelStatus1, Type::YesNo},
                            {linkprop::kVelGroupName, Type::Text}},
                           "Aufgabe konnte nicht erstellt werden.");
}

bool ConfigContactItem(OlItem& item) {
  try {
    auto propsRef = Held(item.UserProperties(), "Config");
    OlUserProperties& props = *propsRef;
    // A velSearch that is missing or cannot be read counts as none (looked
    // up with Find: a missing property is the common case, not an error).
    bool hasSearch = false;
    IgnoreError([&] {
      if (auto search = props.Find(linkprop::kVelSearch)) {
        (void)search->Value();
        hasSearch = true;
      }
    });
    if (!hasSearch) {
      AddPropertyIfMissing(props, linkprop::kVelTable, Type::Text);
      AddPropertyIfMissing(props, linkprop::kVelID, Type::Text);
      AddPropertyIfMissing(props, linkprop::kVelSearch, Type::Text);
      AddPropertyIfMissing(props, linkprop::kVelKontaktTyp, Type::Text);
    }
    return true;
  } catch (const AutomationError& e) {
    return ShowConfigError(e, "Kontakt konnte nicht erstellt werden.");
  }
}

void ClassifyContact(OlItem& contact) {
  auto propsRef = Held(contact.UserProperties(), "Config");
  OlUserProperties& props = *propsRef;
  auto typeProperty = props.Find(linkprop::kVelKontaktTyp);
  if (!typeProperty) typeProperty = props.Add(linkprop::kVelKontaktTyp, Type::Text);
  const std::string lastName = contact.Get("LastName").ToText();
  const std::string companyName = contact.Get("CompanyName").ToText();
  std::string type;
  if (companyName.empty() && !lastName.empty()) {
    type = "Privatperson";
  } else if (!companyName.empty() && (lastName.empty() || lastName == companyName)) {
    if (lastName.empty()) contact.Set("LastName", Variant(companyName));
    type = "Firma";
  } else if (!companyName.empty() && !lastName.empty()) {
    type = "Ansprechpartner";
  }
  Need(typeProperty, "Config").SetValue(Variant(type));
  contact.Save();
}

bool NoOldEntries() {
  WriteLog(kModule, "NoOldEntries", kLogEntry, "", "", "");
  SharedState& s = State();
  bool result = false;
  try {
    const bool contactsClean =
        OldItemsPartClean(s.mOlContactFolder, kOldContactFilter, 3901, &DeleteOldContacts);
    const bool calendarClean =
        OldItemsPartClean(s.mOlCalFolder, kOldItemFilter, 3902, &DeleteOldAppointments);
    const bool tasksClean =
        OldItemsPartClean(s.mOlTaskFolder, kOldItemFilter, 3903, &DeleteOldTasks);
    result = contactsClean && calendarClean && tasksClean;
    WriteLog(kModule, "NoOldEntries", kLogLeave, "", "", BoolText(result));
  } catch (const AutomationError& e) {
    WriteLog(kModule, "NoOldEntries", kLogErrHandler, e.Description(), "", "");
    ReportError(kModule, ".NoOldEntries", e);
  }
  return result;
}

void DeleteOldContacts() {
  DeleteMatching(State().mOlContactFolder, kOldContactFilter, ".DeleteOldContacts");
}

void DeleteOldAppointments() {
  DeleteMatching(State().mOlCalFolder, kOldItemFilter, ".DeleteOldAppointments");
}

void DeleteOldTasks() { DeleteMatching(State().mOlTaskFolder, kOldItemFilter, ".DeleteOldTasks"); }

}  // namespace velklk
