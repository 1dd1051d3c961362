#!/usr/bin/env bash
# Builds the Debian packages from debian/ with dpkg-buildpackage and checks them as Debian would.
#   scripts/package.sh              source package and this machine's .deb, into build-package/:
#                                   lintian on the .changes, hardening-check, appstreamcli,
#                                   desktop-file-validate and the install test
#   scripts/package.sh --arch arm64 the .deb for a Raspberry Pi (armhf too), into build-package-arm64/:
#                                   cross-built in a Debian 12 chroot of its own, then lintian and
#                                   the installed-package smoke test under qemu (scripts/cross-package.sh)
# Any error, or lintian warning the package does not override with its reason, fails the run.
# DEB_BUILD_OPTIONS is honoured (nocheck, parallel=N).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
arch=""
case "$*" in
  "") ;;
  "--arch "*) arch="$2" ;;
  *)
    echo "usage: scripts/package.sh [--arch arm64|armhf]" >&2
    exit 2
    ;;
esac
native="$(dpkg --print-architecture)"
[ "$arch" != "$native" ] || arch=""
out="${QUILLFEED_PACKAGE_BUILD_DIR:-$root/build-package${arch:+-$arch}}"
"$root/scripts/setup.sh"

version="$(dpkg-parsechangelog -l "$root/debian/changelog" -S Version)"
upstream="${version%-*}"
grep -q "^project(Quillfeed VERSION $upstream " "$root/CMakeLists.txt" ||
  { echo "package: debian/changelog's $version does not match the version in CMakeLists.txt"; exit 1; }

# The upstream tarball is the work tree's files without debian/ (reproducible: sorted, owned by
# root, stamped with the changelog's date); the source tree is that tarball plus debian/.
mkdir -p "$out"
(cd "$out" && rm -rf quillfeed-"$upstream" quillfeed_* quillfeed-dbgsym_* unpacked build.log)
files() { # the repository's files as they stand, NUL-separated
  (cd "$root" && git ls-files -z -co --exclude-standard | while IFS= read -r -d '' f; do
    [ -e "$f" ] && printf '%s\0' "$f"
  done)
}
tarball() { # tarball OUTPUT: the files given on standard input, under quillfeed-VERSION/
  tar -C "$root" --null -T - --sort=name --owner=0 --group=0 --numeric-owner \
    --mtime="@$(dpkg-parsechangelog -l "$root/debian/changelog" -S Timestamp)" \
    --transform="s,^,quillfeed-$upstream/," -cf "$1"
}
files | grep -zv '^debian/' | tarball - | xz -9 >"$out/quillfeed_$upstream.orig.tar.xz"
tar -C "$out" -xf "$out/quillfeed_$upstream.orig.tar.xz"
files | grep -z '^debian/' | tarball - | tar -C "$out" -xf -
src="$out/quillfeed-$upstream"

if [ -n "$arch" ]; then
  exec "$root/scripts/cross-package.sh" "$arch" "$src"
fi

cd "$src"
if ! dpkg-checkbuilddeps 2>/dev/null; then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get build-dep -y -qq . >/dev/null
fi
dpkg-buildpackage -us -uc >"$out/build.log" 2>&1 || { tail -n 60 "$out/build.log"; echo "package: dpkg-buildpackage failed (whole log: $out/build.log)"; exit 1; }
grep -A3 "^Label Time Summary" "$out/build.log" || true
deb="$out/quillfeed_${version}_$native.deb"
changes="$out/quillfeed_${version}_$native.changes"

unpacked="$out/unpacked"
dpkg-deb -x "$deb" "$unpacked"
failed=0
step() { # step NAME COMMAND...: runs it, shows its output, notes a failure and goes on
  echo "== $1"
  shift
  "$@" || { echo "package: FAILED: $*"; failed=1; }
}
# Control-flow protection is left out: Debian 12's dpkg-buildflags does not ask for it and its C
# start-up files lack the IBT/SHSTK note, so no program linked there can carry it.
step "hardening-check quillfeed" hardening-check --nocfprotection "$unpacked/usr/bin/quillfeed"
# The sender tool's only fortifiable calls are copies whose sizes are known at compile time or
# not at all, which hardening-check documents as a false alarm; prove its fortify flag instead.
obj="$src/obj-$(dpkg-architecture -qDEB_HOST_GNU_TYPE)"
fortified() {
  grep -F '"command"' "$obj/compile_commands.json" | grep -F quillfeed-send/main.cpp | grep -qF -- -D_FORTIFY_SOURCE=
}
step "hardening-check quillfeed-send" hardening-check --nocfprotection --nofortify "$unpacked/usr/bin/quillfeed-send"
step "quillfeed-send is compiled with _FORTIFY_SOURCE" fortified
step "lintian (source and binary)" lintian --fail-on error,warning --display-info --pedantic "$changes"
step "appstreamcli validate" appstreamcli validate --no-net "$unpacked"/usr/share/metainfo/*.metainfo.xml
step "desktop-file-validate" desktop-file-validate "$unpacked"/usr/share/applications/*.desktop
step "install test" bash "$root/tests/install/install_test.sh" "$obj" "$upstream" cmake "$deb"

if [ "$failed" -ne 0 ]; then
  echo "package: $deb does not pass"
  exit 1
fi
echo "package: $deb passes"
