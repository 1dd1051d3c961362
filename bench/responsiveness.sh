#!/usr/bin/env bash
# Responsiveness benchmark: quillfeed with its window shown (under Xvfb) takes a back-to-back burst
# of 10,000 Decode datagrams. Reports the longest stall of its event loop (how late a 10 ms timer
# ran) from the first datagram sent until the last one's line reached the raw pane, and how long
# that line took to get there. Then the watchdog's restart of monitoring (its 5 s pause): the
# longest stall from the watchdog's tick until a second after monitoring is back. Needs xvfb
# (apt-get install xvfb). Takes about a minute and a half.
#
#   bench/responsiveness.sh            trace off and trace on, then the restart
#   TRACES="0" COUNT=10000 RESTARTS=0 bench/responsiveness.sh
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$ROOT/build-bench}
COUNT=${COUNT:-10000}
TRACES=${TRACES-"0 1"}
WARM_SECONDS=${WARM_SECONDS:-16}
RESTARTS=${RESTARTS:-1}

if [ -z "${QF_UNDER_XVFB:-}" ]; then
    LOCK=${BUILD_LOCK:-/tmp/qf-build.lock}
    flock "$LOCK" cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLFEED_BUILD_BENCH=ON >/dev/null
    flock "$LOCK" cmake --build "$BUILD" --target quillfeed relay_load >/dev/null
    if ! command -v xvfb-run >/dev/null; then
        if [ "$(id -u)" = 0 ]; then
            apt-get install -y -q xvfb >/dev/null
        else
            echo "responsiveness: xvfb-run is missing (apt-get install xvfb)" >&2
            exit 1
        fi
    fi
    exec env QF_UNDER_XVFB=1 xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi

LOAD=$BUILD/bench/relay_load
QUILLFEED=$BUILD/quillfeed
DROP_PRIVILEGE=()
if [ "$(id -u)" = 0 ]; then
    DROP_PRIVILEGE=(setpriv --bounding-set=-net_admin)
fi
WORK=$(mktemp -d /tmp/responsiveness-XXXXXX)
PID=
cleanup() {
    if [ -n "$PID" ]; then kill "$PID" 2>/dev/null || true; fi
    rm -rf "$WORK"
}
trap cleanup EXIT

field() { # name json
    sed -n "s/.*\"$1\":\([^,}]*\).*/\1/p" <<<"$2"
}

config() { # udp-port trace relay-port (no status page: it would take its default port on this machine)
    printf '[OPTIONS]\r\nUdpPort=%s\r\nMonitorOnStarup=1\r\nTrace=%s\r\nMyStationId=Q9ZZZ\r\nMyLocator=FN42HN\r\nMulticastGroup=\r\nServIP=127.0.0.1\r\nServPort=%s\r\nTop=0\r\nLeft=0\r\nLogUpload=0\r\nOnlyCQ=0\r\nStatusPort=0\r\n' "$@"
}

MARK=$("$LOAD" mark "$COUNT")
if [ -n "$TRACES" ]; then
    echo "| Trace | Sent | Relayed | Longest stall during the burst | Longest stall, whole run | Last line in the raw pane after the last datagram was sent |"
    echo "|---|---:|---:|---:|---:|---:|"
fi
for trace in $TRACES; do
    udp=$("$LOAD" free-port)
    listen=$("$LOAD" free-port)
    home=$WORK/trace-$trace
    mkdir -p "$home/Quillfeed"
    config "$udp" "$trace" "$listen" >"$home/Quillfeed/config.ini"
    probe=$home/stalls.txt
    env -u QT_QPA_PLATFORM XDG_CONFIG_HOME="$home" HOME="$home" QUILLFEED_STALL_PROBE="$probe" \
        QUILLFEED_STALL_PROBE_MARK="$MARK" "${DROP_PRIVILEGE[@]}" "$QUILLFEED" >"$home/output.txt" 2>&1 &
    PID=$!
    json=$("$LOAD" --to "$udp" --listen "$listen" --count "$COUNT" --warm-seconds "$WARM_SECONDS" --json)
    # Whatever the window still has to paint after the last line arrived belongs to the burst too.
    sleep 1
    kill -TERM "$PID"
    wait "$PID" || true
    PID=
    first=$(field first_send_ns "$json")
    last=$(field last_send_ns "$json")
    awk -v first="$first" -v last="$last" -v trace="$trace" -v sent="$(field sent "$json")" \
        -v relayed="$(field relayed "$json")" '
        $1 == "mark_shown_ns" { shown = $2 }
        $1 == "stall" { at = $2; late = $3 / 1000; stalls[n++] = at " " late; if (late > whole) whole = late }
        END {
            burst = 0
            end = shown > 0 ? shown + 1e9 : last + 60e9
            for (i = 0; i < n; i++) {
                split(stalls[i], s, " ")
                # A stall that ended after the burst began overlapped it.
                if (s[1] >= first && s[1] <= end && s[2] > burst) burst = s[2]
            }
            pane = shown > 0 ? sprintf("%.0f ms", (shown - last) / 1e6) : "never seen"
            printf "| %s | %d | %d | %.0f ms | %.0f ms | %s |\n", trace == 1 ? "on" : "off", sent, relayed, burst, whole, pane
        }' "$probe"
done

# The watchdog's restart: the probe ages the last datagram past five minutes 3 s after start and
# lets the watchdog tick; a datagram sent 7 s after that must be traced (monitoring is back).
if [ "$RESTARTS" -gt 0 ]; then
    echo
    echo "| Run | Longest stall, watchdog tick to 1 s after monitoring is back | Longest stall, whole run | Restart traced and a datagram after it handled |"
    echo "|---|---:|---:|---|"
fi
for run in $(seq 1 "$RESTARTS"); do
    udp=$("$LOAD" free-port)
    home=$WORK/restart-$run
    mkdir -p "$home/Quillfeed"
    config "$udp" 1 "$("$LOAD" free-port)" >"$home/Quillfeed/config.ini"
    probe=$home/stalls.txt
    env -u QT_QPA_PLATFORM XDG_CONFIG_HOME="$home" HOME="$home" QUILLFEED_STALL_PROBE="$probe" \
        QUILLFEED_STALL_PROBE_RESTART=3000 "${DROP_PRIVILEGE[@]}" "$QUILLFEED" >"$home/output.txt" 2>&1 &
    PID=$!
    sleep 10
    printf 'after-restart' >"/dev/udp/127.0.0.1/$udp"
    sleep 2
    kill -TERM "$PID"
    wait "$PID" || true
    PID=
    handled=no
    if grep -q 'Force restart monitoring' "$home/Quillfeed/Trace.txt" &&
        grep -q 'Rcvd \*after-restart\*' "$home/Quillfeed/Trace.txt"; then handled=yes; fi
    awk -v run="$run" -v handled="$handled" '
        BEGIN { n = 0 }
        $1 == "restart_ns" { restart = $2 }
        $1 == "stall" { at[n] = $2; late[n] = $3 / 1000; if (late[n] > whole) whole = late[n]; n++ }
        END {
            worst = 0
            # The pause is 5 s; a second more covers the second press and what waited for it.
            for (i = 0; i < n; i++) if (restart > 0 && at[i] >= restart && at[i] <= restart + 6e9 && late[i] > worst) worst = late[i]
            # Only ticks over 5 ms late are noted.
            show = worst > 0 ? sprintf("%.0f ms", worst) : "under 5 ms"
            printf "| %d | %s | %s | %s |\n", run, (restart > 0 ? show : "no restart"), (whole > 0 ? sprintf("%.0f ms", whole) : "under 5 ms"), handled
        }' "$probe"
done
