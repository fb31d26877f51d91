// A model of send/receive: random sequences of contacts added, changed and
// deleted in the profile and on the server (with plain HTTP), with passes
// and passes that cannot start in between, end in two clean passes. Then
// both sides hold the same contacts with the same values, none twice, and
// exactly those the rules keep: an item deleted on one side is gone unless
// the other side changed it since the last pass (a change beats a
// deletion), and an item made on one side is there unless that side
// deleted it again.
//
// Each case runs on its own address book of one Radicale. The number of
// cases is small for the test suite; VELKLK_MODEL_CASES asks for more.
#include <gtest/gtest.h>
#include <rapidcheck.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "outlook/embedded_outlook.h"
#include "outlook/values.h"
#include "platform/outlook.h"
#include "profile/profile.h"
#include "server/account_setup.h"
#include "server/contact_codec.h"
#include "server/dav_client.h"
#include "server/sync_engine.h"
#include "support/dav_servers.h"

namespace velklk {
namespace {

namespace server = velklk::server;

constexpr const char* kStore = "anna@example.com";
constexpr const char* kFolder = "anna@example.com\\Kontakte";
constexpr const char* kPasswordVariable = "VELKLK_TEST_MODEL_PASSWORD";

test::Radicale& TheServer() {
  static test::Radicale radicale;
  return radicale;
}

std::string BaseFixture() {
  std::ifstream in(std::string(VELKLK_SOURCE_DIR) + "/tests/support/base.json");
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

enum class Op { LocalAdd, LocalEdit, LocalDelete, RemoteAdd, RemoteEdit, RemoteDelete, Pass, FailedPass };

struct Step {
  Op op;
  unsigned pick;  // which item, modulo the items there are
};

void showValue(const Step& step, std::ostream& os) {
  static const char* const kNames[] = {"LocalAdd",     "LocalEdit", "LocalDelete",
                                       "RemoteAdd",    "RemoteEdit", "RemoteDelete",
                                       "Pass",         "FailedPass"};
  os << kNames[static_cast<int>(step.op)] << "(" << step.pick << ")";
}

// What a side did to an item since the last pass.
enum class Did { Nothing, Made, Changed, Deleted };

struct Expected {
  bool synced = false;  // on both sides after the last pass
  Did local = Did::Nothing, remote = Did::Nothing;
};

class ModelCase {
 public:
  explicit ModelCase(int number) : folder_("velklk-model") {
    profile_ = Profile::Create(folder_.Path() + "/p", BaseFixture());
    ::setenv(kPasswordVariable, TheServer().Password().c_str(), 1);
    server::AccountRequest request;
    request.store = kStore;
    request.url = TheServer().Url();
    request.user = TheServer().User();
    request.password = {server::PasswordSource::Kind::Environment, kPasswordVariable};
    request.addressBook = "model-" + std::to_string(::getpid()) + "-" + std::to_string(number);
    request.create = true;
    account_ = server::AddAccount(profile_->Connection(), *profile_->Outlook().Application(), request).account;
    collection_ = account_.folders.at(0).collection;
    server::DavSettings settings;
    settings.user = TheServer().User();
    settings.password = TheServer().Password();
    http_ = std::make_unique<server::DavClient>(settings);
  }

  // The case's address book goes with it: Radicale slows down with every
  // collection it keeps.
  ~ModelCase() {
    try {
      if (http_) http_->Send("DELETE", collection_);
    } catch (const std::exception&) {
    }
  }
  ModelCase(const ModelCase&) = delete;
  ModelCase& operator=(const ModelCase&) = delete;

  void Run(const std::vector<Step>& steps) {
    for (const Step& step : steps) Apply(step);
    for (int i = 0; i < 2; ++i) Pass();
    Check();
  }

 private:
  std::shared_ptr<OlItems> Items() { return profile_->Outlook().FindFolder(kFolder)->Items(); }

  // The server's contacts: last name to (href, ETag, text).
  struct Resource {
    std::string href, etag, text;
  };
  std::multimap<std::string, Resource> ServerContacts() {
    std::multimap<std::string, Resource> out;
    const auto listing = http_->Propfind(collection_, 1, {{"DAV:", "getetag"}});
    for (const auto& r : listing.responses) {
      if (!r.href.ends_with(".vcf")) continue;
      const std::string url = TheServer().Url() + r.href.substr(r.href.front() == '/' ? 1 : 0);
      const auto answer = http_->Send("GET", url);
      RC_ASSERT(answer.status == 200);
      const auto contact = server::DecodeContact(answer.body);
      const auto* last = contact.data.Find(outlook::prop::kLastName);
      out.emplace(last ? std::get<std::string>(*last) : "", Resource{url, answer.Header("etag"), answer.body});
    }
    return out;
  }

  static std::string CompanyOf(const std::string& vcard) {
    const auto contact = server::DecodeContact(vcard);
    const auto* v = contact.data.Find(outlook::prop::kCompanyName);
    return v ? std::get<std::string>(*v) : "";
  }

  void Tick() { profile_->Clock().AdvanceSeconds(60); }

  void Apply(const Step& step) {
    Tick();
    switch (step.op) {
      case Op::LocalAdd: {
        const std::string name = "L" + std::to_string(++made_);
        auto item = Items()->Add();
        item->Set("LastName", name);
        item->Set("CompanyName", "made here");
        item->Save();
        expected_[name].local = Did::Made;
        break;
      }
      case Op::LocalEdit:
      case Op::LocalDelete: {
        auto items = Items();
        if (items->Count() == 0) return;
        auto item = items->Item(static_cast<int>(step.pick % items->Count()) + 1);
        const std::string name = item->Get("LastName").ToText();
        Expected& e = expected_[name];
        if (step.op == Op::LocalEdit) {
          item->Set("CompanyName", "changed here " + std::to_string(++made_));
          item->Save();
          if (e.local != Did::Made) e.local = Did::Changed;
        } else {
          item->Delete();
          e.local = e.local == Did::Made ? Did::Nothing : Did::Deleted;
          if (!e.synced && e.remote == Did::Nothing) expected_.erase(name);
        }
        break;
      }
      case Op::RemoteAdd: {
        const std::string name = "R" + std::to_string(++made_);
        outlook::ItemData data;
        data.Put(outlook::prop::kLastName, name);
        data.Put(outlook::prop::kCompanyName, std::string("made there"));
        const auto card = server::EncodeContact(data, "uid-" + name);
        http_->Put(collection_ + "uid-" + name + ".vcf", card.text, "text/vcard; charset=utf-8",
                   server::Precondition::Absent());
        expected_[name].remote = Did::Made;
        break;
      }
      case Op::RemoteEdit:
      case Op::RemoteDelete: {
        const auto contacts = ServerContacts();
        if (contacts.empty()) return;
        auto it = contacts.begin();
        std::advance(it, step.pick % contacts.size());
        const std::string& name = it->first;
        Expected& e = expected_[name];
        if (step.op == Op::RemoteEdit) {
          auto contact = server::DecodeContact(it->second.text);
          contact.data.Put(outlook::prop::kCompanyName, "changed there " + std::to_string(++made_));
          const auto card = server::EncodeContact(contact.data, contact.uid.value_or(name));
          http_->Put(it->second.href, card.text, "text/vcard; charset=utf-8",
                     server::Precondition::Matching(it->second.etag));
          if (e.remote != Did::Made) e.remote = Did::Changed;
        } else {
          http_->Delete(it->second.href, server::Precondition::Matching(it->second.etag));
          e.remote = e.remote == Did::Made ? Did::Nothing : Did::Deleted;
          if (!e.synced && e.local == Did::Nothing) expected_.erase(name);
        }
        break;
      }
      case Op::Pass:
        Pass();
        break;
      case Op::FailedPass: {
        // The password refused: the pass cannot start and changes nothing.
        ::setenv(kPasswordVariable, "not the password", 1);
        const auto results = Engine().Run(account_, Options());
        ::setenv(kPasswordVariable, TheServer().Password().c_str(), 1);
        for (const auto& r : results) {
          RC_ASSERT(!r.reached);
          RC_ASSERT(r.received.created + r.received.changed + r.received.deleted == 0);
          RC_ASSERT(r.sent.created + r.sent.changed + r.sent.deleted == 0);
        }
        break;
      }
    }
  }

  server::SyncEngine Engine() {
    return server::SyncEngine(profile_->Connection(), profile_->Outlook(),
                              [this] { profile_->ReloadState(); });
  }
  server::PassOptions Options() {
    server::PassOptions options;
    options.now = profile_->Clock().Now();
    return options;
  }

  void Pass() {
    Tick();
    for (const auto& r : Engine().Run(account_, Options())) {
      RC_ASSERT(r.reached);
      if (r.error) RC_FAIL("the pass failed: " + *r.error);
    }
    // The rules of a pass, item by item.
    for (auto it = expected_.begin(); it != expected_.end();) {
      Expected& e = it->second;
      const bool deleted = e.local == Did::Deleted || e.remote == Did::Deleted;
      const bool changedOther = (e.local == Did::Deleted && e.remote == Did::Changed) ||
                                (e.remote == Did::Deleted && e.local == Did::Changed);
      const bool keep = !deleted || changedOther;
      if (!keep) {
        it = expected_.erase(it);
        continue;
      }
      e = Expected{true, Did::Nothing, Did::Nothing};
      ++it;
    }
  }

  void Check() {
    std::multiset<std::string> local;
    std::map<std::string, std::string> localCompany;
    auto items = Items();
    for (int i = 1; i <= items->Count(); ++i) {
      auto item = items->Item(i);
      local.insert(item->Get("LastName").ToText());
      localCompany[item->Get("LastName").ToText()] = item->Get("CompanyName").ToText();
    }
    const auto remote = ServerContacts();
    std::multiset<std::string> remoteNames;
    for (const auto& [name, resource] : remote) remoteNames.insert(name);
    std::multiset<std::string> expected;
    for (const auto& [name, e] : expected_) expected.insert(name);
    RC_ASSERT(local == expected);
    RC_ASSERT(remoteNames == expected);
    for (const auto& [name, resource] : remote) {
      const std::string there = CompanyOf(resource.text), here = localCompany[name];
      RC_ASSERT(there == here);
    }
  }

  test::ScratchFolder folder_;
  std::unique_ptr<Profile> profile_;
  server::Account account_;
  std::string collection_;
  std::unique_ptr<server::DavClient> http_;
  std::map<std::string, Expected> expected_;
  int made_ = 0;
};

TEST(SyncModel, BothSidesEndEqualWithNothingLostOrTwice) {
  rc::detail::TestParams params = rc::detail::configuration().testParams;
  params.maxSuccess = 25;
  if (const char* cases = std::getenv("VELKLK_MODEL_CASES")) params.maxSuccess = std::atoi(cases);
  params.maxSize = 30;
  int number = 0;
  const auto result = rc::detail::checkTestable(
      [&] {
        const auto steps = *rc::gen::container<std::vector<Step>>(rc::gen::build<Step>(
            rc::gen::set(&Step::op, rc::gen::element(Op::LocalAdd, Op::LocalAdd, Op::LocalEdit,
                                                     Op::LocalDelete, Op::RemoteAdd, Op::RemoteAdd,
                                                     Op::RemoteEdit, Op::RemoteDelete, Op::Pass,
                                                     Op::FailedPass)),
            rc::gen::set(&Step::pick, rc::gen::inRange(0u, 3u))));
        ModelCase(++number).Run(steps);
      },
      rc::detail::TestMetadata{}, params);
  std::ostringstream message;
  rc::detail::printResultMessage(result, message);
  EXPECT_TRUE(result.is<rc::detail::SuccessResult>()) << message.str();
}

}  // namespace
}  // namespace velklk
