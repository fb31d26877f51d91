#include "server/contact_codec.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <set>

#include "server/vcard.h"

namespace velklk::server {
namespace {

using outlook::ItemData;
using outlook::PropValue;
using outlook::UserProp;

constexpr std::string_view kUserPrefix = "X-VELKLK-";
// Names the slot a line of a group of several slots belongs to (see Assign).
constexpr std::string_view kSlotParam = "X-VELKLK-SLOT";
constexpr int kNoRank = 101;  // of an e-mail address without a preference

// How a property's value holds the Outlook values of its slot.
enum class Shape {
  Name,
  FileAs,
  Org,
  Text,
  Categories,
  Birthday,
  Class,
  Address,
  Email,
  Phone,
  Url
};

// One place for Outlook values in a vCard. Slots of one group take the lines
// of one property and class (TEL of class WORK: the first business number,
// then the second).
struct Slot {
  std::string key;       // names the slot in the kept text and in X-VELKLK-SLOT
  std::string property;  // the vCard property, upper case
  std::string cls;       // the class of lines it takes (Classify)
  Shape shape;
  std::vector<int> ids;            // Outlook properties of the shape's values; -1: none
  std::vector<std::string> types;  // TYPE values written
  bool always = false;             // written even when empty (N and FN)
};

struct Group {
  std::vector<std::size_t> slots;
  bool ranked = false;  // lines taken in the order of their preference (EMAIL)
};

struct Table {
  std::vector<Slot> slots;
  std::vector<Group> groups;
  std::map<std::string, std::size_t> groupOf;  // property + "/" + class -> group
  std::vector<int> slotGroup;
  std::vector<int> ids;  // every mapped Outlook property, in slot order
};

int Id(const char* name) { return *outlook::FindProperty(name); }

const Table& TheTable() {
  static const Table table = [] {
    Table t;
    auto add = [&](std::string key, std::string property, std::string cls, Shape shape,
                   std::vector<const char*> names, std::vector<std::string> types = {}) {
      Slot s{std::move(key), std::move(property), std::move(cls), shape, {}, std::move(types)};
      for (const char* n : names) s.ids.push_back(n ? Id(n) : -1);
      s.always = s.property == "N" || s.property == "FN";
      const std::string gk = s.property + "/" + s.cls;
      auto [it, added] = t.groupOf.emplace(gk, t.groups.size());
      if (added) t.groups.push_back(Group{{}, s.property == "EMAIL"});
      t.groups[it->second].slots.push_back(t.slots.size());
      t.slotGroup.push_back(static_cast<int>(it->second));
      for (int id : s.ids)
        if (id >= 0) t.ids.push_back(id);
      t.slots.push_back(std::move(s));
    };
    add("N", "N", "", Shape::Name, {"LastName", "FirstName", "MiddleName", "Title", "Suffix"});
    add("FN", "FN", "", Shape::FileAs, {"FileAs"});
    add("ORG", "ORG", "", Shape::Org, {"CompanyName", "Department"});
    add("TITLE", "TITLE", "", Shape::Text, {"JobTitle"});
    add("BDAY", "BDAY", "", Shape::Birthday, {"Birthday"});
    const std::vector<const char*> work = {
        "BusinessAddressPostOfficeBox", "BusinessAddressStreet",     "BusinessAddressCity",
        "BusinessAddressState",         "BusinessAddressPostalCode", "BusinessAddressCountry"};
    const std::vector<const char*> home = {"HomeAddressPostOfficeBox", "HomeAddressStreet",
                                           "HomeAddressCity",          "HomeAddressState",
                                           "HomeAddressPostalCode",    "HomeAddressCountry"};
    const std::vector<const char*> other = {nullptr,
                                            "OtherAddressStreet",
                                            "OtherAddressCity",
                                            "OtherAddressState",
                                            "OtherAddressPostalCode",
                                            "OtherAddressCountry"};
    add("ADR-WORK", "ADR", "WORK", Shape::Address, work, {"WORK"});
    add("ADR-HOME", "ADR", "HOME", Shape::Address, home, {"HOME"});
    add("ADR-OTHER", "ADR", "", Shape::Address, other);
    add("TEL-WORK", "TEL", "WORK", Shape::Phone, {"BusinessTelephoneNumber"}, {"WORK", "VOICE"});
    add("TEL-WORK2", "TEL", "WORK", Shape::Phone, {"Business2TelephoneNumber"}, {"WORK", "VOICE"});
    add("TEL-WORK-FAX", "TEL", "FAX,WORK", Shape::Phone, {"BusinessFaxNumber"}, {"WORK", "FAX"});
    add("TEL-HOME", "TEL", "HOME", Shape::Phone, {"HomeTelephoneNumber"}, {"HOME", "VOICE"});
    add("TEL-HOME2", "TEL", "HOME", Shape::Phone, {"Home2TelephoneNumber"}, {"HOME", "VOICE"});
    add("TEL-HOME-FAX", "TEL", "FAX,HOME", Shape::Phone, {"HomeFaxNumber"}, {"HOME", "FAX"});
    add("TEL-CELL", "TEL", "CELL", Shape::Phone, {"MobileTelephoneNumber"}, {"CELL"});
    add("TEL-PAGER", "TEL", "PAGER", Shape::Phone, {"PagerNumber"}, {"PAGER"});
    add("TEL-CAR", "TEL", "CAR", Shape::Phone, {"CarTelephoneNumber"}, {"CAR"});
    add("TEL-OTHER", "TEL", "", Shape::Phone, {"OtherTelephoneNumber"}, {"VOICE"});
    add("TEL-OTHER-FAX", "TEL", "FAX", Shape::Phone, {"OtherFaxNumber"}, {"FAX"});
    add("EMAIL1", "EMAIL", "", Shape::Email, {"Email1Address"}, {"INTERNET", "PREF"});
    add("EMAIL2", "EMAIL", "", Shape::Email, {"Email2Address"}, {"INTERNET"});
    add("EMAIL3", "EMAIL", "", Shape::Email, {"Email3Address"}, {"INTERNET"});
    add("URL-WORK", "URL", "WORK", Shape::Url, {"BusinessHomePage"}, {"WORK"});
    add("URL-HOME", "URL", "HOME", Shape::Url, {"PersonalHomePage"}, {"HOME"});
    add("URL", "URL", "", Shape::Url, {"WebPage"});
    add("CATEGORIES", "CATEGORIES", "", Shape::Categories, {"Categories"});
    add("CLASS", "CLASS", "", Shape::Class, {"Sensitivity"});
    add("NOTE", "NOTE", "", Shape::Text, {"Body"});
    return t;
  }();
  return table;
}

// --- Values -------------------------------------------------------------

std::string UpperName(std::string_view name) {
  std::string out(name);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// vCard line breaks are "\n"; Outlook's are "\r\n".
std::string ToOutlook(std::string text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '\n') out.push_back('\r');
    out.push_back(c);
  }
  return out;
}

std::string Text(const PropValue& v) {
  return std::holds_alternative<std::string>(v) ? std::get<std::string>(v) : std::string();
}

// A URI written as it is: what a vCard cannot hold (line breaks, control
// characters, bytes that are not UTF-8) is left out.
std::string Uri(std::string_view text) {
  std::string out;
  for (char c : UnescapeText(EscapeText(text)))
    if (c != '\n') out.push_back(c);
  return out;
}

std::string Join(const std::vector<std::string>& values, std::string_view sep) {
  std::string out;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i > 0) out += sep;
    out += values[i];
  }
  return out;
}

