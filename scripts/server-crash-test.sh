#!/usr/bin/env bash
# Kill test of send/receive: `velklk send-receive` is killed (SIGKILL) at
# random points of its passes against a Radicale that this script starts on
# 127.0.0.1 (and stops by its process id, also on failure). After every kill
# the profile must pass SQLite's integrity check and take the killed pass
# again; at the end of each run, server and profile must hold what an
# undisturbed reference run leaves: the same contacts with the same values,
# each once (compared by content: entry IDs, UIDs and hrefs aside).
#
# A run: the profile (the demo desk with 30 more contacts in ANNA's Kontakte)
# is bound to a new address book that holds 20 contacts; pass A (everything
# both ways); then changes on both sides (contacts changed, deleted and
# added here and on the server, one changed on both); pass B. Each killed
# run kills pass A or pass B.
#
#   scripts/server-crash-test.sh [KILLS]   (default 20; scripts/test.sh runs 3)
#
# VELKLK_BUILD names the build folder (default build/); CRASH_SEED fixes the
# random kill points.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${VELKLK_BUILD:-$here/build}"
velklk="$build/cli/velklk"
kills="${1:-20}"
RANDOM="${CRASH_SEED:-$$}"
[ -x "$velklk" ] || { echo "server-crash-test: $velklk is not built" >&2; exit 2; }
command -v radicale >/dev/null || { echo "server-crash-test: radicale is not installed" >&2; exit 2; }

scratch="${TMPDIR:-/tmp}"
[ -d /dev/shm ] && [ -w /dev/shm ] && scratch=/dev/shm  # Radicale writes slowly to a disk
work="$(mktemp -d "$scratch/velklk-server-crash.XXXXXX")"
source "$here/scripts/radicale-lib.sh"
trap 'stop_radicale; rm -rf "$work"' EXIT

export VELKLK_CRASH_PASSWORD="crash-$RANDOM-secret"
echo "anna:$VELKLK_CRASH_PASSWORD" >"$work/users"
start_radicale "$work"
port="$radicale_port"
url="http://127.0.0.1:$port/"

# The server's side, with plain HTTP: seed, change, and the canonical content.
cat >"$work/dav.py" <<'PY'
import base64, hashlib, json, os, re, sys, urllib.request
import xml.etree.ElementTree as ET

AUTH = "Basic " + base64.b64encode(("anna:" + os.environ["VELKLK_CRASH_PASSWORD"]).encode()).decode()

def request(method, url, body=None, headers=None):
    r = urllib.request.Request(url, data=body.encode() if body is not None else None, method=method)
    r.add_header("Authorization", AUTH)
    for k, v in (headers or {}).items():
        r.add_header(k, v)
    try:
        with urllib.request.urlopen(r) as answer:
            return answer.status, answer.read().decode(), answer.headers
    except urllib.error.HTTPError as e:
        return e.code, e.read().decode(), e.headers

def cards(book):
    """{href: (etag, text)} of every card of the address book."""
    status, body, _ = request("PROPFIND", book, '<propfind xmlns="DAV:"><prop><getetag/></prop></propfind>',
                              {"Depth": "1", "Content-Type": "application/xml"})
    assert status == 207, (status, body)
    out = {}
    for response in ET.fromstring(body).findall("{DAV:}response"):
        href = response.find("{DAV:}href").text
        if not href.endswith(".vcf"):
            continue
        status, text, headers = request("GET", urllib.parse.urljoin(book, href))
        assert status == 200, (status, href)
        out[urllib.parse.urljoin(book, href)] = (headers["ETag"], text)
    return out

def card(uid, family, company, rev):
    return ("BEGIN:VCARD\r\nVERSION:3.0\r\nUID:%s\r\nN:%s;Eva;;;\r\nFN:Eva %s\r\nORG:%s\r\n"
            "TEL;TYPE=WORK,VOICE:040 %s\r\nREV:%s\r\nEND:VCARD\r\n" % (uid, family, family, company, uid, rev))

def put(url, text, condition):
    status, body, _ = request("PUT", url, text, dict([condition], **{"Content-Type": "text/vcard"}))
    assert status in (200, 201, 204), (status, url, body)

def family(text):
    return re.search(r"^N:([^;\r\n]*)", text, re.M).group(1)

def canonical(book):
    """The cards' content without UID, REV and PRODID, sorted; and the UIDs."""
    contents, uids = [], []
    for etag, text in cards(book).values():
        text = re.sub(r"\r?\n[ \t]", "", text)
        lines = [l for l in text.splitlines() if l]
        uids += [l for l in lines if l.startswith("UID:")]
        contents.append("\n".join(sorted(l for l in lines if not re.match(r"(UID|REV|PRODID)[;:]", l))))
    return sorted(contents), uids

action, book = sys.argv[1], sys.argv[2]
if action == "seed":
    for i in range(20):
        put(book + "s%02d.vcf" % i, card("s%02d" % i, "Server%02d" % i, "Server %d KG" % i,
                                         "20261201T100000Z"), ("If-None-Match", "*"))
