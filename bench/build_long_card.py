#!/usr/bin/env python3
"""Builds the long-video card (build/bench/card_FS_long.img, 4 GiB by default) the way a phone
and a camera fill one, and writes its ground truth as bench/build_card.py does:

  fill     bursts of phone photos, with camera files and short clips now and then, until the
           card is full
  clips    long clips (bench/long_media.py: phone MP4 with the index at the end or at the
           front, camera H.264 MOV and motion-JPEG AVI, 50 to 500 MB) shot into holes: for each
           a run of files is deleted, leaving a live file between every two holes, so that
           first-fit allocation from the first hole splits it into 2 to 8 fragments
  delete   two clips in three deleted again
  quick    (--quick-format) a copy of the card with a new empty file system written over it

The clips, their sizes and fragment counts depend on the seed only, so the FAT32 and exFAT cards
share one set of encoded clips; the manifest marks each clip with its style ("long") and
records every file's fragment count."""

import os
import random
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import build_card  # noqa: E402
import fat  # noqa: E402
import long_media  # noqa: E402
import media_gen  # noqa: E402
from build_card import log  # noqa: E402

MIB = 1024 * 1024
FRAGMENTS = [(2, 2), (3, 4), (5, 8)]         # the report's groups of fragment counts
SIZES_MIB = [(50, 90), (90, 200), (200, 500)]  # one clip of each band per style and round
SLACK_CLUSTERS = 4  # beyond the clip in its last hole: a folder that grows takes a cluster


