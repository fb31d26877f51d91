#!/usr/bin/env bash
# Sets up (installs missing Debian packages, builds) and runs the main job on
# the embedded default: a demo profile is created in a fresh folder and the
# add-in is called on it, printing the JSON lines of each call.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${VELKLK_BUILD:-$here/build}"

"$here/scripts/setup.sh" "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
velklk="$build/cli/velklk"

profile="$(mktemp -d "${TMPDIR:-/tmp}/velklk-demo.XXXXXX")"
echo "# velklk init $profile"
"$velklk" init "$profile"

run() {
  echo
  echo "# velklk -p PROFILE $*"
  set +e
  "$velklk" -p "$profile" "$@"
  local status=$?
  set -e
  echo "# exit status $status"
}

# The start-up chain on the demo profile: attach to Outlook, resolve the
# contacts, calendar and tasks folders, open the host tables, check for items
# of the older release; then the worker updates the address's contact.
run --user ANNA --now "2026-12-06 10:00:00" call velKLK.CSync AddressOrContactSync2OL 0000000001 Adressen

# The contact that the call wrote, found by its link key.
run find 'anna.berg@velmora.example\Kontakte' '[velSearch] = "0000000001Adressen"'

# The choice of the calendars with the calendar dialog, answered on the
# console: Anna checks Clara's calendar beside hers and Ben's and presses OK.
run --user ANNA --dialog '{"check":["clara.lind@velmora.example\\Kalender"],"press":"ok"}' \
  call velKLK.CSync SelectOLAppointmentPath
echo "# Anna's calendars now: $("$velklk" -p "$profile" dump --host | python3 -c \
  'import json, sys; users = json.load(sys.stdin)["host"]["users"]
print(next(u for u in users if u["name"] == "ANNA")["settings"]["PREXOLCalPath"])')"

echo
echo "# the diagnostic log of the calls ($profile/Logs/velKLK.log)"
cat "$profile/Logs/velKLK.log" 2>/dev/null || echo "(no log written)"

# The contact round trip: export an address and a contact person, change the
# contact in Outlook later, synchronise back, import a contact entered in
# Outlook, and show what changed.
echo
VELKLK_BUILD="$build" "$here/scripts/demo-contacts.sh"

# The appointment round trip: an activity exported, moved in Outlook and
# synchronised back, an appointment entered in Outlook that becomes an
# activity, and a private appointment imported as a calendar entry.
echo
VELKLK_BUILD="$build" "$here/scripts/demo-appointments.sh"

# The task round trip: a task exported, completed in the CRM and mirrored, a
# task entered in Outlook imported.
echo
VELKLK_BUILD="$build" "$here/scripts/demo-tasks.sh"

# A dry run of the contact import (its changes printed, then undone), the
# real run, a dry run in a session, and the profile's journal of the calls.
echo
VELKLK_BUILD="$build" "$here/scripts/demo-safety.sh"

# The server round trip: a Radicale on 127.0.0.1, CRM addresses exported and
# sent, listed by khard through vdirsyncer, changed there, received and
# synchronised back into the CRM.
echo
VELKLK_BUILD="$build" "$here/scripts/demo-server.sh"
