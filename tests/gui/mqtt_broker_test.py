#!/usr/bin/python3
"""Publishing to a real broker: Debian's mosquitto on a free loopback port,
with a password file and an ACL as a lab would run it, read by a real client
(paho-mqtt) with a persistent session.

1. A scripted run of a ten-board simulated stack: every sample arrives, in
   the order the recording beside it holds them, and every payload of the
   three topics validates against its schema; the status ends "offline".
2. A refused login is said once, and the run goes on.
3. The window reading continuously in real time and recording, with a
   queue of 10 samples and QoS 2: the broker is stopped for a while and started
   again; the samples of the outage (most of them read back from the
   recording) arrive afterwards, none missing and none twice. The
   end-to-end latency is measured.
4. The window killed: the broker's last will says "offline".
5. The CPU cost per published sample: the same script with and without
   --mqtt.

Usage: mqtt_broker_test.py EXE SCHEMA_DIR  (run by ctest with /usr/bin/python3)
"""
import getpass
import json
import os
import resource
import shutil
import signal
import socket
import sqlite3
import subprocess
import sys
import tempfile
import threading
import time

import jsonschema
import paho.mqtt.client as mqtt

EXE, SCHEMAS = sys.argv[1], sys.argv[2]
WORK = tempfile.mkdtemp(prefix="eb-mqtt-")
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAILED:", what, flush=True)


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


PORT, TLS_PORT = free_port(), free_port()
URL = f"mqtt://127.0.0.1:{PORT}/lab"
TLS_URL = f"mqtts://127.0.0.1:{TLS_PORT}/lab"


def write(name, text, mode=0o600):
    path = os.path.join(WORK, name)
    with open(path, "w") as f:
        f.write(text)
    os.chmod(path, mode)
    return path


passwd = os.path.join(WORK, "passwd")
for user, password in [("bench", "bench-pw"), ("reader", "reader-pw")]:
    subprocess.run(["mosquitto_passwd", "-b"] + (["-c"] if user == "bench" else []) +
                   [passwd, user, password], check=True, capture_output=True)
acl = write("acl", "user bench\ntopic write lab/#\n\nuser reader\ntopic read lab/#\n")
os.makedirs(os.path.join(WORK, "db"))
# A lab's own certificate authority, and the broker's certificate from it.
ca, caKey = os.path.join(WORK, "ca.pem"), os.path.join(WORK, "ca.key")
cert, key = os.path.join(WORK, "broker.pem"), os.path.join(WORK, "broker.key")
openssl = lambda *args: subprocess.run(["openssl", *args], check=True, capture_output=True)
openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=test lab CA",
        "-keyout", caKey, "-out", ca)
openssl("req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1", "-keyout", key,
        "-out", os.path.join(WORK, "broker.csr"))
write("san.ext", "subjectAltName=IP:127.0.0.1\n")
openssl("x509", "-req", "-in", os.path.join(WORK, "broker.csr"), "-CA", ca, "-CAkey", caKey,
        "-CAcreateserial", "-days", "2", "-extfile", os.path.join(WORK, "san.ext"), "-out", cert)
# Started as root, mosquitto would become the user "mosquitto", who may not
# read this test's private folder: it stays the user running the test.
conf = write("mosquitto.conf", f"""user {getpass.getuser()}
listener {PORT} 127.0.0.1
allow_anonymous false
password_file {passwd}
acl_file {acl}
persistence true
persistence_location {WORK}/db/
autosave_interval 1
max_queued_messages 0
log_dest file {WORK}/broker.log
listener {TLS_PORT} 127.0.0.1
certfile {cert}
keyfile {key}
""", 0o644)
auth = write("bench.auth", "user = bench\npassword = bench-pw\n")
badAuth = write("bad.auth", "user = bench\npassword = wrong\n")


