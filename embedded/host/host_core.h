// State shared by every database object over one CRM database: the
// connection, the clock, the schema in force, prepared statements, the
// current user, the attribute flags, and the refusals and injected errors that
// tests configure. Internal to the embedded host.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "host/expression.h"
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

// A record's tenants are stored as one comma-separated text; a tenant name is
// never empty and holds no comma (the fixture loader refuses such names), so
// empty parts of a stored text are no tenants.
std::string JoinTenants(const std::vector<std::string>& tenants);
std::vector<std::string> SplitTenants(const std::string& stored);

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
  // Writes a key counter kept in memory into the transaction still open.
  ~HostCore();
  HostCore(const HostCore&) = delete;
  HostCore& operator=(const HostCore&) = delete;

  sqlite::Connection& Conn() { return *connection_; }
  const std::shared_ptr<sqlite::Connection>& ConnPtr() const { return connection_; }
  AutoDate Now() const;

  // Cached statement for a fixed SQL text.
  sqlite::Statement& Cached(const std::string& sql);
  // The SQL texts of a table's layout, built once and shared by every table
  // object over it; the seek texts are added per index as they are used.
  struct TableTexts {
    std::string selectList, load, first;
    std::string insert;  // up to the column list, which names the fields not at their default
    // The whole insert by the fields it names ('1' per named field).
    std::unordered_map<std::string, std::string> inserts;
    std::unordered_map<std::string, std::string> seek;  // by IdentifierKey of the index
  };
  std::shared_ptr<TableTexts> TextsOf(const std::shared_ptr<const TableDef>& def);
  // An expression compiled once per text (the same texts come again and
  // again); raises as CompiledExpression::Compile.
  CompiledExpression Compiled(const std::string& text);
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
  // Sets the key counter: the next key handed out is `next`.
  void SetNextId(long long next);

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

  // The users, their properties and settings, and the global variables are
  // read once and kept while the database is unchanged: commits of other
  // connections change its data version, writes of this one call
  // DirectoryChanged (and nothing is kept until their transaction ends).
  // Each lookup answers nullopt when the database must be read instead;
  // otherwise the entry, nullptr when there is none.
  struct StoredValue {
    std::string kind, text;
  };
  struct UserEntry {
    std::string name, name2;
  };
  std::optional<const UserEntry*> LookupUser(const std::string& name);
  std::optional<int> LookupUserCount();
  std::optional<const UserEntry*> LookupUserAt(int index);
  std::optional<const StoredValue*> LookupUserProperty(const std::string& user,
                                                       const std::string& name);
  std::optional<const StoredValue*> LookupSetting(const std::string& user, const std::string& key);
  std::optional<const StoredValue*> LookupGlobal(const std::string& name);
  void DirectoryChanged();

  // Stored values of settings and globals: a kind letter and a text.
  static std::pair<std::string, std::string> EncodeValue(const Variant& value);
  static Variant DecodeValue(const std::string& kind, const std::string& text);

 private:
  void CreateMetaTables();
  void LoadState();
  void CheckInjectedSlow(const std::string& scope, const char* operation) const;
  bool DirectoryUsable();
  bool ReadUsers();
  using ValueMap = std::unordered_map<std::string, StoredValue>;  // by IdentifierKey
  const ValueMap& PerUser(std::unordered_map<std::string, ValueMap>& maps, const char* sql,
                          const std::string& user);

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
  struct Directory {
    bool usersRead = false;
    std::vector<UserEntry> users;  // in the stored order
    std::unordered_map<std::string, std::size_t> byName;
    std::unordered_map<std::string, ValueMap> properties, settings;  // by user
    std::optional<ValueMap> globals;
  };
  Directory directory_;
  std::unordered_map<std::string, CompiledExpression> compiled_;
  // Keeps the layout alive, so that no other layout takes its address.
  std::unordered_map<const TableDef*,
                     std::pair<std::shared_ptr<const TableDef>, std::shared_ptr<TableTexts>>>
      texts_;
  std::int64_t directoryVersion_ = -1;
  // Set by a write inside a transaction, with the commit count then: until
  // that transaction ends (the count moves on a commit) nothing is kept.
  bool directoryWritten_ = false;
  unsigned writtenAtCommit_ = 0;
  // The commit count when the data version was last asked: while a read
  // transaction stays open and the count stands, no other connection can
  // have committed since.
  unsigned checkedAtCommit_ = 0;
  // The Transaction (its number) in which the data version was last asked.
  std::uint64_t checkedInTransaction_ = 0;
  unsigned CommitCount() const;
  // Set by the SQL function _vk_capture on the thread that runs the update.
  static thread_local long long capturedId_;
  // Inside a Transaction the key counter is read once and counted in memory;
  // the counter row is written once, just before that transaction commits.
  std::uint64_t keysOfTransaction_ = 0;  // the Transaction's number, 0: nothing kept
  long long nextKey_ = 0;
  void StoreKeptCounter();
  // Drops the kept counter (after writing it) before the row is written
  // another way.
  void SettleKeyCounter();
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);  // for the commit hook
  ChangeObserver* observer_ = nullptr;
};

}  // namespace velklk::host
