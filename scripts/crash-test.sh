#!/usr/bin/env bash
# Kill test: a session of bulk commands is killed (SIGKILL) at random points.
# After every kill the profile must pass SQLite's integrity check, hold
# exactly the state of a reference run after some number of whole commands
# (never half a command) and one journal entry per whole command, give the
# state before the last whole command back on `undo`, and take the next
# command.
#
#   scripts/crash-test.sh [KILLS]      (default 50; scripts/test.sh runs 5)
#
# VELKLK_BUILD names the build folder (default build/); CRASH_SEED fixes the
# random kill points.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${VELKLK_BUILD:-$here/build}"
velklk="$build/cli/velklk"
kills="${1:-50}"
RANDOM="${CRASH_SEED:-$$}"
[ -x "$velklk" ] || { echo "crash-test: $velklk is not built" >&2; exit 2; }

work="$(mktemp -d "${TMPDIR:-/tmp}/velklk-crash.XXXXXX")"
trap 'rm -rf "$work"' EXIT

# The fixture: the demo profile with 40 more addresses that are ANNA's
# favourites and 40 contacts entered in ANNA's Outlook; the session: an
# export loop, the import of the new contacts, the appointment and task
# commands, clearing the contacts' links and exporting again. Every command
# has its own fixed time.
python3 - "$here/data/demo.json" "$work" <<'PY'
import json, sys
doc = json.load(open(sys.argv[1]))
work = sys.argv[2]
tables = doc["host"]["tables"]
for i in range(1, 41):
    key = "%010d" % (1000 + i)
    tables["Adressen"].append({"ID": key, "An": "Firma", "Name": "Kunde %d" % i,
                               "Strasse": "Weg %d" % i, "PLZ": "20457", "Ort": "Hamburg",
                               "Telefon1": "040 %d" % i, "ModifiziertAm": "2026-12-01 09:00:00"})
    tables["Adressmerkmale"].append({"@master": key, "Gruppe": "Kestrelink",
                                     "Merkmal": "OutlookFavorit", "Wert": "ANNA"})
anna = next(s for s in doc["outlook"]["stores"] if s["name"] == "anna.berg@velmora.example")
contacts = next(f for f in anna["folders"] if f["name"] == "Kontakte")
for i in range(1, 41):
    contacts["items"].append({"class": "contact", "FirstName": "Eva", "LastName": "Neu %d" % i,
                              "CompanyName": "Neu %d GmbH" % i, "BusinessAddressCity": "Kiel",
                              "BusinessTelephoneNumber": "0431 %d" % i})
json.dump(doc, open(work + "/fixture.json", "w"), ensure_ascii=False)

