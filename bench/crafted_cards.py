#!/usr/bin/env python3
"""Crafted cards that once made the engine repeat work far beyond what its pass reads, and a
timing of one or two native engines on them. Run by hand:

    bench/crafted_cards.py --engine build/bench-release/bin/embsrv [--base OTHER_EMBSRV]

Cards (in build/bench/crafted/):
- entries_N: a FAT16 card whose root holds N deleted entries all naming the first cluster, where a
  10 MB baseline JPEG (ImageMagick) lies with one entropy-coded byte changed; each entry states a
  size larger than the photo, so none confirms its carve (N = 16, 256, 1024).
- png_N: N sectors that each start a PNG whose IDAT states nearly 2 GiB, then 64 MiB of noise
  (N = 256, and 2048: 1 MiB of them).
Prints, per card and engine, the wall and user CPU seconds of a scan with every type enabled.
The functions are also used by fuzz/corpus/make_crafted_seeds.py for small seeds."""

import argparse
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zlib

here = os.path.dirname(os.path.abspath(__file__))
sector = 512


def fat_card(photo, sizes, total_bytes, cluster_size, chain=0):
    """A FAT12 or FAT16 card (by its cluster count) of total_bytes whose root holds one deleted
    entry "_MG_nnnn.JPG" per size, all starting at cluster 2, where photo lies. The FATs are
    empty, as after the files were deleted; with chain, the entries are live and the FATs hold
    one chain of that many clusters from cluster 2."""
    spc = cluster_size // sector
    total = total_bytes // sector
    root_entries = max(512, (len(sizes) + 15) // 16 * 16)
    root_sectors = root_entries * 32 // sector
    fat_sectors = 1
    while True:
        clusters = (total - 1 - 2 * fat_sectors - root_sectors) // spc
        bits = 12 if clusters < 4085 else 16
        need = ((clusters + 2) * bits + 7) // 8
        if fat_sectors * sector >= need:
            break
        fat_sectors = (need + sector - 1) // sector
    if clusters >= 65525:
        raise ValueError("too many clusters for FAT16")
    card = bytearray(total * sector)
    bs = bytearray(sector)
    bs[0:3] = b"\xEB\x3C\x90"
    bs[3:11] = b"MSWIN4.1"
    struct.pack_into("<HBHBHHBH", bs, 11, sector, spc, 1, 2, root_entries, total if total < 65536 else 0, 0xF8,
                     fat_sectors)
    if total >= 65536:
        struct.pack_into("<I", bs, 32, total)
    bs[510:512] = b"\x55\xAA"
    card[0:sector] = bs
    for f in range(2):
        at = (1 + f * fat_sectors) * sector
        head = b"\xF8\xFF\xFF" if bits == 12 else b"\xF8\xFF\xFF\xFF"
        card[at:at + len(head)] = head
        for c in range(2, 2 + chain):
            nxt = (1 << bits) - 1 if c == 1 + chain else c + 1
            if bits == 16:
                struct.pack_into("<H", card, at + 2 * c, nxt)
            else:
                pos = at + c * 3 // 2
                pair = struct.unpack_from("<H", card, pos)[0]
                pair = (pair & 0x000F) | nxt << 4 if c & 1 else (pair & 0xF000) | nxt
                struct.pack_into("<H", card, pos, pair)
    root = (1 + 2 * fat_sectors) * sector
    for i, size in enumerate(sizes):
        e = bytearray(32)
        e[0:11] = (b"_" if chain else b"\xE5") + (b"MG_%04d" % (i % 10000)) + b"JPG"
        e[11] = 0x20
        struct.pack_into("<HI", e, 26, 2, size)
        card[root + 32 * i:root + 32 * i + 32] = e
    data = root + root_sectors * sector
    card[data:data + len(photo)] = photo
    return bytes(card)


def damage_entropy(photo, where=0.5):
    """The photo with one entropy-coded byte changed, `where` of the way through its data."""
    photo = bytearray(photo)
    sos = photo.find(b"\xFF\xDA")
    at = sos + int((len(photo) - sos) * where)
    while photo[at] == 0xFF or photo[at - 1] == 0xFF or photo[at] ^ 0x5A == 0xFF:
        at += 1
    photo[at] ^= 0x5A
    return bytes(photo)


def png_chunk(kind, body, length=None):
    head = struct.pack(">I", len(body) if length is None else length) + kind
    if length is not None:
        return head + body
    return head + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)


def png_header(width=40000, height=40000, idat=0x7FFFFFF0):
    """A PNG signature, its IHDR (8-bit RGBA) and an IDAT header stating `idat` bytes."""
    ihdr = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", ihdr) + png_chunk(b"IDAT", b"", idat)


def header_card(headers, noise_bytes, seed=1, fill=None):
    """Each header at the start of a sector of noise (or of the byte fill), then noise_bytes
    more of it."""
    rnd = random.Random(seed)
    more = (lambda n: bytes([fill]) * n) if fill is not None else rnd.randbytes
    out = bytearray()
    for h in headers:
        s = bytearray(more(sector))
        s[:len(h)] = h
        out += s
    out += more(noise_bytes)
    return bytes(out)


