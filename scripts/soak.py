#!/usr/bin/env python3
"""The soak run of scripts/soak.sh (see there). Everything on 127.0.0.1."""
import atexit
import errno
import hashlib
import os
import random
import re
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
# soak.sh runs this script in a private mount namespace when it can (root):
# a tmpfs mounted there vanishes with the run.
PRIVATE_MOUNTS = os.environ.get("SOAK_PRIVATE_MOUNTS") == "1"
FULL_CAUSES = ("database or disk is full", "No space left on device")
TMPFS_SIZE = "32m"
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


def start(name, args, err=None):
    log = open(os.path.join(work, name + ".log"), "w")
    p = subprocess.Popen(args, stdout=log, stderr=open(err, "w") if err else subprocess.STDOUT, cwd=work)
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
# One reconnection fits in the run when it is long enough: either the
# simulator drops the line in the middle of a batch, or (as root) the disk
# under the working folder fills up, the collector closes the line itself
# because a pass can be kept nowhere, and reconnects after the wait.
long_enough = SECONDS >= RECONNECT_WAIT + 120
full_disk_skip = None
if os.geteuid() != 0:
    full_disk_skip = "not running as root (the working folder needs a small tmpfs)"
elif not long_enough:
    full_disk_skip = "the run is shorter than %d s (the collector reconnects %d s after a full disk)" % (
        RECONNECT_WAIT + 120, RECONNECT_WAIT)
elif os.environ.get("SOAK_FULL_DISK") == "0":
    full_disk_skip = "SOAK_FULL_DISK=0"
mounted = False


bound = []


def unmount():
    global mounted
    while bound:
        subprocess.run(["umount", bound.pop()], check=False)
    if mounted:
        subprocess.run(["umount", run_dir], check=False)
        mounted = False


if full_disk_skip is None:
    r = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%s,mode=0755" % TMPFS_SIZE, "corvane-soak", run_dir],
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if r.returncode == 0:
        mounted = True
        atexit.register(unmount)
    else:
        full_disk_skip = "cannot mount a tmpfs on the working folder (%s)" % r.stdout.strip()
