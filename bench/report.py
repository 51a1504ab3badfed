#!/usr/bin/env python3
"""Prints the benchmark table from the outputs that bench/run.sh collected."""
import json
import statistics
import sys
from pathlib import Path


def runs(path):
    """Real time in ns of each repetition of each benchmark, in the order they ran."""
    times = {}
    for b in json.loads(Path(path).read_text())["benchmarks"]:
        if b.get("run_type") == "aggregate":
            continue
        scale = {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}[b.get("time_unit", "ns")]
        times.setdefault(b["run_name"], []).append(b["real_time"] * scale)
    return times


def medians(path):
    """Median real time in ns of each benchmark, over its repetitions."""
    return {name: statistics.median(times) for name, times in runs(path).items()}


def main(folder):
    folder = Path(folder)
    rec = medians(folder / "records.json")
    util = medians(folder / "utilities.json")
    rows = []

    def row(what, ns, floor=None, target="", unit="ns"):
        ratio = f"{ns / floor:6.2f}x" if floor else ""
        floor_text = f"{floor:10.2f}" if floor else ""
        rows.append((what, f"{ns:10.2f}", floor_text, ratio, target))

    floor = rec.get("BM_Suppressed_Floor")
    ours = rec.get("BM_Suppressed_Pdulog")
    row("suppressed record: pdulog gate", ours, floor, "<= 1.10x floor")
    for name, label in (("BM_Suppressed_SpdlogDebug", "suppressed: spdlog logger->debug at warn"),
                        ("BM_Suppressed_GlogInfo", "suppressed: glog LOG(INFO), minloglevel ERROR"),
                        ("BM_Suppressed_GlogVlog", "suppressed: glog VLOG(2), v=0")):
        if name in rec:
            target = f"{rec[name] / ours:.1f}x the pdulog time" + (" (target >= 15x)" if "spdlog" in label else "")
            row(label, rec[name], floor, target)

    for build, label in (("bench", "suppressed PDULOG site, static pdulog"),
                         ("bench-shared", "suppressed PDULOG site, shared pdulog")):
        gate = medians(folder / f"gate-{build}.json")
        row(label, gate["BM_Gate_PdulogSite"], gate["BM_Gate_Floor"], "<= 1.10x floor")

    floor = rec.get("BM_Emitted_Floor")
    ours = rec.get("BM_Emitted_Pdulog")
    row("emitted record to a file, flushed: pdulog", ours, floor, "floor: fputs+fflush of the line")
    row("emitted: PDULOG site to the init log", rec.get("BM_Emitted_PdulogSite"), floor, "the counted record")
    row("emitted: fprintf of each field + fflush", rec.get("BM_Emitted_FprintfFields"), floor, "formats")
    row("emitted: raw write(2) of the finished line", rec.get("BM_Emitted_RawWrite"), floor, "below every logger")
    row("8 threads, one file stream: pdulog (SetPipe)", rec.get("BM_Emitted8_Pdulog/real_time/threads:8"),
        rec.get("BM_Emitted8_Floor/real_time/threads:8"), "floor: fprintf+fflush, shared FILE*")
    row("emitted record to a pipe, flushed: pdulog", rec.get("BM_EmittedToPipe_Pdulog"),
        rec.get("BM_EmittedToPipe_Floor"), "reader drains it")
    for name, label in (("BM_Emitted_Spdlog", "emitted: spdlog file sink, flush_on(trace)"),
                        ("BM_Emitted_Glog", "emitted: glog, logbufsecs=0")):
        if name in rec:
            row(label, rec[name], floor, "pdulog faster" if ours < rec[name] else "pdulog SLOWER")

    process = json.loads((folder / "process.json").read_text())["results"]
    times = {Path(r["command"]).name: statistics.median(r["times"]) * 1e9 for r in process}
    row("pdu-loglevel listing 19 levels, whole process", times["pdu-loglevel"], times["true"],
        "<= 1.20x /bin/true")

    latency = {}
    for line in (folder / "latency.txt").read_text().split("\n"):
        if line.strip():
            way, ns = line.split()
            latency.setdefault(way, []).append(float(ns))
    latency = {way: statistics.median(v) for way, v in latency.items()}
    row("level change seen by another process: pdulog", latency["pdulog"], latency["floor"],
        "one-way, through the gate")
    row("level change: inotify watcher re-reading the file", latency["inotify"], latency["floor"],
        "one-way")

    hex_ns = util["BM_CHex_64KiB"]
    row("CHex of 64 KiB, per row", hex_ns / 4096, None, f"{hex_ns / 1e3:.1f} us per dump")
    row("EnumToString, per call", util["BM_EnumToString"])
    row("HandleToString, per call", util["BM_HandleToString"])

    header = ("what", "ns", "floor ns", "ratio", "target / note")
    widths = [max(len(r[i]) for r in rows + [header]) for i in range(5)]
    line = "  ".join("{:<%d}" % w for w in widths)
    print(line.format(*header))
    print("  ".join("-" * w for w in widths))
    for r in rows:
        print(line.format(*r))

    # Every repetition of the figures with a target, so that a median can be checked.
    print()
    print("each run, ns (the table gives their median):")
    every = dict(runs(folder / "records.json"))
    for build in ("bench", "bench-shared"):
        for name, times in runs(folder / f"gate-{build}.json").items():
            every[f"{name} ({build})"] = times
    for name, times in every.items():
        if any(key in name for key in ("Suppressed_Floor", "Suppressed_Pdulog", "Gate_", "Emitted_Floor",
                                       "Emitted_Pdulog", "Emitted8_")):
            print(f"  {name:<48} " + " ".join(f"{t:8.1f}" for t in times))


if __name__ == "__main__":
    main(sys.argv[1])
