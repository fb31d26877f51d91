#include "profile/profile.h"

#include <sys/stat.h>

#include <atomic>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "components/error_text.h"
#include "components/file_system.h"
#include "components/gender.h"
#include "components/xml_document.h"
#include "platform/automation_error.h"
#include "platform/user_interface.h"

namespace velklk {
namespace {

constexpr const char* kCrmFile = "crm.db";
constexpr const char* kOutlookFile = "outlook.db";
constexpr const char* kOutlookSchema = "outlook";

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string Join(const std::string& directory, const std::string& name) {
  if (!directory.empty() && directory.back() == '/') return directory + name;
  return directory + "/" + name;
}

}  // namespace

bool Profile::Exists(const std::string& directory) { return IsFile(Join(directory, kCrmFile)); }

std::unique_ptr<Profile> Profile::Open(const std::string& directory) {
  if (!IsDirectory(directory)) {
    throw std::runtime_error("profile folder '" + directory + "' does not exist");
  }
  std::unique_ptr<Profile> profile(new Profile());
  profile->directory_ = directory;
  profile->connection_ = sqlite::Connection::Open(Join(directory, kCrmFile));
  profile->connection_->Attach(Join(directory, kOutlookFile), kOutlookSchema);
  profile->files_ = std::make_unique<PosixFileSystem>();
  profile->OpenStores();
  return profile;
}

std::unique_ptr<Profile> Profile::InMemory() {
  // Every in-memory profile gets its own database names: the memory VFS
  // shares a database between connections of the process by name.
  static std::atomic<int> counter{0};
  const std::string folder = "/velklk-memory-" + std::to_string(++counter);
  std::unique_ptr<Profile> profile(new Profile());
  profile->connection_ = sqlite::Connection::Open("file:" + folder + "/crm.db?vfs=memdb");
  profile->connection_->Attach("file:" + folder + "/outlook.db?vfs=memdb", kOutlookSchema);
  auto files = std::make_unique<MemoryFileSystem>();
  files->AddFolder(folder);
  profile->memoryFiles_ = files.get();
  profile->files_ = std::move(files);
  profile->OpenStores();
  return profile;
}

Profile::~Profile() = default;

void Profile::OpenStores() {
  connection_->Exec(
      "CREATE TABLE IF NOT EXISTS main._vk_profile(key TEXT PRIMARY KEY, value TEXT)");
  LoadNow();
  errorText_ = std::make_unique<TableErrorText>();
  xml_ = std::make_unique<PugiXmlFactory>();
  gender_ = std::make_unique<NameListGenderFactory>();
  host_ = EmbeddedHost::Open(connection_, &clock_);
  outlook_ = EmbeddedOutlook::Open(connection_, kOutlookSchema, &clock_, language_);
  attacher_ = outlook_->Attacher();
}

void Profile::LoadNow() {
  auto st = connection_->Prepare("SELECT value FROM main._vk_profile WHERE key = 'now'");
  AutoDate now;
  bool found = false;
  if (st.Step()) {
    if (auto parsed = AutoDate::Parse(st.Text(0))) {
      now = *parsed;
      found = true;
    }
  }
  clock_.Set(found ? now : SystemClock().Now());
}

void Profile::StoreNow(AutoDate now) {
  auto st = connection_->Prepare("INSERT OR REPLACE INTO main._vk_profile VALUES('now', ?1)");
  st.Bind(1, now.Format()).Run();
}

PlatformServices Profile::Services(UserInterface* ui, const std::string& language) {
  SetLanguage(language);
  PlatformServices services;
  services.outlook = attacher_.get();
  services.ui = ui;
  services.fileSystem = files_.get();
  services.clock = &clock_;
  services.xml = xml_.get();
  services.errorText = errorText_.get();
  services.gender = gender_.get();
  services.language = language;
  // Items and explorer windows that Outlook shows reach the user interface.
  if (ui != nullptr) {
    outlook_->SetDisplayCallback(
        [ui](const std::shared_ptr<OlItem>& item, bool modal) { ui->DisplayItem(item, modal); });
    outlook_->SetExplorerCallback(
        [ui](const std::string& folderPath, const std::string& action, int windowState) {
          if (action == "display") ui->ShowExplorer(folderPath, windowState);
        });
  }
  return services;
}

void Profile::SetLanguage(const std::string& language) {
  language_ = language;
  outlook_->SetLanguage(language);
}

void Profile::LoadFixture(const std::string& jsonText) {
  nlohmann::json doc;
  try {
    doc = nlohmann::json::parse(jsonText);
  } catch (const nlohmann::json::parse_error& e) {
    throw FixtureError(std::string("fixture is not valid JSON: ") + e.what());
  }
  if (!doc.is_object()) throw FixtureError("fixture: the document must be a JSON object");
  AutoDate now = clock_.Now();
  if (doc.contains("now")) {
    const auto& value = doc["now"];
    std::optional<AutoDate> parsed;
    if (value.is_string()) parsed = AutoDate::Parse(value.get<std::string>());
    if (!parsed) throw FixtureError("now: expected a date \"yyyy-MM-dd hh:mm:ss\"");
    now = *parsed;
  }
  for (const auto& [key, value] : doc.items()) {
    (void)value;
    if (key != "now" && key != "host" && key != "outlook") {
      throw FixtureError(key + ": unknown entry of the fixture");
    }
  }
  const nlohmann::json emptyObject = nlohmann::json::object();
  const nlohmann::json& hostPart = doc.contains("host") ? doc["host"] : emptyObject;
  const nlohmann::json& outlookPart = doc.contains("outlook") ? doc["outlook"] : emptyObject;
  if (!hostPart.is_object()) throw FixtureError("host: expected an object");
  if (!outlookPart.is_object()) throw FixtureError("outlook: expected an object");

  const AutoDate previousNow = clock_.Now();
  clock_.Set(now);
  connection_->Begin();
  try {
    host_->LoadFixture(hostPart, now);
    try {
      outlook_->LoadFixture(outlookPart, now);
    } catch (const AutomationError& e) {
      throw FixtureError(e.Description());
    }
    StoreNow(now);
    connection_->Commit();
  } catch (const std::exception&) {
    // Both halves go back to the state before the load. The Outlook
    // attachment stays the same object: the add-in's services point at it.
    connection_->Rollback();
    clock_.Set(previousNow);
    host_ = EmbeddedHost::Open(connection_, &clock_);
    outlook_->Reload();
    throw;
  }
}

std::string Profile::DumpFixture(bool host, bool outlook) const {
  nlohmann::json doc;
  doc["now"] = clock_.Now().Format();
  if (host) doc["host"] = host_->DumpFixture();
  if (outlook) doc["outlook"] = outlook_->DumpFixture();
  return doc.dump(2);
}

void Profile::Begin() { connection_->Begin(); }

void Profile::Commit() { connection_->Commit(); }

void Profile::Rollback() {
  try {
    connection_->Rollback();
  } catch (const std::exception&) {
    // SQLite may already have ended the transaction itself (a failed commit
    // can do that); there is nothing left to undo then.
  }
  // The host and the Outlook attachment stay the objects the add-in holds;
  // the Outlook store reads its state back from the database.
  outlook_->Reload();
}

}  // namespace velklk
