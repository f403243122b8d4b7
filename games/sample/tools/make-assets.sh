#!/usr/bin/env bash
# Makes every image, sound, voice and the movie of the sample game from
# nothing: shapes and type drawn with ImageMagick, tones with sox, speech with
# espeak-ng, the movie with ffmpeg's own test sources. Nothing is copied from
# any other game. The results are committed, so a player never needs these
# tools; run this again after changing it:
#   bash games/sample/tools/make-assets.sh
# Needs: imagemagick sox espeak-ng vorbis-tools ffmpeg fonts-ipafont-gothic
set -euo pipefail
cd "$(dirname "$0")/.."
out=$PWD
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

FONT=/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf
[ -f "$FONT" ] || FONT=$(fc-match -f '%{file}' 'IPAGothic:lang=ja')
mkdir -p bg chara rule ui system VOICE bgm se voice movie

# The last argument is the file written; everything before it is drawing.
png() { convert "${@:1:$#-1}" -strip -define png:compression-level=9 -define png:exclude-chunks=date,time "PNG32:${@: -1}"; }
# Backgrounds are JPEG: gradients cost little there.
jpg() { convert "${@:1:$#-1}" -strip -quality 82 "${@: -1}"; }

# ---------------------------------------------------------------- backgrounds
# A sky of two colours, a horizon band and a few shapes per place.
jpg -size 1280x720 gradient:'#1d2b64-#f8cdda' \
    -fill '#ffffff30' -draw 'circle 980,170 980,110' \
    -fill '#2a2350' -draw 'polygon 0,720 0,560 220,500 420,560 640,470 900,540 1280,480 1280,720' \
    -fill '#ffffff' -draw 'point 200,80 point 420,140 point 760,60 point 1100,90 point 90,200' \
    bg/title.jpg
jpg -size 1280x720 gradient:'#fff4dc-#e8d2b0' \
    -fill '#c9a77c' -draw 'rectangle 0,520 1280,720' \
    -fill '#8fc3e8' -draw 'rectangle 120,90 520,380' -fill '#ffffff' -draw 'rectangle 312,90 328,380 rectangle 120,228 520,242' \
    -fill '#7a5436' -draw 'rectangle 760,300 1180,330 rectangle 790,330 810,520 rectangle 1130,330 1150,520' \
    -fill '#5b8c5a' -draw 'ellipse 980,270 60,40 0,360' \
    bg/room.jpg
jpg -size 1280x720 gradient:'#a7d8f5-#eaf6ff' \
    -fill '#9a9a9a' -draw 'polygon 0,720 520,430 760,430 1280,720' \
    -fill '#c8b9a6' -draw 'rectangle 0,260 360,560 rectangle 920,230 1280,560' \
    -fill '#6d8fb0' -draw 'rectangle 40,300 120,380 rectangle 200,300 280,380 rectangle 960,280 1040,360 rectangle 1120,280 1200,360' \
    -fill '#ffffff' -draw 'rectangle 630,500 650,560 rectangle 628,620 652,700' \
    bg/street.jpg
jpg -size 1280x720 gradient:'#ffb36b-#ffe9c4' \
    -fill '#6fa55a' -draw 'rectangle 0,500 1280,720' \
    -fill '#3f6b35' -draw 'circle 240,380 240,240 circle 1060,360 1060,230' \
    -fill '#6b4a2e' -draw 'rectangle 225,380 255,520 rectangle 1045,360 1075,520' \
    -fill '#8a6a4a' -draw 'rectangle 560,520 820,540 rectangle 580,540 595,590 rectangle 785,540 800,590' \
    bg/park.jpg
jpg -size 1280x720 gradient:'#3a4a7a-#c9d4e8' \
    -fill '#e8e2d0' -draw 'rectangle 100,160 1180,600' \
    -fill '#8b5e3c' -draw 'rectangle 140,200 380,560 rectangle 420,200 660,560 rectangle 700,200 940,560' \
    -fill '#c04848' -draw 'rectangle 150,210 175,300 rectangle 180,220 200,300 rectangle 430,210 460,300' \
    -fill '#3c6ea8' -draw 'rectangle 205,210 230,300 rectangle 470,215 490,300 rectangle 710,210 740,300' \
    bg/library.jpg
jpg -size 1280x720 gradient:'#05081c-#283a6e' \
    -fill '#fff6c8' -draw 'circle 300,150 300,100' \
    -fill '#ffffff' -draw 'point 600,80 point 700,200 point 900,120 point 1000,60 point 1150,180 point 480,220 point 820,40' \
    -fill '#0b0f24' -draw 'polygon 0,720 0,520 300,560 700,500 1000,560 1280,520 1280,720' \
    bg/night.jpg
