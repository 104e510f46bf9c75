#!/usr/bin/env python3
"""Builds an SD-card-like image (MBR, one FAT32 or exFAT partition at 4 MiB) without mounting
it, uses it the way a camera and a careless owner would, and writes the ground truth for the
scorer.

  fill        sequential shooting: real media copied until the card is full
  fragment    every other file of a middle stretch deleted, then large videos copied into the
              gaps, so they are fragmented
  videos      (--videos) long H.264 MP4 and MOV and motion-JPEG AVI clips of 20 to 150 MB shot
              into 2 to 8 holes each (runs of files deleted for them), deleted again later
  reshoot     a few photos deleted here and there, then new camera photos shot from the start
              of the card: each fills a hole, and one larger than its hole goes on in the next
              free clusters (two fragments)
  delete      most files deleted (deletion frees the chain and leaves the data)
  overwrite   new files copied into the freed space, some from a point inside a deleted file,
              so old files are partly overwritten
  quick       (--quick-format) a copy of the card with a new empty file system written over it

Every file's clusters are read from the card (bench/fat.py, or our exFAT writer's own record)
while it is still live; at the end each original is classed by comparing the card's clusters
with its bytes: intact (contiguous), fragmented, overwritten (head intact, later clusters
replaced) or head-lost."""

import argparse
import collections
import json
import os
import random
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import card_fs  # noqa: E402
import fat  # noqa: E402
import media_gen  # noqa: E402
from file_hash import sha256  # noqa: E402

SECTOR = 512
PART_START = 8192  # sectors: 4 MiB, as SD cards are laid out


def log(msg):
    print(msg, file=sys.stderr, flush=True)


