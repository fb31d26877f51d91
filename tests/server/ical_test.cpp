// The calendar codecs: an appointment and a task written and read back, what
// other clients send mapped in, the daylight-saving changes of Europe/Berlin,
// a recurring series and unknown content written back unchanged after an
// edit, Windows zone names, and the faults.
#include <gtest/gtest.h>

#include <chrono>

#include "outlook/values.h"
#include "server/ical_codec.h"

namespace velklk::server {
namespace {

using outlook::ItemData;
using outlook::PropValue;

int Id(const char* name) { return *outlook::FindProperty(name); }

PropValue Get(const ItemData& d, const char* name) {
  const PropValue* v = d.Find(Id(name));
  return v ? *v : outlook::Property(Id(name)).defaultValue;
}
AutoDate Date(const ItemData& d, const char* name) { return std::get<AutoDate>(Get(d, name)); }
std::int64_t Int(const ItemData& d, const char* name) {
  return std::get<std::int64_t>(Get(d, name));
}

// The text without its folds.
std::string Unfolded(std::string text) {
  for (std::size_t at; (at = text.find("\r\n ")) != std::string::npos;) text.erase(at, 3);
  return text;
}

bool Has(const std::string& text, const std::string& line) {
  return ("\r\n" + Unfolded(text)).find("\r\n" + line + "\r\n") != std::string::npos;
}

std::string Calendar(const std::string& body) {
  return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Other//EN\r\n" + body + "END:VCALENDAR\r\n";
}
std::string Event(const std::string& lines) {
  return Calendar("BEGIN:VEVENT\r\nUID:e1\r\nDTSTAMP:20270101T000000Z\r\n" + lines +
                  "END:VEVENT\r\n");
}
std::string Todo(const std::string& lines) {
  return Calendar("BEGIN:VTODO\r\nUID:t1\r\nDTSTAMP:20270101T000000Z\r\n" + lines +
                  "END:VTODO\r\n");
}

AutoDate At(int y, int mo, int d, int h = 0, int mi = 0) {
  return AutoDate::FromParts(y, mo, d, h, mi);
}

const std::chrono::sys_seconds kRevision{std::chrono::seconds(1806739200)};  // 2027-04-03 08:00Z

TEST(ICalCodecTest, AppointmentAndTaskBothWays) {
  auto events = MakeEventCodec("Europe/Berlin");
  ItemData a;
  a.Put(Id("Subject"), std::string("Jahresgespräch, Teil 1"));
  a.Put(Id("Location"), std::string("Raum 4"));
  a.Put(Id("Body"), std::string("Zeile 1\r\nZeile 2"));
  a.Put(Id("Start"), At(2027, 4, 5, 10));
  a.Put(Id("End"), At(2027, 4, 5, 11, 30));
  a.Put(Id("Categories"), std::string("Kunde, Wichtig"));
  a.Put(Id("BusyStatus"), std::int64_t{1});
  a.Put(Id("ReminderSet"), true);
  a.Put(Id("ReminderMinutesBeforeStart"), std::int64_t{30});
  a.Put(Id("Sensitivity"), std::int64_t{2});
  a.Put(Id("Importance"), std::int64_t{2});
  a.user = {{"velSearch", OlUserPropertyType::Text, std::string("4711Aktivitaeten")},
            {"velDone", OlUserPropertyType::YesNo, true}};
  a.links = {{"00000000ABCD", "Schulz, Anna"}};
  const auto sent = events->Encode(a, "UID-1", kRevision, 3);
  for (const char* line : {"BEGIN:VEVENT",
                           "UID:UID-1",
                           "SEQUENCE:3",
                           "LAST-MODIFIED:20270403T080000Z",
                           "SUMMARY:Jahresgespräch\\, Teil 1",
                           "LOCATION:Raum 4",
                           "DESCRIPTION:Zeile 1\\nZeile 2",
                           "DTSTART;TZID=Europe/Berlin:20270405T100000",
                           "DTEND;TZID=Europe/Berlin:20270405T113000",
                           "CATEGORIES:Kunde",
                           "CATEGORIES:Wichtig",
                           "TRANSP:OPAQUE",
                           "X-MICROSOFT-CDO-BUSYSTATUS:TENTATIVE",
                           "CLASS:PRIVATE",
                           "PRIORITY:1",
                           "TRIGGER:-PT30M",
                           "ACTION:DISPLAY",
                           "X-VELKLK-velSearch:4711Aktivitaeten",
                           "X-VELKLK-velDone;VALUE=BOOLEAN:TRUE",
                           "X-VELKLK-OL-LINK:00000000ABCD;Schulz, Anna",
                           "BEGIN:VTIMEZONE",
                           "TZID:Europe/Berlin"})
    EXPECT_TRUE(Has(sent.text, line)) << line << "\n" << sent.text;
  EXPECT_EQ(sent.text.find("freeassociation"), std::string::npos);
  EXPECT_EQ(sent.text.find("X-LIC"), std::string::npos);

  const auto back = events->Decode(sent.text, {});
  EXPECT_EQ(back.canonical, sent.canonical);
  EXPECT_EQ(back.uid, "UID-1");
  EXPECT_EQ(back.sequence, 3);
  EXPECT_EQ(back.revision, kRevision);
  for (const char* name :
       {"Subject", "Location", "Body", "Start", "End", "Categories", "BusyStatus", "ReminderSet",
        "ReminderMinutesBeforeStart", "Sensitivity", "Importance"})
    EXPECT_EQ(Get(back.data, name), Get(a, name)) << name;
  EXPECT_EQ(back.data.user.size(), 2u);
  ASSERT_EQ(back.data.links.size(), 1u);
  EXPECT_EQ(back.data.links[0].name, "Schulz, Anna");
  EXPECT_TRUE(back.data.serverKept.empty()) << back.data.serverKept;

  // All day: dates with an exclusive end.
  ItemData day;
  day.Put(Id("Start"), At(2027, 4, 5));
  day.Put(Id("End"), At(2027, 4, 7));
  day.Put(Id("AllDayEvent"), true);
  const auto allDay = events->Encode(day, "UID-2", std::nullopt, 0);
  EXPECT_TRUE(Has(allDay.text, "DTSTART;VALUE=DATE:20270405")) << allDay.text;
  EXPECT_TRUE(Has(allDay.text, "DTEND;VALUE=DATE:20270407"));
  EXPECT_EQ(allDay.text.find("BEGIN:VTIMEZONE"), std::string::npos);
  EXPECT_EQ(Date(events->Decode(Event("DTSTART;VALUE=DATE:20270405\r\n"), {}).data, "End"),
            At(2027, 4, 6));

  // Another client's values.
  const auto other = events->Decode(
      Event("DTSTART:20270405T080000Z\r\nDURATION:PT45M\r\nTRANSP:TRANSPARENT\r\nPRIORITY:3\r\n"
            "CLASS:CONFIDENTIAL\r\nSEQUENCE:7\r\n"),
      {});
  EXPECT_EQ(Date(other.data, "Start"), At(2027, 4, 5, 10));
  EXPECT_EQ(Date(other.data, "End"), At(2027, 4, 5, 10, 45));
  EXPECT_EQ(Int(other.data, "BusyStatus"), 0);
  EXPECT_EQ(Int(other.data, "Importance"), 2);
  EXPECT_EQ(Int(other.data, "Sensitivity"), 3);
  EXPECT_EQ(other.sequence, 7);

  // A task: waiting survives, the reminder is absolute, the work travels.
  auto tasks = MakeTaskCodec("Europe/Berlin");
  ItemData t;
  t.Put(Id("Subject"), std::string("Angebot nachfassen"));
  t.Put(Id("StartDate"), At(2027, 4, 5));
  t.Put(Id("DueDate"), At(2027, 4, 9));
  t.Put(Id("Status"), std::int64_t{3});
  t.Put(Id("PercentComplete"), std::int64_t{20});
  t.Put(Id("ReminderSet"), true);
  t.Put(Id("ReminderTime"), At(2027, 4, 8, 9));
  t.Put(Id("TotalWork"), std::int64_t{90});
  t.Put(Id("Importance"), std::int64_t{0});
  const auto task = tasks->Encode(t, "T-1", kRevision, 1);
  for (const char* line :
       {"BEGIN:VTODO", "SUMMARY:Angebot nachfassen", "DTSTART;VALUE=DATE:20270405",
        "DUE;VALUE=DATE:20270409", "STATUS:NEEDS-ACTION", "X-VELKLK-OL-STATUS:3",
        "PERCENT-COMPLETE:20", "TRIGGER;VALUE=DATE-TIME:20270408T070000Z",
        "X-VELKLK-OL-TOTALWORK:90", "PRIORITY:9"})
    EXPECT_TRUE(Has(task.text, line)) << line << "\n" << task.text;
  const auto taskBack = tasks->Decode(task.text, {});
  EXPECT_EQ(taskBack.canonical, task.canonical);
  for (const char* name : {"Subject", "StartDate", "DueDate", "Status", "PercentComplete",
                           "ReminderSet", "ReminderTime", "TotalWork", "Importance"})
    EXPECT_EQ(Get(taskBack.data, name), Get(t, name)) << name;

  // Completion values move together.
  const auto done = tasks->Decode(Todo("STATUS:COMPLETED\r\nCOMPLETED:20270406T120000Z\r\n"), {});
  EXPECT_EQ(Int(done.data, "Status"), 2);
  EXPECT_EQ(Int(done.data, "PercentComplete"), 100);
  EXPECT_EQ(Get(done.data, "Complete"), PropValue(true));
  EXPECT_EQ(Date(done.data, "DateCompleted"), At(2027, 4, 6, 14));
  const auto full = tasks->Decode(Todo("PERCENT-COMPLETE:100\r\n"), {});
  EXPECT_EQ(Int(full.data, "Status"), 2);
  EXPECT_EQ(Date(full.data, "DateCompleted"), At(2027, 1, 1));
  const auto reopened = tasks->Decode(
      Todo("STATUS:IN-PROCESS\r\nPERCENT-COMPLETE:100\r\nX-VELKLK-OL-STATUS:3\r\n"), {});
  EXPECT_EQ(Int(reopened.data, "Status"), 1);
  EXPECT_EQ(Int(reopened.data, "PercentComplete"), 0);
  EXPECT_EQ(Get(reopened.data, "Complete"), PropValue(false));
}

TEST(ICalCodecTest, DaylightSavingChangesAndOtherZones) {
  auto events = MakeEventCodec("Europe/Berlin");
  // 2027: summer time from 28 March, winter time from 31 October.
  for (const AutoDate day : {At(2027, 3, 29, 10), At(2027, 11, 1, 10)}) {
    ItemData a;
    a.Put(Id("Start"), day);
    a.Put(Id("End"), AutoDate(day.Value() + 1.0 / 24));
    const auto sent = events->Encode(a, "D", std::nullopt, 0);
    EXPECT_TRUE(Has(sent.text,
                    "DTSTART;TZID=Europe/Berlin:" + std::string(day.Value() < At(2027, 6, 1).Value()
                                                                    ? "20270329T100000"
                                                                    : "20271101T100000")))
        << sent.text;
  }
  auto startOf = [&](const std::string& lines) {
    return Date(events->Decode(Event(lines), {}).data, "Start");
  };
  EXPECT_EQ(startOf("DTSTART:20270329T080000Z\r\n"), At(2027, 3, 29, 10));
  EXPECT_EQ(startOf("DTSTART:20271101T090000Z\r\n"), At(2027, 11, 1, 10));
  EXPECT_EQ(startOf("DTSTART:20270328T005900Z\r\n"), At(2027, 3, 28, 1, 59));
  EXPECT_EQ(startOf("DTSTART:20270328T010000Z\r\n"), At(2027, 3, 28, 3));
  EXPECT_EQ(startOf("DTSTART:20271031T005900Z\r\n"), At(2027, 10, 31, 2, 59));
  EXPECT_EQ(startOf("DTSTART:20271031T010000Z\r\n"), At(2027, 10, 31, 2));
  EXPECT_EQ(startOf("DTSTART:20270327T090000Z\r\n"), At(2027, 3, 27, 10));
  EXPECT_EQ(startOf("DTSTART:20271030T090000Z\r\n"), At(2027, 10, 30, 11));
  // Floating: the profile's local time; another zone, built in or with its
  // VTIMEZONE; Windows names.
  EXPECT_EQ(startOf("DTSTART:20270705T100000\r\n"), At(2027, 7, 5, 10));
  EXPECT_EQ(startOf("DTSTART;TZID=America/New_York:20270705T100000\r\n"), At(2027, 7, 5, 16));
  EXPECT_EQ(startOf("DTSTART;TZID=W. Europe Standard Time:20270705T100000\r\n"),
            At(2027, 7, 5, 10));
  EXPECT_EQ(startOf("DTSTART;TZID=\"Eastern Standard Time\":20270105T100000\r\n"),
            At(2027, 1, 5, 16));
  EXPECT_EQ(startOf("DTSTART;TZID=GMT Standard Time:20270705T100000\r\n"), At(2027, 7, 5, 11));
  EXPECT_EQ(startOf("DTSTART;TZID=Pacific Standard Time:20270105T100000\r\n"), At(2027, 1, 5, 19));
  EXPECT_EQ(startOf("DTSTART;TZID=Romance Standard Time:20270105T100000\r\n"), At(2027, 1, 5, 10));
  EXPECT_EQ(startOf("DTSTART;TZID=UTC:20270105T100000\r\n"), At(2027, 1, 5, 11));
  const std::string ownZone =
      "BEGIN:VTIMEZONE\r\nTZID:Office\r\nBEGIN:STANDARD\r\nDTSTART:19700101T000000\r\n"
      "TZOFFSETFROM:+0300\r\nTZOFFSETTO:+0300\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n";
  const std::string inOffice = Calendar(
      ownZone + "BEGIN:VEVENT\r\nUID:z\r\nDTSTART;TZID=Office:20270105T100000\r\nEND:VEVENT\r\n");
  const auto office = events->Decode(inOffice, {});
  EXPECT_EQ(Date(office.data, "Start"), At(2027, 1, 5, 8));
  // Sent back unchanged, with the zone it names, while the start stays.
  ItemData edited = office.data;
  edited.Put(Id("Subject"), std::string("x"));
  const auto again = events->Encode(edited, "z", std::nullopt, 1);
  EXPECT_TRUE(Has(again.text, "DTSTART;TZID=Office:20270105T100000")) << again.text;
  EXPECT_TRUE(Has(again.text, "TZID:Office"));
  edited.Put(Id("Start"), At(2027, 1, 5, 9));
  edited.Put(Id("End"), At(2027, 1, 5, 9));
  EXPECT_TRUE(Has(events->Encode(edited, "z", std::nullopt, 1).text,
                  "DTSTART;TZID=Europe/Berlin:20270105T090000"));
}

TEST(ICalCodecTest, SeriesAndUnknownContentGoBackUnchanged) {
  auto events = MakeEventCodec("Europe/Berlin");
  const std::string series = Calendar(
      "METHOD:PUBLISH\r\nX-WR-CALNAME:Team\r\n"
      "BEGIN:VTIMEZONE\r\nTZID:America/New_York\r\nBEGIN:STANDARD\r\nDTSTART:19701101T020000\r\n"
      "TZOFFSETFROM:-0400\r\nTZOFFSETTO:-0500\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n"
      "BEGIN:VEVENT\r\nUID:s1\r\nDTSTAMP:20270101T000000Z\r\nSEQUENCE:2\r\n"
      "SUMMARY:Jour fixe\r\nDTSTART;TZID=Europe/Berlin:20270104T100000\r\n"
      "DTEND;TZID=Europe/Berlin:20270104T110000\r\nRRULE:FREQ=WEEKLY;BYDAY=MO\r\n"
      "EXDATE;TZID=Europe/Berlin:20270111T100000\r\n"
      "ATTENDEE;CN=Anna;PARTSTAT=ACCEPTED:mailto:anna@example.org\r\n"
      "ATTACH:https://example.org/agenda.pdf\r\nCOLOR:red\r\nX-OTHER-CLIENT:42\r\n"
      "BEGIN:VALARM\r\nACTION:EMAIL\r\nSUMMARY:s\r\nDESCRIPTION:d\r\n"
      "ATTENDEE:mailto:a@example.org\r\nTRIGGER:-P1D\r\nEND:VALARM\r\n"
      "END:VEVENT\r\n"
      "BEGIN:VEVENT\r\nUID:s1\r\nDTSTAMP:20270101T000000Z\r\n"
      "RECURRENCE-ID;TZID=Europe/Berlin:20270118T100000\r\nSUMMARY:Jour fixe (verlegt)\r\n"
      "DTSTART;TZID=Europe/Berlin:20270119T100000\r\nDTEND;TZID=Europe/Berlin:20270119T110000\r\n"
      "END:VEVENT\r\nBEGIN:X-OTHER\r\nX-A:1\r\nEND:X-OTHER\r\n");
  const auto got = events->Decode(series, {});
  EXPECT_EQ(Get(got.data, "IsRecurring"), PropValue(true));
  EXPECT_EQ(Int(got.data, "RecurrenceState"), 1);
  EXPECT_EQ(Date(got.data, "Start"), At(2027, 1, 4, 10));
  EXPECT_EQ(got.sequence, 2);
  ItemData edited = got.data;
  edited.Put(Id("Subject"), std::string("Jour fixe Vertrieb"));
  const auto sent = events->Encode(edited, "s1", std::nullopt, 3);
  for (const char* line :
       {"SUMMARY:Jour fixe Vertrieb", "RRULE:FREQ=WEEKLY;BYDAY=MO",
        "EXDATE;TZID=Europe/Berlin:20270111T100000",
        "RECURRENCE-ID;TZID=Europe/Berlin:20270118T100000", "SUMMARY:Jour fixe (verlegt)",
        "DTSTART;TZID=Europe/Berlin:20270119T100000",
        "ATTENDEE;CN=Anna;PARTSTAT=ACCEPTED:mailto:anna@example.org",
        "ATTACH:https://example.org/agenda.pdf", "COLOR:red", "X-OTHER-CLIENT:42", "ACTION:EMAIL",
        "TRIGGER:-P1D", "METHOD:PUBLISH", "X-WR-CALNAME:Team", "TZID:America/New_York",
        "BEGIN:X-OTHER", "X-A:1", "TZID:Europe/Berlin"})
    EXPECT_TRUE(Has(sent.text, line)) << line << "\n" << sent.text;
  const auto back = events->Decode(sent.text, {});
  EXPECT_EQ(back.canonical, sent.canonical);
  EXPECT_EQ(back.data.serverKept, got.data.serverKept);

  // A rule without end and one with an absurd count are kept, not expanded.
  for (const char* rule : {"RRULE:FREQ=SECONDLY\r\n", "RRULE:FREQ=MINUTELY;COUNT=2000000000\r\n"}) {
    const auto endless =
        events->Decode(Event("DTSTART:20270104T090000Z\r\n" + std::string(rule)), {});
    EXPECT_EQ(Get(endless.data, "IsRecurring"), PropValue(true));
    EXPECT_TRUE(Has(events->Encode(endless.data, "e1", std::nullopt, 0).text,
                    std::string(rule).substr(0, std::string(rule).size() - 2)));
  }
}

std::string ErrorOf(const ItemKindCodec& codec, const std::string& text) {
  try {
    codec.Decode(text, {});
  } catch (const OtherComponentError& e) {
    return std::string("other: ") + e.what();
  } catch (const ICalError& e) {
    return e.what();
  }
  return "";
}

TEST(ICalCodecTest, FaultsAreClearErrors) {
  auto events = MakeEventCodec("Europe/Berlin");
  auto tasks = MakeTaskCodec("Europe/Berlin");
  EXPECT_EQ(ErrorOf(*events, "no calendar"), "the text is not an iCalendar object");
  EXPECT_EQ(ErrorOf(*events, Calendar("BEGIN:VEVENT\r\nUID:x\r\nDTSTART:2027\r\nEND:VEVENT\r\n"))
                .rfind("the calendar object does not parse: ", 0),
            0u);
  EXPECT_EQ(ErrorOf(*events, Calendar("BEGIN:VJOURNAL\r\nUID:j\r\nEND:VJOURNAL\r\n")),
            "the calendar object holds no VEVENT or VTODO");
  EXPECT_EQ(ErrorOf(*events, Todo("SUMMARY:x\r\n")),
            "other: the calendar object is a VTODO (a task), not a VEVENT");
  EXPECT_EQ(ErrorOf(*tasks, Event("DTSTART:20270101T100000Z\r\n")),
            "other: the calendar object is a VEVENT (an event), not a VTODO");
  EXPECT_EQ(ErrorOf(*events, Event("SUMMARY:x\r\n")), "the VEVENT has no DTSTART");
  EXPECT_EQ(ErrorOf(*events, Event("SUMMARY:a\rb\r\n")),
            "the text has a CR that does not end a line");
  EXPECT_EQ(ErrorOf(*events, Calendar("BEGIN:VEVENT\r\nUID:x\r\nEND:VTODO\r\n")),
            "END:VTODO closes BEGIN:VEVENT");
  // A property without a value says nothing: it is left out, not a fault.
  EXPECT_EQ(ErrorOf(*events, Event("DTSTART:20270105T100000Z\r\nLOCATION:\r\n")), "");
  EXPECT_EQ(ErrorOf(*events, Event("DTSTART:20270105T100000Z\r\nDTEND:20270105T090000Z\r\n")),
            "DTEND is before DTSTART");
  EXPECT_EQ(ErrorOf(*events, Event("DTSTART;TZID=Mars/Olympus:20270105T100000\r\n")),
            "DTSTART is in the time zone \"Mars/Olympus\", which is not known and has no "
            "VTIMEZONE");
  EXPECT_EQ(ErrorOf(*events, Event("DTSTART;VALUE=DATE:18991231\r\n")),
            "DTSTART 18991231 is outside the years 1900 to 4500");
  EXPECT_EQ(ErrorOf(*events, Event("DTSTART:20270105T100000Z\r\nDTEND:45010101T000000Z\r\n")),
            "DTEND 45010101T000000 is outside the years 1900 to 4500");
  EXPECT_EQ(ErrorOf(*tasks, Todo("DUE;VALUE=DATE:45020101\r\n")),
            "DUE 45020101 is outside the years 1900 to 4500");
  // An event of 200 years is an event like any other.
  const auto longOne =
      events->Decode(Event("DTSTART;VALUE=DATE:20270101\r\nDTEND;VALUE=DATE:22270101\r\n"), {});
  EXPECT_EQ(Date(longOne.data, "End"), At(2227, 1, 1));
  EXPECT_THROW(MakeEventCodec("Mars/Olympus"), ICalError);
}

}  // namespace
// An empty text user property (the add-in writes "velGroupName" on every
// task it exports, empty for a task without a group) reads back: a task
// exported by TaskSync2OL and changed by a client (todoman keeps the line)
// comes in, and its folder's receive goes on.
TEST(ICalCodecTest, EmptyUserPropertyReadsBack) {
  auto tasks = MakeTaskCodec("Europe/Berlin");
  ItemData t;
  t.Put(Id("Subject"), std::string("Angebot nachfassen"));
  t.user.push_back({"velGroupName", OlUserPropertyType::Text, PropValue(std::string())});
  const auto sent = tasks->Encode(t, "T-2", kRevision, 0);
  EXPECT_NO_THROW(tasks->Decode(sent.text, {})) << sent.text;
}

}  // namespace velklk::server
