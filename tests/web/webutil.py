"""Helpers for the web frontend's tests: temporary controllers, the program
started with the web frontend on a free port, plain HTTPS requests, a small
WebSocket client, and headless Chromium through Selenium."""

import base64
import hashlib
import http.client
import json
import os
import re
import resource
import shutil
import socket
import ssl
import struct
import subprocess
import tempfile
import time
import types
import urllib.parse

BIN = os.environ.get("ORVA_BIN_DIR", os.path.join(os.path.dirname(__file__), "..", "..", "build", "bin"))
START_LINE = re.compile(
    r"^orva-utility: serving https://(?P<host>[^/]+):(?P<port>\d+)/\?token=(?P<token>[A-Za-z0-9_-]+) "
    r"\(certificate SHA-256 (?P<fingerprint>(?:[0-9A-F]{2}:){31}[0-9A-F]{2})\)$")


def tool(*args, check=True):
    """Runs orva-controller; its standard output."""
    r = subprocess.run([os.path.join(BIN, "orva-controller"), *args], capture_output=True, text=True)
    if check and r.returncode != 0:
        raise AssertionError(f"orva-controller {' '.join(args)}: {r.returncode}: {r.stderr}")
    return r.stdout


class Controller:
    """A new controller in a temporary directory."""

    def __init__(self, image_area=None):
        self.root = tempfile.mkdtemp(prefix="orva-web-")
        self.dir = os.path.join(self.root, "c")
        # The factory identity, which the tests look for.
        tool("init", self.dir, "--serial", "0123456789ABCDEF", "--mac1", "02:00:00:00:00:01",
             "--mac2", "02:00:00:00:00:02")
        if image_area is not None:
            self.set_config("image_area_size", str(image_area))

    def set_config(self, key, value):
        path = os.path.join(self.dir, "controller.toml")
        with open(path) as f:
            text = f.read()
        text, n = re.subn(rf"^{key} = .*$", f"{key} = {value}", text, flags=re.M)
        assert n == 1, key
        with open(path, "w") as f:
            f.write(text)

    @property
    def fs(self):
        return os.path.join(self.dir, "fs")

    def tool(self, *args):
        return tool("-C", self.dir, *args)

    def registry(self):
        """The live and the saved registry, exported as text."""
        return self.tool("reg", "export", "--utf8"), self.tool("reg", "--saved", "export", "--utf8")

    def log(self):
        return self.tool("log")

    def events(self):
        """The event log as it stands, also while a program has the controller
        (orva-controller log would wait for it)."""
        with open(os.path.join(self.dir, "events.log")) as f:
            return f.read()

    def remove(self):
        shutil.rmtree(self.root, ignore_errors=True)


