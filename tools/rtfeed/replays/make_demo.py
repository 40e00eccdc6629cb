#!/usr/bin/env python3
"""Writes demo.txt, the traffic scenario around Zurich (LSZH) that skyloom-rtfeed plays, on the demo
stand layout lszh_stands.json (written with the airport's parking file by data/make_lszh_stands.py).

    make_demo.py [--minutes N] [--seed S] [--out FILE] [--stands FILE]

The output depends only on the options and the layout: the same minutes and seed give the same file,
byte for byte.
Every ten minutes (a "wave") the scenario holds:
- overflights at FL300 to FL400, straight and turning (with roll, track rate and true heading), that
  cross the range and leave it;
- arrivals on runway 14 descending through 10 nm to touch-down, rolling out, vacating, taxiing along
  the aprons and halting at a stand, where they stand a while before their reports stop; and one on a
  short final of runway 10 that takes a high-speed exit straight to a stand beside the runway, where it
  halts about 100 s after its first report (so that a three-minute run shows an arrival parking);
- departures from stands: standing, pushing back (or pulling out forwards), taxiing with
  corners to runway 28, the take-off roll and the climb-out; a departure from its take-off roll on
  runway 16 and one first seen in the air;
- a helicopter landing on the helipad;
- a flight seen once, a flight whose reports stop in the air, a flight whose callsign changes in
  flight, aircraft standing at their stands all the time;
- in its first two minutes a climb and a descent through 10,000 ft.
Each flight reports every 1 to 2 seconds (the seed draws the spacing); QNH datagrams come now and then.
Airlines, types and the registrations that the data set holds come from data/ (checked at start).

Traffic line: RTTFC, hexid (decimal), lat, lon, baro altitude, baro rate, ground flag, track, ground
speed, callsign, ICAO type, registration, from, to, Unix time, source, IATA callsign, message type,
geometric altitude, IAS, TAS, Mach, track rate, roll, magnetic heading, true heading, geometric rate,
emergency, category (29 fields).

The taxi routes follow from the layout: a lane behind each row of stands (in front of a ramp row), from
its east end a connector across the rows to a taxiway 150 m south of runway 10/28, and the entry of
runway 28.
"""

import argparse
import datetime
import json
import math
import os
import random
import xml.etree.ElementTree as ET

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.normpath(os.path.join(HERE, '..', '..', '..'))

ELEVATION = 1416.0  # ft, LSZH
ARP = (47.4647, 8.5492)  # LSZH in the airports table
START = 1765364400.0  # 2025-12-10 11:00:00 UTC
WAVE = 600.0  # seconds of one wave of the scenario
DT = 0.1  # simulation step, seconds
RANGE_NM = 38.5  # flights report only this close to LSZH (the program's range is 40 nm)
M_PER_DEG = 111132.95
M_PER_NM = 1852.0
KN = 1852.0 / 3600.0  # metres per second in a knot
TAXI_CORNER_MAX = 400.0  # m: rounder corners are turns in the air, not taken slowly on the ground
G = 9.81
WIND_FROM, WIND_KN = 240.0, 8.0
MAG_VAR = 3.0  # degrees east

COS0 = math.cos(math.radians(ARP[0]))


def to_latlon(x, y):
    return ARP[0] + y / M_PER_DEG, ARP[1] + x / (M_PER_DEG * COS0)


def to_xy(lat, lon):
    return (lon - ARP[1]) * M_PER_DEG * COS0, (lat - ARP[0]) * M_PER_DEG


def direction(track):
    t = math.radians(track)
    return math.sin(t), math.cos(t)


def track_of(dx, dy):
    return math.degrees(math.atan2(dx, dy)) % 360.0


def wrap180(a):
    return (a + 540.0) % 360.0 - 180.0


def ahead(p, track, metres):
    dx, dy = direction(track)
    return p[0] + dx * metres, p[1] + dy * metres


def bearing_point(bearing, nm):
    return ahead((0.0, 0.0), bearing, nm * M_PER_NM)


# Runways (thresholds and true directions), in the local frame in metres.
RWY14 = (to_xy(47.48250, 8.53470), 137.6)
RWY16 = (to_xy(47.47670, 8.53520), 155.3)
RWY28 = (to_xy(47.45720, 8.57060), 275.4)
RWY10 = (ahead(RWY28[0], RWY28[1], 2500.0), (RWY28[1] + 180.0) % 360.0)  # the other end of 10/28


# ---------------------------------------------------------------- the stand layout

# The stand layout of the demo airport, written by data/make_lszh_stands.py (with the airport's parking
# file data/LSZH.xml): id, lat, lon, heading (of the nose, degrees true), radius (m), kind (narrow,
# regional, wide, cargo, heli, or ramp for stands that aircraft leave forwards), neighbours.
LAYOUT_JSON = os.path.join(HERE, 'lszh_stands.json')


def load_layout(path=LAYOUT_JSON):
    with open(path) as fh:
        return json.load(fh)


