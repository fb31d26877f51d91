#include "outlook/server_store.h"

#include "outlook/embedded_outlook.h"
#include "outlook/model.h"
#include "platform/automation_error.h"

namespace velklk::outlook {


namespace {

Folder* FolderAt(Model& model, const std::string& path) {
  std::vector<std::string> names;
  std::string current;
  for (char c : path) {
    if (c == '\\') {
      if (!current.empty()) names.push_back(std::move(current));
      current.clear();
    } else {
      current.push_back(c);
    }
  }
  if (!current.empty()) names.push_back(std::move(current));
  Folder* folder = names.empty() ? nullptr : model.FindStore(names.front());
  for (std::size_t i = 1; folder && i < names.size(); ++i) {
    Folder* next = nullptr;
    for (const auto& c : folder->children)
      if (c->name == names[i]) next = c.get();
    folder = next;
  }
  if (!folder)
    throw AutomationError(err::kOlNotFound, "Outlook",
                          "The folder \"" + path + "\" could not be found.");
  return folder;
}

}  // namespace

ServerStore::ServerStore(EmbeddedOutlook& outlook, const std::string& folderPath)
    : model_(outlook.GetModel()), folder_(FolderAt(*model_, folderPath)) {}

bool ServerStore::Track() {
  if (folder_->tracked) return true;
  model_->Track(folder_);
  return false;
}

bool ServerStore::Tracked() const { return folder_->tracked; }

std::int64_t ServerStore::Revision() const { return folder_->revision; }

std::vector<ItemRevision> ServerStore::ChangedSince(std::int64_t mark) const {
  std::vector<ItemRevision> out;
  for (auto& r : model_->RevisionsAbove(folder_, mark))
    out.push_back(ItemRevision{std::move(r.entryId), r.revision, r.deleted});
  return out;
}

std::optional<ItemRevision> ServerStore::RevisionOf(const std::string& entryId) const {
  auto r = model_->RevisionOf(entryId);
  if (!r) return std::nullopt;
  return ItemRevision{std::move(r->entryId), r->revision, r->deleted};
}

std::optional<StoredItem> ServerStore::Item(const std::string& entryId) const {
  auto record = model_->RecordByEntryId(entryId);
  if (!record || record->deleted || record->folder != folder_) return std::nullopt;
  return StoredItem{record->entryId, record->modified, record->saved};
}

const UserDef* ServerStore::FindDef(std::string_view name) const { return folder_->FindDef(name); }

std::string ServerStore::ApplyReceived(
    const std::string& entryId, ItemData data, AutoDate modified,
    const std::function<void(const std::string&, std::int64_t)>& alsoWrite) {
  return model_->ApplyReceived(folder_, entryId, std::move(data), modified, alsoWrite)->entryId;
}

void ServerStore::DeleteReceived(const std::string& entryId,
                                 const std::function<void()>& alsoWrite) {
  auto record = model_->RecordByEntryId(entryId);
  if (!record || record->folder != folder_)
    throw AutomationError(err::kOlNotFound, "Outlook", "The item has been moved or deleted.");
  model_->DeleteReceived(record, alsoWrite);
}

void ServerStore::ForgetDeletion(const std::string& entryId) { model_->ForgetDeletion(entryId); }

}  // namespace velklk::outlook
