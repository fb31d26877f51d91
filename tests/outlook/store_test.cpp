// The embedded store through the Outlook interface: item order, walks with
// deletion, events on save, Outlook's errors and derived values, links, and
// persistence across transactions (shared calendars: the start-up's and the
// dialogs' tests; other processes: the command's tests).
#include <set>
#include <vector>

#include "outlook/server_store.h"
#include "outlook/values.h"
#include "outlook_test_support.h"

namespace velklk {
namespace {

using nlohmann::json;
using test::ErrorOf;
using test::Fixture;
using test::Store;
using test::TempProfile;

class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override { store_.Load(Fixture("store")); }
  std::shared_ptr<OlFolder> Folder(const std::string& path) {
    return store_.outlook->FindFolder(path);
  }
  std::shared_ptr<OlItems> Contacts() { return Folder("anna@example.com\\Kontakte")->Items(); }

  TempProfile profile_;
  Store store_{profile_};
};

class Recorder : public OlItemsListener {
 public:
  void ItemAdd(const std::shared_ptr<OlItem>& item) override {
    events.push_back("add " + item->Get("FileAs").ToText());
    if (onAdd) onAdd(item);
  }
  void ItemChange(const std::shared_ptr<OlItem>& item) override {
    events.push_back("change " + item->Get("FileAs").ToText());
  }
  std::vector<std::string> events;
  std::function<void(const std::shared_ptr<OlItem>&)> onAdd;
};

TEST_F(StoreTest, ItemsKeepAStableOneBasedOrder) {
  auto items = Contacts();
  ASSERT_EQ(items->Count(), 3);
  EXPECT_EQ(items->Item(1)->Get("LastName").ToText(), "Muster");
  EXPECT_EQ(items->Item(3)->Get("LastName").ToText(), "Berg");
  EXPECT_EQ(ErrorOf([&] { items->Item(0); }), 0x8002000Bu);
  EXPECT_EQ(ErrorOf([&] { items->Item(4); }), 0x8002000Bu);

  // An added item is not part of the folder until saved; then it comes last.
  auto fresh = items->Add();
  EXPECT_EQ(fresh->Class(), olclass::kContact);
  EXPECT_EQ(items->Count(), 3);
  fresh->Set("LastName", "Neu");
  fresh->Save();
  EXPECT_EQ(items->Count(), 4);
  EXPECT_EQ(items->Item(4)->EntryId(), fresh->EntryId());
  // Changing an item keeps its place; deleting closes the gap.
  auto first = items->Item(1);
  first->Set("FirstName", "Moritz");
  first->Save();
  EXPECT_EQ(items->Item(1)->Get("FirstName").ToText(), "Moritz");
  items->Item(2)->Delete();
  EXPECT_EQ(items->Count(), 3);
  EXPECT_EQ(items->Item(2)->Get("LastName").ToText(), "Berg");
}

TEST_F(StoreTest, FindNextWalksOnAcrossDeletionAndSaves) {
  auto items = Contacts();
  for (int i = 0; i < 6; ++i) {
    auto c = items->Add();
    c->Set("LastName", "Walk" + std::to_string(i));
    c->Set("Body", "old");
    c->Save();
  }
  std::vector<std::string> seen;
  auto later = items->Item(9);  // Walk5
  for (auto item = items->Find("[Body] = \"old\""); item; item = items->FindNext()) {
    const std::string name = item->Get("LastName").ToText();
    seen.push_back(name);
    if (name == "Walk0") item->Delete();  // the current item
    if (name == "Walk1") {                // link properties saved on the current item
      item->UserProperties()->Add("velSearch", OlUserPropertyType::Text)->SetValue("1X");
      item->Set("Body", "new");
      item->Save();
    }
    if (name == "Walk2") later->Delete();  // a match further on
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"Walk0", "Walk1", "Walk2", "Walk3", "Walk4"}));
  EXPECT_EQ(items->Count(), 7);
  EXPECT_EQ(items->Find("[Body] = \"new\"")->Get("LastName").ToText(), "Walk1");
  EXPECT_EQ(items->FindNext(), nullptr);
  EXPECT_EQ(items->Find("[LastName] = \"nobody\""), nullptr);
}

