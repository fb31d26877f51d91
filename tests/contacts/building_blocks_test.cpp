// The building blocks other subsystems reuse, called directly on the shared
// state a command has set up: sync log, favourite marks, link test.
#include <gtest/gtest.h>

#include "session/shared_state.h"
#include "contacts/contacts.h"
#include "support/desk.h"

namespace velklk::test {
namespace {

const char* kTwoAddresses = R"({"host": {"tables": {
    "Adressen": [ {"ID": "0000000001", "An": "Firma", "Name": "Muster"},
                  {"ID": "0000000002", "An": "Firma", "Name": "Ohne Marke"} ],
    "Adressmerkmale": [ {"ID": "0000000007", "@master": "0000000001", "Merkmal": "OutlookFavorit", "Wert": "ANNA"} ]},
    "refuse": {"Adressmerkmale:0000000007": ["delete"]}}})";

TEST(BuildingBlocks, SyncLogIsWrittenOncePerUserAndKey) {
  Desk desk(kTwoAddresses);
  ASSERT_TRUE(desk.AddressOrContactSync2OL("0000000001", "Adressen"));
  EXPECT_FALSE(CreateSyncLog("0000000001Adressen"));
  EXPECT_TRUE(CreateSyncLog("0000000002Adressen"));
  EXPECT_EQ(desk.SyncLogCount("ANNA"), 2);
  EXPECT_TRUE(DeleteSyncLog("0000000002Adressen"));
  EXPECT_TRUE(DeleteSyncLog("0000000002Adressen"));
  EXPECT_EQ(desk.SyncLogCount("ANNA"), 1);
  EXPECT_TRUE(IsContactInOl("0000000001Adressen"));
  EXPECT_FALSE(IsContactInOl("0000000002Adressen"));
  // A key with a quote is a literal in the filter, not a syntax error.
  EXPECT_FALSE(IsContactInOl("00000\"0001Adressen"));
  EXPECT_TRUE(desk.Boxes().empty());
}

TEST(BuildingBlocks, LinkTestAndMarksOfOtherTables) {
  Desk desk(kTwoAddresses);
  ASSERT_TRUE(desk.AddressOrContactSync2OL("0000000001", "Adressen"));
  EXPECT_TRUE(IsValidContactInOL("0000000001Adressen"));
  EXPECT_TRUE(IsValidContactInOL("0000000001ADRESSEN"));
  EXPECT_FALSE(IsValidContactInOL("0000000002Adressen"));
  EXPECT_FALSE(IsValidContactInOL("0000000009Adressen"));
  EXPECT_FALSE(IsValidContactInOL("0000000001Vorgaenge"));
  // Marks exist only for addresses and contact persons.
  SharedState& s = State();
  EXPECT_FALSE(MakeVelOutlookFavorit(*s.mTblVorgaenge));
  EXPECT_FALSE(IsVelOutlookFavorit(*s.mTblVorgaenge));
  EXPECT_FALSE(DeleteVelOutlookFavorit(*s.mTblVorgaenge));
  EXPECT_EQ(desk.Count("Adressmerkmale"), 1);
}

TEST(BuildingBlocks, MarkTheHostMayNotDeleteStays) {
  Desk desk(kTwoAddresses);
  ASSERT_TRUE(desk.AddressOrContactSync2OL("0000000001", "Adressen"));
  desk.ContactOf("0000000001Adressen")->Delete();
  // The user deleted the contact; the host keeps the mark, the answer is
  // still True and the log entry goes.
  EXPECT_TRUE(desk.AddressOrContactSync2OL("0000000001", "Adressen"));
  EXPECT_EQ(desk.Marks("Adressen", "0000000001"), std::vector<std::string>{"ANNA"});
  EXPECT_FALSE(desk.SyncLogHas("0000000001Adressen"));
  EXPECT_FALSE(desk.ContactOf("0000000001Adressen"));
}

TEST(BuildingBlocks, UpdateCommandWithoutCurrentAddress) {
  Desk desk(R"({"host": {"tables": {"Adressen": []}}})");
  desk.UpdateAdresse("");
  const auto boxes = desk.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Keine Adresse ausgewählt!");
  EXPECT_EQ(boxes[0].title, "Adresse abgleichen");
  EXPECT_TRUE(desk.Items().empty());
}

constexpr std::uint32_t kFail = 0x80004005u;

// The first message box, or nothing.
std::string FirstTitle(const Desk& desk) {
  const auto boxes = desk.Boxes();
  return boxes.empty() ? std::string() : boxes[0].title;
}

TEST(FaultInjection, ImportThatCannotStoreLeavesNoHalfRecord) {
  Desk desk(R"({"folders": {"anna@example.com\\Kontakte": {"items": [
      {"class": "contact", "LastName": "Neu"} ]}}})");
  desk.RaiseOn("Adressen.SaveNew", kFail);
  EXPECT_TRUE(desk.SyncContacts2VEL());
  EXPECT_EQ(FirstTitle(desk), "Fehler in modAppSync.SyncNewOLContacts");
  EXPECT_EQ(desk.Count("Adressen"), 0);
  EXPECT_EQ(desk.SyncLogCount(), 0);
  auto c = desk.Find(R"([LastName] = "Neu")");
  ASSERT_TRUE(c);
  EXPECT_NE(Desk::UserProp(*c, "velSearch").size(), 18u);
  // The table is not left in the middle of an addition.
  EXPECT_NO_THROW(State().mTblAdressen->MoveFirst());
}

TEST(FaultInjection, MarkThatCannotBeStoredIsDropped) {
  Desk desk(
      R"({"host": {"tables": {"Adressen": [ {"ID": "0000000001", "An": "Firma", "Name": "Muster"} ]}}})");
  desk.RaiseOn("Adressmerkmale.SaveNew", kFail);
  desk.UpdateAdresse("0000000001");
  EXPECT_TRUE(desk.ContactOf("0000000001Adressen"));
  EXPECT_TRUE(desk.Marks("Adressen", "0000000001").empty());
  EXPECT_TRUE(desk.Boxes().empty());
  EXPECT_NO_THROW(State().mTblAdressmerkmale->MoveFirst());
}

TEST(FaultInjection, ContactThatCannotBeFinishedIsRemoved) {
  Desk desk(
      R"({"host": {"tables": {"Adressen": [ {"ID": "0000000001", "An": "Firma", "Name": "Muster"} ]}}})");
  desk.RaiseOn("Adressen.StoreEdited", kFail);
  desk.UpdateAdresse("0000000001");
  EXPECT_EQ(FirstTitle(desk), "Fehler in Contact.Update1ContactSilent");
  ASSERT_FALSE(desk.Boxes().empty());
  EXPECT_NE(desk.BoxTexts()[0].find("80004005 in ContactUtils"), std::string::npos);
  // Neither a half-made contact that the next import would take for a new
  // one, nor a log entry, nor a record left open for editing.
  EXPECT_TRUE(desk.Items().empty());
  EXPECT_FALSE(desk.SyncLogHas("0000000001Adressen"));
  EXPECT_NO_THROW(State().mTblAdressen->MoveFirst());
}

}  // namespace
}  // namespace velklk::test
