#include "desk.h"

#include <nlohmann/json.hpp>

#include "addin/public_classes.h"
#include "diagnostics/text_helpers.h"
#include "platform/automation_error.h"
#include "profile/profile.h"
#include "session/shared_state.h"
#include "ui/recording_ui.h"

namespace velklk::test {
namespace {

const char* kBase = R"({
  "now": "2026-12-06 10:00:00",
  "host": {
    "currentUser": "ANNA",
    "users": [
      { "name": "ANNA", "name2": "Anna Berg",
        "settings": {
          "PREXOLContactPath": "anna@velmora.example\\Kontakte",
          "PREXOLCalPath": "anna@velmora.example\\Kalender",
          "PREXOLTaskPath": "anna@velmora.example\\Aufgaben" } },
      { "name": "BEN", "name2": "Ben Kraus",
        "settings": {
          "PREXOLContactPath": "ben@velmora.example\\Kontakte",
          "PREXOLCalPath": "ben@velmora.example\\Kalender",
          "PREXOLTaskPath": "ben@velmora.example\\Aufgaben" } } ],
    "globals": { "TBKLK_g_Merkmalgruppe": "Kestrelink" },
    "tables": {}
  },
  "outlook": {
    "running": true, "version": "16.0.0.0", "offline": false,
    "stores": [
      { "name": "anna@velmora.example", "folders": [
          { "name": "Kontakte", "type": 2, "items": [], "folders": [] },
          { "name": "Kalender", "type": 1, "items": [], "folders": [] },
          { "name": "Aufgaben", "type": 3, "items": [], "folders": [] } ] },
      { "name": "ben@velmora.example", "folders": [
          { "name": "Kontakte", "type": 2, "items": [], "folders": [] },
          { "name": "Kalender", "type": 1, "items": [], "folders": [] },
          { "name": "Aufgaben", "type": 3, "items": [], "folders": [] } ] } ]
  }
})";

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

}  // namespace

Desk::Desk(const std::string& patch) {
  nlohmann::json doc = nlohmann::json::parse(kBase);
  const nlohmann::json p = nlohmann::json::parse(patch);
  doc.merge_patch(p);
  profile_ = Profile::InMemory();
  profile_->LoadFixture(doc.dump());
  ui_ = std::make_unique<RecordingUserInterface>();
  ResetState(profile_->Services(ui_.get(), "de"));
}

Desk::~Desk() { ResetState(PlatformServices{}); }

std::string Desk::Store(const std::string& user) const {
  return Lower(user.empty() ? user_ : user) + "@velmora.example";
}

void Desk::SetUser(const std::string& name) {
  user_ = name;
  profile_->Host().SetCurrentUser(name);
}

void Desk::SetNow(const std::string& now) { profile_->Clock().Set(*AutoDate::Parse(now)); }

void Desk::Answer(MsgAnswer answer) { ui_->AddAnswer(answer); }

void Desk::RaiseOn(const std::string& operation, std::uint32_t number) {
  profile_->Host().RaiseOn(operation, number);
}

void Desk::Position(const std::string& table, const std::string& id) {
  profile_->Host().PositionTable(table, id);
}

bool Desk::AddressOrContactSync2OL(const std::string& id, const std::string& table) {
  CSync sync;
  auto app = profile_->Host().Application();
  std::string sOLID = id, sOlTable = table;
  return sync.AddressOrContactSync2OL(app, sOLID, sOlTable);
}

void Desk::UpdateAdresse(const std::string& addressId) {
  if (!addressId.empty()) profile_->Host().PositionTable("Adressen", addressId);
  CMenue menue;
  auto app = profile_->Host().Application();
  menue.UpdateAdresse(app);
}

void Desk::UpdateAnsprechpartner(const std::string& personId) {
  if (!personId.empty()) profile_->Host().PositionTable("Ansprechpartner", personId);
  CMenue menue;
  auto app = profile_->Host().Application();
  menue.UpdateAnsprechpartner(app);
}

bool Desk::SyncContacts2VEL() {
  CSync sync;
  auto app = profile_->Host().Application();
  return sync.SyncContacts2VEL(app);
}

bool Desk::AppSync2OL(const std::string& activityId) {
  CSync sync;
  auto app = profile_->Host().Application();
  std::string sOLID = activityId, sOlTable = "Aktivitaeten", sActivityID = activityId,
              sActivityTable = "Aktivitaeten", sSubject;
  return sync.AppSync2OL(app, sOLID, sOlTable, sActivityID, sActivityTable, sSubject);
}

bool Desk::ClearContactsVelSearch() {
  CSync sync;
  auto app = profile_->Host().Application();
  return sync.ClearContactsVelSearch(app);
}

std::shared_ptr<OlItems> Desk::Items(const std::string& user) {
  return profile_->Outlook().FindFolder(Store(user) + "\\Kontakte")->Items();
}

