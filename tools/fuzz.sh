#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer + UndefinedBehaviorSanitizer) and
# runs each for a bounded time, starting from the seed corpus in tests/fuzz/corpus.
# A crash, a leak or a sanitizer report fails the run.
#   tools/fuzz.sh [SECONDS_PER_TARGET]   (default 30)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
summary=""
for target in fuzz_names fuzz_command fuzz_store fuzz_utilities; do
  mkdir -p "$work/$target"
  echo "== $target, ${seconds}s"
  # New inputs go to the scratch folder; the committed seeds are only read.
  if ! build-fuzz/$target -max_total_time="$seconds" -print_final_stats=1 -timeout=10 \
      -rss_limit_mb=2048 -artifact_prefix="$work/" \
      "$work/$target" "tests/fuzz/corpus/$target" >"$work/$target.log" 2>&1; then
    tail -n 60 "$work/$target.log"
    for artifact in "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-*; do
      [ -e "$artifact" ] && { echo "input: $artifact"; od -c "$artifact" | head -20; }
    done
    echo "$target FAILED"
    exit 1
  fi
  runs=$(grep -m1 'stat::number_of_executed_units' "$work/$target.log" | awk '{print $2}')
  summary+=$(printf '%-16s %12s runs in %ss, no crash, leak or sanitizer report' "$target" "$runs" "$seconds")$'\n'
done
echo "== fuzzing summary"
printf '%s' "$summary"
