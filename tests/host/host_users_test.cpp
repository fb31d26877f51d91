// Users, groups, private settings and global variables of the embedded host.
#include <cstdio>

#include "host_test_support.h"

namespace velklk::test {
namespace {

using nlohmann::json;

TEST(HostUsers, UsersGroupsAndProperties) {
  HostUnderTest h(Fixture("users"));
  ASSERT_EQ(h.db->UserCount(), 2);
  EXPECT_EQ(ErrorOf([&] { h.db->UserAt(2); }), err::kSubscriptOutOfRange);
  auto anna = h.db->User("anna");
  ASSERT_NE(anna, nullptr);
  EXPECT_TRUE(anna->PropertyExists("email"));
  EXPECT_FALSE(h.db->User("BEN")->PropertyExists("EMail"));
  EXPECT_EQ(ErrorOf([&] { h.db->User("BEN")->Property("EMail"); }), err::kInvalidArg);
  EXPECT_EQ(h.db->User("CARL"), nullptr);
  auto vertrieb = h.db->UserGroup("Vertrieb");
  ASSERT_NE(vertrieb, nullptr);
  EXPECT_TRUE(vertrieb->HasMember("ben"));
  EXPECT_FALSE(h.db->UserGroup("Technik")->HasMember("ANNA"));
  EXPECT_EQ(h.db->UserGroup("Einkauf"), nullptr);
}

TEST(HostUsers, PrivateSettingsPerUser) {
  HostUnderTest h(Fixture("users"));
  auto ben = h.db->CurrentUser()->Settings();
  EXPECT_EQ(ben->Count(), 2);
  EXPECT_TRUE(ben->Exists("tsklk_loglevel"));
  EXPECT_FALSE(ben->Exists("PREXOLContactPath"));  // ANNA's, not BEN's
  EXPECT_EQ(ErrorOf([&] { ben->Value("PREXOLContactPath"); }), err::kInvalidArg);
  EXPECT_EQ(ErrorOf([&] { ben->SetValue("PREXOLContactPath", "x"); }), err::kInvalidArg);
  ben->Add("PREXOLContactPath", "ben@example.com\\Kontakte");
  EXPECT_EQ(ErrorOf([&] { ben->Add("prexolcontactpath", "x"); }), err::kInvalidArg);
  ben->Remove("TSKLK_LogLevel");
  EXPECT_EQ(ben->Count(), 2);
  EXPECT_EQ(ErrorOf([&] { ben->Remove("TSKLK_LogLevel"); }), err::kInvalidArg);
  EXPECT_EQ(ErrorOf([&] { ben->NameAt(2); }), err::kSubscriptOutOfRange);
  EXPECT_EQ(h.db->User("ANNA")->Settings()->Count(), 1);
}

TEST(HostUsers, GlobalVariablesIncludingLookupLists) {
  HostUnderTest h(Fixture("users"));
  EXPECT_TRUE(h.db->GlobalExists("tbklk_g_merkmalgruppe"));
  const Variant list = h.db->GlobalValue("TBKLK_lt_AktivitaetentypTermin");
  ASSERT_TRUE(list.IsList());
  EXPECT_EQ(list.ToList(), (VariantList{Variant("Termin"), Variant("Besuch")}));
  EXPECT_FALSE(h.db->GlobalExists("TBKLK_g_AdressenFeld1"));
  EXPECT_EQ(ErrorOf([&] { h.db->GlobalValue("TBKLK_g_AdressenFeld1"); }), err::kInvalidArg);
  EXPECT_EQ(ErrorOf([&] { h.db->SetGlobalValue("TBKLK_g_AdressenFeld1", "Branche"); }),
            err::kInvalidArg);
  h.db->AddGlobal("TBKLK_g_AdressenFeld1", "Branche");
  EXPECT_EQ(ErrorOf([&] { h.db->AddGlobal("TBKLK_g_AdressenFeld1", "x"); }), err::kInvalidArg);
  h.db->SetGlobalValue("TBKLK_lt_AktivitaetentypTermin", VariantList{});  // an empty list stays one
  EXPECT_TRUE(h.db->GlobalValue("TBKLK_lt_AktivitaetentypTermin").IsList());
  EXPECT_EQ(h.db->GlobalNames(),
            (std::vector<std::string>{"TBKLK_g_Merkmalgruppe", "TBKLK_lt_AktivitaetentypTermin",
                                      "TBKLK_g_AdressenFeld1"}));
  // The working database sees the same globals and settings.
  auto work = h.db->OpenWorkingDatabase(0);
  EXPECT_EQ(work->GlobalValue("TBKLK_g_AdressenFeld1"), Variant("Branche"));
  EXPECT_EQ(ErrorOf([&] { h.db->OpenWorkingDatabase(1); }), err::kInvalidArg);
}

// Users, settings and globals are kept in memory between lookups; a kept
// value never outlives a change by another connection or a rolled-back write.
TEST(HostUsers, KeptValuesFollowOtherConnectionsAndRollbacks) {
  const std::string path = ::testing::TempDir() + "velklk-host-kept.db";
  std::remove(path.c_str());
  HostUnderTest h(Fixture("users"), path);
  auto other = EmbeddedHost::OpenFile(path, &h.clock);
  auto mine = h.db->CurrentUser()->Settings();
  EXPECT_EQ(mine->Value("TSKLK_LogLevel"), Variant("debug"));
  EXPECT_TRUE(h.db->GlobalExists("TBKLK_g_Merkmalgruppe"));
  other->Database()->User("BEN")->Settings()->SetValue("TSKLK_LogLevel", "off");
  other->Database()->AddGlobal("TBKLK_g_AdressenFeld1", "Branche");
  EXPECT_EQ(mine->Value("TSKLK_LogLevel"), Variant("off"));
  EXPECT_EQ(h.db->GlobalValue("TBKLK_g_AdressenFeld1"), Variant("Branche"));

  h.host->Connection().Begin();
  mine->SetValue("TSKLK_LogLevel", "debug");
  mine->Add("PREXOLTaskPath", "x");
  EXPECT_EQ(h.db->CurrentUser()->Settings()->Value("TSKLK_LogLevel"), Variant("debug"));
  EXPECT_TRUE(mine->Exists("PREXOLTaskPath"));
  h.host->Connection().Rollback();
  EXPECT_EQ(mine->Value("TSKLK_LogLevel"), Variant("off"));
  EXPECT_FALSE(mine->Exists("PREXOLTaskPath"));
  other.reset();
  h.host.reset();
  std::remove(path.c_str());
}

}  // namespace
}  // namespace velklk::test
