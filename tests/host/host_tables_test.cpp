// Tables of the embedded host: navigation, master-detail, indexes, the record
// life cycle, refusals and durability.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "host_test_support.h"

namespace velklk::test {
namespace {

using nlohmann::json;

std::vector<std::string> Walk(HostTable& table, const std::string& field = "Name") {
  std::vector<std::string> out;
  for (bool more = table.MoveFirst(); more; more = table.Move(1))
    out.push_back(table.Field(field)->Value().ToText());
  return out;
}

TEST(HostTables, OneObjectPerNameAndFieldsWithoutRegardToCase) {
  HostUnderTest h(Fixture("crm"));
  EXPECT_EQ(h.Table("Adressen"), h.Table("ADRESSEN"));
  auto akt = h.Table("Aktivitaeten");
  EXPECT_EQ(akt->Field("Voralarm"), akt->Field("VorAlarm"));
  EXPECT_EQ(akt->Field("VorAlarm")->Name(), "Voralarm");
  EXPECT_TRUE(akt->FieldExists("erledigt"));
  EXPECT_EQ(ErrorOf([&] { akt->Field("Nope"); }), err::kInvalidArg);
  EXPECT_EQ(ErrorOf([&] { h.db->Table("Nope"); }), err::kInvalidArg);
  EXPECT_EQ(ErrorOf([&] { akt->Field(akt->FieldCount()); }), err::kSubscriptOutOfRange);
  // A separate working database has cursors of its own.
  auto work = h.db->OpenWorkingDatabase(0);
  EXPECT_NE(work->Table("Adressen"), h.Table("Adressen"));
  h.Table("Adressen")->Move(1);
  EXPECT_EQ(h.Text(*work->Table("Adressen"), "Name"), "Muster GmbH");
  EXPECT_EQ(h.Text(*h.Table("Adressen"), "Name"), "Beispiel AG");
}

TEST(HostTables, NavigationAndValueTypes) {
  HostUnderTest h(Fixture("crm"));
  auto adr = h.Table("Adressen");
  EXPECT_EQ(Walk(*adr), (std::vector<std::string>{"Muster GmbH", "Beispiel AG"}));
  EXPECT_TRUE(adr->AtEnd());
  EXPECT_TRUE(adr->MoveFirst() && adr->Move(1) && adr->Move(-1));
  EXPECT_EQ(h.Text(*adr, "Name"), "Muster GmbH");
  EXPECT_FALSE(adr->Move(-1));
  EXPECT_EQ(ErrorOf([&] { adr->Field("Name")->Value(); }), err::kFail);  // at end

  auto akt = h.Table("Aktivitaeten");
  ASSERT_TRUE(akt->SelectIndex("ID") == "ID" && akt->Seek("0000000031"));
  EXPECT_EQ(akt->Field("Datum")->Value(), Variant(At("2026-12-07 09:30:00")));
  EXPECT_EQ(akt->Field("DatumBis")->Value(), Variant(AutoDate(0.0)));  // no date
  EXPECT_EQ(akt->Field("Dauer")->Value(), Variant(0.0625));
  EXPECT_EQ(akt->Field("Erledigt")->Value(), Variant(false));
  EXPECT_TRUE(h.Table("Adressen")->Field("URL")->Value().IsEmpty());
  // The current field is the one last read or written, by its own name.
  h.Table("Adressen")->Field("telefon1")->Value();
  EXPECT_EQ(h.Table("Adressen")->CurrentFieldName(), "Telefon1");
}

TEST(HostTables, DetailsFollowTheirMasterRecord) {
  HostUnderTest h(Fixture("crm"));
  auto adr = h.Table("Adressen");
  auto ap = h.Table("Ansprechpartner");
  adr->MoveFirst();
  EXPECT_EQ(Walk(*ap), (std::vector<std::string>{"Klein", "Lang"}));
  adr->Move(1);
  EXPECT_EQ(Walk(*ap), (std::vector<std::string>{"Gross"}));
  EXPECT_TRUE(h.Table("Adressmerkmale")->AtEnd());

  // Seeking a detail makes its master record current, up the whole chain.
  adr->MoveFirst();
  auto akt = h.Table("Aktivitaeten");
  ASSERT_TRUE(akt->Seek("0000000031"));
  EXPECT_EQ(h.Text(*adr, "ID"), "0000000002");
  EXPECT_EQ(h.Text(*h.Table("Vorgaenge"), "ID"), "0000000021");
  ASSERT_TRUE(ap->Seek("0000000013"));
  EXPECT_EQ(h.Text(*adr, "ID"), "0000000001");
  EXPECT_EQ(h.Text(*ap, "Name"), "Lang");

  EXPECT_FALSE(h.Table("calA_Termine")->HasMaster());
  EXPECT_EQ(ErrorOf([&] { h.Table("WRTM_Tasks")->Master(); }), err::kFail);

  // A new detail belongs to the master's current record.
  adr->Seek("0000000002");
  ASSERT_TRUE(ap->MayAdd());
  ap->NewRecord();
  ap->Field("Name")->SetValue("Neu");
  ap->SaveNew();
  EXPECT_EQ(h.Text(*ap, "Name"), "Neu");
  EXPECT_EQ(Walk(*ap), (std::vector<std::string>{"Gross", "Neu"}));
  adr->MoveFirst();
  EXPECT_EQ(Walk(*ap), (std::vector<std::string>{"Klein", "Lang"}));
  // Record references lead back, also across masters.
  ap->Seek("0000000012");
  const std::string ref = ap->RecordReference();
  adr->MoveFirst();
  ASSERT_TRUE(ap->GoToReference(ref));
  EXPECT_EQ(h.Text(*ap, "Name"), "Gross");
  EXPECT_EQ(h.Text(*adr, "Name"), "Beispiel AG");
  EXPECT_FALSE(ap->GoToReference("Adressen:1"));
  EXPECT_FALSE(ap->GoToReference("garbage"));
  EXPECT_FALSE(ap->GoToReference("Ansprechpartner:99999"));
}

TEST(HostTables, SeekOnBothIndexes) {
  HostUnderTest h(Fixture("crm"));
  auto log = h.Table("TBKLK_SyncLog");
  EXPECT_EQ(log->SelectIndex("SyncSearch"), "ID");
  EXPECT_EQ(log->CurrentIndex(), "SyncSearch");
  EXPECT_TRUE(log->Seek("BEN0000000001Adressen"));
  EXPECT_EQ(h.Text(*log, "velUser"), "BEN");
  EXPECT_FALSE(log->Seek("CARL0000000001Adressen"));
  EXPECT_TRUE(log->AtEnd());
  EXPECT_FALSE(log->Seek("BEN"));  // the whole key, not a prefix
  EXPECT_EQ(log->SelectIndex("ID"), "SyncSearch");
  EXPECT_FALSE(log->Seek("BEN0000000001Adressen"));
  EXPECT_EQ(ErrorOf([&] { log->SelectIndex("Nope"); }), err::kInvalidArg);
  EXPECT_EQ(ErrorOf([&] { h.Table("Adressen")->SelectIndex("SyncSearch"); }), err::kInvalidArg);
}

TEST(HostTables, NewRecordsGetKeysAndTheClock) {
  HostUnderTest h(Fixture("crm"));
  auto tasks = h.Table("WRTM_Tasks");
  h.clock.Set(At("2026-12-08 08:15:30"));
  tasks->NewRecord();
  EXPECT_EQ(ErrorOf([&] { tasks->Field("ID")->SetValue("X"); }), err::kPermissionDenied);
  tasks->Field("Subject")->SetValue("Anrufen");
  tasks->Field("Status")->SetValue("3");
  tasks->Field("Remind")->SetValue(true);
  tasks->Field("StartDate")->SetValue("2026-12-09");
  tasks->SaveNew();
  const std::string id = h.Text(*tasks, "ID");
  EXPECT_EQ(id.size(), 10u);
  EXPECT_GT(id, "0000000031");  // after every key the fixture gave
  EXPECT_EQ(tasks->Field("Status")->Value(), Variant(3LL));
  EXPECT_EQ(tasks->Field("StartDate")->Value(), Variant(At("2026-12-09 00:00:00")));
  EXPECT_EQ(tasks->Field("ModifiziertAm")->Value(), Variant(At("2026-12-08 08:15:30")));

  // Editing stamps again; Cancel drops the changes.
  h.clock.AdvanceSeconds(90);
  ASSERT_TRUE(tasks->MayEdit());
  ASSERT_TRUE(tasks->BeginEdit());
  tasks->Field("Subject")->SetValue("Zurueckrufen");
  EXPECT_EQ(h.Text(*tasks, "Subject"), "Zurueckrufen");  // the edited record shows
  EXPECT_EQ(tasks->CurrentFieldName(), "Subject");
  tasks->StoreEdited();
  EXPECT_EQ(tasks->Field("ModifiziertAm")->Value(), Variant(At("2026-12-08 08:17:00")));
  ASSERT_TRUE(tasks->BeginEdit());
  tasks->Field("Subject")->SetValue("weg");
  tasks->Cancel();
  EXPECT_EQ(h.Text(*tasks, "Subject"), "Zurueckrufen");
  EXPECT_EQ(ErrorOf([&] { tasks->Field("Subject")->SetValue("x"); }), err::kFail);

  // The default of the responsible user is the current user.
  auto termine = h.Table("calA_Termine");
  termine->NewRecord();
  EXPECT_EQ(h.Text(*termine, "Verantwortlich"), "ANNA");
}

TEST(HostTables, DeletingARecordTakesItsDetailsAlong) {
  HostUnderTest h(Fixture("crm"));
  auto adr = h.Table("Adressen");
  ASSERT_TRUE(adr->Seek("0000000002"));
  ASSERT_TRUE(adr->MayDelete());
  adr->DeleteCurrent();
  EXPECT_TRUE(adr->AtEnd());
  EXPECT_FALSE(h.Table("Aktivitaeten")->Seek("0000000031"));
  EXPECT_FALSE(h.Table("Ansprechpartner")->Seek("0000000012"));
  EXPECT_TRUE(h.Table("Ansprechpartner")->Seek("0000000011"));
  adr->MoveFirst();
  EXPECT_EQ(Walk(*h.Table("Ansprechpartner")), (std::vector<std::string>{"Klein", "Lang"}));
  EXPECT_EQ(ErrorOf([&] {
              adr->Seek("0000000001");
              adr->DeleteCurrent();
              adr->DeleteCurrent();
            }),
            err::kFail);
}

TEST(HostTables, RefusalsAndInjectedErrors) {
  json f = Fixture("crm");
  f["refuse"] = {{"Aktivitaeten", {"add"}},
                 {"Ansprechpartner:0000000011", {"edit", "delete"}},
                 {"Adressen:0000000002", {"add"}}};
  f["refuseValues"] = {{"Adressen.Telefon1", {"###"}}};
  f["raise"] = {{"WRTM_Tasks.SaveNew", "0x80004005"}, {"Database.Compile", 424}};
  HostUnderTest h(f);

  auto akt = h.Table("Aktivitaeten");
  EXPECT_FALSE(akt->MayAdd());
  EXPECT_EQ(ErrorOf([&] { akt->NewRecord(); }), err::kPermissionDenied);

  auto ap = h.Table("Ansprechpartner");
  ASSERT_TRUE(ap->Seek("0000000011"));
  EXPECT_FALSE(ap->MayEdit());
  EXPECT_FALSE(ap->BeginEdit());
  EXPECT_FALSE(ap->MayDelete());
  EXPECT_EQ(ErrorOf([&] { ap->DeleteCurrent(); }), err::kPermissionDenied);
  ASSERT_TRUE(ap->Seek("0000000013"));
  EXPECT_TRUE(ap->MayEdit());
  // A record that refuses "add" takes no new details.
  h.Table("Adressen")->Seek("0000000002");
  EXPECT_FALSE(ap->MayAdd());
  h.Table("Adressen")->Seek("0000000001");
  EXPECT_TRUE(ap->MayAdd());

  auto adr = h.Table("Adressen");
  ASSERT_TRUE(adr->BeginEdit());
  EXPECT_EQ(ErrorOf([&] { adr->Field("Telefon1")->SetValue("###"); }), err::kInvalidArg);
  EXPECT_EQ(adr->CurrentFieldName(), "Telefon1");
  adr->Field("Telefon1")->SetValue("0711 2");
  adr->StoreEdited();
  EXPECT_EQ(h.Text(*adr, "Telefon1"), "0711 2");

  auto tasks = h.Table("WRTM_Tasks");
  tasks->NewRecord();
  EXPECT_EQ(ErrorOf([&] { tasks->SaveNew(); }), 0x80004005u);
  EXPECT_EQ(ErrorOf([&] { h.db->Compile("Name()"); }), 424u);

  // Switches set through the API behave the same.
  h.host->RefuseTable("calA_Termine", "edit");
  h.host->RaiseOn("Table.MoveFirst", 0x80040115u);
  EXPECT_EQ(ErrorOf([&] { h.Table("calA_Teilnehmer")->MoveFirst(); }), 0x80040115u);
}

TEST(HostTables, LinksTenantsSelectRowsAndLookupOptions) {
  HostUnderTest h(Fixture("crm"));
  auto adr = h.Table("Adressen");
  adr->MoveFirst();
  EXPECT_EQ(h.db->MakeLink("Muster GmbH"), nullptr);
  auto link = h.db->MakeLink("http://muster.example");
  ASSERT_NE(link, nullptr);
  adr->BeginEdit();
  adr->Field("URL")->SetValue(Variant(std::shared_ptr<AutomationObject>(link)));
  EXPECT_EQ(ErrorOf([&] { adr->Field("URL")->SetValue("kein Link"); }), err::kTypeMismatch);
  adr->StoreEdited();
  auto stored = adr->Field("URL")->Value().As<HostLink>();
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ(stored->Target(), "http://muster.example");

  // Tenants: a new process record takes those of its address.
  auto vg = h.Table("Vorgaenge");
  vg->NewRecord();
  vg->SaveNew();
  EXPECT_TRUE(vg->Tenants().empty());
  vg->CopyTenantsFrom(*adr);
  EXPECT_EQ(vg->Tenants(), (std::vector<std::string>{"Nord"}));

  auto teil = h.Table("calA_Teilnehmer");
  for (auto [table, id, user] : {std::tuple{"Aktivitaeten", "0000000031", "ANNA"},
                                 std::tuple{"Aktivitaeten", "0000000031", "BEN"}}) {
    teil->NewRecord();
    teil->Field("MasterTable")->SetValue(table);
    teil->Field("MasterID")->SetValue(id);
    teil->Field("User")->SetValue(user);
    teil->SaveNew();
  }
  const std::string benId = h.Text(*teil, "ID");
  auto rows = teil->SelectRows({"calA_Teilnehmer->ID", "calA_Teilnehmer->MasterID"},
                               "calA_Teilnehmer->MasterTable = \"Aktivitaeten\" And "
                               "calA_Teilnehmer->MasterID = \"0000000031\" And "
                               "calA_Teilnehmer->User = \"BEN\"");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0].ToText() + rows[0][1].ToText(), benId + "0000000031");
  EXPECT_TRUE(teil->SelectRows({"ID"}, "User = \"CARL\"").empty());
  EXPECT_EQ(teil->SelectRows({"ID"}, "").size(), 2u);
  EXPECT_EQ(ErrorOf([&] { teil->SelectRows({"ID"}, "User = "); }), err::kFail);
}

