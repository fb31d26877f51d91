#include "outlook/embedded_outlook.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string_view>
#include <unordered_map>

#include "components/json_stream.h"
#include "outlook/model.h"
#include "outlook/objects.h"
#include "platform/automation_error.h"

namespace velklk {

using outlook::Folder;
using outlook::ItemData;
using outlook::ItemKind;
using outlook::Model;
using outlook::PropValue;
using outlook::Record;
using outlook::ValueType;
using json = nlohmann::json;

namespace {

[[noreturn]] void Bad(const std::string& where, const std::string& what) {
  throw AutomationError(err::kInvalidArg, "Outlook fixture", where + ": " + what);
}

AutoDate JsonDate(const json& value, const std::string& where) {
  if (!value.is_string()) Bad(where, "a date must be a text \"yyyy-MM-dd hh:mm:ss\"");
  auto date = AutoDate::Parse(value.get<std::string>());
  if (!date)
    Bad(where, "\"" + value.get<std::string>() + "\" is not a date \"yyyy-MM-dd hh:mm:ss\"");
  return *date;
}

PropValue JsonValue(const json& value, ValueType type, const std::string& where) {
  switch (type) {
    case ValueType::Text:
      if (value.is_string()) return value.get<std::string>();
      if (value.is_number_integer()) return std::to_string(value.get<long long>());
      Bad(where, "a text is expected");
    case ValueType::Bool:
      if (value.is_boolean()) return value.get<bool>();
      Bad(where, "true or false is expected");
    case ValueType::Integer:
      if (value.is_number_integer()) return static_cast<std::int64_t>(value.get<long long>());
      if (value.is_number_float()) {
        const double d = value.get<double>();
        if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 9e18)
          return static_cast<std::int64_t>(d);
      }
      Bad(where, "a whole number is expected");
    case ValueType::Double:
      if (value.is_number()) return value.get<double>();
      Bad(where, "a number is expected");
    case ValueType::Date:
      return JsonDate(value, where);
  }
  Bad(where, "unsupported value");
}

json ToJson(const PropValue& value) {
  switch (outlook::TypeOf(value)) {
    case ValueType::Text:
      return std::get<std::string>(value);
    case ValueType::Bool:
      return std::get<bool>(value);
    case ValueType::Integer:
      return std::get<std::int64_t>(value);
    case ValueType::Double:
      return std::get<double>(value);
    case ValueType::Date:
      return std::get<AutoDate>(value).Format();
  }
  return nullptr;
}

Variant JsonToVariant(const json& value) {
  if (value.is_string()) return Variant(value.get<std::string>());
  if (value.is_boolean()) return Variant(value.get<bool>());
  if (value.is_number_integer()) return Variant(value.get<long long>());
  if (value.is_number()) return Variant(value.get<double>());
  if (value.is_null()) return Variant::Null();
  return Variant(VariantList{});
}

void CheckKeys(const json& object, const std::string& where,
               std::initializer_list<const char*> keys) {
  for (const auto& [key, value] : object.items()) {
    bool known = false;
    for (const char* k : keys) known = known || key == k;
    if (!known) Bad(where, "unknown key \"" + key + "\"");
  }
}

class FixtureReader {
 public:
  // `ahead`: the items read ahead, taken where the document holds their
  // stand-ins (a binary value holding the index as its subtype).
  explicit FixtureReader(AutoDate now, std::vector<std::shared_ptr<Record>>* ahead = nullptr)
      : now_(now), ahead_(ahead) {}

  // An item with its class and times read before its folder is known (the
  // folder is set when it is taken); nothing when it cannot be read so.
  std::shared_ptr<Record> ReadAhead(const json& it) {
    if (!it.is_object() || !it.contains("class")) return nullptr;
    static Folder unknown;
    try {
      auto record = ReadItem(it, "", &unknown);
      record->folder = nullptr;
      return record;
    } catch (const AutomationError&) {
      return nullptr;
    }
  }

