"""Turns the known-folder table (knownfolders.csv) into registry-script sections.

The table has one row per folder and value:

    id,subkey,value,type,data
    {B4BFCC3A-DB2C-424C-B029-7FE99A87C641},,Category,REG_DWORD,00000004
    {B4BFCC3A-DB2C-424C-B029-7FE99A87C641},PropertyBag,NoCustomize,REG_DWORD,00000001

id is the folder's identifier exactly as the key is to be named; subkey is empty for the
folder's own key or PropertyBag; type is REG_SZ, REG_EXPAND_SZ or REG_DWORD (eight hex
digits).  Texts are written as they read, with single backslashes.  Row order in the
table does not matter: the sections come out sorted, so a reviewer can add a row
anywhere without disturbing the script.
"""
import csv
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from regformat import expand_lines, quote_text  # noqa: E402

BASE_KEY = ("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion"
            "\\Explorer\\FolderDescriptions")
COLUMNS = ["id", "subkey", "value", "type", "data"]
TYPES = ("REG_SZ", "REG_EXPAND_SZ", "REG_DWORD")
SUBKEYS = ("", "PropertyBag")
GUID = re.compile(r"\{[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}\}")


class TableError(Exception):
    pass


def load(csv_path):
    """Returns {id: {subkey: {value name: (type, data)}}} after checking every row."""
    folders = {}
    with open(csv_path, encoding="ascii", newline="") as f:
        reader = csv.reader(f)
        header = next(reader, None)
        if header != COLUMNS:
            raise TableError("%s: the header must be %s" % (csv_path, ",".join(COLUMNS)))
        for number, row in enumerate(reader, 2):
            where = "%s:%d" % (os.path.basename(csv_path), number)
            if not row:
                continue
            if len(row) != len(COLUMNS):
                raise TableError("%s: expected %d columns, found %d" % (where, len(COLUMNS), len(row)))
            gid, subkey, name, vtype, data = row
            if not GUID.fullmatch(gid):
                raise TableError("%s: not a braced GUID: %r" % (where, gid))
            if subkey not in SUBKEYS:
                raise TableError("%s: subkey must be empty or PropertyBag: %r" % (where, subkey))
            if not name:
                raise TableError("%s: empty value name" % where)
            if vtype not in TYPES:
                raise TableError("%s: unknown type %r" % (where, vtype))
            if vtype == "REG_DWORD" and not re.fullmatch(r"[0-9a-fA-F]{8}", data):
                raise TableError("%s: a REG_DWORD needs eight hex digits: %r" % (where, data))
            # Identifiers differ in letter case between folders, so a second spelling
            # of the same GUID would silently become the same registry key.
            for other in folders:
                if other.lower() == gid.lower() and other != gid:
                    raise TableError("%s: %s is already spelled %s" % (where, gid, other))
            values = folders.setdefault(gid, {}).setdefault(subkey, {})
            if any(n.lower() == name.lower() for n in values):
                raise TableError("%s: %s has %r twice" % (where, gid, name))
            values[name] = (vtype, data)
    check(folders, csv_path)
    return folders


def check(folders, csv_path):
    """Rules that span rows: what every definition needs and what it may point at."""
    for gid, keys in folders.items():
        own = keys.get("")
        if own is None:
            raise TableError("%s: %s has PropertyBag values but no key of its own" % (csv_path, gid))
        for required in ("Name", "Category"):
            if required not in own:
                raise TableError("%s: %s has no %s" % (csv_path, gid, required))
        vtype, data = own["Category"]
        if vtype != "REG_DWORD" or not 1 <= int(data, 16) <= 4:
            raise TableError("%s: %s: Category must be a REG_DWORD from 1 to 4" % (csv_path, gid))
        if "ParentFolder" in own:
            parent = own["ParentFolder"][1]
            if parent not in folders:
                raise TableError("%s: %s: ParentFolder %s is not in the table" % (csv_path, gid, parent))


def value_lines(name, vtype, data):
    prefix = quote_text(name) + "="
    if vtype == "REG_SZ":
        return [prefix + quote_text(data)]
    if vtype == "REG_EXPAND_SZ":
        return expand_lines(prefix, data)
    return [prefix + "dword:" + data.lower()]


def sections(csv_path):
    """The script sections for the table: each folder key in ascending order of its
    identifier (letter case ignored), its PropertyBag right after it, and the values
    of a key in ascending order of their names."""
    folders = load(csv_path)
    out = []
    for gid in sorted(folders, key=str.lower):
        for subkey in SUBKEYS:
            values = folders[gid].get(subkey)
            if values is None:
                continue
            key = BASE_KEY + "\\" + gid + ("\\" + subkey if subkey else "")
            lines = ["[" + key + "]"]
            for name in sorted(values, key=str.lower):
                lines.extend(value_lines(name, *values[name]))
            out.append(lines)
    return out
