"""Writes exFAT volumes into image files without mounting them, the way cameras and computers
lay them out: boot region with its checksum (and the backup), one FAT, the allocation bitmap,
the up-case table and the root directory in the first clusters, then files and folders as entry
sets with their checksums and name hashes. Contiguous files carry NoFatChain and no FAT chain;
a file whose clusters are not in a row gets a chain. Deletion clears the in-use bits of the
entry set and the file's bitmap bits and chain, leaving its data, as a camera does. format()
over a used volume is a quick format: new metadata, the old data area left as it was.
Checked with fsck.exfat by bench/check_exfat.py."""

import struct

SECTOR = 512
ENTRY = 32


def _rotating_sum(data, bits, skip=()):
    """exFAT's checksums: rotate right by one, add the next byte (the skipped ones left out)."""
    s = 0
    mask = (1 << bits) - 1
    for i, b in enumerate(data):
        if i in skip:
            continue
        s = (((s & 1) << (bits - 1)) | (s >> 1)) + b & mask
    return s


def _sum32(data, skip=()):
    return _rotating_sum(data, 32, skip)


def _sum16(data, skip=()):
    return _rotating_sum(data, 16, skip)


def _upcase_table():
    """Compressed up-case table: identity runs and the mapping of a-z (names here are ASCII)."""
    out = struct.pack("<HH", 0xFFFF, 0x61)
    out += b"".join(struct.pack("<H", c - 32) for c in range(0x61, 0x7B))
    out += struct.pack("<HH", 0xFFFF, 0x10000 - 0x7B)
    return out


def _upcase(name):
    return "".join(c.upper() if "a" <= c <= "z" else c for c in name)


def name_hash(name):
    return _sum16(_upcase(name).encode("utf-16-le", "surrogatepass"))


class ExfatError(Exception):
    pass


