// Feeds arbitrary text to the user table settings ("TBKLK_UserTableSettings")
// as the appointment commands read them: the setting through the host, the
// document through the XML component, the entries into three lists, the
// subject expression of a table, and that expression evaluated on an
// activity. Any text must end in lists or a message to the user, never a
// crash; an expression the user wrote may fail, but only with an automation
// error.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "addin/type_library.h"
#include "appointments/appointments.h"
#include "appointments/internal.h"
#include "platform/automation_error.h"
#include "platform/host.h"
#include "profile/profile.h"
#include "session/shared_state.h"
#include "session/startup.h"
#include "ui/recording_ui.h"

using namespace velklk;

namespace {

constexpr const char* kFixture = R"json({
  "now": "2026-12-06 10:00:00",
  "host": {
    "currentUser": "ANNA",
    "users": [{"name": "ANNA", "properties": {"EMail": "anna@example.com"},
               "settings": {"PREXOLContactPath": "anna@example.com\\Kontakte",
                            "PREXOLCalPath": "anna@example.com\\Kalender",
                            "PREXOLTaskPath": "anna@example.com\\Aufgaben"}}],
    "globals": {"TBKLK_g_Merkmalgruppe": "Kestrelink"},
    "tables": {
      "Adressen": [{"ID": "0000000001", "An": "Firma", "Name": "Muster GmbH"}],
      "Vorgaenge": [{"ID": "0000000003", "@master": "0000000001", "Betreff": "Angebot"}],
      "Aktivitaeten": [{"ID": "0000000004", "@master": "0000000003", "Betreff": "Termin",
                        "Datum": "2026-12-08 10:00:00", "Verantwortlich": "ANNA"}]}},
  "outlook": {"running": true, "version": "16.0.0.0", "stores": [
    {"name": "anna@example.com", "folders": [
      {"name": "Kontakte", "type": 2}, {"name": "Kalender", "type": 1},
      {"name": "Aufgaben", "type": 3}]}]}})json";

[[noreturn]] void Fault(const std::string& what) {
  std::fprintf(stderr, "fuzz_table_settings: %s\n", what.c_str());
  __builtin_trap();
}

// The add-in after its start-up chain, as an appointment command finds it.
struct Desk {
  std::unique_ptr<Profile> profile = Profile::InMemory();
  RecordingUserInterface ui;
  std::unique_ptr<DispatchObject> object;
  std::shared_ptr<HostSettings> settings;
  std::shared_ptr<HostTable> activity;

  Desk() {
    profile->LoadFixture(kFixture);
    ResetState(profile->Services(&ui, "de"));
    object = CreateObject("velKLK.CAppointment");  // the error reporter lives with it
    if (!InitVelData(profile->Host().Application(), false) || !InitOutlook() || !InitTables())
      Fault("the start-up chain failed");
    settings = profile->Host().Database()->CurrentUser()->Settings();
    settings->Add(setting::kUserTableSettings, Variant(std::string("<TBKLK/>")));
    activity = State().mTblAktivitaeten;
    if (!activity || !activity->Seek("0000000004")) Fault("no activity");
  }
};

Desk& TheDesk() {
  static Desk desk;
  return desk;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  Desk& desk = TheDesk();
  desk.ui.Clear();
  desk.settings->SetValue(setting::kUserTableSettings, Variant(text));

  std::vector<std::string> names, conditions, subjects;
  const bool read = ReadXmlIntoCollections(names, conditions, subjects);
  if (names.size() != conditions.size() || names.size() != subjects.size())
    Fault("the three lists differ in length");
  // A document that is not taken is always explained to the user.
  const bool shown = !desk.ui.MessageBoxes().empty();
  if (read == shown)
    Fault(read ? "lists read, yet a message was shown" : "nothing read and nothing shown");
  if (!read) return 0;

  for (std::size_t i = 0; i < names.size(); ++i) {
    std::size_t first = 0;
    while (names[first] != names[i]) ++first;
    if (GetSubjectExpression(names[i]) != subjects[first])
      Fault("the subject expression of '" + names[i] + "' is not its first entry's");
  }
  for (std::size_t i = 0; i < subjects.size() && i < 8; ++i) {
    try {
      const std::string subject = appointments::SubjectWithExpression(*desk.activity, subjects[i]);
      if (!subjects[i].empty() && !subject.ends_with("|Termin"))
        Fault("the subject '" + subject + "' lost the activity's Betreff");
    } catch (const AutomationError&) {
    }
  }
  return 0;
}
