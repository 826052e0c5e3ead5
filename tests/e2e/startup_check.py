#!/usr/bin/env python3
"""The start-up check end to end. HalvoCheck.exe as it ships, on this machine, which has no codec
driver: the first test fails with its advice and exit code 1. Then the checker's code hosted by
the bench (halvo-sim check) on each simulated machine: every test's status, the failing test's
line and advice, the exit code, and the state file left as it was."""

import json
import os
import re
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = os.environ.get("HALVO_BUILD_DIR", os.path.join(ROOT, "build"))
WINE_EXEC = os.path.join(ROOT, "scripts", "lib", "wine-exec")
CHECKER = os.path.join(BUILD, "app", "HalvoCheck.exe")
PRODUCT = os.path.join(BUILD, "app", "HalvoSetting.exe")
SIM = os.path.join(BUILD, "sim", "halvo-sim.exe")
sys.path.insert(0, os.path.join(ROOT, "scripts", "lib"))
from pe_image import PeImage  # noqa: E402

SPEAKERS = "{0.0.0.00000000}.{8d1c5a3e-6f0b-4c2a-9e41-2b7d0c9f4a10}"
TESTS = ["codec driver", "effect set", "extension library", "library exports",
         "speaker endpoint", "Windows version", "FX store"]
# What Vista x64 ships, of what a console program may import.
VISTA_DLLS = {"advapi32.dll", "kernel32.dll", "msvcrt.dll", "ole32.dll", "oleaut32.dll",
              "setupapi.dll", "shell32.dll", "user32.dll", "gdi32.dll", "comctl32.dll",
              "comdlg32.dll", "winspool.drv", "version.dll", "shlwapi.dll"}
failures = []


def fail(what):
    failures.append(what)
    print("FAIL " + what)


def run(*args):
    """A program under Wine: its exit code and its lines. Output goes through a file: a Wine
    process the program starts would hold a pipe open."""
    with tempfile.TemporaryFile() as out:
        code = subprocess.run([WINE_EXEC, *args], stdout=out, stderr=subprocess.DEVNULL,
                              stdin=subprocess.DEVNULL, timeout=120).returncode
        out.seek(0)
        return code, out.read().decode("utf-8").splitlines()


def statuses(lines):
    """Each test's status, by number, and the line that says what to do (with the number of the
    test it follows)."""
    found, advice, last = {}, [], None
    for line in lines:
        match = re.match(r"^(\d) ([^:]+): (OK|FAILED|NOT CHECKED), ", line)
        if match:
            last = int(match.group(1))
            if match.group(2) != TESTS[last - 1]:
                fail(f"test {last} is called {match.group(2)!r}")
            found[last] = match.group(3)
        elif line.startswith("  What to do: "):
            advice.append((last, line))
    return found, advice


def expect_run(name, code, lines, expected_code, failed, not_checked=(), parts=()):
    """One run: its exit code, every test's status, one advice after the first failed test, the
    result line, and texts that must appear in a test's line or the advice."""
    print(f"{name}: exit {code}")
    for line in lines:
        print("    " + line)
    if code != expected_code:
        fail(f"{name}: exit code {code}, expected {expected_code}")
    found, advice = statuses(lines)
    expected = {test: "FAILED" if test in failed else "NOT CHECKED" if test in not_checked
                else "OK" for test in range(1, 8)}
    if found != expected:
        fail(f"{name}: statuses {found}, expected {expected}")
    first = min(failed) if failed else None
    if [test for test, _ in advice] != ([first] if first else []):
        fail(f"{name}: advice after tests {[test for test, _ in advice]}, expected {first}")
    result = ("Result: Halvo Setting would show its sheet." if not first else
              f"Result: Halvo Setting would end without a window (test {first} failed).")
    if not lines or lines[-1] != result:
        fail(f"{name}: last line {lines[-1:]}, expected {result!r}")
    text = "\n".join(lines)
    for part in parts:
        if part not in text:
            fail(f"{name}: no {part!r} in the output")


