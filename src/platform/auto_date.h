// The automation date: days since 1899-12-30 as a double, the fraction being
// the time of day. Modification-time rules compare two dates first by the
// calendar days between them, then by seconds.
#pragma once

#include <compare>
#include <optional>
#include <string>
#include <string_view>

#include "platform/export.h"

namespace velklk {

struct VELKLK_API DateParts {
  int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;
};

class VELKLK_API AutoDate {
 public:
  constexpr AutoDate() = default;
  constexpr explicit AutoDate(double value) : value_(value) {}

  static AutoDate FromParts(const DateParts& parts);
  static AutoDate FromParts(int year, int month, int day, int hour = 0, int minute = 0,
                            int second = 0) {
    return FromParts(DateParts{year, month, day, hour, minute, second});
  }
  // "yyyy-MM-dd" or "yyyy-MM-dd hh:mm:ss"; nothing for any other text or an
  // impossible date.
  static std::optional<AutoDate> Parse(std::string_view text);
  // Seconds since 1899-12-30 00:00:00 (the linear time scale).
  static AutoDate FromSeconds(long long seconds);

  constexpr double Value() const { return value_; }
  // Rounded to the second.
  DateParts Parts() const;
  long long Seconds() const;
  // The calendar day number (whole days since 1899-12-30).
  long long Day() const;
  // Midnight of the same day.
  AutoDate DateOnly() const;
  double TimeOfDay() const;

  // "yyyy-MM-dd hh:mm:ss", 24-hour clock.
  std::string Format() const;
  // "yyyy-MM-dd".
  std::string FormatDate() const;

  bool IsNoDate() const;

  friend constexpr bool operator==(AutoDate a, AutoDate b) { return a.value_ == b.value_; }
  friend auto operator<=>(AutoDate a, AutoDate b) { return a.Seconds() <=> b.Seconds(); }

 private:
  double value_ = 0.0;
};

// Outlook's value for "no date": 1 January 4501.
inline constexpr double kNoDateValue = 949998.0;
inline constexpr AutoDate kNoDate{kNoDateValue};

// Number of day boundaries from a to b (b later gives a positive count).
VELKLK_API long long DayDiff(AutoDate a, AutoDate b);
// Number of seconds from a to b.
VELKLK_API long long SecondDiff(AutoDate a, AutoDate b);

// The short date of a locale: "de" gives "dd.MM.yyyy", "en" gives "dd/MM/yyyy".
VELKLK_API std::string ShortDate(AutoDate date, std::string_view language);
// Reads a short date of either locale ("dd.MM.yyyy", "dd/MM/yyyy", with one or
// two digits for day and month) or an ISO date; nothing when unreadable.
VELKLK_API std::optional<AutoDate> ParseShortDate(std::string_view text);

}  // namespace velklk
