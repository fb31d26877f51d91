# Shared by the round-trip demos (sourced, not run): builds velklk when it is
# missing, makes a demo profile in a fresh folder, sends lines to one session
# process and prints what changed between two snapshots.
# Sets: here, build, velklk, profile.
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${VELKLK_BUILD:-$here/build}"
if [ ! -x "$build/cli/velklk" ]; then
  "$here/scripts/setup.sh" "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
velklk="$build/cli/velklk"

# demo_profile NAME: a demo profile in a fresh folder.
demo_profile() {
  profile="$(mktemp -d "${TMPDIR:-/tmp}/velklk-$1.XXXXXX")"
  echo "# velklk init $profile"
  "$velklk" init "$profile" >/dev/null
}

# Lines read from standard input are sent to one session process, which keeps
# the add-in loaded as the CRM does (and the clock set by {"now": ...} for the
# lines that follow); prints each line and what the add-in answered.
session() {
  coproc SESSION { "$velklk" -p "$profile" session; }
  while IFS= read -r line; do
    echo "> $line"
    printf '%s\n' "$line" >&"${SESSION[1]}"
    while IFS= read -r out <&"${SESSION[0]}"; do
      echo "$out"
      [ "$out" = '{"event":"done"}' ] && break
    done
  done
  exec {SESSION[1]}>&-
  wait "$SESSION_PID" || true
}

# show_changes BEFORE AFTER: the lines that went (-) and came (+).
show_changes() {
  echo "# (- before, + after)"
  { diff "$1" "$2" || true; } | sed -n -e 's/^< /- /p' -e 's/^> /+ /p'
}
