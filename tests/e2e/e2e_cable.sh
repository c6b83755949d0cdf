#!/usr/bin/env bash
# End to end over a plain K-line cable: klinediag-sim serves the car on a pseudo-terminal as a
# cable sees it (the program drives the line: 10,400 baud, the initialisation patterns, the echo
# of every byte), the real klinediag runs offscreen with --adapter kline, and its trace must show
# each controller's replies validating and the wire the driver drove.
set -u
bin=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

for type in 1 2 3 4 5 6 7 8 9 10 11; do
  dir="$work/type$type"
  mkdir -p "$dir"
  "$bin/klinediag-sim" --pty --adapter kline --ecu "$type" >"$dir/pty" &
  sim_pid=$!
  for _ in $(seq 50); do
    [ -s "$dir/pty" ] && break
    sleep 0.1
  done
  (cd "$dir" && "$bin/klinediag" --adapter kline --port "2=$(head -n1 "$dir/pty")" --ecu "$type" \
     --run-for 6 --trace "$dir/session.trace" >/dev/null 2>&1)
  kill "$sim_pid"
  wait "$sim_pid" 2>/dev/null
  trace="$dir/session.trace"
  ticks=$(grep -c " type $type page " "$trace")
  good=$(grep " type $type page " "$trace" | grep -c "| Данные получены\.$")
  wire=$(grep -c " wire tx " "$trace")
  echo "type $type: $ticks ticks, $good validated, $wire frames on the wire"
  if [ "$ticks" -lt 5 ]; then fail "type $type: only $ticks ticks traced"; fi
  if [ "$good" -lt 3 ]; then fail "type $type: $good of $ticks replies validated"; tail -n 12 "$trace"; fi
  if [ "$wire" -lt 3 ]; then fail "type $type: the trace shows no wire"; fi
  # The types that wake their controller do it with the fast initialisation.
  case $type in
    3 | 6 | 7 | 8 | 11)
      grep -q " wire fast-init$" "$trace" || fail "type $type: no fast initialisation in the trace" ;;
  esac
done

exit $((failures > 0))
