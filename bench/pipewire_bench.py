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
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import wave

HERE = os.path.dirname(os.path.abspath(__file__))
CONFIG = os.path.join(HERE, "..", "tests", "desktop", "daemon")
STREAMS = 50
EXTRA_SINKS = 7


def wait_until(condition, seconds, what):
    deadline = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > deadline:
            raise SystemExit(f"pipewire_bench: {what} did not happen in {seconds} s")
        time.sleep(0.05)


def main():
    if len(sys.argv) < 2:
        raise SystemExit(__doc__)
    build = os.path.abspath(sys.argv[1])
    idle_seconds = sys.argv[2] if len(sys.argv) > 2 else "30"
    program = os.path.join(build, "Tonvale.app", "Contents", "MacOS", "tonvale")
    folder = tempfile.mkdtemp(prefix="tonvale-pipewire-bench-")
    os.makedirs(os.path.join(folder, "state"))
    env = {**os.environ, "XDG_RUNTIME_DIR": folder, "PIPEWIRE_RUNTIME_DIR": folder,
           "XDG_STATE_HOME": os.path.join(folder, "state"), "XDG_CONFIG_HOME": CONFIG,
           "TONVALE_AUDIO": "pipewire", "QT_QPA_PLATFORM": "offscreen"}
    env.pop("DBUS_SESSION_BUS_ADDRESS", None)
    silence = os.path.join(folder, "silence.wav")
    with wave.open(silence, "wb") as tone:
        tone.setnchannels(2)
        tone.setsampwidth(2)
        tone.setframerate(48000)
        tone.writeframes(bytes(48000 * 4 * 120))
    children = []

    def start(arguments, **options):
        child = subprocess.Popen(arguments, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                 start_new_session=True, **options)
        children.append(child)
        return child

    try:
        start(["pipewire", "-c", os.path.join(CONFIG, "pipewire.conf")])
        wait_until(lambda: os.path.exists(os.path.join(folder, "pipewire-0")), 10, "the server's socket")
        start(["wireplumber"])

        def diagnostics():
            return subprocess.run([program, "--diagnostics-once"], env=env, capture_output=True, text=True).stdout

        # Streams that come before the session manager is ready are never linked.
        wait_until(lambda: "defaultOutputID=0" not in diagnostics() and "defaultOutputID" in diagnostics(), 10,
                   "the session manager choosing a default output")
        for index in range(EXTRA_SINKS):
            cli = start(["pw-cli"], stdin=subprocess.PIPE)
            cli.stdin.write(f"create-node adapter {{ factory.name=support.null-audio-sink node.name=bench_sink_{index} "
                            f"media.class=Audio/Sink audio.position=[FL FR] }}\n".encode())
            cli.stdin.flush()
        for index in range(STREAMS):
            start(["pw-play", "-P", f"{{ application.id = \"org.example.Bench{index}\" }}", silence])
        wait_until(lambda: diagnostics().count("runningOutput=true") == STREAMS and
                   diagnostics().count("\ndevice ") == 3 + EXTRA_SINKS, 60, "50 streams playing on 10 devices")
        subprocess.run([os.path.join(build, "bench", "pipewire_snapshot_bench"), "--benchmark_repetitions=5",
                        "--benchmark_report_aggregates_only=true"], env=env, check=True)
        walls = []
        for _ in range(10):
            began = time.perf_counter()
            diagnostics()
            walls.append((time.perf_counter() - began) * 1000)
        walls.sort()
        print(f"tonvale --diagnostics-once: median {walls[5]:.1f} ms, min {walls[0]:.1f} ms, max {walls[-1]:.1f} ms")
        subprocess.run([sys.executable, os.path.join(HERE, "idle_benchmark.py"), program, idle_seconds, "5"],
                       env=env, check=True)
    finally:
        for child in reversed(children):
            os.killpg(child.pid, signal.SIGTERM)
            child.wait()
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
