// What the host's write points tell the change observer (changes/
// change_observer.h). Each note does nothing while no observer is set.
// Internal to the embedded host.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/host_core.h"

namespace velklk::host {

// A record was added with these values (one per field of the table).
void NoteCreated(HostCore& core, const TableDef& table, const std::vector<Variant>& values);
// A record was stored: `written` marks the fields the store wrote; those
// whose value differs from `before` are told.
void NoteEdited(HostCore& core, const TableDef& table, const std::vector<Variant>& before,
                const std::vector<Variant>& after, const std::vector<bool>& written);
// A record is about to be deleted (call it before the row goes: it reads
// the values the record has).
void NoteDeleting(HostCore& core, const TableDef& table, std::int64_t row);
// The tenants of a record changed.
void NoteTenants(HostCore& core, const TableDef& table, const std::string& id,
                 const std::string& before, const std::string& after);

// A setting of a user or a global variable about to be written: reads the
// value it has, and tells the change once Written has the value it got
// (or that it was removed).
class ValueNote {
 public:
  // `user` empty: the global variable `key`; otherwise the user's setting.
  ValueNote(HostCore& core, std::string user, std::string key);
  void Written(const Variant& after);
  void Removed() { Written(Variant(), true); }

 private:
  void Written(const Variant& after, bool removed);
  HostCore& core_;
  std::string user_, key_;
  bool existed_ = false;
  Variant before_;
};

}  // namespace velklk::host
