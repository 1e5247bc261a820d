#!/usr/bin/env python3
"""Prints how many known-folder definitions carry each value, for review of the table.

Usage: count_knownfolders.py [TABLE]   (default: knownfolders.csv beside this file)
"""
import collections
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import knownfolders  # noqa: E402


def main(argv):
    table = argv[0] if argv else os.path.join(os.path.dirname(os.path.abspath(__file__)), "knownfolders.csv")
    folders = knownfolders.load(table)
    counts = collections.Counter()
    for keys in folders.values():
        for subkey, values in keys.items():
            for name in values:
                counts[(subkey, name)] += 1
    bags = sum(1 for keys in folders.values() if "PropertyBag" in keys)
    print("definitions: %d, with PropertyBag: %d" % (len(folders), bags))
    for (subkey, name), n in sorted(counts.items(), key=lambda kv: (kv[0][0], -kv[1], kv[0][1].lower())):
        print("%-12s %-22s %4d" % (subkey or "(key)", name, n))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
