#!/usr/bin/env python3
"""Points a MinGW-linked PE's delay-import data directory at its delay-load
descriptors.

GNU ld links delay-import libraries (dlltool --output-delaylib) correctly but
leaves data directory 13 empty, so tools that list delay imports (objdump -p,
dumpbin /imports) see none.  The descriptors themselves are contiguous in .text
(each library contributes one in .text$2, and src/app/DelayImportEnd.cpp puts the
zero terminator in .text$3); this script finds that run and records it.

Usage: pe_delay_directory.py EXE DLL [DLL...]   (fails when a named DLL has no descriptor)
       pe_delay_directory.py --list EXE          (prints the delay-import table: DLL and functions;
                                                  objdump 2.40 shows only the directory entry)
"""
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from pe_image import PeImage  # noqa: E402


def load(path):
    image = PeImage(path, writable=True)
    if not image.pe32_plus:
        sys.exit("only PE32+ is handled")
    return image


def list_table(path):
    image = load(path)
    data, cstring = image.data, image.cstring
    rva, size = image.directory(13)
    if rva == 0:
        print("no delay-import table")
        return 1
    off = image.offset(rva)
    while True:
        attrs, name, handle, iat, int_rva = struct.unpack_from("<IIIII", data, off)
        if name == 0:
            break
        funcs = []
        t = image.offset(int_rva)
        while True:
            entry = struct.unpack_from("<Q", data, t)[0]
            if entry == 0:
                break
            funcs.append(cstring((entry & 0x7FFFFFFF) + 2) if not entry >> 63 else "#%d" % (entry & 0xFFFF))
            t += 8
        print("%s: %s" % (cstring(name), " ".join(funcs)))
        off += 32
    return 0


def main(path, dlls):
    image = load(path)
    data, cstring = image.data, image.cstring
    wanted = {d.lower() for d in dlls}
    found = {}
    for name, va, rawsize, rawptr in image.sections:
        if name != ".text":
            continue
        for off in range(rawptr, rawptr + rawsize - 32, 4):
            attrs, dllname = struct.unpack_from("<II", data, off)
            if attrs != 1 or dllname == 0:
                continue
            text = cstring(dllname)
            if text and text.lower() in wanted:
                found[text.lower()] = va + off - rawptr
    missing = wanted - set(found)
    if missing:
        sys.exit("no delay-load descriptor for: " + ", ".join(sorted(missing)))
    first = min(found.values())
    count = len(found)
    # The run must be contiguous and end with an all-zero descriptor.
    for i in range(count):
        if first + 32 * i not in found.values():
            sys.exit("delay-load descriptors are not contiguous")
    end = image.offset(first + 32 * count)
    if data[end:end + 32] != b"\0" * 32:
        sys.exit("delay-load descriptors are not terminated")
    struct.pack_into("<II", data, image.dirs + 13 * 8, first, 32 * (count + 1))
    open(path, "wb").write(data)


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "--list":
        sys.exit(list_table(sys.argv[2]))
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2:])
