// The object-model classes over the model. Internal to the embedded store.
#pragma once

#include <memory>

#include "outlook/model.h"
#include "platform/outlook.h"

namespace velklk::outlook {

std::shared_ptr<OlItem> MakeItem(const std::shared_ptr<Model>& model,
                                 const std::shared_ptr<Record>& record);
std::shared_ptr<OlFolder> MakeFolder(const std::shared_ptr<Model>& model, Folder* folder);
std::shared_ptr<OlApplication> MakeApplication(const std::shared_ptr<Model>& model);
std::shared_ptr<OlAttacher> MakeAttacher(const std::shared_ptr<Model>& model);

// The record behind an item of this store, or nullptr for a foreign object.
std::shared_ptr<Record> RecordOf(const OlItem& item);
// The folder behind a folder of this store, or nullptr for a foreign object.
Folder* FolderOf(const OlFolder& folder);

// The error Outlook raises for an index outside a collection.
inline constexpr std::uint32_t kBadIndex = 0x8002000Bu;

}  // namespace velklk::outlook
