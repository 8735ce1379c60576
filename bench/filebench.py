#!/usr/bin/env python3
"""Times sealdoor-cli lock and unlock against cp, dd conv=fsync (the floor for
a crash-safe rewrite), openssl and gpg on random files, page cache warm, and
reports medians, ratios and peak memory. Run bench/run after building."""

import os
import statistics
import subprocess
import sys
import tempfile
import time

CLI = sys.argv[1]
SIZES = [int(s) for s in (sys.argv[2].split(",") if len(sys.argv) > 2 else ["256", "1024"])]
RUNS = int(sys.argv[3]) if len(sys.argv) > 3 else 5
IDEAL = os.path.join(os.path.dirname(os.path.abspath(CLI)), "..", "bench", "ideal_rewrite")
PASSWORD = "Bench1"


def timed(cmd, stdin=None):
    """Wall seconds and peak RSS (KiB) of one command."""
    # /usr/bin/time for the peak: it forks small, so the peak is the command's own.
    memfile = tempfile.NamedTemporaryFile(prefix="sealdoor-rss-", delete=False).name
    cmd = ["/usr/bin/time", "-f", "%M", "-o", memfile] + cmd
    start = time.perf_counter()
    p = subprocess.Popen(cmd, stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    if stdin:
        p.stdin.write(stdin)
    p.stdin.close()
    _, status, _ = os.wait4(p.pid, 0)
    wall = time.perf_counter() - start
    err = p.stderr.read()
    p.returncode = os.waitstatus_to_exitcode(status)
    if p.returncode != 0:
        raise SystemExit(f"failed: {' '.join(cmd)}\n{err}")
    with open(memfile) as f:
        rss = int(f.read().split()[-1])
    os.remove(memfile)
    return wall, rss


def warm(path):
    with open(path, "rb") as f:
        while f.read(1 << 24):
            pass


def main():
    work = tempfile.mkdtemp(prefix="sealdoor-bench-", dir=os.environ.get("BENCH_DIR", "/var/tmp"))
    print(f"# {RUNS} runs each, medians; peak memory is the largest RSS seen")
    for mib in SIZES:
        src = os.path.join(work, f"src-{mib}")
        dst = os.path.join(work, "dst")
        with open(src, "wb") as f:
            for _ in range(mib):
                f.write(os.urandom(1 << 20))
        rm = lambda: os.path.exists(dst) and os.remove(dst)
        commands = [
            ("cp", lambda: ["cp", src, dst], None),
            ("dd conv=fsync", lambda: ["dd", f"if={src}", f"of={dst}", "bs=4M", "conv=fsync", "status=none"], None),
            # The same durable in-place rewrite with no transform: the floor.
            ("ideal rewrite", lambda: [IDEAL, src], None),
            # lock and unlock take turns on the same file, each from its own input
            ("sealdoor lock", lambda: [CLI, "lock", "--password-stdin", src], PASSWORD + "\n"),
            ("sealdoor unlock", lambda: [CLI, "unlock", "--password-stdin", src], PASSWORD + "\n"),
            ("openssl aes-256-ctr",
             lambda: ["openssl", "enc", "-aes-256-ctr", "-pbkdf2", "-pass", "pass:x", "-in", src, "-out", dst], None),
            ("gpg -c", lambda: ["gpg", "--batch", "--yes", "-q", "--pinentry-mode", "loopback", "--passphrase", "x",
                                "-c", "-o", dst, src], None),
        ]
        walls = {name: [] for name, _, _ in commands}
        rsss = {name: [] for name, _, _ in commands}
        # Rounds interleave the commands, so each meets the disk in the same moods.
        for _ in range(RUNS):
            for name, make_cmd, stdin in commands:
                os.sync()  # each starts on a quiet disk, not behind the last one's write-back
                warm(src)
                w, m = timed(make_cmd(), stdin)
                walls[name].append(w)
                rsss[name].append(m)
                rm()
        results = {name: (statistics.median(walls[name]), max(rsss[name])) for name in walls}

        floor = results["dd conv=fsync"][0]
        print(f"\n## {mib} MiB")
        print(f"| command | median s | / dd conv=fsync | peak RSS MiB |")
        print(f"|---|---|---|---|")
        for name, (wall, rss) in results.items():
            print(f"| {name} | {wall:.3f} | {wall / floor:.2f} | {rss / 1024:.1f} |")
        openssl = results["openssl aes-256-ctr"][0]
        ideal = results["ideal rewrite"][0]
        for op in ("sealdoor lock", "sealdoor unlock"):
            print(f"{op}: {results[op][0] / ideal:.2f}x the ideal rewrite, "
                  f"{openssl / results[op][0]:.2f}x faster than openssl aes-256-ctr")
        os.remove(src)
    os.rmdir(work)


main()
