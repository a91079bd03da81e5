#!/bin/sh
# The real-time tier's check itself: a tree whose tests that use the real-time helpers
# are all in the tier passes; each way of leaving one out, planted alone, fails it.
# Usage: check_realtime_test.sh CHECK_REALTIME
check=$1
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
failures=0

# tests/CMakeLists.txt: the program's REALTIME filter and its wrapper's kind (add_test or
# gc_add_realtime_test).
write_lists() {
  cat >"$tree/tests/CMakeLists.txt" <<EOF
gc_add_test_program(shell LINK gc_shell $1)
gc_add_test_program(media LINK gc_media)
# A wrapper that runs the timed tests on their own display.
$2(${3}Shell.Timed
  COMMAND sh xvfb_saver.sh \$<TARGET_FILE:test_shell> "Timed.*")
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

expect() {  # expect pass|fail WHAT REALTIME_FILTER WRAPPER TEST_NAME TEST_BODY
  rm -rf "${tree:?}"/*
  mkdir -p "$tree/tests/shell" "$tree/tests/media"
  if [ "$4" = add_test ]; then write_lists "$3" add_test "NAME "; else write_lists "$3" "$4" ""; fi
  write_test "$5" "$6"
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
expect pass "a recording in the tier" "$rt" gc_add_realtime_test EndsOnTime "$rec"
expect fail "a recording outside the program's filter" 'REALTIME "Other.*"' gc_add_realtime_test EndsOnTime "$rec"
expect fail "a recording in a program without a filter" "" gc_add_realtime_test EndsOnTime "$rec"
expect fail "a recording left out by the filter's negative part" 'REALTIME "Timed.*-Timed.EndsOnTime"' \
  gc_add_realtime_test EndsOnTime "$rec"
expect fail "a recording run by a wrapper outside the tier" "$rt" add_test EndsOnTime "$rec"
expect fail "a recording through a function of the file" 'REALTIME "Timed.Other"' gc_add_realtime_test EndsOnTime \
  '    EXPECT_FALSE(Record(dir).empty());'
expect fail "the disk audio driver" 'REALTIME "Timed.Other"' gc_add_realtime_test Sounds \
  '    TRun run(saver, {"/s"}, {"SDL_AUDIODRIVER=disk"});'
expect fail "a run timed to its end" 'REALTIME "Timed.Other"' gc_add_realtime_test Ends \
  '    EXPECT_TRUE(run.Ended(1000));'
expect fail "the program's trace" 'REALTIME "Timed.Other"' gc_add_realtime_test Traces \
  '    setenv("GC_TRACE", file.c_str(), 1);'
expect pass "no helper outside the tier" 'REALTIME "Timed.Other"' add_test Parses '    EXPECT_EQ(Parse("/p"), 2);'

[ "$failures" -eq 0 ] && echo "check-realtime: every case as expected"
[ "$failures" -eq 0 ]
