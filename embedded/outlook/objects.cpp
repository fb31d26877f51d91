#include "outlook/objects.h"

#include <algorithm>

#include "outlook/task_rules.h"
#include "platform/automation_error.h"
#include "platform/text_case.h"

namespace velklk::outlook {
namespace {

constexpr const char* kSource = "Outlook";
// Raised by a late-bound member that fails inside Outlook.
constexpr std::uint32_t kException = 0x80020009u;

[[noreturn]] void BadIndex(int index) {
  throw AutomationError(kBadIndex, kSource,
                        "Array index out of bounds (" + std::to_string(index) + ").");
}

[[noreturn]] void Gone() {
  throw AutomationError(err::kOlNotFound, kSource, "The item has been moved or deleted.");
}

[[noreturn]] void Offline() {
  throw AutomationError(err::kOlNetwork, kSource,
                        "The server is not available: user properties cannot be created offline.");
}

void CheckUserPropertyName(const std::string& name) {
  if (name.empty() || name.find_first_of("[]") != std::string::npos)
    throw AutomationError(err::kInvalidArg, kSource,
                          "\"" + name + "\" is not a valid user property name.");
}

ValueType UserValueType(OlUserPropertyType type) {
  return type == OlUserPropertyType::YesNo ? ValueType::Bool : ValueType::Text;
}

PropValue UserDefault(OlUserPropertyType type) {
  return type == OlUserPropertyType::YesNo ? PropValue(false) : PropValue(std::string());
}

// ---------------------------------------------------------------- user properties

class UserPropertyImpl final : public OlUserProperty {
 public:
  UserPropertyImpl(std::shared_ptr<Model> model, std::shared_ptr<Record> record, std::string name)
      : model_(std::move(model)), record_(std::move(record)), name_(std::move(name)) {}
  std::string Name() const override { return name_; }
  OlUserPropertyType Type() const override { return Get().type; }
  Variant Value() const override { return ToVariant(Get().value); }
  void SetValue(const Variant& value) override {
    const UserProp& current = Get();
    PropValue v = CoerceValue(value, UserValueType(current.type), name_);
    model_->CheckRefused(name_, v);
    record_->Edit().FindUser(name_)->value = std::move(v);
  }
  void Delete() override {
    Get();
    auto& user = record_->Edit().user;
    const UserProp* target = record_->Edit().FindUser(name_);
    user.erase(
        std::remove_if(user.begin(), user.end(), [&](const UserProp& u) { return &u == target; }),
        user.end());
  }

 private:
  const UserProp& Get() const {
    if (record_->deleted) Gone();
    const UserProp* u = record_->Current().FindUser(name_);
    if (!u)
      throw AutomationError(err::kOlNotFound, kSource,
                            "The user property " + name_ + " no longer exists.");
    return *u;
  }
  std::shared_ptr<Model> model_;
  std::shared_ptr<Record> record_;
  std::string name_;
};

class UserPropertiesImpl final : public OlUserProperties {
 public:
  UserPropertiesImpl(std::shared_ptr<Model> model, std::shared_ptr<Record> record)
      : model_(std::move(model)), record_(std::move(record)) {}
  int Count() const override { return static_cast<int>(record_->Current().user.size()); }
  std::shared_ptr<OlUserProperty> Item(int index) override {
    const auto& user = record_->Current().user;
    if (index < 1 || index > static_cast<int>(user.size())) BadIndex(index);
    return Make(user[static_cast<std::size_t>(index - 1)].name);
  }
  std::shared_ptr<OlUserProperty> Item(const std::string& name) override {
    auto p = Find(name);
    if (!p)
      throw AutomationError(err::kOlNotFound, kSource,
                            "The item has no user property " + name + ".");
    return p;
  }
  std::shared_ptr<OlUserProperty> Find(const std::string& name) override {
    if (record_->deleted) Gone();
    const UserProp* u = record_->Current().FindUser(name);
    return u ? Make(u->name) : nullptr;
  }
  std::shared_ptr<OlUserProperty> Add(const std::string& name, OlUserPropertyType type) override {
    if (record_->deleted) Gone();
    CheckUserPropertyName(name);
    if (type != OlUserPropertyType::Text && type != OlUserPropertyType::YesNo)
      throw AutomationError(err::kInvalidArg, kSource, "Unsupported user property type.");
    if (const UserProp* u = record_->Current().FindUser(name)) {
      if (u->type != type)
        throw AutomationError(err::kInvalidArg, kSource,
                              "The user property " + name + " exists with another type.");
      return Make(u->name);
    }
    if (model_->GetSwitches().offline) Offline();
    record_->Edit().user.push_back(UserProp{name, type, UserDefault(type)});
    return Make(name);
  }

