#!/bin/sh
# The SDL window tests again on an X server (Xvfb) through SDL's x11 driver, where the
# foreign window's case runs too. Exit 77 (skipped) without xvfb-run.
set -eu
program=$1
command -v xvfb-run >/dev/null 2>&1 || { echo "xvfb-run is missing: skipped"; exit 77; }
# The sanitizer build: SDL's D-Bus connections live as long as its video does.
export LSAN_OPTIONS="suppressions=$(dirname "$0")/../lsan-system.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
exec xvfb-run -a -n 110 -s "-screen 0 1024x768x24" env SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy \
  "$program" --gtest_filter='SdlWindowTest.*:ForeignWindow.*:SdlQueue.*:*/QueueTest.*/Sdl'
