#!/usr/bin/env bash
# The 8-thread row at a given commit: builds that commit's pdulog (Release, static) in a
# worktree, links bench/threads_at_commit.cpp against it and prints five runs of the floor
# and of pdulog, and the ratio of their medians. To find when the row moved:
#   for c in 41b357b 3f988ad a18cf17 HEAD; do bench/threads-at-commit.sh $c; done
set -euo pipefail
cd "$(dirname "$0")/.."
commit=${1:?a commit}
work=$(mktemp -d)
trap 'git worktree remove --force "$work/src" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
git worktree add --detach "$work/src" "$commit" >/dev/null 2>&1
cmake -S "$work/src" -B "$work/build" -DCMAKE_BUILD_TYPE=Release -DPDULOG_BUILD_TESTS=OFF \
  -DPDULOG_BUILD_BENCH=OFF -DPDULOG_BUILD_EXAMPLES=OFF -DBUILD_SHARED_LIBS=OFF >/dev/null
cmake --build "$work/build" --target pdulog -j2 >/dev/null
includes=(-I"$work/src/include/pdulog" -I"$work/src/src/External" -I"$work/src/include")
while read -r folder; do includes+=(-I"$folder"); done < <(find "$work/build" -name '*.h' -printf '%h\n' | sort -u)
g++ -std=c++17 -O2 "${includes[@]}" bench/threads_at_commit.cpp "$(find "$work/build" -name 'libpdulog*.a' | head -1)" \
  -lbenchmark -lpthread -o "$work/run"
"$work/run" --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true --benchmark_min_time=0.3 \
  --benchmark_format=json 2>/dev/null > "$work/out.json"
python3 - "$commit" "$work/out.json" <<'PY'
import json, statistics, sys
runs = {}
for b in json.load(open(sys.argv[2]))["benchmarks"]:
    if b.get("run_type") != "aggregate":
        runs.setdefault(b["run_name"].split("/")[0], []).append(b["real_time"])
floor, ours = runs["BM_Emitted8_Floor"], runs["BM_Emitted8_Pdulog"]
print(f"{sys.argv[1]}: floor {[round(t) for t in floor]} ns, pdulog {[round(t) for t in ours]} ns, "
      f"median ratio {statistics.median(ours) / statistics.median(floor):.2f}")
PY
