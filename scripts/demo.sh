#!/usr/bin/env bash
# Quillfeed without a radio: starts it with a settings folder of its own, plays a WSJT-X session
# into it, listens where the spot service would and prints the records as they arrive.
# Stops by itself; exit 0 when at least one spot record arrived.
set -uo pipefail

usage() {
  cat <<'EOF'
Usage: scripts/demo.sh [--ci]

Builds Quillfeed if needed, starts it (a real window when there is a display, else --no-window)
with temporary settings (callsign Q9ZZZ, locator FN42HN, monitoring on at start, tracing on,
QSO upload on, a free UDP port), plays a WSJT-X session into it with quillfeed-send (a Status,
periods of decodes, a change of band, a logged QSO), and prints every spot record (WSJT|...)
and QSO record (QFLOG|...) that reaches a listener on 127.0.0.1 port 7350. Spots leave 1 to 50 s
after the last one was queued, so the end can take a minute. About three minutes in all.

  --ci     unattended: always offscreen, prints only the records and a summary
  --help   this text

Exit status: 0 when at least one spot record arrived, 1 otherwise, 2 for bad arguments.
EOF
}

ci=0
for arg in "$@"; do
  case "$arg" in
    --ci) ci=1 ;;
    --help | -h) usage; exit 0 ;;
    *) echo "demo: unknown argument $arg" >&2; usage >&2; exit 2 ;;
  esac
done

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${QUILLFEED_BUILD_DIR:-$root/build}"
spot_port=7350
# The sender's session lasts under two minutes; spots may take 50 s more; start-up is quick.
session_limit=150
spot_wait=55

say() { echo "demo: $*"; }

# ---- build if needed --------------------------------------------------------------------------
if [ ! -f "$build/CMakeCache.txt" ]; then
  say "building Quillfeed first (one time)"
  "$root/scripts/setup.sh" || exit 1
  cmake -S "$root" -B "$build" -G Ninja >/dev/null || exit 1
fi
cmake --build "$build" --target quillfeed quillfeed-send >"${TMPDIR:-/tmp}/quillfeed-demo-build.log" 2>&1 || {
  cat "${TMPDIR:-/tmp}/quillfeed-demo-build.log"
  say "the build failed"
  exit 1
}
rm -f "${TMPDIR:-/tmp}/quillfeed-demo-build.log"
program="$build/quillfeed"
sender="$build/quillfeed-send"

spot_host="$(sed -n 's/^QUILLFEED_SPOT_HOST:[A-Z]*=//p' "$build/CMakeCache.txt")"
case "$spot_host" in
  localhost | 127.0.0.1) ;;
  *)
    say "this build sends its spots to $spot_host, not to this machine; the demo needs a build"
    say "configured with the default QUILLFEED_SPOT_HOST (localhost), e.g. QUILLFEED_BUILD_DIR=build-demo"
    exit 1
    ;;
esac

# ---- everything started from here is stopped and removed on the way out ----------------------
tmp="$(mktemp -d "${TMPDIR:-/tmp}/quillfeed-demo.XXXXXX")"
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do
    kill -TERM "$pid" 2>/dev/null
  done
  for pid in "${pids[@]}"; do
    for _ in 1 2 3 4 5 6 7 8 9 10; do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.2
    done
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  rm -rf "$tmp"
}
trap cleanup EXIT
trap 'echo; say "interrupted"; exit 130' INT TERM

# ---- listeners ---------------------------------------------------------------------------------
# Each datagram becomes one line of hex bytes in the output file, so that records without a line
# end stay apart.
if command -v socat >/dev/null 2>&1; then
  listen() { # listen PORT FILE
    socat -u -x "UDP-RECV:$1,bind=127.0.0.1" /dev/null 2>"$2" &
    pids+=($!)
  }
elif command -v python3 >/dev/null 2>&1; then
  listen() {
    python3 -u -c '
import socket, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("127.0.0.1", int(sys.argv[1])))
while True:
    data = s.recv(65535)
    sys.stdout.write(" " + " ".join("%02x" % b for b in data) + "\n")
' "$1" >"$2" 2>&1 &
    pids+=($!)
  }
else
  say "needs socat or python3 to listen for the records (apt install socat)"
  exit 1