std::string Trim(std::string_view s) {
  const auto b = s.find_first_not_of(" \t");
  if (b == std::string_view::npos) return {};
  return std::string(s.substr(b, s.find_last_not_of(" \t") - b + 1));
}

std::string Component(const std::vector<std::vector<std::string>>& parts, std::size_t i) {
  return i < parts.size() ? ToOutlook(Join(parts[i], ",")) : std::string();
}

std::optional<AutoDate> ReadDate(std::string_view v) {
  std::string iso;
  if (v.size() >= 10 && v[4] == '-' && v[7] == '-') {
    iso = v.substr(0, 10);
    v.remove_prefix(10);
  } else if (v.size() >= 8 &&
             v.substr(0, 8).find_first_not_of("0123456789") == std::string_view::npos) {
    iso = std::string(v.substr(0, 4)) + "-" + std::string(v.substr(4, 2)) + "-" +
          std::string(v.substr(6, 2));
    v.remove_prefix(8);
  } else {
    return std::nullopt;
  }
  if (!v.empty() && v[0] != 'T') return std::nullopt;  // a time of day is left aside
  return AutoDate::Parse(iso);
}

// A property a vCard has once (N, ORG, BDAY, ...), unlike TEL or EMAIL.
bool Single(const Slot& s) {
  return s.shape != Shape::Address && s.shape != Shape::Email && s.shape != Shape::Phone &&
         s.shape != Shape::Url;
}

