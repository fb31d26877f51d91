// Send/receive of a bound contacts folder against Radicale (and once against
// Xandikos), driven through velklk as a user drives it, with the server's
// side changed by plain HTTP requests: the first pass both ways, changes and
// deletions both ways, a conflict, a write the server refuses with 412, a
// pass with nothing to do; the faults of a server (through a proxy that
// fails requests as the test arms it: 5xx, 403, no XML, hrefs left out,
// dropped connections, no answer, a wrong password, an unknown sync token,
// cards that cannot be read), and a server killed in the middle of a pass.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "profile/profile.h"
#include "server/accounts.h"
#include "server/dav_client.h"
#include "server/sync_engine.h"
#include "sqlite/connection.h"
#include "support/dav_servers.h"
#include "support/velklk_command.h"

namespace {

using Json = nlohmann::json;
using velklk::test::Velklk;
namespace server = velklk::server;

constexpr const char* kAnna = "anna.berg@velmora.example";
constexpr const char* kFolder = "anna.berg@velmora.example\\Kontakte";

std::vector<Json> Lines(const std::string& text) { return velklk::test::JsonLines(text); }
Json Event(const std::string& out, const std::string& event) {
  return velklk::test::LastEvent(out, event);
}

std::string Card(const std::string& uid, const std::string& family, const std::string& company,
                 const std::string& rev) {
  return "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:" + uid + "\r\nN:" + family + ";Eva;;;\r\nFN:Eva " +
         family + "\r\nORG:" + company + "\r\nREV:" + rev + "\r\nEND:VCARD\r\n";
}

// A profile whose contacts folder is bound to an address book, driven
// through velklk, with a plain client for the server's side.
class PassDriver : public ::testing::Test {
 protected:
  PassDriver() : folder_("velklk-sync") {
    profile_ = folder_.Path() + "/p";
    EXPECT_EQ(Velklk({"init", profile_}).status, 0);
  }
  void Bind(const std::string& url, const std::string& user, const std::string& password,
            const std::vector<std::string>& more) {
    ::setenv("VELKLK_TEST_SYNC_PASSWORD", password.c_str(), 1);
    std::vector<std::string> args{"account", "add", kAnna, "--url", url, "--user", user};
    args.insert(args.end(), {"--password-env", "VELKLK_TEST_SYNC_PASSWORD"});
    args.insert(args.end(), more.begin(), more.end());
    auto run = On(args);
    EXPECT_EQ(run.status, 0);
    collection_ = velklk::test::BoundCollection(run.out, kFolder);
    server::DavSettings settings;
    settings.user = user;
    settings.password = password;
    http_ = std::make_unique<server::DavClient>(settings);
  }
  // These tests are about the contacts folder: the account keeps only its
  // binding, so that the requests and the state are the address book's.
  void ContactsOnly() {
    auto db = velklk::sqlite::Connection::Open(profile_ + "/crm.db", velklk::sqlite::Journal::Wal);
    db->Exec("DELETE FROM _vk_server_folders WHERE kind <> 'contacts'");
  }
  velklk::test::CommandRun On(std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.begin(), {"-p", profile_, "--user", "ANNA"});
    return Velklk(args, input);
  }
  // One pass; its report's entry of the contacts folder.
  Json Pass(int status = 0) {
    auto run = On({"send-receive"});
    EXPECT_EQ(run.status, status) << run.out;
    last_ = run.out;
    return Event(run.out, "report")["outlook"][kFolder];
  }
  std::vector<Json> Contacts() { return Lines(On({"find", kFolder, "[LastName] <> \"\""}).out); }
  Json ContactNamed(const std::string& last) {
    for (const auto& c : Contacts())
      if (c.value("LastName", "") == last) return c;
    return nullptr;
  }
  std::string Get(const std::string& url) { return http_->Send("GET", url).body; }
  void PutCard(const std::string& name, const std::string& text) {
    http_->Put(collection_ + name, text, "text/vcard", server::Precondition::Absent());
  }
  void Add(const std::string& first, const std::string& last) {
    Session(
        R"({"outlook": "add", "folder": "anna.berg@velmora.example\\Kontakte", "item": {"class": "contact", "FirstName": ")" +
        first + R"(", "LastName": ")" + last + "\"}}\n");
  }
  // The profile's items and its record of the server: what a pass that could
  // not finish must leave as it was.
  std::string State() {
    std::string state = On({"dump"}).out;
    auto db = velklk::sqlite::Connection::Open(profile_ + "/crm.db", velklk::sqlite::Journal::Wal);
    auto rows = db->Prepare(
        "SELECT entry_id || href || etag || revision || content_hash FROM _vk_server_items "
        "UNION ALL SELECT sync_token FROM _vk_server_folders ORDER BY 1");
    while (rows.Step()) state += "\n" + rows.Text(0);
    return state;
  }
  // The family names of the contacts on the server, sorted.
  std::vector<std::string> ServerNames() {
    std::vector<std::string> hrefs, names;
    for (const auto& [href, etag] : http_->SyncCollection(collection_, "").changed)
      hrefs.push_back(href);
    for (const auto& r : http_->Multiget(collection_, hrefs).found) {
      const auto at = r.data.find("\nN:") + 3;
      names.push_back(r.data.substr(at, r.data.find(';', at) - at));
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  std::vector<std::string> LocalNames() {
    std::vector<std::string> names;
    for (const auto& c : Contacts()) names.push_back(c.value("LastName", ""));
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string Etag(const std::string& url) { return http_->Send("GET", url).Header("etag"); }
  void Session(const std::string& commands) { On({"session"}, commands); }

  velklk::test::ScratchFolder folder_;
  std::string profile_, collection_, last_;
  std::unique_ptr<server::DavClient> http_;
};

class SyncTest : public PassDriver {
 protected:
  SyncTest() {
    Bind(radicale_.Url(), radicale_.User(), radicale_.Password(), {"--create"});
    ContactsOnly();
  }
  // The account bound again through a proxy that fails requests as armed.
  void ThroughProxy() {
    proxy_ = std::make_unique<velklk::test::HttpStub>("proxy", false, radicale_.Port());
    EXPECT_EQ(On({"account", "remove", kAnna}).status, 0);
    EXPECT_EQ(On({"account", "add", kAnna, "--url", proxy_->Url(), "--user", radicale_.User(),
                  "--password-env", "VELKLK_TEST_SYNC_PASSWORD", "--address-book", "Kontakte"})
                  .status,
              0);
    ContactsOnly();
  }
  void Arm(const Json& rules) {
    http_->Send("POST", proxy_->Url() + "_stub/faults", {"Content-Type: application/json"},
                rules.dump());
  }

  velklk::test::Radicale radicale_;
  std::unique_ptr<velklk::test::HttpStub> proxy_;
};

Json Counts(long created, long changed, long deleted) {
  return Json{{"created", created}, {"changed", changed}, {"deleted", deleted}};
}

TEST_F(SyncTest, ChangesAndDeletionsTravelBothWays) {
  // First pass: Paula goes up, Eva comes down.
  http_->Put(collection_ + "eva.vcf", Card("eva-1", "Sommer", "Sommer KG", "20261201T100000Z"),
             "text/vcard", server::Precondition::Absent());
  Json report = Pass();
  EXPECT_EQ(report["sent"], Counts(1, 0, 0)) << last_;
  EXPECT_EQ(report["received"], Counts(1, 0, 0)) << last_;
  EXPECT_EQ(Event(last_, "result")["value"], true);
  ASSERT_FALSE(ContactNamed("Sommer").is_null());
  EXPECT_EQ(ContactNamed("Sommer")["CompanyName"], "Sommer KG");
  EXPECT_EQ(ContactNamed("Sommer")["LastModificationTime"].get<std::string>().substr(0, 10),
            "2026-12-01");
  const std::string paula = ContactNamed("Neumann")["entryId"];
  const std::string paulaUrl = collection_ + paula + ".vcf";
  EXPECT_NE(Get(paulaUrl).find("Neumann Design"), std::string::npos);

  // Nothing to do: nothing moves; the engine asks at most two requests.
  EXPECT_EQ(Pass()["received"], Counts(0, 0, 0));
  {
    auto profile = velklk::Profile::Open(profile_);
    auto account = server::AccountStore(profile->Connection()).Find(kAnna);
    ASSERT_TRUE(account);
    server::SyncEngine engine(profile->Connection(), profile->Outlook(), [] {});
    server::PassOptions options;
    options.settings.password = radicale_.Password();
    auto results = engine.Run(*account, options);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_FALSE(results[0].error);
    EXPECT_LE(engine.Requests(), 2);
  }

  // Changed on the server: the contact changes here.
  std::string text = Get(paulaUrl);
  text.replace(text.find("Neumann Design"), 14, "Neumann Studio");
  http_->Put(paulaUrl, text, "text/vcard", server::Precondition::Matching(Etag(paulaUrl)));
  EXPECT_EQ(Pass()["received"], Counts(0, 1, 0)) << last_;
  EXPECT_EQ(ContactNamed("Neumann")["CompanyName"], "Neumann Studio");

  // Changed here: the server's copy changes.
  Session(R"({"now": "2026-12-07 09:00:00"})"
          "\n"
          R"({"outlook": "change", "folder": "anna.berg@velmora.example\\Kontakte", "find": "[LastName] = \"Sommer\"", "set": {"JobTitle": "Einkauf"}})"
          "\n");
  report = Pass();
  EXPECT_EQ(report["sent"], Counts(0, 1, 0)) << last_;
  EXPECT_NE(Get(collection_ + "eva.vcf").find("TITLE:Einkauf"), std::string::npos);

  // Deleted on the server, and deleted here.
  http_->Delete(collection_ + "eva.vcf", server::Precondition{});
  Session(R"({"outlook": "delete", "folder": "anna.berg@velmora.example\\Kontakte", "find": "[LastName] = \"Neumann\""})"
          "\n");
  report = Pass();
  EXPECT_EQ(report["received"], Counts(0, 0, 1)) << last_;
  EXPECT_EQ(report["sent"], Counts(0, 0, 1)) << last_;
  EXPECT_TRUE(Contacts().empty());
  EXPECT_EQ(http_->Send("GET", paulaUrl).status, 404);
  EXPECT_EQ(Pass(), (Json{{"received", Counts(0, 0, 0)}, {"sent", Counts(0, 0, 0)}, {"conflicts", 0}}));

  // The newest contact deleted, another added later: the new one does not
  // take over the entry ID (and so the record) of the deleted one.
  Add("Jonas", "Brandt");
  Pass();
  Session(R"({"outlook": "delete", "folder": "anna.berg@velmora.example\\Kontakte", "find": "[LastName] = \"Brandt\""})"
          "\n");
  Add("Lena", "Vogt");
  report = Pass();
  EXPECT_EQ(report["sent"], Counts(1, 0, 1)) << last_;
  EXPECT_EQ(ServerNames(), std::vector<std::string>{"Vogt"});
}

