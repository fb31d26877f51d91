// The black-box interop test: the built velklk command and two CardDAV
// clients that nobody here wrote, Debian's vdirsyncer and khard, around one
// Radicale. The add-in exports CRM addresses and velklk sends them;
// vdirsyncer brings the address book into a folder of .vcf files where
// khard lists the contacts; the test edits one file, deletes another and adds
// a new one, vdirsyncer sends that back; velklk receives it, and the add-in
// carries it into the CRM: the edit through AddressOrContactSync2OL (the newer
// Outlook side wins), the new contact through SyncContacts2VEL, and the
// deletion as a linked contact the user deleted (the record stays, the user's
// favourite mark and sync-log entry go). A last round checks that what the
// add-in wrote on the way back (the link keys) reaches the client and that the
// client's own fields survived it. The second test does the same for
// calendars and tasks with khal and todoman (see there).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "support/dav_servers.h"
#include "support/velklk_command.h"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using velklk::test::ShellQuote;
using velklk::test::Velklk;

constexpr const char* kAnna = "anna.berg@velmora.example";
constexpr const char* kFolder = "anna.berg@velmora.example\\Kontakte";

bool Installed(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::istringstream dirs(path ? path : "/usr/bin:/bin");
  for (std::string dir; std::getline(dirs, dir, ':');)
    if (!dir.empty() && ::access((dir + "/" + program).c_str(), X_OK) == 0) return true;
  return false;
}

std::vector<Json> Lines(const std::string& text) { return velklk::test::JsonLines(text); }
Json Event(const std::string& out, const std::string& event) {
  return velklk::test::LastEvent(out, event);
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

Json Counts(long created, long changed, long deleted) {
  return Json{{"created", created}, {"changed", changed}, {"deleted", deleted}};
}

// The records of a host table in a `dump --host`.
const Json& Table(const Json& dump, const std::string& name) {
  static const Json none = Json::array();
  const Json& tables = dump["host"]["tables"];
  return tables.contains(name) ? tables[name] : none;
}

class Desk {
 public:
  Desk() : scratch_("velklk-interop") {
    profile_ = scratch_.Path() + "/profile";
    for (const char* dir :
         {"/home", "/contacts", "/status", "/calendar", "/todo", "/todo/aufgaben"})
      fs::create_directory(scratch_.Path() + dir);
    std::ofstream(scratch_.Path() + "/password") << radicale_.Password() << "\n";
    ::chmod((scratch_.Path() + "/password").c_str(), 0600);
  }
  const std::string& Scratch() const { return scratch_.Path(); }
  const std::string& Profile() const { return profile_; }
  std::string Contacts() const { return scratch_.Path() + "/contacts"; }
  std::string Calendar() const { return scratch_.Path() + "/calendar"; }
  std::string Tasks() const { return scratch_.Path() + "/todo/aufgaben"; }
  const velklk::test::Radicale& Server() const { return radicale_; }

  velklk::test::CommandRun On(std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.begin(), {"-p", profile_, "--user", "ANNA"});
    return Velklk(args, input);
  }
  // A command of the outside clients, run with a home and XDG folders of
  // the test's own; standard error goes to the output too when `errors`.
  velklk::test::CommandRun Client(const std::string& command, bool errors = true) {
    const std::string home = scratch_.Path() + "/home";
    const std::string line = "cd " + ShellQuote(scratch_.Path()) +
                             " && env LC_ALL=C.UTF-8 TZ=Europe/Berlin HOME=" + ShellQuote(home) +
                             " XDG_CONFIG_HOME=" + ShellQuote(home + "/config") +
                             " XDG_DATA_HOME=" + ShellQuote(home + "/data") +
                             " XDG_CACHE_HOME=" + ShellQuote(home + "/cache") + " " + command +
                             (errors ? " 2>&1" : " 2>/dev/null");
    velklk::test::CommandRun run;
    if (FILE* pipe = ::popen(line.c_str(), "r")) {
      char buffer[4096];
      for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        run.out.append(buffer, n);
      const int status = ::pclose(pipe);
      run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return run;
  }
  // The .vcf (or .ics) files of one of the client's folders by name.
  static std::map<std::string, std::string> Files(const std::string& folder,
                                                  const std::string& extension) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(folder))
      if (entry.path().extension() == extension)
        files[entry.path().filename().string()] = ReadFile(entry.path());
    return files;
  }
  std::map<std::string, std::string> Cards() const { return Files(Contacts(), ".vcf"); }
  // The name of the card that holds `text`, or "".
  std::string CardWith(const std::string& text) const { return FileWith(Contacts(), text); }
  // The name of the .vcf or .ics file of `folder` that holds `text`, or "".
  static std::string FileWith(const std::string& folder, const std::string& text) {
    for (const auto& extension : {".vcf", ".ics"})
      for (const auto& [name, content] : Files(folder, extension))
        if (content.find(text) != std::string::npos) return name;
    return "";
  }

 private:
  velklk::test::Radicale radicale_;
  velklk::test::ScratchFolder scratch_;
  std::string profile_;
};

