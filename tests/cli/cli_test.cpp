// The velklk command, driven as a user drives it: each test runs the built
// program in a fresh profile folder and compares its JSON lines with the
// golden files of tests/cli/golden (VELKLK_UPDATE_GOLDEN=1 rewrites them).
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "appointments/fixtures.h"
#include "support/helpers.h"
#include "support/velklk_command.h"

namespace {

namespace fs = std::filesystem;

using Outcome = velklk::test::CommandRun;
using velklk::test::Velklk;

// Runs velklk and returns what it wrote on standard error.
std::string VelklkErrors(const std::vector<std::string>& args) {
  return Velklk(args, "", true).out;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The milliseconds of a report line differ from run to run.
std::string WithoutTimes(std::string text) {
  static const std::regex ms(R"("ms":[0-9]+)");
  return std::regex_replace(text, ms, R"("ms":0)");
}

void ExpectGolden(const std::string& name, const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(WithoutTimes(text));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  velklk::test::ExpectGolden("cli/golden/" + name, lines);
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("velklk-cli-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Dir() const { return dir_.string(); }
  // The demo profile.
  void InitProfile() {
    fs::create_directories(dir_);
    ASSERT_EQ(Velklk({"init", Profile()}).status, 0);
  }
  // A profile loaded from an inline fixture.
  void LoadProfile(const std::string& fixture) {
    if (!fs::exists(dir_ / "p")) InitProfile();
    std::ofstream(dir_ / "fixture.json") << fixture;
    ASSERT_EQ(Velklk({"-p", Dir() + "/p", "load", (dir_ / "fixture.json").string()}).status, 0);
  }
  std::string Profile() const { return Dir() + "/p"; }
  // velklk on this test's profile.
  Outcome On(std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.begin(), {"-p", Profile()});
    return Velklk(args, input);
  }

  fs::path dir_;
};

// A desk with one user and her three folders; the parts in braces are
// replaced by the test.
std::string Fixture(const std::string& version, const std::string& settings,
                    const std::string& contacts = "") {
  return R"({"now":"2026-12-06 10:00:00",
  "host":{"currentUser":"ANNA","users":[{"name":"ANNA","properties":{"EMail":"anna@example.com"},
    "settings":{)" +
         settings + R"(}}],
    "tables":{"Adressen":[{"ID":"0000000001","An":"Firma","Name":"Muster GmbH"}]}},
  "outlook":{"running":)" +
         std::string(version.empty() ? "false" : "true") + R"(,"version":")" +
         (version.empty() ? "16.0.0.0" : version) + R"(",
    "stores":[{"name":"anna@example.com","folders":[
      {"name":"Kontakte","type":2,"items":[)" +
         contacts + R"(]},
      {"name":"Kalender","type":1},{"name":"Aufgaben","type":3}]}]}})";
}

const std::string kPaths =
    R"("PREXOLContactPath":"anna@example.com\\Kontakte","PREXOLCalPath":"anna@example.com\\Kalender",)"
    R"("PREXOLTaskPath":"anna@example.com\\Aufgaben")";

TEST_F(CliTest, TypeLibraryListing) {
  Outcome run = Velklk({"typelib"});
  EXPECT_EQ(run.status, 0);
  ExpectGolden("typelib.json", run.out);
}

TEST_F(CliTest, DemoProfileAndFirstCall) {
  ASSERT_NO_FATAL_FAILURE(InitProfile());
  EXPECT_EQ(Velklk({"init", Profile()}).status, 1);  // holds a profile already
  Outcome run = On({"--user", "ANNA", "--now", "2026-12-06 10:00:00", "call", "velKLK.CSync",
                    "AddressOrContactSync2OL", "0000000001", "Adressen"});
  EXPECT_EQ(run.status, 0);
  ExpectGolden("demo_first_call.jsonl", run.out);
  // The call's work was committed: the contact and the sync-log entry.
  Outcome found =
      On({"find", "anna.berg@velmora.example\\Kontakte", "[velSearch] = \"0000000001Adressen\""});
  EXPECT_EQ(found.status, 0);
  EXPECT_NE(found.out.find("\"CompanyName\":\"Muster Maschinenbau GmbH\""), std::string::npos)
      << found.out;
  EXPECT_NE(On({"dump", "--host"}).out.find("0000000001Adressen"), std::string::npos);
  // The log of the call lies beside the CRM database.
  const std::string log = ReadFile(fs::path(Profile()) / "Logs" / "velKLK.log");
  EXPECT_NE(log.find("modAppSync, InitOutlook, Leave, , , True"), std::string::npos);
  // A task of the demo profile; the arguments come back as their types.
  run = On({"call", "velKLK.CSync", "TaskSync2OL", "0000000041", "WRTM_Tasks", "False"});
  EXPECT_NE(run.out.find("\n{\"event\":\"result\",\"value\":true,\"args\":[\"<HostApplication>\","
                         "\"0000000041\",\"WRTM_Tasks\",false]}\n"),
            std::string::npos)
      << run.out;
  EXPECT_NE(
      On({"find", "anna.berg@velmora.example\\Aufgaben", "[velSearch] = \"0000000041WRTM_Tasks\""})
          .out.find("\"Subject\":\"Angebot nachfassen\""),
      std::string::npos);
}

// Every failure of the start-up is a case of the add-in's own tests; here
// the command shows the boxes and ends with false.
TEST_F(CliTest, StartupFailuresShowTheirMessageAndEndFalse) {
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"outlook not running", Fixture("", kPaths)},
      {"outlook version 11", Fixture("11.0.0.0", kPaths)},
      {"calendar path not found",
       Fixture(
           "16.0",
           R"("PREXOLContactPath":"anna@example.com\\Kontakte","PREXOLCalPath":"anna@example.com\\Termine;x\\y","PREXOLTaskPath":"anna@example.com\\Aufgaben")")},
  };
  std::string all;
  for (const auto& [name, fixture] : cases) {
    SCOPED_TRACE(name);
    fs::remove_all(dir_);
    LoadProfile(fixture);
    Outcome run = On({"call", "velKLK.CSync", "AddressOrContactSync2OL", "0000000001", "Adressen"});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("{\"event\":\"result\",\"value\":false"), std::string::npos);
    all += std::string("# ") + name + "\n" + run.out;
  }
  ExpectGolden("startup_failures.jsonl", all);
}