TEST_F(SyncTest, ConflictsGoToTheNewerSideAndThe412IsDecidedAlike) {
  Pass();
  const std::string paula = ContactNamed("Neumann")["entryId"];
  const std::string url = collection_ + paula + ".vcf";

  // Both changed; the Outlook change is newer: it wins, the server's version
  // is in the journal.
  std::string text = Get(url);
  text.replace(text.find("Neumann Design"), 14, "Server GmbH");
  text.replace(text.find("REV:"), 20, "REV:20261205T100000Z");
  http_->Put(url, text, "text/vcard", server::Precondition::Matching(Etag(url)));
  Session(R"({"now": "2026-12-07 09:00:00"})"
          "\n"
          R"({"outlook": "change", "folder": "anna.berg@velmora.example\\Kontakte", "find": "[LastName] = \"Neumann\"", "set": {"CompanyName": "Outlook AG"}})"
          "\n");
  Json report = Pass();
  EXPECT_EQ(report["conflicts"], 1) << last_;
  EXPECT_EQ(ContactNamed("Neumann")["CompanyName"], "Outlook AG");
  EXPECT_NE(Get(url).find("ORG:Outlook AG"), std::string::npos);
  auto journal = Lines(Velklk({"report", profile_}).out);
  ASSERT_GE(journal.size(), 2u);
  const Json& entry = journal[journal.size() - 2];
  ASSERT_TRUE(entry.contains("conflicts")) << entry;
  EXPECT_EQ(entry["conflicts"][0]["winner"], "outlook");
  EXPECT_NE(entry["conflicts"][0]["server"]["text"].get<std::string>().find("Server GmbH"),
            std::string::npos);

  // The server's change is newer: it wins.
  text = Get(url);
  text.replace(text.find("Outlook AG"), 10, "Server Neu");
  text.replace(text.find("REV:"), 20, "REV:20261208T100000Z");
  http_->Put(url, text, "text/vcard", server::Precondition::Matching(Etag(url)));
  Session(R"({"now": "2026-12-07 10:00:00"})"
          "\n"
          R"({"outlook": "change", "folder": "anna.berg@velmora.example\\Kontakte", "find": "[LastName] = \"Neumann\"", "set": {"CompanyName": "Verloren"}})"
          "\n");
  EXPECT_EQ(Pass()["conflicts"], 1);
  EXPECT_EQ(ContactNamed("Neumann")["CompanyName"], "Server Neu");

  // A change sent without a receive first meets the server's newer version
  // (412): the same rule decides, nothing is overwritten unseen.
  text = Get(url);
  text.replace(text.find("Server Neu"), 10, "Spaeter");
  text.replace(text.find("REV:"), 20, "REV:20261209T100000Z");
  http_->Put(url, text, "text/vcard", server::Precondition::Matching(Etag(url)));
  Session(R"({"now": "2026-12-07 11:00:00"})"
          "\n"
          R"({"outlook": "change", "folder": "anna.berg@velmora.example\\Kontakte", "find": "[LastName] = \"Neumann\"", "set": {"CompanyName": "Frueher"}})"
          "\n");
  {
    auto profile = velklk::Profile::Open(profile_);
    auto account = server::AccountStore(profile->Connection()).Find(kAnna);
    server::SyncEngine engine(profile->Connection(), profile->Outlook(), [] {});
    server::PassOptions options;
    options.phase = server::PassOptions::Phase::Send;
    auto results = engine.Run(*account, options);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].conflicts, 1);
    EXPECT_EQ(results[0].sent.changed, 0);
  }
  EXPECT_EQ(ContactNamed("Neumann")["CompanyName"], "Spaeter");
  EXPECT_NE(Get(url).find("ORG:Spaeter"), std::string::npos);
  EXPECT_EQ(Pass()["conflicts"], 0);
}

