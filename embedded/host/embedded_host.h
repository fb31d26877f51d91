// The embedded CRM host: a CRM database in schema "main" of an SQLite
// connection, served through the host interface of platform/host.h.
//
// Units of work: every store goes straight to SQLite. Outside a unit of work
// each store is its own transaction (durable, but slow for bulk work). A
// caller wraps its stores in a UnitOfWork (or Begin()/Commit() where the unit
// spans calls); the work is committed at the end of the unit, whatever errors
// were raised in between, and is lost only when the process dies before the
// unit ends.
#pragma once

#include <cstdint>
#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <stdexcept>
#include <string>

#include "host/schema.h"
#include "platform/clock.h"
#include "platform/export.h"
#include "platform/host.h"
#include "sqlite/connection.h"
#include "sqlite/transaction.h"

namespace velklk::host {
class HostCore;
class DatabaseImpl;
class ApplicationImpl;
}  // namespace velklk::host

namespace velklk {

class ChangeObserver;
class StreamedJson;

// A fixture that cannot be loaded; the message names the offending entry
// (for example "host.tables.Adressen[2].Foo: unknown field").
class VELKLK_API FixtureError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class VELKLK_API EmbeddedHost {
 public:
  // Serves the CRM database in schema "main" of the connection; a database
  // without host tables gets the default schema, one user "ADMIN" (current)
  // and nothing else. clock may be null (then the system clock); it must
  // outlive the host.
  static std::shared_ptr<EmbeddedHost> Open(std::shared_ptr<sqlite::Connection> connection,
                                            const Clock* clock);
  // Opens a database file (or ":memory:") on a connection of its own.
  static std::shared_ptr<EmbeddedHost> OpenFile(const std::string& path, const Clock* clock);
  ~EmbeddedHost();

  std::shared_ptr<HostApplication> Application();
  // The application's database object.
  std::shared_ptr<HostDatabase> Database();
  sqlite::Connection& Connection();
  const host::Schema& Schema() const;

  // The current user for this process (not stored); raises
  // std::invalid_argument when no user has that name.
  void SetCurrentUser(const std::string& name);
  std::string CurrentUserName() const;
  // Makes the table of that name (of the application's database) active.
  void SetActiveTable(const std::string& tableName);
  // Positions the application database's table on the record with that ID,
  // as the host window shows it; raises std::invalid_argument when missing.
  void PositionTable(const std::string& tableName, const std::string& id);

  // Replaces the whole host state by the fixture's ("host" part of the
  // fixture format). All or nothing: on error the database is as before and
  // FixtureError names the offending entry. now stamps records without
  // "ModifiziertAm".
  void LoadFixture(const nlohmann::json& hostPart, AutoDate now);
  // A record of "tables" in a compact form LoadFixture takes in its place
  // (a binary value), so that a fixture's document need not hold its
  // records whole while it is parsed.
  static nlohmann::json PackRecord(nlohmann::json&& record);
  // The whole host state in the same format. With `stream`, the records of
  // each table are a list of it (StreamedJson::List), read while it is
  // written.
  nlohmann::json DumpFixture(StreamedJson* stream = nullptr) const;

  // The connection's unit of work (sqlite::Connection::Begin), for callers
  // whose unit spans calls; Rollback also reads the host's state back.
  void Begin();
  void Commit();
  void Rollback();
  // Reads the host's state (schema, switches, current user) back from the
  // database after its work was rolled back; the objects handed out stay.
  void ReloadState();

  // Test switches; stored in the database like the fixture's.
  void RefuseTable(const std::string& table, const std::string& op);  // "add", "edit", "delete"
  void RefuseRecord(const std::string& table, const std::string& id, const std::string& op);
  void RefuseValue(const std::string& table, const std::string& field, const std::string& value);
  // Makes an operation raise the error number. operation is
  // "<Table>.<Method>" (or "Table.<Method>" for every table), "Database.<Method>",
  // "User.<Method>", "Settings.<Method>" or "Application.<Method>", with the
  // method names of platform/host.h (a field's value is "<Table>.Value" and
  // "<Table>.SetValue").
  void RaiseOn(const std::string& operation, std::uint32_t number);
  void SetAttributeFlags(std::uint32_t flags);

  // Tells the observer of every record, setting and global the host writes
  // from now on (changes/change_observer.h); null stops it. The observer
  // must outlive its use.
  void SetChangeObserver(ChangeObserver* observer);

 private:
  EmbeddedHost() = default;
  std::shared_ptr<host::HostCore> core_;
  std::shared_ptr<host::DatabaseImpl> db_;
  std::shared_ptr<host::ApplicationImpl> app_;
};

// A unit of work: a transaction from construction on; Commit() ends it, and
// so does the destructor when Commit() was not called (errors in between do
// not undo the work). A commit that fails rolls the whole unit back and the
// host reads its state back (ReloadState); Commit() then raises the
// sqlite::SqliteError, the destructor does not.
class VELKLK_API UnitOfWork {
 public:
  explicit UnitOfWork(EmbeddedHost& host)
      : host_(host), work_(host.Connection(), sqlite::Transaction::Locking::Immediate) {}
  ~UnitOfWork();
  UnitOfWork(const UnitOfWork&) = delete;
  UnitOfWork& operator=(const UnitOfWork&) = delete;
  void Commit();

 private:
  EmbeddedHost& host_;
  sqlite::Transaction work_;
};

}  // namespace velklk
