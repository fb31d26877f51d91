// Small in-memory stand-ins for the host and Outlook objects that the
// diagnostics and user-interface tests touch. Members a test does not need
// raise "not implemented".
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/automation_error.h"
#include "platform/host.h"
#include "platform/outlook.h"

namespace velklk::testing {

[[noreturn]] inline void NotHere(const char* what) { RaiseNotImplemented("fake", what); }

// ---- Host ----------------------------------------------------------------

class FakeSettings final : public HostSettings {
 public:
  std::map<std::string, Variant> values;
  bool unreachable = false;  // every call fails, as a broken settings store

  bool Exists(const std::string& key) const override {
    Check();
    return values.count(key) != 0;
  }
  Variant Value(const std::string& key) const override {
    Check();
    return values.at(key);
  }
  void SetValue(const std::string& key, const Variant& value) override { values[key] = value; }
  void Add(const std::string& key, const Variant& value) override { values[key] = value; }
  void Remove(const std::string& key) override { values.erase(key); }
  int Count() const override { return static_cast<int>(values.size()); }
  std::string NameAt(int) const override { NotHere("NameAt"); }

 private:
  void Check() const {
    if (unreachable) throw AutomationError(err::kFail, "host", "settings store unreachable");
  }
};

class FakeUser final : public HostUser {
 public:
  std::shared_ptr<FakeSettings> settings = std::make_shared<FakeSettings>();
  std::string Name() const override { return "ANNA"; }
  std::string Name2() const override { return "Anna Berg"; }
  bool PropertyExists(const std::string&) const override { return false; }
  Variant Property(const std::string&) const override { NotHere("Property"); }
  std::shared_ptr<HostSettings> Settings() override { return settings; }
};

class FakeField final : public HostField {
 public:
  explicit FakeField(std::string name) : name_(std::move(name)) {}
  std::string Name() const override { return name_; }
  int Size() const override { return 0; }
  Variant Value() const override { return {}; }
  void SetValue(const Variant&) override { NotHere("SetValue"); }

 private:
  std::string name_;
};

class FakeTable final : public HostTable {
 public:
  FakeTable(std::string name, std::vector<std::string> fields) : name_(std::move(name)) {
    for (auto& field : fields) fields_.push_back(std::make_shared<FakeField>(field));
  }
  std::string Name() const override { return name_; }
  int FieldCount() const override { return static_cast<int>(fields_.size()); }
  std::shared_ptr<HostField> Field(int index) const override {
    return fields_.at(static_cast<std::size_t>(index));
  }
  std::shared_ptr<HostField> Field(const std::string&) const override { NotHere("Field"); }
  bool FieldExists(const std::string&) const override { NotHere("FieldExists"); }
  bool AtEnd() const override { NotHere("AtEnd"); }
  bool MoveFirst() override { NotHere("MoveFirst"); }
  bool Move(long) override { NotHere("Move"); }
  bool HasMaster() const override { return false; }
  std::shared_ptr<HostTable> Master() override { NotHere("Master"); }
  std::string SelectIndex(const std::string&) override { NotHere("SelectIndex"); }
  std::string CurrentIndex() const override { NotHere("CurrentIndex"); }
  bool Seek(const std::string&) override { NotHere("Seek"); }
  bool MayAdd() const override { return false; }
  void NewRecord() override { NotHere("NewRecord"); }
  void SaveNew() override { NotHere("SaveNew"); }
  bool MayEdit() const override { return false; }
  bool BeginEdit() override { NotHere("BeginEdit"); }
  void StoreEdited() override { NotHere("StoreEdited"); }
  void Cancel() override {}
  bool MayDelete() const override { return false; }
  void DeleteCurrent() override { NotHere("DeleteCurrent"); }
  std::string CurrentFieldName() const override { return {}; }
  std::string RecordReference() const override { NotHere("RecordReference"); }
  bool GoToReference(const std::string&) override { NotHere("GoToReference"); }
  void CopyTenantsFrom(HostTable&) override { NotHere("CopyTenantsFrom"); }
  std::vector<std::string> Tenants() const override { return {}; }
  std::vector<std::vector<Variant>> SelectRows(const std::vector<std::string>&,
                                               const std::string&) override {
    NotHere("SelectRows");
  }
  void SetLookupOption1(bool, int) override {}
  void SetLookupOption2(bool, int) override {}

 private:
  std::string name_;
  std::vector<std::shared_ptr<FakeField>> fields_;
};

class FakeDatabase final : public HostDatabase {
 public:
  std::string filePath = "/tmp/velklk-fake/crm.db";
  std::shared_ptr<FakeUser> user = std::make_shared<FakeUser>();
  std::map<std::string, std::shared_ptr<FakeTable>> tables;