TEST_F(SyncTest, AWriteWhoseLocalRecordWasLostIsRecognisedNotRepeated) {
  Pass();
  // A pass stopped between its PUT and its local commit: the server holds
  // the contact, the profile has no record of it. The create is refused
  // (412), the server's copy is the same: recorded, no second resource.
  auto forget = [&](bool token) {
    auto db = velklk::sqlite::Connection::Open(profile_ + "/crm.db", velklk::sqlite::Journal::Wal);
    db->Exec("DELETE FROM _vk_server_items");
    if (token) db->Exec("UPDATE _vk_server_folders SET sync_token = ''");
  };
  for (bool token : {false, true}) {
    forget(token);
    const Json report = Pass();
    EXPECT_EQ(report, (Json{{"received", Counts(0, 0, 0)}, {"sent", Counts(0, 0, 0)}, {"conflicts", 0}}))
        << last_;
    const auto listing = http_->SyncCollection(collection_, "");
    EXPECT_EQ(listing.changed.size(), 1u);
    EXPECT_EQ(Contacts().size(), 1u);
  }
}

// An undo of a call whose work a pass had sent: the items it puts back,
// changes back or removes are changes made here, which the next pass sends,
// so the server holds what it held before the call. A pass is no call to
// undo, and what a pass only sent does not stand in the undo's way; a
// change it received to an item the call touched does.
TEST_F(SyncTest, UndoneCallsAndPassesAreSentAgainAndAReceivedChangeStopsAnUndo) {
  Session(
      R"({"call": ["velKLK.CSync", "AddressOrContactSync2OL", "0000000001", "Adressen"], "user": "ANNA", "now": "2026-12-06 10:00:00"})"
      "\n"
      R"({"call": ["velKLK.CSync", "AddressOrContactSync2OL", "0000000011", "Ansprechpartner"], "user": "ANNA", "now": "2026-12-06 10:05:00"})"
      "\n");
  ASSERT_EQ(Pass()["sent"], Counts(3, 0, 0)) << last_;
  auto server = [&] {
    std::map<std::string, std::string> cards;
    for (const auto& [href, etag] : http_->SyncCollection(collection_, "").changed)
      cards[href] = Get(server::DavClient::Resolve(collection_, href));
    return cards;
  };
  const auto before = server();
  const std::string paula = ContactNamed("Neumann")["entryId"];
  const std::string paulaUrl = collection_ + paula + ".vcf";

  // The contact person is gone from the CRM: the import links Paula (a
  // change), makes her company's contact and deletes the stale one.
  velklk::sqlite::Connection::Open(profile_ + "/crm.db", velklk::sqlite::Journal::Wal)
      ->Exec("DELETE FROM Ansprechpartner WHERE ID = '0000000011'");
  auto run = On({"--now", "2026-12-06 11:00:00", "--answer", "yes", "call", "velKLK.CSync",
                 "SyncContacts2VEL"});
  ASSERT_EQ(Event(run.out, "report")["outlook"][kFolder],
            (Json{{"created", 1}, {"changed", 1}, {"deleted", 1}}))
      << run.out;
  EXPECT_EQ(Pass()["sent"], Counts(1, 1, 1)) << last_;
  const auto after = server();
  ASSERT_NE(after, before);

  // Undone past the pass: sent back as a change, a creation and a deletion.
  run = On({"undo"});
  EXPECT_EQ(Event(run.out, "result")["value"], true) << run.out;
  EXPECT_EQ(Pass()["sent"], Counts(1, 1, 1)) << last_;
  EXPECT_EQ(server(), before);
  EXPECT_EQ(Pass(),
            (Json{{"received", Counts(0, 0, 0)}, {"sent", Counts(0, 0, 0)}, {"conflicts", 0}}))
      << last_;
  const std::string passEntry =
      std::to_string(Lines(Velklk({"report", profile_}).out).end()[-2]["entry"].get<int>());
  run = Velklk({"-p", profile_, "undo", passEntry}, "", true);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("send/receive pass"), std::string::npos) << run.out;

  // The undo undone: the call's work is back, here and there.
  EXPECT_EQ(Event(On({"undo"}).out, "result")["value"], true);
  EXPECT_EQ(Pass()["sent"], Counts(1, 1, 1)) << last_;
  EXPECT_EQ(server(), after);

  // Paula changed on the server and received: undoing the call would
  // overwrite that change, so it is refused.
  std::string callEntry;  // the undo of the undo: the call's work in effect again
  for (const auto& line : Lines(Velklk({"report", profile_}).out))
    if (line.value("member", "") == "undo") callEntry = std::to_string(line["entry"].get<int>());
  std::string text = Get(paulaUrl);
  text.replace(text.find("Neumann Design"), 14, "Neumann Studio");
  http_->Put(paulaUrl, text, "text/vcard", server::Precondition::Matching(Etag(paulaUrl)));
  EXPECT_EQ(Pass()["received"], Counts(0, 1, 0)) << last_;
  const std::string state = On({"dump"}).out;
  run = On({"undo", callEntry});
  const Json conflict{{"event", "conflict"}, {"folder", kFolder}, {"key", paula}};
  EXPECT_EQ(run.out, conflict.dump() + "\n" + R"({"event":"result","value":false})" + "\n");
  EXPECT_EQ(On({"dump"}).out, state);
  EXPECT_EQ(Pass()["sent"], Counts(0, 0, 0)) << last_;

  // The pass that received it can be undone: Paula is as before here, and
  // the next pass sends her back.
  run = On({"undo"});
  EXPECT_EQ(Event(run.out, "report")["outlook"][kFolder], Counts(0, 1, 0)) << run.out;
  EXPECT_EQ(ContactNamed("Neumann")["CompanyName"], "Neumann Design");
  EXPECT_EQ(Pass()["sent"], Counts(0, 1, 0)) << last_;
  EXPECT_NE(Get(paulaUrl).find("Neumann Design"), std::string::npos);
}

