#!/usr/bin/env python3
"""Kills real morvane-cli backups and checks that every restore point still restores exactly.

Two forms, each in a fresh temporary home with a local destination folder:

  random  Changes the source at random, kills `backup` with SIGKILL at a random moment, then
          completes it; after every completed run the latest point must restore equal to the source,
          and at the end every listed point must restore equal to the source as it was at its run.
  walk    After three completed runs and a source change, kills one run at each of its calls that
          change the destination (one call per attempt, from the same starting state), then completes
          it; after each attempt every listed point must exist and restore equal to its source state.
  faults  Counts the storage operations of one run (--type full, incremental, mirror or restore) through
          the program's fault seam (MORVANE_FAULT), then fails the run at one operation after another
          with EIO or ENOSPC, or kills it there: a failed run must say so, every listed point must still
          restore equal to its source state, the next run must succeed and keep every earlier point.

Environment:
  MORVANE_E2E_SEED  the random seed (printed at the start of every run, to reproduce a failure)
  MORVANE_E2E_LONG  1 for the long form (more iterations and files, every crash point walked, every
                    fault at every operation)
  MORVANE_E2E_WALK_POINTS  about how many crash points (24) or faulted operations (12) a short walk checks
  MORVANE_E2E_LEAVE_OUT  comma-separated kinds of change to leave out while narrowing a failure down:
                    odd-names, links, type-changes, hidden-changes (content or mode changes that keep
                    the modification time); folder-times leaves folder modification times out of the
                    comparison; same-second starts every run in a second of its own
"""

import argparse
import hashlib
import os
import random
import re
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import time

SKIPPED = 77
JOB = "J"
# Far above a run's length here; a run that waits out its retries fails instead of stalling the test.
CALL_TIMEOUT = 60

# Calls that change what lies under the destination, or make it durable.
STORAGE_CALLS = [
    "openat", "open", "creat", "mkdir", "mkdirat", "unlink", "unlinkat", "rmdir", "rename", "renameat",
    "renameat2", "link", "linkat", "symlink", "symlinkat", "utimensat", "fchmodat", "fchmod", "truncate",
    "ftruncate", "fsync", "fdatasync", "syncfs",
]
# Calls the startup thread makes before the run's own thread starts; a kill at the N-th of them in the
# run's thread is not reachable by counting, so the random form kills at the others.
RANDOM_KILL_CALLS = ["unlinkat", "unlink", "renameat", "renameat2", "rename", "linkat", "utimensat"]


class Failure(Exception):
    pass


def long_form():
    return os.environ.get("MORVANE_E2E_LONG", "") not in ("", "0")


def left_out(kind):
    return kind in os.environ.get("MORVANE_E2E_LEAVE_OUT", "").split(",")


def show(name):
    """A name's bytes as a readable literal."""
    return repr(bytes(name))[1:]


# --- Source trees ----------------------------------------------------------------------------------


def snapshot(root):
    """Every entry below root: relative name bytes -> what a restore must give back."""
    entries = {}

    def walk(folder, prefix):
        with os.scandir(folder) as it:
            for entry in it:
                path = os.path.join(folder, entry.name)
                rel = prefix + entry.name
                info = os.lstat(path)
                if stat.S_ISLNK(info.st_mode):
                    entries[rel] = ("link", os.readlink(path))
                elif stat.S_ISDIR(info.st_mode):
                    walk(path, rel + b"/")
                    mtime = None if left_out("folder-times") else info.st_mtime_ns
                    entries[rel] = ("folder", stat.S_IMODE(info.st_mode), mtime)
                elif stat.S_ISREG(info.st_mode):
                    with open(path, "rb") as f:
                        digest = hashlib.sha256(f.read()).hexdigest()[:16]
                    entries[rel] = ("file", stat.S_IMODE(info.st_mode), info.st_mtime_ns, info.st_size, digest)
                else:
                    entries[rel] = ("other", stat.S_IFMT(info.st_mode))

    walk(os.fsencode(root), b"")
    return entries


def differences(expected, actual, limit=12):
    lines = []
    for name in sorted(set(expected) | set(actual)):
        want, got = expected.get(name), actual.get(name)
        if want == got:
            continue
        if got is None:
            lines.append(f"  missing   {show(name)}: {want}")
        elif want is None:
            lines.append(f"  extra     {show(name)}: {got}")
        else:
            lines.append(f"  different {show(name)}: expected {want}, restored {got}")
    if len(lines) > limit:
        lines = lines[:limit] + [f"  … and {len(lines) - limit} more"]
    return lines