bool IsDefault(int id, const PropValue& v) {
  return id < 0 || v == outlook::Property(id).defaultValue;
}

// A slot's values as a line gives them; none when the line cannot be mapped.
std::optional<std::vector<PropValue>> DecodeSlot(const Slot& s, const VCardProperty& p) {
  if (p.Param("ENCODING")) return std::nullopt;
  std::vector<PropValue> out;
  switch (s.shape) {
    case Shape::Name: {
      const auto parts = SplitStructured(p.value);
      for (std::size_t i = 0; i < 5; ++i) out.emplace_back(Component(parts, i));
      break;
    }
    case Shape::Org: {
      const auto parts = SplitStructured(p.value);
      out.emplace_back(Component(parts, 0));
      out.emplace_back(Component(parts, 1));
      break;
    }
    case Shape::Address: {
      const auto parts = SplitStructured(p.value);
      std::string street = Component(parts, 2);
      const std::string extended = Component(parts, 1);
      if (!extended.empty()) street += (street.empty() ? "" : "\r\n") + extended;
      out.emplace_back(Component(parts, 0));
      out.emplace_back(std::move(street));
      for (std::size_t i = 3; i < 7; ++i) out.emplace_back(Component(parts, i));
      bool any = false;
      for (std::size_t i = 0; i < out.size(); ++i) {
        if (s.ids[i] < 0) out[i] = std::string();  // no Outlook property: not read
        any = any || !Text(out[i]).empty();
      }
      if (!any) return std::nullopt;
      break;
    }
    case Shape::FileAs:
    case Shape::Text:
      out.emplace_back(ToOutlook(UnescapeText(p.value)));
      break;
    case Shape::Email:
    case Shape::Phone:
    case Shape::Url: {
      std::string v = s.shape == Shape::Url ? p.value : UnescapeText(p.value);
      // A 4.0 number may be a "tel:" URI.
      const VCardParam* type = p.Param("VALUE");
      if (s.shape == Shape::Phone && type && type->values.size() == 1 &&
          UpperName(type->values[0]) == "URI" && UpperName(v.substr(0, 4)) == "TEL:")
        v.erase(0, 4);
      if (Trim(v).empty()) return std::nullopt;
      out.emplace_back(std::move(v));
      break;
    }
    case Shape::Categories: {
      std::vector<std::string> names;
      for (const auto& n : SplitList(p.value))
        if (auto t = Trim(n); !t.empty()) names.push_back(std::move(t));
      out.emplace_back(ToOutlook(Join(names, ", ")));
      break;
    }
    case Shape::Birthday: {
      const auto date = ReadDate(p.value);
      if (!date) return std::nullopt;
      out.emplace_back(*date);
      break;
    }
    case Shape::Class: {
      const std::string v = UpperName(UnescapeText(p.value));
      // An unknown class counts as private, as calendars treat one.
      std::int64_t sensitivity = 2;
      if (v == "PUBLIC") sensitivity = 0;
      if (v == "X-PERSONAL") sensitivity = 1;
      if (v == "CONFIDENTIAL") sensitivity = 3;
      out.emplace_back(sensitivity);
      break;
    }
  }
  return out;
}

// The slot's values of an item; FileAs as the store shows it.
std::vector<PropValue> ValuesOf(const Slot& s, const ItemData& data) {
  std::vector<PropValue> out;
  for (int id : s.ids) {
    if (id < 0) {
      out.emplace_back(std::string());
    } else if (id == outlook::prop::kFileAs) {
      outlook::Record record;
      out.push_back(outlook::Model::Value(record, data, id));
    } else {
      const PropValue* v = data.Find(id);
      out.push_back(v ? *v : outlook::Property(id).defaultValue);
    }
  }
  return out;
}

// Decoded values as the item would show them once applied.
std::vector<PropValue> Shown(const Slot& s, std::vector<PropValue> values, const ItemData& data) {
  if (s.shape == Shape::FileAs && Text(values[0]).empty()) return ValuesOf(s, data);
  return values;
}

bool AllDefault(const Slot& s, const std::vector<PropValue>& values) {
  for (std::size_t i = 0; i < values.size(); ++i)
    if (s.shape == Shape::FileAs ? !Text(values[i]).empty() : !IsDefault(s.ids[i], values[i]))
      return false;
  return true;
}

