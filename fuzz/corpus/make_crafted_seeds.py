#!/usr/bin/env python3
"""Makes the seeds of crafted cards that once made the engine repeat work far beyond what its pass
reads (bench/crafted_cards.py times the full-size ones): fs_scan and fs_reader: a FAT12 card
whose root holds 64 deleted entries naming the cluster of one damaged photo; png and
scan_stream: runs of sectors that each start a PNG whose IDAT states far more than the card
holds, or than its picture can take."""

import os
import sys

here = os.path.dirname(os.path.abspath(__file__))
root = os.path.join(here, "..", "..")
sys.path.insert(0, os.path.join(root, "bench"))
import crafted_cards as cc  # noqa: E402


def fixture(name):
    with open(os.path.join(root, "tests", "ember", "fixtures", "image", name), "rb") as f:
        return f.read()


def write(folder, name, data):
    with open(os.path.join(here, folder, name), "wb") as f:
        f.write(data)


def main():
    photo = cc.damage_entropy(fixture("large.jpg"), 0.3)
    sizes = [len(photo) + (i + 1) * 1024 for i in range(64)]
    card = cc.fat_card(photo, sizes, 96 * 1024, 1024)
    write("fs_scan", "crafted_many_entries", card)
    write("fs_reader", "crafted_many_entries", card)
    headers = [cc.png_header(), cc.png_header(idat=3 << 20), cc.png_header(16, 16, 64 * 1024)]
    write("png", "crafted_huge_idat", cc.header_card(headers * 2, 4096))
    stream = cc.header_card(headers * 16, 16 * 1024) + fixture("palette.png")
    write("scan_stream", "crafted_png_headers", stream + bytes(-len(stream) % 512 + 4096))


if __name__ == "__main__":
    main()
