#!/usr/bin/env python3
"""The release's tools on the built program: the version read from its resource, offsets placed
in its headers and sections (as objdump places them), the zips packed the same every time, and
a difference between two builds told by file, member, offset and section."""

import hashlib
import io
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = os.environ.get("HALVO_BUILD_DIR", os.path.join(ROOT, "build"))
PRODUCT = os.path.join(BUILD, "app", "HalvoSetting.exe")
CHECKER = os.path.join(BUILD, "app", "HalvoCheck.exe")
sys.path.insert(0, os.path.join(ROOT, "scripts", "lib"))

import compare_builds  # noqa: E402
import package_release  # noqa: E402
from pe_image import PeImage  # noqa: E402

EPOCH = 1796748479  # 2026-12-08 16:47:59 UTC
GUIDE = "Halvo Setting\n=============\n\nSecond paragraph,\r\nwritten on Windows.\n"


def product():
    with open(PRODUCT, "rb") as f:
        return f.read()


def checker():
    with open(CHECKER, "rb") as f:
        return f.read()


def objdump_sections():
    """{name: file offset} of the sections that have bytes in the file, as objdump lists them."""
    listing = subprocess.run(["x86_64-w64-mingw32-objdump", "-h", PRODUCT], check=True,
                             capture_output=True, text=True).stdout.splitlines()
    sections = {}
    for line, flags in zip(listing, listing[1:]):
        fields = line.split()
        if len(fields) == 7 and fields[0].isdigit() and "CONTENTS" in flags:
            sections[fields[1]] = int(fields[5], 16)
    return sections


def changed(data, *offsets):
    data = bytearray(data)
    for offset in offsets:
        data[offset] ^= 0x5A
    return bytes(data)


class ProgramImage(unittest.TestCase):
    def test_version_is_the_version_resources(self):
        self.assertEqual("1.0.0.1", PeImage(product()).version())

    def test_offsets_are_placed_in_header_fields_and_sections(self):
        data = product()
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        places = {pe + 8: "header: TimeDateStamp", pe + 8 + 3: "header: TimeDateStamp",
                  pe + 24 + 64: "header: CheckSum", pe + 24 + 112 + 2 * 8 + 4:
                  "header: data directory: resource", 0x10: "DOS header"}
        sections = objdump_sections()
        self.assertIn(".rsrc", sections)
        for name, offset in sections.items():
            places[offset] = name
        image = PeImage(data)
        for offset, place in places.items():
            with self.subTest(offset=hex(offset)):
                self.assertEqual(place, image.where(offset))

    def test_not_a_program_is_refused(self):
        for data in (b"", b"PK\x03\x04" + bytes(100), b"MZ" + bytes(0x3A) + b"\xff\xff\0\0"):
            with self.subTest(data=data[:4]), self.assertRaises(ValueError):
                PeImage(data).version()


class Difference(unittest.TestCase):
    def test_same_bytes_say_nothing(self):
        self.assertEqual([], compare_builds.describe("HalvoSetting.exe", product(), product()))

    def test_names_the_fields_and_sections_that_differ(self):
        data = product()
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        resources = objdump_sections()[".rsrc"]
        text = "\n".join(compare_builds.describe(
            "HalvoSetting.exe", data, changed(data, pe + 8, resources + 100, resources + 101)))
        self.assertIn("HalvoSetting.exe differs", text)
        self.assertIn(f"0x{pe + 8:x}-0x{pe + 8:x} (1 bytes): header: TimeDateStamp", text)
        self.assertIn(f"0x{resources + 100:x}-0x{resources + 101:x} (2 bytes): .rsrc", text)
        self.assertNotIn(".text", text)

    def test_many_runs_are_counted_by_part(self):
        data = product()
        text_at = objdump_sections()[".text"]
        many = [text_at + 64 * i for i in range(20)]
        text = "\n".join(compare_builds.describe("HalvoSetting.exe", data, changed(data, *many)))
        self.assertIn("... and 8 more runs", text)
        self.assertIn("runs by part: .text 20", text)

    def test_tells_sizes_apart(self):
        text = "\n".join(compare_builds.describe("f", b"abcdef", b"abcxef!"))
        self.assertIn("the sizes differ", text)
        self.assertIn("0x3-0x3 (1 bytes)", text)


