#!/usr/bin/env python3
"""Makes the small card images the file-system tests read, without mounting anything: FAT16 and
a quick-formatted FAT32 by mkfs.fat and mtools, a FAT32 partition behind an MBR, exFAT (our
writer in bench/exfat.py, checked by fsck.exfat) behind a GPT and quick-formatted; and a FAT32
and an exFAT card of camera and phone names, with known times, some deleted, and crafted names.
Pictures are real JPEG and PNG files from ImageMagick. Writes OUT/*.img, OUT/files/* (the
originals) and OUT/manifest.tsv: image, path, extension, first cluster, size, live|deleted, runs
(first+count), original, the path as the engine shows it, the modified time it shows ("*": not
known here). Usage: make_fs_images.py OUT"""

import os
import re
import struct
import subprocess
import sys
import zlib

here = os.path.dirname(os.path.abspath(__file__))
root = os.path.abspath(os.path.join(here, "..", "..", ".."))
sys.path.insert(0, os.path.join(root, "bench"))
import exfat  # noqa: E402
import fat  # noqa: E402

ENV = dict(os.environ, MTOOLS_SKIP_CHECK="1", MTOOLS_LOWER_CASE="0", TZ="UTC",
           PATH=os.environ.get("PATH", "") + ":/usr/sbin:/sbin")
# A name mtools keeps as an 8.3 entry alone (no long name): upper case, 8 and 3 characters.
SHORT_NAME = re.compile(r"[A-Z0-9_$~!#%&'(){}^@`-]{1,8}(\.[A-Z0-9_$~!#%&'(){}^@`-]{1,3})?")


def shown(path, deleted, is_fat, quick=False):
    """The path as the engine's index shows it: '\\' between folders, a deleted FAT file without a
    long name with its lost first character as '_', the root folder a quick format wiped as '?'."""
    parts = path.split("/")
    if quick:
        parts[0] = "?"
    if is_fat and deleted and SHORT_NAME.fullmatch(parts[-1]):
        parts[-1] = "_" + parts[-1][1:]
    return "\\".join(parts)
out = os.path.abspath(sys.argv[1]) if __name__ == "__main__" else ""
files_dir = os.path.join(out, "files")
manifest = []