full_disk = full_disk_skip is None
cmdr_drop = long_enough and not full_disk
# Storage refusals: a trigger refuses about one Cdata insert in refuse_one_in
# (the record goes to fcmdr.txt), another one Pdata update in
# counters_one_in (the record stays stored).
refuse_one_in = rng.choice([8, 15, 30])
counters_one_in = rng.choice([20, 50])
# Time a batch takes: the pause, the acknowledgement, 10 ms per split piece.
batch_ms = cmdr_pause_ms + 100 + (cmdr_batch * ((154 + cmdr_split - 1) // cmdr_split) * 10 if cmdr_split else 0)
active = SECONDS - (RECONNECT_WAIT + 30 if long_enough else 0)
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
print("soak: storage refuses about 1 in %d Cdata inserts and 1 in %d Pdata updates" % (refuse_one_in,
                                                                                      counters_one_in))
if full_disk_skip:
    print("soak: full-disk phase skipped: %s" % full_disk_skip)
sys.stdout.flush()

# --- The full-disk phase ----------------------------------------------------------
# The working folder is a small tmpfs; the voice folder links to the ordinary
# disk and the monitor's frame file is a file of the ordinary disk mounted
# over its name (the link removes and creates it, which a link would not
# survive), so that the full disk meets the CMDR store (Lumarc.mdb,
# fcmdr.txt) and the link logs only. At fill_at the
# database's write-ahead log is emptied (so that its next commit needs new
# space) and a filler file takes every free byte; the disk stays full until
# the collector has reported it and HOLD_AFTER seconds more (HOLD_MAX at
# most), then the filler goes.
HOLD_MAX, HOLD_AFTER = 60, 10
db_path = os.path.join(run_dir, "Lumarc.mdb")
filler = os.path.join(run_dir, "filler")
collect_err = os.path.join(work, "collect.err")
disk = {"phase": "before", "at": rng.uniform(0.15, 0.35) * active, "filled": None, "freed": None,
        "cause": None, "cause_text": "", "bytes": 0, "err_from": 0}
if full_disk:
    off_disk = os.path.join(work, "disk")
    os.makedirs(os.path.join(off_disk, "Wav"))
    os.symlink(os.path.join(off_disk, "Wav"), os.path.join(run_dir, "Wav"))
    frm_on_disk, frm_in_run = os.path.join(off_disk, "logM00.frm"), os.path.join(run_dir, "logM00.frm")
    open(frm_on_disk, "w").close()
    open(frm_in_run, "w").close()
    if subprocess.run(["mount", "--bind", frm_on_disk, frm_in_run]).returncode == 0:
        bound.append(frm_in_run)
    print("soak: full disk: tmpfs of %s on the working folder, filled at %.0f s" % (TMPFS_SIZE, disk["at"]))


def fill_disk():
    try:
        c = sqlite3.connect(db_path, timeout=10)
        for _ in range(20):
            if c.execute("PRAGMA wal_checkpoint(TRUNCATE)").fetchone()[0] == 0:
                break
            time.sleep(0.1)
        c.close()
    except sqlite3.Error as e:
        print("soak: checkpoint before the full disk: %s" % e)
    fd = os.open(filler, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
    chunk = b"\0" * (1 << 20)
    try:
        while True:
            try:
                n = os.write(fd, chunk)
            except OSError as e:
                if e.errno == errno.ENOSPC:
                    break
                raise
            if n <= 0:
                break
            disk["bytes"] += n
    finally:
        os.close(fd)


def free_disk(t):
    if os.path.exists(filler):
        os.unlink(filler)
    disk["phase"], disk["freed"] = "freed", t


def full_disk_step(t):
    if disk["phase"] == "before" and t >= disk["at"]:
        disk["err_from"] = os.path.getsize(collect_err) if os.path.exists(collect_err) else 0
        fill_disk()
        disk["phase"], disk["filled"] = "full", t
        print("soak: %.0f s: disk full (%d kB filler)" % (t, disk["bytes"] // 1024))
        sys.stdout.flush()
    elif disk["phase"] == "full":
        if disk["cause"] is None:
            with open(collect_err, errors="replace") as f:
                f.seek(disk["err_from"])
                for line in f:
                    if any(c in line for c in FULL_CAUSES):
                        disk["cause"], disk["cause_text"] = t, line.strip()
                        break
        if (disk["cause"] is not None and t - disk["cause"] >= HOLD_AFTER) or t - disk["filled"] >= HOLD_MAX:
            free_disk(t)
            print("soak: %.0f s: disk freed" % t)
            sys.stdout.flush()


# --- Run ------------------------------------------------------------------------
try:
    sim_c, log_c = start("sim-cmdr", [SIM, "--listen", "127.0.0.1", "cmdr", "--any-port"] + cmdr_args)
    sim_m, log_m = start("sim-monitor", [SIM, "--listen", "127.0.0.1", "monitor", "--any-port"] + mon_args)
    sim_v, log_v = start("sim-voice", [SIM, "--listen", "127.0.0.1", "voice", "--any-port"] + voice_args)
    port_c, port_m, port_v = (listening_port(log_c, sim_c), listening_port(log_m, sim_m),
                              listening_port(log_v, sim_v))
    subprocess.run([CLI, "--dir", run_dir, "db", "init"], check=True, stdout=subprocess.DEVNULL)
    db = sqlite3.connect(db_path)
    db.execute("CREATE TRIGGER soak_refuse_row BEFORE INSERT ON Cdata WHEN abs(random()) %% %d = 0 "
               "BEGIN SELECT RAISE(ABORT, 'soak: row refused'); END" % refuse_one_in)
    db.execute("CREATE TRIGGER soak_refuse_counters BEFORE UPDATE ON Pdata WHEN abs(random()) %% %d = 0 "
               "BEGIN SELECT RAISE(ABORT, 'soak: counters refused'); END" % counters_one_in)
    db.commit()
    db.close()
    cli, log_cli = start("collect", [CLI, "--dir", run_dir, "collect", "--cmdr", "127.0.0.1:%d" % port_c,
                                     "--monitor", "127.0.0.1:%d,soakpass-12AB" % port_m,
                                     "--voice", "127.0.0.1:%d" % port_v], err=collect_err)
    samples = []
    t0 = time.monotonic()
    while time.monotonic() - t0 < SECONDS:
        if cli.poll() is not None:
            print("soak: collect ended early (exit %s)" % cli.returncode)
            break
        r = rss_kb(cli.pid)
        if r is not None:
            samples.append((time.monotonic() - t0, r))
        if full_disk:
            full_disk_step(time.monotonic() - t0)
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
    if full_disk and disk["phase"] != "freed" and os.path.exists(filler):
        os.unlink(filler)

# --- Checks ---------------------------------------------------------------------
failures = []


def check(ok, text):
    print(("  ok    " if ok else "  FAIL  ") + text)
    if not ok:
        failures.append(text)


print("soak: results")
check(drained, "the simulators finished their material within 60 s after the run")
check(collect_rc == 0, "collect ended cleanly on SIGTERM (exit %s)" % collect_rc)

# CMDR: every acknowledged frame of kinds A-E is kept, in Cdata or in
# fcmdr.txt (the records the database refused: the trigger, the full disk);
# kind F gives no record. Call records (A) pass the store's duplicate test,
# so a frame sent again after a reconnection is kept once across the two;
# records of the other kinds are stored every time they arrive, so the frames
# of a batch the line lost before its "X" may be kept twice. A record is
# known by its time: frame i carries 2024-05-06 08:00:00 plus i + 1 seconds.
DATE_RE = re.compile(r"(\d{4})[-/](\d\d)[-/](\d\d)[ T](\d\d):(\d\d):(\d\d)")


def frame_of(text):
    m = DATE_RE.search(text)
    if not m:
        return None
    y, mo, d, h, mi, se = map(int, m.groups())
    if (y, mo, d) != (2024, 5, 6):
        return None
    i = h * 3600 + mi * 60 + se - 8 * 3600 - 1
    return i if 0 <= i < cmdr_count else None


log_lines = lines_of(log_c)
acks = [int(l.split()[1]) for l in log_lines if l.startswith("ack ")]
acked = max(acks) if acks else 0
resent = set()
last_ack = 0
drops = closes = 0
dropped = False
for l in log_lines:
    if l.startswith("ack "):
        last_ack = int(l.split()[1])
    elif l == "dropping the line":
        drop_after = int(cmdr_args[cmdr_args.index("--drop-after") + 1])
        resent |= set(range(last_ack, drop_after))  # 0-based frame numbers
        drops += 1
        dropped = True
    elif l == "closed":
        if not dropped and last_ack < cmdr_count:
            # The collector closed the line before the batch's "X".
            resent |= set(range(last_ack, min(cmdr_count, last_ack + cmdr_batch)))
            closes += 1
        dropped = False
resent_other = sum(1 for i in resent if i % 6 in (1, 2, 3, 4))
in_db = [0] * cmdr_count
in_file = [0] * cmdr_count
strangers = []
db = sqlite3.connect(db_path)
rows = 0
for typ, tdate in db.execute("SELECT type, tdate FROM Cdata"):
    rows += 1
    i = frame_of(str(tdate))
    if i is None or typ != "ABCDEF"[i % 6]:
        strangers.append("Cdata %s %s" % (typ, tdate))
    else:
        in_db[i] += 1
db.close()
fcmdr = os.path.join(run_dir, "fcmdr.txt")
file_lines = [l for l in lines_of(fcmdr) if l.strip()] if os.path.exists(fcmdr) else []
for l in file_lines:
    i = frame_of(l)
    if i is None or i % 6 == 5:
        strangers.append("fcmdr.txt %r" % l[:60])
    else:
        in_file[i] += 1
kept = [in_db[i] + in_file[i] for i in range(cmdr_count)]
missing = [i for i in range(acked) if i % 6 != 5 and kept[i] == 0]
calls_twice = [i for i in range(cmdr_count) if i % 6 == 0 and kept[i] > 1]
others_too_often = [i for i in range(cmdr_count) if i % 6 in (1, 2, 3, 4) and kept[i] > 1 + (i in resent)]
dups_other = sum(max(0, kept[i] - 1) for i in range(cmdr_count) if i % 6 != 0)
in_both = sum(1 for i in range(cmdr_count) if in_db[i] and in_file[i])
err_lines = lines_of(collect_err) if os.path.exists(collect_err) else []
said_refused = sum(1 for l in err_lines if "soak: row refused" in l)
said_counters = sum(1 for l in err_lines if "soak: counters refused" in l)
said_full = {c: sum(1 for l in err_lines if c in l) for c in FULL_CAUSES}
print("  cmdr: %d frames sent, %d acknowledged, %d line drops by the simulator, %d closes by the collector "
      "(%d frames sent again, %d of them not calls), %d Cdata rows, %d fcmdr.txt lines, other records kept twice %d"
      % (cmdr_count, acked, drops, closes, len(resent), resent_other, rows, len(file_lines), dups_other))
print("  storage: collector reported %d refused rows, %d refused counter updates; %s" %
      (said_refused, said_counters, ", ".join('%d "%s"' % (n, c) for c, n in said_full.items())))
check(acked == cmdr_count, "every CMDR frame acknowledged")
check(not missing, "every acknowledged CMDR record kept, in Cdata or in fcmdr.txt" +
      (" (missing frames %s)" % missing[:8] if missing else ""))
check(not calls_twice, "every call record kept exactly once across Cdata and fcmdr.txt" +
      (" (more than once: frames %s, %d in both)" % (calls_twice[:8], in_both) if calls_twice else ""))
check(not others_too_often, "other records kept once, at most once more when sent again" +
      (" (frames %s)" % others_too_often[:8] if others_too_often else ""))
check(not strangers, "every Cdata row and fcmdr.txt line is one of the simulator's records" +
      (" (%s)" % strangers[:4] if strangers else ""))
check(said_refused == 0 or file_lines, "the rows the database refused went to fcmdr.txt")
if full_disk:
    print("  full disk: filled at %s s (%d kB filler), reported after %s s, freed at %s s" %
          ("%.0f" % disk["filled"] if disk["filled"] is not None else "-", disk["bytes"] // 1024,
           "%.1f" % (disk["cause"] - disk["filled"]) if disk["cause"] is not None else "-",
           "%.0f" % disk["freed"] if disk["freed"] is not None else "-"))
    if disk["cause_text"]:
        print("  full disk: first report: %s" % disk["cause_text"])
    check(disk["filled"] is not None and disk["bytes"] > 0, "the working folder's disk was filled")
    check(disk["cause"] is not None, "the collector printed the full-disk cause on its standard error")

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

if full_disk and mounted:
    # The tmpfs goes with the run: what it held is copied out when kept.
    if KEEP or failures:
        shutil.copytree(run_dir, os.path.join(work, "run.kept"), symlinks=True,
                        ignore=shutil.ignore_patterns("filler"))
    unmount()
if KEEP or failures:
    print("soak: files kept in %s" % work + (" (the working folder in run.kept)" if full_disk else ""))
else:
    shutil.rmtree(work, ignore_errors=True)
print("soak: %s" % ("PASSED" if not failures else "FAILED (%d)" % len(failures)))
sys.exit(1 if failures else 0)
