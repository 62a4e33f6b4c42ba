#!/usr/bin/env python3
"""A long soak of the scheduler: `morvane-cli run-scheduler` runs an incremental job every PERIOD seconds
while the source changes at random between runs. For the first two thirds the scheduler is killed with
SIGKILL at random moments (half of them while a run is under way) and started again; for the last
third it runs undisturbed, so that one process goes through a few hundred runs. At the end one more backup completes the
chain, and every listed point must restore equal to the source as it was at its run; the storage must
hold nothing that no listed point owns. The scheduler's resident memory and open descriptors are sampled
all along, so a leak per run shows as a slope.

Usage: soak.py --cli BUILD/bin/morvane-cli [--minutes 60] [--period 10] [--kill-every 120]
"""

import argparse
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from kill_test import JOB, Failure, Home, SourceChanger, check_no_leftovers, differences, point_second, snapshot  # noqa: E402


def process_status(pid):
    """(resident KiB, open descriptors) of a running process, or None once it has gone."""
    try:
        with open(f"/proc/{pid}/status") as status:
            rss = next(int(line.split()[1]) for line in status if line.startswith("VmRSS:"))
        return rss, len(os.listdir(f"/proc/{pid}/fd"))
    except (OSError, StopIteration):
        return None


class Scheduler:
    """run-scheduler in the background, started again after every kill."""

    def __init__(self, home, log_path):
        self.home = home
        self.log = open(log_path, "ab")
        self.process = None
        self.generation = 0
        self.started = 0.0

    def start(self):
        self.generation += 1
        self.started = time.time()
        self.process = subprocess.Popen(self.home.command("run-scheduler"), env=self.home.env, stdout=self.log,
                                        stderr=subprocess.STDOUT)

    def kill(self):
        self.process.send_signal(signal.SIGKILL)
        self.process.wait()

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        try:
            rc = self.process.wait(timeout=120)
        except subprocess.TimeoutExpired:
            self.kill()
            raise Failure("run-scheduler did not stop within 120 s of SIGTERM") from None
        if rc != 0:
            raise Failure(f"run-scheduler exited {rc} on SIGTERM")

    def check_alive(self):
        rc = self.process.poll()
        if rc is not None:
            raise Failure(f"run-scheduler ended by itself (exit {rc}); its output is in {self.log.name}")


def schedule_every(home, first, period, count):
    """Schedules the job every `period` seconds from `first` on, as times of day on every weekday."""
    times = []
    for k in range(count):
        times += ["--at", time.strftime("%H:%M:%S", time.localtime(first + k * period))]
    home.ok("schedule", JOB, "--weekdays", "all", *times)


def wait_for_run(flag, period):
    """Waits until a run has put its flag on the storage, for at most a period."""
    end = time.time() + period
    while not os.path.exists(flag) and time.time() < end:
        time.sleep(0.002)


def expected_snapshot(snapshots, second):
    """The source as it was when a run started in `second`: the last change made before it."""
    before = [tree for made, tree in snapshots if made <= second]
    return before[-1] if before else snapshots[0][1]


def verify_points(home, snapshots):
    names = home.points()
    check_no_leftovers(home, names)
    for number, name in enumerate(names, start=1):
        restored = home.restore(number)
        expected = expected_snapshot(snapshots, point_second(name))
        lines = differences(expected, restored)
        if lines:
            raise Failure(f"point {number} ({name}) differs from the source at its run:\n" + "\n".join(lines))
    return names


def summary(samples, kills, runs_hit, names, minutes):
    print(f"\n{len(names)} points listed and each restored equal to its source state; "
          f"{kills} kills of run-scheduler, {runs_hit} of them during a run.")
    print("Scheduler processes that lived at least 5 minutes (resident memory, open descriptors):")
    print("| process | lived | first sample | last sample | highest |")
    print("|---:|---:|---:|---:|---:|")
    for generation in sorted({s[1] for s in samples}):
        own = [s for s in samples if s[1] == generation]
        lived = own[-1][0] - own[0][0]
        if lived < 300:
            continue
        highest = max(s[2] for s in own)
        print(f"| {generation} | {lived / 60:.0f} min | {own[0][2]} KiB, {own[0][3]} fds "
              f"| {own[-1][2]} KiB, {own[-1][3]} fds | {highest} KiB, {max(s[3] for s in own)} fds |")
    print(f"Whole soak ({minutes} min): resident memory {min(s[2] for s in samples)}–"
          f"{max(s[2] for s in samples)} KiB, open descriptors {min(s[3] for s in samples)}–"
          f"{max(s[3] for s in samples)}.")


