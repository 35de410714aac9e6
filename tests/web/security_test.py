#!/usr/bin/python3
"""The web frontend's defences, tried with plain HTTP clients (http.client,
ssl, raw sockets): HTTPS only, the token and its rate limit, the session
cookie, one operator at a time, the WebSocket's Origin check, uploads that
must stay inside fs/ and within the image area, and the headers every
response carries."""

import json
import os
import resource
import signal
import socket
import ssl
import stat
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import webutil  # noqa: E402

# The About page's image, as the page asks for it.
ABOUT_IMAGE = f"/image/{webutil.ids.IDB_ABOUT}"

class UtilityTest(unittest.TestCase):
    image_area = None

    def setUp(self):
        self.c = webutil.Controller(image_area=self.image_area)
        self.u = webutil.Utility(self.c)

    def tearDown(self):
        self.u.stop()
        self.c.remove()

    def session(self):
        status, cookie, _ = self.u.login()
        self.assertEqual(status, 200)
        return cookie

    def assert_headers(self, headers, what):
        csp = headers.get("content-security-policy", [""])[0]
        directives = {d.split()[0]: d.split()[1:] for d in csp.split(";") if d.strip()}
        self.assertEqual(directives.get("default-src"), ["'none'"], what)
        self.assertEqual(directives.get("script-src"), ["'self'"], what)
        self.assertEqual(directives.get("frame-ancestors"), ["'none'"], what)
        for name, values in directives.items():
            for v in values:
                self.assertIn(v, ("'self'", "'none'"), f"{what}: {name} {v}")
        self.assertEqual(headers.get("x-content-type-options"), ["nosniff"], what)
        self.assertEqual(headers.get("cache-control"), ["no-store"], what)
        self.assertEqual(headers.get("referrer-policy"), ["no-referrer"], what)


class Transport(UtilityTest):
    def test_tls_below_1_2_is_refused_and_1_2_and_1_3_are_served(self):
        for version in (ssl.TLSVersion.TLSv1, ssl.TLSVersion.TLSv1_1):
            ctx = self.u.tls()
            ctx.options &= ~(ssl.OP_NO_TLSv1 | ssl.OP_NO_TLSv1_1)
            ctx.minimum_version = version
            ctx.maximum_version = version
            ctx.set_ciphers("DEFAULT:@SECLEVEL=0")
            with socket.create_connection((self.u.host, self.u.port), timeout=10) as raw:
                with self.assertRaises(ssl.SSLError) as refused:
                    ctx.wrap_socket(raw).do_handshake()
            self.assertIn("TLSV1_ALERT_PROTOCOL_VERSION", str(refused.exception), version)
        for version in (ssl.TLSVersion.TLSv1_2, ssl.TLSVersion.TLSv1_3):
            ctx = self.u.tls()
            ctx.minimum_version = ctx.maximum_version = version
            c = self.u.connection(ctx)
            c.request("GET", "/app.css")
            r = c.getresponse()
            r.read()
            self.assertEqual(r.status, 200)
            self.assertEqual(c.sock.version(), {ssl.TLSVersion.TLSv1_2: "TLSv1.2", ssl.TLSVersion.TLSv1_3: "TLSv1.3"}[version])
            c.close()

    def test_plain_http_gets_a_redirect_without_the_token_and_nothing_else(self):
        with socket.create_connection((self.u.host, self.u.port), timeout=10) as s:
            s.sendall(f"GET /?token={self.u.token} HTTP/1.1\r\nHost: {self.u.host}:{self.u.port}\r\n\r\n".encode())
            reply = b""
            while chunk := s.recv(65536):
                reply += chunk
        head, body = reply.split(b"\r\n\r\n", 1)
        lines = head.decode().split("\r\n")
        self.assertEqual(lines[0], "HTTP/1.1 301 Moved Permanently")
        headers = {k.lower(): v for k, v in (l.split(": ", 1) for l in lines[1:])}
        self.assertEqual(headers["location"], f"https://{self.u.host}:{self.u.port}/")
        self.assertNotIn("set-cookie", headers)
        self.assertNotIn(b"<html", body.lower())
        self.assertNotIn(self.u.token.encode(), reply)

    def test_the_certificate_is_made_once_kept_private_and_its_fingerprint_printed(self):
        cert = os.path.join(self.c.dir, "web-cert.pem")
        key = os.path.join(self.c.dir, "web-key.pem")
        self.assertEqual(stat.S_IMODE(os.stat(key).st_mode), 0o600)
        printed = subprocess.run(["openssl", "x509", "-in", cert, "-noout", "-fingerprint", "-sha256"],
                                 capture_output=True, text=True, check=True).stdout.strip()
        self.assertEqual(printed, f"sha256 Fingerprint={self.u.fingerprint}")
        self.assertEqual(self.u.served_fingerprint(), self.u.fingerprint)
        first_token = self.u.token
        self.u.stop()
        self.u = webutil.Utility(self.c)
        self.assertEqual(self.u.fingerprint, printed.split("=")[1])
        self.assertNotEqual(self.u.token, first_token)
        self.assertGreaterEqual(len(self.u.token) * 6, 128)


