#!/usr/bin/env python3
"""The soak run of scripts/soak.sh (see there). Everything on 127.0.0.1."""
import hashlib
import os
import random
import shutil
import signal
import sqlite3
import statistics
import subprocess
import sys
import tempfile
import time

CLI = os.path.abspath(os.environ["SOAK_CLI"])
SIM = os.path.abspath(os.environ["SOAK_SIM"])
SECONDS = float(os.environ.get("SOAK_SECONDS", "600"))
SEED = int(os.environ.get("SOAK_SEED", str(int(time.time()))))
KEEP = os.environ.get("SOAK_KEEP") == "1"
RECONNECT_WAIT = 300  # the CMDR link's reconnection wait
APC_HEADER = 64
APC_RATE = 4000  # bytes of ADPCM a second

rng = random.Random(SEED)
work = tempfile.mkdtemp(prefix="corvane-soak-")
run_dir = os.path.join(work, "run")
apc_dir = os.path.join(work, "apc")
ref_dir = os.path.join(work, "reference")
for d in (run_dir, apc_dir, ref_dir):
    os.makedirs(d)
procs = []


def pick(n, share):
    """A random comma list of about share * n numbers from 1..n."""
    k = max(1, int(n * share))
    return ",".join(str(x) for x in sorted(rng.sample(range(1, n + 1), min(k, n))))


def start(name, args):
    log = open(os.path.join(work, name + ".log"), "w")
    p = subprocess.Popen(args, stdout=log, stderr=subprocess.STDOUT, cwd=work)
    procs.append(p)
    return p, os.path.join(work, name + ".log")


def listening_port(log_path, p):
    for _ in range(200):
        with open(log_path) as f:
            for line in f:
                if line.startswith("listening "):
                    return int(line.strip().rsplit(":", 1)[1])
        if p.poll() is not None:
            break
        time.sleep(0.05)
    sys.exit("soak: %s did not start (see %s)" % (os.path.basename(log_path), log_path))


def lines_of(path):
    with open(path, errors="replace") as f:
        return [l.rstrip("\n") for l in f]


def rss_kb(pid):
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return None


def stop_all():
    for p in procs:
        if p.poll() is None:
            p.send_signal(signal.SIGTERM)
    for p in procs:
        try:
            p.wait(timeout=20)
        except subprocess.TimeoutExpired:
            p.kill()


