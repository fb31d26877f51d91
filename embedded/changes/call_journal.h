// The journal of the calls made on a profile: one JSON entry per call (time,
// user, member, counts, result), kept in the CRM database's table
// "_vk_journal" beside the host's own tables. It is bounded: it keeps the
// last kCapacity entries, and each new entry pushes the oldest out. Loading
// a fixture leaves it as it is; dumps do not show it.
//
// Each entry has a number that stays with it ("entry" when read). A real
// call's entry keeps the before-images of what it changed (row_images.h) in
// the table "_vk_undo", so that it can be undone; all images together are
// bounded by ImageLimit() bytes, and the oldest images are dropped first
// (their entries stay, marked "images": "dropped", and can no longer be
// undone).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace velklk::sqlite {
class Connection;
class Statement;
}  // namespace velklk::sqlite

namespace velklk {

class CallJournal {
 public:
  static constexpr int kCapacity = 200;
  // The bound of all before-images of a profile: 32 MB, or the number of
  // bytes the environment variable VELKLK_UNDO_LIMIT gives. Raises
  // std::runtime_error for a value that is not a number of bytes.
  static std::uint64_t ImageLimit();

  // A journal kept for many entries (a session) prepares its writes once.
  explicit CallJournal(sqlite::Connection& connection);
  ~CallJournal();
  // Appends an entry in a transaction of its own (or inside the open one)
  // and drops what falls out of the journal (in batches: the readers pass
  // over entries past the bound until then); returns the entry's number.
  // With `images`, the entry keeps them ("images": "kept") unless they
  // alone exceed `limit` ("images": "dropped"), and the oldest images go
  // until all fit in `limit`. Raises sqlite::SqliteError when the database
  // cannot be written.
  std::int64_t Append(const nlohmann::ordered_json& entry, const std::string* images = nullptr,
                      std::uint64_t limit = 0);
  // The same for a unit of work whose images grew past the bound before
  // they were made (RowCapture stopped keeping them): "images": "dropped".
  std::int64_t AppendDropped(const nlohmann::ordered_json& entry);
  // The last `count` entries, oldest first, each with its "entry" number
  // first, "images": "dropped" once its images are gone, and "undoneBy" when
  // an undo reverted it; none when the profile has no journal yet. An entry
  // that is not valid JSON reads as {"entry": N} alone.
  std::vector<nlohmann::ordered_json> Last(int count) const;

  struct Stored {
    nlohmann::ordered_json entry;       // as Last reads it
    std::optional<std::string> images;  // none when not kept
    std::optional<std::int64_t> undoneBy;
  };
  // Entry `number`; nothing when the journal has no such entry.
  std::optional<Stored> Find(std::int64_t number) const;
  // The number of the last entry that is neither a dry run, a send/receive
  // pass that received nothing, nor undone.
  std::optional<std::int64_t> LastUndoable() const;
  // An entry of a send/receive pass.
  static bool IsPass(const nlohmann::ordered_json& entry);
  // A send/receive pass whose entry counts nothing received.
  static bool ReceivedNothing(const nlohmann::ordered_json& entry);
  // Records that entry `number` was undone by entry `by` (or, with nothing,
  // that it is in effect again: its undo was undone).
  void SetUndoneBy(std::int64_t number, std::optional<std::int64_t> by);

 private:
  // How many of the journal's two tables (entries, images) exist.
  int Tables() const;
  std::int64_t Write(const nlohmann::ordered_json& entry, const std::string* images,
                     std::uint64_t limit, bool dropped);
  nlohmann::ordered_json Read(std::int64_t number, const std::string& text, bool imagesKept,
                              std::optional<std::int64_t> undoneBy) const;
  sqlite::Statement& Cached(const char* sql);
  sqlite::Connection& connection_;
  bool ready_ = false;  // its tables exist
  std::map<std::string, std::unique_ptr<sqlite::Statement>> statements_;
};

}  // namespace velklk
