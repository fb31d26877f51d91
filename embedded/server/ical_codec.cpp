#include "server/ical_codec.h"

#include <libical/ical.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>

#include "server/time_zones.h"
#include "server/vcard.h"

namespace velklk::server {
namespace {

using outlook::ItemData;
using outlook::LinkRef;
using outlook::PropValue;
using outlook::UserProp;

constexpr std::string_view kUserPrefix = "X-VELKLK-";
// The codec's own properties: Outlook values iCalendar has no property for.
constexpr std::string_view kOwnPrefix = "X-VELKLK-OL-";
constexpr std::string_view kLinkName = "X-VELKLK-OL-LINK";
constexpr std::string_view kStatusName = "X-VELKLK-OL-STATUS";
constexpr std::size_t kMaxObjectBytes = 4u << 20;
constexpr const char* kProdId = "-//velKLK//Outlook profile//EN";

// --- Small helpers ---------------------------------------------------------

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

char UpperChar(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// `prefix` in upper case.
bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (UpperChar(s[i]) != prefix[i]) return false;
  return true;
}

int Id(const char* name) { return *outlook::FindProperty(name); }

const PropValue& ValueOf(const ItemData& d, int id) {
  const PropValue* v = d.Find(id);
  return v ? *v : outlook::Property(id).defaultValue;
}
std::string TextOf(const ItemData& d, int id) {
  const PropValue& v = ValueOf(d, id);
  return std::holds_alternative<std::string>(v) ? std::get<std::string>(v) : std::string();
}
std::int64_t IntOf(const ItemData& d, int id) {
  const PropValue& v = ValueOf(d, id);
  return std::holds_alternative<std::int64_t>(v) ? std::get<std::int64_t>(v) : 0;
}
bool BoolOf(const ItemData& d, int id) {
  const PropValue& v = ValueOf(d, id);
  return std::holds_alternative<bool>(v) && std::get<bool>(v);
}
AutoDate DateOf(const ItemData& d, int id) {
  const PropValue& v = ValueOf(d, id);
  return std::holds_alternative<AutoDate>(v) ? std::get<AutoDate>(v) : kNoDate;
}
// Stores a value, leaving out a default (as the store does).
void Put(ItemData& d, int id, PropValue v) {
  if (v == outlook::Property(id).defaultValue) {
    d.Erase(id);
  } else {
    d.Put(id, std::move(v));
  }
}

std::string CanonicalValue(const PropValue& v) {
  switch (outlook::TypeOf(v)) {
    case outlook::ValueType::Text: {
      std::string out;
      for (char c : std::get<std::string>(v)) {
        if (c == '\\' || c == '\n' || c == '\r' || c == '|') {
          out.push_back('\\');
          out.push_back(c == '\n' ? 'n' : c == '\r' ? 'r' : c);
        } else {
          out.push_back(c);
        }
      }
      return out;
    }
    case outlook::ValueType::Bool:
      return std::get<bool>(v) ? "TRUE" : "FALSE";
    case outlook::ValueType::Integer:
      return std::to_string(std::get<std::int64_t>(v));
    case outlook::ValueType::Double: {
      char buf[40];
      std::snprintf(buf, sizeof buf, "%.17g", std::get<double>(v));
      return buf;
    }
    case outlook::ValueType::Date: {
      char buf[40];
      std::snprintf(buf, sizeof buf, "%.17g", std::get<AutoDate>(v).Value());
      return buf;
    }
  }
  return {};
}

// iCalendar text is UTF-8 with "\n" line breaks; Outlook's are "\r\n". What
// a text value cannot hold (other control characters; blanks at its ends,
// which libical drops) is left out.
std::string TextForICal(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '\r' || (u < 0x20 && c != '\n' && c != '\t') || u == 0x7F) continue;
    out.push_back(c);
  }
  const auto b = out.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  out.erase(out.find_last_not_of(" \t") + 1);
  out.erase(0, b);
  return out;
}
std::string ToOutlook(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '\n') out.push_back('\r');
    out.push_back(c);
  }
  return out;
}

std::string Escape(std::string_view text) { return EscapeText(TextForICal(text)); }

// The value of an X- property: libical reads "\," and "\;" of such a value as
// ',' and ';' and writes them so, so only the backslash and line breaks are
// escaped (UnescapeText reads it).
std::string XEscape(std::string_view text) {
  std::string out;
  for (char c : TextForICal(text)) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out.push_back(c);
    }
  }
  return out;
}

// A category name as it travels: a list item without ',', ';', '\\' and line
// breaks (libical reads CATEGORIES as a plain list), trimmed.
std::string CategoryName(std::string_view name) {
  std::string out;
  for (char c : TextForICal(name))
    if (c != ',' && c != ';' && c != '\\' && c != '\n') out.push_back(c);
  const auto b = out.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  return out.substr(b, out.find_last_not_of(" \t") - b + 1);
}

std::vector<std::string> SplitCategories(std::string_view text) {
  std::vector<std::string> out;
  std::size_t at = 0;
  while (at <= text.size()) {
    const std::size_t comma = std::min(text.find(',', at), text.size());
    if (auto n = CategoryName(text.substr(at, comma - at)); !n.empty()) out.push_back(std::move(n));
    at = comma + 1;
  }
  return out;
}

// --- libical handles -------------------------------------------------------

struct ComponentFree {
  void operator()(icalcomponent* c) const { icalcomponent_free(c); }
};
using ComponentPtr = std::unique_ptr<icalcomponent, ComponentFree>;

// The unfolded content lines of libical's text of a property or component.
// A CR is never part of a line (libical may leave one where it folds a line
// that is not UTF-8).
void AppendLines(char* text, std::vector<std::string>& out) {
  std::string_view s(text ? text : "");
  std::string line;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\r') continue;
    if (s[i] != '\n') {
      line.push_back(s[i]);
      continue;
    }
    if (i + 1 < s.size() && (s[i + 1] == ' ' || s[i + 1] == '\t')) {
      ++i;  // a fold
      continue;
    }
    if (!line.empty()) out.push_back(std::move(line));
    line.clear();
  }
  if (!line.empty()) out.push_back(std::move(line));
  if (text) icalmemory_free_buffer(text);
}
std::vector<std::string> LinesOf(icalproperty* p) {
  std::vector<std::string> out;
  AppendLines(icalproperty_as_ical_string_r(p), out);
  // libical reads one value of a list of texts from "a\\,b" and writes it
  // as "a,b", which reads as two: its commas go back escaped.
  const icalproperty_kind kind = icalproperty_isa(p);
  if ((kind == ICAL_CATEGORIES_PROPERTY || kind == ICAL_RESOURCES_PROPERTY) && out.size() == 1) {
    std::string& line = out[0];
    bool quoted = false;
    std::size_t colon = 0;
    for (; colon < line.size(); ++colon) {
      if (line[colon] == '"') quoted = !quoted;
      if (line[colon] == ':' && !quoted) break;
    }
    std::string fixed = line.substr(0, std::min(colon + 1, line.size()));
    for (std::size_t i = colon + 1; i < line.size(); ++i) {
      if (line[i] == '\\' && i + 1 < line.size()) {
        fixed += line.substr(i++, 2);
        continue;
      }
      if (line[i] == ',') fixed += '\\';
      fixed += line[i];
    }
    line = std::move(fixed);
  }
  return out;
}
std::vector<std::string> LinesOf(icalcomponent* c) {
  std::vector<std::string> out;
  AppendLines(icalcomponent_as_ical_string_r(c), out);
  return out;
}

// A content line without a value ("LOCATION:"): libical drops it.
bool EmptyValue(std::string_view line) {
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '"') quoted = !quoted;
    if (line[i] == ':' && !quoted) return i + 1 == line.size();
  }
  return false;
}

// A component as received: its name (upper case) and its lines, unfolded,
// BEGIN and END included.
struct RawBlock {
  std::string name;
  std::vector<std::string> lines;
};

// The text as received, beside libical's reading of it.
struct RawText {
  std::vector<RawBlock> components;    // the VCALENDAR's, in order
  std::size_t item = 0;                // which of them is the item (when one is)
  std::vector<std::string> itemLines;  // the item's own lines (not its subcomponents')
  std::vector<RawBlock> itemParts;     // the item's subcomponents
};

