"""What the benchmark scripts share: the build tree, Wine started the way the project's scripts
start it, figures printed the way every benchmark prints them."""

import math
import os
import subprocess
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.environ.get("HALVO_BUILD_DIR", os.path.join(ROOT, "build"))
WINE_EXEC = os.path.join(ROOT, "scripts", "lib", "wine-exec")
SIM = os.path.join(BUILD, "sim", "halvo-sim.exe")
REFERENCE = os.path.join(BUILD, "bench", "halvo-reference.exe")
PRODUCT = os.path.join(BUILD, "app", "HalvoSetting.exe")
PROBE = os.path.join(BUILD, "tests", "halvo-probe.exe")
SPEAKERS = "{0.0.0.00000000}.{8d1c5a3e-6f0b-4c2a-9e41-2b7d0c9f4a10}"

ENV = dict(os.environ)
ENV.setdefault("WINEPREFIX", os.path.join(BUILD, "wineprefix"))
ENV.setdefault("WINEDEBUG", "-all")
ENV.setdefault("WINEDLLOVERRIDES", "mscoree,mshtml=")


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def prepare():
    """Makes the prefix and starts the server as every script here does."""
    subprocess.run([WINE_EXEC, "cmd.exe", "/c", "exit"], stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=ENV, check=True)


def wine(*args, env=None, timeout=60, check=True):
    """Runs a program under plain wine (the prefix is ready) and returns its output. Output goes
    through files, not pipes: a Wine process the program starts would hold a pipe open."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        code = subprocess.run(["wine", *args], stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                              env={**ENV, **(env or {})}, timeout=timeout).returncode
        out.seek(0)
        err.seek(0)
        stdout, stderr = out.read().decode(errors="replace"), err.read().decode(errors="replace")
    if check and code != 0:
        raise RuntimeError(f"{' '.join(args)} exited with {code}: {stderr.strip()}")
    return stdout


def start(*args, env=None):
    """Starts a program under wine and returns the process; its output is thrown away."""
    return subprocess.Popen(["wine", *args], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, env={**ENV, **(env or {})})


def figure(what, value, unit, goal=None, target=None):
    """Prints a figure as bench/Figures.h does; returns whether it meets its target. A value of
    NaN was taken from no samples: it reads "no samples" and misses any target."""
    shown = "no samples" if math.isnan(value) else f"{value:.6g} {unit}"
    if goal is None:
        print(f"figure: {what} = {shown} (no target)", flush=True)
        return True
    met = not math.isnan(value) and {"<=": value <= target, ">=": value >= target,
                                     "==": value == target}[goal]
    print(f"figure: {what} = {shown} (target {goal} {target:.6g}) "
          f"{'met' if met else 'MISSED'}", flush=True)
    return met


def count_figure(what, count, members, unit, goal=None, target=None):
    """A count over `members` things, `unit` naming them in the plural, as bench/Figures.h's
    CountFigure: with no members there was nothing to count, and it reads "no <unit>" and misses
    any target."""
    if members > 0:
        return figure(what, count, unit, goal, target)
    shown = f"no {unit}"
    if goal is None:
        print(f"figure: {what} = {shown} (no target)", flush=True)
    else:
        print(f"figure: {what} = {shown} (target {goal} {target:.6g}) MISSED", flush=True)
    return False


def quantile(samples, q):
    """Nearest rank, as bench/Figures.h; NaN for no samples."""
    if not samples:
        return math.nan
    ordered = sorted(samples)
    rank = min(max(1, int(q * len(ordered) + 0.999999)), len(ordered))
    return ordered[rank - 1]


def median(samples):
    """The middle sample (the mean of the two middle ones); NaN for no samples."""
    if not samples:
        return math.nan
    ordered = sorted(samples)
    middle = len(ordered) // 2
    return ordered[middle] if len(ordered) % 2 else (ordered[middle - 1] + ordered[middle]) / 2