class Options(unittest.TestCase):
    def setUp(self):
        self.c = webutil.Controller()

    def tearDown(self):
        self.c.remove()

    def run_utility(self, *args):
        r = subprocess.run([os.path.join(webutil.BIN, "orva-utility"), "-C", self.c.dir, *args],
                           stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=60)
        return r.returncode, r.stderr

    def test_bad_options_are_usage_errors(self):
        with socket.socket() as taken:
            taken.bind(("127.0.0.1", 0))
            taken.listen()
            port = taken.getsockname()[1]
            for args, message in [
                (["--listen", "127.0.0.1:8443"], "--listen needs the web frontend (--frontend web)"),
                (["--frontend", "web", "--tls-cert", "c.pem"], "--tls-cert and --tls-key go together"),
                (["--frontend", "web", "--listen", "127.0.0.1"],
                 "--listen 127.0.0.1: no port (want ADDR:PORT, such as 127.0.0.1:8443)"),
                (["--frontend", "web", "--listen", f"127.0.0.1:{port}"],
                 f"cannot listen on 127.0.0.1:{port}: Address already in use"),
                (["--frontend", "webb"], 'unknown frontend "webb" (qt, terminal, script or web)'),
            ]:
                self.assertEqual(self.run_utility(*args), (2, f"orva-utility: {message}\n"), args)

    def test_the_operators_own_certificate_is_served(self):
        cert, key = os.path.join(self.c.root, "c.pem"), os.path.join(self.c.root, "k.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=localhost",
                        "-days", "1", "-keyout", key, "-out", cert], capture_output=True, check=True)
        printed = subprocess.run(["openssl", "x509", "-in", cert, "-noout", "-fingerprint", "-sha256"],
                                 capture_output=True, text=True, check=True).stdout.strip().split("=")[1]
        u = webutil.Utility(self.c, "--tls-cert", cert, "--tls-key", key)
        try:
            self.assertEqual(u.fingerprint, printed)
            self.assertEqual(u.served_fingerprint(), printed)
            self.assertFalse(os.path.exists(os.path.join(self.c.dir, "web-key.pem")))
        finally:
            u.stop()
        other = os.path.join(self.c.root, "other.pem")
        subprocess.run(["openssl", "genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256", "-out", other],
                       capture_output=True, check=True)
        self.assertEqual(self.run_utility("--frontend", "web", "--tls-cert", cert, "--tls-key", other),
                         (2, f"orva-utility: {other}: not the private key of {cert}\n"))


