#!/usr/bin/env bash
# Server round trip on the demo profile: Anna's mailbox is bound to an address
# book on a Radicale started here (on 127.0.0.1, stopped by its process id at
# the end, also when a step fails); the add-in exports CRM addresses and
# velklk sends them; vdirsyncer brings the address book to a folder and khard,
# a CardDAV client nobody here wrote, lists it; the contacts are changed
# there (one edited, one deleted, one added) and sent back; velklk receives
# them and the add-in synchronises them into the CRM. Then the calendar and
# the tasks: an activity and a task go out the same way; khal lists the
# activity at its hour (the profile's zone is Europe/Berlin) and todoman the
# task; the task is completed in todoman, comes back and the add-in carries
# the completion into the CRM.
set -euo pipefail
source "$(dirname "$0")/demo-lib.sh"
for tool in radicale vdirsyncer khard khal todoman python3; do
  command -v "$tool" >/dev/null || {
    echo "demo-server.sh: $tool is not installed (scripts/setup.sh installs it)" >&2
    exit 1
  }
done
demo_profile server
contacts='anna.berg@velmora.example\Kontakte'

# --- Radicale on a free port of 127.0.0.1, its storage on /dev/shm when there
scratch_root=/tmp
[ -d /dev/shm ] && [ -w /dev/shm ] && scratch_root=/dev/shm
server="$(mktemp -d "$scratch_root/velklk-demo-radicale.XXXXXX")"
source "$(dirname "$0")/radicale-lib.sh"
stop_server() {
  stop_radicale
  rm -rf "$server"
}
trap stop_server EXIT

printf 'anna:demo-secret\n' >"$server/users"
printf 'demo-secret\n' >"$server/password"
chmod 600 "$server/password"
start_radicale "$server"
port="$radicale_port"
echo "# Radicale listens on http://127.0.0.1:$port/ (process $radicale_pid), user anna"

# The outside clients run with a home of their own inside the profile folder.
client="$profile/client"
mkdir -p "$client/home" "$client/contacts" "$client/status"
clients() {
  env LC_ALL=C.UTF-8 HOME="$client/home" XDG_CONFIG_HOME="$client/home/config" \
    XDG_DATA_HOME="$client/home/data" XDG_CACHE_HOME="$client/home/cache" "$@"
}
step() {
  echo
  echo "# --- $*"
}
run() {
  echo "\$ $*"
  "$@"
}

step "1. Anna keeps three CRM addresses in her Outlook (favourite marks); her mailbox is bound to an address book on the server"
# The demo profile marks the first address as Anna's; the two others get
# their marks here, as a CRM user sets them.
"$velklk" -p "$profile" dump >"$profile/desk.json"
python3 - "$profile/desk.json" <<'PY'
import json, sys
path = sys.argv[1]
state = json.load(open(path, encoding="utf-8"))
marks = state["host"]["tables"].setdefault("Adressmerkmale", [])
for key in ("0000000002", "0000000003"):
    marks.append({"@master": key, "Gruppe": "Kestrelink", "Merkmal": "OutlookFavorit", "Wert": "ANNA"})
json.dump(state, open(path, "w", encoding="utf-8"), ensure_ascii=False)
PY
"$velklk" -p "$profile" load "$profile/desk.json" >/dev/null
echo "\$ $velklk -p $profile account add anna.berg@velmora.example --url http://127.0.0.1:$port/ --user anna --password-file $server/password --create --time-zone Europe/Berlin"
"$velklk" -p "$profile" account add anna.berg@velmora.example \
  --url "http://127.0.0.1:$port/" --user anna --password-file "$server/password" \
  --create --time-zone Europe/Berlin | tee "$profile/bound.jsonl"
# The collection bound to a folder of Anna's mailbox.
collection_of() {
  python3 -c '
import json, sys
for line in open(sys.argv[1], encoding="utf-8"):
    b = json.loads(line)
    if b.get("event") == "bound" and b["folder"] == "anna.berg@velmora.example\\" + sys.argv[2]:
        print(b["collection"])' "$profile/bound.jsonl" "$1"
}
collection="$(collection_of Kontakte)"

step "2. The add-in exports the three addresses into Anna's Outlook, velklk sends them"
echo "# each line below is sent to: velklk -p PROFILE session"
session <<'JSON'
{"call": ["velKLK.CSync", "AddressOrContactSync2OL", "0000000001", "Adressen"], "user": "ANNA", "now": "2026-12-06 10:00:00"}
{"call": ["velKLK.CSync", "AddressOrContactSync2OL", "0000000002", "Adressen"], "user": "ANNA", "now": "2026-12-06 10:00:00"}
{"call": ["velKLK.CSync", "AddressOrContactSync2OL", "0000000003", "Adressen"], "user": "ANNA", "now": "2026-12-06 10:00:00"}
JSON
run "$velklk" -p "$profile" --user ANNA --now "2026-12-06 10:30:00" send-receive

step "3. A CardDAV client: vdirsyncer syncs the address book into $client/contacts, khard lists it"
cat >"$client/vdirsyncer.conf" <<EOF
[general]
status_path = "$client/status/"

