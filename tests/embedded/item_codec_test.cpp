// The stored form of an Outlook item's values, read from a damaged profile.
#include "outlook/item_codec.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <nlohmann/json.hpp>

#include "outlook/embedded_outlook.h"
#include "platform/automation_error.h"
#include "sqlite/connection.h"

namespace velklk::outlook {
namespace {

std::string Birthday(double value) {
  std::string blob =
      "S\x08"
      "Birthday\x04";
  char bytes[8];
  std::memcpy(bytes, &value, 8);
  return blob.append(bytes, 8);
}

// Found by fuzzing: a stored date far outside the calendar broke the date
// arithmetic when the item was shown.
TEST(ItemCodec, ADateOutsideTheCalendarIsDamage) {
  for (double bad :
       {1e300, -1e300, std::numeric_limits<double>::quiet_NaN(), 2958466.0, -657435.0}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW(DecodeItem(Birthday(bad)), AutomationError);
  }
  // 9999-12-31 12:00 and 0100-01-01 12:00 are dates.
  EXPECT_EQ(DecodeItem(Birthday(2958465.5)).props.size(), 1u);
  EXPECT_EQ(DecodeItem(Birthday(-657434.5)).props.size(), 1u);

  // The same damage in an item's time stamps makes opening the profile fail.
  auto db = sqlite::Connection::Open(":memory:");
  db->Attach(":memory:", "outlook");
  SettableClock clock(AutoDate::FromParts(2026, 12, 6));
  EmbeddedOutlook::Open(db, "outlook", &clock, "de")
      ->LoadFixture(nlohmann::json::parse(R"({"stores": [{"name": "a", "folders": [
          {"name": "K", "type": 2, "items": [{"class": "contact", "LastName": "M"}]}]}]})"),
                    clock.Now());
  db->Exec("UPDATE outlook.items SET modified = 1e300");
  EXPECT_THROW(EmbeddedOutlook::Open(db, "outlook", &clock, "de"), AutomationError);
}

}  // namespace
}  // namespace velklk::outlook
