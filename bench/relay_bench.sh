#!/usr/bin/env bash
# Relay benchmark: the real quillfeed (offscreen, relay on, trace off and on; or trace off with four
# further targets) and socat, the plain relay as Debian ships it, take the same WSJT-X Decode
# workloads over loopback; a listener on each of the relay's target ports counts what arrives
# unchanged. Prints a markdown table. Takes about 5 minutes.
#
#   bench/relay_bench.sh            build in build-bench/ and run off, on and socat
#   RELAYS="off more" bench/relay_bench.sh    only some relays (off, on, socat, more, page)
#   RELAYS="off page" bench/relay_bench.sh    trace off, without and with a client asking for the status
#                                             page's /status.json ten times a second
#   WORKLOAD_LIST="burst 10000 0;paced 50000 20000" bench/relay_bench.sh    only some workloads
#   MORE_TARGETS=20 RELAYS=more bench/relay_bench.sh    the further targets of "more" (default 4)
#   RADIOS=2 bench/relay_bench.sh    the decodes come from two radio programs in turn (default 1)
#
# Nothing on the system is tuned: net.core.rmem_max stays as it is, socat keeps its default
# receive buffer, and quillfeed runs without CAP_NET_ADMIN (as an operator does), so it gets no
# more buffer than the system's ceiling allows.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$ROOT/build-bench}
RELAYS=${RELAYS:-"off on socat"}
# Decodes are analysed only once a Status has come and the 15 s hold after it is over.
WARM_SECONDS=${WARM_SECONDS:-16}
WORKLOADS=(
    "burst 1000 0"
    "burst 10000 0"
    "paced 50000 10000"
    "paced 50000 20000"
    "paced 50000 50000"
    "paced 50000 100000"
)
if [ -n "${WORKLOAD_LIST:-}" ]; then IFS=';' read -r -a WORKLOADS <<<"$WORKLOAD_LIST"; fi

LOCK=${BUILD_LOCK:-/tmp/qf-build.lock}
build() { flock "$LOCK" "$@"; }
build cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLFEED_BUILD_BENCH=ON >/dev/null
build cmake --build "$BUILD" --target quillfeed relay_load status_poll >/dev/null

if ! command -v socat >/dev/null; then
    if [ "$(id -u)" = 0 ]; then
        apt-get install -y -q socat >/dev/null
    else
        echo "relay_bench: socat is missing (apt-get install socat)" >&2
        exit 1
    fi
fi

LOAD=$BUILD/bench/relay_load
POLL=$BUILD/bench/status_poll
POLL_PID=
QUILLFEED=$BUILD/quillfeed
DROP_PRIVILEGE=()
if [ "$(id -u)" = 0 ]; then
    # Root could force any receive buffer; an operator cannot.
    DROP_PRIVILEGE=(setpriv --bounding-set=-net_admin)
fi
WORK=$(mktemp -d /tmp/relay-bench-XXXXXX)
RELAY_PID=
cleanup() {
    if [ -n "$RELAY_PID" ]; then kill "$RELAY_PID" 2>/dev/null || true; fi
    if [ -n "$SPOT_PID" ]; then kill "$SPOT_PID" 2>/dev/null || true; fi
    if [ -n "$POLL_PID" ]; then kill "$POLL_PID" 2>/dev/null || true; fi
    rm -rf "$WORK"
}
trap cleanup EXIT
# The records quillfeed sends meanwhile go to a stand-in for the spot service, as they would to the
# real one: with nothing there, each would come back refused (ICMP) and cost more than it does.
SPOT_PID=
if ! ss -uln 'sport = :7350' | grep -q 7350; then
    socat -u UDP-RECV:7350,bind=127.0.0.1,rcvbuf=8000000 /dev/null &
    SPOT_PID=$!
fi

# The further targets of the "more" relay.
MORE_TARGETS=${MORE_TARGETS:-4}

start_relay() { # kind udp-port listener-port [further-listener-port ...]
    local kind=$1 udp=$2 listen=$3 more="" port
    shift 3
    for port in "$@"; do more="$more 127.0.0.1:$port"; done
    case $kind in
    off | on | more | page)
        local home=$WORK/$kind-$udp trace=0 page=0
        [ "$kind" = on ] && trace=1
        # The status page only where it is measured, and never on its default port.
        [ "$kind" = page ] && page=$("$POLL" free-port)
        mkdir -p "$home/Quillfeed"
        printf '[OPTIONS]\r\nUdpPort=%s\r\nMonitorOnStarup=1\r\nTrace=%s\r\nMyStationId=Q9ZZZ\r\nMyLocator=FN42HN\r\nMulticastGroup=\r\nServIP=127.0.0.1\r\nServPort=%s\r\nTop=0\r\nLeft=0\r\nLogUpload=0\r\nOnlyCQ=0\r\nMoreRelays=%s\r\nStatusPort=%s\r\n' \
            "$udp" "$trace" "$listen" "$more" "$page" >"$home/Quillfeed/config.ini"
        XDG_CONFIG_HOME=$home HOME=$home QT_QPA_PLATFORM=offscreen "${DROP_PRIVILEGE[@]}" "$QUILLFEED" \
            >"$home/output.txt" 2>&1 &
        if [ "$kind" = page ]; then
            RELAY_PID=$!
            "$POLL" "$page" 10 >"$WORK/poll.json" &
            POLL_PID=$!
            return
        fi
        ;;
    socat)
        socat -u "UDP-RECV:$udp" "UDP-SENDTO:127.0.0.1:$listen" &
        ;;
    esac
    RELAY_PID=$!
}