// Finds answer from what is saved (the index property test walks every
// kind of change against scans).
TEST_F(StoreTest, VelSearchAndFileAsFindsFollowSavedChanges) {
  auto items = Contacts();
  auto berg = items->Find("[velSearch] = \"0000000003Adressen\"");
  ASSERT_NE(berg, nullptr);
  berg->UserProperties()->Item("velSearch")->SetValue("0000000009Adressen");
  EXPECT_NE(items->Find("[velSearch] = \"0000000003Adressen\""), nullptr);
  berg->Save();
  EXPECT_EQ(items->Find("[velSearch] = \"0000000003Adressen\""), nullptr);
  EXPECT_EQ(items->Find("[velSearch] = \"0000000009Adressen\"")->EntryId(), berg->EntryId());
  // FileAs: last name, first name; the company name when there are no names.
  EXPECT_EQ(items->Find("[FileAs] = \"Acme GmbH\"")->Get("CompanyName").ToText(), "Acme GmbH");
  auto muster = items->Find("[FileAs] = \"Muster, Max\"");
  ASSERT_NE(muster, nullptr);
  muster->Set("FirstName", "");
  muster->Save();
  EXPECT_EQ(items->Find("[FileAs] = \"Muster, Max\""), nullptr);
  EXPECT_EQ(items->Find("[FileAs] = \"muster\"")->EntryId(), muster->EntryId());
}

TEST_F(StoreTest, SaveStampsTheClockAndFiresEventsToEveryListenerOfTheFolder) {
  auto a = std::make_shared<Recorder>();
  auto b = std::make_shared<Recorder>();
  auto other = std::make_shared<Recorder>();
  Contacts()->Advise(a);
  Contacts()->Advise(b);
  Folder("anna@example.com\\Kontakte\\Privat")->Items()->Advise(other);
  {
    auto gone = std::make_shared<Recorder>();
    Contacts()->Advise(gone);  // held weakly: released listeners are skipped
  }
  store_.clock.Set(AutoDate::FromParts(2026, 12, 7, 8, 15, 0));
  auto items = Contacts();
  auto c = items->Add();
  c->Set("LastName", "Neu");
  // A listener that saves again while handling the event sees its own change event.
  a->onAdd = [](const std::shared_ptr<OlItem>& item) {
    item->Set("Body", "seen");
    item->Save();
  };
  c->Save();
  EXPECT_EQ(a->events, (std::vector<std::string>{"add Neu", "change Neu"}));
  // The nested save reaches every listener before the outer event goes on.
  EXPECT_EQ(b->events, (std::vector<std::string>{"change Neu", "add Neu"}));
  EXPECT_TRUE(other->events.empty());
  EXPECT_EQ(c->Get("LastModificationTime").ToDate().Format(), "2026-12-07 08:15:00");
  EXPECT_EQ(c->Get("Body").ToText(), "seen");

  a->onAdd = nullptr;
  items->Unadvise(b);
  store_.clock.AdvanceSeconds(60);
  auto berg = items->Item(3);
  berg->Save();
  EXPECT_EQ(a->events.back(), "change Berg");
  EXPECT_EQ(b->events.size(), 2u);
  EXPECT_EQ(berg->Get("LastModificationTime").ToDate().Format(), "2026-12-07 08:16:00");
}

