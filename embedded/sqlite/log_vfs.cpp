#include "sqlite/log_vfs.h"

#include <sqlite3.h>

#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

namespace velklk::sqlite {
namespace {

// The log's layout (format 3007000): a header of 32 bytes at offset 0 that
// starts with a magic number and the format, then frames of a 24-byte
// header and one page each. A frame header's second word is the size of
// the database after the commit for the frame that ends a commit, and zero
// for every other frame.
constexpr int kLogHeaderSize = 32;
constexpr int kFrameHeaderSize = 24;
constexpr std::uint32_t kFormat = 3007000;
// What is gathered at most before it is written: a bulk commit's frames
// then take one call per 30 pages. The default layer writes less than
// 128 KB per call (it masks larger sizes), so the buffer stays below that.
constexpr int kCapacity = 120 * 1024;

std::uint32_t BigEndian32(const unsigned char* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         std::uint32_t{p[3]};
}

bool KnownLogHeader(const unsigned char* p) {
  const std::uint32_t magic = BigEndian32(p);
  return (magic == 0x377f0682 || magic == 0x377f0683) && BigEndian32(p + 4) == kFormat;
}

struct LogFile {
  sqlite3_file base;  // first: SQLite sees this
  sqlite3_file* real = nullptr;
  bool log = false;  // a write-ahead log: its frames are gathered
  enum class Format { Unknown, Known, Other } format = Format::Unknown;
  bool afterRead = false;     // the next write goes straight through
  bool commitHeader = false;  // the last write was a commit frame's header
  unsigned char* buffer = nullptr;
  int used = 0;
  sqlite3_int64 start = 0;  // the file offset of buffer[0]
};

LogFile* From(sqlite3_file* file) { return reinterpret_cast<LogFile*>(file); }

// Writes what is gathered. On failure the gathered bytes are dropped: the
// write they belong to fails, and SQLite rolls its transaction back.
int Flush(LogFile* f) {
  if (f->used == 0) return SQLITE_OK;
  const int used = f->used;
  f->used = 0;
  return f->real->pMethods->xWrite(f->real, f->buffer, used, f->start);
}

// Whether the log's frames may be gathered: only for the format whose
// layout is known, read from the header being written or the file's own.
bool Gathers(LogFile* f, const void* data, int amount, sqlite3_int64 offset) {
  if (f->format == LogFile::Format::Unknown) {
    unsigned char header[8];
    bool known = false;
    if (offset == 0 && amount == kLogHeaderSize) {
      known = KnownLogHeader(static_cast<const unsigned char*>(data));
    } else if (f->real->pMethods->xRead(f->real, header, sizeof header, 0) == SQLITE_OK) {
      known = KnownLogHeader(header);
    }
    f->format = known ? LogFile::Format::Known : LogFile::Format::Other;
  }
  if (f->format == LogFile::Format::Known && offset == 0 && amount == kLogHeaderSize &&
      !KnownLogHeader(static_cast<const unsigned char*>(data)))
    f->format = LogFile::Format::Other;
  return f->format == LogFile::Format::Known;
}

int Close(sqlite3_file* file) {
  LogFile* f = From(file);
  const int flushed = Flush(f);
  const int closed = f->real->pMethods ? f->real->pMethods->xClose(f->real) : SQLITE_OK;
  sqlite3_free(f->buffer);
  f->buffer = nullptr;
  return flushed != SQLITE_OK ? flushed : closed;
}

int Read(sqlite3_file* file, void* data, int amount, sqlite3_int64 offset) {
  LogFile* f = From(file);
  if (f->log) {
    const int rc = Flush(f);
    if (rc != SQLITE_OK) return rc;
    f->afterRead = true;
  }
  return f->real->pMethods->xRead(f->real, data, amount, offset);
}

int Write(sqlite3_file* file, const void* data, int amount, sqlite3_int64 offset) {
  LogFile* f = From(file);
  sqlite3_file* real = f->real;
  if (!f->log) return real->pMethods->xWrite(real, data, amount, offset);
  const bool afterRead = f->afterRead;
  f->afterRead = false;
  // The page of a commit frame: once it is written, SQLite may publish the
  // commit in the log's index, so everything goes to the file with it (and
  // the write fails if that does).
  const bool header = amount == kFrameHeaderSize;
  const bool commitPage = !header && f->commitHeader;
  f->commitHeader = header && BigEndian32(static_cast<const unsigned char*>(data) + 4) != 0;
  if (afterRead || amount > kCapacity || !Gathers(f, data, amount, offset)) {
    const int rc = Flush(f);
    if (rc != SQLITE_OK) return rc;
    return real->pMethods->xWrite(real, data, amount, offset);
  }
  if (f->used > 0 && (offset != f->start + f->used || f->used + amount > kCapacity)) {
    const int rc = Flush(f);
    if (rc != SQLITE_OK) return rc;
  }
  if (f->buffer == nullptr) {
    f->buffer = static_cast<unsigned char*>(sqlite3_malloc(kCapacity));
    if (f->buffer == nullptr) return real->pMethods->xWrite(real, data, amount, offset);
  }
  if (f->used == 0) f->start = offset;
  std::memcpy(f->buffer + f->used, data, static_cast<std::size_t>(amount));
  f->used += amount;
  return commitPage ? Flush(f) : SQLITE_OK;
}

// A call of a table of methods (sqlite3_io_methods, sqlite3_vfs) passed to
// the layer below: `Member` names the call, the function type it points to
// gives the arguments.
template <auto Member, typename Table>
using MethodOf =
    std::remove_pointer_t<std::remove_cvref_t<decltype(std::declval<Table&>().*Member)>>;

template <auto Member, typename Fn = MethodOf<Member, sqlite3_io_methods>>
struct FileCall;
template <auto Member, typename R, typename... Args>
struct FileCall<Member, R(sqlite3_file*, Args...)> {
  static R Through(sqlite3_file* file, Args... args) {
    sqlite3_file* real = From(file)->real;
    return (real->pMethods->*Member)(real, args...);
  }
  // For the calls after which the file must hold everything written so far.
  static R Flushed(sqlite3_file* file, Args... args) {
    const int rc = Flush(From(file));
    return rc != SQLITE_OK ? rc : Through(file, args...);
  }
};

// One table of methods per version of the file below (the calls a version
// lacks must be missing here too).
sqlite3_io_methods MakeMethods(int version) {
  sqlite3_io_methods m{};
  m.iVersion = version;
  m.xClose = Close;
  m.xRead = Read;
  m.xWrite = Write;
  m.xTruncate = FileCall<&sqlite3_io_methods::xTruncate>::Flushed;
  m.xSync = FileCall<&sqlite3_io_methods::xSync>::Flushed;
  m.xFileSize = FileCall<&sqlite3_io_methods::xFileSize>::Flushed;
  m.xLock = FileCall<&sqlite3_io_methods::xLock>::Flushed;
  m.xUnlock = FileCall<&sqlite3_io_methods::xUnlock>::Flushed;
  m.xFileControl = FileCall<&sqlite3_io_methods::xFileControl>::Flushed;
  m.xCheckReservedLock = FileCall<&sqlite3_io_methods::xCheckReservedLock>::Through;
  m.xSectorSize = FileCall<&sqlite3_io_methods::xSectorSize>::Through;
  m.xDeviceCharacteristics = FileCall<&sqlite3_io_methods::xDeviceCharacteristics>::Through;
  if (version >= 2) {
    m.xShmMap = FileCall<&sqlite3_io_methods::xShmMap>::Through;
    m.xShmLock = FileCall<&sqlite3_io_methods::xShmLock>::Through;
    m.xShmBarrier = FileCall<&sqlite3_io_methods::xShmBarrier>::Through;
    m.xShmUnmap = FileCall<&sqlite3_io_methods::xShmUnmap>::Through;
  }
  if (version >= 3) {
    m.xFetch = FileCall<&sqlite3_io_methods::xFetch>::Through;
    m.xUnfetch = FileCall<&sqlite3_io_methods::xUnfetch>::Through;
  }
  return m;
}

const sqlite3_io_methods kMethods[3] = {MakeMethods(1), MakeMethods(2), MakeMethods(3)};

int Open(sqlite3_vfs* vfs, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags) {
  sqlite3_vfs* root = static_cast<sqlite3_vfs*>(vfs->pAppData);
  LogFile* f = new (file) LogFile;
  f->base.pMethods = nullptr;
  f->real = reinterpret_cast<sqlite3_file*>(reinterpret_cast<char*>(file) + sizeof(LogFile));
  f->log = (flags & SQLITE_OPEN_WAL) != 0;
  const int rc = root->xOpen(root, name, f->real, flags, outFlags);
  if (rc != SQLITE_OK || f->real->pMethods == nullptr) {
    // SQLite calls xClose of a file only when it has methods.
    if (f->real->pMethods != nullptr) f->real->pMethods->xClose(f->real);
    return rc != SQLITE_OK ? rc : SQLITE_CANTOPEN;
  }
  const int version = f->real->pMethods->iVersion;
  f->base.pMethods = &kMethods[(version < 1 ? 1 : version > 3 ? 3 : version) - 1];
  return SQLITE_OK;
}

// The layer's calls on names and the system pass through to the default.
template <auto Member, typename Fn = MethodOf<Member, sqlite3_vfs>>
struct SystemCall;
template <auto Member, typename R, typename... Args>
struct SystemCall<Member, R(sqlite3_vfs*, Args...)> {
  static R Through(sqlite3_vfs* vfs, Args... args) {
    sqlite3_vfs* root = static_cast<sqlite3_vfs*>(vfs->pAppData);
    return (root->*Member)(root, args...);
  }
};

constexpr char kName[] = "velklk-log";

sqlite3_vfs* Register() {
  // A module loaded beside the command carries its own copy of this layer:
  // the first one registered serves both (modules stay loaded).
  if (sqlite3_vfs* registered = sqlite3_vfs_find(kName)) return registered;
  static sqlite3_vfs vfs{};
  sqlite3_vfs* root = sqlite3_vfs_find(nullptr);
  if (root == nullptr) return nullptr;
  vfs.iVersion = root->iVersion >= 2 ? 2 : 1;
  vfs.szOsFile = static_cast<int>(sizeof(LogFile)) + root->szOsFile;
  vfs.mxPathname = root->mxPathname;
  vfs.zName = kName;
  vfs.pAppData = root;
  vfs.xOpen = Open;
  vfs.xDelete = SystemCall<&sqlite3_vfs::xDelete>::Through;
  vfs.xAccess = SystemCall<&sqlite3_vfs::xAccess>::Through;
  vfs.xFullPathname = SystemCall<&sqlite3_vfs::xFullPathname>::Through;
  vfs.xDlOpen = SystemCall<&sqlite3_vfs::xDlOpen>::Through;
  vfs.xDlError = SystemCall<&sqlite3_vfs::xDlError>::Through;
  vfs.xDlSym = SystemCall<&sqlite3_vfs::xDlSym>::Through;
  vfs.xDlClose = SystemCall<&sqlite3_vfs::xDlClose>::Through;
  vfs.xRandomness = SystemCall<&sqlite3_vfs::xRandomness>::Through;
  vfs.xSleep = SystemCall<&sqlite3_vfs::xSleep>::Through;
  vfs.xCurrentTime = SystemCall<&sqlite3_vfs::xCurrentTime>::Through;
  if (root->xGetLastError != nullptr)
    vfs.xGetLastError = SystemCall<&sqlite3_vfs::xGetLastError>::Through;
  if (vfs.iVersion >= 2)
    vfs.xCurrentTimeInt64 = SystemCall<&sqlite3_vfs::xCurrentTimeInt64>::Through;
  return sqlite3_vfs_register(&vfs, 0) == SQLITE_OK ? &vfs : nullptr;
}

}  // namespace

const char* CombinedLogVfs() {
  static sqlite3_vfs* vfs = Register();
  return vfs != nullptr ? vfs->zName : nullptr;
}

}  // namespace velklk::sqlite