stop_relay() {
    if [ -n "$POLL_PID" ]; then
        kill -TERM "$POLL_PID" 2>/dev/null || true
        wait "$POLL_PID" 2>/dev/null || true
        POLL_PID=
        echo "status page client: $(cat "$WORK/poll.json")" >&2
        POLLED=$(cat "$WORK/poll.json")
    fi
    kill -TERM "$RELAY_PID" 2>/dev/null || true
    for _ in $(seq 50); do
        kill -0 "$RELAY_PID" 2>/dev/null || break
        sleep 0.1
    done
    kill -KILL "$RELAY_PID" 2>/dev/null || true
    wait "$RELAY_PID" 2>/dev/null || true
    RELAY_PID=
    rm -rf "${WORK:?}"/*
}

field() { # name json
    sed -n "s/.*\"$1\":\([^,}]*\).*/\1/p" <<<"$2"
}

receive_buffer() { # udp-port
    ss -uamn "sport = :$1" 2>/dev/null | sed -n 's/.*rb\([0-9]*\).*/\1/p' | head -n1
}

declare -A RESULT BUFFER POLLS
# The relays take turns at each workload, so a busy moment on the machine does not fall on one alone.
for w in "${WORKLOADS[@]}"; do
    read -r shape count rate <<<"$w"
    for kind in $RELAYS; do
        udp=$("$LOAD" free-port)
        listen=$("$LOAD" free-port)
        further=()
        if [ "$kind" = more ]; then
            for _ in $(seq "$MORE_TARGETS"); do further+=("$("$LOAD" free-port)"); done
        fi
        start_relay "$kind" "$udp" "$listen" "${further[@]}"
        listen_args=(--listen "$listen")
        for port in "${further[@]}"; do listen_args+=(--listen "$port"); done
        warm=0
        [ "$kind" != socat ] && warm=$WARM_SECONDS
        json=$("$LOAD" --to "$udp" "${listen_args[@]}" --count "$count" --rate "$rate" --warm-seconds "$warm" \
            --radios "${RADIOS:-1}" --relay-pid "$RELAY_PID" --json) ||
            json='{"failed":true}'
        BUFFER[$kind]=${BUFFER[$kind]:-$(receive_buffer "$udp")}
        stop_relay
        RESULT[$kind,$w]=$json
        [ "$kind" = page ] && POLLS[$w]=$POLLED
        echo "$kind $shape $count @ $rate: $json" >&2
    done
done

name() {
    case $1 in
    off) echo "quillfeed, trace off" ;;
    on) echo "quillfeed, trace on" ;;
    more) echo "quillfeed, trace off, 1 + $MORE_TARGETS targets" ;;
    page) echo "quillfeed, trace off, /status.json asked 10 times a second" ;;
    socat) echo "socat" ;;
    esac
}

workload_text() { # shape count rate
    if [ "$1" = burst ]; then echo "burst of $2, back-to-back"; else echo "$2 paced at $3/s"; fi
}

echo
echo "| Workload | Relay | Sent | Received | Relayed unchanged | Lost | Other* | Send rate | Relay CPU per datagram |"
echo "|---|---|---:|---:|---:|---:|---:|---:|---:|"
for w in "${WORKLOADS[@]}"; do
    read -r shape count rate <<<"$w"
    for kind in $RELAYS; do
        j=${RESULT[$kind,$w]}
        if [ -n "$(field failed "$j")" ]; then
            echo "| $(workload_text "$shape" "$count" "$rate") | $(name "$kind") | $count | - | - | - | no relay | - | - |"
            continue
        fi
        sent=$(field sent "$j")
        drops=$(field relay_queue_drops "$j")
        received=$((sent - drops))
        other=$(($(field corrupted "$j") + $(field duplicates "$j") + $(field reordered "$j")))
        cpu=$(field relay_cpu_ns_per_datagram "$j")
        cpu=$([ "${cpu:--1}" -ge 0 ] && awk -v ns="$cpu" 'BEGIN { printf "%.1f us", ns / 1000 }' || echo "?")
        echo "| $(workload_text "$shape" "$count" "$rate") | $(name "$kind") | $sent | $received |" \
            "$(field relayed "$j") | $(field lost "$j") | $other | $(field achieved_rate "$j")/s | $cpu |"
    done
done
echo
echo "\*Other: changed, duplicated or reordered datagrams. Received: sent less what the kernel dropped"
echo "at the relay's full receive queue. Relay CPU: what the relay's main thread ran, per datagram received."
echo "With several targets, Relayed unchanged and Lost are those of the target that got the fewest."
for w in "${WORKLOADS[@]}"; do
    [ -n "${POLLS[$w]:-}" ] || continue
    read -r shape count rate <<<"$w"
    echo "Status page client during the $(workload_text "$shape" "$count" "$rate"): $(field answered "${POLLS[$w]}")" \
        "answers (200), $(field failed "${POLLS[$w]}") requests not answered."
done
echo
echo "| Relay | Receive buffer (ss rb) | Highest paced rate with nothing lost |"
echo "|---|---:|---:|"
for kind in $RELAYS; do
    best="none"
    for w in "${WORKLOADS[@]}"; do
        read -r shape count rate <<<"$w"
        [ "$shape" = paced ] || continue
        lost=$(field lost "${RESULT[$kind,$w]}")
        if [ "$lost" = 0 ]; then
            best="$rate/s"
        else
            break
        fi
    done
    echo "| $(name "$kind") | ${BUFFER[$kind]:-?} bytes | $best |"
done
