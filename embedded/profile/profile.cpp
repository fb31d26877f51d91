#include "profile/profile.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "changes/call_journal.h"
#include "changes/row_images.h"
#include "components/error_text.h"
#include "components/file_system.h"
#include "components/gender.h"
#include "components/json_stream.h"
#include "components/xml_document.h"
#include "platform/automation_error.h"
#include "platform/user_interface.h"

namespace velklk {
namespace {

namespace fs = std::filesystem;

constexpr const char* kCrmFile = "crm.db";
// The Outlook profile's tables beside the CRM's: "main"."outlook_items"...
constexpr const char* kOutlookSchema = "main";
constexpr const char* kOutlookPrefix = "outlook_";
constexpr const char* kOutlookTables[] = {"settings",          "refused_values", "folders",
                                          "folder_properties", "items",          "mailboxes"};
// The Outlook profile's own file in the earlier layout, and the schema it is
// attached as while its tables move over.
constexpr const char* kEarlierOutlookFile = "outlook.db";
constexpr const char* kEarlierSchema = "earlier_outlook";

// The files a profile folder gets (the log and its index while the database
// is open, the rollback journal of the earlier layout).
constexpr const char* kProfileFiles[] = {"crm.db", "crm.db-wal", "crm.db-shm", "crm.db-journal"};

bool HasTable(sqlite::Connection& db, const std::string& schema, const std::string& name) {
  auto st = db.Prepare("SELECT 1 FROM " + sqlite::QuoteIdentifier(schema) +
                       ".sqlite_master WHERE type = 'table' AND name = ?1");
  return st.Bind(1, name).Step();
}

// What Profile::Create made, removed again unless the profile came to be.
class Creation {
 public:
  explicit Creation(const fs::path& folder) {
    // The outermost missing folder: removing it removes every folder made.
    for (fs::path p = folder; !p.empty(); p = p.parent_path()) {
      std::error_code error;
      const fs::file_status status = fs::status(p, error);
      if (status.type() == fs::file_type::not_found) {
        firstMissing_ = p;
        if (p == p.parent_path()) break;
        continue;
      }
      if (error) throw std::runtime_error("cannot read '" + p.string() + "': " + error.message());
      if (!fs::is_directory(status))
        throw std::runtime_error("'" + p.string() + "' is not a folder");
      break;
    }
    if (firstMissing_.empty()) {
      for (const char* name : kProfileFiles)
        if (!fs::exists(folder / name)) files_.push_back(folder / name);
    }
  }
  ~Creation() {
    if (kept_) return;
    std::error_code ignored;  // what cannot be removed stays; the error raised is the one to tell
    if (!firstMissing_.empty()) fs::remove_all(firstMissing_, ignored);
    for (const auto& file : files_) fs::remove(file, ignored);
  }
  Creation(const Creation&) = delete;
  Creation& operator=(const Creation&) = delete;
  void Keep() { kept_ = true; }

