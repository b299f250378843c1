#!/usr/bin/env python3
"""Whole-process cost of `tonvale --diagnostics-once` on a large desk.

Writes a scenario with 64 devices and 500 audio processes (350 of them running
applications with real .app folders, helpers nested inside their apps, 56 playing), runs
the program on it and on a one-device scenario as the start-up baseline, and prints the
median wall time and the peak resident memory of each. Given the diagnostics_bench
executable as well, it also measures the mode's own work in process on the large world
(the simulated world, with its 350 bundle folders, is built outside that measurement).

    bench/diagnostics_once_bench.py build/Tonvale.app/Contents/MacOS/tonvale [build/bench/diagnostics_bench]
"""
import json
import os
import resource
import statistics
import subprocess
import sys
import tempfile
import time

TRANSPORTS = ["bltn", "usb ", "blue", "hdmi", "dprt", "airp", "thun", "virt"]


def large_desk():
    devices = []
    for index in range(64):
        devices.append({
            "uid": f"device-{index:02d}",
            "name": f"Device {63 - index:02d} Ünit",
            "transport": TRANSPORTS[index % len(TRANSPORTS)],
            "outputChannels": 0 if index % 4 == 3 else 2,
            "inputChannels": 1 if index % 2 else 0,
            "sampleRate": 44100 if index % 3 else 48000,
        })
    processes = []
    for index in range(500):
        pid = 10000 + index
        app = index // 5
        process = {"pid": pid, "playing": index % 9 == 0}
        if index < 350:
            bundle_id = f"com.example.app{app:03d}"
            if index % 5 == 0:
                process["bundleID"] = bundle_id
                process["app"] = {"bundleID": bundle_id, "name": f"App {app:03d}", "bundle": f"App{app:03d}.app"}
            else:
                helper = f"{bundle_id}.helper{index % 5}"
                process["bundleID"] = helper
                process["app"] = {"bundleID": helper, "name": f"App {app:03d} Helper {index % 5}",
                                  "bundle": f"App{app:03d}.app/Contents/Frameworks/Helper{index % 5}.app"}
        elif index % 2 == 0:
            process["bundleID"] = f"org.example.daemon{index}"
        processes.append(process)
    return {"devices": devices, "defaultOutput": "device-00", "defaultInput": "device-01",
            "processes": processes, "timeline": []}


def small_desk():
    return {"devices": [{"uid": "speakers", "name": "Speakers", "transport": "bltn"}], "processes": []}


def measure(executable, scenario_path, runs):
    walls = []
    peaks = []
    for _ in range(runs):
        start = time.perf_counter()
        # A fresh child per run; ru_maxrss of RUSAGE_CHILDREN is the largest child so far,
        # so runs of the same scenario give its peak.
        completed = subprocess.run([executable, "--diagnostics-once"], env={**os.environ, "TONVALE_AUDIO": "sim",
                                   "TONVALE_SCENARIO": scenario_path}, capture_output=True, check=False)
        walls.append(time.perf_counter() - start)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        peaks.append(after.ru_maxrss)
        if completed.returncode != 0:
            sys.exit(f"diagnostics failed: {completed.stderr.decode(errors='replace')}")
    return statistics.median(walls), max(peaks), completed.stdout.count(b"\n")


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    executable = sys.argv[1]
    in_process = sys.argv[2] if len(sys.argv) > 2 else None
    runs = 15
    with tempfile.TemporaryDirectory() as folder:
        paths = {}
        for name, scenario in (("baseline", small_desk()), ("large", large_desk())):
            paths[name] = os.path.join(folder, f"{name}.json")
            with open(paths[name], "w", encoding="utf-8") as file:
                json.dump(scenario, file)
        # The baseline runs first: the children's peak only ever grows.
        for name in ("baseline", "large"):
            wall, peak, lines = measure(executable, paths[name], runs)
            print(f"{name}: median wall {wall * 1000:.1f} ms, peak RSS {peak / 1024:.1f} MiB, {lines} lines")
        if in_process:
            subprocess.run([in_process, "--benchmark_repetitions=5", "--benchmark_report_aggregates_only=true"],
                           env={**os.environ, "TONVALE_SCENARIO": paths["large"]}, check=True)


if __name__ == "__main__":
    main()
