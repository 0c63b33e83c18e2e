#!/usr/bin/env bash
# The package check on small ninja builds of its own, so that what it finds depends on nothing
# but the lists given here: a program that includes XRandR's header and links its library, and
# a test source that names a sound file from a package.
#
#   check_packages_test.sh TOOL       TOOL: tools/check-packages
set -uo pipefail
check=$1
work=$(mktemp -d /tmp/mirvo-check-packages-test.XXXXXX)
trap 'rm -rf "$work"' EXIT
export XDG_CACHE_HOME="$work/cache"

for tool in cc ninja dpkg apt-get; do
    command -v "$tool" >/dev/null || { echo "needs $tool"; exit 77; }
done
xrandr_header=/usr/include/X11/extensions/Xrandr.h
sound=/usr/share/sounds/alsa/Front_Center.wav
for file in "$xrandr_header" "$sound"; do
    dpkg -S "$file" >/dev/null 2>&1 || { echo "$file is not installed (scripts/packages.txt)"; exit 77; }
done

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
expect_line() {
    local output=$1 pattern=$2
    grep -qE -- "$pattern" <<<"$output" || fail "no line matching: $pattern"
}

# make_build <dir> <source file> <link libraries...>: configures a one-program ninja build.
make_build() {
    local dir=$1 source=$2
    shift 2
    mkdir -p "$dir"
    cat >"$dir/build.ninja" <<NINJA
rule cc
  command = cc -MD -MF \$out.d -c \$in -o \$out
  depfile = \$out.d
  deps = gcc
rule link
  command = cc \$in -o \$out \$LINK_LIBRARIES
build probe.o: cc $source
build probe: link probe.o
  LINK_LIBRARIES = $*
NINJA
    ninja -C "$dir" >"$dir/ninja.log" 2>&1 || { cat "$dir/ninja.log"; exit 1; }
}

src="$work/src"
mkdir -p "$src/tests"
cat >"$src/probe.c" <<'C'
#include <X11/extensions/Xrandr.h>
#include <math.h>
int main(void) { return XRRRootToScreen(0, 0) + (int)sqrt(4.0); }
C
printf 'const char* kSound = "%s";\n' "$sound" >"$src/tests/probe_test.cpp"

# The libraries as the compiler names them (with "..") and, where /usr is merged, libm by the
# /usr/lib path that its package does not ship.
link=("$(cc -print-file-name=libXrandr.so)")
libm="/usr/lib/$(cc -print-multiarch)/libm.so.6"
[ -f "$libm" ] && [ -L /lib ] && link+=("$libm")
make_build "$work/build" "$src/probe.c" "${link[@]}"

# A list without XRandR's packages: each file is named with the package that owns it.
printf '# only the compiler\ng++\nlibx11-dev\n' >"$work/short.txt"
output=$("$check" --packages "$work/short.txt" --source "$src" "$work/build" 2>&1)
status=$?
echo "$output"
[ $status -eq 1 ] || fail "a list without libxrandr-dev: exit status $status, not 1"
expect_line "$output" "^check-packages: $xrandr_header \(a header compiled into probe.o\) is in libxrandr-dev, "
expect_line "$output" "libXrandr\.so \(a library on a link line\) is in libxrandr-dev, "
expect_line "$output" "libXrandr\.so\.2[^ ]* \(a library that probe loads\) is in libxrandr2, "
expect_line "$output" "$sound \(a file that tests/probe_test.cpp:1 reads\) is in alsa-utils, "
expect_line "$output" "^check-packages: checked [1-9][0-9]* files \(1 of them named by the tests\) from [1-9][0-9]* packages"
if grep -E 'belongs to no installed package|libc6|libm\.so|/usr/include/stdio\.h' <<<"$output"; then
    fail "a file of a package every machine has, or one pulled in, was reported"
fi

# The list that covers them all passes, and says what it checked.
printf 'g++\nlibxrandr-dev\nalsa-utils\n' >"$work/full.txt"
output=$("$check" --packages "$work/full.txt" --source "$src" "$work/build" 2>&1)
status=$?
echo "$output"
[ $status -eq 0 ] || fail "a list that covers everything: exit status $status, not 0"
expect_line "$output" "^check-packages: .*build: [1-9][0-9]* headers, [1-9] linked libraries, [1-9] loaded libraries"
expect_line "$output" "^check-packages: checked [1-9][0-9]* files \(1 of them named by the tests\) from [1-9][0-9]* packages"

# A library gone since the link, and a path the tests name that no package ships, are findings
# too, not files quietly left out.
ghost_src="$work/ghost-src"
mkdir -p "$ghost_src/tests" "$work/ghost-lib"
echo 'int ghost(void) { return 1; }' >"$work/ghost-lib/ghost.c"
cc -shared -fPIC -o "$work/ghost-lib/libghost.so" "$work/ghost-lib/ghost.c"
echo 'int ghost(void); int main(void) { return ghost(); }' >"$ghost_src/probe.c"
# Unquoted here, so that the check finds no such path in this script when it runs on the checkout.
gone=/usr/share/mirvo-check-packages-test/none.wav
printf 'const char* kGone = "%s";\n' "$gone" >"$ghost_src/tests/gone_test.cpp"
make_build "$work/ghost" "$ghost_src/probe.c" "$work/ghost-lib/libghost.so"
rm "$work/ghost-lib/libghost.so"
output=$("$check" --packages "$work/full.txt" --source "$ghost_src" "$work/ghost" 2>&1)
status=$?
echo "$output"
[ $status -eq 1 ] || fail "a missing library and file: exit status $status, not 1"
expect_line "$output" "libghost\.so \(a library that probe loads\) is nowhere the loader looks"
expect_line "$output" "none\.wav \(a file that tests/gone_test.cpp:1 reads\) belongs to no installed package"

[ $failures -eq 0 ] || { echo "$failures failed"; exit 1; }
echo "all passed"
