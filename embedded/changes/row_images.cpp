#define SQLITE_ENABLE_PREUPDATE_HOOK 1
#include "changes/row_images.h"

#include <sqlite3.h>

#include <cstring>
#include <map>
#include <optional>
#include <stdexcept>

#include "sqlite/connection.h"
#include "sqlite/transaction.h"

namespace velklk {
namespace {

// The images start with this tag (and its version).
constexpr char kMagic[] = "VKI1";
constexpr std::size_t kMagicSize = sizeof kMagic - 1;
// The names of the profile's Outlook tables beside the CRM's.
constexpr char kOutlookItems[] = "outlook_items";
constexpr char kOutlookDefinitions[] = "outlook_folder_properties";
constexpr char kOutlookFolders[] = "outlook_folders";

enum Flags : unsigned char { kExisted = 1, kExists = 2, kOutlook = 4 };
enum Tag : unsigned char { kNull = 0, kInteger = 1, kFloat = 2, kText = 3, kBlob = 4 };

// Tables whose rows are bookkeeping, not state: the key counter and the
// Outlook store's entry ID counter (keys and entry IDs are never handed out
// twice, also after an undo), the journal and its images, the profile's
// clock and layout, SQLite's own, and the state of send/receive (the
// revisions of the bound folders, the accounts, the status rows and sync
// tokens): what a pass recorded stays true after an undo, and the items an
// undo writes count as new changes instead (Restore).
bool Watched(const char* table) {
  if (std::strncmp(table, "sqlite_", 7) == 0 || std::strncmp(table, "_vk_server_", 11) == 0)
    return false;
  for (const char* skipped :
       {"_vk_meta", "_vk_journal", "_vk_undo", "_vk_profile", "outlook_entry_ids",
        "outlook_revisions", "outlook_tracked_folders", "outlook_read_only_folders"})
    if (std::strcmp(table, skipped) == 0) return false;
  return true;
}

void PutVarint(std::string& out, std::uint64_t v) {
  while (v >= 0x80) {
    out.push_back(static_cast<char>((v & 0x7F) | 0x80));
    v >>= 7;
  }
  out.push_back(static_cast<char>(v));
}

void PutFixed(std::string& out, std::uint64_t v) {
  char bytes[8];
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  out.append(bytes, sizeof bytes);
}

void PutBytes(std::string& out, const void* data, std::size_t size) {
  PutVarint(out, size);
  out.append(static_cast<const char*>(data), size);
}

void PutText(std::string& out, const std::string& text) { PutBytes(out, text.data(), text.size()); }

// Reads what the Put functions wrote; damaged images raise.
class Reader {
 public:
  Reader(const std::string& data, std::size_t pos) : data_(data), pos_(pos) {}
  bool AtEnd() const { return pos_ >= data_.size(); }
  std::uint64_t Varint() {
    std::uint64_t v = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      const auto byte = static_cast<unsigned char>(Byte());
      v |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
      if ((byte & 0x80) == 0) return v;
    }
    Damaged();
  }
  std::uint64_t Fixed() {
    Need(8);
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i)
      v |= static_cast<std::uint64_t>(static_cast<unsigned char>(data_[pos_ + i])) << (8 * i);
    pos_ += 8;
    return v;
  }
  char Byte() {
    Need(1);
    return data_[pos_++];
  }
  std::string Bytes() {
    const std::uint64_t size = Varint();
    Need(size);
    std::string out = data_.substr(pos_, size);
    pos_ += size;
    return out;
  }

 private:
  void Need(std::uint64_t n) const {
    if (n > data_.size() - pos_) Damaged();
  }
  [[noreturn]] static void Damaged() {
    throw std::runtime_error("the before-images of the entry are damaged");
  }
  const std::string& data_;
  std::size_t pos_;
};

// One column value of a packed row.
struct Value {
  Tag tag = kNull;
  std::int64_t integer = 0;
  double real = 0;
  std::string bytes;
};