std::shared_ptr<OlItem> Desk::Find(const std::string& filter, const std::string& user) {
  return Items(user)->Find(filter);
}

std::shared_ptr<OlItem> Desk::ContactOf(const std::string& key, const std::string& user) {
  return Find(VelSearchFilter(key), user);
}

std::vector<std::shared_ptr<OlItem>> Desk::AllContacts(const std::string& user) {
  auto items = Items(user);
  std::vector<std::shared_ptr<OlItem>> out;
  for (int i = 1; i <= items->Count(); ++i) out.push_back(items->Item(i));
  return out;
}

std::string Desk::Get(const OlItem& item, const std::string& property) {
  return item.Get(property).ToText();
}

std::string Desk::UserProp(OlItem& item, const std::string& name) {
  auto prop = item.UserProperties()->Find(name);
  return prop ? prop->Value().ToText() : std::string("<none>");
}

void Desk::Edit(OlItem& item, const std::string& json) {
  profile_->Outlook().ApplyJson(item, nlohmann::json::parse(json));
  item.Save();
}

std::shared_ptr<OlItem> Desk::Enter(const std::string& json, const std::string& user) {
  return profile_->Outlook().AddItemAsUser(Store(user) + "\\Kontakte", nlohmann::json::parse(json));
}

std::shared_ptr<HostTable> Desk::Table(const std::string& name) {
  return profile_->Host().Database()->Table(name);
}

bool Desk::Exists(const std::string& table, const std::string& id) {
  auto t = Table(table);
  t->SelectIndex("ID");
  return t->Seek(id);
}

std::string Desk::Field(const std::string& table, const std::string& id, const std::string& field) {
  auto t = Table(table);
  t->SelectIndex("ID");
  if (!t->Seek(id)) return "<missing>";
  const Variant v = t->Field(field)->Value();
  if (v.IsObject()) {
    auto link = v.As<HostLink>();
    return link ? link->Target() : std::string("<object>");
  }
  return v.ToText();
}

std::string Desk::Dump(const std::string& table) {
  const nlohmann::json all = nlohmann::json::parse(profile_->DumpFixture(true, false));
  const auto& tables = all["host"]["tables"];
  return tables.contains(table) ? tables[table].dump() : "[]";
}

int Desk::Count(const std::string& table) {
  const nlohmann::json all = nlohmann::json::parse(profile_->DumpFixture(true, false));
  const auto& tables = all["host"]["tables"];
  return tables.contains(table) ? static_cast<int>(tables[table].size()) : 0;
}

void Desk::EditRecord(const std::string& table, const std::string& id, const std::string& json) {
  auto t = Table(table);
  t->SelectIndex("ID");
  if (!t->Seek(id)) throw std::runtime_error("no record " + id);
  if (!t->BeginEdit()) throw std::runtime_error("record not editable");
  const nlohmann::json values = nlohmann::json::parse(json);
  for (const auto& [name, value] : values.items()) {
    if (value.is_string()) t->Field(name)->SetValue(Variant(value.get<std::string>()));
  }
  t->StoreEdited();
}

std::vector<std::string> Desk::Marks(const std::string& table, const std::string& id) {
  const std::string featureTable =
      table == "Adressen" ? "Adressmerkmale" : "AnsprechpartnerMerkmale";
  std::vector<std::string> marks;
  if (!Exists(table, id)) return marks;
  auto f = Table(featureTable);
  for (bool more = f->MoveFirst(); more && !f->AtEnd(); more = f->Move(1))
    if (Lower(f->Field("Merkmal")->Value().ToText()) == "outlookfavorit")
      marks.push_back(f->Field("Wert")->Value().ToText());
  return marks;
}

int Desk::SyncLogCount(const std::string& user) {
  const nlohmann::json all = nlohmann::json::parse(profile_->DumpFixture(true, false));
  const auto& tables = all["host"]["tables"];
  if (!tables.contains("TBKLK_SyncLog")) return 0;
  int n = 0;
  for (const auto& r : tables["TBKLK_SyncLog"])
    if (user.empty() || r.value("velUser", "") == user) ++n;
  return n;
}

bool Desk::SyncLogHas(const std::string& key, const std::string& user) {
  auto t = Table("TBKLK_SyncLog");
  t->SelectIndex("SyncSearch");
  return t->Seek((user.empty() ? user_ : user) + key);
}

std::vector<std::string> Desk::Messages() const {
  std::vector<std::string> out;
  for (const auto& box : ui_->MessageBoxes()) out.push_back(box.text);
  return out;
}

std::vector<MessageBoxRequest> Desk::Boxes() const { return ui_->MessageBoxes(); }

void Desk::ClearEvents() { ui_->Clear(); }

}  // namespace velklk::test