class Bench:
    def __init__(self, args):
        self.args = args
        self.rng = random.Random(args.seed)
        os.makedirs(args.out, exist_ok=True)
        self.image = os.path.join(args.out, "card_%s.img" % args.fs)
        cams = media_gen.camera_files(args.media)
        if not cams:
            log("note: no camera files under %s; generated media only" % args.media)
        self.maker = media_gen.Maker(args.cache, [p for p, t in cams if t == "jpg"])
        self.rng.shuffle(cams)
        # One camera file of each type first, then the rest, up to a share of the card.
        seen = set()
        firsts = [c for c in cams if not (c[1] in seen or seen.add(c[1]))]
        budget = args.size_mib * 1024 * 1024 * 0.35
        self.cameras = []
        for p, t in firsts + [c for c in cams if c not in firsts]:
            s = os.path.getsize(p)
            if s <= budget:
                self.cameras.append((p, t))
                budget -= s
        self.cameras.reverse()  # popped from the end
        # Every generated type once before the random mix.
        self.each_type = sorted(set(media_gen.PHOTO_TYPES + media_gen.VIDEO_TYPES + media_gen.AUDIO_TYPES))
        self.rng.shuffle(self.each_type)
        self.seed_next = args.seed * 100000
        self.originals = {}
        self.clips = set()  # the long clips, all deleted at the end
        self.counters = {}
        self.card = None

    def next_recipe(self, kinds=None):
        """A source file: a camera file now and then, else a freshly encoded one."""
        if kinds is None and self.cameras and self.rng.random() < 0.3:
            return self.cameras.pop()
        if kinds is None and self.each_type:
            kinds = [self.each_type.pop()]
        elif kinds is None:
            cat = self.rng.choices(["photo", "video", "audio"], weights=[3, 4, 3])[0]
            kinds = {"photo": media_gen.PHOTO_TYPES, "video": media_gen.VIDEO_TYPES,
                     "audio": media_gen.AUDIO_TYPES}[cat]
        kind = self.rng.choice(kinds)
        self.seed_next += 1
        return self.maker.make(kind, self.seed_next), kind

    def card_path(self, src, kind):
        ext = src.rsplit(".", 1)[-1].upper()
        cat = media_gen.KIND.get(kind, "photo")
        if src.startswith(self.args.cache):
            folder = {"photo": "/DCIM/100TESSR", "video": "/DCIM/101TESSR", "audio": "/MUSIC"}[cat]
        else:
            folder = "/DCIM/102CAMRA"
        n = self.counters.get(folder, 0) + 1
        self.counters[folder] = n
        if folder == "/DCIM/102CAMRA":
            return "%s/DSC%05d.%s" % (folder, n, ext)  # a camera's 8.3 names
        # A phone's long names: date, time and a counter, the extension in lower case.
        stem = {"photo": "IMG", "video": "VID", "audio": "REC"}[cat]
        return "%s/%s_20240614_%06d.%s" % (folder, stem, 183000 + n, ext.lower())

    def put(self, src, kind, phase):
        path = self.card_path(src, kind)
        self.card.put(src, path)
        kind = "jpg" if kind == "cam" else kind
        self.originals[path] = {"path": path, "type": kind, "kind": media_gen.KIND.get(kind, "photo"),
                                "source": os.path.abspath(src), "size": os.path.getsize(src),
                                "sha256": sha256(src), "phase": phase, "live": True}
        return path

    def snapshot(self):
        """Records the cluster chain of every live file (called before each deletion)."""
        for path, clusters in self.card.live_chains().items():
            rec = self.originals.get(path)
            if rec is not None:
                rec["clusters"] = clusters

    def spare_last_of_type(self, paths):
        """The paths without those whose deletion would leave a type with no live file, so that
        every type keeps at least one intact original on the card."""
        live = collections.Counter(r["type"] for r in self.originals.values() if r["live"])
        out = []
        for p in paths:
            t = self.originals[p]["type"]
            if live[t] > 1:
                live[t] -= 1
                out.append(p)
        return out

    def delete(self, paths):
        self.snapshot()
        self.card.delete(paths)
        for p in paths:
            self.originals[p]["live"] = False

    def fits(self, src, free):
        cs = self.card.cluster_size
        return (os.path.getsize(src) + cs - 1) // cs * cs + 4 * cs <= free

    def fill(self, next_file=None):
        """Copies files from `next_file` (the usual recipes by default) until the card is full."""
        free = self.card.free_bytes()
        log("fill: %d MiB free" % (free >> 20))
        misses = 0
        while misses < 12 and free > 2 * 1024 * 1024:
            src, kind = (next_file or self.next_recipe)()
            if self.fits(src, free):
                self.put(src, kind, "fill")
                free = self.card.free_bytes()
                misses = 0
            else:
                misses += 1
        log("fill: %d files, %d KiB left" % (len(self.originals), free >> 10))

    def shoot_into_holes(self, gone, kinds, share, phase, min_size=0):
        """Deletes `gone`, points the allocator at the first hole (as a camera does after a
        remount) and copies new files of `kinds` worth `share` of the freed bytes; a file larger
        than the hole it starts in goes on in the next free clusters. Returns how many."""
        self.delete(gone)
        self.card.allocate_from(min(self.originals[p]["clusters"][0] for p in gone if self.originals[p].get("clusters")))
        budget = sum(self.originals[p]["size"] for p in gone) * share
        n = 0
        while budget > 0:
            src, kind = self.next_recipe(kinds)
            if os.path.getsize(src) < min_size:
                continue
            if not self.fits(src, self.card.free_bytes()):
                break
            self.put(src, kind, phase)
            budget -= os.path.getsize(src)
            n += 1
        return n

    def fragment(self):
        fill = [p for p, r in self.originals.items() if r["live"]]
        mid = fill[len(fill) // 4: len(fill) * 3 // 4]
        small = [p for p in mid if self.originals[p]["size"] <= 12 * 1024 * 1024]
        gone = self.spare_last_of_type(small[::2])
        if not gone:
            log("fragment: too few files to make gaps")
            return
        n = self.shoot_into_holes(gone, media_gen.LARGE_TYPES, 0.6, "fragment", min_size=8 * 1024 * 1024)
        log("fragment: %d deleted, %d large files copied over the gaps" % (len(gone), n))

    def videos(self):
        """For each clip: k holes (2 to 8) of consecutive files, each a file apart, together just
        large enough; the allocator pointed at the first; the clip copied (it fills the holes in
        turn and ends in the last)."""
        if not self.args.videos:
            return
        cs = self.card.cluster_size
        shot = 0
        for n in range(self.args.videos):
            kind = ("mp4", "mov", "avi")[n % 3]
            src = self.maker.large_video(kind, self.args.seed * 1000 + n, self.rng.randint(20, self.args.video_mib))
            size = os.path.getsize(src)
            k = self.rng.randint(2, 8)
            self.snapshot()
            live = sorted((r["clusters"][0], p) for p, r in self.originals.items()
                          if r["live"] and r.get("clusters") and len(fat.runs(r["clusters"])) == 1)
            if len(live) < 4 * k:
                break
            i = self.rng.randrange(len(live) // 8, len(live) // 2)
            gone, holes, freed = [], 0, 0
            while holes < k and i < len(live):
                want = size * (holes + 1) // k + (cs if holes + 1 == k else 0)
                while freed < want and i < len(live):
                    p = live[i][1]
                    gone.append(p)
                    freed += (self.originals[p]["size"] + cs - 1) // cs * cs
                    i += 1
                holes += 1
                i += 1  # a live file between two holes
            gone = self.spare_last_of_type(gone)
            if freed < size or not gone:
                continue
            self.delete(gone)
            self.card.allocate_from(min(self.originals[p]["clusters"][0] for p in gone))
            path = self.put(src, kind, "video")
            self.clips.add(path)
            shot += 1
        log("videos: %d long clips shot into holes" % shot)

    def reshoot(self):
        live = [p for p, r in self.originals.items() if r["live"] and r["phase"] == "fill"]
        small = [p for p in live[:len(live) * 3 // 4] if self.originals[p]["size"] <= 6 * 1024 * 1024]
        gone = self.spare_last_of_type([p for p in small if self.rng.random() < 0.2])
        if not gone:
            log("reshoot: too few files to make holes")
            return
        n = self.shoot_into_holes(gone, ["cam", "cam", "cam", "png"], 1.3, "reshoot")
        log("reshoot: %d deleted, %d photos shot into the holes" % (len(gone), n))

    def delete_most(self):
        live = [p for p, r in self.originals.items() if r["live"]]
        gone = self.spare_last_of_type([p for p in live if self.rng.random() < self.args.delete_share])
        gone += [p for p in live if p in self.clips and p not in gone]  # the clips go too
        self.delete(gone)
        log("delete: %d of %d live files deleted" % (len(gone), len(live)))

    def overwrite(self):
        budget = self.args.size_mib * 1024 * 1024 * self.args.overwrite_share
        n = aimed = 0
        while budget > 0:
            src, kind = self.next_recipe()
            free = self.card.free_bytes()
            if not self.fits(src, free):
                if free < 16 * 1024 * 1024:
                    break
                continue
            if self.rng.random() < 0.5:
                # Start inside a deleted contiguous file, keeping its head and replacing the rest.
                cands = [r for r in self.originals.values() if not r["live"] and r.get("clusters")
                         and len(r["clusters"]) >= 8 and len(fat.runs(r["clusters"])) == 1]
                if cands:
                    victim = self.rng.choice(cands)["clusters"]
                    self.card.allocate_from(victim[len(victim) // 2])
                    aimed += 1
            self.put(src, kind, "overwrite")
            budget -= os.path.getsize(src)
            n += 1
        log("overwrite: %d new files (%d started inside a deleted file)" % (n, aimed))

    def classify(self):
        self.snapshot()
        cs = self.card.cluster_size
        spc = cs // SECTOR
        with open(self.image, "rb") as img:
            for rec in self.originals.values():
                clusters = rec.get("clusters") or []
                runs = fat.runs(clusters)
                rec["first_sector"] = self.card.cluster_offset(clusters[0]) // SECTOR if clusters else None
                rec["runs"] = [[self.card.cluster_offset(c) // SECTOR, k * spc] for c, k in runs]
                rec["fragments"] = len(runs)
                ok = []
                with open(rec["source"], "rb") as src:
                    for c in clusters:
                        want = src.read(cs)
                        if not want:
                            break
                        img.seek(self.card.cluster_offset(c))
                        ok.append(img.read(len(want)) == want)
                complete = len(ok) * cs >= rec["size"]
                prefix = 0
                for good in ok:
                    if not good:
                        break
                    prefix += cs
                rec["intact_prefix"] = min(prefix, rec["size"])
                if not ok or not ok[0] or not complete:
                    rec["class"] = "head-lost"
                elif not all(ok):
                    rec["class"] = "overwritten"
                elif len(runs) > 1:
                    rec["class"] = "fragmented"
                else:
                    rec["class"] = "intact"
                del rec["clusters"]

    def write_manifest(self, image, name, quick):
        a = self.args
        originals = sorted(self.originals.values(), key=lambda r: r["first_sector"] or 0)
        if quick:
            originals = [dict(r, live=False, quick=True) for r in originals]
        manifest = {"image": os.path.abspath(image), "image_size": os.path.getsize(image),
                    "sector_size": SECTOR, "partition_offset": PART_START * SECTOR, "fs": a.fs,
                    "cluster_size": self.card.cluster_size, "seed": a.seed, "quick_format": quick,
                    "originals": originals}
        path = os.path.join(a.out, name)
        with open(path, "w") as f:
            json.dump(manifest, f, indent=1)
        counts = collections.Counter(("live " if r["live"] else "deleted ") + r["class"] +
                                     (" (%d fragments)" % len(r["runs"]) if r["class"] == "fragmented" else "")
                                     for r in originals)
        log("card: %s (%s, %d MiB, %d KiB clusters), manifest: %s" % (
            image, a.fs, a.size_mib, self.card.cluster_size >> 10, path))
        for k in sorted(counts):
            log("  %-34s %d" % (k, counts[k]))

    def run(self):
        a = self.args
        self.card = card_fs.CARDS[a.fs](self.image, a.size_mib, a.cluster_kib, PART_START)
        for d in ("/DCIM", "/DCIM/100TESSR", "/DCIM/101TESSR", "/DCIM/102CAMRA", "/MUSIC"):
            self.card.mkdir(d)
        self.fill()
        self.fragment()
        self.videos()
        self.reshoot()
        self.delete_most()
        self.overwrite()
        self.classify()
        self.card.check()
        self.write_manifest(self.image, "manifest_%s.json" % a.fs, False)
        if a.quick_format:
            self.quick_copy("card_%s_quick.img" % a.fs, "manifest_%s_quick.json" % a.fs)

    def quick_copy(self, image_name, manifest_name):
        """A copy of the finished card with a new empty file system written over it."""
        a = self.args
        quick = os.path.join(a.out, image_name)
        shutil.copyfile(self.image, quick)
        self.card.image = quick
        if a.fs == "exfat":
            self.card.vol.image = quick
        else:
            self.card.target = "%s@@%d" % (quick, self.card.offset)
            self.card.mkfs[self.card.mkfs.index(self.image)] = quick
        self.card.quick_format()
        self.card.check()
        self.write_manifest(quick, manifest_name, True)


def pick_cluster_kib(size_mib, fs):
    # FAT32 needs at least 65525 clusters: 32 KiB clusters as on SDHC cards when the size allows.
    # exFAT has no minimum; cameras format it with 32 to 128 KiB clusters.
    if fs == "exfat":
        return 32 if size_mib >= 1024 else 4
    for kib in (32, 16, 8, 4, 2, 1):
        if (size_mib - 8) * 1024 // kib >= 66000:
            return kib
    raise SystemExit("--size-mib too small for FAT32 (at least 72)")


def arguments(description):
    """The card options shared by the builders of the card benchmark."""
    here = os.path.dirname(os.path.abspath(__file__))
    root = os.path.dirname(here)
    p = argparse.ArgumentParser(description=description)
    p.add_argument("--out", default=os.path.join(root, "build", "bench"))
    p.add_argument("--cache", default=None, help="generated media cache (default OUT/media)")
    p.add_argument("--media", default="/work/shared/bench-media", help="real camera files")
    p.add_argument("--size-mib", type=int, default=2112)
    p.add_argument("--cluster-kib", type=int, default=0, help="0: 32 KiB when FAT32 allows it")
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("--delete-share", type=float, default=0.75)
    p.add_argument("--overwrite-share", type=float, default=0.12)
    p.add_argument("--videos", type=int, default=6, help="long clips shot into holes (MP4, MOV, AVI in turn)")
    p.add_argument("--video-mib", type=int, default=80, help="their largest size (20 to 150)")
    p.add_argument("--fs", choices=sorted(card_fs.CARDS), default="fat32")
    p.add_argument("--quick-format", action="store_true", help="also a quick-formatted copy of the card")
    return p


def settle(a):
    """Fills in the defaults that depend on other options; returns the options."""
    os.environ["PATH"] += ":/usr/sbin:/sbin"  # mkfs.vfat
    a.cache = os.path.abspath(a.cache or os.path.join(a.out, "media"))
    a.out = os.path.abspath(a.out)
    if not a.cluster_kib:
        a.cluster_kib = pick_cluster_kib(a.size_mib, a.fs)
    return a


def main():
    Bench(settle(arguments(__doc__.split("\n")[0]).parse_args())).run()


if __name__ == "__main__":
    main()
