#!/usr/bin/env python3
"""Makes the seeds of crafted cards that once made the engine repeat work far beyond what its pass
reads (bench/crafted_cards.py times the full-size ones): fs_scan and fs_reader: a FAT12 card
whose root holds 64 deleted entries naming the cluster of one damaged photo; png and
scan_stream: runs of sectors that each start a PNG whose IDAT states far more than the card
holds, or than its picture can take; au and riff: runs of sound headers stating 2 GiB; mov: a
sample table of many chunks over many media data boxes; tif: TIFF headers whose IFD offsets
point far across the card, and a TIFF whose strip offsets and byte counts lie far apart; gif: GIF headers whose sub-block chains never end; fs_reader: a
FAT12 card whose live entries all need one cluster more than the chain they name."""

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
    au = b".snd" + bytes([0, 0, 0, 24, 0x7F, 0xFF, 0xFF, 0xF0, 0, 0, 0, 2, 0, 0, 0x1F, 0x40, 0, 0, 0, 1])
    write("au", "crafted_huge_sizes", cc.header_card([au] * 8, 8192))
    wav = (b"RIFF\xF0\xFF\xFF\x7FWAVEfmt \x10\0\0\0\x01\0\x01\0\x40\x1F\0\0\x80\x3E\0\0\x02\0\x10\0"
           b"data\0\xFF\xFF\x7F")
    write("riff", "crafted_huge_sizes", cc.header_card([wav] * 8, 8192))
    write("mov", "crafted_many_media_boxes", cc.iso_table_bomb())
    long_chain = cc.fat_card(fixture("large.jpg"), [200 * 1024] * 64, 256 * 1024, 1024, chain=199)
    write("fs_reader", "crafted_chain_too_short", long_chain)
    write("tif", "crafted_far_ifds", cc.header_card([cc.tiff_header(16384)] * 8, 64 * 1024))
    write("tif", "crafted_far_strip_arrays", cc.tiff_far_strip_arrays())
    write("gif", "crafted_endless_chains", cc.header_card([cc.gif_header()] * 8, 16384, fill=0xFF))


if __name__ == "__main__":
    main()
