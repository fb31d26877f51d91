// The field rules between host activities or calendar entries and Outlook
// appointments, and the lookups of users, calendars and host windows the
// appointment procedures share.
#include <cmath>

#include "appointments/internal.h"
#include "platform/host.h"
#include "platform/outlook.h"
#include "platform/text_case.h"
#include "session/access.h"
#include "session/helpers.h"
#include "session/shared_state.h"

namespace velklk::appointments {

std::optional<std::string> BetreffOfSubject(const std::string& subject) {
  if (subject.empty()) return std::nullopt;
  const std::size_t bar = subject.rfind('|');
  return bar == std::string::npos ? subject : subject.substr(bar + 1);
}

std::string BetreffOrPlaceholder(const std::string& subject, const char* placeholder) {
  return BetreffOfSubject(subject).value_or(placeholder);
}

long ReminderMinutes(double fractionOfDay) {
  const double minutes = fractionOfDay * 1440.0;
  if (!std::isfinite(minutes) || std::fabs(minutes) > 1e9) {
    throw AutomationError(err::kInvalidProcedureCall, kAppointmentModule,
                          "Der Voralarm liegt außerhalb des gültigen Bereichs.");
  }
  // A fraction such as 15/1440 comes back a hair off the whole or half
  // minute it stands for; that noise goes first, so that a true half rounds
  // to its even neighbour (the default rounding of nearbyint).
  const double rounded = std::nearbyint(std::round(minutes * 1e6) / 1e6);
  return static_cast<long>(rounded);
}

AutoDate ActivityEnd(HostTable& activity) {
  const AutoDate start = activity.Field("Datum")->Value().ToDate();
  const AutoDate bis = activity.Field("DatumBis")->Value().ToDate();
  if (bis.Value() != 0.0) return bis;
  const double dauer =
      activity.FieldExists("Dauer") ? activity.Field("Dauer")->Value().ToDouble() : 0.0;
  return AutoDate(start.Value() + dauer);
}

bool IsAllDayEvent(AutoDate start, AutoDate end) {
  const DateParts s = start.Parts();
  const DateParts e = end.Parts();
  return s.hour == 0 && s.minute == 0 && s.second == 0 && e.hour == 0 && e.minute == 0 &&
         e.second == 0;
}

bool OutlookLinksContacts() {
  const auto& app = State().mOlApp;
  return Need(app, kAppointmentModule).Version() < std::string("15.");
}

bool IsRecurring(const OlItem& item) { return item.Get("RecurrenceState").ToLong() != 0; }

AutoDate DateProperty(const OlItem& item, const char* property) {
  return item.Get(property).ToDate();
}

std::string SubjectWithExpression(HostTable& record, const std::string& expression) {
  const std::string betreff = FieldText(record, "Betreff");
  if (expression.empty()) return betreff;
  return EvaluateText(record, expression) + "|" + betreff;
}

void WriteAppointment(OlItem& item, HostTable& record, const AppointmentFill& fill) {
  const AutoDate start = record.Field("Datum")->Value().ToDate();
  // A calendar entry without "DatumBis" ends like an activity, not on the
  // zero date.
  const AutoDate end = ActivityEnd(record);
  const bool done = record.Field("Erledigt")->Value().ToBool();
  item.Set("Subject", Variant(fill.subject));
  item.Set("Body", Variant(FieldText(record, "Memo")));
  if (fill.allDay == AppointmentFill::AllDay::Never) item.Set("AllDayEvent", Variant(false));
  item.Set("Start", Variant(start));
  item.Set("End", Variant(end));
  if (fill.allDay == AppointmentFill::AllDay::FromTimes)
    item.Set("AllDayEvent", Variant(IsAllDayEvent(start, end)));
  const long minutes =
      fill.calendarEntry ? 0 : ReminderMinutes(record.Field("Voralarm")->Value().ToDouble());
  item.Set("ReminderMinutesBeforeStart", Variant(minutes));
  item.Set("ReminderSet", Variant(!done));
  if (fill.calendarEntry) {
    const bool confidential = record.Field("Vertraulich")->Value().ToBool();
    item.Set("Sensitivity", Variant(confidential ? kOlPrivate : kOlNormal));
  }
}

std::string UserEmail(const std::string& userName) {
  if (userName.empty()) return {};
  auto user = Db().User(userName);
  if (!user || !user->PropertyExists("EMail")) return {};
  const Variant value = user->Property("EMail");
  if (value.IsObject() || value.IsList()) return {};
  return value.ToText();
}

std::shared_ptr<OlFolder> CalendarOfUser(const std::string& userName) {
  const std::string email = UserEmail(userName);
  if (email.empty()) return nullptr;
  const auto& folders = State().CalendarFolders;
  auto found = folders.find(email);
  return found == folders.end() ? nullptr : found->second;
}

void FollowHostWindow(HostTable& working) {
  const auto& app = State().mAPP;
  if (!app) return;
  auto shown = app->ActiveTable();
  if (!shown || shown.get() == &working || !SameIdentifier(shown->Name(), working.Name())) return;
  const std::string id = shown->AtEnd() ? std::string() : FieldText(*shown, "ID");
  const std::string previous = working.SelectIndex("ID");
  // An empty ID finds nothing and leaves the table at its end, as the
  // window shows no record.
  working.Seek(id);
  working.SelectIndex(previous);
}

bool PositionProcess(HostTable& processes) {
  const std::string& subject = State().sVorgang;
  for (bool more = processes.MoveFirst(); more && !processes.AtEnd(); more = processes.Move(1)) {
    if (EqualsNoCase(FieldText(processes, "Betreff"), subject)) return true;
  }
  return AddRecord(processes, [&] { SetField(processes, "Betreff", Variant(subject)); });
}

void ShowRefusedRecord(const OlItem& item, const std::string& table) {
  ShowMessage("Der Termin '" + item.Get("Subject").ToText() +
                  "' wurde nicht übernommen: Velmora lässt keinen neuen Datensatz in '" + table +
                  "' zu.",
              kMsgTitle, MsgButtons::Ok, MsgIcon::Exclamation);
}

}  // namespace velklk::appointments
