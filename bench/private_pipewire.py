"""A private, headless PipeWire server and session manager for the benchmarks, on the tests'
configuration (tests/desktop/daemon: Test Sink A, the default, Test Sink B and a source), in
a folder of its own; everything started through it ends with it.

    with PrivatePipeWire(program) as server:
        server.start(["pw-play", ...])
        subprocess.run([...], env=server.env)
"""
import os
import shutil
import signal
import subprocess
import tempfile
import time
import wave

CONFIG = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "desktop", "daemon")


def wait_until(condition, seconds, what):
    deadline = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > deadline:
            raise SystemExit(f"benchmark: {what} did not happen in {seconds} s")
        time.sleep(0.05)


class PrivatePipeWire:
    def __init__(self, program):
        self.program = program
        self.folder = tempfile.mkdtemp(prefix="tonvale-pipewire-bench-")
        os.makedirs(os.path.join(self.folder, "state"))
        self.env = {**os.environ, "XDG_RUNTIME_DIR": self.folder, "PIPEWIRE_RUNTIME_DIR": self.folder,
                    "XDG_STATE_HOME": os.path.join(self.folder, "state"), "XDG_CONFIG_HOME": CONFIG,
                    "TONVALE_AUDIO": "pipewire", "QT_QPA_PLATFORM": "offscreen"}
        self.env.pop("DBUS_SESSION_BUS_ADDRESS", None)
        self.children = []

    def __enter__(self):
        self.daemon = self.start(["pipewire", "-c", os.path.join(CONFIG, "pipewire.conf")])
        wait_until(lambda: os.path.exists(os.path.join(self.folder, "pipewire-0")), 10, "the server's socket")
        self.start(["wireplumber"])
        # Streams that come before the session manager is ready are never linked.
        wait_until(lambda: "defaultOutputID=0" not in self.diagnostics() and "defaultOutputID" in self.diagnostics(),
                   10, "the session manager choosing a default output")
        return self

    def __exit__(self, *_):
        for child in reversed(self.children):
            os.killpg(child.pid, signal.SIGTERM)
            child.wait()
        shutil.rmtree(self.folder, ignore_errors=True)

    def start(self, arguments, **options):
        child = subprocess.Popen(arguments, env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                 start_new_session=True, **options)
        self.children.append(child)
        return child

    def diagnostics(self):
        return subprocess.run([self.program, "--diagnostics-once"], env=self.env, capture_output=True,
                              text=True).stdout

    def sound(self, name, frames):
        """A two-minute 16-bit stereo file at 48 kHz whose every second is frames (48000 of them)."""
        path = os.path.join(self.folder, name)
        with wave.open(path, "wb") as sound:
            sound.setnchannels(2)
            sound.setsampwidth(2)
            sound.setframerate(48000)
            sound.writeframes(frames * 120)
        return path