// Checks that BEGIN and END lines nest and match, in exactly one VCALENDAR
// (libical reads past such faults with warnings), and gives the components
// as received. The item is the first component named `name` inside the
// VCALENDAR without RECURRENCE-ID, else the first, as the codec picks it
// from libical's reading.
RawText ScanText(std::string_view text, std::string_view name) {
  RawText out;
  std::vector<std::vector<std::string>> own;  // own lines of each component
  std::vector<std::vector<RawBlock>> parts;   // subcomponents of each component
  std::vector<bool> occurrence;
  std::vector<std::string> open;  // the components open, upper case
  bool ended = false;
  std::string line;
  auto flush = [&] {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) return;
    if (ended) throw ICalError("the text goes on after END:VCALENDAR");
    const bool begin = StartsWithNoCase(line, "BEGIN:"), end = StartsWithNoCase(line, "END:");
    if (!begin && !end && open.empty()) throw ICalError("the text is not an iCalendar object");
    if (begin) {
      open.push_back(Upper(std::string_view(line).substr(6)));
      if (open.size() == 1 && open[0] != "VCALENDAR")
        throw ICalError("the text is not an iCalendar object");
      if (open.size() == 2) {
        out.components.push_back({open[1], {}});
        own.emplace_back();
        parts.emplace_back();
        occurrence.push_back(false);
      }
      if (open.size() == 3) parts.back().push_back({open[2], {}});
    }
    if (open.size() >= 2) out.components.back().lines.push_back(line);
    if (open.size() >= 3) parts.back().back().lines.push_back(line);
    if (!begin && !end && open.size() == 2 && !EmptyValue(line)) {
      if (StartsWithNoCase(line, "RECURRENCE-ID")) occurrence.back() = true;
      own.back().push_back(line);
    }
    if (end) {
      const std::string what = Upper(std::string_view(line).substr(4));
      if (open.empty() || open.back() != what)
        throw ICalError(
            "END:" + what.substr(0, 40) +
            (open.empty() ? " has no BEGIN" : " closes BEGIN:" + open.back().substr(0, 40)));
      open.pop_back();
      ended = open.empty();
    }
    line.clear();
  };
  for (std::size_t at = text.find('\r'); at != std::string_view::npos; at = text.find('\r', at + 1))
    if (at + 1 == text.size() || text[at + 1] != '\n')
      throw ICalError("the text has a CR that does not end a line");
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t end = std::min(text.find('\n', i), text.size());
    line.append(text.substr(i, end - i));
    i = end + 1;
    if (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      ++i;  // a fold
      continue;
    }
    flush();
  }
  flush();
  if (!open.empty()) throw ICalError("BEGIN:" + open.back().substr(0, 40) + " has no END");
  if (!ended) throw ICalError("the text is not an iCalendar object");
  std::optional<std::size_t> item;
  for (std::size_t b = 0; b < out.components.size() && !item; ++b)
    if (out.components[b].name == name && !occurrence[b]) item = b;
  for (std::size_t b = 0; b < out.components.size() && !item; ++b)
    if (out.components[b].name == name) item = b;
  if (item) {
    out.item = *item;
    out.itemLines = std::move(own[*item]);
    out.itemParts = std::move(parts[*item]);
  }
  return out;
}

// The lines as received of libical's components, when they line up with
// the blocks (by name, in order, the X- components libical drops left
// aside); else none.
std::map<icalcomponent*, const std::vector<std::string>*> LineUp(
    const std::vector<icalcomponent*>& components, const std::vector<const RawBlock*>& blocks) {
  std::map<icalcomponent*, const std::vector<std::string>*> out;
  std::size_t j = 0;
  for (icalcomponent* c : components) {
    while (j < blocks.size() && StartsWithNoCase(blocks[j]->name, "X-")) ++j;
    const char* kind = icalcomponent_kind_to_string(icalcomponent_isa(c));
    if (j == blocks.size() || !kind || blocks[j]->name != Upper(kind)) return {};
    out[c] = &blocks[j++]->lines;
  }
  while (j < blocks.size() && StartsWithNoCase(blocks[j]->name, "X-")) ++j;
  if (j != blocks.size()) return {};
  return out;
}

// The name of a content line is `name` (upper case).
bool LineNamed(std::string_view line, std::string_view name) {
  return StartsWithNoCase(line, name) && line.size() > name.size() &&
         (line[name.size()] == ';' || line[name.size()] == ':');
}

std::string PropName(icalproperty* p) {
  const icalproperty_kind kind = icalproperty_isa(p);
  const char* n =
      kind == ICAL_X_PROPERTY ? icalproperty_get_x_name(p) : icalproperty_kind_to_string(kind);
  return n ? Upper(n) : std::string();
}

std::string ParamOf(icalproperty* p, icalparameter_kind kind) {
  icalparameter* q = icalproperty_get_first_parameter(p, kind);
  if (!q) return {};
  const char* v = nullptr;
  if (kind == ICAL_TZID_PARAMETER) v = icalparameter_get_tzid(q);
  if (kind == ICAL_VALUE_PARAMETER)
    return icalparameter_get_value(q) == ICAL_VALUE_BOOLEAN ? "BOOLEAN" : "";
  return v ? v : "";
}

// The value of a property as written, for X- and unknown properties.
std::string RawValue(icalproperty* p) {
  const char* v = icalproperty_get_value_as_string(p);
  return v ? v : "";
}

// --- Time ------------------------------------------------------------------

// The profile's zone.
struct Zone {
  std::string name;
  icaltimezone* tz = nullptr;          // the UTC zone for "UTC"
  bool utc = false;                    // times written in UTC ("Z"), no VTIMEZONE
  std::vector<std::string> vtimezone;  // lines, TZID rewritten to the name
};

std::once_flag g_libicalInit;

void InitLibical() {
  std::call_once(g_libicalInit, [] { icalerror_set_errors_are_fatal(0); });
}

Zone MakeZone(const std::string& given) {
  InitLibical();
  Zone z;
  z.name = ResolveZoneName(given);
  z.tz = icaltimezone_get_builtin_timezone(z.name.c_str());
  if (!z.tz) throw ICalError("the time zone \"" + z.name + "\" is not known");
  z.utc = z.tz == icaltimezone_get_utc_timezone();
  if (z.utc) return z;
  icalcomponent* builtin = icaltimezone_get_component(z.tz);
  if (!builtin) throw ICalError("the time zone \"" + z.name + "\" has no definition");
  ComponentPtr copy(icalcomponent_new_clone(builtin));
  // The zone's rules since 1970, not its whole history since the 1890s:
  // about a tenth of the text in every object, and what other clients need
  // for the dates people plan.
  icaltimetype since = icaltime_from_string("19700101T000000Z");
  icaltimezone_truncate_vtimezone(copy.get(), since, icaltime_null_time(), 0);
  if (icalproperty* id = icalcomponent_get_first_property(copy.get(), ICAL_TZID_PROPERTY))
    icalproperty_set_tzid(id, z.name.c_str());
  for (icalproperty* p = icalcomponent_get_first_property(copy.get(), ICAL_ANY_PROPERTY); p;) {
    icalproperty* next = icalcomponent_get_next_property(copy.get(), ICAL_ANY_PROPERTY);
    if (StartsWithNoCase(PropName(p), "X-LIC-")) {
      icalcomponent_remove_property(copy.get(), p);
      icalproperty_free(p);
    }
    p = next;
  }
  z.vtimezone = LinesOf(copy.get());
  return z;
}

// The Outlook range of dates: the years 1900 to 4500.
const AutoDate kFirst = AutoDate::FromParts(1900, 1, 1);
const AutoDate kLast = AutoDate::FromParts(4500, 12, 31, 23, 59, 59);

std::string TimeText(const DateParts& p, bool date) {
  std::string out;
  auto digits = [&](int v, int n) {
    char buf[8];
    for (int k = n - 1; k >= 0; --k) {
      buf[k] = static_cast<char>('0' + (v % 10 + 10) % 10);
      v /= 10;
    }
    out.append(buf, static_cast<std::size_t>(n));
  };
  digits(p.year, 4);
  digits(p.month, 2);
  digits(p.day, 2);
  if (date) return out;
  out.push_back('T');
  digits(p.hour, 2);
  digits(p.minute, 2);
  digits(p.second, 2);
  return out;
}

icaltimetype IcalOf(AutoDate d) {
  const DateParts p = d.Parts();
  icaltimetype t = icaltime_null_time();
  t.year = p.year;
  t.month = p.month;
  t.day = p.day;
  t.hour = p.hour;
  t.minute = p.minute;
  t.second = p.second;
  return t;
}

AutoDate AutoOf(const icaltimetype& t) {
  return AutoDate::FromParts(t.year, t.month, t.day, t.is_date ? 0 : t.hour,
                             t.is_date ? 0 : t.minute, t.is_date ? 0 : t.second);
}

std::chrono::sys_seconds SysOf(const icaltimetype& utc) {
  using namespace std::chrono;
  const year_month_day ymd{year(utc.year), month(static_cast<unsigned>(utc.month)),
                           day(static_cast<unsigned>(utc.day))};
  return sys_seconds(sys_days(ymd)) + hours(utc.hour) + minutes(utc.minute) + seconds(utc.second);
}

// A time of a calendar object as the profile keeps it.
struct Time {
  AutoDate local;
  bool date = false;
  icaltimetype utc{};  // the moment (a date or a floating time: as local)
};

class Reader {
 public:
  Reader(const Zone& zone, icalcomponent* calendar) : zone_(zone), calendar_(calendar) {}

