#include "desk.h"

#include <fstream>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "components/file_system.h"
#include "platform/text_case.h"

namespace velklk::test {
namespace {

using nlohmann::json;

// The folder entry of the fixture at "store\folder\sub".
json& FolderEntry(json& doc, const std::string& path) {
  json* entry = nullptr;
  json* list = &doc["outlook"]["stores"];
  std::size_t start = 0;
  for (std::size_t end = 0; end != std::string::npos; start = end + 1) {
    end = path.find('\\', start);
    const std::string name = path.substr(start, end == std::string::npos ? end : end - start);
    if (entry != nullptr) list = &(*entry)["folders"];
    entry = nullptr;
    for (auto& candidate : *list)
      if (candidate.value("name", "") == name) entry = &candidate;
    if (entry == nullptr) throw std::invalid_argument("no folder " + path + " in the base");
  }
  return *entry;
}

std::string ValueText(const json& value) {
  return value.is_string() ? value.get<std::string>() : value.dump();
}

bool IsSet(const json& value) {
  if (value.is_string()) return !value.get<std::string>().empty() && value != "4501-01-01 00:00:00";
  if (value.is_number()) return value != 0;
  if (value.is_boolean()) return value.get<bool>();
  return !value.is_null() && !value.empty();
}

json HostTables(const Profile& profile) {
  const json all = json::parse(profile.DumpFixture(true, false));
  return all["host"]["tables"];
}

}  // namespace

const char* const kSampleRecords = R"json({"host": {"tables": {
  "Adressen": [ { "ID": "0000000001", "An": "Firma", "Name": "Muster GmbH",
                  "ModifiziertAm": "2026-12-01 09:00:00" } ],
  "Ansprechpartner": [ { "ID": "0000000002", "@master": "0000000001", "FrauHerr": "Frau",
                         "Vorname": "Eva", "Name": "Berg" } ],
  "Vorgaenge": [ { "ID": "0000000003", "@master": "0000000001", "Betreff": "Angebot" } ],
  "Aktivitaeten": [ { "ID": "0000000004", "@master": "0000000003", "Betreff": "Termin",
                      "Datum": "2026-12-08 10:00:00", "Verantwortlich": "ANNA" } ],
  "WRTM_Tasks": [ { "ID": "0000000005", "Responsible": "ANNA", "Subject": "Nachfassen" } ]}}})json";

std::string DeskFixture(std::initializer_list<std::string> patches) {
  std::ifstream base(std::string(VELKLK_SOURCE_DIR) + "/tests/support/base.json");
  json doc = json::parse(base);
  for (const auto& text : patches) {
    json patch = json::parse(text);
    if (patch.is_object() && patch.contains("folders")) {
      for (const auto& [path, folder] : patch["folders"].items())
        FolderEntry(doc, path).merge_patch(folder);
      patch.erase("folders");
    }
    doc.merge_patch(patch);
  }
  return doc.dump();
}

Desk::Desk(const std::string& patch) : Desk({patch}) {}

Desk::Desk(std::initializer_list<std::string> patches)
    : profile_(Profile::InMemory()), ui_(std::make_unique<RecordingUserInterface>()) {
  profile_->LoadFixture(DeskFixture(patches));
  state_.emplace(profile_->Services(ui_.get(), "de"));
}

Desk::~Desk() = default;

void Desk::SetNow(const std::string& now) {
  const auto parsed = AutoDate::Parse(now);
  if (!parsed) throw std::invalid_argument("not a time: " + now);
  profile_->Clock().Set(*parsed);
}

void Desk::SetSetting(const std::string& key, const std::string& value) {
  auto settings = host().Database()->CurrentUser()->Settings();
  if (settings->Exists(key)) {
    settings->SetValue(key, Variant(value));
  } else {
    settings->Add(key, Variant(value));
  }
}

