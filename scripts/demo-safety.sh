#!/usr/bin/env bash
# A dry run, the report, the journal and undo on the demo profile: the
# contact import is first run as a dry run (its changes printed, then undone:
# the profile's dump stays the same), then for real, then undone (the dump is
# the one before it again), and the undo undone (the import's work is back).
# Last, a dry run in a session; the journal then lists every step.
set -euo pipefail
source "$(dirname "$0")/demo-lib.sh"
demo_profile safety

before="$("$velklk" -p "$profile" dump)"
echo
echo "# velklk -p PROFILE --user ANNA call --dry-run velKLK.CSync SyncContacts2VEL"
"$velklk" -p "$profile" --user ANNA call --dry-run velKLK.CSync SyncContacts2VEL
if [ "$before" = "$("$velklk" -p "$profile" dump)" ]; then
  echo "# the dump after the dry run is the dump before it"
else
  echo "# the dry run changed the profile" >&2
  exit 1
fi

echo
echo "# velklk -p PROFILE --user ANNA call velKLK.CSync SyncContacts2VEL"
"$velklk" -p "$profile" --user ANNA call velKLK.CSync SyncContacts2VEL
imported="$("$velklk" -p "$profile" dump)"

echo
echo "# velklk -p PROFILE undo"
"$velklk" -p "$profile" undo
if [ "$before" = "$("$velklk" -p "$profile" dump)" ]; then
  echo "# the dump after the undo is the dump before the import"
else
  echo "# the undo did not bring the profile back" >&2
  exit 1
fi

echo
echo "# velklk -p PROFILE undo (the undo undone: the import's work is back)"
"$velklk" -p "$profile" undo
if [ "$imported" = "$("$velklk" -p "$profile" dump)" ]; then
  echo "# the dump is the one after the import again"
else
  echo "# undoing the undo did not bring the import back" >&2
  exit 1
fi

echo
echo "# a session command as a dry run: the task import"
printf '%s\n' \
  '{"call": ["velKLK.CSync", "SyncTasks2VEL", "False"], "user": "ANNA", "dryRun": true}' |
  "$velklk" -p "$profile" session

echo
echo "# velklk report PROFILE"
"$velklk" report "$profile"
