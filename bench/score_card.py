#!/usr/bin/env python3
"""Scores the engine on a card image built by bench/build_card.py: runs the native embsrv with
every type enabled (or takes an already filled folder with --found), matches each found file to
the original that starts at its sector, and prints per type and per state (contiguous or
fragmented, live or deleted, overwritten; all deleted after a quick format) how many came back
byte-exact, at the wrong length, with wrong bytes (wrong joins, for fragmented ones) or not at
all, the two-fragment deleted JPEG and PNG files joined, the long clips of the long-video card
(bench/build_long_card.py) per style and number of fragments, how many finds start at no
original (junk), and how many recovered files carry their original name by the engine's index.
Then throughput, CPU time and peak memory beside a warm `cat` of the same image."""

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
    m = re.search(r"User time \(seconds\): ([0-9.]+)\s+System time \(seconds\): ([0-9.]+)", text)
    user = "%s s user, %s s system" % m.groups() if m else None
    cpu = tuple(float(x) for x in m.groups()) if m else None
    return r.returncode, wall, rss, user, cpu, cmd


# Cells of their own, outside the per-type table and the state totals.
SIDE_TABLES = ("two-fragment", "video fragments", "long videos")

STATES = ["contiguous live", "contiguous deleted", "fragmented live", "fragmented deleted", "overwritten"]


def state_of(r):
    """An original's state on the card: contiguous or fragmented, live or deleted (a quick
    format leaves every file deleted), or overwritten (head intact, later clusters replaced)."""
    if r["class"] == "overwritten":
        return "overwritten"
    shape = "contiguous" if r["class"] == "intact" else "fragmented"
    return "%s %s" % (shape, "live" if r["live"] else "deleted")


def score(manifest, found):
    """Per type and state, each original's outcome: exact, wrong length (the find and the original
    agree up to the shorter), wrong bytes (they differ inside both: for a fragmented original a
    wrong join), or missing; and the junk finds (at no original's first sector)."""
    by_start = {}
    lost = collections.Counter()
    for r in manifest["originals"]:
        if r["class"] == "head-lost" or r["first_sector"] is None:
            lost[r["type"]] += 1
        else:
            by_start[r["first_sector"]] = r
    outcome = {}
    exts = collections.defaultdict(set)
    junk = collections.Counter()
    wrong = []
    shorter = set()  # finds shorter than their original
    for sector, ext, path in found:
        r = by_start.get(sector)
        if r is None or sector in outcome:
            junk[ext] += 1
            continue
        exts[r["type"]].add(ext)
        size = os.path.getsize(path)
        if size == r["size"] and sha256(path) == r["sha256"]:
            outcome[sector] = "exact"
            continue
        same = common_prefix(path, r["source"]) if os.path.exists(r["source"]) else -1
        outcome[sector] = "wrong length" if same == min(size, r["size"]) else "wrong bytes"
        if size < r["size"]:
            shorter.add(sector)
        wrong.append((r["type"], state_of(r), r["path"], r["size"], size, same))
    cells = collections.defaultdict(collections.Counter)  # (type, state) -> outcomes
    for sector, r in by_start.items():
        if r.get("kind") == "video" and r["class"] == "fragmented" and not r["live"]:
            got = outcome.get(sector, "missing")
            if got == "wrong length" and sector in shorter:
                got = "head"
            cells[("video fragments", "%s %d" % (r["type"], len(r["runs"])))]["total"] += 1
            cells[("video fragments", "%s %d" % (r["type"], len(r["runs"])))][got] += 1
        if r.get("long"):
            long_clip(cells, r, outcome.get(sector, "missing"), sector in shorter)
        cell = cells[(r["type"], state_of(r))]
        cell["total"] += 1
        cell[outcome.get(sector, "missing")] += 1
        if r["class"] == "fragmented" and len(r["runs"]) == 2 and not r["live"] and r["type"] in ("jpg", "png"):
            cells[("two-fragment", "deleted jpg/png")]["total"] += 1
            cells[("two-fragment", "deleted jpg/png")][outcome.get(sector, "missing")] += 1
    return cells, lost, exts, junk, wrong