def tiff_header(far=1 << 20):
    """A little-endian TIFF whose IFD0 names 16 SubIFDs and an EXIF IFD from far on."""
    ifd = struct.pack("<H", 2) + struct.pack("<HHII", 330, 4, 16, 40) + struct.pack("<HHII", 34665, 4, 1, 3 * far)
    head = b"II*\0" + struct.pack("<I", 8) + ifd + struct.pack("<I", 0)
    head += bytes(40 - len(head))
    return head + b"".join(struct.pack("<I", far + k * (far // 16)) for k in range(16))


def tiff_far_strip_arrays(strips=2048, apart=128 * 1024, width=16):
    """A little-endian TIFF of one-row strips whose offsets and byte counts lie far apart."""
    offsets_at = 4096
    counts_at = offsets_at + apart
    data_at = counts_at + 4 * strips
    entries = [(256, 1, width), (257, 1, strips), (258, 1, 8), (262, 1, 1), (273, strips, offsets_at),
               (277, 1, 1), (278, 1, 1), (279, strips, counts_at)]
    ifd = struct.pack("<H", len(entries)) + b"".join(struct.pack("<HHII", t, 4, n, v) for t, n, v in entries)
    head = b"II*\0" + struct.pack("<I", 8) + ifd + struct.pack("<I", 0)
    out = bytearray(head + bytes(offsets_at - len(head)))
    out += b"".join(struct.pack("<I", data_at + s * width) for s in range(strips))
    out += bytes(counts_at - len(out))
    out += struct.pack("<I", width) * strips
    return bytes(out + b"\x80" * (strips * width))


def gif_header():
    """A 16 x 16 GIF whose one frame's sub-blocks go on for as long as 0xFF bytes follow."""
    return b"GIF89a" + struct.pack("<HHBBB", 16, 16, 0, 0, 0) + b"\x2c" + struct.pack("<HHHHB", 0, 0, 16, 16, 0) + b"\x08"


def box(kind, body):
    return struct.pack(">I", 8 + len(body)) + kind + body


def iso_table_bomb(chunks=20000, mdats=30000):
    """An MP4 whose sample table lists many chunks of one sample each, over media data split into
    many small mdat boxes: each chunk used to look through every mdat box for its own."""
    ftyp = box(b"ftyp", b"mp42\0\0\0\0mp42isom")
    stsc = struct.pack(">II", 0, 1) + struct.pack(">III", 1, 1, 1)
    stsz = struct.pack(">III", 0, 4, 0xFFFFFFF0)

    def moov(base):
        offsets = b"".join(struct.pack(">I", base + 16 * (i % mdats) + 8) for i in range(chunks))
        stco = struct.pack(">II", 0, chunks) + offsets
        stbl = box(b"stbl", box(b"stsc", stsc) + box(b"stco", stco) + box(b"stsz", stsz))
        return box(b"moov", box(b"trak", box(b"mdia", box(b"minf", stbl))))

    base = len(ftyp) + len(moov(0))
    return ftyp + moov(base) + box(b"mdat", bytes(8)) * mdats


def make_photo(path):
    """A 10 MB baseline JPEG from ImageMagick."""
    subprocess.run(["convert", "-seed", "7", "-size", "3600x2700", "plasma:fractal", "-attenuate", "0.6",
                    "+noise", "Gaussian", "-strip", "-interlace", "none", "-quality", "95", path], check=True)


def build(out):
    os.makedirs(out, exist_ok=True)
    cards = []
    photo_path = os.path.join(out, "photo.jpg")
    if not os.path.exists(photo_path):
        make_photo(photo_path)
    with open(photo_path, "rb") as f:
        photo = damage_entropy(f.read())
    for n in (16, 256, 1024):
        path = os.path.join(out, "entries_%d.img" % n)
        if not os.path.exists(path):
            sizes = [len(photo) + (i + 1) * 4096 for i in range(n)]
            with open(path, "wb") as f:
                f.write(fat_card(photo, sizes, 128 << 20, 4096))
        cards.append(path)
    for n in (256, 2048):
        path = os.path.join(out, "png_%d.img" % n)
        if not os.path.exists(path):
            with open(path, "wb") as f:
                f.write(header_card([png_header()] * n, 64 << 20))
        cards.append(path)
    for name, header, fill in (("tiff", tiff_header(), None), ("gif", gif_header(), 0xFF)):
        path = os.path.join(out, "%s_2048.img" % name)
        if not os.path.exists(path):
            with open(path, "wb") as f:
                f.write(header_card([header] * 2048, 64 << 20, fill=fill))
        cards.append(path)
    return cards


def run_once(embsrv, image, timeout=None):
    """(wall, user CPU) seconds of one scan; None when it ran past timeout and was stopped."""
    sys.path.insert(0, here)
    from score_card import command_line, search_names
    work = tempfile.mkdtemp(prefix="crafted_", dir="/dev/shm" if os.path.isdir("/dev/shm") else None)
    try:
        t = time.monotonic()
        p = subprocess.Popen(command_line(embsrv, work, image, search_names()), stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
        while True:
            pid, _, usage = os.wait4(p.pid, os.WNOHANG)
            if pid:
                p.returncode = 0  # reaped here
                return time.monotonic() - t, usage.ru_utime
            if timeout and time.monotonic() - t > timeout:
                p.kill()
                os.wait4(p.pid, 0)
                p.returncode = -9
                return None
            time.sleep(0.05)
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--engine", required=True)
    ap.add_argument("--base", help="another embsrv to time beside it (main's, say)")
    ap.add_argument("--out", default=os.path.join(here, "..", "build", "bench", "crafted"))
    ap.add_argument("--timeout", type=float, help="stop a scan after this many seconds")
    args = ap.parse_args()
    engines = [("engine", args.engine)] + ([("base", args.base)] if args.base else [])
    print("%-16s" % "card" + "".join("%24s" % ("%s wall/user s" % name) for name, _ in engines))
    for card in build(args.out):
        row = "%-16s" % os.path.basename(card)
        for _, embsrv in engines:
            took = run_once(embsrv, card, args.timeout)
            row += "%24s" % ("%.2f / %.2f" % took if took else "stopped after %.0f" % args.timeout)
        print(row, flush=True)


if __name__ == "__main__":
    main()