class Token(UtilityTest):
    def test_without_the_token_nothing_is_reached(self):
        status, headers, body = self.u.request("GET", "/")
        self.assertEqual(status, 200)  # the page that asks for the token
        self.assertNotIn("set-cookie", headers)
        self.assertEqual(json.loads(self.u.request("GET", "/session")[2]), {"session": "free"})
        self.assertEqual(self.u.request("GET", ABOUT_IMAGE)[0], 401)
        with self.assertRaises(webutil.WebSocketRefused) as refused:
            self.u.websocket(None)
        self.assertEqual(refused.exception.status, 401)
        status, cookie, _ = self.u.login("")
        self.assertEqual((status, cookie), (401, None))

    def test_wrong_tokens_are_answered_late_after_five_and_never_lock_out_the_right_one(self):
        wrong = self.u.token[:-1] + ("A" if self.u.token[-1] != "A" else "B")
        for attempt in range(6):
            started = time.time()
            status, cookie, reply = self.u.login(wrong)
            self.assertEqual((status, cookie, reply["error"]), (401, None, "wrong-token"), attempt)
            if attempt >= 5:
                self.assertGreaterEqual(time.time() - started, 0.9, attempt)
        # The right token is taken, from that address too.
        status, cookie, _ = self.u.login()
        self.assertEqual(status, 200)
        self.assertIsNotNone(cookie)

    def test_nothing_changes_through_get_and_login_wants_its_own_origin(self):
        for path in (f"/login?token={self.u.token}", "/logout", "/upload?name=x"):
            status, headers, _ = self.u.request("GET", path)
            self.assertEqual(status, 405, path)
            self.assertNotIn("set-cookie", headers)
        self.assertEqual(json.loads(self.u.request("GET", "/session")[2]), {"session": "free"})
        for origin in ("https://evil.example", None):
            status, headers, _ = self.u.request("POST", "/login", json.dumps({"token": self.u.token}),
                                                {"Content-Type": "application/json"}, origin=origin or False)
            self.assertEqual(status, 403, origin)
            self.assertNotIn("set-cookie", headers)
        status, headers, _ = self.u.request("POST", "/login", f"token={self.u.token}",
                                            {"Content-Type": "application/x-www-form-urlencoded"})
        self.assertEqual(status, 415)


