// The appointment of a host activity and the interactive appointment
// commands: write the appointment of the current activity, open it in
// Outlook, prepare a new appointment for an address or contact person, and
// the lookups they share (participant record, subject expression of the
// user table settings, appointment by key).
#include "appointments/appointments.h"
#include "appointments/internal.h"
#include "contacts/contacts.h"
#include "diagnostics/text_helpers.h"
#include "dialogs/termin_type_select.h"
#include "platform/components.h"
#include "platform/host.h"
#include "platform/outlook.h"
#include "platform/text_case.h"
#include "resources/catalogue.h"
#include "session/access.h"
#include "session/helpers.h"
#include "session/link_properties.h"
#include "session/shared_state.h"
#include "session/startup.h"
#include "session/trace.h"

namespace velklk {

using namespace appointments;

namespace {

constexpr const char* kModule = kAppointmentModule;
constexpr const char* kTypeList = "TBKLK_lt_AktivitaetentypTermin";

// The calendar of the activity's responsible user, read afresh from the
// calendar path list. Nothing after a message when the user has no e-mail
// address or no entry; a folder that does not exist raises after its
// message.
std::shared_ptr<OlFolder> ResponsibleCalendar(const std::string& user) {
  const std::string email = UserEmail(user);
  if (email.empty()) {
    ShowMessage("Keinen E-Mail-Adresse für Benutzer '" + user + "' definiert!", kMsgTitle,
                MsgButtons::Ok, MsgIcon::Critical);
    return nullptr;
  }
  const std::string entry = CalendarPathEntry(Split(GetCalPathSetting(), ';'), email);
  if (entry.empty()) {
    ShowMessage("Keinen Kalender-Ordner für Benutzer '" + user + "' definiert!", kMsgTitle,
                MsgButtons::Ok, MsgIcon::Critical);
    return nullptr;
  }
  auto folder =
      GetSubCalendarFolder(Need(State().mOlNameSpace, kModule).Folders(), Split(entry, '\\'), 0);
  if (!folder) {
    ShowMessage("'" + entry + "' ist ein ungültiges Verzeichnis!",
                std::string(kModule) + ".InitOutlook", MsgButtons::Ok, MsgIcon::Critical);
    throw AutomationError(err::kOlNotFound, kModule,
                          "Der Kalender '" + entry + "' wurde in Outlook nicht gefunden.");
  }
  return folder;
}

bool IsCurrentUser(const std::string& name) { return EqualsNoCase(name, CurrentUserName()); }

// The current user's participant record of the table's current record, ""
// when there is none; a failed lookup raises (so that it is never taken for
// a missing record).
std::string ParticipantId(HostTable& table) {
  HostTable& participants = Need(State().mTblTeilnehmer, kModule);
  const std::string condition =
      "calA_Teilnehmer->MasterTable = " + QuoteLiteral(table.Name()) +
      " And calA_Teilnehmer->MasterID = " + QuoteLiteral(FieldText(table, "ID")) +
      " And calA_Teilnehmer->User = " + QuoteLiteral(CurrentUserName());
  const auto rows =
      participants.SelectRows({"calA_Teilnehmer->ID", "calA_Teilnehmer->MasterID"}, condition);
  if (rows.empty() || rows.front().empty()) return {};
  return rows.front().front().ToText();
}

}  // namespace

std::shared_ptr<OlItem> FindAppointmentByVelSearch(OlItems& items, const std::string& key) {
  // Outlook filters only on user properties the folder defines.
  if (auto folder = items.Parent()) {
    auto definitions = folder->UserDefinedProperties();
    if (definitions && !definitions->Find(linkprop::kVelSearch)) CheckFolderProps(folder);
  }
  return FindItemByVelSearch(items, key, olclass::kAppointment);
}

std::string GetTeilnehmerID(HostTable& pTable) {
  try {
    return ParticipantId(pTable);
  } catch (const AutomationError& e) {
    ReportError(kModule, ".GetTeilnehmerID", e);
    return {};
  }
}

bool ReadXmlIntoCollections(std::vector<std::string>& names, std::vector<std::string>& conditions,
                            std::vector<std::string>& subjects) {
  try {
    const std::string text = ReadPrivateSetting(setting::kUserTableSettings, "");
    if (text.empty()) {
      ShowMessage(Msg(3120), kMsgTitle, MsgButtons::Ok, MsgIcon::Exclamation);
      return false;
    }
    std::unique_ptr<XmlDocument> document;
    XmlFactory* factory = State().services.xml;
    if (factory != nullptr) IgnoreError([&] { document = factory->CreateDocument(); });
    if (!document) {
      ShowMessage(Msg(3121), kMsgTitle, MsgButtons::Ok, MsgIcon::Critical);
      return false;
    }
    if (!document->LoadXml(text)) {
      // A broken document is never taken for an empty one silently.
      ShowMessage(std::string("Die Einstellung '") + setting::kUserTableSettings +
                      "' ist kein wohlgeformtes XML-Dokument; die Betreff-Ausdrücke werden "
                      "nicht verwendet.",
                  kMsgTitle, MsgButtons::Ok, MsgIcon::Exclamation);
      return false;
    }
    auto root = document->SelectSingleNode("TBKLK");
    auto tables = root ? root->SelectSingleNode("Tables") : nullptr;
    if (!tables) return true;
    const int count = tables->ChildCount();
    for (int i = 0; i < count; ++i) {
      auto child = tables->Child(i);
      if (!child || child->NodeName() != "Table") continue;
      std::vector<std::string> values;
      for (const char* attribute : {"Name", "Condition", "Subject"}) {
        auto value = child->Attribute(attribute);
        if (!value) {
          throw AutomationError(
              err::kTypeMismatchRt, kModule,
              std::string("Ein Eintrag 'Table' hat kein Attribut '") + attribute + "'.");
        }
        values.push_back(*value);
      }
      names.push_back(values[0]);
      conditions.push_back(values[1]);
      subjects.push_back(values[2]);
    }
    return true;
  } catch (const AutomationError& e) {
    ReportError(kModule, ".ReadXmlIntoCollections", e);
    return false;
  }
}

std::string GetSubjectExpression(const std::string& sTableName) {
  try {
    std::vector<std::string> names, conditions, subjects;
    if (!ReadXmlIntoCollections(names, conditions, subjects)) return {};
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (names[i] == sTableName) return subjects[i];
    }
  } catch (const AutomationError& e) {
    ReportError(kModule, ".GetSubjectExpression", e);
  }
  return {};
}

