#!/bin/sh
# The real-time tier's check itself: a tree whose tests that use the real-time helpers
# are all in the tier passes; each way of leaving one out, planted alone, fails it.
# Usage: check_realtime_test.sh CHECK_REALTIME
check=$1
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
failures=0

# tests/CMakeLists.txt: the program's REALTIME filter, its wrapper's kind (add_test or
# gc_add_realtime_test) and the wrapper's filter.
write_lists() {
  cat >"$tree/tests/CMakeLists.txt" <<EOF
gc_add_test_program(shell LINK gc_shell $1)
gc_add_test_program(media LINK gc_media)
# A wrapper that runs some of the tests on their own display.
$2(${3}Shell.Wrapped
  COMMAND sh xvfb_saver.sh \$<TARGET_FILE:test_shell> "$4")
EOF
}

# A test file: a plain test, and a test that uses helper (directly, or through a function
# or a fixture of the file).
write_test() {
  cat >"$tree/tests/shell/RunTest.cpp" <<EOF
#include "ToolRunSupport.h"
namespace {
// A fixture of its own, and a function that records.
class Timed : public ::testing::Test {};
std::vector<int16_t> Record(const TempDir& dir) {
    return RecordFullScreenRun(dir, "", "", "saver /s", 100).Samples;
}
TEST(Plain, ParsesItsOptions) {
    EXPECT_EQ(Parse("/s"), 1);  // no recording here: RecordFullScreenRun is in a comment's
}
TEST_F(Timed, $1) {
$2
}
}  // namespace
EOF
}

expect() {  # expect pass|fail WHAT REALTIME_FILTER WRAPPER WRAPPER_FILTER TEST_NAME TEST_BODY
  rm -rf "${tree:?}"/*
  mkdir -p "$tree/tests/shell" "$tree/tests/media"
  if [ "$4" = add_test ]; then write_lists "$3" add_test "NAME " "$5"; else write_lists "$3" "$4" "" "$5"; fi
  write_test "$6" "$7"
  echo 'TEST(Media, Decodes) { EXPECT_TRUE(Decode()); }' >"$tree/tests/media/MediaTest.cpp"
  if "$check" "$tree" >"$tree.log" 2>&1; then got=pass; else got=fail; fi
  if [ "$got" != "$1" ]; then
    echo "FAILED: $2: expected $1, got $got"
    cat "$tree.log"
    failures=$((failures + 1))
  fi
  rm -f "$tree.log"
}

rt='REALTIME "Timed.*"'
rec='    EXPECT_EQ(RecordFullScreenRun(dir, "", "", "saver /s", 100).Status, "0\n");'
rw=gc_add_realtime_test
expect pass "a recording in the tier" "$rt" $rw 'Other.*' EndsOnTime "$rec"
expect pass "a recording run by a wrapper of the tier" "" $rw 'Timed.*' EndsOnTime "$rec"
expect fail "a recording outside the program's filter" 'REALTIME "Other.*"' $rw 'Other.*' EndsOnTime "$rec"
expect fail "a recording in a program without a filter nor a wrapper" "" add_test 'Other.*' EndsOnTime "$rec"
expect fail "a recording left out by the filter's negative part" 'REALTIME "Timed.*-Timed.EndsOnTime"' $rw 'Other.*' \
  EndsOnTime "$rec"
expect fail "a recording run by a wrapper outside the tier" "$rt" add_test 'Timed.*' EndsOnTime "$rec"
expect fail "a recording through a function of the file" 'REALTIME "Timed.Other"' $rw 'Other.*' EndsOnTime \
  '    EXPECT_FALSE(Record(dir).empty());'
expect fail "the disk audio driver" 'REALTIME "Timed.Other"' $rw 'Other.*' Sounds \
  '    TRun run(saver, {"/s"}, {"SDL_AUDIODRIVER=disk"});'
expect fail "a run timed to its end" 'REALTIME "Timed.Other"' $rw 'Other.*' Ends '    EXPECT_TRUE(run.Ended(1000));'
expect fail "the program's trace" 'REALTIME "Timed.Other"' $rw 'Other.*' Traces \
  '    setenv("GC_TRACE", file.c_str(), 1);'
expect pass "no helper outside the tier" 'REALTIME "Timed.Other"' add_test 'Timed.*' Parses '    EXPECT_EQ(Parse("/p"), 2);'

[ "$failures" -eq 0 ] && echo "check-realtime: every case as expected"
[ "$failures" -eq 0 ]