TEST_F(CliTest, ExitStatusesAndErrors) {
  ASSERT_NO_FATAL_FAILURE(InitProfile());
  EXPECT_EQ(Velklk({"call", "velKLK.CSync", "SyncContacts2VEL"}).status, 2);  // no profile
  EXPECT_EQ(On({"frobnicate"}).status, 2);
  EXPECT_EQ(On({"--now", "06.12.2026", "call", "velKLK.CSync", "SyncContacts2VEL"}).status, 2);
  EXPECT_EQ(On({"--user", "NIEMAND", "call", "velKLK.CSync", "SyncContacts2VEL"}).status, 2);
  EXPECT_EQ(Velklk({"-p", Dir() + "/none", "dump"}).status, 2);
  // Usage errors, like all errors, are one line on standard error.
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"-p", Profile(), "frobnicate"},
           {"-p", Profile(), "--answer", "vielleicht", "call", "velKLK.CSync", "SyncContacts2VEL"},
           {"call", "velKLK.CSync", "SyncContacts2VEL"},
           {"init"}}) {
    const std::string errors = VelklkErrors(args);
    EXPECT_EQ(errors.rfind("velklk: ", 0), 0u) << errors;
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
  }
  EXPECT_EQ(Velklk({"--help"}).status, 0);
  EXPECT_EQ(Velklk({"call", "--help"}).status, 0);
  Outcome version = Velklk({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "velklk " VELKLK_PROJECT_VERSION "\n");  // the version of project()

  Outcome unknown = On({"call", "velKLK.CSync", "Frobnicate"});
  EXPECT_EQ(unknown.status, 1);
  EXPECT_EQ(WithoutTimes(unknown.out),
            "{\"event\":\"report\",\"host\":{},\"outlook\":{},\"ms\":0}\n"
            "{\"event\":\"error\",\"number\":\"0x80020006\",\"source\":\"velKLK\","
            "\"description\":\"Unknown name: Frobnicate (CSync)\"}\n");
  Outcome count = On({"call", "velKLK.CSync", "TaskSync2OL", "1"});
  EXPECT_EQ(count.status, 1);
  EXPECT_NE(count.out.find("\"number\":\"0x8002000E\""), std::string::npos);
  Outcome type = On({"call", "velKLK.CSync", "SyncTasks2VEL", "vielleicht"});
  EXPECT_EQ(type.status, 1);
  EXPECT_NE(type.out.find("Type mismatch for parameter pbResponsibleGroup (Boolean): "
                          "'vielleicht'"),
            std::string::npos)
      << type.out;

  Outcome badFilter = On({"find", "anna.berg@velmora.example\\Kontakte", "[LastName = \"x\""});
  EXPECT_EQ(badFilter.status, 1);
  EXPECT_EQ(badFilter.out, "");
}

// The command starts without its modules' libraries: a velklk without its
// modules beside it (nor installed) runs every call, and a command that
// needs a module says which one is missing.
TEST_F(CliTest, ACommandLoadsOnlyTheModulesItNeeds) {
  ASSERT_NO_FATAL_FAILURE(InitProfile());
  const fs::path alone = dir_ / "bin" / "velklk";
  fs::create_directories(alone.parent_path());
  fs::copy_file(fs::path(VELKLK_BINARY_DIR) / "cli" / "velklk", alone);
  auto run = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"-p", Profile()});
    return velklk::test::VelklkAt(alone.string(), args, "", true);
  };
  EXPECT_EQ(run({"call", "velKLK.CSync", "SyncContacts2VEL"}).status, 0);
  const Outcome pass = run({"send-receive"});
  EXPECT_EQ(pass.status, 1);
  EXPECT_EQ(pass.out,
            "velklk: send-receive: the server module of velklk is not installed (no "
            "velklk-server.so in " +
                alone.parent_path().string() + " or " +
                (alone.parent_path() / VELKLK_MODULES_FROM_COMMAND).lexically_normal().string() +
                ")\n");
  const Outcome windows = run({"--ui", "qt", "call", "velKLK.CSync", "SyncContacts2VEL"});
  EXPECT_EQ(windows.status, 2);
  EXPECT_EQ(windows.out.rfind("velklk: ", 0), 0u) << windows.out;
  // The command beside its modules loads the server module for the accounts.
  const Outcome accounts = On({"account", "list"});
  EXPECT_EQ(accounts.status, 0);
  EXPECT_EQ(accounts.out, "");
}