def fragment_group(n):
    """The report's groups of fragment counts: 1, 2, 3-4, 5-8, 9 and more."""
    return "1" if n < 2 else "2" if n == 2 else "3-4" if n <= 4 else "5-8" if n <= 8 else "9+"


def long_clip(cells, r, got, is_shorter):
    """Counts a long clip of the long-video card under its style, live or deleted, and group of
    fragment counts: exact, head (a shorter find its original starts with), wrong, missing."""
    if got == "wrong length" and is_shorter:
        got = "head"
    elif got in ("wrong length", "wrong bytes"):
        got = "wrong"
    c = cells[("long videos", "%s|%s|%s" % (
        r["long"], "live" if r["live"] else "deleted", fragment_group(r.get("fragments", len(r["runs"])))))]
    c["total"] += 1
    c[got] += 1


def report_long(cells, out=sys.stdout):
    keys = [k for t, k in cells if t == "long videos"]
    if not keys:
        return
    groups = ["1", "2", "3-4", "5-8", "9+"]
    keys.sort(key=lambda k: (k.split("|")[0], k.split("|")[1], groups.index(k.split("|")[2])))
    print("long videos per style, live or deleted, and fragments: exact, head only (a shorter find the clip "
          "starts with), wrong (other lengths, wrong joins), missing", file=out)
    every = collections.defaultdict(collections.Counter)  # (live, group) over the styles
    for k in keys:
        style, live, group = k.split("|")
        every[(live, group)].update(cells[("long videos", k)])
    rows = [tuple(k.split("|")) for k in keys] + [("every style",) + k for k in
                                                  sorted(every, key=lambda k: (k[0], groups.index(k[1])))]
    for style, live, group in rows:
        c = every[(live, group)] if style == "every style" else cells[("long videos", "|".join((style, live, group)))]
        print("  %-15s %-8s %3s fragments: %3d clips %3d exact %3d head only %3d wrong %3d missing" % (
            style, live, group, c["total"], c["exact"], c["head"], c["wrong"], c["missing"]), file=out)


def read_index(folder):
    """The engine's index beside its finds: {find file name: fields}; {} when there is none."""
    lines = {}
    path = os.path.join(folder, ".ember_index")
    if not os.path.exists(path):
        return lines
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            if line.startswith("#") or not line.endswith("\n"):
                continue
            fields = line[:-1].split("\t")
            if len(fields) >= 7:
                lines[fields[0]] = fields
    return lines


def score_names(manifest, found, index, out=sys.stdout):
    """How many finds at an original's first sector that an entry names carry the original's name
    (its last component), and its whole path; those whose name differs only in a deleted 8.3
    entry's lost first character ('_'); and those no entry names."""
    by_start = {r["first_sector"]: r for r in manifest["originals"] if r["first_sector"] is not None}
    counts = collections.Counter()
    seen = set()
    for sector, ext, path in found:
        r = by_start.get(sector)
        if r is None or sector in seen:
            continue
        seen.add(sector)
        fields = index.get(os.path.basename(path))
        counts["recovered"] += 1
        if not fields or not fields[1]:
            counts["unnamed"] += 1
            continue
        counts["named"] += 1
        want = r["path"].lstrip("/").split("/")
        got = fields[1].split("\\")
        if got[-1] == want[-1]:
            counts["name"] += 1
            counts["path"] += got == want
        elif got[-1][:1] == "_" and got[-1][1:] == want[-1][1:]:
            counts["first lost"] += 1
    if not counts["recovered"]:
        return counts
    named = counts["named"]
    print("names: %d of %d recovered files that an entry names carry their original name (%.1f %%), %d their "
          "whole path; %d more lack only a deleted 8.3 name's first character ('_'); %d recovered files no entry "
          "names" % (counts["name"], named, 100.0 * counts["name"] / max(named, 1), counts["path"],
                     counts["first lost"], counts["unnamed"]), file=out)
    # The lost first character is what the card holds: such a name counts as carried.
    print("names carried, a lost first character shown as '_' counted: %d of %d (%.1f %%)" % (
        counts["name"] + counts["first lost"], named, 100.0 * (counts["name"] + counts["first lost"]) / max(named, 1)),
        file=out)
    return counts


