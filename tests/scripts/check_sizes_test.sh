#!/bin/sh
# The size check itself: a clean tree passes; a code file or a function over its limit,
# planted alone in an otherwise clean tree, fails it; what only looks long does not.
# Usage: check_sizes_test.sh CHECK_SIZES
check=$1
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
failures=0

# lines N: N numbered statement lines.
lines() { i=0; while [ "$i" -lt "$1" ]; do echo "    x += $i;"; i=$((i + 1)); done; }
# function NAME HEADER BODY: a function of BODY + 2 lines.
function_of() { echo "$1 {"; lines "$2"; echo "}"; }

reset_tree() {
  rm -rf "$tree"/*
  mkdir -p "$tree/platform" "$tree/playback" "$tree/tests/playback" "$tree/tools"
  function_of "int Small(int x)" 10 >"$tree/platform/Small.cpp"
}

expect() {  # expect pass|fail WHAT FILE (the file's text on stdin)
  reset_tree
  [ -n "$3" ] && cat >"$tree/$3"
  if "$check" "$tree" >"$tree.log" 2>&1; then got=pass; else got=fail; fi
  if [ "$got" != "$1" ]; then
    echo "FAILED: $2: expected $1, got $got"
    cat "$tree.log"
    failures=$((failures + 1))
  fi
  rm -f "$tree.log"
}

expect pass "a clean tree" "" </dev/null
function_of "int Long(int x)" 118 | expect pass "a function of 120 lines" playback/Long.cpp
function_of "int Long(int x)" 119 | expect fail "a function of 121 lines" playback/Long.cpp
{ echo "int TPlayer::Long(int a,"; function_of "                  int b) const" 118; } |
  expect fail "a function whose header takes two lines" playback/Long.cpp
{ echo "namespace {"; echo "struct T {"; function_of "    void Method()" 119; echo "};"; echo "}"; } |
  expect fail "a method inside a class inside a namespace" playback/Long.h
function_of "TPlayer::TPlayer() : a_{1}, b_(2)" 119 | expect fail "a constructor with brace initialisers" playback/Long.cpp
lines 1001 | expect fail "a file of 1001 lines" playback/Big.cpp
lines 1000 | expect pass "a file of 1000 lines" playback/Big.cpp
{ echo "const int kTable[] = {"; lines 200; echo "};"; } | expect pass "a long table" playback/Table.cpp
{ echo "int Long() {"; echo '    const char* s = "}";  // }'; echo "    /* } */"; lines 120; echo "}"; } |
  expect fail "a brace in a string or a comment ends no function" playback/Text.cpp
function_of "TEST(Player, Long)" 300 | expect pass "a long test" tests/playback/LongTest.cpp
function_of "int Long(int x)" 200 | expect fail "a long tool function" tools/long.cpp

[ "$failures" -eq 0 ] && echo "check-sizes: every case as expected"
[ "$failures" -eq 0 ]