# One flat colour the whole-program test can tell apart from every other
# picture (the end card).
jpg -size 1280x720 xc:'#203048' bg/end.jpg

# ----------------------------------------------------------------- characters
# A figure: hair, face, eyes and a body, in the colours of each character;
# the smile and the frown differ only in the mouth.
figure() { # name hair clothes mouth
  local name=$1 hair=$2 clothes=$3 mouth=$4
  png -size 380x560 xc:none \
      -fill "$clothes" -draw 'roundrectangle 70,250 310,560 60,60' \
      -fill '#f6dcc4' -draw 'rectangle 170,200 210,260' \
      -fill "$hair" -draw 'ellipse 190,140 115,125 0,360' \
      -fill '#f6dcc4' -draw 'ellipse 190,160 88,95 0,360' \
      -fill "$hair" -draw 'ellipse 190,92 95,50 180,360' \
      -fill '#2a2a3a' -draw 'ellipse 158,160 9,14 0,360 ellipse 222,160 9,14 0,360' \
      -fill '#ffffff' -draw 'circle 161,154 164,154 circle 225,154 228,154' \
      -fill none -stroke '#a0505a' -strokewidth 4 -draw "$mouth" \
      "chara/$name.png"
}
SMILE='arc 170,190 210,220 20,160'
PLAIN='line 175,212 205,212'
FROWN='arc 172,210 208,232 200,340'
figure aoi_normal '#3b2a5a' '#5a78c8' "$PLAIN"
figure aoi_smile  '#3b2a5a' '#5a78c8' "$SMILE"
figure ren_normal '#6a3a20' '#3f8a66' "$PLAIN"
figure ren_angry  '#6a3a20' '#3f8a66' "$FROWN"
# A glyph kept in its own colours ("GraphicCharactorSet") and one tinted
# like text ("OrignalCharactorSet", white on transparent).
png -size 64x64 xc:none -fill '#ff4f7a' \
    -draw 'circle 20,22 20,6 circle 44,22 44,6 polygon 6,28 58,28 32,58' chara/heart.png
png -size 64x64 xc:none -fill '#ffffff' \
    -draw 'polygon 32,4 40,24 62,24 44,38 52,60 32,46 12,60 20,38 2,24 24,24' chara/star.png

# ------------------------------------------------------------ the rule image
# Black, with an alpha ramp from opaque at the left to clear at the right:
# drawn through the soft-wipe shader its clear end shows first, so it covers
# the screen from the right as its transmittance falls.
convert -size 720x1280 gradient:black-white -rotate 90 "$work/ramp.png"
png -size 1280x720 xc:black "$work/ramp.png" -alpha off -compose CopyOpacity -composite rule/wipe_black.png

# ------------------------------------------------------------------------ ui
label() { # text size colour -> stdin-less caption layer
  convert -background none -font "$FONT" -pointsize "$2" -fill "$3" label:"$1" "$work/label.png"
}
button() { # file width height fill stroke text textcolour [pointsize]
  label "$6" "${8:-30}" "$7"
  png -size "$2x$3" xc:none -fill "$4" -stroke "$5" -strokewidth 3 \
      -draw "roundrectangle 2,2 $(($2-3)),$(($3-3)) 14,14" \
      "$work/label.png" -gravity center -compose over -composite "$1"
}
# The text window and its transparent text box (the text object's frame; the
# script places it so that the lines and their ruby fall inside the window).
png -size 1180x190 xc:none -fill '#101a38c8' -stroke '#d8e0ff' -strokewidth 3 \
    -draw 'roundrectangle 2,2 1177,187 18,18' ui/textwindow.png