  Model::State Read(const json& o) {
    Model::State state;
    if (!o.is_object()) Bad("outlook", "must be an object");
    CheckKeys(o, "outlook",
              {"running", "version", "offline", "refusedValues", "stores", "mailboxes"});
    if (o.contains("running")) {
      if (!o["running"].is_boolean()) Bad("outlook.running", "true or false is expected");
      state.switches.running = o["running"].get<bool>();
    }
    if (o.contains("version")) {
      if (!o["version"].is_string()) Bad("outlook.version", "a text is expected");
      state.switches.version = o["version"].get<std::string>();
    }
    if (o.contains("offline")) {
      if (!o["offline"].is_boolean()) Bad("outlook.offline", "true or false is expected");
      state.switches.offline = o["offline"].get<bool>();
    }
    if (o.contains("refusedValues")) {
      const json& r = o["refusedValues"];
      if (!r.is_object()) Bad("outlook.refusedValues", "must be an object of lists");
      for (const auto& [property, values] : r.items()) {
        const std::string where = "outlook.refusedValues." + property;
        if (!values.is_array()) Bad(where, "must be a list");
        for (const auto& v : values) {
          if (v.is_string()) {
            state.switches.refused[property].push_back(v.get<std::string>());
          } else if (v.is_number_integer()) {
            state.switches.refused[property].push_back(std::to_string(v.get<long long>()));
          } else {
            Bad(where, "refused values must be texts");
          }
        }
      }
    }
    // Stores and other users' mailboxes share one name space: a name is
    // either a store of the profile or a mailbox on the server, once.
    std::map<std::string, bool> names;  // name -> a store
    for (const char* part : {"stores", "mailboxes"}) {
      if (!o.contains(part)) continue;
      const json& list = o[part];
      const std::string key = std::string("outlook.") + part;
      if (!list.is_array()) Bad(key, "must be a list");
      const bool stores = std::string_view(part) == "stores";
      auto& target = stores ? state.stores : state.mailboxes;
      for (std::size_t i = 0; i < list.size(); ++i) {
        const std::string where = key + "[" + std::to_string(i) + "]";
        target.push_back(ReadFolder(list[i], where, nullptr, state.records));
        const std::string& name = target.back()->name;
        auto [seen, added] = names.emplace(name, stores);
        if (added) continue;
        if (seen->second == stores)
          Bad(where + " (" + name + ")", std::string("a second ") + (stores ? "store" : "mailbox") +
                                             " named \"" + name + "\"");
        Bad(where + " (" + name + ")", "\"" + name + "\" is a store of the profile already");
      }
    }
    // A link given by entry ID alone takes the name of its contact.
    std::unordered_map<std::string, const Record*> byEntry;
    for (const auto& r : state.records)
      if (!r->entryId.empty()) byEntry[r->entryId] = r.get();
    for (auto& r : state.records)
      for (auto& link : r->saved.links) {
        auto target = byEntry.find(link.entryId);
        if (!link.name.empty() || target == byEntry.end()) continue;
        const Record& c = *target->second;
        link.name = std::get<std::string>(Model::Value(c, c.saved, outlook::prop::kFullName));
        if (link.name.empty())
          link.name = std::get<std::string>(Model::Value(c, c.saved, outlook::prop::kFileAs));
      }
    return state;
  }

 private:
  std::unique_ptr<Folder> ReadFolder(const json& f, const std::string& where, Folder* parent,
                                     std::vector<std::shared_ptr<Record>>& records) {
    if (!f.is_object()) Bad(where, "a folder must be an object");
    CheckKeys(f, where, {"name", "type", "userPropertyDefinitions", "items", "folders"});
    auto folder = std::make_unique<Folder>();
    folder->parent = parent;
    if (!f.contains("name") || !f["name"].is_string() || f["name"].get<std::string>().empty())
      Bad(where, "a folder needs a non-empty \"name\"");
    folder->name = f["name"].get<std::string>();
    if (folder->name.find('\\') != std::string::npos)
      Bad(where, "a folder name cannot hold \"\\\"");
    const std::string at = where + " (" + folder->name + ")";
    if (f.contains("type")) {
      const json& t = f["type"];
      if (!t.is_number_integer() || t.get<long long>() < 0 || t.get<long long>() > 3)
        Bad(at + ".type", "must be 0 (mail), 1 (appointments), 2 (contacts) or 3 (tasks)");
      folder->type = static_cast<OlItemType>(t.get<int>());
    }
    if (f.contains("userPropertyDefinitions")) {
      const json& d = f["userPropertyDefinitions"];
      if (!d.is_object()) Bad(at + ".userPropertyDefinitions", "must be an object");
      for (const auto& [name, type] : d.items()) {
        if (type == "text") {
          folder->defs.push_back({name, OlUserPropertyType::Text});
        } else if (type == "yesno") {
          folder->defs.push_back({name, OlUserPropertyType::YesNo});
        } else {
          Bad(at + ".userPropertyDefinitions." + name, "the type must be \"text\" or \"yesno\"");
        }
      }
    }
    if (f.contains("items")) {
      const json& items = f["items"];
      if (!items.is_array()) Bad(at + ".items", "must be a list");
      for (std::size_t i = 0; i < items.size(); ++i) {
        if (ahead_ != nullptr && items[i].is_binary()) {
          auto& record = ahead_->at(items[i].get_binary().subtype());
          record->folder = folder.get();
          records.push_back(std::move(record));
          continue;
        }
        records.push_back(
            ReadItem(items[i], at + ".items[" + std::to_string(i) + "]", folder.get()));
      }
    }
    if (f.contains("folders")) {
      const json& children = f["folders"];
      if (!children.is_array()) Bad(at + ".folders", "must be a list");
      std::set<std::string> names;
      for (std::size_t i = 0; i < children.size(); ++i) {
        const std::string w = at + ".folders[" + std::to_string(i) + "]";
        folder->children.push_back(ReadFolder(children[i], w, folder.get(), records));
        if (!names.insert(folder->children.back()->name).second)
          Bad(w, "a second folder named \"" + folder->children.back()->name + "\"");
      }
    }
    return folder;
  }