elif action == "change":
    for href, (etag, text) in sorted(cards(book).items()):
        name = family(text)
        if name in ("Server00", "Server01", "Server02", "Server03", "Lokal05", "Lokal06", "Lokal07"):
            text = re.sub(r"^ORG:.*$", "ORG:Geaendert " + name, text, flags=re.M)
            text = re.sub(r"^REV:.*$", "REV:20261207T080000Z", text, flags=re.M)
            put(href, text, ("If-Match", etag))
        elif name in ("Server04", "Server05", "Lokal08"):
            status, body, _ = request("DELETE", href, None, {"If-Match": etag})
            assert status in (200, 204), (status, href)
    for i in range(20, 24):
        put(book + "s%02d.vcf" % i, card("s%02d" % i, "Server%02d" % i, "Neu %d" % i,
                                         "20261207T080000Z"), ("If-None-Match", "*"))
elif action == "canonical":
    # The server's cards, and the profile's contacts as `find` printed them
    # (entry IDs aside), each sorted, into OUT.server and OUT.local.
    contents, uids = canonical(book)
    if len(set(uids)) != len(uids):
        sys.exit("a UID is on the server twice")
    open(sys.argv[4] + ".server", "w").write(json.dumps(contents, ensure_ascii=False, indent=0))
    items = []
    for line in open(sys.argv[3]):
        item = json.loads(line)
        item.pop("entryId", None)
        item.pop("EntryID", None)
        items.append(json.dumps(item, sort_keys=True, ensure_ascii=False))
    if len(set(items)) != len(items):
        sys.exit("a contact is in the profile twice")
    open(sys.argv[4] + ".local", "w").write("\n".join(sorted(items)))
PY

# The fresh profile: the demo desk and 30 contacts entered in Outlook.
"$velklk" init "$work/fresh" >/dev/null
{
  echo '{"now": "2026-12-06 09:00:00"}'
  for i in $(seq -w 0 29); do
    echo '{"outlook": "add", "folder": "anna.berg@velmora.example\\Kontakte", "item": {"class": "contact",' \
      '"FirstName": "Lena", "LastName": "Lokal'"$i"'", "CompanyName": "Lokal '"$i"' GmbH",' \
      '"Email1Address": "l'"$i"'@lokal.example"}}'
  done
} >"$work/adds.jsonl"
"$velklk" -p "$work/fresh" --user ANNA session <"$work/adds.jsonl" >/dev/null
# The local changes between the passes.
cat >"$work/changes.jsonl" <<'EOF'
{"now": "2026-12-07 09:00:00"}
{"outlook": "change", "folder": "anna.berg@velmora.example\\Kontakte", "find": "[LastName] = \"Lokal00\"", "set": {"JobTitle": "Einkauf"}}
{"outlook": "change", "folder": "anna.berg@velmora.example\\Kontakte", "find": "[LastName] = \"Lokal01\"", "set": {"CompanyName": "Hier GmbH"}}
{"outlook": "change", "folder": "anna.berg@velmora.example\\Kontakte", "find": "[LastName] = \"Server06\"", "set": {"JobTitle": "Vertrieb"}}
{"outlook": "change", "folder": "anna.berg@velmora.example\\Kontakte", "find": "[LastName] = \"Server07\"", "set": {"Email1Address": "s7@hier.example"}}
{"outlook": "change", "folder": "anna.berg@velmora.example\\Kontakte", "find": "[LastName] = \"Lokal07\"", "set": {"JobTitle": "Beide"}}
{"outlook": "delete", "folder": "anna.berg@velmora.example\\Kontakte", "find": "[LastName] = \"Lokal02\""}
{"outlook": "delete", "folder": "anna.berg@velmora.example\\Kontakte", "find": "[LastName] = \"Server08\""}
{"outlook": "add", "folder": "anna.berg@velmora.example\\Kontakte", "item": {"class": "contact", "LastName": "Neu hier 1", "CompanyName": "Hier"}}
{"outlook": "add", "folder": "anna.berg@velmora.example\\Kontakte", "item": {"class": "contact", "LastName": "Neu hier 2", "CompanyName": "Hier"}}
EOF

# One pass; prints its time in ms. Fails unless it ran and its result is true.
pass() {  # PROFILE NOW
  local start out
  start="$(date +%s%N)"
  out="$("$velklk" -p "$1" --user ANNA --now "$2" send-receive 2>&1)" ||
    { echo "send-receive failed: $out" >&2; return 1; }
  grep -q '"event":"result","value":true' <<<"$out" ||
    { echo "send-receive did not finish: $(grep '"report"' <<<"$out")" >&2; return 1; }
  echo $((($(date +%s%N) - start) / 1000000))
}
# A pass killed after DELAY ms (it may finish first). Prints whether it was.
killed_pass() {  # PROFILE NOW DELAY
  "$velklk" -p "$1" --user ANNA --now "$2" send-receive >/dev/null 2>&1 &
  local pid=$!
  sleep "$(($3 / 1000)).$(printf '%03d' $(($3 % 1000)))"
  if kill -KILL "$pid" 2>/dev/null; then echo killed; else echo finished; fi
  wait "$pid" 2>/dev/null || true
}
integrity() {
  python3 -c '
import sqlite3, sys
print(";".join(row[0] for row in sqlite3.connect(sys.argv[1]).execute("PRAGMA integrity_check")))
' "$1/crm.db"
}