class Layout:
    """The stands in the local frame, their rows, and the taxi network derived from them: a lane
    behind each row (in front of a ramp row), from the lane's east end a connector across the rows to
    a taxiway parallel to runway 10/28 (east of every row between it and the runway), and the entry
    of runway 28."""

    def __init__(self, data):
        self.stands = []
        for sid, s in enumerate(data['stands'], 1):
            x, y = to_xy(s['lat'], s['lon'])
            self.stands.append(dict(s, sid=sid, x=x, y=y))
        self.by_id = {s['id']: s for s in self.stands}
        rows = {}
        for s in self.stands:
            if s['kind'] != 'heli':
                rows.setdefault(s['id'].rstrip('0123456789'), []).append(s)
        # The rows' common direction, pointing east.
        first = next(iter(rows.values()))
        u = track_of(first[-1]['x'] - first[0]['x'], first[-1]['y'] - first[0]['y'])
        if math.sin(math.radians(u)) < 0:
            u = (u + 180.0) % 360.0
        self.u = u
        self.ux, self.uy = direction(u)
        # Across the rows, towards the runway.
        nx, ny = direction(u - 90.0)
        if self.south_of_runway((nx, ny)) > self.south_of_runway((0.0, 0.0)):
            nx, ny = -nx, -ny
        self.rows = {}
        ends = {}
        for name, row in rows.items():
            row.sort(key=lambda s: self.along(s))
            nose = row[0]['heading']
            front = row[0]['kind'] == 'ramp'
            depth = max(s['radius'] for s in row) + 25.0
            side = nose if front else (nose + 180.0) % 360.0
            for s in row:
                s['lane'] = ahead((s['x'], s['y']), side, depth)
                s['row'] = name
            ends[name] = (self.along(row[-1]) + row[-1]['radius'], sum(s['x'] * nx + s['y'] * ny for s in row) / len(row))
            self.rows[name] = row
        # A row's connector runs east of the rows between it and the runway.
        for name, row in self.rows.items():
            exit_along = max(end for end, w in ends.values() if w >= ends[name][1]) + 60.0
            for s in row:
                s['exit'] = exit_along
        # The taxiway parallel to runway 10/28, 150 m south of it, and the entry of runway 28.
        thr, rt = RWY28
        self.twy0 = ahead(thr, rt - 90.0, 150.0)
        self.hold = ahead(self.twy0, rt, -40.0)
        self.entry = ahead(self.twy0, rt, -100.0)
        self.lineup = ahead(thr, rt, -100.0)

    def along(self, s):
        return s['x'] * self.ux + s['y'] * self.uy

    def lane_at(self, stand, along):
        lx, ly = stand['lane']
        d = along - (lx * self.ux + ly * self.uy)
        return lx + self.ux * d, ly + self.uy * d

    def connector_twy(self, stand):
        """Where the stand's connector meets the parallel taxiway."""
        # Connector: points p with p.u == exit; taxiway: twy0 + k * d28.
        dx, dy = direction(RWY28[1])
        k = (stand['exit'] - (self.twy0[0] * self.ux + self.twy0[1] * self.uy)) / (dx * self.ux + dy * self.uy)
        return self.twy0[0] + dx * k, self.twy0[1] + dy * k

    def twy_below(self, x):
        """The point of the parallel taxiway at the given x."""
        dx, dy = direction(RWY28[1])
        k = (x - self.twy0[0]) / dx
        return x, self.twy0[1] + dy * k

    def front_at(self, stand, along):
        """The point at the given distance along the rows on the line in front of the stand."""
        fx, fy = ahead((stand['x'], stand['y']), stand['heading'], stand['radius'] + 25.0)
        d = along - (fx * self.ux + fy * self.uy)
        return fx + self.ux * d, fy + self.uy * d

    @staticmethod
    def south_of_runway(p):
        """How far the point lies south of runway 10/28's centre line, in metres."""
        thr, rt = RWY28
        nx, ny = direction(rt - 90.0)
        return (p[0] - thr[0]) * nx + (p[1] - thr[1]) * ny

    def by_runway(self, kind):
        """The easternmost stand of the kind whose lane lies between runway 10/28 and its parallel
        taxiway, with the nose pointing away from the runway: an aircraft leaving the runway on a
        high-speed exit rolls straight onto its lane and into it."""
        found = [s for s in self.stands if s['kind'] == kind and 60.0 < self.south_of_runway(s['lane']) < 140.0
                 and self.south_of_runway((s['x'], s['y'])) > self.south_of_runway(s['lane'])]
        if not found:
            raise SystemExit(f'the stand layout has no {kind} stand open to runway 10/28')
        return max(found, key=lambda s: s['x'])

    def reachable(self, stand, pull_out=False):
        """Whether the way from the stand to its connector stays south of the parallel taxiway."""
        if stand['kind'] == 'heli':
            return True
        end = self.front_at(stand, stand['exit']) if pull_out else self.lane_at(stand, stand['exit'])
        return self.south_of_runway(end) > 170.0

    def pick(self, kinds, index, moving=True, pull_out=False):
        """The index-th stand of the first of the kinds that the layout has (of those a moving
        aircraft can reach)."""
        for kind in kinds:
            found = [s for s in self.stands if s['kind'] == kind and (not moving or self.reachable(s, pull_out))]
            if found:
                return found[index % len(found)]
        raise SystemExit(f'the stand layout has no reachable stand of kind {kinds}')


# ---------------------------------------------------------------- paths

class Path:
    """Straight legs between points, the corners rounded with arcs (radius per corner)."""

    def __init__(self, points, radii):
        if not isinstance(radii, (list, tuple)):
            radii = [radii] * max(0, len(points) - 2)
        self.segs = []  # (kind, start s, length, data)
        cur = points[0]
        s = 0.0
        for i in range(1, len(points) - 1):
            a, b, c = points[i - 1], points[i], points[i + 1]
            t1 = track_of(b[0] - a[0], b[1] - a[1])
            t2 = track_of(c[0] - b[0], c[1] - b[1])
            turn = wrap180(t2 - t1)
            if abs(turn) < 0.01:
                continue
            r = radii[i - 1]
            d = r * math.tan(math.radians(abs(turn)) / 2.0)
            room = min(math.dist(cur, b), math.dist(b, c) / 2.0)
            if d > room:
                d = room
                r = d / math.tan(math.radians(abs(turn)) / 2.0)
            p1 = ahead(b, t1, -d)
            s = self._line(cur, p1, s)
            length = r * math.radians(abs(turn))
            self.segs.append(('arc', s, length, (p1, t1, turn, r)))
            s += length
            cur = ahead(b, t2, d)
        s = self._line(cur, points[-1], s)
        self.length = s

    def _line(self, p, q, s):
        length = math.dist(p, q)
        if length > 1e-6:
            self.segs.append(('line', s, length, (p, track_of(q[0] - p[0], q[1] - p[1]))))
        return s + length

    def at(self, s):
        """Position, track and signed curvature (1/m, positive to the right) at distance s."""
        s = max(0.0, min(s, self.length))
        for kind, s0, length, data in self.segs:
            if s <= s0 + length or (kind, s0, length, data) == self.segs[-1]:
                u = s - s0
                if kind == 'line':
                    p, t = data
                    return ahead(p, t, u) + (t, 0.0)
                p1, t1, turn, r = data
                side = 1.0 if turn > 0 else -1.0
                cx, cy = direction(t1 + 90.0 * side)
                centre = (p1[0] + cx * r, p1[1] + cy * r)
                t = t1 + side * math.degrees(u / r)
                nx, ny = direction(t + 90.0 * side)
                return (centre[0] - nx * r, centre[1] - ny * r, t % 360.0, side / r)
        raise AssertionError('empty path')

    def arcs(self):
        return [(s0, s0 + length, data[3]) for kind, s0, length, data in self.segs if kind == 'arc']

    def s_near(self, point):
        """The distance along the path of its point closest to the given one (coarse, then fine)."""
        best, best_d = 0.0, 1e18
        step = 5.0
        s = 0.0
        while s <= self.length:
            x, y, _, _ = self.at(s)
            d = math.hypot(x - point[0], y - point[1])
            if d < best_d:
                best, best_d = s, d
            s += step
        return best