  // The local time of a DATE or DATE-TIME value of `p`; raises ICalError.
  Time Read(icalproperty* p, const std::string& what) const {
    icalvalue* v = icalproperty_get_value(p);
    icaltimetype t = icaltime_null_time();
    if (v && icalvalue_isa(v) == ICAL_DATE_VALUE) {
      t = icalvalue_get_date(v);
      t.is_date = 1;
    } else if (v && icalvalue_isa(v) == ICAL_DATETIME_VALUE) {
      t = icalvalue_get_datetime(v);
    } else {
      throw ICalError(what + " is not a date or a time");
    }
    if (icaltime_is_null_time(t) || t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 ||
        t.hour < 0 || t.hour > 23 || t.minute < 0 || t.minute > 59 || t.second < 0 || t.second > 60)
      throw ICalError(what + " cannot be read");
    if (t.year < 1899 || t.year > 4501) throw OutOfRange(what, t);
    Time out;
    out.date = t.is_date;
    if (t.is_date) {
      out.local = AutoOf(t);
    } else if (icaltime_is_utc(t)) {
      out.local = Local(t);
    } else if (const std::string tzid = ParamOf(p, ICAL_TZID_PARAMETER); !tzid.empty()) {
      if (icaltimezone* z = ZoneOf(tzid, what)) {
        t.zone = z;
        out.local = Local(icaltime_convert_to_zone(t, icaltimezone_get_utc_timezone()));
      } else {
        out.local = AutoOf(t);
      }
    } else {
      out.local = AutoOf(t);  // floating: the profile's local time
    }
    if (out.local < kFirst || out.local > kLast) throw OutOfRange(what, t);
    return out;
  }

  // The local time of a moment in UTC.
  AutoDate Local(icaltimetype utc) const {
    utc.zone = icaltimezone_get_utc_timezone();
    if (zone_.utc) return AutoOf(utc);
    return AutoOf(icaltime_convert_to_zone(utc, zone_.tz));
  }

 private:
  static ICalError OutOfRange(const std::string& what, const icaltimetype& t) {
    return ICalError(what + " " +
                     TimeText({t.year, t.month, t.day, t.hour, t.minute, t.second}, t.is_date) +
                     " is outside the years 1900 to 4500");
  }

  // The zone of a TZID; null when it is the profile's own.
  icaltimezone* ZoneOf(const std::string& tzid, const std::string& what) const {
    if (tzid == zone_.name) return nullptr;
    if (icaltimezone* z = icalcomponent_get_timezone(calendar_, tzid.c_str())) return z;
    std::string iana = tzid;
    if (auto w = WindowsZone(tzid)) iana = *w;
    if (iana == zone_.name) return nullptr;
    if (icaltimezone* z = icaltimezone_get_builtin_timezone(iana.c_str())) return z;
    if (icaltimezone* z = icaltimezone_get_builtin_timezone_from_tzid(tzid.c_str())) return z;
    throw ICalError(what + " is in the time zone \"" + tzid +
                    "\", which is not known and has no VTIMEZONE");
  }

  const Zone& zone_;
  icalcomponent* calendar_;
};

// The text of a local time as the profile writes it: with TZID, or in UTC
// for a profile in UTC.
std::string WriteTime(const Zone& zone, std::string_view name, AutoDate local, bool date) {
  std::string out(name);
  if (date) return out + ";VALUE=DATE:" + TimeText(local.Parts(), true);
  if (zone.utc) return out + ":" + TimeText(local.Parts(), false) + "Z";
  return out + ";TZID=" + zone.name + ":" + TimeText(local.Parts(), false);
}

std::string UtcText(const Zone& zone, AutoDate local) {
  icaltimetype t = IcalOf(local);
  if (!zone.utc) {
    t.zone = zone.tz;
    t = icaltime_convert_to_zone(t, icaltimezone_get_utc_timezone());
  }
  return TimeText({t.year, t.month, t.day, t.hour, t.minute, t.second}, false) + "Z";
}

std::string WriteStamp(std::chrono::sys_seconds t) {
  using namespace std::chrono;
  const auto day = floor<days>(t);
  const year_month_day ymd(day);
  const hh_mm_ss hms(t - day);
  return TimeText(
             {static_cast<int>(ymd.year()), static_cast<int>(static_cast<unsigned>(ymd.month())),
              static_cast<int>(static_cast<unsigned>(ymd.day())),
              static_cast<int>(hms.hours().count()), static_cast<int>(hms.minutes().count()),
              static_cast<int>(hms.seconds().count())},
             false) +
         "Z";
}

// --- The kept text ---------------------------------------------------------
// Entries, each a head line "@TAG RECORD" and its content lines (unfolded).
// TAG is "C" (a property or component of the VCALENDAR), "*" (a property or
// subcomponent of the item's component the mapping does not know), a slot's
// key (the received lines of a mapped slot) or "U:NAME" (those of a user
// property). RECORD is, for a slot or user property, the Outlook values its
// lines stand for: the lines are written back while the values are still
// those.

struct Kept {
  std::string tag, record;
  std::vector<std::string> lines;
  bool Component() const { return !lines.empty() && StartsWithNoCase(lines[0], "BEGIN:"); }
};

void AddKept(std::string& kept, std::string_view tag, std::string_view record,
             const std::vector<std::string>& lines) {
  kept += '@';
  kept += tag;
  kept += ' ';
  kept += record;
  kept += '\n';
  for (const auto& l : lines) {
    kept += l;
    kept += '\n';
  }
}

std::vector<Kept> ReadKept(std::string_view text) {
  std::vector<Kept> out;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    if (!line.empty() && line[0] == '@') {
      const std::size_t space = line.find(' ');
      Kept k;
      k.tag = std::string(line.substr(1, space == std::string_view::npos ? line.npos : space - 1));
      if (space != std::string_view::npos) k.record = std::string(line.substr(space + 1));
      out.push_back(std::move(k));
    } else if (!out.empty() && !line.empty()) {
      out.back().lines.emplace_back(line);
    }
  }
  return out;
}

// --- The mapping -----------------------------------------------------------

enum class Kind { Event, Task };

struct Ids {
  int subject, body, location, categories, sensitivity, importance, start, end, allDay, busy,
      reminderSet, reminderMinutes, reminderTime, recurring, recurrenceState, startDate, dueDate,
      status, percent, complete, dateCompleted, duration;
  std::vector<std::pair<int, std::string>> own;  // task values as X-VELKLK-OL-NAME
};

const Ids& TheIds() {
  static const Ids ids = [] {
    Ids i{};
    i.subject = Id("Subject");
    i.body = Id("Body");
    i.location = Id("Location");
    i.categories = Id("Categories");
    i.sensitivity = Id("Sensitivity");
    i.importance = Id("Importance");
    i.start = Id("Start");
    i.end = Id("End");
    i.allDay = Id("AllDayEvent");
    i.busy = Id("BusyStatus");
    i.reminderSet = Id("ReminderSet");
    i.reminderMinutes = Id("ReminderMinutesBeforeStart");
    i.reminderTime = Id("ReminderTime");
    i.recurring = Id("IsRecurring");
    i.recurrenceState = Id("RecurrenceState");
    i.startDate = Id("StartDate");
    i.dueDate = Id("DueDate");
    i.status = Id("Status");
    i.percent = Id("PercentComplete");
    i.complete = Id("Complete");
    i.dateCompleted = Id("DateCompleted");
    i.duration = Id("Duration");
    for (const char* n : {"TotalWork", "ActualWork", "Owner", "Role", "StatusReport"})
      i.own.emplace_back(Id(n), Upper(n));
    return i;
  }();
  return ids;
}

// A slot: a group of Outlook values written as one or more lines.
enum class SlotKey {
  Summary,
  Location,
  Description,
  Time,
  Categories,
  Busy,
  Class,
  Priority,
  Completion,
  Alarm,
  Own  // one per entry of Ids::own, numbered after this
};

struct Slot {
  std::string key;
  std::vector<int> ids;  // the values the record holds
};

const char* kSlotKeys[] = {"SUMMARY", "LOCATION", "DESCRIPTION", "TIME",       "CATEGORIES",
                           "BUSY",    "CLASS",    "PRIORITY",    "COMPLETION", "ALARM"};

std::vector<Slot> SlotsOf(Kind kind) {
  const Ids& i = TheIds();
  std::vector<Slot> s;
  auto add = [&](SlotKey k, std::vector<int> ids) {
    s.push_back({kSlotKeys[static_cast<int>(k)], std::move(ids)});
  };
  add(SlotKey::Summary, {i.subject});
  if (kind == Kind::Event) add(SlotKey::Location, {i.location});
  add(SlotKey::Description, {i.body});
  if (kind == Kind::Event) {
    add(SlotKey::Time, {i.start, i.end, i.allDay});
  } else {
    add(SlotKey::Time, {i.startDate, i.dueDate});
  }
  add(SlotKey::Categories, {i.categories});
  if (kind == Kind::Event) add(SlotKey::Busy, {i.busy});
  add(SlotKey::Class, {i.sensitivity});
  add(SlotKey::Priority, {i.importance});
  if (kind == Kind::Task) {
    add(SlotKey::Completion, {i.status, i.percent, i.complete, i.dateCompleted});
    for (const auto& [id, name] : i.own) s.push_back({"OL-" + name, {id}});
    add(SlotKey::Alarm, {i.reminderSet, i.reminderTime, i.startDate, i.dueDate});
  } else {
    add(SlotKey::Alarm, {i.reminderSet, i.reminderMinutes});
  }
  return s;
}

