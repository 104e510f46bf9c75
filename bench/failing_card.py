#!/usr/bin/env python3
"""Runs the native engine over a failing card and says what the failures cost.

By hand, not in CI:  bench/failing_card.py [--size-mib 256] [--slow-ms 20] [--pulled-slow-ms 1000]

Builds an optimised embsrv (build/bench-release) and bench/failing_io_shim.c, lays the camera
photos of ../shared/bench-media on a card image of random data (build/bench/failing_card.img,
each photo on a 32 KiB boundary), and runs the engine through the shim in these scenarios:
  clean      no failure, for comparison
  bad        scattered bad sectors and a 4 MiB bad range (EIO)
  slow-bad   a few bad sectors and a 64-sector range, each failing read taking --slow-ms
  pulled-*   the card pulled out half-way: ENODEV, ENXIO, and EIO on every read from then on
             (also with each failing read taking --pulled-slow-ms, as a card reader's timeout)
For each it prints the exit code, the failing reads per bad sector, the time to give up on a
pulled card (from the pull to the engine's exit), the run's wall time, the photos recovered
byte-exact, and the photos lost: those the clean run recovers that lie outside the bad ranges
(or before the pull) and that this run does not recover (target 0).
"""
import argparse
import hashlib
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SECTOR = 512
ALIGN = 32 * 1024
MIB = 1024 * 1024


def build(out):
    subprocess.run(["cmake", "-S", ROOT, "-B", os.path.join(ROOT, "build", "bench-release"), "-G", "Ninja",
                    "-DCMAKE_BUILD_TYPE=Release", "-DTESSERA_SANITIZE=OFF", "-DTESSERA_TESTS=OFF"],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", os.path.join(ROOT, "build", "bench-release"), "-j", "2", "--target", "embsrv"],
                   check=True, stdout=subprocess.DEVNULL)
    shim = os.path.join(out, "failing_io_shim.so")
    subprocess.run(["cc", "-O2", "-shared", "-fPIC", "-o", shim, os.path.join(ROOT, "bench", "failing_io_shim.c"), "-ldl"],
                   check=True)
    return os.path.join(ROOT, "build", "bench-release", "bin", "embsrv"), shim