std::string Structured(const std::vector<std::string>& components) {
  std::vector<std::string> escaped;
  for (const auto& c : components) escaped.push_back(EscapeText(c));
  return Join(escaped, ";");
}

// The line the mapping writes for a slot's values.
VCardProperty Render(const Slot& s, const std::vector<PropValue>& v) {
  VCardProperty p;
  p.name = s.property;
  if (!s.types.empty()) p.params.push_back({"TYPE", s.types});
  switch (s.shape) {
    case Shape::Name:
      p.value = Structured({Text(v[0]), Text(v[1]), Text(v[2]), Text(v[3]), Text(v[4])});
      break;
    case Shape::Org:
      p.value = Text(v[1]).empty() ? EscapeText(Text(v[0])) : Structured({Text(v[0]), Text(v[1])});
      break;
    case Shape::Address:
      p.value =
          Structured({Text(v[0]), "", Text(v[1]), Text(v[2]), Text(v[3]), Text(v[4]), Text(v[5])});
      break;
    case Shape::FileAs:
    case Shape::Text:
    case Shape::Email:
    case Shape::Phone:
      p.value = EscapeText(Text(v[0]));
      break;
    case Shape::Url:
      p.value = Uri(Text(v[0]));
      break;
    case Shape::Categories: {
      std::vector<std::string> names;
      std::string name;
      for (char c : Text(v[0]) + ",") {
        if (c == ',' || c == ';') {
          if (auto t = Trim(name); !t.empty()) names.push_back(EscapeText(t));
          name.clear();
        } else {
          name.push_back(c);
        }
      }
      p.value = Join(names, ",");
      break;
    }
    case Shape::Birthday:
      p.value = std::get<AutoDate>(v[0]).FormatDate();
      break;
    case Shape::Class: {
      static const char* const kClasses[] = {"PUBLIC", "X-PERSONAL", "PRIVATE", "CONFIDENTIAL"};
      const auto n = std::get<std::int64_t>(v[0]);
      p.value = n >= 0 && n <= 3 ? kClasses[n] : "PRIVATE";
      break;
    }
  }
  return p;
}

// Of an e-mail line: 1 for TYPE=PREF, n for PREF=n (1 to 100), else kNoRank.
int Rank(const VCardProperty& p) {
  int rank = kNoRank;
  for (const auto& t : p.Types())
    if (t == "PREF") rank = 1;
  if (const VCardParam* pref = p.Param("PREF"); pref && pref->values.size() == 1) {
    int n = 0;
    if (std::sscanf(pref->values[0].c_str(), "%d", &n) == 1 && n >= 1 && n <= 100)
      rank = std::min(rank, n);
  }
  return rank;
}

// The class of a line: its TYPE values that matter for the property, sorted
// and joined with ','.
std::string Classify(const VCardProperty& p) {
  const bool tel = p.Is("TEL"), adr = p.Is("ADR");
  if (!tel && !adr && !p.Is("URL")) return {};
  std::vector<std::string> types;
  for (auto& t : p.Types()) {
    const bool ignored = t == "PREF" || t == "OTHER" ||
                         (tel && (t == "VOICE" || t == "TEXT" || t == "MSG" || t == "IPHONE")) ||
                         (adr && (t == "POSTAL" || t == "PARCEL" || t == "DOM" || t == "INTL"));
    if (!ignored) types.push_back(std::move(t));
  }
  std::sort(types.begin(), types.end());
  types.erase(std::unique(types.begin(), types.end()), types.end());
  return Join(types, ",");
}

// The group whose slots can take the line; -1 when none can.
int GroupOf(const VCardProperty& p) {
  const Table& t = TheTable();
  auto it = t.groupOf.find(UpperName(p.name) + "/" + Classify(p));
  if (it == t.groupOf.end()) return -1;
  const Slot& first = t.slots[t.groups[it->second].slots[0]];
  return DecodeSlot(first, p) ? static_cast<int>(it->second) : -1;
}

std::optional<std::size_t> SlotByKey(std::string_view key) {
  const auto& slots = TheTable().slots;
  for (std::size_t i = 0; i < slots.size(); ++i)
    if (slots[i].key == key) return i;
  return std::nullopt;
}

