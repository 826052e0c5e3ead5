#!/usr/bin/env python3
"""Builds the Windows Installer package HalvoSetting-<version>-x64.msi with wixl from
res/installer/HalvoSetting.wxs. The version, product name and publisher are the version
resource's (CompanyName, ProductName) of the first shipped program; the product code is derived
from the source's upgrade code and the version, the package code from the package's contents.
The package holds the same bytes every time: wixl's times and random package code are replaced
(msi_summary.py) and the cabinet's file times are SOURCE_DATE_EPOCH.
  package_msi.py FILES DIST     (FILES holds the shipped programs, ReadMe.txt and
                                 HalvoSetting.ico; SOURCE_DATE_EPOCH set)
Prints the package's path."""

import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import uuid

import msi_summary
from pe_image import PeImage
from shipped import GUIDE, PROGRAMS

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SOURCE = os.path.join(ROOT, "res", "installer", "HalvoSetting.wxs")
ICON = "HalvoSetting.ico"

# Windows Installer compares only the first three parts of a version when it looks for the
# versions a package replaces. A release that raises only the fourth would be installed beside
# the one before (two entries) unless the replacing row includes its own version: 0x200
# (msidbUpgradeAttributesVersionMaxInclusive) besides the 0x1 wixl sets.
UPGRADE_OLDER_ATTRIBUTES = 0x201


def upgrade_code(source):
    found = re.search(r'UpgradeCode="([0-9A-Fa-f-]{36})"', source)
    if not found:
        raise ValueError(f"{SOURCE}: no UpgradeCode")
    return uuid.UUID(found.group(1))


def product_code(upgrade, version):
    """Every version has its own product code, and a rebuild of one version the same."""
    return "{" + str(uuid.uuid5(upgrade, f"product {version}")).upper() + "}"


def package_code(upgrade, version, contents):
    """A package code that changes with anything the package holds (a signed program too)."""
    digest = hashlib.sha256()
    for name in sorted(contents):
        digest.update(name.encode() + b"\0" + hashlib.sha256(contents[name]).digest())
    return "{" + str(uuid.uuid5(upgrade, f"package {version} {digest.hexdigest()}")).upper() + "}"


def upgrade_older_queries(upgrade, version):
    """msibuild arguments that let the package replace a version equal in its first three
    numbers. The attributes are part of the row's key: the row is written anew."""
    return ["-q", "DELETE FROM `Upgrade` WHERE `ActionProperty` = 'WIX_UPGRADE_DETECTED'",
            "-q", "INSERT INTO `Upgrade` (`UpgradeCode`, `VersionMax`, `Attributes`, "
            f"`ActionProperty`) VALUES ('{{{str(upgrade).upper()}}}', '{version}', "
            f"{UPGRADE_OLDER_ATTRIBUTES}, 'WIX_UPGRADE_DETECTED')"]


def program_version_queries(contents):
    """msibuild arguments that give each program its file version and language, which wixl
    leaves out: Windows Installer then treats it as the versioned file it is (never replacing a
    newer one, no hash check) rather than as a document."""
    queries = []
    for name in PROGRAMS:
        version = PeImage(contents[name]).version()
        queries += ["-q", f"UPDATE `File` SET `Version` = '{version}', `Language` = '1033' "
                          f"WHERE `File` = '{name}'",
                    "-q", f"DELETE FROM `MsiFileHash` WHERE `File_` = '{name}'"]
    return queries


def files_of(source):
    """The names of the files the source installs."""
    return sorted(re.findall(r'<File\b[^>]*\bName="([^"]+)"', source))


def stage_files(files, stage, epoch):
    """Copies the packed files and the source into `stage`, where wixl finds the files beside
    its source; returns {name: bytes} of all of them."""
    contents = {}
    for name in PROGRAMS + [GUIDE, ICON]:
        shutil.copyfile(os.path.join(files, name), os.path.join(stage, name))
        # The cabinet keeps each file's time: the release's, not the build's.
        os.utime(os.path.join(stage, name), (epoch, epoch))
        with open(os.path.join(stage, name), "rb") as f:
            contents[name] = f.read()
    shutil.copyfile(SOURCE, os.path.join(stage, os.path.basename(SOURCE)))
    with open(SOURCE, "rb") as f:
        contents[os.path.basename(SOURCE)] = f.read()
    return contents


def run_wixl(stage, output, defines):
    command = ["wixl", "--arch", "x64", "--output", output]
    for name, value in defines.items():
        command += ["--define", f"{name}={value}"]
    done = subprocess.run(command + [os.path.basename(SOURCE)], cwd=stage, capture_output=True,
                          text=True)
    # wixl only warns about an attribute it does not know, and leaves it out: a package without
    # what its source asks for is a failed build.
    if done.returncode != 0 or done.stderr.strip():
        raise ValueError(f"wixl {SOURCE}: {done.stderr.strip()}")


def build(files, dist, epoch, version=None):
    """Builds the package from the folder `files` into `dist`; returns its path. `version`
    overrides the program's own (the tests build an older and a newer package of one program)."""
    with open(SOURCE, encoding="utf-8") as f:
        source = f.read()
    if files_of(source) != sorted(PROGRAMS + [GUIDE]):
        raise ValueError(f"{SOURCE} installs {files_of(source)}, the release ships "
                         f"{sorted(PROGRAMS + [GUIDE])}")
    with open(os.path.join(files, PROGRAMS[0]), "rb") as f:
        product = PeImage(f.read())
    strings = product.version_strings()
    version = version or product.version()
    upgrade = upgrade_code(source)
    with tempfile.TemporaryDirectory() as stage:
        contents = stage_files(files, stage, epoch)
        os.makedirs(dist, exist_ok=True)
        path = os.path.join(dist, f"HalvoSetting-{version}-x64.msi")
        # wixl runs in the staging folder: the path it writes to must not depend on that.
        partial = os.path.abspath(path + ".partial")
        run_wixl(stage, partial, {"ProductName": strings["ProductName"],
                                  "Manufacturer": strings["CompanyName"], "Version": version,
                                  "ProductCode": product_code(upgrade, version)})
        subprocess.run(["msibuild", partial, *upgrade_older_queries(upgrade, version),
                        *program_version_queries(contents)], check=True)
        msi_summary.fix(partial, epoch, package_code(upgrade, version, contents))
        os.replace(partial, path)
    return path


def main(argv):
    if len(argv) != 3 or "SOURCE_DATE_EPOCH" not in os.environ:
        sys.exit(__doc__)
    print(build(argv[1], argv[2], int(os.environ["SOURCE_DATE_EPOCH"])))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
