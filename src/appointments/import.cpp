// The import of appointments entered in Outlook: every calendar of the
// calendar map is walked over a date range; appointments of contacts that
// came from the host become activities, the others calendar entries, and
// appointments whose host record is gone are removed.
#include "appointments/appointments.h"
#include "appointments/internal.h"
#include "contacts/contacts.h"
#include "diagnostics/text_helpers.h"
#include "platform/host.h"
#include "platform/outlook.h"
#include "platform/text_case.h"
#include "session/access.h"
#include "session/delete_guard.h"
#include "session/helpers.h"
#include "session/link_properties.h"
#include "session/progress.h"
#include "session/shared_state.h"
#include "session/startup.h"

namespace velklk {

using namespace appointments;

namespace {

constexpr const char* kModule = kModAppSync;

// What became of one appointment; Stop ends the run (an Outlook that cannot
// take link properties refuses them for every further appointment too).
enum class Imported { Done, Skipped, Stop };

// The settings of one run, read afresh each time: a blacklist that was
// cleared filters nothing any more.
struct ImportRun {
  std::string standardType;
  std::vector<std::string> blacklist;
  // Appointments left alone for a link this database does not know; shown
  // in one message at the end of the run.
  std::vector<std::string> unknownLinks;
};

void AddAndRemoveTenants(HostTable& master, HostTable& table) { table.CopyTenantsFrom(master); }

// True when some user's sync log holds the key: the record behind it was
// exported from this database.
bool ExportedFromHere(const std::string& key) {
  if (key.empty()) return false;
  HostTable& log = SyncLog();
  HostDatabase& db = Db();
  log.SelectIndex("SyncSearch");
  const int users = db.UserCount();
  for (int i = 0; i < users; ++i) {
    auto user = db.UserAt(i);
    if (user && log.Seek(user->Name() + key)) return true;
  }
  return false;
}

// An appointment left alone because its link names a table or a record this
// database does not know: collected for the message at the end of the run,
// or shown at once without a collector.
void NoteUnknownLink(const OlItem& item, const std::string& what, std::vector<std::string>* notes) {
  const std::string line = "'" + item.Get("Subject").ToText() + "': " + what;
  if (notes) {
    notes->push_back(line);
    return;
  }
  ShowMessage("Der Termin " + line + "; er bleibt unverändert.", kMsgTitle, MsgButtons::Ok,
              MsgIcon::Exclamation);
}

void ShowUnknownLinks(const std::vector<std::string>& notes) {
  if (notes.empty()) return;
  constexpr std::size_t kListed = 20;
  std::string text =
      "Folgende Termine verweisen auf Tabellen oder Datensätze, die diese Velmora-Datenbank "
      "nicht kennt; sie bleiben unverändert:";
  for (std::size_t i = 0; i < notes.size() && i < kListed; ++i) text += "\r\n- " + notes[i];
  if (notes.size() > kListed)
    text += "\r\n(und " + std::to_string(notes.size() - kListed) + " weitere)";
  ShowMessage(text, kMsgTitle, MsgButtons::Ok, MsgIcon::Exclamation);
}

// The host table the link names, or nothing (noted) when the host has no
// table of that name.
std::shared_ptr<HostTable> LinkedTable(const OlItem& item, const std::string& name,
                                       std::vector<std::string>* notes) {
  std::shared_ptr<HostTable> table;
  if (!name.empty() && IgnoreError([&] { table = Db().Table(name); }) && table) return table;
  NoteUnknownLink(item, "Tabelle '" + name + "', die Velmora nicht kennt", notes);
  return nullptr;
}

std::string CalendarUser(const std::string& email) {
  const auto& users = State().CalendarUsers;
  auto found = users.find(email);
  return found == users.end() ? std::string() : found->second;
}

void LinkAppointment(OlItem& item, HostTable& record) {
  const std::string id = FieldText(record, "ID");
  SetUserProp(item, "velTable", record.Name());
  SetUserProp(item, "velID", id);
  SetUserProp(item, "velSearch", id + record.Name());
  item.Save();
  Ui().DoEvents();
}

Imported AddActivityFromAppointment(OlItem& item, OlItem& contact, const std::string& email) {
  try {
    SharedState& s = State();
    HostTable& persons = Ansprechpartner();
    const std::string person = SameIdentifier(UserProp(contact, "velTable"), persons.Name())
                                   ? EvaluateText(persons, "NamePerson()")
                                   : std::string();
    if (!ConfigAppointmentItem(item)) return Imported::Stop;
    HostTable& activity = Need(s.mTblAktivitaeten, kModule);
    const std::string subject = item.Get("Subject").ToText();
    const bool added = AddRecord(activity, [&] {
      SetField(activity, "Typ", Variant("Termin"));
      SetField(activity, "Betreff", Variant(BetreffOrPlaceholder(subject, "??")));
      SetField(activity, "Memo", item.Get("Body"));
      SetField(activity, "Datum", Variant(DateProperty(item, "Start")));
      SetField(activity, "DatumBis", Variant(DateProperty(item, "End")));
      SetField(
          activity, "VorAlarm",
          Variant(static_cast<double>(item.Get("ReminderMinutesBeforeStart").ToLong()) / 1440.0));
      SetField(activity, "Erledigt", Variant(!item.Get("ReminderSet").ToBool()));
      SetField(activity, "Empfaenger", Variant(person));
      if (s.bAktivitaetenFeld1) {
        HostDatabase& db = Db();
        const std::string field = db.GlobalValue("TBKLK_g_AktivitaetenFeld1").ToText();
        const std::string value = db.GlobalExists("TBKLK_g_AktivitaetenWert1")
                                      ? db.GlobalValue("TBKLK_g_AktivitaetenWert1").ToText()
                                      : std::string();
        SetField(activity, field, Variant(value.empty() ? std::string("?") : value));
      }
      const std::string responsible = CalendarUser(email);
      if (!responsible.empty()) SetField(activity, "Verantwortlich", Variant(responsible));
    });
    if (!added) {
      ShowRefusedRecord(item, activity.Name());
      return Imported::Skipped;
    }
    AddAndRemoveTenants(Adressen(), activity);
    LinkAppointment(item, activity);
    return Imported::Done;
  } catch (const AutomationError& e) {
    ReportError(kModule, ".AddActivityFromAppointment", e);
    return Imported::Skipped;
  }
}

Imported AddNewActivityFromOL(OlItem& item, OlItem& contact, const std::string& email) {
  try {
    SharedState& s = State();
    const std::string table = UserProp(contact, "velTable");
    HostTable* host = nullptr;
    if (SameIdentifier(table, Adressen().Name())) {
      host = &Adressen();
    } else if (SameIdentifier(table, Ansprechpartner().Name())) {
      host = &Ansprechpartner();
    }
    if (!host) return Imported::Skipped;
    host->SelectIndex("ID");
    if (!host->Seek(UserProp(contact, "velID"))) return Imported::Skipped;

    // The process record of the contact's address the activity is filed
    // under.
    HostTable& processes = Need(s.mTblVorgaenge, kModule);
    if (!PositionProcess(processes)) {
      ShowRefusedRecord(item, processes.Name());
      return Imported::Skipped;
    }
    AddAndRemoveTenants(Adressen(), processes);
    const Imported result = AddActivityFromAppointment(item, contact, email);
    // Only an appointment that got its activity is logged as exported.
    if (result == Imported::Done) CreateSyncLog(UserProp(item, "velSearch"));
    return result;
  } catch (const AutomationError& e) {
    ReportError(kModule, ".AddNewActivityFromOL", e);
    return Imported::Skipped;
  }
}

Imported AddPrivateActivityFromAppointment(OlItem& item, const std::string& email,
                                           const ImportRun& run) {
  try {
    const std::string subject = item.Get("Subject").ToText();
    if (!subject.empty()) {
      for (const auto& word : run.blacklist) {
        if (ContainsNoCase(subject, word)) return Imported::Skipped;
      }
    }
    if (!ConfigAppointmentItem(item)) return Imported::Stop;
    HostTable& entries = Need(State().mTblTermine, kModule);
    auto user = Held(Db().CurrentUser(), kModule);
    const std::string owner = CalendarUser(email);
    const bool added = AddRecord(entries, [&] {
      SetField(entries, "Typ", Variant(run.standardType));
      SetField(entries, "Betreff", Variant(BetreffOrPlaceholder(subject, "???")));
      SetField(entries, "Memo", item.Get("Body"));
      SetField(entries, "Datum", Variant(DateProperty(item, "Start")));
      SetField(entries, "DatumBis", Variant(DateProperty(item, "End")));
      SetField(entries, "Erledigt", Variant(!item.Get("ReminderSet").ToBool()));
      SetField(entries, "Vertraulich", Variant(item.Get("Sensitivity").ToLong() == kOlPrivate));
      SetField(entries, "Verantwortlich", Variant(owner.empty() ? user->Name() : owner));
      SetField(entries, "Absender", Variant(user->Name2()));
    });
    if (!added) {
      ShowRefusedRecord(item, entries.Name());
      return Imported::Skipped;
    }
    LinkAppointment(item, entries);
    CreateSyncLog(UserProp(item, "velSearch"));
    return Imported::Done;
  } catch (const AutomationError& e) {
    ReportError(kModule, ".AddPrivateActivityFromAppointment", e);
    return Imported::Skipped;
  }
}

// The contact an appointment is linked to (Outlook before 2013 only), or
// nothing. A link whose contact is gone counts as none, like every other
// failure of the look-up, and never ends the run.
std::shared_ptr<OlItem> LinkedContact(OlItem& item) {
  if (!OutlookLinksContacts()) return nullptr;
  std::shared_ptr<OlItem> contact;
  IgnoreError([&] {
    auto links = item.Links();
    if (!links || links->Count() < 1) return;
    auto entry = Held(links->Item(1), kModule)->AddressEntry();
    if (entry) contact = entry->GetContact();
  });
  return contact;
}

// An appointment whose host record is gone, with the participant record of
// it that goes too (when it stood for one); deleted after the walk of its
// calendar, so the guard against mass deletion knows how many go.
struct Orphan {
  std::shared_ptr<OlItem> item;
  std::string key;
  std::string participant;
};

void DeleteOrphan(const Orphan& orphan) {
  if (!orphan.participant.empty()) {
    IgnoreError([&] {
      auto participants = Held(Db().Table(kParticipants), kModule);
      participants->SelectIndex("ID");
      if (participants->Seek(orphan.participant)) participants->DeleteCurrent();
    });
  }
  DeleteSyncLog(orphan.key);
  orphan.item->Delete();
}

Imported ImportOne(const std::shared_ptr<OlItem>& handle, const std::string& email, ImportRun& run,
                   std::vector<Orphan>& orphans) {
  OlItem& item = *handle;
  // Recurring series are never imported, updated or deleted.
  if (item.Class() != olclass::kAppointment || IsRecurring(item)) return Imported::Skipped;
  // A link property left empty (an import that could not finish) counts as
  // no link, so the appointment is imported on the next run.
  const std::string key = UserProp(item, "velSearch");
  if (!key.empty()) {
    std::string participant;
    if (IsStillVelActivity(item, &participant, &run.unknownLinks) == ActivityLink::Gone)
      orphans.push_back({handle, key, participant});
    return Imported::Skipped;
  }
  const SharedState& s = State();
  auto contact = LinkedContact(item);
  const std::string contactKey = contact ? UserProp(*contact, "velSearch") : std::string();
  if (!contactKey.empty()) {
    return s.bImportAktivitaeten ? AddNewActivityFromOL(item, *contact, email) : Imported::Skipped;
  }
  return s.bImportCalaTermine ? AddPrivateActivityFromAppointment(item, email, run)
                              : Imported::Skipped;
}

}  // namespace

ActivityLink IsStillVelActivity(OlItem& appointment, std::string* orphanParticipant,
                                std::vector<std::string>* unknownLinks) {
  try {
    const std::string tableName = UserProp(appointment, "velTable");
    const std::string key = UserProp(appointment, "velSearch");
    auto table = LinkedTable(appointment, tableName, unknownLinks);
    if (!table) return ActivityLink::Unknown;
    table->SelectIndex("ID");
    if (!table->Seek(UserProp(appointment, "velID"))) {
      if (ExportedFromHere(key)) return ActivityLink::Gone;
      // A record of another database (or one this database never wrote)
      // is not ours to judge.
      NoteUnknownLink(appointment,
                      "Datensatz '" + key + "', den diese Velmora-Datenbank nicht kennt",
                      unknownLinks);
      return ActivityLink::Unknown;
    }
    if (SameIdentifier(tableName, kParticipants)) {
      auto master = LinkedTable(appointment, FieldText(*table, "MasterTable"), unknownLinks);
      if (!master) return ActivityLink::Unknown;
      master->SelectIndex("ID");
      if (!master->Seek(FieldText(*table, "MasterID"))) {
        // The participant's activity is gone: so is the participant.
        if (orphanParticipant) {
          *orphanParticipant = FieldText(*table, "ID");
        } else {
          IgnoreError([&] { table->DeleteCurrent(); });
        }
        return ActivityLink::Gone;
      }
    }
    return ActivityLink::Exists;
  } catch (const AutomationError& e) {
    ReportError(kModule, ".IsStillVelActivity", e);
    return ActivityLink::Unknown;
  }
}

bool SyncNewOLAppointments(AutoDate dStartFrom, AutoDate dStartTo) {
  bool result = false;
  ImportRun run;
  try {
    SharedState& s = State();
    run.standardType =
        ReadPrivateSetting(setting::kImportStandardtyp, setting::kDefaultImportStandardtyp);
    for (const auto& word : Split(ReadPrivateSetting(setting::kImportBlacklist, ""), ' ')) {
      if (!word.empty()) run.blacklist.push_back(word);
    }
    const std::string& language = s.services.language;
    const std::string filter = "[Start] >= \"" + ShortDate(dStartFrom, language) +
                               "\" and [Start] <= \"" + ShortDate(dStartTo, language) + "\"";
    const std::vector<std::string> calendars = s.CalendarOrder;
    long total = 0;
    for (const auto& email : calendars) {
      auto folder = s.CalendarFolders.find(email);
      if (folder == s.CalendarFolders.end() || !folder->second) continue;
      auto items = Held(folder->second->Items(), kModule);
      for (auto item = items->Find(filter); item; item = items->FindNext()) ++total;
    }
    RunProgress progress(4011, total);
    for (const auto& email : calendars) {
      auto folder = s.CalendarFolders.find(email);
      if (folder == s.CalendarFolders.end() || !folder->second) continue;
      auto items = Held(folder->second->Items(), kModule);
      s.mOlitems = items;
      std::vector<Orphan> orphans;
      const auto deleteOrphans = [&] {
        if (orphans.empty() ||
            !MayDeleteFromFolder(*folder->second, static_cast<long>(orphans.size())))
          return;
        for (const Orphan& orphan : orphans) DeleteOrphan(orphan);
      };
      for (auto item = items->Find(filter); item; item = items->FindNext()) {
        progress.Step();
        if (ImportOne(item, email, run, orphans) == Imported::Stop) {
          deleteOrphans();
          ShowUnknownLinks(run.unknownLinks);
          return false;
        }
      }
      deleteOrphans();
    }
    result = true;
  } catch (const AutomationError& e) {
    ReportError(kModule, ".SyncNewOLAppointments", e);
  }
  ShowUnknownLinks(run.unknownLinks);
  return result;
}

}  // namespace velklk
