#!/usr/bin/env python3
"""How the benchmark scripts print their figures: as bench/Figures.h does, and never a verdict
without a sample."""

import contextlib
import io
import math
import os
import sys
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "bench"))

import winerun  # noqa: E402


def printed(function, *args):
    out = io.StringIO()
    with contextlib.redirect_stdout(out):
        met = function(*args)
    return out.getvalue().rstrip("\n"), met


class Figure(unittest.TestCase):
    def test_no_samples_miss_any_target(self):
        self.assertEqual(("figure: f = no samples (target <= 150) MISSED", False),
                         printed(winerun.figure, "f", math.nan, "ms", "<=", 150))

    def test_a_count_over_nothing_reads_none_and_is_not_met(self):
        self.assertEqual(("figure: f = no changes (target == 0) MISSED", False),
                         printed(winerun.count_figure, "f", 0, 0, "changes", "==", 0))
        self.assertEqual(("figure: f = no pairs (target <= 1.1) MISSED", False),
                         printed(winerun.count_figure, "f", 0, 0, "pairs", "<=", 1.1))

    def test_a_count_over_some_earns_its_verdict(self):
        self.assertEqual(("figure: f = 0 changes (target == 0) met", True),
                         printed(winerun.count_figure, "f", 0, 5, "changes", "==", 0))
        self.assertEqual(("figure: f = 2 changes (target == 0) MISSED", False),
                         printed(winerun.count_figure, "f", 2, 5, "changes", "==", 0))


if __name__ == "__main__":
    unittest.main()
