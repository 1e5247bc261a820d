"""The few parts of a PE file the build's tools read: its data directories and
sections, and where an RVA lies in the file."""
import struct
import sys


class PeImage:
    def __init__(self, path, writable=False):
        self.data = bytearray(open(path, "rb").read()) if writable else open(path, "rb").read()
        data = self.data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            sys.exit("not a PE file: " + path)
        coff = pe + 4
        nsections = struct.unpack_from("<H", data, coff + 2)[0]
        opt_size = struct.unpack_from("<H", data, coff + 16)[0]
        opt = coff + 20
        self.pe32_plus = struct.unpack_from("<H", data, opt)[0] == 0x20B
        self.dirs = opt + (112 if self.pe32_plus else 96)
        # (name, rva, raw size, file offset) of each section.
        self.sections = []
        sec = opt + opt_size
        for _ in range(nsections):
            name = bytes(data[sec:sec + 8]).rstrip(b"\0").decode()
            _, va, rawsize, rawptr = struct.unpack_from("<IIII", data, sec + 8)
            self.sections.append((name, va, rawsize, rawptr))
            sec += 40

    def directory(self, index):
        """(rva, size) of data directory `index`."""
        return struct.unpack_from("<II", self.data, self.dirs + 8 * index)

    def offset(self, rva):
        """The file offset of `rva`, or None where the file holds no byte of it."""
        for _, va, rawsize, rawptr in self.sections:
            if va <= rva < va + rawsize:
                return rawptr + rva - va
        return None

    def cstring(self, rva):
        off = self.offset(rva)
        if off is None:
            return None
        end = self.data.find(b"\0", off)
        return bytes(self.data[off:end]).decode("ascii", "replace")
