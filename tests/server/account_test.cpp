// The account commands of velklk, driven as a user drives them, against
// Radicale and Xandikos: binding a store's contacts folder, listing and
// removing accounts, the refusals (each leaving the profile as it was), and
// the send/receive commands on a profile without accounts.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "server/dav_client.h"
#include "support/dav_servers.h"
#include "support/velklk_command.h"

namespace {

namespace fs = std::filesystem;
using velklk::test::Velklk;
using Json = nlohmann::json;

constexpr const char* kAnna = "anna.berg@velmora.example";
constexpr const char* kBen = "ben.kraus@velmora.example";

std::vector<Json> Lines(const std::string& text) {
  std::vector<Json> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) lines.push_back(Json::parse(line));
  return lines;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class AccountTest : public ::testing::Test {
 protected:
  AccountTest() : folder_("velklk-accounts") {
    profile_ = folder_.Path() + "/p";
    EXPECT_EQ(Velklk({"init", profile_}).status, 0);
    // Ben's mailbox is a store of this desk too, so that two stores can be
    // bound to accounts (the demo keeps it on the server only).
    Json state = Json::parse(On({"dump"}).out);
    Json& mailboxes = state["outlook"]["mailboxes"];
    for (auto it = mailboxes.begin(); it != mailboxes.end(); ++it)
      if ((*it)["name"] == kBen) {
        state["outlook"]["stores"].push_back(*it);
        mailboxes.erase(it);
        break;
      }
    // Anna's calendar has a subfolder of its own.
    for (auto& folder : state["outlook"]["stores"][0]["folders"])
      if (folder["name"] == "Kalender")
        folder["folders"].push_back(
            Json{{"name", "Projekte"}, {"type", 1}, {"items", Json::array()}});
    const std::string fixture = folder_.Path() + "/desk.json";
    std::ofstream(fixture) << state.dump();
    EXPECT_EQ(On({"load", fixture}).status, 0);
    passwordFile_ = folder_.Path() + "/password";
  }

  velklk::test::CommandRun On(std::vector<std::string> args, bool errors = false) {
    args.insert(args.begin(), {"-p", profile_});
    return Velklk(args, "", errors);
  }
  // Writes the password file with the mode given.
  void WritePassword(const std::string& password, mode_t mode = 0600) {
    std::ofstream(passwordFile_) << password << "\n";
    ::chmod(passwordFile_.c_str(), mode);
  }
  std::vector<std::string> Add(const std::string& store, const std::string& url,
                               std::vector<std::string> more = {}) {
    std::vector<std::string> args{"account", "add", store, "--url", url, "--user", "anna"};
    if (std::find(more.begin(), more.end(), "--password-env") == more.end())
      more.insert(more.begin(), {"--password-file", passwordFile_});
    args.insert(args.end(), more.begin(), more.end());
    return args;
  }
  bool HasServerTables() {
    sqlite3* db = nullptr;
    sqlite3_open_v2((profile_ + "/crm.db").c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT 1 FROM sqlite_master WHERE name LIKE '_vk_server%'", -1, &st,
                       nullptr);
    const bool found = sqlite3_step(st) == SQLITE_ROW;
    sqlite3_finalize(st);
    sqlite3_close(db);
    return found;
  }

  velklk::test::ScratchFolder folder_;
  std::string profile_, passwordFile_;
};

TEST_F(AccountTest, BindListAndRemoveOnRadicale) {
  velklk::test::Radicale radicale("anna", "Kq7-unguessable-Zt2");
  WritePassword(radicale.Password());
  const std::string dumpBefore = On({"dump"}).out;

  // A new account has no address book: refused without --create, made with it.
  auto run = On(Add(kAnna, radicale.Url()), true);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("--create"), std::string::npos) << run.out;
  EXPECT_FALSE(HasServerTables());
  run = On(Add(kAnna, radicale.Url(), {"--create", "--time-zone", "Europe/Berlin"}));
  ASSERT_EQ(run.status, 0) << On(Add(kAnna, radicale.Url(), {"--create"}), true).out;
  const std::string annaBook = radicale.Url() + "anna/kontakte/";
  auto bound = [](const std::string& folder, const std::string& url) {
    return Json{{"event", "bound"}, {"folder", folder}, {"collection", url}};
  };
  // The contacts, the calendar (and its subfolder) and the tasks folder,
  // each with a collection of its kind made with the folder's name; Clara's calendar is another
  // user's that the account may not read.
  EXPECT_EQ(Lines(run.out),
            (std::vector<Json>{
                bound("anna.berg@velmora.example\\Kontakte", annaBook),
                bound("anna.berg@velmora.example\\Kalender", radicale.Url() + "anna/kalender/"),
                bound("anna.berg@velmora.example\\Kalender\\Projekte",
                      radicale.Url() + "anna/projekte/"),
                bound("anna.berg@velmora.example\\Aufgaben", radicale.Url() + "anna/aufgaben/"),
                Json{{"event", "not bound"},
                     {"folder", "clara.lind@velmora.example\\Kalender"},
                     {"reason", "the account may not read a calendar of "
                                "clara.lind@velmora.example on the server"}}}));
  velklk::server::DavSettings settings;
  settings.user = radicale.User();
  settings.password = radicale.Password();
  velklk::server::DavClient client(settings);
  const auto book = client.Propfind(annaBook, 0, {{"DAV:", "displayname"}});
  ASSERT_EQ(book.responses.size(), 1u);
  EXPECT_EQ(book.responses[0].Property("DAV:", "displayname")->text, "Kontakte");
  for (const auto& [name, component] :
       {std::pair{"kalender", "VEVENT"}, std::pair{"aufgaben", "VTODO"}}) {
    const auto calendar =
        client.Propfind(radicale.Url() + "anna/" + name + "/", 0,
                        {{"urn:ietf:params:xml:ns:caldav", "supported-calendar-component-set"}});
    ASSERT_EQ(calendar.responses.size(), 1u);
    const auto* set = calendar.responses[0].Property("urn:ietf:params:xml:ns:caldav",
                                                     "supported-calendar-component-set");
    ASSERT_NE(set, nullptr) << name;
    const auto comps = set->Children("urn:ietf:params:xml:ns:caldav", "comp");
    ASSERT_EQ(comps.size(), 1u) << name;
    EXPECT_EQ(comps[0]->Attribute("name"), component);
  }

