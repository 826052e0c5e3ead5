#!/usr/bin/env python3
"""Start-up against the limit, and size. Three programs start under the same Wine until their
sheet's first paint is done:
  halvo-sim              the program against the simulated laptop (the default machine);
  halvo-sim --bare-sheet all of halvo-sim's own set-up (state file, stand-ins, their threads, the
                         watcher), then the effect page's dialog in a bare one-page sheet instead of
                         the program;
  reference              the bare sheet alone.
Each reports from inside (sim/machine/Instrument) when the first round of painting ended, when
Windows created the process and what it held then, and closes its sheet. The program's own cost
is halvo-sim against halvo-sim --bare-sheet: on a real machine the stand-ins' share does not
exist. The bench's own cost is --bare-sheet against the reference. They run in triples whose order
is shuffled, so that an order effect lands inside the interval; each ratio is the median of the
triples' ratios, with a 95% interval from resampling the triples, and its target counts as met or
missed only when the whole interval lies on one side. Then halvo-sim and --bare-sheet start again,
apart, with the phases of the start-up timed from outside the program (HALVO_PHASE_REPORT): the
timing has a cost of its own, so those starts are not among the triples.
Sizes are those of the files as built: in the release build, the stripped program that ships and
its symbol file apart.
  startup.py [--short] [--triples N]"""

import os
import random
import sys
import tempfile
import time

import winerun

# The first-paint report's fields, in order.
FIELDS = ("painted", "created", "private", "working", "stacks", "heaps", "rest", "images",
          "threads")


def run(program, args, report, phases=None):
    """One start: a dict of the report's fields, with "ms" (from Windows' process creation to the
    first paint) and "wine ms" (from starting wine), and with `phases` the phase report's lines."""
    for path in (report, phases):
        if path and os.path.exists(path):
            os.remove(path)
    env = {"HALVO_FIRST_PAINT_REPORT": winerun.windows_path(report)}
    if phases:
        env["HALVO_PHASE_REPORT"] = winerun.windows_path(phases)
    launched = time.time_ns()
    winerun.wine(program, *args, env=env)
    with open(report) as f:
        sample = dict(zip(FIELDS, (int(x) for x in f.read().split())))
    sample["ms"] = (sample["painted"] - sample["created"]) / 1e6
    sample["wine ms"] = (sample["painted"] - launched) / 1e6
    if phases:
        sample["phases"] = read_phases(phases)
    return sample


def read_phases(path):
    """The phase report: (name, microseconds) in the order the phases came."""
    with open(path) as f:
        return [(name, int(us)) for name, us in
                (line.rstrip("\n").split("\t") for line in f if line.strip())]


TARGET_OWN_RATIO = 1.05
TARGET_OWN_PRIVATE_KIB = 1024
# Resamples for the intervals; a fixed seed, so a run's report can be reproduced.
RESAMPLES = 10000
SEED = 1


def bootstrap_interval(values, confidence=0.95, resamples=RESAMPLES, seed=SEED):
    """The percentile interval of the median of `values`, resampled with replacement."""
    generator = random.Random(seed)
    medians = sorted(winerun.median(generator.choices(values, k=len(values)))
                     for _ in range(resamples))
    tail = (1 - confidence) / 2
    return medians[round(tail * (resamples - 1))], medians[round((1 - tail) * (resamples - 1))]


def verdict(low, high, target):
    """Met when even the interval's upper end keeps to the target, missed when even its lower end
    exceeds it; anything between is not known from these runs."""
    if high <= target:
        return "met"
    if low > target:
        return "MISSED"
    return "inconclusive"


def ratio_figure(what, ratios, target=None):
    """The median of the triples' ratios with its interval; a verdict only against a target."""
    if not ratios:
        winerun.count_figure(what, 0, 0, "triples", "<=" if target else None, target)
        return
    low, high = bootstrap_interval(ratios)
    judged = f"(target <= {target:.2f}) {verdict(low, high, target)}" if target else "(no target)"
    print(f"figure: {what}, median of {len(ratios)} triples = {winerun.median(ratios):.3f} "
          f"(95% interval {low:.3f} to {high:.3f}) {judged}", flush=True)


