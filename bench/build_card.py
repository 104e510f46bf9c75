#!/usr/bin/env python3
"""Builds an SD-card-like image (MBR, one FAT32 partition at 4 MiB) without mounting it, uses it
the way a camera and a careless owner would, and writes the ground truth for the scorer.

  fill        real media copied until the card is full
  fragment    every other file of a middle stretch deleted, then large videos copied into the
              gaps, so they are fragmented
  delete      most files deleted (FAT deletion frees the chain and leaves the data)
  overwrite   new files copied into the freed space, some from a point inside a deleted file,
              so old files are partly overwritten

Every file's cluster chain is read from the image (bench/fat.py) while it is still live; at the
end each original is classed by comparing the card's clusters with its bytes: intact
(contiguous), fragmented, overwritten (head intact, later clusters replaced) or head-lost."""

import argparse
import collections
import json
import os
import random
import struct
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import fat  # noqa: E402
import media_gen  # noqa: E402
from file_hash import sha256  # noqa: E402

SECTOR = 512
PART_START = 8192  # sectors: 4 MiB, as SD cards are laid out


def log(msg):
    print(msg, file=sys.stderr, flush=True)


def write_mbr(image, part_sectors):
    mbr = bytearray(512)
    struct.pack_into("<I", mbr, 440, 0x54455353)  # disk signature
    entry = struct.pack("<B3sB3sII", 0, b"\xfe\xff\xff", 0x0C, b"\xfe\xff\xff", PART_START, part_sectors)
    mbr[446:462] = entry
    mbr[510:512] = b"\x55\xaa"
    with open(image, "r+b") as f:
        f.write(mbr)