  std::shared_ptr<HostTable> Table(const std::string& name) override {
    auto found = tables.find(name);
    if (found == tables.end()) throw AutomationError(err::kFail, "host", "no table " + name);
    return found->second;
  }
  std::string FilePath() const override { return filePath; }
  std::uint32_t AttributeFlags() const override { return 0; }
  std::shared_ptr<HostDatabase> OpenWorkingDatabase(int) override { NotHere("OpenWorking"); }
  int UserCount() const override { return 1; }
  std::shared_ptr<HostUser> UserAt(int) override { return user; }
  std::shared_ptr<HostUser> CurrentUser() override { return user; }
  std::shared_ptr<HostUser> User(const std::string&) override { return user; }
  std::shared_ptr<HostUserGroup> UserGroup(const std::string&) override { return nullptr; }
  bool GlobalExists(const std::string&) const override { return false; }
  Variant GlobalValue(const std::string&) const override { NotHere("GlobalValue"); }
  void SetGlobalValue(const std::string&, const Variant&) override { NotHere("SetGlobal"); }
  void AddGlobal(const std::string&, const Variant&) override { NotHere("AddGlobal"); }
  std::vector<std::string> GlobalNames() const override { return {}; }
  std::shared_ptr<HostExpression> Compile(const std::string&) override { NotHere("Compile"); }
  std::shared_ptr<HostLink> MakeLink(const std::string&) override { return nullptr; }
};

class FakeApplication final : public HostApplication {
 public:
  std::shared_ptr<FakeDatabase> db = std::make_shared<FakeDatabase>();
  std::shared_ptr<HostDatabase> Database() override { return db; }
  std::shared_ptr<HostTable> ActiveTable() override { return nullptr; }
  void SetActiveTable(const std::shared_ptr<HostTable>&) override {}
};

// ---- Outlook -------------------------------------------------------------

class FakeUserProperty final : public OlUserProperty {
 public:
  FakeUserProperty(std::string name, Variant value)
      : name_(std::move(name)), value_(std::move(value)) {}
  std::string Name() const override { return name_; }
  OlUserPropertyType Type() const override { return OlUserPropertyType::Text; }
  Variant Value() const override { return value_; }
  void SetValue(const Variant& value) override { value_ = value; }
  void Delete() override { NotHere("Delete"); }

 private:
  std::string name_;
  Variant value_;
};

class FakeUserProperties final : public OlUserProperties {
 public:
  std::vector<std::shared_ptr<FakeUserProperty>> properties;
  int Count() const override { return static_cast<int>(properties.size()); }
  std::shared_ptr<OlUserProperty> Item(int index) override {
    return properties.at(static_cast<std::size_t>(index - 1));
  }
  std::shared_ptr<OlUserProperty> Item(const std::string& name) override {
    if (auto found = Find(name)) return found;
    throw AutomationError(err::kOlNotFound, "Outlook", "no property " + name);
  }
  std::shared_ptr<OlUserProperty> Find(const std::string& name) override {
    for (auto& property : properties) {
      if (property->Name() == name) return property;
    }
    return nullptr;
  }
  std::shared_ptr<OlUserProperty> Add(const std::string& name, OlUserPropertyType) override {
    properties.push_back(std::make_shared<FakeUserProperty>(name, Variant("")));
    return properties.back();
  }
};

class FakeItem final : public OlItem {
 public:
  int itemClass = olclass::kContact;
  std::map<std::string, Variant> values;
  std::shared_ptr<FakeUserProperties> userProperties = std::make_shared<FakeUserProperties>();
  bool brokenUserProperties = false;

  static std::shared_ptr<FakeItem> Contact(const std::string& fileAs,
                                           const std::string& velSearch) {
    auto item = std::make_shared<FakeItem>();
    item->values["FileAs"] = fileAs;
    item->values["Subject"] = fileAs;
    if (!velSearch.empty())
      item->userProperties->Add("velSearch", OlUserPropertyType::Text)->SetValue(velSearch);
    return item;
  }

  int Class() const override { return itemClass; }
  Variant Get(const std::string& property) const override {
    auto found = values.find(property);
    if (found == values.end())
      throw AutomationError(err::kUnknownName, "Outlook", "unknown " + property);
    return found->second;
  }
  void Set(const std::string& property, const Variant& value) override { values[property] = value; }
  std::shared_ptr<OlUserProperties> UserProperties() override {
    if (brokenUserProperties) throw AutomationError(err::kOlNetwork, "Outlook", "offline");
    return userProperties;
  }
  std::shared_ptr<OlLinks> Links() override { NotHere("Links"); }
  void Save() override {}
  void Delete() override { NotHere("Delete"); }
  void Display(bool) override { NotHere("Display"); }
  std::shared_ptr<OlFolder> Parent() override { return nullptr; }
  std::string EntryId() const override { return "fake"; }
  bool IsDeleted() const override { return false; }
};

// Items that understand exactly one filter shape: `[velSearch] = "<text>"`
// with a double quote inside written twice. Anything else is malformed.
class FakeItems final : public OlItems {
 public:
  std::vector<std::shared_ptr<FakeItem>> items;
  std::vector<std::string> filters;  // every filter asked for