 private:
  std::shared_ptr<OlUserProperty> Make(const std::string& name) {
    return std::make_shared<UserPropertyImpl>(model_, record_, name);
  }
  std::shared_ptr<Model> model_;
  std::shared_ptr<Record> record_;
};

// ---------------------------------------------------------------- links

class AddressEntryImpl final : public OlAddressEntry {
 public:
  AddressEntryImpl(std::shared_ptr<Model> model, std::string entryId)
      : model_(std::move(model)), entryId_(std::move(entryId)) {}
  std::shared_ptr<OlItem> GetContact() override {
    auto r = model_->RecordByEntryId(entryId_);
    return r && !r->deleted ? MakeItem(model_, r) : nullptr;
  }

 private:
  std::shared_ptr<Model> model_;
  std::string entryId_;
};

class LinkImpl final : public OlLink {
 public:
  LinkImpl(std::shared_ptr<Model> model, LinkRef ref)
      : model_(std::move(model)), ref_(std::move(ref)) {}
  std::string Name() const override { return ref_.name; }
  std::shared_ptr<OlItem> Item() override {
    auto r = model_->RecordByEntryId(ref_.entryId);
    return r ? MakeItem(model_, r) : nullptr;
  }
  std::shared_ptr<OlAddressEntry> AddressEntry() override {
    if (!model_->RecordByEntryId(ref_.entryId))
      throw AutomationError(kException, kSource, "The linked contact no longer exists.");
    return std::make_shared<AddressEntryImpl>(model_, ref_.entryId);
  }

 private:
  std::shared_ptr<Model> model_;
  LinkRef ref_;
};

class LinksImpl final : public OlLinks {
 public:
  LinksImpl(std::shared_ptr<Model> model, std::shared_ptr<Record> record)
      : model_(std::move(model)), record_(std::move(record)) {}
  int Count() const override { return static_cast<int>(record_->Current().links.size()); }
  std::shared_ptr<OlLink> Item(int index) override {
    const auto& links = record_->Current().links;
    if (index < 1 || index > static_cast<int>(links.size())) BadIndex(index);
    return std::make_shared<LinkImpl>(model_, links[static_cast<std::size_t>(index - 1)]);
  }
  std::shared_ptr<OlLink> Add(const std::shared_ptr<OlItem>& contact) override {
    if (record_->deleted) Gone();
    auto target = contact ? RecordOf(*contact) : nullptr;
    if (!target || target->kind != ItemKind::Contact || target->IsNew() || target->deleted)
      throw AutomationError(err::kInvalidArg, kSource, "Only a saved contact can be linked.");
    for (const auto& l : record_->Current().links)
      if (l.entryId == target->entryId) return std::make_shared<LinkImpl>(model_, l);
    LinkRef ref{target->entryId,
                std::get<std::string>(model_->Value(*target, target->saved, prop::kFullName))};
    if (ref.name.empty())
      ref.name = std::get<std::string>(model_->Value(*target, target->saved, prop::kFileAs));
    record_->Edit().links.push_back(ref);
    return std::make_shared<LinkImpl>(model_, ref);
  }
  void Remove(int index) override {
    if (record_->deleted) Gone();
    auto& links = record_->Edit().links;
    if (index < 1 || index > static_cast<int>(links.size())) BadIndex(index);
    links.erase(links.begin() + (index - 1));
  }

