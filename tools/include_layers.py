#!/usr/bin/env python3
"""The include graph of a folder over header+source units: its cycles (strongly connected components of
more than one unit) and, with --layers, every include that runs against the layer order.

  python3 tools/include_layers.py engine --layers base stands live,static .

Each layer names subfolders of the folder ("." is the folder itself; "live,static" are two wings side by
side, which may not include each other). A unit may include units of its own layer and of the layers
before it. Exit code 1 when there is a cycle or an include against the order."""
import argparse, os, re, sys

parser = argparse.ArgumentParser()
parser.add_argument('root')
parser.add_argument('--layers', nargs='*', default=None)
args = parser.parse_args()
root = args.root.rstrip('/')
base = os.path.basename(os.path.abspath(root))

units = {}
for dp, _, fs in os.walk(root):
    for f in fs:
        if f.endswith(('.h', '.cpp')):
            p = os.path.join(dp, f)
            units.setdefault(os.path.relpath(os.path.splitext(p)[0], root), []).append(p)

inc = re.compile(r'#include\s+"([^"]+)"')
edges = {u: set() for u in units}
for u, ps in units.items():
    for p in ps:
        for line in open(p, encoding='utf-8', errors='replace'):
            m = inc.match(line.strip())
            if not m:
                continue
            t = m.group(1)
            cands = [os.path.normpath(os.path.join(os.path.dirname(os.path.relpath(p, root)), t)), t]
            if t.startswith(base + '/'):
                cands.append(t[len(base) + 1:])
            for c in cands:
                cu = os.path.splitext(c)[0]
                if cu in units and cu != u:
                    edges[u].add(cu)
                    break

sys.setrecursionlimit(10000)
idx, low, st, on, out, n = {}, {}, [], set(), [], [0]
def sc(v):
    idx[v] = low[v] = n[0]; n[0] += 1; st.append(v); on.add(v)
    for w in edges[v]:
        if w not in idx:
            sc(w); low[v] = min(low[v], low[w])
        elif w in on:
            low[v] = min(low[v], idx[w])
    if low[v] == idx[v]:
        c = []
        while True:
            w = st.pop(); on.discard(w); c.append(w)
            if w == v:
                break
        out.append(c)
for v in units:
    if v not in idx:
        sc(v)
big = [c for c in out if len(c) > 1]
print(f"{len(units)} units, {len(big)} cycles")
for c in big:
    print(len(c), sorted(c))
bad = len(big)

if args.layers is not None:
    rank = {}
    for i, layer in enumerate(args.layers):
        for folder in layer.split(','):
            rank[folder] = (i, folder)
    def where(u):
        folder = os.path.dirname(u) or '.'
        if folder not in rank:
            sys.exit(f"{u}: folder {folder} is in no layer")
        return rank[folder]
    against = []
    for u in sorted(units):
        lu, fu = where(u)
        for t in sorted(edges[u]):
            lt, ft = where(t)
            if lt > lu or (lt == lu and ft != fu):
                against.append(f"{u} -> {t}")
    print(f"{len(against)} includes against the layer order")
    for a in against:
        print('  ' + a)
    bad += len(against)
sys.exit(1 if bad else 0)
