// Through the built velklk: a participant's copy by `call`, and the calendar
// listener fired by an appointment entered in a `session`.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "fixtures.h"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

// Runs velklk in the profile folder with the arguments and the input; its
// standard output as lines.
std::vector<std::string> Velklk(const fs::path& profile, const std::string& args,
                                const std::string& input = "") {
  const fs::path in = profile / "input.jsonl";
  std::ofstream(in) << input;
  const std::string command = "VELKLK_LANG=de " + std::string(VELKLK_BINARY_DIR) +
                              "/cli/velklk -p '" + profile.string() + "' " + args + " <'" +
                              in.string() + "' 2>/dev/null";
  std::vector<std::string> lines;
  FILE* pipe = ::popen(command.c_str(), "r");
  char buffer[1 << 16];
  while (pipe && std::fgets(buffer, sizeof buffer, pipe)) {
    lines.emplace_back(buffer);
    lines.back().pop_back();
  }
  if (pipe) ::pclose(pipe);
  return lines;
}

// A demo profile in a fresh folder.
struct Profile {
  static inline int counter = 0;
  fs::path dir = fs::temp_directory_path() /
                 ("velklk-appt-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
  Profile() {
    const std::string init =
        std::string(VELKLK_BINARY_DIR) + "/cli/velklk init '" + dir.string() + "' >/dev/null 2>&1";
    EXPECT_EQ(std::system(init.c_str()), 0);
  }
  ~Profile() { fs::remove_all(dir); }
  Json Dump() { return Json::parse(Velklk(dir, "session", R"({"dump": true})").at(0))["state"]; }
};

// The last line of a command, as JSON (null when it printed nothing).
Json Last(const std::vector<std::string>& lines) {
  return lines.empty() ? Json() : Json::parse(lines.back());
}

Json Records(const Json& dump, const char* table) { return dump["host"]["tables"][table]; }

// True when a record of the table has that value in that field.
bool Has(const Json& dump, const char* table, const char* field, const std::string& value) {
  const Json records = Records(dump, table);
  return std::any_of(records.begin(), records.end(),
                     [&](const Json& r) { return r.value(field, Json()) == value; });
}

TEST(AppointmentCli, ParticipantCopyIsRewrittenAndDeletedAlone) {
  Profile p;
  std::ofstream(p.dir / "fixture.json")
      << velklk::test::DeskFixture({velklk::test::Fixture(velklk::test::kParticipants)});
  ASSERT_TRUE(Velklk(p.dir, "load '" + (p.dir / "fixture.json").string() + "'").empty());
  const std::string call =
      "--user ANNA call velKLK.CSync AppSync2OL 0000000007 calA_Teilnehmer 0000000004 "
      "Aktivitaeten ''";
  const std::string filter =
      R"('anna@example.com\Kalender' '[velSearch] = "0000000007calA_Teilnehmer"')";
  ASSERT_EQ(Last(Velklk(p.dir, call))["value"], true);
  ASSERT_EQ(Velklk(p.dir, "find " + filter).size(), 1u);
  // The other activity 0000000007 and its address are untouched.
  const Json before = p.Dump();
  EXPECT_FALSE(Has(before, "Adressmerkmale", "@master", "0000000008"));
  EXPECT_EQ(Records(before, "Aktivitaeten")[1]["ModifiziertAm"], "2026-12-01 09:00:00");

  // Changed later in Outlook, the copy is rewritten from the activity.
  Velklk(p.dir, "session", R"({"now": "2026-12-07 10:00:00"}
{"outlook": "change", "folder": "anna@example.com\\Kalender", "find": "[velSearch] = \"0000000007calA_Teilnehmer\"", "set": {"Subject": "Meins"}})");
  ASSERT_EQ(Last(Velklk(p.dir, call))["value"], true);
  EXPECT_EQ(Last(Velklk(p.dir, "find " + filter))["Subject"], "Termin");

  // Deleted in Outlook: only the participant record and its log entry go.
  Velklk(
      p.dir, "session",
      R"({"outlook": "delete", "folder": "anna@example.com\\Kalender", "find": "[velSearch] = \"0000000007calA_Teilnehmer\""})");
  ASSERT_EQ(Last(Velklk(p.dir, call))["value"], true);
  const Json after = p.Dump();
  EXPECT_TRUE(Records(after, "calA_Teilnehmer").empty());
  EXPECT_FALSE(Has(after, "TBKLK_SyncLog", "velSearch", "0000000007calA_Teilnehmer"));
  EXPECT_EQ(Records(after, "Aktivitaeten").size(), 2u);
}

TEST(AppointmentCli, SessionAppointmentEnteredAfterNewOutlookAppointmentBecomesAnActivity) {
  Profile p;
  const auto lines = Velklk(
      p.dir, "session",
      R"({"call": ["velKLK.CAppointment", "NewOutlookAppointment"], "user": "ANNA", "active": "Ansprechpartner", "current": ["Ansprechpartner=0000000011"]}
{"outlook": "add", "folder": "anna.berg@velmora.example\\Kalender", "item": {"class": "appointment", "Subject": "Werksbesuch", "Start": "2026-12-15 09:00:00", "End": "2026-12-15 11:00:00"}}
{"dump": true})");
  ASSERT_GE(lines.size(), 2u);
  const Json state = Json::parse(lines[lines.size() - 2])["state"];
  const Json activities = Records(state, "Aktivitaeten");
  ASSERT_EQ(activities.size(), 3u);
  EXPECT_EQ(activities[2]["Betreff"], "Werksbesuch");
  EXPECT_EQ(activities[2]["Empfaenger"], "Eva Schneider");
}

}  // namespace
