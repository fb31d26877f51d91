#!/usr/bin/env bash
# Appointment round trip on the demo profile: an activity is exported to its
# responsible user's Outlook calendar, moved there and synchronised back; an
# appointment entered after "new appointment" becomes an activity; a private
# appointment is imported as a calendar entry. Shows what changed.
set -euo pipefail
source "$(dirname "$0")/demo-lib.sh"
demo_profile appointments
calendar='anna.berg@velmora.example\\Kalender'

snapshot() {
  # The records and appointments the round trip touches, one JSON line each.
  "$velklk" -p "$profile" dump --host --outlook | python3 -c '
import json, sys
state = json.load(sys.stdin)
tables = state["host"]["tables"]
show = {"Aktivitaeten": ("ID", "Typ", "Betreff", "Datum", "DatumBis", "Empfaenger", "Verantwortlich"),
        "calA_Termine": ("ID", "Typ", "Betreff", "Datum", "DatumBis", "Vertraulich", "Verantwortlich"),
        "Vorgaenge": ("ID", "@master", "Betreff"),
        "TBKLK_SyncLog": ("velUser", "velSearch")}
for name, fields in show.items():
    for r in tables.get(name, []):
        print(name, json.dumps({k: r[k] for k in fields if r.get(k) not in ("", None)}, ensure_ascii=False))
for store in state["outlook"]["stores"] + state["outlook"].get("mailboxes", []):
    for folder in store["folders"]:
        if folder["name"] != "Kalender":
            continue
        for item in folder["items"]:
            keep = {k: item[k] for k in ("Subject", "Start", "End", "Sensitivity", "ReminderMinutesBeforeStart")}
            keep["velSearch"] = item.get("userProperties", {}).get("velSearch", "")
            print("Outlook " + store["name"] + " appointment", json.dumps(keep, ensure_ascii=False))
' >"$1"
}

snapshot "$profile/before.txt"

echo
echo "# each line below is sent to: velklk -p PROFILE session"
# 1. ANNA's activity "Besprechung Angebot" goes into her calendar (with the
# contact person Eva Schneider as an Outlook contact); 2. an hour later she
# moves the appointment in Outlook; 3. the move is synchronised back;
# 4. "new appointment" for the contact person Jonas Weber (type "Besuch");
# 5. she enters the appointment in Outlook, which becomes an activity;
# 6. the import takes the private "Zahnarzt" in as a calendar entry.
cat >"$profile/session.jsonl" <<JSON
{"call": ["velKLK.CSync", "AppSync2OL", "0000000031", "Aktivitaeten", "0000000031", "Aktivitaeten", ""], "user": "ANNA", "now": "2026-12-06 10:00:00"}
{"now": "2026-12-06 11:00:00"}
{"outlook": "change", "folder": "$calendar", "find": "[velSearch] = \"0000000031Aktivitaeten\"", "set": {"Start": "2026-12-09 14:00:00", "End": "2026-12-09 15:30:00"}}
{"call": ["velKLK.CSync", "AppSync2OL", "0000000031", "Aktivitaeten", "0000000031", "Aktivitaeten", ""], "user": "ANNA", "now": "2026-12-06 11:05:00"}
{"call": ["velKLK.CAppointment", "NewOutlookAppointment"], "user": "ANNA", "now": "2026-12-06 11:10:00", "active": "Ansprechpartner", "current": ["Ansprechpartner=0000000012"], "dialogs": [{"select": "Besuch", "press": "ok"}]}
{"outlook": "add", "folder": "$calendar", "item": {"class": "appointment", "Subject": "Werksführung Technik", "Start": "2026-12-14 09:00:00", "End": "2026-12-14 11:00:00", "ReminderSet": true, "ReminderMinutesBeforeStart": 30}}
{"call": ["velKLK.CSync", "SyncAppointments2VEL", "2026-12-01", "2026-12-31", "True", "True"], "user": "ANNA", "now": "2026-12-06 11:20:00"}
JSON
session <"$profile/session.jsonl"

snapshot "$profile/after.txt"
echo
echo "# what changed: exported, moved in Outlook and synchronised back, entered in Outlook, imported"
show_changes "$profile/before.txt" "$profile/after.txt"