std::string RecordOf(const Slot& s, const ItemData& d) {
  std::string out;
  for (int id : s.ids) {
    if (!out.empty()) out += '|';
    out += CanonicalValue(ValueOf(d, id));
  }
  return out;
}

// Every Outlook value the codec of a kind sets from a received object.
std::vector<int> MappedIds(Kind kind) {
  const Ids& i = TheIds();
  std::set<int> ids;
  for (const Slot& s : SlotsOf(kind)) ids.insert(s.ids.begin(), s.ids.end());
  ids.insert(i.recurring);
  if (kind == Kind::Event) ids.insert(i.recurrenceState);
  return {ids.begin(), ids.end()};
}

const char* BusyName(std::int64_t busy) {
  switch (busy) {
    case 0:
      return "FREE";
    case 1:
      return "TENTATIVE";
    case 3:
      return "OOF";
    case 4:
      return "WORKINGELSEWHERE";
    default:
      return "BUSY";
  }
}

const char* StatusName(std::int64_t status) {
  switch (status) {
    case 1:
      return "IN-PROCESS";
    case 2:
      return "COMPLETED";
    case 4:
      return "CANCELLED";
    default:
      return "NEEDS-ACTION";  // not started, waiting
  }
}

std::string DurationText(long long seconds) {
  char* s = icaldurationtype_as_ical_string_r(icaldurationtype_from_int(static_cast<int>(seconds)));
  std::string out = s ? s : "";
  if (s) icalmemory_free_buffer(s);
  return out;
}

// The lines of a slot for an item's values.
std::vector<std::string> Render(Kind kind, const Zone& zone, const Slot& slot, const ItemData& d) {
  const Ids& i = TheIds();
  std::vector<std::string> out;
  const std::string& key = slot.key;
  auto text = [&](const char* name, int id) {
    const std::string v = TextOf(d, id);
    if (!v.empty()) out.push_back(std::string(name) + ":" + Escape(v));
  };
  if (key == "SUMMARY") {
    text("SUMMARY", i.subject);
  } else if (key == "LOCATION") {
    text("LOCATION", i.location);
  } else if (key == "DESCRIPTION") {
    text("DESCRIPTION", i.body);
  } else if (key == "TIME" && kind == Kind::Event) {
    const AutoDate start = DateOf(d, i.start);
    AutoDate end = std::max(DateOf(d, i.end), start);
    if (BoolOf(d, i.allDay)) {
      const AutoDate first = start.DateOnly();
      AutoDate last = end.DateOnly();
      if (last.Day() <= first.Day()) last = AutoDate(first.Value() + 1);
      out.push_back(WriteTime(zone, "DTSTART", first, true));
      out.push_back(WriteTime(zone, "DTEND", last, true));
    } else {
      out.push_back(WriteTime(zone, "DTSTART", start, false));
      out.push_back(WriteTime(zone, "DTEND", end, false));
    }
  } else if (key == "TIME") {
    const AutoDate start = DateOf(d, i.startDate), due = DateOf(d, i.dueDate);
    if (!start.IsNoDate()) out.push_back(WriteTime(zone, "DTSTART", start.DateOnly(), true));
    if (!due.IsNoDate()) out.push_back(WriteTime(zone, "DUE", due.DateOnly(), true));
  } else if (key == "CATEGORIES") {
    // One line per category, as libical writes a list it has read.
    for (const auto& name : SplitCategories(TextOf(d, i.categories)))
      out.push_back("CATEGORIES:" + name);
  } else if (key == "BUSY") {
    const std::int64_t busy = IntOf(d, i.busy);
    out.push_back(std::string("TRANSP:") + (busy == 0 ? "TRANSPARENT" : "OPAQUE"));
    out.push_back(std::string("X-MICROSOFT-CDO-BUSYSTATUS:") + BusyName(busy));
  } else if (key == "CLASS") {
    switch (IntOf(d, i.sensitivity)) {
      case 0:
        break;
      case 1:
        out.push_back("CLASS:X-PERSONAL");
        break;
      case 3:
        out.push_back("CLASS:CONFIDENTIAL");
        break;
      default:
        out.push_back("CLASS:PRIVATE");
    }
  } else if (key == "PRIORITY") {
    const std::int64_t importance = IntOf(d, i.importance);
    if (importance == 0) out.push_back("PRIORITY:9");
    if (importance == 2) out.push_back("PRIORITY:1");
  } else if (key == "COMPLETION") {
    const std::int64_t status = IntOf(d, i.status);
    out.push_back(std::string("STATUS:") + StatusName(status));
    out.push_back(std::string(kStatusName) + ":" + std::to_string(status));
    if (const std::int64_t percent = IntOf(d, i.percent); percent != 0)
      out.push_back("PERCENT-COMPLETE:" + std::to_string(percent));
    if (const AutoDate done = DateOf(d, i.dateCompleted); BoolOf(d, i.complete) && !done.IsNoDate())
      out.push_back("COMPLETED:" + UtcText(zone, done));
  } else if (key == "ALARM" && kind == Kind::Event) {
    if (BoolOf(d, i.reminderSet)) {
      out.insert(out.end(),
                 {"BEGIN:VALARM", "ACTION:DISPLAY", "DESCRIPTION:Reminder",
                  "TRIGGER:" + DurationText(-IntOf(d, i.reminderMinutes) * 60), "END:VALARM"});
    }
  } else if (key == "ALARM") {
    const AutoDate at = DateOf(d, i.reminderTime);
    if (BoolOf(d, i.reminderSet) && !at.IsNoDate()) {
      out.insert(out.end(), {"BEGIN:VALARM", "ACTION:DISPLAY", "DESCRIPTION:Reminder",
                             "TRIGGER;VALUE=DATE-TIME:" + UtcText(zone, at), "END:VALARM"});
    }
  } else if (StartsWithNoCase(key, "OL-")) {
    const int id = slot.ids[0];
    const PropValue& v = ValueOf(d, id);
    if (v != outlook::Property(id).defaultValue) {
      const std::string value = std::holds_alternative<std::int64_t>(v)
                                    ? std::to_string(std::get<std::int64_t>(v))
                                    : XEscape(TextOf(d, id));
      out.push_back(std::string(kUserPrefix) + key + ":" + value);
    }
  }
  return out;
}

// --- User properties and links ----------------------------------------------

// A user property travels when its name is made of letters, digits, '-' and
// '_' and does not start with "OL-" (the codec's own names).
bool Travels(std::string_view name) {
  if (name.empty() || StartsWithNoCase(name, "OL-")) return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_';
  });
}

std::string RenderUser(const UserProp& u, bool canonical) {
  std::string out = std::string(kUserPrefix) + (canonical ? Upper(u.name) : u.name);
  if (u.type == OlUserPropertyType::YesNo) {
    const bool yes = std::holds_alternative<bool>(u.value) && std::get<bool>(u.value);
    return out + ";VALUE=BOOLEAN:" + (yes ? "TRUE" : "FALSE");
  }
  const std::string text =
      std::holds_alternative<std::string>(u.value) ? std::get<std::string>(u.value) : "";
  return out + ":" + XEscape(text);
}

std::string UserRecord(const UserProp& u) {
  return (u.type == OlUserPropertyType::YesNo ? "yesno=" : "text=") + CanonicalValue(u.value);
}

std::string RenderLink(const LinkRef& l) {
  return std::string(kLinkName) + ":" + XEscape(l.entryId) + ";" + XEscape(l.name);
}

// --- Writing -----------------------------------------------------------------

void Fold(std::string& out, std::string_view line) {
  if (line.size() <= 75) {
    out.append(line);
    out += "\r\n";
    return;
  }
  std::size_t col = 0;
  for (std::size_t i = 0; i < line.size();) {
    std::size_t len = 1;
    const auto c = static_cast<unsigned char>(line[i]);
    if (c >= 0xF0) {
      len = 4;
    } else if (c >= 0xE0) {
      len = 3;
    } else if (c >= 0xC0) {
      len = 2;
    }
    len = std::min(len, line.size() - i);
    if (col + len > 75) {
      out += "\r\n ";
      col = 1;
    }
    out.append(line.substr(i, len));
    col += len;
    i += len;
  }
  out += "\r\n";
}

}  // namespace

// --- The codec -------------------------------------------------------------