png -size 1080x150 xc:none ui/textbox.png
# The title: a logo and four buttons (off, on and a disabled "continue").
label '東雲の約束' 96 '#fff4e0'; cp "$work/label.png" "$work/logo1.png"
label 'Velk2 サンプルゲーム' 32 '#ffd8b0'
png "$work/logo1.png" "$work/label.png" -background none -gravity center -append ui/logo.png
for b in start:はじめから load:つづきから config:設定 quit:終了; do
  n=${b%%:*}; t=${b#*:}
  button "ui/title_${n}_off.png" 360 64 '#1a2040b0' '#8090c0' "$t" '#e0e6ff'
  button "ui/title_${n}_on.png"  360 64 '#f0a040e0' '#fff0c0' "$t" '#ffffff'
done
button ui/title_load_dis.png 360 64 '#30303080' '#606060' 'つづきから' '#808080'
# The in-game choice: a plain bar; its text comes from the script.
png -size 640x70 xc:none -fill '#182850d8' -stroke '#a0b0e0' -strokewidth 3 \
    -draw 'roundrectangle 2,2 637,67 16,16' ui/choice_off.png
png -size 640x70 xc:none -fill '#d08030e8' -stroke '#fff0c0' -strokewidth 3 \
    -draw 'roundrectangle 2,2 637,67 16,16' ui/choice_on.png
png -size 600x50 xc:none ui/choice_text.png
# The right-click menu: a panel and its buttons.
png -size 320x620 xc:none -fill '#0c1430e0' -stroke '#c0c8f0' -strokewidth 3 \
    -draw 'roundrectangle 2,2 317,617 20,20' ui/menu.png
for b in save:セーブ load:ロード config:設定 log:バックログ skip:スキップ auto:オート voice:ボイス再生 title:タイトルへ; do
  n=${b%%:*}; t=${b#*:}
  button "ui/menu_${n}_off.png" 260 56 '#1a2448' '#6070a0' "$t" '#d8e0ff'
  button "ui/menu_${n}_on.png"  260 56 '#e09040' '#fff0c0' "$t" '#ffffff'
done
# The save and load screen: a title plate per mode and a slot frame.
label 'セーブ' 48 '#ffffff'; png "$work/label.png" ui/save_title.png
label 'ロード' 48 '#ffffff'; png "$work/label.png" ui/load_title.png
png -size 1280x720 xc:'#0a0f24f0' ui/saveload_bg.png
png -size 900x120 xc:none -fill '#1a2448e0' -stroke '#8090c0' -strokewidth 3 \
    -draw 'roundrectangle 2,2 897,117 14,14' ui/slot_off.png
png -size 900x120 xc:none -fill '#604020e0' -stroke '#ffe0a0' -strokewidth 3 \
    -draw 'roundrectangle 2,2 897,117 14,14' ui/slot_on.png
png -size 660x100 xc:none ui/slot_text.png
# Skip and auto markers in the top right corner.
button ui/mark_skip.png 140 44 '#c03030d0' '#ffd0d0' 'SKIP' '#ffffff'
button ui/mark_auto.png 140 44 '#3060c0d0' '#d0e0ff' 'AUTO' '#ffffff'
# The ending card's text frame.
png -size 900x300 xc:none ui/endbox.png
# Under a movie: black.
png -size 16x16 xc:black ui/black.png

# --------------------------------------------------------- settings screen
# Background with the labels and slider tracks drawn where the screen puts
# its buttons and knobs (logical x, y from the centre -> image x+640, 360-y).
{
  args=(-size 1280x720 gradient:'#141c3c-#2a1c3c' -font "$FONT" -fill '#ffffff' -pointsize 40
        -annotate +1150+60 '設定' -pointsize 26 -fill '#d8e0ff')
  row() { args+=(-annotate "+60+$((360-$2+10))" "$1"); }
  row '画面モード' 274; row '画面効果' 227; row 'ボイス停止' 180; row 'スキップ' 133
  row 'ウィンドウ透過' 84; row '文字の速さ' 37; row 'オートの速さ' -10
  row '全体の音量' -131; row 'BGM' -178; row '効果音' -224; row 'ボイス' -271
  for y in 84 37 -10 -131 -178 -224 -271; do
    args+=(-fill '#5060a0' -draw "rectangle 310,$((360-y-3)) 739,$((360-y+3))" -fill '#d8e0ff')
  done
  args+=(-annotate +850+100 'キャラクター別ボイス' -fill '#5060a0'
         -draw "rectangle 859,535 1231,541" -fill '#b0b8d8' -pointsize 20
         -annotate +60+710 '右クリック・スペースで戻る')
  png "${args[@]}" system/config.png
}
i=1
for t in ウィンドウ フルスクリーン あり なし する しない 既読のみ すべて; do
  n=$(printf '%02d' $i)
  button "system/config${n}_off.png" 200 40 '#1a2040' '#5060a0' "$t" '#a0a8c8' 24
  button "system/config${n}_on.png"  200 40 '#e09040' '#fff0c0' "$t" '#ffffff' 24
  i=$((i+1))
done
png -size 24x40 xc:none -fill '#d8e0ff' -draw 'roundrectangle 1,1 22,38 6,6' system/config_bottom_off.png
png -size 24x40 xc:none -fill '#ffb040' -draw 'roundrectangle 1,1 22,38 6,6' system/config_bottom_on.png
for c in 1 2 3 4 5 6 7; do
  case $c in 1) t='葵';; 2) t='蓮';; *) t="声$c";; esac
  button "system/config_volume0${c}_off.png" 120 120 '#1a2040' '#5060a0' "$t" '#a0a8c8'
  button "system/config_volume0${c}_on.png"  120 120 '#e09040' '#fff0c0' "$t" '#ffffff'