std::vector<Value> Unpack(const std::string& packed) {
  Reader in(packed, 0);
  const std::uint64_t count = in.Varint();
  if (count > packed.size())  // each value takes a byte at least
    throw std::runtime_error("the before-images of the entry are damaged");
  std::vector<Value> values(count);
  for (auto& v : values) {
    v.tag = static_cast<Tag>(in.Byte());
    switch (v.tag) {
      case kNull:
        break;
      case kInteger:
        v.integer = static_cast<std::int64_t>(in.Fixed());
        break;
      case kFloat: {
        const std::uint64_t bits = in.Fixed();
        std::memcpy(&v.real, &bits, sizeof bits);
        break;
      }
      case kText:
      case kBlob:
        v.bytes = in.Bytes();
        break;
      default:
        throw std::runtime_error("the before-images of the entry are damaged");
    }
  }
  return values;
}

void PackValue(std::string& out, int type, std::int64_t integer, double real, const void* bytes,
               std::size_t size) {
  switch (type) {
    case SQLITE_INTEGER:
      out.push_back(static_cast<char>(kInteger));
      PutFixed(out, static_cast<std::uint64_t>(integer));
      return;
    case SQLITE_FLOAT: {
      std::uint64_t bits;
      std::memcpy(&bits, &real, sizeof bits);
      out.push_back(static_cast<char>(kFloat));
      PutFixed(out, bits);
      return;
    }
    case SQLITE_TEXT:
    case SQLITE_BLOB:
      out.push_back(static_cast<char>(type == SQLITE_TEXT ? kText : kBlob));
      PutBytes(out, bytes, size);
      return;
    default:
      out.push_back(static_cast<char>(kNull));
  }
}

// The bytes of the row a statement stands on, packed as the hook packs a
// row, handed to `sink` piece by piece (sink(data, size)).
template <typename Sink>
void WalkRow(const sqlite::Statement& st, Sink&& sink) {
  char head[16];
  auto varint = [&](std::uint64_t v) {
    std::size_t n = 0;
    while (v >= 0x80) {
      head[n++] = static_cast<char>((v & 0x7F) | 0x80);
      v >>= 7;
    }
    head[n++] = static_cast<char>(v);
    sink(head, n);
  };
  auto fixed = [&](Tag tag, std::uint64_t v) {
    head[0] = static_cast<char>(tag);
    for (int i = 0; i < 8; ++i) head[1 + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    sink(head, 9);
  };
  const int n = st.ColumnCount();
  varint(static_cast<std::uint64_t>(n));
  for (int i = 0; i < n; ++i) {
    const int type = st.ColumnType(i);
    if (type == SQLITE_INTEGER) {
      fixed(kInteger, static_cast<std::uint64_t>(st.Int(i)));
    } else if (type == SQLITE_FLOAT) {
      const double real = st.Double(i);
      std::uint64_t bits;
      std::memcpy(&bits, &real, sizeof bits);
      fixed(kFloat, bits);
    } else if (type == SQLITE_TEXT || type == SQLITE_BLOB) {
      const std::string_view bytes = st.Bytes(i);
      const char tag = static_cast<char>(type == SQLITE_TEXT ? kText : kBlob);
      sink(&tag, 1);
      varint(bytes.size());
      sink(bytes.data(), bytes.size());
    } else {
      const char tag = static_cast<char>(kNull);
      sink(&tag, 1);
    }
  }
}

// The row a statement stands on, packed as the hook packs a row.
std::string PackRow(const sqlite::Statement& st) {
  std::string out;
  WalkRow(st, [&](const char* data, std::size_t size) { out.append(data, size); });
  return out;
}

// FNV-1a: the fingerprint of a row's state after the work.
constexpr std::uint64_t kFingerprintStart = 14695981039346656037ull;
std::uint64_t Fingerprint(std::uint64_t hash, const char* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    hash ^= static_cast<unsigned char>(data[i]);
    hash *= 1099511628211ull;
  }
  return hash;
}

// The fingerprint of the row a statement stands on, packed, and whether
// that packed row is `before` (when given), without packing it.
struct RowDigest {
  std::uint64_t fingerprint = kFingerprintStart;
  bool same = true;
};
RowDigest DigestRow(const sqlite::Statement& st, const std::string* before) {
  RowDigest digest;
  std::size_t at = 0;
  WalkRow(st, [&](const char* data, std::size_t size) {
    digest.fingerprint = Fingerprint(digest.fingerprint, data, size);
    if (before == nullptr || !digest.same) return;
    digest.same = size <= before->size() - at && before->compare(at, size, data, size) == 0;
    at += size;
  });
  digest.same = digest.same && (before == nullptr || at == before->size());
  return digest;
}

