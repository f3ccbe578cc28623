#!/usr/bin/env python3
"""The damaged-store probe.

Makes a store with the quarv tool (a small Git history converted), damages
copies of it in many ways (bytes flipped, files cut or grown, files swapped
or removed, lines of junk, huge numbers in the containers' fields, names and
link targets that checkout must refuse, compressed blocks that expand to far
more than they take, FIFOs, links and folders where files should be), runs
every quarv command on each copy under the sanitizer build, with a time limit
and a memory limit, and counts what must never happen:

  crash          a command killed by a signal
  hang           a command still running at the time limit
  sanitizer      an AddressSanitizer, LeakSanitizer or UndefinedBehaviorSanitizer report
  memory         a command that held more than the memory limit
  output         a command that wrote more than 64 MiB to standard error
  outside        a file outside the copy's own folder (and checkout's folder) changed
  verify-passed  `verify` said the store is whole, yet checkout refused it
  verify-other   `verify` said the store is whole, yet another reader refused it

  scripts/probe.py [--mutants N] [--seed S] [--jobs J] [--timeout SECONDS]
                   [--memory MB] [--build DIR] [--keep DIR]
                   [--git-share F] [--convert-share F] [--only I]

Every mutant gets verify, log, log --json, ls, ls REV --all --json, cat REV
NAME and checkout of the newest and of a random revision; a share of them
also verify --git and convert.

The build folder (default build-asan) is configured with PELLMOR_SANITIZE and
built when its quarv is missing. --keep copies every mutant with a finding
there; --only I (with the same --seed) makes and probes mutant I alone, to
look again at what a finding names. The status is 1 when anything was
counted, and 2 when a worker of the probe itself died.
"""
import argparse
import concurrent.futures
import hashlib
import os
import random
import shutil
import signal
import stat
import struct
import subprocess
import sys
import tempfile
import threading
import time
import zlib

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
KINDS = ["crash", "hang", "sanitizer", "memory", "output", "outside", "verify-passed",
         "verify-other"]
ERR_KEPT = 1 << 20    # of a command's standard error, kept for the report
ERR_LIMIT = 64 << 20  # more than this on standard error is a finding


# ---- the base store ----------------------------------------------------------------