// Which line each slot takes: first the lines that name their slot in
// X-VELKLK-SLOT, then the others of each group in order (e-mail addresses in
// the order of their preference) into the free slots. -1: none.
std::vector<int> Assign(const std::vector<VCardProperty>& props, const std::vector<int>& groups) {
  const Table& t = TheTable();
  std::vector<int> slotLine(t.slots.size(), -1);
  std::vector<char> claimed(props.size(), 0);
  for (std::size_t i = 0; i < props.size(); ++i) {
    const VCardParam* claim = groups[i] >= 0 ? props[i].Param(kSlotParam) : nullptr;
    if (!claim || claim->values.size() != 1) continue;
    auto slot = SlotByKey(claim->values[0]);
    if (slot && t.slotGroup[*slot] == groups[i] && slotLine[*slot] < 0) {
      slotLine[*slot] = static_cast<int>(i);
      claimed[i] = 1;
    }
  }
  for (std::size_t g = 0; g < t.groups.size(); ++g) {
    std::vector<std::size_t> lines;
    for (std::size_t i = 0; i < props.size(); ++i)
      if (groups[i] == static_cast<int>(g) && !claimed[i]) lines.push_back(i);
    if (t.groups[g].ranked)
      std::stable_sort(lines.begin(), lines.end(), [&](std::size_t a, std::size_t b) {
        return Rank(props[a]) < Rank(props[b]);
      });
    auto next = lines.begin();
    for (std::size_t slot : t.groups[g].slots)
      if (slotLine[slot] < 0 && next != lines.end()) slotLine[slot] = static_cast<int>(*next++);
  }
  return slotLine;
}

std::vector<int> GroupsOf(const std::vector<VCardProperty>& props) {
  std::vector<int> groups;
  groups.reserve(props.size());
  for (const auto& p : props) groups.push_back(GroupOf(p));
  return groups;
}

// --- User properties ------------------------------------------------------

bool Travels(std::string_view name) {
  if (name.empty()) return false;
  for (char c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_') return false;
  return true;
}

bool IsUserLine(const VCardProperty& p) {
  return p.name.size() > kUserPrefix.size() &&
         UpperName(std::string_view(p.name).substr(0, kUserPrefix.size())) == kUserPrefix;
}

// The value of an X-VELKLK- line: yes/no when it says VALUE=BOOLEAN or the
// caller wants one, and it reads TRUE or FALSE; else text.
std::pair<OlUserPropertyType, PropValue> UserValue(const VCardProperty& p, bool wantBool) {
  const std::string text = UnescapeText(p.value);
  const VCardParam* type = p.Param("VALUE");
  if (type && type->values.size() == 1 && UpperName(type->values[0]) == "BOOLEAN") wantBool = true;
  const std::string up = UpperName(text);
  if (wantBool && (up == "TRUE" || up == "FALSE")) return {OlUserPropertyType::YesNo, up == "TRUE"};
  return {OlUserPropertyType::Text, ToOutlook(text)};
}

VCardProperty RenderUser(const UserProp& u) {
  VCardProperty p;
  p.name = std::string(kUserPrefix) + u.name;
  if (u.type == OlUserPropertyType::YesNo) {
    p.params.push_back({"VALUE", {"BOOLEAN"}});
    p.value = std::holds_alternative<bool>(u.value) && std::get<bool>(u.value) ? "TRUE" : "FALSE";
  } else {
    p.value = EscapeText(Text(u.value));
  }
  return p;
}

// --- The kept text ------------------------------------------------------------
// One entry per line: a tag, a space and a content line. The tag is a slot's
// key (the line as received for that slot), "U:NAME" (the same for a user
// property) or "*" (a line the mapping does not know).

struct Kept {
  std::string tag;
  VCardProperty property;
};

void AddKept(std::string& kept, std::string_view tag, const VCardProperty& p) {
  kept.append(tag);
  kept.push_back(' ');
  kept += p.Line();
  kept.push_back('\n');
}

std::vector<Kept> ReadKept(std::string_view text) {
  std::vector<Kept> out;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    const std::string_view entry = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    const std::size_t space = entry.find(' ');
    if (space == std::string_view::npos) throw VCardError("the kept vCard text is damaged");
    out.push_back({std::string(entry.substr(0, space)), ParseContentLine(entry.substr(space + 1))});
  }
  return out;
}

VCardProperty WithoutSlotParam(VCardProperty p) {
  std::erase_if(p.params, [](const VCardParam& q) { return UpperName(q.name) == kSlotParam; });
  return p;
}

