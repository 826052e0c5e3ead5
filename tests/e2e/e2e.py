#!/usr/bin/env python3
"""End-to-end: halvo-sim under Wine on the test display, driven as a person would, with real
mouse input from xdotool at screen positions halvo-probe reads from the running sheet. Checks
the controls and the state file, and keeps a screenshot of each step in build/artifacts/e2e/, and
of the first-run sheet alone in sheet.png there (the README's picture)."""

import json
import os
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = os.environ.get("HALVO_BUILD_DIR", os.path.join(ROOT, "build"))
WINE_EXEC = os.path.join(ROOT, "scripts", "lib", "wine-exec")
SIM = os.path.join(BUILD, "sim", "halvo-sim.exe")
PROBE = os.path.join(BUILD, "tests", "halvo-probe.exe")
STATE = os.path.join(BUILD, "artifacts", "e2e", "state.json")
SHOTS = os.path.join(BUILD, "artifacts", "e2e")
STATE_ARG = ["--state", "Z:" + STATE.replace("/", "\\")]

SPEAKERS = "{0.0.0.00000000}.{8d1c5a3e-6f0b-4c2a-9e41-2b7d0c9f4a10}"
# How long a step waits for what it asks about. Nothing here is slow on an idle machine; beside
# two builds, a start of Wine alone can take seconds.
WAIT = 20.0
failures = []


def wine(*args, check=True, timeout=60):
    # Output goes through files, not pipes: a Wine process the program happens to start (the
    # desktop, say) inherits its descriptors and would hold a pipe open.
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        try:
            code = subprocess.run([WINE_EXEC, *args], stdout=out, stderr=err,
                                  timeout=timeout).returncode
        except subprocess.TimeoutExpired:
            raise RuntimeError(f"{' '.join(args)} did not end within {timeout} s") from None
        out.seek(0)
        err.seek(0)
        stdout, stderr = out.read().decode(), err.read().decode()
    if check and code != 0:
        raise RuntimeError(f"{' '.join(args)} failed with exit status {code}: "
                           f"{stderr.strip() or 'nothing on stderr'}")
    return stdout


def sim(*args):
    return wine(SIM, *args, *STATE_ARG)


def probe():
    return json.loads(wine(PROBE, "state"))


def state():
    with open(STATE, encoding="utf-8") as f:
        return json.load(f)


def fx(word_name, endpoint=SPEAKERS):
    for e in state()["endpoints"]:
        if e["id"] == endpoint:
            return e["fx"].get(word_name)
    return None


def writes():
    return [(w["key"], w["value"]) for w in state()["writes"]]