// A pass of the engine in this process, with its own settings.
server::FolderPassResult EnginePass(const std::string& profilePath,
                                    const std::function<void(server::PassOptions&)>& adjust) {
  auto profile = velklk::Profile::Open(profilePath);
  auto account = server::AccountStore(profile->Connection()).Find(kAnna);
  server::SyncEngine engine(profile->Connection(), profile->Outlook(),
                            [&] { profile->ReloadState(); });
  server::PassOptions options;
  adjust(options);
  auto results = engine.Run(*account, options);
  EXPECT_EQ(results.size(), 1u);
  return results.empty() ? server::FolderPassResult{} : results[0];
}

TEST_F(SyncTest, ServerFaultsStopTheirItemOrTheFolderAndLoseNothing) {
  ThroughProxy();
  PutCard("eva.vcf", Card("eva-1", "Sommer", "Sommer KG", "20261201T100000Z"));
  PutCard("karl.vcf", Card("karl-1", "Winter", "Winter AG", "20261201T100000Z"));
  Add("Jonas", "Brandt");

  // A listing or fetch that fails stops the folder with the server's words;
  // the profile is as it was.
  const std::string before = State();
  const std::vector<std::pair<std::string, std::string>> stops = {
      {R"([{"method": "REPORT", "fault": "503"}])", "HTTP 503"},
      {R"([{"fault": "garbage", "count": -1}])", "XML"},
      // (libcurl asks once more on a new connection when a kept one drops)
      {R"([{"body": "addressbook-multiget", "fault": "drop", "count": -1}])", "dropped"},
      {R"([{"body": "addressbook-multiget", "fault": "500"}])", "HTTP 500"},
  };
  for (const auto& [rules, message] : stops) {
    SCOPED_TRACE(rules);
    Arm(Json::parse(rules));
    const Json report = Pass();
    EXPECT_NE(report.value("error", "").find(message), std::string::npos) << last_;
    EXPECT_EQ(Event(last_, "result")["value"], false);
    EXPECT_EQ(State(), before);
  }
  // A multiget answer without the hrefs asked for: nothing is received, and
  // nothing is skipped for good either.
  Arm(Json::parse(R"([{"body": "addressbook-multiget", "fault": "empty"}])"));
  Json report = Pass();
  EXPECT_EQ(report["received"], Counts(0, 0, 0)) << last_;
  EXPECT_NE(report.value("error", "").find("did not send 2"), std::string::npos) << last_;
  EXPECT_EQ(report["sent"], Counts(2, 0, 0)) << last_;
  Arm(Json::array());
  EXPECT_EQ(Pass()["received"], Counts(2, 0, 0)) << last_;

  // Writes that fail: a 500 and a 403 stop their item, not the pass.
  Add("Lena", "Vogt");
  Add("Tom", "Kern");
  Session(
      R"({"outlook": "change", "folder": "anna.berg@velmora.example\\Kontakte", "find": "[LastName] = \"Sommer\"", "set": {"JobTitle": "Einkauf"}})"
      "\n");
  Arm(Json::parse(R"([{"method": "PUT", "fault": "500"}, {"method": "PUT", "fault": "403"}])"));
  report = Pass();
  EXPECT_EQ(report["sent"], Counts(0, 1, 0)) << last_;
  EXPECT_NE(report.value("error", "").find("HTTP 500"), std::string::npos) << last_;
  // The server writes, then the connection drops before its answer: the
  // folder stops; the next pass finds the write done and makes no second one.
  Arm(Json::parse(R"([{"method": "PUT", "fault": "lost", "count": -1}])"));
  report = Pass();
  EXPECT_NE(report.value("error", "").find("dropped"), std::string::npos) << last_;
  Arm(Json::array());
  report = Pass();
  EXPECT_EQ(report["sent"], Counts(1, 0, 0)) << last_;
  EXPECT_FALSE(report.contains("error")) << last_;

  // No answer in time, and a password the server refuses: nothing changes.
  const std::string settled = State();
  Arm(Json::parse(R"([{"method": "REPORT", "fault": "hang"}])"));
  const auto timedOut = EnginePass(profile_, [](server::PassOptions& options) {
    options.settings.stallTimeoutMs = 1000;
    options.settings.totalTimeoutMs = 2000;
  });
  EXPECT_NE(timedOut.error.value_or("").find("no answer in time"), std::string::npos);
  EXPECT_FALSE(timedOut.reached);
  ::setenv("VELKLK_TEST_SYNC_PASSWORD", "wrong", 1);
  const auto refused = Velklk({"-p", profile_, "send-receive"}, "", true);
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.out.find("user name or password"), std::string::npos) << refused.out;
  ::setenv("VELKLK_TEST_SYNC_PASSWORD", radicale_.Password().c_str(), 1);
  EXPECT_EQ(State(), settled);

  // A sync token the server no longer knows: the full listing, nothing
  // doubled.
  std::string text = Get(collection_ + "karl.vcf");
  text.replace(text.find("Winter AG"), 9, "Winter SE");
  http_->Put(collection_ + "karl.vcf", text, "text/vcard",
             server::Precondition::Matching(Etag(collection_ + "karl.vcf")));
  velklk::sqlite::Connection::Open(profile_ + "/crm.db", velklk::sqlite::Journal::Wal)
      ->Exec("UPDATE _vk_server_folders SET sync_token = 'http://radicale.org/ns/sync/0000'");
  report = Pass();
  EXPECT_EQ(report,
            (Json{{"received", Counts(0, 1, 0)}, {"sent", Counts(0, 0, 0)}, {"conflicts", 0}}))
      << last_;
  EXPECT_EQ(ContactNamed("Winter")["CompanyName"], "Winter SE");
  const std::vector<std::string> all{"Brandt", "Kern", "Neumann", "Sommer", "Vogt", "Winter"};
  EXPECT_EQ(LocalNames(), all);
  EXPECT_EQ(ServerNames(), all);
}