class Session(UtilityTest):
    def test_the_cookie_is_strict_and_a_replayed_cookie_after_logout_is_refused(self):
        status, headers, _ = self.u.request("POST", "/login", json.dumps({"token": self.u.token}),
                                            {"Content-Type": "application/json"})
        self.assertEqual(status, 200)
        line = headers["set-cookie"][0]
        parts = [p.strip() for p in line.split(";")]
        self.assertTrue(parts[0].startswith("__Host-orva-session="))
        self.assertGreaterEqual(len(parts[0].split("=", 1)[1]) * 6, 128)
        for attribute in ("HttpOnly", "Secure", "SameSite=Strict", "Path=/"):
            self.assertIn(attribute, parts[1:])
        cookie = parts[0]
        ws = self.u.websocket(cookie)
        ws.wait_for(lambda m: m["type"] == "state")
        self.assertEqual(self.u.request("GET", ABOUT_IMAGE, cookie=cookie)[0], 200)

        status, headers, _ = self.u.request("POST", "/logout", cookie=cookie)
        self.assertEqual(status, 200)
        self.assertIn("Max-Age=0", headers["set-cookie"][0])
        self.assertEqual(ws.wait_for(lambda m: m["type"] == "session"), {"type": "session", "reason": "logout"})
        self.assertIsNone(ws.receive())
        ws.close()

        with self.assertRaises(webutil.WebSocketRefused) as refused:
            self.u.websocket(cookie)
        self.assertEqual(refused.exception.status, 401)
        self.assertEqual(self.u.request("GET", ABOUT_IMAGE, cookie=cookie)[0], 401)
        self.assertEqual(json.loads(self.u.request("GET", "/session", cookie=cookie)[2]), {"session": "free"})
        self.assertEqual(self.u.request("POST", "/logout", cookie=cookie)[0], 401)
        # The token opened one session: a start line of the same form gives
        # the next token, which opens a new session with a new cookie.
        spent = self.u.token
        self.assertNotEqual(self.u.next_token(), spent)
        status, _, reply = self.u.login(spent)
        self.assertEqual((status, reply["error"]), (401, "wrong-token"))
        status, again, _ = self.u.login()
        self.assertEqual(status, 200)
        self.assertNotEqual(again, cookie)

    def test_a_second_browser_gets_the_in_use_page_while_a_session_is_live(self):
        first = self.session()
        status, cookie, reply = self.u.login()
        self.assertEqual((status, cookie, reply["error"]), (409, None, "in-use"))
        status, headers, body = self.u.request("GET", f"/?token={self.u.token}")
        self.assertEqual(status, 409)
        self.assertIn(b"Orva_Utility is in use", body)
        self.assertNotIn(b"<script", body)
        self.assertEqual(json.loads(self.u.request("GET", "/session")[2]), {"session": "in-use"})
        with self.assertRaises(webutil.WebSocketRefused):
            self.u.websocket("__Host-orva-session=" + "A" * 43)
        # The operator's own browser keeps its view.
        self.assertEqual(self.u.request("GET", "/", cookie=first)[0], 200)
        self.assertEqual(self.u.request("POST", "/logout", cookie=first)[0], 200)
        self.u.next_token()
        self.assertEqual(self.u.login()[0], 200)

    def test_the_websocket_checks_origin_and_session(self):
        cookie = self.session()
        for origin in ("https://evil.example", f"http://{self.u.host}:{self.u.port}", None):
            with self.assertRaises(webutil.WebSocketRefused) as refused:
                self.u.websocket(cookie, origin=origin or False)
            self.assertEqual(refused.exception.status, 403, origin)
        ws = self.u.websocket(cookie)
        self.assert_headers({k.lower(): [v] for k, v in (l.split(": ", 1) for l in ws.headers.split("\r\n")[1:])},
                            "websocket")
        state = ws.wait_for(lambda m: m["type"] == "state" and webutil.sheet(m))
        self.assertEqual(webutil.sheet(state)["text"], "Orva_Utility [Ver 1.0]")
        ws.close()

    def test_the_end_of_the_program_reaches_the_browser(self):
        ws = self.u.websocket(self.session())
        state = ws.wait_for(lambda m: m["type"] == "state" and webutil.sheet(m))
        # Actions on windows out of reach are ignored.
        ws.send({"op": "press", "h": 999999})
        ws.send({"op": "type", "h": webutil.sheet(state)["h"], "text": "x"})
        ws.send({"op": "sheet", "button": "cancel"})
        box = ws.wait_for(lambda m: m["type"] == "state" and m["box"])["box"]
        self.assertEqual(box["text"], "Save your settings to registry ?")
        ws.send({"op": "box", "seq": box["seq"] + 1, "answer": "no"})  # not this box's
        ws.send({"op": "box", "seq": box["seq"], "answer": "ok"})      # not one of its buttons
        ws.send({"op": "box", "seq": box["seq"], "answer": "no"})
        self.assertEqual(ws.wait_for(lambda m: m["type"] == "ended"), {"type": "ended", "reason": "closed", "code": 0})
        self.assertIsNone(ws.receive())
        self.assertEqual(self.u.wait(), 0, self.u.errors())

    def test_input_the_busy_program_has_no_room_for_is_dropped_and_the_page_told(self):
        with open(os.path.join(self.c.fs, "Temp", "nk.bin"), "wb") as f:
            f.write(bytes(range(256)) * (64 << 10))  # 16 MiB
        ws = self.u.websocket(self.session())
        ws.wait_for(lambda m: m["type"] == "state" and webutil.sheet(m))
        ws.send({"op": "tab", "index": 3})
        path, write = webutil.ids.IDC_IMAGE_PATH, webutil.ids.IDC_WRITE_FLASH
        state = ws.wait_for(lambda m: m["type"] == "state" and not m["busy"] and webutil.control(m, write))
        ws.send({"op": "type", "h": webutil.control(state, path)["h"], "text": "\\Temp\\nk.bin"},
                {"op": "press", "h": webutil.control(state, write)["h"]})
        box = ws.wait_for(lambda m: m["type"] == "state" and m["box"])["box"]
        # The answer starts the write; what comes behind it finds the program
        # busy, and the queue takes only so much.
        ws.send({"op": "box", "seq": box["seq"], "answer": "ok"}, *[{"op": "press", "h": 999999}] * 200)
        self.assertIn("busy", ws.wait_for(lambda m: m["type"] == "dropped")["message"])
        # A message larger than any the page sends ends the connection.
        ws.sock.sendall(ws.frame(json.dumps({"op": "type", "h": 1, "text": "x" * 20000}).encode()))
        with self.assertRaises(EOFError):
            ws.wait_for(lambda m: False, timeout=10)
        ws.close()


