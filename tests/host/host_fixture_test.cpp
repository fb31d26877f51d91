// Loading and dumping the host part of a fixture.
#include "host_test_support.h"

namespace velklk::test {
namespace {

using nlohmann::json;

TEST(HostFixtures, LoadsShapesAndRecords) {
  HostUnderTest h(Fixture("rich"));
  auto adr = h.Table("Adressen");
  EXPECT_FALSE(adr->FieldExists("haus_zimmer"));
  EXPECT_EQ(adr->Field("Branche")->Size(), 40);
  auto projekte = h.Table("Projekte");
  EXPECT_EQ(projekte->Master()->Name(), "Adressen");
  adr->MoveFirst();
  EXPECT_EQ(h.Text(*projekte, "Titel"), "Umbau");
  EXPECT_EQ(h.Text(*projekte, "ID").size(), 10u);
  EXPECT_EQ(adr->Tenants(), (std::vector<std::string>{"Nord", "Sued"}));
  EXPECT_EQ(adr->Field("ModifiziertAm")->Value(), Variant(At("2026-12-01 09:00:00")));
  EXPECT_EQ(h.Table("Adressmerkmale")->Field("ModifiziertAm")->Value(),
            Variant(At("2026-12-06 10:00:00")));
  EXPECT_FALSE(adr->MayDelete());
  EXPECT_EQ(h.db->AttributeFlags(), 0x10000u);
  EXPECT_EQ(h.db->CurrentUser()->Settings()->Value("TBKLK_Count"), Variant(3LL));
  // New keys come after the fixture's.
  auto akt = h.Table("calA_Termine");
  akt->NewRecord();
  akt->SaveNew();
  EXPECT_GT(h.Text(*akt, "ID"), "0000000002");
}

TEST(HostFixtures, DumpThenLoadGivesTheSameState) {
  HostUnderTest first(Fixture("rich"));
  // Work through the interface before dumping.
  auto ap = first.Table("Ansprechpartner");
  ap->Seek("0000000002");
  ap->BeginEdit();
  ap->Field("Memo")->SetValue("Zeile 1\nZeile \"2\"");
  ap->StoreEdited();
  const json dumped = first.host->DumpFixture();
  EXPECT_EQ(dumped["tables"]["Ansprechpartner"][0]["@master"], "0000000001");
  EXPECT_EQ(dumped["tables"]["Ansprechpartner"][0]["Geburtstag"], "1980-05-17 00:00:00");
  EXPECT_EQ(dumped["tables"]["Adressen"][0]["URL"], "http://muster.example");
  EXPECT_EQ(dumped["raise"]["WRTM_Tasks.SaveNew"], "0x80004005");

  HostUnderTest second(dumped);
  EXPECT_EQ(second.host->DumpFixture(), dumped);
  // A dump of the default state loads as well.
  HostUnderTest empty;
  HostUnderTest again(empty.host->DumpFixture());
  EXPECT_EQ(again.host->DumpFixture(), empty.host->DumpFixture());
}

TEST(HostFixtures, BadFixturesNameTheEntryAndChangeNothing) {
  HostUnderTest h(Fixture("rich"));
  const json before = h.host->DumpFixture();
  // Each case of fixtures/bad.json: a fixture and the entry its error names.
  for (const auto& bad : Fixture("bad")) {
    const std::string text = bad["fixture"].dump();
    try {
      h.host->LoadFixture(bad["fixture"], At("2026-12-06 10:00:00"));
      ADD_FAILURE() << "accepted: " << text;
    } catch (const FixtureError& e) {
      EXPECT_NE(std::string(e.what()).find(bad["entry"].get<std::string>()), std::string::npos)
          << text << " gave: " << e.what();
    }
    EXPECT_EQ(h.host->DumpFixture(), before) << text;
  }
  // The objects keep working after a rejected load.
  EXPECT_EQ(h.Table("Adressen")->Seek("0000000001"), true);
  EXPECT_EQ(h.db->CurrentUser()->Name(), "ANNA");
}

}  // namespace
}  // namespace velklk::test
