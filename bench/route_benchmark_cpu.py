#!/usr/bin/env python3
"""CPU used by `tonvale --route-benchmark`, per route, on the embedded default scenario.

Runs the program with one route and with eight routes of the music player to the USB
headset for the same duration, several times each, and prints the median CPU time (user
plus system) of each run, the share of one core per route over the whole run, and the
extra CPU each route beyond the first adds. The simulated server's own work (the tap
mixdown and the aggregate's IO cycle of every route) is part of the figure.

    bench/route_benchmark_cpu.py build/Tonvale.app/Contents/MacOS/tonvale [duration] [runs]
"""
import os
import statistics
import subprocess
import sys


def cpu_seconds(program, routes, duration):
    arguments = [program, "--route-benchmark", "--bundle-id", "com.example.music", "--device-uid",
                 "usb-headset", "--route-count", str(routes), "--duration", str(duration)]
    process = subprocess.Popen(arguments, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               env={**os.environ, "TONVALE_AUDIO": "sim"})
    _, _, usage = os.wait4(process.pid, 0)
    output = process.stdout.read().decode()
    if "stopped; fail-open paths restored" not in output:
        raise SystemExit(f"the benchmark did not pass: {output!r}")
    return usage.ru_utime + usage.ru_stime


def main():
    if len(sys.argv) < 2:
        raise SystemExit(__doc__)
    program = sys.argv[1]
    duration = float(sys.argv[2]) if len(sys.argv) > 2 else 10.0
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 3
    medians = {}
    for routes in (1, 8):
        medians[routes] = statistics.median(cpu_seconds(program, routes, duration) for _ in range(runs))
        share = medians[routes] / duration / routes * 100
        print(f"routes={routes} cpu={medians[routes] * 1000:.1f} ms over {duration:.1f} s "
              f"-> {share:.3f} % of one core per route")
    extra = (medians[8] - medians[1]) / 7 / duration * 100
    print(f"each route beyond the first adds {extra:.3f} % of one core")


if __name__ == "__main__":
    main()