  // A second store with its password in a variable and a named address book.
  ::setenv("VELKLK_TEST_DAV_PASSWORD", radicale.Password().c_str(), 1);
  run = On(
      Add(kBen, "http://localhost:" + std::to_string(radicale.Port()) + "/",
          {"--password-env", "VELKLK_TEST_DAV_PASSWORD", "--address-book", "Privat", "--create"}));
  ASSERT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("/anna/privat/"), std::string::npos) << run.out;

  // The store is bound already; its address book is bound to the other store.
  run = On(Add(kAnna, radicale.Url()), true);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("bound"), std::string::npos) << run.out;

  auto list = Lines(On({"account", "list"}).out);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0]["store"], kAnna);
  EXPECT_EQ(list[0]["url"], radicale.Url());
  EXPECT_EQ(list[0]["user"], "anna");
  EXPECT_EQ(list[0]["passwordFile"], passwordFile_);
  EXPECT_EQ(list[0]["timeZone"], "Europe/Berlin");
  EXPECT_EQ(list[0]["folders"][0]["collection"], annaBook);
  EXPECT_EQ(list[1]["passwordEnv"], "VELKLK_TEST_DAV_PASSWORD");

  // The password is nowhere in the profile, its dump or the listing; the
  // items of the profile are as they were.
  const std::string dumpAfter = On({"dump"}).out;
  EXPECT_EQ(dumpAfter, dumpBefore);
  for (const auto& entry : fs::recursive_directory_iterator(profile_)) {
    if (entry.is_regular_file()) {
      EXPECT_EQ(ReadFile(entry.path()).find(radicale.Password()), std::string::npos)
          << entry.path();
    }
  }
  EXPECT_EQ(On({"account", "list"}).out.find(radicale.Password()), std::string::npos);

  // Removed, then bound again to the address book named by its URL segment.
  run = On({"account", "remove", kAnna});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("\"unbound\""), std::string::npos);
  EXPECT_EQ(On({"account", "remove", kAnna}).status, 1);
  EXPECT_EQ(Lines(On({"account", "list"}).out).size(), 1u);
  run = On(Add(kAnna, radicale.Url(), {"--address-book", "KONTAKTE"}));
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find(annaBook), std::string::npos) << run.out;
}