 private:
  std::shared_ptr<Model> model_;
  std::shared_ptr<Record> record_;
};

// ---------------------------------------------------------------- item

class ItemImpl final : public OlItem, public std::enable_shared_from_this<ItemImpl> {
 public:
  ItemImpl(std::shared_ptr<Model> model, std::shared_ptr<Record> record)
      : model_(std::move(model)), record_(std::move(record)) {}

  int Class() const override { return ClassOf(record_->kind); }

  Variant Get(const std::string& property) const override {
    const int id = Resolve(property);
    if (record_->deleted) Gone();
    return ToVariant(model_->Value(*record_, record_->Current(), id));
  }

  void Set(const std::string& property, const Variant& value) override {
    const int id = Resolve(property);
    if (record_->deleted) Gone();
    const PropertyDef& def = Property(id);
    if (def.role == PropRole::ReadOnly)
      throw AutomationError(kException, kSource, "The property " + def.name + " is read-only.");
    PropValue v = CoerceValue(value, def.type, def.name);
    model_->CheckRefused(def.name, v);
    ItemData& data = record_->Edit();
    if (id == prop::kDuration) {
      const PropValue* start = data.Find(prop::kStart);
      if (!start) return;
      const AutoDate s = std::get<AutoDate>(*start);
      data.Put(prop::kEnd, AutoDate::FromSeconds(s.Seconds() + std::get<std::int64_t>(v) * 60));
      return;
    }
    if (record_->kind == ItemKind::Task &&
        ApplyTaskCompletion(data, id, v, model_->GetClock()->Now()))
      return;
    if (v == def.defaultValue) {
      data.Erase(id);
    } else {
      data.Put(id, std::move(v));
    }
  }

  std::shared_ptr<OlUserProperties> UserProperties() override {
    if (record_->deleted) Gone();
    return std::make_shared<UserPropertiesImpl>(model_, record_);
  }

  std::shared_ptr<OlLinks> Links() override {
    if (record_->kind != ItemKind::Appointment && record_->kind != ItemKind::Task)
      throw AutomationError(err::kUnknownName, kSource, "The item has no member Links.");
    if (record_->deleted) Gone();
    return std::make_shared<LinksImpl>(model_, record_);
  }

  void Save() override { model_->SaveItem(record_); }
  void Delete() override { model_->DeleteItem(record_); }

  void Display(bool modal) override {
    if (record_->deleted) Gone();
    if (model_->displayCallback) {
      model_->displayCallback(shared_from_this(), modal);
    } else {
      model_->displayed.emplace_back(record_->entryId, modal);
    }
  }

  std::shared_ptr<OlFolder> Parent() override { return MakeFolder(model_, record_->folder); }
  std::string EntryId() const override { return record_->entryId; }
  bool IsDeleted() const override { return record_->deleted; }

  const std::shared_ptr<Record>& GetRecord() const { return record_; }

 private:
  int Resolve(const std::string& property) const {
    auto id = FindProperty(property);
    if (!id || !KindHas(record_->kind, *id))
      throw AutomationError(err::kUnknownName, kSource,
                            "The object does not support the property " + property + ".");
    return *id;
  }
  std::shared_ptr<Model> model_;
  std::shared_ptr<Record> record_;
};

// ---------------------------------------------------------------- items

class ItemsImpl final : public OlItems {
 public:
  ItemsImpl(std::shared_ptr<Model> model, Folder* folder)
      : model_(std::move(model)), folder_(folder) {}
  int Count() const override { return static_cast<int>(folder_->items.size()); }
  std::shared_ptr<OlItem> Item(int index) override {
    if (index < 1 || index > Count()) BadIndex(index);
    return MakeItem(model_, folder_->items[static_cast<std::size_t>(index - 1)]);
  }
  std::shared_ptr<OlItem> Add() override {
    auto kind = KindOfItemType(folder_->type);
    return MakeItem(model_, model_->NewRecord(folder_, kind.value_or(ItemKind::Mail)));
  }
  std::shared_ptr<OlItem> Add(OlItemType type) override {
    auto kind = KindOfItemType(type);
    if (!kind) throw AutomationError(err::kInvalidArg, kSource, "Unknown item type.");
    return MakeItem(model_, model_->NewRecord(folder_, *kind));
  }
  std::shared_ptr<OlItem> Find(const std::string& filter) override {
    walk_.clear();
    next_ = 0;
    walk_ = model_->Matches(folder_, model_->BindFilter(folder_, filter), false);
    return FindNext();
  }
  std::shared_ptr<OlItem> FindNext() override {
    while (next_ < walk_.size()) {
      auto& record = walk_[next_++];
      if (!record->deleted) return MakeItem(model_, record);
    }
    return nullptr;
  }
  void Advise(const std::shared_ptr<OlItemsListener>& listener) override {
    if (listener) folder_->listeners.push_back(listener);
  }
  void Unadvise(const std::shared_ptr<OlItemsListener>& listener) override {
    auto& ls = folder_->listeners;
    ls.erase(std::remove_if(ls.begin(), ls.end(),
                            [&](const auto& w) {
                              auto l = w.lock();
                              return !l || l == listener;
                            }),
             ls.end());
  }
  std::shared_ptr<OlFolder> Parent() override { return MakeFolder(model_, folder_); }