def git(repo, *args, env=None):
    subprocess.run(["git", "-C", repo, *args], check=True, env=env,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def make_base(folder, quarv):
    """A Git history with text, a compressed binary, an executable, a link, a
    folder, a deletion and a rename, converted into folder/work/.Quarv."""
    repo = os.path.join(folder, "work")
    os.makedirs(repo)
    env = dict(os.environ, GIT_CONFIG_NOSYSTEM="1", GIT_CONFIG_GLOBAL="/dev/null")
    git(repo, "init", "-q", "-b", "main", env=env)
    clock = [1700000000]

    def commit(message):
        clock[0] += 3600
        stamp = "@%d +0100" % clock[0]
        git(repo, "add", "-A", env=env)
        git(repo, "commit", "-q", "--allow-empty", "-m", message,
            env=dict(env, GIT_AUTHOR_NAME="Ann", GIT_AUTHOR_EMAIL="ann@example.com",
                     GIT_AUTHOR_DATE=stamp, GIT_COMMITTER_NAME="Ann",
                     GIT_COMMITTER_EMAIL="ann@example.com", GIT_COMMITTER_DATE=stamp))

    def write(name, data, mode=0o644):
        path = os.path.join(repo, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        os.chmod(path, mode)

    write("README.txt", b"A small history.\r\n")
    write("src/main.c", b"int main(void) { return 0; }\n" * 20)
    write("data.bin", bytes((i * 7) % 251 for i in range(3000)))
    write("run.sh", b"#!/bin/sh\necho hi\n", 0o755)
    os.symlink("README.txt", os.path.join(repo, "link"))
    commit("Initial import")
    write("src/main.c", b"int main(void) { return 1; }\n" * 20)
    write("caf\u00e9.txt", "caf\u00e9\n".encode())
    commit("Change main, add caf\u00e9")
    os.remove(os.path.join(repo, "README.txt"))
    write("docs/notes.txt", b"notes\n" * 50)
    commit("Drop the readme, add notes")
    os.makedirs(os.path.join(repo, "tools"))
    git(repo, "mv", "run.sh", "tools/run.sh", env=env)
    commit("Move the script")
    write("data.bin", bytes((i * 11) % 253 for i in range(5000)))
    commit("New data")
    result = subprocess.run([quarv, "convert", repo], capture_output=True, text=True)
    if result.returncode != 0:
        sys.exit("quarv convert failed on the base history:\n" + result.stderr)
    store = os.path.join(repo, ".Quarv")
    with open(os.path.join(store, "Ignore.txt"), "wb") as f:
        f.write(b"build\\out.bin\r\ndocs\\secret.txt\r\n")
    with open(os.path.join(store, "Rename.txt"), "wb") as f:
        f.write(b'"docs\\notes.txt"->"docs\\read.txt"\r\n')
    revisions = sorted(int(n[:-4]) for n in os.listdir(os.path.join(store, "Objects")))
    return repo, revisions


# ---- containers, parsed and written back --------------------------------------------

class Reader:
    def __init__(self, data):
        self.data, self.pos = data, 0

    def take(self, n):
        if n < 0 or self.pos + n > len(self.data):
            raise ValueError("short")
        chunk = self.data[self.pos:self.pos + n]
        self.pos += n
        return chunk

    def i32(self):
        at = self.pos
        return struct.unpack("<i", self.take(4))[0], at

    def string(self):
        (length, at) = self.i32()
        return (self.take(length) if length > 0 else b""), at


def parse(data):
    """The container's fields and where they stand: a dict with the header's
    values, 'fields' (name -> (offset, size)) and 'entries' (list of dicts)."""
    r = Reader(data)
    c = {"fields": {}}
    magic, at = r.string()
    c["fields"]["magic length"] = (at, 4)
    c["version"], at = r.i32()
    c["fields"]["format version"] = (at, 4)
    for name in ("number", "previous", "next"):
        c[name], at = r.i32()
        c["fields"][name] = (at, 4)
    for name in ("author", "email", "comment"):
        c[name], at = r.string()
        c["fields"][name + " length"] = (at, 4)
    c["date"] = r.take(8)
    count, at = r.i32()
    c["fields"]["count"] = (at, 4)
    entries = []
    for k in range(count):
        e = {}
        e["name"], at = r.string()
        c["fields"]["name length %d" % k] = (at, 4)
        e["version"], at = r.i32()
        c["fields"]["version %d" % k] = (at, 4)
        e["deleted"], e["islink"], e["compressed"], e["kind"] = r.take(4)
        e["datarev"], at = r.i32()
        c["fields"]["data revision %d" % k] = (at, 4)
        e["hash"] = r.take(32)
        e["attributes"], at = r.i32()
        c["fields"]["attributes %d" % k] = (at, 4)
        e["times"] = r.take(24)
        if e["islink"]:
            e["linkname"], at = r.string()
            c["fields"]["link name length %d" % k] = (at, 4)
        else:
            e["linkname"] = None
        c["fields"]["content offset %d" % k] = (r.pos, 8)
        (e["offset"],) = struct.unpack("<q", r.take(8))
        entries.append(e)
    for k, e in enumerate(entries):
        if 0 <= e["offset"] <= len(data) - 4:
            (length,) = struct.unpack_from("<i", data, e["offset"])
            c["fields"]["block length %d" % k] = (e["offset"], 4)
            e["block"] = data[e["offset"] + 4:e["offset"] + 4 + max(length, 0)]
        else:
            e["block"] = b""
    c["entries"] = entries
    return c


def serialize(c):
    out = bytearray()

    def i32(v):
        out.extend(struct.pack("<i", v))

    def string(s):
        i32(len(s))
        out.extend(s)

    string(b"Quarv")
    for v in (1, c["number"], c["previous"], c["next"]):
        i32(v)
    for name in ("author", "email", "comment"):
        string(c[name])
    out.extend(c["date"])
    i32(len(c["entries"]))
    slots = []
    for e in c["entries"]:
        string(e["name"])
        i32(e["version"])
        out.extend(bytes([e["deleted"], 1 if e["linkname"] is not None else 0,
                          e["compressed"], e["kind"]]))
        i32(e["datarev"])
        out.extend(e["hash"])
        out.extend(struct.pack("<I", e["attributes"] & 0xFFFFFFFF))
        out.extend(e["times"])
        if e["linkname"] is not None:
            string(e["linkname"])
        slots.append(len(out))
        out.extend(b"\0" * 8)
    for e, slot in zip(c["entries"], slots):
        struct.pack_into("<q", out, slot, len(out))
        string(e["block"])
    return bytes(out)


def digest(data):
    return bytes(32) if not data else hashlib.sha256(data).digest()


def set_bytes(e, number, data):
    """Gives entry e of container `number` these bytes, stored as the store stores them."""
    e["datarev"] = number
    e["hash"] = digest(data)
    e["compressed"] = 1 if len(data) > 255 else 0
    e["block"] = zlib.compress(data, 9) if e["compressed"] else data


# ---- the mutations ------------------------------------------------------------------

JUNK_LINES = [b"0.dat", b"-3.dat", b"2147483647.dat", b"2147483648.dat", b"99999999999.dat",
              b"1.dat\0", b"\0", b"", b"   ", b"1.dat", b"../../x.dat", b"\x1b[2J", b"a" * 5000,
              b'"a"->"b"', b'"..\\x"->"y"', b'"x"->""', b'""->"..\\..\\y"', b"notes.txt",
              b"+1.dat", b"1.dat\\x", b"C:1.dat", "caf\u00e9".encode()]
HUGE = [0, -1, 1, 2, 0x7FFFFFFF, -0x80000000, 0xFFFF, 0x10000, 1000000]
BAD_NAMES = [b"..\\escape.txt", b"dir\\" + b"n" * 300, b"nul\0name", b"two\nlines", b".git\\config",
             b"", b"\\abs", b"a\\\\b", b"docs/notes.txt", b"SRC\\MAIN.C", b"esc\x1b[31m",
             b"tools\\run.sh\\below"]


def store_files(work):
    store = os.path.join(work, ".Quarv")
    files = []
    for folder, _, names in os.walk(store):
        files.extend(os.path.join(folder, n) for n in names)
    return sorted(files)


def containers(work):
    objects = os.path.join(work, ".Quarv", "Objects")
    return sorted(os.path.join(objects, n) for n in os.listdir(objects) if n.endswith(".dat"))


def read(path):
    """A store file's bytes. Anything but a regular file (a FIFO, a link to
    /dev/zero that an earlier mutation made) is refused: opening it could block
    the probe, reading it could fill the probe's own memory."""
    if not stat.S_ISREG(os.lstat(path).st_mode):
        raise OSError("not a regular file: " + path)
    with open(path, "rb") as f:
        return f.read()


def write(path, data):
    if os.path.islink(path) or os.path.exists(path) and not os.path.isfile(path):
        remove(path)
    with open(path, "wb") as f:
        f.write(data)


def remove(path):
    if os.path.isdir(path) and not os.path.islink(path):
        shutil.rmtree(path)
    elif os.path.lexists(path):
        os.remove(path)


def pick_file(rng, work):
    files = store_files(work)
    # Containers hold most of the format: weigh them up.
    return rng.choice(files + containers(work) * 2)


def m_flip(rng, work, ctx):
    path = pick_file(rng, work)
    data = bytearray(read(path))
    if not data:
        return "flip (empty file)"
    for _ in range(rng.randint(1, 8)):
        data[rng.randrange(len(data))] ^= rng.randint(1, 255)
    write(path, bytes(data))
    return "flip bytes in " + os.path.relpath(path, work)


def m_cut(rng, work, ctx):
    path = pick_file(rng, work)
    data = read(path)
    write(path, data[:rng.randint(0, max(len(data) - 1, 0))])
    return "cut " + os.path.relpath(path, work)


def m_insert(rng, work, ctx):
    path = pick_file(rng, work)
    data = read(path)
    at = rng.randint(0, len(data))
    write(path, data[:at] + os.urandom(rng.randint(1, 64)) + data[at:])
    return "insert bytes into " + os.path.relpath(path, work)


def m_swap(rng, work, ctx):
    files = store_files(work)
    a, b = rng.sample(files, 2)
    da, db = read(a), read(b)
    write(a, db)
    write(b, da)
    return "swap %s and %s" % (os.path.relpath(a, work), os.path.relpath(b, work))


def m_remove(rng, work, ctx):
    path = pick_file(rng, work)
    remove(path)
    return "remove " + os.path.relpath(path, work)


def m_junk_lines(rng, work, ctx):
    name = rng.choice(["History.txt", "Rename.txt", "Ignore.txt"])
    path = os.path.join(work, ".Quarv", name)
    lines = read(path).split(b"\r\n") if os.path.exists(path) else []
    for _ in range(rng.randint(1, 4)):
        lines.insert(rng.randint(0, len(lines)), rng.choice(JUNK_LINES))
    write(path, rng.choice([b"\r\n", b"\n", b"\r"]).join(lines))
    return "junk lines in " + name


def m_huge_number(rng, work, ctx):
    path = rng.choice(containers(work))
    data = bytearray(read(path))
    c = parse(bytes(data))
    field = rng.choice(sorted(c["fields"]))
    at, size = c["fields"][field]
    value = rng.choice(HUGE + [len(data), len(data) - 3, rng.randint(-(1 << 31), (1 << 31) - 1)])
    if size == 8:
        value = rng.choice([value, 1 << 32, 1 << 62, -(1 << 63)])
        struct.pack_into("<q", data, at, value)
    else:
        struct.pack_into("<I", data, at, value & 0xFFFFFFFF)
    write(path, bytes(data))
    return "%s of %s = %d" % (field, os.path.basename(path), value)


def m_bad_name(rng, work, ctx):
    path = rng.choice(containers(work))
    c = parse(read(path))
    live = [e for e in c["entries"] if not e["deleted"]]
    e = rng.choice(live)
    e["name"] = rng.choice(BAD_NAMES)
    write(path, serialize(c))
    return "name %r in %s" % (e["name"][:40], os.path.basename(path))


def m_bad_link(rng, work, ctx):
    path = rng.choice(containers(work))
    c = parse(read(path))
    e = rng.choice(c["entries"])
    target = rng.choice([b"", b"a\0b", b"t" * 5000, b"/etc/passwd", b"../../../outside"])
    e["deleted"] = 0
    e["attributes"] = 0x400
    set_bytes(e, c["number"], target)
    write(path, serialize(c))
    return "link %s -> %r in %s" % (e["name"][:40], target[:20], os.path.basename(path))


def m_duplicate(rng, work, ctx):
    path = rng.choice(containers(work))
    c = parse(read(path))
    e = dict(rng.choice(c["entries"]))
    e["name"] = e["name"].upper() if rng.random() < 0.5 else e["name"].replace(b"\\", b"/")
    c["entries"].append(e)
    write(path, serialize(c))
    return "a name twice in " + os.path.basename(path)


def m_data_revision(rng, work, ctx):
    path = rng.choice(containers(work))
    c = parse(read(path))
    e = rng.choice(c["entries"])
    e["datarev"] = rng.choice([0, -1, c["number"] - 1, c["number"] + 1, 0x7FFFFFFF])
    write(path, serialize(c))
    return "data revision %d in %s" % (e["datarev"], os.path.basename(path))


def m_bomb(rng, work, ctx):
    """A compressed block of zeros: one that a real file could be (its digest
    right), or one that expands past what any content can hold."""
    path = rng.choice(containers(work))
    c = parse(read(path))
    e = rng.choice(c["entries"])
    size, block, hashed = rng.choice(ctx["bombs"])
    e["deleted"] = 0
    e["datarev"] = c["number"]
    e["compressed"] = 1
    e["block"] = block
    e["hash"] = hashed
    e["attributes"] = rng.choice([0x80, 0x400])
    write(path, serialize(c))
    return "%d MiB bomb as %s in %s" % (size >> 20, e["name"][:40], os.path.basename(path))


def m_special(rng, work, ctx):
    choices = store_files(work) + [os.path.join(work, ".Quarv", "Objects", "%d.dat" % n)
                                   for n in (ctx["newest"] + 1, 99)]
    path = rng.choice(choices)
    remove(path)
    kind = rng.choice(["fifo", "fifo", "folder", "link to /dev/zero", "link outside",
                       "link loop", "dangling link"])
    if kind == "fifo":
        os.mkfifo(path)
    elif kind == "folder":
        os.mkdir(path)
    elif kind == "link to /dev/zero":
        os.symlink("/dev/zero", path)
    elif kind == "link outside":
        os.symlink(ctx["outside_file"], path)
    elif kind == "link loop":
        os.symlink(os.path.basename(path), path)
    else:
        os.symlink("/nonexistent/x", path)
    return "%s at %s" % (kind, os.path.relpath(path, work))


def m_index(rng, work, ctx):
    src = rng.choice(containers(work))
    data = bytearray(read(src))
    if rng.random() < 0.5 and len(data) >= 17:
        struct.pack_into("<i", data, 13, 0)
    write(os.path.join(work, ".Quarv", "Index.dat"), bytes(data))
    return "Index.dat from " + os.path.basename(src)


MUTATIONS = [(m_flip, 6), (m_cut, 3), (m_insert, 2), (m_swap, 2), (m_remove, 1),
             (m_junk_lines, 3), (m_huge_number, 6), (m_bad_name, 2), (m_bad_link, 2),
             (m_duplicate, 1), (m_data_revision, 1), (m_bomb, 1), (m_special, 2),
             (m_index, 1)]


def mutate(rng, work, ctx):
    """Applies one mutation, or two in a row. A second one may find the store
    no longer as it expects (a container the first removed or cut short): it
    is then drawn again, and the mutant keeps what has been done."""
    functions = [f for f, weight in MUTATIONS for _ in range(weight)]
    done = []
    wanted = 1 if rng.random() < 0.7 else 2
    for _ in range(20):
        if len(done) == wanted:
            break
        try:
            done.append(rng.choice(functions)(rng, work, ctx))
        except (OSError, ValueError, IndexError, struct.error):
            continue
    return "; ".join(done) if done else "none applied"


# ---- running the commands -----------------------------------------------------------

def run(command, timeout, memory_mb):
    """Runs a command; returns (status, standard error's first MiB, its whole
    length, timed out, peak MiB). The status is negative for a signal."""
    env = dict(os.environ, ASAN_OPTIONS="hard_rss_limit_mb=%d" % memory_mb,
               UBSAN_OPTIONS="print_stacktrace=1", LC_ALL="C")
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                               stdin=subprocess.DEVNULL, env=env, start_new_session=True)
    timer = threading.Timer(timeout, lambda: os.killpg(process.pid, signal.SIGKILL))
    timer.start()
    # Kept to its first MiB, so that a command that writes without end is
    # counted instead of taking the probe's own memory.
    err = bytearray()
    err_bytes = 0
    while True:
        chunk = process.stderr.read(1 << 16)
        if not chunk:
            break
        err_bytes += len(chunk)
        if len(err) < ERR_KEPT:
            err += chunk[:ERR_KEPT - len(err)]
    process.stderr.close()
    _, status, usage = os.wait4(process.pid, 0)
    process.returncode = 0  # reaped here, with its resource use
    timed_out = not timer.is_alive()
    timer.cancel()
    code = -os.WTERMSIG(status) if os.WIFSIGNALED(status) else os.WEXITSTATUS(status)
    return code, bytes(err), err_bytes, timed_out, usage.ru_maxrss / 1024


def tree_state(folder):
    state = {}
    for path, dirs, names in os.walk(folder):
        for name in dirs + names:
            full = os.path.join(path, name)
            st = os.lstat(full)
            state[full] = (st.st_mode, st.st_size, st.st_mtime_ns)
    return state


def probe_one(args):
    index, seed, base, quarv, options = args
    rng = random.Random(seed)
    ctx = options["ctx"]
    root = tempfile.mkdtemp(prefix="probe-%d-" % index, dir=options["scratch"])
    work = os.path.join(root, "work")
    shutil.copytree(base, work, symlinks=True)
    outside = os.path.join(root, "outside")
    os.mkdir(outside)
    ctx = dict(ctx, outside_file=os.path.join(outside, "victim.txt"))
    with open(ctx["outside_file"], "wb") as f:
        f.write(b"must stay as it is\n")
    what = mutate(rng, work, ctx)
    watched = tree_state(outside)

    newest = ctx["newest"]
    revision = str(rng.randint(1, newest))
    name = rng.choice(ctx["names"])
    commands = [("verify", [quarv, "verify", work]),
                ("log", [quarv, "log", work]),
                ("log --json", [quarv, "log", work, "--json", "--reverse"]),
                ("ls", [quarv, "ls", work]),
                ("ls --all --json", [quarv, "ls", work, revision, "--all", "--json"]),
                ("cat", [quarv, "cat", work, revision, name])]
    for r in sorted({str(newest), revision}):
        commands.append(("checkout " + r,
                         [quarv, "checkout", work, r, os.path.join(root, "dest-" + r)]))
    if rng.random() < options["git_share"]:
        commands.append(("verify --git", [quarv, "verify", work, "--git"]))
    if rng.random() < options["convert_share"]:
        commands.append(("convert", [quarv, "convert", work, "--force"]))

    findings = []
    results = {}
    for label, command in commands:
        status, err, err_bytes, timed_out, peak_mb = run(command, options["timeout"],
                                                         options["memory"])
        text = err.decode("utf-8", "replace")
        results[label] = (status, text)
        first = text.strip().splitlines()[0][:160] if text.strip() else ""
        reports = [line for line in text.splitlines()
                   if "ERROR: AddressSanitizer" in line or "ERROR: LeakSanitizer" in line or
                   "runtime error:" in line]
        if timed_out:
            findings.append(("hang", label, first))
        elif reports and "rss limit" in reports[0]:
            findings.append(("memory", label, reports[0][:160]))
        elif reports:
            findings.append(("sanitizer", label, reports[0][:160]))
        elif status < 0:
            findings.append(("crash", label, "signal %d %s" % (-status, first)))
        elif peak_mb > options["memory"]:
            findings.append(("memory", label, "%d MiB" % peak_mb))
        if err_bytes > ERR_LIMIT:
            findings.append(("output", label, "%d MiB on standard error: %s" %
                             (err_bytes >> 20, first)))
    if tree_state(outside) != watched:
        findings.append(("outside", "-", "the folder beside the store changed"))
    if results["verify"][0] == 0:
        for label, (status, text) in results.items():
            if status == 0 or label.startswith("verify") or label == "convert":
                continue
            # A name the chosen revision does not hold is no fault of the store.
            if label == "cat" and (text.startswith("No file") or "is deleted in revision" in text):
                continue
            kind = "verify-passed" if label.startswith("checkout") else "verify-other"
            findings.append((kind, label, "exit %d: %s" % (status, text.strip()[:160])))
    if findings and options["keep"]:
        shutil.copytree(root, os.path.join(options["keep"], "mutant-%d" % index), symlinks=True)
    shutil.rmtree(root, ignore_errors=True)
    return index, what, findings, len(commands)


def zeros_bomb(size, right_digest):
    """(size, a zlib stream of size zero bytes, a digest): the stream is one
    compressed mebibyte repeated (a full flush ends each on a byte boundary),
    so that it is made in a moment whatever the size; the digest is the right
    one when asked, else another."""
    mebibyte = bytes(1 << 20)
    z = zlib.compressobj(9)
    first = z.compress(mebibyte) + z.flush(zlib.Z_FULL_FLUSH)
    repeated = z.compress(mebibyte) + z.flush(zlib.Z_FULL_FLUSH)
    count = size >> 20
    # Adler-32 of n zero bytes: the first sum stays 1, the second is n.
    check = ((size % 65521) << 16) | 1
    block = first + repeated * (count - 1) + b"\x03\x00" + struct.pack(">I", check)
    if right_digest:
        h = hashlib.sha256()
        for _ in range(count):
            h.update(mebibyte)
        return size, block, h.digest()
    return size, block, bytes(32)


def ensure_build(build):
    quarv = os.path.join(build, "bin", "quarv")
    if not os.path.exists(quarv):
        subprocess.run(["cmake", "-S", TOP, "-B", build, "-G", "Ninja",
                        "-DCMAKE_BUILD_TYPE=Debug", "-DPELLMOR_SANITIZE=ON",
                        "-DPELLMOR_BENCHMARKS=OFF"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build, "--target", "quarv"], check=True,
                   stdout=subprocess.DEVNULL)
    return quarv


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--mutants", type=int, default=1000)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--timeout", type=float, default=60.0, help="seconds per command")
    parser.add_argument("--memory", type=int, default=1024, help="MiB a command may hold")
    parser.add_argument("--git-share", type=float, default=0.3,
                        help="the share of mutants that `verify --git` also runs on")
    parser.add_argument("--convert-share", type=float, default=0.2,
                        help="the share of mutants that `convert` also runs on")
    parser.add_argument("--build", default=os.path.join(TOP, "build-asan"))
    parser.add_argument("--keep", help="copy every mutant with a finding into this folder")
    parser.add_argument("--only", type=int, help="probe this mutant alone")
    options = parser.parse_args()

    quarv = ensure_build(os.path.abspath(options.build))
    scratch = tempfile.mkdtemp(prefix="pellmor-probe-")
    try:
        base, revisions = make_base(os.path.join(scratch, "base"), quarv)
        base = os.path.dirname(base) + "/work"
        names = []
        for line in subprocess.run([quarv, "ls", base, str(revisions[-1])], capture_output=True,
                                   text=True).stdout.splitlines():
            names.append(line.split()[0].replace("\\", "/"))
        bombs = [zeros_bomb(64 << 20, True), zeros_bomb(3 << 30, False)]
        ctx = {"newest": revisions[-1], "names": names + ["no/such/file"], "bombs": bombs}
        if options.keep:
            os.makedirs(options.keep, exist_ok=True)
        shared = {"ctx": ctx, "timeout": options.timeout, "memory": options.memory,
                  "keep": options.keep and os.path.abspath(options.keep), "scratch": scratch,
                  "convert_share": options.convert_share, "git_share": options.git_share}
        indexes = [options.only] if options.only is not None else range(options.mutants)
        jobs = [(i, options.seed * 1000003 + i, base, quarv, shared) for i in indexes]
        counts = {kind: 0 for kind in KINDS}
        examples = {kind: [] for kind in KINDS}
        runs = 0
        started = time.time()
        # An executor, not a pool: a worker that dies (killed by the kernel)
        # breaks it with an error instead of leaving its mutant waiting for ever.
        with concurrent.futures.ProcessPoolExecutor(options.jobs) as executor:
            futures = [executor.submit(probe_one, job) for job in jobs]
            for done, future in enumerate(concurrent.futures.as_completed(futures), 1):
                try:
                    index, what, findings, commands = future.result()
                except concurrent.futures.process.BrokenProcessPool as error:
                    print("a worker of the probe died after %d mutants: %s" % (done - 1, error),
                          file=sys.stderr)
                    return 2
                runs += commands
                for kind, label, detail in findings:
                    counts[kind] += 1
                    if len(examples[kind]) < 5:
                        examples[kind].append("mutant %d (%s): %s: %s" % (index, what, label,
                                                                         detail))
                if done % 100 == 0:
                    print("%d mutants, %d runs, %.0f s" % (done, runs, time.time() - started),
                          file=sys.stderr)
        print("%d mutants, %d command runs in %.0f s (seed %d)" %
              (len(jobs), runs, time.time() - started, options.seed))
        for kind in KINDS:
            print("  %-14s %d" % (kind, counts[kind]))
            for example in examples[kind]:
                print("      " + example)
        return 1 if any(counts.values()) else 0
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
