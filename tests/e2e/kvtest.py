"""Shared helpers for the end-to-end tests: run the real binary in a temporary folder.

    with MonitorRun(config={"http": {"port": port}}) as run:
        status, headers, body = run.get("/raw")

The run folder holds a copy of the binary and config_http.txt (plus any files given).
Everything listens on loopback; every wait is bounded; the process is always stopped.
"""
import http.client
import os
import random
import re
import shutil
import signal
import socket
import subprocess
import tempfile
import time

BINARY = os.environ.get("KV_BINARY", "")
SOURCE_DIR = os.environ.get("KV_SOURCE_DIR", os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..")))
BUILD_DIR = os.environ.get("KV_BUILD_DIR", os.path.join(SOURCE_DIR, "build", "linux"))
DEMO_DIR = os.path.join(SOURCE_DIR, "examples", "demo")
FIXTURES_DIR = os.path.join(SOURCE_DIR, "..", "shared", "fixtures")


def ephemeral_low():
    try:
        with open("/proc/sys/net/ipv4/ip_local_port_range") as f:
            return int(f.read().split()[0])
    except (OSError, ValueError, IndexError):
        return 32768


def free_port(host="0.0.0.0"):
    """A port that binds now, below the ephemeral range: a port the kernel hands out would
    also go to the client sockets of tests running beside this one, and the monitor's own
    bind would then fail with "Address already in use"."""
    low = max(1025, min(ephemeral_low(), 65536) - 12000)
    high = max(low + 1000, min(ephemeral_low(), 65536)) - 1
    for _ in range(200):
        port = random.randint(low, high)
        with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
            try:
                s.bind((host, port))
            except OSError:
                continue
            return port
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind((host, 0))
        return s.getsockname()[1]


def config_text(sections):
    lines = []
    for section, keys in sections.items():
        lines.append("[%s]" % section)
        for key, value in keys.items():
            lines.append("%s=%s" % (key, value))
    return "\r\n".join(lines) + "\r\n"


def log_seconds(line):
    """Local seconds of a core-log line's "[DD/MM/YYYY HH:NN:SS]" stamp, None without one."""
    m = re.match(r"\[(\d\d)\D(\d\d)\D(\d{4}) (\d\d)\D(\d\d)\D(\d\d)\]", line)
    if not m:
        return None
    day, month, year, hour, minute, second = (int(g) for g in m.groups())
    return time.mktime((year, month, day, hour, minute, second, 0, 0, -1))


def log_span(lines):
    """Seconds from the first to the last stamped line of `lines` (0 for none)."""
    stamps = [t for t in (log_seconds(line) for line in lines) if t is not None]
    return max(stamps) - min(stamps) if stamps else 0


def controller_listing(number=1, found=1, healthy=True):
    """The demo's configuration listing as controller `number` of the `found` the utility
    reports: a serial of its own for the controller and each drive (controller 1 keeps the
    demo's). healthy: no degraded device and no failed or rebuilding drive, so the verdict is
    OK until a test breaks something."""
    with open(os.path.join(DEMO_DIR, "get_config.txt"), "rb") as f:
        text = f.read()
    text = text.replace(b"Controllers found: 1", b"Controllers found: %d" % found, 1)
    if number != 1:
        for serial, own in ((b"KV7805Z0042", b"KV7805Z%04d"), (b"WD-WMC1T", b"WD-WMC%dT"),
                            (b"S1Z0A0K70", b"S1Z0A0K7%d"), (b"BTTV6051", b"BTTV605%d"),
                            (b"(Controller:1,", b"(Controller:%d,")):
            text = text.replace(serial, own % number)
    if healthy:
        for old, new in ((b"Defunct disk drive count              : 1", b"Defunct disk drive count              : 0"),
                         (b"Failed/Degraded       : 2/0/1", b"Failed/Degraded       : 2/0/0"),
                         (b"Status of logical device              : Degraded",
                          b"Status of logical device              : Optimal"),
                         (b": Rebuilding (Controller", b": Present (Controller"),
                         (b"State                           : Rebuilding", b"State                           : Online"),
                         (b"State                           : Failed", b"State                           : Online")):
            assert old in text, old
            text = text.replace(old, new)
    return text


def first_drive_failed(listing):
    """The listing with its first drive, 0,0 in the demo, Online -> Failed."""
    at = listing.index(b"Device #0")
    return listing[:at] + listing[at:].replace(b": Online", b": Failed", 1)


def history_config(**history):
    """A configuration serving the demo's saved outputs that collects every second and keeps
    a drive history sample every second; `history` adds or overrides [history] keys."""
    sources = {"config": "get_config.txt", "smart": "get_smartstats.txt", "task": "get_tasks.txt",
               "stat": "get_logs_stats.txt", "cache": "get_logs_cache.txt"}
    keys = {"interval": 1}
    keys.update(history)
    return {"http": {"port": free_port()}, "scaner": {"timeout": 1}, "source": sources, "history": keys}


def wait_for(predicate, timeout, step=0.05):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(step)
    return predicate()


class MonitorRun:
    """Runs korvane_monitor from a fresh folder until the with-block ends."""

    def __init__(self, config=None, files=None, binary=None, name="korvane_monitor",
                 wait_listening=True, extra_env=None, copy_demo=False, folder=None):
        self.binary = binary or BINARY
        # An existing folder to run in (a small file system); its stderr then goes elsewhere.
        self.given_folder = folder
        self.stderr_folder = None
        self.name = name
        self.config = config
        self.files = files or {}
        self.wait_listening = wait_listening
        self.extra_env = extra_env or {}
        self.copy_demo = copy_demo
        self.proc = None
        self.folder = None
        self.port = None
        self.stderr_path = None

    def __enter__(self):
        self.folder = self.given_folder or tempfile.mkdtemp(prefix="kv-e2e-")
        self.stderr_folder = tempfile.mkdtemp(prefix="kv-e2e-err-") if self.given_folder else self.folder
        if self.copy_demo:
            shutil.copytree(DEMO_DIR, self.folder, dirs_exist_ok=True)
        shutil.copy2(self.binary, os.path.join(self.folder, self.name))
        reload_service = os.path.join(os.path.dirname(self.binary), "reload_service")
        if os.path.exists(reload_service):
            shutil.copy2(reload_service, os.path.join(self.folder, "reload_service"))
        config = self.config
        if config is not None:
            if isinstance(config, dict):
                config = {k: dict(v) for k, v in config.items()}
                http = config.setdefault("http", {})
                http.setdefault("port", free_port())
                self.port = int(http["port"])
                config = config_text(config)
            with open(os.path.join(self.folder, "config_http.txt"), "wb") as f:
                f.write(config.encode("latin-1") if isinstance(config, str) else config)
        for rel, content in self.files.items():
            path = os.path.join(self.folder, rel)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(content.encode("latin-1") if isinstance(content, str) else content)
        try:
            self.start()
        except BaseException:
            # __exit__ does not run when __enter__ fails: stop what was started here.
            self.__exit__(None, None, None)
            raise
        return self

    def start(self):
        self.stderr_path = os.path.join(self.stderr_folder, "stderr.txt")
        env = dict(os.environ)
        env.update(self.extra_env)
        self._stderr = open(self.stderr_path, "ab")
        self.proc = subprocess.Popen([os.path.join(self.folder, self.name)], cwd="/",
                                     stdin=subprocess.DEVNULL, stdout=self._stderr,
                                     stderr=self._stderr, env=env, start_new_session=True)
        if self.wait_listening and self.port:
            if not wait_for(self.listening, 10):
                raise AssertionError("monitor did not listen on %d; stderr: %s" % (self.port, self.stderr()))

    def listening(self):
        try:
            with socket.create_connection(("127.0.0.1", self.port), timeout=0.5):
                return True
        except OSError:
            return False

    def stop(self, timeout=10):
        """SIGTERM and wait; returns the exit code (None if it had to be killed)."""
        if self.proc is None:
            return None
        code = self.proc.poll()
        if code is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                code = self.proc.wait(timeout)
            except subprocess.TimeoutExpired:
                self.kill_session()
                self.proc.wait(5)
                code = None
        self._stderr.close()
        self.proc = None
        return code

    def kill_session(self):
        """SIGKILL to the monitor and everything it started: the commands it runs lead process
        groups of their own (so it can end each tree), which a kill of its group would miss,
        but they stay in the session the monitor leads."""
        try:
            os.killpg(self.proc.pid, signal.SIGKILL)
        except OSError:
            pass
        try:
            subprocess.run(["pkill", "-KILL", "-s", str(self.proc.pid)], capture_output=True, timeout=10)
        except OSError:
            pass

    def __exit__(self, *exc):
        try:
            if self.proc is not None:
                self.kill_session()
                self.proc.wait(5)
                self._stderr.close()
        finally:
            shutil.rmtree(self.folder, ignore_errors=True)
            shutil.rmtree(self.stderr_folder, ignore_errors=True)

    def path(self, rel):
        return os.path.join(self.folder, rel)

    def core_log(self):
        try:
            with open(self.path(self.name + "_core_log.txt"), "rb") as f:
                return f.read().decode("latin-1")
        except OSError:
            return ""

    def stderr(self):
        try:
            with open(self.stderr_path, "rb") as f:
                return f.read().decode("latin-1")
        except (OSError, TypeError):
            return ""

    def get(self, target, headers=None, method="GET", timeout=10):
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=timeout)
        try:
            conn.putrequest(method, target, skip_host=True, skip_accept_encoding=True)
            for k, v in (headers or {}).items():
                conn.putheader(k, v)
            conn.endheaders()
            resp = conn.getresponse()
            body = resp.read()
            return resp.status, resp.getheaders(), body
        finally:
            conn.close()

    def raw_request(self, data, timeout=10):
        """Sends bytes as they are and returns everything the server sends back."""
        with socket.create_connection(("127.0.0.1", self.port), timeout=timeout) as s:
            s.sendall(data)
            chunks = []
            while True:
                chunk = s.recv(65536)
                if not chunk:
                    break
                chunks.append(chunk)
            return b"".join(chunks)