 private:
  std::shared_ptr<Model> model_;
  Folder* folder_;
  std::vector<std::shared_ptr<Record>> walk_;  // the matches of the last Find, in order
  std::size_t next_ = 0;
};

// ---------------------------------------------------------------- folders

class DefinitionImpl final : public OlUserDefinedProperty {
 public:
  DefinitionImpl(std::shared_ptr<Model> model, Folder* folder, UserDef def)
      : model_(std::move(model)), folder_(folder), def_(std::move(def)) {}
  std::string Name() const override { return def_.name; }
  OlUserPropertyType Type() const override { return def_.type; }
  void Delete() override {
    if (model_->GetSwitches().offline) Offline();
    model_->DeleteDefinition(folder_, def_.name);
  }

 private:
  std::shared_ptr<Model> model_;
  Folder* folder_;
  UserDef def_;
};

class DefinitionsImpl final : public OlUserDefinedProperties {
 public:
  DefinitionsImpl(std::shared_ptr<Model> model, Folder* folder)
      : model_(std::move(model)), folder_(folder) {}
  int Count() const override { return static_cast<int>(folder_->defs.size()); }
  std::shared_ptr<OlUserDefinedProperty> Item(int index) override {
    if (index < 1 || index > Count()) BadIndex(index);
    return Make(folder_->defs[static_cast<std::size_t>(index - 1)]);
  }
  std::shared_ptr<OlUserDefinedProperty> Find(const std::string& name) override {
    const UserDef* d = folder_->FindDef(name);
    return d ? Make(*d) : nullptr;
  }
  std::shared_ptr<OlUserDefinedProperty> Add(const std::string& name,
                                             OlUserPropertyType type) override {
    CheckUserPropertyName(name);
    if (type != OlUserPropertyType::Text && type != OlUserPropertyType::YesNo)
      throw AutomationError(err::kInvalidArg, kSource, "Unsupported user property type.");
    if (const UserDef* d = folder_->FindDef(name)) {
      if (d->type != type)
        throw AutomationError(err::kInvalidArg, kSource,
                              "The folder defines " + name + " with another type.");
      return Make(*d);
    }
    if (model_->GetSwitches().offline) Offline();
    model_->AddDefinition(folder_, name, type);
    return Make(folder_->defs.back());
  }

 private:
  std::shared_ptr<OlUserDefinedProperty> Make(const UserDef& d) {
    return std::make_shared<DefinitionImpl>(model_, folder_, d);
  }
  std::shared_ptr<Model> model_;
  Folder* folder_;
};

class ExplorerImpl final : public OlExplorer, public std::enable_shared_from_this<ExplorerImpl> {
 public:
  ExplorerImpl(std::shared_ptr<Model> model, std::string path)
      : model_(std::move(model)), path_(std::move(path)) {}
  void Display() override {
    model_->activeExplorer = shared_from_this();
    Tell("display");
  }
  int WindowState() const override { return state_; }
  void SetWindowState(int state) override {
    state_ = state;
    Tell("windowstate");
  }
  void Close() override {
    if (model_->activeExplorer.get() == this) model_->activeExplorer.reset();
    Tell("close");
  }

