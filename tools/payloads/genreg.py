#!/usr/bin/env python3
"""Writes the registry scripts under src/fileassoc/payloads from their readable sources.

A source file (*.regsrc) lists the operations of one script in the order they run:

    # a note for reviewers (dropped)
    ; a comment line that is copied into the script
    [-HKCR\\.bat]                         delete a key with its subtree
    [HKCR\\.bat]                          create a key; value lines follow
    @="batfile"                          REG_SZ (default value)
    "Content Type"="text/plain"          REG_SZ; inside quotes only \\" is an escape
    "FriendlyTypeName"=expand:"@%SystemRoot%\\System32\\acppage.dll,-6002"
    "EditFlags"=hex:30 04 00 00          REG_BINARY (blanks or commas between bytes)
    "X"=dword:00000080                   REG_DWORD
    "CABFolder"=none                     REG_NONE with no data
    "29"=-                               delete a value
    !knownfolders knownfolders.csv       the known-folder section (see knownfolders.py)

Roots may be abbreviated HKCR, HKCU, HKLM; UserFileExts and RoamingFileExts stand for
the two per-user choice keys.  Texts are written exactly as they read: backslashes are
doubled only in the output.  Each operation becomes one section of the script; the
sections are separated by one empty line, and long hex data wraps as reg.exe export
wraps it.

Usage: genreg.py [--check] [SOURCE...]   (default: every *.regsrc beside this file)
--check compares instead of writing and exits 1 when a committed script is stale.
"""
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import knownfolders  # noqa: E402
from regformat import expand_lines, hex_lines, quote_text  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
OUT_DIR = os.path.normpath(os.path.join(HERE, "..", "..", "src", "fileassoc", "payloads"))
HEADER = "Windows Registry Editor Version 5.00"

ROOTS = {
    "HKCR": "HKEY_CLASSES_ROOT",
    "HKCU": "HKEY_CURRENT_USER",
    "HKLM": "HKEY_LOCAL_MACHINE",
    "UserFileExts": "HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts",
    "RoamingFileExts": "HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows\\Roaming\\OpenWith\\FileExts",
}
FULL_ROOTS = ("HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE")


class SourceError(Exception):
    pass


def expand_key(path):
    head, sep, rest = path.partition("\\")
    if head in ROOTS:
        head = ROOTS[head]
    if head.split("\\")[0] not in FULL_ROOTS:
        raise SourceError("key outside the three roots: " + path)
    return head + sep + rest


def parse_text(raw, where):
    if len(raw) < 2 or raw[0] != '"' or raw[-1] != '"':
        raise SourceError(where + ": text must be in quotation marks: " + raw)
    return raw[1:-1].replace('\\"', '"')


def value_lines(line, where):
    if line.startswith("@="):
        name, data = None, line[2:]
    else:
        m = re.match(r'^"((?:[^"\\]|\\.)*)"=(.*)$', line)
        if not m:
            raise SourceError(where + ": not a value line: " + line)
        name, data = m.group(1).replace('\\"', '"'), m.group(2)
    prefix = "@=" if name is None else quote_text(name) + "="
    if data == "-":
        if name is None:
            raise SourceError(where + ": the default value is never deleted")
        return [prefix + "-"]
    if data.startswith('"'):
        return [prefix + quote_text(parse_text(data, where))]
    if data.startswith("expand:"):
        text = parse_text(data[len("expand:"):], where)
        return expand_lines(prefix, text)
    if data.startswith("dword:"):
        digits = data[len("dword:"):]
        if not re.fullmatch(r"[0-9a-fA-F]{8}", digits):
            raise SourceError(where + ": dword needs eight hex digits: " + data)
        return [prefix + "dword:" + digits.lower()]
    if data.startswith("hex:"):
        parts = [p for p in re.split(r"[ ,]+", data[4:].strip()) if p]
        if not parts or not all(re.fullmatch(r"[0-9a-fA-F]{2}", p) for p in parts):
            raise SourceError(where + ": bad binary data: " + data)
        return hex_lines(prefix + "hex:", bytes(int(p, 16) for p in parts))
    if data == "none":
        return [prefix + "hex(0):"]
    raise SourceError(where + ": unknown data form: " + data)


def render(source_path):
    """Returns the script's lines (without line ends)."""
    sections = []      # each a list of lines
    comments = []      # ';' lines waiting for the next section
    current = None
    try:
        with open(source_path, encoding="ascii") as f:
            source_lines = f.readlines()
    except UnicodeDecodeError:
        raise SourceError("non-ASCII text in " + source_path)
    if True:
        for number, raw in enumerate(source_lines, 1):
            line = raw.rstrip("\r\n")
            where = "%s:%d" % (os.path.basename(source_path), number)
            stripped = line.strip()
            if not stripped or stripped.startswith("#"):
                continue
            if stripped.startswith(";"):
                comments.append(stripped)
                continue
            if stripped.startswith("!knownfolders "):
                table = os.path.join(os.path.dirname(source_path), stripped.split(None, 1)[1])
                for section in knownfolders.sections(table):
                    sections.append(comments + section)
                    comments = []
                current = None
                continue
            if stripped.startswith("["):
                if not stripped.endswith("]"):
                    raise SourceError(where + ": unterminated key line")
                inner = stripped[1:-1]
                delete = inner.startswith("-")
                key = expand_key(inner[1:] if delete else inner)
                current = comments + [("[-" if delete else "[") + key + "]"]
                comments = []
                sections.append(current)
                if delete:
                    current = None
                continue
            if current is None:
                raise SourceError(where + ": value line outside a key section")
            current.extend(value_lines(stripped, where))
    if comments:
        raise SourceError(source_path + ": comment lines after the last operation")
    out = [HEADER, "", ""]
    for section in sections:
        out.append("")
        out.extend(section)
    for line in out:
        if any(ord(c) > 126 or (ord(c) < 32 and c != "\t") for c in line):
            raise SourceError("non-ASCII text in " + source_path)
    return out


def target_for(source_path):
    name = os.path.splitext(os.path.basename(source_path))[0]
    return os.path.join(OUT_DIR, name + ".reg")


def main(argv):
    check = "--check" in argv
    sources = [a for a in argv if not a.startswith("--")]
    if not sources:
        sources = sorted(os.path.join(HERE, n) for n in os.listdir(HERE) if n.endswith(".regsrc"))
    stale = []
    for src in sources:
        text = "\n".join(render(src)) + "\n"
        target = target_for(src)
        if check:
            try:
                with open(target, encoding="ascii", newline="") as f:
                    if f.read() != text:
                        stale.append(target)
            except FileNotFoundError:
                stale.append(target)
        else:
            with open(target, "w", encoding="ascii", newline="") as f:
                f.write(text)
    if stale:
        print("out of date (run tools/payloads/genreg.py):", *stale, sep="\n  ")
        return 1
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv[1:]))
    except Exception as e:  # SourceError, or a table error of knownfolders.py
        if type(e).__name__ not in ("SourceError", "TableError"):
            raise
        print("genreg:", e, file=sys.stderr)
        sys.exit(2)