def run(*cmd):
    r = subprocess.run(list(cmd), env=ENV, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    if r.returncode != 0:
        sys.exit("%s failed: %s" % (cmd[0], r.stderr.decode(errors="replace")))


def picture(name, seed, width, height, padding=b"", progressive=False):
    """A real JPEG or PNG (seeded plasma), optionally with bytes after its end."""
    path = os.path.join(files_dir, name)
    opts = ["-quality", "88"] if name.endswith("jpg") else ["-define", "png:exclude-chunks=date,time"]
    if progressive:
        opts += ["-interlace", "JPEG"]
    run("convert", "-seed", str(seed), "-size", "%dx%d" % (width, height), "plasma:fractal", "-strip",
        *opts, path)
    if padding:
        with open(path, "ab") as f:
            f.write(padding)
    return path


def blob(name, size, seed):
    path = os.path.join(files_dir, name)
    state = seed
    data = bytearray()
    while len(data) < size:
        state = (state * 6364136223846793005 + 1442695040888963407) & (2**64 - 1)
        data += struct.pack("<Q", state)
    with open(path, "wb") as f:
        f.write(bytes(data[:size]))
    return path


def text(name, size):
    """Plain text, as a note or a log file holds."""
    path = os.path.join(files_dir, name)
    words = "the card holds photos of a summer by the sea and notes about them".split()
    lines, n = [], 0
    while sum(map(len, lines)) < size:
        lines.append(" ".join(words[(n + i) % len(words)] for i in range(9)) + "\n")
        n += 5
    with open(path, "w") as f:
        f.write("".join(lines)[:size])
    return path


def new_image(name, mib):
    path = os.path.join(out, name)
    with open(path, "wb") as f:
        f.truncate(mib << 20)
    return path


class FatCard:
    """A FAT volume filled through mtools, its chains recorded from the FAT while files live."""

    def __init__(self, image, offset, mkfs_args):
        self.image, self.offset = image, offset
        self.target = image + ("@@%d" % offset if offset else "")
        size = os.path.getsize(image) - offset
        args = ["mkfs.fat", "-i", "7e55e7a0", *mkfs_args]
        if offset:
            args += ["--offset", str(offset // 512), image, str(size // 1024)]
        else:
            args += [image]
        run(*args)
        self.mkfs = args
        self.files = {}

    def mkdir(self, *paths):
        for p in paths:
            run("mmd", "-i", self.target, "::" + p)

    def put(self, src, path):
        run("mcopy", "-m", "-i", self.target, src, "::" + path)
        vol = fat.Volume(self.image, self.offset)
        for p, first, size in vol.files():
            if p == "/" + path:
                self.files[path] = [first, size, vol.chain(first), src, "live"]

    def delete(self, path):
        run("mdel", "-i", self.target, "::" + path)
        self.files[path][4] = "deleted"

    def hint(self, cluster):
        fat.Volume(self.image, self.offset).set_next_free_hint(cluster)

    def record(self, state=None, modified="*"):
        for path, (first, size, chain, src, live) in self.files.items():
            add(self.image, path, first, size, state or live, chain if (state or live) == "live" else [], src,
                short_extension=True, shown_as=shown(path, live == "deleted", True, quick=state is not None),
                modified=modified)


def add(image, path, first, size, state, chain, src, short_extension=False, shown_as=None, modified="*"):
    if path.endswith((".BIN", ".TXT")) and state == "deleted":
        return  # filler whose entry and clusters later files took, or that is no picture
    ext = path.rsplit(".", 1)[-1].lower() if "." in path.rsplit("/", 1)[-1] else ""
    if short_extension:
        ext = ext[:3]  # a FAT entry's extension is its 8.3 name's
    runs = " ".join("%d+%d" % tuple(r) for r in fat.runs(chain))
    if shown_as is None:
        shown_as = shown(path, state == "deleted", False)
    # Crafted names hold TABs and lone surrogates: the manifest's own column escapes them.
    path = path.encode("ascii", "backslashreplace").decode().replace("\t", "\\t")
    manifest.append("\t".join([os.path.basename(image), path, ext, str(first), str(size), state, runs,
                               os.path.basename(src), shown_as, modified]))


def fat16_card():
    """Live, fragmented live, deleted with padding, deleted long name, a PNG; no partition."""
    card = FatCard(new_image("fat16.img", 16), 0, ["-F", "16", "-s", "4"])
    card.mkdir("DCIM", "DCIM/100TESTS")
    card.put(picture("live.jpg", 3, 320, 240), "DCIM/100TESTS/IMG_0001.JPG")
    for i in range(3):
        card.put(blob("gap%d.bin" % i, 5000, i + 1), "DCIM/100TESTS/GAP%d.BIN" % i)
        card.put(blob("keep%d.bin" % i, 3000, i + 11), "DCIM/100TESTS/KEEP%d.BIN" % i)
    for i in range(3):
        card.delete("DCIM/100TESTS/GAP%d.BIN" % i)
    card.put(picture("fragmented.jpg", 5, 640, 480), "DCIM/100TESTS/IMG_0002.JPG")
    card.put(picture("padded.jpg", 7, 400, 300, b"\0" * 6000), "DCIM/100TESTS/IMG_0003.JPG")
    card.put(picture("longname.jpg", 9, 300, 200), "DCIM/100TESTS/Holiday picture.jpeg")
    card.put(picture("live.png", 11, 200, 150), "DCIM/100TESTS/IMG_0004.PNG")
    card.delete("DCIM/100TESTS/IMG_0003.JPG")
    card.delete("DCIM/100TESTS/Holiday picture.jpeg")
    card.record()


def write_mbr(image, start, sectors, kind):
    mbr = bytearray(512)
    mbr[446:462] = struct.pack("<B3sB3sII", 0, b"\xfe\xff\xff", kind, b"\xfe\xff\xff", start, sectors)
    mbr[510:512] = b"\x55\xaa"
    with open(image, "r+b") as f:
        f.write(mbr)


def fat32_mbr_card():
    """Two-fragment deleted JPEG and PNG, with another picture in each gap; behind an MBR."""
    image = new_image("fat32_mbr.img", 48)
    start = 2048
    write_mbr(image, start, (48 << 11) - start, 0x0C)
    card = FatCard(image, start * 512, ["-F", "32", "-s", "1"])
    card.mkdir("DCIM", "DCIM/100TESTS", "DCIM/101TESTS", "DCIM/102TESTS")
    pairs = [("jpg", picture("gapfill.jpg", 21, 400, 300), picture("twofrag.jpg", 23, 640, 480)),
             ("png", picture("gapfill.png", 25, 200, 150), picture("twofrag.png", 27, 320, 240))]
    # A folder each, so that no later entry takes the slot of the deleted one.
    for n, (ext, fill, frag) in enumerate(pairs):
        folder = "DCIM/10%dTESTS/" % n
        card.put(blob("hole%d.bin" % n, 12000, 40 + n), folder + "HOLE.BIN")
        card.put(fill, folder + "FILL.%s" % ext.upper())
        card.delete(folder + "HOLE.BIN")
        card.hint(card.files[folder + "HOLE.BIN"][0] - 1)
        card.put(frag, folder + "FRAG.%s" % ext.upper())
        card.delete(folder + "FRAG.%s" % ext.upper())
    # A two-fragment JPEG with a deleted TIFF in its gap: the head's carve runs over the TIFF (a
    # TIFF does not cut a JPEG), which must still be found once the JPEG is joined.
    folder = "DCIM/102TESTS/"
    card.put(blob("hole2.bin", 12000, 42), folder + "HOLE.BIN")
    card.put(picture("gapfill.tif", 29, 160, 120), folder + "FILL.TIF")
    card.delete(folder + "HOLE.BIN")
    card.hint(card.files[folder + "HOLE.BIN"][0] - 1)
    card.put(picture("twofrag2.jpg", 31, 640, 480), folder + "FRAG.JPG")
    card.delete(folder + "FRAG.JPG")
    card.delete(folder + "FILL.TIF")
    # A two-fragment JPEG with a deleted 8 KiB text file in its gap: text holds no byte a JPEG's
    # data could not, so the head's carve runs on through it to the photo's end.
    folder = "DCIM/103TESTS/"
    card.mkdir(folder[:-1])
    card.put(blob("hole3.bin", 12000, 43), folder + "HOLE.BIN")
    card.put(text("notes.txt", 8192), folder + "NOTES.TXT")
    card.delete(folder + "HOLE.BIN")
    card.hint(card.files[folder + "HOLE.BIN"][0] - 1)
    card.put(picture("twofrag3.jpg", 33, 640, 480), folder + "FRAG.JPG")
    card.delete(folder + "FRAG.JPG")
    card.delete(folder + "NOTES.TXT")
    # A two-fragment progressive JPEG with a picture in its gap: a wrong rest shows in the scan
    # it falls in.
    folder = "DCIM/104TESTS/"
    card.mkdir(folder[:-1])
    card.put(blob("hole4.bin", 12000, 44), folder + "HOLE.BIN")
    card.put(picture("gapfill4.jpg", 35, 300, 200), folder + "FILL.JPG")
    card.delete(folder + "HOLE.BIN")
    card.hint(card.files[folder + "HOLE.BIN"][0] - 1)
    card.put(picture("twofrag4.jpg", 37, 640, 480, progressive=True), folder + "FRAG.JPG")
    card.delete(folder + "FRAG.JPG")
    card.record()


def fat32_quick_card():
    """Folders and files, some deleted, then a quick format (mkfs.fat again)."""
    card = FatCard(new_image("fat32_quick.img", 40), 0, ["-F", "32", "-s", "1"])
    card.mkdir("DCIM", "DCIM/100TESTS", "DCIM/101TESTS")
    card.put(picture("quick1.jpg", 31, 320, 240), "DCIM/100TESTS/IMG_0001.JPG")
    card.put(picture("quick2.png", 33, 200, 150), "DCIM/101TESTS/IMG_0002.PNG")
    card.put(picture("quick3.jpg", 35, 300, 200, b"\xff" * 3000), "DCIM/101TESTS/IMG_0003.JPG")
    card.delete("DCIM/100TESTS/IMG_0001.JPG")
    run(*card.mkfs)
    card.record("deleted")


def write_gpt(image, start, sectors):
    total = os.path.getsize(image) // 512
    write_mbr(image, 1, total - 1, 0xEE)
    entry = bytearray(128)
    entry[0:16] = bytes.fromhex("a2a0d0ebe5b9334487c068b6b72699c7")  # basic data
    entry[16:32] = bytes(range(16))
    struct.pack_into("<QQ", entry, 32, start, start + sectors - 1)
    entries = bytes(entry) + bytes(128 * 127)
    header = bytearray(92)
    struct.pack_into("<8sIIIIQQQQ16sQIII", header, 0, b"EFI PART", 0x10000, 92, 0, 0, 1, total - 1,
                     34, total - 34, bytes(range(16, 32)), 2, 128, 128, zlib.crc32(entries))
    struct.pack_into("<I", header, 16, zlib.crc32(bytes(header)))
    with open(image, "r+b") as f:
        f.seek(512)
        f.write(bytes(header) + bytes(420))
        f.write(entries)


def exfat_cards():
    """exFAT behind a GPT: live contiguous, live fragmented (FAT chain), deleted contiguous and a
    deleted two-fragment PNG; and an exFAT card quick-formatted after use."""
    image = new_image("exfat_gpt.img", 40)
    start, sectors = 2048, (40 << 11) - 2048 - 34
    write_gpt(image, start, sectors)
    vol = exfat.Volume(image, start * 512, sectors * 512, 4096)
    vol.format()
    vol.mkdir("DCIM")
    vol.mkdir("DCIM/100TESTS")
    d = "DCIM/100TESTS/"
    chains = {}

    def put(src, path, hint=None):
        chains[path] = (vol.add_file(path, open(src, "rb").read(), hint), src)

    put(picture("ex_live.jpg", 41, 320, 240), d + "IMG_0001.JPG")
    put(blob("ex_gap.bin", 9000, 43), d + "GAP.BIN")
    put(blob("ex_keep.bin", 9000, 45), d + "KEEP.BIN")
    put(picture("ex_deleted.jpg", 47, 300, 200, b"\0" * 5000), d + "IMG_0002.JPG")
    hole = chains[d + "GAP.BIN"][0][0]
    vol.delete(d + "GAP.BIN")
    put(picture("ex_fragmented.jpg", 49, 640, 480), d + "IMG_0003.JPG", hint=hole)
    put(blob("ex_gap2.bin", 9000, 51), d + "GAP2.BIN")
    put(picture("ex_fill.jpg", 53, 320, 240), d + "IMG_0004.JPG")
    hole = chains[d + "GAP2.BIN"][0][0]
    vol.delete(d + "GAP2.BIN")
    put(picture("ex_twofrag.png", 55, 320, 240), d + "IMG_0005.PNG", hint=hole)
    for p in (d + "IMG_0002.JPG", d + "IMG_0005.PNG"):
        vol.delete(p)
    for path, (clusters, src) in chains.items():
        if path.endswith(".BIN"):
            continue
        live = path in vol.files
        add(image, path, clusters[0], os.path.getsize(src), "live" if live else "deleted",
            clusters if live else [], src)
    check_exfat(image, start * 512, sectors * 512)

    image = new_image("exfat_quick.img", 24)
    vol = exfat.Volume(image, 0, 24 << 20, 4096)
    vol.format()
    vol.mkdir("DCIM")
    vol.mkdir("DCIM/100TESTS")
    for name, seed in (("IMG_0001.JPG", 61), ("IMG_0002.PNG", 63)):
        src = picture("exq_" + name.lower(), seed, 320, 240)
        clusters = vol.add_file("DCIM/100TESTS/" + name, open(src, "rb").read())
        add(image, "DCIM/100TESTS/" + name, clusters[0], os.path.getsize(src), "deleted", [], src,
            shown_as=shown("DCIM/100TESTS/" + name, True, False, quick=True))
    # Names of 255 characters: 19 entries a set, so the seventh runs from the folder's first
    # cluster into its second, which lies after the pictures.
    for n in range(7):
        name = "%03d" % n + "Long name of a photo from the summer " * 7
        name = name[:251] + ".jpg"
        src = picture("exq_long%d.jpg" % n, 65 + n, 64, 48)
        clusters = vol.add_file("DCIM/100TESTS/" + name, open(src, "rb").read())
        add(image, "DCIM/100TESTS/" + name, clusters[0], os.path.getsize(src), "deleted", [], src,
            shown_as=shown("DCIM/100TESTS/" + name, True, False, quick=True))
    check_exfat(image, 0, 24 << 20)
    vol.format()
    check_exfat(image, 0, 24 << 20)

    # 512-byte clusters: a set of 19 entries (608 bytes) spans two clusters or three, its middle
    # one holding nothing but its name; some deleted before the quick format.
    image = new_image("exfat_quick512.img", 8)
    vol = exfat.Volume(image, 0, 8 << 20, 512)
    vol.format()
    vol.mkdir("DCIM")
    vol.mkdir("DCIM/100MEDIA")
    paths = []
    for n, words in enumerate(("Été à la mer \U0001F305 ", "海辺の夕日\U0001F4F7", "a", "\U0001F305") * 2):
        path = "DCIM/100MEDIA/%d" % n + name_of_units(words, 254, ".jpg")
        src = picture("ex512_%d.jpg" % n, 101 + n, 64, 48)
        clusters = vol.add_file(path, open(src, "rb").read())
        paths.append(path)
        add(image, path, clusters[0], os.path.getsize(src), "deleted", [], src,
            shown_as=shown(path, True, False, quick=True))
    for path in paths[1::3]:
        vol.delete(path)
    # Not checked by fsck.exfat: 1.2.0 rejects this folder where a set spans three clusters,
    # while exfat-fuse mounts it and lists every name.
    vol.format()


# 2024-06-14 18:30:12 as FAT and exFAT pack it, and as the index shows it.
TAKEN = 1718389812
TAKEN_STAMP = (44 << 25) | (6 << 21) | (14 << 16) | (18 << 11) | (30 << 5) | 6
TAKEN_TEXT = "2024-06-14 18:30:12"


def name_of_units(words, units, extension):
    """A name of exactly `units` UTF-16 units ending in the extension, from the words repeated
    (surrogate pairs kept whole)."""
    stem, n = "", len(extension)
    for c in words * units:
        w = 2 if ord(c) > 0xFFFF else 1
        if n + w > units:
            break
        stem, n = stem + c, n + w
    if n < units:
        stem += "x"
    return stem + extension


def names_cards():
    """Camera and phone names on FAT32 (mtools writes long names where 8.3 does not hold them)
    and exFAT, in folders, some deleted: a deleted FAT long name is restored by its checksum, a
    deleted 8.3 name loses its first character. Crafted names: 255 characters, control
    characters, a '\\' and a lone surrogate inside a name."""
    card = FatCard(new_image("fat32_names.img", 40), 0, ["-F", "32", "-s", "1"])
    card.mkdir("DCIM", "DCIM/100CANON", "DCIM/Camera")
    long_name = "Summer evening by the sea " * 10
    photos = [("DCIM/100CANON/IMG_20240614_183012.jpg", False), ("DCIM/100CANON/IMG_20240614_183013.jpg", True),
              ("DCIM/100CANON/DSC01234.JPG", False), ("DCIM/100CANON/DSC01235.JPG", True),
              ("DCIM/Camera/PXL_20240614_183012345.jpg", True), ("DCIM/Camera/VID_20240614_190000.jpg", False),
              ("DCIM/Camera/" + long_name[:251] + ".jpg", True), ("DCIM/100CANON/DSC01236.ARW", True),
              ("DCIM/Camera/VID_20240614_190000.mp4", False)]
    for n, (path, _) in enumerate(photos):
        is_picture = path.endswith((".jpg", ".JPG"))
        src = picture("names%d.jpg" % n, 81 + n, 160, 120) if is_picture else blob("names%d.bin" % n, 9000, 81 + n)
        os.utime(src, (TAKEN, TAKEN))
        card.put(src, path)
    for path, deleted in photos:
        if deleted:
            card.delete(path)
    card.record(modified=TAKEN_TEXT)

    image = new_image("exfat_names.img", 24)
    vol = exfat.Volume(image, 0, 24 << 20, 4096)
    vol.format()
    vol.mkdir("DCIM")
    vol.mkdir("DCIM/100MEDIA")
    plus_two = 0x80 | 8  # UTC+02:00 in quarter hours
    files = [("DCIM/100MEDIA/IMG_20240614_183012.jpg", False, TAKEN_STAMP, plus_two, TAKEN_TEXT + "+02:00"),
             ("DCIM/100MEDIA/PXL_20240614_183012345.jpg", True, TAKEN_STAMP, 0, TAKEN_TEXT),
             ("DCIM/100MEDIA/DSC01234.JPG", True, TAKEN_STAMP & ~(15 << 21) | 13 << 21, 0, ""),  # month 13
             ("DCIM/100MEDIA/tab\there\\back\x01\ud800.jpg", False, TAKEN_STAMP, 0, TAKEN_TEXT)]
    # Names of 255 UTF-16 units, 2 and 3 UTF-8 bytes each and surrogate pairs, whose 10 ms field
    # adds the odd second.
    for k, (words, deleted) in enumerate((("Été à la mer \U0001F305 ", False), ("海辺の夕日\U0001F4F7", True),
                                          ("\U0001F305", False))):
        files.append(("DCIM/100MEDIA/" + name_of_units(words, 255, ".jpg"), deleted, TAKEN_STAMP, 0,
                      "2024-06-14 18:30:13"))
    for n, (path, deleted, stamp, utc, text) in enumerate(files):
        src = picture("exnames%d.jpg" % n, 91 + n, 160, 120)
        clusters = vol.add_file(path, open(src, "rb").read(), stamp=stamp, utc_offset=utc,
                                centiseconds=100 if text.endswith(":13") else 0)
        shown_as = shown(path, deleted, False)
        if n == 3:
            shown_as = "DCIM\\100MEDIA\\tab\ufffdhere\ufffdback\ufffd\ufffd.jpg"
        add(image, path, clusters[0], os.path.getsize(src), "deleted" if deleted else "live",
            [] if deleted else clusters, src, shown_as=shown_as, modified=text)
    for path, deleted, _, _, _ in files:
        if deleted:
            vol.delete(path)  # after the others, so that no later set takes its slots
    check_exfat(image, 0, 24 << 20)


def check_exfat(image, offset, size):
    part = image + ".part"
    with open(image, "rb") as f, open(part, "wb") as p:
        f.seek(offset)
        p.write(f.read(size))
    run("fsck.exfat", "-n", part)
    os.remove(part)


def main():
    os.makedirs(files_dir, exist_ok=True)
    fat16_card()
    fat32_mbr_card()
    fat32_quick_card()
    exfat_cards()
    names_cards()
    import make_video_cards
    make_video_cards.video_cards(sys.modules[__name__])
    import make_chain_cards
    make_chain_cards.chain_cards(sys.modules[__name__])
    import make_quick_chain_cards
    make_quick_chain_cards.quick_chain_cards(sys.modules[__name__])
    with open(os.path.join(out, "manifest.tsv"), "w", encoding="utf-8") as f:
        f.write("\n".join(manifest) + "\n")


if __name__ == "__main__":
    main()
