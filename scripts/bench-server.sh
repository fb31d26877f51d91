#!/usr/bin/env bash
# The server benchmark (not part of CI): send/receive passes of velklk
# against one local Radicale, beside two baselines in the same run: the same
# HTTP requests sent by a bare libcurl loop (bench/server/dav_bare_loop) and
# vdirsyncer syncing the same kind of collection with a local folder.
#
#   scripts/bench-server.sh [BUILD]     (BUILD: the build folder, default build/)
#
# Measured (medians printed, and the median of each round's ratios), every
# client on its own collection of the same server:
#   - the first send of ITEMS contacts (the bare loop and vdirsyncer PUT the
#     vCards velklk sent, as the server gives them back);
#   - a receive of ITEMS server-side changes (each item rewritten in
#     Radicale's storage folder, then one pass);
#   - a pass with nothing to do on ITEMS items;
# and once: passes with nothing to do over BIG items received before
# (requests and item reads counted), and the vCard codec's CPU cost per item
# (bench/server/vcard_bench).
# Calendars and tasks (velklk on collections of server users of its own,
# named by account add; the baselines on calendars of theirs):
#   - the first send of CAL_ITEMS appointments over 5 calendars (the store's
#     calendar and four subfolders) and, in a second profile, of CAL_ITEMS
#     tasks (the bare loop and vdirsyncer PUT the iCalendar objects velklk
#     sent, as the server gives them back);
#   - a receive of CAL_ITEMS server-side changes (every appointment's
#     SUMMARY rewritten in Radicale's storage folder, then one pass).
# Requests are counted from Radicale's log (one "request for" line each).
#
# Environment: BENCH_ITEMS (2000), BENCH_BIG_ITEMS (10000, 0 skips),
# BENCH_CAL_ITEMS (2000 appointments and 2000 tasks, 0 skips),
# BENCH_ROUNDS (3: receives and passes with nothing to do), BENCH_SEND_ROUNDS (1; 0
# measures no send and fills the collections in the server's storage instead),
# BENCH_KEEP=1 keeps the scratch folder.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$here/build}" && pwd)"
items="${BENCH_ITEMS:-2000}"
big="${BENCH_BIG_ITEMS:-10000}"
cal_items="$(( ${BENCH_CAL_ITEMS:-2000} / 5 * 5 ))"
rounds="${BENCH_ROUNDS:-3}"
send_rounds="${BENCH_SEND_ROUNDS:-1}"
velklk="$build/cli/velklk"
bare="$build/bench/server/dav_bare_loop"
vcard="$build/bench/server/vcard_bench"
for tool in "$velklk" "$bare" "$vcard"; do
  [ -x "$tool" ] || { echo "bench-server: $tool is missing: build velklk, dav_bare_loop and vcard_bench" >&2; exit 1; }
done
for tool in radicale vdirsyncer python3; do
  command -v "$tool" >/dev/null || { echo "bench-server: $tool is not installed (Debian package $tool)" >&2; exit 1; }
done

