#!/usr/bin/env bash
# What a user gets: the program's --version and --help, an install into a temporary prefix
# (programs, desktop entry, metainfo, icon, manual pages, user service) and, when given, the .deb
# with its dependencies and files (scripts/package.sh gives it).
# Usage: install_test.sh BUILD_DIR VERSION [CMAKE] [DEB]
set -uo pipefail

build="$1"
version="$2"
cmake_cmd="${3:-cmake}"
deb="${4:-}"

work="$(mktemp -d "${TMPDIR:-/tmp}/quillfeed-install-test.XXXXXX")"
program_pid=""
cleanup() {
  if [ -n "$program_pid" ]; then
    kill -KILL "$program_pid" 2>/dev/null
    wait "$program_pid" 2>/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
checks=0
check() { # check DESCRIPTION COMMAND...
  local what="$1"
  shift
  checks=$((checks + 1))
  if "$@"; then
    echo "ok   $what"
  else
    echo "FAIL $what"
    failures=$((failures + 1))
  fi
}
need() {
  if ! command -v "$1" >/dev/null 2>&1; then
    echo "install test: $1 is missing (Debian package $2, which scripts/setup.sh installs)"
    exit 1
  fi
}
need desktop-file-validate desktop-file-utils
need dpkg-deb dpkg
need groff groff-base
need gzip gzip

# No display, a fresh configuration folder: --version and --help must answer without starting
# the window and without creating any file.
bare() {
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_CONFIG_HOME="$work/bare" HOME="$work/bare-home" \
    timeout 20 "$@"
}
mkdir -p "$work/bare" "$work/bare-home"

check_version() { # check_version BINARY
  local out
  out="$(bare "$1" --version 2>"$work/version.err")" || return 1
  [ "$out" = "Quillfeed $version" ] || { echo "  --version printed: $out"; return 1; }
  [ ! -s "$work/version.err" ] || { echo "  --version wrote to stderr:"; cat "$work/version.err"; return 1; }
}
check_help() { # check_help BINARY
  local out
  out="$(bare "$1" --help)" || return 1
  local word
  for word in "Usage: quillfeed" "/C=" "--no-window" "config.ini" "Trace.txt" "XDG_CONFIG_HOME" "--version"; do
    grep -qF -- "$word" <<<"$out" || { echo "  --help does not mention $word"; return 1; }
  done
}
nothing_created() { [ -z "$(find "$work/bare" "$work/bare-home" -mindepth 1)" ]; }

check "--version prints the name and version and exits, without a display" check_version "$build/quillfeed"
check "--help prints the usage, the /C= option and the files, and exits" check_help "$build/quillfeed"
check "--version and --help create no settings folder" nothing_created

# Install into a temporary prefix.
prefix="$work/prefix"
if ! "$cmake_cmd" --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
  cat "$work/install.log"
  echo "install test: cmake --install failed"
  exit 1
fi
# Software centres find the program by one reverse-DNS id: the metainfo's and the entry's name.
metainfo="$(echo "$prefix"/share/metainfo/*.metainfo.xml)"
app_id="$(sed -n 's|^ *<id>\(.*\)</id>|\1|p' "$metainfo" 2>/dev/null)"
desktop="$prefix/share/applications/$app_id.desktop"
icon="$prefix/share/icons/hicolor/scalable/apps/quillfeed.svg"
mandir="$prefix/share/man/man1"

check "bin/quillfeed is installed and runs" check_version "$prefix/bin/quillfeed"
ids_match() {
  grep -qE '^[a-z][a-z0-9]*(\.[A-Za-z][A-Za-z0-9_-]*){2,}$' <<<"$app_id" || { echo "  metainfo id: '$app_id'"; return 1; }
  grep -qF "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" && test -f "$desktop"
}
check "the metainfo's reverse-DNS id names the installed desktop entry" ids_match
check "the icon is installed" test -f "$icon"

# Manual pages as Debian wants them: gzip -9n (no file name, no time stamp) and nothing else.
man_gzipped() { # man_gzipped PAGE: unpacks it to $work for the checks below
  local gz="$mandir/$1.1.gz" header
  [ -f "$gz" ] && [ ! -e "$mandir/$1.1" ] || { ls "$mandir"; return 1; }
  header="$(od -An -tx1 -N9 "$gz" | tr -d ' ')"
  [ "$header" = 1f8b08000000000002 ] || { echo "  $1.1.gz header: $header"; return 1; }
  gzip -dc "$gz" >"$work/$1.1"
}
check "quillfeed.1.gz is installed, compressed with gzip -9n" man_gzipped quillfeed
check "quillfeed-send.1.gz is installed, compressed with gzip -9n" man_gzipped quillfeed-send
manpage="$work/quillfeed.1"

check "the metainfo names GPL-3.0-or-later" grep -qx '  <project_license>GPL-3.0-or-later</project_license>' "$metainfo"

check "desktop-file-validate accepts the desktop entry" desktop-file-validate "$desktop"
entry_value() { sed -n "s/^$1=//p" "$desktop" | head -n 1; }
exec_names_program() { [ "$(entry_value Exec | cut -d' ' -f1)" = quillfeed ] && [ -x "$prefix/bin/quillfeed" ]; }
check "the entry starts the installed program" exec_names_program
icon_matches() { [ "$(entry_value Icon)" = "$(basename "$icon" .svg)" ]; }
check "the entry's icon is the installed icon" icon_matches
is_svg() { grep -q '<svg[^>]*viewBox=' "$icon" && grep -q '</svg>' "$icon"; }
check "the icon is a scalable SVG" is_svg

man_renders_cleanly() {
  local page
  for page in "$manpage" "$work/quillfeed-send.1"; do
    groff -man -ww -z "$page" 2>"$work/groff.err" && [ ! -s "$work/groff.err" ] || { cat "$work/groff.err"; return 1; }
    ! grep -n '@[A-Z_]*@' "$page" || return 1
    grep -q "^\.TH QUILLFEED[-A-Z]* 1 .*\"Quillfeed $version\"" "$page" || { echo "  $page lacks the version"; return 1; }
  done
}
check "the manual pages render without warnings, with version and hosts filled in" man_renders_cleanly

# The user service: installed beside the program, and accepted by systemd where it can check.
unit="$prefix/lib/systemd/user/quillfeed.service"
check "the user service is installed" test -f "$unit"
unit_runs_program() { grep -qxF "ExecStart=$prefix/bin/quillfeed --no-window" "$unit" && grep -qxF "Restart=on-failure" "$unit"; }
check "the user service runs the installed program without a window" unit_runs_program
if command -v systemd-analyze >/dev/null 2>&1; then
  unit_verifies() {
    mkdir -p "$work/runtime" && chmod 700 "$work/runtime"
    local out
    out="$(MANPATH="$prefix/share/man" XDG_RUNTIME_DIR="$work/runtime" systemd-analyze --user verify "$unit" 2>&1)" &&
      [ -z "$out" ] || { echo "  $out"; return 1; }
  }
  check "systemd-analyze --user verify accepts the user service" unit_verifies
fi

# The settings file a first start writes: every key in it must be documented.
first_start() {
  mkdir -p "$work/first"
  # A first start opens the status page on its default port: not on this machine's, where a real
  # Quillfeed may hold it, but in a network namespace of its own when the system gives one.
  local netns=()
  if unshare -rn true 2>/dev/null; then
    netns=(unshare -rn)
  fi
  XDG_CONFIG_HOME="$work/first" HOME="$work/first" QT_QPA_PLATFORM=offscreen \
    "${netns[@]}" "$prefix/bin/quillfeed" >"$work/first.log" 2>&1 &
  program_pid=$!
  local i
  for i in $(seq 1 100); do
    if grep -q '^OnlyCQ=' "$work/first/Quillfeed/config.ini" 2>/dev/null; then
      break
    fi
    sleep 0.2
  done
  kill -TERM "$program_pid" 2>/dev/null
  for _ in $(seq 1 50); do
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.2
  done
  kill -KILL "$program_pid" 2>/dev/null
  wait "$program_pid" 2>/dev/null
  program_pid=""
  [ -f "$work/first/Quillfeed/config.ini" ] || { echo "  no config.ini after a first start:"; cat "$work/first.log"; return 1; }
}
keys_documented() {
  local keys key missing=0
  keys="$(tr -d '\r' <"$work/first/Quillfeed/config.ini" | sed -n 's/^\([A-Za-z]*\)=.*/\1/p')"
  [ "$(wc -w <<<"$keys")" -eq 12 ] || { echo "  a first start wrote: $keys"; return 1; }
  for key in $keys; do
    grep -q "^\.B $key\$" "$manpage" || { echo "  $key is not in the manual page"; missing=1; }
  done
  [ "$missing" -eq 0 ]
}
if check "the installed program starts offscreen and writes config.ini" first_start; then
  check "the manual page documents every key of config.ini" keys_documented
fi

# The Debian package, built by dpkg-buildpackage from debian/.
if [ -n "$deb" ]; then
  arch="$(dpkg --print-architecture)"
  named() { [ -f "$deb" ] && [[ "$(basename "$deb")" =~ ^quillfeed_${version//./\\.}-[0-9]+_${arch}\.deb$ ]]; }
  check "the package is named quillfeed_${version}-N_${arch}.deb" named
  field() { dpkg-deb -f "$deb" "$1"; }
  control_right() {
    [ "$(field Package)" = quillfeed ] && [ "$(field Version)" = "$(basename "$deb" | cut -d_ -f2)" ] &&
      [ "$(field Architecture)" = "$arch" ] && [ "$(field Section)" = hamradio ] || { dpkg-deb -I "$deb"; return 1; }
  }
  check "the package is quillfeed $version for $arch in hamradio" control_right
  depends_on_qt() {
    local depends lib
    depends="$(field Depends)"
    for lib in libqt6widgets6 libqt6network6 libqt6gui6 libqt6core6; do
      grep -qE "(^|, )$lib( |,|$)" <<<"$depends" || { echo "  Depends lacks $lib: $depends"; return 1; }
    done
  }
  check "Depends names the Qt 6 libraries" depends_on_qt
  dpkg-deb -c "$deb" | awk '{print $NF}' >"$work/contents"
  lists() {
    local path
    for path in ./usr/bin/quillfeed ./usr/bin/quillfeed-send "./usr/share/applications/$app_id.desktop" \
      "./usr/share/metainfo/$app_id.metainfo.xml" ./usr/share/icons/hicolor/scalable/apps/quillfeed.svg \
      ./usr/share/man/man1/quillfeed.1.gz ./usr/share/man/man1/quillfeed-send.1.gz \
      ./usr/share/doc/quillfeed/copyright ./usr/share/doc/quillfeed/changelog.Debian.gz \
      ./usr/lib/systemd/user/quillfeed.service; do
      grep -qxF "$path" "$work/contents" || { echo "  $path is not in the package"; return 1; }
    done
  }
  check "the package holds the programs, entry, metainfo, icon, manual pages, copyright and user service" lists
  only_usr() { ! grep -v '^\./usr/\|^\./$\|^\./usr$' "$work/contents"; }
  check "the package installs only under /usr" only_usr
  dpkg-deb -x "$deb" "$work/unpacked"
  packaged_unit() { grep -qxF "ExecStart=/usr/bin/quillfeed --no-window" "$work/unpacked/usr/lib/systemd/user/quillfeed.service"; }
  check "the packaged user service runs /usr/bin/quillfeed --no-window" packaged_unit
  # Installing the package must not start the service for every user: the operator enables it.
  # debhelper's script then enables it again only where it was installed before (an upgrade).
  not_enabled() { dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./postinst | grep -q 'deb-systemd-helper --user debian-installed'; }
  check "installing the package enables the user service for nobody" not_enabled
  copyright_right() {
    local doc="$work/unpacked/usr/share/doc/quillfeed"
    head -n 1 "$doc/copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' &&
      grep -qx 'License: GPL-3+' "$doc/copyright" &&
      gzip -dc "$doc/changelog.Debian.gz" | head -n 1 | grep -q "^quillfeed ($version-[0-9]*) "
  }
  check "the copyright file names GPL-3+ and the changelog this version" copyright_right
  check "the packaged program runs" check_version "$work/unpacked/usr/bin/quillfeed"
fi

echo "install test: $((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