def turn_radius(speed_kn, bank_deg=25.0):
    v = speed_kn * KN
    return v * v / (G * math.tan(math.radians(bank_deg)))


# ---------------------------------------------------------------- movement

class Move:
    """A stage moving along a path.

    limits: (from s, max speed in knots[, deceleration to it in kn/s]) pieces; corners on the ground are taken at a lateral
    acceleration of 1 m/s^2; stops: (s, seconds) halts; the stage ends at the end of the path, with
    speed 0 when stop_at_end.
    """

    def __init__(self, path, limits, acc=1.0, dec=1.0, ground=True, stops=(), stop_at_end=True,
                 backward=False, alt=None, v0=0.0, s0=0.0, corner_dec=None):
        self.path, self.limits, self.acc, self.dec = path, sorted(limits), acc, dec
        self.ground, self.stops, self.stop_at_end, self.backward = ground, list(stops), stop_at_end, backward
        self.alt = alt  # an altitude rule, or None for the ground
        self.v0, self.s0 = v0, s0
        self.constraints = []  # (s, max speed kn, deceleration kn/s) to brake for
        for limit in self.limits:
            self.constraints.append((limit[0], limit[1], limit[2] if len(limit) > 2 else dec))
        self.limits = [(limit[0], limit[1]) for limit in self.limits]
        if ground:
            for a, b, r in path.arcs():
                if r < TAXI_CORNER_MAX:
                    self.constraints.append((a, self.corner_speed(r), corner_dec or dec))
        for s, _ in self.stops:
            self.constraints.append((s, 0.0, dec))
        if stop_at_end:
            self.constraints.append((path.length, 0.0, dec))

    @staticmethod
    def corner_speed(r):
        return math.sqrt(1.0 * r) / KN

    def vmax(self, s, airborne):
        v = 1e9
        for s0, lim in self.limits:
            if s >= s0:
                v = lim
        if self.ground and not airborne:
            for a, b, r in self.path.arcs():
                if a <= s <= b and r < TAXI_CORNER_MAX:
                    v = min(v, self.corner_speed(r))
        return v

    def allowed(self, s, airborne):
        v = self.vmax(s, airborne) * KN
        for sc, vc, dec in self.constraints:
            if sc > s:
                v = min(v, math.sqrt((vc * KN) ** 2 + 2.0 * dec * KN * (sc - s)))
        return v / KN


class Flight:
    def __init__(self, hexid, cs, iata, typ, reg, orig, dest, cat, airline, t0, stages, msg='adsb_icao',
                 once=False, stop_at=None, cs_change=None, start=None):
        self.hexid, self.cs, self.iata, self.typ, self.reg = hexid, cs, iata, typ, reg
        self.orig, self.dest, self.cat, self.airline = orig, dest, cat, airline
        self.t0, self.stages, self.msg = t0, stages, msg
        self.once, self.stop_at, self.cs_change = once, stop_at, cs_change
        self.rng = None  # its own random draws (report spacing), or None for the scenario's
        # The state: position (x, y), track, nose heading, speed kn, altitude ft MSL, vertical rate,
        # turn rate, airborne.
        self.stage = 0
        self.wait = 0.0
        self.done = False
        self.entered = False
        st = start or {}
        self.x, self.y = st.get('pos', (0.0, 0.0))
        self.track = st.get('track', 0.0)
        self.heading = st.get('heading', self.track)
        self.gs = 0.0
        self.alt = st.get('alt', ELEVATION)
        self.vs = 0.0
        self.turn = 0.0
        self.airborne = st.get('airborne', False)
        self.s = None
        self.v = 0.0
        self.stops_done = set()

    # -- stepping

    def begin_stage(self):
        st = self.stages[self.stage]
        if isinstance(st, Move):
            self.s = st.s0
            self.v = st.v0
            self.stops_done = set()
            self.place(st)
            self.gs = self.v
        else:
            self.wait = st[1]
            self.gs, self.vs, self.turn = 0.0, 0.0, 0.0
            self.track = self.heading

    def place(self, st):
        x, y, t, _ = st.path.at(self.s)
        self.x, self.y = x, y
        # The track is the direction of motion; pushing back, the nose points against it.
        self.track = t
        self.heading = (t + 180.0) % 360.0 if st.backward else t

    def step(self, t):
        if self.done:
            return
        if self.stage >= len(self.stages):
            self.done = True
            return
        st = self.stages[self.stage]
        if not isinstance(st, Move):  # ('stand', seconds)
            self.wait -= DT
            if self.wait <= 0:
                self.stage += 1
                if self.stage < len(self.stages):
                    self.begin_stage()
                else:
                    self.done = True
            return
        if self.wait > 0:
            self.wait -= DT
            self.gs = 0.0
            self.turn = 0.0
            return
        old_track = self.track
        vmax = st.allowed(self.s, self.airborne)
        acc = st.acc if not self.airborne else min(st.acc, 1.2)
        # Below the braking curves: accelerate; on them: follow them down.
        self.v = min(vmax, self.v + acc * DT)
        self.s += self.v * KN * DT
        for i, (ss, wait) in enumerate(st.stops):
            if i not in self.stops_done and self.s >= ss - 0.5:
                self.s = ss
                self.v = 0.0
                self.wait = wait
                self.stops_done.add(i)
        if self.s >= st.path.length:
            self.s = st.path.length
            if st.stop_at_end:
                self.v = 0.0
        self.gs = self.v
        self.place(st)
        self.turn = wrap180(self.track - old_track) / DT
        if st.alt is not None:
            st.alt(self, t)
        else:
            self.airborne = False
            self.alt = ELEVATION
            self.vs = 0.0
        if self.s >= st.path.length - 1e-6 and (st.stop_at_end or self.v <= 0.0):
            self.stage += 1
            if self.stage < len(self.stages):
                self.begin_stage()
            else:
                self.done = True
        elif self.s >= st.path.length - 1e-6:
            self.done = True

    # -- reporting

    def distance_nm(self):
        return math.hypot(self.x, self.y) / M_PER_NM

    def line(self, t, qnh):
        lat, lon = to_latlon(self.x, self.y)
        air = self.airborne
        alt = round(self.alt) if air else 0
        gs = self.gs
        roll = math.degrees(math.atan(gs * KN * math.radians(self.turn) / G)) if air else 0.0
        if air:
            wca = math.degrees(math.asin(max(-1.0, min(1.0, WIND_KN * math.sin(math.radians(WIND_FROM - self.track))
                                                        / max(gs, 60.0)))))
            true_heading = (self.track + wca) % 360.0
            tas = gs + WIND_KN * math.cos(math.radians(WIND_FROM - self.track))
            ias = tas / (1.0 + alt / 1000.0 * 0.02)
            mach = tas / (661.5 - 0.0021 * min(alt, 36000))
            geom = alt + round((qnh - 1013.25) * 27.0) + 150
        else:
            true_heading = self.heading % 360.0
            tas = ias = gs
            mach = 0.0
            geom = 0
        cs = self.cs
        if self.cs_change and t >= self.cs_change[0]:
            cs = self.cs_change[1]
        fields = [
            'RTTFC', str(self.hexid), f'{lat:.6f}', f'{lon:.6f}', str(alt), f'{self.vs:.0f}' if air else '0',
            '0' if air else '1', f'{self.track % 360.0:.1f}', f'{gs:.1f}', cs, self.typ, self.reg,
            self.orig, self.dest, f'{START + t:.2f}', 'adsb', self.iata, self.msg, str(geom),
            f'{ias:.0f}', f'{tas:.0f}' if self.msg == 'adsb_icao' else '-1', f'{mach:.3f}',
            f'{self.turn:.2f}' if air else '0.00', f'{roll:.1f}', f'{(true_heading - MAG_VAR) % 360.0:.1f}',
            f'{true_heading:.1f}', f'{self.vs:.0f}' if air else '0', 'none', self.cat,
        ]
        assert len(fields) == 29
        return ','.join(fields)


