#!/usr/bin/env bash
# The UDP reader under a heavy feed: a running Skyloom (under Xvfb, against the simulator stand-in and
# RealTraffic's stand-in for the TCP link and QNH) receives `skyloom-rtfeed flood` traffic at a set rate
# for a set time. Afterwards it compares what the flood sent with the reader's own count and the
# system's drop count from Log.txt, and shows the machine's load. Not part of ctest: it takes a minute
# and a half and its outcome depends on the machine.
#
#   tests/tools/udp_flood_trial.sh [--rate 20000] [--seconds 60]
#   SKYLOOM_BUILD_DIR   the build folder (default build)
# Exit code 0 when no datagram was lost, 1 when some were, 2 when the trial could not be run.
set -euo pipefail
cd "$(dirname "$0")/../.."
repo=$(pwd)

rate=20000
seconds=60
while [ $# -gt 0 ]; do
  case "$1" in
  --rate) rate=$2; shift 2 ;;
  --seconds) seconds=$2; shift 2 ;;
  *) sed -n '8,10p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2 ;;
  esac
done
[[ "$rate" =~ ^[0-9]+$ && "$seconds" =~ ^[0-9]+$ ]] || { echo "whole numbers, please" >&2; exit 2; }

build_dir=${SKYLOOM_BUILD_DIR:-build}
bin=$(cd "$build_dir" && pwd)
for exe in app/skyloom tools/simstub/skyloom-simstub tools/rtfeed/skyloom-rtfeed; do
  [ -x "$bin/$exe" ] || { echo "missing $bin/$exe: build first" >&2; exit 2; }
done

root=$bin/flood-trial
rm -rf -- "$root"
work=$root/work
mkdir -p "$work"/{docs,input,output,airports} "$root"/{config,local}
mkdir -m 700 "$root/runtime"
cp "$bin"/run/input/*.enc "$work/input/"
cp "$bin"/run/docs/* "$work/docs/" 2>/dev/null || true
cp -r "$bin"/run/airports/. "$work/airports/"
mkdir -p "$root/config/Microsoft Flight Simulator/Packages/"{Community,Official} "$root/config/InsideSystems"
touch "$root/config/InsideSystems/RealTraffic.jar" # RealTraffic runs on this computer: the TCP link runs
# A small AI package made from the demo catalogue, as run.sh makes it (Skyloom needs one to start).
packages=$root/config/"Microsoft Flight Simulator"/Packages
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

free_port() {
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
unused_port=$(free_port) # the replay's own traffic goes nowhere: only the flood reaches the reader

pids=()
program_pid=
stop_all() {
  if [ -n "$program_pid" ] && kill -0 "$program_pid" 2>/dev/null; then
    kill -TERM -- "-$program_pid" 2>/dev/null || kill -TERM "$program_pid" 2>/dev/null || true
  fi
  for p in "${pids[@]}"; do kill -TERM "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap 'stop_all; exit 130' INT TERM
trap stop_all EXIT

# Skyloom's TCP server takes its default port (10747); another run on this machine may hold it.
for _ in $(seq 300); do
  (exec 3<>/dev/tcp/127.0.0.1/10747) 2>/dev/null || break
  sleep 1
done

lszh="47.4647,8.5492"
"$bin/tools/simstub/skyloom-simstub" --port "$sim_port" --community "$root/config/Microsoft Flight Simulator/Packages/Community" \
  --ground-area "$lszh,8,1416" --user "$lszh,1416,140,1" >"$root/simstub.out" 2>&1 &
pids+=($!)

run_for=$((seconds + 40))
(
  cd "$work"
  exec setsid env XDG_CONFIG_HOME="$root/config" XDG_DATA_HOME="$root/local" XDG_RUNTIME_DIR="$root/runtime" \
    SKYLOOM_QUIT_AFTER="$run_for" SKYLOOM_SIM_ADDRESS="127.0.0.1:$sim_port" \
    SKYLOOM_TRAFFIC_PORT="$traffic_port" SKYLOOM_QNH_PORT="$qnh_port" \
    xvfb-run -a -s "-screen 0 1280x1024x24" "$bin/app/skyloom" >"$root/skyloom.out" 2>&1
) &
program_pid=$!
sleep 2
"$bin/tools/rtfeed/skyloom-rtfeed" play "$repo/tools/rtfeed/replays/demo.txt" --now \
  --host 127.0.0.1 --traffic-port "$unused_port" --qnh-port "$qnh_port" \
  --tcp "127.0.0.1:10747" --level 2 --version 10.0.0 >"$root/rtfeed-play.out" 2>&1 &
pids+=($!)

log=$work/Log.txt
for _ in $(seq 300); do
  grep -q 'Traffic Reader connected' "$log" 2>/dev/null && break
  sleep 0.1
done
grep -q 'Traffic Reader connected' "$log" 2>/dev/null ||
  { echo "the traffic reader did not start; see $log and $root/skyloom.out" >&2; exit 2; }

kernel_drops() { awk '/^Udp:/ { if (!n++) { for (i = 1; i <= NF; i++) col[$i] = i } else print $col["RcvbufErrors"] }' /proc/net/snmp; }
before=$(kernel_drops)
echo "load before: $(uptime)"
echo "flooding 127.0.0.1:$traffic_port with $rate datagrams a second for $seconds s ..."
"$bin/tools/rtfeed/skyloom-rtfeed" flood --rate "$rate" --seconds "$seconds" --traffic-port "$traffic_port" |
  tee "$root/flood.out"
echo "load after:  $(uptime)"
after=$(kernel_drops)

rc=0
wait "$program_pid" || rc=$?
program_pid=
stop_all
pids=()

sent=$(grep -oE '[0-9]+ datagrams sent' "$root/flood.out" | cut -d' ' -f1)
line=$(grep -E 'Traffic Reader: [0-9]+ datagrams received' "$log" | tail -n 1 || true)
received=$(sed -nE 's/.*Traffic Reader: ([0-9]+) datagrams received.*/\1/p' <<<"$line")
dropped=$(sed -nE 's/.* received, ([0-9]+) dropped by the system.*/\1/p' <<<"$line")
echo
echo "=== UDP flood trial ==="
echo "Skyloom exit code:               $rc"
echo "sent by the flood:               ${sent:-?}"
echo "counted by the Traffic Reader:   ${received:-? (no count in the log)}"
echo "dropped on its socket (kernel):  ${dropped:-?}"
echo "lost (sent - counted - dropped): $(( ${sent:-0} - ${received:-0} - ${dropped:-0} ))"
echo "UDP receive-buffer errors on this machine during the flood (all sockets): $((after - before))"
grep -E 'receive buffer|dropped by the system so far' "$log" | sed 's/^/log: /' || true
echo "log file: $log"
[ -n "$received" ] && [ "$received" = "$sent" ] && [ "${dropped:-0}" = 0 ]