  std::shared_ptr<Record> ReadItem(const json& it, const std::string& where, Folder* folder) {
    if (!it.is_object()) Bad(where, "an item must be an object");
    auto record = std::make_shared<Record>();
    record->folder = folder;
    record->kind = outlook::KindOfItemType(folder->type).value_or(ItemKind::Mail);
    if (it.contains("class")) {
      auto kind = it["class"].is_string() ? outlook::KindFromName(it["class"].get<std::string>())
                                          : std::nullopt;
      if (!kind)
        Bad(where + ".class",
            "must be \"contact\", \"appointment\", \"task\", \"distlist\" or \"mail\"");
      record->kind = *kind;
    }
    record->modified = it.contains("LastModificationTime")
                           ? JsonDate(it["LastModificationTime"], where + ".LastModificationTime")
                           : now_;
    record->created = it.contains("CreationTime")
                          ? JsonDate(it["CreationTime"], where + ".CreationTime")
                          : record->modified;
    if (it.contains("entryId")) {
      if (!it["entryId"].is_string() || it["entryId"].get<std::string>().empty())
        Bad(where + ".entryId", "must be a non-empty text");
      record->entryId = it["entryId"].get<std::string>();
    }
    ItemData& data = record->saved;
    std::vector<std::pair<int, PropValue>> derived;
    for (const auto& [key, value] : it.items()) {
      if (key == "class" || key == "entryId" || key == "LastModificationTime" ||
          key == "CreationTime")
        continue;
      if (key == "userProperties") {
        if (!value.is_object()) Bad(where + ".userProperties", "must be an object");
        for (const auto& [name, v] : value.items()) {
          if (name.empty()) Bad(where + ".userProperties", "a user property needs a name");
          if (v.is_string()) {
            data.user.push_back({name, OlUserPropertyType::Text, v.get<std::string>()});
          } else if (v.is_boolean()) {
            data.user.push_back({name, OlUserPropertyType::YesNo, v.get<bool>()});
          } else {
            Bad(where + ".userProperties." + name, "must be a text or true/false");
          }
        }
        continue;
      }
      if (key == "links") {
        if (record->kind != ItemKind::Appointment && record->kind != ItemKind::Task)
          Bad(where + ".links", "only appointments and tasks have links");
        if (!value.is_array()) Bad(where + ".links", "must be a list");
        for (const auto& l : value) {
          if (l.is_string()) {
            data.links.push_back({l.get<std::string>(), ""});
          } else if (l.is_object() && l.contains("entryId") && l["entryId"].is_string()) {
            std::string name =
                l.contains("name") && l["name"].is_string() ? l["name"].get<std::string>() : "";
            data.links.push_back({l["entryId"].get<std::string>(), name});
          } else {
            Bad(where + ".links", "a link is the contact's entry ID or {\"entryId\", \"name\"}");
          }
        }
        continue;
      }
      auto id = outlook::FindProperty(key);
      if (!id || !outlook::KindHas(record->kind, *id))
        Bad(where, "unknown property \"" + key + "\" for a " + outlook::KindName(record->kind));
      const auto& def = outlook::Property(*id);
      if (def.role == outlook::PropRole::ReadOnly) {
        if (*id == outlook::prop::kMemberCount) continue;  // written by dump, computed
        Bad(where + "." + key, "the property is read-only");
      }
      PropValue v = JsonValue(value, def.type, where + "." + key);
      if (def.role == outlook::PropRole::Derived) {
        derived.emplace_back(*id, std::move(v));
      } else if (!(v == def.defaultValue)) {
        data.Put(*id, std::move(v));
      }
    }
    // Derived values only count when they differ from what the others give.
    for (auto& [id, v] : derived) {
      if (v == Model::Value(*record, data, id)) continue;
      if (id == outlook::prop::kDuration) {
        const PropValue* start = data.Find(outlook::prop::kStart);
        if (start)
          data.Put(outlook::prop::kEnd, AutoDate::FromSeconds(std::get<AutoDate>(*start).Seconds() +
                                                              std::get<std::int64_t>(v) * 60));
      } else {
        data.Put(id, std::move(v));
      }
    }
    return record;
  }

