#!/usr/bin/env python3
"""Makes the seed images of the file-system fuzz targets, each a few dozen KiB. fs_reader: FAT12
whole, the heads of FAT16 and FAT32 volumes (boot sector, FATs, root, first folders), exFAT
behind an MBR and behind a GPT, each with folders, live, fragmented and deleted files. fs_scan:
small FAT12 and exFAT cards with real pictures: a fragmented live JPEG, two-fragment deleted
JPEG and PNG, a deleted JPEG with padding; and FAT12 cards whose file system contradicts their
content: cross-linked chains, a deleted text file in a two-fragment photo's gap, a folder chain
run on into another folder, a FAT of random numbers. Usage: make_fs_seeds.py [SEED...] (all
when none is named)."""

import os
import random
import struct
import subprocess
import sys

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "..", "bench"))
sys.path.insert(0, os.path.join(here, "..", "..", "tests", "ember", "fs"))
import exfat  # noqa: E402

out = os.path.join(here, "fs_reader")
env = dict(os.environ, MTOOLS_SKIP_CHECK="1", PATH=os.environ["PATH"] + ":/usr/sbin:/sbin")


def run(*cmd):
    subprocess.run(list(cmd), env=env, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def fat_seed(name, mkfs, size_kib, keep_kib):
    img = os.path.join(out, name)
    with open(img, "wb") as f:
        f.truncate(size_kib * 1024)
    run("mkfs.fat", "-i", "1234abcd", *mkfs, img)
    run("mmd", "-i", img, "::DCIM", "::DCIM/100SEED")
    for i in range(4):
        blob = os.path.join(out, "blob")
        with open(blob, "wb") as f:
            f.write(bytes([i + 1]) * (700 + 400 * i))
        run("mcopy", "-i", img, blob, "::DCIM/100SEED/IMG_%04d.JPG" % i)
        os.remove(blob)
    run("mdel", "-i", img, "::DCIM/100SEED/IMG_0001.JPG")
    blob = os.path.join(out, "blob")
    with open(blob, "wb") as f:
        f.write(b"\x55" * 3000)
    run("mcopy", "-i", img, blob, "::DCIM/100SEED/A long name.jpeg")
    os.remove(blob)
    with open(img, "r+b") as f:
        f.truncate(keep_kib * 1024)


def exfat_seed(name, table):
    img = os.path.join(out, name)
    start = 64 if table else 0
    size = 160 * 1024
    with open(img, "wb") as f:
        f.truncate(start * 512 + size)
    if table == "mbr":
        import make_fs_images as m
        m.write_mbr(img, start, size // 512, 0x07)
    elif table == "gpt":
        import make_fs_images as m
        m.write_gpt(img, start, size // 512)
    v = exfat.Volume(img, start * 512, size, 512, fat_offset_sectors=24)
    v.format()
    v.mkdir("DCIM")
    v.mkdir("DCIM/100SEED")
    for i in range(4):
        v.add_file("DCIM/100SEED/IMG_%04d.JPG" % i, bytes([i + 1]) * (900 + 500 * i))
    v.delete("DCIM/100SEED/IMG_0001.JPG")
    v.add_file("DCIM/100SEED/Fragmented file.jpg", b"\x66" * 4000, hint=2)


def picture(path, seed, size, padding=b""):
    run("convert", "-seed", str(seed), "-size", size, "plasma:fractal", "-strip", "-quality", "85", path)
    with open(path, "ab") as f:
        f.write(padding)
    with open(path, "rb") as f:
        return f.read()


def scan_seeds():
    scan_out = os.path.join(here, "fs_scan")
    os.makedirs(scan_out, exist_ok=True)
    tmp = os.path.join(scan_out, "tmp")
    os.makedirs(tmp, exist_ok=True)
    pics = {name: picture(os.path.join(tmp, name), seed, size, pad) for name, seed, size, pad in (
        ("a.jpg", 1, "96x64", b""), ("b.jpg", 2, "160x120", b""), ("c.png", 3, "64x48", b""),
        ("d.jpg", 4, "80x60", b"\0" * 700), ("e.png", 5, "48x40", b""))}
    img = os.path.join(scan_out, "fat12_pictures")
    with open(img, "wb") as f:
        f.truncate(192 * 1024)
    run("mkfs.fat", "-i", "1234abcd", "-F", "12", "-s", "1", "-r", "32", img)
    run("mmd", "-i", img, "::DCIM")
    for name in ("a.jpg", "c.png", "d.jpg"):
        run("mcopy", "-i", img, os.path.join(tmp, name), "::DCIM/" + name.upper())
    run("mdel", "-i", img, "::DCIM/A.JPG", "::DCIM/D.JPG")
    run("mcopy", "-i", img, os.path.join(tmp, "b.jpg"), "::DCIM/B.JPG")  # into A's hole and on
    run("mdel", "-i", img, "::DCIM/B.JPG")
    img = os.path.join(scan_out, "exfat_pictures")
    with open(img, "wb") as f:
        f.truncate(192 * 1024)
    v = exfat.Volume(img, 0, 192 * 1024, 512, fat_offset_sectors=24)
    v.format()
    v.mkdir("DCIM")
    hole = v.add_file("DCIM/HOLE.BIN", b"\x11" * 1500)
    v.add_file("DCIM/C.PNG", pics["c.png"])
    v.delete("DCIM/HOLE.BIN")
    v.add_file("DCIM/E.PNG", pics["e.png"], hint=hole[0])
    v.add_file("DCIM/B.JPG", pics["b.jpg"], hint=hole[0])
    v.delete("DCIM/E.PNG")
    for name in pics:
        os.remove(os.path.join(tmp, name))
    os.rmdir(tmp)


class Fat12:
    """Just enough of a FAT12 image to find files and change FAT entries (both copies)."""

    def __init__(self, path):
        self.path = path
        with open(path, "rb") as f:
            self.data = bytearray(f.read())
        bps, = struct.unpack_from("<H", self.data, 11)
        reserved, = struct.unpack_from("<H", self.data, 14)
        self.fats = self.data[16]
        root_entries, = struct.unpack_from("<H", self.data, 17)
        self.fat_bytes = struct.unpack_from("<H", self.data, 22)[0] * bps
        self.fat_offset = reserved * bps
        self.data_offset = self.fat_offset + self.fats * self.fat_bytes + root_entries * 32
        total, = struct.unpack_from("<H", self.data, 19)
        self.clusters = (total * bps - self.data_offset) // (self.data[13] * bps)

    def get(self, c):
        v, = struct.unpack_from("<H", self.data, self.fat_offset + c * 3 // 2)
        return v >> 4 if c & 1 else v & 0xFFF

    def set(self, c, value):
        for n in range(self.fats):
            at = self.fat_offset + n * self.fat_bytes + c * 3 // 2
            v, = struct.unpack_from("<H", self.data, at)
            v = (v & 0x000F) | (value << 4) if c & 1 else (v & 0xF000) | value
            struct.pack_into("<H", self.data, at, v)

    def first(self, name83):
        """The first cluster of the (live or deleted) 8.3 entry of that name, less its first letter."""
        for at in range(0, len(self.data) - 32, 32):
            if self.data[at + 1:at + 11] == name83[1:].encode():
                return struct.unpack_from("<H", self.data, at + 26)[0]
        raise SystemExit("no entry " + name83)

    def chain(self, c):
        out = []
        while 2 <= c < 0xFF8 and len(out) < 4096:
            out.append(c)
            c = self.get(c)
        return out

    def save(self):
        with open(self.path, "wb") as f:
            f.write(self.data)


def fat12_card(path, folders=("DCIM",)):
    with open(path, "wb") as f:
        f.truncate(192 * 1024)
    run("mkfs.fat", "-i", "1234abcd", "-F", "12", "-s", "1", "-r", "32", path)
    for folder in folders:
        run("mmd", "-i", path, "::" + folder)


def put(img, src, path):
    run("mcopy", "-i", img, src, "::" + path)


def contradiction_seeds():
    """FAT12 cards whose file system contradicts what their clusters hold."""
    scan_out = os.path.join(here, "fs_scan")
    tmp = os.path.join(scan_out, "tmp")
    os.makedirs(tmp, exist_ok=True)
    a, b = os.path.join(tmp, "a.jpg"), os.path.join(tmp, "b.jpg")
    picture(a, 11, "96x64")
    picture(b, 12, "160x120")
    hole, notes = os.path.join(tmp, "hole.bin"), os.path.join(tmp, "notes.txt")
    with open(hole, "wb") as f:
        f.write(b"\x11" * 1500)
    with open(notes, "w") as f:
        f.write(("holiday notes, names and places of the photos on this card\n" * 200)[:8192])

    # Two live photos; the first one's chain is sent into the second's last two clusters.
    img = os.path.join(scan_out, "fat12_cross_link")
    fat12_card(img)
    put(img, a, "DCIM/A.JPG")
    put(img, b, "DCIM/B.JPG")
    v = Fat12(img)
    ca, cb = v.chain(v.first("A       JPG")), v.chain(v.first("B       JPG"))
    v.set(ca[-3], cb[-2])
    v.save()

    # A deleted two-fragment photo with a deleted text file in its gap.
    img = os.path.join(scan_out, "fat12_text_gap")
    fat12_card(img)
    put(img, hole, "DCIM/HOLE.BIN")
    put(img, notes, "DCIM/NOTES.TXT")
    run("mdel", "-i", img, "::DCIM/HOLE.BIN")
    put(img, b, "DCIM/B.JPG")
    run("mdel", "-i", img, "::DCIM/B.JPG", "::DCIM/NOTES.TXT")

    # A deleted photo in three pieces: written first-fit into two holes, past a text file after
    # each, then deleted with the text files.
    img = os.path.join(scan_out, "fat12_three_pieces")
    fat12_card(img)
    big, middle = os.path.join(tmp, "big.jpg"), os.path.join(tmp, "middle.bin")
    picture(big, 13, "320x240")
    with open(middle, "wb") as f:
        f.write(b"\x22" * 12000)
    put(img, hole, "DCIM/HOLE1.BIN")
    put(img, notes, "DCIM/NOTES1.TXT")
    put(img, middle, "DCIM/HOLE2.BIN")
    put(img, notes, "DCIM/NOTES2.TXT")
    run("mdel", "-i", img, "::DCIM/HOLE1.BIN", "::DCIM/HOLE2.BIN")
    put(img, big, "DCIM/BIG.JPG")
    run("mdel", "-i", img, "::DCIM/BIG.JPG", "::DCIM/NOTES1.TXT", "::DCIM/NOTES2.TXT")

    # DCIM's chain goes on into its subfolder, which holds a fragmented live photo.
    img = os.path.join(scan_out, "fat12_folder_chain")
    fat12_card(img, ("DCIM", "DCIM/100SEED"))
    put(img, hole, "DCIM/100SEED/HOLE.BIN")
    put(img, a, "DCIM/100SEED/A.JPG")
    run("mdel", "-i", img, "::DCIM/100SEED/HOLE.BIN")
    put(img, b, "DCIM/100SEED/B.JPG")
    v = Fat12(img)
    v.set(v.first("DCIM       "), v.first("100SEED    "))
    v.save()

    # Every FAT entry a random cluster of the volume.
    img = os.path.join(scan_out, "fat12_random_fat")
    fat12_card(img)
    put(img, hole, "DCIM/HOLE.BIN")
    put(img, a, "DCIM/A.JPG")
    run("mdel", "-i", img, "::DCIM/HOLE.BIN")
    put(img, b, "DCIM/B.JPG")
    v = Fat12(img)
    rng = random.Random(7)
    for c in range(2, v.clusters + 2):
        v.set(c, rng.randrange(2, v.clusters + 2))
    v.save()
    for name in os.listdir(tmp):
        os.remove(os.path.join(tmp, name))
    os.rmdir(tmp)


seeds = {
    "scan": scan_seeds,
    "contradictions": contradiction_seeds,
    "fat12": lambda: fat_seed("fat12", ["-F", "12", "-s", "1", "-r", "32"], 160, 160),
    "fat16_head": lambda: fat_seed("fat16_head", ["-F", "16", "-s", "1", "-r", "32"], 3 * 1024, 40),
    "fat32_head": lambda: fat_seed("fat32_head", ["-F", "32", "-s", "1", "-f", "1"], 34 * 1024, 290),
    "exfat": lambda: exfat_seed("exfat", None),
    "exfat_mbr": lambda: exfat_seed("exfat_mbr", "mbr"),
    "exfat_gpt": lambda: exfat_seed("exfat_gpt", "gpt"),
}
os.makedirs(out, exist_ok=True)
for name in sys.argv[1:] or seeds:
    seeds[name]()
