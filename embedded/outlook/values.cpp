#include "outlook/values.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <unordered_map>

#include "platform/automation_error.h"
#include "platform/text_case.h"

namespace velklk::outlook {
namespace {

constexpr std::uint32_t Bit(ItemKind k) { return 1u << static_cast<unsigned>(k); }
constexpr std::uint32_t kAll = 0x1F;
constexpr std::uint32_t kContact = Bit(ItemKind::Contact);
constexpr std::uint32_t kAppt = Bit(ItemKind::Appointment);
constexpr std::uint32_t kTask = Bit(ItemKind::Task);
constexpr std::uint32_t kDist = Bit(ItemKind::DistList);
constexpr std::uint32_t kMail = Bit(ItemKind::Mail);

struct Table {
  std::vector<PropertyDef> defs;
  std::unordered_map<std::string, int> byKey;  // IdentifierKey of the name
  std::vector<std::vector<int>> perKind{5};

  int Add(std::string name, ValueType type, std::uint32_t kinds, PropRole role = PropRole::Stored,
          std::optional<PropValue> def = std::nullopt) {
    PropValue value;
    if (def) {
      value = *def;
    } else {
      switch (type) {
        case ValueType::Text:
          value = std::string();
          break;
        case ValueType::Bool:
          value = false;
          break;
        case ValueType::Integer:
          value = std::int64_t{0};
          break;
        case ValueType::Double:
          value = 0.0;
          break;
        case ValueType::Date:
          value = kNoDate;
          break;
      }
    }
    const int id = static_cast<int>(defs.size());
    byKey.emplace(IdentifierKey(name), id);
    defs.push_back(PropertyDef{std::move(name), type, std::move(value), role, kinds});
    for (unsigned k = 0; k < 5; ++k)
      if (kinds & (1u << k)) perKind[k].push_back(id);
    return id;
  }
  void Texts(std::initializer_list<const char*> names, std::uint32_t kinds) {
    for (const char* n : names) Add(n, ValueType::Text, kinds);
  }
};

Table& BuildTable();

Table& TheTable() {
  static Table& table = BuildTable();
  return table;
}

struct Ids {
  int cls, entryId, messageClass, lastMod, creation, fileAs, fullName, firstName, middleName,
      lastName, suffix, companyName, duration, start, end, memberCount;
};
Ids g_ids;

Table& BuildTable() {
  static Table t;
  using V = ValueType;
  // Read-only values kept by the store.
  g_ids.cls = t.Add("Class", V::Integer, kAll, PropRole::ReadOnly);
  g_ids.entryId = t.Add("EntryID", V::Text, kAll, PropRole::ReadOnly);
  g_ids.messageClass = t.Add("MessageClass", V::Text, kAll, PropRole::ReadOnly);
  g_ids.lastMod = t.Add("LastModificationTime", V::Date, kAll, PropRole::ReadOnly);
  g_ids.creation = t.Add("CreationTime", V::Date, kAll, PropRole::ReadOnly);
  // Every kind.
  t.Texts({"Subject", "Body", "Categories", "BillingInformation", "Mileage", "Companies"}, kAll);
  t.Add("Sensitivity", V::Integer, kAll);
  t.Add("Importance", V::Integer, kAll, PropRole::Stored, PropValue(std::int64_t{1}));
  t.Add("UnRead", V::Bool, kAll);
  // Contacts.
  t.Texts({"Title"}, kContact);
  g_ids.firstName = t.Add("FirstName", V::Text, kContact);
  g_ids.middleName = t.Add("MiddleName", V::Text, kContact);
  g_ids.lastName = t.Add("LastName", V::Text, kContact);
  g_ids.suffix = t.Add("Suffix", V::Text, kContact);
  g_ids.fullName = t.Add("FullName", V::Text, kContact, PropRole::Derived);
  g_ids.fileAs = t.Add("FileAs", V::Text, kContact, PropRole::Derived);
  g_ids.companyName = t.Add("CompanyName", V::Text, kContact);
  t.Texts({"Department", "JobTitle", "Profession", "ManagerName", "AssistantName", "NickName",
           "Initials", "Spouse", "Children", "Hobby", "Language", "Account", "CustomerID", "User1",
           "User2", "User3", "User4", "IMAddress"},
          kContact);
  t.Add("Gender", V::Integer, kContact);
  t.Add("Birthday", V::Date, kContact);
  t.Add("Anniversary", V::Date, kContact);
  t.Texts(
      {"BusinessAddressStreet", "BusinessAddressCity", "BusinessAddressState",
       "BusinessAddressPostalCode", "BusinessAddressCountry", "BusinessAddressPostOfficeBox",
       "HomeAddressStreet", "HomeAddressCity", "HomeAddressState", "HomeAddressPostalCode",
       "HomeAddressCountry", "HomeAddressPostOfficeBox", "OtherAddressStreet", "OtherAddressCity",
       "OtherAddressState", "OtherAddressPostalCode", "OtherAddressCountry"},
      kContact);
  t.Texts(
      {"BusinessTelephoneNumber", "Business2TelephoneNumber", "BusinessFaxNumber",
       "HomeTelephoneNumber", "Home2TelephoneNumber", "HomeFaxNumber", "MobileTelephoneNumber",
       "CarTelephoneNumber", "PagerNumber", "PrimaryTelephoneNumber", "CompanyMainTelephoneNumber",
       "AssistantTelephoneNumber", "OtherTelephoneNumber", "OtherFaxNumber"},
      kContact);
  t.Texts({"Email1Address", "Email1AddressType", "Email1DisplayName", "Email2Address",
           "Email2AddressType", "Email2DisplayName", "Email3Address", "Email3AddressType",
           "Email3DisplayName"},
          kContact);
  t.Texts({"BusinessHomePage", "PersonalHomePage", "WebPage", "ReferredBy"}, kContact);
  t.Add("SelectedMailingAddress", V::Integer, kContact);
  // Appointments.
  g_ids.start = t.Add("Start", V::Date, kAppt);
  g_ids.end = t.Add("End", V::Date, kAppt);
  g_ids.duration = t.Add("Duration", V::Integer, kAppt, PropRole::Derived);
  t.Texts({"Location", "Organizer", "RequiredAttendees", "OptionalAttendees"}, kAppt);
  t.Add("AllDayEvent", V::Bool, kAppt);
  t.Add("ReminderMinutesBeforeStart", V::Integer, kAppt, PropRole::Stored,
        PropValue(std::int64_t{15}));
  t.Add("ReminderSet", V::Bool, kAppt | kTask);
  t.Add("RecurrenceState", V::Integer, kAppt);
  t.Add("IsRecurring", V::Bool, kAppt | kTask);
  t.Add("BusyStatus", V::Integer, kAppt, PropRole::Stored, PropValue(std::int64_t{2}));
  t.Add("MeetingStatus", V::Integer, kAppt);
  // Tasks.
  t.Add("StartDate", V::Date, kTask);
  t.Add("DueDate", V::Date, kTask);
  t.Add("DateCompleted", V::Date, kTask);
  t.Add("ReminderTime", V::Date, kTask);
  t.Add("Status", V::Integer, kTask);
  t.Add("PercentComplete", V::Integer, kTask);
  t.Add("Complete", V::Bool, kTask);
  t.Add("TotalWork", V::Integer, kTask);
  t.Add("ActualWork", V::Integer, kTask);
  t.Texts({"Owner", "Role", "StatusReport"}, kTask);
  // Distribution lists.
  t.Add("DLName", V::Text, kDist);
  g_ids.memberCount = t.Add("MemberCount", V::Integer, kDist, PropRole::ReadOnly);
  // Mail.
  t.Texts({"To", "CC", "BCC", "SenderName", "SenderEmailAddress"}, kMail);
  t.Add("ReceivedTime", V::Date, kMail);
  t.Add("SentOn", V::Date, kMail);
  return t;
}

bool IsBlank(std::string_view s) {
  for (char c : s)
    if (!std::isspace(static_cast<unsigned char>(c))) return false;
  return true;
}

// A text that is a whole number or decimal, with a point or a comma
// (surrounding blanks and one sign allowed).
std::optional<double> StrictNumber(std::string_view text) {
  std::size_t b = 0, e = text.size();
  while (b < e && std::isspace(static_cast<unsigned char>(text[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1]))) --e;
  std::string s(text.substr(b, e - b));
  const bool negative = s.starts_with('-');
  if (negative || s.starts_with('+')) s.erase(0, 1);
  // Digits first: from_chars would also take "inf", "nan" and a sign.
  if (s.empty() || !(std::isdigit(static_cast<unsigned char>(s[0])) || s[0] == '.' || s[0] == ','))
    return std::nullopt;
  for (char& c : s)
    if (c == ',') c = '.';
  double value = 0.0;
  const char* const end = s.data() + s.size();
  const auto [stop, error] = std::from_chars(s.data(), end, value, std::chars_format::fixed);
  if (error != std::errc() || stop != end) return std::nullopt;
  return negative ? -value : value;
}

[[noreturn]] void Mismatch(const std::string& property, const Variant& value) {
  throw AutomationError(err::kTypeMismatch, "Outlook",
                        "Type mismatch: the property " + property +
                            " cannot take a value of kind " + value.KindName() + ".");
}

}  // namespace

namespace prop {
const int kClass = (TheTable(), g_ids.cls);
const int kEntryId = (TheTable(), g_ids.entryId);
const int kMessageClass = (TheTable(), g_ids.messageClass);
const int kLastModificationTime = (TheTable(), g_ids.lastMod);
const int kCreationTime = (TheTable(), g_ids.creation);
const int kFileAs = (TheTable(), g_ids.fileAs);
const int kFullName = (TheTable(), g_ids.fullName);
const int kFirstName = (TheTable(), g_ids.firstName);
const int kMiddleName = (TheTable(), g_ids.middleName);
const int kLastName = (TheTable(), g_ids.lastName);
const int kSuffix = (TheTable(), g_ids.suffix);
const int kCompanyName = (TheTable(), g_ids.companyName);
const int kDuration = (TheTable(), g_ids.duration);
const int kStart = (TheTable(), g_ids.start);
const int kEnd = (TheTable(), g_ids.end);
const int kMemberCount = (TheTable(), g_ids.memberCount);
}  // namespace prop

ValueType TypeOf(const PropValue& value) { return static_cast<ValueType>(value.index()); }

bool IsCalendarDate(double value) {
  // 0100-01-01 is day -657434 and 9999-12-31 day 2958465; before the epoch
  // the time of day counts away from zero (-657434.5 is 12:00 on the first).
  return value > -657435.0 && value < 2958466.0;
}

Variant ToVariant(const PropValue& value) {
  switch (TypeOf(value)) {
    case ValueType::Text:
      return Variant(std::get<std::string>(value));
    case ValueType::Bool:
      return Variant(std::get<bool>(value));
    case ValueType::Integer:
      return Variant(static_cast<long long>(std::get<std::int64_t>(value)));
    case ValueType::Double:
      return Variant(std::get<double>(value));
    case ValueType::Date:
      return Variant(std::get<AutoDate>(value));
  }
  return Variant();
}

std::string ValueText(const PropValue& value) { return ToVariant(value).ToText(); }

PropValue CoerceValue(const Variant& value, ValueType type, const std::string& property) {
  using K = Variant::Kind;
  const K kind = value.GetKind();
  if (kind == K::Null || kind == K::Object || kind == K::List) Mismatch(property, value);
  switch (type) {
    case ValueType::Text:
      return value.ToText();
    case ValueType::Bool:
      if (kind == K::Empty) return false;
      if (kind == K::Bool || kind == K::Integer || kind == K::Double) return value.ToBool();
      if (kind == K::Text) {
        const std::string& t = value.ToText();
        if (SameIdentifier(t, "True")) return true;
        if (SameIdentifier(t, "False")) return false;
        if (auto n = StrictNumber(t)) return *n != 0.0;
      }
      Mismatch(property, value);
    case ValueType::Integer:
    case ValueType::Double: {
      double number = 0.0;
      if (kind == K::Empty) {
        number = 0.0;
      } else if (kind == K::Text) {
        auto n = StrictNumber(value.ToText());
        if (!n) Mismatch(property, value);
        number = *n;
      } else if (kind == K::Date) {
        number = value.ToDate().Value();
      } else {
        number = value.ToDouble();
      }
      if (!std::isfinite(number)) Mismatch(property, value);
      if (type == ValueType::Double) return number;
      if (number > 9.2e18 || number < -9.2e18) Mismatch(property, value);
      return static_cast<std::int64_t>(std::nearbyint(number));
    }
    case ValueType::Date: {
      if (kind == K::Date) return value.ToDate();
      if (kind == K::Integer || kind == K::Double) {
        const double d = value.ToDouble();
        if (!IsCalendarDate(d)) Mismatch(property, value);
        return AutoDate(d);
      }
      if (kind == K::Text) {
        const std::string t = value.ToText();
        if (!IsBlank(t)) {
          if (auto d = AutoDate::Parse(t)) return *d;
          if (auto d = ParseShortDate(t)) return *d;
        }
      }
      Mismatch(property, value);
    }
  }
  Mismatch(property, value);
}

int ClassOf(ItemKind kind) {
  switch (kind) {
    case ItemKind::Mail:
      return 43;
    case ItemKind::Appointment:
      return olclass::kAppointment;
    case ItemKind::Contact:
      return olclass::kContact;
    case ItemKind::Task:
      return olclass::kTask;
    case ItemKind::DistList:
      return olclass::kDistList;
  }
  return 0;
}

std::optional<ItemKind> KindOfClass(int olClass) {
  for (ItemKind k : {ItemKind::Mail, ItemKind::Appointment, ItemKind::Contact, ItemKind::Task,
                     ItemKind::DistList})
    if (ClassOf(k) == olClass) return k;
  return std::nullopt;
}

std::optional<ItemKind> KindOfItemType(OlItemType type) {
  switch (type) {
    case OlItemType::Mail:
      return ItemKind::Mail;
    case OlItemType::Appointment:
      return ItemKind::Appointment;
    case OlItemType::Contact:
      return ItemKind::Contact;
    case OlItemType::Task:
      return ItemKind::Task;
    case OlItemType::DistList:
      return ItemKind::DistList;
  }
  return std::nullopt;
}

const char* KindName(ItemKind kind) {
  switch (kind) {
    case ItemKind::Mail:
      return "mail";
    case ItemKind::Appointment:
      return "appointment";
    case ItemKind::Contact:
      return "contact";
    case ItemKind::Task:
      return "task";
    case ItemKind::DistList:
      return "distlist";
  }
  return "";
}

std::optional<ItemKind> KindFromName(std::string_view name) {
  for (ItemKind k : {ItemKind::Mail, ItemKind::Appointment, ItemKind::Contact, ItemKind::Task,
                     ItemKind::DistList})
    if (name == KindName(k)) return k;
  return std::nullopt;
}

std::string MessageClassOf(ItemKind kind) {
  switch (kind) {
    case ItemKind::Mail:
      return "IPM.Note";
    case ItemKind::Appointment:
      return "IPM.Appointment";
    case ItemKind::Contact:
      return "IPM.Contact";
    case ItemKind::Task:
      return "IPM.Task";
    case ItemKind::DistList:
      return "IPM.DistList";
  }
  return "";
}

const std::vector<PropertyDef>& AllProperties() { return TheTable().defs; }

const PropertyDef& Property(int id) { return TheTable().defs.at(static_cast<std::size_t>(id)); }

std::optional<int> FindProperty(std::string_view name) {
  // Most lookups use the exact spelling: no folding needed.
  static const std::unordered_map<std::string_view, int> exact = [] {
    std::unordered_map<std::string_view, int> map;
    const auto& defs = TheTable().defs;
    for (std::size_t i = 0; i < defs.size(); ++i) map.emplace(defs[i].name, static_cast<int>(i));
    return map;
  }();
  if (auto hit = exact.find(name); hit != exact.end()) return hit->second;
  const auto& map = TheTable().byKey;
  auto it = map.find(IdentifierKey(name));
  if (it == map.end()) return std::nullopt;
  return it->second;
}

bool KindHas(ItemKind kind, int id) {
  return (Property(id).kinds & (1u << static_cast<unsigned>(kind))) != 0;
}

const std::vector<int>& PropertiesOf(ItemKind kind) {
  return TheTable().perKind[static_cast<std::size_t>(kind)];
}

}  // namespace velklk::outlook
