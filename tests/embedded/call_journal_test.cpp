// The journal's bound: the last 200 entries are all there is to read, with
// their images, however the older ones are dropped.
#include "changes/call_journal.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "sqlite/connection.h"

namespace velklk {
namespace {

TEST(CallJournal, KeepsTheLastEntriesAndTheirImagesOnly) {
  auto db = sqlite::Connection::Open(":memory:");
  CallJournal journal(*db);
  const std::string images(100, 'x');
  for (int i = 1; i <= 260; ++i)
    journal.Append(nlohmann::ordered_json{{"member", "m" + std::to_string(i)}}, &images, 1 << 20);
  const auto last = journal.Last(1000);
  ASSERT_EQ(last.size(), static_cast<std::size_t>(CallJournal::kCapacity));
  EXPECT_EQ(last.front()["entry"], 61);
  EXPECT_EQ(last.front()["member"], "m61");
  EXPECT_EQ(last.back()["entry"], 260);
  EXPECT_FALSE(journal.Find(60));
  ASSERT_TRUE(journal.Find(61));
  EXPECT_EQ(journal.Find(61)->images, images);
  EXPECT_EQ(journal.LastUndoable(), 260);
  // What fell out does not stay for long.
  auto rows = db->Prepare("SELECT count(*) FROM _vk_undo");
  ASSERT_TRUE(rows.Step());
  EXPECT_LE(rows.Int(0), CallJournal::kCapacity + 50);
}

}  // namespace
}  // namespace velklk
