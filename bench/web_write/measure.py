#!/usr/bin/python3
"""One image write timed from the operator's side, for bench/web_write/run.sh.

  measure.py script BIN CONTROLLER   the script frontend: seconds from the
                                     confirmation's answer to the reboot offer
  measure.py web BIN CONTROLLER      the web frontend with a WebSocket client:
                                     the same span, the state messages that
                                     came during it, the longest gap between
                                     two and their mean size

Prints one line: seconds [updates longest-gap-seconds mean-bytes]."""

import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tests", "web"))
import webutil  # noqa: E402

IMAGE = "\\Storage Card\\nk.bin"


def script(bin_dir, controller):
    text = f'tab 4\ntype 1035 "{IMAGE.replace(chr(92), chr(92) * 2)}"\nanswer OK NO NO\nclick 1038\ncancel\n'
    p = subprocess.Popen([os.path.join(bin_dir, "orva-utility"), "-C", controller, "--frontend", "script", "-"],
                         stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
                         bufsize=1)
    p.stdin.write(text)
    p.stdin.close()
    start = end = None
    for line in p.stdout:
        if line.startswith("box") and "Update OS image now ?" in line:
            start = time.monotonic()
        elif line.startswith("box") and "Update OS image succeed" in line:
            end = time.monotonic()
    if p.wait() != 0 or start is None or end is None:
        sys.exit("the scripted update failed")
    print(f"{end - start:.4f}")


def web(bin_dir, controller):
    webutil.BIN = bin_dir

    class Existing(webutil.Controller):
        def __init__(self, path):
            self.root = os.path.dirname(path)
            self.dir = path

    u = webutil.Utility(Existing(controller))
    try:
        status, cookie, _ = u.login()
        ws = u.websocket(cookie)
        ws.wait_for(lambda m: m["type"] == "state" and webutil.sheet(m))
        ws.send({"op": "tab", "index": 3})
        state = ws.wait_for(lambda m: m["type"] == "state" and not m["busy"] and webutil.control(m, 1038))
        ws.send({"op": "type", "h": webutil.control(state, 1035)["h"], "text": IMAGE})
        ws.send({"op": "press", "h": webutil.control(state, 1038)["h"]})
        box = ws.wait_for(lambda m: m["type"] == "state" and m["box"])["box"]
        ws.send({"op": "box", "seq": box["seq"], "answer": "ok"})
        start = time.monotonic()
        times, sizes = [start], []
        while True:
            m = ws.receive(600)
            now = time.monotonic()
            if m is None:
                sys.exit("the connection closed during the write")
            if m["type"] != "state":
                continue
            if m["box"] and "succeed" in m["box"]["text"]:
                end = now
                break
            if m["busy"]:
                times.append(now)
                sizes.append(ws.last_size)
        gaps = [b - a for a, b in zip(times, times[1:] + [end])]
        ws.send({"op": "box", "seq": m["box"]["seq"], "answer": "no"})
        state = ws.wait_for(lambda m: m["type"] == "state" and not m["box"] and not m["busy"])
        ws.send({"op": "sheet", "button": "cancel"})
        box = ws.wait_for(lambda m: m["type"] == "state" and m["box"])["box"]
        ws.send({"op": "box", "seq": box["seq"], "answer": "no"})
        ws.wait_for(lambda m: m["type"] == "ended")
        if u.wait() != 0:
            sys.exit("the web run failed: " + u.errors())
        print(f"{end - start:.4f} {len(times) - 1} {max(gaps):.4f} {sum(sizes) // max(1, len(sizes))}")
    finally:
        u.stop()


if __name__ == "__main__":
    {"script": script, "web": web}[sys.argv[1]](sys.argv[2], sys.argv[3])