void CreateAppointmentFromActivity(bool& bShowMsg) {
  (void)bShowMsg;  // part of the public call; the behaviour does not depend on it
  try {
    SharedState& s = State();
    HostTable& activity = Need(s.mTblAktivitaeten, kModule);
    FollowHostWindow(activity);
    if (activity.AtEnd()) return;
    s.mOlitems = Need(s.mOlCalFolder, kModule).Items();

    // The calendar is the one of this activity's responsible user, whatever
    // the table is called; it is chosen before anything is written.
    const std::string responsible = FieldText(activity, "Verantwortlich");
    auto calendar = ResponsibleCalendar(responsible);
    if (!calendar) return;

    // The responsible user's appointment stands for the activity, anyone
    // else's for his participant record.
    HostTable* keyTable = &activity;
    std::string id = FieldText(activity, "ID");
    if (!IsCurrentUser(responsible)) {
      HostTable& participants = Need(s.mTblTeilnehmer, kModule);
      std::string participant = ParticipantId(activity);
      if (participant.empty()) {
        const std::string master = activity.Name();
        const std::string user = CurrentUserName();
        const bool added = AddRecord(participants, [&] {
          SetField(participants, "MasterTable", Variant(master));
          SetField(participants, "MasterID", Variant(id));
          SetField(participants, "User", Variant(user));
        });
        if (!added) {
          ShowMessage("Velmora lässt keinen neuen Datensatz in '" + participants.Name() + "' zu.",
                      kMsgTitle, MsgButtons::Ok, MsgIcon::Exclamation);
          return;
        }
        participant = FieldText(participants, "ID");
      }
      keyTable = &participants;
      id = participant;
    }
    const std::string key = id + keyTable->Name();

    s.mOlCalFolder = calendar;
    s.mOlitems = calendar->Items();
    auto appointment = FindAppointmentByVelSearch(*s.mOlitems, key);
    const bool isNew = !appointment;

    // A contact that cannot be found after it was made available leaves the
    // appointment without a link; a failed step ends here.
    std::shared_ptr<OlItem> contact;
    if (isNew && s.bAdressIsMaster) {
      bool made = false;
      contact = MakeContactAvailableSteps(true, made);
      if (!made) return;
      s.mOlitems = calendar->Items();
    }
    if (!appointment) appointment = s.mOlitems->Add(OlItemType::Appointment);
    // Without its link properties (Outlook offline) the appointment is not
    // written at all, and nothing claims that it was.
    if (!ConfigAppointmentItem(Need(appointment, kModule))) return;
    if (IsRecurring(*appointment)) return;

    AppointmentFill fill;
    fill.subject = SubjectWithExpression(activity, GetSubjectExpression(activity.Name()));
    fill.allDay = AppointmentFill::AllDay::Never;
    WriteAppointment(*appointment, activity, fill);
    if (isNew && !s.bExportNoAddressLink && contact && OutlookLinksContacts()) {
      appointment->Links()->Add(contact);
    }
    SetUserProp(*appointment, "velTable", keyTable->Name());
    SetUserProp(*appointment, "velID", id);
    SetUserProp(*appointment, "velSearch", key);
    if (keyTable != &activity) {
      keyTable->SelectIndex("ID");
      keyTable->Seek(id);
    }
    EditRecord(*keyTable, [] {});
    appointment->Save();
    if (isNew) CreateSyncLog(key);

    if (ToBoolean(Variant(ReadPrivateSetting(setting::kInfoTerminAnlage, "False")))) {
      ShowMessage(Msg(isNew ? 3106 : 3109), kMsgTitle, MsgButtons::Ok, MsgIcon::Information);
    }
  } catch (const AutomationError& e) {
    ReportError(kModule, ".CreateAppointmentFromActivity", e);
  }
}