  AutoDate now_;
  std::vector<std::shared_ptr<Record>>* ahead_;
};

// The members of a dumped item of a kind, in the order of their names (the
// order of the object), so that an item is built without comparing them.
struct DumpMember {
  enum Kind { Class, EntryId, Modified, Created, Standard, User, Links } kind;
  std::string name;
  int id = 0;  // Standard: the property
};

const std::vector<DumpMember>& DumpMembersOf(ItemKind kind) {
  static const auto members = [] {
    std::array<std::vector<DumpMember>, 5> all;
    for (ItemKind k : {ItemKind::Mail, ItemKind::Appointment, ItemKind::Contact, ItemKind::Task,
                       ItemKind::DistList}) {
      auto& m = all[static_cast<std::size_t>(k)];
      // Listed in the order of assignment: of two members of one name, the
      // later one stays.
      m = {{DumpMember::Class, "class"},
           {DumpMember::EntryId, "entryId"},
           {DumpMember::Modified, "LastModificationTime"},
           {DumpMember::Created, "CreationTime"}};
      for (int id : outlook::PropertiesOf(k)) {
        const auto& def = outlook::Property(id);
        if (def.role != outlook::PropRole::ReadOnly)
          m.push_back({DumpMember::Standard, def.name, id});
      }
      m.push_back({DumpMember::User, "userProperties"});
      if (k == ItemKind::Appointment || k == ItemKind::Task)
        m.push_back({DumpMember::Links, "links"});
      std::stable_sort(m.begin(), m.end(),
                       [](const DumpMember& a, const DumpMember& b) { return a.name < b.name; });
      std::vector<DumpMember> last;
      for (std::size_t i = 0; i < m.size(); ++i)
        if (i + 1 == m.size() || m[i + 1].name != m[i].name) last.push_back(m[i]);
      m = std::move(last);
    }
    return all;
  }();
  return members[static_cast<std::size_t>(kind)];
}

json DumpItem(const Model& model, const Record& record, const ItemData& data) {
  json item = json::object();
  auto& members = item.get_ref<json::object_t&>();
  for (const DumpMember& member : DumpMembersOf(record.kind)) {
    json value;
    switch (member.kind) {
      case DumpMember::Class:
        value = outlook::KindName(record.kind);
        break;
      case DumpMember::EntryId:
        value = record.entryId;
        break;
      case DumpMember::Modified:
        value = record.modified.Format();
        break;
      case DumpMember::Created:
        value = record.created.Format();
        break;
      case DumpMember::Standard:
        value = ToJson(model.Value(record, data, member.id));
        break;
      case DumpMember::User:
        value = json::object();
        for (const auto& u : data.user) value[u.name] = ToJson(u.value);
        break;
      case DumpMember::Links:
        value = json::array();
        for (const auto& l : data.links)
          value.push_back({{"entryId", l.entryId}, {"name", l.name}});
        break;
    }
    // In order: each goes to the end without a comparison.
    members.emplace_hint(members.end(), member.name, std::move(value));
  }
  return item;
}

json DumpFolder(const Model& model, const Folder& folder, StreamedJson* stream) {
  json f = json::object();
  f["name"] = folder.name;
  f["type"] = static_cast<int>(folder.type);
  json defs = json::object();
  for (const auto& d : folder.defs)
    defs[d.name] = d.type == OlUserPropertyType::Text ? "text" : "yesno";
  f["userPropertyDefinitions"] = std::move(defs);
  if (stream != nullptr) {
    f["items"] = stream->List([&model, &folder](const StreamedJson::Emit& emit) {
      for (const auto& r : folder.items) emit(DumpItem(model, *r, r->saved));
    });
  } else {
    json items = json::array();
    for (const auto& r : folder.items) items.push_back(DumpItem(model, *r, r->saved));
    f["items"] = std::move(items);
  }
  json children = json::array();
  for (const auto& c : folder.children) children.push_back(DumpFolder(model, *c, stream));
  f["folders"] = std::move(children);
  return f;
}

}  // namespace

