#!/usr/bin/env python3
"""Writes the demo stand layout of Zurich (LSZH): an airport parking file and the stand list as JSON.

The layout is our own invention for the demo, not a survey of the real airport: rows of stands along
the demo aprons east of the runway crossing (narrow-body, regional and wide-body rows, a cargo row and
one helipad), spaced so that the stands of a row are each other's neighbours (two stands are
neighbours when their radii add up to more than 1.1 times their distance). Every stand carries flights
(options) of the airlines, types and registrations of our data set and of the demo replay, turnaround
after turnaround on every weekday, so that every half hour of the week has flights at the airport.

Outputs (the same on every run):
  data/LSZH.xml                           the airport parking file (root > meta, parameters, parkpositions)
  tools/rtfeed/replays/lszh_stands.json   the stands (id, latitude, longitude, heading, radius, kind,
                                          neighbours) for the scenario generator and tests

Usage: python3 data/make_lszh_stands.py [--print]   (--print also lists the stands on standard output)
"""

import json
import math
import os
import random
import sys
from xml.sax.saxutils import quoteattr

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
XML_OUT = os.path.join(HERE, 'LSZH.xml')
JSON_OUT = os.path.join(REPO, 'tools', 'rtfeed', 'replays', 'lszh_stands.json')

NM_PER_DEG = 60.0
M_PER_NM = 1852.0
ELEVATION_FT = 1416

# Rows: prefix, first number, count, first stand (lat, lon), bearing along the row (degrees true),
# stand heading (degrees true), radius (m), spacing (m), kind.
ROWS = [
    ('A', 1, 20, (47.45300, 8.55300), 55.0, 145.0, 20.0, 35.0, 'narrow'),
    ('B', 31, 20, (47.45180, 8.55560), 55.0, 325.0, 20.0, 35.0, 'narrow'),
    ('C', 61, 16, (47.45050, 8.55820), 55.0, 145.0, 18.0, 32.0, 'regional'),
    ('E', 11, 14, (47.44880, 8.56080), 55.0, 325.0, 36.0, 64.0, 'wide'),
    ('F', 71, 8, (47.44650, 8.56500), 55.0, 325.0, 36.0, 64.0, 'cargo'),
    ('G', 81, 20, (47.45420, 8.55040), 55.0, 325.0, 20.0, 35.0, 'narrow'),
]
HELIPAD = ('H1', (47.45600, 8.54900), 0.0, 12.0)

# Flights per stand kind: (airline, type, registration or '', callsign prefix). Registrations of the
# data set (data/dbase.xml) and of the demo replay.
FLEET = {
    'narrow': [
        ('SWR', 'A320', 'HB-JLQ', 'SWR'), ('SWR', 'A321', 'HB-IOL', 'SWR'), ('SWR', 'A20N', 'HB-JDA', 'SWR'),
        ('SWR', 'BCS3', 'HB-JCA', 'SWR'), ('SWR', 'BCS3', 'HB-JCB', 'SWR'), ('EZS', 'A320', 'HB-JXA', 'EZS'),
        ('EZS', 'A319', 'HB-JYE', 'EZS'), ('EDW', 'A320', 'HB-IHX', 'EDW'), ('EDW', 'A320', 'HB-JJA', 'EDW'),
        ('DLH', 'A319', 'D-AIBA', 'DLH'), ('DLH', 'A320', 'D-AIZA', 'DLH'), ('THY', 'B738', 'TC-JHO', 'THY'),
        ('AUA', 'A320', 'OE-LBI', 'AUA'), ('AUA', 'A321', 'OE-LBA', 'AUA'),
    ],
    'regional': [
        ('KLM', 'E295', 'PH-NXA', 'KLM'), ('OAW', 'E190', 'HB-JVS', 'OAW'), ('OAW', 'E290', 'HB-AZA', 'OAW'),
        ('OAW', 'F100', 'HB-JVA', 'OAW'), ('SWR', 'BCS1', 'HB-JBA', 'SWR'), ('AUA', 'E195', 'OE-LWA', 'AUA'),
    ],
    'wide': [
        ('SWR', 'B77W', 'HB-JNA', 'SWR'), ('SWR', 'B77W', 'HB-JNB', 'SWR'), ('SWR', 'A333', 'HB-JHA', 'SWR'),
        ('AUA', 'B772', 'OE-LPA', 'AUA'),
    ],
    'cargo': [('GEC', 'B77L', 'D-ALFA', 'GEC'), ('BOX', 'B77L', 'D-AALA', 'BOX')],
    'heli': [('SAZ', 'EC35', 'HB-ZRA', 'SAZ')],
}

# The demo replay's callsigns for its registrations: these flights carry their own callsigns.
REPLAY_CALLSIGNS = {
    'HB-JNA': ('SWR38', 'SWR39'), 'HB-IOL': ('SWR317', 'SWR316'), 'HB-IHX': ('EDW211', 'EDW210'),
    'TC-JHO': ('THY1910', 'THY1911'), 'HB-JVS': ('OAW8263', 'OAW8262'), 'HB-JLQ': ('SWR101', 'SWR100'),
    'HB-JYE': ('EZS1411', 'EZS1410'), 'HB-JDA': ('SWR1080', 'SWR1081'), 'D-AIBA': ('DLH1207', 'DLH1208'),
    'PH-NXA': ('KLM1953', 'KLM1954'), 'HB-JXA': ('EZS1075', 'EZS1076'),
}


