#!/usr/bin/env python3
"""Makes the seed images of the file-system fuzz targets, each a few dozen KiB. fs_reader: FAT12
whole, the heads of FAT16 and FAT32 volumes (boot sector, FATs, root, first folders), exFAT
behind an MBR and behind a GPT, each with folders, live, fragmented and deleted files. fs_scan:
small FAT12 and exFAT cards with real pictures: a fragmented live JPEG, two-fragment deleted
JPEG and PNG, a deleted JPEG with padding."""

import os
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


os.makedirs(out, exist_ok=True)
scan_seeds()
fat_seed("fat12", ["-F", "12", "-s", "1", "-r", "32"], 160, 160)
fat_seed("fat16_head", ["-F", "16", "-s", "1", "-r", "32"], 3 * 1024, 40)
fat_seed("fat32_head", ["-F", "32", "-s", "1", "-f", "1"], 34 * 1024, 290)
exfat_seed("exfat", None)
exfat_seed("exfat_mbr", "mbr")
exfat_seed("exfat_gpt", "gpt")