fi
payloads() { grep '^ [0-9a-f]' "$1" 2>/dev/null; }
count_datagrams() { payloads "$1" | wc -l; }
as_text() { # hex bytes " 57 53 ..." to the bytes themselves
  local hex="$1"
  printf '%b' "${hex// /\\x}"
}

port_in_use() { # the kernel's own table of UDP sockets, IPv4 and IPv6
  local hex
  hex="$(printf '%04X' "$1")"
  awk -v port="$hex" 'FNR > 1 { split($2, a, ":"); if (a[2] == port) found = 1 } END { exit !found }' \
    /proc/net/udp /proc/net/udp6 2>/dev/null
}
tcp_port_listened() { # the kernel's table of TCP sockets, for the status page's port
  local hex
  hex="$(printf '%04X' "$1")"
  awk -v port="$hex" 'FNR > 1 { split($2, a, ":"); if (a[2] == port) found = 1 } END { exit !found }' \
    /proc/net/tcp /proc/net/tcp6 2>/dev/null
}
free_port() {
  local port
  for _ in $(seq 1 200); do
    port=$((20000 + RANDOM % 30000))
    if ! port_in_use "$port" && ! tcp_port_listened "$port" && [ "$port" != "${1:-}" ]; then
      echo "$port"
      return 0
    fi
  done
  return 1
}

if port_in_use "$spot_port"; then
  say "UDP port $spot_port is taken on this machine; the demo listens there for the records."
  say "Stop whatever listens on it and try again."
  exit 1
fi
listen "$spot_port" "$tmp/service.hex"
udp_port="$(free_port)" || { say "found no free UDP port"; exit 1; }
relay_port="$(free_port "$udp_port")" || { say "found no free UDP port"; exit 1; }
page_port="$(free_port "$relay_port")" || { say "found no free port for the status page"; exit 1; }
# The relay goes to a listener of the demo's own, not to a logger that may listen on 52237.
listen "$relay_port" "$tmp/relay.hex"
sleep 0.5
for pid in "${pids[@]}"; do
  if ! kill -0 "$pid" 2>/dev/null; then
    cat "$tmp/service.hex" "$tmp/relay.hex" 2>/dev/null
    say "a listener could not start"
    exit 1
  fi
done

# ---- Quillfeed with settings of its own --------------------------------------------------------
mkdir -p "$tmp/config/Quillfeed" "$tmp/home"
printf '%s\r\n' "[OPTIONS]" "UdpPort=$udp_port" "MonitorOnStarup=1" "Trace=1" "MyStationId=Q9ZZZ" \
  "MyLocator=FN42HN" "MulticastGroup=" "ServIP=127.0.0.1" "ServPort=$relay_port" "Top=0" "Left=0" \
  "LogUpload=1" "OnlyCQ=0" "StatusPort=$page_port" >"$tmp/config/Quillfeed/config.ini"
trace="$tmp/config/Quillfeed/Trace.txt"

mode=()
if [ "$ci" -eq 1 ]; then
  export QT_QPA_PLATFORM=offscreen
