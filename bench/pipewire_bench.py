#!/usr/bin/env python3
"""The desktop's audio server, measured: a private, headless PipeWire (the tests'
configuration, tests/desktop/daemon) with 10 devices (the two test sinks and the test
source, plus 7 sinks made with pw-cli) and 50 streams playing (pw-play, each its own
application), then:

- the monitors' snapshot through the audio layer (build/bench/pipewire_snapshot_bench);
- `tonvale --diagnostics-once` as a whole process (connection, first view, snapshot, print);
- the idle cost of the whole tray application on it with nothing changing
  (bench/idle_benchmark.py with TONVALE_AUDIO=pipewire), per thread.

    bench/pipewire_bench.py build [idle-seconds]
"""
import os
import subprocess
import sys
import time

from private_pipewire import PrivatePipeWire, wait_until

HERE = os.path.dirname(os.path.abspath(__file__))
STREAMS = 50
EXTRA_SINKS = 7


def main():
    if len(sys.argv) < 2:
        raise SystemExit(__doc__)
    build = os.path.abspath(sys.argv[1])
    idle_seconds = sys.argv[2] if len(sys.argv) > 2 else "30"
    program = os.path.join(build, "Tonvale.app", "Contents", "MacOS", "tonvale")
    with PrivatePipeWire(program) as server:
        silence = server.sound("silence.wav", bytes(48000 * 4))
        for index in range(EXTRA_SINKS):
            cli = server.start(["pw-cli"], stdin=subprocess.PIPE)
            cli.stdin.write(f"create-node adapter {{ factory.name=support.null-audio-sink node.name=bench_sink_{index} "
                            f"media.class=Audio/Sink audio.position=[FL FR] }}\n".encode())
            cli.stdin.flush()
        for index in range(STREAMS):
            server.start(["pw-play", "-P", f"{{ application.id = \"org.example.Bench{index}\" }}", silence])
        wait_until(lambda: server.diagnostics().count("runningOutput=true") == STREAMS and
                   server.diagnostics().count("\ndevice ") == 3 + EXTRA_SINKS, 60, "50 streams playing on 10 devices")
        subprocess.run([os.path.join(build, "bench", "pipewire_snapshot_bench"), "--benchmark_repetitions=5",
                        "--benchmark_report_aggregates_only=true"], env=server.env, check=True)
        walls = []
        for _ in range(10):
            began = time.perf_counter()
            server.diagnostics()
            walls.append((time.perf_counter() - began) * 1000)
        walls.sort()
        print(f"tonvale --diagnostics-once: median {walls[5]:.1f} ms, min {walls[0]:.1f} ms, max {walls[-1]:.1f} ms")
        subprocess.run([sys.executable, os.path.join(HERE, "idle_benchmark.py"), program, idle_seconds, "5"],
                       env=server.env, check=True)


if __name__ == "__main__":
    main()
