#!/usr/bin/env python3
"""Writes a copy of a little-endian TIFF-based RAW file (a DNG) with a camera preview added: the
JPEG given, in a new IFD chained after the last one, between the old bytes and nothing else, so
the raw data stays where it was. Used by bench/thumbnails.sh to time a RAW file with a preview.
    raw_with_preview.py RAW JPEG WIDTH HEIGHT OUT"""
import struct
import sys


def main():
    raw_path, jpeg_path, width, height, out_path = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), sys.argv[5]
    data = bytearray(open(raw_path, 'rb').read())
    jpeg = open(jpeg_path, 'rb').read()
    if data[:4] != b'II*\0':
        sys.exit('not a little-endian TIFF: ' + raw_path)
    # The last IFD's next-IFD field is where the new IFD is hooked in.
    link = 4
    offset = struct.unpack_from('<I', data, 4)[0]
    while offset:
        count = struct.unpack_from('<H', data, offset)[0]
        link = offset + 2 + 12 * count
        offset = struct.unpack_from('<I', data, link)[0]
    if len(data) % 2:
        data += b'\0'
    ifd_at = len(data)
    entries = 9
    bps_at = ifd_at + 2 + 12 * entries + 4
    jpeg_at = bps_at + 6
    def entry(tag, kind, count, value):
        return struct.pack('<HHI', tag, kind, count) + (struct.pack('<HH', value, 0) if kind == 3 and count == 1
                                                       else struct.pack('<I', value))
    ifd = struct.pack('<H', entries) + b''.join([
        entry(254, 4, 1, 1), entry(256, 4, 1, width), entry(257, 4, 1, height), entry(258, 3, 3, bps_at),
        entry(259, 3, 1, 7), entry(262, 3, 1, 6), entry(273, 4, 1, jpeg_at), entry(277, 3, 1, 3),
        entry(279, 4, 1, len(jpeg))]) + struct.pack('<I', 0)
    struct.pack_into('<I', data, link, ifd_at)
    data += ifd + struct.pack('<HHH', 8, 8, 8) + jpeg
    open(out_path, 'wb').write(data)


main()
