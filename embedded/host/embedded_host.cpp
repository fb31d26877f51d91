#include "host/embedded_host.h"

#include "host/host_objects.h"

namespace velklk {

using host::HostCore;

std::shared_ptr<EmbeddedHost> EmbeddedHost::Open(std::shared_ptr<sqlite::Connection> connection,
                                                 const Clock* clock) {
  if (!connection) throw std::invalid_argument("embedded host: no connection");
  std::shared_ptr<EmbeddedHost> h(new EmbeddedHost());
  h->core_ = std::make_shared<HostCore>(std::move(connection), clock);
  h->db_ = std::make_shared<host::DatabaseImpl>(h->core_);
  h->app_ = std::make_shared<host::ApplicationImpl>(h->db_);
  return h;
}

std::shared_ptr<EmbeddedHost> EmbeddedHost::OpenFile(const std::string& path, const Clock* clock) {
  return Open(sqlite::Connection::Open(path), clock);
}

EmbeddedHost::~EmbeddedHost() = default;

std::shared_ptr<HostApplication> EmbeddedHost::Application() { return app_; }
std::shared_ptr<HostDatabase> EmbeddedHost::Database() { return db_; }
sqlite::Connection& EmbeddedHost::Connection() { return core_->Conn(); }
const host::Schema& EmbeddedHost::Schema() const { return core_->GetSchema(); }

void EmbeddedHost::SetCurrentUser(const std::string& name) {
  if (!db_->User(name)) throw std::invalid_argument("no host user '" + name + "'");
  core_->SetCurrentUser(db_->User(name)->Name());
}

std::string EmbeddedHost::CurrentUserName() const { return core_->CurrentUser(); }

void EmbeddedHost::SetActiveTable(const std::string& tableName) {
  if (!core_->GetSchema().Find(tableName))
    throw std::invalid_argument("no host table '" + tableName + "'");
  app_->SetActiveTable(db_->TableObject(tableName));
}

void EmbeddedHost::PositionTable(const std::string& tableName, const std::string& id) {
  if (!core_->GetSchema().Find(tableName))
    throw std::invalid_argument("no host table '" + tableName + "'");
  auto table = db_->TableObject(tableName);
  const std::string previous = table->SelectIndex("ID");
  const bool found = table->Seek(id);
  table->SelectIndex(previous);
  if (!found)
    throw std::invalid_argument("host table '" + tableName + "' has no record '" + id + "'");
}

void EmbeddedHost::Begin() { core_->Conn().Begin(); }
void EmbeddedHost::Commit() { core_->Conn().Commit(); }
void EmbeddedHost::Rollback() {
  core_->Conn().Rollback();
  ReloadState();
}

void EmbeddedHost::ReloadState() {
  const std::string user = core_->CurrentUser();
  core_->Reload();
  core_->SetCurrentUser(user);
  db_->ForgetTables();
}

void UnitOfWork::Commit() {
  if (!work_.IsOpen()) return;
  try {
    work_.Commit();
  } catch (const sqlite::SqliteError&) {
    host_.ReloadState();
    throw;
  }
}

UnitOfWork::~UnitOfWork() {
  try {
    Commit();
  } catch (const std::exception&) {
    // Rolled back by Commit; the caller did not ask to hear of it.
  }
}

void EmbeddedHost::RefuseTable(const std::string& table, const std::string& op) {
  core_->AddRefusal(table, "", op);
}
void EmbeddedHost::RefuseRecord(const std::string& table, const std::string& id,
                                const std::string& op) {
  core_->AddRefusal(table, id, op);
}
void EmbeddedHost::RefuseValue(const std::string& table, const std::string& field,
                               const std::string& value) {
  core_->AddRefusedValue(table, field, value);
}
void EmbeddedHost::RaiseOn(const std::string& operation, std::uint32_t number) {
  core_->AddInjectedError(operation, number);
}
void EmbeddedHost::SetAttributeFlags(std::uint32_t flags) { core_->SetFlags(flags); }
void EmbeddedHost::SetChangeObserver(ChangeObserver* observer) { core_->SetObserver(observer); }

}  // namespace velklk
