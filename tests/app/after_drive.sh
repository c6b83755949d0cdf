#!/usr/bin/env bash
# The program itself after the drive: --replay of a recorded trace ends with its summary in a timed
# run, bad --replay uses are refused, a save past the file-size limit fails with the usual box
# instead of ending the program, and a trace on a full disk is reported once and the run goes on.
set -u
bin=$(cd "$1" && pwd)
traces=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# 25 ticks of 300 ms: the replay is over well before the run ends, two writes differ.
status=0
(cd "$work" && timeout 60 "$bin/klinediag" --replay "$traces/edited.trace" --run-for 12 \
  >"$work/out" 2>"$work/err") || status=$?
if [ "$status" -ne 0 ]; then fail "--replay: exit status $status"; cat "$work/err"; fi
if ! grep -q "^replay 25 ticks, 2 differ$" "$work/out"; then fail "--replay: no summary"; cat "$work/out"; fi
if [ "$(grep -c '^replay line ' "$work/out")" -ne 4 ]; then fail "--replay: not two differing writes"; fi
if ! grep -q "^klinediag: msgbox Воспроизведение | Воспроизведение окончено. Тактов: 25, записей не как в трассе: 2.$" \
  "$work/err"; then
  fail "--replay: no closing message"
fi

for bad in "--replay $work/none.trace" "--replay $traces/edited.trace --demo"; do
  status=0
  # shellcheck disable=SC2086
  (cd "$work" && timeout 60 "$bin/klinediag" $bad --run-for 1 >"$work/out" 2>"$work/err") || status=$?
  if [ "$status" -ne 2 ]; then fail "$bad: exit status $status"; fi
  if ! grep -q -- "--replay" "$work/err"; then fail "$bad: no message"; fi
done
printf '# klinediag session trace\n2024-01-01 12:00:00.300 type 1 page TabSheet1 rx 8G | tx | x\n' \
  >"$work/broken.trace"
status=0
(cd "$work" && timeout 60 "$bin/klinediag" --replay "$work/broken.trace" --run-for 1 \
  >"$work/out" 2>"$work/err") || status=$?
if [ "$status" -ne 2 ] || ! grep -q "malformed byte: 8G" "$work/err"; then
  fail "a broken trace: exit status $status"
fi

# A recording saved past a file-size limit of 2 KiB: the box, and the program goes on.
mkdir -p "$work/limit"
status=0
(ulimit -f 2 && printf 'click New_write\ntick 40\nanswer file big.dat\nclick End_write\nshow Write_status\n' |
  timeout 60 "$bin/klinediag-script" --workdir "$work/limit" --demo >"$work/out" 2>"$work/err") ||
  status=$?
if [ "$status" -ne 0 ]; then fail "file-size limit: exit status $status"; fi
if ! grep -q "^msgbox Ошибка! | Немогу создать файл!!!$" "$work/out"; then
  fail "file-size limit: no message box"
fi
if ! grep -q "^Write_status " "$work/out"; then fail "file-size limit: the program did not go on"; fi
if [ -e "$work/limit/big.dat" ] || ls -A "$work/limit" | grep -q '\.tmp$'; then
  fail "file-size limit: a file was left behind"
fi

# A trace on a full disk: said once on standard error, and the run ends as it should.
if [ -e /dev/full ]; then
  status=0
  (cd "$work" && timeout 60 "$bin/klinediag" --demo --trace /dev/full --run-for 2 \
    >"$work/out" 2>"$work/err") || status=$?
  if [ "$status" -ne 0 ]; then fail "trace on /dev/full: exit status $status"; fi
  if [ "$(grep -c "Ошибка записи трассы. /dev/full" "$work/err")" -ne 1 ]; then
    fail "trace on /dev/full: not reported once"
    cat "$work/err"
  fi
fi

exit $((failures > 0))
