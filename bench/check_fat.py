#!/usr/bin/env python3
"""Checks bench/fat.py against mtools on small FAT16 and FAT32 images: the files it lists and
their cluster chains must be what mshowfat reports, including a fragmented file, a long name and
a file in a subfolder. Run by card_benchmark.sh before it builds the card; exits 1 on a mismatch."""

import os
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import fat  # noqa: E402

ENV = dict(os.environ, MTOOLS_SKIP_CHECK="1")


def mt(*args):
    subprocess.run(list(args), env=ENV, check=True, stdout=subprocess.PIPE, stderr=subprocess.PIPE)


def mshowfat(target, path):
    out = subprocess.run(["mshowfat", "-i", target, "::" + path], env=ENV, check=True,
                         stdout=subprocess.PIPE).stdout.decode()
    clusters = []
    for a, b in re.findall(r"(\d+)(?:-(\d+))?", out.split("<", 1)[1]):
        clusters += list(range(int(a), int(b or a) + 1))
    return clusters


def check(tmp, fat_bits, size_mib, offset):
    img = os.path.join(tmp, "fat%d.img" % fat_bits)
    with open(img, "wb") as f:
        f.truncate(size_mib << 20)
    cmd = ["mkfs.vfat", "-F", str(fat_bits), "-s", "1"]
    if offset:
        cmd += ["--offset", str(offset // 512), img, str(((size_mib << 20) - offset) // 1024)]
    else:
        cmd += [img]
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)
    target = img + ("@@%d" % offset if offset else "")
    files = {}
    for i in range(6):
        p = os.path.join(tmp, "part%d" % i)
        with open(p, "wb") as f:
            f.write(os.urandom(3000 + 1500 * i))
        files[p] = "/SUB/P%d.BIN" % i if i % 2 else "/P%d.BIN" % i
    mt("mmd", "-i", target, "::SUB")
    for p, dst in files.items():
        mt("mcopy", "-i", target, p, "::" + dst)
    mt("mdel", "-i", target, "::P2.BIN", "::P4.BIN")  # gaps
    big = os.path.join(tmp, "big")
    with open(big, "wb") as f:
        f.write(os.urandom(40000))
    vol = fat.Volume(img, offset)
    if vol.is_fat32:
        vol.set_next_free_hint(2)  # allocate from the first gap, so the file spans the gaps
    mt("mcopy", "-i", target, big, "::A long file name.bin")
    vol = fat.Volume(img, offset)
    listed = {p: (c, s) for p, c, s in vol.files()}
    want = {"/P0.BIN", "/SUB/P1.BIN", "/SUB/P3.BIN", "/SUB/P5.BIN", "/A long file name.bin"}
    bad = []
    if set(listed) != want:
        bad.append("listed %s" % sorted(listed))
    fragmented = False
    for p in sorted(want & set(listed)):
        first, size = listed[p]
        got = vol.chain(first)
        ref = mshowfat(target, p)
        if got != ref:
            bad.append("%s: chain %s, mshowfat %s" % (p, fat.runs(got), fat.runs(ref)))
        fragmented |= len(fat.runs(got)) > 1
    if not fragmented:
        bad.append("no fragmented file was made")
    return ["FAT%d: %s" % (fat_bits, b) for b in bad]


def main():
    with tempfile.TemporaryDirectory() as tmp:
        bad = check(tmp, 16, 24, 0) + check(tmp, 32, 40, 1 << 20)
    for b in bad:
        print(b)
    print("FAT reader check: %s" % ("FAILED" if bad else "ok"))
    sys.exit(1 if bad else 0)


if __name__ == "__main__":
    main()