std::shared_ptr<EmbeddedOutlook> EmbeddedOutlook::Open(std::shared_ptr<sqlite::Connection> db,
                                                       std::string schema, const Clock* clock,
                                                       std::string language,
                                                       std::string tablePrefix) {
  auto model = std::make_shared<Model>(std::move(db), std::move(schema), clock, std::move(language),
                                       std::move(tablePrefix));
  model->CreateTables();
  model->Load();
  return std::shared_ptr<EmbeddedOutlook>(new EmbeddedOutlook(std::move(model)));
}

std::shared_ptr<OlAttacher> EmbeddedOutlook::Attacher() { return outlook::MakeAttacher(model_); }

std::shared_ptr<OlApplication> EmbeddedOutlook::Application() {
  return outlook::MakeApplication(model_);
}

struct EmbeddedOutlook::FixtureItems::Records {
  std::vector<std::shared_ptr<Record>> read;
  // Items without their times, which took the time the document was then
  // expected to give: created, modified missing.
  std::vector<std::pair<Record*, std::pair<bool, bool>>> untimed;
  AutoDate now;
};

EmbeddedOutlook::FixtureItems::FixtureItems(AutoDate now) : records_(std::make_unique<Records>()) {
  records_->now = now;
}
EmbeddedOutlook::FixtureItems::~FixtureItems() = default;

void EmbeddedOutlook::FixtureItems::SetNow(AutoDate now) { records_->now = now; }

json EmbeddedOutlook::FixtureItems::ReadAhead(json&& item) {
  auto record = FixtureReader(records_->now).ReadAhead(item);
  if (!record) return std::move(item);
  const bool created = !item.contains("CreationTime");
  const bool modified = !item.contains("LastModificationTime");
  if (created || modified) records_->untimed.push_back({record.get(), {created, modified}});
  records_->read.push_back(std::move(record));
  return json::binary({}, static_cast<std::uint64_t>(records_->read.size() - 1));
}

void EmbeddedOutlook::LoadFixture(const json& outlookPart, AutoDate now, FixtureItems* readAhead) {
  if (readAhead != nullptr) {
    // The times the items without them take are those of the whole document.
    for (auto& [record, missing] : readAhead->records_->untimed) {
      if (missing.second) record->modified = now;
      if (missing.first) record->created = record->modified;
    }
  }
  model_->Replace(FixtureReader(now, readAhead != nullptr ? &readAhead->records_->read : nullptr)
                      .Read(outlookPart));
}

json EmbeddedOutlook::DumpFixture(StreamedJson* stream) const {
  const auto& s = model_->GetSwitches();
  json out = json::object();
  out["running"] = s.running;
  out["version"] = s.version;
  out["offline"] = s.offline;
  json refused = json::object();
  for (const auto& [property, values] : s.refused) refused[property] = values;
  out["refusedValues"] = std::move(refused);
  json stores = json::array();
  for (const auto& store : model_->Stores()) stores.push_back(DumpFolder(*model_, *store, stream));
  out["stores"] = std::move(stores);
  json mailboxes = json::array();
  for (const auto& mailbox : model_->Mailboxes())
    mailboxes.push_back(DumpFolder(*model_, *mailbox, stream));
  out["mailboxes"] = std::move(mailboxes);
  return out;
}

std::shared_ptr<OlFolder> EmbeddedOutlook::FindFolder(const std::string& path) {
  return outlook::MakeFolder(model_, model_->FolderByPath(path));
}