  int Count() const override { return static_cast<int>(items.size()); }
  std::shared_ptr<OlItem> Item(int index) override {
    return items.at(static_cast<std::size_t>(index - 1));
  }
  std::shared_ptr<OlItem> Add() override { NotHere("Add"); }
  std::shared_ptr<OlItem> Add(OlItemType) override { NotHere("Add"); }
  std::shared_ptr<OlItem> Find(const std::string& filter) override {
    filters.push_back(filter);
    key_ = ParseFilter(filter);
    next_ = 0;
    return FindNext();
  }
  std::shared_ptr<OlItem> FindNext() override {
    while (next_ < items.size()) {
      auto& item = items[next_++];
      auto property = item->userProperties->Find("velSearch");
      if (property && property->Value().ToText() == key_) return item;
    }
    return nullptr;
  }
  void Advise(const std::shared_ptr<OlItemsListener>&) override {}
  void Unadvise(const std::shared_ptr<OlItemsListener>&) override {}
  std::shared_ptr<OlFolder> Parent() override { return nullptr; }

 private:
  static std::string ParseFilter(const std::string& filter) {
    const std::string prefix = "[velSearch] = \"";
    if (filter.rfind(prefix, 0) != 0) Malformed(filter);
    std::string key;
    std::size_t i = prefix.size();
    while (true) {
      if (i >= filter.size()) Malformed(filter);
      if (filter[i] == '"') {
        if (i + 1 < filter.size() && filter[i + 1] == '"') {
          key += '"';
          i += 2;
          continue;
        }
        if (i + 1 != filter.size()) Malformed(filter);
        return key;
      }
      key += filter[i++];
    }
  }
  [[noreturn]] static void Malformed(const std::string& filter) {
    throw AutomationError(err::kFail, "Outlook", "malformed filter: " + filter);
  }

  std::string key_;
  std::size_t next_ = 0;
};

class FakeFolders;

class FakeFolder final : public OlFolder {
 public:
  explicit FakeFolder(std::string name);
  std::string name;
  std::shared_ptr<FakeFolders> children;

  std::string Name() const override { return name; }
  OlItemType DefaultItemType() const override { return OlItemType::Appointment; }
  std::string FolderPath() const override { return "\\\\" + name; }
  std::shared_ptr<OlFolders> Folders() override;
  std::shared_ptr<OlItems> Items() override { NotHere("Items"); }
  std::shared_ptr<OlUserDefinedProperties> UserDefinedProperties() override { NotHere("Props"); }
  std::shared_ptr<OlExplorer> GetExplorer() override { NotHere("GetExplorer"); }
  // Adds a subfolder and returns it.
  std::shared_ptr<FakeFolder> Add(const std::string& childName);
};

class FakeFolders final : public OlFolders {
 public:
  std::vector<std::shared_ptr<FakeFolder>> folders;
  int Count() const override { return static_cast<int>(folders.size()); }
  std::shared_ptr<OlFolder> Item(int index) override {
    return folders.at(static_cast<std::size_t>(index - 1));
  }
  std::shared_ptr<OlFolder> Item(const std::string& name) override {
    for (auto& folder : folders) {
      if (folder->name == name) return folder;
    }
    throw AutomationError(err::kOlNotFound, "Outlook", "no folder " + name);
  }
  std::shared_ptr<OlFolder> GetFirst() override { NotHere("GetFirst"); }
  std::shared_ptr<OlFolder> GetNext() override { NotHere("GetNext"); }
  std::shared_ptr<OlFolder> Add(const std::string& name, OlItemType) override {
    folders.push_back(std::make_shared<FakeFolder>(name));
    return folders.back();
  }
};

inline FakeFolder::FakeFolder(std::string folderName)
    : name(std::move(folderName)), children(std::make_shared<FakeFolders>()) {}
inline std::shared_ptr<OlFolders> FakeFolder::Folders() { return children; }
inline std::shared_ptr<FakeFolder> FakeFolder::Add(const std::string& childName) {
  children->folders.push_back(std::make_shared<FakeFolder>(childName));
  return children->folders.back();
}

}  // namespace velklk::testing