def summary(cells, junk, names, timing):
    """The figures a later run is compared with: exact/total per type and state, per state, the
    names, the junk, and the engine's CPU time, wall time and peak memory."""
    out = {"exact": {}, "states": {}, "junk": sum(junk.values()),
           "names": {k: names.get(k, 0) for k in ("recovered", "named", "name", "path", "first lost", "unnamed")}}
    for (t, st), c in cells.items():
        out["exact"]["%s / %s" % (t, st)] = [c["exact"], c["total"]]
        if t not in SIDE_TABLES:
            s = out["states"].setdefault(st, [0, 0])
            s[0] += c["exact"]
            s[1] += c["total"]
    if timing:
        rc, wall, rss, _, cpu, _, _, _ = timing
        out.update({"exit": rc, "wall_s": round(wall, 2), "rss_kib": rss,
                    "user_s": cpu[0] if cpu else None, "system_s": cpu[1] if cpu else None})
    return out


def compare(key, now, before, out=sys.stdout):
    """What changed since the run saved as `before`: every exact count that moved, the totals per
    state, the names and the CPU time."""
    p = lambda *a: print(*a, file=out)  # noqa: E731
    if not before:
        p("compare: no earlier run of %s saved" % key)
        return
    p("compare with the saved run of %s (before -> now):" % key)
    moved = 0
    for cell in sorted(set(now["exact"]) | set(before["exact"])):
        a, b = before["exact"].get(cell, [0, 0]), now["exact"].get(cell, [0, 0])
        if a != b:
            moved += 1
            p("  %-40s %9s -> %-9s %+d" % (cell, "%d/%d" % tuple(a), "%d/%d" % tuple(b), b[0] - a[0]))
    if not moved:
        p("  exact per type and state: unchanged")
    for st in STATES:
        a, b = before["states"].get(st), now["states"].get(st)
        if a or b:
            a, b = a or [0, 0], b or [0, 0]
            p("  %-20s exact %5d -> %-5d of %d -> %d" % (st, a[0], b[0], a[1], b[1]))
    na, nb = before.get("names", {}), now.get("names", {})
    p("  names carried %d -> %d, with '_' for a lost first character %d -> %d, of named %d -> %d" % (
        na.get("name", 0), nb.get("name", 0), na.get("name", 0) + na.get("first lost", 0),
        nb.get("name", 0) + nb.get("first lost", 0), na.get("named", 0), nb.get("named", 0)))
    p("  junk %d -> %d" % (before.get("junk", 0), now.get("junk", 0)))
    for k, unit in (("user_s", "s user CPU"), ("wall_s", "s wall"), ("rss_kib", "KiB peak RSS")):
        if before.get(k) is not None and now.get(k) is not None:
            p("  %s %s -> %s %s" % (k.split("_")[0], before[k], now[k], unit))


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