def make_card(path, size, media, seed):
    """Random filler with the photos on 32 KiB boundaries; returns [(first sector, bytes, sha256)]."""
    rng = random.Random(seed)
    photos = sorted(os.path.join(d, f) for d, _, fs in os.walk(media) for f in fs
                    if f.lower().endswith((".jpg", ".jpeg")))
    placed = []
    with open(path, "wb") as card:
        at = 0
        while photos and at < size:
            name = photos[len(placed) % len(photos)]
            data = open(name, "rb").read()
            gap = rng.randrange(0, 8) * ALIGN
            if at + gap + len(data) > size:
                break
            card.write(rng.randbytes(gap))
            at += gap
            placed.append((at // SECTOR, len(data), hashlib.sha256(data).hexdigest()))
            card.write(data)
            at += len(data)
            pad = -at % ALIGN
            card.write(rng.randbytes(pad))
            at += pad
        card.write(rng.randbytes(size - at))
    return placed


def recovered(work, placed):
    found = {}
    for name in os.listdir(work):
        if name.startswith("f") and "." in name:
            try:
                found[int(name[1:name.index(".")])] = os.path.join(work, name)
            except ValueError:
                pass
    exact = set()
    for i, (sector, length, digest) in enumerate(placed):
        path = found.get(sector)
        if path and os.path.getsize(path) == length and hashlib.sha256(open(path, "rb").read()).hexdigest() == digest:
            exact.add(i)
    return exact


def run(engine, shim, image, env, placed):
    work = tempfile.mkdtemp(prefix="failing_card_")
    report = os.path.join(work, "report.txt")
    full = dict(os.environ, LD_PRELOAD=shim, EMBER_FAIL_IMAGE=image, EMBER_FAIL_REPORT=report, **env)
    start = time.monotonic()
    code = subprocess.run([engine, "/d", os.path.join(work, "tmp"), "/cmd", image, "fileopt,everything,disable,jpg,enable,search"],
                          env=full, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode
    wall = time.monotonic() - start
    counts = dict(kv.split("=") for kv in open(report).read().split())
    summary = {}
    summary_path = os.path.join(work, "tmp", ".ember_summary")
    if os.path.exists(summary_path):
        summary = dict(line.split("=", 1) for line in open(summary_path).read().split())
    exact = recovered(os.path.join(work, "tmp"), placed)
    shutil.rmtree(work)
    return code, wall, counts, summary, exact


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("--size-mib", type=int, default=256)
    p.add_argument("--media", default=os.path.join(os.path.dirname(ROOT), "shared", "bench-media"))
    p.add_argument("--slow-ms", type=int, default=20)
    p.add_argument("--pulled-slow-ms", type=int, default=1000)
    p.add_argument("--seed", type=int, default=1)
    args = p.parse_args()
    if not os.path.isdir(args.media):
        sys.exit(f"no camera photos at {args.media}: nothing to lay on the card")
    out = os.path.join(ROOT, "build", "bench")
    os.makedirs(out, exist_ok=True)
    engine, shim = build(out)
    image = os.path.join(out, "failing_card.img")
    size = args.size_mib * MIB
    placed = make_card(image, size, args.media, args.seed)
    sectors = size // SECTOR
    rng = random.Random(args.seed + 1)

    def outside(ranges):
        return {i for i, (s, n, _) in enumerate(placed)
                if all(s + (n + SECTOR - 1) // SECTOR <= a or b <= s for a, b in ranges)}

    singles = [(s, s + 1) for s in rng.sample(range(sectors), 32)]
    big = [(sectors // 3, sectors // 3 + 4 * MIB // SECTOR)]
    slow = [(s, s + 1) for s in rng.sample(range(sectors), 8)] + [(sectors // 2, sectors // 2 + 64)]
    pull_at = sectors // 2
    # The read-ahead runs up to three 8 MiB chunks ahead of the scan: the pull comes that early.
    before_pull = {i for i, (s, n, _) in enumerate(placed) if s + (n + SECTOR - 1) // SECTOR < pull_at - 32 * MIB // SECTOR}

    def bad_env(ranges):
        return ",".join(f"{a}-{b}" for a, b in ranges)

    scenarios = [
        ("clean", {}, set(range(len(placed)))),
        ("bad", {"EMBER_FAIL_BAD": bad_env(singles + big)}, outside(singles + big)),
        ("slow-bad", {"EMBER_FAIL_BAD": bad_env(slow), "EMBER_FAIL_SLOW_MS": str(args.slow_ms)}, outside(slow)),
        ("pulled-ENODEV", {"EMBER_FAIL_GONE_AT": str(pull_at)}, before_pull),
        ("pulled-ENXIO", {"EMBER_FAIL_GONE_AT": str(pull_at), "EMBER_FAIL_GONE_ERRNO": "ENXIO"}, before_pull),
        ("pulled-EIO", {"EMBER_FAIL_GONE_AT": str(pull_at), "EMBER_FAIL_GONE_ERRNO": "EIO"}, before_pull),
        ("pulled-EIO-slow", {"EMBER_FAIL_GONE_AT": str(pull_at), "EMBER_FAIL_GONE_ERRNO": "EIO",
                             "EMBER_FAIL_SLOW_MS": str(args.pulled_slow_ms)}, before_pull),
    ]
    print(f"card {args.size_mib} MiB, {len(placed)} photos; pulled at sector {pull_at}")
    print("photos: recovered byte-exact; lost: of those the clean run recovers outside the bad ranges")
    print("(or before the pull), the ones this run does not (target 0)")
    print(f"{'scenario':16} {'exit':>4} {'wall s':>7} {'unreadable':>10} {'failing':>8} {'per bad':>7} "
          f"{'give up ms':>10} {'photos':>7} {'lost':>5}")
    clean = None
    for name, env, spared in scenarios:
        code, wall, counts, summary, exact = run(engine, shim, image, env, placed)
        clean = exact if clean is None else clean
        lost = len((clean & spared) - exact)
        unreadable = int(summary.get("unreadable_sectors", 0))
        failing = int(counts.get("failing_reads", 0))
        per_bad = f"{failing / unreadable:.2f}" if unreadable else "-"
        give_up = counts.get("gone_to_exit_ms", "0") if name.startswith("pulled") else "-"
        print(f"{name:16} {code:>4} {wall:>7.2f} {unreadable:>10} {failing:>8} {per_bad:>7} {give_up:>10} "
              f"{len(exact):>7} {lost:>5}")


if __name__ == "__main__":
    main()