 private:
  void Tell(const char* action) {
    if (model_->explorerCallback) model_->explorerCallback(path_, action, state_);
  }
  std::shared_ptr<Model> model_;
  std::string path_;
  int state_ = 0;  // maximised
};

class FoldersImpl final : public OlFolders {
 public:
  FoldersImpl(std::shared_ptr<Model> model, Folder* parent)
      : model_(std::move(model)), parent_(parent) {}
  int Count() const override { return static_cast<int>(List().size()); }
  std::shared_ptr<OlFolder> Item(int index) override {
    if (index < 1 || index > Count()) BadIndex(index);
    return MakeFolder(model_, List()[static_cast<std::size_t>(index - 1)].get());
  }
  std::shared_ptr<OlFolder> Item(const std::string& name) override {
    for (const auto& f : List())
      if (f->name == name) return MakeFolder(model_, f.get());
    throw AutomationError(
        err::kOlNotFound, kSource,
        "The attempted operation failed. An object could not be found (" + name + ").");
  }
  std::shared_ptr<OlFolder> GetFirst() override {
    cursor_ = 0;
    return GetNext();
  }
  std::shared_ptr<OlFolder> GetNext() override {
    if (cursor_ >= List().size()) return nullptr;
    return MakeFolder(model_, List()[cursor_++].get());
  }
  std::shared_ptr<OlFolder> Add(const std::string& name, OlItemType type) override {
    if (!parent_)
      throw AutomationError(err::kFail, kSource, "A message store cannot be added here.");
    if (name.empty() || name.find('\\') != std::string::npos)
      throw AutomationError(err::kInvalidArg, kSource,
                            "\"" + name + "\" is not a valid folder name.");
    if (type == OlItemType::DistList)
      throw AutomationError(err::kInvalidArg, kSource, "Not a folder type.");
    for (const auto& f : List())
      if (f->name == name)
        throw AutomationError(err::kFail, kSource, "A folder named " + name + " already exists.");
    return MakeFolder(model_, model_->AddFolder(parent_, name, type));
  }

 private:
  const std::vector<std::unique_ptr<Folder>>& List() const {
    return parent_ ? parent_->children : model_->Stores();
  }
  std::shared_ptr<Model> model_;
  Folder* parent_;
  std::size_t cursor_ = 0;
};

class FolderImpl final : public OlFolder {
 public:
  FolderImpl(std::shared_ptr<Model> model, Folder* folder)
      : model_(std::move(model)), folder_(folder) {}
  std::string Name() const override { return folder_->name; }
  OlItemType DefaultItemType() const override { return folder_->type; }
  std::string FolderPath() const override { return folder_->Path(); }
  std::shared_ptr<OlFolders> Folders() override {
    return std::make_shared<FoldersImpl>(model_, folder_);
  }
  std::shared_ptr<OlItems> Items() override { return std::make_shared<ItemsImpl>(model_, folder_); }
  std::shared_ptr<OlUserDefinedProperties> UserDefinedProperties() override {
    return std::make_shared<DefinitionsImpl>(model_, folder_);
  }
  std::shared_ptr<OlExplorer> GetExplorer() override {
    return std::make_shared<ExplorerImpl>(model_, folder_->Path());
  }
  Folder* Get() const { return folder_; }

 private:
  std::shared_ptr<Model> model_;
  Folder* folder_;
};

// ---------------------------------------------------------------- session

class RecipientImpl final : public OlRecipient {
 public:
  RecipientImpl(std::shared_ptr<Model> model, std::string name)
      : model_(std::move(model)), name_(std::move(name)) {}
  std::string Name() const override { return name_; }
  bool Resolve() override {
    resolved_ = model_->ResolveMailbox(name_) != nullptr;
    return resolved_;
  }
  bool Resolved() const override { return resolved_; }

