"""Reads a FAT16/FAT32 volume inside an image file: boot sector, FAT, directory tree and the
cluster chain of every live file. Used by the card benchmark to record where each file's bytes
lie before it is deleted. Read-only; every field read from the image is bounds-checked."""

import struct


class FatError(Exception):
    pass


class Volume:
    def __init__(self, image_path, offset=0):
        self.path = image_path
        self.offset = offset  # byte offset of the volume in the image
        with open(image_path, "rb") as f:
            f.seek(offset)
            bs = f.read(512)
            if len(bs) < 512 or bs[510:512] != b"\x55\xaa":
                raise FatError("no FAT boot sector at offset %d" % offset)
            (self.bytes_per_sector,) = struct.unpack_from("<H", bs, 11)
            self.sectors_per_cluster = bs[13]
            self.reserved, = struct.unpack_from("<H", bs, 14)
            self.fat_count = bs[16]
            self.root_entries, = struct.unpack_from("<H", bs, 17)
            total16, = struct.unpack_from("<H", bs, 19)
            fat16_size, = struct.unpack_from("<H", bs, 22)
            total32, = struct.unpack_from("<I", bs, 32)
            bps = self.bytes_per_sector
            if bps not in (512, 1024, 2048, 4096) or self.sectors_per_cluster == 0 \
                    or self.fat_count == 0 or self.reserved == 0:
                raise FatError("implausible boot sector")
            self.total_sectors = total16 or total32
            if fat16_size:
                self.fat_sectors = fat16_size
                self.root_cluster = 0
            else:
                self.fat_sectors, = struct.unpack_from("<I", bs, 36)
                self.root_cluster, = struct.unpack_from("<I", bs, 44)
                self.fsinfo_sector, = struct.unpack_from("<H", bs, 48)
            root_sectors = (self.root_entries * 32 + bps - 1) // bps
            self.root_dir_offset = offset + (self.reserved + self.fat_count * self.fat_sectors) * bps
            self.data_offset = self.root_dir_offset + root_sectors * bps
            data_sectors = self.total_sectors - (self.data_offset - offset) // bps
            self.cluster_count = data_sectors // self.sectors_per_cluster
            if self.cluster_count < 4085:
                raise FatError("FAT12 volumes are not supported")
            self.is_fat32 = self.cluster_count >= 65525
            if self.is_fat32 != (fat16_size == 0):
                raise FatError("FAT type and cluster count disagree")
            self.cluster_size = bps * self.sectors_per_cluster
            f.seek(offset + self.reserved * bps)
            raw = f.read(self.fat_sectors * bps)
            if len(raw) < self.fat_sectors * bps:
                raise FatError("image ends inside the FAT")
        n = self.cluster_count + 2
        if self.is_fat32:
            need = n * 4
            self.fat = [v & 0x0FFFFFFF for v in struct.unpack_from("<%dI" % n, raw[:need])]
            self.eoc = 0x0FFFFFF8
        else:
            self.fat = list(struct.unpack_from("<%dH" % n, raw[:n * 2]))
            self.eoc = 0xFFF8

    def cluster_offset(self, cluster):
        return self.data_offset + (cluster - 2) * self.cluster_size

    def chain(self, first):
        """The clusters of a chain from `first`; stops at the end mark, a free or bad entry, an
        out-of-range value or a loop."""
        out = []
        seen = set()
        c = first
        while 2 <= c < self.cluster_count + 2 and c not in seen:
            out.append(c)
            seen.add(c)
            nxt = self.fat[c]
            if nxt >= self.eoc or nxt < 2:
                break
            c = nxt
        return out

    def free_clusters(self):
        return sum(1 for v in self.fat[2:] if v == 0)

    def _read_dir(self, f, cluster):
        if cluster == 0:  # FAT16 fixed root
            f.seek(self.root_dir_offset)
            return f.read(self.root_entries * 32)
        parts = []
        for c in self.chain(cluster):
            f.seek(self.cluster_offset(c))
            parts.append(f.read(self.cluster_size))
        return b"".join(parts)

    def files(self):
        """Every live file as (path, first cluster, size), walking the tree from the root."""
        out = []
        with open(self.path, "rb") as f:
            todo = [("", self.root_cluster if self.is_fat32 else 0)]
            visited = set()
            while todo:
                prefix, cluster = todo.pop()
                if cluster in visited:
                    continue
                visited.add(cluster)
                data = self._read_dir(f, cluster)
                lfn = {}
                for pos in range(0, len(data) - 31, 32):
                    e = data[pos:pos + 32]
                    if e[0] == 0:
                        break
                    if e[0] == 0xE5:
                        lfn = {}
                        continue
                    attr = e[11]
                    if attr == 0x0F:
                        seq = e[0] & 0x1F
                        chars = e[1:11] + e[14:26] + e[28:32]
                        lfn[seq] = chars
                        continue
                    if attr & 0x08:  # volume label
                        lfn = {}
                        continue
                    if lfn:
                        raw = b"".join(lfn[k] for k in sorted(lfn))
                        name = raw.decode("utf-16-le", "replace").split("\x00")[0]
                    else:
                        base = e[0:8].decode("latin-1").rstrip()
                        ext = e[8:11].decode("latin-1").rstrip()
                        name = base + ("." + ext if ext else "")
                    lfn = {}
                    if name in (".", ".."):
                        continue
                    first = (struct.unpack_from("<H", e, 20)[0] << 16) | struct.unpack_from("<H", e, 26)[0]
                    size, = struct.unpack_from("<I", e, 28)
                    path = prefix + "/" + name
                    if attr & 0x10:
                        if first >= 2:
                            todo.append((path, first))
                    else:
                        out.append((path, first, size))
        return out

    def set_next_free_hint(self, cluster):
        """Points the FAT32 FSInfo next-free hint at `cluster`, so the next allocation starts
        right after it (as a camera's allocator resuming from some position would)."""
        if not self.is_fat32:
            raise FatError("no FSInfo on FAT16")
        pos = self.offset + self.fsinfo_sector * self.bytes_per_sector
        with open(self.path, "r+b") as f:
            f.seek(pos)
            s = bytearray(f.read(512))
            if s[0:4] != b"RRaA" or s[484:488] != b"rrAa":
                raise FatError("no FSInfo signature")
            struct.pack_into("<I", s, 0x1EC, cluster)
            f.seek(pos)
            f.write(s)


def runs(clusters):
    """Clusters as a list of [first, count] runs of consecutive numbers."""
    out = []
    for c in clusters:
        if out and out[-1][0] + out[-1][1] == c:
            out[-1][1] += 1
        else:
            out.append([c, 1])
    return out