void Desk::RemoveSetting(const std::string& key) {
  auto settings = host().Database()->CurrentUser()->Settings();
  if (settings->Exists(key)) settings->Remove(key);
}

void Desk::Answer(std::initializer_list<MsgAnswer> answers) {
  for (MsgAnswer answer : answers) ui_->AddAnswer(answer);
}

CallOutcome Desk::Call(DispatchObject& object, const std::string& member,
                       const std::vector<std::string>& args) {
  CallOutcome outcome;
  ProfileUnitOfWork work(*profile_);
  try {
    outcome.args = ArgumentsFromTexts(FindMember(object, member), host().Application(),
                                      host().Database(), args);
    outcome.value = Invoke(object, member, outcome.args);
  } catch (const AutomationError& e) {
    outcome.error = e;
  }
  return outcome;
}

CallOutcome Desk::Call(const std::string& progid, const std::string& member,
                       const std::vector<std::string>& args) {
  auto object = Create(progid);
  return Call(*object, member, args);
}

void Desk::UpdateAdresse(const std::string& id) {
  if (!id.empty()) Position("Adressen", id);
  Call("velKLK.CMenue", "UpdateAdresse");
}

void Desk::UpdateAnsprechpartner(const std::string& id) {
  if (!id.empty()) Position("Ansprechpartner", id);
  Call("velKLK.CMenue", "UpdateAnsprechpartner");
}

std::vector<std::string> Desk::BoxTexts() const {
  std::vector<std::string> texts;
  for (const auto& box : ui_->MessageBoxes()) texts.push_back(box.text);
  return texts;
}

std::vector<std::string> Desk::BoxLines() const {
  std::vector<std::string> lines;
  for (const auto& box : ui_->MessageBoxes()) {
    std::string text;
    for (char c : box.text) text += c == '\r' ? "\\r" : c == '\n' ? "\\n" : std::string(1, c);
    lines.push_back(box.title + " | " + IconName(box.icon) + " | " + ButtonsName(box.buttons) +
                    " | " + std::to_string(box.defaultButton) + " | " + text);
  }
  return lines;
}

std::vector<std::string> Desk::LogLines() const {
  std::vector<std::string> lines;
  MemoryFileSystem* files = profile_->MemoryFiles();
  const std::string dbPath = profile_->Host().Database()->FilePath();
  const std::string folder = dbPath.substr(0, dbPath.find_last_of('/') + 1) + "Logs";
  const std::string text = Windows1252ToUtf8(files->Contents(folder + "/velKLK.log"));
  std::size_t start = text.find("\r\n");  // after the header line
  while (start != std::string::npos && start + 2 < text.size()) {
    start += 2;
    const std::size_t end = text.find("\r\n", start);
    const std::string line = text.substr(start, end - start);
    // Drop the time stamp ("yyyy-MM-dd hh:mm:ss, ").
    lines.push_back(line.size() > 21 ? line.substr(21) : line);
    start = end;
  }
  return lines;
}

std::string Desk::Mailbox(const std::string& user) const {
  return IdentifierKey(user.empty() ? profile_->Host().CurrentUserName() : user) + "@example.com";
}

std::shared_ptr<OlFolder> Desk::Folder(const std::string& folder) {
  return outlook().FindFolder(folder.find('\\') == std::string::npos ? Mailbox({}) + "\\" + folder
                                                                     : folder);
}

std::vector<std::shared_ptr<OlItem>> Desk::Items(const std::string& folder) {
  auto items = Folder(folder)->Items();
  std::vector<std::shared_ptr<OlItem>> out;
  for (int i = 1; i <= items->Count(); ++i) out.push_back(items->Item(i));
  return out;
}

std::shared_ptr<OlItem> Desk::Find(const std::string& filter, const std::string& folder) {
  return Folder(folder)->Items()->Find(filter);
}

std::shared_ptr<OlItem> Desk::ContactOf(const std::string& key, const std::string& user) {
  std::string quoted;
  for (char c : key) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return Find("[velSearch] = \"" + quoted + "\"", Mailbox(user) + "\\Kontakte");
}

