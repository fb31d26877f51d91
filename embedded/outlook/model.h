// The in-memory model of an embedded Outlook profile and its write-through to
// SQLite. Internal to the embedded Outlook store.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "outlook/filter.h"
#include "outlook/item_codec.h"
#include "outlook/start_index.h"
#include "outlook/values.h"
#include "platform/clock.h"
#include "platform/outlook.h"

namespace velklk::sqlite {
class Connection;
class Statement;
}  // namespace velklk::sqlite

namespace velklk {
class ChangeObserver;
}

namespace velklk::outlook {

struct Folder;

struct Record {
  std::int64_t rowId = 0;  // 0 until first saved
  std::string entryId;
  ItemKind kind = ItemKind::Contact;
  Folder* folder = nullptr;
  AutoDate created{kNoDateValue};
  AutoDate modified{kNoDateValue};
  ItemData saved;                   // as stored
  std::unique_ptr<ItemData> draft;  // changes not yet saved, shared by every handle
  bool deleted = false;

  const ItemData& Current() const { return draft ? *draft : saved; }
  ItemData& Edit();
  bool IsNew() const { return rowId == 0; }
};

struct UserDef {
  std::string name;
  OlUserPropertyType type;
};

struct Folder {
  std::int64_t id = 0;
  Folder* parent = nullptr;
  std::string name;
  OlItemType type = OlItemType::Mail;
  std::vector<std::unique_ptr<Folder>> children;
  std::vector<UserDef> defs;
  std::vector<std::shared_ptr<Record>> items;  // saved items, in order of rowId
  // Equality indexes on velSearch and FileAs: folded value -> items in rowId order.
  std::unordered_map<std::string, std::vector<Record*>> velSearchIndex, fileAsIndex;
  // Appointments by start, for date-range finds.
  StartIndex startIndex;
  // Ordered indexes of text properties that finds have compared by order:
  // TextIndexKey -> folded value -> items. Made at the first such find and
  // kept up to date from then on.
  mutable std::map<std::string, std::multimap<std::string, Record*>> textIndexes;
  std::vector<std::weak_ptr<OlItemsListener>> listeners;
  // Bound to a server: every save and deletion of an item counts the
  // folder's revision up and records it for the item (server_store.h).
  bool tracked = false;
  std::int64_t revision = 0;  // the last revision given out
  // Another user's folder the account may read but not write: saves,
  // deletions and definitions are refused; only received items change it.
  bool readOnly = false;
  bool retired = false;  // replaced by a fixture or a reload: no longer in the profile

  std::string Path() const;  // "\\store\folder"
  const UserDef* FindDef(std::string_view name) const;
};

struct Switches {
  bool running = true;
  std::string version = "16.0.0.0";
  bool offline = false;
  std::map<std::string, std::vector<std::string>> refused;  // property -> refused texts
};

using ExplorerCallback =
    std::function<void(const std::string& folderPath, const std::string& action, int windowState)>;
using DisplayCallback = std::function<void(const std::shared_ptr<OlItem>& item, bool modal)>;

// The whole profile state. Readers use the in-memory model; every change is
// written through to SQLite (inside the connection's open transaction when
// there is one) before the model is changed.
class Model : public std::enable_shared_from_this<Model> {
 public:
  // The profile's tables are `schema`.`tablePrefix`name ("outlook".items in
  // an attached database, "main".outlook_items beside the CRM's tables).
  Model(std::shared_ptr<sqlite::Connection> db, std::string schema, const Clock* clock,
        std::string language, std::string tablePrefix = "");
  ~Model();

  void CreateTables();
  // Reads the whole profile from SQLite into the model. Folders and items
  // still there keep their objects (handles and listeners stay valid);
  // handles of the others read as deleted or retired.
  void Load();

  // The profile's state as a whole, for fixtures.
  struct State {
    Switches switches;
    std::vector<std::unique_ptr<Folder>> stores;
    // Other users' mailboxes on the mail server: they resolve as recipients
    // and open as shared folders, but are not stores of the profile.
    std::vector<std::unique_ptr<Folder>> mailboxes;
    std::vector<std::shared_ptr<Record>> records;  // every item, all folders, in order
    // The number the next new entry ID may take: entry IDs are never handed
    // out twice in a profile, also not those of items deleted long ago.
    std::int64_t nextEntryNumber = 1;
  };
  // Writes a complete state (whole or nothing) and makes it the model.
  void Replace(State state);

  // Items.
  void SaveItem(const std::shared_ptr<Record>& record);
  void DeleteItem(const std::shared_ptr<Record>& record);
  std::shared_ptr<Record> NewRecord(Folder* folder, ItemKind kind);
  std::shared_ptr<Record> RecordByEntryId(const std::string& entryId) const;

  // The server side's access (outlook/server_store.h). Track starts the
  // revisions of a folder; the others work on a tracked folder.
  void Track(Folder* folder);
  struct Revision {
    std::string entryId;
    std::int64_t revision = 0;
    bool deleted = false;
  };
  std::vector<Revision> RevisionsAbove(const Folder* folder, std::int64_t mark);
  std::optional<Revision> RevisionOf(const std::string& entryId);
  // Writes a received item (new when no item has the entry ID; a new entry
  // ID when it is empty) with the values and modification time given,
  // calls `alsoWrite` with its entry ID and new revision inside the same
  // transaction, then fires ItemAdd/ItemChange. Returns the record.
  std::shared_ptr<Record> ApplyReceived(
      Folder* folder, const std::string& entryId, ItemData data, AutoDate modified,
      const std::function<void(const std::string&, std::int64_t)>& alsoWrite);
  // Deletes an item the server deleted: no deletion is recorded for the
  // server side. `alsoWrite` runs in the same transaction.
  void DeleteReceived(const std::shared_ptr<Record>& record, const std::function<void()>& alsoWrite);
  // Forgets the recorded deletion of an item (it reached the server).
  void ForgetDeletion(const std::string& entryId);
  // Gives an item whose row was written below the store (by an undo) the
  // next revision of its folder, as a deletion when it is gone, in the open
  // transaction; nothing when the folder is not tracked.
  void CountRestored(std::int64_t folderId, const std::string& entryId, bool deleted);
  // Makes a folder read-only or writable again (in the open transaction).
  void SetReadOnly(Folder* folder, bool readOnly);
  // Raises the error Outlook gives for a change to a read-only folder.
  static void CheckWritable(const Folder& folder);

