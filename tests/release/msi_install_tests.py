#!/usr/bin/env python3
"""The installer under Wine's msiexec, each case in a Wine prefix of its own (copied from one
made here, never the build's): a silent install puts the program, the guide, the Start-menu
shortcut and the Programs and Features entry where they belong, and the program started from the
shortcut's target on this machine, which has no codec driver, ends silently; a newer version
replaces an older one in place and an older one is refused over it; a machine that reports
Windows 8 is refused with nothing written; uninstalling leaves the prefix's files and registry as
they were before the install."""

import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = os.environ.get("HALVO_BUILD_DIR", os.path.join(ROOT, "build"))
sys.path.insert(0, os.path.join(ROOT, "scripts", "lib"))

import package_msi  # noqa: E402
import package_release  # noqa: E402
from pe_image import PeImage  # noqa: E402

PRODUCT = os.path.join(BUILD, "app", "HalvoSetting.exe")
NEXT_PRODUCT = os.path.join(BUILD, "tests", "release", "next-version", "HalvoSetting.exe")
ICON = os.path.join(BUILD, "res", "made", "HalvoSetting.ico")
EPOCH = 1796748479

# Written out here, not taken from the packing code.
INSTALL_FOLDER = "C:\\Program Files\\Halvo Setting"
UNINSTALL = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
DISPLAY_NAME = "Halvo Setting"
PUBLISHER = "Halvo Setting developers"
# msiexec's exit code reaches the Linux shell as its low byte: 1603 (ERROR_INSTALL_FAILURE) as 67.
INSTALL_FAILURE = 1603 & 0xFF

# What Windows Installer keeps of its own once it has run, empty after our uninstall: its cache
# folder and the roots of its registration keys. Anything below them would be ours.
INSTALLER_FOLDERS = {"windows/Installer"}
INSTALLER_KEYS = {
    "system.reg " + key for key in (
        "[Software\\\\Classes\\\\Installer\\\\Features]",
        "[Software\\\\Classes\\\\Installer\\\\Products]",
        "[Software\\\\Classes\\\\Installer\\\\UpgradeCodes]",
        "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Installer\\\\UpgradeCodes]",
        "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Installer\\\\UserData\\\\"
        "S-1-5-18\\\\Components]",
        "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Installer\\\\UserData\\\\"
        "S-1-5-18\\\\Products]")}
# Wine's display driver writes this time on every start.
RESTLESS_VALUES = ("\"DriverDateData\"=",)

work = None
packages = {}
versions = {}


def wine_environment(prefix):
    return dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all",
                # No Mono or Gecko, and no menu entries written into this user's Linux desktop.
                WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d")


def setUpModule():
    global work
    work = tempfile.mkdtemp(prefix="halvo-msi-tests.")
    version = PeImage(open(PRODUCT, "rb").read()).version()
    major, minor, patch, build = version.split(".")
    versions.update(current=version, next=f"{major}.{minor}.{int(patch) + 1}.{build}",
                    rebuilt=f"{major}.{minor}.{patch}.{int(build) + 1}")
    for name, program, override in (
            ("current", PRODUCT, None), ("next", NEXT_PRODUCT, None),
            ("rebuilt", PRODUCT, versions["rebuilt"])):
        files = os.path.join(work, name)
        os.makedirs(files)
        # Every shipped program from the build, the product from the build being packed.
        package_release.stage(os.path.dirname(PRODUCT), os.path.join(ROOT, "docs",
                              "install-guide.txt"), ICON, files)
        shutil.copyfile(program, os.path.join(files, "HalvoSetting.exe"))
        packages[name] = package_msi.build(files, os.path.join(work, "dist-" + name), EPOCH,
                                           override)
    pristine = os.path.join(work, "pristine")
    environment = wine_environment(pristine)
    subprocess.run(["wineboot", "-i"], env=environment, check=True, capture_output=True)
    for key, value in (("HKCU\\Software\\Wine\\X11 Driver", "Managed"),
                       ("HKCU\\Software\\Wine\\Drivers", "Audio")):
        subprocess.run(["wine", "reg", "add", key, "/v", value, "/d",
                        "N" if value == "Managed" else "", "/f"], env=environment,
                       check=True, capture_output=True)
    # Windows 7, as the machines the program is for. The first program that loads the display
    # driver rewrites its registry keys: done here, so that the tests' snapshots see only what
    # the installer did.
    subprocess.run(["wine", "winecfg", "-v", "win7"], env=environment, check=True,
                   stdin=subprocess.DEVNULL, capture_output=True)
    subprocess.run(["wineserver", "-w"], env=environment, check=True)


