// The CPU cost per item of the calendar codecs: a typical appointment and a
// typical task of the add-in, read and written again (what a received item
// and the next send of it cost), and an appointment as another client writes
// it read and written again, each beside libical parsing the same text
// alone (parse and free). Prints the ratios; the target is at most 2.
#include <benchmark/benchmark.h>
#include <libical/ical.h>

#include <cstdio>
#include <map>
#include <string>

#include "outlook/values.h"
#include "server/ical_codec.h"

namespace velklk::server {
namespace {

int Id(const char* name) { return *outlook::FindProperty(name); }

const ItemKindCodec& Events() {
  static const auto codec = MakeEventCodec("Europe/Berlin");
  return *codec;
}
const ItemKindCodec& Tasks() {
  static const auto codec = MakeTaskCodec("Europe/Berlin");
  return *codec;
}

const std::chrono::sys_seconds kRevision{std::chrono::seconds(1806739200)};

std::string AddInEvent() {
  outlook::ItemData a;
  a.Put(Id("Subject"), std::string("Jahresgespräch Kestrel Partner GmbH"));
  a.Put(Id("Location"), std::string("Lindenstraße 5, Berlin"));
  a.Put(Id("Body"), std::string("Agenda:\r\n1. Rückblick\r\n2. Planung 2028"));
  a.Put(Id("Start"), AutoDate::FromParts(2027, 4, 5, 10));
  a.Put(Id("End"), AutoDate::FromParts(2027, 4, 5, 11, 30));
  a.Put(Id("Categories"), std::string("Kunde"));
  a.Put(Id("ReminderSet"), true);
  a.Put(Id("ReminderMinutesBeforeStart"), std::int64_t{15});
  a.user = {{"velSearch", OlUserPropertyType::Text, std::string("4711Aktivitaeten")},
            {"velTable", OlUserPropertyType::Text, std::string("Aktivitaeten")},
            {"velID", OlUserPropertyType::Text, std::string("4711")}};
  a.links = {{"00000000A71C6B19E4D3425F0000000000000007", "Anna Schulz"}};
  return Events().Encode(a, "00000000A71C6B19E4D3425F0000000000000042", kRevision, 1).text;
}

std::string AddInTask() {
  outlook::ItemData t;
  t.Put(Id("Subject"), std::string("Angebot nachfassen"));
  t.Put(Id("Body"), std::string("Rückruf vereinbart."));
  t.Put(Id("StartDate"), AutoDate::FromParts(2027, 4, 5));
  t.Put(Id("DueDate"), AutoDate::FromParts(2027, 4, 9));
  t.Put(Id("Status"), std::int64_t{1});
  t.Put(Id("PercentComplete"), std::int64_t{50});
  t.Put(Id("ReminderSet"), true);
  t.Put(Id("ReminderTime"), AutoDate::FromParts(2027, 4, 8, 9));
  t.Put(Id("TotalWork"), std::int64_t{90});
  t.user = {{"velSearch", OlUserPropertyType::Text, std::string("815Aufgaben")},
            {"velTable", OlUserPropertyType::Text, std::string("Aufgaben")},
            {"velID", OlUserPropertyType::Text, std::string("815")}};
  return Tasks().Encode(t, "00000000A71C6B19E4D3425F0000000000000043", kRevision, 1).text;
}

const std::string kOtherClient =
    "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Other Client//EN\r\n"
    "BEGIN:VTIMEZONE\r\nTZID:Europe/Berlin\r\nBEGIN:STANDARD\r\nDTSTART:19701025T030000\r\n"
    "RRULE:FREQ=YEARLY;BYDAY=-1SU;BYMONTH=10\r\nTZNAME:CET\r\nTZOFFSETFROM:+0200\r\n"
    "TZOFFSETTO:+0100\r\nEND:STANDARD\r\nBEGIN:DAYLIGHT\r\nDTSTART:19700329T020000\r\n"
    "RRULE:FREQ=YEARLY;BYDAY=-1SU;BYMONTH=3\r\nTZNAME:CEST\r\nTZOFFSETFROM:+0100\r\n"
    "TZOFFSETTO:+0200\r\nEND:DAYLIGHT\r\nEND:VTIMEZONE\r\n"
    "BEGIN:VEVENT\r\nUID:5B1F2C44-8E9A-4C1B-9A0B-1D2E3F405162\r\nDTSTAMP:20270401T080000Z\r\n"
    "CREATED:20270401T080000Z\r\nLAST-MODIFIED:20270401T080000Z\r\nSEQUENCE:2\r\n"
    "SUMMARY:Team meeting\r\nLOCATION:Room 4\r\nDTSTART;TZID=Europe/Berlin:20270405T100000\r\n"
    "DTEND;TZID=Europe/Berlin:20270405T110000\r\nRRULE:FREQ=WEEKLY;BYDAY=MO\r\n"
    "ATTENDEE;CN=Anna;PARTSTAT=ACCEPTED:mailto:anna@example.org\r\n"
    "ORGANIZER;CN=Ben:mailto:ben@example.org\r\nBEGIN:VALARM\r\nACTION:DISPLAY\r\n"
    "DESCRIPTION:Reminder\r\nTRIGGER:-PT15M\r\nEND:VALARM\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";

void RoundTrip(benchmark::State& state, const ItemKindCodec& codec, const std::string& text) {
  for (auto _ : state) {
    auto got = codec.Decode(text, {});
    benchmark::DoNotOptimize(codec.Encode(got.data, *got.uid, kRevision, got.sequence + 1));
  }
}

void Parse(benchmark::State& state, const std::string& text) {
  for (auto _ : state) {
    icalcomponent* c = icalparser_parse_string(text.c_str());
    benchmark::DoNotOptimize(c);
    icalcomponent_free(c);
  }
}

void BM_AppointmentCodec(benchmark::State& s) { RoundTrip(s, Events(), AddInEvent()); }
void BM_AppointmentLibicalParse(benchmark::State& s) { Parse(s, AddInEvent()); }
void BM_TaskCodec(benchmark::State& s) { RoundTrip(s, Tasks(), AddInTask()); }
void BM_TaskLibicalParse(benchmark::State& s) { Parse(s, AddInTask()); }
void BM_OtherClientsSeriesCodec(benchmark::State& s) { RoundTrip(s, Events(), kOtherClient); }
void BM_OtherClientsSeriesLibicalParse(benchmark::State& s) { Parse(s, kOtherClient); }
BENCHMARK(BM_AppointmentCodec);
BENCHMARK(BM_AppointmentLibicalParse);
BENCHMARK(BM_TaskCodec);
BENCHMARK(BM_TaskLibicalParse);
BENCHMARK(BM_OtherClientsSeriesCodec);
BENCHMARK(BM_OtherClientsSeriesLibicalParse);

// Keeps each run's CPU time per iteration for the ratios.
class Reporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs)
      if (r.run_type == Run::RT_Iteration && r.iterations > 0)
        cpu[r.benchmark_name()] = r.GetAdjustedCPUTime();
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> cpu;
};

}  // namespace
}  // namespace velklk::server

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  velklk::server::Reporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const char* name : {"Appointment", "Task", "OtherClientsSeries"}) {
    const std::string codec = std::string("BM_") + name + "Codec";
    const std::string parse = std::string("BM_") + name + "LibicalParse";
    if (reporter.cpu.count(codec) && reporter.cpu.count(parse) && reporter.cpu[parse] > 0)
      std::printf("%s: decode+encode / libical parse = %.2f (target at most 2)\n", name,
                  reporter.cpu[codec] / reporter.cpu[parse]);
  }
  benchmark::Shutdown();
  return 0;
}
