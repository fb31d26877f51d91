#!/usr/bin/env bash
# A dry run, the report and the journal on the demo profile: the contact
# import is first run as a dry run (its changes printed, then undone: the
# profile's dump stays the same), then for real; the journal of the profile
# then lists both calls. Last, a dry run in a session.
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

echo
echo "# a session command as a dry run: the task import"
printf '%s\n' \
  '{"call": ["velKLK.CSync", "SyncTasks2VEL", "False"], "user": "ANNA", "dryRun": true}' |
  "$velklk" -p "$profile" session

echo
echo "# velklk report PROFILE"
"$velklk" report "$profile"
