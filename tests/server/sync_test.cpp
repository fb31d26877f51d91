// Send/receive of a bound contacts folder against Radicale, driven through
// velklk as a user drives it, with the server's side changed by plain HTTP
// requests: the first pass both ways, changes and deletions both ways, a
// conflict, a write the server refuses with 412, a pass with nothing to do,
// and a server that goes away in the middle of the work.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <nlohmann/json.hpp>
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

std::vector<Json> Lines(const std::string& text) {
  std::vector<Json> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (!line.empty() && line.front() == '{') lines.push_back(Json::parse(line));
  return lines;
}

Json Event(const std::string& out, const std::string& event) {
  Json found;
  for (const auto& line : Lines(out))
    if (line.value("event", "") == event) found = line;
  return found;
}

std::string Card(const std::string& uid, const std::string& family, const std::string& company,
                 const std::string& rev) {
  return "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:" + uid + "\r\nN:" + family + ";Eva;;;\r\nFN:Eva " +
         family + "\r\nORG:" + company + "\r\nREV:" + rev + "\r\nEND:VCARD\r\n";
}

class SyncTest : public ::testing::Test {
 protected:
  SyncTest() : folder_("velklk-sync") {
    profile_ = folder_.Path() + "/p";
    EXPECT_EQ(Velklk({"init", profile_}).status, 0);
    ::setenv("VELKLK_TEST_SYNC_PASSWORD", radicale_.Password().c_str(), 1);
    auto run = On({"account", "add", kAnna, "--url", radicale_.Url(), "--user", radicale_.User(),
                   "--password-env", "VELKLK_TEST_SYNC_PASSWORD", "--create"});
    EXPECT_EQ(run.status, 0);
    collection_ = Event(run.out, "bound")["collection"];
    server::DavSettings settings;
    settings.user = radicale_.User();
    settings.password = radicale_.Password();
    http_ = std::make_unique<server::DavClient>(settings);
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
  std::vector<Json> Contacts() {
    return Lines(On({"find", kFolder, "[LastName] <> \"\""}).out);
  }
  Json ContactNamed(const std::string& last) {
    for (const auto& c : Contacts())
      if (c.value("LastName", "") == last) return c;
    return nullptr;
  }
  std::string Get(const std::string& url) { return http_->Send("GET", url).body; }
  std::string Etag(const std::string& url) { return http_->Send("GET", url).Header("etag"); }
  void Session(const std::string& commands) { On({"session"}, commands); }

  velklk::test::Radicale radicale_;
  velklk::test::ScratchFolder folder_;
  std::string profile_, collection_, last_;
  std::unique_ptr<server::DavClient> http_;
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