# --- The simulators' material and faults --------------------------------------
cmdr_pause_ms = 500
cmdr_batch = rng.randint(1, 8)
cmdr_split = rng.choice([0, 0, 50, 77, 100])
cmdr_drop = SECONDS >= RECONNECT_WAIT + 120
# Time a batch takes: the pause, the acknowledgement, 10 ms per split piece.
batch_ms = cmdr_pause_ms + 100 + (cmdr_batch * ((154 + cmdr_split - 1) // cmdr_split) * 10 if cmdr_split else 0)
active = SECONDS - (RECONNECT_WAIT + 30 if cmdr_drop else 0)
cmdr_count = max(12, int(active * 1000 / batch_ms * cmdr_batch * 0.8))
cmdr_args = ["--count", str(cmdr_count), "--batch", str(cmdr_batch), "--pause", str(cmdr_pause_ms)]
if cmdr_split:
    cmdr_args += ["--split", str(cmdr_split)]
if cmdr_drop:
    cmdr_args += ["--drop-after", str(rng.randint(1, max(1, cmdr_count // 4)))]

mon_interval = 100
mon_count = min(3500, max(20, int(SECONDS * 1000 / (mon_interval + 50) * 0.8)))
mon_args = ["--password", "soakpass", "--access", "12AB=0x42", "--count", str(mon_count), "--interval",
            str(mon_interval), "--resend", "300", "--lose", pick(mon_count, 0.03), "--corrupt",
            pick(mon_count, 0.03), "--repeat", pick(mon_count, 0.03), "--foreign", pick(mon_count, 0.01)]

voice_count = max(6, int(SECONDS / 10))
voice_files = []
for i in range(voice_count):
    size = APC_HEADER + rng.randint(1, 16) * 1000 + rng.choice([0, 1, 511, 1023, 1024])
    body = b"CORVANE-SOAK recording".ljust(APC_HEADER, b"\0") + rng.randbytes(size - APC_HEADER)
    name = "r%04d.apc" % i
    with open(os.path.join(apc_dir, name), "wb") as f:
        f.write(body)
    voice_files.append((name, body))
blocks = sum((len(b) + 1023) // 1024 for _, b in voice_files)
replies = blocks + 3 * voice_count + 10
voice_args = ["--dir", apc_dir, "--channels", "4", "--lose", pick(replies, 0.02), "--stale", pick(replies, 0.02),
              "--duplicate", pick(replies, 0.02)]

print("soak: %d s, seed %d, folder %s" % (SECONDS, SEED, work))
print("soak: cmdr %s" % " ".join(cmdr_args))
print("soak: monitor --count %d (%d lost, %d corrupted, %d repeated, %d foreign)" %
      (mon_count, len(mon_args[11].split(",")), len(mon_args[13].split(",")), len(mon_args[15].split(",")),
       len(mon_args[17].split(","))))
print("soak: voice %d recordings, %d blocks" % (voice_count, blocks))
sys.stdout.flush()

# --- Run ------------------------------------------------------------------------
try:
    sim_c, log_c = start("sim-cmdr", [SIM, "--listen", "127.0.0.1", "cmdr", "--any-port"] + cmdr_args)
    sim_m, log_m = start("sim-monitor", [SIM, "--listen", "127.0.0.1", "monitor", "--any-port"] + mon_args)
    sim_v, log_v = start("sim-voice", [SIM, "--listen", "127.0.0.1", "voice", "--any-port"] + voice_args)
    port_c, port_m, port_v = (listening_port(log_c, sim_c), listening_port(log_m, sim_m),
                              listening_port(log_v, sim_v))
    subprocess.run([CLI, "--dir", run_dir, "db", "init"], check=True, stdout=subprocess.DEVNULL)
    cli, log_cli = start("collect", [CLI, "--dir", run_dir, "collect", "--cmdr", "127.0.0.1:%d" % port_c,
                                     "--monitor", "127.0.0.1:%d,soakpass-12AB" % port_m,
                                     "--voice", "127.0.0.1:%d" % port_v])
    samples = []
    t0 = time.monotonic()
    while time.monotonic() - t0 < SECONDS:
        if cli.poll() is not None:
            print("soak: collect ended early (exit %s)" % cli.returncode)
            break
        r = rss_kb(cli.pid)
        if r is not None:
            samples.append((time.monotonic() - t0, r))
        time.sleep(min(2.0, max(0.2, SECONDS / 300)))

    # Let the simulators finish what they started (a short drain).
    def finished():
        c = lines_of(log_c)
        m = lines_of(log_m)
        done_v = sum(1 for l in lines_of(log_v) if l.startswith("done "))
        mp3s = [n for n in os.listdir(os.path.join(run_dir, "Wav")) if n.endswith(".mp3")]
        return "done" in c and "done" in m and done_v >= voice_count and len(mp3s) >= voice_count

    drain_start = time.monotonic()
    while not finished() and time.monotonic() - drain_start < 60 and cli.poll() is None:
        time.sleep(0.5)
    drained = finished()
    collect_rc = cli.poll()
    if collect_rc is None:
        cli.send_signal(signal.SIGTERM)
        try:
            collect_rc = cli.wait(timeout=60)
        except subprocess.TimeoutExpired:
            cli.kill()
            collect_rc = "killed after SIGTERM"
finally:
    stop_all()

# --- Checks ---------------------------------------------------------------------
failures = []


def check(ok, text):
    print(("  ok    " if ok else "  FAIL  ") + text)
    if not ok:
        failures.append(text)


print("soak: results")
check(drained, "the simulators finished their material within 60 s after the run")
check(collect_rc == 0, "collect ended cleanly on SIGTERM (exit %s)" % collect_rc)

# CMDR: frames acknowledged; kinds A-E give one Cdata row each, kind F none.
# Call records (A) pass the store's duplicate test, so a frame sent again
# after a dropped line is stored once; records of the other kinds are stored
# every time they arrive, so the frames of the unacknowledged batch of a
# dropped line may be stored twice.
log_lines = lines_of(log_c)
acks = [int(l.split()[1]) for l in log_lines if l.startswith("ack ")]
acked = max(acks) if acks else 0
expected_rows = sum(1 for i in range(acked) if i % 6 != 5)
resent = set()
last_ack = 0
for l in log_lines:
    if l.startswith("ack "):
        last_ack = int(l.split()[1])
    elif l == "dropping the line":
        drop_after = int(cmdr_args[cmdr_args.index("--drop-after") + 1])
        resent |= set(range(last_ack, drop_after))  # 0-based frame numbers
drops = sum(1 for l in log_lines if l == "dropping the line")
resent_other = sum(1 for i in resent if i % 6 in (1, 2, 3, 4))
db = sqlite3.connect(os.path.join(run_dir, "Lumarc.mdb"))
cols = [r[1] for r in db.execute("PRAGMA table_info(Cdata)") if r[1].lower() != "sqno"]
rows = db.execute("SELECT COUNT(*) FROM Cdata").fetchone()[0]
groups = ",".join('"%s"' % c for c in cols)
dups_a = db.execute("SELECT COUNT(*) FROM (SELECT COUNT(*) AS n FROM Cdata WHERE type = 'A' GROUP BY %s HAVING n > 1)"
                    % groups).fetchone()[0]
dups_other = db.execute("SELECT COALESCE(SUM(n - 1), 0) FROM (SELECT COUNT(*) AS n FROM Cdata WHERE type <> 'A' "
                        "GROUP BY %s HAVING n > 1)" % groups).fetchone()[0]
db.close()
print("  cmdr: %d frames sent, %d acknowledged, %d line drops (%d frames sent again, %d of them not calls), "
      "%d Cdata rows (%d + %d), call duplicates %d, other duplicates %d" %
      (cmdr_count, acked, drops, len(resent), resent_other, rows, expected_rows, resent_other, dups_a, dups_other))
check(acked == cmdr_count, "every CMDR frame acknowledged")
check(rows == expected_rows + dups_other and dups_a == 0 and dups_other <= resent_other,
      "every CMDR record stored, call records exactly once, others at most once more when sent again")
check(not os.path.exists(os.path.join(run_dir, "fcmdr.txt")), "no record went to fcmdr.txt")

# Monitor: one frame-file line per acknowledged record, in order, none twice.
mon_acks = sum(1 for l in lines_of(log_m) if l.startswith("ack "))
faults = {k: sum(1 for l in lines_of(log_m) if l.startswith(k + " ")) for k in ("lost", "corrupted", "repeated",
                                                                                 "foreign", "resent")}
frm = os.path.join(run_dir, "logM00.frm")
frames = [l for l in lines_of(frm) if l.strip() and not l.startswith("#")] if os.path.exists(frm) else []
in_order = True
for i, line in enumerate(frames):
    hexframe = line.split()[2] if len(line.split()) >= 3 else ""
    if len(hexframe) != 240 or int(hexframe[24:26], 16) != (i // 60) % 60 or int(hexframe[26:28], 16) != i % 60:
        in_order = False
        break
print("  monitor: %d records sent, %d acknowledged, %d in the frame file; faults %s" %
      (mon_count, mon_acks, len(frames), ", ".join("%s %d" % kv for kv in faults.items())))
check(mon_acks == mon_count, "every monitor record acknowledged")
check(len(frames) == mon_acks and in_order, "every monitor record kept exactly once, in order")

# Voice: one Vdata00 row per recording, converted, and the MP3 is the one the
# simulator's own file gives.
vdb = sqlite3.connect(os.path.join(run_dir, "Wav", "LumarcVt.mdb"))
vrows = vdb.execute("SELECT rcdfn, rcdfx, rcdtime FROM Vdata00").fetchall()
vdb.close()
vfaults = {k: sum(1 for l in lines_of(log_v) if l.startswith(k + " reply")) for k in ("lost", "stale", "duplicate")}
leftovers = [n for n in os.listdir(os.path.join(run_dir, "Wav")) if n.endswith((".apc", ".tmp")) or
             n.startswith("tmp.")]
by_time = {}
for rcdfn, rcdfx, rcdtime in vrows:
    by_time.setdefault(rcdtime, []).append((rcdfn, rcdfx))
whole = 0
mismatched = []
for i, (name, body) in enumerate(voice_files):
    # The simulator's file i carries the time 10:mm:ss with mm:ss = i.
    t = 0x100000 | ((i // 60) // 10) << 12 | ((i // 60) % 10) << 8 | ((i % 60) // 10) << 4 | (i % 60) % 10
    found = by_time.get(t, [])
    if len(found) != 1 or found[0][1].lower() != "mp3":
        mismatched.append(name)
        continue
    ref = os.path.join(ref_dir, name)
    shutil.copy(os.path.join(apc_dir, name), ref)
    subprocess.run([CLI, "convert", ref], check=False, stdout=subprocess.DEVNULL)
    got = found[0][0] + ".mp3"
    if os.path.exists(got) and os.path.exists(ref[:-4] + ".mp3"):
        with open(got, "rb") as a, open(ref[:-4] + ".mp3", "rb") as b:
            if hashlib.sha1(a.read()).digest() == hashlib.sha1(b.read()).digest():
                whole += 1
                continue
    mismatched.append(name)
print("  voice: %d recordings sent, %d rows, %d converted and identical to the reference MP3; faults %s" %
      (voice_count, len(vrows), whole, ", ".join("%s %d" % kv for kv in vfaults.items())))
check(len(vrows) == voice_count and whole == voice_count,
      "every recording stored once, whole and converted" + (" (not: %s)" % ",".join(mismatched[:8])
                                                            if mismatched else ""))
check(not leftovers, "no scratch or unconverted files left in Wav" + (" (%s)" % leftovers[:4] if leftovers else ""))

# Memory: the last quarter of the run against the second (after warm-up).
if len(samples) >= 8:
    q = len(samples) // 4
    early = statistics.median(r for _, r in samples[q:2 * q])
    late = statistics.median(r for _, r in samples[3 * q:])
    peak = max(r for _, r in samples)
    growth = late - early
    print("  memory: %d samples, first %d kB, second quarter %d kB, last quarter %d kB, peak %d kB, growth %+d kB"
          % (len(samples), samples[0][1], early, late, peak, growth))
    check(growth <= max(2048, early * 0.05), "collect's memory stayed flat (growth at most 5 % or 2 MB)")
else:
    check(False, "enough memory samples")

if KEEP or failures:
    print("soak: files kept in %s" % work)
else:
    shutil.rmtree(work, ignore_errors=True)
print("soak: %s" % ("PASSED" if not failures else "FAILED (%d)" % len(failures)))
sys.exit(1 if failures else 0)