elif [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  say "no display found; Quillfeed runs without a window (it still listens, relays and spots)"
  mode=(--no-window)
fi
XDG_CONFIG_HOME="$tmp/config" "$program" "${mode[@]}" >"$tmp/quillfeed.log" 2>&1 &
program_pid=$!
pids+=("$program_pid")

started=0
for _ in $(seq 1 100); do
  if ! kill -0 "$program_pid" 2>/dev/null; then
    break
  fi
  if port_in_use "$udp_port"; then
    started=1
    break
  fi
  sleep 0.1
done
if [ "$started" -eq 0 ]; then
  cat "$tmp/quillfeed.log"
  say "Quillfeed did not start monitoring on UDP port $udp_port"
  exit 1
fi
say "Quillfeed $("$program" --version | cut -d' ' -f2) is listening on UDP port $udp_port (callsign Q9ZZZ, FN42HN)"
say "relaying to 127.0.0.1:$relay_port; listening for records on 127.0.0.1:$spot_port"
[ "$ci" -eq 1 ] || say "status page: http://127.0.0.1:$page_port/ (open it in a browser while the demo runs)"
[ "$ci" -eq 1 ] || say "playing a WSJT-X session: a Status, decodes 16 s later (Quillfeed holds decodes for 15 s after a frequency change), a band change, a logged QSO"

# ---- the session --------------------------------------------------------------------------------
begin=$SECONDS
"$sender" --port "$udp_port" session >"$tmp/sender.log" 2>&1 &
sender_pid=$!
pids+=("$sender_pid")

shown_sender=0
shown_records=0
spots=0
qsos=0
show_new() {
  local total line text
  if [ "$ci" -eq 0 ]; then
    total="$(wc -l <"$tmp/sender.log")"
    if [ "$total" -gt "$shown_sender" ]; then
      sed -n "$((shown_sender + 1)),${total}p" "$tmp/sender.log" | sed 's/^/  WSJT-X   /'
      shown_sender=$total
    fi
  fi
  total="$(count_datagrams "$tmp/service.hex")"
  if [ "$total" -gt "$shown_records" ]; then
    while IFS= read -r line; do
      text="$(as_text "$line")"
      case "$text" in
        WSJT\|*) spots=$((spots + 1)); echo "  received spot  $text" ;;
        QFLOG\|*) qsos=$((qsos + 1)); echo "  received QSO   $text" ;;
        *) echo "  received       $text" ;;
      esac
    done < <(payloads "$tmp/service.hex" | sed -n "$((shown_records + 1)),${total}p")
    shown_records=$total
  fi
}
queued_spots() {
  local n
  n="$(grep -c 'Sending spot ' "$trace" 2>/dev/null)"
  echo "${n:-0}"
}

sender_rc=""
sender_end=0
while :; do
  show_new
  if [ -z "$sender_rc" ] && ! kill -0 "$sender_pid" 2>/dev/null; then
    wait "$sender_pid"
    sender_rc=$?
    sender_end=$SECONDS
    if [ "$sender_rc" -ne 0 ]; then
      say "quillfeed-send stopped with status $sender_rc"
      break
    fi
    queued="$(queued_spots)"
    if [ "$spots" -lt "$queued" ]; then
      say "session played; Quillfeed queued $queued spots, waiting up to ${spot_wait} s for the last ones to leave"
    fi
  fi
  if ! kill -0 "$program_pid" 2>/dev/null; then
    say "Quillfeed stopped unexpectedly"
    cat "$tmp/quillfeed.log"
    break
  fi
  if [ -n "$sender_rc" ]; then
    # Records go out together; once as many have arrived as were queued, give the QSO a moment.
    if [ "$spots" -ge "$(queued_spots)" ] && [ $((SECONDS - sender_end)) -ge 2 ]; then
      break
    fi
    if [ $((SECONDS - sender_end)) -ge "$spot_wait" ]; then
      break
    fi
  elif [ $((SECONDS - begin)) -ge "$session_limit" ]; then
    say "the session took longer than ${session_limit} s; stopping it"
    break
  fi
  sleep 0.5
done
show_new

played="$(grep -c '^sent ' "$tmp/sender.log")"
relayed="$(count_datagrams "$tmp/relay.hex")"
queued="$(queued_spots)"
elapsed=$((SECONDS - begin))

if [ "$ci" -eq 0 ] && [ -s "$trace" ]; then
  echo
  say "a few lines of Quillfeed's trace (Trace.txt; its folder is removed now):"
  grep -a -E 'Quillfeed - V|MSG_1|MSG_2|New Callsign|Sending spot|QSO sent' "$trace" | head -n 9 |
    tr -d '\r' | tr -c '[:print:]\n' '.' | cut -c1-118 | sed 's/^/  /'
fi
echo
say "summary: $played datagrams played, $relayed relayed, $queued spots queued;" \
  "received: $spots spot records, $qsos QSO records; ${elapsed} s"
if [ "$spots" -ge 1 ]; then
  say "ok: spot records reached the spot service port"
  exit 0
fi
say "FAILED: no spot record arrived"
if [ -s "$trace" ]; then
  say "last lines of the trace:"
  tail -n 30 "$trace" | tr -d '\r' | sed 's/^/  /'
fi
say "Quillfeed's output:"
sed 's/^/  /' "$tmp/quillfeed.log"
exit 1