class Utility:
    """orva-utility --frontend web on a controller, listening on a free port."""

    def __init__(self, controller, *extra, files=None):
        """`files`: the descriptor limit the program gets (soft and hard)."""
        self.controller = controller
        self.stderr_path = os.path.join(controller.root, "stderr.txt")
        self.stderr = open(self.stderr_path, "w+")
        limit = (lambda: resource.setrlimit(resource.RLIMIT_NOFILE, (files, files))) if files else None
        self.proc = subprocess.Popen(
            [os.path.join(BIN, "orva-utility"), "-C", controller.dir, "--frontend", "web",
             "--listen", "127.0.0.1:0", *extra],
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=self.stderr, text=True, preexec_fn=limit)
        self.line = self._start_line()
        self.starts = 1
        m = START_LINE.match(self.line)
        if not m:
            raise AssertionError(f"not the start line: {self.line!r}")
        self.host, self.port = m["host"], int(m["port"])
        self.token, self.fingerprint = m["token"], m["fingerprint"]
        self.origin = f"https://{self.host}:{self.port}"
        self.url = f"{self.origin}/?token={self.token}"

    def _start_line(self, timeout=30):
        """The start line; warnings about the controller may come before it."""
        deadline = time.time() + timeout
        while time.time() < deadline:
            self.stderr.seek(0)
            text = self.stderr.read()
            for line in text.split("\n")[:-1]:
                if line.startswith("orva-utility: serving "):
                    return line
            if self.proc.poll() is not None:
                raise AssertionError(f"orva-utility ended with {self.proc.returncode}: {text}")
            time.sleep(0.05)
        raise AssertionError("no start line")

    def next_token(self, timeout=10):
        """Waits for the start line printed when a session ends; its token
        (the only one that opens a session now) becomes self.token."""
        deadline = time.time() + timeout
        while time.time() < deadline:
            lines = [l for l in self.errors().split("\n")[:-1] if l.startswith("orva-utility: serving ")]
            if len(lines) > self.starts:
                m = START_LINE.match(lines[self.starts])
                if not m:
                    raise AssertionError(f"not a start line: {lines[self.starts]!r}")
                if (m["host"], int(m["port"]), m["fingerprint"]) != (self.host, self.port, self.fingerprint):
                    raise AssertionError(f"another server's start line: {m.group(0)!r}")
                self.starts += 1
                self.token = m["token"]
                self.url = f"{self.origin}/?token={self.token}"
                return self.token
            time.sleep(0.05)
        raise AssertionError("no new start line")

    def after_start(self):
        """What the program wrote on standard error after its start line."""
        text = self.errors()
        return text[text.index(self.line) + len(self.line) + 1:]

    def errors(self):
        self.stderr.seek(0)
        return self.stderr.read()

    def wait(self, timeout=30):
        """Waits for the program to end; its exit code."""
        code = self.proc.wait(timeout)
        self.stdout = self.proc.stdout.read()
        return code

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        self.proc.stdout.close()
        self.stderr.close()

    # ------------------------------------------------------------ HTTPS
    def tls(self):
        ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
        ctx.check_hostname = False
        ctx.verify_mode = ssl.CERT_NONE
        return ctx

    def connection(self, ctx=None):
        return http.client.HTTPSConnection(self.host, self.port, context=ctx or self.tls(), timeout=20)

    def request(self, method, path, body=None, headers=None, cookie=None, origin=True):
        """One request on a new connection: (status, headers as a dict of
        lists, body bytes)."""
        h = dict(headers or {})
        if origin is True:
            h.setdefault("Origin", self.origin)
        elif origin:
            h["Origin"] = origin
        if cookie:
            h["Cookie"] = cookie
        c = self.connection()
        try:
            c.request(method, path, body=body, headers=h)
            r = c.getresponse()
            data = r.read()
            got = {}
            for k, v in r.getheaders():
                got.setdefault(k.lower(), []).append(v)
            return r.status, got, data
        finally:
            c.close()

    def login(self, token=None):
        """POST /login; (status, the session cookie "NAME=VALUE" or None, reply)."""
        status, headers, body = self.request(
            "POST", "/login", json.dumps({"token": self.token if token is None else token}),
            {"Content-Type": "application/json"})
        cookie = None
        for line in headers.get("set-cookie", []):
            cookie = line.split(";", 1)[0]
        return status, cookie, json.loads(body or b"{}")

    def websocket(self, cookie, origin=True):
        return WebSocket(self, cookie, origin)

    def served_fingerprint(self):
        """The SHA-256 fingerprint of the certificate the server presents."""
        digest = hashlib.sha256(self._peer_der()).hexdigest().upper()
        return ":".join(digest[i:i + 2] for i in range(0, len(digest), 2))

    def _peer_der(self):
        with socket.create_connection((self.host, self.port), timeout=10) as raw:
            with self.tls().wrap_socket(raw) as s:
                return s.getpeercert(binary_form=True)


class WebSocketRefused(Exception):
    def __init__(self, status, body):
        super().__init__(f"refused with {status}: {body!r}")
        self.status = status


