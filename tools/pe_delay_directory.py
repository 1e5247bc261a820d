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
import struct
import sys


def load(path):
    data = bytearray(open(path, "rb").read())
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        sys.exit("not a PE file: " + path)
    coff = pe + 4
    nsections = struct.unpack_from("<H", data, coff + 2)[0]
    opt_size = struct.unpack_from("<H", data, coff + 16)[0]
    opt = coff + 20
    magic = struct.unpack_from("<H", data, opt)[0]
    if magic != 0x20B:
        sys.exit("only PE32+ is handled")
    dirs = opt + 112
    sections = []
    sec = opt + opt_size
    for i in range(nsections):
        name = data[sec:sec + 8].rstrip(b"\0").decode()
        vsize, va, rawsize, rawptr = struct.unpack_from("<IIII", data, sec + 8)
        sections.append((name, va, max(vsize, rawsize), rawptr, rawsize))
        sec += 40

    def rva_to_off(rva):
        for name, va, size, rawptr, rawsize in sections:
            if va <= rva < va + rawsize:
                return rawptr + rva - va
        return None

    def cstring(rva):
        off = rva_to_off(rva)
        if off is None:
            return None
        end = data.find(b"\0", off)
        return data[off:end].decode("ascii", "replace")

    return data, dirs, sections, rva_to_off, cstring


def list_table(path):
    data, dirs, sections, rva_to_off, cstring = load(path)
    rva, size = struct.unpack_from("<II", data, dirs + 13 * 8)
    if rva == 0:
        print("no delay-import table")
        return 1
    off = rva_to_off(rva)
    while True:
        attrs, name, handle, iat, int_rva = struct.unpack_from("<IIIII", data, off)
        if name == 0:
            break
        funcs = []
        t = rva_to_off(int_rva)
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
    data, dirs, sections, rva_to_off, cstring = load(path)
    wanted = {d.lower() for d in dlls}
    found = {}
    for name, va, size, rawptr, rawsize in sections:
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
    end = rva_to_off(first + 32 * count)
    if data[end:end + 32] != b"\0" * 32:
        sys.exit("delay-load descriptors are not terminated")
    struct.pack_into("<II", data, dirs + 13 * 8, first, 32 * (count + 1))
    open(path, "wb").write(data)


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "--list":
        sys.exit(list_table(sys.argv[2]))
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2:])
