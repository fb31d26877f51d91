#include "outlook/server_store.h"

#include "outlook/embedded_outlook.h"
#include "outlook/model.h"
#include "platform/automation_error.h"

namespace velklk::outlook {

ServerStore::ServerStore(EmbeddedOutlook& outlook, const std::string& folderPath)
    : model_(outlook.GetModel()), folder_(model_->FolderByPath(folderPath)) {}

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

bool ServerStore::Has(const std::string& entryId) const {
  auto record = model_->RecordByEntryId(entryId);
  return record && !record->deleted && record->folder == folder_;
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

void ServerStore::SetReadOnly(bool readOnly) { model_->SetReadOnly(folder_, readOnly); }

bool ServerStore::ReadOnly() const { return folder_->readOnly; }

void CountRestored(EmbeddedOutlook& outlook, std::int64_t folderId, const std::string& entryId,
                   bool deleted) {
  outlook.GetModel()->CountRestored(folderId, entryId, deleted);
}

}  // namespace velklk::outlook