done
button system/config10_off.png 200 50 '#402020' '#a06060' '初期化' '#f0c0c0'
button system/config10_on.png  200 50 '#e06040' '#fff0c0' '初期化' '#ffffff'
png -size 700x76 xc:none -fill '#101a38c8' -stroke '#d8e0ff' -strokewidth 2 \
    -draw 'roundrectangle 1,1 698,74 10,10' system/config09.png
# The sample text's frame: the sample runs on one line from its left edge.
png -size 4x4 xc:none system/null.png

# --------------------------------------------------------------- the backlog
{
  args=(-size 1280x720 xc:'#060a1ce8' -fill '#303a60' -draw 'rectangle 1232,60 1245,660'
        -font "$FONT" -pointsize 36 -fill '#ffffff' -annotate +40+50 'バックログ')
  png "${args[@]}" system/backlog.png
}
png -size 1000x170 xc:none system/backlog_row.png
png -size 20x60 xc:none -fill '#d8e0ff' -draw 'roundrectangle 1,1 18,58 6,6' system/backlog_bar_off.png
png -size 20x60 xc:none -fill '#ffb040' -draw 'roundrectangle 1,1 18,58 6,6' system/backlog_bar_on.png
button system/backlog_back_off.png 160 50 '#1a2040' '#6070a0' '戻る' '#d8e0ff'
button system/backlog_back_on.png  160 50 '#e09040' '#fff0c0' '戻る' '#ffffff'
png -size 44x44 xc:none -fill '#3050a0' -draw 'circle 22,22 22,2' -fill '#ffffff' \
    -draw 'polygon 16,12 16,32 32,22' system/backlog_voice_off.png
png -size 44x44 xc:none -fill '#e09040' -draw 'circle 22,22 22,2' -fill '#ffffff' \
    -draw 'polygon 16,12 16,32 32,22' system/backlog_voice_on.png

# --------------------------------------------------------------- the cursor
convert -size 32x32 xc:none -fill '#ffffff' -stroke '#203060' -strokewidth 2 \
    -draw 'polygon 2,2 2,26 9,19 14,30 18,28 13,17 22,17' "$work/cursor.png"
convert "$work/cursor.png" system/ceol.cur 2>/dev/null || convert "$work/cursor.png" ICO:system/ceol.cur

# ------------------------------------------------------------------- sounds
# Repeatable noise and dither, so a second run makes the same files.
sox() { command sox -R "$@"; }
ogg() { sox "$1" -b 16 "$work/o16.wav"; oggenc -Q -q 1 -s 1 -o "$2" "$work/o16.wav"; }
# note NAME -> frequency, equal temperament around A4.
freq() { awk -v n="$1" 'BEGIN{split("C C# D D# E F F# G G# A A# B",k," ");
  name=substr(n,1,length(n)-1); oct=substr(n,length(n));
  for(i=1;i<=12;i++) if(k[i]==name) s=i-10; printf "%.2f", 440*2^((s+(oct-4)*12)/12)}'; }