class SourceChanger:
    """Random changes of the kinds a home folder sees, logged so a failure can be retraced."""

    NAMES = [b"a.txt", b"b.bin", b"notes", b"line\nfeed.txt", b"bad\xff\xfename", b"cr\rname", b"empty",
             b"Gr\xc3\xb6\xc3\x9fe.txt", b"space name.txt", b"script.sh", b".hidden", b"docs", b"deep"]

    ODD_NAMES = (b"\n", b"\r", b"\xff")

    def __init__(self, rng, root, max_entries):
        self.rng = rng
        if left_out("odd-names"):
            self.NAMES = [n for n in self.NAMES if not any(c in n for c in self.ODD_NAMES)]
        self.root = os.fsencode(root)
        self.max_entries = max_entries
        self.log = []

    def entries(self):
        found = []
        for folder, folders, files in os.walk(self.root):
            for name in folders + files:
                found.append(os.path.join(folder, name))
        return sorted(found)

    def folders(self):
        return [self.root] + [p for p in self.entries() if os.path.isdir(p) and not os.path.islink(p)]

    def regular_files(self):
        return [p for p in self.entries() if os.path.isfile(p) and not os.path.islink(p)]

    def fresh_path(self, folder):
        for _ in range(20):
            name = self.rng.choice(self.NAMES)
            if self.rng.random() < 0.5:
                name += b"-" + str(self.rng.randrange(100)).encode()
            path = os.path.join(folder, name)
            if not os.path.lexists(path):
                return path
        return os.path.join(folder, b"n" + str(self.rng.randrange(10**9)).encode())

    def content(self, size=None):
        if size is None:
            size = self.rng.choice([0, 1, self.rng.randrange(2, 200), 4096, self.rng.randrange(5000, 40000)])
        return self.rng.randbytes(size)

    def rel(self, path):
        return show(os.path.relpath(path, self.root))

    def note(self, text):
        self.log.append(text)

    def write(self, path, data):
        with open(path, "wb") as f:
            f.write(data)

    # The changes; each returns False when it found nothing to act on.
    def add_file(self):
        path = self.fresh_path(self.rng.choice(self.folders()))
        data = b"" if self.rng.random() < 0.15 else self.content()
        self.write(path, data)
        self.note(f"add file {self.rel(path)} ({len(data)} bytes)")
        return True

    def add_folder(self):
        path = self.fresh_path(self.rng.choice(self.folders()))
        os.mkdir(path)
        self.write(os.path.join(path, b"inside.txt"), self.content())
        self.note(f"add folder {self.rel(path)}")
        return True

    def modify(self, keep_size=False, keep_mtime=False):
        files = self.regular_files()
        if not files:
            return False
        path = self.rng.choice(files)
        before = os.lstat(path)
        size = before.st_size if keep_size else before.st_size + self.rng.randrange(1, 3000)
        self.write(path, self.content(size))
        if keep_mtime:
            os.utime(path, ns=(before.st_atime_ns, before.st_mtime_ns))
        self.note(f"modify {self.rel(path)} size {before.st_size}->{size}" + (" mtime put back" if keep_mtime else ""))
        return True

    def touch(self):
        entries = [p for p in self.entries() if not os.path.islink(p)]
        if not entries:
            return False
        path = self.rng.choice(entries)
        when = self.rng.randrange(10**9, 17 * 10**8) * 10**9 + self.rng.randrange(10**9)
        os.utime(path, ns=(when, when))
        self.note(f"set mtime of {self.rel(path)} to {when}")
        return True

    def delete(self):
        entries = self.entries()
        if not entries:
            return False
        path = self.rng.choice(entries)
        if os.path.isdir(path) and not os.path.islink(path):
            shutil.rmtree(path)
        else:
            os.unlink(path)
        self.note(f"delete {self.rel(path)}")
        return True

    def rename(self):
        entries = self.entries()
        if not entries:
            return False
        path = self.rng.choice(entries)
        targets = [f for f in self.folders() if not (f + b"/").startswith(path + b"/")]
        target = self.fresh_path(self.rng.choice(targets))
        os.rename(path, target)
        self.note(f"rename {self.rel(path)} -> {self.rel(target)}")
        return True

    def chmod(self):
        entries = [p for p in self.entries() if not os.path.islink(p)]
        if not entries:
            return False
        path = self.rng.choice(entries)
        modes = [0o755, 0o700, 0o750, 0o775] if os.path.isdir(path) else [0o600, 0o644, 0o755, 0o700, 0o640, 0o444]
        mode = self.rng.choice(modes)
        os.chmod(path, mode)
        self.note(f"chmod {oct(mode)} {self.rel(path)}")
        return True

    def file_to_folder(self):
        files = self.regular_files()
        if not files:
            return False
        path = self.rng.choice(files)
        os.unlink(path)
        os.mkdir(path)
        self.write(os.path.join(path, b"was-a-file.txt"), self.content())
        self.note(f"replace file {self.rel(path)} by a folder")
        return True

    def folder_to_file(self):
        folders = self.folders()[1:]
        if not folders:
            return False
        path = self.rng.choice(folders)
        shutil.rmtree(path)
        self.write(path, self.content())
        self.note(f"replace folder {self.rel(path)} by a file")
        return True

    def symlink(self):
        path = self.fresh_path(self.rng.choice(self.folders()))
        kind = self.rng.choice(["file", "folder", "dangling", "outside"])
        candidates = self.regular_files() if kind == "file" else self.folders()[1:] if kind == "folder" else []
        if candidates:
            target = os.path.relpath(self.rng.choice(candidates), os.path.dirname(path))
        elif kind == "outside":
            target = b"/nonexistent/outside/target"
        else:
            target = b"missing-" + str(self.rng.randrange(1000)).encode()
        os.symlink(target, path)
        self.note(f"symlink {self.rel(path)} -> {show(target)} ({kind})")
        return True

    def change(self, count):
        actions = [
            (self.add_file, 4), (self.add_folder, 1), (lambda: self.modify(), 3),
            (lambda: self.modify(keep_size=True), 2), (lambda: self.modify(keep_mtime=True), 2),
            (lambda: self.modify(keep_size=True, keep_mtime=True), 2), (self.touch, 1), (self.delete, 2),
            (self.rename, 2), (self.chmod, 2), (self.file_to_folder, 1), (self.folder_to_file, 1),
            (self.symlink, 2),
        ]
        leave_out = {
            "links": [self.symlink],
            "type-changes": [self.file_to_folder, self.folder_to_file],
            "hidden-changes": [actions[4][0], actions[5][0], self.chmod],
        }
        dropped = [a for kind, kinds in leave_out.items() if left_out(kind) for a in kinds]
        actions = [(a, w) for a, w in actions if a not in dropped]
        self.log = []
        done = 0
        while done < count:
            if len(self.entries()) > self.max_entries:
                action = self.delete
            else:
                action = self.rng.choices([a for a, _ in actions], [w for _, w in actions])[0]
            if action():
                done += 1
        return self.log