std::string SelectRowSql(const std::string& table) {
  return "SELECT * FROM main." + sqlite::QuoteIdentifier(table) + " WHERE rowid = ?1";
}

// The index of a named column of a statement's rows.
std::size_t ColumnIndex(const sqlite::Statement& st, const char* name) {
  for (int i = 0; i < st.ColumnCount(); ++i)
    if (st.ColumnName(i) == name) return static_cast<std::size_t>(i);
  throw std::runtime_error(std::string("the profile's items have no column ") + name);
}

std::string TextOf(const Value& v) {
  if (v.tag == kInteger) return std::to_string(v.integer);
  return v.bytes;
}

// The row's name as the report gives it, its values found by `column`.
template <typename ColumnFn, typename FolderPathFn>
RowName NameFrom(const std::string& table, std::int64_t rowId, ColumnFn&& lookup,
                 FolderPathFn&& folderPath) {
  // Values looked up stay while the name is made.
  std::vector<std::unique_ptr<Value>> held;
  auto column = [&](const char* name) -> const Value* {
    std::optional<Value> found = lookup(name);
    if (!found) return nullptr;
    held.push_back(std::make_unique<Value>(std::move(*found)));
    return held.back().get();
  };
  RowName out;
  out.container = table;
  out.key = std::to_string(rowId);
  if (table == kOutlookItems || table == kOutlookDefinitions || table == kOutlookFolders) {
    out.outlook = true;
    const Value* folder = column(table == kOutlookFolders ? "id" : "folder");
    out.container = folder != nullptr ? folderPath(folder->integer) : std::string();
    if (table == kOutlookItems) {
      if (const Value* id = column("entry_id")) out.key = TextOf(*id);
    } else if (table == kOutlookDefinitions) {
      if (const Value* name = column("name")) out.key = "definition." + TextOf(*name);
    } else {
      out.key.clear();
      if (const Value* name = column("name"); out.container.empty() && name != nullptr)
        out.container = TextOf(*name);
    }
  } else if (table == "_vk_settings") {
    const Value* user = column("user");
    const Value* key = column("key");
    out.container = "(settings)";
    if (user && key) out.key = TextOf(*user) + "\\" + TextOf(*key);
  } else if (table == "_vk_globals") {
    out.container = "(globals)";
    if (const Value* name = column("name")) out.key = TextOf(*name);
  } else if (const Value* id = column("ID")) {
    out.key = TextOf(*id);
  }
  return out;
}

// The row's name as the report gives it, from its packed values (`columns`
// names them); `folderPath` finds a folder's path.
template <typename FolderPathFn>
RowName NameOf(const std::string& table, std::int64_t rowId, const sqlite::Statement& columns,
               const std::vector<Value>& values, FolderPathFn&& folderPath) {
  return NameFrom(
      table, rowId,
      [&](const char* name) -> std::optional<Value> {
        for (int i = 0; i < columns.ColumnCount() && i < static_cast<int>(values.size()); ++i)
          if (columns.ColumnNameView(i) == name) return values[static_cast<std::size_t>(i)];
        return std::nullopt;
      },
      folderPath);
}

// The same of the row a statement stands on, read without packing it.
template <typename FolderPathFn>
RowName NameOfRow(const std::string& table, std::int64_t rowId, const sqlite::Statement& st,
                  FolderPathFn&& folderPath) {
  return NameFrom(
      table, rowId,
      [&](const char* name) -> std::optional<Value> {
        for (int i = 0; i < st.ColumnCount(); ++i) {
          if (st.ColumnNameView(i) != name) continue;
          Value v;
          switch (st.ColumnType(i)) {
            case SQLITE_INTEGER:
              v.tag = kInteger;
              v.integer = st.Int(i);
              break;
            case SQLITE_FLOAT:
              v.tag = kFloat;
              v.real = st.Double(i);
              break;
            case SQLITE_TEXT:
            case SQLITE_BLOB:
              v.tag = st.ColumnType(i) == SQLITE_TEXT ? kText : kBlob;
              v.bytes = std::string(st.Bytes(i));
              break;
            default:
              break;
          }
          return v;
        }
        return std::nullopt;
      },
      folderPath);
}

}  // namespace

