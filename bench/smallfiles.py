#!/usr/bin/env python3
"""Many files at once: sealdoor-cli lock and unlock of whole folders against
the floor for putting that many files on the disk durably (cp -r of the
folder, then sync -f), and against committing each file on its own
(the tests' sealdoor-cli-small-groups with groups of 1 file, as every run
did before group commit). Then the
window's batch against the CLI on 10,000 files, and peak memory for
100,000 names. Medians of interleaved rounds, each on a quiet disk.

  BASELINE_CLI=path   the "many" and "walk" parts also time another build
                      (an earlier commit's sealdoor-cli) on the same files,
                      interleaved
  BASELINE_WINDOW=path  the "window" part also times that build's
                      window_bench, interleaved
  SCENARIOS=1000x4,10000x4  which rows of "many" (files x KiB)
  POWERCUT_FS=path    the "fuse" part: 1,000 small files on the tests'
                      FUSE file system (powercut-fs), where each file is
                      synced on its own: grouped (every file's fsync after
                      all the group's writes) against one by one

The "many" part runs each build on the list of files and on their folder
(-r); the "walk" part times -r over 20,000 files with nothing to do
(unlock -r of files that are not locked) against find -type f.

Usage: smallfiles.py CLI WINDOW_BENCH [RUNS] [many,walk,window,names,fuse]"""

import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

CLI, WINDOW = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
RUNS = int(sys.argv[3]) if len(sys.argv) > 3 else 5
PASSWORD = "Bench1"
SCENARIOS = [(int(c), int(k) << 10) for c, k in (r.split("x") for r in os.environ["SCENARIOS"].split(","))] \
    if os.environ.get("SCENARIOS") else [(1000, 4 << 10), (10000, 4 << 10), (1000, 1 << 20)]


def make_folder(path, count, size):
    os.makedirs(path)
    for i in range(count):
        with open(os.path.join(path, f"f{i:06d}.bin"), "wb") as f:
            f.write(os.urandom(size))
    return sorted(os.path.join(path, n) for n in os.listdir(path))


def quiet():
    os.sync()


# The processor time (user + system) of the last command run: on a machine
# shared with others, a steadier measure of the work done than the time
# that passed, which includes waiting for a processor.
last_cpu = 0.0


def children_cpu():
    r = resource.getrusage(resource.RUSAGE_CHILDREN)
    return r.ru_utime + r.ru_stime