def orders(rounds, names, seed=SEED):
    """The order of the programs in each round: every order in turn, shuffled."""
    generator = random.Random(seed)
    return [generator.sample(names, len(names)) for _ in range(rounds)]


def phase_table(starts):
    """Per phase, in the order the program's start-up makes them, the median over `starts` of its
    microseconds; a phase a start did not have counts for none."""
    names, times = [], {}
    for start in starts:
        for name, us in start:
            if name not in times:
                names.append(name)
                times[name] = []
            times[name].append(us)
    return [(name, winerun.median(times[name]), len(times[name])) for name in names]


def main():
    triples = 30
    phase_starts = 15
    if "--short" in sys.argv:
        triples, phase_starts = 3, 2
    if "--triples" in sys.argv:
        triples = int(sys.argv[sys.argv.index("--triples") + 1])
    winerun.prepare()
    with tempfile.TemporaryDirectory() as scratch:
        state = winerun.windows_path(os.path.join(scratch, "state.json"))
        report = os.path.join(scratch, "first-paint.txt")
        phases = os.path.join(scratch, "phases.txt")
        programs = {
            "halvo-sim": (winerun.SIM, ["run", "--state", state]),
            "bare sheet": (winerun.SIM, ["run", "--state", state, "--bare-sheet"]),
            "reference": (winerun.REFERENCE, []),
        }
        winerun.wine(winerun.SIM, "reset", "--state", state)
        samples = {name: [] for name in programs}
        # The first round is the warm-up (and halvo-sim's first run on the machine, which writes
        # the defaults).
        for i, order in enumerate(orders(triples + 1, list(programs))):
            round_samples = {name: run(*programs[name], report) for name in order}
            if i > 0:
                for name in programs:
                    samples[name].append(round_samples[name])
        phase_runs = {name: [run(*programs[name], report, phases)["phases"]
                             for _ in range(phase_starts)]
                      for name in ("halvo-sim", "bare sheet")}

    def column(name, field):
        return [sample[field] for sample in samples[name]]

    for name in programs:
        print(f"{name}: first paint after " +
              ", ".join(f"{ms:.0f}" for ms in column(name, "ms")) + " ms (from process creation)")
    for name in programs:
        winerun.figure(f"start-up {name} median", winerun.median(column(name, "ms")), "ms")

    def ratios(top, bottom):
        return [a / b for a, b in zip(column(top, "ms"), column(bottom, "ms"))]

    ratio_figure("start-up: the program's own, halvo-sim to halvo-sim --bare-sheet",
                 ratios("halvo-sim", "bare sheet"), TARGET_OWN_RATIO)
    ratio_figure("start-up: the bench's own, halvo-sim --bare-sheet to the reference",
                 ratios("bare sheet", "reference"))
    ratio_figure("start-up: halvo-sim to the reference", ratios("halvo-sim", "reference"))
    for name in programs:
        winerun.figure(f"start-up from starting wine, {name} median",
                       winerun.median(column(name, "wine ms")), "ms")

    own = [a - b for a, b in zip(column("halvo-sim", "private"), column("bare sheet", "private"))]
    winerun.figure("private memory: the program's own, halvo-sim less --bare-sheet, median",
                   winerun.median(own) / 1024, "KiB", "<=", TARGET_OWN_PRIVATE_KIB)
    for name in programs:
        kinds = ", ".join(f"{kind} {winerun.median(column(name, kind)) / 1024:.0f}"
                          for kind in ("stacks", "heaps", "rest", "images"))
        print(f"{name} after start-up, KiB: private {winerun.median(column(name, 'private')) / 1024:.0f}"
              f" ({kinds}); working set {winerun.median(column(name, 'working')) / 1024:.0f}; "
              f"threads {winerun.median(column(name, 'threads')):.0f}", flush=True)
    for name in programs:
        winerun.figure(f"private memory after start-up: {name}",
                       winerun.median(column(name, "private")) / 1024, "KiB")

    for name, starts in phase_runs.items():
        for phase, us, count in phase_table(starts):
            winerun.figure(f"phase of {name}: {phase}, median of {count}", us, "us")
    report_sizes()
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
