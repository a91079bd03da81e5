#!/bin/bash
# Pictures and sounds that no one here made: the files Debian's packages installed under
# /usr/share, run through our programs. Pictures go into shows in batches, each picture
# 5 s (a 2 s fade in), and are rendered at the middle of their time; each render is
# compared with ImageMagick's reading of the file (EXIF orientation applied; laid over
# black, as the show draws a transparent picture over its black ground), both trimmed of
# black borders and shrunk to 16x16; a picture smaller than the frame is compared in the
# rectangle the show gives it. Sound files each play as the music of a packaged screen
# saver, recorded until the song's first loud stretch has played (12 s at most); where
# FFmpeg decodes the file too, the recording's loudness over time is compared with
# FFmpeg's. Not part of the test command: it depends on what the machine has installed.
# What is missing is skipped.
#
# usage: tests/debian_media.sh BUILD_DIR [MAX_PER_KIND] [OUT_DIR]
#   MAX_PER_KIND (default all): a fixed sample of that many of each picture kind.
#   GC_MEDIA_ROOT: where to look instead of /usr/share.
#   Lines "blank|wrong|failed|silent FILE (why)" name the faults; the last lines count them.
#   Exit 1 when any picture or sound failed, was blank or wrong.
set -uo pipefail
build=$(cd "$1" && pwd)
max=${2:-100000}
out=${3:-$(mktemp -d)}
mkdir -p "$out"
command -v convert >/dev/null || { echo "ImageMagick is missing: skipped"; exit 77; }
show_tool=$build/tools/glowcanvas-show
batch_size=40
# Half of 1920 x 1080: the show lets a small picture grow to twice its size on such a
# screen, as much less on a smaller one, so a 16 x 16 icon still shows as 16 x 16 here.
size=960x540
root=${GC_MEDIA_ROOT:-/usr/share}

declare -A count
for k in ok blank wrong failed unreadable sound_ok sound_failed sound_silent sound_wrong; do count[$k]=0; done

# The picture kinds our reader takes (the show tool's build picks them by extension).
picture_kinds=(jpg jpeg png gif bmp ico tif tiff tga pcx ppm pgm pbm psd sgi)
sound_kinds=(wav ogg oga mp3 flac mid midi mod xm it s3m)

# A picture's 16x16 sketch of what it shows: trimmed of its black border, the channel
# means and the sketch's pixels on stdout.
sketch() {
  convert "$1" -alpha off -bordercolor black -border 1 -trim +repage \
    -resize '16x16!' -depth 8 txt:- 2>/dev/null | awk 'NR > 1 { gsub(/[(),]/, " "); print $3, $4, $5 }'
}

# The same without trimming: a picture already cut to what it shows.
plain_sketch() {
  convert "$1" -alpha off -resize '16x16!' -depth 8 txt:- 2>/dev/null |
    awk 'NR > 1 { gsub(/[(),]/, " "); print $3, $4, $5 }'
}

# The mean difference of two sketches per channel value (0..255); 999 when one is empty.
distance() {
  paste -d' ' <(echo "$1") <(echo "$2") |
    awk 'NF == 6 { d += ($1 > $4 ? $1 - $4 : $4 - $1) + ($2 > $5 ? $2 - $5 : $5 - $2) + ($3 > $6 ? $3 - $6 : $6 - $3); n += 3 }
         END { if (n == 0) print 999; else printf "%d\n", d / n }'
}

# The brightest channel value of a picture.
brightest() { convert "$1" -alpha off -format '%[fx:int(255*maxima)]' info: 2>/dev/null || echo 0; }

