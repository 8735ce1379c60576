#!/usr/bin/env python3
"""The window's batch path against sealdoor-cli on the same files: one
1 GiB file, and 1,000 files of 4 KiB. Medians of a few runs each."""

import os
import statistics
import subprocess
import sys
import tempfile
import time

CLI, WINDOW = sys.argv[1], sys.argv[2]
RUNS = int(sys.argv[3]) if len(sys.argv) > 3 else 3
PASSWORD = "Bench1"


def quiet(files):
    """Each run starts on a quiet disk with the files in the page cache."""
    os.sync()
    for p in files:
        with open(p, "rb") as f:
            while f.read(1 << 24):
                pass


def cli(op, files):
    quiet(files)
    start = time.perf_counter()
    subprocess.run([CLI, op, "--password-stdin", *files], input=PASSWORD + "\n", text=True, check=True,
                   stderr=subprocess.DEVNULL)
    return time.perf_counter() - start


def window(op, files):
    quiet(files)
    r = subprocess.run([WINDOW, op, PASSWORD, *files], capture_output=True, text=True)
    if r.returncode != 0:
        raise SystemExit(f"window batch failed: {r.stderr}")
    return float(r.stdout.strip())


def compare(title, files):
    w_lock, w_unlock, c_lock, c_unlock = [], [], [], []
    for _ in range(RUNS):
        w_lock.append(window("lock", files))
        w_unlock.append(window("unlock", files))
        c_lock.append(cli("lock", files))
        c_unlock.append(cli("unlock", files))
    m = statistics.median
    print(f"| {title} | lock | {m(c_lock):.3f} | {m(w_lock):.3f} | {m(w_lock) / m(c_lock):.2f} |")
    print(f"| {title} | unlock | {m(c_unlock):.3f} | {m(w_unlock):.3f} | {m(w_unlock) / m(c_unlock):.2f} |")


def main():
    work = tempfile.mkdtemp(prefix="sealdoor-wbench-", dir=os.environ.get("BENCH_DIR", "/var/tmp"))
    print("| batch | operation | sealdoor-cli s | window s | window / cli |")
    print("|---|---|---|---|---|")
    small = []
    for i in range(1000):
        p = os.path.join(work, f"f{i:04d}.dat")
        with open(p, "wb") as f:
            f.write(os.urandom(4096))
        small.append(p)
    compare("1,000 files of 4 KiB", small)
    for p in small:
        os.remove(p)
    big = os.path.join(work, "big.bin")
    with open(big, "wb") as f:
        for _ in range(1024):
            f.write(os.urandom(1 << 20))
    compare("1 file of 1 GiB", [big])
    os.remove(big)
    os.rmdir(work)


main()
