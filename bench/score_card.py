#!/usr/bin/env python3
"""Scores the engine on a card image built by bench/build_card.py: runs the native embsrv with
every type enabled (or takes an already filled folder with --found), matches each found file to
the original that starts at its sector, and prints per type how many intact originals came back
byte-exact, how many at the right place with the wrong bytes, what became of the fragmented and
overwritten ones, and how many finds start at no original at all (junk). Then throughput and
peak memory beside a warm `cat` of the same image."""

import argparse
import collections
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from file_hash import sha256  # noqa: E402

VIDEO = "max mov riff asf flv dpx dv fcp ifo m2ts mkv mpg rm swf TiVo".split()
PHOTO = "tif dsc raf x3f orf rw2 crw mrw png gif bmp jpg ico psd".split()
AUDIO = ("aif all als ape asf au caf riff flac gp5 ds2 dss flp it mid mp3 mus ogg ra rns ses sib "
         "wv xm wtv").split()
FOUND_NAME = re.compile(r"^f(\d+)(?:_[^.]*)?\.([A-Za-z0-9]+)$")


def search_names():
    out = []
    for n in VIDEO + PHOTO + AUDIO:
        if n not in out:
            out.append(n)
    return out


def command_line(embsrv, work, image, names):
    opts = ["fileopt", "everything", "disable"]
    for n in names:
        opts += [n, "enable"]
    return [embsrv, "/d", work, "/cmd", image, ",".join(opts + ["search"])]


def common_prefix(a_path, b_path):
    n = 0
    with open(a_path, "rb") as a, open(b_path, "rb") as b:
        while True:
            x, y = a.read(1 << 16), b.read(1 << 16)
            if not x or not y:
                return n
            if x == y:
                n += len(x)
                if len(x) != len(y):
                    return n - len(x) + min(len(x), len(y))
                continue
            for i in range(min(len(x), len(y))):
                if x[i] != y[i]:
                    return n + i
            return n + min(len(x), len(y))


def finds(folder):
    """(start sector, extension, path) of every found file in the folder tree."""
    out = []
    for d, _, names in os.walk(folder):
        for n in names:
            m = FOUND_NAME.match(n)
            if m:
                out.append((int(m.group(1)), m.group(2).lower(), os.path.join(d, n)))
    return sorted(out)


def timed_cat(image):
    for _ in range(2):  # warm the page cache
        subprocess.run(["cat", image], stdout=subprocess.DEVNULL, check=True)
    t = time.monotonic()
    subprocess.run(["cat", image], stdout=subprocess.DEVNULL, check=True)
    return time.monotonic() - t


def run_engine(embsrv, image, work, log_path):
    cmd = command_line(embsrv, work, image, search_names())
    timer = ["/usr/bin/time", "-v"] if os.path.exists("/usr/bin/time") else []
    with open(log_path, "wb") as log:
        t = time.monotonic()
        r = subprocess.run(timer + cmd, stdout=log, stderr=subprocess.STDOUT)
        wall = time.monotonic() - t
    text = open(log_path, "rb").read().decode(errors="replace")
    m = re.search(r"Maximum resident set size \(kbytes\): (\d+)", text)
    rss = int(m.group(1)) if m else None
    return r.returncode, wall, rss, cmd


def score(manifest, found):
    by_start = {}
    lost = collections.Counter()
    for r in manifest["originals"]:
        if r["class"] == "head-lost" or r["first_sector"] is None:
            lost[r["type"]] += 1
        else:
            by_start[r["first_sector"]] = r
    rows = collections.OrderedDict()

    def row(t):
        return rows.setdefault(t, collections.Counter())

    for r in manifest["originals"]:
        c = row(r["type"])
        if r["class"] != "head-lost":
            c[r["class"]] += 1
    exts = collections.defaultdict(set)
    junk = collections.Counter()
    wrong = []
    hit = set()
    for sector, ext, path in found:
        r = by_start.get(sector)
        if r is None or sector in hit:
            junk[ext] += 1
            continue
        hit.add(sector)
        c = row(r["type"])
        exts[r["type"]].add(ext)
        exact = os.path.getsize(path) == r["size"] and sha256(path) == r["sha256"]
        cls = r["class"]
        if exact:
            c[cls + " exact"] += 1
        elif cls == "intact":
            c["intact wrong"] += 1
            same = common_prefix(path, r["source"]) if os.path.exists(r["source"]) else -1
            wrong.append((r["type"], r["path"], r["size"], os.path.getsize(path), same))
        else:
            c[cls + " partly"] += 1
    return rows, lost, exts, junk, wrong


def explain_junk(manifest, found, out=sys.stdout):
    """Where each junk find lies: inside which original (its type, class and the byte offset of
    the find in it), or in no original's clusters."""
    runs = []
    for r in manifest["originals"]:
        offset = 0
        for start, count in r["runs"]:
            runs.append((start, start + count, offset - start * 512, r))
            offset += count * 512
    runs.sort(key=lambda x: x[0])
    starts = {r["first_sector"] for r in manifest["originals"] if r["class"] != "head-lost"}
    hit = set()
    print("junk finds (sector, ext, size: what lies there; the newest writer of a sector is listed last):", file=out)
    for sector, ext, path in found:
        if sector in starts and sector not in hit:
            hit.add(sector)
            continue
        owners = ["%s %s %s at %d" % (r["type"], r["class"], os.path.basename(r["path"]), base + sector * 512)
                  for lo, hi, base, r in runs if lo <= sector < hi]
        print("  %10d %-5s %10d: %s" % (sector, ext, os.path.getsize(path), "; ".join(owners) or "no original"),
              file=out)


