#!/usr/bin/env bash
# The bootstrap list against the build that runs this test, and the checker itself: a list that
# lacks a needed package must fail, naming it. Then the dependency walk on a made-up dpkg
# database: alternatives, version constraints, architecture qualifiers, Pre-Depends, virtual
# packages and packages that are only remembered (removed, configuration kept).
#
#   check_bootstrap_test.sh SOURCE-DIR CMAKECACHE
set -u
src=$1
cache=$2
check="$src/scripts/check-bootstrap"
list="$src/scripts/debian-packages"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# expect STATUS PATTERN -- ARGS: the checker's exit status and a line its output must contain.
expect() {
  local want=$1 pattern=$2 out rc
  shift 3
  out=$("$check" "$@" 2>&1)
  rc=$?
  if [ "$rc" -ne "$want" ]; then
    fail "check-bootstrap $* exited $rc, expected $want:"
    echo "$out"
  elif [ -n "$pattern" ] && ! grep -qF -- "$pattern" <<<"$out"; then
    fail "check-bootstrap $* did not say \"$pattern\":"
    echo "$out"
  fi
}

without() {  # FILE PACKAGE... -> the list without those lines
  local out=$1
  shift
  cp "$list" "$out"
  for p in "$@"; do
    grep -qx "$p" "$out" || fail "$p is not on the list, so leaving it out proves nothing"
    sed -i "/^$p\$/d" "$out"
  done
}

command -v dpkg >/dev/null || { echo "not a Debian system"; exit 77; }

# --- This machine, this build.
expect 0 "complete:" -- "$cache" "$list"

if grep -q '^Qt6OpenGL_DIR:' "$cache"; then
  without "$work/no-opengl" libqt6opengl6-dev
  expect 1 "Qt6OpenGL_DIR uses" -- "$cache" "$work/no-opengl"
  expect 1 "from package libqt6opengl6-dev" -- "$cache" "$work/no-opengl"
fi
# GTest comes with libgmock-dev too, so both must go before its configuration is unreached.
without "$work/no-gtest" libgtest-dev libgmock-dev
expect 1 "GTest_DIR uses" -- "$cache" "$work/no-gtest"
without "$work/gmock-only" libgtest-dev
expect 0 "complete:" -- "$cache" "$work/gmock-only"

# A package configuration reached through the /lib half of the merged /usr, and a tool that
# dpkg knows by /bin while the cache names /usr/bin.
gtest_dir=$(sed -n 's/^GTest_DIR:[A-Z]*=//p' "$cache")
if [ -L /lib ] && [[ "$gtest_dir" == /usr/lib/* ]]; then
  printf 'GTest_DIR:PATH=%s\nCMAKE_MAKE_PROGRAM:FILEPATH=/usr/bin/bash\n' "${gtest_dir#/usr}" \
    >"$work/merged.cache"
  expect 0 "complete: 2 " -- "$work/merged.cache" "$list"
fi

# A configuration no package owns, as one built and installed by hand.
mkdir -p "$work/prefix/Handmade"
touch "$work/prefix/Handmade/HandmadeConfig.cmake"
printf 'Handmade_DIR:PATH=%s\n' "$work/prefix/Handmade" >"$work/handmade.cache"
expect 1 "which no Debian package owns" -- "$work/handmade.cache" "$list"

# --- A made-up dpkg: the walk itself.
fake="$work/fake"
mkdir -p "$fake/bin" "$fake/cfg"
for n in Leaf Prov Other Ghost Second Arch; do
  mkdir -p "$fake/cfg/$n"
  touch "$fake/cfg/$n/${n}Config.cmake"
done
mkdir -p "$fake/cfg/lower"
touch "$fake/cfg/lower/lower-config.cmake"
# Package, status, Essential, Depends, Pre-Depends, Provides (dpkg-query's fields, tab-separated).
cat >"$fake/db" <<'EOF'
top	ii 	no	mid-a:any (>= 1.0) | mid-b, virt (>= 2), multi:amd64		
mid-b	ii 	no		leaf (= 1.2-3)	
leaf	ii 	no	libc6 (>= 2.36)		
prov	ii 	no			virt (= 2.1), other-virt
multi	ii 	no			
multi	ii 	no	second		
second	ii 	no			
base	ii 	yes	lower-pkg		
lower-pkg	ii 	no			
other	ii 	no			
ghost	rc 	no			
unlisted	ii 	no			
EOF
cat >"$fake/owners" <<EOF
$fake/cfg/Leaf/LeafConfig.cmake	leaf:amd64
$fake/cfg/Prov/ProvConfig.cmake	prov
$fake/cfg/Other/OtherConfig.cmake	other:amd64, unlisted:i386
$fake/cfg/Ghost/GhostConfig.cmake	ghost
$fake/cfg/Second/SecondConfig.cmake	second
$fake/cfg/Arch/ArchConfig.cmake	multi:i386
$fake/cfg/lower/lower-config.cmake	lower-pkg
EOF
cat >"$fake/bin/dpkg-query" <<EOF
#!/usr/bin/env bash
tr '\t' '\037' <"$fake/db"
EOF
cat >"$fake/bin/dpkg" <<EOF
#!/usr/bin/env bash
[ "\$1" = -S ] || exit 2
line=\$(grep -F "\$2	" "$fake/owners") || { echo "dpkg-query: no path found matching pattern \$2" >&2; exit 1; }
echo "\${line#*	}: \$2"
EOF
chmod +x "$fake/bin/dpkg-query" "$fake/bin/dpkg"
printf 'top\n' >"$fake/list"
entries() {
  for n in "$@"; do printf '%s_DIR:PATH=%s\n' "$n" "$fake/cfg/$n"; done >"$fake/cache"
}

(
  export PATH="$fake/bin:$PATH"
  entries Leaf Prov Second Arch lower
  expect 0 "complete: 5 " -- "$fake/cache" "$fake/list"
  # Owned by a package nothing on the list depends on; one of two owners is enough.
  entries Other
  expect 1 "from package other unlisted, which" -- "$fake/cache" "$fake/list"
  printf 'top\nunlisted\n' >"$fake/list2"
  expect 0 "complete: 1 " -- "$fake/cache" "$fake/list2"
  # Removed with its configuration kept: dpkg still remembers it, but its files are gone.
  entries Ghost
  printf 'top\nghost\n' >"$fake/list2"
  expect 1 "ghost is on the list but not installed" -- "$fake/cache" "$fake/list2"
  # The head of the walk matters: without it nothing below is reached.
  entries Leaf
  printf '# nothing\n\nother\n' >"$fake/list2"
  expect 1 "from package leaf, which" -- "$fake/cache" "$fake/list2"
  expect 2 "" -- "$fake/list" "$fake/list"
  exit "$failures"
) || failures=$((failures + $?))
exit $((failures > 0))