def check_shipped_program():
    code, lines = run(CHECKER)
    print(f"HalvoCheck.exe on this machine: exit {code}")
    for line in lines:
        print("    " + line)
    # Tests 3 to 7 depend on this machine (its library search path, Wine's endpoints); the first
    # failure, its advice and the code do not.
    found, advice = statuses(lines)
    if code != 1:
        fail(f"HalvoCheck.exe on this machine: exit code {code}, expected 1")
    if sorted(found) != list(range(1, 8)):
        fail(f"HalvoCheck.exe on this machine: lines for tests {sorted(found)}")
    expected = ["1 codec driver: FAILED, no supported HD Audio codec with its driver found",
                "  What to do: install the audio driver from the computer's maker (the HD Audio "
                "codec driver Halvo Setting works with), restart Windows, then run HalvoCheck "
                "again.",
                "2 effect set: NOT CHECKED, needs the codec driver"]
    if lines[1:4] != expected or len(advice) != 1:
        fail(f"HalvoCheck.exe on this machine: {lines[1:4]}, expected {expected}, one advice")
    if not lines or lines[0] != "Halvo Setting start-up check " + PeImage(
            open(PRODUCT, "rb").read()).version():
        fail(f"first line {lines[:1]}")
    if not lines or lines[-1] != ("Result: Halvo Setting would end without a window "
                                  "(test 1 failed)."):
        fail(f"last line {lines[-1:]}")

    code, lines = run(CHECKER, "/?")
    if code != 0 or not lines or lines[0] != "usage: HalvoCheck":
        fail(f"HalvoCheck /? ended with {code}: {lines[:1]}")
    code, lines = run(CHECKER, "--state")
    if code != 100 or not lines or lines[0] != "HalvoCheck takes no arguments: --state":
        fail(f"HalvoCheck --state ended with {code}: {lines[:1]}")

    with open(CHECKER, "rb") as f:
        checker = f.read()
    with open(PRODUCT, "rb") as f:
        product = PeImage(f.read())
    image = PeImage(checker)
    if image.version() != product.version():
        fail(f"version {image.version()}, the program's is {product.version()}")
    subsystem = int.from_bytes(checker[image.optional + 68:image.optional + 70], "little")
    if subsystem != 3:
        fail(f"subsystem {subsystem}, not the console (3)")
    dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", CHECKER], capture_output=True,
                          text=True, check=True).stdout
    imports = {name.lower() for name in re.findall(r"DLL Name: (\S+)", dump)}
    if not imports or imports - VISTA_DLLS:
        fail(f"imports {sorted(imports - VISTA_DLLS)}, which Vista x64 does not ship")
    # It changes nothing: it cannot even reach the registry, where the program's per-user switch
    # and the framework's key live.
    registry = sorted(set(re.findall(r"\b(Reg[A-Z]\w+)", dump)))
    if registry:
        fail(f"imports registry functions {registry}")
    for text in ["Halvo Setting start-up check", "HalvoCheck.exe", "Halvo Setting developers"]:
        if text.encode("utf-16-le") not in checker:
            fail(f"no {text!r} in the version resource")


