#!/usr/bin/env python3
"""Damage scenarios, run by hand after the card benchmark (bench/card_benchmark.sh runs it): an
image of real media where one file per type is damaged, cut short or overwritten in its middle,
with ten intact photos written right after (or over) it, scanned by embsrv. Reported per type and
scenario: intact photos lost (target 0) and whether the damaged file's find is larger than twice
the original (target 0).

  damaged      the header states far more than the file holds (mdat, data object, RIFF, FORM,
               strip byte count, Cluster, DPX or SWF file size), then the photos
  truncated    the first half of the file, then the photos (its later clusters were reused)
  middle       the whole file, with the photos written over its second third

Media come from the card benchmark's encoded cache (build/bench/media) and the camera files of
the shared bench media."""

import argparse
import collections
import os
import shutil
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import media_gen  # noqa: E402
import score_card  # noqa: E402

SECTOR = 512
CLUSTER = 32 * 1024
HUGE32 = 0x7FFFFFF0
HUGE64 = 6400000000

# The encoded types with a size field to damage, and the camera types taken from bench media.
ENCODED = ["mp4", "mov", "3gp", "avi", "wmv", "mkv", "webm", "tif", "wav", "aif", "au", "caf", "dpx",
           "wma", "swf", "flv", "mpg", "m2ts"]
CAMERA = {"nef", "cr2", "dng", "rw2", "raf", "mrw", "kdc", "tif", "mp4", "m4v", "3gp", "mov", "avi"}


def be32(b, at, v): b[at:at + 4] = struct.pack(">I", v)
def le32(b, at, v): b[at:at + 4] = struct.pack("<I", v)
def be64(b, at, v): b[at:at + 8] = struct.pack(">Q", v)
def le64(b, at, v): b[at:at + 8] = struct.pack("<Q", v)


def damage_iso(b):
    pos = 0
    while pos + 8 <= len(b):
        size, kind = struct.unpack(">I4s", b[pos:pos + 8])
        if kind == b"mdat":
            if size == 1:
                be64(b, pos + 8, HUGE64)
            else:
                be32(b, pos, HUGE32)
            return True
        if size == 1:
            size = struct.unpack(">Q", b[pos + 8:pos + 16])[0]
        if size < 8:
            return False
        pos += size
    return False


def damage_asf(b):
    at = b.find(bytes.fromhex("3626B2758E66CF11A6D900AA0062CE6C"))
    if at < 0:
        return False
    le64(b, at + 16, HUGE64)
    return True


def damage_riff(b):
    le32(b, 4, HUGE32)
    at = b.find(b"data")
    if b[8:12] == b"WAVE" and at > 0:
        le32(b, at + 4, HUGE32 - 64)
    return True


def damage_aiff(b):
    be32(b, 4, HUGE32)
    at = b.find(b"SSND")
    if at > 0:
        be32(b, at + 4, HUGE32 - 64)
    return True


def damage_au(b):
    be32(b, 8, HUGE32)
    return True


def damage_caf(b):
    at = b.find(b"data")
    if at < 0:
        return False
    be64(b, at + 4, 1 << 36)
    return True


def damage_dpx(b):
    (be32 if b[:4] == b"SDPX" else le32)(b, 16, HUGE32)
    return True


def damage_swf(b):
    if b[:3] != b"FWS":
        return False
    le32(b, 4, HUGE32)
    return True


def damage_ebml(b):
    at = b.find(bytes.fromhex("1F43B675"))  # the first Cluster's size
    if at < 0:
        return False
    n = 1
    while n <= 8 and not b[at + 4] & (0x80 >> (n - 1)):
        n += 1
    if n > 8:
        return False
    big = (1 << (7 * n)) - 2  # all but the "unknown" value
    for i in range(n):
        b[at + 4 + i] = (big >> (8 * (n - 1 - i))) & 0xFF
    b[at + 4] |= 0x80 >> (n - 1)
    return True


