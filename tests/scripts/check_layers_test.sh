#!/bin/sh
# The layer check itself: a clean tree passes; each kind of include that breaks the
# layering, planted alone in an otherwise clean tree, fails it.
# Usage: check_layers_test.sh CHECK_LAYERS
check=$1
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
failures=0

reset_tree() {
  rm -rf "$tree"/*
  mkdir -p "$tree/platform" "$tree/graphics" "$tree/document" "$tree/objects" "$tree/playback" \
           "$tree/tests/document" "$tree/soundlib" "$tree/bench" "$tree/dynload"
  echo '#include "platform/Types.h"' >"$tree/graphics/Bitmap.cpp"
  echo '#include "graphics/Bitmap.h"' >"$tree/objects/Item.cpp"
  echo '#include "document/Show.h"' >"$tree/playback/Player.cpp"
  echo '#include "dynload/Load.h"' >"$tree/soundlib/Lib.cpp"
  echo '#include "playback/Player.h"' >"$tree/bench/player.cpp"
}

expect() {  # expect pass|fail WHAT FILE LINE
  reset_tree
  [ -n "$3" ] && echo "$4" >"$tree/$3"
  if "$check" "$tree" >"$tree.log" 2>&1; then got=pass; else got=fail; fi
  if [ "$got" != "$1" ]; then
    echo "FAILED: $2: expected $1, got $got"
    cat "$tree.log"
    failures=$((failures + 1))
  fi
  rm -f "$tree.log"
}

expect pass "a clean tree" "" ""
expect fail "an include of a higher layer" platform/Up.cpp '#include "playback/Player.h"'
expect fail "a relative include out of the folder" platform/Up.cpp '#include "../playback/Player.h"'
expect fail "a relative include from a tool" bench/up.cpp '#include "../tests/Fixture.h"'
expect fail ".. inside a path from the root" platform/Up.cpp '#include "platform/../playback/Player.h"'
expect fail ".. inside a path from a tool" bench/up.cpp '#include "playback/../tests/Fixture.h"'
expect pass "dots in a file name" platform/Dots.cpp '#include "platform/Types..h"'
expect fail "a path from the current folder" document/Up.cpp '#include "./playback/Player.h"'
expect fail ". inside a path" document/Up.cpp '#include "document/./Show.h"'
expect fail ". inside a path from a tool" bench/up.cpp '#include "playback/./Player.h"'
expect pass "a file name that starts with a dot" platform/Dots.cpp '#include "platform/.Types.h"'
expect fail "our folder in angle brackets" platform/Up.cpp '#include <playback/Player.h>'
expect fail "the document drawing" document/Draw.cpp '#include "graphics/Bitmap.h"'
expect fail "the document's tests drawing" tests/document/Draw.cpp '#include "transitions/Fade.h"'
expect fail "the library loader including ours" dynload/Up.cpp '#include "platform/Types.h"'
expect fail "the sound library including the program" soundlib/Up.cpp '#include "media/Binding.h"'
expect fail "a layer including the sound library" playback/Up.cpp '#include "soundlib/Mixer.h"'
expect pass "a system header in angle brackets" platform/Sys.cpp '#include <vector>'

[ "$failures" -eq 0 ] && echo "check-layers: every case as expected"
[ "$failures" -eq 0 ]
