// What the embedded Outlook store offers the server side of the profile
// (embedded/server): revisions of the items of the folders bound to a
// server, the deletions not sent yet, and the application of what the
// server sent.
//
// A tracked folder counts a revision up with every save and deletion of one
// of its items, in the same transaction as the save: the item's row in
// "outlook_revisions" holds the last revision it got, and a deleted item
// keeps its row (marked deleted) until the server side forgets it. Tracking
// starts with every item there then. A folder that is not tracked costs
// nothing more than before on a save.
//
// A received item is written like a save in Outlook (ItemAdd or ItemChange
// fires on the folder, so the add-in's listeners react), with the
// modification time the server gave it, and the caller's own writes (the
// server state of the item) go into the same transaction.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "outlook/item_codec.h"
#include "platform/auto_date.h"

namespace velklk {
class EmbeddedOutlook;
}

namespace velklk::outlook {

class Model;
struct Folder;
struct UserDef;

struct ItemRevision {
  std::string entryId;
  std::int64_t revision = 0;
  bool deleted = false;  // deleted locally; not yet forgotten
};

struct StoredItem {
  std::string entryId;
  AutoDate modified;  // LastModificationTime
  ItemData data;      // the saved values
};

class ServerStore {
 public:
  // The folder by "store\folder[\sub]"; raises AutomationError (0x8004010F)
  // when it does not exist.
  ServerStore(EmbeddedOutlook& outlook, const std::string& folderPath);

  // Starts tracking the folder when it is not tracked yet (every item there
  // gets a revision). True when it was tracked already.
  bool Track();
  bool Tracked() const;
  // The folder's last revision given out.
  std::int64_t Revision() const;
  // The items (and recorded deletions) with a revision above `mark`, in
  // the order of their revisions.
  std::vector<ItemRevision> ChangedSince(std::int64_t mark) const;
  // The revision of one item (deleted or not); none when it has none.
  std::optional<ItemRevision> RevisionOf(const std::string& entryId) const;
  // A saved item of this folder; none when it does not exist (or is in
  // another folder).
  std::optional<StoredItem> Item(const std::string& entryId) const;
  // Whether that item exists, without copying its values.
  bool Has(const std::string& entryId) const;
  // The folder's definition of a user property, found without regard to
  // case; null when it has none.
  const UserDef* FindDef(std::string_view name) const;

  // Writes a received item: the item with this entry ID (made when it does
  // not exist; "" gives a new entry ID) gets `data` and `modified`; then
  // `alsoWrite(entryId, revision)` runs in the same transaction, and after
  // it ItemAdd or ItemChange fires. Returns the entry ID. Raises
  // AutomationError when the item cannot be written (nothing is then).
  std::string ApplyReceived(const std::string& entryId, ItemData data, AutoDate modified,
                            const std::function<void(const std::string&, std::int64_t)>& alsoWrite);
  // Deletes an item the server deleted (no deletion is recorded to be
  // sent), with `alsoWrite` in the same transaction.
  void DeleteReceived(const std::string& entryId, const std::function<void()>& alsoWrite);
  // Forgets a recorded deletion (it reached the server), in the open
  // transaction.
  void ForgetDeletion(const std::string& entryId);

  // A folder bound to a collection the account may only read is read-only:
  // a save, a deletion or a new definition there raises 0x80070005, as in
  // Outlook; received items are written as always. In the open transaction
  // when there is one.
  void SetReadOnly(bool readOnly);
  bool ReadOnly() const;

 private:
  std::shared_ptr<Model> model_;
  Folder* folder_;
};

// An item an undo put back, changed back (`deleted` false) or removed below
// the store, in the folder with this id, counts as a change made here: it
// gets the next revision of its folder (a recorded deletion when removed),
// in the open transaction, so the next pass sends it. Nothing for a folder
// that is not tracked.
void CountRestored(EmbeddedOutlook& outlook, std::int64_t folderId, const std::string& entryId,
                   bool deleted);

}  // namespace velklk::outlook