class LongVideoCard(build_card.Bench):
    def __init__(self, args):
        super().__init__(args)
        self.image = os.path.join(args.out, "card_%s_long.img" % args.fs)
        photos = [p for p, t in media_gen.camera_files(args.media) if t == "jpg" and os.path.getsize(p) > 300000]
        self.long = long_media.LongMaker(args.cache, long_media.real_clips(args.media), photos)
        # The clips are planned from their own generator, so that both file systems get the same.
        self.plan_rng = random.Random(args.seed * 7919 + 4096)
        self.burst_seed = args.seed * 1000
        self.photos = []
        self.camera_clips = set()

    def card_path(self, src, kind):
        if src in self.camera_clips:  # a camera's 8.3 names in its own folder
            n = self.counters.get("/DCIM/102CAMRA", 0) + 1
            self.counters["/DCIM/102CAMRA"] = n
            return "/DCIM/102CAMRA/MVI_%04d.%s" % (n, kind.upper())
        return super().card_path(src, kind)

    def next_fill(self):
        """A camera file or a short clip now and then, else the next photo of a burst."""
        x = self.rng.random()
        if self.cameras and x < 0.08:
            return self.cameras.pop()
        if x < 0.15:
            self.seed_next += 1
            kind = self.rng.choice(["mp4", "mp4", "mov", "avi", "3gp"])
            return self.maker.make(kind, self.seed_next), kind
        if not self.photos:
            self.burst_seed += 1
            self.photos = list(reversed(self.long.burst(self.burst_seed)))
        return self.photos.pop(), "jpg"

    def plan(self):
        """(style, fragments, MiB) of each clip: the styles in turn, each style once per group of
        fragment counts, its sizes drawn from the bands in an order of its own."""
        r = self.plan_rng
        styles = list(long_media.STYLES)
        bands = {s: r.sample(range(len(SIZES_MIB)), len(SIZES_MIB)) for s in styles}
        out = []
        for i in range(self.args.long_videos):
            style = styles[i % len(styles)]
            group = (i // len(styles)) % len(FRAGMENTS)
            lo, hi = SIZES_MIB[bands[style][group]]
            out.append((style, r.randint(*FRAGMENTS[group]), r.randint(lo, hi)))
        r.shuffle(out)  # styles and counts scattered over the card
        return out

    def shoot_clips(self):
        """Shoots each planned clip into k holes of its own stretch of the card: runs of files
        deleted, a live file after each; the allocator pointed at the first hole."""
        cs = self.card.cluster_size
        plan = [(style, k, self.long.clip(style, self.args.seed * 100 + n, mib))
                for n, (style, k, mib) in enumerate(self.plan())]
        self.snapshot()
        live = sorted((r["clusters"][0], p, len(r["clusters"])) for p, r in self.originals.items()
                      if r["live"] and r.get("clusters") and len(fat.runs(r["clusters"])) == 1)

        def on_card(p):
            return (self.originals[p]["size"] + cs - 1) // cs * cs

        i = len(live) // 16
        shot = []
        for n, (style, k, src) in enumerate(plan):
            size = os.path.getsize(src)
            # Skip a random share of what the later clips can spare, so the stretches spread out
            # (up to 8 live files of a few MiB between holes).
            need = sum(os.path.getsize(s) for _, _, s in plan[n:]) * 1.1 + 8 * (len(plan) - n) * 4 * MIB
            spare = sum(on_card(p) for _, p, _ in live[i:]) - need
            skip = self.plan_rng.uniform(0, max(0, spare) / (len(plan) - n + 1))
            while skip > 0 and i < len(live):
                skip -= on_card(live[i][1])
                i += 1
            gone, holes, freed = [], 0, 0
            while holes < k and i < len(live):
                want = size * (holes + 1) // k + (SLACK_CLUSTERS * cs if holes + 1 == k else 0)
                walled = False
                while freed < want and i < len(live) and not walled:
                    gone.append(live[i][1])
                    freed += on_card(live[i][1])
                    i += 1
                    # A folder's cluster right after this file ends the hole as a live file would.
                    walled = holes + 1 < k and i < len(live) and live[i][0] != live[i - 1][0] + live[i - 1][2]
                holes += 1
                if not walled:
                    i += 1  # a live file between two holes
            if holes < k or freed < size + SLACK_CLUSTERS * cs:
                log("clips: the card has no room left for %s clip %d and the ones after it" % (style, n))
                break
            self.delete(gone)
            self.card.allocate_from(min(self.originals[p]["clusters"][0] for p in gone))
            kind = long_media.STYLES[style][0]
            if long_media.STYLES[style][1] == "camera":
                self.camera_clips.add(src)
            path = self.put(src, kind, "clips")
            self.originals[path]["long"] = style
            shot.append((path, k))
        self.snapshot()
        for path, k in shot:
            r = self.originals[path]
            log("  %-15s %4d MiB in %d holes: %d fragments" % (
                r["long"], r["size"] >> 20, k, len(fat.runs(r["clusters"]))))
        return [p for p, _ in shot]

    def run(self):
        a = self.args
        self.card = build_card.card_fs.CARDS[a.fs](self.image, a.size_mib, a.cluster_kib, build_card.PART_START)
        for d in ("/DCIM", "/DCIM/100TESSR", "/DCIM/101TESSR", "/DCIM/102CAMRA", "/MUSIC"):
            self.card.mkdir(d)
        self.fill(self.next_fill)
        shot = self.shoot_clips()
        self.plan_rng.shuffle(shot)
        gone = shot[:len(shot) * 2 // 3]
        self.delete(gone)
        log("clips: %d shot, %d deleted again" % (len(shot), len(gone)))
        self.classify()
        self.card.check()
        self.write_manifest(self.image, "manifest_%s_long.json" % a.fs, False)
        if a.quick_format:
            self.quick_copy("card_%s_long_quick.img" % a.fs, "manifest_%s_long_quick.json" % a.fs)


def main():
    p = build_card.arguments(__doc__.split("\n")[0])
    p.add_argument("--long-videos", type=int, default=12,
                   help="long clips (the four styles in turn, each with 2, 3-4 and 5-8 fragments)")
    p.set_defaults(size_mib=4096)
    LongVideoCard(build_card.settle(p.parse_args())).run()


if __name__ == "__main__":
    main()
