"""PNG files for the benchmark scripts, written with the standard library only."""

import struct
import zlib


def png(width, height, rows, level=6):
    """An 8-bit RGB PNG of the given raw rows (filter byte included)."""
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xffffffff))
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows, level))
            + chunk(b"IEND", b""))


def noise_rows(width, height, random):
    """Rows of random RGB pixels, each behind filter byte 0: a picture no encoder can shrink."""
    return b"".join(b"\x00" + random.randbytes(width * 3) for _ in range(height))