std::string CanonicalValue(const PropValue& v) {
  switch (outlook::TypeOf(v)) {
    case outlook::ValueType::Text: {
      std::string out;
      for (char c : std::get<std::string>(v)) {
        if (c == '\\' || c == '\n' || c == '\r') {
          out.push_back('\\');
          out.push_back(c == '\n' ? 'n' : c == '\r' ? 'r' : '\\');
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
    case outlook::ValueType::Double:
      return std::to_string(std::get<double>(v));
    case outlook::ValueType::Date:
      return std::get<AutoDate>(v).Format();
  }
  return {};
}

// --- REV --------------------------------------------------------------------

std::optional<std::chrono::sys_seconds> ReadRevision(std::string_view v) {
  using namespace std::chrono;
  std::string digits;
  std::size_t i = 0;
  for (; i < v.size() && v[i] != 'T'; ++i)
    if (v[i] != '-') digits.push_back(v[i]);
  if (digits.size() != 8) return std::nullopt;
  std::string time;
  int offset = 0;  // seconds east of UTC
  if (i < v.size()) {
    ++i;
    for (; i < v.size() && v[i] != 'Z' && v[i] != '+' && v[i] != '-' && v[i] != '.'; ++i)
      if (v[i] != ':') time.push_back(v[i]);
    while (i < v.size() && (v[i] == '.' || std::isdigit(static_cast<unsigned char>(v[i])))) ++i;
    if (i < v.size() && (v[i] == '+' || v[i] == '-')) {
      std::string zone;
      for (std::size_t k = i + 1; k < v.size(); ++k)
        if (v[k] != ':') zone.push_back(v[k]);
      if (zone.size() != 4 || zone.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
      offset = (std::stoi(zone.substr(0, 2)) * 60 + std::stoi(zone.substr(2))) * 60;
      if (v[i] == '-') offset = -offset;
    } else if (i < v.size() && (v[i] != 'Z' || i + 1 != v.size())) {
      return std::nullopt;
    }
  }
  if (time.empty()) time = "000000";
  const std::string all = digits + time;
  if (time.size() != 6 || all.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  const year_month_day ymd{year(std::stoi(all.substr(0, 4))),
                           month(static_cast<unsigned>(std::stoi(all.substr(4, 2)))),
                           day(static_cast<unsigned>(std::stoi(all.substr(6, 2))))};
  const int h = std::stoi(all.substr(8, 2)), m = std::stoi(all.substr(10, 2)),
            s = std::stoi(all.substr(12, 2));
  if (!ymd.ok() || h > 23 || m > 59 || s > 60) return std::nullopt;
  return sys_seconds(sys_days(ymd)) + hours(h) + minutes(m) + seconds(s) - seconds(offset);
}

std::string WriteRevision(std::chrono::sys_seconds t) {
  using namespace std::chrono;
  const auto day = floor<days>(t);
  const year_month_day ymd(day);
  const hh_mm_ss hms(t - day);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d%02u%02uT%02d%02d%02dZ", static_cast<int>(ymd.year()),
                static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                static_cast<int>(hms.hours().count()), static_cast<int>(hms.minutes().count()),
                static_cast<int>(hms.seconds().count()));
  return buf;
}

}  // namespace

// ---------------------------------------------------------------- decoding

ReceivedContact DecodeContact(std::string_view text, const FindUserDef& defs) {
  const Table& t = TheTable();
  VCard card = ParseVCard(text);
  const auto& props = card.properties;
  ReceivedContact out;
  ItemData& data = out.data;

  // UID and REV are the caller's; X-VELKLK- lines are user properties.
  std::vector<char> done(props.size(), 0);
  std::vector<int> groups(props.size(), -1);
  for (std::size_t i = 0; i < props.size(); ++i) {
    const VCardProperty& p = props[i];
    if (p.Is("UID") && !out.uid && !UnescapeText(p.value).empty()) {
      out.uid = UnescapeText(p.value);
      done[i] = 1;
    } else if (p.Is("REV")) {  // every write has its own
      if (!out.revision) out.revision = ReadRevision(p.value);
      done[i] = 1;
    } else if (!IsUserLine(p)) {
      groups[i] = GroupOf(p);
    }
  }

  const std::vector<int> slotLine = Assign(props, groups);
  std::vector<std::vector<PropValue>> values(t.slots.size());
  for (std::size_t s = 0; s < t.slots.size(); ++s) {
    if (slotLine[s] < 0) continue;
    values[s] = *DecodeSlot(t.slots[s], props[slotLine[s]]);
    const Slot& slot = t.slots[s];
    for (std::size_t k = 0; k < slot.ids.size(); ++k)
      if (slot.shape != Shape::FileAs && !IsDefault(slot.ids[k], values[s][k]))
        data.Put(slot.ids[k], values[s][k]);
  }
  // FileAs only when it is not what the names give.
  for (std::size_t s = 0; s < t.slots.size(); ++s) {
    if (t.slots[s].shape != Shape::FileAs || slotLine[s] < 0) continue;
    const std::string& fileAs = std::get<std::string>(values[s][0]);
    if (!fileAs.empty() && Text(ValuesOf(t.slots[s], data)[0]) != fileAs)
      data.Put(outlook::prop::kFileAs, fileAs);
  }

  std::string& kept = data.serverKept;
  for (std::size_t s = 0; s < t.slots.size(); ++s) {
    if (slotLine[s] < 0) continue;
    done[slotLine[s]] = 1;
    const VCardProperty line = WithoutSlotParam(props[slotLine[s]]);
    if (Render(t.slots[s], ValuesOf(t.slots[s], data)).NormalLine() != line.NormalLine())
      AddKept(kept, t.slots[s].key, line);
  }

  std::set<std::string> users;
  for (std::size_t i = 0; i < props.size(); ++i) {
    const VCardProperty& p = props[i];
    if (done[i] || !IsUserLine(p)) continue;
    const std::string name = p.name.substr(kUserPrefix.size());
    if (!Travels(name) || p.Param("ENCODING") || !users.insert(UpperName(name)).second) continue;
    done[i] = 1;
    const outlook::UserDef* def = defs ? defs(name) : nullptr;
    auto [type, value] = UserValue(p, def && def->type == OlUserPropertyType::YesNo);
    data.user.push_back(UserProp{def ? def->name : name, type, std::move(value)});
    if (RenderUser(data.user.back()).NormalLine() != p.NormalLine())
      AddKept(kept, "U:" + UpperName(name), p);
  }

  // The rest as received. A line of a single slot that the mapping cannot
  // read (a birthday without a year) stands for that slot while it is empty.
  // The display name is never empty while there are names: a card whose FN
  // cannot be read (an unknown encoding) gets the FN the names give, as the
  // writer would write it, and its own is dropped.
  for (std::size_t i = 0; i < props.size(); ++i) {
    if (done[i]) continue;
    std::string tag = "*";
    bool superseded = false;
    if (groups[i] < 0) {
      for (std::size_t s = 0; s < t.slots.size(); ++s)
        if (slotLine[s] < 0 && Single(t.slots[s]) && props[i].Is(t.slots[s].property)) {
          tag = t.slots[s].key;
          superseded = !AllDefault(t.slots[s], ValuesOf(t.slots[s], data));
        }
    }
    if (!superseded) AddKept(kept, tag, props[i]);
  }
  out.canonical = CanonicalText(data);
  return out;
}

// ---------------------------------------------------------------- encoding

namespace {

struct Written {
  std::vector<VCardProperty> props;
  std::vector<int> slotLine;  // the line each slot should take when read again
};

Written Build(const ItemData& item, const std::vector<Kept>& kept, bool claimAll) {
  const Table& t = TheTable();
  Written w;
  w.slotLine.assign(t.slots.size(), -1);
  std::set<const VCardProperty*> standing;  // kept lines that stand for an empty slot
  std::map<std::string_view, std::vector<const Kept*>> byTag;
  for (const Kept& k : kept) byTag[k.tag].push_back(&k);
  const auto tagged = [&](std::string_view tag) {
    auto it = byTag.find(tag);
    return it == byTag.end() ? std::vector<const Kept*>() : it->second;
  };
  for (const Group& g : t.groups) {
    bool gap = false;
    int maxRank = 0;
    for (std::size_t s : g.slots) {
      const Slot& slot = t.slots[s];
      const std::vector<PropValue> values = ValuesOf(slot, item);
      std::optional<VCardProperty> line;
      std::vector<const VCardProperty*> standIns;
      for (const Kept* k : tagged(slot.key)) {
        if (auto v = DecodeSlot(slot, k->property); v && GroupOf(k->property) == t.slotGroup[s]) {
          if (!line && Shown(slot, std::move(*v), item) == values) line = k->property;
        } else {
          standIns.push_back(&k->property);
        }
      }
      const bool empty = AllDefault(slot, values);
      if (!line && empty && !standIns.empty()) {  // written with the other kept lines
        standing.insert(standIns.begin(), standIns.end());
        gap = true;
        continue;
      }
      // An empty single slot whose property another kept line has (a second
      // NOTE the reader kept as received) is written empty all the same:
      // without it, that line would take the slot when the card is read again.
      const auto claimed = [&] {
        if (!Single(slot)) return false;
        for (const Kept& k : kept)
          if (k.tag == "*" && k.property.Is(slot.property)) return true;
        return false;
      };
      if (!line && (!empty || slot.always || claimed())) line = Render(slot, values);
      if (!line) {
        gap = true;
        continue;
      }
      if (g.slots.size() > 1) {
        const int rank = g.ranked ? Rank(*line) : 0;
        if (claimAll || gap || rank < maxRank)
          line->params.push_back({std::string(kSlotParam), {slot.key}});
        maxRank = std::max(maxRank, rank);
      }
      w.slotLine[s] = static_cast<int>(w.props.size());
      w.props.push_back(std::move(*line));
    }
  }
  std::set<std::string> users;
  for (const UserProp& u : item.user) {
    if (!Travels(u.name) || !users.insert(UpperName(u.name)).second) continue;
    const std::string tag = "U:" + UpperName(u.name);
    std::optional<VCardProperty> line;
    if (const auto found = tagged(tag); !found.empty()) {
      auto [type, value] = UserValue(found[0]->property, u.type == OlUserPropertyType::YesNo);
      if (type == u.type && value == u.value) line = found[0]->property;
    }
    w.props.push_back(line ? *line : RenderUser(u));
  }
  for (const Kept& k : kept)
    if (k.tag == "*" || standing.count(&k.property)) w.props.push_back(k.property);
  return w;
}

}  // namespace

EncodedContact EncodeContact(const ItemData& item, std::string_view uid,
                             std::optional<std::chrono::sys_seconds> revision) {
  const std::vector<Kept> kept = ReadKept(item.serverKept);
  Written w = Build(item, kept, false);
  // Each slot must read back from its own line; where the order alone does
  // not say so, every line names its slot.
  if (Assign(w.props, GroupsOf(w.props)) != w.slotLine) w = Build(item, kept, true);
  VCard card;
  card.version = "3.0";
  // The UID first: a second one that another client wrote is kept after it.
  card.properties.push_back({"", "UID", {}, EscapeText(uid)});
  for (auto& p : w.props) card.properties.push_back(std::move(p));
  if (revision) card.properties.push_back({"", "REV", {}, WriteRevision(*revision)});
  EncodedContact out;
  out.text = WriteVCard(card);
  out.canonical = DecodeContact(out.text).canonical;
  return out;
}

void ApplyContact(const ItemData& received, ItemData& item) {
  for (int id : TheTable().ids) {
    if (const PropValue* v = received.Find(id)) {
      item.Put(id, *v);
    } else {
      item.Erase(id);
    }
  }
  std::erase_if(item.user, [](const UserProp& u) { return Travels(u.name); });
  for (const UserProp& u : received.user) item.user.push_back(u);
  item.serverKept = received.serverKept;
}

std::string CanonicalText(const ItemData& mapped) {
  std::string out;
  for (int id : TheTable().ids)
    if (const PropValue* v = mapped.Find(id))
      out += outlook::Property(id).name + "=" + CanonicalValue(*v) + "\n";
  std::vector<std::string> users;
  for (const UserProp& u : mapped.user)
    users.push_back(std::string(kUserPrefix) + UpperName(u.name) +
                    (u.type == OlUserPropertyType::YesNo ? ":yesno=" : ":text=") +
                    CanonicalValue(u.value) + "\n");
  std::sort(users.begin(), users.end());
  for (const auto& u : users) out += u;
  out += mapped.serverKept;
  return out;
}

std::string UidOfEntryId(std::string_view entryId) {
  const bool hex = !entryId.empty() &&
                   entryId.find_first_not_of("0123456789ABCDEFabcdef") == std::string_view::npos;
  if (hex) return std::string(entryId);
  static const char* const kDigits = "0123456789ABCDEF";
  std::string out = "X";
  for (unsigned char c : entryId) {
    out.push_back(kDigits[c >> 4]);
    out.push_back(kDigits[c & 15]);
  }
  return out;
}

std::string ResourceNameOfEntryId(std::string_view entryId) {
  return UidOfEntryId(entryId) + ".vcf";
}

}  // namespace velklk::server
