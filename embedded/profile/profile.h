// A profile: one user's desk on the embedded default. A folder holds the
// database "crm.db" and, beside it, the log folder "Logs". The database
// holds both halves: the CRM's tables and the Outlook profile's tables
// (named "outlook_..."), so that a unit of work over both is one SQLite
// transaction in one file, kept with the write-ahead log. A profile may also
// live in memory (tests).
//
// A folder of the earlier layout (the Outlook profile in its own file
// "outlook.db") is taken over when it is opened: the Outlook tables move
// into "crm.db" in one transaction and "outlook.db" is removed.
#pragma once

#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

#include "host/embedded_host.h"
#include "outlook/embedded_outlook.h"
#include "platform/clock.h"
#include "platform/components.h"
#include "platform/export.h"
#include "platform/services.h"
#include "sqlite/connection.h"
#include "sqlite/transaction.h"

namespace velklk {

class CallJournal;
class FileSystem;
class MemoryFileSystem;
class RowCapture;
class UserInterface;

class VELKLK_API Profile {
 public:
  // Opens the profile in `directory`, creating the database when missing.
  // Raises std::runtime_error when the folder does not exist or the database
  // cannot be opened; AutomationError for a damaged Outlook profile.
  // `durability` is what a committed unit of work survives (see
  // sqlite::Durability).
  static std::unique_ptr<Profile> Open(const std::string& directory,
                                       sqlite::Durability durability = DurabilitySetting());
  // Makes a folder that holds no profile yet into one, filled from a fixture
  // document: creates the folder (and its missing parents) when it does not
  // exist, puts the databases beside whatever else the folder holds, and
  // loads the fixture. All or nothing: when the fixture is bad (FixtureError)
  // or anything else fails, what this call created is removed again, so the
  // folder is left as it was. Raises std::runtime_error when the path or a
  // parent of it is a file, or the folder holds a profile already.
  static std::unique_ptr<Profile> Create(const std::string& directory,
                                         const std::string& fixtureJson,
                                         sqlite::Durability durability = DurabilitySetting());
  // The same, the fixture read from a stream as it is parsed.
  static std::unique_ptr<Profile> Create(const std::string& directory, std::istream& fixture,
                                         sqlite::Durability durability = DurabilitySetting());
  // A fresh profile in memory; its log goes to a file system in memory.
  static std::unique_ptr<Profile> InMemory();
  ~Profile();
  Profile(const Profile&) = delete;
  Profile& operator=(const Profile&) = delete;

  // The durability the environment variable VELKLK_DURABILITY asks for:
  // "process" (unset: the default) survives the end of the process, "power"
  // a power failure too, at the price of one sync of the disk per unit of
  // work. Raises std::runtime_error for another value.
  static sqlite::Durability DurabilitySetting();

  // True when the folder holds a profile already (a CRM database).
  static bool Exists(const std::string& directory);

  const std::string& Directory() const { return directory_; }
  sqlite::Connection& Connection() { return *connection_; }
  EmbeddedHost& Host() { return *host_; }
  EmbeddedOutlook& Outlook() { return *outlook_; }
  // The clock of every store and save: the fixture's "now" until set.
  SettableClock& Clock() { return clock_; }
  FileSystem& Files() { return *files_; }
  // The log file system when the profile lives in memory, else nothing.
  MemoryFileSystem* MemoryFiles() { return memoryFiles_; }
  // The keeper of before-images of the profile's connection (made at the
  // first use and kept, with its prepared statements, for the profile's life).
  RowCapture& Capture();
  // The journal of the profile's calls, kept likewise.
  CallJournal& Journal();

  // The platform services of the add-in on this profile, with the given user
  // interface and language ("de" or "en").
  PlatformServices Services(UserInterface* ui, const std::string& language);
  // Sets the language of the Outlook store's date filters as well.
  void SetLanguage(const std::string& language);

  // Replaces the whole state (host, Outlook, "now") by a fixture document.
  // All or nothing: raises FixtureError naming the offending entry and leaves
  // the profile as it was.
  void LoadFixture(const std::string& jsonText);
  // The same from a stream, read as it is parsed: the items of a large
  // fixture are read one at a time, never its whole document.
  void LoadFixture(std::istream& in);
  // The whole state as a fixture document; `host`/`outlook` choose the
  // halves ("now" is always written).
  std::string DumpFixture(bool host = true, bool outlook = true) const;
  // The same document written to `out` as it is read, one record and item
  // at a time (a dump of a large profile is never whole in memory).
  void DumpFixture(std::ostream& out, bool host = true, bool outlook = true) const;

  // The connection's unit of work (sqlite::Connection::Begin) over both
  // databases, for callers whose unit spans calls; Rollback undoes it and
  // reads both stores back (ReloadState). Scoped work uses ProfileUnitOfWork.
  void Begin();
  void Commit();
  void Rollback();
  // Reads the host's and the Outlook store's state back from the databases
  // after their work was rolled back; the host, the Outlook store and its
  // attachment stay the same objects (the add-in's services point at them).
  void ReloadState();

 private:
  Profile();
  void OpenStores();
  // Records the layout of a new profile, or takes over the "outlook.db" of
  // a profile of the earlier layout; `existed`: the CRM database was there.
  void SettleLayout(bool existed);
  std::optional<std::string> Layout();
  void StoreNow(AutoDate now);
  void LoadNow();

  std::string directory_;
  std::shared_ptr<sqlite::Connection> connection_;
  SettableClock clock_;
  std::unique_ptr<FileSystem> files_;
  MemoryFileSystem* memoryFiles_ = nullptr;
  std::unique_ptr<ErrorTextComponent> errorText_;
  std::unique_ptr<XmlFactory> xml_;
  std::unique_ptr<GenderFactory> gender_;
  std::shared_ptr<EmbeddedHost> host_;
  std::shared_ptr<EmbeddedOutlook> outlook_;
  std::shared_ptr<OlAttacher> attacher_;
  std::unique_ptr<RowCapture> capture_;
  std::unique_ptr<CallJournal> journal_;
  std::string language_ = "de";
};

// A unit of work over both databases: a transaction from construction on,
// committed at the end whatever happened in between (also when an error
// passes).
class VELKLK_API ProfileUnitOfWork {
 public:
  explicit ProfileUnitOfWork(Profile& profile)
      : profile_(profile), work_(profile.Connection(), sqlite::Transaction::Locking::Immediate) {}
  // Commits now. When the commit fails (another process holds the database
  // longer than the busy timeout, the disk is full), the whole unit is
  // rolled back, the profile reads its state back and the SqliteError is
  // raised: a caller that reports success must commit this way.
  void Commit();
  // Commits when Commit was not called; a failure is rolled back, not raised.
  ~ProfileUnitOfWork();
  ProfileUnitOfWork(const ProfileUnitOfWork&) = delete;
  ProfileUnitOfWork& operator=(const ProfileUnitOfWork&) = delete;

 private:
  Profile& profile_;
  sqlite::Transaction work_;
};

}  // namespace velklk