class Volume:
    def __init__(self, image, offset, size, cluster_size, fat_offset_sectors=128, label="TESSERA"):
        self.image = image
        self.offset = offset
        self.size = size
        self.cs = cluster_size
        self.spc = cluster_size // SECTOR
        self.fat_offset = fat_offset_sectors
        self.label = label
        total = size // SECTOR
        cc = (total - fat_offset_sectors) // self.spc
        while True:
            self.fat_length = ((cc + 2) * 4 + SECTOR - 1) // SECTOR
            heap = fat_offset_sectors + self.fat_length
            self.heap = (heap + self.spc - 1) // self.spc * self.spc
            n = (total - self.heap) // self.spc
            if n >= cc:
                break
            cc = n
        self.cc = cc
        self.hint = 2

    # Low-level I/O
    def _write(self, pos, data):
        with open(self.image, "r+b") as f:
            f.seek(self.offset + pos)
            f.write(data)

    def _read(self, pos, n):
        with open(self.image, "rb") as f:
            f.seek(self.offset + pos)
            return f.read(n)

    def cluster_pos(self, c):
        return (self.heap + (c - 2) * self.spc) * SECTOR

    def image_offset(self, c):
        """Byte offset of cluster c in the image."""
        return self.offset + self.cluster_pos(c)

    def _boot_region(self):
        bs = bytearray(SECTOR)
        bs[0:3] = b"\xEB\x76\x90"
        bs[3:11] = b"EXFAT   "
        struct.pack_into("<QQIIIIIIHHBBBBB", bs, 64, self.offset // SECTOR, self.size // SECTOR,
                         self.fat_offset, self.fat_length, self.heap, self.cc, self.root, 0x54455353,
                         0x0100, 0, 9, self.spc.bit_length() - 1, 1, 0x80, 0)
        bs[510:512] = b"\x55\xAA"
        region = bytes(bs)
        ext = bytearray(SECTOR)
        ext[508:512] = b"\x00\x00\x55\xAA"
        region += bytes(ext) * 8 + bytes(SECTOR) * 2
        s = _sum32(region, skip=(106, 107, 112))
        return region + struct.pack("<I", s) * (SECTOR // 4)

    def _alloc_run(self, n):
        """n free clusters, first fit from the allocator's hint onwards (wrapping)."""
        if n > self.free_clusters():
            raise ExfatError("volume full")
        self.free -= n
        c = self.hint if 2 <= self.hint < self.cc + 2 else 2
        out = []
        while len(out) < n:
            if c >= self.cc + 2:
                c = 2
            if not self.used[c - 2]:
                out.append(c)
                self.used[c - 2] = True
                self.bits[(c - 2) >> 3] |= 1 << ((c - 2) & 7)
            c += 1
        self.hint = out[-1] + 1
        return out

    def free_clusters(self):
        return self.free

    def format(self):
        """Writes an empty volume (or quick-formats a used one: the data area is left alone)."""
        self.used = [False] * self.cc
        self.bits = bytearray((self.cc + 7) // 8)
        self.free = self.cc
        self.fat = [0] * (self.cc + 2)
        self.fat[0], self.fat[1] = 0xFFFFFFF8, 0xFFFFFFFF
        self.hint = 2
        bitmap_bytes = (self.cc + 7) // 8
        up = _upcase_table()
        self.bitmap_clusters = self._alloc_run((bitmap_bytes + self.cs - 1) // self.cs)
        self.upcase_clusters = self._alloc_run((len(up) + self.cs - 1) // self.cs)
        root = self._alloc_run(1)
        self.root = root[0]
        for chain in (self.bitmap_clusters, self.upcase_clusters, root):
            self._chain(chain)
        region = self._boot_region()
        self._write(0, region)
        self._write(12 * SECTOR, region)
        self._write(self.fat_offset * SECTOR, bytes(self.fat_length * SECTOR))
        self._write(self.cluster_pos(self.upcase_clusters[0]), up)
        label = self.label.encode("utf-16-le")[:22]
        entries = bytearray(3 * ENTRY)
        entries[0] = 0x83
        entries[1] = len(label) // 2
        entries[2:2 + len(label)] = label
        struct.pack_into("<BB18xIQ", entries, ENTRY, 0x81, 0, self.bitmap_clusters[0], bitmap_bytes)
        struct.pack_into("<B3xI12xIQ", entries, 2 * ENTRY, 0x82, _sum32(up), self.upcase_clusters[0], len(up))
        self.dirs = {"": {"clusters": root, "data": bytearray(self.cs), "entry": None}}
        self.dirs[""]["data"][0:len(entries)] = entries
        self.files = {}
        self._flush_dir("")
        self.flush()

    def _chain(self, clusters):
        for a, b in zip(clusters, clusters[1:]):
            self.fat[a] = b
        if clusters:
            self.fat[clusters[-1]] = 0xFFFFFFFF

    def flush(self):
        """Writes the FAT and the bitmap."""
        self._write(self.fat_offset * SECTOR, struct.pack("<%dI" % len(self.fat), *self.fat))
        self._write(self.cluster_pos(self.bitmap_clusters[0]), bytes(self.bits))

    def _flush_dir(self, path):
        d = self.dirs[path]
        data = d["data"]
        for i, c in enumerate(d["clusters"]):
            self._write(self.cluster_pos(c), bytes(data[i * self.cs:(i + 1) * self.cs]))

    @staticmethod
    def _contiguous(clusters):
        return all(b == a + 1 for a, b in zip(clusters, clusters[1:]))

    def _entry_set(self, name, attributes, first, length, contiguous, stamp=0x58A25000, utc_offset=0,
                   centiseconds=0):
        """stamp: created, modified and accessed time (default 2024-05-02 10:00:00), with its UTC
        offset byte (0: none given) and the 10 ms count (0 to 199) of created and modified."""
        units = name.encode("utf-16-le", "surrogatepass")  # crafted names may hold lone surrogates
        n_names = (len(units) // 2 + 14) // 15
        s = bytearray((2 + n_names) * ENTRY)
        struct.pack_into("<BBHH2xIII", s, 0, 0x85, 1 + n_names, 0, attributes, stamp, stamp, stamp)
        s[20:22] = bytes([centiseconds] * 2)
        s[22:25] = bytes([utc_offset] * 3)
        flags = 0x01 | (0x02 if contiguous else 0)
        struct.pack_into("<BBxBH2xQ4xIQ", s, ENTRY, 0xC0, flags, len(units) // 2, name_hash(name),
                         length, first, length)
        for i in range(n_names):
            part = units[i * 30:(i + 1) * 30]
            s[(2 + i) * ENTRY] = 0xC1
            s[(2 + i) * ENTRY + 2:(2 + i) * ENTRY + 2 + len(part)] = part
        struct.pack_into("<H", s, 2, _sum16(s, skip=(2, 3)))
        return s

    def _place(self, parent, entry_set):
        """Puts an entry set in the first free run of slots of the folder (growing it as
        needed); returns its byte offset in the folder."""
        d = self.dirs[parent]
        data = d["data"]
        need = len(entry_set)
        pos = 0
        while True:
            run = 0
            while pos + run < len(data) and run < need and data[pos + run] & 0x80 == 0:
                run += ENTRY
            if run >= need:
                break
            if pos + run >= len(data):
                self._grow(parent)
                data = d["data"]
                continue
            pos += run + ENTRY
        data[pos:pos + need] = entry_set
        self._flush_dir(parent)
        return pos

    def _grow(self, path):
        d = self.dirs[path]
        d["clusters"] += self._alloc_run(1)
        d["data"] += bytearray(self.cs)
        self._update_stream(path)

    def _update_stream(self, path):
        """Rewrites a folder's own entry after it grew (length, chain or NoFatChain)."""
        d = self.dirs[path]
        clusters = d["clusters"]
        contiguous = self._contiguous(clusters)
        if path == "":
            self._chain(clusters)
            return
        if not contiguous:
            self._chain(clusters)
        parent, pos, count = d["entry"]
        data = self.dirs[parent]["data"]
        st = pos + ENTRY
        data[st + 1] = 0x01 | (0x02 if contiguous else 0)
        struct.pack_into("<Q", data, st + 8, len(clusters) * self.cs)
        struct.pack_into("<Q", data, st + 24, len(clusters) * self.cs)
        struct.pack_into("<H", data, pos + 2, _sum16(data[pos:pos + count * ENTRY], skip=(2, 3)))
        self._flush_dir(parent)

    def mkdir(self, path):
        parent, name = path.rsplit("/", 1) if "/" in path else ("", path)
        c = self._alloc_run(1)
        self._write(self.cluster_pos(c[0]), bytes(self.cs))
        s = self._entry_set(name, 0x10, c[0], self.cs, True)
        pos = self._place(parent, s)
        self.dirs[path] = {"clusters": c, "data": bytearray(self.cs), "entry": (parent, pos, len(s) // ENTRY)}
        self.flush()

    def add_file(self, path, data, hint=None, stamp=0x58A25000, utc_offset=0, centiseconds=0):
        """Writes a file; returns its clusters. hint: where the allocator starts looking; stamp,
        utc_offset and centiseconds: its times (see _entry_set)."""
        parent, name = path.rsplit("/", 1) if "/" in path else ("", path)
        if hint is not None:
            self.hint = hint
        n = (len(data) + self.cs - 1) // self.cs
        clusters = self._alloc_run(n)
        contiguous = self._contiguous(clusters)
        for i, c in enumerate(clusters):
            self._write(self.cluster_pos(c), data[i * self.cs:(i + 1) * self.cs])
        if not contiguous:
            self._chain(clusters)
        s = self._entry_set(name, 0x20, clusters[0], len(data), contiguous, stamp, utc_offset, centiseconds)
        pos = self._place(parent, s)
        self.files[path] = {"clusters": clusters, "entry": (parent, pos, len(s) // ENTRY)}
        self.flush()
        return clusters

    def delete(self, path):
        f = self.files.pop(path)
        parent, pos, count = f["entry"]
        data = self.dirs[parent]["data"]
        for i in range(count):
            data[pos + i * ENTRY] &= 0x7F
        for c in f["clusters"]:
            self.used[c - 2] = False
            self.bits[(c - 2) >> 3] &= ~(1 << ((c - 2) & 7)) & 0xFF
            self.fat[c] = 0
        self.free += len(f["clusters"])
        self._flush_dir(parent)
        self.flush()