check_batch() {
  local dir=$1 n=$2
  local shw=$dir/show.kls frames=$dir/frames
  if ! "$show_tool" build "$dir/pics" "$shw" --duration 5000 --transition TAlphablendingTransitionPlugin \
      >"$dir/build.log" 2>&1; then
    echo "failed batch $dir: the show tool's build: $(tail -1 "$dir/build.log")"
    count[failed]=$((count[failed] + n))
    return
  fi
  # The builder leaves out what it cannot read, naming each file; the others follow on
  # one after the other.
  local taken
  taken=$(sed -n 's/^.*: \([0-9]*\) pictures\{0,1\} in the show.*$/\1/p' "$dir/build.log")
  if ! "$show_tool" render "$shw" --at $((5000 * ${taken:-$n})) --every 2500 --size $size "$frames" \
      >"$dir/render.log" 2>&1; then
    echo "failed batch $dir: the render: $(tail -1 "$dir/render.log")"
    count[failed]=$((count[failed] + n))
    return
  fi
  local i=0 shown=0 f
  while IFS= read -r f; do
    local link=$dir/pics/$(printf '%05d' "$i").${f##*.}
    local frame left
    i=$((i + 1))
    left=$(grep -F "$link: " "$dir/build.log" | grep '; left out$' | head -1)
    if [ -z "$left" ]; then
      frame=$(printf '%s/frame-%05d.png' "$frames" $((2500 + 5000 * shown)))
      shown=$((shown + 1))
    fi
    # What ImageMagick makes of it at the render's size: the picture to compare with.
    # Only made smaller: at this size the show shows a picture no larger than it is.
    if ! convert "$link[0]" -auto-orient -background black -alpha remove -alpha off -resize "$size>" \
        "$dir/ref.png" >/dev/null 2>&1; then
      echo "unreadable to ImageMagick too: $f${left:+ (left out by the builder too)}"
      count[unreadable]=$((count[unreadable] + 1))
      continue
    fi
    if [ -n "$left" ]; then
      left=${left#*"$link: "}
      echo "failed $f (the builder left it out: ${left%; left out})"
      count[failed]=$((count[failed] + 1))
      continue
    fi
    if [ ! -s "$frame" ]; then
      echo "failed $f (no frame)"
      count[failed]=$((count[failed] + 1))
      continue
    fi
    local rb fb
    rb=$(brightest "$dir/ref.png")
    fb=$(brightest "$frame")
    if [ "$rb" -gt 16 ] && [ "$fb" -le 16 ]; then
      echo "blank $f"
      count[blank]=$((count[blank] + 1))
      cp "$frame" "$out/blank-$i.png"
      continue
    fi
    local d w h
    read -r w h < <(convert "$dir/ref.png" -format '%w %h' info: 2>/dev/null)
    if [ "${w:-960}" -lt 960 ] && [ "${h:-540}" -lt 540 ]; then
      # Smaller than the frame: the show puts it at its own size in the middle (twice
      # its size on 1920 x 1080 is its size here), and that rectangle is what it shows;
      # trimming would cut the two apart where a border of the picture is dark.
      convert "$frame" -crop "${w}x${h}+$(((960 - w) / 2))+$(((540 - h) / 2))" +repage "$dir/cell.png" 2>/dev/null
      d=$(distance "$(plain_sketch "$dir/cell.png")" "$(plain_sketch "$dir/ref.png")")
    else
      d=$(distance "$(sketch "$frame")" "$(sketch "$dir/ref.png")")
    fi
    if [ "$d" -gt 40 ]; then
      echo "wrong $f (mean difference $d)"
      count[wrong]=$((count[wrong] + 1))
      convert "$frame" "$dir/ref.png" +append "$out/wrong-$i-$(basename "$f").png" 2>/dev/null
    else
      count[ok]=$((count[ok] + 1))
    fi
  done <"$dir/list"
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
batch=0
for kind in "${picture_kinds[@]}"; do
  # More than max: a sample spread over every package, the same on every run.
  find "$root" -type f -iname "*.$kind" -size +0 2>/dev/null | sort | shuf -n "$max" --random-source=<(yes) |
    sort >"$work/$kind.list"
  [ -s "$work/$kind.list" ] || continue
  echo "== $(wc -l <"$work/$kind.list") .$kind pictures"
  split -l $batch_size -d -a 4 "$work/$kind.list" "$work/$kind.batch."
  for list in "$work/$kind.batch."*; do
    dir=$work/b$batch
    batch=$((batch + 1))
    mkdir -p "$dir/pics"
    cp "$list" "$dir/list"
    i=0
    while IFS= read -r f; do
      # Copies, not links: the show names its pictures by the names in the folder.
      cp "$f" "$dir/pics/$(printf '%05d' "$i").${f##*.}"
      i=$((i + 1))
    done <"$list"
    check_batch "$dir" "$i"
    rm -rf "$dir"
  done
done

# ---- sounds --------------------------------------------------------------------------

# Loudness over time of raw 16-bit samples with CHANNELS channels: the RMS of each 50 ms
# (2205 frames at 44100 Hz), one a line.
envelope() {
  od -An -v -td2 -w$((2 * $2)) "$1" 2>/dev/null |
    awk '{ for (i = 1; i <= NF; i++) s += $i * $i; n += NF; if (++f == 2205) { printf "%d\n", sqrt(s / n); s = n = f = 0 } }'
}

# The window (50 ms each) where the first loud stretch ends: RUN windows in a row at or
# over LEVEL; empty when there is none.
loud_end() {
  awk -v level="$2" -v want="$3" '{ run = $1 >= level ? run + 1 : 0; if (run == want) { print NR; exit } }' "$1"
}

# The longest run of windows at or over LEVEL, 3 at most: a short sound's loud stretch.
loud_run() {
  awk -v level="$2" '{ run = $1 >= level ? run + 1 : 0; if (run > best) best = run } END { print (best > 3 ? 3 : best + 0) }' "$1"
}

# How the recording's envelope (second file) matches the reference's (first): the best
# correlation over the recording's delays up to 8 s, as "CORRELATION DELAY_MS"; "flat"
# when the reference hardly changes (a steady tone: nothing to correlate); "short" when
# too little overlaps.
compare_envelopes() {
  awk 'FNR == NR { ref[n++] = $1; next } { rec[m++] = $1 }
    END {
      for (i = 0; i < n && i < 240; i++) { s += ref[i]; ss += ref[i] * ref[i] }
      k = i; mean = k ? s / k : 0; sd = k ? sqrt(ss / k - mean * mean) : 0
      if (k && sd < 0.1 * mean) { print "flat"; exit }
      best = -2; lag = 0
      for (L = 0; L <= 160 && L < m; L++) {
        k = m - L; if (k > n) k = n
        if (k < 6 || k < n / 2 && k < 20) break
        sx = sy = sxx = syy = sxy = 0
        for (i = 0; i < k; i++) { x = ref[i]; y = rec[L + i]; sx += x; sy += y; sxx += x * x; syy += y * y; sxy += x * y }
        vx = sxx - sx * sx / k; vy = syy - sy * sy / k
        if (vx <= 0 || vy <= 0) continue
        c = (sxy - sx * sy / k) / sqrt(vx * vy)
        if (c > best) { best = c; lag = L }
      }
      if (best == -2) print "short"; else printf "%.2f %d\n", best, lag * 50
    }' "$1" "$2"
}

# A packaged saver playing FILE as its music, made as the README makes one, its sound
# recorded (16-bit stereo, 44100 Hz) into $sdir/rec.raw until the recording's first loud
# stretch (RUN windows at LEVEL) has played for HOLD_MS more, or 12 s. Status 1 when it
# could not run.
record_song() {
  local f=$1 level=$2 run=$3 hold=$4
  local show=$sdir/saver/Lumivor song
  # A first start each time: a saver resumes its show where the last run ended, and
  # with it the song.
  rm -rf "$show"/music.* "$sdir/rec.raw" "$sdir/stop" "$sdir/saver.scr" "$sdir/registry"
  song=$show/music.${f##*.}
  cp "$f" "$song"
  "$show_tool" build "$show" "$show/Slideshow.kls" --duration 2000 --music "$song" >"$sdir/build.log" 2>&1 ||
    { echo "the show tool's build: $(tail -1 "$sdir/build.log")"; return 1; }
  cp "$build/tools/glowcanvas" "$sdir/saver.scr"
  "$build/tools/glowcanvas-pack" append "$sdir/saver.scr" "$sdir/saver" >/dev/null 2>&1 || { echo "append"; return 1; }
  env -u SDL_VIDEODRIVER SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$sdir/rec.raw" GC_REGISTRY_DIR="$sdir/registry" \
    TMPDIR="$sdir/tmp" NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory \
    timeout 60 xvfb-run -a -n 150 -s '-screen 0 640x480x24' sh -c '
      "$1" /s & p=$!
      while kill -0 $p 2>/dev/null && [ ! -e "$2" ]; do sleep 0.1; done
      xdotool key space
      wait $p' sh "$sdir/saver.scr" "$sdir/stop" >"$sdir/run.log" 2>&1 &
  local runner=$! limit=$((12 * 176400)) size=0 end=
  while kill -0 $runner 2>/dev/null; do
    sleep 0.5
    size=$(stat -c %s "$sdir/rec.raw" 2>/dev/null || echo 0)
    if [ -z "$end" ]; then
      end=$(loud_end <(envelope "$sdir/rec.raw" 2) "$level" "$run")
      [ -n "$end" ] && end=$(((end * 50 + hold) * 1764 / 10))
    fi
    if [ "$size" -ge "$limit" ] || { [ -n "$end" ] && [ "$size" -ge "$end" ]; }; then break; fi
  done
  local early=
  kill -0 $runner 2>/dev/null || early=1
  touch "$sdir/stop"
  wait $runner || { echo "the saver ended with status $?: $(tail -1 "$sdir/run.log")"; return 1; }
  if [ -n "$early" ]; then
    echo "the saver ended by itself after $((size / 1764 * 10)) ms of sound"
    return 2
  fi
}

sdir=$work/sound
if command -v xvfb-run >/dev/null && command -v xdotool >/dev/null && command -v ffmpeg >/dev/null; then
  mkdir -p "$sdir/saver/Lumivor" "$sdir/tmp"
  for c in red green blue; do
    ffmpeg -nostdin -v error -f lavfi -i "color=c=$c:s=160x120" -frames:v 1 "$sdir/saver/Lumivor/bild-$c.png"
  done
  "$show_tool" options "$sdir/saver/settings.dat" --duration 2000
  cp "$build/soundlib/fmod.dll" "$sdir/saver/fmod.dll"
else
  echo "xvfb-run, xdotool or ffmpeg is missing: sounds skipped"
  sound_kinds=()
fi

for kind in "${sound_kinds[@]}"; do
  find "$root" -type f -iname "*.$kind" -size +0 2>/dev/null | sort | head -n "$max" >"$work/$kind.sounds"
  [ -s "$work/$kind.sounds" ] || continue
  echo "== $(wc -l <"$work/$kind.sounds") .$kind sounds"
  while IFS= read -r f; do
    # A name is no proof: vim's Italian tutor is called tutor.it.
    if command -v file >/dev/null && ! file -b "$f" | grep -qiE 'audio|midi|module|ogg|vorbis|flac|mpeg|wave'; then
      echo "not a sound: $f ($(file -b "$f" | cut -c1-40))"
      continue
    fi
    # FFmpeg's decode, where it has one: what the song sounds like from its start.
    rm -f "$sdir/ref.raw"
    ffmpeg -nostdin -v error -i "$f" -t 20 -ac 1 -ar 44100 -f s16le "$sdir/ref.raw" 2>/dev/null || rm -f "$sdir/ref.raw"
    local_level=300 run=3 hold=2000
    if [ -s "$sdir/ref.raw" ]; then
      envelope "$sdir/ref.raw" 1 >"$sdir/ref.env"
      peak=$(sort -n "$sdir/ref.env" | tail -1)
      # Loud for this song: a quarter of its loudest, so a quiet song counts too; the
      # recording goes on for as long as the song, 2 s at most, after that.
      local_level=$((peak / 4 > 30 ? peak / 4 : 30))
      run=$(loud_run "$sdir/ref.env" "$local_level")
      [ "$run" -gt 0 ] || run=1
      length=$(($(wc -l <"$sdir/ref.env") * 50))
      hold=$((length < 2000 ? length + 200 : 2000))
    fi
    # Once more when the saver ended before the recording did (an input event that
    # ends a saver, or a slow start): the song is judged on a whole recording.
    why=$(record_song "$f" "$local_level" "$run" "$hold")
    status=$?
    if [ $status -eq 2 ]; then
      why=$(record_song "$f" "$local_level" "$run" "$hold")
      status=$?
    fi
    if [ $status -ne 0 ]; then
      echo "failed $f ($why)"
      count[sound_failed]=$((count[sound_failed] + 1))
      continue
    fi
    envelope "$sdir/rec.raw" 2 >"$sdir/rec.env"
    if [ -z "$(loud_end "$sdir/rec.env" "$local_level" "$run")" ]; then
      echo "silent $f (no loud stretch in $(($(wc -l <"$sdir/rec.env") * 50)) ms; its loudest: $(sort -n "$sdir/rec.env" | tail -1))"
      count[sound_silent]=$((count[sound_silent] + 1))
      continue
    fi
    if [ -s "$sdir/ref.raw" ]; then
      verdict=$(compare_envelopes "$sdir/ref.env" "$sdir/rec.env")
      case $verdict in
        flat | short) ;;
        *)
          if awk -v c="${verdict%% *}" 'BEGIN { exit !(c < 0.6) }'; then
            echo "wrong $f (its loudness over time is not FFmpeg's: best correlation ${verdict%% *})"
            count[sound_wrong]=$((count[sound_wrong] + 1))
            paste "$sdir/ref.env" "$sdir/rec.env" >"$out/wrong-sound-$(basename "$f").txt" 2>/dev/null
            continue
          fi
          ;;
      esac
    fi
    count[sound_ok]=$((count[sound_ok] + 1))
  done <"$work/$kind.sounds"
done

echo "pictures: ${count[ok]} ok, ${count[blank]} blank, ${count[wrong]} wrong, ${count[failed]} failed," \
  "${count[unreadable]} that ImageMagick cannot read either"
echo "sounds: ${count[sound_ok]} ok, ${count[sound_silent]} silent, ${count[sound_wrong]} wrong," \
  "${count[sound_failed]} failed"
[ $((count[blank] + count[wrong] + count[failed] + count[sound_failed] + count[sound_silent] + count[sound_wrong])) -eq 0 ]
