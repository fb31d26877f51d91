#!/usr/bin/env bash
# The path users run, timed: bench/cli (velklk as a subprocess beside the
# same work in-process and bare SQLite, see bench/cli/cli_bench.cpp) with 5
# repetitions; prints the median of each figure and the ratios the targets
# speak of.
#
#   scripts/bench-cli.sh [--large] [REPETITIONS]
#
# --large adds 100,000 items (slow). VELKLK_BUILD names the build folder
# (default build/); VELKLK_BENCH_DIR the folder of the profiles (default the
# temporary folder).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${VELKLK_BUILD:-$here/build}"
bench="$build/bench/cli/cli_bench"
if [ "${1:-}" = "--large" ]; then
  export VELKLK_BENCH_LARGE=1
  shift
fi
reps="${1:-5}"
[ -x "$bench" ] || { echo "bench-cli: $bench is not built" >&2; exit 2; }
out="$(mktemp "${TMPDIR:-/tmp}/velklk-bench-cli.XXXXXX")"
trap 'rm -f "$out"' EXIT
nice "$bench" --benchmark_repetitions="$reps" --benchmark_format=json >"$out"
[ -n "${VELKLK_BENCH_JSON:-}" ] && cp "$out" "$VELKLK_BENCH_JSON"
python3 - "$out" <<'PY'
import json, re, statistics, sys
runs = json.load(open(sys.argv[1]))["benchmarks"]
fig = {}  # name -> {"ms": [...], "rss": [...], "open": [...]}
for r in runs:
    if r.get("run_type") != "iteration" or r.get("error_occurred"):
        continue
    name = re.sub(r"/(iterations|manual_time|repeats)[^/]*", "", r["run_name"])
    f = fig.setdefault(name, {"ms": [], "rss": [], "open": []})
    f["ms"].append(r["real_time"])
    if "maxrss_MB" in r: f["rss"].append(r["maxrss_MB"])
    if "open_ms" in r: f["open"].append(r["open_ms"])
med = lambda xs: statistics.median(xs) if xs else None
def ms(name): return med(fig.get(name, {}).get("ms", []))
def rss(name): return med(fig.get(name, {}).get("rss", []))
print(f"{'figure':40} {'median ms':>11} {'per item us':>12} {'peak MB':>9} {'open ms':>9}")
for name, f in fig.items():
    n = int(name.rsplit("/", 1)[1])
    m = med(f["ms"])
    per = m * 1000 / n if not name.startswith("Profile/") else None
    print(f"{name:40} {m:11.1f} {per if per is not None else float('nan'):12.1f} "
          f"{(med(f['rss']) or float('nan')):9.1f} {(med(f['open']) or float('nan')):9.1f}")
def ratio(a, b):
    return f"{a / b:6.2f}" if a and b else "   n/a"
sizes = sorted({int(n.rsplit("/", 1)[1]) for n in fig if not n.startswith("Profile/")})
print("\nratios (medians of one run)")
for area in ("Session", "Contacts", "Appointments", "Tasks"):
    for n in sizes:
        v, i, b = ms(f"{area}/velklk/{n}"), ms(f"{area}/inProcess/{n}"), ms(f"{area}/bareSqlite/{n}")
        line = f"{area}/{n}: velklk/inProcess {ratio(v, i)}  inProcess/bareSqlite {ratio(i, b)}"
        if area == "Session":
            j = ms(f"Session/inProcessJournal/{n}")
            line += f"  inProcessJournal/inProcess {ratio(j, i)}  velklk/inProcessJournal {ratio(v, j)}"
        if area == "Contacts":
            d = f"Contacts/velklkDryRun/{n}"
            line += (f"  dryRun/real time {ratio(ms(d), v)}"
                     f" memory {ratio(rss(d), rss(f'Contacts/velklk/{n}'))}")
        print(line)
    if len(sizes) > 1:
        lo, hi = sizes[0], sizes[-1]
        for kind in ("velklk", "inProcess"):
            a, b = ms(f"{area}/{kind}/{lo}"), ms(f"{area}/{kind}/{hi}")
            if a and b:
                print(f"{area}/{kind}: {hi // lo}x the items cost {b / a:6.1f}x the time")
for n in sorted({int(n.rsplit("/", 1)[1]) for n in fig if n.startswith("Profile/")}):
    c = f"Profile/velklkCall/{n}"
    for what in ("Dump", "Load"):
        x = f"Profile/velklk{what}/{n}"
        print(f"{what.lower()} {n} contacts: time/call {ratio(ms(x), ms(c))}"
              f"  peak memory/call {ratio(rss(x), rss(c))}")
PY