def damage_tiff(b):
    """Sets the largest strip or tile byte count of the IFDs (chain, SubIFDs, EXIF) to HUGE32."""
    little = b[:2] == b"II"
    e = "<" if little else ">"
    best = None
    seen = set()
    todo = [struct.unpack(e + "I", b[4:8])[0]]
    while todo and len(seen) < 64:
        ifd = todo.pop()
        if ifd in seen or ifd + 2 > len(b):
            continue
        seen.add(ifd)
        count = struct.unpack(e + "H", b[ifd:ifd + 2])[0]
        for i in range(min(count, 1000)):
            at = ifd + 2 + 12 * i
            if at + 12 > len(b):
                break
            tag, typ, n = struct.unpack(e + "HHI", b[at:at + 8])
            width = {3: 2, 4: 4, 13: 4}.get(typ)
            if not width:
                continue
            vals = at + 8 if n * width <= 4 else struct.unpack(e + "I", b[at + 8:at + 12])[0]
            fmt = e + ("H" if width == 2 else "I")
            if tag in (279, 325) and width == 4:
                for k in range(n):
                    p = vals + 4 * k
                    if p + 4 <= len(b):
                        v = struct.unpack(fmt, b[p:p + 4])[0]
                        if best is None or v > best[1]:
                            best = (p, v)
            if tag in (330, 34665) and width == 4:
                for k in range(min(n, 16)):
                    p = vals + 4 * k
                    if p + 4 <= len(b):
                        todo.append(struct.unpack(fmt, b[p:p + 4])[0])
        nxt = ifd + 2 + 12 * count
        if nxt + 4 <= len(b):
            todo.append(struct.unpack(e + "I", b[nxt:nxt + 4])[0])
    if not best:
        return False
    struct.pack_into(e + "I", b, best[0], HUGE32)
    return True


DAMAGE = {"mp4": damage_iso, "mov": damage_iso, "3gp": damage_iso, "m4v": damage_iso, "avi": damage_riff,
          "wav": damage_riff, "wmv": damage_asf, "wma": damage_asf, "mkv": damage_ebml, "webm": damage_ebml,
          "aif": damage_aiff, "au": damage_au, "caf": damage_caf, "dpx": damage_dpx, "swf": damage_swf, "tif": damage_tiff,
          "nef": damage_tiff, "cr2": damage_tiff, "dng": damage_tiff, "kdc": damage_tiff}


def subjects(args):
    """(type, path) of one encoded file per type and the camera files, each type once."""
    cache = args.cache
    out = []
    have = set()
    for kind in ENCODED:
        ext = {"aif": "aiff"}.get(kind, kind)
        cached = sorted(n for n in os.listdir(cache) if n.startswith(kind + "_") and n.endswith("." + ext)) \
            if os.path.isdir(cache) else []
        if cached:
            path = os.path.join(cache, cached[0])
        else:
            path = media_gen.Maker(cache, []).make(kind, 900001)
        out.append((kind, path))
        have.add(kind)
    for path, kind in media_gen.camera_files(args.media):
        ext = path.rsplit(".", 1)[-1].lower()
        key = "cam-" + ext
        if ext in CAMERA and key not in have and os.path.getsize(path) < 64 * 1024 * 1024:
            out.append((key, path))
            have.add(key)
    return out


def photos(args):
    """Ten intact JPEGs: camera photos where present, else encoded ones."""
    cams = [p for p, t in media_gen.camera_files(args.media) if t == "jpg" and os.path.getsize(p) < 4 << 20]
    if len(cams) >= 10:
        return cams[:10]
    maker = media_gen.Maker(args.cache, [])
    return [maker.make("jpg", 900100 + i) for i in range(10)]


class Image:
    def __init__(self, path):
        self.f = open(path, "wb")
        self.pos = 0

    def align(self, unit):
        pad = -self.pos % unit
        self.f.write(b"\0" * pad)
        self.pos += pad

    def put(self, data):
        self.align(CLUSTER)
        at = self.pos
        self.f.write(data)
        self.pos += len(data)
        return at


