#!/bin/sh
# The player tests that need an X server, on Xvfb through SDL's x11 driver. Exit 77
# (skipped) without xvfb-run. A second argument picks the tests.
set -eu
program=$1
filter=${2:-ShowPlayX.*:PreviewHostX.*}
command -v xvfb-run >/dev/null 2>&1 || { echo "xvfb-run is missing: skipped"; exit 77; }
command -v xdotool >/dev/null 2>&1 || { echo "xdotool is missing: skipped"; exit 77; }
# The sanitizer build: SDL's D-Bus connections live as long as its video does.
export LSAN_OPTIONS="suppressions=$(dirname "$0")/../lsan-system.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
exec xvfb-run -a -n 120 -s "-screen 0 1024x768x24" env SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy GC_TEST_UNDER_X=1 \
  "$program" --gtest_filter="$filter"
