#!/usr/bin/env bash
# End to end through an ELM327: klinediag-sim serves the simulated chip on a pseudo-terminal and
# the real klinediag drives it with its ELM327 driver over the real serial-port code. Every
# KWP2000 controller type must open its session and have its replies validate, through the
# genuine chip and (January 5.1, M10) the v1.5 clone; and a full screenshot run of M7.9.7 must
# validate replies on every page it shows.
set -u
bin=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen
failures=0

start_sim() {  # ARGS... -> sets sim_pid, port
  rm -f "$work/pty"
  "$bin/klinediag-sim" --pty --adapter elm327 "$@" >"$work/pty" &
  sim_pid=$!
  for _ in $(seq 50); do
    [ -s "$work/pty" ] && break
    sleep 0.1
  done
  port=$(head -n1 "$work/pty")
}

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

run_type() {  # TYPE LABEL SIM-ARGS...
  local type=$1 label=$2
  shift 2
  local dir="$work/$label"
  mkdir -p "$dir"
  start_sim --ecu "$type" "$@"
  (cd "$dir" && "$bin/klinediag" --adapter elm327 --port "2=$port" --ecu "$type" --run-for 5 \
     --trace "$dir/session.trace" >/dev/null 2>&1)
  kill "$sim_pid"
  wait "$sim_pid" 2>/dev/null
  local trace="$dir/session.trace"
  local ticks good
  ticks=$(grep -c " type $type page " "$trace")
  good=$(grep " type $type page " "$trace" | grep -c "| Данные получены\.$")
  if [ "$ticks" -lt 5 ]; then fail "$label: only $ticks ticks traced"; fi
  if [ "$good" -lt 3 ]; then fail "$label: $good of $ticks replies validated"; tail -n 5 "$trace"; fi
  echo "$label: $ticks ticks, $good validated"
}

for type in 1 2 3 6 7 8 9 11; do run_type "$type" "type$type"; done
for type in 2 8; do run_type "$type" "clone$type" --elm-clone v1.5; done

# Every page of M7.9.7 and the side windows, as --screenshot walks them.
dir="$work/pages"
mkdir -p "$dir"
start_sim --ecu 6
(cd "$dir" && "$bin/klinediag" --adapter elm327 --port "2=$port" --ecu 6 --screenshot "$dir/shots" \
   --trace "$dir/session.trace" >/dev/null 2>&1)
kill "$sim_pid"
wait "$sim_pid" 2>/dev/null
for page in TabSheet1 TabSheet2 TabSheet3 TabSheet4 TabSheet5 TabSheet6; do
  good=$(grep " type 6 page $page " "$dir/session.trace" | grep -c "| Данные получены\.$")
  echo "pages: $page $good validated"
  if [ "$good" -lt 1 ]; then fail "pages: nothing validated on $page"; fi
done
for shot in eobd-1-TabSheet1.png iso9141-1-TabSheet1.png; do
  [ -s "$dir/shots/$shot" ] || fail "pages: no $shot"
done

# A CAN car: the EOBD window opened from the command line finds it and reads mode 01 there.
for bus in can11 can29; do
  dir="$work/$bus"
  mkdir -p "$dir"
  start_sim --ecu 6 --obd-bus "$bus"
  (cd "$dir" && "$bin/klinediag" --adapter elm327 --port "2=$port" --ecu 6 --open eobd --run-for 5 \
     --trace "$dir/session.trace" >/dev/null 2>&1)
  status=$?
  kill "$sim_pid"
  wait "$sim_pid" 2>/dev/null
  # "01 0" sent as text, and CAN answers (identifier 7E8 or 18 DA F1 10, "41") read back.
  asked=$(grep -c " wire tx 30 31 20 30 " "$dir/session.trace")
  answered=$(grep " wire rx " "$dir/session.trace" | grep -cE "37 45 38 20 30 .* 34 31|31 38 20 44 41 20 46 31 20 31 30")
  # The window's own ticks are in the trace, told apart from the main window's.
  windowTicks=$(grep -c " window TEOBD page TabSheet1 rx .* | tx 55 56 57 AA " "$dir/session.trace")
  echo "$bus: exit $status, $asked mode 01 requests, $answered CAN answers, $windowTicks window ticks"
  if [ "$windowTicks" -lt 3 ]; then fail "$bus: the EOBD window's ticks are not in the trace"; fi
  if [ "$status" -ne 0 ]; then fail "$bus: klinediag exited $status"; fi
  if [ "$asked" -lt 3 ] || [ "$answered" -lt 3 ]; then fail "$bus: the EOBD window did not read the CAN car"; fi
done

exit $((failures > 0))
