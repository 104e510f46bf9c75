#!/usr/bin/env python3
"""What a scan reads and how long it takes, for one or two engines on the card images: the
number of reads of the image and the bytes they fetch (from strace; a scan that reads the card
once fetches about its size), and the best wall time of three warm runs with every type enabled
and the finds written to a temporary folder. Run by hand, e.g. to compare a change with main:

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
    work = tempfile.mkdtemp(prefix="card_reads_")
    try:
        cmd = command_line(embsrv, work, image, search_names())
        if trace:
            cmd = ["strace", "-f", "-qq", "-e", "trace=pread64", "-e", "signal=none", "-o", trace] + cmd
        t = time.monotonic()
        subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
        return time.monotonic() - t
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
    print("%-22s %-7s %9s %10s %8s %8s" % ("image", "engine", "reads", "MiB read", "x card", "best s"))
    for image in args.images:
        size = os.path.getsize(image)
        subprocess.run(["cat", image], stdout=subprocess.DEVNULL, check=True)  # warm
        for name, embsrv in engines:
            calls, fetched = reads_of(embsrv, image)
            best = min(run_once(embsrv, image) for _ in range(args.runs))
            print("%-22s %-7s %9d %10.1f %8.2f %8.2f" % (os.path.basename(image), name, calls, fetched / 2**20,
                                                        fetched / size, best))


if __name__ == "__main__":
    main()