def tearDownModule():
    shutil.rmtree(work, ignore_errors=True)


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def registry_file(path):
    """{"[key]": {"name"=value lines}} of one of Wine's .reg files, times left out."""
    keys, key = {}, None
    with open(path, encoding="utf-8", errors="replace") as f:
        text = f.read().replace("\\\n", "")
    for line in text.splitlines():
        if line.startswith("["):
            key = line[:line.rindex("]") + 1]
            keys.setdefault(key, set())
        elif key and line and not line.startswith("#"):
            if not line.startswith(RESTLESS_VALUES):
                keys[key].add(line)
    return keys


def shortcut_target(path):
    """The local path a shell link points to (its LinkInfo), and its working folder."""
    with open(path, "rb") as f:
        data = f.read()
    flags = struct.unpack_from("<I", data, 0x14)[0]
    at = 0x4C
    if flags & 0x1:  # HasLinkTargetIDList
        at += 2 + struct.unpack_from("<H", data, at)[0]
    if not flags & 0x2:  # HasLinkInfo
        return None, None
    size, _, _, _, base = struct.unpack_from("<IIIII", data, at)
    target = data[at + base:data.index(b"\0", at + base)].decode("latin-1")
    at += size
    strings = []
    for bit in (0x4, 0x8, 0x10, 0x20, 0x40):  # name, relative path, working folder, args, icon
        if flags & bit:
            count = struct.unpack_from("<H", data, at)[0]
            text = data[at + 2:at + 2 + 2 * count].decode("utf-16-le")
            strings.append((bit, text.rstrip("\0")))  # Wine counts the terminator in
            at += 2 + 2 * count
    return target, dict(strings).get(0x10)


class Prefix:
    """A copy of the prefix made for these tests, with what a test asks of it."""

    def __init__(self, name):
        self.path = os.path.join(work, name)
        shutil.copytree(os.path.join(work, "pristine"), self.path, symlinks=True)
        self.environment = wine_environment(self.path)

    def close(self):
        subprocess.run(["wineserver", "-k"], env=self.environment, capture_output=True)
        subprocess.run(["wineserver", "-w"], env=self.environment, capture_output=True)
        shutil.rmtree(self.path, ignore_errors=True)

    def wine(self, *arguments, **options):
        return subprocess.run(["wine", *arguments], env=self.environment, capture_output=True,
                              stdin=subprocess.DEVNULL, timeout=120, **options)

    def msiexec(self, action, package):
        """msiexec /i or /x PACKAGE /qn with a verbose log; the exit code and the log."""
        log = os.path.join(work, f"{os.path.basename(self.path)}-{time.monotonic_ns()}.log")
        done = self.wine("msiexec", action, windows_path(package), "/qn", "/l*v",
                         windows_path(log))
        with open(log, "rb") as f:
            text = f.read().decode("utf-8", errors="replace")
        return done.returncode, text

    def unix(self, windows):
        """The file in the prefix at a C: path."""
        return os.path.join(self.path, "drive_c", *windows[3:].split("\\"))

    def snapshot(self):
        """The prefix's files and registry, once Wine has written the registry out."""
        subprocess.run(["wineserver", "-w"], env=self.environment, check=True)
        root = os.path.join(self.path, "drive_c")
        files = set()
        for folder, folders, names in os.walk(root):
            files |= {os.path.relpath(os.path.join(folder, n), root) for n in folders + names}
        registry = {}
        for name in ("system.reg", "user.reg", "userdef.reg"):
            for key, values in registry_file(os.path.join(self.path, name)).items():
                registry[f"{name} {key}"] = values
        return files, registry

    def uninstall_entries(self):
        """{subkey: {value name: data}} of the Programs and Features entries named ours."""
        done = self.wine("reg", "query", UNINSTALL, "/s")
        entries, key = {}, None
        for line in done.stdout.decode(errors="replace").splitlines():
            if line.startswith("HKEY_"):
                key = line.rsplit("\\", 1)[1]
                entries[key] = {}
            elif key and line.startswith("    "):
                parts = line.strip().split(None, 2)
                entries[key][parts[0]] = parts[2] if len(parts) == 3 else ""
        return {k: v for k, v in entries.items() if v.get("DisplayName") == DISPLAY_NAME}