using PropsByName = std::map<std::string, std::vector<icalproperty*>, std::less<>>;

namespace {

class CalendarCodec final : public ItemKindCodec {
 public:
  CalendarCodec(Kind kind, const std::string& zone)
      : kind_(kind), zone_(MakeZone(zone)), slots_(SlotsOf(kind)), mapped_(MappedIds(kind)) {}

  Decoded Decode(std::string_view text, const FindUserDef& defs) const override;
  Encoded Encode(const ItemData& item, std::string_view uid,
                 std::optional<std::chrono::sys_seconds> revision, long sequence) const override;
  void Apply(const ItemData& received, ItemData& item) const override;
  std::string ContentType() const override { return "text/calendar; charset=utf-8"; }
  bool Calendar() const override { return true; }

 private:
  const char* Component() const { return kind_ == Kind::Event ? "VEVENT" : "VTODO"; }
  icalcomponent_kind ComponentKind() const {
    return kind_ == Kind::Event ? ICAL_VEVENT_COMPONENT : ICAL_VTODO_COMPONENT;
  }
  // The object's text (when `text` is given) and the text hashed: without
  // the stamps of the moment and the profile's VTIMEZONE, user properties
  // sorted with their names in upper case.
  // `rendered`, when given, holds each slot's lines for the item's values.
  void Write(const ItemData& item, std::string_view uid,
             std::optional<std::chrono::sys_seconds> revision, long sequence, std::string* text,
             std::string& canonical,
             const std::vector<std::vector<std::string>>* rendered = nullptr) const;
  void DecodeSlots(Reader& reader, PropsByName& props, icalcomponent* alarm, ItemData& data,
                   std::optional<AutoDate> stamp) const;

  Kind kind_;
  Zone zone_;
  std::vector<Slot> slots_;
  std::vector<int> mapped_;
};

// Removes the X-LIC-ERROR libical leaves for a property without a value
// (the property is dropped: it said nothing).
void DropEmptyValueErrors(icalcomponent* c) {
  for (icalproperty* p = icalcomponent_get_first_property(c, ICAL_XLICERROR_PROPERTY); p;) {
    icalproperty* next = icalcomponent_get_next_property(c, ICAL_XLICERROR_PROPERTY);
    const char* m = icalproperty_get_xlicerror(p);
    if (m && std::string_view(m).substr(0, 12) == "No value for") {
      icalcomponent_remove_property(c, p);
      icalproperty_free(p);
    }
    p = next;
  }
  for (icalcomponent* s = icalcomponent_get_first_component(c, ICAL_ANY_COMPONENT); s;
       s = icalcomponent_get_next_component(c, ICAL_ANY_COMPONENT))
    DropEmptyValueErrors(s);
}

// The first X-LIC-ERROR libical left in place of a line it could not read.
const char* ParseError(icalcomponent* c) {
  if (icalproperty* p = icalcomponent_get_first_property(c, ICAL_XLICERROR_PROPERTY)) {
    const char* m = icalproperty_get_xlicerror(p);
    return m ? m : "a line cannot be read";
  }
  for (icalcomponent* s = icalcomponent_get_first_component(c, ICAL_ANY_COMPONENT); s;
       s = icalcomponent_get_next_component(c, ICAL_ANY_COMPONENT))
    if (const char* m = ParseError(s)) return m;
  return nullptr;
}

long long DurationSeconds(icalproperty* p, const std::string& what) {
  const icaldurationtype d = icalproperty_get_duration(p);
  if (icaldurationtype_is_bad_duration(d)) throw ICalError(what + " cannot be read");
  const long long s = ((static_cast<long long>(d.weeks) * 7 + d.days) * 24 * 3600) +
                      static_cast<long long>(d.hours) * 3600 + d.minutes * 60LL + d.seconds;
  return d.is_neg ? -s : s;
}

AutoDate Plus(AutoDate d, long long seconds) {
  return AutoDate::FromSeconds(d.Seconds() + seconds);
}

void CalendarCodec::DecodeSlots(Reader& reader, PropsByName& props, icalcomponent* alarm,
                                ItemData& data, std::optional<AutoDate> stamp) const {
  const Ids& i = TheIds();
  auto first = [&](const char* name) -> icalproperty* {
    auto it = props.find(std::string_view(name));
    return it == props.end() || it->second.empty() ? nullptr : it->second[0];
  };
  auto text = [&](const char* name, int id) {
    if (icalproperty* p = first(name)) {
      icalvalue* v = icalproperty_get_value(p);
      const char* t = v && icalvalue_isa(v) == ICAL_TEXT_VALUE ? icalvalue_get_text(v) : nullptr;
      Put(data, id, ToOutlook(TextForICal(t ? t : UnescapeText(RawValue(p)))));
    }
  };
  text("SUMMARY", i.subject);
  text("DESCRIPTION", i.body);
  if (kind_ == Kind::Event) text("LOCATION", i.location);

  // Categories: every CATEGORIES line, in order.
  {
    std::string joined;
    for (icalproperty* p : props["CATEGORIES"])
      for (const auto& n : SplitCategories(UnescapeText(RawValue(p))))
        joined += (joined.empty() ? "" : ", ") + n;
    Put(data, i.categories, joined);
  }

  if (icalproperty* p = first("CLASS")) {
    const std::string v = Upper(RawValue(p));
    std::int64_t sensitivity = 2;  // an unknown class counts as private
    if (v == "PUBLIC") sensitivity = 0;
    if (v == "X-PERSONAL") sensitivity = 1;
    if (v == "CONFIDENTIAL") sensitivity = 3;
    Put(data, i.sensitivity, sensitivity);
  }
  if (icalproperty* p = first("PRIORITY")) {
    const int priority = icalproperty_get_priority(p);
    std::int64_t importance = 1;
    if (priority >= 1 && priority <= 4) importance = 2;
    if (priority >= 6) importance = 0;
    Put(data, i.importance, importance);
  }

  if (kind_ == Kind::Event) {
    icalproperty* dtstart = first("DTSTART");
    if (!dtstart) throw ICalError("the VEVENT has no DTSTART");
    const Time start = reader.Read(dtstart, "DTSTART");
    AutoDate end = start.local;
    if (icalproperty* p = first("DTEND")) {
      const Time e = reader.Read(p, "DTEND");
      if (e.date != start.date)
        throw ICalError("DTEND and DTSTART are not both dates or both times");
      if (e.local < start.local) throw ICalError("DTEND is before DTSTART");
      end = e.local;
    } else if (icalproperty* p = first("DURATION")) {
      const long long s = DurationSeconds(p, "DURATION");
      if (s < 0) throw ICalError("DURATION is negative");
      end = Plus(start.local, s);
      if (end > kLast) throw ICalError("the event ends after the year 4500");
    } else if (start.date) {
      end = AutoDate(start.local.Value() + 1);
    }
    if (start.date && end.Day() <= start.local.Day()) end = AutoDate(start.local.Value() + 1);
    Put(data, i.start, start.local);
    Put(data, i.end, end);
    Put(data, i.allDay, start.date);

    std::int64_t busy = 2;
    if (icalproperty* p = first("TRANSP")) busy = Upper(RawValue(p)) == "TRANSPARENT" ? 0 : 2;
    if (icalproperty* p = first("X-MICROSOFT-CDO-BUSYSTATUS")) {
      const std::string v = Upper(UnescapeText(RawValue(p)));
      for (std::int64_t b : {0, 1, 2, 3, 4})
        if (v == BusyName(b)) busy = b;
    }
    Put(data, i.busy, busy);

    if (alarm) {
      const icaltriggertype trigger =
          icalproperty_get_trigger(icalcomponent_get_first_property(alarm, ICAL_TRIGGER_PROPERTY));
      const long long s = icaldurationtype_as_int(trigger.duration);
      Put(data, i.reminderSet, true);
      Put(data, i.reminderMinutes, static_cast<std::int64_t>(-s / 60));
    }
  } else {
    AutoDate startDate = kNoDate, due = kNoDate;
    if (icalproperty* p = first("DTSTART")) startDate = reader.Read(p, "DTSTART").local.DateOnly();
    if (icalproperty* p = first("DUE")) {
      due = reader.Read(p, "DUE").local.DateOnly();
    } else if (icalproperty* p = first("DURATION"); p && !startDate.IsNoDate()) {
      const long long s = DurationSeconds(p, "DURATION");
      if (s < 0) throw ICalError("DURATION is negative");
      due = Plus(startDate, s).DateOnly();
      if (due > kLast) throw ICalError("the task is due after the year 4500");
    }
    if (!startDate.IsNoDate() && !due.IsNoDate() && due < startDate)
      throw ICalError("DUE is before DTSTART");
    Put(data, i.startDate, startDate);
    Put(data, i.dueDate, due);

    // Status, percent and completion move together, as in the store.
    std::int64_t status = 0;
    bool hasStatus = false;
    if (icalproperty* p = first("STATUS")) {
      hasStatus = true;
      const std::string v = Upper(RawValue(p));
      if (v == "IN-PROCESS") status = 1;
      if (v == "COMPLETED") status = 2;
      if (v == "CANCELLED") status = 4;
    }
    if (icalproperty* p = first(std::string(kStatusName).c_str())) {
      const std::string v = RawValue(p);
      if (v.size() == 1 && v[0] >= '0' && v[0] <= '4' &&
          std::string_view(StatusName(v[0] - '0')) == StatusName(status))
        status = v[0] - '0';
    }
    std::int64_t percent = 0;
    if (icalproperty* p = first("PERCENT-COMPLETE"))
      percent = std::clamp<std::int64_t>(icalproperty_get_percentcomplete(p), 0, 100);
    std::optional<AutoDate> completed;
    if (icalproperty* p = first("COMPLETED")) completed = reader.Read(p, "COMPLETED").local;
    const bool done = hasStatus ? status == 2 : percent == 100 || completed.has_value();
    if (done) {
      Put(data, i.status, std::int64_t{2});
      Put(data, i.percent, std::int64_t{100});
      Put(data, i.complete, true);
      Put(data, i.dateCompleted, completed.value_or(stamp.value_or(kNoDate)));
    } else {
      Put(data, i.status, status);
      Put(data, i.percent, percent >= 100 ? 0 : percent);
    }

    for (const auto& [id, name] : i.own) {
      icalproperty* p = first((std::string(kOwnPrefix) + name).c_str());
      if (!p) continue;
      const std::string v = UnescapeText(RawValue(p));
      if (outlook::Property(id).type == outlook::ValueType::Integer) {
        char* endp = nullptr;
        const long long n = std::strtoll(v.c_str(), &endp, 10);
        if (!v.empty() && endp && *endp == '\0' && std::abs(n) < (1LL << 53))
          Put(data, id, static_cast<std::int64_t>(n));
      } else {
        Put(data, id, ToOutlook(TextForICal(v)));
      }
    }

    if (alarm) {
      icalproperty* tp = icalcomponent_get_first_property(alarm, ICAL_TRIGGER_PROPERTY);
      const icaltriggertype trigger = icalproperty_get_trigger(tp);
      std::optional<AutoDate> at;
      if (!icaltime_is_null_time(trigger.time)) {
        at = icaltime_is_utc(trigger.time) ? reader.Local(trigger.time) : AutoOf(trigger.time);
      } else {
        const long long s = icaldurationtype_as_int(trigger.duration);
        icalparameter* rel = icalproperty_get_first_parameter(tp, ICAL_RELATED_PARAMETER);
        const AutoDate base =
            rel && icalparameter_get_related(rel) == ICAL_RELATED_END ? due : startDate;
        if (!base.IsNoDate()) at = Plus(base, s);
      }
      if (at && *at >= kFirst && *at <= kLast) {
        Put(data, i.reminderSet, true);
        Put(data, i.reminderTime, *at);
      }
    }
  }
}

ItemKindCodec::Decoded CalendarCodec::Decode(std::string_view text, const FindUserDef& defs) const {
  if (text.size() > kMaxObjectBytes) throw ICalError("the calendar object is larger than 4 MB");
  if (text.find('\0') != std::string_view::npos)
    throw ICalError("the calendar object holds a NUL character");
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);  // a byte order mark
  const RawText raw = ScanText(text, Component());
  const std::vector<std::string>& rawLines = raw.itemLines;
  const std::string buffer(text);
  ComponentPtr root(icalparser_parse_string(buffer.c_str()));
  if (!root) throw ICalError("the text is not an iCalendar object");
  if (icalcomponent_isa(root.get()) != ICAL_VCALENDAR_COMPONENT)
    throw ICalError("the text is not one VCALENDAR");
  DropEmptyValueErrors(root.get());
  if (const char* error = ParseError(root.get()))
    throw ICalError(std::string("the calendar object does not parse: ") + error);
  icalcomponent* cal = root.get();

