#!/usr/bin/env bash
# Builds the fuzz targets with clang into build-fuzz/ (or $QUILLFEED_FUZZ_BUILD_DIR), writes the seed
# corpus and runs each target for $QUILLFEED_FUZZ_SECONDS seconds (default 60), starting from the
# committed corpus in fuzz/corpus/. Fails on a crash, leaving the input that caused it in
# build-fuzz/crashes/.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${QUILLFEED_FUZZ_BUILD_DIR:-$root/build-fuzz}"
seconds="${QUILLFEED_FUZZ_SECONDS:-60}"
"$root/scripts/setup.sh"
cmake -S "$root/fuzz" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j "$(nproc)"

rm -rf "$build/seeds"
"$build/make_corpus" "$build/seeds"

failed=0
for target in arrivals startup text; do
  corpus="$build/corpus/$target"
  crashes="$build/crashes/$target"
  log="$build/fuzz_$target.log"
  mkdir -p "$corpus" "$crashes"
  echo "fuzz: fuzz_$target for ${seconds} s"
  # The build's corpus folder comes first: what the run finds is kept there for the next run. The
  # committed corpus (what earlier long runs learned, see fuzz/README.md) and the seeds are only read.
  if "$build/fuzz_$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
      -dict="$root/fuzz/$target.dict" -artifact_prefix="$crashes/" "$corpus" "$root/fuzz/corpus/$target" \
      "$build/seeds/$target" >"$log" 2>&1; then
    grep -E '^(Done|stat::(number_of_executed_units|new_units_added|peak_rss_mb))' "$log" | sed 's/^/  /'
  else
    failed=1
    tail -n 80 "$log"
    echo "fuzz: fuzz_$target failed; the input is in $crashes (replay: $build/fuzz_$target <file>)"
  fi
done
exit "$failed"
