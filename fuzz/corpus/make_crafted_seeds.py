#!/usr/bin/env python3
"""Makes the seeds of crafted cards that once made the engine repeat work far beyond what its pass
reads (bench/crafted_cards.py times the full-size ones): fs_scan and fs_reader: a FAT12 card
whose root holds 64 deleted entries naming the cluster of one damaged photo; png and
scan_stream: runs of sectors that each start a PNG whose IDAT states far more than the card
holds, or than its picture can take; au and riff: runs of sound headers stating 2 GiB; mov: a
sample table of many chunks over many media data boxes; tif: TIFF headers whose IFD offsets
point far across the card, and a TIFF whose strip offsets and byte counts lie far apart; gif: GIF
headers whose sub-block chains never end; fs_reader: a FAT12 card whose live entries all need one
cluster more than the chain they name, and one whose names and folders are crafted
(names_and_loops, for fs_scan too); fs_scan: a FAT12 card whose only file, an AVI no entry names,
breaks at a cluster into other bytes and goes on after them (unlisted_avi), and one whose only
file, a movie with its movie box first that no entry names, has 2 KiB of other bytes inside its
media data (unlisted_movie), one whose movie (box last) went round a folder's later cluster
(movie_round_folder), and one whose movie box after its media data was wiped (movie_without_box)."""

import os
import struct
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


def lfn_checksum(name11):
    s = 0
    for b in name11:
        s = (((s & 1) << 7) + (s >> 1) + b) & 0xFF
    return s


def lfn_entry(order, checksum, units):
    """A long-name entry holding 13 UTF-16 units (given as integers)."""
    e = bytearray(32)
    e[0], e[11], e[13] = order, 0x0F, checksum
    for i, at in enumerate((1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30)):
        struct.pack_into("<H", e, at, units[i] if i < len(units) else 0xFFFF)
    return bytes(e)


def short_entry(name11, attr, cluster, size):
    e = bytearray(32)
    e[0:11], e[11] = name11, attr
    struct.pack_into("<HHHI", e, 22, 0x93C6, 0x58CE, cluster, size)  # 2024-06-14 18:30:12
    struct.pack_into("<HH", e, 14, 0x93C6, 0x58CE)
    return bytes(e)


def names_and_loops(photo):
    """A FAT12 card whose root holds crafted names (a 20-part long name of control characters,
    slashes, lone surrogates and 0xFFFF; parts out of order; a checksum that fits no 8.3 name; a
    deleted long name restored by its checksum) and folders that name each other and themselves."""
    card = bytearray(cc.fat_card(photo, [len(photo)], 128 * 1024, 1024))
    root = card.find(b"\xE5MG_0000JPG")
    data = root + 512 * 32  # the card's root holds 512 entries
    entries = []
    name = b"LONGNA~1JPG"
    units = [1, 9, 0x5C, 0x2F, 0xD800, 0xDC00, 0xDBFF, 0xFFFF, 0x41, 0x7F] * 26
    for order in range(20, 0, -1):
        entries.append(lfn_entry(order | (0x40 if order == 20 else 0), lfn_checksum(name),
                                 units[(order - 1) * 13:order * 13]))
    entries.append(short_entry(name, 0x20, 2, len(photo)))
    swapped = b"SWAPPE~1JPG"
    entries += [lfn_entry(1, lfn_checksum(swapped), [0x41] * 13), lfn_entry(0x42, lfn_checksum(swapped), [0x42, 0])]
    entries.append(short_entry(swapped, 0x20, 2, len(photo)))
    entries += [lfn_entry(0x41, 0x5A, [0x43, 0]), short_entry(b"BADSUM  JPG", 0x20, 2, len(photo))]
    gone = b"IMG_20~1JPG"
    entries += [lfn_entry(0xE5, lfn_checksum(gone), [ord(c) for c in "IMG_20240614_183012.jpg"[i * 13:i * 13 + 13]] + [0])
                for i in (1, 0)]
    entries.append(short_entry(b"\xE5" + gone[1:], 0x20, 2, len(photo)))
    # LOOP (cluster 40) holds itself and AGAIN (cluster 41), which holds LOOP.
    entries.append(short_entry(b"LOOP       ", 0x10, 40, 0))
    for i, e in enumerate(entries):
        card[root + 32 * (1 + i):root + 32 * (2 + i)] = e
    for cluster, subs in ((40, [(b"SELF       ", 40), (b"AGAIN      ", 41)]), (41, [(b"LOOP       ", 40)])):
        at = data + (cluster - 2) * 1024
        card[at:at + 64] = short_entry(b".          ", 0x10, cluster, 0) + short_entry(b"..         ", 0x10, 0, 0)
        for i, (n, c) in enumerate(subs):
            card[at + 64 + 32 * i:at + 96 + 32 * i] = short_entry(n, 0x10, c, 0)
        card[at + 64 + 32 * len(subs):at + 96 + 32 * len(subs)] = short_entry(b"INNER   JPG", 0x20, 2, len(photo))
    return bytes(card)


