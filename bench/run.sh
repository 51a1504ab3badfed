#!/usr/bin/env bash
# Installs the peers, builds in Release, runs every benchmark and prints one table: each
# figure beside the floor measured in the same run, and its ratio to it.
#   bench/run.sh
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh libspdlog-dev libgoogle-glog-dev hyperfine python3
for preset in bench bench-shared; do
  cmake --preset $preset >/dev/null
  cmake --build --preset $preset >/dev/null
done

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

echo "running the record benchmarks (floor and peers interleaved)..." >&2
build-bench/bench_records --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true \
  --benchmark_min_time=0.3 --benchmark_format=json --benchmark_out="$out/records.json" >/dev/null
echo "running the gate benchmark against a static and a shared pdulog..." >&2
for build in bench bench-shared; do
  build-$build/bench_gate --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true \
    --benchmark_min_time=0.3 --benchmark_format=json --benchmark_out="$out/gate-$build.json" >/dev/null
done
echo "running the utility benchmarks..." >&2
build-bench/bench_utilities --benchmark_repetitions=3 --benchmark_min_time=0.3 \
  --benchmark_format=json --benchmark_out="$out/utilities.json" >/dev/null
echo "measuring level-change latency between processes..." >&2
for i in 1 2 3; do build-bench/bench_change_latency 50000; done >"$out/latency.txt"
echo "timing whole pdu-loglevel runs against /bin/true..." >&2
mkdir -p "$out/appdata"
APPDATA="$out/appdata" build-bench/pdu-loglevel 2>/dev/null  # the store exists before timing
APPDATA="$out/appdata" hyperfine -N --warmup 50 --runs 500 --export-json "$out/process.json" \
  /bin/true build-bench/pdu-loglevel >/dev/null 2>&1

python3 bench/report.py "$out"
