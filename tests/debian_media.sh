#!/bin/bash
# Pictures and sounds that no one here made: the files Debian's packages installed under
# /usr/share, run through our programs. Pictures go into shows in batches, each picture
# 5 s (a 2 s fade in), and are rendered at the middle of their time; each render is
# compared with ImageMagick's reading of the file (EXIF orientation applied; laid over
# black, as the show draws a transparent picture over its black ground), both trimmed of
# black borders and shrunk to 16x16. Sound files each play as the music of a
# packaged screen saver (tests/memcheck/packaged_music.sh). Not part of the test command:
# it depends on what the machine has installed. What is missing is skipped.
#
# usage: tests/debian_media.sh BUILD_DIR [MAX_PER_KIND] [OUT_DIR]
#   MAX_PER_KIND (default all): a fixed sample of that many of each picture kind.
#   GC_MEDIA_ROOT: where to look instead of /usr/share.
#   Lines "blank|wrong|failed FILE (why)" name the faults; the last lines count them.
#   Exit 1 when any picture or sound failed, was blank or wrong.
set -uo pipefail
build=$(cd "$1" && pwd)
max=${2:-100000}
here=$(cd "$(dirname "$0")" && pwd)
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
for k in ok blank wrong failed unreadable sound_ok sound_failed; do count[$k]=0; done

# The picture kinds our reader takes (the show tool's build picks them by extension).
picture_kinds=(jpg jpeg png gif bmp ico tif tiff tga pcx ppm pgm pbm psd sgi)
sound_kinds=(wav ogg oga mp3 flac mid midi mod xm it s3m)

# A picture's 16x16 sketch of what it shows: trimmed of its black border, the channel
# means and the sketch's pixels on stdout.
sketch() {
  convert "$1" -alpha off -bordercolor black -border 1 -trim +repage \
    -resize '16x16!' -depth 8 txt:- 2>/dev/null | awk 'NR > 1 { gsub(/[(),]/, " "); print $3, $4, $5 }'
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
  if ! "$show_tool" render "$shw" --at $((5000 * n)) --every 2500 --size $size "$frames" >"$dir/render.log" 2>&1; then
    echo "failed batch $dir: the render: $(tail -1 "$dir/render.log")"
    count[failed]=$((count[failed] + n))
    return
  fi
  local i=0 f
  while IFS= read -r f; do
    local link=$dir/pics/$(printf '%05d' "$i").${f##*.}
    local frame
    frame=$(printf '%s/frame-%05d.png' "$frames" $((2500 + 5000 * i)))
    i=$((i + 1))
    # What ImageMagick makes of it at the render's size: the picture to compare with.
    # Enlarged too, as the show enlarges a small picture to fit.
    if ! convert "$link[0]" -auto-orient -background black -alpha remove -alpha off -resize "$size" \
        "$dir/ref.png" >/dev/null 2>&1; then
      echo "unreadable to ImageMagick too: $f"
      count[unreadable]=$((count[unreadable] + 1))
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
    local d
    d=$(distance "$(sketch "$frame")" "$(sketch "$dir/ref.png")")
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
    if sh "$here/memcheck/packaged_music.sh" "$build" --music "$f" --seconds 3 </dev/null >"$work/sound.log" 2>&1; then
      count[sound_ok]=$((count[sound_ok] + 1))
    else
      echo "failed $f ($(tail -1 "$work/sound.log"))"
      count[sound_failed]=$((count[sound_failed] + 1))
    fi
  done <"$work/$kind.sounds"
done

echo "pictures: ${count[ok]} ok, ${count[blank]} blank, ${count[wrong]} wrong, ${count[failed]} failed," \
  "${count[unreadable]} that ImageMagick cannot read either"
echo "sounds: ${count[sound_ok]} ok, ${count[sound_failed]} failed"
[ $((count[blank] + count[wrong] + count[failed] + count[sound_failed])) -eq 0 ]