class Broker:
    def __init__(self):
        self.proc = subprocess.Popen(["mosquitto", "-c", conf], stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            try:
                socket.create_connection(("127.0.0.1", PORT), timeout=1).close()
                return
            except OSError:
                time.sleep(0.05)
        raise RuntimeError("mosquitto did not start; see " + WORK + "/broker.log")

    def stop(self):
        self.proc.send_signal(signal.SIGTERM)
        self.proc.wait(10)


class Reader:
    """A persistent session on lab/#, QoS 2: what a lab's collector sees.
    Once each across a broker restart needs QoS 2 end to end; at QoS 1 the
    broker sends again what it had sent but not seen acknowledged."""

    def __init__(self):
        self.messages = []  # (topic, payload dict, received ms)
        self.lock = threading.Lock()
        self.client = mqtt.Client(client_id="eb-test-reader", clean_session=False)
        self.client.username_pw_set("reader", "reader-pw")
        self.client.reconnect_delay_set(1, 1)
        self.client.on_connect = lambda c, u, f, rc: c.subscribe("lab/#", qos=2)
        self.client.on_message = self.on_message
        self.client.connect("127.0.0.1", PORT, keepalive=5)
        self.client.loop_start()

    def on_message(self, client, userdata, msg):
        now = time.time() * 1000
        with self.lock:
            self.messages.append((msg.topic, json.loads(msg.payload), now, msg.retain))

    def of(self, topic):
        with self.lock:
            return [m for m in self.messages if m[0] == topic]

    def wait_for(self, topic, predicate, timeout):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if any(predicate(m[1]) for m in self.of(topic)):
                return True
            time.sleep(0.05)
        return False


def schema(name):
    with open(os.path.join(SCHEMAS, name)) as f:
        return jsonschema.Draft202012Validator(json.load(f))


validators = {"sample": schema("sample.schema.json"), "config": schema("config.schema.json"),
              "status": schema("status.schema.json")}


def validate_all(messages):
    bad = 0
    for topic, payload, _, _ in messages:
        errors = list(validators[topic.rsplit("/", 1)[1]].iter_errors(payload))
        if errors:
            bad += 1
            if bad < 3:
                print("invalid", topic, errors[0].message, flush=True)
    return bad


def script(name, ticks):
    return write(name, f"set Combo1 9\nclick Command0 1\nclick Command1 5\n"
                       f"sim cell 4 7 3.987\nclick Command1 10\ntick {ticks}\n", 0o644)


def run(args, timeout=120):
    return subprocess.run([EXE, "--simulate=boards=10,noise=0", "--datalog-dir", WORK, *args],
                          capture_output=True, text=True, timeout=timeout)


def seq_check(samples, what):
    seqs = [p["seq"] for p in samples]
    missing = sorted(set(range(1, max(seqs, default=0) + 1)) - set(seqs))
    twice = len(seqs) - len(set(seqs))
    check(not missing and twice == 0 and seqs == sorted(seqs),
          f"{what}: {len(seqs)} samples, {len(missing)} missing {missing[:5]}, {twice} twice, "
          f"in order {seqs == sorted(seqs)}")
    return len(missing), twice


broker = Broker()
reader = Reader()

# --- 1. a scripted run: every pass, in order, as the recording has it ------
rec = os.path.join(WORK, "run.db")
ran = run(["--script", script("s1.script", 1500), "--record", rec,
           "--mqtt", URL + "?station=s1", "--mqtt-auth", auth])
check(ran.returncode == 0, f"scripted run: {ran.returncode} {ran.stderr}")
check(reader.wait_for("lab/s1/status", lambda p: p["state"] == "offline", 20), "s1 says offline")
samples = [m[1] for m in reader.of("lab/s1/sample")]
db = sqlite3.connect(rec)
rows = db.execute("SELECT ms, board, address, c1, c2, c3, c4, c5, c6, c7, c8, c9, c10, c11, c12, "
                  "status, cv_read FROM samples ORDER BY id").fetchall()
published = [(p["ms"], p["board"], p["address"], *p["cells"], ", ".join(p["status"]),
              p["reads"]["cells"]) for p in samples]
check(len(rows) > 300 and published == [tuple(r) for r in rows],
      f"every recorded sample published in order: {len(published)} of {len(rows)}")
pinned = {p["cells"][6] for p in samples if p["board"] == 5 and p["reads"]["cells"] == "match"}
check(3.987 in pinned, f"the pinned cell: {sorted(pinned)[:5]}")
seq_check(samples, "scripted run")
configs = reader.of("lab/s1/config")
check(configs and len(configs[-1][1]["boards"]) == 10 and "\n" in configs[-1][1].get("setup", ""),
      "the configuration of ten boards, with the setup")
check(validate_all(reader.of("lab/s1/sample") + configs + reader.of("lab/s1/status")) == 0,
      "every payload validates against its schema")

# --- 2. a refused login --------------------------------------------------------
ran = run(["--script", script("s2.script", 50), "--mqtt", URL + "?station=s2",
           "--mqtt-auth", badAuth])
said = [line for line in ran.stdout.splitlines() if "MQTT" in line]
refusals = [line for line in said if "refused the connection: connection refused: not authorised;"
            in line and "reading goes on" in line]
check(ran.returncode == 0 and len(refusals) == 1 and "samples were not published" in ran.stdout,
      f"a refused login said once, the samples it kept back said at the end: {ran.returncode} {said}")
check(not reader.of("lab/s2/sample"), "nothing published without a login")

# --- TLS: the lab's CA trusted, or a certificate refused ---------------------
ran = run(["--script", script("t1.script", 300), "--mqtt", TLS_URL + f"?station=t1&cafile={ca}",
           "--mqtt-auth", auth])
check(ran.returncode == 0 and "MQTT" not in ran.stdout, f"over TLS: {ran.stdout[-300:]}")
check(reader.wait_for("lab/t1/status", lambda p: p["state"] == "offline", 20)
      and len(reader.of("lab/t1/sample")) >= 90, "samples over TLS")
ran = run(["--script", script("t2.script", 50), "--mqtt", TLS_URL + "?station=t2",
           "--mqtt-auth", auth])
said = [line for line in ran.stdout.splitlines() if "certificate verify failed" in line]
check(ran.returncode == 0 and len(said) == 1, f"an untrusted certificate said once: {ran.stdout}")

# --- 3. the window in real time through a broker outage --------------------
sock = os.path.join(WORK, "w.sock")
window = subprocess.Popen(
    [EXE, "--simulate=boards=10,noise=0", "--datalog-dir", WORK, "--listen", f"unix:{sock}",
     "--record", os.path.join(WORK, "w1.db"),
     "--mqtt", URL + "?station=w1&queue=10&qos=2", "--mqtt-auth", auth],
    stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True,
    env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
deadline = time.monotonic() + 20
while not os.path.exists(sock) and time.monotonic() < deadline:
    time.sleep(0.05)
control = socket.socket(socket.AF_UNIX)
control.connect(sock)
lines = control.makefile("rb")
for line in ["set Combo1 9", "click Command0 1", "click Command1 5", "click Command1 10"]:
    control.sendall(line.encode() + b"\n")
    check(json.loads(lines.readline()) == {"ok": True}, line)
check(reader.wait_for("lab/w1/status", lambda p: p["state"] == "online", 10), "w1 online")
time.sleep(6)
before = len(reader.of("lab/w1/sample"))
broker.stop()
outageStart = time.time() * 1000
time.sleep(8)
outageEnd = time.time() * 1000
broker = Broker()
time.sleep(8)
window.send_signal(signal.SIGTERM)
_, windowSaid = window.communicate(timeout=30)
check(window.returncode == -signal.SIGTERM, "the window closes on SIGTERM")
check("the later ones are sent from the recording" in windowSaid,
      f"the queue of 10 overflowed into the recording: {windowSaid}")
check(reader.wait_for("lab/w1/status", lambda p: p["state"] == "offline", 20), "w1 offline")
samples = [m for m in reader.of("lab/w1/sample")]
payloads = [m[1] for m in samples]
missing, twice = seq_check(payloads, "through the outage")
during = [p for p in payloads if outageStart <= p["ms"] <= outageEnd]
check(len(during) >= 20, f"samples taken during the outage arrived: {len(during)}")
latency = sorted(m[2] - m[1]["ms"] for m in samples
                 if m[1]["ms"] < outageStart - 1000 or m[1]["ms"] > outageEnd + 4000)
if latency:
    print(f"outage: {len(payloads)} samples ({before} before it, {len(during)} during it, "
          f"{missing} missing, {twice} twice); latency on loopback: median "
          f"{latency[len(latency) // 2]:.1f} ms, 99th percentile "
          f"{latency[int(len(latency) * 0.99)]:.1f} ms, max {latency[-1]:.1f} ms "
          f"over {len(latency)} samples", flush=True)
check(latency and latency[len(latency) // 2] < 100, "median latency under 100 ms")

# --- 4. killed: the last will -----------------------------------------------
killed = subprocess.Popen(
    [EXE, "--simulate=boards=10,noise=0", "--datalog-dir", WORK, "--script",
     script("s4.script", 100000000), "--mqtt", URL + "?station=k1", "--mqtt-auth", auth],
    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
check(reader.wait_for("lab/k1/sample", lambda p: True, 20), "k1 publishes")
killed.send_signal(signal.SIGKILL)
killed.wait(10)
check(reader.wait_for("lab/k1/status", lambda p: p["state"] == "offline", 20),
      "the last will says offline after a kill")
retained = mqtt.Client(client_id="eb-test-retained")
retained.username_pw_set("reader", "reader-pw")
got = []
retained.on_message = lambda c, u, m: got.append((m.retain, json.loads(m.payload)))
retained.connect("127.0.0.1", PORT)
retained.subscribe("lab/k1/status", qos=1)
retained.loop_start()
deadline = time.monotonic() + 5
while not got and time.monotonic() < deadline:
    time.sleep(0.05)
retained.loop_stop()
check(got and got[0][0] and got[0][1]["state"] == "offline", f"retained status: {got}")

# --- 5. CPU per published sample --------------------------------------------
cpu = {}
for name, extra in [("without", []), ("with", ["--mqtt", URL + "?station=c1", "--mqtt-auth", auth])]:
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    ran = run(["--script", script("s5.script", 60000), *extra], timeout=300)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu[name] = (after.ru_utime + after.ru_stime) - (before.ru_utime + before.ru_stime)
    check(ran.returncode == 0, f"cpu run {name}: {ran.stderr}")
check(reader.wait_for("lab/c1/status", lambda p: p["state"] == "offline", 20), "c1 offline")
count = len(reader.of("lab/c1/sample"))
if count:
    print(f"cpu: {cpu['without']:.2f} s without, {cpu['with']:.2f} s with --mqtt for {count} "
          f"samples: {(cpu['with'] - cpu['without']) / count * 1e6:.0f} us per sample", flush=True)

reader.client.loop_stop()
broker.stop()
if not failures:
    shutil.rmtree(WORK, ignore_errors=True)
print("\n".join(failures) if failures else "all held")
sys.exit(1 if failures else 0)
