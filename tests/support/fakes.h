// Stand-ins for the few situations the embedded platforms cannot show. Each
// wraps a real object and changes one answer.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/host.h"

namespace velklk::fake {

// A host database that lives at another file path (a Windows path, a bare
// name, none at all) and forwards everything else to a real one.
class DatabaseAt final : public HostDatabase {
 public:
  DatabaseAt(std::shared_ptr<HostDatabase> real, std::string path)
      : real_(std::move(real)), path_(std::move(path)) {}
  std::string FilePath() const override { return path_; }

  std::shared_ptr<HostTable> Table(const std::string& name) override { return real_->Table(name); }
  std::uint32_t AttributeFlags() const override { return real_->AttributeFlags(); }
  std::shared_ptr<HostDatabase> OpenWorkingDatabase(int options) override {
    return real_->OpenWorkingDatabase(options);
  }
  int UserCount() const override { return real_->UserCount(); }
  std::shared_ptr<HostUser> UserAt(int index) override { return real_->UserAt(index); }
  std::shared_ptr<HostUser> CurrentUser() override { return real_->CurrentUser(); }
  std::shared_ptr<HostUser> User(const std::string& name) override { return real_->User(name); }
  std::shared_ptr<HostUserGroup> UserGroup(const std::string& name) override {
    return real_->UserGroup(name);
  }
  bool GlobalExists(const std::string& name) const override { return real_->GlobalExists(name); }
  Variant GlobalValue(const std::string& name) const override { return real_->GlobalValue(name); }
  void SetGlobalValue(const std::string& name, const Variant& value) override {
    real_->SetGlobalValue(name, value);
  }
  void AddGlobal(const std::string& name, const Variant& value) override {
    real_->AddGlobal(name, value);
  }
  std::vector<std::string> GlobalNames() const override { return real_->GlobalNames(); }
  std::shared_ptr<HostExpression> Compile(const std::string& text) override {
    return real_->Compile(text);
  }
  std::shared_ptr<HostLink> MakeLink(const std::string& target) override {
    return real_->MakeLink(target);
  }

 private:
  std::shared_ptr<HostDatabase> real_;
  std::string path_;
};

// A host application whose database is the given one.
class ApplicationOf final : public HostApplication {
 public:
  explicit ApplicationOf(std::shared_ptr<HostDatabase> db) : db_(std::move(db)) {}
  std::shared_ptr<HostDatabase> Database() override { return db_; }
  std::shared_ptr<HostTable> ActiveTable() override { return nullptr; }
  void SetActiveTable(const std::shared_ptr<HostTable>&) override {}

 private:
  std::shared_ptr<HostDatabase> db_;
};

}  // namespace velklk::fake
