#!/usr/bin/env python3
"""The release packaging on stand-in programs (no build needed): a fresh package
passes the release check, the same inputs give the same bytes whatever the
files' times, and the check finds each fault a broken package could carry."""
import hashlib
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
sys.path.insert(0, HERE)
import check_package  # noqa: E402

# A stand-in: the packaging takes whatever version the build says.
VERSION = "1.2.3"
ZIP = f"Korvane-{VERSION}-win64.zip"
EPOCH = 1767225600  # 2026-01-01
INSTALLER = os.path.join("winget", "Korvane.Korvane.installer.yaml")
VERSION_MANIFEST = os.path.join("winget", "Korvane.Korvane.yaml")
SCOOP = os.path.join("scoop", "korvane.json")


def package(programs, out, epoch=EPOCH):
    subprocess.run([sys.executable, os.path.join(ROOT, "tools", "release", "package.py"),
                    "--version", VERSION, "--release-page", "https://korvane.example.com/releases",
                    "--epoch", str(epoch), "--programs", programs, "--docs", ROOT, "--out", out],
                   check=True, stdout=subprocess.DEVNULL)


def tree(folder):
    files = {}
    for base, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(base, name)
            with open(path, "rb") as f:
                files[os.path.relpath(path, folder)] = f.read()
    return files


# ---------------------------------------------------------------- faults
def edit(path, old, new):
    with open(path, encoding="utf-8") as f:
        text = f.read()
    assert old in text, f"{old!r} is not in {path}: the fault would not be planted"
    with open(path, "w", encoding="utf-8") as f:
        f.write(text.replace(old, new, 1))


def edit_json(path, change):
    with open(path, encoding="utf-8") as f:
        doc = json.load(f)
    change(doc)
    with open(path, "w", encoding="utf-8") as f:
        json.dump(doc, f)


def rezip(dist, change):
    """Rewrites the zip with change(entries) applied, keeping everything else."""
    path = os.path.join(dist, ZIP)
    with zipfile.ZipFile(path) as z:
        entries = {n: z.read(n) for n in z.namelist()}
    change(entries)
    with zipfile.ZipFile(path, "w") as z:
        for name, data in entries.items():
            z.writestr(name, data)


def zip_hash(dist):
    with open(os.path.join(dist, ZIP), "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


FAULTS = [
    ("winget hash of another file",
     lambda d: edit(os.path.join(d, INSTALLER), zip_hash(d).upper(), "AB" * 32),
     "InstallerSha256"),
    ("Scoop hash of another file",
     lambda d: edit_json(os.path.join(d, SCOOP), lambda j: j.update(hash="ab" * 32)),
     "scoop: hash"),
    ("Scoop names another version",
     lambda d: edit_json(os.path.join(d, SCOOP), lambda j: j.update(version="1.2.2")),
     "scoop: version"),
    ("winget version manifest names another version",
     lambda d: edit(os.path.join(d, VERSION_MANIFEST), f'PackageVersion: "{VERSION}"', 'PackageVersion: "1.2.2"'),
     "PackageVersion"),
    ("winget alias renamed",
     lambda d: edit(os.path.join(d, INSTALLER), '"korvanecli"', '"korvane-cli"'),
     "installs"),
    ("winget installs a file the zip does not hold",
     lambda d: edit(os.path.join(d, INSTALLER), '"KorvaneCli.exe"', '"bin/KorvaneCli.exe"'),
     "not all in the zip"),
    ("window no longer needs elevation",
     lambda d: edit(os.path.join(d, INSTALLER), "ElevationRequirement: elevationRequired\n", ""),
     "ElevationRequirement"),
    ("winget YAML broken",
     lambda d: edit(os.path.join(d, INSTALLER), "InstallerType: zip", "InstallerType: [zip"),
     "is not YAML"),
    ("Scoop JSON broken",
     lambda d: edit(os.path.join(d, SCOOP), "{", "{,"),
     "is not JSON"),
    ("Scoop shims only the window",
     lambda d: edit_json(os.path.join(d, SCOOP), lambda j: j.update(bin=[["Korvane.exe", "korvane"]])),
     "scoop: bin"),
    ("autoupdate points elsewhere",
     lambda d: edit_json(os.path.join(d, SCOOP),
                         lambda j: j["autoupdate"].update(url=j["url"].replace(VERSION, "latest"))),
     "autoupdate url"),
    ("checksum file of another zip",
     lambda d: edit(os.path.join(d, ZIP + ".sha256"), zip_hash(d), "cd" * 32),
     ".sha256 reads"),
    ("zip without LICENSE", lambda d: rezip(d, lambda e: e.pop("LICENSE")), "zip holds"),
    ("SHA256SUMS of other programs",
     lambda d: rezip(d, lambda e: e.update(SHA256SUMS=e["SHA256SUMS"].replace(b"  Korvane.exe", b"  Other.exe"))),
     "SHA256SUMS lists"),
    ("SHA256SUMS stale",
     lambda d: rezip(d, lambda e: e.update({"Korvane.exe": b"MZ rebuilt"})),
     "SHA256SUMS is wrong for Korvane.exe"),
    ("README in the zip is not the tree's",
     lambda d: rezip(d, lambda e: e.update({"README.md": b"# old\n"})),
     "README.md in the zip"),
]


class PackagingTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="korvane-package-")
        self.addCleanup(shutil.rmtree, self.tmp)
        self.programs = os.path.join(self.tmp, "programs")
        os.makedirs(self.programs)
        for name, data in (("Korvane.exe", b"MZ window"), ("KorvaneCli.exe", b"MZ console")):
            with open(os.path.join(self.programs, name), "wb") as f:
                f.write(data)
        self.dist = os.path.join(self.tmp, "dist")
        package(self.programs, self.dist)

    def test_a_fresh_package_passes_the_check(self):
        self.assertEqual(check_package.check(self.dist, VERSION), [])

    def test_the_same_inputs_give_the_same_bytes_whatever_the_file_times(self):
        for name in os.listdir(self.programs):
            os.utime(os.path.join(self.programs, name), (EPOCH + 86400 * 40, EPOCH + 86400 * 40))
        again = os.path.join(self.tmp, "again")
        old_umask = os.umask(0o077)
        try:
            package(self.programs, again)
        finally:
            os.umask(old_umask)
        self.assertEqual(tree(again), tree(self.dist))

        # The commit's time is what the entries carry, so it does reach the zip.
        later = os.path.join(self.tmp, "later")
        package(self.programs, later, epoch=EPOCH + 86400)
        self.assertNotEqual(tree(later)[ZIP], tree(self.dist)[ZIP])

    def test_the_check_finds_each_fault(self):
        for what, plant, expected in FAULTS:
            with self.subTest(what):
                broken = os.path.join(self.tmp, "broken")
                shutil.rmtree(broken, ignore_errors=True)
                shutil.copytree(self.dist, broken)
                plant(broken)
                faults = check_package.check(broken, VERSION)
                self.assertTrue(any(expected in f for f in faults), f"{what}: {faults}")

    def test_the_check_wants_the_builds_version(self):
        # A package made for 1.2.3 is not a release of 1.2.4, even when renamed.
        os.rename(os.path.join(self.dist, ZIP), os.path.join(self.dist, "Korvane-1.2.4-win64.zip"))
        faults = check_package.check(self.dist, "1.2.4")
        self.assertTrue(any("PackageVersion" in f for f in faults), faults)
        self.assertTrue(any("scoop: version" in f for f in faults), faults)


if __name__ == "__main__":
    unittest.main()
