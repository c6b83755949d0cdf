#!/usr/bin/env bash
# Runs nobody watches must end by themselves: a bad --run-for is refused at once, a timed run whose
# exit save fails still ends (its message boxes go to standard error), and a trace that cannot be
# written stops the harness as it stops the program.
set -u
bin=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# Exit status 2 and a message naming the option, without a display or a window.
for bad in nan NaN inf -inf infinity 1e300 1e3 -5 0 0.0 "" abc 5s 0x10 1.2.3 " 5" 604801 \
           99999999999999; do
  status=0
  "$bin/klinediag" --run-for "$bad" >"$work/out" 2>"$work/err" || status=$?
  if [ "$status" -ne 2 ]; then fail "--run-for '$bad': exit status $status"; fi
  if ! grep -q -- "--run-for" "$work/err"; then fail "--run-for '$bad': no message"; fi
done

# The exit save cannot be written: the folder is read-only, and for a user who writes anyway
# (root) the two files are folders. The run must still end on time, with the two boxes on
# standard error and the files untouched.
ro="$work/readonly"
mkdir -p "$ro/default.cfg" "$ro/M154def.cfg"
chmod a-w "$ro"
start=$(date +%s)
status=0
(cd "$ro" && timeout 60 "$bin/klinediag" --demo --run-for 1.5 >"$work/out" 2>"$work/err") ||
  status=$?
elapsed=$(( $(date +%s) - start ))
if [ "$status" -ne 0 ]; then fail "read-only run: exit status $status"; cat "$work/err"; fi
if [ "$elapsed" -gt 20 ]; then fail "read-only run took ${elapsed}s"; fi
boxes=$(grep -c "^klinediag: msgbox Ошибка! | Немогу создать файл!!!$" "$work/err")
if [ "$boxes" -ne 2 ]; then fail "read-only run: $boxes message boxes on standard error"; fi
if [ ! -d "$ro/default.cfg" ] || [ -n "$(ls -A "$ro/default.cfg")" ]; then
  fail "read-only run: default.cfg changed"
fi
echo "read-only run: ended after ${elapsed}s, $boxes boxes reported"

# A port that cannot be opened says why, on standard error under --run-for: the number, the
# device and what to do.
status=0
(cd "$work" && timeout 60 "$bin/klinediag" --port "2=$work/no-such-adapter" --run-for 1 \
   >"$work/out" 2>"$work/err") || status=$?
if [ "$status" -ne 0 ]; then fail "missing port: exit status $status"; fi
if ! grep -q "^klinediag: msgbox Ошибка! | Порт COM2: устройство $work/no-such-adapter не найдено\." "$work/err"; then
  fail "missing port: no message box naming the port and the device"; cat "$work/err"
fi
if [ "$(grep -c "msgbox Ошибка! | Порт COM" "$work/err")" -ne 1 ]; then
  fail "missing port: not exactly one box"
fi

# The demo through each adapter kind reaches the simulated car: through the ELM327 the simulated
# chip stands in front of it, through the cable a simulated K-line.
for kind in adapter kline elm327; do
  rm -f "$work/demo.trace"
  (cd "$work" && timeout 60 "$bin/klinediag" --demo --adapter "$kind" --ecu 6 --run-for 3 \
     --trace "$work/demo.trace" >"$work/out" 2>"$work/err")
  good=$(grep " type 6 page " "$work/demo.trace" 2>/dev/null | grep -c "| Данные получены\.$")
  if [ "$good" -lt 2 ]; then fail "demo through $kind: $good replies validated"; fi
  echo "demo through $kind: $good replies validated"
done

# A trace into a folder that does not exist.
for program in klinediag-script klinediag; do
  status=0
  if [ "$program" = klinediag-script ]; then
    echo "show StatusBar1" | "$bin/klinediag-script" --trace "$work/none/x.trace" \
      >"$work/out" 2>"$work/err" || status=$?
  else
    (cd "$work" && timeout 60 "$bin/klinediag" --demo --run-for 1 --trace "$work/none/x.trace" \
      >"$work/out" 2>"$work/err") || status=$?
  fi
  if [ "$status" -ne 2 ]; then fail "$program --trace into a missing folder: exit status $status"; fi
  if ! grep -q "cannot write the trace" "$work/out" "$work/err"; then
    fail "$program --trace into a missing folder: no message"
  fi
done

exit $((failures > 0))
