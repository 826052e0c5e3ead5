#!/usr/bin/env python3
"""Packs a release: HalvoSetting-<version>-x64.zip (the program, the installer's guide and
SHA256SUMS) and HalvoSetting-<version>-x64-debug.zip (the symbols) in DIST. The version is the
program's own, read from its version resource. The zips hold the same bytes every time: members
in name order, each dated SOURCE_DATE_EPOCH, with fixed attributes and compression.
  package_release.py EXE GUIDE DIST      (EXE.debug beside EXE; SOURCE_DATE_EPOCH set)
Prints the paths of the two zips."""

import hashlib
import os
import sys
import time
import zipfile

from pe_image import PeImage

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


def package(exe_path, guide_path, dist, epoch):
    with open(exe_path, "rb") as f:
        exe = f.read()
    with open(exe_path + ".debug", "rb") as f:
        debug = f.read()
    with open(guide_path, encoding="utf-8") as f:
        guide = windows_text(f.read())
    stem = f"HalvoSetting-{PeImage(exe).version()}-x64"
    shipped = {"HalvoSetting.exe": exe, "ReadMe.txt": guide}
    shipped["SHA256SUMS"] = sha256sums(shipped)
    os.makedirs(dist, exist_ok=True)
    zips = [os.path.join(dist, stem + ".zip"), os.path.join(dist, stem + "-debug.zip")]
    write_zip(zips[0], shipped, epoch)
    write_zip(zips[1], {"HalvoSetting.exe.debug": debug}, epoch)
    return zips


def main(argv):
    if len(argv) != 4 or "SOURCE_DATE_EPOCH" not in os.environ:
        sys.exit(__doc__)
    for path in package(argv[1], argv[2], argv[3], int(os.environ["SOURCE_DATE_EPOCH"])):
        print(path)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