TEST_F(AccountTest, RefusalsLeaveTheProfileAsItWas) {
  velklk::test::Radicale radicale;
  velklk::test::HttpStub site("plain");
  velklk::test::HttpStub loop("loop");
  const std::string dumpBefore = On({"dump"}).out;
  const std::string https = "https://127.0.0.1:" + std::to_string(site.Port()) + "/";

  struct Case {
    std::vector<std::string> args;
    mode_t mode;
    std::string password;
    std::string message;
  };
  const std::vector<Case> cases = {
      {Add(kAnna, radicale.Url()), 0600, "wrong", "401"},
      {Add(kAnna, radicale.Url() + "ben/"), 0600, radicale.Password(), "no rights"},
      {Add(kAnna, site.Url()), 0600, "secret", "no CardDAV"},
      {Add(kAnna, loop.Url()), 0600, "secret", "loop"},
      {Add(kAnna, https), 0600, "secret", "TLS"},
      {Add(kAnna, "http://dav.example.org/"), 0600, "secret", "plain http is refused"},
      {Add(kAnna, radicale.Url()), 0644, radicale.Password(), "chmod 600"},
      {Add("nobody@velmora.example", radicale.Url()), 0600, radicale.Password(),
       "no mailbox store"},
      {Add(kAnna, radicale.Url(), {"--time-zone", "Mars/Olympus"}), 0600, radicale.Password(),
       "time zone"},
      {Add(kAnna, radicale.Url(), {"--ca-file", "/nonexistent.pem"}), 0600, radicale.Password(),
       "CA file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    WritePassword(c.password, c.mode);
    const auto run = On(c.args, true);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find(c.message), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find(c.password), std::string::npos) << run.out;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
  }
  // Usage errors: no password source, or two.
  EXPECT_EQ(On({"account", "add", kAnna, "--url", radicale.Url(), "--user", "anna"}).status, 2);
  auto both = Add(kAnna, radicale.Url());
  both.insert(both.end(), {"--password-env", "X"});
  EXPECT_EQ(On(both).status, 2);

  EXPECT_EQ(On({"dump"}).out, dumpBefore);
  EXPECT_FALSE(HasServerTables());
  EXPECT_EQ(On({"account", "list"}).out, "");
}

TEST_F(AccountTest, BindsTheAddressBookOfXandikos) {
  velklk::test::Xandikos xandikos;
  WritePassword("unused");
  const auto run = On(Add(kAnna, xandikos.Url()));
  ASSERT_EQ(run.status, 0) << On(Add(kAnna, xandikos.Url()), true).out;
  // Its one calendar takes events and tasks: the calendar and the tasks
  // folder share it.
  const auto lines = Lines(run.out);
  ASSERT_GE(lines.size(), 3u) << run.out;
  EXPECT_EQ(lines[0]["collection"], xandikos.AddressBookUrl());
  EXPECT_EQ(lines[1]["folder"], "anna.berg@velmora.example\\Kalender");
  EXPECT_EQ(lines[2]["folder"], "anna.berg@velmora.example\\Aufgaben");
  EXPECT_EQ(lines[1]["collection"], lines[2]["collection"]);
}

TEST_F(AccountTest, SendReceiveWithoutAccountFails) {
  auto run = On({"send-receive"}, true);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("no server account"), std::string::npos);
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1);
  run = On({"call", "--send-receive", "velKLK.CSync", "SyncContacts2VEL"}, true);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("no server account"), std::string::npos);

  run = Velklk({"-p", profile_, "session"}, "{\"sendReceive\": null}\n{\"sendReceive\": 5}\n");
  const auto lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 4u) << run.out;
  EXPECT_EQ(lines[0]["event"], "error");
  EXPECT_EQ(lines[0]["number"], "0x80004005");
  EXPECT_EQ(lines[2]["number"], "0x80070057");
  EXPECT_EQ(lines[3]["event"], "done");
}

}  // namespace