# ---------------------------------------------------------------- altitude rules

def glide(s_td, s_thr, start_alt, descent_fpm=2000.0):
    """Down to a 3-degree path to the threshold (50 ft over it), a flare to the touch-down point."""

    def profile(s):
        if s >= s_td:
            return ELEVATION
        if s >= s_thr:
            f = (s_td - s) / (s_td - s_thr)
            return ELEVATION + 50.0 * f ** 1.6
        return ELEVATION + 50.0 + (s_thr - s) / M_PER_NM * 318.0

    def rule(fl, t):
        if fl.s >= s_td:
            fl.airborne = False
            fl.alt = ELEVATION
            fl.vs = 0.0
            return
        if not fl.airborne:
            fl.airborne = True
            fl.alt = start_alt
        target = profile(fl.s)
        new = min(fl.alt, max(target, fl.alt - descent_fpm / 60.0 * DT))
        fl.vs = 0.8 * fl.vs + 0.2 * (new - fl.alt) / DT * 60.0
        fl.alt = new

    return rule


def climb(vr, rate_fpm, top_ft, start_alt=None):
    """On the ground until the rotation speed, then a climb at the rate to the top."""

    def rule(fl, t):
        if not fl.airborne:
            if start_alt is not None and fl.alt < start_alt:
                fl.alt = start_alt
            if fl.gs < vr and start_alt is None:
                fl.alt, fl.vs = ELEVATION, 0.0
                return
            fl.airborne = True
            if start_alt is None:
                fl.alt = ELEVATION + 25.0
                fl.vs = 600.0
        target_vs = rate_fpm if fl.alt < top_ft - 500.0 else max(0.0, (top_ft - fl.alt) / 500.0 * rate_fpm)
        fl.vs += max(-300.0 * DT, min(300.0 * DT, target_vs - fl.vs))
        fl.alt = min(top_ft, fl.alt + fl.vs / 60.0 * DT)

    return rule


def level(alt, rate_fpm=0.0, floor=0.0, ceiling=60000.0):
    def rule(fl, t):
        if not fl.airborne:
            fl.airborne = True
            fl.alt = alt
        fl.vs = rate_fpm if floor < fl.alt < ceiling or (fl.alt <= floor and rate_fpm > 0) or (
            fl.alt >= ceiling and rate_fpm < 0) else 0.0
        fl.alt = max(floor, min(ceiling, fl.alt + fl.vs / 60.0 * DT))

    return rule


# ---------------------------------------------------------------- routes at LSZH

def rwy_point(rwy, metres):
    return ahead(rwy[0], rwy[1], metres)


def departure_28(lay, stand, pull_out=False):
    """Stages from a stand to the line-up on runway 28 (push-back or pulling out, then the taxi
    with its corners), and the taxi points."""
    p = (stand['x'], stand['y'])
    stages = []
    lane = stand['lane']
    if stand['kind'] == 'ramp':
        pts = [p, lane, lay.lane_at(stand, stand['exit'])]  # pull out forwards onto the lane
    elif pull_out:
        # Pull out forwards onto the apron in front of the stand, then east along it.
        pts = [p, ahead(p, stand['heading'], stand['radius'] + 25.0), lay.front_at(stand, stand['exit'])]
    else:
        # Push back onto the lane, the tail swinging west, so that the nose points east.
        west = ahead(lane, lay.u, -45.0)
        push = Path([p, lane, west], 22.0)
        stages.append(Move(push, [(0.0, 3.0)], acc=0.4, dec=0.4, backward=True))
        stages.append(('stand', 25.0))
        pts = [west, lay.lane_at(stand, stand['exit'])]
    pts += [lay.connector_twy(stand), lay.entry, lay.lineup, RWY28[0]]
    return stages, pts


