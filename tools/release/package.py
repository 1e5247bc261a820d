#!/usr/bin/env python3
"""Packs built Korvane programs for release.

Writes into OUT:
  Korvane-<version>-win64.zip         the two programs, README.md, LICENSE, SHA256SUMS
  Korvane-<version>-win64.zip.sha256  the zip's SHA-256, as sha256sum prints it
  winget/                             version, installer and defaultLocale manifests
  scoop/korvane.json                  the Scoop manifest

Every manifest is made from the version, the release page and the zip's hash;
none is edited by hand.  The same inputs give the same bytes: the zip's entries
have a fixed order, fixed times (from --epoch) and fixed attributes, whatever
the files' own times and the machine's umask are.

  package.py --version V --release-page URL --epoch SECONDS
             --programs DIR --docs DIR --out DIR
"""
import argparse
import datetime
import hashlib
import json
import os
import re
import sys
import zipfile

# The programs in the zip and the command each one is started by.
PROGRAMS = [("Korvane.exe", "korvane"), ("KorvaneCli.exe", "korvanecli")]
DOCS = ["README.md", "LICENSE"]
CHECKSUMS = "SHA256SUMS"

PACKAGE_ID = "Korvane.Korvane"
PUBLISHER = "Korvane Project"
LOCALE = "en-US"
WINGET_SCHEMA = "1.10.0"
SHORT_DESCRIPTION = ("Repairs broken file associations, removes policy restrictions and fixes "
                     "other damaged Windows settings, from a window or the command line.")
# A ZIP time before 1980 cannot be stored.
ZIP_EPOCH_MIN = 315532800


def zip_name(version):
    return f"Korvane-{version}-win64.zip"


def download_url(release_page, version):
    """Where a release's zip is published: the layout of GitHub releases."""
    return f"{release_page.rstrip('/')}/download/v{version}/{zip_name(version)}"


def sha256(data):
    return hashlib.sha256(data).hexdigest()


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def copyright_line(license_text):
    m = re.search(r"^Copyright \(c\) .+$", license_text, re.MULTILINE)
    if not m:
        sys.exit("package.py: LICENSE has no \"Copyright (c)\" line")
    return m.group(0)


def make_zip(path, entries, epoch):
    """entries: (name, bytes) in the order they are stored."""
    stamp = datetime.datetime.fromtimestamp(max(epoch, ZIP_EPOCH_MIN), datetime.timezone.utc)
    with zipfile.ZipFile(path, "w") as z:
        for name, data in entries:
            info = zipfile.ZipInfo(name, date_time=stamp.timetuple()[:6])
            info.create_system = 0  # MS-DOS: no Unix owner or mode bits from this machine
            info.external_attr = 0
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, data, compresslevel=9)


def q(text):
    """A YAML scalar that reads back as this exact string (JSON strings are YAML)."""
    return json.dumps(text)


def winget_manifests(version, url, zip_hash, release_date, copyright_text):
    schema = f"# yaml-language-server: $schema=https://aka.ms/winget-manifest.{{}}.{WINGET_SCHEMA}.schema.json\n"
    head = f"PackageIdentifier: {PACKAGE_ID}\nPackageVersion: {q(version)}\n"
    tail = "ManifestVersion: " + WINGET_SCHEMA + "\n"
    nested = "".join(f"  - RelativeFilePath: {q(name)}\n    PortableCommandAlias: {q(alias)}\n"
                     for name, alias in PROGRAMS)
    return {
        f"{PACKAGE_ID}.yaml":
            schema.format("version") + head +
            f"DefaultLocale: {LOCALE}\nManifestType: version\n" + tail,
        f"{PACKAGE_ID}.installer.yaml":
            schema.format("installer") + head +
            "InstallerType: zip\n"
            "NestedInstallerType: portable\n"
            "NestedInstallerFiles:\n" + nested +
            # The repairs need administrator rights, and a program that runs elevated
            # must not sit in a folder its unelevated user can write to: one
            # installation per machine, under Program Files, made from an elevated
            # shell.  The field cannot be set per nested file; it covers both.
            "Scope: machine\n"
            "ElevationRequirement: elevationRequired\n"
            "MinimumOSVersion: 6.2.9200.0\n"
            f"ReleaseDate: {q(release_date)}\n"
            "Installers:\n"
            "  - Architecture: x64\n"
            f"    InstallerUrl: {q(url)}\n"
            f"    InstallerSha256: {zip_hash.upper()}\n"
            "ManifestType: installer\n" + tail,
        f"{PACKAGE_ID}.locale.{LOCALE}.yaml":
            schema.format("defaultLocale") + head +
            f"PackageLocale: {LOCALE}\n"
            f"Publisher: {q(PUBLISHER)}\n"
            "PackageName: Korvane\n"
            "Moniker: korvane\n"
            "License: MIT\n"
            f"Copyright: {q(copyright_text)}\n"
            f"ShortDescription: {q(SHORT_DESCRIPTION)}\n"
            "Tags:\n  - repair\n  - registry\n  - file-associations\n  - intune\n"
            "ManifestType: defaultLocale\n" + tail,
    }


def scoop_manifest(version, url, zip_hash, release_page):
    page = release_page.rstrip("/")
    manifest = {
        "version": version,
        "description": SHORT_DESCRIPTION,
        "homepage": page,
        "license": "MIT",
        "url": url,
        "hash": zip_hash,
        "bin": [[name, alias] for name, alias in PROGRAMS],
        "checkver": {
            "url": page + "/latest",
            "regex": zip_name(r"([\d.]+)").replace(".zip", r"\.zip"),
        },
        "autoupdate": {
            "url": download_url(release_page, "$version"),
            "hash": {"url": "$url.sha256"},
        },
    }
    return (json.dumps(manifest, indent=4) + "\n").encode()


def main(argv):
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--version", required=True)
    p.add_argument("--release-page", required=True)
    p.add_argument("--epoch", type=int, required=True, help="time of the zip's entries")
    p.add_argument("--programs", required=True, help="folder holding the built programs")
    p.add_argument("--docs", required=True, help="folder holding README.md and LICENSE")
    p.add_argument("--out", required=True)
    a = p.parse_args(argv)
    if not re.fullmatch(r"\d+(\.\d+){1,3}", a.version):
        sys.exit(f"package.py: \"{a.version}\" is not a version")

    programs = [(name, read(os.path.join(a.programs, name))) for name, _ in PROGRAMS]
    docs = [(name, read(os.path.join(a.docs, name))) for name in DOCS]
    sums = "".join(f"{sha256(data)}  {name}\n" for name, data in programs).encode()

    name = zip_name(a.version)
    zip_path = os.path.join(a.out, name)
    os.makedirs(a.out, exist_ok=True)
    make_zip(zip_path, programs + docs + [(CHECKSUMS, sums)], a.epoch)
    zip_hash = sha256(read(zip_path))
    write(zip_path + ".sha256", f"{zip_hash}  {name}\n".encode())

    url = download_url(a.release_page, a.version)
    release_date = datetime.datetime.fromtimestamp(a.epoch, datetime.timezone.utc).date().isoformat()
    license_text = dict(docs)["LICENSE"].decode("utf-8")
    for file, text in winget_manifests(a.version, url, zip_hash, release_date,
                                       copyright_line(license_text)).items():
        write(os.path.join(a.out, "winget", file), text.encode())
    write(os.path.join(a.out, "scoop", "korvane.json"),
          scoop_manifest(a.version, url, zip_hash, a.release_page))
    print(f"{zip_hash}  {zip_path}")


if __name__ == "__main__":
    main(sys.argv[1:])
