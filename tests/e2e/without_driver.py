#!/usr/bin/env python3
"""The product itself on this machine, which has no codec driver: it ends at once with status 0
and without a word. A modal sheet or a message box would keep it running until the time-out;
any window of it that shows, even for a moment, is seen on the display while it runs."""

import os
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = os.environ.get("HALVO_BUILD_DIR", os.path.join(ROOT, "build"))
WINE_EXEC = os.path.join(ROOT, "scripts", "lib", "wine-exec")
PRODUCT = os.path.join(BUILD, "app", "HalvoSetting.exe")
TIME_OUT = 60


def shown_windows():
    """The X windows of HalvoSetting.exe on the display that are mapped now (Wine names their
    class after the program)."""
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--classname",
                            "^halvosetting\\.exe$"], capture_output=True, text=True)
    return set(found.stdout.split())


def main():
    if not os.environ.get("DISPLAY"):
        os.execvp("xvfb-run", ["xvfb-run", "-a", "-s", "-screen 0 1280x1024x24",
                               sys.executable, *sys.argv])
    with tempfile.TemporaryFile() as output:
        started = time.monotonic()
        program = subprocess.Popen([WINE_EXEC, PRODUCT], stdin=subprocess.DEVNULL,
                                   stdout=output, stderr=subprocess.STDOUT)
        seen = set()
        while program.poll() is None and time.monotonic() - started < TIME_OUT:
            seen |= shown_windows()
            time.sleep(0.02)
        if program.poll() is None:
            program.kill()
            program.wait()
            print(f"FAIL still running after {TIME_OUT} s")
            return 1
        took = time.monotonic() - started
        output.seek(0)
        said = output.read().decode(errors="replace").strip()
    print(f"ended with status {program.returncode} after {took:.1f} s")
    failures = []
    if program.returncode != 0:
        failures.append(f"status {program.returncode}")
    if seen:
        failures.append(f"{len(seen)} window(s) shown")
    if said:
        failures.append(f"output: {said}")
    for failure in failures:
        print("FAIL " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