def takeoff_path(taxi_pts, rwy, climb_out_nm, outbound, out_nm, air_radius):
    """The taxi points, the runway, the climb-out and the outbound leg as one path."""
    rwy_end = rwy_point(rwy, 2500.0)
    turn_pt = rwy_point(rwy, 2500.0 + climb_out_nm * M_PER_NM)
    far = ahead(turn_pt, outbound, out_nm * M_PER_NM)
    pts = taxi_pts + [rwy_end, turn_pt, far]
    radii = [28.0] * (len(pts) - 2)
    radii[-1] = air_radius
    return Path(pts, radii)


EXIT14 = 3000.0  # metres from the threshold of runway 14 to its exit
EXIT10_ANGLE = 30.0  # degrees between runway 10 and its high-speed exit


def arrival_10(lay, stand, entry_pts):
    """From the first points through the final of runway 10, the roll-out, a right exit straight to
    the stand's place on its lane and into the stand (nose in); and the exit's point on the runway.
    The short way of an arrival that parks soon, for a stand open to the runway (Layout.by_runway)."""
    thr, rt = RWY10
    lane = stand['lane']
    dx, dy = direction(rt)
    along = (lane[0] - thr[0]) * dx + (lane[1] - thr[1]) * dy
    off = lay.south_of_runway(lane)
    exit_pt = rwy_point(RWY10, along - off / math.tan(math.radians(EXIT10_ANGLE)))
    p = (stand['x'], stand['y'])
    pts = entry_pts + [thr, exit_pt, lane, p]
    radii = []
    for i in range(1, len(pts) - 1):
        here = pts[i]
        if here == thr:
            radii.append(10.0)
        elif here == exit_pt:
            radii.append(300.0)
        elif i < len(entry_pts):
            radii.append(turn_radius(220.0))
        else:
            radii.append(28.0)
    return Path(pts, radii), exit_pt


def arrival_14(lay, stand, entry_pts):
    """From the first points through the final of runway 14, the roll-out, a right exit, the
    parallel taxiway, the row's connector and lane into the stand (nose in)."""
    thr = RWY14[0]
    exit_pt = rwy_point(RWY14, EXIT14)
    south = ahead(exit_pt, RWY14[1] + 40.0, 250.0)
    p = (stand['x'], stand['y'])
    pts = entry_pts + [thr, exit_pt, south, lay.twy_below(south[0]), lay.connector_twy(stand),
                       lay.lane_at(stand, stand['exit']), stand['lane'], p]
    radii = []
    for i in range(1, len(pts) - 1):
        here = pts[i]
        if here == thr:
            radii.append(10.0)
        elif here == exit_pt:
            radii.append(180.0)
        elif i < len(entry_pts):
            radii.append(turn_radius(220.0))
        else:
            radii.append(28.0)
    return Path(pts, radii)


# ---------------------------------------------------------------- the data set

def read_data_set():
    db = ET.parse(os.path.join(REPO, 'data', 'dbase.xml')).getroot()
    types = set()
    for a in db.iter('aircraft'):
        types.update(x.strip() for x in a.get('types').split(','))
    airlines = set()
    for a in db.find('ICAO_airlines').iter('ICAO'):
        airlines.update(x.strip() for x in a.get('codes').split(','))
    regs = {}
    for r in db.iter('db'):
        regs[r.get('reg')] = (r.get('airl'), r.get('type'))
    return types, airlines, regs


# ---------------------------------------------------------------- the scenario

NATIONAL = {'SWR': 'HB-J', 'EDW': 'HB-J', 'EZS': 'HB-J', 'OAW': 'HB-J', 'AUA': 'OE-L', 'DLH': 'D-AI',
            'GEC': 'D-AL', 'BOX': 'D-AA', 'KLM': 'PH-E', 'BAW': 'G-EU', 'LGL': 'LX-LQ', 'THY': 'TC-J',
            'UAE': 'A6-E', 'QTR': 'A7-A', 'CLX': 'LX-V', 'UAL': 'N2', 'RYR': 'EI-E', '': 'HB-Z'}


class Registrations:
    def __init__(self, rng, known):
        self.rng, self.used = rng, set(known)

    def make(self, airline, rng=None):
        rng = rng or self.rng
        prefix = NATIONAL[airline]
        while True:
            if prefix.startswith('N'):
                reg = prefix + ''.join(rng.choice('0123456789') for _ in range(2)) + 'UA'
            else:
                # Three letters after the dash, four for Germany and the United Kingdom.
                nation, letters = prefix.split('-')
                count = (4 if nation in ('D', 'G') else 3) - len(letters)
                reg = prefix + ''.join(rng.choice('ABCDEFGHIJKLMNOPQRSTUVWXYZ') for _ in range(count))
            if reg not in self.used:
                self.used.add(reg)
                return reg