def expect(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        failures.append(what)


class Unanswered:
    """What the last wait that ran out was last told: the probe's or Wine's own words, or why the
    state file could not be read."""
    reason = None

    @classmethod
    def said(cls):
        return f" [{cls.reason}]" if cls.reason else ""


def until(condition, seconds=WAIT):
    """Asks until the condition holds or the time is up. A question that fails (no sheet yet, the
    state file half-written) is asked again; what it last failed with is kept for the report."""
    Unanswered.reason = None
    deadline = time.time() + seconds
    while True:
        try:
            if condition():
                Unanswered.reason = None
                return True
        except (OSError, ValueError, KeyError, RuntimeError) as error:
            Unanswered.reason = f"{type(error).__name__}: {error}"
        if time.time() >= deadline:
            return False
        time.sleep(0.1)


def expect_until(condition, what, seconds=WAIT):
    """The check comes to hold within the time, or fails naming what the last question was told."""
    expect(until(condition, seconds), what + Unanswered.said())


def reading_when(condition, seconds=WAIT):
    """The probe's reading of the sheet once the condition holds of that one reading, or None."""
    readings = []

    def holds():
        readings.append(probe())
        return condition(readings[-1])

    return readings[-1] if until(holds, seconds) else None


def expect_sheet(condition, what, seconds=WAIT):
    """The sheet comes to show what the condition asks of one reading within the time; returns
    that reading, or None after a failure naming what the probe last said."""
    reading = reading_when(condition, seconds)
    expect(reading is not None, what + Unanswered.said())
    return reading


def first_reading(what):
    """The first reading the probe can take: for a check of what the sheet shows from the start,
    where a wait would let a later change pass for it."""
    reading = reading_when(lambda sheet: True)
    if reading is None:
        raise RuntimeError(f"no reading of the sheet for {what}{Unanswered.said()}")
    return reading


def usable(control_id):
    """The control once a person could use it: shown and enabled."""
    key = str(control_id)
    reading = reading_when(lambda sheet: sheet["controls"][key]["visible"] and
                           sheet["controls"][key]["enabled"])
    if reading is None:
        raise RuntimeError(f"control {control_id} is not shown and enabled{Unanswered.said()}")
    return reading["controls"][key]


def screenshot(name):
    subprocess.run(["import", "-window", "root", os.path.join(SHOTS, name + ".png")],
                   capture_output=True)


def picture_of_sheet(frame):
    """The sheet alone, cut from the screen: the README's picture (docs/sheet.png) is this one."""
    size = "%dx%d+%d+%d" % (frame["right"] - frame["left"], frame["bottom"] - frame["top"],
                            frame["left"], frame["top"])
    subprocess.run(["import", "-window", "root", "-crop", size, "+repage",
                    os.path.join(SHOTS, "sheet.png")], capture_output=True)


def centre(control):
    return (control["left"] + control["right"]) // 2, (control["top"] + control["bottom"]) // 2


def click(control_id):
    x, y = centre(usable(control_id))
    subprocess.run(["xdotool", "mousemove", str(x), str(y), "click", "1"], check=True)


def drag_slider_to(position):
    """Drags the bass-boost thumb from where it is to the position, as a person would."""
    slider = usable(1005)
    left, right = slider["left"] + 11, slider["right"] - 11  # the channel inside the thumb's reach
    y = (slider["top"] + slider["bottom"]) // 2
    x_from = left + (right - left) * slider["position"] // 6
    x_to = left + (right - left) * position // 6
    subprocess.run(["xdotool", "mousemove", str(x_from), str(y), "mousedown", "1",
                    "sleep", "0.2", "mousemove", str((x_from + x_to) // 2), str(y),
                    "sleep", "0.1", "mousemove", str(x_to), str(y), "sleep", "0.2",
                    "mouseup", "1"], check=True)


def press_key_on_slider(key):
    """Gives the bass-boost slider the focus with a click on its thumb, which leaves the level as
    it is, then presses and lets go of the key once the slider has the focus of the sheet in
    front, where the key goes."""
    slider = usable(1005)
    left, right = slider["left"] + 11, slider["right"] - 11
    x = left + (right - left) * slider["position"] // 6
    y = (slider["top"] + slider["bottom"]) // 2
    subprocess.run(["xdotool", "mousemove", str(x), str(y), "click", "1"], check=True)
    if reading_when(lambda sheet: sheet["foreground"] and sheet["focus"] == 1005) is None:
        raise RuntimeError(f"the slider did not get the focus of the sheet in front"
                           f"{Unanswered.said()}")
    subprocess.run(["xdotool", "key", key], check=True)


def sheet_on_display():
    """Whether the sheet's own X window is mapped, where xdotool's input goes: Wine names the
    class of the program's X windows after the program."""
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--classname",
                            "^halvo-sim\\.exe$"], capture_output=True, text=True)
    return bool(found.stdout.split())