// What a server sends is written like a save in Outlook: the folder's
// listeners see ItemAdd and ItemChange, and what a listener saves in
// reply is a local change the next pass sends. A received deletion is not
// sent back; a receive that cannot be written fires nothing.
TEST_F(StoreTest, ReceivedItemsFireEventsAndAListenersReplyIsSentNext) {
  outlook::ServerStore server(*store_.outlook, "anna@example.com\\Kontakte");
  EXPECT_FALSE(server.Track());
  auto listener = std::make_shared<Recorder>();
  Contacts()->Advise(listener);
  listener->onAdd = [](const std::shared_ptr<OlItem>& item) {  // as the add-in writes links
    item->Set("Body", "linked");
    item->Save();
  };
  std::int64_t received = 0;
  const auto remember = [&](const std::string&, std::int64_t revision) { received = revision; };
  outlook::ItemData data;
  data.Put(outlook::prop::kLastName, std::string("Fern"));
  const AutoDate sent = AutoDate::FromParts(2026, 12, 5, 9, 0, 0);
  const std::string id = server.ApplyReceived("", data, sent, remember);
  EXPECT_EQ(listener->events, (std::vector<std::string>{"add Fern", "change Fern"}));
  EXPECT_EQ(Contacts()->Count(), 4);
  const auto reply = server.ChangedSince(received);
  ASSERT_EQ(reply.size(), 1u);
  EXPECT_EQ(reply[0].entryId, id);
  EXPECT_FALSE(reply[0].deleted);

  listener->onAdd = nullptr;
  data.Put(outlook::prop::kLastName, std::string("Ferner"));
  EXPECT_EQ(server.ApplyReceived(id, data, sent, remember), id);
  EXPECT_EQ(listener->events.back(), "change Ferner");
  EXPECT_EQ(server.Item(id)->modified.Format(), sent.Format());
  EXPECT_TRUE(server.ChangedSince(received).empty());

  const std::size_t seen = listener->events.size();
  data.Put(outlook::prop::kLastName, std::string("Lost"));
  EXPECT_THROW(server.ApplyReceived("", data, sent,
                                    [](const std::string&, std::int64_t) {
                                      throw std::runtime_error("server state not written");
                                    }),
               std::runtime_error);
  EXPECT_EQ(listener->events.size(), seen);
  EXPECT_EQ(Contacts()->Count(), 4);

  const std::int64_t before = server.Revision();
  server.DeleteReceived(id, [] {});
  EXPECT_EQ(Contacts()->Count(), 3);
  EXPECT_FALSE(server.Item(id));
  for (const auto& r : server.ChangedSince(before)) EXPECT_NE(r.entryId, id);
}

// Links, sync logs and servers keep entry IDs: one that was handed out is
// never handed out again, also not by a later process after its item was
// deleted.
TEST_F(StoreTest, EntryIdsOfDeletedItemsNeverComeBack) {
  std::set<std::string> seen;
  for (int i = 1; i <= 3; ++i) {
    auto fresh = Contacts()->Add();
    fresh->Set("LastName", "Neu");
    fresh->Save();
    EXPECT_TRUE(seen.insert(fresh->EntryId()).second);
  }
  auto items = Contacts();
  items->Item(items->Count())->Delete();  // the newest, the one a counter of rows would give again
  for (int process = 0; process < 2; ++process) {
    Store later(profile_);
    auto fresh = later.outlook->FindFolder("anna@example.com\\Kontakte")->Items()->Add();
    fresh->Set("LastName", "Später");
    fresh->Save();
    EXPECT_TRUE(seen.insert(fresh->EntryId()).second) << fresh->EntryId();
    fresh->Delete();
  }
}

TEST_F(StoreTest, OutlookErrorsCarryOutlooksNumbers) {
  auto ns = store_.outlook->Application()->GetNamespace("MAPI");
  EXPECT_EQ(ErrorOf([&] { ns->Folders()->Item("nobody@example.com"); }), err::kOlNotFound);
  EXPECT_EQ(ErrorOf([&] { ns->Folders()->Item("anna@example.com")->Folders()->Item("kontakte"); }),
            err::kOlNotFound);
  EXPECT_EQ(ErrorOf([&] { Folder("anna@example.com\\Kontakte\\Fehlt"); }), err::kOlNotFound);

  store_.outlook->SetOffline(true);
  auto c = Contacts()->Item(2);
  EXPECT_EQ(ErrorOf([&] { c->UserProperties()->Add("velID", OlUserPropertyType::Text); }),
            err::kOlNetwork);
  EXPECT_EQ(ErrorOf([&] {
              Folder("anna@example.com\\Aufgaben")
                  ->UserDefinedProperties()
                  ->Add("velStatus1", OlUserPropertyType::YesNo);
            }),
            err::kOlNetwork);
  // Existing properties stay usable offline.
  EXPECT_EQ(
      ErrorOf([&] { Contacts()->Item(1)->UserProperties()->Item("velTable")->SetValue("X"); }), 0u);
  store_.outlook->SetOffline(false);
  EXPECT_EQ(ErrorOf([&] { c->UserProperties()->Add("velID", OlUserPropertyType::Text); }), 0u);

  store_.outlook->RefuseValue("BusinessTelephoneNumber", "###");
  EXPECT_EQ(ErrorOf([&] { c->Set("BusinessTelephoneNumber", "###"); }), err::kOlRefusedValue);
  EXPECT_EQ(ErrorOf([&] { c->Set("BusinessTelephoneNumber", "0711 1"); }), 0u);

  EXPECT_EQ(ErrorOf([&] { c->Get("Start"); }), err::kUnknownName);
  EXPECT_EQ(ErrorOf([&] { c->Set("NoSuchThing", 1); }), err::kUnknownName);
  EXPECT_EQ(ErrorOf([&] { c->Links(); }), err::kUnknownName);
  EXPECT_EQ(ErrorOf([&] { c->Set("Birthday", "kein Datum"); }), err::kTypeMismatch);
  EXPECT_EQ(ErrorOf([&] { c->Set("Gender", "viel"); }), err::kTypeMismatch);
  EXPECT_EQ(ErrorOf([&] { c->Set("LastName", Variant::Null()); }), err::kTypeMismatch);
  EXPECT_NE(ErrorOf([&] { c->Set("LastModificationTime", AutoDate::FromParts(2020, 1, 1)); }), 0u);

  c->Delete();
  EXPECT_EQ(ErrorOf([&] { c->Save(); }), err::kOlNotFound);
  EXPECT_EQ(ErrorOf([&] { c->Get("LastName"); }), err::kOlNotFound);

  EXPECT_NE(ErrorOf([&] { store_.outlook->Application()->GetNamespace("CDO"); }), 0u);
  store_.outlook->SetRunning(false);
  EXPECT_EQ(ErrorOf([&] { store_.outlook->Attacher()->GetRunningOutlook(); }),
            err::kOperationUnavailable);
}

