#!/usr/bin/env python3
"""Idle cost of the whole application: `tonvale --idle-benchmark` on the embedded default scenario
(or on the desktop's PipeWire server with TONVALE_AUDIO=pipewire).

Starts the program (on the offscreen platform where there is no display), waits for its
"idle-benchmark active" line and a settling time for start-up (the first snapshots, the tray
icon), then samples every thread's CPU time (/proc/PID/task/*/schedstat, in nanoseconds)
and context switches (voluntary and involuntary, /proc/PID/task/*/status) at the start and
the end of a measuring window, and prints the share of one core and the wake-ups a second
over the window, in all and per thread, so that anything that wakes periodically shows by
name; and the CPU of the whole run, start-up included (user plus system, from wait4). The popover stays closed and no route runs (the benchmark's state has no
profiles).

    bench/idle_benchmark.py build/Tonvale.app/Contents/MacOS/tonvale [duration] [settle]
"""
import os
import subprocess
import sys
import time


def threads(pid):
    """Every thread's name, CPU nanoseconds and context switches."""
    found = {}
    for tid in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{tid}/status") as status:
                lines = dict(line.split(":", 1) for line in status if ":" in line)
            with open(f"/proc/{pid}/task/{tid}/schedstat") as schedstat:
                nanoseconds = int(schedstat.read().split()[0])
        except FileNotFoundError:
            continue
        count = int(lines["voluntary_ctxt_switches"]) + int(lines["nonvoluntary_ctxt_switches"])
        found[tid] = (lines["Name"].strip(), nanoseconds, count)
    return found


def main():
    if len(sys.argv) < 2:
        raise SystemExit(__doc__)
    program = sys.argv[1]
    duration = float(sys.argv[2]) if len(sys.argv) > 2 else 60.0
    settle = float(sys.argv[3]) if len(sys.argv) > 3 else 5.0
    launched = time.monotonic()
    process = subprocess.Popen([program, "--idle-benchmark", "--duration", str(duration)],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
                               env={"TONVALE_AUDIO": "sim", **os.environ})
    first = process.stdout.readline()
    if not first.startswith("idle-benchmark active"):
        raise SystemExit(f"unexpected first line: {first!r}")
    active = time.monotonic()
    time.sleep(settle)
    start, before = time.monotonic(), threads(process.pid)
    time.sleep(max(duration - settle - (active - launched) - 1.0, 1.0))
    end, after = time.monotonic(), threads(process.pid)
    _, status, usage = os.wait4(process.pid, 0)
    rest = process.stdout.read()
    if "idle-benchmark stopped" not in rest or status != 0:
        raise SystemExit(f"the benchmark did not stop cleanly: {rest!r} status {status}")
    window = end - start
    spent = {tid: (name, nanoseconds - before[tid][1], count - before[tid][2])
             for tid, (name, nanoseconds, count) in after.items() if tid in before}
    cpu = sum(nanoseconds for _, nanoseconds, _ in spent.values()) / 1e9
    woken = sum(count for _, _, count in spent.values())
    print(f"start-up to the active line {(active - launched) * 1000:.0f} ms; "
          f"whole run {(usage.ru_utime + usage.ru_stime) * 1000:.0f} ms of CPU")
    print(f"window {window:.1f} s: cpu {cpu * 1000:.3f} ms -> {cpu / window * 100:.5f} % of one core; "
          f"{woken} wake-ups -> {woken / window:.3f} per second")
    for tid, (name, nanoseconds, count) in sorted(spent.items(), key=lambda item: -item[1][2]):
        print(f"  thread {tid} {name}: {count} wake-ups, {nanoseconds / 1e6:.3f} ms")


if __name__ == "__main__":
    main()