  // Folders.
  Folder* AddFolder(Folder* parent, const std::string& name, OlItemType type);
  void AddDefinition(Folder* folder, const std::string& name, OlUserPropertyType type);
  void DeleteDefinition(Folder* folder, const std::string& name);

  // Filters on a folder's items.
  BoundFilter BindFilter(const Folder* folder, const std::string& text) const;
  std::vector<std::shared_ptr<Record>> Matches(const Folder* folder, const BoundFilter& filter,
                                               bool firstOnly) const;

  // Values as the object model shows them (derived values computed).
  static PropValue Value(const Record& record, const ItemData& data, int id);
  // Raises kOlRefusedValue when the profile refuses that value.
  void CheckRefused(const std::string& property, const PropValue& value) const;

  void FireSaved(const std::shared_ptr<Record>& record, bool added);
  // Raises 0x8004010F for a folder that is no longer part of the profile.
  void CheckFolder(const Folder& folder) const;

  // Switches.
  const Switches& GetSwitches() const { return switches_; }
  void SetSwitches(const Switches& switches);

  const std::vector<std::unique_ptr<Folder>>& Stores() const { return stores_; }
  const std::vector<std::unique_ptr<Folder>>& Mailboxes() const { return mailboxes_; }
  // A store, else another user's mailbox, by its exact name.
  Folder* FindStore(std::string_view name) const;
  // The folder by "store\\folder[\\sub...]" (empty parts are skipped);
  // raises AutomationError (0x8004010F) when there is none.
  Folder* FolderByPath(const std::string& path) const;
  // The store or other user's mailbox of an address (compared without
  // regard to case) that a recipient resolves to; nothing when none.
  Folder* ResolveMailbox(std::string_view address) const;

  const Clock* GetClock() const { return clock_; }
  // Without a clock the machine's time stamps the saves.
  void SetClock(const Clock* clock) { clock_ = clock ? clock : &systemClock_; }
  const std::string& Language() const { return language_; }
  void SetLanguage(std::string language) { language_ = std::move(language); }

  // Told of every item save and deletion and every definition change
  // (outlook/item_changes.h); none when null.
  ChangeObserver* observer = nullptr;

  ExplorerCallback explorerCallback;
  DisplayCallback displayCallback;
  std::vector<std::pair<std::string, bool>> displayed;  // entry ids shown without a callback
  std::shared_ptr<OlExplorer> activeExplorer;

 private:
  // What the folder's indexes hold for a record, in the order of the folder's
  // text indexes.
  struct IndexKeys {
    std::optional<std::string> velSearch, fileAs;
    std::optional<long long> start;
    std::vector<std::optional<std::string>> text;
  };
  IndexKeys KeysOf(const Record& record) const;
  // Adds or removes the keys; with `before`, changes only the keys that differ.
  void Apply(Record& record, const IndexKeys& keys, bool add, const IndexKeys* before = nullptr);
  void Index(Record& record, bool add) { Apply(record, KeysOf(record), add); }
  const std::multimap<std::string, Record*>& TextIndex(const Folder* folder, int id) const;
  // Writes an item's row: a new row when `added`, else its existing one.
  void WriteItem(const Record& record, const ItemData& data, bool added);
  void WriteSwitches(const Switches& switches);
  void WriteFolderTree(const Folder& folder);
  void WriteMailbox(const Folder& mailbox);
  bool HasTrackingTables();
  bool HasTable(const std::string& name);
  // Records the next revision of the folder for the item (in the open
  // transaction); the folder's counter moves once the caller succeeded.
  std::int64_t WriteRevision(const Folder& folder, const std::string& entryId, bool deleted);
  std::string Table(const char* name) const;
  // A prepared statement kept for the model's life; reset after each use.
  sqlite::Statement& Cached(const std::string& sql);
  std::string NewEntryId();
  // Counts an entry ID as handed out, in the profile (inside the open
  // transaction) when `persist`, and in memory.
  void UseEntryId(const std::string& entryId, bool persist);
  std::int64_t ReadNextEntryNumber();
  void Install(State state, bool keepIdentity);

  std::shared_ptr<sqlite::Connection> db_;
  std::string schema_;
  std::string tablePrefix_;
  SystemClock systemClock_;
  const Clock* clock_;
  std::string language_;
  const std::string insertItemSql_, updateItemSql_;  // of an item's row
  Switches switches_;
  std::vector<std::unique_ptr<Folder>> stores_;
  std::vector<std::unique_ptr<Folder>> mailboxes_;
  std::vector<std::unique_ptr<Folder>>
      retired_;  // folders of a replaced state, kept for old handles
  std::unordered_map<std::string, std::shared_ptr<Record>> byEntryId_;
  std::int64_t nextRowId_ = 1;
  std::int64_t nextFolderId_ = 1;
  std::int64_t salt_ = 0;
  std::int64_t nextEntryNumber_ = 1;
  std::unordered_map<std::string, std::unique_ptr<sqlite::Statement>> statements_;
};

}  // namespace velklk::outlook
