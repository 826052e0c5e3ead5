#!/usr/bin/env python3
"""Start-up against the limit, and size: halvo-sim on the default machine against the reference
program (the effect page's dialog in a bare one-page sheet), each started under the same Wine
until its sheet's first paint is done. Both report from inside (bench/instrument) when the first
round of painting ended, when Windows created the process and what it held then, and close their
sheet. Runs alternate so that both see the same machine.
  startup.py [--short] [--runs N]"""

import os
import sys
import tempfile
import time

import winerun


def run(program, args, report):
    """One start: returns (ms from Windows' process creation, ms from starting wine, private
    bytes, working set bytes) at the first paint."""
    if os.path.exists(report):
        os.remove(report)
    launched = time.time_ns()
    winerun.wine(program, *args, env={"HALVO_FIRST_PAINT_REPORT": winerun.windows_path(report)})
    with open(report) as f:
        painted, created, private, working = (int(x) for x in f.read().split())
    return (painted - created) / 1e6, (painted - launched) / 1e6, private, working


def main():
    runs = 10
    if "--short" in sys.argv:
        runs = 2
    if "--runs" in sys.argv:
        runs = int(sys.argv[sys.argv.index("--runs") + 1])
    winerun.prepare()
    with tempfile.TemporaryDirectory() as scratch:
        state = winerun.windows_path(os.path.join(scratch, "state.json"))
        report = os.path.join(scratch, "first-paint.txt")
        programs = {
            "halvo-sim": (winerun.SIM, ["run", "--state", state]),
            "reference": (winerun.REFERENCE, []),
        }
        winerun.wine(winerun.SIM, "reset", "--state", state)
        samples = {name: [] for name in programs}
        # The first start of each is the warm-up (and halvo-sim's first run on the machine).
        for i in range(runs + 1):
            for name, (program, args) in programs.items():
                sample = run(program, args, report)
                if i > 0:
                    samples[name].append(sample)

    def column(name, index):
        return [sample[index] for sample in samples[name]]

    for name in programs:
        print(f"{name}: first paint after " +
              ", ".join(f"{ms:.0f}" for ms in column(name, 0)) + " ms (from process creation)")
    sim_ms, ref_ms = winerun.median(column("halvo-sim", 0)), winerun.median(column("reference", 0))
    winerun.figure("start-up halvo-sim median", sim_ms, "ms")
    winerun.figure("start-up reference median", ref_ms, "ms")
    winerun.figure("start-up ratio to the reference", sim_ms / ref_ms, "", "<=", 1.10)
    sim_wine = winerun.median(column("halvo-sim", 1))
    ref_wine = winerun.median(column("reference", 1))
    winerun.figure("start-up from starting wine, halvo-sim median", sim_wine, "ms")
    winerun.figure("start-up from starting wine, reference median", ref_wine, "ms")
    winerun.figure("start-up from starting wine, ratio", sim_wine / ref_wine, "")

    # Size: the product's file against the reference's; memory at the first paint.
    product, reference = os.path.getsize(winerun.PRODUCT), os.path.getsize(winerun.REFERENCE)
    winerun.figure("size: HalvoSetting.exe", product / 1024, "KiB")
    winerun.figure("size: reference program", reference / 1024, "KiB")
    winerun.figure("size: ratio to the reference", product / reference, "")
    for index, what in ((2, "private memory"), (3, "working set")):
        mine = winerun.median(column("halvo-sim", index)) / 1024
        floor = winerun.median(column("reference", index)) / 1024
        winerun.figure(f"{what} after start-up: halvo-sim", mine, "KiB")
        winerun.figure(f"{what} after start-up: reference", floor, "KiB")
        winerun.figure(f"{what} after start-up: difference", mine - floor, "KiB")
    return 0


if __name__ == "__main__":
    sys.exit(main())
