#!/usr/bin/env python3
"""Checks a release folder as scripts/release.sh leaves it.

  check_package.py DIST VERSION

The zip holds the two programs, README.md, LICENSE and SHA256SUMS; SHA256SUMS and
the .sha256 file agree with what they describe; the winget and Scoop manifests
parse, name this version and this zip's hash, and install exactly the programs
the zip holds, under the commands korvane and korvanecli.  Prints every fault
found and exits 1 when there is one.

Deliberately written apart from the packaging script: what it checks is stated
here again, so a fault in the packaging cannot agree with itself.
"""
import glob
import hashlib
import io
import json
import os
import re
import string
import sys
import zipfile

import yaml

ENTRIES = ["Korvane.exe", "KorvaneCli.exe", "README.md", "LICENSE", "SHA256SUMS"]
ALIASES = {"Korvane.exe": "korvane", "KorvaneCli.exe": "korvanecli"}
WINGET_TYPES = {"version", "installer", "defaultLocale"}
WINGET_SCHEMA_MIN = (1, 6, 0)


def sha256(data):
    return hashlib.sha256(data).hexdigest()


def version_tuple(text):
    return tuple(int(p) for p in str(text).split("."))


def check(dist, version):
    faults = []

    def expect(ok, message):
        if not ok:
            faults.append(message)
        return ok

    zip_name = f"Korvane-{version}-win64.zip"
    zip_path = os.path.join(dist, zip_name)
    if not expect(os.path.isfile(zip_path), f"{zip_name} is missing"):
        return faults
    with open(zip_path, "rb") as f:
        zip_bytes = f.read()
    zip_hash = sha256(zip_bytes)

    # ------------------------------------------------------------ the zip
    with zipfile.ZipFile(io.BytesIO(zip_bytes)) as z:
        names = z.namelist()
        expect(sorted(names) == sorted(ENTRIES), f"zip holds {names}, not {ENTRIES}")
        content = {n: z.read(n) for n in names}
    programs = [n for n in names if n.lower().endswith(".exe")]
    if "SHA256SUMS" in content:
        listed = {}
        for line in content["SHA256SUMS"].decode("ascii", "replace").splitlines():
            m = re.fullmatch(r"([0-9a-f]{64}) [ *](\S+)", line)
            if expect(m, f"SHA256SUMS line {line!r} is not 'hash  name'"):
                listed[m.group(2)] = m.group(1)
        expect(sorted(listed) == sorted(programs),
               f"SHA256SUMS lists {sorted(listed)}, the zip's programs are {sorted(programs)}")
        for name in programs:
            if name in listed:
                expect(listed[name] == sha256(content[name]), f"SHA256SUMS is wrong for {name}")
    for name in ("README.md", "LICENSE"):
        local = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", name)
        if name in content and os.path.isfile(local):
            with open(local, "rb") as f:
                expect(content[name] == f.read(), f"{name} in the zip is not the tree's {name}")

    sum_path = zip_path + ".sha256"
    if expect(os.path.isfile(sum_path), f"{zip_name}.sha256 is missing"):
        with open(sum_path, "rb") as f:
            text = f.read().decode("ascii", "replace")
        expect(text == f"{zip_hash}  {zip_name}\n",
               f"{zip_name}.sha256 reads {text!r}, the zip's hash is {zip_hash}")

    # ------------------------------------------------------------ winget
    manifests = {}
    for path in sorted(glob.glob(os.path.join(dist, "winget", "*.yaml"))):
        with open(path, encoding="utf-8") as f:
            text = f.read()
        try:
            doc = yaml.safe_load(text)
        except yaml.YAMLError as e:
            faults.append(f"{os.path.basename(path)} is not YAML: {e}")
            continue
        if not expect(isinstance(doc, dict), f"{os.path.basename(path)} is not a mapping"):
            continue
        kind = doc.get("ManifestType")
        expect(kind not in manifests, f"two winget manifests of type {kind}")
        manifests[kind] = (os.path.basename(path), doc, text.partition("\n")[0])
    expect(set(manifests) == WINGET_TYPES,
           f"winget manifests of types {sorted(map(str, manifests))}, not {sorted(WINGET_TYPES)}")

    ids = {doc.get("PackageIdentifier") for _, doc, _ in manifests.values()}
    expect(len(ids) == 1, f"winget manifests name packages {ids}")
    package_id = next(iter(ids)) if len(ids) == 1 else None
    schemas = {str(doc.get("ManifestVersion")) for _, doc, _ in manifests.values()}
    expect(len(schemas) == 1, f"winget manifests use schemas {schemas}")
    for file, doc, first_line in manifests.values():
        expect(doc.get("PackageVersion") == version,
               f"{file}: PackageVersion {doc.get('PackageVersion')!r}, the build is {version}")
        try:
            expect(version_tuple(doc.get("ManifestVersion")) >= WINGET_SCHEMA_MIN,
                   f"{file}: schema {doc.get('ManifestVersion')} is older than 1.6.0")
        except ValueError:
            faults.append(f"{file}: ManifestVersion {doc.get('ManifestVersion')!r}")
        m = re.search(r"winget-manifest\.(\w+)\.([\d.]+)\.schema\.json", first_line)
        expect(m and m.group(1) == doc.get("ManifestType") and m.group(2) == str(doc.get("ManifestVersion")),
               f"{file}: its schema comment does not match its type and version")

    locale = None
    if "defaultLocale" in manifests:
        file, doc, _ = manifests["defaultLocale"]
        locale = doc.get("PackageLocale")
        for key in ("Publisher", "PackageName", "License", "ShortDescription"):
            expect(doc.get(key), f"{file}: {key} is missing")
        expect(doc.get("License") == "MIT", f"{file}: License {doc.get('License')!r}")
        expect(file == f"{package_id}.locale.{locale}.yaml", f"{file}: not named after its package and locale")
    if "version" in manifests:
        file, doc, _ = manifests["version"]
        expect(doc.get("DefaultLocale") == locale,
               f"{file}: DefaultLocale {doc.get('DefaultLocale')!r}, the locale manifest is {locale!r}")
        expect(file == f"{package_id}.yaml", f"{file}: not named after its package")

    installer_url = None
    if "installer" in manifests:
        file, doc, _ = manifests["installer"]
        expect(file == f"{package_id}.installer.yaml", f"{file}: not named after its package")
        installers = doc.get("Installers") or []
        expect(len(installers) == 1, f"{file}: {len(installers)} installers, one expected")
        for inst in installers:
            # A key of the root is inherited by every installer that does not set it.
            field = lambda key: inst.get(key, doc.get(key))  # noqa: E731
            expect(inst.get("Architecture") == "x64", f"{file}: architecture {inst.get('Architecture')!r}")
            expect(field("InstallerType") == "zip", f"{file}: InstallerType {field('InstallerType')!r}")
            expect(field("NestedInstallerType") == "portable",
                   f"{file}: NestedInstallerType {field('NestedInstallerType')!r}")
            expect(field("ElevationRequirement") == "elevationRequired",
                   f"{file}: ElevationRequirement {field('ElevationRequirement')!r}")
            expect(str(field("InstallerSha256")).lower() == zip_hash,
                   f"{file}: InstallerSha256 {field('InstallerSha256')}, the zip's hash is {zip_hash}")
            installer_url = str(field("InstallerUrl"))
            expect(re.fullmatch(r"https?://\S+/" + re.escape(zip_name), installer_url),
                   f"{file}: InstallerUrl {installer_url} does not name {zip_name}")
            nested = {f.get("RelativeFilePath"): f.get("PortableCommandAlias")
                      for f in field("NestedInstallerFiles") or []}
            expect(set(nested) <= set(names), f"{file}: installs {sorted(nested)}, not all in the zip")
            expect(nested == ALIASES, f"{file}: installs {nested}, expected {ALIASES}")

    # ------------------------------------------------------------- Scoop
    scoop_path = os.path.join(dist, "scoop", "korvane.json")
    scoop = None
    if expect(os.path.isfile(scoop_path), "scoop/korvane.json is missing"):
        try:
            with open(scoop_path, encoding="utf-8") as f:
                scoop = json.load(f)
        except json.JSONDecodeError as e:
            faults.append(f"scoop/korvane.json is not JSON: {e}")
    if isinstance(scoop, dict):
        expect(scoop.get("version") == version, f"scoop: version {scoop.get('version')!r}, the build is {version}")
        expect(str(scoop.get("hash")).lower().removeprefix("sha256:") == zip_hash,
               f"scoop: hash {scoop.get('hash')}, the zip's hash is {zip_hash}")
        url = scoop.get("url")
        expect(isinstance(url, str) and url.endswith("/" + zip_name), f"scoop: url {url} does not name {zip_name}")
        expect(installer_url is None or url == installer_url,
               f"scoop: url {url} is not winget's {installer_url}")
        bins = {}
        for entry in scoop.get("bin") or []:
            entry = [entry] if isinstance(entry, str) else entry
            bins[entry[0]] = entry[1] if len(entry) > 1 else os.path.splitext(entry[0])[0]
        expect(set(bins) <= set(names), f"scoop: bin names {sorted(bins)}, not all in the zip")
        expect(bins == ALIASES, f"scoop: bin {bins}, expected {ALIASES}")
        checkver = scoop.get("checkver") or {}
        regex = checkver.get("regex") if isinstance(checkver, dict) else None
        if expect(regex and checkver.get("url"), "scoop: checkver has no url and regex"):
            m = re.search(regex, zip_name)
            expect(m and m.group(1) == version, f"scoop: checkver regex {regex} does not find {version} in {zip_name}")
        autoupdate = scoop.get("autoupdate") or {}
        template = autoupdate.get("url", "")
        expect(string.Template(template).safe_substitute(version=version) == url,
               f"scoop: autoupdate url {template} does not give {url} for {version}")
        hash_url = (autoupdate.get("hash") or {}).get("url", "")
        expect(hash_url == "$url.sha256", f"scoop: autoupdate hash url {hash_url!r}")
    return faults


def main(argv):
    if len(argv) != 2:
        sys.exit(__doc__)
    faults = check(argv[0], argv[1])
    for fault in faults:
        print("FAULT " + fault)
    if faults:
        return 1
    print(f"{argv[0]}: zip, checksums and manifests agree with version {argv[1]}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