def wave_flights(lay, k, rng, regs, data_regs, own_rng):
    """The flights of wave k (times relative to the wave's start). The flights with own_rng draw their
    registration and report spacing from it, so that the others' draws stay as they were before those
    flights came into the scenario."""
    fl = []
    hx = 4900000 + 1000 * k

    def reg_for(airline, typ, wanted=None):
        if wanted and k == 0:
            assert data_regs.get(wanted) == (airline, typ), wanted
            return wanted
        return regs.make(airline)

    def cs(base, n):
        return f'{base}{n + 10 * k}' if k else f'{base}{n}'

    # Stands by kind and number; each wave takes other stands, so that the earlier waves' arrivals
    # keep theirs.
    def stand(which, moving=True, pull_out=False):
        kinds, i = which
        return lay.pick(kinds, i + 3 * k, moving, pull_out)

    # -- overflights, FL300 to FL400
    def overflight(hexid, csign, iata, typ, airline, cat, orig, dest, fl_ft, gs, pts, s0_nm, t0, reg=None, **kw):
        path = Path(pts, turn_radius(gs))
        st = Move(path, [(0.0, gs)], acc=0.5, dec=0.5, ground=False, stop_at_end=False,
                  alt=level(fl_ft), v0=gs, s0=s0_nm * M_PER_NM)
        fl.append(Flight(hexid, csign, iata, typ, reg or reg_for(airline, typ), orig, dest, cat, airline, t0, [st],
                         **kw))

    edge = RANGE_NM + 2.0
    overflight(hx + 1, cs('UAE', 15), 'EK15' if not k else f'EK{15 + 10 * k}', 'A388', 'UAE', 'A5', 'DXB', 'JFK',
               38000, 480, [bearing_point(60, edge), bearing_point(250, edge)], 25.0, 0.0)
    overflight(hx + 2, cs('QTR', 93), 'QR93', 'A359', 'QTR', 'A5', 'DOH', 'LAX', 36000, 470,
               [bearing_point(115, edge), bearing_point(150, 14.0), bearing_point(300, edge)], 0.5, 40.0)
    overflight(hx + 3, cs('CLX', 790), 'CV790', 'B744', 'CLX', 'A5', 'LUX', 'MXP', 34000, 450,
               [bearing_point(330, edge), bearing_point(170, edge)], 12.0, 0.0)
    overflight(hx + 4, cs('UAL', 52), 'UA52', 'B789', 'UAL', 'A5', 'EWR', 'TLV', 40000, 490,
               [bearing_point(290, edge), bearing_point(240, 10.0), bearing_point(200, 8.0),
                bearing_point(110, edge)], 20.0, 0.0)
    # Its callsign changes in flight.
    overflight(hx + 5, cs('BAW', 58), 'BA58', 'A320', 'BAW', 'A3', 'LHR', 'ATH', 31000, 440,
               [bearing_point(310, edge), bearing_point(20, 12.0), bearing_point(100, edge)], 0.5, 150.0,
               cs_change=(330.0, cs('BAW', 58) + 'P'))
    overflight(hx + 6, cs('RYR', 4143), 'FR4143', 'B38M', 'RYR', 'A3', 'STN', 'BGY', 33000, 450,
               [bearing_point(350, edge), bearing_point(140, edge)], 0.5, 300.0)

    # -- arrivals on runway 14 to stands
    thr = RWY14[0]
    final = lambda nm: rwy_point(RWY14, -nm * M_PER_NM)

    def arrival(hexid, csign, iata, typ, airline, cat, orig, standname, t0, entry_pts, start_alt, s0_nm, v0, vref,
                reg=None, descent=1800.0, stand_for=60.0, brake=2.0, dec=0.8, runway=14, exit_kn=28.0,
                own=False):
        st_ = lay.by_runway(standname) if runway == 10 else stand(standname)
        if runway == 10:
            path, exit_pt = arrival_10(lay, st_, entry_pts)
            s_thr = path.s_near(RWY10[0])
        else:
            path, exit_pt = arrival_14(lay, st_, entry_pts), rwy_point(RWY14, EXIT14)
            s_thr = path.s_near(thr)
        s_td = s_thr + 400.0
        s_exit = path.s_near(exit_pt) - 120.0
        limits = [(0.0, v0), (s_thr - 15 * M_PER_NM, min(v0, 220.0)), (s_thr - 8 * M_PER_NM, 180.0),
                  (s_thr - 5 * M_PER_NM, 160.0), (s_thr - 3 * M_PER_NM, vref), (s_td, vref),
                  (s_exit, exit_kn, max(3.0, brake)), (s_exit + 300.0, 25.0, 3.0)]
        # A flight first seen close in keeps only the last limit it has already passed.
        passed = [x for x in limits if x[0] <= 0.0]
        limits = [(0.0,) + passed[-1][1:]] + [x for x in limits if x[0] > 0.0]
        mv = Move(path, limits, acc=1.0, dec=dec, ground=True, alt=glide(s_td, s_thr, start_alt, descent),
                  v0=v0, s0=s0_nm * M_PER_NM, corner_dec=brake)
        reg = reg or (regs.make(airline, own_rng) if own else reg_for(airline, typ))
        fl.append(Flight(hexid, csign, iata, typ, reg, orig, 'ZRH', cat, airline, t0, [mv, ('stand', stand_for)]))
        if own:
            fl[-1].rng = own_rng

    arrival(hx + 11, cs('SWR', 1257), 'LX1257', 'BCS3', 'SWR', 'A3', 'CPH', (['narrow'], 8), 0.0,
            [final(4.0)], ELEVATION + 50 + 4 * 318, 0.0, 150, 132, reg=None if k else 'HB-JCA')
    arrival(hx + 12, cs('DLH', 1188), 'LH1188', 'A320', 'DLH', 'A3', 'FRA', (['narrow'], 12), 0.0,
            [final(9.0)], ELEVATION + 50 + 9.0 * 318, 0.0, 190, 136, reg=None if k else 'D-AIZA')
    # Descends through 10,000 ft in its first minute, turns onto the final.
    arrival(hx + 13, cs('KLM', 1953), 'KL1953', 'E295', 'KLM', 'A3', 'AMS', (['regional', 'narrow'], 15), 0.0,
            [bearing_point(340, 24.0), final(11.0)], 10700.0, 0.0, 250, 128)
    arrival(hx + 14, cs('LGL', 7), 'LG7', 'DH8D', 'LGL', 'A2', 'LUX', (['regional', 'narrow'], 12), 90.0,
            [final(9.0)], ELEVATION + 50 + 9 * 318, 0.0, 190, 120)
    arrival(hx + 15, cs('EZS', 1075), 'DS1075', 'A320', 'EZS', 'A3', 'LGW', (['narrow'], 16), 175.0,
            [bearing_point(300, 21.0), final(10.0)], 8000.0, 0.0, 240, 135, reg=None if k else 'HB-JXA')
    # On a short final of runway 10, it lands, rolls out, takes the high-speed exit to a stand next to
    # the runway and halts there about 45 s after touching down.
    arrival(hx + 16, cs('EDW', 33), 'WK33', 'A320', 'EDW', 'A3', 'HRG', 'narrow', 0.0,
            [rwy_point(RWY10, -2.2 * M_PER_NM)], ELEVATION + 50 + 2.2 * 318, 0.0, 132, 132, stand_for=90.0,
            brake=6.0, dec=4.0, runway=10, exit_kn=34.0, own=True)

    # -- departures from stands (runway 28)
    def stand_departure(hexid, csign, iata, typ, airline, cat, dest, standname, t0, stand_s, vr, rate, top,
                        outbound, reg=None, hold=20.0, climb_out=3.0, pull_out=False):
        st_ = stand(standname, pull_out=pull_out)
        pre, taxi = departure_28(lay, st_, pull_out)
        path = takeoff_path(taxi, RWY28, climb_out, outbound, 60.0, turn_radius(230))
        s_hold = path.s_near(lay.hold)
        s_line = path.s_near(RWY28[0])
        limits = [(0.0, 22.0), (s_hold + 20.0, 12.0), (s_line + 1.0, 250.0), (path.s_near(RWY28[0]) + 4000.0, 290.0)]
        mv = Move(path, limits, acc=2.8, dec=1.0, ground=True, stops=[(s_hold, hold), (s_line, 8.0)],
                  stop_at_end=False, alt=climb(vr, rate, top))
        start = {'pos': (st_['x'], st_['y']), 'track': st_['heading'], 'heading': st_['heading']}
        fl.append(Flight(hexid, csign, iata, typ, reg or reg_for(airline, typ), 'ZRH', dest, cat, airline, t0,
                         [('stand', stand_s)] + pre + [mv], start=start))

    stand_departure(hx + 21, cs('SWR', 316), 'LX316', 'A321', 'SWR', 'A3', 'LHR', (['narrow'], 0), 0.0, 20.0, 145, 2500,
                    24000, 300.0)
    stand_departure(hx + 22, cs('EDW', 26), 'WK26', 'A320', 'EDW', 'A3', 'PMI', (['narrow'], 4), 0.0, 200.0, 145, 2400,
                    26000, 225.0, reg=None if k else 'HB-JJA')
    stand_departure(hx + 23, cs('GEC', 8201), 'LH8201', 'B77L', 'GEC', 'A5', 'ORD', (['cargo'], 2), 0.0, 240.0, 160, 1800,
                    28000, 300.0, reg=None if k else 'D-ALFA')
    # A business jet pulls out of its ramp stand.
    stand_departure(hx + 24, f'HB{"VOA" if not k else "VO" + chr(65 + k)}', '', 'C25A', '', 'A1', 'LFPB', (['ramp', 'regional'], 3), 0.0,
                    120.0, 110, 3000, 30000, 265.0, pull_out=True)

    # -- a departure on its take-off roll on runway 16 and one first seen in the air
    rwy16 = Path([RWY16[0], rwy_point(RWY16, 3700.0), ahead(rwy_point(RWY16, 3700.0), 155.3, 3 * M_PER_NM),
                  bearing_point(215, 60.0)], [1.0, turn_radius(230)])
    mv = Move(rwy16, [(0.0, 250.0), (3700.0 + 5 * M_PER_NM, 290.0)], acc=2.5, dec=1.0, ground=True,
              stop_at_end=False, stops=[(0.0, 10.0)], alt=climb(168, 2200, 32000))
    fl.append(Flight(hx + 31, cs('SWR', 38), 'LX38', 'B77W', reg_for('SWR', 'B77W', 'HB-JNA'), 'ZRH', 'LAX', 'A5',
                     'SWR', 20.0, [mv], start={'pos': RWY16[0], 'track': RWY16[1]}))
    p0 = rwy_point(RWY28, 2500.0 + 1.2 * M_PER_NM)
    air = Path([p0, ahead(p0, 275.4, 1.5 * M_PER_NM), bearing_point(235, 60.0)], turn_radius(220))
    fl.append(Flight(hx + 32, cs('AUA', 563), 'OS563', 'A321', 'AUA', 'ZRH', 'VIE', 'A3', 'AUA', 0.0,
                     [Move(air, [(0.0, 250.0)], acc=1.0, ground=False, stop_at_end=False,
                           alt=climb(0, 2400, 21000, start_alt=ELEVATION + 2100.0), v0=190.0)],
                     start={'alt': ELEVATION + 2100.0}))
    fl[-1].orig, fl[-1].dest = 'ZRH', 'VIE'
    fl[-1].reg = reg_for('AUA', 'A321', 'OE-LBA')
    # Climbs through 10,000 ft in its first minute.
    p0 = bearing_point(255, 9.0)
    air = Path([p0, ahead(p0, 250.0, 4 * M_PER_NM), bearing_point(150, 60.0)], turn_radius(270))
    fl.append(Flight(hx + 33, cs('THY', 1911), 'TK1911', 'B738', 'THY', 'ZRH', 'IST', 'A3', 'THY', 0.0,
                     [Move(air, [(0.0, 270.0)], acc=1.0, ground=False, stop_at_end=False,
                           alt=climb(0, 2500, 25000, start_alt=7600.0), v0=260.0)]))
    fl[-1].reg = reg_for('THY', 'B738')
    # Its reports stop in the air (at 240 s).
    p0 = bearing_point(300, 6.0)
    air = Path([p0, ahead(p0, 320.0, 2 * M_PER_NM), bearing_point(20, 60.0)], turn_radius(250))
    fl.append(Flight(hx + 34, cs('OAW', 8262), '2L8262', 'E190', 'OAW', 'ZRH', 'BER', 'A2', 'OAW', 0.0,
                     [Move(air, [(0.0, 280.0)], acc=1.0, ground=False, stop_at_end=False,
                           alt=climb(0, 1800, 23000, start_alt=6800.0), v0=230.0)], stop_at=240.0))
    fl[-1].reg = reg_for('OAW', 'E190')

    # -- a helicopter to the helipad
    pad = lay.pick(['heli'], 0)
    hp = (pad['x'], pad['y'])
    pts = [bearing_point(225, 7.0), ahead(hp, 225.0, 1.2 * M_PER_NM), ahead(hp, 270.0, 150.0), hp]
    path = Path(pts, [turn_radius(110, 20), 60.0])
    s_pad = path.length
    s_slow = path.s_near(ahead(hp, 270.0, 150.0))

    def heli_alt(fl_, t):
        left = s_pad - fl_.s
        fl_.airborne = left > 1.0
        target = ELEVATION + min(2600.0, 20.0 + left / M_PER_NM * 700.0) if fl_.airborne else ELEVATION
        new = max(target, fl_.alt - 900.0 / 60.0 * DT) if fl_.alt > target else target
        fl_.vs = (new - fl_.alt) / DT * 60.0
        fl_.alt = new

    mv = Move(path, [(0.0, 110.0), (s_slow - 900.0, 60.0), (s_slow, 40.0), (s_pad - 60.0, 15.0)], acc=1.0,
              dec=0.6, ground=False, alt=heli_alt, v0=110.0)
    fl.append(Flight(hx + 41, f'HBZR{chr(65 + k)}', '', 'EC35', '', '', 'LSZH', 'A7', '', 140.0,
                     [mv, ('stand', 60.0)], start={'alt': ELEVATION + 2600.0}))
    fl[-1].orig = 'null'
    fl[-1].reg = f'HB-ZR{chr(65 + k)}'

    # -- seen once: a light aircraft reported a single time, by multilateration
    p0 = bearing_point(280, 18.0)
    fl.append(Flight(hx + 51, 'N1' if not k else f'HBC{chr(65 + k)}', '', 'C172', '', 'null', 'null', 'A1', '', 75.0,
                     [Move(Path([p0, ahead(p0, 90.0, 20 * M_PER_NM)], []), [(0.0, 105.0)], ground=False,
                           stop_at_end=False, alt=level(4500.0), v0=105.0)], msg='mlat', once=True))
    fl[-1].reg = 'N1' if not k else f'HB-C{chr(65 + k)}'

    # -- standing at their stands all the time (only in the first wave)
    if k == 0:
        for hexid, csign, iata, typ, airline, cat, dest, standname, reg in [
            (hx + 61, 'AUA1567', 'OS1567', 'A320', 'AUA', 'A3', 'VIE', (['narrow'], 13), 'OE-LBI'),
            (hx + 62, 'BOX5N', '3S5N', 'B77L', 'BOX', 'A5', 'LEJ', (['cargo'], 4), 'D-AALA'),
            (hx + 63, 'SWR18', 'LX18', 'B77W', 'SWR', 'A5', 'MIA', (['wide'], 3), 'HB-JNB'),
            (hx + 64, 'SWR142', 'LX142', 'A333', 'SWR', 'A5', 'BOM', (['wide'], 6), 'HB-JHA'),
        ]:
            s_ = stand(standname, moving=False)
            fl.append(Flight(hexid, csign, iata, typ, reg_for(airline, typ, reg), 'ZRH', dest, cat, airline, 0.0,
                             [('stand', 1e9)], start={'pos': (s_['x'], s_['y']), 'track': s_['heading'],
                                                      'heading': s_['heading']}))
    return fl


