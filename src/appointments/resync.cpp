// The re-synchronisation of one host record and its appointment, as the host
// asks for it with the activity and the record the appointment stands for
// (the activity itself or a participant record): the appointment is created,
// its deletion in Outlook is carried into the host, or the newer side wins.
#include "appointments/appointments.h"
#include "appointments/internal.h"
#include "contacts/contacts.h"
#include "platform/host.h"
#include "platform/outlook.h"
#include "platform/text_case.h"
#include "session/access.h"
#include "session/delete_guard.h"
#include "session/helpers.h"
#include "session/link_properties.h"
#include "session/shared_state.h"

namespace velklk {

using namespace appointments;

namespace {

constexpr const char* kModule = kModAppSync2;
// Appointments and host records within this many seconds of each other (on
// the same calendar day) are in step.
constexpr long long kToleranceSeconds = 5;

bool IsCalendarEntryTable(const std::string& table) {
  return SameIdentifier(table, kCalendarEntries);
}

// True when the appointment stands for a participant record, not for the
// activity itself.
bool ForParticipant() {
  const SharedState& s = State();
  return !SameIdentifier(s.sOlTable, s.sActivityTable);
}

std::string Key() { return State().sOLID + State().sOlTable; }

void WriteLink(OlItem& item) {
  const SharedState& s = State();
  SetUserProp(item, "velTable", s.sOlTable);
  SetUserProp(item, "velID", s.sOLID);
  SetUserProp(item, "velSearch", Key());
}

bool CreateAppointment(HostTable& record, const std::shared_ptr<OlItem>& pContact,
                       bool calendarEntry, const char* procedure) {
  try {
    SharedState& s = State();
    auto item = Held(Need(s.mOlitems, kModule).Add(OlItemType::Appointment), kModule);
    if (!ConfigAppointmentItem(*item)) return false;
    AppointmentFill fill;
    fill.subject = SubjectWithExpression(record, s.sSubjectExpression);
    fill.calendarEntry = calendarEntry;
    WriteAppointment(*item, record, fill);
    WriteLink(*item);
    if (!calendarEntry && !s.bExportNoAddressLink && pContact && OutlookLinksContacts()) {
      item->Links()->Add(pContact);
    }
    EditRecord(record, [] {});
    item->Save();
    return true;
  } catch (const AutomationError& e) {
    ReportError(kModule, procedure, e);
    return false;
  }
}

// Rewrites the appointment from the host record (the host wins).
void WriteFromHost(OlItem& item, HostTable& record, bool calendarEntry) {
  AppointmentFill fill;
  fill.calendarEntry = calendarEntry;
  fill.allDay = AppointmentFill::AllDay::FromTimes;
  // A participant's copy of a calendar entry shows its type before the
  // subject.
  fill.subject = calendarEntry && ForParticipant()
                     ? FieldText(record, "Typ") + "|" + FieldText(record, "Betreff")
                     : SubjectWithExpression(record, State().sSubjectExpression);
  WriteAppointment(item, record, fill);
}

// Writes the host record from the appointment (Outlook wins), when the host
// lets the record be edited.
void WriteFromOutlook(OlItem& item, HostTable& record, bool calendarEntry) {
  EditRecord(record, [&] {
    if (auto betreff = BetreffOfSubject(item.Get("Subject").ToText()))
      SetField(record, "Betreff", Variant(*betreff));
    SetField(record, "Memo", item.Get("Body"));
    SetField(record, "Datum", Variant(DateProperty(item, "Start")));
    SetField(record, "DatumBis", Variant(DateProperty(item, "End")));
    if (!calendarEntry) {
      SetField(
          record, "VorAlarm",
          Variant(static_cast<double>(item.Get("ReminderMinutesBeforeStart").ToLong()) / 1440.0));
    }
    SetField(record, "Erledigt", Variant(!item.Get("ReminderSet").ToBool()));
    if (calendarEntry) {
      SetField(record, "Vertraulich", Variant(item.Get("Sensitivity").ToLong() == kOlPrivate));
    }
  });
}

bool SyncAppointment(OlItem& item, HostTable& record, bool calendarEntry, const char* procedure) {
  try {
    // A recurring series is never touched.
    if (IsRecurring(item)) return true;
    if (ForParticipant()) {
      WriteFromHost(item, record, calendarEntry);
      item.Save();
      return true;
    }
    switch (appointments::CompareModified(record, item)) {
      case 1:
        WriteFromOutlook(item, record, calendarEntry);
        item.Save();
        break;
      case 2:
        WriteFromHost(item, record, calendarEntry);
        EditRecord(record, [] {});
        item.Save();
        break;
      default:
        break;
    }
    return true;
  } catch (const AutomationError& e) {
    ReportError(kModule, procedure, e);
    return false;
  }
}

}  // namespace

namespace appointments {

int CompareModified(HostTable& table, OlItem& appointment) {
  const AutoDate h = table.Field("ModifiziertAm")->Value().ToDate();
  const AutoDate o = DateProperty(appointment, "LastModificationTime");
  const long long days = DayDiff(o, h);
  if (days < 0) return 1;
  if (days > 0) return 2;
  const long long seconds = SecondDiff(o, h);
  if (seconds < -kToleranceSeconds) return 1;
  if (seconds > kToleranceSeconds) return 2;
  return 0;
}

}  // namespace appointments

bool CreateOrSyncAppointment(const std::shared_ptr<OlItem>& pContact) {
  try {
    SharedState& s = State();
    auto activityTable = Held(Db().Table(s.sActivityTable), kModule);
    HostTable& activity = *activityTable;
    activity.SelectIndex("ID");
    if (!activity.Seek(s.sActivityID)) {
      ShowMessage(kNotFound, "", MsgButtons::Ok, MsgIcon::None);
      return false;
    }
    const bool participant = ForParticipant();
    HostTable& participants = Need(s.mTblTeilnehmer, kModule);
    if (participant) {
      // The appointment stands for the activity or for a participant record;
      // a record of any other table is not one of ours.
      participants.SelectIndex("ID");
      if (!SameIdentifier(s.sOlTable, participants.Name()) || !participants.Seek(s.sOLID)) {
        ShowMessage(kNotFound, "", MsgButtons::Ok, MsgIcon::None);
        return false;
      }
    }
    const std::string key = Key();
    const bool calendarEntry = IsCalendarEntryTable(s.sActivityTable);

    auto calendar = CalendarOfUser(FieldText(activity, "Verantwortlich"));
    if (!calendar) return false;
    s.mOlCalFolder = calendar;
    s.mOlitems = Held(calendar->Items(), kModule);
    auto item = FindAppointmentByVelSearch(*s.mOlitems, key);

    if (!item) {
      HostTable& log = SyncLog();
      log.SelectIndex("SyncSearch");
      if (log.Seek(CurrentUserName() + key)) {
        // The appointment was exported and the user deleted it in Outlook.
        if (participant) {
          if (!MayDeleteFromTable(participants, 1)) return true;
          participants.DeleteCurrent();
        } else if (s.bDeleteActivities) {
          if (!MayDeleteFromTable(activity, 1)) return true;
          activity.DeleteCurrent();
        } else {
          return true;
        }
        DeleteSyncLog(key);
        return true;
      }
      const bool created =
          calendarEntry
              ? CreateAppointment(activity, nullptr, true, ".CreatePrivateAppointment")
              : CreateAppointment(activity, pContact, false, ".CreateActivityAppointment");
      return created && CreateSyncLog(key);
    }
    return calendarEntry ? SyncAppointment(*item, activity, true, ".SyncPrivateAppointment")
                         : SyncAppointment(*item, activity, false, ".SyncActivityAppointment");
  } catch (const AutomationError& e) {
    ReportError(kModule, ".CreateOrSyncAppointment", e);
    return false;
  }
}

bool AppSyncVelToOl() {
  bool result = false;
  try {
    SharedState& s = State();
    // The activity is found by its own ID; the record the appointment stands
    // for (a participant record for a participant's copy) is looked up by
    // the re-synchronisation.
    HostTable& activity = Need(s.mTblAktivitaeten, "velKLK");
    activity.SelectIndex("ID");
    if (!activity.Seek(s.sActivityID)) {
      ShowMessage(kNotFound, "", MsgButtons::Ok, MsgIcon::None);
      return false;
    }
    std::shared_ptr<OlItem> contact;
    if (s.bAdressIsMaster) contact = MakeContactAvailable();
    result = CreateOrSyncAppointment(contact);
  } catch (const AutomationError& e) {
    ReportError(kModAppSync, ".AppSyncVelToOl", e);
  }
  return result;
}

}  // namespace velklk
