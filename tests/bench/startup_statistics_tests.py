#!/usr/bin/env python3
"""The start-up benchmark's judgement: the interval of the triples' median ratio, a verdict only
when the whole interval lies on one side of the target, the programs' order in each triple, and
the phase table."""

import os
import random
import sys
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "bench"))

import startup  # noqa: E402


class Verdict(unittest.TestCase):
    def test_only_an_interval_wholly_on_one_side_decides(self):
        cases = [  # low, high, verdict against 1.05
            (0.90, 1.04, "met"),
            (1.00, 1.05, "met"),  # the target is "at most 1.05"
            (1.03, 1.07, "inconclusive"),
            (1.05, 1.20, "inconclusive"),
            (1.06, 1.30, "MISSED"),
        ]
        for low, high, expected in cases:
            with self.subTest(low=low, high=high):
                self.assertEqual(expected, startup.verdict(low, high, 1.05))


class Interval(unittest.TestCase):
    def test_pairs_that_agree_give_no_width(self):
        self.assertEqual((1.04, 1.04), startup.bootstrap_interval([1.04] * 30))

    def test_holds_the_median_and_narrows_with_more_pairs(self):
        spread = random.Random(7)
        widths = []
        for pairs in (10, 120):
            ratios = sorted(1.0 + spread.gauss(0, 0.1) for _ in range(pairs))
            low, high = startup.bootstrap_interval(ratios)
            with self.subTest(pairs=pairs):
                self.assertLessEqual(low, ratios[pairs // 2 - 1])
                self.assertGreaterEqual(high, ratios[pairs // 2])
            widths.append(high - low)
        self.assertGreater(widths[0], widths[1])
        self.assertGreater(widths[1], 0)

    def test_one_slow_pair_does_not_move_it_much(self):
        # A start that met a busy machine: the mean would follow it, the median's interval not.
        ratios = [1.0, 1.02, 0.98, 1.01, 0.99] * 6
        ratios[0] = 5.0
        low, high = startup.bootstrap_interval(ratios)
        self.assertLessEqual(high, 1.02)
        self.assertGreaterEqual(low, 0.98)

    def test_is_the_same_on_every_run(self):
        ratios = [1.0, 1.3, 0.8, 1.1, 0.95, 1.2]
        self.assertEqual(startup.bootstrap_interval(ratios), startup.bootstrap_interval(ratios))


class Order(unittest.TestCase):
    def test_every_round_has_each_program_once_and_no_order_dominates(self):
        names = ["halvo-sim", "bare sheet", "reference"]
        rounds = startup.orders(31, names)
        for order in rounds:
            self.assertEqual(sorted(names), sorted(order))
        # Each program starts first in some rounds and last in others.
        for name in names:
            self.assertIn(name, [order[0] for order in rounds])
            self.assertIn(name, [order[-1] for order in rounds])
        self.assertEqual(rounds, startup.orders(31, names))


class Phases(unittest.TestCase):
    def test_medians_by_phase_in_the_order_they_came(self):
        starts = [
            [("probe", 100), ("page: policy", 30), ("first paint", 5000)],
            [("probe", 300), ("first paint", 7000)],  # a start without the policy phase
            [("probe", 200), ("page: policy", 50), ("first paint", 6000)],
        ]
        self.assertEqual([("probe", 200, 3), ("page: policy", 40, 2), ("first paint", 6000, 3)],
                         startup.phase_table(starts))


if __name__ == "__main__":
    unittest.main()