TEST_F(StoreTest, StandardValuesDerivedOnesAndTypedUserProperties) {
  auto c = Contacts()->Add();
  EXPECT_EQ(c->Get("Birthday").ToDate().Format(), "4501-01-01 00:00:00");
  EXPECT_EQ(c->Get("EntryID").ToText(), "");
  c->Set("CompanyName", "Acme");
  EXPECT_EQ(c->Get("FileAs").ToText(), "Acme");
  c->Set("FirstName", "Anna");
  c->Set("LastName", "Berg");
  EXPECT_EQ(c->Get("FileAs").ToText() + "|" + c->Get("FullName").ToText(), "Berg, Anna|Anna Berg");
  c->Set("FileAs", "Chefin");
  EXPECT_EQ(c->Get("FileAs").ToText(), "Chefin");
  c->Save();
  EXPECT_EQ(c->Get("EntryID").ToText(), c->EntryId());

  auto appointment = Folder("anna@example.com\\Kalender")->Items()->Add();
  appointment->Set("Start", AutoDate::FromParts(2026, 12, 8, 9, 0, 0));
  appointment->Set("End", AutoDate::FromParts(2026, 12, 8, 10, 30, 0));
  EXPECT_EQ(appointment->Get("Duration").ToLong(), 90);

  auto up = Folder("anna@example.com\\Aufgaben")->Items()->Add()->UserProperties();
  up->Add("velStatus1", OlUserPropertyType::YesNo)->SetValue(true);
  up->Add("velGroupName", OlUserPropertyType::Text)->SetValue(12);
  EXPECT_EQ(up->Item(2)->Value(), Variant("12"));
  EXPECT_EQ(ErrorOf([&] { up->Item("velStatus1")->SetValue("vielleicht"); }), err::kTypeMismatch);
  EXPECT_EQ(up->Find("velTable"), nullptr);
  EXPECT_EQ(ErrorOf([&] { up->Item("velTable"); }), err::kOlNotFound);
  up->Item(1)->Delete();
  EXPECT_EQ(up->Count(), 1);
}

