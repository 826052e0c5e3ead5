#!/usr/bin/env python3
"""The installer as a file, read with msitools: what it states (names, version, publisher, per
machine, x64, the launch condition, the upgrade rows), the product code that changes with the
version and only with it, the same bytes from another folder, later and in another time zone,
and the signing of the programs and the installer (a throwaway certificate made here)."""

import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = os.environ.get("HALVO_BUILD_DIR", os.path.join(ROOT, "build"))
sys.path.insert(0, os.path.join(ROOT, "scripts", "lib"))

import compare_builds  # noqa: E402
import package_msi  # noqa: E402
import package_release  # noqa: E402
import sign_release  # noqa: E402

APP = os.path.join(BUILD, "app")
ICON = os.path.join(BUILD, "res", "made", "HalvoSetting.ico")
GUIDE = os.path.join(ROOT, "docs", "install-guide.txt")
EPOCH = 1796748479  # 2026-12-08 16:47:59 UTC
# The upgrade code never changes: written out here as the source must keep it.
UPGRADE_CODE = "{702C9E94-73DC-4720-8870-0A150C63D396}"


def table(package, name):
    """The rows of a table, as msiinfo exports them (three header lines left out)."""
    text = subprocess.run(["msiinfo", "export", package, name], check=True, capture_output=True,
                          text=True).stdout
    return [line.rstrip("\r").split("\t") for line in text.splitlines()[3:]]


def summary(package):
    text = subprocess.run(["msiinfo", "suminfo", package], check=True, capture_output=True,
                          text=True).stdout
    return dict(line.split(": ", 1) for line in text.splitlines() if ": " in line)


class Scratch(unittest.TestCase):
    def setUp(self):
        self.scratch = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.scratch)

    def staged(self, folder="files"):
        files = os.path.join(self.scratch, folder)
        os.makedirs(files)
        package_release.stage(APP, GUIDE, ICON, files)
        return files

    def build(self, files, version=None, folder="dist"):
        return package_msi.build(files, os.path.join(self.scratch, folder), EPOCH, version)


class Package(Scratch):
    def test_states_the_product_per_machine_for_x64(self):
        package = self.build(self.staged())
        self.assertEqual("HalvoSetting-1.0.0.1-x64.msi", os.path.basename(package))
        properties = dict(table(package, "Property"))
        self.assertEqual("Halvo Setting", properties["ProductName"])
        self.assertEqual("1.0.0.1", properties["ProductVersion"])
        self.assertEqual("Halvo Setting developers", properties["Manufacturer"])
        self.assertEqual(UPGRADE_CODE, properties["UpgradeCode"])
        self.assertEqual("1", properties["ALLUSERS"])
        self.assertEqual("HalvoSetting.ico", properties["ARPPRODUCTICON"])
        self.assertEqual("x64;1033", summary(package)["Template"])
        directories = {row[0]: row for row in table(package, "Directory")}
        self.assertEqual(["INSTALLDIR", "ProgramFiles64Folder", "Halvo Setting"],
                         directories["INSTALLDIR"])
        for component in table(package, "Component"):
            self.assertTrue(int(component[3]) & 0x100, f"{component[0]} is not 64-bit")

    def test_programs_are_versioned_files_and_the_guide_is_hashed(self):
        package = self.build(self.staged())
        files = {row[0]: row for row in table(package, "File")}
        # File, Component_, FileName, FileSize, Version, Language, Attributes, Sequence
        self.assertEqual(["1.0.0.1", "1033"], files["HalvoSetting.exe"][4:6])
        self.assertEqual(["", ""], files["ReadMe.txt"][4:6])
        self.assertEqual(["ReadMe.txt"], [row[0] for row in table(package, "MsiFileHash")])

    def test_allows_only_64_bit_vista_and_7_and_refuses_a_downgrade(self):
        conditions = dict(table(self.build(self.staged()), "LaunchCondition"))
        self.assertEqual(
            "Halvo Setting needs 64-bit Windows Vista or Windows 7.",
            conditions["Installed OR (VersionNT64 AND (VersionNT = 600 OR VersionNT = 601))"])
        self.assertEqual("A newer version of Halvo Setting is already installed.",
                         conditions["NOT WIX_DOWNGRADE_DETECTED"])

    def test_replaces_older_versions_and_its_own_with_another_fourth_number(self):
        rows = table(self.build(self.staged()), "Upgrade")
        # UpgradeCode, VersionMin, VersionMax, Language, Attributes, Remove, ActionProperty:
        # 0x201 = features migrated, maximum included; 0x2 = detect only, minimum excluded.
        self.assertCountEqual([[UPGRADE_CODE, "", "1.0.0.1", "", "513", "", "WIX_UPGRADE_DETECTED"],
                               [UPGRADE_CODE, "1.0.0.1", "", "", "2", "", "WIX_DOWNGRADE_DETECTED"]],
                              rows)

    def test_product_code_changes_with_the_version_and_only_with_it(self):
        files = self.staged()
        codes = {}
        for version in ("1.0.0.1", "1.0.1.1"):
            package = self.build(files, version, folder=version)
            codes[version] = dict(table(package, "Property"))["ProductCode"]
        self.assertNotEqual(codes["1.0.0.1"], codes["1.0.1.1"])
        with open(os.path.join(files, "ReadMe.txt"), "ab") as f:
            f.write(b"changed\r\n")
        again = dict(table(self.build(files, "1.0.0.1", folder="again"), "Property"))
        self.assertEqual(codes["1.0.0.1"], again["ProductCode"])

    def test_package_code_changes_with_the_contents(self):
        files = self.staged()
        first = summary(self.build(files, folder="one"))["Revision number (UUID)"]
        with open(os.path.join(files, "ReadMe.txt"), "ab") as f:
            f.write(b"changed\r\n")
        second = summary(self.build(files, folder="two"))["Revision number (UUID)"]
        self.assertNotEqual(first, second)

    def test_refuses_a_source_that_installs_other_files_than_the_release_ships(self):
        files = self.staged()
        with open(package_msi.SOURCE, encoding="utf-8") as f:
            source = f.read()
        self.assertEqual(["HalvoCheck.exe", "HalvoSetting.exe", "ReadMe.txt"],
                         package_msi.files_of(source))
        original, package_msi.PROGRAMS = package_msi.PROGRAMS, ["HalvoSetting.exe", "HalvoCheck.exe",
                                                                "Other.exe"]
        try:
            with self.assertRaisesRegex(ValueError, "Other.exe"):
                self.build(files)
        finally:
            package_msi.PROGRAMS = original

    def test_an_attribute_wixl_leaves_out_fails_the_build(self):
        with open(package_msi.SOURCE, encoding="utf-8") as f:
            source = f.read()
        changed = os.path.join(self.scratch, "HalvoSetting.wxs")
        with open(changed, "w", encoding="utf-8") as f:
            f.write(source.replace('<Component Id="ReadMe.txt"',
                                   '<Component Id="ReadMe.txt" Permanent="yes"'))
        original, package_msi.SOURCE = package_msi.SOURCE, changed
        try:
            with self.assertRaisesRegex(ValueError, "Permanent"):
                self.build(self.staged())
        finally:
            package_msi.SOURCE = original