# --- The command-line tool in a temporary home ---------------------------------------------------------


class Home:
    def __init__(self, cli, root):
        self.cli = cli
        self.root = root
        self.src = os.path.join(root, "src")
        self.dest = os.path.join(root, "dest")
        self.out = os.path.join(root, "out")
        self.home = os.path.join(root, "home")
        for folder in (self.src, self.dest, self.out):
            os.makedirs(folder, exist_ok=True)
        for folder in ("config", "data", "tmp", "Documents"):
            os.makedirs(os.path.join(self.home, folder), exist_ok=True)
        self.env = dict(os.environ, HOME=self.home, XDG_CONFIG_HOME=os.path.join(self.home, "config"),
                        XDG_DATA_HOME=os.path.join(self.home, "data"), TMPDIR=os.path.join(self.home, "tmp"))
        self.env.pop("DISPLAY", None)
        self.env.pop("WAYLAND_DISPLAY", None)

    def command(self, *arguments):
        return [self.cli] + list(arguments)

    def run(self, *arguments, prefix=(), extra_env=None):
        started = time.time()
        try:
            done = subprocess.run(list(prefix) + self.command(*arguments), env=dict(self.env, **(extra_env or {})),
                                  capture_output=True, timeout=CALL_TIMEOUT)
        except subprocess.TimeoutExpired as expired:
            output = (expired.stdout or b"") + (expired.stderr or b"")
            raise Failure(f"'{' '.join(arguments)}' did not end within {CALL_TIMEOUT} s (killed)\n"
                          + output.decode(errors="replace")[-2000:]) from None
        return done.returncode, done.stdout.decode(errors="replace"), done.stderr.decode(errors="replace"), \
            time.time() - started

    def ok(self, *arguments, what=None):
        rc, out, err, _ = self.run(*arguments)
        if rc != 0:
            raise Failure(f"{what or ' '.join(arguments)} exited {rc}\n{out}{err}")
        return out

    def new_job(self, kind, full_every, keep, prune_before):
        arguments = ["new", JOB, "--source", self.src, "--dest", self.dest, "--type", kind]
        if kind != "mirror":
            arguments += ["--full-every", str(full_every), "--keep", str(keep)]
            if prune_before:
                arguments.append("--prune-before")
        self.ok(*arguments)

    def points(self):
        """The listed point names, as stored; [] for a mirror job."""
        out = self.ok("points", JOB)
        names = []
        for line in out.splitlines():
            if line == "mirror":
                continue
            number, _, name = line.partition("\t")
            if not number.isdigit() or not name:
                raise Failure(f"points printed an unexpected line: {line!r}")
            names.append(name)
        return names

    def points_if_any(self):
        """The listed point names; [] when no run has left a storage copy of the job yet."""
        if not os.path.exists(os.path.join(self.dest, JOB + ".bmj")):
            return []
        return self.points()

    def restore(self, point=None):
        """Restores one point (a number as points counts, or the latest) and returns its tree."""
        shutil.rmtree(self.out, ignore_errors=True)
        os.makedirs(self.out)
        selector = ["--latest"] if point is None else ["--point", str(point)]
        self.ok("restore", JOB, "--to", self.out, *selector, what=f"restore {' '.join(selector)}")
        restored = os.path.join(self.out, os.path.basename(self.src))
        if not os.path.isdir(restored):
            return {}
        return snapshot(restored)


def point_folder(home, shown_name):
    return os.path.join(home.dest, JOB, shown_name.replace(":", ";"))


def check_listed_points_exist(home, names):
    if len(set(names)) != len(names):
        raise Failure(f"points lists a name more than once: {names}")
    for name in names:
        if not os.path.isdir(point_folder(home, name)):
            raise Failure(f"points lists {name!r}, whose folder does not exist on the storage")