TEST_F(SyncTest, CardsThatCannotBeReadFailAloneAndComeOnceReadable) {
  ThroughProxy();
  for (const std::string name : {"kaputt", "ohne", "zwilling-1", "zwilling-2", "gross", "foto"})
    PutCard(name + ".vcf", Card(name, name, name + " GmbH", "20261201T100000Z"));
  // In transit: a nested BEGIN, no UID, a UID twice, a card of 10 MB, a
  // line of 1 MB.
  Arm(Json::parse(R"([{"body": "addressbook-multiget", "fault": "rewrite", "count": -1, "replace": [
        ["UID:kaputt", "UID:kaputt\nBEGIN:VCARD", 0], ["UID:ohne", "X-NO-UID:ohne", 0],
        ["UID:zwilling-2", "UID:zwilling-1", 0], ["ORG:gross GmbH", "NOTE:", 10485760],
        ["ORG:foto GmbH", "X-FOTO:", 1048576]]}])"));
  // With answers bounded to 8 MB, the page is asked for in parts: the card
  // of 10 MB alone is too large.
  const auto bounded = EnginePass(
      profile_, [](server::PassOptions& options) { options.settings.maxResponseBytes = 8u << 20; });
  EXPECT_EQ(bounded.received.created, 4);
  EXPECT_EQ(bounded.sent.created, 1);
  EXPECT_TRUE(bounded.error) << "no error";
  EXPECT_EQ(LocalNames(),
            (std::vector<std::string>{"Neumann", "foto", "ohne", "zwilling-1", "zwilling-2"}));
  // Unbounded, the card of 10 MB is read and refused, as is the broken one.
  Json report = Pass();
  EXPECT_EQ(report["received"], Counts(0, 0, 0)) << last_;
  const std::string error = report.value("error", "");
  EXPECT_TRUE(error.find("kaputt.vcf: vCard line 4: BEGIN:VCARD inside a vCard") !=
                  std::string::npos ||
              error.find("gross.vcf: vCard: the vCard has") != std::string::npos)
      << error;
  // Readable again: they come, and nothing is doubled.
  Arm(Json::array());
  report = Pass();
  EXPECT_EQ(report["received"], Counts(2, 0, 0)) << last_;
  EXPECT_FALSE(report.contains("error")) << last_;
  EXPECT_EQ(LocalNames().size(), 7u);
  EXPECT_EQ(ServerNames(), LocalNames());
}