TEST_F(StoreTest, LinksLeadToTheirContactWhileItExists) {
  auto contact = Contacts()->Item(1);
  auto appointment = Folder("anna@example.com\\Kalender")->Items()->Add();
  auto links = appointment->Links();
  EXPECT_NE(ErrorOf([&] { links->Add(Contacts()->Add()); }), 0u);  // not saved yet
  links->Add(contact);
  appointment->Save();
  auto again = Folder("anna@example.com\\Kalender")->Items()->Item(1);
  ASSERT_EQ(again->Links()->Count(), 1);
  EXPECT_EQ(again->Links()->Item(1)->Name(), "Max Muster");
  EXPECT_EQ(again->Links()->Item(1)->AddressEntry()->GetContact()->EntryId(), contact->EntryId());
  EXPECT_EQ(again->Links()->Item(1)->Item()->Get("LastName").ToText(), "Muster");
  contact->Delete();
  EXPECT_EQ(again->Links()->Item(1)->Item(), nullptr);
  EXPECT_EQ(ErrorOf([&] { again->Links()->Item(1)->AddressEntry(); }), 0x80020009u);
  again->Links()->Remove(1);
  EXPECT_EQ(again->Links()->Count(), 0);
}

TEST_F(StoreTest, AFailedWriteLeavesTheProfileAsItWas) {
  auto muster = Contacts()->Item(1);
  store_.db->Exec("PRAGMA query_only = 1");
  auto fresh = Contacts()->Add();
  fresh->Set("LastName", "Neu");
  EXPECT_EQ(ErrorOf([&] { fresh->Save(); }), err::kFail);
  muster->Set("LastName", "Umbenannt");
  EXPECT_EQ(ErrorOf([&] { muster->Save(); }), err::kFail);
  EXPECT_EQ(ErrorOf([&] { Contacts()->Item(3)->Delete(); }), err::kFail);
  auto folder = Folder("anna@example.com\\Kontakte");
  EXPECT_EQ(ErrorOf([&] { folder->Folders()->Add("Neu", OlItemType::Contact); }), err::kFail);
  EXPECT_EQ(
      ErrorOf([&] { folder->UserDefinedProperties()->Add("velID", OlUserPropertyType::Text); }),
      err::kFail);
  EXPECT_EQ(ErrorOf([&] { store_.outlook->SetOffline(true); }), err::kFail);
  // Nothing of it reached the folder, its index or its definitions.
  EXPECT_EQ(Contacts()->Count(), 3);
  EXPECT_EQ(Contacts()->Find("[LastName] = \"Umbenannt\""), nullptr);
  EXPECT_NE(Contacts()->Find("[FileAs] = \"Muster, Max\""), nullptr);
  EXPECT_EQ(folder->Folders()->Count(), 1);
  EXPECT_EQ(folder->UserDefinedProperties()->Count(), 2);
  EXPECT_FALSE(store_.outlook->Offline());
  // Once the database takes writes again, the pending change can be saved.
  store_.db->Exec("PRAGMA query_only = 0");
  muster->Save();
  EXPECT_NE(Contacts()->Find("[FileAs] = \"Umbenannt, Max\""), nullptr);
  Store other(profile_);
  EXPECT_EQ(
      other.outlook->FindFolder("anna@example.com\\Kontakte")->Items()->Item(1)->Get("LastName"),
      Variant("Umbenannt"));
}

TEST_F(StoreTest, WritesJoinTheConnectionsTransaction) {
  store_.db->Exec("CREATE TABLE IF NOT EXISTS main.crm(x)");
  auto folder = Folder("anna@example.com\\Kontakte");
  auto kept = Contacts()->Item(1);
  auto listener = std::make_shared<Recorder>();
  folder->Items()->Advise(listener);
  store_.db->Begin();
  store_.db->Exec("INSERT INTO main.crm VALUES(1)");
  auto c = Contacts()->Add();
  c->Set("LastName", "Verworfen");
  c->Save();
  store_.db->Rollback();
  store_.outlook->Reload();
  EXPECT_EQ(Contacts()->Count(), 3);
  EXPECT_TRUE(c->IsDeleted());
  // What survived the rollback keeps its handles and listeners.
  EXPECT_FALSE(kept->IsDeleted());
  EXPECT_EQ(folder->Items()->Count(), 3);
  kept->Save();
  EXPECT_EQ(listener->events.back(), "change Muster, Max");

  store_.db->Begin();
  auto d = Contacts()->Add();
  d->Set("LastName", "Behalten");
  d->Save();
  store_.db->Exec("INSERT INTO main.crm VALUES(2)");
  store_.db->Commit();
  Store other(profile_);
  EXPECT_EQ(other.outlook->FindFolder("anna@example.com\\Kontakte")->Items()->Count(), 4);
}

}  // namespace
}  // namespace velklk
