#!/usr/bin/env python3
"""Writes demo.txt: about three minutes of traffic around Zurich (LSZH) for skyloom-rtfeed.

Arrivals fly the final of runway 14 on a three-degree path, land and roll out; departures take off
from runways 16 and 28 and climb away; a few aircraft park or taxi at the docks. Each flight reports
every few seconds; QNH datagrams come every 30 seconds. The output is the same on every run.

Traffic line: RTTFC, hexid (decimal), lat, lon, baro altitude, baro rate, ground flag, track, ground
speed, callsign, ICAO type, registration, from, to, Unix time, source, IATA callsign, message type,
geometric altitude, IAS, TAS, Mach, track rate, roll, magnetic heading, true heading, geometric rate,
emergency, category (29 fields).
"""

import math
import os

ELEVATION = 1416.0
START = 1765364400.0  # 2025-12-10 11:00:00 UTC
DURATION = 180.0
DT = 0.5
NM_PER_DEG = 60.0
KN_TO_NM_PER_S = 1.0 / 3600.0

RWY14_THRESHOLD = (47.48250, 8.53470)
RWY14_TRUE = 137.6
RWY16_THRESHOLD = (47.47670, 8.53520)
RWY16_TRUE = 155.3
RWY28_THRESHOLD = (47.45720, 8.57060)
RWY28_TRUE = 275.4


def move(lat, lon, track_deg, nm):
    t = math.radians(track_deg)
    lat2 = lat + nm * math.cos(t) / NM_PER_DEG
    lon2 = lon + nm * math.sin(t) / (NM_PER_DEG * math.cos(math.radians(lat)))
    return lat2, lon2