[pair velklk]
a = "velklk_local"
b = "velklk_server"
collections = null

[storage velklk_local]
type = "filesystem"
path = "$client/contacts/"
fileext = ".vcf"

[storage velklk_server]
type = "carddav"
url = "$collection"
username = "anna"
password.fetch = ["command", "cat", "$server/password"]
EOF
cat >"$client/khard.conf" <<EOF
[addressbooks]
[[velklk]]
path = $client/contacts/
[general]
debug = no
default_action = list
editor = /bin/false
merge_editor = /bin/false
[contact table]
display = first_name
group_by_addressbook = no
reverse = no
show_nicknames = yes
show_uids = no
sort = last_name
localize_dates = no
preferred_phone_number_type = pref, cell, home
preferred_email_address_type = pref, work, home
[vcard]
private_objects = Jabber,
preferred_version = 3.0
search_in_source_files = no
skip_unparsable = no
EOF
vdirsyncer=(clients vdirsyncer -c "$client/vdirsyncer.conf")
khard=(clients khard -c "$client/khard.conf")
echo "\$ yes | vdirsyncer discover && vdirsyncer sync"
{ yes || true; } | "${vdirsyncer[@]}" discover >/dev/null 2>&1
"${vdirsyncer[@]}" sync
echo "\$ khard list; khard email; khard phone"
"${khard[@]}" list
"${khard[@]}" email 2>/dev/null
"${khard[@]}" phone 2>/dev/null

step "4. On the client: Max Mustermann's card gets a new e-mail address and mobile number, Nordlicht's card is deleted, Lisa Krüger's is added"
card_with() { grep -l -- "$1" "$client/contacts/"*.vcf | head -n 1; }
max="$(card_with max.mustermann@example.com)"
python3 - "$max" <<'PY'
import os, re, sys
path = sys.argv[1]
text = open(path, encoding="utf-8", newline="").read()
text = text.replace("max.mustermann@example.com", "max@mustermann.example")
text = text.replace("+49 170 5550101", "+49 170 5550199")
# A client that changes a card gives it a new revision.
text = re.sub(r"REV:[^\r\n]*", "REV:20261206T120000Z", text)
# Written anew and renamed over the old file, as editors do.
open(path + ".new", "w", encoding="utf-8", newline="").write(text)
os.replace(path + ".new", path)
PY
rm "$(card_with Nordlicht)"
printf 'BEGIN:VCARD\r\nVERSION:3.0\r\nUID:lisa-kruger-1\r\nN:Krüger;Lisa;;;\r\nFN:Lisa Krüger\r\nNICKNAME:Lis\r\nEMAIL;TYPE=HOME:lisa.krueger@example.org\r\nTEL;TYPE=HOME,VOICE:+49 40 5556677\r\nREV:20261206T120500Z\r\nEND:VCARD\r\n' \
  >"$client/contacts/lisa-kruger.vcf"
echo "\$ vdirsyncer sync"
"${vdirsyncer[@]}" sync

step "5. velklk receives the three changes into Anna's Outlook"
run "$velklk" -p "$profile" --user ANNA --now "2026-12-06 13:00:00" send-receive

snapshot() {
  # The CRM records the round trip touches, one line each, into file $1.
  "$velklk" -p "$profile" dump --host | python3 -c '
import json, sys
tables = json.load(sys.stdin)["host"]["tables"]
for name in ("Adressen", "Adressmerkmale", "TBKLK_SyncLog"):
    for r in tables.get(name, []):
        keep = {k: v for k, v in r.items()
                if v not in ("", None, False, 0) and k not in ("Memo", "URL", "Strasse", "PLZ")}
        print(name, json.dumps(keep, ensure_ascii=False))
' >"$1"
}
snapshot "$profile/before.txt"

step "6. The add-in synchronises them into the CRM: the edit (the newer Outlook side wins), the new contact (import), the deleted contact (Anna no longer keeps Nordlicht: favourite mark and sync-log entry go, the address stays)"
echo "# each line below is sent to: velklk -p PROFILE session"
session <<'JSON'
{"call": ["velKLK.CSync", "AddressOrContactSync2OL", "0000000002", "Adressen"], "user": "ANNA", "now": "2026-12-06 13:05:00"}
{"call": ["velKLK.CSync", "SyncContacts2VEL"], "user": "ANNA", "now": "2026-12-06 13:06:00"}
{"call": ["velKLK.CSync", "AddressOrContactSync2OL", "0000000003", "Adressen"], "user": "ANNA", "now": "2026-12-06 13:07:00"}
JSON
snapshot "$profile/after.txt"
echo
echo "# what changed in the CRM"
show_changes "$profile/before.txt" "$profile/after.txt"

step "7. What the add-in wrote (the link keys of the imported contacts) goes back to the server and the client"
run "$velklk" -p "$profile" --user ANNA --now "2026-12-06 13:30:00" send-receive
echo "\$ vdirsyncer sync"
"${vdirsyncer[@]}" sync
echo "\$ khard list"
"${khard[@]}" list
echo "# Lisa Krüger's card on the client: her nickname kept, the CRM's link key added"
cat "$(card_with lisa.krueger@example.org)"