def report(manifest, cells, lost, exts, junk, wrong, out=sys.stdout):
    p = lambda *a: print(*a, file=out)  # noqa: E731
    quick = " after quick format" if manifest.get("quick_format") else ""
    p("exact / originals per type and state%s:" % quick)
    p("%-6s" % "type" + "".join("%20s" % s for s in STATES) + "%6s  %s" % ("lost", "found as"))
    types = sorted({t for t, _ in cells if t not in SIDE_TABLES})
    for t in types:
        row = ""
        for st in STATES:
            c = cells.get((t, st))
            row += "%20s" % ("%d/%d" % (c["exact"], c["total"]) if c else "-")
        p("%-6s%s%6d  %s" % (t, row, lost[t], ",".join(sorted(exts[t])) or "-"))
    p("")
    p("%-20s %9s %7s %13s %12s %8s" % ("state" + quick, "originals", "exact", "wrong length", "wrong bytes",
                                        "missing"))
    for st in STATES:
        tot = collections.Counter()
        for (t, s_), c in cells.items():
            if s_ == st and t not in SIDE_TABLES:
                tot.update(c)
        if tot["total"]:
            p("%-20s %9d %7d %13d %12d %8d" % (st, tot["total"], tot["exact"], tot["wrong length"],
                                                 tot["wrong bytes"], tot["missing"]))
    two = cells.get(("two-fragment", "deleted jpg/png"))
    if two:
        p("two-fragment deleted JPEG/PNG: %d of %d byte-exact (%.1f %%), %d with wrong bytes" % (
            two["exact"], two["total"], 100.0 * two["exact"] / two["total"], two["wrong bytes"]))
    clips = sorted((k for t, k in cells if t == "video fragments"),
                   key=lambda k: (k.split()[0], int(k.split()[1])))
    if clips:
        p("deleted fragmented videos per type and fragments: exact, head (a shorter prefix), other wrong length, "
          "wrong bytes (wrong joins), missing")
        for k in clips:
            c = cells[("video fragments", k)]
            p("  %-4s %2s fragments: %3d originals %3d exact %3d head %3d other length %3d wrong bytes %3d missing" % (
                k.split()[0], k.split()[1], c["total"], c["exact"], c["head"], c["wrong length"], c["wrong bytes"],
                c["missing"]))
    report_long(cells, out)
    p("originals: %d (%d still live on the card); lost = head overwritten, not recoverable at its start" % (
        len(manifest["originals"]), sum(1 for r in manifest["originals"] if r["live"])))
    p("junk (finds at no original's first sector): %d%s" % (
        sum(junk.values()), (" - " + ", ".join("%s %d" % kv for kv in sorted(junk.items()))) if junk else ""))
    shown = [w for w in wrong if w[1] != "overwritten"]
    if shown:
        p("wrong recoveries (type, state, card path, size, found size, same prefix):")
        for w in shown[:25]:
            p("  %-5s %-19s %-28s %10d %10d %10d" % w)
        if len(shown) > 25:
            p("  ... and %d more" % (len(shown) - 25))


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    ap = argparse.ArgumentParser(description="Scores embsrv on the benchmark card image.")
    ap.add_argument("--manifest", default=os.path.join(root, "build", "bench", "manifest_fat32.json"))
    ap.add_argument("--embsrv", default=os.path.join(root, "build", "native", "bin", "embsrv"))
    ap.add_argument("--found", help="score this folder of finds instead of running embsrv")
    ap.add_argument("--keep", action="store_true", help="keep the engine's work folder")
    ap.add_argument("--explain", action="store_true", help="say where each junk find lies")
    ap.add_argument("--save", help="keep this run's figures in this JSON file (one entry per card)")
    ap.add_argument("--compare", help="print what changed since the run kept in this JSON file")
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
            rc, wall, rss, user, cpu, cmd = run_engine(a.embsrv, image, folder, os.path.join(work, "embsrv.log"))
            if sha256(image) != before:
                print("WARNING: the card image changed during the scan; the engine wrote to it")
            timing = (rc, wall, rss, user, cpu, cat, cmd, os.path.join(work, "embsrv.log"))
            if rc != 0:
                print("embsrv exited with %d; its last lines:" % rc)
                print("\n".join(open(timing[7], errors="replace").read().splitlines()[-15:]))
        found = finds(folder)
        cells, lost, exts, junk, wrong = score(manifest, found)
        print("card %s: %s, %.0f MB, %d KiB clusters, %d finds" % (
            image, manifest.get("fs", "fat32"), size_mb, manifest["cluster_size"] >> 10, len(found)))
        report(manifest, cells, lost, exts, junk, wrong)
        names = score_names(manifest, found, read_index(folder))
        if a.explain:
            explain_junk(manifest, found)
        if timing:
            rc, wall, rss, user, _, cat, cmd, _ = timing
            print("embsrv: %.1f s, %.1f MB/s, CPU %s; warm cat of the image: %.2f s, %.0f MB/s; peak RSS %s" % (
                wall, size_mb / wall, user or "unknown", cat,
                size_mb / max(cat, 1e-6), "%.1f MiB" % (rss / 1024) if rss else "unknown (install time)"))
        if a.save or a.compare:
            key = os.path.basename(a.manifest)
            now = summary(cells, junk, names, timing)
            if a.compare:
                saved = json.load(open(a.compare)) if os.path.exists(a.compare) else {}
                compare(key, now, saved.get(key))
            if a.save:
                saved = json.load(open(a.save)) if os.path.exists(a.save) else {}
                saved[key] = now
                with open(a.save + "~", "w") as f:
                    json.dump(saved, f, indent=1, sort_keys=True)
                os.replace(a.save + "~", a.save)
        if work and a.keep:
            print("work folder kept: %s" % work)
    finally:
        if work and not a.keep:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