class Flight:
    def __init__(self, hexid, cs, iata, typ, reg, orig, dest, cat, period, offset, lat, lon, track, gs,
                 alt, mode, **kw):
        self.hexid, self.cs, self.iata, self.typ, self.reg = hexid, cs, iata, typ, reg
        self.orig, self.dest, self.cat = orig, dest, cat
        self.period, self.offset = period, offset
        self.lat, self.lon, self.track, self.gs, self.alt = lat, lon, track, gs, alt
        self.mode = mode  # 'final', 'departure', 'cruise', 'taxi', 'parked'
        self.vs = 0.0
        self.turn = 0.0
        self.on_ground = mode in ('taxi', 'parked') or kw.get('rolling', False)
        self.kw = kw
        self.msg_type = kw.get('msg_type', 'adsb_icao')
        self.tas_given = kw.get('tas_given', True)

    def step(self, t):
        k = self.kw
        self.turn = 0.0
        if self.mode == 'final':
            if not self.on_ground:
                # Three degrees: 318 ft per nautical mile down to 50 ft over the threshold.
                self.gs = max(k['vref'], self.gs - 0.5 * DT)
                self.track = RWY14_TRUE
                along = self.gs * KN_TO_NM_PER_S * DT
                self.lat, self.lon = move(self.lat, self.lon, self.track, along)
                dist = self.dist_to_threshold()
                target = ELEVATION + 50.0 + dist * 318.0 if self.before_threshold() else ELEVATION
                self.vs = (target - self.alt) / DT * 60.0
                self.vs = max(-1100.0, min(0.0, self.vs))
                self.alt += self.vs / 60.0 * DT
                if self.alt <= ELEVATION + 5.0:
                    self.on_ground = True
                    self.alt = 0.0
                    self.vs = 0.0
            else:
                if self.gs > 18.0:
                    self.gs = max(18.0, self.gs - 3.0 * DT)
                elif self.track > RWY14_TRUE - 80.0:
                    self.turn = -6.0  # vacate to the left
                self.track += self.turn * DT
                self.lat, self.lon = move(self.lat, self.lon, self.track, self.gs * KN_TO_NM_PER_S * DT)
        elif self.mode == 'departure':
            if t < k.get('release', 0.0):
                return
            if self.on_ground:
                self.gs = min(k['vr'], self.gs + 3.5 * DT)
                if self.gs >= k['vr']:
                    self.on_ground = False
                    self.alt = ELEVATION + 20.0
            else:
                self.gs = min(k['climb_speed'], self.gs + 1.0 * DT)
                self.vs = k['climb_rate']
                self.alt += self.vs / 60.0 * DT
                if self.alt > ELEVATION + k.get('turn_above', 2500.0) and abs(self.heading_error(k['outbound'])) > 1.0:
                    self.turn = math.copysign(2.0, self.heading_error(k['outbound']))
            self.track = (self.track + self.turn * DT) % 360.0
            self.lat, self.lon = move(self.lat, self.lon, self.track, self.gs * KN_TO_NM_PER_S * DT)
        elif self.mode == 'cruise':
            self.vs = k.get('vs', 0.0)
            floor = k.get('floor', 0.0)
            self.alt = max(floor, self.alt + self.vs / 60.0 * DT)
            if self.alt <= floor:
                self.vs = 0.0
            self.gs = max(k.get('min_gs', self.gs), self.gs - k.get('decel', 0.0) * DT)
            if 'outbound' in k and abs(self.heading_error(k['outbound'])) > 1.0 and t >= k.get('turn_at', 0.0):
                self.turn = math.copysign(k.get('rate', 1.5), self.heading_error(k['outbound']))
            self.track = (self.track + self.turn * DT) % 360.0
            self.lat, self.lon = move(self.lat, self.lon, self.track, self.gs * KN_TO_NM_PER_S * DT)
        elif self.mode == 'taxi':
            if t >= k.get('turn_at', 1e9) and abs(self.heading_error(k['outbound'])) > 1.0:
                self.turn = math.copysign(10.0, self.heading_error(k['outbound']))
                self.gs = 8.0
            else:
                self.gs = k.get('speed', 14.0)
            self.track = (self.track + self.turn * DT) % 360.0
            self.lat, self.lon = move(self.lat, self.lon, self.track, self.gs * KN_TO_NM_PER_S * DT)

    def heading_error(self, target):
        return (target - self.track + 540.0) % 360.0 - 180.0

    def dist_to_threshold(self):
        dlat = (RWY14_THRESHOLD[0] - self.lat) * NM_PER_DEG
        dlon = (RWY14_THRESHOLD[1] - self.lon) * NM_PER_DEG * math.cos(math.radians(self.lat))
        return math.hypot(dlat, dlon)

    def before_threshold(self):
        dlat = RWY14_THRESHOLD[0] - self.lat
        dlon = (RWY14_THRESHOLD[1] - self.lon) * math.cos(math.radians(self.lat))
        t = math.radians(RWY14_TRUE)
        return dlat * math.cos(t) + dlon * math.sin(t) > 0

    def line(self, t):
        airborne = not self.on_ground and self.mode != 'parked'
        alt = round(self.alt) if airborne else 0
        gs = self.gs if self.mode != 'parked' else 0.0
        roll = math.degrees(math.atan(gs * 0.5144 * math.radians(self.turn) / 9.81)) if airborne else 0.0
        # Wind from 240 at 8 knots: the heading points a little into it.
        wca = math.degrees(math.asin(max(-1.0, min(1.0, 8.0 * math.sin(math.radians(240.0 - self.track)) / max(gs, 60.0))))) if airborne else 0.0
        true_heading = (self.track + wca) % 360.0
        ias = gs * (1.0 - alt / 1000.0 * 0.015) if airborne else gs
        tas = gs + 8.0 * math.cos(math.radians(240.0 - self.track)) if airborne else gs
        mach = tas / 661.5 if airborne else 0.0
        geom = alt + 150 if airborne else 0
        fields = [
            'RTTFC', str(self.hexid), f'{self.lat:.6f}', f'{self.lon:.6f}', str(alt), f'{self.vs:.0f}' if airborne else '0',
            '0' if airborne else '1', f'{self.track % 360.0:.1f}', f'{gs:.1f}', self.cs, self.typ, self.reg,
            self.orig, self.dest, f'{START + t:.2f}', 'adsb', self.iata, self.msg_type, str(geom),
            f'{ias:.0f}', f'{tas:.0f}' if self.tas_given else '-1', f'{mach:.3f}', f'{self.turn:.2f}',
            f'{roll:.1f}', f'{(true_heading - 3.0) % 360.0:.1f}', f'{true_heading:.1f}',
            f'{self.vs:.0f}' if airborne else '0', 'none', self.cat,
        ]
        assert len(fields) == 29
        return ','.join(fields)