def move(lat, lon, bearing_deg, metres):
    nm = metres / M_PER_NM
    t = math.radians(bearing_deg)
    return (lat + nm * math.cos(t) / NM_PER_DEG,
            lon + nm * math.sin(t) / (NM_PER_DEG * math.cos(math.radians(lat))))


def distance_m(a, b):
    dlat = (b[0] - a[0]) * NM_PER_DEG
    dlon = (b[1] - a[1]) * NM_PER_DEG * math.cos(math.radians((a[0] + b[0]) / 2))
    return math.hypot(dlat, dlon) * M_PER_NM


def build_stands():
    stands = []
    for prefix, first, count, start, along, heading, radius, spacing, kind in ROWS:
        for i in range(count):
            lat, lon = move(start[0], start[1], along, i * spacing)
            stands.append({'id': f'{prefix}{first + i}', 'lat': round(lat, 6), 'lon': round(lon, 6),
                           'heading': heading, 'radius': radius, 'kind': kind})
    hid, pos, heading, radius = HELIPAD
    stands.append({'id': hid, 'lat': pos[0], 'lon': pos[1], 'heading': heading, 'radius': radius, 'kind': 'heli'})
    # Neighbours as the airport-file reader finds them (stand numbers from 1 in list order).
    for a_index, a in enumerate(stands):
        a['neighbours'] = [b_index + 1 for b_index, b in enumerate(stands) if b_index != a_index and
                           a['radius'] + b['radius'] > 1.1 * distance_m((a['lat'], a['lon']), (b['lat'], b['lon']))]
    return stands


def hours_text(first, last):
    return str(first) if first == last else f'{first}:{last}'


def build_options(stands, rng):
    """Turnaround after turnaround through every day: 2 to 5 half hours at the stand, 0 to 1 free."""
    for stand in stands:
        fleet = FLEET[stand['kind']]
        opts = []
        for day in range(1, 8):
            h = rng.randrange(0, 2)
            while h < 48:
                airl, typ, reg, prefix = rng.choice(fleet)
                length = rng.randint(2, 5)
                last = min(47, h + length - 1)
                if reg in REPLAY_CALLSIGNS:
                    cs, cs2 = REPLAY_CALLSIGNS[reg]
                else:
                    number = rng.randrange(100, 2900, 2)
                    cs, cs2 = f'{prefix}{number}', f'{prefix}{number + 1}'
                opts.append({'reg': reg, 'airl': airl, 'type': typ, 'day': day, 'hh': hours_text(h, last),
                             'cs': f'{cs}:{cs2}'})
                h = last + 1 + rng.randrange(0, 2)
        stand['opts'] = opts


def write_xml(stands, path):
    lines = ['<?xml version="1.0" encoding="UTF-8"?>', '<root>', '  <meta>',
             '    <info name="author" value="Skyloom"/>', '    <info name="version" value="1.0.0"/>',
             '    <info name="date" value="Dec 10, 2026"/>',
             '    <info name="copyright" value="Skyloom demo data, synthetic stand layout"/>',
             '    <info name="sim" value="1"/>', '  </meta>', '  <parameters>']
    for name, value in (('airport_name', 'Zurich (Skyloom demo layout)'), ('publisher', 'Skyloom demo'),
                        ('altitude', str(ELEVATION_FT)), ('num_parkpos', str(len(stands)))):
        lines.append(f'    <parameter name="{name}" value="{value}"/>')
    lines += ['  </parameters>', '  <parkpositions>']
    for s in stands:
        kind = ' heli="true"' if s['kind'] == 'heli' else f' cargo="{"true" if s["kind"] == "cargo" else "false"}"'
        lines.append(f'    <parkpos id={quoteattr(s["id"])} latitude="{s["lat"]:.6f}" longitude="{s["lon"]:.6f}" '
                     f'heading="{s["heading"]:.1f}" radius="{s["radius"]:.1f}"{kind} ramp="false">')
        for o in s['opts']:
            lines.append(f'      <opt reg="{o["reg"]}" airl="{o["airl"]}" type="{o["type"]}" day="{o["day"]}" '
                         f'hh="{o["hh"]}" cs="{o["cs"]}"/>')
        lines.append('    </parkpos>')
    lines += ['  </parkpositions>', '</root>', '']
    with open(path, 'w', encoding='utf-8', newline='\n') as f:
        f.write('\n'.join(lines))


def write_json(stands, path):
    rows = [{k: s[k] for k in ('id', 'lat', 'lon', 'heading', 'radius', 'kind', 'neighbours')} for s in stands]
    with open(path, 'w', encoding='utf-8', newline='\n') as f:
        json.dump({'airport': 'LSZH', 'elevation_ft': ELEVATION_FT, 'stands': rows}, f, indent=1)
        f.write('\n')


def main():
    rng = random.Random(20261210)
    stands = build_stands()
    build_options(stands, rng)
    write_xml(stands, XML_OUT)
    write_json(stands, JSON_OUT)
    if '--print' in sys.argv[1:]:
        for s in stands:
            print(f'{s["id"]:4} {s["lat"]:.6f} {s["lon"]:.6f} {s["heading"]:5.1f} {s["radius"]:4.1f} {s["kind"]:8} '
                  f'{",".join(map(str, s["neighbours"]))}')
    print(f'{len(stands)} stands, {sum(len(s["opts"]) for s in stands)} options -> {XML_OUT}, {JSON_OUT}',
          file=sys.stderr)


if __name__ == '__main__':
    main()