TEST_F(SyncTest, AServerKilledInAPassLosesNothingOnceItIsBack) {
  for (int i = 0; i < 10; ++i)
    PutCard("s" + std::to_string(i) + ".vcf",
            Card("s" + std::to_string(i), "Server" + std::to_string(i), "S", "20261201T100000Z"));
  std::string adds;
  for (int i = 0; i < 8; ++i)
    adds +=
        R"({"outlook": "add", "folder": "anna.berg@velmora.example\\Kontakte", "item": {"class": "contact", "LastName": "Lokal)" +
        std::to_string(i) + "\"}}\n";
  Session(adds);
  // Radicale is killed (by its process id) after the item `at` of a pass,
  // and started again on the same storage after it.
  auto killedAt = [&](long at) {
    auto result = EnginePass(profile_, [&](server::PassOptions& options) {
      options.pageSize = 4;
      options.progress = [&](long done, long) {
        if (done == at) radicale_.Kill();
      };
    });
    radicale_.Restart();
    return result;
  };
  // In the receive: the page fetched is applied, the next cannot be fetched.
  auto result = killedAt(3);
  EXPECT_NE(result.error.value_or("").find("cannot connect"), std::string::npos)
      << result.error.value_or("");
  EXPECT_EQ(result.received.created, 4);
  EXPECT_EQ(result.sent.created, 0);
  // In the send: the rest received, three of nine sent.
  result = killedAt(9);
  EXPECT_NE(result.error.value_or("").find("cannot connect"), std::string::npos);
  EXPECT_EQ(result.received.created, 6);
  EXPECT_EQ(result.sent.created, 3);
  // A clean pass: both sides hold every contact once.
  const Json report = Pass();
  EXPECT_EQ(report,
            (Json{{"received", Counts(0, 0, 0)}, {"sent", Counts(6, 0, 0)}, {"conflicts", 0}}))
      << last_;
  const auto names = LocalNames();
  EXPECT_EQ(names.size(), 19u);
  EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), 19u);
  EXPECT_EQ(ServerNames(), names);
}

// The second server: the same pass on Xandikos.
class SyncXandikos : public PassDriver {
 protected:
  SyncXandikos() {
    Bind(xandikos_.Url(), "anna", "unused", {});
    ContactsOnly();
  }
  velklk::test::Xandikos xandikos_;
};

TEST_F(SyncXandikos, ChangesAndADeletionTravelBothWays) {
  PutCard("eva.vcf", Card("eva-1", "Sommer", "Sommer KG", "20261201T100000Z"));
  Json report = Pass();
  EXPECT_EQ(report["sent"], Counts(1, 0, 0)) << last_;
  EXPECT_EQ(report["received"], Counts(1, 0, 0)) << last_;
  ASSERT_FALSE(ContactNamed("Neumann").is_null());
  const std::string paulaUrl =
      collection_ + ContactNamed("Neumann")["entryId"].get<std::string>() + ".vcf";

  // Changed there and here, each a different contact.
  std::string text = Get(paulaUrl);
  ASSERT_NE(text.find("Neumann Design"), std::string::npos) << text;
  text.replace(text.find("Neumann Design"), 14, "Neumann Studio");
  http_->Put(paulaUrl, text, "text/vcard", server::Precondition::Matching(Etag(paulaUrl)));
  Session(
      R"({"outlook": "change", "folder": "anna.berg@velmora.example\\Kontakte", "find": "[LastName] = \"Sommer\"", "set": {"JobTitle": "Einkauf"}})"
      "\n");
  report = Pass();
  EXPECT_EQ(report["received"], Counts(0, 1, 0)) << last_;
  EXPECT_EQ(report["sent"], Counts(0, 1, 0)) << last_;
  EXPECT_EQ(ContactNamed("Neumann")["CompanyName"], "Neumann Studio");
  EXPECT_NE(Get(collection_ + "eva.vcf").find("TITLE:Einkauf"), std::string::npos);

  // Deleted there, and the other deleted here.
  http_->Delete(paulaUrl, server::Precondition{});
  Session(
      R"({"outlook": "delete", "folder": "anna.berg@velmora.example\\Kontakte", "find": "[LastName] = \"Sommer\""})"
      "\n");
  report = Pass();
  EXPECT_EQ(report["received"], Counts(0, 0, 1)) << last_;
  EXPECT_EQ(report["sent"], Counts(0, 0, 1)) << last_;
  EXPECT_TRUE(Contacts().empty());
  EXPECT_TRUE(ServerNames().empty());
  EXPECT_EQ(Pass(),
            (Json{{"received", Counts(0, 0, 0)}, {"sent", Counts(0, 0, 0)}, {"conflicts", 0}}));
}

