// The embedded Outlook store: a complete Outlook profile (message stores,
// folders at any depth, items of every kind with standard and user
// properties, links, events, explorers) kept in an SQLite database that is
// attached to the CRM database's connection, so one transaction can span
// both. Readers work on an in-memory model loaded at Open; every change is
// written through at once, inside the connection's open transaction when
// there is one.
#pragma once

#include <functional>
#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/export.h"
#include "platform/outlook.h"

namespace velklk::sqlite {
class Connection;
}

namespace velklk::outlook {
class Model;
}

namespace velklk {

class ChangeObserver;
class StreamedJson;

class VELKLK_API EmbeddedOutlook {
 public:
  // Opens the profile in the attached database `schema` of `db` (for example
  // "outlook"), or beside other tables when `tablePrefix` names them apart
  // ("main" and "outlook_"), creating its tables when new. `clock` stamps every save and
  // must outlive the store; `language` ("de" or "en") sets the short-date
  // format of date filters. Raises AutomationError for a damaged profile.
  static std::shared_ptr<EmbeddedOutlook> Open(std::shared_ptr<sqlite::Connection> db,
                                               std::string schema, const Clock* clock,
                                               std::string language, std::string tablePrefix = "");

  // The running-object lookup: fails with 0x800401E3 while the profile is
  // switched to "not running".
  std::shared_ptr<OlAttacher> Attacher();
  // The application whatever the running switch says (for tests and tools).
  std::shared_ptr<OlApplication> Application();

  // Replaces the whole profile with the "outlook" part of a fixture, whole
  // or nothing; items without LastModificationTime get `now`. Raises
  // AutomationError naming the offending entry for a bad fixture.
  // `readAhead` holds the items read while the document was parsed (its
  // stand-ins in the document are taken from there).
  class FixtureItems;
  void LoadFixture(const nlohmann::json& outlookPart, AutoDate now,
                   FixtureItems* readAhead = nullptr);
  // The whole profile in the fixture format. With `stream`, the items of each
  // folder are a list of it (StreamedJson::List), made while it is written.
  nlohmann::json DumpFixture(StreamedJson* stream = nullptr) const;

  // A folder by "store\folder\sub" (a leading "\\" as FolderPath writes it
  // is allowed); raises 0x8004010F when a name does not exist.
  std::shared_ptr<OlFolder> FindFolder(const std::string& path);

  // One item as a fixture entry (every standard property, user properties,
  // links): for listings and events of the command.
  nlohmann::json ItemToJson(const OlItem& item) const;
  // Sets standard and user properties from a JSON object as a fixture item
  // writes them; a user property the item lacks is added (text for a text
  // value, yes/no for a Boolean). Does not save.
  void ApplyJson(OlItem& item, const nlohmann::json& properties);
  // The user enters a new item in a folder (a fixture item): created, filled,
  // saved, so it fires ItemAdd.
  std::shared_ptr<OlItem> AddItemAsUser(const std::string& folderPath, const nlohmann::json& item);

  // Profile switches (written through at once).
  bool Running() const;
  void SetRunning(bool running);
  std::string Version() const;
  void SetVersion(std::string version);
  bool Offline() const;
  void SetOffline(bool offline);
  void RefuseValue(const std::string& property, const std::string& value);

  // Explorer windows: called with the folder path, "display", "windowstate"
  // or "close", and the window state.
  using ExplorerCallback = std::function<void(const std::string& folderPath,
                                              const std::string& action, int windowState)>;
  void SetExplorerCallback(ExplorerCallback callback);
  // Item.Display: called with the item and the modal flag; without a
  // callback the entry ID and flag are recorded in Displayed().
  using DisplayCallback = std::function<void(const std::shared_ptr<OlItem>& item, bool modal)>;
  void SetDisplayCallback(DisplayCallback callback);
  std::vector<std::pair<std::string, bool>> Displayed() const;

  void SetClock(const Clock* clock);
  void SetLanguage(std::string language);
  // Tells the observer of every item saved or deleted and every property
  // definition changed from now on (changes/change_observer.h); null stops
  // it. The observer must outlive its use.
  void SetChangeObserver(ChangeObserver* observer);

  // Reads the profile again from SQLite, for a caller that rolled back the
  // connection's transaction. Handles to old items read as deleted.
  void Reload();

  std::shared_ptr<outlook::Model> GetModel() const { return model_; }

 private:
  explicit EmbeddedOutlook(std::shared_ptr<outlook::Model> model) : model_(std::move(model)) {}
  std::shared_ptr<outlook::Model> model_;
};

// The items of a fixture read while its document is parsed, so that the
// parsed document holds a small stand-in for each item instead of its
// values: a large fixture is never whole in memory.
class VELKLK_API EmbeddedOutlook::FixtureItems {
 public:
  // `now`: the time items without theirs are expected to take (LoadFixture
  // gives them the document's own in the end).
  explicit FixtureItems(AutoDate now);
  ~FixtureItems();
  FixtureItems(const FixtureItems&) = delete;
  FixtureItems& operator=(const FixtureItems&) = delete;
  // An element of a folder's "items" once parsed: its stand-in, or the item
  // itself when it is not read ahead (it lacks "class", or is not valid:
  // LoadFixture then reads it in its place and names what is wrong).
  nlohmann::json ReadAhead(nlohmann::json&& item);
  // The document's "now", once parsed.
  void SetNow(AutoDate now);

 private:
  friend class EmbeddedOutlook;
  struct Records;
  std::unique_ptr<Records> records_;
};

}  // namespace velklk
