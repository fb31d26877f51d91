#!/usr/bin/env bash
# Contact round trip on the demo profile: export an address and a contact
# person to Outlook, change the person's contact in Outlook later, bring the
# change back, import contacts entered in Outlook, and show what changed.
set -euo pipefail
source "$(dirname "$0")/demo-lib.sh"
demo_profile contacts
contacts='anna.berg@velmora.example\Kontakte'

snapshot() {
  # The records the round trip touches, one JSON line each, into file $1.
  "$velklk" -p "$profile" dump --host --outlook | python3 -c '
import json, sys
state = json.load(sys.stdin)
tables = state["host"]["tables"]
for name in ("Adressen", "Ansprechpartner", "Adressmerkmale", "AnsprechpartnerMerkmale", "TBKLK_SyncLog"):
    for r in tables.get(name, []):
        keep = {k: v for k, v in r.items() if v not in ("", None, False, 0) and k != "Memo"}
        print(name, json.dumps(keep, ensure_ascii=False))
for store in state["outlook"]["stores"]:
    if store["name"] != "anna.berg@velmora.example":
        continue
    for folder in store["folders"]:
        if folder["name"] != "Kontakte":
            continue
        for item in folder["items"]:
            keep = {k: item[k] for k in ("FileAs", "Title", "FirstName", "LastName", "CompanyName",
                    "JobTitle", "BusinessTelephoneNumber", "BusinessAddressStreet",
                    "BusinessAddressCity", "LastModificationTime") if item.get(k) not in (None, "")}
            keep["userProperties"] = item.get("userProperties", {})
            print("Outlook contact", json.dumps(keep, ensure_ascii=False))
' >"$1"
}

snapshot "$profile/before.txt"

# One host process that keeps the add-in loaded, as the CRM does.
echo
echo "# each line below is sent to: velklk -p PROFILE session"
# 1. export the company address, 2. export a contact person (and its
# address) with the update command, 3. the user changes the person's contact
# in Outlook an hour later, 4. the change is synchronised back, 5. the user
# enters a contact of a new company, 6. contacts entered in Outlook are
# imported (with the demo's Paula Neumann of "Neumann Design").
cat >"$profile/session.jsonl" <<JSON
{"call": ["velKLK.CSync", "AddressOrContactSync2OL", "0000000001", "Adressen"], "user": "ANNA", "now": "2026-12-06 10:00:00"}
{"call": ["velKLK.CMenue", "UpdateAnsprechpartner"], "user": "ANNA", "now": "2026-12-06 10:01:00", "current": ["Adressen=0000000001", "Ansprechpartner=0000000011"]}
{"now": "2026-12-06 11:00:00"}
{"outlook": "change", "folder": "${contacts//\\/\\\\}", "find": "[velSearch] = \"0000000011Ansprechpartner\"", "set": {"JobTitle": "Leiterin Einkauf und Logistik", "BusinessTelephoneNumber": "+49 40 1234599"}}
{"call": ["velKLK.CSync", "AddressOrContactSync2OL", "0000000011", "Ansprechpartner"], "user": "ANNA", "now": "2026-12-06 11:05:00"}
{"outlook": "add", "folder": "${contacts//\\/\\\\}", "item": {"class": "contact", "FirstName": "Tom", "LastName": "Berger", "CompanyName": "Berger Feinmechanik", "BusinessAddressCity": "Kiel", "BusinessTelephoneNumber": "+49 431 7788"}}
{"call": ["velKLK.CSync", "SyncContacts2VEL"], "user": "ANNA", "now": "2026-12-06 11:10:00"}
JSON
session <"$profile/session.jsonl"

snapshot "$profile/after.txt"
echo
echo "# what changed: exported, changed in Outlook and synchronised back, new Outlook contacts imported"
show_changes "$profile/before.txt" "$profile/after.txt"
