#!/usr/bin/env python3
"""Routes on the desktop's audio server, measured on a private, headless PipeWire (the tests'
configuration) whose graph runs at quantum 1024 (clock.force-quantum), with a player of a
440 Hz tone (application.id org.example.Bench) on Test Sink A:

- route start, request to active answer, and the graph cycles a route adds
  (build/bench/pipewire_route_bench: 20 starts to Test Sink B; clicks heard on Test Sink B
  played straight there and routed there);
- the CPU a route costs: `tonvale --route-benchmark` with 1 and with 8 routes of the player
  to Test Sink B, each run's threads and the server's (pipewire) sampled over the same
  window once the routes run (/proc/PID/task/*/schedstat), against the server's own CPU
  with the player alone.

    bench/pipewire_route_bench.py build [window-seconds]
"""
import math
import os
import struct
import subprocess
import sys
import time

from private_pipewire import PrivatePipeWire

QUANTUM = 1024


def cpu_seconds(pid):
    total = 0
    for task in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{task}/schedstat") as schedstat:
                total += int(schedstat.read().split()[0])
        except FileNotFoundError:
            continue
    return total / 1e9


def route_benchmark(server, program, routes, window):
    """Tonvale's and the server's share of one core over the window, with routes running."""
    settle = 1.0
    process = subprocess.Popen([program, "--route-benchmark", "--bundle-id", "org.example.Bench", "--device-uid",
                                "tonvale_test_sink_b", "--route-count", str(routes), "--duration",
                                str(window + 2 * settle)],
                               env=server.env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    first = process.stdout.readline()
    if not first.startswith(f"route-benchmark active routes={routes}"):
        raise SystemExit(f"the route benchmark did not start: {first!r} {process.stderr.read()!r}")
    time.sleep(settle)
    began, tonvale, daemon = time.monotonic(), cpu_seconds(process.pid), cpu_seconds(server.daemon.pid)
    time.sleep(window)
    elapsed = time.monotonic() - began
    tonvale, daemon = cpu_seconds(process.pid) - tonvale, cpu_seconds(server.daemon.pid) - daemon
    rest, errors = process.communicate()
    if "fail-open paths restored" not in rest or process.returncode != 0:
        raise SystemExit(f"the route benchmark did not pass: {rest!r} {errors!r}")
    return tonvale / elapsed * 100, daemon / elapsed * 100


def main():
    if len(sys.argv) < 2:
        raise SystemExit(__doc__)
    build = os.path.abspath(sys.argv[1])
    window = float(sys.argv[2]) if len(sys.argv) > 2 else 20.0
    program = os.path.join(build, "Tonvale.app", "Contents", "MacOS", "tonvale")
    with PrivatePipeWire(program) as server:
        subprocess.run(["pw-metadata", "-n", "settings", "0", "clock.force-quantum", str(QUANTUM)], env=server.env,
                       check=True, capture_output=True)
        tone = server.sound("tone.wav", b"".join(
            struct.pack("<hh", sample, sample)
            for sample in (int(4100 * math.sin(2 * math.pi * 440 * n / 48000)) for n in range(48000))))
        server.start(["pw-play", "-P", "{ application.id = \"org.example.Bench\" }", tone])
        time.sleep(1.0)
        subprocess.run([os.path.join(build, "bench", "pipewire_route_bench")], env=server.env, check=True)

        began, daemon = time.monotonic(), cpu_seconds(server.daemon.pid)
        time.sleep(window)
        alone = (cpu_seconds(server.daemon.pid) - daemon) / (time.monotonic() - began) * 100
        print(f"quantum {QUANTUM}, window {window:.0f} s; server with the player alone: {alone:.3f} % of one core")
        shares = {}
        for routes in (1, 8):
            shares[routes] = route_benchmark(server, program, routes, window)
            tonvale, daemon = shares[routes]
            print(f"routes={routes}: tonvale {tonvale:.3f} % ({tonvale / routes:.3f} % per route), "
                  f"server {daemon:.3f} % ({(daemon - alone) / routes:.3f} % per route above the player alone)")
        print(f"each route beyond the first: tonvale {(shares[8][0] - shares[1][0]) / 7:.3f} %, "
              f"server {(shares[8][1] - shares[1][1]) / 7:.3f} % of one core")


if __name__ == "__main__":
    main()