TEST(SyncServerGone, APassAgainstNoServerCannotStartAndChangesNothing) {
  velklk::test::ScratchFolder folder("velklk-sync-gone");
  const std::string profile = folder.Path() + "/p";
  ASSERT_EQ(Velklk({"init", profile}).status, 0);
  std::string collection;
  {
    velklk::test::Radicale radicale;
    ::setenv("VELKLK_TEST_SYNC_PASSWORD", radicale.Password().c_str(), 1);
    auto run = Velklk({"-p", profile, "account", "add", kAnna, "--url", radicale.Url(), "--user",
                       radicale.User(), "--password-env", "VELKLK_TEST_SYNC_PASSWORD", "--create"});
    ASSERT_EQ(run.status, 0);
  }
  // The server is gone: the pass cannot start, the profile is as it was.
  const std::string before = Velklk({"dump", profile}).out;
  auto run = Velklk({"-p", profile, "send-receive"}, "", true);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
  EXPECT_EQ(Velklk({"dump", profile}).out, before);
}

}  // namespace

// ------------------------------------------------------------ calendars

constexpr const char* kCalendar = "anna.berg@velmora.example\\Kalender";
constexpr const char* kClaraCalendar = "clara.lind@velmora.example\\Kalender";

std::string Event(const std::string& uid, const std::string& summary, const std::string& day) {
  return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Other//EN\r\nBEGIN:VEVENT\r\nUID:" + uid +
         "\r\nDTSTAMP:20270101T000000Z\r\nDTSTART;TZID=Europe/Berlin:" + day +
         "T100000\r\nDTEND;TZID=Europe/Berlin:" + day + "T113000\r\nSUMMARY:" + summary +
         "\r\nLAST-MODIFIED:20270101T080000Z\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
}

// Anna's account on a Radicale where Clara may let Anna read her calendars.
class SyncCalendars : public PassDriver {
 protected:
  SyncCalendars()
      : radicale_("anna", "anna-secret", {{"clara.lind", "clara-secret"}},
                  "[root]\nuser: .+\ncollection:\npermissions: R\n"
                  "[principal]\nuser: .+\ncollection: {user}\npermissions: RW\n"
                  "[own]\nuser: .+\ncollection: {user}/[^/]+\npermissions: rw\n"
                  "[clara-principal]\nuser: anna\ncollection: clara\\.lind\npermissions: R\n"
                  "[clara-calendars]\nuser: anna\ncollection: clara\\.lind/[^/]+\npermissions: r\n") {
    server::DavSettings settings;
    settings.user = "clara.lind";
    settings.password = "clara-secret";
    clara_ = std::make_unique<server::DavClient>(settings);
    claraCalendar_ = radicale_.Url() + "clara.lind/kalender/";
    clara_->MakeCalendar(claraCalendar_, "Kalender", {"VEVENT"});
    clara_->Put(claraCalendar_ + "jour-fixe.ics", Event("jour-fixe", "Jour fixe", "20270302"),
                "text/calendar", server::Precondition::Absent());
  }
  void BindAnna() {
    ::setenv("VELKLK_TEST_SYNC_PASSWORD", "anna-secret", 1);
    auto run = On({"account", "add", kAnna, "--url", radicale_.Url(), "--user", "anna",
                   "--password-env", "VELKLK_TEST_SYNC_PASSWORD", "--create", "--time-zone",
                   "Europe/Berlin"});
    ASSERT_EQ(run.status, 0) << run.out;
    bindOut_ = run.out;
    calendar_ = velklk::test::BoundCollection(run.out, kCalendar);
    server::DavSettings settings;
    settings.user = "anna";
    settings.password = "anna-secret";
    http_ = std::make_unique<server::DavClient>(settings);
  }
  Json Folder(const char* folder) { return Event(last_, "report")["outlook"][folder]; }
  std::vector<Json> Appointments(const char* folder) {
    return Lines(On({"find", folder, "[Subject] <> \"\""}).out);
  }

  velklk::test::Radicale radicale_;
  std::unique_ptr<server::DavClient> clara_;
  std::string claraCalendar_, calendar_, bindOut_;
};