// The pre-update hook: keeps the first image of every row written.
struct RowCaptureHook {
  static void Call(void* context, sqlite3* db, int op, const char* schema, const char* table,
                   sqlite3_int64 oldKey, sqlite3_int64 newKey) {
    auto* capture = static_cast<RowCapture*>(context);
    if (capture->Passed() || std::strcmp(schema, "main") != 0 || !Watched(table)) return;
    try {
      RowCapture::Table& written = capture->TableNamed(table);
      auto& rows = written.rows;
      auto keep = [&](std::int64_t rowId, bool existed) {
        if (capture->Passed() || rows.count(rowId) != 0) return;
        RowCapture::Touched touched;
        touched.table = &written;
        touched.rowId = rowId;
        touched.existed = existed;
        if (existed) {
          const int n = sqlite3_preupdate_count(db);
          PutVarint(touched.before, static_cast<std::uint64_t>(n));
          for (int i = 0; i < n; ++i) {
            sqlite3_value* v = nullptr;
            if (sqlite3_preupdate_old(db, i, &v) != SQLITE_OK || v == nullptr) {
              PackValue(touched.before, SQLITE_NULL, 0, 0, nullptr, 0);
              continue;
            }
            const int type = sqlite3_value_type(v);
            const void* bytes = type == SQLITE_BLOB
                                    ? sqlite3_value_blob(v)
                                    : static_cast<const void*>(sqlite3_value_text(v));
            PackValue(touched.before, type, sqlite3_value_int64(v), sqlite3_value_double(v), bytes,
                      static_cast<std::size_t>(sqlite3_value_bytes(v)));
          }
        }
        // The images hold, for every row the work changed, at least its
        // table's name, these bytes (row id, flags, fingerprint, the
        // lengths of its name) and its before-image. Past the limit they
        // could not be kept (a row written and written back as it was would
        // not have counted: a case too rare to read every row again for).
        constexpr std::uint64_t kLeastPerRow = 20;
        capture->kept_ += written.name.size() + kLeastPerRow + touched.before.size();
        if (capture->Passed()) {
          capture->Forget();
          capture->touched_.shrink_to_fit();
          return;
        }
        rows.emplace(rowId, capture->touched_.size());
        capture->touched_.push_back(std::move(touched));
      };
      if (op == SQLITE_INSERT) {
        keep(newKey, false);
      } else {
        keep(oldKey, true);
        if (op == SQLITE_UPDATE && newKey != oldKey) keep(newKey, false);
      }
    } catch (const std::exception&) {
      capture->failed_ = true;  // Finish raises: the work keeps no images
    }
  }
};

RowCapture::RowCapture(sqlite::Connection& connection) : connection_(connection) {}

RowCapture::~RowCapture() { Stop(); }

void RowCapture::Start(std::uint64_t limit) {
  Forget();
  failed_ = false;
  limit_ = limit;
  kept_ = 0;
  sqlite3_preupdate_hook(connection_.Handle(), &RowCaptureHook::Call, this);
  started_ = true;
}

void RowCapture::Stop() {
  if (!started_) return;
  sqlite3_preupdate_hook(connection_.Handle(), nullptr, nullptr);
  started_ = false;
}

RowCapture::Table& RowCapture::TableNamed(const char* name) {
  for (auto& table : tables_)
    if (table->name == name) return *table;
  tables_.push_back(std::make_unique<Table>(Table{name, {}}));
  return *tables_.back();
}

void RowCapture::Forget() {
  touched_.clear();
  for (auto& table : tables_) table->rows.clear();
}

sqlite::Statement& RowCapture::RowStatement(const std::string& table) {
  auto it = statements_.find(table);
  if (it != statements_.end()) return *it->second;
  auto st = std::make_unique<sqlite::Statement>(connection_.Prepare(SelectRowSql(table)));
  return *statements_.emplace(table, std::move(st)).first->second;
}