 private:
  fs::path firstMissing_;
  std::vector<fs::path> files_;
  bool kept_ = false;
};

}  // namespace

sqlite::Durability Profile::DurabilitySetting() {
  const char* value = std::getenv("VELKLK_DURABILITY");
  const std::string text = value != nullptr ? value : "";
  if (text.empty() || text == "process") return sqlite::Durability::ProcessKill;
  if (text == "power") return sqlite::Durability::PowerLoss;
  throw std::runtime_error("VELKLK_DURABILITY: expected \"process\" or \"power\", got '" + text +
                           "'");
}

bool Profile::Exists(const std::string& directory) {
  std::error_code error;
  return fs::is_regular_file(fs::path(directory) / kCrmFile, error);
}

std::unique_ptr<Profile> Profile::Open(const std::string& directory,
                                       sqlite::Durability durability) {
  std::error_code error;
  if (!fs::is_directory(directory, error)) {
    throw std::runtime_error("profile folder '" + directory + "' does not exist");
  }
  std::unique_ptr<Profile> profile(new Profile());
  profile->directory_ = directory;
  profile->connection_ = sqlite::Connection::Open((fs::path(directory) / kCrmFile).string(),
                                                  sqlite::Journal::Wal, durability);
  // A CRM database that was there before has a layout to look at.
  const bool existed = HasTable(*profile->connection_, "main", "_vk_meta");
  profile->files_ = std::make_unique<PosixFileSystem>();
  profile->OpenStores();
  profile->SettleLayout(existed);
  return profile;
}

std::unique_ptr<Profile> Profile::Create(const std::string& directory,
                                         const std::string& fixtureJson,
                                         sqlite::Durability durability) {
  std::istringstream in(fixtureJson);
  return Create(directory, in, durability);
}

std::unique_ptr<Profile> Profile::Create(const std::string& directory, std::istream& fixture,
                                         sqlite::Durability durability) {
  if (Exists(directory)) throw std::runtime_error("'" + directory + "' already holds a profile");
  Creation creation{fs::path(directory)};
  fs::create_directories(directory);
  auto profile = Open(directory, durability);
  profile->LoadFixture(fixture);
  creation.Keep();
  return profile;
}

std::unique_ptr<Profile> Profile::InMemory() {
  // Every in-memory profile gets its own database names: the memory VFS
  // shares a database between connections of the process by name.
  static std::atomic<int> counter{0};
  const std::string folder = "/velklk-memory-" + std::to_string(++counter);
  std::unique_ptr<Profile> profile(new Profile());
  profile->connection_ = sqlite::Connection::Open("file:" + folder + "/" + kCrmFile + "?vfs=memdb");
  auto files = std::make_unique<MemoryFileSystem>();
  files->AddFolder(folder);
  profile->memoryFiles_ = files.get();
  profile->files_ = std::move(files);
  profile->OpenStores();
  return profile;
}

Profile::Profile() : clock_(AutoDate()) {}
Profile::~Profile() = default;

RowCapture& Profile::Capture() {
  if (!capture_) capture_ = std::make_unique<RowCapture>(*connection_);
  return *capture_;
}

CallJournal& Profile::Journal() {
  if (!journal_) journal_ = std::make_unique<CallJournal>(*connection_);
  return *journal_;
}

void Profile::OpenStores() {
  connection_->Exec(
      "CREATE TABLE IF NOT EXISTS main._vk_profile(key TEXT PRIMARY KEY, value TEXT)");
  LoadNow();
  errorText_ = std::make_unique<TableErrorText>();
  xml_ = std::make_unique<PugiXmlFactory>();
  gender_ = std::make_unique<NameListGenderFactory>();
  host_ = EmbeddedHost::Open(connection_, &clock_);
  outlook_ = EmbeddedOutlook::Open(connection_, kOutlookSchema, &clock_, language_, kOutlookPrefix);
  attacher_ = outlook_->Attacher();
}

std::optional<std::string> Profile::Layout() {
  auto st = connection_->Prepare("SELECT value FROM main._vk_profile WHERE key = 'layout'");
  if (!st.Step()) return std::nullopt;
  return st.Text(0);
}

void Profile::SettleLayout(bool existed) {
  // The layout is recorded with the profile: "one file" when it was made so,
  // "taken over" once the tables of an earlier "outlook.db" moved in. A CRM
  // database that was there before without a record is of the earlier
  // layout (its Outlook tables may have been made empty by an opening that
  // ended before the takeover).
  const fs::path earlier = fs::path(directory_) / kEarlierOutlookFile;
  std::error_code error;
  std::optional<std::string> layout = Layout();
  if (!layout && existed && fs::is_regular_file(earlier, error)) {
    // Attaching the file rolls back what its journal holds of an unfinished
    // commit (together with the CRM database's half of it), so the tables
    // moved are those of the last whole unit of work.
    connection_->Attach(earlier.string(), kEarlierSchema);
    try {
      sqlite::Transaction move(*connection_, sqlite::Transaction::Locking::Immediate);
      for (const char* table : kOutlookTables) {
        const std::string target = sqlite::QuoteIdentifier(kOutlookSchema) + "." +
                                   sqlite::QuoteIdentifier(std::string(kOutlookPrefix) + table);
        connection_->Exec("DELETE FROM " + target);
        if (!HasTable(*connection_, kEarlierSchema, table)) continue;
        connection_->Exec("INSERT INTO " + target + " SELECT * FROM " +
                          sqlite::QuoteIdentifier(kEarlierSchema) + "." +
                          sqlite::QuoteIdentifier(table));
      }
      connection_->Exec("INSERT INTO main._vk_profile VALUES('layout', 'taken over')");
      move.Commit();
    } catch (const sqlite::SqliteError& e) {
      connection_->Detach(kEarlierSchema);
      throw std::runtime_error("cannot take over the Outlook profile '" + earlier.string() +
                               "' of the earlier layout: " + e.what());
    }
    connection_->Detach(kEarlierSchema);
    outlook_->Reload();
    layout = "taken over";
  } else if (!layout) {
    connection_->Exec("INSERT INTO main._vk_profile VALUES('layout', 'one file')");
    layout = "one file";
  }
  // The earlier file goes once its tables are in the CRM database (also
  // when a process ended between the two).
  if (*layout == "taken over") {
    fs::remove(earlier, error);
    fs::remove(fs::path(directory_) / (std::string(kEarlierOutlookFile) + "-journal"), error);
  }
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

namespace {

using Json = nlohmann::json;

// Builds the document of a fixture as it is parsed, as nlohmann's own parser
// does, except that each Outlook item (an element of a folder's "items")
// is read as soon as it is parsed and stands in the document as a small
// value (EmbeddedOutlook::FixtureItems), and each host record is packed
// (EmbeddedHost::PackRecord): the document of a large fixture never holds
// its items and records whole.
class FixtureParser final : public nlohmann::json_sax<Json> {
 public:
  FixtureParser(Json& root, EmbeddedOutlook::FixtureItems& items) : root_(root), items_(items) {}

  bool null() override { return Add(nullptr); }
  bool boolean(bool value) override { return Add(value); }
  bool number_integer(number_integer_t value) override { return Add(value); }
  bool number_unsigned(number_unsigned_t value) override { return Add(value); }
  bool number_float(number_float_t value, const string_t&) override { return Add(value); }
  bool string(string_t& value) override {
    // The document's time, for the items read before it is all parsed.
    if (open_.size() == 1 && !open_[0].array && key_ == "now")
      if (auto now = AutoDate::Parse(value)) items_.SetNow(*now);
    return Add(std::move(value));
  }
  bool binary(binary_t&) override { return false; }  // not in JSON text
  bool start_object(std::size_t) override { return Open(Json::object(), false); }
  bool key(string_t& name) override {
    key_ = std::move(name);
    return true;
  }
  bool end_object() override {
    Frame done = open_.back();
    open_.pop_back();
    if (InItems()) {
      *done.value = items_.ReadAhead(std::move(*done.value));
    } else if (InTable()) {
      *done.value = EmbeddedHost::PackRecord(std::move(*done.value));
    }
    return true;
  }
  bool start_array(std::size_t) override { return Open(Json::array(), true); }
  bool end_array() override {
    open_.pop_back();
    return true;
  }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& e) override {
    error_ = e.what();
    return false;
  }
  const std::string& Error() const { return error_; }

 private:
  struct Frame {
    Json* value;
    bool array;
    std::string key;  // its name in the object holding it
  };

  Json* Place(Json&& value) {
    if (open_.empty()) {
      root_ = std::move(value);
      return &root_;
    }
    Json& parent = *open_.back().value;
    if (open_.back().array) {
      parent.push_back(std::move(value));
      return &parent.back();
    }
    Json& member = parent[key_];
    member = std::move(value);
    return &member;
  }
  bool Add(Json&& value) {
    Place(std::move(value));
    return true;
  }
  bool Open(Json&& value, bool array) {
    std::string key = open_.empty() || open_.back().array ? std::string() : key_;
    open_.push_back({Place(std::move(value)), array, std::move(key)});
    return true;
  }
  // The innermost open value is the "items" list of a folder of the Outlook
  // part: root, "outlook", "stores" or "mailboxes", then folder objects and
  // "folders" lists in turn, then "items".
  bool InItems() const {
    const std::size_t top = open_.size() - 1;
    if (open_.size() < 5 || top % 2 != 0) return false;
    if (open_[1].array || open_[1].key != "outlook") return false;
    if (!open_[2].array || (open_[2].key != "stores" && open_[2].key != "mailboxes")) return false;
    for (std::size_t i = 3; i < top; ++i) {
      if (i % 2 == 1 && open_[i].array) return false;
      if (i % 2 == 0 && (!open_[i].array || open_[i].key != "folders")) return false;
    }
    return open_[top].array && open_[top].key == "items";
  }

  // The innermost open value is a table's list of records: root, "host",
  // "tables", then the table.
  bool InTable() const {
    return open_.size() == 4 && !open_[1].array && open_[1].key == "host" && !open_[2].array &&
           open_[2].key == "tables" && open_[3].array;
  }

  Json& root_;
  EmbeddedOutlook::FixtureItems& items_;
  std::vector<Frame> open_;
  std::string key_;
  std::string error_;
};

}  // namespace

void Profile::LoadFixture(const std::string& jsonText) {
  std::istringstream in(jsonText);
  LoadFixture(in);
}

void Profile::LoadFixture(std::istream& in) {
  nlohmann::json doc;
  EmbeddedOutlook::FixtureItems items(clock_.Now());
  {
    FixtureParser parser(doc, items);
    // A syntax error or a number out of range.
    if (!nlohmann::json::sax_parse(in, &parser))
      throw FixtureError("fixture is not valid JSON: " + parser.Error());
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
  try {
    sqlite::Transaction load(*connection_, sqlite::Transaction::Locking::Immediate);
    host_->LoadFixture(hostPart, now);
    try {
      outlook_->LoadFixture(outlookPart, now, &items);
    } catch (const AutomationError& e) {
      throw FixtureError(e.Description());
    }
    StoreNow(now);
    load.Commit();
  } catch (const std::exception&) {
    // Both halves are back at the state before the load. The Outlook
    // attachment stays the same object: the add-in's services point at it.
    clock_.Set(previousNow);
    host_ = EmbeddedHost::Open(connection_, &clock_);
    outlook_->Reload();
    throw;
  }
}

std::string Profile::DumpFixture(bool host, bool outlook) const {
  std::ostringstream out;
  DumpFixture(out, host, outlook);
  return out.str();
}

void Profile::DumpFixture(std::ostream& out, bool host, bool outlook) const {
  // The records and items are read and written one at a time.
  StreamedJson stream;
  nlohmann::json doc;
  doc["now"] = clock_.Now().Format();
  if (host) doc["host"] = host_->DumpFixture(&stream);
  if (outlook) doc["outlook"] = outlook_->DumpFixture(&stream);
  stream.Write(out, doc);
}

void Profile::Begin() { connection_->Begin(); }

void Profile::Commit() { connection_->Commit(); }

void Profile::Rollback() {
  connection_->Rollback();
  ReloadState();
}

void Profile::ReloadState() {
  host_->ReloadState();
  outlook_->Reload();
}

void ProfileUnitOfWork::Commit() {
  if (!work_.IsOpen()) return;
  try {
    work_.Commit();
  } catch (const sqlite::SqliteError&) {
    profile_.ReloadState();
    throw;
  }
}

ProfileUnitOfWork::~ProfileUnitOfWork() {
  try {
    Commit();
  } catch (const std::exception&) {
    // Rolled back by Commit; the caller did not ask to hear of it.
  }
}

}  // namespace velklk
