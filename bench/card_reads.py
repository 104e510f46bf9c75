#!/usr/bin/env python3
"""What a scan reads and how long it takes, for one or two engines on the card images: the
number of reads of the image and the bytes they fetch (from strace; a scan that reads the card
once fetches about its size, and copying the finds out reads them again), and the best wall
time of three warm runs with every type enabled, with that run's user and system CPU time (the
user time is the steadier figure on a shared machine). The finds go to a
folder in /dev/shm (memory), so that writing them to a disk does not blur the comparison. Run by hand, e.g. to compare a change with main:

    bench/card_reads.py --engine build/bench-release/bin/embsrv --base /tmp/main/bin/embsrv \\
        build/bench/card_fat32.img build/bench/card_exfat.img
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from score_card import command_line, search_names  # noqa: E402


def run_once(embsrv, image, trace=None):
    """(wall, user CPU, system CPU) seconds of one scan."""
    work = tempfile.mkdtemp(prefix="card_reads_", dir="/dev/shm" if os.path.isdir("/dev/shm") else None)
    try:
        cmd = command_line(embsrv, work, image, search_names())
        if trace:
            cmd = ["strace", "-f", "-qq", "-e", "trace=pread64", "-e", "signal=none", "-o", trace] + cmd
        t = time.monotonic()
        p = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        _, _, usage = os.wait4(p.pid, 0)
        return time.monotonic() - t, usage.ru_utime, usage.ru_stime
    finally:
        shutil.rmtree(work, ignore_errors=True)


def reads_of(embsrv, image):
    with tempfile.NamedTemporaryFile(prefix="card_reads_", suffix=".trace") as trace:
        run_once(embsrv, image, trace.name)
        calls, fetched = 0, 0
        for line in open(trace.name, errors="replace"):
            m = re.search(r"pread64\(.*\)\s*=\s*(\d+)", line)
            if m:
                calls += 1
                fetched += int(m.group(1))
        return calls, fetched


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--engine", required=True)
    ap.add_argument("--base", help="an engine to compare with")
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("images", nargs="+")
    args = ap.parse_args()
    if not shutil.which("strace"):
        sys.exit("card_reads.py needs strace (apt-get install strace)")
    engines = [("base", args.base)] if args.base else []
    engines.append(("engine", args.engine))
    print("%-22s %-7s %9s %10s %8s %8s %8s %8s" % ("image", "engine", "reads", "MiB read", "x card", "best s", "user s", "sys s"))
    for image in args.images:
        size = os.path.getsize(image)
        subprocess.run(["cat", image], stdout=subprocess.DEVNULL, check=True)  # warm
        # The engines take turns, so that a busy spell of the machine does not favour one.
        runs = [[run_once(embsrv, image) for _, embsrv in engines] for _ in range(args.runs)]
        for i, (name, embsrv) in enumerate(engines):
            calls, fetched = reads_of(embsrv, image)
            best = min(run[i] for run in runs)
            print("%-22s %-7s %9d %10.1f %8.2f %8.2f %8.2f %8.2f" % (os.path.basename(image), name, calls,
                                                              fetched / 2**20, fetched / size, *best))


if __name__ == "__main__":
    main()
