#!/usr/bin/env bash
# Draws the player area's pictures (seek bar, play/pause strips, the
# "more segments" button, the current-segment marker) with ImageMagick.
# The PNGs are kept in the repository; run this again after changing it.
set -euo pipefail
cd "$(dirname "$0")"
im() { convert "${@:1:$#-1}" -strip -define png:exclude-chunk=date,time "${@: -1}"; }

# Play and pause buttons: strips of four 57x35 slices (normal, hot, pressed, disabled).
slice() { # name background symbol-colour draw-command
  im -size 57x35 xc:none -fill "$2" -draw "roundrectangle 2,2 54,32 6,6" \
     -fill "$3" -draw "$4" "$1"
}
play="polygon 22,9 22,26 38,17.5"
pause="rectangle 21,9 26,26 rectangle 31,9 36,26"
for kind in play pause; do
  draw=${!kind}
  slice /tmp/$kind-0.png "#0a5d96" "#ffffff" "$draw"
  slice /tmp/$kind-1.png "#1c7cc0" "#ffffff" "$draw"
  slice /tmp/$kind-2.png "#07446e" "#dddddd" "$draw"
  slice /tmp/$kind-3.png "#5a7d96" "#aaaaaa" "$draw"
  im /tmp/$kind-0.png /tmp/$kind-1.png /tmp/$kind-2.png /tmp/$kind-3.png +append +repage btn_$kind.png
done

# Seek bar: track, filled part with rounded ends, thumb and its hot form.
im -size 40x5 xc:"#1b4f75" bar_base.png
im -size 40x5 xc:none -fill "#f39801" -draw "roundrectangle 0,0 39,4 2,2" bar_progress.png
im -size 13x13 xc:none -fill "#ffffff" -stroke "#f39801" -draw "circle 6,6 6,1" bar_thumb.png
im -size 13x13 xc:none -fill "#ffe2b0" -stroke "#f39801" -draw "circle 6,6 6,0" bar_thumb_hot.png

# "加载更多片段": separate normal, hot and pressed pictures.
im -size 205x26 xc:none -fill "#146fa4" -draw "roundrectangle 0,0 204,25 5,5" more_normal.png
im -size 205x26 xc:none -fill "#1c86c4" -draw "roundrectangle 0,0 204,25 5,5" more_hot.png
im -size 205x26 xc:none -fill "#0d5480" -draw "roundrectangle 0,0 204,25 5,5" more_pressed.png

# Current-segment marker, 20x22.
im -size 20x22 xc:none -fill "#f39801" -draw "polygon 3,3 3,19 17,11" cur_play.png
