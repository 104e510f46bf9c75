"""The file system of a benchmark card, written without mounting: FAT32 through mkfs.vfat and
mtools (chains read back with bench/fat.py), or exFAT through our writer (bench/exfat.py),
each in a partition behind an MBR as SD cards come. The same few operations for both: folders,
copying a file in, deleting files, where the allocator looks next, the clusters of each live
file, and a quick format (a new empty file system over the used card)."""

import os
import struct
import subprocess

import exfat
import fat

SECTOR = 512


def write_mbr(image, start, sectors, kind):
    mbr = bytearray(512)
    struct.pack_into("<I", mbr, 440, 0x54455353)  # disk signature
    mbr[446:462] = struct.pack("<B3sB3sII", 0, b"\xfe\xff\xff", kind, b"\xfe\xff\xff", start, sectors)
    mbr[510:512] = b"\x55\xaa"
    with open(image, "r+b") as f:
        f.write(mbr)


def new_image(image, size_mib, part_start, kind):
    total = size_mib * 1024 * 1024 // SECTOR
    with open(image, "wb") as f:
        f.truncate(total * SECTOR)
    write_mbr(image, part_start, total - part_start, kind)
    return total - part_start


class FatCard:
    name = "fat32"

    def __init__(self, image, size_mib, cluster_kib, part_start):
        self.image = image
        part = new_image(image, size_mib, part_start, 0x0C)
        self.mkfs = ["mkfs.vfat", "-F", "32", "-s", str(cluster_kib * 2), "-n", "TESSBENCH", "-i", "5445534c",
                     "--offset", str(part_start), image, str(part // 2)]
        subprocess.run(self.mkfs, check=True, stdout=subprocess.DEVNULL)
        self.offset = part_start * SECTOR
        self.target = "%s@@%d" % (image, self.offset)
        self.env = dict(os.environ, MTOOLS_SKIP_CHECK="1", MTOOLS_LOWER_CASE="0")
        self.vol = fat.Volume(image, self.offset)
        if not self.vol.is_fat32:
            raise SystemExit("mkfs.vfat made no FAT32 volume; choose a larger --size-mib")
        self.cluster_size = self.vol.cluster_size

    def _mtools(self, *args):
        r = subprocess.run(list(args[:1]) + ["-i", self.target] + list(args[1:]), env=self.env,
                           stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        if r.returncode != 0:
            raise RuntimeError("%s: %s" % (args[0], r.stderr.decode(errors="replace").strip()))

    def mkdir(self, path):
        self._mtools("mmd", "::" + path)

    def put(self, src, path):
        self._mtools("mcopy", src, "::" + path)

    def delete(self, paths):
        for i in range(0, len(paths), 50):
            self._mtools("mdel", *["::" + p for p in paths[i:i + 50]])

    def allocate_from(self, cluster):
        self.vol.set_next_free_hint(cluster - 1)

    def live_chains(self):
        """{path: clusters} of every live file."""
        self.vol = fat.Volume(self.image, self.offset)
        return {p: self.vol.chain(first) for p, first, size in self.vol.files()}

    def free_bytes(self):
        self.vol = fat.Volume(self.image, self.offset)
        return self.vol.free_clusters() * self.cluster_size

    def cluster_offset(self, c):
        return self.vol.cluster_offset(c)

    def quick_format(self):
        subprocess.run(self.mkfs, check=True, stdout=subprocess.DEVNULL)

    def check(self):
        pass  # mtools and mkfs.vfat are the reference here (bench/check_fat.py checks our reader)


class ExfatCard:
    name = "exfat"

    def __init__(self, image, size_mib, cluster_kib, part_start):
        self.image = image
        part = new_image(image, size_mib, part_start, 0x07)
        self.offset = part_start * SECTOR
        self.vol = exfat.Volume(image, self.offset, part * SECTOR, cluster_kib * 1024, fat_offset_sectors=2048,
                                label="TESSBENCH")
        self.vol.format()
        self.cluster_size = self.vol.cs

    def mkdir(self, path):
        self.vol.mkdir(path.lstrip("/"))

    def put(self, src, path):
        with open(src, "rb") as f:
            self.vol.add_file(path.lstrip("/"), f.read())

    def delete(self, paths):
        for p in paths:
            self.vol.delete(p.lstrip("/"))

    def allocate_from(self, cluster):
        self.vol.hint = cluster

    def live_chains(self):
        return {"/" + p: f["clusters"] for p, f in self.vol.files.items()}

    def free_bytes(self):
        return self.vol.free_clusters() * self.cluster_size

    def cluster_offset(self, c):
        return self.vol.image_offset(c)

    def quick_format(self):
        self.vol.format()

    def check(self):
        """fsck.exfat on a copy of the partition (it reads whole devices only)."""
        part = self.image + ".part"
        with open(self.image, "rb") as f, open(part, "wb") as p:
            f.seek(self.offset)
            for block in iter(lambda: f.read(1 << 24), b""):
                p.write(block)
        r = subprocess.run(["fsck.exfat", "-n", part], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        os.remove(part)
        if r.returncode != 0:
            raise SystemExit("fsck.exfat found faults in the card:\n" + r.stdout.decode(errors="replace"))


CARDS = {"fat32": FatCard, "exfat": ExfatCard}