  // The item: the first component of the folder's kind without RECURRENCE-ID.
  icalcomponent* master = nullptr;
  bool exceptions = false;
  bool other = false;
  for (icalcomponent* c = icalcomponent_get_first_component(cal, ICAL_ANY_COMPONENT); c;
       c = icalcomponent_get_next_component(cal, ICAL_ANY_COMPONENT)) {
    const icalcomponent_kind k = icalcomponent_isa(c);
    if (k == ComponentKind()) {
      const bool occurrence = icalcomponent_get_first_property(c, ICAL_RECURRENCEID_PROPERTY);
      if (!occurrence && !master) master = c;
      if (occurrence) exceptions = true;
    } else if (k == ICAL_VEVENT_COMPONENT || k == ICAL_VTODO_COMPONENT) {
      other = true;
    }
  }
  if (!master) master = icalcomponent_get_first_component(cal, ComponentKind());
  if (!master) {
    if (other)
      throw OtherComponentError(std::string("the calendar object is a ") +
                                (kind_ == Kind::Event ? "VTODO (a task), not a VEVENT"
                                                      : "VEVENT (an event), not a VTODO"));
    throw ICalError("the calendar object holds no VEVENT or VTODO");
  }

  Decoded out;
  ItemData& data = out.data;
  std::string& kept = data.serverKept;

  // The VCALENDAR's own lines and its other components.
  for (icalproperty* p = icalcomponent_get_first_property(cal, ICAL_ANY_PROPERTY); p;
       p = icalcomponent_get_next_property(cal, ICAL_ANY_PROPERTY)) {
    const std::string name = PropName(p);
    if (name != "VERSION" && name != "PRODID") AddKept(kept, "C", "", LinesOf(p));
  }
  // The components as received when they line up with libical's reading
  // (so that they read back the same), else as libical writes them; the X-
  // components, which libical drops, as received.
  std::vector<icalcomponent*> components;
  for (icalcomponent* c = icalcomponent_get_first_component(cal, ICAL_ANY_COMPONENT); c;
       c = icalcomponent_get_next_component(cal, ICAL_ANY_COMPONENT))
    components.push_back(c);
  std::vector<const RawBlock*> blocks;
  for (const RawBlock& b : raw.components) blocks.push_back(&b);
  const auto rawComponents = LineUp(components, blocks);
  bool masterLinesUp = false;
  for (icalcomponent* c : components) {
    const auto r = rawComponents.find(c);
    if (c == master) {
      masterLinesUp = r != rawComponents.end() && r->second == &raw.components[raw.item].lines;
      continue;
    }
    if (icalcomponent_isa(c) == ICAL_VTIMEZONE_COMPONENT) {
      icalproperty* id = icalcomponent_get_first_property(c, ICAL_TZID_PROPERTY);
      const char* tzid = id ? icalproperty_get_tzid(id) : nullptr;
      if (tzid && tzid == zone_.name) continue;  // the profile's zone: written anew
    }
    const auto lines = r != rawComponents.end() ? *r->second : LinesOf(c);
    if (!lines.empty()) AddKept(kept, "C", "", lines);
  }
  for (const RawBlock& b : raw.components)
    if (StartsWithNoCase(b.name, "X-")) AddKept(kept, "C", "", b.lines);

