#!/usr/bin/env python3
"""Makes the seed images of the file-system fuzz target, each a few dozen KiB: FAT12 whole,
the heads of FAT16 and FAT32 volumes (boot sector, FATs, root, first folders), exFAT behind an
MBR and behind a GPT, each with folders, live, fragmented and deleted files."""

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


os.makedirs(out, exist_ok=True)
fat_seed("fat12", ["-F", "12", "-s", "1", "-r", "32"], 160, 160)
fat_seed("fat16_head", ["-F", "16", "-s", "1", "-r", "32"], 3 * 1024, 40)
fat_seed("fat32_head", ["-F", "32", "-s", "1", "-f", "1"], 34 * 1024, 290)
exfat_seed("exfat", None)
exfat_seed("exfat_mbr", "mbr")
exfat_seed("exfat_gpt", "gpt")
