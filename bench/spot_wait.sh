#!/usr/bin/env bash
# Spot wait benchmark: the real quillfeed (Release, offscreen, trace off) hears new stations at a
# steady rate (quillfeed-send burst) while spot_listen stands in for the spot service on
# 127.0.0.1:7350, the built-in service of a default build. It reports how long the longest-waiting
# spot record took from its decode to the service, and the program's resident memory.
# Runs in a network namespace of its own (unshare -n, loopback only), so port 7350 clashes with
# nothing. Needs root for that. Prints a markdown table.
#
#   bench/spot_wait.sh                      this tree, built in build-bench/
#   BEFORE=main bench/spot_wait.sh          also a git revision, built from `git archive` in /tmp
#   RATE=50 SECONDS_OF_TRAFFIC=120 QUIET_SECONDS=60 bench/spot_wait.sh    the defaults
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$ROOT/build-bench}
RATE=${RATE:-50}
SECONDS_OF_TRAFFIC=${SECONDS_OF_TRAFFIC:-120}
QUIET_SECONDS=${QUIET_SECONDS:-60}
BEFORE=${BEFORE:-}
WORK=${SPOT_WAIT_WORK:-}

if [ -z "${SPOT_WAIT_IN_NETNS:-}" ]; then
    LOCK=${BUILD_LOCK:-/tmp/qf-build.lock}
    WORK=$(mktemp -d /tmp/spot-wait-XXXXXX)
    trap 'rm -rf "$WORK"' EXIT
    flock "$LOCK" cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLFEED_BUILD_BENCH=ON >/dev/null
    flock "$LOCK" cmake --build "$BUILD" --target quillfeed quillfeed-send spot_listen >/dev/null
    if [ -n "$BEFORE" ]; then
        mkdir -p "$WORK/before-src"
        git -C "$ROOT" archive "$BEFORE" | tar -x -C "$WORK/before-src"
        flock "$LOCK" cmake -S "$WORK/before-src" -B "$WORK/before-build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
        flock "$LOCK" cmake --build "$WORK/before-build" --target quillfeed >/dev/null
    fi
    SPOT_WAIT_IN_NETNS=1 SPOT_WAIT_WORK=$WORK unshare -n "$0" "$@"
    exit
fi

ip link set lo up
SEND=$BUILD/quillfeed-send
LISTEN=$BUILD/bench/spot_listen
UDP=2237
COUNT=$((RATE * SECONDS_OF_TRAFFIC))
PROGRAM_PID=

stop_program() {
    [ -n "$PROGRAM_PID" ] || return 0
    kill -TERM "$PROGRAM_PID" 2>/dev/null || true
    for _ in $(seq 50); do
        kill -0 "$PROGRAM_PID" 2>/dev/null || break
        sleep 0.1
    done
    kill -KILL "$PROGRAM_PID" 2>/dev/null || true
    wait "$PROGRAM_PID" 2>/dev/null || true
    PROGRAM_PID=
}
trap stop_program EXIT

run() { # label binary
    local home=$WORK/home-$1
    mkdir -p "$home/Quillfeed"
    printf '[OPTIONS]\r\nUdpPort=%s\r\nMonitorOnStarup=1\r\nTrace=0\r\nMyStationId=Q9ZZZ\r\nMyLocator=FN42HN\r\nMulticastGroup=\r\nServIP=127.0.0.1\r\nServPort=52237\r\nTop=0\r\nLeft=0\r\nLogUpload=0\r\nOnlyCQ=0\r\n' \
        "$UDP" >"$home/Quillfeed/config.ini"
    XDG_CONFIG_HOME=$home HOME=$home QT_QPA_PLATFORM=offscreen "$2" >"$home/output.txt" 2>&1 &
    PROGRAM_PID=$!
    for _ in $(seq 100); do
        ss -uln "sport = :$UDP" | grep -q ":$UDP" && break
        sleep 0.1
    done
    # Decodes are analysed only once a Status has come and the 15 s hold after it is over.
    # one source port for the whole run, as WSJT-X: a second port does not take over the Id
    "$SEND" --port "$UDP" --from-port 40001 status >/dev/null
    sleep 16
    if ! kill -0 "$PROGRAM_PID" 2>/dev/null; then
        echo "spot_wait: $2 did not keep running:" >&2
        cat "$home/output.txt" >&2
    fi
    "$LISTEN" --pid "$PROGRAM_PID" --rate "$RATE" --count "$COUNT" --quiet-s "$QUIET_SECONDS" -- \
        "$SEND" --port "$UDP" --from-port 40001 burst --count "$COUNT" --rate "$RATE" >"$WORK/$1.json" 2>"$WORK/$1.err" ||
        echo '{"failed":true}' >"$WORK/$1.json"
    stop_program
    echo "$1: $(cat "$WORK/$1.json")" >&2
}

field() { # name json
    sed -n "s/.*\"$1\":\([^,}]*\).*/\1/p" <<<"$2"
}

LABELS=()
if [ -n "$BEFORE" ]; then
    run before "$WORK/before-build/quillfeed"
    LABELS+=(before)
fi
run after "$BUILD/quillfeed"
LABELS+=(after)

echo
echo "$COUNT decodes of new stations at $RATE/s ($SECONDS_OF_TRAFFIC s), then $QUIET_SECONDS s quiet."
echo
echo "| Code | Spot records received | Of them during the traffic | Batches | Longest wait | Mean wait | Memory before | Peak memory | Memory after |"
echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|"
for label in "${LABELS[@]}"; do
    j=$(cat "$WORK/$label.json")
    name=$label
    [ "$label" = before ] && name="before ($BEFORE)"
    [ "$label" = after ] && name="after (this tree)"
    mb() { awk -v kb="$1" 'BEGIN { printf "%.1f MB", kb / 1024 }'; }
    s() { awk -v ms="$1" 'BEGIN { printf "%.1f s", ms / 1000 }'; }
    echo "| $name | $(field records "$j") | $(field received_during_traffic "$j") | $(field batches "$j") |" \
        "$(s "$(field longest_wait_ms "$j")") | $(s "$(field mean_wait_ms "$j")") | $(mb "$(field rss_before_kb "$j")") |" \
        "$(mb "$(field rss_peak_kb "$j")") | $(mb "$(field rss_after_kb "$j")") |"
done