// A bad fixture changes nothing (the profile's own tests); here: a dump,
// loaded into another profile and dumped again, gives the same state.
TEST_F(CliTest, FixturesRoundTrip) {
  ASSERT_NO_FATAL_FAILURE(InitProfile());
  const std::string before = On({"dump"}).out;
  ASSERT_FALSE(before.empty());

  // dump, load into another profile, dump again: the same state.
  std::ofstream(dir_ / "state.json") << before;
  ASSERT_EQ(Velklk({"init", Dir() + "/q"}).status, 0);
  ASSERT_EQ(Velklk({"-p", Dir() + "/q", "load", (dir_ / "state.json").string()}).status, 0);
  EXPECT_EQ(Velklk({"-p", Dir() + "/q", "dump"}).out, before);
}

TEST_F(CliTest, LoadMakesAFolderWithoutAProfileIntoOne) {
  fs::create_directories(dir_ / "docs");
  std::ofstream(dir_ / "docs" / "notes.txt") << "Notizen";
  std::ofstream(dir_ / "anna.json") << R"({"now":"2026-12-06 10:00:00",
    "host":{"users":[{"name":"ANNA"}]},
    "outlook":{"stores":[{"name":"anna@example.com","folders":[{"name":"Kontakte","type":2,
      "items":[{"class":"contact","LastName":"Muster","FirstName":"Max"}]}]}]}})";
  std::ofstream(dir_ / "bad.json")
      << R"({"host":{"users":[{"name":"ZOE"}]},"outlook":{"stores":[{"name":"x","folders":[{"name":"f","type":42}]}]}})";
  const auto load = [&](const fs::path& folder, const std::string& fixture) {
    return std::vector<std::string>{"-p", folder.string(), "load", (dir_ / fixture).string()};
  };
  const auto names = [](const fs::path& folder) {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(folder))
      found.push_back(entry.path().filename().string());
    std::sort(found.begin(), found.end());
    return found;
  };
  const fs::path fresh = dir_ / "neu" / "anna";  // neither folder exists yet

  // A bad fixture leaves no half profile behind: the folder is as it was.
  const std::string rejected = VelklkErrors(load(fresh, "bad.json"));
  EXPECT_EQ(Velklk(load(fresh, "bad.json")).status, 1);
  EXPECT_FALSE(fs::exists(dir_ / "neu"));
  EXPECT_EQ(Velklk(load(dir_ / "docs", "bad.json")).status, 1);
  EXPECT_EQ(names(dir_ / "docs"), std::vector<std::string>{"notes.txt"});
  // A file is no profile folder.
  EXPECT_EQ(Velklk(load(dir_ / "docs" / "notes.txt", "anna.json")).status, 2);

  // A good fixture makes the profile, in new folders or beside other files.
  EXPECT_EQ(Velklk(load(fresh, "anna.json")).status, 0);
  EXPECT_EQ(Velklk(load(dir_ / "docs", "anna.json")).status, 0);
  EXPECT_EQ(names(dir_ / "docs"), (std::vector<std::string>{"crm.db", "notes.txt"}));
  Outcome found = Velklk(
      {"-p", fresh.string(), "find", "anna@example.com\\Kontakte", "[LastName] = \"Muster\""});
  EXPECT_EQ(found.status, 0);
  ExpectGolden("load_new_profile.jsonl", "# rejected\n" + rejected + "# found\n" + found.out);
}

TEST_F(CliTest, SessionKeepsTheAddinLoaded) {
  ASSERT_NO_FATAL_FAILURE(InitProfile());
  const std::string commands =
      R"({"call":["velKLK.CSync","AddressOrContactSync2OL","0000000002","Adressen"],"now":"2026-12-06 11:00:00"})"
      "\n"
      R"({"outlook":"add","folder":"anna.berg@velmora.example\\Kontakte","item":{"class":"contact","LastName":"Neu","FirstName":"Nina"}})"
      "\n"
      R"({"outlook":"change","folder":"anna.berg@velmora.example\\Kontakte","find":"[LastName] = \"Neu\"","set":{"CompanyName":"Neu AG"}})"
      "\n"
      "this is not json\n"
      R"({"outlook":"delete","folder":"anna.berg@velmora.example\\Kontakte","find":"[LastName] = \"Fehlt\""})"
      "\n"
      R"({"call":["velKLK.CSync","AddressOrContactSync2OL","0000000002","Adressen"],"answers":["ok"]})"
      "\n"
      // A dialog answer's actions are taken in the order written: select,
      // then OK.
      R"({"call":["velKLK.CSync","SelectOlTaskPath"],"dialogs":[{"select":"anna.berg@velmora.example\\Aufgaben","press":"ok"}]})"
      "\n";
  Outcome run = On({"session"}, commands);
  EXPECT_EQ(run.status, 0);
  ExpectGolden("session.jsonl", run.out);
  Outcome found = On({"find", "anna.berg@velmora.example\\Kontakte", "[CompanyName] = \"Neu AG\""});
  EXPECT_NE(found.out.find("\"FirstName\":\"Nina\""), std::string::npos);
  // The session's CSync remembered its start-up: the second call for the
  // same table went straight to its worker.
  const std::string log = ReadFile(fs::path(Profile()) / "Logs" / "velKLK.log");
  EXPECT_EQ(log.find("InitOutlook, Entry"), log.rfind("InitOutlook, Entry"));
  EXPECT_NE(log.find("InitOutlook, Entry"), std::string::npos);
}

