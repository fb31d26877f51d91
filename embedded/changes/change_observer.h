// The one way the embedded stores tell what they write: the host's table,
// setting and global writes and the Outlook store's item saves, deletions
// and property definitions each hand one ChangeRecord to the observer set on
// them (none by default, which costs a null test). The velklk command's
// report, its dry run and the benchmarks listen through it.
#pragma once

#include <string>
#include <vector>

#include "platform/host.h"
#include "platform/variant.h"

namespace velklk {

// Whether a field kept its value. Links are objects made afresh on every
// read: they are the same value when they lead to the same target.
inline bool SameValue(const Variant& a, const Variant& b) {
  if (a.IsObject() && b.IsObject()) {
    auto la = a.As<HostLink>();
    auto lb = b.As<HostLink>();
    if (la && lb) return la->Target() == lb->Target();
  }
  return a == b;
}

struct FieldChange {
  std::string name;  // host field, Outlook property ("user." + name for a user property)
  Variant before;    // empty for a value that did not exist
  Variant after;     // empty for a value that is gone
};

struct ChangeRecord {
  enum class Half { Host, Outlook };
  enum class Kind { Created, Changed, Deleted };
  Half half = Half::Host;
  Kind kind = Kind::Changed;
  // Host: the table name, "(settings)" or "(globals)". Outlook: the folder
  // path "store\folder[\sub]".
  std::string container;
  // Host: the record's "ID" (settings: "USER\KEY"; globals: the name).
  // Outlook: the item's entry ID; empty for the folder itself (its property
  // definitions).
  std::string key;
  // A readable name of an Outlook item (its FileAs or Subject); empty on
  // the host, whose keys are readable.
  std::string name;
  // Created: the values set (before empty). Changed: the fields whose value
  // differs (before and after). Deleted: the values the record had (after
  // empty).
  std::vector<FieldChange> fields;
};

class ChangeObserver {
 public:
  virtual ~ChangeObserver() = default;
  // Called after the write reached the database; must not raise.
  virtual void Record(const ChangeRecord& change) noexcept = 0;
  // False when the observer needs no values of records created or deleted
  // (their keys suffice): the stores then leave them out of those records.
  virtual bool KeepsValues() const { return true; }
};

}  // namespace velklk