class Sheet:
    """halvo-sim run, started and waited for; closed on leaving. `starting` runs while the
    program starts, before the sheet is waited for."""

    def __init__(self, close=("press", "ok"), run_args=(), starting=None):
        self.close = close
        self.run_args = run_args
        self.starting = starting

    def __enter__(self):
        self.process = subprocess.Popen([WINE_EXEC, SIM, "run", *STATE_ARG, *self.run_args],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            if self.starting:
                self.starting()
            # Shown with its page and every control, and answering; then on the display itself.
            wine(PROBE, "wait", "60", timeout=90)
            if not until(sheet_on_display):
                raise RuntimeError("the sheet is up but its X window is not mapped")
        except BaseException:
            self.process.kill()
            self.process.wait()
            raise
        return self

    def __exit__(self, *exc):
        if self.process.poll() is None:
            try:
                wine(PROBE, *self.close)
            except RuntimeError as error:
                failures.append(f"closing the sheet: {error}")
                print(f"FAIL closing the sheet: {error}", flush=True)
        try:
            self.process.wait(timeout=20)
        except subprocess.TimeoutExpired:
            self.process.kill()
            failures.append("the sheet did not close")


def main():
    os.makedirs(SHOTS, exist_ok=True)
    if os.path.exists(STATE):
        os.remove(STATE)

    # A first run on the default machine writes the marker and the six defaults in order.
    with Sheet():
        expect_until(lambda: len(writes()) >= 7, "first run writes seven values")
        expect(writes()[:7] == [("PKEY_Xan_FirstRunMarker", 0), ("PKEY_Xan_ModeWord", 0x006007E0),
                                ("PKEY_Xan_Headphone", 0x80000211),
                                ("PKEY_Xan_HeadphoneSelector", 2),
                                ("PKEY_Xan_SoundSpaceExpander", 0x80000001),
                                ("PKEY_Xan_LevelWord", 0), ("PKEY_Xan_NaturalBass", 0x80003513)],
               "the marker and the six defaults, in order, with their values")
        sheet = first_reading("the first run")
        expect(sheet["title"] == "Internal Speaker Properties", "speaker page on the default laptop")
        screenshot("1-first-run")
        picture_of_sheet(sheet["sheet"])

        # Unticking and ticking Natural Bass, dragging Bass Boost, unticking the expander.
        click(1003)
        expect_until(lambda: fx("PKEY_Xan_NaturalBass") == 0x00003513, "Natural Bass off")
        expect_sheet(lambda sheet: not sheet["controls"]["1005"]["enabled"], "slider disabled")
        click(1003)
        expect_until(lambda: fx("PKEY_Xan_NaturalBass") == 0x80003513, "Natural Bass on again")
        expect_sheet(lambda sheet: sheet["controls"]["1005"]["enabled"], "slider enabled again")
        drag_slider_to(2)
        expect_until(lambda: fx("PKEY_Xan_NaturalBass") != 0x80003513, "the drag writes")
        level = usable(1005)["position"]
        expect(level != 5 and fx("PKEY_Xan_NaturalBass") == (0x80003013 | level << 8),
               f"the level written is the slider's, {level}, the other fields kept")
        expect_sheet(lambda sheet: sheet["controls"]["1004"]["text"] == str(level),
                     "the read-out follows")
        press_key_on_slider("Right")
        expect_until(lambda: fx("PKEY_Xan_NaturalBass") == (0x80003013 | (level + 1) << 8),
                     f"Right on the slider stores the level one up, {level + 1}")
        expect_sheet(lambda sheet: sheet["controls"]["1004"]["text"] == str(level + 1),
                     "the read-out follows the key")
        click(1001)
        expect_until(lambda: fx("PKEY_Xan_SoundSpaceExpander") == 0x00000001,
                     "unticking the expander writes 0x00000001")
        expect_until(lambda: fx("PKEY_Xan_Headphone") == 0x00000211,
                     "and switches the headphone effect off with it")
        screenshot("2-commands")

        # Another program changes the format and then a value: the running sheet follows the
        # value, and once it shows it the running program has the format too, which came first.
        sim("format", SPEAKERS, "96000", "24")
        sim("set", "Speakers (XAN High Definition Audio)", "PKEY_Xan_NaturalBass", "0x80003413")
        sheet = expect_sheet(lambda sheet: sheet["controls"]["1004"]["text"] == "4",
                             "set refreshes the sheet")
        expect(sheet is not None and sheet["controls"]["1005"]["position"] == 4,
               "the slider follows too")

        # A format the effects do not handle is switched to stereo 48000 Hz, 24 bits.
        click(1001)
        expect_until(lambda: fx("PKEY_Xan_SoundSpaceExpander") == 0x80000001, "expander on")
        report = json.loads(sim("show", "--json"))
        speakers = [e for e in report["endpoints"] if e["id"] == SPEAKERS][0]
        blob = bytes.fromhex(speakers["properties"]["PKEY_AudioEngine_DeviceFormat"]["blob"])
        rate = int.from_bytes(blob[4:8], "little")
        valid = int.from_bytes(blob[18:20], "little")
        expect((rate, valid) == (48000, 24), f"the format was forced to 48000/24 ({rate}/{valid})")

        # Headphones into the front panel turn the sheet into the headphone page.
        sim("plug", "front-headphones")
        sheet = expect_sheet(lambda sheet: sheet["title"] == "Headphone Properties",
                             "plugging in shows the headphone page")
        expect(sheet is not None and not sheet["controls"]["1001"]["visible"] and
               sheet["controls"]["1002"]["visible"],
               "the expander box gives way to Halvo Headphone")
        screenshot("3-headphones")
        sim("plug", "none")
        expect_sheet(lambda sheet: sheet["title"] == "Internal Speaker Properties",
                     "unplugged again")

    # A second run loads what is stored and writes no defaults; however the sheet is closed,
    # what was written stays.
    count = len(writes())
    stored = fx("PKEY_Xan_NaturalBass")
    for close in (("press", "ok"), ("press", "cancel"), ("close",)):
        with Sheet(close):
            sheet = first_reading("a later run")
            expect(sheet["controls"]["1004"]["text"] == "4", "the stored level shows")
            screenshot("4-" + close[-1])
        expect(len(writes()) == count, f"no defaults written again ({' '.join(close)})")
        expect(fx("PKEY_Xan_NaturalBass") == stored, f"values kept after {' '.join(close)}")

    # Bad input gets one line naming the problem and a non-zero exit; the file stays whole.
    for args, problem in ((["set", "Nowhere", "PKEY_Xan_NaturalBass", "1"], "unknown endpoint"),
                          (["set", SPEAKERS, "PKEY_Nothing", "1"], "unknown key"),
                          (["set", SPEAKERS, "PKEY_Xan_NaturalBass", "0x1zz"], "malformed number"),
                          (["format", SPEAKERS, "many", "24"], "usage: format"),
                          (["plug", "rear"], "usage: plug"),
                          (["fly"], "unknown command")):
        with tempfile.TemporaryFile() as err:
            code = subprocess.run([WINE_EXEC, SIM, *args, *STATE_ARG], stdout=subprocess.DEVNULL,
                                  stderr=err).returncode
            err.seek(0)
            lines = err.read().decode().strip().splitlines()
        expect(code != 0 and len(lines) == 1 and lines[0].startswith("halvo-sim: ") and
               problem in lines[0], f"{' '.join(args)}: {lines}")
    expect(fx("PKEY_Xan_NaturalBass") == stored, "bad input changed nothing")

    # Writers in two processes at once: every change kept, the file never half-written.
    setters = [subprocess.Popen([WINE_EXEC, SIM, "set", SPEAKERS, key, str(value), *STATE_ARG])
               for key, value in (("PKEY_Xan_LevelWord", 7), ("PKEY_Xan_HeadphoneSelector", 1))
               for _ in range(5)]
    for setter in setters:
        setter.wait(timeout=60)
    expect(fx("PKEY_Xan_LevelWord") == 7 and fx("PKEY_Xan_HeadphoneSelector") == 1,
           "changes from two processes at once are all kept")

    broken = os.path.join(SHOTS, "broken.json")
    with open(broken, "w") as f:
        f.write('{"driver": ')
    with tempfile.TemporaryFile() as err:
        code = subprocess.run([WINE_EXEC, SIM, "show", "--state", "Z:" + broken.replace("/", "\\")],
                              stdout=subprocess.DEVNULL, stderr=err).returncode
        err.seek(0)
        line = err.read().decode().strip()
    expect(code != 0 and line.startswith("halvo-sim: ") and "\n" not in line,
           f"a malformed state file: {line}")

    # A missing file: show prints the built-in laptop and writes nothing; set, plug and format
    # name the file and change nothing; a path no file can take is refused before anything runs.
    missing = os.path.join(SHOTS, "missing.json")
    if os.path.exists(missing):
        os.remove(missing)
    missing_arg = ["--state", "Z:" + missing.replace("/", "\\")]
    shown = wine(SIM, "show", *missing_arg)
    expect("Speakers (XAN High Definition Audio)" in shown and not os.path.exists(missing),
           "show on a missing file prints the built-in machine and writes nothing")
    for args in (["set", SPEAKERS, "PKEY_Xan_NaturalBass", "1"], ["plug", "none"],
                 ["format", SPEAKERS, "48000", "24"],
                 ["run", "--state", "Z:" + os.path.join(SHOTS, "no-such-folder", "s.json")
                  .replace("/", "\\")]):
        with tempfile.TemporaryFile() as err:
            extra = [] if "--state" in args else missing_arg
            code = subprocess.run([WINE_EXEC, SIM, *args, *extra], stdout=subprocess.DEVNULL,
                                  stderr=err, timeout=60).returncode
            err.seek(0)
            line = err.read().decode().strip()
        expect(code == 2 and line.startswith("halvo-sim: ") and ".json" in line and
               not os.path.exists(missing), f"{args[0]} on an unusable state file: {line}")

    # Another program changes a value while the program starts, after the page has read the
    # words and before it listens for changes: the first run's last default is held until then.
    sim("reset")

    def change_expander_while_starting():
        if until(lambda: ("PKEY_Xan_NaturalBass", 0x80003513) in writes(), 30):
            sim("set", SPEAKERS, "PKEY_Xan_SoundSpaceExpander", "1")
        else:
            failures.append("the start-up did not reach its last default")

    with Sheet(run_args=("--hold-after", "PKEY_Xan_NaturalBass"),
               starting=change_expander_while_starting):
        expect(fx("PKEY_Xan_SoundSpaceExpander") == 1, "the expander was switched off meanwhile")
        sheet = first_reading("the run changed while it started")
        expect(sheet["controls"]["1001"]["checked"] == 0,
               "the page shows the change made while it started")
        screenshot("5-changed-while-starting")

    if failures:
        print(f"{len(failures)} end-to-end check(s) failed", file=sys.stderr)
        return 1
    print("end-to-end: all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