TEST_F(CliTest, ACallWhoseWorkCannotBeSavedIsNotReportedAsDone) {
  ASSERT_NO_FATAL_FAILURE(InitProfile());
  const std::string contacts = "anna.berg@velmora.example\\Kontakte";
  const std::string linked = "[velSearch] = \"0000000001Adressen\"";
  {
    // Another program keeps writing to the profile's database for longer
    // than the command waits for it, so the call's work cannot be done.
    sqlite3* writer = nullptr;
    ASSERT_EQ(sqlite3_open((Profile() + "/crm.db").c_str(), &writer), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(writer, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    Outcome locked =
        On({"--current", "Adressen=0000000001", "call", "velKLK.CMenue", "UpdateAdresse"});
    EXPECT_EQ(locked.status, 1);
    EXPECT_EQ(locked.out.find("\"event\":\"result\""), std::string::npos) << locked.out;
    sqlite3_exec(writer, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(writer);
  }
  EXPECT_EQ(On({"find", contacts, "[LastName] = \"Muster Maschinenbau GmbH\""}).out, "");

  // Without the writer the same call is saved.
  Outcome saved =
      On({"--current", "Adressen=0000000001", "call", "velKLK.CMenue", "UpdateAdresse"});
  EXPECT_EQ(saved.status, 0);
  EXPECT_NE(On({"find", contacts, linked}).out, "");
}

TEST_F(CliTest, SessionRefusesCommandsItCannotRead) {
  ASSERT_NO_FATAL_FAILURE(InitProfile());
  // Lines nested a million levels deep once overflowed the stack.
  const std::string deep = std::string(1000000, '[') + std::string(1000000, ']');
  const std::string commands =
      R"({"call":["velKLK.CSync","SelectOlTaskPath"],"dialogs":[{"select":)" + deep + "}]}\n" +
      R"({"outlook":"add","folder":"anna.berg@velmora.example\\Kontakte","item":{"x":)" + deep +
      "}}\n" + R"({"now":1E400})" + "\n" + R"({"now":"2026-12-06 12:00:00"})" + "\n";
  Outcome run = On({"session"}, commands);
  EXPECT_EQ(run.status, 0);
  const std::string error = R"({"event":"error","number":"0x80070057","source":"velklk.session",)";
  const std::string deepError = error +
                                R"("description":"a command nests deeper than 64 levels"})" + "\n" +
                                R"({"event":"done"})" + "\n";
  // A number beyond the range of a double is no JSON the reader takes.
  const std::string numberError =
      error +
      R"("description":"not a JSON command: [json.exception.out_of_range.406] number overflow parsing '1E400'"})" +
      "\n" + R"({"event":"done"})" + "\n";
  EXPECT_EQ(run.out, deepError + deepError + numberError + R"({"event":"done"})" + "\n");
}

}  // namespace

namespace {

using Json = nlohmann::json;

// The first line of an event in the output; null when there is none.
Json EventLine(const std::string& out, const std::string& event) {
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    Json parsed = Json::parse(line, nullptr, false);
    if (parsed.is_object() && parsed.value("event", "") == event) return parsed;
  }
  return nullptr;
}

// The counts of a report line without the containers in which only property
// definitions changed.
Json Counts(const Json& report) {
  Json counts = Json::object();
  for (const char* half : {"host", "outlook"}) {
    counts[half] = Json::object();
    for (const auto& [name, c] : report.at(half).items()) {
      if (c["created"] == 0 && c["changed"] == 0 && c["deleted"] == 0) continue;
      counts[half][name] = {
          {"created", c["created"]}, {"changed", c["changed"]}, {"deleted", c["deleted"]}};
    }
  }
  return counts;
}

// Records and items of a dump keyed as the report counts them: per host
// table by "ID", per Outlook folder by entry ID.
using Container = std::pair<std::string, std::string>;  // "host" or "outlook", name
std::map<Container, std::map<std::string, Json>> Keyed(const Json& dump) {
  std::map<Container, std::map<std::string, Json>> out;
  for (const auto& [table, records] : dump["host"]["tables"].items())
    for (const auto& r : records) out[{"host", table}][r["ID"].get<std::string>()] = r;
  std::function<void(const Json&, const std::string&)> walk = [&](const Json& folder,
                                                                  const std::string& path) {
    for (const auto& item : folder.value("items", Json::array()))
      out[{"outlook", path}][item["entryId"].get<std::string>()] = item;
    for (const auto& sub : folder.value("folders", Json::array()))
      walk(sub, path + "\\" + sub["name"].get<std::string>());
  };
  for (const auto& store : dump["outlook"]["stores"])
    for (const auto& folder : store["folders"])
      walk(folder, store["name"].get<std::string>() + "\\" + folder["name"].get<std::string>());
  return out;
}

// What the report should count between two dumps.
Json DumpDifference(const std::string& beforeText, const std::string& afterText) {
  auto before = Keyed(Json::parse(beforeText)), after = Keyed(Json::parse(afterText));
  std::set<Container> containers;
  for (const auto& [c, records] : before) containers.insert(c);
  for (const auto& [c, records] : after) containers.insert(c);
  Json diff{{"host", Json::object()}, {"outlook", Json::object()}};
  for (const auto& c : containers) {
    const auto &a = before[c], &b = after[c];
    long created = 0, changed = 0, deleted = 0;
    for (const auto& [key, record] : b) {
      if (!a.count(key))
        ++created;
      else if (a.at(key) != record)
        ++changed;
    }
    for (const auto& [key, record] : a) deleted += b.count(key) ? 0 : 1;
    if (created || changed || deleted)
      diff[c.first][c.second] = {{"created", created}, {"changed", changed}, {"deleted", deleted}};
  }
  return diff;
}

}  // namespace

// A dry run of each bulk command leaves the profile (and its log) as it was
// and tells the same counts as the real run after it; the real run's report
// counts what the dump shows changed, and the journal keeps both.
TEST_F(CliTest, DryRunsUndoEverythingAndReportsCountWhatChanged) {
  ASSERT_NO_FATAL_FAILURE(InitProfile());
  const fs::path logFile = fs::path(Profile()) / "Logs" / "velKLK.log";
  const std::vector<std::vector<std::string>> calls = {
      {"SyncContacts2VEL"},
      {"SyncAppointments2VEL", "2026-12-01", "2026-12-31", "True", "True"},
      {"SyncTasks2VEL", "False"},
      {"ClearContactsVelSearch"}};
  for (const auto& call : calls) {
    SCOPED_TRACE(call[0]);
    std::vector<std::string> args = {"-p",       Profile(), "--user", "ANNA",
                                     "--answer", "yes",     "call",   "velKLK.CSync"};
    args.insert(args.end(), call.begin(), call.end());
    std::vector<std::string> dryArgs = args;
    dryArgs.insert(dryArgs.begin() + 7, "--dry-run");
    const std::string before = On({"dump"}).out;
    const std::string logBefore = ReadFile(logFile);

    const Outcome dry = Velklk(dryArgs);
    EXPECT_EQ(dry.status, 0);
    EXPECT_EQ(On({"dump"}).out, before);
    EXPECT_EQ(ReadFile(logFile), logBefore);
    const Json changes = EventLine(dry.out, "changes");
    const Json dryReport = EventLine(dry.out, "report");
    ASSERT_TRUE(changes.is_object() && dryReport.is_object()) << dry.out;
    EXPECT_EQ(dryReport["dryRun"], true);
    const Json dryCounts = Counts(dryReport);
    for (const auto& [half, containers] : dryCounts.items()) {
      for (const auto& [name, counts] : containers.items()) {
        for (const char* kind : {"created", "changed", "deleted"})
          EXPECT_EQ(changes[half][name][kind].size(), counts[kind].get<std::size_t>()) << name;
      }
    }

    const Outcome real = Velklk(args);
    EXPECT_EQ(real.status, 0);
    const Json report = EventLine(real.out, "report");
    ASSERT_TRUE(report.is_object()) << real.out;
    EXPECT_FALSE(Counts(report)["host"].empty());
    EXPECT_EQ(Counts(report), Counts(dryReport));
    EXPECT_EQ(Counts(report), DumpDifference(before, On({"dump"}).out));
    EXPECT_NE(ReadFile(logFile), logBefore);
  }

  const Outcome journal = Velklk({"report", Profile(), "-n", "4"});
  EXPECT_EQ(journal.status, 0);
  EXPECT_EQ(std::count(journal.out.begin(), journal.out.end(), '\n'), 5) << journal.out;
  const Json summary = EventLine(journal.out, "summary");
  EXPECT_EQ(summary["calls"], 4);
  EXPECT_EQ(summary["dryRuns"], 2);  // the real runs' counts only
  EXPECT_EQ(summary["host"]["TBKLK_SyncLog"]["deleted"], 2);

  // NoOldEntries' deletions, answered in a session: undone, then done.
  LoadProfile(
      Fixture("16.0", kPaths,
              R"({"class":"contact","LastName":"Alt","userProperties":{"velACOID":"{1}"}})"));
  const std::string before = On({"dump"}).out;
  const Outcome session = On(
      {"session"}, R"({"call":["velKLK.CMenue","UpdateAdresse"],"answers":["yes"],"dryRun":true})"
                   "\n"
                   R"({"dump":true})"
                   "\n"
                   R"({"call":["velKLK.CMenue","UpdateAdresse"],"answers":["yes"]})"
                   "\n");
  EXPECT_EQ(EventLine(session.out, "dump")["state"], Json::parse(before));
  const Json deleted = {{"created", 0}, {"changed", 0}, {"deleted", 1}};
  EXPECT_EQ(Counts(EventLine(session.out, "report"))["outlook"]["anna@example.com\\Kontakte"],
            deleted);
  EXPECT_EQ(On({"find", "anna@example.com\\Kontakte", "[LastName] = \"Alt\""}).out, "");
}

// Stale contacts above the guard's limit: No keeps them all and the new
// contact is imported all the same; Yes deletes them; below the limit, and
// with the guard off, they go without a question.
// A new contact and `stale` contacts whose addresses are gone.
std::string StaleContacts(int stale) {
  std::string items =
      R"({"class":"contact","CompanyName":"Neu GmbH","BusinessAddressCity":"Kiel"})";
  for (int i = 1; i <= stale; ++i) {
    items += R"(,{"class":"contact","LastName":"Weg )" + std::to_string(i) +
             R"(","userProperties":{"velSearch":"09000000)" + std::to_string(10 + i) +
             R"(Adressen"}})";
  }
  return items;
}