def run(cmd, env=None, stdin=None):
    global last_cpu
    quiet()
    cpu = children_cpu()
    start = time.perf_counter()
    r = subprocess.run(cmd, input=stdin, text=True, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    t = time.perf_counter() - start
    last_cpu = children_cpu() - cpu
    if r.returncode != 0:
        raise SystemExit(f"{os.path.basename(cmd[0])} {cmd[1]} on {len(cmd) - 4} files failed "
                         f"(status {r.returncode}):\n" + "\n".join(r.stderr.splitlines()[:10]))
    return t


def floor(src, work):
    dst = os.path.join(work, "copy")
    quiet()
    start = time.perf_counter()
    subprocess.run(["cp", "-r", src, dst], check=True)
    subprocess.run(["sync", "-f", dst], check=True)
    t = time.perf_counter() - start
    shutil.rmtree(dst)
    return t


# The tool with commit groups of one file, built beside the tests.
ONE_BY_ONE = os.path.join(os.path.dirname(os.path.dirname(CLI)), "tests", "sealdoor-cli-small-groups")


def sealdoor(op, files, one_by_one=False, cli=None):
    program = [ONE_BY_ONE, "1"] if one_by_one else [cli or CLI]
    return run([*program, op, "--password-stdin", "--quiet", *files], stdin=PASSWORD + "\n")


def sealdoor_r(op, folder, cli=None):
    """The folder's files through -r: the walk, then the batch."""
    return run([cli or CLI, op, "--password-stdin", "--quiet", "--yes", "-r", folder], stdin=PASSWORD + "\n")


def ratio(a, b):
    return f"{a / b:.2f}"


def peak_rss(cmd, cwd, stdin=None):
    memfile = tempfile.NamedTemporaryFile(delete=False).name
    r = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", memfile] + cmd, input=stdin, text=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, cwd=cwd)
    if r.returncode != 0:
        raise SystemExit(f"{os.path.basename(cmd[0])} {cmd[1]} failed (status {r.returncode}):\n" +
                         "\n".join(r.stderr.splitlines()[:10]))
    with open(memfile) as f:
        rss = int(f.read().split()[-1])
    os.remove(memfile)
    return rss / 1024


def label(count, size):
    return f"{count:,} x {size >> 10} KiB" if size < (1 << 20) else f"{count:,} x {size >> 20} MiB"


def many(work):
    """Lock and unlock of a list of files and of their folder (-r), this
    build and, with BASELINE_CLI, another in the same rounds, against the
    floor; one by one where the tests' tool was built beside the CLI."""
    baseline = os.environ.get("BASELINE_CLI")
    one_by_one = os.path.exists(ONE_BY_ONE)
    builds = [("", CLI)] + ([("0", baseline)] if baseline else [])
    kinds = ["lock", "unlock", "lock -r", "unlock -r"]
    for count, size in SCENARIOS:
        src = os.path.join(work, f"src-{count}-{size}")
        files = make_folder(src, count, size)
        times = {"floor": [], "lock1": [], "unlock1": []}
        for tag, _ in builds:
            for k in kinds:
                times[k + tag] = []
        cpu = {k: [] for k in times if k not in ("floor", "lock1", "unlock1")}
        for _ in range(RUNS):
            times["floor"].append(floor(src, work))
            for tag, cli in builds:
                for k in kinds:
                    op, recursive = k.split()[0], k.endswith("-r")
                    times[k + tag].append(sealdoor_r(op, src, cli=cli) if recursive else sealdoor(op, files, cli=cli))
                    cpu[k + tag].append(last_cpu)
            if one_by_one:
                times["lock1"].append(sealdoor("lock", files, True))
                times["unlock1"].append(sealdoor("unlock", files, True))
        m = {k: statistics.median(v) for k, v in times.items() if v}
        print(f"{label(count, size)}: floor (cp -r + sync -f) {m['floor']:.3f} s")
        print()
        print("| build | " + " | ".join(kinds) + " | " + " | ".join(k + " / floor" for k in kinds) + " |")
        print("|---|" + "---|" * (2 * len(kinds)))
        for tag, cli in builds:
            name = "this build" if not tag else "baseline"
            print(f"| {name} | " + " | ".join(f"{m[k + tag]:.3f}" for k in kinds) + " | " +
                  " | ".join(ratio(m[k + tag], m["floor"]) for k in kinds) + " |")
        if one_by_one:
            print(f"| one by one | {m['lock1']:.3f} | {m['unlock1']:.3f} | | | "
                  f"{ratio(m['lock1'], m['floor'])} | {ratio(m['unlock1'], m['floor'])} | | |")
        print()
        c = {k: statistics.median(v) for k, v in cpu.items()}
        print("| processor time s (user + system) | " + " | ".join(kinds) + " |")
        print("|---|" + "---|" * len(kinds))
        for tag, _ in builds:
            print(f"| {'this build' if not tag else 'baseline'} | " + " | ".join(f"{c[k + tag]:.3f}" for k in kinds) + " |")
        print(flush=True)
        shutil.rmtree(src)


def walk(work):
    """-r over 20,000 files of 4 KiB in 20 folders with nothing to do (unlock
    of files that are not locked: each file's head is read, none is
    changed) against find -type f, which reads only the folders."""
    baseline = os.environ.get("BASELINE_CLI")
    src = os.path.join(work, "walk")
    for d in range(20):
        make_folder(os.path.join(src, f"d{d:02d}"), 1000, 4 << 10)
    builds = [("this build", CLI)] + ([("baseline", baseline)] if baseline else [])
    times = {"find": []}
    for name, _ in builds:
        times[name] = []
    cpu = {k: [] for k in times}
    for _ in range(RUNS):
        times["find"].append(run(["find", src, "-type", "f"]))
        cpu["find"].append(last_cpu)
        for name, cli in builds:
            times[name].append(sealdoor_r("unlock", src, cli=cli))
            cpu[name].append(last_cpu)
    m = {k: statistics.median(v) for k, v in times.items()}
    c = {k: statistics.median(v) for k, v in cpu.items()}
    print("| 20,000 x 4 KiB, nothing to do | s | / find -type f | processor s | / find |")
    print("|---|---|---|---|---|")
    print(f"| find -type f | {m['find']:.3f} | 1.00 | {c['find']:.3f} | 1.00 |")
    for name, _ in builds:
        print(f"| unlock -r, {name} | {m[name]:.3f} | {ratio(m[name], m['find'])} | {c[name]:.3f} | "
              f"{ratio(c[name], c['find'])} |", flush=True)
    shutil.rmtree(src)


def fuse(work):
    """1,000 files of 4 KiB on powercut-fs: each file synced on its own
    there, all of a group's fsyncs after all its writes, against one file
    at a time from write to place."""
    fs_bin = os.environ.get("POWERCUT_FS")
    if not fs_bin:
        raise SystemExit("the fuse part needs POWERCUT_FS (build/tests/powercut-fs)")
    disk, trash, mnt = (os.path.join(work, d) for d in ("disk", "trash", "mnt"))
    for d in (disk, trash, mnt):
        os.makedirs(d)
    proc = subprocess.Popen([fs_bin, disk, trash, mnt])
    try:
        for _ in range(500):
            if os.stat(mnt).st_dev != os.stat(work).st_dev:
                break
            time.sleep(0.01)
        print("| on powercut-fs (FUSE) | grouped: lock | unlock | one by one: lock | unlock | one by one / grouped (lock) |")
        print("|---|---|---|---|---|---|")
        for count, size in [(1000, 4 << 10)]:
            files = make_folder(os.path.join(mnt, "src"), count, size)
            times = {k: [] for k in ("lock", "unlock", "lock1", "unlock1")}
            for _ in range(RUNS):
                times["lock"].append(sealdoor("lock", files))
                times["unlock"].append(sealdoor("unlock", files))
                times["lock1"].append(sealdoor("lock", files, True))
                times["unlock1"].append(sealdoor("unlock", files, True))
            m = {k: statistics.median(v) for k, v in times.items()}
            print(f"| {label(count, size)} | {m['lock']:.3f} | {m['unlock']:.3f} | {m['lock1']:.3f} | "
                  f"{m['unlock1']:.3f} | {m['lock1'] / m['lock']:.2f} |", flush=True)
    finally:
        proc.terminate()
        proc.wait()


def window(work):
    """The window's batch against the CLI, 10,000 files of 4 KiB; with
    BASELINE_CLI and BASELINE_WINDOW, the other build's too, same rounds."""
    src = os.path.join(work, "window")
    files = make_folder(src, 10000, 4 << 10)
    builds = [("this build", CLI, WINDOW)]
    if os.environ.get("BASELINE_CLI") and os.environ.get("BASELINE_WINDOW"):
        builds.append(("baseline", os.environ["BASELINE_CLI"], os.path.abspath(os.environ["BASELINE_WINDOW"])))
    cli = {(b, op): [] for b, _, _ in builds for op in ("lock", "unlock")}
    win = {(b, op): [] for b, _, _ in builds for op in ("lock", "unlock")}
    for _ in range(RUNS):
        for b, cli_bin, win_bin in builds:
            for op in ("lock", "unlock"):
                cli[b, op].append(sealdoor(op, files, cli=cli_bin))
                cli_op = "unlock" if op == "lock" else "lock"  # put the files back for the window's turn
                sealdoor(cli_op, files, cli=cli_bin)
                quiet()
                r = subprocess.run([win_bin, op, PASSWORD, *files], capture_output=True, text=True)
                if r.returncode != 0:
                    raise SystemExit("window batch failed:\n" + "\n".join(r.stderr.splitlines()[:10]))
                win[b, op].append(float(r.stdout.strip()))  # the window's lock leaves them locked for the unlocks
    print("| 10,000 x 4 KiB | build | sealdoor-cli s | window s | window / cli |")
    print("|---|---|---|---|---|")
    for b, _, _ in builds:
        for op in ("lock", "unlock"):
            c, w = statistics.median(cli[b, op]), statistics.median(win[b, op])
            print(f"| {op} | {b} | {c:.3f} | {w:.3f} | {w / c:.2f} |", flush=True)
    shutil.rmtree(src)


def names(work):
    """Peak memory for 100,000 names (empty files: the names are what grows),
    given as short relative names so the command line holds them."""
    src = os.path.join(work, "names")
    os.makedirs(src)
    files = [f"{i:06d}" for i in range(100000)]
    for n in files:
        open(os.path.join(src, n), "wb").close()
    print("| 100,000 files | peak RSS MiB |")
    print("|---|---|")
    lock = peak_rss([CLI, "lock", "--password-stdin", "--quiet", *files], src, PASSWORD + "\n")
    print(f"| sealdoor-cli lock | {lock:.1f} |")
    print(f"| window batch (unlock) | {peak_rss([WINDOW, 'unlock', PASSWORD, *files], src):.1f} |")


def main():
    print(f"# {RUNS} interleaved rounds each, medians")
    print()
    parts = {"many": many, "walk": walk, "window": window, "names": names, "fuse": fuse}
    chosen = sys.argv[4].split(",") if len(sys.argv) > 4 else ["many", "window", "names"]
    work = tempfile.mkdtemp(prefix="sealdoor-small-", dir=os.environ.get("BENCH_DIR", "/var/tmp"))
    try:
        for part in chosen:
            parts[part](work)
            print()
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
