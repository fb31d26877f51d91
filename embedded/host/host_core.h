// State shared by every database object over one CRM database: the
// connection, the clock, the schema in force, prepared statements, the
// current user, the attribute flags, and the refusals and injected errors that
// tests configure. Internal to the embedded host.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>

#include "host/schema.h"
#include "platform/clock.h"
#include "platform/variant.h"
#include "sqlite/connection.h"

namespace velklk {
class ChangeObserver;
}

namespace velklk::host {

// Names of the internal columns every data table carries besides its fields.
inline constexpr const char* kRowColumn = "_vk_row";
inline constexpr const char* kMasterColumn = "_vk_master";
inline constexpr const char* kTenantsColumn = "_vk_tenants";

// A prepared statement taken from the cache; reset when the use ends so the
// next user finds it clean.
class StatementUse {
 public:
  explicit StatementUse(sqlite::Statement& st) : st_(st) {}
  ~StatementUse() { st_.Reset(); }
  StatementUse(const StatementUse&) = delete;
  StatementUse& operator=(const StatementUse&) = delete;
  sqlite::Statement* operator->() { return &st_; }
  sqlite::Statement& operator*() { return st_; }

 private:
  sqlite::Statement& st_;
};

// Steps a statement; a failure of the database itself (locked, full, broken)
// becomes an automation error, as every other host failure.
bool Step(sqlite::Statement& st);

class HostCore {
 public:
  HostCore(std::shared_ptr<sqlite::Connection> connection, const Clock* clock);

  sqlite::Connection& Conn() { return *connection_; }
  const std::shared_ptr<sqlite::Connection>& ConnPtr() const { return connection_; }
  AutoDate Now() const;

  // Cached statement for a fixed SQL text.
  sqlite::Statement& Cached(const std::string& sql);
  void ClearStatementCache() { cache_.clear(); }

  const Schema& GetSchema() const { return schema_; }
  // Replaces the whole host state by empty tables of the given layout (data,
  // users, settings, globals, refusals are dropped).
  void InstallSchema(const Schema& schema);
  // Reads schema, switches and current user back from the database (after a
  // rolled-back load).
  void Reload();
  // A new record key of the given size, zero-padded decimal.
  std::string NextId(const TableDef& table);
  // Makes sure later keys come after every numeric key now stored.
  void AdvanceIdsPastStored();

  // Current user (in memory, starting from the stored one).
  const std::string& CurrentUser() const { return currentUser_; }
  void SetCurrentUser(const std::string& name) { currentUser_ = name; }
  void StoreCurrentUser(const std::string& name);
  std::uint32_t Flags() const { return flags_; }
  void SetFlags(std::uint32_t flags);

  // Refusals: op is "add", "edit" or "delete"; an empty id names the table.
  bool Refuses(const std::string& table, const std::string& id, const std::string& op) const;
  void AddRefusal(const std::string& table, const std::string& id, const std::string& op);
  bool RefusesValue(const std::string& table, const std::string& field,
                    const std::string& value) const;
  void AddRefusedValue(const std::string& table, const std::string& field,
                       const std::string& value);
  // Injected failures: "Scope.Operation" (scope a table name, "Table" for any
  // table, "Database", "User", "Settings", "Application", "Field").
  void AddInjectedError(const std::string& operation, std::uint32_t number);
  void CheckInjected(const std::string& scope, const char* operation) const {
    if (!injected_.empty()) CheckInjectedSlow(scope, operation);
  }
  struct Configuration {
    std::map<std::string, std::set<std::string>> refusals;       // "Table" or "Table:ID" -> ops
    std::map<std::string, std::set<std::string>> refusedValues;  // "Table.Field" -> values
    std::map<std::string, std::uint32_t> injected;               // operation -> number
  };
  Configuration StoredConfiguration() const;
  // Told of every write (host/host_changes.h); none when null.
  ChangeObserver* Observer() const { return observer_; }
  void SetObserver(ChangeObserver* observer) { observer_ = observer; }

  // Stored values of settings and globals: a kind letter and a text.
  static std::pair<std::string, std::string> EncodeValue(const Variant& value);
  static Variant DecodeValue(const std::string& kind, const std::string& text);

 private:
  void CreateMetaTables();
  void LoadState();
  void CheckInjectedSlow(const std::string& scope, const char* operation) const;

  std::shared_ptr<sqlite::Connection> connection_;
  const Clock* clock_;
  SystemClock systemClock_;
  Schema schema_;
  std::unordered_map<std::string, std::unique_ptr<sqlite::Statement>> cache_;
  std::string currentUser_;
  std::uint32_t flags_ = 0;
  std::set<std::string> refusals_;                 // lower "table|id|op"
  std::set<std::string> refusedValues_;            // lower "table|field" + "|" + value
  std::map<std::string, std::uint32_t> injected_;  // lower operation
  ChangeObserver* observer_ = nullptr;
};

}  // namespace velklk::host
