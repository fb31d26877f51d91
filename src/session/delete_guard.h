// The guard against mass deletion. A worker that is about to delete many
// items of one Outlook folder, or many records of one host table, asks it
// first, before its first deletion of the run; above the limit of the
// current user's setting "TBKLK_DeleteGuard" the user is asked (Yes/No, No
// the default). No keeps every item of that deletion, the rest of the call
// goes on, and the refusal is kept in the shared state (DeletionsRefused)
// for the caller's report.
//
// The setting: "N;P%" asks when a run would delete more than N items and
// more than P percent of the folder or table; "N" alone or "P%" alone
// limits by that one measure; "0" turns the guard off. Missing, empty or
// unreadable: "50;20%".
#pragma once

#include <optional>
#include <string>

namespace velklk {

class HostTable;
class OlFolder;

namespace setting {
inline constexpr const char* kDeleteGuard = "TBKLK_DeleteGuard";
}

struct DeleteGuardLimit {
  bool on = true;
  long items = 50;   // more than this many
  int percent = 20;  // and more than this share (0: any share)
};
// The limit a setting text names; nothing for a text that names none.
std::optional<DeleteGuardLimit> ParseDeleteGuard(const std::string& text);

// True when `count` items of the folder may be deleted: at or below the
// limit, or the user said Yes.
bool MayDeleteFromFolder(OlFolder& folder, long count);
// True when `count` records of the table may be deleted.
bool MayDeleteFromTable(HostTable& table, long count);

}  // namespace velklk