def check_no_leftovers(home, names):
    """After a completed run the storage holds the listed points and nothing a killed run left."""
    leftovers = []
    for folder, _, files in os.walk(home.dest):
        leftovers += [os.path.relpath(os.path.join(folder, n), home.dest) for n in files
                      if n.startswith(".morvane-") and n.endswith(".part")]
    job_folder = os.path.join(home.dest, JOB)
    if names and os.path.isdir(job_folder):
        listed = {point_folder(home, n) for n in names}
        leftovers += [os.path.join(JOB, n) for n in os.listdir(job_folder)
                      if os.path.isdir(os.path.join(job_folder, n)) and os.path.join(job_folder, n) not in listed]
    if leftovers:
        raise Failure(f"the storage holds what no listed point owns: {sorted(leftovers)}; listed: {names}")


def point_second(name):
    match = re.match(r"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)", name)
    return time.mktime(time.strptime(match.group(1), "%Y-%m-%d %H:%M:%S")) if match else None


def compare(expected, actual, what):
    lines = differences(expected, actual)
    if lines:
        raise Failure(f"{what} differs from the source as it was at its run:\n" + "\n".join(lines))


def strace_usable():
    if shutil.which("strace") is None:
        return "strace is not installed"
    done = subprocess.run(["strace", "-f", "-qq", "-o", os.devnull, "true"], capture_output=True)
    if done.returncode != 0:
        return "strace cannot trace here (ptrace not permitted): " + done.stderr.decode(errors="replace").strip()
    return None


# --- The random form -------------------------------------------------------------------------------


class Iteration:
    def __init__(self, number, started, changes):
        self.number = number
        self.started = started
        self.ended = None
        self.snapshot = None
        self.changes = changes
        self.kill = None


