#!/bin/sh
# A screen saver with background music, made as a user makes one (pictures, the music:
# by default a 6 s sine of 440 Hz encoded as MP3 by FFmpeg; the show tool's build,
# options, our sound library, the pack tool), run full screen with /s under Xvfb with
# SDL's disk audio driver and ended by a key once the recording holds SECONDS of sound.
# It must end with status 0, leave no temporary folder, and record sound, not silence.
#
# usage: packaged_music.sh BUILD_DIR [--music FILE] [--seconds N] [-- WRAPPER...]
#   WRAPPER runs the saver (e.g. valgrind --error-exitcode=99 ...). Exit 77 (skipped)
#   without xvfb-run, xdotool or ffmpeg.
set -eu
build=$(cd "$1" && pwd)
shift
music=
seconds=4
while [ $# -gt 0 ]; do
  case $1 in
    --music) music=$2; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    --) shift; break ;;
    *) echo "packaged_music: unknown argument $1" >&2; exit 2 ;;
  esac
done
for tool in xvfb-run xdotool ffmpeg; do
  command -v "$tool" >/dev/null 2>&1 || { echo "$tool is missing: skipped"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "packaged_music: $*" >&2; exit 1; }
tools=$build/tools
show=$work/saver/Lumivor
mkdir -p "$show" "$work/tmp"

# No ffmpeg here reads standard input: the caller may be reading a list through it.
for c in red green blue; do
  ffmpeg -nostdin -v error -f lavfi -i "color=c=$c:s=160x120" -frames:v 1 "$show/bild-$c.png"
done
if [ -n "$music" ]; then
  song=$show/music.${music##*.}
  cp "$music" "$song"
else
  song=$show/music.mp3
  ffmpeg -nostdin -v error -f lavfi -i "sine=frequency=440:duration=6:sample_rate=44100" -ac 2 -c:a libmp3lame -b:a 128k \
    "$song"
fi
"$tools/glowcanvas-show" build "$show" "$show/Slideshow.kls" --duration 2000 --music "$song"
"$tools/glowcanvas-show" options "$work/saver/settings.dat" --duration 2000
cp "$build/soundlib/fmod.dll" "$work/saver/fmod.dll"
cp "$tools/glowcanvas" "$work/saver.scr"
"$tools/glowcanvas-pack" append "$work/saver.scr" "$work/saver" >/dev/null

# 16-bit stereo at 44100 Hz: 176400 bytes a second.
bytes=$((seconds * 176400))
recording=$work/recording.raw
status=0
env -u SDL_VIDEODRIVER SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$recording" GC_REGISTRY_DIR="$work/registry" \
  TMPDIR="$work/tmp" NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory \
  timeout 600 xvfb-run -a -n 140 -s '-screen 0 640x480x24' sh -c '
    bytes=$1 recording=$2; shift 2
    "$@" /s & p=$!
    while kill -0 $p 2>/dev/null && [ "$(stat -c %s "$recording" 2>/dev/null || echo 0)" -lt "$bytes" ]; do
      sleep 0.2
    done
    xdotool key space
    wait $p' sh "$bytes" "$recording" "$@" "$work/saver.scr" >"$work/out.txt" 2>&1 || status=$?
if [ "$status" -ne 0 ]; then
  cat "$work/out.txt" >&2
  fail "the saver ended with status $status"
fi
[ -z "$(ls -A "$work/tmp")" ] || fail "the temporary folder was left behind: $(ls "$work/tmp")"
size=$(stat -c %s "$recording" 2>/dev/null || echo 0)
[ "$size" -ge "$bytes" ] || fail "the recording holds $size bytes, not $bytes"
# Not silence: the largest sample of the recording (a slow start, as under memcheck,
# records silence before the music).
peak=$(od -An -v -td2 -w2 "$recording" | awk '{v = $1 < 0 ? -$1 : $1; if (v > m) m = v} END {print m + 0}')
[ "$peak" -gt 1000 ] || fail "the recording is silence (peak $peak)"
echo "packaged_music: status 0, ${size} bytes recorded, peak $peak"