TEST_F(CliTest, TheGuardAsksBeforeAMassDeletion) {
  auto contacts = StaleContacts;
  struct Case {
    int stale;
    std::string setting;
    const char* answer;
    bool asked;
    int deleted;
  };
  for (const Case& c :
       {Case{60, "", "no", true, 0}, Case{60, "", "yes", true, 60}, Case{40, "", "no", false, 40},
        Case{60, R"(,"TBKLK_DeleteGuard":"0")", "no", false, 60},
        Case{12, R"(,"TBKLK_DeleteGuard":"10;50%")", "no", true, 0}}) {
    SCOPED_TRACE(std::to_string(c.stale) + c.setting + c.answer);
    LoadProfile(Fixture("16.0", kPaths + c.setting, contacts(c.stale)));
    const Outcome run =
        On({"--lang", "en", "--answer", c.answer, "call", "velKLK.CSync", "SyncContacts2VEL"});
    EXPECT_EQ(run.status, 0);
    const Json box = EventLine(run.out, "msgbox");
    EXPECT_EQ(box.is_object(), c.asked) << run.out;
    if (c.asked) {
      EXPECT_EQ(box["title"], "Mass deletion guard");
      EXPECT_EQ(box["buttons"], "yesno");
      EXPECT_EQ(box["default"], 2);
      const std::string n = std::to_string(c.stale);
      EXPECT_NE(box["text"].get<std::string>().find(n + " of " + std::to_string(c.stale + 1) +
                                                    " entries in 'anna@example.com\\Kontakte'"),
                std::string::npos)
          << box;
    }
    const Json report = EventLine(run.out, "report");
    const Json& folder = report["outlook"]["anna@example.com\\Kontakte"];
    EXPECT_EQ(folder["deleted"], c.deleted) << report;
    EXPECT_EQ(report["host"]["Adressen"]["created"], 1) << report;  // the rest went on
    EXPECT_EQ(report.contains("refused"), c.asked && c.deleted == 0) << report;
    if (report.contains("refused")) {
      EXPECT_EQ(report["refused"],
                Json::parse(R"([{"folder":"anna@example.com\\Kontakte","count":)" +
                            std::to_string(c.stale) + R"(,"total":)" + std::to_string(c.stale + 1) +
                            "}]"));
    }
  }
}

