#!/usr/bin/env bash
# scripts/run on a stand-in checkout: the build and the program are stubs that record how they
# were called, so what is checked is the script's own work: the three programs built, the data
# folder chosen, created and announced, the build's progress shown, the program started there
# with the arguments given.
#
#   run_test.sh SOURCE-DIR
set -u
src=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

checkout="$work/checkout"
mkdir -p "$checkout/scripts" "$checkout/build/release/bin" "$work/stubs"
cp "$src/scripts/run" "$checkout/scripts/run"
printf '#!/bin/sh\n' >"$checkout/scripts/bootstrap"
cat >"$work/stubs/cmake" <<STUB
#!/bin/sh
echo "cmake \$*" >>"$work/cmake.log"
case "\$*" in --build*) echo "[1/2] Building CXX object step-one"; echo "[2/2] Linking CXX executable bin/klinediag" ;; esac
STUB
cat >"$checkout/build/release/bin/klinediag" <<STUB
#!/bin/sh
pwd >"$work/program.log"
for a in "\$@"; do echo "arg \$a"; done >>"$work/program.log"
STUB
chmod +x "$checkout/scripts/run" "$checkout/scripts/bootstrap" "$work/stubs/cmake" \
  "$checkout/build/release/bin/klinediag"

run() {  # XDG_DATA_HOME HOME ARGS...: stderr into $work/stderr
  local xdg=$1 home=$2
  shift 2
  rm -f "$work/cmake.log" "$work/program.log"
  (cd "$work" && env PATH="$work/stubs:$PATH" XDG_DATA_HOME="$xdg" HOME="$home" \
     "$checkout/scripts/run" "$@" 2>"$work/stderr" >/dev/null)
}

expect_line() {  # FILE LINE
  grep -qxF -- "$2" "$1" || { fail "$(basename "$1") lacks \"$2\":"; cat "$1"; }
}

# XDG_DATA_HOME set: the folder beneath it, created on the way.
run "$work/xdg" "$work/home" --demo --ecu 6 || fail "scripts/run exited $?"
expect_line "$work/stderr" "klinediag: working folder $work/xdg/klinediag"
# The build's steps reach the terminal, one a line.
expect_line "$work/stderr" "[1/2] Building CXX object step-one"
expect_line "$work/stderr" "[2/2] Linking CXX executable bin/klinediag"
[ -d "$work/xdg/klinediag" ] || fail "the data folder was not created"
expect_line "$work/program.log" "$work/xdg/klinediag"
expect_line "$work/program.log" "arg --demo"
expect_line "$work/program.log" "arg --ecu"
expect_line "$work/program.log" "arg 6"
expect_line "$work/cmake.log" "cmake --preset release"
expect_line "$work/cmake.log" "cmake --build --preset release -j $(nproc)"

# Unset or relative: the default under HOME.
for xdg in "" "relative/share"; do
  run "$xdg" "$work/home" --demo || fail "scripts/run exited $? with XDG_DATA_HOME=\"$xdg\""
  expect_line "$work/stderr" "klinediag: working folder $work/home/.local/share/klinediag"
  expect_line "$work/program.log" "$work/home/.local/share/klinediag"
done
[ ! -e "$work/relative" ] || fail "a relative XDG_DATA_HOME was used"

# Started from inside the checkout, the program still runs in the data folder.
rm -f "$work/program.log"
(cd "$checkout" && env PATH="$work/stubs:$PATH" XDG_DATA_HOME="$work/xdg" "$checkout/scripts/run" \
   2>/dev/null >/dev/null)
expect_line "$work/program.log" "$work/xdg/klinediag"

exit $((failures > 0))