class Upload(UtilityTest):
    image_area = 1 << 20

    def open_dialog(self):
        cookie = self.session()
        ws = self.u.websocket(cookie)
        ws.wait_for(lambda m: m["type"] == "state" and webutil.sheet(m))
        ws.send({"op": "tab", "index": 3})
        browse = webutil.ids.IDC_IMAGE_BROWSE
        state = ws.wait_for(lambda m: m["type"] == "state" and not m["busy"] and webutil.control(m, browse))
        ws.send({"op": "press", "h": webutil.control(state, browse)["h"]})
        state = ws.wait_for(lambda m: m["type"] == "state" and m["file"])
        return cookie, ws, state["file"]

    def upload(self, cookie, folder, name, body, seq, length=None, headers=None):
        h = {"Content-Type": "application/octet-stream", "Content-Length": str(len(body) if length is None else length)}
        h.update(headers or {})
        target = f"/upload?folder={webutil.quote(folder)}&name={webutil.quote(name)}&dialog={seq}"
        return self.u.request("POST", target, body=body, headers=h, cookie=cookie)

    def leftovers(self):
        out = []
        for root, dirs, files in os.walk(self.c.fs):
            out += [os.path.join(root, f) for f in files if f.startswith(".upload-")]
        return out

    def test_uploads_land_whole_in_the_folder_shown(self):
        cookie, ws, dialog = self.open_dialog()
        ws.send({"op": "file", "seq": dialog["seq"], "do": "open", "path": "\\Temp"})
        dialog = ws.wait_for(lambda m: m["type"] == "state" and m["file"]["folder"] == "\\Temp")["file"]
        body = bytes(range(256)) * 4096
        status, _, reply = self.upload(cookie, "\\Temp", "nk.bin", body, dialog["seq"])
        self.assertEqual(status, 200, reply)
        self.assertEqual(json.loads(reply), {"ok": True, "name": "nk.bin", "path": "\\Temp\\nk.bin"})
        with open(os.path.join(self.c.fs, "Temp", "nk.bin"), "rb") as f:
            self.assertEqual(f.read(), body)
        # A name that is taken (in any case) waits for the operator's word in a
        # box; the file replaced keeps its mode. A program of the controller
        # (the registry viewer, one the auto-run list starts) is asked about
        # in words of its own.
        os.chmod(os.path.join(self.c.fs, "Temp", "nk.bin"), 0o750)
        for folder, name, text, answer, kept in [
            ("\\Temp", "NK.BIN", "nk.bin is in \\Temp already.\nReplace it with the uploaded file (3 bytes)?", "yes",
             b"new"),
            ("\\Windows", "regview.EXE", "RegView.exe is the registry viewer that View Registry starts.\nReplacing it "
             "may keep that from working. Replace it with the uploaded file (3 bytes)?", "no", None),
        ]:
            if dialog["folder"] != folder:
                ws.send({"op": "file", "seq": dialog["seq"], "do": "open", "path": folder})
                dialog = ws.wait_for(lambda m: m["type"] == "state" and m["file"]["folder"] == folder)["file"]
            path = os.path.join(self.c.fs, folder[1:], name.lower() if folder == "\\Temp" else "RegView.exe")
            with open(path, "rb") as f:
                before = f.read()
            mode = os.stat(path).st_mode
            status, _, reply = self.upload(cookie, folder, name, b"new", dialog["seq"])
            self.assertEqual((status, json.loads(reply)["held"]), (200, True), reply)
            ask = ws.wait_for(lambda m: m["type"] == "state" and m["file"]["ask"])["file"]["ask"]
            self.assertEqual(ask["text"], text)
            with open(path, "rb") as f:
                self.assertEqual(f.read(), before)
            ws.send({"op": "file", "seq": dialog["seq"], "do": "replace", "ask": ask["seq"], "answer": answer})
            ws.wait_for(lambda m: m["type"] == "state" and not m["file"]["ask"])
            with open(path, "rb") as f:
                self.assertEqual(f.read(), kept or before)
            self.assertEqual(os.stat(path).st_mode, mode)
        self.assertEqual(self.leftovers(), [])

    def test_too_large_outside_and_unasked_uploads_are_refused(self):
        cookie = self.session()
        status, _, reply = self.upload(cookie, "\\", "x.bin", b"x", 1)
        self.assertEqual(status, 409, reply)  # no open-file dialog is shown
        ws = self.u.websocket(cookie)
        ws.wait_for(lambda m: m["type"] == "state" and webutil.sheet(m))
        ws.close()
        self.u.request("POST", "/logout", cookie=cookie)
        self.u.next_token()
        cookie, ws, dialog = self.open_dialog()
        seq = dialog["seq"]
        outside = os.path.join(self.c.root, "outside")
        os.mkdir(outside)
        os.symlink(outside, os.path.join(self.c.fs, "Temp", "away"))
        with open(os.path.join(outside, "victim"), "w") as f:
            f.write("keep")
        os.symlink(os.path.join(outside, "victim"), os.path.join(self.c.fs, "victim"))

        # Larger than the image area: refused before a byte of it is read.
        status, _, reply = self.upload(cookie, "\\", "big.bin", b"", seq, length=(1 << 20) + 1)
        self.assertEqual(status, 413, reply)
        self.assertIn("larger than the image area", json.loads(reply)["message"])
        for name in ("..\\..\\escape", "../escape", "a/b", "a\\b", "..", ".", "", "a:b", "x\x01", "x.", "x ", "   "):
            status, _, reply = self.upload(cookie, "\\", name, b"x", seq)
            self.assertEqual(status, 400, name)
        for folder in ("\\..", "\\Temp\\away", "\\Windows", "..\\..\\tmp"):
            status, _, reply = self.upload(cookie, folder, "x.bin", b"x", seq)
            self.assertEqual(status, 403, folder)
        # A name that is a link leading out of fs/ is not written through.
        status, _, reply = self.upload(cookie, "\\", "victim", b"overwritten", seq)
        self.assertEqual(status, 403, reply)
        with open(os.path.join(outside, "victim")) as f:
            self.assertEqual(f.read(), "keep")
        # The dialog does not open a folder outside either.
        ws.send({"op": "file", "seq": seq, "do": "open", "path": "\\Temp\\away"})
        state = ws.wait_for(lambda m: m["type"] == "state" and m["file"]["error"])
        self.assertEqual(state["file"]["folder"], "\\")
        # Not for this showing of the dialog, another origin, no session.
        self.assertEqual(self.upload(cookie, "\\", "x.bin", b"x", seq + 1)[0], 403)
        self.assertEqual(self.upload(cookie, "\\", "x.bin", b"x", seq, headers={"Origin": "https://evil.example"})[0],
                         403)
        self.assertEqual(self.upload(None, "\\", "x.bin", b"x", seq)[0], 401)
        self.assertEqual(os.listdir(outside), ["victim"])
        self.assertEqual(self.leftovers(), [])
        self.assertFalse(os.path.exists(os.path.join(self.c.fs, "x.bin")))

    def start_partial_upload(self, cookie, dialog):
        """Sends 200,000 of an upload's 500,000 bytes (part.bin into the root)
        and returns the open connection once the part is there, under a hidden
        name."""
        raw = socket.create_connection((self.u.host, self.u.port), timeout=10)
        s = self.u.tls().wrap_socket(raw)
        s.sendall((f"POST /upload?folder=%5C&name=part.bin&dialog={dialog['seq']} HTTP/1.1\r\n"
                   f"Host: {self.u.host}:{self.u.port}\r\nOrigin: {self.u.origin}\r\nCookie: {cookie}\r\n"
                   f"Content-Type: application/octet-stream\r\nContent-Length: 500000\r\n\r\n").encode())
        s.sendall(b"x" * 200000)
        deadline = time.time() + 10
        while not self.leftovers() and time.time() < deadline:
            time.sleep(0.05)
        self.assertEqual(len(self.leftovers()), 1)
        return s

    def test_an_upload_cut_short_leaves_nothing_behind(self):
        cookie, ws, dialog = self.open_dialog()
        s = self.start_partial_upload(cookie, dialog)
        s.close()
        deadline = time.time() + 10
        while self.leftovers() and time.time() < deadline:
            time.sleep(0.05)
        self.assertEqual(self.leftovers(), [])
        self.assertFalse(os.path.exists(os.path.join(self.c.fs, "part.bin")))

    def test_a_signal_ends_the_page_and_partial_uploads_go_then_and_at_the_next_start(self):
        cookie, ws, dialog = self.open_dialog()
        s = self.start_partial_upload(cookie, dialog)
        self.u.proc.send_signal(signal.SIGTERM)
        self.assertEqual(ws.wait_for(lambda m: m["type"] == "ended"),
                         {"type": "ended", "reason": "signal", "signal": "SIGTERM", "code": 143})
        self.assertEqual(self.u.wait(), -signal.SIGTERM)
        self.assertEqual(self.leftovers(), [])
        self.assertTrue(self.u.after_start().endswith("orva-utility: ended by SIGTERM; the controller is closed\n"),
                        self.u.errors())
        s.close()
        # What a program killed outright leaves goes at the next start.
        self.u.stop()
        with open(os.path.join(self.c.fs, "Temp", ".upload-AbCdEfGhIjKl"), "wb") as f:
            f.write(b"x")
        self.u = webutil.Utility(self.c)
        self.assertEqual(self.leftovers(), [])
        self.assertIn("orva-utility: removed \\Temp\\.upload-AbCdEfGhIjKl, an upload left unfinished by an earlier "
                      "run\n", self.u.errors())


