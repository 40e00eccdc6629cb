#!/usr/bin/env bash
# Runs Skyloom against the simulator stand-in and the Zurich (LSZH) traffic scenario, then prints a
# summary. Everything the run writes (settings, log, stand-in state) goes to BUILD/last-run, which the
# next run replaces, so the user's own settings are never touched.
#
#   ./run.sh [--minutes N] [--window]
#     --minutes N           how long Skyloom runs (default 3); a run longer than the bundled scenario
#                           plays a scenario made that long
#     --window              show the window on this display instead of a virtual one (Xvfb)
#   SKYLOOM_RUN_SECONDS     how long Skyloom runs, in seconds (wins over --minutes)
#   SKYLOOM_RUN_SPEED       replay speed factor (default 1)
#   SKYLOOM_RUN_TIME_SCALE  runs Skyloom and both stand-ins on a clock that many times as fast (1 to 10,
#                           default 1): the run's seconds take that much less real time
#   SKYLOOM_BUILD_DIR       the build folder (default build)
set -euo pipefail
cd "$(dirname "$0")"
repo=$(pwd)

usage() {
  sed -n '5,14p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
}

minutes=3
window=0
while [ $# -gt 0 ]; do
  case "$1" in
  --minutes)
    [ $# -ge 2 ] || usage
    minutes=$2
    shift 2
    ;;
  --minutes=*)
    minutes=${1#--minutes=}
    shift
    ;;
  --window)
    window=1
    shift
    ;;
  -h | --help) usage ;;
  *)
    echo "run.sh: unknown option '$1'" >&2
    usage
    ;;
  esac
done
[[ "$minutes" =~ ^[0-9]+$ ]] && [ "$minutes" -ge 1 ] && [ "$minutes" -le 1440 ] ||
  { echo "run.sh: --minutes needs a whole number from 1 to 1440, not '$minutes'" >&2; exit 2; }
seconds=${SKYLOOM_RUN_SECONDS:-$((minutes * 60))}
[[ "$seconds" =~ ^[0-9]+$ ]] && [ "$seconds" -ge 1 ] ||
  { echo "run.sh: SKYLOOM_RUN_SECONDS needs a whole number of seconds, not '$seconds'" >&2; exit 2; }
speed=${SKYLOOM_RUN_SPEED:-1}
time_scale=${SKYLOOM_RUN_TIME_SCALE:-1}
awk -v t="$time_scale" 'BEGIN { exit !(t ~ /^[0-9]+(\.[0-9]+)?$/ && t >= 1 && t <= 10) }' ||
  { echo "run.sh: SKYLOOM_RUN_TIME_SCALE needs a number from 1 to 10, not '$time_scale'" >&2; exit 2; }
if [ "$window" = 1 ] && [ -z "${DISPLAY:-}" ]; then
  echo "run.sh: --window needs a display (DISPLAY is not set)" >&2
  exit 2
fi

build_dir=${SKYLOOM_BUILD_DIR:-build}
[ -x "$build_dir/app/skyloom" ] || ./setup.sh
cmake --build "$build_dir" -j "$(nproc)" >/dev/null
bin=$(cd "$build_dir" && pwd)

# The demo airport: Zurich, its reference point and elevation as in the airports table.
lszh_lat=47.4647
lszh_lon=8.5492
lszh_elev=1416

