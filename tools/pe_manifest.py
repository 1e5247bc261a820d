#!/usr/bin/env python3
"""Prints the application manifest embedded in a PE file: the RT_MANIFEST resource
with id 1 (CREATEPROCESS_MANIFEST_RESOURCE_ID), the one Windows reads when it
starts the program.  Exits 1 when there is none.

Usage: pe_manifest.py EXE
"""
import struct
import sys

RT_MANIFEST = 24
CREATEPROCESS_MANIFEST = 1


def main(path):
    data = open(path, "rb").read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        sys.exit("not a PE file: " + path)
    coff = pe + 4
    nsections = struct.unpack_from("<H", data, coff + 2)[0]
    opt_size = struct.unpack_from("<H", data, coff + 16)[0]
    opt = coff + 20
    magic = struct.unpack_from("<H", data, opt)[0]
    dirs = opt + (112 if magic == 0x20B else 96)
    sections = []
    sec = opt + opt_size
    for _ in range(nsections):
        vsize, va, rawsize, rawptr = struct.unpack_from("<IIII", data, sec + 8)
        sections.append((va, max(vsize, rawsize), rawptr))
        sec += 40

    def rva_to_off(rva):
        for va, size, rawptr in sections:
            if va <= rva < va + size:
                return rawptr + rva - va
        return None

    rsrc_rva, rsrc_size = struct.unpack_from("<II", data, dirs + 2 * 8)
    if rsrc_rva == 0:
        return None
    base = rva_to_off(rsrc_rva)

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
        off = rva_to_off(rva)
        return data[off:off + size]
    return None


if __name__ == "__main__":
    manifest = main(sys.argv[1])
    if manifest is None:
        print("no application manifest in " + sys.argv[1], file=sys.stderr)
        sys.exit(1)
    sys.stdout.write(manifest.decode("utf-8-sig", "replace"))