class Card:
    def __init__(self, image, size_mib, cluster_kib):
        self.image = image
        total = size_mib * 1024 * 1024 // SECTOR
        part = total - PART_START
        with open(image, "wb") as f:
            f.truncate(total * SECTOR)
        write_mbr(image, part)
        subprocess.run(["mkfs.vfat", "-F", "32", "-s", str(cluster_kib * 2), "-n", "TESSBENCH",
                        "-i", "5445534c", "--offset", str(PART_START), image, str(part // 2)],
                       check=True, stdout=subprocess.DEVNULL)
        self.offset = PART_START * SECTOR
        self.target = "%s@@%d" % (image, self.offset)
        self.env = dict(os.environ, MTOOLS_SKIP_CHECK="1", MTOOLS_LOWER_CASE="0")
        self.vol = fat.Volume(image, self.offset)
        if not self.vol.is_fat32:
            raise SystemExit("mkfs.vfat made no FAT32 volume; choose a larger --size-mib")

    def mtools(self, *args):
        r = subprocess.run(list(args[:1]) + ["-i", self.target] + list(args[1:]), env=self.env,
                           stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        if r.returncode != 0:
            raise RuntimeError("%s: %s" % (" ".join(args[:1]), r.stderr.decode(errors="replace").strip()))

    def reload(self):
        self.vol = fat.Volume(self.image, self.offset)
        return self.vol

    def free_bytes(self):
        return self.reload().free_clusters() * self.vol.cluster_size


class Bench:
    def __init__(self, args):
        self.args = args
        self.rng = random.Random(args.seed)
        os.makedirs(args.out, exist_ok=True)
        self.image = os.path.join(args.out, "card.img")
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
        stem = {"photo": "IMG_", "video": "MVI_", "audio": "REC_"}[cat]
        return "%s/%s%04d.%s" % (folder, stem, n, ext)

    def put(self, src, kind, phase):
        path = self.card_path(src, kind)
        self.card.mtools("mcopy", src, "::" + path)
        self.originals[path] = {"path": path, "type": kind, "kind": media_gen.KIND.get(kind, "photo"),
                                "source": os.path.abspath(src), "size": os.path.getsize(src),
                                "sha256": sha256(src), "phase": phase, "live": True}
        return path

    def snapshot(self):
        """Records the cluster chain of every live file (called before each deletion)."""
        vol = self.card.reload()
        for path, first, size in vol.files():
            rec = self.originals.get(path)
            if rec is not None:
                rec["clusters"] = vol.chain(first)

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
        for i in range(0, len(paths), 50):
            batch = paths[i:i + 50]
            self.card.mtools("mdel", *["::" + p for p in batch])
            for p in batch:
                self.originals[p]["live"] = False

    def fits(self, src, free):
        cs = self.card.vol.cluster_size
        return (os.path.getsize(src) + cs - 1) // cs * cs + 4 * cs <= free

    def fill(self):
        free = self.card.free_bytes()
        log("fill: %d MiB free" % (free >> 20))
        misses = 0
        while misses < 12 and free > 2 * 1024 * 1024:
            src, kind = self.next_recipe()
            if self.fits(src, free):
                self.put(src, kind, "fill")
                free = self.card.free_bytes()
                misses = 0
            else:
                misses += 1
        log("fill: %d files, %d KiB left" % (len(self.originals), free >> 10))

    def fragment(self):
        fill = [p for p, r in self.originals.items() if r["live"]]
        mid = fill[len(fill) // 4: len(fill) * 3 // 4]
        small = [p for p in mid if self.originals[p]["size"] <= 12 * 1024 * 1024]
        gone = self.spare_last_of_type(small[::2])
        if not gone:
            log("fragment: too few files to make gaps")
            return
        self.delete(gone)
        vol = self.card.reload()
        # The allocator resumes at the first gap, as after a remount.
        first_gap = min(self.originals[p]["clusters"][0] for p in gone if self.originals[p].get("clusters"))
        vol.set_next_free_hint(first_gap - 1)
        budget = sum(self.originals[p]["size"] for p in gone) * 0.6
        n = 0
        while budget > 0:
            src, kind = self.next_recipe(media_gen.LARGE_TYPES)
            if os.path.getsize(src) < 8 * 1024 * 1024:
                continue
            if not self.fits(src, self.card.free_bytes()):
                break
            self.put(src, kind, "fragment")
            budget -= os.path.getsize(src)
            n += 1
        log("fragment: %d deleted, %d large files copied over the gaps" % (len(gone), n))

    def delete_most(self):
        live = [p for p, r in self.originals.items() if r["live"]]
        gone = self.spare_last_of_type([p for p in live if self.rng.random() < self.args.delete_share])
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
                    self.card.vol.set_next_free_hint(victim[len(victim) // 2] - 1)
                    aimed += 1
            self.put(src, kind, "overwrite")
            budget -= os.path.getsize(src)
            n += 1
        log("overwrite: %d new files (%d started inside a deleted file)" % (n, aimed))

    def classify(self):
        self.snapshot()
        vol = self.card.reload()
        cs = vol.cluster_size
        spc = cs // SECTOR
        with open(self.image, "rb") as img:
            for rec in self.originals.values():
                clusters = rec.get("clusters") or []
                runs = fat.runs(clusters)
                rec["first_sector"] = vol.cluster_offset(clusters[0]) // SECTOR if clusters else None
                rec["runs"] = [[vol.cluster_offset(c) // SECTOR, k * spc] for c, k in runs]
                ok = []
                with open(rec["source"], "rb") as src:
                    for c in clusters:
                        want = src.read(cs)
                        if not want:
                            break
                        img.seek(vol.cluster_offset(c))
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

    def run(self):
        a = self.args
        self.card = Card(self.image, a.size_mib, a.cluster_kib)
        for d in ("/DCIM", "/DCIM/100TESSR", "/DCIM/101TESSR", "/DCIM/102CAMRA", "/MUSIC"):
            self.card.mtools("mmd", "::" + d)
        self.fill()
        self.fragment()
        self.delete_most()
        self.overwrite()
        self.classify()
        vol = self.card.vol
        manifest = {"image": os.path.abspath(self.image), "image_size": os.path.getsize(self.image),
                    "sector_size": SECTOR, "partition_offset": PART_START * SECTOR,
                    "cluster_size": vol.cluster_size, "seed": a.seed,
                    "originals": sorted(self.originals.values(), key=lambda r: r["first_sector"] or 0)}
        path = os.path.join(a.out, "manifest.json")
        with open(path, "w") as f:
            json.dump(manifest, f, indent=1)
        counts = {}
        for r in self.originals.values():
            key = ("live" if r["live"] else "deleted") + " " + r["class"]
            counts[key] = counts.get(key, 0) + 1
        log("card: %s (%d MiB, %d KiB clusters), manifest: %s" % (self.image, a.size_mib, vol.cluster_size >> 10, path))
        for k in sorted(counts):
            log("  %-24s %d" % (k, counts[k]))


def pick_cluster_kib(size_mib):
    # FAT32 needs at least 65525 clusters: 32 KiB clusters as on SDHC cards when the size allows.
    for kib in (32, 16, 8, 4, 2, 1):
        if (size_mib - 8) * 1024 // kib >= 66000:
            return kib
    raise SystemExit("--size-mib too small for FAT32 (at least 72)")


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    root = os.path.dirname(here)
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("--out", default=os.path.join(root, "build", "bench"))
    p.add_argument("--cache", default=None, help="generated media cache (default OUT/media)")
    p.add_argument("--media", default="/work/shared/bench-media", help="real camera files")
    p.add_argument("--size-mib", type=int, default=2112)
    p.add_argument("--cluster-kib", type=int, default=0, help="0: 32 KiB when FAT32 allows it")
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("--delete-share", type=float, default=0.75)
    p.add_argument("--overwrite-share", type=float, default=0.12)
    a = p.parse_args()
    os.environ["PATH"] += ":/usr/sbin:/sbin"  # mkfs.vfat
    a.cache = os.path.abspath(a.cache or os.path.join(a.out, "media"))
    a.out = os.path.abspath(a.out)
    if not a.cluster_kib:
        a.cluster_kib = pick_cluster_kib(a.size_mib)
    Bench(a).run()


if __name__ == "__main__":
    main()