def build(args, image_path):
    jpgs = [open(p, "rb").read() for p in photos(args)]
    img = Image(image_path)
    cases = []
    for kind, path in subjects(args):
        data = open(path, "rb").read()
        base = kind[4:] if kind.startswith("cam-") else kind
        for scenario in ("damaged", "truncated", "middle"):
            subject = bytearray(data)
            if scenario == "damaged" and (base not in DAMAGE or not DAMAGE[base](subject)):
                continue
            if scenario == "truncated":
                subject = subject[:len(subject) // 2]
            start = img.put(bytes(subject))
            placed = []
            if scenario == "middle":
                # The photos go over the second third, as long as they fit inside the file.
                end = img.pos
                img.f.seek(start + (len(subject) // 3 + CLUSTER - 1) // CLUSTER * CLUSTER)
                img.pos = img.f.tell()
                for j in jpgs:
                    img.align(CLUSTER)
                    if img.pos + len(j) > end:
                        break
                    placed.append((img.pos, j))
                    img.f.write(j)
                    img.pos += len(j)
                img.f.seek(end)
                img.pos = end
                if len(placed) < 3:
                    continue
            else:
                for j in jpgs:
                    placed.append((img.put(j), j))
            img.align(CLUSTER)
            img.f.write(b"\0" * (1 << 20))  # free space after each case
            img.pos += 1 << 20
            cases.append({"type": kind, "scenario": scenario, "start": start, "size": len(data),
                          "photos": [(at, j) for at, j in placed]})
    img.f.close()
    return cases


def score(cases, found):
    by_sector = {s: p for s, _, p in found}
    rows = collections.OrderedDict()
    for c in cases:
        lost = 0
        for at, j in c["photos"]:
            p = by_sector.get(at // SECTOR)
            if p is None or os.path.getsize(p) != len(j) or open(p, "rb").read() != j:
                lost += 1
        p = by_sector.get(c["start"] // SECTOR)
        size = os.path.getsize(p) if p else 0
        rows.setdefault(c["type"], {})[c["scenario"]] = (lost, len(c["photos"]), size > 2 * c["size"], size)
    return rows


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--embsrv", default=os.path.join(root, "build", "bench-release", "bin", "embsrv"))
    ap.add_argument("--out", default=os.path.join(root, "build", "bench"))
    ap.add_argument("--cache", default=None, help="encoded media (default OUT/media)")
    ap.add_argument("--media", default="/work/shared/bench-media", help="real camera files")
    a = ap.parse_args()
    a.cache = os.path.abspath(a.cache or os.path.join(a.out, "media"))
    os.makedirs(a.out, exist_ok=True)
    image = os.path.join(a.out, "damage.img")
    cases = build(a, image)
    work = tempfile.mkdtemp(prefix="tessera-damage-")
    try:
        folder = os.path.join(work, "found")
        os.mkdir(folder)
        cmd = score_card.command_line(a.embsrv, folder, image, score_card.search_names())
        rc = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode
        rows = score(cases, score_card.finds(folder))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("damage scenarios (%s, %d MB, embsrv exit %d): photos lost of those placed; '>2x' where the"
          " damaged file's find is more than twice its size" % (image, os.path.getsize(image) // 10**6, rc))
    print("%-9s %-16s %-16s %-16s" % ("type", "damaged", "truncated", "middle"))
    total = collections.Counter()
    for t, r in rows.items():
        cells = []
        for s in ("damaged", "truncated", "middle"):
            if s not in r:
                cells.append("-")
                continue
            lost, placed, over, _ = r[s]
            total[s + " lost"] += lost
            total[s + " over"] += over
            cells.append("%d/%d%s" % (lost, placed, " >2x" if over else ""))
        print("%-9s %-16s %-16s %-16s" % (t, *cells))
    print("lost behind a damaged file: %d, truncated: %d, middle: %d; finds >2x: %d, %d, %d" % (
        total["damaged lost"], total["truncated lost"], total["middle lost"],
        total["damaged over"], total["truncated over"], total["middle over"]))


if __name__ == "__main__":
    main()