def check_simulated_machines(folder):
    state_path = os.path.join(folder, "state.json")
    state_arg = ["--state", "Z:" + state_path.replace("/", "\\")]
    code, _ = run(SIM, "reset", *state_arg)
    if code != 0:
        fail(f"halvo-sim reset ended with {code}")
        return
    with open(state_path, encoding="utf-8") as f:
        laptop = json.load(f)

    def machine(change=None):
        state = json.loads(json.dumps(laptop))
        if change:
            change(state)
        with open(state_path, "w", encoding="utf-8") as f:
            json.dump(state, f, indent=2)
        with open(state_path, "rb") as f:
            return f.read()

    def check(name, change, *options, **expected):
        before = machine(change)
        code, lines = run(SIM, "check", *state_arg, *options)
        expect_run(name, code, lines, **expected)
        with open(state_path, "rb") as f:
            if f.read() != before:
                fail(f"{name}: the check changed the state file")

    def set_driver(key, value):
        return lambda state: state["driver"].__setitem__(key, value)

    def set_windows(version):
        return lambda state: state.__setitem__("windows", version)

    def without_speakers(state):
        state["endpoints"] = [e for e in state["endpoints"] if e["id"] != SPEAKERS]

    check("the laptop", None, expected_code=0, failed=set(),
          parts=["1 codec driver: OK, found \\\\?\\hdaudio#func_01&ven_9e5b&dev_0615",
                 "2 effect set: OK, the driver reports the Halvo effects installed (0x00000008)",
                 "3 extension library: OK, loaded ", "\\sim\\XANPropPageExt.dll",
                 "4 library exports: OK, all 91 names found",
                 f'5 speaker endpoint: OK, "Speakers (XAN High Definition Audio)", active, '
                 f"id {SPEAKERS}",
                 "7 FX store: OK, the endpoint's effect store opens read-only"])
    check("no codec driver", set_driver("interfaces", []), expected_code=1, failed={1},
          not_checked={2},
          parts=["1 codec driver: FAILED, no supported HD Audio codec with its driver found\n"
                 "  What to do: install the audio driver from the computer's maker"])
    check("effect set not installed", set_driver("effectSupport", 0), expected_code=2,
          failed={2}, parts=["2 effect set: FAILED, the driver reports 0x00000000: bit 3, the "
                             "Halvo effects, is not set", "  What to do: install the maker's "
                             "audio driver package that includes the Halvo effects"])
    check("no extension library", None, "--extension", "none", expected_code=3, failed={3},
          not_checked={4},
          parts=["3 extension library: FAILED, XANPropPageExt.dll was not found on the library "
                 "search path\n  What to do: put XANPropPageExt.dll in the folder of "
                 "HalvoSetting.exe or in a folder on the PATH."])
    for variant, missing in [("missing-last", "Set_XAN_KaraokeDMicVolume"),
                             ("missing-middle", "Set_XAN_LOUDNESS_EQUAL"),
                             ("wrong-case", "Set_XAN_HPP")]:
        check(f"extension library {variant}", None, "--extension", variant, expected_code=4,
              failed={4},
              parts=[f"\\sim\\extension\\{variant}\\XANPropPageExt.dll",
                     f"4 library exports: FAILED, 1 of 91 names missing: {missing}\n"
                     f"  What to do: this XANPropPageExt.dll lacks {missing} "])
    check("no kind-0 endpoint", without_speakers, expected_code=5, failed={5}, not_checked={7},
          parts=["5 speaker endpoint: FAILED, none of the 5 audio endpoints listed is the "
                 "maker's speaker endpoint\n  What to do: no speaker endpoint of the maker's "
                 "codec is present"])
    check("Windows 6.0", set_windows("6.0"), expected_code=0, failed=set(),
          parts=["6 Windows version: OK, 6.0 (Windows Vista)"])
    check("Windows 6.1", set_windows("6.1"), expected_code=0, failed=set(),
          parts=["6 Windows version: OK, 6.1 (Windows 7)"])
    check("Windows 6.2", set_windows("6.2"), expected_code=6, failed={6}, not_checked={7},
          parts=["6 Windows version: FAILED, 6.2, but Halvo Setting runs on Windows Vista (6.0) "
                 "and Windows 7 (6.1) only\n  What to do: use Halvo Setting on 64-bit Windows "
                 "Vista or Windows 7"])


def main():
    check_shipped_program()
    with tempfile.TemporaryDirectory() as folder:
        check_simulated_machines(folder)
    print(f"{len(failures)} failure(s)" if failures else "all passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
