#!/usr/bin/env python3
"""Start-up against the limit, and size: halvo-sim on the default machine against the reference
program (the effect page's dialog in a bare one-page sheet), each started under the same Wine
until its sheet's first paint is done. Both report from inside (sim/machine/Instrument) when the first
round of painting ended, when Windows created the process and what it held then, and close their
sheet. They run in pairs, halvo-sim then the reference, so that both of a pair see the same
machine; the figure is the median of the pairs' ratios, with a 95% interval from resampling the
pairs, and the target counts as met or missed only when the whole interval lies on one side.
Sizes are those of the files as built: in the release build, the stripped program that ships and
its symbol file apart.
  startup.py [--short] [--pairs N]"""

import os
import random
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


TARGET_RATIO = 1.10
# Resamples of the pairs for the interval; a fixed seed, so a run's report can be reproduced.
RESAMPLES = 10000
SEED = 1


def bootstrap_interval(values, confidence=0.95, resamples=RESAMPLES, seed=SEED):
    """The percentile interval of the median of `values`, resampled with replacement."""
    generator = random.Random(seed)
    medians = sorted(winerun.median(generator.choices(values, k=len(values)))
                     for _ in range(resamples))
    tail = (1 - confidence) / 2
    return medians[round(tail * (resamples - 1))], medians[round((1 - tail) * (resamples - 1))]


def verdict(low, high, target=TARGET_RATIO):
    """Met when even the interval's upper end keeps to the target, missed when even its lower end
    exceeds it; anything between is not known from these runs."""
    if high <= target:
        return "met"
    if low > target:
        return "MISSED"
    return "inconclusive"


def main():
    pairs = 30
    if "--short" in sys.argv:
        pairs = 3
    if "--pairs" in sys.argv:
        pairs = int(sys.argv[sys.argv.index("--pairs") + 1])
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
        # The first pair is the warm-up (and halvo-sim's first run on the machine).
        for i in range(pairs + 1):
            for name, (program, args) in programs.items():
                sample = run(program, args, report)
                if i > 0:
                    samples[name].append(sample)

    def column(name, index):
        return [sample[index] for sample in samples[name]]

    for name in programs:
        print(f"{name}: first paint after " +
              ", ".join(f"{ms:.0f}" for ms in column(name, 0)) + " ms (from process creation)")
    ratios = [sim / ref for sim, ref in zip(column("halvo-sim", 0), column("reference", 0))]
    print("ratios of the pairs: " + ", ".join(f"{r:.3f}" for r in ratios))
    winerun.figure("start-up halvo-sim median", winerun.median(column("halvo-sim", 0)), "ms")
    winerun.figure("start-up reference median", winerun.median(column("reference", 0)), "ms")
    if ratios:
        low, high = bootstrap_interval(ratios)
        print(f"figure: start-up ratio to the reference, median of {len(ratios)} pairs = "
              f"{winerun.median(ratios):.3f} (95% interval {low:.3f} to {high:.3f}) "
              f"(target <= {TARGET_RATIO:.2f}) {verdict(low, high)}", flush=True)
    else:
        winerun.count_figure("start-up ratio to the reference", 0, 0, "pairs", "<=", TARGET_RATIO)
    sim_wine = winerun.median(column("halvo-sim", 1))
    ref_wine = winerun.median(column("reference", 1))
    winerun.figure("start-up from starting wine, halvo-sim median", sim_wine, "ms")
    winerun.figure("start-up from starting wine, reference median", ref_wine, "ms")
    winerun.figure("start-up from starting wine, ratio", sim_wine / ref_wine, "")
    report_sizes()
    for index, what in ((2, "private memory"), (3, "working set")):
        mine = winerun.median(column("halvo-sim", index)) / 1024
        floor = winerun.median(column("reference", index)) / 1024
        winerun.figure(f"{what} after start-up: halvo-sim", mine, "KiB")
        winerun.figure(f"{what} after start-up: reference", floor, "KiB")
        winerun.figure(f"{what} after start-up: difference", mine - floor, "KiB")
    return 0


def report_sizes():
    """The program's file against the reference's. In the release build the program is what
    ships, stripped, and its symbols are counted apart; elsewhere it still holds them."""
    product, reference = os.path.getsize(winerun.PRODUCT), os.path.getsize(winerun.REFERENCE)
    symbols = winerun.PRODUCT + ".debug"
    if os.path.exists(symbols):
        winerun.figure("size: HalvoSetting.exe as shipped", product / 1024, "KiB", "<=", 450)
        winerun.figure("size: HalvoSetting.exe.debug, not shipped", os.path.getsize(symbols) / 1024,
                       "KiB")
    else:
        winerun.figure("size: HalvoSetting.exe with its symbols (not the release build)",
                       product / 1024, "KiB")
    winerun.figure("size: reference program", reference / 1024, "KiB")
    winerun.figure("size: ratio to the reference", product / reference, "")


if __name__ == "__main__":
    sys.exit(main())