void FindAppointmentOfActivity() {
  SharedState& s = State();
  HostTable& activity = Need(s.mTblAktivitaeten, kModule);
  FollowHostWindow(activity);
  if (activity.AtEnd()) return;
  const std::string responsible = FieldText(activity, "Verantwortlich");
  std::string key;
  if (IsCurrentUser(responsible)) {
    key = FieldText(activity, "ID") + activity.Name();
  } else {
    const std::string participant = GetTeilnehmerID(activity);
    if (participant.empty()) {
      ShowMessage(Msg(3108), kMsgTitle, MsgButtons::Ok, MsgIcon::None);
      return;
    }
    key = participant + Need(s.mTblTeilnehmer, kModule).Name();
  }
  // The appointment was written into the responsible user's calendar.
  auto calendar = CalendarOfUser(responsible);
  if (!calendar) calendar = Held(s.mOlCalFolder, kModule);
  s.Listener = NewCalendarListener(calendar, s.PendingContact);
  s.mOlitems = calendar->Items();
  auto appointment = FindAppointmentByVelSearch(*s.mOlitems, key);
  if (!appointment) {
    ShowMessage(Msg(3104), kMsgTitle, MsgButtons::Ok, MsgIcon::None);
    return;
  }
  appointment->Display(true);
}

bool LookupTableHasEntries(const std::string& name) {
  bool list = false;
  IgnoreError([&] { list = Db().GlobalValue(name).IsList(); });
  return list;
}

void ShowCalendarExplorer() {
  auto explorer = Held(Need(State().mOlCalFolder, kModule).GetExplorer(), kModule);
  explorer->Display();
  explorer->SetWindowState(0);
}

void NewOutlookAppointment2(const std::shared_ptr<HostTable>& pTable) {
  LogEntry(kModule, "NewOutlookAppointment2", "Input-parameter: pTable", NothingText(pTable));
  SharedState& s = State();
  s.PendingProcessRef.clear();
  s.PendingProcessTable.clear();
  s.PendingAppointmentType = "Termin";

  HostTable& shown = Need(pTable, kModule);
  HostTable& addresses = Adressen();
  HostTable& persons = Ansprechpartner();
  const bool person = SameIdentifier(shown.Name(), persons.Name());
  if (!person && !SameIdentifier(shown.Name(), addresses.Name())) {
    ShowMessage(Msg(3110), kMsgTitle, MsgButtons::Ok, MsgIcon::Exclamation);
    return;
  }
  if (shown.AtEnd()) return;
  // The work goes on the shared state's tables, positioned on the record the
  // host shows.
  HostTable& table = person ? persons : addresses;
  if (&table != &shown) {
    table.SelectIndex("ID");
    if (!table.Seek(FieldText(shown, "ID"))) return;
  }
  const std::string key = FieldText(table, "ID") + table.Name();
  std::string addressKey;
  if (person) {
    auto master = Held(table.Master(), kModule);
    addressKey = FieldText(*master, "ID") + addresses.Name();
  }

  if (!EnsureVelOutlookFavorit(table)) return;
  if (!addressKey.empty() && !EnsureVelOutlookFavorit(addresses)) return;

  s.mOlitems = Need(s.mOlContactFolder, kModule).Items();
  const auto makeAvailable = [](const std::string& k, int message) {
    if (IsContactInOl(k)) return true;
    if (!MakeNewOlContact(k)) {
      ShowMessage(Msg(message), kMsgTitle, MsgButtons::Ok, MsgIcon::None);
      return false;
    }
    CreateSyncLog(k);
    return true;
  };
  if (!addressKey.empty() && !makeAvailable(addressKey, 3101)) return;
  if (!makeAvailable(key, 3102)) return;

  // The process record the new activity is filed under.
  HostTable& processes = Need(s.mTblVorgaenge, kModule);
  if (!PositionProcess(processes)) return;
  s.PendingProcessRef = processes.RecordReference();
  s.PendingProcessTable = processes.Name();

  s.PendingContact = FindContactByVelSearch(key);
  s.Listener = NewCalendarListener(Held(s.mOlCalFolder, kModule), s.PendingContact);
  s.ListenerArmed = true;

  if (LookupTableHasEntries(kTypeList) && !Db().GlobalValue(kTypeList).ToList().empty()) {
    auto dialog = CreateFrmOLTerminTypeSelect();
    dialog->init(kTypeList);
    Ui().ShowDialog(*dialog);
    // Cancelled: the listener stays armed with the type "Termin".
    if (!dialog->OK()) return;
    const std::string chosen = dialog->SelectedText();
    if (!chosen.empty()) s.PendingAppointmentType = chosen;
  }
  ShowCalendarExplorer();
  LogLeave(kModule, "NewOutlookAppointment2", "");
}

}  // namespace velklk