// A process that dies inside a unit of work leaves the database as the last
// finished unit left it; finished units are there for the next process, and
// an error inside a unit does not undo it.
TEST(HostDurability, DyingInsideAUnitLosesOnlyThatUnit) {
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("velklk_host_die_" + std::to_string(::getpid()) + ".db"))
                               .string();
  std::filesystem::remove(path);
  { HostUnderTest h(nlohmann::json::object(), path); }
  const pid_t child = ::fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    SettableClock clock(At("2026-12-06 10:00:00"));
    auto host = EmbeddedHost::OpenFile(path, &clock);
    auto tasks = host->Database()->Table("WRTM_Tasks");
    host->Begin();
    tasks->NewRecord();
    tasks->Field("Subject")->SetValue("fertig");
    tasks->SaveNew();
    IgnoreError([&] { tasks->Field("Nope"); });
    host->Commit();
    host->Begin();
    for (int i = 0; i < 20; ++i) {
      tasks->NewRecord();
      tasks->Field("Subject")->SetValue("halb");
      tasks->SaveNew();
    }
    ::_exit(0);  // dies without ending the unit
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  SettableClock clock(At("2026-12-06 10:00:00"));
  auto host = EmbeddedHost::OpenFile(path, &clock);
  auto tasks = host->Database()->Table("WRTM_Tasks");
  std::vector<std::string> subjects;
  for (bool more = tasks->MoveFirst(); more; more = tasks->Move(1))
    subjects.push_back(tasks->Field("Subject")->Value().ToText());
  EXPECT_EQ(subjects, std::vector<std::string>{"fertig"});
  // The key counter went back with the lost unit, so keys stay dense.
  tasks->NewRecord();
  tasks->SaveNew();
  EXPECT_EQ(tasks->Field("ID")->Value().ToText(), "0000000002");
  host.reset();
  std::filesystem::remove(path);
  std::filesystem::remove(path + "-journal");
}

