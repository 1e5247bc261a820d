#!/usr/bin/env python3
"""Prints the application manifest embedded in a PE file: the RT_MANIFEST resource
with id 1 (CREATEPROCESS_MANIFEST_RESOURCE_ID), the one Windows reads when it
starts the program.  Exits 1 when there is none.

Usage: pe_manifest.py EXE
"""
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from pe_image import PeImage  # noqa: E402

RT_MANIFEST = 24
CREATEPROCESS_MANIFEST = 1


def main(path):
    image = PeImage(path)
    data = image.data
    rsrc_rva, _ = image.directory(2)
    if rsrc_rva == 0:
        return None
    base = image.offset(rsrc_rva)

    def entries(offset):
        named, ids = struct.unpack_from("<HH", data, base + offset + 12)
        first = base + offset + 16
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", data, first + 8 * i)
            yield (None if name & 0x80000000 else name), target

    def child(offset, wanted):
        for name, target in entries(offset):
            if name == wanted and target & 0x80000000:
                return target & 0x7FFFFFFF
        return None

    types = child(0, RT_MANIFEST)
    names = child(types, CREATEPROCESS_MANIFEST) if types is not None else None
    if names is None:
        return None
    for _, target in entries(names):
        if target & 0x80000000:
            continue
        rva, size = struct.unpack_from("<II", data, base + target)
        off = image.offset(rva)
        return data[off:off + size]
    return None


if __name__ == "__main__":
    manifest = main(sys.argv[1])
    if manifest is None:
        print("no application manifest in " + sys.argv[1], file=sys.stderr)
        sys.exit(1)
    sys.stdout.write(manifest.decode("utf-8-sig", "replace"))