std::string RowCapture::FolderPath(std::int64_t folderId) {
  std::string path;
  auto& st = RowStatement(kOutlookFolders);
  // Folder trees are shallow; the bound guards against a damaged parent chain.
  for (int depth = 0; depth < 64; ++depth) {
    st.Bind(1, folderId);
    if (!st.Step()) {
      st.Reset();
      break;
    }
    const std::string name = st.Text(2);
    const bool top = st.IsNull(1);
    folderId = st.Int(1);
    st.Reset();
    path = path.empty() ? name : name + "\\" + path;
    if (top) break;
  }
  return path;
}

std::optional<std::string> RowCapture::Finish() {
  Stop();
  if (failed_) throw std::runtime_error("the before-images could not be kept");
  if (Passed()) return std::nullopt;
  std::string out(kMagic, kMagicSize);
  // Room for every image and its name, so that a large unit of work does
  // not copy its images again each time the text grows.
  std::size_t room = out.size();
  for (const Touched& t : touched_) room += t.table->name.size() + t.before.size() + 96;
  out.reserve(room);
  std::map<std::int64_t, std::string> folders;
  auto folderPath = [&](std::int64_t id) {
    auto it = folders.find(id);
    if (it == folders.end()) it = folders.emplace(id, FolderPath(id)).first;
    return it->second;
  };
  for (const Touched& t : touched_) {
    const std::string& table = t.table->name;
    auto& st = RowStatement(table);
    st.Bind(1, t.rowId);
    const bool exists = st.Step();
    const RowDigest after = exists ? DigestRow(st, t.existed ? &t.before : nullptr) : RowDigest{};
    const bool same = (!t.existed && !exists)                  // made and gone again
                      || (t.existed && exists && after.same);  // as it was
    // A row that is there is named as it stands, before the statement is
    // reset; a folder (whose path is read with this same statement) and a
    // row that is gone by its packed values.
    std::optional<RowName> name;
    std::string packed;
    if (!same && exists) {
      if (table != kOutlookFolders) {
        name = NameOfRow(table, t.rowId, st, folderPath);
      } else {
        packed = PackRow(st);
      }
    }
    st.Reset();
    if (same) continue;
    if (!name) name = NameOf(table, t.rowId, st, Unpack(exists ? packed : t.before), folderPath);
    PutText(out, table);
    PutFixed(out, static_cast<std::uint64_t>(t.rowId));
    out.push_back(static_cast<char>((t.existed ? kExisted : 0) | (exists ? kExists : 0) |
                                    (name->outlook ? kOutlook : 0)));
    if (exists) PutFixed(out, after.fingerprint);
    PutText(out, name->container);
    PutText(out, name->key);
    if (t.existed) PutText(out, t.before);
  }
  Forget();
  return out;
}