// Lines of `khard ... -p` ("value<TAB>name<TAB>type...") hold one for each
// of the expected value and name pairs.
void ExpectListed(const std::string& listing,
                  const std::vector<std::pair<std::string, std::string>>& expected) {
  for (const auto& [value, name] : expected)
    EXPECT_NE(listing.find("\n" + value + "\t" + name + "\t"), std::string::npos)
        << value << " of " << name << " is missing in:\n"
        << listing;
}

// A session's output holds `count` calls, each with the result true, and
// no error.
void ExpectResultsTrue(const std::string& out, int count) {
  int results = 0;
  for (const auto& line : Lines(out)) {
    EXPECT_NE(line.value("event", ""), "error") << out;
    if (line.value("event", "") == "result") {
      ++results;
      EXPECT_EQ(line["value"], true) << out;
    }
  }
  EXPECT_EQ(results, count) << out;
}

// The iCalendar object `text` with properties of its first VEVENT or VTODO
// replaced: each "NAME[;PARAMS]:VALUE" line of `lines` takes the place of
// every line of that name (with its folded continuation lines), as a
// client writes an edit. Written anew and renamed over `file`, as editors do,
// so vdirsyncer sees the change whatever the file system's clock resolution.
void EditObject(const fs::path& file, const std::vector<std::string>& lines) {
  std::string text = ReadFile(file);
  const std::string eol = text.find("\r\n") != std::string::npos ? "\r\n" : "\n";
  std::string kind = "VEVENT";
  std::size_t begin = text.find("BEGIN:VEVENT");
  if (begin == std::string::npos) begin = text.find("BEGIN:" + (kind = "VTODO"));
  ASSERT_NE(begin, std::string::npos) << text;
  const std::size_t end = text.find("END:" + kind, begin);
  ASSERT_NE(end, std::string::npos) << text;
  std::istringstream in(text.substr(begin, end - begin));
  std::string component, line;
  bool dropping = false;
  int depth = 0;  // nested components (VALARM) keep their lines
  auto nameOf = [](const std::string& l) { return l.substr(0, l.find_first_of(";:")); };
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && (line[0] == ' ' || line[0] == '\t')) {
      if (!dropping) component += line + eol;
      continue;
    }
    if (nameOf(line) == "BEGIN") ++depth;
    dropping = false;
    for (const auto& replacement : lines)
      dropping = dropping || (depth == 1 && nameOf(replacement) == nameOf(line));
    if (nameOf(line) == "END") --depth;
    if (!dropping) component += line + eol;
  }
  for (const auto& replacement : lines) component += replacement + eol;
  text.replace(begin, end - begin, component);
  const fs::path temporary = file.parent_path() / ".edit";
  std::ofstream(temporary, std::ios::binary) << text;
  fs::rename(temporary, file);
}

// The session lines of the add-in's re-synchronisation of the three
// activities (at `now`) and of the task (at `taskNow`).
std::string SyncActivitiesAndTask(const std::string& now, const std::string& taskNow) {
  std::string calls;
  for (const char* id : {"0000000031", "0000000051", "0000000052"})
    calls += std::string(R"({"call": ["velKLK.CSync", "AppSync2OL", ")") + id +
             R"(", "Aktivitaeten", ")" + id + R"(", "Aktivitaeten", ""], "now": ")" + now + "\"}\n";
  return calls +
         R"({"call": ["velKLK.CSync", "TaskSync2OL", "0000000041", "WRTM_Tasks", "False"], "now": ")" +
         taskNow + "\"}\n";
}

// `listing` holds each of the lines (khal's "{start} {end} {title}").
void ExpectLines(const std::string& listing, const std::vector<std::string>& expected) {
  for (const auto& line : expected)
    EXPECT_NE(("\n" + listing + "\n").find("\n" + line + "\n"), std::string::npos)
        << "missing: " << line << "\nin:\n"
        << listing;
}