class Packing(unittest.TestCase):
    def setUp(self):
        self.scratch = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.scratch)

    def pack(self, folder, exe=None, mtime=None):
        """Packs into <scratch>/<folder>/dist from inputs written there; returns the zips' bytes."""
        where = os.path.join(self.scratch, folder)
        os.makedirs(where)
        files = {"HalvoSetting.exe": exe or product(), "HalvoSetting.exe.debug": b"symbols",
                 "HalvoCheck.exe": checker(), "HalvoCheck.exe.debug": b"its symbols",
                 "guide.txt": GUIDE.encode(), "HalvoSetting.ico": b"icon"}
        for name, data in files.items():
            with open(os.path.join(where, name), "wb") as f:
                f.write(data)
            if mtime is not None:
                os.utime(os.path.join(where, name), (mtime, mtime))
        files = os.path.join(where, "files")
        os.makedirs(files)
        package_release.stage(where, os.path.join(where, "guide.txt"),
                              os.path.join(where, "HalvoSetting.ico"), files)
        zips = package_release.package(files, where, os.path.join(where, "dist"), EPOCH)
        self.assertEqual(["HalvoSetting-1.0.0.1-x64.zip", "HalvoSetting-1.0.0.1-x64-debug.zip"],
                         [os.path.basename(z) for z in zips])
        contents = []
        for path in zips:
            with open(path, "rb") as f:
                contents.append(f.read())
        return contents

    def test_the_zips_hold_the_program_guide_checksums_and_symbols(self):
        shipped, symbols = self.pack("one")
        with zipfile.ZipFile(io.BytesIO(shipped)) as archive:
            self.assertEqual(["HalvoCheck.exe", "HalvoSetting.exe", "ReadMe.txt", "SHA256SUMS"],
                             archive.namelist())
            members = {name: archive.read(name) for name in archive.namelist()}
            for info in archive.infolist():
                self.assertEqual((2026, 12, 8, 16, 47, 58), info.date_time)  # 2-second steps
        self.assertEqual(product(), members["HalvoSetting.exe"])
        self.assertEqual(checker(), members["HalvoCheck.exe"])
        self.assertEqual(b"Halvo Setting\r\n=============\r\n\r\nSecond paragraph,\r\n"
                         b"written on Windows.\r\n", members["ReadMe.txt"])
        sums = members["SHA256SUMS"].decode().splitlines()
        self.assertEqual([f"{hashlib.sha256(members[n]).hexdigest()}  {n}"
                          for n in ("HalvoCheck.exe", "HalvoSetting.exe", "ReadMe.txt")], sums)
        with zipfile.ZipFile(io.BytesIO(symbols)) as archive:
            self.assertEqual(["HalvoCheck.exe.debug", "HalvoSetting.exe.debug"],
                             archive.namelist())
            self.assertEqual(b"symbols", archive.read("HalvoSetting.exe.debug"))
            self.assertEqual(b"its symbols", archive.read("HalvoCheck.exe.debug"))

    def test_packing_again_elsewhere_later_gives_the_same_bytes(self):
        first = self.pack("one", mtime=time.time() - 86400)
        os.environ["TZ"] = "Pacific/Auckland"
        time.tzset()
        try:
            second = self.pack("second/folder", mtime=time.time())
        finally:
            del os.environ["TZ"]
            time.tzset()
        self.assertEqual(first, second)

    def test_a_changed_program_is_told_inside_the_zip(self):
        data = product()
        text_at = objdump_sections()[".text"]
        first = self.pack("one")[0]
        second = self.pack("two", exe=changed(data, text_at + 64))[0]
        text = "\n".join(compare_builds.describe("HalvoSetting-1.0.0.1-x64.zip", first, second))
        self.assertIn("member HalvoSetting.exe: data", text)
        self.assertIn("member SHA256SUMS: data", text)
        self.assertIn(f"  member HalvoSetting.exe differs ({len(data)} and {len(data)} bytes)",
                      text)
        self.assertIn(f"0x{text_at + 64:x}-0x{text_at + 64:x} (1 bytes): .text", text)


if __name__ == "__main__":
    unittest.main()
