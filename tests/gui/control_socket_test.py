#!/usr/bin/python3
"""The control socket of a running window, from clients nobody here wrote.

PyVISA (its pure-Python backend) drives a window on a four-board simulated
stack over TCP through a whole session; raw clients then throw junk at it,
a 1 MB line, connections dropped mid-line and mid-wait and two clients at
once, after which it still answers. socat talks to the Unix socket (a stale
socket file replaced, mode 0600, removed at the end), and the refusals: a
socket in use, a file that is no socket, an open address without a token, a
wrong token.

Usage: control_socket_test.py EXE  (run by ctest with Debian's /usr/bin/python3)
"""
import json
import os
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

import pyvisa

EXE = sys.argv[1]
WORK = tempfile.mkdtemp(prefix="eb-socket-")
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAILED:", what, flush=True)


class Program:
    """The window, started with --listen; `where` is the address it reports."""

    def __init__(self, *args):
        self.proc = subprocess.Popen(
            [EXE, "--simulate=boards=4,noise=0", "--datalog-dir", WORK, *args],
            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        self.lines = []
        self.where = None
        ready = threading.Event()

        def drain():
            for line in self.proc.stderr:
                self.lines.append(line)
                if "listening on " in line:
                    self.where = line.split("listening on ", 1)[1].strip()
                    ready.set()
            ready.set()
        threading.Thread(target=drain, daemon=True).start()
        ready.wait(20)

    def stop(self):
        self.proc.send_signal(signal.SIGTERM)
        return self.proc.wait(20)


def refused(args, text):
    """A start that must end at once with status 2 and say `text`."""
    p = Program(*args)
    status = p.proc.wait(20)
    said = "".join(p.lines)
    check(status == 2 and text in said, f"{args} refused with {text!r}: {status} {said!r}")


def connect(port):
    s = socket.create_connection(("127.0.0.1", port), timeout=10)
    return s, s.makefile("rb")


def answer(reader):
    return json.loads(reader.readline().decode("ascii"))


# --- PyVISA over TCP: a whole session -------------------------------------
window = Program("--listen", "tcp:127.0.0.1:0")
check(window.where is not None and window.where.startswith("tcp:127.0.0.1:"),
      f"listening on tcp: {window.where}")
port = int(window.where.rsplit(":", 1)[1])
rm = pyvisa.ResourceManager("@py")
bench = rm.open_resource(f"TCPIP::127.0.0.1::{port}::SOCKET",
                         read_termination="\n", write_termination="\n", timeout=20000)
asked = 0


def ask(line):
    global asked
    asked += 1
    return json.loads(bench.query(line))


ok = {"ok": True}
for line in ["set Combo1 3", "click Command0 1", "click Command1 5"]:  # 4 boards, duty cycle, WRITE
    check(ask(line) == ok, line)
for board in (3, 2, 1, 0):  # read each board's configuration back
    check(ask(f"click Command4 {board}") == ok and ask("click Command1 6") == ok, f"read {board}")
check(ask("state CFGR0 3")["value"] != "00", "board 4 configured")
check(ask("sim cell 3 5 3.912") == ok, "sim cell")
check(ask("click Command1 10") == ok, "continuous reading")
started = time.monotonic()
check(ask("wait-for PECstatus 3 value 1 15") == ok, "wait-for a status")
check(ask("wait-for CELLvolt 41 value 3.912 15") == ok, "wait-for the pinned cell")
cells = ask("state CELLvolt")["value"]
check(cells[41] == 3.912 and all(3.0 < v < 4.3 for v in cells[1:49]), f"cells {cells[:49]}")
check(ask("print Text1 0")["text"].strip().endswith("V"), "a cell box")
timeout = ask("wait-for PECstatus 3 value 2 0.5")
check(timeout.get("observed") == 1 and timeout.get("line") == asked
      and "timed out" in timeout.get("error", ""), f"wait-for times out: {timeout}")
check("error" in ask("tick 3"), "tick refused")
bad = ask("expect Label21 caption \"none\"")
check(bad.get("line") == asked and bad["error"].startswith("expectation failed"), f"{bad}")
print(f"session: {asked} lines, {time.monotonic() - started:.1f} s from the start of reading")

# --- junk and disconnects ---------------------------------------------------
junk, junkReader = connect(port)
junk.sendall(b"\x00\xff\x1b[2J\x80\xc3 garbage \xe2\x82\n")
reply = answer(junkReader)
check("error" in reply and reply["line"] == 1, f"binary junk answered: {reply}")
huge, hugeReader = connect(port)
try:
    huge.sendall(b"A" * 1000000 + b"\n")
except OSError:
    pass  # the window closes the connection before taking the whole line
reply = answer(hugeReader)
check(reply.get("error") == "line longer than 4096 bytes", f"1 MB line: {reply}")
try:
    rest = hugeReader.read()
except ConnectionResetError:
    rest = b""  # closed with the rest of the line unread
check(rest == b"", "the 1 MB line's connection is closed")
midLine, _ = connect(port)
midLine.sendall(b"print Lab")
midLine.close()
midWait, _ = connect(port)
midWait.sendall(b"wait-for PECstatus 3 value 2 30\n")
time.sleep(0.3)
midWait.close()


def client(results, first):
    s, reader = connect(port)
    s.sendall("".join(f"state BRDaddress {i}\n" for i in range(first, first + 5)).encode())
    results.extend(answer(reader)["value"] for _ in range(5))
    s.close()


one, two = [], []
threads = [threading.Thread(target=client, args=(one, 0)),
           threading.Thread(target=client, args=(two, 5))]
for t in threads:
    t.start()
for t in threads:
    t.join(20)
check(one == ["80", "81", "82", "83", "84"] and two == ["85", "86", "87", "88", "89"],
      f"two clients at once: {one} {two}")
check(ask("wait-for PECstatus 3 value 1 5") == ok, "still waiting for conditions")
check(ask("print Label21")["name"] == "Label21", "still answering")
junk.close()
bench.close()
check(window.stop() == -signal.SIGTERM, "the window ends on SIGTERM")

# --- socat on the Unix socket ------------------------------------------------
path = os.path.join(WORK, "bench.sock")
stale = socket.socket(socket.AF_UNIX)
stale.bind(path)
stale.close()  # a socket file nobody listens on
unixWindow = Program("--listen", f"unix:{path}")
check(unixWindow.where == f"unix:{path}", f"listening on {unixWindow.where}")
check(os.stat(path).st_mode & 0o777 == 0o600, f"mode {oct(os.stat(path).st_mode)}")
said = subprocess.run(["socat", "-t", "5", "-", f"UNIX-CONNECT:{path}"],
                      input="state BRDaddress 2\nwiggle\nwait-for OnOff value 0 1\n",
                      capture_output=True, text=True, timeout=20).stdout.splitlines()
check([json.loads(s) for s in said] == [
    {"name": "BRDaddress", "index": 2, "value": "82"},
    {"error": "unknown command \"wiggle\"", "line": 2}, ok], f"socat: {said}")
refused(["--listen", path], "another program is listening on it")
unixWindow.stop()
check(not os.path.exists(path), "the socket file is removed at the end")
plain = os.path.join(WORK, "plain")
open(plain, "w").close()
refused(["--listen", f"unix:{plain}"], "is no socket; it is left alone")
check(os.path.isfile(plain), "a file that is no socket is left alone")

# --- an address other machines reach needs a token -------------------------
refused(["--listen", "tcp:0.0.0.0:0"], "a token is required")
token = os.path.join(WORK, "token")
with open(token, "w") as f:
    f.write("bench-token-0123456789\n")
os.chmod(token, 0o644)
refused(["--listen", "tcp:0.0.0.0:0", "--listen-token", token], "other users may read it")
os.chmod(token, 0o600)
open_ = Program("--listen", "tcp:0.0.0.0:0", "--listen-token", token)
openPort = int(open_.where.rsplit(":", 1)[1])
wrong, wrongReader = connect(openPort)
wrong.sendall(b"state BRDaddress 1\n")
check(answer(wrongReader)["line"] == 1 and wrongReader.read() == b"", "no token, no command")
right, rightReader = connect(openPort)
right.sendall(b"bench-token-0123456789\nstate BRDaddress 1\n")
check(answer(rightReader) == ok and answer(rightReader)["value"] == "81", "the token first")
right.close()
open_.stop()

print("\n".join(failures) if failures else "all held")
sys.exit(1 if failures else 0)