TEST(Interop, ContactsTravelThroughVdirsyncerAndKhardAndBackIntoTheCrm) {
  for (const char* program : {"radicale", "vdirsyncer", "khard"}) {
    if (!Installed(program))
      GTEST_SKIP() << program << " is not installed (Debian packages radicale, vdirsyncer, khard)";
  }
  Desk desk;

  // The desk: the demo profile where Anna keeps the three addresses in her
  // Outlook (favourite marks), her mailbox bound to an address book.
  ASSERT_EQ(Velklk({"init", desk.Profile()}).status, 0);
  Json state = Json::parse(desk.On({"dump"}).out);
  for (const char* address : {"0000000002", "0000000003"})
    state["host"]["tables"]["Adressmerkmale"].push_back({{"@master", address},
                                                         {"Gruppe", "Kestrelink"},
                                                         {"Merkmal", "OutlookFavorit"},
                                                         {"Wert", "ANNA"}});
  std::ofstream(desk.Scratch() + "/desk.json") << state.dump();
  ASSERT_EQ(desk.On({"load", desk.Scratch() + "/desk.json"}).status, 0);
  auto run = desk.On({"account", "add", kAnna, "--url", desk.Server().Url(), "--user",
                      desk.Server().User(), "--password-file", desk.Scratch() + "/password",
                      "--create", "--time-zone", "UTC"});
  ASSERT_EQ(run.status, 0);
  const std::string collection = velklk::test::BoundCollection(run.out, kFolder);
  ASSERT_FALSE(collection.empty());

  // The add-in exports three addresses; the pass sends them with the
  // profile's own contact (Paula Neumann).
  run = desk.On(
      {"session"},
      R"({"call": ["velKLK.CSync", "AddressOrContactSync2OL", "0000000001", "Adressen"], "now": "2026-12-06 10:00:00"})"
      "\n"
      R"({"call": ["velKLK.CSync", "AddressOrContactSync2OL", "0000000002", "Adressen"], "now": "2026-12-06 10:00:00"})"
      "\n"
      R"({"call": ["velKLK.CSync", "AddressOrContactSync2OL", "0000000003", "Adressen"], "now": "2026-12-06 10:00:00"})"
      "\n");
  ExpectResultsTrue(run.out, 3);
  run = desk.On({"--now", "2026-12-06 10:30:00", "send-receive"});
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(Event(run.out, "report")["outlook"][kFolder]["sent"], Counts(4, 0, 0)) << run.out;

  // vdirsyncer: the address book into a folder of .vcf files.
  std::ofstream(desk.Scratch() + "/vdirsyncer.conf")
      << "[general]\nstatus_path = \"" << desk.Scratch() << "/status/\"\n\n"
      << "[pair velklk]\na = \"velklk_local\"\nb = \"velklk_server\"\ncollections = null\n\n"
      << "[storage velklk_local]\ntype = \"filesystem\"\npath = \"" << desk.Contacts()
      << "/\"\nfileext = \".vcf\"\n\n"
      << "[storage velklk_server]\ntype = \"carddav\"\nurl = \"" << collection
      << "\"\nusername = \"" << desk.Server().User()
      << "\"\npassword.fetch = [\"command\", \"cat\", \"" << desk.Scratch() << "/password\"]\n";
  const std::string vdirsyncer = "vdirsyncer -c vdirsyncer.conf";
  run = desk.Client("yes | " + vdirsyncer + " discover");
  ASSERT_EQ(run.status, 0) << run.out;
  run = desk.Client(vdirsyncer + " sync");
  ASSERT_EQ(run.status, 0) << run.out;
  ASSERT_EQ(desk.Cards().size(), 4u) << run.out;

  // khard lists them with their names, e-mail addresses and numbers.
  std::ofstream(desk.Scratch() + "/khard.conf")
      << "[addressbooks]\n[[velklk]]\npath = " << desk.Contacts() << "/\n"
      << "[general]\ndebug = no\ndefault_action = list\neditor = /bin/false\n"
         "merge_editor = /bin/false\n"
         "[contact table]\ndisplay = first_name\ngroup_by_addressbook = no\nreverse = no\n"
         "show_nicknames = no\nshow_uids = yes\nsort = last_name\nlocalize_dates = no\n"
         "preferred_phone_number_type = pref, cell, home\n"
         "preferred_email_address_type = pref, work, home\n"
         "[vcard]\nprivate_objects = Jabber,\npreferred_version = 3.0\n"
         "search_in_source_files = no\nskip_unparsable = no\n";
  const std::string khard = "khard -c khard.conf";
  run = desk.Client(khard + " email -p", false);
  ASSERT_EQ(run.status, 0) << run.out;
  ExpectListed("\n" + run.out, {{"info@muster-maschinenbau.example", "Muster Maschinenbau GmbH"},
                                {"max.mustermann@example.com", "Max Mustermann"},
                                {"kontakt@nordlicht.example", "Nordlicht Logistik AG"},
                                {"paula@neumann-design.example", "Paula Neumann"}});
  run = desk.Client(khard + " phone -p", false);
  ASSERT_EQ(run.status, 0) << run.out;
  ExpectListed("\n" + run.out, {{"+49 40 1234560", "Muster Maschinenbau GmbH"},
                                {"+49 40 1234569", "Muster Maschinenbau GmbH"},
                                {"+49 170 5550101", "Max Mustermann"},
                                {"+49 40 9876540", "Nordlicht Logistik AG"},
                                {"+49 30 4445550", "Paula Neumann"}});

  // The user edits Max Mustermann's card at noon (as a client does, with
  // a new REV), deletes Nordlicht's and adds Lisa Krüger's with a field the
  // mapping does not know; vdirsyncer sends it all.
  const std::string max = desk.CardWith("max.mustermann@example.com");
  const std::string nordlicht = desk.CardWith("Nordlicht");
  ASSERT_FALSE(max.empty());
  ASSERT_FALSE(nordlicht.empty());
  std::string card = desk.Cards()[max];
  auto replace = [&card](const std::string& from, const std::string& to) {
    const auto at = card.find(from);
    ASSERT_NE(at, std::string::npos) << from << " not in\n" << card;
    card.replace(at, from.size(), to);
  };
  replace("max.mustermann@example.com", "max@mustermann.example");
  replace("+49 170 5550101", "+49 170 5550199");
  const auto rev = card.find("REV:");
  ASSERT_NE(rev, std::string::npos) << card;
  replace(card.substr(rev, card.find_first_of("\r\n", rev) - rev), "REV:20261206T120000Z");
  // Written anew and renamed over the old file, as editors do: vdirsyncer
  // sees the change whatever the file system's clock resolution.
  std::ofstream(desk.Contacts() + "/.edit", std::ios::binary) << card;
  fs::rename(desk.Contacts() + "/.edit", desk.Contacts() + "/" + max);
  fs::remove(desk.Contacts() + "/" + nordlicht);
  std::ofstream(desk.Contacts() + "/lisa-kruger.vcf", std::ios::binary)
      << "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:lisa-kruger-1\r\nN:Krüger;Lisa;;;\r\nFN:Lisa Krüger\r\n"
         "NICKNAME:Lis\r\nEMAIL;TYPE=HOME:lisa.krueger@example.org\r\n"
         "TEL;TYPE=HOME,VOICE:+49 40 5556677\r\nREV:20261206T120500Z\r\nEND:VCARD\r\n";
  run = desk.Client(vdirsyncer + " sync");
  ASSERT_EQ(run.status, 0) << run.out;

  // velklk receives the three changes into Anna's contacts.
  run = desk.On({"--now", "2026-12-06 13:00:00", "send-receive"});
  ASSERT_EQ(run.status, 0) << run.out;
  const Json report = Event(run.out, "report")["outlook"][kFolder];
  EXPECT_EQ(report["received"], Counts(1, 1, 1)) << run.out;
  EXPECT_EQ(report["sent"], Counts(0, 0, 0)) << run.out;
  EXPECT_EQ(Event(run.out, "result")["value"], true);
  std::map<std::string, Json> contacts;
  for (const auto& c : Lines(desk.On({"find", kFolder, "[LastName] <> \"\""}).out))
    contacts[c.value("LastName", "")] = c;
  EXPECT_EQ(contacts.count("Nordlicht Logistik AG"), 0u);
  ASSERT_EQ(contacts.count("Mustermann"), 1u);
  EXPECT_EQ(contacts["Mustermann"]["Email1Address"], "max@mustermann.example");
  EXPECT_EQ(contacts["Mustermann"]["MobileTelephoneNumber"], "+49 170 5550199");
  EXPECT_EQ(contacts["Mustermann"]["LastModificationTime"], "2026-12-06 12:00:00");
  ASSERT_EQ(contacts.count("Krüger"), 1u);
  EXPECT_EQ(contacts["Krüger"]["Email1Address"], "lisa.krueger@example.org");
  EXPECT_EQ(contacts["Krüger"]["HomeTelephoneNumber"], "+49 40 5556677");

  // The add-in carries them into the CRM: the newer Outlook side of Max's
  // contact, the new contact, and the deleted linked one.
  run = desk.On(
      {"session"},
      R"({"call": ["velKLK.CSync", "AddressOrContactSync2OL", "0000000002", "Adressen"], "now": "2026-12-06 13:05:00"})"
      "\n"
      R"({"call": ["velKLK.CSync", "SyncContacts2VEL"], "now": "2026-12-06 13:06:00"})"
      "\n"
      R"({"call": ["velKLK.CSync", "AddressOrContactSync2OL", "0000000003", "Adressen"], "now": "2026-12-06 13:07:00"})"
      "\n");
  ExpectResultsTrue(run.out, 3);

  const Json dump = Json::parse(desk.On({"dump", "--host"}).out);
  std::map<std::string, Json> addresses;
  for (const auto& r : Table(dump, "Adressen")) addresses[r.value("Name", "")] = r;
  EXPECT_EQ(addresses["Mustermann"]["Email"], "max@mustermann.example");
  EXPECT_EQ(addresses["Mustermann"]["TelefonMobil"], "+49 170 5550199");
  ASSERT_EQ(addresses.count("Krüger"), 1u) << Table(dump, "Adressen");
  const std::string lisaId = addresses["Krüger"]["ID"];
  EXPECT_EQ(addresses["Krüger"]["Vorname"], "Lisa");
  EXPECT_EQ(addresses["Krüger"]["Email"], "lisa.krueger@example.org");
  EXPECT_EQ(addresses["Krüger"]["Telefon1"], "+49 40 5556677");
  // Nordlicht stays in the CRM, but is no longer Anna's: no sync-log entry,
  // no favourite mark, and no contact made again.
  ASSERT_EQ(addresses.count("Nordlicht Logistik AG"), 1u);
  bool lisaLogged = false;
  for (const auto& r : Table(dump, "TBKLK_SyncLog")) {
    EXPECT_NE(r.value("velSearch", ""), "0000000003Adressen") << r;
    lisaLogged = lisaLogged || (r.value("velSearch", "") == lisaId + "Adressen" &&
                                r.value("velUser", "") == "ANNA");
  }
  EXPECT_TRUE(lisaLogged) << Table(dump, "TBKLK_SyncLog");
  for (const auto& r : Table(dump, "Adressmerkmale")) {
    if (r.value("@master", "") == "0000000003") {
      EXPECT_NE(r.value("Wert", ""), "ANNA") << "Nordlicht is still Anna's favourite: " << r;
    }
  }
  EXPECT_TRUE(
      Lines(desk.On({"find", kFolder, "[velSearch] = \"0000000003Adressen\""}).out).empty());

  // The way back to the client: the link keys the add-in wrote reach the
  // server, the client's nickname is still there, Nordlicht stays gone.
  run = desk.On({"--now", "2026-12-06 13:30:00", "send-receive"});
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(Event(run.out, "result")["value"], true) << run.out;
  run = desk.Client(vdirsyncer + " sync");
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_TRUE(desk.CardWith("Nordlicht").empty());
  const std::string lisa = desk.Cards()[desk.CardWith("lisa.krueger@example.org")];
  EXPECT_NE(lisa.find("NICKNAME:Lis"), std::string::npos) << lisa;
  EXPECT_NE(lisa.find(lisaId + "Adressen"), std::string::npos) << lisa;
  run = desk.Client(khard + " email -p", false);
  ASSERT_EQ(run.status, 0) << run.out;
  ExpectListed("\n" + run.out, {{"max@mustermann.example", "Max Mustermann"},
                                {"lisa.krueger@example.org", "Lisa Krüger"}});
}