commands = []
minute = 0
def call(*args, **extra):
    global minute
    minute += 1
    command = {"call": list(args), "user": "ANNA",
               "now": "2026-12-06 %02d:%02d:00" % (10 + minute // 60, minute % 60)}
    command.update(extra)
    commands.append(command)
for i in range(1, 31):
    call("velKLK.CSync", "AddressOrContactSync2OL", "%010d" % (1000 + i), "Adressen")
call("velKLK.CSync", "SyncContacts2VEL")
call("velKLK.CSync", "AppSync2OL", "0000000031", "Aktivitaeten", "0000000031", "Aktivitaeten", "")
call("velKLK.CSync", "SyncAppointments2VEL", "2026-12-01", "2026-12-31", "True", "True")
call("velKLK.CSync", "TaskSync2OL", "0000000041", "WRTM_Tasks", "False")
call("velKLK.CSync", "SyncTasks2VEL", "False")
call("velKLK.CSync", "ClearContactsVelSearch", answers=["yes", "yes", "yes"])
for i in range(31, 41):
    call("velKLK.CSync", "AddressOrContactSync2OL", "%010d" % (1000 + i), "Adressen")
with open(work + "/session.jsonl", "w") as out:
    for command in commands:
        out.write(json.dumps(command, ensure_ascii=False) + "\n")
with open(work + "/reference.jsonl", "w") as out:
    out.write('{"dump": true}\n')
    for command in commands:
        out.write(json.dumps(command, ensure_ascii=False) + "\n")
        out.write('{"dump": true}\n')
PY

# A state without the clock (a session's clock is not part of the profile).
digest='
import hashlib, json, sys
def digest(state):
    state.pop("now", None)
    return hashlib.sha256(json.dumps(state, sort_keys=True).encode()).hexdigest()
'

"$velklk" -p "$work/fresh" load "$work/fixture.json"
commands="$(wc -l <"$work/session.jsonl")"

# The reference: the state after each whole command (0 = before the first).
cp -r "$work/fresh" "$work/reference"
start="$(date +%s%N)"
"$velklk" -p "$work/reference" session <"$work/session.jsonl" >/dev/null
took=$((($(date +%s%N) - start) / 1000000))
cp -r "$work/fresh" "$work/reference-dumps"
"$velklk" -p "$work/reference-dumps" session <"$work/reference.jsonl" |
  python3 -c "$digest"'
for line in sys.stdin:
    event = json.loads(line)
    if event["event"] == "dump":
        print(digest(event["state"]))
    elif event["event"] == "error":
        sys.exit("reference run: " + line)
' >"$work/states.txt"
[ "$(wc -l <"$work/states.txt")" -eq $((commands + 1)) ] ||
  { echo "crash-test: the reference run did not dump every state" >&2; exit 1; }
echo "crash-test: $commands commands, reference session $took ms, $kills kills"

survived=0
reached=""
for ((kill = 1; kill <= kills; kill++)); do
  profile="$work/run-$kill"
  cp -r "$work/fresh" "$profile"
  # A point between the start of the process and the end of the session.
  delay=$(((RANDOM * 32768 + RANDOM) % (took + 20)))
  "$velklk" -p "$profile" session <"$work/session.jsonl" >/dev/null 2>&1 &
  pid=$!
  sleep "$((delay / 1000)).$(printf '%03d' $((delay % 1000)))"
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true

  problem=""
  check="$(python3 -c '
import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
print(";".join(row[0] for row in db.execute("PRAGMA integrity_check")))
' "$profile/crm.db" 2>&1)" || true
  [ "$check" = "ok" ] || problem="integrity check: $check"
  state=""
  if [ -z "$problem" ]; then
    if state="$("$velklk" -p "$profile" dump 2>&1 | python3 -c "$digest"'
print(digest(json.load(sys.stdin)))')"; then
      k="$(grep -n -x -F "$state" "$work/states.txt" | head -n 1 | cut -d: -f1 || true)"
      if [ -z "$k" ]; then
        problem="the state is none of the reference states"
      else
        k=$((k - 1))
      fi
    else
      problem="dump failed: $state"
    fi
  fi
  if [ -z "$problem" ]; then
    entries="$("$velklk" report "$profile" -n 1000 | grep -c '"entry"' || true)"
    [ "$entries" -eq "$k" ] || problem="the journal holds $entries entries after $k commands"
  fi
  if [ -z "$problem" ] && [ "$k" -gt 0 ]; then
    # The last whole command is undone (on a copy): the state before it.
    cp -r "$profile" "$profile-undo"
    undone="$("$velklk" -p "$profile-undo" undo >/dev/null 2>&1 &&
      "$velklk" -p "$profile-undo" dump 2>&1 | python3 -c "$digest"'
print(digest(json.load(sys.stdin)))')" || undone="undo failed"
    rm -rf "$profile-undo"
    [ "$undone" = "$(sed -n "${k}p" "$work/states.txt")" ] ||
      problem="undo after $k commands did not give the state before the last one"
  fi
  if [ -z "$problem" ]; then
    # The next command runs: the one after the last whole command (or the
    # first again when all ran).
    next=$((k < commands ? k + 1 : 1))
    out="$(sed -n "${next}p" "$work/session.jsonl" | "$velklk" -p "$profile" session 2>&1)" ||
      problem="the session did not start after the kill"
    if [ -z "$problem" ] && ! grep -q '"event":"result"' <<<"$out"; then
      problem="the next command failed: $(grep '"event"' <<<"$out" | tail -n 2 | head -n 1)"
    fi
  fi
  if [ -n "$problem" ]; then
    kept="${TMPDIR:-/tmp}/velklk-crash-failed-$$-$kill"
    mv "$profile" "$kept" 2>/dev/null || true
    echo "crash-test: kill $kill after $delay ms: $problem (profile kept in $kept)" >&2
  else
    survived=$((survived + 1))
    reached="$reached $k"
  fi
  rm -rf "$profile"
done
echo "crash-test: commands completed at the kills:$reached"
echo "crash-test: survived $survived of $kills kills"
[ "$survived" -eq "$kills" ]