def server_cpu(pid):
    """The CPU seconds the server thread ("orva-web") of process `pid` used."""
    for task in os.listdir(f"/proc/{pid}/task"):
        with open(f"/proc/{pid}/task/{task}/comm") as f:
            if f.read().strip() != "orva-web":
                continue
        with open(f"/proc/{pid}/task/{task}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
    raise AssertionError("no server thread")


def registry_section(text, key):
    """The values of `key` in a registry export."""
    for section in text.split("\n["):
        if section.startswith(key + "]"):
            return section
    return ""


class Flood(unittest.TestCase):
    """Anyone who reaches the port, before any login: connections that never
    send a byte, and TLS connections that send no request, while the
    program may open only 256 descriptors."""

    def setUp(self):
        self.saved_limit = resource.getrlimit(resource.RLIMIT_NOFILE)
        soft, hard = self.saved_limit
        want = 1500
        if hard != resource.RLIM_INFINITY and hard < want:
            self.skipTest(f"this test opens {want} sockets; the descriptor limit is {hard}")
        resource.setrlimit(resource.RLIMIT_NOFILE, (max(soft, want), hard))
        self.c = webutil.Controller()
        self.u = webutil.Utility(self.c, files=256)
        self.held = []

    def tearDown(self):
        for s in self.held:
            s.close()
        self.u.stop()
        self.c.remove()
        resource.setrlimit(resource.RLIMIT_NOFILE, self.saved_limit)

    def test_the_operator_is_served_while_silent_and_idle_connections_are_held(self):
        for _ in range(1000):
            self.held.append(socket.create_connection((self.u.host, self.u.port), timeout=10))
        tls = self.u.tls()
        for _ in range(200):
            raw = socket.create_connection((self.u.host, self.u.port), timeout=10)
            try:
                self.held.append(tls.wrap_socket(raw))
            except OSError:  # closed already, to make room for the next
                self.held.append(raw)
        cpu, wall = server_cpu(self.u.proc.pid), time.time()

        started = time.time()
        status, cookie, _ = self.u.login()
        self.assertEqual(status, 200)
        self.assertLess(time.time() - started, 2.0)
        self.assertEqual(self.u.request("GET", "/", cookie=cookie)[0], 200)
        ws = self.u.websocket(cookie)
        state = ws.wait_for(lambda m: m["type"] == "state" and webutil.control(m, webutil.ids.IDC_FTP_DIR))
        ws.send({"op": "type", "h": webutil.control(state, webutil.ids.IDC_FTP_DIR)["h"], "text": "\\Windows"})
        ws.send({"op": "press", "h": webutil.control(state, webutil.ids.IDC_FTP_CHANGE)["h"]})
        ws.wait_for(lambda m: m["type"] == "state" and webutil.control(m, webutil.ids.IDC_FTP_LABEL)["text"]
                    == "Change FTP default directory \\Windows to :")
        ws.send({"op": "sheet", "button": "ok"})
        seq, answers = None, ["yes", "yes", "no"]  # save, proceed, no reboot
        while (m := ws.wait_for(lambda m: m["type"] == "ended" or
                                m["type"] == "state" and m["box"] and m["box"]["seq"] != seq))["type"] != "ended":
            seq = m["box"]["seq"]
            ws.send({"op": "box", "seq": seq, "answer": answers.pop(0)})
        self.assertEqual((m["code"], answers), (0, []))
        cpu, wall = server_cpu(self.u.proc.pid) - cpu, time.time() - wall
        self.assertEqual(self.u.wait(), 0, self.u.errors())
        self.assertNotIn("Failed", self.u.stdout + self.u.errors())
        saved = registry_section(self.c.registry()[1], "HKEY_LOCAL_MACHINE\\Comm\\FTPD")
        # \Windows in UTF-16, as the page stores it (its whole buffer).
        self.assertIn('"DefaultDir"=hex(1):5c,00,57,00,69,00,6e,00,64,00,6f,00,77,00,73,00,00,00,', saved)
        self.assertLess(cpu, 0.5 * wall, f"the server thread used {cpu:.2f} s of CPU in {wall:.2f} s")


class Headers(UtilityTest):
    def test_every_response_carries_the_security_headers_and_the_page_no_inline_script(self):
        cookie = self.session()
        for method, path, c in [("GET", "/", None), ("GET", "/", cookie), ("GET", "/app.js", None),
                                ("GET", "/app.css", None), ("GET", "/session", None), ("GET", ABOUT_IMAGE, cookie),
                                ("GET", "/nothing", None), ("PUT", "/", None), ("POST", "/login", None),
                                ("GET", ABOUT_IMAGE, None)]:
            status, headers, body = self.u.request(method, path, cookie=c)
            self.assert_headers(headers, f"{method} {path} ({status})")
        status, headers, body = self.u.request("GET", "/")
        self.assertEqual(headers["content-type"], ["text/html; charset=utf-8"])
        page = body.decode()
        self.assertNotRegex(page, r"<script(?![^>]*\bsrc=)")
        self.assertNotRegex(page, r"\son[a-z]+=")
        self.assertNotRegex(page, r"(src|href)=\"(https?:)?//")
        self.assertEqual(self.u.request("GET", "/app.js")[1]["content-type"], ["text/javascript; charset=utf-8"])


if __name__ == "__main__":
    unittest.main(verbosity=2)