def on_final(nm_out):
    return move(RWY14_THRESHOLD[0], RWY14_THRESHOLD[1], RWY14_TRUE + 180.0, nm_out)


def flights():
    f = []
    # Arrivals on the final of runway 14.
    for (hexid, cs, iata, typ, reg, orig, cat, nm, gs, vref, period, offset) in [
        (4918658, 'SWR15', 'LX15', 'A333', 'HB-JHK', 'JFK', 'A5', 3.2, 150, 142, 4, 0.5),
        (3932845, 'DLH5WK', 'LH1188', 'A20N', 'D-AINL', 'FRA', 'A3', 7.5, 170, 138, 3, 1.0),
        (4917956, 'SWR1257', 'LX1257', 'BCS3', 'HB-JCS', 'CPH', 'A3', 12.0, 190, 135, 5, 2.0),
        (5046787, 'LGL7GL', 'LG7GL', 'DH8D', 'LX-LQB', 'LUX', 'A2', 16.5, 200, 120, 4, 3.0),
        (4200563, 'BAW712', 'BA712', 'A320', 'G-EUYE', 'LHR', 'A3', 21.0, 220, 137, 3, 0.0),
    ]:
        lat, lon = on_final(nm)
        fl = Flight(hexid, cs, iata, typ, reg, orig, 'ZRH', cat, period, offset, lat, lon, RWY14_TRUE, gs,
                    ELEVATION + 50.0 + nm * 318.0, 'final', vref=vref)
        f.append(fl)
    # Arrivals still descending towards the approach.
    lat, lon = 47.78, 8.95
    f.append(Flight(4735250, 'KLM1953', 'KL1953', 'E295', 'PH-NXA', 'AMS', 'ZRH', 'A2', 4, 1.5, lat, lon, 200.0, 260,
                    10500.0, 'cruise', vs=-1500.0, floor=6000.0, decel=0.1, min_gs=230, outbound=250.0, turn_at=60.0))
    lat, lon = 47.22, 8.98
    f.append(Flight(4923920, 'EZS1075', 'DS1075', 'A320', 'HB-JXA', 'LGW', 'ZRH', 'A3', 5, 2.5, lat, lon, 320.0, 280,
                    12000.0, 'cruise', vs=-1800.0, floor=7000.0, decel=0.15, min_gs=240, outbound=350.0, turn_at=40.0))
    # Departures.
    f.append(Flight(4918785, 'SWR38', 'LX38', 'B77W', 'HB-JNA', 'ZRH', 'LAX', 'A5', 4, 0.0, *RWY16_THRESHOLD, RWY16_TRUE,
                    0.0, 0.0, 'departure', rolling=True, release=10.0, vr=165.0, climb_speed=250.0,
                    climb_rate=2200.0, outbound=220.0, turn_above=3000.0))
    lat, lon = move(*RWY28_THRESHOLD, RWY28_TRUE, 0.05)
    f.append(Flight(4919372, 'SWR316', 'LX316', 'A321', 'HB-IOL', 'ZRH', 'LHR', 'A3', 3, 1.0, lat, lon, RWY28_TRUE,
                    0.0, 0.0, 'departure', rolling=True, release=95.0, vr=150.0, climb_speed=250.0,
                    climb_rate=2500.0, outbound=300.0))
    lat, lon = move(*RWY28_THRESHOLD, RWY28_TRUE, 3.5)
    f.append(Flight(4921010, 'EDW210', 'WK210', 'A320', 'HB-IHX', 'ZRH', 'PMI', 'A3', 4, 2.0, lat, lon, RWY28_TRUE,
                    185.0, ELEVATION + 2100.0, 'departure', release=0.0, vr=150.0, climb_speed=250.0,
                    climb_rate=2400.0, outbound=235.0, turn_above=2800.0))
    lat, lon = move(*RWY28_THRESHOLD, RWY28_TRUE, 9.0)
    f.append(Flight(4949210, 'THY1911', 'TK1911', 'B738', 'TC-JHO', 'ZRH', 'IST', 'A3', 5, 0.5, lat, lon, 250.0,
                    250.0, 7600.0, 'cruise', vs=2000.0, floor=0.0, outbound=205.0, turn_at=20.0, rate=1.0))
    lat, lon = move(*RWY28_THRESHOLD, 300.0, 6.0)
    f.append(Flight(4922633, 'OAW8262', '2L8262', 'E190', 'HB-JVS', 'ZRH', 'BER', 'A2', 3, 1.5, lat, lon, 320.0,
                    230.0, 6800.0, 'cruise', vs=1800.0, floor=0.0, outbound=20.0, turn_at=20.0, rate=1.5))
    lat, lon = move(*RWY28_THRESHOLD, 260.0, 14.0)
    f.append(Flight(4016458, 'DIEFA', '', 'C25A', 'D-IEFA', 'null', 'null', 'A1', 5, 3.0, lat, lon, 255.0, 290.0,
                    14500.0, 'cruise', vs=1200.0, floor=0.0, msg_type='mlat', tas_given=False))
    # On the ground at the docks.
    f.append(Flight(4921700, 'SWR100', 'LX100', 'A320', 'HB-JLQ', 'ZRH', 'GVA', 'A3', 5, 0.0, 47.45150, 8.56120, 145.0,
                    0.0, 0.0, 'parked'))
    f.append(Flight(4923555, 'EZS1410', 'DS1410', 'A319', 'HB-JYE', 'ZRH', 'BSL', 'A3', 5, 2.5, 47.45240, 8.55920, 325.0,
                    0.0, 0.0, 'parked'))
    f.append(Flight(4917201, 'SWR1081', 'LX1081', 'A20N', 'HB-JDA', 'ZRH', 'VIE', 'A3', 3, 0.5, 47.45420, 8.55780, 325.0,
                    14.0, 0.0, 'taxi', speed=14.0, outbound=265.0, turn_at=70.0))
    f.append(Flight(3948562, 'DLH1207', 'LH1207', 'A319', 'D-AIBA', 'MUC', 'ZRH', 'A3', 4, 1.0, 47.46050, 8.55150, 150.0,
                    12.0, 0.0, 'taxi', speed=12.0))
    return f


def main():
    out = []
    fs = flights()
    steps = int(DURATION / DT)
    for i in range(steps + 1):
        t = i * DT
        for fl in fs:
            if i > 0:
                fl.step(t)
        for fl in fs:
            if t >= fl.offset and abs(((t - fl.offset) / fl.period) - round((t - fl.offset) / fl.period)) < 1e-9:
                out.append((t, 'T', fl.line(t)))
        if abs(t / 30.0 - round(t / 30.0)) < 1e-9:
            qnh = 1018 if t < 120 else 1017
            metar = f'LSZH 101100Z 24008KT 9999 FEW040 SCT250 08/03 Q{qnh} NOSIG'
            out.append((t, 'Q', f'{{"ICAO":"LSZH","QNH":{qnh},"METAR":"{metar}"}}'))
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'demo.txt')
    with open(path, 'w', newline='\n') as fh:
        fh.write('# Traffic around Zurich (LSZH): seconds, T or Q, the datagram. Made by make_demo.py.\n')
        for t, kind, payload in out:
            fh.write(f'{t:.1f}\t{kind}\t{payload}\n')


if __name__ == '__main__':
    main()
