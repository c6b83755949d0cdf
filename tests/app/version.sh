#!/usr/bin/env bash
# --version of the three programs names the version the About box shows.
#   version.sh BIN-DIR VERSION
set -u
bin=$1 version=$2
failures=0
for p in klinediag klinediag-sim klinediag-script; do
  out=$("$bin/$p" --version 2>&1) || { echo "FAIL: $p --version exited $?"; failures=$((failures + 1)); }
  [ "$out" = "$p $version" ] || { echo "FAIL: $p --version printed \"$out\""; failures=$((failures + 1)); }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
about=$(printf 'click AboutButton\nshow StaticText3\n' | "$bin/klinediag-script" --workdir "$work")
grep -qxF "StaticText3 \"Версия $version\" visible 1 enabled 1" <<<"$about" ||
  { echo "FAIL: the About box says: $about"; failures=$((failures + 1)); }
exit $((failures > 0))