// Inside a unit the key counter is counted in memory and stored when the
// unit commits: keys stay unique across a rolled-back unit, another
// connection's records in between and a new process.
TEST(HostDurability, KeysStayUniqueAcrossUnitsConnectionsAndProcesses) {
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("velklk_host_keys_" + std::to_string(::getpid()) + ".db"))
                               .string();
  std::filesystem::remove(path);
  HostUnderTest first(nlohmann::json::object(), path);
  HostUnderTest second(nlohmann::json::object(), path);
  auto add = [](HostUnderTest& h) {
    auto tasks = h.Table("WRTM_Tasks");
    tasks->NewRecord();
    tasks->SaveNew();
    return h.Text(*tasks, "ID");
  };
  std::vector<std::string> keys;
  first.host->Begin();
  keys.push_back(add(first));
  keys.push_back(add(first));
  first.host->Commit();
  first.host->Begin();
  add(first);
  first.host->Rollback();
  keys.push_back(add(second));  // another connection, outside a unit
  first.host->Begin();
  keys.push_back(add(first));
  first.host->Commit();
  keys.push_back(add(first));
  first.host.reset();
  second.host.reset();
  auto reopened = EmbeddedHost::OpenFile(path, &first.clock);
  auto tasks = reopened->Database()->Table("WRTM_Tasks");
  tasks->NewRecord();
  tasks->SaveNew();
  keys.push_back(tasks->Field("ID")->Value().ToText());
  EXPECT_EQ(keys, (std::vector<std::string>{"0000000001", "0000000002", "0000000003", "0000000004",
                                            "0000000005", "0000000006"}));
  tasks.reset();
  reopened.reset();
  std::filesystem::remove(path);
  std::filesystem::remove(path + "-journal");
}

}  // namespace
}  // namespace velklk::test
