#!/bin/sh
# The screen-saver tests that need an X server, on Xvfb through SDL's x11 driver (its own
# display number, beside the other Xvfb tests). Exit 77 (skipped) without xvfb-run or
# xdotool. A second argument picks the tests (SaverX.* by default).
set -eu
program=$1
filter=${2:-SaverX.*}
command -v xvfb-run >/dev/null 2>&1 || { echo "xvfb-run is missing: skipped"; exit 77; }
command -v xdotool >/dev/null 2>&1 || { echo "xdotool is missing: skipped"; exit 77; }
# The sanitizer build: SDL's D-Bus connections live as long as its video does.
export LSAN_OPTIONS="suppressions=$(dirname "$0")/../lsan-system.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
exec xvfb-run -a -n 160 -s "-screen 0 640x480x24 -noreset" env SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy GC_TEST_UNDER_X=1 \
  NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory "$program" --gtest_filter="$filter"
