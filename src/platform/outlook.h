// The Outlook object model as the add-in uses it: application, name space,
// folders, items with their standard and user properties, links, recipients
// and explorers. Every member may raise an AutomationError; the numbers the
// callers rely on are err::kOlNotFound (a folder or item name that does not
// exist), err::kOlNetwork (server not reachable) and err::kOlRefusedValue.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/export.h"
#include "platform/variant.h"

namespace velklk {

class OlFolder;
class OlFolders;
class OlItem;
class OlItems;

// Outlook's default item types of folders (and the types Items.Add takes).
enum class OlItemType { Mail = 0, Appointment = 1, Contact = 2, Task = 3, DistList = 7 };
// Outlook's shared default folder type of a calendar.
inline constexpr int kOlFolderCalendar = 9;

// The late-bound Class of an item.
namespace olclass {
inline constexpr int kAppointment = 26;
inline constexpr int kContact = 40;
inline constexpr int kTask = 48;
inline constexpr int kDistList = 69;
}  // namespace olclass

// User property types.
enum class OlUserPropertyType { Text = 1, YesNo = 6 };

// Sensitivity values.
inline constexpr int kOlNormal = 0;
inline constexpr int kOlPrivate = 2;

class VELKLK_API OlUserProperty {
 public:
  virtual ~OlUserProperty() = default;
  virtual std::string Name() const = 0;
  virtual OlUserPropertyType Type() const = 0;
  virtual Variant Value() const = 0;
  virtual void SetValue(const Variant& value) = 0;
  virtual void Delete() = 0;
};

class VELKLK_API OlUserProperties {
 public:
  virtual ~OlUserProperties() = default;
  virtual int Count() const = 0;
  virtual std::shared_ptr<OlUserProperty> Item(int index) = 0;  // 1-based
  // Raises kOlNotFound-like error when the item has no property of that name.
  virtual std::shared_ptr<OlUserProperty> Item(const std::string& name) = 0;
  // Nothing when the item has no property of that name.
  virtual std::shared_ptr<OlUserProperty> Find(const std::string& name) = 0;
  // Adds a property; raises kOlNetwork while the profile is offline.
  virtual std::shared_ptr<OlUserProperty> Add(const std::string& name, OlUserPropertyType type) = 0;
};

// A folder's user-property definition.
class VELKLK_API OlUserDefinedProperty {
 public:
  virtual ~OlUserDefinedProperty() = default;
  virtual std::string Name() const = 0;
  virtual OlUserPropertyType Type() const = 0;
  virtual void Delete() = 0;
};

class VELKLK_API OlUserDefinedProperties {
 public:
  virtual ~OlUserDefinedProperties() = default;
  virtual int Count() const = 0;
  virtual std::shared_ptr<OlUserDefinedProperty> Item(int index) = 0;  // 1-based
  virtual std::shared_ptr<OlUserDefinedProperty> Find(const std::string& name) = 0;
  // Raises kOlNetwork while the profile is offline.
  virtual std::shared_ptr<OlUserDefinedProperty> Add(const std::string& name,
                                                     OlUserPropertyType type) = 0;
};

class VELKLK_API OlAddressEntry : public AutomationObject {
 public:
  // The contact behind the entry, or nothing.
  virtual std::shared_ptr<OlItem> GetContact() = 0;
};

class VELKLK_API OlLink {
 public:
  virtual ~OlLink() = default;
  virtual std::string Name() const = 0;
  // The linked contact, or nothing when it no longer exists.
  virtual std::shared_ptr<OlItem> Item() = 0;
  virtual std::shared_ptr<OlAddressEntry> AddressEntry() = 0;
};

class VELKLK_API OlLinks {
 public:
  virtual ~OlLinks() = default;
  virtual int Count() const = 0;
  virtual std::shared_ptr<OlLink> Item(int index) = 0;  // 1-based
  virtual std::shared_ptr<OlLink> Add(const std::shared_ptr<OlItem>& contact) = 0;
  virtual void Remove(int index) = 0;  // 1-based
};

class VELKLK_API OlItem : public AutomationObject {
 public:
  // The late-bound Class (olclass::...).
  virtual int Class() const = 0;
  // A standard property by its Outlook name. Raises err::kUnknownName for a
  // name the item's kind does not have. Unset dates read as kNoDate.
  virtual Variant Get(const std::string& property) const = 0;
  // Raises err::kUnknownName for an unknown name, err::kOlRefusedValue for a
  // value the profile refuses, err::kTypeMismatch for a value of the wrong kind.
  virtual void Set(const std::string& property, const Variant& value) = 0;
  virtual std::shared_ptr<OlUserProperties> UserProperties() = 0;
  // Appointments and tasks; raises err::kUnknownName for other kinds.
  virtual std::shared_ptr<OlLinks> Links() = 0;
  // Sets LastModificationTime and fires ItemAdd (new item) or ItemChange.
  virtual void Save() = 0;
  virtual void Delete() = 0;
  virtual void Display(bool modal) = 0;
  virtual std::shared_ptr<OlFolder> Parent() = 0;
  // A stable identity of the item within its profile.
  virtual std::string EntryId() const = 0;
  virtual bool IsDeleted() const = 0;
};

// Receives the events of an Items collection.
class VELKLK_API OlItemsListener {
 public:
  virtual ~OlItemsListener() = default;
  virtual void ItemAdd(const std::shared_ptr<OlItem>& item) = 0;
  virtual void ItemChange(const std::shared_ptr<OlItem>& item) = 0;
};

class VELKLK_API OlItems {
 public:
  virtual ~OlItems() = default;
  virtual int Count() const = 0;
  virtual std::shared_ptr<OlItem> Item(int index) = 0;  // 1-based, stable order
  // A new, unsaved item of the folder's default type.
  virtual std::shared_ptr<OlItem> Add() = 0;
  virtual std::shared_ptr<OlItem> Add(OlItemType type) = 0;
  // The first item matching the filter, or nothing; FindNext continues that
  // walk. A malformed filter raises an automation error.
  virtual std::shared_ptr<OlItem> Find(const std::string& filter) = 0;
  virtual std::shared_ptr<OlItem> FindNext() = 0;
  // Events: the listener is held weakly and called on the same thread.
  virtual void Advise(const std::shared_ptr<OlItemsListener>& listener) = 0;
  virtual void Unadvise(const std::shared_ptr<OlItemsListener>& listener) = 0;
  virtual std::shared_ptr<OlFolder> Parent() = 0;
};

class VELKLK_API OlExplorer {
 public:
  virtual ~OlExplorer() = default;
  virtual void Display() = 0;
  virtual int WindowState() const = 0;
  virtual void SetWindowState(int state) = 0;
  virtual void Close() = 0;
};

class VELKLK_API OlFolders {
 public:
  virtual ~OlFolders() = default;
  virtual int Count() const = 0;
  virtual std::shared_ptr<OlFolder> Item(int index) = 0;  // 1-based
  // Raises err::kOlNotFound when no folder has that name (exact name).
  virtual std::shared_ptr<OlFolder> Item(const std::string& name) = 0;
  virtual std::shared_ptr<OlFolder> GetFirst() = 0;
  virtual std::shared_ptr<OlFolder> GetNext() = 0;
  virtual std::shared_ptr<OlFolder> Add(const std::string& name, OlItemType type) = 0;
};

class VELKLK_API OlFolder : public AutomationObject {
 public:
  virtual std::string Name() const = 0;
  virtual OlItemType DefaultItemType() const = 0;
  // "\\store\folder\subfolder".
  virtual std::string FolderPath() const = 0;
  virtual std::shared_ptr<OlFolders> Folders() = 0;
  virtual std::shared_ptr<OlItems> Items() = 0;
  virtual std::shared_ptr<OlUserDefinedProperties> UserDefinedProperties() = 0;
  virtual std::shared_ptr<OlExplorer> GetExplorer() = 0;
};

class VELKLK_API OlRecipient {
 public:
  virtual ~OlRecipient() = default;
  virtual std::string Name() const = 0;
  virtual bool Resolve() = 0;
  virtual bool Resolved() const = 0;
};

class VELKLK_API OlNameSpace {
 public:
  virtual ~OlNameSpace() = default;
  // The top-level folders (message stores).
  virtual std::shared_ptr<OlFolders> Folders() = 0;
  virtual std::shared_ptr<OlRecipient> CreateRecipient(const std::string& name) = 0;
  // The recipient's default folder of that type (kOlFolderCalendar);
  // raises when there is none or it may not be opened.
  virtual std::shared_ptr<OlFolder> GetSharedDefaultFolder(const std::shared_ptr<OlRecipient>& r,
                                                           int folderType) = 0;
};

class VELKLK_API OlApplication {
 public:
  virtual ~OlApplication() = default;
  virtual std::string Version() const = 0;
  // Only "MAPI"; any other name raises.
  virtual std::shared_ptr<OlNameSpace> GetNamespace(const std::string& type) = 0;
  // The active explorer window, or nothing.
  virtual std::shared_ptr<OlExplorer> ActiveExplorer() = 0;
};

// The system's running-object lookup for "Outlook.Application": attaches to
// the running instance, never starts one. Raises when Outlook is not running.
class VELKLK_API OlAttacher {
 public:
  virtual ~OlAttacher() = default;
  virtual std::shared_ptr<OlApplication> GetRunningOutlook() = 0;
};

}  // namespace velklk
