#!/usr/bin/env bash
# Instructions (callgrind) and system calls (strace -c) per record, for pdulog's record to
# each kind of sink and for the floors: both counts are steady on a noisy machine, where
# times are not. Each count is the difference between runs of 11,000 and 1,000 records, so
# that starting and ending the program cancel out.
#   bench/counts.sh [BUILD_DIR]     (default build-bench)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench}
program=$build/bench_record_counts
[ -x "$program" ] || { echo "build $program first (bench/run.sh builds it)"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

instructions() {  # KIND N
    rm -rf "$work/run" && mkdir "$work/run"
    APPDATA=$work/run TEMP=$work/run valgrind --tool=callgrind --callgrind-out-file=/dev/null \
        "$program" "$1" "$2" 2>&1 | sed -n 's/.*Collected : *\([0-9]*\).*/\1/p'
}
calls() {  # KIND N: "name count" per system call of the program's thread that writes
    rm -rf "$work/run" && mkdir "$work/run"
    APPDATA=$work/run TEMP=$work/run strace -c -o "$work/strace.txt" "$program" "$1" "$2" 2>/dev/null
    awk '$NF != "total" && $(NF-1) ~ /^[0-9]+$/ { print $NF, $(NF-1) }' "$work/strace.txt" | sort
}

printf '%-46s %14s   %s\n' "per record" "instructions" "system calls"
for kind in suppressed gate initlog file pipe blocked socket sizelimit fputs fprintf hand write; do
    small=$(instructions "$kind" 1000)
    large=$(instructions "$kind" 11000)
    per=$(( (large - small) / 10000 ))
    # The calls that 10,000 more records make, each divided per record.
    calls "$kind" 1000 > "$work/small"
    calls "$kind" 11000 > "$work/large"
    join -a2 -e 0 -o 0,1.2,2.2 "$work/small" "$work/large" \
        | awk '{ d = ($3 - $2) / 10000; if (d >= 0.5) { printf "%s%.0f %s", sep, d, $1; sep = ", " } }' > "$work/per"
    case $kind in
        suppressed) what="pdulog PDULOG site, suppressed" ;;
        gate)      what="floor: a hand gate (null test, load, compare)" ;;
        initlog)   what="pdulog PDULOG site, to the init log" ;;
        file)      what="pdulog, to a host's file stream (SetPipe)" ;;
        pipe)      what="pdulog, to a pipe (SetPipe)" ;;
        blocked)   what="pdulog, to a pipe, SIGPIPE blocked already" ;;
        socket)    what="pdulog, to a socket (SetPipe)" ;;
        sizelimit) what="pdulog, to the init log under a size limit" ;;
        fputs)     what="floor: fputs + fflush of the finished line" ;;
        fprintf)   what="floor: fprintf of each field + fflush" ;;
        hand)      what="floor: composed by hand, one write" ;;
        write)     what="floor: raw write of the finished bytes" ;;
    esac
    printf '%-46s %14s   %s\n' "$what" "$per" "$(cat "$work/per")"
done
