// The send/receive engine: one pass keeps a folder of the profile bound to a
// server collection and that collection equal (docs/server.md,
// "Send/receive").
//
// A pass of a folder lists what changed on the server (sync-collection from
// the stored token; without one, or when the server no longer knows it, the
// full listing compared with the status table), fetches the changed
// resources with multiget in pages and applies them one at a time; then it
// sends what changed in the profile since the last pass (PUT If-None-Match
// for a new item, PUT If-Match for a change, DELETE If-Match for a
// deletion). Each item is its request first, then one local transaction
// with the item and its status row. An item changed on both sides goes to
// the newer modification; the losing version is kept in the pass's journal
// entry. A failure stops its item, not the pass; a transport failure stops
// the folder. The sync token is stored only when every change up to it was
// applied.
//
// The item kinds differ only in their codec (ItemKindCodec).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "outlook/item_codec.h"
#include "server/contact_codec.h"
#include "server/accounts.h"
#include "server/dav_client.h"

namespace velklk {
class EmbeddedOutlook;
}
namespace velklk::sqlite {
class Connection;
}

namespace velklk::server {

// What the engine needs of one item kind: its text on the server and back.
class ItemKindCodec {
 public:
  struct Decoded {
    outlook::ItemData data;  // the mapped values and the kept text
    std::optional<std::string> uid;
    std::optional<std::chrono::sys_seconds> revision;  // REV / LAST-MODIFIED
    std::string canonical;                             // the text hashed
    long sequence = 0;  // SEQUENCE of a calendar object (0 for a contact)
  };
  struct Encoded {
    std::string text;
    std::string canonical;
  };
  virtual ~ItemKindCodec() = default;
  // Raises an exception (with a message for the user) for text it cannot read.
  virtual Decoded Decode(std::string_view text, const FindUserDef& defs) const = 0;
  // `sequence` is the SEQUENCE a calendar object is sent with (the engine
  // counts it up on every change it sends); the canonical text leaves it
  // out, as it leaves out every stamp of the moment of writing.
  virtual Encoded Encode(const outlook::ItemData& item, std::string_view uid,
                         std::optional<std::chrono::sys_seconds> revision,
                         long sequence) const = 0;
  // `item` takes the received values (what the mapping does not know stays).
  virtual void Apply(const outlook::ItemData& received, outlook::ItemData& item) const = 0;
  virtual std::string ContentType() const = 0;
  virtual bool Calendar() const = 0;  // calendar-multiget instead of addressbook-multiget
};

// Raised by Decode for a calendar object of the other kind than the
// folder's (a task in a calendar's collection, an event in a task list's).
// A collection bound to both folders of a store holds both kinds: each
// folder then passes over the other's objects; else the object is an error
// of its item.
class OtherComponentError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The codec of a bound folder's kind ("contacts", "calendar", "tasks"),
// for a profile keeping local times in `zone` ("" for TZ, else the
// system's); null for a kind not built yet.
std::unique_ptr<ItemKindCodec> CodecForKind(const std::string& kind, const std::string& zone);

struct SyncCounts {
  long created = 0, changed = 0, deleted = 0;
};

struct FolderPassResult {
  std::string folder;  // "store\folder"
  SyncCounts received, sent;
  long conflicts = 0;
  // False when the server could not be reached at all (no connection, the
  // password refused) before anything was done.
  bool reached = true;
  // Why the folder could not finish (an item that failed, the server that
  // failed); none when it did.
  std::optional<std::string> error;
  // The conflicts' losing versions, with both versions, for the journal.
  nlohmann::ordered_json conflictEntries = nlohmann::ordered_json::array();
  // {"received": {...}, "sent": {...}, "conflicts": n[, "error": TEXT]}.
  nlohmann::ordered_json Json() const;
};

struct PassOptions {
  enum class Phase { Both, Receive, Send };
  Phase phase = Phase::Both;
  // The guard against mass deletion: asked before the received deletions of
  // a folder with their count; false keeps those items (they are sent
  // again). Null: every deletion is made.
  std::function<bool(const std::string& folder, long count)> mayDelete;
  // Told of the items handled so far and the total known.
  std::function<void(long done, long total)> progress;
  // The modification time of a received item without a revision (the pass's
  // time, in the profile's local time).
  AutoDate now;
  // Timeouts and bounds of the requests (user and password are set here).
  DavSettings settings;
  std::size_t pageSize = 100;
};

class SyncEngine {
 public:
  // `reload` reads the profile's state back after a local transaction that
  // was rolled back.
  SyncEngine(sqlite::Connection& db, EmbeddedOutlook& outlook, std::function<void()> reload);

  // One pass over the bound folders of an account. Raises AccountError when
  // the password cannot be read; the failures of the server are each
  // folder's error. `client` is made from the account when null.
  std::vector<FolderPassResult> Run(const Account& account, const PassOptions& options,
                                    DavClient* client = nullptr);

  // The requests the last pass sent.
  int Requests() const { return requests_; }

 private:
  sqlite::Connection& db_;
  EmbeddedOutlook& outlook_;
  std::function<void()> reload_;
  int requests_ = 0;
};

// Local time of the zone ("" for TZ, else the system's) at a moment, and
// back.
AutoDate LocalTime(std::chrono::sys_seconds moment, const std::string& zone);
std::chrono::sys_seconds UtcOf(AutoDate local, const std::string& zone);

}  // namespace velklk::server
