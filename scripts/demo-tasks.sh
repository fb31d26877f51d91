#!/usr/bin/env bash
# Task round trip on the demo profile: a CRM task is exported to Outlook,
# completed in the CRM and the completion mirrored to Outlook, and a task the
# user entered in Outlook is imported into the CRM.
set -euo pipefail
source "$(dirname "$0")/demo-lib.sh"
demo_profile tasks
tasks='anna.berg@velmora.example\Aufgaben'

snapshot() {
  # The tasks on both sides and their sync-log entries, one JSON line each,
  # into file $1.
  "$velklk" -p "$profile" dump --host --outlook | python3 -c '
import json, sys
state = json.load(sys.stdin)
tables = state["host"]["tables"]
for r in tables.get("WRTM_Tasks", []):
    keep = {k: v for k, v in r.items() if k in ("ID", "Responsible", "Status", "DoneInPercent",
            "Subject", "EndDate", "Duration", "Version", "DoneBy", "UnRead", "ModifiziertAm")}
    print("WRTM_Tasks", json.dumps(keep, ensure_ascii=False))
for r in tables.get("TBKLK_SyncLog", []):
    if r.get("velTable") == "WRTM_Tasks":
        print("TBKLK_SyncLog", json.dumps({k: r[k] for k in ("velUser", "velSearch")}))
for store in state["outlook"]["stores"]:
    if store["name"] != "anna.berg@velmora.example":
        continue
    for folder in store["folders"]:
        if folder["name"] != "Aufgaben":
            continue
        for item in folder["items"]:
            keep = {k: item[k] for k in ("Subject", "Status", "PercentComplete", "DueDate",
                    "DateCompleted", "TotalWork") if k in item}
            keep["userProperties"] = {k: v for k, v in item.get("userProperties", {}).items()
                                      if k in ("velID", "velSearch")}
            print("Outlook task", json.dumps(keep, ensure_ascii=False))
' >"$1"
}

snapshot "$profile/before.txt"

echo
echo "# 1. Anna's task 0000000041 goes to her Outlook (velklk -p PROFILE session)"
session <<JSON
{"call": ["velKLK.CSync", "TaskSync2OL", "0000000041", "WRTM_Tasks", "False"], "user": "ANNA", "now": "2026-12-06 10:00:00"}
JSON

echo
echo "# 2. Anna completes the task in the CRM at 11:00 (written into the profile with dump and load)"
"$velklk" -p "$profile" dump --host --outlook | python3 -c '
import json, sys
state = json.load(sys.stdin)
for r in state["host"]["tables"]["WRTM_Tasks"]:
    if r["ID"] == "0000000041":
        r.update({"Status": 5, "DoneInPercent": 100, "ModifiziertAm": "2026-12-06 11:00:00"})
state["now"] = "2026-12-06 11:00:00"
json.dump(state, sys.stdout, ensure_ascii=False)
' >"$profile/completed.json"
"$velklk" -p "$profile" load "$profile/completed.json"

echo
echo "# 3. Anna enters a task in Outlook, then the import mirrors the completion and takes the new tasks"
session <<JSON
{"outlook": "add", "folder": "${tasks//\\/\\\\}", "item": {"class": "task", "Subject": "Messestand buchen", "DueDate": "2026-12-18 00:00:00", "TotalWork": 90}}
{"call": ["velKLK.CSync", "SyncTasks2VEL", "False"], "user": "ANNA", "now": "2026-12-06 12:00:00"}
JSON

snapshot "$profile/after.txt"
echo
echo "# what changed: the task exported and completed in Outlook, the Outlook tasks imported"
show_changes "$profile/before.txt" "$profile/after.txt"