// The session keeps the listener armed between its lines: the appointment
// entered after NewOutlookAppointment becomes an activity of the person.
TEST_F(CliTest, SessionAppointmentEnteredAfterNewOutlookAppointmentBecomesAnActivity) {
  ASSERT_NO_FATAL_FAILURE(InitProfile());
  const Outcome run = On(
      {"session"},
      R"({"call": ["velKLK.CAppointment", "NewOutlookAppointment"], "user": "ANNA", "active": "Ansprechpartner", "current": ["Ansprechpartner=0000000011"]}
{"outlook": "add", "folder": "anna.berg@velmora.example\\Kalender", "item": {"class": "appointment", "Subject": "Werksbesuch", "Start": "2026-12-15 09:00:00", "End": "2026-12-15 11:00:00"}}
{"dump": true})");
  const Json activities = EventLine(run.out, "dump")["state"]["host"]["tables"]["Aktivitaeten"];
  ASSERT_EQ(activities.size(), 3u) << run.out;
  EXPECT_EQ(activities[2]["Betreff"], "Werksbesuch");
  EXPECT_EQ(activities[2]["Empfaenger"], "Eva Schneider");
}

namespace {

// Runs one statement on a profile's database, as another program would;
// returns the first column of its first row.
std::string Sql(const std::string& profile, const std::string& sql) {
  sqlite3* db = nullptr;
  std::string first;
  if (sqlite3_open((profile + "/crm.db").c_str(), &db) == SQLITE_OK) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK) {
      if (sqlite3_step(st) == SQLITE_ROW && sqlite3_column_text(st, 0) != nullptr)
        first = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
      while (sqlite3_step(st) == SQLITE_ROW) {
      }
    }
    sqlite3_finalize(st);
  }
  sqlite3_close(db);
  return first;
}

// The lines of the journal without its summary.
std::vector<Json> JournalEntries(const std::string& profile) {
  std::vector<Json> entries;
  std::istringstream lines(Velklk({"report", profile, "-n", "1000"}).out);
  for (std::string line; std::getline(lines, line);) {
    Json parsed = Json::parse(line, nullptr, false);
    if (parsed.is_object() && !parsed.contains("event")) entries.push_back(parsed);
  }
  return entries;
}

// The report line of an undo: the entry's counts, created and deleted swapped.
Json Swapped(const Json& counts) {
  Json out = counts;
  for (auto& [half, containers] : out.items())
    for (auto& [name, c] : containers.items()) std::swap(c["created"], c["deleted"]);
  return out;
}

}  // namespace