// Calendars and tasks: the add-in exports activities and a task into Anna's
// Outlook (the profile's zone Europe/Berlin); velklk sends them; vdirsyncer
// brings both collections into folders, where khal lists the events (at
// their hour also across both daylight-saving changes of 2027, an all-day
// event on its day, a weekly series the client added) and todoman the tasks.
// The client moves an event, rewrites the two activities after the changes
// in UTC, completes the task with todoman and adds one; velklk receives it
// all and the add-in carries it into the CRM.
TEST(Interop, CalendarAndTasksTravelThroughVdirsyncerKhalTodomanAndBackIntoTheCrm) {
  for (const char* program : {"radicale", "vdirsyncer", "khal", "todoman"}) {
    if (!Installed(program))
      GTEST_SKIP() << program
                   << " is not installed (Debian packages radicale, vdirsyncer, khal, todoman)";
  }
  Desk desk;
  const std::string calendar = "anna.berg@velmora.example\\Kalender";
  const std::string tasks = "anna.berg@velmora.example\\Aufgaben";

  // The desk: two more of Anna's activities (10:00 on the day after each
  // change of 2027), an all-day outing in her Outlook and her task in
  // progress.
  ASSERT_EQ(Velklk({"init", desk.Profile()}).status, 0);
  Json state = Json::parse(desk.On({"dump"}).out);
  auto activity = [](const char* id, const char* subject, const char* from, const char* to,
                     double days) {
    return Json{{"ID", id},           {"@master", "0000000021"}, {"Typ", "Termin"},
                {"Betreff", subject}, {"Datum", from},           {"DatumBis", to},
                {"Dauer", days},      {"Erledigt", false},       {"Verantwortlich", "ANNA"}};
  };
  Json& activities = state["host"]["tables"]["Aktivitaeten"];
  activities.push_back(activity("0000000051", "Messe Frühjahr", "2027-03-29 10:00:00",
                                "2027-03-29 11:00:00", 1.0 / 24));
  activities.push_back(activity("0000000052", "Messe Herbst", "2027-11-01 10:00:00",
                                "2027-11-01 11:00:00", 1.0 / 24));
  // The all-day outing Anna entered in her Outlook (the add-in's export
  // makes an appointment all-day only when it updates one).
  for (auto& folder : state["outlook"]["stores"][0]["folders"])
    if (folder["name"] == "Kalender")
      folder["items"].push_back({{"class", "appointment"},
                                 {"Subject", "Betriebsausflug"},
                                 {"Start", "2026-12-18 00:00:00"},
                                 {"End", "2026-12-19 00:00:00"},
                                 {"AllDayEvent", true},
                                 {"LastModificationTime", "2026-12-01 08:00:00"}});
  for (auto& task : state["host"]["tables"]["WRTM_Tasks"])
    if (task["ID"] == "0000000041") task.update({{"Status", 2}, {"DoneInPercent", 30}});
  std::ofstream(desk.Scratch() + "/desk.json") << state.dump();
  ASSERT_EQ(desk.On({"load", desk.Scratch() + "/desk.json"}).status, 0);
  auto run = desk.On({"account", "add", kAnna, "--url", desk.Server().Url(), "--user",
                      desk.Server().User(), "--password-file", desk.Scratch() + "/password",
                      "--create", "--time-zone", "Europe/Berlin"});
  ASSERT_EQ(run.status, 0) << run.out;
  std::map<std::string, std::string> collections;
  for (const auto& folder : {calendar, tasks}) {
    collections[folder] = velklk::test::BoundCollection(run.out, folder);
    ASSERT_FALSE(collections[folder].empty()) << run.out;
  }

  // The add-in exports the three activities and the task; the pass sends
  // them with what Anna's Outlook held (a private appointment, the outing, a
  // task).
  std::string calls = SyncActivitiesAndTask("2026-12-06 10:00:00", "2026-12-06 10:00:00");
  ExpectResultsTrue(desk.On({"session"}, calls).out, 4);
  run = desk.On({"--now", "2026-12-06 10:30:00", "send-receive"});
  ASSERT_EQ(run.status, 0) << run.out;
  Json report = Event(run.out, "report")["outlook"];
  EXPECT_EQ(report[calendar]["sent"], Counts(5, 0, 0)) << run.out;
  EXPECT_EQ(report[tasks]["sent"], Counts(2, 0, 0)) << run.out;

  // vdirsyncer: each collection into a folder; the client adds a weekly
  // series of three meetings, which the first sync puts on the server.
  std::ofstream conf(desk.Scratch() + "/vdirsyncer.conf");
  conf << "[general]\nstatus_path = \"" << desk.Scratch() << "/status/\"\n";
  for (const auto& [pair, folder, path] : {std::tuple{"calendar", calendar, desk.Calendar()},
                                           std::tuple{"tasks", tasks, desk.Tasks()}})
    conf << "\n[pair " << pair << "]\na = \"" << pair << "_local\"\nb = \"" << pair
         << "_server\"\ncollections = null\n\n[storage " << pair
         << "_local]\ntype = \"filesystem\"\npath = \"" << path
         << "/\"\nfileext = \".ics\"\n\n[storage " << pair
         << "_server]\ntype = \"caldav\"\nurl = \"" << collections[folder] << "\"\nusername = \""
         << desk.Server().User() << "\"\npassword.fetch = [\"command\", \"cat\", \""
         << desk.Scratch() << "/password\"]\n";
  conf.close();
  std::ofstream(desk.Calendar() + "/wochenrunde.ics", std::ios::binary)
      << "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Interop test//EN\r\nBEGIN:VEVENT\r\n"
         "UID:wochenrunde-1\r\nDTSTAMP:20261206T110000Z\r\n"
         "DTSTART;TZID=Europe/Berlin:20270104T090000\r\nDTEND;TZID=Europe/"
         "Berlin:20270104T093000\r\n"
         "RRULE:FREQ=WEEKLY;COUNT=3\r\nSUMMARY:Wochenrunde\r\nEND:VEVENT\r\nBEGIN:VTIMEZONE\r\n"
         "TZID:Europe/Berlin\r\nBEGIN:DAYLIGHT\r\nTZOFFSETFROM:+0100\r\nTZOFFSETTO:+0200\r\n"
         "TZNAME:CEST\r\nDTSTART:19700329T020000\r\nRRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU\r\n"
         "END:DAYLIGHT\r\nBEGIN:STANDARD\r\nTZOFFSETFROM:+0200\r\nTZOFFSETTO:+0100\r\n"
         "TZNAME:CET\r\nDTSTART:19701025T030000\r\nRRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU\r\n"
         "END:STANDARD\r\nEND:VTIMEZONE\r\nEND:VCALENDAR\r\n";
  const std::string vdirsyncer = "vdirsyncer -c vdirsyncer.conf";
  run = desk.Client("yes | " + vdirsyncer + " discover");
  ASSERT_EQ(run.status, 0) << run.out;
  run = desk.Client(vdirsyncer + " sync");
  ASSERT_EQ(run.status, 0) << run.out;
  ASSERT_EQ(Desk::Files(desk.Calendar(), ".ics").size(), 6u) << run.out;
  ASSERT_EQ(Desk::Files(desk.Tasks(), ".ics").size(), 2u) << run.out;

  // khal lists the events in Europe/Berlin, todoman the tasks.
  std::ofstream(desk.Scratch() + "/khal.conf")
      << "[calendars]\n[[velklk]]\npath = " << desk.Calendar() << "/\ntype = calendar\n"
      << "[locale]\ntimeformat = %H:%M\ndateformat = %Y-%m-%d\nlongdateformat = %Y-%m-%d\n"
         "datetimeformat = %Y-%m-%d %H:%M\nlongdatetimeformat = %Y-%m-%d %H:%M\n"
         "local_timezone = Europe/Berlin\ndefault_timezone = Europe/Berlin\n"
      << "[sqlite]\npath = " << desk.Scratch() << "/khal.db\n";
  std::ofstream(desk.Scratch() + "/todoman.py")
      << "path = \"" << desk.Scratch() << "/todo/*\"\ndate_format = \"%Y-%m-%d\"\n"
      << "time_format = \"%H:%M\"\ndefault_list = \"aufgaben\"\ncache_path = \"" << desk.Scratch()
      << "/todoman.db\"\n";
  const std::string khal =
      "khal -c khal.conf list --day-format '' --format '{start} {end} {title}' 2026-12-01 "
      "2027-12-31";
  const std::string todoman = "todoman -c todoman.py";
  run = desk.Client(khal, false);
  ASSERT_EQ(run.status, 0) << run.out;
  ExpectLines(run.out, {"2026-12-08 10:00 2026-12-08 11:00 Besprechung Angebot",
                        "2026-12-09 08:00 2026-12-09 09:00 Zahnarzt",
                        "2026-12-18 2026-12-18 Betriebsausflug",
                        "2027-01-04 09:00 2027-01-04 09:30 Wochenrunde",
                        "2027-01-11 09:00 2027-01-11 09:30 Wochenrunde",
                        "2027-01-18 09:00 2027-01-18 09:30 Wochenrunde",
                        "2027-03-29 10:00 2027-03-29 11:00 Messe Frühjahr",
                        "2027-11-01 10:00 2027-11-01 11:00 Messe Herbst"});
  run = desk.Client(todoman + " list --status IN-PROCESS", false);
  EXPECT_NE(run.out.find("2026-12-11 Angebot nachfassen"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("(30%)"), std::string::npos) << run.out;
  run = desk.Client(todoman + " list --status NEEDS-ACTION", false);
  EXPECT_NE(run.out.find("2026-12-12 Reisekosten abrechnen"), std::string::npos) << run.out;

  // The client's edits: "Besprechung Angebot" moved to the next afternoon,
  // the two activities after the changes rewritten in UTC with a new
  // subject, the task completed in todoman and a new one added there.
  const std::string meeting = Desk::FileWith(desk.Calendar(), "SUMMARY:Besprechung Angebot");
  ASSERT_FALSE(meeting.empty());
  EditObject(desk.Calendar() + "/" + meeting,
             {"DTSTART;TZID=Europe/Berlin:20261209T140000",
              "DTEND;TZID=Europe/Berlin:20261209T153000", "LAST-MODIFIED:20261206T120000Z"});
  for (const auto& [subject, start, end] :
       {std::tuple{"Messe Frühjahr", "20270329T080000Z", "20270329T090000Z"},
        std::tuple{"Messe Herbst", "20271101T090000Z", "20271101T100000Z"}}) {
    const std::string file = Desk::FileWith(desk.Calendar(), std::string("SUMMARY:") + subject);
    ASSERT_FALSE(file.empty()) << subject;
    EditObject(
        desk.Calendar() + "/" + file,
        {std::string("DTSTART:") + start, std::string("DTEND:") + end,
         std::string("SUMMARY:") + subject + " (Halle 3)", "LAST-MODIFIED:20261206T120000Z"});
  }
  run = desk.Client(todoman + " --porcelain list", false);
  ASSERT_EQ(run.status, 0) << run.out;
  std::string taskId;
  for (const auto& task : Json::parse(run.out))
    if (task["summary"] == "Angebot nachfassen") taskId = std::to_string(task["id"].get<int>());
  ASSERT_FALSE(taskId.empty()) << run.out;
  run = desk.Client(todoman + " done " + taskId);
  ASSERT_EQ(run.status, 0) << run.out;
  run = desk.Client(todoman + " new -l aufgaben --due 2026-12-18 Messestand buchen");
  ASSERT_EQ(run.status, 0) << run.out;
  run = desk.Client(vdirsyncer + " sync");
  ASSERT_EQ(run.status, 0) << run.out;

  // velklk receives them into Anna's Outlook: the series as one recurring
  // appointment, the times in the profile's zone; the completed task with
  // the empty X-VELKLK-velGroupName line the export wrote.
  run = desk.On({"--now", "2026-12-06 13:00:00", "send-receive"});
  ASSERT_EQ(run.status, 0) << run.out;
  report = Event(run.out, "report")["outlook"];
  EXPECT_EQ(report[calendar]["received"], Counts(1, 3, 0)) << run.out;
  EXPECT_EQ(report[tasks]["received"], Counts(1, 1, 0)) << run.out;
  EXPECT_EQ(Event(run.out, "result")["value"], true) << run.out;
  std::map<std::string, Json> appointments;
  for (const auto& item : Lines(desk.On({"find", calendar, "[Subject] <> \"\""}).out))
    appointments[item.value("Subject", "")] = item;
  EXPECT_EQ(appointments["Wochenrunde"]["IsRecurring"], true) << appointments["Wochenrunde"];
  EXPECT_EQ(appointments["Wochenrunde"]["Start"], "2027-01-04 09:00:00");
  EXPECT_EQ(appointments["Besprechung Angebot"]["Start"], "2026-12-09 14:00:00");
  EXPECT_EQ(appointments["Messe Frühjahr (Halle 3)"]["Start"], "2027-03-29 10:00:00");
  EXPECT_EQ(appointments["Messe Herbst (Halle 3)"]["Start"], "2027-11-01 10:00:00");
  EXPECT_EQ(appointments["Betriebsausflug"]["AllDayEvent"], true)
      << appointments["Betriebsausflug"];

  // The add-in carries them into the CRM: the moves and new subjects through
  // the re-synchronisation, the completion through TaskSync2OL, the new task
  // through the import.
  calls = SyncActivitiesAndTask("2026-12-06 13:05:00", "2026-12-06 13:06:00") +
          R"({"call": ["velKLK.CSync", "SyncTasks2VEL", "False"], "now": "2026-12-06 13:07:00"})"
          "\n";
  ExpectResultsTrue(desk.On({"session"}, calls).out, 5);
  const Json dump = Json::parse(desk.On({"dump", "--host"}).out);
  std::map<std::string, Json> records;
  for (const auto& r : Table(dump, "Aktivitaeten")) records[r.value("ID", "")] = r;
  EXPECT_EQ(records["0000000031"]["Datum"], "2026-12-09 14:00:00");
  EXPECT_EQ(records["0000000031"]["DatumBis"], "2026-12-09 15:30:00");
  for (const auto& [id, subject, day] :
       {std::tuple{"0000000051", "Messe Frühjahr (Halle 3)", "2027-03-29"},
        std::tuple{"0000000052", "Messe Herbst (Halle 3)", "2027-11-01"}}) {
    EXPECT_EQ(records[id]["Betreff"], subject) << records[id];
    EXPECT_EQ(records[id]["Datum"], std::string(day) + " 10:00:00") << records[id];
    EXPECT_EQ(records[id]["DatumBis"], std::string(day) + " 11:00:00") << records[id];
  }
  records.clear();
  for (const auto& r : Table(dump, "WRTM_Tasks")) records[r.value("Subject", "")] = r;
  EXPECT_EQ(records["Angebot nachfassen"]["Status"], 5) << records["Angebot nachfassen"];
  EXPECT_EQ(records["Angebot nachfassen"]["DoneInPercent"], 100);
  EXPECT_EQ(records["Angebot nachfassen"]["DoneBy"], "ANNA");
  ASSERT_EQ(records.count("Messestand buchen"), 1u) << Table(dump, "WRTM_Tasks");
  EXPECT_EQ(records["Messestand buchen"]["EndDate"], "2026-12-18 00:00:00");
  EXPECT_EQ(records["Messestand buchen"]["Responsible"], "ANNA");

  // The way back: what the add-in saved reaches the client, still at its
  // hour.
  run = desk.On({"--now", "2026-12-06 13:30:00", "send-receive"});
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(Event(run.out, "result")["value"], true) << run.out;
  run = desk.Client(vdirsyncer + " sync");
  ASSERT_EQ(run.status, 0) << run.out;
  run = desk.Client(khal, false);
  ExpectLines(run.out, {"2026-12-09 14:00 2026-12-09 15:30 Besprechung Angebot",
                        "2027-03-29 10:00 2027-03-29 11:00 Messe Frühjahr (Halle 3)",
                        "2027-11-01 10:00 2027-11-01 11:00 Messe Herbst (Halle 3)"});
  run = desk.Client(todoman + " list --status COMPLETED", false);
  EXPECT_NE(run.out.find("Angebot nachfassen"), std::string::npos) << run.out;
}

}  // namespace
