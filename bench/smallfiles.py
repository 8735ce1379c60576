#!/usr/bin/env python3
"""Many files at once: sealdoor-cli lock and unlock of whole folders against
the floor for putting that many files on the disk durably (cp -r of the
folder, then sync -f), and against committing each file on its own
(SEALDOOR_GROUP_FILES=1, as every run did before group commit). Then the
window's batch against the CLI on 10,000 files, and peak memory for
100,000 names. Medians of interleaved rounds, each on a quiet disk.

Usage: smallfiles.py CLI WINDOW_BENCH [RUNS] [many,window,names]"""

import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

CLI, WINDOW = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
RUNS = int(sys.argv[3]) if len(sys.argv) > 3 else 5
PASSWORD = "Bench1"
SCENARIOS = [(1000, 4 << 10), (10000, 4 << 10), (1000, 1 << 20)]


def make_folder(path, count, size):
    os.makedirs(path)
    for i in range(count):
        with open(os.path.join(path, f"f{i:06d}.bin"), "wb") as f:
            f.write(os.urandom(size))
    return sorted(os.path.join(path, n) for n in os.listdir(path))


def quiet():
    os.sync()


def run(cmd, env=None, stdin=None):
    quiet()
    start = time.perf_counter()
    r = subprocess.run(cmd, input=stdin, text=True, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    t = time.perf_counter() - start
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


def sealdoor(op, files, one_by_one=False):
    env = dict(os.environ)
    if one_by_one:
        env["SEALDOOR_GROUP_FILES"] = "1"
    return run([CLI, op, "--password-stdin", "--quiet", *files], env=env, stdin=PASSWORD + "\n")


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


def many(work):
    print("| files | floor: cp -r + sync -f | lock | unlock | lock / floor | unlock / floor | one by one: lock | unlock | lock / floor |")
    print("|---|---|---|---|---|---|---|---|---|")
    for count, size in SCENARIOS:
        src = os.path.join(work, f"src-{count}-{size}")
        files = make_folder(src, count, size)
        times = {k: [] for k in ("floor", "lock", "unlock", "lock1", "unlock1")}
        for _ in range(RUNS):
            times["floor"].append(floor(src, work))
            times["lock"].append(sealdoor("lock", files))
            times["unlock"].append(sealdoor("unlock", files))
            times["lock1"].append(sealdoor("lock", files, True))
            times["unlock1"].append(sealdoor("unlock", files, True))
        m = {k: statistics.median(v) for k, v in times.items()}
        label = f"{count:,} x {size >> 10} KiB" if size < (1 << 20) else f"{count:,} x {size >> 20} MiB"
        print(f"| {label} | {m['floor']:.3f} | {m['lock']:.3f} | {m['unlock']:.3f} | {m['lock'] / m['floor']:.2f} | "
              f"{m['unlock'] / m['floor']:.2f} | {m['lock1']:.3f} | {m['unlock1']:.3f} | {m['lock1'] / m['floor']:.2f} |",
              flush=True)
        shutil.rmtree(src)


def window(work):
    """The window's batch against the CLI, 10,000 files of 4 KiB."""
    src = os.path.join(work, "window")
    files = make_folder(src, 10000, 4 << 10)
    cli, win = {"lock": [], "unlock": []}, {"lock": [], "unlock": []}
    for _ in range(RUNS):
        for op in ("lock", "unlock"):
            cli[op].append(sealdoor(op, files))
            cli_op = "unlock" if op == "lock" else "lock"  # put the files back for the window's turn
            sealdoor(cli_op, files)
            quiet()
            r = subprocess.run([WINDOW, op, PASSWORD, *files], capture_output=True, text=True)
            if r.returncode != 0:
                raise SystemExit("window batch failed:\n" + "\n".join(r.stderr.splitlines()[:10]))
            win[op].append(float(r.stdout.strip()))  # the window's lock leaves them locked for the unlocks
    print("| 10,000 x 4 KiB | sealdoor-cli s | window s | window / cli |")
    print("|---|---|---|---|")
    for op in ("lock", "unlock"):
        c, w = statistics.median(cli[op]), statistics.median(win[op])
        print(f"| {op} | {c:.3f} | {w:.3f} | {w / c:.2f} |", flush=True)
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
    parts = {"many": many, "window": window, "names": names}
    chosen = sys.argv[4].split(",") if len(sys.argv) > 4 else list(parts)
    work = tempfile.mkdtemp(prefix="sealdoor-small-", dir=os.environ.get("BENCH_DIR", "/var/tmp"))
    try:
        for part in chosen:
            parts[part](work)
            print()
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