// Each bulk command is undone on both halves: the dump is the one before it,
// entry IDs, time stamps and links included; the undo is an entry of its own
// that can be undone in turn, which brings the command's work back.
TEST_F(CliTest, UndoRevertsACallOnBothHalvesAndCanItselfBeUndone) {
  struct Case {
    std::vector<std::string> call;
    bool demo;
  };
  for (const Case& c :
       {Case{{"SyncContacts2VEL"}, false},
        Case{{"SyncAppointments2VEL", "2026-12-01", "2026-12-31", "True", "True"}, true},
        Case{{"SyncTasks2VEL", "False"}, true}}) {
    SCOPED_TRACE(c.call[0]);
    fs::remove_all(dir_);
    if (c.demo) {
      ASSERT_NO_FATAL_FAILURE(InitProfile());
    } else {
      // A mass deletion the guard asks for, answered Yes.
      ASSERT_NO_FATAL_FAILURE(LoadProfile(Fixture("16.0", kPaths, StaleContacts(60))));
    }
    const std::string before = On({"dump"}).out;
    std::vector<std::string> args = {"--user", "ANNA", "--answer", "yes", "call", "velKLK.CSync"};
    args.insert(args.end(), c.call.begin(), c.call.end());
    const Outcome run = On(args);
    ASSERT_EQ(run.status, 0) << run.out;
    const Json counts = Counts(EventLine(run.out, "report"));
    ASSERT_FALSE(counts["host"].empty() && counts["outlook"].empty()) << run.out;
    if (!c.demo) {
      EXPECT_EQ(counts["outlook"]["anna@example.com\\Kontakte"]["deleted"], 60);
    }
    const std::string after = On({"dump"}).out;

    const Outcome undo = On({"undo"});
    EXPECT_EQ(undo.status, 0);
    EXPECT_EQ(EventLine(undo.out, "result")["value"], true) << undo.out;
    EXPECT_EQ(Counts(EventLine(undo.out, "report")), Swapped(counts)) << undo.out;
    EXPECT_EQ(Json::parse(On({"dump"}).out), Json::parse(before));

    // The undo undone: the command's work is back, and the command can be
    // undone again by its number.
    EXPECT_EQ(EventLine(On({"undo"}).out, "result")["value"], true);
    EXPECT_EQ(Json::parse(On({"dump"}).out), Json::parse(after));
    std::vector<Json> journal = JournalEntries(Profile());
    ASSERT_EQ(journal.size(), 3u);
    const std::int64_t call = journal[0]["entry"];
    EXPECT_FALSE(journal[0].contains("undoneBy")) << journal[0];
    EXPECT_EQ(journal[1]["member"], "undo");
    EXPECT_EQ(journal[1]["undoes"], call);
    EXPECT_EQ(journal[1]["undoneBy"], journal[2]["entry"]);
    EXPECT_EQ(journal[2]["undoes"], journal[1]["entry"]);
    EXPECT_EQ(On({"undo", std::to_string(call)}).status, 0);
    EXPECT_EQ(Json::parse(On({"dump"}).out), Json::parse(before));
    EXPECT_EQ(JournalEntries(Profile())[0]["undoneBy"], JournalEntries(Profile())[3]["entry"]);
  }
}

// An undo changes nothing when an item or record the entry changed was
// changed since: it names each one; what cannot be undone at all is one
// line on standard error and exit status 1.
TEST_F(CliTest, UndoRefusesWhatChangedSinceAndWhatItCannotUndo) {
  ASSERT_NO_FATAL_FAILURE(LoadProfile(Fixture("16.0", kPaths, StaleContacts(2))));
  EXPECT_EQ(On({"undo"}).status, 1);  // an empty journal
  ASSERT_EQ(On({"--user", "ANNA", "call", "--dry-run", "velKLK.CSync", "SyncContacts2VEL"}).status,
            0);
  ASSERT_EQ(On({"--user", "ANNA", "call", "velKLK.CSync", "SyncContacts2VEL"}).status, 0);
  const Json made =
      Json::parse(On({"find", "anna@example.com\\Kontakte", "[CompanyName] = \"Neu GmbH\""}).out);
  // The user edits the contact the import linked.
  ASSERT_EQ(
      On({"session"},
         R"({"outlook":"change","folder":"anna@example.com\\Kontakte","find":"[CompanyName] = \"Neu GmbH\"","set":{"JobTitle":"Chef"}})"
         "\n")
          .status,
      0);
  // And the CRM's user edits the address the import made.
  const std::string address =
      Sql(Profile(), "UPDATE Adressen SET Ort = 'Lübeck' WHERE Name = 'Neu GmbH' RETURNING ID");
  ASSERT_FALSE(address.empty());
  const std::string changed = On({"dump"}).out;
  const Outcome refused = On({"undo"});
  EXPECT_EQ(refused.status, 0);
  // Lines keep their keys in the order written.
  const nlohmann::ordered_json item = {
      {"event", "conflict"}, {"folder", "anna@example.com\\Kontakte"}, {"key", made["entryId"]}};
  const nlohmann::ordered_json record = {
      {"event", "conflict"}, {"table", "Adressen"}, {"key", address}};
  std::multiset<std::string> lines;
  std::istringstream out(refused.out);
  for (std::string line; std::getline(out, line);) lines.insert(line);
  EXPECT_EQ(lines, (std::multiset<std::string>{item.dump(), record.dump(),
                                               R"({"event":"result","value":false})"}));
  EXPECT_EQ(refused.out.substr(refused.out.rfind('{')), "{\"event\":\"result\",\"value\":false}\n");
  EXPECT_EQ(On({"dump"}).out, changed);
  const std::vector<Json> journal = JournalEntries(Profile());
  ASSERT_EQ(journal.size(), 2u);  // the refused undo made no entry

  const std::string dry = std::to_string(journal[0]["entry"].get<int>());
  for (const auto& [args, message] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"undo", dry}, "dry run"}, {{"undo", "99"}, "no entry 99"}}) {
    std::vector<std::string> full = {"-p", Profile()};
    full.insert(full.end(), args.begin(), args.end());
    const Outcome failed = Velklk(full, "", true);
    EXPECT_EQ(failed.status, 1);
    EXPECT_NE(failed.out.find(message), std::string::npos) << failed.out;
  }
}