def kill_run(home, rng, use_strace, typical_duration):
    """Starts a backup and kills it: after a random delay, or at a random storage call through strace."""
    if use_strace and rng.random() < 0.5:
        call = rng.choice(RANDOM_KILL_CALLS)
        count = rng.randrange(1, 40)
        prefix = ["strace", "-f", "-qq", "-o", os.devnull, "-e", f"trace={call}",
                  "-e", f"inject={call}:signal=KILL:when={count}"]
        rc, _, _, _ = home.run("backup", JOB, prefix=prefix)
        return f"strace kill at {call} #{count} (exit {rc})"
    delay = rng.uniform(0.0, typical_duration * 1.2)
    process = subprocess.Popen(home.command("backup", JOB), env=home.env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    time.sleep(delay)
    process.send_signal(signal.SIGKILL)
    rc = process.wait()
    return f"SIGKILL after {delay:.3f}s (exit {rc})"


def match_points(home, names, iterations, restore_all, require_latest=True):
    """Every listed point restores equal to the snapshot of the run that made it; no completed run
    since the oldest listed one is missing."""
    check_listed_points_exist(home, names)
    last = 0
    covered = set()
    for number, name in enumerate(names, start=1):
        if not restore_all and number != len(names):
            continue
        tree = home.restore(number)
        second = point_second(name)
        later = [it for it in iterations if it.number >= last]
        in_window = [it for it in later
                     if second is None or int(it.started) - 1 <= second <= it.ended + 1]
        candidates = in_window or later
        equal = [it for it in candidates if it.snapshot == tree]
        if not equal:
            expected = candidates[-1] if candidates else iterations[-1]
            compare(expected.snapshot, tree, f"point {number} ({name!r}, run of iteration {expected.number})")
        fresh = [it for it in equal if it.number not in covered]
        chosen = (fresh or equal)[0]
        covered.add(chosen.number)
        last = chosen.number
    if restore_all and covered:
        missing = [it.number for it in iterations if min(covered) <= it.number and it.number not in covered]
        if missing:
            raise Failure(f"the completed runs of iterations {missing} are not among the listed points {names}")
    if require_latest and iterations and iterations[-1].number not in covered and (restore_all or names):
        compare(iterations[-1].snapshot, home.restore(len(names)), "the latest point")


def run_random(cli, workdir, kind, prune_before, seed):
    rng = random.Random(seed)
    iterations_count = 60 if long_form() else 20
    max_entries = 120 if long_form() else 36
    full_every, keep = 3, 2
    use_strace = strace_usable() is None
    home = Home(cli, workdir)
    home.new_job(kind, full_every, keep, prune_before)
    changer = SourceChanger(rng, home.src, max_entries)
    changer.change(12)
    iterations = []
    durations = [0.5]
    fulls_seen = set()
    for number in range(1, iterations_count + 1):
        if rng.random() < 0.5 or left_out("same-second"):
            time.sleep(1.0 - time.time() % 1.0)  # start in a new second half of the time
        iteration = Iteration(number, time.time(), [] if number == 1 else changer.change(rng.randrange(1, 7)))
        before = snapshot(home.src)
        iteration.kill = kill_run(home, rng, use_strace, sorted(durations)[len(durations) // 2])
        if kind != "mirror":
            # Read commands after a kill: what is listed exists and restores as it was.
            iteration.snapshot, iteration.ended = before, time.time()
            try:
                # Before the first complete run there may be no storage copy yet to list points from.
                names = home.points() if iterations else home.points_if_any()
                match_points(home, names, iterations + [iteration], restore_all=False,
                             require_latest=False)
            except Failure as failure:
                raise Failure(f"iteration {number}: changes {iteration.changes}; {iteration.kill}; "
                              f"then, before a complete run: {failure}") from None
        if left_out("same-second"):
            time.sleep(1.0 - time.time() % 1.0)
        rc, out, err, took = home.run("backup", JOB)
        iteration.ended = time.time()
        durations.append(took)
        iterations.append(iteration)
        context = (f"iteration {number}: changes {iteration.changes}; {iteration.kill}; "
                   f"then backup exited {rc}")
        try:
            if rc != 0:
                raise Failure(f"the complete backup exited {rc}\n{out}{err}")
            iteration.snapshot = snapshot(home.src)
            if iteration.snapshot != before:
                raise Failure("the backup changed the source:\n" + "\n".join(differences(before, iteration.snapshot)))
            if kind == "mirror":
                home.points()
                check_no_leftovers(home, [])
                compare(iteration.snapshot, home.restore(), "the mirror")
            else:
                names = home.points()
                check_listed_points_exist(home, names)
                check_no_leftovers(home, names)
                fulls_seen.update(n for n in names if "(Full)" in n)
                fulls = [n for n in names if "(Full)" in n]
                if fulls_seen and len(fulls) < min(keep, len(fulls_seen)):
                    raise Failure(f"only {len(fulls)} full copies are listed, {keep} are kept: {names}")
                match_points(home, names, iterations, restore_all=False)
        except Failure as failure:
            raise Failure(f"{context}\n{failure}") from None
        print(f"iteration {number}: {len(iteration.changes)} changes, {iteration.kill}, "
              f"complete run {took:.2f}s", flush=True)
    if kind != "mirror":
        names = home.points()
        print(f"restoring all {len(names)} listed points", flush=True)
        match_points(home, names, iterations, restore_all=True)


# --- The crash-point walk ------------------------------------------------------------------------------


TIME_IN_NAME = re.compile(rb"\d{4}-\d\d-\d\d \d\d;\d\d;\d\d")


def traced_paths(line, dest):
    """The paths under dest that one strace -y line names, as arguments or as what an fd refers to."""
    found = re.findall(rb'"((?:[^"\\]|\\.)*)"|<([^<>]*)>', line)
    paths = []
    for quoted, fd_path in found:
        path = fd_path or quoted
        if path.startswith(dest + b"/") or path == dest:
            paths.append(path)
    return paths


def unescape(path):
    return path.decode("unicode_escape").encode("latin-1")


def probe_calls(home, trace_file):
    """Runs one backup under strace and returns, per call kind, the paths under the destination it
    touched; the run's own point names are generalised to the time they carry."""
    dest = os.fsencode(home.dest)
    prefix = ["strace", "-f", "-qq", "-y", "-s", "4096", "-o", trace_file, "-e", "trace=" + ",".join(STORAGE_CALLS)]
    rc, out, err, _ = home.run("backup", JOB, prefix=prefix)
    if rc != 0:
        raise Failure(f"the traced backup exited {rc}\n{out}{err}")
    calls = {}
    with open(trace_file, "rb") as f:
        for line in f:
            match = re.match(rb"\d+ +(\w+)\(", line)
            if not match or b"resumed>" in line:
                continue
            paths = [unescape(p) for p in traced_paths(line, dest)]
            paths = [p for p in paths if b"(deleted)" not in p and b"/#" not in p]
            if paths:
                calls.setdefault(match.group(1).decode(), []).append(paths)
    return calls


def path_filters(calls, existing_times, started):
    """-P arguments matching every path the probe saw, with the probe run's own point name turned into
    the names a run started around `started` could give."""
    seconds = [time.strftime("%Y-%m-%d %H;%M;%S", time.localtime(started + d)).encode() for d in range(-1, 6)]
    paths = set()
    for per_call in calls.values():
        for call_paths in per_call:
            for path in call_paths:
                stamps = [s for s in TIME_IN_NAME.findall(path) if s not in existing_times]
                if not stamps:
                    paths.add(path)
                    continue
                for second in seconds:
                    paths.add(path.replace(stamps[0], second))
    arguments = []
    for path in sorted(paths):
        arguments += ["-P", os.fsdecode(path)]
    return arguments


def check_walk_state(home, kind, snapshots, label):
    if kind == "mirror":
        home.points()
        try:
            check_no_leftovers(home, [])
        except Failure as failure:
            raise Failure(f"{label}: {failure}") from None
        compare(snapshots[-1], home.restore(), f"{label}: the mirror")
        return
    names = home.points()
    check_listed_points_exist(home, names)
    try:
        check_no_leftovers(home, names)
    except Failure as failure:
        raise Failure(f"{label}: {failure}") from None
    if not names:
        raise Failure(f"{label}: no point is listed after the complete run")
    last = 0
    for number, name in enumerate(names, start=1):
        tree = home.restore(number)
        equal = [i for i in range(last, len(snapshots)) if snapshots[i] == tree]
        if not equal:
            nearest = min(snapshots[last:], key=lambda s: len(differences(s, tree, limit=10**6)))
            compare(nearest, tree, f"{label}: point {number} ({name!r} of {names}, against the nearest run)")
        last = equal[0]
    if last != len(snapshots) - 1:
        raise Failure(f"{label}: the latest point {names[-1]!r} is not the source as it is: {names}")


def run_walk(cli, workdir, kind, seed):
    reason = strace_usable()
    if reason:
        print(f"SKIPPED: {reason}")
        return SKIPPED
    rng = random.Random(seed)
    max_entries = 80 if long_form() else 24
    work = os.path.join(workdir, "work")
    template = os.path.join(workdir, "template")
    home = Home(cli, work)
    # A full copy after every two incremental ones, one kept: the walked run is a full copy that
    # prunes the old chain.
    home.new_job(kind, 2, 1, False)
    changer = SourceChanger(rng, home.src, max_entries)
    changer.change(14)
    snapshots = []
    for _ in range(3):
        time.sleep(1.05)
        home.ok("backup", JOB)
        snapshots.append(snapshot(home.src))
        changer.change(rng.randrange(3, 7))
    snapshots.append(snapshot(home.src))
    os.makedirs(template)
    for part in ("home", "dest"):
        shutil.copytree(os.path.join(work, part), os.path.join(template, part), symlinks=True)

    def reset():
        for part in ("home", "dest"):
            shutil.rmtree(os.path.join(work, part))
            shutil.copytree(os.path.join(template, part), os.path.join(work, part), symlinks=True)

    existing_times = set()
    for _, folders, _ in os.walk(os.fsencode(home.dest)):
        for folder in folders:
            existing_times.update(TIME_IN_NAME.findall(folder))
    time.sleep(1.05)
    calls = probe_calls(home, os.path.join(workdir, "probe.trace"))
    check_walk_state(home, kind, snapshots, "the traced run")
    points = [(call, n) for call in sorted(calls) for n in range(1, len(calls[call]) + 1)]
    stride = 1 if long_form() else max(1, len(points) // int(os.environ.get("MORVANE_E2E_WALK_POINTS", "24")))
    offset = rng.randrange(stride)
    chosen = points[offset::stride]
    print(f"{len(points)} storage calls in the run ({', '.join(f'{c} {len(v)}' for c, v in sorted(calls.items()))}); "
          f"walking {len(chosen)} of them (every {stride}th from {offset})", flush=True)
    reached = 0
    for call, n in chosen:
        reset()
        time.sleep(1.0 - time.time() % 1.0 + 0.05)
        filters = path_filters(calls, existing_times, time.time())
        trace_file = os.path.join(workdir, "kill.trace")
        prefix = ["strace", "-f", "-qq", "-y", "-s", "4096", "-o", trace_file] + filters + [
            "-e", f"trace={call}", "-e", f"inject={call}:signal=KILL:when={n}"]
        rc, _, _, _ = home.run("backup", JOB, prefix=prefix)
        with open(trace_file, "rb") as f:
            lines = [line for line in f.read().splitlines() if re.match(rb"\d+ +\w+\(", line)]
        killed_at = lines[-1].decode(errors="replace") if lines else "?"
        label = f"kill at {call} #{n} [{killed_at}]"
        if rc not in (-signal.SIGKILL, 128 + signal.SIGKILL):
            print(f"not reached: {call} #{n} (the run exited {rc})", flush=True)
            continue
        reached += 1
        if kind != "mirror":
            try:
                check_listed_points_exist(home, home.points())
            except Failure as failure:
                raise Failure(f"{label}: before a complete run: {failure}") from None
        rc, out, err, _ = home.run("backup", JOB)
        if rc != 0:
            raise Failure(f"{label}: the complete backup after it exited {rc}\n{out}{err}")
        check_walk_state(home, kind, snapshots, label)
        print(f"ok: {label}", flush=True)
    if reached == 0 and chosen:
        raise Failure("no crash point was reached: the traced paths did not match the runs")
    print(f"{reached} crash points checked")
    return 0


# --- The fault walk ----------------------------------------------------------------------------------


FAULT_ACTIONS = ["EIO", "ENOSPC", "kill"]
FAULT_LINE = re.compile(r"morvane-fault: operation (\d+) \(([\s\S]*?)\): ([^\n]*)")
COUNT_LINE = re.compile(r"morvane-fault: (\d+) operations")


def scramble(plain):
    """The stored form of an options file image: the program's file key stream, then every byte inverted."""
    multiplier, addend, key = 0x9E3B, 0x3C6F, 0xB1A7
    stored = bytearray()
    for byte in plain:
        stored.append(~(byte ^ (key >> 8)) & 0xFF)
        key = ((((byte + (key & 0xFF)) & 0xFF) * multiplier) + addend) & 0xFFFF
    return bytes(stored)


def write_options(home, retries, wait_seconds, then_pause):
    """The options file as the desktop program saves it, with the storage-lost settings given; the
    rest at its defaults, the folders inside the temporary home."""
    def i32(value):
        return value.to_bytes(4, "little", signed=True)

    def text(value):
        return i32(len(value)) + value.encode("utf-16-le")

    def flag(value):
        return b"\x01" if value else b"\x00"

    temp = os.path.join(home.home, "tmp", "MorvaneBackupTmp")
    logs = os.path.join(home.home, "Documents", "Morvane Backup")
    body = (i32(8) + text("en") + flag(False) + flag(False) + flag(False) + text("") + i32(1) + text(temp)
            + i32(20) + i32(500) + i32(50) + flag(False) + text(logs) + flag(False) + i32(retries)
            + i32(wait_seconds) + i32(1 if then_pause else 0) + flag(True) + flag(False) + flag(False)
            + flag(False) + flag(False) + i32(0))
    folder = os.path.join(home.home, "config", "Morvane Backup")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "options.qko"), "wb") as f:
        f.write(scramble(body))


def tree_of(root):
    return snapshot(root) if os.path.isdir(root) else {}


class FaultWalk:
    """One run of a kind walked over its storage operations: each attempt starts from the same saved
    home and storage and fails (or kills) the run at one operation."""

    def __init__(self, cli, workdir, kind, rng):
        self.kind = kind
        self.rng = rng
        self.work = os.path.join(workdir, "work")
        self.template = os.path.join(workdir, "template")
        self.home = Home(cli, self.work)
        self.snapshots = []
        self.survivors = set()

    def prepare(self):
        home, rng = self.home, self.rng
        # A full copy after every two increments and one kept: the fourth run is a full copy that prunes
        # the first chain, the second one an incremental copy.
        home.new_job("mirror" if self.kind == "mirror" else "incremental", 2, 1, False)
        # A failed operation is not tried again, so every fault reaches the run's outcome at once.
        write_options(home, retries=0, wait_seconds=1, then_pause=False)
        changer = SourceChanger(rng, home.src, 60 if long_form() else 16)
        changer.change(10)
        for _ in range({"full": 3, "incremental": 1, "mirror": 2, "restore": 3}[self.kind]):
            time.sleep(1.05)
            home.ok("backup", JOB)
            self.snapshots.append(snapshot(home.src))
            changer.change(rng.randrange(2, 5))
        if self.kind != "restore":
            self.snapshots.append(snapshot(home.src))
        os.makedirs(self.template)
        for part in ("home", "dest"):
            shutil.copytree(os.path.join(self.work, part), os.path.join(self.template, part), symlinks=True)
        self.stored = tree_of(home.dest)

    def reset(self):
        for part in ("home", "dest", "out"):
            shutil.rmtree(os.path.join(self.work, part), ignore_errors=True)
            if part == "out":
                os.makedirs(os.path.join(self.work, part))
            else:
                shutil.copytree(os.path.join(self.template, part), os.path.join(self.work, part), symlinks=True)

    def walked_command(self):
        if self.kind == "restore":
            return ["restore", JOB, "--to", self.home.out, "--latest"]
        return ["backup", JOB]

    def count(self):
        """Runs the walked command once without a fault; the number of its storage operations."""
        self.reset()
        rc, out, err, took = self.home.run(*self.walked_command(), extra_env={"MORVANE_FAULT": "count"})
        if rc != 0:
            raise Failure(f"the counted run exited {rc}\n{out}{err}")
        match = COUNT_LINE.search(err)
        if not match:
            raise Failure(f"the counted run printed no operation count:\n{err}")
        if self.kind == "restore":
            compare(self.snapshots[-1], tree_of(os.path.join(self.home.out, os.path.basename(self.home.src))),
                    "the counted restore")
        else:
            check_walk_state(self.home, self.kind, self.snapshots, "the counted run")
            if self.kind != "mirror":
                self.survivors = set(self.home.points()) & self.listed_in_template()
        return int(match.group(1)), took

    def listed_in_template(self):
        names = set()
        job_folder = os.path.join(self.template, "dest", JOB)
        for name in os.listdir(job_folder):
            if TIME_IN_NAME.match(name.encode()):
                names.add(name.replace(";", ":"))
        return names

    def check_points(self, label, partial=(), complete=False):
        """Every listed point exists and restores equal to one of the runs' sources, in order; a point of
        a run that ended with errors (`partial`) may lack what those errors were about, or hold the
        version an earlier run stored of a file it could not copy. `complete`: the storage holds nothing
        else and the latest point is the source as it is."""
        if self.kind == "mirror":
            if complete:
                check_walk_state(self.home, self.kind, self.snapshots, label)
            return
        names = self.home.points()
        check_listed_points_exist(self.home, names)
        if complete:
            check_no_leftovers(self.home, names)
        last = 0
        for number, name in enumerate(names, start=1):
            tree = self.home.restore(number)
            if name in partial:
                wrong = {n: v for n, v in tree.items() if all(s.get(n) != v for s in self.snapshots)}
                if wrong:
                    compare(self.snapshots[-1], tree, f"{label}: point {number} ({name!r}, of a run with errors)")
                continue
            equal = [i for i in range(last, len(self.snapshots)) if self.snapshots[i] == tree]
            if not equal:
                compare(self.snapshots[-1], tree, f"{label}: point {number} ({name!r} of {names})")
            last = equal[0]
            if complete and number == len(names) and last != len(self.snapshots) - 1:
                raise Failure(f"{label}: the latest point {name!r} is not the source as it is: {names}")
        if complete and not names:
            raise Failure(f"{label}: no point is listed after the complete run")
        if complete:
            lost = self.survivors - set(names)
            if lost:
                raise Failure(f"{label}: earlier points are no longer listed: {sorted(lost)}")

    def restored_output(self):
        return tree_of(os.path.join(self.home.out, os.path.basename(self.home.src)))

    def attempt(self, number, action):
        """One fault; returns the operation it hit, or None when the run ended before reaching it."""
        self.reset()
        rc, out, err, _ = self.home.run(*self.walked_command(),
                                        extra_env={"MORVANE_FAULT": f"any:{number}:{action}"})
        match = FAULT_LINE.search(err)
        if not match:
            if rc != 0:
                raise Failure(f"operation {number} was not reached and the run exited {rc}\n{out}{err}")
            return None
        label = f"{action} at operation {number} ({show(os.fsencode(match.group(2)))})"
        partial = set()
        if action == "kill":
            if rc not in (-signal.SIGKILL, 128 + signal.SIGKILL):
                raise Failure(f"{label}: the run was not killed (exit {rc})\n{out}{err}")
        elif rc == 0:
            # A failed look that the run checked again may leave nothing to report; then what it says it
            # finished must be complete.
            label += ", absorbed"
            try:
                if self.kind == "restore":
                    compare(self.snapshots[-1], self.restored_output(), "the restore")
                else:
                    self.check_points("the run", complete=True)
            except Failure as failure:
                raise Failure(f"{label}: the run reported success after the failure, but {failure}\n{out}{err}") \
                    from None
        elif rc == 1 and self.kind not in ("restore", "mirror"):
            # Finished with errors: its point is kept, without what the errors name.
            partial = set(self.home.points()) - self.listed_in_template()
        if self.kind == "restore":
            if tree_of(self.home.dest) != self.stored:
                raise Failure(f"{label}: the restore changed the storage:\n"
                              + "\n".join(differences(self.stored, tree_of(self.home.dest))))
            compare(self.snapshots[-1], self.home.restore(), f"{label}: the next restore")
            return label
        try:
            self.check_points("before a complete run", partial)
        except Failure as failure:
            raise Failure(f"{label}: {failure}\n{out}{err}") from None
        rc, out, err, _ = self.home.run("backup", JOB)
        if rc != 0:
            raise Failure(f"{label}: the next backup exited {rc}\n{out}{err}")
        self.check_points(label, partial, complete=True)
        return label


def run_fault_walk(cli, workdir, kind, seed):
    rng = random.Random(seed)
    walk = FaultWalk(cli, workdir, kind, rng)
    walk.prepare()
    total, took = walk.count()
    attempts = [(number, action) for number in range(1, total + 1) for action in FAULT_ACTIONS]
    if not long_form():
        # A spread of operations, each with one of the faults in turn.
        wanted = int(os.environ.get("MORVANE_E2E_WALK_POINTS", "12"))
        stride = max(1, total // wanted)
        offset = rng.randrange(stride)
        attempts = [(number, FAULT_ACTIONS[(i + seed) % len(FAULT_ACTIONS)])
                    for i, number in enumerate(range(1 + offset, total + 1, stride))]
    print(f"{total} storage operations in the {kind} run ({took:.2f}s); trying {len(attempts)} faults",
          flush=True)
    reached = 0
    for number, action in attempts:
        label = walk.attempt(number, action)
        if label is None:
            print(f"not reached: operation {number}", flush=True)
            continue
        reached += 1
        print(f"ok: {label}", flush=True)
    if reached == 0:
        raise Failure("no fault was reached")
    print(f"{reached} faults checked")
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--cli", required=True, help="the morvane-cli program")
    parser.add_argument("form", choices=["random", "walk", "faults"])
    parser.add_argument("--type", choices=["incremental", "mirror", "full", "restore"], required=True)
    parser.add_argument("--prune-before", action="store_true")
    parser.add_argument("--keep-files", action="store_true", help="keep the temporary folder")
    arguments = parser.parse_args()
    if arguments.form != "faults" and arguments.type not in ("incremental", "mirror"):
        parser.error(f"the {arguments.form} form takes --type incremental or mirror")
    seed = int(os.environ.get("MORVANE_E2E_SEED") or random.randrange(10**6))
    print(f"seed {seed} (set MORVANE_E2E_SEED={seed} to repeat); {'long' if long_form() else 'short'} form",
          flush=True)
    workdir = tempfile.mkdtemp(prefix="morvane-e2e-")
    started = time.time()
    status = 1
    try:
        if arguments.form == "random":
            run_random(arguments.cli, workdir, arguments.type, arguments.prune_before, seed)
            status = 0
        elif arguments.form == "faults":
            status = run_fault_walk(arguments.cli, workdir, arguments.type, seed)
        else:
            status = run_walk(arguments.cli, workdir, arguments.type, seed)
    except Failure as failure:
        print(f"FAILED (seed {seed}): {failure}", flush=True)
        arguments.keep_files = True
    finally:
        print(f"{time.time() - started:.1f}s; files in {workdir}" if arguments.keep_files else
              f"{time.time() - started:.1f}s", flush=True)
        if not arguments.keep_files:
            shutil.rmtree(workdir, ignore_errors=True)
    return status


if __name__ == "__main__":
    sys.exit(main())
