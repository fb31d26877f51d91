#include "desk.h"

#include <nlohmann/json.hpp>

#include "components/file_system.h"
#include "platform/host.h"

namespace velklk::test {
namespace {

constexpr const char* kStandard = R"json({
  "now": "2026-12-06 10:00:00",
  "host": {
    "currentUser": "ANNA",
    "users": [
      { "name": "ANNA", "name2": "Anna Berg", "properties": { "EMail": "anna@example.com" },
        "settings": { "PREXOLContactPath": "anna@example.com\\Kontakte",
                      "PREXOLCalPath": "anna@example.com\\Kalender;ben@example.com\\Kalender",
                      "PREXOLTaskPath": "anna@example.com\\Aufgaben",
                      "TSKLK_LogLevel": "debug" } },
      { "name": "BEN", "name2": "Ben Kraus", "properties": { "EMail": "ben@example.com" },
        "settings": {} }
    ],
    "tables": {
      "Adressen": [ { "ID": "0000000001", "An": "Firma", "Name": "Muster GmbH",
                      "ModifiziertAm": "2026-12-01 09:00:00" } ],
      "Ansprechpartner": [ { "ID": "0000000002", "@master": "0000000001", "FrauHerr": "Frau",
                             "Vorname": "Eva", "Name": "Berg" } ],
      "Vorgaenge": [ { "ID": "0000000003", "@master": "0000000001", "Betreff": "Angebot" } ],
      "Aktivitaeten": [ { "ID": "0000000004", "@master": "0000000003", "Betreff": "Termin",
                          "Datum": "2026-12-08 10:00:00", "Verantwortlich": "ANNA" } ],
      "WRTM_Tasks": [ { "ID": "0000000005", "Responsible": "ANNA", "Subject": "Nachfassen" } ]
    }
  },
  "outlook": {
    "running": true, "version": "16.0.0.0",
    "stores": [
      { "name": "anna@example.com",
        "folders": [ { "name": "Kontakte", "type": 2, "items": [], "folders": [] },
                     { "name": "Kalender", "type": 1, "items": [], "folders": [] },
                     { "name": "Aufgaben", "type": 3, "items": [], "folders": [] } ] },
      { "name": "ben@example.com",
        "folders": [ { "name": "Kalender", "type": 1, "items": [], "folders": [] } ] }
    ]
  }
})json";

std::shared_ptr<HostSettings> CurrentSettings(EmbeddedHost& host) {
  return host.Database()->CurrentUser()->Settings();
}

}  // namespace

std::string StandardFixture() { return kStandard; }

std::string StandardFixture(const std::string& mergePatch) {
  nlohmann::json doc = nlohmann::json::parse(kStandard);
  doc.merge_patch(nlohmann::json::parse(mergePatch));
  return doc.dump();
}

Desk::Desk(const std::string& fixtureJson, const std::string& language)
    : profile_(Profile::InMemory()) {
  profile_->LoadFixture(fixtureJson);
  ResetState(profile_->Services(&ui_, language));
}

Desk::~Desk() { ResetState({}); }

void Desk::Answer(std::initializer_list<MsgAnswer> answers) {
  for (MsgAnswer answer : answers) ui_.AddAnswer(answer);
}

std::unique_ptr<DispatchObject> Desk::Create(const std::string& progid) {
  return CreateObject(progid);
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

std::vector<std::string> Desk::BoxTexts() const {
  std::vector<std::string> texts;
  for (const auto& box : ui_.MessageBoxes()) texts.push_back(box.text);
  return texts;
}

void Desk::SetSetting(const std::string& key, const std::string& value) {
  auto settings = CurrentSettings(host());
  if (settings->Exists(key)) {
    settings->SetValue(key, Variant(value));
  } else {
    settings->Add(key, Variant(value));
  }
}

void Desk::RemoveSetting(const std::string& key) {
  auto settings = CurrentSettings(host());
  if (settings->Exists(key)) settings->Remove(key);
}

std::vector<std::string> Desk::LogLines() const {
  std::vector<std::string> lines;
  MemoryFileSystem* files = profile_->MemoryFiles();
  if (files == nullptr) return lines;
  const std::string dbPath = profile_->Host().Database()->FilePath();
  const std::string folder = dbPath.substr(0, dbPath.find_last_of('/') + 1) + "Logs";
  const std::string text = Windows1252ToUtf8(files->Contents(folder + "/velKLK.log"));
  std::size_t start = 0;
  bool header = true;
  while (start < text.size()) {
    std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 2;
    if (header) {  // the header line of a new file
      header = false;
      continue;
    }
    // Drop the time stamp ("yyyy-MM-dd hh:mm:ss, ").
    lines.push_back(line.size() > 21 ? line.substr(21) : line);
  }
  return lines;
}

}  // namespace velklk::test
