#!/usr/bin/env bash
# End to end through the real serial-port code: klinediag-sim serves a pseudo-terminal, the real
# klinediag runs offscreen on it with a trace, and the trace must show each controller's session
# opening and its replies validating. Then the simulator is stopped and started again behind the
# same device name (a link to the new terminal, as a re-plugged USB adapter keeps its name) and
# the program must find its way back without anyone touching it, and say so in its trace.
set -u
bin=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen
failures=0

start_sim() {  # TYPE -> sets sim_pid, links $work/port to the new terminal
  rm -f "$work/pty"
  "$bin/klinediag-sim" --pty --ecu "$1" >"$work/pty" &
  sim_pid=$!
  for _ in $(seq 50); do
    [ -s "$work/pty" ] && break
    sleep 0.1
  done
  ln -sfn "$(head -n1 "$work/pty")" "$work/port"
}

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

for type in 1 2 3 4 5 6 7 8 9 10 11; do
  dir="$work/type$type"
  mkdir -p "$dir"
  start_sim "$type"
  # Five seconds, not three: on a loaded machine the first second can pass before the first tick.
  (cd "$dir" && "$bin/klinediag" --port "2=$work/port" --ecu "$type" --run-for 5 \
     --trace "$dir/session.trace" >/dev/null 2>&1)
  kill "$sim_pid"
  wait "$sim_pid" 2>/dev/null
  trace="$dir/session.trace"
  ticks=$(grep -c " type $type page " "$trace")
  good=$(grep " type $type page " "$trace" | grep -c "| Данные получены\.$")
  if [ "$ticks" -lt 5 ]; then fail "type $type: only $ticks ticks traced"; fi
  if [ "$good" -lt 3 ]; then fail "type $type: $good of $ticks replies validated"; fi
  echo "type $type: $ticks ticks, $good validated"
done

# Recovery: the adapter goes away for about a second and comes back under the same name.
dir="$work/recover"
mkdir -p "$dir"
start_sim 1
(cd "$dir" && "$bin/klinediag" --port "2=$work/port" --run-for 6 --trace "$dir/session.trace" \
   >/dev/null 2>"$dir/stderr") &
app=$!
sleep 2
kill "$sim_pid"
wait "$sim_pid" 2>/dev/null
sleep 1
start_sim 1
wait "$app"
kill "$sim_pid"
trace="$dir/session.trace"
lost=$(grep -c "| Связь отсутствует\.$" "$trace")
last=$(grep " page " "$trace" | tail -n 5 | grep -c "| Данные получены\.$")
echo "recovery: $lost ticks without a link, $last of the last 5 validated"
if [ "$lost" -lt 1 ]; then fail "recovery: the loss of the adapter did not show"; fi
if [ "$last" -lt 3 ]; then fail "recovery: the link did not come back"; tail -n 8 "$trace"; fi
# The trace tells the story: the port opened at start-up, found gone, opened again, each with
# its time, and the ticks of the lost link stand between the last two.
stamp='[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}'
opens=$(grep -E "^$stamp open Com:2 115200,n,8,2 (ok|failed)$" "$trace" | awk '{print $NF}' | tr '\n' ' ')
echo "recovery: port openings in the trace: $opens"
if [ "$opens" != "ok failed ok " ]; then fail "recovery: trace shows openings '$opens'"; fi
between=$(sed -n '/ open .* failed$/,/ open .* ok$/p' "$trace" | grep -c "| Связь отсутствует\.$")
if [ "$between" -lt 1 ]; then fail "recovery: no tick without a link between loss and reopen"; fi
# The port opens a lost device again by itself: no box asks anyone anything.
if grep -q "msgbox" "$dir/stderr"; then fail "recovery: a message box"; cat "$dir/stderr"; fi

exit $((failures > 0))
