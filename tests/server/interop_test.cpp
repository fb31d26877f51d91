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
// client's own fields survived it.
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
    for (const char* dir : {"/home", "/contacts", "/status"})
      fs::create_directory(scratch_.Path() + dir);
    std::ofstream(scratch_.Path() + "/password") << radicale_.Password() << "\n";
    ::chmod((scratch_.Path() + "/password").c_str(), 0600);
  }
  const std::string& Scratch() const { return scratch_.Path(); }
  const std::string& Profile() const { return profile_; }
  std::string Contacts() const { return scratch_.Path() + "/contacts"; }
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
                             " && env LC_ALL=C.UTF-8 HOME=" + ShellQuote(home) +
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
  // The .vcf files of the client's folder by name.
  std::map<std::string, std::string> Cards() const {
    std::map<std::string, std::string> cards;
    for (const auto& entry : fs::directory_iterator(Contacts()))
      if (entry.path().extension() == ".vcf")
        cards[entry.path().filename().string()] = ReadFile(entry.path());
    return cards;
  }
  // The name of the card that holds `text`, or "".
  std::string CardWith(const std::string& text) const {
    for (const auto& [name, card] : Cards())
      if (card.find(text) != std::string::npos) return name;
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

}  // namespace