class Reproducible(Scratch):
    def test_the_same_bytes_elsewhere_later_in_another_time_zone(self):
        first = self.build(self.staged("one"), folder="dist-one")
        # Later by more than the cabinet's two-second steps, and the files newer still.
        time.sleep(2.1)
        files = self.staged("second/folder")
        for name in os.listdir(files):
            os.utime(os.path.join(files, name), (time.time() + 3600, time.time() + 3600))
        os.environ["TZ"] = "Pacific/Auckland"
        time.tzset()
        try:
            second = self.build(files, folder="second/dist")
        finally:
            del os.environ["TZ"]
            time.tzset()
        with open(first, "rb") as a, open(second, "rb") as b:
            self.assertTrue(a.read() == b.read(), "the two packages differ")

    def test_a_difference_is_told_by_stream(self):
        files = self.staged()
        first = self.build(files, folder="one")
        with open(os.path.join(files, "ReadMe.txt"), "ab") as f:
            f.write(b"changed\r\n")
        second = self.build(files, folder="two")
        with open(first, "rb") as a, open(second, "rb") as b:
            text = "\n".join(compare_builds.describe("HalvoSetting.msi", a.read(), b.read()))
        self.assertIn("HalvoSetting.msi differs", text)
        self.assertIn("stream HalvoSetting.cab", text)
        self.assertIn("stream \\x05SummaryInformation", text)  # the package code
        self.assertNotIn("stream !Property", text)

    def test_times_are_the_commits(self):
        info = summary(self.build(self.staged()))
        self.assertEqual("Tue Dec  8 16:47:59 2026", info["Created"])
        self.assertEqual("Tue Dec  8 16:47:59 2026", info["Last saved"])