# An arpeggio over a chord sequence: plucked notes and a soft pad, looped
# seamlessly (the bars are whole and the tail is cut).
music() { # out seconds-per-note chord...
  local out=$1 step=$2; shift 2
  local parts=() n=0
  for chord in "$@"; do
    local notes=(${chord//-/ })
    local pad=()
    for x in "${notes[@]}"; do pad+=(sine "$(freq "$x")"); done
    sox -n -r 22050 -c 1 "$work/pad$n.wav" synth $(echo "$step*4" | bc) "${pad[@]}" vol 0.12 fade 0.05 0 0.05
    local seq=()
    for x in "${notes[@]}" "${notes[1]}"; do
      sox -n -r 22050 -c 1 "$work/n$n-${#seq[@]}.wav" synth "$step" pluck "$(freq "$x")" vol 0.5 fade 0 0 0.02
      seq+=("$work/n$n-${#seq[@]}.wav")
    done
    sox "${seq[@]}" "$work/arp$n.wav"
    sox -m "$work/pad$n.wav" "$work/arp$n.wav" "$work/bar$n.wav"
    parts+=("$work/bar$n.wav"); n=$((n+1))
  done
  sox "${parts[@]}" -c 2 "$work/music.wav" norm -3
  ogg "$work/music.wav" "$out"
}
music bgm/title.ogg 0.3 C4-E4-G4 A3-C4-E4 F3-A3-C4 G3-B3-D4 C4-E4-G4 A3-C4-E4 F3-A3-C4 G3-B3-D4
music bgm/daily.ogg 0.22 D4-F#4-A4 B3-D4-F#4 G3-B3-D4 A3-C#4-E4 D4-F#4-A4 B3-D4-F#4 G3-B3-D4 A3-C#4-E4
music bgm/evening.ogg 0.38 A3-C4-E4 F3-A3-C4 D3-F3-A3 E3-G#3-B3 A3-C4-E4 F3-A3-C4 D3-F3-A3 E3-G#3-B3
# Effects: a chime, a door (kept as WAV), the choice's point and decide.
sox -n -r 22050 -c 1 "$work/c1.wav" synth 1.2 sine 1318.5 vol 0.5 fade 0 1.2 1.1
sox -n -r 22050 -c 1 "$work/c2.wav" synth 1.2 sine 987.8 vol 0.5 fade 0 1.2 1.1 pad 0.35
sox -m "$work/c1.wav" "$work/c2.wav" "$work/chime.wav"; ogg "$work/chime.wav" se/chime.ogg
sox -n -r 22050 -c 1 -b 16 se/door.wav synth 0.5 brownnoise vol 0.7 lowpass 600 fade 0 0.5 0.4
sox -n -r 22050 -c 1 "$work/sel.wav" synth 0.06 sine 1760 vol 0.3 fade 0 0.06 0.03; ogg "$work/sel.wav" se/select.ogg
sox -n -r 22050 -c 1 "$work/dec.wav" synth 0.18 sine 880:1760 vol 0.4 fade 0 0.18 0.1; ogg "$work/dec.wav" se/decide.ogg

# ------------------------------------------------------------------- voices
# espeak-ng's Japanese voice reads kana; each line is given in its reading.
# Aoi speaks high and a little fast, Ren low.
say() { # out pitch speed text
  espeak-ng -v ja -p "$2" -s "$3" -w "$work/say.wav" "$4"
  sox "$work/say.wav" -r 22050 -c 1 "$work/say2.wav" norm -2
  ogg "$work/say2.wav" "$1"
}
say voice/aoi_001.ogg 75 165 'おはよう。きょうは、はやいね。'
say voice/aoi_002.ogg 75 165 'しののめのそらって、こんないろなんだね。'
say voice/aoi_003.ogg 75 165 'ほうかご、いっしょにかえろう。'
say voice/ren_001.ogg 30 150 'おそいぞ。まってたんだ。'
say voice/ren_002.ogg 30 150 'どっちにいく。きめてくれ。'
say voice/aoi_004.ogg 75 165 'ゆうやけ、きれいだね。'
say voice/ren_003.ogg 30 150 'しずかにしろ。としょかんだぞ。'
say voice/aoi_005.ogg 75 165 'またあした。やくそくだよ。'
# The settings screen's sample voices, one per character button.
say VOICE/config_sample01.ogg 75 165 'あおいです。よろしくね。'
say VOICE/config_sample02.ogg 30 150 'れんだ。よろしく。'
for c in 3 4 5 6 7; do say "VOICE/config_sample0$c.ogg" $((30 + c * 8)) 160 "ぼいす、$c ばん。"; done

# -------------------------------------------------------------------- movie
# A short opening: a zoom into the Mandelbrot set with the title over it and
# a rising tone; MPEG-1 so any FFmpeg build decodes it.
ffmpeg -loglevel error -y \
  -f lavfi -i "mandelbrot=size=640x360:rate=25:start_scale=2:end_scale=0.2:maxiter=256" \
  -f lavfi -i "sine=frequency=330:sample_rate=44100:duration=4" \
  -vf "drawtext=fontfile=$FONT:text='東雲の約束':fontsize=56:fontcolor=white:x=(w-tw)/2:y=(h-th)/2:alpha='min(1,t/1.5)'" \
  -t 4 -fflags +bitexact -flags:v +bitexact -flags:a +bitexact -c:v mpeg1video -b:v 500k -c:a mp2 -b:a 64k -ac 1 -f mpeg movie/opening.mpg

echo "assets made: $(du -sh "$out" | cut -f1) in $out"