json EmbeddedOutlook::ItemToJson(const OlItem& item) const {
  auto record = outlook::RecordOf(item);
  if (!record) throw AutomationError(err::kInvalidArg, "Outlook", "Not an item of this profile.");
  return DumpItem(*model_, *record, record->Current());
}

void EmbeddedOutlook::ApplyJson(OlItem& item, const json& properties) {
  if (!properties.is_object())
    throw AutomationError(err::kInvalidArg, "Outlook", "Item properties must be a JSON object.");
  for (const auto& [key, value] : properties.items()) {
    if (key == "class" || key == "entryId" || key == "LastModificationTime" ||
        key == "CreationTime")
      continue;
    if (key == "userProperties") {
      if (!value.is_object())
        throw AutomationError(err::kInvalidArg, "Outlook", "userProperties must be an object.");
      auto user = item.UserProperties();
      for (const auto& [name, v] : value.items()) {
        auto p = user->Find(name);
        if (!p)
          p = user->Add(name,
                        v.is_boolean() ? OlUserPropertyType::YesNo : OlUserPropertyType::Text);
        p->SetValue(JsonToVariant(v));
      }
      continue;
    }
    if (key == "links") {
      if (!value.is_array())
        throw AutomationError(err::kInvalidArg, "Outlook", "links must be a list.");
      auto links = item.Links();
      for (const auto& l : value) {
        const json id = l.is_object() && l.contains("entryId") ? l["entryId"] : l;
        auto target = id.is_string() ? model_->RecordByEntryId(id.get<std::string>()) : nullptr;
        if (!target)
          throw AutomationError(err::kOlNotFound, "Outlook", "A linked contact does not exist.");
        links->Add(outlook::MakeItem(model_, target));
      }
      continue;
    }
    item.Set(key, JsonToVariant(value));
  }
}

std::shared_ptr<OlItem> EmbeddedOutlook::AddItemAsUser(const std::string& folderPath,
                                                       const json& item) {
  auto folder = FindFolder(folderPath);
  auto items = folder->Items();
  std::shared_ptr<OlItem> added;
  if (item.is_object() && item.contains("class")) {
    auto kind = item["class"].is_string() ? outlook::KindFromName(item["class"].get<std::string>())
                                          : std::nullopt;
    if (!kind) throw AutomationError(err::kInvalidArg, "Outlook", "Unknown item class.");
    added = items->Add(
        static_cast<OlItemType>(*kind == ItemKind::DistList ? 7 : static_cast<int>(*kind)));
  } else {
    added = items->Add();
  }
  ApplyJson(*added, item);
  added->Save();
  return added;
}

bool EmbeddedOutlook::Running() const { return model_->GetSwitches().running; }
void EmbeddedOutlook::SetRunning(bool running) {
  auto s = model_->GetSwitches();
  s.running = running;
  model_->SetSwitches(s);
}
std::string EmbeddedOutlook::Version() const { return model_->GetSwitches().version; }
void EmbeddedOutlook::SetVersion(std::string version) {
  auto s = model_->GetSwitches();
  s.version = std::move(version);
  model_->SetSwitches(s);
}
bool EmbeddedOutlook::Offline() const { return model_->GetSwitches().offline; }
void EmbeddedOutlook::SetOffline(bool offline) {
  auto s = model_->GetSwitches();
  s.offline = offline;
  model_->SetSwitches(s);
}
void EmbeddedOutlook::RefuseValue(const std::string& property, const std::string& value) {
  auto s = model_->GetSwitches();
  s.refused[property].push_back(value);
  model_->SetSwitches(s);
}

void EmbeddedOutlook::SetChangeObserver(ChangeObserver* observer) { model_->observer = observer; }
void EmbeddedOutlook::SetExplorerCallback(ExplorerCallback callback) {
  model_->explorerCallback = std::move(callback);
}
void EmbeddedOutlook::SetDisplayCallback(DisplayCallback callback) {
  model_->displayCallback = std::move(callback);
}
std::vector<std::pair<std::string, bool>> EmbeddedOutlook::Displayed() const {
  return model_->displayed;
}
void EmbeddedOutlook::SetClock(const Clock* clock) { model_->SetClock(clock); }
void EmbeddedOutlook::SetLanguage(std::string language) {
  model_->SetLanguage(std::move(language));
}
void EmbeddedOutlook::Reload() { model_->Load(); }

}  // namespace velklk