class Signing(Scratch):
    """A throwaway self-signed certificate; its password only in the environment."""

    def setUp(self):
        super().setUp()
        key, certificate = (os.path.join(self.scratch, n) for n in ("key.pem", "cert.pem"))
        self.certificate, self.pfx = certificate, os.path.join(self.scratch, "test.pfx")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                        "-subj", "/CN=Halvo Setting test signer", "-keyout", key,
                        "-out", certificate], check=True, capture_output=True)
        os.environ["HALVO_TEST_PFX_PASSWORD"] = "not on any command line"
        self.addCleanup(os.environ.pop, "HALVO_TEST_PFX_PASSWORD")
        subprocess.run(["openssl", "pkcs12", "-export", "-inkey", key, "-in", certificate,
                        "-out", self.pfx, "-passout", "env:HALVO_TEST_PFX_PASSWORD"], check=True)

    def verify(self, path):
        return subprocess.run(["osslsigncode", "verify", "-CAfile", self.certificate, "-in", path],
                              capture_output=True, text=True)

    def signer(self, variable="HALVO_TEST_PFX_PASSWORD"):
        return sign_release.Signer(self.pfx, "Halvo Setting", variable)

    def test_signed_program_and_package_verify_and_a_changed_byte_fails(self):
        files = self.staged()
        program = os.path.join(files, "HalvoSetting.exe")
        with self.signer() as signer:
            signer.sign(program)
            package = self.build(files)
            signer.sign(package)
            folder = signer.folder
        self.assertFalse(os.path.exists(folder), "the key was left behind")
        for path, inside in ((program, b"Halvo Setting"), (package, b"Halvo Setting developers")):
            with self.subTest(path=os.path.basename(path)):
                done = self.verify(path)
                self.assertEqual(0, done.returncode, done.stdout + done.stderr)
                self.assertIn("Signature verification: ok", done.stdout)
                with open(path, "rb") as f:
                    data = bytearray(f.read())
                data[data.find(inside) + 1] ^= 0x01
                changed = path + ".changed"
                with open(changed, "wb") as f:
                    f.write(data)
                self.assertNotEqual(0, self.verify(changed).returncode)

    def test_release_packs_the_programs_signed_and_signs_the_package(self):
        build = os.path.join(self.scratch, "build")
        for folder, name in (("app", "HalvoSetting.exe"), ("app", "HalvoCheck.exe"),
                             ("res/made", "HalvoSetting.ico")):
            os.makedirs(os.path.join(build, folder), exist_ok=True)
            shutil.copyfile(os.path.join(BUILD, folder, name), os.path.join(build, folder, name))
        for name in ("HalvoSetting.exe.debug", "HalvoCheck.exe.debug"):
            with open(os.path.join(build, "app", name), "wb") as f:
                f.write(b"symbols")
        dist = os.path.join(self.scratch, "dist")
        os.environ[sign_release.PASSWORD_VARIABLE] = os.environ["HALVO_TEST_PFX_PASSWORD"]
        self.addCleanup(os.environ.pop, sign_release.PASSWORD_VARIABLE)
        shipped, _, package = package_release.release(build, GUIDE, dist, EPOCH, self.pfx)
        self.assertEqual(0, self.verify(package).returncode)
        unpacked = os.path.join(self.scratch, "unpacked")
        with zipfile.ZipFile(shipped) as archive:
            archive.extractall(unpacked)
        for name in ("HalvoSetting.exe", "HalvoCheck.exe"):
            self.assertEqual(0, self.verify(os.path.join(unpacked, name)).returncode, name)
        subprocess.run(["sha256sum", "--check", "--strict", "--quiet", "SHA256SUMS"],
                       cwd=unpacked, check=True)
        installed = os.path.join(self.scratch, "installed")
        os.makedirs(installed)
        subprocess.run(["msiextract", "-C", installed, package], check=True, capture_output=True)
        for folder, _, names in os.walk(installed):
            for name in names:
                if name == "HalvoSetting.exe":
                    self.assertEqual(0, self.verify(os.path.join(folder, name)).returncode)
                    return
        self.fail("no HalvoSetting.exe in the package")

    def test_the_password_is_on_no_command_line(self):
        # Each tool the signing starts is found through a shim that writes down its arguments.
        shims, calls = os.path.join(self.scratch, "shims"), os.path.join(self.scratch, "calls")
        os.makedirs(shims)
        for tool in ("openssl", "osslsigncode"):
            with open(os.path.join(shims, tool), "w") as f:
                f.write(f'#!/bin/sh\nprintf "%s\\n" "$*" >> {calls}\nexec {shutil.which(tool)} "$@"\n')
            os.chmod(os.path.join(shims, tool), 0o755)
        path = os.environ["PATH"]
        os.environ["PATH"] = shims + os.pathsep + path
        try:
            with self.signer() as signer:
                signer.sign(os.path.join(self.staged(), "HalvoSetting.exe"))
        finally:
            os.environ["PATH"] = path
        with open(calls) as f:
            lines = f.read().splitlines()
        self.assertEqual(3, len(lines), lines)  # the key, the certificates, one signature
        for line in lines:
            self.assertNotIn(os.environ["HALVO_TEST_PFX_PASSWORD"], line)

    def test_unsigned_program_does_not_verify(self):
        self.assertNotEqual(0, self.verify(os.path.join(APP, "HalvoSetting.exe")).returncode)

    def test_wrong_password_or_none_is_refused(self):
        with self.assertRaisesRegex(sign_release.SigningError, "HALVO_NOT_SET"):
            self.signer("HALVO_NOT_SET")
        os.environ["HALVO_TEST_WRONG"] = "wrong"
        self.addCleanup(os.environ.pop, "HALVO_TEST_WRONG")
        with self.assertRaisesRegex(sign_release.SigningError, "wrong password"):
            with self.signer("HALVO_TEST_WRONG"):
                pass


if __name__ == "__main__":
    unittest.main()
