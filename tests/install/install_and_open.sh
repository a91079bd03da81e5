#!/bin/sh
# cmake --install into a temporary folder gives the three programs and the sound
# library; a screen saver made with the installed tools from a package folder opens its
# settings dialog under Xvfb. Exit 77 (skipped) without xvfb-run or xdotool.
set -eu
build=$1
for tool in xvfb-run xdotool; do
  command -v "$tool" >/dev/null 2>&1 || { echo "$tool is missing: skipped"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >/dev/null
fail() { echo "$*" >&2; exit 1; }
for program in glowcanvas glowcanvas-pack glowcanvas-show; do
  [ -x "$prefix/bin/$program" ] || fail "bin/$program is not installed"
  if command -v readelf >/dev/null 2>&1 && readelf -S "$prefix/bin/$program" | grep -q '\.symtab'; then
    fail "bin/$program is not stripped"
  fi
done
soundlib=$(find "$prefix" -path '*/glowcanvas/fmod.dll' | head -n 1)
[ -n "$soundlib" ] || fail "the sound library is not installed"

# A package folder as the README describes it, made with the installed tools.
mkdir -p "$work/show"
"$prefix/bin/glowcanvas-show" options "$work/show/settings.dat" --duration 5000
cp "$soundlib" "$work/show/fmod.dll"
cp "$prefix/bin/glowcanvas" "$work/sonne"
"$prefix/bin/glowcanvas-pack" append "$work/sonne" "$work/show"
"$prefix/bin/glowcanvas-pack" list "$work/sonne" | grep -q '^settings.dat	19$' || fail "the package holds no settings.dat"

# Its settings dialog appears (another display number than the other Xvfb tests take).
GC_REGISTRY_DIR=$work/registry NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory ASAN_OPTIONS=detect_leaks=0 \
  xvfb-run -a -n 150 -s '-screen 0 800x600x24' sh -c '
    "$0" /c & pid=$!
    for i in $(seq 300); do
      if xdotool search --onlyvisible --name "^Velmorra Glowcanvas$" >/dev/null 2>&1; then
        kill $pid; exit 0
      fi
      sleep 0.1
    done
    kill $pid; echo "no settings dialog appeared" >&2; exit 1' "$work/sonne"
