// Pieces the appointment procedures share across their files: the names of
// the tables and modules, the field rules between host activities and Outlook
// appointments, the calendar of a host user and the calendar listener.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/auto_date.h"
#include "platform/automation_error.h"

namespace velklk {
class HostTable;
class OlFolder;
class OlItem;
class OlItemsListener;
}  // namespace velklk

namespace velklk::appointments {

inline constexpr const char* kAppointmentModule = "Appointment";
inline constexpr const char* kModAppSync = "modAppSync";
inline constexpr const char* kModAppSync2 = "modAppSync2";
inline constexpr const char* kListenerModule = "CAppointment2";
inline constexpr const char* kParticipants = "calA_Teilnehmer";
inline constexpr const char* kCalendarEntries = "calA_Termine";
inline constexpr const char* kNotFound = "Datensatz wurde nicht gefunden!";
// Outlook's all-day duration of an activity, in days.
inline constexpr double kAllDayDauer = 0.9999;

// --- Field rules ----------------------------------------------------------
// The subject's text after its last "|", the whole subject without one;
// nothing for an empty subject (the caller keeps or fills in a value).
std::optional<std::string> BetreffOfSubject(const std::string& subject);
// A reminder lead given as a fraction of a day, in whole minutes (halves to
// even).
long ReminderMinutes(double fractionOfDay);
// The end of the current activity: "DatumBis" when set, otherwise "Datum"
// plus "Dauer" (a table without "Dauer" ends at "Datum").
AutoDate ActivityEnd(HostTable& activity);
// 1 when the appointment is newer than the host record's "ModifiziertAm", 2
// when the record is newer, 0 when they are in step: first by calendar days,
// then within 5 seconds.
int CompareModified(HostTable& table, OlItem& appointment);
// True when both lie exactly on midnight.
bool IsAllDayEvent(AutoDate start, AutoDate end);
// True for an Outlook older than 2013, whose appointments carry contact
// links (the whole version text compared with "15." as text).
bool OutlookLinksContacts();
// True when the appointment belongs to a recurring series.
bool IsRecurring(const OlItem& item);
AutoDate DateProperty(const OlItem& item, const char* property);

// How WriteAppointment fills an appointment from the current host record.
struct AppointmentFill {
  std::string subject;
  // A calendar entry: no reminder lead, and the sensitivity from
  // "Vertraulich".
  bool calendarEntry = false;
  // AllDayEvent: left alone, set False, or computed from start and end.
  enum class AllDay { Leave, Never, FromTimes } allDay = AllDay::Leave;
};
void WriteAppointment(OlItem& item, HostTable& record, const AppointmentFill& fill);
// The subject of an activity's appointment: the expression's value, "|" and
// "Betreff", or "Betreff" alone for an empty expression.
std::string SubjectWithExpression(HostTable& record, const std::string& expression);

// --- Host records and calendars --------------------------------------------
// The host user's "EMail", empty for an unknown user or one without it.
std::string UserEmail(const std::string& userName);
// The calendar of the host user from the calendar map, or nothing.
std::shared_ptr<OlFolder> CalendarOfUser(const std::string& userName);
// Positions the working table on the record the host window shows in its
// active table of the same name (the working database has cursors of its
// own); leaves it alone when the host shows another table.
void FollowHostWindow(HostTable& working);
// The Betreff of an appointment for a host record that may not stay empty.
std::string BetreffOrPlaceholder(const std::string& subject, const char* placeholder);
// Positions the process table on the process whose "Betreff" is the
// setting's sVorgang (letter case ignored), adding it when there is none.
// False when the host refuses the new process.
bool PositionProcess(HostTable& processes);
// Shows that the host refused a new record for an Outlook item.
void ShowRefusedRecord(const OlItem& item, const std::string& table);

// --- Calendar listener ------------------------------------------------------
// A new listener bound to the items of the calendar, with the pending contact
// (may be nothing) and its busy flag cleared.
std::shared_ptr<OlItemsListener> NewCalendarListener(const std::shared_ptr<OlFolder>& calendar,
                                                     const std::shared_ptr<OlItem>& pendingContact);

}  // namespace velklk::appointments