def report(manifest, rows, lost, exts, junk, wrong, out=sys.stdout):
    p = lambda *a: print(*a, file=out)  # noqa: E731
    p("%-6s %14s %6s %15s %16s %5s  %s" % ("type", "intact exact", "wrong", "fragm ex/part", "overwr ex/part",
                                          "lost", "found as"))
    tot = collections.Counter()
    for t in sorted(rows):
        c = rows[t]
        tot.update(c)
        tot["lost"] += lost[t]
        p("%-6s %8d / %-3d %6d %8d/%d of %-3d %8d/%d of %-3d %5d  %s" % (
            t, c["intact exact"], c["intact"], c["intact wrong"],
            c["fragmented exact"], c["fragmented partly"], c["fragmented"],
            c["overwritten exact"], c["overwritten partly"], c["overwritten"],
            lost[t], ",".join(sorted(exts[t])) or "-"))
    p("%-6s %8d / %-3d %6d %8d/%d of %-3d %8d/%d of %-3d %5d" % (
        "all", tot["intact exact"], tot["intact"], tot["intact wrong"],
        tot["fragmented exact"], tot["fragmented partly"], tot["fragmented"],
        tot["overwritten exact"], tot["overwritten partly"], tot["overwritten"], tot["lost"]))
    live = sum(1 for r in manifest["originals"] if r["live"])
    p("originals: %d (%d still live on the card); lost = head overwritten, not recoverable at its start"
      % (len(manifest["originals"]), live))
    p("junk (finds at no original's first sector): %d%s" % (
        sum(junk.values()), (" - " + ", ".join("%s %d" % kv for kv in sorted(junk.items()))) if junk else ""))
    if wrong:
        p("wrong-length recoveries of intact originals (type, card path, size, found size, same prefix):")
        for w in wrong[:20]:
            p("  %-5s %-28s %10d %10d %10d" % w)
        if len(wrong) > 20:
            p("  ... and %d more" % (len(wrong) - 20))


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    ap = argparse.ArgumentParser(description="Scores embsrv on the benchmark card image.")
    ap.add_argument("--manifest", default=os.path.join(root, "build", "bench", "manifest.json"))
    ap.add_argument("--embsrv", default=os.path.join(root, "build", "native", "bin", "embsrv"))
    ap.add_argument("--found", help="score this folder of finds instead of running embsrv")
    ap.add_argument("--keep", action="store_true", help="keep the engine's work folder")
    ap.add_argument("--explain", action="store_true", help="say where each junk find lies")
    a = ap.parse_args()
    if not os.path.exists(a.manifest):
        sys.exit("no manifest at %s: run bench/card_benchmark.sh (or bench/build_card.py) first" % a.manifest)
    with open(a.manifest) as f:
        manifest = json.load(f)
    image = manifest["image"]
    if not os.path.exists(image):
        sys.exit("card image %s is missing" % image)
    size_mb = manifest["image_size"] / 1e6
    work = None
    try:
        if a.found:
            folder = a.found
            timing = None
        else:
            if not os.access(a.embsrv, os.X_OK):
                sys.exit("no engine at %s: build it with tools/build.sh (or pass --embsrv / --found)" % a.embsrv)
            work = tempfile.mkdtemp(prefix="tessera-card-")
            folder = os.path.join(work, "found")
            os.mkdir(folder)
            before = sha256(image)
            cat = timed_cat(image)
            rc, wall, rss, cmd = run_engine(a.embsrv, image, folder, os.path.join(work, "embsrv.log"))
            if sha256(image) != before:
                print("WARNING: the card image changed during the scan; the engine wrote to it")
            timing = (rc, wall, rss, cat, cmd, os.path.join(work, "embsrv.log"))
            if rc != 0:
                print("embsrv exited with %d; its last lines:" % rc)
                print("\n".join(open(timing[5], errors="replace").read().splitlines()[-15:]))
        found = finds(folder)
        rows, lost, exts, junk, wrong = score(manifest, found)
        print("card %s: %.0f MB, %d KiB clusters, %d finds" % (
            image, size_mb, manifest["cluster_size"] >> 10, len(found)))
        report(manifest, rows, lost, exts, junk, wrong)
        if a.explain:
            explain_junk(manifest, found)
        if timing:
            rc, wall, rss, cat, cmd, _ = timing
            print("embsrv: %.1f s, %.1f MB/s; warm cat of the image: %.2f s, %.0f MB/s; peak RSS %s" % (
                wall, size_mb / wall, cat, size_mb / max(cat, 1e-6),
                "%.1f MiB" % (rss / 1024) if rss else "unknown (install time)"))
        if work and a.keep:
            print("work folder kept: %s" % work)
    finally:
        if work and not a.keep:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
