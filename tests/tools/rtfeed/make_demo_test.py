#!/usr/bin/env python3
"""The scenario generator tools/rtfeed/replays/make_demo.py: the same options give the same files, the
committed replay and stand layout are what it makes, and the flights keep to the stands and the demo
catalogue. Run by ctest (python3 -m unittest)."""

import collections
import importlib.util
import json
import math
import os
import re
import subprocess
import sys
import tempfile
import unittest

REPO = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', '..'))
REPLAYS = os.path.join(REPO, 'tools', 'rtfeed', 'replays')
SCRIPT = os.path.join(REPLAYS, 'make_demo.py')

module_spec = importlib.util.spec_from_file_location('make_demo', SCRIPT)
make_demo = importlib.util.module_from_spec(module_spec)
module_spec.loader.exec_module(make_demo)


def generate(minutes, seed):
    out = make_demo.build(minutes, seed, make_demo.load_layout())
    with tempfile.TemporaryDirectory() as d:
        path = os.path.join(d, 'replay.txt')
        make_demo.write(out, path, minutes, seed)
        with open(path, 'rb') as fh:
            return fh.read()


def flights(text):
    """hexid -> list of the traffic fields, in replay order."""
    by_hexid = collections.defaultdict(list)
    for line in text.decode().splitlines():
        if line.startswith('#'):
            continue
        at, kind, payload = line.split('\t')
        if kind == 'T':
            f = payload.split(',')
            by_hexid[f[1]].append(f)
    return by_hexid


class Generator(unittest.TestCase):
    def test_same_options_same_output_and_the_seed_only_moves_the_reports(self):
        a = generate(4, 5)
        self.assertEqual(a, generate(4, 5))
        b = generate(4, 6)
        self.assertNotEqual(a, b)
        self.assertEqual(set(flights(a)), set(flights(b)))

    def test_committed_replay_is_what_the_script_makes(self):
        with tempfile.TemporaryDirectory() as d:
            out = os.path.join(d, 'demo.txt')
            subprocess.run([sys.executable, SCRIPT, '--out', out], check=True)
            with open(out, 'rb') as fh, open(os.path.join(REPLAYS, 'demo.txt'), 'rb') as committed:
                self.assertTrue(fh.read() == committed.read(), 'demo.txt is stale: run make_demo.py')

    def test_minutes_bound_the_replay_and_later_waves_bring_new_flights(self):
        short = generate(3, 17).decode().splitlines()
        self.assertLessEqual(float(short[-1].split('\t')[0]), 180.0)
        long = flights(generate(25, 17))
        first_seen = {h: float(f[0][14]) for h, f in long.items()}
        self.assertGreater(sum(1 for t in first_seen.values() if t >= first_seen[min(first_seen)] + 1200), 10)
        # A registration belongs to one transponder address.
        owner = {}
        for h, records in long.items():
            for reg in {r[11] for r in records}:
                self.assertEqual(owner.setdefault(reg, h), h, reg)

    def test_bad_minutes_are_refused(self):
        for minutes in ('0', '-3', '5000'):
            r = subprocess.run([sys.executable, SCRIPT, '--minutes', minutes, '--out', os.devnull],
                               capture_output=True, text=True)
            self.assertEqual(r.returncode, 2, minutes)
            self.assertIn('--minutes', r.stderr)


class Scenario(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with open(os.path.join(REPLAYS, 'demo.txt'), 'rb') as fh:
            cls.flights = flights(fh.read())
        with open(make_demo.LAYOUT_JSON) as fh:
            cls.layout = json.load(fh)

    def test_every_type_has_a_livery_in_the_demo_catalogue(self):
        with open(os.path.join(REPO, 'tests', 'data', 'liveries', 'LiveriesScanned.xml')) as fh:
            catalogue = set(re.findall(r'type="([^"]+)"', fh.read()))
        types = {r[10] for records in self.flights.values() for r in records}
        self.assertEqual(types - catalogue, set())

    def test_stand_layout(self):
        stands = self.layout['stands']
        self.assertGreaterEqual(len(stands), 80)
        kinds = collections.Counter(s['kind'] for s in stands)
        self.assertGreaterEqual(kinds['cargo'], 3)
        self.assertEqual(kinds['heli'], 1)
        ids = [s['id'] for s in stands]
        self.assertEqual(len(ids), len(set(ids)))
        xy = [make_demo.to_xy(s['lat'], s['lon']) for s in stands]
        for i, s in enumerate(stands):
            for j in s['neighbours']:
                self.assertIn(i + 1, stands[j - 1]['neighbours'], s['id'])
            for j in range(i):  # no two stands overlap
                self.assertGreater(math.dist(xy[i], xy[j]), 0.9 * max(s['radius'], stands[j]['radius']))

    def stand_at(self, record):
        """The stand whose position and heading the record holds, or None."""
        x, y = make_demo.to_xy(float(record[2]), float(record[3]))
        for s in self.layout['stands']:
            sx, sy = make_demo.to_xy(s['lat'], s['lon'])
            heading_off = abs(make_demo.wrap180(float(record[25]) - s['heading']))
            if math.hypot(x - sx, y - sy) < 1.5 and (s['kind'] == 'heli' or heading_off < 1.0):
                return s
        return None

    def test_arrivals_halt_at_stands_and_departures_leave_from_them(self):
        arrived, departed, parked = [], [], []
        took_off = 0
        for records in self.flights.values():
            first, last = records[0], records[-1]
            if first[6] == '0' and last[6] == '1' and float(last[8]) == 0.0:
                arrived.append(self.stand_at(last))
            elif first[6] == '1' and float(first[8]) == 0.0 and any(float(r[8]) > 0.0 for r in records):
                # From a stand, or lined up on the runway (the departure seen from its take-off roll).
                stand = self.stand_at(first)
                if stand:
                    departed.append(stand)
                    took_off += last[6] == '0'
            elif all(r[6] == '1' and float(r[8]) == 0.0 for r in records):
                parked.append(self.stand_at(first))
        self.assertGreaterEqual(len(arrived), 3)  # the helicopter on its pad among them
        self.assertGreaterEqual(len(departed), 4)
        self.assertGreaterEqual(took_off, 3)
        self.assertGreaterEqual(len(parked), 3)
        self.assertNotIn(None, arrived + departed + parked)
        ids = [s['id'] for s in arrived + departed + parked]
        self.assertEqual(len(ids), len(set(ids)), 'two flights share a stand')
        self.assertIn('heli', {s['kind'] for s in arrived})

    def test_a_push_back_moves_against_the_nose(self):
        pushed = 0
        for records in self.flights.values():
            for r in records:
                if r[6] == '1' and float(r[8]) > 0.5 and abs(make_demo.wrap180(float(r[7]) - float(r[25]))) > 170:
                    pushed += 1
                    break
        self.assertGreaterEqual(pushed, 3)


if __name__ == '__main__':
    unittest.main()