def unlisted_avi():
    """The motion-JPEG AVI fixture at cluster 2 of a FAT12 card with 1 KiB clusters and no entries,
    twelve clusters of it (into its stream chunks), two of other bytes, then the rest."""
    with open(os.path.join(root, "tests", "ember", "fixtures", "video", "clip.avi"), "rb") as f:
        avi = f.read()
    gap = bytes((i * 131 + 17) % 251 for i in range(2048))
    return cc.fat_card(avi[:12288] + gap + avi[12288:], [], 128 * 1024, 1024)


def unlisted_movie():
    """The motion-JPEG MOV fixture with its movie box moved before the media data (its chunk
    offsets moved on), at cluster 2 of a FAT12 card with 1 KiB clusters and no entries, 2 KiB of
    other bytes over its media data at 32 KiB."""
    with open(os.path.join(root, "tests", "ember", "fixtures", "video", "motion_jpeg.mov"), "rb") as f:
        mov = f.read()
    boxes, pos = {}, 0
    while pos + 8 <= len(mov):
        size, kind = struct.unpack(">I4s", mov[pos:pos + 8])
        boxes[kind] = (pos, size)
        pos += size
    (mdat, _), (moov, moov_size) = boxes[b"mdat"], boxes[b"moov"]
    box = bytearray(mov[moov:moov + moov_size])
    table = box.index(b"stco") + 8
    for i in range(struct.unpack(">I", box[table:table + 4])[0]):
        at = table + 4 + 4 * i
        box[at:at + 4] = struct.pack(">I", struct.unpack(">I", box[at:at + 4])[0] + moov_size)
    movie = bytearray(mov[:mdat] + bytes(box) + mov[mdat:moov])
    movie[32768:34816] = bytes((i * 131 + 17) % 251 for i in range(2048))
    return cc.fat_card(bytes(movie), [], 128 * 1024, 1024)


def camera_movie(folder_at=None, wipe_box=False):
    """The motion-JPEG MOV fixture (movie box last) at cluster 2 of a FAT12 card with 1 KiB
    clusters and no entries: with a folder's later cluster (two 8.3 entries) inserted at
    folder_at, and with its movie box zeroed when wipe_box."""
    with open(os.path.join(root, "tests", "ember", "fixtures", "video", "motion_jpeg.mov"), "rb") as f:
        mov = bytearray(f.read())
    if wipe_box:
        moov = mov.rindex(b"moov") - 4
        mov[moov:] = bytes(len(mov) - moov)
    if folder_at is not None:
        folder = short_entry(b"MVI_0002MOV", 0x20, 90, 4000) + short_entry(b"\xE5VI_0003MOV", 0x20, 95, 9000)
        mov = mov[:folder_at] + folder + bytes(1024 - len(folder)) + mov[folder_at:]
    return cc.fat_card(bytes(mov), [], 128 * 1024, 1024)


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
    names = names_and_loops(fixture("baseline.jpg"))
    write("fs_reader", "crafted_names_and_loops", names)
    write("fs_scan", "crafted_names_and_loops", names)
    write("tif", "crafted_far_ifds", cc.header_card([cc.tiff_header(16384)] * 8, 64 * 1024))
    write("tif", "crafted_far_strip_arrays", cc.tiff_far_strip_arrays())
    write("gif", "crafted_endless_chains", cc.header_card([cc.gif_header()] * 8, 16384, fill=0xFF))
    write("fs_scan", "crafted_unlisted_avi", unlisted_avi())
    write("fs_scan", "crafted_unlisted_movie", unlisted_movie())
    write("fs_scan", "crafted_movie_round_folder", camera_movie(folder_at=24 * 1024))
    write("fs_scan", "crafted_movie_without_box", camera_movie(wipe_box=True))


if __name__ == "__main__":
    main()