step "8. Calendar and tasks: the add-in exports Anna's activity \"Besprechung Angebot\" (8 December, 10:00) and her task \"Angebot nachfassen\" into her Outlook, velklk sends them"
echo "# each line below is sent to: velklk -p PROFILE session"
session <<'JSON'
{"call": ["velKLK.CSync", "AppSync2OL", "0000000031", "Aktivitaeten", "0000000031", "Aktivitaeten", ""], "user": "ANNA", "now": "2026-12-06 14:00:00"}
{"call": ["velKLK.CSync", "TaskSync2OL", "0000000041", "WRTM_Tasks", "False"], "user": "ANNA", "now": "2026-12-06 14:00:00"}
JSON
run "$velklk" -p "$profile" --user ANNA --now "2026-12-06 14:30:00" send-receive

step "9. vdirsyncer syncs the calendar into $client/calendar and the tasks into $client/todo/aufgaben; khal lists the events in Europe/Berlin, todoman the tasks"
mkdir -p "$client/calendar" "$client/todo/aufgaben" "$client/status-calendar"
{
  printf '[general]\nstatus_path = "%s/status-calendar/"\n' "$client"
  for pair in calendar:Kalender:calendar tasks:Aufgaben:todo/aufgaben; do
    IFS=: read -r name folder path <<<"$pair"
    cat <<EOF

[pair $name]
a = "${name}_local"
b = "${name}_server"
collections = null

[storage ${name}_local]
type = "filesystem"
path = "$client/$path/"
fileext = ".ics"

[storage ${name}_server]
type = "caldav"
url = "$(collection_of "$folder")"
username = "anna"
password.fetch = ["command", "cat", "$server/password"]
EOF
  done
} >"$client/vdirsyncer-calendar.conf"
cat >"$client/khal.conf" <<EOF
[calendars]
[[anna]]
path = $client/calendar/
type = calendar
[locale]
timeformat = %H:%M
dateformat = %Y-%m-%d
longdateformat = %Y-%m-%d
datetimeformat = %Y-%m-%d %H:%M
longdatetimeformat = %Y-%m-%d %H:%M
local_timezone = Europe/Berlin
default_timezone = Europe/Berlin
[sqlite]
path = $client/khal.db
EOF
cat >"$client/todoman.py" <<EOF
path = "$client/todo/*"
date_format = "%Y-%m-%d"
time_format = "%H:%M"
default_list = "aufgaben"
cache_path = "$client/todoman.db"
EOF
vdirsyncer_calendar=(clients vdirsyncer -c "$client/vdirsyncer-calendar.conf")
khal=(clients env TZ=Europe/Berlin khal -c "$client/khal.conf")
todoman=(clients env TZ=Europe/Berlin todoman -c "$client/todoman.py")
echo "\$ yes | vdirsyncer discover && vdirsyncer sync"
{ yes || true; } | "${vdirsyncer_calendar[@]}" discover >/dev/null 2>&1
"${vdirsyncer_calendar[@]}" sync
echo "\$ khal list 2026-12-01 2026-12-31"
"${khal[@]}" list --day-format "" --format "{start} - {end-time}  {title}" 2026-12-01 2026-12-31
echo "\$ todoman list"
"${todoman[@]}" list

task_snapshot() {
  # The task's CRM record, one line, into file $1.
  "$velklk" -p "$profile" dump --host | python3 -c '
import json, sys
for r in json.load(sys.stdin)["host"]["tables"].get("WRTM_Tasks", []):
    if r["ID"] == "0000000041":
        print("WRTM_Tasks", json.dumps({k: r.get(k) for k in ("ID", "Subject", "Status", "DoneInPercent", "DoneBy", "Version")}, ensure_ascii=False))
' >"$1"
}
task_snapshot "$profile/task-before.txt"

step "10. On the client: the task is completed in todoman, vdirsyncer sends it"
task="$("${todoman[@]}" --porcelain list | python3 -c '
import json, sys
print([t["id"] for t in json.load(sys.stdin) if t["summary"] == "Angebot nachfassen"][0])')"
run "${todoman[@]}" done "$task"
echo "\$ vdirsyncer sync"
"${vdirsyncer_calendar[@]}" sync

step "11. velklk receives the completed task; TaskSync2OL carries the completion into the CRM"
run "$velklk" -p "$profile" --user ANNA --now "2026-12-06 15:00:00" send-receive
echo "# each line below is sent to: velklk -p PROFILE session"
session <<'JSON'
{"call": ["velKLK.CSync", "TaskSync2OL", "0000000041", "WRTM_Tasks", "False"], "user": "ANNA", "now": "2026-12-06 15:05:00"}
JSON
task_snapshot "$profile/task-after.txt"
echo
echo "# what changed in the CRM"
show_changes "$profile/task-before.txt" "$profile/task-after.txt"
