#!/usr/bin/env bash
# Cross-builds the .deb for another architecture (arm64, armhf) and runs the installed-package
# smoke test on it under qemu user-mode emulation. Called by scripts/package.sh --arch ARCH with
# the prepared source tree; the results land beside it.
# The build runs in a Debian 12 chroot of its own ($QUILLFEED_CHROOT, made with debootstrap on
# first use), where the foreign architecture's libraries come through multiarch: the host's own
# packages are never touched.
set -euo pipefail
arch="$1"
src="$2"
out="$(dirname "$src")"
chroot_dir="${QUILLFEED_CHROOT:-/srv/chroot/quillfeed-bookworm}"
mirror="${QUILLFEED_MIRROR:-http://deb.debian.org/debian}"
case "$arch" in
  arm64) qemu=aarch64 ;;
  armhf) qemu=arm ;;
  *)
    echo "package: no cross build for $arch (arm64 or armhf)" >&2
    exit 2
    ;;
esac
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
in_chroot() { "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8 chroot "$chroot_dir" "$@"; }

# On the host: only tools that replace nothing, and the kernel's hand-over of foreign programs to qemu.
missing=()
for p in debootstrap qemu-user-static; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "package: installing ${missing[*]}"
  "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
if [ ! -e "/proc/sys/fs/binfmt_misc/qemu-$qemu" ]; then
  [ -e /proc/sys/fs/binfmt_misc/register ] || "${as_root[@]}" mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  # What systemd does at boot with the file qemu-user-static installs (its F flag makes it work in a chroot).
  "${as_root[@]}" sh -c "cat /usr/lib/binfmt.d/qemu-$qemu.conf >/proc/sys/fs/binfmt_misc/register"
fi

if [ ! -x "$chroot_dir/usr/bin/apt-get" ]; then
  echo "package: making the build chroot $chroot_dir"
  "${as_root[@]}" debootstrap --variant=buildd bookworm "$chroot_dir" "$mirror" >/dev/null
  printf 'deb %s bookworm main\ndeb %s bookworm-updates main\ndeb %s-security bookworm-security main\n' \
    "$mirror" "$mirror" "$mirror" | "${as_root[@]}" tee "$chroot_dir/etc/apt/sources.list" >/dev/null
fi
"${as_root[@]}" mkdir -p "$chroot_dir/build"
cleanup() {
  "${as_root[@]}" umount "$chroot_dir/build" 2>/dev/null || true
  "${as_root[@]}" umount "$chroot_dir/proc" 2>/dev/null || true
}
trap cleanup EXIT
"${as_root[@]}" mount -t proc proc "$chroot_dir/proc"
"${as_root[@]}" mount --bind "$out" "$chroot_dir/build"

name="$(basename "$src")"
version="$(dpkg-parsechangelog -l "$src/debian/changelog" -S Version)"
log="$out/build.log"
echo "package: cross-building for $arch in $chroot_dir (log: $log)"
{
  in_chroot dpkg --add-architecture "$arch"
  in_chroot apt-get update -qq
  in_chroot apt-get install -y -qq --no-install-recommends "crossbuild-essential-$arch" iproute2 python3
  in_chroot apt-get build-dep -y -qq -a "$arch" -Pcross,nocheck "/build/$name"
  # A cross build cannot run the tests; the smoke test below runs the program instead.
  in_chroot sh -c "cd /build/$name && DEB_BUILD_OPTIONS='nocheck ${DEB_BUILD_OPTIONS:-}' dpkg-buildpackage -a$arch -Pcross,nocheck -us -uc -b"
} >"$log" 2>&1 || { tail -n 60 "$log"; echo "package: the $arch build failed (whole log: $log)"; exit 1; }
deb="quillfeed_${version}_$arch.deb"

failed=0
dpkg-deb -x "$out/$deb" "$out/unpacked"
echo "== hardening-check quillfeed ($arch)"
# objdump cannot disassemble a foreign program to look for stack-clash probes: it says so, unknown.
hardening-check --nocfprotection "$out/unpacked/usr/bin/quillfeed" 2>/dev/null || failed=1
echo "== lintian ($arch)"
lintian --fail-on error,warning --display-info --pedantic "$out/quillfeed_${version}_$arch.changes" || failed=1
echo "== smoke test of the installed $arch program under qemu-$qemu"
in_chroot apt-get install -y -qq --reinstall "/build/$deb" >>"$log" 2>&1 || failed=1
in_chroot dpkg-query -W -f='installed: ${Package} ${Version} ${Architecture}\n' quillfeed
in_chroot "/build/$name/debian/tests/smoke" || failed=1

if [ "$failed" -ne 0 ]; then
  echo "package: $out/$deb does not pass"
  exit 1
fi
echo "package: $out/$deb passes"