root=$bin/last-run
rm -rf -- "$root"
mkdir -p "$root"
pids=()
program_pid=
stop_all() {
  # The program first (its process group: xvfb-run, Xvfb and Skyloom), then the stand-ins.
  if [ -n "$program_pid" ] && kill -0 "$program_pid" 2>/dev/null; then
    kill -TERM -- "-$program_pid" 2>/dev/null || kill -TERM "$program_pid" 2>/dev/null || true
  fi
  for p in "${pids[@]}"; do kill -TERM "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap 'stop_all; exit 130' INT TERM
trap stop_all EXIT

work=$root/work
mkdir -p "$work"/{docs,input,output,airports} "$root"/{config,local}
mkdir -m 700 "$root/runtime"
cp "$bin"/run/input/*.enc "$work/input/"
cp "$bin"/run/docs/* "$work/docs/" 2>/dev/null || true
# The demo stand layout of LSZH as the user's airport parking file.
cp -r "$bin"/run/airports/. "$work/airports/"
packages=$root/config/"Microsoft Flight Simulator"/Packages
mkdir -p "$packages/Community" "$packages/Official"
# A small user-aitraffic package made from the demo catalogue: one model folder per type, one
# [FLTSIM.N] section per livery. A fresh start ticks the livery scan, so the run scans it into
# LiveriesScanned.xml.
aitraffic=$packages/Community/user-aitraffic
mkdir -p "$aitraffic"
awk -v base="$aitraffic/SimObjects/Airplanes" '
  function attr(name,   m) { return match($0, name "=\"[^\"]*\"") ? substr($0, RSTART + length(name) + 2, RLENGTH - length(name) - 3) : "" }
  /<liv / {
    type = attr("type"); dir = base "/Demo_" type; file = dir "/aircraft.cfg"
    if (!(type in count)) {
      system("mkdir -p \"" dir "\"")
      printf "[VERSION]\r\nmajor = 1\r\n\r\n[GENERAL]\r\nicao_type_designator = \"%s\"\r\n", type > file
      count[type] = 0
    }
    printf "\r\n[FLTSIM.%d]\r\ntitle = \"%s\"\r\nicao_airline = %s\r\n", count[type]++, attr("title"), attr("airl") >> file
    if (attr("atcid") != "") printf "atc_id = %s\r\n", attr("atcid") >> file
    printf "atc_parking_types = %s\r\n", (attr("cargo") == "true" ? "CARGO" : "GATE") >> file
    close(file)
  }' "$repo/tests/data/liveries/LiveriesScanned.xml"
echo '{"title": "user AI traffic"}' >"$aitraffic/manifest.json"
# RealTraffic counts as running on this computer: the TCP link and its handshake run too.
mkdir -p "$root/config/InsideSystems" && touch "$root/config/InsideSystems/RealTraffic.jar"

# The scenario: the bundled one, or one made as long as the run when the run is longer.
replay=$repo/tools/rtfeed/replays/demo.txt
replay_seconds=$(tail -n 1 "$replay" | cut -f1)
replay_seconds=${replay_seconds%.*}
play_seconds=$(awk -v s="$seconds" -v v="$speed" 'BEGIN { printf "%d", s * v + 1 }')
if [ "$play_seconds" -gt "$replay_seconds" ]; then
  replay=$root/scenario.txt
  python3 "$repo/tools/rtfeed/replays/make_demo.py" --minutes $(((play_seconds + 59) / 60)) --out "$replay"
fi

free_port() { # a free TCP port on loopback
  local p
  for _ in $(seq 50); do
    p=$((20000 + RANDOM % 30000))
    (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null || { echo "$p"; return; }
  done
  echo 47001
}
sim_port=$(free_port)
traffic_port=$(free_port)
qnh_port=$(free_port)
tcp_port=10747 # the PORT_NUMBER setting's default
# Skyloom listens on that fixed port for RealTraffic; while another run holds it (a test run, say),
# Skyloom would stop at once with a bind error. Wait up to five minutes for it to be free.
port_busy() { (exec 3<>"/dev/tcp/127.0.0.1/$tcp_port") 2>/dev/null; }
if port_busy; then
  echo "run.sh: TCP port $tcp_port is in use (another Skyloom run?); waiting for it to be free ..." >&2
  for _ in $(seq 60); do
    sleep 5
    port_busy || break
  done
  if port_busy; then
    echo "run.sh: TCP port $tcp_port is still in use; try again later" >&2
    exit 1
  fi
fi

# The simulator stand-in reads the same Community folder, so it knows the scanned titles. The ground
# around LSZH lies at its elevation; the user stands at the airport.
state=$root/sim-state.json
"$bin/tools/simstub/skyloom-simstub" --port "$sim_port" --community "$packages/Community" \
  --ground-area "$lszh_lat,$lszh_lon,8,$lszh_elev" --user "$lszh_lat,$lszh_lon,$lszh_elev,140,1" \
  --state-file "$state" --time-scale "$time_scale" >"$root/simstub.out" 2>&1 &
sim_pid=$!
pids+=("$sim_pid")

# A look at the stand-in's world every two seconds (SIGUSR1 makes it write its state file at once):
# which objects are on the ground and where, for the summary's landings, take-offs and stands left.
tracks=$root/tracks.txt
python3 - "$state" "$sim_pid" "$tracks" "$time_scale" <<'EOF' &
import json, os, signal, sys, time
state, sim, out, scale = sys.argv[1], int(sys.argv[2]), sys.argv[3], float(sys.argv[4])
signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
with open(out, 'w') as fh:
    while True:
        before = os.path.getmtime(state) if os.path.exists(state) else 0
        try:
            os.kill(sim, signal.SIGUSR1)
        except OSError:
            break
        for _ in range(50):
            time.sleep(0.04)
            if os.path.exists(state) and os.path.getmtime(state) != before:
                break
        try:
            with open(state) as sf:
                world = json.load(sf)
        except (OSError, ValueError):
            world = {}
        for o in world.get('objects', []):
            fh.write(f"{world.get('simSeconds', 0):.1f}\t{o.get('id')}\t{o.get('tail', '')}\t"
                     f"{int(bool(o.get('onGround')))}\t{o.get('latitude', 0):.6f}\t{o.get('longitude', 0):.6f}\t"
                     f"{o.get('altitude', 0):.0f}\n")
        fh.flush()
        time.sleep(2 / scale)
EOF
pids+=($!)

if [ "$window" = 1 ]; then
  display_how="on this display"
  launcher=()
else
  display_how="under Xvfb"
  launcher=(xvfb-run -a -s "-screen 0 1280x1024x24")
fi
clock_how=
[ "$time_scale" = 1 ] || clock_how=" on a clock $time_scale times as fast"
echo "Skyloom runs for $seconds s$clock_how $display_how against the simulator stand-in (port $sim_port) and the LSZH scenario ..."
# Its own process group, so that an interrupted run ends Xvfb and Skyloom with it.
(
  cd "$work"
  exec setsid env XDG_CONFIG_HOME="$root/config" XDG_DATA_HOME="$root/local" XDG_RUNTIME_DIR="$root/runtime" \
    SKYLOOM_QUIT_AFTER="$seconds" SKYLOOM_SIM_ADDRESS="127.0.0.1:$sim_port" \
    SKYLOOM_TRAFFIC_PORT="$traffic_port" SKYLOOM_QNH_PORT="$qnh_port" SKYLOOM_TIME_SCALE="$time_scale" \
    "${launcher[@]}" "$bin/app/skyloom" >"$root/skyloom.out" 2>&1
) &
program_pid=$!
sleep 3
"$bin/tools/rtfeed/skyloom-rtfeed" play "$replay" --now --speed "$(awk -v v="$speed" -v t="$time_scale" 'BEGIN { print v * t }')" \
  --host 127.0.0.1 --traffic-port "$traffic_port" --qnh-port "$qnh_port" \
  --tcp "127.0.0.1:$tcp_port" --level 2 --version 10.0.0 --tcp-log "$root/rt-tcp.log" \
  >"$root/rtfeed.out" 2>&1 &
pids+=($!)

rc=0
wait "$program_pid" || rc=$?
program_pid=
# The stand-ins end on SIGTERM; the simulator stand-in writes its state file as it stops.
stop_all
pids=()

log=$work/Log.txt
# Static aircraft are created with a callsign ending in "*": the distinct ones the simulator stand-in
# saw (still there or removed).
count_statics() {
  [ -s "$state" ] || { echo 0; return; }
  python3 - "$state" <<'EOF'
import json, sys
with open(sys.argv[1]) as fh:
    state = json.load(fh)
tails = {o.get('tail', '') for o in state.get('objects', []) + state.get('removed', [])}
print(sum(1 for t in tails if t.endswith('*')))
EOF
}
count() { grep -c -- "$1" "$2" 2>/dev/null || true; }
echo
echo "=== Skyloom run summary ==="
echo "exit code:                  $rc"
echo "log:                        $(wc -l 2>/dev/null <"$log" || echo 0) lines"
grep -m1 -- '(utc) Skyloom version' "$log" | sed 's/^/  /' || true
grep -m1 -E -- 'MSFS 20[0-9]{2} \(' "$log" | sed 's/^/simulator:   /' || true
grep -E -- 'Reader connected|RealTraffic' "$log" | head -5 | sed 's/^/feed:        /' || true
echo "lines sent to RealTraffic:  $(wc -l 2>/dev/null <"$root/rt-tcp.log" || echo 0)" \
  "(user position lines: $(count 'Qs121=' "$root/rt-tcp.log"), time lines: $(count 'Qs123=' "$root/rt-tcp.log"))"
echo "scanned liveries:           $(grep -m1 -oE -- '^[0-9]+ liveries in .*LiveriesScanned.xml' "$log" | cut -d' ' -f1 || echo 0)"
if [ -s "$state" ]; then
  python3 - "$state" <<'EOF'
import json, sys
with open(sys.argv[1]) as fh:
    state = json.load(fh)
c = state.get('counts', {})
removed = state.get('removed', [])
asked = [r for r in removed if r.get('cause') == 'client']
print(f"aircraft created:           {c.get('creations', 0)}")
print(f"aircraft refused:           {c.get('refusals', 0)}")
print(f"removed during the run:     {c.get('removalsAsked', 0)}")
print(f"most at once:               {c.get('mostAtOnce', 0)}")
print(f"left at the end:            {len(state.get('objects', []))} (dropped as Skyloom closed: {c.get('droppedWithClient', 0)})")
if c.get('refusedBlocks', 0):
    print(f"position blocks refused:    {c['refusedBlocks']}")
for r in asked[:8]:
    print(f"  removed: {r.get('tail') or '?':10} {r.get('title', '')}")
EOF
else
  echo "aircraft created:           0 (the simulator stand-in left no state file)"
fi
# The static parking at LSZH: the park airport, the static aircraft placed, the live aircraft that
# parked at stands and the learned file written when the airport was left at the end of the run.
grep -m1 -- 'The park airport is' "$log" | sed 's/^The park airport is /park airport:               /' || true
grep -m1 -E -- '^[0-9]+ positions \(' "$log" | sed 's/^/static parking:             /' || true
echo "static aircraft placed:     $(count_statics)"
# Live aircraft at stands (the engine's lines "<stand>: <callsign> arrived at stand" when an arrival
# has rolled onto its stand, "<stand>: <callsign> parks" when a flight first seen standing at a stand
# is created there), and what the simulator stand-in showed of the live aircraft: landings (in the air,
# then on the ground), take-offs (on the ground, then in the air), and aircraft created at a stand that
# moved off it (pushed back or pulled out).
python3 - "$log" "$tracks" <<'EOF' || true
import math, re, sys
arrived, standing = [], []
try:
    with open(sys.argv[1], errors='replace') as fh:
        for line in fh:
            m = re.match(r'^(\S+) *: (\S*[^*\s]) +(arrived at stand|parks)$', line.rstrip('\r\n'))
            if m:
                (arrived if m[3] == 'arrived at stand' else standing).append((m[2], m[1]))
except OSError:
    pass
tracks = {}
try:
    with open(sys.argv[2]) as fh:
        for line in fh:
            parts = line.rstrip('\n').split('\t')
            if len(parts) == 7 and not parts[2].endswith('*'):
                tracks.setdefault(parts[1], []).append(
                    (parts[2], parts[3] == '1', float(parts[4]), float(parts[5]), float(parts[6])))
except OSError:
    pass
def metres(a, b):
    dy = (a[2] - b[2]) * 111132.95
    dx = (a[3] - b[3]) * 111132.95 * math.cos(math.radians(a[2]))
    return math.hypot(dx, dy)
at_stand = {cs for cs, _ in standing}
landed, took_off, left = [], [], []
for samples in tracks.values():
    tail = samples[0][0]
    on_ground = [s for s in samples if s[1]]
    if not on_ground:
        continue
    # In the air means at least 50 ft above where the aircraft stood on the ground (a new object may
    # be placed a little above the ground before it settles).
    ground_ft = min(s[4] for s in on_ground)
    flying = [not s[1] and s[4] > ground_ft + 50 for s in samples]
    first_down = next(i for i, s in enumerate(samples) if s[1])
    if any(flying[:first_down]):
        landed.append(tail)
    if any(flying[first_down:]):
        took_off.append(tail)
    if tail in at_stand and any(metres(samples[first_down], s) > 20 for s in samples[first_down:]):
        left.append(tail)
def show(label, names, what):
    listed = f": {' '.join(names[:10])}{' ...' if len(names) > 10 else ''}" if names else ''
    print(f"{label:28}{len(names)} ({what}){listed}")
show('live aircraft parked:', [f'{cs} at {stand}' for cs, stand in arrived], 'arrivals that reached a stand')
show('live aircraft at stands:', [cs for cs, _ in standing], 'created standing at a stand')
show('live aircraft landed:', sorted(landed), 'in the air, then on the ground')
show('live aircraft left stands:', sorted(left), 'created at a stand, then pushed back or pulled out')
show('live aircraft took off:', sorted(took_off), 'on the ground, then in the air')
EOF
learned=$(grep -m1 -oE -- "'[^']*airports/learned/[^']*' saved with [0-9]+ updates?" "$log" || true)
echo "learned file written:       ${learned:-none}"
echo "errors in the log:          $(count '^==> ' "$log")"
grep -E -- '^==> ' "$log" | head -10 | sed 's/^/  /' || true
grep -m1 -- 'Exiting:' "$log" | sed 's/^/  /' || true
echo "log file:                   $log"
echo "simulator stand-in state:   $state"
exit "$rc"