namespace {

struct ImageRow {
  std::string table;
  std::int64_t rowId = 0;
  bool existed = false, exists = false;
  std::uint64_t fingerprint = 0;
  RowName name;
  std::string before;
};

std::vector<ImageRow> ReadImages(const std::string& images) {
  if (images.compare(0, kMagicSize, kMagic) != 0)
    throw std::runtime_error("the before-images of the entry are of an unknown kind");
  std::vector<ImageRow> rows;
  Reader in(images, kMagicSize);
  while (!in.AtEnd()) {
    ImageRow row;
    row.table = in.Bytes();
    row.rowId = static_cast<std::int64_t>(in.Fixed());
    const auto flags = static_cast<unsigned char>(in.Byte());
    row.existed = (flags & kExisted) != 0;
    row.exists = (flags & kExists) != 0;
    row.name.outlook = (flags & kOutlook) != 0;
    if (row.exists) row.fingerprint = in.Fixed();
    row.name.container = in.Bytes();
    row.name.key = in.Bytes();
    if (row.existed) row.before = in.Bytes();
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace

RestoreOutcome Restore(sqlite::Connection& connection, const std::string& images) {
  std::vector<ImageRow> rows = ReadImages(images);
  // Images kept before a table became bookkeeping hold its rows too.
  std::erase_if(rows, [](const ImageRow& row) { return !Watched(row.table.c_str()); });
  RestoreOutcome outcome;
  std::map<std::string, sqlite::Statement> selects;
  auto select = [&](const std::string& table) -> sqlite::Statement& {
    auto it = selects.find(table);
    if (it == selects.end())
      it = selects.emplace(table, connection.Prepare(SelectRowSql(table))).first;
    return it->second;
  };
  // Every row must still be as the work left it, and an item that comes
  // back must not have come back since under another row (a server's
  // change to an item the work deleted is received as a new row).
  std::optional<sqlite::Statement> sameEntry;
  for (const ImageRow& row : rows) {
    auto& st = select(row.table);
    st.Bind(1, row.rowId);
    const bool exists = st.Step();
    bool same =
        exists == row.exists && (!exists || DigestRow(st, nullptr).fingerprint == row.fingerprint);
    std::int64_t folder = 0;
    if (row.table == kOutlookItems && exists) folder = st.Int(ColumnIndex(st, "folder"));
    st.Reset();
    if (row.table == kOutlookItems) {
      if (row.existed) {
        if (!sameEntry)
          sameEntry = connection.Prepare(std::string("SELECT 1 FROM main.") + kOutlookItems +
                                         " WHERE entry_id = ?1 AND rowid <> ?2");
        same = same && !sameEntry->Bind(1, row.name.key).Bind(2, row.rowId).Step();
        sameEntry->Reset();
        folder = Unpack(row.before).at(ColumnIndex(st, "folder")).integer;
      }
      outcome.items.push_back(RestoredItem{folder, row.name.key, row.existed});
    }
    if (!same) outcome.conflicts.push_back(row.name);
  }
  if (!outcome.Restored()) {
    outcome.items.clear();
    return outcome;
  }

  // The rows the work left go first, then the rows it found come back: a row
  // replaced under a unique key (a setting) never meets its replacement.
  sqlite::Transaction restore(connection);
  for (const ImageRow& row : rows) {
    if (!row.exists) continue;
    auto st = connection.Prepare("DELETE FROM main." + sqlite::QuoteIdentifier(row.table) +
                                 " WHERE rowid = ?1");
    st.Bind(1, row.rowId).Run();
  }
  for (const ImageRow& row : rows) {
    if (!row.existed) continue;
    const std::vector<Value> values = Unpack(row.before);
    auto& columns = select(row.table);
    if (columns.ColumnCount() != static_cast<int>(values.size()))
      throw std::runtime_error("the table " + row.table +
                               " has other columns than when the entry was made");
    std::string sql = "INSERT INTO main." + sqlite::QuoteIdentifier(row.table) + "(rowid";
    std::string params = "?1";
    for (int i = 0; i < columns.ColumnCount(); ++i) {
      sql += ", " + sqlite::QuoteIdentifier(columns.ColumnName(i));
      params += ", ?" + std::to_string(i + 2);
    }
    auto st = connection.Prepare(sql + ") VALUES(" + params + ")");
    st.Bind(1, row.rowId);
    for (std::size_t i = 0; i < values.size(); ++i) {
      const int index = static_cast<int>(i) + 2;
      const Value& v = values[i];
      switch (v.tag) {
        case kInteger:
          st.Bind(index, v.integer);
          break;
        case kFloat:
          st.Bind(index, v.real);
          break;
        case kText:
          st.Bind(index, std::string_view(v.bytes));
          break;
        case kBlob:
          st.BindBlob(index, v.bytes.data(), static_cast<int>(v.bytes.size()));
          break;
        default:
          st.BindNull(index);
      }
    }
    try {
      st.Run();
    } catch (const sqlite::SqliteError& e) {
      // Its unique key (a record "ID", a setting) went to a row made since.
      if (!e.IsConstraint()) throw;
      outcome.conflicts.push_back(row.name);
    }
  }
  if (!outcome.Restored()) {
    restore.Rollback();
    outcome.items.clear();
    return outcome;
  }
  restore.Commit();
  return outcome;
}

}  // namespace velklk
