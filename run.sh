#!/usr/bin/env bash
# Runs Skyloom against the simulator stand-in and the bundled Zurich traffic replay, then prints a
# summary. Everything the run writes (settings, log, stand-in state) goes to a temporary folder, so the
# user's own settings are never touched.
#   SKYLOOM_RUN_SECONDS   how long Skyloom runs (default 75)
#   SKYLOOM_RUN_SPEED     replay speed factor (default 1)
#   SKYLOOM_RUN_KEEP=1    keep the temporary folder
set -euo pipefail
cd "$(dirname "$0")"
repo=$(pwd)
build_dir=${SKYLOOM_BUILD_DIR:-build}
seconds=${SKYLOOM_RUN_SECONDS:-75}
speed=${SKYLOOM_RUN_SPEED:-1}

[ -x "$build_dir/app/skyloom" ] || ./setup.sh
cmake --build "$build_dir" -j "$(nproc)" >/dev/null
bin=$(cd "$build_dir" && pwd)

root=$(mktemp -d /tmp/skyloom-run-XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  [ "${SKYLOOM_RUN_KEEP:-}" = 1 ] || rm -rf "$root"
}
trap cleanup EXIT

work=$root/work
mkdir -p "$work"/{docs,input,output,airports} "$root"/{config,local,runtime}
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

# The simulator stand-in reads the same Community folder, so it knows the scanned titles.
"$bin/tools/simstub/skyloom-simstub" --port "$sim_port" --community "$packages/Community" \
  --user 47.4582,8.5555,1400,140,1 --state-file "$root/sim-state.json" >"$root/simstub.out" 2>&1 &
pids+=($!)

echo "Skyloom runs for $seconds s against the simulator stand-in (port $sim_port) and the Zurich replay ..."
(
  cd "$work"
  XDG_CONFIG_HOME="$root/config" XDG_DATA_HOME="$root/local" XDG_RUNTIME_DIR="$root/runtime" \
    SKYLOOM_QUIT_AFTER="$seconds" SKYLOOM_SIM_ADDRESS="127.0.0.1:$sim_port" \
    SKYLOOM_TRAFFIC_PORT="$traffic_port" SKYLOOM_QNH_PORT="$qnh_port" \
    xvfb-run -a -s "-screen 0 1280x1024x24" "$bin/app/skyloom" >"$root/skyloom.out" 2>&1
) &
skyloom_pid=$!
sleep 3
"$bin/tools/rtfeed/skyloom-rtfeed" play "$repo/tools/rtfeed/replays/demo.txt" --now --speed "$speed" --loop \
  --host 127.0.0.1 --traffic-port "$traffic_port" --qnh-port "$qnh_port" \
  --tcp "127.0.0.1:$tcp_port" --level 2 --version 10.0.0 --tcp-log "$root/rt-tcp.log" \
  >"$root/rtfeed.out" 2>&1 &
pids+=($!)

rc=0
wait "$skyloom_pid" || rc=$?

log=$work/Log.txt
count() { grep -c -- "$1" "$2" 2>/dev/null || true; }
echo
echo "=== Skyloom run summary ==="
echo "exit code:                  $rc"
echo "log:                        $(wc -l <"$log" 2>/dev/null || echo 0) lines"
grep -m1 -- '(utc) Skyloom version' "$log" | sed 's/^/  /' || true
grep -m1 -E -- 'MSFS 20[0-9]{2} \(' "$log" | sed 's/^/simulator:   /' || true
grep -E -- 'Reader connected|RealTraffic' "$log" | head -5 | sed 's/^/feed:        /' || true
echo "lines sent to RealTraffic:  $(wc -l <"$root/rt-tcp.log" 2>/dev/null || echo 0)" \
  "(user position lines: $(count 'Qs121=' "$root/rt-tcp.log"), time lines: $(count 'Qs123=' "$root/rt-tcp.log"))"
if [ -f "$root/sim-state.json" ]; then
  echo "simulator stand-in:         $(tr -d '\n ' <"$root/sim-state.json" | grep -o '"counts":{[^}]*}' || echo 'no counts')"
fi
echo "scanned liveries:           $(grep -m1 -oE -- '^[0-9]+ liveries in .*LiveriesScanned.xml' "$log" | cut -d' ' -f1 || echo 0)"
echo "errors in the log:          $(count '^==> ' "$log")"
grep -E -- '^==> ' "$log" | head -10 | sed 's/^/  /' || true
grep -m1 -- 'Exiting:' "$log" | sed 's/^/  /' || true
[ "${SKYLOOM_RUN_KEEP:-}" = 1 ] && echo "files kept in $root"
exit "$rc"
