#!/usr/bin/env python3
"""Packs a release into DIST: HalvoSetting-<version>-x64.zip (the programs, the installer's guide
as ReadMe.txt, and SHA256SUMS), HalvoSetting-<version>-x64-debug.zip (the programs' symbols) and
the installer HalvoSetting-<version>-x64.msi (package_msi.py). The version is the product's own,
read from its version resource. The same sources give the same bytes: zip members in name order,
each dated SOURCE_DATE_EPOCH, with fixed attributes and compression.
With --sign, the programs are signed before they are packed, and then the installer
(sign_release.py; the PFX file's password in HALVO_SIGN_PASSWORD).
  package_release.py BUILD GUIDE DIST [--sign PFX]   (SOURCE_DATE_EPOCH set)
BUILD is the build tree: the programs and their .debug files in BUILD/app, the icon in
BUILD/res/made. Prints the paths of what it wrote."""

import hashlib
import os
import shutil
import sys
import tempfile
import time
import zipfile

import package_msi
import sign_release
from pe_image import PeImage
from shipped import GUIDE, PROGRAMS

# The oldest time a zip can state.
ZIP_EPOCH = (1980, 1, 1, 0, 0, 0)


def zip_time(epoch):
    return max(ZIP_EPOCH, tuple(time.gmtime(epoch)[:6]))


def windows_text(text):
    """Line ends as Notepad on Windows Vista and 7 needs them. The text was read in text mode,
    so whatever its file held, its line ends are "\n" here."""
    return text.replace("\n", "\r\n").encode("utf-8")


def sha256sums(files):
    """SHA256SUMS as sha256sum -c reads it."""
    return "".join(f"{hashlib.sha256(data).hexdigest()}  {name}\n"
                   for name, data in sorted(files.items())).encode("ascii")


def write_zip(path, files, epoch):
    """files: {name: bytes}. Written beside and moved in place, so no half zip is ever left."""
    partial = path + ".partial"
    with zipfile.ZipFile(partial, "w") as archive:
        for name in sorted(files):
            info = zipfile.ZipInfo(name, date_time=zip_time(epoch))
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 0  # MS-DOS attributes, as Windows writes them
            info.external_attr = 0x20  # FILE_ATTRIBUTE_ARCHIVE
            archive.writestr(info, files[name], compresslevel=9)
    os.replace(partial, path)


def stage(app, guide_path, icon_path, files):
    """Copies what the zip and the installer hold into the folder `files`: the programs from
    `app`, the guide as ReadMe.txt with Windows line ends, and the icon for the installer."""
    for name in PROGRAMS:
        shutil.copyfile(os.path.join(app, name), os.path.join(files, name))
    with open(guide_path, encoding="utf-8") as f:
        guide = windows_text(f.read())
    with open(os.path.join(files, GUIDE), "wb") as f:
        f.write(guide)
    shutil.copyfile(icon_path, os.path.join(files, package_msi.ICON))


def read(folder, name):
    with open(os.path.join(folder, name), "rb") as f:
        return f.read()


def package(files, symbols, dist, epoch):
    """The two zips, from the staged `files` and the .debug files in `symbols`."""
    shipped = {name: read(files, name) for name in PROGRAMS + [GUIDE]}
    shipped["SHA256SUMS"] = sha256sums(shipped)
    debug = {name + ".debug": read(symbols, name + ".debug") for name in PROGRAMS}
    stem = f"HalvoSetting-{PeImage(shipped[PROGRAMS[0]]).version()}-x64"
    os.makedirs(dist, exist_ok=True)
    zips = [os.path.join(dist, stem + ".zip"), os.path.join(dist, stem + "-debug.zip")]
    write_zip(zips[0], shipped, epoch)
    write_zip(zips[1], debug, epoch)
    return zips


def release(build, guide_path, dist, epoch, pfx=None):
    app = os.path.join(build, "app")
    with tempfile.TemporaryDirectory() as files:
        stage(app, guide_path, os.path.join(build, "res", "made", package_msi.ICON), files)
        if not pfx:
            return package(files, app, dist, epoch) + [package_msi.build(files, dist, epoch)]
        product = PeImage(read(files, PROGRAMS[0])).version_strings()["ProductName"]
        with sign_release.Signer(pfx, product) as signer:
            # The programs first: the zip, its checksums and the installer hold them signed.
            for name in PROGRAMS:
                signer.sign(os.path.join(files, name))
            written = package(files, app, dist, epoch) + [package_msi.build(files, dist, epoch)]
            signer.sign(written[-1])
            return written


def main(argv):
    arguments = argv[1:]
    pfx = None
    if len(arguments) == 5 and arguments[3] == "--sign":
        pfx = arguments.pop()
        arguments.pop()
    if len(arguments) != 3 or "SOURCE_DATE_EPOCH" not in os.environ:
        sys.exit(__doc__)
    try:
        written = release(*arguments, int(os.environ["SOURCE_DATE_EPOCH"]), pfx)
    except sign_release.SigningError as error:
        sys.exit(str(error))
    for path in written:
        print(path)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