  // The item's lines: the caller's, the mapped slots', the user properties'
  // and the rest.
  PropsByName props;
  // Each slot's received lines: a property (with its line as received when
  // the text lines up with libical's reading) or the alarm's component.
  struct Received {
    icalproperty* p = nullptr;
    icalcomponent* c = nullptr;
    const std::vector<std::string>* raw = nullptr;
  };
  std::map<std::string, std::vector<Received>, std::less<>> slotLines;
  // Each property's lines as received, when the text lines up with
  // libical's reading: one line each, but libical makes several properties
  // of one line of a list (CATEGORIES:a,b), so a run of properties of such
  // a name takes the run of lines of that name (the first property holds
  // them, the others none).
  std::map<icalproperty*, std::vector<std::string>> rawOf;
  {
    std::vector<icalproperty*> all;
    for (icalproperty* p = icalcomponent_get_first_property(master, ICAL_ANY_PROPERTY); p;
         p = icalcomponent_get_next_property(master, ICAL_ANY_PROPERTY))
      all.push_back(p);
    bool aligned = true;
    std::size_t j = 0;
    for (std::size_t i = 0; i < all.size() && aligned;) {
      const icalproperty_kind kind = icalproperty_isa(all[i]);
      const std::string name = PropName(all[i]);
      const bool list = kind == ICAL_CATEGORIES_PROPERTY || kind == ICAL_RESOURCES_PROPERTY ||
                        kind == ICAL_EXDATE_PROPERTY || kind == ICAL_RDATE_PROPERTY;
      std::size_t props = 1, lines = 1;
      if (list) {
        while (i + props < all.size() && icalproperty_isa(all[i + props]) == kind) ++props;
        while (j + lines < rawLines.size() && LineNamed(rawLines[j + lines], name)) ++lines;
      }
      aligned = j + lines <= rawLines.size() && lines <= props;
      for (std::size_t k = 0; aligned && k < lines; ++k) aligned = LineNamed(rawLines[j + k], name);
      if (!aligned) break;
      rawOf[all[i]].assign(rawLines.begin() + static_cast<long>(j),
                           rawLines.begin() + static_cast<long>(j + lines));
      for (std::size_t k = 1; k < props; ++k) rawOf[all[i + k]];
      i += props;
      j += lines;
    }
    if (!masterLinesUp || !aligned || j != rawLines.size()) rawOf.clear();
  }
  std::vector<std::pair<icalproperty*, std::string>> users;  // line, name
  std::vector<icalproperty*> links;
  std::optional<AutoDate> stamp;
  Reader reader(zone_, cal);
  std::vector<std::vector<std::string>> rest;
  // A property's text to keep: as received when the text lines up with
  // libical's reading (so that it reads back the same), else libical's.
  auto keptLines = [&](icalproperty* p) {
    const auto it = rawOf.find(p);
    return it != rawOf.end() ? it->second : LinesOf(p);
  };
  static const std::map<std::string, std::string, std::less<>> eventSlots = {
      {"SUMMARY", "SUMMARY"},
      {"LOCATION", "LOCATION"},
      {"DESCRIPTION", "DESCRIPTION"},
      {"DTSTART", "TIME"},
      {"DTEND", "TIME"},
      {"DURATION", "TIME"},
      {"CATEGORIES", "CATEGORIES"},
      {"TRANSP", "BUSY"},
      {"X-MICROSOFT-CDO-BUSYSTATUS", "BUSY"},
      {"CLASS", "CLASS"},
      {"PRIORITY", "PRIORITY"}};
  static const std::map<std::string, std::string, std::less<>> taskSlots = [] {
    std::map<std::string, std::string, std::less<>> m = {
        {"SUMMARY", "SUMMARY"},      {"DESCRIPTION", "DESCRIPTION"},
        {"DTSTART", "TIME"},         {"DUE", "TIME"},
        {"DURATION", "TIME"},        {"CATEGORIES", "CATEGORIES"},
        {"CLASS", "CLASS"},          {"PRIORITY", "PRIORITY"},
        {"STATUS", "COMPLETION"},    {"PERCENT-COMPLETE", "COMPLETION"},
        {"COMPLETED", "COMPLETION"}, {std::string(kStatusName), "COMPLETION"}};
    for (const auto& [id, name] : TheIds().own)
      m.emplace(std::string(kOwnPrefix) + name, "OL-" + name);
    return m;
  }();
  const auto& mappedNames = kind_ == Kind::Event ? eventSlots : taskSlots;
  std::set<std::string> userNames;
  bool recurring = exceptions;
  for (icalproperty* p = icalcomponent_get_first_property(master, ICAL_ANY_PROPERTY); p;
       p = icalcomponent_get_next_property(master, ICAL_ANY_PROPERTY)) {
    const std::string name = PropName(p);
    if (name == "UID" && !out.uid) {
      // As it can be written back: valid UTF-8 without control characters.
      if (const char* uid = icalproperty_get_uid(p); uid && !TextForICal(uid).empty()) {
        out.uid = UnescapeText(Escape(uid));
        continue;
      }
    }
    if (name == "SEQUENCE") {
      out.sequence = std::max(0, icalproperty_get_sequence(p));
      continue;
    }
    if (name == "LAST-MODIFIED" || name == "DTSTAMP") {
      icaltimetype t =
          name == "LAST-MODIFIED" ? icalproperty_get_lastmodified(p) : icalproperty_get_dtstamp(p);
      const bool ok = !icaltime_is_null_time(t) && t.year >= 1900 && t.year <= 4500 &&
                      t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= 31;
      if (ok) {
        if (!icaltime_is_utc(t)) {  // a floating stamp: the profile's local time
          t.zone = zone_.utc ? nullptr : zone_.tz;
          if (t.zone) t = icaltime_convert_to_zone(t, icaltimezone_get_utc_timezone());
        }
        if (name == "LAST-MODIFIED" && !out.revision) out.revision = SysOf(t);
        if (!stamp || name == "LAST-MODIFIED") stamp = reader.Local(t).DateOnly();
      }
      continue;
    }
    if (const auto slot = mappedNames.find(name); slot != mappedNames.end()) {
      props[name].push_back(p);
      const auto raw = rawOf.find(p);
      slotLines[slot->second].push_back({p, nullptr, raw == rawOf.end() ? nullptr : &raw->second});
      continue;
    }
    if (name == kLinkName) {
      links.push_back(p);
      continue;
    }
    if (StartsWithNoCase(name, kUserPrefix)) {
      const char* x = icalproperty_get_x_name(p);
      const std::string userName = std::string(x ? x : name).substr(kUserPrefix.size());
      if (Travels(userName) && userNames.insert(Upper(userName)).second) {
        users.emplace_back(p, userName);
        continue;
      }
    }
    if (name == "RRULE" || name == "RDATE" || name == "EXRULE") recurring = true;
    if (auto lines = keptLines(p); !lines.empty()) rest.push_back(std::move(lines));
  }
  for (auto& lines : rest) AddKept(kept, "*", "", lines);

  // The reminder: the first alarm that shows or sounds at a time Outlook
  // can hold (for an event: relative to the start).
  icalcomponent* alarm = nullptr;
  for (icalcomponent* c = icalcomponent_get_first_component(master, ICAL_VALARM_COMPONENT); c;
       c = icalcomponent_get_next_component(master, ICAL_VALARM_COMPONENT)) {
    icalproperty* action = icalcomponent_get_first_property(c, ICAL_ACTION_PROPERTY);
    icalproperty* tp = icalcomponent_get_first_property(c, ICAL_TRIGGER_PROPERTY);
    if (!action || !tp) continue;
    const icalproperty_action a = icalproperty_get_action(action);
    if (a != ICAL_ACTION_DISPLAY && a != ICAL_ACTION_AUDIO) continue;
    const icaltriggertype trigger = icalproperty_get_trigger(tp);
    if (kind_ == Kind::Event) {
      icalparameter* rel = icalproperty_get_first_parameter(tp, ICAL_RELATED_PARAMETER);
      if (!icaltime_is_null_time(trigger.time) ||
          (rel && icalparameter_get_related(rel) == ICAL_RELATED_END) ||
          icaldurationtype_is_bad_duration(trigger.duration))
        continue;
      const long long s = icaldurationtype_as_int(trigger.duration);
      if (std::llabs(s) > 366LL * 24 * 3600) continue;
    } else if (!icaltime_is_null_time(trigger.time) &&
               (trigger.time.year < 1900 || trigger.time.year > 4500 ||
                (!icaltime_is_utc(trigger.time) && !trigger.time.is_date &&
                 icalproperty_get_first_parameter(tp, ICAL_TZID_PARAMETER)))) {
      continue;
    }
    alarm = c;
    break;
  }
  std::vector<icalcomponent*> parts;
  for (icalcomponent* c = icalcomponent_get_first_component(master, ICAL_ANY_COMPONENT); c;
       c = icalcomponent_get_next_component(master, ICAL_ANY_COMPONENT))
    parts.push_back(c);
  std::vector<const RawBlock*> partBlocks;
  for (const RawBlock& b : raw.itemParts) partBlocks.push_back(&b);
  const auto rawParts = masterLinesUp ? LineUp(parts, partBlocks)
                                      : std::map<icalcomponent*, const std::vector<std::string>*>();
  for (icalcomponent* c : parts) {
    const auto r = rawParts.find(c);
    const std::vector<std::string>* asReceived = r == rawParts.end() ? nullptr : r->second;
    if (c == alarm) {
      slotLines["ALARM"].push_back({nullptr, c, asReceived});
    } else {
      AddKept(kept, "*", "", asReceived ? *asReceived : LinesOf(c));
    }
  }
  if (masterLinesUp)
    for (const RawBlock& b : raw.itemParts)
      if (StartsWithNoCase(b.name, "X-")) AddKept(kept, "*", "", b.lines);

  DecodeSlots(reader, props, alarm, data, stamp);
  const Ids& ids = TheIds();
  Put(data, ids.recurring, recurring);
  if (kind_ == Kind::Event) Put(data, ids.recurrenceState, std::int64_t{recurring ? 1 : 0});