class WebSocket:
    """A WebSocket client (RFC 6455), text frames only, enough for tests."""

    def __init__(self, utility, cookie, origin=True):
        raw = socket.create_connection((utility.host, utility.port), timeout=20)
        self.sock = utility.tls().wrap_socket(raw)
        key = base64.b64encode(os.urandom(16)).decode()
        lines = [f"GET /ws HTTP/1.1", f"Host: {utility.host}:{utility.port}", "Upgrade: websocket",
                 "Connection: Upgrade", f"Sec-WebSocket-Key: {key}", "Sec-WebSocket-Version: 13"]
        if origin is True:
            lines.append(f"Origin: {utility.origin}")
        elif origin:
            lines.append(f"Origin: {origin}")
        if cookie:
            lines.append(f"Cookie: {cookie}")
        self.sock.sendall(("\r\n".join(lines) + "\r\n\r\n").encode())
        head = b""
        while b"\r\n\r\n" not in head:
            chunk = self.sock.recv(4096)
            if not chunk:
                raise WebSocketRefused(0, head)
            head += chunk
        head, self.rest = head.split(b"\r\n\r\n", 1)
        status = int(head.split(b" ", 2)[1])
        if status != 101:
            raise WebSocketRefused(status, head)
        accept = base64.b64encode(hashlib.sha1((key + "258EAFA5-E914-47DA-95CA-C5AB0DC85B11").encode()).digest())
        assert accept.decode() in head.decode(), head
        self.headers = head.decode()

    def _read(self, n):
        while len(self.rest) < n:
            chunk = self.sock.recv(65536)
            if not chunk:
                raise EOFError("the server closed the connection")
            self.rest += chunk
        out, self.rest = self.rest[:n], self.rest[n:]
        return out

    def send(self, *objs):
        """Each of `objs` as JSON in a text frame of its own, all in one write."""
        self.sock.sendall(b"".join(self.frame(json.dumps(obj).encode()) for obj in objs))

    @staticmethod
    def frame(data):
        """A masked text frame holding `data`."""
        mask = os.urandom(4)
        head = bytes([0x81])
        if len(data) < 126:
            head += bytes([0x80 | len(data)])
        elif len(data) < 65536:
            head += bytes([0x80 | 126]) + struct.pack("!H", len(data))
        else:
            head += bytes([0x80 | 127]) + struct.pack("!Q", len(data))
        masked = bytes(b ^ mask[i % 4] for i, b in enumerate(data))
        return head + mask + masked

    def receive(self, timeout=20):
        """The next text message, parsed; None when the server closed."""
        self.sock.settimeout(timeout)
        message = b""
        while True:
            b0, b1 = self._read(2)
            n = b1 & 0x7F
            if n == 126:
                n = struct.unpack("!H", self._read(2))[0]
            elif n == 127:
                n = struct.unpack("!Q", self._read(8))[0]
            payload = self._read(n)
            op = b0 & 0x0F
            if op == 8:  # close: answered, as a browser does
                try:
                    self.sock.sendall(bytes([0x88, 0x80]) + b"\0\0\0\0")
                except OSError:
                    pass
                return None
            if op == 9:  # ping: pong
                self.sock.sendall(bytes([0x8A, 0x80 | len(payload)]) + b"\0\0\0\0" + payload)
                continue
            if op in (0, 1):
                message += payload
                if b0 & 0x80:
                    self.last_size = len(message)
                    return json.loads(message)

    def wait_for(self, predicate, timeout=30):
        """Messages until one satisfies `predicate`; that one."""
        deadline = time.time() + timeout
        while time.time() < deadline:
            m = self.receive(max(0.1, deadline - time.time()))
            if m is None:
                raise EOFError("closed while waiting")
            if predicate(m):
                return m
        raise TimeoutError("no such message")

    def close(self):
        try:
            self.sock.close()
        except OSError:
            pass


def _resource_ids():
    """The identifiers #defined in resources/resource.h, by name, so that a
    test names the dialog or control it acts on: ids.IDC_FTP_DIR."""
    with open(os.path.join(os.path.dirname(__file__), "..", "..", "resources", "resource.h")) as f:
        found = re.findall(r"^#define (\w+) (\d+)", f.read(), re.M)
    return types.SimpleNamespace(**{name: int(value) for name, value in found})


ids = _resource_ids()


def control(state, control_id, page=None):
    """The window with control identifier `control_id` on the active dialog."""
    for w in state["windows"]:
        if w["id"] == control_id and w["parent"] == (page or state["active"]):
            return w
    return None


def sheet(state):
    for w in state["windows"]:
        if w["kind"] == "sheet":
            return w
    return None


def chromium(utility, user_data_dir, window_size="1100,800"):
    """Headless Chromium driven by Selenium, trusting the utility's
    certificate by its public key's hash only."""
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service

    spki = subprocess.run(
        "openssl x509 -pubkey -noout -in '%s' | openssl pkey -pubin -outform der | openssl dgst -sha256 -binary "
        "| base64" % os.path.join(utility.controller.dir, "web-cert.pem"),
        shell=True, capture_output=True, text=True, check=True).stdout.strip()
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    for flag in ["--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--disable-dev-shm-usage", f"--user-data-dir={user_data_dir}", f"--window-size={window_size}",
                 f"--ignore-certificate-errors-spki-list={spki}", "--force-device-scale-factor=1"]:
        options.add_argument(flag)
    service = Service(executable_path="/usr/bin/chromedriver", log_output=subprocess.DEVNULL) \
        if "log_output" in Service.__init__.__code__.co_varnames else \
        Service(executable_path="/usr/bin/chromedriver")
    driver = webdriver.Chrome(service=service, options=options)
    width, height = (int(n) for n in window_size.split(","))
    if width < 500:
        # A window is never narrower than 500 px: a phone's screen is emulated.
        driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                               {"width": width, "height": height, "deviceScaleFactor": 1, "mobile": True})
    return driver


def quote(path):
    return urllib.parse.quote(path, safe="")