def soak(cli, workdir, minutes, period, kill_every, rng):
    home = Home(cli, workdir)
    changer = SourceChanger(rng, home.src, 1500)
    changer.change(800)
    home.ok("new", JOB, "--source", home.src, "--dest", home.dest, "--type", "incremental",
            "--full-every", "20", "--keep", "3")
    snapshots = [(0, snapshot(home.src))]
    # The first run a little after the scheduler has started; a run every `period` seconds until the end.
    first = int(time.time()) + 15
    end = first + minutes * 60
    schedule_every(home, first, period, minutes * 60 // period + 1)
    scheduler = Scheduler(home, os.path.join(workdir, "run-scheduler.log"))
    scheduler.start()
    flag = os.path.join(home.dest, JOB, "_startflag.qkl")
    samples, kills, runs_hit = [], 0, 0
    kills_end = first + minutes * 40
    next_kill = time.time() + rng.expovariate(1 / kill_every)
    next_sample = time.time()
    last_changed_slot = -1
    while time.time() < end:
        now = time.time()
        scheduler.check_alive()
        if now >= next_sample and now - scheduler.started > 15:
            status = process_status(scheduler.process.pid)
            if status:
                samples.append((now, scheduler.generation) + status)
            next_sample = now + 10
        slot, into = divmod(now - first, period)
        # Changes come half a period after a run's start, once its flag is gone (a killed run's flag stays
        # until the next run completes, and that run's source must not change under it), and not just
        # after a start of the scheduler: it runs a time that passed a moment before it started.
        quiet = period / 2 <= into <= period - 1.5 and now - scheduler.started > 3
        if slot > last_changed_slot and quiet and not os.path.exists(flag):
            changer.change(rng.randrange(1, 8))
            snapshots.append((int(time.time()), snapshot(home.src)))
            last_changed_slot = slot
        if now >= next_kill and now < kills_end:
            if rng.random() < 0.5:
                wait_for_run(flag, period)
                time.sleep(rng.uniform(0, 0.015))
            runs_hit += os.path.exists(flag)
            scheduler.kill()
            kills += 1
            time.sleep(rng.uniform(0, 3))
            scheduler.start()
            next_kill = time.time() + rng.expovariate(1 / kill_every)
        time.sleep(0.1 + rng.random() * 0.2)
    scheduler.stop()
    # The chain ends with a complete run of the last source state.
    time.sleep(1)
    home.ok("backup", JOB)
    names = verify_points(home, snapshots)
    summary(samples, kills, runs_hit, names, minutes)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--cli", required=True)
    parser.add_argument("--minutes", type=int, default=60)
    parser.add_argument("--period", type=int, default=10, help="seconds between scheduled runs")
    parser.add_argument("--kill-every", type=float, default=120, help="mean seconds between kills")
    arguments = parser.parse_args()
    seed = int(os.environ.get("MORVANE_SOAK_SEED") or random.randrange(10**6))
    print(f"seed {seed}; {arguments.minutes} min, a run every {arguments.period} s, a kill about every "
          f"{arguments.kill_every:.0f} s", flush=True)
    workdir = tempfile.mkdtemp(prefix="morvane-soak-")
    try:
        soak(os.path.abspath(arguments.cli), workdir, arguments.minutes, arguments.period, arguments.kill_every,
             random.Random(seed))
    except Failure as failure:
        print(f"FAILED (seed {seed}): {failure}\nfiles kept in {workdir}", flush=True)
        return 1
    shutil.rmtree(workdir, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