  // A slot whose received lines are not what its values give is kept as
  // received, for those values.
  std::vector<std::vector<std::string>> rendered;
  for (const Slot& s : slots_) {
    rendered.push_back(Render(kind_, zone_, s, data));
    auto it = slotLines.find(s.key);
    if (it == slotLines.end() || it->second.empty()) continue;
    // The lines as received first (cheap); libical's text of them when those
    // differ, since that is what reads back the same.
    bool same = true;
    std::vector<std::string> asReceived;
    for (const Received& r : it->second) {
      same = same && r.raw;
      if (r.raw) asReceived.insert(asReceived.end(), r.raw->begin(), r.raw->end());
    }
    if (same && asReceived == rendered.back()) continue;
    std::vector<std::string> received, keep;
    for (const Received& r : it->second) {
      const auto lines = r.p ? LinesOf(r.p) : LinesOf(r.c);
      received.insert(received.end(), lines.begin(), lines.end());
      const auto asReceived = r.p ? keptLines(r.p) : r.raw ? *r.raw : lines;
      keep.insert(keep.end(), asReceived.begin(), asReceived.end());
    }
    if (rendered.back() != received) AddKept(kept, s.key, RecordOf(s, data), keep);
  }

  for (const auto& [p, name] : users) {
    const outlook::UserDef* def = defs ? defs(name) : nullptr;
    const std::string value = UnescapeText(RawValue(p));
    const bool wantBool = (def && def->type == OlUserPropertyType::YesNo) ||
                          ParamOf(p, ICAL_VALUE_PARAMETER) == "BOOLEAN";
    const std::string up = Upper(value);
    UserProp u{def ? def->name : name, OlUserPropertyType::Text, ToOutlook(TextForICal(value))};
    if (wantBool && (up == "TRUE" || up == "FALSE")) {
      u.type = OlUserPropertyType::YesNo;
      u.value = up == "TRUE";
    }
    const auto raw = rawOf.find(p);
    if (raw == rawOf.end() || raw->second != std::vector<std::string>{RenderUser(u, false)}) {
      if (std::vector<std::string>{RenderUser(u, false)} != LinesOf(p))
        AddKept(kept, "U:" + Upper(name), UserRecord(u), keptLines(p));
    }
    data.user.push_back(std::move(u));
  }
  // A link: the contact's entry ID, ';' and its name.
  for (icalproperty* p : links) {
    const std::string value = RawValue(p);
    const std::size_t semi = std::min(value.find(';'), value.size());
    LinkRef l{
        TextForICal(UnescapeText(value.substr(0, semi))),
        semi < value.size() ? ToOutlook(TextForICal(UnescapeText(value.substr(semi + 1)))) : ""};
    if (l.entryId.empty() || std::vector<std::string>{RenderLink(l)} != LinesOf(p)) {
      AddKept(kept, "*", "", keptLines(p));
    } else {
      data.links.push_back(std::move(l));
    }
  }

  Write(data, "", std::nullopt, 0, nullptr, out.canonical, &rendered);
  return out;
}

void CalendarCodec::Write(const ItemData& item, std::string_view uid,
                          std::optional<std::chrono::sys_seconds> revision, long sequence,
                          std::string* text, std::string& canonical,
                          const std::vector<std::vector<std::string>>* rendered) const {
  const std::vector<Kept> kept = ReadKept(item.serverKept);
  // The item's component, folded for the text and unfolded for the hash.
  std::string body;
  auto both = [&](std::string_view l) {
    if (text) Fold(body, l);
    canonical.append(l);
    canonical.push_back('\n');
  };
  auto textOnly = [&](std::string& to, std::string_view l) {
    if (text) Fold(to, l);
  };
  textOnly(body, std::string("BEGIN:") + Component());
  if (text) {
    textOnly(body, "UID:" + Escape(uid));
    textOnly(body,
             "DTSTAMP:" + WriteStamp(revision.value_or(std::chrono::floor<std::chrono::seconds>(
                              std::chrono::system_clock::now()))));
    textOnly(body, "SEQUENCE:" + std::to_string(std::max(0L, sequence)));
    if (revision) textOnly(body, "LAST-MODIFIED:" + WriteStamp(*revision));
  }
  std::vector<std::string> alarm;
  for (std::size_t n = 0; n < slots_.size(); ++n) {
    const Slot& s = slots_[n];
    const std::vector<std::string>* keptLines = nullptr;
    std::optional<std::string> record;
    for (const Kept& k : kept) {
      if (k.tag != s.key) continue;
      if (!record) record = RecordOf(s, item);
      if (k.record == *record) {
        keptLines = &k.lines;
        break;
      }
    }
    std::vector<std::string> lines = keptLines  ? *keptLines
                                     : rendered ? (*rendered)[n]
                                                : Render(kind_, zone_, s, item);
    if (s.key == "ALARM") {
      alarm = std::move(lines);
    } else {
      for (const auto& l : lines) both(l);
    }
  }
  std::vector<std::string> users;
  std::set<std::string> seen;
  for (const UserProp& u : item.user) {
    if (!Travels(u.name) || !seen.insert(Upper(u.name)).second) continue;
    const std::string tag = "U:" + Upper(u.name);
    std::optional<std::string> keptLine;
    for (const Kept& k : kept)
      if (k.tag == tag && k.lines.size() == 1 && k.record == UserRecord(u)) keptLine = k.lines[0];
    if (keptLine) {
      textOnly(body, *keptLine);
      users.push_back(*keptLine);
    } else {
      textOnly(body, RenderUser(u, false));
      users.push_back(RenderUser(u, true));
    }
  }
  std::sort(users.begin(), users.end());
  for (const auto& u : users) {
    canonical += u;
    canonical.push_back('\n');
  }
  for (const LinkRef& l : item.links)
    if (!TextForICal(l.entryId).empty() && l.entryId.find(';') == std::string::npos)
      both(RenderLink(l));
  for (const Kept& k : kept)
    if (k.tag == "*" && !k.Component())
      for (const auto& l : k.lines) both(l);
  for (const auto& l : alarm) both(l);
  for (const Kept& k : kept)
    if (k.tag == "*" && k.Component())
      for (const auto& l : k.lines) both(l);
  textOnly(body, std::string("END:") + Component());

  auto kept_ = [&](bool component, bool vtimezone) {
    for (const Kept& k : kept) {
      if (k.tag != "C" || k.Component() != component) continue;
      if (component && StartsWithNoCase(k.lines[0], "BEGIN:VTIMEZONE") != vtimezone) continue;
      for (const auto& l : k.lines) {
        if (text) Fold(*text, l);
        canonical.append(l);
        canonical.push_back('\n');
      }
    }
  };
  if (text) {
    textOnly(*text, "BEGIN:VCALENDAR");
    textOnly(*text, "VERSION:2.0");
    textOnly(*text, std::string("PRODID:") + kProdId);
  }
  kept_(false, false);
  // The profile's VTIMEZONE when a line refers to its zone.
  if (text && !zone_.utc) {
    const std::string ref = ";TZID=" + zone_.name + ":", quoted = ";TZID=\"" + zone_.name + "\":";
    auto refers = [&](const std::string& t) {
      return t.find(ref) != std::string::npos || t.find(quoted) != std::string::npos;
    };
    bool used = refers(body);
    for (const Kept& k : kept)
      if (k.tag == "C" && k.Component() && !StartsWithNoCase(k.lines[0], "BEGIN:VTIMEZONE"))
        for (const auto& l : k.lines) used = used || refers(l);
    if (used)
      for (const auto& l : zone_.vtimezone) Fold(*text, l);
  }
  kept_(true, true);
  if (text) *text += body;
  kept_(true, false);
  if (text) Fold(*text, "END:VCALENDAR");
}

ItemKindCodec::Encoded CalendarCodec::Encode(const ItemData& item, std::string_view uid,
                                             std::optional<std::chrono::sys_seconds> revision,
                                             long sequence) const {
  const Ids& i = TheIds();
  if (kind_ == Kind::Event && DateOf(item, i.start).IsNoDate())
    throw ICalError("the appointment has no start");
  for (int id : mapped_) {
    if (outlook::Property(id).type != outlook::ValueType::Date) continue;
    const AutoDate d = DateOf(item, id);
    if (!d.IsNoDate() && (d < kFirst || d > kLast))
      throw ICalError(outlook::Property(id).name + " " + d.Format() +
                      " is outside the years 1900 to 4500");
  }
  Encoded out;
  Write(item, uid, revision, sequence, &out.text, out.canonical);
  return out;
}

void CalendarCodec::Apply(const ItemData& received, ItemData& item) const {
  for (int id : mapped_) {
    if (const PropValue* v = received.Find(id)) {
      item.Put(id, *v);
    } else {
      item.Erase(id);
    }
  }
  if (kind_ == Kind::Event) item.Erase(TheIds().duration);  // follows Start and End again
  std::erase_if(item.user, [](const UserProp& u) { return Travels(u.name); });
  for (const UserProp& u : received.user) item.user.push_back(u);
  item.links = received.links;
  item.serverKept = received.serverKept;
}

}  // namespace

std::unique_ptr<ItemKindCodec> MakeEventCodec(const std::string& zone) {
  return std::make_unique<CalendarCodec>(Kind::Event, zone);
}

std::unique_ptr<ItemKindCodec> MakeTaskCodec(const std::string& zone) {
  return std::make_unique<CalendarCodec>(Kind::Task, zone);
}

}  // namespace velklk::server
