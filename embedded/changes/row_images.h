// The before-images of what a unit of work changed in a profile's database,
// kept so that the work can be undone later (velklk undo).
//
// RowCapture watches the connection's row writes (SQLite's pre-update hook)
// while it is started and keeps, for each row of the profile's tables the
// first time it is written, the row as it was (all its columns and its row
// id), or that it did not exist. Finish then reads what each of those rows
// is now and packs, per row that differs, the before-image, a fingerprint of
// the state after and the row's name as the report names it (a host table
// and record "ID", a setting, or an Outlook folder and entry ID) into one
// compact text of bytes. The bookkeeping tables of the profile (the key
// counter, the journal and its images, the profile's clock, the state of
// send/receive) are left out.
//
// Undo works on rows, below the stores: the rows come back with their row
// ids, keys, entry IDs and time stamps exactly, which no store's write path
// does (those stamp the clock and hand out new keys). The caller then has
// the stores read their state back, which rebuilds their indexes.
#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace velklk::sqlite {
class Connection;
class Statement;
}  // namespace velklk::sqlite

namespace velklk {

class RowCapture {
 public:
  explicit RowCapture(sqlite::Connection& connection);
  ~RowCapture();
  RowCapture(const RowCapture&) = delete;
  RowCapture& operator=(const RowCapture&) = delete;

  // Starts watching the connection's writes (forgetting what an earlier
  // start kept). One capture at a time per connection. Once the images kept
  // pass `limit` bytes, they could not be kept with the work anyway: the
  // capture stops keeping them and frees what it holds (Finish says so).
  void Start(std::uint64_t limit = std::numeric_limits<std::uint64_t>::max());
  // Stops watching; what was kept stays until Finish or the next Start.
  void Stop();
  bool Started() const { return started_; }
  // Stops, reads the rows written and returns the images of those that
  // changed (empty rows list when nothing did); none when they passed the
  // limit. Raises sqlite::SqliteError.
  std::optional<std::string> Finish();

 private:
  friend struct RowCaptureHook;
  // A table written while started; its rows written, each by its index in
  // touched_. Kept across starts, so that a write finds its table without
  // making a name.
  struct Table {
    std::string name;
    std::unordered_map<std::int64_t, std::size_t> rows;
  };
  struct Touched {
    const Table* table = nullptr;
    std::int64_t rowId = 0;
    bool existed = false;
    std::string before;  // the packed columns when it existed
  };
  sqlite::Statement& RowStatement(const std::string& table);
  std::string FolderPath(std::int64_t folderId);
  // Past the limit: nothing is kept any more.
  bool Passed() const { return kept_ > limit_; }

  sqlite::Connection& connection_;
  bool started_ = false;
  bool failed_ = false;  // a row could not be kept
  std::uint64_t limit_ = 0;
  std::uint64_t kept_ = 0;  // bytes of the images so far (at least)
  std::vector<Touched> touched_;
  std::vector<std::unique_ptr<Table>> tables_;
  Table& TableNamed(const char* name);
  void Forget();  // what a start kept
  std::unordered_map<std::string, std::unique_ptr<sqlite::Statement>> statements_;
};

// One row a conflict or a restore names, as the report names it.
struct RowName {
  bool outlook = false;   // an Outlook folder and entry ID, else a host table and key
  std::string container;  // table, "(settings)", "(globals)" or folder path
  std::string key;
};

// An Outlook item whose row Restore put back or removed.
struct RestoredItem {
  std::int64_t folder = 0;  // the folder's id
  std::string entryId;
  bool present = false;  // there again (or changed back); else removed
};

// The outcome of Restore: the rows that are no longer as the work left them,
// and, when it restored, the Outlook items it wrote. Those are written
// below the store, so the caller counts them as changes of their folders
// for send/receive (outlook::CountRestored).
struct RestoreOutcome {
  std::vector<RowName> conflicts;
  std::vector<RestoredItem> items;
  bool Restored() const { return conflicts.empty(); }
};

// Puts the rows of `images` back as they were before the work, inside the
// transaction open on the connection, when every one of them is still as
// the work left it; otherwise writes nothing and names the rows that
// changed since. Raises std::runtime_error for images that cannot be read
// and sqlite::SqliteError when the database refuses the writes (the caller
// rolls back).
RestoreOutcome Restore(sqlite::Connection& connection, const std::string& images);

}  // namespace velklk