def build(minutes, seed, layout):
    duration = minutes * 60.0
    lay = Layout(layout)
    rng = random.Random(seed)
    types, airlines, data_regs = read_data_set()
    regs = Registrations(rng, data_regs.keys())
    own_rng = random.Random(f'{seed}/own')
    flights = []
    k = 0
    while k * WAVE < duration:
        for f in wave_flights(lay, k, rng, regs, data_regs, own_rng):
            f.t0 += k * WAVE
            flights.append(f)
        k += 1
    for f in flights:
        assert f.typ in types, f.typ
        assert f.airline == '' or f.airline in airlines, f.airline
        if f.reg in data_regs:
            assert data_regs[f.reg] == (f.airline, f.typ), f.reg
    # Report times: every 1 to 2 s, on the 0.1 s grid.
    for f in flights:
        f.next_report = f.t0 + (f.rng or rng).randint(0, 10) / 10.0
        f.stage = 0
        f.begin_stage()
        first = f.stages[0]
        if isinstance(first, Move) and first.alt is not None:
            first.alt(f, f.t0)
    out = []
    qnh = 1018
    next_qnh = 0.0
    steps = int(round(duration / DT))
    for i in range(steps + 1):
        t = round(i * DT, 1)
        if t >= next_qnh - 1e-9:
            issued = datetime.datetime.fromtimestamp(START + t - (START + t) % 1800, datetime.timezone.utc)
            metar = f'LSZH {issued:%d%H%M}Z 24008KT 9999 FEW040 SCT250 08/03 Q{qnh} NOSIG'
            out.append((t, 'Q', f'{{"ICAO":"LSZH","QNH":{qnh},"METAR":"{metar}"}}'))
            next_qnh = t + rng.choice([60.0, 75.0, 90.0, 120.0])
            if rng.random() < 0.3:
                qnh = max(1014, min(1021, qnh + rng.choice([-1, 1])))
        for f in flights:
            if t < f.t0 - 1e-9 or f.done:
                continue
            if i > 0 and t > f.t0 + 1e-9:
                f.step(t)
            if f.done:
                continue
            if t >= f.next_report - 1e-9:
                inside = f.distance_nm() <= RANGE_NM
                if inside:
                    f.entered = True
                elif f.entered:
                    f.done = True  # it left the range
                    continue
                if inside and (f.stop_at is None or t - f.t0 < f.stop_at):
                    out.append((t, 'T', f.line(t, qnh)))
                    if f.once:
                        f.done = True
                f.next_report = round(t + (f.rng or rng).randint(10, 20) / 10.0, 1)
    return out


def write(out, path, minutes, seed):
    with open(path, 'w', newline='\n') as fh:
        fh.write(f'# Traffic around Zurich (LSZH), {minutes:g} minutes, seed {seed}: seconds, T or Q, the datagram. '
                 'Made by make_demo.py.\n')
        for t, kind, payload in out:
            fh.write(f'{t:.1f}\t{kind}\t{payload}\n')


def main():
    ap = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    ap.add_argument('--minutes', type=float, default=10.0, help='length of the scenario (default 10)')
    ap.add_argument('--seed', type=int, default=17, help='seed of the report spacing and made-up marks')
    ap.add_argument('--out', default=os.path.join(HERE, 'demo.txt'), help='the replay to write')
    ap.add_argument('--stands', default=LAYOUT_JSON, help='the stand layout to read (default %(default)s)')
    a = ap.parse_args()
    if not (0 < a.minutes <= 24 * 60):
        ap.error('--minutes must be above 0 and at most 1440')
    write(build(a.minutes, a.seed, load_layout(a.stands)), a.out, a.minutes, a.seed)


if __name__ == '__main__':
    main()
