"""Runs the Windows build as a real service in a private Wine prefix, for the test scripts.

    with WineService(files={"config_http.txt": b"[http]\\r\\nport=%d\\r\\n" % port}) as svc:
        status, headers, body = svc.get("/logo.png")

Wine ends a session 3 s after its last ordinary process exits: wineserver then tells the
system processes to quit, and services.exe terminates every service process it started.
A service started by "net start" would be gone a few seconds later. open_session() therefore
initialises the prefix, waits for that first session to end (so no second services.exe
races the first) and starts a persistent wineserver: the session, and the service, then live
until "wineserver -k". Shell scripts get the same with `python3 wine_service.py open-session`.

Wine's service manager can still answer early ("net start" may return before the service
runs, or report "Service database locked" while it autostarts), so every state is polled and
each step is retried a few times. Every wait is bounded; the prefix and its processes are
removed when the block ends.
"""
import http.client
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

BUILD = os.environ.get("KV_WINDOWS_BUILD") or os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "..", "..", "build", "windows")
EXE = os.path.join(BUILD, "korvane_monitor.exe")
NAME = "KorvaneMonitorHTTPServer"


def open_session(env, session_stderr=subprocess.DEVNULL):
    """Initialises the prefix of env["WINEPREFIX"] and leaves a persistent wineserver running.
    The session's processes, services included, write their Wine debug output to
    session_stderr."""
    subprocess.run(["wineboot", "-i"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   timeout=180)
    try:
        subprocess.run(["wineserver", "-w"], env=env, timeout=60, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
    except subprocess.TimeoutExpired:
        subprocess.run(["wineserver", "-k"], env=env, timeout=60, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-p"], env=env, timeout=60, check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    # The session's own processes (services.exe and the rest) now live until "wineserver -k" and
    # keep the standard handles they inherit: start them here, on nothing, so no later command's
    # captured output waits for them.
    subprocess.run(["wineboot"], env=env, timeout=180, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=session_stderr)


def close_session(env):
    subprocess.run(["wineserver", "-k"], env=env, timeout=60, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class WineService:
    """winedebug: the WINEDEBUG of the session; the service's debug output is then in
    debug_output() (with "-all,fixme+advapi" every ReportEvent call prints its type and id)."""

    def __init__(self, port, files=None, folder="kvsvc", winedebug="-all"):
        self.port = port
        self.files = files or {}
        self.folder_name = folder
        self.winedebug = winedebug
        self.prefix = None
        self.env = None

    def __enter__(self):
        if not os.path.exists(EXE):
            raise AssertionError("missing " + EXE)
        self.prefix = tempfile.mkdtemp(prefix="kv-wine-%s." % self.folder_name)
        self.env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG=self.winedebug, WINEDLLOVERRIDES="mscoree,mshtml=")
        try:
            with open(os.path.join(self.prefix, "session_stderr.txt"), "wb") as session_stderr:
                open_session(self.env, session_stderr)
            self.folder = os.path.join(self.prefix, "drive_c", self.folder_name)
            os.makedirs(self.folder)
            shutil.copy2(EXE, os.path.join(self.folder, "korvane_monitor.exe"))
            for name, content in self.files.items():
                with open(os.path.join(self.folder, name), "wb") as f:
                    f.write(content)
            self.win_exe = "C:\\%s\\korvane_monitor.exe" % self.folder_name
            result = self.wine(self.win_exe, "/INSTALL", "/SILENT")
            if result.returncode != 0:
                raise AssertionError("install failed: %r" % result.stderr)
            self.start()
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    def __exit__(self, *exc):
        try:
            if self.state() == "RUNNING":
                for _ in range(3):
                    self.wine("net", "stop", NAME)
                    if self.wait_state("STOPPED") == "STOPPED":
                        break
            self.wine(self.win_exe, "/UNINSTALL", "/SILENT")
        except (OSError, subprocess.TimeoutExpired, AttributeError):
            pass
        finally:
            close_session(self.env)
            shutil.rmtree(self.prefix, ignore_errors=True)

    def wine(self, *args, timeout=120):
        return subprocess.run(["wine"] + list(args), env=self.env, capture_output=True, timeout=timeout,
                              stdin=subprocess.DEVNULL)

    def state(self):
        out = self.wine("sc", "query", NAME).stdout.decode("latin-1")
        for word in ("START_PENDING", "STOP_PENDING", "RUNNING", "STOPPED"):
            if word in out:
                return word
        return "UNKNOWN"

    def wait_state(self, wanted, timeout=60):
        deadline = time.monotonic() + timeout
        state = self.state()
        while state != wanted and time.monotonic() < deadline:
            time.sleep(0.5)
            state = self.state()
        return state

    def start(self):
        state = "UNKNOWN"
        for attempt in range(3):
            self.wine("net", "start", NAME)
            state = self.wait_state("RUNNING")
            if state == "RUNNING":
                break
            print("attempt %d: service is %s" % (attempt + 1, state), file=sys.stderr)
        if state != "RUNNING":
            raise AssertionError("service is %s" % state)
        deadline = time.monotonic() + 60
        while True:
            try:
                with socket.create_connection(("127.0.0.1", self.port), timeout=1):
                    return
            except OSError:
                if time.monotonic() > deadline:
                    raise AssertionError("no listener on %d; core log: %r" % (self.port, self.core_log()[-2000:]))
                time.sleep(0.3)

    def debug_output(self):
        with open(os.path.join(self.prefix, "session_stderr.txt"), "rb") as f:
            return f.read()

    def core_log(self):
        try:
            with open(os.path.join(self.folder, "korvane_monitor_core_log.txt"), "rb") as f:
                return f.read()
        except OSError:
            return b""

    def get(self, target, timeout=20):
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=timeout)
        try:
            conn.request("GET", target)
            resp = conn.getresponse()
            return resp.status, dict(resp.getheaders()), resp.read()
        finally:
            conn.close()


if __name__ == "__main__":
    # Shell scripts: `python3 wine_service.py open-session` with WINEPREFIX exported.
    if sys.argv[1:] != ["open-session"] or not os.environ.get("WINEPREFIX"):
        sys.exit("usage: WINEPREFIX=... %s open-session" % sys.argv[0])
    open_session(dict(os.environ))