TEST_F(SyncCalendars, EventsCountTheirSequenceAndATaskInACalendarFailsAlone) {
  BindAnna();
  ASSERT_FALSE(calendar_.empty()) << bindOut_;
  http_->Put(calendar_ + "review.ics", Event("review-1", "Review", "20270329"), "text/calendar",
             server::Precondition::Absent());
  // A task where only events belong (the server took it): an error of its
  // own, the event beside it comes.
  http_->Put(calendar_ + "task.ics",
             "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:x\r\nBEGIN:VTODO\r\nUID:t-1\r\n"
             "SUMMARY:Stray\r\nEND:VTODO\r\nEND:VCALENDAR\r\n",
             "text/calendar", server::Precondition::Absent());
  Pass();
  Json report = Folder(kCalendar);
  EXPECT_EQ(report["received"]["created"], 1) << last_;
  ASSERT_TRUE(report.contains("error")) << last_;
  EXPECT_NE(report["error"].get<std::string>().find("task.ics"), std::string::npos) << last_;
  Json review;
  for (const auto& a : Appointments(kCalendar))
    if (a.value("Subject", "") == "Review") review = a;
  ASSERT_FALSE(review.is_null()) << last_;
  // The day after the change to summer time: 10:00 in the profile's zone.
  EXPECT_EQ(review["Start"], "2027-03-29 10:00:00");

  // Each change sent counts the SEQUENCE up.
  for (const char* subject : {"Review 2", "Review 3"}) {
    Session(std::string(R"({"outlook": "change", "folder": "anna.berg@velmora.example\\Kalender", "find": "[Subject] = \"Review)") +
            (subject[7] == '2' ? "" : " 2") + R"(\"", "set": {"Subject": ")" + subject + "\"}}\n");
    Pass();
    EXPECT_EQ(Folder(kCalendar)["sent"]["changed"], 1) << last_;
  }
  const std::string text = Get(calendar_ + "review.ics");
  EXPECT_NE(text.find("SUMMARY:Review 3"), std::string::npos) << text;
  EXPECT_NE(text.find("SEQUENCE:2"), std::string::npos) << text;
  EXPECT_NE(text.find("UID:review-1"), std::string::npos) << text;
}

TEST_F(SyncCalendars, AnotherUsersCalendarIsReceivedOnlyAndRefusesChanges) {
  BindAnna();
  bool readOnly = false;
  for (const auto& line : Lines(bindOut_))
    if (line.value("folder", "") == kClaraCalendar)
      readOnly = line.value("event", "") == "bound" && line.value("readOnly", false);
  ASSERT_TRUE(readOnly) << bindOut_;
  Pass();
  EXPECT_EQ(Folder(kClaraCalendar)["received"]["created"], 1) << last_;
  ASSERT_EQ(Appointments(kClaraCalendar).size(), 1u) << last_;

  // Saving, changing or deleting there fails as in a read-only folder of
  // Outlook; nothing is written.
  const std::string before = On({"dump"}).out;
  auto run = On({"session"},
                R"({"outlook": "add", "folder": "clara.lind@velmora.example\\Kalender", "item": {"class": "appointment", "Subject": "Mine", "Start": "2027-03-03 09:00:00", "End": "2027-03-03 10:00:00"}})"
                "\n"
                R"({"outlook": "change", "folder": "clara.lind@velmora.example\\Kalender", "find": "[Subject] = \"Jour fixe\"", "set": {"Subject": "Changed"}})"
                "\n"
                R"({"outlook": "delete", "folder": "clara.lind@velmora.example\\Kalender", "find": "[Subject] = \"Jour fixe\""})"
                "\n");
  int refused = 0;
  for (const auto& line : Lines(run.out))
    if (line.value("event", "") == "error" && line.value("number", "") == "0x80070005") ++refused;
  EXPECT_EQ(refused, 3) << run.out;
  EXPECT_EQ(On({"dump"}).out, before);

  // Clara's change comes; nothing goes back.
  std::string text = clara_->Send("GET", claraCalendar_ + "jour-fixe.ics").body;
  text.replace(text.find("Jour fixe"), 9, "Jour fixe (Raum 2)");
  text.replace(text.find("LAST-MODIFIED:20270101"), 22, "LAST-MODIFIED:20270102");
  clara_->Put(claraCalendar_ + "jour-fixe.ics", text, "text/calendar", server::Precondition{});
  Pass();
  EXPECT_EQ(Folder(kClaraCalendar)["received"]["changed"], 1) << last_;
  EXPECT_EQ(Folder(kClaraCalendar)["sent"], Counts(0, 0, 0)) << last_;
  EXPECT_EQ(Appointments(kClaraCalendar)[0]["Subject"], "Jour fixe (Raum 2)");

  // Unbound, the folder is the profile's own again.
  EXPECT_EQ(On({"account", "remove", kAnna}).status, 0);
  run = On({"session"},
           R"({"outlook": "delete", "folder": "clara.lind@velmora.example\\Kalender", "find": "[Subject] <> \"\""})"
           "\n");
  EXPECT_EQ(run.out.find("0x80070005"), std::string::npos) << run.out;
  EXPECT_TRUE(Appointments(kClaraCalendar).empty());
}

TEST_F(SyncCalendars, ACalendarOfTenThousandEventsComesInPagesOnce) {
#if defined(__SANITIZE_ADDRESS__)
  const int count = 1000;  // the same paths, at a tenth under the sanitizers
#else
  const int count = 10000;
#endif
  BindAnna();
  // The whole calendar in one request, as the server takes it.
  std::string text = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Other//EN\r\n";
  for (int i = 0; i < count; ++i)
    text += "BEGIN:VEVENT\r\nUID:bulk-" + std::to_string(i) +
            "\r\nDTSTAMP:20270101T000000Z\r\nDTSTART:20270301T0" + std::to_string(i % 10) +
            "0000Z\r\nDURATION:PT1H\r\nSUMMARY:Termin " + std::to_string(i) + "\r\nEND:VEVENT\r\n";
  text += "END:VCALENDAR\r\n";
  const auto answer = http_->Send("PUT", calendar_, {"Content-Type: text/calendar"}, text);
  ASSERT_EQ(answer.status / 100, 2) << answer.body;

  auto run = On({"send-receive"});
  last_ = run.out;
  EXPECT_EQ(Folder(kCalendar)["received"]["created"], count) << last_.substr(last_.size() - 400);
  EXPECT_FALSE(Folder(kCalendar).contains("error"));
  long progress = 0;
  for (const auto& line : Lines(run.out)) progress += line.value("event", "") == "progress";
  EXPECT_GT(progress, 1);
  // In UTC on the server, in the profile's zone here (winter time).
  const auto found = Lines(On({"find", kCalendar, "[Subject] = \"Termin 7\""}).out);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0]["Start"], "2027-03-01 08:00:00");
  EXPECT_EQ(found[0]["End"], "2027-03-01 09:00:00");
  Pass();
  EXPECT_EQ(Folder(kCalendar)["received"], Counts(0, 0, 0)) << last_;
  EXPECT_EQ(Folder(kCalendar)["sent"], Counts(0, 0, 0)) << last_;
}
