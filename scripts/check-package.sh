#!/usr/bin/env bash
# Checks that the Debian package installs and works on a fresh Debian 12: makes
# a minimal bookworm system in a folder with debootstrap (once; kept for the
# next run), installs the package there with apt-get (which fetches its
# dependencies from the Debian mirror), then runs velklk init and the demo
# call as a user of that system would. Needs root and the network; not part of
# scripts/test.sh.
# usage: scripts/check-package.sh PACKAGE.deb [CHROOT_DIR]
#        CHROOT_DIR defaults to /var/tmp/velklk-bookworm
set -euo pipefail
deb="$(realpath "${1:?usage: scripts/check-package.sh PACKAGE.deb [CHROOT_DIR]}")"
root="${2:-/var/tmp/velklk-bookworm}"
mirror="${DEBIAN_MIRROR:-http://deb.debian.org/debian}"

[ "$(id -u)" -eq 0 ] || { echo "check-package.sh: run as root (debootstrap, chroot)" >&2; exit 2; }
if ! command -v debootstrap >/dev/null; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap
fi
if [ ! -x "$root/usr/bin/apt-get" ]; then
  echo "== debootstrap bookworm into $root"
  debootstrap --variant=minbase bookworm "$root" "$mirror" >/dev/null
fi

mounted=()
cleanup() {
  for (( i=${#mounted[@]}-1; i>=0; i-- )); do umount "${mounted[$i]}" || true; done
}
trap cleanup EXIT
for fs in proc sys dev; do
  mkdir -p "$root/$fs"
  mount --bind "/$fs" "$root/$fs" && mounted+=("$root/$fs")
done
cp /etc/resolv.conf "$root/etc/resolv.conf"

in_root() { chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
  LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"; }

# A fresh start: the package and anything it pulled in earlier go first.
in_root apt-get purge -y -qq velklk >/dev/null 2>&1 || true
in_root apt-get autoremove -y -qq >/dev/null 2>&1 || true
cp "$deb" "$root/tmp/"
echo "== apt-get install ./$(basename "$deb")"
in_root apt-get update -qq
in_root apt-get install -y -q "/tmp/$(basename "$deb")"

echo "== velklk --version; velklk init; the demo call"
in_root /bin/sh -ec '
  velklk --version
  rm -rf /tmp/demo
  velklk init /tmp/demo
  velklk -p /tmp/demo --user ANNA --now "2026-12-06 10:00:00" \
    call velKLK.CSync AddressOrContactSync2OL 0000000001 Adressen | tee /tmp/demo.out
  grep -q "\"event\":\"result\",\"value\":true" /tmp/demo.out
  test -f /usr/share/velklk/demo.json
  ls /usr/lib/*/libvelklk.so.0 /usr/lib/*/libvelklk_embedded.so.0
'
echo "check-package.sh: the package installs and runs the demo call on Debian 12"