 private:
  std::shared_ptr<Model> model_;
  std::string name_;
  bool resolved_ = false;
};

Folder* FirstOfType(Folder& folder, OlItemType type) {
  for (auto& child : folder.children) {
    if (child->type == type) return child.get();
    if (Folder* f = FirstOfType(*child, type)) return f;
  }
  return nullptr;
}

class NameSpaceImpl final : public OlNameSpace {
 public:
  explicit NameSpaceImpl(std::shared_ptr<Model> model) : model_(std::move(model)) {}
  std::shared_ptr<OlFolders> Folders() override {
    return std::make_shared<FoldersImpl>(model_, nullptr);
  }
  std::shared_ptr<OlRecipient> CreateRecipient(const std::string& name) override {
    if (name.empty()) throw AutomationError(err::kInvalidArg, kSource, "A recipient needs a name.");
    return std::make_shared<RecipientImpl>(model_, name);
  }
  std::shared_ptr<OlFolder> GetSharedDefaultFolder(const std::shared_ptr<OlRecipient>& r,
                                                   int folderType) override {
    if (!r) throw AutomationError(err::kInvalidArg, kSource, "A recipient is required.");
    OlItemType type;
    switch (folderType) {
      case kOlFolderCalendar:
        type = OlItemType::Appointment;
        break;
      case 10:
        type = OlItemType::Contact;
        break;
      case 13:
        type = OlItemType::Task;
        break;
      default:
        throw AutomationError(err::kInvalidArg, kSource, "Unsupported default folder type.");
    }
    Folder* store = model_->ResolveMailbox(r->Name());
    Folder* folder = store ? FirstOfType(*store, type) : nullptr;
    if (!folder)
      throw AutomationError(err::kOlNotFound, kSource,
                            "The shared folder of " + r->Name() + " could not be opened.");
    return MakeFolder(model_, folder);
  }

 private:
  std::shared_ptr<Model> model_;
};

class ApplicationImpl final : public OlApplication {
 public:
  explicit ApplicationImpl(std::shared_ptr<Model> model) : model_(std::move(model)) {}
  std::string Version() const override { return model_->GetSwitches().version; }
  std::shared_ptr<OlNameSpace> GetNamespace(const std::string& type) override {
    if (!SameIdentifier(type, "MAPI"))
      throw AutomationError(err::kInvalidArg, kSource, "Unknown name space type " + type + ".");
    return std::make_shared<NameSpaceImpl>(model_);
  }
  std::shared_ptr<OlExplorer> ActiveExplorer() override { return model_->activeExplorer; }

 private:
  std::shared_ptr<Model> model_;
};

class AttacherImpl final : public OlAttacher {
 public:
  explicit AttacherImpl(std::shared_ptr<Model> model) : model_(std::move(model)) {}
  std::shared_ptr<OlApplication> GetRunningOutlook() override {
    if (!model_->GetSwitches().running)
      throw AutomationError(err::kOperationUnavailable, kSource, "Operation unavailable");
    return MakeApplication(model_);
  }

 private:
  std::shared_ptr<Model> model_;
};

}  // namespace

std::shared_ptr<OlItem> MakeItem(const std::shared_ptr<Model>& model,
                                 const std::shared_ptr<Record>& record) {
  return std::make_shared<ItemImpl>(model, record);
}

std::shared_ptr<OlFolder> MakeFolder(const std::shared_ptr<Model>& model, Folder* folder) {
  return std::make_shared<FolderImpl>(model, folder);
}

std::shared_ptr<OlApplication> MakeApplication(const std::shared_ptr<Model>& model) {
  return std::make_shared<ApplicationImpl>(model);
}

std::shared_ptr<OlAttacher> MakeAttacher(const std::shared_ptr<Model>& model) {
  return std::make_shared<AttacherImpl>(model);
}

std::shared_ptr<Record> RecordOf(const OlItem& item) {
  const auto* impl = dynamic_cast<const ItemImpl*>(&item);
  return impl ? impl->GetRecord() : nullptr;
}

Folder* FolderOf(const OlFolder& folder) {
  const auto* impl = dynamic_cast<const FolderImpl*>(&folder);
  return impl ? impl->Get() : nullptr;
}

}  // namespace velklk::outlook
