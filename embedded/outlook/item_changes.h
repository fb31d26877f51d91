// What the Outlook store's write points tell the change observer
// (changes/change_observer.h). Internal to the embedded Outlook store.
#pragma once

#include <string>

#include "outlook/model.h"

namespace velklk {
class ChangeObserver;
}

namespace velklk::outlook {

// An item was saved: `record` as it was before (its saved values and time
// stamps; new when `added`), `staged` with the time stamps and keys of the
// save, `after` the values saved.
void NoteSaved(ChangeObserver& observer, const Record& record, const Record& staged,
               const ItemData& after, bool added);
// A saved item was deleted.
void NoteDeleted(ChangeObserver& observer, const Record& record);
// A user-property definition was added to or deleted from a folder.
void NoteDefinition(ChangeObserver& observer, const Folder& folder, const std::string& name,
                    OlUserPropertyType type, bool added);

}  // namespace velklk::outlook
