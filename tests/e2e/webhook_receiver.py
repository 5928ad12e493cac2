"""A webhook receiver on loopback for the notification tests: it records every request and
answers as its mode says.

    with WebhookReceiver() as receiver:
        url = receiver.start("ok")               # "http://127.0.0.1:<port>/hook"
        ...                                     # the monitor posts to url
        request = receiver.wait_requests(1, 10)[0]
        request.json()["event"]

Modes: "ok" answers 200, "fail" answers 500, "hang" reads the request and never answers
until the mode changes or the receiver stops. set_mode changes it for the requests that
come next (and releases the ones hanging).

HTTPS: start(mode, tls=TestCertificates(folder)) serves a server certificate for
127.0.0.1 and localhost signed by a throw-away CA made with the openssl command line;
tls.ca_file is the CA's PEM file for [notify] webhook_ca.

Every wait is bounded; stop() (or leaving the with-block) closes the socket, releases
hanging requests and joins the thread.
"""
import http.server
import json
import os
import ssl
import subprocess
import threading
import time

MODES = {"ok": 200, "fail": 500, "hang": None}


class Request:
    """One request as it came: method, path, headers (a dict, names in lower case), body
    (bytes) and time (time.time() when it was read)."""

    def __init__(self, method, path, headers, body, when):
        self.method, self.path, self.headers, self.body, self.time = method, path, headers, body, when

    def json(self):
        return json.loads(self.body.decode("utf-8"))

    def __repr__(self):
        return "Request(%s %s, %r, %r)" % (self.method, self.path, self.headers, self.body[:200])


class TestCertificates:
    """A throw-away CA and a server certificate for IP 127.0.0.1 and DNS localhost, in
    `folder` (which the caller removes): ca_file, cert_file, key_file."""

    def __init__(self, folder, days=2):
        self.ca_file = os.path.join(folder, "test_ca.pem")
        self.cert_file = os.path.join(folder, "server.pem")
        self.key_file = os.path.join(folder, "server.key")
        ca_key = os.path.join(folder, "test_ca.key")
        csr = os.path.join(folder, "server.csr")
        ext = os.path.join(folder, "server.ext")
        with open(ext, "w") as f:
            f.write("subjectAltName=IP:127.0.0.1,DNS:localhost\n"
                    "basicConstraints=CA:FALSE\n"
                    "keyUsage=digitalSignature,keyEncipherment\n"
                    "extendedKeyUsage=serverAuth\n")
        for args in (
                ["req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", ca_key, "-out", self.ca_file,
                 "-days", str(days), "-subj", "/CN=Korvane Monitor test CA",
                 "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign"],
                ["req", "-newkey", "rsa:2048", "-nodes", "-keyout", self.key_file, "-out", csr,
                 "-subj", "/CN=127.0.0.1"],
                ["x509", "-req", "-in", csr, "-CA", self.ca_file, "-CAkey", ca_key, "-CAcreateserial",
                 "-out", self.cert_file, "-days", str(days), "-sha256", "-extfile", ext]):
            done = subprocess.run(["openssl"] + args, capture_output=True, timeout=60, stdin=subprocess.DEVNULL)
            if done.returncode != 0:
                raise RuntimeError("openssl %s failed: %s" % (args[0], done.stderr.decode("latin-1")))


class _Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    # stop() does not wait for a client that stalls mid-request.
    block_on_close = False


class WebhookReceiver:
    # How long a hanging request is held at most: longer than any client's timeout, bounded
    # so that a forgotten receiver never keeps a thread for good.
    HANG_LIMIT = 120

    def __init__(self):
        self.requests = []
        self._lock = threading.Lock()
        self._changed = threading.Condition(self._lock)
        self._mode = "ok"
        self._generation = 0
        self._server = None
        self._thread = None
        self.url = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()

    def start(self, mode="ok", tls=None, path="/hook", host="127.0.0.1"):
        """Serves on a port of its own; returns the address to post to."""
        self.set_mode(mode)
        receiver = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"
            timeout = 30  # a client that stalls mid-request

            def log_message(self, *args):
                pass

            def do_POST(self):
                receiver._handle(self)

            do_GET = do_PUT = do_POST

        self._server = _Server((host, 0), Handler)
        scheme = "http"
        if tls is not None:
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            context.load_cert_chain(tls.cert_file, tls.key_file)
            self._server.socket = context.wrap_socket(self._server.socket, server_side=True)
            scheme = "https"
        self._thread = threading.Thread(target=self._server.serve_forever, kwargs={"poll_interval": 0.05},
                                        daemon=True)
        self._thread.start()
        self.url = "%s://%s:%d%s" % (scheme, host, self._server.server_address[1], path)
        return self.url

    def set_mode(self, mode):
        if mode not in MODES:
            raise ValueError("mode %r is not one of %s" % (mode, ", ".join(MODES)))
        with self._changed:
            self._mode = mode
            self._generation += 1
            self._changed.notify_all()

    def wait_requests(self, count, timeout):
        """The requests once there are at least `count`, or after `timeout` seconds as many as
        came (the caller's assertion then shows them)."""
        deadline = time.monotonic() + timeout
        with self._changed:
            while len(self.requests) < count:
                left = deadline - time.monotonic()
                if left <= 0:
                    break
                self._changed.wait(left)
            return list(self.requests)

    def stop(self):
        if self._server is None:
            return
        with self._changed:
            self._generation += 1
            self._changed.notify_all()
        self._server.shutdown()
        self._server.server_close()
        self._thread.join(10)
        self._server = None

    def _handle(self, handler):
        length = int(handler.headers.get("Content-Length") or 0)
        body = handler.rfile.read(min(length, 16 << 20)) if length > 0 else b""
        request = Request(handler.command, handler.path, {k.lower(): v for k, v in handler.headers.items()}, body,
                          time.time())
        with self._changed:
            self.requests.append(request)
            self._changed.notify_all()
            generation, mode = self._generation, self._mode
            if mode == "hang":
                # Held until the mode changes or the receiver stops; then the connection is
                # dropped without an answer, as a receiver that died would.
                deadline = time.monotonic() + self.HANG_LIMIT
                while self._generation == generation and time.monotonic() < deadline:
                    self._changed.wait(deadline - time.monotonic())
                handler.close_connection = True
                return
        status = MODES[mode]
        reply = b"ok\n" if status == 200 else b"receiver failed\n"
        handler.send_response(status)
        handler.send_header("Content-Type", "text/plain")
        handler.send_header("Content-Length", str(len(reply)))
        handler.end_headers()
        handler.wfile.write(reply)