def changes(before, after):
    """What differs between two snapshots, less what Windows Installer keeps of its own."""
    files = [f"file added: {p}" for p in sorted(after[0] - before[0]) if p not in INSTALLER_FOLDERS]
    files += [f"file removed: {p}" for p in sorted(before[0] - after[0])]
    keys = []
    for key in sorted(set(before[1]) | set(after[1])):
        old, new = before[1].get(key), after[1].get(key)
        if old == new or (old is None and new == set() and key in INSTALLER_KEYS):
            continue
        if old is None:
            keys.append(f"key added: {key} {sorted(new)}")
        elif new is None:
            keys.append(f"key removed: {key}")
        else:
            keys.append(f"key changed: {key} added {sorted(new - old)} removed {sorted(old - new)}")
    return files + keys


def read(path):
    with open(path, "rb") as f:
        return f.read()


class PrefixTest(unittest.TestCase):
    def setUp(self):
        self.prefix = Prefix(self.id().rsplit(".", 1)[1])
        self.addCleanup(self.prefix.close)

    def install(self, package, expected=0):
        code, log = self.prefix.msiexec("/i", package)
        self.assertEqual(expected, code, f"msiexec /i {os.path.basename(package)}; log:\n"
                         + log[-3000:])
        return log


class Install(PrefixTest):
    def test_places_program_guide_shortcut_and_entry(self):
        log = self.install(packages["current"])
        program = self.prefix.unix(INSTALL_FOLDER + "\\HalvoSetting.exe")
        self.assertEqual(read(PRODUCT), read(program))
        guide = read(self.prefix.unix(INSTALL_FOLDER + "\\ReadMe.txt"))
        self.assertTrue(guide.startswith(b"Halvo Setting\r\n"), guide[:40])

        # Per machine. Wine resolves ProgramMenuFolder to the user's Start menu even so (Windows:
        # the all-users one); the shortcut must be where the installer put that folder.
        self.assertIn("Property(S): ALLUSERS = 1", log)
        menu = [line.split(" = ", 1)[1] for line in log.splitlines()
                if line.startswith("Property(S): ProgramMenuFolder = ")]
        self.assertEqual(1, len(menu), "ProgramMenuFolder not in the log")
        target, folder = shortcut_target(self.prefix.unix(menu[0] + "Halvo Setting.lnk"))
        self.assertEqual(INSTALL_FOLDER + "\\HalvoSetting.exe", target)
        self.assertEqual(INSTALL_FOLDER + "\\", folder)

        entries = self.prefix.uninstall_entries()
        self.assertEqual(1, len(entries), entries)
        (code, entry), = entries.items()
        self.assertEqual(versions["current"], entry.get("DisplayVersion"))
        self.assertEqual(PUBLISHER, entry.get("Publisher"))
        self.assertIn(f"MsiExec.exe /X{code}", entry.get("UninstallString"))
        # Wine keeps the product's icon with the installer's registration, as Windows does.
        icon = self.prefix.wine("reg", "query", "HKLM\\Software\\Classes\\Installer\\Products",
                                "/s").stdout.decode(errors="replace")
        icon_paths = [line.split("REG_SZ", 1)[1].strip() for line in icon.splitlines()
                      if line.strip().startswith("ProductIcon")]
        self.assertEqual(1, len(icon_paths), icon)
        self.assertEqual(read(ICON), read(self.prefix.unix(icon_paths[0])))

    def test_program_started_from_the_shortcut_ends_silently_without_the_driver(self):
        self.install(packages["current"])
        folder = self.prefix.unix(INSTALL_FOLDER)
        display = os.environ.get("DISPLAY")
        self.assertTrue(display, "needs a display (ctest runs under xvfb-run)")
        started = time.monotonic()
        program = subprocess.Popen(["wine", INSTALL_FOLDER + "\\HalvoSetting.exe"], cwd=folder,
                                   env=self.prefix.environment, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        windows = set()
        while program.poll() is None and time.monotonic() - started < 60:
            found = subprocess.run(["xdotool", "search", "--onlyvisible", "--classname",
                                    "^halvosetting\\.exe$"], capture_output=True, text=True)
            windows |= set(found.stdout.split())
            time.sleep(0.02)
        if program.poll() is None:
            program.kill()
        said = program.communicate()[0].decode(errors="replace").strip()
        self.assertEqual(0, program.returncode)
        self.assertEqual(set(), windows)
        self.assertEqual("", said)


class Upgrade(PrefixTest):
    def test_newer_replaces_older_in_place_and_older_is_refused_over_it(self):
        self.install(packages["current"])
        self.install(packages["next"])
        entries = self.prefix.uninstall_entries()
        self.assertEqual([versions["next"]], [e.get("DisplayVersion") for e in entries.values()])
        program = self.prefix.unix(INSTALL_FOLDER + "\\HalvoSetting.exe")
        self.assertEqual(read(NEXT_PRODUCT), read(program))

        before = self.prefix.snapshot()
        self.install(packages["current"], expected=INSTALL_FAILURE)
        self.assertEqual([], changes(before, self.prefix.snapshot()))
        self.assertEqual(read(NEXT_PRODUCT), read(program))

    def test_a_release_that_raises_only_the_fourth_number_replaces_in_place(self):
        self.install(packages["current"])
        self.install(packages["rebuilt"])
        entries = self.prefix.uninstall_entries()
        self.assertEqual([versions["rebuilt"]],
                         [e.get("DisplayVersion") for e in entries.values()])


class Refusal(PrefixTest):
    def test_windows_8_is_refused_and_nothing_is_written(self):
        self.prefix.wine("winecfg", "-v", "win8", check=True)
        before = self.prefix.snapshot()
        self.install(packages["current"], expected=INSTALL_FAILURE)
        self.assertEqual([], changes(before, self.prefix.snapshot()))


class Uninstall(PrefixTest):
    def test_leaves_the_files_and_registry_as_they_were(self):
        before = self.prefix.snapshot()
        self.install(packages["current"])
        self.install(packages["next"])
        code, log = self.prefix.msiexec("/x", packages["next"])
        self.assertEqual(0, code, log[-3000:])
        self.assertEqual([], changes(before, self.prefix.snapshot()))

    def test_removes_it_from_a_machine_moved_on_to_windows_8(self):
        self.install(packages["current"])
        self.prefix.wine("winecfg", "-v", "win8", check=True)
        code, log = self.prefix.msiexec("/x", packages["current"])
        self.assertEqual(0, code, log[-3000:])
        self.assertEqual({}, self.prefix.uninstall_entries())
        self.assertFalse(os.path.exists(self.prefix.unix(INSTALL_FOLDER)))


if __name__ == "__main__":
    if not os.environ.get("DISPLAY"):
        os.execvp("xvfb-run", ["xvfb-run", "-a", "-s", "-screen 0 1280x1024x24",
                               sys.executable, *sys.argv])
    unittest.main()