std::string Desk::UserProp(OlItem& item, const std::string& name) {
  auto prop = item.UserProperties()->Find(name);
  return prop ? prop->Value().ToText() : std::string("<none>");
}

void Desk::Edit(OlItem& item, const std::string& text) {
  outlook().ApplyJson(item, json::parse(text));
  item.Save();
}

std::vector<std::string> Desk::ItemLines(const OlItem& item) const {
  const json dump = profile_->Outlook().ItemToJson(item);
  std::vector<std::string> lines;
  for (const auto& [key, value] : dump.items()) {
    if (key == "userProperties") {
      for (const auto& [name, v] : value.items())
        lines.push_back("user." + name + ": " + ValueText(v));
    } else if (key == "links") {
      for (const auto& link : value)
        lines.push_back("link: " +
                        (link.is_object() ? link.value("entryId", "") : ValueText(link)));
    } else if (key != "entryId" && key != "EntryID" && IsSet(value)) {
      lines.push_back(key + ": " + ValueText(value));
    }
  }
  return lines;
}

std::string Desk::Field(const std::string& table, const std::string& id, const std::string& field) {
  auto t = host().Database()->Table(table);
  t->SelectIndex("ID");
  if (!t->Seek(id)) return "<missing>";
  if (field == "@master") return t->Master()->Field("ID")->Value().ToText();
  const Variant v = t->Field(field)->Value();
  if (v.IsObject()) {
    auto link = v.As<HostLink>();
    return link ? link->Target() : std::string("<object>");
  }
  return v.ToText();
}

std::vector<std::string> Desk::RecordLines(const std::string& table, const std::string& id) const {
  std::vector<std::string> lines;
  for (const auto& record : HostTables(*profile_).value(table, json::array())) {
    if (record.value("ID", "") != id) continue;
    for (const auto& [key, value] : record.items())
      if (IsSet(value)) lines.push_back(key + ": " + ValueText(value));
  }
  return lines;
}

int Desk::Count(const std::string& table) const {
  return static_cast<int>(HostTables(*profile_).value(table, json::array()).size());
}

void Desk::EditRecord(const std::string& table, const std::string& id, const std::string& text) {
  auto t = host().Database()->Table(table);
  t->SelectIndex("ID");
  if (!t->Seek(id)) throw std::invalid_argument("no record " + id);
  if (!t->BeginEdit()) throw std::invalid_argument("record not editable");
  const json values = json::parse(text);
  for (const auto& [name, value] : values.items())
    t->Field(name)->SetValue(Variant(value.get<std::string>()));
  t->StoreEdited();
}

std::vector<std::string> Desk::Marks(const std::string& table, const std::string& id) {
  std::vector<std::string> marks;
  if (Field(table, id, "ID") == "<missing>") return marks;
  auto f =
      host().Database()->Table(table == "Adressen" ? "Adressmerkmale" : "AnsprechpartnerMerkmale");
  for (bool more = f->MoveFirst(); more && !f->AtEnd(); more = f->Move(1))
    if (SameIdentifier(f->Field("Merkmal")->Value().ToText(), "OutlookFavorit"))
      marks.push_back(f->Field("Wert")->Value().ToText());
  return marks;
}

int Desk::SyncLogCount(const std::string& user) const {
  int n = 0;
  for (const auto& r : HostTables(*profile_).value("TBKLK_SyncLog", json::array()))
    if (user.empty() || r.value("velUser", "") == user) ++n;
  return n;
}

bool Desk::SyncLogHas(const std::string& key, const std::string& user) {
  auto t = host().Database()->Table("TBKLK_SyncLog");
  t->SelectIndex("SyncSearch");
  return t->Seek((user.empty() ? host().CurrentUserName() : user) + key);
}

}  // namespace velklk::test