root=/dev/shm
[ -d /dev/shm ] && [ -w /dev/shm ] || root="${TMPDIR:-/tmp}"
scratch="$(mktemp -d "$root/velklk-bench.XXXXXX")"
source "$(dirname "$0")/radicale-lib.sh"
cleanup() {
  stop_radicale
  [ "${BENCH_KEEP:-0}" = 1 ] && echo "# kept $scratch" >&2 || rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# ---------------------------------------------------------------- the server
export BENCH_DAV_USER=bench BENCH_DAV_PASSWORD="bench-$$-$RANDOM"
# "bench" for the address books and the baselines' calendars, "calendars"
# and "tasks" for velklk's calendar and task profiles.
for user in "$BENCH_DAV_USER" calendars tasks; do
  printf '%s:%s\n' "$user" "$BENCH_DAV_PASSWORD"
done >"$scratch/users"
# Level "info": the log counts the requests each client sent.
start_radicale "$scratch" info || exit 1
log="$scratch/radicale.log"
url="http://127.0.0.1:$radicale_port/"
home="${url}bench/"

# Requests the server saw so far.
requests() { grep -c " request for '" "$log" || true; }
now_ms() { date +%s%3N; }

# ---------------------------------------------------------------- profiles
# A profile with N contacts as the add-in exports them (names, company,
# business address, phones, e-mail, a note, the link properties).
make_profile() { # DIR N
  "$velklk" init "$1" >/dev/null
  python3 - "$2" >"$scratch/fixture-$2.json" <<'PY'
import json, sys
n = int(sys.argv[1])
items = []
for i in range(1, n + 1):
    key = f"{i:010d}"
    items.append({
        "class": "contact", "FirstName": f"Max{i}", "LastName": f"Muster{i}",
        "CompanyName": f"Muster {i} GmbH", "Department": "Einkauf", "JobTitle": "Leiter",
        "BusinessAddressStreet": f"Weg {i}\r\nRaum 1", "BusinessAddressCity": "Hamburg",
        "BusinessAddressPostalCode": "20457", "BusinessAddressCountry": "Deutschland",
        "BusinessTelephoneNumber": f"040 {i}", "BusinessFaxNumber": f"040 {i}-99",
        "MobileTelephoneNumber": f"0170 {i}", "Email1Address": f"info{i}@muster.example",
        "Body": "Kunde seit 2001.\r\nRuft montags an.",
        "LastModificationTime": "2026-12-01 09:00:00",
        "userProperties": {"velSearch": "P" + key, "velTable": "Ansprechpartner",
                           "velID": key, "velKontaktTyp": "Ansprechpartner"}})
print(json.dumps({
    "now": "2026-12-06 10:00:00",
    "host": {"currentUser": "ANNA", "users": [{"name": "ANNA", "settings": {
        "PREXOLContactPath": "anna@velmora.example\\Kontakte"}}], "tables": {}},
    "outlook": {"stores": [{"name": "anna@velmora.example", "folders": [
        {"name": "Kontakte", "type": 2, "folders": [], "items": items,
         "userPropertyDefinitions": {"velSearch": "text", "velTable": "text", "velID": "text",
                                     "velKontaktTyp": "text"}}]}]}}))
PY
  "$velklk" -p "$1" load "$scratch/fixture-$2.json" >/dev/null
}

# Binds a copy of a profile to a new address book NAME; prints its URL.
bind() { # PROFILE NAME
  "$velklk" -p "$1" --user ANNA account add anna@velmora.example --url "$url" \
    --user "$BENCH_DAV_USER" --password-env BENCH_DAV_PASSWORD --create --address-book "$2" |
    python3 -c 'import json,sys; print([json.loads(l) for l in sys.stdin if "bound" in l][0]["collection"])'
}

# The results: one line per figure, "pass client round ms requests".
results="$scratch/results"
: >"$results"
record() { echo "$1 $2 $3 $4 $5" >>"$results"; }

# One velklk pass, timed as the user waits for it (process start and
# profile load included); checks what the report says it did.
velklk_pass() { # PASS ROUND PROFILE EXPECT(python expression on the folder's report r)
  local before after start end out
  before="$(requests)"
  start="$(now_ms)"
  out="$("$velklk" -p "$3" --user ANNA send-receive)"
  end="$(now_ms)"
  after="$(requests)"
  echo "$out" | python3 -c '
import json, sys
lines = [json.loads(l) for l in sys.stdin if l.startswith("{")]
r = [l for l in lines if l.get("event") == "report"][0]["outlook"]["anna@velmora.example\\Kontakte"]
ok = [l for l in lines if l.get("event") == "result"][0]["value"]
if not ok or not ('"$4"'):
    sys.exit("bench-server: velklk pass '"$1"': unexpected report " + json.dumps(r))'
  record "$1" velklk "$2" $((end - start)) $((after - before))
}

bare_step() { # PASS ROUND MODE COLLECTION ARG [COLLECTION ARG...]; prints the step's token(s)
  local before after out
  before="$(requests)"
  out="$("$bare" "${@:3}")"
  after="$(requests)"
  record "$1" bare "$2" "$(echo "$out" | python3 -c 'import json,sys; print(round(json.load(sys.stdin)["ms"]))')" $((after - before))
  echo "$out" | python3 -c 'import json,sys; print(json.load(sys.stdin)["token"])'
}

vds_config() { # DIR COLLECTION
  mkdir -p "$1/local" "$1/status"
  cat >"$1/config" <<EOF
[general]
status_path = "$1/status/"

[pair bench]
a = "bench_local"
b = "bench_remote"
collections = null
conflict_resolution = "b wins"

[storage bench_local]
type = "filesystem"
path = "$1/local/"
fileext = ".vcf"

[storage bench_remote]
type = "carddav"
url = "$2"
username = "$BENCH_DAV_USER"
password.fetch = ["command", "printenv", "BENCH_DAV_PASSWORD"]
EOF
  { yes || true; } | VDIRSYNCER_CONFIG="$1/config" vdirsyncer discover >"$1/discover.log" 2>&1
}

vds_sync() { # PASS ROUND DIR
  local before after start end
  before="$(requests)"
  start="$(now_ms)"
  VDIRSYNCER_CONFIG="$3/config" vdirsyncer sync >>"$3/sync.log" 2>&1 ||
    { cat "$3/sync.log" >&2; echo "bench-server: vdirsyncer sync failed" >&2; exit 1; }
  end="$(now_ms)"
  after="$(requests)"
  record "$1" vdirsyncer "$2" $((end - start)) $((after - before))
}

# N contacts written straight into the storage folder of the address book
# NAME of Radicale (made here unless "existing" follows).
seed_cards() { # N NAME [existing]
  [ "${3:-}" = existing ] || "$bare" mkcol "${home}$2/"
  python3 - "$1" "$scratch/collections/collection-root/bench/$2" <<'PY2'
import sys
n, folder = int(sys.argv[1]), sys.argv[2]
for i in range(1, n + 1):
    card = (f"BEGIN:VCARD\r\nVERSION:3.0\r\nUID:big-{i}\r\nN:Muster{i};Max{i};;;\r\n"
            f"FN:Max{i} Muster{i}\r\nORG:Muster {i} GmbH;Einkauf\r\nTITLE:Leiter\r\n"
            f"ADR;TYPE=WORK:;;Weg {i}\\nRaum 1;Hamburg;;20457;Deutschland\r\n"
            f"TEL;TYPE=WORK,VOICE:040 {i}\r\nTEL;TYPE=CELL:0170 {i}\r\n"
            f"EMAIL;TYPE=INTERNET:info{i}@muster.example\r\n"
            f"NOTE:Kunde seit 2001.\\nRuft montags an.\r\nX-VELKLK-velSearch:P{i:010d}\r\n"
            f"REV:20261201T090000Z\r\nEND:VCARD\r\n")
    with open(f"{folder}/big-{i}.vcf", "w", newline="") as f:
        f.write(card)
PY2
}

echo "# bench-server: $items contacts, $rounds rounds, Radicale $(radicale --version) on $scratch" >&2
make_profile "$scratch/template" "$items"
cards="$scratch/cards"
# The first send: once per client and round (each PUT costs Radicale more the
# fuller the collection is, so a send of 2,000 takes minutes).
if [ "$send_rounds" -eq 0 ]; then
  # No send measured: the three collections filled in the storage, the
  # profile and vdirsyncer's folder by a first sync (not timed).
  echo "# no send: $items contacts put into the server's storage" >&2
  profile="$scratch/p1"
  vds="$scratch/v1"
  theirs="${home}bare-1/"
  make_profile "$profile" 0
  mine="$(bind "$profile" velklk-1)"
  seed_cards "$items" velklk-1 existing
  for name in bare-1 vds-1; do seed_cards "$items" "$name"; done
  "$velklk" -p "$profile" --user ANNA send-receive >/dev/null
  vds_config "$vds" "${home}vds-1/"
  VDIRSYNCER_CONFIG="$vds/config" vdirsyncer sync >"$vds/sync.log" 2>&1
  send_rounds=1
  sends=0
fi
for r in $(seq "${sends:-$send_rounds}"); do
  echo "# first send, round $r" >&2
  profile="$scratch/p$r"
  cp -a "$scratch/template" "$profile"
  mine="$(bind "$profile" "velklk-$r")"
  theirs="${home}bare-$r/"
  vds="$scratch/v$r"
  "$bare" mkcol "$theirs"
  "$bare" mkcol "${home}vds-$r/"
  velklk_pass send "$r" "$profile" "r['sent']['created'] == $items"
  [ -d "$cards" ] || "$bare" dump "$mine" "$cards" >/dev/null
  bare_step send "$r" put "$theirs" "$cards" >/dev/null
  vds_config "$vds" "${home}vds-$r/"
  cp "$cards"/*.vcf "$vds/local/"
  vds_sync send "$r" "$vds"
done

# Every item of the collections changed on the server: the first PROPERTY
# value of each file with that EXTENSION rewritten in Radicale's storage
# folder (a PUT of 2,000 items through Radicale takes minutes); Radicale's
# sync tokens see the new contents.
change_in_storage() { # EXTENSION PROPERTY ROUND URL...
  local extension="$1" property="$2" round="$3"
  shift 3
  python3 - "$extension" "$property" "$round" "$scratch/collections/collection-root" "$@" <<'PY2'
import os, sys
from urllib.parse import urlsplit, unquote
extension, prop, round_, root = sys.argv[1:5]
for url in sys.argv[5:]:
    folder = os.path.join(root, unquote(urlsplit(url).path).strip("/"))
    for name in os.listdir(folder):
        if not name.endswith(extension):
            continue
        path = os.path.join(folder, name)
        with open(path, newline="") as f:
            text = f.read()
        with open(path, "w", newline="") as f:
            f.write(text.replace(f"\n{prop}:", f"\n{prop}:R{round_} ", 1))
PY2
}

# Receives of every item changed on the server, and passes with nothing to
# do, on the collections of the last send.
token="$("$bare" token "$theirs")"
for r in $(seq "$rounds"); do
  echo "# receive and nothing to do, round $r" >&2
  change_in_storage .vcf ORG "$r" "$mine" "$theirs" "${home}vds-$send_rounds/"
  velklk_pass receive "$r" "$profile" "r['received']['changed'] == $items"
  token="$(bare_step receive "$r" receive "$theirs" "$token")"
  vds_sync receive "$r" "$vds"

  velklk_pass nothing "$r" "$profile" "r['received'] == r['sent'] == {'created': 0, 'changed': 0, 'deleted': 0}"
  bare_step nothing "$r" noop "$theirs" "$token" >/dev/null
  vds_sync nothing "$r" "$vds"
done

if [ "$big" -gt 0 ]; then
  # BIG contacts put straight into the server's storage (a send of that many
  # through Radicale would take hours), received by a first pass, then two
  # passes with nothing to do.
  echo "# $big contacts: first receive, then passes with nothing to do" >&2
  seed_cards "$big" velklk-big
  make_profile "$scratch/big" 0
  bind "$scratch/big" velklk-big >/dev/null
  velklk_pass big-receive 1 "$scratch/big" "r['received']['created'] == $big"
  gets_before="$(grep -c "GET request for '" "$log" || true)"
  velklk_pass big-nothing 1 "$scratch/big" "r['received'] == r['sent'] == {'created': 0, 'changed': 0, 'deleted': 0}"
  velklk_pass big-nothing 2 "$scratch/big" "r['received'] == r['sent'] == {'created': 0, 'changed': 0, 'deleted': 0}"
  gets_after="$(grep -c "GET request for '" "$log" || true)"
  echo "big-gets velklk 1 0 $((gets_after - gets_before))" >>"$results"
fi

# ---------------------------------------------------------------- calendars and tasks
if [ "$cal_items" -gt 0 ]; then
  per="$((cal_items / 5))"
  echo "# calendars and tasks: $((per * 5)) appointments over 5 calendars, $cal_items tasks" >&2
  # A profile with N appointments over the calendar and its four subfolders
  # ("appointments"), or N tasks ("tasks"), as the add-in exports them.
  make_cal_profile() { # DIR appointments|tasks N
    "$velklk" init "$1" >/dev/null
    python3 - "$2" "$3" >"$scratch/fixture-$2.json" <<'PY'
import json, sys
kind, n = sys.argv[1], int(sys.argv[2])
def appointment(i):
    key = f"{i:010d}"
    day, hour = divmod(i, 8)
    month, day = divmod(day % 336, 28)
    start = f"2027-{month + 1:02d}-{day + 1:02d} {8 + hour:02d}:00:00"
    return {"class": "appointment", "Subject": f"Termin {i} | Besprechung Angebot {i}",
            "Location": f"Raum {i % 12}", "Body": "Angebot durchgehen.\r\nUnterlagen mitbringen.",
            "Start": start, "End": start[:11] + f"{8 + hour:02d}:45:00",
            "ReminderSet": True, "ReminderMinutesBeforeStart": 15, "BusyStatus": 2,
            "Categories": "Kunde", "LastModificationTime": "2026-12-01 09:00:00",
            "userProperties": {"velSearch": key + "Aktivitaeten", "velTable": "Aktivitaeten",
                               "velID": key}}
def task(i):
    key = f"{i:010d}"
    return {"class": "task", "Subject": f"Aufgabe {i}", "Body": "Rückmeldung einholen.",
            "StartDate": "2027-01-04 00:00:00", "DueDate": f"2027-02-{i % 28 + 1:02d} 00:00:00",
            "Status": 1, "PercentComplete": 30, "Importance": 2,
            "LastModificationTime": "2026-12-01 09:00:00",
            "userProperties": {"velSearch": key + "WRTM_Tasks", "velTable": "WRTM_Tasks",
                               "velID": key, "velStatus1": False}}
definitions = {"velSearch": "text", "velTable": "text", "velID": "text"}
calendars = [[] for _ in range(5)]
tasks = []
for i in range(1, n + 1):
    if kind == "appointments":
        calendars[i % 5].append(appointment(i))
    else:
        tasks.append(task(i))
calendar = lambda name, items: {"name": name, "type": 1, "items": items, "folders": [],
                                "userPropertyDefinitions": definitions}
folders = [{"name": "Kontakte", "type": 2, "items": [], "folders": []},
           dict(calendar("Kalender", calendars[0]),
                folders=[calendar(f"Projekt {k}", calendars[k]) for k in range(1, 5)]),
           {"name": "Aufgaben", "type": 3, "items": tasks, "folders": [],
            "userPropertyDefinitions": dict(definitions, velStatus1="yesno")}]
print(json.dumps({
    "now": "2026-12-06 10:00:00",
    "host": {"currentUser": "ANNA", "users": [{"name": "ANNA", "settings": {
        "PREXOLCalPath": "anna@velmora.example\\Kalender",
        "PREXOLTaskPath": "anna@velmora.example\\Aufgaben"}}], "tables": {}},
    "outlook": {"stores": [{"name": "anna@velmora.example", "folders": folders}]}}))
PY
    "$velklk" -p "$1" load "$scratch/fixture-$2.json" >/dev/null
  }

  # Binds a profile to the server user USER; prints "FOLDER<TAB>COLLECTION"
  # lines of the bound calendar and task folders, in the order bound.
  bind_cal() { # PROFILE USER
    "$velklk" -p "$1" --user ANNA account add anna@velmora.example --url "$url" \
      --user "$2" --password-env BENCH_DAV_PASSWORD --create --time-zone Europe/Berlin |
      python3 -c '
import json, sys
for line in sys.stdin:
    b = json.loads(line)
    if b.get("event") == "bound" and not b["folder"].endswith("\\Kontakte"):
        print(b["folder"] + "\t" + b["collection"])'
  }

  # One velklk pass over the calendar and task folders; r sums their
  # reports ({"sent": {...}, "received": {...}}).
  velklk_cal_pass() { # PASS ROUND PROFILE EXPECT
    local before after start end out
    before="$(requests)"
    start="$(now_ms)"
    out="$("$velklk" -p "$3" --user ANNA send-receive)"
    end="$(now_ms)"
    after="$(requests)"
    echo "$out" | python3 -c '
import json, sys
lines = [json.loads(l) for l in sys.stdin if l.startswith("{")]
folders = [f for n, f in [l for l in lines if l.get("event") == "report"][0]["outlook"].items()
           if not n.endswith("\\Kontakte")]
r = {way: {k: sum(f[way][k] for f in folders) for k in ("created", "changed", "deleted")}
     for way in ("sent", "received")}
ok = [l for l in lines if l.get("event") == "result"][0]["value"]
if not ok or not ('"$4"'):
    sys.exit("bench-server: velklk pass '"$1"': unexpected report " + json.dumps(folders))'
    record "$1" velklk "$2" $((end - start)) $((after - before))
  }

  # vdirsyncer on several calendar collections: one pair each, with a local
  # folder DIR/local/K; vdirsyncer discover before (not timed).
  vds_cal_config() { # DIR COLLECTION...
    local dir="$1" k=0
    shift
    mkdir -p "$dir/status"
    printf '[general]\nstatus_path = "%s/status/"\n' "$dir" >"$dir/config"
    for collection in "$@"; do
      k=$((k + 1))
      mkdir -p "$dir/local/$k"
      cat >>"$dir/config" <<CONF

[pair c$k]
a = "c${k}_local"
b = "c${k}_remote"
collections = null
conflict_resolution = "b wins"

[storage c${k}_local]
type = "filesystem"
path = "$dir/local/$k/"
fileext = ".ics"

[storage c${k}_remote]
type = "caldav"
url = "$collection"
username = "$BENCH_DAV_USER"
password.fetch = ["command", "printenv", "BENCH_DAV_PASSWORD"]
CONF
    done
    { yes || true; } | VDIRSYNCER_CONFIG="$dir/config" vdirsyncer discover >"$dir/discover.log" 2>&1
  }

  # The appointments: velklk's first send, then the bare loop and vdirsyncer
  # putting the same objects into 5 calendars each.
  make_cal_profile "$scratch/cal" appointments "$((per * 5))"
  bind_cal "$scratch/cal" calendars >"$scratch/cal-bound"
  mapfile -t mine_cal < <(grep -v '\\Aufgaben	' "$scratch/cal-bound" | cut -f2)
  [ "${#mine_cal[@]}" -eq 5 ] ||
    { cat "$scratch/cal-bound" >&2; echo "bench-server: expected 5 calendars bound" >&2; exit 1; }
  velklk_cal_pass app-send 1 "$scratch/cal" "r['sent']['created'] == $((per * 5))"
  bare_cal=() bare_dirs=() vds_cal=()
  for k in 1 2 3 4 5; do
    bare_cal+=("${home}bare-kal-$k/")
    vds_cal+=("${home}vds-kal-$k/")
    "$bare" mkcalendar "${home}bare-kal-$k/" VEVENT
    "$bare" mkcalendar "${home}vds-kal-$k/" VEVENT
    BENCH_DAV_USER=calendars "$bare" dump "${mine_cal[$((k - 1))]}" "$scratch/ics-$k" >/dev/null
    bare_dirs+=("${home}bare-kal-$k/" "$scratch/ics-$k")
  done
  bare_step app-send 1 put "${bare_dirs[@]}" >/dev/null
  vds_cal_config "$scratch/vcal" "${vds_cal[@]}"
  for k in 1 2 3 4 5; do cp "$scratch/ics-$k"/. "$scratch/vcal/local/$k/" -r; done
  vds_sync app-send 1 "$scratch/vcal"

  # The tasks: the same with one tasks collection each.
  make_cal_profile "$scratch/tasks" tasks "$cal_items"
  mine_tasks="$(bind_cal "$scratch/tasks" tasks | grep '\\Aufgaben	' | cut -f2)"
  [ -n "$mine_tasks" ] || { echo "bench-server: the tasks folder was not bound" >&2; exit 1; }
  velklk_cal_pass task-send 1 "$scratch/tasks" "r['sent']['created'] == $cal_items"
  "$bare" mkcalendar "${home}bare-aufgaben/" VTODO
  "$bare" mkcalendar "${home}vds-aufgaben/" VTODO
  BENCH_DAV_USER=tasks "$bare" dump "$mine_tasks" "$scratch/ics-tasks" >/dev/null
  bare_step task-send 1 put "${home}bare-aufgaben/" "$scratch/ics-tasks" >/dev/null
  vds_cal_config "$scratch/vtasks" "${home}vds-aufgaben/"
  cp -r "$scratch/ics-tasks"/. "$scratch/vtasks/local/1/"
  vds_sync task-send 1 "$scratch/vtasks"

  # Receives of every appointment changed on the server (its SUMMARY
  # rewritten in Radicale's storage folder), rounds as for the contacts.
  tokens=()
  for c in "${bare_cal[@]}"; do tokens+=("$c" "$("$bare" token "$c")"); done
  for r in $(seq "$rounds"); do
    echo "# calendars: receive, round $r" >&2
    change_in_storage .ics SUMMARY "$r" "${mine_cal[@]}" "${bare_cal[@]}" "${vds_cal[@]}"
    velklk_cal_pass app-receive "$r" "$scratch/cal" "r['received']['changed'] == $((per * 5))"
    read -r -a new_tokens <<<"$(bare_step app-receive "$r" receive "${tokens[@]}")"
    for k in 0 1 2 3 4; do tokens[2 * k + 1]="${new_tokens[$k]}"; done
    vds_sync app-receive "$r" "$scratch/vcal"
  done
fi

codec="$("$vcard" --benchmark_min_time=0.3 --benchmark_format=json 2>/dev/null)"

# ---------------------------------------------------------------- the table
python3 - "$results" "$items" "$big" "$rounds" "$(radicale --version)" "$(vdirsyncer --version | sed 's/.*version //')" "$codec" "$cal_items" <<'PY'
import json, statistics, sys
from collections import defaultdict
path, items, big, rounds, radicale, vds, codec, cal_items = sys.argv[1:]
cal_items = int(cal_items) // 5 * 5
ms, req = defaultdict(list), defaultdict(list)
for line in open(path):
    p, c, r, t, n = line.split()
    ms[p, c].append(int(t))
    req[p, c].append(int(n))
med = lambda p, c: statistics.median(ms[p, c])
reqm = lambda p, c: int(statistics.median(req[p, c]))
print(f"server benchmark: {items} contacts, Radicale {radicale} on 127.0.0.1 (storage on tmpfs), "
      f"vdirsyncer {vds}; wall time, ratios of the same round; median of {len(ms.get(('send', 'velklk'), []))} send(s) and {rounds} receives and passes with nothing to do")
print(f"{'pass':<22}{'velKLK':>10}{'bare loop':>11}{'vdirsyncer':>12}{'/bare':>8}{'/vdirsyncer':>13}"
      f"{'requests velKLK/bare/vdirsyncer':>34}")
names = {"send": f"first send of {items}", "receive": f"receive of {items}",
         "nothing": "nothing to do", "app-send": f"send {cal_items} appts",
         "task-send": f"send {cal_items} tasks", "app-receive": f"receive {cal_items} appts"}
verdict = []
for p in ("send", "receive", "nothing", "app-send", "task-send", "app-receive"):
    if (p, "velklk") not in ms:
        continue
    if p == "app-send":
        print(f"calendars and tasks: appointments over 5 calendars, tasks in one collection; "
              f"median of {len(ms['app-receive', 'velklk'])} receive(s)")
    v, b, d = med(p, "velklk"), med(p, "bare"), med(p, "vdirsyncer")
    # The ratios of each round's own figures (measured one after the other),
    # their median.
    ratio = lambda c: statistics.median(x / max(y, 1) for x, y in zip(ms[p, "velklk"], ms[p, c]))
    rb, rd = ratio("bare"), ratio("vdirsyncer")
    counts = f"{reqm(p, 'velklk')}/{reqm(p, 'bare')}/{reqm(p, 'vdirsyncer')}"
    print(f"{names[p]:<22}{v/1000:>9.2f}s{b/1000:>10.2f}s{d/1000:>11.2f}s{rb:>8.2f}{rd:>13.2f}{counts:>34}")
    if p != "nothing":
        verdict.append(f"{names[p]}: velKLK/bare {rb:.2f} (target <= 1.3: {'met' if rb <= 1.3 else 'MISSED'})")
    if p in ("send", "receive", "nothing"):
        verdict.append(f"{names[p]}: velKLK/vdirsyncer {rd:.2f} (target < 1: {'met' if rd < 1 else 'MISSED'})")
n = max(req["nothing", "velklk"])
verdict.append(f"nothing to do: {n} request(s) for 1 bound folder (target <= 2: {'met' if n <= 2 else 'MISSED'})")
if ("big-nothing", "velklk") in ms:
    bn, gets = max(req["big-nothing", "velklk"]), req["big-gets", "velklk"][0]
    print(f"nothing to do over {big}: {statistics.median(ms['big-nothing', 'velklk'])/1000:.2f}s, "
          f"{bn} request(s) per pass, {gets} item read(s) (GET) in 2 passes; "
          f"first receive of {big}: {ms['big-receive', 'velklk'][0]/1000:.2f}s, "
          f"{req['big-receive', 'velklk'][0]} requests")
    verdict.append(f"nothing to do over {big}: {bn} request(s), {gets} item reads "
                   f"(target: not every item read: {'met' if bn <= 2 and gets == 0 else 'MISSED'})")
print("vCard codec, CPU per item:")
for b in json.loads(codec)["benchmarks"]:
    print(f"  {b['name']:<32}{b['cpu_time']:>10.2f} {b['time_unit']}")
print("targets:")
for line in verdict:
    print("  " + line)
PY
