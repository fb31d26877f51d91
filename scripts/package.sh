#!/usr/bin/env bash
# Builds the Debian package velklk_<version>-1_<arch>.deb: a release build with
# the install prefix /usr (only what the package holds: the command, the
# shared libraries, the headers), cpack -G DEB, then lintian on the package.
# Prints the path of the package last.
# usage: scripts/package.sh [BUILD_DIR]        BUILD_DIR defaults to build-package
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build-package}"

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# setup.sh installs what the build needs; the package needs the tools below.
for tool in dpkg-shlibdeps lintian; do
  command -v "$tool" >/dev/null || { echo "package.sh: $tool is missing (apt-get install dpkg-dev lintian)" >&2; exit 2; }
done

# Debian's flags for packages (hardening: stack protector, fortified
# functions, read-only relocations); warnings do not stop the package.
export CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
export LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DVELKLK_TESTS=OFF -DVELKLK_BENCH=OFF -DVELKLK_WERROR=OFF "${launcher[@]}" >/dev/null
cmake --build "$build"
(cd "$build" && cpack -G DEB >/dev/null)

deb="$(ls -t "$build"/velklk_*.deb | head -n 1)"
echo "== lintian $deb"
# Errors fail the script; warnings and notes are printed.
lintian --fail-on error "$deb" || { echo "package.sh: lintian reports errors" >&2; exit 1; }
echo "== contents"
dpkg-deb --field "$deb"
echo "$deb"