// The before-images of a profile are bounded: the oldest go first, and an
// entry whose images were dropped, or whose own images exceed the bound,
// says so and cannot be undone.
TEST_F(CliTest, UndoImagesAreBounded) {
  ASSERT_NO_FATAL_FAILURE(InitProfile());
  ASSERT_EQ(On({"--user", "ANNA", "call", "velKLK.CSync", "AddressOrContactSync2OL", "0000000001",
                "Adressen"})
                .status,
            0);
  const std::string size = Sql(Profile(), "SELECT size FROM _vk_undo");
  ASSERT_FALSE(size.empty());

  // A call that changes nothing keeps a few bytes of images: with the bound
  // at the first call's size, the first call's images go.
  ::setenv("VELKLK_UNDO_LIMIT", size.c_str(), 1);
  EXPECT_EQ(On({"call", "velKLK.CSync", "NoSuchMember"}).status, 1);
  ::setenv("VELKLK_UNDO_LIMIT", "10", 1);
  EXPECT_EQ(On({"--user", "ANNA", "call", "velKLK.CSync", "AddressOrContactSync2OL", "0000000002",
                "Adressen"})
                .status,
            0);
  ::setenv("VELKLK_UNDO_LIMIT", "ten", 1);
  EXPECT_EQ(On({"--user", "ANNA", "call", "velKLK.CSync", "AddressOrContactSync2OL", "0000000002",
                "Adressen"})
                .status,
            1);
  ::unsetenv("VELKLK_UNDO_LIMIT");
  const std::vector<Json> journal = JournalEntries(Profile());
  ASSERT_EQ(journal.size(), 3u);
  EXPECT_EQ(journal[0]["images"], "dropped");
  EXPECT_EQ(journal[1]["images"], "kept");
  EXPECT_EQ(journal[2]["images"], "dropped");
  const std::string before = On({"dump"}).out;
  for (const auto& entry : {journal[0], journal[2]}) {
    const Outcome failed =
        Velklk({"-p", Profile(), "undo", std::to_string(entry["entry"].get<int>())}, "", true);
    EXPECT_EQ(failed.status, 1);
    EXPECT_NE(failed.out.find("dropped"), std::string::npos) << failed.out;
  }
  EXPECT_EQ(On({"dump"}).out, before);
}

// A participant's copy through the command: made by `call`, rewritten from
// its activity after a change in Outlook, and when deleted in Outlook only
// the participant record and its log entry go.
TEST_F(CliTest, ParticipantCopyIsRewrittenAndDeletedAlone) {
  LoadProfile(velklk::test::DeskFixture({velklk::test::Fixture(velklk::test::kParticipants)}));
  const std::vector<std::string> call = {"--user",
                                         "ANNA",
                                         "call",
                                         "velKLK.CSync",
                                         "AppSync2OL",
                                         "0000000007",
                                         "calA_Teilnehmer",
                                         "0000000004",
                                         "Aktivitaeten",
                                         ""};
  const std::string find =
      R"({"folder": "anna@example.com\\Kalender", "find": "[velSearch] = \"0000000007calA_Teilnehmer\"")";
  const auto result = [&] { return EventLine(On(call).out, "result")["value"]; };
  const auto tables = [&] { return Json::parse(On({"dump"}).out)["host"]["tables"]; };
  ASSERT_EQ(result(), true);
  EXPECT_EQ(tables()["Aktivitaeten"][1]["ModifiziertAm"], "2026-12-01 09:00:00");
  On({"session"}, R"({"now": "2026-12-07 10:00:00"})"
                  "\n"
                  R"({"outlook": "change", )" +
                      find.substr(1) + R"(, "set": {"Subject": "Meins"}})");
  ASSERT_EQ(result(), true);
  EXPECT_NE(On({"find", "anna@example.com\\Kalender", "[Subject] = \"Termin\""})
                .out.find("0000000007calA_Teilnehmer"),
            std::string::npos);
  On({"session"}, R"({"outlook": "delete", )" + find.substr(1) + "}");
  ASSERT_EQ(result(), true);
  const Json after = tables();
  EXPECT_TRUE(after["calA_Teilnehmer"].empty());
  EXPECT_EQ(after["Aktivitaeten"].size(), 2u);
  EXPECT_EQ(after["TBKLK_SyncLog"].dump().find("0000000007calA_Teilnehmer"), std::string::npos);
}

// A new host task whose Outlook task cannot be linked is deleted again in
// the same call: the report and the dry run's changes show no change of the
// task table.
TEST_F(CliTest, ARecordMadeAndDeletedAgainInOneCallIsNoChange) {
  LoadProfile(R"({"now":"2026-12-06 10:00:00","host":{"currentUser":"ANNA","users":[{"name":"ANNA",
    "properties":{"EMail":"anna@example.com"},"settings":{)" +
              kPaths + R"(,"TBKLK_ImportTasks":"True"}}]},
    "outlook":{"running":true,"version":"16.0.0.0","refusedValues":{"velStatus1":["False"]},
    "stores":[{"name":"anna@example.com","folders":[{"name":"Kontakte","type":2},{"name":"Kalender","type":1},
      {"name":"Aufgaben","type":3,"items":[{"class":"task","Subject":"Neu"}]}]}]}})");
  const std::string before = On({"dump"}).out;
  const Outcome dry = On({"call", "--dry-run", "velKLK.CSync", "SyncTasks2VEL", "False"});
  const Outcome real = On({"call", "velKLK.CSync", "SyncTasks2VEL", "False"});
  const Json changes = EventLine(dry.out, "changes");
  ASSERT_TRUE(changes.is_object()) << dry.out;
  EXPECT_FALSE(changes["host"].contains("WRTM_Tasks")) << changes;
  const Json report = EventLine(real.out, "report");
  ASSERT_TRUE(report.is_object()) << real.out;
  EXPECT_FALSE(report["host"].contains("WRTM_Tasks")) << report;
  EXPECT_EQ(Counts(report), DumpDifference(before, On({"dump"}).out));
  EXPECT_NE(EventLine(real.out, "msgbox").dump().find("CreateVelTask"), std::string::npos)
      << real.out;
}
