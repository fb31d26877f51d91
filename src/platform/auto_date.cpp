#include "platform/auto_date.h"

#include <fmt/format.h>

#include <charconv>
#include <chrono>
#include <cmath>

namespace velklk {
namespace {

using std::chrono::day;
using std::chrono::days;
using std::chrono::month;
using std::chrono::sys_days;
using std::chrono::year;
using std::chrono::year_month_day;

constexpr long long kSecondsPerDay = 86400;

sys_days Epoch() { return sys_days(year_month_day(year(1899), month(12), day(30))); }

// The automation date stores days before the epoch with a positive time
// fraction (-1.25 is 1899-12-29 06:00); convert to a linear day count.
double ToLinear(double v) {
  if (v >= 0) return v;
  const double whole = std::trunc(v);
  return whole + (whole - v);
}

double FromLinear(double linear) {
  if (linear >= 0) return linear;
  const double whole = std::floor(linear);
  const double frac = linear - whole;
  return frac == 0.0 ? whole : whole - frac;
}

bool ReadInt(std::string_view text, std::size_t& pos, std::size_t minDigits, std::size_t maxDigits,
             int& out) {
  // Only digits count: from_chars would also take a sign.
  std::size_t end = pos;
  while (end < text.size() && end - pos < maxDigits && text[end] >= '0' && text[end] <= '9') ++end;
  if (end - pos < minDigits) return false;
  int value = 0;
  if (end > pos) std::from_chars(text.data() + pos, text.data() + end, value);
  pos = end;
  out = value;
  return true;
}

bool Expect(std::string_view text, std::size_t& pos, char c) {
  if (pos < text.size() && text[pos] == c) {
    ++pos;
    return true;
  }
  return false;
}

std::optional<AutoDate> Checked(const DateParts& p) {
  if (p.month < 1 || p.month > 12 || p.day < 1 || p.day > 31 || p.hour < 0 || p.hour > 23 ||
      p.minute < 0 || p.minute > 59 || p.second < 0 || p.second > 59 || p.year < 100 ||
      p.year > 9999)
    return std::nullopt;
  year_month_day ymd{year(p.year), month(static_cast<unsigned>(p.month)),
                     day(static_cast<unsigned>(p.day))};
  if (!ymd.ok()) return std::nullopt;
  return AutoDate::FromParts(p);
}

}  // namespace

AutoDate AutoDate::FromParts(const DateParts& p) {
  year_month_day ymd{year(p.year), month(static_cast<unsigned>(p.month)),
                     day(static_cast<unsigned>(p.day))};
  const long long dayNumber = (sys_days(ymd) - Epoch()).count();
  const long long secs = dayNumber * kSecondsPerDay + p.hour * 3600LL + p.minute * 60LL + p.second;
  return FromSeconds(secs);
}

AutoDate AutoDate::FromSeconds(long long seconds) {
  return AutoDate(FromLinear(static_cast<double>(seconds) / kSecondsPerDay));
}

std::optional<AutoDate> AutoDate::Parse(std::string_view text) {
  DateParts p;
  std::size_t pos = 0;
  if (!ReadInt(text, pos, 4, 4, p.year) || !Expect(text, pos, '-') ||
      !ReadInt(text, pos, 2, 2, p.month) || !Expect(text, pos, '-') ||
      !ReadInt(text, pos, 2, 2, p.day))
    return std::nullopt;
  if (pos == text.size()) {
    p.hour = p.minute = p.second = 0;
    return Checked(p);
  }
  if (!Expect(text, pos, ' ') && !Expect(text, pos, 'T')) return std::nullopt;
  if (!ReadInt(text, pos, 2, 2, p.hour) || !Expect(text, pos, ':') ||
      !ReadInt(text, pos, 2, 2, p.minute) || !Expect(text, pos, ':') ||
      !ReadInt(text, pos, 2, 2, p.second) || pos != text.size())
    return std::nullopt;
  return Checked(p);
}

long long AutoDate::Seconds() const {
  return std::llround(ToLinear(value_) * static_cast<double>(kSecondsPerDay));
}

long long AutoDate::Day() const {
  long long s = Seconds();
  return s >= 0 ? s / kSecondsPerDay : -((-s + kSecondsPerDay - 1) / kSecondsPerDay);
}

AutoDate AutoDate::DateOnly() const { return FromSeconds(Day() * kSecondsPerDay); }

double AutoDate::TimeOfDay() const {
  return static_cast<double>(Seconds() - Day() * kSecondsPerDay) / kSecondsPerDay;
}

DateParts AutoDate::Parts() const {
  const long long secs = Seconds();
  const long long dayNumber = Day();
  long long rest = secs - dayNumber * kSecondsPerDay;
  year_month_day ymd{Epoch() + days(dayNumber)};
  DateParts p;
  p.year = static_cast<int>(ymd.year());
  p.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
  p.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
  p.hour = static_cast<int>(rest / 3600);
  p.minute = static_cast<int>((rest % 3600) / 60);
  p.second = static_cast<int>(rest % 60);
  return p;
}

std::string AutoDate::Format() const {
  const DateParts p = Parts();
  return fmt::format("{:04}-{:02}-{:02} {:02}:{:02}:{:02}", p.year, p.month, p.day, p.hour,
                     p.minute, p.second);
}

std::string AutoDate::FormatDate() const {
  const DateParts p = Parts();
  return fmt::format("{:04}-{:02}-{:02}", p.year, p.month, p.day);
}

bool AutoDate::IsNoDate() const { return Day() == static_cast<long long>(kNoDateValue); }

long long DayDiff(AutoDate a, AutoDate b) { return b.Day() - a.Day(); }

long long SecondDiff(AutoDate a, AutoDate b) { return b.Seconds() - a.Seconds(); }

std::string ShortDate(AutoDate date, std::string_view language) {
  const DateParts p = date.Parts();
  if (language == "en") return fmt::format("{:02}/{:02}/{:04}", p.day, p.month, p.year);
  return fmt::format("{:02}.{:02}.{:04}", p.day, p.month, p.year);
}

std::optional<AutoDate> ParseShortDate(std::string_view text) {
  if (auto iso = AutoDate::Parse(text)) return iso;
  DateParts p;
  std::size_t pos = 0;
  if (!ReadInt(text, pos, 1, 2, p.day)) return std::nullopt;
  if (pos >= text.size() || (text[pos] != '.' && text[pos] != '/')) return std::nullopt;
  const char sep = text[pos++];
  if (!ReadInt(text, pos, 1, 2, p.month) || !Expect(text, pos, sep) ||
      !ReadInt(text, pos, 4, 4, p.year))
    return std::nullopt;
  p.hour = p.minute = p.second = 0;
  if (pos != text.size()) {
    if (!Expect(text, pos, ' ') || !ReadInt(text, pos, 1, 2, p.hour) || !Expect(text, pos, ':') ||
        !ReadInt(text, pos, 2, 2, p.minute))
      return std::nullopt;
    if (Expect(text, pos, ':') && !ReadInt(text, pos, 2, 2, p.second)) return std::nullopt;
    if (pos != text.size()) return std::nullopt;
  }
  return Checked(p);
}

}  // namespace velklk
