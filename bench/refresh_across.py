#!/usr/bin/env python3
"""Refresh latency across processes: a sheet runs in halvo-sim on a state file, and halvo-sim set,
a second process, changes the stored Natural Bass level in that file. The time from the change
(the new file's modification time) until the running sheet's Bass Boost slider holds the new
level (logged from inside the sheet's process by sim/machine/Instrument) is taken for each change.
Shown means the page has set the Bass Boost slider to the new level. A latency below 0 would mean
the clocks or the matching are wrong: such samples are counted and fail the run.
  refresh_across.py [--short] [--changes N]"""

import os
import subprocess
import sys
import tempfile
import time

import winerun


def log_lines(path):
    try:
        with open(path) as f:
            return [line.split() for line in f.read().splitlines() if line.strip()]
    except OSError:
        return []


def main():
    changes = 100
    if "--short" in sys.argv:
        changes = 5
    if "--changes" in sys.argv:
        changes = int(sys.argv[sys.argv.index("--changes") + 1])
    winerun.prepare()
    latencies, lost, negative = [], 0, 0
    with tempfile.TemporaryDirectory() as scratch:
        state_file = os.path.join(scratch, "state.json")
        state = winerun.windows_path(state_file)
        log = os.path.join(scratch, "slider.log")
        winerun.wine(winerun.SIM, "reset", "--state", state)
        sheet = winerun.start(winerun.SIM, "run", "--state", state,
                              env={"HALVO_SLIDER_LOG": winerun.windows_path(log)})
        try:
            deadline = time.time() + 30
            while not log_lines(log) and time.time() < deadline:
                time.sleep(0.05)
            lines = log_lines(log)
            if not lines:
                print("the sheet did not come up", file=sys.stderr)
                return 1
            time.sleep(0.5)  # the first run's own writes are over
            level = int(lines[-1][1])
            for i in range(changes):
                level = (level + 1 + i % 5) % 7
                seen = len(log_lines(log))
                winerun.wine(winerun.SIM, "set", "--state", state, winerun.SPEAKERS,
                             "PKEY_Xan_NaturalBass", hex(0x80000000 | level << 8))
                changed_at = os.stat(state_file).st_mtime_ns
                shown_at = None
                deadline = time.time() + 3
                while shown_at is None and time.time() < deadline:
                    for at, position in log_lines(log)[seen:]:
                        if int(position) == level:
                            shown_at = int(at)
                            break
                    time.sleep(0.002)
                if shown_at is None:
                    lost += 1
                elif shown_at < changed_at:
                    negative += 1
                else:
                    latencies.append((shown_at - changed_at) / 1e6)
        finally:
            winerun.wine(winerun.PROBE, "press", "ok", check=False)
            try:
                sheet.wait(timeout=10)
            except subprocess.TimeoutExpired:
                sheet.kill()
                sheet.wait()
    print(f"{changes} changes, {len(latencies)} shown, {lost} not shown within 3 s, "
          f"{negative} shown before their change")
    print("shown: the Bass Boost slider set to the new level")
    winerun.figure("across processes refresh p50", winerun.quantile(latencies, 0.5), "ms")
    winerun.figure("across processes refresh p95", winerun.quantile(latencies, 0.95), "ms", "<=",
                   150)
    winerun.count_figure("across processes changes not shown", lost, changes, "changes", "==", 0)
    winerun.count_figure("across processes samples below 0", negative, changes - lost, "samples",
                         "==", 0)
    return 0 if lost == 0 and negative == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