# One run; KILL is "", "A DELAY" or "B DELAY". Leaves $work/run-N.server and
# $work/run-N.local.
run() {  # N KILL
  local n="$1" kill="${2:-}" profile="$work/run-$1" book out check
  # (Each step checks its own status: a function called under `if` runs
  # without errexit.)
  cp -r "$work/fresh" "$profile" || return 1
  out="$("$velklk" -p "$profile" account add anna.berg@velmora.example --url "$url" --user anna \
    --password-env VELKLK_CRASH_PASSWORD --address-book "run-$n" --create 2>&1)" ||
    { echo "account add failed: $out" >&2; return 1; }
  book="$(sed -n 's/.*"collection":"\([^"]*\)".*/\1/p' <<<"$out" | head -n 1)"
  python3 "$work/dav.py" seed "$book" || return 1
  for phase in A B; do
    local now="2026-12-07 10:00:00"
    if [ "$phase" = B ]; then
      now="2026-12-07 11:00:00"
      "$velklk" -p "$profile" --user ANNA session <"$work/changes.jsonl" >/dev/null || return 1
      python3 "$work/dav.py" change "$book" || return 1
    fi
    if [ "${kill%% *}" = "$phase" ]; then
      killed_pass "$profile" "$now" "${kill#* }" >>"$work/outcomes"
      check="$(integrity "$profile" 2>&1)" || true
      [ "$check" = ok ] || { echo "integrity check: $check" >&2; return 1; }
    fi
    took="$(pass "$profile" "$now")" || return 1
    eval "took_$phase=$took"
  done
  # A pass with nothing to do moves nothing.
  out="$("$velklk" -p "$profile" --user ANNA --now "2026-12-07 12:00:00" send-receive)" || return 1
  grep -q -F '{"received":{"created":0,"changed":0,"deleted":0},"sent":{"created":0,"changed":0,"deleted":0},"conflicts":0}' <<<"$out" ||
    { echo "the pass after the run was not empty: $out" >&2; return 1; }
  "$velklk" -p "$profile" find 'anna.berg@velmora.example\Kontakte' '[LastName] <> ""' \
    >"$work/run-$n.find" || return 1
  python3 "$work/dav.py" canonical "$book" "$work/run-$n.find" "$work/run-$n" || return 1
}

start="$(date +%s%N)"
run 0 || { echo "server-crash-test: the reference run failed" >&2; exit 1; }
rm -rf "$work/run-0"
took=$((($(date +%s%N) - start) / 1000000))
echo "server-crash-test: reference run $took ms (pass A $took_A ms, pass B $took_B ms), $kills kills"
a_ms="$took_A"
b_ms="$took_B"

survived=0
: >"$work/outcomes"
for ((k = 1; k <= kills; k++)); do
  if ((RANDOM % 2)); then
    kill_at="A $(((RANDOM * 32768 + RANDOM) % (a_ms + 60)))"
  else
    kill_at="B $(((RANDOM * 32768 + RANDOM) % (b_ms + 60)))"
  fi
  problem=""
  if ! error="$(run "$k" "$kill_at" 2>&1)"; then
    problem="$error"
  elif ! cmp -s "$work/run-$k.server" "$work/run-0.server"; then
    problem="the server differs from the reference run:
$(diff "$work/run-0.server" "$work/run-$k.server" | head -n 20 || true)"
  elif ! cmp -s "$work/run-$k.local" "$work/run-0.local"; then
    problem="the profile differs from the reference run:
$(diff "$work/run-0.local" "$work/run-$k.local" | head -n 20 || true)"
  fi
  if [ -n "$problem" ]; then
    kept="${TMPDIR:-/tmp}/velklk-server-crash-failed-$$-$k"
    if mv "$work/run-$k" "$kept" 2>/dev/null; then
      cp "$work/run-$k".* "$work/run-0".* "$kept/" 2>/dev/null || true
      problem="$problem (profile kept in $kept)"
    fi
    echo "server-crash-test: kill $k (pass $kill_at ms): $problem" >&2
  else
    survived=$((survived + 1))
  fi
  rm -rf "$work/run-$k"
done
echo "server-crash-test: passes killed: $(grep -c killed "$work/outcomes" || true)," \
  "finished before the kill: $(grep -c finished "$work/outcomes" || true)"
echo "server-crash-test: survived $survived of $kills kills"
[ "$survived" -eq "$kills" ]
