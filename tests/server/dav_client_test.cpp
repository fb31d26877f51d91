// The WebDAV client against real servers: the requests a pass makes on
// Radicale, and the failures of servers that are none (a web site, a
// redirect loop, plain HTTP where TLS was asked, nobody listening, an
// answer above the bound).
#include "server/dav_client.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "server/discovery.h"
#include "support/dav_servers.h"

namespace {

using velklk::server::DavClient;
using velklk::server::DavError;
using velklk::server::DavSettings;
using velklk::server::Precondition;
using Kind = DavError::Kind;

// The error a request raises; fails the test when it raises none.
DavError ErrorOf(const std::function<void()>& request) {
  try {
    request();
  } catch (const DavError& e) {
    return e;
  }
  ADD_FAILURE() << "the request raised no error";
  return DavError(Kind::Http, -1, "none");
}

std::string Card(const std::string& uid, const std::string& name) {
  return "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:" + uid + "\r\nFN:" + name + "\r\nN:" + name +
         ";;;;\r\nEND:VCARD\r\n";
}

TEST(DavClient, RequestsOfAPassOnRadicale) {
  velklk::test::Radicale radicale;
  DavSettings settings;
  settings.user = radicale.User();
  settings.password = radicale.Password();
  DavClient client(settings);

  // Discovery of a new account: its principal and homes, no collection yet.
  auto account = velklk::server::Discover(client, radicale.Url());
  EXPECT_EQ(account.principalUrl, radicale.Url() + "anna/");
  ASSERT_EQ(account.addressBookHomes.size(), 1u);
  EXPECT_TRUE(account.addressBooks.empty());

  const std::string book = radicale.Url() + "anna/book/";
  client.MakeAddressBook(book, "Kontakte");
  EXPECT_EQ(ErrorOf([&] { client.MakeAddressBook(book, "again"); }).Status(), 405);
  account = velklk::server::Discover(client, radicale.Url());
  ASSERT_EQ(account.addressBooks.size(), 1u);
  EXPECT_EQ(account.addressBooks[0].url, book);
  EXPECT_EQ(account.addressBooks[0].displayName, "Kontakte");

  // Creating is conditional: a retried create cannot overwrite.
  const std::string etagA =
      client.Put(book + "a.vcf", Card("a", "Alpha"), "text/vcard", Precondition::Absent());
  client.Put(book + "b.vcf", Card("b", "Beta"), "text/vcard", Precondition::Absent());
  client.Put(book + "c.vcf", Card("c", "Gamma"), "text/vcard", Precondition::Absent());
  EXPECT_FALSE(etagA.empty());
  const DavError exists = ErrorOf([&] {
    client.Put(book + "a.vcf", Card("a", "Other"), "text/vcard", Precondition::Absent());
  });
  EXPECT_EQ(exists.GetKind(), Kind::PreconditionFailed);
  EXPECT_EQ(exists.Status(), 412);
  const std::string etagA2 =
      client.Put(book + "a.vcf", Card("a", "Alpha 2"), "text/vcard", Precondition::Matching(etagA));
  EXPECT_EQ(ErrorOf([&] {
              client.Put(book + "a.vcf", Card("a", "Lost"), "text/vcard",
                         Precondition::Matching(etagA));
            }).GetKind(),
            Kind::PreconditionFailed);

  // The initial listing, then the contents in pages of two; an href the
  // server does not have comes back as missing.
  const auto listing = client.SyncCollection(book, "");
  ASSERT_EQ(listing.changed.size(), 3u);
  EXPECT_FALSE(listing.token.empty());
  std::vector<std::string> hrefs;
  for (const auto& [href, etag] : listing.changed) hrefs.push_back(href);
  hrefs.push_back("/anna/book/nobody.vcf");
  const int before = client.RequestCount();
  const auto fetched = client.Multiget(book, hrefs, false, 2);
  EXPECT_EQ(client.RequestCount() - before, 2);
  ASSERT_EQ(fetched.found.size(), 3u);
  EXPECT_EQ(fetched.missing, std::vector<std::string>{"/anna/book/nobody.vcf"});
  const auto alpha = std::find_if(fetched.found.begin(), fetched.found.end(), [](const auto& r) {
    return r.href.find("a.vcf") != std::string::npos;
  });
  ASSERT_NE(alpha, fetched.found.end());
  EXPECT_NE(alpha->data.find("FN:Alpha 2"), std::string::npos);
  EXPECT_EQ(alpha->etag, etagA2);

  // Deleting is conditional too, and a resource gone already counts as done.
  EXPECT_EQ(ErrorOf([&] { client.Delete(book + "b.vcf", Precondition::Matching(etagA)); }).Status(),
            412);
  EXPECT_TRUE(client.Delete(book + "a.vcf", Precondition::Matching(etagA2)));
  EXPECT_FALSE(client.Delete(book + "a.vcf", Precondition::Matching(etagA2)));
  const auto since = client.SyncCollection(book, listing.token);
  EXPECT_TRUE(since.changed.empty());
  ASSERT_EQ(since.removed.size(), 1u);
  EXPECT_NE(since.removed[0].find("a.vcf"), std::string::npos);

  // A token the server does not know: the caller lists in full.
  const DavError stale =
      ErrorOf([&] { client.SyncCollection(book, "http://radicale.org/ns/sync/0000"); });
  EXPECT_EQ(stale.GetKind(), Kind::InvalidSyncToken);
  EXPECT_EQ(stale.Status(), 403);

  // A wrong password.
  settings.password = "wrong";
  DavClient stranger(settings);
  const DavError refused = ErrorOf([&] { stranger.Propfind(book, 0, {}); });
  EXPECT_EQ(refused.GetKind(), Kind::Unauthorized);
  EXPECT_EQ(refused.Status(), 401);
  EXPECT_NE(std::string(refused.what()).find("user name or password"), std::string::npos);
}

TEST(DavClient, ServersThatAreNoneFailClearly) {
  velklk::test::HttpStub site("plain");
  velklk::test::HttpStub loop("loop");
  DavClient client(DavSettings{});

  const DavError web = ErrorOf([&] { velklk::server::Discover(client, site.Url() + "dav/"); });
  EXPECT_EQ(web.GetKind(), Kind::NotDav);
  EXPECT_NE(std::string(web.what()).find("no CardDAV"), std::string::npos) << web.what();

  const DavError circle = ErrorOf([&] { client.Propfind(loop.Url(), 0, {}); });
  EXPECT_EQ(circle.GetKind(), Kind::RedirectLoop);
  EXPECT_NE(std::string(circle.what()).find("loop"), std::string::npos);

  // TLS asked of a server that speaks plain HTTP.
  const DavError tls = ErrorOf(
      [&] { client.Propfind("https://127.0.0.1:" + std::to_string(site.Port()) + "/", 0, {}); });
  EXPECT_EQ(tls.GetKind(), Kind::Tls);
  EXPECT_EQ(tls.Status(), 0);

  // A server with a certificate of its own authority: trusted only with
  // that authority's file.
  velklk::test::HttpStub secure("plain", true);
  const DavError untrusted = ErrorOf([&] { client.Send("GET", secure.Url()); });
  EXPECT_EQ(untrusted.GetKind(), Kind::Tls);
  EXPECT_NE(std::string(untrusted.what()).find("certificate"), std::string::npos)
      << untrusted.what();
  DavSettings trusting;
  trusting.caFile = secure.CaFile();
  DavClient trusted(trusting);
  EXPECT_EQ(trusted.Send("GET", secure.Url()).status, 200);

  const DavError nobody = ErrorOf([&] {
    client.Propfind("http://127.0.0.1:" + std::to_string(velklk::test::FreePort()) + "/", 0, {});
  });
  EXPECT_EQ(nobody.GetKind(), Kind::Connection);

  DavSettings small;
  small.maxResponseBytes = 16;
  DavClient bounded(small);
  EXPECT_EQ(ErrorOf([&] { bounded.Send("GET", site.Url()); }).GetKind(), Kind::TooLarge);

  // Refused before a byte is sent.
  EXPECT_EQ(ErrorOf([&] { client.Send("GET", "http://dav.example.org/"); }).GetKind(),
            Kind::Refused);
}

}  // namespace
